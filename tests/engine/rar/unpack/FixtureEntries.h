// Test support: the entries of a fixture archive with their packed data, as
// the archive layer's reader (engine/rar/archive/RarReader) finds them: the
// data of every volume part joined and, with a password, decrypted. Only
// what the decoder tests need: format, solid flag, sizes, CRC and the packed
// bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack::test {

struct FixtureEntry {
  std::string name;
  Format format = Format::Rar29;
  bool decodable = false;  // compressed with a format the decoders know, data at hand
  bool stored = false;     // METHOD 0x30 / RAR 5 method 0
  bool directory = false;
  bool encrypted = false;  // and no password was given
  bool solid = false;      // continues the previous entry's stream
  bool hasCrc = false;     // a plain (not MAC-converted) CRC32 of the data
  bool unknownSize = false;
  uint32_t crc = 0;
  uint64_t unpackedSize = 0;
  uint64_t dictionarySize = 0;
  std::vector<uint8_t> packed;
};

struct FixtureArchive {
  std::vector<FixtureEntry> entries;
  std::string comment;  // the archive comment, when the reader decoded one
  std::string error;    // why the archive could not be walked (entries then as far as they went)
};

// Reads the archive whose first volume is `first` (later volumes are found
// beside it), decrypting with `password` when one is given.
FixtureArchive ReadFixture(const std::string& first, const std::string& password = {});

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string FixturePath(const std::string& name);  // in the RAR fixtures folder

}  // namespace arkelin::engine::rar::unpack::test
