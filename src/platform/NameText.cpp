#include "platform/NameText.h"

#include <cstdint>

namespace arkelin::platform {

namespace {

// The length of the valid UTF-8 sequence at s[i], 0 when there is none
// (overlong forms, surrogates and values above U+10FFFF are invalid).
int ValidSequence(std::string_view s, size_t i, char32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  int n = 0;
  char32_t min = 0;
  if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F, min = 0x80;
  else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F, min = 0x800;
  else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07, min = 0x10000;
  else return 0;
  if (i + static_cast<size_t>(n) > s.size()) return 0;
  for (int k = 1; k < n; ++k) {
    const uint8_t d = b(i + static_cast<size_t>(k));
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

void PutUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != prefix[i]) return false;
  }
  return true;
}

}  // namespace

QString NameToText(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const int n = ValidSequence(bytes, i, cp);
    if (n == 0) {
      out += QChar(static_cast<char16_t>(0xDC00 + static_cast<uint8_t>(bytes[i])));
      ++i;
      continue;
    }
    if (cp < 0x10000) {
      out += QChar(static_cast<char16_t>(cp));
    } else {
      out += QChar(QChar::highSurrogate(cp));
      out += QChar(QChar::lowSurrogate(cp));
    }
    i += static_cast<size_t>(n);
  }
  return out;
}

std::string TextToName(QStringView text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      PutUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
      ++i;
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      out += static_cast<char>(u - 0xDC00);  // a byte kept by NameToText
    } else if (QChar::isSurrogate(u)) {
      PutUtf8(out, 0xFFFD);
    } else {
      PutUtf8(out, u);
    }
  }
  return out;
}

std::string LocalPathOfUri(std::string_view uri) {
  while (!uri.empty() && (uri.back() == '\r' || uri.back() == '\n' || uri.back() == ' ')) uri.remove_suffix(1);
  if (!StartsWithNoCase(uri, "file://")) return {};
  std::string_view rest = uri.substr(7);
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {};
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) return {};
  rest = rest.substr(slash);
  // A query or fragment is no part of a file name.
  const size_t end = rest.find_first_of("?#");
  if (end != std::string_view::npos) rest = rest.substr(0, end);
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 && HexValue(rest[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
      i += 2;
    } else {
      out += rest[i];
    }
  }
  // A NUL cannot be part of a file name.
  if (out.find('\0') != std::string::npos) return {};
  return out;
}

std::string FileUriOf(std::string_view path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out = "file://";
  for (char ch : path) {
    const auto c = static_cast<uint8_t>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace arkelin::platform
