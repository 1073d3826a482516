// libarkunrar.so: our own UnRAR-compatible library. It reads RAR 4 (RAR
// 2.9-4.x block format) and RAR 5 headers itself, following the published
// technical notes: names (including the RAR 4 compressed Unicode form), sizes,
// times, attributes, flags, CRCs, the archive comment when stored plain, and
// the volume chain (.partN.rar of any width, or .rar + .r00 ..; a missing
// volume is asked for through the change-volume callback). Every header
// is CRC-checked and must fit inside its volume before it is believed.
// Decompression alone is handed to libarchive, which is walked in step with
// our own entry list; entries we refuse are never read through libarchive,
// and we check the data CRC ourselves (libarchive does not for stored data).
// Not done here: encrypted data or headers (password codes instead), RAR 4
// solid archives past their first entry and RAR 1.5/2.x compression (the
// "unsupported" code; the system UnRAR library adds those), BLAKE2 checks.
// Extraction never writes outside the destination: absolute names and ".."
// are refused and an existing symbolic link is never followed.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/UnrarApi.h"

// Our own code for entries using what this library cannot decode.
#define ERAR_ARK_UNSUPPORTED 51

namespace {

namespace fs = std::filesystem;

struct Entry {
  std::string name;  // as stored, "\" separated, UTF-8
  std::string volume;
  unsigned int flags = 0;  // RHDF_*
  uint64_t packSize = 0, unpSize = 0;
  unsigned int hostOS = 0, crc = 0, dosTime = 0, unpVer = 0, method = 0, attr = 0;
  bool hasCrc = true, isDir = false, encrypted = false, unsupported = false, broken = false;
  bool poison = false;  // libarchive must never be walked past this entry
  unsigned int redirType = 0;
  int parts = 1;
};

struct Volume {
  std::vector<unsigned char> bytes;
  std::string name;
};

struct Arc {
  std::vector<std::string> volumes;
  std::vector<Entry> entries;
  size_t next = 0;
  bool listMode = true;
  std::string password;
  CHANGEVOLPROC vol = nullptr;
  PROCESSDATAPROC data = nullptr;
  UNRARCALLBACK cb = nullptr;
  RarLParam user = 0;
  std::string lastVolumeReported;
  struct archive* la = nullptr;
  bool laDead = false;
  std::string comment;
  unsigned int arcFlags = 0;
  std::string currentLink;  // link text of libarchive's current entry
  std::string pendingVolume;  // the next volume, when it was not found
};

bool ReadFile(const std::string& path, std::vector<unsigned char>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  f.seekg(0, std::ios::end);
  auto n = f.tellg();
  if (n < 0 || n > (1LL << 32)) return false;
  f.seekg(0);
  out.resize(static_cast<size_t>(n));
  f.read(reinterpret_cast<char*>(out.data()), n);
  return static_cast<bool>(f) || out.empty();
}

uint32_t Crc(const unsigned char* p, size_t n) { return static_cast<uint32_t>(crc32(0L, p, static_cast<uInt>(n))); }
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

const unsigned char kSig4[] = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x00};
const unsigned char kSig5[] = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x01, 0x00};

void AppendUtf8(std::string& s, uint32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || i + n >= s.size() + (n ? 0 : 1)) return false;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n + 1;
  }
  return true;
}

// RAR 4 Unicode names: the 8-bit name, a zero, then the compressed UTF-16.
std::string DecodeRar4Name(const unsigned char* p, size_t n, bool unicode) {
  size_t zero = 0;
  while (zero < n && p[zero]) ++zero;
  if (!unicode) {
    std::string raw(reinterpret_cast<const char*>(p), zero);
    if (ValidUtf8(raw)) return raw;
    std::string s;
    for (size_t i = 0; i < zero; ++i) AppendUtf8(s, p[i]);  // Latin-1 as a best guess
    return s;
  }
  if (zero == n) return std::string(reinterpret_cast<const char*>(p), n);  // plain UTF-8
  const unsigned char* enc = p + zero + 1;
  size_t encSize = n - zero - 1;
  std::vector<uint32_t> out;
  if (encSize == 0) return std::string(reinterpret_cast<const char*>(p), zero);
  size_t pos = 0;
  unsigned highByte = enc[pos++];
  unsigned flags = 0;
  int flagBits = 0;
  while (pos < encSize && out.size() < 4096) {
    if (flagBits == 0) {
      flags = enc[pos++];
      flagBits = 8;
    }
    flagBits -= 2;
    switch ((flags >> flagBits) & 3) {
      case 0:
        if (pos >= encSize) break;
        out.push_back(enc[pos++]);
        break;
      case 1:
        if (pos >= encSize) break;
        out.push_back(enc[pos++] + (highByte << 8));
        break;
      case 2:
        if (pos + 1 >= encSize) {
          pos = encSize;
          break;
        }
        out.push_back(enc[pos] + (enc[pos + 1] << 8));
        pos += 2;
        break;
      case 3: {
        if (pos >= encSize) break;
        unsigned len = enc[pos++];
        if (len & 0x80) {
          if (pos >= encSize) break;
          unsigned correction = enc[pos++];
          for (len = (len & 0x7f) + 2; len > 0 && out.size() < zero; --len)
            out.push_back(((p[out.size()] + correction) & 0xff) + (highByte << 8));
        } else {
          for (len += 2; len > 0 && out.size() < zero; --len) out.push_back(p[out.size()]);
        }
        break;
      }
    }
  }
  std::string s;
  for (size_t i = 0; i < out.size(); ++i) {
    uint32_t c = out[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (out[i + 1] - 0xDC00);
      ++i;
    }
    if (c == 0) break;
    AppendUtf8(s, c);
  }
  return s;
}

enum class Kind { None, Rar4, Rar5 };

Kind Detect(const std::vector<unsigned char>& b, size_t& start) {
  // Allow a self-extractor prefix: search the first megabyte for the marker.
  size_t limit = std::min<size_t>(b.size(), 1 << 20);
  for (size_t i = 0; i + 8 <= limit + 1 && i + 7 <= b.size(); ++i) {
    if (b[i] != 'R') continue;
    if (i + 8 <= b.size() && std::memcmp(&b[i], kSig5, 8) == 0) {
      start = i + 8;
      return Kind::Rar5;
    }
    if (std::memcmp(&b[i], kSig4, 7) == 0) {
      start = i + 7;
      return Kind::Rar4;
    }
  }
  return Kind::None;
}

bool Vint(const unsigned char* p, size_t end, size_t& pos, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 64 && pos < end; shift += 7) {
    unsigned char c = p[pos++];
    v |= static_cast<uint64_t>(c & 0x7f) << shift;
    if (!(c & 0x80)) return true;
  }
  return false;
}

struct ParseState {
  std::vector<Entry>* entries;
  std::string comment;
  unsigned int arcFlags = 0;
  bool moreVolumes = false;
  bool solid4 = false;
  bool seenSolidFirst = false;
  int error = 0;
};

// Adds a part of a split entry to the entry it continues.
void AddEntry(ParseState& st, Entry e, bool continued) {
  if (continued && !st.entries->empty()) {
    Entry& last = st.entries->back();
    if (last.name == e.name) {
      last.packSize += e.packSize;
      last.crc = e.crc;  // the last part holds the whole file's CRC
      last.flags = (last.flags & ~RHDF_SPLITAFTER) | (e.flags & RHDF_SPLITAFTER);
      last.parts++;
      return;
    }
  }
  st.entries->push_back(std::move(e));
}

int ParseRar4(const Volume& v, size_t pos, ParseState& st) {
  const auto& b = v.bytes;
  while (pos + 7 <= b.size()) {
    const unsigned char* h = &b[pos];
    uint16_t crc = U16(h);
    unsigned type = h[2];
    uint16_t flags = U16(h + 3);
    uint16_t size = U16(h + 5);
    if (size < 7 || pos + size > b.size()) return ERAR_BAD_DATA;
    uint64_t add = 0;
    if ((flags & 0x8000) && type != 0x73) {
      if (size < 11) return ERAR_BAD_DATA;
      add = U32(h + 7);
    }
    bool crcOk = (Crc(h + 2, size - 2) & 0xffff) == crc;
    if (type == 0x73) {
      // A comment inside the main header is the RAR 1.5-2.x layout.
      if (flags & 0x0002) return ERAR_ARK_UNSUPPORTED;
      if (!crcOk) return ERAR_BAD_DATA;
      st.arcFlags = flags;
      if (flags & 0x0080) return ERAR_MISSING_PASSWORD;  // encrypted headers
      if (flags & 0x0008) st.solid4 = true;
    } else if (type == 0x74) {
      if (!crcOk || size < 32) return ERAR_BAD_DATA;
      Entry e;
      e.volume = v.name;
      uint64_t pack = U32(h + 7), unp = U32(h + 11);
      e.hostOS = h[15];
      e.crc = U32(h + 16);
      e.dosTime = U32(h + 20);
      e.unpVer = h[24];
      e.method = h[25];
      uint16_t nameSize = U16(h + 26);
      e.attr = U32(h + 28);
      size_t at = 32;
      if (flags & 0x100) {
        if (size < 40) return ERAR_BAD_DATA;
        pack |= static_cast<uint64_t>(U32(h + 32)) << 32;
        unp |= static_cast<uint64_t>(U32(h + 36)) << 32;
        at = 40;
      }
      if (at + nameSize > size) return ERAR_BAD_DATA;
      e.name = DecodeRar4Name(h + at, nameSize, flags & 0x200);
      e.packSize = pack;
      e.unpSize = unp;
      e.flags = flags & 0x17;
      e.isDir = (flags & 0xE0) == 0xE0;
      if (e.isDir) e.flags |= RHDF_DIRECTORY;
      e.encrypted = flags & 0x04;
      if (e.hostOS == 3 && (e.attr & 0170000) == 0120000) e.redirType = 1;
      if (e.unpVer < 20 || e.unpVer > 36) e.unsupported = true;  // RAR 1.5/2.x packing or unknown
      if (e.unpVer < 29 && e.method != 0x30) e.unsupported = true;
      if (st.solid4 && !e.isDir) {
        if (st.seenSolidFirst && e.method != 0x30) e.unsupported = true;
        st.seenSolidFirst = true;
      }
      if (pos + size + pack > b.size()) e.broken = true;
      AddEntry(st, std::move(e), flags & 0x01);
      if (pos + size + pack > b.size()) return 0;
    } else if (type == 0x7a) {
      // Service block: an archive comment "CMT" stored plain is read.
      if (crcOk && size >= 32) {
        uint16_t nameSize = U16(h + 26);
        if (32 + nameSize <= size && nameSize == 3 && std::memcmp(h + 32, "CMT", 3) == 0 && h[25] == 0x30 &&
            pos + size + add <= b.size())
          st.comment.assign(reinterpret_cast<const char*>(&b[pos + size]), add);
      }
    } else if (type == 0x75) {
      if (size >= 13 && h[12] == 0x30) {
        uint16_t unp = U16(h + 7);
        if (13 + static_cast<size_t>(unp) <= size) st.comment.assign(reinterpret_cast<const char*>(h + 13), unp);
      }
    } else if (type == 0x7b) {
      st.moreVolumes = flags & 0x0001;
      return 0;
    }
    pos += size + add;
  }
  return 0;
}

int ParseRar5(const Volume& v, size_t pos, ParseState& st) {
  const auto& b = v.bytes;
  const unsigned char* p = b.data();
  while (pos + 5 <= b.size()) {
    uint32_t crc = U32(p + pos);
    size_t at = pos + 4;
    uint64_t hsize;
    if (!Vint(p, b.size(), at, hsize)) return ERAR_BAD_DATA;
    if (hsize == 0 || hsize > (2u << 20) || at + hsize > b.size()) return ERAR_BAD_DATA;
    if (Crc(p + pos + 4, at - pos - 4 + hsize) != crc) return ERAR_BAD_DATA;
    size_t end = at + hsize;
    uint64_t type, hflags, extra = 0, dataSize = 0;
    if (!Vint(p, end, at, type) || !Vint(p, end, at, hflags)) return ERAR_BAD_DATA;
    if ((hflags & 1) && !Vint(p, end, at, extra)) return ERAR_BAD_DATA;
    if ((hflags & 2) && !Vint(p, end, at, dataSize)) return ERAR_BAD_DATA;
    if (extra > end - at || dataSize > b.size() - end) return ERAR_BAD_DATA;
    size_t extraStart = end - extra;
    if (type == 1) {
      uint64_t af;
      if (!Vint(p, end, at, af)) return ERAR_BAD_DATA;
      st.arcFlags = static_cast<unsigned>(af);
    } else if (type == 4) {
      return ERAR_MISSING_PASSWORD;  // encrypted headers
    } else if (type == 2 || type == 3) {
      uint64_t fflags, unp, attr, comp, host, nameLen;
      uint32_t mtime = 0, fcrc = 0;
      if (!Vint(p, end, at, fflags) || !Vint(p, end, at, unp) || !Vint(p, end, at, attr)) return ERAR_BAD_DATA;
      if (fflags & 2) {
        if (at + 4 > end) return ERAR_BAD_DATA;
        mtime = U32(p + at);
        at += 4;
      }
      if (fflags & 4) {
        if (at + 4 > end) return ERAR_BAD_DATA;
        fcrc = U32(p + at);
        at += 4;
      }
      if (!Vint(p, end, at, comp) || !Vint(p, end, at, host) || !Vint(p, end, at, nameLen)) return ERAR_BAD_DATA;
      if (nameLen > extraStart - at) return ERAR_BAD_DATA;
      std::string name(reinterpret_cast<const char*>(p + at), nameLen);
      if (type == 3) {
        if (name == "CMT" && ((comp >> 7) & 7) == 0 && dataSize < (1u << 18))
          st.comment.assign(reinterpret_cast<const char*>(p + end), dataSize);
      } else {
        Entry e;
        e.volume = v.name;
        e.name = name;
        for (auto& c : e.name)
          if (c == '/') c = '\\';
        e.isDir = fflags & 1;
        e.hasCrc = fflags & 4;
        e.crc = fcrc;
        e.unpSize = unp;
        e.packSize = dataSize;
        e.attr = static_cast<unsigned>(attr);
        e.hostOS = host == 0 ? 2 : 3;
        e.unpVer = 50;
        e.method = 0x30 + static_cast<unsigned>((comp >> 7) & 7);
        if (mtime) {
          time_t t = mtime;
          struct tm tmv;
          localtime_r(&t, &tmv);
          e.dosTime = ((tmv.tm_year - 80) << 25) | ((tmv.tm_mon + 1) << 21) | (tmv.tm_mday << 16) |
                      (tmv.tm_hour << 11) | (tmv.tm_min << 5) | (tmv.tm_sec / 2);
        }
        if (hflags & 8) e.flags |= RHDF_SPLITBEFORE;
        if (hflags & 0x10) e.flags |= RHDF_SPLITAFTER;
        if (comp & 0x40) e.flags |= RHDF_SOLID;
        if (e.isDir) e.flags |= RHDF_DIRECTORY;
        // A directory that declares data does not add up; libarchive 3.6
        // loops forever on it, so it must never see it.
        if (e.isDir && dataSize > 0) e.broken = e.poison = true;
        size_t x = extraStart;
        while (x < end) {
          uint64_t rsize, rtype;
          size_t r0 = x;
          if (!Vint(p, end, x, rsize)) return ERAR_BAD_DATA;
          size_t rstart = x;
          if (rsize > end - x) return ERAR_BAD_DATA;
          if (!Vint(p, end, x, rtype)) return ERAR_BAD_DATA;
          if (rtype == 1) {
            e.encrypted = true;
            e.flags |= RHDF_ENCRYPTED;
          }
          if (rtype == 5) {
            uint64_t rt;
            if (Vint(p, end, x, rt)) e.redirType = static_cast<unsigned>(rt);
          }
          x = rstart + rsize;
          (void)r0;
        }
        AddEntry(st, std::move(e), hflags & 8);
      }
    } else if (type == 5) {
      uint64_t ef = 0;
      Vint(p, end, at, ef);
      st.moreVolumes = ef & 1;
      return 0;
    }
    pos = end + dataSize;
  }
  return 0;
}

// The volume after `name`, or empty when the name does not follow a scheme.
std::string NextVolume(const std::string& name, bool newNumbering) {
  std::string n = name;
  size_t dot = n.rfind('.');
  if (dot == std::string::npos) return "";
  std::string ext = n.substr(dot + 1);
  if (newNumbering) {
    size_t e = dot;
    size_t s = e;
    while (s > 0 && isdigit(static_cast<unsigned char>(n[s - 1]))) --s;
    if (s == e) return "";
    size_t i = e;
    while (i > s) {
      --i;
      if (n[i] == '9') {
        n[i] = '0';
      } else {
        ++n[i];
        return n;
      }
    }
    n.insert(s, "1");
    return n;
  }
  if (ext.size() == 3 && (ext == "rar" || ext == "RAR" || ext == "exe")) return n.substr(0, dot + 1) + "r00";
  if (ext.size() == 3 && isdigit(static_cast<unsigned char>(ext[1])) && isdigit(static_cast<unsigned char>(ext[2]))) {
    int num = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
    char letter = ext[0];
    if (num == 100) {
      num = 0;
      ++letter;
    }
    char buf[4];
    std::snprintf(buf, sizeof buf, "%c%02d", letter, num);
    return n.substr(0, dot + 1) + buf;
  }
  return "";
}

// The first volume of the set `name` belongs to (opening from any part).
std::string FirstVolume(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  std::string ext = name.substr(dot + 1);
  if (ext.size() == 3 && (ext[0] == 'r' || ext[0] == 's') && isdigit(static_cast<unsigned char>(ext[1]))) {
    std::string first = name.substr(0, dot + 1) + "rar";
    if (fs::exists(first)) return first;
    return name;
  }
  size_t part = name.rfind(".part");
  if (part != std::string::npos && part < dot) {
    size_t s = part + 5, e = s;
    while (e < dot && isdigit(static_cast<unsigned char>(name[e]))) ++e;
    if (e == dot && e > s) {
      std::string first = name.substr(0, s) + std::string(e - s - 1, '0') + "1" + name.substr(e);
      if (fs::exists(first)) return first;
    }
  }
  return name;
}

// Reads volumes from `name` on while they say another one follows. A next
// volume that is not there is remembered, to be asked for when the entries
// read so far run out. `first` is the volume the caller opened.
int ReadChain(Arc& a, std::string name, bool first) {
  ParseState st;
  st.entries = &a.entries;
  st.arcFlags = a.arcFlags;
  st.solid4 = a.arcFlags & 0x0008;
  st.seenSolidFirst = !a.entries.empty();
  a.pendingVolume.clear();
  for (int n = 0; n < 10000 && !name.empty(); ++n) {
    Volume v;
    v.name = name;
    bool opening = first && n == 0;
    if (!ReadFile(name, v.bytes)) return ERAR_EOPEN;
    size_t start = 0;
    Kind k = Detect(v.bytes, start);
    if (k == Kind::None) return opening ? ERAR_BAD_ARCHIVE : ERAR_EOPEN;
    st.moreVolumes = false;
    int r = k == Kind::Rar4 ? ParseRar4(v, start, st) : ParseRar5(v, start, st);
    if (r != 0 && opening) return r;
    if (r != 0) break;  // a damaged later volume ends the entries there
    a.volumes.push_back(name);
    if (opening) {
      a.arcFlags = st.arcFlags;
      a.comment = st.comment;
    }
    if (!(st.arcFlags & 0x0001) || !st.moreVolumes) break;
    bool newNumbering = k == Kind::Rar5 || (st.arcFlags & 0x0010);
    name = NextVolume(name, newNumbering);
    if (!name.empty() && !fs::exists(name)) {
      a.pendingVolume = name;
      break;
    }
  }
  return 0;
}

int OpenChain(Arc& a, const std::string& given) { return ReadChain(a, FirstVolume(given), true); }

std::string Normalize(std::string s) {
  for (auto& c : s)
    if (c == '\\') c = '/';
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

// Refuses names that would leave the destination.
bool SafeRelative(const std::string& name, std::string& rel) {
  rel = Normalize(name);
  if (rel.empty() || rel[0] == '/' || (rel.size() > 1 && rel[1] == ':')) return false;
  size_t s = 0;
  while (s <= rel.size()) {
    size_t e = rel.find('/', s);
    if (e == std::string::npos) e = rel.size();
    std::string part = rel.substr(s, e - s);
    if (part == ".." || part.empty()) return false;
    s = e + 1;
  }
  return true;
}

bool OpenLibarchive(Arc& a) {
  if (a.la || a.laDead) return a.la != nullptr;
  a.la = archive_read_new();
  archive_read_support_format_rar(a.la);
  archive_read_support_format_rar5(a.la);
  std::vector<const char*> names;
  for (auto& v : a.volumes) names.push_back(v.c_str());
  names.push_back(nullptr);
  if (archive_read_open_filenames(a.la, names.data(), 1 << 16) != ARCHIVE_OK) {
    archive_read_free(a.la);
    a.la = nullptr;
    a.laDead = true;
  }
  return a.la != nullptr;
}

// Moves libarchive to the entry called `name`; false when it cannot.
bool SeekLibarchive(Arc& a, const std::string& name) {
  if (!OpenLibarchive(a)) return false;
  std::string want = Normalize(name);
  for (int guard = 0; guard < 100000; ++guard) {
    struct archive_entry* ae;
    int r = archive_read_next_header(a.la, &ae);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      a.laDead = true;
      return false;
    }
    const char* pn = archive_entry_pathname_utf8(ae);
    if (!pn) pn = archive_entry_pathname(ae);
    if (pn && Normalize(pn) == want) {
      const char* l = archive_entry_symlink_utf8(ae);
      if (!l) l = archive_entry_symlink(ae);
      a.currentLink = l ? l : "";
      return true;
    }
    archive_read_data_skip(a.la);
  }
  return false;
}

// Symbolic links are made only when their text is relative and, read from
// the link's own folder, stays inside the destination; hard links and file
// copies are not made by this library.
int Link(Arc& a, const Entry& e, int op, const std::string& target, const char* destPath) {
  if (e.redirType != 1 && e.redirType != 2) return ERAR_ARK_UNSUPPORTED;
  if (!SeekLibarchive(a, e.name)) return ERAR_ARK_UNSUPPORTED;
  struct archive_entry* ae = nullptr;
  (void)ae;
  const char* text = nullptr;
  // SeekLibarchive leaves the entry current; libarchive keeps its fields.
  text = a.currentLink.empty() ? nullptr : a.currentLink.c_str();
  if (!text) return ERAR_BAD_DATA;
  std::string link = Normalize(text);
  if (op != RAR_EXTRACT) return 0;
  if (link.empty() || link[0] == '/' || (link.size() > 1 && link[1] == ':')) return ERAR_ECREATE;
  fs::path base = destPath && *destPath ? fs::path(destPath) : fs::current_path();
  std::string rel;
  if (!SafeRelative(e.name, rel)) return ERAR_ECREATE;
  fs::path resolved = (fs::path(rel).parent_path() / link).lexically_normal();
  if (resolved.empty() || *resolved.begin() == "..") return ERAR_ECREATE;
  std::error_code ec;
  fs::remove(target, ec);
  fs::create_symlink(link, target, ec);
  (void)base;
  return ec ? ERAR_ECREATE : 0;
}

int Process(Arc& a, int op, const char* destPath, const char* destName) {
  if (a.next >= a.entries.size()) return ERAR_END_ARCHIVE;
  Entry& e = a.entries[a.next++];
  if (a.listMode || op == RAR_SKIP) return 0;
  if (e.broken) return ERAR_BAD_DATA;
  if (e.encrypted) return a.password.empty() ? ERAR_MISSING_PASSWORD : ERAR_ARK_UNSUPPORTED;
  if (e.unsupported) return ERAR_ARK_UNSUPPORTED;

  std::string target;
  if (op == RAR_EXTRACT) {
    std::string rel;
    if (destName) {
      target = destName;
    } else {
      if (!SafeRelative(e.name, rel)) return ERAR_ECREATE;
      fs::path base = destPath && *destPath ? fs::path(destPath) : fs::current_path();
      // Never pass through a symbolic link on the way down.
      fs::path cur = base;
      fs::path relp(rel);
      for (auto it = relp.begin(); it != relp.end(); ++it) {
        cur /= *it;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(cur, ec))) return ERAR_ECREATE;
      }
      target = (base / relp).string();
    }
    if (e.isDir) {
      std::error_code ec;
      fs::create_directories(target, ec);
      return ec ? ERAR_ECREATE : 0;
    }
    std::error_code ec;
    fs::create_directories(fs::path(target).parent_path(), ec);
  } else if (e.isDir) {
    return 0;
  }
  for (size_t i = 0; i + 1 < a.next; ++i)
    if (a.entries[i].poison) return ERAR_BAD_DATA;  // libarchive would have to read past it
  if (e.redirType != 0) return Link(a, e, op, target, destPath);
  if (!SeekLibarchive(a, e.name)) return ERAR_ARK_UNSUPPORTED;
  int fd = -1;
  if (op == RAR_EXTRACT) {
    fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    if (fd < 0) return ERAR_ECREATE;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t total = 0;
  std::vector<unsigned char> buf(1 << 16);
  int result = 0;
  for (;;) {
    la_ssize_t n = archive_read_data(a.la, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      const char* msg = archive_error_string(a.la);
      result = (msg && std::strstr(msg, "unsupported")) ? ERAR_ARK_UNSUPPORTED : ERAR_BAD_DATA;
      a.laDead = true;
      archive_read_free(a.la);
      a.la = nullptr;
      break;
    }
    crc = crc32(crc, buf.data(), static_cast<uInt>(n));
    total += static_cast<uint64_t>(n);
    if (fd >= 0 && write(fd, buf.data(), static_cast<size_t>(n)) != n) {
      result = ERAR_EWRITE;
      break;
    }
    int cont = 1;
    if (a.cb) cont = a.cb(UCM_PROCESSDATA, a.user, reinterpret_cast<RarLParam>(buf.data()), n) == -1 ? 0 : 1;
    if (a.data) cont = a.data(buf.data(), static_cast<int>(n));
    if (!cont) {
      result = ERAR_UNKNOWN;
      break;
    }
  }
  if (fd >= 0 && close(fd) != 0 && result == 0) result = ERAR_ECLOSE;
  if (result == 0 && e.hasCrc && (static_cast<uint32_t>(crc) != e.crc || total != e.unpSize)) result = ERAR_BAD_DATA;
  return result;
}

void FillHeader(Arc& a, const Entry& e, RARHeaderDataEx* hd) {
  std::snprintf(hd->ArcName, sizeof hd->ArcName, "%s", e.volume.c_str());
  std::snprintf(hd->FileName, sizeof hd->FileName, "%s", e.name.c_str());
  std::mbstowcs(hd->FileNameW, e.name.c_str(), 1023);
  std::mbstowcs(hd->ArcNameW, e.volume.c_str(), 1023);
  hd->Flags = e.flags;
  hd->PackSize = static_cast<unsigned>(e.packSize);
  hd->PackSizeHigh = static_cast<unsigned>(e.packSize >> 32);
  hd->UnpSize = static_cast<unsigned>(e.unpSize);
  hd->UnpSizeHigh = static_cast<unsigned>(e.unpSize >> 32);
  hd->HostOS = e.hostOS;
  hd->FileCRC = e.crc;
  hd->FileTime = e.dosTime;
  hd->UnpVer = e.unpVer;
  hd->Method = e.method;
  hd->FileAttr = e.attr;
  hd->HashType = e.hasCrc ? RAR_HASH_CRC32 : RAR_HASH_NONE;
  hd->RedirType = e.redirType;
  hd->DirTarget = 0;
  (void)a;
}

// Asks for a missing volume through the callbacks; the answer may name
// another file. Zero (or -1 from the callback) gives up.
bool AskForVolume(Arc& a) {
  std::vector<char> vb(a.pendingVolume.begin(), a.pendingVolume.end());
  vb.resize(1025, 0);
  int go = 0;
  if (a.cb) go = a.cb(UCM_CHANGEVOLUME, a.user, reinterpret_cast<RarLParam>(vb.data()), RAR_VOL_ASK) == 1;
  if (a.vol) go = a.vol(vb.data(), RAR_VOL_ASK) != 0;
  vb[1024] = 0;
  if (!go) return false;
  std::string name(vb.data());
  if (name.empty() || !fs::exists(name)) return false;
  return ReadChain(a, name, false) == 0;
}

int ReadHeaderEx(Arc& a, RARHeaderDataEx* hd) {
  if (a.next >= a.entries.size() && !a.pendingVolume.empty()) {
    if (!AskForVolume(a)) {
      a.pendingVolume.clear();
      return ERAR_EOPEN;
    }
  }
  if (a.next >= a.entries.size()) return ERAR_END_ARCHIVE;
  const Entry& e = a.entries[a.next];
  if (e.volume != a.lastVolumeReported) {
    if (!a.lastVolumeReported.empty()) {
      std::string v = e.volume;
      std::vector<char> vb(v.begin(), v.end());
      vb.resize(1024, 0);
      int go = 1;
      if (a.cb) go = a.cb(UCM_CHANGEVOLUME, a.user, reinterpret_cast<RarLParam>(vb.data()), RAR_VOL_NOTIFY) == -1 ? 0 : 1;
      if (go && a.vol) go = a.vol(vb.data(), RAR_VOL_NOTIFY);
      if (!go) return ERAR_EOPEN;
    }
    a.lastVolumeReported = e.volume;
  }
  FillHeader(a, e, hd);
  return 0;
}

Arc* OpenCommon(const char* name, unsigned mode, unsigned& result, char* cmtBuf, unsigned cmtBufSize,
                unsigned& cmtSize, unsigned& cmtState) {
  auto a = std::make_unique<Arc>();
  a->listMode = mode != RAR_OM_EXTRACT;
  result = name ? OpenChain(*a, name) : ERAR_EOPEN;
  cmtSize = 0;
  cmtState = 0;
  if (result != 0) return nullptr;
  if (cmtBuf && cmtBufSize > 0 && !a->comment.empty()) {
    size_t n = std::min<size_t>(a->comment.size(), cmtBufSize - 1);
    std::memcpy(cmtBuf, a->comment.data(), n);
    cmtBuf[n] = 0;
    cmtSize = static_cast<unsigned>(n);
    cmtState = n < a->comment.size() ? ERAR_SMALL_BUF : 1;
  }
  return a.release();
}

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT RarHandle RAROpenArchive(RAROpenArchiveData* d) {
  if (!d) return nullptr;
  Arc* a = OpenCommon(d->ArcName, d->OpenMode, d->OpenResult, d->CmtBuf, d->CmtBufSize, d->CmtSize, d->CmtState);
  return a;
}

EXPORT RarHandle RAROpenArchiveEx(RAROpenArchiveDataEx* d) {
  if (!d) return nullptr;
  std::string name;
  if (d->ArcName) {
    name = d->ArcName;
  } else if (d->ArcNameW) {
    std::vector<char> b(4096);
    size_t n = std::wcstombs(b.data(), d->ArcNameW, b.size() - 1);
    if (n != static_cast<size_t>(-1)) name.assign(b.data(), n);
  }
  Arc* a = OpenCommon(name.c_str(), d->OpenMode, d->OpenResult, d->CmtBuf, d->CmtBufSize, d->CmtSize, d->CmtState);
  if (a) {
    a->cb = d->Callback;
    a->user = d->UserData;
    d->Flags = 0;
    if (a->volumes.size() > 1 || (a->arcFlags & 1)) d->Flags |= ROADF_VOLUME;
    if (!a->comment.empty()) d->Flags |= ROADF_COMMENT;
  }
  return a;
}

EXPORT int RARCloseArchive(RarHandle h) {
  auto* a = static_cast<Arc*>(h);
  if (!a) return ERAR_ECLOSE;
  if (a->la) archive_read_free(a->la);
  delete a;
  return 0;
}

EXPORT int RARReadHeaderEx(RarHandle h, RARHeaderDataEx* hd) {
  if (!h || !hd) return ERAR_UNKNOWN;
  std::memset(hd, 0, sizeof *hd);
  return ReadHeaderEx(*static_cast<Arc*>(h), hd);
}

EXPORT int RARReadHeader(RarHandle h, RARHeaderData* hd) {
  if (!h || !hd) return ERAR_UNKNOWN;
  auto ex = std::make_unique<RARHeaderDataEx>();
  std::memset(ex.get(), 0, sizeof *ex);
  int r = ReadHeaderEx(*static_cast<Arc*>(h), ex.get());
  std::memset(hd, 0, sizeof *hd);
  if (r != 0) return r;
  std::snprintf(hd->ArcName, sizeof hd->ArcName, "%s", ex->ArcName);
  std::snprintf(hd->FileName, sizeof hd->FileName, "%s", ex->FileName);
  hd->Flags = ex->Flags;
  hd->PackSize = ex->PackSize;
  hd->UnpSize = ex->UnpSize;
  hd->HostOS = ex->HostOS;
  hd->FileCRC = ex->FileCRC;
  hd->FileTime = ex->FileTime;
  hd->UnpVer = ex->UnpVer;
  hd->Method = ex->Method;
  hd->FileAttr = ex->FileAttr;
  return 0;
}

EXPORT int RARProcessFile(RarHandle h, int op, char* destPath, char* destName) {
  if (!h) return ERAR_UNKNOWN;
  try {
    return Process(*static_cast<Arc*>(h), op, destPath, destName);
  } catch (...) {
    return ERAR_UNKNOWN;
  }
}

EXPORT void RARSetCallback(RarHandle h, UNRARCALLBACK cb, RarLParam user) {
  if (!h) return;
  static_cast<Arc*>(h)->cb = cb;
  static_cast<Arc*>(h)->user = user;
}
EXPORT void RARSetChangeVolProc(RarHandle h, CHANGEVOLPROC p) {
  if (h) static_cast<Arc*>(h)->vol = p;
}
EXPORT void RARSetProcessDataProc(RarHandle h, PROCESSDATAPROC p) {
  if (h) static_cast<Arc*>(h)->data = p;
}
EXPORT void RARSetPassword(RarHandle h, char* pw) {
  if (h) static_cast<Arc*>(h)->password = pw ? pw : "";
}
EXPORT int RARGetDllVersion() { return 8; }
