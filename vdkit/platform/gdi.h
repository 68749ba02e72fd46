// Plain records of the framework's graphics interface that vdkit stores and
// reads as text: the logical pen, brush and font. They carry the same fields,
// in the same order and widths, as the records of the framework's 32-bit
// platform; nothing here draws.
//
//   LOGFONTA lf = {};
//   lf.lfHeight = 12;
//   strcpy(lf.lfFaceName, "Arial");     // at most LF_FACESIZE - 1 characters
//   LOGPEN pen = {PS_SOLID, {1, 0}, RGB(255, 0, 0)};
//
// Differences from the framework: lbHatch is pointer-sized as there, so it
// has 64 bits on a 64-bit build; vdkit's text forms keep only its low 32 bits.
#pragma once

#include "vdkit/platform/types.h"

typedef UINT_PTR ULONG_PTR;

// Face-name capacity of LOGFONTA, terminator included.
#define LF_FACESIZE 32

// Pen styles.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6

// Brush styles and hatches.
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;  // only x is used
  COLORREF lopnColor;
};

struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};

struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};

typedef LOGPEN* LPLOGPEN;
typedef LOGBRUSH* LPLOGBRUSH;
typedef LOGFONTA* LPLOGFONTA;

// Font weights.
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
