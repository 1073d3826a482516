// arkzip's RAR commands: the listing has the ZIP listing's columns (dates
// included, hostile names escaped), extract takes the ZIP options and typed
// specifications, and the exit codes tell sound, partly failed and
// unreadable archives apart.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "../engine/rar/RarBuilder.h"
#include "ShellRun.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

ShellRun Arkzip(const std::string& args, const std::string& cwd = ".") {
  return RunShell("cd '" + cwd + "' && LC_ALL=C.UTF-8 TZ=UTC '" + std::string(ARKELIN_BIN_DIR) + "/arkzip' " + args +
                  " 2>&1");
}

std::string Fx(const std::string& name) { return "'" + std::string(ARKELIN_FIXTURES) + "/rar/" + name + "'"; }

}  // namespace

TEST(ArkzipRar, ListShowsTheZipColumnsWithDates) {
  const ShellRun r = Arkzip("list " + Fx("la-test_read_format_rar.rar"));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("      Length       Packed  Ratio Modified            CRC-32    Name\n"), std::string::npos);
  EXPECT_NE(r.out.find("          20           20     0% 2011-06-26 14:53:46 bec8a242  test.txt\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("bec8a242  testdir/test.txt\n"), std::string::npos);
  EXPECT_NE(r.out.find("5 files, 48 bytes uncompressed, 48 bytes compressed, 0%\n"), std::string::npos) << r.out;
  // RAR 5 times (a time record in nanoseconds), shown in two-second steps.
  const ShellRun r5 = Arkzip("list " + Fx("la-test_read_format_rar5_stored.rar"));
  EXPECT_NE(r5.out.find("          29           29     0% 2018-09-26 04:43:42 95a043b4  helloworld.txt\n"),
            std::string::npos)
      << r5.out;
}

TEST(ArkzipRar, HostileNamesAreShownEscaped) {
  TempFolder dir;
  rartest::Rar5Entry e;
  e.name = std::string("evil\x1b[2Jname\nforged line.txt");
  e.data = "x";
  rartest::Write((dir.File("names.rar")), rartest::Archive({e}));
  const ShellRun r = Arkzip("list '" + (dir.File("names.rar")) + "'");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("evil^[[2Jname^Jforged line.txt\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST(ArkzipRar, ExtractTakesTheZipOptionsAndTypedSpecifications) {
  TempFolder dir;
  // Without --dirnames the folders are dropped, as for ZIP.
  ShellRun r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --dir flat 'testdir/*'", dir.Path().string());
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(dir.File("flat/test.txt")), "test text document\r\n");
  EXPECT_FALSE(fs::exists(dir.File("flat/testdir")));
  r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --dir tree --dirnames '*.TXT'", dir.Path().string());
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("2 file(s) extracted"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir.File("tree/testdir/test.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("tree/testlink"))));
  // An existing file stays unless --overwrite.
  std::ofstream(dir.File("tree/test.txt")) << "mine";
  r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --dir tree --dirnames test.txt", dir.Path().string());
  EXPECT_EQ(ReadAll(dir.File("tree/test.txt")), "mine");
  EXPECT_NE(r.out.find("0 file(s) extracted"), std::string::npos) << r.out;
  r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --dir tree --dirnames --overwrite test.txt", dir.Path().string());
  EXPECT_EQ(ReadAll(dir.File("tree/test.txt")), "test text document\r\n");
  EXPECT_NE(r.out.find("1 file(s) extracted"), std::string::npos) << r.out;
}

TEST(ArkzipRar, PasswordsAndExitCodes) {
  TempFolder dir;
  ShellRun r = Arkzip("test " + Fx("rf-rar5-hpsw.rar") + " --password password");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("2 file(s) tested OK"), std::string::npos);
  r = Arkzip("list " + Fx("rf-rar5-hpsw.rar") + " --password wrong");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("Wrong password"), std::string::npos) << r.out;
  r = Arkzip("test " + Fx("gen-rar5-datacrc.rar"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("CRC error"), std::string::npos) << r.out;
  r = Arkzip("extract " + Fx("la-test_read_format_rar5_encrypted.rar") + " --dir e --password password", dir.Path().string());
  EXPECT_EQ(r.code, 1);  // d.txt has another password
  EXPECT_EQ(ReadAll(dir.File("e/b.txt")), "This is from b.txt");
  EXPECT_FALSE(fs::exists(dir.File("e/d.txt")));
  r = Arkzip("list '" + std::string(ARKELIN_FIXTURES) + "/README.md.rar'");
  EXPECT_EQ(r.code, 2);
  r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --level 9");
  EXPECT_EQ(r.code, 2);
  r = Arkzip("delete " + Fx("la-test_read_format_rar.rar") + " x");
  EXPECT_EQ(r.code, 2);
  // A target folder that cannot be made stops the command, as for ZIP.
  std::ofstream(dir.File("afile")) << "a file, not a folder";
  r = Arkzip("extract " + Fx("la-test_read_format_rar.rar") + " --dir afile/sub", dir.Path().string());
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("cannot create the folder afile/sub"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir.File("test.txt")));
}

TEST(ArkzipRar, ArchivesAreRarByTheirContentWhateverTheirName) {
  TempFolder dir;
  // A RAR self-extracting program and an old-style later volume.
  ShellRun r = Arkzip("list " + Fx("la-test_read_format_rar_sfx.exe"));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("testdir/test.txt\n"), std::string::npos) << r.out;
  r = Arkzip("test " + Fx("la-test_read_format_rar5_sfx.exe"));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("1 file(s) tested OK"), std::string::npos) << r.out;
  r = Arkzip("extract " + Fx("rf-rar3-old.r01") + " --dir v --dirnames", dir.Path().string());
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(fs::file_size(dir.File("v/vols/smallfile.txt")), 2050u);
  // A ZIP self-extractor stays a ZIP; a file that is neither is refused.
  r = Arkzip("list '" + std::string(ARKELIN_FIXTURES) + "/zip/gen-sfx-adjusted.exe'");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("SFX fixture archive comment"), std::string::npos) << r.out;
  std::ofstream(dir.File("plain.exe")) << "neither archive";
  r = Arkzip("list plain.exe", dir.Path().string());
  EXPECT_EQ(r.code, 2) << r.out;
}
