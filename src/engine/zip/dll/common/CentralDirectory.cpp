// The directory reader: end record search, Zip64 records, central headers
// with their extra fields, local headers, data descriptors and the overlap
// check that guards extraction against entries sharing bytes. See
// CentralDirectory.h for the rules.
#include "engine/zip/dll/common/CentralDirectory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "engine/common/CodePage437.h"
#include "engine/common/Crc32.h"
#include "engine/common/Prefault.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipFormat.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr uint64_t kMaxEndSearch = kEndRecordSize + 0xFFFF;
// Central headers are read through a window of this size.
constexpr size_t kWindow = 1 << 20;
// Entries whose record pages are asked for at once (about 2.4 MB).
constexpr uint64_t kPrefaultStep = 8192;

// Modification times of the extra fields, by precedence: the extended
// timestamp (0x5455), the NTFS times (0x000A: tag 1 holds modification,
// access and creation time in 100 ns steps since 1601), the old Unix field
// (0x5855: access then modification time). -1 when none is present.
struct ExtraTimes {
  int64_t extended = -1, ntfs = -1, unixOld = -1;
  void Take(uint16_t id, const uint8_t* d, size_t n) {
    if (id == kExtraTimestamp) {
      if (n >= 5 && (d[0] & 1)) extended = static_cast<int32_t>(Le32(d + 1));
    } else if (id == kExtraNtfs) {
      for (size_t p = 4; p + 4 <= n;) {
        const uint16_t tag = Le16(d + p), size = Le16(d + p + 2);
        if (p + 4 + size > n) break;
        if (tag == 1 && size >= 24) {
          const uint64_t ft = Le64(d + p + 4);
          constexpr int64_t kEpochDiff = 11644473600;  // 1601-01-01 to 1970-01-01 in seconds
          if (ft != 0) ntfs = static_cast<int64_t>(ft / 10000000u) - kEpochDiff;
          break;
        }
        p += 4 + size;
      }
    } else if (id == kExtraUnixOld) {
      if (n >= 8) unixOld = static_cast<int32_t>(Le32(d + 4));
    }
  }
  int64_t Best() const { return extended != -1 ? extended : ntfs != -1 ? ntfs : unixOld; }
};

// Applies the central header's extra fields to the entry.
void ParseCentralExtra(CentralEntry& e, bool sizeSat, bool csizeSat, bool offsetSat, bool diskSat) {
  bool haveUnicode = false;
  ExtraTimes times;
  const bool ok = ForEachExtraBlock(e.extra, [&](uint16_t id, const uint8_t* d, size_t n) {
    if (id == kExtraZip64) {
      // Only the saturated fields are present, always in this order.
      size_t p = 0;
      auto take8 = [&](bool want, uint64_t& v) {
        if (!want) return true;
        if (p + 8 > n) return false;
        v = Le64(d + p);
        p += 8;
        e.zip64 = true;
        return true;
      };
      bool good = take8(sizeSat, e.uncompressedSize) && take8(csizeSat, e.compressedSize) &&
                  take8(offsetSat, e.storedOffset);
      if (good && diskSat) {
        if (p + 4 > n) good = false;
        else e.diskStart = Le32(d + p);
      }
      if (!good) e.problem = "the Zip64 extra field is too short";
    } else if (id == kExtraTimestamp || id == kExtraNtfs || id == kExtraUnixOld) {
      times.Take(id, d, n);
    } else if (id == kExtraAes) {
      AesExtra a;
      if (ParseAesExtra(d, n, a)) {
        e.aesVersion = a.version;
        e.aesStrength = static_cast<uint8_t>(a.strength);
        e.aesMethod = a.method;
      }
    } else if (id == kExtraUnicodePath) {
      // Version 1, the CRC of the stored name, the UTF-8 name. A field whose
      // CRC is another name's was written before the name was changed.
      if (n >= 5 && d[0] == 1 && Le32(d + 1) == common::Crc32(0, e.rawName.data(), e.rawName.size())) {
        e.name.assign(reinterpret_cast<const char*>(d + 5), n - 5);
        haveUnicode = true;
      }
    } else if (id == kExtraUnicodeComment) {
      if (n >= 5 && d[0] == 1 && Le32(d + 1) == common::Crc32(0, e.comment.data(), e.comment.size()))
        e.unicodeComment = common::Utf8OrCp437(std::string(reinterpret_cast<const char*>(d + 5), n - 5));
    }
  });
  // A block running past the end is ignored with the rest of the field;
  // the entry stays usable unless it needed a value from it. A saturated
  // value without a Zip64 field is the literal value (a file of exactly
  // 4 GiB - 1 bytes needs no Zip64 field).
  e.extraDamaged = !ok;
  e.mtime = times.Best();
  if (haveUnicode && !common::IsValidUtf8(e.name)) e.name = common::Utf8OrCp437(e.name);
}

// One end record candidate, examined.
enum class Candidate { kGood, kCommentCut, kBad };

Candidate Examine(const ArchiveFile& file, const uint8_t* rec, uint64_t offset, EndInfo& e, ReadResult& why) {
  e = EndInfo{};
  e.fileSize = file.Size();
  e.offset = offset;
  e.disk = Le16(rec + 4);
  e.cdDisk = Le16(rec + 6);
  e.entriesHere = Le16(rec + 8);
  e.entries = Le16(rec + 10);
  e.cdSize = Le32(rec + 12);
  e.cdOffset = Le32(rec + 16);
  const uint16_t commentLen = Le16(rec + 20);
  const uint64_t avail = e.fileSize - offset - kEndRecordSize;
  e.commentCut = commentLen > avail;
  const uint64_t have = std::min<uint64_t>(commentLen, avail);
  e.comment.resize(static_cast<size_t>(have));
  if (have && !file.ReadAt(offset + kEndRecordSize, e.comment.data(), e.comment.size())) {
    why = {ReadStatus::IoError, "the archive cannot be read", DirError::kIo};
    return Candidate::kBad;
  }
  e.dataEnd = offset + kEndRecordSize + have;
  e.cdEnd = offset;

  // Zip64: the locator sits right before the end record and names the Zip64
  // end record, whose fields replace the saturated ones.
  const bool saturated = e.disk == 0xFFFF || e.cdDisk == 0xFFFF || e.entriesHere == 0xFFFF ||
                         e.entries == 0xFFFF || e.cdSize == 0xFFFFFFFFu || e.cdOffset == 0xFFFFFFFFu;
  uint8_t loc[kZip64LocatorSize];
  if (offset >= kZip64LocatorSize && file.ReadAt(offset - kZip64LocatorSize, loc, sizeof loc) &&
      Le32(loc) == kSigZip64Locator) {
    // Try where the locator says, then right before the locator (a stub in
    // front of the archive shifts the stored place).
    const uint64_t declared = Le64(loc + 8);
    const uint64_t before = offset - kZip64LocatorSize;
    const uint64_t places[2] = {declared, before >= kZip64EndSize ? before - kZip64EndSize : UINT64_MAX};
    for (uint64_t at : places) {
      uint8_t z[kZip64EndSize];
      if (at == UINT64_MAX || at > before || before - at < kZip64EndSize || !file.ReadAt(at, z, sizeof z) ||
          Le32(z) != kSigZip64End)
        continue;
      e.zip64 = true;
      e.zip64EndOffset = at;
      e.cdEnd = at;
      if (e.disk == 0xFFFF) e.disk = Le32(z + 16);
      if (e.cdDisk == 0xFFFF) e.cdDisk = Le32(z + 20);
      if (e.entriesHere == 0xFFFF) e.entriesHere = Le64(z + 24);
      if (e.entries == 0xFFFF) e.entries = Le64(z + 32);
      if (e.cdSize == 0xFFFFFFFFu) e.cdSize = Le64(z + 40);
      if (e.cdOffset == 0xFFFFFFFFu) e.cdOffset = Le64(z + 48);
      break;
    }
    if (!e.zip64 && saturated) {
      why = {ReadStatus::Damaged, "the Zip64 end record is missing", DirError::kEndDamaged};
      return Candidate::kBad;
    }
  }
  const Candidate fine = e.commentCut ? Candidate::kCommentCut : Candidate::kGood;
  // A directory on another volume cannot be checked from here.
  if (!e.DirectoryHere()) return fine;
  if (e.cdSize > e.cdEnd) {
    why = {ReadStatus::Damaged, "the central directory size is larger than the archive", DirError::kCentralTooLarge};
    return Candidate::kBad;
  }
  // Where the directory really is, and the shift against the stored offset.
  const uint64_t actual = e.cdEnd - e.cdSize;
  if (e.cdSize == 0 && e.entries == 0) {
    e.cdStart = actual;
    e.shift = e.cdOffset <= actual ? static_cast<int64_t>(actual - e.cdOffset) : 0;
    return fine;
  }
  uint8_t sig[4] = {};
  if (e.cdSize >= 4 && file.ReadAt(actual, sig, 4) && Le32(sig) == kSigCentral) {
    e.cdStart = actual;
    if (e.cdOffset <= actual) e.shift = static_cast<int64_t>(actual - e.cdOffset);
    else if (e.cdOffset - actual <= static_cast<uint64_t>(INT64_MAX)) e.shift = -static_cast<int64_t>(e.cdOffset - actual);
    else e.shift = 0;
    return fine;
  }
  // Something sits between the directory and the end record; believe the
  // stored offset if a central header is there.
  if (e.cdOffset <= e.cdEnd && e.cdEnd - e.cdOffset >= e.cdSize && file.ReadAt(e.cdOffset, sig, 4) &&
      Le32(sig) == kSigCentral) {
    e.cdStart = e.cdOffset;
    e.shift = 0;
    return fine;
  }
  why = {ReadStatus::Damaged, "the central directory is not where the end record says", DirError::kCentralNotFound};
  return Candidate::kBad;
}

// Central header bytes of one volume, read through a window.
class HeaderReader {
 public:
  explicit HeaderReader(const CentralSpan& s) : span_(s) {}
  // Points `p` at bytes [pos, pos + n) of the current volume; false when
  // they are not all before its end (or cannot be read).
  bool Get(uint64_t pos, size_t n, const uint8_t*& p) {
    if (pos > span_.end || n > span_.end - pos) return false;
    if (pos < start_ || pos + n > start_ + buf_.size()) {
      const uint64_t want = std::min<uint64_t>(span_.end - pos, std::max<uint64_t>(n, kWindow));
      buf_.resize(static_cast<size_t>(want));
      if (!span_.file->ReadAt(pos, buf_.data(), buf_.size())) {
        buf_.clear();
        ioError_ = true;
        return false;
      }
      start_ = pos;
    }
    p = reinterpret_cast<const uint8_t*>(buf_.data()) + (pos - start_);
    return true;
  }
  bool NextVolume() {
    if (!span_.nextVolume) return false;
    const ArchiveFile* f = nullptr;
    uint64_t end = 0;
    if (!span_.nextVolume(f, end) || !f) return false;
    span_.file = f;
    span_.end = end;
    span_.pos = 0;
    buf_.clear();
    start_ = 0;
    return true;
  }
  CentralSpan& Span() { return span_; }
  bool IoError() const { return ioError_; }

 private:
  CentralSpan span_;
  std::string buf_;
  uint64_t start_ = 0;
  bool ioError_ = false;
};

std::string Ordinal(uint64_t index, uint64_t count) {
  return "entry " + std::to_string(index + 1) + " of " + std::to_string(count);
}

}  // namespace

std::string DecodeStoredText(const std::string& raw, uint16_t versionMadeBy, uint16_t flags, CodePageRule rule) {
  // Bit 11: the writer declares UTF-8, which readers today honour.
  if (flags & kFlagUtf8) return common::Utf8OrCp437(raw);
  const NameEncoding chosen = EncodingOf(rule);
  if (chosen != NameEncoding::kAuto) return CodePageToUtf8(raw, chosen);
  const int host = versionMadeBy >> 8, version = versionMadeBy & 0xFF;
  const CodePageRule base = BaseRule(rule);
  const bool convert = (base == CodePageRule::kAuto && host == 0) || host == 6 || (host == 11 && version == 50) ||
                       base == CodePageRule::kOem;
  // Unconverted names are UTF-8 on this platform; bytes that are not are
  // shown through the OEM table rather than as invalid text.
  return convert ? common::Cp437ToUtf8(raw) : common::Utf8OrCp437(raw);
}

ReadResult FindEndRecord(const ArchiveFile& file, EndInfo& out) {
  out = EndInfo{};
  const uint64_t size = file.Size();
  if (size < kEndRecordSize) return {ReadStatus::NotZip, "the file is too short to be a ZIP archive", DirError::kNoEndRecord};
  const uint64_t tailLen = std::min(size, kMaxEndSearch);
  std::string tail(static_cast<size_t>(tailLen), '\0');
  if (!file.ReadAt(size - tailLen, tail.data(), tail.size()))
    return {ReadStatus::IoError, "the archive cannot be read", DirError::kIo};
  const auto* t = reinterpret_cast<const uint8_t*>(tail.data());

  // Candidates from the end backwards. The first complete one wins, unless
  // a candidate nearer the end that it does not cover (in its record or
  // comment) failed: then the archive holds a damaged later end record.
  std::vector<uint64_t> nearer;
  ReadResult firstFailure{ReadStatus::NotZip, "no end of central directory record was found", DirError::kNoEndRecord};
  EndInfo cut;
  bool haveCut = false;
  for (int64_t i = static_cast<int64_t>(tailLen) - static_cast<int64_t>(kEndRecordSize); i >= 0; --i) {
    if (Le32(t + i) != kSigEnd) continue;
    const uint64_t offset = size - tailLen + static_cast<uint64_t>(i);
    EndInfo e;
    ReadResult why;
    const Candidate c = Examine(file, t + i, offset, e, why);
    if (c == Candidate::kGood) {
      const uint64_t coveredEnd = e.offset + kEndRecordSize + e.comment.size();
      for (uint64_t n : nearer)
        if (n >= coveredEnd)
          return {ReadStatus::Damaged,
                  "a damaged end record follows a complete one; other programs would show other contents",
                  DirError::kEndDamaged};
      out = std::move(e);
      return {};
    }
    if (c == Candidate::kCommentCut && !haveCut) {
      cut = e;
      haveCut = true;
    }
    if (c == Candidate::kBad && firstFailure.error == DirError::kNoEndRecord) firstFailure = why;
    if (c == Candidate::kBad && why.status == ReadStatus::IoError) return why;
    nearer.push_back(offset);
  }
  // No complete end record: one whose comment runs past the end of the
  // file covers everything after it, so it is taken with its comment cut.
  if (haveCut) {
    out = std::move(cut);
    return {};
  }
  if (firstFailure.error == DirError::kNoEndRecord && !nearer.empty())
    firstFailure = {ReadStatus::Damaged, "the end record is damaged", DirError::kEndDamaged};
  return firstFailure;
}

ReadResult ReadCentralEntries(CentralSpan span, uint64_t count, int64_t shift, uint64_t offsetLimit,
                              CodePageRule rule, std::vector<CentralEntry>& out) {
  out.clear();
  HeaderReader r(span);
  // Reserve only what the directory's bytes can hold, never the declared count.
  out.reserve(static_cast<size_t>(
      std::min<uint64_t>({count, (span.end - std::min(span.pos, span.end)) / kCentralHeaderSize + 1, 1u << 20})));
  uint64_t pos = span.pos;
  auto fail = [&](DirError what, const char* text, uint64_t index) -> ReadResult {
    if (out.size() > index) out.pop_back();  // the entry begun is not kept
    if (r.IoError()) return {ReadStatus::IoError, "the central directory cannot be read", DirError::kIo, index};
    return {ReadStatus::Damaged, std::string(text) + " (" + Ordinal(index, count) + ")", what, index};
  };
  for (uint64_t n = 0; n < count; ++n) {
    const uint8_t* h = nullptr;
    if (!r.Get(pos, kCentralHeaderSize, h)) {
      // A header never spans volumes: a short one means the next volume.
      if (r.IoError() || !r.NextVolume() || !r.Get(0, kCentralHeaderSize, h))
        return fail(DirError::kHeaderCut, "the central directory ends before all its entries", n);
      pos = 0;
    }
    if (Le32(h) != kSigCentral) return fail(DirError::kBadSignature, "a central header signature is wrong", n);
    // The records' pages are asked for a step ahead of their filling, so a
    // count that lies costs no more than one step.
    if (n % kPrefaultStep == 0 && out.capacity() > n)
      common::PrefaultPages(out.data() + n,
                            std::min<uint64_t>(kPrefaultStep, out.capacity() - n) * sizeof(CentralEntry));
    CentralEntry& e = out.emplace_back();  // filled where it stays
    e.centralOffset = pos;
    e.versionMadeBy = Le16(h + 4);
    e.versionNeeded = Le16(h + 6);
    e.flags = Le16(h + 8);
    e.method = Le16(h + 10);
    e.dosTime = Le16(h + 12);
    e.dosDate = Le16(h + 14);
    e.crc = Le32(h + 16);
    e.headerCompressed = Le32(h + 20);
    e.headerUncompressed = Le32(h + 24);
    const uint16_t nameLen = Le16(h + 28), extraLen = Le16(h + 30), commentLen = Le16(h + 32);
    e.headerDisk = Le16(h + 34);
    e.internalAttr = Le16(h + 36);
    e.externalAttr = Le32(h + 38);
    e.headerOffset = Le32(h + 42);
    uint64_t at = pos + kCentralHeaderSize;
    const uint8_t* p = nullptr;
    if (!r.Get(at, nameLen, p)) return fail(DirError::kNameCut, "a central file name runs past the directory", n);
    e.rawName.assign(reinterpret_cast<const char*>(p), nameLen);
    at += nameLen;
    if (!r.Get(at, extraLen, p)) return fail(DirError::kExtraCut, "a central extra field runs past the directory", n);
    e.extra.assign(reinterpret_cast<const char*>(p), extraLen);
    at += extraLen;
    if (!r.Get(at, commentLen, p)) return fail(DirError::kCommentCut, "a file comment runs past the directory", n);
    e.comment.assign(reinterpret_cast<const char*>(p), commentLen);
    pos = at + commentLen;

    e.compressedSize = e.headerCompressed;
    e.uncompressedSize = e.headerUncompressed;
    e.storedOffset = e.headerOffset;
    e.diskStart = e.headerDisk;
    ParseCentralExtra(e, e.headerUncompressed == 0xFFFFFFFFu, e.headerCompressed == 0xFFFFFFFFu,
                      e.headerOffset == 0xFFFFFFFFu, e.headerDisk == 0xFFFF);
    if (e.name.empty()) e.name = DecodeStoredText(e.rawName, e.versionMadeBy, e.flags, rule);
    if (e.rawName.find('\0') != std::string::npos && e.problem.empty()) e.problem = "the name holds a NUL byte";
    // Offsets are stored relative to where the writer thought the archive
    // began; unsigned arithmetic, checked before use.
    uint64_t corrected = e.storedOffset;
    bool inRange = true;
    if (shift >= 0) {
      inRange = corrected <= UINT64_MAX - static_cast<uint64_t>(shift);
      corrected += static_cast<uint64_t>(shift);
    } else {
      const uint64_t back = static_cast<uint64_t>(-(shift + 1)) + 1;
      inRange = corrected >= back;
      corrected -= back;
    }
    if (offsetLimit > 0 && (!inRange || corrected >= offsetLimit)) {
      if (e.problem.empty()) e.problem = "the local header offset lies outside the archive data";
      e.localOffset = 0;
    } else {
      e.localOffset = inRange ? corrected : 0;
    }
  }
  // Another header right after the declared ones: the end record hides
  // entries that other programs show.
  const uint8_t* h = nullptr;
  if (r.Get(pos, 4, h) && Le32(h) == kSigCentral)
    return {ReadStatus::Damaged,
            "the central directory holds more entries than its end record declares (" + std::to_string(count) + ")",
            DirError::kMoreEntries, count};
  if (r.IoError()) return {ReadStatus::IoError, "the central directory cannot be read", DirError::kIo, count};
  return {};
}

const char* MethodName(uint16_t method) {
  switch (method) {
    case 0: return "Stored";
    case 1: return "Shrink";
    case 2: case 3: case 4: case 5: return "Reduce";
    case 6: return "Implode";
    case 8: return "Deflate";
    case 9: return "Deflate64";
    case 10: return "DCL Implode";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 18: return "TERSE";
    case 19: return "LZ77";
    case 20: case 93: return "Zstandard";
    case 94: return "MP3";
    case 95: return "XZ";
    case 96: return "JPEG";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES encryption";
    default: return "unknown";
  }
}

bool CentralEntry::IsDirectory() const {
  return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
}

uint32_t CentralEntry::UnixMode() const {
  const int host = versionMadeBy >> 8;
  if (host != 3 && host != 19) return 0;
  return externalAttr >> 16;
}

bool CentralEntry::IsSymlink() const { return (UnixMode() & S_IFMT) == S_IFLNK && !IsDirectory(); }

uint64_t CentralDirectory::FirstLocalOffset() const {
  uint64_t first = centralOffset;
  for (const auto& e : entries) first = std::min(first, e.localOffset);
  return first;
}

ReadResult ReadCentralDirectory(const ArchiveFile& file, CentralDirectory& out, CodePageRule rule) {
  out = CentralDirectory{};
  EndInfo end;
  ReadResult r = FindEndRecord(file, end);
  if (!r.Ok()) return r;
  if (end.disk != 0 || end.cdDisk != 0)
    return {ReadStatus::MultiDisk, "the archive is part of a multi-volume set", DirError::kMultiDisk};
  CentralSpan span;
  span.file = &file;
  span.pos = end.cdStart;
  span.end = end.cdEnd;
  r = ReadCentralEntries(span, end.entries, end.shift, end.cdStart, rule, out.entries);
  if (!r.Ok()) return r;
  out.comment = std::move(end.comment);
  out.endOffset = end.offset;
  out.zip64EndOffset = end.zip64EndOffset;
  out.centralOffset = end.cdStart;
  out.centralSize = end.cdSize;
  out.prefixShift = end.shift;
  out.declaredCount = end.entries;
  out.zip64 = end.zip64;
  return {};
}

namespace {

template <class Source>
ReadResult ReadLocalHeaderFrom(Source& file, uint64_t offset, LocalHeader& out) {
  // The strings keep their storage: a caller reading header after header
  // into one LocalHeader allocates nothing for most of them.
  std::string name = std::move(out.rawName), extra = std::move(out.extra);
  out = LocalHeader{};
  uint8_t h[kLocalHeaderSize];
  if (!file.ReadAt(offset, h, sizeof h)) return {ReadStatus::Damaged, "the local header lies past the end of the archive"};
  if (Le32(h) != kSigLocal) return {ReadStatus::Damaged, "no local header where the directory points"};
  out.headerOffset = offset;
  out.versionNeeded = Le16(h + 4);
  out.flags = Le16(h + 6);
  out.method = Le16(h + 8);
  out.dosTime = Le16(h + 10);
  out.dosDate = Le16(h + 12);
  out.crc = Le32(h + 14);
  out.compressedSize = Le32(h + 18);
  out.uncompressedSize = Le32(h + 22);
  const uint16_t nameLen = Le16(h + 26), extraLen = Le16(h + 28);
  name.resize(static_cast<size_t>(nameLen) + extraLen);
  if (!file.ReadAt(offset + kLocalHeaderSize, name.data(), name.size()))
    return {ReadStatus::Damaged, "the local header's name runs past the end of the archive"};
  extra.assign(name, nameLen, std::string::npos);
  name.resize(nameLen);
  out.rawName = std::move(name);
  out.extra = std::move(extra);
  out.dataOffset = offset + kLocalHeaderSize + nameLen + extraLen;
  const bool usat = out.uncompressedSize == 0xFFFFFFFFu, csat = out.compressedSize == 0xFFFFFFFFu;
  ExtraTimes times;
  ForEachExtraBlock(out.extra, [&](uint16_t id, const uint8_t* d, size_t n) {
    if (id == kExtraZip64) {
      out.zip64Extra = true;
      // The local copy holds both sizes when it is present at all.
      if (n >= 16) {
        if (usat) out.uncompressedSize = Le64(d);
        if (csat) out.compressedSize = Le64(d + 8);
      } else if (n >= 8 && usat) {
        out.uncompressedSize = Le64(d);
      }
    } else {
      times.Take(id, d, n);
    }
  });
  out.mtime = times.Best();
  return {};
}

}  // namespace

ReadResult ReadLocalHeader(const ArchiveFile& file, uint64_t offset, LocalHeader& out) {
  return ReadLocalHeaderFrom(file, offset, out);
}

ReadResult ReadLocalHeader(ArchiveWindow& window, uint64_t offset, LocalHeader& out) {
  return ReadLocalHeaderFrom(window, offset, out);
}

uint32_t DescriptorSize(const ArchiveFile& file, uint64_t offset, bool zip64Sizes, uint32_t crc) {
  uint8_t d[24] = {};
  const size_t want = zip64Sizes ? 24 : 16;
  const size_t have = static_cast<size_t>(std::min<uint64_t>(want, file.Size() > offset ? file.Size() - offset : 0));
  if (have < (zip64Sizes ? 20u : 12u) || !file.ReadAt(offset, d, have)) return 0;
  // With the signature the CRC follows it; a signature-less descriptor
  // whose CRC happens to equal the signature is told apart by the CRC.
  if (Le32(d) == kSigDescriptor && !(crc == kSigDescriptor && Le32(d + 4) != crc))
    return zip64Sizes ? 24 : 16;
  return zip64Sizes ? 20 : 12;
}

OverlapReport FindOverlaps(const ArchiveFile& file, const CentralDirectory& dir) {
  OverlapReport r;
  const size_t n = dir.entries.size();
  r.dataOffsets.assign(n, 0);
  struct Span {
    uint64_t begin, end;
    size_t index;
  };
  std::vector<Span> spans;
  spans.reserve(n);
  // Headers usually follow one another: one read serves many of them.
  ArchiveWindow window(file);
  for (size_t i = 0; i < n; ++i) {
    const auto& e = dir.entries[i];
    const uint8_t* h = e.problem.empty() ? window.Get(e.localOffset, kLocalHeaderSize) : nullptr;
    if (!h || Le32(h) != kSigLocal) {
      r.unreadable.push_back(i);
      continue;
    }
    const uint64_t data = e.localOffset + kLocalHeaderSize + Le16(h + 26) + Le16(h + 28);
    r.dataOffsets[i] = data;
    // Data running into the directory or past it is an overlap with the
    // directory itself, reported as an entry paired with itself.
    if (e.compressedSize > dir.centralOffset || data > dir.centralOffset - e.compressedSize) {
      r.overlaps.emplace_back(i, i);
      continue;
    }
    spans.push_back({e.localOffset, data + e.compressedSize, i});
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
  // Each span is checked against the furthest end seen so far, so chains of
  // overlaps are all found without comparing every pair.
  size_t furthest = 0;
  for (size_t k = 1; k < spans.size(); ++k) {
    if (spans[k].begin < spans[furthest].end) r.overlaps.emplace_back(spans[furthest].index, spans[k].index);
    if (spans[k].end > spans[furthest].end) furthest = k;
  }
  return r;
}

}  // namespace arkelin::engine::zip::dll
