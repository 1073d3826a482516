// The INI store: reading rules (case, defaults, integers, length), what a
// write keeps, malformed and unreadable files, and refused writes. Each test
// works in its own temporary folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/IniFile.h"

namespace fs = std::filesystem;
using arkelin::settings::EIniWriteError;
using arkelin::settings::TIniFile;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/arkelin-ini-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "Arkelin.ini").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary);
    out << text;
  }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Files in the folder other than the store itself (left-over temporaries).
  int Strays() const {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename() != "Arkelin.ini") ++n;
    return n;
  }

  fs::path dir_;
  std::string path_;
};

}  // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultsAndIsNotCreatedByReading) {
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("GXVIEW", "FORMATS", "JPG;BMP;GIF"), "JPG;BMP;GIF");
  EXPECT_EQ(ini.ReadInteger("COMPRESSION", "LEVEL", 9), 9);
  EXPECT_TRUE(ini.ReadBool("MISC", "AFTERADDED", true));
  EXPECT_FALSE(ini.ReadBool("MISC", "SAVELAYOUT", false));
  EXPECT_FALSE(ini.SectionExists("MISC"));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  Put("[Misc]\nSaveLayout=1\n[compression]\nlevel=4\n");
  TIniFile ini(path_);
  EXPECT_TRUE(ini.ReadBool("MISC", "SAVELAYOUT", false));
  EXPECT_EQ(ini.ReadInteger("COMPRESSION", "LEVEL", 9), 4);
  EXPECT_EQ(ini.ReadInteger("Compression", "Level", 9), 4);
  // A key of the same name in another section is not taken.
  EXPECT_EQ(ini.ReadInteger("MISC", "LEVEL", 9), 9);
}

TEST_F(IniFileTest, BlanksAroundNamesAndValuesAreIgnored) {
  Put("  [ SMTP ]  \n  SERVER  =  mail.example.org  \r\nPORT=\t2525\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("SMTP", "SERVER", "x"), "mail.example.org");
  EXPECT_EQ(ini.ReadInteger("SMTP", "PORT", 25), 2525);
}

TEST_F(IniFileTest, EmptyValueIsAValueNotTheDefault) {
  Put("[VIEWER/EDITOR]\nEDITORPATH=\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("VIEWER/EDITOR", "EDITORPATH", "default"), "");
  EXPECT_TRUE(ini.ValueExists("VIEWER/EDITOR", "EDITORPATH"));
  EXPECT_FALSE(ini.ValueExists("VIEWER/EDITOR", "BUILTIN"));
  // An empty value is not a number: integers fall back.
  EXPECT_EQ(ini.ReadInteger("VIEWER/EDITOR", "EDITORPATH", 7), 7);
}

TEST_F(IniFileTest, IntegersAreDecimalOrHexadecimalElseDefault) {
  EXPECT_EQ(TIniFile::ParseInteger("42", 0), 42);
  EXPECT_EQ(TIniFile::ParseInteger("-2147483643", 0), -2147483643);
  EXPECT_EQ(TIniFile::ParseInteger("0x1F", 0), 31);
  EXPECT_EQ(TIniFile::ParseInteger("0X00ff00", 0), 0x00ff00);
  // The system window colour written by hand in hexadecimal.
  EXPECT_EQ(TIniFile::ParseInteger("0x80000005", 0), -2147483643);
  EXPECT_EQ(TIniFile::ParseInteger("0xFFFFFFFF", 0), -1);
  EXPECT_EQ(TIniFile::ParseInteger("2147483647", 0), 2147483647);
  EXPECT_EQ(TIniFile::ParseInteger("-2147483648", 0), INT32_MIN);
  // Not numbers, or too large: the default.
  for (const char* bad : {"", "abc", "12abc", "0x", "0xG1", "1.5", "2147483648", "-2147483649",
                          "0x100000000", "99999999999999999999999", "--1", "1 2"})
    EXPECT_EQ(TIniFile::ParseInteger(bad, -77), -77) << bad;
}

TEST_F(IniFileTest, BooleansAreAnyNonZeroIntegerAndDefaultOnGarbage) {
  Put("[B]\nA=1\nB=0\nC=-5\nD=0x10\nE=yes\nF=true\n");
  TIniFile ini(path_);
  EXPECT_TRUE(ini.ReadBool("B", "A", false));
  EXPECT_FALSE(ini.ReadBool("B", "B", true));
  EXPECT_TRUE(ini.ReadBool("B", "C", false));
  EXPECT_TRUE(ini.ReadBool("B", "D", false));
  EXPECT_TRUE(ini.ReadBool("B", "E", true));
  EXPECT_FALSE(ini.ReadBool("B", "E", false));
  EXPECT_FALSE(ini.ReadBool("B", "F", false));
}

TEST_F(IniFileTest, LongValuesComeBackCutTo2047BytesOnACharacterBoundary) {
  TIniFile ini(path_);
  const std::string longAscii(5000, 'a');
  ini.WriteString("S", "K", longAscii);
  EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2047, 'a'));
  // 2046 ASCII bytes then a two-byte character: it does not fit whole.
  const std::string utf8 = std::string(2046, 'b') + "\xC3\xA9" + "tail";
  ini.WriteString("S", "U", utf8);
  EXPECT_EQ(ini.ReadString("S", "U", ""), std::string(2046, 'b'));
  // Exactly 2047 bytes come back unchanged.
  ini.WriteString("S", "E", std::string(2047, 'c'));
  EXPECT_EQ(ini.ReadString("S", "E", "").size(), 2047u);
}

TEST_F(IniFileTest, FirstWriteCreatesTheFileWithTheSection) {
  TIniFile ini(path_);
  ini.WriteString("FOLDERS", "LASTE", "/home/u/out");
  EXPECT_EQ(Get(), "[FOLDERS]\nLASTE=/home/u/out\n");
  EXPECT_EQ(ini.ReadString("folders", "laste", ""), "/home/u/out");
  EXPECT_EQ(Strays(), 0);
}

TEST_F(IniFileTest, WriteKeepsOtherSectionsUnknownKeysCommentsAndOrder) {
  const std::string before =
      "; written by hand\n"
      "[RECENT]\n"
      "0=/a.zip\n"
      "1=/b.zip\n"
      "\n"
      "[misc]\n"
      "SaveLayout=0\n"
      "FUTUREKEY=keep me\n"
      "# another comment\n"
      "\n"
      "[OTHER]\n"
      "x=y\n";
  Put(before);
  TIniFile ini(path_);
  ini.WriteBool("MISC", "SAVELAYOUT", true);
  ini.WriteBool("MISC", "AFTERADDED", false);
  ini.WriteString("NEW", "K", "v");
  EXPECT_EQ(Get(),
            "; written by hand\n"
            "[RECENT]\n"
            "0=/a.zip\n"
            "1=/b.zip\n"
            "\n"
            "[misc]\n"
            "SAVELAYOUT=1\n"
            "FUTUREKEY=keep me\n"
            "# another comment\n"
            "AFTERADDED=0\n"
            "\n"
            "[OTHER]\n"
            "x=y\n"
            "[NEW]\n"
            "K=v\n");
  EXPECT_EQ(Strays(), 0);
}

TEST_F(IniFileTest, WindowsLineEndsAndByteOrderMarkAreKept) {
  Put("\xEF\xBB\xBF[A]\r\nK=1\r\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 1);
  ini.WriteInteger("A", "K", 2);
  ini.WriteInteger("A", "L", 3);
  EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nK=2\r\nL=3\r\n");
}

TEST_F(IniFileTest, DuplicateKeysAndSectionsFirstOneWins) {
  Put("[A]\nK=first\nK=second\n[A]\nK=third\nM=only-later\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("A", "K", ""), "first");
  // Like the system's own profile files, only the first section counts.
  EXPECT_EQ(ini.ReadString("A", "M", "none"), "none");
  ini.WriteString("A", "K", "new");
  EXPECT_EQ(Get(), "[A]\nK=new\nK=second\n[A]\nK=third\nM=only-later\n");
}

TEST_F(IniFileTest, LineBreaksInAValueCannotInjectKeysOrSections) {
  TIniFile ini(path_);
  ini.WriteString("SMTP", "SERVER", "evil\n[MISC]\nSAVELAYOUT=1\r\nX");
  EXPECT_FALSE(ini.SectionExists("MISC"));
  EXPECT_EQ(ini.ReadString("SMTP", "SERVER", ""), "evil [MISC] SAVELAYOUT=1  X");
  EXPECT_EQ(ini.ReadSection("SMTP"), std::vector<std::string>{"SERVER"});
}

TEST_F(IniFileTest, MalformedFileReadsWhatItCanWithoutFailing) {
  std::string junk = "garbage line\n[unterminated\n=novalue\nK=outside any section\n";
  junk += std::string("\0\x01\xff\xfe", 4) + "\n";
  junk += "[A]\nnot a key\n  K = 5 \n[B\nL=6\n[]\nM=7\n[C] trailing text\nN=8";
  Put(junk);
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 5);
  // "[B" is no header, so L still belongs to A.
  EXPECT_EQ(ini.ReadInteger("A", "L", 0), 6);
  EXPECT_EQ(ini.ReadInteger("", "M", 0), 7);
  EXPECT_EQ(ini.ReadInteger("C", "N", 0), 8);
  EXPECT_EQ(ini.ReadString("X", "K", "d"), "d");
  // Writing keeps the junk and adds to the right section; the last line had
  // no line end, and the rewritten file still ends as it did.
  ini.WriteInteger("C", "O", 9);
  EXPECT_EQ(ini.ReadInteger("C", "N", 0), 8);
  EXPECT_EQ(ini.ReadInteger("C", "O", 0), 9);
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 5);
  EXPECT_NE(Get().find(std::string("\0\x01\xff\xfe", 4)), std::string::npos);
}

TEST_F(IniFileTest, AFolderInPlaceOfTheFileReadsAsDefaultsAndRefusesWrites) {
  fs::create_directory(path_);
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("COMPRESSION", "LEVEL", 9), 9);
  try {
    ini.WriteInteger("COMPRESSION", "LEVEL", 3);
    FAIL() << "write into a folder succeeded";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path_);
    EXPECT_EQ(e.FileName(), path_);
  }
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(Strays(), 0);
}

TEST_F(IniFileTest, WriteUnderAPathWhoseParentIsAFileIsRefused) {
  // Refused even for root: a regular file cannot hold a folder.
  const std::string blocker = (dir_ / "blocker").string();
  { std::ofstream(blocker) << "x"; }
  TIniFile ini(blocker + "/Arkelin.ini");
  EXPECT_EQ(ini.ReadString("A", "B", "def"), "def");
  try {
    ini.WriteString("A", "B", "c");
    FAIL() << "write succeeded";
  } catch (const EIniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + blocker + "/Arkelin.ini");
  }
}

TEST_F(IniFileTest, ReadOnlyFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  Put("[A]\nK=1\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TIniFile ini(path_);
  EXPECT_THROW(ini.WriteInteger("A", "K", 2), EIniWriteError);
  EXPECT_EQ(ini.ReadInteger("A", "K", 0), 1);
}

TEST_F(IniFileTest, ReplacingKeepsTheFilesPermissions) {
  Put("[A]\nK=1\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
  TIniFile ini(path_);
  ini.WriteInteger("A", "K", 2);
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFileTest, ReadSectionDeleteKeyAndEraseSection) {
  Put("[RECENT]\n0=a\n1=b\n0=dup\n[KEEP]\nk=v\n");
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadSection("recent"), (std::vector<std::string>{"0", "1"}));
  ini.DeleteKey("RECENT", "1");
  EXPECT_EQ(ini.ReadString("RECENT", "1", "gone"), "gone");
  ini.EraseSection("RECENT");
  EXPECT_FALSE(ini.SectionExists("RECENT"));
  EXPECT_EQ(Get(), "[KEEP]\nk=v\n");
  // Removing what is absent writes nothing (works on a missing file too).
  TIniFile none((dir_ / "none.ini").string());
  none.DeleteKey("A", "B");
  none.EraseSection("A");
  EXPECT_FALSE(fs::exists(dir_ / "none.ini"));
}

TEST_F(IniFileTest, TwoStoresOnOneFileSeeEachOthersWrites) {
  TIniFile a(path_), b(path_);
  a.WriteInteger("COLOR", "WINDOW", -2147483643);
  EXPECT_EQ(b.ReadInteger("COLOR", "WINDOW", 0), -2147483643);
  EXPECT_EQ(Get(), "[COLOR]\nWINDOW=-2147483643\n");
  b.WriteInteger("COLOR", "WINDOW", 0x00FF00);
  EXPECT_EQ(a.ReadInteger("COLOR", "WINDOW", 0), 0x00FF00);
}

TEST_F(IniFileTest, ALinkedSettingsFileStaysALink) {
  const fs::path real = dir_ / "real.ini";
  { std::ofstream(real) << "[A]\nK=1\n"; }
  fs::create_symlink(real, path_);
  TIniFile ini(path_);
  ini.WriteInteger("A", "K", 2);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(TIniFile(real.string()).ReadInteger("A", "K", 0), 2);
}

TEST_F(IniFileTest, AnUpdateWritesTheFileOnceAndReadsSeeItsWrites) {
  Put("[A]\nx=1\n");
  TIniFile ini(path_);
  const uint64_t before = TIniFile::FilesWritten();
  ini.BeginUpdate();
  ini.WriteString("A", "x", "2");
  ini.WriteInteger("B", "y", 7);
  ini.BeginUpdate();  // nested: only the outer end writes
  ini.DeleteKey("A", "x");
  ini.EndUpdate();
  EXPECT_EQ(TIniFile::FilesWritten(), before);
  EXPECT_EQ(Get(), "[A]\nx=1\n");  // nothing on disk yet
  EXPECT_EQ(ini.ReadInteger("B", "y", 0), 7);
  EXPECT_FALSE(ini.ValueExists("A", "x"));
  EXPECT_EQ(TIniFile(path_).ReadInteger("B", "y", 0), 0);  // another store reads the file
  ini.EndUpdate();
  EXPECT_EQ(TIniFile::FilesWritten(), before + 1);
  EXPECT_EQ(Get(), "[A]\n[B]\ny=7\n");
  EXPECT_EQ(Strays(), 0);
}

TEST_F(IniFileTest, ARefusedOrCancelledUpdateLeavesTheFileAsItWas) {
  Put("[A]\nx=1\n");
  {
    TIniFile ini(path_);
    ini.BeginUpdate();
    ini.WriteString("A", "x", "2");
    ini.CancelUpdate();
    ini.WriteString("A", "z", "3");  // after the cancel: written at once
  }
  EXPECT_EQ(Get(), "[A]\nx=1\nz=3\n");
  {
    TIniFile ini(path_);
    ini.BeginUpdate();
    ini.WriteString("A", "x", "4");
  }  // destroyed inside the update: dropped
  EXPECT_EQ(Get(), "[A]\nx=1\nz=3\n");
  // The folder is replaced by a file between the reads and the write.
  TIniFile ini((dir_ / "sub" / "Arkelin.ini").string());
  fs::create_directory(dir_ / "sub");
  ini.BeginUpdate();
  ini.WriteString("A", "x", "5");
  fs::remove_all(dir_ / "sub");
  std::ofstream(dir_ / "sub") << "file";
  EXPECT_THROW(ini.EndUpdate(), EIniWriteError);
  EXPECT_EQ(Get(), "[A]\nx=1\nz=3\n");
}
