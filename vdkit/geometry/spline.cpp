#include "vdkit/geometry/spline.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

namespace {

// Single-precision constants of the rules, widened to double.
const double kEps = static_cast<double>(1e-30f);         // keeps a zero divisor from dividing by zero
const double kThird = static_cast<double>(0.33333334f);  // the stored 1/3

// The handle blocks. Each header is followed by its float arrays of n + 4
// values; callers free the whole block with the global operator delete.
struct Spline1DHead {
  int32_t n;
  float* a;
  float* b;
  float* c;
  float* d;
  float* x;
};
struct Spline2DHead {
  float* tx;
  float* ty;
  float* x;
  float* y;
  int32_t n;
};

// Allocates a header and `arrays` float arrays of n + 4 values behind it and
// points the header's float pointers (given in order) at them.
template <class Head, size_t N>
Head* NewBlock(int n, float* Head::*const (&arrays)[N]) {
  static_assert(sizeof(Head) % alignof(float) == 0, "float arrays follow the header");
  const size_t len = static_cast<size_t>(n) + 4;
  void* raw = ::operator new(sizeof(Head) + N * len * sizeof(float), std::nothrow);
  if (!raw) return nullptr;
  Head* head = static_cast<Head*>(raw);
  float* next = static_cast<float*>(static_cast<void*>(static_cast<char*>(raw) + sizeof(Head)));
  for (size_t i = 0; i < N; ++i, next += len) head->*arrays[i] = next;
  return head;
}

// Narrows to single precision; values beyond its range become infinities
// rather than undefined behaviour.
float ToFloat(double v) {
  if (v > FLT_MAX) return HUGE_VALF;
  if (v < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(v);
}

// Truncates toward zero, saturating at the 32-bit range (NaN gives 0).
LONG TruncToLong(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<LONG>(v);
}

// How the two forms store what they compute: floats narrowed from double, or
// doubles as they are.
template <class T>
T Store(double v);
template <>
float Store<float>(double v) {
  return ToFloat(v);
}
template <>
double Store<double>(double v) {
  return v;
}

// ---- natural cubic spline -----------------------------------------------------------

// Coefficients of the natural spline through x[0..n-1], a[0..n-1] into b, c, d
// (n - 1 values each, c with n). Every intermediate array is of type T, so
// the float form rounds where the stored arrays did. x must be strictly
// increasing; the epsilon in every divisor is kept for its rounding.
template <class T>
void SolveNatural(const T* x, const T* a, int n, T* b, T* c, T* d) {
  std::vector<T> h(static_cast<size_t>(n)), alpha(h.size()), l(h.size()), mu(h.size()), z(h.size());
  for (int i = 0; i + 1 < n; ++i) h[i] = Store<T>(double(x[i + 1]) - double(x[i]));
  for (int i = 1; i + 1 < n; ++i)
    alpha[i] = Store<T>(3.0 *
                        (double(a[i + 1]) * h[i - 1] - double(a[i]) * (double(x[i + 1]) - double(x[i - 1])) +
                         double(a[i - 1]) * h[i]) /
                        (double(h[i]) * h[i - 1] + kEps));
  l[0] = 1;
  mu[0] = 0;
  z[0] = 0;
  for (int i = 1; i + 1 < n; ++i) {
    l[i] = Store<T>(2.0 * (double(x[i + 1]) - double(x[i - 1])) - double(h[i - 1]) * mu[i - 1] + kEps);
    mu[i] = Store<T>(double(h[i]) / l[i]);
    z[i] = Store<T>((double(alpha[i]) - double(h[i - 1]) * z[i - 1]) / l[i]);
  }
  c[n - 1] = 0;
  for (int j = n - 2; j >= 0; --j) {
    c[j] = Store<T>(double(z[j]) - double(mu[j]) * c[j + 1]);
    b[j] = Store<T>((double(a[j + 1]) - a[j]) / (double(h[j]) + kEps) -
                    double(h[j]) * (double(c[j + 1]) + 2.0 * c[j]) * kThird);
    d[j] = Store<T>((double(c[j + 1]) - c[j]) / (3.0 * h[j] + kEps));
  }
}

template <class T>
bool StrictlyIncreasing(const T* x, int n) {
  for (int i = 0; i + 1 < n; ++i)
    if (!(x[i + 1] > x[i]) || !std::isfinite(double(x[i])) || !std::isfinite(double(x[i + 1]))) return false;
  return true;
}

template <class T>
bool AllFinite(const T* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(double(v[i]))) return false;
  return true;
}

// y at t on interval k.
template <class T>
double Cubic(const T* a, const T* b, const T* c, const T* d, int k, double t) {
  return ((double(d[k]) * t + c[k]) * t + b[k]) * t + a[k];
}

// The integer-point samples into out (room checked by the caller).
void SampleIntegerSpline(const POINT* pts, int n, POINT* out) {
  const size_t len = static_cast<size_t>(n);
  std::vector<double> x(len), a(len), b(len), c(len), d(len);
  for (int i = 0; i < n; ++i) x[i] = pts[i].x, a[i] = pts[i].y;
  SolveNatural<double>(x.data(), a.data(), n, b.data(), c.data(), d.data());
  const int64_t first = pts[0].x, last = pts[n - 1].x;
  int k = 0;
  for (int64_t px = first; px < last; ++px, ++out) {
    while (px >= pts[k + 1].x) ++k;
    out->x = static_cast<LONG>(px);
    out->y = TruncToLong(Cubic(a.data(), b.data(), c.data(), d.data(), k, double(px - pts[k].x)));
  }
  *out = pts[n - 1];
}

// The number of integer samples, or -1 when the points have no such curve.
int64_t IntegerSampleCount(const POINT* pts, int n) {
  if (!pts || n < 2) return -1;
  for (int i = 0; i + 1 < n; ++i)
    if (pts[i + 1].x <= pts[i].x) return -1;
  const int64_t count = int64_t(pts[n - 1].x) - pts[0].x + 1;
  return count > INT_MAX ? -1 : count;
}

// ---- parametric Hermite curve -------------------------------------------------------------

// Coordinates and tangents as the two forms hold them: SFloat2D keeps
// single-precision tangents and coefficients, POINT works in double.
struct FloatCurve {
  typedef SFloat2D Point;
  typedef float Real;
  static double X(const Point& p) { return p.x; }
  static double Y(const Point& p) { return p.y; }
  static Real Coef(double v) { return ToFloat(v); }
  static Point Make(double x, double y) { return Point{ToFloat(x), ToFloat(y)}; }
};
struct PointCurve {
  typedef POINT Point;
  typedef double Real;
  static double X(const Point& p) { return p.x; }
  static double Y(const Point& p) { return p.y; }
  static Real Coef(double v) { return v; }
  static Point Make(double x, double y) { return Point{TruncToLong(x), TruncToLong(y)}; }
};

// One coordinate of the segment curve at t.
template <class Real>
double Hermite(double p0, double p1, double m0, double m1, double t, Real (*coef)(double)) {
  const double dd = p1 - p0 - m0, e = m1 - m0;
  const double c2 = coef(3.0 * dd - e), c3 = coef(e - 2.0 * dd);
  return p0 + m0 * t + c2 * t * t + c3 * t * t * t;
}

// Catmull-Rom tangents of n points (coordinates through get) into tx, ty.
template <class C, class Get>
void Tangents(int n, bool closed, Get get, typename C::Real* tx, typename C::Real* ty) {
  for (int i = 1; i + 1 < n; ++i) {
    tx[i] = C::Coef((get(i + 1, 0) - get(i - 1, 0)) * 0.5);
    ty[i] = C::Coef((get(i + 1, 1) - get(i - 1, 1)) * 0.5);
  }
  if (closed) {
    tx[0] = C::Coef((get(1, 0) - get(n - 1, 0)) * 0.5);
    ty[0] = C::Coef((get(1, 1) - get(n - 1, 1)) * 0.5);
    tx[n - 1] = C::Coef((get(0, 0) - get(n - 2, 0)) * 0.5);
    ty[n - 1] = C::Coef((get(0, 1) - get(n - 2, 1)) * 0.5);
  } else {
    tx[0] = ty[0] = tx[n - 1] = ty[n - 1] = 0;
  }
}

// segments * (k + 1) + 1 samples, or -1 when that does not fit an int.
int64_t SampleCount(int n, bool closed, int nSub) {
  const int64_t k = std::max(nSub, 1);
  const int64_t count = (closed ? n : n - 1) * (k + 1) + 1;
  return count > INT_MAX ? -1 : count;
}

// Writes the SampleCount samples of the curve through pts into out.
template <class C>
void Sample(const typename C::Point* pts, int n, bool closed, int nSub, typename C::Point* out) {
  typedef typename C::Real Real;
  std::vector<Real> tx(static_cast<size_t>(n)), ty(tx.size());
  Tangents<C>(
      n, closed, [pts](int i, int axis) { return axis == 0 ? C::X(pts[i]) : C::Y(pts[i]); }, tx.data(),
      ty.data());
  const int k = std::max(nSub, 1);
  const float step = 1.0f / static_cast<float>(k + 1);
  const int segments = closed ? n : n - 1;
  for (int s = 0; s < segments; ++s) {
    const int e = s + 1 == n ? 0 : s + 1;
    const double x0 = C::X(pts[s]), y0 = C::Y(pts[s]), x1 = C::X(pts[e]), y1 = C::Y(pts[e]);
    *out++ = pts[s];
    for (int j = 1; j <= k; ++j) {
      const float t = static_cast<float>(j) * step;  // as a caller of Spline2DPt would pass it
      *out++ = C::Make(Hermite<Real>(x0, x1, tx[s], tx[e], t, C::Coef),
                       Hermite<Real>(y0, y1, ty[s], ty[e], t, C::Coef));
    }
  }
  *out = pts[closed ? 0 : n - 1];
}

template <class C>
bool SampleInto(const typename C::Point* pts, int n, bool closed, int nSub, typename C::Point** out,
                int* outCount) {
  typedef typename C::Point Point;
  if (!pts || n < 3 || !out || !outCount) return false;
  const int64_t count = SampleCount(n, closed, nSub);
  if (count < 0) return false;
  Point* block =
      static_cast<Point*>(::operator new(static_cast<size_t>(count) * sizeof(Point), std::nothrow));
  if (!block) return false;
  Sample<C>(pts, n, closed, nSub, block);
  *out = block;
  *outCount = static_cast<int>(count);
  return true;
}

template <class C>
std::vector<typename C::Point> SampleVector(const typename C::Point* pts, int n, bool closed, int nSub) {
  std::vector<typename C::Point> v;
  const int64_t count = pts && n >= 3 ? SampleCount(n, closed, nSub) : -1;
  if (count < 0) return v;
  v.resize(static_cast<size_t>(count));
  Sample<C>(pts, n, closed, nSub, v.data());
  return v;
}

}  // namespace

// ---- Spline1D ---------------------------------------------------------------------------

void* Spline1D(const float* xs, const float* ys, int n) {
  if (!xs || !ys || n < 2 || !StrictlyIncreasing(xs, n)) return nullptr;
  static float* Spline1DHead::*const kArrays[] = {&Spline1DHead::a, &Spline1DHead::b, &Spline1DHead::c,
                                                  &Spline1DHead::d, &Spline1DHead::x};
  Spline1DHead* h = NewBlock<Spline1DHead>(n, kArrays);
  if (!h) return nullptr;
  h->n = n;
  std::copy(xs, xs + n, h->x);
  std::copy(ys, ys + n, h->a);
  SolveNatural<float>(h->x, h->a, n, h->b, h->c, h->d);
  if (!AllFinite(h->a, n) || !AllFinite(h->b, n - 1) || !AllFinite(h->c, n) || !AllFinite(h->d, n - 1)) {
    ::operator delete(h);
    return nullptr;
  }
  return h;
}

bool Spline1DPt(const void* handle, float x, float* y) {
  if (!handle) return false;
  const Spline1DHead* h = static_cast<const Spline1DHead*>(handle);
  // x is strictly increasing, so the first interval holding x is the one found by bisection.
  const int k = static_cast<int>(std::upper_bound(h->x, h->x + h->n, x) - h->x) - 1;
  if (k < 0 || k > h->n - 2) return false;
  if (y) *y = ToFloat(Cubic(h->a, h->b, h->c, h->d, k, double(x) - h->x[k]));
  return true;
}

bool Spline1D(const POINT* pts, int n, bool /*bFlag*/, POINT* out, int* outCount) {
  const int64_t count = outCount ? IntegerSampleCount(pts, n) : -1;
  if (count < 0) return false;
  const bool fits = out && *outCount >= count;
  if (fits) SampleIntegerSpline(pts, n, out);
  *outCount = static_cast<int>(count);
  return fits || !out;
}

std::vector<POINT> Spline1D(const POINT* pts, int n) {
  std::vector<POINT> v;
  const int64_t count = IntegerSampleCount(pts, n);
  if (count < 0) return v;
  v.resize(static_cast<size_t>(count));
  SampleIntegerSpline(pts, n, v.data());
  return v;
}

// ---- Spline2D ---------------------------------------------------------------------------

void* Spline2D(const float* xs, const float* ys, int n) {
  if (!xs || !ys || n < 3) return nullptr;
  static float* Spline2DHead::*const kArrays[] = {&Spline2DHead::tx, &Spline2DHead::ty, &Spline2DHead::x,
                                                  &Spline2DHead::y};
  Spline2DHead* h = NewBlock<Spline2DHead>(n, kArrays);
  if (!h) return nullptr;
  h->n = n;
  std::copy(xs, xs + n, h->x);
  std::copy(ys, ys + n, h->y);
  Tangents<FloatCurve>(
      n, false, [h](int i, int axis) { return double(axis == 0 ? h->x[i] : h->y[i]); }, h->tx, h->ty);
  return h;
}

bool Spline2DPt(const void* handle, int s, float t, float* x, float* y) {
  if (!handle) return false;
  const Spline2DHead* h = static_cast<const Spline2DHead*>(handle);
  if (s < 0 || s > h->n - 2) return false;
  const double u = t > 1.0f ? 1.0 : t >= 0.0f ? double(t) : 0.0;  // NaN counts as the start
  if (x) *x = ToFloat(Hermite<float>(h->x[s], h->x[s + 1], h->tx[s], h->tx[s + 1], u, ToFloat));
  if (y) *y = ToFloat(Hermite<float>(h->y[s], h->y[s + 1], h->ty[s], h->ty[s + 1], u, ToFloat));
  return true;
}

bool Spline2D(const SFloat2D* pts, int n, bool closed, int nSub, SFloat2D** out, int* outCount) {
  return SampleInto<FloatCurve>(pts, n, closed, nSub, out, outCount);
}

bool Spline2D(const POINT* pts, int n, bool closed, int nSub, POINT** out, int* outCount) {
  return SampleInto<PointCurve>(pts, n, closed, nSub, out, outCount);
}

std::vector<SFloat2D> Spline2D(const SFloat2D* pts, int n, bool closed, int nSub) {
  return SampleVector<FloatCurve>(pts, n, closed, nSub);
}

std::vector<POINT> Spline2D(const POINT* pts, int n, bool closed, int nSub) {
  return SampleVector<PointCurve>(pts, n, closed, nSub);
}
