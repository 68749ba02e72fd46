/// @file
/// CPoint, CSize and CRect: the framework's value classes over POINT, SIZE and
/// RECT, as the window system, the trackers and client views use them.
///
/// ```
/// CRect rc(10, 10, 50, 40);
/// rc.OffsetRect(5, 0);                  // (15, 10)-(55, 40)
/// if (rc.PtInRect(CPoint(20, 20))) ...  // left <= x < right, top <= y < bottom
/// ```
///
/// A CRect is never normalised behind the caller's back: a rectangle whose
/// right is left of its left (as a tracker may hand back) keeps its corners;
/// Width() and Height() are then negative and IsRectEmpty() is true.
/// Differences from the framework: only the members below; coordinates are
/// 32-bit LONG; arithmetic wraps like the framework's 32-bit integers (callers
/// keep coordinates in device range).
#pragma once

#include <utility>

#include "vdkit/platform/types.h"

/// A POINT with constructors and arithmetic.
class CPoint : public POINT {
 public:
  /// (0, 0), (initX, initY), or a copy of a POINT.
  ///@{
  CPoint() : POINT{0, 0} {}
  CPoint(int initX, int initY) : POINT{initX, initY} {}
  CPoint(POINT pt) : POINT(pt) {}  ///< NOLINT: converts like the framework's
  ///@}
  /// Moves the point by (dx, dy).
  void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  /// Both coordinates equal.
  ///@{
  bool operator==(POINT pt) const { return x == pt.x && y == pt.y; }
  bool operator!=(POINT pt) const { return !(*this == pt); }
  ///@}
  /// Coordinate-wise sum, difference and negation.
  ///@{
  CPoint operator+(POINT pt) const { return CPoint(x + pt.x, y + pt.y); }
  CPoint operator-(POINT pt) const { return CPoint(x - pt.x, y - pt.y); }
  CPoint operator-() const { return CPoint(-x, -y); }
  ///@}
};

/// A SIZE with constructors and comparison.
class CSize : public SIZE {
 public:
  /// (0, 0), (initCX, initCY), or a copy of a SIZE.
  ///@{
  CSize() : SIZE{0, 0} {}
  CSize(int initCX, int initCY) : SIZE{initCX, initCY} {}
  CSize(SIZE size) : SIZE(size) {}  ///< NOLINT
  ///@}
  /// Both extents equal.
  ///@{
  bool operator==(SIZE size) const { return cx == size.cx && cy == size.cy; }
  bool operator!=(SIZE size) const { return !(*this == size); }
  ///@}
};

/// A RECT with the framework's members; never normalised behind the caller's back.
class CRect : public RECT {
 public:
  /// All zero, from the four edges, a copy of a RECT, two corners, or a corner
  /// and a size.
  ///@{
  CRect() : RECT{0, 0, 0, 0} {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& rc) : RECT(rc) {}  ///< NOLINT
  CRect(POINT topLeft, POINT bottomRight) : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}
  CRect(POINT pt, SIZE size) : RECT{pt.x, pt.y, pt.x + size.cx, pt.y + size.cy} {}
  ///@}

  /// Measures and corners; negative extents for a rectangle turned inside out.
  ///@{
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint TopLeft() const { return CPoint(left, top); }
  CPoint BottomRight() const { return CPoint(right, bottom); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  ///@}
  /// No area: right <= left or bottom <= top.
  bool IsRectEmpty() const { return right <= left || bottom <= top; }
  /// All four edges 0.
  bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  /// Left and top edges inside, right and bottom outside.
  bool PtInRect(POINT pt) const { return left <= pt.x && pt.x < right && top <= pt.y && pt.y < bottom; }

  /// Set, move, grow or shrink the edges as the names say.
  ///@{
  void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
  void SetRectEmpty() { SetRect(0, 0, 0, 0); }
  void OffsetRect(int dx, int dy) { SetRect(left + dx, top + dy, right + dx, bottom + dy); }
  void OffsetRect(POINT pt) { OffsetRect(pt.x, pt.y); }
  void InflateRect(int dx, int dy) { SetRect(left - dx, top - dy, right + dx, bottom + dy); }
  void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  void DeflateRect(int l, int t, int r, int b) { SetRect(left + l, top + t, right - r, bottom - b); }
  ///@}
  /// Swaps edges so that left <= right and top <= bottom.
  void NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
  }
  /// The common part; empty (all zero) when they do not overlap. FALSE then.
  BOOL IntersectRect(const RECT& a, const RECT& b) {
    SetRect(a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
            a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom);
    if (IsRectEmpty()) SetRectEmpty();
    return !IsRectEmpty();
  }

  /// All four edges equal.
  ///@{
  bool operator==(const RECT& rc) const {
    return left == rc.left && top == rc.top && right == rc.right && bottom == rc.bottom;
  }
  bool operator!=(const RECT& rc) const { return !(*this == rc); }
  ///@}
  /// The rectangle as a RECT pointer.
  ///@{
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
  ///@}
};
