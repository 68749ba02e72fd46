/// @file
/// Plane-geometry predicates and the library's point records: is a point inside
/// a polygon (PtInRgn), on a segment (PtAtLine) or a polyline (PtAtPolyline),
/// where two segments or two lines cross (TwoLineCross), and which grip of a
/// selection rectangle lies under the mouse (GetRectHandle).
///
/// ```
/// SFloat2D square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
/// PtInRgn(SFloat2D{5, 5}, square, 4);                   // true
/// PtAtLine(5, 2, 0, 0, 10, 0, 2);                        // true: 2 units off, tol 2
/// int x, y;
/// TwoLineCross(0, 0, 10, 10, 0, 10, 10, 0, &x, &y);      // true, (5, 5)
/// ```
///
/// Each question comes in overloads by coordinate type: single-precision floats
/// as separate x and y arrays, arrays of SFloat2D, 32-bit integers as separate
/// arrays, and POINT. The overloads share one rule per question and differ only
/// where stated: what degenerate input answers, open or closed parameter
/// ranges, and rounding. Those differences are kept on purpose; callers and
/// stored drawings depend on them.
///
/// Nothing here allocates, keeps or frees the arrays passed in, or fails: bad
/// counts and degenerate shapes give the answers stated with each function.
/// A polygon is closed implicitly (the last vertex joins the first).
///
/// Integer forms are meant for device-sized coordinates; they compute with
/// wider integers inside, so coordinates anywhere in the 32-bit range give the
/// mathematically expected answer instead of wrapping around.
#pragma once

#include "vdkit/platform/types.h"

/// A point of two single-precision floats. Arrays are contiguous: x0, y0, x1, y1, ...
struct SFloat2D {
  float x;  ///< horizontal
  float y;  ///< vertical
};

/// A point with a value: x, y and z as single-precision floats (gridding samples and nodes).
struct SFloat3D {
  float x;  ///< horizontal
  float y;  ///< vertical
  float z;  ///< the value
};

// ---- Point in polygon ---------------------------------------------------------
/// True when the point is inside the polygon of n vertices or on one of its
/// non-vertical edges. On a vertical edge the crossing parity decides: for a
/// convex polygon a point on a vertical edge at its left is inside and one on a
/// vertical edge at its right is outside. Points outside the vertices' bounding
/// box are outside.
///
/// A last vertex repeating the first is dropped before the test: within 0.001
/// on both axes in the float forms, only when equal in the integer form.
/// Fewer than 3 vertices (before or after the drop): true in the float forms,
/// which treat such a boundary as no restriction; false in the integer form.
///
/// The float forms work in double precision from the single-precision input;
/// the integer form rounds the edge's ordinate to the nearest integer (halves
/// away from zero).
///@{
VDKIT_API bool PtInRgn(SFloat2D pt, const SFloat2D* pts, int n);
VDKIT_API bool PtInRgn(float x, float y, const float* xs, const float* ys, int n);
VDKIT_API bool PtInRgn(int x, int y, const int* xs, const int* ys, int n);
///@}

// ---- Point on a segment ---------------------------------------------------------
/// True when (x, y) is within tol of the segment (x1, y1)-(x2, y2) (the sign of
/// tol does not matter). The point must first lie within the segment's extent
/// along its dominant axis (y when |dx| <= |dy|, else x), ends included, so a
/// point just beyond an end along the segment is rejected even when it is within
/// tol of the end point; across the segment the distance is measured to the
/// infinite line through it. A segment whose ends coincide matches nothing.
///
/// The integer form rounds the foot of the perpendicular to the nearest integer
/// point (halves upward) before measuring; the float form does not round.
///@{
VDKIT_API bool PtAtLine(float x, float y, float x1, float y1, float x2, float y2, float tol);
VDKIT_API bool PtAtLine(int x, int y, int x1, int y1, int x2, int y2, int tol);
VDKIT_API bool PtAtLine(POINT pt, POINT p1, POINT p2, int tol);
///@}

// ---- Point on a polyline --------------------------------------------------------
/// The index of the first segment (from vertex i to vertex i + 1) that PtAtLine
/// accepts with tol, or -1; -1 when n < 2. The POINT and integer forms first
/// test the vertices and answer the first vertex within tol; a vertex index and
/// a segment index look the same in the result.
///@{
VDKIT_API int PtAtPolyline(float x, float y, const float* xs, const float* ys, int n, float tol);
VDKIT_API int PtAtPolyline(SFloat2D pt, const SFloat2D* pts, int n, float tol);
VDKIT_API int PtAtPolyline(POINT pt, const POINT* pts, int n, int tol);
VDKIT_API int PtAtPolyline(int x, int y, const int* xs, const int* ys, int n, int tol);
///@}

// ---- Crossing of two segments ------------------------------------------------------
/// True when segment a-b crosses segment c-d; the crossing point is then written
/// to each output pointer that is not null (on false nothing is written).
/// Parallel and collinear segments, overlapping or not, never cross.
///
/// The form with eight integers counts a touch at an end point of either
/// segment as a crossing (closed range); the POINT, eight-float and SFloat2D
/// forms do not (open range). The integer and POINT forms round the point to
/// the nearest integer (halves upward); the float forms write it unrounded.
///@{
VDKIT_API bool TwoLineCross(int ax, int ay, int bx, int by, int cx, int cy, int dx, int dy, int* px, int* py);
VDKIT_API bool TwoLineCross(POINT a, POINT b, POINT c, POINT d, POINT* p);
VDKIT_API bool TwoLineCross(float ax, float ay, float bx, float by, float cx, float cy, float dx, float dy,
                            float* px, float* py);
VDKIT_API bool TwoLineCross(SFloat2D a, SFloat2D b, SFloat2D c, SFloat2D d, SFloat2D* p);
///@}

// ---- Crossing of two lines ------------------------------------------------------------
/// The crossing of two infinite lines, each given by an angle from the x axis in
/// radians and a point. A line whose slope is below 1e-5 in magnitude is taken
/// as horizontal: the answer is (x2, y1) when the first line is, else (x1, y2)
/// when the second is (the true crossing when the other line is vertical).
/// Lines of equal slope have no single crossing: the answer is then (x1, y1),
/// the first line's point, which lies on both lines when they coincide.
/// Both outputs are written (a null pointer is skipped).
VDKIT_API void TwoLineCross(float angle1, float x1, float y1, float angle2, float x2, float y2, float* px,
                            float* py);

// ---- Grips of a selection rectangle ------------------------------------------------------
/// Which grip of rc (device coordinates, y downwards, used as given) lies under
/// pt: 0 top-left, 1 top, 2 top-right, 3 right, 4 bottom-right, 5 bottom,
/// 6 bottom-left, 7 left, tested in that order; 8 for the rectangle shrunk by
/// size/2 on every side (grown when size is negative); -1 for none. Corner grips
/// are squares of side 2 * (size / 2) centred on the corners; edge grips fill the edge
/// between them. Containment is half-open: left <= x < right, top <= y < bottom.
/// With size <= 0 no grip is tested.
VDKIT_API int GetRectHandle(const RECT& rc, const POINT& pt, int size);

// ---- End of public API ------------------------------------------------------------

namespace detail {
// Test seam: the widest vector walk PtInRgn may use (0 none, 1 AVX2, 2
// AVX-512; the processor's own limit still applies); answers the previous
// setting. Answers are the same at every level.
VDKIT_API int SetPtInRgnVectorLimit(int limit);
}  // namespace detail
