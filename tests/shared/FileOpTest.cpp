// TFileOperation on real files in a temporary folder: what ends up on disk,
// the questions the user was asked (scripted answers) and the progress window
// (a recording double).
#include "shared/FileOp.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "platform/FakePlatform.h"
#include "platform/Platform.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using namespace arkelin::shared;
using arkelin::platform::BtnCancel;
using arkelin::platform::BtnNo;
using arkelin::platform::BtnYes;
using arkelin::platform::FakePlatformScope;
using arkelin::platform::MsgKind;

namespace {

void Write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> n;
  for (const auto& e : fs::directory_iterator(folder)) n.insert(e.path().filename().string());
  return n;
}

struct ProgressLog {
  std::string title;
  int64_t total = -1;
  std::vector<std::pair<std::string, std::string>> items;
  int64_t lastDone = 0;
  int doneCalls = 0;
  int64_t cancelAfter = -1;  // bytes after which Cancel is pressed
  bool cancel = false;
  int resumes = 0;
  int made = 0;
};

class RecordingProgress : public IFileOpProgress {
 public:
  explicit RecordingProgress(ProgressLog& log) : log_(log) {}
  void Start(const std::string& title, int64_t total) override {
    log_.title = title;
    log_.total = total;
    log_.lastDone = 0;  // each operation counts from zero
  }
  void Item(const std::string& from, const std::string& to) override { log_.items.emplace_back(from, to); }
  void Done(int64_t bytes) override {
    EXPECT_GE(bytes, log_.lastDone);
    log_.lastDone = bytes;
    ++log_.doneCalls;
    if (log_.cancelAfter >= 0 && bytes >= log_.cancelAfter) log_.cancel = true;
  }
  bool CancelRequested() override { return log_.cancel; }
  void Resume() override {
    log_.cancel = false;
    log_.cancelAfter = -1;
    ++log_.resumes;
  }

 private:
  ProgressLog& log_;
};

class TrashRecorder : public arkelin::platform::IFiles {
 public:
  std::vector<std::string> trashed;
  std::string TempFileName(const std::string&, const std::string&) override { return ""; }
  bool MoveToTrash(const std::string& path) override {
    trashed.push_back(path);
    std::error_code ec;
    fs::remove_all(path, ec);
    return !ec;
  }
};

class FileOperation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.Made());
    dir = tmp_.Path();
    SetFileOpProgressFactory([this](TFileOperation&) {
      ++log.made;
      return std::make_unique<RecordingProgress>(log);
    });
  }
  void TearDown() override {
    SetFileOpProgressFactory({});
  }
  std::string P(const std::string& rel) const { return (dir / rel).string(); }

  TempFolder tmp_{"arkelin-fileop"};
  fs::path dir;
  ProgressLog log;
  FakePlatformScope fake;
};

}  // namespace

TEST(FileOperationList, SemicolonsBecomeNulsWithADoubleNulAtTheEnd) {
  using namespace std::string_literals;
  EXPECT_EQ(TFileOperation::ShellList("a;b"), "a\0b\0\0"s);
  EXPECT_EQ(TFileOperation::ShellList("one"), "one\0\0"s);
  EXPECT_EQ(TFileOperation::ShellList(""), "\0\0"s);
  // Empty fields would end the list early; they are dropped instead.
  EXPECT_EQ(TFileOperation::ShellList("a;;b;"), "a\0b\0\0"s);
  EXPECT_EQ(TFileOperation::SplitShellList(TFileOperation::ShellList("x y;/p/q r;z")),
            (std::vector<std::string>{"x y", "/p/q r", "z"}));
  EXPECT_EQ(TFileOperation::SplitShellList("a\0b\0\0c\0\0"s), (std::vector<std::string>{"a", "b"}));
}

TEST_F(FileOperation, CopiesTwoFilesNamedWithASemicolonInOneOperation) {
  Write(dir / "src" / "a.txt", "alpha");
  Write(dir / "src" / "b.bin", std::string(3000000, 'b'));
  fs::create_directory(dir / "dst");
  TFileOperation op;
  op.FilesFrom = P("src/a.txt") + ";" + P("src/b.bin");
  op.FilesTo = P("dst");
  op.ProgressTitle = "Copying files";
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_EQ(ReadAll(dir / "dst" / "a.txt"), "alpha");
  EXPECT_EQ(ReadAll(dir / "dst" / "b.bin"), std::string(3000000, 'b'));
  EXPECT_EQ(Names(dir / "dst"), (std::set<std::string>{"a.txt", "b.bin"}));  // no leftovers
  EXPECT_TRUE(fs::exists(dir / "src" / "a.txt"));
  EXPECT_TRUE(fake.dialogs.boxes.empty());
  // One progress window titled by ProgressTitle, counting every byte.
  EXPECT_EQ(log.made, 1);
  EXPECT_EQ(log.title, "Copying files");
  EXPECT_EQ(log.total, 3000005);
  EXPECT_EQ(log.lastDone, 3000005);
  ASSERT_EQ(log.items.size(), 2u);
  EXPECT_EQ(log.items[0].first, P("src/a.txt"));
  EXPECT_EQ(log.items[0].second, P("dst/a.txt"));
  EXPECT_GT(fake.pump.calls, 2);  // pending messages ran between chunks
}

TEST_F(FileOperation, SingleSourceToANewNameCopiesUnderThatName) {
  Write(dir / "arc.zip", "PK");
  fs::permissions(dir / "arc.zip", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                  fs::perm_options::replace);
  const auto when = fs::last_write_time(dir / "arc.zip") - std::chrono::hours(48);
  fs::last_write_time(dir / "arc.zip", when);
  TFileOperation op;
  op.FilesFrom = P("arc.zip");
  op.FilesTo = P("backup/copy.zip");
  op.Flags = fofNoConfirmMkDir;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "backup" / "copy.zip"), "PK");
  EXPECT_EQ(fs::status(dir / "backup" / "copy.zip").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(fs::last_write_time(dir / "backup" / "copy.zip"), when);
  EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(FileOperation, MissingDestinationFolderIsOfferedAndNoKeepsEverything) {
  Write(dir / "a", "1");
  Write(dir / "b", "2");
  TFileOperation op;
  op.FilesFrom = P("a") + ";" + P("b");
  op.FilesTo = P("newdir");
  fake.dialogs.answers = {BtnNo};
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_FALSE(fs::exists(dir / "newdir"));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "The folder " + P("newdir") + " does not exist.\n\nDo you want to create it?");
  EXPECT_EQ(fake.dialogs.boxes[0].caption, "Confirm");

  fake.dialogs.answers = {BtnYes};
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_EQ(Names(dir / "newdir"), (std::set<std::string>{"a", "b"}));
}

TEST_F(FileOperation, ReplaceQuestionYesNoAndCancel) {
  Write(dir / "src" / "1", "new1");
  Write(dir / "src" / "2", "new2");
  Write(dir / "src" / "3", "new3");
  Write(dir / "dst" / "1", "old1");
  Write(dir / "dst" / "2", "old2");
  Write(dir / "dst" / "3", "old3");
  TFileOperation op;
  op.FilesFrom = P("src/1") + ";" + P("src/2") + ";" + P("src/3");
  op.FilesTo = P("dst");
  fake.dialogs.answers = {BtnYes, BtnNo, BtnCancel};
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_EQ(ReadAll(dir / "dst" / "1"), "new1");
  EXPECT_EQ(ReadAll(dir / "dst" / "2"), "old2");
  EXPECT_EQ(ReadAll(dir / "dst" / "3"), "old3");
  ASSERT_EQ(fake.dialogs.boxes.size(), 3u);
  EXPECT_EQ(fake.dialogs.boxes[1].text, "The file " + P("dst/2") + " already exists.\n\nDo you want to replace it?");
  EXPECT_EQ(fake.dialogs.boxes[1].kind, MsgKind::Confirm);
  EXPECT_EQ(fake.dialogs.boxes[1].buttons, BtnYes | BtnNo | BtnCancel);
  EXPECT_EQ(Names(dir / "dst"), (std::set<std::string>{"1", "2", "3"}));
}

TEST_F(FileOperation, NoConfirmationReplacesAndRenameOnCollisionKeepsBoth) {
  Write(dir / "f.txt", "new");
  Write(dir / "d1" / "f.txt", "old");
  Write(dir / "d2" / "f.txt", "old");
  TFileOperation op;
  op.FilesFrom = P("f.txt");
  op.FilesTo = P("d1");
  op.Flags = fofNoConfirmation;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "d1" / "f.txt"), "new");

  op.FilesTo = P("d2");
  op.Flags = fofRenameOnCollision;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "d2" / "f.txt"), "old");
  EXPECT_EQ(ReadAll(dir / "d2" / "f (2).txt"), "new");
  EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(FileOperation, CopyingAFileOntoItselfMakesASecondCopy) {
  Write(dir / "self.zip", "content");
  TFileOperation op;
  op.FilesFrom = P("self.zip");
  op.FilesTo = P("self.zip");
  fake.dialogs.answers = {BtnYes};  // would be used if it asked to replace itself
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "self.zip"), "content");
  EXPECT_EQ(ReadAll(dir / "self (2).zip"), "content");
}

TEST_F(FileOperation, CancelFromTheProgressWindowLeavesNoPartialFileAndKeepsTheOldOne) {
  Write(dir / "big", std::string(5 << 20, 'x'));
  Write(dir / "dst" / "big", "previous");
  log.cancelAfter = 2 << 20;
  TFileOperation op;
  op.FilesFrom = P("big");
  op.FilesTo = P("dst");
  op.Flags = fofNoConfirmation;
  fake.dialogs.answers = {BtnYes};  // yes, stop
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_EQ(ReadAll(dir / "dst" / "big"), "previous");
  EXPECT_EQ(Names(dir / "dst"), (std::set<std::string>{"big"}));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "Are you sure you want to cancel this operation?");
  EXPECT_LT(log.lastDone, 5 << 20);
}

TEST_F(FileOperation, AnsweringNoToTheCancelQuestionGoesOn) {
  Write(dir / "big", std::string(3 << 20, 'y'));
  log.cancelAfter = 1 << 20;
  TFileOperation op;
  op.FilesFrom = P("big");
  op.FilesTo = P("out");
  op.Flags = fofNoConfirmMkDir;
  fake.dialogs.answers = {BtnNo};
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_EQ(log.resumes, 1);
  EXPECT_EQ(fs::file_size(dir / "out"), static_cast<uintmax_t>(3 << 20));
}

TEST_F(FileOperation, SilentRunsWithoutAProgressWindowAndSimpleProgressHidesNames) {
  Write(dir / "s", "1");
  TFileOperation op;
  op.FilesFrom = P("s");
  op.FilesTo = P("t");
  op.Flags = fofSilent;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(log.made, 0);

  op.FilesTo = P("u");
  op.Flags = fofSimpleProgress;
  EXPECT_TRUE(op.Execute());
  ASSERT_EQ(log.items.size(), 1u);
  EXPECT_EQ(log.items[0], std::make_pair(std::string(), std::string()));
}

TEST_F(FileOperation, CopiesAFolderTreeWithLinksAsLinks) {
  Write(dir / "tree" / "a.txt", "A");
  Write(dir / "tree" / "sub" / "b.txt", "B");
  fs::create_symlink("sub/b.txt", dir / "tree" / "link");
  fs::create_directory_symlink("/", dir / "tree" / "rootlink");
  TFileOperation op;
  op.FilesFrom = P("tree");
  op.FilesTo = P("dst");
  op.Flags = fofNoConfirmMkDir;
  fs::create_directory(dir / "dst");
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "dst" / "tree" / "sub" / "b.txt"), "B");
  EXPECT_TRUE(fs::is_symlink(dir / "dst" / "tree" / "link"));
  EXPECT_EQ(fs::read_symlink(dir / "dst" / "tree" / "link"), "sub/b.txt");
  EXPECT_TRUE(fs::is_symlink(dir / "dst" / "tree" / "rootlink"));
  EXPECT_EQ(log.total, 2);
}

TEST_F(FileOperation, CopyIntoItsOwnSubfolderIsRefused) {
  Write(dir / "tree" / "sub" / "x", "x");
  TFileOperation op;
  op.FilesFrom = P("tree");
  op.FilesTo = P("tree/sub");
  EXPECT_FALSE(op.Execute());
  EXPECT_FALSE(fs::exists(dir / "tree" / "sub" / "tree"));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].caption, "Error");
  EXPECT_EQ(fake.dialogs.boxes[0].text,
            "Cannot copy " + P("tree") + ": The destination folder is a subfolder of the source folder.");
}

TEST_F(FileOperation, MissingSourceIsAnErrorAndNothingIsCopied) {
  Write(dir / "there", "1");
  TFileOperation op;
  op.FilesFrom = P("there") + ";" + P("gone");
  op.FilesTo = P("dst");
  op.Flags = fofNoConfirmMkDir;
  EXPECT_FALSE(op.Execute());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_FALSE(fs::exists(dir / "dst"));
  EXPECT_TRUE(fake.dialogs.Saw("Cannot copy " + P("gone") + ": It does not exist."));
}

TEST_F(FileOperation, WildcardsAndFilesOnly) {
  Write(dir / "w" / "a.txt", "a");
  Write(dir / "w" / "b.txt", "b");
  Write(dir / "w" / "c.dat", "c");
  Write(dir / "w" / "d.txt" / "inner", "folder named like a file");
  TFileOperation op;
  op.FilesFrom = P("w/*.txt");
  op.FilesTo = P("out");
  op.Flags = fofNoConfirmMkDir | fofFilesOnly;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"a.txt", "b.txt"}));

  op.FilesFrom = P("w/*.*");
  op.FilesTo = P("all");
  op.Flags = fofNoConfirmMkDir;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(Names(dir / "all"), (std::set<std::string>{"a.txt", "b.txt", "c.dat", "d.txt"}));
}

TEST_F(FileOperation, MultiDestFilesPairsSourcesWithTargets) {
  Write(dir / "1", "one");
  Write(dir / "2", "two");
  TFileOperation op;
  op.FilesFrom = P("1") + ";" + P("2");
  op.FilesTo = P("x/uno") + ";" + P("y/dos");
  op.Flags = fofMultiDestFiles | fofNoConfirmMkDir;
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "x" / "uno"), "one");
  EXPECT_EQ(ReadAll(dir / "y" / "dos"), "two");

  op.FilesTo = P("only-one");
  EXPECT_FALSE(op.Execute());
  EXPECT_FALSE(fs::exists(dir / "only-one"));
  EXPECT_TRUE(fake.dialogs.Saw("The number of destinations does not match the number of sources."));
}

TEST_F(FileOperation, MoveRemovesTheSourcesAndMergesFolders) {
  Write(dir / "m" / "f", "F");
  Write(dir / "m" / "s" / "g", "G");
  Write(dir / "dst" / "m" / "s" / "g", "oldG");
  Write(dir / "dst" / "m" / "keep", "K");
  TFileOperation op;
  op.Operation = foMove;
  op.FilesFrom = P("m");
  op.FilesTo = P("dst");
  fake.dialogs.answers = {BtnYes};
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(fs::exists(dir / "m"));
  EXPECT_EQ(ReadAll(dir / "dst" / "m" / "f"), "F");
  EXPECT_EQ(ReadAll(dir / "dst" / "m" / "s" / "g"), "G");
  EXPECT_EQ(ReadAll(dir / "dst" / "m" / "keep"), "K");
  EXPECT_EQ(fake.dialogs.boxes.size(), 1u);  // the replace question for g
}

TEST_F(FileOperation, MoveWithASkippedFileKeepsTheSourceFolder) {
  Write(dir / "m" / "a", "A");
  Write(dir / "m" / "b", "B");
  Write(dir / "dst" / "m" / "b", "old");
  TFileOperation op;
  op.Operation = foMove;
  op.FilesFrom = P("m");
  op.FilesTo = P("dst");
  fake.dialogs.answers = {BtnNo};
  EXPECT_FALSE(op.Execute());
  EXPECT_FALSE(op.OperationAborted());
  EXPECT_EQ(ReadAll(dir / "m" / "b"), "B");  // not moved, not lost
  EXPECT_FALSE(fs::exists(dir / "m" / "a"));
  EXPECT_EQ(ReadAll(dir / "dst" / "m" / "a"), "A");
  EXPECT_EQ(ReadAll(dir / "dst" / "m" / "b"), "old");
}

TEST_F(FileOperation, DeleteAsksFirstAndNoKeepsTheFiles) {
  Write(dir / "d1", "1");
  Write(dir / "dd" / "x", "2");
  TFileOperation op;
  op.Operation = foDelete;
  op.FilesFrom = P("d1") + ";" + P("dd");
  fake.dialogs.answers = {BtnNo};
  EXPECT_FALSE(op.Execute());
  EXPECT_TRUE(op.OperationAborted());
  EXPECT_TRUE(fs::exists(dir / "d1"));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "Are you sure you want to delete these 2 items?");

  fake.dialogs.answers = {BtnYes};
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(fs::exists(dir / "d1"));
  EXPECT_FALSE(fs::exists(dir / "dd"));
}

TEST_F(FileOperation, AllowUndoDeletesToTheTrash) {
  TrashRecorder trash;
  auto s = arkelin::platform::Current();
  const auto saved = s;
  s.files = &trash;
  arkelin::platform::Install(s);
  Write(dir / "old.zip", "z");
  TFileOperation op;
  op.Operation = foDelete;
  op.FilesFrom = P("old.zip");
  op.Flags = fofAllowUndo;
  fake.dialogs.answers = {BtnYes};
  const bool ok = op.Execute();
  arkelin::platform::Install(saved);
  EXPECT_TRUE(ok);
  EXPECT_EQ(trash.trashed, (std::vector<std::string>{P("old.zip")}));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "Are you sure you want to move '" + P("old.zip") + "' to the trash?");
}

TEST_F(FileOperation, DeletingAFolderLinkLeavesItsTarget) {
  Write(dir / "target" / "precious", "p");
  fs::create_directory_symlink(dir / "target", dir / "link");
  TFileOperation op;
  op.Operation = foDelete;
  op.FilesFrom = P("link");
  op.Flags = fofNoConfirmation;
  EXPECT_TRUE(op.Execute());
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
  EXPECT_EQ(ReadAll(dir / "target" / "precious"), "p");
}

TEST_F(FileOperation, RenameInPlaceAndRefusesAnExistingName) {
  Write(dir / "r" / "old.txt", "o");
  Write(dir / "r" / "taken.txt", "t");
  TFileOperation op;
  op.Operation = foRename;
  op.FilesFrom = P("r/old.txt");
  op.FilesTo = "new.txt";
  EXPECT_TRUE(op.Execute());
  EXPECT_EQ(Names(dir / "r"), (std::set<std::string>{"new.txt", "taken.txt"}));

  op.FilesFrom = P("r/new.txt");
  op.FilesTo = P("r/taken.txt");
  EXPECT_FALSE(op.Execute());
  EXPECT_EQ(ReadAll(dir / "r" / "taken.txt"), "t");
  EXPECT_EQ(ReadAll(dir / "r" / "new.txt"), "o");
  EXPECT_TRUE(fake.dialogs.Saw("Cannot rename " + P("r/new.txt") + ": A file with the name you specified"));
}

TEST_F(FileOperation, SettingActiveRunsOnceAndDoesNotStaySet) {
  Write(dir / "a", "1");
  TFileOperation op;
  op.FilesFrom = P("a");
  op.FilesTo = P("b");
  op.SetActive(true);
  EXPECT_FALSE(op.Active());
  EXPECT_EQ(ReadAll(dir / "b"), "1");
}

TEST_F(FileOperation, CopiesAndMovesAcrossFileSystems) {
  std::error_code ec;
  if (!fs::is_directory("/dev/shm", ec)) GTEST_SKIP() << "no second file system at hand";
  char tmpl[] = "/dev/shm/arkelin-fileop-XXXXXX";
  if (!::mkdtemp(tmpl)) GTEST_SKIP() << "cannot write to /dev/shm";
  const fs::path other = tmpl;
  std::string data(3 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 % 251);
  Write(other / "f.bin", data);
  Write(other / "tree" / "s" / "g", "G");
  TFileOperation op;
  op.FilesFrom = (other / "f.bin").string();
  op.FilesTo = P("copied.bin");
  const bool copied = op.Execute();
  op.Operation = foMove;
  op.FilesFrom = (other / "tree").string();
  op.FilesTo = dir.string();
  const bool moved = op.Execute();
  const bool treeLeft = fs::exists(other / "tree");
  fs::remove_all(other, ec);
  EXPECT_TRUE(copied);
  EXPECT_TRUE(ReadAll(dir / "copied.bin") == data);
  EXPECT_TRUE(moved);
  EXPECT_EQ(ReadAll(dir / "tree" / "s" / "g"), "G");
  EXPECT_FALSE(treeLeft);
}
