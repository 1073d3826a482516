// The conversion for programs that carry the directory reader without
// iconv (the statically linked self-extractor, which only reads names by
// the Auto rule): every code page is read as CP437. Not part of the
// libraries, which link NameEncoding.cpp.
#include "engine/common/CodePage437.h"
#include "engine/zip/dll/common/NameEncoding.h"

namespace arkelin::engine::zip::dll {

std::string CodePageToUtf8(const std::string& raw, NameEncoding) { return common::Cp437ToUtf8(raw); }

}  // namespace arkelin::engine::zip::dll
