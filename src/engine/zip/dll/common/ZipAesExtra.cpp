// The AES extra field's parser, apart from the cipher code: the directory
// reader needs it, and so does the self-extractor stub, which is linked
// statically without the crypto library.
#include "engine/common/LittleEndian.h"
#include "engine/zip/dll/common/ZipAes.h"

namespace arkelin::engine::zip::dll {

bool ParseAesExtra(const uint8_t* d, size_t n, AesExtra& out) {
  if (n < 7 || d[2] != 'A' || d[3] != 'E') return false;
  out.version = common::Le16(d);
  out.strength = d[4];
  out.method = common::Le16(d + 5);
  return true;
}

}  // namespace arkelin::engine::zip::dll
