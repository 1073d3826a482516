// Writing a file through a temporary file and a rename; see ReplaceFile.h.
#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Paths.h"

namespace arkelin::platform {

namespace {
bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}
}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* error) {
  std::filesystem::path target = ToFsPath(path);
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path real = std::filesystem::canonical(target, ec);
    if (!ec) target = real;
  }
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return Fail(error, path);
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string temp = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Fail(error, path);

  bool ok = true;
  std::string why;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      ok = Fail(&why, path);
    } else {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  if (ok) {
    mode_t mode;
    if (exists) {
      mode = old.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0644 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) ok = Fail(&why, path);
  }
  if (ok && ::fsync(fd) != 0) ok = Fail(&why, path);
  if (::close(fd) != 0 && ok) ok = Fail(&why, path);
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = Fail(&why, path);
  if (!ok) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    if (error) *error = why;
    return false;
  }
  // The rename is in the folder's entries; flush them too. A folder that
  // cannot be opened for this does not undo the write.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace arkelin::platform
