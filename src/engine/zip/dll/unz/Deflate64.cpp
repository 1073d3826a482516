// Deflate64 decoding: canonical codes decoded through a 10-bit lookup
// table with a bit-by-bit walk for the longer codes, a 64-bit bit buffer,
// and an output buffer that keeps the last 64 KiB as the window.
#include "engine/zip/dll/unz/Deflate64.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace arkelin::engine::zip::dll {

namespace {

constexpr int kMaxBits = 15;
constexpr int kFastBits = 10;
constexpr size_t kWindow = 65536;
constexpr size_t kFlushAt = kWindow + 256 * 1024;
constexpr size_t kMaxMatch = 65538;
constexpr size_t kInChunk = 64 * 1024;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical code: the fast table for codes up to kFastBits long, and the
// counts and sorted symbols for the walk over longer ones.
struct Code {
  // Fast entry: symbol in the low 16 bits, length above; length 0 means
  // "longer than the table" (or no code at all).
  std::array<uint32_t, 1u << kFastBits> fast{};
  std::array<uint16_t, kMaxBits + 1> count{};
  std::array<uint16_t, 288> symbol{};
  bool empty = true;

  // False for oversubscribed lengths, and for incomplete ones unless the
  // code has a single symbol (which deflate writers emit for one distance).
  bool Build(const uint8_t* lengths, int n) {
    count.fill(0);
    fast.fill(0);
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    int left = 1, used = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      left <<= 1;
      left -= count[len];
      used += count[len];
      if (left < 0) return false;
    }
    empty = used == 0;
    if (left > 0 && used > 1) return false;
    std::array<uint16_t, kMaxBits + 2> offs{};
    for (int len = 1; len <= kMaxBits; ++len) offs[len + 1] = static_cast<uint16_t>(offs[len] + count[len]);
    for (int i = 0; i < n; ++i)
      if (lengths[i]) symbol[offs[lengths[i]]++] = static_cast<uint16_t>(i);
    // Fast table: canonical codes, bit-reversed because deflate sends them
    // starting from the most significant bit into a least-significant-first
    // stream.
    uint32_t code = 0;
    size_t k = 0;
    for (int len = 1; len <= kFastBits; ++len) {
      for (int c = 0; c < count[len]; ++c, ++k, ++code) {
        uint32_t rev = 0;
        for (int b = 0; b < len; ++b) rev |= ((code >> b) & 1u) << (len - 1 - b);
        for (uint32_t fill = rev; fill < (1u << kFastBits); fill += 1u << len)
          fast[fill] = symbol[k] | (static_cast<uint32_t>(len) << 16);
      }
      code <<= 1;
    }
    return true;
  }
};

class Inflater {
 public:
  Inflater(const Inflate64Read& read, const Inflate64Write& write, std::string& detail)
      : read_(read), write_(write), detail_(detail), in_(kInChunk), out_(kFlushAt + kMaxMatch + 16) {}

  Inflate64Status Run() {
    for (;;) {
      if (!Need(3)) return status_;
      const uint32_t final = Bits(1);
      const uint32_t type = Bits(2);
      bool ok = false;
      if (type == 0) ok = StoredBlock();
      else if (type == 1) ok = FixedBlock();
      else if (type == 2) ok = DynamicBlock();
      else ok = Fail("the Deflate64 data holds an invalid block type");
      if (!ok) return status_;
      if (final) break;
    }
    // Zero bytes fed past the end of the input must not have been used.
    if (padBytes_ * 8 > bitCount_) {
      Fail("the Deflate64 data ends early");
      return status_;
    }
    if (!Flush(true)) return status_;
    return Inflate64Status::kOk;
  }

 private:
  // Damage seen once bits past the end of the input were used is the
  // input's end.
  bool Fail(const char* why) {
    detail_ = padBytes_ * 8 > bitCount_ ? "the Deflate64 data ends early" : why;
    status_ = Inflate64Status::kDataError;
    return false;
  }

  bool Refill() {
    if (eof_) return false;
    const int64_t n = read_(in_.data(), in_.size());
    if (n < 0) {
      status_ = Inflate64Status::kReadError;
      return false;
    }
    if (n == 0) {
      eof_ = true;
      return false;
    }
    inPos_ = 0;
    inLen_ = static_cast<size_t>(n);
    return true;
  }

  // Makes at least `n` (up to 32) bits available; past the end of the input
  // zero bytes are fed, a few at most, and counted.
  bool Need(int n) {
    while (bitCount_ < n) {
      if (inPos_ == inLen_ && !Refill()) {
        if (status_ == Inflate64Status::kReadError) return false;
        if (++padBytes_ > 8) return Fail("the Deflate64 data ends early");
        bitCount_ += 8;
        continue;
      }
      bits_ |= static_cast<uint64_t>(in_[inPos_++]) << bitCount_;
      bitCount_ += 8;
    }
    return true;
  }
  // Tops the buffer up to at least 32 bits where the input allows.
  void Fill() {
    while (bitCount_ <= 56 && inPos_ < inLen_) {
      bits_ |= static_cast<uint64_t>(in_[inPos_++]) << bitCount_;
      bitCount_ += 8;
    }
  }
  uint32_t Bits(int n) {
    const uint32_t v = static_cast<uint32_t>(bits_ & ((1ull << n) - 1));
    bits_ >>= n;
    bitCount_ -= n;
    return v;
  }

  // One symbol of `c`, or -1 (status set).
  int Decode(const Code& c) {
    if (bitCount_ < kMaxBits) {
      Fill();
      if (bitCount_ < kMaxBits && !Need(kMaxBits)) return -1;
    }
    const uint32_t e = c.fast[bits_ & ((1u << kFastBits) - 1)];
    if (e >> 16) {
      Bits(static_cast<int>(e >> 16));
      return static_cast<int>(e & 0xFFFF);
    }
    // The longer codes, one bit at a time in canonical order.
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= static_cast<int>((bits_ >> (len - 1)) & 1u);
      const int count = c.count[len];
      if (code - count < first) {
        Bits(len);
        return c.symbol[index + (code - first)];
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    Fail("the Deflate64 data holds an invalid code");
    return -1;
  }

  // Passes on what was decoded since the last flush and keeps the last
  // 64 KiB as the window.
  bool Flush(bool all) {
    if (pos_ > flushed_ && !write_(out_.data() + flushed_, pos_ - flushed_)) {
      status_ = Inflate64Status::kStopped;
      return false;
    }
    flushed_ = pos_;
    if (!all && pos_ > kWindow) {
      std::memmove(out_.data(), out_.data() + pos_ - kWindow, kWindow);
      total_ += pos_ - kWindow;
      pos_ = flushed_ = kWindow;
    }
    return true;
  }

  bool StoredBlock() {
    // The rest of the current byte is skipped; LEN and NLEN follow.
    Bits(bitCount_ % 8);
    if (!Need(32)) return false;
    const uint32_t len = Bits(16), nlen = Bits(16);
    if ((len ^ 0xFFFF) != nlen) return Fail("the Deflate64 data holds a damaged stored block");
    uint32_t left = len;
    // Whole bytes still in the bit buffer come first.
    while (left > 0 && bitCount_ >= 8) {
      out_[pos_++] = static_cast<uint8_t>(Bits(8));
      --left;
    }
    while (left > 0) {
      if (inPos_ == inLen_ && !Refill()) {
        if (status_ == Inflate64Status::kReadError) return false;
        return Fail("the Deflate64 data ends early");
      }
      const size_t n = std::min<size_t>({left, inLen_ - inPos_, kFlushAt - std::min(pos_, kFlushAt) + 1});
      std::memcpy(out_.data() + pos_, in_.data() + inPos_, n);
      pos_ += n;
      inPos_ += n;
      left -= static_cast<uint32_t>(n);
      if (pos_ >= kFlushAt && !Flush(false)) return false;
    }
    if (pos_ >= kFlushAt && !Flush(false)) return false;
    return true;
  }

  bool FixedBlock() {
    if (!fixedBuilt_) {
      uint8_t l[288 + 32];
      std::fill(l, l + 144, 8);
      std::fill(l + 144, l + 256, 9);
      std::fill(l + 256, l + 280, 7);
      std::fill(l + 280, l + 288, 8);
      std::fill(l + 288, l + 320, 5);
      fixedLit_.Build(l, 288);
      fixedDist_.Build(l + 288, 32);
      fixedBuilt_ = true;
    }
    return Codes(fixedLit_, fixedDist_);
  }

  bool DynamicBlock() {
    if (!Need(14)) return false;
    const int nlen = static_cast<int>(Bits(5)) + 257;
    const int ndist = static_cast<int>(Bits(5)) + 1;
    const int ncode = static_cast<int>(Bits(4)) + 4;
    if (nlen > 286) return Fail("the Deflate64 data declares too many length codes");
    uint8_t lengths[288 + 32] = {};
    for (int i = 0; i < ncode; ++i) {
      if (!Need(3)) return false;
      lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(Bits(3));
    }
    Code lencode;
    if (!lencode.Build(lengths, 19) || lencode.empty) return Fail("the Deflate64 data holds a damaged code");
    std::fill(lengths, lengths + 19, 0);
    int i = 0;
    while (i < nlen + ndist) {
      const int sym = Decode(lencode);
      if (sym < 0) return false;
      if (sym < 16) {
        lengths[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      int repeat = 0;
      if (sym == 16) {
        if (i == 0) return Fail("the Deflate64 data repeats a length before the first");
        value = lengths[i - 1];
        if (!Need(2)) return false;
        repeat = 3 + static_cast<int>(Bits(2));
      } else if (sym == 17) {
        if (!Need(3)) return false;
        repeat = 3 + static_cast<int>(Bits(3));
      } else {
        if (!Need(7)) return false;
        repeat = 11 + static_cast<int>(Bits(7));
      }
      if (i + repeat > nlen + ndist) return Fail("the Deflate64 data holds too many code lengths");
      std::fill(lengths + i, lengths + i + repeat, value);
      i += repeat;
    }
    if (lengths[256] == 0) return Fail("the Deflate64 data has no end-of-block code");
    if (!lit_.Build(lengths, nlen) || !dist_.Build(lengths + nlen, ndist))
      return Fail("the Deflate64 data holds a damaged code");
    return Codes(lit_, dist_);
  }

  bool Codes(const Code& lit, const Code& dist) {
    for (;;) {
      const int sym = Decode(lit);
      if (sym < 0) return false;
      if (sym < 256) {
        out_[pos_++] = static_cast<uint8_t>(sym);
      } else if (sym == 256) {
        return true;
      } else {
        const int li = sym - 257;
        if (li >= 29) return Fail("the Deflate64 data holds an invalid length code");
        if (!Need(kLengthExtra[li])) return false;
        const size_t len = kLengthBase[li] + Bits(kLengthExtra[li]);
        if (dist.empty) return Fail("the Deflate64 data holds a match without distance codes");
        const int ds = Decode(dist);
        if (ds < 0) return false;
        if (ds >= 32) return Fail("the Deflate64 data holds an invalid distance code");
        if (!Need(kDistExtra[ds])) return false;
        const size_t d = kDistBase[ds] + Bits(kDistExtra[ds]);
        if (d > pos_ + total_ || d > pos_) return Fail("the Deflate64 data refers before the start of the output");
        uint8_t* to = out_.data() + pos_;
        const uint8_t* from = to - d;
        if (d >= len) {
          std::memcpy(to, from, len);
        } else {
          for (size_t k = 0; k < len; ++k) to[k] = from[k];
        }
        pos_ += len;
      }
      if (pos_ >= kFlushAt && !Flush(false)) return false;
    }
  }

  const Inflate64Read& read_;
  const Inflate64Write& write_;
  std::string& detail_;
  Inflate64Status status_ = Inflate64Status::kDataError;
  std::vector<uint8_t> in_;
  size_t inPos_ = 0, inLen_ = 0;
  bool eof_ = false;
  int padBytes_ = 0;
  uint64_t bits_ = 0;
  int bitCount_ = 0;
  std::vector<uint8_t> out_;
  size_t pos_ = 0, flushed_ = 0;
  uint64_t total_ = 0;  // bytes dropped from the front of the buffer
  Code lit_, dist_, fixedLit_, fixedDist_;
  bool fixedBuilt_ = false;
};

}  // namespace

Inflate64Status Inflate64(const Inflate64Read& read, const Inflate64Write& write, std::string& detail) {
  Inflater inflater(read, write, detail);
  return inflater.Run();
}

}  // namespace arkelin::engine::zip::dll
