#include "vdkit/platform/window_x11.h"

// Xlib after vdkit's headers: it defines macros (Bool, Status, None, ...).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

// X protocol coordinates are 16-bit; figures are kept inside this range.
constexpr long kCoordLimit = 30000;

short Coord(long v) {
  return static_cast<short>(std::clamp(v, -kCoordLimit, kCoordLimit));
}

// The X function of a mix mode: the same truth table with its bits reversed
// (X numbers the (source, destination) pairs the other way round).
int XFunction(int rop2) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return GXnoop;
  const unsigned t = static_cast<unsigned>(rop2 - 1);
  return static_cast<int>(((t & 1) << 3) | ((t & 2) << 1) | ((t & 4) >> 1) | ((t & 8) >> 3));
}

int g_lastError = 0;
int OnXError(Display*, XErrorEvent* e) {
  g_lastError = e->error_code;  // recorded, never fatal: a window may vanish under a request
  return 0;
}

struct Channel {
  int shift = 0, bits = 8;
  explicit Channel(unsigned long mask = 0xFF) {
    if (!mask) return;
    while (!(mask & 1)) mask >>= 1, ++shift;
    bits = 0;
    while (mask & 1) mask >>= 1, ++bits;
  }
  unsigned long Put(unsigned v) const {
    return bits >= 8 ? static_cast<unsigned long>(v) << (shift + bits - 8)
                     : static_cast<unsigned long>(v >> (8 - bits)) << shift;
  }
  unsigned Get(unsigned long pixel) const {
    const unsigned long max = (1UL << bits) - 1, v = (pixel >> shift) & max;
    return static_cast<unsigned>(bits >= 8 ? v >> (bits - 8) : v * 255 / max);
  }
};

UINT VirtualKey(KeySym k) {
  switch (k) {
    case XK_Escape:
      return VK_ESCAPE;
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_BackSpace:
      return VK_BACK;
    case XK_Tab:
      return VK_TAB;
    case XK_Delete:
      return VK_DELETE;
    case XK_Left:
      return VK_LEFT;
    case XK_Right:
      return VK_RIGHT;
    case XK_Up:
      return VK_UP;
    case XK_Down:
      return VK_DOWN;
    case XK_space:
      return VK_SPACE;
    case XK_Shift_L:
    case XK_Shift_R:
      return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VK_CONTROL;
    default:
      break;
  }
  if (k >= XK_a && k <= XK_z) return static_cast<UINT>('A' + (k - XK_a));
  if ((k >= XK_A && k <= XK_Z) || (k >= XK_0 && k <= XK_9)) return static_cast<UINT>(k);
  return 0;
}

WPARAM KeyState(unsigned state) {
  WPARAM w = 0;
  if (state & Button1Mask) w |= MK_LBUTTON;
  if (state & Button3Mask) w |= MK_RBUTTON;
  if (state & ShiftMask) w |= MK_SHIFT;
  if (state & ControlMask) w |= MK_CONTROL;
  return w;
}

}  // namespace

struct CX11WindowSystem::Impl {
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0;
  GC gc = nullptr;
  XFontStruct* font = nullptr;
  Atom wmDelete = 0, wmProtocols = 0;
  Channel red, green, blue;
  XErrorHandler previousHandler = nullptr;
  struct Native {
    Window win;
    HWND parent;
    int width, height;
  };
  std::map<HWND, Native> windows;
  std::map<Window, HWND> handles;
  // The last button press, for double clicks.
  struct Press {
    Window win = 0;
    unsigned button = 0;
    Time time = 0;
    int x = 0, y = 0;
  } lastPress;

  unsigned long Pixel(COLORREF c) const {
    return red.Put(GetRValue(c)) | green.Put(GetGValue(c)) | blue.Put(GetBValue(c));
  }
  COLORREF Colour(unsigned long p) const { return RGB(red.Get(p), green.Get(p), blue.Get(p)); }
  const Native* Find(HWND h) const {
    const auto it = windows.find(h);
    return it == windows.end() ? nullptr : &it->second;
  }
  void Pen(int rop2, COLORREF colour, int width) {
    XSetFunction(dpy, gc, XFunction(rop2));
    XSetForeground(dpy, gc, Pixel(colour));
    XSetLineAttributes(dpy, gc, width <= 1 ? 0 : static_cast<unsigned>(width), LineSolid, CapProjecting,
                       JoinMiter);
  }
  bool Translate(XEvent& ev);
};

CX11WindowSystem::CX11WindowSystem() : m(std::make_unique<Impl>()) {}

CX11WindowSystem::~CX11WindowSystem() {
  Close();
}

bool CX11WindowSystem::Open(const char* displayName) {
  if (m->dpy) return true;
  Display* dpy = XOpenDisplay(displayName);
  if (!dpy) return false;
  const int screen = DefaultScreen(dpy);
  Visual* visual = DefaultVisual(dpy, screen);
  if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
    XCloseDisplay(dpy);
    return false;
  }
  m->dpy = dpy;
  m->screen = screen;
  m->root = RootWindow(dpy, screen);
  m->red = Channel(visual->red_mask);
  m->green = Channel(visual->green_mask);
  m->blue = Channel(visual->blue_mask);
  m->gc = XCreateGC(dpy, m->root, 0, nullptr);
  m->font = XLoadQueryFont(dpy, "fixed");
  if (m->font) XSetFont(dpy, m->gc, m->font->fid);
  m->wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  m->wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
  m->previousHandler = XSetErrorHandler(OnXError);
  return true;
}

void CX11WindowSystem::Close() {
  if (!m->dpy) return;
  Detach();
  for (const auto& [h, n] : m->windows)
    if (!n.parent) XDestroyWindow(m->dpy, n.win);
  m->windows.clear();
  m->handles.clear();
  if (m->font) XFreeFont(m->dpy, m->font);
  XFreeGC(m->dpy, m->gc);
  XCloseDisplay(m->dpy);
  XSetErrorHandler(m->previousHandler);
  *m = Impl();
}

bool CX11WindowSystem::IsOpen() const {
  return m->dpy != nullptr;
}
_XDisplay* CX11WindowSystem::GetDisplay() const {
  return m->dpy;
}

unsigned long CX11WindowSystem::GetNativeWindow(HWND hwnd) const {
  const Impl::Native* n = m->Find(hwnd);
  return n ? n->win : 0;
}

// ---- Windows ---------------------------------------------------------------------------------

bool CX11WindowSystem::CreateNativeWindow(const SNativeWindow& native) {
  if (!m->dpy) return false;
  const Impl::Native* parent = native.parent ? m->Find(native.parent) : nullptr;
  if (native.parent && !parent) return false;
  const int w = std::clamp<long>(long{native.rect.right} - native.rect.left, 1, kCoordLimit);
  const int h = std::clamp<long>(long{native.rect.bottom} - native.rect.top, 1, kCoordLimit);
  XSetWindowAttributes a{};
  a.background_pixel = m->Pixel(native.background);
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                 StructureNotifyMask;
  const Window win =
      XCreateWindow(m->dpy, parent ? parent->win : m->root, Coord(native.rect.left), Coord(native.rect.top),
                    static_cast<unsigned>(w), static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWBackPixel | CWEventMask, &a);
  if (!win) return false;
  if (!native.parent) {
    XStoreName(m->dpy, win, native.text ? native.text : "");
    XSetWMProtocols(m->dpy, win, &m->wmDelete, 1);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = native.rect.left, hints.y = native.rect.top, hints.width = w, hints.height = h;
    XSetWMNormalHints(m->dpy, win, &hints);
    if (const Impl::Native* owner = m->Find(native.owner)) XSetTransientForHint(m->dpy, win, owner->win);
  }
  m->windows[native.hwnd] = Impl::Native{win, native.parent, w, h};
  m->handles[win] = native.hwnd;
  return true;
}

void CX11WindowSystem::DestroyNativeWindow(HWND hwnd) {
  const Impl::Native* n = m->Find(hwnd);
  if (!n) return;
  XDestroyWindow(m->dpy, n->win);
  XFlush(m->dpy);
  m->handles.erase(n->win);
  m->windows.erase(hwnd);
}

void CX11WindowSystem::ShowNativeWindow(HWND hwnd, bool show) {
  if (const Impl::Native* n = m->Find(hwnd)) {
    if (show)
      XMapWindow(m->dpy, n->win);
    else
      XUnmapWindow(m->dpy, n->win);
    XFlush(m->dpy);
  }
}

void CX11WindowSystem::MoveNativeWindow(HWND hwnd, const RECT& rect) {
  const auto it = m->windows.find(hwnd);
  if (it == m->windows.end()) return;
  it->second.width = std::clamp<long>(long{rect.right} - rect.left, 1, kCoordLimit);
  it->second.height = std::clamp<long>(long{rect.bottom} - rect.top, 1, kCoordLimit);
  XMoveResizeWindow(m->dpy, it->second.win, Coord(rect.left), Coord(rect.top),
                    static_cast<unsigned>(it->second.width), static_cast<unsigned>(it->second.height));
  XFlush(m->dpy);
}

void CX11WindowSystem::SetNativeTitle(HWND hwnd, const char* text) {
  if (const Impl::Native* n = m->Find(hwnd)) XStoreName(m->dpy, n->win, text ? text : "");
}

void CX11WindowSystem::RaiseNativeWindow(HWND hwnd) {
  if (const Impl::Native* n = m->Find(hwnd)) XRaiseWindow(m->dpy, n->win);
}

void CX11WindowSystem::CaptureNativePointer(HWND hwnd) {
  if (!m->dpy) return;
  if (const Impl::Native* n = m->Find(hwnd))
    XGrabPointer(m->dpy, n->win, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  else
    XUngrabPointer(m->dpy, CurrentTime);
  XFlush(m->dpy);
}

SIZE CX11WindowSystem::GetScreenSize() {
  if (!m->dpy) return SIZE{0, 0};
  return SIZE{DisplayWidth(m->dpy, m->screen), DisplayHeight(m->dpy, m->screen)};
}

// ---- Drawing ------------------------------------------------------------------------------------

void CX11WindowSystem::FillNativeRect(HWND hwnd, const RECT& rect, COLORREF colour, int rop2) {
  const Impl::Native* n = m->Find(hwnd);
  if (!n) return;
  const long l = std::max<long>(rect.left, 0), t = std::max<long>(rect.top, 0);
  const long r = std::min<long>(rect.right, n->width), b = std::min<long>(rect.bottom, n->height);
  if (r <= l || b <= t) return;
  m->Pen(rop2, colour, 1);
  XFillRectangle(m->dpy, n->win, m->gc, static_cast<int>(l), static_cast<int>(t),
                 static_cast<unsigned>(r - l), static_cast<unsigned>(b - t));
  XFlush(m->dpy);
}

void CX11WindowSystem::DrawNativePolyline(HWND hwnd, const POINT* pts, int count, int width, COLORREF colour,
                                          int rop2) {
  const Impl::Native* n = m->Find(hwnd);
  if (!n || !pts || count < 1) return;
  std::vector<XPoint> xp(static_cast<size_t>(std::max(count, 2)));
  for (int i = 0; i < count; ++i) xp[static_cast<size_t>(i)] = XPoint{Coord(pts[i].x), Coord(pts[i].y)};
  if (count == 1) xp[1] = xp[0];
  m->Pen(rop2, colour, width);
  XDrawLines(m->dpy, n->win, m->gc, xp.data(), static_cast<int>(xp.size()), CoordModeOrigin);
  XFlush(m->dpy);
}

void CX11WindowSystem::DrawNativeText(HWND hwnd, int x, int y, const char* text, int count, COLORREF colour) {
  const Impl::Native* n = m->Find(hwnd);
  if (!n || !text || count <= 0 || !m->font) return;
  m->Pen(R2_COPYPEN, colour, 1);
  XDrawString(m->dpy, n->win, m->gc, Coord(x), Coord(long{y} + m->font->ascent), text, count);
  XFlush(m->dpy);
}

SIZE CX11WindowSystem::GetNativeTextExtent(const char* text, int count) {
  if (!m->font) return SIZE{6 * std::max(count, 0), 13};
  return SIZE{text && count > 0 ? XTextWidth(m->font, text, count) : 0, m->font->ascent + m->font->descent};
}

bool CX11WindowSystem::ReadNativePixels(HWND hwnd, const RECT& rect, COLORREF* out) {
  const Impl::Native* n = m->Find(hwnd);
  if (!n || !out) return false;
  const long w = long{rect.right} - rect.left, h = long{rect.bottom} - rect.top;
  if (w <= 0 || h <= 0) return true;
  std::fill(out, out + w * h, COLORREF{0});
  const long l = std::max<long>(rect.left, 0), t = std::max<long>(rect.top, 0);
  const long r = std::min<long>(rect.right, n->width), b = std::min<long>(rect.bottom, n->height);
  if (r <= l || b <= t) return true;
  g_lastError = 0;
  XImage* img = XGetImage(m->dpy, n->win, static_cast<int>(l), static_cast<int>(t),
                          static_cast<unsigned>(r - l), static_cast<unsigned>(b - t), AllPlanes, ZPixmap);
  if (!img) return false;  // not viewable
  for (long y = t; y < b; ++y)
    for (long x = l; x < r; ++x)
      out[(y - rect.top) * w + (x - rect.left)] =
          m->Colour(XGetPixel(img, static_cast<int>(x - l), static_cast<int>(y - t)));
  XDestroyImage(img);
  return true;
}

// ---- Input ---------------------------------------------------------------------------------------

bool CX11WindowSystem::Impl::Translate(XEvent& ev) {
  const auto found = handles.find(ev.xany.window);
  if (found == handles.end()) return false;
  const HWND h = found->second;
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.count == 0) ::InvalidateRect(h, nullptr, TRUE);
      return true;
    case ButtonPress:
    case ButtonRelease: {
      const XButtonEvent& b = ev.xbutton;
      if (b.button != Button1 && b.button != Button3) return false;
      const bool left = b.button == Button1;
      const LPARAM at = MAKELPARAM(b.x, b.y);
      WPARAM keys = KeyState(b.state);
      UINT message;
      if (ev.type == ButtonPress) {
        keys |= left ? MK_LBUTTON : MK_RBUTTON;
        const bool twice = lastPress.win == b.window && lastPress.button == b.button &&
                           b.time - lastPress.time <= 500 && std::abs(b.x - lastPress.x) <= 4 &&
                           std::abs(b.y - lastPress.y) <= 4;
        message =
            left ? (twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : (twice ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN);
        lastPress = twice ? Press{} : Press{b.window, b.button, b.time, b.x, b.y};
      } else {
        keys &= ~static_cast<WPARAM>(left ? MK_LBUTTON : MK_RBUTTON);
        message = left ? WM_LBUTTONUP : WM_RBUTTONUP;
      }
      return ::PostMessage(h, message, keys, at);
    }
    case MotionNotify:
      return ::PostMessage(h, WM_MOUSEMOVE, KeyState(ev.xmotion.state),
                           MAKELPARAM(ev.xmotion.x, ev.xmotion.y));
    case KeyPress: {
      const UINT vk = VirtualKey(XLookupKeysym(&ev.xkey, 0));
      return vk && ::PostMessage(h, WM_KEYDOWN, vk, 1);
    }
    case ConfigureNotify: {
      auto it = windows.find(h);
      if (it == windows.end() || it->second.parent) return false;
      int x = ev.xconfigure.x, y = ev.xconfigure.y;
      Window child;
      if (!ev.xconfigure.send_event)
        XTranslateCoordinates(dpy, ev.xconfigure.window, root, 0, 0, &x, &y, &child);
      it->second.width = ev.xconfigure.width;
      it->second.height = ev.xconfigure.height;
      WindowRectChanged(h, RECT{x, y, x + ev.xconfigure.width, y + ev.xconfigure.height});
      return true;
    }
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == wmDelete) return ::PostMessage(h, WM_CLOSE, 0, 0);
      return false;
    default:
      return false;
  }
}

bool CX11WindowSystem::WaitForInput(bool block) {
  if (!m->dpy) return false;
  XFlush(m->dpy);
  bool any = false;
  while (XPending(m->dpy) || (block && !any)) {
    XEvent ev;
    XNextEvent(m->dpy, &ev);
    any |= m->Translate(ev);
  }
  return true;
}
