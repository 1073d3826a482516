// Fuzz entry point for the in-memory deflate decoder. The first two bytes
// give the room for the output (little-endian), the rest is a raw deflate
// stream. Besides crashes and reads or writes outside a buffer, a finding is
// any disagreement with zlib: a stream one of them takes and the other
// refuses, or different bytes.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/zip/dll/unz/SmallInflate.h"

namespace dll = arkelin::engine::zip::dll;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t cap = data[0] | (data[1] << 8);
  const uint8_t* in = data + 2;
  const size_t inLen = size - 2;
  std::vector<uint8_t> ours(cap + dll::kSmallInflateSlack), theirs(cap + 1);
  size_t produced = 0;
  const dll::SmallInflateStatus s = dll::SmallInflate(in, inLen, ours.data(), cap, produced);

  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return 0;
  z.next_in = const_cast<uint8_t*>(in);
  z.avail_in = static_cast<uInt>(inLen);
  z.next_out = theirs.data();
  z.avail_out = static_cast<uInt>(cap);
  const int r = inflate(&z, Z_FINISH);
  const size_t got = cap - z.avail_out;
  inflateEnd(&z);

  const bool zlibOk = r == Z_STREAM_END;
  if ((s == dll::SmallInflateStatus::kOk) != zlibOk) std::abort();
  if (zlibOk && (produced != got || std::memcmp(ours.data(), theirs.data(), got) != 0)) std::abort();
  return 0;
}
