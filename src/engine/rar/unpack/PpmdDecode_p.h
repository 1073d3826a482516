// The body of PpmdModelH::DecodeSymbol, a template over the range coder.
// Included by PpmdH.cpp (which instantiates it for the RAR range decoder)
// and by tests that drive the model with other coders.
#pragma once

#include <cstring>

#include "engine/rar/unpack/PpmdH_p.h"

namespace arkelin::engine::rar::unpack {
namespace ppmd_detail {

inline constexpr unsigned kBinScale = 1u << 14;
inline constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
// 8 for symbols from 0x40 up, 0 below.
inline constexpr uint8_t kHB2Flag(unsigned s) { return s < 0x40 ? 0 : 8; }
// Binary-context column for a suffix with n + 1 states.
inline constexpr uint8_t kNS2BS(unsigned n) { return n == 0 ? 0 : n == 1 ? 2 : n <= 10 ? 4 : 6; }

}  // namespace ppmd_detail

template <typename Coder>
int PpmdModelH::DecodeSymbol(Coder& rc) {
  uint32_t mc = minContext_;
  if (NumStats(mc) != 1) {
    uint32_t s = Stats(mc);
    const unsigned n = NumStats(mc);
    const uint32_t total = SummFreq(mc);
    const uint32_t count = rc.Threshold(total);
    if (count == UINT32_MAX) return -1;
    uint32_t hi = Freq(s);
    if (count < hi) {
      rc.Decode(0, hi);
      const int sym = Sym(s);
      foundState_ = s;
      Update1_0();
      return sym;
    }
    prevSuccess_ = 0;
    for (unsigned i = 1; i < n; ++i) {
      s += 6;
      hi += Freq(s);
      if (hi > count) {
        rc.Decode(hi - Freq(s), Freq(s));
        const int sym = Sym(s);
        foundState_ = s;
        Update1();
        return sym;
      }
    }
    if (count >= total) return -1;
    hiBitsFlag_ = ppmd_detail::kHB2Flag(Sym(foundState_));
    rc.Decode(hi, total - hi);
    if (++escCount_ == 0) {
      std::memset(charMask_, 0, sizeof charMask_);
      escCount_ = 1;
    }
    s = Stats(mc);
    for (unsigned i = 0; i < n; ++i, s += 6) charMask_[Sym(s)] = escCount_;
  } else {
    const uint32_t s = OneState(mc);
    hiBitsFlag_ = ppmd_detail::kHB2Flag(Sym(foundState_));
    const unsigned row = Freq(s) - 1u;
    const unsigned suffixStats = NumStats(Suffix(mc));
    if (row >= 128 || suffixStats == 0 || suffixStats > 256) return -1;
    const unsigned col = static_cast<unsigned>(prevSuccess_) + ppmd_detail::kNS2BS(suffixStats - 1) +
                         static_cast<unsigned>(hiBitsFlag_) + 2u * ppmd_detail::kHB2Flag(Sym(s)) +
                         (runLength_ < 0 ? 32u : 0u);
    uint16_t& prob = binSumm_[row][col];
    const uint32_t p = prob;
    const uint32_t v = rc.Threshold(ppmd_detail::kBinScale);
    if (v >= ppmd_detail::kBinScale) return -1;
    if (v < p) {
      rc.Decode(0, p);
      prob = static_cast<uint16_t>(p + 128 - ((p + 32) >> 7));
      foundState_ = s;
      const int sym = Sym(s);
      if (Freq(s) < 128) ++Freq(s);
      prevSuccess_ = 1;
      ++runLength_;
      NextContext();
      return sym;
    }
    rc.Decode(p, ppmd_detail::kBinScale - p);
    const uint32_t np = p - ((p + 32) >> 7);
    prob = static_cast<uint16_t>(np);
    initEsc_ = ppmd_detail::kExpEscape[np >> 10];
    if (++escCount_ == 0) {
      std::memset(charMask_, 0, sizeof charMask_);
      escCount_ = 1;
    }
    charMask_[Sym(s)] = escCount_;
    prevSuccess_ = 0;
  }

  // An escape out of the root (never in valid data) leaves the model as it
  // was before this symbol, so that it stays consistent.
  const uint32_t startContext = minContext_;
  const int startOrderFall = orderFall_;
  uint32_t states[256];
  for (;;) {
    const unsigned numMasked = NumStats(mc);
    do {
      ++orderFall_;
      if (Suffix(mc) == 0) {
        minContext_ = startContext;
        orderFall_ = startOrderFall;
        return -1;
      }
      mc = Suffix(mc);
    } while (NumStats(mc) == numMasked);
    minContext_ = mc;
    const unsigned n = NumStats(mc);
    if (n <= numMasked || n > 256) break;
    uint32_t s = Stats(mc);
    uint32_t hi = 0;
    unsigned k = 0;
    for (unsigned i = 0; i < n; ++i, s += 6) {
      if (charMask_[Sym(s)] != escCount_) {
        states[k++] = s;
        hi += Freq(s);
      }
    }
    uint32_t esc;
    See* see = MakeEscFreq(numMasked, esc);
    const uint32_t total = hi + esc;
    const uint32_t count = rc.Threshold(total);
    if (count == UINT32_MAX) break;
    if (count < hi) {
      uint32_t acc = 0;
      unsigned j = 0;
      for (;; ++j) {
        acc += Freq(states[j]);
        if (acc > count) break;
      }
      const uint32_t found = states[j];
      rc.Decode(acc - Freq(found), Freq(found));
      if (see->shift < 7 && --see->count == 0) {
        see->summ = static_cast<uint16_t>(see->summ * 2);
        see->count = static_cast<uint8_t>(3 << see->shift);
        ++see->shift;
      }
      foundState_ = found;
      const int sym = Sym(found);
      Update2();
      return sym;
    }
    if (count >= total) break;
    rc.Decode(hi, total - hi);
    see->summ = static_cast<uint16_t>(see->summ + total);
    for (unsigned j = 0; j < k; ++j) charMask_[Sym(states[j])] = escCount_;
  }
  minContext_ = startContext;
  orderFall_ = startOrderFall;
  return -1;
}

}  // namespace arkelin::engine::rar::unpack
