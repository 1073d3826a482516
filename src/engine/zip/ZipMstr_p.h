// TZipMaster's private pieces shared by its source files.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "engine/common/TempFile.h"
#include "engine/zip/ZipMstr.h"
#include "platform/Paths.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::engine::zip {

// The input file of the component: the volume being read, by position.
struct TZipMaster::Input {
  dll::ArchiveFile file;
  dll::EndInfo end;  // the end record List found
};

namespace fs_p = std::filesystem;

// A new file written beside `target` under a temporary name.
class BesideFile {
 public:
  ~BesideFile() {
    temp_.Discard();
    if (dirFd_ >= 0) ::close(dirFd_);
  }
  bool Create(const std::string& target) {
    const fs_p::path p = platform::ToFsPath(target);
    leaf_ = p.filename().string();
    const fs_p::path folder = p.has_parent_path() ? p.parent_path() : fs_p::path(".");
    dirFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return dirFd_ >= 0 && temp_.Create(dirFd_, ".arkelin-", ".tmp");
  }
  bool Write(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
      const ssize_t w = ::write(temp_.Fd(), p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      n -= static_cast<size_t>(w);
      written_ += static_cast<uint64_t>(w);
    }
    return true;
  }
  uint64_t Written() const { return written_; }
  // The length the file really has on disk.
  int64_t Length() const {
    struct stat st;
    return ::fstat(temp_.Fd(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
  }
  bool Commit(mode_t mode) { return ::fsync(temp_.Fd()) == 0 && temp_.CommitAs(leaf_, mode); }
  void Discard() { temp_.Discard(); }
  void SetTime(int64_t t) {
    if (t < 0 || !temp_.IsOpen()) return;
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(t);
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ::futimens(temp_.Fd(), ts);
  }

 private:
  common::TempFile temp_;
  std::string leaf_;
  int dirFd_ = -1;
  uint64_t written_ = 0;
};

}  // namespace arkelin::engine::zip
