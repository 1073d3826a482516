// A read-only archive file read by position (pread), so several readers can
// share one descriptor. Moves only; closes on destruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace arkelin::engine::zip::dll {

class ArchiveFile {
 public:
  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(ArchiveFile&& o) noexcept;
  ArchiveFile& operator=(ArchiveFile&& o) noexcept;
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Opens `path` for reading; false (with errno kept) when it cannot.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  uint64_t Size() const { return size_; }

  // Reads exactly `n` bytes at `offset`; false on a short read or error,
  // also when the range lies past the end of the file.
  bool ReadAt(uint64_t offset, void* buf, size_t n) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace arkelin::engine::zip::dll
