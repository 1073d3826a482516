// File names that are not valid UTF-8: kept byte for byte through the text
// the windows hold, through text/uri-list lines, and into the desktop trash.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/NameText.h"
#include "platform/Trash.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using namespace arkelin::platform;

namespace {

}  // namespace

TEST(NameText, InvalidBytesSurviveTheRoundTripAndValidTextIsPlain) {
  const std::string names[] = {
      "caf\xE9.txt",                    // Latin-1
      "\xFF\xFE", "a\x80" "b",          // stray bytes
      "\xC0\xAF",                       // overlong "/"
      "\xED\xA0\x80",                   // an encoded surrogate
      "\xE2\x82",                       // cut short
      "\xF4\x90\x80\x80",               // above U+10FFFF
      "na\xC3\xAFve \xF0\x9F\x93\xA6",  // valid: two and four bytes
  };
  for (const std::string& n : names) EXPECT_EQ(TextToName(NameToText(n)), n) << n;
  // Valid UTF-8 reads as its characters.
  EXPECT_EQ(NameToText("na\xC3\xAFve \xF0\x9F\x93\xA6"), QString::fromUtf8("na\xC3\xAFve \xF0\x9F\x93\xA6"));
  // Two different invalid names stay two names (fromUtf8 makes both "caf\uFFFD").
  EXPECT_NE(NameToText("caf\xE9"), NameToText("caf\xE8"));
  // A lone surrogate of other origin becomes U+FFFD, never a raw byte.
  EXPECT_EQ(TextToName(QString(QChar(0xD800))), "\xEF\xBF\xBD");
}

TEST(NameText, UriListLinesDecodeToBytesAndOnlyLocalFiles) {
  EXPECT_EQ(LocalPathOfUri("file:///home/a/caf%E9%20x.zip\r"), "/home/a/caf\xE9 x.zip");
  EXPECT_EQ(LocalPathOfUri("file://localhost/tmp/x"), "/tmp/x");
  EXPECT_EQ(LocalPathOfUri("FILE:///tmp/x"), "/tmp/x");
  EXPECT_EQ(LocalPathOfUri("file://server/share/x"), "");
  EXPECT_EQ(LocalPathOfUri("https://example.org/x"), "");
  EXPECT_EQ(LocalPathOfUri("file:///tmp/a%00b"), "");  // no NUL in a name
  EXPECT_EQ(LocalPathOfUri("file:///tmp/100%"), "/tmp/100%");
  const std::string path = "/tmp/caf\xE9 #1?.zip";
  EXPECT_EQ(FileUriOf(path), "file:///tmp/caf%E9%20%231%3F.zip");
  EXPECT_EQ(LocalPathOfUri(FileUriOf(path)), path);
}

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.Made());
    root_ = tmp_.Path().string();
    const char* old = std::getenv("XDG_DATA_HOME");
    saved_ = old ? old : "";
    hadOld_ = old != nullptr;
    ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_)
      ::setenv("XDG_DATA_HOME", saved_.c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
  }
  void Write(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }
  TempFolder tmp_{"arkelin-trash"};
  std::string root_, saved_;
  bool hadOld_ = false;
};

TEST_F(TrashTest, ANameThatIsNotUtf8GoesToTheTrashUnchangedAndIsRecorded) {
  const std::string file = root_ + "/caf\xE9.txt";
  Write(file, "first");
  ASSERT_TRUE(MoveToDesktopTrash(file));
  EXPECT_FALSE(fs::exists(file));
  const std::string trash = root_ + "/data/Trash";
  EXPECT_EQ(ReadAll(trash + "/files/caf\xE9.txt"), "first");
  const std::string info = ReadAll(trash + "/info/caf\xE9.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + FileUriOf(file).substr(7) + "\nDeletionDate=", 0), 0u) << info;
  struct stat st {};
  ASSERT_EQ(::stat((trash + "/files").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A second file of that name gets a name of its own; nothing is replaced.
  Write(file, "second");
  ASSERT_TRUE(MoveToDesktopTrash(file));
  EXPECT_EQ(ReadAll(trash + "/files/caf\xE9.txt"), "first");
  EXPECT_EQ(ReadAll(trash + "/files/caf\xE9.txt.2"), "second");
  EXPECT_TRUE(fs::exists(trash + "/info/caf\xE9.txt.2.trashinfo"));
}

TEST_F(TrashTest, FoldersAndLinksGoAsTheyAreAndMissingFilesFail) {
  fs::create_directories(root_ + "/dir/sub");
  Write(root_ + "/dir/sub/f", "f");
  fs::create_symlink(root_ + "/dir", root_ + "/link");
  ASSERT_TRUE(MoveToDesktopTrash(root_ + "/link"));
  EXPECT_TRUE(fs::is_symlink(root_ + "/data/Trash/files/link"));
  EXPECT_TRUE(fs::exists(root_ + "/dir/sub/f"));  // the link went, not its target
  ASSERT_TRUE(MoveToDesktopTrash(root_ + "/dir/"));
  EXPECT_EQ(ReadAll(root_ + "/data/Trash/files/dir/sub/f"), "f");
  EXPECT_FALSE(MoveToDesktopTrash(root_ + "/missing"));
  EXPECT_FALSE(fs::exists(root_ + "/data/Trash/info/missing.trashinfo"));
}
