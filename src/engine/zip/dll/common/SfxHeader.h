// The 256-byte parameter block of a self-extracting archive, written right
// after the stub program and read back by the stub when it runs:
//
//   offset 0  "MPU"
//          3  option bits (kSfx... below)
//          4  caption length, 5 default folder length, 6 command line length
//          7  the three strings back to back, no terminators; rest zero
//
// The three strings together hold at most 249 bytes. Shared by the
// component (which builds the block) and the stub (which parses it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace arkelin::engine::zip::dll {

inline constexpr size_t kSfxHeaderSize = 256;
inline constexpr size_t kSfxStringRoom = kSfxHeaderSize - 7;  // 249

inline constexpr uint8_t kSfxAskCmdLine = 1;
inline constexpr uint8_t kSfxAskFiles = 2;
inline constexpr uint8_t kSfxHideOverwrite = 4;
inline constexpr uint8_t kSfxOverwriteAlways = 8;
inline constexpr uint8_t kSfxOverwriteNever = 16;
inline constexpr uint8_t kSfxNoSizeCheck = 32;
inline constexpr uint8_t kSfxAutoRun = 64;

struct SfxHeader {
  uint8_t options = 0;
  std::string caption;
  std::string defaultDir;
  std::string commandLine;
};

// The block for `h`; false (and `out` untouched) when the strings need more
// than kSfxStringRoom bytes.
bool BuildSfxHeader(const SfxHeader& h, uint8_t (&out)[kSfxHeaderSize]);

// Reads a block; false when it does not start with "MPU" or its lengths
// run past its end.
bool ParseSfxHeader(const uint8_t* block, size_t size, SfxHeader& out);

}  // namespace arkelin::engine::zip::dll
