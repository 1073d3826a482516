// arkzip sfx / unsfx / split / join, run as programs next to the engine
// libraries and the stub, checked with the peers (unzip, 7z, zip -s 0).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/zip/SfxTestUtil.h"

namespace fs = std::filesystem;
using namespace arkelin::engine::zip::testing;

namespace {

const std::string kArkzip = std::string(ARKELIN_BIN_DIR) + "/arkzip";

class ArkzipSfxSpan : public ::testing::Test {
 protected:
  TempFolder tmp;
  std::string Sample() {
    fs::create_directories(tmp.File("src/d"));
    std::string noise(250000, '\0');
    uint32_t x = 7;
    for (auto& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    WriteFile(tmp.File("src/noise.bin"), noise);
    WriteFile(tmp.File("src/d/t.txt"), "text\n");
    EXPECT_EQ(RunIn(tmp.File("src"), "zip -q -r -X ../in.zip .").code, 0);
    return tmp.File("in.zip");
  }
};

TEST_F(ArkzipSfxSpan, SfxAndBack) {
  const std::string in = Sample();
  const std::string original = ReadAll(in);
  ShellRun r = RunIn(tmp.Path().string(), Quote(kArkzip) +
                                               " sfx in.zip --caption 'From arkzip' --dir sub --overwrite never");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_FALSE(fs::exists(in));
  r = RunIn(tmp.Path().string(), "./in.exe -y");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, 12), "From arkzip\n");
  EXPECT_EQ(TreeOf(tmp.File("sub")), TreeOf(tmp.File("src")));
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -tq in.exe").code, 0);
  r = RunIn(tmp.Path().string(), Quote(kArkzip) + " unsfx in.exe");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(in), original);
  // A command line to run afterwards, with the extract folder put in.
  r = RunIn(tmp.Path().string(),
            Quote(kArkzip) + " sfx in.zip --dir '><' --run '/bin/sh|-c \"echo ran > ><ran.txt\"'");
  ASSERT_EQ(r.code, 0) << r.out;
  fs::create_directories(tmp.File("systemp"));
  r = RunIn(tmp.Path().string(), "TMPDIR=" + Quote(tmp.File("systemp")) + " ./in.exe -y");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("systemp/ran.txt")), "ran\n") << r.out;
  EXPECT_EQ(ReadAll(tmp.File("systemp/d/t.txt")), "text\n");
  ASSERT_EQ(RunIn(tmp.Path().string(), Quote(kArkzip) + " unsfx in.exe").code, 0);
  EXPECT_NE(RunIn(tmp.Path().string(), Quote(kArkzip) + " sfx in.zip --overwrite sometimes").code, 0);
  EXPECT_NE(RunIn(tmp.Path().string(), Quote(kArkzip) + " unsfx in.zip").code, 0);
}

TEST_F(ArkzipSfxSpan, SplitAndJoinBothForms) {
  const std::string in = Sample();
  ShellRun r = RunIn(tmp.Path().string(), Quote(kArkzip) + " split in.zip --size 100000 --dir vol");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::exists(tmp.File("vol/in001.zip")));
  EXPECT_TRUE(fs::exists(tmp.File("vol/in003.zip")));
  r = RunIn(tmp.Path().string(), Quote(kArkzip) + " join vol/in003.zip");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("vol/in.zip")), ReadAll(in));
  r = RunIn(tmp.Path().string(), Quote(kArkzip) + " join vol/in001.zip --out x.zip");
  EXPECT_NE(r.code, 0);
  EXPECT_NE(r.out.find("This is the first disk"), std::string::npos) << r.out;

  r = RunIn(tmp.Path().string(), Quote(kArkzip) + " split in.zip --size 100000 --standard --dir std");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::exists(tmp.File("std/in.z01")));
  EXPECT_TRUE(fs::exists(tmp.File("std/in.zip")));
  r = RunIn(tmp.File("std"), "7z x -y -opeer in.zip");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(TreeOf(tmp.File("std/peer")), TreeOf(tmp.File("src")));
  r = RunIn(tmp.File("std"), "zip -q -s 0 in.zip --out whole.zip && unzip -tq whole.zip");
  EXPECT_EQ(r.code, 0) << r.out;
  r = RunIn(tmp.Path().string(), Quote(kArkzip) + " join std/in.zip --out joined.zip");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("joined.zip")), ReadAll(in));
  EXPECT_NE(RunIn(tmp.Path().string(), Quote(kArkzip) + " split in.zip").code, 0) << "--size is needed";
}

}  // namespace
