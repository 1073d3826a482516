// TNMSMTP with TLS and a login against aiosmtpd (a certificate made by the
// test with openssl and trusted by this test alone), and against servers
// that misbehave: replies without end, a reply line past 64 KB, a STARTTLS
// reply with more behind it, a login offered over plain text; and addresses
// that would smuggle parameters into MAIL FROM and RCPT TO.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "SmtpTestServer.h"
#include "mail/NMsmtp.h"
#include "platform/FakePlatform.h"
#include "TestFiles.h"

namespace arkelin::mail {
namespace {

using test::HostName;
using test::MakeSelfSignedCertificate;
using test::ReadWithPython;
using test::ScriptedServer;
using test::SmtpTestServer;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SmtpSecurity : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }
  std::string Dir() const { return tmp_.path().toStdString(); }

  // A certificate for name in its own folder; its PEM text.
  std::string Certificate(const std::string& name) {
    const std::string folder = Dir() + "/cert-" + name;
    std::filesystem::create_directories(folder);
    std::string error;
    const std::string pem = MakeSelfSignedCertificate(folder, name, &error);
    EXPECT_FALSE(pem.empty()) << error;
    return pem;
  }
  std::string CertArgsFolder(const std::string& name) const { return Dir() + "/cert-" + name; }

  std::unique_ptr<SmtpTestServer> StartServer(std::vector<std::string> args, const std::string& certName = {},
                                              const std::string& script = "smtp_test_server.py") {
    if (!certName.empty()) {
      args.insert(args.end(), {"--cert", CertArgsFolder(certName) + "/cert.pem", "--key",
                               CertArgsFolder(certName) + "/key.pem"});
    }
    const std::string folder = Dir() + "/server" + std::to_string(++servers_);
    std::filesystem::create_directories(folder);
    auto s = std::make_unique<SmtpTestServer>(folder, args, script);
    EXPECT_TRUE(s->Started()) << s->Error();
    return s;
  }

  // A client aimed at server "localhost" (the name the certificates carry)
  // with a one-recipient mail and a bound on every wait.
  void Aim(TNMSMTP& smtp, const SmtpTestServer& server) {
    smtp.TimeOut = 20000;
    smtp.Host = "localhost";
    smtp.Port = server.Port();
    smtp.PostMessage.FromName = "Ann";
    smtp.PostMessage.FromAddress = "ann@example.org";
    smtp.PostMessage.ToAddress = {"bob@example.org"};
    smtp.PostMessage.Subject = "Secure";
  }

  QTemporaryDir tmp_;
  int servers_ = 0;
};

// ---- TLS and login -----------------------------------------------------------

TEST_F(SmtpSecurity, StartTlsAndLoginDeliverTheMailIntact) {
  const std::string pem = Certificate("localhost");
  auto server = StartServer({"--starttls", "--auth", "ann:s3cret"}, "localhost");
  ASSERT_TRUE(server->Started());
  const std::string file = Dir() + "/data.bin";
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  std::ofstream(file, std::ios::binary) << bytes;

  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Security = secStartTls;
  smtp.UserName = "ann";
  smtp.Password = "s3cret";
  smtp.TrustedCertificates = {pem};
  smtp.ReportLevel = 2;
  std::vector<std::string> status;
  smtp.OnStatus = [&](TNMSMTP&, const std::string& t) { status.push_back(t); };
  smtp.PostMessage.Attachments = {file};
  smtp.Connect();
  EXPECT_TRUE(smtp.Encrypted());
  EXPECT_TRUE(smtp.Offer().authPlain);
  smtp.SendMail();
  smtp.Disconnect();

  const auto commands = server->Commands();
  ASSERT_EQ(commands.size(), 9u);
  EXPECT_EQ(commands[0], "EHLO " + HostName());
  EXPECT_EQ(commands[1], "STARTTLS");
  EXPECT_EQ(commands[2], "EHLO " + HostName());
  EXPECT_EQ(commands[3].rfind("AUTH PLAIN ", 0), 0u) << commands[3];
  // After the login the classic transaction follows.
  EXPECT_EQ(std::vector<std::string>(commands.begin() + 4, commands.end()),
            (std::vector<std::string>{"RSET", "MAIL FROM:<ann@example.org>", "RCPT TO:<bob@example.org>", "DATA",
                                      "QUIT"}));
  ASSERT_EQ(server->MessageCount(), 1);
  EXPECT_TRUE(server->Envelope(1)["tls"].toBool());
  EXPECT_EQ(server->Envelope(1)["login"].toString(), "ann");

  std::filesystem::create_directories(Dir() + "/read");
  const QJsonObject mail = ReadWithPython(Dir() + "/server1/msg-1.eml", Dir() + "/read");
  ASSERT_FALSE(mail.isEmpty());
  const QJsonArray parts = mail["parts"].toArray();
  ASSERT_EQ(parts.size(), 2);
  EXPECT_EQ(parts[1]["filename"].toString(), "data.bin");
  EXPECT_TRUE(ReadAll(parts[1]["file"].toString().toStdString()) == bytes);

  // The password shows up in no status text.
  for (const auto& t : status) EXPECT_FALSE(Contains(t, "s3cret") || Contains(t, Base64("s3cret"))) << t;
  EXPECT_NE(std::find(status.begin(), status.end(), "AUTH PLAIN ****"), status.end());
}

TEST_F(SmtpSecurity, ImplicitTlsAndAuthLogin) {
  const std::string pem = Certificate("localhost");
  auto server = StartServer({"--implicit-tls", "--auth", "ann:s3cret", "--no-plain"}, "localhost");
  ASSERT_TRUE(server->Started());
  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Security = secTls;
  smtp.UserName = "ann";
  smtp.Password = "s3cret";
  smtp.TrustedCertificates = {pem};
  smtp.Connect();
  EXPECT_TRUE(smtp.Encrypted());
  EXPECT_FALSE(smtp.Offer().authPlain);
  smtp.SendMail();
  smtp.Disconnect();
  const auto commands = server->Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0], "EHLO " + HostName());
  EXPECT_EQ(commands[1], "AUTH LOGIN");
  ASSERT_EQ(server->MessageCount(), 1);
  EXPECT_TRUE(server->Envelope(1)["tls"].toBool());
  EXPECT_EQ(server->Envelope(1)["login"].toString(), "ann");
}

TEST_F(SmtpSecurity, WrongPasswordGivesTheServersRefusal) {
  const std::string pem = Certificate("localhost");
  // One server that takes AUTH PLAIN, one that takes only AUTH LOGIN.
  for (const bool plain : {true, false}) {
    SCOPED_TRACE(plain ? "PLAIN" : "LOGIN");
    std::vector<std::string> args{"--starttls", "--auth", "ann:s3cret"};
    if (!plain) args.push_back("--no-plain");
    auto server = StartServer(args, "localhost");
    ASSERT_TRUE(server->Started());
    TNMSMTP smtp;
    Aim(smtp, *server);
    smtp.Security = secStartTls;
    smtp.UserName = "ann";
    smtp.Password = "wrong";
    smtp.TrustedCertificates = {pem};
    int connects = 0;
    smtp.OnConnect = [&](TNMSMTP&) { ++connects; };
    try {
      smtp.Connect();
      FAIL() << "a wrong password was accepted";
    } catch (const ESmtpError& e) {
      EXPECT_STREQ(e.what(), "Login refused by the server: 535 5.7.8 Authentication credentials invalid");
    }
    EXPECT_EQ(connects, 0);
    EXPECT_FALSE(smtp.Connected());
    EXPECT_FALSE(smtp.Busy());
    EXPECT_EQ(server->MessageCount(), 0);
    const auto commands = server->Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "QUIT");
    EXPECT_EQ(commands[3].rfind(plain ? "AUTH PLAIN " : "AUTH LOGIN", 0), 0u) << commands[3];
    for (const auto& c : commands) EXPECT_NE(c.rfind("MAIL", 0), 0u) << c;
  }
}

TEST_F(SmtpSecurity, UntrustedOrMisnamedCertificateIsRefused) {
  Certificate("localhost");
  const std::string other = Certificate("other.test");
  auto server = StartServer({"--starttls", "--auth", "ann:s3cret"}, "localhost");
  auto misnamed = StartServer({"--implicit-tls"}, "other.test");
  ASSERT_TRUE(server->Started());
  ASSERT_TRUE(misnamed->Started());

  // The system's authorities know nothing of the test's certificate.
  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Security = secStartTls;
  smtp.UserName = "ann";
  smtp.Password = "s3cret";
  int disconnects = 0;
  smtp.OnDisconnect = [&](TNMSMTP&) { ++disconnects; };
  try {
    smtp.Connect();
    FAIL() << "an untrusted certificate was accepted";
  } catch (const ETlsError& e) {
    EXPECT_TRUE(Contains(e.what(), "The server's certificate was refused (")) << e.what();
    EXPECT_TRUE(Contains(e.what(), "self-signed")) << e.what();
  }
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(disconnects, 1);
  // Nothing went out after STARTTLS: no login, no mail, not in plain text.
  EXPECT_EQ(server->Commands(), (std::vector<std::string>{"EHLO " + HostName(), "STARTTLS"}));

  // A trusted certificate made out to another name is refused as well.
  TNMSMTP second;
  Aim(second, *misnamed);
  second.Security = secTls;
  second.TrustedCertificates = {other};
  try {
    second.Connect();
    FAIL() << "a certificate for other.test was accepted for localhost";
  } catch (const ETlsError& e) {
    EXPECT_TRUE(Contains(e.what(), "The server's certificate was refused (")) << e.what();
    EXPECT_TRUE(Contains(e.what(), "host name")) << e.what();
  }
  EXPECT_FALSE(second.Connected());
  EXPECT_TRUE(misnamed->Commands().empty());
}

TEST_F(SmtpSecurity, StartTlsNotOfferedIsNoDowngrade) {
  auto server = StartServer({});
  ASSERT_TRUE(server->Started());
  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Security = secStartTls;
  try {
    smtp.Connect();
    FAIL();
  } catch (const ESmtpError& e) {
    EXPECT_STREQ(e.what(), "The server does not offer STARTTLS; the mail is not sent without encryption");
  }
  EXPECT_EQ(server->Commands(), (std::vector<std::string>{"EHLO " + HostName(), "QUIT"}));
}

TEST_F(SmtpSecurity, EhloRefusedFallsBackToHelo) {
  const std::string pem = Certificate("localhost");
  auto server = StartServer({"--implicit-tls", "--no-ehlo"}, "localhost");
  ASSERT_TRUE(server->Started());
  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Security = secTls;
  smtp.TrustedCertificates = {pem};
  smtp.Connect();
  smtp.SendMail();
  smtp.Disconnect();
  EXPECT_EQ(server->Commands(),
            (std::vector<std::string>{"EHLO " + HostName(), "HELO " + HostName(), "RSET",
                                      "MAIL FROM:<ann@example.org>", "RCPT TO:<bob@example.org>", "DATA", "QUIT"}));
  EXPECT_EQ(server->MessageCount(), 1);
}

// ---- Scripted servers that try to get a secret or a reply past the client -----

TEST(SmtpSecurityScripted, PasswordIsNeverSentInPlainText) {
  ScriptedServer server("220 ready\r\n", [](const std::string& line) -> std::string {
    if (line.rfind("EHLO", 0) == 0) return "250-plain.test\r\n250-AUTH PLAIN LOGIN\r\n250 HELP\r\n";
    if (line == "QUIT") return "221 bye\r\n";
    return "250 ok\r\n";
  });
  TNMSMTP smtp;
  smtp.TimeOut = 10000;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.UserName = "ann";
  smtp.Password = "s3cret";
  try {
    smtp.Connect();
    FAIL();
  } catch (const ESmtpError& e) {
    EXPECT_STREQ(e.what(),
                 "The password is only sent over an encrypted connection: choose STARTTLS or TLS for this server");
  }
  EXPECT_EQ(server.Received(), (std::vector<std::string>{"EHLO " + HostName(), "QUIT"}));
}

TEST(SmtpSecurityScripted, DataBehindTheStartTlsReplyEndsTheConnection) {
  ScriptedServer server("220 ready\r\n", [](const std::string& line) -> std::string {
    if (line.rfind("EHLO", 0) == 0) return "250-plain.test\r\n250 STARTTLS\r\n";
    if (line == "STARTTLS") return "220 go ahead\r\n250 planted reply\r\n";
    return "250 ok\r\n";
  });
  TNMSMTP smtp;
  smtp.TimeOut = 10000;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.Security = secStartTls;
  try {
    smtp.Connect();
    FAIL();
  } catch (const ESmtpError& e) {
    EXPECT_STREQ(e.what(), "The server sent more than its STARTTLS reply; the connection was closed");
  }
  EXPECT_FALSE(smtp.Connected());
}

// ---- Flooding servers ----------------------------------------------------------

class SmtpFlood : public SmtpSecurity {
 protected:
  std::unique_ptr<SmtpTestServer> Flood(const std::string& mode) {
    return StartServer({"--mode", mode}, {}, "flood_smtp_server.py");
  }
  void AimAtFlood(TNMSMTP& smtp, const SmtpTestServer& server) {
    Aim(smtp, server);
    smtp.Host = "127.0.0.1";
  }
};

TEST_F(SmtpFlood, EndlessRepliesEndAtTheBoundWithTheWindowServed) {
  for (const std::string mode : {"greeting", "ehlo"}) {
    SCOPED_TRACE(mode);
    auto server = Flood(mode);
    ASSERT_TRUE(server->Started());
    platform::FakePlatformScope fake;
    TNMSMTP smtp;
    AimAtFlood(smtp, *server);
    int disconnects = 0;
    smtp.OnDisconnect = [&](TNMSMTP&) { ++disconnects; };
    try {
      smtp.Connect();
      FAIL() << "an endless reply was taken";
    } catch (const ESmtpError& e) {
      EXPECT_STREQ(e.what(), "The server's reply runs past 100 lines or 256 KB; the connection was closed");
    }
    EXPECT_FALSE(smtp.Connected());
    EXPECT_FALSE(smtp.Busy());
    EXPECT_EQ(disconnects, 1);
    // The window's messages ran for every line read, though each was there
    // before the client asked for it.
    EXPECT_GE(fake.pump.calls, 100);
  }
}

TEST_F(SmtpFlood, CloseDuringASlowFloodStopsTheWait) {
  auto server = Flood("slow");
  ASSERT_TRUE(server->Started());
  platform::FakePlatformScope fake;
  TNMSMTP smtp;
  AimAtFlood(smtp, *server);
  // The user clicks Close a little while into the flood.
  fake.pump.onProcess = [&] {
    if (fake.pump.calls == 30) smtp.Abort();
  };
  try {
    smtp.Connect();
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket readln aborted");
  }
  EXPECT_FALSE(smtp.Connected());
}

TEST_F(SmtpFlood, OverlongReplyLineClosesTheConnection) {
  auto server = Flood("longline");
  ASSERT_TRUE(server->Started());
  TNMSMTP smtp;
  AimAtFlood(smtp, *server);
  try {
    smtp.Connect();
    FAIL() << "a 70,000-character line was taken as a reply";
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Reply line longer than 65536 bytes; the connection was closed");
  }
  EXPECT_FALSE(smtp.Connected());
}

TEST_F(SmtpFlood, AddressesCannotCarryCommandParameters) {
  auto server = StartServer({});
  ASSERT_TRUE(server->Started());
  TNMSMTP smtp;
  Aim(smtp, *server);
  smtp.Host = "127.0.0.1";
  smtp.Connect();
  smtp.PostMessage.FromAddress = "ann@example.org> SIZE=1";
  try {
    smtp.SendMail();
    FAIL();
  } catch (const ESmtpError& e) {
    EXPECT_STREQ(e.what(), "Invalid sender address \"ann@example.org> SIZE=1\"");
  }
  smtp.PostMessage.FromAddress = "ann@example.org";
  for (const std::string bad : {"bob@example.org> NOTIFY=NEVER", "Bob <bob@<x>", "bob@example.org\r\nRSET"}) {
    smtp.PostMessage.ToAddress = {"carol@example.org", bad};
    EXPECT_THROW(smtp.SendMail(), ESmtpError) << bad;
  }
  // What stands behind the closing bracket of a name-and-address text is
  // not part of the address, so it is no parameter either.
  smtp.PostMessage.ToAddress = {"Bob <bob@example.org> NOTIFY=NEVER"};
  smtp.SendMail();
  smtp.Disconnect();
  const auto commands = server->Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "RCPT TO:<bob@example.org>"), 1);
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("MAIL", 0) == 0; }),
            1);
  EXPECT_EQ(server->MessageCount(), 1);
}

}  // namespace
}  // namespace arkelin::mail
