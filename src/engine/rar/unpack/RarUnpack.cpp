// Unpacker::Create: picks the decoder for a format and checks the limits
// that every decoder of that format needs.
#include "engine/rar/unpack/RarUnpack.h"

#include "engine/rar/unpack/Decoders_p.h"

namespace arkelin::engine::rar::unpack {

std::unique_ptr<Unpacker> Unpacker::Create(Format format, const Limits& limits, std::string& error) {
  // The RAR 4 formats have fixed windows: 64 KiB, 1 MiB and 4 MiB.
  uint64_t fixedWindow = 0;
  switch (format) {
    case Format::Rar15: fixedWindow = uint64_t{64} << 10; break;
    case Format::Rar20: fixedWindow = uint64_t{1} << 20; break;
    case Format::Rar29: fixedWindow = uint64_t{4} << 20; break;
    case Format::Rar50:
    case Format::Rar70: break;
    default:
      error = "unknown compression format";
      return nullptr;
  }
  if (fixedWindow > limits.maxDictionary) {
    error = "the dictionary limit is below the " + std::to_string(fixedWindow >> 10) + " KiB this format needs";
    return nullptr;
  }
  error.clear();
  switch (format) {
    case Format::Rar15: return MakeRar15Unpacker(limits);
    case Format::Rar20: return MakeRar20Unpacker(limits);
    case Format::Rar29: return MakeRar29Unpacker(limits);
    case Format::Rar50: return MakeRar50Unpacker(limits, false);
    case Format::Rar70: return MakeRar50Unpacker(limits, true);
  }
  return nullptr;
}

}  // namespace arkelin::engine::rar::unpack
