// libunzdll through its command record: archives written by zip, 7z,
// bsdtar and Python's zipfile extract byte-identical and test clean;
// specifications, folder names, overwrite/update/freshen and their
// questions; passwords given and asked for; progress events; a stop
// answer ends the run at once without a partial file.
#include <gtest/gtest.h>

#include "UnzTestUtil.h"

using namespace unztest;

namespace {

class UnzDll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library::Get().exec) << "libunzdll.so not loadable from " << ARKELIN_BIN_DIR << ": " << dlerror();
    MakeSourceTree(tmp_ / "src");
  }
  // Extracts `archive` with folder names into out/ and answers the tree.
  std::map<std::string, std::string> ExtractAll(const fs::path& archive, int32_t* count = nullptr,
                                                const std::string& password = "") {
    Call c;
    c.archive = archive.string();
    c.password = password;
    const int32_t n = c.Run();
    if (count) *count = n;
    EXPECT_TRUE(c.Errors().empty()) << archive << ":\n" << c.AllErrors();
    return Tree(tmp_.Out());
  }
  TempDir tmp_;
};

TEST_F(UnzDll, ReportsTheLongLayoutVersion) {
  EXPECT_GE(Library::Get().version(), kFirstLongUnzipVersion);
}

TEST_F(UnzDll, ExtractsWhatThePeerToolsWrite) {
  const auto expected = Tree(tmp_ / "src");
  struct Maker {
    const char* name;
    std::string cmd;
  };
  const fs::path src = tmp_ / "src";
  const std::vector<Maker> makers = {
      {"zip deflate", "cd " + Q(src) + " && zip -qr " + Q(tmp_ / "a.zip") + " ."},
      {"zip stored", "cd " + Q(src) + " && zip -qr0 " + Q(tmp_ / "a.zip") + " ."},
      {"zip bzip2", "cd " + Q(src) + " && zip -qr -Z bzip2 " + Q(tmp_ / "a.zip") + " ."},
      {"7z deflate", "cd " + Q(src) + " && 7z a -tzip -bd " + Q(tmp_ / "a.zip") + " ."},
      {"7z lzma", "cd " + Q(src) + " && 7z a -tzip -mm=LZMA -bd " + Q(tmp_ / "a.zip") + " ."},
      {"7z bzip2", "cd " + Q(src) + " && 7z a -tzip -mm=BZip2 -bd " + Q(tmp_ / "a.zip") + " ."},
      {"bsdtar", "cd " + Q(src) + " && bsdtar --format zip -cf " + Q(tmp_ / "a.zip") + " ."},
      {"python lzma/xz-free mix",
       "cd " + Q(src) + " && /usr/bin/python3 -c \"import zipfile,os\nz=zipfile.ZipFile('" +
           (tmp_ / "a.zip").string() +
           "','w')\nfor i,(d,_,fs) in enumerate(os.walk('.')):\n for f in fs:\n  p=os.path.join(d,f)\n  "
           "z.write(p,compress_type=[zipfile.ZIP_DEFLATED,zipfile.ZIP_LZMA,zipfile.ZIP_BZIP2,zipfile.ZIP_STORED][len(p)%4])\"" },
  };
  for (const auto& m : makers) {
    SCOPED_TRACE(m.name);
    fs::remove(tmp_ / "a.zip");
    ASSERT_EQ(Sh(m.cmd), 0) << m.cmd;
    tmp_.ClearOut();
    int32_t n = 0;
    auto got = ExtractAll(tmp_ / "a.zip", &n);
    // bsdtar and 7z store "./" prefixes or none; compare by relative path.
    std::map<std::string, std::string> norm;
    for (auto& [k, v] : got) norm[k.rfind("./", 0) == 0 ? k.substr(2) : k] = v;
    EXPECT_EQ(norm, expected);
    EXPECT_EQ(n, static_cast<int32_t>(expected.size()));

    Call t;
    t.archive = (tmp_ / "a.zip").string();
    t.test = true;
    EXPECT_EQ(t.Run(), static_cast<int32_t>(expected.size()));
    EXPECT_TRUE(t.Errors().empty()) << t.AllErrors();
  }
}

TEST_F(UnzDll, TestWritesNothingAndCountsOnlyGoodFiles) {
  // Stored, so one flipped byte in the middle of a file's data is a CRC error.
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -qr0 " + Q(tmp_ / "a.zip") + " text.txt noise.bin"), 0);
  std::string z = ReadAll(tmp_ / "a.zip");
  const size_t at = z.find("line 1500 of");
  ASSERT_NE(at, std::string::npos);
  z[at] = 'X';
  WriteFile(tmp_ / "a.zip", z);
  Call t;
  t.archive = (tmp_ / "a.zip").string();
  t.test = true;
  EXPECT_EQ(t.Run(), 1);
  EXPECT_TRUE(t.HasError("text.txt")) << t.AllErrors();
  EXPECT_TRUE(t.HasError("CRC")) << t.AllErrors();
  EXPECT_TRUE(fs::is_empty(tmp_.Out()));

  // Extracting it keeps no damaged file either.
  Call x;
  x.archive = t.archive;
  EXPECT_EQ(x.Run(), 1);
  EXPECT_FALSE(fs::exists(tmp_.Out() / "text.txt"));
  EXPECT_TRUE(fs::exists(tmp_.Out() / "noise.bin"));
  EXPECT_EQ(Tree(tmp_.Out()).size(), 1u) << "no temporary file is left behind";
}

TEST_F(UnzDll, SpecificationsIgnoreCaseAndBareNamesMatchInAnyFolder) {
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -qr " + Q(tmp_ / "a.zip") + " ."), 0);
  Call c;
  c.archive = (tmp_ / "a.zip").string();
  c.specs = {"INNER.TXT", "t?xt.*"};
  EXPECT_EQ(c.Run(), 2);
  auto t = Tree(tmp_.Out());
  EXPECT_EQ(t.size(), 2u);
  EXPECT_TRUE(t.count("sub/deeper/inner.txt"));
  EXPECT_TRUE(t.count("text.txt"));

  tmp_.ClearOut();
  Call d;
  d.archive = c.archive;
  d.specs = {"SUB\\*"};
  EXPECT_EQ(d.Run(), 3);
  EXPECT_EQ(Tree(tmp_.Out()).size(), 3u);

  Call all;
  all.archive = c.archive;
  all.specs = {"*.*"};
  all.overwrite = true;
  EXPECT_EQ(all.Run(), 6);
  Call none;
  none.archive = c.archive;
  none.specs = {"nothing.here"};
  none.test = true;
  EXPECT_EQ(none.Run(), 0);
}

TEST_F(UnzDll, WithoutFolderNamesFilesLandFlat) {
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -qr " + Q(tmp_ / "a.zip") + " sub"), 0);
  Call c;
  c.archive = (tmp_ / "a.zip").string();
  c.dirNames = false;
  EXPECT_EQ(c.Run(), 3);
  auto t = Tree(tmp_.Out());
  EXPECT_TRUE(t.count("inner.txt"));
  EXPECT_TRUE(t.count("with space.txt"));
  EXPECT_FALSE(fs::exists(tmp_.Out() / "sub"));
}

TEST_F(UnzDll, EmptyFolderEntriesAreMadeWithFolderNames) {
  fs::create_directories(tmp_ / "src/empty/inside");
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -qr " + Q(tmp_ / "a.zip") + " empty"), 0);
  Call c;
  c.archive = (tmp_ / "a.zip").string();
  EXPECT_EQ(c.Run(), 0) << "folders are not counted as files";
  EXPECT_TRUE(fs::is_directory(tmp_.Out() / "empty/inside"));
}

TEST_F(UnzDll, ExistingFilesAskAndFollowTheAnswer) {
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -q " + Q(tmp_ / "a.zip") + " text.txt"), 0);
  WriteFile(tmp_.Out() / "text.txt", "mine");
  Call keep;
  keep.archive = (tmp_ / "a.zip").string();
  keep.overwriteAnswer = 0;
  EXPECT_EQ(keep.Run(), 0);
  ASSERT_EQ(keep.Of(kActionOverwrite).size(), 1u);
  EXPECT_EQ(keep.Of(kActionOverwrite)[0].text, "text.txt");
  EXPECT_EQ(ReadAll(tmp_.Out() / "text.txt"), "mine");

  Call stop;
  stop.archive = keep.archive;
  stop.overwriteAnswer = -1;
  EXPECT_EQ(stop.Run(), 0);
  EXPECT_TRUE(stop.Of(kActionEndOfBatch).empty()) << "a stop ends without further events";
  EXPECT_EQ(ReadAll(tmp_.Out() / "text.txt"), "mine");

  Call yes;
  yes.archive = keep.archive;
  yes.overwriteAnswer = 1;
  EXPECT_EQ(yes.Run(), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "text.txt"), ReadAll(tmp_ / "src/text.txt"));

  WriteFile(tmp_.Out() / "text.txt", "mine again");
  Call forced;
  forced.archive = keep.archive;
  forced.overwrite = true;
  EXPECT_EQ(forced.Run(), 1);
  EXPECT_TRUE(forced.Of(kActionOverwrite).empty());
  EXPECT_EQ(ReadAll(tmp_.Out() / "text.txt"), ReadAll(tmp_ / "src/text.txt"));
}

TEST_F(UnzDll, FreshenAndUpdateCompareTimes) {
  ASSERT_EQ(Sh("touch -d '2020-05-05 12:00:00' " + Q(tmp_ / "src/text.txt") + " " + Q(tmp_ / "src/empty.dat")), 0);
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -q " + Q(tmp_ / "a.zip") + " text.txt empty.dat noise.bin"), 0);
  WriteFile(tmp_.Out() / "text.txt", "old");
  ASSERT_EQ(Sh("touch -d '2019-01-01' " + Q(tmp_.Out() / "text.txt")), 0);
  WriteFile(tmp_.Out() / "empty.dat", "newer");
  ASSERT_EQ(Sh("touch -d '2021-01-01' " + Q(tmp_.Out() / "empty.dat")), 0);

  Call f;
  f.archive = (tmp_ / "a.zip").string();
  f.freshen = true;
  f.overwrite = true;
  EXPECT_EQ(f.Run(), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "text.txt"), ReadAll(tmp_ / "src/text.txt"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "empty.dat"), "newer");
  EXPECT_FALSE(fs::exists(tmp_.Out() / "noise.bin")) << "freshen adds no new files";

  Call u;
  u.archive = f.archive;
  u.update = true;
  u.overwrite = true;
  EXPECT_EQ(u.Run(), 1) << "only the missing file";
  EXPECT_TRUE(fs::exists(tmp_.Out() / "noise.bin"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "empty.dat"), "newer");
}

TEST_F(UnzDll, RestoresTimesAndPermissionsWithoutSpecialBits) {
  fs::permissions(tmp_ / "src/text.txt", fs::perms(0750));
  ASSERT_EQ(Sh("touch -d '2011-03-04 05:06:08' " + Q(tmp_ / "src/text.txt")), 0);
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -q " + Q(tmp_ / "a.zip") + " text.txt"), 0);
  Call c;
  c.archive = (tmp_ / "a.zip").string();
  ASSERT_EQ(c.Run(), 1);
  struct stat a {}, b {};
  ASSERT_EQ(stat((tmp_ / "src/text.txt").c_str(), &a), 0);
  ASSERT_EQ(stat((tmp_.Out() / "text.txt").c_str(), &b), 0);
  EXPECT_EQ(b.st_mtime, a.st_mtime);
  const mode_t um = umask(0);
  umask(um);
  EXPECT_EQ(b.st_mode & 07777, 0750 & ~um);
}

TEST_F(UnzDll, PasswordsGivenOrAskedFor) {
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -q -P s3cret " + Q(tmp_ / "e.zip") + " text.txt noise.bin"), 0);
  {
    int32_t n = 0;
    auto t = ExtractAll(tmp_ / "e.zip", &n, "s3cret");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(t["text.txt"], ReadAll(tmp_ / "src/text.txt"));
    EXPECT_EQ(t["noise.bin"], ReadAll(tmp_ / "src/noise.bin"));
  }
  tmp_.ClearOut();
  {
    Call c;  // no password: asked once, then remembered for the second entry
    c.archive = (tmp_ / "e.zip").string();
    c.passwordAnswers = {"s3cret"};
    EXPECT_EQ(c.Run(), 2);
    EXPECT_EQ(c.Of(kActionPassword).size(), 1u);
  }
  tmp_.ClearOut();
  {
    Call c;  // a wrong password and no answer: both skipped with messages
    c.archive = (tmp_ / "e.zip").string();
    c.password = "wrong";
    EXPECT_EQ(c.Run(), 0);
    EXPECT_TRUE(c.HasError("wrong password")) << c.AllErrors();
    EXPECT_TRUE(fs::is_empty(tmp_.Out()));
  }
  {
    Call c;  // test mode with the password
    c.archive = (tmp_ / "e.zip").string();
    c.password = "s3cret";
    c.test = true;
    EXPECT_EQ(c.Run(), 2);
  }
  {
    Call c;  // unanswered questions (as an unattended caller): every entry skipped
    c.archive = (tmp_ / "e.zip").string();
    c.test = true;
    EXPECT_EQ(c.Run(), 0);
    EXPECT_EQ(c.Of(kActionPassword).size(), 2u);
  }
}

TEST_F(UnzDll, ProgressAnnouncesTotalsFilesAndBytes) {
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && zip -qr " + Q(tmp_ / "a.zip") + " ."), 0);
  Call c;
  c.archive = (tmp_ / "a.zip").string();
  c.test = true;
  ASSERT_EQ(c.Run(), 6);
  ASSERT_GE(c.events.size(), 3u);
  EXPECT_EQ(c.events[0].action, kActionTotalFiles);
  EXPECT_EQ(c.events[0].size, 6);
  EXPECT_EQ(c.events[1].action, kActionTotalSize);
  int64_t total = 0;
  for (const auto& [k, v] : Tree(tmp_ / "src")) total += static_cast<int64_t>(v.size());
  EXPECT_EQ(c.events[1].size, total);
  EXPECT_EQ(c.Of(kActionNewFile).size(), 6u);
  int64_t updated = 0;
  for (const auto& e : c.Of(kActionUpdate)) updated += e.size;
  EXPECT_EQ(updated, total);
  EXPECT_EQ(c.events.back().action, kActionEndOfBatch);
}

TEST_F(UnzDll, StopAnswerEndsAtOnceAndLeavesNoPartialFile) {
  std::string big(6 << 20, '\0');
  std::mt19937 rng(3);
  for (auto& ch : big) ch = static_cast<char>(rng() % 7);
  WriteFile(tmp_ / "big/big.bin", big);
  WriteFile(tmp_ / "big/zafter.txt", "after");
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "big") + " && zip -q " + Q(tmp_ / "b.zip") + " big.bin zafter.txt"), 0);
  Call c;
  c.archive = (tmp_ / "b.zip").string();
  int updates = 0;
  c.stopWhen = [&](const Event& e) { return e.action == kActionUpdate && ++updates == 2 ? 1 : 0; };
  EXPECT_EQ(c.Run(), 0);
  EXPECT_EQ(updates, 2);
  EXPECT_EQ(c.events.back().action, kActionUpdate) << "no callback after the stop answer";
  EXPECT_TRUE(fs::is_empty(tmp_.Out())) << "neither the file nor its temporary remains";
}

TEST_F(UnzDll, LargePartialFileIsRemovedInStepsWithKeepAliveCalls) {
  // Stored, so the stop comes deep into the entry's data.
  const int64_t size = 100 << 20;
  {
    fs::create_directories(tmp_ / "large");
    std::ofstream f(tmp_ / "large/large.bin", std::ios::binary);
    std::string block(1 << 20, 'x');
    for (int64_t i = 0; i < size; i += block.size()) f.write(block.data(), block.size());
  }
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "large") + " && zip -q -0 " + Q(tmp_ / "l.zip") + " large.bin"), 0);
  Call c;
  c.archive = (tmp_ / "l.zip").string();
  int64_t written = 0;
  size_t stopAt = 0;
  c.stopWhen = [&](const Event& e) {
    if (e.action != kActionUpdate || stopAt) return 0;
    written += e.size;
    if (written < (80 << 20)) return 0;
    stopAt = c.events.size();
    return 1;
  };
  EXPECT_EQ(c.Run(), 0);
  ASSERT_GT(stopAt, 0u);
  // 80 MB are shortened in 32 MB steps: two keep-alive calls, and nothing
  // else after the stop.
  ASSERT_EQ(c.events.size(), stopAt + 2);
  for (size_t i = stopAt; i < c.events.size(); ++i) EXPECT_EQ(c.events[i].action, kActionKeepAlive);
  EXPECT_TRUE(fs::is_empty(tmp_.Out())) << "neither the file nor its temporary remains";
}

TEST_F(UnzDll, ManyEntriesThroughZip64) {
  // More than 65,535 entries need the Zip64 end records.
  ASSERT_EQ(Py(tmp_.Path(), "import zipfile\n"
                            "z=zipfile.ZipFile('" + (tmp_ / "m.zip").string() + "','w')\n"
                            "for i in range(70000): z.writestr('d%d/f%d.txt'%(i%10,i), str(i))\n"
                            "z.close()\n"),
            0);
  Call c;
  c.archive = (tmp_ / "m.zip").string();
  c.test = true;
  EXPECT_EQ(c.Run(), 70000);
  EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
  Call x;
  x.archive = c.archive;
  x.specs = {"f69999.txt"};
  EXPECT_EQ(x.Run(), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "d9/f69999.txt"), "69999");
}

TEST_F(UnzDll, LargeOffsetsThroughZip64Extra) {
  // A 4 GiB+ archive would be slow; Python's force_zip64 writes the Zip64
  // extra fields and end records for small data, which takes the same path.
  ASSERT_EQ(Py(tmp_.Path(), "import zipfile\n"
                            "z=zipfile.ZipFile('" + (tmp_ / "z.zip").string() + "','w',zipfile.ZIP_DEFLATED)\n"
                            "with z.open('big.txt','w',force_zip64=True) as f: f.write(b'abc'*100000)\n"
                            "z.writestr('small.txt','small')\n"
                            "z.close()\n"),
            0);
  int32_t n = 0;
  auto t = ExtractAll(tmp_ / "z.zip", &n);
  EXPECT_EQ(n, 2);
  std::string abc;
  for (int i = 0; i < 100000; ++i) abc += "abc";
  EXPECT_EQ(t["big.txt"], abc);
  EXPECT_EQ(t["small.txt"], "small");
}

TEST_F(UnzDll, MissingArchiveIsReportedNotCrashed) {
  Call c;
  c.archive = (tmp_ / "none.zip").string();
  EXPECT_EQ(c.Run(), 0);
  EXPECT_FALSE(c.Errors().empty());
  WriteFile(tmp_ / "junk.zip", std::string(1000, 'x'));
  Call j;
  j.archive = (tmp_ / "junk.zip").string();
  EXPECT_EQ(j.Run(), 0);
  EXPECT_FALSE(j.Errors().empty());
}

}  // namespace
