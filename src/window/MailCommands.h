// The archive window's mail command: mails the current archive, and any
// other files the user adds, through the mail window. The command owns the
// program's SMTP client (inside its TArchiveMailer, made on first use and
// kept for the run) and shows the send's progress in the window's status
// bar while the mail window is open.
#pragma once

#include <QStringList>

#include <cstdint>
#include <memory>

namespace arkelin::mail {
class TArchiveMailer;
}

namespace arkelin::window {

class TMainform;

class MailCommands {
 public:
  explicit MailCommands(TMainform& window);
  ~MailCommands();
  // "&Mail archive...": the mail window, modal, for the current archive.
  void MailArchive();
  // The mailer; made on first use.
  mail::TArchiveMailer& Mailer();

 private:
  void StatusShown(bool on);
  void StatusProgress(std::uint64_t sent, std::uint64_t total);

  TMainform& w_;
  std::unique_ptr<mail::TArchiveMailer> mailer_;
};

}  // namespace arkelin::window
