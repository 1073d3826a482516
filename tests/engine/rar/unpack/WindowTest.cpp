// The LZ window against a plain byte vector: literals and copies (with
// overlap and around the end of the buffer), growth, and the output stage's
// size limit and stop.
#include "engine/rar/unpack/Window_p.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::CollectSink;

TEST(LzWindow, OverlappingCopiesRepeatTheLastBytes) {
  LzWindow w;
  ASSERT_TRUE(w.Reserve(64));
  w.Put('a');
  w.Put('b');
  w.Copy(2, 6);
  w.Put('x');
  w.Copy(1, 4);
  w.Copy(9, 3);  // plain back-reference
  EntryParams p;
  p.unpackedSize = 100;
  EntryOutput out;
  CollectSink sink;
  out.Begin(&sink, p);
  ASSERT_TRUE(w.EmitRange(out, 0, w.pos));
  EXPECT_EQ(std::string(sink.bytes.begin(), sink.bytes.end()), "abababab" "x" "xxxx" "aba");
}

TEST(LzWindow, MatchesAReferenceModelAcrossTheBufferEnd) {
  // A 64-byte window, flushed every few bytes, checked against a vector.
  std::mt19937 rng(7);
  LzWindow w;
  ASSERT_TRUE(w.Reserve(64));
  std::vector<uint8_t> want;
  EntryParams p;
  p.unpackedSize = 1 << 20;
  EntryOutput out;
  CollectSink sink;
  out.Begin(&sink, p);
  while (want.size() < 20000) {
    if (want.empty() || rng() % 3 == 0) {
      const uint8_t b = static_cast<uint8_t>(rng());
      w.Put(b);
      want.push_back(b);
    } else {
      const uint64_t dist = 1 + rng() % std::min<size_t>(want.size(), 40);
      const uint32_t len = 1 + rng() % 20;
      w.Copy(dist, len);
      for (uint32_t i = 0; i < len; ++i) want.push_back(want[want.size() - dist]);
    }
    ASSERT_TRUE(w.EmitRange(out, w.written, w.pos));
    w.written = w.pos;
  }
  EXPECT_EQ(sink.bytes, want);
  // A filter block that wraps around the end of the buffer comes out whole.
  const size_t n = 60;
  ASSERT_GT((w.pos - n) % 64 + n, 64u) << "the block does not cross the buffer end";
  std::vector<uint8_t> block(n);
  w.CopyOut(w.pos - n, n, block.data());
  EXPECT_EQ(block, std::vector<uint8_t>(want.end() - n, want.end()));
}

TEST(LzWindow, CopiesFromNearlyAWholeWindowBackAreByteExact) {
  // Distances close to the window size put the source just ahead of the
  // destination in the buffer; long and short copies take every path.
  std::mt19937 rng(11);
  const uint64_t size = 1024;
  LzWindow w;
  ASSERT_TRUE(w.Reserve(size));
  ASSERT_EQ(w.size(), size);
  std::vector<uint8_t> want;
  EntryParams p;
  p.unpackedSize = 1 << 22;
  EntryOutput out;
  CollectSink sink;
  out.Begin(&sink, p);
  while (want.size() < 200000) {
    if (want.size() < size || rng() % 4 == 0) {
      const uint8_t b = static_cast<uint8_t>(rng());
      w.Put(b);
      want.push_back(b);
    } else {
      const uint32_t len = 1 + rng() % 300;
      const uint64_t dist = size - rng() % (len + 8);
      w.Copy(dist, len);
      for (uint32_t i = 0; i < len; ++i) want.push_back(want[want.size() - dist]);
    }
    ASSERT_TRUE(w.EmitRange(out, w.written, w.pos));
    w.written = w.pos;
  }
  EXPECT_EQ(sink.bytes, want);
}

TEST(LzWindow, GrowingKeepsTheRecentBytesAtTheirPositions) {
  LzWindow w;
  ASSERT_TRUE(w.Reserve(16));
  EXPECT_EQ(w.size(), 16u);
  for (int i = 0; i < 40; ++i) w.Put(static_cast<uint8_t>(i));
  ASSERT_TRUE(w.Reserve(33));  // rounds up to 64
  EXPECT_EQ(w.size(), 64u);
  for (uint64_t a = 24; a < 40; ++a) EXPECT_EQ(w.At(a), a) << a;
  w.Copy(16, 16);  // reaches the oldest kept byte
  for (uint64_t a = 40; a < 56; ++a) EXPECT_EQ(w.At(a), a - 16);
  ASSERT_TRUE(w.Reserve(8));  // never shrinks
  EXPECT_EQ(w.size(), 64u);
}

TEST(EntryOutput, NeverPassesMoreThanTheDeclaredSize) {
  const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EntryParams p;
  p.unpackedSize = 5;
  EntryOutput out;
  CollectSink sink;
  out.Begin(&sink, p);
  EXPECT_TRUE(out.Emit(data, 3));
  EXPECT_FALSE(out.Emit(data, 3));
  EXPECT_TRUE(out.overflow());
  EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{1, 2, 3, 1, 2}));
  EXPECT_FALSE(out.Emit(data, 1));
  EXPECT_EQ(sink.total(), 5u);

  p.unknownSize = true;
  out.Begin(&sink, p);
  EXPECT_TRUE(out.Emit(data, 8));

  struct Stopping : UnpackedSink {
    bool Write(const uint8_t*, size_t) override { return false; }
  } stop;
  out.Begin(&stop, p);
  EXPECT_FALSE(out.Emit(data, 2));
  EXPECT_TRUE(out.stopped());
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
