// Buffer handling of the bit reader; the per-bit work is inline in the header.
#include "engine/rar/unpack/BitInput_p.h"

namespace arkelin::engine::rar::unpack {

BitInput::BitInput() : buf_(new uint8_t[kBufSize + 8]) { Reset(nullptr); }

void BitInput::Reset(PackedSource* source) {
  source_ = source;
  pos_ = end_ = buf_.get();
  base_ = zeros_ = fetched_ = 0;
  bits_ = 0;
  nbits_ = 0;
  eof_ = source == nullptr;
  readError_ = false;
}

void BitInput::FillBuffer() {
  uint8_t* start = buf_.get();
  const size_t keep = static_cast<size_t>(end_ - pos_);
  base_ += static_cast<uint64_t>(pos_ - start);
  std::memmove(start, pos_, keep);
  pos_ = start;
  end_ = start + keep;
  while (!eof_ && static_cast<size_t>(end_ - start) < kBufSize) {
    const std::ptrdiff_t got = source_->Read(const_cast<uint8_t*>(end_), kBufSize - static_cast<size_t>(end_ - start));
    if (got <= 0) {
      eof_ = true;
      readError_ = got < 0;
      break;
    }
    end_ += got;
  }
}

void BitInput::Refill() {
  if (end_ - pos_ < 8 && !eof_) FillBuffer();
  if (end_ - pos_ >= 8) {
    // Eight bytes at once; the bytes not counted in nbits_ land in the low
    // bits and are the same ones the next refill puts there.
    uint64_t v;
    std::memcpy(&v, pos_, 8);
    v = __builtin_bswap64(v);
    bits_ |= v >> nbits_;
    const unsigned take = (63 - nbits_) >> 3;
    pos_ += take;
    fetched_ += take;
    nbits_ += take << 3;
    return;
  }
  while (nbits_ <= 56) {
    uint64_t b = 0;
    if (pos_ < end_) {
      b = *pos_++;
    } else {
      ++zeros_;
    }
    bits_ |= b << (56 - nbits_);
    nbits_ += 8;
    ++fetched_;
  }
}

bool BitInput::HasBytesAhead(size_t n) {
  // Unread real bytes: those still in buf_ plus the whole bytes in bits_
  // that came from real data.
  const uint64_t inBits = nbits_ >> 3;
  const uint64_t realInBits = inBits > zeros_ ? inBits - zeros_ : 0;
  if (static_cast<uint64_t>(end_ - pos_) + realInBits >= n) return true;
  if (!eof_ && n < kBufSize) FillBuffer();
  return static_cast<uint64_t>(end_ - pos_) + realInBits >= n;
}

}  // namespace arkelin::engine::rar::unpack
