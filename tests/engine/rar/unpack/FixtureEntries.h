// Test support: the entries of a fixture archive with their packed data, from
// a minimal walk over RAR 4 and RAR 5 headers (plain headers only; split
// entries are joined across the volumes given; packed data cut short by the
// end of the file is kept as far as it goes). Only what the decoder tests
// need: format, solid flag, sizes, CRC and the packed bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack::test {

struct FixtureEntry {
  std::string name;
  Format format = Format::Rar29;
  bool stored = false;     // METHOD 0x30 / RAR 5 method 0
  bool directory = false;
  bool encrypted = false;
  bool solid = false;      // continues the previous entry's stream
  bool hasCrc = false;
  bool crc16 = false;
  bool truncated = false;  // the volume ends inside the packed data (kept as far as it goes)      // an old embedded comment: only the low 16 bits are stored
  bool unknownSize = false;
  uint32_t crc = 0;
  uint64_t unpackedSize = 0;
  uint64_t dictionarySize = 0;
  int unpackVersion = 0;   // RAR 4 UNP_VER, or 50/70
  std::vector<uint8_t> packed;
};

// Embedded comments of old archives (main header flag 0x0002) are listed as
// entries named "<comment>".
// Reads the volumes (in order) of one archive. Empty when the headers cannot
// be walked (encrypted headers, not a RAR archive); `error` says why.
std::vector<FixtureEntry> ReadFixtureEntries(const std::vector<std::string>& volumes, std::string* error = nullptr);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string FixturePath(const std::string& name);  // in the RAR fixtures folder

}  // namespace arkelin::engine::rar::unpack::test
