// Temporary output file of the zip library; see ZipOutFile.h.
#include "engine/zip/dll/zip/ZipOutFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/common/ShrinkFile.h"

namespace arkelin::engine::zip::zipdll {

namespace {
constexpr size_t kBufferSize = 1 << 20;

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

bool OutFile::Create(const std::string& archive) {
  const size_t slash = archive.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : archive.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t r = 0;
    if (getrandom(&r, sizeof r, 0) != sizeof r) r = static_cast<uint32_t>(getpid() * 7919 + attempt);
    char name[32];
    std::snprintf(name, sizeof name, ".arkzip-%08x.tmp", r);
    temp_ = dir + name;
    // 0666 through the umask, as any new file of the user's.
    fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      buffer_.reserve(kBufferSize);
      return true;
    }
    if (errno != EEXIST) break;
  }
  temp_.clear();
  return false;
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
  if (mode != static_cast<mode_t>(-1)) {
    // Ownership is kept where we may; a plain user cannot give files away.
    if (fchown(fd_, uid, gid) != 0) { /* keep ours */ }
    if (fchmod(fd_, mode) != 0) throw WriteError{errno};
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw WriteError{errno};
  if (std::rename(temp_.c_str(), archive.c_str()) != 0) throw WriteError{errno};
  committed_ = true;
}

void OutFile::Discard(const std::function<void()>& keepAlive) {
  if (fd_ >= 0 && !committed_ && keepAlive) common::ShrinkInSteps(fd_, keepAlive);
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace arkelin::engine::zip::zipdll
