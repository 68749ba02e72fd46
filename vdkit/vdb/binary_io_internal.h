// Little-endian items of the table database's binary forms, over a CFile.
// Internal to vdkit/vdb; not installed.
#pragma once

#include <cstring>

#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

namespace detail {

inline void WriteU8(CFile& f, BYTE v) {
  f.Write(&v, 1);
}

inline void WriteU32(CFile& f, DWORD v) {
  const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                     static_cast<BYTE>(v >> 24)};
  f.Write(b, 4);
}

inline void WriteF32(CFile& f, float v) {
  DWORD bits;
  std::memcpy(&bits, &v, 4);
  WriteU32(f, bits);
}

// Each reader returns false, leaving `v` alone, when the file ends first.
inline bool ReadU8(CFile& f, BYTE& v) {
  return f.Read(&v, 1) == 1;
}

inline bool ReadU32(CFile& f, DWORD& v) {
  BYTE b[4];
  if (f.Read(b, 4) != 4) return false;
  v = static_cast<DWORD>(b[0]) | static_cast<DWORD>(b[1]) << 8 | static_cast<DWORD>(b[2]) << 16 |
      static_cast<DWORD>(b[3]) << 24;
  return true;
}

inline bool ReadI32(CFile& f, LONG& v) {
  DWORD u;
  if (!ReadU32(f, u)) return false;
  v = static_cast<LONG>(u);
  return true;
}

inline bool ReadF32(CFile& f, float& v) {
  DWORD u;
  if (!ReadU32(f, u)) return false;
  std::memcpy(&v, &u, 4);
  return true;
}

// Bytes between the position and the end of the file.
inline ULONGLONG Remaining(const CFile& f) {
  const ULONGLONG len = f.GetLength();
  const ULONGLONG pos = f.GetPosition();
  return pos < len ? len - pos : 0;
}

}  // namespace detail
