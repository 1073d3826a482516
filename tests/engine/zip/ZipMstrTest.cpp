// The directory reader of TZipMaster: end-record search, comments, trailing
// bytes, self-extractor prefixes, Zip64, numbered volumes, name conversion,
// and the way failures reach the user (boxes) and OnMessage.
#include "engine/zip/ZipMstr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ZipTestUtil.h"
#include "platform/FakePlatform.h"

namespace arkelin::engine::zip {
namespace {

using testing::MakeZip;
using testing::TestEntry;
namespace fs = std::filesystem;

const std::string kFixtures = std::string(ARKELIN_FIXTURES) + "/zip/";

struct Recorder {
  int dirUpdates = 0;
  std::vector<std::string> messages;
  void Attach(TZipMaster& zm) {
    zm.OnDirUpdate = [this](TZipMaster&) { ++dirUpdates; };
    zm.OnMessage = [this](TZipMaster&, int code, const std::string& m) {
      EXPECT_EQ(code, 0);
      messages.push_back(m);
    };
  }
};

class ZipDirReader : public ::testing::Test {
 protected:
  platform::FakePlatformScope platform_;
  TempFolder tmp_;
  TZipMaster zm_;
  Recorder rec_;
  void SetUp() override { rec_.Attach(zm_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string p = tmp_.File(name);
    testing::WriteFile(p, bytes);
    return p;
  }
  const std::vector<platform::MessageBoxRecord>& Boxes() { return platform_.dialogs.boxes; }
};

TEST_F(ZipDirReader, EmptyArchiveListsWithoutMessage) {
  zm_.SetZipFilename(Write("empty.zip", MakeZip({})));
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_EQ(zm_.ArchiveStart(), 0);
  EXPECT_FALSE(zm_.ZipFilename().empty());
  EXPECT_TRUE(rec_.messages.empty());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(rec_.dirUpdates, 1);
}

TEST_F(ZipDirReader, EmptyArchiveWithACommentHasNoPrefix) {
  zm_.SetZipFilename(Write("ec.zip", MakeZip({}, "only a comment")));
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_EQ(zm_.ArchiveStart(), 0);
  EXPECT_EQ(zm_.ArchiveComment(), "only a comment");
  zm_.SetZipFilename(Write("ec.exe", std::string(300, 'S') + MakeZip({}, "c")));
  EXPECT_EQ(zm_.ArchiveStart(), 300);
}

TEST_F(ZipDirReader, ReadsFixedFieldsAndTurnsSlashesIntoBackslashes) {
  TestEntry a{"docs/readme.txt", "hello world"};
  a.comment = "note";
  TestEntry b{"b.bin", std::string(1000, 'x')};
  zm_.SetZipFilename(Write("a.zip", MakeZip({a, b})));
  ASSERT_EQ(zm_.Count(), 2);
  const ZipDirEntry& e = zm_.Entries()[0];
  EXPECT_EQ(e.FileName, "docs\\readme.txt");
  EXPECT_EQ(e.FileComment, "note");
  EXPECT_EQ(e.UncompressedSize, 11u);
  EXPECT_EQ(e.CRC32, testing::TestCrc32("hello world"));
  EXPECT_EQ(e.DateTime, a.dateTime);
  EXPECT_EQ(zm_.Entries()[1].LocalHeaderOffset, 30u + 15 + 11);
  EXPECT_EQ(zm_.TotalUncompressed(), 1011);
  EXPECT_EQ(zm_.ArchiveStart(), 0);
  EXPECT_TRUE(zm_.ArchiveComment().empty());
}

TEST_F(ZipDirReader, FindsEndRecordBehindCommentsUpToTheLargestSize) {
  zm_.SetZipFilename(Write("c.zip", MakeZip({{"a", "1"}}, "an archive comment")));
  EXPECT_EQ(zm_.ArchiveComment(), "an archive comment");
  EXPECT_EQ(zm_.Count(), 1);

  std::string big(65535, 'C');
  zm_.SetZipFilename(Write("big.zip", MakeZip({{"a", "1"}}, big)));
  EXPECT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.ArchiveComment(), big);
  EXPECT_TRUE(rec_.messages.empty());
}

TEST_F(ZipDirReader, EndRecordSignatureInsideTheCommentIsNotTaken) {
  // The comment ends with something that looks like an end record with a
  // comment running past the end of the file.
  std::string fake = "PK\x05\x06";
  fake += std::string(16, '\0');
  fake += "\x40\x00";
  fake += "zz";
  zm_.SetZipFilename(Write("trap.zip", MakeZip({{"real.txt", "data"}}, "lead " + fake)));
  ASSERT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.Entries()[0].FileName, "real.txt");
}

TEST_F(ZipDirReader, ZeroBlockPaddingIsQuietOtherTrailingBytesWarnOnce) {
  std::string z = MakeZip({{"a", "12345"}}, "c");
  std::string padded = z + std::string(512 - z.size() % 512, '\0');
  zm_.SetZipFilename(Write("pad.zip", padded));
  EXPECT_EQ(zm_.Count(), 1);
  EXPECT_TRUE(rec_.messages.empty());

  zm_.SetZipFilename(Write("junk.zip", z + "JUNK"));
  EXPECT_EQ(zm_.Count(), 1);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0], "Warning - Garbage at the end of the zipfile!");
  EXPECT_EQ(zm_.DataEnd(), static_cast<int64_t>(z.size()));
  EXPECT_EQ(zm_.FileLength(), static_cast<int64_t>(z.size() + 4));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Warning - Garbage at the end of the zipfile!");
}

TEST_F(ZipDirReader, SelfExtractorPrefixes) {
  zm_.SetZipFilename(kFixtures + "gen-sfx-adjusted.exe");
  ASSERT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.ArchiveStart(), 4096);
  EXPECT_EQ(zm_.SFXOffset(), 4096);
  EXPECT_FALSE(zm_.OffsetMismatch());
  EXPECT_TRUE(rec_.messages.empty());

  // Plain concatenation: offsets were never adjusted.
  std::string prefix(1000, 'S');
  zm_.SetZipFilename(Write("cat.exe", prefix + MakeZip({{"a.txt", "abc"}, {"b.txt", "def"}})));
  ASSERT_EQ(zm_.Count(), 2);
  EXPECT_TRUE(zm_.OffsetMismatch());
  EXPECT_EQ(zm_.ArchiveStart(), 1000);
  ASSERT_EQ(rec_.messages.size(), 1u);
  EXPECT_EQ(rec_.messages[0], "Warning - Error in zip structure!");
}

TEST_F(ZipDirReader, MissingFileListsSilentlyAsEmptyAndKeepsTheName) {
  std::string name = tmp_.File("new.zip");
  zm_.SetZipFilename(name);
  EXPECT_EQ(zm_.ZipFilename(), name);
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_EQ(rec_.dirUpdates, 1);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ZipDirReader, DamagedCentralSignatureFailsTheListing) {
  std::string z = MakeZip({{"a", "1"}, {"b", "2"}});
  size_t cd = z.find(std::string("PK\x01\x02", 4));
  z[cd + 3] = 9;
  zm_.SetZipFilename(Write("bad.zip", z));
  EXPECT_TRUE(zm_.ZipFilename().empty());
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_EQ(zm_.ArchiveStart(), 0);
  EXPECT_EQ(rec_.dirUpdates, 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "A central header signature is wrong");
  EXPECT_EQ(zm_.ErrCode(), 11015);
}

TEST_F(ZipDirReader, BadInputGivesAMessageNeverACrash) {
  struct Case {
    std::string name, bytes, message;
  };
  std::string z = MakeZip({{"name.txt", "contents"}});
  std::string cdPastEnd = z;
  cdPastEnd[z.size() - 22 + 12] = '\x7f';  // central directory size far beyond the file
  std::string truncatedName = z.substr(0, z.size() - 22 - 4) ;
  std::vector<Case> cases = {
      {"short.zip", "PK\x05\x06 short", "This archive is not a valid Zip archive"},
      {"nothing.zip", "", "This archive is not a valid Zip archive"},
      {"text.zip", std::string(5000, 'x'), "This archive is not a valid Zip archive"},
      {"cdpastend.zip", cdPastEnd, "Seek error reading Zip archive!"},
      {"cut.zip", z.substr(0, z.size() - 10), "This archive is not a valid Zip archive"},
  };
  // An end record claiming 65,535 entries in a directory of one.
  std::string count = z;
  count[z.size() - 22 + 8] = count[z.size() - 22 + 10] = '\xff';
  count[z.size() - 22 + 9] = count[z.size() - 22 + 11] = '\xff';
  cases.push_back({"count.zip", count, "Error while reading a central header"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform_.dialogs.boxes.clear();
    zm_.SetZipFilename(Write(c.name, c.bytes));
    EXPECT_EQ(zm_.Count(), 0);
    EXPECT_TRUE(zm_.ZipFilename().empty());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back().text, c.message);
  }
}

TEST_F(ZipDirReader, FirstVolumeOfASetAsksForTheLast) {
  zm_.SetZipFilename(kFixtures + "gen-split.z01");
  EXPECT_TRUE(zm_.ZipFilename().empty());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "This is the first file in a backup set,\nplease choose the last file of this set");
  EXPECT_TRUE(zm_.MultiVolume());
}

// A removable disk with a backup-set label.
class LabelledDrive : public platform::IDrives {
 public:
  std::string label;
  bool present = true;
  std::string DriveRoot(const std::string&) override { return "/media/disk/"; }
  platform::DriveType TypeOf(const std::string&) override { return platform::DriveType::Removable; }
  std::string VolumeLabel(const std::string&) override { return label; }
  int64_t FreeSpace(const std::string&) override { return 1000; }
  int64_t TotalSpace(const std::string&) override { return 1440000; }
  bool DiskPresent(const std::string&) override { return present; }
  std::vector<std::string> Roots() override { return {"/"}; }
};

TEST_F(ZipDirReader, DiskLabelsNameTheVolumeInTheMessage) {
  LabelledDrive drive;
  platform::Services saved = platform::Current();
  platform::Services s = saved;
  s.drives = &drive;
  platform::Install(s);
  const std::string first = kFixtures + "gen-split.z01";
  drive.label = "PKBACK# 001";
  zm_.SetZipFilename(first);
  drive.label = "PKBACK# 004";
  zm_.SetZipFilename(Write("middle.zip", std::string(3000, 'm')));
  drive.present = false;
  zm_.SetZipFilename(first);
  platform::Install(saved);
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[0].text, "This is the first disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_EQ(Boxes()[1].text, "This is the 4th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_EQ(Boxes()[2].text, "Drive /media/disk/ is NOT defined");
}

TEST_F(ZipDirReader, NumberedVolumeFilesAreOpenedThroughTheLastOne) {
  fs::copy_file(kFixtures + "gen-split.z01", tmp_.File("set001.zip"));
  fs::copy_file(kFixtures + "gen-split.z02", tmp_.File("set002.zip"));
  fs::copy_file(kFixtures + "gen-split.zip", tmp_.File("set003.zip"));
  zm_.SetZipFilename(tmp_.File("set003.zip"));
  ASSERT_EQ(zm_.Count(), 2);
  EXPECT_EQ(zm_.Entries()[0].FileName, "readme.txt");
  EXPECT_EQ(zm_.Entries()[1].UncompressedSize, 150000u);
  EXPECT_EQ(zm_.LastDisk(), 2);
  EXPECT_TRUE(zm_.MultiVolume());

  // The other archivers' .z01/.z02 naming works as well.
  zm_.SetZipFilename(kFixtures + "gen-split.zip");
  EXPECT_EQ(zm_.Count(), 2);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ZipDirReader, LastVolumeAloneListsWhenItHoldsTheWholeDirectory) {
  // The directory of this set lies on its last volume: no other volume is
  // needed for listing.
  fs::copy_file(kFixtures + "gen-split.zip", tmp_.File("lonely.zip"));
  zm_.SetZipFilename(tmp_.File("lonely.zip"));
  EXPECT_EQ(zm_.Count(), 2);
  EXPECT_EQ(zm_.LastDisk(), 2);
}

TEST_F(ZipDirReader, DirectoryOnAMissingVolumeFailsWithAMessage) {
  // End record of a three-volume set whose directory starts on volume 1.
  std::string z = MakeZip({{"a", "1"}});
  std::string eocd = z.substr(z.size() - 22);
  eocd[4] = 2;  // this disk
  eocd[6] = 1;  // directory starts on disk 1
  zm_.SetZipFilename(Write("part003.zip", eocd));
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_TRUE(zm_.ZipFilename().empty());
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back().text, "Input file does not exist");
}

TEST_F(ZipDirReader, CodePageRuleChoosesWhichNamesConvert) {
  TestEntry dos{"\xc3\xa9.txt", "x"};                 // CP437 "├⌐", or UTF-8 "é" unconverted
  TestEntry hpfs{"\x81.txt", "x", 20, 6};             // host 6: always converted
  TestEntry ntfs{"\x84.txt", "x", 50, 11};            // host 11, version 50: converted
  TestEntry unix{"\xc3\xa9t\xc3\xa9.txt", "x", 30, 3};  // UTF-8 bytes stay
  TestEntry flagged{"\xe8\xa1\xa8.txt", "x", 20, 0, 1u << 11};
  std::string path = Write("cp.zip", MakeZip({dos, hpfs, ntfs, unix, flagged}));
  zm_.SetZipFilename(path);
  ASSERT_EQ(zm_.Count(), 5);
  EXPECT_EQ(zm_.Entries()[0].FileName, "\xe2\x94\x9c\xe2\x8c\x90.txt");
  EXPECT_EQ(zm_.Entries()[1].FileName, "\xc3\xbc.txt");
  EXPECT_EQ(zm_.Entries()[2].FileName, "\xc3\xa4.txt");
  EXPECT_EQ(zm_.Entries()[3].FileName, "\xc3\xa9t\xc3\xa9.txt");
  EXPECT_EQ(zm_.Entries()[4].FileName, "\xe8\xa1\xa8.txt");

  zm_.CodePage = cpNone;
  zm_.SetZipFilename(path);
  EXPECT_EQ(zm_.Entries()[0].FileName, "\xc3\xa9.txt");            // host 0 no longer converted
  EXPECT_EQ(zm_.Entries()[1].FileName, "\xc3\xbc.txt");            // host 6 still is
  EXPECT_EQ(zm_.Entries()[2].FileName, "\xc3\xa4.txt");            // host 11 / 50 still is
}

TEST_F(ZipDirReader, HostileNameBytesComeOutAsValidText) {
  TestEntry ctl{std::string("a\x1b[2Jb\nc", 8), "x", 30, 3};
  TestEntry invalid{"bad\xff\xfe.txt", "x", 20, 0, 1u << 11};
  TestEntry nul{std::string("nul\0name", 8), "x", 30, 3};
  zm_.SetZipFilename(Write("hostile.zip", MakeZip({ctl, invalid, nul})));
  ASSERT_EQ(zm_.Count(), 3);
  EXPECT_EQ(zm_.Entries()[0].FileName.size(), 8u);
  EXPECT_EQ(zm_.Entries()[1].FileName, "bad\xc2\xa0\xe2\x96\xa0.txt");
  EXPECT_EQ(zm_.Entries()[2].FileName.size(), 8u);
}

TEST_F(ZipDirReader, UnicodePathExtraFieldIsUsedOnlyWhenItsChecksumMatches) {
  auto unicodeExtra = [](const std::string& raw, const std::string& utf8) {
    std::string x;
    testing::Put16(x, 0x7075);
    testing::Put16(x, static_cast<uint32_t>(5 + utf8.size()));
    x += '\x01';
    testing::Put32(x, testing::TestCrc32(raw));
    return x + utf8;
  };
  TestEntry good{"caf\x82", "x", 30, 0};
  good.extra = unicodeExtra("caf\x82", "caf\xc3\xa9-unicode");
  TestEntry stale{"old", "x", 30, 3};
  stale.extra = unicodeExtra("something else", "new");
  TestEntry broken{"b", "x", 30, 3};
  broken.extra = std::string("\x75\x70\xff\x00\x01", 5);  // length past the end
  zm_.SetZipFilename(Write("u.zip", MakeZip({good, stale, broken})));
  ASSERT_EQ(zm_.Count(), 3);
  EXPECT_EQ(zm_.Entries()[0].FileName, "caf\xc3\xa9-unicode");
  EXPECT_EQ(zm_.Entries()[1].FileName, "old");
  EXPECT_EQ(zm_.Entries()[2].FileName, "b");
}

TEST_F(ZipDirReader, Zip64RecordsCarryCountsAboveTheSixteenBitLimit) {
  std::string path = tmp_.File("many.zip");
  std::string cmd = "/usr/bin/python3 -c \"import zipfile\nz=zipfile.ZipFile('" + path +
                    "','w')\nfor i in range(70000): z.writestr('f%05d' % i, '')\nz.close()\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  zm_.SetZipFilename(path);
  ASSERT_EQ(zm_.Count(), 70000);
  EXPECT_EQ(zm_.Entries()[69999].FileName, "f69999");
  EXPECT_TRUE(rec_.messages.empty());

  zm_.SetZipFilename(kFixtures + "go-zip64.zip");
  EXPECT_EQ(zm_.Count(), 1);
  zm_.SetZipFilename(kFixtures + "la-test_read_format_zip_zip64a.zip");
  ASSERT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.Entries()[0].UncompressedSize64, 6u);
}

TEST_F(ZipDirReader, Zip64ExtraFieldGivesSixtyFourBitSizes) {
  std::string x;
  testing::Put16(x, 0x0001);
  testing::Put16(x, 16);
  testing::Put32(x, 0x00000000);
  testing::Put32(x, 0x00000002);  // uncompressed 8 GiB
  testing::Put32(x, 0x00000000);
  testing::Put32(x, 0x00000001);  // compressed 4 GiB
  TestEntry e{"huge.bin", ""};
  e.extra = x;
  std::string z = MakeZip({e});
  // Saturate the central sizes so the extra field's values apply.
  size_t cd = z.find(std::string("PK\x01\x02", 4));
  for (int i = 20; i < 28; ++i) z[cd + i] = '\xff';
  zm_.SetZipFilename(Write("z64.zip", z));
  ASSERT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.Entries()[0].UncompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(zm_.Entries()[0].UncompressedSize64, 8ull << 30);
  EXPECT_EQ(zm_.Entries()[0].CompressedSize64, 4ull << 30);
  EXPECT_EQ(zm_.TotalUncompressed(), 8ll << 30);
}

TEST_F(ZipDirReader, HostileZip64SizesGiveTotalsThatStopAtTheLargestValue) {
  // Three entries each declaring 2^64 - 1 bytes, packed and unpacked.
  std::string x;
  testing::Put16(x, 0x0001);
  testing::Put16(x, 16);
  for (int i = 0; i < 4; ++i) testing::Put32(x, 0xFFFFFFFFu);
  std::vector<TestEntry> es;
  for (const char* n : {"a", "b", "c"}) {
    TestEntry e{n, ""};
    e.extra = x;
    es.push_back(e);
  }
  std::string z = MakeZip(es);
  for (size_t cd = z.find(std::string("PK\x01\x02", 4)); cd != std::string::npos;
       cd = z.find(std::string("PK\x01\x02", 4), cd + 4))
    for (int i = 20; i < 28; ++i) z[cd + i] = '\xff';
  zm_.SetZipFilename(Write("hostile64.zip", z));
  ASSERT_EQ(zm_.Count(), 3);
  EXPECT_EQ(zm_.Entries()[2].UncompressedSize64, UINT64_MAX);
  EXPECT_EQ(zm_.TotalUncompressed(), INT64_MAX);
  EXPECT_EQ(zm_.TotalCompressed(), INT64_MAX);
}

TEST_F(ZipDirReader, UnattendedSendsWarningsAndErrorsOnlyToOnMessage) {
  zm_.Unattended = true;
  std::string z = MakeZip({{"a", "1"}});
  zm_.SetZipFilename(Write("j.zip", z + "trailing"));
  zm_.SetZipFilename(Write("x.zip", "not a zip at all, but long enough to be searched"));
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(rec_.messages.size(), 2u);
  EXPECT_EQ(rec_.messages[0], "Warning - Garbage at the end of the zipfile!");
  EXPECT_EQ(rec_.messages[1], "This archive is not a valid Zip archive");
  EXPECT_EQ(zm_.LastMessage(), "This archive is not a valid Zip archive");
}

TEST_F(ZipDirReader, BusyCursorIsRestoredAfterFailure) {
  zm_.SetZipFilename(Write("x.zip", "garbage garbage garbage garbage"));
  EXPECT_EQ(platform_.busy.depth, 0);
  EXPECT_EQ(platform_.busy.maxDepth, 1);
}

TEST(ZipMessages, TableAndFallback) {
  EXPECT_EQ(ZipMessageText(10204), "Warning - Garbage at the end of the zipfile!");
  EXPECT_EQ(ZipMessageText(10202), "Unknown error in List() function\n");
  EXPECT_EQ(ZipMessageText(10999),
            "ZipMsgXX.res is probably not bound to executable\nMissing String ID is: 10999");
  EXPECT_EQ(EZipMaster(11004, std::string("/mnt/")).Message(), "Drive /mnt/ is NOT defined");
  EXPECT_EQ(EZipMaster(11038, 3).Message(),
            "This is the 3th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_TRUE(EZipMaster(11038, 3).Display());
  EXPECT_FALSE(EZipMaster(11007, false).Display());
  EXPECT_EQ(EZipMaster(10998, 5).Message(),
            "ZipMsgXX.res is probably not bound to executable\nMissing String ID is: 10998");
  EXPECT_EQ(FormatZipMessage(11034, {"2", "5"}), "Please insert disk volume 2 of 5");
  // A value that looks like a conversion is never formatted again.
  EXPECT_EQ(EZipMaster(11039, std::string("%s%d")).Message(),
            "There is already a file %s%d\nDo you want to overwrite this file");
  for (int n : {10101, 10102, 10103, 10201, 10203, 10301, 10302, 10303, 10401, 10501, 10502, 10601, 10602,
                10603, 10604, 10701, 10702, 10703, 10704, 11001, 11002, 11003, 11008, 11011, 11013, 11015,
                11017, 11022, 11036, 11037, 11041, 11045, 11046})
    EXPECT_TRUE(ZipMessageKnown(n)) << n;
}

TEST(ZipMasterProperties, DefaultsAndSetters) {
  platform::FakePlatformScope p;
  TZipMaster zm;
  EXPECT_EQ(zm.AddCompLevel, 9);
  EXPECT_EQ(zm.SFXOptions, SFXCheckSize);
  EXPECT_EQ(zm.SFXPath, "ZipSFX.bin");
  EXPECT_EQ(zm.SFXCaption, "Self-extracting Archive");
  EXPECT_EQ(zm.MinFreeVolumeSize, 65536);
  EXPECT_TRUE(zm.ConfirmErase);
  EXPECT_EQ(zm.CodePage, cpAuto);
  EXPECT_EQ(zm.HowToDelete, htdAllowUndo);
  EXPECT_EQ(TZipMaster::VersionInfo(), "1.52 M");
  zm.SetDLLDirectory("/opt/arkelin/");
  EXPECT_EQ(zm.DLLDirectory(), "/opt/arkelin");
  zm.SetPassword(std::string(300, 'p'));
  EXPECT_EQ(zm.Password.size(), 255u);
  EXPECT_EQ(TZipMaster::AppendBackslash("a\\b"), "a\\b\\");
  EXPECT_EQ(TZipMaster::AppendBackslash("a\\"), "a\\");
}

}  // namespace
}  // namespace arkelin::engine::zip
