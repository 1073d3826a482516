// The SMTP conversation; see NMsmtp.h.
#include "mail/NMsmtp.h"

#include <QHostInfo>
#include <algorithm>
#include <exception>

#include "mail/SmtpReply.h"
#include "platform/Platform.h"

namespace arkelin::mail {

namespace {
constexpr std::size_t kPiece = 65536;

// Restores the busy flag on every way out. Connect runs inside SendMail when
// the connection-required handler connects, so the flag is put back as it
// was rather than cleared.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = before_; }

 private:
  bool& flag_;
  bool before_;
};

std::string HeloName(const std::string& userId) {
  if (!userId.empty()) return userId;
  // An empty HELO argument is refused by servers ("501 Syntax: HELO
  // hostname"); the machine's name is what the command asks for.
  const std::string host = QHostInfo::localHostName().toStdString();
  return host.empty() ? "localhost" : host;
}
}  // namespace

TNMSMTP::TNMSMTP() = default;

std::int16_t TNMSMTP::Transaction(const std::string& command, const std::string& shown) {
  replyNumber_ = 0;
  Status(2, shown.empty() ? command : shown);
  SendBytes(OneLine(command) + "\r\n");
  return ReadReply();
}

std::int16_t TNMSMTP::ReadReply() {
  replyLines_.clear();
  std::string line = ReadLine();
  lastReply_ = line;
  replyNumber_ = mail::ReplyNumber(line);
  replyLines_.push_back(line);
  std::size_t total = line.size();
  // The rest of a multi-line reply ("250-first", "250 last") belongs to this
  // command; left unread it would be taken as the answer to the next one.
  while (IsContinuedReply(line)) {
    line = ReadLine();
    if (line.empty()) break;
    total += line.size();
    replyLines_.push_back(line);
    if (replyLines_.size() > kMaxReplyLines || total > kMaxReplyBytes) {
      CloseSocket();
      throw ESmtpError("The server's reply runs past " + std::to_string(kMaxReplyLines) + " lines or " +
                       std::to_string(kMaxReplyBytes / 1024) + " KB; the connection was closed");
    }
  }
  Status(2, std::string(WithoutLineEnd(lastReply_)));
  return replyNumber_;
}

namespace {
bool Positive(const std::string& reply, std::int16_t number) {
  return !reply.empty() && number >= 200 && number < 300;
}
}  // namespace

void TNMSMTP::Greet() {
  offer_ = {};
  Transaction("EHLO " + HeloName(UserID));
  if (Positive(lastReply_, replyNumber_)) {
    offer_ = ParseEhloReply(replyLines_);
    return;
  }
  if (lastReply_.empty()) throw ESmtpError("Connection closed by server");
  // A server older than EHLO answers it as an unknown command; it still
  // takes HELO, and with it the conversation of old.
  if (replyNumber_ < 500) throw ESmtpError(std::string(WithoutLineEnd(lastReply_)));
  Transaction("HELO " + HeloName(UserID));
  if (lastReply_.empty() || replyNumber_ >= 300 || replyNumber_ < 100) throw ESmtpError("Authentication failed");
}

void TNMSMTP::StartTlsCommand() {
  if (!offer_.startTls)
    throw ESmtpError("The server does not offer STARTTLS; the mail is not sent without encryption");
  Transaction("STARTTLS");
  if (!Positive(lastReply_, replyNumber_))
    throw ESmtpError("STARTTLS refused: " + std::string(WithoutLineEnd(lastReply_)));
  // Whatever came after the go-ahead arrived unprotected and would be read
  // as if it came over TLS (a reply planted by someone in between).
  if (HasUnreadInput()) {
    CloseSocket();
    throw ESmtpError("The server sent more than its STARTTLS reply; the connection was closed");
  }
  StartTls();
}

void TNMSMTP::Login() {
  if (!Encrypted())
    throw ESmtpError("The password is only sent over an encrypted connection: choose STARTTLS or TLS for this server");
  const std::string hidden = "****";
  if (offer_.authPlain) {
    const std::string credentials = std::string(1, '\0') + UserName + std::string(1, '\0') + Password;
    Transaction("AUTH PLAIN " + Base64(credentials), "AUTH PLAIN " + hidden);
  } else if (offer_.authLogin) {
    Transaction("AUTH LOGIN");
    if (replyNumber_ == 334) Transaction(Base64(UserName), hidden);
    if (replyNumber_ == 334) Transaction(Base64(Password), hidden);
  } else if (offer_.authMechanisms.empty()) {
    throw ESmtpError("The server offers no login (AUTH); the user name cannot be used");
  } else {
    throw ESmtpError("The server offers no login this program can use (PLAIN or LOGIN), only " +
                     offer_.authMechanisms);
  }
  if (!Positive(lastReply_, replyNumber_))
    throw ESmtpError("Login refused by the server: " + std::string(WithoutLineEnd(lastReply_)));
}

void TNMSMTP::Require(std::int16_t below) {
  if (lastReply_.empty()) throw ESmtpError("Connection closed by server");
  // No reply number at all is no acceptance either.
  if (replyNumber_ >= below || replyNumber_ < 100) throw ESmtpError(std::string(WithoutLineEnd(lastReply_)));
}

void TNMSMTP::Connect() {
  BusyScope busy(busy_);
  ClearCancel();
  offer_ = {};
  OpenConnection(Security == secTls);
  try {
    replyNumber_ = 0;
    ReadReply();  // the greeting
    Require(400);
    if (!Extended()) {
      Transaction("HELO " + HeloName(UserID));
      if (lastReply_.empty() || replyNumber_ >= 300 || replyNumber_ < 100) throw ESmtpError("Authentication failed");
    } else {
      Greet();
      if (Security == secStartTls) {
        StartTlsCommand();
        Greet();  // what the server offers over TLS (RFC 3207 forgets the rest)
      }
      if (!UserName.empty()) Login();
    }
  } catch (const EAbortError&) {
    // The user asked to stop: no QUIT that would wait once more.
    CloseSocket();
    throw;
  } catch (...) {
    // A connection the socket layer closed (a refused certificate, a reply
    // out of bounds) has been announced already.
    if (Connected()) {
      try {
        Disconnect();
      } catch (...) {
        // The first failure is the one the user needs to see.
      }
    }
    throw;
  }
  Fire(OnConnect);
}

void TNMSMTP::Disconnect() {
  std::exception_ptr failure;
  closeAnnounced_ = false;
  if (Connected()) {
    try {
      Transaction("QUIT");
      if (replyNumber_ >= 340) failure = std::make_exception_ptr(ESmtpError(std::string(WithoutLineEnd(lastReply_))));
    } catch (...) {
      failure = std::current_exception();
    }
  }
  // A close noticed while reading the QUIT reply has fired OnDisconnect
  // already; here it fires in every other case, connected or not.
  CloseSocket();
  if (!closeAnnounced_) Fire(OnDisconnect);
  if (failure) std::rethrow_exception(failure);
}

void TNMSMTP::DoDisconnected() {
  closeAnnounced_ = true;
  Fire(OnDisconnect);
}

void TNMSMTP::SendAndCount(const std::string& body) {
  bytesTotal_ = body.size();
  bytesSent_ = 0;
  for (std::size_t pos = 0; pos < body.size(); pos += kPiece) {
    const std::size_t n = std::min(kPiece, body.size() - pos);
    SendBytes(std::string_view(body).substr(pos, n));
    bytesSent_ += n;
    Fire(OnPacketSent);
  }
}

void TNMSMTP::CheckAddresses() const {
  const TPostMessage& m = PostMessage;
  if (!IsSafeMailbox(m.FromAddress)) throw ESmtpError("Invalid sender address \"" + OneLine(m.FromAddress) + "\"");
  for (const auto* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy})
    for (const std::string& r : *list)
      if (!IsSafeMailbox(ExtractAddress(r))) throw ESmtpError("Invalid recipient address \"" + OneLine(r) + "\"");
}

void TNMSMTP::SendMail() {
  if (busy_) return;
  BusyScope busy(busy_);

  const bool withAttachments = !PostMessage.Attachments.empty();
  const std::string boundary = withAttachments ? TBoundarySource::ForProcess().NextBoundary() : std::string();
  finalHeader_ = BuildHeader(PostMessage, boundary, SubType, Charset);
  TNMUUProcessor encoder;
  encoder.EncodeType = EncodeType;
  ComposeEvents events;
  events.encodeStart = [this](const std::string& p) { if (OnEncodeStart) OnEncodeStart(*this, p); };
  events.encodeEnd = [this](const std::string& p) { if (OnEncodeEnd) OnEncodeEnd(*this, p); };
  // Reading and encoding a large file takes a while; the windows go on.
  events.keepAlive = [] { platform::Pump().ProcessMessages(); };
  const std::string body = ComposeBody(PostMessage, boundary, Charset, encoder, events);

  if (!Connected()) {
    if (!Ask(OnConnectionRequired) || !Connected()) throw ESmtpError("Not Connected");
  }
  const TPostMessage& m = PostMessage;
  if (m.FromAddress.empty() || (m.ToAddress.empty() && m.ToCarbonCopy.empty() && m.ToBlindCarbonCopy.empty()))
    throw ESmtpError("Incomplete Header");
  CheckAddresses();

  Fire(OnSendStart);
  Transaction("RSET");
  Require(400);
  Transaction("MAIL FROM:<" + m.FromAddress + ">");
  Require(400);
  for (const auto* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
    // A handler may change the lists; walk a copy.
    const std::vector<std::string> recipients = *list;
    for (const std::string& r : recipients) {
      const std::string address = ExtractAddress(r);
      if (address.empty()) continue;
      if (Transaction("RCPT TO:<" + address + ">") > 300 && OnRecipientNotFound) OnRecipientNotFound(*this, r);
    }
  }
  Transaction("DATA");
  Require(400);
  SendBytes(finalHeader_.Text() + "\r\n\r\n");
  SendAndCount(body);
  Transaction(".");
  if (lastReply_.empty() || replyNumber_ >= 400 || replyNumber_ < 100) {
    Fire(OnFailure);
    Require(400);
  }
  if (ClearParams) {
    PostMessage.ToAddress.clear();
    PostMessage.ToCarbonCopy.clear();
    PostMessage.ToBlindCarbonCopy.clear();
    PostMessage.Attachments.clear();
  }
  busy_ = false;
  Fire(OnSuccess);
}

}  // namespace arkelin::mail
