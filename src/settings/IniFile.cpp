#include "settings/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/Paths.h"

namespace arkelin::settings {

namespace detail {

// The file as lines, without their line ends. The byte-order mark of a
// UTF-8 file is kept on the first line's "bom" so that it is written back.
struct IniText {
  std::vector<std::string> lines;
  std::string bom;
  bool crlf = false;      // the file used "\r\n"
  bool finalEol = true;   // the last line had a line end
};

}  // namespace detail

namespace {

using detail::IniText;

IniText Load(const std::string& fileName) {
  IniText t;
  std::ifstream in(platform::ToFsPath(fileName), std::ios::binary);
  if (!in) return t;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return t;   // unreadable (a folder of that name, an I/O error)
  std::string all = ss.str();
  if (all.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    t.bom = all.substr(0, 3);
    all.erase(0, 3);
  }
  std::string cur;
  bool sawLine = false;
  for (char c : all) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') {
        cur.pop_back();
        if (!sawLine) t.crlf = true;
      }
      sawLine = true;
      t.lines.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  t.finalEol = cur.empty();
  if (!cur.empty()) t.lines.push_back(std::move(cur));
  return t;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\f\v");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\f\v");
  return s.substr(b, e - b + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// "[name]" -> true and name. Anything after the closing bracket is ignored,
// so "[MISC] ; comment" is still the MISC section.
bool IsSection(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  const auto close = t.find(']');
  if (close == std::string::npos) return false;
  if (name) *name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" -> true, key and value (both trimmed). Comment lines
// (";" or "#") and lines without "=" are not keys.
bool IsKey(const std::string& line, std::string* key, std::string* value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
  const auto eq = t.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  if (key) *key = Trim(t.substr(0, eq));
  if (value) *value = Trim(t.substr(eq + 1));
  return !Trim(t.substr(0, eq)).empty();
}

// Index range [begin, end) of the lines of the first section of that name
// (the header line itself at begin - 1); false when absent.
bool FindSection(const IniText& t, const std::string& section, std::size_t* begin,
                 std::size_t* end) {
  for (std::size_t i = 0; i < t.lines.size(); ++i) {
    std::string name;
    if (!IsSection(t.lines[i], &name) || !SameText(name, section)) continue;
    std::size_t j = i + 1;
    while (j < t.lines.size() && !IsSection(t.lines[j], nullptr)) ++j;
    *begin = i + 1;
    *end = j;
    return true;
  }
  return false;
}

// Line index of the key inside the section, or npos.
std::size_t FindKey(const IniText& t, std::size_t begin, std::size_t end, const std::string& key) {
  for (std::size_t i = begin; i < end; ++i) {
    std::string k;
    if (IsKey(t.lines[i], &k, nullptr) && SameText(k, key)) return i;
  }
  return std::string::npos;
}

bool Lookup(const IniText& t, const std::string& section, const std::string& key,
            std::string* value) {
  std::size_t b = 0, e = 0;
  if (!FindSection(t, section, &b, &e)) return false;
  const std::size_t i = FindKey(t, b, e, key);
  if (i == std::string::npos) return false;
  IsKey(t.lines[i], nullptr, value);
  return true;
}

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& s, std::size_t max) {
  if (s.size() <= max) return s;
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Values go on one line: line breaks become blanks, and leading or trailing
// blanks (which a read would drop) are dropped now, so what is read back is
// what was written.
std::string OneLine(const std::string& v) {
  std::string out = v;
  for (char& c : out)
    if (c == '\n' || c == '\r' || c == '\0') c = ' ';
  return Trim(out);
}

std::atomic<uint64_t> g_filesWritten{0};

void Store(const std::string& fileName, const IniText& t) {
  const std::string eol = t.crlf ? "\r\n" : "\n";
  std::string out = t.bom;
  for (std::size_t i = 0; i < t.lines.size(); ++i) {
    out += t.lines[i];
    if (i + 1 < t.lines.size() || t.finalEol) out += eol;
  }
  ReplaceTextFile(fileName, out);
  ++g_filesWritten;
}

}  // namespace

void ReplaceTextFile(const std::string& fileName, const std::string& out) {
  std::filesystem::path target = platform::ToFsPath(fileName);
  // A settings file that is a link to another file stays a link: the file it
  // points to is the one replaced.
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path real = std::filesystem::canonical(target, ec);
    if (!ec) target = real;
  }
  // A file that exists but may not be written stays as it is.
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && (S_ISDIR(st.st_mode) || ::access(target.c_str(), W_OK) != 0))
    throw EIniWriteError(fileName);

  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string tmpl = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) throw EIniWriteError(fileName);
  bool ok = true;
  const char* p = out.data();
  std::size_t left = out.size();
  while (ok && left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  // Keep the old file's permissions; a new file gets the usual 0644 less umask.
  if (ok) {
    mode_t mode = 0;
    if (exists) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0644 & ~mask;
    }
    ::fchmod(fd, mode);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmpl.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmpl.c_str());
    throw EIniWriteError(fileName);
  }
  // The rename is in the folder's data; a folder that cannot be synced (some
  // network file systems) has still been written.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

struct TIniFile::Pending {
  IniText text;
  int depth = 0;
};

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
TIniFile::~TIniFile() = default;
TIniFile::TIniFile(TIniFile&&) noexcept = default;
TIniFile& TIniFile::operator=(TIniFile&&) noexcept = default;

IniText TIniFile::Current() const { return pending_ ? pending_->text : Load(fileName_); }

void TIniFile::Replace(IniText&& t) {
  if (pending_)
    pending_->text = std::move(t);
  else
    Store(fileName_, t);
}

void TIniFile::BeginUpdate() {
  if (!pending_) {
    pending_ = std::make_unique<Pending>();
    pending_->text = Load(fileName_);
  }
  ++pending_->depth;
}

void TIniFile::EndUpdate() {
  if (!pending_) return;
  if (--pending_->depth > 0) return;
  const std::unique_ptr<Pending> done = std::move(pending_);
  Store(fileName_, done->text);
}

void TIniFile::CancelUpdate() { pending_.reset(); }

uint64_t TIniFile::FilesWritten() { return g_filesWritten.load(); }

EIniWriteError::EIniWriteError(const std::string& fileName)
    : std::runtime_error("Unable to write to " + fileName), fileName_(fileName) {}

int32_t TIniFile::ParseInteger(const std::string& text, int32_t def) {
  const std::string s = Trim(text);
  if (s.empty()) return def;
  std::size_t i = 0;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') {
    neg = s[i] == '-';
    ++i;
  }
  const bool hex = s.size() > i + 1 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
  if (hex) i += 2;
  if (i >= s.size()) return def;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return def;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return def;
  }
  if (hex) {
    // Hexadecimal is a 32-bit pattern: 0x80000005 is the system colour value.
    const auto bits = static_cast<uint32_t>(v);
    int32_t r = static_cast<int32_t>(bits);
    return neg ? static_cast<int32_t>(0u - bits) : r;
  }
  if (neg) {
    if (v > 2147483648ull) return def;
    return static_cast<int32_t>(-static_cast<int64_t>(v));
  }
  if (v > 2147483647ull) return def;
  return static_cast<int32_t>(v);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  std::string v;
  if (!Lookup(Current(), section, key, &v)) return CutUtf8(def, kMaxValue);
  return CutUtf8(v, kMaxValue);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
  std::string v;
  if (!Lookup(Current(), section, key, &v)) return def;
  return ParseInteger(CutUtf8(v, kMaxValue), def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Lookup(Current(), section, key, nullptr);
}

bool TIniFile::SectionExists(const std::string& section) const {
  const IniText t = Current();
  std::size_t b = 0, e = 0;
  return FindSection(t, section, &b, &e);
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  const IniText t = Current();
  std::size_t b = 0, e = 0;
  if (!FindSection(t, section, &b, &e)) return keys;
  for (std::size_t i = b; i < e; ++i) {
    std::string k;
    if (!IsKey(t.lines[i], &k, nullptr)) continue;
    bool seen = false;
    for (const std::string& have : keys) seen = seen || SameText(have, k);
    if (!seen) keys.push_back(k);
  }
  return keys;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  IniText t = Current();
  const std::string line = key + "=" + OneLine(value);
  std::size_t b = 0, e = 0;
  if (FindSection(t, section, &b, &e)) {
    const std::size_t i = FindKey(t, b, e, key);
    if (i != std::string::npos) {
      t.lines[i] = line;
    } else {
      // After the section's last non-blank line, before any blank lines.
      std::size_t at = e;
      while (at > b && Trim(t.lines[at - 1]).empty()) --at;
      t.lines.insert(t.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    }
  } else {
    t.lines.push_back("[" + section + "]");
    t.lines.push_back(line);
    t.finalEol = true;
  }
  Replace(std::move(t));
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  IniText t = Current();
  std::size_t b = 0, e = 0;
  if (!FindSection(t, section, &b, &e)) return;
  const std::size_t i = FindKey(t, b, e, key);
  if (i == std::string::npos) return;
  t.lines.erase(t.lines.begin() + static_cast<std::ptrdiff_t>(i));
  Replace(std::move(t));
}

void TIniFile::EraseSection(const std::string& section) {
  IniText t = Current();
  std::size_t b = 0, e = 0;
  if (!FindSection(t, section, &b, &e)) return;
  t.lines.erase(t.lines.begin() + static_cast<std::ptrdiff_t>(b - 1),
                t.lines.begin() + static_cast<std::ptrdiff_t>(e));
  Replace(std::move(t));
}

}  // namespace arkelin::settings
