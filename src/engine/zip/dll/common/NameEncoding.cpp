// Code page labels and the conversion through iconv, with one converter per
// code page and thread kept open.
#include "engine/zip/dll/common/NameEncoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <memory>

#include "engine/common/CodePage437.h"

namespace arkelin::engine::zip::dll {

namespace {

struct Page {
  const char* label;
  const char* iconvName;
};
constexpr Page kPages[kNameEncodingCount] = {
    {"Auto", nullptr},          {"CP437", "CP437"},       {"CP850", "CP850"},   {"CP852", "CP852"},
    {"CP866", "CP866"},         {"CP1250", "CP1250"},     {"CP1251", "CP1251"}, {"CP1252", "CP1252"},
    {"Shift-JIS", "SHIFT_JIS"}, {"GBK", "GBK"},           {"Big5", "BIG5"},     {"EUC-KR", "EUC-KR"},
    {"KOI8-R", "KOI8-R"},
};

std::string Squeezed(std::string_view s) {
  std::string r;
  for (char c : s)
    if (c != '-' && c != '_') r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

struct Converters {
  iconv_t cd[kNameEncodingCount];
  Converters() {
    for (auto& c : cd) c = reinterpret_cast<iconv_t>(-1);
  }
  ~Converters() {
    for (auto& c : cd)
      if (c != reinterpret_cast<iconv_t>(-1)) iconv_close(c);
  }
  iconv_t Get(NameEncoding e) {
    const int i = static_cast<int>(e);
    if (cd[i] == reinterpret_cast<iconv_t>(-1) && kPages[i].iconvName) cd[i] = iconv_open("UTF-8", kPages[i].iconvName);
    return cd[i];
  }
};

}  // namespace

const char* NameEncodingLabel(NameEncoding e) {
  const int i = static_cast<int>(e);
  return i >= 0 && i < kNameEncodingCount ? kPages[i].label : "Auto";
}

bool ParseNameEncoding(std::string_view text, NameEncoding& out) {
  const std::string want = Squeezed(text);
  for (int i = 0; i < kNameEncodingCount; ++i) {
    if (Squeezed(kPages[i].label) == want || (kPages[i].iconvName && Squeezed(kPages[i].iconvName) == want)) {
      out = static_cast<NameEncoding>(i);
      return true;
    }
  }
  return false;
}

std::string CodePageToUtf8(const std::string& raw, NameEncoding e) {
  if (e == NameEncoding::kAuto || e == NameEncoding::kCp437) return common::Cp437ToUtf8(raw);
  thread_local Converters converters;
  iconv_t cd = converters.Get(e);
  if (cd == reinterpret_cast<iconv_t>(-1)) return common::Utf8OrCp437(raw);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  out.reserve(raw.size() * 2);
  char buf[1024];
  char* in = const_cast<char*>(raw.data());
  size_t inLeft = raw.size();
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // A sequence the code page does not map (or one cut at the end): that
    // byte as CP437, then on from the next one.
    out += common::Cp437ToUtf8(std::string(1, *in));
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Whatever iconv makes of the bytes, the reader's names stay valid UTF-8.
  return common::IsValidUtf8(out) ? out : common::Utf8OrCp437(out);
}

}  // namespace arkelin::engine::zip::dll
