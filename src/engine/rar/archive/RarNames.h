// Entry names: the RAR 4 name field (8-bit, UTF-8, or 8-bit plus the
// compressed UTF-16 form) to UTF-8, and UTF-8 to the wide characters of the
// UnRAR interface (UTF-32 on Linux) without depending on the C locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace arkelin::engine::rar::archive {

// The FILE_NAME field of a RAR 4 file header. `unicode` is file flag 0x0200.
// An 8-bit name that is not valid UTF-8 is read as code page 437.
std::string DecodeRar4Name(const uint8_t* p, size_t n, bool unicode);

// The code point of the UTF-8 sequence at s[i], advancing i; -1 (and one
// byte consumed) when the bytes there are not a valid, shortest-form one.
int32_t NextUtf8(const std::string& s, size_t& i);
void AppendUtf8(std::string& s, uint32_t codePoint);
// UTF-8 to wchar_t, at most `cap` - 1 characters, zero-terminated. Invalid
// bytes become U+FFFD.
void Utf8ToWide(const std::string& s, wchar_t* out, size_t cap);
// wchar_t (UTF-32) to UTF-8.
std::string WideToUtf8(const wchar_t* w, size_t maxChars);

}  // namespace arkelin::engine::rar::archive
