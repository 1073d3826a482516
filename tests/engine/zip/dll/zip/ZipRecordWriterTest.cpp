// Record builders of the zip library: where values overflow into Zip64
// fields, and that extra fields stay well formed.
#include <gtest/gtest.h>

#include "engine/common/LittleEndian.h"
#include "engine/zip/dll/zip/ZipRecordWriter.h"

namespace zd = arkelin::engine::zip::zipdll;
namespace common = arkelin::engine::common;

namespace {
const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
}  // namespace

TEST(ZipRecordWriter, EndRecordAloneWhileEverythingFits) {
  const std::string end = zd::BuildEnd(65534, 1000, 0xFFFFFFFEu, "hi");
  ASSERT_EQ(end.size(), 22u + 2);
  EXPECT_EQ(common::Le32(U(end)), zd::kEndSig);
  EXPECT_EQ(common::Le16(U(end) + 10), 65534);
  EXPECT_EQ(common::Le32(U(end) + 16), 0xFFFFFFFEu);
  EXPECT_EQ(end.substr(22), "hi");
}

TEST(ZipRecordWriter, MoreThan65534EntriesNeedTheZip64EndRecord) {
  const std::string end = zd::BuildEnd(70000, 5000, 1234, "");
  ASSERT_EQ(end.size(), 56u + 20 + 22);
  EXPECT_EQ(common::Le32(U(end)), zd::kZip64EndSig);
  EXPECT_EQ(common::Le64(U(end) + 32), 70000u);
  EXPECT_EQ(common::Le64(U(end) + 48), 1234u);
  EXPECT_EQ(common::Le32(U(end) + 56), zd::kZip64LocatorSig);
  EXPECT_EQ(common::Le64(U(end) + 64), 1234u + 5000u);  // where the Zip64 record sits
  EXPECT_EQ(common::Le16(U(end) + 76 + 10), 0xFFFF);
  EXPECT_EQ(common::Le32(U(end) + 76 + 16), 1234u);  // the offset itself still fits
}

TEST(ZipRecordWriter, CentralHeaderMovesOnlySaturatedFieldsIntoZip64Block) {
  zd::OutEntry e;
  e.name = "big.bin";
  e.usize = 5ull << 30;
  e.csize = 1000;
  e.offset = 6ull << 30;
  e.extra = zd::TimeExtra(100);
  const std::string h = zd::BuildCentralHeader(e);
  EXPECT_EQ(common::Le16(U(h) + 6), 45);
  EXPECT_EQ(common::Le32(U(h) + 20), 1000u);
  EXPECT_EQ(common::Le32(U(h) + 24), 0xFFFFFFFFu);
  EXPECT_EQ(common::Le32(U(h) + 42), 0xFFFFFFFFu);
  const size_t extraAt = 46 + e.name.size();
  ASSERT_EQ(common::Le16(U(h) + 30), 4 + 16 + 9);
  EXPECT_EQ(common::Le16(U(h) + extraAt), zd::kExtraZip64);
  EXPECT_EQ(common::Le16(U(h) + extraAt + 2), 16);
  EXPECT_EQ(common::Le64(U(h) + extraAt + 4), 5ull << 30);   // usize first
  EXPECT_EQ(common::Le64(U(h) + extraAt + 12), 6ull << 30);  // then the offset; csize fitted
}

TEST(ZipRecordWriter, LocalZip64HeaderHoldsBothSizesWherePatchesGo) {
  zd::OutEntry e;
  e.name = "x";
  e.usize = 7;
  e.csize = 9;
  const std::string h = zd::BuildLocalHeader(e, true, "");
  EXPECT_EQ(common::Le32(U(h) + 18), 0xFFFFFFFFu);
  EXPECT_EQ(common::Le64(U(h) + zd::LocalZip64SizesOffset(e)), 7u);
  EXPECT_EQ(common::Le64(U(h) + zd::LocalZip64SizesOffset(e) + 8), 9u);
}

TEST(ZipRecordWriter, StripExtraBlockDropsTheIdAndBrokenTail) {
  std::string extra;
  common::AppendLe16(extra, 0x0001);
  common::AppendLe16(extra, 8);
  common::AppendLe64(extra, 42);
  extra += zd::TimeExtra(7);
  common::AppendLe16(extra, 0x7075);
  common::AppendLe16(extra, 200);  // claims more than is there
  extra += "abc";
  EXPECT_EQ(zd::StripExtraBlock(extra, 0x0001), zd::TimeExtra(7));
}

TEST(ZipRecordWriter, DosTimeRoundsOddSecondsUpAndClampsBefore1980) {
  uint16_t t = 0, d = 0;
  zd::ToDosTime(0, t, d);  // 1970
  EXPECT_EQ(t, 0);
  EXPECT_EQ(d, (1 << 5) | 1);
  struct tm tm {};
  tm.tm_year = 2020 - 1900;
  tm.tm_mon = 5;
  tm.tm_mday = 7;
  tm.tm_hour = 13;
  tm.tm_min = 14;
  tm.tm_sec = 15;
  tm.tm_isdst = -1;
  zd::ToDosTime(mktime(&tm), t, d);
  EXPECT_EQ(t & 0x1F, 8);  // 16 seconds
  EXPECT_EQ(t >> 11, 13);
  EXPECT_EQ(d >> 9, 40);
}

// Blocks of a large file are deflated separately and joined; the joined
// stream must inflate to the concatenated input whatever bit the first
// stream ended on.
#include <libdeflate.h>
#include <zlib.h>

#include <random>

#include "engine/zip/dll/zip/ZipCompressPool.h"

namespace {
std::string Deflate(const std::string& in, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_deflate_compress_bound(c, in.size()), '\0');
  out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}
std::string Inflate(const std::string& in, size_t expected) {
  std::string out(expected + 1, '\0');
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  const bool allUsed = z.avail_in == 0;
  inflateEnd(&z);
  return rc == Z_STREAM_END && allUsed ? out : "inflate failed";
}
}  // namespace

TEST(ZipRecordWriter, JoinedDeflateStreamsInflateToTheJoinedInput) {
  std::mt19937 g(42);
  for (int round = 0; round < 60; ++round) {
    std::string parts[3];
    for (auto& p : parts) {
      const size_t n = 1 + g() % 200000;
      p.resize(n);
      const int kind = static_cast<int>(g() % 3);  // text-like, random (stored blocks), one repeated byte
      for (size_t i = 0; i < n; ++i)
        p[i] = static_cast<char>(kind == 0 ? "abcde \n"[g() % 7] : kind == 1 ? g() : 'z');
    }
    const int level = 1 + static_cast<int>(g() % 9);
    std::string joined;
    for (int i = 0; i < 3; ++i) {
      std::string s = Deflate(parts[i], level);
      if (i < 2) {
        ASSERT_TRUE(arkelin::engine::zip::zipdll::MakeJoinable(s)) << round;
      }
      joined += s;
    }
    const std::string want = parts[0] + parts[1] + parts[2];
    ASSERT_EQ(Inflate(joined, want.size()), want) << "round " << round << " level " << level;
  }
  std::string garbage = "\x05\xff\x00";
  EXPECT_FALSE(arkelin::engine::zip::zipdll::MakeJoinable(garbage));
}
