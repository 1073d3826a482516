// UTF-8 one code point at a time: appending one, and reading the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace arkelin::engine::common {

// Appends code point c as UTF-8; surrogates and values past U+10FFFF
// become U+FFFD.
void AppendUtf8(std::string& out, uint32_t c);

// The code point that starts at s[i], moving i past it. A byte that starts
// no valid sequence (a stray continuation, a cut sequence, an overlong
// form, a surrogate, a value past U+10FFFF) gives U+FFFD and moves i by one.
uint32_t NextUtf8(const std::string& s, size_t& i);

}  // namespace arkelin::engine::common
