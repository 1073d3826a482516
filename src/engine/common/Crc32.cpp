// CRC-32 through libdeflate, and the single table step.
#include "engine/common/Crc32.h"

#include <libdeflate.h>

#include <array>

namespace arkelin::engine::common {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t n) {
  // libdeflate takes its length as size_t, so large buffers need no splitting.
  return n == 0 ? crc : libdeflate_crc32(crc, data, n);
}

uint32_t Crc32Step(uint32_t crc, uint8_t b) { return kTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

}  // namespace arkelin::engine::common
