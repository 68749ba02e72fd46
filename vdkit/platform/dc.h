/// @file
/// Device contexts and the pens and brushes they draw with: the framework's
/// CDC, CClientDC, CPaintDC, CPen and CBrush over vdkit's window system.
///
/// ```
/// CClientDC dc(pView);
/// CPen pen(PS_SOLID, 2, RGB(0, 192, 255));
/// int saved = dc.SaveDC();
/// dc.SetROP2(R2_XORPEN);                 // drawing the figure twice restores the screen
/// dc.SelectObject(&pen);
/// dc.SelectStockObject(NULL_BRUSH);
/// dc.Rectangle(10, 10, 50, 40);
/// dc.RestoreDC(saved);
/// ```
///
/// A context draws on one window's client area, addressed by handle: once the
/// window is destroyed (or when the context has none) every drawing call does
/// nothing, so a context can outlive its window safely. Coordinates given to a
/// context are logical and go through its mapping (window and viewport origins
/// and extents); pen widths are logical too.
///
/// Differences from the framework: a context keeps the values of the pen and
/// brush selected, not the objects, so deleting a selected object is harmless;
/// pen styles other than PS_NULL draw solid lines; mapping modes MM_ISOTROPIC
/// and MM_ANISOTROPIC use the extents exactly as set (no aspect correction);
/// fonts are the window system's one fixed font. The members listed are all
/// there is.
#pragma once

#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/gdi.h"
#include "vdkit/platform/rect.h"
#include "vdkit/platform/window_system.h"

class CWnd;

// ---- Pens and brushes -------------------------------------------------------------
/// The base of pens and brushes.
class VDKIT_API CGdiObject {
 public:
  virtual ~CGdiObject();
  /// Null until the object is created.
  const void* GetSafeHandle() const { return m_created ? this : nullptr; }
  BOOL DeleteObject();  ///< back to not created; TRUE when it was created

 protected:
  bool m_created = false;  ///< whether Create... succeeded
};

/// A pen: a style, a width and a colour.
class VDKIT_API CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }  ///< CreatePen
  BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);  ///< sets the pen's values
  int GetLogPen(LOGPEN* pLogPen) const;                         ///< copies the values; the size of a LOGPEN
  const LOGPEN& Log() const { return m_log; }                   ///< vdkit: the pen's values

 private:
  LOGPEN m_log{PS_SOLID, {1, 0}, 0};
};

/// A brush: a style and a colour.
class VDKIT_API CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }  ///< CreateSolidBrush
  BOOL CreateSolidBrush(COLORREF crColor);                          ///< a solid brush of that colour
  BOOL CreateStockObject(int nIndex);            ///< the values of a stock brush (WHITE_BRUSH ... NULL_BRUSH)
  int GetLogBrush(LOGBRUSH* pLogBrush) const;    ///< copies the values; the size of a LOGBRUSH
  const LOGBRUSH& Log() const { return m_log; }  ///< vdkit: the brush's values

 private:
  friend class CDC;
  LOGBRUSH m_log{BS_SOLID, RGB(255, 255, 255), 0};
};

/// Stock objects.
enum : int {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  HOLLOW_BRUSH = NULL_BRUSH,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8
};

/// Mapping modes.
enum : int {
  MM_TEXT = 1,
  MM_LOMETRIC = 2,
  MM_HIMETRIC = 3,
  MM_LOENGLISH = 4,
  MM_HIENGLISH = 5,
  MM_TWIPS = 6,
  MM_ISOTROPIC = 7,
  MM_ANISOTROPIC = 8
};

/// Text alignment and background modes.
enum : UINT { TA_LEFT = 0, TA_TOP = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };

/// Raster operations of PatBlt (pattern P from the brush, destination D).
enum : DWORD {
  PATCOPY = 0x00F00021,
  PATINVERT = 0x005A0049,
  DSTINVERT = 0x00550009,
  BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062
};

// ---- Device contexts ----------------------------------------------------------------
/// A device context on a window's client area, with the framework's state,
/// mapping and drawing members (see the file's description).
class VDKIT_API CDC {
 public:
  /// A context without a device: every drawing call does nothing.
  CDC() = default;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC();

  /// The window whose client area this context draws on; null without one or
  /// once it is destroyed.
  CWnd* GetWindow() const;
  HWND GetSafeHwnd() const { return m_hWnd; }  ///< the window's handle, or null

  // ---- State
  int SaveDC();                  ///< the new state's level (1, 2, ...)
  BOOL RestoreDC(int nSavedDC);  ///< -1: the last saved; FALSE for a level not saved
  /// Selects a pen or brush (its values are taken); answers the one selected
  /// before, or null when that was a stock object.
  ///@{
  CPen* SelectObject(CPen* pPen);
  CBrush* SelectObject(CBrush* pBrush);
  ///@}
  CGdiObject* SelectStockObject(int nIndex);    ///< selects a stock pen or brush; null
  int SetROP2(int nDrawMode);                   ///< answers the previous mode
  int GetROP2() const { return m_state.rop2; }  ///< the mix mode
  /// Text colour, background colour and mode, alignment; each answers the
  /// previous value.
  ///@{
  COLORREF SetTextColor(COLORREF crColor);
  COLORREF SetBkColor(COLORREF crColor);
  int SetBkMode(int nBkMode);
  UINT SetTextAlign(UINT nFlags);
  ///@}

  // ---- Mapping
  /// The mapping mode; SetMapMode answers the previous one.
  ///@{
  int SetMapMode(int nMapMode);
  int GetMapMode() const { return m_state.mapMode; }
  ///@}
  /// Set an origin; the previous one.
  ///@{
  CPoint SetWindowOrg(int x, int y);
  CPoint SetViewportOrg(int x, int y);
  ///@}
  CSize SetWindowExt(int cx, int cy);    ///< only in MM_ISOTROPIC and MM_ANISOTROPIC
  CSize SetViewportExt(int cx, int cy);  ///< the same
  /// The origins.
  ///@{
  CPoint GetWindowOrg() const { return m_state.windowOrg; }
  CPoint GetViewportOrg() const { return m_state.viewportOrg; }
  ///@}
  /// Converts points (or a rectangle's corners) between device and logical
  /// coordinates, in place.
  ///@{
  void DPtoLP(LPPOINT lpPoints, int nCount = 1) const;
  void DPtoLP(LPRECT lpRect) const { DPtoLP(reinterpret_cast<LPPOINT>(lpRect), 2); }
  void LPtoDP(LPPOINT lpPoints, int nCount = 1) const;
  void LPtoDP(LPRECT lpRect) const { LPtoDP(reinterpret_cast<LPPOINT>(lpRect), 2); }
  ///@}

  // ---- Drawing
  /// Moves the current position; the previous one.
  ///@{
  CPoint MoveTo(int x, int y);
  CPoint MoveTo(POINT pt) { return MoveTo(pt.x, pt.y); }
  ///@}
  /// A line with the pen from the current position, which moves to its end.
  ///@{
  BOOL LineTo(int x, int y);
  BOOL LineTo(POINT pt) { return LineTo(pt.x, pt.y); }
  ///@}
  /// One figure: a pixel where segments meet is mixed once.
  BOOL Polyline(const POINT* lpPoints, int nCount);
  /// Outline with the pen, inside with the brush (none with NULL_BRUSH).
  ///@{
  BOOL Rectangle(int x1, int y1, int x2, int y2);
  BOOL Rectangle(LPCRECT lpRect) {
    return Rectangle(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
  }
  ///@}
  /// Fills with the brush by a PatBlt operation.
  BOOL PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop);
  /// Fills with one colour, or with a brush, whatever the mix mode.
  ///@{
  void FillSolidRect(LPCRECT lpRect, COLORREF clr);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF clr);
  void FillRect(LPCRECT lpRect, CBrush* pBrush);
  ///@}
  /// Text in the text colour at (x, y), by the text alignment: nCount bytes of
  /// the string, fewer when a zero byte ends it sooner (nothing past nCount is
  /// read, so the string need not be terminated).
  ///@{
  BOOL TextOut(int x, int y, LPCSTR lpszString, int nCount);
  BOOL TextOut(int x, int y, const CString& str) { return TextOut(x, y, str, str.GetLength()); }
  ///@}
  /// The size in logical units of the text TextOut would draw.
  ///@{
  CSize GetTextExtent(LPCSTR lpszString, int nCount) const;
  CSize GetTextExtent(const CString& str) const { return GetTextExtent(str, str.GetLength()); }
  ///@}

 protected:
  /// Contexts of a window are made by CClientDC, CPaintDC and CWnd::GetDC.
  explicit CDC(HWND hWnd) : m_hWnd(hWnd) {}
  HWND m_hWnd = nullptr;  ///< the window drawn on, or null

 private:
  struct State {
    LOGPEN pen{PS_SOLID, {1, 0}, 0};
    LOGBRUSH brush{BS_SOLID, RGB(255, 255, 255), 0};
    CPen* penObject = nullptr;
    CBrush* brushObject = nullptr;
    int rop2 = R2_COPYPEN;
    COLORREF textColor = 0;
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int mapMode = MM_TEXT;
    CPoint windowOrg, viewportOrg;
    CSize windowExt{1, 1}, viewportExt{1, 1};
    CPoint position;
  };
  CWindowSystem* Device() const;  ///< null when nothing can be drawn
  POINT ToDevice(POINT pt) const;
  int PenWidth() const;
  void DeviceFill(const RECT& logical, COLORREF colour, int rop2);

  State m_state;
  std::vector<State> m_saved;
};

/// A context on a window's client area for drawing outside WM_PAINT.
class VDKIT_API CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* pWnd);  ///< a context on pWnd's client area
};

/// The context of a WM_PAINT handler: makes the window valid and erases its
/// background (WM_ERASEBKGND) first.
class VDKIT_API CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);  ///< begins painting pWnd
};
