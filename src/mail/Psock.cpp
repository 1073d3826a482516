// The socket layer over Qt Network; see Psock.h.
#include "mail/Psock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTimer>

#include "mail/SmtpReply.h"
#include "mail/SockErrors.h"
#include "platform/Platform.h"

namespace arkelin::mail {

struct TPowersock::Impl {
  QObject context;  // owns the signal connections of this component
  QSslSocket socket;
  int lastError = -1;  // QAbstractSocket::SocketError of the current operation
  bool open = false;   // a connection was made and not yet closed
  QList<QSslError> tlsErrors;  // what the last handshake found wrong
};

TPowersock::TPowersock() {
  if (!QCoreApplication::instance()) throw ESockError("Initializaton of windows sockets failed");
  d_ = std::make_unique<Impl>();
  QObject::connect(&d_->socket, &QAbstractSocket::errorOccurred, &d_->context,
                   [this](QAbstractSocket::SocketError e) { d_->lastError = static_cast<int>(e); });
}

TPowersock::~TPowersock() {
  if (d_) d_->socket.abort();
}

bool TPowersock::Connected() const {
  return d_->open && d_->socket.state() == QAbstractSocket::ConnectedState;
}

bool TPowersock::Encrypted() const { return Connected() && d_->socket.isEncrypted(); }

bool TPowersock::HasUnreadInput() const { return d_->socket.bytesAvailable() > 0; }

void TPowersock::Abort() { cancel_ = true; }

void TPowersock::Status(int level, const std::string& text) {
  if (level <= ReportLevel) DoStatus(text);
}

// Every wait: let the program's pump run once, then check (an abort first,
// so that a click on Abort is never lost to data that happened to be there
// already), then sleep in Qt's queue until the next event arrives and let
// the pump run again. Abort, socket readiness, lookup results and the
// time-out timer all arrive as events, so nothing is missed and nothing
// spins. The pump runs even when the wait is over at once: a server that
// sends lines as fast as they can be read would otherwise keep the client
// away from the window for as long as it likes.
template <class Pred>
TPowersock::WaitEnd TPowersock::WaitFor(Pred done) {
  bool timedOut = false;
  std::unique_ptr<QTimer> timer;
  if (TimeOut > 0) {
    timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, [&timedOut] { timedOut = true; });
    timer->start(TimeOut);
  }
  platform::Pump().ProcessMessages();
  for (;;) {
    if (cancel_) {
      cancel_ = false;
      return WaitEnd::Canceled;
    }
    if (done()) return WaitEnd::Done;
    if (timedOut) return WaitEnd::TimedOut;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    platform::Pump().ProcessMessages();
  }
}

void TPowersock::ThrowSocketError(int fallbackNumber) {
  int number = d_->lastError >= 0 ? SocketErrorNumberForQt(d_->lastError) : 0;
  if (number == 0) number = fallbackNumber;
  throw ESockError(SocketErrorMessage(number));
}

std::string TPowersock::ResolveHost() {
  bool retried = false;
  for (;;) {
    const QString name = QString::fromStdString(Host).trimmed();
    QHostAddress direct;
    if (direct.setAddress(name)) return direct.toString().toStdString();

    // The context dies with this scope, which drops a result that arrives
    // after the wait was given up.
    auto context = std::make_unique<QObject>();
    bool finished = false;
    QHostInfo info;
    const int id = name.isEmpty() ? -1
                                  : QHostInfo::lookupHost(name, context.get(), [&](const QHostInfo& i) {
                                      info = i;
                                      finished = true;
                                    });
    if (id >= 0) {
      Status(1, "Resolving " + Host);
      const WaitEnd end = WaitFor([&] { return finished; });
      if (end != WaitEnd::Done) {
        QHostInfo::abortHostLookup(id);
        throw ESockError(end == WaitEnd::TimedOut ? "Host Lookup Timed Out" : "Host Lookup Canceled");
      }
      // Winsock 1.1 servers were reached over IPv4; prefer it, since a
      // server listening on 127.0.0.1 only refuses "localhost" as ::1.
      QHostAddress chosen;
      if (info.error() == QHostInfo::NoError) {
        for (const QHostAddress& a : info.addresses())
          if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            chosen = a;
            break;
          }
        if (chosen.isNull() && !info.addresses().isEmpty()) chosen = info.addresses().first();
      }
      if (!chosen.isNull()) {
        DoHostResolved();
        return chosen.toString().toStdString();
      }
    }
    if (!retried && DoInvalidHost()) {
      retried = true;
      continue;
    }
    throw ESockError("Null Remote Address");
  }
}

void TPowersock::OpenConnection(bool tls) {
  if (Connected()) throw ESockError("Already connected");
  d_->socket.abort();  // a connection the server closed earlier
  d_->open = false;
  if (tls && !QSslSocket::supportsSsl()) throw ETlsError("TLS is not available on this system");

  const QHostAddress address(QString::fromStdString(ResolveHost()));
  d_->lastError = -1;
  Status(1, "Connecting to " + address.toString().toStdString());
  d_->socket.connectToHost(address, static_cast<quint16>(Port));
  const WaitEnd end = WaitFor([&] {
    const auto s = d_->socket.state();
    return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
  });
  if (end == WaitEnd::Done && d_->socket.state() == QAbstractSocket::ConnectedState) {
    d_->open = true;
    Status(1, "Connected");
    if (tls) StartTls();
    return;
  }
  const int error = d_->lastError;
  d_->socket.abort();
  DoConnectionFailed();
  if (end == WaitEnd::TimedOut) throw ESockError("Connection Timed out");
  if (end == WaitEnd::Canceled) throw ESockError("Connection Canceled");
  const int number = error >= 0 ? SocketErrorNumberForQt(error) : 0;
  if (number != 0) throw ESockError(SocketErrorMessage(number));
  throw ESockError("Connection Failed");
}

void TPowersock::StartTls() {
  if (!Connected()) throw ESockError(SocketErrorMessage(10057));
  if (!QSslSocket::supportsSsl()) {
    CloseSocket();
    throw ETlsError("TLS is not available on this system");
  }
  QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
  conf.setProtocol(QSsl::TlsV1_2OrLater);
  conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
  if (!TrustedCertificates.empty()) {
    QList<QSslCertificate> trusted;
    for (const std::string& pem : TrustedCertificates)
      trusted += QSslCertificate::fromData(QByteArray::fromStdString(pem), QSsl::Pem);
    conf.setCaCertificates(trusted);
  }
  d_->socket.setSslConfiguration(conf);
  // The name the certificate must carry is the one the user configured,
  // not the address it resolved to.
  d_->socket.setPeerVerifyName(QString::fromStdString(Host).trimmed());
  d_->tlsErrors.clear();
  d_->lastError = -1;
  auto recordErrors = QObject::connect(&d_->socket, qOverload<const QList<QSslError>&>(&QSslSocket::sslErrors),
                                       &d_->context, [this](const QList<QSslError>& e) { d_->tlsErrors = e; });
  Status(1, "Starting TLS");
  d_->socket.startClientEncryption();
  const WaitEnd end = WaitFor([&] {
    return d_->socket.isEncrypted() || d_->socket.state() != QAbstractSocket::ConnectedState;
  });
  QObject::disconnect(recordErrors);
  if (end == WaitEnd::Done && d_->socket.isEncrypted()) {
    Status(1, "TLS " + d_->socket.sessionCipher().name().toStdString());
    return;
  }
  const QString socketText = d_->socket.errorString();
  CloseSocket();
  if (end == WaitEnd::Canceled) throw EAbortError("TLS handshake aborted");
  if (end == WaitEnd::TimedOut) throw ETlsError("TLS handshake timed out");
  if (!d_->tlsErrors.isEmpty()) {
    QStringList texts;
    for (const QSslError& e : d_->tlsErrors)
      if (!texts.contains(e.errorString())) texts << e.errorString();
    throw ETlsError("The server's certificate was refused (" + texts.join(QStringLiteral("; ")).toStdString() +
                    "); the connection was closed");
  }
  throw ETlsError("TLS handshake failed: " + socketText.toStdString());
}

void TPowersock::CloseSocket() {
  const bool wasOpen = d_->open;
  d_->open = false;
  d_->socket.abort();
  if (wasOpen) {
    Status(1, "Disconnected");
    DoDisconnected();
  }
}

void TPowersock::SendBytes(std::string_view data) {
  if (!Connected()) throw ESockError(SocketErrorMessage(10057));
  d_->lastError = -1;
  if (d_->socket.write(data.data(), static_cast<qint64>(data.size())) < 0) ThrowSocketError(10057);
  // With TLS, bytesToWrite counts what still waits to be encrypted and
  // encryptedBytesToWrite what waits to go out; without, the latter is 0.
  auto pending = [this] { return d_->socket.bytesToWrite() + d_->socket.encryptedBytesToWrite(); };
  const WaitEnd end = WaitFor([&] {
    return pending() == 0 || d_->socket.state() != QAbstractSocket::ConnectedState;
  });
  if (end == WaitEnd::Canceled) throw EAbortError("Socket send aborted");
  if (end == WaitEnd::TimedOut) throw ESockError("Socket send timed out");
  if (pending() != 0) {
    const int error = d_->lastError;
    CloseSocket();
    d_->lastError = error;
    ThrowSocketError(10054);
  }
}

std::string TPowersock::ReadLine() {
  auto peekLength = [this] {
    const QByteArray head = d_->socket.peek(static_cast<qint64>(kMaxReplyLine));
    return ReplyLineLength(std::string_view(head.constData(), static_cast<std::size_t>(head.size())));
  };
  d_->lastError = -1;
  const WaitEnd end = WaitFor([&] {
    return peekLength() > 0 || d_->socket.state() != QAbstractSocket::ConnectedState;
  });
  if (end == WaitEnd::Canceled) throw EAbortError("Socket readln aborted");
  if (end == WaitEnd::TimedOut) throw ESockError("Socket readln timed out");
  const std::size_t n = peekLength();
  if (n == kReplyLineTooLong) {
    // Whatever follows would be read out of step with the commands.
    CloseSocket();
    throw ESockError("Reply line longer than " + std::to_string(kMaxReplyLine) + " bytes; the connection was closed");
  }
  if (n == 0) {
    // Closed with no whole line waiting: the reply is an empty line.
    CloseSocket();
    return {};
  }
  const QByteArray line = d_->socket.read(static_cast<qint64>(n));
  return std::string(line.constData(), static_cast<std::size_t>(line.size()));
}

}  // namespace arkelin::mail
