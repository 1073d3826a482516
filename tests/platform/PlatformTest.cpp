#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

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
  EXPECT_EQ(MapDefaultPath("C:\\WINDOWS\\TEMP"), PrivateTempFolder());
  EXPECT_EQ(MapDefaultPath("/srv/x"), "/srv/x");
}

namespace {

// Sets (or with nullptr removes) an environment variable for one scope.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~EnvScope() {
    if (had_) ::setenv(name_, old_.c_str(), 1); else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

bool Private(const std::string& folder) {
  struct stat st {};
  return !folder.empty() && folder.back() == '/' && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700;
}

}  // namespace

TEST(Paths, TemporaryFolderIsPrivateAndNeverAPlantedOne) {
  char tmpl[] = "/tmp/arkelin-paths-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  const std::string usual = root + "/arkelin-" + std::to_string(::getuid());
  {
    EnvScope tmp("TMPDIR", root.c_str());
    EnvScope run("XDG_RUNTIME_DIR", nullptr);
    // Nothing there yet: the usual name, made private.
    EXPECT_EQ(PrivateTempFolder(), usual + "/");
    EXPECT_TRUE(Private(usual + "/"));
    std::filesystem::remove(usual);
    // A link planted under the usual name is not used, nor followed.
    const std::string elsewhere = root + "/elsewhere";
    std::filesystem::create_directory(elsewhere);
    std::filesystem::create_directory_symlink(elsewhere, usual);
    const std::string got = PrivateTempFolder();
    EXPECT_NE(got, usual + "/");
    EXPECT_EQ(got.rfind(root + "/arkelin-", 0), 0u) << got;
    EXPECT_TRUE(Private(got)) << got;
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    EXPECT_EQ(PrivateTempFolder(), got);  // the same fresh folder for the run
    std::filesystem::remove(usual);
    // A folder others may enter is not used either.
    ::mkdir(usual.c_str(), 0777);
    ::chmod(usual.c_str(), 0777);
    EXPECT_NE(PrivateTempFolder(), usual + "/");
    std::filesystem::remove(usual);
    // A private runtime folder comes first.
    const std::string runtime = root + "/run";
    ::mkdir(runtime.c_str(), 0700);
    EnvScope run2("XDG_RUNTIME_DIR", runtime.c_str());
    EXPECT_EQ(PrivateTempFolder(), runtime + "/arkelin-temp/");
    EXPECT_TRUE(Private(runtime + "/arkelin-temp/"));
    // One that others may enter is passed over.
    ::chmod(runtime.c_str(), 0755);
    EXPECT_EQ(PrivateTempFolder(), usual + "/");
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
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
