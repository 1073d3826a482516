// What libzipdll does when things go wrong: a stop from the callback, a full
// disk, a damaged archive, nothing to do. In every case the original archive
// stays byte for byte as it was and no temporary file is left behind.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "ZipDllTestUtil.h"

using namespace ziptest;

namespace {
// An archive made by zip, with a few entries.
std::string MakeOriginal() {
  WriteFile("o/a.txt", Prose(30000, 1));
  WriteFile("o/b.txt", Prose(30000, 2));
  EXPECT_EQ(Shell("zip -qr orig.zip o"), 0);
  return ReadFile("orig.zip");
}
}  // namespace

class ZipDllSafety : public ZipDllTest {};

TEST_F(ZipDllSafety, StopFromTheCallbackLeavesTheArchiveIdentical) {
  const std::string original = MakeOriginal();
  WriteFile("big.dat", Prose(20u << 20, 3));
  for (int stopAt : {dll::kActionTotalFiles, dll::kActionNewFile, dll::kActionUpdate}) {
    ZipOptions o;
    o.archive = "orig.zip";
    o.specs = {"big.dat"};
    bool stopped = false;
    int afterStop = 0;
    o.answer = [&](dll::EngineCallbackData& d) {
      if (stopped && d.actionCode != dll::kActionKeepAlive) ++afterStop;
      if (d.actionCode == stopAt) stopped = true;
      return stopped ? -1 : 0;
    };
    auto r = RunZip(o);
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(afterStop, 0) << "the library reported something after a stop";
    EXPECT_EQ(ReadFile("orig.zip"), original);
    EXPECT_EQ(TempFilesIn("."), 0);
  }
  // A stopped new archive is not created at all.
  ZipOptions o;
  o.archive = "new.zip";
  o.specs = {"big.dat"};
  o.answer = [](dll::EngineCallbackData& d) { return d.actionCode == dll::kActionUpdate ? -1 : 0; };
  EXPECT_EQ(RunZip(o).result, 0);
  EXPECT_FALSE(fs::exists("new.zip"));
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllSafety, StopDeepIntoALargeFileRemovesTheTemporaryInStepsWithKeepAliveCalls) {
  const std::string original = MakeOriginal();
  WriteFile("large.dat", std::string(100u << 20, 'x'));
  ZipOptions o;
  o.archive = "orig.zip";
  o.specs = {"large.dat"};
  o.level = 0;  // stored: the temporary grows as fast as the file is read
  uint64_t seen = 0;
  bool stopped = false;
  int keepAlive = 0, otherAfterStop = 0;
  o.answer = [&](dll::EngineCallbackData& d) {
    if (stopped) {
      ++(d.actionCode == dll::kActionKeepAlive ? keepAlive : otherAfterStop);
      return 0;
    }
    if (d.actionCode == dll::kActionUpdate) seen += static_cast<uint64_t>(d.fileSize);
    stopped = seen >= (80u << 20);
    return stopped ? -1 : 0;
  };
  EXPECT_EQ(RunZip(o).result, 0);
  ASSERT_TRUE(stopped);
  EXPECT_GE(keepAlive, 2) << "80 MB and more given back in 32 MB steps";
  EXPECT_EQ(otherAfterStop, 0);
  EXPECT_EQ(ReadFile("orig.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllSafety, FullDiskLeavesTheArchiveIdentical) {
  const std::string original = MakeOriginal();
  WriteFile("noise.bin", RandomBytes(6u << 20, 4));  // cannot shrink: the limit is met
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child writes under a file-size limit; the write fails with EFBIG.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {};
    rl.rlim_cur = rl.rlim_max = 2u << 20;
    setrlimit(RLIMIT_FSIZE, &rl);
    ZipOptions o;
    o.archive = "orig.zip";
    o.specs = {"noise.bin"};
    auto r = RunZip(o);
    _exit(r.result == 0 && r.HasMessageCode(4) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected result 0 and a write error message";
  EXPECT_EQ(ReadFile("orig.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllSafety, DamagedArchivesAreRefusedUntouched) {
  WriteFile("junk.zip", RandomBytes(4000, 5));
  WriteFile("x.txt", "x");
  ZipOptions o;
  o.archive = "junk.zip";
  o.specs = {"x.txt"};
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(3)) << r.Messages();
  EXPECT_EQ(ReadFile("junk.zip"), RandomBytes(4000, 5));
  // A directory pointing at a local header that is not one.
  std::string broken = MakeOriginal();
  const size_t sig = broken.find("PK\3\4", 10);
  ASSERT_NE(sig, std::string::npos);
  broken[sig + 2] = 'X';
  WriteFile("broken.zip", broken);
  o.archive = "broken.zip";
  r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(3)) << r.Messages();
  EXPECT_EQ(ReadFile("broken.zip"), broken);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllSafety, MoveKeepsTheSourcesWhenTheArchiveCannotBeWritten) {
  WriteFile("keep.txt", "keep");
  ZipOptions o;
  o.archive = "no/such/folder/k.zip";
  o.specs = {"keep.txt"};
  o.move = true;
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(4)) << r.Messages();
  EXPECT_EQ(ReadFile("keep.txt"), "keep");
}

TEST_F(ZipDllSafety, NothingMatchedWritesNothing) {
  const std::string original = MakeOriginal();
  ZipOptions o;
  o.archive = "orig.zip";
  o.specs = {"absent-*.txt"};
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(1)) << r.Messages();
  EXPECT_EQ(ReadFile("orig.zip"), original);
  o.remove = true;
  o.specs = {"absent"};
  EXPECT_EQ(RunZip(o).result, 0);
  EXPECT_EQ(ReadFile("orig.zip"), original);
}

class ZipDllDelete : public ZipDllTest {};

TEST_F(ZipDllDelete, RemovesNamedEntriesAndCopiesTheOthersRaw) {
  MakeOriginal();
  WriteFile("o/sub/c.txt", "c");
  WriteFile("o/sub/d.bin", "d");
  ASSERT_EQ(Shell("zip -qr orig.zip o"), 0);
  const std::string before = RawEntryDigests("orig.zip");
  ZipOptions o;
  o.archive = "orig.zip";
  o.remove = true;
  o.specs = {"o\\a.txt", "o\\sub\\*.TXT"};  // as the window passes them
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 2) << r.Messages();
  EXPECT_EQ(r.Count(dll::kActionNewFile), 2);
  const std::string after = RawEntryDigests("orig.zip");
  // Every line left was a line before.
  std::istringstream in(after);
  std::string line;
  int kept = 0;
  while (std::getline(in, line)) {
    EXPECT_NE(before.find(line), std::string::npos) << line;
    ++kept;
  }
  EXPECT_EQ(Capture("unzip -Z1 orig.zip"), "o/\no/b.txt\no/sub/\no/sub/d.bin\n");
  EXPECT_EQ(kept, 4);
  EXPECT_EQ(Shell("unzip -t orig.zip"), 0);
}

TEST_F(ZipDllDelete, DeletingEverythingLeavesAnEmptyReadableArchive) {
  MakeOriginal();
  ZipOptions o;
  o.archive = "orig.zip";
  o.remove = true;
  o.specs = {"*"};
  EXPECT_EQ(RunZip(o).result, 3);
  EXPECT_EQ(fs::file_size("orig.zip"), 22u);
  EXPECT_EQ(Python("import zipfile\nprint(zipfile.ZipFile('orig.zip').namelist())\n"), "[]\n");
}

TEST_F(ZipDllDelete, MissingArchiveIsReported) {
  ZipOptions o;
  o.archive = "gone.zip";
  o.remove = true;
  o.specs = {"x"};
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(3)) << r.Messages();
  EXPECT_FALSE(fs::exists("gone.zip"));
}

TEST_F(ZipDllSafety, ALinkToTheArchiveStaysALink) {
  MakeOriginal();
  fs::create_directories("real");
  fs::rename("orig.zip", "real/orig.zip");
  fs::create_symlink("real/orig.zip", "link.zip");
  WriteFile("n.txt", "new");
  ZipOptions o;
  o.archive = "link.zip";
  o.specs = {"n.txt"};
  ASSERT_EQ(RunZip(o).result, 1);
  EXPECT_TRUE(fs::is_symlink("link.zip"));
  EXPECT_EQ(Capture("unzip -p real/orig.zip n.txt"), "new");
  EXPECT_EQ(TempFilesIn("real"), 0);
  o.remove = true;
  ASSERT_EQ(RunZip(o).result, 1);
  EXPECT_TRUE(fs::is_symlink("link.zip"));
  const std::string names = Capture("unzip -Z1 real/orig.zip");
  EXPECT_EQ(names.find("n.txt"), std::string::npos) << names;
  EXPECT_EQ(std::count(names.begin(), names.end(), '\n'), 3) << names;
}
