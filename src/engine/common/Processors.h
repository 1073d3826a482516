// How many processors this process may run on (its affinity mask, not the
// machine's count), at least 1: what the engines size their threads by.
#pragma once

namespace arkelin::engine::common {

int UsableProcessors();

}  // namespace arkelin::engine::common
