// The archive window's mail command: mails the current archive.
#pragma once

#include <QStringList>

namespace arkelin::window {

class TMainform;

class MailCommands {
 public:
  explicit MailCommands(TMainform& window) : w_(window) {}
  void MailArchive();

 private:
  TMainform& w_;
};

}  // namespace arkelin::window
