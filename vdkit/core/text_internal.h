// Byte helpers shared by vdkit's own sources (text, wildcards, maps, the
// readers of names). Not installed; include vdkit/core/text.h or
// vdkit/core/wildcard.h instead.
#pragma once

#include <cstring>

namespace detail {

// Folds the ASCII letters a-z onto A-Z and leaves every other byte alone, so
// bytes 128-255 never change whatever the process locale.
inline unsigned char FoldAscii(unsigned char c) {
  return static_cast<unsigned char>(static_cast<unsigned>(c - 'a') < 26u ? c - ('a' - 'A') : c);
}

// One byte of MapHashKey (h = h * 33 + c over the key): the byte as a signed
// char widened to int, only 'a'..'z' changed to upper case. Callers that
// continue a hash over more text step it themselves.
inline unsigned MapHashStep(unsigned h, char c) {
  int v = static_cast<signed char>(c);
  if (v >= 'a' && v <= 'z') v -= 'a' - 'A';
  return h * 33 + static_cast<unsigned>(v);
}

// Whether two texts are equal ignoring the case of ASCII letters; a null
// text counts as the empty one.
inline bool EqualNoCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
  for (;; ++x, ++y) {
    if (*x != *y && FoldAscii(*x) != FoldAscii(*y)) return false;
    if (*x == 0) return true;
  }
}

// Whether the first n bytes of a and b are equal ignoring the case of ASCII
// letters; a text shorter than n differs at its terminator, where the
// comparison stops.
inline bool EqualNoCaseN(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y && FoldAscii(x) != FoldAscii(y)) return false;
    if (x == 0) return true;
  }
  return true;
}

// A set of byte values, one bit each: the delimiter and trimming sets.
class ByteMap {
 public:
  // The bytes of `set` (null: none) and NUL, which ends every scan.
  explicit ByteMap(const char* set) { Assign(set); }
  ByteMap() = default;

  void Assign(const char* set) {
    std::memset(m_bits, 0, sizeof m_bits);
    m_bits[0] = 1;  // NUL
    if (set) {
      for (const unsigned char* p = reinterpret_cast<const unsigned char*>(set); *p; ++p) Add(*p);
    }
  }
  void Add(unsigned char c) { m_bits[c >> 3] |= static_cast<unsigned char>(1u << (c & 7)); }
  bool Has(unsigned char c) const { return (m_bits[c >> 3] >> (c & 7)) & 1; }

 private:
  unsigned char m_bits[32]{};
};

}  // namespace detail
