// Character-set conversions for names and comments stored in archives:
// code page 437 to UTF-8, and a UTF-8 check. The one table both engines use.
#pragma once

#include <string>

namespace arkelin::engine::common {

// Every byte from 0x80 up converts on its own; ASCII passes unchanged.
std::string Cp437ToUtf8(const std::string& raw);
// Valid UTF-8 (overlong forms, surrogates and values past U+10FFFF are not).
bool IsValidUtf8(const std::string& s);
// Keeps valid UTF-8 sequences; each byte that starts no valid sequence is
// taken as code page 437, so the result is always valid UTF-8.
std::string Utf8OrCp437(const std::string& raw);

}  // namespace arkelin::engine::common
