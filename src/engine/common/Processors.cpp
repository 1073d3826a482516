#include "engine/common/Processors.h"

#include <sched.h>

namespace arkelin::engine::common {

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
  return n < 1 ? 1 : n;
}

}  // namespace arkelin::engine::common
