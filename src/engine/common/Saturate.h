// Totals of sizes an archive declares. Hostile Zip64 values reach 2^64 - 1,
// so a signed running total is kept from overflowing: it stops at the
// largest value instead.
#pragma once

#include <cstdint>
#include <limits>

namespace arkelin::engine::common {

inline int64_t AddClamped(int64_t total, uint64_t value) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  if (total < 0) return total;  // only sums of sizes are kept here
  if (value >= static_cast<uint64_t>(kMax - total)) return kMax;
  return total + static_cast<int64_t>(value);
}

}  // namespace arkelin::engine::common
