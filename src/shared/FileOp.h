// TFileOperation runs one file operation of the desktop kind: copy, move,
// delete or rename of one or more files and folders, with a progress window
// and the usual questions (replace an existing file, create a missing folder,
// confirm a delete, stop the operation).
//
// Source and destination lists are ";"-separated (with fofLiteralNames each
// is one name taken exactly, for names that hold ";", "?" or "*"). They are turned into the
// classic NUL-separated list with a double NUL at its end (ShellList), and
// the operation walks that list, so callers that build such lists themselves
// get the same behaviour.
//
// Files are copied into a temporary name beside the target and renamed over
// it only when complete, so a failure or a cancel never leaves a truncated
// file and never damages a file that was to be replaced. Copying a file onto
// itself makes a copy with a free name instead of truncating it. Symbolic
// links inside copied folders are copied as links, not followed.
//
// Questions go through platform::Dialogs(); the progress window is reached
// through IFileOpProgress, which the widgets layer installs (the core never
// touches a widget). Without an installed progress window the operation runs
// without one and still lets pending messages run between chunks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace arkelin::shared {

enum TFileOp { foCopy, foDelete, foMove, foRename };

enum TFileOpFlag : unsigned {
  fofAllowUndo = 1u << 0,          // delete: to the desktop trash
  fofConfirmMouse = 1u << 1,       // accepted, no effect (as on the desktop)
  fofFilesOnly = 1u << 2,          // wildcards match files only
  fofMultiDestFiles = 1u << 3,     // FilesTo names one target per source
  fofNoConfirmation = 1u << 4,     // answer every question with yes
  fofNoConfirmMkDir = 1u << 5,     // create missing folders without asking
  fofRenameOnCollision = 1u << 6,  // an existing target gives a new free name
  fofSilent = 1u << 7,             // no progress window
  fofSimpleProgress = 1u << 8,     // progress without file names
  fofLiteralNames = 1u << 9,       // FilesFrom and FilesTo are one name each,
                                   // exactly as given: no ";" lists, no wildcards
};
using TFileOpFlags = unsigned;

class TFileOperation;

// The progress window of one operation. Created for each operation that is
// not silent, destroyed at its end. All calls on the user-interface thread.
class IFileOpProgress {
 public:
  virtual ~IFileOpProgress() = default;
  // Before the first item; totalBytes is 0 when nothing is counted (delete).
  virtual void Start(const std::string& title, int64_t totalBytes) = 0;
  // The item now worked on; both empty with fofSimpleProgress.
  virtual void Item(const std::string& from, const std::string& to) = 0;
  // Bytes done so far in the whole operation.
  virtual void Done(int64_t bytes) = 0;
  // True once the user pressed the window's Cancel since the last Resume.
  virtual bool CancelRequested() = 0;
  // The user chose to go on after all.
  virtual void Resume() = 0;
};

using FileOpProgressFactory = std::function<std::unique_ptr<IFileOpProgress>(TFileOperation& sender)>;
// Installs the maker of progress windows (the program installs the Qt one;
// tests install doubles); an empty factory means no progress window.
void SetFileOpProgressFactory(FileOpProgressFactory factory);

class TFileOperation {
 public:
  TFileOp Operation = foCopy;
  // Source names, several separated by ";". A name may end in a wildcard
  // pattern ("/dir/*.txt").
  std::string FilesFrom;
  // Destination: a folder, or a new name for a single source; with
  // fofMultiDestFiles one name per source, separated by ";".
  std::string FilesTo;
  TFileOpFlags Flags = 0;
  std::string ProgressTitle;
  // The source and destination lists as the operation reads them: with
  // fofLiteralNames the one name as it is, otherwise split at ";".
  std::vector<std::string> SourceNames() const;
  std::vector<std::string> DestinationNames() const;

  // True when the user stopped (part of) the last operation: answered No to
  // a delete confirmation, Cancel to a replace question, or stopped it from
  // the progress window.
  bool OperationAborted() const { return aborted_; }

  // Setting Active to true runs Execute at once; it does not stay set.
  void SetActive(bool active) {
    if (active) Execute();
  }
  bool Active() const { return false; }

  // Runs the configured operation. True when every item was done; the
  // failure has then been shown to the user in an error box.
  bool Execute();

  // ";" list to the NUL-separated list ending in two NULs. Empty fields are
  // dropped (they would otherwise end the list early).
  static std::string ShellList(const std::string& list);
  // The names of a NUL-separated list, up to its double NUL.
  static std::vector<std::string> SplitShellList(const std::string& shellList);

 private:
  struct Pair {
    std::filesystem::path from, to;
  };
  enum class Step { Ok, Skip, Abort, Fail };

  bool Fail(const std::string& verb, const std::filesystem::path& name, const std::string& reason);
  std::vector<std::filesystem::path> ExpandSources(const std::vector<std::string>& names, bool& ok);
  bool EnsureFolder(const std::filesystem::path& folder);
  bool AskStop();
  Step Transfer(const std::filesystem::path& from, const std::filesystem::path& to, bool move);
  Step CopyFile(const std::filesystem::path& from, const std::filesystem::path& to);
  Step CopyFolder(const std::filesystem::path& from, const std::filesystem::path& to, bool move);
  Step ResolveCollision(const std::filesystem::path& from, std::filesystem::path& to);
  bool MoveByRename(const std::filesystem::path& from, const std::filesystem::path& to, const char* verb,
                    Step& result);
  bool RunCopyMove(bool move);
  bool RunDelete();
  bool RunRename();
  void Pump();

  bool aborted_ = false;
  std::unique_ptr<IFileOpProgress> progress_;
  int64_t done_ = 0;
};

}  // namespace arkelin::shared
