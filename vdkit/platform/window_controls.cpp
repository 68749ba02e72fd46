// What window classes do by default (painting, erasing, button clicks), and
// the kinds of window built on CWnd: views, frames, status bars, controls,
// dialogs from templates, and the application thread.
#include <cerrno>
#include <cstring>
#include <map>

#include "vdkit/platform/resources.h"
#include "vdkit/platform/window.h"
#include "vdkit/platform/window_internal.h"

using namespace window_internal;

namespace {

SIZE TextSize(const std::string& s) {
  CWindowSystem* ws = System();
  return ws ? ws->GetNativeTextExtent(s.data(), static_cast<int>(s.size())) : SIZE{0, 0};
}

// Lines of `text` no wider than `width`, broken at blanks and newlines; a
// word wider than the line stands alone (and is clipped).
std::vector<std::string> Wrap(const std::string& text, int width) {
  std::vector<std::string> lines(1);
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\n') {
      lines.emplace_back();
      ++i;
      continue;
    }
    size_t end = text.find_first_of(" \n", i);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(i, end - i);
    std::string& line = lines.back();
    const std::string joined = line.empty() ? word : line + " " + word;
    if (line.empty() || TextSize(joined).cx <= width)
      line = joined;
    else
      lines.push_back(word);
    i = end < text.size() && text[end] == ' ' ? end + 1 : end;
  }
  return lines;
}

void Edge(CDC& dc, const CRect& r, COLORREF topLeft, COLORREF bottomRight) {
  dc.FillSolidRect(r.left, r.top, r.Width(), 1, topLeft);
  dc.FillSolidRect(r.left, r.top, 1, r.Height(), topLeft);
  dc.FillSolidRect(r.left, r.bottom - 1, r.Width(), 1, bottomRight);
  dc.FillSolidRect(r.right - 1, r.top, 1, r.Height(), bottomRight);
}

// Paints a control of the given kind (after its background was erased).
void PaintControl(CDC& dc, const WindowData& d) {
  const CRect client(0, 0, d.rect.right - d.rect.left, d.rect.bottom - d.rect.top);
  const int lineHeight = std::max<LONG>(1, TextSize("X").cy);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(d.enabled ? RGB(0, 0, 0) : kGrayTextColor);
  switch (d.kind) {
    case Kind::statictext: {
      int y = 0;
      for (const std::string& line : Wrap(d.text, client.Width())) {
        dc.TextOut(0, y, line.c_str(), static_cast<int>(line.size()));
        y += lineHeight;
      }
      break;
    }
    case Kind::button: {
      const int shift = d.pressed ? 1 : 0;
      Edge(dc, client, d.pressed ? kShadowColor : RGB(255, 255, 255),
           d.pressed ? RGB(255, 255, 255) : RGB(0, 0, 0));
      dc.SetTextAlign(TA_CENTER | TA_TOP);
      dc.TextOut(client.Width() / 2 + shift, (client.Height() - lineHeight) / 2 + shift, d.text.c_str(),
                 static_cast<int>(d.text.size()));
      break;
    }
    case Kind::progress:
      Edge(dc, client, kShadowColor, RGB(255, 255, 255));
      break;
    case Kind::statusbar: {
      CRect pane = client;
      pane.DeflateRect(2, 2, 2, 1);
      Edge(dc, pane, kShadowColor, RGB(255, 255, 255));
      dc.TextOut(pane.left + 4, pane.top + (pane.Height() - lineHeight) / 2, d.text.c_str(),
                 static_cast<int>(d.text.size()));
      break;
    }
    default:
      break;
  }
}

}  // namespace

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  WindowData* d = Find(m_hWnd);
  if (!d) return 0;
  const HWND self = m_hWnd;
  switch (message) {
    case WM_PAINT: {
      CPaintDC dc(this);
      if ((d = Find(self))) PaintControl(dc, *d);
      return 0;
    }
    case WM_ERASEBKGND: {
      CDC* dc = reinterpret_cast<CDC*>(wParam);
      CRect client;
      GetClientRect(&client);
      if (dc) dc->FillSolidRect(&client, d->background);
      return 1;
    }
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    case WM_LBUTTONDOWN:
      if (d->kind == Kind::button) {
        d->pressed = true;
        ::SetCapture(self);
        Invalidate();
        UpdateWindow();
      }
      return 0;
    case WM_LBUTTONUP:
      if (d->kind == Kind::button && d->pressed) {
        d->pressed = false;
        if (::GetCapture() == self) ::ReleaseCapture();
        Invalidate();
        UpdateWindow();
        CRect client;
        GetClientRect(&client);
        d = Find(self);
        if (d && client.PtInRect(CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))))
          ::SendMessage(d->parent, WM_COMMAND, MAKEWPARAM(d->id, BN_CLICKED), reinterpret_cast<LPARAM>(self));
      }
      return 0;
    default:
      return 0;
  }
}

// ---- Views, frames and status bars ----------------------------------------------------------------

void CView::OnPrepareDC(CDC*, CPrintInfo*) {}

void CView::OnPaint() {
  CPaintDC dc(this);
  OnPrepareDC(&dc);
  OnDraw(&dc);
}

int CStatusBar::Height() {
  return std::max<LONG>(13, TextSize("X").cy) + 9;
}

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
  if (!pParentWnd) return FALSE;
  CRect client;
  pParentWnd->GetClientRect(&client);
  const CRect rc(0, client.bottom - Height(), client.right, client.bottom);
  return CWnd::Create(STATUSCLASSNAME, "", dwStyle | WS_CHILD, rc, pParentWnd, nID);
}

BOOL CStatusBar::SetIndicators(const UINT*, int nIDCount) {
  return nIDCount >= 0;
}

BOOL CStatusBar::SetPaneText(int nIndex, LPCSTR text, BOOL bUpdate) {
  if (nIndex != 0) return nIndex > 0;
  SetWindowText(text);
  if (bUpdate) UpdateWindow();
  return TRUE;
}

const CRect CFrameWnd::rectDefault(40, 40, 680, 520);

BOOL CFrameWnd::Create(LPCSTR cls, LPCSTR name, DWORD style, const RECT& rect, CWnd* pParentWnd, LPCSTR,
                       DWORD, void*) {
  return WindowAccess::Create(this, cls, name, style & ~WS_CHILD, rect, nullptr,
                              pParentWnd ? pParentWnd->m_hWnd : nullptr, 0);
}

CWnd* CFrameWnd::GetMessageBar() {
  return GetDlgItem(AFX_IDW_STATUS_BAR);
}

CView* CFrameWnd::GetActiveView() const {
  return m_pViewActive ? m_pViewActive : dynamic_cast<CView*>(GetDlgItem(AFX_IDW_PANE_FIRST));
}

void CFrameWnd::SetActiveView(CView* pViewNew, BOOL) {
  m_pViewActive = pViewNew;
}

void CFrameWnd::RecalcLayout(BOOL) {
  CRect client;
  GetClientRect(&client);
  int bottom = client.bottom;
  if (CWnd* bar = GetMessageBar()) {
    bottom -= CStatusBar::Height();
    bar->MoveWindow(0, bottom, client.Width(), client.bottom - bottom);
  }
  if (CWnd* view = GetDlgItem(AFX_IDW_PANE_FIRST)) view->MoveWindow(0, 0, client.Width(), bottom);
}

void CFrameWnd::OnSize(UINT, int, int) {
  RecalcLayout();
}
void CFrameWnd::OnDestroy() {
  m_pViewActive = nullptr;
}
COLORREF CFrameWnd::GetBackgroundColor() const {
  return kFaceColor;
}

// ---- Controls -----------------------------------------------------------------------------------------

BOOL CStatic::Create(LPCSTR text, DWORD style, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_STATIC, text, style | WS_CHILD, rect, pParentWnd, nID);
}

BOOL CButton::Create(LPCSTR caption, DWORD style, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  return CWnd::Create(WC_BUTTON, caption, style | WS_CHILD, rect, pParentWnd, nID);
}

// ---- Dialogs ------------------------------------------------------------------------------------------

namespace {

std::map<std::string, SDialogTemplate>& Templates() {
  static std::map<std::string, SDialogTemplate> templates;
  return templates;
}

std::string TemplateKey(LPCSTR name) {
  return CString(name).MakeUpper().GetString();
}

}  // namespace

void SetDialogTemplate(LPCSTR name, const SDialogTemplate* t) {
  if (t)
    Templates()[TemplateKey(name)] = *t;
  else
    Templates().erase(TemplateKey(name));
}

const SDialogTemplate* FindDialogTemplate(LPCSTR name) {
  const auto it = Templates().find(TemplateKey(name));
  return it == Templates().end() ? nullptr : &it->second;
}

CRect MapDialogUnits(short x, short y, short cx, short cy) {
  // Base units: the average width of the letters, and the line height.
  const SIZE letters = TextSize("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int bx = letters.cx > 0 ? (letters.cx / 26 + 1) / 2 : 6, by = letters.cy > 0 ? letters.cy : 13;
  return CRect(CPoint(MulDiv(x, bx, 4), MulDiv(y, by, 8)), CSize(MulDiv(cx, bx, 4), MulDiv(cy, by, 8)));
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (pDX && pDX->m_pDlgWnd && !rControl.m_hWnd)
    rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDX->m_pDlgWnd);
}

CDialog::CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd) {}

BOOL CDialog::Create(LPCSTR lpszTemplateName, CWnd* pParentWnd) {
  const SDialogTemplate* t = FindDialogTemplate(lpszTemplateName);
  if (!t || m_hWnd) return FALSE;
  const SDialogTemplate copy = *t;  // OnInitDialog may replace the template
  const CRect size = MapDialogUnits(0, 0, copy.cx, copy.cy);
  if (!WindowAccess::Create(this, "#32770", copy.caption.c_str(), copy.style & ~(WS_VISIBLE | WS_CHILD), size,
                            nullptr, pParentWnd ? pParentWnd->m_hWnd : nullptr, 0))
    return FALSE;
  m_lpszTemplateName = lpszTemplateName;
  m_pParentWnd = pParentWnd;
  DestroyControlObjects();
  for (const SDialogItem& item : copy.items) {
    const CString cls = item.className.c_str();
    CWnd* control = cls.CompareNoCase(WC_STATIC) == 0   ? new CStatic
                    : cls.CompareNoCase(WC_BUTTON) == 0 ? new CButton
                                                        : new CWnd;
    m_controls.push_back(control);
    WindowAccess::Create(control, item.className.c_str(), item.text.c_str(), item.style | WS_CHILD,
                         MapDialogUnits(item.x, item.y, item.cx, item.cy), m_hWnd, nullptr, item.id);
  }
  OnInitDialog();
  if (m_hWnd && (copy.style & WS_VISIBLE)) ShowWindow(SW_SHOW);
  return m_hWnd != nullptr;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CDialog::EndDialog(int) {
  ShowWindow(SW_HIDE);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
  if (LOWORD(wParam) == IDOK) {
    OnOK();
    return TRUE;
  }
  if (LOWORD(wParam) == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

COLORREF CDialog::GetBackgroundColor() const {
  return kFaceColor;
}

CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
  DestroyControlObjects();
}

void CDialog::DestroyControlObjects() {
  for (CWnd* control : m_controls) delete control;  // a control still alive is destroyed with its object
  m_controls.clear();
}

void CDialog::PostNcDestroy() {
  DestroyControlObjects();
}

// ---- The application thread -------------------------------------------------------------------------

namespace {

CWinApp* g_app = nullptr;
bool g_threadGone = false;

struct DefaultThread {
  CWinThread thread;
  ~DefaultThread() { g_threadGone = true; }
};

}  // namespace

CWinThread::~CWinThread() = default;

BOOL CWinThread::PumpMessage() {
  m_msgCur.message = WM_NULL;
  if (::GetMessage(&m_msgCur, nullptr, 0, 0) <= 0) return FALSE;
  ::TranslateMessage(&m_msgCur);
  ::DispatchMessage(&m_msgCur);
  return TRUE;
}

int CWinThread::Run() {
  while (PumpMessage()) {
  }
  return m_msgCur.message == WM_QUIT ? static_cast<int>(m_msgCur.wParam) : -1;
}

CWinApp::CWinApp(LPCSTR lpszAppName) : m_name(lpszAppName ? lpszAppName : program_invocation_short_name) {
  m_pszAppName = m_name.c_str();
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() {
  return g_app;
}

CWinThread* AfxGetThread() {
  if (g_app) return g_app;
  if (g_threadGone) return nullptr;
  static DefaultThread fallback;
  return &fallback.thread;
}

CWnd* AfxGetMainWnd() {
  CWinThread* thread = AfxGetThread();
  return thread ? thread->GetMainWnd() : nullptr;
}

LPCSTR AfxGetAppName() {
  return g_app && g_app->m_pszAppName ? g_app->m_pszAppName : program_invocation_short_name;
}
