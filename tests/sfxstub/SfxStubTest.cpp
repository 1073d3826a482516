// The self-extractor stub, run for real: archives made by the peer zip tool
// are turned into programs by TZipMaster::ConvertSFX, and the programs are
// started with their flags and with answers on standard input.
#include <gtest/gtest.h>
#include <elf.h>
#include <sys/stat.h>

#include <cstring>

#include <filesystem>

#include "platform/FakePlatform.h"
#include "tests/engine/zip/SfxTestUtil.h"

namespace fs = std::filesystem;
using namespace arkelin::engine::zip;
using namespace arkelin::engine::zip::testing;

namespace {

class StubTest : public ::testing::Test {
 protected:
  TempFolder tmp;
  arkelin::platform::FakePlatformScope fake;
  TZipMaster zm;

  std::string Src() const { return tmp.File("src"); }

  void SetUp() override {
    fs::create_directories(Src() + "/sub/deeper");
    fs::create_directories(Src() + "/emptydir");
    WriteFile(Src() + "/a.txt", "hello, world\n");
    WriteFile(Src() + "/empty", "");
    std::string big;
    for (int i = 0; i < 200000; ++i) big += static_cast<char>("abcdefgh"[(i * 7 + i / 13) % 8]);
    WriteFile(Src() + "/sub/big.txt", big);
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 70000; ++i) noise += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    WriteFile(Src() + "/sub/deeper/noise.bin", noise);
  }

  // Zips the source tree (zip -r from inside it) with extra zip options.
  std::string Zip(const std::string& name, const std::string& options = "") {
    const std::string z = tmp.File(name);
    EXPECT_EQ(RunIn(Src(), "zip -q -r " + options + " " + Quote(z) + " .").code, 0);
    return z;
  }

  std::string Exe(const std::string& zipFile) {
    std::string exe;
    EXPECT_EQ(MakeSfx(zipFile, exe, zm), 0);
    return exe;
  }
};

TEST_F(StubTest, ExtractsListsAndTestsByteIdentical) {
  const std::string exe = Exe(Zip("t.zip"));
  struct stat st;
  ASSERT_EQ(::stat(exe.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR) << "the .exe is made executable";

  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d out -y");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Self-extracting Archive") << "the caption comes first";
  EXPECT_EQ(TreeOf(tmp.File("out")), TreeOf(Src()));

  r = RunIn(tmp.Path().string(), Quote(exe) + " -l");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("sub/deeper/noise.bin"), std::string::npos);
  EXPECT_NE(r.out.find("200000"), std::string::npos);

  r = RunIn(tmp.Path().string(), Quote(exe) + " -t");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("4 file(s) tested, 0 error(s)"), std::string::npos) << r.out;

  // Run under another name, from another folder.
  fs::create_directories(tmp.File("elsewhere"));
  fs::copy_file(exe, tmp.File("elsewhere/renamed"));
  r = RunIn(tmp.File("elsewhere"), "./renamed -y -d x");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(TreeOf(tmp.File("elsewhere/x")), TreeOf(Src()));
}

TEST_F(StubTest, EncryptedEntriesNeedTheRightPassword) {
  const std::string exe = Exe(Zip("enc.zip", "-P secret"));
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d good -y -p secret");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(TreeOf(tmp.File("good")), TreeOf(Src()));

  r = RunIn(tmp.Path().string(), Quote(exe) + " -d bad -y -p wrong");
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("wrong password"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(tmp.File("bad/a.txt"))) << "nothing is left of an entry that failed";

  // Without -p the password is asked on the terminal.
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d asked -y", "secret\n");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("Password for"), std::string::npos);
  EXPECT_EQ(ReadAll(tmp.File("asked/a.txt")), "hello, world\n");
}

TEST_F(StubTest, OverwriteModes) {
  const std::string zipFile = Zip("o.zip");
  fs::create_directories(tmp.File("dest"));
  auto reset = [&] { WriteFile(tmp.File("dest/a.txt"), "old"); };

  // Header: never.
  zm.SFXOverWriteMode = OvrNever;
  std::string exe = Exe(zipFile);
  reset();
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "old");
  EXPECT_EQ(ReadAll(tmp.File("dest/sub/big.txt")).size(), 200000u) << "new files are written";
  // -y overrides it.
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest -y");
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "hello, world\n");
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // Header: always; -n overrides it.
  zm.SFXOverWriteMode = OvrAlways;
  exe = Exe(zm.ZipFilename());
  reset();
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest -n");
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "old");
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "hello, world\n");
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // Header: ask. Answers come from the terminal.
  zm.SFXOverWriteMode = OvrConfirm;
  exe = Exe(zm.ZipFilename());
  reset();
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest", "N\n");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("exists. Overwrite? [y]es, [n]o, [A]ll, [N]one, [q]uit"), std::string::npos) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "old");
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest", "A\n");
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "hello, world\n");
  // No answer at all (end of input) stops without touching the file.
  reset();
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d dest", "");
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(ReadAll(tmp.File("dest/a.txt")), "old");
}

TEST_F(StubTest, CommandLineRunsWithTheFolderAndCanBeDeclined) {
  zm.SFXCommandLine = "/bin/sh|-c \"echo ran > ><ran.txt\"";
  zm.SFXDefaultDir = "><";
  std::string exe = Exe(Zip("c.zip"));
  // "><" as default folder is the temporary folder.
  const std::string tempRoot = tmp.File("systemp");
  fs::create_directories(tempRoot);
  ShellRun r = RunIn(tmp.Path().string(), "TMPDIR=" + Quote(tempRoot) + " " + Quote(exe) + " -y");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tempRoot + "/a.txt"), "hello, world\n");
  EXPECT_EQ(ReadAll(tempRoot + "/ran.txt"), "ran\n") << r.out;
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // With the ask switch, "n" keeps the command from running.
  zm.SFXOptions |= SFXAskCmdLine;
  exe = Exe(zm.ZipFilename());
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d d2", "n\n");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::exists(tmp.File("d2/a.txt")));
  EXPECT_FALSE(fs::exists(tmp.File("d2/ran.txt")));
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d d3", "y\n");
  EXPECT_TRUE(fs::exists(tmp.File("d3/ran.txt"))) << r.out;
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // A command that fails makes the program fail.
  zm.SFXOptions = SFXCheckSize;
  zm.SFXCommandLine = "/bin/false";
  exe = Exe(zm.ZipFilename());
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d d4 -y");
  EXPECT_NE(r.code, 0) << r.out;
}

TEST_F(StubTest, DefaultFolderOfTheBlock) {
  // The window's default "C:\" is the folder the program is run in; a
  // Windows path below the drive a folder below it; "><" followed by a
  // name a folder in the temporary folder.
  const std::string zipFile = Zip("f.zip");
  const std::string tempRoot = tmp.File("systemp");
  fs::create_directories(tempRoot);
  const std::vector<std::pair<std::string, std::string>> cases{
      {"C:\\", tmp.File("run")}, {"C:\\Tools\\New", tmp.File("run/Tools/New")}, {"><unpacked", tempRoot + "/unpacked"}};
  std::string current = zipFile;
  for (const auto& [dir, where] : cases) {
    zm.SFXDefaultDir = dir;
    const std::string exe = Exe(current);
    fs::create_directories(tmp.File("run"));
    const ShellRun r = RunIn(tmp.File("run"), "TMPDIR=" + Quote(tempRoot) + " " + Quote(exe) + " -y");
    ASSERT_EQ(r.code, 0) << dir << ": " << r.out;
    EXPECT_EQ(ReadAll(where + "/sub/big.txt").size(), 200000u) << dir << ": " << r.out;
    EXPECT_EQ(ReadAll(where + "/a.txt"), "hello, world\n") << dir;
    fs::remove_all(tmp.File("run"));
    ASSERT_EQ(zm.ConvertZIP(), 0);
    current = zm.ZipFilename();
  }
}

TEST_F(StubTest, FileListChoice) {
  fs::remove_all(Src());
  fs::create_directories(Src());
  WriteFile(Src() + "/1.txt", "one");
  WriteFile(Src() + "/2.txt", "two");
  WriteFile(Src() + "/3.txt", "three");
  const std::string z = tmp.File("l.zip");
  ASSERT_EQ(RunIn(Src(), "zip -q " + Quote(z) + " 1.txt 2.txt 3.txt").code, 0);
  zm.SFXOptions |= SFXAskFiles;
  const std::string exe = Exe(z);
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d pick", "9\n2-3\n");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("Please give numbers from 1 to 3"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(tmp.File("pick/1.txt")));
  EXPECT_EQ(ReadAll(tmp.File("pick/2.txt")), "two");
  EXPECT_EQ(ReadAll(tmp.File("pick/3.txt")), "three");
  // -y takes every file without asking.
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d all -y");
  EXPECT_EQ(TreeOf(tmp.File("all")).size(), 3u) << r.out;
}

TEST_F(StubTest, HostileEntriesAreRefused) {
  // Stored archives built byte by byte: a name climbing out, an absolute
  // name, and a harmless one.
  for (const std::string& bad : {std::string("../escaped.txt"), std::string("/tmp/arkelin-absolute-escape.txt"),
                                 std::string("a/../../escaped2.txt")}) {
    const std::string z = tmp.File("h.zip");
    WriteFile(z, MakeZip({{"fine.txt", "fine"}, {bad, "evil"}}));
    std::string exe;
    ASSERT_EQ(MakeSfx(z, exe, zm), 0);
    fs::create_directories(tmp.File("box"));
    ShellRun r = RunIn(tmp.File("box"), Quote(exe) + " -d inner -y");
    EXPECT_NE(r.code, 0) << bad << ": " << r.out;
    EXPECT_NE(r.out.find("refused"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAll(tmp.File("box/inner/fine.txt")), "fine");
    EXPECT_FALSE(fs::exists(tmp.File("box/escaped.txt")));
    EXPECT_FALSE(fs::exists(tmp.File("escaped2.txt")));
    EXPECT_FALSE(fs::exists("/tmp/arkelin-absolute-escape.txt"));
    fs::remove(exe);
  }

  // A link pointing out of the folder, then a file written "through" it.
  fs::remove_all(Src());
  fs::create_directories(Src());
  fs::create_directory_symlink(tmp.Path(), Src() + "/up");
  const std::string z = tmp.File("link.zip");
  ASSERT_EQ(RunIn(Src(), "zip -q -y " + Quote(z) + " up").code, 0);
  std::string exe;
  ASSERT_EQ(MakeSfx(z, exe, zm), 0);
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d linked -y");
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_FALSE(fs::is_symlink(tmp.File("linked/up"))) << r.out;
}

TEST_F(StubTest, DamagedProgramsFail) {
  const std::string exe = Exe(Zip("d.zip", "-0"));
  const std::string good = ReadAll(exe);

  // A changed byte in the data: CRC error, nonzero, file not left behind.
  std::string bad = good;
  const size_t at = bad.find("hello, world");
  ASSERT_NE(at, std::string::npos);
  bad[at] = 'J';
  WriteFile(exe, bad);
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d crc -y");
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("CRC error"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(tmp.File("crc/a.txt")));
  r = RunIn(tmp.Path().string(), Quote(exe) + " -t");
  EXPECT_NE(r.code, 0);

  // Cut short: the size check (and the directory) fail before any write.
  WriteFile(exe, good.substr(0, good.size() - 30));
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d cut -y");
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_FALSE(fs::exists(tmp.File("cut")));

  // Bytes appended: the size check refuses; without it the files come out.
  WriteFile(exe, good + "trailing junk");
  r = RunIn(tmp.Path().string(), Quote(exe) + " -d grown -y");
  EXPECT_NE(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("size check failed"), std::string::npos) << r.out;

  // The bare stub carries no archive.
  r = RunIn(tmp.Path().string(), Quote(StubPath()) + " -l");
  EXPECT_EQ(r.code, 3) << r.out;
  // Unknown flags are a usage error.
  WriteFile(exe, good);
  r = RunIn(tmp.Path().string(), Quote(exe) + " -q");
  EXPECT_EQ(r.code, 2);
}

TEST_F(StubTest, SizeCheckCanBeSwitchedOff) {
  zm.SFXOptions = 0;  // option byte 32: no size check
  const std::string exe = Exe(Zip("s.zip"));
  WriteFile(exe, ReadAll(exe) + std::string(100, 'x'));
  ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -d grown -y");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(TreeOf(tmp.File("grown")), TreeOf(Src()));
}

TEST(StubSize, StaysSmallAndNeedsNoLibraries) {
  const auto size = fs::file_size(StubPath());
  std::printf("ru2001.bin: %llu bytes\n", static_cast<unsigned long long>(size));
  EXPECT_LT(size, 1000000u);
  // Statically linked: no program interpreter and no dynamic section, so
  // the program starts on a system without any of our libraries.
  const std::string bytes = ReadAll(StubPath());
  ASSERT_GE(bytes.size(), sizeof(Elf64_Ehdr));
  Elf64_Ehdr eh;
  std::memcpy(&eh, bytes.data(), sizeof eh);
  ASSERT_EQ(std::memcmp(eh.e_ident, ELFMAG, SELFMAG), 0);
  EXPECT_EQ(eh.e_type, ET_EXEC);
  ASSERT_LE(eh.e_phoff + uint64_t{eh.e_phnum} * sizeof(Elf64_Phdr), bytes.size());
  int loads = 0;
  for (unsigned i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph;
    std::memcpy(&ph, bytes.data() + eh.e_phoff + i * sizeof ph, sizeof ph);
    EXPECT_NE(ph.p_type, static_cast<uint32_t>(PT_INTERP)) << "a dynamically linked program";
    EXPECT_NE(ph.p_type, static_cast<uint32_t>(PT_DYNAMIC)) << "a dynamically linked program";
    loads += ph.p_type == PT_LOAD;
  }
  EXPECT_GT(loads, 0);
  // And it runs with an empty environment and no library path at all.
  const ShellRun r = RunIn("/", "env -i " + Quote(StubPath()) + " -l");
  EXPECT_EQ(r.code, 3) << r.out;  // no archive behind the bare stub
}

}  // namespace
