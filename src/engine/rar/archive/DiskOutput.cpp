// Safe output of RAR entries. See DiskOutput.h.
#include "engine/rar/archive/DiskOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "engine/rar/UnrarApi.h"
#include "engine/zip/dll/common/SafePath.h"

namespace arkelin::engine::rar::archive {

namespace {

constexpr size_t kMaxLinkText = 4096;

std::string Join(const std::vector<std::string>& parts, size_t count) {
  std::string s;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (!s.empty()) s += '/';
    s += parts[i];
  }
  return s;
}

timespec ToTimespec(const FileTime& t) {
  timespec ts{};
  if (!t.present) {
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  ts.tv_sec = static_cast<time_t>(t.seconds);
  ts.tv_nsec = static_cast<long>(t.nanos);
  return ts;
}

bool IsSep(char c) { return c == '/' || c == '\\'; }

}  // namespace

DiskOutput::DiskOutput(std::string root, OutputOptions options) : root_(std::move(root)), options_(options) {
  const mode_t m = ::umask(022);
  ::umask(m);
  umask_ = m;
  if (root_.empty()) root_ = ".";
  std::error_code ec;
  std::filesystem::create_directories(root_, ec);
  rootFd_ = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0) rootError_ = errno;
}

DiskOutput::~DiskOutput() {
  Abort();
  if (rootFd_ >= 0) ::close(rootFd_);
}

int DiskOutput::Fail(int code, std::string message) {
  message_ = std::move(message);
  return code;
}

bool DiskOutput::PathFor(const std::string& name, std::vector<std::string>& parts) {
  std::string reason;
  if (!arkelin::engine::zip::dll::SplitEntryName(name, parts, reason)) {
    message_ = name + ": " + reason;
    return false;
  }
  if (!options_.dirNames) parts = {parts.back()};
  return true;
}

// Opens the folder made of the first `count` components, walking down from
// the target folder without following any link; -1 with message_ set.
int DiskOutput::OpenFolder(const std::vector<std::string>& parts, size_t count, bool create) {
  if (rootFd_ < 0) {
    message_ = "the target folder " + root_ + " cannot be opened: " + std::strerror(rootError_);
    return -1;
  }
  int fd = ::dup(rootFd_);
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    int next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(fd, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
        message_ = Join(parts, i + 1) + ": the folder cannot be made: " + std::strerror(errno);
        ::close(fd);
        return -1;
      }
      next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      const int e = errno;
      message_ = Join(parts, i + 1) + (e == ELOOP || e == ENOTDIR ? ": a link or a file is in the way"
                                                                 : std::string(": ") + std::strerror(e));
      ::close(fd);
      return -1;
    }
    ::close(fd);
    fd = next;
  }
  return fd;
}

mode_t DiskOutput::ModeFor(const RarEntry& e, bool directory) const {
  mode_t m;
  if (e.hostOS == 3 && (e.attributes & 0777)) {
    m = e.attributes & 0777;  // set-user-ID, set-group-ID and sticky are never restored
  } else {
    m = directory ? 0777 : ((e.attributes & 0x01) ? 0444 : 0666);
  }
  if (directory) m |= 0700;  // we must be able to fill it
  return m & ~umask_;
}

int DiskOutput::MayReplace(int dirFd, const std::string& leaf, const RarEntry& e, bool& exists) {
  struct stat st {};
  exists = ::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists) return options_.freshen ? kSkipped : 0;
  if (S_ISDIR(st.st_mode)) return Fail(ERAR_ECREATE, e.name + ": a folder of that name is in the way");
  if (options_.update || options_.freshen) {
    // Two-second steps of DOS stamps: a file as new or newer stays.
    if (e.mtime.present && static_cast<int64_t>(st.st_mtime) + 1 >= e.mtime.seconds) return kSkipped;
    return 0;
  }
  return options_.overwrite ? 0 : kSkipped;
}

int DiskOutput::Begin(const RarEntry& e) {
  Abort();
  std::vector<std::string> parts;
  if (!PathFor(e.name, parts)) return ERAR_ECREATE;
  if (e.isDirectory) {
    if (!options_.dirNames) return kSkipped;
    const int fd = OpenFolder(parts, parts.size(), true);
    if (fd < 0) return ERAR_ECREATE;
    ::close(fd);
    dirTimes_.push_back({parts, e.mtime});
    return 0;
  }
  dirFd_ = OpenFolder(parts, parts.size() - 1, true);
  if (dirFd_ < 0) return ERAR_ECREATE;
  leaf_ = parts.back();
  bool exists = false;
  const int r = MayReplace(dirFd_, leaf_, e, exists);
  if (r != 0) {
    ::close(dirFd_);
    dirFd_ = -1;
    return r;
  }
  return OpenTemp(e);
}

int DiskOutput::OpenTemp(const RarEntry& e) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".arkrar-%08x.tmp", static_cast<unsigned>(rd()));
    sink_.fd = ::openat(dirFd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (sink_.fd >= 0) {
      tmpName_ = name;
      sink_.error = 0;
      return 0;
    }
    if (errno != EEXIST) break;
  }
  const int err = errno;
  ::close(dirFd_);
  dirFd_ = -1;
  return Fail(ERAR_ECREATE, e.name + ": the file cannot be made: " + std::strerror(err));
}

bool DiskOutput::FileSink::Write(const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

int DiskOutput::Commit(const RarEntry& e) {
  if (sink_.fd < 0) return 0;
  if (sink_.error) {
    const int err = sink_.error;
    Abort();
    return Fail(ERAR_EWRITE, e.name + ": " + std::strerror(err));
  }
  ::fchmod(sink_.fd, ModeFor(e, false));
  const timespec times[2] = {ToTimespec(e.atime.present ? e.atime : e.mtime), ToTimespec(e.mtime)};
  ::futimens(sink_.fd, times);
  if (::close(sink_.fd) != 0) {
    sink_.fd = -1;
    const int err = errno;
    Abort();
    return Fail(ERAR_ECLOSE, e.name + ": " + std::strerror(err));
  }
  sink_.fd = -1;
  if (::renameat(dirFd_, tmpName_.c_str(), dirFd_, leaf_.c_str()) != 0) {
    const int err = errno;
    Abort();
    return Fail(ERAR_ECREATE, e.name + ": " + std::strerror(err));
  }
  std::vector<std::string> parts;
  if (PathFor(e.name, parts)) written_.insert(Join(parts, parts.size()));
  tmpName_.clear();
  ::close(dirFd_);
  dirFd_ = -1;
  return 0;
}

void DiskOutput::Abort() {
  if (sink_.fd >= 0) {
    ::close(sink_.fd);
    sink_.fd = -1;
  }
  if (!tmpName_.empty() && dirFd_ >= 0) ::unlinkat(dirFd_, tmpName_.c_str(), 0);
  tmpName_.clear();
  if (dirFd_ >= 0) {
    ::close(dirFd_);
    dirFd_ = -1;
  }
}

int DiskOutput::QueueLink(const RarEntry& e, const std::string& target) {
  std::vector<std::string> parts;
  if (!PathFor(e.name, parts)) return ERAR_ECREATE;
  if (target.size() > kMaxLinkText) return Fail(ERAR_BAD_DATA, e.name + ": the link text is too long");
  queued_.push_back({e, parts, target});
  return 0;
}

// Whether resolving `target` from the folder `from` (components below the
// root) stays below the root, names something other than the root, and
// never passes through a link: one already on disk, or one still to be made.
bool DiskOutput::LinkWalkIsClean(const std::vector<std::string>& from, const std::string& target,
                                 const std::set<std::string>& linkPaths, std::string& why) {
  if (target.empty() || IsSep(target[0]) || target.find('\0') != std::string::npos ||
      (target.size() >= 2 && target[1] == ':')) {
    why = "the link points to an absolute path";
    return false;
  }
  std::vector<std::string> at = from;
  std::vector<std::string> comps;
  size_t s = 0;
  while (s <= target.size()) {
    size_t e = s;
    while (e < target.size() && !IsSep(target[e])) ++e;
    std::string c = target.substr(s, e - s);
    if (!c.empty() && c != ".") comps.push_back(c);
    if (e >= target.size()) break;
    s = e + 1;
  }
  for (size_t i = 0; i < comps.size(); ++i) {
    if (comps[i] == "..") {
      if (at.empty()) {
        why = "the link leads out of the target folder";
        return false;
      }
      at.pop_back();
      continue;
    }
    at.push_back(comps[i]);
    const std::string rel = Join(at, at.size());
    // Anything the kernel would pass through (every component but a final
    // one) must not be a link; nor may a final one that we did not make.
    const bool last = i + 1 == comps.size();
    const bool queuedLink = linkPaths.count(rel) > 0;
    if (queuedLink && !last) {
      why = "the link leads through another link (" + rel + ")";
      return false;
    }
    struct stat st {};
    if (!queuedLink && ::fstatat(rootFd_, rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      why = "the link leads through a link already in the target folder (" + rel + ")";
      return false;
    }
  }
  if (at.empty()) {
    why = "the link points to the target folder itself";
    return false;
  }
  return true;
}

int DiskOutput::MakeLink(const Queued& q, const std::set<std::string>& linkPaths, std::string& why) {
  std::string target = q.target;
  if (q.entry.redirection == Redirection::WindowsSymlink || q.entry.redirection == Redirection::Junction) {
    if (target.rfind("\\??\\", 0) == 0 || target.rfind("\\\\", 0) == 0) {
      why = "the link points to an absolute Windows path";
      return ERAR_ECREATE;
    }
    for (char& c : target)
      if (c == '\\') c = '/';
  }
  const std::vector<std::string> folder(q.parts.begin(), q.parts.end() - 1);
  if (!LinkWalkIsClean(folder, target, linkPaths, why)) return ERAR_ECREATE;
  const int dirFd = OpenFolder(q.parts, q.parts.size() - 1, true);
  if (dirFd < 0) {
    why = message_;
    return ERAR_ECREATE;
  }
  const std::string& leaf = q.parts.back();
  bool exists = false;
  const int r = MayReplace(dirFd, leaf, q.entry, exists);
  if (r != 0) {
    ::close(dirFd);
    why = message_;
    return r;
  }
  if (exists) ::unlinkat(dirFd, leaf.c_str(), 0);
  const int ok = ::symlinkat(target.c_str(), dirFd, leaf.c_str());
  const int err = errno;
  ::close(dirFd);
  if (ok != 0) {
    why = std::strerror(err);
    return ERAR_ECREATE;
  }
  return 0;
}

int DiskOutput::MakeHardLinkOrCopy(const Queued& q, std::string& why) {
  std::vector<std::string> src;
  if (!PathFor(q.target, src)) {
    why = message_;
    return ERAR_ECREATE;
  }
  const std::string srcRel = Join(src, src.size());
  if (!written_.count(srcRel)) {
    why = "the file it refers to (" + q.target + ") was not extracted";
    return ERAR_EREFERENCE;
  }
  const int srcDir = OpenFolder(src, src.size() - 1, false);
  const int dstDir = srcDir < 0 ? -1 : OpenFolder(q.parts, q.parts.size() - 1, true);
  if (srcDir < 0 || dstDir < 0) {
    why = message_;
    if (srcDir >= 0) ::close(srcDir);
    return ERAR_ECREATE;
  }
  const std::string& leaf = q.parts.back();
  bool exists = false;
  int r = MayReplace(dstDir, leaf, q.entry, exists);
  if (r == 0 && q.entry.redirection == Redirection::HardLink) {
    if (exists) ::unlinkat(dstDir, leaf.c_str(), 0);
    if (::linkat(srcDir, src.back().c_str(), dstDir, leaf.c_str(), 0) != 0) {
      why = std::strerror(errno);
      r = ERAR_ECREATE;
    }
  } else if (r == 0) {
    const int in = ::openat(srcDir, src.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
      why = std::strerror(errno);
      r = ERAR_EOPEN;
    } else {
      // The copy goes through the same temporary-file path as any file.
      Abort();
      dirFd_ = ::dup(dstDir);
      leaf_ = leaf;
      r = OpenTemp(q.entry);
      if (r == 0) {
        std::vector<uint8_t> buf(64 * 1024);
        for (;;) {
          const ssize_t n = ::read(in, buf.data(), buf.size());
          if (n < 0) sink_.error = errno;
          if (n <= 0 || !sink_.Write(buf.data(), static_cast<size_t>(n))) break;
        }
        r = Commit(q.entry);
      }
      if (r != 0) why = message_;
      ::close(in);
    }
  } else {
    why = message_;
  }
  ::close(srcDir);
  ::close(dstDir);
  return r;
}

int DiskOutput::Finish(const std::function<void(const std::string&, int, const std::string&)>& report) {
  int made = 0;
  std::set<std::string> linkPaths;
  for (const auto& q : queued_)
    if (q.entry.redirection != Redirection::HardLink && q.entry.redirection != Redirection::FileCopy)
      linkPaths.insert(Join(q.parts, q.parts.size()));
  std::vector<std::string> createdLinks;
  // Copies and hard links first: they name files, never links.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& q : queued_) {
      const bool copyKind = q.entry.redirection == Redirection::HardLink || q.entry.redirection == Redirection::FileCopy;
      if ((pass == 0) != copyKind) continue;
      std::string why;
      const int r = copyKind ? MakeHardLinkOrCopy(q, why) : MakeLink(q, linkPaths, why);
      if (r == 0) {
        ++made;
        if (!copyKind) createdLinks.push_back(Join(q.parts, q.parts.size()));
      }
      if (report && r != kSkipped) report(q.entry.name, r, why);
    }
  }
  // Resolve every link made, as the kernel does, and take back any that
  // leads outside after all.
  char rootReal[PATH_MAX];
  if (!createdLinks.empty() && ::realpath(root_.c_str(), rootReal)) {
    const std::string base = std::string(rootReal) + "/";
    for (const auto& rel : createdLinks) {
      char real[PATH_MAX];
      const std::string full = root_ + "/" + rel;
      if (!::realpath(full.c_str(), real)) continue;  // dangling: it names nothing
      if (std::string(real).rfind(base, 0) != 0) {
        ::unlinkat(rootFd_, rel.c_str(), 0);
        --made;
        if (report) report(rel, ERAR_ECREATE, "the link would lead out of the target folder");
      }
    }
  }
  queued_.clear();
  // Folder times last, once nothing more is written into them.
  for (auto it = dirTimes_.rbegin(); it != dirTimes_.rend(); ++it) {
    if (!it->mtime.present) continue;
    const int fd = OpenFolder(it->parts, it->parts.size(), false);
    if (fd < 0) continue;
    const timespec times[2] = {ToTimespec(it->mtime), ToTimespec(it->mtime)};
    ::futimens(fd, times);
    ::close(fd);
  }
  dirTimes_.clear();
  return made;
}

}  // namespace arkelin::engine::rar::archive
