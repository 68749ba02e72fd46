// Encoders for the table file layout, written from the layout itself and independent of the
// library, shared by the golden-bytes tests of tables and table sets.
#pragma once

#include <string>
#include <vector>

#include "vdkit/platform/types.h"

namespace vdbtest {

using Bytes = std::vector<BYTE>;

inline void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

inline Bytes U32(DWORD v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
          static_cast<BYTE>(v >> 24)};
}

// A padded string: length P = text + terminator rounded up to 4 (0 for ""), then the text and
// zeros up to P.
inline Bytes Pad(const std::string& s) {
  if (s.empty()) return U32(0);
  const size_t p = (s.size() + 1 + 3) / 4 * 4;
  Bytes out = U32(static_cast<DWORD>(p));
  out.insert(out.end(), s.begin(), s.end());
  out.resize(out.size() + p - s.size(), 0);
  return out;
}

// A field with every member at its default but name, type and count.
inline Bytes Field(const std::string& name, BYTE type, DWORD count) {
  Bytes out = Pad("");         // alias
  Append(out, Pad(name));      // name
  out.push_back(type);         // type
  Append(out, U32(count));     // count
  for (int i = 0; i < 4; ++i)  // source, value, extra 1, extra 2
    Append(out, Pad(""));
  out.push_back(0);                       // edit
  out.push_back(0);                       // flag
  Append(out, Pad(""));                   // options
  Append(out, {0xC7, 0xCD, 0x4A, 0x0F});  // min: float null marker
  Append(out, {0xC7, 0xCD, 0x4A, 0x0F});  // max: float null marker
  return out;
}

}  // namespace vdbtest
