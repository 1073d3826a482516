// PPMd variant H as RAR 2.9 uses it: the context model with its own memory
// allocator, and the RAR ("carryless") range decoder.
//
// The model must behave exactly like the writer's, including when its memory
// runs out, so the allocator is reproduced step by step: one heap of the
// stream's model size holding the text area, the state arrays and the
// contexts, linked by 32-bit offsets (0 = none), with 38 size classes of
// 12-byte units and the same free-list and gluing order. Fields are read and
// written through memcpy, so nothing depends on alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/rar/unpack/BitInput_p.h"

namespace arkelin::engine::rar::unpack {

class PpmdRangeDecoder {
 public:
  void Init(BitInput& in) {
    in_ = &in;
    low_ = 0;
    range_ = 0xFFFFFFFFu;
    code_ = 0;
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | in.Bits(8);
  }
  // The count in [0, total) the next symbol falls in, or UINT32_MAX when the
  // data cannot be right (total above the range).
  uint32_t Threshold(uint32_t total) {
    if (total == 0 || total > range_) return UINT32_MAX;
    range_ /= total;
    return (code_ - low_) / range_;
  }
  void Decode(uint32_t start, uint32_t size) {
    low_ += start * range_;
    range_ *= size;
    Normalize();
  }
  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= (1u << 24)) {
        if (range_ >= (1u << 15)) return;
        range_ = (0u - low_) & 0x7FFF;
      }
      code_ = (code_ << 8) | in_->Bits(8);
      range_ <<= 8;
      low_ <<= 8;
      if (range_ == 0) return;  // only on damaged data; the next Threshold fails
    }
  }

 private:
  BitInput* in_ = nullptr;
  uint32_t low_ = 0, range_ = 0, code_ = 0;
};

class PpmdModelH {
 public:
  PpmdModelH() = default;
  PpmdModelH(const PpmdModelH&) = delete;
  PpmdModelH& operator=(const PpmdModelH&) = delete;

  // Allocates a heap of `size` bytes (kept when the size does not change).
  // False when the memory cannot be had.
  bool Allocate(uint32_t size);
  uint32_t size() const { return size_; }
  // A fresh model of the given order (2..64) in the allocated heap.
  void Start(int maxOrder);

  // Decodes one symbol: 0..255, or -1 (damaged data, or an escape out of the
  // root context, which RAR data never has). Coder: PpmdRangeDecoder, or
  // anything with its Threshold/Decode (tests drive the model with random
  // choices); the body is in PpmdDecode_p.h.
  template <typename Coder>
  int DecodeSymbol(Coder& rc);

  // How often the model ran out of memory and started over, and how often
  // free blocks were glued (for tests of those paths).
  uint64_t restarts() const { return restarts_; }
  uint64_t glues() const { return glues_; }

 private:
  struct See {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
  };

  // Field access. A context (one 12-byte unit): +0 NumStats, +2 SummFreq,
  // +4 Stats, +8 Suffix; with one state, that state sits inline at +2. A
  // state (6 bytes): +0 Symbol, +1 Freq, +2 Successor.
  uint16_t U16(uint32_t at) const {
    uint16_t v;
    std::memcpy(&v, heap_.get() + at, 2);
    return v;
  }
  uint32_t U32(uint32_t at) const {
    uint32_t v;
    std::memcpy(&v, heap_.get() + at, 4);
    return v;
  }
  void SetU16(uint32_t at, uint32_t v) {
    const uint16_t x = static_cast<uint16_t>(v);
    std::memcpy(heap_.get() + at, &x, 2);
  }
  void SetU32(uint32_t at, uint32_t v) { std::memcpy(heap_.get() + at, &v, 4); }
  uint8_t& B(uint32_t at) { return heap_[at]; }

  uint32_t NumStats(uint32_t c) const { return U16(c); }
  uint32_t SummFreq(uint32_t c) const { return U16(c + 2); }
  uint32_t Stats(uint32_t c) const { return U32(c + 4); }
  uint32_t Suffix(uint32_t c) const { return U32(c + 8); }
  static uint32_t OneState(uint32_t c) { return c + 2; }
  uint8_t& Sym(uint32_t s) { return heap_[s]; }
  uint8_t& Freq(uint32_t s) { return heap_[s + 1]; }
  uint32_t Successor(uint32_t s) const { return U32(s + 2); }
  void SetSuccessor(uint32_t s, uint32_t v) { SetU32(s + 2, v); }
  void SwapStates(uint32_t a, uint32_t b) {
    uint8_t t[6];
    std::memcpy(t, heap_.get() + a, 6);
    std::memmove(heap_.get() + a, heap_.get() + b, 6);
    std::memcpy(heap_.get() + b, t, 6);
  }

  // Allocator.
  void InsertNode(uint32_t block, unsigned index);
  uint32_t RemoveNode(unsigned index);
  void InsertUnits(uint32_t p, unsigned nu);
  void SplitBlock(uint32_t block, unsigned oldIndex, unsigned newIndex);
  void GlueFreeBlocks();
  uint32_t AllocUnitsRare(unsigned index);
  uint32_t AllocUnits(unsigned index);
  uint32_t AllocContext();
  uint32_t ShrinkUnits(uint32_t old, unsigned oldNU, unsigned newNU);

  // Model.
  void Restart();
  uint32_t CreateSuccessors(bool skip);
  void UpdateModel();
  void Rescale();
  void NextContext();
  void Update1();
  void Update1_0();
  void Update2();
  See* MakeEscFreq(unsigned numMasked, uint32_t& escFreq);

  std::unique_ptr<uint8_t[]> heap_;
  uint32_t size_ = 0;
  uint32_t textStart_ = 0;
  uint32_t text_ = 0, unitsStart_ = 0, loUnit_ = 0, hiUnit_ = 0;
  uint32_t freeList_[38] = {};
  uint32_t glueCount_ = 0;

  uint32_t minContext_ = 0, maxContext_ = 0, foundState_ = 0;
  int orderFall_ = 0, initEsc_ = 0, prevSuccess_ = 0, maxOrder_ = 0, hiBitsFlag_ = 0;
  int runLength_ = 0, initRL_ = 0;
  See see_[25][16] = {};
  See dummySee_ = {};
  uint16_t binSumm_[128][64] = {};
  uint8_t charMask_[256] = {};
  uint8_t escCount_ = 0;
  uint64_t restarts_ = 0, glues_ = 0;
};

}  // namespace arkelin::engine::rar::unpack
