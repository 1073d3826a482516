// The byte transforms RAR applies to ranges of decoded output: the x86 call
// (E8) and call/jump (E8E9) address conversion, ARM BL conversion, Itanium
// branch conversion, and the delta, RGB and audio predictors. RAR 2.9 runs
// them as recognised filter programs, RAR 5.0 names them directly; both use
// these functions. Each works on a complete block; `fileOffset` is the
// block's position from the first byte of the current file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arkelin::engine::rar::unpack {

// In place. `mod24`: RAR 5.0 reduces the operand position modulo 2^24.
void FilterE8(uint8_t* data, size_t size, uint32_t fileOffset, bool e9, bool mod24);
// In place, RAR 5.0 ARM BL instructions.
void FilterArm(uint8_t* data, size_t size, uint32_t fileOffset);
// In place, Itanium bundles.
void FilterItanium(uint8_t* data, size_t size, uint32_t fileOffset);
// in and out do not overlap; both hold size bytes. With no channels the
// output is all zeros.
void FilterDelta(const uint8_t* in, uint8_t* out, size_t size, unsigned channels);
// width = bytes per row (>= 3), posR = offset of red (0..2), size >= 3.
void FilterRgb(const uint8_t* in, uint8_t* out, size_t size, unsigned width, unsigned posR);
// RAR 2.9 audio filter (no channels: zeros, as the delta filter).
void FilterAudio(const uint8_t* in, uint8_t* out, size_t size, unsigned channels);

}  // namespace arkelin::engine::rar::unpack
