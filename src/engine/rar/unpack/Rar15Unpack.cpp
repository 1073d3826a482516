// The RAR 1.5 decoder (unpack versions below 20): an adaptive scheme without
// transmitted tables. Literals, match lengths and parts of distances are sent
// as positions in lists that are re-sorted as they are used, coded with one
// of seven fixed prefix codes picked by running averages. 64 KiB window; a
// file ends at its declared size.
//
// Distances here are kept as "distance - 1" (D0) because all of the format's
// thresholds are stated that way.
#include <algorithm>
#include <cstring>

#include "engine/rar/unpack/BitInput_p.h"
#include "engine/rar/unpack/Decoders_p.h"
#include "engine/rar/unpack/Window_p.h"

namespace arkelin::engine::rar::unpack {
namespace {

constexpr uint64_t kWindow = uint64_t{64} << 10;
constexpr uint64_t kChunk = kWindow / 2;

// Code-word counts per length 0..12 of the fixed position codes.
const uint8_t kPosL1[13] = {0, 0, 2, 1, 2, 2, 4, 5, 4, 4, 8, 0, 224};
const uint8_t kPosL2[13] = {0, 0, 0, 5, 2, 2, 4, 5, 4, 4, 8, 2, 220};
const uint8_t kPosHf0[13] = {0, 0, 0, 0, 8, 8, 8, 9, 0, 0, 0, 0, 224};
const uint8_t kPosHf1[13] = {0, 0, 0, 0, 0, 4, 40, 16, 16, 4, 0, 47, 130};
const uint8_t kPosHf2[13] = {0, 0, 0, 0, 0, 2, 5, 46, 64, 116, 24, 0, 0};
const uint8_t kPosHf3[13] = {0, 0, 0, 0, 0, 0, 2, 14, 202, 33, 6, 0, 0};
const uint8_t kPosHf4[13] = {0, 0, 0, 0, 0, 0, 0, 0, 255, 2, 0, 0, 0};

const uint8_t kShortXor1[16] = {0x00, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE,
                                0xFF, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0, 0x00};
const uint8_t kShortLen1[2][16] = {{1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 0, 0},
                                   {1, 4, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4, 0}};
const uint8_t kShortXor2[16] = {0x00, 0x40, 0x60, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8,
                                0xFC, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0, 0x00};
const uint8_t kShortLen2[2][16] = {{2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 0, 0},
                                   {2, 3, 3, 4, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4, 0}};

class Rar15Unpacker final : public DecoderBase {
 public:
  explicit Rar15Unpacker(const Limits&) {}

  Result Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) override;

 private:
  enum class Limit { UpTo0xA1, NonZero };

  bool Flush() {
    if (!win_.EmitRange(out_, win_.written, win_.pos)) return EmitFailed();
    win_.written = win_.pos;
    return true;
  }

  void ResetStream();
  unsigned DecodeNum(const uint8_t* tab) {
    uint32_t v = in_.Peek(12);
    unsigned base = 0, len = 2;
    for (;; ++len) {
      const uint32_t span = static_cast<uint32_t>(tab[len]) << (12 - len);
      if (v < span || len == 12) break;
      v -= span;
      base += tab[len];
    }
    in_.Skip(len);
    return base + (v >> (12 - len));
  }
  void CorrHuff(uint16_t* list, unsigned* ntopl);
  uint16_t Promote(uint16_t* list, unsigned* ntopl, unsigned place, Limit limit);
  void GetFlags();
  bool Copy(uint32_t d0, uint32_t len);
  bool HuffDecode();
  bool ShortLZ();
  bool LongLZ();

  uint64_t remaining_ = 0;

  // Per stream.
  unsigned avrPlc_ = 0, avrPlcB_ = 0, avrLn1_ = 0, avrLn2_ = 0, avrLn3_ = 0;
  unsigned numHuf_ = 0, buf60_ = 0, maxDist3_ = 0, nhfb_ = 0, nlzb_ = 0;
  uint32_t rep_[4] = {};
  unsigned repPtr_ = 0;
  uint32_t lastLen_ = 0, lastD0_ = 0;
  uint16_t chSet_[256], chSetA_[256], chSetB_[256], chSetC_[256];
  unsigned nToPl_[256], nToPlB_[256], nToPlC_[256];
  // Per file.
  int flagsCnt_ = 0;
  uint8_t flagBuf_ = 0;
  bool stMode_ = false;
  unsigned lCount_ = 0;
};

void Rar15Unpacker::ResetStream() {
  win_.Restart();
  avrPlc_ = 0x3500;
  avrPlcB_ = avrLn1_ = avrLn2_ = avrLn3_ = 0;
  numHuf_ = buf60_ = 0;
  maxDist3_ = 0x2001;
  nhfb_ = nlzb_ = 0x80;
  std::memset(rep_, 0, sizeof rep_);
  repPtr_ = 0;
  lastLen_ = lastD0_ = 0;
  for (unsigned i = 0; i < 256; ++i) {
    chSet_[i] = chSetB_[i] = static_cast<uint16_t>(i << 8);
    chSetA_[i] = static_cast<uint16_t>(i);
    chSetC_[i] = static_cast<uint16_t>(((256 - i) & 0xFF) << 8);
  }
  std::memset(nToPl_, 0, sizeof nToPl_);
  std::memset(nToPlB_, 0, sizeof nToPlB_);
  std::memset(nToPlC_, 0, sizeof nToPlC_);
  CorrHuff(chSetB_, nToPlB_);
}

void Rar15Unpacker::CorrHuff(uint16_t* list, unsigned* ntopl) {
  for (unsigned i = 0; i < 256; ++i) list[i] = static_cast<uint16_t>((list[i] & 0xFF00) | (7 - i / 32));
  std::memset(ntopl, 0, 256 * sizeof(unsigned));
  for (unsigned c = 0; c < 7; ++c) ntopl[c] = (7 - c) * 32;
}

// Bumps the counter of list[place] and moves the entry up to the first slot
// of its new counter group; answers the entry as stored.
uint16_t Rar15Unpacker::Promote(uint16_t* list, unsigned* ntopl, unsigned place, Limit limit) {
  unsigned e, newPlace;
  for (;;) {
    e = list[place];
    newPlace = ntopl[e & 0xFF]++ & 0xFF;
    ++e;
    const unsigned counter = e & 0xFF;
    if (limit == Limit::UpTo0xA1 ? counter <= 0xA1 : counter != 0) break;
    CorrHuff(list, ntopl);
  }
  list[place] = list[newPlace];
  list[newPlace] = static_cast<uint16_t>(e);
  return static_cast<uint16_t>(e);
}

void Rar15Unpacker::GetFlags() {
  const unsigned place = DecodeNum(kPosHf2);
  if (place >= 256) return;
  flagBuf_ = static_cast<uint8_t>(chSetC_[place] >> 8);
  Promote(chSetC_, nToPlC_, place, Limit::NonZero);
}

bool Rar15Unpacker::Copy(uint32_t d0, uint32_t len) {
  const uint64_t dist = uint64_t{d0} + 1;
  if (dist > win_.pos || dist > kWindow) return Corrupt("match distance reaches before the start of the data");
  // A match running past the file's end is cut there.
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(len, remaining_));
  win_.Copy(dist, n);
  remaining_ -= n;
  return true;
}

bool Rar15Unpacker::HuffDecode() {
  const uint8_t* tab = avrPlc_ >= 0x7600   ? kPosHf4
                       : avrPlc_ >= 0x5E00 ? kPosHf3
                       : avrPlc_ >= 0x3600 ? kPosHf2
                       : avrPlc_ >= 0x0E00 ? kPosHf1
                                           : kPosHf0;
  unsigned place = DecodeNum(tab);
  if (stMode_) {
    if (place == 0) {
      if (in_.Bit() == 1) {
        numHuf_ = 0;
        stMode_ = false;
        return true;
      }
      const uint32_t len = in_.Bit() + 3;
      uint32_t d = DecodeNum(kPosHf2) << 5;
      d |= in_.Bits(5);
      if (d == 0) return Corrupt("bad distance");
      return Copy(d - 1, len);
    }
    --place;
  } else {
    if (numHuf_ >= 16 && flagsCnt_ == 0) stMode_ = true;
    ++numHuf_;
  }
  place &= 0xFF;
  avrPlc_ += place;
  avrPlc_ -= avrPlc_ >> 8;
  nhfb_ += 16;
  if (nhfb_ > 0xFF) {
    nhfb_ = 0x90;
    nlzb_ >>= 1;
  }
  win_.Put(static_cast<uint8_t>(chSet_[place] >> 8));
  --remaining_;
  Promote(chSet_, nToPl_, place, Limit::UpTo0xA1);
  return true;
}

bool Rar15Unpacker::ShortLZ() {
  numHuf_ = 0;
  if (lCount_ == 2) {
    if (in_.Bit() == 1) return Copy(lastD0_, lastLen_);
    lCount_ = 0;
  }
  const uint32_t v = in_.Peek(8);
  const unsigned row = buf60_ != 0 ? 1 : 0;
  const uint8_t* pattern = avrLn1_ < 37 ? kShortXor1 : kShortXor2;
  const uint8_t* lens = avrLn1_ < 37 ? kShortLen1[row] : kShortLen2[row];
  unsigned n = 0;
  while (n < 15 && ((v ^ pattern[n]) >> (8 - lens[n])) != 0) ++n;
  in_.Skip(lens[n]);
  uint32_t d0, len;
  if (n >= 9) {
    if (n == 9) {
      ++lCount_;
      return Copy(lastD0_, lastLen_);
    }
    lCount_ = 0;
    if (n == 14) {
      len = DecodeNum(kPosL2) + 5;
      d0 = 0x8000 + in_.Bits(15) - 1;
      lastLen_ = len;
      lastD0_ = d0;
      return Copy(d0, len);
    }
    d0 = rep_[(repPtr_ - (n - 9)) & 3];
    len = DecodeNum(kPosL1);
    if (len == 0xFF && n == 10) {
      buf60_ ^= 16;
      return true;
    }
    if (d0 >= 256) {
      ++len;
      if (d0 >= maxDist3_ - 1) ++len;
    }
  } else {
    lCount_ = 0;
    avrLn1_ += n;
    avrLn1_ -= avrLn1_ >> 4;
    const unsigned place = DecodeNum(kPosHf2) & 0xFF;
    d0 = chSetA_[place];
    if (place > 0) std::swap(chSetA_[place], chSetA_[place - 1]);
    len = n;
  }
  rep_[repPtr_] = d0;
  repPtr_ = (repPtr_ + 1) & 3;
  len += 2;
  lastLen_ = len;
  lastD0_ = d0;
  return Copy(d0, len);
}

bool Rar15Unpacker::LongLZ() {
  numHuf_ = 0;
  nlzb_ += 16;
  if (nlzb_ > 0xFF) {
    nlzb_ = 0x90;
    nhfb_ >>= 1;
  }
  const unsigned oldAvr2 = avrLn2_;
  uint32_t len;
  if (avrLn2_ >= 64) {
    len = DecodeNum(avrLn2_ < 122 ? kPosL1 : kPosL2);
  } else {
    const uint32_t v = in_.Peek(16);
    if (v < 0x100) {
      len = v;
      in_.Skip(16);
    } else {
      len = static_cast<uint32_t>(__builtin_clz(v) - 16);
      in_.Skip(len + 1);
    }
  }
  avrLn2_ += len;
  avrLn2_ -= avrLn2_ >> 5;
  const uint8_t* tab = avrPlcB_ >= 0x2900 ? kPosHf2 : avrPlcB_ >= 0x0700 ? kPosHf1 : kPosHf0;
  unsigned place = DecodeNum(tab);
  avrPlcB_ += place;
  avrPlcB_ -= avrPlcB_ >> 8;
  place &= 0xFF;
  const uint16_t e = Promote(chSetB_, nToPlB_, place, Limit::NonZero);
  const uint32_t d = ((e & 0xFF00u) >> 1) | in_.Bits(7);
  const unsigned oldAvr3 = avrLn3_;
  if (len != 1 && len != 4) {
    if (len == 0 && d <= maxDist3_) {
      ++avrLn3_;
      avrLn3_ -= avrLn3_ >> 8;
    } else if (avrLn3_ > 0) {
      --avrLn3_;
    }
  }
  len += 3;
  if (d >= maxDist3_) ++len;
  if (d <= 256) len += 8;
  maxDist3_ = (oldAvr3 > 0xB0 || (avrPlc_ >= 0x2A00 && oldAvr2 < 0x40)) ? 0x7F00 : 0x2001;
  if (d == 0) return Corrupt("bad distance");
  const uint32_t d0 = d - 1;
  rep_[repPtr_] = d0;
  repPtr_ = (repPtr_ + 1) & 3;
  lastLen_ = len;
  lastD0_ = d0;
  return Copy(d0, len);
}

Result Rar15Unpacker::Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) {
  Result early;
  bool fresh;
  if (!StartEntry(source, entry, sink, early, fresh)) return early;
  if (!PrepareFixedWindow(kWindow, true)) return FinishEntry(false);
  if (fresh) ResetStream();
  flagsCnt_ = 0;
  flagBuf_ = 0;
  stMode_ = false;
  lCount_ = 0;
  remaining_ = entry.unpackedSize;

  bool ok = true;
  if (remaining_ > 0) {
    GetFlags();
    flagsCnt_ = 8;
  }
  while (ok && remaining_ > 0) {
    if (win_.pos - win_.written >= kChunk && !Flush()) {
      ok = false;
      break;
    }
    if (in_.PastEnd() && in_.Exhausted()) {
      ok = Corrupt("the packed data ends early");
      break;
    }
    if (!stMode_) {
      if (--flagsCnt_ < 0) {
        GetFlags();
        flagsCnt_ = 7;
      }
      if ((flagBuf_ & 0x80) != 0) {
        flagBuf_ = static_cast<uint8_t>(flagBuf_ << 1);
        if (nlzb_ > nhfb_) {
          ok = LongLZ();
          continue;
        }
      } else {
        flagBuf_ = static_cast<uint8_t>(flagBuf_ << 1);
        if (--flagsCnt_ < 0) {
          GetFlags();
          flagsCnt_ = 7;
        }
        if ((flagBuf_ & 0x80) == 0) {
          flagBuf_ = static_cast<uint8_t>(flagBuf_ << 1);
          ok = ShortLZ();
          continue;
        }
        flagBuf_ = static_cast<uint8_t>(flagBuf_ << 1);
        if (nlzb_ <= nhfb_) {
          ok = LongLZ();
          continue;
        }
      }
    }
    ok = HuffDecode();
  }
  if (ok) ok = Flush();
  return FinishEntry(ok);
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar15Unpacker(const Limits& limits) { return std::make_unique<Rar15Unpacker>(limits); }

}  // namespace arkelin::engine::rar::unpack
