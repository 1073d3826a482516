// The archive mail as the mail window sends it, with scripted dialogs
// against aiosmtpd: the six checks, the questions and messages of each
// outcome, the captions, the password asked at send time, and a connection
// that never outlives a failed send.
#include "mail/ArchiveMailer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "SmtpTestServer.h"
#include "platform/FakePlatform.h"

namespace arkelin::mail {
namespace {

namespace pf = arkelin::platform;
using test::ClosedPort;
using test::HostName;
using test::MakeSelfSignedCertificate;
using test::SmtpTestServer;

TEST(ArchiveMailerChecks, SixChecksInOrderWithTheirMessages) {
  const TMailSettings full{"smtp.example.org", "25", "Ann", "ann@example.org", "", ""};
  EXPECT_EQ(FirstMissingSetting(full, "Bob", "bob@example.org"), "");
  struct Case {
    TMailSettings settings;
    std::string name, email, message;
  };
  auto without = [&](std::string TMailSettings::*field) {
    TMailSettings s = full;
    s.*field = "";
    return s;
  };
  const Case cases[] = {
      {without(&TMailSettings::server), "Bob", "b@x", "You must configure your mail settings first! (Smptp mailserver)"},
      {without(&TMailSettings::port), "Bob", "b@x", "You must configure your mail settings first! (smtp Mailserver port)"},
      {without(&TMailSettings::name), "Bob", "b@x", "You must configure your mail settings first! (Your name)"},
      {without(&TMailSettings::email), "Bob", "b@x", "You must configure your mail settings first. (Your email)!"},
      {full, "", "b@x", "You must enter a name first!"},
      {full, "Bob", "", "You must enter email first!"},
      // The first failing check is the one reported.
      {TMailSettings{}, "", "", "You must configure your mail settings first! (Smptp mailserver)"},
      {without(&TMailSettings::email), "", "", "You must configure your mail settings first. (Your email)!"},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstMissingSetting(c.settings, c.name, c.email), c.message);
}

TEST(ArchiveMailerChecks, SecurityAndPortTexts) {
  EXPECT_EQ(EffectiveSecurity("", 25), secNone);
  EXPECT_EQ(EffectiveSecurity("none", 587), secNone);
  EXPECT_EQ(EffectiveSecurity(" StartTLS ", 587), secStartTls);
  EXPECT_EQ(EffectiveSecurity("TLS", 2465), secTls);
  EXPECT_EQ(EffectiveSecurity("", 465), secTls);
  EXPECT_EQ(EffectiveSecurity("none", 465), secTls);
  EXPECT_EQ(EffectiveSecurity("starttls", 465), secStartTls);
  EXPECT_EQ(EffectiveSecurity("ssl", 25), secNone);
  EXPECT_EQ(PortNumber("25"), 25);
  EXPECT_EQ(PortNumber(" 587 "), 587);
  EXPECT_EQ(PortNumber("65535"), 65535);
  for (const char* bad : {"", "abc", "25a", "-25", "+25", "0x19", "2 5"}) {
    try {
      PortNumber(bad);
      ADD_FAILURE() << bad;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
  EXPECT_THROW(PortNumber("0"), std::invalid_argument);
  EXPECT_THROW(PortNumber("65536"), std::invalid_argument);
  EXPECT_THROW(PortNumber("99999999999999"), std::invalid_argument);
}

class ArchiveMailer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    archive_ = Dir() + "/archive.zip";
    std::ofstream(archive_, std::ios::binary) << std::string(150000, 'z');
    Watch(mailer_);
  }
  std::string Dir() const { return tmp_.path().toStdString(); }

  // Starts the server (with `args`) in a folder of its own.
  void Serve(const std::vector<std::string>& args = {}) {
    const std::string folder = Dir() + "/server" + std::to_string(++servers_);
    std::filesystem::create_directories(folder);
    server_ = std::make_unique<SmtpTestServer>(folder, args);
    ASSERT_TRUE(server_->Started()) << server_->Error();
  }

  TMailSettings Copies(const SmtpTestServer& server) const {
    return {"127.0.0.1", std::to_string(server.Port()), "Ann Sender", "ann@example.org", "", ""};
  }

  // The mailer with its captions recorded and a bound on every wait.
  void Watch(TArchiveMailer& m) {
    m.Smtp().TimeOut = 20000;
    m.OnCaption = [this](const std::string& c) { captions_.push_back(c); };
    m.OnProgressShown = [this](bool on) { shown_.push_back(on); };
    m.OnProgress = [this](std::uint64_t sent, std::uint64_t total) {
      lastSent_ = sent;
      lastTotal_ = total;
    };
  }

  QTemporaryDir tmp_;
  std::string archive_;
  int servers_ = 0;
  std::vector<std::string> captions_;
  std::vector<bool> shown_;
  std::uint64_t lastSent_ = 0, lastTotal_ = 0;
  std::unique_ptr<SmtpTestServer> server_;
  pf::FakePlatformScope fake_;
  TArchiveMailer mailer_;  // ends first
};

TEST_F(ArchiveMailer, ClassicSendAsksConfirmsAndKeepsTheCommandSequence) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnOK};
  EXPECT_TRUE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {archive_}, "The archive"));

  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, "Are you connected to Internet?");
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  EXPECT_EQ(fake_.dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "Mail sent successfully!");
  EXPECT_EQ(fake_.dialogs.boxes[1].kind, pf::MsgKind::Information);
  EXPECT_TRUE(fake_.dialogs.inputsAsked.empty());  // no user: no password
  EXPECT_EQ(captions_, (std::vector<std::string>{"Starting to send mail", "Connected to: 127.0.0.1", "Sending mail",
                                                 "Encoding: " + archive_, "Finished encoding: " + archive_,
                                                 "Sending message", "Disconnected"}));
  EXPECT_EQ(shown_.front(), true);
  EXPECT_EQ(shown_.back(), false);
  EXPECT_GT(lastTotal_, 150000u);
  EXPECT_EQ(lastSent_, lastTotal_);
  EXPECT_GE(fake_.busy.maxDepth, 1);
  EXPECT_EQ(fake_.busy.depth, 0);
  EXPECT_FALSE(mailer_.Smtp().Connected());

  // Without the new settings the conversation is the classic one.
  EXPECT_EQ(server_->Commands(),
            (std::vector<std::string>{"HELO " + HostName(), "RSET", "MAIL FROM:<ann@example.org>",
                                      "RCPT TO:<bob@example.org>", "DATA", "QUIT"}));
  ASSERT_EQ(server_->MessageCount(), 1);
  const std::string raw = server_->Message(1);
  EXPECT_NE(raw.find("From: Ann Sender<ann@example.org>\r\n"), std::string::npos);
  EXPECT_NE(raw.find("To: bob@example.org\r\n"), std::string::npos);
  EXPECT_NE(raw.find("Subject: The archive\r\n"), std::string::npos);
  EXPECT_NE(raw.find("X-Mailer: Arkelin2001 mail\r\n"), std::string::npos);
  EXPECT_EQ(raw.find("Bob"), std::string::npos);  // the name is for the address book only
}

TEST_F(ArchiveMailer, NotOnlineOrNoPasswordSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  fake_.dialogs.answers = {pf::BtnNo};
  EXPECT_FALSE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {archive_}, ""));
  EXPECT_TRUE(captions_.empty());
  // With a user the password is asked; Cancel ends the send.
  TMailSettings copies = Copies(*server_);
  copies.user = "ann";
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(copies, "Bob", "bob@example.org", {archive_}, ""));
  EXPECT_EQ(fake_.dialogs.inputsAsked, std::vector<std::string>{"SMTP password: Password of ann on 127.0.0.1:"});
  EXPECT_TRUE(server_->Commands().empty());
  EXPECT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(shown_.back(), false);
}

TEST_F(ArchiveMailer, StartTlsLoginWithThePasswordAskedAtSendTime) {
  std::string error;
  const std::string pem = MakeSelfSignedCertificate(Dir(), "localhost", &error);
  ASSERT_FALSE(pem.empty()) << error;
  ASSERT_NO_FATAL_FAILURE(Serve(
      {"--cert", Dir() + "/cert.pem", "--key", Dir() + "/key.pem", "--starttls", "--auth", "ann:s3cret"}));
  mailer_.Smtp().TrustedCertificates = {pem};
  TMailSettings copies = Copies(*server_);
  copies.server = "localhost";
  copies.user = "ann";
  copies.security = "starttls";

  // A wrong password: the server's refusal, as the connect error it is.
  fake_.dialogs.answers = {pf::BtnYes};
  fake_.dialogs.inputs = {std::string("wrong")};
  EXPECT_FALSE(mailer_.SendArchiveMail(copies, "Bob", "bob@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "Login refused by the server: 535 5.7.8 Authentication credentials invalid");
  EXPECT_EQ(fake_.dialogs.boxes[1].kind, pf::MsgKind::Error);
  EXPECT_TRUE(mailer_.Smtp().Password.empty());

  // The right one.
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnOK};
  fake_.dialogs.inputs = {std::string("s3cret")};
  EXPECT_TRUE(mailer_.SendArchiveMail(copies, "Bob", "bob@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "Mail sent successfully!");
  EXPECT_TRUE(mailer_.Smtp().Password.empty());  // kept for the send only
  ASSERT_EQ(server_->MessageCount(), 1);
  EXPECT_TRUE(server_->Envelope(1)["tls"].toBool());
  EXPECT_EQ(server_->Envelope(1)["login"].toString(), "ann");

  // The same server without the test's trust: refused, nothing sent.
  TArchiveMailer untrusting;
  untrusting.Smtp().TimeOut = 20000;
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes};
  fake_.dialogs.inputs = {std::string("s3cret")};
  EXPECT_FALSE(untrusting.SendArchiveMail(copies, "Bob", "bob@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text.rfind("The server's certificate was refused (", 0), 0u)
      << fake_.dialogs.boxes[1].text;
  EXPECT_EQ(server_->MessageCount(), 1);
}

TEST_F(ArchiveMailer, RefusedRecipientAndRefusedConnectionAreReported) {
  ASSERT_NO_FATAL_FAILURE(Serve({"--refuse-rcpt", "nobody@example.org"}));
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(Copies(*server_), "Nobody", "nobody@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 3u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "Recipient \"nobody@example.org\" not found!, Disconnecting");
  EXPECT_EQ(fake_.dialogs.boxes[1].kind, pf::MsgKind::Error);
  EXPECT_EQ(fake_.dialogs.boxes[2].text, "ERROR: Couldn't send mail");
  EXPECT_EQ(server_->MessageCount(), 0);

  TMailSettings closed = Copies(*server_);
  closed.port = std::to_string(ClosedPort());
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(closed, "Bob", "bob@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 3u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "Connection Failed, Disconnecting");
  EXPECT_EQ(fake_.dialogs.boxes[2].text, "10061:Connection refused");
  EXPECT_EQ(fake_.dialogs.boxes[2].kind, pf::MsgKind::Error);

  closed.port = "twenty-five";
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(closed, "Bob", "bob@example.org", {archive_}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "'twenty-five' is not a valid integer value");
}

TEST_F(ArchiveMailer, InvalidHostAsksForAnother) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  TMailSettings copies = Copies(*server_);
  copies.server = "no-such-host.invalid";
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnOK};
  fake_.dialogs.inputs = {std::string("127.0.0.1")};
  EXPECT_TRUE(mailer_.SendArchiveMail(copies, "Bob", "bob@example.org", {archive_}, ""));
  EXPECT_EQ(fake_.dialogs.inputsAsked, std::vector<std::string>{"Invalid Host!: Specify a new host:"});
  EXPECT_EQ(server_->MessageCount(), 1);
}

TEST_F(ArchiveMailer, AFailedOrAbortedSendLeavesNoConnectionBehind) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  const std::string missing = Dir() + "/gone.zip";
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {missing}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "ERROR: Couldn't send mail");
  EXPECT_FALSE(mailer_.Smtp().Connected());

  // The user closes the mail window while the mail is on its way.
  std::string big(3 << 20, 'b');
  std::ofstream(Dir() + "/big.bin", std::ios::binary) << big;
  mailer_.OnProgress = [&](std::uint64_t sent, std::uint64_t) {
    if (sent > 0) mailer_.Abort();
  };
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_FALSE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {Dir() + "/big.bin"}, ""));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[1].text, "ERROR: Couldn't send mail");
  EXPECT_FALSE(mailer_.Smtp().Connected());
  EXPECT_FALSE(mailer_.Sending());

  // The next send starts afresh ("Already connected" would stop it).
  Watch(mailer_);
  fake_.dialogs.boxes.clear();
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnOK};
  EXPECT_TRUE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {archive_}, ""));
  EXPECT_EQ(fake_.dialogs.boxes.back().text, "Mail sent successfully!");
  EXPECT_EQ(server_->MessageCount(), 1);
}

TEST_F(ArchiveMailer, ASecondSendFromInsideTheFirstIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Serve());
  int nested = 0;
  fake_.pump.onProcess = [&] {
    if (mailer_.Sending() && nested++ == 0) {
      EXPECT_FALSE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {archive_}, ""));
    }
  };
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnOK};
  EXPECT_TRUE(mailer_.SendArchiveMail(Copies(*server_), "Bob", "bob@example.org", {archive_}, ""));
  EXPECT_EQ(nested > 0, true);
  EXPECT_EQ(fake_.dialogs.boxes.size(), 2u);  // the inner send asked nothing
  EXPECT_EQ(server_->MessageCount(), 1);
}

}  // namespace
}  // namespace arkelin::mail
