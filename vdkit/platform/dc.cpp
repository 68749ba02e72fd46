#include "vdkit/platform/dc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "vdkit/platform/window.h"
#include "vdkit/platform/window_internal.h"

using namespace window_internal;

namespace {

// a * b / c rounded to the nearest integer (halves away from zero), kept in
// 32 bits; 0 when c is 0.
LONG Scale(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  int64_t p = a * b;
  const bool negative = (p < 0) != (c < 0);
  p = std::llabs(p);
  const int64_t q = (p + std::llabs(c) / 2) / std::llabs(c);
  const int64_t r = negative ? -q : q;
  return static_cast<LONG>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
}

// The two-colour mix of a PatBlt raster code: bit 2P + D of the result's
// truth table is the code's bit for (P, S = 0, D).
int PatBltRop2(DWORD rop) {
  const unsigned t = (rop >> 16) & 0xFF;
  const unsigned r = (t & 1) | (t & 2) | ((t >> 2) & 4) | ((t >> 2) & 8);
  return static_cast<int>(r) + 1;
}

// The bytes of s that a call given n draws or measures: at most n, and none
// from its terminating zero on; s is never read past n bytes.
int TextLength(LPCSTR s, int n) {
  return n > 0 ? static_cast<int>(::strnlen(s, static_cast<size_t>(n))) : 0;
}

CGdiObject* StockObject(int index) {
  struct Stock {
    CBrush brushes[6];
    CPen pens[3];
    Stock() {
      for (int i = 0; i < 6; ++i) brushes[i].CreateStockObject(i);
      pens[0].CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
      pens[1].CreatePen(PS_SOLID, 1, 0);
      pens[2].CreatePen(PS_NULL, 1, 0);
    }
  };
  static Stock stock;
  if (index >= WHITE_BRUSH && index <= NULL_BRUSH) return &stock.brushes[index];
  if (index >= WHITE_PEN && index <= NULL_PEN) return &stock.pens[index - WHITE_PEN];
  return nullptr;
}

}  // namespace

// ---- Pens and brushes --------------------------------------------------------------------------

CGdiObject::~CGdiObject() = default;

BOOL CGdiObject::DeleteObject() {
  const bool was = m_created;
  m_created = false;
  return was;
}

BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor) {
  if (m_created) return FALSE;
  m_log = LOGPEN{static_cast<UINT>(nPenStyle), {nWidth, 0}, crColor};
  return m_created = true;
}

int CPen::GetLogPen(LOGPEN* p) const {
  if (!m_created || !p) return 0;
  *p = m_log;
  return sizeof(LOGPEN);
}

BOOL CBrush::CreateSolidBrush(COLORREF crColor) {
  if (m_created) return FALSE;
  m_log = LOGBRUSH{BS_SOLID, crColor, 0};
  return m_created = true;
}

BOOL CBrush::CreateStockObject(int nIndex) {
  static const COLORREF shades[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                    RGB(64, 64, 64), RGB(0, 0, 0)};
  if (m_created || nIndex < WHITE_BRUSH || nIndex > NULL_BRUSH) return FALSE;
  m_log = nIndex == NULL_BRUSH ? LOGBRUSH{BS_NULL, 0, 0} : LOGBRUSH{BS_SOLID, shades[nIndex], 0};
  return m_created = true;
}

int CBrush::GetLogBrush(LOGBRUSH* p) const {
  if (!m_created || !p) return 0;
  *p = m_log;
  return sizeof(LOGBRUSH);
}

// ---- State ------------------------------------------------------------------------------------------

CDC::~CDC() = default;

CWnd* CDC::GetWindow() const {
  return CWnd::FromHandle(m_hWnd);
}

CWindowSystem* CDC::Device() const {
  return IsShown(m_hWnd) ? System() : nullptr;
}

int CDC::SaveDC() {
  m_saved.push_back(m_state);
  return static_cast<int>(m_saved.size());
}

BOOL CDC::RestoreDC(int nSavedDC) {
  const int n = static_cast<int>(m_saved.size());
  if (nSavedDC < 0) nSavedDC = n + 1 + nSavedDC;
  if (nSavedDC < 1 || nSavedDC > n) return FALSE;
  m_state = m_saved[nSavedDC - 1];
  m_saved.resize(nSavedDC - 1);
  return TRUE;
}

CPen* CDC::SelectObject(CPen* pPen) {
  if (!pPen) return nullptr;
  CPen* old = m_state.penObject ? m_state.penObject : static_cast<CPen*>(StockObject(BLACK_PEN));
  m_state.pen = pPen->Log();
  m_state.penObject = pPen;
  return old;
}

CBrush* CDC::SelectObject(CBrush* pBrush) {
  if (!pBrush) return nullptr;
  CBrush* old = m_state.brushObject ? m_state.brushObject : static_cast<CBrush*>(StockObject(WHITE_BRUSH));
  m_state.brush = pBrush->Log();
  m_state.brushObject = pBrush;
  return old;
}

CGdiObject* CDC::SelectStockObject(int nIndex) {
  CGdiObject* object = StockObject(nIndex);
  if (nIndex >= WHITE_PEN) return object ? SelectObject(static_cast<CPen*>(object)) : nullptr;
  return object ? SelectObject(static_cast<CBrush*>(object)) : nullptr;
}

int CDC::SetROP2(int nDrawMode) {
  const int old = m_state.rop2;
  if (nDrawMode >= R2_BLACK && nDrawMode <= R2_WHITE) m_state.rop2 = nDrawMode;
  return old;
}

COLORREF CDC::SetTextColor(COLORREF c) {
  return std::exchange(m_state.textColor, c);
}
COLORREF CDC::SetBkColor(COLORREF c) {
  return std::exchange(m_state.bkColor, c);
}
int CDC::SetBkMode(int mode) {
  return std::exchange(m_state.bkMode, mode);
}
UINT CDC::SetTextAlign(UINT flags) {
  return std::exchange(m_state.textAlign, flags);
}

// ---- Mapping ----------------------------------------------------------------------------------------

int CDC::SetMapMode(int nMapMode) {
  // Logical units per inch for the metric and English modes, at 96 pixels per
  // inch, y growing upwards.
  static const int perInch[] = {0, 0, 254, 2540, 100, 1000, 1440};
  if (nMapMode < MM_TEXT || nMapMode > MM_ANISOTROPIC) return 0;
  const int old = m_state.mapMode;
  m_state.mapMode = nMapMode;
  if (nMapMode == MM_TEXT) {
    m_state.windowExt = CSize(1, 1);
    m_state.viewportExt = CSize(1, 1);
  } else if (nMapMode < MM_ISOTROPIC) {
    m_state.windowExt = CSize(perInch[nMapMode], perInch[nMapMode]);
    m_state.viewportExt = CSize(96, -96);
  }
  return old;
}

CPoint CDC::SetWindowOrg(int x, int y) {
  return std::exchange(m_state.windowOrg, CPoint(x, y));
}
CPoint CDC::SetViewportOrg(int x, int y) {
  return std::exchange(m_state.viewportOrg, CPoint(x, y));
}

CSize CDC::SetWindowExt(int cx, int cy) {
  const CSize old = m_state.windowExt;
  if (m_state.mapMode >= MM_ISOTROPIC && cx != 0 && cy != 0) m_state.windowExt = CSize(cx, cy);
  return old;
}

CSize CDC::SetViewportExt(int cx, int cy) {
  const CSize old = m_state.viewportExt;
  if (m_state.mapMode >= MM_ISOTROPIC && cx != 0 && cy != 0) m_state.viewportExt = CSize(cx, cy);
  return old;
}

void CDC::LPtoDP(LPPOINT pts, int n) const {
  const State& s = m_state;
  for (int i = 0; i < n; ++i) {
    pts[i].x = Scale(int64_t{pts[i].x} - s.windowOrg.x, s.viewportExt.cx, s.windowExt.cx) + s.viewportOrg.x;
    pts[i].y = Scale(int64_t{pts[i].y} - s.windowOrg.y, s.viewportExt.cy, s.windowExt.cy) + s.viewportOrg.y;
  }
}

void CDC::DPtoLP(LPPOINT pts, int n) const {
  const State& s = m_state;
  for (int i = 0; i < n; ++i) {
    pts[i].x = Scale(int64_t{pts[i].x} - s.viewportOrg.x, s.windowExt.cx, s.viewportExt.cx) + s.windowOrg.x;
    pts[i].y = Scale(int64_t{pts[i].y} - s.viewportOrg.y, s.windowExt.cy, s.viewportExt.cy) + s.windowOrg.y;
  }
}

POINT CDC::ToDevice(POINT pt) const {
  LPtoDP(&pt, 1);
  return pt;
}

int CDC::PenWidth() const {
  const LONG w = Scale(m_state.pen.lopnWidth.x, m_state.viewportExt.cx, m_state.windowExt.cx);
  return std::max<LONG>(1, std::abs(w));
}

// ---- Drawing ----------------------------------------------------------------------------------------

CPoint CDC::MoveTo(int x, int y) {
  return std::exchange(m_state.position, CPoint(x, y));
}

BOOL CDC::LineTo(int x, int y) {
  const POINT pts[2] = {m_state.position, {x, y}};
  m_state.position = CPoint(x, y);
  return Polyline(pts, 2);
}

BOOL CDC::Polyline(const POINT* lpPoints, int nCount) {
  if (!lpPoints || nCount < 2) return FALSE;
  CWindowSystem* ws = Device();
  if (!ws || m_state.pen.lopnStyle == PS_NULL) return ws != nullptr;
  std::vector<POINT> device(lpPoints, lpPoints + nCount);
  LPtoDP(device.data(), nCount);
  ws->DrawNativePolyline(m_hWnd, device.data(), nCount, PenWidth(), m_state.pen.lopnColor, m_state.rop2);
  return TRUE;
}

void CDC::DeviceFill(const RECT& logical, COLORREF colour, int rop2) {
  CWindowSystem* ws = Device();
  if (!ws) return;
  CRect r = logical;
  LPtoDP(r);
  r.NormalizeRect();
  if (!r.IsRectEmpty()) ws->FillNativeRect(m_hWnd, r, colour, rop2);
}

BOOL CDC::Rectangle(int x1, int y1, int x2, int y2) {
  CWindowSystem* ws = Device();
  if (!ws) return FALSE;
  CRect r(x1, y1, x2, y2);
  LPtoDP(r);
  r.NormalizeRect();
  if (m_state.brush.lbStyle != BS_NULL) {
    CRect inside = r;
    if (m_state.pen.lopnStyle != PS_NULL) inside.DeflateRect(1, 1);
    if (!inside.IsRectEmpty()) ws->FillNativeRect(m_hWnd, inside, m_state.brush.lbColor, m_state.rop2);
  }
  if (m_state.pen.lopnStyle != PS_NULL) {
    // The outline runs through the outermost pixels, inside right and bottom.
    const POINT path[5] = {{r.left, r.top},
                           {r.right - 1, r.top},
                           {r.right - 1, r.bottom - 1},
                           {r.left, r.bottom - 1},
                           {r.left, r.top}};
    ws->DrawNativePolyline(m_hWnd, path, 5, PenWidth(), m_state.pen.lopnColor, m_state.rop2);
  }
  return TRUE;
}

BOOL CDC::PatBlt(int x, int y, int nWidth, int nHeight, DWORD dwRop) {
  if (!Device()) return FALSE;
  DeviceFill(RECT{x, y, x + nWidth, y + nHeight}, m_state.brush.lbColor, PatBltRop2(dwRop));
  return TRUE;
}

void CDC::FillSolidRect(LPCRECT r, COLORREF clr) {
  m_state.bkColor = clr;  // as the framework's, which paints with the background colour
  if (r) DeviceFill(*r, clr, R2_COPYPEN);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF clr) {
  const RECT r{x, y, x + cx, y + cy};
  FillSolidRect(&r, clr);
}

void CDC::FillRect(LPCRECT r, CBrush* pBrush) {
  if (r && pBrush && pBrush->Log().lbStyle != BS_NULL) DeviceFill(*r, pBrush->Log().lbColor, R2_COPYPEN);
}

BOOL CDC::TextOut(int x, int y, LPCSTR s, int n) {
  CWindowSystem* ws = Device();
  if (!ws || !s) return FALSE;
  n = TextLength(s, n);
  POINT at = ToDevice(POINT{x, y});
  const SIZE ext = ws->GetNativeTextExtent(s, n);
  const UINT align = m_state.textAlign;
  if ((align & TA_CENTER) == TA_CENTER)
    at.x -= ext.cx / 2;
  else if (align & TA_RIGHT)
    at.x -= ext.cx;
  if ((align & TA_BASELINE) == TA_BASELINE)
    at.y -= ext.cy * 3 / 4;
  else if (align & TA_BOTTOM)
    at.y -= ext.cy;
  if (m_state.bkMode == OPAQUE)
    ws->FillNativeRect(m_hWnd, RECT{at.x, at.y, at.x + ext.cx, at.y + ext.cy}, m_state.bkColor, R2_COPYPEN);
  ws->DrawNativeText(m_hWnd, at.x, at.y, s, n, m_state.textColor);
  return TRUE;
}

CSize CDC::GetTextExtent(LPCSTR s, int n) const {
  CWindowSystem* ws = System();
  if (!ws || !s) return CSize();
  n = TextLength(s, n);
  const SIZE ext = ws->GetNativeTextExtent(s, n);
  const State& st = m_state;
  return CSize(std::abs(Scale(ext.cx, st.windowExt.cx, st.viewportExt.cx)),
               std::abs(Scale(ext.cy, st.windowExt.cy, st.viewportExt.cy)));
}

CClientDC::CClientDC(CWnd* pWnd) : CDC(pWnd ? pWnd->m_hWnd : nullptr) {}

CPaintDC::CPaintDC(CWnd* pWnd) : CDC(pWnd ? pWnd->m_hWnd : nullptr) {
  if (WindowData* d = Find(m_hWnd)) {
    d->invalid = false;
    ::SendMessage(m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(static_cast<CDC*>(this)), 0);
  }
}
