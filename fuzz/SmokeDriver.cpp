// Runs a fuzz entry point without libFuzzer: every seed file given on the
// command line, then a fixed number of deterministic mutations of each
// (bit flips, byte changes, truncations, duplicated slices, random bytes).
// Built into the test suite, and meant to run under AddressSanitizer, so that
// "no input crashes, hangs or reads out of bounds" is checked on every run.
//
//   <driver> [--runs N] SEED...   (a folder seeds with every file in it)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Mutate(std::vector<uint8_t>& d, std::mt19937& rng) {
  const int kind = static_cast<int>(rng() % 6);
  if (d.empty()) {
    d.push_back(static_cast<uint8_t>(rng()));
    return;
  }
  const size_t pos = rng() % d.size();
  switch (kind) {
    case 0: d[pos] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
    case 1: d[pos] = static_cast<uint8_t>(rng()); break;
    case 2: d.resize(pos); break;
    case 3: {
      const size_t len = std::min<size_t>(d.size() - pos, 1 + rng() % 64);
      std::vector<uint8_t> slice(d.begin() + pos, d.begin() + pos + len);
      d.insert(d.begin() + rng() % d.size(), slice.begin(), slice.end());
      break;
    }
    case 4: {
      static const uint8_t kInteresting[] = {0x00, 0xff, 0x7f, 0x80, 0x01, 0xfe};
      for (int i = 0; i < 4 && pos + i < d.size(); ++i) d[pos + i] = kInteresting[rng() % 6];
      break;
    }
    default:
      for (int i = 0; i < 8; ++i) d.insert(d.begin() + pos, static_cast<uint8_t>(rng()));
      break;
  }
}
}  // namespace

int main(int argc, char** argv) {
  long runs = 200;
  std::vector<std::filesystem::path> seeds;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) seeds.push_back(e.path());
    } else {
      seeds.push_back(p);
    }
  }
  std::sort(seeds.begin(), seeds.end());
  std::mt19937 rng(12345);
  long total = 0;
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (const auto& s : seeds) {
    const auto base = ReadAll(s);
    LLVMFuzzerTestOneInput(base.data(), base.size());
    ++total;
    for (long r = 0; r < runs; ++r) {
      auto d = base;
      const int n = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < n; ++k) Mutate(d, rng);
      LLVMFuzzerTestOneInput(d.data(), d.size());
      ++total;
    }
  }
  std::printf("%ld inputs from %zu seeds ran without a fault\n", total, seeds.size());
  return seeds.empty() ? 1 : 0;
}
