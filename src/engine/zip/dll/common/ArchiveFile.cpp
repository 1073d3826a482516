// Positional reads over one descriptor.
#include "engine/zip/dll/common/ArchiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace arkelin::engine::zip::dll {

ArchiveFile::~ArchiveFile() { Close(); }

ArchiveFile::ArchiveFile(ArchiveFile&& o) noexcept : fd_(std::exchange(o.fd_, -1)), size_(o.size_) {}

ArchiveFile& ArchiveFile::operator=(ArchiveFile&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = std::exchange(o.fd_, -1);
    size_ = o.size_;
  }
  return *this;
}

bool ArchiveFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int e = S_ISREG(st.st_mode) ? errno : EISDIR;
    Close();
    errno = e;
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

void ArchiveFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += static_cast<uint64_t>(r);
  }
  return true;
}

const uint8_t* ArchiveWindow::Get(uint64_t offset, size_t n) {
  const uint64_t size = file_.Size();
  if (offset > size || n > size - offset) return nullptr;
  if (offset >= base_ && offset - base_ <= have_ && n <= have_ - (offset - base_)) return buf_.data() + (offset - base_);
  // Read on from here: the next header or entry usually follows.
  const size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, block_), size - offset));
  if (buf_.size() < want) buf_.resize(want);
  have_ = 0;
  if (!file_.ReadAt(offset, buf_.data(), want)) return nullptr;
  base_ = offset;
  have_ = want;
  return buf_.data();
}

bool ArchiveWindow::ReadAt(uint64_t offset, void* buf, size_t n) {
  const uint8_t* p = Get(offset, n);
  if (!p) return false;
  if (n) std::memcpy(buf, p, n);
  return true;
}

}  // namespace arkelin::engine::zip::dll
