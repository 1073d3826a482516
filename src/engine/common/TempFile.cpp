// Unnamed or locked temporary files; see TempFile.h.
#include "engine/common/TempFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "engine/common/ShrinkFile.h"

namespace arkelin::engine::common {

namespace {

std::string RandomHex(int digits) {
  // One draw from the kernel per process, then a counter: the names only
  // need to differ (every create and link refuses an existing name).
  static std::atomic<uint64_t> next{0};
  static std::atomic<bool> seeded{false};
  if (!seeded.load(std::memory_order_acquire)) {
    // Two threads may both seed here; either seed serves.
    uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed))
      seed = static_cast<uint64_t>(getpid()) * 2654435761u ^ static_cast<uint64_t>(time(nullptr)) << 20;
    next.store(seed);
    seeded.store(true, std::memory_order_release);
  }
  uint64_t v = next.fetch_add(0x9E3779B97F4A7C15ull);
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < digits; ++i) {
    s += kHex[v & 15];
    v = (v >> 4) | (v << 60);
  }
  return s;
}

bool HasForm(const char* name, const std::string& prefix, const std::string& suffix) {
  const size_t n = std::strlen(name);
  return n > prefix.size() + suffix.size() && std::strncmp(name, prefix.c_str(), prefix.size()) == 0 &&
         std::strcmp(name + n - suffix.size(), suffix.c_str()) == 0;
}

}  // namespace

TempFile::~TempFile() { Discard(); }

TempFile::TempFile(TempFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)), dirFd_(std::exchange(o.dirFd_, -1)), unnamed_(o.unnamed_),
      ready_(std::exchange(o.ready_, false)), name_(std::move(o.name_)), prefix_(std::move(o.prefix_)), suffix_(std::move(o.suffix_)) {}

TempFile& TempFile::operator=(TempFile&& o) noexcept {
  if (this != &o) {
    Discard();
    fd_ = std::exchange(o.fd_, -1);
    dirFd_ = std::exchange(o.dirFd_, -1);
    unnamed_ = o.unnamed_;
    ready_ = std::exchange(o.ready_, false);
    name_ = std::move(o.name_);
    prefix_ = std::move(o.prefix_);
    suffix_ = std::move(o.suffix_);
  }
  return *this;
}

void TempFile::Reset() {
  if (fd_ >= 0) ::close(fd_);
  if (dirFd_ >= 0) ::close(dirFd_);
  fd_ = dirFd_ = -1;
  name_.clear();
  unnamed_ = false;
  ready_ = false;
}

bool TempFile::Create(int dirFd, const std::string& prefix, const std::string& suffix, bool allowUnnamed) {
  Discard();
  const int own = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return false;
  return CreateIn(own, prefix, suffix, allowUnnamed);
}

bool TempFile::CreateAdopting(int ownedDirFd, const std::string& prefix, const std::string& suffix) {
  Discard();
  return CreateIn(ownedDirFd, prefix, suffix, true);
}

bool TempFile::CreateIn(int ownedDirFd, const std::string& prefix, const std::string& suffix, bool allowUnnamed) {
  IgnoreFileSizeSignal();
  prefix_ = prefix;
  suffix_ = suffix;
  dirFd_ = ownedDirFd;
  if (dirFd_ < 0) return false;
  if (allowUnnamed) {
    fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      unnamed_ = true;
      ::flock(fd_, LOCK_EX | LOCK_NB);
      return true;
    }
    // Not supported here (EOPNOTSUPP, EISDIR on old kernels, EINVAL...):
    // fall back to a named file; a real failure shows again below.
  }
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string name = prefix + RandomHex(12) + suffix;
    fd_ = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      name_ = std::move(name);
      // The lock marks the file as in use for RemoveStaleTempFiles.
      ::flock(fd_, LOCK_EX | LOCK_NB);
      return true;
    }
    if (errno != EEXIST) break;
  }
  const int e = errno;
  Reset();
  errno = e;
  return false;
}

bool TempFile::Ready(mode_t mode) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  int e = 0;
  if (::fchmod(fd_, mode) != 0) e = errno;
  if (!e && unnamed_) {
    // Give the unnamed file a temporary name first: linkat cannot replace
    // an existing target, rename can. The descriptor keeps its lock, so
    // the name is not taken for a leftover meanwhile.
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = prefix_ + RandomHex(12) + suffix_;
      const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
      int r = ::linkat(AT_FDCWD, proc.c_str(), dirFd_, name.c_str(), AT_SYMLINK_FOLLOW);
      if (r != 0 && errno == ENOENT) r = ::linkat(fd_, "", dirFd_, name.c_str(), AT_EMPTY_PATH);
      if (r == 0) {
        name_ = std::move(name);
        unnamed_ = false;
        break;
      }
      if (errno != EEXIST) {
        e = errno;
        break;
      }
    }
    if (!e && unnamed_) e = EEXIST;
  }
  if (e) {
    Discard();
    errno = e;
    return false;
  }
  ready_ = true;
  return true;
}

bool TempFile::CommitAs(const std::string& target, mode_t mode) {
  if (!ready_ && !Ready(mode)) return false;
  int e = 0;
  if (::renameat(dirFd_, name_.c_str(), dirFd_, target.c_str()) != 0) e = errno;
  if (e) {
    Discard();
    errno = e;
    return false;
  }
  // In place; the name now belongs to the target.
  name_.clear();
  const int closed = ::close(fd_);
  fd_ = -1;
  const int closeErr = errno;
  Reset();
  if (closed != 0) {
    errno = closeErr;
    return false;
  }
  return true;
}

void TempFile::Discard(const std::function<void()>& keepAlive) {
  if (fd_ >= 0 && keepAlive) ShrinkInSteps(fd_, keepAlive);
  if (!name_.empty() && dirFd_ >= 0) ::unlinkat(dirFd_, name_.c_str(), 0);
  Reset();
}

size_t RemoveStaleTempFiles(int dirFd, const std::string& prefix, const std::string& suffix) {
  const int scanFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (scanFd < 0) return 0;
  DIR* d = ::fdopendir(scanFd);
  if (!d) {
    ::close(scanFd);
    return 0;
  }
  size_t removed = 0;
  while (dirent* e = ::readdir(d)) {
    if (!HasForm(e->d_name, prefix, suffix)) continue;
    const int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // Only plain files of ours: a lock held elsewhere means a write is
    // still running. The lock is held while the name is removed, so a
    // writer cannot pick the file up in between.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (::unlinkat(dirFd, e->d_name, 0) == 0) ++removed;
    }
    ::close(fd);
  }
  ::closedir(d);
  return removed;
}

void IgnoreFileSizeSignal() {
  // Asked again for every file: whoever restored the default action since
  // the last time would otherwise have the next oversized write kill the
  // process. One system call, small beside making the file.
  struct sigaction old {};
  if (::sigaction(SIGXFSZ, nullptr, &old) != 0) return;
  if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigemptyset(&ign.sa_mask);
    ::sigaction(SIGXFSZ, &ign, nullptr);
  }
}

mode_t CurrentUmask() {
  // /proc gives it without the set-and-restore dance, which is not safe
  // while other threads create files. Read with plain calls: the
  // self-extractor stub links this statically and stays small without the
  // stream library.
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    std::string text;
    char buf[1024];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    const size_t at = text.find("\nUmask:");
    if (at != std::string::npos) return static_cast<mode_t>(std::strtoul(text.c_str() + at + 7, nullptr, 8));
  }
  const mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

}  // namespace arkelin::engine::common
