// Small helpers for the ZIP engine tests: a temporary folder per test and a
// writer of stored ZIP archives byte by byte, so that each header field can
// be set (or broken) on purpose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace arkelin::engine::zip::testing {

inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

struct TestEntry {
  std::string name;
  std::string data;
  uint8_t version = 20;
  uint8_t host = 0;
  uint16_t flags = 0;
  std::string extra;
  std::string comment;
  uint32_t externalAttr = 0;
  uint32_t dateTime = (static_cast<uint32_t>((2020 - 1980) << 9 | 1 << 5 | 2) << 16) | (3 << 11 | 4 << 5 | 3);
};

uint32_t TestCrc32(const std::string& data);

// A stored archive: local headers with data, central directory, end record.
inline std::string MakeZip(const std::vector<TestEntry>& entries, const std::string& comment = "",
                           uint32_t offsetShift = 0) {
  std::string out, central;
  for (const auto& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(out.size()) + offsetShift;
    const uint32_t crc = TestCrc32(e.data);
    Put32(out, 0x04034b50);
    Put16(out, 20);
    Put16(out, e.flags);
    Put16(out, 0);
    Put32(out, e.dateTime);
    Put32(out, crc);
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put32(out, static_cast<uint32_t>(e.data.size()));
    Put16(out, static_cast<uint32_t>(e.name.size()));
    Put16(out, 0);
    out += e.name;
    out += e.data;
    Put32(central, 0x02014b50);
    central += static_cast<char>(e.version);
    central += static_cast<char>(e.host);
    Put16(central, 20);
    Put16(central, e.flags);
    Put16(central, 0);
    Put32(central, e.dateTime);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(e.data.size()));
    Put32(central, static_cast<uint32_t>(e.data.size()));
    Put16(central, static_cast<uint32_t>(e.name.size()));
    Put16(central, static_cast<uint32_t>(e.extra.size()));
    Put16(central, static_cast<uint32_t>(e.comment.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, e.externalAttr);
    Put32(central, offset);
    central += e.name + e.extra + e.comment;
  }
  const uint32_t cdOffset = static_cast<uint32_t>(out.size()) + offsetShift;
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, cdOffset);
  Put16(out, static_cast<uint32_t>(comment.size()));
  out += comment;
  return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t TestCrc32(const std::string& data) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : data) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

}  // namespace arkelin::engine::zip::testing
