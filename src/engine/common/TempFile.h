// A new file that appears under its final name only when it is complete.
//
// Where the file system allows it the file is created unnamed (O_TMPFILE):
// a crash or a kill while it is written leaves nothing behind. Elsewhere it
// gets a name made of a prefix, random hex digits and a suffix, and holds
// an exclusive flock for as long as it is open, so RemoveStaleTempFiles can
// tell a leftover of a write that died (no lock) from one being written now.
// Commit gives the file a name in its folder (linkat of the unnamed file to
// a temporary name) and renames it over the target, so the target is
// replaced in one step or not at all.
//
// The file is made with mode 0600 and keeps it until Commit: what is being
// written is never readable by others, whatever the final mode.
//
// Create also sets SIGXFSZ to be ignored (IgnoreFileSizeSignal): a write
// beyond the process's file-size limit then fails with EFBIG, reported like
// a full disk, instead of killing the process half way through.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace arkelin::engine::common {

class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(TempFile&& o) noexcept;
  TempFile& operator=(TempFile&& o) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the file in the folder `dirFd` (kept as a duplicate descriptor).
  // `allowUnnamed` false forces the named form. False with errno set.
  bool Create(int dirFd, const std::string& prefix, const std::string& suffix, bool allowUnnamed = true);
  // The same with a descriptor of the folder that the file takes over (it
  // is closed with the file, also when Create fails).
  bool CreateAdopting(int ownedDirFd, const std::string& prefix, const std::string& suffix);
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  bool Unnamed() const { return unnamed_; }
  // The file's name in its folder while it has one (named form), else empty.
  const std::string& Name() const { return name_; }

  // Sets `mode`, puts the file in place of `target` (a name in the same
  // folder) and closes it. False with errno set; the file is then gone and
  // the target untouched.
  bool CommitAs(const std::string& target, mode_t mode);
  // The first half of CommitAs, which may run on another thread before the
  // rest: sets `mode` and gives an unnamed file its temporary name (held
  // under the lock until CommitAs or Discard). False with errno set; the
  // file is then gone.
  bool Ready(mode_t mode);
  // Closes and removes the file. A large file is first shortened in steps
  // with `keepAlive` called between them (giving its blocks back takes the
  // file system a while).
  void Discard(const std::function<void()>& keepAlive = nullptr);

 private:
  void Reset();
  bool CreateIn(int ownedDirFd, const std::string& prefix, const std::string& suffix, bool allowUnnamed);
  int fd_ = -1;
  int dirFd_ = -1;
  bool unnamed_ = false;
  bool ready_ = false;
  std::string name_;
  std::string prefix_, suffix_;
};

// Removes the files of the folder `dirFd` named `prefix`...`suffix` that no
// open TempFile holds a lock on: leftovers of writes that were killed.
// Answers how many were removed.
size_t RemoveStaleTempFiles(int dirFd, const std::string& prefix, const std::string& suffix);

// Ignores SIGXFSZ for the process unless a handler of the program's own is
// installed, so exceeding the file-size limit is an EFBIG write error.
void IgnoreFileSizeSignal();

// The process's file creation mask, read without changing it.
mode_t CurrentUmask();

}  // namespace arkelin::engine::common
