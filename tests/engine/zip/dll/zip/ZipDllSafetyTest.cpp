// What libzipdll does when things go wrong: a stop from the callback, a full
// disk, a damaged archive, nothing to do. In every case the original archive
// stays byte for byte as it was and no temporary file is left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ZipDllTestUtil.h"
#include "engine/common/TempFile.h"
#include "engine/zip/dll/zip/ZipOutFile.h"

using namespace ziptest;
namespace zipdll = arkelin::engine::zip::zipdll;
namespace common = arkelin::engine::common;

namespace {
// An archive made by zip, with a few entries.
std::string MakeOriginal() {
  WriteFile("o/a.txt", Prose(30000, 1));
  WriteFile("o/b.txt", Prose(30000, 2));
  EXPECT_EQ(Shell("zip -qr orig.zip o"), 0);
  return ReadAll("orig.zip");
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
    EXPECT_EQ(ReadAll("orig.zip"), original);
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
  EXPECT_EQ(ReadAll("orig.zip"), original);
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
  EXPECT_EQ(ReadAll("orig.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
}

// Runs an add of `file` to orig.zip in a child process, which `prepare`
// sets up first; answers the child's wait status.
template <typename Prepare>
int AddInAChild(const std::string& file, Prepare prepare,
                std::function<int32_t(dll::EngineCallbackData&)> answer = nullptr) {
  const pid_t pid = fork();
  if (pid == 0) {
    prepare();
    ZipOptions o;
    o.archive = "orig.zip";
    o.specs = {file};
    o.level = 0;
    o.answer = answer;
    auto r = RunZip(o);
    _exit(r.result == 0 && r.HasMessageCode(4) ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return status;
}

TEST_F(ZipDllSafety, AFileSizeLimitIsAWriteErrorNotADeadlySignal) {
  const std::string original = MakeOriginal();
  WriteFile("noise.bin", RandomBytes(6u << 20, 6));
  // The signal keeps its default action, which kills the process unless
  // the library ignores it.
  const int status = AddInAChild("noise.bin", [] {
    signal(SIGXFSZ, SIG_DFL);
    struct rlimit rl {};
    rl.rlim_cur = rl.rlim_max = 2u << 20;
    setrlimit(RLIMIT_FSIZE, &rl);
  });
  ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected result 0 and a write error message";
  EXPECT_EQ(ReadAll("orig.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllSafety, AKilledAddLeavesNoTemporaryOnceTheNextWriteRan) {
  const std::string original = MakeOriginal();
  WriteFile("large.dat", std::string(40u << 20, 'k'));
  // Killed half way through the file, with no chance to clean up.
  uint64_t seen = 0;
  const int status = AddInAChild("large.dat", [] {}, [&seen](dll::EngineCallbackData& d) {
    if (d.actionCode == dll::kActionUpdate) seen += static_cast<uint64_t>(d.fileSize);
    if (seen >= (20u << 20)) raise(SIGKILL);
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadAll("orig.zip"), original);
  // Where the folder takes unnamed files nothing is left at all.
  const int probe = open(".", O_TMPFILE | O_RDWR, 0600);
  if (probe >= 0) {
    close(probe);
    EXPECT_EQ(TempFilesIn("."), 0);
  }
  // A leftover of the named form (no lock), and one that a running write
  // holds: the next add removes only the first.
  WriteFile(".arkzip-0123456789ab.tmp", std::string(1000, 'z'));
  const int dir = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(dir, 0);
  common::TempFile running;
  ASSERT_TRUE(running.Create(dir, ".arkzip-", ".tmp", /*allowUnnamed=*/false));
  close(dir);
  WriteFile("n.txt", "new");
  ZipOptions o;
  o.archive = "orig.zip";
  o.specs = {"n.txt"};
  ASSERT_EQ(RunZip(o).result, 1);
  EXPECT_FALSE(fs::exists(".arkzip-0123456789ab.tmp"));
  EXPECT_TRUE(fs::exists(running.Name()));
  EXPECT_EQ(TempFilesIn("."), 1);
  running.Discard();
  EXPECT_EQ(TempFilesIn("."), 0);
  EXPECT_EQ(Capture("unzip -p orig.zip n.txt"), "new");
}

TEST_F(ZipDllSafety, TheTemporaryArchiveIsPrivateWhileItIsWritten) {
  WriteFile("secret.zip", "");
  const mode_t oldMask = umask(022);
  for (bool unnamed : {false, true}) {
    zipdll::OutFile out;
    ASSERT_TRUE(out.Create("./secret.zip", unnamed));
    out.Write("data of the new archive");
    struct stat st {};
    ASSERT_EQ(stat(out.TempPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "unnamed " << unnamed;
    out.Finish("archive");
    // A 0600 archive stays 0600; a new one gets what the umask allows.
    out.Replace("./secret.zip", 0600, getuid(), getgid());
    ASSERT_EQ(stat("secret.zip", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadAll("secret.zip"), "data of the new archive");
    zipdll::OutFile fresh;
    ASSERT_TRUE(fresh.Create("fresh.zip", unnamed));
    fresh.Write("x");
    fresh.Finish("x");
    fresh.Replace("fresh.zip", static_cast<mode_t>(-1), 0, 0);
    ASSERT_EQ(stat("fresh.zip", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    fs::remove("fresh.zip");
  }
  umask(oldMask);
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
  EXPECT_EQ(ReadAll("junk.zip"), RandomBytes(4000, 5));
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
  EXPECT_EQ(ReadAll("broken.zip"), broken);
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
  EXPECT_EQ(ReadAll("keep.txt"), "keep");
}

TEST_F(ZipDllSafety, NothingMatchedWritesNothing) {
  const std::string original = MakeOriginal();
  ZipOptions o;
  o.archive = "orig.zip";
  o.specs = {"absent-*.txt"};
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(1)) << r.Messages();
  EXPECT_EQ(ReadAll("orig.zip"), original);
  o.remove = true;
  o.specs = {"absent"};
  EXPECT_EQ(RunZip(o).result, 0);
  EXPECT_EQ(ReadAll("orig.zip"), original);
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
