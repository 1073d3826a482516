// TMPDelTree deletes a folder tree: every file and subfolder below `Path` and,
// when `DeleteRoot` is set, `Path` itself. The walk is depth first, files and
// subfolders in listing order; the first file that cannot go stops the listing
// of its folder, so that folder and its parents stay. Problems are reported at
// most once per run, in a plain box when `Verbose` is set.
//
// Symbolic links inside the tree are removed as links and never followed, so
// a link pointing elsewhere cannot make the run delete outside `Path`; a
// `Path` that is itself a link is refused ("Cannot delete directory %s: it is
// a symbolic link") and nothing is deleted. The
// file-system root and the user's home folder are never deleted.
// With `HowToDelete` = htdAllowUndo the files go to the desktop trash instead
// of being unlinked; the emptied folders are then removed as usual.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace arkelin::shared {

// One directory entry as the walk saw it, handed to OnProcessFile.
struct TSearchRec {
  std::string Name;          // the name alone
  int64_t Size = 0;          // bytes (0 for links)
  std::filesystem::file_time_type Time{};
  bool ReadOnly = false;     // no owner write permission
  bool Hidden = false;       // the name begins with "."
  bool Symlink = false;
};

class TMPDelTree {
 public:
  enum THowToDelete { htdFinal, htdAllowUndo };

  // Called before each file is deleted, with the file's full name. Setting
  // cancel stops the run ("DelTree aborted by user !"). The handler may
  // process pending messages; it must not change the properties of the run.
  using TMPDelTreeEvent = std::function<void(TMPDelTree& sender, const std::string& fileName,
                                             const TSearchRec& searchRec, bool& cancel)>;

  virtual ~TMPDelTree() = default;

  // The folder to delete; one trailing separator is removed before use.
  std::string Path = "<..>";
  // Show the first problem of a run in a message box.
  bool Verbose = false;
  // Also remove `Path` itself after its contents.
  bool DeleteRoot = true;
  THowToDelete HowToDelete = htdFinal;
  TMPDelTreeEvent OnProcessFile;

  // Deletes as configured; true when everything was removed (also when
  // `Path` does not exist, which is reported).
  bool Execute();

  // True when the last run reported a problem (shown or not).
  bool ErrorReported() const { return reported_; }

 protected:
  // The two primitives of the walk; tests replace them to simulate a file
  // the system refuses to delete. Both answer true on success.
  virtual bool DeleteOneFile(const std::filesystem::path& file);
  virtual bool RemoveOneFolder(const std::filesystem::path& folder);

 private:
  bool DeleteFolder(const std::filesystem::path& folder, bool isRoot);
  void FireProcessFile(const std::string& fileName, const TSearchRec& rec, bool& cancel);
  void Report(const std::string& format, const std::string& argument);

  bool reported_ = false;
  bool cancelled_ = false;
};

}  // namespace arkelin::shared
