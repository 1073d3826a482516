// Minimal header walk for the decoder tests (see FixtureEntries.h).
#include "FixtureEntries.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace arkelin::engine::rar::unpack::test {
namespace {

const uint8_t kSig4[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t kSig5[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};

uint32_t Le(const std::vector<uint8_t>& d, size_t at, unsigned n) {
  uint32_t v = 0;
  for (unsigned i = 0; i < n; ++i) v |= static_cast<uint32_t>(d[at + i]) << (8 * i);
  return v;
}

bool Vint(const std::vector<uint8_t>& d, size_t& at, size_t end, uint64_t& out) {
  out = 0;
  for (unsigned shift = 0; shift < 70 && at < end; shift += 7) {
    const uint8_t b = d[at++];
    out |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

Format Rar4Format(int unpVer) {
  if (unpVer < 20) return Format::Rar15;
  if (unpVer < 29) return Format::Rar20;
  return Format::Rar29;
}

// Appends the entries of one RAR 4 volume; `last` is the entry a split part
// continues.
bool Walk4(const std::vector<uint8_t>& d, size_t pos, std::vector<FixtureEntry>& out, std::string& error) {
  bool solidArchive = false;
  bool first = true;
  while (pos + 7 <= d.size()) {
    const uint8_t type = d[pos + 2];
    const uint32_t flags = Le(d, pos + 3, 2);
    const uint32_t headSize = Le(d, pos + 5, 2);
    if (headSize < 7 || pos + headSize > d.size()) break;
    uint64_t dataSize = 0;
    if (type == 0x73) {
      solidArchive = (flags & 0x0008) != 0;
      if ((flags & 0x0002) != 0 && headSize >= 13 + 13 && d[pos + 13 + 2] == 0x75) {
        const size_t c = pos + 13;
        const size_t cSize = Le(d, c + 5, 2);
        if (cSize >= 13 && c + cSize <= pos + headSize) {
          FixtureEntry e;
          e.name = "<comment>";
          e.unpackedSize = Le(d, c + 7, 2);
          e.unpackVersion = d[c + 9];
          e.format = Rar4Format(e.unpackVersion);
          e.stored = d[c + 10] == 0x30;
          e.hasCrc = e.crc16 = true;
          e.crc = Le(d, c + 11, 2);
          e.packed.assign(d.begin() + c + 13, d.begin() + c + cSize);
          out.push_back(std::move(e));
        }
      }
      if ((flags & 0x0080) != 0) {
        error = "encrypted headers";
        return false;
      }
    } else if (type == 0x74 || type == 0x7A) {
      if (headSize < 32) break;
      dataSize = Le(d, pos + 7, 4);
      uint64_t unp = Le(d, pos + 11, 4);
      size_t nameAt = pos + 32;
      if ((flags & 0x0100) != 0) {
        dataSize |= static_cast<uint64_t>(Le(d, pos + 32, 4)) << 32;
        unp |= static_cast<uint64_t>(Le(d, pos + 36, 4)) << 32;
        nameAt += 8;
      }
      const size_t nameLen = Le(d, pos + 26, 2);
      if (type == 0x74 && nameAt + nameLen <= d.size()) {
        const size_t dataAt = pos + headSize;
        const bool cut = dataAt + dataSize > d.size();
        if (cut) dataSize = d.size() - dataAt;
        if ((flags & 0x0001) != 0 && !out.empty()) {
          FixtureEntry& e = out.back();
          e.packed.insert(e.packed.end(), d.begin() + dataAt, d.begin() + dataAt + dataSize);
          e.crc = Le(d, pos + 16, 4);
        } else {
          FixtureEntry e;
          std::string name(reinterpret_cast<const char*>(d.data() + nameAt), nameLen);
          if (const size_t z = name.find('\0'); z != std::string::npos) name.resize(z);
          e.name = name;
          e.unpackVersion = d[pos + 24];
          e.format = Rar4Format(e.unpackVersion);
          e.stored = d[pos + 25] == 0x30;
          e.directory = (flags & 0x00E0) == 0x00E0;
          e.encrypted = (flags & 0x0004) != 0;
          e.solid = e.unpackVersion < 20 ? (solidArchive && !first) : (flags & 0x0010) != 0;
          e.hasCrc = true;
          e.crc = Le(d, pos + 16, 4);
          e.unpackedSize = unp;
          e.packed.assign(d.begin() + dataAt, d.begin() + dataAt + dataSize);
          e.truncated = cut;
          out.push_back(std::move(e));
          if (!out.back().directory) first = false;
        }
      }
    } else if (type == 0x7B) {
      break;
    } else if ((flags & 0x8000) != 0 && pos + 11 <= d.size()) {
      dataSize = Le(d, pos + 7, 4);
    }
    pos += headSize + dataSize;
  }
  return true;
}

bool Walk5(const std::vector<uint8_t>& d, size_t pos, std::vector<FixtureEntry>& out, std::string& error) {
  while (pos + 6 <= d.size()) {
    size_t at = pos + 4;
    uint64_t headSize;
    if (!Vint(d, at, d.size(), headSize)) break;
    const size_t headStart = at;
    const size_t headEnd = headStart + headSize;
    if (headEnd > d.size()) break;
    uint64_t type, flags, extraSize = 0, dataSize = 0;
    if (!Vint(d, at, headEnd, type) || !Vint(d, at, headEnd, flags)) break;
    if ((flags & 1) != 0 && !Vint(d, at, headEnd, extraSize)) break;
    if ((flags & 2) != 0 && !Vint(d, at, headEnd, dataSize)) break;
    if (type == 4) {
      error = "encrypted headers";
      return false;
    }
    if (type == 5) break;
    if (type == 2) {
      uint64_t fileFlags, unp, attr, ci, host, nameLen;
      if (!Vint(d, at, headEnd, fileFlags) || !Vint(d, at, headEnd, unp) || !Vint(d, at, headEnd, attr)) break;
      if ((fileFlags & 2) != 0) at += 4;
      uint32_t crc = 0;
      if ((fileFlags & 4) != 0) {
        crc = Le(d, at, 4);
        at += 4;
      }
      if (!Vint(d, at, headEnd, ci) || !Vint(d, at, headEnd, host) || !Vint(d, at, headEnd, nameLen)) break;
      const std::string name(reinterpret_cast<const char*>(d.data() + at), nameLen);
      at += nameLen;
      bool encrypted = false;
      // Extra area: look for the encryption record.
      size_t x = headEnd - extraSize;
      while (x < headEnd) {
        uint64_t recSize, recType;
        size_t r = x;
        if (!Vint(d, r, headEnd, recSize)) break;
        const size_t recEnd = r + recSize;
        if (!Vint(d, r, headEnd, recType)) break;
        if (recType == 1) encrypted = true;
        x = recEnd;
      }
      const size_t dataAt = headEnd;
      const bool cut = dataAt + dataSize > d.size();
      if (cut) dataSize = d.size() - dataAt;
      if ((flags & 0x0008) != 0 && !out.empty()) {
        FixtureEntry& e = out.back();
        e.packed.insert(e.packed.end(), d.begin() + dataAt, d.begin() + dataAt + dataSize);
        e.crc = crc;
        e.hasCrc = (fileFlags & 4) != 0;
      } else {
        FixtureEntry e;
        e.name = name;
        const unsigned version = ci & 0x3F;
        e.format = version == 0 ? Format::Rar50 : Format::Rar70;
        e.unpackVersion = version == 0 ? 50 : 70;
        e.solid = (ci & 0x40) != 0;
        e.stored = ((ci >> 7) & 7) == 0;
        if (version == 0)
          e.dictionarySize = (uint64_t{128} << 10) << ((ci >> 10) & 0xF);
        else
          e.dictionarySize = (32 + ((ci >> 15) & 0x1F)) << (((ci >> 10) & 0x1F) + 12);
        e.directory = (fileFlags & 1) != 0;
        e.unknownSize = (fileFlags & 8) != 0;
        e.encrypted = encrypted;
        e.hasCrc = (fileFlags & 4) != 0;
        e.crc = crc;
        e.unpackedSize = unp;
        e.truncated = cut;
        e.packed.assign(d.begin() + dataAt, d.begin() + dataAt + dataSize);
        out.push_back(std::move(e));
      }
    }
    pos = headEnd + dataSize;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string FixturePath(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

std::vector<FixtureEntry> ReadFixtureEntries(const std::vector<std::string>& volumes, std::string* error) {
  std::vector<FixtureEntry> out;
  std::string err;
  for (const auto& v : volumes) {
    const auto d = ReadFileBytes(v);
    size_t at = 0;
    bool five = false;
    for (; at + 8 <= d.size(); ++at) {
      if (std::memcmp(d.data() + at, kSig5, 8) == 0) {
        five = true;
        break;
      }
      if (std::memcmp(d.data() + at, kSig4, 7) == 0) break;
    }
    if (at + 8 > d.size()) {
      err = "no RAR signature in " + v;
      out.clear();
      break;
    }
    if (!(five ? Walk5(d, at + 8, out, err) : Walk4(d, at + 7, out, err))) {
      out.clear();
      break;
    }
  }
  if (error != nullptr) *error = err;
  return out;
}

}  // namespace arkelin::engine::rar::unpack::test
