// Window memory: growth that keeps the recent bytes, and copying out.
#include "engine/rar/unpack/Window_p.h"

#include <algorithm>

namespace arkelin::engine::rar::unpack {

bool LzWindow::Reserve(uint64_t size) {
  size = RoundUpPow2(std::max<uint64_t>(size, 1));
  if (size <= size_) return true;
  if (size > (uint64_t{1} << 40)) return false;
  // Not cleared: no byte is ever read before it was written (every distance
  // is checked against the bytes produced), and clearing a multi-megabyte
  // window would cost more than decoding a small file.
  auto* fresh = static_cast<WinByte*>(std::malloc(static_cast<size_t>(size)));
  if (fresh == nullptr) return false;
  if (buf_ != nullptr) {
    const uint64_t keep = std::min(pos, size_);
    const uint64_t newMask = size - 1;
    for (uint64_t a = pos - keep; a < pos;) {
      const uint64_t oldOff = a & mask_;
      const uint64_t newOff = a & newMask;
      const uint64_t n = std::min({pos - a, size_ - oldOff, size - newOff});
      std::memcpy(fresh + newOff, buf_ + oldOff, static_cast<size_t>(n));
      a += n;
    }
    std::free(buf_);
  }
  buf_ = fresh;
  size_ = size;
  mask_ = size - 1;
  return true;
}

void LzWindow::CopyOut(uint64_t from, size_t n, uint8_t* dst) const {
  while (n > 0) {
    const uint64_t off = from & mask_;
    const size_t k = static_cast<size_t>(std::min<uint64_t>(n, size_ - off));
    std::memcpy(dst, buf_ + off, k);
    dst += k;
    from += k;
    n -= k;
  }
}

bool LzWindow::EmitRange(EntryOutput& out, uint64_t from, uint64_t to) const {
  while (from < to) {
    const uint64_t off = from & mask_;
    const uint64_t k = std::min(to - from, size_ - off);
    if (!out.Emit(reinterpret_cast<const uint8_t*>(buf_ + off), static_cast<size_t>(k))) return false;
    from += k;
  }
  return true;
}

}  // namespace arkelin::engine::rar::unpack
