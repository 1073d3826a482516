// How long the engine takes to come back after a stop answer, with the
// workers busy: an archive of small entries and large ones (stored and
// deflated, several MB each) is extracted again and again, and each run is
// stopped at another progress event; the time from the answer to the end
// of the run (the prepared entries thrown away, the workers joined) is
// measured. Also the run without a stop, with workers and without.
//
// Usage: bench_unzip_stop [WORK_DIR]     (default: a folder under /tmp)
// Prints the longest and the median time after a stop against a 100 ms
// target, and the threads used.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/zip/dll/unz/DecodePool.h"
#include "engine/zip/dll/unz/UnzExtractor.h"

namespace fs = std::filesystem;
using namespace arkelin::engine::zip::dll;
using Clock = std::chrono::steady_clock;

namespace {

struct Probe {
  int stopAtUpdate = -1;
  int updates = 0;
  Clock::time_point stoppedAt{};
};

int32_t Callback(EngineCallbackData* d) {
  auto* p = static_cast<Probe*>(d->caller);
  if (d->actionCode == kActionUpdate && ++p->updates == p->stopAtUpdate) {
    p->stoppedAt = Clock::now();
    return 1;
  }
  return 0;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "arkelin-stop-bench";
  fs::create_directories(work);
  const fs::path archive = work / "stop.zip";
  if (!fs::exists(archive)) {
    std::printf("making %s with Python's zipfile...\n", archive.string().c_str());
    const std::string cmd =
        "/usr/bin/python3 -c \"import zipfile, random\n"
        "r = random.Random(3)\n"
        "z = zipfile.ZipFile('" + archive.string() + ".part', 'w')\n"
        "text = b' '.join(b'word%d' % r.randint(0, 5000) for _ in range(1500000))\n"
        "for i in range(3000):\n"
        "  big = i % 200 == 0\n"
        "  body = (text[i:] + text[:i])[: (6000000 if big else r.randint(0, 20000))]\n"
        "  z.writestr('d%d/f%d.txt' % (i // 500, i), body,\n"
        "             compress_type=zipfile.ZIP_STORED if i % 400 == 0 else zipfile.ZIP_DEFLATED)\n"
        "z.close()\"";
    if (std::system(cmd.c_str()) != 0) return 1;
    fs::rename(archive.string() + ".part", archive);
  }
  const fs::path out = work / "out";
  auto run = [&](Probe& p) {
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directories(out);
    UnzOptions o;
    o.archive = archive.string();
    o.dirNames = true;
    o.overwrite = true;
    o.targetDir = out.string();
    o.callback = &Callback;
    o.caller = &p;
    const auto t0 = Clock::now();
    RunUnzip(o);
    return std::make_pair(t0, Clock::now());
  };
  Probe whole;
  auto [a0, a1] = run(whole);
  const int updates = whole.updates;
  setenv("ARKELIN_UNZIP_THREADS", "0", 1);
  Probe single;
  auto [b0, b1] = run(single);
  unsetenv("ARKELIN_UNZIP_THREADS");
  std::printf("whole run: %.0f ms with %d worker(s) besides the calling thread, %.0f ms on the calling thread "
              "alone (%d progress events)\n",
              Ms(a1 - a0), DecodeThreads(), Ms(b1 - b0), updates);
  std::vector<double> after;
  for (int k = 1; k <= 25; ++k) {
    Probe p;
    p.stopAtUpdate = std::max(1, updates * k / 26);
    auto [t0, t1] = run(p);
    if (p.stoppedAt != Clock::time_point{}) after.push_back(Ms(t1 - p.stoppedAt));
  }
  std::sort(after.begin(), after.end());
  if (after.empty()) return 1;
  std::printf("after a stop answer (%zu stops spread over the run): median %.1f ms, longest %.1f ms "
              "(target: under 100 ms)\n",
              after.size(), after[after.size() / 2], after.back());
  std::error_code ec;
  fs::remove_all(out, ec);
  return 0;
}
