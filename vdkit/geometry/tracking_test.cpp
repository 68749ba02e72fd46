#include "vdkit/geometry/tracking.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

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
  void Down(int x, int y) { ws.Mouse(view, WM_LBUTTONDOWN, x, y); }
  void Up(int x, int y) { ws.Mouse(view, WM_LBUTTONUP, x, y); }
  void Click(int x, int y) { Down(x, y), Up(x, y); }
  // A script step that checks that a rubber band is on screen now.
  void ExpectBand(const char* shot = nullptr) {
    ws.Call([this, shot] {
      EXPECT_NE(ws.Surface(view), before);
      EXPECT_EQ(::GetCapture(), view.m_hWnd);
      if (shot) screenshot_test::SaveWindow(view, shot);
    });
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

TEST_F(Tracking, RectangleDraggedOutAndInvertedByItsCorner) {
  for (POINT end : {POINT{50, 40}, POINT{5, 5}}) {
    CRect rc(1, 2, 3, 4);
    Move(30, 25);
    ExpectBand(end.x == 50 ? "tracker_rect_mid_drag" : nullptr);
    Up(end.x, end.y);
    EXPECT_TRUE(TrackerRect(CPoint(10, 10), dc.get(), &view, rc, -1));
    EXPECT_EQ(rc, CRect(10, 10, end.x, end.y));  // never normalised
    ExpectClean();
  }
  ExpectPens(RGB(0, 192, 255), R2_XORPEN);
}

TEST_F(Tracking, RectangleGripsMoveTheirSidesOrTheWhole) {
  const CRect r0(20, 20, 80, 60);
  const struct {
    POINT start;
    CRect want;  // after dragging by (+5, +7)
  } rows[] = {{{20, 20}, {25, 27, 80, 60}}, {{50, 20}, {20, 27, 80, 60}}, {{80, 20}, {20, 27, 85, 60}},
              {{80, 40}, {20, 20, 85, 60}}, {{80, 60}, {20, 20, 85, 67}}, {{50, 60}, {20, 20, 80, 67}},
              {{20, 60}, {25, 20, 80, 67}}, {{20, 40}, {25, 20, 80, 60}}, {{50, 40}, {25, 27, 85, 67}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.start.x * 1000 + row.start.y);
    CRect rc = r0;
    Move(row.start.x + 2, row.start.y + 3);
    Up(row.start.x + 5, row.start.y + 7);
    EXPECT_TRUE(TrackerRect(row.start, dc.get(), &view, rc, 8));
    EXPECT_EQ(rc, row.want);
    ExpectClean();
  }
  // Outside every grip: false at once, nothing drawn, no input taken.
  CRect rc = r0;
  Up(1, 1);
  ws.ClearCalls();
  EXPECT_FALSE(TrackerRect(CPoint(100, 85), dc.get(), &view, rc, 8));
  EXPECT_TRUE(ws.GetCalls().empty() && ws.PendingSteps() == 1u && rc == r0);
  ws.ClearScript();
  // Ending where it started: false.
  Move(60, 50);
  Up(50, 40);
  EXPECT_FALSE(TrackerRect(CPoint(50, 40), dc.get(), &view, rc, 8));
  EXPECT_EQ(rc, r0);
  // No context or window: nothing to wait for, false, rc kept (new rectangles too).
  for (int size : {8, -1}) {
    EXPECT_FALSE(TrackerRect(CPoint(50, 40), nullptr, &view, rc, size));
    EXPECT_FALSE(TrackerRect(CPoint(50, 40), dc.get(), nullptr, rc, size));
    EXPECT_EQ(rc, r0);
  }
  ExpectClean();
}

TEST_F(Tracking, LineGrabsAnEndOrTheSegmentAndMovesIt) {
  const POINT a{0, 40}, b{100, 40};
  const struct {
    POINT start;
    bool grab;
    POINT p1, p2;  // after releasing at start + (10, 10)
  } rows[] = {{{2, 43}, true, {10, 50}, b},
              {{98, 37}, true, a, {110, 50}},
              {{50, 43}, true, {10, 50}, {110, 50}},
              {{50, 50}, false, a, b}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.start.x);
    POINT p1 = a, p2 = b;
    EXPECT_EQ(TrackerLine(row.start, nullptr, nullptr, p1, p2, 5), row.grab);  // the hit test alone
    EXPECT_TRUE(p1.x == a.x && p2.x == b.x);
    if (row.grab) {
      Move(row.start.x + 5, row.start.y + 5);
      ExpectBand();
      Up(row.start.x + 10, row.start.y + 10);
    }
    EXPECT_EQ(TrackerLine(row.start, dc.get(), &view, p1, p2, 5), row.grab);
    EXPECT_TRUE(CPoint(p1) == row.p1 && CPoint(p2) == row.p2);
    ExpectClean();
  }
  // The segment is not drawn at the start; Escape keeps the place reached.
  ws.ClearCalls();
  POINT p1 = a, p2 = b;
  ws.Call([&] { EXPECT_TRUE(ws.GetCalls().empty()); });
  Move(60, 60);
  ws.Key(view, 'A');  // other keys are dropped
  ws.Key(view, VK_ESCAPE);
  EXPECT_TRUE(TrackerLine(CPoint(50, 40), dc.get(), &view, p1, p2, 5));
  EXPECT_TRUE(CPoint(p1) == CPoint(10, 60) && CPoint(p2) == CPoint(110, 60));
  ExpectClean();
  ExpectPens(RGB(0, 192, 255), R2_XORPEN);
  // Tolerance below 1: a segment touched exactly is grabbed but never moves.
  Move(70, 70);
  Up(70, 70);
  EXPECT_TRUE(TrackerLine(CPoint(50, 40), dc.get(), &view, p1 = a, p2 = b, 0));
  EXPECT_TRUE(CPoint(p1) == a && CPoint(p2) == b);
  // Far ends whose difference does not fit in 32 bits are far.
  POINT far1{-2147483647, 0}, far2{-2147483647, 10};
  EXPECT_FALSE(TrackerLine(CPoint(2147483647, 5), nullptr, nullptr, far1, far2, 5));
  ExpectClean();
}

TEST_F(Tracking, PointMovesAlongItsFlagsAndKeepsThePlaceOnEscape) {
  const struct {
    int flags;
    UINT end;
    POINT want;
  } rows[] = {{1, WM_LBUTTONUP, {60, 40}},
              {2, WM_LBUTTONUP, {40, 70}},
              {3, WM_KEYDOWN, {60, 70}},
              {0, WM_LBUTTONUP, {40, 40}}};
  for (const auto& row : rows) {
    POINT pt{40, 40};
    Move(50, 55);
    Move(60, 70);
    if (row.end == WM_KEYDOWN)
      ws.Key(view, VK_ESCAPE);
    else
      Up(60, 70);
    EXPECT_TRUE(TrackerPoint(CPoint(40, 40), dc.get(), &view, pt, 10, row.flags));
    EXPECT_TRUE(CPoint(pt) == row.want) << row.flags;
    ExpectClean();
  }
  POINT pt{40, 40};
  EXPECT_FALSE(TrackerPoint(CPoint(40, 40), nullptr, &view, pt, 10, 3));
  EXPECT_FALSE(TrackerPoint(CPoint(40, 40), dc.get(), nullptr, pt, 10, 3));
  EXPECT_TRUE(CPoint(pt) == CPoint(40, 40));
}

TEST_F(Tracking, DigitisingStopsAtTheCapacityOrADoubleClick) {
  POINT pts[12];
  auto fill = [&] {
    for (POINT& p : pts) p = POINT{-7, -7};
  };
  // Capacity 3: the click at A fills it; S and A are kept.
  fill();
  int count = 3, index = -1;
  Move(30, 10);
  Click(30, 10);
  EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, &index, nullptr));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(CPoint(pts[0]) == CPoint(10, 10) && CPoint(pts[1]) == CPoint(30, 10));
  EXPECT_TRUE(CPoint(pts[3]) == CPoint(-7, -7));
  ExpectClean();
  // A click at A and a double click at B give S, A, B.
  fill();
  count = 10;
  Click(30, 10);
  Move(40, 50);
  ExpectBand("tracker_polyline_mid_digitise");
  Click(40, 50);
  ws.Mouse(view, WM_LBUTTONDBLCLK, 40, 50);
  EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, true, -1, &index, nullptr));
  EXPECT_EQ(count, 3);
  EXPECT_TRUE(CPoint(pts[1]) == CPoint(30, 10) && CPoint(pts[2]) == CPoint(40, 50));
  ExpectClean();
  ExpectPens(RGB(255, 128, 128), R2_NOT);
  // Capacity 2: the first click fills the array and is kept; nothing past it.
  fill();
  count = 2;
  Click(30, 10);
  EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, &index, nullptr));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(CPoint(pts[1]) == CPoint(30, 10) && CPoint(pts[2]) == CPoint(-7, -7));
  ExpectClean();
  // Below 2, or no array: false, nothing written.
  fill();
  count = 1;
  EXPECT_FALSE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, &index, nullptr));
  EXPECT_FALSE(
      TrackerPolyline(CPoint(10, 10), dc.get(), &view, nullptr, count = 5, false, -1, &index, nullptr));
  EXPECT_TRUE(count == 5 && CPoint(pts[0]) == CPoint(-7, -7));
  // Right button and Escape end with what was clicked.
  for (UINT end : {UINT{WM_RBUTTONDOWN}, UINT{WM_KEYDOWN}}) {
    count = 10;
    Click(30, 10);
    Move(70, 70);
    if (end == WM_KEYDOWN)
      ws.Key(view, VK_ESCAPE);
    else
      ws.Mouse(view, end, 70, 70);
    EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, nullptr, nullptr));
    EXPECT_EQ(count, 2);
    ExpectClean();
  }
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
  Click(110, 10);
  Click(30, 10);
  ws.Key(view, VK_ESCAPE);
  EXPECT_TRUE(TrackerPolyline(CPoint(10, 10), dc.get(), &view, pts, count, false, -1, nullptr, refuseFar));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(CPoint(pts[1]) == CPoint(30, 10));
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
  Move(65, 70);
  Up(65, 70);  // refused: goes on
  Move(70, 75);
  Up(70, 75);
  EXPECT_TRUE(TrackerPolyline(CPoint(61, 62), dc.get(), &view, square, count, true, 5, &index, holdOnce));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(CPoint(square[2]) == CPoint(69, 73));  // m + (vertex - start)
  EXPECT_FALSE(TrackerPolyline(CPoint(40, 40), dc.get(), &view, square, count, true, 5, &index, nullptr));
  ExpectClean();
  // Moving: every vertex by the last move; the release point does not count.
  Move(45, 45);
  Up(90, 90);
  EXPECT_TRUE(TrackerPolyline(CPoint(40, 40), dc.get(), &view, square, count, true, 0, &index, nullptr));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(CPoint(square[0]) == CPoint(25, 25) && CPoint(square[2]) == CPoint(74, 78));
  ExpectClean();
}

TEST_F(Tracking, HitTestsWithoutContextNeverOverflowAndNeverWriteTheIndex) {
  POINT pts[3] = {{0, 0}, {100, 0}, {-2147483647, 0}};
  int count = 3, index = -9;
  EXPECT_TRUE(TrackerPolyline(CPoint(3, 3), nullptr, nullptr, pts, count, false, 5, &index, nullptr));
  EXPECT_TRUE(TrackerPolyline(CPoint(103, 0), nullptr, &view, pts, count, false, -5, &index, nullptr));
  EXPECT_FALSE(
      TrackerPolyline(CPoint(4, 4), nullptr, nullptr, pts, count, false, 5, &index, nullptr));  // 32 >= 25
  EXPECT_FALSE(TrackerPolyline(CPoint(0, 0), nullptr, nullptr, pts, count, false, 0, &index, nullptr));
  // 2147483647 - (-2147483647) wraps to -2 in 32 bits: it must stay far.
  EXPECT_FALSE(
      TrackerPolyline(CPoint(2147483647, 0), nullptr, nullptr, pts, count, false, 5, &index, nullptr));
  EXPECT_TRUE(TrackerPolyline(CPoint(0, 2147483647), nullptr, nullptr, pts, count, false, -2147483647 - 1,
                              &index,
                              nullptr));  // (2^31 - 1)^2 < (2^31)^2, squared in 64 bits
  EXPECT_EQ(index, -9);
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
