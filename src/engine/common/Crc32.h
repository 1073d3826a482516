// CRC-32 as ZIP and RAR use it (reflected, polynomial 0xEDB88320, with pre-
// and post-inversion: the value zlib's crc32 gives), continued across calls.
// Backed by libdeflate's folding implementation, several times faster than
// a table walk. The bare table step without inversion is what the
// traditional ZIP encryption keys are updated with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkelin::engine::common {

// Continues `crc` (0 to start) over `n` bytes.
uint32_t Crc32(uint32_t crc, const void* data, size_t n);

// One step of the table update, no inversion.
uint32_t Crc32Step(uint32_t crc, uint8_t b);

}  // namespace arkelin::engine::common
