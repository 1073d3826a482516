// TPowersock, the TCP socket layer under the SMTP client. It resolves a host
// name (cancellably), connects, sends and reads lines, and puts TLS on the
// connection (at once, or later when the protocol asks for it), and every
// one of those waits loops over the user-interface thread's event queue, so
// windows keep repainting and their buttons, Abort among them, keep working
// while the client waits. Each wait lets the queue run at least once, also
// when what it waits for has already arrived, so a peer that floods the
// connection cannot starve the windows. It does not speak SMTP; TNMSMTP
// builds on it. Qt Network does the work underneath (QSslSocket for TLS,
// verifying the server's certificate and name; a certificate that does not
// verify ends the connection, there is no way to accept it anyway), so a
// QCoreApplication (or QApplication) must exist on the thread that creates
// and uses the component; there is no other thread.
//
// Re-entrancy: handlers of other windows run inside the waits. They may call
// Abort at any time; the wait in progress then ends with its "Canceled" or
// "aborted" error. The socket object itself is never destroyed while the
// component lives (closing only resets it), so a close from a handler leaves
// no wait holding a dead socket.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::mail {

// Failures of the socket layer: lookup, connect, send, receive, and the
// numbered errors of the platform ("10061:Connection refused").
class ESockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A wait ended by Abort: "Socket send aborted", "Socket readln aborted".
class EAbortError : public ESockError {
 public:
  using ESockError::ESockError;
};

// TLS could not be put on the connection: the server's certificate did not
// verify, the handshake failed, or this system has no TLS. The connection
// is closed when this is raised.
class ETlsError : public ESockError {
 public:
  using ESockError::ESockError;
};

class TPowersock {
 public:
  // Throws ESockError("Initializaton of windows sockets failed") when no
  // Qt application object exists to carry the socket's events.
  TPowersock();
  virtual ~TPowersock();
  TPowersock(const TPowersock&) = delete;
  TPowersock& operator=(const TPowersock&) = delete;

  std::string Host;   // server name or dotted address
  int Port = 25;
  int TimeOut = 0;    // limit of each wait in ms; 0 means none
  int ReportLevel = 0;  // status texts at or below this level reach DoStatus

  // Certificates (PEM text) trusted instead of the system's authorities;
  // empty trusts the system's. Read when TLS starts.
  std::vector<std::string> TrustedCertificates;

  // The TCP connection is up (closes by the server are noticed at once).
  bool Connected() const;
  // The connection is up and carries TLS.
  bool Encrypted() const;
  // Asks the wait in progress to end. Safe from any handler, at any time.
  void Abort();
  // Closes the connection at once, without a word to the server (after an
  // abort, when waiting for a goodbye makes no sense).
  void CloseConnection() { CloseSocket(); }

  // Size of the body being sent and how much of it has gone out.
  std::uint64_t BytesTotal() const { return bytesTotal_; }
  std::uint64_t BytesSent() const { return bytesSent_; }

 protected:
  // Resolves Host and opens the TCP connection to Port. Fails with "Already
  // connected", "Host Lookup Timed Out", "Host Lookup Canceled", "Null
  // Remote Address", "Connection Timed out", "Connection Canceled", the
  // platform's numbered error ("10061:Connection refused") or "Connection
  // Failed"; DoConnectionFailed runs before the connect failures. With tls
  // the connection is encrypted before this returns (see StartTls).
  void OpenConnection(bool tls = false);
  // Puts TLS on the open connection and waits for the handshake. The
  // server's certificate must verify against TrustedCertificates (or the
  // system's authorities) and name Host. Fails with ETlsError (the
  // connection is then closed) or the abort and time-out errors.
  void StartTls();
  // Bytes have arrived that no ReadLine has taken yet.
  bool HasUnreadInput() const;
  // Closes the socket at once, leaving a fresh one ready; fires
  // DoDisconnected when a connection was open.
  void CloseSocket();
  // Queues data and waits until the socket has taken all of it.
  void SendBytes(std::string_view data);
  // Waits until a whole line (with its line feed, at most 64 KB) has arrived
  // and returns it; "" when the server closed the connection first. A line
  // that grows past 64 KB closes the connection and fails with "Reply line
  // longer than 65536 bytes".
  std::string ReadLine();
  void ClearCancel() { cancel_ = false; }
  void Status(int level, const std::string& text);

  // Hooks for the component built on top; they fire its events.
  virtual void DoHostResolved() {}
  // A failed lookup; true when the case was handled (Host changed) and the
  // lookup should run once more.
  virtual bool DoInvalidHost() { return false; }
  virtual void DoConnectionFailed() {}
  virtual void DoDisconnected() {}
  virtual void DoStatus(const std::string& text) {}

  std::uint64_t bytesTotal_ = 0;
  std::uint64_t bytesSent_ = 0;

 private:
  enum class WaitEnd { Done, Canceled, TimedOut };
  template <class Pred>
  WaitEnd WaitFor(Pred done);
  std::string ResolveHost();
  [[noreturn]] void ThrowSocketError(int fallbackNumber);

  struct Impl;
  std::unique_ptr<Impl> d_;
  bool cancel_ = false;
};

}  // namespace arkelin::mail
