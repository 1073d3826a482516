// Stands in for the RAR decompressors in a build that does not have them
// (src/engine/rar/unpack/ brings the real ones): every compressed entry is
// reported as unsupported with this text, stored entries still work.
#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack {

std::unique_ptr<Unpacker> Unpacker::Create(Format, const Limits&, std::string& error) {
  error = "RAR decompression is not available yet in this build";
  return nullptr;
}

}  // namespace arkelin::engine::rar::unpack
