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
  int Decode(BitInput& in) const {
    const uint32_t v = in.Peek(kMaxLength);
    if (v < limit_[kQuickBits]) {
      const uint32_t e = quick_[v >> (kMaxLength - kQuickBits)];
      in.Skip(e & 0xF);
      return static_cast<int>(e >> 4);
    }
    return DecodeLong(in, v);
  }

 private:
  int DecodeLong(BitInput& in, uint32_t v) const;

  // Left-aligned (15-bit) code space: codes of length <= L occupy
  // [0, limit_[L]); the first code of length L is base_[L].
  uint32_t limit_[kMaxLength + 1];
  uint32_t base_[kMaxLength + 1];
  uint16_t first_[kMaxLength + 1];  // index in sorted_ of the first symbol of length L
  uint16_t sorted_[kMaxSymbols];
  uint32_t quick_[1u << kQuickBits];  // symbol << 4 | length
};

}  // namespace arkelin::engine::rar::unpack
