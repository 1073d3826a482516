// The temporary file a rewrite of an archive goes to: a common::TempFile
// beside the archive (same folder, so the final rename is atomic and never
// crosses a file system; unnamed where the file system allows it, so a
// killed write leaves nothing; elsewhere named ".arkzip-*.tmp" and locked,
// and the unlocked leftovers of killed writes are removed when the next one
// starts in that folder). Mode 0600 while it is written. Written through a
// large buffer, patched in place where a header's sizes become known late,
// flushed to disk and renamed over the archive only when the caller commits.
// Until then the original archive is untouched; a file not committed is
// removed when the object goes away. Write errors (a full disk, a file-size
// limit) throw WriteError.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

#include "engine/common/TempFile.h"

namespace arkelin::engine::zip::zipdll {

struct WriteError {
  int error;  // errno
};

class OutFile {
 public:
  OutFile() = default;
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // Creates the temporary file for `archive`; false with errno set.
  // `allowUnnamed` false forces the named form (tests of the fallback).
  bool Create(const std::string& archive, bool allowUnnamed = true);
  // A path that opens the file being written (for reading it back).
  std::string TempPath() const;

  void Write(const void* data, size_t n);
  void Write(const std::string& s) { Write(s.data(), s.size()); }
  // Overwrites bytes already written.
  void WriteAt(uint64_t offset, const void* data, size_t n);
  // Drops everything from `offset` on.
  void Truncate(uint64_t offset);
  uint64_t Position() const { return pos_; }

  // Flushes, syncs and closes; then checks that the file holds exactly
  // what was written and ends with `tail`. Throws WriteError.
  void Finish(const std::string& tail);
  // After Finish: gives the file `mode` and `owner` (unless mode is
  // mode_t(-1): a new file gets 0666 under the umask) and renames it over
  // `archive`, which must name a file in the folder given to Create.
  // Throws WriteError.
  void Replace(const std::string& archive, mode_t mode, uid_t uid, gid_t gid);
  // Closes and removes the file (also what the destructor does). A large
  // file is first shortened in steps, with keepAlive called between them:
  // giving its blocks back takes the file system a while.
  void Discard(const std::function<void()>& keepAlive = nullptr);

 private:
  void Flush();

  common::TempFile temp_;
  int fd_ = -1;  // temp_'s descriptor while it is open
  std::string buffer_;
  uint64_t pos_ = 0;
};

}  // namespace arkelin::engine::zip::zipdll
