#include "vdkit/platform/types.h"

#include <cstdint>

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t num = static_cast<int64_t>(a) * b;
  int64_t den = c;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  const int64_t half = den / 2;
  const int64_t q = num >= 0 ? (num + half) / den : (num - half) / den;
  if (q > 2147483647LL || q < -2147483647LL) return -1;
  return static_cast<int>(q);
}
