// The target folder of an extraction, and everything created below it.
//
// Both archive engines write through this class only, so one set of rules
// keeps an archive from reaching outside the folder it is extracted to:
//
// - Every file and folder is created relative to an open descriptor of the
//   target folder, one path component at a time with O_NOFOLLOW: a link
//   already on disk (planted before, or made by this archive) is never
//   walked through, and a file is never written through a link.
// - A file is written to a temporary file beside its target (unnamed where
//   the file system allows) and renamed into place only on Commit, after the
//   caller checked its CRC: a failure or a stop never damages the file that
//   was there and never leaves a partial one.
// - Symbolic links are only recorded while the entries are extracted and
//   created by Finish, after every file. The rule does not depend on the
//   order of the entries: after Finish no link created by it resolves,
//   following every link as the kernel would (links already on disk and
//   links of the same extraction, chained to any depth), to a place outside
//   the target folder, nor to the target folder itself. Links that would
//   are not created, and each one is reported. Hard links are made only to
//   regular files inside the target folder.
// - Modes keep only the permission bits (setuid, setgid and sticky are
//   dropped) and the umask applies; times are set on descriptors or with
//   AT_SYMLINK_NOFOLLOW, never through a link. Owners are never restored.
//
// Names come in as path components that EntryPath.h's SplitEntryName
// accepted. Not thread-safe: one thread drives one root. A File, once
// begun, belongs to its own: it may be written, committed or discarded on
// another thread than the root's.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/common/TempFile.h"

namespace arkelin::engine::common {

// What a path below the root holds, seen without following a link.
struct OnDisk {
  enum Kind { kNone, kFile, kFolder, kLink, kOther };
  Kind kind = kNone;
  int64_t mtime = -1;
  uint64_t size = 0;
};

// A modification time to give what is written: whole seconds since the
// epoch (negative: none) and the part of a second some formats store. A
// plain number of seconds converts to it (ZIP's DOS stamps have no more).
struct StoredTime {
  int64_t seconds = -1;
  uint32_t nanos = 0;  // below 1,000,000,000
  StoredTime(int64_t s = -1, uint32_t ns = 0) : seconds(s), nanos(ns < 1000000000u ? ns : 999999999u) {}  // NOLINT
};

class ExtractRoot {
 public:
  ExtractRoot();
  ~ExtractRoot();
  ExtractRoot(const ExtractRoot&) = delete;
  ExtractRoot& operator=(const ExtractRoot&) = delete;

  // Opens `folder` (relative to the current folder when relative) as the
  // root; with `create` missing folders on the way are made. False with a
  // reason when it cannot be opened, entered or written to.
  bool Open(const std::string& folder, bool create, std::string& failure);
  bool IsOpen() const { return rootFd_ >= 0; }
  int Fd() const { return rootFd_; }

  // The permission bits a file or folder gets for a stored mode.
  mode_t SafeMode(uint32_t storedMode) const { return static_cast<mode_t>(storedMode & 0777) & ~umask_; }

  // What is at `parts` now; kNone also when a folder on the way is missing
  // or is no real folder.
  OnDisk Look(const std::vector<std::string>& parts) const;
  // The same for `leaf` in a folder OpenFolder gave.
  static OnDisk LookAt(int dirFd, const std::string& leaf);

  // The folder made of the first `count` parts, created as needed. The
  // descriptor belongs to the root and stays valid until the next call.
  // -1 with a reason when a part is a link, a file, or cannot be made.
  int OpenFolder(const std::vector<std::string>& parts, size_t count, std::string& failure);

  // Creates the folder `parts`; its time (when >= 0) is set by Finish,
  // after everything inside it was written.
  bool MakeFolder(const std::vector<std::string>& parts, StoredTime mtime, std::string& failure);

  // A file being written below the root.
  class File {
   public:
    File() = default;
    ~File();
    File(File&& o) noexcept;
    File& operator=(File&& o) noexcept;
    int Fd() const { return temp_.Fd(); }
    bool IsOpen() const { return temp_.IsOpen(); }
    // Begun with PrepareFile and not created yet.
    bool Pending() const { return folderFd_ >= 0; }
    // Creates the temporary file PrepareFile named the folder of; may run
    // on another thread. False with a reason.
    bool Create(std::string& failure);
    // Gives the file its time and mode and a temporary name beside its
    // target, so that Commit only renames; may run on another thread.
    // False with a reason; the file is then gone.
    bool Ready(uint32_t storedMode, StoredTime mtime, std::string& failure);
    // Writes all of it; false with the error in Error().
    bool Write(const void* data, size_t n);
    int Error() const { return error_; }
    // Gives the file its mode (see SafeMode) and time (when >= 0) and puts
    // it in place of whatever was at its name. False with a reason; the
    // old file then stays as it was.
    bool Commit(uint32_t storedMode, StoredTime mtime, std::string& failure);
    // Drops the file; the old one stays. See TempFile::Discard.
    void Discard(const std::function<void()>& keepAlive = nullptr);

   private:
    friend class ExtractRoot;
    TempFile temp_;
    std::string leaf_;
    mode_t umask_ = 022;
    int error_ = 0;
    int folderFd_ = -1;  // between PrepareFile and Create
    bool ready_ = false;
  };

  // Starts the file `parts` (its folders are created as needed).
  bool BeginFile(const std::vector<std::string>& parts, File& out, std::string& failure);
  // The same in two steps: the folder is walked here (on the root's
  // thread) and kept with `out`, whose Create makes the file later, on any
  // thread.
  bool PrepareFile(const std::vector<std::string>& parts, File& out, std::string& failure);

  // Records a symbolic link `parts` -> `text` for Finish. `tag` comes back
  // in its outcome (an entry index, say).
  void AddLink(const std::vector<std::string>& parts, const std::string& text, StoredTime mtime, size_t tag);
  // Records a hard link `parts` to the file `target` (both below the root).
  void AddHardLink(const std::vector<std::string>& parts, const std::vector<std::string>& target, StoredTime mtime,
                   size_t tag);

  struct LinkOutcome {
    size_t tag = 0;
    std::vector<std::string> parts;
    bool created = false;
    std::string failure;  // why it was not created, when not
  };
  struct FinishResult {
    std::vector<LinkOutcome> links;  // one per recorded link, hard links first
    bool stopped = false;            // the question answered -1
  };
  // Asked before a link replaces something at its name (`tag` as recorded):
  // 1 replace, 0 keep what is there (the link is then not created), -1 stop.
  using ReplaceQuestion =
      std::function<int(size_t tag, const std::vector<std::string>& parts, const OnDisk& existing)>;

  // Creates the recorded hard links, then the symbolic links that stay
  // inside, then sets the recorded folder times (deepest first). Call once,
  // after the last file.
  FinishResult Finish(const ReplaceQuestion& mayReplace);

 private:
  struct Pending {
    std::vector<std::string> parts;
    std::string text;                 // symbolic links
    std::vector<std::string> target;  // hard links
    bool hard = false;
    StoredTime mtime;
    size_t tag = 0;
  };
  enum class Reach { kInside, kOutside, kRoot, kLoop };

  int Walk(const std::vector<std::string>& parts, size_t count, bool create, std::string& failure) const;
  // Where `text`, stored as a link at `parts`, leads: disk as it is, with
  // the links in `pending` (joined path -> text) in place.
  Reach Resolve(const std::vector<std::string>& parts, const std::string& text,
                const std::map<std::string, const std::string*>& pending) const;
  const std::string* DiskLinkText(const std::string& path) const;
  void FinishHardLink(const Pending& p, const ReplaceQuestion& mayReplace, LinkOutcome& out, bool& stopped);
  void FinishSymlinks(const std::vector<const Pending*>& links, const ReplaceQuestion& mayReplace,
                      std::vector<LinkOutcome>& out, bool& stopped);
  void SetLinkTime(int dirFd, const std::string& leaf, StoredTime mtime) const;
  void FinishFolders();

  int rootFd_ = -1;
  mode_t umask_ = 022;
  // The folder last opened for writing, kept for the entries that follow.
  std::string cachedKey_;
  int cachedFd_ = -1;
  std::vector<Pending> links_;
  std::vector<std::pair<std::vector<std::string>, StoredTime>> folderTimes_;
  // Link texts read from disk during Finish (empty optional: not a link).
  mutable std::map<std::string, std::pair<bool, std::string>> diskLinks_;
};

}  // namespace arkelin::engine::common
