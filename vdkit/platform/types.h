/// @file
/// The fixed-width types, records and handles of the framework that vdkit's
/// interfaces were first written against.
///
/// Widths follow the framework's 32-bit platform, not this one: LONG and DWORD
/// have 32 bits even where `long` has 64. Wherever a value stands for a 32-bit
/// quantity (day numbers, identifiers, record data, file fields) vdkit uses
/// these types, so the bytes in files and records keep their width.
///
/// ```
/// RECT rc = {0, 0, 100, 50};
/// int half = MulDiv(rc.right, 1, 2);   // 50, rounded like the framework's
/// ```
#pragma once

#include <cstddef>
#include <cstdint>

#include "vdkit/platform/export.h"

// ---- Fixed-width integer types ---------------------------------------------
typedef uint8_t BYTE;         ///< 8-bit unsigned
typedef uint16_t WORD;        ///< 16-bit unsigned
typedef uint32_t DWORD;       ///< 32-bit unsigned, also where `unsigned long` stood
typedef int32_t LONG;         ///< 32-bit signed, also where `long` stood
typedef uint32_t ULONG;       ///< 32-bit unsigned
typedef int16_t SHORT;        ///< 16-bit signed
typedef uint16_t USHORT;      ///< 16-bit unsigned
typedef int INT;              ///< `int`
typedef unsigned int UINT;    ///< `unsigned int`
typedef int BOOL;             ///< the framework's truth value: 0 false, anything else true
typedef char CHAR;            ///< an 8-bit character in the host's code page
typedef float FLOAT;          ///< 32-bit float
typedef int64_t LONGLONG;     ///< 64-bit signed
typedef uint64_t ULONGLONG;   ///< 64-bit unsigned
typedef uintptr_t DWORD_PTR;  ///< unsigned, pointer-sized (64 bits here, 32 there)
typedef intptr_t INT_PTR;     ///< signed, pointer-sized
typedef uintptr_t UINT_PTR;   ///< unsigned, pointer-sized
typedef intptr_t LPARAM;      ///< a message parameter, pointer-sized
typedef uintptr_t WPARAM;     ///< a message parameter, pointer-sized
typedef intptr_t LRESULT;     ///< a message result, pointer-sized
typedef DWORD COLORREF;       ///< a colour: red, green, blue in the low three bytes (RGB)

typedef char* LPSTR;          ///< a writable 8-bit string
typedef const char* LPCSTR;   ///< a read-only 8-bit string
typedef char* LPTSTR;         ///< LPSTR: text is always 8-bit here
typedef const char* LPCTSTR;  ///< LPCSTR: text is always 8-bit here
typedef void* LPVOID;         ///< an untyped pointer
typedef const void* LPCVOID;  ///< an untyped read-only pointer
typedef BYTE* LPBYTE;         ///< a pointer to bytes

static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4, "LONG and DWORD must have 32 bits");

#ifndef TRUE
#define TRUE 1  ///< BOOL true
#endif
#ifndef FALSE
#define FALSE 0  ///< BOOL false
#endif

/// The COLORREF of red, green and blue components (0 to 255 each).
#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))                 ///< the red component of a COLORREF
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))  ///< the green component of a COLORREF
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))         ///< the blue component of a COLORREF

/// An opaque iteration handle of the collections; null ends an iteration.
struct __POSITION {};
typedef __POSITION* POSITION;  ///< see __POSITION

// ---- Plain records -----------------------------------------------------------
/// A point in integer (device or logical) coordinates.
struct POINT {
  LONG x;  ///< horizontal
  LONG y;  ///< vertical
};
/// A width and height.
struct SIZE {
  LONG cx;  ///< width
  LONG cy;  ///< height
};
/// A rectangle by its four edges, in integer coordinates.
struct RECT {
  LONG left;    ///< left edge
  LONG top;     ///< top edge
  LONG right;   ///< right edge
  LONG bottom;  ///< bottom edge
};
typedef POINT* LPPOINT;       ///< pointer to a POINT
typedef RECT* LPRECT;         ///< pointer to a RECT
typedef const RECT* LPCRECT;  ///< pointer to a read-only RECT

/// a * b / c with the product at 64-bit width, rounded to the nearest integer
/// with halves away from zero. Gives -1 when c is 0 or the result does not fit
/// in 32 bits, as the framework's function does.
VDKIT_API int MulDiv(int a, int b, int c);
