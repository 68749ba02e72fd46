/// @file
/// Plain records of the framework's graphics interface that vdkit stores and
/// reads as text: the logical pen, brush and font. They carry the same fields,
/// in the same order and widths, as the records of the framework's 32-bit
/// platform; nothing here draws.
///
/// ```
/// LOGFONTA lf = {};
/// lf.lfHeight = 12;
/// strcpy(lf.lfFaceName, "Arial");     // at most LF_FACESIZE - 1 characters
/// LOGPEN pen = {PS_SOLID, {1, 0}, RGB(255, 0, 0)};
/// ```
///
/// Differences from the framework: lbHatch is pointer-sized as there, so it
/// has 64 bits on a 64-bit build; vdkit's text forms keep only its low 32 bits.
#pragma once

#include "vdkit/platform/types.h"

typedef UINT_PTR ULONG_PTR;  ///< unsigned, pointer-sized

/// Face-name capacity of LOGFONTA, terminator included.
#define LF_FACESIZE 32

/// Pen styles.
///@{
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
///@}

/// Brush styles and hatches.
///@{
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
///@}

/// A logical pen: style, width and colour.
struct LOGPEN {
  UINT lopnStyle;      ///< a PS_ style
  POINT lopnWidth;     ///< only x is used
  COLORREF lopnColor;  ///< the colour
};

/// A logical brush: style, colour and hatch.
struct LOGBRUSH {
  UINT lbStyle;       ///< a BS_ style
  COLORREF lbColor;   ///< the colour
  ULONG_PTR lbHatch;  ///< an HS_ hatch for BS_HATCHED
};

/// A logical font with an 8-bit face name.
struct LOGFONTA {
  LONG lfHeight;                 ///< height in logical units
  LONG lfWidth;                  ///< average character width; 0 for the default
  LONG lfEscapement;             ///< angle of the text line, tenths of a degree
  LONG lfOrientation;            ///< angle of each character, tenths of a degree
  LONG lfWeight;                 ///< an FW_ weight, 0 to 1000
  BYTE lfItalic;                 ///< non-zero for italic
  BYTE lfUnderline;              ///< non-zero for underlined
  BYTE lfStrikeOut;              ///< non-zero for struck out
  BYTE lfCharSet;                ///< the character set
  BYTE lfOutPrecision;           ///< the output precision
  BYTE lfClipPrecision;          ///< the clipping precision
  BYTE lfQuality;                ///< the output quality
  BYTE lfPitchAndFamily;         ///< pitch and family
  CHAR lfFaceName[LF_FACESIZE];  ///< the face name, NUL-terminated
};

typedef LOGPEN* LPLOGPEN;      ///< pointer to a LOGPEN
typedef LOGBRUSH* LPLOGBRUSH;  ///< pointer to a LOGBRUSH
typedef LOGFONTA* LPLOGFONTA;  ///< pointer to a LOGFONTA

/// Font weights.
///@{
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
///@}
