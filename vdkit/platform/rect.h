// CPoint, CSize and CRect: the framework's value classes over POINT, SIZE and
// RECT, as the window system, the trackers and client views use them.
//
//   CRect rc(10, 10, 50, 40);
//   rc.OffsetRect(5, 0);                  // (15, 10)-(55, 40)
//   if (rc.PtInRect(CPoint(20, 20))) ...  // left <= x < right, top <= y < bottom
//
// A CRect is never normalised behind the caller's back: a rectangle whose
// right is left of its left (as a tracker may hand back) keeps its corners;
// Width() and Height() are then negative and IsRectEmpty() is true.
// Differences from the framework: only the members below; coordinates are
// 32-bit LONG; arithmetic wraps like the framework's 32-bit integers (callers
// keep coordinates in device range).
#pragma once

#include <utility>

#include "vdkit/platform/types.h"

class CPoint : public POINT {
 public:
  CPoint() : POINT{0, 0} {}
  CPoint(int initX, int initY) : POINT{initX, initY} {}
  CPoint(POINT pt) : POINT(pt) {}  // NOLINT: converts like the framework's
  void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  bool operator==(POINT pt) const { return x == pt.x && y == pt.y; }
  bool operator!=(POINT pt) const { return !(*this == pt); }
  CPoint operator+(POINT pt) const { return CPoint(x + pt.x, y + pt.y); }
  CPoint operator-(POINT pt) const { return CPoint(x - pt.x, y - pt.y); }
  CPoint operator-() const { return CPoint(-x, -y); }
};

class CSize : public SIZE {
 public:
  CSize() : SIZE{0, 0} {}
  CSize(int initCX, int initCY) : SIZE{initCX, initCY} {}
  CSize(SIZE size) : SIZE(size) {}  // NOLINT
  bool operator==(SIZE size) const { return cx == size.cx && cy == size.cy; }
  bool operator!=(SIZE size) const { return !(*this == size); }
};

class CRect : public RECT {
 public:
  CRect() : RECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& rc) : RECT(rc) {}  // NOLINT
  CRect(POINT topLeft, POINT bottomRight) : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}
  CRect(POINT pt, SIZE size) : RECT{pt.x, pt.y, pt.x + size.cx, pt.y + size.cy} {}

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint TopLeft() const { return CPoint(left, top); }
  CPoint BottomRight() const { return CPoint(right, bottom); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  bool IsRectEmpty() const { return right <= left || bottom <= top; }
  bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool PtInRect(POINT pt) const { return left <= pt.x && pt.x < right && top <= pt.y && pt.y < bottom; }

  void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
  void SetRectEmpty() { SetRect(0, 0, 0, 0); }
  void OffsetRect(int dx, int dy) { SetRect(left + dx, top + dy, right + dx, bottom + dy); }
  void OffsetRect(POINT pt) { OffsetRect(pt.x, pt.y); }
  void InflateRect(int dx, int dy) { SetRect(left - dx, top - dy, right + dx, bottom + dy); }
  void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  void DeflateRect(int l, int t, int r, int b) { SetRect(left + l, top + t, right - r, bottom - b); }
  void NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
  }
  // The common part; empty (all zero) when they do not overlap. FALSE then.
  BOOL IntersectRect(const RECT& a, const RECT& b) {
    SetRect(a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
            a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom);
    if (IsRectEmpty()) SetRectEmpty();
    return !IsRectEmpty();
  }

  bool operator==(const RECT& rc) const {
    return left == rc.left && top == rc.top && right == rc.right && bottom == rc.bottom;
  }
  bool operator!=(const RECT& rc) const { return !(*this == rc); }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};
