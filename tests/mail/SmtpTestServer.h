// Test helpers: the aiosmtpd server of smtp_test_server.py started on a free
// port of 127.0.0.1 with what it recorded, Python's email parser run over a
// stored message, and a scripted in-process server for replies no real
// server gives on demand (multi-line replies, silence, refusals at HELO).
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace arkelin::mail::test {

class SmtpTestServer {
 public:
  // Starts the server writing into folder; extra arguments such as
  // "--refuse-data" go to the script. Check Started() (and Error()).
  // script names another server of this folder (flood_smtp_server.py).
  SmtpTestServer(const std::string& folder, const std::vector<std::string>& extraArgs = {},
                 const std::string& script = "smtp_test_server.py");
  ~SmtpTestServer();

  bool Started() const { return port_ > 0; }
  const std::string& Error() const { return error_; }
  int Port() const { return port_; }
  std::vector<std::string> Commands() const;
  int MessageCount() const;
  std::string Message(int n) const;  // raw bytes of the n-th message (1-based)
  QJsonObject Envelope(int n) const;

 private:
  std::string folder_;
  QProcess process_;
  int port_ = 0;
  std::string error_;
};

// Runs read_mail.py over a stored message; decoded attachments land in
// outdir. An empty object when the reader failed.
QJsonObject ReadWithPython(const std::string& emlPath, const std::string& outdir);

// Answers each line a client sends with what reply(line) returns (nothing
// when empty); greets with greeting when not empty. Lives on the test's
// thread and runs inside the client's waits.
class ScriptedServer {
 public:
  using Reply = std::function<std::string(const std::string& line)>;
  ScriptedServer(std::string greeting, Reply reply);
  int Port() const { return server_.serverPort(); }
  // Lines received, without line ends; inside DATA, the text lines too.
  const std::vector<std::string>& Received() const { return received_; }

 private:
  void OnReadable(QTcpSocket* s);
  QTcpServer server_;
  std::string greeting_;
  Reply reply_;
  std::vector<std::string> received_;
  std::string pending_;
};

// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

// The name a client greets with: this machine's name, "localhost" when it
// has none.
std::string HostName();

// A self-signed certificate and its key made with the openssl command in
// folder (cert.pem, key.pem) for name: its common name and the DNS name it
// carries, beside the address 127.0.0.1. Answers the certificate's PEM text,
// empty when openssl failed (error then says why).
std::string MakeSelfSignedCertificate(const std::string& folder, const std::string& name, std::string* error);

}  // namespace arkelin::mail::test
