// Raw deflate decoding from memory into memory, made for the many entries of
// a few hundred bytes that archives of small files hold. For such an entry
// the cost is in setting up the Huffman codes of its block, not in decoding
// its few symbols; the general decoders build lookup tables of 512 to 2,048
// entries per block whatever the block holds. Here a table is only as wide
// as the block's longest code (at most 9 bits for literals and lengths, 7 for
// distances); the rare longer codes are decoded bit by bit from the
// canonical code's counts.
//
// The stream rules are zlib's: more than 286 literal/length or 30 distance
// codes, an oversubscribed code, an incomplete one (except a single code of
// one bit, or no distance codes at all), a missing end-of-block code,
// symbols 286 and 287, distances 30 and 31, a distance before the start of
// the output, a stored block whose length check fails and block type 3 are
// all data errors. So is a stream that needs bytes past its end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkelin::engine::zip::dll {

enum class SmallInflateStatus {
  kOk,
  kTooLong,    // the stream holds more than `cap` bytes
  kDataError,  // not a valid deflate stream, or it ends early
};

// Bytes past `cap` the decoder may write (and leave undefined) while copying
// matches eight bytes at a time: `out` must have room for cap + this many.
constexpr size_t kSmallInflateSlack = 16;

// Decodes the stream in [in, in + inLen) into `out`; `produced` is the
// number of bytes it holds when the answer is kOk. Bytes after the final
// block are ignored.
SmallInflateStatus SmallInflate(const uint8_t* in, size_t inLen, uint8_t* out, size_t cap, size_t& produced);

}  // namespace arkelin::engine::zip::dll
