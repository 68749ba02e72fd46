#include "vdkit/platform/window_headless.h"

#include <algorithm>
#include <cstdlib>

struct CHeadlessWindowSystem::Target {
  const Native* top = nullptr;
  HWND topHandle = nullptr;
  int width = 0, height = 0;  // of the surface
  int ox = 0, oy = 0;         // the window's client origin in the surface
  RECT clip{};                // in surface coordinates
  std::vector<RECT> holes;    // visible children, in surface coordinates
  bool Inside(long long x, long long y) const {
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return false;
    for (const RECT& h : holes)
      if (x >= h.left && x < h.right && y >= h.top && y < h.bottom) return false;
    return true;
  }
};

namespace {

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// n / d rounded to the nearest integer, halves away from zero (d != 0).
long long RoundDiv(long long n, long long d) {
  if (d < 0) n = -n, d = -d;
  return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

}  // namespace

CHeadlessWindowSystem::CHeadlessWindowSystem(int screenWidth, int screenHeight)
    : m_screen{screenWidth, screenHeight} {}

CHeadlessWindowSystem::~CHeadlessWindowSystem() {
  Detach();
}

// ---- Script ----------------------------------------------------------------------------------------

void CHeadlessWindowSystem::Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  m_script.push_back([=] { ::PostMessage(hwnd, message, wParam, lParam); });
}

void CHeadlessWindowSystem::Mouse(HWND hwnd, UINT message, int x, int y) {
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) m_leftDown = true;
  if (message == WM_LBUTTONUP) m_leftDown = false;
  Post(hwnd, message, m_leftDown ? WPARAM{MK_LBUTTON} : WPARAM{0}, MAKELPARAM(x, y));
}

void CHeadlessWindowSystem::Key(HWND hwnd, UINT vk) {
  Post(hwnd, WM_KEYDOWN, vk, 1);
}

void CHeadlessWindowSystem::Call(std::function<void()> step) {
  m_script.push_back(std::move(step));
}

bool CHeadlessWindowSystem::WaitForInput(bool block) {
  if (!block) return true;
  if (m_script.empty()) return false;
  const std::function<void()> step = std::move(m_script.front());
  m_script.pop_front();
  step();
  return true;
}

// ---- Windows -------------------------------------------------------------------------------------

bool CHeadlessWindowSystem::CreateNativeWindow(const SNativeWindow& native) {
  if (native.parent && !m_windows.count(native.parent)) return false;
  Native n{native.parent, native.rect, false, native.background, native.text ? native.text : "", {}};
  if (!native.parent) {
    const long long w = std::max<long long>(0, native.rect.right - native.rect.left);
    const long long h = std::max<long long>(0, native.rect.bottom - native.rect.top);
    if (w * h > 64LL * 1024 * 1024) return false;  // no surface beyond 64 Mpixels
    n.pixels.assign(static_cast<size_t>(w * h), native.background);
  }
  m_windows[native.hwnd] = std::move(n);
  return true;
}

void CHeadlessWindowSystem::DestroyNativeWindow(HWND hwnd) {
  m_windows.erase(hwnd);
  if (m_capture == hwnd) m_capture = nullptr;
}

void CHeadlessWindowSystem::ShowNativeWindow(HWND hwnd, bool show) {
  const auto it = m_windows.find(hwnd);
  if (it != m_windows.end()) it->second.visible = show;
}

bool CHeadlessWindowSystem::IsNativeVisible(HWND hwnd) const {
  const auto it = m_windows.find(hwnd);
  return it != m_windows.end() && it->second.visible;
}

std::string CHeadlessWindowSystem::GetNativeTitle(HWND hwnd) const {
  const auto it = m_windows.find(hwnd);
  return it != m_windows.end() ? it->second.title : std::string();
}

void CHeadlessWindowSystem::MoveNativeWindow(HWND hwnd, const RECT& rect) {
  const auto it = m_windows.find(hwnd);
  if (it == m_windows.end()) return;
  Native& n = it->second;
  if (!n.parent) {
    // Keep what overlaps; the rest shows the background until painted.
    const int ow = n.rect.right - n.rect.left, oh = n.rect.bottom - n.rect.top;
    const int w = std::max<LONG>(0, rect.right - rect.left), h = std::max<LONG>(0, rect.bottom - rect.top);
    if (static_cast<long long>(w) * h > 64LL * 1024 * 1024) return;
    std::vector<COLORREF> pixels(static_cast<size_t>(w) * h, n.background);
    for (int y = 0; y < std::min(h, oh); ++y)
      for (int x = 0; x < std::min(w, ow); ++x) pixels[y * w + x] = n.pixels[y * ow + x];
    n.pixels.swap(pixels);
  }
  n.rect = rect;
}

void CHeadlessWindowSystem::SetNativeTitle(HWND hwnd, const char* text) {
  const auto it = m_windows.find(hwnd);
  if (it != m_windows.end()) it->second.title = text ? text : "";
}

// ---- Drawing ------------------------------------------------------------------------------------------

bool CHeadlessWindowSystem::Locate(HWND hwnd, Target& t) const {
  const auto self = m_windows.find(hwnd);
  if (self == m_windows.end()) return false;
  // Walk up to the top-level window, clipping to every ancestor on the way.
  HWND h = hwnd;
  const Native* n = &self->second;
  RECT clip{0, 0, n->rect.right - n->rect.left, n->rect.bottom - n->rect.top};  // in h's client coordinates
  int ox = 0, oy = 0;
  while (n->parent) {
    ox += n->rect.left;
    oy += n->rect.top;
    clip = RECT{clip.left + n->rect.left, clip.top + n->rect.top, clip.right + n->rect.left,
                clip.bottom + n->rect.top};
    h = n->parent;
    const auto up = m_windows.find(h);
    if (up == m_windows.end()) return false;
    n = &up->second;
    clip = Intersect(clip, RECT{0, 0, n->rect.right - n->rect.left, n->rect.bottom - n->rect.top});
  }
  t.top = n;
  t.topHandle = h;
  t.width = n->rect.right - n->rect.left;
  t.height = n->rect.bottom - n->rect.top;
  t.ox = ox;
  t.oy = oy;
  t.clip = clip;
  for (const auto& [child, c] : m_windows)
    if (c.parent == hwnd && c.visible)
      t.holes.push_back(RECT{ox + c.rect.left, oy + c.rect.top, ox + c.rect.right, oy + c.rect.bottom});
  return true;
}

void CHeadlessWindowSystem::Mix(const Target& t, const std::vector<long long>& keys, COLORREF colour,
                                int rop2) {
  auto& pixels = const_cast<Native*>(t.top)->pixels;
  for (const long long k : keys)
    pixels[static_cast<size_t>(k)] = ApplyRop2(rop2, colour, pixels[static_cast<size_t>(k)]);
}

void CHeadlessWindowSystem::FillNativeRect(HWND hwnd, const RECT& rect, COLORREF colour, int rop2) {
  m_calls.push_back(SDrawCall{
      SDrawCall::kFill, hwnd, {{rect.left, rect.top}, {rect.right, rect.bottom}}, 0, colour, rop2, {}});
  Target t;
  if (!Locate(hwnd, t)) return;
  const RECT r =
      Intersect(RECT{rect.left + t.ox, rect.top + t.oy, rect.right + t.ox, rect.bottom + t.oy}, t.clip);
  std::vector<long long> keys;
  for (long long y = r.top; y < r.bottom; ++y)
    for (long long x = r.left; x < r.right; ++x)
      if (t.Inside(x, y)) keys.push_back(y * t.width + x);
  Mix(t, keys, colour, rop2);
}

void CHeadlessWindowSystem::DrawNativePolyline(HWND hwnd, const POINT* pts, int n, int width, COLORREF colour,
                                               int rop2) {
  if (!pts || n < 1) return;
  m_calls.push_back(
      SDrawCall{SDrawCall::kPolyline, hwnd, std::vector<POINT>(pts, pts + n), width, colour, rop2, {}});
  Target t;
  if (!Locate(hwnd, t)) return;
  const long long w = std::max(1, width), half = w / 2;
  // Centres whose square can touch the clip rectangle.
  const long long cl = t.clip.left - t.ox - w, cr = t.clip.right - t.ox + w;
  const long long ct = t.clip.top - t.oy - w, cb = t.clip.bottom - t.oy + w;
  std::vector<long long> keys;
  auto stamp = [&](long long cx, long long cy) {
    if (cx < cl || cx > cr || cy < ct || cy > cb) return;
    for (long long y = cy - half; y < cy - half + w; ++y)
      for (long long x = cx - half; x < cx - half + w; ++x)
        if (t.Inside(x + t.ox, y + t.oy)) keys.push_back((y + t.oy) * t.width + x + t.ox);
  };
  for (int i = 0; i + 1 < n || (n == 1 && i == 0); ++i) {
    const POINT a = pts[i], b = n == 1 ? pts[0] : pts[i + 1];
    const long long dx = static_cast<long long>(b.x) - a.x, dy = static_cast<long long>(b.y) - a.y;
    if (std::llabs(dx) >= std::llabs(dy)) {
      if (dx == 0) {
        stamp(a.x, a.y);
        continue;
      }
      // Step along x, only over the columns that can reach the clip rectangle.
      const long long x0 = std::max(std::min<long long>(a.x, b.x), cl),
                      x1 = std::min(std::max<long long>(a.x, b.x), cr);
      for (long long x = x0; x <= x1; ++x) stamp(x, a.y + RoundDiv((x - a.x) * dy, dx));
    } else {
      const long long y0 = std::max(std::min<long long>(a.y, b.y), ct),
                      y1 = std::min(std::max<long long>(a.y, b.y), cb);
      for (long long y = y0; y <= y1; ++y) stamp(a.x + RoundDiv((y - a.y) * dx, dy), y);
    }
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  Mix(t, keys, colour, rop2);
}

void CHeadlessWindowSystem::DrawNativeText(HWND hwnd, int x, int y, const char* text, int n,
                                           COLORREF colour) {
  const SIZE ext = GetNativeTextExtent(text, n);
  m_calls.push_back(SDrawCall{SDrawCall::kText,
                              hwnd,
                              {{x, y}, {x + ext.cx, y + ext.cy}},
                              0,
                              colour,
                              0,
                              std::string(text ? text : "", text && n > 0 ? static_cast<size_t>(n) : 0)});
}

bool CHeadlessWindowSystem::ReadNativePixels(HWND hwnd, const RECT& rect, COLORREF* out) {
  Target t;
  if (!Locate(hwnd, t) || !out) return false;
  size_t i = 0;
  for (long long y = rect.top + t.oy; y < rect.bottom + t.oy; ++y)
    for (long long x = rect.left + t.ox; x < rect.right + t.ox; ++x)
      out[i++] = x >= 0 && x < t.width && y >= 0 && y < t.height
                     ? t.top->pixels[static_cast<size_t>(y * t.width + x)]
                     : 0;
  return true;
}

std::vector<COLORREF> CHeadlessWindowSystem::Surface(HWND hwnd, int* width, int* height) const {
  Target t;
  if (!Locate(hwnd, t)) return {};
  if (width) *width = t.width;
  if (height) *height = t.height;
  return t.top->pixels;
}
