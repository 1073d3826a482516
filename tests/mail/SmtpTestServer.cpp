// Test servers and the independent mail reader; see SmtpTestServer.h.
#include "SmtpTestServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QThread>
#include <fstream>
#include <iterator>
#include <sstream>

#include "TestFiles.h"

namespace arkelin::mail::test {

namespace {
const char* kPython = "/usr/bin/python3";
}  // namespace

SmtpTestServer::SmtpTestServer(const std::string& folder, const std::vector<std::string>& extraArgs,
                               const std::string& script)
    : folder_(folder) {
  const std::string portFile = folder + "/port";
  QStringList args{QString(MAIL_TEST_SCRIPTS) + "/" + QString::fromStdString(script), "--folder",
                   QString::fromStdString(folder),
                   "--port-file", QString::fromStdString(portFile)};
  for (const auto& a : extraArgs) args << QString::fromStdString(a);
  process_.setStandardOutputFile(QString::fromStdString(folder + "/server.out"));
  process_.setStandardErrorFile(QString::fromStdString(folder + "/server.err"));
  process_.start(kPython, args);
  if (!process_.waitForStarted(10000)) {
    error_ = "cannot start " + std::string(kPython);
    return;
  }
  // Wait for the server to come up: its port file, then a connection.
  QDeadlineTimer deadline(20000);
  std::string text;
  while (!deadline.hasExpired()) {
    text = ReadAll(portFile);
    if (!text.empty()) break;
    if (process_.state() == QProcess::NotRunning) break;
    QThread::msleep(20);
  }
  if (text.empty()) {
    error_ = "server did not come up: " + ReadAll(folder + "/server.err");
    return;
  }
  const int port = std::stoi(text);
  while (!deadline.hasExpired()) {
    QTcpSocket probe;
    probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
    if (probe.waitForConnected(500)) {
      probe.abort();
      port_ = port;
      return;
    }
    QThread::msleep(20);
  }
  error_ = "server port " + text + " does not accept connections";
}

SmtpTestServer::~SmtpTestServer() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

std::vector<std::string> SmtpTestServer::Commands() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadAll(folder_ + "/commands.log"));
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

int SmtpTestServer::MessageCount() const {
  int n = 0;
  while (QFile::exists(QString::fromStdString(folder_ + "/msg-" + std::to_string(n + 1) + ".eml"))) ++n;
  return n;
}

std::string SmtpTestServer::Message(int n) const { return ReadAll(folder_ + "/msg-" + std::to_string(n) + ".eml"); }

QJsonObject SmtpTestServer::Envelope(int n) const {
  const std::string text = ReadAll(folder_ + "/msg-" + std::to_string(n) + ".json");
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

QJsonObject ReadWithPython(const std::string& emlPath, const std::string& outdir) {
  QProcess p;
  p.start(kPython, {QString(MAIL_TEST_SCRIPTS) + "/read_mail.py", QString::fromStdString(emlPath),
                    QString::fromStdString(outdir)});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
  return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

ScriptedServer::ScriptedServer(std::string greeting, Reply reply)
    : greeting_(std::move(greeting)), reply_(std::move(reply)) {
  server_.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { OnReadable(s); });
      if (!greeting_.empty()) s->write(greeting_.data(), static_cast<qint64>(greeting_.size()));
    }
  });
}

void ScriptedServer::OnReadable(QTcpSocket* s) {
  pending_ += s->readAll().toStdString();
  for (std::size_t lf; (lf = pending_.find('\n')) != std::string::npos;) {
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    received_.push_back(line);
    const std::string answer = reply_(line);
    if (!answer.empty()) s->write(answer.data(), static_cast<qint64>(answer.size()));
  }
}

int ClosedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  const int port = probe.serverPort();
  probe.close();
  return port;
}

std::string HostName() {
  const std::string h = QHostInfo::localHostName().toStdString();
  return h.empty() ? "localhost" : h;
}

std::string MakeSelfSignedCertificate(const std::string& folder, const std::string& name, std::string* error) {
  const QString cert = QString::fromStdString(folder + "/cert.pem");
  const QString key = QString::fromStdString(folder + "/key.pem");
  const QString n = QString::fromStdString(name);
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                      "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=" + n, "-addext",
                      "subjectAltName=DNS:" + n + ",IP:127.0.0.1"});
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    if (error) *error = "openssl failed: " + p.readAll().toStdString();
    return {};
  }
  return ReadAll(cert.toStdString());
}

}  // namespace arkelin::mail::test
