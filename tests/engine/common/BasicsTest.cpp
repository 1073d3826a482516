// The CRC against zlib's, DOS stamps both ways and their clamps, code page
// 437 and UTF-8 checks, and the wildcard matcher for typed specifications.
#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>
#include <string>

#include "engine/common/CodePage437.h"
#include "engine/common/Crc32.h"
#include "engine/common/DosTime.h"
#include "engine/common/LittleEndian.h"
#include "engine/common/Wildcard.h"

namespace c = arkelin::engine::common;

TEST(Crc32, MatchesZlibAcrossPiecesAndStepsLikeTheTable) {
  std::string s(100000, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 7919);
  const uint32_t whole = crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size()));
  uint32_t parts = c::Crc32(0, s.data(), 333);
  parts = c::Crc32(parts, s.data() + 333, s.size() - 333);
  EXPECT_EQ(parts, whole);
  EXPECT_EQ(c::Crc32(0, "", 0), 0u);
  // The table step without inversion, as the CRC's inner loop uses it.
  uint32_t k = 0xFFFFFFFFu;
  for (char ch : std::string("abc")) k = c::Crc32Step(k, static_cast<uint8_t>(ch));
  EXPECT_EQ(k ^ 0xFFFFFFFFu, c::Crc32(0, "abc", 3));
}

TEST(DosTime, RoundTripsClampsAndRoundsOddSecondsAsAsked) {
  uint16_t t = 0, d = 0;
  const int64_t when = c::DosToUnix((13 << 11) | (45 << 5) | 10, ((2021 - 1980) << 9) | (7 << 5) | 15);
  ASSERT_GT(when, 0);
  c::UnixToDos(when, t, d);
  EXPECT_EQ(t, (13 << 11) | (45 << 5) | 10);
  EXPECT_EQ(d, ((2021 - 1980) << 9) | (7 << 5) | 15);
  c::UnixToDos(when + 1, t, d);
  EXPECT_EQ(t & 0x1F, 10) << "an odd second rounds down by default";
  c::UnixToDos(when + 1, t, d, c::OddSecond::Up);
  EXPECT_EQ(t & 0x1F, 11) << "and up when asked";
  EXPECT_EQ(c::DosToUnix(0, 0), -1);
  EXPECT_EQ(c::DosToUnix(0, (1 << 5)), -1) << "day 0";
  EXPECT_EQ(c::DosToUnix(0, (13 << 5) | 1), -1) << "month 13";
  c::UnixToDos(0, t, d);  // 1970 clamps to 1980-01-01
  EXPECT_EQ(d, (1 << 5) | 1);
  EXPECT_EQ(t, 0);
  c::UnixToDos(int64_t{5000000000}, t, d);  // 2128 clamps to the last stamp
  EXPECT_EQ(d, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(t, (23 << 11) | (59 << 5) | 29);
}

TEST(CodePage437, ConvertsEveryHighByteAndKeepsValidUtf8WhenAsked) {
  EXPECT_EQ(c::Cp437ToUtf8("\x81" "ber"), "\xC3\xBC" "ber");
  EXPECT_EQ(c::Cp437ToUtf8("caf\xC3\xA9"), "caf\xE2\x94\x9C\xE2\x8C\x90") << "every byte on its own";
  EXPECT_EQ(c::Cp437ToUtf8("\xFF"), "\xC2\xA0");
  EXPECT_EQ(c::Utf8OrCp437("caf\xC3\xA9"), "caf\xC3\xA9") << "valid UTF-8 stays";
  EXPECT_EQ(c::Utf8OrCp437("\x81" "ber"), "\xC3\xBC" "ber");
  EXPECT_TRUE(c::IsValidUtf8("abc"));
  EXPECT_TRUE(c::IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(c::IsValidUtf8("\xC0\xAF")) << "overlong";
  EXPECT_FALSE(c::IsValidUtf8("\xED\xA0\x80")) << "surrogate";
  EXPECT_FALSE(c::IsValidUtf8("\xF4\x90\x80\x80")) << "past U+10FFFF";
  EXPECT_FALSE(c::IsValidUtf8("\xE2\x82")) << "cut short";
}

TEST(Wildcard, IgnoresCaseAndStarDotStarMatchesEverything) {
  EXPECT_TRUE(c::WildcardMatch("*.TXT", "a/b.txt"));
  EXPECT_TRUE(c::WildcardMatch("?b*", "Abc"));
  EXPECT_TRUE(c::WildcardMatch("*", ""));
  EXPECT_TRUE(c::WildcardMatch("*.*", "Makefile"));
  EXPECT_TRUE(c::WildcardMatch("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(c::WildcardMatch("a*b*c", "aXXbYY"));
  EXPECT_FALSE(c::WildcardMatch("?", ""));
  EXPECT_FALSE(c::WildcardMatch("?.dat", "ab.dat"));
  EXPECT_FALSE(c::WildcardMatch("abc", "abcd"));
  EXPECT_TRUE(c::WildcardMatch("dir/*", "dir/sub/file"));
  EXPECT_TRUE(c::HasWildcard("a?c"));
  EXPECT_FALSE(c::HasWildcard("abc"));
}

TEST(LittleEndian, ReadsWhatItWrites) {
  std::string s;
  c::AppendLe16(s, 0xBEEF);
  c::AppendLe32(s, 0x12345678u);
  c::AppendLe64(s, 0x0102030405060708ull);
  ASSERT_EQ(s.size(), 14u);
  EXPECT_EQ(static_cast<uint8_t>(s[0]), 0xEF);
  EXPECT_EQ(c::Le16(s.data()), 0xBEEF);
  EXPECT_EQ(c::Le32(s.data() + 2), 0x12345678u);
  EXPECT_EQ(c::Le64(s.data() + 6), 0x0102030405060708ull);
  uint8_t b[8];
  c::PutLe64(b, 0xFFEEDDCCBBAA9988ull);
  EXPECT_EQ(b[0], 0x88);
  EXPECT_EQ(c::Le64(b), 0xFFEEDDCCBBAA9988ull);
}
