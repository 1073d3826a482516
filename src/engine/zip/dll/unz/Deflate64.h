// Our decoder of Deflate64 (ZIP method 9), the enhanced deflate some
// writers choose for large files: the deflate block structure with a
// 64 KiB window, length code 285 carrying 16 extra bits (lengths 3 to
// 65538) and distance codes 30 and 31 (distances up to 65536).
//
// Input is pulled through `read` in chunks and output pushed through
// `write` in pieces of at most 256 KiB; memory is a fixed 400 KiB or so,
// whatever the entry's size. Damaged data (bad block type, oversubscribed
// or incomplete codes, a code that names no symbol, a distance before the
// start of the output, data ending inside a block) is reported, never
// guessed around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace arkelin::engine::zip::dll {

enum class Inflate64Status {
  kOk,         // the final block ended
  kStopped,    // `write` answered false
  kReadError,  // `read` answered -1
  kDataError,  // damaged data; `detail` says how
};

// `read` answers up to n bytes, 0 at the end, -1 on a read error.
using Inflate64Read = std::function<int64_t(uint8_t* buf, size_t n)>;
// `write` answers false to stop.
using Inflate64Write = std::function<bool(const uint8_t* data, size_t n)>;

Inflate64Status Inflate64(const Inflate64Read& read, const Inflate64Write& write, std::string& detail);

}  // namespace arkelin::engine::zip::dll
