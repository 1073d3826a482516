// Byte layouts of the records the zip library writes: local headers,
// central headers, the Zip64 end record with its locator and the end
// record. Everything is little-endian. The builders decide on their own
// when a value no longer fits its 16- or 32-bit field and then move it into
// the Zip64 extra field (0x0001) or the Zip64 end record, so the callers
// only ever deal with full 64-bit values. Nothing here touches files.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace arkelin::engine::zip::zipdll {

inline constexpr uint32_t kLocalSig = 0x04034B50;
inline constexpr uint32_t kCentralSig = 0x02014B50;
inline constexpr uint32_t kEndSig = 0x06054B50;
inline constexpr uint32_t kZip64EndSig = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064B50;
inline constexpr uint32_t kDescriptorSig = 0x08074B50;

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;

inline constexpr uint16_t kMethodStore = 0;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint16_t kMethodAes = 99;  // the real method is in the 0x9901 field

inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraTime = 0x5455;

// Unix host, format version 3.0 (entries needing Zip64 say 4.5 in their
// version-needed field).
inline constexpr uint16_t kMadeByUnix = (3 << 8) | 30;

// One entry as the central directory will describe it.
struct OutEntry {
  uint16_t madeBy = kMadeByUnix;
  uint16_t needed = 20;
  uint16_t flags = 0;
  uint16_t method = kMethodDeflate;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t csize = 0;
  uint64_t usize = 0;
  uint64_t offset = 0;      // of the local header, from the start of the file
  uint16_t internalAttr = 0;
  uint32_t externalAttr = 0;
  std::string name;         // "/" separators, as stored
  std::string extra;        // every extra block except 0x0001
  std::string comment;
};

// The central header; adds a 0x0001 block for the saturated fields.
std::string BuildCentralHeader(const OutEntry& e);

// A local header for a new entry. With zip64 the header carries a 0x0001
// block holding both sizes (so it can be patched once they are known) and
// 0xFFFFFFFF in the 32-bit size fields. localExtra comes after that block.
std::string BuildLocalHeader(const OutEntry& e, bool zip64, const std::string& localExtra);

// Offset of the CRC field inside a local header, and of the two 64-bit sizes
// inside one built with zip64 (relative to the header start).
inline constexpr size_t kLocalCrcOffset = 14;
inline size_t LocalZip64SizesOffset(const OutEntry& e) { return 30 + e.name.size() + 4; }

// Data descriptor with signature; 8-byte sizes when the local header had a
// Zip64 block.
std::string BuildDescriptor(uint32_t crc, uint64_t csize, uint64_t usize, bool zip64);

// The end of the archive: Zip64 end record and locator when a count, size or
// offset does not fit, then the end record with the archive comment (cut to
// 65535 bytes).
std::string BuildEnd(uint64_t count, uint64_t cdSize, uint64_t cdOffset, const std::string& comment);

// Removes every block with the given id; a block running past the end and
// whatever follows it is dropped too, so the result is always well formed.
std::string StripExtraBlock(const std::string& extra, uint16_t id);

// The AES scheme version an entry of `size` uncompressed bytes is written
// with: AE-2 (no CRC) for the smallest entries, whose CRC would say much
// about the contents, AE-1 (CRC kept) for the others.
inline uint16_t AesVersionFor(uint64_t size) { return size < 20 ? 2 : 1; }

// The extended timestamp block (modification time only).
std::string TimeExtra(int64_t mtime);

// DOS date and time of a file to store: odd seconds round up, so a stored
// stamp is never older than the file (update and freshen compare stamps
// made this same way).
void ToDosTime(int64_t unixTime, uint16_t& dosTime, uint16_t& dosDate);

}  // namespace arkelin::engine::zip::zipdll
