// A read-only archive file read by position (pread), so several readers can
// share one descriptor. Moves only; closes on destruction.
//
// ArchiveWindow reads ahead over one: many small reads close together (local
// headers, the data of small entries) are served from one block, read with
// one call. One thread per window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

class ArchiveWindow {
 public:
  explicit ArchiveWindow(const ArchiveFile& file, size_t block = 256 * 1024) : file_(file), block_(block) {}
  // `n` bytes at `offset`, valid until the next call; nullptr on a short
  // read or a range past the end of the file (as ArchiveFile::ReadAt).
  const uint8_t* Get(uint64_t offset, size_t n);
  bool ReadAt(uint64_t offset, void* buf, size_t n);
  const ArchiveFile& File() const { return file_; }

 private:
  const ArchiveFile& file_;
  size_t block_;
  std::vector<uint8_t> buf_;
  uint64_t base_ = 0;
  size_t have_ = 0;
};

}  // namespace arkelin::engine::zip::dll
