// The walk over add specifications: names, patterns, hidden files, folder
// entries and the archive itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
