// The walk over add specifications: names, patterns, hidden files, folder
// entries and the archive itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "ZipDllTestUtil.h"
#include "engine/zip/dll/zip/ZipSources.h"

namespace zd = arkelin::engine::zip::zipdll;
using ziptest::WriteFile;

namespace {
std::vector<std::string> Names(const zd::GatherResult& r) {
  std::vector<std::string> n;
  for (const auto& i : r.items) n.push_back(i.entryName);
  return n;
}
}  // namespace

TEST(ZipSources, StoredNamesNeverClimbOrStartWithSeparator) {
  EXPECT_EQ(zd::StoredName("/home/u/a.txt", true, false), "home/u/a.txt");
  EXPECT_EQ(zd::StoredName("./x/./y", true, false), "x/y");
  EXPECT_EQ(zd::StoredName("../../etc/passwd", true, false), "etc/passwd");
  EXPECT_EQ(zd::StoredName("a/../b", true, false), "b");
  EXPECT_EQ(zd::StoredName("/home/u/a.txt", false, false), "a.txt");
  EXPECT_EQ(zd::StoredName("dir/long file name.html", true, true), "DIR/LONG_FIL.HTM");
  EXPECT_EQ(zd::DosComponent(".profile"), "_.PRO");
  EXPECT_EQ(zd::DosComponent("a+b.c"), "A_B.C");
}

class ZipSourcesWalk : public ziptest::ZipDllTest {};

TEST_F(ZipSourcesWalk, RecursionFolderEntriesAndHiddenFiles) {
  WriteFile("d/a.txt", "a");
  WriteFile("d/.hidden", "h");
  WriteFile("d/s/b.txt", "b");
  WriteFile("d/.hd/c.txt", "c");
  zd::GatherOptions o;
  o.recurse = true;
  o.dirEntries = true;
  o.hidden = false;
  auto r = zd::GatherSources({"d/"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"d/", "d/a.txt", "d/s/", "d/s/b.txt"}));
  o.hidden = true;
  r = zd::GatherSources({"d"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"d/", "d/.hidden", "d/a.txt", "d/.hd/", "d/.hd/c.txt", "d/s/", "d/s/b.txt"}));
  o.recurse = false;
  o.dirEntries = false;
  r = zd::GatherSources({"d/"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"d/.hidden", "d/a.txt"}));
}

TEST_F(ZipSourcesWalk, PatternsRecurseIntoSubfoldersAndUnmatchedAreReported) {
  WriteFile("p/x.txt", "1");
  WriteFile("p/y.bin", "2");
  WriteFile("p/q/z.TXT", "3");
  zd::GatherOptions o;
  o.recurse = true;
  auto r = zd::GatherSources({"p/*.txt", "nothing-*.zz", "missing.file"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"p/x.txt", "p/q/z.TXT"}));
  EXPECT_EQ(r.unmatched, (std::vector<std::string>{"nothing-*.zz", "missing.file"}));
}

TEST_F(ZipSourcesWalk, JunkedNamesKeepTheFirstOfEqualNamesAndSkipTheArchive) {
  WriteFile("j/one/same.txt", "1");
  WriteFile("j/two/same.txt", "2");
  WriteFile("j/arc.zip", "not yet");
  struct stat st {};
  ASSERT_EQ(stat("j/arc.zip", &st), 0);
  zd::GatherOptions o;
  o.recurse = true;
  o.dirNames = false;
  o.dirEntries = true;  // no folder entries without folder names
  o.haveArchive = true;
  o.archiveDev = st.st_dev;
  o.archiveIno = st.st_ino;
  auto r = zd::GatherSources({"j"}, o);
  ASSERT_EQ(Names(r), (std::vector<std::string>{"same.txt"}));
  EXPECT_EQ(r.items[0].diskPath, "j/one/same.txt");
  // The second same.txt is not stored, and says so; a file named twice is
  // simply stored once.
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_NE(r.skipped[0].find("j/two/same.txt"), std::string::npos) << r.skipped[0];
  r = zd::GatherSources({"j/one/same.txt", "j/one/same.txt"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"same.txt"}));
  EXPECT_TRUE(r.skipped.empty());
}

TEST_F(ZipSourcesWalk, FolderLinksAreFollowedLoopsAndBrokenLinksAreReported) {
  WriteFile("t/real/a.txt", "a");
  WriteFile("t/real/deep/b.txt", "b");
  WriteFile("other/c.txt", "c");
  ASSERT_EQ(symlink("../other", "t/to-other"), 0);        // a folder outside
  ASSERT_EQ(symlink("real/a.txt", "t/to-a.txt"), 0);      // a file
  ASSERT_EQ(symlink("..", "t/real/deep/up"), 0);          // loop: back to t/real
  ASSERT_EQ(symlink("../..", "t/real/deep/top"), 0);      // loop: back to t
  ASSERT_EQ(symlink("nowhere", "t/broken"), 0);
  zd::GatherOptions o;
  o.recurse = true;
  o.dirEntries = true;
  auto r = zd::GatherSources({"t"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"t/", "t/to-a.txt", "t/real/", "t/real/a.txt", "t/real/deep/",
                                                "t/real/deep/b.txt", "t/to-other/", "t/to-other/c.txt"}));
  std::vector<std::string> said = r.skipped;
  std::sort(said.begin(), said.end());
  ASSERT_EQ(said.size(), 3u);
  EXPECT_NE(said[0].find("t/broken"), std::string::npos) << said[0];
  EXPECT_NE(said[1].find("t/real/deep/top"), std::string::npos) << said[1];
  EXPECT_NE(said[1].find("loop"), std::string::npos) << said[1];
  EXPECT_NE(said[2].find("t/real/deep/up"), std::string::npos) << said[2];
  // A link named as the specification is walked as the folder it leads to.
  r = zd::GatherSources({"t/to-other"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"t/to-other/", "t/to-other/c.txt"}));
  // Two links to one folder that do not contain each other are no loop.
  ASSERT_EQ(symlink("../../other", "t/real/again"), 0);
  r = zd::GatherSources({"t/real/again", "t/to-other"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"t/real/again/", "t/real/again/c.txt", "t/to-other/",
                                                "t/to-other/c.txt"}));
}

TEST_F(ZipSourcesWalk, SpecialFilesAreLeftOutWithAMessage) {
  WriteFile("f/a.txt", "a");
  ASSERT_EQ(mkfifo("f/pipe", 0600), 0);
  zd::GatherOptions o;
  auto r = zd::GatherSources({"f/"}, o);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"f/a.txt"}));
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_NE(r.skipped[0].find("f/pipe"), std::string::npos);
}
