// TNMSMTP, the program's SMTP client. It composes one MIME mail from a
// TPostMessage (header, text part, base64 attachments) fully in memory and
// then hands it to the server with HELO, RSET, MAIL FROM, RCPT TO, DATA and
// QUIT as RFC 821 has them. That classic conversation is what runs unless
// TLS or a login is asked for; then the client greets with EHLO (RFC 5321,
// falling back to HELO when the server refuses it), puts TLS on the
// connection with STARTTLS (RFC 3207) or from the start (implicit TLS, RFC
// 8314), and logs in with AUTH PLAIN (RFC 4616) or AUTH LOGIN. A login is
// only ever sent encrypted, and TLS that was asked for and cannot be had
// ends the connection: the mail never goes out in plain text instead.
// There is no pipelining and no other extension. All waits run through
// TPowersock, so the caller's windows stay live; failures are exceptions
// whose text is what the user is shown: ESockError/EAbortError/ETlsError
// from the socket layer, ESmtpError for the conversation and the mail
// itself, EFileOpenError for an attachment.
//
// Events fire on the user-interface thread, from inside Connect, SendMail
// and Disconnect; the sender comes first. While SendMail runs, a second
// SendMail does nothing, and handlers may call Abort or Disconnect.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "mail/ExStringList.h"
#include "mail/MailCompose.h"
#include "mail/PostMessage.h"
#include "mail/Psock.h"
#include "mail/SmtpReply.h"
#include "mail/UUProcessor.h"

namespace arkelin::mail {

// A refused greeting, HELO or command, an incomplete mail, a missing
// connection: the text is the server's reply line or the fixed message.
class ESmtpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How the connection is protected: not at all, by STARTTLS after the
// greeting, or by TLS from the first byte.
enum TSecurity { secNone, secStartTls, secTls };

class TNMSMTP : public TPowersock {
 public:
  using NotifyEvent = std::function<void(TNMSMTP& sender)>;
  // Set handled to true to have the component go on (after changing Host,
  // or after connecting).
  using HandlerEvent = std::function<void(TNMSMTP& sender, bool& handled)>;
  using PathEvent = std::function<void(TNMSMTP& sender, const std::string& path)>;
  using TextEvent = std::function<void(TNMSMTP& sender, const std::string& text)>;

  TNMSMTP();

  std::string UserID;  // argument of HELO; empty sends the machine's name
  TSecurity Security = secNone;
  // The login; empty logs in not at all. The password is the caller's to
  // fill in for the connect and to clear afterwards; it is sent only over
  // TLS and never shown in a status text.
  std::string UserName;
  std::string Password;
  TEncodeType EncodeType = uuMime;
  TSubType SubType = mtPlain;
  std::string Charset = "us-ascii";
  bool ClearParams = true;
  TPostMessage PostMessage;
  // The header lines as last sent.
  const TExStringList& FinalHeader() const { return finalHeader_; }

  // The last reply line (with its line end) and its number.
  const std::string& LastReply() const { return lastReply_; }
  std::int16_t ReplyNumber() const { return replyNumber_; }
  bool Busy() const { return busy_; }
  // EHLO is said (and the extensions read) when TLS or a login is asked
  // for; otherwise the conversation is the classic one, starting with HELO.
  bool Extended() const { return Security != secNone || !UserName.empty(); }
  // What the server's last EHLO reply offered (nothing after HELO).
  const TEhloOffer& Offer() const { return offer_; }

  // Resolves, connects (with TLS at once for secTls), reads the greeting
  // and says HELO, or EHLO, STARTTLS, EHLO again and AUTH as asked, then
  // fires OnConnect. Any failure on the way closes the connection again.
  void Connect();
  // Composes PostMessage and sends it; returns at once, doing nothing, while
  // a Connect or SendMail is running.
  void SendMail();
  // Says QUIT when connected (a reply of 340 or more is raised after the
  // close); always closes the socket and fires OnDisconnect.
  void Disconnect();

  NotifyEvent OnHostResolved;
  HandlerEvent OnInvalidHost;
  NotifyEvent OnConnect;
  NotifyEvent OnConnectionFailed;
  HandlerEvent OnConnectionRequired;
  NotifyEvent OnDisconnect;
  PathEvent OnEncodeStart;
  PathEvent OnEncodeEnd;
  NotifyEvent OnSendStart;
  NotifyEvent OnPacketSent;  // BytesSent()/BytesTotal() tell the progress
  TextEvent OnRecipientNotFound;
  NotifyEvent OnFailure;
  NotifyEvent OnSuccess;
  TextEvent OnStatus;

 protected:
  void DoHostResolved() override { Fire(OnHostResolved); }
  bool DoInvalidHost() override { return Ask(OnInvalidHost); }
  void DoConnectionFailed() override { Fire(OnConnectionFailed); }
  void DoDisconnected() override;
  void DoStatus(const std::string& text) override {
    if (OnStatus) OnStatus(*this, text);
  }

 private:
  // Sends one command line and reads its reply (with any continuation
  // lines); returns the reply number. shown stands for the command in the
  // status texts when it carries a secret.
  std::int16_t Transaction(const std::string& command, const std::string& shown = {});
  // Reads one reply, continuation lines included; keeps its first line as
  // the last reply and all of them for EHLO. A reply of more than
  // kMaxReplyLines lines or kMaxReplyBytes bytes closes the connection and
  // fails.
  std::int16_t ReadReply();
  // EHLO, or HELO when the server refuses EHLO; fills offer_.
  void Greet();
  void StartTlsCommand();
  void Login();
  // Refuses a mail whose sender or a recipient is no safe mailbox.
  void CheckAddresses() const;
  // Fails with the reply text when the reply number is at or above limit,
  // or when no reply came at all.
  void Require(std::int16_t below);
  void SendAndCount(const std::string& body);
  void Fire(const NotifyEvent& e) {
    if (e) e(*this);
  }
  bool Ask(const HandlerEvent& e) {
    bool handled = false;
    if (e) e(*this, handled);
    return handled;
  }

  TExStringList finalHeader_;
  std::string lastReply_;
  std::vector<std::string> replyLines_;
  std::int16_t replyNumber_ = 0;
  TEhloOffer offer_;
  bool busy_ = false;
  bool closeAnnounced_ = false;  // OnDisconnect fired during this Disconnect
};

}  // namespace arkelin::mail
