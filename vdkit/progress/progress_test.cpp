#include "vdkit/progress/progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "vdkit/platform/resources.h"
#include "vdkit/platform/screenshot_test.h"
#include "vdkit/platform/window_headless.h"
#include "vdkit/progress/terminal_progress.h"

namespace {

using screenshot_test::Settle;
using Call = CHeadlessWindowSystem::SDrawCall;

struct Progress : ::testing::Test {
  CHeadlessWindowSystem ws;
  CFrameWnd frame;
  CStatusBar status;
  void SetUp() override {
    qrxProgressSetTerminal(QRX_TERMINAL_OFF);
    AfxSetWindowSystem(&ws);
    ASSERT_TRUE(frame.Create(nullptr, "Main", WS_OVERLAPPEDWINDOW, CRect(0, 0, 400, 300)));
    ASSERT_TRUE(status.Create(&frame));
    frame.ShowWindow(SW_SHOW);
    AfxGetThread()->m_pMainWnd = &frame;
    Settle();
  }
  void TearDown() override {
    qrxProgressShow(0);
    AfxGetThread()->m_pMainWnd = nullptr;
    AfxSetWindowSystem(nullptr);
    qrxProgressSetTerminal(QRX_TERMINAL_AUTO);
  }
  // The percentages drawn since the last ClearCalls.
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const Call& c : ws.GetCalls())
      if (c.op == Call::kText && !c.text.empty() && c.text.back() == '%') out.push_back(c.text);
    return out;
  }
};

TEST(ProgressBarTest, PercentagesWrapAndOverflowNowhere) {
  // {pos, low, high, percent}: the 0.001 keeps exact halves below (100 of 0 ... 200 is 49);
  // 0 / 0.001 and 99999.99 modulo 100 for an empty range; (p - low) * 100 needs 40 bits,
  // and single precision rounds the 0.001 away there.
  const int lo = INT_MIN, hi = INT_MAX;
  const int rows[][4] = {{101, 0, 200, 50}, {100, 0, 200, 49}, {200, 0, 200, 99},
                         {5, 5, 5, 0},      {6, 5, 5, 99},     {-50, 0, 100, -49},
                         {hi, lo, hi, 0},   {lo, hi, lo, 0},   {0, lo, hi, 50}};
  for (const auto& r : rows) EXPECT_EQ(CDProgressBar::Percent(r[0], r[1], r[2]), r[3]) << r[0] << " " << r[1];
  // Step runs low ... high and wraps; empty and huge ranges stay defined.
  CDProgressBar bar;  // no window: nothing drawn, only the position moves
  bar.SetRange(0, 200);
  for (int i = 0; i < 200; ++i) bar.Step();
  EXPECT_EQ(bar.GetPosition(), 200);
  bar.Step();
  EXPECT_EQ(bar.GetPosition(), 0);
  bar.SetRange(10, 9);  // high = low - 1 divided by zero before
  bar.Step();
  EXPECT_EQ(bar.GetPosition(), 10);
  bar.SetRange(INT_MIN, INT_MAX);  // high - low + 1 overflowed before
  bar.Step();
  EXPECT_EQ(bar.GetPosition(), INT_MIN + 1);
  CDProgressBar fresh;  // a new bar's range is set (0 ... 100)
  fresh.Step();
  EXPECT_EQ(fresh.GetPosition(), 1);
  EXPECT_TRUE(fresh.SetPos(50));
}

TEST(ProgressConsoleTest, WithoutWindowsEveryCallIsANoOpAndMessagesGoToStandardOutput) {
  qrxProgressSetTerminal(QRX_TERMINAL_OFF);
  EXPECT_TRUE(qrxProgressSetPos(10));  // before any show
  EXPECT_TRUE(qrxProgressStep());
  EXPECT_FALSE(qrxProgressCanceled());
  qrxProgressShow(0);  // nothing current: nothing to hide
  qrxProgressShow(1);  // no window system: stays hidden
  EXPECT_FALSE(qrxProgressIsVisible());
  qrxProgressEnableCancel(false);
  qrxProgressSetRange(0, 10);
  testing::internal::CaptureStdout();
  qrxProgressSetMsg("hidden %d", 1);  // nothing while hidden
  CDProgress dialog;
  dialog.SetMsg("no dialog");
  dialog.GetBar().SetMsg("no bar");
  dialog.EnableCancel(false);
  dialog.Hide();
  dialog.GetBar().DrawBar();
  dialog.GetBar().Hide();
  SetStringResource(20017, "from resources");
  dialog.SetMsg(20017u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "no dialog\nno bar\nfrom resources\n");
  SetStringResource(20017, nullptr);
  qrxProgressSetTerminal(QRX_TERMINAL_AUTO);
}

TEST_F(Progress, DialogShowsPercentagesOnlyWhenTheyChange) {
  qrxProgressShow(1);
  ASSERT_TRUE(qrxProgressIsVisible());
  qrxProgressSetRange(0, 200);
  Settle();
  ws.ClearCalls();
  EXPECT_TRUE(qrxProgressSetPos(101));
  EXPECT_EQ(Texts(), std::vector<std::string>{"50%"});
  // The same percentage: nothing drawn, nothing pumped.
  ws.ClearCalls();
  ::PostMessage(frame, WM_USER, 0, 0);
  EXPECT_TRUE(qrxProgressSetPos(102));
  EXPECT_TRUE(ws.GetCalls().empty());
  MSG msg;
  EXPECT_TRUE(::PeekMessage(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
  EXPECT_TRUE(qrxProgressSetPos(100));  // 49: drawn, and the queue is pumped
  EXPECT_FALSE(::PeekMessage(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
  EXPECT_TRUE(qrxProgressSetPos(200));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"49%", "99%"}));
  // The bar: green up to trunc(w * 99%), white after, the text centred at the top.
  const Call* green = nullptr;
  for (const Call& c : ws.GetCalls())
    if (c.op == Call::kFill && c.colour == RGB(0, 255, 0)) green = &c;
  ASSERT_NE(green, nullptr);
  const HWND barWnd = green->hwnd;
  CRect bar;
  CWnd::FromHandle(barWnd)->GetClientRect(&bar);
  EXPECT_EQ(green->points[1].x, static_cast<LONG>(bar.Width() * 99 * 0.01));
  // The message line, the caption and the place.
  qrxProgressSetMsg("%s %d", "record", 7);
  CWnd* dlg = CWnd::FromHandle(barWnd)->GetParent();
  CString text;
  dlg->GetDlgItem(IDC_QRXPROGRESS_MSG)->GetWindowText(text);
  EXPECT_STREQ(text, "record 7");
  SetStringResource(20018, "row %d of %d");  // the format from the string resources
  qrxProgressSetMsg(20018ul, 3, 9);
  qrxProgressSetMsg(20019ul, 4);  // no such string: the line stays
  SetStringResource(20018, nullptr);
  dlg->GetDlgItem(IDC_QRXPROGRESS_MSG)->GetWindowText(text);
  EXPECT_STREQ(text, "row 3 of 9");
  dlg->GetWindowText(text);
  EXPECT_STREQ(text, AfxGetAppName());
  CRect d, f;
  dlg->GetWindowRect(&d);
  frame.GetWindowRect(&f);
  EXPECT_LE(std::abs(d.CenterPoint().x - f.CenterPoint().x), 1);  // centred on its parent
  EXPECT_LE(std::abs(d.CenterPoint().y - f.CenterPoint().y), 1);
  // A message is cut at 511 characters, never overruns.
  const std::string longText(2000, 'x');
  qrxProgressSetMsg("%s", longText.c_str());
  EXPECT_EQ(dlg->GetDlgItem(IDC_QRXPROGRESS_MSG)->GetWindowTextLength(), 511);
  Settle();
  screenshot_test::SaveWindow(*dlg, "progress_dialog_headless");
}

TEST_F(Progress, CancelStopsTheOperationUntilShownAgain) {
  qrxProgressShow(1);
  qrxProgressSetRange(0, 100);
  EXPECT_TRUE(qrxProgressSetPos(10));
  CWnd* dlg = qrxProgressGetDialog();
  ASSERT_TRUE(dlg && dlg->m_hWnd);
  CWnd* cancel = dlg->GetDlgItem(IDCANCEL);
  // A click on Cancel reaches the operation at its next position.
  ::PostMessage(*cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  ::PostMessage(*cancel, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_FALSE(qrxProgressSetPos(20));
  EXPECT_TRUE(qrxProgressCanceled());
  EXPECT_FALSE(qrxProgressSetPos(20));  // the same percentage still reports the cancel
  EXPECT_FALSE(qrxProgressStep());
  EXPECT_TRUE(qrxProgressIsVisible());  // the dialog stays open until the caller hides it
  qrxProgressShow(0);
  EXPECT_FALSE(qrxProgressIsVisible());
  qrxProgressShow(1);
  EXPECT_FALSE(qrxProgressCanceled());
  EXPECT_TRUE(qrxProgressSetPos(30));
  // With Cancel disabled, a click does nothing.
  dlg = qrxProgressGetDialog();
  qrxProgressEnableCancel(false);
  EXPECT_FALSE(dlg->GetDlgItem(IDCANCEL)->IsWindowEnabled());
  ::PostMessage(*dlg->GetDlgItem(IDCANCEL), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  ::PostMessage(*dlg->GetDlgItem(IDCANCEL), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(qrxProgressSetPos(40));
  // Quitting stops the operation and the quit stays for the application.
  ::PostQuitMessage(4);
  EXPECT_FALSE(qrxProgressSetPos(50));
  MSG msg;
  EXPECT_EQ(::GetMessage(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 4u);
}

TEST_F(Progress, ScopesShowOnlyWhatWasHidden) {
  {
    qrxProgressShow2 outer;  // shows the dialog
    EXPECT_TRUE(qrxProgressIsVisible());
    {
      qrxProgressShow2 inner;
      qrxProgressShow2 copy(inner);
      copy = inner;
    }
    EXPECT_TRUE(qrxProgressIsVisible());  // the inner scopes found it shown
  }
  EXPECT_FALSE(qrxProgressIsVisible());
  // The status-bar display: the right half of the status bar; hiding clears its text.
  status.SetWindowText("working");
  {
    qrxProgressShow2 scope(2);
    ASSERT_TRUE(qrxProgressIsVisible());
    qrxProgressSetRange(0, 200);
    ws.ClearCalls();
    EXPECT_TRUE(qrxProgressSetPos(101));
    EXPECT_EQ(Texts(), std::vector<std::string>{"50%"});
    CWnd* bar = CWnd::FromHandle(ws.GetCalls().front().hwnd);
    EXPECT_EQ(bar->GetParent(), &status);
    CRect b, s;
    bar->GetWindowRect(&b);
    status.GetWindowRect(&s);
    EXPECT_EQ(b, CRect(s.left + 2 + (s.Width() - 3) / 2, s.top + 2, s.right - 1, s.bottom));
    qrxProgressSetMsg("status %s", "text");
    CString text;
    status.GetWindowText(text);
    EXPECT_STREQ(text, "status text");
    qrxProgressEnableCancel(false);  // not the dialog: nothing
  }
  CString text;
  status.GetWindowText(text);
  EXPECT_STREQ(text, "");
  // Without a status bar the status-bar display stays hidden.
  status.DestroyWindow();
  qrxProgressShow(2);
  EXPECT_FALSE(qrxProgressIsVisible());
}

TEST_F(Progress, MainWindowDestroyedUnderTheDialogLeavesNothingDangling) {
  qrxProgressShow(1);
  ASSERT_TRUE(qrxProgressIsVisible());
  frame.DestroyWindow();  // takes the dialog it owns along
  EXPECT_FALSE(qrxProgressIsVisible());
  EXPECT_TRUE(qrxProgressSetPos(5));
  qrxProgressShow(1);  // no main window now: stays hidden
  EXPECT_FALSE(qrxProgressIsVisible());
  CFrameWnd other;
  ASSERT_TRUE(other.Create(nullptr, "Other"));
  AfxGetThread()->m_pMainWnd = &other;
  qrxProgressShow(0);
  qrxProgressShow(1);
  EXPECT_TRUE(qrxProgressIsVisible());
  qrxProgressShow(0);
  MSG msg;
  while (::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }  // the quit posted by the first main window's end
}

// ---- Terminal ----------------------------------------------------------------------------

struct TerminalFile {
  char path[32] = "/tmp/vdkit_progressXXXXXX";
  int fd = ::mkstemp(path);
  ~TerminalFile() {
    ::close(fd);
    ::unlink(path);
  }
  std::string Read() const {
    std::string s;
    char buf[4096];
    ssize_t n;
    for (off_t at = 0; (n = ::pread(fd, buf, sizeof buf, at)) > 0; at += n)
      s.append(buf, static_cast<size_t>(n));
    return s;
  }
};

TEST(TerminalProgressTest, LineShowsPercentBarTimesAndMessageAndIsWrittenOnlyOnChange) {
  TerminalFile out;
  double now = 100;
  {
    CTerminalProgress t(out.fd);
    t.SetClock([&] { return now; });
    t.SetColumns(72);
    t.Start();
    EXPECT_EQ(t.GetLine(), "  0% [--------------------] 00:00, --:-- left");
    t.SetRange(0, 400);
    now = 112.5;
    t.SetPos(100);
    EXPECT_EQ(t.GetLine(), " 25% [#####---------------] 00:12, 00:37 left");
    t.SetMsg("reading\twells\x1b[2J.tv10");  // control characters cannot reach the terminal
    EXPECT_EQ(t.GetLine(), " 25% [#####---------------] 00:12, 00:37 left  reading wells [2J.tv10");
    t.SetPos(101);  // same text: not written again
    t.SetMsg(std::string(100, 'm').c_str());
    EXPECT_EQ(t.GetLine().size(), 71u);  // cut to the width, one column free
    now = 100 + 7322;
    t.SetPos(400);
    EXPECT_EQ(t.GetLine().substr(0, 47), "100% [####################] 2:02:02, 00:00 left");
    t.Step();  // wraps to low
    EXPECT_EQ(t.GetLine().substr(0, 6), "  0% [");
  }  // destroyed: the line is erased
  const std::string written = out.Read();
  // Start, SetPos(100), two messages, SetPos(400), Step, the erase; SetRange and
  // SetPos(101) changed nothing on the line.
  EXPECT_EQ(std::count(written.begin(), written.end(), '\r'), 7);
  EXPECT_EQ(written.substr(0, 1), "\r");
  EXPECT_EQ(written.substr(written.size() - 4), "\r\x1b[K");
}

TEST(TerminalProgressTest, QrxCallsUseTheTerminalWhenNoWindowCanBeShown) {
  // A pseudo-terminal as standard error: the automatic setting finds it.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const int saved = ::dup(2);
  ::dup2(slave, 2);
  qrxProgressSetTerminal(QRX_TERMINAL_AUTO);
  {
    qrxProgressShow2 scope;
    EXPECT_TRUE(qrxProgressIsVisible());
    qrxProgressSetRange(0, 10);
    EXPECT_TRUE(qrxProgressSetPos(5));
    qrxProgressSetMsg("step %d", 5);
    EXPECT_TRUE(qrxProgressStep());
    EXPECT_FALSE(qrxProgressCanceled());
  }
  EXPECT_FALSE(qrxProgressIsVisible());
  qrxProgressSetTerminal(QRX_TERMINAL_OFF);  // a program's --quiet
  qrxProgressShow(1);
  EXPECT_FALSE(qrxProgressIsVisible());
  qrxProgressShow(0);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(slave);
  // A terminal hands its output over in pieces: read until it has no more.
  std::string screen;
  pollfd pending{master, POLLIN, 0};
  char buf[4096];
  ssize_t n;
  while (::poll(&pending, 1, 200) > 0 && (n = ::read(master, buf, sizeof buf)) > 0)
    screen.append(buf, static_cast<size_t>(n));
  ::close(master);
  ASSERT_GE(screen.size(), 4u);
  EXPECT_NE(screen.find(" 50% [##########----------]"), std::string::npos);
  EXPECT_NE(screen.find(" 60% [############--------] 00:00, 00:00 left  step 5"), std::string::npos);
  EXPECT_EQ(screen.substr(screen.size() - 4), "\r\x1b[K");
  qrxProgressSetTerminal(QRX_TERMINAL_AUTO);
}

// Exit tears down the displays, the window system and windows in whatever
// order their static objects happen to have.
TEST(ProgressExitTest, DisplaysTearDownSafelyInEitherOrder) {
  for (int order = 0; order < 2; ++order) {
    EXPECT_EXIT(
        {
          static std::unique_ptr<CHeadlessWindowSystem> early;
          if (order == 0) early = std::make_unique<CHeadlessWindowSystem>();  // destroyed after the displays
          qrxProgressSetTerminal(QRX_TERMINAL_OFF);                           // displays made here
          static CHeadlessWindowSystem late;                                  // destroyed before them
          static CFrameWnd frame;
          AfxSetWindowSystem(order == 0 ? early.get() : &late);
          frame.Create(nullptr, "main");
          AfxGetThread()->m_pMainWnd = &frame;
          static CStatusBar status;
          status.Create(&frame);
          qrxProgressShow(2);
          qrxProgressShow(1);
          std::exit(qrxProgressIsVisible() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
