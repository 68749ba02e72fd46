// digitise: a window in which the user digitises a polyline, drags its
// vertices and the grips of a rectangle, and runs a long operation behind a
// progress dialog whose Cancel button stops it.
//
//   click                  starts a polyline; each click adds a vertex,
//                          a double click (or Escape, or the right button) ends it
//   drag a vertex          moves it; drag a segment: moves the whole line
//   drag the rectangle     by a grip resizes it, from inside moves it;
//                          Shift-drag elsewhere draws a new one
//   P                      runs a long operation with a progress dialog
//
// `digitise --demo` plays all of that by itself (for a test under Xvfb) and
// reports what came out. Needs an X display.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>

#include <vdkit/platform/window_x11.h>
#include <vdkit/vdkit.h>

namespace {

constexpr int kCapacity = 64;
constexpr int kGrip = 8;

class MapView : public CView {
 public:
  POINT pts[kCapacity];
  int count = 0;
  CRect rect{250, 40, 330, 100};
  bool demo = false;
  CString status;

  // The long operation: a pass over the vertices, slowed down to be seen.
  void Smooth() {
    qrxProgressShow2 show;
    qrxProgressSetRange(0, 200);
    int i = 0;
    for (; i <= 200; ++i) {
      qrxProgressSetMsg("smoothing pass %d of 200 over %d vertices", i, count);
      if (!qrxProgressSetPos(i)) break;
      ::usleep(demo ? 2000 : 20000);
      if (demo && i == 100) PressCancel();  // the demo's user changes their mind
    }
    status.Format(i > 200 ? "smoothing done" : "smoothing cancelled at pass %d", i);
    Report();
  }

 protected:
  void OnDraw(CDC* dc) override {
    CRect client;
    GetClientRect(&client);
    for (int y = 0; y < client.Height(); y += 20)
      dc->FillSolidRect(0, y, client.Width(), 1, RGB(225, 230, 240));
    CPen green(PS_SOLID, 2, RGB(30, 140, 60));
    dc->SelectObject(&green);
    dc->SelectStockObject(NULL_BRUSH);
    dc->Rectangle(rect);
    CPen blue(PS_SOLID, 2, RGB(30, 60, 200));
    dc->SelectObject(&blue);
    if (count > 1) dc->Polyline(pts, count);
    for (int i = 0; i < count; ++i) dc->FillSolidRect(pts[i].x - 3, pts[i].y - 3, 7, 7, RGB(30, 60, 200));
  }

  void OnLButtonDown(UINT flags, CPoint point) override {
    CClientDC dc(this);
    OnPrepareDC(&dc);
    m_editing = true;
    int index = -1;
    if (count > 0 && TrackerPolyline(point, nullptr, nullptr, pts, count, false, kGrip, nullptr, nullptr)) {
      TrackerPolyline(point, &dc, this, pts, count, false, kGrip, &index, nullptr);
      status.Format("vertex %d moved to (%d, %d)", index, static_cast<int>(pts[index].x),
                    static_cast<int>(pts[index].y));
    } else if (!(flags & MK_SHIFT) && GetRectHandle(rect, point, kGrip) >= 0) {
      TrackerRect(point, &dc, this, rect, kGrip);
      status.Format("rectangle (%d, %d)-(%d, %d)", static_cast<int>(rect.left), static_cast<int>(rect.top),
                    static_cast<int>(rect.right), static_cast<int>(rect.bottom));
    } else if (count > 1 && PtAtPolyline(point, pts, count, 4) >= 0) {
      TrackerPolyline(point, &dc, this, pts, count, false, 0, nullptr, nullptr);
      status = "polyline moved";
    } else if (flags & MK_SHIFT) {
      TrackerRect(point, &dc, this, rect, -1);
      rect.NormalizeRect();
      status = "new rectangle";
    } else {
      m_editing = false;  // the release starts digitising
      return;
    }
    Invalidate();
    Report();
  }

  void OnLButtonUp(UINT, CPoint point) override {
    if (m_editing) {
      m_editing = false;
      return;
    }
    CClientDC dc(this);
    OnPrepareDC(&dc);
    count = kCapacity;
    TrackerPolyline(point, &dc, this, pts, count, false, -1, nullptr, nullptr);
    status.Format("digitised %d vertices", count);
    Invalidate();
    Report();
  }

  void OnKeyDown(UINT key, UINT, UINT) override {
    if (key == 'P') Smooth();
  }

 private:
  bool m_editing = true;  // a press seen by this view started an edit (or none was seen)

  void Report() {
    if (CFrameWnd* frame = dynamic_cast<CFrameWnd*>(GetParent()))
      if (CWnd* bar = frame->GetMessageBar()) bar->SetWindowText(status);
    std::printf("%s\n", static_cast<const char*>(status));
    std::fflush(stdout);
  }
  void PressCancel() {
    if (CDProgress* dialog = qrxProgressGetDialog())
      if (CWnd* cancel = dialog->GetDlgItem(IDCANCEL)) {
        ::PostMessage(*cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        ::PostMessage(*cancel, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
      }
  }
};

// The demo's user: one step of input each time the program waits for some.
std::function<bool()> DemoInput(CFrameWnd& frame, MapView& view) {
  auto steps = std::make_shared<std::deque<std::function<void()>>>();
  auto mouse = [&view](UINT message, int x, int y) {
    ::PostMessage(view, message, message == WM_LBUTTONUP ? WPARAM{0} : WPARAM{MK_LBUTTON}, MAKELPARAM(x, y));
  };
  auto click = [mouse](int x, int y) {
    mouse(WM_LBUTTONDOWN, x, y);
    mouse(WM_LBUTTONUP, x, y);
  };
  *steps = {[=] { click(60, 60); },  // starts a polyline at S
            [=] { mouse(WM_MOUSEMOVE, 160, 80); },
            [=] { click(160, 80); },  // A
            [=] { mouse(WM_MOUSEMOVE, 200, 160); },
            [=] { click(200, 160); },  // B, and a double click ends
            [=] { mouse(WM_LBUTTONDBLCLK, 200, 160); },
            [=] { mouse(WM_LBUTTONDOWN, 160, 80); },  // drags vertex A
            [=] { mouse(WM_MOUSEMOVE, 170, 95); },
            [=] { mouse(WM_LBUTTONUP, 170, 95); },
            [=] { mouse(WM_LBUTTONDOWN, 330, 100); },  // the rectangle's corner
            [=] { mouse(WM_MOUSEMOVE, 350, 130); },
            [=] { mouse(WM_LBUTTONUP, 350, 130); },
            [&view] { ::PostMessage(view, WM_KEYDOWN, 'P', 1); },
            [&frame] { ::PostMessage(frame, WM_CLOSE, 0, 0); }};
  return [steps] {
    if (steps->empty()) return false;
    const auto step = steps->front();
    steps->pop_front();
    step();
    return true;
  };
}

}  // namespace

int main(int argc, char** argv) {
  const bool demo = argc > 1 && std::strcmp(argv[1], "--demo") == 0;
  CX11WindowSystem x11;
  if (!x11.Open()) {
    std::fprintf(stderr, "digitise: no X display (set DISPLAY, or run under xvfb-run)\n");
    return 1;
  }
  AfxSetWindowSystem(&x11);
  CWinApp app("digitise");
  CFrameWnd frame;
  CStatusBar status;
  MapView view;
  view.demo = demo;
  if (!frame.Create(nullptr, "vdkit digitise", WS_OVERLAPPEDWINDOW, CRect(60, 60, 520, 400)) ||
      !status.Create(&frame) ||
      !view.Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, CRect(), &frame, AFX_IDW_PANE_FIRST)) {
    std::fprintf(stderr, "digitise: cannot create the window\n");
    return 1;
  }
  frame.RecalcLayout();
  status.SetPaneText(0, "Click to digitise; drag vertices or grips; Shift-drag a rectangle; P: long job");
  app.m_pMainWnd = &frame;
  frame.ShowWindow(SW_SHOW);
  if (demo) x11.SetIdleHandler(DemoInput(frame, view));
  app.Run();
  x11.SetIdleHandler(nullptr);
  AfxSetWindowSystem(nullptr);
  if (!demo) return 0;
  // The demo checks what its user should have got.
  const bool ok = view.count == 3 && view.pts[1].x == 170 && view.pts[1].y == 95 &&
                  view.rect == CRect(250, 40, 350, 130) && view.status.Find("cancelled") >= 0;
  std::printf("demo %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
