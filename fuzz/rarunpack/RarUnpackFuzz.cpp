// Fuzz entry point for the RAR decoders. Built once per decoder family
// (RARUNPACK_FAMILY 15: RAR 1.5 and 2.0; 29: RAR 2.9 with PPMd and filters;
// 50: RAR 5.0 and 7.0). The input is
//
//   byte 0      bit 0 picks the family's second format (2.0, 7.0), bit 1
//               makes two entries of one solid stream, bit 2 declares the
//               size unknown (RAR 5)
//   bytes 1-4   first entry's unpacked size, little-endian (cut to 1 MiB)
//   byte 5      RAR 5 dictionary: 128 KiB << (byte & 7)
//   bytes 6-7   with bit 1: the first entry's packed length
//   bytes 8-11  with bit 1: the second entry's unpacked size
//   rest        packed data
//
// Any crash, hang, read outside a buffer or output beyond the declared size
// is a finding; errors are expected.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/rar/unpack/RarUnpack.h"

namespace {

using namespace arkelin::engine::rar::unpack;

class Source : public PackedSource {
 public:
  Source(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  std::ptrdiff_t Read(uint8_t* buf, size_t n) override {
    // Odd short reads, as volume boundaries give.
    n = n < n_ - at_ ? n : n_ - at_;
    if (n > 1021) n = 1021;
    for (size_t i = 0; i < n; ++i) buf[i] = d_[at_ + i];
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t at_ = 0;
};

class Sink : public UnpackedSink {
 public:
  bool Write(const uint8_t* data, size_t n) override {
    total += n;
    for (size_t i = 0; i < n; i += 4096) check ^= data[i];
    return true;
  }
  uint64_t total = 0;
  uint8_t check = 0;
};

Format Pick(unsigned second) {
#if RARUNPACK_FAMILY == 15
  return second ? Format::Rar20 : Format::Rar15;
#elif RARUNPACK_FAMILY == 29
  (void)second;
  return Format::Rar29;
#else
  return second ? Format::Rar70 : Format::Rar50;
#endif
}

}  // namespace

uint64_t Size32(const uint8_t* p) {
  const uint64_t v = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint64_t>(p[3]) << 24;
  return v > (1u << 20) ? 1u << 20 : v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 12;
  if (size < kHeader) return 0;
  const unsigned flags = data[0];
  const bool two = (flags & 2) != 0;
  Limits limits;
  limits.maxDictionary = uint64_t{16} << 20;
  limits.maxPpmdMemory = uint64_t{16} << 20;
  std::string error;
  auto unpacker = Unpacker::Create(Pick(flags & 1), limits, error);
  if (!unpacker) std::abort();
  const uint8_t* packed = data + kHeader;
  const size_t n = size - kHeader;
  size_t first = two ? static_cast<size_t>(data[6] | data[7] << 8) : n;
  if (first > n) first = n;
  EntryParams entry;
  entry.unknownSize = (flags & 4) != 0;
  entry.dictionarySize = (uint64_t{128} << 10) << (data[5] & 7);
  for (int part = 0; part < (two ? 2 : 1); ++part) {
    Source src(part == 0 ? packed : packed + first, part == 0 ? first : n - first);
    Sink sink;
    entry.solid = part == 1;
    entry.unpackedSize = Size32(data + (part == 0 ? 1 : 8));
    const Result r = unpacker->Unpack(src, entry, sink);
    if (sink.total != r.written) std::abort();
    if (!entry.unknownSize && r.written > entry.unpackedSize) std::abort();
    if (r.status == Status::Ok && !entry.unknownSize && r.written != entry.unpackedSize) std::abort();
  }
  return 0;
}
