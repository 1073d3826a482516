// Volume files and their names. See VolumeSet.h.
#include "engine/rar/archive/VolumeSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "engine/rar/UnrarApi.h"

namespace arkelin::engine::rar::archive {

namespace {
constexpr size_t kCacheSize = 64 * 1024;
constexpr size_t kMaxOpen = 4;
constexpr int kAsksPerVolume = 3;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Adds one to the decimal digits s[from, to), keeping their width, growing by
// a leading "1" on overflow.
std::string Increment(std::string s, size_t from, size_t to) {
  for (size_t i = to; i > from;) {
    --i;
    if (s[i] == '9') {
      s[i] = '0';
    } else {
      ++s[i];
      return s;
    }
  }
  s.insert(s.begin() + static_cast<std::ptrdiff_t>(from), '1');
  return s;
}

// The digits of ".partN" in the file name part of `name`: [from, to), or
// false. The last such group wins.
bool FindPartNumber(const std::string& name, size_t base, size_t& from, size_t& to) {
  bool found = false;
  for (size_t i = base; i + 5 < name.size(); ++i) {
    if (name[i] != '.') continue;
    if (strncasecmp(name.c_str() + i + 1, "part", 4) != 0) continue;
    size_t s = i + 5, e = s;
    while (e < name.size() && IsDigit(name[e])) ++e;
    if (e > s) {
      from = s;
      to = e;
      found = true;
    }
  }
  return found;
}

size_t BaseStart(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

std::unique_ptr<VolumeFile> VolumeFile::Open(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<VolumeFile>(new VolumeFile(fd, static_cast<uint64_t>(st.st_size), path));
}

VolumeFile::VolumeFile(int fd, uint64_t size, std::string path) : fd_(fd), size_(size), path_(std::move(path)) {}

VolumeFile::~VolumeFile() { ::close(fd_); }

std::ptrdiff_t VolumeFile::Read(uint64_t offset, uint8_t* buf, size_t n) {
  if (offset >= size_ || n == 0) return 0;
  if (n > size_ - offset) n = static_cast<size_t>(size_ - offset);
  if (offset >= cacheOffset_ && offset < cacheOffset_ + cacheLen_) {
    const size_t have = static_cast<size_t>(cacheOffset_ + cacheLen_ - offset);
    const size_t take = std::min(have, n);
    std::memcpy(buf, cache_.data() + (offset - cacheOffset_), take);
    return static_cast<std::ptrdiff_t>(take);
  }
  if (n >= kCacheSize) {
    for (;;) {
      const ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(offset));
      if (r < 0 && errno == EINTR) continue;
      return r < 0 ? -1 : r;
    }
  }
  cache_.resize(kCacheSize);
  ssize_t r;
  do {
    r = ::pread(fd_, cache_.data(), kCacheSize, static_cast<off_t>(offset));
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    cacheLen_ = 0;
    return -1;
  }
  cacheOffset_ = offset;
  cacheLen_ = static_cast<size_t>(r);
  const size_t take = std::min(cacheLen_, n);
  std::memcpy(buf, cache_.data(), take);
  return static_cast<std::ptrdiff_t>(take);
}

bool VolumeFile::ReadExact(uint64_t offset, uint8_t* buf, size_t n) {
  while (n > 0) {
    const std::ptrdiff_t r = Read(offset, buf, n);
    if (r <= 0) return false;
    offset += static_cast<uint64_t>(r);
    buf += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

std::string NextVolumeName(const std::string& name, bool newNumbering) {
  const size_t base = BaseStart(name);
  const size_t dot = name.rfind('.');
  const bool hasExt = dot != std::string::npos && dot >= base;
  if (newNumbering) {
    size_t from = 0, to = 0;
    if (FindPartNumber(name, base, from, to)) return Increment(name, from, to);
    // No ".part": the last digits before the extension.
    size_t e = hasExt ? dot : name.size();
    while (e > base && !IsDigit(name[e - 1])) --e;
    size_t s = e;
    while (s > base && IsDigit(name[s - 1])) --s;
    if (s < e) return Increment(name, s, e);
  }
  if (!hasExt) return "";
  const std::string ext = name.substr(dot + 1);
  if (ext.size() == 3 && (strcasecmp(ext.c_str(), "rar") == 0 || strcasecmp(ext.c_str(), "exe") == 0))
    return name.substr(0, dot + 1) + (std::isupper(static_cast<unsigned char>(ext[0])) ? "R00" : "r00");
  if (ext.size() == 3 && std::isalpha(static_cast<unsigned char>(ext[0])) && IsDigit(ext[1]) && IsDigit(ext[2])) {
    int num = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
    char letter = ext[0];
    if (num == 100) {
      num = 0;
      if (letter == 'z' || letter == 'Z') return "";
      ++letter;
    }
    std::string out = name.substr(0, dot + 1);
    out += letter;
    out += static_cast<char>('0' + num / 10);
    out += static_cast<char>('0' + num % 10);
    return out;
  }
  return "";
}

std::string FirstVolumeName(const std::string& name) {
  const size_t base = BaseStart(name);
  size_t from = 0, to = 0;
  if (FindPartNumber(name, base, from, to)) {
    std::string out = name;
    out.replace(from, to - from, std::string(to - from - 1, '0') + "1");
    return out;
  }
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot >= base && name.size() - dot == 4) {
    const char* ext = name.c_str() + dot + 1;
    if ((ext[0] == 'r' || ext[0] == 's' || ext[0] == 'R' || ext[0] == 'S') && IsDigit(ext[1]) && IsDigit(ext[2]))
      return name.substr(0, dot + 1) + (std::isupper(static_cast<unsigned char>(ext[0])) ? "RAR" : "rar");
  }
  return name;
}

VolumeSet::VolumeSet(std::string first) { names_.push_back(std::move(first)); }

VolumeFile* VolumeSet::Get(size_t i, int& error) {
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (it->index == i) {
      if (it != open_.begin()) open_.splice(open_.begin(), open_, it);
      return open_.front().file.get();
    }
  }
  if (i >= names_.size()) {
    error = ERAR_EOPEN;
    return nullptr;
  }
  int sys = 0;
  auto f = VolumeFile::Open(names_[i], sys);
  if (!f) {
    error = ERAR_EOPEN;
    return nullptr;
  }
  open_.push_front({i, std::move(f)});
  if (open_.size() > kMaxOpen) open_.pop_back();
  return open_.front().file.get();
}

bool VolumeSet::Discover(int& error) {
  error = ERAR_EOPEN;
  std::string name = NextVolumeName(names_.back(), newNumbering);
  if (name.empty()) return false;
  for (int asked = 0;;) {
    int sys = 0;
    auto f = VolumeFile::Open(name, sys);
    if (f) {
      names_.push_back(name);
      open_.push_front({names_.size() - 1, std::move(f)});
      if (open_.size() > kMaxOpen) open_.pop_back();
      if (notify && !notify(name)) return false;
      return true;
    }
    // A handler that always answers "look again" must not hold us for ever.
    if (!ask || asked >= kAsksPerVolume || !ask(name) || name.empty()) return false;
    ++asked;
  }
}

bool VolumeSet::DiscoverIfPresent() {
  const std::string name = NextVolumeName(names_.back(), newNumbering);
  if (name.empty() || ::access(name.c_str(), R_OK) != 0) return false;
  int error = 0;
  AskFn none;
  std::swap(none, ask);
  const bool ok = Discover(error);
  std::swap(none, ask);
  return ok;
}

}  // namespace arkelin::engine::rar::archive
