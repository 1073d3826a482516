// Link chains through the real extractor: archives of generated symbolic
// link entries, in every order and at nesting depths 0 to 2, extracted by
// libunzdll. No link it leaves may resolve (realpath) outside the target
// folder or to the folder itself, and the same entries in the reverse
// order must leave the same links.
#include <gtest/gtest.h>
#include <unistd.h>

#include "../../common/LinkChains.h"
#include "../ZipTestUtil.h"
#include "UnzTestUtil.h"

using namespace unztest;
namespace zt = arkelin::engine::zip::testing;

namespace {

std::string LinkArchive(const std::vector<linkchains::LinkSpec>& links) {
  std::vector<zt::TestEntry> entries;
  for (const auto& l : links) {
    zt::TestEntry e;
    e.name = l.path;
    e.data = l.text;
    e.host = 3;  // Unix: the external attributes' high half is st_mode
    e.externalAttr = 0120777u << 16;
    entries.push_back(e);
  }
  return zt::MakeZip(entries);
}

TEST(UnzDllLinkChains, NoExtractedLinkResolvesOutsideWhateverTheOrder) {
  ASSERT_TRUE(Library::Get().exec);
  TempDir tmp;
  const fs::path root = linkchains::MakeWorld(tmp.Path() / "world");
  const fs::path archive = tmp / "links.zip";
  const fs::path saved = fs::current_path();
  std::mt19937 rng(7031);
  int made = 0;
  for (int trial = 0; trial < 60 && !::testing::Test::HasFailure(); ++trial) {
    const auto links = linkchains::Generate(rng);
    std::vector<std::string> first;
    for (int pass = 0; pass < 2; ++pass) {
      auto ordered = links;
      if (pass) std::reverse(ordered.begin(), ordered.end());
      std::string trace;
      for (const auto& l : ordered) trace += l.path + " -> " + l.text + "\n";
      SCOPED_TRACE("trial " + std::to_string(trial) + " pass " + std::to_string(pass) + "\n" + trace);
      zt::WriteFile(archive.string(), LinkArchive(ordered));
      linkchains::ResetTarget(root);
      fs::current_path(root);
      Call c;
      c.archive = archive.string();
      c.overwrite = true;
      const int32_t n = c.Run();
      fs::current_path(saved);
      const auto onDisk = linkchains::LinksBelow(root);
      EXPECT_EQ(n, static_cast<int32_t>(onDisk.size())) << c.AllErrors();
      EXPECT_EQ(linkchains::EscapingLinks(root), std::vector<std::string>{}) << c.AllErrors();
      for (const auto& l : ordered) {
        if (l.plainlySafe) {
          EXPECT_TRUE(std::find(onDisk.begin(), onDisk.end(), l.path) != onDisk.end()) << l.path;
        }
      }
      if (pass == 0) {
        first = onDisk;
        made += static_cast<int>(onDisk.size());
      } else {
        EXPECT_EQ(onDisk, first) << "the order of the entries changed the outcome";
      }
    }
  }
  EXPECT_GT(made, 60);
}

}  // namespace
