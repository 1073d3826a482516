// The output filters on hand-made blocks. The RGB and audio expectations were
// worked out separately from the predictor definitions (a throw-away script).
#include "engine/rar/unpack/Filters_p.h"

#include <gtest/gtest.h>

#include <vector>

namespace arkelin::engine::rar::unpack {
namespace {

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

std::vector<uint8_t> Call(uint8_t op, uint32_t addr) {
  std::vector<uint8_t> v{op};
  const auto a = Le32(addr);
  v.insert(v.end(), a.begin(), a.end());
  return v;
}

TEST(Filters, E8TurnsAbsoluteCallTargetsBackIntoRelativeOnes) {
  // Operand at file offset 0x101 (block at 0x100, opcode at its byte 0).
  auto b = Call(0xE8, 0x00001005);
  b.push_back(0x90);
  FilterE8(b.data(), b.size(), 0x100, false, false);
  EXPECT_EQ(b, (std::vector<uint8_t>{0xE8, 0x04, 0x0F, 0x00, 0x00, 0x90}));

  b = Call(0xE8, 0xFFFFFFF0);  // negative, and target inside the file: +2^24
  b.push_back(0);
  FilterE8(b.data(), b.size(), 0x100, false, false);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 1, b.begin() + 5), Le32(0x00FFFFF0));

  for (uint32_t untouched : {0x02000000u, 0x80000000u}) {
    b = Call(0xE8, untouched);
    b.push_back(0);
    FilterE8(b.data(), b.size(), 0x100, false, false);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 1, b.begin() + 5), Le32(untouched));
  }
}

TEST(Filters, E8SkipsOperandsTakesE9OnlyWhenAskedAndNeedsTheWholeOperand) {
  // E8 E8 00 00 00 00: the second E8 is the first operand byte.
  std::vector<uint8_t> b{0xE8, 0xE8, 0x00, 0x00, 0x00, 0x00};
  FilterE8(b.data(), b.size(), 0, false, false);
  EXPECT_EQ(b, (std::vector<uint8_t>{0xE8, 0xE7, 0x00, 0x00, 0x00, 0x00}));  // 0xE8 - 1

  auto jmp = Call(0xE9, 0x10);
  jmp.push_back(0);
  auto plain = jmp;
  FilterE8(plain.data(), plain.size(), 0, false, false);
  EXPECT_EQ(plain, jmp);
  FilterE8(jmp.data(), jmp.size(), 0, true, false);
  EXPECT_EQ(std::vector<uint8_t>(jmp.begin() + 1, jmp.begin() + 5), Le32(0x0F));

  // An opcode converts only with its whole operand inside the block.
  auto five = Call(0xE8, 0x10);
  FilterE8(five.data(), five.size(), 0, false, false);
  EXPECT_EQ(five, Call(0xE8, 0x0F));
  std::vector<uint8_t> late{0x00, 0x00, 0xE8, 0x10, 0x00, 0x00};
  FilterE8(late.data(), late.size(), 0, false, false);
  EXPECT_EQ(late, (std::vector<uint8_t>{0x00, 0x00, 0xE8, 0x10, 0x00, 0x00}));
}

TEST(Filters, E8PositionWrapsAt2To24OnlyInRar5) {
  auto b5 = Call(0xE8, 0x10);
  b5.push_back(0);
  auto b4 = b5;
  FilterE8(b5.data(), b5.size(), 0x01000005, false, true);  // position (0x01000006 mod 2^24) = 6
  EXPECT_EQ(std::vector<uint8_t>(b5.begin() + 1, b5.begin() + 5), Le32(0x0A));
  FilterE8(b4.data(), b4.size(), 0x01000005, false, false);
  EXPECT_EQ(std::vector<uint8_t>(b4.begin() + 1, b4.begin() + 5), Le32(0x10u - 0x01000006u));
}

TEST(Filters, ArmConvertsBranchWordsAndLeavesTheRest) {
  std::vector<uint8_t> b{0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0xEA, 0x10, 0x00, 0x00, 0xEB, 0xAA, 0xBB, 0xEB};
  FilterArm(b.data(), b.size(), 0x100);
  // Word at 8: 0x10 - ((0x100 + 8) >> 2) = -0x32 (mod 2^24); the partial word stays.
  EXPECT_EQ(b, (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0xEA, 0xCE, 0xFF, 0xFF, 0xEB, 0xAA, 0xBB, 0xEB}));
}

TEST(Filters, ItaniumRebasesBranchSlotsOfMarkedBundles) {
  std::vector<uint8_t> b(48, 0);
  // Bundle 1 (file offset 0x30 >> 4 = 3 at block offset 0x20): template 0x10
  // (slot 2 only), opcode field 5, immediate 0x12345.
  uint8_t* bundle = b.data() + 16;
  bundle[0] = 0x10;
  auto set = [&](unsigned pos, unsigned n, uint32_t v) {
    for (unsigned i = 0; i < n; ++i) {
      const unsigned bit = pos + i;
      if ((v >> i) & 1) bundle[bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
    }
  };
  set(5 + 82 + 37, 4, 5);
  set(5 + 82 + 13, 20, 0x12345);
  auto want = b;
  uint8_t* w = want.data() + 16;
  for (unsigned i = 0; i < 20; ++i) w[(100 + i) / 8] &= static_cast<uint8_t>(~(1 << ((100 + i) % 8)));
  const uint32_t moved = 0x12345 - 3;
  for (unsigned i = 0; i < 20; ++i)
    if ((moved >> i) & 1) w[(100 + i) / 8] |= static_cast<uint8_t>(1 << ((100 + i) % 8));
  FilterItanium(b.data(), b.size(), 0x20);
  EXPECT_EQ(b, want);
}

TEST(Filters, DeltaRebuildsInterleavedChannels) {
  const std::vector<uint8_t> in{1, 2, 3, 4, 5, 6};
  std::vector<uint8_t> out(6);
  FilterDelta(in.data(), out.data(), 6, 2);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xFC, 0xFD, 0xF7, 0xFA, 0xF1}));
  FilterDelta(in.data(), out.data(), 6, 0);
  EXPECT_EQ(out, std::vector<uint8_t>(6, 0));
  FilterDelta(in.data(), out.data(), 6, 100);  // more channels than bytes
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA}));
}

TEST(Filters, RgbPredictsFromTheRowAbove) {
  std::vector<uint8_t> in;
  for (int i = 0; i < 24; ++i) in.push_back(static_cast<uint8_t>(i * 37 + 11));
  std::vector<uint8_t> out(24);
  FilterRgb(in.data(), out.data(), 24, 9, 1);
  EXPECT_EQ(out, (std::vector<uint8_t>{245, 114, 165, 106, 154, 37, 149, 120, 128, 118, 46, 91,
                                       129, 194, 145, 61, 140, 71, 132, 120, 88, 246, 251, 233}));
  const std::vector<uint8_t> small{10, 20, 30, 40, 50, 60};
  std::vector<uint8_t> o2(6);
  FilterRgb(small.data(), o2.data(), 6, 3, 0);
  EXPECT_EQ(o2, (std::vector<uint8_t>{216, 226, 176, 196, 216, 156}));
}

TEST(Filters, AudioAdaptsItsPredictorEvery32Bytes) {
  std::vector<uint8_t> in;
  for (int i = 0; i < 80; ++i) in.push_back(static_cast<uint8_t>(i * i * 7 + 3));
  std::vector<uint8_t> out(80);
  FilterAudio(in.data(), out.data(), 80, 2);
  const std::vector<uint8_t> want{
      253, 61,  243, 67,  212, 4,   146, 114, 31,  127, 109, 29,  110, 62,  20,  212, 81,  209, 23,  39,
      88,  200, 6,   166, 19,  179, 113, 225, 18,  34,  232, 104, 229, 165, 251, 203, 28,  204, 58,  154,
      71,  39,  53,  101, 246, 70,  124, 188, 185, 185, 159, 47,  32,  16,  46,  78,  187, 219, 185, 169,
      26,  170, 208, 208, 205, 13,  3,   83,  93,  148, 207, 194, 77,  207, 203, 173, 60,  78,  147, 164};
  EXPECT_EQ(out, want);
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
