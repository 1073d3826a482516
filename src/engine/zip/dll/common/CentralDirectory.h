// Reading a ZIP archive's directory from a file: the end record is searched
// backwards over at most 65,557 bytes and each candidate validated; the
// Zip64 locator and end record are used when present and consistent; the
// central directory is read header by header with every extra field parsed
// by bounded type-length steps (Zip64 sizes and offset, the extended
// timestamp, the Unicode path field). A self-extracting stub whose offsets
// were not adjusted is detected by comparing where the directory really is
// with where the end record says it is, and every local header offset is
// corrected by that shift.
//
// No declared size or count is used to size an allocation beyond what the
// file can hold. Entries are not decompressed here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/zip/dll/common/ArchiveFile.h"

namespace arkelin::engine::zip::dll {

enum class ReadStatus {
  Ok,
  NotZip,      // no valid end record
  Damaged,     // end record found, directory unreadable or inconsistent
  MultiDisk,   // a part of a multi-volume set; the engine reads single files only
  IoError,
};

struct ReadResult {
  ReadStatus status = ReadStatus::Ok;
  std::string message;  // empty when Ok
  bool Ok() const { return status == ReadStatus::Ok; }
};

struct CentralEntry {
  std::string rawName;     // the name bytes as stored
  std::string name;        // UTF-8: flag bit 11, a matching Unicode path field, else code page 437
  std::string comment;     // raw bytes
  std::string extra;       // the central header's extra field, raw
  uint16_t versionMadeBy = 0;
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
  uint64_t centralOffset = 0;  // where this central header sits in the file
  int64_t mtime = -1;          // extended timestamp, UTC seconds; -1 when absent
  bool zip64 = false;          // a Zip64 extra field supplied a value
  bool extraDamaged = false;   // the extra field has a block running past its end
  std::string problem;         // set when a field of this entry is unusable

  bool IsEncrypted() const { return flags & 0x0001; }
  // A name ending in a separator is a folder whatever the attributes say.
  bool IsDirectory() const;
  // Unix mode bits when the creator was a Unix-like host, else 0.
  uint32_t UnixMode() const;
  bool IsSymlink() const;
};

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

// Reads the whole directory of the open file into `out`.
ReadResult ReadCentralDirectory(const ArchiveFile& file, CentralDirectory& out);

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
  int64_t mtime = -1;        // from the local extended timestamp
  bool zip64Extra = false;   // carries a Zip64 field: a data descriptor then has 8-byte sizes
};

// Reads the local header at `offset`.
ReadResult ReadLocalHeader(const ArchiveFile& file, uint64_t offset, LocalHeader& out);

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
