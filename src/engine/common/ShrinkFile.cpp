#include "engine/common/ShrinkFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace arkelin::engine::common {

void ShrinkInSteps(int fd, const std::function<void()>& between) {
  constexpr off_t kStep = 32 * 1024 * 1024;
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return;
  for (off_t size = st.st_size; size > kStep;) {
    size -= kStep;
    if (::ftruncate(fd, size) != 0) return;
    if (between) between();
  }
}

}  // namespace arkelin::engine::common
