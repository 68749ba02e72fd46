// The standard-container peers' key of the library's case-insensitive string
// maps: MapHashKey as the hash and equality ignoring ASCII case, as the maps
// themselves compare. Included by the benchmarks that time such maps.
#pragma once

#include <cstddef>
#include <string>

#include "vdkit/core/hash_map.h"

struct NoCaseHash {
  size_t operator()(const std::string& s) const { return MapHashKey(s.c_str()); }
};

struct NoCaseEqual {
  bool operator()(const std::string& a, const std::string& b) const {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
};
