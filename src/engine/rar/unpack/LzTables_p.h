// Length and distance slot tables shared by the RAR 2.0 and 2.9 LZ decoders
// (RAR 2.0 uses the first 48 distance slots).
#pragma once

#include <algorithm>
#include <cstdint>

namespace arkelin::engine::rar::unpack {

inline constexpr uint8_t kLenBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                         24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint8_t kLenBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                         2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Distance slots: extra bits 0,0,0,0,1,1,2,2,...,15,15 (slots 0-33), 16 for
// slots 34-47, 18 for slots 48-59; each base is the sum of the spans before.
struct DistSlots {
  static constexpr unsigned kSlots = 60;
  uint32_t base[kSlots];
  uint8_t bits[kSlots];
  constexpr DistSlots() : base(), bits() {
    uint32_t b = 0;
    for (unsigned s = 0; s < kSlots; ++s) {
      bits[s] = static_cast<uint8_t>(s < 4 ? 0 : s < 34 ? (s - 2) / 2 : s < 48 ? 16 : 18);
      base[s] = b;
      b += 1u << bits[s];
    }
  }
};
inline constexpr DistSlots kDistSlots;

}  // namespace arkelin::engine::rar::unpack
