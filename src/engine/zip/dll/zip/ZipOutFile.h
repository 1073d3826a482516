// The temporary file a rewrite of an archive goes to: made beside the
// archive (same folder, so the final rename is atomic and never crosses a
// file system), written through a large buffer, patched in place where a
// header's sizes become known late, flushed to disk and renamed over the
// archive only when the caller commits. Until then the original archive is
// untouched; a file not committed is removed when the object goes away.
// Write errors (a full disk, a file-size limit) throw WriteError.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

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
  bool Create(const std::string& archive);
  const std::string& TempPath() const { return temp_; }

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
  // mode_t(-1): a new file keeps what the umask gave) and renames it over
  // `archive`. Throws WriteError.
  void Replace(const std::string& archive, mode_t mode, uid_t uid, gid_t gid);
  // Closes and removes the file (also what the destructor does). A large
  // file is first shortened in steps, with keepAlive called between them:
  // giving its blocks back takes the file system a while.
  void Discard(const std::function<void()>& keepAlive = nullptr);

 private:
  void Flush();

  int fd_ = -1;
  std::string temp_;
  std::string buffer_;
  uint64_t pos_ = 0;
  bool committed_ = false;
};

}  // namespace arkelin::engine::zip::zipdll
