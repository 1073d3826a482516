// RAR decoder benchmark: every decoder over the fixture entries that hold
// real data, timed on the packed bytes in memory (no file or header work),
// and libarchive (the library behind bsdtar) reading the same entry from the
// archive file in the same run. Each measurement runs in its own child
// process, so the peak resident memory printed is that decoder's alone.
// One thread on both sides. Prints MB/s of unpacked data (best run of
// several) and the ratio ours/libarchive (above 1 = we are faster).
//
//   bench_rar_unpack [SECONDS_PER_MEASUREMENT]
#include <archive.h>
#include <archive_entry.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FixtureEntries.h"
#include "engine/common/Crc32.h"
#include "engine/rar/unpack/RarUnpack.h"

using namespace arkelin::engine::rar::unpack;
using test::FixtureEntry;

namespace {

struct Sample {
  const char* decoder;
  const char* archive;
  const char* entry;  // decoded after every earlier entry of its solid group
};

const Sample kSamples[] = {
    {"RAR 5.0 LZ + ARM/DELTA", "la-test_read_format_rar5_arm.rar", "elf-Linux-ARMv7-ls"},
    {"RAR 5.0 LZ", "la-test_read_format_rar5_win32.rar", "test1.bin"},
    {"RAR 2.9 LZ", "la-test_read_format_rar_compress_normal.rar", "LibarchiveAddingTest.html"},
    {"RAR 2.9 LZ (incompressible)", "la-test_read_format_rar_binary_data.rar", "random_data.bin"},
    {"RAR 2.9 LZ", "la-test_read_format_rar_binary_data.rar", "LibarchiveAddingTest.odt"},
    {"RAR 2.9 LZ, 20 MB", "la-test_read_format_rar_multi_lzss_blocks.rar", "multi_lzss_blocks_test.txt"},
    {"RAR 2.9 LZ + E8E9/DELTA", "la-test_read_format_rar_filter.rar", "bsdcat.exe"},
    {"RAR 2.9 PPMd", "la-test_read_format_rar_compress_best.rar", "LibarchiveAddingTest.html"},
    {"RAR 2.9 PPMd/LZ, 241 MB", "la-test_read_format_rar_ppmd_lzss_conversion.rar", "ppmd_lzss_conversion_test.txt"},
};

class MemSource : public PackedSource {
 public:
  explicit MemSource(const std::vector<uint8_t>& d) : d_(d) {}
  std::ptrdiff_t Read(uint8_t* buf, size_t n) override {
    n = std::min(n, d_.size() - at_);
    std::memcpy(buf, d_.data() + at_, n);
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const std::vector<uint8_t>& d_;
  size_t at_ = 0;
};

class CrcSink : public UnpackedSink {
 public:
  bool Write(const uint8_t* data, size_t n) override {
    crc = arkelin::engine::common::Crc32(crc, data, n);
    return true;
  }
  uint32_t crc = 0;
};

class DropSink : public UnpackedSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Measured {
  bool ok = false;
  double mbps = 0;
  long peakKiB = 0;
};

// Runs `job` (answers seconds for one pass, or < 0 on failure) in a child
// until `seconds` have passed; answers the best pass and the child's peak
// memory. The pass rate travels back through a pipe.
template <typename Job>
Measured InChild(double seconds, uint64_t bytes, Job job) {
  int fd[2];
  if (pipe(fd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    double best = 1e30;
    const double until = Now() + seconds;
    int runs = 0;
    while (runs < 2 || (Now() < until && runs < 1000)) {
      const double t = job();
      if (t < 0) {
        best = -1;
        break;
      }
      best = std::min(best, t);
      ++runs;
    }
    if (write(fd[1], &best, sizeof best) != sizeof best) _exit(1);
    _exit(0);
  }
  close(fd[1]);
  double best = -1;
  const bool got = read(fd[0], &best, sizeof best) == sizeof best;
  close(fd[0]);
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  Measured m;
  m.ok = got && best > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (m.ok) m.mbps = static_cast<double>(bytes) / best / 1e6;
  m.peakKiB = ru.ru_maxrss;
  return m;
}

// One pass of ours: the whole solid group up to and including the entry.
double OursOnce(const std::vector<FixtureEntry>& entries, size_t target, uint32_t& crc) {
  std::string error;
  auto d = Unpacker::Create(entries[target].format, Limits{}, error);
  if (!d) return -1;
  size_t first = target;
  while (first > 0 && entries[first].solid) --first;
  const double t0 = Now();
  for (size_t i = first; i <= target; ++i) {
    const auto& e = entries[i];
    if (e.directory || e.stored) continue;
    MemSource src(e.packed);
    EntryParams p;
    p.unpackedSize = e.unpackedSize;
    p.solid = e.solid;
    p.dictionarySize = e.dictionarySize;
    CrcSink crcSink;
    DropSink drop;
    const Result r = d->Unpack(src, p, i == target ? static_cast<UnpackedSink&>(crcSink) : drop);
    if (r.status != Status::Ok) return -1;
    if (i == target) crc = crcSink.crc;
  }
  return Now() - t0;
}

// One pass of libarchive: open the archive, skip to the entry, read it.
double PeerOnce(const std::string& path, const std::string& name) {
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  const double t0 = Now();
  double result = -1;
  if (archive_read_open_filename(a, path.c_str(), 1 << 16) == ARCHIVE_OK) {
    archive_entry* e;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
      const char* n = archive_entry_pathname(e);
      if (n != nullptr && name == n) {
        static std::vector<char> buf(1 << 20);
        la_ssize_t got;
        while ((got = archive_read_data(a, buf.data(), buf.size())) > 0) {
        }
        if (got == 0) result = Now() - t0;
        break;
      }
      archive_read_data_skip(a);
    }
  }
  archive_read_free(a);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  std::printf("%-28s %-44s %9s %10s %10s %8s %9s %9s\n", "decoder", "entry", "MB", "ours MB/s", "libarch.", "ratio",
              "ours RSS", "peer RSS");
  for (const Sample& s : kSamples) {
    const std::string path = test::FixturePath(s.archive);
    const auto entries = test::ReadFixture(path).entries;
    size_t target = entries.size();
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].name == s.entry) target = i;
    if (target == entries.size()) {
      std::printf("%-28s %-44s missing\n", s.decoder, s.entry);
      continue;
    }
    const FixtureEntry& e = entries[target];
    uint32_t crc = 0;
    if (OursOnce(entries, target, crc) < 0 || crc != e.crc) {
      std::printf("%-28s %-44s our decoder FAILED\n", s.decoder, s.entry);
      continue;
    }
    const Measured ours = InChild(seconds, e.unpackedSize, [&] {
      uint32_t c;
      return OursOnce(entries, target, c);
    });
    const Measured peer = InChild(seconds, e.unpackedSize, [&] { return PeerOnce(path, s.entry); });
    char peerText[32] = "fails", ratio[32] = "-";
    if (peer.ok) {
      std::snprintf(peerText, sizeof peerText, "%.1f", peer.mbps);
      std::snprintf(ratio, sizeof ratio, "%.2f", ours.mbps / peer.mbps);
    }
    std::printf("%-28s %-44s %9.1f %10.1f %10s %8s %7.1fM %7.1fM\n", s.decoder, s.entry, e.unpackedSize / 1e6,
                ours.mbps, peerText, ratio, ours.peakKiB / 1024.0, peer.peakKiB / 1024.0);
  }
  std::printf("threads: 1 (ours), 1 (libarchive); ratio = ours / libarchive speed\n");
  std::printf("RAR 1.5 and 2.0: the fixtures hold only a few bytes of each, too little to time.\n");
  return 0;
}
