/// @file
/// Smoothing with cubic curves: a natural cubic spline y(x) through points of
/// increasing x (Spline1D, evaluated with Spline1DPt), and a parametric cubic
/// Hermite curve with Catmull-Rom tangents through an ordered list of plane
/// points (Spline2D, evaluated with Spline2DPt or sampled at once).
///
/// ```
/// float xs[] = {0, 1, 2}, ys[] = {0, 1, 0};
/// SplineHandle h(Spline1D(xs, ys, 3));     // frees the block when it goes
/// float y;
/// Spline1DPt(h.get(), 0.5f, &y);           // true, y = 0.6875
/// SFloat2D line[] = {{0, 0}, {1, 1}, {2, 0}};
/// std::vector<SFloat2D> smooth = Spline2D(line, 3, false, 4);  // 11 points
/// ```
///
/// Ownership: the handle forms return one heap block from the global
/// `operator new` (opaque; hold it in a SplineHandle or release it with the
/// global `operator delete`). The sampling forms with an output pointer return
/// an array from the global `operator new`, released by the caller with the
/// global `operator delete`; the forms that return a std::vector own nothing
/// the caller must free. Inputs are only read, never kept.
///
/// Failure: a null handle or false, with nothing allocated and the outputs
/// untouched. Computation is in double precision; the float forms store their
/// coefficients and results in single precision, which fixes their rounding.
#pragma once

#include <memory>
#include <vector>

#include "vdkit/geometry/predicates.h"
#include "vdkit/platform/types.h"

/// Releases a spline handle; for std::unique_ptr.
struct SplineHandleDeleter {
  void operator()(void* p) const { ::operator delete(p); }  ///< frees the handle's block
};
using SplineHandle = std::unique_ptr<void, SplineHandleDeleter>;  ///< owns a handle of Spline1D or Spline2D

// ---- Natural cubic spline -------------------------------------------------------
/// The spline through (xs[i], ys[i]) with zero second derivative at both ends.
/// The handle block holds the count and, per interval k (from xs[k] to
/// xs[k + 1]), y = a + b t + c t^2 + d t^3 with t = x - xs[k], as floats.
///
/// Null for n < 2, and for x values that are not finite and strictly
/// increasing or data whose coefficients overflow single precision: such
/// input has no spline of this kind, and a block of huge or non-finite
/// coefficients would pass for one. Two points give the straight line.
/// Null also when memory cannot be had (nothing here throws).
VDKIT_API void* Spline1D(const float* xs, const float* ys, int n);

/// Evaluates the spline at x into *y. The intervals are half open, so the last
/// knot and anything outside [xs[0], xs[n - 1]) answer false with *y untouched;
/// so does a null handle.
VDKIT_API bool Spline1DPt(const void* handle, float x, float* y);

/// The natural spline through integer points of strictly increasing x,
/// sampled at every integer x from pts[0].x to pts[n - 1].x: pts[0].x + i
/// with y truncated toward zero for i = 0, 1, ...; the last point is written as
/// it stands (it lies in no half-open interval). That is
/// pts[n - 1].x - pts[0].x + 1 points.
///
/// *outCount holds the capacity of out on entry and the number of points on
/// return. With out null, or a capacity below what is needed, nothing is
/// written to out and *outCount is set to the number needed (false when out
/// was given). bFlag has no effect; it keeps the form's signature.
/// False, *outCount untouched, for n < 2, a null outCount or x values that are
/// not strictly increasing, and for more than INT_MAX samples.
VDKIT_API bool Spline1D(const POINT* pts, int n, bool bFlag, POINT* out, int* outCount);
/// The same samples in a vector; empty on failure.
VDKIT_API std::vector<POINT> Spline1D(const POINT* pts, int n);

// ---- Parametric Hermite curve ----------------------------------------------------
// Tangents: T[i] = (P[i + 1] - P[i - 1]) / 2 inside; zero at both ends of an
// open curve. A closed curve takes its end tangents across the joint,
// T[0] = (P[1] - P[n - 1]) / 2 and T[n - 1] = (P[0] - P[n - 2]) / 2, and adds
// the segment from P[n - 1] back to P[0]. On segment s from P[s] to P[s + 1],
// p(t) = P0 + M0 t + (3D - E) t^2 + (E - 2D) t^3 with D = P1 - P0 - M0 and
// E = M1 - M0: p(0) = P0, p(1) = P1, p'(0) = M0, p'(1) = M1.

/// The open curve through (xs[i], ys[i]) as a handle: tangents and copied
/// points as floats. Null for n < 3 or without memory. A last point that repeats the first is
/// not taken as a closed curve: the handle form always has zero end tangents.
VDKIT_API void* Spline2D(const float* xs, const float* ys, int n);

/// The point at parameter t (clamped to [0, 1]) of segment s (0 .. n - 2) into
/// *x and *y. False, outputs untouched, for a null handle or s out of range.
VDKIT_API bool Spline2DPt(const void* handle, int s, float t, float* x, float* y);

/// Samples the curve: each segment contributes its start point followed by
/// max(nSub, 1) points at t = j / (k + 1), j = 1 .. k (the step computed in
/// single precision); the end point of the last segment (P[n - 1], or P[0]
/// when closed) comes last. That is segments * (k + 1) + 1 points, with
/// n - 1 segments open and n closed. The data points come through unchanged.
///
/// *out receives a new array and *outCount its length. False, nothing
/// allocated or written, for n < 3, a null out or outCount, for sample
/// counts beyond INT_MAX (a huge nSub), and when memory cannot be had.
///
/// The SFloat2D form keeps tangents and the two higher coefficients in single
/// precision; the POINT form computes in double precision and truncates every
/// sampled coordinate toward zero, saturating at the 32-bit range.
///@{
VDKIT_API bool Spline2D(const SFloat2D* pts, int n, bool closed, int nSub, SFloat2D** out, int* outCount);
VDKIT_API bool Spline2D(const POINT* pts, int n, bool closed, int nSub, POINT** out, int* outCount);
///@}

/// The same samples in a vector; empty on failure.
///@{
VDKIT_API std::vector<SFloat2D> Spline2D(const SFloat2D* pts, int n, bool closed, int nSub);
VDKIT_API std::vector<POINT> Spline2D(const POINT* pts, int n, bool closed, int nSub);
///@}
