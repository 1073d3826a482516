// Building canonical codes and decoding the long code words.
#include "engine/rar/unpack/Huffman_p.h"

#include <cstring>

namespace arkelin::engine::rar::unpack {

void HuffmanCode::Clear() {
  std::memset(limit_, 0, sizeof limit_);
  std::memset(base_, 0, sizeof base_);
  std::memset(first_, 0, sizeof first_);
}

bool HuffmanCode::Build(const uint8_t* lengths, unsigned n) {
  Clear();
  if (n > kMaxSymbols) return false;
  unsigned count[kMaxLength + 1] = {};
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i] > kMaxLength) return false;
    ++count[lengths[i]];
  }
  uint32_t start = 0;
  unsigned index = 0;
  uint32_t limit[kMaxLength + 1] = {};
  uint32_t base[kMaxLength + 1] = {};
  uint16_t first[kMaxLength + 1] = {};
  for (unsigned len = 1; len <= kMaxLength; ++len) {
    base[len] = start;
    first[len] = static_cast<uint16_t>(index);
    start += count[len] << (kMaxLength - len);
    if (start > (1u << kMaxLength)) return false;  // Kraft sum above 1
    limit[len] = start;
    index += count[len];
  }
  std::memcpy(limit_, limit, sizeof limit_);
  std::memcpy(base_, base, sizeof base_);
  std::memcpy(first_, first, sizeof first_);

  uint16_t next[kMaxLength + 1];
  std::memcpy(next, first, sizeof next);
  for (unsigned i = 0; i < n; ++i)
    if (lengths[i] != 0) sorted_[next[lengths[i]]++] = static_cast<uint16_t>(i);

  // Short codes fill every quick slot that starts with them.
  for (unsigned len = 1; len <= kQuickBits; ++len) {
    const unsigned span = 1u << (kQuickBits - len);
    for (unsigned k = 0; k < count[len]; ++k) {
      const uint32_t code = base[len] + (k << (kMaxLength - len));
      const uint32_t slot = code >> (kMaxLength - kQuickBits);
      const uint32_t entry = (static_cast<uint32_t>(sorted_[first[len] + k]) << 4) | len;
      for (unsigned s = 0; s < span; ++s) quick_[slot + s] = entry;
    }
  }
  return true;
}

}  // namespace arkelin::engine::rar::unpack
