// The directory reader: end record search, Zip64 records, central headers
// with their extra fields, local headers, data descriptors and the overlap
// check that guards extraction against entries sharing bytes.
#include "engine/zip/dll/common/CentralDirectory.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "engine/common/CodePage437.h"
#include "engine/common/Crc32.h"
#include "engine/zip/dll/common/ZipFormat.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr uint64_t kMaxEndSearch = kEndRecordSize + 0xFFFF;
// The whole central directory is read at once; beyond this size (several
// million entries) the archive is refused rather than read piecewise.
constexpr uint64_t kMaxCentralSize = 512ull << 20;

// Applies the central header's extra fields to the entry.
void ParseCentralExtra(CentralEntry& e, bool sizeSat, bool csizeSat, bool offsetSat, bool diskSat) {
  bool haveUnicode = false;
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
                  take8(offsetSat, e.localOffset);
      if (good && diskSat) {
        if (p + 4 > n) good = false;
        else e.diskStart = Le32(d + p);
      }
      if (!good) e.problem = "the Zip64 extra field is too short";
    } else if (id == kExtraTimestamp) {
      if (n >= 5 && (d[0] & 1)) e.mtime = static_cast<int32_t>(Le32(d + 1));
    } else if (id == kExtraUnicodePath) {
      if (n >= 5 && d[0] == 1 && Le32(d + 1) == common::Crc32(0, e.rawName.data(), e.rawName.size())) {
        e.name.assign(reinterpret_cast<const char*>(d + 5), n - 5);
        haveUnicode = true;
      }
    }
  });
  // A block running past the end is ignored with the rest of the field;
  // the entry stays usable unless it needed a value from it.
  e.extraDamaged = !ok;
  if (haveUnicode && !common::IsValidUtf8(e.name)) e.name = common::Utf8OrCp437(e.name);
  // A saturated value without its Zip64 field cannot be trusted.
  if (e.problem.empty() && !e.zip64 && (sizeSat || csizeSat || offsetSat))
    e.problem = "a size or offset needs a Zip64 extra field that is missing";
}

struct EndRecord {
  uint64_t offset = 0;
  uint16_t disk = 0, cdDisk = 0;
  uint64_t entriesHere = 0, entries = 0, cdSize = 0, cdOffset = 0;
  std::string comment;
};

}  // namespace

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

ReadResult ReadCentralDirectory(const ArchiveFile& file, CentralDirectory& out) {
  out = CentralDirectory{};
  const uint64_t size = file.Size();
  if (size < kEndRecordSize) return {ReadStatus::NotZip, "the file is too short to be a ZIP archive"};
  const uint64_t tailLen = std::min(size, kMaxEndSearch);
  std::string tail(static_cast<size_t>(tailLen), '\0');
  if (!file.ReadAt(size - tailLen, tail.data(), tail.size())) return {ReadStatus::IoError, "the archive cannot be read"};
  const auto* t = reinterpret_cast<const uint8_t*>(tail.data());

  // Candidates from the end backwards; the first that describes a directory
  // that really is where it says (or can be found by the shift rule) wins.
  ReadResult firstFailure{ReadStatus::NotZip, "no end of central directory record was found"};
  for (int64_t i = static_cast<int64_t>(tailLen) - static_cast<int64_t>(kEndRecordSize); i >= 0; --i) {
    if (Le32(t + i) != kSigEnd) continue;
    EndRecord er;
    er.offset = size - tailLen + static_cast<uint64_t>(i);
    er.disk = Le16(t + i + 4);
    er.cdDisk = Le16(t + i + 6);
    er.entriesHere = Le16(t + i + 8);
    er.entries = Le16(t + i + 10);
    er.cdSize = Le32(t + i + 12);
    er.cdOffset = Le32(t + i + 16);
    const uint16_t commentLen = Le16(t + i + 20);
    // A comment running past the end of the file is a false candidate
    // (or a truncated comment); trailing junk after it is tolerated.
    const uint64_t avail = tailLen - static_cast<uint64_t>(i) - kEndRecordSize;
    if (commentLen > avail) {
      if (firstFailure.status == ReadStatus::NotZip)
        firstFailure = {ReadStatus::Damaged, "the archive comment runs past the end of the file"};
      continue;
    }
    er.comment.assign(tail.data() + i + kEndRecordSize, commentLen);

    // Zip64: the locator sits right before the end record.
    uint64_t cdEnd = er.offset;
    bool zip64 = false;
    uint64_t zip64EndOffset = 0;
    if (er.offset >= kZip64LocatorSize) {
      uint8_t loc[kZip64LocatorSize];
      if (file.ReadAt(er.offset - kZip64LocatorSize, loc, sizeof loc) && Le32(loc) == kSigZip64Locator) {
        const uint64_t declared = Le64(loc + 8);
        // The record normally sits right before the locator; try the declared
        // place first, then that one (a stub before the archive shifts it).
        uint64_t candidates[2] = {declared, er.offset - kZip64LocatorSize >= kZip64EndSize
                                                ? er.offset - kZip64LocatorSize - kZip64EndSize
                                                : UINT64_MAX};
        for (uint64_t c : candidates) {
          uint8_t rec[kZip64EndSize];
          if (c == UINT64_MAX || !file.ReadAt(c, rec, sizeof rec) || Le32(rec) != kSigZip64End) continue;
          zip64 = true;
          zip64EndOffset = c;
          cdEnd = c;
          er.disk = static_cast<uint16_t>(std::min<uint32_t>(Le32(rec + 16), 0xFFFF));
          er.cdDisk = static_cast<uint16_t>(std::min<uint32_t>(Le32(rec + 20), 0xFFFF));
          er.entriesHere = Le64(rec + 24);
          er.entries = Le64(rec + 32);
          er.cdSize = Le64(rec + 40);
          er.cdOffset = Le64(rec + 48);
          break;
        }
      }
    }
    if (er.disk != 0 || er.cdDisk != 0) {
      return {ReadStatus::MultiDisk, "the archive is part of a multi-volume set"};
    }
    if (er.cdSize > cdEnd) {
      if (firstFailure.status == ReadStatus::NotZip)
        firstFailure = {ReadStatus::Damaged, "the central directory size is larger than the archive"};
      continue;
    }
    // Where the directory really is, and the shift against the stored offset.
    const uint64_t actual = cdEnd - er.cdSize;
    int64_t shift = static_cast<int64_t>(actual) - static_cast<int64_t>(er.cdOffset);
    uint8_t sig[4] = {};
    const bool sigAtActual = er.cdSize >= 4 && file.ReadAt(actual, sig, 4) && Le32(sig) == kSigCentral;
    uint64_t cdStart = actual;
    if (er.cdSize == 0) {
      shift = 0;
      cdStart = std::min<uint64_t>(er.cdOffset, cdEnd);
    } else if (!sigAtActual) {
      // Something sits between the directory and the end record; believe
      // the stored offset if a central header is there.
      if (er.cdOffset + er.cdSize <= cdEnd && file.ReadAt(er.cdOffset, sig, 4) && Le32(sig) == kSigCentral) {
        shift = 0;
        cdStart = er.cdOffset;
      } else {
        if (firstFailure.status == ReadStatus::NotZip)
          firstFailure = {ReadStatus::Damaged, "the central directory is not where the end record says"};
        continue;
      }
    }
    if (er.cdSize > kMaxCentralSize) return {ReadStatus::Damaged, "the central directory is too large"};

    std::string cd(static_cast<size_t>(er.cdSize), '\0');
    if (!file.ReadAt(cdStart, cd.data(), cd.size())) return {ReadStatus::IoError, "the central directory cannot be read"};
    const auto* c = reinterpret_cast<const uint8_t*>(cd.data());
    out.entries.reserve(static_cast<size_t>(std::min<uint64_t>(er.entries, cd.size() / kCentralHeaderSize)));
    size_t p = 0;
    while (p + kCentralHeaderSize <= cd.size() && Le32(c + p) == kSigCentral) {
      CentralEntry e;
      e.centralOffset = cdStart + p;
      e.versionMadeBy = Le16(c + p + 4);
      e.versionNeeded = Le16(c + p + 6);
      e.flags = Le16(c + p + 8);
      e.method = Le16(c + p + 10);
      e.dosTime = Le16(c + p + 12);
      e.dosDate = Le16(c + p + 14);
      e.crc = Le32(c + p + 16);
      const uint32_t csize = Le32(c + p + 20), usize = Le32(c + p + 24);
      const uint16_t nameLen = Le16(c + p + 28), extraLen = Le16(c + p + 30), commentLen2 = Le16(c + p + 32);
      const uint16_t disk = Le16(c + p + 34);
      e.internalAttr = Le16(c + p + 36);
      e.externalAttr = Le32(c + p + 38);
      const uint32_t offset = Le32(c + p + 42);
      const size_t total = kCentralHeaderSize + nameLen + extraLen + commentLen2;
      if (p + total > cd.size()) return {ReadStatus::Damaged, "a central directory header runs past the directory"};
      e.rawName.assign(cd.data() + p + kCentralHeaderSize, nameLen);
      e.extra.assign(cd.data() + p + kCentralHeaderSize + nameLen, extraLen);
      e.comment.assign(cd.data() + p + kCentralHeaderSize + nameLen + extraLen, commentLen2);
      e.compressedSize = csize;
      e.uncompressedSize = usize;
      e.localOffset = offset;
      e.diskStart = disk;
      e.name = (e.flags & kFlagUtf8) && common::IsValidUtf8(e.rawName) ? e.rawName : common::Utf8OrCp437(e.rawName);
      ParseCentralExtra(e, usize == 0xFFFFFFFFu, csize == 0xFFFFFFFFu, offset == 0xFFFFFFFFu, disk == 0xFFFF);
      if (e.rawName.find('\0') != std::string::npos && e.problem.empty()) e.problem = "the name holds a NUL byte";
      // Offsets are stored relative to where the writer thought the
      // archive began; 64-bit arithmetic, checked before use.
      const int64_t corrected = static_cast<int64_t>(e.localOffset) + shift;
      if (corrected < 0 || static_cast<uint64_t>(corrected) >= cdStart) {
        if (e.problem.empty()) e.problem = "the local header offset lies outside the archive data";
        e.localOffset = 0;
      } else {
        e.localOffset = static_cast<uint64_t>(corrected);
      }
      out.entries.push_back(std::move(e));
      p += total;
    }
    out.comment = std::move(er.comment);
    out.endOffset = er.offset;
    out.zip64EndOffset = zip64EndOffset;
    out.centralOffset = cdStart;
    out.centralSize = er.cdSize;
    out.prefixShift = shift;
    out.declaredCount = er.entries;
    out.zip64 = zip64;
    return {};
  }
  return firstFailure;
}

ReadResult ReadLocalHeader(const ArchiveFile& file, uint64_t offset, LocalHeader& out) {
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
  std::string ne(static_cast<size_t>(nameLen) + extraLen, '\0');
  if (!file.ReadAt(offset + kLocalHeaderSize, ne.data(), ne.size()))
    return {ReadStatus::Damaged, "the local header's name runs past the end of the archive"};
  out.rawName = ne.substr(0, nameLen);
  out.extra = ne.substr(nameLen);
  out.dataOffset = offset + kLocalHeaderSize + nameLen + extraLen;
  const bool usat = out.uncompressedSize == 0xFFFFFFFFu, csat = out.compressedSize == 0xFFFFFFFFu;
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
    } else if (id == kExtraTimestamp) {
      if (n >= 5 && (d[0] & 1)) out.mtime = static_cast<int32_t>(Le32(d + 1));
    }
  });
  return {};
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
  uint8_t h[kLocalHeaderSize];
  for (size_t i = 0; i < n; ++i) {
    const auto& e = dir.entries[i];
    if (!e.problem.empty() || !file.ReadAt(e.localOffset, h, sizeof h) || Le32(h) != kSigLocal) {
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
