// Extraction and testing of the selected entries, one after another.
#include "engine/zip/dll/unz/UnzExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/Crc32.h"
#include "engine/zip/dll/common/DosTime.h"
#include "engine/zip/dll/common/SafePath.h"
#include "engine/zip/dll/common/ShrinkFile.h"
#include "engine/zip/dll/common/ZipCrypto.h"
#include "engine/zip/dll/common/ZipFormat.h"
#include "engine/zip/dll/unz/EntryDecoder.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr int64_t kProgressStep = 64 * 1024;
constexpr size_t kMaxLinkText = 4096;

// A descriptor closed on scope exit.
struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      Reset();
      fd = o.fd;
      o.fd = -1;
    }
    return *this;
  }
  ~Fd() { Reset(); }
  void Reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

std::string Join(const std::vector<std::string>& parts, size_t count) {
  std::string s;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i) s += '/';
    s += parts[i];
  }
  return s;
}

class Run;

// Decoded bytes go to the temporary file (or nowhere when testing), into
// the CRC and into the progress count.
class FileSink final : public OutputSink {
 public:
  FileSink(Run& run, int fd) : run_(run), fd_(fd) {}
  bool Write(const uint8_t* data, size_t n) override;
  uint32_t Crc() const { return crc_; }
  bool WriteFailed() const { return writeFailed_; }
  int Errno() const { return errno_; }
  std::string* capture = nullptr;  // link text is collected instead of written

 private:
  Run& run_;
  int fd_;
  uint32_t crc_ = 0;
  bool writeFailed_ = false;
  int errno_ = 0;
};

struct PendingLink {
  size_t index;
  std::vector<std::string> parts;
  std::string text;
};

struct PendingDirTime {
  std::vector<std::string> parts;
  int64_t mtime;
};

class Run {
 public:
  explicit Run(const UnzOptions& o) : o_(o) {
    const mode_t m = ::umask(022);
    ::umask(m);
    umask_ = m;
    password_ = o.password;
  }

  int32_t Execute();
  bool Progress(int64_t bytes);  // false when the caller asked to stop

 private:
  // Sends one callback; remembers a stop. `text` is cut to 511 bytes.
  int32_t Call(int32_t action, int32_t error, int64_t size, std::string_view text, char* answer = nullptr,
               size_t answerCap = 0);
  void Message(int32_t code, const std::string& text) { Call(kActionMessage, code, 0, text); }
  bool Selected(const CentralEntry& e) const;
  bool PathFor(const CentralEntry& e, std::vector<std::string>& parts);
  // Opens (creating as needed) the folder made of the first `count` parts.
  int OpenFolder(const std::vector<std::string>& parts, size_t count, std::string& failure);
  bool ExtractOne(size_t index, uint64_t dataOffset);
  bool PrepareKeys(const CentralEntry& e, const LocalHeader& lh, uint64_t& dataOffset, uint64_t& length,
                   std::unique_ptr<ZipCryptoKeys>& keys, bool& skip);
  // Decides whether an existing file is replaced: 1 yes, 0 skip, -1 stop.
  int MayReplace(int dirFd, const std::string& leaf, const std::string& shown, int64_t entryTime, bool& existed);
  void CreateLinks();
  void RestoreFolderTimes();
  int64_t EntryTime(const CentralEntry& e, const LocalHeader* lh) const;
  mode_t FileMode(const CentralEntry& e) const;
  std::string TempName() {
    static const char kHex[] = "0123456789abcdef";
    std::string s = ".arkz-";
    for (int i = 0; i < 12; ++i) s += kHex[rng_() & 15];
    return s;
  }

  const UnzOptions& o_;
  std::string password_;
  mode_t umask_ = 022;
  bool stop_ = false;
  ArchiveFile file_;
  CentralDirectory dir_;
  int rootFd_ = -1;
  int64_t pendingProgress_ = 0;
  int32_t good_ = 0;
  std::vector<PendingLink> links_;
  std::vector<PendingDirTime> dirTimes_;
  // The folder last opened for writing, kept for the entries that follow.
  std::string cachedFolder_;
  Fd cachedFd_;
  std::mt19937_64 rng_{std::random_device{}()};
};

bool FileSink::Write(const uint8_t* data, size_t n) {
  // Pieces of 64 KiB, so progress (and a stop answer) is seen at least that
  // often even when a decoder hands over a whole entry at once.
  while (n > 0) {
    const size_t piece = std::min<size_t>(n, kProgressStep);
    crc_ = Crc32(crc_, data, piece);
    if (capture) {
      if (capture->size() + piece > kMaxLinkText) return false;
      capture->append(reinterpret_cast<const char*>(data), piece);
    } else if (fd_ >= 0) {
      size_t done = 0;
      while (done < piece) {
        const ssize_t w = ::write(fd_, data + done, piece - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          writeFailed_ = true;
          errno_ = w < 0 ? errno : ENOSPC;
          return false;
        }
        done += static_cast<size_t>(w);
      }
    }
    if (!run_.Progress(static_cast<int64_t>(piece))) return false;
    data += piece;
    n -= piece;
  }
  return true;
}

int32_t Run::Call(int32_t action, int32_t error, int64_t size, std::string_view text, char* answer,
                  size_t answerCap) {
  if (!o_.callback) return 0;
  EngineCallbackData d;
  std::memset(&d, 0, sizeof d);
  d.handle = o_.handle;
  d.caller = o_.caller;
  d.actionCode = action;
  d.errorCode = error;
  d.fileSize = size;
  // Control bytes (a NUL or an escape sequence inside a name) are shown
  // escaped, so the text shown is the whole name and cannot steer a terminal.
  std::string shown;
  shown.reserve(text.size());
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 0x20 || u == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[u >> 4];
      shown += kHex[u & 15];
    } else {
      shown += ch;
    }
  }
  const size_t n = std::min(shown.size(), sizeof d.text - 1);
  std::memcpy(d.text, shown.data(), n);
  d.text[n] = '\0';
  const int32_t r = o_.callback(&d);
  if (answer && answerCap) {
    const size_t m = std::min(strnlen(d.text, sizeof d.text), answerCap - 1);
    std::memcpy(answer, d.text, m);
    answer[m] = '\0';
  }
  // The questions answer 0 and 1 in their normal course; -1 stops. Every
  // other action but keep-alive stops on any nonzero answer.
  if (action == kActionOverwrite || action == kActionPassword) {
    if (r < 0) stop_ = true;
  } else if (r != 0 && action != kActionKeepAlive) {
    stop_ = true;
  }
  return r;
}

bool Run::Progress(int64_t bytes) {
  pendingProgress_ += bytes;
  if (pendingProgress_ >= kProgressStep) {
    const int64_t n = pendingProgress_;
    pendingProgress_ = 0;
    Call(kActionUpdate, 0, n, "");
  }
  return !stop_;
}

bool Run::Selected(const CentralEntry& e) const {
  if (o_.specs.empty()) return true;
  std::string name = e.name;
  std::replace(name.begin(), name.end(), '\\', '/');
  std::string trimmed = name;
  while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  const std::string_view leaf = slash == std::string::npos ? std::string_view(trimmed)
                                                           : std::string_view(trimmed).substr(slash + 1);
  for (std::string spec : o_.specs) {
    std::replace(spec.begin(), spec.end(), '\\', '/');
    if (spec.empty()) continue;
    if (spec == "*.*" || spec == "*") return true;
    if (spec.find('/') == std::string::npos) {
      // A bare name matches the file name in any folder.
      if (WildcardMatch(spec, leaf)) return true;
    } else {
      while (spec.size() > 1 && spec.back() == '/') spec.pop_back();
      if (WildcardMatch(spec, trimmed)) return true;
    }
  }
  return false;
}

bool Run::PathFor(const CentralEntry& e, std::vector<std::string>& parts) {
  std::string reason;
  if (!SplitEntryName(e.name, parts, reason)) {
    Message(kUnzErrUnsafe, e.name + ": refused, " + reason);
    return false;
  }
  if (!o_.dirNames) parts.erase(parts.begin(), parts.end() - 1);
  return true;
}

int Run::OpenFolder(const std::vector<std::string>& parts, size_t count, std::string& failure) {
  const std::string key = Join(parts, count);
  if (count == 0) return rootFd_;
  if (cachedFd_.fd >= 0 && key == cachedFolder_) return cachedFd_.fd;
  Fd cur(::dup(rootFd_));
  for (size_t i = 0; i < count; ++i) {
    int next = ::openat(cur.fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(cur.fd, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
        failure = "cannot create the folder " + Join(parts, i + 1) + ": " + std::strerror(errno);
        return -1;
      }
      next = ::openat(cur.fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      failure = (errno == ELOOP || errno == ENOTDIR)
                    ? Join(parts, i + 1) + " is a link or a file, not a folder; nothing is written through it"
                    : "cannot open the folder " + Join(parts, i + 1) + ": " + std::strerror(errno);
      return -1;
    }
    cur = Fd(next);
  }
  cachedFolder_ = key;
  cachedFd_ = std::move(cur);
  return cachedFd_.fd;
}

int64_t Run::EntryTime(const CentralEntry& e, const LocalHeader* lh) const {
  if (e.mtime != -1) return e.mtime;
  if (lh && lh->mtime != -1) return lh->mtime;
  return DosToUnix(e.dosTime, e.dosDate);
}

mode_t Run::FileMode(const CentralEntry& e) const {
  const uint32_t unixMode = e.UnixMode();
  mode_t m;
  if (unixMode & 0777) {
    m = unixMode & 0777;  // setuid, setgid and sticky are never restored
  } else {
    m = (e.externalAttr & 0x01) ? 0444 : 0666;
  }
  return m & ~umask_;
}

int Run::MayReplace(int dirFd, const std::string& leaf, const std::string& shown, int64_t entryTime,
                    bool& existed) {
  struct stat st {};
  existed = ::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!existed) return o_.freshen ? 0 : 1;
  if (S_ISDIR(st.st_mode)) {
    Message(kUnzErrCreate, shown + ": a folder of that name is in the way");
    return 0;
  }
  if (o_.update || o_.freshen) {
    // DOS times have two-second steps; a file that new or newer stays.
    if (entryTime >= 0 && static_cast<int64_t>(st.st_mtime) + 1 >= entryTime) return 0;
  }
  if (o_.overwrite) return 1;
  const int32_t a = Call(kActionOverwrite, 0, 0, shown);
  if (a < 0) return -1;
  return a == 1 ? 1 : 0;
}

bool Run::PrepareKeys(const CentralEntry& e, const LocalHeader& lh, uint64_t& dataOffset, uint64_t& length,
                      std::unique_ptr<ZipCryptoKeys>& keys, bool& skip) {
  skip = false;
  if (!e.IsEncrypted()) return true;
  if (length < kCryptHeaderSize) {
    Message(kUnzErrData, e.name + ": the encrypted data is too short");
    skip = true;
    return true;
  }
  uint8_t stored[kCryptHeaderSize];
  if (!file_.ReadAt(dataOffset, stored, sizeof stored)) {
    Message(kUnzErrArchive, e.name + ": the archive cannot be read");
    skip = true;
    return true;
  }
  // The local flags decide which check byte the writer used.
  const uint8_t check = CryptCheckByte(lh.flags | (e.flags & kFlagDescriptor), e.crc, e.dosTime);
  auto tryPassword = [&](const std::string& pw) {
    auto k = std::make_unique<ZipCryptoKeys>(pw);
    uint8_t h[kCryptHeaderSize];
    std::memcpy(h, stored, sizeof h);
    if (!k->DecryptHeader(h, check)) return false;
    keys = std::move(k);
    return true;
  };
  if (!password_.empty() && tryPassword(password_)) {
    dataOffset += kCryptHeaderSize;
    length -= kCryptHeaderSize;
    return true;
  }
  // Ask the caller, a few times at most, for this entry.
  const bool hadPassword = !password_.empty();
  for (int attempt = 0; attempt < 3; ++attempt) {
    char answer[512];
    const int32_t a = Call(kActionPassword, 0, 0, e.name, answer, sizeof answer);
    if (stop_) return false;
    if (a != 1) break;
    std::string pw(answer);
    if (pw.size() > 80) pw.resize(80);
    if (!pw.empty() && tryPassword(pw)) {
      password_ = pw;
      dataOffset += kCryptHeaderSize;
      length -= kCryptHeaderSize;
      return true;
    }
    Message(kUnzErrPassword, e.name + ": wrong password");
  }
  Message(kUnzErrPassword, e.name + (hadPassword ? ": wrong password, skipped" : ": no password given, skipped"));
  skip = true;
  return true;
}

bool Run::ExtractOne(size_t index, uint64_t dataOffset) {
  const CentralEntry& e = dir_.entries[index];
  if (!e.problem.empty()) {
    Message(kUnzErrArchive, e.name + ": " + e.problem);
    return true;
  }
  if (e.extraDamaged) Message(kUnzWarning, e.name + ": a damaged extra field was ignored");
  if (e.IsDirectory()) {
    if (o_.test || !o_.dirNames) return true;
    // "./" and the like name the target folder itself.
    if (e.name.find_first_not_of("./\\") == std::string::npos && e.name.find("..") == std::string::npos)
      return true;
    std::vector<std::string> parts;
    if (!PathFor(e, parts)) return true;
    std::string failure;
    if (OpenFolder(parts, parts.size(), failure) < 0) {
      Message(kUnzErrCreate, e.name + ": " + failure);
    } else {
      const int64_t t = EntryTime(e, nullptr);
      if (t >= 0) dirTimes_.push_back({parts, t});
    }
    return true;
  }

  LocalHeader lh;
  ReadResult lr = ReadLocalHeader(file_, e.localOffset, lh);
  if (!lr.Ok()) {
    Message(kUnzErrArchive, e.name + ": " + lr.message);
    return true;
  }
  if (lh.rawName != e.rawName)
    Message(kUnzWarning, e.name + ": the local header gives another name; the directory's name is used");
  if ((e.flags & kFlagStrongEncryption) || e.method == kMethodAes) {
    Message(kUnzErrUnsupported, e.name + ": " + (e.method == kMethodAes ? "AES encryption" : "strong encryption") +
                                    " is not supported");
    return true;
  }
  if (!MethodSupported(e.method)) {
    Message(kUnzErrUnsupported, e.name + ": compression method " + std::to_string(e.method) + " (" +
                                    MethodName(e.method) + ") is not supported");
    return true;
  }

  std::vector<std::string> parts;
  const bool isLink = e.IsSymlink();
  if (!o_.test && !PathFor(e, parts)) return true;
  const std::string shown = o_.test ? e.name : Join(parts, parts.size());

  Call(kActionNewFile, 0, static_cast<int64_t>(e.uncompressedSize), shown);
  if (stop_) return false;

  uint64_t offset = dataOffset, length = e.compressedSize;
  std::unique_ptr<ZipCryptoKeys> keys;
  bool skip = false;
  if (!PrepareKeys(e, lh, offset, length, keys, skip)) return false;
  if (skip) return true;

  const int64_t entryTime = EntryTime(e, &lh);
  int dirFd = -1;
  Fd tmp;
  std::string tmpName;
  if (!o_.test && !isLink) {
    std::string failure;
    dirFd = OpenFolder(parts, parts.size() - 1, failure);
    if (dirFd < 0) {
      Message(kUnzErrCreate, shown + ": " + failure);
      return true;
    }
    bool existed = false;
    const int r = MayReplace(dirFd, parts.back(), shown, entryTime, existed);
    if (r < 0 || stop_) return false;
    if (r == 0) return true;
    // The declared size is checked against the free space first; the
    // decoder still stops at that size if the data would run longer.
    struct statvfs vfs {};
    if (::fstatvfs(dirFd, &vfs) == 0 && vfs.f_bavail != 0 &&
        e.uncompressedSize / vfs.f_frsize >= static_cast<uint64_t>(vfs.f_bavail)) {
      Message(kUnzErrCreate, shown + ": not enough free disk space for " + std::to_string(e.uncompressedSize) +
                                 " bytes");
      return true;
    }
    for (int tries = 0; tries < 8 && tmp.fd < 0; ++tries) {
      tmpName = TempName();
      tmp = Fd(::openat(dirFd, tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (tmp.fd < 0 && errno != EEXIST) break;
    }
    if (tmp.fd < 0) {
      Message(kUnzErrCreate, shown + ": cannot create the file: " + std::strerror(errno));
      return true;
    }
  }

  EntryInput in(file_, offset, length, keys.get());
  FileSink sink(*this, tmp.fd);
  std::string linkText;
  if (isLink && !o_.test) sink.capture = &linkText;
  std::string detail;
  const DecodeResult r = DecodeEntry(e.method, e.flags, in, e.uncompressedSize, sink, detail);
  bool ok = false;
  switch (r) {
    case DecodeResult::Ok:
      if (sink.Crc() != e.crc) {
        Message(kUnzErrCrc, shown + ": CRC error" + (keys ? " (wrong password?)" : ""));
      } else {
        ok = true;
      }
      break;
    case DecodeResult::Stopped:
      if (sink.WriteFailed())
        Message(kUnzErrCreate, shown + ": cannot write the file: " + std::strerror(sink.Errno()));
      else if (sink.capture && !stop_)
        Message(kUnzErrUnsafe, shown + ": the link text is too long, skipped");
      break;
    case DecodeResult::ReadError: Message(kUnzErrArchive, shown + ": the archive cannot be read"); break;
    case DecodeResult::DataError:
      Message(kUnzErrData, shown + ": " + detail + (keys ? " (wrong password?)" : ""));
      break;
    case DecodeResult::TooLong:
      Message(kUnzErrData, shown + ": the data is longer than the size the directory gives");
      break;
    case DecodeResult::TooShort:
      Message(kUnzErrData, shown + ": the data is shorter than the size the directory gives");
      break;
    case DecodeResult::Unsupported: Message(kUnzErrUnsupported, shown + ": " + detail); break;
  }

  if (tmp.fd >= 0) {
    if (!ok) ShrinkInSteps(tmp.fd, [this] { Call(kActionKeepAlive, 0, 0, ""); });
    if (ok) {
      ::fchmod(tmp.fd, FileMode(e));
      if (entryTime >= 0) {
        struct timespec ts[2];
        ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(entryTime);
        ts[0].tv_nsec = ts[1].tv_nsec = 0;
        ::futimens(tmp.fd, ts);
      }
    }
    const int closed = ::close(tmp.fd);
    tmp.fd = -1;
    if (ok && closed != 0) {
      Message(kUnzErrCreate, shown + ": cannot write the file: " + std::strerror(errno));
      ok = false;
    }
    if (ok && ::renameat(dirFd, tmpName.c_str(), dirFd, parts.back().c_str()) != 0) {
      Message(kUnzErrCreate, shown + ": cannot create the file: " + std::strerror(errno));
      ok = false;
    }
    if (!ok) ::unlinkat(dirFd, tmpName.c_str(), 0);
  }
  if (ok) {
    if (isLink && !o_.test) {
      links_.push_back({index, parts, linkText});
    } else {
      ++good_;
      if (o_.verbose) Message(kUnzInfo, (o_.test ? "tested OK: " : "extracted: ") + shown);
    }
  }
  return !stop_;
}

void Run::CreateLinks() {
  for (const PendingLink& l : links_) {
    if (stop_) return;
    const CentralEntry& e = dir_.entries[l.index];
    const std::string shown = Join(l.parts, l.parts.size());
    bool inside = LinkStaysInside(l.parts, l.text);
    // Every component walked before a ".." must be a real folder: a link
    // there would make the text resolve somewhere else than it reads.
    if (inside) {
      std::vector<std::string> at(l.parts.begin(), l.parts.end() - 1);
      size_t lastUp = l.text.rfind("..");
      std::string walked;
      size_t start = 0;
      while (inside && start < l.text.size() && lastUp != std::string::npos && start < lastUp) {
        size_t end = l.text.find_first_of("/\\", start);
        if (end == std::string::npos) end = l.text.size();
        const std::string part = l.text.substr(start, end - start);
        if (part == "..") {
          if (!at.empty()) at.pop_back();
        } else if (!part.empty() && part != ".") {
          at.push_back(part);
          struct stat st {};
          if (::fstatat(rootFd_, Join(at, at.size()).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            inside = false;
        }
        start = end + 1;
      }
    }
    if (!inside) {
      Message(kUnzErrUnsafe, shown + ": the link leads out of the target folder (" + l.text + "), skipped");
      continue;
    }
    std::string failure;
    const int dirFd = OpenFolder(l.parts, l.parts.size() - 1, failure);
    if (dirFd < 0) {
      Message(kUnzErrCreate, shown + ": " + failure);
      continue;
    }
    bool existed = false;
    const int r = MayReplace(dirFd, l.parts.back(), shown, EntryTime(e, nullptr), existed);
    if (r < 0 || stop_) return;
    if (r == 0) continue;
    const std::string tmpName = TempName();
    if (::symlinkat(l.text.c_str(), dirFd, tmpName.c_str()) != 0 ||
        ::renameat(dirFd, tmpName.c_str(), dirFd, l.parts.back().c_str()) != 0) {
      Message(kUnzErrCreate, shown + ": cannot create the link: " + std::strerror(errno));
      ::unlinkat(dirFd, tmpName.c_str(), 0);
      continue;
    }
    ++good_;
  }
}

void Run::RestoreFolderTimes() {
  // Deepest first, so setting a folder's time is not undone by its children.
  std::sort(dirTimes_.begin(), dirTimes_.end(),
            [](const PendingDirTime& a, const PendingDirTime& b) { return a.parts.size() > b.parts.size(); });
  cachedFd_.Reset();
  cachedFolder_.clear();
  for (const auto& d : dirTimes_) {
    std::string failure;
    const int fd = OpenFolder(d.parts, d.parts.size(), failure);
    if (fd < 0) continue;
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(d.mtime);
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ::futimens(fd, ts);
  }
}

int32_t Run::Execute() {
  if (!file_.Open(o_.archive)) {
    Message(kUnzErrArchive, o_.archive + ": cannot open the archive: " + std::strerror(errno));
    return 0;
  }
  const ReadResult rr = ReadCentralDirectory(file_, dir_);
  if (!rr.Ok()) {
    Message(kUnzErrArchive, o_.archive + ": " + rr.message);
    return 0;
  }
  // Entries that share bytes are how the worst compression bombs are built;
  // such an archive is refused as a whole.
  const OverlapReport ov = FindOverlaps(file_, dir_);
  if (!ov.overlaps.empty()) {
    const auto& [a, b] = ov.overlaps.front();
    const std::string what = a == b ? dir_.entries[a].name + " and the central directory"
                                    : dir_.entries[a].name + " and " + dir_.entries[b].name;
    Message(kUnzErrOverlap, o_.archive + ": overlapping entries (" + what + "); nothing is " +
                                (o_.test ? "tested" : "extracted"));
    return 0;
  }

  std::vector<size_t> chosen;
  int64_t files = 0, bytes = 0;
  for (size_t i = 0; i < dir_.entries.size(); ++i) {
    if (!Selected(dir_.entries[i])) continue;
    chosen.push_back(i);
    if (!dir_.entries[i].IsDirectory()) {
      ++files;
      bytes += static_cast<int64_t>(std::min<uint64_t>(dir_.entries[i].uncompressedSize, INT64_MAX / 4));
    }
  }
  Call(kActionTotalFiles, 0, files, "");
  if (!stop_) Call(kActionTotalSize, 0, bytes, "");
  if (stop_) return good_;

  if (!o_.test) {
    rootFd_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) {
      Message(kUnzErrCreate, std::string("cannot open the target folder: ") + std::strerror(errno));
      return 0;
    }
  }
  for (size_t i : chosen) {
    if (!ExtractOne(i, ov.dataOffsets[i]) || stop_) break;
  }
  if (!stop_ && !o_.test) CreateLinks();
  if (!stop_ && !o_.test) RestoreFolderTimes();
  cachedFd_.Reset();
  if (rootFd_ >= 0) ::close(rootFd_);
  rootFd_ = -1;
  if (!stop_ && pendingProgress_ > 0) Call(kActionUpdate, 0, pendingProgress_, "");
  if (!stop_) Call(kActionEndOfBatch, 0, 0, "");
  return good_;
}

}  // namespace

int32_t RunUnzip(const UnzOptions& options) {
  Run run(options);
  return run.Execute();
}

}  // namespace arkelin::engine::zip::dll
