// The decoder interface: limits refused before allocating, stop and read
// errors, solid misuse, and hand-built streams for the paths no sample
// reaches (unknown filter programs and types, PPMd headers).
#include "engine/rar/unpack/RarUnpack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FixtureEntries.h"
#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::CollectSink;
using test::FixtureEntry;
using test::FixturePath;
using test::ReadFixtureEntries;
using test::VectorSource;

// MSB-first bit writer for hand-built streams.
class BitWriter {
 public:
  void Put(uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (bit_ == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> bit_);
      bit_ = (bit_ + 1) & 7;
    }
  }
  void Pad(size_t zeros) { bytes.insert(bytes.end(), zeros, 0); bit_ = 0; }
  std::vector<uint8_t> bytes;

 private:
  unsigned bit_ = 0;
};

// Level code used by the hand-built tables: symbol 19 = "0" (a run of
// bits(7) + 11 zeros), symbol 1 = "10" (length 1), symbol 18 = "11".
void PutLevelTable(BitWriter& w) {
  for (unsigned i = 0; i < 20; ++i) w.Put(i == 19 ? 1 : (i == 1 || i == 18) ? 2 : 0, 4);
}
void PutZeros(BitWriter& w, unsigned n) {
  while (n > 0) {
    const unsigned run = std::min(n, 138u);
    if (run >= 11) {
      w.Put(0, 1);
      w.Put(run - 11, 7);
      n -= run;
    } else {
      w.Put(3, 2);  // symbol 18: bits(3) + 3 zeros
      w.Put(std::max(run, 3u) - 3, 3);
      n -= std::min(n, std::max(run, 3u));
    }
  }
}
void PutOne(BitWriter& w) { w.Put(2, 2); }

Result DecodeWith(Format f, const std::vector<uint8_t>& packed, const EntryParams& p, CollectSink& sink,
           const Limits& limits = Limits{}) {
  std::string error;
  auto d = Unpacker::Create(f, limits, error);
  EXPECT_TRUE(d) << error;
  VectorSource src(packed);
  return d->Unpack(src, p, sink);
}

FixtureEntry First(const std::string& name) {
  for (auto& e : ReadFixtureEntries({FixturePath(name)}))
    if (!e.directory && !e.stored && !e.encrypted) return e;
  ADD_FAILURE() << name;
  return {};
}

EntryParams ParamsOf(const FixtureEntry& e) {
  EntryParams p;
  p.unpackedSize = e.unpackedSize;
  p.dictionarySize = e.dictionarySize;
  return p;
}

TEST(Unpacker, CreateRefusesLimitsBelowAFixedWindow) {
  std::string error;
  Limits small;
  small.maxDictionary = 2 << 20;
  EXPECT_TRUE(Unpacker::Create(Format::Rar20, small, error));
  EXPECT_FALSE(Unpacker::Create(Format::Rar29, small, error));
  EXPECT_NE(error.find("4096 KiB"), std::string::npos) << error;
  EXPECT_FALSE(Unpacker::Create(static_cast<Format>(99), Limits{}, error));
}

TEST(Unpacker, DictionariesAboveTheLimitAreRefusedBeforeDecoding) {
  const FixtureEntry e = First("la-test_read_format_rar5_arm.rar");
  Limits limits;
  limits.maxDictionary = e.dictionarySize / 2;
  CollectSink sink;
  Result r = DecodeWith(Format::Rar50, e.packed, ParamsOf(e), sink, limits);
  EXPECT_EQ(r.status, Status::TooLarge);
  EXPECT_EQ(sink.total(), 0u);
  // Whatever the caller allows, nothing above the hard cap (4 GiB).
  limits.maxDictionary = UINT64_MAX;
  EntryParams huge = ParamsOf(e);
  huge.dictionarySize = uint64_t{64} << 30;
  EXPECT_EQ(DecodeWith(Format::Rar70, e.packed, huge, sink, limits).status, Status::TooLarge);
}

TEST(Unpacker, StopFromTheSinkEndsTheEntryAndItsSolidGroup) {
  const auto entries = ReadFixtureEntries({FixturePath("la-test_read_format_rar5_solid.rar")});
  ASSERT_GE(entries.size(), 2u);
  std::string error;
  auto d = Unpacker::Create(Format::Rar50, Limits{}, error);
  struct Stopping : UnpackedSink {
    bool Write(const uint8_t*, size_t) override { return false; }
  } stop;
  VectorSource s1(entries[0].packed);
  EntryParams p = ParamsOf(entries[0]);
  EXPECT_EQ(d->Unpack(s1, p, stop).status, Status::Stopped);
  VectorSource s2(entries[1].packed);
  p = ParamsOf(entries[1]);
  p.solid = true;
  CollectSink sink;
  const Result r = d->Unpack(s2, p, sink);
  EXPECT_EQ(r.status, Status::Corrupt);
  EXPECT_NE(r.message.find("predecessor"), std::string::npos);
}

TEST(Unpacker, ASolidEntryCannotStartAStream) {
  for (Format f : {Format::Rar15, Format::Rar20, Format::Rar29, Format::Rar50}) {
    EntryParams p;
    p.solid = true;
    p.unpackedSize = 1;
    CollectSink sink;
    EXPECT_EQ(DecodeWith(f, {0, 0, 0, 0}, p, sink).status, Status::Corrupt);
  }
}

TEST(Unpacker, ReadErrorsAreReportedAsSuch) {
  struct Failing : PackedSource {
    std::ptrdiff_t Read(uint8_t*, size_t) override { return -1; }
  };
  for (Format f : {Format::Rar15, Format::Rar20, Format::Rar29, Format::Rar50}) {
    std::string error;
    auto d = Unpacker::Create(f, Limits{}, error);
    Failing src;
    EntryParams p;
    p.unpackedSize = 100;
    CollectSink sink;
    EXPECT_EQ(d->Unpack(src, p, sink).status, Status::ReadError) << static_cast<int>(f);
  }
}

TEST(Unpacker, Rar5UnknownSizeRunsToTheLastBlock) {
  const FixtureEntry e = First("la-test_read_format_rar5_compressed.rar");
  EntryParams p = ParamsOf(e);
  p.unknownSize = true;
  p.unpackedSize = 0;
  CollectSink sink;
  EXPECT_EQ(DecodeWith(Format::Rar50, e.packed, p, sink).status, Status::Ok);
  EXPECT_EQ(sink.total(), e.unpackedSize);
  EXPECT_EQ(sink.crc(), e.crc);
}

TEST(Unpacker, Rar5BlockHeaderCheckByteIsVerified) {
  FixtureEntry e = First("la-test_read_format_rar5_compressed.rar");
  e.packed[1] ^= 0x01;
  CollectSink sink;
  const Result r = DecodeWith(Format::Rar50, e.packed, ParamsOf(e), sink);
  EXPECT_EQ(r.status, Status::Corrupt);
  EXPECT_EQ(r.message, "bad block header");
}

// A RAR 5 block whose main code has only literal 0 ("0") and the filter
// symbol 256 ("1"), then a filter of an undefined type.
TEST(Unpacker, Rar5UndefinedFilterTypeIsDamage) {
  BitWriter body;
  PutLevelTable(body);
  PutOne(body);          // main[0] = 1
  PutZeros(body, 255);
  PutOne(body);          // main[256] = 1
  PutZeros(body, 430 - 257);  // distance, alignment and length codes stay empty
  body.Put(1, 1);        // symbol 256
  body.Put(0, 2);        // start: one byte
  body.Put(0, 8);
  body.Put(0, 2);        // length: one byte
  body.Put(4, 8);
  body.Put(4, 3);        // type 4: undefined
  const size_t size = body.bytes.size();
  const uint8_t flags = 0xC0 | 7;  // tables, last block, 8 bits in the last byte, 1 size byte
  std::vector<uint8_t> packed(3 + size);
  packed[0] = flags;
  packed[1] = static_cast<uint8_t>(0x5A ^ flags ^ size);
  packed[2] = static_cast<uint8_t>(size);
  std::copy(body.bytes.begin(), body.bytes.end(), packed.begin() + 3);
  EntryParams p;
  p.unpackedSize = 4;
  CollectSink sink;
  const Result r = DecodeWith(Format::Rar50, packed, p, sink);
  EXPECT_EQ(r.status, Status::Corrupt);
  EXPECT_EQ(r.message, "unknown filter type");
}

// A RAR 2.9 LZ block whose main code holds only 256 ("0") and 257 ("1"),
// then a filter definition carrying a program no writer sends.
std::vector<uint8_t> Rar29WithProgram(const std::vector<uint8_t>& code) {
  BitWriter w;
  w.Put(0, 1);  // LZ block
  w.Put(0, 1);  // new tables
  PutLevelTable(w);
  PutZeros(w, 256);
  PutOne(w);  // 256
  PutOne(w);  // 257
  PutZeros(w, 404 - 258);
  w.Put(1, 1);  // symbol 257
  // Payload: program 1 -> number 0 (new), start 0, length 4, code size.
  BitWriter payload;
  payload.Put(0, 2);
  payload.Put(1, 4);
  payload.Put(0, 2);
  payload.Put(0, 4);
  payload.Put(0, 2);
  payload.Put(4, 4);
  payload.Put(1, 2);  // code size as an 8-bit number (>= 16)
  payload.Put(static_cast<uint32_t>(code.size()), 8);
  for (uint8_t b : code) payload.Put(b, 8);
  const unsigned n = static_cast<unsigned>(payload.bytes.size());
  w.Put(0x80 | 0x20 | (7 - 1), 8);  // F: number and length given, N = bits(8) + 7
  w.Put(n - 7, 8);
  for (uint8_t b : payload.bytes) w.Put(b, 8);
  w.Put(0, 1);  // 256: end of block...
  w.Put(0, 1);  // ...and of the file
  w.Put(1, 1);
  w.Pad(8);
  return w.bytes;
}

TEST(Unpacker, Rar29NonStandardFilterProgramIsUnsupportedNotRun) {
  std::vector<uint8_t> code(20, 0x11);  // valid: the XOR of all bytes is 0
  EntryParams p;
  p.unpackedSize = 0;
  CollectSink sink;
  Result r = DecodeWith(Format::Rar29, Rar29WithProgram(code), p, sink);
  EXPECT_EQ(r.status, Status::Unsupported) << r.message;
  code[0] ^= 1;  // broken XOR byte: not a program at all
  r = DecodeWith(Format::Rar29, Rar29WithProgram(code), p, sink);
  EXPECT_EQ(r.status, Status::Corrupt);
  EXPECT_EQ(r.message, "bad filter program");
}

// RAR 2.0 multimedia mode, which no sample archive uses: two channels of
// byte deltas. The audio code gives symbols 0-254 eight bits (their own
// value) and 255, 256 nine bits. The expected bytes were worked out
// separately from the predictor's definition (a throw-away script).
TEST(Unpacker, Rar20AudioModePredictsEachChannel) {
  BitWriter w;
  w.Put(1, 1);  // audio
  w.Put(0, 1);  // fresh lengths
  w.Put(1, 2);  // two channels
  for (unsigned i = 0; i < 19; ++i) w.Put(i == 8 || i == 9 ? 1 : 0, 4);  // level code: 8 = "0", 9 = "1"
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 255; ++i) w.Put(0, 1);  // length 8
    w.Put(1, 1);                                 // 255: length 9
    w.Put(1, 1);                                 // 256: length 9
  }
  std::vector<uint8_t> symbols;
  for (int i = 0; i < 100; ++i) symbols.push_back(static_cast<uint8_t>((i * 29 + 7 * (i / 3)) % 255));
  for (uint8_t s : symbols) w.Put(s, 8);
  w.Pad(4);
  EntryParams p;
  p.unpackedSize = symbols.size();
  CollectSink sink;
  const Result r = DecodeWith(Format::Rar20, w.bytes, p, sink);
  ASSERT_EQ(r.status, Status::Ok) << r.message;
  const std::vector<uint8_t> want{
      0,   227, 198, 133, 75,  237, 143, 20,  153, 249, 97,  164, 232, 14,  53,  55,  65,  37,  11,  210,
      155, 62,  234, 112, 248, 96,  203, 15,  93,  132, 174, 184, 197, 170, 154, 98,  46,  217, 136, 15,
      161, 10,  120, 196, 21,  61,  113, 124, 140, 121, 108, 53,  11,  183, 105, 248, 141, 247, 111, 188,
      16,  64,  119, 131, 165, 147, 112, 98,  33,  208, 150, 34,  193, 53,  149, 234, 74,  124, 191, 209,
      243, 233, 202, 191, 128, 55,  255, 142, 54,  172, 13,  107, 205, 2,   79,  98,  134, 133, 135, 96};
  EXPECT_EQ(sink.bytes, want);
}

TEST(Unpacker, Rar29PpmdHeadersAreCheckedBeforeAllocating) {
  EntryParams p;
  p.unpackedSize = 10;
  Limits limits;
  limits.maxPpmdMemory = 1 << 20;
  CollectSink sink;
  // Reset, order 8, (1 + 1) MiB: above a 1 MiB limit.
  EXPECT_EQ(DecodeWith(Format::Rar29, {0xA7, 0x01, 0, 0, 0, 0, 0, 0}, p, sink, limits).status, Status::TooLarge);
  // (255 + 1) MiB is the format's largest and fits the default limit.
  EXPECT_NE(DecodeWith(Format::Rar29, {0xA7, 0xFF, 0, 0, 0, 0, 0, 0}, p, sink).status, Status::TooLarge);
  // Order 1 does not exist; a block without the reset flag needs a model.
  Result r = DecodeWith(Format::Rar29, {0xA0, 0x00, 0, 0, 0, 0}, p, sink);
  EXPECT_EQ(r.message, "bad PPMd order");
  r = DecodeWith(Format::Rar29, {0x87, 0, 0, 0, 0}, p, sink);
  EXPECT_EQ(r.message, "PPMd block without a model");
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
