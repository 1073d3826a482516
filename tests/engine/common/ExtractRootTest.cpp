// The extraction root: files appear only when committed, nothing is written
// through a link on disk, modes lose their special bits, and whatever the
// order and depth of a chain of links, none of the links it leaves resolves
// outside the target folder or to the folder itself (checked with realpath
// over generated chains).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>
#include <map>
#include <random>
#include <sstream>

#include "LinkChains.h"
#include "engine/common/EntryPath.h"
#include "engine/common/ExtractRoot.h"
#include "engine/common/TempFile.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using arkelin::engine::common::ExtractRoot;
using arkelin::engine::common::OnDisk;
using arkelin::engine::common::SplitEntryName;

namespace {

std::vector<std::string> Parts(const std::string& name) {
  std::vector<std::string> parts;
  std::string why;
  EXPECT_TRUE(SplitEntryName(name, parts, why)) << name << ": " << why;
  return parts;
}

// Writes `data` to `name` below the root and commits it.
bool Put(ExtractRoot& root, const std::string& name, const std::string& data, uint32_t mode = 0644) {
  ExtractRoot::File f;
  std::string why;
  if (!root.BeginFile(Parts(name), f, why)) return false;
  if (!f.Write(data.data(), data.size())) return false;
  return f.Commit(mode, -1, why);
}

// Records the links and finishes; answers name -> failure ("" = created).
std::map<std::string, std::string> MakeLinks(ExtractRoot& root, const std::vector<linkchains::LinkSpec>& links) {
  for (size_t i = 0; i < links.size(); ++i) root.AddLink(Parts(links[i].path), links[i].text, -1, i);
  std::map<std::string, std::string> out;
  const auto r = root.Finish([](size_t, const std::vector<std::string>&, const OnDisk&) { return 1; });
  for (const auto& l : r.links) out[links[l.tag].path] = l.created ? "" : l.failure;
  return out;
}

class ExtractRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(tmp_.Path() / "root");
    std::string why;
    ASSERT_TRUE(root_.Open((tmp_.Path() / "root").string(), false, why)) << why;
  }
  TempFolder tmp_;
  ExtractRoot root_;
};

TEST_F(ExtractRootTest, AFilePreparedHereAndWrittenOnAnotherThreadAppearsOnlyWhenCommitted) {
  ASSERT_TRUE(Put(root_, "p/q.txt", "old"));
  auto names = [&] {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(tmp_.Path() / "root/p")) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  };
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "committed" : "discarded after it was readied");
    ExtractRoot::File f;
    std::string why;
    ASSERT_TRUE(root_.PrepareFile(Parts("p/q.txt"), f, why)) << why;
    EXPECT_TRUE(f.Pending());
    // The root moves on to another folder meanwhile; the file keeps its own.
    ASSERT_TRUE(Put(root_, "other/x.txt", "x"));
    bool ok = false;
    std::thread t([&] {
      std::string w;
      ok = f.Create(w) && f.Write("new contents", 12) && f.Ready(0640, 1000000000, w);
    });
    t.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadAll(tmp_.Path() / "root/p/q.txt"), "old") << "nothing replaces the old file before the commit";
    EXPECT_EQ(names().size(), 2u) << "the readied file waits under a temporary name";
    if (commit) {
      ASSERT_TRUE(f.Commit(0640, 1000000000, why)) << why;
      EXPECT_EQ(ReadAll(tmp_.Path() / "root/p/q.txt"), "new contents");
      struct stat st {};
      ASSERT_EQ(::stat((tmp_.Path() / "root/p/q.txt").c_str(), &st), 0);
      EXPECT_EQ(st.st_mtime, 1000000000);
      EXPECT_EQ(st.st_mode & 0777, 0640u & ~static_cast<unsigned>(arkelin::engine::common::CurrentUmask()));
    } else {
      f.Discard();
      EXPECT_EQ(ReadAll(tmp_.Path() / "root/p/q.txt"), "old");
    }
    EXPECT_EQ(names(), std::vector<std::string>{"q.txt"}) << "no temporary file stays";
  }
}

TEST_F(ExtractRootTest, AFileAppearsOnlyWhenCommittedAndADiscardKeepsTheOldOne) {
  ASSERT_TRUE(Put(root_, "a/b/c.txt", "first"));
  EXPECT_EQ(ReadAll(tmp_.Path() / "root/a/b/c.txt"), "first");

  ExtractRoot::File f;
  std::string why;
  ASSERT_TRUE(root_.BeginFile(Parts("a/b/c.txt"), f, why)) << why;
  ASSERT_TRUE(f.Write("second, longer", 14));
  EXPECT_EQ(ReadAll(tmp_.Path() / "root/a/b/c.txt"), "first") << "nothing shows before the commit";
  f.Discard();
  EXPECT_EQ(ReadAll(tmp_.Path() / "root/a/b/c.txt"), "first");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(tmp_.Path() / "root/a/b")) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"c.txt"}) << "no temporary file stays";

  ASSERT_TRUE(root_.BeginFile(Parts("a/b/c.txt"), f, why));
  ASSERT_TRUE(f.Write("third", 5));
  ASSERT_TRUE(f.Commit(0644, 1000000000, why)) << why;
  EXPECT_EQ(ReadAll(tmp_.Path() / "root/a/b/c.txt"), "third");
  struct stat st {};
  ASSERT_EQ(::stat((tmp_.Path() / "root/a/b/c.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
}

TEST_F(ExtractRootTest, ModesKeepOnlyPermissionBitsUnderTheUmask) {
  const mode_t saved = ::umask(027);
  ExtractRoot root;
  std::string why;
  ASSERT_TRUE(root.Open((tmp_.Path() / "root").string(), false, why));
  ASSERT_TRUE(Put(root, "suid", "x", 04777));
  ASSERT_TRUE(Put(root, "ro", "x", 0444));
  ::umask(saved);
  struct stat st {};
  ASSERT_EQ(::stat((tmp_.Path() / "root/suid").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  ASSERT_EQ(::stat((tmp_.Path() / "root/ro").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0440u);
}

TEST_F(ExtractRootTest, NothingIsWrittenThroughALinkAlreadyOnDisk) {
  fs::create_directories(tmp_.Path() / "victim");
  fs::create_directory_symlink(tmp_.Path() / "victim", tmp_.Path() / "root/sub");
  EXPECT_FALSE(Put(root_, "sub/f", "planted"));
  EXPECT_FALSE(fs::exists(tmp_.Path() / "victim/f"));
  std::string why;
  EXPECT_FALSE(root_.MakeFolder(Parts("sub/inner"), -1, why));
  EXPECT_NE(why.find("link"), std::string::npos) << why;
  EXPECT_FALSE(fs::exists(tmp_.Path() / "victim/inner"));
  // A link in place of the file itself is replaced, never written through.
  std::ofstream(tmp_.Path() / "victim/target") << "keep";
  fs::create_symlink(tmp_.Path() / "victim/target", tmp_.Path() / "root/g");
  EXPECT_EQ(root_.Look(Parts("g")).kind, OnDisk::kLink);
  ASSERT_TRUE(Put(root_, "g", "new"));
  EXPECT_EQ(ReadAll(tmp_.Path() / "victim/target"), "keep");
  EXPECT_FALSE(fs::is_symlink(tmp_.Path() / "root/g"));
}

TEST_F(ExtractRootTest, AChainThroughALaterLinkIsRefusedInEitherOrder) {
  // x's text runs through y, created in the same extraction: x leads two
  // folders above d/e/y's target q, that is above the root.
  const std::vector<linkchains::LinkSpec> first{{"d/e/x", "y/../.."}, {"d/e/y", "../../q"}};
  for (int order = 0; order < 2; ++order) {
    SCOPED_TRACE(order);
    linkchains::ResetTarget(tmp_.Path() / "root");
    ExtractRoot root;
    std::string why;
    ASSERT_TRUE(root.Open((tmp_.Path() / "root").string(), false, why));
    auto links = first;
    if (order) std::swap(links[0], links[1]);
    const auto made = MakeLinks(root, links);
    EXPECT_NE(made.at("d/e/x").find("out of the target folder"), std::string::npos) << made.at("d/e/x");
    EXPECT_EQ(made.at("d/e/y"), "");
    EXPECT_FALSE(fs::is_symlink(tmp_.Path() / "root/d/e/x"));
    EXPECT_TRUE(fs::is_symlink(tmp_.Path() / "root/d/e/y"));
    EXPECT_EQ(linkchains::EscapingLinks(tmp_.Path() / "root"), std::vector<std::string>{});
  }
}

TEST_F(ExtractRootTest, LinksToTheRootThroughPlantedLinksAndInLoopsAreRefused) {
  fs::create_directories(tmp_.Path() / "victim");
  fs::create_directory_symlink(tmp_.Path() / "victim", tmp_.Path() / "root/planted");
  fs::create_directories(tmp_.Path() / "root/sub");
  const std::vector<linkchains::LinkSpec> links{
      {"dotdot", ".."},          {"traildot", "sub/.."},   {"abs", "/etc/passwd"},  {"via", "planted/x"},
      {"loop1", "loop2"},        {"loop2", "loop1"},       {"up", "sub/../sub"},    {"chain", "up/../safe"},
      {"sub/through", "../up"},  {"planted/inside", "x"},  {"dotchain", "traildot/sub"}};
  const auto made = MakeLinks(root_, links);
  for (const char* refused : {"dotdot", "traildot", "abs", "via", "loop1", "loop2", "planted/inside"})
    EXPECT_NE(made.at(refused), "") << refused;
  EXPECT_NE(made.at("traildot").find("target folder itself"), std::string::npos) << made.at("traildot");
  EXPECT_NE(made.at("loop1").find("loop"), std::string::npos) << made.at("loop1");
  EXPECT_NE(made.at("planted/inside").find("link"), std::string::npos) << made.at("planted/inside");
  for (const char* kept : {"up", "chain", "sub/through"}) EXPECT_EQ(made.at(kept), "") << kept;
  // traildot is not made, so dotchain ends on a name that does not exist
  // inside the root: harmless, and kept.
  EXPECT_EQ(made.at("dotchain"), "");
  EXPECT_FALSE(fs::exists(tmp_.Path() / "victim/inside"));
  fs::remove(tmp_.Path() / "root/planted");  // ours to check are the links the extraction made
  EXPECT_EQ(linkchains::EscapingLinks(tmp_.Path() / "root"), std::vector<std::string>{});
}

TEST_F(ExtractRootTest, TheQuestionDecidesAboutNamesTakenAndCanStop) {
  ASSERT_TRUE(Put(root_, "taken", "file"));
  ASSERT_TRUE(Put(root_, "other", "file"));
  root_.AddLink(Parts("taken"), "other", -1, 0);
  root_.AddLink(Parts("free"), "other", -1, 1);
  int asked = 0;
  auto r = root_.Finish([&](size_t tag, const std::vector<std::string>& parts, const OnDisk& there) {
    ++asked;
    EXPECT_EQ(tag, 0u);
    EXPECT_EQ(parts, Parts("taken"));
    EXPECT_EQ(there.kind, OnDisk::kFile);
    return 0;
  });
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(ReadAll(tmp_.Path() / "root/taken"), "file");
  EXPECT_TRUE(fs::is_symlink(tmp_.Path() / "root/free"));

  root_.AddLink(Parts("taken"), "other", -1, 0);
  r = root_.Finish([](size_t, const std::vector<std::string>&, const OnDisk&) { return -1; });
  EXPECT_TRUE(r.stopped);
  EXPECT_FALSE(fs::is_symlink(tmp_.Path() / "root/taken"));
}

TEST_F(ExtractRootTest, HardLinksOnlyToFilesInside) {
  ASSERT_TRUE(Put(root_, "dir/file", "data"));
  fs::create_directories(tmp_.Path() / "root/folder");
  fs::create_symlink("dir/file", tmp_.Path() / "root/soft");
  root_.AddHardLink(Parts("copy"), Parts("dir/file"), -1, 0);
  root_.AddHardLink(Parts("bad1"), Parts("folder"), -1, 1);
  root_.AddHardLink(Parts("bad2"), Parts("soft"), -1, 2);
  root_.AddHardLink(Parts("bad3"), Parts("missing"), -1, 3);
  const auto r = root_.Finish(nullptr);
  ASSERT_EQ(r.links.size(), 4u);
  EXPECT_TRUE(r.links[0].created) << r.links[0].failure;
  for (int i = 1; i < 4; ++i) EXPECT_FALSE(r.links[i].created) << i;
  struct stat a {}, b {};
  ASSERT_EQ(::stat((tmp_.Path() / "root/copy").c_str(), &a), 0);
  ASSERT_EQ(::stat((tmp_.Path() / "root/dir/file").c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_FALSE(fs::exists(tmp_.Path() / "root/bad2"));
}

TEST_F(ExtractRootTest, FolderTimesAreSetLastDeepestFirst) {
  std::string why;
  ASSERT_TRUE(root_.MakeFolder(Parts("top"), 900000000, why)) << why;
  ASSERT_TRUE(root_.MakeFolder(Parts("top/inner"), 800000000, why)) << why;
  ASSERT_TRUE(Put(root_, "top/inner/f", "x"));
  root_.AddLink(Parts("top/l"), "inner/f", -1, 0);
  root_.Finish(nullptr);
  struct stat st {};
  ASSERT_EQ(::stat((tmp_.Path() / "root/top").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 900000000);
  ASSERT_EQ(::stat((tmp_.Path() / "root/top/inner").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 800000000);
}

// The property: generated chains, every order, nesting depths 0 to 2; after
// each extraction no created link resolves outside the root, to it or in a
// loop; a link naming a real folder beside it is always made; and the same
// links in the reverse order leave exactly the same links.
TEST(ExtractRootChains, NoCreatedLinkEverResolvesOutsideWhateverTheOrder) {
  TempFolder tmp;
  const fs::path root = linkchains::MakeWorld(tmp.Path());
  std::mt19937 rng(20240613);
  int created = 0, chained = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const auto links = linkchains::Generate(rng);
    std::vector<std::string> first;
    for (int pass = 0; pass < 2; ++pass) {
      auto ordered = links;
      if (pass) std::reverse(ordered.begin(), ordered.end());
      linkchains::ResetTarget(root);
      ExtractRoot er;
      std::string why;
      ASSERT_TRUE(er.Open(root.string(), false, why));
      const auto made = MakeLinks(er, ordered);
      std::ostringstream trace;
      for (const auto& l : ordered) trace << l.path << " -> " << l.text << " : " << made.at(l.path) << "\n";
      SCOPED_TRACE("trial " + std::to_string(trial) + " pass " + std::to_string(pass) + "\n" + trace.str());
      EXPECT_EQ(linkchains::EscapingLinks(root), std::vector<std::string>{});
      for (const auto& l : ordered) {
        if (l.plainlySafe) {
          EXPECT_EQ(made.at(l.path), "") << l.path;
        }
      }
      const auto onDisk = linkchains::LinksBelow(root);
      if (pass == 0) {
        first = onDisk;
        created += static_cast<int>(onDisk.size());
        for (const auto& l : links)
          for (const auto& other : links)
            if (&l != &other && made.at(l.path).empty() && made.at(other.path).empty() &&
                l.text.find(fs::path(other.path).filename().string()) != std::string::npos)
              ++chained;
      } else {
        EXPECT_EQ(onDisk, first) << "the order of the entries changed the outcome";
      }
    }
    if (::testing::Test::HasFailure()) break;
  }
  // The rule must not simply refuse everything: plenty of links, some of
  // them going through others, are made.
  EXPECT_GT(created, 150);
  EXPECT_GT(chained, 20);
}

}  // namespace
