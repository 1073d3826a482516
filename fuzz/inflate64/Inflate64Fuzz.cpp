// Fuzz entry point for our Deflate64 decoder over raw streams: any crash,
// hang, read or write outside a buffer is a finding; data errors are
// expected. Output past 16 MiB stops the run (a few bytes can claim more).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/zip/dll/unz/Deflate64.h"

namespace dll = arkelin::engine::zip::dll;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t pos = 0;
  uint64_t out = 0;
  uint8_t sum = 0;
  const dll::Inflate64Read read = [&](uint8_t* buf, size_t n) -> int64_t {
    // Uneven pieces, so refills fall inside codes and stored blocks.
    n = std::min(n, std::min<size_t>(size - pos, 1 + (pos * 7) % 13));
    if (n == 0) return 0;  // the smoke driver's empty input has no buffer at all
    std::memcpy(buf, data + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  };
  const dll::Inflate64Write write = [&](const uint8_t* d, size_t n) {
    for (size_t i = 0; i < n; i += 4096) sum ^= d[i];
    out += n;
    return out < (16u << 20);
  };
  std::string detail;
  dll::Inflate64(read, write, detail);
  volatile uint8_t keep = sum;  // the output is read, so it must be readable
  (void)keep;
  return 0;
}
