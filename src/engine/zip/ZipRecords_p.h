// The ZIP records as the directory reader parses them: signatures, fixed
// sizes, little-endian field access and the bounds-checked extra-field walk
// (Zip64 extended information 0x0001, Unicode path 0x7075). Internal to the
// engine; every access stays inside the buffer it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/LittleEndian.h"
#include "engine/zip/ZipMstr.h"

namespace arkelin::engine::zip {

inline constexpr uint32_t kSigLocal = 0x04034b50;
inline constexpr uint32_t kSigCentral = 0x02014b50;
inline constexpr uint32_t kSigEocd = 0x06054b50;
inline constexpr uint32_t kSigSpanMarker = 0x08074b50;
inline constexpr uint32_t kSigZip64Eocd = 0x06064b50;
inline constexpr uint32_t kSigZip64Locator = 0x07064b50;
inline constexpr int64_t kEocdSize = 22;
inline constexpr int64_t kCentralSize = 46;
inline constexpr int64_t kMaxCommentSize = 65535;
inline constexpr int64_t kZip64LocatorSize = 20;
inline constexpr int64_t kZip64EocdSize = 56;

// The end record's fields, widened; the Zip64 end record may replace them.
struct EndRecord {
  uint64_t thisDisk = 0;
  uint64_t centralDisk = 0;
  uint64_t entriesThisDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t centralSize = 0;
  uint64_t centralOffset = 0;
  uint16_t commentLength = 0;
};

EndRecord ParseEndRecord(const uint8_t* eocd);
// Takes the Zip64 end record's value for every field the end record saturated.
void ApplyZip64EndRecord(const uint8_t* rec, EndRecord& end);
// Copies the central header's fixed fields (bytes 4 to 45) into e and sets
// the 64-bit values to the stored ones.
void ParseCentralFixed(const uint8_t* h, ZipDirEntry& e);
// Walks the extra field: Zip64 values for the saturated sizes, offset and
// disk; a Unicode path field whose CRC matches rawName sets e.FileName (UTF-8,
// not yet with backslashes). A field running past the end stops the walk.
void ApplyExtraFields(const uint8_t* p, size_t n, const std::string& rawName, ZipDirEntry& e);

}  // namespace arkelin::engine::zip
