#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/FakePlatform.h"
#include "platform/LinuxPlatform.h"
#include "platform/Paths.h"

using namespace arkelin::platform;

TEST(FakeDialogs, RecordsBoxesAndAnswersFromScript) {
  FakePlatformScope fake;
  fake.dialogs.answers.push_back(BtnYes);
  EXPECT_EQ(Dialogs().MessageBox("Delete it?", MsgKind::Confirm, BtnYes | BtnNo), BtnYes);
  // Unscripted: the safe answer.
  EXPECT_EQ(Dialogs().MessageBox("Again?", MsgKind::Confirm, BtnYes | BtnNo | BtnCancel), BtnCancel);
  EXPECT_EQ(Dialogs().MessageBox("Oops", MsgKind::Error, BtnOK), BtnOK);
  ASSERT_EQ(fake.dialogs.boxes.size(), 3u);
  EXPECT_EQ(fake.dialogs.boxes[0].caption, "Confirm");
  EXPECT_EQ(fake.dialogs.boxes[2].caption, "Error");
  EXPECT_TRUE(fake.dialogs.Saw("Again"));
}

TEST(FakeDialogs, ScopeRestoresPreviousServices) {
  IDialogs* before = &Dialogs();
  {
    FakePlatformScope fake;
    EXPECT_EQ(&Dialogs(), &fake.dialogs);
  }
  EXPECT_EQ(&Dialogs(), before);
}

TEST(Paths, EntryNamesConvertBothWays) {
  EXPECT_EQ(EntryToDiskRelative("dir\\sub\\a.txt"), "dir/sub/a.txt");
  EXPECT_EQ(DiskRelativeToEntry("dir/sub/a.txt"), "dir\\sub\\a.txt");
}

TEST(Paths, WindowsDefaultsMapToLinuxFolders) {
  EXPECT_EQ(MapDefaultPath("C:\\"), HomeFolder());
  EXPECT_EQ(MapDefaultPath("C:\\Noname.zip"), HomeFolder() + "Noname.zip");
  EXPECT_NE(MapDefaultPath("C:\\WINDOWS\\TEMP").find("arkelin-temp"), std::string::npos);
  EXPECT_EQ(MapDefaultPath("/srv/x"), "/srv/x");
}

TEST(Paths, DataFolderOverride) {
  SetDataFolderOverride("/tmp/somewhere");
  EXPECT_EQ(DataFolder(), "/tmp/somewhere/");
  SetDataFolderOverride("");
  EXPECT_FALSE(DataFolder().empty());
}

TEST(LinuxProcesses, ExitCodeDecidesWaitedResult) {
  LinuxProcesses p;
  EXPECT_TRUE(p.Run("true ", 1, true));
  EXPECT_FALSE(p.Run("false ", 1, true));
  EXPECT_FALSE(p.Run("/no/such/program ", 1, true));
  EXPECT_FALSE(p.Run("sh -c exit\\ 3", 1, true));
}

TEST(LinuxDrives, RootOfTempFolderHasStatistics) {
  LinuxDrives d;
  const std::string root = d.DriveRoot(std::filesystem::temp_directory_path().string());
  EXPECT_EQ(root.back(), '/');
  EXPECT_TRUE(d.DiskPresent(root));
  EXPECT_GT(d.TotalSpace(root), 0);
  EXPECT_GE(d.FreeSpace(root), 0);
  EXPECT_FALSE(d.DiskPresent("/no/such/mount/"));
}

TEST(LinuxFiles, TempFileNameReservesAFile) {
  LinuxFiles f;
  const std::string n = f.TempFileName(std::filesystem::temp_directory_path().string(), "ark");
  ASSERT_FALSE(n.empty());
  EXPECT_TRUE(std::filesystem::exists(n));
  std::filesystem::remove(n);
  EXPECT_EQ(f.TempFileName("/no/such/folder", "ark"), "");
}

TEST(Captions, PlainBoxesCarryTheApplicationTitle) {
  EXPECT_EQ(CaptionForKind(MsgKind::Warning), "Warning");
  EXPECT_EQ(CaptionForKind(MsgKind::Confirm), "Confirm");
  EXPECT_EQ(CaptionForKind(MsgKind::None), "Tolvaren Arkelin2001");
  SetApplicationTitle("Other title");
  EXPECT_EQ(CaptionForKind(MsgKind::None), "Other title");
  SetApplicationTitle("Tolvaren Arkelin2001");
  EXPECT_EQ(ButtonCaption(BtnRetry), "&Retry");
  EXPECT_EQ(ButtonCaption(BtnAbort), "&Abort");
}

TEST(LinuxFileTypes, IconNamesGoFromSpecificToGeneric) {
  LinuxFileTypes t;
  const auto c = t.IconNames(".c");
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(c.front(), t.IconName(".c"));
  // A C source is a kind of plain text: its generic family comes later.
  EXPECT_NE(std::find(c.begin(), c.end(), "text-x-generic"), c.end());
  EXPECT_TRUE(t.IconNames(".zzqqxv").empty());
  EXPECT_EQ(t.IconName(".zzqqxv"), "");
}

TEST(IFileTypes, IconNamesDefaultsToTheOneIconName) {
  struct OneName : IFileTypes {
    std::string AssociatedProgram(const std::string&) override { return ""; }
    std::string IconName(const std::string& e) override { return e == ".a" ? "x-a" : ""; }
  } t;
  EXPECT_EQ(t.IconNames(".a"), std::vector<std::string>{"x-a"});
  EXPECT_TRUE(t.IconNames(".b").empty());
}
