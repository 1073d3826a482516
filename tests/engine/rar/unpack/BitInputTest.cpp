// The bit reader: bit order, refills across the byte buffer and across short
// reads, zeros and the end flags past the data, alignment and look-ahead.
#include "engine/rar/unpack/BitInput_p.h"

#include <gtest/gtest.h>

#include <vector>

#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::VectorSource;

TEST(BitInput, ReadsMostSignificantBitFirstAcrossAnyChunking) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 300000; ++i) data.push_back(static_cast<uint8_t>(i * 7 + (i >> 8)));
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{4093}, SIZE_MAX}) {
    VectorSource src(data, chunk);
    BitInput in;
    in.Reset(&src);
    EXPECT_EQ(in.Bits(16), (uint32_t{data[0]} << 8) | data[1]);
    EXPECT_EQ(in.Bits(4), uint32_t{data[2]} >> 4);
    EXPECT_EQ(in.Bits(12), ((uint32_t{data[2]} & 15) << 8) | data[3]);
    // Then every later byte through odd field widths: 3 + 5 bits per byte.
    for (size_t i = 4; i < data.size(); ++i) {
      const uint32_t hi = in.Bits(3), lo = in.Bits(5);
      ASSERT_EQ((hi << 5) | lo, data[i]) << "byte " << i << " chunk " << chunk;
    }
    EXPECT_TRUE(in.Exhausted());
    EXPECT_EQ(in.ConsumedPastEnd(), 0u);
  }
}

TEST(BitInput, WideFieldsAndPeekDoNotConsume) {
  const std::vector<uint8_t> data = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11};
  VectorSource src(data);
  BitInput in;
  in.Reset(&src);
  EXPECT_EQ(in.Peek(32), 0x12345678u);
  EXPECT_EQ(in.Peek(0), 0u);
  EXPECT_EQ(in.Bits(0), 0u);
  EXPECT_EQ(in.Bits64(40), 0x123456789Aull);
  EXPECT_EQ(in.BitPosition(), 40u);
  EXPECT_EQ(in.Bits(32), 0xBCDEF011u);
}

TEST(BitInput, PastTheEndGivesZerosAndSaysSo) {
  const std::vector<uint8_t> data = {0xFF, 0x81};
  VectorSource src(data);
  BitInput in;
  in.Reset(&src);
  EXPECT_EQ(in.Bits(15), 0x7FC0u);  // 1111 1111 1000 000
  EXPECT_TRUE(in.PastEnd());         // the look-ahead already holds padding
  EXPECT_FALSE(in.Exhausted());      // but one real bit is left
  EXPECT_EQ(in.Bit(), 1u);
  EXPECT_TRUE(in.Exhausted());
  EXPECT_EQ(in.ConsumedPastEnd(), 0u);
  EXPECT_EQ(in.Bits(32), 0u);
  EXPECT_EQ(in.Bits(32), 0u);
  EXPECT_EQ(in.ConsumedPastEnd(), 64u);
  EXPECT_FALSE(in.ReadFailed());
}

TEST(BitInput, AlignSkipsToTheNextByteOnlyWhenNeeded) {
  const std::vector<uint8_t> data = {0xA5, 0x3C, 0x0F};
  VectorSource src(data);
  BitInput in;
  in.Reset(&src);
  in.AlignToByte();
  EXPECT_EQ(in.BitPosition(), 0u);
  EXPECT_EQ(in.Bits(3), 0x5u);
  in.AlignToByte();
  EXPECT_EQ(in.BitPosition(), 8u);
  EXPECT_EQ(in.Bits(8), 0x3Cu);
  in.AlignToByte();
  EXPECT_EQ(in.Bits(8), 0x0Fu);
}

TEST(BitInput, CountsBytesAheadAndReportsReadErrors) {
  std::vector<uint8_t> data(100, 0x55);
  VectorSource src(data, 3);
  BitInput in;
  in.Reset(&src);
  for (int i = 0; i < 90; ++i) in.Bits(8);
  EXPECT_TRUE(in.HasBytesAhead(7));
  for (int i = 0; i < 3; ++i) in.Bits(8);
  EXPECT_TRUE(in.HasBytesAhead(7));
  in.Bits(8);
  EXPECT_FALSE(in.HasBytesAhead(7));
  EXPECT_TRUE(in.HasBytesAhead(6));

  struct Failing : PackedSource {
    std::ptrdiff_t Read(uint8_t*, size_t) override { return -1; }
  } failing;
  in.Reset(&failing);
  EXPECT_EQ(in.Bits(8), 0u);
  EXPECT_TRUE(in.ReadFailed());
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
