// Arithmetic shared by the progress displays. Not installed.
#pragma once

#include <cstdint>

namespace progress_internal {

// The position after pos in low ... high, wrapping from high to low. A range
// with high < low has no room: the answer is low. Wide arithmetic: any 32-bit
// range works, INT_MIN ... INT_MAX included.
inline int NextPosition(int pos, int low, int high) {
  const int64_t span = int64_t{high} - low + 1;
  if (span <= 0) return low;
  int64_t offset = (int64_t{pos} - low + 1) % span;
  if (offset < 0) offset += span;
  return static_cast<int>(low + offset);
}

}  // namespace progress_internal
