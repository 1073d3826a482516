#include "shared/U_Globalfunc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "TestFiles.h"

using namespace arkelin::shared;
namespace pf = arkelin::platform;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards; the write folder points at it.
class WriteFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("arkelin-globalfunc-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    pf::SetDataFolderOverride(dir_.string());
  }
  void TearDown() override {
    pf::SetDataFolderOverride("");
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

}  // namespace

TEST(NthToken, SplitsTheInstallListOnSemicolons) {
  EXPECT_EQ(NthToken("install.exe;setup.exe", 1, ';'), "install.exe");
  EXPECT_EQ(NthToken("install.exe;setup.exe", 2, ';'), "setup.exe");
  EXPECT_EQ(NthToken("install.exe;setup.exe", 3, ';'), "");
  EXPECT_EQ(NthToken("install.exe;setup.exe", 0, ';'), "");
  EXPECT_EQ(NthToken("install.exe;setup.exe", -4, ';'), "");
}

TEST(NthToken, EmptyFieldsAndTextsWithoutDelimiter) {
  EXPECT_EQ(NthToken("a;;b", 1, ';'), "a");
  EXPECT_EQ(NthToken("a;;b", 2, ';'), "");
  EXPECT_EQ(NthToken("a;;b", 3, ';'), "b");
  EXPECT_EQ(NthToken("a;;b", 4, ';'), "");
  EXPECT_EQ(NthToken("plain", 1, ';'), "plain");
  EXPECT_EQ(NthToken("plain", 2, ';'), "");
  EXPECT_EQ(NthToken("a;", 1, ';'), "a");
  EXPECT_EQ(NthToken("a;", 2, ';'), "");
  EXPECT_EQ(NthToken(";x", 1, ';'), "");
  EXPECT_EQ(NthToken(";x", 2, ';'), "x");
  EXPECT_EQ(NthToken("", 1, ';'), "");
}

TEST(NthToken, FavouritesLineFieldsWithOtherDelimiters) {
  const std::string line = "/home/u/a b.zip;2001-05-03 10:00;12345";
  EXPECT_EQ(NthToken(line, 1, ';'), "/home/u/a b.zip");
  EXPECT_EQ(NthToken(line, 3, ';'), "12345");
  EXPECT_EQ(NthToken("pw\x02rest\x02", 1, '\x02'), "pw");
  EXPECT_EQ(NthToken("pw\x02rest\x02", 2, '\x02'), "rest");
  EXPECT_EQ(NthToken("pw\x02rest\x02", 3, '\x02'), "");
}

TEST(ReplaceText, FirstOrEveryOccurrence) {
  std::string ext = ".jpg";
  ReplaceText(".", ext, "", false);
  EXPECT_EQ(ext, "jpg");

  std::string name = "a.b.c";
  ReplaceText(".", name, "", false);
  EXPECT_EQ(name, "ab.c");
  name = "a.b.c";
  ReplaceText(".", name, "", true);
  EXPECT_EQ(name, "abc");

  std::string marker = "%systemroot%\\notepad.exe %systemroot%";
  ReplaceText("%systemroot%", marker, "/usr", true);
  EXPECT_EQ(marker, "/usr\\notepad.exe /usr");
}

TEST(ReplaceText, EmptySearchOrNoMatchLeavesTextAlone) {
  std::string t = "unchanged";
  ReplaceText("", t, "x", true);
  EXPECT_EQ(t, "unchanged");
  ReplaceText("zz", t, "x", true);
  EXPECT_EQ(t, "unchanged");
}

TEST(ReplaceText, EachPassStartsAgainAtTheBeginning) {
  // Deleting "ab" from "aabb" leaves a new "ab" in front, which goes too.
  std::string t = "aabb";
  ReplaceText("ab", t, "", true);
  EXPECT_EQ(t, "");
}

TEST(ReplaceText, ReplacementContainingTheSearchStillEnds) {
  std::string t = "a.b.c";
  ReplaceText(".", t, "..", true);
  EXPECT_EQ(t, "a..b..c");
  std::string u = "xx";
  ReplaceText("x", u, "x", true);
  EXPECT_EQ(u, "xx");
}

TEST(WithBackslash, AppendsTheDiskSeparatorOnce) {
  EXPECT_EQ(WithBackslash("/tmp/TMP"), "/tmp/TMP/");
  EXPECT_EQ(WithBackslash("/"), "/");
  EXPECT_EQ(WithBackslash("/home/u/"), "/home/u/");
  EXPECT_EQ(WithBackslash(""), "");
}

TEST(WithBackslash, EntryFoldersUseTheArchiveSeparator) {
  EXPECT_EQ(WithEntrySeparator("docs\\sub"), "docs\\sub\\");
  EXPECT_EQ(WithEntrySeparator("docs\\"), "docs\\");
  EXPECT_EQ(WithEntrySeparator(""), "");
  EXPECT_EQ(WithEntrySeparator("") + "a.txt", "a.txt");
}

TEST(ElapsedText, MinutesAndSecondsWithLeadingZeros) {
  EXPECT_EQ(ElapsedText(0, 65500), "01:05");
  EXPECT_EQ(ElapsedText(0, 999), "00:00");
  EXPECT_EQ(ElapsedText(0, 600000), "10:00");
  EXPECT_EQ(ElapsedText(0, 125 * 60 * 1000), "125:00");
  EXPECT_EQ(ElapsedText(1000, 60999), "00:59");
}

TEST(ElapsedText, LargeTickCountsAndBackwardsClocks) {
  // Tick counts past the 32-bit range still give the plain difference.
  const int64_t big = int64_t{1} << 33;
  EXPECT_EQ(ElapsedText(big, big + 61000), "01:01");
  EXPECT_EQ(ElapsedText(5000, 1000), "00:00");
}

TEST(RunProcess, CommandLineIsProgramBlankParameters) {
  pf::FakePlatformScope fake;
  EXPECT_TRUE(RunProcess("/opt/x/setup", "-q /tmp/a", 1, true));
  EXPECT_TRUE(RunProcess("/opt/x/setup", "", 1, false));
  ASSERT_EQ(fake.processes.started.size(), 2u);
  EXPECT_EQ(fake.processes.started[0], "/opt/x/setup -q /tmp/a");
  EXPECT_EQ(fake.processes.started[1], "/opt/x/setup ");
  fake.processes.result = false;
  EXPECT_FALSE(RunProcess("/opt/x/setup", "", 1, true));
}

TEST(RunProcess, OpenWithShellGoesToTheShell) {
  pf::FakePlatformScope fake;
  OpenWithShell("https://example.org/");
  ASSERT_EQ(fake.processes.opened.size(), 1u);
  EXPECT_EQ(fake.processes.opened[0], "https://example.org/");
  EXPECT_TRUE(fake.processes.started.empty());
}

class RunProcessReal : public WriteFolderTest {};

TEST_F(RunProcessReal, WaitedResultFollowsTheExitCode) {
  const fs::path script = dir_ / "exit3.sh";
  std::ofstream(script) << "#!/bin/sh\nexit 3\n";
  fs::permissions(script, fs::perms::owner_all);
  EXPECT_FALSE(RunProcess(script.string(), "", 1, true));
  const fs::path ok = dir_ / "ok.sh";
  std::ofstream(ok) << "#!/bin/sh\nexit 0\n";
  fs::permissions(ok, fs::perms::owner_all);
  EXPECT_TRUE(RunProcess(ok.string(), "", 1, true));
}

TEST_F(RunProcessReal, MissingProgramFailsWithoutWaiting) {
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunProcess((dir_ / "no-such-program").string(), "", 1, true));
  EXPECT_FALSE(RunProcess((dir_ / "no-such-program").string(), "x", 1, false));
  // Generous bound: a missing program must not be waited for at all.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}

TEST_F(RunProcessReal, ParametersArriveAsSeparateWords) {
  const fs::path script = dir_ / "args.sh";
  const fs::path out = dir_ / "args.txt";
  std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > \"" << out.string() << "\"\n";
  fs::permissions(script, fs::perms::owner_all);
  ASSERT_TRUE(RunProcess(script.string(), "one  two", 1, true));
  EXPECT_EQ(ReadAll(out), "[one]\n[two]\n");
}

TEST_F(RunProcessReal, ProgramInAFolderWithBlanksIsFound) {
  const fs::path folder = dir_ / "Program Files";
  fs::create_directories(folder);
  const fs::path script = folder / "setup.sh";
  const fs::path out = dir_ / "ran.txt";
  std::ofstream(script) << "#!/bin/sh\necho \"$1\" > \"" << out.string() << "\"\n";
  fs::permissions(script, fs::perms::owner_all);
  ASSERT_TRUE(RunProcess(script.string(), "go", 1, true));
  EXPECT_EQ(ReadAll(out), "go\n");
}

namespace {

// The states of this process's children ('R', 'S', 'Z', ...), from /proc.
std::string ChildStates() {
  const std::string list = ReadAll("/proc/self/task/" + std::to_string(::getpid()) + "/children");
  std::string states;
  for (size_t i = 0; i < list.size();) {
    const size_t sp = list.find(' ', i);
    const std::string pid = list.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
    if (!pid.empty()) {
      const std::string st = ReadAll("/proc/" + pid + "/stat");
      const size_t paren = st.rfind(") ");
      if (paren != std::string::npos && paren + 2 < st.size()) states += st[paren + 2];
    }
    if (sp == std::string::npos) break;
    i = sp + 1;
  }
  return states;
}

}  // namespace

TEST_F(RunProcessReal, UnwaitedProgramsDoNotLingerAsZombies) {
  const fs::path marker = dir_ / "done";
  ASSERT_TRUE(RunProcess("touch", marker.string(), 1, false));
  // Until the child has ended: it is then a zombie until someone reaps it.
  for (int i = 0; i < 1000 && !(fs::exists(marker) && ChildStates().find_first_not_of('Z') == std::string::npos); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(marker));
  ASSERT_EQ(ChildStates().find_first_not_of('Z'), std::string::npos) << ChildStates();
  // The next start reaps the finished one; none of our children stays defunct.
  ASSERT_TRUE(RunProcess("true", "", 1, true));
  EXPECT_EQ(ChildStates().find('Z'), std::string::npos) << ChildStates();
}

TEST_F(WriteFolderTest, WorkFolderLivesInTheWriteFolder) {
  EXPECT_EQ(WriteFolder(), dir_.string() + "/");
  EXPECT_EQ(WorkFolder(), dir_.string() + "/TMP");
  EXPECT_FALSE(fs::exists(WorkFolder()));
  ASSERT_TRUE(MakeWorkFolder());
  EXPECT_TRUE(fs::is_directory(WorkFolder()));
  EXPECT_TRUE(MakeWorkFolder());  // already there
}

TEST_F(WriteFolderTest, WorkFolderThatCannotBeMadeIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into read-only folders";
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(MakeWorkFolder());
}

TEST(ProgramFolder, IsTheTestExecutablesFolder) {
  const std::string f = ProgramFolder();
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(f.back(), '/');
  EXPECT_TRUE(fs::exists(fs::path(f) / "arkelin_shared_U_GlobalfuncTest"));
}
