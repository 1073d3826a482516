// Multiple file extraction against `arkzip extract` of the same archives in
// a loop, in the same run: every *.zip in ARCHIVES extracted completely, each
// into a folder of its own. Ours is the window's pass (TMultiExtract with its
// own TZipMaster and libunzdll.so, a Qt message pump called from every
// progress event, as in the window); the peer starts one arkzip process per
// archive (the same engine library, a process each). One thread on each side
// (the library decodes on the calling thread). Output folders are emptied
// before every run, untimed; the sides alternate and the best of RUNS
// counts. Prints seconds, files written and the ratio peer/ours (above 1 =
// we are faster).
//
//   bench_mfe ARCHIVES OUT [RUNS]   (mfe_bench.sh makes the archives)
#include <QCoreApplication>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "open/MultiExtract.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

class QtPump : public arkelin::platform::IMessagePump {
 public:
  void ProcessMessages() override { QCoreApplication::processEvents(); }
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long CountFiles(const fs::path& p) {
  long n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec)) ++n;
  return n;
}

bool RunArkzip(const std::string& arkzip, const std::string& archive, const std::string& out) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    ::execl(arkzip.c_str(), arkzip.c_str(), "extract", archive.c_str(), "--dir", out.c_str(), "--dirnames",
            "--overwrite", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_mfe ARCHIVES OUT [RUNS]\n");
    return 2;
  }
  const fs::path in = argv[1], out = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  QtPump pump;
  arkelin::platform::Services services = arkelin::platform::Current();
  services.pump = &pump;
  arkelin::platform::Install(services);
  const std::string arkzip = arkelin::platform::ExecutableFolder() + "arkzip";

  std::vector<std::string> archives;
  for (const auto& e : fs::directory_iterator(in))
    if (e.path().extension() == ".zip") archives.push_back(e.path().string());
  std::sort(archives.begin(), archives.end());
  if (archives.empty()) {
    std::fprintf(stderr, "no archives in %s\n", in.c_str());
    return 2;
  }
  std::vector<arkelin::open::MfeRow> rows;
  for (size_t i = 0; i < archives.size(); ++i)
    rows.push_back({archives[i], (out / "ours" / std::to_string(i)).string()});

  double bestOurs = 1e9, bestPeer = 1e9;
  long oursFiles = 0, peerFiles = 0;
  bool failed = false;
  for (int r = 0; r < runs; ++r) {
    fs::remove_all(out);
    fs::create_directories(out / "ours");
    fs::create_directories(out / "peer");
    ::sync();
    double t0 = Now();
    for (size_t i = 0; i < archives.size(); ++i)
      failed |= !RunArkzip(arkzip, archives[i], (out / "peer" / std::to_string(i)).string());
    bestPeer = std::min(bestPeer, Now() - t0);
    peerFiles = CountFiles(out / "peer");
    ::sync();
    arkelin::open::TMultiExtract m;
    t0 = Now();
    const int count = m.Run(rows);
    bestOurs = std::min(bestOurs, Now() - t0);
    oursFiles = CountFiles(out / "ours");
    for (const auto& res : m.Results()) failed |= res.status != arkelin::open::MfeStatus::Extracted;
    failed |= count != static_cast<int>(rows.size());
  }
  fs::remove_all(out);
  std::printf("%zu archives, %d runs each, best time; 1 thread per side\n", archives.size(), runs);
  std::printf("%-22s %10s %10s\n", "", "seconds", "files");
  std::printf("%-22s %10.3f %10ld\n", "ours (one pass)", bestOurs, oursFiles);
  std::printf("%-22s %10.3f %10ld\n", "arkzip extract loop", bestPeer, peerFiles);
  std::printf("peer/ours %.2f\n", bestPeer / bestOurs);
  if (failed || oursFiles != peerFiles) std::printf("WARNING: a run failed or the file counts differ\n");
  return failed ? 1 : 0;
}
