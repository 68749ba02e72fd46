// The window table, the message queue, mouse capture and CWnd.
//
// State (one table per process, used from the user-interface thread only):
//  1. Every live window has one record, keyed by a handle number that grows
//     and is never reused; a record's object is the CWnd that gets its
//     messages (null never happens while the record exists).
//  2. A record's parent, when set, is a live window; children are destroyed
//     before their parent, and owned top-level windows with their owner.
//  3. The capture, when set, is a live window (destroying it clears it).
//  4. Windows and queue belong to the installed window system; installing
//     another destroys them, and Detach (the system going away) forgets them.
//  5. At process exit the table is destroyed; from then on every call is a
//     no-op, so window objects destroyed later in any order are safe.
#include "vdkit/platform/window.h"

#include <algorithm>
#include <deque>
#include <map>

#include "vdkit/platform/resources.h"
#include "vdkit/platform/window_internal.h"

using namespace window_internal;

namespace {

bool g_tableGone = false;  // constant-initialised: readable after the table is destroyed

struct Table {
  std::map<uintptr_t, WindowData> windows;  // in creation order
  uintptr_t next = 1;
  std::deque<MSG> queue;
  bool quit = false;
  int quitCode = 0;
  HWND capture = nullptr;
  CWindowSystem* ws = nullptr;
  ~Table() { g_tableGone = true; }
};

Table* GetTable() {
  if (g_tableGone) return nullptr;
  static Table table;
  return &table;
}

uintptr_t Key(HWND h) {
  return reinterpret_cast<uintptr_t>(h);
}
HWND Handle(uintptr_t key) {
  return reinterpret_cast<HWND>(key);
}

bool Matches(const MSG& m, HWND hWnd, UINT lo, UINT hi) {
  if (hWnd && m.hwnd != hWnd) return false;
  return (lo == 0 && hi == 0) || (lo <= m.message && m.message <= hi);
}

bool IsInput(UINT message) {
  return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_KEYDOWN ||
         message == WM_KEYUP || message == WM_CHAR;
}

// The message being handled, for CWnd::Default. Nested sends save and restore it.
struct Current {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
} g_current;

// The first message that can be taken now, without waiting.
bool TakeMessage(LPMSG msg, HWND hWnd, UINT lo, UINT hi, bool remove) {
  Table* t = GetTable();
  if (!t) return false;
  for (int pass = 0; pass < 2; ++pass) {
    auto it = std::find_if(t->queue.begin(), t->queue.end(),
                           [&](const MSG& m) { return Matches(m, hWnd, lo, hi); });
    if (it != t->queue.end()) {
      *msg = *it;
      if (remove) t->queue.erase(it);
      return true;
    }
    if (t->quit && ((lo == 0 && hi == 0) || (lo <= WM_QUIT && WM_QUIT <= hi))) {
      *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(t->quitCode), 0, 0, {0, 0}};
      if (remove) t->quit = false;
      return true;
    }
    // Native input that has already arrived comes before painting.
    if (pass == 0 && t->ws) t->ws->WaitForInput(false);
    t = GetTable();
    if (!t) return false;
  }
  for (auto& [key, data] : t->windows) {
    const MSG paint{Handle(key), WM_PAINT, 0, 0, 0, {0, 0}};
    if (data.invalid && IsShown(paint.hwnd) && Matches(paint, hWnd, lo, hi)) {
      *msg = paint;  // stays until the window is painted
      return true;
    }
  }
  return false;
}

LRESULT CallWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowData* d = Find(hWnd);
  if (!d) return 0;
  if (IsInput(message) && !d->enabled) return 0;  // disabled windows get no input
  const Current saved = g_current;
  g_current = Current{message, wParam, lParam};
  const LRESULT r = d->object->WindowProc(message, wParam, lParam);
  g_current = saved;
  // A paint handler that did not paint must not be asked again and again.
  if (message == WM_PAINT)
    if (WindowData* after = Find(hWnd)) after->invalid = false;
  return r;
}

void InvalidateTree(HWND hWnd) {
  Table* t = GetTable();
  if (!t) return;
  if (WindowData* d = Find(hWnd)) d->invalid = true;
  for (auto& [key, data] : t->windows)
    if (data.parent == hWnd) InvalidateTree(Handle(key));
}

}  // namespace

// ---- Internal interface ----------------------------------------------------------------------

WindowData* window_internal::Find(HWND hWnd) {
  Table* t = GetTable();
  if (!t || !hWnd) return nullptr;
  const auto it = t->windows.find(Key(hWnd));
  return it == t->windows.end() ? nullptr : &it->second;
}

CWindowSystem* window_internal::System() {
  Table* t = GetTable();
  return t ? t->ws : nullptr;
}

bool window_internal::IsShown(HWND hWnd) {
  for (WindowData* d = Find(hWnd); d; d = Find(d->parent)) {
    if (!d->visible) return false;
    if (!d->parent) return true;
  }
  return false;
}

POINT window_internal::ScreenOrigin(HWND hWnd) {
  POINT p{0, 0};
  for (WindowData* d = Find(hWnd); d; d = Find(d->parent)) {
    p.x += d->rect.left;
    p.y += d->rect.top;
  }
  return p;
}

namespace {

void DestroyTree(HWND hWnd) {
  Table* t = GetTable();
  WindowData* d = Find(hWnd);
  if (!t || !d || d->destroying) return;
  d->destroying = true;
  // Children first, then top-level windows this one owns.
  std::vector<HWND> dependants;
  for (auto& [key, data] : t->windows)
    if (data.parent == hWnd || data.owner == hWnd) dependants.push_back(Handle(key));
  for (HWND h : dependants) DestroyTree(h);

  CallWindowProc(hWnd, WM_DESTROY, 0, 0);
  t = GetTable();
  d = Find(hWnd);
  if (!t || !d) return;
  if (t->capture == hWnd) ReleaseCapture();
  if (t->ws) t->ws->DestroyNativeWindow(hWnd);
  CWnd* object = d->object;
  t->windows.erase(Key(hWnd));
  object->m_hWnd = nullptr;
  CWinThread* thread = AfxGetThread();
  if (thread && thread->m_pMainWnd == object) {
    thread->m_pMainWnd = nullptr;
    PostQuitMessage(0);
  }
  WindowAccess::Destroyed(object);  // may delete the object
}

// Forgets every window without calling into the window system or the objects.
void ForgetAll(Table* t) {
  for (auto& entry : t->windows) entry.second.object->m_hWnd = nullptr;
  t->windows.clear();
  t->queue.clear();
  t->capture = nullptr;
}

}  // namespace

// ---- The window system -----------------------------------------------------------------------

CWindowSystem::~CWindowSystem() {
  Detach();
}

CWindowSystem::IdleHandler CWindowSystem::SetIdleHandler(IdleHandler handler) {
  IdleHandler previous = std::move(m_idle);
  m_idle = std::move(handler);
  return previous;
}

void CWindowSystem::Detach() {
  Table* t = GetTable();
  if (!t || t->ws != this) return;
  ForgetAll(t);
  t->ws = nullptr;
}

void CWindowSystem::WindowRectChanged(HWND hWnd, const RECT& rect) {
  WindowData* d = Find(hWnd);
  if (!d) return;
  const bool sized = rect.right - rect.left != d->rect.right - d->rect.left ||
                     rect.bottom - rect.top != d->rect.bottom - d->rect.top;
  d->rect = rect;
  if (sized) PostMessage(hWnd, WM_SIZE, 0, MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
}

CWindowSystem* AfxSetWindowSystem(CWindowSystem* ws) {
  Table* t = GetTable();
  if (!t) return nullptr;
  CWindowSystem* previous = t->ws;
  if (previous == ws) return previous;
  std::vector<HWND> tops;
  for (auto& [key, data] : t->windows)
    if (!data.parent) tops.push_back(Handle(key));
  for (HWND h : tops) DestroyTree(h);
  t = GetTable();
  if (!t) return previous;
  ForgetAll(t);
  t->quit = false;
  t->ws = ws;
  return previous;
}

CWindowSystem* AfxGetWindowSystem() {
  return System();
}

// ---- The queue ---------------------------------------------------------------------------------

BOOL GetMessage(LPMSG msg, HWND hWnd, UINT lo, UINT hi) {
  for (;;) {
    if (TakeMessage(msg, hWnd, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
    CWindowSystem* ws = System();
    if (!ws) return -1;
    if (const auto& idle = ws->GetIdleHandler()) {
      const auto handler = idle;  // the handler may replace itself
      if (!handler()) return -1;
      if (TakeMessage(msg, hWnd, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
      if (!(ws = System())) return -1;
    }
    if (!ws->WaitForInput(true)) return -1;
  }
}

BOOL PeekMessage(LPMSG msg, HWND hWnd, UINT lo, UINT hi, UINT remove) {
  return TakeMessage(msg, hWnd, lo, hi, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessage(const MSG* msg) {
  return msg ? CallWindowProc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Table* t = GetTable();
  if (!t || (hWnd && !Find(hWnd))) return FALSE;
  t->queue.push_back(MSG{hWnd, message, wParam, lParam, 0, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}});
  return TRUE;
}

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProc(hWnd, message, wParam, lParam);
}

void PostQuitMessage(int code) {
  if (Table* t = GetTable()) {
    t->quit = true;
    t->quitCode = code;
  }
}

BOOL IsWindow(HWND hWnd) {
  return Find(hWnd) ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL) {
  WindowData* d = Find(hWnd);
  if (!d) return FALSE;
  d->invalid = true;
  return TRUE;
}

BOOL UpdateWindow(HWND hWnd) {
  WindowData* d = Find(hWnd);
  if (!d) return FALSE;
  if (d->invalid && IsShown(hWnd)) CallWindowProc(hWnd, WM_PAINT, 0, 0);
  return TRUE;
}

HWND SetCapture(HWND hWnd) {
  Table* t = GetTable();
  if (!t || !Find(hWnd)) return nullptr;
  const HWND previous = t->capture;
  t->capture = hWnd;
  if (t->ws) t->ws->CaptureNativePointer(hWnd);
  return previous;
}

HWND GetCapture() {
  Table* t = GetTable();
  return t ? t->capture : nullptr;
}

BOOL ReleaseCapture() {
  Table* t = GetTable();
  if (!t) return FALSE;
  if (t->capture) {
    t->capture = nullptr;
    if (t->ws) t->ws->CaptureNativePointer(nullptr);
  }
  return TRUE;
}

// ---- CWnd: creation and destruction ---------------------------------------------------------------

const CWnd CWnd::wndTop;

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_hWnd) DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  WindowData* d = Find(hWnd);
  return d ? d->object : nullptr;
}

BOOL CWnd::CreateWindowObject(LPCSTR cls, LPCSTR name, DWORD style, const RECT& rect, HWND hParent,
                              HWND hOwner, UINT nID) {
  Table* t = GetTable();
  if (!t || !t->ws || m_hWnd || (hParent && !Find(hParent))) return FALSE;
  const HWND h = Handle(t->next++);
  WindowData d;
  d.object = this;
  d.parent = hParent;
  d.owner = Find(hOwner) ? hOwner : nullptr;
  d.style = style;
  d.id = nID;
  d.rect = rect;
  d.text = name ? name : "";
  d.enabled = !(style & WS_DISABLED);
  const CString c = cls ? cls : "";
  d.kind = c.CompareNoCase(WC_STATIC) == 0         ? Kind::statictext
           : c.CompareNoCase(WC_BUTTON) == 0       ? Kind::button
           : c.CompareNoCase(PROGRESS_CLASS) == 0  ? Kind::progress
           : c.CompareNoCase(STATUSCLASSNAME) == 0 ? Kind::statusbar
           : c.CompareNoCase("#32770") == 0        ? Kind::dialog
                                                   : Kind::plain;
  t->windows.emplace(Key(h), d);
  m_hWnd = h;
  t->windows[Key(h)].background = GetBackgroundColor();
  const SNativeWindow native{h, hParent, d.owner, rect, d.text.c_str(), t->windows[Key(h)].background};
  if (!t->ws->CreateNativeWindow(native)) {
    t->windows.erase(Key(h));
    m_hWnd = nullptr;
    return FALSE;
  }
  if (style & WS_VISIBLE) ShowWindow(SW_SHOW);
  return TRUE;
}

BOOL CWnd::Create(LPCSTR cls, LPCSTR name, DWORD style, const RECT& rect, CWnd* pParent, UINT nID, void*) {
  if (style & WS_CHILD) {
    if (!pParent || !pParent->m_hWnd) return FALSE;
    return CreateWindowObject(cls, name, style, rect, pParent->m_hWnd, nullptr, nID);
  }
  return CreateWindowObject(cls, name, style, rect, nullptr, pParent ? pParent->m_hWnd : nullptr, nID);
}

BOOL CWnd::CreateEx(DWORD, LPCSTR cls, LPCSTR name, DWORD style, const RECT& rect, CWnd* pParent, UINT nID,
                    void* param) {
  return Create(cls, name, style, rect, pParent, nID, param);
}

BOOL CWnd::DestroyWindow() {
  if (!Find(m_hWnd)) return FALSE;
  DestroyTree(m_hWnd);
  return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  WindowData* d = Find(hWnd);
  if (!d || m_hWnd) return FALSE;
  d->object->m_hWnd = nullptr;
  d->object = this;
  m_hWnd = hWnd;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  CWnd* control = pParent ? pParent->GetDlgItem(static_cast<int>(nID)) : nullptr;
  return control ? SubclassWindow(control->m_hWnd) : FALSE;
}

// ---- CWnd: state ---------------------------------------------------------------------------------

BOOL CWnd::ShowWindow(int nCmdShow) {
  WindowData* d = Find(m_hWnd);
  if (!d) return FALSE;
  const bool was = d->visible, show = nCmdShow != SW_HIDE;
  d->visible = show;
  if (was != show) {
    if (CWindowSystem* ws = System()) ws->ShowNativeWindow(m_hWnd, show);
    if (show) InvalidateTree(m_hWnd);
    if (!show && d->parent) Find(d->parent)->invalid = true;
  }
  return was;
}

BOOL CWnd::IsWindowVisible() const {
  return IsShown(m_hWnd);
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
  WindowData* d = Find(m_hWnd);
  if (!d) return FALSE;
  const bool wasDisabled = !d->enabled;
  d->enabled = bEnable != FALSE;
  if (wasDisabled == d->enabled) d->invalid = true;
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  const WindowData* d = Find(m_hWnd);
  return d && d->enabled;
}

void CWnd::SetWindowText(LPCSTR text) {
  WindowData* d = Find(m_hWnd);
  if (!d) return;
  d->text = text ? text : "";
  d->invalid = true;
  if (!d->parent)
    if (CWindowSystem* ws = System()) ws->SetNativeTitle(m_hWnd, d->text.c_str());
}

int CWnd::GetWindowText(LPSTR buf, int nMaxCount) const {
  const WindowData* d = Find(m_hWnd);
  if (!buf || nMaxCount <= 0) return 0;
  const size_t n = d ? std::min(d->text.size(), static_cast<size_t>(nMaxCount - 1)) : 0;
  if (n) std::copy_n(d->text.data(), n, buf);
  buf[n] = '\0';
  return static_cast<int>(n);
}

void CWnd::GetWindowText(CString& s) const {
  const WindowData* d = Find(m_hWnd);
  s = d ? d->text.c_str() : "";
}

int CWnd::GetWindowTextLength() const {
  const WindowData* d = Find(m_hWnd);
  return d ? static_cast<int>(d->text.size()) : 0;
}

DWORD CWnd::GetStyle() const {
  const WindowData* d = Find(m_hWnd);
  if (!d) return 0;
  DWORD style = d->style & ~(WS_VISIBLE | WS_DISABLED);
  if (d->visible) style |= WS_VISIBLE;
  if (!d->enabled) style |= WS_DISABLED;
  return style;
}

int CWnd::GetDlgCtrlID() const {
  const WindowData* d = Find(m_hWnd);
  return d ? static_cast<int>(d->id) : 0;
}

int CWnd::SetDlgCtrlID(int nID) {
  WindowData* d = Find(m_hWnd);
  if (!d) return 0;
  const int old = static_cast<int>(d->id);
  d->id = static_cast<UINT>(nID);
  return old;
}

CWnd* CWnd::GetParent() const {
  const WindowData* d = Find(m_hWnd);
  return d ? FromHandle(d->parent ? d->parent : d->owner) : nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  Table* t = GetTable();
  if (!t || !m_hWnd) return nullptr;
  for (auto& entry : t->windows)
    if (entry.second.parent == m_hWnd && entry.second.id == static_cast<UINT>(nID))
      return entry.second.object;
  return nullptr;
}

// ---- CWnd: geometry -------------------------------------------------------------------------------

void CWnd::GetClientRect(LPRECT r) const {
  const WindowData* d = Find(m_hWnd);
  *r = d ? RECT{0, 0, d->rect.right - d->rect.left, d->rect.bottom - d->rect.top} : RECT{0, 0, 0, 0};
}

void CWnd::GetWindowRect(LPRECT r) const {
  GetClientRect(r);
  ClientToScreen(r);
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  WindowData* d = Find(m_hWnd);
  if (!d) return;
  const RECT rc{x, y, x + nWidth, y + nHeight};
  const bool sized = nWidth != d->rect.right - d->rect.left || nHeight != d->rect.bottom - d->rect.top;
  d->rect = rc;
  if (CWindowSystem* ws = System()) ws->MoveNativeWindow(m_hWnd, rc);
  if (bRepaint) InvalidateTree(m_hWnd);
  if (sized) SendMessage(WM_SIZE, 0, MAKELPARAM(nWidth, nHeight));
}

void CWnd::MoveWindow(LPCRECT r, BOOL bRepaint) {
  MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint);
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT nFlags) {
  WindowData* d = Find(m_hWnd);
  if (!d) return FALSE;
  if ((nFlags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
    const RECT& r = d->rect;
    if (nFlags & SWP_NOMOVE) x = r.left, y = r.top;
    if (nFlags & SWP_NOSIZE) cx = r.right - r.left, cy = r.bottom - r.top;
    MoveWindow(x, y, cx, cy, !(nFlags & SWP_NOREDRAW));
  }
  if (!(nFlags & SWP_NOZORDER)) BringWindowToTop();
  if (nFlags & SWP_SHOWWINDOW) ShowWindow(SW_SHOW);
  if (nFlags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
  return TRUE;
}

void CWnd::BringWindowToTop() {
  if (Find(m_hWnd))
    if (CWindowSystem* ws = System()) ws->RaiseNativeWindow(m_hWnd);
}

void CWnd::CenterWindow(CWnd* pAlternateOwner) {
  WindowData* d = Find(m_hWnd);
  CWindowSystem* ws = System();
  if (!d || !ws) return;
  CRect area;
  const HWND around = pAlternateOwner ? pAlternateOwner->m_hWnd : d->parent ? d->parent : d->owner;
  if (CWnd* w = FromHandle(around)) {
    w->GetWindowRect(&area);
  } else {
    const SIZE s = ws->GetScreenSize();
    area.SetRect(0, 0, s.cx, s.cy);
  }
  CRect mine;
  GetWindowRect(&mine);
  CPoint at(area.left + (area.Width() - mine.Width()) / 2, area.top + (area.Height() - mine.Height()) / 2);
  if (d->parent) {
    const POINT o = ScreenOrigin(d->parent);
    at.Offset(-o.x, -o.y);
  }
  MoveWindow(at.x, at.y, mine.Width(), mine.Height(), FALSE);
}

void CWnd::ClientToScreen(LPPOINT p) const {
  const POINT o = ScreenOrigin(m_hWnd);
  p->x += o.x;
  p->y += o.y;
}

void CWnd::ClientToScreen(LPRECT r) const {
  ClientToScreen(reinterpret_cast<LPPOINT>(r));
  ClientToScreen(reinterpret_cast<LPPOINT>(r) + 1);
}

void CWnd::ScreenToClient(LPPOINT p) const {
  const POINT o = ScreenOrigin(m_hWnd);
  p->x -= o.x;
  p->y -= o.y;
}

void CWnd::ScreenToClient(LPRECT r) const {
  ScreenToClient(reinterpret_cast<LPPOINT>(r));
  ScreenToClient(reinterpret_cast<LPPOINT>(r) + 1);
}

// ---- CWnd: painting, input and messages ----------------------------------------------------------

void CWnd::Invalidate(BOOL bErase) {
  ::InvalidateRect(m_hWnd, nullptr, bErase);
}
void CWnd::UpdateWindow() {
  ::UpdateWindow(m_hWnd);
}

CDC* CWnd::GetDC() {
  return new CClientDC(this);
}

int CWnd::ReleaseDC(CDC* pDC) {
  delete pDC;
  return 1;
}

CWnd* CWnd::SetCapture() {
  return FromHandle(::SetCapture(m_hWnd));
}
CWnd* CWnd::GetCapture() {
  return FromHandle(::GetCapture());
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_hWnd ? ::PostMessage(m_hWnd, message, wParam, lParam) : FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  const UINT flags = static_cast<UINT>(wParam);
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<CDC*>(wParam));
    case WM_SIZE:
      OnSize(flags, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(flags, pt);
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(flags, pt);
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(flags, pt);
      return 0;
    case WM_LBUTTONDBLCLK:
      OnLButtonDblClk(flags, pt);
      return 0;
    case WM_RBUTTONDOWN:
      OnRButtonDown(flags, pt);
      return 0;
    case WM_RBUTTONUP:
      OnRButtonUp(flags, pt);
      return 0;
    case WM_KEYDOWN:
      OnKeyDown(flags, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_COMMAND:
      if (OnCommand(wParam, lParam)) return 0;
      break;
    default:
      break;
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(g_current.message, g_current.wParam, g_current.lParam);
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) {
  return FALSE;
}
void CWnd::OnClose() {
  Default();
}
void CWnd::OnPaint() {
  Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
  return static_cast<BOOL>(Default());
}
void CWnd::OnSize(UINT, int, int) {
  Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
  Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
  Default();
}
void CWnd::OnRButtonDown(UINT, CPoint) {
  Default();
}
void CWnd::OnRButtonUp(UINT, CPoint) {
  Default();
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
  Default();
}

COLORREF CWnd::GetBackgroundColor() const {
  const WindowData* d = Find(m_hWnd);
  return d && d->kind != Kind::plain && d->kind != Kind::progress ? kFaceColor : RGB(255, 255, 255);
}
