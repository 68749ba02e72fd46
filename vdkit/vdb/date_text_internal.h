// Reading dates from the table database's texts. Internal to vdkit/vdb.
#pragma once

#include <cstdlib>
#include <cstring>

#include "vdkit/core/date.h"

namespace detail {

// StringToDate(text, SDateTime*) over the first `limit` characters (any
// number): digit runs give year, month, day (no correction, no check) and the
// fourth run the fraction's digits; fewer than two runs give a zero date.
inline SDateTime ParseDateText(const char* text, size_t limit) {
  SDateTime dt{};
  long long values[3] = {0, 0, 0};
  int runs = 0;
  const char* p = text ? text : "";
  const char* end = p + strnlen(p, limit);
  while (p < end) {
    if (*p < '0' || *p > '9') {
      ++p;
      continue;
    }
    if (runs == 3) {
      char fraction[64] = "0.";
      size_t n = 2;
      for (; p < end && *p >= '0' && *p <= '9'; ++p)
        if (n < sizeof fraction - 1) fraction[n++] = *p;
      fraction[n] = '\0';
      dt.fraction = static_cast<float>(std::atof(fraction));
      break;
    }
    long long v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
      if (v < 100000000000LL) v = v * 10 + (*p - '0');
    values[runs++] = v;
  }
  if (runs < 2) return SDateTime{};
  dt.date.year = static_cast<WORD>(values[0]);
  dt.date.month = static_cast<BYTE>(values[1]);
  dt.date.day = static_cast<BYTE>(values[2]);
  return dt;
}

}  // namespace detail
