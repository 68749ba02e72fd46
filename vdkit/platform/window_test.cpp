#include "vdkit/platform/window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "vdkit/platform/resources.h"
#include "vdkit/platform/screenshot_test.h"
#include "vdkit/platform/window_headless.h"

namespace {

using screenshot_test::Settle;

struct Headless : ::testing::Test {
  CHeadlessWindowSystem ws;
  void SetUp() override { AfxSetWindowSystem(&ws); }
  void TearDown() override { AfxSetWindowSystem(nullptr); }
};

// Records the messages its handlers see.
struct Probe : CWnd {
  std::vector<UINT>* log;
  explicit Probe(std::vector<UINT>* l) : log(l) {}
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    log->push_back(message);
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST(WindowSystemTest, WithoutOneNothingIsCreatedAndNoDisplayLibraryIsLoaded) {
  ASSERT_EQ(AfxGetWindowSystem(), nullptr);
  CWnd w;
  EXPECT_FALSE(w.Create(nullptr, "x", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0));
  MSG msg;
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), -1);  // nothing can ever come
  EXPECT_FALSE(::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
  std::ifstream maps("/proc/self/maps");
  const std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all.find("libX11"), std::string::npos);
}

TEST_F(Headless, QueueOrderFiltersQuitAndStaleHandles) {
  std::vector<UINT> log;
  Probe a(&log), b(&log);
  ASSERT_TRUE(a.Create(nullptr, "a", WS_POPUP | WS_VISIBLE, CRect(0, 0, 20, 20), nullptr, 0));
  ASSERT_TRUE(b.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(2, 2, 8, 8), &a, 7));
  ::PostMessage(b, WM_USER + 1, 0, 0);
  ::PostMessage(a, WM_USER + 2, 0, 0);
  ::PostQuitMessage(3);
  MSG msg;
  // A filter skips ahead; posted messages come before the quit, the quit before paint.
  ASSERT_TRUE(::PeekMessage(&msg, a, WM_USER, WM_USER + 5, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2u);
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_USER + 1u);
  EXPECT_FALSE(::TranslateMessage(&msg));  // nothing is translated
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ASSERT_TRUE(::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  EXPECT_EQ(msg.hwnd, a.m_hWnd);  // parents paint first; paint stays until painted
  Settle();
  EXPECT_FALSE(::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  // Messages for a destroyed window are dropped; its handle never comes back.
  const HWND old = b.m_hWnd;
  ::PostMessage(old, WM_USER + 3, 0, 0);
  log.clear();
  b.DestroyWindow();
  EXPECT_EQ(log, std::vector<UINT>{WM_DESTROY});
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_FALSE(::PostMessage(old, WM_USER, 0, 0));
  Settle();
  EXPECT_EQ(log, std::vector<UINT>{WM_DESTROY});
  Probe c(&log);
  ASSERT_TRUE(c.Create(nullptr, nullptr, WS_CHILD, CRect(0, 0, 1, 1), &a, 7));
  EXPECT_NE(c.m_hWnd, old);
  // The script ends: no more input will come.
  ws.Post(a, WM_USER + 4);
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), -1);
}

TEST_F(Headless, DestroyingCascadesToChildrenOwnedWindowsAndTheMainWindow) {
  struct Self : CWnd {
    bool* gone;
    explicit Self(bool* g) : gone(g) {}
    void PostNcDestroy() override {
      *gone = true;
      delete this;
    }
  };
  CFrameWnd frame;
  ASSERT_TRUE(frame.Create(nullptr, "main"));
  bool childGone = false, ownedGone = false;
  auto* child = new Self(&childGone);
  auto* owned = new Self(&ownedGone);
  ASSERT_TRUE(child->Create(nullptr, nullptr, WS_CHILD, CRect(0, 0, 5, 5), &frame, 1));
  ASSERT_TRUE(owned->Create(nullptr, "owned", WS_POPUP, CRect(0, 0, 5, 5), &frame, 0));
  const HWND childHandle = child->m_hWnd;
  EXPECT_EQ(child->GetParent(), &frame);
  EXPECT_EQ(owned->GetParent(), &frame);  // a top-level window's owner
  AfxGetThread()->m_pMainWnd = &frame;
  EXPECT_EQ(AfxGetMainWnd(), &frame);
  ::SetCapture(childHandle);
  frame.SendMessage(WM_CLOSE);  // the default closes the window
  EXPECT_TRUE(childGone && ownedGone);
  EXPECT_EQ(frame.m_hWnd, nullptr);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_EQ(ws.GetNativeCapture(), nullptr);
  EXPECT_FALSE(ws.IsNativeWindow(childHandle));
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
  MSG msg;
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), FALSE);  // the main window's end quits
}

TEST_F(Headless, FrameLaysOutStatusBarAndViewAndDrawsControlsByClass) {
  struct View : CView {
    void OnDraw(CDC* dc) override { dc->FillSolidRect(0, 0, 4, 4, RGB(1, 2, 3)); }
  } view;
  CFrameWnd frame;
  CStatusBar status;
  ASSERT_TRUE(frame.Create(nullptr, "Map", WS_OVERLAPPEDWINDOW, CRect(10, 20, 210, 170)));
  ASSERT_TRUE(status.Create(&frame));
  ASSERT_TRUE(view.Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, CRect(), &frame, AFX_IDW_PANE_FIRST));
  frame.RecalcLayout();
  frame.ShowWindow(SW_SHOW);
  status.SetPaneText(0, "Ready");
  Settle();
  CRect v, s;
  view.GetWindowRect(&v);
  status.GetWindowRect(&s);
  EXPECT_EQ(v, CRect(10, 20, 210, 170 - CStatusBar::Height()));
  EXPECT_EQ(s, CRect(10, 170 - CStatusBar::Height(), 210, 170));
  EXPECT_EQ(frame.GetMessageBar(), &status);
  EXPECT_EQ(frame.GetActiveView(), &view);
  EXPECT_EQ(ws.GetNativeTitle(frame), "Map");
  int w = 0;
  const auto px = ws.Surface(frame, &w);
  EXPECT_EQ(px[0], RGB(1, 2, 3));        // the view's own drawing
  EXPECT_EQ(px[4], RGB(255, 255, 255));  // its background
  bool ready = false;                    // the status bar paints its text
  for (const auto& c : ws.GetCalls())
    ready |= c.op == CHeadlessWindowSystem::SDrawCall::kText && c.text == "Ready";
  EXPECT_TRUE(ready);
}

TEST_F(Headless, DialogFromTemplateFindsControlsSubclassesAndRoutesCancel) {
  SDialogTemplate t{WS_POPUP | WS_CAPTION,
                    0,
                    0,
                    100,
                    40,
                    "Ask",
                    "MS Sans Serif",
                    8,
                    {{WC_STATIC, "question", WS_VISIBLE, 4, 4, 92, 10, 100},
                     {WC_BUTTON, "Cancel", WS_VISIBLE, 50, 20, 40, 14, IDCANCEL},
                     {PROGRESS_CLASS, "", WS_VISIBLE, 4, 20, 40, 10, 101}}};
  SetDialogTemplate("Ask", &t);
  struct Dlg : CDialog {
    CStatic bar;
    int cancels = 0;
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 101, bar); }
    void OnCancel() override { ++cancels; }
  } dlg;
  EXPECT_FALSE(dlg.Create("no such template"));
  ASSERT_TRUE(dlg.Create("ASK"));  // names ignore case
  EXPECT_NE(dlg.bar.m_hWnd, nullptr);
  EXPECT_EQ(dlg.GetDlgItem(101), &dlg.bar);
  CRect r;
  dlg.GetWindowRect(&r);
  EXPECT_EQ(r.Size(), MapDialogUnits(0, 0, 100, 40).Size());
  EXPECT_EQ(MapDialogUnits(4, 8, 40, 16), CRect(6, 13, 66, 39));  // 6 x 13 font: x * 6 / 4, y * 13 / 8
  dlg.ShowWindow(SW_SHOW);
  CWnd* cancel = dlg.GetDlgItem(IDCANCEL);
  auto click = [&] {
    ws.Mouse(*cancel, WM_LBUTTONDOWN, 3, 3);
    ws.Mouse(*cancel, WM_LBUTTONUP, 3, 3);
    MSG msg;
    while (::GetMessage(&msg, nullptr, 0, 0) > 0) ::DispatchMessage(&msg);
  };
  click();
  EXPECT_EQ(dlg.cancels, 1);
  cancel->EnableWindow(FALSE);  // a disabled button gets no clicks
  click();
  EXPECT_EQ(dlg.cancels, 1);
  ws.Mouse(*cancel, WM_LBUTTONDOWN, 3, 3);  // released outside: no click
  ws.Mouse(*cancel, WM_LBUTTONUP, 300, 3);
  cancel->EnableWindow(TRUE);
  click();
  EXPECT_EQ(dlg.cancels, 2);
  dlg.DestroyWindow();
  EXPECT_EQ(dlg.bar.m_hWnd, nullptr);
  SetDialogTemplate("Ask", nullptr);
  EXPECT_EQ(FindDialogTemplate("Ask"), nullptr);
}

TEST_F(Headless, SwitchingOrLosingTheWindowSystemForgetsEveryWindow) {
  CWnd w;
  ASSERT_TRUE(w.Create(nullptr, "a", WS_POPUP | WS_VISIBLE, CRect(0, 0, 4, 4), nullptr, 0));
  {
    CHeadlessWindowSystem other;
    AfxSetWindowSystem(&other);
    EXPECT_EQ(w.m_hWnd, nullptr);  // destroyed with the old system
    ASSERT_TRUE(w.Create(nullptr, "b", WS_POPUP, CRect(0, 0, 4, 4), nullptr, 0));
  }  // gone while its window lives
  EXPECT_EQ(w.m_hWnd, nullptr);
  EXPECT_EQ(AfxGetWindowSystem(), nullptr);
  AfxSetWindowSystem(&ws);
}

// ---- Device contexts -------------------------------------------------------------------

TEST(RasterOpsTest, SixteenMixesAreTheBitwiseFunctionsTheirNamesSay) {
  const COLORREF p = 0x00F0CC55, d = 0x003C0FA3, m = 0xFFFFFF;
  const COLORREF want[17] = {0,
                             0,
                             ~(p | d) & m,
                             ~p & d,
                             ~p & m,
                             p & ~d & m,
                             ~d & m,
                             p ^ d,
                             ~(p & d) & m,
                             p & d,
                             ~(p ^ d) & m,
                             d,
                             (~p | d) & m,
                             p,
                             (p | ~d) & m,
                             p | d,
                             m};
  for (int r = R2_BLACK; r <= R2_WHITE; ++r) EXPECT_EQ(ApplyRop2(r, p, d), want[r]) << r;
  EXPECT_EQ(ApplyRop2(0, p, d), d);
}

struct Canvas : Headless {
  CWnd wnd;
  void SetUp() override {
    Headless::SetUp();
    ASSERT_TRUE(wnd.Create(nullptr, "c", WS_POPUP | WS_VISIBLE, CRect(0, 0, 8, 6), nullptr, 0));
    Settle();
  }
  // The surface as text: '.' background, '#' black, 'o' other.
  std::string Art() {
    std::string s;
    int w = 0;
    const auto px = ws.Surface(wnd, &w);
    for (size_t i = 0; i < px.size(); ++i) {
      s += px[i] == RGB(255, 255, 255) ? '.' : px[i] == 0 ? '#' : 'o';
      if ((i + 1) % w == 0) s += '\n';
    }
    return s;
  }
};

TEST_F(Canvas, PixelsOfLinesRectanglesAndBlitsAreExact) {
  CClientDC dc(&wnd);
  dc.MoveTo(0, 0);
  dc.LineTo(7, 2);  // x steps 0..7, y = round(x * 2 / 7)
  dc.SelectStockObject(NULL_BRUSH);
  dc.Rectangle(1, 3, 5, 6);  // outline through the outermost pixels, inside right and bottom
  dc.PatBlt(6, 4, 2, 2, BLACKNESS);
  EXPECT_EQ(Art(),
            "##......\n"
            "..####..\n"
            "......##\n"
            ".####...\n"
            ".#..#.##\n"
            ".####.##\n");
  dc.PatBlt(0, 0, 8, 6, DSTINVERT);  // white <-> black everywhere
  EXPECT_EQ(Art(),
            "..######\n"
            "##....##\n"
            "######..\n"
            "#....###\n"
            "#.##.#..\n"
            "#....#..\n");
  CBrush brush(RGB(255, 255, 255));
  dc.SelectObject(&brush);
  dc.PatBlt(0, 0, 2, 1, PATINVERT);  // XOR with white
  dc.SetMapMode(MM_ANISOTROPIC);     // 2 logical units a pixel, origin moved
  dc.SetWindowExt(2, 2);
  dc.SetViewportExt(1, 1);
  dc.SetViewportOrg(1, 1);
  dc.FillSolidRect(0, 0, 4, 2, RGB(9, 9, 9));  // pixels (1, 1) and (2, 1)
  EXPECT_EQ(Art(),
            "########\n"
            "#oo...##\n"
            "######..\n"
            "#....###\n"
            "#.##.#..\n"
            "#....#..\n");
}

TEST_F(Canvas, MappingStateAndClippingToChildren) {
  CClientDC dc(&wnd);
  const int level = dc.SaveDC();
  dc.SetMapMode(MM_ANISOTROPIC);
  dc.SetWindowOrg(100, -50);
  dc.SetWindowExt(1000, -1000);
  dc.SetViewportExt(96, 96);
  dc.SetViewportOrg(3, 4);
  for (POINT p : {POINT{100, -50}, POINT{1100, -1050}, POINT{-2000000, 2000000}}) {
    POINT q = p;
    dc.LPtoDP(&q);
    dc.DPtoLP(&q);
    EXPECT_LE(std::abs(q.x - p.x), 6);  // one device pixel is 10.4 logical units
    EXPECT_LE(std::abs(q.y - p.y), 6);
  }
  POINT d{1100, -1050};
  dc.LPtoDP(&d);
  EXPECT_TRUE(d.x == 3 + 96 && d.y == 4 + 96);
  dc.SetROP2(R2_XORPEN);
  EXPECT_TRUE(dc.RestoreDC(level));
  EXPECT_EQ(dc.GetMapMode(), MM_TEXT);
  EXPECT_EQ(dc.GetROP2(), R2_COPYPEN);
  EXPECT_FALSE(dc.RestoreDC(level));  // not saved any more
  // A parent never draws over its visible children; a child stays inside itself.
  CWnd child;
  ASSERT_TRUE(child.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(2, 2, 4, 4), &wnd, 1));
  Settle();
  CClientDC parentDC(&wnd), childDC(&child);
  parentDC.FillSolidRect(0, 0, 8, 6, 0);
  childDC.MoveTo(-10, 0);
  childDC.LineTo(50, 0);
  EXPECT_EQ(Art(),
            "########\n"
            "########\n"
            "########\n"  // the child's line: its row 0 only
            "##..####\n"  // the child's own background, untouched by the parent
            "########\n"
            "########\n");
}

TEST_F(Canvas, TextTakesAtMostItsCountAndStopsAtAZeroByte) {
  CClientDC dc(&wnd);
  const char unterminated[3] = {'a', 'b', 'c'};  // read past its count, ASan would stop here
  ws.ClearCalls();
  EXPECT_TRUE(dc.TextOut(0, 0, unterminated, 2));
  EXPECT_TRUE(dc.TextOut(0, 0, "abc", 10));
  EXPECT_TRUE(dc.TextOut(0, 0, "abc", -1));
  ASSERT_EQ(ws.GetCalls().size(), 6u);  // each an opaque background fill and the text
  EXPECT_EQ(ws.GetCalls()[1].text, "ab");
  EXPECT_EQ(ws.GetCalls()[3].text, "abc");
  EXPECT_EQ(ws.GetCalls()[5].text, "");
  EXPECT_EQ(dc.GetTextExtent(unterminated, 3), CSize(18, 13));
  EXPECT_EQ(dc.GetTextExtent("ab", 5), CSize(12, 13));
}

TEST_F(Canvas, InvertingFiguresTwiceRestoresEveryPixel) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> coord(-30, 40), width(0, 5), rop(0, 2);
  CClientDC dc(&wnd);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) dc.FillSolidRect(x, y, 1, 1, RGB(x * 30, y * 40, (x ^ y) * 20));
  const auto before = ws.Surface(wnd);
  for (int round = 0; round < 300; ++round) {
    CPen pen(PS_SOLID, width(rng), RGB(coord(rng) * 5, 200, coord(rng)));
    dc.SelectObject(&pen);
    dc.SetROP2(rop(rng) ? R2_XORPEN : R2_NOT);
    dc.SelectStockObject(NULL_BRUSH);
    const POINT pts[4] = {{coord(rng), coord(rng)},
                          {coord(rng), coord(rng)},
                          {coord(rng), coord(rng)},
                          {coord(rng), coord(rng)}};
    const CRect r(coord(rng), coord(rng), coord(rng), coord(rng));
    for (int twice = 0; twice < 2; ++twice) {
      dc.Polyline(pts, 2 + round % 3);
      dc.Rectangle(r);
      dc.PatBlt(r.left, r.top, r.Width(), r.Height(), DSTINVERT);
    }
    ASSERT_EQ(ws.Surface(wnd), before) << "round " << round;
  }
  EXPECT_TRUE(screenshot_test::WritePng(screenshot_test::ArtefactPath("headless_canvas"), 8, 6, before));
}

}  // namespace
