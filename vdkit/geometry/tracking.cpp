// The trackers share one session object: it owns the capture, the context's
// saved state and the rubber-band pen, and reads the messages of the modal
// loop. The figure on screen is tracked by each tracker as "drawn" plus the
// geometry it was drawn with, so that erasing draws exactly the same figure.
//
// States of a tracker: hit test (no capture) -> tracking (capture held,
// context state saved, figure drawn or hidden) -> ended (figure erased,
// capture released, state restored). The session's destructor performs the
// last step, so every return path passes through it.
#include "vdkit/geometry/tracking.h"

#include <cstdint>
#include <cstdlib>

#include "vdkit/geometry/predicates.h"

namespace {

constexpr COLORREF kBandColor = RGB(0, 192, 255);        // points, lines, rectangles: XOR
constexpr COLORREF kPolylineColor = RGB(255, 128, 128);  // polylines: NOT

LONG Narrow(int64_t v) {
  return static_cast<LONG>(static_cast<uint32_t>(v));
}  // wraps as 32-bit arithmetic did

// Whether (a - b) lies strictly within r of the origin on both axes, or in the
// disc: exact for all 32-bit inputs.
bool WithinBox(POINT a, POINT b, int64_t r) {
  return std::llabs(int64_t{a.x} - b.x) < r && std::llabs(int64_t{a.y} - b.y) < r;
}
bool WithinDisc(POINT a, POINT b, int mode) {
  const int64_t r = std::llabs(int64_t{mode});
  const int64_t dx = std::llabs(int64_t{a.x} - b.x), dy = std::llabs(int64_t{a.y} - b.y);
  if (dx >= r || dy >= r) return false;  // then dx * dx alone is at least r * r
  return dx * dx + dy * dy < r * r;      // all below 2^62 here
}

class Session {
 public:
  enum Event { kPointer, kEnd };

  Session(CDC* dc, CWnd* wnd, COLORREF colour, int rop2, bool hollow)
      : m_dc(dc), m_hWnd(wnd->m_hWnd), m_pen(PS_SOLID, 2, colour) {
    m_saved = dc->SaveDC();
    dc->SelectObject(&m_pen);
    dc->SetROP2(rop2);
    if (hollow) dc->SelectStockObject(NULL_BRUSH);
    wnd->SetCapture();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    if (m_hWnd && ::GetCapture() == m_hWnd) ::ReleaseCapture();
    m_dc->RestoreDC(m_saved);
  }

  CDC* dc() const { return m_dc; }

  // The next message that matters: a pointer message (with its position in
  // logical coordinates) or the end of tracking. leftDown: whether a left
  // button press is a pointer message here.
  Event Next(MSG& msg, POINT& pt, bool leftDown) {
    for (;;) {
      const BOOL r = ::GetMessage(&msg, nullptr, 0, 0);
      if (r <= 0) {
        if (r == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
        return kEnd;
      }
      if (!::IsWindow(m_hWnd)) return kEnd;
      switch (msg.message) {
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
          return kEnd;
        case WM_KEYDOWN:
          if (msg.wParam == VK_ESCAPE) return kEnd;
          continue;  // other keys are dropped
        case WM_LBUTTONDOWN:
          if (!leftDown) break;
          [[fallthrough]];
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
          pt = Position(msg);
          return kPointer;
        default:
          break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessage(&msg);
      if (!::IsWindow(m_hWnd)) return kEnd;
    }
  }

 private:
  POINT Position(const MSG& msg) const {
    CPoint pt(GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam));
    if (msg.hwnd && msg.hwnd != m_hWnd) {  // another window's client coordinates
      if (CWnd* from = CWnd::FromHandle(msg.hwnd)) from->ClientToScreen(&pt);
      if (CWnd* to = CWnd::FromHandle(m_hWnd)) to->ScreenToClient(&pt);
    }
    m_dc->DPtoLP(&pt);
    return pt;
  }

  CDC* m_dc;
  HWND m_hWnd;
  CPen m_pen;
  int m_saved = 0;
};

// A figure drawn by an inverting mix: Show and Hide toggle it, Move redraws it
// elsewhere when it changed; the destructor leaves nothing on screen.
template <typename Shape, typename DrawFn>
class Band {
 public:
  Band(CDC* dc, DrawFn draw) : m_dc(dc), m_draw(draw) {}
  Band(const Band&) = delete;
  Band& operator=(const Band&) = delete;
  ~Band() { Hide(); }
  void Show(const Shape& s) {
    if (m_shown) return;
    m_shape = s;
    m_draw(m_dc, m_shape);
    m_shown = true;
  }
  void Hide() {
    if (!m_shown) return;
    m_draw(m_dc, m_shape);
    m_shown = false;
  }
  void Move(const Shape& s) {
    if (m_shown && s == m_shape) return;
    Hide();
    Show(s);
  }

 private:
  CDC* m_dc;
  DrawFn m_draw;
  Shape m_shape{};
  bool m_shown = false;
};

struct Segment {
  POINT a, b;
  bool operator==(const Segment& o) const {
    return a.x == o.a.x && a.y == o.a.y && b.x == o.b.x && b.y == o.b.y;
  }
};

void DrawRect(CDC* dc, const CRect& r) {
  dc->Rectangle(r);
}
void DrawSegment(CDC* dc, const Segment& s) {
  const POINT pts[2] = {s.a, s.b};
  dc->Polyline(pts, 2);
}

// Runs the common loop for a rectangle figure: update(m) gives the figure for
// a pointer position. The figure is drawn at the start.
template <typename Update>
CRect TrackRectFigure(Session& session, const CRect& initial, Update update) {
  Band<CRect, void (*)(CDC*, const CRect&)> band(session.dc(), DrawRect);
  CRect r = initial;
  band.Show(r);
  MSG msg;
  POINT m;
  while (session.Next(msg, m, false) == Session::kPointer) {
    r = update(m);
    band.Move(r);
    if (msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP) break;
  }
  return r;  // the band's destructor erases the figure, the session's releases the capture
}

}  // namespace

void DrawPtTrack(CDC* pDC, int x, int y, int size) {
  if (pDC) pDC->PatBlt(x - size / 2, y - size / 2, size, size, DSTINVERT);
}

// ---- CMouseTracking ------------------------------------------------------------------------------

CMouseTracking::CMouseTracking(CWnd* pWnd, bool capture)
    : m_pWnd(pWnd), m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
  if (capture && pWnd) pWnd->SetCapture();
}

CMouseTracking::CMouseTracking(CDC* pDC) : CMouseTracking(pDC ? pDC->GetWindow() : nullptr, true) {}

CMouseTracking::~CMouseTracking() {
  if (m_hWnd && ::GetCapture() == m_hWnd) ::ReleaseCapture();
}

TMouse CMouseTracking::GetPointer(POINT* pt) {
  m_flag = MOUSE_NONE;
  MSG msg;
  for (;;) {
    const BOOL r = ::GetMessage(&msg, nullptr, 0, 0);
    if (r <= 0) {
      if (r == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
      return m_flag;
    }
    if (m_pWnd && !::IsWindow(m_hWnd)) return m_flag;  // the watched window is gone
    if (m_pWnd && msg.hwnd != m_hWnd) {
      ::TranslateMessage(&msg);
      ::DispatchMessage(&msg);
      continue;
    }
    switch (msg.message) {
      case WM_MOUSEMOVE:
        m_flag = MOUSE_MOVE;
        break;
      case WM_LBUTTONDOWN:
        m_flag = MOUSE_LDOWN;
        break;
      case WM_LBUTTONUP:
        m_flag = MOUSE_LUP;
        break;
      case WM_LBUTTONDBLCLK:
        m_flag = MOUSE_LDBLCLK;
        break;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
      case WM_RBUTTONDBLCLK:
        return m_flag;
      case WM_KEYDOWN:
        if (msg.wParam == VK_ESCAPE) return m_flag;
        continue;
      default:
        ::TranslateMessage(&msg);
        ::DispatchMessage(&msg);
        continue;
    }
    CPoint p(GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam));
    if (CView* view = dynamic_cast<CView*>(CWnd::FromHandle(m_hWnd))) {
      CClientDC dc(view);
      view->OnPrepareDC(&dc);
      dc.DPtoLP(&p);
    }
    if (pt) *pt = p;
    return m_flag;
  }
}

// ---- Point, line and rectangle -----------------------------------------------------------------------

bool TrackerPoint(POINT start, CDC* pDC, CWnd* pWnd, POINT& pt, int size, int flags) {
  if (!pDC || !pWnd || !pWnd->m_hWnd) return false;
  const POINT c = flags >= 1 ? pt : start;
  const int half = size / 2;
  const CRect initial(Narrow(int64_t{c.x} - half), Narrow(int64_t{c.y} - half), Narrow(int64_t{c.x} + half),
                      Narrow(int64_t{c.y} + half));
  const int64_t offx = int64_t{start.x} - initial.left, offy = int64_t{start.y} - initial.top;
  const int64_t w = int64_t{initial.right} - initial.left, h = int64_t{initial.bottom} - initial.top;
  CRect r = initial;
  {
    Session session(pDC, pWnd, kBandColor, R2_XORPEN, true);
    r = TrackRectFigure(session, initial, [&](POINT m) {
      CRect next = r;
      if (flags & 1) next.left = Narrow(m.x - offx), next.right = Narrow(m.x - offx + w);
      if (flags & 2) next.top = Narrow(m.y - offy), next.bottom = Narrow(m.y - offy + h);
      return r = next;
    });
  }
  pt.x = Narrow((int64_t{r.left} + r.right) / 2);
  pt.y = Narrow((int64_t{r.top} + r.bottom) / 2);
  return true;
}

bool TrackerLine(POINT start, CDC* pDC, CWnd* pWnd, POINT& p1, POINT& p2, int tol) {
  const POINT a0 = p1, b0 = p2;
  enum { kEnd1, kEnd2, kWhole } grab;
  if (WithinBox(start, a0, tol))
    grab = kEnd1;
  else if (WithinBox(start, b0, tol))
    grab = kEnd2;
  else if (PtAtLine(start, a0, b0, tol))
    grab = kWhole;
  else
    return false;
  if (!pDC || !pWnd || !pWnd->m_hWnd) return true;

  Session session(pDC, pWnd, kBandColor, R2_XORPEN, false);
  pWnd->UpdateWindow();
  Band<Segment, void (*)(CDC*, const Segment&)> band(pDC, DrawSegment);
  Segment s{a0, b0};
  MSG msg;
  POINT m;
  while (session.Next(msg, m, true) == Session::kPointer) {
    if (tol >= 1) {
      const int64_t dx = int64_t{m.x} - start.x, dy = int64_t{m.y} - start.y;
      if (grab != kEnd2) s.a = POINT{Narrow(a0.x + dx), Narrow(a0.y + dy)};
      if (grab != kEnd1) s.b = POINT{Narrow(b0.x + dx), Narrow(b0.y + dy)};
    }
    band.Hide();
    if (msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP) break;
    band.Show(s);
  }
  p1 = s.a;
  p2 = s.b;
  return true;
}

bool TrackerRect(POINT start, CDC* pDC, CWnd* pWnd, CRect& rc, int size) {
  const int grip = size >= 0 ? GetRectHandle(rc, start, size) : 4;
  if (grip < 0 || !pDC || !pWnd || !pWnd->m_hWnd) return false;
  if (size < 0) rc = CRect(start.x, start.y, start.x, start.y);
  const CRect r0 = rc;
  // The anchor is the corner or side the grip holds; 0 stands for a
  // coordinate the grip does not move.
  static const struct {
    int8_t x, y;  // -1 left/top, 1 right/bottom, 0 none
  } anchors[9] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};
  const auto& an = anchors[grip];
  const int64_t ax = an.x < 0 ? r0.left : an.x > 0 ? r0.right : 0;
  const int64_t ay = an.y < 0 ? r0.top : an.y > 0 ? r0.bottom : 0;
  const int64_t offx = start.x - ax, offy = start.y - ay;
  {
    Session session(pDC, pWnd, kBandColor, R2_XORPEN, true);
    rc = TrackRectFigure(session, r0, [&](POINT m) {
      const LONG x = Narrow(m.x - offx), y = Narrow(m.y - offy);
      CRect r = r0;
      if (grip == 8) return CRect(x, y, Narrow(int64_t{x} + r0.Width()), Narrow(int64_t{y} + r0.Height()));
      if (an.x < 0) r.left = x;
      if (an.x > 0) r.right = x;
      if (an.y < 0) r.top = y;
      if (an.y > 0) r.bottom = y;
      return r;
    });
  }
  return rc != r0;
}

// ---- Polyline -------------------------------------------------------------------------------------------

bool TrackerPolyline(POINT start, CDC* pDC, CWnd* pWnd, POINT* pts, int& count, bool closed, int mode,
                     int* index, TrackerPolylineCallback callback) {
  if (!pts) return false;
  if (!pDC || !pWnd || !pWnd->m_hWnd) {
    if (mode == 0) return false;
    for (int i = 0; i < count; ++i)
      if (WithinDisc(pts[i], start, mode)) return true;
    return false;
  }
  const int capacity = count;
  int moving = 0;
  std::vector<POINT> origin;
  if (mode < 0) {
    if (capacity < 2) return false;
    pts[0] = pts[1] = start;
    count = 1;
    POINT at = start;
    if (callback && !callback(at, WM_LBUTTONDOWN, pts, 1)) return false;
    count = 2;
    moving = 1;
  } else if (mode > 0) {
    moving = -1;
    for (int i = 0; i < count && moving < 0; ++i)
      if (WithinDisc(pts[i], start, mode)) moving = i;
    if (moving < 0) return false;
  } else {
    if (count < 1) return false;
    origin.assign(pts, pts + count);
  }
  const POINT grabbed = pts[moving];

  Session session(pDC, pWnd, kPolylineColor, R2_NOT, false);
  // The figure is drawn from the caller's array: hide it before every change.
  bool shown = false;
  auto toggle = [&] {
    std::vector<POINT> path(pts, pts + count);
    if (closed && count >= 3) path.push_back(pts[0]);
    pDC->Polyline(path.data(), static_cast<int>(path.size()));
    shown = !shown;
  };
  auto hide = [&] {
    if (shown) toggle();
  };
  auto show = [&] {
    if (!shown) toggle();
  };
  show();
  MSG msg;
  POINT m;
  bool hidden = false;  // digitising: between a left press and its release
  bool full = false;    // digitising: a click found the array full and kept its vertex
  while (session.Next(msg, m, mode < 0) == Session::kPointer) {
    if (msg.message == WM_RBUTTONUP) continue;
    if (mode < 0) {
      hide();
      pts[moving] = m;
      const bool accepted = !callback || callback(m, msg.message, pts, count);
      if (msg.message == WM_LBUTTONDOWN) hidden = true;
      if (msg.message == WM_LBUTTONUP) {
        hidden = false;
        if (accepted) {
          // Never past the capacity: a click with no room left ends digitising.
          if (count == capacity) {
            full = true;
            break;
          }
          ++count;
          pts[count - 1] = pts[moving];
          moving = count - 1;
          if (count == capacity) break;
        }
      }
      if (!hidden) show();
    } else if (mode > 0) {
      const POINT next{Narrow(int64_t{m.x} + grabbed.x - start.x),
                       Narrow(int64_t{m.y} + grabbed.y - start.y)};
      if (next.x != pts[moving].x || next.y != pts[moving].y) {
        hide();
        pts[moving] = next;
        show();
      }
      if (callback) callback(m, msg.message, pts, count);
      if (msg.message == WM_LBUTTONUP && (!callback || callback(m, msg.message, pts, count))) break;
    } else {
      if (msg.message == WM_LBUTTONUP) break;
      if (msg.message != WM_MOUSEMOVE) continue;
      const int64_t dx = int64_t{m.x} - start.x, dy = int64_t{m.y} - start.y;
      hide();
      for (int i = 0; i < count; ++i) pts[i] = POINT{Narrow(origin[i].x + dx), Narrow(origin[i].y + dy)};
      show();
    }
  }
  hide();
  if (mode < 0 && !full) moving = --count;  // the moving vertex goes
  if (index) *index = mode == 0 ? 0 : moving;
  return true;
}
