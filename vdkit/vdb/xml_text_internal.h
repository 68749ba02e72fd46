// Texts of the table database's XML forms. Internal to vdkit/vdb.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vdkit/platform/cstring.h"
#include "vdkit/xml/escape_internal.h"

namespace detail {

// The shortest "%.Ng" text, N from 6 up, that atof reads back to exactly
// `v`; "%g" alone loses digits beyond the sixth.
inline CString DoubleText(double v) {
  char buf[40];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    const double back = std::atof(buf);
    if (std::memcmp(&back, &v, sizeof v) == 0) break;
  }
  return CString(buf);
}

// The same for a float, read back as atof's double rounded to float.
inline CString FloatText(float v) {
  char buf[40];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
    const float back = static_cast<float>(std::atof(buf));
    if (std::memcmp(&back, &v, sizeof v) == 0) return CString(buf);
  }
  std::snprintf(buf, sizeof buf, "%.17g", static_cast<double>(v));
  return CString(buf);
}

}  // namespace detail
