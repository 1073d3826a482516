// Bounded readers for header bytes: little-endian fields and RAR 5's
// variable-length integers. Every read checks the end first and reports
// failure instead of reading past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/common/LittleEndian.h"

namespace arkelin::engine::rar::archive {

using common::Le16;
using common::Le32;

// A cursor over [p, end) that fails once anything would run past the end.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  size_t Pos() const { return pos_; }
  size_t Left() const { return n_ - pos_; }
  bool Skip(size_t k) {
    if (k > Left()) return Fail();
    pos_ += k;
    return true;
  }
  bool U8(uint8_t& v) {
    if (Left() < 1) return Fail();
    v = p_[pos_++];
    return true;
  }
  bool U32(uint32_t& v) {
    if (Left() < 4) return Fail();
    v = Le32(p_ + pos_);
    pos_ += 4;
    return true;
  }
  bool U64(uint64_t& v) {
    uint32_t lo = 0, hi = 0;
    if (!U32(lo) || !U32(hi)) return false;
    v = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  // RAR 5 vint: 7 bits a byte, low group first, at most 10 bytes.
  bool Vint(uint64_t& v) {
    v = 0;
    for (int i = 0; i < 10; ++i) {
      if (Left() < 1) return Fail();
      const uint8_t c = p_[pos_++];
      if (i == 9 && (c & 0x7E)) return Fail();  // more than 64 bits
      v |= static_cast<uint64_t>(c & 0x7F) << (7 * i);
      if (!(c & 0x80)) return true;
    }
    return Fail();
  }
  bool Bytes(uint8_t* out, size_t k) {
    if (k > Left()) return Fail();
    for (size_t i = 0; i < k; ++i) out[i] = p_[pos_ + i];
    pos_ += k;
    return true;
  }
  bool Text(std::string& out, size_t k) {
    if (k > Left()) return Fail();
    out.assign(reinterpret_cast<const char*>(p_ + pos_), k);
    pos_ += k;
    return true;
  }
  const uint8_t* Here() const { return p_ + pos_; }
  bool ok() const { return ok_; }

 private:
  bool Fail() {
    ok_ = false;
    return false;
  }
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace arkelin::engine::rar::archive
