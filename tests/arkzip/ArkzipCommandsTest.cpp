// arkzip add/extract/test/delete: how the flags reach the engine libraries
// (through a recording stand-in library placed beside a copy of arkzip) and
// the exit codes; then, when the real engine libraries are built, round
// trips checked with unzip, 7z and Python's zipfile.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ShellRun.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using Record = std::map<std::string, std::string>;

// `cmd` in the C locale, its errors in its output.
ShellRun Shell(const std::string& cmd) { return RunShell("LC_ALL=C.UTF-8 " + cmd + " 2>&1"); }

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

class ArkzipCommands : public ::testing::Test {
 protected:
  fs::path tmp_;
  void SetUp() override {
    tmp_ = fs::temp_directory_path() /
           ("arkzip-cmd-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(tmp_);
    fs::create_directories(tmp_);
  }
  void TearDown() override { fs::remove_all(tmp_); }

  // A copy of arkzip with the recording library as both engine libraries
  // beside it: arkzip looks for them in its own folder.
  fs::path RecordingArkzip() {
    const fs::path bin = tmp_ / "bin";
    fs::create_directories(bin);
    fs::copy_file(fs::path(ARKELIN_BIN_DIR) / "arkzip", bin / "arkzip");
    fs::copy_file(fs::path(ARKELIN_BIN_DIR) / "librecordingzipdll.so", bin / "libzipdll.so");
    fs::copy_file(fs::path(ARKELIN_BIN_DIR) / "librecordingzipdll.so", bin / "libunzdll.so");
    return bin / "arkzip";
  }
  Record Recorded() {
    Record r;
    std::ifstream f(tmp_ / "record.txt");
    std::string line;
    while (std::getline(f, line)) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) r[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return r;
  }
  std::string Env(const std::string& script = "") {
    return "RECDLL_OUT=" + Q(tmp_ / "record.txt") + " RECDLL_VERSION=158 RECDLL_SCRIPT=" + script + " ";
  }
};

TEST_F(ArkzipCommands, AddPassesItsFlagsToTheEngine) {
  const fs::path arkzip = RecordingArkzip();
  ShellRun r = Shell(Env() + Q(arkzip) + " add " + Q(tmp_ / "new.zip") +
                   " --level 3 --recurse --dirnames --move --update --password pw one 'two words'");
  EXPECT_EQ(r.code, 0) << r.out;
  Record rec = Recorded();
  EXPECT_EQ(rec["op"], "zip");
  EXPECT_EQ(rec["level"], "3");
  EXPECT_EQ(rec["recurse"], "65535");
  EXPECT_EQ(rec["junkDirNames"], "0");
  EXPECT_EQ(rec["move"], "-1");
  EXPECT_EQ(rec["update"], "-1");
  EXPECT_EQ(rec["encrypt"], "-1");
  EXPECT_EQ(rec["password"], "pw");
  EXPECT_EQ(rec["handle"], "0");
  EXPECT_EQ(rec["argc"], "2");
  EXPECT_EQ(rec["spec1"], "two words");
  EXPECT_EQ(rec["archive"], (tmp_ / "new.zip").string());
}

TEST_F(ArkzipCommands, ExtractTestAndDeletePassTheirFlags) {
  const fs::path arkzip = RecordingArkzip();
  std::ofstream(tmp_ / "a.zip", std::ios::binary)
      << std::string("PK\x05\x06", 4) << std::string(18, '\0');  // an empty archive
  ShellRun r = Shell(Env() + Q(arkzip) + " extract " + Q(tmp_ / "a.zip") + " --dir " + Q(tmp_ / "out/deep") +
                   " --dirnames --overwrite --freshen '*.txt'");
  EXPECT_EQ(r.code, 0) << r.out;
  Record rec = Recorded();
  EXPECT_EQ(rec["op"], "unzip");
  EXPECT_EQ(rec["dirNames"], "-1");
  EXPECT_EQ(rec["overwrite"], "-1");
  EXPECT_EQ(rec["freshen"], "-1");
  EXPECT_EQ(rec["test"], "0");
  EXPECT_EQ(rec["spec0"], "*.txt");
  EXPECT_EQ(fs::canonical(rec["extractDir"]), fs::canonical(tmp_ / "out/deep"));
  EXPECT_EQ(fs::path(rec["cwd"]), fs::current_path()) << "arkzip's own folder, unchanged";

  fs::remove(tmp_ / "record.txt");
  r = Shell(Env() + Q(arkzip) + " test " + Q(tmp_ / "a.zip") + " --password sesame");
  rec = Recorded();
  EXPECT_EQ(rec["test"], "-1");
  EXPECT_EQ(rec["password"], "sesame");
  EXPECT_EQ(rec["argc"], "0");

  fs::remove(tmp_ / "record.txt");
  r = Shell(Env() + Q(arkzip) + " delete " + Q(tmp_ / "a.zip") + " x.txt");
  EXPECT_EQ(r.code, 0) << r.out;
  rec = Recorded();
  EXPECT_EQ(rec["delete"], "-1");
  EXPECT_EQ(rec["spec0"], "x.txt");
}

TEST_F(ArkzipCommands, ExitCodes) {
  const fs::path arkzip = RecordingArkzip();
  // An engine error message while some files succeed: 1.
  ShellRun r = Shell(Env("progress") + Q(arkzip) + " add " + Q(tmp_ / "n.zip") + " f");
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("bad CRC in dir\\b.txt"), std::string::npos);
  // Unknown option, missing arguments: 2.
  EXPECT_EQ(Shell(Q(arkzip) + " add " + Q(tmp_ / "n.zip") + " --fast f").code, 2);
  EXPECT_EQ(Shell(Q(arkzip) + " add " + Q(tmp_ / "n.zip")).code, 2);
  EXPECT_EQ(Shell(Q(arkzip) + " delete " + Q(tmp_ / "n.zip")).code, 2);
  // A missing archive: 2, with the component's message.
  r = Shell(Q(arkzip) + " test " + Q(tmp_ / "missing.zip"));
  EXPECT_EQ(r.code, 2);
  // No engine library: 2, with the loading message.
  fs::remove(arkzip.parent_path() / "libunzdll.so");
  std::ofstream(tmp_ / "e.zip", std::ios::binary) << std::string("PK\x05\x06", 4) << std::string(18, '\0');
  r = Shell(Q(arkzip) + " extract " + Q(tmp_ / "e.zip") + " x");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("UNZDLL.DLL not found!"), std::string::npos) << r.out;
}

// Round trips through the real engine libraries.
class ArkzipRoundTrip : public ArkzipCommands {
 protected:
  void SetUp() override {
    ArkzipCommands::SetUp();
    if (!fs::exists(fs::path(ARKELIN_BIN_DIR) / "libzipdll.so") ||
        !fs::exists(fs::path(ARKELIN_BIN_DIR) / "libunzdll.so"))
      GTEST_SKIP() << "the engine libraries are not built in " << ARKELIN_BIN_DIR;
  }
  std::string Arkzip() { return Q(fs::path(ARKELIN_BIN_DIR) / "arkzip"); }
};

TEST_F(ArkzipRoundTrip, WhatWeWritePeersReadAndWhatPeersWriteWeExtract) {
  const fs::path src = tmp_ / "src";
  fs::create_directories(src / "sub");
  std::ofstream(src / "a.txt") << "alpha\n";
  std::string big;
  for (int i = 0; i < 300000; ++i) big += static_cast<char>("abcdefgh"[i % 7] + (i % 13 == 0));
  std::ofstream(src / "sub" / "big.bin", std::ios::binary) << big;
  std::ofstream(src / "sub" / "gr\xc3\xbc\xc3\x9f" "e.txt") << "utf-8";

  ShellRun r = Shell("cd " + Q(src) + " && " + Arkzip() + " add " + Q(tmp_ / "ours.zip") +
                   " --recurse --dirnames --level 6 .");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Shell("unzip -t " + Q(tmp_ / "ours.zip")).code, 0);
  EXPECT_EQ(Shell("7z t " + Q(tmp_ / "ours.zip")).code, 0);
  EXPECT_EQ(Shell("/usr/bin/python3 -c \"import zipfile,sys; sys.exit(zipfile.ZipFile('" +
                  (tmp_ / "ours.zip").string() + "').testzip() is not None)\"").code, 0);
  EXPECT_EQ(Shell("mkdir " + Q(tmp_ / "peer") + " && cd " + Q(tmp_ / "peer") + " && unzip -q " +
                  Q(tmp_ / "ours.zip")).code, 0);
  EXPECT_EQ(ReadAll(tmp_ / "peer" / "sub" / "big.bin"), big);
  for (const std::string tool : {"bsdtar -xf", "7z x -y"}) {
    const fs::path out = tmp_ / ("peer-" + tool.substr(0, 2));
    fs::create_directories(out);
    EXPECT_EQ(Shell("cd " + Q(out) + " && " + tool + " " + Q(tmp_ / "ours.zip")).code, 0) << tool;
    EXPECT_EQ(ReadAll(out / "sub" / "big.bin"), big) << tool;
    EXPECT_EQ(ReadAll(out / "sub" / "gr\xc3\xbc\xc3\x9f" "e.txt"), "utf-8") << tool;
  }

  ASSERT_EQ(Shell("cd " + Q(src) + " && zip -qr " + Q(tmp_ / "theirs.zip") + " .").code, 0);
  r = Shell(Arkzip() + " extract " + Q(tmp_ / "theirs.zip") + " --dir " + Q(tmp_ / "mine") + " --dirnames");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp_ / "mine" / "sub" / "big.bin"), big);
  EXPECT_EQ(ReadAll(tmp_ / "mine" / "sub" / "gr\xc3\xbc\xc3\x9f" "e.txt"), "utf-8");
  EXPECT_EQ(Shell(Arkzip() + " test " + Q(tmp_ / "theirs.zip")).code, 0);
  // A second extraction without --overwrite skips every file: nothing failed.
  std::ofstream(tmp_ / "mine" / "a.txt", std::ios::trunc) << "mine";
  r = Shell(Arkzip() + " extract " + Q(tmp_ / "theirs.zip") + " --dir " + Q(tmp_ / "mine") + " --dirnames");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp_ / "mine" / "a.txt"), "mine");
  // A damaged entry among good ones: 1; every entry damaged: 2.
  std::string damaged = ReadAll(tmp_ / "theirs.zip");
  const size_t at = damaged.find("alpha");
  ASSERT_NE(at, std::string::npos);  // zip stores a 6-byte file
  damaged[at] = 'A';
  std::ofstream(tmp_ / "damaged.zip", std::ios::binary) << damaged;
  r = Shell(Arkzip() + " test " + Q(tmp_ / "damaged.zip"));
  EXPECT_EQ(r.code, 1) << r.out;
  ASSERT_EQ(Shell("cd " + Q(src) + " && zip -q0 " + Q(tmp_ / "one.zip") + " a.txt").code, 0);
  std::string one = ReadAll(tmp_ / "one.zip");
  one[one.find("alpha")] = 'A';
  std::ofstream(tmp_ / "one-damaged.zip", std::ios::binary) << one;
  r = Shell(Arkzip() + " test " + Q(tmp_ / "one-damaged.zip"));
  EXPECT_EQ(r.code, 2) << r.out;

  r = Shell(Arkzip() + " delete " + Q(tmp_ / "ours.zip") + " a.txt");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Shell("unzip -l " + Q(tmp_ / "ours.zip") + " | grep -c a.txt").out, "0\n");
}

TEST_F(ArkzipRoundTrip, PasswdReencryptsAndPeersReadOnlyTheNewPassword) {
  const fs::path src = tmp_ / "src";
  fs::create_directories(src / "sub");
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  std::ofstream(src / "notes.txt") << text;
  std::ofstream(src / "sub" / "tiny.txt") << "tiny";
  const fs::path z = tmp_ / "s.zip";
  ShellRun r = Shell("cd " + Q(src) + " && " + Arkzip() + " add " + Q(z) + " --recurse --dirnames --password 'first one' .");
  ASSERT_EQ(r.code, 0) << r.out;
  const std::string before = ReadAll(z);

  // Refused: a wrong old password, no new one; the archive stays as it was.
  r = Shell(Arkzip() + " passwd " + Q(z) + " --password wrong --new-password second --aes 256");
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("wrong password"), std::string::npos) << r.out;
  EXPECT_EQ(Shell(Arkzip() + " passwd " + Q(z) + " --password 'first one'").code, 2);
  EXPECT_EQ(Shell(Arkzip() + " passwd " + Q(z) + " --password 'first one' --new-password x --aes 100").code, 2);
  EXPECT_EQ(ReadAll(z), before);

  r = Shell(Arkzip() + " passwd " + Q(z) + " --password 'first one' --new-password 'second one' --aes 256");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("2 file(s) encrypted with the new password"), std::string::npos) << r.out;
  EXPECT_EQ(Shell("7z t -p'second one' " + Q(z)).code, 0);
  EXPECT_NE(Shell("7z t -p'first one' " + Q(z)).code, 0);
  r = Shell("7z l -slt " + Q(z));
  EXPECT_NE(r.out.find("Method = AES-256"), std::string::npos) << r.out;
  const fs::path out = tmp_ / "bsd";
  fs::create_directories(out);
  ASSERT_EQ(Shell("bsdtar -xf " + Q(z) + " -C " + Q(out) + " --passphrase 'second one'").code, 0);
  EXPECT_EQ(ReadAll(out / "notes.txt"), text);
  EXPECT_EQ(ReadAll(out / "sub" / "tiny.txt"), "tiny");
  EXPECT_NE(Shell(Arkzip() + " test " + Q(z) + " --password 'first one'").code, 0);
  EXPECT_EQ(Shell(Arkzip() + " test " + Q(z) + " --password 'second one'").code, 0);

  // And back to the traditional encryption, which Python reads.
  ASSERT_EQ(Shell(Arkzip() + " passwd " + Q(z) + " --password 'second one' --new-password third").code, 0);
  r = Shell("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); z.setpassword(b'third'); "
            "sys.stdout.write(z.read('notes.txt').decode())\" " + Q(z));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, text);
}

}  // namespace
