// The extraction root; see ExtractRoot.h.
//
// How links are decided. Finish first drops the links that cannot be made
// without walking through a link (one on disk, or one of the same
// extraction) or that would replace a folder. For the rest it works on a
// model: the disk as it is after the files were written, with every link
// still in the running put in place. Each link's text is walked from the
// link's own folder the way the kernel walks a path: "." stays, ".." goes
// up one real folder, every component that is a link (on disk or in the
// model) is replaced by that link's text, at most 40 times. A component
// that does not exist is walked on as if it were a folder, so the walk
// reaches every place the path could ever reach, also once the missing
// folders appear. Going above the root, an absolute text, ending at the
// root itself and a loop all drop the link; since dropping one changes the
// model for the others, the check repeats until nothing changes. Only then
// are links created, and afterwards the same walk runs again over the disk
// alone: a link that resolves outside after all (one could not be created,
// say, and another one counted on it) is removed again.
#include "engine/common/ExtractRoot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <set>
#include <utility>

#include "engine/common/EntryPath.h"

namespace arkelin::engine::common {

namespace {

constexpr int kMaxLinkFollows = 40;  // the kernel's limit on links in one path walk
constexpr const char* kTempPrefix = ".arkz-";

std::string ErrText(int e) { return std::strerror(e); }

OnDisk FromStat(const struct stat& st) {
  OnDisk d;
  d.kind = S_ISREG(st.st_mode)   ? OnDisk::kFile
           : S_ISDIR(st.st_mode) ? OnDisk::kFolder
           : S_ISLNK(st.st_mode) ? OnDisk::kLink
                                 : OnDisk::kOther;
  d.mtime = st.st_mtime;
  d.size = static_cast<uint64_t>(st.st_size);
  return d;
}

// A link's text split on "/" only: that is all the kernel splits on.
void SplitLinkText(const std::string& text, std::deque<std::string>& out) {
  std::deque<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    parts.emplace_back(text, start, end - start);
    start = end + 1;
  }
  out.insert(out.begin(), parts.begin(), parts.end());
}

std::string NewTempName() {
  // A link lives under this name only between symlinkat and renameat; the
  // process id and a counter keep it unique for that moment.
  static unsigned counter = 0;
  return std::string(kTempPrefix) + "l" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

void SetTimes(int fd, StoredTime mtime) {
  if (mtime.seconds < 0) return;
  struct timespec ts[2];
  ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(mtime.seconds);
  ts[0].tv_nsec = ts[1].tv_nsec = static_cast<long>(mtime.nanos);
  ::futimens(fd, ts);
}

// Creates a folder and the missing ones above it (errors show up when the
// folder is opened). Plain calls, no <filesystem>: the self-extractor stub
// links this statically.
void MakeFolders(const std::string& name) {
  for (size_t at = name.find('/', 1);; at = name.find('/', at + 1)) {
    const std::string part = at == std::string::npos ? name : name.substr(0, at);
    if (!part.empty()) ::mkdir(part.c_str(), 0777);
    if (at == std::string::npos) break;
  }
}

}  // namespace

ExtractRoot::ExtractRoot() : umask_(CurrentUmask()) {}

ExtractRoot::~ExtractRoot() {
  if (cachedFd_ >= 0) ::close(cachedFd_);
  if (rootFd_ >= 0) ::close(rootFd_);
}

bool ExtractRoot::Open(const std::string& folder, bool create, std::string& failure) {
  if (rootFd_ >= 0) ::close(rootFd_);
  rootFd_ = -1;
  const std::string name = folder.empty() ? "." : folder;
  if (create) {
    MakeFolders(name);
  }
  rootFd_ = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0) {
    failure = "cannot open the target folder " + name + ": " + ErrText(errno);
    return false;
  }
  if (::faccessat(rootFd_, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    failure = "cannot write into the target folder " + name + ": " + ErrText(errno);
    ::close(rootFd_);
    rootFd_ = -1;
    return false;
  }
  return true;
}

int ExtractRoot::Walk(const std::vector<std::string>& parts, size_t count, bool create, std::string& failure) const {
  int cur = ::fcntl(rootFd_, F_DUPFD_CLOEXEC, 0);
  if (cur < 0) {
    failure = "cannot open the target folder: " + ErrText(errno);
    return -1;
  }
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    int next = ::openat(cur, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(cur, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
        failure = "cannot create the folder " + JoinParts(parts, i + 1) + ": " + ErrText(errno);
        ::close(cur);
        return -1;
      }
      next = ::openat(cur, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      const int e = errno;
      failure = (e == ELOOP || e == ENOTDIR)
                    ? JoinParts(parts, i + 1) + " is a link or a file, not a folder; nothing is written through it"
                    : "cannot open the folder " + JoinParts(parts, i + 1) + ": " + ErrText(e);
      ::close(cur);
      return -1;
    }
    ::close(cur);
    cur = next;
  }
  return cur;
}

OnDisk ExtractRoot::Look(const std::vector<std::string>& parts) const {
  OnDisk d;
  if (rootFd_ < 0) return d;
  if (parts.empty()) {
    d.kind = OnDisk::kFolder;
    return d;
  }
  std::string failure;
  const int dir = Walk(parts, parts.size() - 1, false, failure);
  if (dir < 0) return d;
  struct stat st {};
  if (::fstatat(dir, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) d = FromStat(st);
  ::close(dir);
  return d;
}

OnDisk ExtractRoot::LookAt(int dirFd, const std::string& leaf) {
  OnDisk d;
  struct stat st {};
  if (::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) d = FromStat(st);
  return d;
}

int ExtractRoot::OpenFolder(const std::vector<std::string>& parts, size_t count, std::string& failure) {
  if (rootFd_ < 0) {
    failure = "no target folder";
    return -1;
  }
  if (count == 0) return rootFd_;
  const std::string key = JoinParts(parts, count);
  if (cachedFd_ >= 0 && key == cachedKey_) return cachedFd_;
  const int fd = Walk(parts, count, true, failure);
  if (fd < 0) return -1;
  if (cachedFd_ >= 0) ::close(cachedFd_);
  cachedFd_ = fd;
  cachedKey_ = key;
  return fd;
}

bool ExtractRoot::MakeFolder(const std::vector<std::string>& parts, StoredTime mtime, std::string& failure) {
  if (OpenFolder(parts, parts.size(), failure) < 0) return false;
  if (mtime.seconds >= 0) folderTimes_.emplace_back(parts, mtime);
  return true;
}

bool ExtractRoot::File::Write(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(temp_.Fd(), p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      error_ = w < 0 ? errno : ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

ExtractRoot::File::~File() {
  if (folderFd_ >= 0) ::close(folderFd_);
}

ExtractRoot::File::File(File&& o) noexcept
    : temp_(std::move(o.temp_)), leaf_(std::move(o.leaf_)), umask_(o.umask_), error_(o.error_),
      folderFd_(std::exchange(o.folderFd_, -1)), ready_(std::exchange(o.ready_, false)) {}

ExtractRoot::File& ExtractRoot::File::operator=(File&& o) noexcept {
  if (this != &o) {
    Discard();
    temp_ = std::move(o.temp_);
    leaf_ = std::move(o.leaf_);
    umask_ = o.umask_;
    error_ = o.error_;
    folderFd_ = std::exchange(o.folderFd_, -1);
    ready_ = std::exchange(o.ready_, false);
  }
  return *this;
}

void ExtractRoot::File::Discard(const std::function<void()>& keepAlive) {
  temp_.Discard(keepAlive);
  if (folderFd_ >= 0) ::close(folderFd_);
  folderFd_ = -1;
  ready_ = false;
}

bool ExtractRoot::File::Create(std::string& failure) {
  const int fd = std::exchange(folderFd_, -1);
  if (fd < 0 || !temp_.CreateAdopting(fd, kTempPrefix, "")) {
    failure = "cannot create the file: " + ErrText(fd < 0 ? EBADF : errno);
    return false;
  }
  return true;
}

bool ExtractRoot::File::Ready(uint32_t storedMode, StoredTime mtime, std::string& failure) {
  SetTimes(temp_.Fd(), mtime);
  if (!temp_.Ready(static_cast<mode_t>(storedMode & 0777) & ~umask_)) {
    failure = "cannot create the file: " + ErrText(errno);
    return false;
  }
  ready_ = true;
  return true;
}

bool ExtractRoot::File::Commit(uint32_t storedMode, StoredTime mtime, std::string& failure) {
  if (!ready_) SetTimes(temp_.Fd(), mtime);
  const mode_t mode = static_cast<mode_t>(storedMode & 0777) & ~umask_;
  if (!temp_.CommitAs(leaf_, mode)) {
    failure = "cannot create the file: " + ErrText(errno);
    return false;
  }
  return true;
}

bool ExtractRoot::BeginFile(const std::vector<std::string>& parts, File& out, std::string& failure) {
  return PrepareFile(parts, out, failure) && out.Create(failure);
}

bool ExtractRoot::PrepareFile(const std::vector<std::string>& parts, File& out, std::string& failure) {
  if (parts.empty()) {
    failure = "no file name";
    return false;
  }
  const int dir = OpenFolder(parts, parts.size() - 1, failure);
  if (dir < 0) return false;
  out.Discard();
  out.leaf_ = parts.back();
  out.umask_ = umask_;
  out.error_ = 0;
  out.folderFd_ = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
  if (out.folderFd_ < 0) {
    failure = "cannot create the file: " + ErrText(errno);
    return false;
  }
  return true;
}

void ExtractRoot::AddLink(const std::vector<std::string>& parts, const std::string& text, StoredTime mtime,
                          size_t tag) {
  Pending p;
  p.parts = parts;
  p.text = text;
  p.mtime = mtime;
  p.tag = tag;
  links_.push_back(std::move(p));
}

void ExtractRoot::AddHardLink(const std::vector<std::string>& parts, const std::vector<std::string>& target,
                              StoredTime mtime, size_t tag) {
  Pending p;
  p.parts = parts;
  p.target = target;
  p.hard = true;
  p.mtime = mtime;
  p.tag = tag;
  links_.push_back(std::move(p));
}

const std::string* ExtractRoot::DiskLinkText(const std::string& path) const {
  auto it = diskLinks_.find(path);
  if (it == diskLinks_.end()) {
    std::pair<bool, std::string> v{false, {}};
    struct stat st {};
    if (::fstatat(rootFd_, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
      char buf[4096];
      const ssize_t n = ::readlinkat(rootFd_, path.c_str(), buf, sizeof buf);
      v.first = true;
      // An unreadable text is taken as leading outside.
      v.second = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("/");
    }
    it = diskLinks_.emplace(path, std::move(v)).first;
  }
  return it->second.first ? &it->second.second : nullptr;
}

ExtractRoot::Reach ExtractRoot::Resolve(const std::vector<std::string>& parts, const std::string& text,
                                        const std::map<std::string, const std::string*>& pending) const {
  std::vector<std::string> pos(parts.begin(), parts.empty() ? parts.begin() : parts.end() - 1);
  if (text.empty() || text[0] == '/' || text.find('\0') != std::string::npos) return Reach::kOutside;
  std::deque<std::string> todo;
  SplitLinkText(text, todo);
  int follows = 0;
  while (!todo.empty()) {
    const std::string c = std::move(todo.front());
    todo.pop_front();
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (pos.empty()) return Reach::kOutside;
      pos.pop_back();
      continue;
    }
    pos.push_back(c);
    const std::string key = JoinParts(pos);
    const std::string* linkText = nullptr;
    if (auto it = pending.find(key); it != pending.end()) linkText = it->second;
    else linkText = DiskLinkText(key);
    if (!linkText) continue;
    pos.pop_back();
    if (++follows > kMaxLinkFollows) return Reach::kLoop;
    if (linkText->empty() || (*linkText)[0] == '/') return Reach::kOutside;
    SplitLinkText(*linkText, todo);
  }
  return pos.empty() ? Reach::kRoot : Reach::kInside;
}

void ExtractRoot::SetLinkTime(int dirFd, const std::string& leaf, StoredTime mtime) const {
  if (mtime.seconds < 0) return;
  struct timespec ts[2];
  ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(mtime.seconds);
  ts[0].tv_nsec = ts[1].tv_nsec = static_cast<long>(mtime.nanos);
  ::utimensat(dirFd, leaf.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

void ExtractRoot::FinishHardLink(const Pending& p, const ReplaceQuestion& mayReplace, LinkOutcome& out,
                                 bool& stopped) {
  if (Look(p.target).kind != OnDisk::kFile) {
    out.failure = "the file it links to (" + JoinParts(p.target) + ") is not a file extracted here";
    return;
  }
  const OnDisk there = Look(p.parts);
  if (there.kind == OnDisk::kFolder) {
    out.failure = "a folder of that name is in the way";
    return;
  }
  if (there.kind != OnDisk::kNone && mayReplace) {
    const int a = mayReplace(p.tag, p.parts, there);
    if (a < 0) {
      stopped = true;
      return;
    }
    if (a == 0) {
      out.failure = "the existing file was kept";
      return;
    }
  }
  std::string failure;
  const int targetDir = Walk(p.target, p.target.size() - 1, false, failure);
  if (targetDir < 0) {
    out.failure = failure;
    return;
  }
  const int dir = OpenFolder(p.parts, p.parts.size() - 1, failure);
  if (dir < 0) {
    ::close(targetDir);
    out.failure = failure;
    return;
  }
  const std::string tmp = NewTempName();
  // No AT_SYMLINK_FOLLOW: the target was just seen to be a plain file, and
  // should it have been swapped for a link since, the link itself is what
  // gets a second name, still not followed.
  if (::linkat(targetDir, p.target.back().c_str(), dir, tmp.c_str(), 0) != 0 ||
      ::renameat(dir, tmp.c_str(), dir, p.parts.back().c_str()) != 0) {
    out.failure = "cannot create the link: " + ErrText(errno);
    ::unlinkat(dir, tmp.c_str(), 0);
  } else {
    out.created = true;
  }
  ::close(targetDir);
}

void ExtractRoot::FinishSymlinks(const std::vector<const Pending*>& links, const ReplaceQuestion& mayReplace,
                                 std::vector<LinkOutcome>& out, bool& stopped) {
  const size_t n = links.size();
  std::vector<std::string> keys(n);
  std::vector<bool> alive(n, true), asked(n, false);
  std::vector<LinkOutcome*> result(n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back({links[i]->tag, links[i]->parts, false, {}});
    keys[i] = JoinParts(links[i]->parts);
  }
  for (size_t i = 0; i < n; ++i) result[i] = &out[out.size() - n + i];
  auto drop = [&](size_t i, const std::string& why) {
    alive[i] = false;
    result[i]->failure = why;
  };

  // The last link of a name is the one that counts.
  std::map<std::string, size_t> last;
  for (size_t i = 0; i < n; ++i) last[keys[i]] = i;
  std::set<std::string> linkPaths(keys.begin(), keys.end());
  diskLinks_.clear();
  for (size_t i = 0; i < n; ++i) {
    const auto& parts = links[i]->parts;
    if (last[keys[i]] != i) {
      drop(i, "a later link of the same name takes its place");
      continue;
    }
    if (links[i]->text.empty()) {
      drop(i, "the link has no text");
      continue;
    }
    // Every folder on the way must be a real folder (or not exist yet): a
    // link is never created through another link.
    for (size_t k = 1; k < parts.size() && alive[i]; ++k) {
      const std::string prefix = JoinParts(parts, k);
      struct stat st {};
      if (linkPaths.count(prefix) || DiskLinkText(prefix)) {
        drop(i, prefix + " is a link; nothing is created through it");
      } else if (::fstatat(rootFd_, prefix.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
        drop(i, prefix + " is a file, not a folder");
      }
    }
    if (alive[i] && Look(parts).kind == OnDisk::kFolder) drop(i, "a folder of that name is in the way");
  }

  auto reasonFor = [&](Reach r, const std::string& text) -> std::string {
    switch (r) {
      case Reach::kOutside: return "the link leads out of the target folder (" + text + ")";
      case Reach::kRoot: return "the link leads to the target folder itself (" + text + ")";
      case Reach::kLoop: return "the link leads round in a loop (" + text + ")";
      case Reach::kInside: break;
    }
    return {};
  };
  // Drops links until every one left stays inside with the others in place;
  // then asks about names already taken, which may drop more.
  for (bool again = true; again;) {
    // Every link of a round is judged against the same model, and the ones
    // found wanting leave together: the outcome depends on the set of links
    // only, never on the order of the entries.
    for (bool changed = true; changed;) {
      changed = false;
      std::map<std::string, const std::string*> model;
      for (size_t i = 0; i < n; ++i)
        if (alive[i]) model[keys[i]] = &links[i]->text;
      std::vector<std::pair<size_t, Reach>> out;
      for (size_t i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        const Reach r = Resolve(links[i]->parts, links[i]->text, model);
        if (r != Reach::kInside) out.emplace_back(i, r);
      }
      for (const auto& [i, r] : out) drop(i, reasonFor(r, links[i]->text));
      changed = !out.empty();
    }
    again = false;
    for (size_t i = 0; i < n && mayReplace; ++i) {
      if (!alive[i] || asked[i]) continue;
      asked[i] = true;
      const OnDisk there = Look(links[i]->parts);
      if (there.kind == OnDisk::kNone) continue;
      const int a = mayReplace(links[i]->tag, links[i]->parts, there);
      if (a < 0) {
        stopped = true;
        return;
      }
      if (a == 0) {
        drop(i, "the existing file was kept");
        again = true;
      }
    }
  }

  std::vector<size_t> made;
  for (size_t i = 0; i < n; ++i) {
    if (!alive[i]) continue;
    const auto& parts = links[i]->parts;
    std::string failure;
    const int dir = OpenFolder(parts, parts.size() - 1, failure);
    if (dir < 0) {
      result[i]->failure = failure;
      continue;
    }
    const std::string tmp = NewTempName();
    if (::symlinkat(links[i]->text.c_str(), dir, tmp.c_str()) != 0 ||
        ::renameat(dir, tmp.c_str(), dir, parts.back().c_str()) != 0) {
      result[i]->failure = "cannot create the link: " + ErrText(errno);
      ::unlinkat(dir, tmp.c_str(), 0);
      continue;
    }
    result[i]->created = true;
    made.push_back(i);
  }

  // The disk alone now: whatever could not be made as planned must not
  // leave another link pointing outside.
  for (bool changed = true; changed;) {
    changed = false;
    diskLinks_.clear();
    std::vector<std::pair<size_t, Reach>> bad;
    for (size_t i : made) {
      if (!result[i]->created) continue;
      const Reach r = Resolve(links[i]->parts, links[i]->text, {});
      if (r != Reach::kInside) bad.emplace_back(i, r);
    }
    for (const auto& [i, r] : bad) {
      const auto& parts = links[i]->parts;
      std::string failure;
      const int dir = OpenFolder(parts, parts.size() - 1, failure);
      struct stat st {};
      if (dir >= 0 && ::fstatat(dir, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        ::unlinkat(dir, parts.back().c_str(), 0);
      result[i]->created = false;
      result[i]->failure = reasonFor(r, links[i]->text) + "; removed again";
      changed = true;
    }
  }
  for (size_t i : made) {
    if (!result[i]->created) continue;
    std::string failure;
    const int dir = OpenFolder(links[i]->parts, links[i]->parts.size() - 1, failure);
    if (dir >= 0) SetLinkTime(dir, links[i]->parts.back(), links[i]->mtime);
  }
}

void ExtractRoot::FinishFolders() {
  // Deepest first, so a folder's time is not undone by setting its children.
  std::stable_sort(folderTimes_.begin(), folderTimes_.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [parts, mtime] : folderTimes_) {
    std::string failure;
    const int fd = Walk(parts, parts.size(), false, failure);
    if (fd < 0) continue;
    SetTimes(fd, mtime);
    ::close(fd);
  }
  folderTimes_.clear();
}

ExtractRoot::FinishResult ExtractRoot::Finish(const ReplaceQuestion& mayReplace) {
  FinishResult r;
  if (rootFd_ < 0) return r;
  std::vector<const Pending*> symlinks;
  for (const Pending& p : links_) {
    if (!p.hard) {
      symlinks.push_back(&p);
      continue;
    }
    LinkOutcome o{p.tag, p.parts, false, {}};
    if (!r.stopped) {
      FinishHardLink(p, mayReplace, o, r.stopped);
      if (o.created) {
        std::string failure;
        const int dir = OpenFolder(p.parts, p.parts.size() - 1, failure);
        if (dir >= 0) SetLinkTime(dir, p.parts.back(), p.mtime);
      }
    }
    r.links.push_back(std::move(o));
  }
  if (!r.stopped) FinishSymlinks(symlinks, mayReplace, r.links, r.stopped);
  links_.clear();
  if (!r.stopped) FinishFolders();
  return r;
}

}  // namespace arkelin::engine::common
