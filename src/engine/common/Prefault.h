// Large fresh buffers about to be filled: the directory of an archive of
// 100,000 entries takes about 30 MB of entry records, and faulting its pages
// in one by one while they are written was a third of the time of listing
// it.
#pragma once

#include <cstddef>

namespace arkelin::engine::common {

// Asks the kernel to provide the whole pages of [p, p + bytes) now, in one
// call, when they are at least 1 MiB. Only a hint: where the kernel does not
// offer it (before 5.14) the pages come one fault at a time as before.
void PrefaultPages(void* p, size_t bytes);

}  // namespace arkelin::engine::common
