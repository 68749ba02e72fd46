#include "vdkit/geometry/tracking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "vdkit/platform/screenshot_test.h"
#include "vdkit/platform/window_headless.h"

namespace {

using screenshot_test::Settle;

// A view with something under the rubber band, and an optional zoom.
struct PatternView : CView {
  int zoom = 1;  // logical units per pixel
  void OnDraw(CDC* dc) override {
    CRect r;
    GetClientRect(&r);
    for (int y = 0; y < r.Height(); y += 10) dc->FillSolidRect(0, y, r.Width(), 5, RGB(200, 220, 240));
    dc->MoveTo(0, 0);
    dc->LineTo(r.Width(), r.Height());
  }
  void OnPrepareDC(CDC* dc, CPrintInfo*) override {
    if (zoom == 1) return;
    dc->SetMapMode(MM_ANISOTROPIC);
    dc->SetWindowExt(zoom, zoom);
    dc->SetViewportExt(1, 1);
  }
};

struct Tracking : ::testing::Test {
  CHeadlessWindowSystem ws;
  PatternView view;
  std::unique_ptr<CClientDC> dc;
  std::vector<COLORREF> before;

  void SetUp() override {
    AfxSetWindowSystem(&ws);
    ASSERT_TRUE(view.Create(nullptr, "view", WS_POPUP | WS_VISIBLE, CRect(0, 0, 120, 90), nullptr, 0));
    Settle();
    before = ws.Surface(view);
    dc = std::make_unique<CClientDC>(&view);
    ws.ClearCalls();
  }
  void TearDown() override {
    dc.reset();
    view.DestroyWindow();
    AfxSetWindowSystem(nullptr);
  }
  void Move(int x, int y) { ws.Mouse(view, WM_MOUSEMOVE, x, y); }
  void Up(int x, int y) { ws.Mouse(view, WM_LBUTTONUP, x, y); }
  // A script step that checks that a rubber band is on screen now.
  void ExpectBand(const std::string& shot = "") {
    ws.Call([this, shot] {
      EXPECT_NE(ws.Surface(view), before);
      EXPECT_EQ(::GetCapture(), view.m_hWnd);
      if (!shot.empty()) screenshot_test::SaveWindow(view, shot);
    });
  }
  // Input steps: "mX,Y" move, "uX,Y" left button up, "cX,Y" click, "2X,Y" double
  // click, "rX,Y" right button, "e" Escape, "k" another key, "b" or "b:name" a
  // rubber band on screen (saved as name), "n" nothing drawn yet.
  void Play(const std::string& script) {
    std::istringstream in(script);
    for (std::string step; in >> step;) {
      int x = 0, y = 0;
      std::sscanf(step.c_str() + 1, "%d,%d", &x, &y);
      if (step[0] == 'm') Move(x, y);
      if (step[0] == 'u') Up(x, y);
      if (step[0] == 'c') ws.Mouse(view, WM_LBUTTONDOWN, x, y), Up(x, y);
      if (step[0] == '2') ws.Mouse(view, WM_LBUTTONDBLCLK, x, y);
      if (step[0] == 'r') ws.Mouse(view, WM_RBUTTONDOWN, x, y);
      if (step[0] == 'e' || step[0] == 'k') ws.Key(view, step[0] == 'e' ? UINT{VK_ESCAPE} : UINT{'A'});
      if (step[0] == 'n') ws.Call([this] { EXPECT_TRUE(ws.GetCalls().empty()); });
      if (step[0] == 'b') ExpectBand(step.substr(std::min<size_t>(2, step.size())));
    }
  }
  // "x,y x,y ..." of n vertices.
  static std::string Vertices(const POINT* pts, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += (i ? " " : "") + std::to_string(pts[i].x) + "," + std::to_string(pts[i].y);
    return s;
  }
  // Every way out: the view as it was, no capture, the context's state back.
  void ExpectClean() {
    EXPECT_EQ(ws.Surface(view), before);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(ws.GetNativeCapture(), nullptr);
    EXPECT_EQ(dc->GetROP2(), R2_COPYPEN);
    EXPECT_EQ(ws.PendingSteps(), 0u);
  }
  // The pens of every figure drawn.
  void ExpectPens(COLORREF colour, int rop2) {
    for (const auto& c : ws.GetCalls()) {
      if (c.op != CHeadlessWindowSystem::SDrawCall::kPolyline) continue;
      EXPECT_EQ(c.colour, colour);
      EXPECT_EQ(c.rop2, rop2);
      EXPECT_EQ(c.width, 2);
    }
  }
};

// {tracker, start, parameter, input, answer, geometry after}. R: TrackerRect on
// (20, 20, 80, 60); size -1 drags a new one out, never normalised; size 8 drags
// the grip under the start (inside: the whole); ending where it started is no
// change. L: TrackerLine on (0, 40) - (100, 40): an end or the segment within
// the tolerance; below 1 the segment is grabbed but stays. P: TrackerPoint at
// (40, 40), size 10, flag bit 1 moving x, bit 2 y. Escape keeps the place reached.
TEST_F(Tracking, RectanglesLinesAndPointsFollowTheirInput) {
  const struct {
    char tracker;
    POINT start;
    int param;
    const char* input;
    bool answer;
    const char* after;
  } rows[] = {
      {'R', {10, 10}, -1, "m30,25 b:tracker_rect_mid_drag u50,40", true, "10,10 50,40"},
      {'R', {10, 10}, -1, "m30,25 b u5,5", true, "10,10 5,5"},
      {'R', {20, 20}, 8, "m22,23 u25,27", true, "25,27 80,60"},
      {'R', {50, 20}, 8, "m52,23 u55,27", true, "20,27 80,60"},
      {'R', {80, 20}, 8, "m82,23 u85,27", true, "20,27 85,60"},
      {'R', {80, 40}, 8, "m82,43 u85,47", true, "20,20 85,60"},
      {'R', {80, 60}, 8, "m82,63 u85,67", true, "20,20 85,67"},
      {'R', {50, 60}, 8, "m52,63 u55,67", true, "20,20 80,67"},
      {'R', {20, 60}, 8, "m22,63 u25,67", true, "25,20 80,67"},
      {'R', {20, 40}, 8, "m22,43 u25,47", true, "25,20 80,60"},
      {'R', {50, 40}, 8, "m52,43 u55,47", true, "25,27 85,67"},
      {'R', {50, 40}, 8, "m60,50 u50,40", false, "20,20 80,60"},
      {'L', {2, 43}, 5, "m7,48 b u12,53", true, "10,50 100,40"},
      {'L', {98, 37}, 5, "m103,42 b u108,47", true, "0,40 110,50"},
      {'L', {50, 43}, 5, "m55,48 b u60,53", true, "10,50 110,50"},
      {'L', {50, 50}, 5, "", false, "0,40 100,40"},
      {'L', {50, 40}, 5, "n m60,60 k e", true, "10,60 110,60"},
      {'L', {50, 40}, 0, "m70,70 u70,70", true, "0,40 100,40"},
      {'P', {40, 40}, 1, "m50,55 m60,70 u60,70", true, "60,40"},
      {'P', {40, 40}, 2, "m50,55 m60,70 u60,70", true, "40,70"},
      {'P', {40, 40}, 3, "m50,55 m60,70 e", true, "60,70"},
      {'P', {40, 40}, 0, "m50,55 m60,70 u60,70", true, "40,40"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    POINT g[2] = {{20, 20}, {80, 60}};
    if (row.tracker != 'R') g[0] = row.tracker == 'L' ? POINT{0, 40} : POINT{40, 40}, g[1] = POINT{100, 40};
    // The hit test alone (no context) moves nothing.
    EXPECT_TRUE(row.tracker != 'L' ||
                TrackerLine(row.start, nullptr, nullptr, g[0], g[1], row.param) == row.answer);
    Play(row.input);
    ws.ClearCalls();
    CRect rc(g[0].x, g[0].y, g[1].x, g[1].y);
    const bool answer = row.tracker == 'R'   ? TrackerRect(row.start, dc.get(), &view, rc, row.param)
                        : row.tracker == 'L' ? TrackerLine(row.start, dc.get(), &view, g[0], g[1], row.param)
                                             : TrackerPoint(row.start, dc.get(), &view, g[0], 10, row.param);
    if (row.tracker == 'R') g[0] = rc.TopLeft(), g[1] = rc.BottomRight();
    EXPECT_EQ(answer, row.answer);
    EXPECT_EQ(Vertices(g, row.tracker == 'P' ? 1 : 2), row.after);
    if (row.tracker != 'P') ExpectPens(RGB(0, 192, 255), R2_XORPEN);
    ExpectClean();
  }
  // Outside every grip: false at once, nothing drawn, no input taken.
  CRect rc(20, 20, 80, 60);
  Up(1, 1);
  ws.ClearCalls();
  EXPECT_FALSE(TrackerRect(CPoint(100, 85), dc.get(), &view, rc, 8));
  EXPECT_TRUE(ws.GetCalls().empty() && ws.PendingSteps() == 1u);
  ws.ClearScript();
  // No context or window: nothing to wait for, false, nothing moved (new rectangles too).
  POINT pt{40, 40};
  for (int size : {8, -1})
    EXPECT_FALSE(TrackerRect(CPoint(50, 40), nullptr, &view, rc, size) ||
                 TrackerRect(CPoint(50, 40), dc.get(), nullptr, rc, size));
  EXPECT_FALSE(TrackerPoint(CPoint(40, 40), nullptr, &view, pt, 10, 3) ||
               TrackerPoint(CPoint(40, 40), dc.get(), nullptr, pt, 10, 3));
  EXPECT_TRUE(rc == CRect(20, 20, 80, 60) && CPoint(pt) == CPoint(40, 40));
  // Line ends whose difference does not fit in 32 bits are far.
  POINT far1{-2147483647, 0}, far2{-2147483647, 10};
  EXPECT_FALSE(TrackerLine(CPoint(2147483647, 5), nullptr, nullptr, far1, far2, 5));
  ExpectClean();
}

// The marker square: size 5 at (20, 30) has its corner at (18, 28); every
// pixel in it inverted, none outside, and a second call restores the view.
TEST_F(Tracking, DrawPtTrackInvertsItsSquareAndASecondCallRestores) {
  DrawPtTrack(dc.get(), 20, 30, 5);
  int w = 0;
  const std::vector<COLORREF> px = ws.Surface(view, &w);
  ASSERT_EQ(px.size(), before.size());
  int inverted = 0;
  for (size_t i = 0; i < px.size(); ++i) {
    const int x = static_cast<int>(i) % w, y = static_cast<int>(i) / w;
    const bool inside = x >= 18 && x < 23 && y >= 28 && y < 33;
    ASSERT_EQ(px[i], inside ? ~before[i] & 0xFFFFFFu : before[i]) << x << "," << y;
    inverted += inside;
  }
  EXPECT_EQ(inverted, 25);
  DrawPtTrack(dc.get(), 20, 30, 5);
  DrawPtTrack(nullptr, 20, 30, 5);  // no context: nothing
  ExpectClean();
}

TEST_F(Tracking, DigitisingStopsAtTheCapacityOrADoubleClick) {
  // {capacity, input, closed, vertices kept, index}: the click that fills the array
  // ends digitising and is kept; a double click, the right button and Escape end
  // with what was clicked. Nothing is written past the capacity.
  const struct {
    int capacity;
    const char* input;
    bool closed;
    const char* kept;
    int index;
  } rows[] = {
      {3, "m30,10 c30,10", false, "10,10 30,10", 2},
      {10, "c30,10 m40,50 b:tracker_polyline_mid_digitise c40,50 240,50", true, "10,10 30,10 40,50", 3},
      {2, "c30,10", false, "10,10 30,10", 1},
      {10, "c30,10 m70,70 r70,70", false, "10,10 30,10", 2},
      {10, "c30,10 m70,70 e", false, "10,10 30,10", 2}};
  POINT pts[12];
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    for (POINT& p : pts) p = POINT{-7, -7};
    int count = row.capacity, index = -1;
    Play(row.input);
    EXPECT_TRUE(
        TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, row.closed, -1, &index, nullptr));
    EXPECT_EQ(Vertices(pts, count), row.kept);
    EXPECT_EQ(index, row.index);
    for (int i = row.capacity; i < 12; ++i) EXPECT_EQ(pts[i].x, -7);
    ExpectClean();
  }
  ExpectPens(RGB(255, 128, 128), R2_NOT);
  // Below 2, or no array: false, nothing written.
  for (POINT& p : pts) p = POINT{-7, -7};
  int count = 1;
  EXPECT_FALSE(
      TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, nullptr, nullptr) ||
      TrackerPolyline(CPoint(10, 10), dc.get(), &view, nullptr, count = 5, false, -1, nullptr, nullptr));
  EXPECT_TRUE(count == 5 && CPoint(pts[0]) == CPoint(-7, -7));
}

TEST_F(Tracking, PolylineCallbacksRefuseVerticesAndHoldTheEnd) {
  static std::vector<unsigned long> told;
  static int refusals;
  POINT pts[8];
  int count = 8;
  // Vertices right of x = 100 are refused; a refused start is no polyline.
  auto refuseFar = [](POINT& pt, unsigned long msg, POINT*, int) {
    told.push_back(msg);
    return pt.x <= 100;
  };
  told.clear();
  Play("c110,10 c30,10 e");
  EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, nullptr, refuseFar));
  EXPECT_EQ(Vertices(pts, count), "10,10 30,10");
  EXPECT_EQ(told, (std::vector<unsigned long>{WM_LBUTTONDOWN, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN,
                                              WM_LBUTTONUP}));
  count = 8;
  EXPECT_FALSE(TrackerPolyline(CPoint(110, 10), dc.get(), &view, pts, count, false, -1, nullptr, refuseFar));
  ExpectClean();
  // Editing: the grabbed vertex follows; the callback keeps tracking past the first release.
  POINT square[4] = {{20, 20}, {60, 20}, {60, 60}, {20, 60}};
  count = 4;
  int index = -1;
  refusals = 2;  // told twice at a release: after the change, then for the end test
  auto holdOnce = [](POINT&, unsigned long msg, POINT*, int) {
    return msg != WM_LBUTTONUP || refusals-- <= 0;
  };
  Play("m65,70 u65,70 m70,75 u70,75");  // the first release refused: goes on
  EXPECT_TRUE(TrackerPolyline(CPoint(61, 62), dc.get(), &view, square, count, true, 5, &index, holdOnce));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Vertices(square, 4), "20,20 60,20 69,73 20,60");  // m + (vertex - start)
  EXPECT_FALSE(TrackerPolyline(CPoint(40, 40), dc.get(), &view, square, count, true, 5, &index, nullptr));
  ExpectClean();
  // Moving: every vertex by the last move; the release point does not count.
  Play("m45,45 u90,90");
  EXPECT_TRUE(TrackerPolyline(CPoint(40, 40), dc.get(), &view, square, count, true, 0, &index, nullptr));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(Vertices(square, 4), "25,25 65,25 74,78 25,65");
  ExpectClean();
}

// {x, y, tolerance, with window, hit}: a vertex within |tolerance| of the point,
// squared in 64 bits: 2147483647 - (-2147483647) wraps to -2 in 32 bits and
// must stay far, and (2^31 - 1)^2 < (2^31)^2 is near.
TEST_F(Tracking, HitTestsWithoutContextNeverOverflowAndNeverWriteTheIndex) {
  POINT pts[3] = {{0, 0}, {100, 0}, {-2147483647, 0}};
  const int far = 2147483647;
  const struct {
    int x, y, tol;
    bool window, hit;
  } rows[] = {{3, 3, 5, false, true},  {103, 0, -5, true, true},  {4, 4, 5, false, false},
              {0, 0, 0, false, false}, {far, 0, 5, false, false}, {0, far, -far - 1, false, true}};
  for (const auto& r : rows) {
    int count = 3, index = -9;
    EXPECT_EQ(TrackerPolyline(CPoint(r.x, r.y), nullptr, r.window ? &view : nullptr, pts, count, false, r.tol,
                              &index, nullptr),
              r.hit)
        << r.x << "," << r.y;
    EXPECT_EQ(index, -9);
  }
}

TEST_F(Tracking, GetPointerReportsMouseEventsAndDispatchesTheRest) {
  std::vector<UINT> seen;
  struct Other : CWnd {
    std::vector<UINT>* seen;
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
      seen->push_back(m);
      return CWnd::WindowProc(m, w, l);
    }
  } other;
  other.seen = &seen;
  ASSERT_TRUE(other.Create(nullptr, "other", WS_POPUP, CRect(0, 0, 5, 5), nullptr, 0));
  view.zoom = 3;  // positions come back in the view's logical units
  {
    CMouseTracking mt(&view, true);
    EXPECT_EQ(::GetCapture(), view.m_hWnd);
    POINT pt{0, 0};
    ws.Mouse(view, WM_RBUTTONDOWN, 1, 1);
    EXPECT_EQ(mt.GetPointer(&pt), MOUSE_NONE);
    ws.Post(other, WM_USER);
    ws.Key(view, 'Q');
    ws.Mouse(view, WM_MOUSEMOVE, 10, 20);
    EXPECT_EQ(mt.GetPointer(&pt), MOUSE_MOVE);
    EXPECT_TRUE(CPoint(pt) == CPoint(30, 60));
    EXPECT_EQ(seen, std::vector<UINT>{WM_USER});  // another window's message dispatched, the key dropped
    ws.Mouse(view, WM_LBUTTONDBLCLK, 1, 1);
    EXPECT_EQ(mt.GetPointer(&pt), MOUSE_LDBLCLK);
    ws.Key(view, VK_ESCAPE);
    EXPECT_EQ(mt.GetPointer(&pt), MOUSE_NONE);
    EXPECT_EQ(mt.GetMouseFlag(), MOUSE_NONE);
    EXPECT_EQ(mt.GetPointer(&pt), MOUSE_NONE);  // no more input
  }
  EXPECT_EQ(::GetCapture(), nullptr);
  CMouseTracking fromDC(dc.get());
  EXPECT_EQ(::GetCapture(), view.m_hWnd);
  CMouseTracking none(static_cast<CDC*>(nullptr));
  POINT pt;
  ws.Mouse(view, WM_LBUTTONUP, 1, 1);
  EXPECT_EQ(none.GetPointer(&pt), MOUSE_LUP);  // watching every window
  view.zoom = 1;
}

TEST_F(Tracking, DestroyedWindowOrQuitEndsEveryTrackerCleanly) {
  // Quit: the tracker ends, leaves nothing behind and posts the quit again.
  for (int kind = 0; kind < 4; ++kind) {
    SCOPED_TRACE(kind);
    CRect rc(20, 20, 80, 60);
    POINT p1{0, 40}, p2{100, 40}, pt{40, 40}, pts[4];
    int count = 4;
    Move(45, 45);
    ws.Call([] { ::PostQuitMessage(7); });
    bool done = kind == 0   ? TrackerRect(CPoint(50, 40), dc.get(), &view, rc, 8)
                : kind == 1 ? TrackerLine(CPoint(50, 40), dc.get(), &view, p1, p2, 5)
                : kind == 2 ? TrackerPoint(CPoint(40, 40), dc.get(), &view, pt, 10, 3)
                            : TrackerPolyline(CPoint(40, 40), dc.get(), &view, pts, count, false, -1, nullptr,
                                              nullptr);
    EXPECT_TRUE(done);
    ExpectClean();
    MSG msg;
    EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), FALSE);
  }
  // The view destroyed by a handler running inside the tracker.
  CRect rc(20, 20, 80, 60);
  Move(45, 45);
  ws.Call([this] { view.DestroyWindow(); });
  Move(50, 50);
  TrackerRect(CPoint(50, 40), dc.get(), &view, rc, 8);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_EQ(ws.GetNativeCapture(), nullptr);
  EXPECT_EQ(dc->GetROP2(), R2_COPYPEN);
  EXPECT_EQ(dc->GetWindow(), nullptr);
  dc->Rectangle(0, 0, 5, 5);  // a context that outlived its window draws nothing
  ws.ClearScript();
}

TEST_F(Tracking, RandomSessionsAlwaysEndClean) {
  std::mt19937 rng(6);
  std::uniform_int_distribution<int> pos(-20, 140), len(0, 10), what(0, 7), kind(0, 4);
  const UINT messages[] = {WM_MOUSEMOVE,     WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP,
                           WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,   WM_KEYDOWN};
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    for (int n = len(rng); n > 0; --n) {
      const UINT m = messages[what(rng)];
      if (m == WM_KEYDOWN)
        ws.Key(view, n % 3 ? UINT{VK_ESCAPE} : UINT{'Z'});
      else
        ws.Mouse(view, m, pos(rng), pos(rng));
    }
    POINT pts[6];
    for (POINT& p : pts) p = POINT{-99, -99};
    const int capacity = 2 + round % 4;
    int count = capacity;
    CRect rc(20, 20, 80, 60);
    POINT p1{0, 40}, p2{100, 40}, pt{40, 40};
    switch (kind(rng)) {
      case 0:
        TrackerRect(CPoint(50, 40), dc.get(), &view, rc, round % 2 ? 8 : -1);
        break;
      case 1:
        TrackerLine(CPoint(50, 42), dc.get(), &view, p1, p2, 5);
        break;
      case 2:
        TrackerPoint(CPoint(40, 40), dc.get(), &view, pt, 10, round % 4);
        break;
      case 3:
        TrackerPolyline(CPoint(40, 40), dc.get(), &view, pts, count, round % 2, -1, nullptr, nullptr);
        EXPECT_TRUE(count >= 1 && count <= capacity);
        for (int i = capacity; i < 6; ++i) EXPECT_EQ(pts[i].x, -99);
        break;
      default: {
        POINT square[4] = {{20, 20}, {60, 20}, {60, 60}, {20, 60}};
        count = 4;
        TrackerPolyline(CPoint(21, 21), dc.get(), &view, square, count, true, round % 2 ? 5 : 0, nullptr,
                        nullptr);
      }
    }
    ws.ClearScript();
    Settle();
    ExpectClean();
  }
}

}  // namespace
