// Canonical codes: assignment order, the table and long-code paths, and the
// damaged length sets (over-subscribed, incomplete, one symbol, empty).
#include "engine/rar/unpack/Huffman_p.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::VectorSource;

// Packs a string of '0'/'1' into bytes, most significant bit first.
std::vector<uint8_t> BitsOf(const std::string& s) {
  std::vector<uint8_t> out((s.size() + 7) / 8, 0);
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == '1') out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  return out;
}

std::vector<int> DecodeAll(const HuffmanCode& code, const std::string& bits, size_t count) {
  const auto data = BitsOf(bits);
  VectorSource src(data);
  BitInput in;
  in.Reset(&src);
  std::vector<int> out;
  for (size_t i = 0; i < count; ++i) out.push_back(code.Decode(in));
  return out;
}

TEST(HuffmanCode, AssignsCodesByLengthThenSymbol) {
  // A:2 B:1 C:3 D:3 -> B=0, A=10, C=110, D=111.
  const uint8_t lens[] = {2, 1, 3, 3};
  HuffmanCode code;
  ASSERT_TRUE(code.Build(lens, 4));
  EXPECT_EQ(DecodeAll(code, "0" "10" "110" "111" "0", 5), (std::vector<int>{1, 0, 2, 3, 1}));
}

TEST(HuffmanCode, DecodesCodesLongerThanTheLookupTable) {
  // Symbol k has k ones then a zero (k < 14); symbol 14 is fourteen ones.
  uint8_t lens[15];
  for (int k = 0; k < 14; ++k) lens[k] = static_cast<uint8_t>(k + 1);
  lens[13] = 14;
  lens[14] = 14;
  HuffmanCode code;
  ASSERT_TRUE(code.Build(lens, 15));
  std::string bits;
  std::vector<int> want;
  for (int k : {13, 0, 10, 11, 14, 12, 9, 3}) {
    bits += std::string(static_cast<size_t>(k), '1') + (k == 14 ? "" : "0");
    want.push_back(k);
  }
  EXPECT_EQ(DecodeAll(code, bits, want.size()), want);
}

TEST(HuffmanCode, RejectsOverSubscribedLengths) {
  const uint8_t three[] = {1, 1, 1};
  HuffmanCode code;
  EXPECT_FALSE(code.Build(three, 3));
  // A failed build leaves a code that decodes nothing.
  EXPECT_EQ(DecodeAll(code, "00000000", 1), std::vector<int>{-1});
  const uint8_t tooLong[] = {16, 1};
  EXPECT_FALSE(code.Build(tooLong, 2));
}

TEST(HuffmanCode, IncompleteSetsDecodeTheirCodesAndRejectTheRest) {
  const uint8_t one[] = {0, 1, 0};  // one symbol of length 1: "0" only
  HuffmanCode code;
  ASSERT_TRUE(code.Build(one, 3));
  EXPECT_EQ(DecodeAll(code, "001", 3), (std::vector<int>{1, 1, -1}));

  const uint8_t partial[] = {1, 2};  // "0", "10"; "11" unassigned
  ASSERT_TRUE(code.Build(partial, 2));
  EXPECT_EQ(DecodeAll(code, "01011", 3), (std::vector<int>{0, 1, -1}));

  const uint8_t none[] = {0, 0, 0, 0};
  ASSERT_TRUE(code.Build(none, 4));
  EXPECT_EQ(DecodeAll(code, "0000", 1), std::vector<int>{-1});
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
