// The progress displays.
//
// A display is hidden (the bar has no window) or shown (it has one); the
// canceled flag lives from one Show to the next. The process-wide state holds
// the status-bar bar, the dialog, the terminal line and the current display
// (one of the two bars, chosen by the last qrxProgressShow with 1 or 2, never
// cleared). The terminal line is active only while no window display could be
// shown. The state is torn down at exit; a flag that outlives it makes every
// later call a no-op.
#include "vdkit/progress/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "vdkit/platform/resources.h"
#include "vdkit/progress/progress_internal.h"
#include "vdkit/progress/terminal_progress.h"

namespace {

constexpr const char* kTemplateName = "qrxPROGRESSDLG";

void RegisterTemplate() {
  if (FindDialogTemplate(kTemplateName)) return;  // the host's own wins
  SDialogTemplate t;
  t.style = 0x80C000C0;  // popup, caption, modal frame, font
  t.x = 0;
  t.y = 0;
  t.cx = 207;
  t.cy = 59;
  t.caption = "Dialog";
  t.fontName = "MS Sans Serif";
  t.pointSize = 8;
  t.items = {{WC_BUTTON, "Cancel", 0x50010000, 150, 37, 50, 14, IDCANCEL},
             {WC_STATIC, "transforming ...", 0x50020000, 7, 7, 193, 27, IDC_QRXPROGRESS_MSG},
             {PROGRESS_CLASS, "Progress1", 0x50000000, 7, 39, 125, 12, IDC_QRXPROGRESS_BAR}};
  SetDialogTemplate(kTemplateName, &t);
}

void PrintLine(const char* text) {
  std::fputs(text ? text : "", stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

// ---- CDProgressBar -------------------------------------------------------------------------------

int CDProgressBar::Percent(int pos, int low, int high) {
  // In single precision, as the display always computed it; wide integers so
  // that no range overflows, and the cut is taken before the modulo so that
  // no value is too large for an int.
  const float num = static_cast<float>((int64_t{pos} - low) * 100);
  const float den = static_cast<float>(int64_t{high} - low) + 0.001f;
  const float q = num / den;
  return static_cast<int>(std::fmod(std::trunc(static_cast<double>(q)), 100.0));
}

void CDProgressBar::Show(bool show) {
  m_bCanceled = false;
  if (!show) {
    if (CWnd* msg = CWnd::FromHandle(m_hMsgWnd)) {
      msg->SetWindowText("");
      msg->UpdateWindow();
    }
    DestroyWindow();
    return;
  }
  if (!m_hWnd) {
    CFrameWnd* frame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd());
    CStatusBar* status = frame ? dynamic_cast<CStatusBar*>(frame->GetMessageBar()) : nullptr;
    if (!status) return;
    m_hMsgWnd = status->m_hWnd;
    CRect r;
    status->GetWindowRect(&r);
    r.OffsetRect(-r.left, -r.top);
    r.DeflateRect(2, 2, 1, 0);
    r.left += r.Width() / 2;
    if (!Create("", WS_VISIBLE | WS_BORDER, r, status, 0)) return;
    m_nLow = 0;
    m_nHigh = 100;
    m_nPercent = 0;
  }
  ShowWindow(SW_SHOW);
}

void CDProgressBar::SetRange(int low, int high) {
  m_nLow = low;
  m_nHigh = high;
  m_nPos = low;
}

bool CDProgressBar::SetPos(int pos) {
  if (m_hWnd) {
    const int percent = Percent(pos, m_nLow, m_nHigh);
    // Unchanged: nothing drawn, nothing pumped; a cancel is still reported.
    if (percent == m_nPercent) return !m_bCanceled;
    m_nPercent = percent;
    DrawBar();
  }
  if (m_bCanceled) return false;
  MSG msg;
  while (::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    CWinThread* thread = AfxGetThread();
    if (!thread || !thread->PumpMessage()) {
      // The application's own loop must see the quit too.
      if (thread && thread->m_msgCur.message == WM_QUIT)
        ::PostQuitMessage(static_cast<int>(thread->m_msgCur.wParam));
      return false;
    }
    if (m_bCanceled) return false;
  }
  return !m_bCanceled;
}

bool CDProgressBar::Step() {
  m_nPos = progress_internal::NextPosition(m_nPos, m_nLow, m_nHigh);
  return SetPos(m_nPos);
}

void CDProgressBar::SetMsg(const char* text) {
  if (!m_hWnd) {
    PrintLine(text);
  } else if (CWnd* msg = CWnd::FromHandle(m_hMsgWnd)) {
    msg->SetWindowText(text);
    msg->UpdateWindow();
  }
}

void CDProgressBar::DrawBar() {
  if (!m_hWnd) return;
  CClientDC dc(this);
  CRect r;
  GetClientRect(&r);
  const int w = r.Width();
  const int fill = std::max(0, std::min(w, static_cast<int>(w * m_nPercent * 0.01)));
  dc.FillSolidRect(r.left, r.top, fill, r.Height(), RGB(0, 255, 0));
  dc.FillSolidRect(r.left + fill, r.top, w - fill, r.Height(), RGB(255, 255, 255));
  dc.SetTextAlign(TA_CENTER | TA_TOP);
  dc.SetBkMode(TRANSPARENT);
  CString text;
  text.Format("%d%%", m_nPercent);
  dc.TextOut(r.left + w / 2, 0, text);
}

// ---- CDProgress ---------------------------------------------------------------------------------------

CDProgress::CDProgress(CWnd* pParent) : m_pParent(pParent), m_hParent(pParent ? pParent->m_hWnd : nullptr) {
  if (pParent) Show(true);
}

CDProgress::~CDProgress() {
  if (m_hWnd) DestroyWindow();
}

void CDProgress::Show(bool show) {
  m_bar.m_bCanceled = false;
  if (!show) {
    DestroyWindow();
    m_pParent = nullptr;
    m_hParent = nullptr;
    m_bar.m_hMsgWnd = nullptr;
    return;
  }
  if (m_hWnd) return;
  // A parent whose window went away since it was given is no parent.
  if (m_pParent && (!m_hParent || CWnd::FromHandle(m_hParent) != m_pParent)) m_pParent = nullptr;
  if (!m_pParent) m_pParent = AfxGetMainWnd();
  if (!m_pParent) return;
  m_hParent = m_pParent->m_hWnd;
  RegisterTemplate();
  if (!Create(kTemplateName, m_pParent)) return;
  CWnd* msg = GetDlgItem(IDC_QRXPROGRESS_MSG);
  m_bar.m_hMsgWnd = msg ? msg->m_hWnd : nullptr;
  ShowWindow(SW_SHOW);
}

void CDProgress::SetRange(int low, int high) {
  if (m_bar.m_hWnd) m_bar.SetRange(low, high);
}

void CDProgress::SetMsg(const char* text) {
  if (!m_hWnd) {
    PrintLine(text);
  } else if (CWnd* msg = GetDlgItem(IDC_QRXPROGRESS_MSG)) {
    msg->SetWindowText(text);
    msg->UpdateWindow();
  }
}

void CDProgress::SetMsg(unsigned int id) {
  CString text;
  text.LoadString(id);
  SetMsg(text);
}

void CDProgress::EnableCancel(bool enable) {
  if (CWnd* cancel = GetDlgItem(IDCANCEL)) cancel->EnableWindow(enable);
}

void CDProgress::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_QRXPROGRESS_BAR, m_bar);
}

BOOL CDProgress::OnInitDialog() {
  SetWindowText(AfxGetAppName());
  CenterWindow();
  return CDialog::OnInitDialog();
}

void CDProgress::OnCancel() {
  m_bar.m_bCanceled = true;
}

// ---- The process-wide display ---------------------------------------------------------------------

namespace {

bool g_displaysGone = false;

struct Displays {
  CDProgressBar bar;
  CDProgress dialog;
  CDProgressBar* current = nullptr;
  CTerminalProgress terminal{STDERR_FILENO};
  int terminalMode = QRX_TERMINAL_AUTO;
  ~Displays() { g_displaysGone = true; }

  bool CurrentShown() const { return current && current->m_hWnd; }
  bool TerminalWanted() const {
    return terminalMode == QRX_TERMINAL_ON || (terminalMode == QRX_TERMINAL_AUTO && ::isatty(STDERR_FILENO));
  }
};

Displays* GetDisplays() {
  if (g_displaysGone) return nullptr;
  static Displays displays;
  return &displays;
}

}  // namespace

void qrxProgressShow(int mode) {
  Displays* d = GetDisplays();
  if (!d) return;
  if (mode == 1) {
    d->current = &d->dialog.GetBar();
    if (!d->current->m_hWnd) {
      d->dialog.Show(true);
      if (d->dialog.m_hWnd)
        d->dialog.SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW);
    }
  } else if (mode == 2) {
    d->current = &d->bar;
    if (!d->current->m_hWnd) d->current->Show(true);
  } else {
    if (d->current == &d->dialog.GetBar())
      d->dialog.Hide();
    else if (d->current)
      d->current->Hide();
    d->terminal.Stop();
    return;
  }
  if (!d->CurrentShown() && !d->terminal.IsActive() && d->TerminalWanted()) d->terminal.Start();
}

void qrxProgressSetRange(int low, int high) {
  Displays* d = GetDisplays();
  if (d && d->CurrentShown())
    d->current->SetRange(low, high);
  else if (d && d->terminal.IsActive())
    d->terminal.SetRange(low, high);
}

bool qrxProgressSetPos(int pos) {
  Displays* d = GetDisplays();
  if (d && d->CurrentShown()) return d->current->SetPos(pos);
  if (d && d->terminal.IsActive()) d->terminal.SetPos(pos);
  return true;
}

bool qrxProgressStep() {
  Displays* d = GetDisplays();
  if (d && d->CurrentShown()) return d->current->Step();
  if (d && d->terminal.IsActive()) d->terminal.Step();
  return true;
}

bool qrxProgressCanceled() {
  Displays* d = GetDisplays();
  return d && d->current && d->current->IsCanceled();
}

bool qrxProgressIsVisible() {
  Displays* d = GetDisplays();
  return d && (d->CurrentShown() || d->terminal.IsActive());
}

void qrxProgressEnableCancel(bool enable) {
  Displays* d = GetDisplays();
  if (d && d->current == &d->dialog.GetBar() && d->dialog.m_hWnd) d->dialog.EnableCancel(enable);
}

namespace {

void SetMsgV(const char* format, va_list args) {
  Displays* d = GetDisplays();
  if (!d || !format || !(d->CurrentShown() || d->terminal.IsActive())) return;
  char text[512];  // longer messages are cut
  std::vsnprintf(text, sizeof text, format, args);
  if (d->CurrentShown())
    d->current->SetMsg(text);
  else
    d->terminal.SetMsg(text);
}

}  // namespace

void qrxProgressSetMsg(const char* format, ...) {
  va_list args;
  va_start(args, format);
  SetMsgV(format, args);
  va_end(args);
}

void qrxProgressSetMsg(unsigned long id, ...) {
  va_list args;
  va_start(args, id);
  SetMsgV(FindStringResource(static_cast<UINT>(id)), args);
  va_end(args);
}

qrxProgressShow2::qrxProgressShow2(int mode) : m_bVisible(qrxProgressIsVisible()) {
  if (!m_bVisible) qrxProgressShow(mode);
}

qrxProgressShow2::~qrxProgressShow2() {
  if (!m_bVisible) qrxProgressShow(0);
}

CDProgress* qrxProgressGetDialog() {
  Displays* d = GetDisplays();
  return d ? &d->dialog : nullptr;
}

int qrxProgressSetTerminal(int mode) {
  Displays* d = GetDisplays();
  if (!d) return QRX_TERMINAL_OFF;
  const int previous = d->terminalMode;
  d->terminalMode = mode < 0 ? QRX_TERMINAL_AUTO : mode > 0 ? QRX_TERMINAL_ON : QRX_TERMINAL_OFF;
  if (!d->TerminalWanted()) d->terminal.Stop();
  return previous;
}
