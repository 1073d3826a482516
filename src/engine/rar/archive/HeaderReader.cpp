// The header walk. See HeaderReader.h; field layouts follow the RAR 1.5-4.x
// technical notes and the RAR 5.0 archive format document.
#include "engine/rar/archive/HeaderReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/Bytes_p.h"
#include "engine/rar/archive/RarNames.h"
#include "engine/common/Crc32.h"
#include "engine/common/DosTime.h"

namespace arkelin::engine::rar::archive {

namespace {

namespace zd = arkelin::engine::common;

constexpr uint8_t kSignature[6] = {'R', 'a', 'r', '!', 0x1A, 0x07};
constexpr uint64_t kMaxSfxStub = 1 << 20;
constexpr uint64_t kMaxRar5Header = 2 * 1024 * 1024;

// RAR 4 block types.
constexpr unsigned kMain4 = 0x73, kFile4 = 0x74, kService4 = 0x7A, kEnd4 = 0x7B;
// RAR 5 header types.
constexpr unsigned kMain5 = 1, kFile5 = 2, kService5 = 3, kCrypt5 = 4, kEnd5 = 5;

constexpr int64_t kFiletimeToUnix = 11644473600LL;

uint32_t Crc(const uint8_t* p, size_t n) { return zd::Crc32(0, p, n); }

FileTime FromDos(uint32_t dos, bool plusOne, uint32_t hundredNs) {
  FileTime t;
  const int64_t s = zd::DosToUnix(static_cast<uint16_t>(dos & 0xFFFF), static_cast<uint16_t>(dos >> 16));
  if (s < 0) return t;
  t.present = true;
  t.seconds = s + (plusOne ? 1 : 0);
  t.nanos = std::min<uint32_t>(hundredNs, 9999999) * 100;
  return t;
}

FileTime FromFiletime(uint64_t ft) {
  FileTime t;
  if (ft == 0) return t;
  t.present = true;
  t.seconds = static_cast<int64_t>(ft / 10000000) - kFiletimeToUnix;
  t.nanos = static_cast<uint32_t>(ft % 10000000) * 100;
  return t;
}

uint32_t DosFromUnix(int64_t seconds) {
  uint16_t time = 0, date = 0;
  zd::UnixToDos(seconds, time, date);
  return (static_cast<uint32_t>(date) << 16) | time;
}

bool IsDirectoryAttr(unsigned host, uint32_t attr) {
  if (host == 3) return (attr & 0170000) == 0040000;
  return (host <= 2) && (attr & 0x10);
}

}  // namespace

bool FindRarSignature(const uint8_t* buf, size_t n, bool anywhere, size_t& at, bool& rar5) {
  for (size_t i = 0; i + 7 <= n; ++i) {
    if (buf[i] == 'R' && std::memcmp(&buf[i], kSignature, 6) == 0) {
      if (buf[i + 6] == 0x00) {
        at = i;
        rar5 = false;
        return true;
      }
      if (buf[i + 6] == 0x01 && i + 8 <= n && buf[i + 7] == 0x00) {
        at = i;
        rar5 = true;
        return true;
      }
    }
    if (!anywhere) break;
  }
  return false;
}

bool HasRarSignature(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> buf(static_cast<size_t>(kMaxSfxStub + 8));
  const size_t n = std::fread(buf.data(), 1, buf.size(), f);
  std::fclose(f);
  size_t at = 0;
  bool rar5 = false;
  return FindRarSignature(buf.data(), n, true, at, rar5);
}

HeaderReader::HeaderReader(VolumeSet& volumes, KeyCache& keys, unsigned maxKdfLog2)
    : volumes_(volumes), keys_(keys), maxKdfLog2_(maxKdfLog2) {}

int HeaderReader::Fail(int code, std::string message) {
  message_ = std::move(message);
  return code;
}

int HeaderReader::Open(const PasswordFn& askPassword) {
  int r = StartVolume(0, askPassword);
  if (r != 0) return r;
  r = FinishVolumeStart(askPassword);
  if (r == ERAR_MISSING_PASSWORD) {
    waitingPassword_ = true;  // asked again by Next
    return 0;
  }
  if (r != 0) return r;
  started_ = true;
  ReadComment();
  return 0;
}

int HeaderReader::StartVolume(size_t volume, const PasswordFn& askPassword) {
  (void)askPassword;
  int err = 0;
  VolumeFile* f = volumes_.Get(volume, err);
  if (!f) return Fail(ERAR_EOPEN, "cannot open " + volumes_.Name(volume));
  // The first volume may sit behind a self-extractor stub; later ones start
  // with the signature.
  const uint64_t window = volume == 0 ? std::min<uint64_t>(f->Size(), kMaxSfxStub + 8) : std::min<uint64_t>(f->Size(), 8);
  std::vector<uint8_t> buf;
  uint64_t at = 0;
  bool found = false, rar5 = false;
  for (uint64_t chunkEnd = std::min<uint64_t>(window, 64 * 1024);; chunkEnd = window) {
    buf.resize(static_cast<size_t>(chunkEnd));
    if (!f->ReadExact(0, buf.data(), buf.size())) return Fail(ERAR_EREAD, "cannot read " + f->Path());
    size_t i = 0;
    found = FindRarSignature(buf.data(), buf.size(), volume == 0, i, rar5);
    at = i;
    if (found || chunkEnd == window) break;
  }
  if (!found) return Fail(ERAR_BAD_ARCHIVE, f->Path() + " is not a RAR archive");
  const RarFormat fmt = rar5 ? RarFormat::Rar5 : RarFormat::Rar4;
  if (volume == 0) {
    info_.format = fmt;
    info_.sfxOffset = at;
  } else if (fmt != info_.format) {
    return Fail(ERAR_BAD_ARCHIVE, f->Path() + " is not a volume of this archive");
  }
  volume_ = volume;
  offset_ = at + (rar5 ? 8 : 7);
  rar5Encrypted_ = false;
  rar4Encrypted_ = false;
  Block b;
  int r = ReadBlock(offset_, b);
  if (r == kEof) return Fail(ERAR_BAD_ARCHIVE, f->Path() + " ends after its signature");
  if (r != 0) return r;
  if (rar5) {
    if (b.type == kCrypt5) {
      r = ParseRar5Encryption(b);
      if (r != 0) return r;
      rar5Encrypted_ = true;
      info_.encryptedHeaders = true;
      offset_ = b.next;
    }
    return 0;
  }
  if (b.type != kMain4) return Fail(ERAR_BAD_ARCHIVE, f->Path() + ": the main header is missing");
  r = ParseRar4Main(b, volume == 0);
  if (r != 0) return r;
  offset_ = b.next;
  return 0;
}

// The part of a volume's start that needs the password: the RAR 5 check
// value and main header, or (RAR 4) just having the password at hand.
int HeaderReader::FinishVolumeStart(const PasswordFn& askPassword) {
  if (rar5Encrypted_ || rar4Encrypted_) {
    if (!keys_.HasPassword() && !(askPassword && askPassword() && keys_.HasPassword()))
      return Fail(ERAR_MISSING_PASSWORD, "the headers are encrypted and no password was given");
  }
  if (rar5Encrypted_ && pendingCheck_) {
    if (Rar5Check(keys_.Rar5(rar5Salt_, rar5Lg_), rar5Check_) == CheckResult::Mismatch)
      return Fail(ERAR_BAD_PASSWORD, "wrong password for the encrypted headers");
    pendingCheck_ = false;
  }
  if (info_.format == RarFormat::Rar4) return 0;
  Block b;
  int r = ReadBlock(offset_, b);
  if (r == kEof) return Fail(ERAR_BAD_ARCHIVE, volumes_.Name(volume_) + ": the main header is missing");
  if (r != 0) return r;
  if (b.type != kMain5) return Fail(ERAR_BAD_ARCHIVE, volumes_.Name(volume_) + ": the main header is missing");
  r = ParseRar5Main(b, volume_ == 0);
  if (r != 0) return r;
  offset_ = b.next;
  return 0;
}

int HeaderReader::ReadBlock(uint64_t offset, Block& b) {
  int err = 0;
  VolumeFile* f = volumes_.Get(volume_, err);
  if (!f) return Fail(ERAR_EOPEN, "cannot open " + volumes_.Name(volume_));
  if (info_.format == RarFormat::Rar5) {
    const int r = ReadRar5Block(*f, offset, b);
    if (r == 0 && rar5Encrypted_) decryptedOne_ = true;
    return r;
  }
  int r = ReadRar4Block(*f, offset, b);
  if (r == ERAR_BAD_DATA && rar4Encrypted_ && !decryptedOne_) {
    // A long password may need the key derivation without the in-place
    // quirk; if neither works, the password is the likely culprit.
    if (keys_.Rar3QuirkMatters()) {
      garble_ = !garble_;
      r = ReadRar4Block(*f, offset, b);
      if (r != 0) garble_ = !garble_;
    }
    if (r == ERAR_BAD_DATA) return Fail(ERAR_BAD_PASSWORD, "wrong password: the encrypted headers do not decrypt");
  }
  if (r == 0 && rar4Encrypted_) decryptedOne_ = true;
  return r;
}

int HeaderReader::ReadRar4Block(VolumeFile& f, uint64_t offset, Block& b) {
  const uint64_t size = f.Size();
  if (offset >= size) return kEof;
  const uint64_t left = size - offset;
  std::vector<uint8_t>& h = b.h;
  uint64_t headerEnd = 0;
  const std::string where = " at offset " + std::to_string(offset) + " of " + f.Path();
  if (rar4Encrypted_) {
    if (left < 8 + 16) return left < 7 ? kEof : Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    uint8_t salt[8], key[16], iv[16];
    if (!f.ReadExact(offset, salt, 8)) return Fail(ERAR_EREAD, "read error" + where);
    keys_.Rar3(salt, 8, garble_, key, iv);
    auto dec = MakeAesCbc(key, 16, iv);
    WipeMemory(key, sizeof key);
    uint8_t first[16];
    if (!f.ReadExact(offset + 8, first, 16) || !dec->Decrypt(first, 16)) return Fail(ERAR_EREAD, "read error" + where);
    const uint16_t hsize = Le16(first + 5);
    if (hsize < 7) return Fail(ERAR_BAD_DATA, "damaged header" + where);
    const uint64_t total = (static_cast<uint64_t>(hsize) + 15) & ~uint64_t{15};
    if (8 + total > left) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    h.assign(static_cast<size_t>(total), 0);
    std::memcpy(h.data(), first, 16);
    if (total > 16 && (!f.ReadExact(offset + 24, h.data() + 16, static_cast<size_t>(total - 16)) ||
                       !dec->Decrypt(h.data() + 16, static_cast<size_t>(total - 16))))
      return Fail(ERAR_EREAD, "read error" + where);
    h.resize(hsize);
    headerEnd = offset + 8 + total;
  } else {
    if (left < 7) return kEof;  // a few stray bytes after the last block
    uint8_t fixed[7];
    if (!f.ReadExact(offset, fixed, 7)) return Fail(ERAR_EREAD, "read error" + where);
    const uint16_t hsize = Le16(fixed + 5);
    if (hsize < 7) return Fail(ERAR_BAD_DATA, "damaged header" + where);
    if (hsize > left) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    h.resize(hsize);
    if (!f.ReadExact(offset, h.data(), hsize)) return Fail(ERAR_EREAD, "read error" + where);
    headerEnd = offset + hsize;
  }
  const size_t hs = h.size();
  b.type = h[2];
  b.flags = Le16(h.data() + 3);
  b.body = 7;
  b.extraSize = 0;
  const uint16_t stored = Le16(h.data());
  bool ok = (Crc(h.data() + 2, hs - 2) & 0xFFFF) == stored;
  if (!ok) {
    // RAR 1.5-2.x headers with an embedded comment cover only their fixed
    // part (the main header's first 13 bytes, a file header up to its name).
    size_t shortEnd = 0;
    if (b.type == kMain4 && (b.flags & 0x0002) && hs >= 13) shortEnd = 13;
    if (b.type == kFile4 && (b.flags & 0x0008) && hs >= 32) {
      const size_t at = (b.flags & 0x0100) ? 40 : 32;
      const size_t end = at + Le16(h.data() + 26);
      if (end <= hs) shortEnd = end;
    }
    if (shortEnd) ok = (Crc(h.data() + 2, shortEnd - 2) & 0xFFFF) == stored;
  }
  if (!ok && b.type >= 0x76 && b.type <= 0x79 && (b.flags & 0x8000) && hs >= 11 && Le32(h.data() + 7) <= 65536 &&
      headerEnd + Le32(h.data() + 7) <= size) {
    // The old subblocks (RAR 2.x owner and OS data, old recovery and
    // authenticity blocks) take their data into the checksum.
    std::vector<uint8_t> data(Le32(h.data() + 7));
    if (f.ReadExact(headerEnd, data.data(), data.size()))
      ok = (zd::Crc32(Crc(h.data() + 2, hs - 2), data.data(), data.size()) & 0xFFFF) == stored;
  }
  if (!ok) return Fail(ERAR_BAD_DATA, "header CRC error" + where);
  uint64_t dataSize = 0;
  if (b.type == kFile4 || b.type == kService4) {
    if (hs < 32) return Fail(ERAR_BAD_DATA, "file header too short" + where);
    dataSize = Le32(h.data() + 7);
    if (b.flags & 0x0100) {
      if (hs < 40) return Fail(ERAR_BAD_DATA, "file header too short" + where);
      dataSize |= static_cast<uint64_t>(Le32(h.data() + 32)) << 32;
    }
  } else if (b.type != kMain4 && (b.flags & 0x8000)) {
    if (hs < 11) return Fail(ERAR_BAD_DATA, "block header too short" + where);
    dataSize = Le32(h.data() + 7);
  }
  if (dataSize > UINT64_MAX - headerEnd) return Fail(ERAR_BAD_DATA, "impossible data size" + where);
  b.dataOffset = headerEnd;
  b.dataSize = dataSize;
  b.next = headerEnd + dataSize;
  return 0;
}

int HeaderReader::ReadRar5Block(VolumeFile& f, uint64_t offset, Block& b) {
  const uint64_t size = f.Size();
  if (offset >= size) return kEof;
  const uint64_t left = size - offset;
  std::vector<uint8_t>& h = b.h;
  uint64_t headerEnd = 0, hsize = 0;
  size_t sizeLen = 0;
  const std::string where = " at offset " + std::to_string(offset) + " of " + f.Path();
  if (rar5Encrypted_) {
    if (left < 32) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    uint8_t iv[16], first[16];
    if (!f.ReadExact(offset, iv, 16) || !f.ReadExact(offset + 16, first, 16))
      return Fail(ERAR_EREAD, "read error" + where);
    const Rar5Keys& keys = keys_.Rar5(rar5Salt_, rar5Lg_);
    auto dec = MakeAesCbc(keys.key, 32, iv);
    if (!dec->Decrypt(first, 16)) return Fail(ERAR_EREAD, "read error" + where);
    ByteCursor c(first + 4, 12);
    if (!c.Vint(hsize) || hsize == 0 || hsize > kMaxRar5Header)
      return Fail(decryptedOne_ ? ERAR_BAD_DATA : ERAR_BAD_PASSWORD, "damaged or wrongly decrypted header" + where);
    sizeLen = c.Pos();
    const uint64_t plain = 4 + sizeLen + hsize;
    const uint64_t total = (plain + 15) & ~uint64_t{15};
    if (16 + total > left) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    h.assign(static_cast<size_t>(total), 0);
    std::memcpy(h.data(), first, 16);
    if (total > 16 && (!f.ReadExact(offset + 32, h.data() + 16, static_cast<size_t>(total - 16)) ||
                       !dec->Decrypt(h.data() + 16, static_cast<size_t>(total - 16))))
      return Fail(ERAR_EREAD, "read error" + where);
    h.resize(static_cast<size_t>(plain));
    headerEnd = offset + 16 + total;
  } else {
    uint8_t fixed[14] = {};
    const size_t got = static_cast<size_t>(std::min<uint64_t>(left, sizeof fixed));
    if (got < 7) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    if (!f.ReadExact(offset, fixed, got)) return Fail(ERAR_EREAD, "read error" + where);
    ByteCursor c(fixed + 4, got - 4);
    if (!c.Vint(hsize) || hsize == 0 || hsize > kMaxRar5Header) return Fail(ERAR_BAD_DATA, "damaged header" + where);
    sizeLen = c.Pos();
    const uint64_t plain = 4 + sizeLen + hsize;
    if (plain > left) return Fail(ERAR_BAD_DATA, "the archive is cut short" + where);
    h.resize(static_cast<size_t>(plain));
    if (!f.ReadExact(offset, h.data(), h.size())) return Fail(ERAR_EREAD, "read error" + where);
    headerEnd = offset + plain;
  }
  if (Crc(h.data() + 4, h.size() - 4) != Le32(h.data()))
    return Fail(rar5Encrypted_ && !decryptedOne_ ? ERAR_BAD_PASSWORD : ERAR_BAD_DATA, "header CRC error" + where);
  ByteCursor c(h.data() + 4 + sizeLen, static_cast<size_t>(hsize));
  uint64_t type = 0, flags = 0, extra = 0, data = 0;
  if (!c.Vint(type) || !c.Vint(flags)) return Fail(ERAR_BAD_DATA, "damaged header" + where);
  if ((flags & 0x0001) && !c.Vint(extra)) return Fail(ERAR_BAD_DATA, "damaged header" + where);
  if ((flags & 0x0002) && !c.Vint(data)) return Fail(ERAR_BAD_DATA, "damaged header" + where);
  if (extra > c.Left()) {
    // The main header's extra area (a locator, metadata) is never used, so a
    // wrong size there is let go; anywhere else it is damage.
    if (type != kMain5) return Fail(ERAR_BAD_DATA, "the extra area runs past its header" + where);
    extra = 0;
  }
  if (data > UINT64_MAX - headerEnd) return Fail(ERAR_BAD_DATA, "impossible data size" + where);
  b.type = static_cast<unsigned>(std::min<uint64_t>(type, 0xFFFF));
  b.flags = flags;
  b.extraSize = extra;
  b.body = 4 + sizeLen + c.Pos();
  b.dataOffset = headerEnd;
  b.dataSize = data;
  b.next = headerEnd + data;
  return 0;
}

int HeaderReader::ParseRar4Main(const Block& b, bool first) {
  const unsigned flags = static_cast<unsigned>(b.flags);
  rar4Encrypted_ = flags & 0x0080;
  if (!first) return 0;
  info_.volume = flags & 0x0001;
  info_.locked = flags & 0x0004;
  info_.solid = flags & 0x0008;
  info_.newNumbering = flags & 0x0010;
  info_.recovery = flags & 0x0040;
  info_.encryptedHeaders = flags & 0x0080;
  info_.firstVolume = (flags & 0x0100) || !(flags & 0x0001);
  volumes_.newNumbering = info_.newNumbering;
  if ((flags & 0x0002) && b.h.size() >= 13 + 13) {
    // A comment block embedded in the main header (RAR 1.5-2.x).
    const uint8_t* c = b.h.data() + 13;
    const size_t room = b.h.size() - 13;
    const uint16_t csize = Le16(c + 5);
    if (c[2] == 0x75 && csize >= 13 && csize <= room && (Crc(c + 2, 11) & 0xFFFF) == Le16(c)) {
      CommentSource src;
      src.embedded = true;
      src.entry.unpackedSize = Le16(c + 7);
      src.entry.unpackVersion = c[9];
      src.entry.method = c[10] >= 0x30 && c[10] <= 0x35 ? c[10] - 0x30 : 99;
      src.crc16 = Le16(c + 11);
      src.bytes.assign(c + 13, c + csize);
      comment_ = std::move(src);
      info_.hasComment = true;
    }
  }
  return 0;
}

int HeaderReader::ParseRar5Main(const Block& b, bool first) {
  ByteCursor c(b.h.data() + b.body, b.h.size() - b.body - static_cast<size_t>(b.extraSize));
  // A short main header reads as zero flags: nothing in it decides how the
  // entries are read.
  uint64_t flags = 0, number = 0;
  if (!c.Vint(flags)) flags = 0;
  if ((flags & 0x0002) && !c.Vint(number)) number = 1;
  if (!first) return 0;
  info_.volume = flags & 0x0001;
  info_.solid = flags & 0x0004;
  info_.recovery = flags & 0x0008;
  info_.locked = flags & 0x0010;
  info_.firstVolume = !(flags & 0x0002) || number == 0;
  info_.newNumbering = true;
  volumes_.newNumbering = true;
  return 0;
}

int HeaderReader::ParseRar5Encryption(const Block& b) {
  ByteCursor c(b.h.data() + b.body, b.h.size() - b.body - static_cast<size_t>(b.extraSize));
  uint64_t version = 0, flags = 0;
  uint8_t lg = 0;
  uint8_t check[12] = {};
  if (!c.Vint(version) || !c.Vint(flags) || !c.U8(lg) || !c.Bytes(rar5Salt_, 16))
    return Fail(ERAR_BAD_DATA, "damaged encryption header");
  if ((flags & 0x0001) && !c.Bytes(check, 12)) return Fail(ERAR_BAD_DATA, "damaged encryption header");
  if (version != 0) return Fail(ERAR_UNKNOWN_FORMAT, "unknown header encryption (version " + std::to_string(version) + ")");
  if (lg > maxKdfLog2_) return Fail(ERAR_BAD_DATA, "the key derivation asks for 2^" + std::to_string(lg) + " rounds");
  rar5Lg_ = lg;
  // Checked once the password is known.
  pendingCheck_ = (flags & 0x0001) != 0;
  std::memcpy(rar5Check_, check, 12);
  return 0;
}

int HeaderReader::ParseRar4File(const Block& b, RarEntry& e) {
  const uint8_t* h = b.h.data();
  const size_t hs = b.h.size();
  const unsigned flags = static_cast<unsigned>(b.flags);
  if (hs < 32) return Fail(ERAR_BAD_DATA, "file header too short");
  e = RarEntry{};
  e.format = RarFormat::Rar4;
  uint64_t pack = Le32(h + 7), unp = Le32(h + 11);
  e.hostOS = h[15];
  e.crc = Le32(h + 16);
  e.hasCrc = true;
  e.dosTime = Le32(h + 20);
  e.unpackVersion = h[24];
  const uint8_t method = h[25];
  const uint16_t nameSize = Le16(h + 26);
  e.attributes = Le32(h + 28);
  size_t at = 32;
  if (flags & 0x0100) {
    if (hs < 40) return Fail(ERAR_BAD_DATA, "file header too short");
    pack |= static_cast<uint64_t>(Le32(h + 32)) << 32;
    unp |= static_cast<uint64_t>(Le32(h + 36)) << 32;
    at = 40;
  }
  if (at + nameSize > hs) return Fail(ERAR_BAD_DATA, "the name runs past its header");
  e.name = DecodeRar4Name(h + at, nameSize, flags & 0x0200);
  at += nameSize;
  if (flags & 0x0400) {
    if (at + 8 > hs) return Fail(ERAR_BAD_DATA, "the salt runs past its header");
    std::memcpy(e.crypt.salt, h + at, 8);
    e.crypt.saltLen = 8;
    at += 8;
  }
  e.mtime = FromDos(e.dosTime, false, 0);
  if (flags & 0x1000) {
    // Extended times; a field that does not fit is left out.
    ByteCursor c(h + at, hs - at);
    uint8_t lo = 0, hi = 0;
    if (c.U8(lo) && c.U8(hi)) {
      const unsigned tf = lo | (hi << 8);
      FileTime* slots[4] = {&e.mtime, &e.ctime, &e.atime, nullptr};
      for (int i = 0; i < 4; ++i) {
        const unsigned nib = (tf >> ((3 - i) * 4)) & 0xF;
        if (!(nib & 8)) continue;
        uint32_t dos = e.dosTime;
        if (i != 0 && !c.U32(dos)) break;
        const unsigned count = nib & 3;
        uint32_t rem = 0;
        bool fits = true;
        for (unsigned j = 0; j < count; ++j) {
          uint8_t byte = 0;
          if (!c.U8(byte)) {
            fits = false;
            break;
          }
          rem |= static_cast<uint32_t>(byte) << ((j + 3 - count) * 8);
        }
        if (!fits) break;
        if (slots[i]) *slots[i] = FromDos(dos, nib & 4, rem);
      }
    }
  }
  e.method = method >= 0x30 && method <= 0x35 ? method - 0x30 : 99;
  e.unpackedSize = unp;
  e.packedSize = pack;
  e.splitBefore = flags & 0x0001;
  e.splitAfter = flags & 0x0002;
  e.isDirectory = (flags & 0x00E0) == 0x00E0 || IsDirectoryAttr(e.hostOS, e.attributes);
  e.solid = e.unpackVersion >= 20 ? (flags & 0x0010) != 0 : (info_.solid && seenFile_);
  if (flags & 0x0004) {
    const unsigned v = e.unpackVersion;
    e.crypt.cipher = v < 15 ? Cipher::Rar13 : v < 20 ? Cipher::Rar15 : v < 29 ? Cipher::Rar20 : Cipher::Aes128;
  }
  if (e.hostOS == 3 && (e.attributes & 0170000) == 0120000) e.redirection = Redirection::UnixSymlink;
  e.volumeName = volumes_.Name(volume_);
  return 0;
}

int HeaderReader::ParseRar5File(const Block& b, RarEntry& e) {
  const uint8_t* h = b.h.data();
  const size_t extraStart = b.h.size() - static_cast<size_t>(b.extraSize);
  ByteCursor c(h + b.body, extraStart - b.body);
  e = RarEntry{};
  e.format = RarFormat::Rar5;
  uint64_t fileFlags = 0, unp = 0, attr = 0, comp = 0, host = 0, nameLen = 0;
  uint32_t mtime = 0, crcValue = 0;
  if (!c.Vint(fileFlags) || !c.Vint(unp) || !c.Vint(attr)) return Fail(ERAR_BAD_DATA, "damaged file header");
  if ((fileFlags & 0x02) && !c.U32(mtime)) return Fail(ERAR_BAD_DATA, "damaged file header");
  if ((fileFlags & 0x04) && !c.U32(crcValue)) return Fail(ERAR_BAD_DATA, "damaged file header");
  if (!c.Vint(comp) || !c.Vint(host) || !c.Vint(nameLen) || nameLen > c.Left())
    return Fail(ERAR_BAD_DATA, "damaged file header");
  std::string name;
  c.Text(name, static_cast<size_t>(nameLen));
  const size_t nul = name.find('\0');
  if (nul != std::string::npos) {
    name.resize(nul);
    e.problem = "the name holds a zero byte";
    e.problemCode = ERAR_BAD_DATA;
  }
  for (char& ch : name)
    if (ch == '/') ch = '\\';
  e.name = name;
  e.isDirectory = fileFlags & 0x01;
  e.unknownSize = fileFlags & 0x08;
  e.unpackedSize = unp;
  e.attributes = static_cast<uint32_t>(attr);
  if (fileFlags & 0x02) {
    e.mtime.present = true;
    e.mtime.seconds = mtime;
  }
  e.hasCrc = fileFlags & 0x04;
  e.crc = crcValue;
  e.rar5Algorithm = static_cast<unsigned>(comp & 0x3F);
  e.solid = comp & 0x40;
  e.method = static_cast<unsigned>((comp >> 7) & 7);
  const uint64_t unit = uint64_t{128} << 10;
  if (e.rar5Algorithm == 0) {
    e.dictionarySize = unit << ((comp >> 10) & 0xF);
  } else {
    const uint64_t base = unit << ((comp >> 10) & 0x1F);
    e.dictionarySize = base + base / 32 * ((comp >> 15) & 0x1F);
    e.rar5OldAlgorithm = comp & 0x100000;
  }
  e.unpackVersion = e.rar5Algorithm == 0 || e.rar5OldAlgorithm ? 50 : 70;
  e.hostOS = host == 0 ? 2 : host == 1 ? 3 : static_cast<unsigned>(std::min<uint64_t>(host, 255));
  e.splitBefore = b.flags & 0x0008;
  e.splitAfter = b.flags & 0x0010;

  ByteCursor x(h + extraStart, static_cast<size_t>(b.extraSize));
  while (x.Left() > 0) {
    uint64_t recSize = 0;
    if (!x.Vint(recSize) || recSize == 0 || recSize > x.Left()) return Fail(ERAR_BAD_DATA, "damaged extra area");
    ByteCursor r(x.Here(), static_cast<size_t>(recSize));
    x.Skip(static_cast<size_t>(recSize));
    uint64_t type = 0;
    if (!r.Vint(type)) return Fail(ERAR_BAD_DATA, "damaged extra record");
    switch (type) {
      case 0x01: {  // encryption
        uint64_t version = 0, flags = 0;
        uint8_t lg = 0;
        if (!r.Vint(version) || !r.Vint(flags) || !r.U8(lg) || !r.Bytes(e.crypt.salt, 16) || !r.Bytes(e.crypt.iv, 16))
          return Fail(ERAR_BAD_DATA, "damaged encryption record");
        if ((flags & 0x01) && !r.Bytes(e.crypt.check, 12)) return Fail(ERAR_BAD_DATA, "damaged encryption record");
        e.crypt.cipher = Cipher::Aes256;
        e.crypt.saltLen = 16;
        e.crypt.kdfLog2 = lg;
        e.crypt.hasCheck = flags & 0x01;
        e.crypt.macChecksums = flags & 0x02;
        if (version != 0) {
          e.problem = "unknown encryption (version " + std::to_string(version) + ")";
          e.problemCode = ERAR_UNKNOWN_FORMAT;
        } else if (lg > maxKdfLog2_) {
          e.problem = "the key derivation asks for 2^" + std::to_string(lg) + " rounds";
          e.problemCode = ERAR_BAD_DATA;
        }
        break;
      }
      case 0x02: {  // hash
        uint64_t htype = 0;
        if (r.Vint(htype) && htype == 0 && r.Bytes(e.blake2.data(), 32)) e.hasBlake2 = true;
        break;
      }
      case 0x03: {  // times
        uint64_t tflags = 0;
        if (!r.Vint(tflags)) break;
        const bool unix = tflags & 0x01;
        FileTime* slots[3] = {&e.mtime, &e.ctime, &e.atime};
        const uint64_t bits[3] = {0x02, 0x04, 0x08};
        bool fits = true;
        for (int i = 0; i < 3 && fits; ++i) {
          if (!(tflags & bits[i])) continue;
          if (unix) {
            uint32_t s = 0;
            fits = r.U32(s);
            if (fits) *slots[i] = FileTime{true, s, 0};
          } else {
            uint64_t ft = 0;
            fits = r.U64(ft);
            if (fits) *slots[i] = FromFiletime(ft);
          }
        }
        if (fits && unix && (tflags & 0x10)) {
          for (int i = 0; i < 3; ++i) {
            if (!(tflags & bits[i])) continue;
            uint32_t ns = 0;
            if (!r.U32(ns)) break;
            slots[i]->nanos = std::min<uint32_t>(ns, 999999999);
          }
        }
        break;
      }
      case 0x04: {  // version
        uint64_t vflags = 0, version = 0;
        if (r.Vint(vflags) && r.Vint(version)) e.fileVersion = static_cast<unsigned>(std::min<uint64_t>(version, 1u << 30));
        break;
      }
      case 0x05: {  // redirection
        uint64_t rtype = 0, rflags = 0, len = 0;
        if (!r.Vint(rtype) || !r.Vint(rflags) || !r.Vint(len) || len > r.Left())
          return Fail(ERAR_BAD_DATA, "damaged redirection record");
        r.Text(e.redirTarget, static_cast<size_t>(len));
        e.redirection = rtype >= 1 && rtype <= 5 ? static_cast<Redirection>(rtype) : Redirection::None;
        e.redirToDirectory = rflags & 0x01;
        if (e.redirection == Redirection::None) {
          e.problem = "unknown kind of link (" + std::to_string(rtype) + ")";
          e.problemCode = ERAR_UNKNOWN_FORMAT;
        }
        break;
      }
      default:  // owner, service data and records of later versions
        break;
    }
  }
  // A link to a folder is a link: its folder flag says what it points to.
  if (e.redirection != Redirection::None && e.isDirectory) {
    e.isDirectory = false;
    e.redirToDirectory = true;
  }
  if (e.fileVersion > 0) e.name += ";" + std::to_string(e.fileVersion);
  if (e.mtime.present) e.dosTime = DosFromUnix(e.mtime.seconds);
  e.volumeName = volumes_.Name(volume_);
  return 0;
}

bool HeaderReader::IsFileBlock(const Block& b) const {
  return info_.format == RarFormat::Rar4 ? b.type == kFile4 : b.type == kFile5;
}

bool HeaderReader::IsCommentBlock(const Block& b) const {
  if (info_.format == RarFormat::Rar4) {
    if (b.type != kService4 || b.h.size() < 35) return false;
    const size_t at = (b.flags & 0x0100) ? 40 : 32;
    return Le16(b.h.data() + 26) == 3 && at + 3 <= b.h.size() && std::memcmp(b.h.data() + at, "CMT", 3) == 0;
  }
  if (b.type != kService5) return false;
  RarEntry tmp;
  return const_cast<HeaderReader*>(this)->ParseRar5File(b, tmp) == 0 && tmp.name == "CMT";
}

void HeaderReader::ReadComment() {
  Block b;
  const std::string saved = message_;
  if (ReadBlock(offset_, b) != 0 || !IsCommentBlock(b)) {
    message_ = saved;
    return;
  }
  CommentSource src;
  const int r = info_.format == RarFormat::Rar4 ? ParseRar4File(b, src.entry) : ParseRar5File(b, src.entry);
  offset_ = b.next;
  if (r != 0) return;
  src.entry.parts = {DataPart{volume_, b.dataOffset, b.dataSize}};
  src.entry.packedSize = b.dataSize;
  src.entry.solid = false;
  if (!comment_) comment_ = std::move(src);
  info_.hasComment = true;
}

int HeaderReader::NextVolume(const PasswordFn& askPassword) {
  const size_t next = volume_ + 1;
  if (next >= volumes_.Count()) {
    int err = 0;
    if (!volumes_.Discover(err)) {
      const std::string name = NextVolumeName(volumes_.Name(volumes_.Count() - 1), volumes_.newNumbering);
      return Fail(ERAR_EOPEN, "the next volume " + (name.empty() ? std::string("(unnamed)") : name) + " is missing");
    }
  }
  int r = StartVolume(next, askPassword);
  if (r == 0) r = FinishVolumeStart(askPassword);
  return r;
}

int HeaderReader::Next(RarEntry& entry, bool includeOrphanParts, const PasswordFn& askPassword) {
  if (pendingError_) {
    const int r = pendingError_;
    pendingError_ = 0;
    ended_ = true;
    return r;
  }
  if (ended_) return ERAR_END_ARCHIVE;
  if (waitingPassword_) {
    const int r = FinishVolumeStart(askPassword);
    if (r != 0) return r;
    waitingPassword_ = false;
    if (!started_) {
      started_ = true;
      ReadComment();
    }
  }
  for (;;) {
    Block b;
    int r = ReadBlock(offset_, b);
    if (r == kEof) {
      // No end block: old archives may stop at the last file.
      if (info_.volume && (lastSplitAfter_ || (volume_ + 1 < volumes_.Count() || volumes_.DiscoverIfPresent()))) {
        r = NextVolume(askPassword);
        if (r != 0) {
          ended_ = true;
          return r;
        }
        continue;
      }
      ended_ = true;
      return ERAR_END_ARCHIVE;
    }
    if (r != 0) {
      ended_ = true;
      return r;
    }
    offset_ = b.next;
    const bool rar4 = info_.format == RarFormat::Rar4;
    if ((rar4 && b.type == kEnd4) || (!rar4 && b.type == kEnd5)) {
      bool more = false;
      if (rar4) {
        more = b.flags & 0x0001;
      } else {
        ByteCursor c(b.h.data() + b.body, b.h.size() - b.body);
        uint64_t endFlags = 0;
        more = c.Vint(endFlags) && (endFlags & 0x0001);
      }
      if (!more) {
        ended_ = true;
        return ERAR_END_ARCHIVE;
      }
      r = NextVolume(askPassword);
      if (r != 0) {
        ended_ = true;
        return r;
      }
      continue;
    }
    if (!IsFileBlock(b)) continue;
    r = ReadEntry(b, entry, askPassword);
    if (r != 0) {
      ended_ = true;
      return r;
    }
    if (entry.splitBefore && !includeOrphanParts) continue;
    return 0;
  }
}

int HeaderReader::ReadEntry(Block& first, RarEntry& e, const PasswordFn& askPassword) {
  int r = info_.format == RarFormat::Rar4 ? ParseRar4File(first, e) : ParseRar5File(first, e);
  if (r != 0) return r;
  seenFile_ = true;
  int err = 0;
  VolumeFile* f = volumes_.Get(volume_, err);
  const uint64_t volSize = f ? f->Size() : 0;
  DataPart part{volume_, first.dataOffset, first.dataSize, e.crc, e.hasCrc, e.blake2, e.hasBlake2};
  e.parts = {part};
  e.packedSize = first.dataSize;
  if (first.next > volSize) {
    e.problem = "the archive is cut short inside this entry's data";
    e.problemCode = ERAR_BAD_DATA;
    e.splitAfter = false;
    lastSplitAfter_ = false;
    return 0;
  }
  while (e.splitAfter) {
    Block nb;
    r = ReadBlock(offset_, nb);
    const bool rar4 = info_.format == RarFormat::Rar4;
    const bool isEnd = r == 0 && ((rar4 && nb.type == kEnd4) || (!rar4 && nb.type == kEnd5));
    if (r == kEof || isEnd) {
      if (isEnd) {
        offset_ = nb.next;
        bool more = true;
        if (rar4) {
          more = nb.flags & 0x0001;
        } else {
          ByteCursor c(nb.h.data() + nb.body, nb.h.size() - nb.body);
          uint64_t endFlags = 0;
          more = c.Vint(endFlags) && (endFlags & 0x0001);
        }
        if (!more) {
          e.problem = "the last volume ends inside this entry";
          e.problemCode = ERAR_BAD_DATA;
          ended_ = true;
          break;
        }
      }
      r = NextVolume(askPassword);
      if (r != 0) {
        e.problem = message_;
        e.problemCode = r;
        pendingError_ = r;
        break;
      }
      continue;
    }
    if (r != 0) {
      e.problem = message_;
      e.problemCode = r;
      pendingError_ = r;
      break;
    }
    if (!IsFileBlock(nb)) {
      offset_ = nb.next;
      continue;
    }
    RarEntry next;
    r = rar4 ? ParseRar4File(nb, next) : ParseRar5File(nb, next);
    if (r != 0) {
      e.problem = message_;
      e.problemCode = r;
      pendingError_ = r;
      break;
    }
    if (!next.splitBefore || next.name != e.name) {
      // Left in place: the walk reads it as the next entry.
      e.problem = "the rest of this entry is missing from the next volume";
      e.problemCode = ERAR_BAD_DATA;
      break;
    }
    offset_ = nb.next;
    e.parts.push_back(DataPart{volume_, nb.dataOffset, nb.dataSize, next.crc, next.hasCrc, next.blake2, next.hasBlake2});
    e.packedSize += nb.dataSize;
    e.splitAfter = next.splitAfter;
    if (!next.splitAfter) {
      // The last part's checksums are the whole file's.
      e.crc = next.crc;
      e.hasCrc = next.hasCrc;
      e.blake2 = next.blake2;
      e.hasBlake2 = next.hasBlake2;
    }
    int ferr = 0;
    VolumeFile* nf = volumes_.Get(volume_, ferr);
    if (!nf || nb.next > nf->Size()) {
      e.problem = "the archive is cut short inside this entry's data";
      e.problemCode = ERAR_BAD_DATA;
      e.splitAfter = false;
      break;
    }
  }
  lastSplitAfter_ = e.splitAfter;
  return 0;
}

}  // namespace arkelin::engine::rar::archive
