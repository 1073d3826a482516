#include "platform/Trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "platform/NameText.h"

namespace arkelin::platform {

namespace {

std::string Parent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The device of path, or of the nearest folder above it that exists.
bool DeviceOf(std::string path, dev_t& dev) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/" || path.empty()) return false;
    path = Parent(path);
  }
  dev = st.st_dev;
  return true;
}

// The top folder of the file system holding path.
std::string TopFolderOf(const std::string& path, dev_t dev) {
  std::string top = Parent(path);
  while (top != "/") {
    const std::string up = Parent(top);
    struct stat st {};
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    top = up;
  }
  return top;
}

// A private folder (made 0700 when missing); no link.
bool EnsureFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EnsureTrash(const std::string& trash) {
  return EnsureFolder(trash) && EnsureFolder(trash + "/files") && EnsureFolder(trash + "/info");
}

std::string PercentEncoded(std::string_view path) { return FileUriOf(path).substr(7); }

std::string Now() {
  const time_t t = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&t, &local);
  char buf[32];
  ::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

bool TrashInto(const std::string& trash, const std::string& file, const std::string& recorded) {
  if (!EnsureTrash(trash)) return false;
  std::string base = file.substr(file.find_last_of('/') + 1);
  const std::string body = "[Trash Info]\nPath=" + PercentEncoded(recorded) + "\nDeletionDate=" + Now() + "\n";
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = trash + "/info/" + name + ".trashinfo";
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool written = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
    if (::close(fd) != 0 || !written) {
      ::unlink(info.c_str());
      return false;
    }
    const std::string target = trash + "/files/" + name;
    // Never over a file already there (a leftover without information).
    if (RenameNoReplace(file, target)) return true;
    if (errno == EEXIST) {
      ::unlink(info.c_str());
      continue;
    }
    const int saved = errno;
    ::unlink(info.c_str());
    errno = saved;
    return false;
  }
  return false;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool MoveToDesktopTrash(const std::string& given) {
  if (given.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string path = given;
  if (path[0] != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return false;
    path = std::string(cwd) + "/" + path;
    std::free(cwd);
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;

  std::string dataHome;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && x[0] == '/') {
    dataHome = x;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    dataHome = std::string(home) + "/.local/share";
  }
  dev_t homeDev = 0;
  if (!dataHome.empty() && DeviceOf(dataHome, homeDev) && homeDev == st.st_dev) {
    if (::mkdir(dataHome.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return TrashInto(dataHome + "/Trash", path, path);
  }
  // Another file system: its own trash at its top, with paths relative to it.
  const std::string top = TopFolderOf(path, st.st_dev);
  const std::string relative = top == "/" ? path.substr(1) : path.substr(top.size() + 1);
  const std::string uid = std::to_string(::getuid());
  const std::string shared = (top == "/" ? "" : top) + "/.Trash";
  struct stat ss {};
  if (::lstat(shared.c_str(), &ss) == 0 && S_ISDIR(ss.st_mode) && (ss.st_mode & S_ISVTX) &&
      TrashInto(shared + "/" + uid, path, relative))
    return true;
  return TrashInto((top == "/" ? "" : top) + "/.Trash-" + uid, path, relative);
}

}  // namespace arkelin::platform
