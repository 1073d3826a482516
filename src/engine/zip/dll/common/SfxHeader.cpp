#include "engine/zip/dll/common/SfxHeader.h"

#include <cstring>

namespace arkelin::engine::zip::dll {

bool BuildSfxHeader(const SfxHeader& h, uint8_t (&out)[kSfxHeaderSize]) {
  const size_t total = h.caption.size() + h.defaultDir.size() + h.commandLine.size();
  if (total > kSfxStringRoom) return false;
  std::memset(out, 0, sizeof out);
  out[0] = 'M';
  out[1] = 'P';
  out[2] = 'U';
  out[3] = h.options;
  out[4] = static_cast<uint8_t>(h.caption.size());
  out[5] = static_cast<uint8_t>(h.defaultDir.size());
  out[6] = static_cast<uint8_t>(h.commandLine.size());
  size_t at = 7;
  for (const std::string* s : {&h.caption, &h.defaultDir, &h.commandLine}) {
    if (!s->empty()) std::memcpy(out + at, s->data(), s->size());
    at += s->size();
  }
  return true;
}

bool ParseSfxHeader(const uint8_t* block, size_t size, SfxHeader& out) {
  if (size < kSfxHeaderSize || std::memcmp(block, "MPU", 3) != 0) return false;
  const size_t a = block[4], b = block[5], c = block[6];
  if (7 + a + b + c > kSfxHeaderSize) return false;
  const char* p = reinterpret_cast<const char*>(block) + 7;
  out.options = block[3];
  out.caption.assign(p, a);
  out.defaultDir.assign(p + a, b);
  out.commandLine.assign(p + a + b, c);
  return true;
}

}  // namespace arkelin::engine::zip::dll
