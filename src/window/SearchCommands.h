// The archive window's disk search commands: "Search for archive(s)..."
// (mode 1: a file found opens as the current archive) and "&Search for
// file(s)..." (mode 2: the files chosen are added to the current ZIP
// archive). The search and results windows (search/forms) only find and
// pick files; what happens to the archive session is done here, through
// the window's session routines.
#pragma once

#include <QString>
#include <QStringList>

namespace arkelin::window {

class TMainform;

class SearchCommands {
 public:
  explicit SearchCommands(TMainform& window) : w_(window) {}
  // Shows the search window for mode 1 or 2; the files chosen for adding
  // are added once it has closed.
  void Search(int mode);
  // The results window's "&Open zipfile": true when path became the
  // current archive.
  bool OpenResult(const QString& path);
  // The results window's "Add file(s) to archive", after both windows closed.
  void AddFiles(const QStringList& files);

 private:
  void OpenAsZip(const QString& path);
  TMainform& w_;
};

}  // namespace arkelin::window
