// Starting extracted files: which questions are asked, what is started and
// what the user is told, with scripted dialogs and recorded command lines,
// then with real programs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "open/StartFromArchive.h"
#include "platform/FakePlatform.h"

using namespace arkelin::open;
namespace pf = arkelin::platform;
namespace fs = std::filesystem;

namespace {

class StartFromArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("arkelin-start-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub dir");
    pf::Current().fileTypes = &types_;
  }
  void TearDown() override {
    pf::Current().fileTypes = nullptr;
    fs::remove_all(dir_);
  }
  std::string Make(const std::string& name, const std::string& text, bool executable) {
    const fs::path p = dir_ / name;
    std::ofstream(p) << text;
    ::chmod(p.c_str(), executable ? 0755 : 0644);
    return p.string();
  }

  fs::path dir_;
  pf::FakePlatformScope fake_;
  pf::FakeFileTypes types_;
};

}  // namespace

TEST_F(StartFromArchiveTest, DocumentsOpenWithTheirProgramWithoutAQuestion) {
  types_.programs[".txt"] = "/usr/bin/viewer --flag";
  const std::string file = Make("sub dir/Read Me.TXT", "text", false);
  EXPECT_EQ(StartFromArchive(file, true), StartResult::Started);
  ASSERT_EQ(fake_.processes.started.size(), 1u);
  EXPECT_EQ(fake_.processes.started[0], "/usr/bin/viewer --flag " + file);
  // The file is one argument, its blanks and all.
  EXPECT_EQ(fake_.processes.startedArgs[0], std::vector<std::string>({"/usr/bin/viewer", "--flag", file}));
  EXPECT_TRUE(fake_.dialogs.boxes.empty());
  fake_.processes.result = false;   // ended with another exit code
  EXPECT_EQ(StartFromArchive(file, true), StartResult::Failed);
  EXPECT_TRUE(fake_.dialogs.boxes.empty());
}

TEST_F(StartFromArchiveTest, ProgramsAreStartedOnlyAfterAQuestionNamingTheFile) {
  // A program type handed to its runner.
  types_.programs[".exe"] = "/usr/bin/runner";
  types_.programTypes.insert(".exe");
  const std::string exe = Make("setup.exe", "MZ", false);
  fake_.dialogs.answers = {pf::BtnNo, pf::BtnYes};
  EXPECT_EQ(StartFromArchive(exe, true), StartResult::Declined);
  EXPECT_TRUE(fake_.processes.started.empty());
  EXPECT_EQ(StartFromArchive(exe, true), StartResult::Started);
  EXPECT_EQ(fake_.processes.started, std::vector<std::string>({"/usr/bin/runner " + exe}));
  ASSERT_EQ(fake_.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, ConfirmStartText(exe));
  EXPECT_NE(fake_.dialogs.boxes[0].text.find(exe), std::string::npos);
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  EXPECT_EQ(fake_.dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));

  // No associated program, executable: the file itself, after the question.
  fake_.dialogs.boxes.clear();
  fake_.processes.started.clear();
  const std::string tool = Make("tool", "#!/bin/sh\n", true);
  fake_.dialogs.answers = {pf::BtnNo};
  EXPECT_EQ(StartFromArchive(tool, false), StartResult::Declined);
  EXPECT_TRUE(fake_.processes.started.empty());
  // An unscripted box gets the safe answer: nothing starts.
  EXPECT_EQ(StartFromArchive(tool, false), StartResult::Declined);
  fake_.dialogs.answers = {pf::BtnYes};
  EXPECT_EQ(StartFromArchive(tool, false), StartResult::Started);
  EXPECT_EQ(fake_.processes.started, std::vector<std::string>({tool + " "}));
  EXPECT_EQ(fake_.dialogs.boxes.size(), 3u);
  for (const auto& b : fake_.dialogs.boxes) EXPECT_EQ(b.text, ConfirmStartText(tool));
}

TEST_F(StartFromArchiveTest, AFileThatIsNoProgramSaysSo) {
  const std::string doc = Make("notes.qqq", "plain", false);
  EXPECT_EQ(StartFromArchive(doc, true), StartResult::NotAProgram);
  EXPECT_TRUE(fake_.processes.started.empty());
  ASSERT_EQ(fake_.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake_.dialogs.boxes[0].text, NotAProgramText(doc));
  EXPECT_NE(fake_.dialogs.boxes[0].text.find(doc), std::string::npos);
  EXPECT_EQ(fake_.dialogs.boxes[0].kind, pf::MsgKind::Information);
  // A name without an extension, and a file that is not there.
  EXPECT_EQ(StartFromArchive(Make("README", "x", false), true), StartResult::NotAProgram);
  EXPECT_EQ(StartFromArchive((dir_ / "gone").string(), true), StartResult::NotAProgram);
  EXPECT_FALSE(IsExecutableFile(dir_.string()));   // a folder is no program
  EXPECT_EQ(fake_.dialogs.boxes.size(), 3u);
}

TEST_F(StartFromArchiveTest, RealProgramsRunAndTheirExitCodeCounts) {
  pf::Current().processes = nullptr;   // the real process service
  const std::string marker = (dir_ / "ran").string();
  const std::string ok = Make("ok.sh", "#!/bin/sh\necho ran > " + marker + "\n", true);
  const std::string bad = Make("bad.sh", "#!/bin/sh\nexit 3\n", true);
  fake_.dialogs.answers = {pf::BtnYes, pf::BtnYes};
  EXPECT_EQ(StartFromArchive(ok, true), StartResult::Started);
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_EQ(StartFromArchive(bad, true), StartResult::Failed);
  // The associated program gets the file as its argument.
  const std::string copy = (dir_ / "copied").string();
  types_.programs[".dat"] = Make("copier", "#!/bin/sh\ncp \"$1\" " + copy + "\n", true);
  const std::string data = Make("sub dir/My Data.dat", "payload", false);
  EXPECT_EQ(StartFromArchive(data, true), StartResult::Started);
  std::ifstream in(copy);
  std::string got;
  std::getline(in, got);
  EXPECT_EQ(got, "payload");
}
