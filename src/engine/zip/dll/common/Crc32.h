// CRC-32 as the ZIP format uses it (reflected, polynomial 0xEDB88320, with
// pre- and post-inversion), continued across calls. Backed by libdeflate's
// table-free folding implementation, which gives the same values as zlib's
// crc32 at several times the speed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkelin::engine::zip::dll {

// Continues `crc` (0 to start) over `n` bytes.
uint32_t Crc32(uint32_t crc, const void* data, size_t n);

// One step of the bare table update without inversion, as the traditional
// encryption keys use it.
uint32_t Crc32Step(uint32_t crc, uint8_t b);

}  // namespace arkelin::engine::zip::dll
