// The bit reader every RAR decoder reads its packed data through.
//
// RAR reads its packed bytes as one big-endian bit string: the first bit is
// the most significant bit of the first byte. Bits(n) answers the next n bits
// with the first one read as the most significant. The reader keeps a 64-bit
// buffer with the unread bits at its top, filled eight bytes at a time from a
// 64 KiB byte buffer that is pulled from the PackedSource.
//
// Past the end of the packed data it answers zero bits and counts them, so a
// decoder's look-ahead never reads outside memory; the decoder decides with
// PastEnd()/ConsumedPastEnd() whether the stream really ran out.
//
// BitCursor is the same reader for a decoder's inner loop: it holds the bit
// buffer in locals (registers), and writes it back with Sync() before other
// code touches the BitInput.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack {

// The reading operations of BitInput and BitCursor over their bits_ (unread
// bits at the top) and nbits_, refilled by the class's RefillBits().
template <typename Derived>
class BitReading {
 public:
  // Next n bits without consuming them, n = 0..32.
  uint32_t Peek(unsigned n) {
    Derived& d = static_cast<Derived&>(*this);
    if (d.nbits_ < n) d.RefillBits();
    return static_cast<uint32_t>((d.bits_ >> (63 - n)) >> 1);
  }
  // Drops n bits that Peek made available.
  void Skip(unsigned n) {
    Derived& d = static_cast<Derived&>(*this);
    d.bits_ <<= n;
    d.nbits_ -= n;
  }
  uint32_t Bits(unsigned n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  uint32_t Bit() { return Bits(1); }
  // Up to 64 bits, for the few fields wider than 32.
  uint64_t Bits64(unsigned n) {
    if (n <= 32) return Bits(n);
    const uint64_t hi = Bits(n - 32);
    return (hi << 32) | Bits(32);
  }
};

class BitInput : public BitReading<BitInput> {
 public:
  BitInput();

  // Starts reading a new entry's packed data (drops any buffered bytes).
  void Reset(PackedSource* source);

  // Skips to the next byte boundary (nothing if aligned).
  void AlignToByte() { Skip(nbits_ & 7); }

  // Bits consumed since Reset.
  uint64_t BitPosition() const { return (fetched_ << 3) - nbits_; }

  // Zero bytes have been fed because the packed data ended (they may still
  // sit unread in the look-ahead).
  bool PastEnd() const { return zeros_ != 0; }
  // Bits consumed beyond the real end of the packed data (0 while inside it).
  uint64_t ConsumedPastEnd() const {
    if (!eof_) return 0;
    const uint64_t real = (base_ + static_cast<uint64_t>(end_ - buf_.get())) << 3;
    const uint64_t pos = BitPosition();
    return pos > real ? pos - real : 0;
  }
  // Every real bit has been consumed (only zero padding is left).
  bool Exhausted() const {
    if (!eof_) return false;
    return BitPosition() >= (base_ + static_cast<uint64_t>(end_ - buf_.get())) << 3;
  }
  // The source reported an error (further bytes read as zeros).
  bool ReadFailed() const { return readError_; }

  // True when at least n more unread bytes of real data exist after the
  // current position (reads ahead from the source as needed).
  bool HasBytesAhead(size_t n);

 private:
  friend class BitCursor;
  friend class BitReading<BitInput>;
  void RefillBits() { Refill(); }
  void Refill();
  void FillBuffer();

  static constexpr size_t kBufSize = size_t{1} << 16;

  PackedSource* source_ = nullptr;
  std::unique_ptr<uint8_t[]> buf_;
  const uint8_t* pos_ = nullptr;  // next byte to move into bits_
  const uint8_t* end_ = nullptr;  // end of the bytes in buf_
  uint64_t base_ = 0;             // stream offset of buf_[0]
  uint64_t zeros_ = 0;            // zero bytes fed after the end
  uint64_t fetched_ = 0;          // bytes moved into bits_ (zeros included)
  uint64_t bits_ = 0;             // unread bits, most significant first
  unsigned nbits_ = 0;
  bool eof_ = false;
  bool readError_ = false;
};

class BitCursor : public BitReading<BitCursor> {
 public:
  explicit BitCursor(BitInput& in) : in_(in), bits_(in.bits_), nbits_(in.nbits_) {}
  BitCursor(const BitCursor&) = delete;
  BitCursor& operator=(const BitCursor&) = delete;

  uint64_t BitPosition() const { return (in_.fetched_ << 3) - nbits_; }
  bool PastEnd() const { return in_.zeros_ != 0; }

  // Hands the state back to the BitInput / takes it up again after other
  // code used the BitInput.
  void Sync() {
    in_.bits_ = bits_;
    in_.nbits_ = nbits_;
  }
  void Load() {
    bits_ = in_.bits_;
    nbits_ = in_.nbits_;
  }

 private:
  friend class BitReading<BitCursor>;
  void RefillBits() {
    Sync();
    in_.Refill();
    Load();
  }

  BitInput& in_;
  uint64_t bits_;
  unsigned nbits_;
};

}  // namespace arkelin::engine::rar::unpack
