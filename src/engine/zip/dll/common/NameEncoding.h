// The code pages an archive's names can be read in, when the writer left
// no UTF-8 flag and no Unicode path field: their labels (the captions of
// the window's "Name encoding" menu and the values of arkzip --names), and
// the conversion to UTF-8 through iconv.
//
// A choice travels with the directory reader's CodePageRule: the rule
// keeps its value in the low byte and the chosen NameEncoding sits in the
// second byte (WithEncoding), so the engine libraries receive it in the
// command record's code page field and read the same names the component
// listed. 0 there is Auto with the plain rule, as before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace arkelin::engine::zip::dll {

enum class CodePageRule : int32_t;

enum class NameEncoding : int32_t {
  kAuto = 0,
  kCp437,
  kCp850,
  kCp852,
  kCp866,
  kCp1250,
  kCp1251,
  kCp1252,
  kShiftJis,
  kGbk,
  kBig5,
  kEucKr,
  kKoi8R,
};
inline constexpr int kNameEncodingCount = 13;

// "Auto", "CP437", ..., "Shift-JIS", "GBK", "Big5", "EUC-KR", "KOI8-R".
const char* NameEncodingLabel(NameEncoding e);
// A label, compared without regard to case, "-" and "_" ("shift_jis",
// "cp866", "koi8r" are taken); false for anything else.
bool ParseNameEncoding(std::string_view text, NameEncoding& out);

inline CodePageRule WithEncoding(CodePageRule rule, NameEncoding e) {
  return static_cast<CodePageRule>((static_cast<int32_t>(rule) & 0xFF) | (static_cast<int32_t>(e) << 8));
}
inline NameEncoding EncodingOf(CodePageRule rule) {
  const int32_t e = (static_cast<int32_t>(rule) >> 8) & 0xFF;
  return e < kNameEncodingCount ? static_cast<NameEncoding>(e) : NameEncoding::kAuto;
}
inline CodePageRule BaseRule(CodePageRule rule) { return static_cast<CodePageRule>(static_cast<int32_t>(rule) & 0xFF); }
// Whether a code page field's value is one a reader understands.
inline bool ValidRuleValue(int32_t v) { return v >= 0 && (v & 0xFF) <= 2 && (v >> 8) < kNameEncodingCount; }

// Bytes in code page `e` to UTF-8. The result is always valid UTF-8: a byte
// sequence the code page does not map is taken byte by byte as CP437.
std::string CodePageToUtf8(const std::string& raw, NameEncoding e);

}  // namespace arkelin::engine::zip::dll
