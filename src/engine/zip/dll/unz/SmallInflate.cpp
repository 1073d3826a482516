// Deflate from memory into memory with narrow lookup tables; see
// SmallInflate.h.
#include "engine/zip/dll/unz/SmallInflate.h"

#include <algorithm>
#include <cstring>

namespace arkelin::engine::zip::dll {

namespace {

constexpr int kMaxBits = 15;
constexpr int kLitRoot = 9;
constexpr int kDistRoot = 7;
constexpr int kCodeLengthRoot = 7;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Reverses the low `len` bits: deflate sends a code's most significant bit
// first into a stream read from the least significant end.
uint32_t Reverse(uint32_t code, int len) {
  uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// A canonical code: a table indexed by the next `root` bits (symbol in the
// low 9 bits of an entry, code length above; 0 for a code longer than the
// table, or none), and the counts and sorted symbols for those longer codes.
template <int MaxRoot, int Symbols>
struct Code {
  uint16_t table[1 << MaxRoot];
  uint16_t count[kMaxBits + 1];
  uint16_t symbol[Symbols];
  int root = 1;
  uint32_t mask = 1;

  // `codeLengths`: the code that codes the other two, which must be complete.
  bool Build(const uint8_t* lengths, int n, bool codeLengths) {
    // The symbols that have a code, found without a branch: a small block
    // codes a few dozen of its 257 to 286 symbols, and counting every one
    // of them into the same few counters was most of the work.
    uint16_t present[Symbols];
    int m = 0;
    for (int i = 0; i < n; ++i) {
      present[m] = static_cast<uint16_t>(i);
      m += lengths[i] != 0;
    }
    std::memset(count, 0, sizeof count);
    for (int j = 0; j < m; ++j) ++count[lengths[present[j]]];
    int maxLen = 0, used = 0, left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;  // oversubscribed
      if (count[len]) maxLen = len;
      used += count[len];
    }
    if (left > 0 && (codeLengths || (maxLen > 1))) return false;  // incomplete
    if (codeLengths && used == 0) return false;
    uint16_t offs[kMaxBits + 2];
    offs[1] = 0;
    for (int len = 1; len <= kMaxBits; ++len) offs[len + 1] = static_cast<uint16_t>(offs[len] + count[len]);
    for (int j = 0; j < m; ++j) symbol[offs[lengths[present[j]]]++] = present[j];
    root = std::clamp(maxLen, 1, MaxRoot);
    mask = (1u << root) - 1;
    const uint32_t size = 1u << root;
    // A complete code that fits the table fills every slot itself.
    if (left > 0 || maxLen > root) std::memset(table, 0, size * sizeof table[0]);
    uint32_t code = 0;
    int k = 0;
    for (int len = 1; len <= root; ++len) {
      for (int c = 0; c < count[len]; ++c, ++k, ++code) {
        const auto entry = static_cast<uint16_t>(symbol[k] | (len << 9));
        for (uint32_t slot = Reverse(code, len); slot < size; slot += 1u << len) table[slot] = entry;
      }
      code <<= 1;
    }
    return true;
  }
};

using LitCode = Code<kLitRoot, 288>;
using DistCode = Code<kDistRoot, 32>;
using LengthsCode = Code<kCodeLengthRoot, 19>;

class Inflater {
 public:
  Inflater(const uint8_t* in, size_t inLen, uint8_t* out, size_t cap)
      : in_(in), inLen_(inLen), out_(out), cap_(cap) {}

  SmallInflateStatus Run(size_t& produced) {
    for (bool last = false; !last;) {
      Refill();
      last = Take(1) != 0;
      const uint32_t type = Take(2);
      SmallInflateStatus s;
      if (type == 0) {
        s = Stored();
      } else if (type == 1) {
        s = Huffman(Fixed().lit, Fixed().dist);
      } else if (type == 2) {
        s = Dynamic();
      } else {
        return SmallInflateStatus::kDataError;
      }
      if (s != SmallInflateStatus::kOk) return s;
      if (Overrun()) return SmallInflateStatus::kDataError;
    }
    produced = op_;
    return SmallInflateStatus::kOk;
  }

 private:
  struct FixedCodes {
    LitCode lit;
    DistCode dist;
    FixedCodes() {
      uint8_t l[288];
      std::fill(l, l + 144, 8);
      std::fill(l + 144, l + 256, 9);
      std::fill(l + 256, l + 280, 7);
      std::fill(l + 280, l + 288, 8);
      lit.Build(l, 288, false);
      uint8_t d[32];
      std::fill(d, d + 32, 5);
      dist.Build(d, 32, false);
    }
  };
  static const FixedCodes& Fixed() {
    static const FixedCodes codes;
    return codes;
  }

  // At least 56 bits in the buffer afterwards. Past the end of the input
  // zeros come in; a stream that uses them is caught by Overrun.
  void Refill() {
    if (pos_ + 8 <= inLen_) {
      uint64_t word;
      std::memcpy(&word, in_ + pos_, 8);
      bits_ |= word << nbits_;
      pos_ += (63 - nbits_) >> 3;
      nbits_ |= 56;
      return;
    }
    while (nbits_ <= 56) {
      if (pos_ < inLen_) bits_ |= static_cast<uint64_t>(in_[pos_]) << nbits_;
      ++pos_;
      nbits_ += 8;
    }
  }
  // Whether the bits used so far run past the input's last byte.
  bool Overrun() const { return pos_ * 8 - nbits_ > inLen_ * 8; }
  uint32_t Take(int n) {
    const auto v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    bits_ >>= n;
    nbits_ -= static_cast<unsigned>(n);
    return v;
  }

  // The next symbol of `c`; -1 for bits that are no code. Needs 15 bits in
  // the buffer.
  template <class C>
  int Decode(const C& c) {
    const uint16_t e = c.table[bits_ & c.mask];
    if (const int len = e >> 9) {
      bits_ >>= len;
      nbits_ -= static_cast<unsigned>(len);
      return e & 0x1FF;
    }
    // Longer than the table: walk the canonical code one bit at a time.
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= static_cast<int>((bits_ >> (len - 1)) & 1);
      const int n = c.count[len];
      if (code - first < n) {
        bits_ >>= len;
        nbits_ -= static_cast<unsigned>(len);
        return c.symbol[index + code - first];
      }
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    return -1;
  }

  SmallInflateStatus Stored() {
    Take(static_cast<int>(nbits_ & 7));
    // The buffer now holds whole bytes only; go back to reading bytes.
    const size_t at = pos_ - nbits_ / 8;
    if (at > inLen_ || inLen_ - at < 4) return SmallInflateStatus::kDataError;
    const uint32_t len = in_[at] | (in_[at + 1] << 8), nlen = in_[at + 2] | (in_[at + 3] << 8);
    if ((len ^ 0xFFFF) != nlen) return SmallInflateStatus::kDataError;
    if (len > inLen_ - at - 4) return SmallInflateStatus::kDataError;
    if (len > cap_ - op_) return SmallInflateStatus::kTooLong;
    std::memcpy(out_ + op_, in_ + at + 4, len);
    op_ += len;
    pos_ = at + 4 + len;
    bits_ = 0;
    nbits_ = 0;
    return SmallInflateStatus::kOk;
  }

  SmallInflateStatus Dynamic() {
    Refill();
    const uint32_t nlit = Take(5) + 257, ndist = Take(5) + 1, nclen = Take(4) + 4;
    if (nlit > 286 || ndist > 30) return SmallInflateStatus::kDataError;
    uint8_t clen[19] = {};
    for (uint32_t i = 0; i < nclen; ++i) {
      if (nbits_ < 3) Refill();
      clen[kCodeLengthOrder[i]] = static_cast<uint8_t>(Take(3));
    }
    LengthsCode lc;
    if (!lc.Build(clen, 19, true)) return SmallInflateStatus::kDataError;
    uint8_t lengths[286 + 30];
    const uint32_t total = nlit + ndist;
    for (uint32_t i = 0; i < total;) {
      if (nbits_ < 32) Refill();
      if (Overrun()) return SmallInflateStatus::kDataError;
      const int sym = Decode(lc);
      if (sym < 0) return SmallInflateStatus::kDataError;
      if (sym < 16) {
        lengths[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      uint32_t repeat;
      if (sym == 16) {
        if (i == 0) return SmallInflateStatus::kDataError;
        value = lengths[i - 1];
        repeat = 3 + Take(2);
      } else if (sym == 17) {
        repeat = 3 + Take(3);
      } else {
        repeat = 11 + Take(7);
      }
      if (repeat > total - i) return SmallInflateStatus::kDataError;
      std::memset(lengths + i, value, repeat);
      i += repeat;
    }
    if (lengths[256] == 0) return SmallInflateStatus::kDataError;  // no end-of-block code
    LitCode lit;
    DistCode dist;
    if (!lit.Build(lengths, static_cast<int>(nlit), false) ||
        !dist.Build(lengths + nlit, static_cast<int>(ndist), false))
      return SmallInflateStatus::kDataError;
    return Huffman(lit, dist);
  }

  SmallInflateStatus Huffman(const LitCode& lit, const DistCode& dist) {
    for (;;) {
      // 56 bits cover a literal/length code (15), its extra bits (5), a
      // distance code (15) and its extra bits (13).
      if (nbits_ < 48) {
        Refill();
        if (Overrun()) return SmallInflateStatus::kDataError;
      }
      int sym = Decode(lit);
      if (sym < 256) {
        if (sym < 0) return SmallInflateStatus::kDataError;
        if (op_ >= cap_) return SmallInflateStatus::kTooLong;
        out_[op_++] = static_cast<uint8_t>(sym);
        continue;
      }
      if (sym == 256) return SmallInflateStatus::kOk;
      sym -= 257;
      if (sym >= 29) return SmallInflateStatus::kDataError;
      const uint32_t length = kLengthBase[sym] + Take(kLengthExtra[sym]);
      const int dsym = Decode(dist);
      if (dsym < 0 || dsym >= 30) return SmallInflateStatus::kDataError;
      const uint32_t distance = kDistBase[dsym] + Take(kDistExtra[dsym]);
      if (distance > op_) return SmallInflateStatus::kDataError;
      if (length > cap_ - op_) return SmallInflateStatus::kTooLong;
      uint8_t* to = out_ + op_;
      const uint8_t* from = to - distance;
      if (distance >= 8) {
        // Eight at a time, up to seven bytes past the match (the slack);
        // each piece reads only bytes already written.
        for (uint32_t done = 0; done < length; done += 8) std::memcpy(to + done, from + done, 8);
      } else {
        for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
      }
      op_ += length;
    }
  }

  const uint8_t* in_;
  size_t inLen_;
  size_t pos_ = 0;
  uint64_t bits_ = 0;
  unsigned nbits_ = 0;
  uint8_t* out_;
  size_t cap_;
  size_t op_ = 0;
};

}  // namespace

SmallInflateStatus SmallInflate(const uint8_t* in, size_t inLen, uint8_t* out, size_t cap, size_t& produced) {
  produced = 0;
  return Inflater(in, inLen, out, cap).Run(produced);
}

}  // namespace arkelin::engine::zip::dll
