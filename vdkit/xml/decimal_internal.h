// Decimal conversions shared by the library's text readers (CXmlVar,
// CStringArchive, the key profiles). Not installed; include only from vdkit's
// own sources.
#pragma once

#include <cstdint>
#include <limits>

namespace detail {

// atof of the text, bit for bit and errno alike, without strtod's cost for
// the plain decimals the library writes ("-12.5", "1e-07"). Floats are read
// as doubles and rounded, as atof's callers do: rounding the text straight
// to float can differ.
double ReadDouble(const char* text);

// A decimal integer as strtol reads it: leading white space, an optional
// sign, digits. The magnitude saturates; no digits read as 0.
struct Decimal {
  bool negative = false;
  uint64_t magnitude = 0;
};

inline Decimal ParseDecimal(const char* s) {
  Decimal d;
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  if (*s == '+' || *s == '-') d.negative = *s++ == '-';
  for (; *s >= '0' && *s <= '9'; ++s) {
    const unsigned digit = static_cast<unsigned>(*s - '0');
    if (d.magnitude > (UINT64_MAX - digit) / 10) {
      d.magnitude = UINT64_MAX;
    } else {
      d.magnitude = d.magnitude * 10 + digit;
    }
  }
  return d;
}

// Signed conversion that saturates at the bounds of T, as the framework
// platform's 32-bit atoi did; callers keep the low bits for narrower types.
template <class T>
T ToSigned(const char* s) {
  const Decimal d = ParseDecimal(s);
  const uint64_t limit = d.negative ? static_cast<uint64_t>(std::numeric_limits<T>::max()) + 1
                                    : static_cast<uint64_t>(std::numeric_limits<T>::max());
  const uint64_t m = d.magnitude > limit ? limit : d.magnitude;
  if (!d.negative) return static_cast<T>(m);
  return m == limit ? std::numeric_limits<T>::min() : static_cast<T>(-static_cast<T>(m));
}

// Unsigned conversion as strtoul: a negative text wraps ("-1" is the largest
// value); anything beyond the range saturates at the largest value.
template <class T>
T ToUnsigned(const char* s) {
  const Decimal d = ParseDecimal(s);
  if (d.magnitude > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  const T m = static_cast<T>(d.magnitude);
  return d.negative ? static_cast<T>(T(0) - m) : m;
}

}  // namespace detail
