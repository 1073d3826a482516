// Canonical prefix codes as RAR 2.0, 2.9 and 5.0 send them: only a code
// length (0..15, 0 = unused) per symbol, codes assigned in order of length
// and then of symbol number, read most significant bit first.
//
// Decoding looks the next 10 bits up in a table; longer codes take a short
// walk over the per-length limits. Over-subscribed length sets are rejected
// when the code is built; incomplete ones are accepted and reading one of
// their unassigned code words is reported as corrupt data.
#pragma once

#include <cstdint>

#include "engine/rar/unpack/BitInput_p.h"

namespace arkelin::engine::rar::unpack {

class HuffmanCode {
 public:
  static constexpr unsigned kMaxLength = 15;
  static constexpr unsigned kMaxSymbols = 512;
  static constexpr unsigned kQuickBits = 10;

  HuffmanCode() { Clear(); }

  // A code that decodes nothing (every read is corrupt).
  void Clear();
  // Builds the code from n lengths (n <= kMaxSymbols, every length <= 15).
  // False for an over-subscribed set; the code is then empty.
  bool Build(const uint8_t* lengths, unsigned n);

  // The next symbol, or -1 for a code word the table does not assign.
  // Reader: BitInput or BitCursor.
  template <typename Reader>
  int Decode(Reader& in) const {
    const uint32_t v = in.Peek(kMaxLength);
    if (v < limit_[kQuickBits]) {
      const uint32_t e = quick_[v >> (kMaxLength - kQuickBits)];
      in.Skip(e & 0xF);
      return static_cast<int>(e >> 4);
    }
    unsigned len = kQuickBits + 1;
    while (len <= kMaxLength && v >= limit_[len]) ++len;
    if (len > kMaxLength) return -1;
    in.Skip(len);
    return sorted_[first_[len] + ((v - base_[len]) >> (kMaxLength - len))];
  }

 private:
  // Left-aligned (15-bit) code space: codes of length <= L occupy
  // [0, limit_[L]); the first code of length L is base_[L].
  uint32_t limit_[kMaxLength + 1];
  uint32_t base_[kMaxLength + 1];
  uint16_t first_[kMaxLength + 1];  // index in sorted_ of the first symbol of length L
  uint16_t sorted_[kMaxSymbols];
  uint32_t quick_[1u << kQuickBits];  // symbol << 4 | length
};

// The table transmission of RAR 2.9 and 5.0: 20 level-code lengths of 4
// bits (15 followed by a nonzero n stands for n + 2 zeros), then `count`
// code lengths through that level code: 0-15 a length (added modulo 16 to
// the old one when `old` is given, as RAR 2.9 does), 16/17 the previous
// length again 3-10/11-138 times, 18/19 as many zeros. Runs stop at `count`.
// False for an over-subscribed level code or a bad level symbol.
template <typename Reader>
bool ReadCodeLengths(Reader& in, uint8_t* lens, unsigned count, const uint8_t* old) {
  uint8_t level[20];
  for (unsigned i = 0; i < 20;) {
    const uint8_t v = static_cast<uint8_t>(in.Bits(4));
    if (v == 15) {
      const unsigned z = in.Bits(4);
      if (z != 0) {
        for (unsigned n = z + 2; n > 0 && i < 20; --n) level[i++] = 0;
        continue;
      }
    }
    level[i++] = v;
  }
  HuffmanCode levelCode;
  if (!levelCode.Build(level, 20)) return false;
  for (unsigned i = 0; i < count;) {
    const int s = levelCode.Decode(in);
    if (s < 0) return false;
    if (s < 16) {
      lens[i] = static_cast<uint8_t>(old != nullptr ? (old[i] + s) & 15 : s);
      ++i;
      continue;
    }
    unsigned n;
    uint8_t v = 0;
    if (s < 18) {
      if (i == 0) return false;
      n = s == 16 ? in.Bits(3) + 3 : in.Bits(7) + 11;
      v = lens[i - 1];
    } else {
      n = s == 18 ? in.Bits(3) + 3 : in.Bits(7) + 11;
    }
    for (; n > 0 && i < count; --n) lens[i++] = v;
  }
  return true;
}

}  // namespace arkelin::engine::rar::unpack
