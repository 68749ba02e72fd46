// Texts of the table database's XML forms. Internal to vdkit/vdb.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vdkit/platform/cstring.h"

namespace detail {

// Appends `text` with the characters that would end or break the XML it
// stands in replaced by entities: & < > always, the quote marks in attribute
// values, and control characters (which the parser trims or normalises) as
// character references. Ordinary texts come out unchanged.
inline void AppendXmlEscaped(CString& out, const char* text, bool attribute) {
  for (const char* p = text; p && *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\'':
        if (attribute)
          out += "&apos;";
        else
          out += '\'';
        break;
      case '"':
        if (attribute)
          out += "&quot;";
        else
          out += '"';
        break;
      default:
        if (c < 0x20)
          out.AppendFormat("&#%d;", c);
        else
          out += static_cast<char>(c);
        break;
    }
  }
}

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
