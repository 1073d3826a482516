// The archive layer's reading session over the fixtures of other RAR tools'
// test suites and over archives built here: listings as their origins record
// them, checksums of stored data, volume sets opened from any part, encrypted
// headers and data, damaged and hostile input. Compressed entries are the
// decompressors' business and are tested with them; here they only have to
// be listed right.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/RarReader.h"
#include "engine/rar/archive/VolumeSet.h"
#include "RarBuilder.h"
#include "TestFiles.h"
#include "UtcTestZone.h"

using namespace arkelin::engine::rar::archive;
namespace fs = std::filesystem;

namespace {

std::string Fx(const std::string& name) { return std::string(ARKELIN_FIXTURES) + "/rar/" + name; }

struct Row {
  std::string name;
  uint64_t size;
  uint32_t crc;
};

struct Listing {
  int openCode = 0, endCode = 0;
  std::vector<Row> rows;
  std::vector<int> tests;  // Test() of every entry, in order
  std::vector<RarEntry> entries;
  ArchiveInfo info;
};

Listing Read(const std::string& path, const std::string& password = "", bool test = true) {
  Listing l;
  ReaderOptions o;
  o.askPassword = [&](std::string& pw, bool) {
    pw = password;
    return !password.empty();
  };
  RarReader r(o);
  l.openCode = r.Open(path);
  if (l.openCode != 0) return l;
  RarEntry e;
  while ((l.endCode = r.Next(e)) == 0) {
    l.rows.push_back({e.name, e.unpackedSize, e.crc});
    l.entries.push_back(e);
    if (test) l.tests.push_back(r.Test(nullptr));
  }
  l.info = r.Info();
  return l;
}

// Runs fn on another thread and fails the whole run if it hangs.
template <class F>
void Guarded(F fn) {
  auto fut = std::async(std::launch::async, fn);
  if (fut.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fprintf(stderr, "the reader hung for 60 s\n");
    std::_Exit(3);
  }
  fut.get();
}

class StringSink : public arkelin::engine::rar::unpack::UnpackedSink {
 public:
  bool Write(const uint8_t* d, size_t n) override {
    s.append(reinterpret_cast<const char*>(d), n);
    return true;
  }
  std::string s;
};

}  // namespace

TEST(RarReader, ListingsMatchWhatTheirOriginsRecord) {
  struct Case {
    std::string fixture, password;
    std::vector<Row> rows;
  };
  const std::vector<Case> cases = {
      {"la-test_read_format_rar.rar", "",
       {{"test.txt", 20, 0xBEC8A242}, {"testlink", 8, 0xB6C9447B}, {"testdir\\test.txt", 20, 0xBEC8A242},
        {"testdir", 0, 0}, {"testemptydir", 0, 0}}},
      {"la-test_read_format_rar_compress_normal.rar", "",
       {{"LibarchiveAddingTest.html", 20111, 0x5E05A663}, {"testlink", 25, 0x11FCD3F1},
        {"testdir\\test.txt", 20, 0xBEC8A242}, {"testdir\\LibarchiveAddingTest.html", 20111, 0x5E05A663},
        {"testdir", 0, 0}, {"testemptydir", 0, 0}}},
      {"rf-rar3-solid.rar", "", {{"stest1.txt", 2048, 0xC5B7E6A2}, {"stest2.txt", 2048, 0xC5B7E6A2}}},
      {"la-test_read_format_rar4_encrypted.rar", "",
       {{"a.txt", 18, 0xEE5A6E55}, {"b.txt", 18, 0xA9FA1485}, {"c.txt", 18, 0x949A3D35}, {"d.txt", 18, 0x26BAE125}}},
      {"la-test_read_format_rar_encryption_header.rar", "12345678",
       {{"foo.txt", 16, 0xA6AD865C}, {"bar.txt", 16, 0xCD90E2BE}}},
      {"la-test_read_format_rar4_solid_encrypted_filenames.rar", "password",
       {{"a.txt", 18, 0xEE5A6E55}, {"b.txt", 18, 0xA9FA1485}, {"c.txt", 18, 0x949A3D35}, {"d.txt", 18, 0x26BAE125}}},
      {"la-test_read_format_rar5_stored.rar", "", {{"helloworld.txt", 29, 0x95A043B4}}},
      {"la-test_read_format_rar5_multiple_files_solid.rar", "",
       {{"test1.bin", 4096, 0x7E13B2C6}, {"test2.bin", 4096, 0xF166AFCB}, {"test3.bin", 4096, 0x9FB123D9},
        {"test4.bin", 4096, 0x10C43ED4}}},
      // RAR 5 keeps the MAC-converted CRC of b.txt and d.txt.
      {"la-test_read_format_rar5_encrypted.rar", "",
       {{"a.txt", 18, 0xEE5A6E55}, {"b.txt", 18, 0x02A34518}, {"c.txt", 18, 0x949A3D35}, {"d.txt", 18, 0x1263DFC3}}},
      {"rf-rar5-hpsw.rar", "password", {{"stest1.txt", 2048, 0xC5B7E6A2}, {"stest2.txt", 2048, 0xC5B7E6A2}}},
      {"la-test_read_format_rar_filter.rar", "", {{"bsdcat.exe", 204288, 0x4DB10349}}},
      {"la-test_read_format_rar_ppmd_lzss_conversion.rar", "", {{"ppmd_lzss_conversion_test.txt", 241647978, 0xF72B4477}}},
      {"la-test_read_format_rar_multi_lzss_blocks.rar", "", {{"multi_lzss_blocks_test.txt", 20131111, 0x6BA21570}}},
      {"la-test_read_format_rar_binary_data.rar", "",
       {{"random_data.bin", 1048576, 0xB5C45CBE}, {"LibarchiveAddingTest.odt", 32618, 0x3435594D}}},
      {"la-test_read_format_rar5_arm.rar", "", {{"elf-Linux-ARMv7-ls", 90808, 0x886F91EB}}},
      {"rf-rar15-comment.rar", "", {{"FILE1.TXT", 7, 0xE27F07A9}, {"FILE2.TXT", 8, 0x3C4306F7}}},
      {"rf-rar202-comment-psw.rar", "", {{"FILE1.TXT", 7, 0x7A197DBA}, {"FILE2.TXT", 7, 0x785FC3E3}}},
      {"la-test_read_format_rar5_sfx.exe", "", {{"test.txt.txt", 3, 0x884863D2}}},
      {"la-test_read_format_rar3_lowdist_reset.rar", "", {{"lowdist-reset.bin", 64, 0x6FF838DC}}},
      {"la-test_read_format_rar_unbound_staticdata.rar", "", {{"poc_b76.txt", 4, 0x2144DF1C}}},
  };
  for (const auto& c : cases) {
    const Listing l = Read(Fx(c.fixture), c.password, false);
    ASSERT_EQ(l.openCode, 0) << c.fixture;
    EXPECT_EQ(l.endCode, ERAR_END_ARCHIVE) << c.fixture;
    ASSERT_EQ(l.rows.size(), c.rows.size()) << c.fixture;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(l.rows[i].name, c.rows[i].name) << c.fixture;
      EXPECT_EQ(l.rows[i].size, c.rows[i].size) << c.fixture << " " << c.rows[i].name;
      EXPECT_EQ(l.rows[i].crc, c.rows[i].crc) << c.fixture << " " << c.rows[i].name;
    }
  }
}

TEST(RarReader, NamesTimesAttributesAndKindsOfEntries) {
  const Listing r4 = Read(Fx("la-test_read_format_rar.rar"), "", false);
  ASSERT_EQ(r4.entries.size(), 5u);
  // 2011-06-26 14:53:46 UTC (DOS time, read here in UTC).
  EXPECT_EQ(r4.entries[0].mtime.seconds, 1309100026);
  EXPECT_EQ(r4.entries[1].redirection, Redirection::UnixSymlink);
  EXPECT_TRUE(r4.entries[3].isDirectory);
  EXPECT_EQ(r4.entries[0].hostOS, 3u);

  const Listing r5 = Read(Fx("la-test_read_format_rar5_stored.rar"), "", false);
  ASSERT_EQ(r5.entries.size(), 1u);
  // 2018-09-26 04:43:42.437184854 UTC, and a DOS stamp for the list.
  EXPECT_EQ(r5.entries[0].mtime.seconds, 1537937022);
  EXPECT_EQ(r5.entries[0].mtime.nanos, 437184854u);
  EXPECT_NE(r5.entries[0].dosTime, 0u);

  const Listing uni4 = Read(Fx("la-test_read_format_rar_unicode.rar"), "", false);
  ASSERT_EQ(uni4.rows.size(), 6u);
  EXPECT_EQ(uni4.rows[1].name, "表だよ\\漢字長いファイル名long-filename-in-漢字.txt");
  EXPECT_EQ(uni4.rows[5].name, "abcdefghijklmnopqrsテスト.txt");
  const Listing uni5 = Read(Fx("la-test_read_format_rar5_unicode.rar"), "", false);
  ASSERT_EQ(uni5.entries.size(), 3u);
  EXPECT_EQ(uni5.entries[0].name, "👋🌎.txt");
  EXPECT_EQ(uni5.entries[1].redirection, Redirection::HardLink);
  EXPECT_EQ(uni5.entries[1].redirTarget, "👋🌎.txt");

  const Listing links = Read(Fx("rf-rar5-symlink-unix.rar"), "", false);
  ASSERT_EQ(links.entries.size(), 3u);
  EXPECT_EQ(links.entries[2].redirTarget, "../random123");
  const Listing copies = Read(Fx("rf-rar5-dups.rar"), "", false);
  ASSERT_FALSE(copies.entries.empty());
  EXPECT_EQ(copies.entries.back().redirection, Redirection::FileCopy);
  const Listing versions = Read(Fx("rf-rar5-versions.rar"), "", false);
  ASSERT_EQ(versions.rows.size(), 3u);
  EXPECT_EQ(versions.rows[0].name, "versioned.txt;1");
  const Listing comment = Read(Fx("rf-rar5-crc.rar"), "", false);
  EXPECT_EQ(comment.info.comment, "RAR5 archive - crc\n");
  EXPECT_EQ(comment.info.commentState, 1);
}

TEST(RarReader, StoredDataIsCheckedAndDamageFound) {
  const Listing good = Read(Fx("la-test_read_format_rar.rar"));
  EXPECT_EQ(good.tests, (std::vector<int>{0, 0, 0, 0, 0}));
  const Listing bad4 = Read(Fx("gen-rar4-datacrc.rar"));
  EXPECT_EQ(bad4.tests, (std::vector<int>{ERAR_BAD_DATA, 0, 0, 0, 0}));
  const Listing bad5 = Read(Fx("gen-rar5-datacrc.rar"));
  EXPECT_EQ(bad5.tests, (std::vector<int>{ERAR_BAD_DATA}));
  // A damaged header ends the walk where it is.
  const Listing hdr = Read(Fx("gen-rar4-hdrcrc.rar"));
  EXPECT_TRUE(hdr.rows.empty());
  EXPECT_EQ(hdr.endCode, ERAR_BAD_DATA);
  // BLAKE2sp instead of a CRC, checked too.
  const Listing blake = Read(Fx("rf-rar5-blake.rar"));
  ASSERT_EQ(blake.entries.size(), 2u);
  EXPECT_TRUE(blake.entries[1].hasBlake2);
  EXPECT_FALSE(blake.entries[1].hasCrc);
  EXPECT_EQ(blake.tests[1], 0);
}

TEST(RarReader, DataOfStoredEntriesComesOutWhole) {
  ReaderOptions o;
  RarReader r(o);
  ASSERT_EQ(r.Open(Fx("la-test_read_format_rar5_stored.rar")), 0);
  RarEntry e;
  ASSERT_EQ(r.Next(e), 0);
  StringSink sink;
  EXPECT_EQ(r.Test(&sink), 0);
  EXPECT_EQ(sink.s, "hello libarchive test suite!\n");
  EXPECT_EQ(r.Next(e), ERAR_END_ARCHIVE);
}

TEST(RarReader, VolumeSetsOpenFromAnyPartAndSplitEntriesDecodeAsOne) {
  const std::vector<std::vector<std::string>> sets = {
      {"rf-rar5-vols.part1.rar", "rf-rar5-vols.part2.rar", "rf-rar5-vols.part3.rar"},
      {"rf-rar3-old.rar", "rf-rar3-old.r00", "rf-rar3-old.r01"},
  };
  for (const auto& set : sets) {
    for (const auto& part : set) {
      const Listing l = Read(Fx(part));
      ASSERT_EQ(l.rows.size(), 2u) << part;
      EXPECT_EQ(l.rows[0].name, "vols\\bigfile.txt");
      EXPECT_EQ(l.rows[0].size, 205000u);
      EXPECT_EQ(l.rows[0].crc, 0x509AD74Cu) << part;
      EXPECT_EQ(l.entries[0].parts.size(), 3u);
      EXPECT_EQ(l.entries[0].packedSize, 205000u);
      EXPECT_EQ(l.tests, (std::vector<int>{0, 0})) << part;
    }
  }
  for (int p = 1; p <= 4; ++p) {
    const Listing l = Read(Fx("la-test_read_format_rar_multivolume.part000" + std::to_string(p) + ".rar"), "", false);
    EXPECT_EQ(l.rows.size(), 7u) << p;
  }
  const Listing ten = Read(Fx("la-test_rar_multivolume_uncompressed_files.part07.rar"));
  ASSERT_FALSE(ten.rows.empty());
  for (size_t i = 0; i < ten.tests.size(); ++i) EXPECT_EQ(ten.tests[i], 0) << ten.rows[i].name;
}

TEST(RarReader, PackedDataOfASplitEntryReadsAcrossVolumesInOddChunks) {
  for (size_t chunk : {size_t{7}, size_t{4093}, size_t{1} << 20}) {
    RarReader r;
    ASSERT_EQ(r.Open(Fx("rf-rar5-vols.part1.rar")), 0);
    RarEntry e;
    ASSERT_EQ(r.Next(e), 0);
    int code = -1;
    auto src = r.OpenPackedData(code);
    ASSERT_TRUE(src) << code;
    std::string all;
    std::vector<uint8_t> buf(chunk);
    for (;;) {
      const auto n = src->Read(buf.data(), buf.size());
      ASSERT_GE(n, 0);
      if (n == 0) break;
      all.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n));
    }
    EXPECT_EQ(all.size(), 205000u);
    EXPECT_EQ(rartest::Crc(all), 0x509AD74Cu);
  }
}

TEST(RarReader, MissingVolumeIsAskedForAndMayBeSuppliedUnderAnotherName) {
  TempFolder dir;
  fs::copy_file(Fx("rf-rar5-vols.part1.rar"), dir.File("rf-rar5-vols.part1.rar"));
  fs::copy_file(Fx("rf-rar5-vols.part3.rar"), dir.File("rf-rar5-vols.part3.rar"));
  std::vector<std::string> asked, told;
  bool supply = false;
  ReaderOptions o;
  o.askVolume = [&](std::string& name) {
    asked.push_back(fs::path(name).filename().string());
    if (!supply) return false;
    // Supplied under another name; the set goes on from that name's number.
    fs::copy_file(Fx("rf-rar5-vols.part2.rar"), dir.File("other.part2.rar"), fs::copy_options::overwrite_existing);
    fs::copy_file(Fx("rf-rar5-vols.part3.rar"), dir.File("other.part3.rar"), fs::copy_options::overwrite_existing);
    name = dir.File("other.part2.rar");
    return true;
  };
  o.notifyVolume = [&](const std::string& name) {
    told.push_back(fs::path(name).filename().string());
    return true;
  };
  {
    RarReader r(o);
    ASSERT_EQ(r.Open(dir.File("rf-rar5-vols.part1.rar")), 0);
    RarEntry e;
    EXPECT_EQ(r.Next(e), 0);  // the entry is listed, with what went wrong
    EXPECT_FALSE(e.problem.empty());
    EXPECT_EQ(r.Test(nullptr), ERAR_EOPEN);
    EXPECT_EQ(r.Next(e), ERAR_EOPEN);
    EXPECT_EQ(asked, (std::vector<std::string>{"rf-rar5-vols.part2.rar"}));
  }
  asked.clear();
  supply = true;
  {
    RarReader r(o);
    ASSERT_EQ(r.Open(dir.File("rf-rar5-vols.part1.rar")), 0);
    RarEntry e;
    ASSERT_EQ(r.Next(e), 0);
    EXPECT_EQ(r.Test(nullptr), 0);
    ASSERT_EQ(r.Next(e), 0);
    EXPECT_EQ(e.name, "vols\\smallfile.txt");
    EXPECT_EQ(r.Test(nullptr), 0);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(told, (std::vector<std::string>{"other.part2.rar", "other.part3.rar"}));
  }
}

TEST(RarReader, EncryptedHeadersNeedThePasswordBeforeAnythingIsListed) {
  // RAR 5: the check value tells a wrong password at once.
  EXPECT_EQ(Read(Fx("rf-rar5-hpsw.rar"), "wrong").openCode, ERAR_BAD_PASSWORD);
  const Listing none5 = Read(Fx("rf-rar5-hpsw.rar"));
  EXPECT_EQ(none5.openCode, 0);
  EXPECT_TRUE(none5.rows.empty());
  EXPECT_EQ(none5.endCode, ERAR_MISSING_PASSWORD);
  const Listing right5 = Read(Fx("rf-rar5-hpsw.rar"), "password");
  ASSERT_EQ(right5.rows.size(), 2u);
  EXPECT_EQ(right5.info.comment, "RAR5 archive - hdr-password\n");
  EXPECT_TRUE(right5.info.encryptedHeaders);
  EXPECT_EQ(right5.tests[1], 0);  // stored and encrypted: decrypted and checked here

  // RAR 4: a wrong password shows as headers that do not decrypt.
  const Listing wrong4 = Read(Fx("la-test_read_format_rar_encryption_header.rar"), "1234567");
  EXPECT_TRUE(wrong4.rows.empty());
  EXPECT_EQ(wrong4.endCode, ERAR_BAD_PASSWORD);
  const Listing none4 = Read(Fx("la-test_read_format_rar_encryption_header.rar"));
  EXPECT_EQ(none4.endCode, ERAR_MISSING_PASSWORD);
  const Listing right4 = Read(Fx("la-test_read_format_rar4_encrypted_filenames.rar"), "password", false);
  EXPECT_EQ(right4.rows.size(), 4u);
  EXPECT_EQ(right4.endCode, ERAR_END_ARCHIVE);
}

TEST(RarReader, EncryptedDataWithoutOrWithTheWrongPassword) {
  // Stored plain entries are fine without a password; the encrypted ones say
  // what is missing, and RAR 5 knows a wrong password before decoding.
  const Listing none = Read(Fx("la-test_read_format_rar5_encrypted.rar"));
  ASSERT_EQ(none.tests.size(), 4u);
  EXPECT_EQ(none.tests[0], 0);
  EXPECT_EQ(none.tests[1], ERAR_MISSING_PASSWORD);
  EXPECT_EQ(none.tests[2], 0);
  const Listing one = Read(Fx("la-test_read_format_rar5_encrypted.rar"), "password");
  EXPECT_EQ(one.tests[3], ERAR_BAD_PASSWORD);  // d.txt has "password2"
  // BLAKE2sp converted with the password's hash key, on stored data.
  const Listing blake = Read(Fx("rf-rar5-psw-blake.rar"), "password");
  ASSERT_EQ(blake.tests.size(), 2u);
  EXPECT_TRUE(blake.entries[1].crypt.macChecksums);
  EXPECT_EQ(blake.tests[1], 0);
  const Listing blakeWrong = Read(Fx("rf-rar5-psw-blake.rar"), "passwore");
  EXPECT_NE(blakeWrong.tests[1], 0);
}

TEST(RarReader, DamagedAndHostileSamplesFailCleanly) {
  for (const auto& f : fs::directory_iterator(std::string(ARKELIN_FIXTURES) + "/rar")) {
    const std::string name = f.path().filename().string();
    Guarded([&] {
      for (const char* pw : {"", "password", "12345678"}) {
        Listing l = Read(f.path().string(), pw);
        (void)l;
      }
    });
  }
  EXPECT_EQ(Read(std::string(ARKELIN_FIXTURES) + "/README.md").openCode, ERAR_BAD_ARCHIVE);
  EXPECT_EQ(Read("/nonexistent/x.rar").openCode, ERAR_EOPEN);
  const Listing cut = Read(Fx("la-test_read_format_rar_invalid1.rar"));
  ASSERT_EQ(cut.tests.size(), 1u);
  EXPECT_EQ(cut.tests[0], ERAR_BAD_DATA);
}

TEST(RarReader, FolderEntryCarryingDataIsReportedWhileTheNextEntryStillWorks) {
  TempFolder dir;
  rartest::Rar5Entry d;
  d.name = "d";
  d.data = "xxxxx";
  d.directory = true;
  rartest::Rar5Entry f;
  f.name = "f";
  f.data = "abc";
  const std::string arc = rartest::Archive({d, f});
  rartest::Write(dir.File("dirdata.rar"), arc);
  const Listing l = Read(dir.File("dirdata.rar"));
  ASSERT_EQ(l.rows.size(), 2u);
  EXPECT_EQ(l.tests, (std::vector<int>{ERAR_BAD_DATA, 0}));
}

TEST(RarReader, EntriesBeyondFourGibibytesOfOneVolumeAreReached) {
  TempFolder dir;
  // A stored entry that declares 4.5 GiB of data (a hole in a sparse file),
  // then a small one behind it.
  const uint64_t big = (uint64_t{9} << 29);
  rartest::Rar5Entry huge;
  huge.name = "huge.bin";
  huge.declaredDataSize = big;
  std::string head = rartest::Signature() + rartest::MainHeader() + rartest::FileHeader(huge);
  rartest::Rar5Entry after;
  after.name = "after.txt";
  after.data = "behind the hole";
  const std::string tail = rartest::FileHeader(after) + after.data + rartest::EndHeader();
  const std::string path = dir.File("big.rar");
  {
    std::ofstream out(path, std::ios::binary);
    out << head;
  }
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(head.size() + big)), 0);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << tail;
  }
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  ASSERT_GT(static_cast<uint64_t>(st.st_size), uint64_t{1} << 32);
  RarReader r;
  ASSERT_EQ(r.Open(path), 0);
  RarEntry e;
  ASSERT_EQ(r.Next(e), 0);
  EXPECT_EQ(e.packedSize, big);
  ASSERT_EQ(r.Next(e), 0);  // the first one skipped
  EXPECT_EQ(e.name, "after.txt");
  EXPECT_GT(e.parts[0].offset, uint64_t{1} << 32);
  StringSink s;
  EXPECT_EQ(r.Test(&s), 0);
  EXPECT_EQ(s.s, "behind the hole");
}

TEST(VolumeSet, NamesOfTheNextAndTheFirstVolume) {
  EXPECT_EQ(NextVolumeName("/a/x.part1.rar", true), "/a/x.part2.rar");
  EXPECT_EQ(NextVolumeName("x.part9.rar", true), "x.part10.rar");
  EXPECT_EQ(NextVolumeName("x.part0009.rar", true), "x.part0010.rar");
  EXPECT_EQ(NextVolumeName("x.part99.rar", true), "x.part100.rar");
  EXPECT_EQ(NextVolumeName("x.PART01.RAR", true), "x.PART02.RAR");
  EXPECT_EQ(NextVolumeName("v2.1/x.part1.rar", true), "v2.1/x.part2.rar");
  EXPECT_EQ(NextVolumeName("x.rar", false), "x.r00");
  EXPECT_EQ(NextVolumeName("X.RAR", false), "X.R00");
  EXPECT_EQ(NextVolumeName("setup.exe", false), "setup.r00");
  EXPECT_EQ(NextVolumeName("x.r09", false), "x.r10");
  EXPECT_EQ(NextVolumeName("x.r99", false), "x.s00");
  EXPECT_EQ(NextVolumeName("noext", false), "");
  EXPECT_EQ(FirstVolumeName("d/x.part07.rar"), "d/x.part01.rar");
  EXPECT_EQ(FirstVolumeName("x.part0004.rar"), "x.part0001.rar");
  EXPECT_EQ(FirstVolumeName("x.r05"), "x.rar");
  EXPECT_EQ(FirstVolumeName("x.rar"), "x.rar");
}

TEST(VolumeSet, PositionedReadsMatchTheFileAcrossTheBufferEdges) {
  TempFolder dir;
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) ^ (i >> 9));
  rartest::Write(dir.File("v.bin"), data);
  int err = 0;
  auto f = VolumeFile::Open(dir.File("v.bin"), err);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), data.size());
  for (uint64_t off : {uint64_t{0}, uint64_t{65530}, uint64_t{65536}, uint64_t{131071}, uint64_t{299990}}) {
    for (size_t n : {size_t{1}, size_t{13}, size_t{70000}}) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(n, data.size() - off));
      std::string got(want, '\0');
      ASSERT_TRUE(f->ReadExact(off, reinterpret_cast<uint8_t*>(got.data()), want)) << off << " " << n;
      EXPECT_EQ(got, data.substr(static_cast<size_t>(off), want)) << off << " " << n;
    }
  }
  uint8_t b;
  EXPECT_EQ(f->Read(data.size(), &b, 1), 0);
  EXPECT_FALSE(f->ReadExact(data.size() - 1, &b, 2 - 1 + 1));
  EXPECT_FALSE(VolumeFile::Open(dir.File("missing"), err));
}

// The fixtures not named by the tests above, each with what its origin's
// tests expect: sound archives list completely and every entry tests good;
// the damaged and hostile ones fail somewhere (opening, the header walk or a
// test) without a crash, a hang or unbounded memory (the sanitizer build
// runs this too).
TEST(RarReader, TheOtherFixturesAreSoundOrFailAsTheirOriginsExpect) {
  struct Sound {
    const char* fixture;
    const char* password;
    size_t entries;
  };
  const Sound sound[] = {
      {"rf-ctime0.rar", "", 1}, {"rf-ctime1.rar", "", 1}, {"rf-ctime2.rar", "", 1},
      {"rf-ctime3.rar", "", 1}, {"rf-ctime4.rar", "", 1}, {"rf-ctime5.rar", "", 1},
      {"rf-rar3-comment-psw.rar", "password", 2}, {"rf-rar3-owner.rar", "", 2},
      {"rf-rar3-readonly-unix.rar", "", 2}, {"rf-rar3-readonly-win.rar", "", 2},
      {"rf-rar5-owner.rar", "", 2}, {"rf-rar5-readonly-unix.rar", "", 2},
      {"rf-rar5-readonly-win.rar", "", 2}, {"rf-rar5-times.rar", "", 1}, {"rf-rar5-times2.rar", "", 1},
      {"la-test_read_format_rar5_hardlink.rar", "", 2}, {"la-test_read_format_rar5_zip_in_rar.rar", "", 3},
      {"la-test_read_format_rar5_unsupported_exfld.rar", "", 1},
      {"la-test_read_format_rar5_invalid_hash_valid_htime_exfld.rar", "", 1},
      {"la-test_read_format_rar5_main_block_extra_bytes.rar", "", 1},
      {"la-test_read_format_rar5_skip_block_extra_bytes.rar", "", 1},
      // Only a recovery record of over 1 MiB, skipped unread.
      {"la-test_read_format_rar_newsub_rr_over_1m.rar", "", 0},
  };
  for (const Sound& s : sound) {
    SCOPED_TRACE(s.fixture);
    Listing l;
    Guarded([&] { l = Read(Fx(s.fixture), s.password); });
    ASSERT_EQ(l.openCode, 0);
    EXPECT_EQ(l.endCode, ERAR_END_ARCHIVE);
    EXPECT_EQ(l.rows.size(), s.entries);
    EXPECT_EQ(l.tests, std::vector<int>(s.entries, 0));
  }
  const char* damaged[] = {
      "la-test_read_format_rar5_arm_filter_on_window_boundary.rar",
      "la-test_read_format_rar5_bad_tables.rar",
      "la-test_read_format_rar5_bad_window_sz_in_mltarc_file.rar",
      "la-test_read_format_rar5_block_size_is_too_small.rar",
      "la-test_read_format_rar5_bytes_remaining_underflow.rar",
      "la-test_read_format_rar5_data_ready_pointer_leak.rar",
      "la-test_read_format_rar5_decode_number_out_of_bounds_read.rar",
      "la-test_read_format_rar5_different_solid_window_size.rar",
      "la-test_read_format_rar5_different_window_size.rar",
      "la-test_read_format_rar5_different_winsize_on_merge.rar",
      "la-test_read_format_rar5_dirdata.rar",
      "la-test_read_format_rar5_distance_overflow.rar",
      "la-test_read_format_rar5_invalid_dict_reference.rar",
      "la-test_read_format_rar5_leftshift1.rar",
      "la-test_read_format_rar5_leftshift2.rar",
      "la-test_read_format_rar5_loop_bug.rar",
      "la-test_read_format_rar5_nonempty_dir_stream.rar",
      "la-test_read_format_rar5_readtables_overflow.rar",
      "la-test_read_format_rar5_truncated_huff.rar",
      "la-test_read_format_rar5_unpacked_size_exceeds_declared.rar",
      "la-test_read_format_rar5_window_buf_and_size_desync.rar",
      "la-test_read_format_rar_endarc_huge.rar",
      "la-test_read_format_rar_newsub_huge.rar",
      "la-test_read_format_rar_overflow.rar",
      "la-test_read_format_rar_ppmd_use_after_free.rar",
      "la-test_read_format_rar_ppmd_use_after_free2.rar",
      "la-test_read_format_rar_seek_data_cursor0.rar",
      "la-test_read_format_rar_symlink_huge.rar",
      // The entry claims encryption its stored data does not have.
      "la-test_read_format_rar5_only_crypt_exfld.rar",
  };
  for (const char* f : damaged) {
    SCOPED_TRACE(f);
    Listing l;
    Guarded([&] { l = Read(Fx(f), "password"); });
    const bool failed = l.openCode != 0 || l.endCode != ERAR_END_ARCHIVE ||
                        std::any_of(l.tests.begin(), l.tests.end(), [](int c) { return c != 0; });
    EXPECT_TRUE(failed);
  }
}

// A single archive cut into raw pieces reads as the whole once the pieces
// are put together again (the pieces are not volumes).
TEST(RarReader, RawPiecesPutTogetherReadAsTheArchive) {
  struct Set {
    const char* stem;
    const char* last;
  };
  for (const Set& s : {Set{"la-test_read_splitted_rar_a", "d"}, Set{"la-test_read_large_splitted_rar_a", "e"},
                       Set{"la-test_splitted_rar_seek_support_a", "c"}}) {
    SCOPED_TRACE(s.stem);
    TempFolder dir;
    std::ofstream whole(dir.File("whole.rar"), std::ios::binary);
    for (char c = 'a'; c <= s.last[0]; ++c) {
      std::ifstream piece(Fx(std::string(s.stem) + c), std::ios::binary);
      ASSERT_TRUE(piece.good());
      whole << piece.rdbuf();
    }
    whole.close();
    const Listing l = Read(dir.File("whole.rar"));
    ASSERT_EQ(l.openCode, 0);
    EXPECT_EQ(l.endCode, ERAR_END_ARCHIVE);
    ASSERT_FALSE(l.rows.empty());
    EXPECT_EQ(l.tests, std::vector<int>(l.rows.size(), 0));
    // The first piece alone ends in the middle of the data.
    const Listing first = Read(Fx(std::string(s.stem) + "a"));
    const bool failed = first.openCode != 0 || first.endCode != ERAR_END_ARCHIVE ||
                        std::any_of(first.tests.begin(), first.tests.end(), [](int c) { return c != 0; });
    EXPECT_TRUE(failed);
  }
}
