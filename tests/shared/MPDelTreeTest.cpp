// TMPDelTree on real folders in a temporary directory; the boxes the user
// would have seen are recorded by the scripted dialogs.
#include "shared/MPDelTreeU.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/FakePlatform.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using arkelin::platform::FakePlatformScope;
using arkelin::platform::MsgKind;
using arkelin::shared::TMPDelTree;
using arkelin::shared::TSearchRec;

namespace {

void Write(const fs::path& p, const std::string& text = "data") {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

// Marks a file immutable, so that even root cannot delete it; false where the
// file system or the process's capabilities do not allow it.
bool SetImmutable(const fs::path& p, bool on) {
  int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

// Refuses to delete files with a given name, as a file held open elsewhere
// would be refused on other systems.
class RefusingDelTree : public TMPDelTree {
 public:
  std::set<std::string> refuse;
  std::vector<std::string> attempts;

 protected:
  bool DeleteOneFile(const fs::path& file) override {
    attempts.push_back(file.filename().string());
    if (refuse.count(file.filename().string())) return false;
    return TMPDelTree::DeleteOneFile(file);
  }
};

class TrashRecorder : public arkelin::platform::IFiles {
 public:
  std::vector<std::string> trashed;
  std::string TempFileName(const std::string&, const std::string&) override { return ""; }
  bool MoveToTrash(const std::string& path) override {
    trashed.push_back(path);
    std::error_code ec;
    return fs::remove(path, ec);
  }
};

class MPDelTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/arkelin-deltree-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    saved_cwd = fs::current_path();
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(saved_cwd);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_regular_file()) SetImmutable(it->path(), false);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }

  fs::path dir;
  fs::path saved_cwd;
  FakePlatformScope fake;
};

}  // namespace

TEST_F(MPDelTree, RemovesATreeWithReadOnlyAndHiddenFilesAndTheRoot) {
  const fs::path root = dir / "inst";
  Write(root / "a.txt");
  Write(root / ".hidden");
  Write(root / "sub" / "deeper" / "b.bin");
  Write(root / "sub" / ".cfg" / "c");
  fs::permissions(root / "a.txt", fs::perms::owner_read, fs::perm_options::replace);
  fs::permissions(root / "sub" / "deeper", fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);

  TMPDelTree t;
  t.Path = root.string();
  t.Verbose = true;
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(fs::exists(dir));
  EXPECT_TRUE(fake.dialogs.boxes.empty());
  EXPECT_FALSE(t.ErrorReported());
}

TEST_F(MPDelTree, DeleteRootFalseLeavesTheNamedFolderEmpty) {
  const fs::path root = dir / "tmpfolder";
  Write(root / "x");
  Write(root / "s" / "y");

  TMPDelTree t;
  t.Path = root.string();
  t.DeleteRoot = false;
  EXPECT_TRUE(t.Execute());
  ASSERT_TRUE(fs::is_directory(root));
  EXPECT_TRUE(fs::is_empty(root));
}

TEST_F(MPDelTree, TrailingSeparatorBehavesLikeThePathWithoutIt) {
  const fs::path root = dir / "slash";
  Write(root / "s" / "f");
  TMPDelTree t;
  t.Path = root.string() + "/";
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(MPDelTree, MissingFolderIsReportedOnceAndAnswersTrue) {
  TMPDelTree t;
  t.Path = (dir / "nothing").string() + "/";
  t.Verbose = true;
  EXPECT_TRUE(t.Execute());
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "The directory " + (dir / "nothing").string() + " doesn't exist");
  EXPECT_EQ(fake.dialogs.boxes[0].kind, MsgKind::None);
  EXPECT_EQ(fake.dialogs.boxes[0].buttons, arkelin::platform::BtnOK);
  EXPECT_TRUE(t.ErrorReported());
}

TEST_F(MPDelTree, DefaultPathNamesNoFolder) {
  TMPDelTree t;
  EXPECT_EQ(t.Path, "<..>");
  t.Verbose = true;
  EXPECT_TRUE(t.Execute());
  EXPECT_TRUE(fake.dialogs.Saw("The directory <..> doesn't exist"));
}

TEST_F(MPDelTree, UndeletableFileIsReportedOnceAndItsFoldersStay) {
  const fs::path root = dir / "held";
  Write(root / "a" / "locked1");
  Write(root / "a" / "locked2");
  Write(root / "b" / "locked3");
  Write(root / "c" / "free");

  RefusingDelTree t;
  t.refuse = {"locked1", "locked2", "locked3"};
  t.Path = root.string();
  t.Verbose = true;
  EXPECT_FALSE(t.Execute());

  // One message, naming the first refused file met.
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  const std::string& text = fake.dialogs.boxes[0].text;
  EXPECT_EQ(text.rfind("Cannot delete file " + root.string() + "/", 0), 0u) << text;
  EXPECT_NE(text.find("locked"), std::string::npos);
  // The rest of a folder is left once a file there fails.
  const bool a1 = fs::exists(root / "a" / "locked1"), a2 = fs::exists(root / "a" / "locked2");
  EXPECT_TRUE(a1 && a2);
  EXPECT_TRUE(fs::exists(root / "b" / "locked3"));
  // Other branches are still removed; the parents of the failures stay.
  EXPECT_FALSE(fs::exists(root / "c"));
  EXPECT_TRUE(fs::is_directory(root / "a"));
  EXPECT_TRUE(fs::is_directory(root));
}

TEST_F(MPDelTree, QuietRunShowsNothingButStillReportsFailure) {
  const fs::path root = dir / "quiet";
  Write(root / "keep");
  RefusingDelTree t;
  t.refuse = {"keep"};
  t.Path = root.string();
  EXPECT_FALSE(t.Execute());
  EXPECT_TRUE(fake.dialogs.boxes.empty());
  EXPECT_TRUE(t.ErrorReported());
  EXPECT_TRUE(fs::exists(root / "keep"));
}

TEST_F(MPDelTree, FailedSubfolderMakesTheRunFailEvenWhenTheRootStays) {
  // A later subfolder that goes cleanly must not hide an earlier failure.
  const fs::path root = dir / "mixed";
  Write(root / "a" / "locked");
  Write(root / "b" / "x");
  Write(root / "c" / "y");
  RefusingDelTree t;
  t.refuse = {"locked"};
  t.Path = root.string();
  t.DeleteRoot = false;
  EXPECT_FALSE(t.Execute());
  EXPECT_TRUE(fs::exists(root / "a" / "locked"));
}

TEST_F(MPDelTree, ImmutableFileOnDiskIsReported) {
  const fs::path root = dir / "immutable";
  Write(root / "sub" / "fixed");
  if (!SetImmutable(root / "sub" / "fixed", true)) GTEST_SKIP() << "immutable flag not available here";
  TMPDelTree t;
  t.Path = root.string();
  t.Verbose = true;
  EXPECT_FALSE(t.Execute());
  SetImmutable(root / "sub" / "fixed", false);
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "Cannot delete file " + (root / "sub" / "fixed").string());
  EXPECT_TRUE(fs::exists(root / "sub" / "fixed"));
}

TEST_F(MPDelTree, ProcessFileRecordDescribesEachFileAsItWas) {
  const fs::path root = dir / "described";
  Write(root / "sized", std::string(1234, 'x'));
  Write(root / ".hidden");
  Write(root / "locked");
  fs::permissions(root / "locked", fs::perms::owner_read);
  fs::create_symlink("sized", root / "link");
  const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(50);
  fs::last_write_time(root / "sized", stamp);

  TMPDelTree t;
  t.Path = root.string();
  std::map<std::string, TSearchRec> seen;
  t.OnProcessFile = [&](TMPDelTree&, const std::string&, const TSearchRec& rec, bool&) { seen[rec.Name] = rec; };
  EXPECT_TRUE(t.Execute());
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen["sized"].Size, 1234);
  EXPECT_EQ(seen["sized"].Time, stamp);
  EXPECT_FALSE(seen["sized"].ReadOnly);
  EXPECT_FALSE(seen["sized"].Hidden);
  EXPECT_TRUE(seen[".hidden"].Hidden);
  EXPECT_TRUE(seen["locked"].ReadOnly);
  EXPECT_TRUE(seen["link"].Symlink);
  EXPECT_EQ(seen["link"].Size, 0);  // the link, not what it points at
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(MPDelTree, ProcessFileSeesEveryFileAndCanStopTheWholeRun) {
  const fs::path root = dir / "walk";
  Write(root / "one", "12345");
  Write(root / "s1" / "two");
  Write(root / "s2" / "three");
  Write(root / "s3" / "four");

  TMPDelTree t;
  t.Path = root.string();
  t.Verbose = true;
  std::vector<std::string> seen;
  t.OnProcessFile = [&](TMPDelTree& sender, const std::string& name, const TSearchRec& rec, bool& cancel) {
    EXPECT_EQ(&sender, &t);
    EXPECT_EQ(fs::path(name).filename().string(), rec.Name);
    if (rec.Name == "one") {
      EXPECT_EQ(rec.Size, 5);
    }
    seen.push_back(rec.Name);
    if (seen.size() == 2) cancel = true;
  };
  EXPECT_FALSE(t.Execute());
  EXPECT_EQ(seen.size(), 2u);  // nothing after the stop, in no folder
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "DelTree aborted by user !");
  // The file the handler stopped at is still there.
  EXPECT_TRUE(fs::exists(root));
  int left = 0;
  for (auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) ++left;
  EXPECT_EQ(left, 3);
}

TEST_F(MPDelTree, SymbolicLinksAreRemovedNotFollowed) {
  const fs::path outside = dir / "precious";
  Write(outside / "keep.txt");
  const fs::path root = dir / "links";
  Write(root / "f");
  fs::create_directory_symlink(outside, root / "dirlink");
  fs::create_symlink(outside / "keep.txt", root / "filelink");
  fs::create_symlink(dir / "dangling-target", root / "dangling");

  TMPDelTree t;
  t.Path = root.string();
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST_F(MPDelTree, CurrentFolderInsideTheTreeIsLeftFirst) {
  const fs::path root = dir / "cwd";
  Write(root / "inner" / "f");
  fs::current_path(root / "inner");
  TMPDelTree t;
  t.Path = root.string();
  EXPECT_TRUE(t.Execute());
  EXPECT_FALSE(fs::exists(root));
  std::error_code ec;
  const fs::path now = fs::current_path(ec);
  EXPECT_FALSE(ec);
  EXPECT_TRUE(fs::is_directory(now));
}

TEST_F(MPDelTree, RefusesTheHomeFolderAndTheFileSystemRoot) {
  const fs::path home = dir / "home";
  Write(home / "mine.txt");
  const char* oldHome = std::getenv("HOME");
  const std::string saved = oldHome ? oldHome : "";
  ::setenv("HOME", home.c_str(), 1);

  TMPDelTree t;
  t.Verbose = true;
  t.Path = home.string() + "/";
  EXPECT_FALSE(t.Execute());
  ::setenv("HOME", saved.c_str(), 1);
  EXPECT_TRUE(fs::exists(home / "mine.txt"));
  EXPECT_TRUE(fake.dialogs.Saw("Cannot delete directory " + home.string()));

  RefusingDelTree r;  // records any attempt instead of deleting anything
  r.refuse = {};
  r.Path = "/";
  r.DeleteRoot = false;
  // "/" loses its one separator and names nothing; "//" keeps one.
  EXPECT_TRUE(r.Execute());
  r.Path = "//";
  EXPECT_FALSE(r.Execute());
  EXPECT_TRUE(r.attempts.empty());
}

TEST_F(MPDelTree, AllowUndoSendsFilesToTheTrash) {
  TrashRecorder trash;
  auto s = arkelin::platform::Current();
  const auto saved = s;
  s.files = &trash;
  arkelin::platform::Install(s);

  const fs::path root = dir / "undo";
  Write(root / "a");
  Write(root / "s" / "b");
  TMPDelTree t;
  t.Path = root.string();
  t.HowToDelete = TMPDelTree::htdAllowUndo;
  const bool ok = t.Execute();
  arkelin::platform::Install(saved);
  EXPECT_TRUE(ok);
  std::set<std::string> got(trash.trashed.begin(), trash.trashed.end());
  EXPECT_EQ(got, (std::set<std::string>{(root / "a").string(), (root / "s" / "b").string()}));
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(MPDelTree, ALinkGivenAsThePathIsRefusedAndNotFollowed) {
  const fs::path real = dir / "real";
  Write(real / "keep.txt");
  Write(real / "sub" / "deep.txt");
  fs::create_directory_symlink(real, dir / "link");
  for (const std::string& given : {(dir / "link").string(), (dir / "link").string() + "/"}) {
    for (bool deleteRoot : {true, false}) {
      fake.dialogs.boxes.clear();
      TMPDelTree t;
      t.Path = given;
      t.DeleteRoot = deleteRoot;
      t.Verbose = true;
      EXPECT_FALSE(t.Execute());
      EXPECT_TRUE(fs::exists(real / "keep.txt"));
      EXPECT_TRUE(fs::exists(real / "sub" / "deep.txt"));
      EXPECT_TRUE(fs::is_symlink(dir / "link"));
      ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
      EXPECT_EQ(fake.dialogs.boxes[0].text,
                "Cannot delete directory " + (dir / "link").string() + ": it is a symbolic link");
    }
  }
}
