// Temporary files: the unnamed form leaves nothing behind, the named form is
// private and locked while written, a commit replaces the target in one
// step, and only unlocked leftovers of our own are cleaned away.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "engine/common/TempFile.h"

namespace fs = std::filesystem;
using arkelin::engine::common::RemoveStaleTempFiles;
using arkelin::engine::common::TempFile;

namespace {

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("tempfile-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    fd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    ::close(fd_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
  std::string Read(const std::string& name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  fs::path dir_;
  int fd_ = -1;
};

TEST_F(TempFileTest, AnUnnamedFileShowsOnlyOnceCommittedAndThenReplacesTheTarget) {
  std::ofstream(dir_ / "archive.zip") << "old";
  TempFile t;
  ASSERT_TRUE(t.Create(fd_, ".tmp-", ".x"));
  ASSERT_TRUE(t.Unnamed()) << "this file system takes O_TMPFILE";
  ASSERT_EQ(::write(t.Fd(), "new data", 8), 8);
  EXPECT_EQ(Names(), std::vector<std::string>{"archive.zip"});
  ASSERT_TRUE(t.CommitAs("archive.zip", 0640));
  EXPECT_EQ(Names(), std::vector<std::string>{"archive.zip"});
  EXPECT_EQ(Read("archive.zip"), "new data");
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "archive.zip").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_FALSE(t.IsOpen());
}

TEST_F(TempFileTest, TheNamedFormIsPrivateLockedAndGoneWhenDiscarded) {
  TempFile t;
  ASSERT_TRUE(t.Create(fd_, ".tmp-", ".x", false));
  ASSERT_FALSE(t.Unnamed());
  ASSERT_EQ(Names(), std::vector<std::string>{t.Name()});
  EXPECT_EQ(t.Name().rfind(".tmp-", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::fstat(t.Fd(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const int other = ::open((dir_ / t.Name()).c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "a running write holds the lock";
  ::close(other);
  EXPECT_EQ(RemoveStaleTempFiles(fd_, ".tmp-", ".x"), 0u);
  t.Discard();
  EXPECT_TRUE(Names().empty());
}

TEST_F(TempFileTest, OnlyUnlockedLeftoversOfOurFormAreCleanedAway) {
  std::ofstream(dir_ / ".tmp-deadbeef.x") << "left by a write that was killed";
  std::ofstream(dir_ / ".tmp-other.y") << "not our form";
  std::ofstream(dir_ / "keep.x") << "the user's";
  fs::create_directories(dir_ / ".tmp-folder.x");
  TempFile running;
  ASSERT_TRUE(running.Create(fd_, ".tmp-", ".x", false));
  EXPECT_EQ(RemoveStaleTempFiles(fd_, ".tmp-", ".x"), 1u);
  std::vector<std::string> want{".tmp-folder.x", ".tmp-other.y", running.Name(), "keep.x"};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Names(), want);
  ASSERT_EQ(::write(running.Fd(), "done", 4), 4);
  ASSERT_TRUE(running.CommitAs("result.x", 0644));
  EXPECT_EQ(Read("result.x"), "done");
}

TEST_F(TempFileTest, AFailedCommitLeavesTheTargetAndNoFile) {
  fs::create_directories(dir_ / "folder");
  std::ofstream(dir_ / "folder/inside") << "x";
  TempFile t;
  ASSERT_TRUE(t.Create(fd_, ".tmp-", ".x"));
  EXPECT_FALSE(t.CommitAs("folder", 0644)) << "a file cannot replace a folder";
  EXPECT_EQ(Names(), std::vector<std::string>{"folder"});
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
}

}  // namespace
