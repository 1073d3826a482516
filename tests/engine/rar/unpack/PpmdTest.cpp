// PPMd variant H: the RAR range decoder against an encoder written from the
// same description, and the model's out-of-memory paths (gluing free blocks,
// starting over), which no sample archive reaches, run on a small model.
#include "engine/rar/unpack/PpmdDecode_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::VectorSource;

// The carryless range encoder the decoder undoes.
class RangeEncoder {
 public:
  void Encode(uint32_t start, uint32_t size, uint32_t total) {
    range_ /= total;
    low_ += start * range_;
    range_ *= size;
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= (1u << 24)) {
        if (range_ >= (1u << 15)) break;
        range_ = (0u - low_) & 0x7FFF;
      }
      out.push_back(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
      range_ <<= 8;
    }
  }
  void Finish() {
    for (int i = 0; i < 4; ++i) {
      out.push_back(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
    }
  }
  std::vector<uint8_t> out;

 private:
  uint32_t low_ = 0, range_ = 0xFFFFFFFFu;
};

TEST(PpmdRangeDecoder, UndoesTheCarrylessEncoder) {
  std::mt19937 rng(3);
  struct Step {
    uint32_t start, size, total;
  };
  std::vector<Step> steps;
  RangeEncoder enc;
  for (int i = 0; i < 20000; ++i) {
    // Totals as PPMd uses them: frequency sums below 2^15 (the range never
    // drops below that), the binary contexts' 2^14.
    const uint32_t total = i % 3 == 0 ? (1u << 14) : 1 + rng() % (1u << 15);
    const uint32_t start = rng() % total;
    const uint32_t size = 1 + rng() % (total - start);
    steps.push_back({start, size, total});
    enc.Encode(start, size, total);
  }
  enc.Finish();
  VectorSource src(enc.out, 5);
  BitInput in;
  in.Reset(&src);
  PpmdRangeDecoder dec;
  dec.Init(in);
  for (size_t i = 0; i < steps.size(); ++i) {
    const uint32_t count = dec.Threshold(steps[i].total);
    ASSERT_GE(count, steps[i].start) << i;
    ASSERT_LT(count, steps[i].start + steps[i].size) << i;
    dec.Decode(steps[i].start, steps[i].size);
  }
  EXPECT_EQ(in.ConsumedPastEnd(), 0u);
}

TEST(PpmdRangeDecoder, RefusesATotalAboveItsRange) {
  const std::vector<uint8_t> zeros(8, 0);
  VectorSource src(zeros);
  BitInput in;
  in.Reset(&src);
  PpmdRangeDecoder dec;
  dec.Init(in);
  EXPECT_EQ(dec.Threshold(0), UINT32_MAX);
  EXPECT_EQ(dec.Threshold(1u << 14), 0u);
  dec.Decode(0, 1);  // range (2^32 - 1) >> 14, then renormalised to about 2^26
  EXPECT_EQ(dec.Threshold(1u << 27), UINT32_MAX);
  EXPECT_EQ(dec.Threshold(1u << 20), 0u);
}

// Stands in for the range decoder: every choice is a random count, as if
// the data were an encoding of random choices. The model then walks the
// same update paths as on real data.
class RandomChoices {
 public:
  explicit RandomChoices(uint32_t seed) : rng_(seed) {}
  uint32_t Threshold(uint32_t total) { return rng_() % total; }
  void Decode(uint32_t, uint32_t) {}

 private:
  std::mt19937 rng_;
};

// `count` symbols from a 1 MiB model of the given order.
std::vector<int> Drive(int order, size_t count, uint64_t* restarts, uint64_t* glues) {
  RandomChoices choices(11);
  PpmdModelH model;
  EXPECT_TRUE(model.Allocate(1 << 20));
  model.Start(order);
  std::vector<int> out;
  for (size_t i = 0; i < count; ++i) out.push_back(model.DecodeSymbol(choices));
  *restarts = model.restarts();
  *glues = model.glues();
  return out;
}

TEST(PpmdModelH, RunsOutOfMemoryGluesAndStartsOverDeterministically) {
  for (int order : {4, 64}) {
    uint64_t restarts = 0, glues = 0;
    const auto a = Drive(order, 400000, &restarts, &glues);
    EXPECT_GT(glues, 0u) << order;
    EXPECT_GT(restarts, 1u) << order;  // the first is the start itself
    // Escapes out of the root (-1) come only from the random choices.
    EXPECT_GT(std::count_if(a.begin(), a.end(), [](int v) { return v >= 0; }), 390000) << order;
    uint64_t r2, g2;
    EXPECT_EQ(Drive(order, 400000, &r2, &g2), a);
    EXPECT_EQ(r2, restarts);
  }
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
