// Where the stub's own ELF image ends inside its file: the largest end of
// the ELF header, the program and section header tables and every section
// and segment with bytes in the file. Whatever follows (the parameter block
// and the archive) was appended after the program was linked.
#pragma once

#include <cstdint>

#include "engine/zip/dll/common/ArchiveFile.h"

namespace sfxstub {

// False when the file is no 64-bit little-endian ELF or a table runs past
// the end of the file.
bool ElfImageEnd(const arkelin::engine::zip::dll::ArchiveFile& file, uint64_t& end);

}  // namespace sfxstub
