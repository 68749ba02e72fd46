// The fixed-width types, records and handles of the framework that vdkit's
// interfaces were first written against.
//
// Widths follow the framework's 32-bit platform, not this one: LONG and DWORD
// have 32 bits even where `long` has 64. Wherever a value stands for a 32-bit
// quantity (day numbers, identifiers, record data, file fields) vdkit uses
// these types, so the bytes in files and records keep their width.
//
//   RECT rc = {0, 0, 100, 50};
//   int half = MulDiv(rc.right, 1, 2);   // 50, rounded like the framework's
#pragma once

#include <cstddef>
#include <cstdint>

#include "vdkit/platform/export.h"

// ---- Fixed-width integer types ---------------------------------------------
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int INT;
typedef unsigned int UINT;
typedef int BOOL;
typedef char CHAR;
typedef float FLOAT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t DWORD_PTR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef DWORD COLORREF;

typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;

static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4, "LONG and DWORD must have 32 bits");

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))

// An opaque iteration handle of the collections; null ends an iteration.
struct __POSITION {};
typedef __POSITION* POSITION;

// ---- Plain records -----------------------------------------------------------
struct POINT {
  LONG x;
  LONG y;
};
struct SIZE {
  LONG cx;
  LONG cy;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
typedef POINT* LPPOINT;
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

// a * b / c with the product at 64-bit width, rounded to the nearest integer
// with halves away from zero. Gives -1 when c is 0 or the result does not fit
// in 32 bits, as the framework's function does.
VDKIT_API int MulDiv(int a, int b, int c);
