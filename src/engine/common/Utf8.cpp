#include "engine/common/Utf8.h"

namespace arkelin::engine::common {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

uint32_t NextUtf8(const std::string& s, size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
  bool ok = len > 0 && i + static_cast<size_t>(len) <= s.size();
  for (int k = 1; ok && k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((c >> 6) != 2) ok = false;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (ok && (cp < kSmallest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
  if (!ok) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(len);
  return cp;
}

}  // namespace arkelin::engine::common
