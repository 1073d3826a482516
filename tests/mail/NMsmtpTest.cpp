// TNMSMTP against a real SMTP server (aiosmtpd, started per test on a free
// port of 127.0.0.1) with Python's email parser as the independent reader,
// and against a scripted in-process server for the replies a real server
// does not give on demand.
#include "mail/NMsmtp.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>

#include "SmtpTestServer.h"
#include "TestFiles.h"

namespace arkelin::mail {
namespace {

using test::ClosedPort;
using test::HostName;
using test::ReadWithPython;
using test::ScriptedServer;
using test::SmtpTestServer;

std::vector<std::string> Strings(const QJsonArray& a) {
  std::vector<std::string> v;
  for (const auto& x : a) v.push_back(x.toString().toStdString());
  return v;
}

// The text of the E that `call` throws; a failure of the test when it
// throws none.
template <class E, class Call>
std::string ThrownText(Call&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing was thrown";
  return {};
}

// What a handler saw, in order.
struct EventLog {
  std::vector<std::string> events;
  void Attach(TNMSMTP& s) {
    s.OnConnect = [this](TNMSMTP&) { events.push_back("connect"); };
    s.OnConnectionFailed = [this](TNMSMTP&) { events.push_back("connection failed"); };
    s.OnDisconnect = [this](TNMSMTP&) { events.push_back("disconnect"); };
    s.OnSendStart = [this](TNMSMTP&) { events.push_back("send start"); };
    s.OnEncodeStart = [this](TNMSMTP&, const std::string& p) { events.push_back("encode start " + p); };
    s.OnEncodeEnd = [this](TNMSMTP&, const std::string& p) { events.push_back("encode end " + p); };
    s.OnRecipientNotFound = [this](TNMSMTP&, const std::string& r) { events.push_back("not found " + r); };
    s.OnFailure = [this](TNMSMTP&) { events.push_back("failure"); };
    s.OnSuccess = [this](TNMSMTP&) { events.push_back("success"); };
  }
  int Count(const std::string& e) const { return static_cast<int>(std::count(events.begin(), events.end(), e)); }
};

class NMsmtpServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp_.isValid()); }
  std::string Dir() const { return tmp_.path().toStdString(); }

  // Starts the server (with `args`) in its own subfolder and addresses the
  // client's mail from Ann to it.
  void Serve(const std::vector<std::string>& args = {}) {
    std::filesystem::create_directories(Dir() + "/server");
    server_ = std::make_unique<SmtpTestServer>(Dir() + "/server", args);
    ASSERT_TRUE(server_->Started()) << server_->Error();
    smtp_.Host = "127.0.0.1";
    smtp_.Port = server_->Port();
    smtp_.PostMessage.FromName = "Ann Sender";
    smtp_.PostMessage.FromAddress = "ann@example.org";
    smtp_.PostMessage.Subject = "Archive";
    smtp_.PostMessage.LocalProgram = "Arkelin mail";
  }

  QTemporaryDir tmp_;
  std::unique_ptr<SmtpTestServer> server_;
  TNMSMTP smtp_;  // ends before the server
};

TEST_F(NMsmtpServer, MailWithEmptyAndLargeAttachmentArrivesIntact) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  const std::string empty = Dir() + "/empty.bin";
  const std::string large = Dir() + "/random.zip";
  WriteAll(empty, "");
  std::string bytes(1 << 20, '\0');
  std::mt19937 rng(7);
  for (char& c : bytes) c = static_cast<char>(rng());
  WriteAll(large, bytes);

  EventLog log;
  log.Attach(smtp_);
  int packets = 0;
  smtp_.OnPacketSent = [&](TNMSMTP& s) {
    ++packets;
    EXPECT_LE(s.BytesSent(), s.BytesTotal());
  };
  smtp_.PostMessage.ToAddress = {"Bob Receiver <bob@example.org>"};
  smtp_.PostMessage.ToCarbonCopy = {"carol@example.org"};
  smtp_.PostMessage.ToBlindCarbonCopy = {"dave@example.org"};
  smtp_.PostMessage.Date = "Wed, 09 Dec 2026 18:00:00 +0000";
  smtp_.PostMessage.Attachments = {empty, large};

  smtp_.Connect();
  EXPECT_TRUE(smtp_.Connected());
  smtp_.SendMail();
  EXPECT_EQ(smtp_.BytesSent(), smtp_.BytesTotal());
  EXPECT_EQ(packets, static_cast<int>((smtp_.BytesTotal() + 65535) / 65536));
  EXPECT_GT(packets, 20);  // 1 MB in base64 takes about 22 pieces
  smtp_.Disconnect();
  EXPECT_FALSE(smtp_.Connected());

  EXPECT_EQ(log.events, (std::vector<std::string>{"connect", "encode start " + empty, "encode end " + empty,
                                                  "encode start " + large, "encode end " + large, "send start",
                                                  "success", "disconnect"}));
  // Recipients and attachments are emptied after the send; the rest stays.
  EXPECT_TRUE(smtp_.PostMessage.ToAddress.empty());
  EXPECT_TRUE(smtp_.PostMessage.ToCarbonCopy.empty());
  EXPECT_TRUE(smtp_.PostMessage.ToBlindCarbonCopy.empty());
  EXPECT_TRUE(smtp_.PostMessage.Attachments.empty());
  EXPECT_EQ(smtp_.PostMessage.Subject, "Archive");

  EXPECT_EQ(server_->Commands(),
            (std::vector<std::string>{"HELO " + HostName(), "RSET", "MAIL FROM:<ann@example.org>",
                                      "RCPT TO:<bob@example.org>", "RCPT TO:<carol@example.org>",
                                      "RCPT TO:<dave@example.org>", "DATA", "QUIT"}));
  ASSERT_EQ(server_->MessageCount(), 1);
  EXPECT_EQ(Strings(server_->Envelope(1)["rcpt_tos"].toArray()),
            (std::vector<std::string>{"bob@example.org", "carol@example.org", "dave@example.org"}));

  std::filesystem::create_directories(Dir() + "/read");
  const QJsonObject mail = ReadWithPython(Dir() + "/server/msg-1.eml", Dir() + "/read");
  ASSERT_FALSE(mail.isEmpty()) << "the Python reader failed";
  EXPECT_TRUE(mail["defects"].toArray().isEmpty());
  std::vector<std::pair<std::string, std::string>> headers;
  for (const auto& h : mail["headers"].toArray())
    headers.emplace_back(h.toArray()[0].toString().toStdString(), h.toArray()[1].toString().toStdString());
  const std::string boundary = mail["boundary"].toString().toStdString();
  EXPECT_TRUE(std::regex_match(boundary, std::regex("={20}54535[a-y]{6}={4}"))) << boundary;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"From", "Ann Sender<ann@example.org>"},
      {"To", "Bob Receiver <bob@example.org>"},
      {"CC", "carol@example.org"},
      {"Subject", "Archive"},
      {"X-Mailer", "Arkelin mail"},
      {"Date", "Wed, 09 Dec 2026 18:00:00 +0000"},
      {"Mime-Version", "1.0"},
      {"Content-Type", "multipart/mixed; boundary=\"" + boundary + "\""}};
  EXPECT_EQ(headers, expected);  // no BCC line among them

  const QJsonArray parts = mail["parts"].toArray();
  ASSERT_EQ(parts.size(), 3);
  EXPECT_EQ(parts[0]["content_type"].toString(), "text/plain");
  EXPECT_EQ(parts[0]["charset"].toString(), "us-ascii");
  EXPECT_EQ(parts[0]["text"].toString(), "");
  EXPECT_EQ(parts[1]["content_type"].toString(), "application/octet-stream");
  EXPECT_EQ(parts[1]["filename"].toString(), "empty.bin");
  EXPECT_EQ(parts[1]["encoding"].toString(), "base64");
  EXPECT_EQ(ReadAll(parts[1]["file"].toString().toStdString()), "");
  EXPECT_EQ(parts[2]["filename"].toString(), "random.zip");
  EXPECT_TRUE(ReadAll(parts[2]["file"].toString().toStdString()) == bytes) << "decoded attachment differs";

  // On the wire every base64 line of the large part has 60 characters but
  // the last.
  const std::string raw = server_->Message(1);
  const std::size_t start = raw.find("\r\n\r\n", raw.find("filename=\"random.zip\"")) + 4;
  const std::size_t end = raw.find("--" + boundary + "--", start);
  ASSERT_NE(end, std::string::npos);
  std::size_t pos = start, lines = 0;
  while (pos < end) {
    const std::size_t eol = raw.find("\r\n", pos);
    ++lines;
    if (eol + 2 < end) {
      EXPECT_EQ(eol - pos, 60u) << "line " << lines;
    }
    pos = eol + 2;
  }
  EXPECT_EQ(lines, ((1u << 20) + 44) / 45);
}

TEST_F(NMsmtpServer, BoundariesOfARunStartWithTheFixedSequence) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  WriteAll(Dir() + "/a.txt", "abc");
  TBoundarySource::ForProcess() = TBoundarySource(0);  // as at program start
  smtp_.Connect();
  for (int i = 0; i < 2; ++i) {
    smtp_.PostMessage.ToAddress = {"bob@example.org"};
    smtp_.PostMessage.Attachments = {Dir() + "/a.txt"};
    smtp_.SendMail();
  }
  smtp_.Disconnect();
  ASSERT_EQ(server_->MessageCount(), 2);
  EXPECT_NE(server_->Message(1).find("boundary=\"====================54535aavfgq====\""), std::string::npos);
  EXPECT_NE(server_->Message(2).find("boundary=\"====================54535hejkcl====\""), std::string::npos);
}

TEST_F(NMsmtpServer, RefusedRecipientIsReportedAndTheOthersGetTheMail) {
  ASSERT_NO_FATAL_FAILURE(Serve({"--refuse-rcpt", "nobody@example.org"}));
  EventLog log;
  log.Attach(smtp_);
  smtp_.PostMessage.ToAddress = {"Nobody <nobody@example.org>", "bob@example.org"};
  smtp_.Connect();
  smtp_.SendMail();
  smtp_.Disconnect();
  EXPECT_EQ(log.Count("not found Nobody <nobody@example.org>"), 1);
  EXPECT_EQ(log.Count("success"), 1);
  ASSERT_EQ(server_->MessageCount(), 1);
  EXPECT_EQ(Strings(server_->Envelope(1)["rcpt_tos"].toArray()), std::vector<std::string>{"bob@example.org"});
  // The To line carries both recipients as typed.
  EXPECT_NE(server_->Message(1).find("To: Nobody <nobody@example.org>,bob@example.org\r\n"), std::string::npos);
}

TEST_F(NMsmtpServer, RefusedEndOfDataFiresFailureAndRaisesTheReply) {
  ASSERT_NO_FATAL_FAILURE(Serve({"--refuse-data"}));
  EventLog log;
  log.Attach(smtp_);
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  smtp_.Connect();
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp_.SendMail(); }), "554 5.6.0 Message refused by policy")
      << "a refused mail was reported as sent";
  EXPECT_EQ(log.Count("failure"), 1);
  EXPECT_EQ(log.Count("success"), 0);
  EXPECT_EQ(smtp_.PostMessage.ToAddress.size(), 1u);  // nothing cleared
  EXPECT_FALSE(smtp_.Busy());
  smtp_.Disconnect();
  EXPECT_EQ(server_->MessageCount(), 0);
}

TEST_F(NMsmtpServer, ConnectionDroppedAtEndOfDataIsNoSuccess) {
  ASSERT_NO_FATAL_FAILURE(Serve({"--drop-data"}));
  EventLog log;
  log.Attach(smtp_);
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  smtp_.Connect();
  EXPECT_THROW(smtp_.SendMail(), ESmtpError);
  EXPECT_EQ(log.Count("failure"), 1);
  EXPECT_EQ(log.Count("success"), 0);
  EXPECT_FALSE(smtp_.Connected());
  EXPECT_EQ(log.Count("disconnect"), 1);
}

TEST_F(NMsmtpServer, SecondSendMailFromAHandlerDoesNothing) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  int nested = 0;
  smtp_.OnSendStart = [&](TNMSMTP& s) {
    ++nested;
    EXPECT_TRUE(s.Busy());
    s.SendMail();
  };
  smtp_.Connect();
  smtp_.SendMail();
  smtp_.Disconnect();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(server_->MessageCount(), 1);
  const auto cmds = server_->Commands();
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "RSET"), 1);
}

TEST_F(NMsmtpServer, BodyLinesStartingWithADotArriveUnchanged) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  smtp_.PostMessage.Body = {"first", ".", ".hidden", "..two", "last"};
  smtp_.Connect();
  smtp_.SendMail();
  smtp_.Disconnect();
  ASSERT_EQ(server_->MessageCount(), 1);
  const std::string raw = server_->Message(1);
  EXPECT_NE(raw.find("Content-Type: text/plain; charset=us-ascii\r\n"), std::string::npos);
  const std::size_t body = raw.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  // The header ends with two empty lines; the body text follows.
  EXPECT_EQ(raw.substr(body + 4), "\r\nfirst\r\n.\r\n.hidden\r\n..two\r\nlast\r\n");
}

TEST_F(NMsmtpServer, UserIdIsTheHeloArgument) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  smtp_.UserID = "client.example.org";
  smtp_.Connect();
  smtp_.Disconnect();
  EXPECT_EQ(server_->Commands(), (std::vector<std::string>{"HELO client.example.org", "QUIT"}));
}

TEST_F(NMsmtpServer, UnreadableAttachmentSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  EventLog log;
  log.Attach(smtp_);
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  const std::string missing = Dir() + "/gone.zip";
  smtp_.PostMessage.Attachments = {missing};
  smtp_.Connect();
  EXPECT_EQ(ThrownText<EFileOpenError>([&] { smtp_.SendMail(); }),
            "Cannot open file \"" + missing + "\". No such file or directory")
      << "a missing attachment was sent";
  EXPECT_EQ(log.Count("send start"), 0);
  EXPECT_EQ(log.Count("encode start " + missing), 0);
  EXPECT_FALSE(smtp_.Busy());
  EXPECT_TRUE(smtp_.Connected());
  smtp_.Disconnect();
  EXPECT_EQ(server_->Commands(), (std::vector<std::string>{"HELO " + HostName(), "QUIT"}));
}

TEST_F(NMsmtpServer, SendWithoutConnectionAsksForOne) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  smtp_.PostMessage.ToAddress = {"bob@example.org"};
  // No handler: refused.
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp_.SendMail(); }), "Not Connected");
  // A handler that declines leaves it refused even when it connected.
  smtp_.OnConnectionRequired = [](TNMSMTP& s, bool& handled) { handled = false; };
  EXPECT_THROW(smtp_.SendMail(), ESmtpError);
  // A handler that connects and says so lets the mail go.
  int asked = 0;
  smtp_.OnConnectionRequired = [&](TNMSMTP& s, bool& handled) {
    ++asked;
    s.Connect();
    handled = true;
  };
  smtp_.SendMail();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(server_->MessageCount(), 1);
  EXPECT_FALSE(smtp_.Busy());
  smtp_.Disconnect();
}

TEST_F(NMsmtpServer, IncompleteHeaderAndSecondConnectFail) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  smtp_.Connect();
  EXPECT_EQ(ThrownText<ESockError>([&] { smtp_.Connect(); }), "Already connected");
  // No recipient yet.
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp_.SendMail(); }), "Incomplete Header");
  smtp_.PostMessage.ToBlindCarbonCopy = {"dave@example.org"};  // a BCC alone is enough
  smtp_.PostMessage.FromAddress.clear();
  EXPECT_THROW(smtp_.SendMail(), ESmtpError);
  smtp_.PostMessage.FromAddress = "ann@example.org";
  smtp_.SendMail();
  smtp_.Disconnect();
  EXPECT_EQ(server_->MessageCount(), 1);
  EXPECT_EQ(server_->Message(1).find("dave"), std::string::npos);
}

// ---- Failures before a server answers --------------------------------------

TEST(NMsmtpConnect, UnresolvableHostGivesNullRemoteAddressAfterOneRetry) {
  TNMSMTP smtp;
  smtp.Host = "no-such-host.invalid";
  int asked = 0;
  smtp.OnInvalidHost = [&](TNMSMTP& s, bool& handled) {
    ++asked;
    s.Host = "still-no-such-host.invalid";
    handled = asked < 5;  // keeps a component that asks again from looping for ever
  };
  EXPECT_EQ(ThrownText<ESockError>([&] { smtp.Connect(); }), "Null Remote Address");
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(smtp.Connected());
  EXPECT_FALSE(smtp.Busy());
}

TEST(NMsmtpConnect, InvalidHostHandlerCanSupplyAWorkingHost) {
  ScriptedServer server("220 ready\r\n", [](const std::string& l) -> std::string {
    return l.rfind("QUIT", 0) == 0 ? "221 bye\r\n" : "250 ok\r\n";
  });
  TNMSMTP smtp;
  smtp.Host = "no-such-host.invalid";
  smtp.Port = server.Port();
  int resolved = 0;
  smtp.OnHostResolved = [&](TNMSMTP&) { ++resolved; };
  smtp.OnInvalidHost = [](TNMSMTP& s, bool& handled) {
    s.Host = "localhost";
    handled = true;
  };
  smtp.Connect();
  EXPECT_TRUE(smtp.Connected());
  EXPECT_EQ(resolved, 1);
  smtp.Disconnect();
}

TEST(NMsmtpConnect, ClosedPortGivesConnectionRefused) {
  TNMSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = ClosedPort();
  EventLog log;
  log.Attach(smtp);
  EXPECT_EQ(ThrownText<ESockError>([&] { smtp.Connect(); }), "10061:Connection refused");
  EXPECT_EQ(log.events, std::vector<std::string>{"connection failed"});
  EXPECT_FALSE(smtp.Connected());
}

// ---- Scripted replies --------------------------------------------------------

// A plain server: every command accepted, DATA collected until ".".
// overrides maps a command prefix to the reply given instead.
ScriptedServer::Reply Script(std::map<std::string, std::string> overrides = {}) {
  auto inData = std::make_shared<bool>(false);
  return [overrides, inData](const std::string& line) -> std::string {
    if (*inData) {
      if (line != ".") return {};
      *inData = false;
      auto o = overrides.find(".");
      return o != overrides.end() ? o->second : "250 queued\r\n";
    }
    for (const auto& [prefix, reply] : overrides)
      if (prefix != "." && line.rfind(prefix, 0) == 0) return reply;
    if (line == "DATA") {
      *inData = true;
      return "354 go ahead\r\n";
    }
    if (line == "QUIT") return "221 bye\r\n";
    return "250 ok\r\n";
  };
}

// Points the client at the scripted server with a one-recipient mail; a
// wait that never ends fails the test after ten seconds instead of hanging.
void AimAt(TNMSMTP& smtp, const ScriptedServer& server) {
  smtp.TimeOut = 10000;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.PostMessage.FromAddress = "ann@example.org";
  smtp.PostMessage.ToAddress = {"bob@example.org"};
}

TEST(NMsmtpScripted, AbortWhileWaitingForAReplyEndsTheWait) {
  TNMSMTP* client = nullptr;
  ScriptedServer server("220 ready\r\n", [&, plain = Script()](const std::string& line) -> std::string {
    if (line == "RSET") {
      client->Abort();  // the user clicks Abort; no reply comes
      return {};
    }
    return plain(line);
  });
  TNMSMTP smtp;
  client = &smtp;
  AimAt(smtp, server);
  smtp.Connect();
  EXPECT_EQ(ThrownText<EAbortError>([&] { smtp.SendMail(); }), "Socket readln aborted");
  EXPECT_FALSE(smtp.Busy());
  // The request is used up: the next wait runs normally.
  smtp.Disconnect();
  EXPECT_EQ(server.Received().back(), "QUIT");
}

TEST(NMsmtpScripted, AbortBeforeSendingEndsTheSend) {
  ScriptedServer server("220 ready\r\n", Script());
  TNMSMTP smtp;
  AimAt(smtp, server);
  smtp.OnSendStart = [](TNMSMTP& s) { s.Abort(); };
  smtp.Connect();
  // RSET had been queued but the wait for it to leave was cut short.
  EXPECT_EQ(ThrownText<EAbortError>([&] { smtp.SendMail(); }), "Socket send aborted");
}

TEST(NMsmtpScripted, MultiLineRepliesAreReadWhole) {
  ScriptedServer server("220-mail.test\r\n220 ready\r\n",
                        Script({{"HELO", "250-mail.test\r\n250 hello\r\n"},
                                {"RSET", "250-flushed\r\n250 ok\r\n"},
                                {"MAIL", "550 sender refused\r\n"}}));
  TNMSMTP smtp;
  AimAt(smtp, server);
  smtp.Connect();
  EXPECT_EQ(smtp.LastReply(), "250-mail.test\r\n");
  // Were the second RSET line left unread, it would pass for MAIL's answer.
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp.SendMail(); }), "550 sender refused");
  EXPECT_EQ(server.Received().back(), "MAIL FROM:<ann@example.org>");
}

TEST(NMsmtpScripted, EndOfDataAnsweredWithoutANumberIsNoSuccess) {
  ScriptedServer server("220 ready\r\n", Script({{".", "thanks\r\n"}}));
  TNMSMTP smtp;
  EventLog log;
  log.Attach(smtp);
  AimAt(smtp, server);
  smtp.Connect();
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp.SendMail(); }), "thanks");
  EXPECT_EQ(log.Count("failure"), 1);
  EXPECT_EQ(log.Count("success"), 0);
}

TEST(NMsmtpScripted, RefusedGreetingRaisesItsText) {
  ScriptedServer server("554 go away\r\n", Script());
  TNMSMTP smtp;
  EventLog log;
  log.Attach(smtp);
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp.Connect(); }), "554 go away");
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(log.events, std::vector<std::string>{"disconnect"});
  EXPECT_EQ(server.Received(), std::vector<std::string>{"QUIT"});
}

TEST(NMsmtpScripted, RefusedHeloIsAuthenticationFailed) {
  ScriptedServer server("220 ready\r\n", Script({{"HELO", "501 Syntax: HELO hostname\r\n"}}));
  TNMSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  int connected = 0;
  smtp.OnConnect = [&](TNMSMTP&) { ++connected; };
  EXPECT_EQ(ThrownText<ESmtpError>([&] { smtp.Connect(); }), "Authentication failed");
  EXPECT_EQ(connected, 0);
  EXPECT_FALSE(smtp.Connected());
  ASSERT_EQ(server.Received().size(), 2u);
  EXPECT_EQ(server.Received()[1], "QUIT");
  // A later connect starts afresh.
  EXPECT_THROW(smtp.Connect(), ESmtpError);
}

TEST(NMsmtpScripted, QuitRefusalIsRaisedAfterClosing) {
  ScriptedServer server("220 ready\r\n", Script({{"QUIT", "500 what\r\n"}}));
  TNMSMTP smtp;
  EventLog log;
  log.Attach(smtp);
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.Connect();
  EXPECT_THROW(smtp.Disconnect(), ESmtpError);
  EXPECT_FALSE(smtp.Connected());
  EXPECT_EQ(log.Count("disconnect"), 1);
}

TEST(NMsmtpScripted, SilentServerTimesOutWhenALimitIsSet) {
  ScriptedServer server("", Script());
  TNMSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  smtp.TimeOut = 100;
  EXPECT_EQ(ThrownText<ESockError>([&] { smtp.Connect(); }), "Socket readln timed out");
  EXPECT_FALSE(smtp.Connected());
}

TEST(NMsmtpScripted, StatusTextsFollowTheReportLevel) {
  ScriptedServer server("220 ready\r\n", Script());
  TNMSMTP smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = server.Port();
  std::vector<std::string> seen;
  smtp.OnStatus = [&](TNMSMTP&, const std::string& t) { seen.push_back(t); };
  smtp.Connect();
  smtp.Disconnect();
  EXPECT_TRUE(seen.empty());  // level 0 reports nothing
  smtp.ReportLevel = 2;
  smtp.Connect();
  smtp.Disconnect();
  EXPECT_NE(std::find(seen.begin(), seen.end(), "HELO " + HostName()), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), "221 bye"), seen.end());
}

}  // namespace
}  // namespace arkelin::mail
