// The one reader of a ZIP archive's directory, for TZipMaster's listing and
// for both engine libraries, so a name the window shows is the name the
// engine finds and an archive one of them reads is read the same way by the
// others.
//
// FindEndRecord searches the end record backwards over at most 65,557
// bytes and validates each candidate: its comment must fit in the file, a
// Zip64 locator right before it must lead to a Zip64 end record, and the
// central directory must be where the record says (or where its size puts
// it, which finds a self-extractor stub whose offsets were never adjusted).
// Candidates lying inside the chosen record's comment are comment bytes.
// Any other candidate nearer the end than the chosen one is a damaged later
// end record, and the archive is reported damaged rather than read through
// an earlier record: readers that pick different end records show different
// contents, a known way to smuggle files past a checker. A lone end record
// whose comment runs past the end of the file is taken with the comment cut.
//
// ReadCentralEntries then reads exactly the number of entries the end
// record declares, header by header inside the directory's bytes, with every
// extra field parsed by bounded type-length steps (Zip64 sizes and offset,
// the extended, NTFS and old Unix timestamps, the Unicode path and comment
// fields). A header cut short, a wrong signature, a name, extra field or
// comment running past the directory, and more headers than declared all
// fail the read with the entry's number: nothing is dropped silently. Names
// and comments are turned into UTF-8 by one rule (DecodeStoredText).
//
// No declared size or count sizes an allocation beyond what the file holds.
// Entries are not decompressed here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/NameEncoding.h"

namespace arkelin::engine::zip::dll {

enum class ReadStatus {
  Ok,
  NotZip,      // no valid end record
  Damaged,     // end record found, directory unreadable or inconsistent
  MultiDisk,   // a part of a multi-volume set; the engine reads single files only
  IoError,
};

// What exactly went wrong, for callers that report their own messages.
enum class DirError {
  kNone,
  kNoEndRecord,      // no end record signature at all
  kEndDamaged,       // the (last) end record is unusable or contradicts an earlier one
  kMultiDisk,
  kCentralTooLarge,  // the directory's size is larger than the file before the end record
  kCentralNotFound,  // no central header where the end record puts the directory
  kHeaderCut,        // fewer entries than declared: a fixed header is cut short
  kBadSignature,     // a header without the central header signature
  kNameCut,
  kExtraCut,
  kCommentCut,
  kMoreEntries,      // the directory holds more headers than declared
  kIo,
};

struct ReadResult {
  ReadStatus status = ReadStatus::Ok;
  std::string message;  // empty when Ok
  DirError error = DirError::kNone;
  uint64_t index = 0;   // the entry (0-based) a header error is about
  bool Ok() const { return status == ReadStatus::Ok; }
};

// How names without the UTF-8 flag are read. Names with bit 11 are UTF-8,
// and a Unicode path field (0x7075) whose CRC matches the stored name gives
// the name whatever the rule. Otherwise, with a code page chosen for the
// archive (the NameEncoding in the rule's second byte, NameEncoding.h),
// every such name is converted from it. Without one ("Auto"): names from
// MS-DOS (host 0) with kAuto, from OS/2 HPFS (host 6), from Windows NTFS
// with version 5.0 (host 11, version 50), and every name with kOem are
// converted from the OEM code page (437) byte by byte; the others are taken
// as UTF-8, and their bytes that are no valid UTF-8 as code page 437. The
// result is always valid UTF-8. The values of the low byte match
// TZipMaster's CodePageOpts.
enum class CodePageRule : int32_t { kAuto = 0, kNone = 1, kOem = 2 };

std::string DecodeStoredText(const std::string& raw, uint16_t versionMadeBy, uint16_t flags, CodePageRule rule);

struct CentralEntry {
  std::string rawName;     // the name bytes as stored
  std::string name;        // UTF-8 by DecodeStoredText or a matching Unicode path field; separators as stored
  std::string comment;     // raw bytes
  std::string unicodeComment;  // UTF-8 from a Unicode comment field (0x6375) whose CRC matches; else empty
  std::string extra;       // the central header's extra field, raw
  uint16_t versionMadeBy = 0;  // host in the high byte, version in the low one
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint16_t internalAttr = 0;
  uint32_t externalAttr = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localOffset = 0;    // in the file, already corrected by the prefix shift
  uint32_t diskStart = 0;
  // The fixed header's own values (saturated ones included) and the local
  // header offset as stored, after Zip64 but before the prefix shift.
  uint32_t headerCompressed = 0;
  uint32_t headerUncompressed = 0;
  uint32_t headerOffset = 0;
  uint16_t headerDisk = 0;
  uint64_t storedOffset = 0;
  uint64_t centralOffset = 0;  // where this central header sits in its volume
  int64_t mtime = -1;          // UTC seconds from the extended timestamp, else the NTFS times, else the old Unix field; -1 when none
  // The AES field (0x9901): scheme version 1 or 2, strength 1..3 and the
  // real method; aesVersion 0 when the entry has none.
  uint16_t aesVersion = 0;
  uint8_t aesStrength = 0;
  uint16_t aesMethod = 0;
  bool zip64 = false;          // a Zip64 extra field supplied a value
  bool extraDamaged = false;   // the extra field has a block running past its end
  std::string problem;         // set when a field of this entry is unusable

  bool IsEncrypted() const { return flags & 0x0001; }
  bool IsAes() const { return method == 99; }
  // The compression method behind the encryption: the AES field's for an
  // AES entry, else the header's.
  uint16_t RealMethod() const { return IsAes() && aesVersion ? aesMethod : method; }
  // A name ending in a separator is a folder whatever the attributes say.
  bool IsDirectory() const;
  // Unix mode bits when the creator was a Unix-like host, else 0.
  uint32_t UnixMode() const;
  bool IsSymlink() const;
};

// The end record as FindEndRecord chose it, widened by the Zip64 end record
// where that holds the real values.
struct EndInfo {
  uint64_t fileSize = 0;
  uint64_t offset = 0;        // of the end record
  uint64_t dataEnd = 0;       // just past the record and the comment bytes present
  std::string comment;        // raw
  bool commentCut = false;    // the comment runs past the end of the file
  bool zip64 = false;
  uint64_t zip64EndOffset = 0;
  uint64_t disk = 0, cdDisk = 0;
  uint64_t entriesHere = 0, entries = 0, cdSize = 0, cdOffset = 0;
  // On this volume (when the directory starts here): where its bytes end
  // (the Zip64 end record or the end record), where they start, and the
  // shift of every stored offset (cdStart - cdOffset).
  uint64_t cdEnd = 0;
  uint64_t cdStart = 0;
  int64_t shift = 0;
  bool DirectoryHere() const { return disk == cdDisk; }
};

ReadResult FindEndRecord(const ArchiveFile& file, EndInfo& out);

// Where central headers are read from: bytes [pos, end) of one volume, and
// for a directory continuing on the following volumes a function that
// opens the next one (setting the new file and its end) or answers false.
struct CentralSpan {
  const ArchiveFile* file = nullptr;
  uint64_t pos = 0;
  uint64_t end = 0;
  std::function<bool(const ArchiveFile*& file, uint64_t& end)> nextVolume;
};

// Reads `count` entries. Offsets are corrected by `shift`; with
// `offsetLimit` above 0 an entry whose local header would lie at or past it
// gets a problem instead.
ReadResult ReadCentralEntries(CentralSpan span, uint64_t count, int64_t shift, uint64_t offsetLimit,
                              CodePageRule rule, std::vector<CentralEntry>& out);

struct CentralDirectory {
  std::vector<CentralEntry> entries;
  std::string comment;            // archive comment, raw bytes
  uint64_t endOffset = 0;         // offset of the end record in the file
  uint64_t zip64EndOffset = 0;    // offset of the Zip64 end record, 0 when none
  uint64_t centralOffset = 0;     // where the central directory really starts
  uint64_t centralSize = 0;
  int64_t prefixShift = 0;        // bytes added to every stored offset
  uint64_t declaredCount = 0;     // what the end record(s) say
  bool zip64 = false;
  // Offset of the first local header: the length of any prefix (a
  // self-extractor stub) that a rewrite must keep.
  uint64_t FirstLocalOffset() const;
};

// The whole directory of a single-file archive (the engine libraries' view:
// a part of a multi-volume set is refused as MultiDisk).
ReadResult ReadCentralDirectory(const ArchiveFile& file, CentralDirectory& out,
                                CodePageRule rule = CodePageRule::kAuto);

struct LocalHeader {
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  std::string rawName;
  std::string extra;
  uint64_t headerOffset = 0;
  uint64_t dataOffset = 0;   // first byte after the header, name and extra field
  int64_t mtime = -1;        // from the local extra fields, by the same precedence
  bool zip64Extra = false;   // carries a Zip64 field: a data descriptor then has 8-byte sizes
};

// Reads the local header at `offset`.
ReadResult ReadLocalHeader(const ArchiveFile& file, uint64_t offset, LocalHeader& out);
ReadResult ReadLocalHeader(ArchiveWindow& window, uint64_t offset, LocalHeader& out);

// Size of the data descriptor that follows an entry's data at `offset`
// (12, 16, 20 or 24 bytes), or 0 when none can be recognised there. `crc`
// is the entry's CRC from the central directory, used to decide whether a
// descriptor begins with the optional signature.
uint32_t DescriptorSize(const ArchiveFile& file, uint64_t offset, bool zip64Sizes, uint32_t crc);

// Type-length walk over an extra field: calls `fn(id, data, size)` for each
// well-formed block; answers false when a block runs past the end.
template <class Fn>
bool ForEachExtraBlock(const std::string& extra, Fn&& fn);

// Entries whose stored bytes (local header up to the end of the data) share
// any byte with another entry or with the central directory; each pair
// reported once as "first" and "second" indexes. Local headers are read to
// find each data start; an unreadable header counts as a problem of its own
// (index in `unreadable`).
struct OverlapReport {
  std::vector<std::pair<size_t, size_t>> overlaps;
  std::vector<size_t> unreadable;
  std::vector<uint64_t> dataOffsets;  // per entry, 0 when unreadable
};
OverlapReport FindOverlaps(const ArchiveFile& file, const CentralDirectory& dir);

// --- implementation of the template ---
template <class Fn>
bool ForEachExtraBlock(const std::string& extra, Fn&& fn) {
  size_t pos = 0;
  const auto* b = reinterpret_cast<const uint8_t*>(extra.data());
  while (pos + 4 <= extra.size()) {
    const uint16_t id = static_cast<uint16_t>(b[pos] | (b[pos + 1] << 8));
    const uint16_t len = static_cast<uint16_t>(b[pos + 2] | (b[pos + 3] << 8));
    if (pos + 4 + len > extra.size()) return false;
    fn(id, b + pos + 4, static_cast<size_t>(len));
    pos += 4 + len;
  }
  // A few trailing bytes too short for a block header are padding some
  // writers leave; they are not an error.
  return true;
}

}  // namespace arkelin::engine::zip::dll
