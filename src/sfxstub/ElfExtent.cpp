#include "sfxstub/ElfExtent.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace sfxstub {

bool ElfImageEnd(const arkelin::engine::zip::dll::ArchiveFile& file, uint64_t& end) {
  Elf64_Ehdr eh;
  if (!file.ReadAt(0, &eh, sizeof eh)) return false;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != ELFDATA2LSB)
    return false;
  const uint64_t size = file.Size();
  uint64_t last = sizeof eh;
  auto table = [&](uint64_t off, uint64_t count, uint64_t entSize) {
    if (count == 0) return true;
    if (off > size || count > size || entSize > size || count * entSize > size - off) return false;
    last = std::max(last, off + count * entSize);
    return true;
  };
  if (eh.e_phentsize != 0 && eh.e_phentsize != sizeof(Elf64_Phdr)) return false;
  if (eh.e_shentsize != 0 && eh.e_shentsize != sizeof(Elf64_Shdr)) return false;
  if (!table(eh.e_phoff, eh.e_phnum, sizeof(Elf64_Phdr)) || !table(eh.e_shoff, eh.e_shnum, sizeof(Elf64_Shdr)))
    return false;
  for (unsigned i = 0; i < eh.e_phnum; ++i) {
    Elf64_Phdr ph;
    if (!file.ReadAt(eh.e_phoff + i * sizeof ph, &ph, sizeof ph)) return false;
    if (!table(ph.p_offset, ph.p_filesz, 1)) return false;
  }
  for (unsigned i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!file.ReadAt(eh.e_shoff + i * sizeof sh, &sh, sizeof sh)) return false;
    if (sh.sh_type == SHT_NOBITS) continue;
    if (!table(sh.sh_offset, sh.sh_size, 1)) return false;
  }
  end = last;
  return true;
}

}  // namespace sfxstub
