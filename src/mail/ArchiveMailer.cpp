// Sending the archive mail; see ArchiveMailer.h.
#include "mail/ArchiveMailer.h"

#include <exception>
#include <stdexcept>

#include "platform/Platform.h"

namespace arkelin::mail {

namespace pf = arkelin::platform;

const char* const TArchiveMailer::kProgram = "Arkelin2001 mail";

std::string FirstMissingSetting(const TMailSettings& c, const std::string& name, const std::string& email) {
  if (c.server.empty()) return "You must configure your mail settings first! (Smptp mailserver)";
  if (c.port.empty()) return "You must configure your mail settings first! (smtp Mailserver port)";
  if (c.name.empty()) return "You must configure your mail settings first! (Your name)";
  if (c.email.empty()) return "You must configure your mail settings first. (Your email)!";
  if (name.empty()) return "You must enter a name first!";
  if (email.empty()) return "You must enter email first!";
  return {};
}

namespace {
std::string Trimmed(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
}  // namespace

TSecurity EffectiveSecurity(const std::string& security, int port) {
  const std::string s = Lower(Trimmed(security));
  if (s == "tls") return secTls;
  if (s == "starttls") return secStartTls;
  return port == 465 ? secTls : secNone;
}

int PortNumber(const std::string& text) {
  const std::string t = Trimmed(text);
  if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos)
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  const int port = std::stoi(t);
  if (port < 1 || port > 65535) throw std::invalid_argument("'" + text + "' is not a valid port number");
  return port;
}

TArchiveMailer::TArchiveMailer() : smtp_(std::make_unique<TNMSMTP>()) { WireEvents(); }

TArchiveMailer::~TArchiveMailer() = default;

void TArchiveMailer::QuietDisconnect() {
  try {
    smtp_->Disconnect();
  } catch (...) {
    // The connection is closed whatever the server said to QUIT.
  }
}

void TArchiveMailer::WireEvents() {
  TNMSMTP& s = *smtp_;
  s.OnHostResolved = [this](TNMSMTP&) { Caption("Host resolved"); };
  s.OnInvalidHost = [](TNMSMTP& c, bool& handled) {
    const auto host = pf::Dialogs().InputBox("Invalid Host!", "Specify a new host:", "", false);
    if (!host) return;
    c.Host = *host;
    handled = true;
  };
  s.OnConnect = [this](TNMSMTP&) { Caption("Connected to: " + server_); };
  s.OnConnectionFailed = [this](TNMSMTP&) {
    pf::Dialogs().MessageBox("Connection Failed, Disconnecting", pf::MsgKind::Error, pf::BtnOK);
    QuietDisconnect();
  };
  s.OnConnectionRequired = [](TNMSMTP& c, bool& handled) {
    if (pf::Dialogs().MessageBox("Connection to smtp server Required. Connect?", pf::MsgKind::Confirm,
                                 pf::BtnOK | pf::BtnCancel) != pf::BtnOK)
      return;
    try {
      c.Connect();
      handled = true;
    } catch (const std::exception& e) {
      pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
    }
  };
  s.OnEncodeStart = [this](TNMSMTP&, const std::string& path) { Caption("Encoding: " + path); };
  s.OnEncodeEnd = [this](TNMSMTP&, const std::string& path) { Caption("Finished encoding: " + path); };
  s.OnSendStart = [this](TNMSMTP&) { Caption("Sending message"); };
  s.OnPacketSent = [this](TNMSMTP& c) {
    if (OnProgress) OnProgress(c.BytesSent(), c.BytesTotal());
  };
  s.OnRecipientNotFound = [this](TNMSMTP&, const std::string& recipient) {
    pf::Dialogs().MessageBox("Recipient \"" + recipient + "\" not found!, Disconnecting", pf::MsgKind::Error,
                             pf::BtnOK);
    QuietDisconnect();
  };
  s.OnFailure = [this](TNMSMTP&) { Caption("Failure"); };
  s.OnSuccess = [this](TNMSMTP&) {
    sent_ = true;
    pf::Dialogs().MessageBox("Mail sent successfully!", pf::MsgKind::Information, pf::BtnOK);
    QuietDisconnect();
  };
  s.OnDisconnect = [this](TNMSMTP&) { Caption("Disconnected"); };
}

bool TArchiveMailer::SendArchiveMail(const TMailSettings& copies, const std::string& recipientName,
                                     const std::string& recipientAddress,
                                     const std::vector<std::string>& attachments, const std::string& subject) {
  (void)recipientName;  // for the address book only; the mail does not carry it
  if (sending_) return false;
  pf::IDialogs& dialogs = pf::Dialogs();
  if (dialogs.MessageBox("Are you connected to Internet?", pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return false;

  struct Running {
    TArchiveMailer& m;
    explicit Running(TArchiveMailer& mailer) : m(mailer) {
      m.sending_ = true;
      m.sent_ = false;
      m.ProgressShown(true);
    }
    ~Running() {
      // The password lives for this send only.
      m.smtp_->Password.assign(m.smtp_->Password.size(), '\0');
      m.smtp_->Password.clear();
      m.ProgressShown(false);
      m.sending_ = false;
    }
  } running(*this);
  Caption("Starting to send mail");

  TNMSMTP& smtp = *smtp_;
  int port = 0;
  try {
    port = PortNumber(copies.port);
  } catch (const std::invalid_argument& e) {
    dialogs.MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
    return false;
  }
  server_ = copies.server;
  smtp.Host = copies.server;
  smtp.Port = port;
  smtp.Security = EffectiveSecurity(copies.security, port);
  smtp.UserName = copies.user;
  if (!copies.user.empty()) {
    const auto password = dialogs.InputBox("SMTP password",
                                           "Password of " + copies.user + " on " + copies.server + ":", "", true);
    if (!password) return false;
    smtp.Password = *password;
  }

  try {
    pf::BusyCursorScope busy(pf::Busy());
    smtp.Connect();
  } catch (const std::exception& e) {
    dialogs.MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
    return false;
  }

  try {
    pf::Pump().ProcessMessages();
    TPostMessage& m = smtp.PostMessage;
    m.ToAddress = {recipientAddress};
    m.ToCarbonCopy.clear();
    m.ToBlindCarbonCopy.clear();
    m.FromAddress = copies.email;
    m.FromName = copies.name;
    m.Subject = subject;
    m.LocalProgram = kProgram;
    m.Body.clear();
    m.Attachments = attachments;
    Caption("Sending mail");
    ProgressShown(true);
    pf::BusyCursorScope busy(pf::Busy());
    smtp.SendMail();
  } catch (...) {
    dialogs.MessageBox("ERROR: Couldn't send mail", pf::MsgKind::Error, pf::BtnOK);
    sent_ = false;
  }
  // A send that failed half way leaves no connection behind, so the next
  // one starts afresh instead of failing with "Already connected"; after an
  // abort there is no waiting for a goodbye either.
  if (smtp.Connected()) {
    if (sent_) QuietDisconnect();
    else smtp.CloseConnection();
  }
  return sent_;
}

}  // namespace arkelin::mail
