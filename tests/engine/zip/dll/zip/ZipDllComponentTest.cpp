// TZipMaster over the real libzipdll.so: the component's records reach the
// library, the library's callbacks come back as events, Cancel from a
// progress handler stops the write, and the listing afterwards shows the
// new directory.
#include "ZipDllTestUtil.h"
#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"

using namespace ziptest;
namespace ez = arkelin::engine::zip;

class ZipDllComponent : public ZipMasterTest {};

TEST_F(ZipDllComponent, AddThenDeleteListsTheNewDirectory) {
  WriteFile("docs/a.txt", Prose(5000, 1));
  WriteFile("docs/sub/b.txt", Prose(5000, 2));
  zm_.SetZipFilename(dir_ + "/c.zip");
  zm_.AddOptions = ez::AddDirNames | ez::AddRecurseDirs | ez::AddHiddenFiles;
  zm_.AddCompLevel = 6;
  int newFiles = 0;
  int64_t updated = 0;
  zm_.OnProgress = [&](ez::TZipMaster&, ez::ProgressType t, const std::string&, int64_t size) {
    if (t == ez::ProgrNewFile) ++newFiles;
    if (t == ez::ProgrUpdate) updated += size;
  };
  zm_.FSpecArgs = {"docs/"};
  zm_.Add();
  EXPECT_EQ(zm_.SuccessCount(), 2) << messages_;
  EXPECT_EQ(newFiles, 2);
  EXPECT_EQ(updated, 10000);
  ASSERT_EQ(zm_.Count(), 2);
  EXPECT_EQ(zm_.Entries()[1].FileName, "docs\\sub\\b.txt");
  EXPECT_TRUE(zm_.FSpecArgs.empty());
  zm_.FSpecArgs = {"docs\\sub\\b.txt"};
  zm_.Delete();
  EXPECT_EQ(zm_.SuccessCount(), 1) << messages_;
  ASSERT_EQ(zm_.Count(), 1);
  EXPECT_EQ(zm_.Entries()[0].FileName, "docs\\a.txt");
}

TEST_F(ZipDllComponent, CancelFromAProgressHandlerLeavesTheArchiveAsItWas) {
  WriteFile("a.txt", "first");
  zm_.SetZipFilename(dir_ + "/k.zip");
  zm_.FSpecArgs = {"a.txt"};
  zm_.Add();
  ASSERT_EQ(zm_.SuccessCount(), 1) << messages_;
  const std::string before = ReadAll("k.zip");
  WriteFile("big.txt", Prose(3u << 20, 3));
  zm_.OnProgress = [](ez::TZipMaster& z, ez::ProgressType t, const std::string&, int64_t) {
    if (t == ez::ProgrUpdate) z.Cancel = true;
  };
  zm_.FSpecArgs = {"big.txt"};
  zm_.Add();
  EXPECT_EQ(zm_.SuccessCount(), 0);
  EXPECT_EQ(ReadAll("k.zip"), before);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllComponent, LibraryMessagesReachOnMessageWithTheirCode) {
  zm_.SetZipFilename(dir_ + "/m.zip");
  zm_.FSpecArgs = {"no-such-file.txt"};
  zm_.Add();
  EXPECT_EQ(zm_.SuccessCount(), 0);
  EXPECT_NE(messages_.find("1 name not matched: no-such-file.txt"), std::string::npos) << messages_;
  EXPECT_FALSE(fs::exists("m.zip"));
}
