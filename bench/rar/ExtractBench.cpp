// Whole-archive RAR extraction: `arkzip extract` (TRAR over our own
// libarkunrar.so: volumes, headers, checksums, decoders, writing through the
// extraction root) against `bsdtar -xf` (libarchive) on the same archives in
// the same run. Each run is a child process timed from fork to exit, writing
// into a fresh folder on /dev/shm (or /tmp), so both sides pay the same for
// the files; its peak resident memory comes from wait4. Both sides use one
// thread. Prints, per archive and per decoder, MB/s of unpacked data (best
// of several runs), the ratio ours/bsdtar (above 1 = we are faster) and the
// peak memory of each side.
//
// The RAR 5 fixtures are small, so whole-process times there are mostly
// start-up; a second table therefore times the libraries alone, in this
// process: our archive layer testing every entry (headers, decoding, CRC)
// against libarchive reading every entry's data, repeated for at least half
// a second, best pass.
//
//   bench_rar_extract [RUNS]   (default 3; the fixtures folder is built in)
#ifdef ARKELIN_BENCH_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/rar/archive/RarReader.h"

namespace fs = std::filesystem;
namespace ar = arkelin::engine::rar::archive;

namespace {

struct Sample {
  const char* decoder;
  const char* archive;
};

// The fixtures with real data that libarchive reads too.
const Sample kSamples[] = {
    {"RAR 2.9 LZ", "la-test_read_format_rar_multi_lzss_blocks.rar"},
    {"RAR 2.9 LZ", "la-test_read_format_rar_binary_data.rar"},
    {"RAR 2.9 LZ", "la-test_read_format_rar_compress_normal.rar"},
    {"RAR 2.9 LZ + E8E9/DELTA", "la-test_read_format_rar_filter.rar"},
    {"RAR 2.9 PPMd", "la-test_read_format_rar_ppmd_lzss_conversion.rar"},
    {"RAR 2.9 PPMd", "la-test_read_format_rar_compress_best.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_arm.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_win32.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_compressed.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_solid.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_multiple_files_solid.rar"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_blake2.rar"},
};

struct Timed {
  double seconds = 0;
  long peakKb = 0;
  int status = -1;
};

Timed RunChild(const std::vector<std::string>& argv, const fs::path& cwd) {
  Timed t;
  const auto start = std::chrono::steady_clock::now();
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.peakKb = ru.ru_maxrss;
  t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return t;
}

// Unpacked bytes of every entry, by our own listing.
uint64_t UnpackedBytes(const std::string& path) {
  ar::RarReader r;
  if (r.Open(path) != 0) return 0;
  uint64_t total = 0;
  ar::RarEntry e;
  while (r.Next(e) == 0)
    if (!e.isDirectory) total += e.unpackedSize;
  return total;
}

Timed Best(const std::vector<std::string>& argv, const fs::path& scratch, int runs) {
  Timed best;
  best.seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const Timed t = RunChild(argv, scratch);
    if (t.seconds < best.seconds) best.seconds = t.seconds;
    best.peakKb = std::max(best.peakKb, t.peakKb);
    best.status = t.status;
  }
  fs::remove_all(scratch);
  return best;
}

class Discard : public arkelin::engine::rar::unpack::UnpackedSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

// One pass over every entry: our layer; false when an entry failed.
bool OursOnce(const std::string& path) {
  ar::RarReader r;
  if (r.Open(path) != 0) return false;
  ar::RarEntry e;
  Discard sink;
  bool ok = true;
  while (r.Next(e) == 0)
    if (r.Test(&sink) != 0) ok = false;
  return ok;
}

#ifdef ARKELIN_BENCH_LIBARCHIVE
// One pass with libarchive; false when it reported an error.
bool TheirsOnce(const std::string& path) {
  struct archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  bool ok = archive_read_open_filename(a, path.c_str(), 1 << 16) == ARCHIVE_OK;
  static std::vector<char> buf(1 << 16);
  struct archive_entry* e;
  while (ok && archive_read_next_header(a, &e) == ARCHIVE_OK) {
    for (;;) {
      const la_ssize_t n = archive_read_data(a, buf.data(), buf.size());
      if (n < 0) ok = false;
      if (n <= 0) break;
    }
  }
  archive_read_free(a);
  return ok;
}
#endif

template <class F>
double BestPass(F once, bool& ok) {
  double best = 1e30, spent = 0;
  for (int i = 0; i < 50 && (i < 3 || spent < 0.5); ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    ok = once();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, s);
    spent += s;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string arkzip = std::string(ARKELIN_BIN_DIR) + "/arkzip";
  const fs::path base = access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path scratch = base / ("bench-rar-" + std::to_string(getpid()));
  std::printf("RAR extraction: arkzip extract (1 thread) against bsdtar -xf (1 thread), best of %d runs,\n"
              "writing to %s. Ratio = bsdtar time / our time (above 1 = we are faster).\n\n",
              runs, base.c_str());
  std::printf("%-24s %-50s %9s %9s %9s %7s %9s %9s\n", "decoder", "archive", "MB", "ours MB/s", "bsdtar",
              "ratio", "ours KB", "bsdtar KB");
  struct Sum {
    double bytes = 0, ours = 0, theirs = 0;
    long oursKb = 0, theirsKb = 0;
    bool peerFailed = false;
  };
  std::map<std::string, Sum> perDecoder;
  bool ourFailure = false;
  for (const auto& s : kSamples) {
    const std::string path = std::string(ARKELIN_FIXTURES) + "/rar/" + s.archive;
    if (!fs::exists(path)) continue;
    const double mb = static_cast<double>(UnpackedBytes(path)) / 1e6;
    const Timed ours = Best({arkzip, "extract", path, "--dir", ".", "--dirnames", "--overwrite"}, scratch, runs);
    const Timed theirs = Best({"bsdtar", "-xf", path}, scratch, runs);
    std::printf("%-24s %-50s %9.2f %9.1f %9.1f %7.2f %9ld %9ld%s%s\n", s.decoder, s.archive, mb, mb / ours.seconds,
                mb / theirs.seconds, theirs.seconds / ours.seconds, ours.peakKb, theirs.peakKb,
                ours.status ? "  (ours FAILED)" : "", theirs.status ? "  (bsdtar reported an error)" : "");
    if (ours.status) ourFailure = true;
    // A peer that failed may have stopped early: such rows stay out of the
    // per-decoder sums.
    if (theirs.status) {
      perDecoder[s.decoder].peerFailed = true;
      continue;
    }
    Sum& sum = perDecoder[s.decoder];
    sum.bytes += mb;
    sum.ours += ours.seconds;
    sum.theirs += theirs.seconds;
    sum.oursKb = std::max(sum.oursKb, ours.peakKb);
    sum.theirsKb = std::max(sum.theirsKb, theirs.peakKb);
  }
  std::printf("\nPer decoder (its archives that both sides read without an error, together):\n");
  std::printf("%-24s %9s %9s %9s %7s %9s %9s\n", "decoder", "MB", "ours MB/s", "bsdtar", "ratio", "ours KB",
              "bsdtar KB");
  for (const auto& [name, sum] : perDecoder)
    std::printf("%-24s %9.2f %9.1f %9.1f %7.2f %9ld %9ld%s\n", name.c_str(), sum.bytes, sum.bytes / sum.ours,
                sum.bytes / sum.theirs, sum.theirs / sum.ours, sum.oursKb, sum.theirsKb,
                sum.peerFailed ? "  (archives bsdtar failed on left out)" : "");

#ifndef ARKELIN_BENCH_LIBARCHIVE
  std::printf("\nThe libraries alone, in this process: not built (libarchive-dev was not installed).\n");
#else
  std::printf("\nThe libraries alone, in this process (no start-up, no files written):\n");
  std::printf("%-24s %-50s %9s %9s %9s %7s\n", "decoder", "archive", "MB", "ours MB/s", "libarch.", "ratio");
  std::map<std::string, Sum> inProcess;
  for (const auto& s : kSamples) {
    const std::string path = std::string(ARKELIN_FIXTURES) + "/rar/" + s.archive;
    if (!fs::exists(path)) continue;
    const double mb = static_cast<double>(UnpackedBytes(path)) / 1e6;
    bool oursOk = false, theirsOk = false;
    const double ours = BestPass([&] { return OursOnce(path); }, oursOk);
    const double theirs = BestPass([&] { return TheirsOnce(path); }, theirsOk);
    std::printf("%-24s %-50s %9.2f %9.1f %9.1f %7.2f%s%s\n", s.decoder, s.archive, mb, mb / ours, mb / theirs,
                theirs / ours, oursOk ? "" : "  (ours FAILED)", theirsOk ? "" : "  (libarchive reported an error)");
    if (!oursOk) ourFailure = true;
    if (!theirsOk) {
      inProcess[s.decoder].peerFailed = true;
      continue;
    }
    Sum& sum = inProcess[s.decoder];
    sum.bytes += mb;
    sum.ours += ours;
    sum.theirs += theirs;
  }
  std::printf("\nPer decoder, in process (archives both read without an error):\n");
  std::printf("%-24s %9s %9s %9s %7s\n", "decoder", "MB", "ours MB/s", "libarch.", "ratio");
  for (const auto& [name, sum] : inProcess)
    std::printf("%-24s %9.2f %9.1f %9.1f %7.2f%s\n", name.c_str(), sum.bytes, sum.bytes / sum.ours,
                sum.bytes / sum.theirs, sum.theirs / sum.ours,
                sum.peerFailed ? "  (archives libarchive failed on left out)" : "");
#endif
  if (ourFailure) std::printf("\nWARNING: we failed on some archive; those times do not count.\n");
  return ourFailure ? 1 : 0;
}
