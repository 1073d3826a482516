// The archive window's commands on entries: extract, test, add (also from
// a drop), delete and the change of password, for ZIP and RAR sessions. The window's handlers
// forward here. Each command reads the window's controls and the live
// settings, sets the engine's properties, runs one engine operation and
// shows the result; progress arrives through the engine events the window
// has wired.
#pragma once

#include <QStringList>

namespace arkelin::window {

class TExtract;
class TMainform;

class EntryCommands {
 public:
  explicit EntryCommands(TMainform& window) : w_(window) {}
  void Extract();
  void Test();
  // The Add command; prefill names the files the Add window starts with.
  void Add(const QStringList& prefill);
  // Files dropped on the archive window or on the Add window.
  void DropFiles(const QStringList& names);
  // Adds the files to the current archive at once, with folder names and
  // recursion, whatever the settings; `sayCount` shows how many were added.
  void AddWithFolderNames(const QStringList& files, bool sayCount);
  void Delete();
  // "Change password...": the present password (when an entry is
  // encrypted) and the new one twice, through the dialogs; every file entry
  // is then encrypted again with the kind of encryption the configuration
  // gives for adding.
  void ChangePassword();

 private:
  bool AskExtraction(TExtract& dlg);
  void ExtractZip();
  void ExtractRar();
  // The meter's totals for a RAR command: every row, or the selected ones.
  void RarTotals(bool allRows);
  void TestZip();
  void TestRar();
  TMainform& w_;
};

}  // namespace arkelin::window
