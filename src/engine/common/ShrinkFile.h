// Giving a large file's blocks back to the file system takes a while (about
// a tenth of a second for 500 MB). A file about to be removed is shortened
// from its end in steps instead, with a call between them, so the caller's
// window goes on repainting meanwhile.
#pragma once

#include <functional>

namespace arkelin::engine::common {

// Shortens the open file `fd` in 32 MB steps down to at most 32 MB, calling
// `between` after each step. Stops quietly at the first failure.
void ShrinkInSteps(int fd, const std::function<void()>& between);

}  // namespace arkelin::engine::common
