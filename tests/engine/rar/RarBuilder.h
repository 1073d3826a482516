// Builds small RAR 5 archives in tests, header by header, from the format's
// published layout: stored files, folders, symbolic links, hard links and
// file copies, with any name, mode and time. No RAR writer is available to
// the tests, and stored entries are all the archive layer needs to be
// exercised on crafted trees (link chains, hostile names, huge offsets).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace rartest {

inline std::string Vint(uint64_t v) {
  std::string s;
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    if (v) b |= 0x80;
    s += static_cast<char>(b);
  } while (v);
  return s;
}

inline std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

inline uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// A header: CRC32, size, then the body (type, flags and the rest).
inline std::string Block(const std::string& body) {
  const std::string sized = Vint(body.size()) + body;
  return Le32(Crc(sized)) + sized;
}

struct Rar5Entry {
  std::string name;          // "/" separated
  std::string data;          // stored data
  bool directory = false;
  unsigned redirType = 0;    // 1 Unix symlink, 4 hard link, 5 file copy
  std::string redirTarget;
  uint32_t mode = 0100644;   // Unix st_mode
  uint32_t mtime = 1600000000;
  // A time record besides the header's whole seconds: Unix seconds with
  // nanoseconds (mtimeNanos >= 0), or a Windows time in 100 ns steps.
  int64_t mtimeNanos = -1;
  uint64_t windowsTime = 0;
  uint64_t declaredDataSize = UINT64_MAX;  // overrides the data size field (the data itself is not written)
  bool badCrc = false;
};

inline std::string FileHeader(const Rar5Entry& e) {
  std::string extra;
  if (e.redirType) {
    const std::string rec = Vint(5) + Vint(e.redirType) + Vint(0) + Vint(e.redirTarget.size()) + e.redirTarget;
    extra += Vint(rec.size()) + rec;
  }
  if (e.mtimeNanos >= 0) {
    const std::string rec = Vint(3) + Vint(0x01 | 0x02 | 0x10) + Le32(e.mtime) + Le32(static_cast<uint32_t>(e.mtimeNanos));
    extra += Vint(rec.size()) + rec;
  } else if (e.windowsTime) {
    const std::string rec = Vint(3) + Vint(0x02) + Le32(static_cast<uint32_t>(e.windowsTime)) +
                            Le32(static_cast<uint32_t>(e.windowsTime >> 32));
    extra += Vint(rec.size()) + rec;
  }
  const uint64_t dataSize = e.declaredDataSize != UINT64_MAX ? e.declaredDataSize : e.data.size();
  const uint64_t hflags = 0x0002 | (extra.empty() ? 0 : 0x0001);
  uint64_t fileFlags = 0x02 | 0x04 | (e.directory ? 0x01 : 0);
  const uint32_t crc = e.badCrc ? Crc(e.data) ^ 1 : Crc(e.data);
  const uint64_t unpSize = e.redirType == 1 ? e.redirTarget.size() : e.data.size();
  std::string body = Vint(2) + Vint(hflags);
  if (!extra.empty()) body += Vint(extra.size());
  body += Vint(e.redirType ? 0 : dataSize);
  body += Vint(fileFlags) + Vint(unpSize) + Vint(e.directory ? 040755 : e.mode) + Le32(e.mtime) + Le32(crc);
  body += Vint(0) /* stored, no solid, dictionary 128 KiB */ + Vint(1) /* Unix */ + Vint(e.name.size()) + e.name;
  body += extra;
  return Block(body);
}

inline std::string Signature() { return std::string("Rar!\x1a\x07\x01\x00", 8); }
inline std::string MainHeader(uint64_t archiveFlags = 0) { return Block(Vint(1) + Vint(0) + Vint(archiveFlags)); }
inline std::string EndHeader(bool moreVolumes = false) { return Block(Vint(5) + Vint(0) + Vint(moreVolumes ? 1 : 0)); }

inline std::string Archive(const std::vector<Rar5Entry>& entries) {
  std::string s = Signature() + MainHeader();
  for (const auto& e : entries) s += FileHeader(e) + (e.redirType || e.declaredDataSize != UINT64_MAX ? "" : e.data);
  return s + EndHeader();
}

inline void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace rartest
