// PPMd variant H: allocator, model updates and symbol decoding. The order of
// every step matters: the writer's model runs the same steps, and any
// difference (even in which free block is reused) changes all later symbols.
#include "engine/rar/unpack/PpmdH_p.h"

#include "engine/rar/unpack/PpmdDecode_p.h"

#include <algorithm>
#include <cstring>

namespace arkelin::engine::rar::unpack {
namespace {

constexpr uint32_t kUnit = 12;
constexpr unsigned kIndexes = 38;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kBinScale = ppmd_detail::kBinScale;

struct Tables {
  uint8_t i2u[kIndexes];
  uint8_t u2i[128];  // index for nu - 1
  uint8_t ns2indx[256];
  Tables() {
    static const uint8_t kI2U[kIndexes] = {1,  2,  3,  4,  6,  8,  10, 12, 15, 18, 21, 24, 28,
                                           32, 36, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 80,
                                           84, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124, 128};
    std::memcpy(i2u, kI2U, sizeof i2u);
    unsigned k = 0;
    for (unsigned nu = 1; nu <= 128; ++nu) {
      while (i2u[k] < nu) ++k;
      u2i[nu - 1] = static_cast<uint8_t>(k);
    }
    for (unsigned n = 0; n < 3; ++n) ns2indx[n] = static_cast<uint8_t>(n);
    unsigned at = 3;
    for (unsigned v = 3; at < 256; ++v)
      for (unsigned r = 0; r < v - 2 && at < 256; ++r) ns2indx[at++] = static_cast<uint8_t>(v);
  }
};
const Tables kT;

const uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

inline unsigned U2I(unsigned nu) { return kT.u2i[nu - 1]; }
inline unsigned I2U(unsigned index) { return kT.i2u[index]; }

}  // namespace

bool PpmdModelH::Allocate(uint32_t size) {
  if (heap_ && size_ == size) return true;
  heap_.reset();
  size_ = 0;
  textStart_ = 16;
  // The slack past the model covers the few bytes the gluing reads beyond
  // the last unit's header.
  heap_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size) + textStart_ + 64]);
  if (!heap_) return false;
  std::memset(heap_.get(), 0, textStart_);
  size_ = size;
  return true;
}

void PpmdModelH::Start(int maxOrder) {
  maxOrder_ = maxOrder;
  initEsc_ = 0;
  hiBitsFlag_ = 0;
  escCount_ = 0;
  std::memset(charMask_, 0, sizeof charMask_);
  Restart();
}

// ---- allocator ----

void PpmdModelH::InsertNode(uint32_t block, unsigned index) {
  SetU32(block, freeList_[index]);
  freeList_[index] = block;
}

uint32_t PpmdModelH::RemoveNode(unsigned index) {
  const uint32_t b = freeList_[index];
  freeList_[index] = U32(b);
  return b;
}

// Frees nu (1..128) units at p: one block of the largest class that fits,
// and the rest (under 4 units) in the class of its own size.
void PpmdModelH::InsertUnits(uint32_t p, unsigned nu) {
  unsigned i = U2I(nu);
  if (I2U(i) != nu) {
    --i;
    const unsigned k = I2U(i);
    InsertNode(p + k * kUnit, nu - k - 1);
  }
  InsertNode(p, i);
}

void PpmdModelH::SplitBlock(uint32_t block, unsigned oldIndex, unsigned newIndex) {
  InsertUnits(block + I2U(newIndex) * kUnit, I2U(oldIndex) - I2U(newIndex));
}

// Free blocks while gluing: +0 u16 stamp (0 = free), +2 u16 size in units,
// +4 u32 next block in the glue list, +8 u32 the size the refill uses. The
// refill reads the size from +8 because inserting a merged run's pieces may
// write list links over the +0..+3 of a block merged into it.
void PpmdModelH::GlueFreeBlocks() {
  ++glues_;
  glueCount_ = 255;
  if (loUnit_ != hiUnit_) SetU16(loUnit_, 1);
  uint32_t head = 0;
  for (unsigned idx = 0; idx < kIndexes; ++idx) {
    uint32_t b = freeList_[idx];
    while (b != 0) {
      const uint32_t next = U32(b);
      SetU16(b, 0);
      SetU16(b + 2, I2U(idx));
      SetU32(b + 4, head);
      SetU32(b + 8, I2U(idx));
      head = b;
      b = next;
    }
    freeList_[idx] = 0;
  }
  for (uint32_t b = head; b != 0; b = U32(b + 4)) {
    uint32_t nu = U16(b + 2);
    if (nu == 0) continue;
    for (;;) {
      const uint32_t n2 = b + nu * kUnit;
      if (U16(n2) != 0) break;
      const uint32_t nu2 = U16(n2 + 2);
      if (nu + nu2 >= 0x10000) break;
      nu += nu2;
      SetU16(n2 + 2, 0);
      SetU32(n2 + 8, 0);
    }
    SetU16(b + 2, nu);
    SetU32(b + 8, nu);
  }
  for (uint32_t b = head; b != 0;) {
    const uint32_t next = U32(b + 4);
    uint32_t nu = U32(b + 8);
    if (nu != 0) {
      uint32_t p = b;
      while (nu > 128) {
        InsertNode(p, kIndexes - 1);
        p += 128 * kUnit;
        nu -= 128;
      }
      InsertUnits(p, nu);
    }
    b = next;
  }
}

uint32_t PpmdModelH::AllocUnitsRare(unsigned index) {
  if (glueCount_ == 0) {
    GlueFreeBlocks();
    if (freeList_[index] != 0) return RemoveNode(index);
  }
  for (unsigned i = index + 1; i < kIndexes; ++i) {
    if (freeList_[i] != 0) {
      const uint32_t b = RemoveNode(i);
      SplitBlock(b, i, index);
      return b;
    }
  }
  --glueCount_;
  const uint32_t n = I2U(index) * kUnit;
  if (unitsStart_ - text_ > n) {
    unitsStart_ -= n;
    return unitsStart_;
  }
  return 0;
}

uint32_t PpmdModelH::AllocUnits(unsigned index) {
  if (freeList_[index] != 0) return RemoveNode(index);
  const uint32_t n = I2U(index) * kUnit;
  if (hiUnit_ - loUnit_ >= n) {
    const uint32_t b = loUnit_;
    loUnit_ += n;
    return b;
  }
  return AllocUnitsRare(index);
}

uint32_t PpmdModelH::AllocContext() {
  if (hiUnit_ != loUnit_) {
    hiUnit_ -= kUnit;
    return hiUnit_;
  }
  if (freeList_[0] != 0) return RemoveNode(0);
  return AllocUnitsRare(0);
}

uint32_t PpmdModelH::ShrinkUnits(uint32_t old, unsigned oldNU, unsigned newNU) {
  const unsigned i0 = U2I(oldNU);
  const unsigned i1 = U2I(newNU);
  if (i0 == i1) return old;
  if (freeList_[i1] != 0) {
    const uint32_t p = RemoveNode(i1);
    std::memmove(heap_.get() + p, heap_.get() + old, newNU * kUnit);
    InsertNode(old, i0);
    return p;
  }
  SplitBlock(old, i0, i1);
  return old;
}

// ---- model ----

void PpmdModelH::Restart() {
  ++restarts_;
  std::memset(freeList_, 0, sizeof freeList_);
  text_ = textStart_;
  hiUnit_ = text_ + size_;
  loUnit_ = unitsStart_ = hiUnit_ - (size_ / 8 / kUnit) * 7 * kUnit;
  glueCount_ = 0;
  orderFall_ = maxOrder_;
  runLength_ = initRL_ = -std::min(maxOrder_, 12) - 1;
  prevSuccess_ = 0;

  hiUnit_ -= kUnit;
  const uint32_t root = hiUnit_;
  SetU16(root, 256);
  SetU16(root + 2, 257);
  SetU32(root + 4, loUnit_);
  SetU32(root + 8, 0);
  const uint32_t stats = loUnit_;
  loUnit_ += 128 * kUnit;
  for (unsigned k = 0; k < 256; ++k) {
    const uint32_t s = stats + k * 6;
    Sym(s) = static_cast<uint8_t>(k);
    Freq(s) = 1;
    SetSuccessor(s, 0);
  }
  minContext_ = maxContext_ = root;
  foundState_ = stats;
  for (unsigned i = 0; i < 128; ++i)
    for (unsigned k = 0; k < 8; ++k) {
      const uint16_t v = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
      for (unsigned m = 0; m < 64; m += 8) binSumm_[i][k + m] = v;
    }
  for (unsigned i = 0; i < 25; ++i)
    for (unsigned k = 0; k < 16; ++k) see_[i][k] = See{static_cast<uint16_t>((5 * i + 10) << 3), 3, 4};
  dummySee_ = See{0, 7, 64};
}

uint32_t PpmdModelH::CreateSuccessors(bool skip) {
  uint32_t c = minContext_;
  const uint32_t up = Successor(foundState_);
  const uint8_t fsSym = Sym(foundState_);
  uint32_t stack[64];
  unsigned depth = 0;
  if (!skip) stack[depth++] = foundState_;
  while (Suffix(c) != 0) {
    c = Suffix(c);
    uint32_t s;
    if (NumStats(c) != 1) {
      s = Stats(c);
      for (unsigned n = NumStats(c); Sym(s) != fsSym && n > 1; --n) s += 6;
    } else {
      s = OneState(c);
    }
    if (Successor(s) != up) {
      c = Successor(s);
      if (depth == 0) return c;
      break;
    }
    if (depth == 64) return 0;  // deeper than any model order
    stack[depth++] = s;
  }
  const uint8_t newSym = heap_[up];
  const uint32_t newSucc = up + 1;
  uint8_t newFreq;
  if (NumStats(c) == 1) {
    newFreq = Freq(OneState(c));
  } else {
    uint32_t s = Stats(c);
    for (unsigned n = NumStats(c); Sym(s) != newSym && n > 1; --n) s += 6;
    const uint32_t cf = Freq(s) - 1u;
    const uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
    uint32_t f;
    if (2 * cf <= s0)
      f = 5 * cf > s0 ? 1 : 0;
    else
      f = (2 * cf + 3 * s0 - 1) / (2 * std::max<uint32_t>(s0, 1));
    newFreq = static_cast<uint8_t>(1 + f);
  }
  while (depth > 0) {
    const uint32_t c1 = AllocContext();
    if (c1 == 0) return 0;
    SetU16(c1, 1);
    Sym(OneState(c1)) = newSym;
    Freq(OneState(c1)) = newFreq;
    SetSuccessor(OneState(c1), newSucc);
    SetU32(c1 + 8, c);
    SetSuccessor(stack[--depth], c1);
    c = c1;
  }
  return c;
}

void PpmdModelH::UpdateModel() {
  const uint32_t fs = foundState_;
  const uint8_t sym = Sym(fs);
  const uint32_t f = Freq(fs);
  uint32_t fSucc = Successor(fs);

  if (f < 31 && Suffix(minContext_) != 0) {
    const uint32_t c = Suffix(minContext_);
    if (NumStats(c) == 1) {
      const uint32_t s = OneState(c);
      if (Freq(s) < 32) ++Freq(s);
    } else {
      uint32_t s = Stats(c);
      if (Sym(s) != sym) {
        unsigned n = NumStats(c);
        do {
          s += 6;
        } while (Sym(s) != sym && --n > 1);
        if (Freq(s) >= Freq(s - 6)) {
          SwapStates(s, s - 6);
          s -= 6;
        }
      }
      if (Freq(s) < 115) {
        Freq(s) = static_cast<uint8_t>(Freq(s) + 2);
        SetU16(c + 2, SummFreq(c) + 2);
      }
    }
  }

  if (orderFall_ == 0) {
    minContext_ = maxContext_ = CreateSuccessors(true);
    if (minContext_ == 0) {
      Restart();
      return;
    }
    SetSuccessor(fs, minContext_);
    return;
  }

  heap_[text_] = sym;
  ++text_;
  uint32_t succ = text_;
  if (text_ >= unitsStart_) {
    Restart();
    return;
  }

  if (fSucc != 0) {
    if (fSucc <= succ) {
      fSucc = CreateSuccessors(false);
      if (fSucc == 0) {
        Restart();
        return;
      }
    }
    if (--orderFall_ == 0) {
      succ = fSucc;
      if (maxContext_ != minContext_) --text_;
    }
  } else {
    SetSuccessor(fs, succ);
    fSucc = minContext_;
  }

  const uint32_t ns = NumStats(minContext_);
  const uint32_t s0 = SummFreq(minContext_) - ns - (f - 1);
  for (uint32_t c = maxContext_; c != minContext_; c = Suffix(c)) {
    const uint32_t n1 = NumStats(c);
    if (n1 != 1) {
      if ((n1 & 1) == 0) {
        const unsigned old = n1 >> 1;
        const unsigned i = U2I(old);
        if (i != U2I(old + 1)) {
          const uint32_t p = AllocUnits(i + 1);
          if (p == 0) {
            Restart();
            return;
          }
          std::memcpy(heap_.get() + p, heap_.get() + Stats(c), old * kUnit);
          InsertNode(Stats(c), i);
          SetU32(c + 4, p);
        }
      }
      const uint32_t sf = SummFreq(c);
      SetU16(c + 2, sf + (2 * n1 < ns) + 2 * ((4 * n1 <= ns) & (sf <= 8 * n1)));
    } else {
      const uint32_t p = AllocUnits(0);
      if (p == 0) {
        Restart();
        return;
      }
      std::memcpy(heap_.get() + p, heap_.get() + OneState(c), 6);
      SetU32(c + 4, p);
      uint8_t& pf = Freq(p);
      pf = pf < kMaxFreq / 4 - 1 ? static_cast<uint8_t>(pf * 2) : static_cast<uint8_t>(kMaxFreq - 4);
      SetU16(c + 2, pf + initEsc_ + (ns > 3));
    }
    uint32_t cf = 2 * f * (SummFreq(c) + 6);
    const uint32_t sf = s0 + SummFreq(c);
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      SetU16(c + 2, SummFreq(c) + 3);
    } else {
      cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
      SetU16(c + 2, SummFreq(c) + cf);
    }
    const uint32_t s = Stats(c) + n1 * 6;
    Sym(s) = sym;
    Freq(s) = static_cast<uint8_t>(cf);
    SetSuccessor(s, succ);
    SetU16(c, n1 + 1);
  }
  maxContext_ = minContext_ = fSucc;
}

void PpmdModelH::Rescale() {
  const uint32_t mc = minContext_;
  const unsigned n = NumStats(mc);
  const uint32_t stats = Stats(mc);
  for (uint32_t s = foundState_; s != stats; s -= 6) SwapStates(s, s - 6);
  uint32_t esc = SummFreq(mc) - Freq(stats);
  const unsigned adder = orderFall_ != 0 ? 1 : 0;
  Freq(stats) = static_cast<uint8_t>((Freq(stats) + 4 + adder) >> 1);
  uint32_t sum = Freq(stats);
  for (unsigned i = 1; i < n; ++i) {
    const uint32_t t = stats + i * 6;
    esc -= Freq(t);
    Freq(t) = static_cast<uint8_t>((Freq(t) + adder) >> 1);
    sum += Freq(t);
    if (Freq(t) > Freq(t - 6)) {
      uint8_t tmp[6];
      std::memcpy(tmp, heap_.get() + t, 6);
      uint32_t s1 = t;
      do {
        std::memcpy(heap_.get() + s1, heap_.get() + s1 - 6, 6);
        s1 -= 6;
      } while (s1 != stats && tmp[1] > Freq(s1 - 6));
      std::memcpy(heap_.get() + s1, tmp, 6);
    }
  }
  const uint32_t last = stats + (n - 1) * 6;
  if (Freq(last) == 0) {
    unsigned z = 0;
    uint32_t s = last;
    do {
      ++z;
      s -= 6;
    } while (z < n - 1 && Freq(s) == 0);
    esc += z;
    const unsigned left = n - z;
    SetU16(mc, left);
    if (left == 1) {
      uint8_t keep[6];
      std::memcpy(keep, heap_.get() + stats, 6);
      do {
        keep[1] = static_cast<uint8_t>(keep[1] - (keep[1] >> 1));
        esc >>= 1;
      } while (esc > 1);
      InsertNode(stats, U2I((n + 1) >> 1));
      std::memcpy(heap_.get() + OneState(mc), keep, 6);
      foundState_ = OneState(mc);
      return;
    }
    const unsigned n0 = (n + 1) >> 1, n1 = (left + 1) >> 1;
    if (n0 != n1) SetU32(mc + 4, ShrinkUnits(stats, n0, n1));
  }
  SetU16(mc + 2, sum + esc - (esc >> 1));
  foundState_ = Stats(mc);
}

void PpmdModelH::NextContext() {
  const uint32_t c = Successor(foundState_);
  if (orderFall_ == 0 && c > text_) {
    minContext_ = maxContext_ = c;
  } else {
    UpdateModel();
  }
}

void PpmdModelH::Update1() {
  uint32_t s = foundState_;
  Freq(s) = static_cast<uint8_t>(Freq(s) + 4);
  SetU16(minContext_ + 2, SummFreq(minContext_) + 4);
  if (Freq(s) > Freq(s - 6)) {
    SwapStates(s, s - 6);
    foundState_ = s = s - 6;
    if (Freq(s) > kMaxFreq) Rescale();
  }
  NextContext();
}

void PpmdModelH::Update1_0() {
  const uint32_t s = foundState_;
  prevSuccess_ = 2u * Freq(s) > SummFreq(minContext_) ? 1 : 0;
  runLength_ += prevSuccess_;
  SetU16(minContext_ + 2, SummFreq(minContext_) + 4);
  Freq(s) = static_cast<uint8_t>(Freq(s) + 4);
  if (Freq(s) > kMaxFreq) Rescale();
  NextContext();
}

void PpmdModelH::Update2() {
  SetU16(minContext_ + 2, SummFreq(minContext_) + 4);
  const uint32_t s = foundState_;
  Freq(s) = static_cast<uint8_t>(Freq(s) + 4);
  if (Freq(s) > kMaxFreq) Rescale();
  runLength_ = initRL_;
  UpdateModel();
}

PpmdModelH::See* PpmdModelH::MakeEscFreq(unsigned numMasked, uint32_t& escFreq) {
  const uint32_t mc = minContext_;
  const unsigned n = NumStats(mc);
  if (n == 256) {
    escFreq = 1;
    return &dummySee_;
  }
  const unsigned diff = n - numMasked;
  const int suffixStats = static_cast<int>(NumStats(Suffix(mc)));
  const unsigned col = (static_cast<int>(diff) < suffixStats - static_cast<int>(n) ? 1 : 0) +
                       2 * (SummFreq(mc) < 11 * n ? 1 : 0) + 4 * (numMasked > diff ? 1 : 0) +
                       static_cast<unsigned>(hiBitsFlag_);
  See* see = &see_[kT.ns2indx[diff - 1]][col];
  const unsigned r = see->summ >> see->shift;
  see->summ = static_cast<uint16_t>(see->summ - r);
  escFreq = r + (r == 0 ? 1 : 0);
  return see;
}

template int PpmdModelH::DecodeSymbol<PpmdRangeDecoder>(PpmdRangeDecoder&);

}  // namespace arkelin::engine::rar::unpack
