// Entry names to relative paths: what must be refused, how separators and
// dots are normalised, and exact comparison of stored names.
#include <gtest/gtest.h>

#include "engine/common/EntryPath.h"

namespace c = arkelin::engine::common;

namespace {
std::string Rel(const std::string& name) {
  std::string out, why;
  return c::EntryNameToRelativePath(name, out, why) ? out : "REFUSED";
}
}  // namespace

TEST(EntryPath, RefusesNamesThatLeaveTheTargetOrHideWhatTheyAre) {
  for (const char* bad : {"../x", "a/../../x", "a/..", "..\\x", "a\\..\\..\\x", "..\\/hello", "/etc/passwd", "\\x",
                          "//h/s", "\\\\?\\C:\\x", "C:\\x", "C:x", "c:/x", "", "/", "./", "a/./../..", ".../../x",
                          "line\nfeed", "esc\x1b[2J", "tab\there", "del\x7f"})
    EXPECT_EQ(Rel(bad), "REFUSED") << bad;
  EXPECT_EQ(Rel(std::string("a\0b", 3)), "REFUSED");
  EXPECT_EQ(Rel(std::string(256, 'n')), "REFUSED") << "a component over NAME_MAX";
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += std::string(250, 'd') + "/";
  EXPECT_EQ(Rel(deep + "f"), "REFUSED") << "a path over PATH_MAX";
  std::string why;
  std::vector<std::string> parts;
  EXPECT_FALSE(c::SplitEntryName("a/../../x", parts, why));
  EXPECT_NE(why.find(".."), std::string::npos) << why;
  EXPECT_TRUE(parts.empty());
}

TEST(EntryPath, NormalisesSeparatorsAndDots) {
  EXPECT_EQ(Rel("a\\b\\c.txt"), "a/b/c.txt");
  EXPECT_EQ(Rel("./a//b/./c"), "a/b/c");
  EXPECT_EQ(Rel("dir/"), "dir");
  EXPECT_EQ(Rel("...txt"), "...txt");
  EXPECT_EQ(Rel("ab:c"), "ab:c") << "a colon after the second letter is no drive";
  EXPECT_EQ(Rel("gr\xC3\xBC\xC3\x9F" "e"), "gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(Rel(std::string(255, 'n')), std::string(255, 'n'));
  EXPECT_EQ(c::JoinParts({"a", "b", "c"}, 2), "a/b");
  EXPECT_EQ(c::JoinParts({"a", "b", "c"}), "a/b/c");
}

TEST(EntryPath, StoredNamesCompareExactlyButForTheSeparator) {
  EXPECT_TRUE(c::SameEntryName("docs/readme.txt", "docs\\readme.txt"));
  EXPECT_FALSE(c::SameEntryName("Readme.txt", "README.TXT")) << "case counts";
  EXPECT_FALSE(c::SameEntryName("a?c.txt", "abc.txt")) << "? is a character like any other";
  EXPECT_FALSE(c::SameEntryName("*", "x"));
  EXPECT_TRUE(c::SameEntryName("a*c", "a*c"));
  EXPECT_FALSE(c::SameEntryName("readme.txt", "docs/readme.txt")) << "the folder is part of the name";
}
