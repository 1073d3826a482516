// File operations benchmark: one large file and a tree of many small files
// are copied with TFileOperation and with `cp` / `cp -r`, and the tree is
// deleted with TMPDelTree and with `rm -rf`. Best of three runs each; prints
// the times and the ratios (peer / ours; above 1 means ours is faster). The page cache
// is warm for both sides: the source is read once before timing.
//
//   bench_fileop [MEGABYTES] [FILES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "shared/FileOp.h"
#include "shared/MPDelTreeU.h"

namespace fs = std::filesystem;
using arkelin::shared::TFileOperation;
using arkelin::shared::TMPDelTree;

namespace {

double Best(const std::function<void()>& before, const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    before();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

void Shell(const std::string& cmd) {
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
}

void MakeTree(const fs::path& root, int files) {
  fs::remove_all(root);
  std::string block(4096, 'x');
  for (int i = 0; i < files; ++i) {
    const fs::path p = root / ("d" + std::to_string(i % 40)) / ("s" + std::to_string(i % 7)) /
                       ("f" + std::to_string(i) + ".txt");
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << block.substr(0, 512 + (i * 37) % 3500);
  }
}

int CountFiles(const fs::path& root) {
  int n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) ++n;
  return n;
}

void Report(const char* what, double ours, double peer, const char* peerName) {
  std::printf("%-28s ours %8.3f s   %-8s %8.3f s   peer/ours %.2f\n", what, ours, peerName, peer, peer / ours);
}

}  // namespace

int main(int argc, char** argv) {
  const int mb = argc > 1 ? std::atoi(argv[1]) : 128;
  const int files = argc > 2 ? std::atoi(argv[2]) : 3000;
  const fs::path work = fs::path(BENCH_WORK_DIR) / "fileop-bench";
  fs::remove_all(work);
  fs::create_directories(work);

  const fs::path big = work / "big.bin";
  {
    std::ofstream out(big, std::ios::binary);
    std::string chunk(1 << 20, '\0');
    for (int i = 0; i < mb; ++i) {
      for (size_t j = 0; j < chunk.size(); j += 64) chunk[j] = static_cast<char>(i + j);
      out << chunk;
    }
  }
  Shell("cat '" + big.string() + "' > /dev/null");
  const fs::path tree = work / "tree";
  MakeTree(tree, files);

  const fs::path dst = work / "dst";
  auto clean = [&] {
    fs::remove_all(dst);
    fs::create_directories(dst);
  };

  TFileOperation op;
  op.Flags = arkelin::shared::fofSilent | arkelin::shared::fofNoConfirmation;

  const double oursBig = Best(clean, [&] {
    op.FilesFrom = big.string();
    op.FilesTo = dst.string();
    op.Execute();
  });
  const double cpBig = Best(clean, [&] { Shell("cp '" + big.string() + "' '" + dst.string() + "/'"); });
  Report(("copy " + std::to_string(mb) + " MB file").c_str(), oursBig, cpBig, "cp");

  const double oursTree = Best(clean, [&] {
    op.FilesFrom = tree.string();
    op.FilesTo = dst.string();
    op.Execute();
  });
  const int oursCount = CountFiles(dst / "tree");
  const double cpTree = Best(clean, [&] { Shell("cp -r '" + tree.string() + "' '" + dst.string() + "/'"); });
  const int cpCount = CountFiles(dst / "tree");
  if (oursCount != files || cpCount != files)
    std::printf("WARNING: copied %d (ours) and %d (cp) of %d files\n", oursCount, cpCount, files);
  Report(("copy tree of " + std::to_string(files) + " files").c_str(), oursTree, cpTree, "cp -r");

  const fs::path victim = work / "victim";
  auto prepare = [&] {
    fs::remove_all(victim);
    Shell("cp -r '" + tree.string() + "' '" + victim.string() + "'");
  };
  const double oursDel = Best(prepare, [&] {
    TMPDelTree t;
    t.Path = victim.string();
    t.Execute();
  });
  const bool oursGone = !fs::exists(victim);
  const double rmDel = Best(prepare, [&] { Shell("rm -rf '" + victim.string() + "'"); });
  if (!oursGone) std::printf("WARNING: TMPDelTree left %s behind\n", victim.c_str());
  Report(("delete tree of " + std::to_string(files) + " files").c_str(), oursDel, rmDel, "rm -rf");

  fs::remove_all(work);
  return 0;
}
