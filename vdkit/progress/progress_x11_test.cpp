#include "vdkit/platform/x11_test.h"

#include "vdkit/platform/resources.h"
#include "vdkit/progress/progress.h"

namespace {

using screenshot_test::Pixels;

TEST_F(X11Test, ProgressDialogShowsItsPercentageAndCancelStopsTheOperation) {
  qrxProgressSetTerminal(QRX_TERMINAL_OFF);
  CFrameWnd frame;
  CStatusBar status;
  ASSERT_TRUE(frame.Create(nullptr, "vdkit progress", WS_OVERLAPPEDWINDOW, CRect(40, 40, 520, 360)));
  ASSERT_TRUE(status.Create(&frame));
  frame.RecalcLayout();
  frame.ShowWindow(SW_SHOW);
  AfxGetThread()->m_pMainWnd = &frame;
  Pump();
  qrxProgressShow(1);
  CDProgress* dialog = qrxProgressGetDialog();
  ASSERT_TRUE(dialog && dialog->m_hWnd);
  Pump();
  qrxProgressSetRange(0, 200);
  qrxProgressSetMsg("transforming %s ...", "wells.tv10");
  EXPECT_TRUE(qrxProgressSetPos(101));
  Pump();
  // The bar: green on its left half, white on its right.
  CDProgressBar& bar = dialog->GetBar();
  CRect r;
  bar.GetClientRect(&r);
  const auto px = Pixels(bar);
  ASSERT_EQ(px.size(), static_cast<size_t>(r.Width()) * r.Height());
  const int row = r.Height() - 2;
  EXPECT_EQ(px[static_cast<size_t>(row) * r.Width() + 2], RGB(0, 255, 0));
  EXPECT_EQ(px[static_cast<size_t>(row) * r.Width() + r.Width() - 3], RGB(255, 255, 255));
  screenshot_test::SaveWindow(*dialog, "x11_progress_dialog");
  // A real click on Cancel: the next position change answers false.
  CWnd* cancel = dialog->GetDlgItem(IDCANCEL);
  ASSERT_NE(cancel, nullptr);
  Click(*cancel, 8, 8);
  bool goOn = true;
  for (int pos = 102; pos <= 200 && goOn; ++pos) goOn = qrxProgressSetPos(pos);
  EXPECT_FALSE(goOn);
  EXPECT_TRUE(qrxProgressCanceled());
  qrxProgressShow(0);
  EXPECT_FALSE(qrxProgressIsVisible());
  // The status-bar display.
  qrxProgressShow(2);
  qrxProgressSetRange(0, 4);
  qrxProgressSetPos(3);
  qrxProgressSetMsg("status bar progress");
  Pump();
  screenshot_test::SaveWindow(frame, "x11_progress_status_bar");
  qrxProgressShow(0);
  AfxGetThread()->m_pMainWnd = nullptr;
  qrxProgressSetTerminal(QRX_TERMINAL_AUTO);
}

}  // namespace
