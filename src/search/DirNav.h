// TDirNavigator, the folder walk behind the disk search: visits a folder and,
// depth first in listing order, every folder below it, firing OnRecurse once
// per folder with that folder's listing at hand, so that a handler matches
// names without listing the folder a second time.
//
// The walk never follows a symbolic link (a link to a folder is an entry
// like a file), and it never enters the same folder twice (a bind mount of a
// parent), so a link loop cannot hang it and a link to "/" cannot make it
// walk the disk twice. Folders whose names begin with "." are not entered.
// Pending messages run once per folder, before it is listed (never per
// file), so an Abort click reaches StopWalk while the walk runs. A folder
// that cannot be entered or read is reported through OnSkipFolder and the
// walk goes on with the next one; only the start folder failing ends it.
//
// The process's current folder is never changed: folders are opened by
// descriptor relative to their parent. No Qt; the user is reached only
// through the platform's message pump. Everything runs on the calling
// thread; StopWalk may be called from a handler or from a message pumped
// by the walk.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace arkelin::search {

// What a listed name is, links not followed.
enum class EntryKind { File, Folder, Link, Other };

struct DirEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
};

class TDirNavigator {
 public:
  using NotifyEvent = std::function<void(TDirNavigator& sender)>;
  // folder ends in "/"; reason is the system's text ("Permission denied").
  using SkipEvent = std::function<void(TDirNavigator& sender, const std::string& folder, const std::string& reason)>;

  enum class WalkResult { Done, Stopped, StartFailed };

  TDirNavigator() = default;
  TDirNavigator(const TDirNavigator&) = delete;
  TDirNavigator& operator=(const TDirNavigator&) = delete;

  // ---- Properties ----
  bool Enabled = true;
  // False: only the start folder itself is visited.
  bool Recurse = true;

  // BeforeNavigate may set the start folder (SetCurrentFolder); AfterNavigate
  // fires once per walk, also after StopWalk and after a failed start.
  NotifyEvent BeforeNavigate;
  NotifyEvent AfterNavigate;
  // Fired for each folder visited, with CurrentFolder/Entries/FolderFd
  // describing it. The handler must not keep the descriptor.
  NotifyEvent OnRecurse;
  SkipEvent OnSkipFolder;

  // The folder the next walk starts from, or the folder being visited;
  // always with a trailing "/".
  const std::string& CurrentFolder() const { return current_; }
  void SetCurrentFolder(const std::string& folder);

  // ---- During OnRecurse ----
  // The folder's entries in listing order, "." and ".." left out.
  const std::vector<DirEntry>& Entries() const { return entries_; }
  // The open folder, for fstatat of an entry name.
  int FolderFd() const { return fd_; }

  // ---- Operations ----
  // When the stop flag is set: clears it and does nothing. Otherwise, when
  // enabled: BeforeNavigate, the visit of the current folder and what lies
  // below it, AfterNavigate. StartFailed leaves the reason in LastError.
  WalkResult Walk();
  // Fires AfterNavigate (once per walk), then sets the stop flag: the
  // running walk unwinds without listing anything more.
  void StopWalk();
  // Called at the start of every search.
  void ClearStop() { stop_ = false; }
  bool StopRequested() const { return stop_; }
  const std::string& LastError() const { return lastError_; }
  // Folders visited by the last walk.
  int64_t FoldersVisited() const { return visited_; }

 private:
  bool Visit(int fd, const std::string& path, int depth);
  void FireAfter();

  bool stop_ = false;
  bool walking_ = false;
  bool afterFired_ = false;
  std::string current_;
  std::vector<DirEntry> entries_;
  int fd_ = -1;
  std::string lastError_;
  int64_t visited_ = 0;
  std::set<std::pair<uint64_t, uint64_t>> seen_;  // (device, inode) of folders entered
};

}  // namespace arkelin::search
