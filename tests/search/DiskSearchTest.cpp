// The folder walk and the disk search on real folders made by each test:
// recursive and flat searches, the order of results, folders and files left
// out, links (loops, a link to "/", links to files), folders that cannot be
// entered, Abort from the message pump during a search of "/", and the
// record fields.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/FakePlatform.h"
#include "search/DiskSearch.h"

namespace fs = std::filesystem;
using arkelin::search::TDirNavigator;
using arkelin::search::TDiskSearch;
namespace pf = arkelin::platform;

namespace {

class DiskSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/arkelin-search-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    // Folders a test locked must be opened again before they can go.
    for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, ec);
    ::chmod((root_ + "/locked").c_str(), 0700);
    fs::remove_all(root_, ec);
  }
  std::string P(const std::string& rel) const { return root_ + "/" + rel; }
  void File(const std::string& rel, const std::string& data = "x") {
    fs::create_directories(fs::path(P(rel)).parent_path());
    std::ofstream(P(rel), std::ios::binary) << data;
  }
  std::set<std::string> Paths(const TDiskSearch& s) const {
    std::set<std::string> out;
    for (const auto& r : s.Results) out.insert(r.path.substr(root_.size() + 1));
    return out;
  }
  void Prepare(TDiskSearch& s, const std::string& pattern, bool recursive) {
    s.StartFolder = root_;
    s.Pattern = pattern;
    s.Recursive = recursive;
  }
  std::string root_;
  pf::FakePlatformScope fake_;
};

TEST_F(DiskSearchTest, FindsZipFilesRecursivelyOrOnlyInTheStartFolder) {
  File("a.zip");
  File("B.ZIP");
  File("notes.txt");
  File("zipped.zip.txt");
  File("sub/c.zip");
  File("sub/deep/d.Zip");
  File("other/e.zip");
  fs::create_directories(P("emptyfolder.zip"));  // a folder is never a match

  TDiskSearch all;
  Prepare(all, "*.zip", true);
  ASSERT_EQ(all.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(all), (std::set<std::string>{"a.zip", "B.ZIP", "sub/c.zip", "sub/deep/d.Zip", "other/e.zip"}));
  // The start folder's own matches come first, then the folders below, each
  // folder's matches before those of its own subfolders.
  ASSERT_EQ(all.Results.size(), 5u);
  std::set<std::string> firstTwo{all.Results[0].path, all.Results[1].path};
  EXPECT_EQ(firstTwo, (std::set<std::string>{P("a.zip"), P("B.ZIP")}));
  auto pos = [&](const std::string& rel) {
    for (size_t i = 0; i < all.Results.size(); ++i)
      if (all.Results[i].path == P(rel)) return i;
    return all.Results.size();
  };
  EXPECT_LT(pos("sub/c.zip"), pos("sub/deep/d.Zip"));

  TDiskSearch flat;
  Prepare(flat, "*.zip", false);
  ASSERT_EQ(flat.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(flat), (std::set<std::string>{"a.zip", "B.ZIP"}));
  // Only the start folder was listed.
  EXPECT_EQ(flat.Navigator().FoldersVisited(), 1);

  TDiskSearch one;
  Prepare(one, "?.zip", true);
  ASSERT_EQ(one.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(one).size(), 5u);
  TDiskSearch none;
  Prepare(none, "*.rar", true);
  ASSERT_EQ(none.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_TRUE(none.Results.empty());
}

TEST_F(DiskSearchTest, DotFoldersAreNotEnteredAndHiddenFilesNotListed) {
  File(".x/inside.zip");
  File("sub/.cache/deep/inside.zip");
  File(".hidden.zip");
  File("sub/shown.zip");
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(s), (std::set<std::string>{"sub/shown.zip"}));
  // A dot folder given as the start folder is searched: only names below it
  // are judged.
  TDiskSearch inside;
  Prepare(inside, "*.zip", true);
  inside.StartFolder = P(".x");
  ASSERT_EQ(inside.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(inside.Results.size(), 1u);
}

TEST_F(DiskSearchTest, LinksAreNeverFollowedIntoFolders) {
  File("real/a.zip", "12345");
  File("real/deeper/b.zip");
  fs::create_directory_symlink(root_, P("real/loop"));        // back to the top
  fs::create_directory_symlink("..", P("real/deeper/up"));    // relative loop
  fs::create_directory_symlink("/", P("real/slash"));         // the whole disk
  fs::create_symlink(P("real/a.zip"), P("alias.zip"));        // a link to a file
  fs::create_symlink(P("nowhere.zip"), P("dangling.zip"));    // a link to nothing
  fs::create_directory_symlink(P("real"), P("folderlink.zip"));  // a link to a folder
  ::mkfifo(P("pipe.zip").c_str(), 0600);                       // no regular file

  // A loop would never end: the walk must, and enter only three folders.
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(s), (std::set<std::string>{"real/a.zip", "real/deeper/b.zip", "alias.zip"}));
  // Three folders: the top, real, real/deeper; none through a link.
  EXPECT_EQ(s.Navigator().FoldersVisited(), 3);
  for (const auto& r : s.Results) {
    if (r.path == P("alias.zip")) {
      EXPECT_EQ(r.size, 5);  // the size of the file it names
    }
  }
}

TEST_F(DiskSearchTest, RecordsKeepPathTimeAndSizeApart) {
  File("semi;colon;name.zip", std::string(1234, 'z'));
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, P("semi;colon;name.zip").c_str(), times, 0), 0);
  TDiskSearch s;
  Prepare(s, "*.ZIP", true);
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  ASSERT_EQ(s.Results.size(), 1u);
  EXPECT_EQ(s.Results[0].path, P("semi;colon;name.zip"));
  EXPECT_EQ(s.Results[0].modified, 1234567890);
  EXPECT_EQ(s.Results[0].size, 1234);
  // A new search starts from an empty list.
  fs::remove(P("semi;colon;name.zip"));
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_TRUE(s.Results.empty());
}

TEST_F(DiskSearchTest, AnUnreadableFolderIsReportedAndTheWalkGoesOn) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root reads folders of mode 0000; the descriptor-limit test covers the same path as root";
  File("a/one.zip");
  File("locked/hidden.zip");
  File("z/two.zip");
  ASSERT_EQ(::chmod(P("locked").c_str(), 0), 0);
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(Paths(s), (std::set<std::string>{"a/one.zip", "z/two.zip"}));
  ASSERT_EQ(s.Skipped.size(), 1u);
  EXPECT_EQ(s.Skipped[0].folder, P("locked/"));
  EXPECT_EQ(s.Skipped[0].reason, "Permission denied");
}

// Works as root too: with the descriptor limit at its floor the deepest
// folders cannot be opened, which is reported per folder while the folders
// beside them are still searched.
TEST_F(DiskSearchTest, AFolderThatCannotBeOpenedDoesNotEndTheWalk) {
  File("a/b/c/d/e/f/g/h/deep.zip");
  File("a/near.zip");
  File("y/beside.zip");
  // The lowest free descriptor tells how many are in use.
  const int probe = ::open("/", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  ::close(probe);
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit tight = saved;
  // Room for the start folder, a few levels and the listing's duplicate.
  tight.rlim_cur = static_cast<rlim_t>(probe + 8);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  const TDiskSearch::Outcome o = s.Start();
  ::setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_EQ(o, TDiskSearch::Outcome::Completed);
  EXPECT_TRUE(Paths(s).count("a/near.zip"));
  EXPECT_TRUE(Paths(s).count("y/beside.zip"));
  EXPECT_FALSE(Paths(s).count("a/b/c/d/e/f/g/h/deep.zip"));
  ASSERT_FALSE(s.Skipped.empty());
  EXPECT_EQ(s.Skipped[0].reason, "Too many open files");
}

TEST_F(DiskSearchTest, AStartFolderThatCannotBeEnteredEndsTheSearch) {
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  s.StartFolder = P("missing");
  EXPECT_EQ(s.Start(), TDiskSearch::Outcome::StartFailed);
  EXPECT_EQ(s.ErrorText, P("missing/") + ": No such file or directory");
  TDiskSearch empty;
  Prepare(empty, "", true);
  EXPECT_EQ(empty.Start(), TDiskSearch::Outcome::EmptyPattern);
  EXPECT_EQ(fake_.pump.calls, 0);
}

TEST_F(DiskSearchTest, MessagesRunOncePerFolderNotPerFile) {
  for (int d = 0; d < 4; ++d)
    for (int f = 0; f < 50; ++f) File("d" + std::to_string(d) + "/f" + std::to_string(f) + ".zip");
  std::vector<std::string> captions;
  TDiskSearch s;
  Prepare(s, "*.zip", true);
  s.OnFolder = [&](const std::string& folder) { captions.push_back(folder); };
  ASSERT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(s.Results.size(), 200u);
  EXPECT_EQ(s.Navigator().FoldersVisited(), 5);
  EXPECT_EQ(fake_.pump.calls, 5);
  ASSERT_EQ(captions.size(), 5u);
  EXPECT_EQ(captions[0], root_ + "/");
}

TEST_F(DiskSearchTest, AbortDuringASearchOfTheWholeDiskStopsAtOnce) {
  TDiskSearch s;
  s.StartFolder = "/";
  s.Pattern = "*.so*";
  int pumps = 0;
  fake_.pump.onProcess = [&] {
    // The twentieth folder's messages hold the Abort click.
    if (++pumps == 20) s.Abort();
  };
  EXPECT_EQ(s.Start(), TDiskSearch::Outcome::Aborted);
  EXPECT_EQ(pumps, 20);  // nothing more was listed after the click
  EXPECT_LE(s.Navigator().FoldersVisited(), 19);
  EXPECT_FALSE(s.Searching());
  // The next search runs normally: the stop flag did not stay behind.
  fake_.pump.onProcess = nullptr;
  File("after.so");
  s.StartFolder = root_;
  EXPECT_EQ(s.Start(), TDiskSearch::Outcome::Completed);
  EXPECT_EQ(s.Results.size(), 1u);
}

TEST_F(DiskSearchTest, NavigatorEventsAndTheStopFlag) {
  File("a/x");
  File("b/y");
  TDirNavigator nav;
  std::vector<std::string> log;
  nav.BeforeNavigate = [&](TDirNavigator& n) {
    log.push_back("before");
    n.SetCurrentFolder(root_);
  };
  nav.AfterNavigate = [&](TDirNavigator&) { log.push_back("after"); };
  nav.OnRecurse = [&](TDirNavigator& n) { log.push_back(n.CurrentFolder().substr(root_.size())); };
  EXPECT_EQ(nav.Walk(), TDirNavigator::WalkResult::Done);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log.front(), "before");
  EXPECT_EQ(log[1], "/");
  EXPECT_EQ(log.back(), "after");
  EXPECT_EQ(nav.CurrentFolder(), root_ + "/");

  // Stopped from inside the walk: AfterNavigate once, nothing listed after.
  log.clear();
  nav.OnRecurse = [&](TDirNavigator& n) {
    log.push_back("visit");
    n.StopWalk();
  };
  EXPECT_EQ(nav.Walk(), TDirNavigator::WalkResult::Stopped);
  EXPECT_EQ(log, (std::vector<std::string>{"before", "visit", "after"}));
  // The flag stays until cleared: the next walk only clears it.
  EXPECT_TRUE(nav.StopRequested());
  log.clear();
  EXPECT_EQ(nav.Walk(), TDirNavigator::WalkResult::Stopped);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(nav.StopRequested());
  nav.Enabled = false;
  EXPECT_EQ(nav.Walk(), TDirNavigator::WalkResult::Done);
  EXPECT_TRUE(log.empty());
}

}  // namespace
