// Every decoder over the real archives: each entry's bytes against the CRC32
// its header stores, solid groups (also entered in the middle), short reads,
// and the damaged samples, which must fail without running past their size.
#include "engine/rar/unpack/RarUnpack.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FixtureEntries.h"
#include "UnpackTestSupport.h"

namespace arkelin::engine::rar::unpack {
namespace {

using test::CollectSink;
using test::DiscardSink;
using test::FixtureEntry;
using test::FixturePath;
using test::ReadFixture;
using test::VectorSource;

std::vector<FixtureEntry> Entries(const std::string& name, const std::string& password = {}) {
  auto a = ReadFixture(FixturePath(name), password);
  EXPECT_TRUE(a.error.empty()) << name << ": " << a.error;
  EXPECT_FALSE(a.entries.empty()) << name;
  return a.entries;
}

bool Decodable(const FixtureEntry& e) { return e.decodable; }

EntryParams ParamsOf(const FixtureEntry& e) {
  EntryParams p;
  p.unpackedSize = e.unpackedSize;
  p.unknownSize = e.unknownSize;
  p.solid = e.solid;
  p.dictionarySize = e.dictionarySize;
  return p;
}

// Decodes the archive's entries in order (one decoder per format, so a solid
// group is one stream) and checks each against its CRC. Answers how many
// entries were checked. Entries listed in `discard` go to a discarding sink
// and are not checked.
int CheckArchive(const std::string& archive, size_t chunk = 4093, const std::map<std::string, uint32_t>& crcs = {},
                 const std::vector<std::string>& discard = {}, const std::string& password = {}) {
  const auto entries = Entries(archive, password);
  std::map<Format, std::unique_ptr<Unpacker>> decoders;
  int checked = 0;
  for (const auto& e : entries) {
    if (!Decodable(e)) continue;
    auto& d = decoders[e.format];
    std::string error;
    if (!d) d = Unpacker::Create(e.format, Limits{}, error);
    EXPECT_TRUE(d) << error;
    if (!d) return checked;
    VectorSource src(e.packed, chunk);
    const bool skip = std::find(discard.begin(), discard.end(), e.name) != discard.end();
    CollectSink keep(0);
    DiscardSink drop;
    UnpackedSink& sink = skip ? static_cast<UnpackedSink&>(drop) : keep;
    const Result r = d->Unpack(src, ParamsOf(e), sink);
    EXPECT_EQ(r.status, Status::Ok) << archive << " " << e.name << ": " << r.message;
    EXPECT_EQ(r.written, e.unpackedSize) << e.name;
    if (skip) continue;
    const auto known = crcs.find(e.name);
    if (known != crcs.end()) {
      EXPECT_EQ(keep.crc(), known->second) << archive << " " << e.name;
    } else if (e.hasCrc) {
      EXPECT_EQ(keep.crc(), e.crc) << archive << " " << e.name;
    } else {
      ADD_FAILURE() << e.name << " has no CRC to check against";
    }
    ++checked;
  }
  return checked;
}

TEST(RarUnpackFixtures, Rar5EntriesMatchTheirChecksums) {
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_compressed.rar"), 1);  // with a DELTA filter
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_win32.rar"), 7);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_arm.rar"), 1);  // ARM and DELTA filters
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_blake2.rar", 4093, {{"cebula.txt", 0x7e5ec49e}}), 1);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_extra_field_version.rar"), 2);
  EXPECT_EQ(CheckArchive("rf-rar5-crc.rar"), 1);
}

TEST(RarUnpackFixtures, Rar5SolidGroupsCarryTheirStreamAcrossEntries) {
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_solid.rar"), 7);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_multiple_files_solid.rar"), 4);
  EXPECT_EQ(CheckArchive("rf-rar5-solid-qo.rar"), 4);
  // Solid across four volumes, blocks straddling the volume ends.
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_multiarchive_solid.part01.rar", 4093, {{"cebula.txt", 0x7e5ec49e}}),
            9);
}

TEST(RarUnpackFixtures, AnEntryFromTheMiddleOfASolidGroupDecodesAfterItsPredecessorsAreDropped) {
  EXPECT_EQ(CheckArchive("la-test_read_format_rar5_solid.rar", 4093, {},
                         {"test.bin", "test1.bin", "test2.bin", "test3.bin"}),
            3);
  EXPECT_EQ(CheckArchive("rf-rar3-solid.rar", 4093, {}, {"stest1.txt"}), 1);
  EXPECT_EQ(CheckArchive("rf-unicode.rar", 4093, {}, {"уииоотивл.txt"}), 1);  // solid PPMd
}

TEST(RarUnpackFixtures, Rar29LzPpmdAndFiltersMatchTheirCrcs) {
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_compress_normal.rar"), 3);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_compress_best.rar"), 3);  // PPMd order 8, 25 MiB
  EXPECT_EQ(CheckArchive("la-test_read_format_rar3_lowdist_reset.rar"), 1);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_filter.rar"), 1);  // E8E9 and DELTA programs
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_binary_data.rar"), 2);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_unbound_staticdata.rar"), 1);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_unicode.rar"), 1);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_encryption_partially.rar"), 1);
  EXPECT_EQ(CheckArchive("rf-rar3-solid.rar"), 2);
  EXPECT_EQ(CheckArchive("rf-unicode.rar"), 2);
  EXPECT_EQ(CheckArchive("rf-seektest.rar"), 1);
  EXPECT_EQ(CheckArchive("rf-rar3-comment-plain.rar"), 2);
}

TEST(RarUnpackFixtures, Rar29LongStreamsWithManyTableAndModeChanges) {
  // 20 MB with many LZ table changes; 241 MB with PPMd <-> LZ switches,
  // also split over four volumes.
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_multi_lzss_blocks.rar", SIZE_MAX), 1);
  EXPECT_EQ(CheckArchive("la-test_read_format_rar_multivolume.part0001.rar", SIZE_MAX), 4);
}

TEST(RarUnpackFixtures, Rar20AndRar15EntriesAndPackedComments) {
  EXPECT_EQ(CheckArchive("rf-rar2-unix-owner.rar"), 1);
  // RAR 2.0 LZ data under the RAR 2.0 cipher (decrypted by the reader).
  EXPECT_EQ(CheckArchive("rf-rar202-comment-psw.rar", 4093, {}, {}, "password"), 2);
  EXPECT_EQ(CheckArchive("rf-rar15-comment.rar"), 1);
  EXPECT_EQ(CheckArchive("rf-rar15-comment-lock.rar"), 1);
  // Old archive comments packed with RAR 1.5 and 2.0, decoded for the reader
  // by these decoders.
  EXPECT_EQ(ReadFixture(FixturePath("rf-rar15-comment.rar")).comment, "RARcomment -----");
  EXPECT_EQ(ReadFixture(FixturePath("rf-rar202-comment-nopsw.rar")).comment, "RARcomment");
}

TEST(RarUnpackFixtures, ShortReadsOfAnySizeGiveTheSameBytes) {
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}}) {
    EXPECT_EQ(CheckArchive("la-test_read_format_rar5_solid.rar", chunk), 7);
    EXPECT_EQ(CheckArchive("la-test_read_format_rar_compress_best.rar", chunk), 3);
    EXPECT_EQ(CheckArchive("la-test_read_format_rar_filter.rar", chunk), 1);
    EXPECT_EQ(CheckArchive("rf-rar15-comment.rar", chunk), 1);
    EXPECT_EQ(CheckArchive("rf-rar2-unix-owner.rar", chunk), 1);
  }
}

// Decodes one entry alone (a new stream) with the given params.
Result DecodeOne(const FixtureEntry& e, const EntryParams& p, std::vector<uint8_t> packed, CollectSink& sink,
                 const Limits& limits = Limits{}) {
  std::string error;
  auto d = Unpacker::Create(e.format, limits, error);
  EXPECT_TRUE(d) << error;
  VectorSource src(packed);
  return d->Unpack(src, p, sink);
}

// The first decodable non-solid entry of an archive.
FixtureEntry FirstEntry(const std::string& name) {
  for (auto& e : Entries(name))
    if (Decodable(e) && !e.solid) return e;
  ADD_FAILURE() << name << " has no decodable entry";
  return {};
}

const char* const kOnePerDecoder[] = {
    "la-test_read_format_rar5_arm.rar",          "la-test_read_format_rar_filter.rar",
    "la-test_read_format_rar_compress_best.rar", "rf-rar2-unix-owner.rar",
    "rf-rar15-comment.rar",
};

TEST(RarUnpackFixtures, TruncatedDataFailsAndNeverRunsPastTheSize) {
  for (const char* name : kOnePerDecoder) {
    const FixtureEntry e = FirstEntry(name);
    for (size_t keep : {size_t{0}, size_t{1}, e.packed.size() / 3, e.packed.size() - 1}) {
      if (keep >= e.packed.size()) continue;
      std::vector<uint8_t> cut(e.packed.begin(), e.packed.begin() + static_cast<std::ptrdiff_t>(keep));
      CollectSink sink(0);
      const Result r = DecodeOne(e, ParamsOf(e), cut, sink);
      EXPECT_LE(sink.total(), e.unpackedSize) << name;
      EXPECT_EQ(r.written, sink.total());
      // Cutting off only the last byte may leave every data bit in place;
      // then the bytes still have to be right.
      if (r.status == Status::Ok) {
        EXPECT_TRUE(keep == e.packed.size() - 1 && sink.crc() == e.crc) << name << " cut to " << keep;
      } else {
        EXPECT_EQ(r.status, Status::Corrupt) << name << " cut to " << keep << ": " << r.message;
      }
    }
  }
}

TEST(RarUnpackFixtures, ADeclaredSizeThatIsWrongIsCaught) {
  for (const char* name : kOnePerDecoder) {
    const FixtureEntry e = FirstEntry(name);
    EntryParams p = ParamsOf(e);
    p.unpackedSize = e.unpackedSize + 1;
    CollectSink longer(0);
    const Result more = DecodeOne(e, p, e.packed, longer);
    EXPECT_LE(longer.total(), p.unpackedSize);
    // RAR 1.5 may find one more symbol in the last byte's spare bits; the
    // CRC then tells. The others know where their data ends.
    if (e.format != Format::Rar15) {
      EXPECT_EQ(more.status, Status::Corrupt) << name;
    }
    p.unpackedSize = e.unpackedSize - 1;
    CollectSink shorter(0);
    const Result r = DecodeOne(e, p, e.packed, shorter);
    EXPECT_EQ(shorter.total(), e.unpackedSize - 1) << name;
    // RAR 1.5 and 2.0 have no end marker: they stop at the size given.
    if (e.format == Format::Rar15 || e.format == Format::Rar20) {
      EXPECT_EQ(r.status, Status::Ok) << name;
    } else {
      EXPECT_EQ(r.status, Status::Corrupt) << name;
    }
  }
}

// The damaged samples whose headers the reader accepts; the packed data of
// the others (headers too broken to walk) are seeds of the decoder fuzz
// targets, whose smoke tests run them under the sanitizers.
TEST(RarUnpackFixtures, DamagedSamplesFailCleanly) {
  const char* const damaged[] = {"la-test_read_format_rar5_bad_tables.rar", "la-test_read_format_rar5_loop_bug.rar"};
  for (const char* name : damaged) {
    int tried = 0;
    for (const auto& e : ReadFixture(FixturePath(name)).entries) {
      if (!e.decodable) continue;
      for (size_t chunk : {size_t{1}, size_t{4093}}) {
        std::string error;
        auto d = Unpacker::Create(e.format, Limits{}, error);
        ASSERT_TRUE(d) << error;
        VectorSource src(e.packed, chunk);
        EntryParams p = ParamsOf(e);
        p.solid = false;
        CollectSink sink(0);
        const Result r = d->Unpack(src, p, sink);
        EXPECT_LE(sink.total(), e.unpackedSize) << name;
        EXPECT_TRUE(r.status != Status::Ok || sink.crc() != e.crc) << name << " decoded as if intact";
        EXPECT_NE(r.status, Status::Stopped);
      }
      ++tried;
    }
    EXPECT_GT(tried, 0) << name;
  }
}

}  // namespace
}  // namespace arkelin::engine::rar::unpack
