#include "vdkit/platform/window_x11.h"

#include "vdkit/platform/x11_test.h"

#include <X11/keysym.h>

namespace {

using screenshot_test::Pixels;

struct Probe : CWnd {
  std::vector<MSG> seen;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_PAINT && message != WM_ERASEBKGND)
      seen.push_back(MSG{m_hWnd, message, wParam, lParam, 0, {}});
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST(X11OpenTest, NoDisplayMeansNoWindowSystem) {
  CX11WindowSystem x11;
  EXPECT_FALSE(x11.Open(":4711"));
  EXPECT_FALSE(x11.IsOpen());
  EXPECT_EQ(x11.GetNativeWindow(reinterpret_cast<HWND>(1)), 0u);
}

TEST_F(X11Test, FillsAreExactAndInvertingFiguresRestoreTheWindow) {
  CWnd top;
  ASSERT_TRUE(top.Create(nullptr, "vdkit", WS_POPUP | WS_VISIBLE, CRect(50, 50, 250, 200), nullptr, 0));
  Pump();
  CClientDC dc(&top);
  dc.FillSolidRect(0, 0, 200, 150, RGB(255, 255, 255));
  dc.FillSolidRect(10, 10, 30, 20, RGB(10, 200, 30));
  CBrush band(RGB(0, 192, 255));
  dc.SelectObject(&band);
  dc.PatBlt(100, 10, 20, 20, PATINVERT);
  auto px = Pixels(top);
  ASSERT_EQ(px.size(), 200u * 150u);
  auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 200 + x]; };
  EXPECT_EQ(at(10, 10), RGB(10, 200, 30));
  EXPECT_EQ(at(39, 29), RGB(10, 200, 30));
  EXPECT_EQ(at(40, 10), RGB(255, 255, 255));
  EXPECT_EQ(at(100, 10), RGB(255, 63, 0));  // white XOR the band colour
  const auto before = px;
  CPen pen(PS_SOLID, 2, RGB(255, 128, 128));
  dc.SelectObject(&pen);
  dc.SelectStockObject(NULL_BRUSH);
  const POINT path[4] = {{5, 5}, {190, 40}, {20, 140}, {5, 5}};
  for (int rop : {R2_XORPEN, R2_NOT}) {
    dc.SetROP2(rop);
    dc.Polyline(path, 4);
    dc.Rectangle(30, 30, 120, 100);
    dc.PatBlt(60, 60, 50, 50, DSTINVERT);
    EXPECT_NE(Pixels(top), before);
    screenshot_test::SaveWindow(top, rop == R2_NOT ? "x11_inverted_figures" : "x11_xor_figures");
    dc.Polyline(path, 4);
    dc.Rectangle(30, 30, 120, 100);
    dc.PatBlt(60, 60, 50, 50, DSTINVERT);
    EXPECT_EQ(Pixels(top), before);
  }
}

TEST_F(X11Test, PointerAndKeysBecomeMessagesWithGrabsAndDoubleClicks) {
  Probe w;
  ASSERT_TRUE(w.Create(nullptr, "input", WS_POPUP | WS_VISIBLE, CRect(100, 100, 300, 250), nullptr, 0));
  Pump();
  w.seen.clear();
  Click(w, 20, 30);
  Click(w, 21, 31);  // within 500 ms and 4 pixels: a double click
  Key(XK_Escape);
  Pump();
  std::vector<UINT> kinds;
  for (const MSG& m : w.seen) kinds.push_back(m.message);
  EXPECT_EQ(kinds, (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE,
                                      WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_KEYDOWN}));
  EXPECT_EQ(GET_X_LPARAM(w.seen[1].lParam), 20);
  EXPECT_EQ(GET_Y_LPARAM(w.seen[1].lParam), 30);
  EXPECT_EQ(w.seen[1].wParam, WPARAM{MK_LBUTTON});
  EXPECT_EQ(w.seen.back().wParam, WPARAM{VK_ESCAPE});
  // While captured, the pointer outside the window still talks to it, in its coordinates.
  w.SetCapture();
  w.seen.clear();
  MoveTo(w, -40, -30);
  Pump();
  ASSERT_FALSE(w.seen.empty());
  EXPECT_EQ(GET_X_LPARAM(w.seen.back().lParam), -40);
  EXPECT_EQ(GET_Y_LPARAM(w.seen.back().lParam), -30);
  ::ReleaseCapture();
  w.seen.clear();
  MoveTo(w, -40, -30);
  Pump();
  EXPECT_TRUE(w.seen.empty());
}

}  // namespace
