// Install programs of an archive: the names setting, the candidates found
// among the entries, and how the chosen program is started, first with
// recorded command lines, then for real.
#include "open/Install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/FakePlatform.h"

using namespace arkelin::open;
namespace pf = arkelin::platform;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("arkelin-install-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "pkg dir");
    pf::Current().fileTypes = &types_;
  }
  void TearDown() override {
    pf::Current().fileTypes = nullptr;
    fs::remove_all(dir_);
  }
  std::string Make(const std::string& name, const std::string& text, mode_t mode) {
    const fs::path p = dir_ / "pkg dir" / name;
    std::ofstream(p) << text;
    ::chmod(p.c_str(), mode);
    return p.string();
  }
  std::string Folder() const { return (dir_ / "pkg dir").string(); }

  fs::path dir_;
  pf::FakePlatformScope fake_;
  pf::FakeFileTypes types_;
};

}  // namespace

TEST(InstallNames, FieldsFollowTheSemicolonsAndKeepTheirBlanks) {
  EXPECT_EQ(InstallNames(kDefaultInstallNames), (Names{"install.exe", "setup.exe", "install.sh", "setup.sh"}));
  EXPECT_EQ(InstallNames("install.exe;setup.exe;"), (Names{"install.exe", "setup.exe"}));
  EXPECT_EQ(InstallNames("install.exe; setup.exe"), (Names{"install.exe", " setup.exe"}));
  EXPECT_EQ(InstallNames("a;;b"), (Names{"a", "", "b"}));
  EXPECT_EQ(InstallNames(""), Names{});
  EXPECT_EQ(InstallNames(";"), Names{""});
}

TEST(InstallCandidates, NamesInSettingOrderThenEntriesInListOrder) {
  const std::vector<ArchiveEntryName> entries = {
      {"", "readme.txt"}, {"disk2", "setup.exe"}, {"", "SETUP.EXE"}, {"bin\\x", "Install.Exe"}, {"", "setup.exe.bak"}};
  EXPECT_EQ(InstallCandidates(InstallNames("install.exe;setup.exe"), entries),
            (Names{"bin\\x\\Install.Exe", "disk2\\setup.exe", "SETUP.EXE"}));
  // A name listed twice finds its entries twice; a blank name finds nothing.
  EXPECT_EQ(InstallCandidates(InstallNames("setup.exe;SETUP.exe"), {{"", "setup.exe"}}),
            (Names{"setup.exe", "setup.exe"}));
  EXPECT_EQ(InstallCandidates(InstallNames("install.exe; setup.exe"), entries), (Names{"bin\\x\\Install.Exe"}));
  EXPECT_EQ(InstallCandidates(InstallNames("install.sh"), entries), Names{});
  EXPECT_EQ(CandidateProgram("bin\\x\\Install.Exe"), "Install.Exe");
  EXPECT_EQ(CandidateProgram("setup.sh"), "setup.sh");
}

TEST_F(InstallTest, AScriptRunsThroughTheShellInItsFolderAfterTheQuestion) {
  const std::string script = Make("install.sh", "echo hi\n", 0644);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartInstallProgram(Folder(), "install.sh"), StartResult::Started);
  ASSERT_EQ(fake_.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, ConfirmStartText(script));
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  ASSERT_EQ(fake_.processes.startedArgs.size(), 1u);
  const auto& argv = fake_.processes.startedArgs[0];
  ASSERT_EQ(argv.size(), 6u);
  EXPECT_EQ(argv[0], "/bin/sh");
  EXPECT_EQ(argv[4], Folder());
  EXPECT_EQ(argv[5], script);
  // No: nothing starts.
  fake_.dialogs.answers = {pf::BtnNo};
  EXPECT_EQ(StartInstallProgram(Folder() + "/", "install.sh"), StartResult::Declined);
  EXPECT_EQ(fake_.processes.startedArgs.size(), 1u);
  // A program that ends with another exit code is a failure, not an error box.
  fake_.dialogs.answers = {pf::BtnYes};
  fake_.processes.result = false;
  EXPECT_EQ(StartInstallProgram(Folder(), "install.sh"), StartResult::Failed);
  EXPECT_EQ(fake_.dialogs.boxes.size(), 3u);
}

TEST_F(InstallTest, OtherFilesFollowTheRunRule) {
  // A native program: the same confirmation, then the file itself.
  const std::string program = Make("setup", "\x7f" "ELF", 0755);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartInstallProgram(Folder(), "setup"), StartResult::Started);
  ASSERT_EQ(fake_.processes.startedArgs.size(), 1u);
  EXPECT_EQ(fake_.processes.startedArgs[0][0].rfind(program, 0), 0u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, ConfirmStartText(program));
  // A Windows installer with a runner for its type: confirmed, then handed to it.
  types_.programs[".exe"] = "/usr/bin/runner";
  types_.programTypes.insert(".exe");
  const std::string exe = Make("SETUP.EXE", "MZ", 0644);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartInstallProgram(Folder(), "SETUP.EXE"), StartResult::Started);
  EXPECT_EQ(fake_.processes.startedArgs.back(), (Names{"/usr/bin/runner", exe}));
  // Neither: the user is told, nothing starts.
  types_.programs.clear();
  fake_.dialogs.boxes.clear();
  EXPECT_EQ(StartInstallProgram(Folder(), "SETUP.EXE"), StartResult::NotAProgram);
  EXPECT_EQ(fake_.dialogs.boxes.at(0).text, NotAProgramText(exe));
  EXPECT_EQ(fake_.processes.startedArgs.size(), 2u);
}

TEST_F(InstallTest, AMissingProgramStartsNothingAndSaysNothing) {
  EXPECT_EQ(StartInstallProgram(Folder(), "install.sh"), StartResult::Failed);
  EXPECT_EQ(StartInstallProgram((dir_ / "nowhere").string(), "setup.exe"), StartResult::Failed);
  EXPECT_TRUE(fake_.dialogs.boxes.empty());
  EXPECT_TRUE(fake_.processes.startedArgs.empty());
}

TEST_F(InstallTest, ARealScriptRunsWithTheFilesBesideIt) {
  pf::Current().processes = nullptr;  // the real processes
  Make("data.txt", "from the package\n", 0644);
  const fs::path marker = dir_ / "installed marker";
  Make("install.sh", "cat data.txt > \"$0.done\" && cp \"$0.done\" '" + marker.string() + "'\nexit 0\n", 0644);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartInstallProgram(Folder(), "install.sh"), StartResult::Started);
  std::ifstream in(marker);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "from the package\n");
  // A script that fails is reported as failed.
  Make("setup.sh", "exit 3\n", 0644);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartInstallProgram(Folder(), "setup.sh"), StartResult::Failed);
}
