#include "engine/common/Prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace arkelin::engine::common {

void PrefaultPages(void* p, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  constexpr size_t kFrom = 1 << 20;
  if (!p || bytes < kFrom) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

}  // namespace arkelin::engine::common
