// Name decoding. See RarNames.h.
#include "engine/rar/archive/RarNames.h"

#include <vector>

#include "engine/common/CodePage437.h"

namespace arkelin::engine::rar::archive {

void AppendUtf8(std::string& s, uint32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

int32_t NextUtf8(const std::string& s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return -1;
  }
  uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) {
    const auto d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (d & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
    ++i;
    return -1;
  }
  i += len;
  return static_cast<int32_t>(cp);
}

void Utf8ToWide(const std::string& s, wchar_t* out, size_t cap) {
  if (cap == 0) return;
  size_t n = 0;
  for (size_t i = 0; i < s.size() && n + 1 < cap;) {
    const int32_t cp = NextUtf8(s, i);
    out[n++] = static_cast<wchar_t>(cp < 0 ? 0xFFFD : cp);
  }
  out[n] = 0;
}

std::string WideToUtf8(const wchar_t* w, size_t maxChars) {
  std::string s;
  for (size_t i = 0; i < maxChars && w[i]; ++i) AppendUtf8(s, static_cast<uint32_t>(w[i]));
  return s;
}

std::string DecodeRar4Name(const uint8_t* p, size_t n, bool unicode) {
  size_t zero = 0;
  while (zero < n && p[zero]) ++zero;
  const std::string narrow(reinterpret_cast<const char*>(p), zero);
  // An 8-bit name is in the writer's OEM code page, which RAR does not
  // record: UTF-8 where it is valid, code page 437 otherwise.
  auto latin1OrUtf8 = [&]() { return common::Utf8OrCp437(narrow); };
  if (!unicode || zero + 1 >= n) return latin1OrUtf8();

  // 8-bit name, a zero, then the UTF-16 name compressed against it.
  const uint8_t* enc = p + zero + 1;
  const size_t encSize = n - zero - 1;
  const size_t maxUnits = 2048;
  std::vector<uint32_t> out;
  size_t pos = 0;
  const unsigned high = enc[pos++];
  unsigned flags = 0;
  int flagBits = 0;
  while (pos < encSize && out.size() < maxUnits) {
    if (flagBits == 0) {
      flags = enc[pos++];
      flagBits = 8;
    }
    flagBits -= 2;
    switch ((flags >> flagBits) & 3) {
      case 0:
        if (pos >= encSize) break;
        out.push_back(enc[pos++]);
        break;
      case 1:
        if (pos >= encSize) break;
        out.push_back(enc[pos++] + (high << 8));
        break;
      case 2:
        if (pos + 1 >= encSize) {
          pos = encSize;
          break;
        }
        out.push_back(enc[pos] + (enc[pos + 1] << 8));
        pos += 2;
        break;
      default: {
        if (pos >= encSize) break;
        unsigned len = enc[pos++];
        if (len & 0x80) {
          if (pos >= encSize) break;
          const unsigned correction = enc[pos++];
          for (len = (len & 0x7F) + 2; len > 0 && out.size() < zero && out.size() < maxUnits; --len)
            out.push_back(((p[out.size()] + correction) & 0xFF) + (high << 8));
        } else {
          for (len += 2; len > 0 && out.size() < zero && out.size() < maxUnits; --len) out.push_back(p[out.size()]);
        }
        break;
      }
    }
  }
  std::string s;
  for (size_t i = 0; i < out.size(); ++i) {
    uint32_t c = out[i];
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (out[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(s, c);
  }
  return s.empty() ? latin1OrUtf8() : s;
}

}  // namespace arkelin::engine::rar::archive
