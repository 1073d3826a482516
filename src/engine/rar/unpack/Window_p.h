// The LZ window shared by every RAR decoder, and the per-entry output stage.
//
// LzWindow is a circular buffer of a power-of-two size addressed by absolute
// stream positions: pos is the number of bytes produced since the stream (a
// solid group is one stream) began, written the position of the next byte
// not yet handed to the output. The decoders keep pos - written below the
// window size, so a byte is never overwritten before it went out.
//
// EntryOutput hands bytes to the caller's sink and never passes on more than
// the entry's declared size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack {

// Largest dictionary any decoder accepts, whatever the caller's Limits say.
inline constexpr uint64_t kHardDictionaryCap = uint64_t{4} << 30;
// Largest PPMd model (the format's own maximum).
inline constexpr uint64_t kHardPpmdCap = uint64_t{256} << 20;

class EntryOutput {
 public:
  void Begin(UnpackedSink* sink, const EntryParams& entry) {
    sink_ = sink;
    limit_ = entry.unknownSize ? UINT64_MAX : entry.unpackedSize;
    written_ = 0;
    overflow_ = stopped_ = false;
  }
  // False when the sink stopped or the data went past the declared size
  // (what fits is still written).
  bool Emit(const uint8_t* data, size_t n) {
    if (n == 0) return !overflow_ && !stopped_;
    if (n > limit_ - written_) {
      overflow_ = true;
      n = static_cast<size_t>(limit_ - written_);
      if (n == 0) return false;
    }
    written_ += n;
    if (!sink_->Write(data, n)) {
      stopped_ = true;
      return false;
    }
    return !overflow_;
  }
  uint64_t written() const { return written_; }
  bool overflow() const { return overflow_; }
  bool stopped() const { return stopped_; }

 private:
  UnpackedSink* sink_ = nullptr;
  uint64_t limit_ = 0;
  uint64_t written_ = 0;
  bool overflow_ = false;
  bool stopped_ = false;
};

// Window bytes have their own type, not a character type, so that stores
// into the window cannot alias the decoders' other state: the compiler may
// then keep bit-reader and position fields in registers across literals.
enum class WinByte : uint8_t {};

class LzWindow {
 public:
  LzWindow() = default;
  LzWindow(const LzWindow&) = delete;
  LzWindow& operator=(const LzWindow&) = delete;
  ~LzWindow() { std::free(buf_); }

  // Makes the window at least `size` bytes (rounded up to a power of two),
  // keeping the last bytes produced at their positions. False when the
  // memory cannot be had.
  bool Reserve(uint64_t size);
  void Release() {
    std::free(buf_);
    buf_ = nullptr;
    size_ = mask_ = 0;
  }
  // Starts a new stream at position 0.
  void Restart() { pos = written = 0; }

  uint64_t size() const { return size_; }
  bool allocated() const { return buf_ != nullptr; }

  void Put(uint8_t b) {
    buf_[pos & mask_] = static_cast<WinByte>(b);
    ++pos;
  }
  // Copies len bytes from dist back, byte by byte semantics (overlap repeats).
  // The caller has checked 1 <= dist <= min(pos, size()).
  void Copy(uint64_t dist, uint32_t len) {
    const size_t d = static_cast<size_t>(pos & mask_);
    const size_t s = static_cast<size_t>((pos - dist) & mask_);
    pos += len;
    // The pieces below read the source before the bytes they write, which
    // is only right while the source is behind the destination in the
    // buffer: a distance of nearly the whole window puts it just ahead.
    if (d + len <= size_ && s + len <= size_ && dist + len <= size_) {
      WinByte* dp = buf_ + d;
      const WinByte* sp = buf_ + s;
      // Pieces of 8 (or 4) bytes, the last one overlapping the one before
      // it so nothing is written past the match: with dist >= 8 every
      // source byte a piece reads is final by then.
      if (dist >= len && len >= 128) {
        std::memcpy(dp, sp, len);
      } else if (dist >= 8 && len >= 8) {
        uint32_t i = 0;
        for (; i + 8 <= len; i += 8) std::memcpy(dp + i, sp + i, 8);
        if (i < len) std::memcpy(dp + len - 8, sp + len - 8, 8);
      } else if (dist >= 4 && len >= 4 && len <= 8) {
        std::memcpy(dp, sp, 4);
        std::memcpy(dp + len - 4, sp + len - 4, 4);
      } else if (dist == 1) {
        std::memset(dp, static_cast<int>(*sp), len);
      } else {
        for (uint32_t i = 0; i < len; ++i) dp[i] = sp[i];
      }
      return;
    }
    size_t dd = d, ss = s;
    for (uint32_t i = 0; i < len; ++i) {
      buf_[dd] = buf_[ss];
      dd = (dd + 1) & mask_;
      ss = (ss + 1) & mask_;
    }
  }
  uint8_t At(uint64_t absolute) const { return static_cast<uint8_t>(buf_[absolute & mask_]); }

  // Copies [from, from + n) out of the window into dst.
  void CopyOut(uint64_t from, size_t n, uint8_t* dst) const;
  // Hands [from, to) to out in at most two pieces. False as Emit.
  bool EmitRange(EntryOutput& out, uint64_t from, uint64_t to) const;

  uint64_t pos = 0;      // bytes produced in this stream
  uint64_t written = 0;  // bytes of this stream handed on (or dropped)

 private:
  WinByte* buf_ = nullptr;
  uint64_t size_ = 0;
  uint64_t mask_ = 0;
};

// Smallest power of two >= v (v >= 1, v <= 2^63).
inline uint64_t RoundUpPow2(uint64_t v) {
  uint64_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

}  // namespace arkelin::engine::rar::unpack
