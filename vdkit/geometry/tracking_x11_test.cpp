#include "vdkit/geometry/tracking.h"
#include "vdkit/platform/x11_test.h"

#include <X11/keysym.h>

namespace {

using screenshot_test::Pixels;
using screenshot_test::SaveWindow;

struct Drawing : CView {
  void OnDraw(CDC* dc) override {
    CRect r;
    GetClientRect(&r);
    for (int y = 0; y < r.Height(); y += 16) dc->FillSolidRect(0, y, r.Width(), 8, RGB(205, 225, 245));
    CPen pen(PS_SOLID, 3, RGB(40, 90, 40));
    dc->SelectObject(&pen);
    dc->MoveTo(0, r.Height());
    dc->LineTo(r.Width(), 0);
  }
};

struct X11Tracking : X11Test {
  CFrameWnd frame;
  CStatusBar status;
  Drawing view;
  void SetUp() override {
    X11Test::SetUp();
    ASSERT_TRUE(frame.Create(nullptr, "vdkit tracking", WS_OVERLAPPEDWINDOW, CRect(40, 40, 360, 300)));
    ASSERT_TRUE(status.Create(&frame));
    ASSERT_TRUE(view.Create(nullptr, nullptr, AFX_WS_DEFAULT_VIEW, CRect(), &frame, AFX_IDW_PANE_FIRST));
    frame.RecalcLayout();
    frame.ShowWindow(SW_SHOW);
    Pump();
  }
};

TEST_F(X11Tracking, RectangleFollowsRealPointerEventsAndLeavesTheViewAsItWas) {
  const auto before = Pixels(view);
  ASSERT_FALSE(before.empty());
  SaveWindow(frame, "x11_tracker_before");
  CClientDC dc(&view);
  Script({[&] { MoveTo(view, 60, 45); }, [&] { MoveTo(view, 120, 90); },
          [&] {
            EXPECT_NE(Pixels(view), before);  // the rubber band is on screen
            SaveWindow(frame, "x11_tracker_mid_drag");
            MoveTo(view, 400, 160);  // outside the view: the grab keeps it ours
          },
          [&] { MoveTo(view, 150, 110); }, [&] { Button(1, true); }, [&] { Button(1, false); }});
  CRect rc;
  EXPECT_TRUE(TrackerRect(CPoint(30, 20), &dc, &view, rc, -1));
  EXPECT_EQ(rc, CRect(30, 20, 150, 110));
  EXPECT_EQ(::GetCapture(), nullptr);
  Pump();
  EXPECT_EQ(Pixels(view), before);
  SaveWindow(frame, "x11_tracker_after");
}

TEST_F(X11Tracking, DigitisingTakesRealClicksAndEndsAtADoubleClick) {
  const auto before = Pixels(view);
  CClientDC dc(&view);
  Script({[&] { Click(view, 100, 30); },
          [&] {
            MoveTo(view, 150, 120);
            SaveWindow(frame, "x11_digitise_mid");
          },
          [&] { Click(view, 150, 120); }, [&] { Click(view, 150, 120); }});
  POINT pts[16];
  int count = 16, index = -1;
  EXPECT_TRUE(TrackerPolyline(CPoint(20, 20), &dc, &view, pts, count, false, -1, &index, nullptr));
  ASSERT_EQ(count, 3);
  EXPECT_TRUE(CPoint(pts[0]) == CPoint(20, 20) && CPoint(pts[1]) == CPoint(100, 30) &&
              CPoint(pts[2]) == CPoint(150, 120));
  Pump();
  EXPECT_EQ(Pixels(view), before);
  // Escape ends a drag and keeps the place reached.
  POINT p1{10, 10}, p2{200, 100};
  Script({[&] { MoveTo(view, 60, 60); }, [&] { Key(XK_Escape); }});
  EXPECT_TRUE(TrackerLine(CPoint(12, 12), &dc, &view, p1, p2, 5));
  EXPECT_TRUE(CPoint(p1) == CPoint(58, 58) && CPoint(p2) == CPoint(200, 100));
  Pump();
  EXPECT_EQ(Pixels(view), before);
}

}  // namespace
