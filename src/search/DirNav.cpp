// The walk opens every folder by descriptor relative to its parent with
// O_NOFOLLOW, so a symbolic link is never entered, and remembers the
// (device, inode) of each folder entered, so a folder reached twice (a bind
// mount of a parent, the same file system mounted twice) is walked once.
// Each folder is read in one pass with readdir; the entry type comes from
// d_type, with an lstat only where the file system leaves it unknown.
#include "search/DirNav.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace arkelin::search {

namespace {

EntryKind KindOfMode(mode_t m) {
  if (S_ISDIR(m)) return EntryKind::Folder;
  if (S_ISREG(m)) return EntryKind::File;
  if (S_ISLNK(m)) return EntryKind::Link;
  return EntryKind::Other;
}

EntryKind KindOf(int dirFd, const dirent& e) {
  switch (e.d_type) {
    case DT_DIR:
      return EntryKind::Folder;
    case DT_REG:
      return EntryKind::File;
    case DT_LNK:
      return EntryKind::Link;
    case DT_UNKNOWN: {
      struct stat st {};
      if (::fstatat(dirFd, e.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
      return KindOfMode(st.st_mode);
    }
    default:
      return EntryKind::Other;
  }
}

// Reads the folder open at fd without consuming the descriptor. False with
// errno when it cannot be read at all.
bool ReadFolder(int fd, std::vector<DirEntry>& out) {
  out.clear();
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* d = ::fdopendir(copy);
  if (!d) {
    const int e = errno;
    ::close(copy);
    errno = e;
    return false;
  }
  // A duplicate shares the file offset: start from the beginning.
  ::rewinddir(d);
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    out.push_back({std::string(n), KindOf(fd, *e)});
  }
  ::closedir(d);
  return true;
}

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

}  // namespace

void TDirNavigator::SetCurrentFolder(const std::string& folder) { current_ = WithSlash(folder); }

void TDirNavigator::FireAfter() {
  if (afterFired_) return;
  afterFired_ = true;
  if (AfterNavigate) AfterNavigate(*this);
}

void TDirNavigator::StopWalk() {
  if (walking_) FireAfter();
  stop_ = true;
}

TDirNavigator::WalkResult TDirNavigator::Walk() {
  if (stop_) {
    stop_ = false;
    return WalkResult::Stopped;
  }
  if (!Enabled || walking_) return WalkResult::Done;
  walking_ = true;
  afterFired_ = false;
  visited_ = 0;
  seen_.clear();
  lastError_.clear();
  if (BeforeNavigate) BeforeNavigate(*this);
  const std::string start = current_.empty() ? std::string("/") : current_;
  WalkResult result = WalkResult::Done;
  if (stop_) {
    result = WalkResult::Stopped;
  } else {
    const int fd = ::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      lastError_ = start + ": " + std::strerror(errno);
      result = WalkResult::StartFailed;
    } else {
      if (!Visit(fd, start, 0) && !stop_) result = WalkResult::StartFailed;
      ::close(fd);
      if (stop_) result = WalkResult::Stopped;
    }
  }
  current_ = start;
  entries_.clear();
  fd_ = -1;
  FireAfter();
  walking_ = false;
  return result;
}

// False only when the folder itself could not be read (lastError_ says why).
bool TDirNavigator::Visit(int fd, const std::string& path, int depth) {
  if (stop_) return true;
  // Once per folder: an Abort click is seen here.
  platform::Pump().ProcessMessages();
  if (stop_) return true;
  struct stat st {};
  if (::fstat(fd, &st) == 0 &&
      !seen_.insert({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}).second)
    return true;
  std::vector<DirEntry> list;
  if (!ReadFolder(fd, list)) {
    const std::string why = std::strerror(errno);
    if (depth == 0) {
      lastError_ = path + ": " + why;
      return false;
    }
    if (OnSkipFolder) OnSkipFolder(*this, path, why);
    return true;
  }
  ++visited_;
  current_ = path;
  entries_ = std::move(list);
  fd_ = fd;
  if (OnRecurse) OnRecurse(*this);
  list = std::move(entries_);
  entries_.clear();
  fd_ = -1;
  if (!Recurse) return true;
  for (const DirEntry& e : list) {
    if (stop_) break;
    if (e.kind != EntryKind::Folder || e.name[0] == '.') continue;
    const std::string child = path + e.name + '/';
    const int cfd = ::openat(fd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (cfd < 0) {
      const int err = errno;
      // Replaced by a link or a file since it was listed: nothing to walk.
      if (err == ENOTDIR || err == ELOOP || err == ENOENT) continue;
      if (OnSkipFolder) OnSkipFolder(*this, child, std::strerror(err));
      continue;
    }
    Visit(cfd, child, depth + 1);
    ::close(cfd);
  }
  return true;
}

}  // namespace arkelin::search
