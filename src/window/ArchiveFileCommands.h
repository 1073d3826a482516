// The archive window's commands on the archive file itself: new, save as,
// copy, delete and properties. The window's handlers forward here; these
// routines change the session only through TMainform's session routines.
#pragma once

#include <QString>
#include <QStringList>

namespace arkelin::window {

class TMainform;

class ArchiveFileCommands {
 public:
  explicit ArchiveFileCommands(TMainform& window) : w_(window) {}
  // New archive...: asks for a name, then runs the Add command on it. A file
  // of that name is replaced only when the new archive has been made.
  void New();
  // Open archive...: a ZIP, self-extracting or RAR archive becomes current.
  void Open();
  // Save archive as...: moves the archive to a new name, never over a file.
  void SaveAs();
  // Copy archive...: copies the archive into a folder (made when missing).
  void Copy();
  // Delete archive: removes the archive file after a confirmation.
  void DeleteArchive();
  // Properties...: the archive's properties window.
  void Properties();

 private:
  // Renames name to a free hidden name beside it; "" when that fails.
  static QString SetAside(const QString& name);
  TMainform& w_;
};

}  // namespace arkelin::window
