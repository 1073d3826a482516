// Temporary output file of the zip library; see ZipOutFile.h.
#include "engine/zip/dll/zip/ZipOutFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <string>

namespace arkelin::engine::zip::zipdll {

namespace {
constexpr size_t kBufferSize = 1 << 20;
constexpr const char* kPrefix = ".arkzip-";
constexpr const char* kSuffix = ".tmp";

void WriteAll(int fd, const char* p, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t w = pwrite(fd, p, n, at);
    if (w < 0) {
      if (errno == EINTR) continue;
      throw WriteError{errno};
    }
    if (w == 0) throw WriteError{ENOSPC};
    p += w;
    n -= static_cast<size_t>(w);
    at += w;
  }
}
}  // namespace

OutFile::~OutFile() { Discard(); }

bool OutFile::Create(const std::string& archive, bool allowUnnamed) {
  Discard();
  const size_t slash = archive.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : archive.substr(0, slash + 1);
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  // Leftovers of writes that were killed (no running write holds them).
  common::RemoveStaleTempFiles(dirFd, kPrefix, kSuffix);
  const bool ok = temp_.Create(dirFd, kPrefix, kSuffix, allowUnnamed);
  const int e = errno;
  ::close(dirFd);
  if (!ok) {
    errno = e;
    return false;
  }
  fd_ = temp_.Fd();
  pos_ = 0;
  buffer_.clear();
  buffer_.reserve(kBufferSize);
  return true;
}

std::string OutFile::TempPath() const {
  if (fd_ < 0) return {};
  return "/proc/self/fd/" + std::to_string(fd_);
}

void OutFile::Flush() {
  if (buffer_.empty()) return;
  const uint64_t start = pos_ - buffer_.size();
  std::string pending;
  pending.swap(buffer_);
  buffer_.reserve(kBufferSize);
  WriteAll(fd_, pending.data(), pending.size(), static_cast<off_t>(start));
}

void OutFile::Write(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  if (buffer_.size() + n > kBufferSize) Flush();
  if (n >= kBufferSize) {
    WriteAll(fd_, p, n, static_cast<off_t>(pos_));
  } else {
    buffer_.append(p, n);
  }
  pos_ += n;
}

void OutFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  Flush();
  WriteAll(fd_, static_cast<const char*>(data), n, static_cast<off_t>(offset));
}

void OutFile::Truncate(uint64_t offset) {
  Flush();
  if (ftruncate(fd_, static_cast<off_t>(offset)) != 0) throw WriteError{errno};
  pos_ = offset;
}

void OutFile::Finish(const std::string& tail) {
  Flush();
  if (fsync(fd_) != 0) throw WriteError{errno};
  // Read the end back: what is on disk must be what we wrote.
  struct stat st {};
  if (fstat(fd_, &st) != 0) throw WriteError{errno};
  if (static_cast<uint64_t>(st.st_size) != pos_ || tail.size() > pos_) throw WriteError{EIO};
  std::string check(tail.size(), '\0');
  if (pread(fd_, check.data(), check.size(), static_cast<off_t>(pos_ - tail.size())) !=
          static_cast<ssize_t>(check.size()) ||
      check != tail)
    throw WriteError{EIO};
}

void OutFile::Replace(const std::string& archive, mode_t mode, uid_t uid, gid_t gid) {
  if (mode == static_cast<mode_t>(-1)) {
    mode = 0666 & ~common::CurrentUmask();
  } else {
    // Ownership is kept where we may; a plain user cannot give files away.
    if (fchown(fd_, uid, gid) != 0) { /* keep ours */ }
  }
  const size_t slash = archive.find_last_of('/');
  const std::string name = slash == std::string::npos ? archive : archive.substr(slash + 1);
  fd_ = -1;
  if (!temp_.CommitAs(name, mode)) throw WriteError{errno};
}

void OutFile::Discard(const std::function<void()>& keepAlive) {
  fd_ = -1;
  temp_.Discard(keepAlive);
}

}  // namespace arkelin::engine::zip::zipdll
