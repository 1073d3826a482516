// TArchiveMailer sends the archive mail of the mail window: it owns the
// program's SMTP client (smtp) and answers the client's events the way the
// program always has (status texts for the mail window's caption, boxes for
// a failed connection, a refused recipient and success, an input box for a
// host that does not resolve), asks for the password of a login at send
// time, and turns the settings' texts into the client's properties. The
// mail window calls it after its own checks; the checks are here as well
// (FirstMissingSetting) so that they can be tested without a window.
//
// Every question and message goes through the platform's dialogs; the
// busy cursor shows while the client connects and sends. Everything runs on
// the user-interface thread; the client's waits let other handlers run,
// which may call Abort (the mail window's Close does).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/NMsmtp.h"

namespace arkelin::mail {

// The mail settings as the configuration holds them: SMTP SERVER, PORT,
// USER and SECURITY, PERSONAL NAME and EMAIL, as texts.
struct TMailSettings {
  std::string server;
  std::string port;
  std::string name;
  std::string email;
  std::string user;
  std::string security;  // "none", "starttls", "tls", or empty
};

// The six checks before sending, in order; the warning of the first that
// fails, empty when all pass. configured are the configuration window's
// fields; name and email the recipient's.
std::string FirstMissingSetting(const TMailSettings& configured, const std::string& name, const std::string& email);

// The protection of the connection for a SECURITY text and a port: "tls"
// and "starttls" are what they say (in any case); anything else is none,
// except on port 465, where servers expect TLS from the first byte and a
// plain conversation only hangs.
TSecurity EffectiveSecurity(const std::string& security, int port);

// A port text as the client takes it: decimal digits (blanks around them
// allowed) from 1 to 65535. Throws std::invalid_argument with the text the
// user sees ("'abc' is not a valid port number") otherwise.
int PortNumber(const std::string& text);

class TArchiveMailer {
 public:
  // Throws ESockError when no Qt application object exists.
  TArchiveMailer();
  ~TArchiveMailer();

  TNMSMTP& Smtp() { return *smtp_; }

  // The mail window's caption ("Host resolved", "Sending mail", ...).
  std::function<void(const std::string& caption)> OnCaption;
  // The progress bar appears (true) and goes (false).
  std::function<void(bool shown)> OnProgressShown;
  // Bytes of the message body sent so far, of total.
  std::function<void(std::uint64_t sent, std::uint64_t total)> OnProgress;

  // SendArchiveMail: asks whether the machine is online, connects to the
  // server of copies (asking for the password when a user is set), sends
  // one mail from the sender of copies to recipientAddress with the files
  // attached, and closes the connection. Connect failures are shown with
  // their own text, later ones as "ERROR: Couldn't send mail". Answers true
  // when the server took the mail. Returns false at once, asking nothing,
  // while a send runs.
  bool SendArchiveMail(const TMailSettings& copies, const std::string& recipientName,
                       const std::string& recipientAddress, const std::vector<std::string>& attachments,
                       const std::string& subject);
  // Ends the wait in progress (the mail window's Close).
  void Abort() { smtp_->Abort(); }
  bool Sending() const { return sending_; }

  // The X-Mailer text of every mail.
  static const char* const kProgram;

 private:
  void WireEvents();
  void Caption(const std::string& text) {
    if (OnCaption) OnCaption(text);
  }
  void ProgressShown(bool on) {
    if (OnProgressShown) OnProgressShown(on);
  }
  // Disconnect from an event handler: a refused QUIT is no news then.
  void QuietDisconnect();

  std::unique_ptr<TNMSMTP> smtp_;
  std::string server_;  // the server copy of the send in progress
  bool sending_ = false;
  bool sent_ = false;
};

}  // namespace arkelin::mail
