// Install: finds the archive's install programs among the listed entries
// (the names of AVAILABLEINSTALL FILENAMES), lets the user choose when there
// are several, and from the install window extracts every entry without its
// folders into the chosen folder, starts the program there (open/Install:
// scripts through /bin/sh, programs after a confirmation naming the file),
// waits for it, and empties the folder afterwards when asked to, also when
// the program failed, could not start or was declined. The folder itself
// stays; the recursive delete refuses the file-system root and the home
// folder. ZIP archives only.
#pragma once

#include <QString>

namespace arkelin::window {

class TMainform;
class TF_Install;

class InstallCommands {
 public:
  explicit InstallCommands(TMainform& window) : w_(window) {}

  void Install();
  // The install window's "&OK" for program.
  void RunInstall(TF_Install& dlg, const QString& program);

  static const char* NoFileText() { return "No file to install!"; }

 private:
  TMainform& w_;
};

}  // namespace arkelin::window
