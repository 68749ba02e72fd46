#include "vdkit/geometry/predicates.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <type_traits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VDKIT_GEOMETRY_SIMD 1
#include <immintrin.h>
#endif

static_assert(sizeof(SFloat2D) == 2 * sizeof(float) && offsetof(SFloat2D, y) == sizeof(float),
              "SFloat2D arrays are read as interleaved floats");

namespace {

// Integer forms compute differences, products and squares of 32-bit
// coordinates at this width, so that nothing wraps around.
#if defined(__SIZEOF_INT128__)
__extension__ typedef __int128 Wide;
#else
typedef long double Wide;  // exact up to its mantissa; beyond that, close
#endif

// Single-precision constants of the rules, widened to double.
const double kRepeatTol = static_cast<double>(0.001f);  // 0.0010000000474974513
const double kFlatSlope = static_cast<double>(1e-5f);   // 9.999999747378752e-6

// Nearest integer, halves upward.
int64_t RoundHalfUp(double v) {
  return static_cast<int64_t>(std::floor(v + 0.5));
}

// a * b / c rounded to the nearest integer, halves away from zero: MulDiv's
// rounding without its 32-bit limits. c must not be 0.
int64_t RoundedMulDiv(int64_t a, int64_t b, int64_t c) {
  Wide num = static_cast<Wide>(a) * b;
  Wide den = c;
  if (den < 0) {
    num = -num;
    den = -den;
  }
#if defined(__SIZEOF_INT128__)
  const Wide half = den / 2;
  return static_cast<int64_t>(num >= 0 ? (num + half) / den : (num - half) / den);
#else
  const Wide q = num / den;
  return static_cast<int64_t>(q >= 0 ? std::floor(q + 0.5L) : std::ceil(q - 0.5L));
#endif
}

// Rounds to single precision; values beyond its range become infinities.
float ToFloat(double v) {
  if (v > FLT_MAX) return std::numeric_limits<float>::infinity();
  if (v < -FLT_MAX) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// ---- PtInRgn ---------------------------------------------------------------------------
//
// An edge takes part when min(x1, x2) <= x < max(x1, x2), that is when exactly
// one of its end points has xv <= x. With b(v) = (x of vertex v <= x), the
// edges that take part are those where b changes between consecutive
// vertices, which a vector compare finds for many vertices at once; only those
// few edges need the ordinate. Every edge answers on its own, so the order of
// the walk does not change the result.
//
// The bounding box: outside it in x no edge takes part, so only the y test
// can change an answer, and only a true one. It runs last, and is mostly
// answered by the end points of the edges already seen: a vertex at or below
// y and one at or above it put y within [min y, max y].

// Tally of the edges that take part, and whether their end points showed a
// vertex at or below y and one at or above it (then y is within the box).
struct Crossings {
  int above = 0;
  int below = 0;
  bool low = false;
  bool high = false;
  template <class Y>
  void Ends(Y y1, Y y2, Y y) {
    low |= (y1 <= y) | (y2 <= y);
    high |= (y1 >= y) | (y2 >= y);
  }
  // Counts an edge whose ordinate at x is yc; true when the point is on it.
  // Without branches: above and below alternate unpredictably along a walk.
  template <class Y>
  bool Count(Y yc, Y y) {
    above += yc > y;
    below += yc < y;
    return yc == y;
  }
  bool Inside() const { return (above & 1) && (below & 1); }
};

// Calls edge(v) for every vertex v whose edge (from vertex v-1, or n-1 for
// v = 0, to v) takes part, until edge answers true; answers whether it did.
// Vertex v's x is xs[v * kStride].
template <int kStride, class T, class EdgeFn>
bool ScanEdgesScalar(const T* xs, int n, T x, EdgeFn& edge) {
  bool prev = xs[static_cast<size_t>(n - 1) * kStride] <= x;
  for (int v = 0; v < n; ++v) {
    const bool cur = xs[static_cast<size_t>(v) * kStride] <= x;
    if (cur != prev && edge(v)) return true;
    prev = cur;
  }
  return false;
}

#ifdef VDKIT_GEOMETRY_SIMD
// The widest walk the processor allows, within the limit tests may set.
int g_vectorLimit = 2;

int VectorLevel() {
  static const int level = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? 2
                           : __builtin_cpu_supports("avx2")                                        ? 1
                                                                                                   : 0;
  return std::min(level, g_vectorLimit);
}

// One step of the vector walk covers 64 vertices: compare(block) answers a
// word whose bit j is set when vertex j of the step has x <= the point's x
// (for interleaved SFloat2D the compare first gathers the x lanes). Hands the
// vertices whose edges change side to edge(); answers true when edge() did.
// Needs n >= 64.
template <int kStride, class T, class CompareFn, class EdgeFn>
__attribute__((always_inline)) inline bool WalkSteps(const T* xs, int n, T x, CompareFn compare,
                                                     EdgeFn& edge) {
  bool prev = xs[static_cast<size_t>(n - 1) * kStride] <= x;
  auto visit = [&](int v, uint64_t changes) {
    for (; changes; changes &= changes - 1) {
      if (edge(v + __builtin_ctzll(changes))) return true;
    }
    return false;
  };
  int v = 0;
  for (; v + 64 <= n; v += 64) {
    const uint64_t bits = compare(xs + static_cast<size_t>(v) * kStride);
    // Most steps have every vertex on the side of the last one.
    if (bits == (prev ? ~0ull : 0)) continue;
    const uint64_t changes = bits ^ ((bits << 1) | (prev ? 1u : 0u));
    prev = bits >> 63;
    if (visit(v, changes)) return true;
  }
  if (v == n) return false;
  // The rest, fewer than 64 vertices, as the top bits of one more step that
  // ends at the last vertex (n >= 64, so it starts inside the array).
  const int rest = n - v;
  const uint64_t bits = compare(xs + static_cast<size_t>(n - 64) * kStride) >> (64 - rest);
  const uint64_t changes = (bits ^ ((bits << 1) | (prev ? 1u : 0u))) & ((uint64_t{1} << rest) - 1);
  return visit(v, changes);
}

template <int kStride, class T, class EdgeFn>
__attribute__((target("avx2"))) bool ScanEdgesAvx2(const T* xs, int n, T x, EdgeFn& edge) {
  auto compare = [x](const T* block) __attribute__((target("avx2"))) {
    uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) {
      int mask;
      if constexpr (std::is_same<T, int>::value) {
        // x_v > x, complemented: AVX2 has no integer <=.
        const __m256i xv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 8 * k));
        mask = ~_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(xv, _mm256_set1_epi32(x)))) & 0xFF;
      } else if constexpr (kStride == 1) {
        const __m256 xv = _mm256_loadu_ps(block + 8 * k);
        mask = _mm256_movemask_ps(_mm256_cmp_ps(xv, _mm256_set1_ps(x), _CMP_LE_OQ));
      } else {
        // The x lanes of 8 vertices, in the order 0 1 4 5 2 3 6 7 (put right below).
        const __m256 xv = _mm256_shuffle_ps(_mm256_loadu_ps(block + 16 * k),
                                            _mm256_loadu_ps(block + 16 * k + 8), _MM_SHUFFLE(2, 0, 2, 0));
        mask = _mm256_movemask_ps(_mm256_cmp_ps(xv, _mm256_set1_ps(x), _CMP_LE_OQ));
      }
      bits |= static_cast<uint64_t>(static_cast<unsigned>(mask)) << (8 * k);
    }
    if constexpr (kStride == 2) {
      // Swap bits 2-3 with bits 4-5 in every byte.
      const uint64_t t = ((bits >> 2) ^ bits) & 0x0C0C0C0C0C0C0C0Cull;
      bits ^= t ^ (t << 2);
    }
    return bits;
  };
  return WalkSteps<kStride>(xs, n, x, compare, edge);
}

template <int kStride, class T, class EdgeFn>
__attribute__((target("avx512f,avx512bw"))) bool ScanEdgesAvx512(const T* xs, int n, T x, EdgeFn& edge) {
  auto compare = [x](const T* block) __attribute__((target("avx512f,avx512bw"))) {
    __mmask16 mask[4];
    for (int k = 0; k < 4; ++k) {
      if constexpr (std::is_same<T, int>::value) {
        mask[k] =
            _mm512_cmp_epi32_mask(_mm512_loadu_si512(block + 16 * k), _mm512_set1_epi32(x), _MM_CMPINT_LE);
      } else if constexpr (kStride == 1) {
        mask[k] = _mm512_cmp_ps_mask(_mm512_loadu_ps(block + 16 * k), _mm512_set1_ps(x), _CMP_LE_OQ);
      } else {
        // The x lanes of 16 vertices, in order.
        const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512 xv = _mm512_permutex2var_ps(_mm512_loadu_ps(block + 32 * k), even,
                                                 _mm512_loadu_ps(block + 32 * k + 16));
        mask[k] = _mm512_cmp_ps_mask(xv, _mm512_set1_ps(x), _CMP_LE_OQ);
      }
    }
    return _cvtmask64_u64(
        _mm512_kunpackd(_mm512_kunpackw(mask[3], mask[2]), _mm512_kunpackw(mask[1], mask[0])));
  };
  return WalkSteps<kStride>(xs, n, x, compare, edge);
}
#endif

template <int kStride, class T, class EdgeFn>
bool ScanEdges(const T* xs, int n, T x, EdgeFn& edge) {
#ifdef VDKIT_GEOMETRY_SIMD
  if (n >= 64) {
    switch (VectorLevel()) {
      case 2:
        return ScanEdgesAvx512<kStride>(xs, n, x, edge);
      case 1:
        return ScanEdgesAvx2<kStride>(xs, n, x, edge);
      default:
        break;
    }
  }
#endif
  return ScanEdgesScalar<kStride>(xs, n, x, edge);
}

// True when some vertex lies at or below y and some at or above it: y is within
// the vertices' range [min y, max y].
template <int kStride, class T>
bool WithinYRange(const T* ys, int n, T y) {
  bool low = false, high = false;
  for (int v = 0; v < n; ++v) {
    const T yv = ys[static_cast<size_t>(v) * kStride];
    low = low || yv <= y;
    high = high || yv >= y;
    if (low && high) return true;
  }
  return false;
}

// The float forms: vertex v at xs[v * kStride], ys[v * kStride].
template <int kStride>
bool PtInRgnFloat(float x, float y, const float* xs, const float* ys, int n) {
  if (n < 3) return true;
  const size_t last = static_cast<size_t>(n - 1) * kStride;
  if (std::fabs(static_cast<double>(xs[0]) - xs[last]) < kRepeatTol &&
      std::fabs(static_cast<double>(ys[0]) - ys[last]) < kRepeatTol) {
    if (--n < 3) return true;
  }
  const double px = x, py = y;
  Crossings tally;
  auto edge = [&](int v) {
    const size_t from = static_cast<size_t>(v == 0 ? n - 1 : v - 1) * kStride;
    const size_t to = static_cast<size_t>(v) * kStride;
    const double x1 = xs[from], y1 = ys[from], x2 = xs[to], y2 = ys[to];
    tally.Ends(y1, y2, py);
    return tally.Count(y1 + (px - x1) * (y2 - y1) / (x2 - x1), py);
  };
  const bool onEdge = ScanEdges<kStride>(xs, n, x, edge);
  return (onEdge || tally.Inside()) && ((tally.low && tally.high) || WithinYRange<kStride>(ys, n, y));
}

// ---- PtAtLine --------------------------------------------------------------------------

bool PtAtLineInt(int64_t x, int64_t y, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t tol) {
  const int64_t dx = x2 - x1, dy = y2 - y1;
  if (dx == 0 && dy == 0) return false;
  // Range on the dominant axis. The quotient of two integers below 2^34 is
  // never rounded across 0 or 1, so this is exact.
  const double t0 = std::llabs(dx) <= std::llabs(dy) ? static_cast<double>(y - y1) / static_cast<double>(dy)
                                                     : static_cast<double>(x - x1) / static_cast<double>(dx);
  if (t0 < 0 || t0 > 1) return false;
  // Projection: ((x-x1)^2 + L + (y-y1)^2 - (y-y2)^2 - (x-x2)^2) / 2L is, in
  // exact integers, ((x-x1)*dx + (y-y1)*dy) / L.
  const Wide num = static_cast<Wide>(x - x1) * dx + static_cast<Wide>(y - y1) * dy;
  const Wide len2 = static_cast<Wide>(dx) * dx + static_cast<Wide>(dy) * dy;
  const double t = static_cast<double>(num) / static_cast<double>(len2);
  const int64_t fx = x1 + RoundHalfUp(static_cast<double>(dx) * t);
  const int64_t fy = y1 + RoundHalfUp(static_cast<double>(dy) * t);
  const Wide ex = x - fx, ey = y - fy;
  return ex * ex + ey * ey <= static_cast<Wide>(tol) * tol;
}

// 0 .. n-1: the first vertex within tol of (x, y); -1 when none.
template <class GetX, class GetY>
int FirstVertexWithin(int64_t x, int64_t y, int n, int64_t tol, GetX getX, GetY getY) {
  const Wide tol2 = static_cast<Wide>(tol) * tol;
  for (int i = 0; i < n; ++i) {
    const Wide ex = getX(i) - x, ey = getY(i) - y;
    if (ex * ex + ey * ey <= tol2) return i;
  }
  return -1;
}

// ---- TwoLineCross ----------------------------------------------------------------------

// Segment a-b against c-d with integer coordinates; on a crossing writes the
// rounded point to *px, *py (each when not null).
bool CrossInt(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t cx, int64_t cy, int64_t dx, int64_t dy,
              bool closed, int* px, int* py) {
  const int64_t Ax = ax - bx, Ay = ay - by, Cx = cx - dx, Cy = cy - dy;
  const Wide D = static_cast<Wide>(Cy) * Ax - static_cast<Wide>(Cx) * Ay;
  if (D == 0) return false;
  const Wide sNum = static_cast<Wide>(by - dy) * Cx - static_cast<Wide>(bx - dx) * Cy;
  const Wide uNum = static_cast<Wide>(dy - by) * Ax - static_cast<Wide>(dx - bx) * Ay;
  const float s = ToFloat(static_cast<double>(sNum) / static_cast<double>(D));
  const float u = ToFloat(static_cast<double>(uNum) / static_cast<double>(-D));
  if (closed ? !(s >= 0 && s <= 1 && u >= 0 && u <= 1) : !(s > 0 && s < 1 && u > 0 && u < 1)) return false;
  // With 0 <= u <= 1 the point lies between d and c, so it fits in 32 bits.
  if (px) *px = static_cast<int>(dx + RoundHalfUp(static_cast<double>(Cx) * u));
  if (py) *py = static_cast<int>(dy + RoundHalfUp(static_cast<double>(Cy) * u));
  return true;
}

bool CrossFloat(float ax, float ay, float bx, float by, float cx, float cy, float dx, float dy, float* px,
                float* py) {
  const float Ax = ax - bx, Ay = ay - by, Cx = cx - dx, Cy = cy - dy;
  const float D = ToFloat(static_cast<double>(Cy) * Ax - static_cast<double>(Cx) * Ay);
  if (D == 0) return false;
  const float bdy = by - dy, bdx = bx - dx;
  const double sNum = static_cast<double>(bdy) * Cx - static_cast<double>(bdx) * Cy;
  const double uNum = -static_cast<double>(bdy) * Ax + static_cast<double>(bdx) * Ay;
  const float s = ToFloat(sNum / D);
  const float u = ToFloat(uNum / -static_cast<double>(D));
  if (!(s > 0 && s < 1 && u > 0 && u < 1)) return false;
  if (px) *px = ToFloat(dx + static_cast<double>(Cx) * u);
  if (py) *py = ToFloat(dy + static_cast<double>(Cy) * u);
  return true;
}

}  // namespace

// ---- PtInRgn ---------------------------------------------------------------------------------

bool PtInRgn(SFloat2D pt, const SFloat2D* pts, int n) {
  if (n < 3) return true;
  const float* xy = &pts[0].x;
  return PtInRgnFloat<2>(pt.x, pt.y, xy, xy + 1, n);
}

bool PtInRgn(float x, float y, const float* xs, const float* ys, int n) {
  return PtInRgnFloat<1>(x, y, xs, ys, n);
}

bool PtInRgn(int x, int y, const int* xs, const int* ys, int n) {
  if (n < 3) return false;
  if (xs[0] == xs[n - 1] && ys[0] == ys[n - 1] && --n < 3) return false;
  Crossings tally;
  auto edge = [&](int v) {
    const int u = v == 0 ? n - 1 : v - 1;
    const int64_t x1 = xs[u], y1 = ys[u], x2 = xs[v], y2 = ys[v];
    tally.Ends(y1, y2, int64_t{y});
    return tally.Count(y1 + RoundedMulDiv(y2 - y1, x - x1, x2 - x1), int64_t{y});
  };
  const bool onEdge = ScanEdges<1>(xs, n, x, edge);
  return (onEdge || tally.Inside()) && ((tally.low && tally.high) || WithinYRange<1>(ys, n, y));
}

// ---- PtAtLine ---------------------------------------------------------------------------------

bool PtAtLine(float x, float y, float x1, float y1, float x2, float y2, float tol) {
  const float dx = x2 - x1, dy = y2 - y1;
  if (dx == 0 && dy == 0) return false;
  const double t0 = std::fabs(dy) >= std::fabs(dx) ? (static_cast<double>(y) - y1) / dy
                                                   : (static_cast<double>(x) - x1) / dx;
  if (t0 < 0 || t0 > 1) return false;
  // The projection parameter as the dot product of P - P1 with the rounded
  // direction over its squared length: the law-of-cosines form of the same
  // quantity loses its digits to cancellation far from the origin.
  const double len2 = static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
  const double t = ((static_cast<double>(x) - x1) * dx + (static_cast<double>(y) - y1) * dy) / len2;
  const double ex = x - (x1 + dx * t), ey = y - (y1 + dy * t);
  return ex * ex + ey * ey <= static_cast<double>(tol) * tol;
}

bool PtAtLine(int x, int y, int x1, int y1, int x2, int y2, int tol) {
  return PtAtLineInt(x, y, x1, y1, x2, y2, tol);
}

bool PtAtLine(POINT pt, POINT p1, POINT p2, int tol) {
  return PtAtLineInt(pt.x, pt.y, p1.x, p1.y, p2.x, p2.y, tol);
}

// ---- PtAtPolyline -----------------------------------------------------------------------------

int PtAtPolyline(float x, float y, const float* xs, const float* ys, int n, float tol) {
  for (int i = 0; i + 1 < n; ++i) {
    if (PtAtLine(x, y, xs[i], ys[i], xs[i + 1], ys[i + 1], tol)) return i;
  }
  return -1;
}

int PtAtPolyline(SFloat2D pt, const SFloat2D* pts, int n, float tol) {
  for (int i = 0; i + 1 < n; ++i) {
    if (PtAtLine(pt.x, pt.y, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, tol)) return i;
  }
  return -1;
}

int PtAtPolyline(POINT pt, const POINT* pts, int n, int tol) {
  if (n < 2) return -1;
  const int hit = FirstVertexWithin(
      pt.x, pt.y, n, tol, [&](int i) { return pts[i].x; }, [&](int i) { return pts[i].y; });
  if (hit >= 0) return hit;
  for (int i = 0; i + 1 < n; ++i) {
    if (PtAtLineInt(pt.x, pt.y, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, tol)) return i;
  }
  return -1;
}

int PtAtPolyline(int x, int y, const int* xs, const int* ys, int n, int tol) {
  if (n < 2) return -1;
  // The absolute value, taken wide: -2^31 has none in 32 bits.
  const int64_t absTol = std::llabs(static_cast<int64_t>(tol));
  const int hit = FirstVertexWithin(
      x, y, n, absTol, [&](int i) { return xs[i]; }, [&](int i) { return ys[i]; });
  if (hit >= 0) return hit;
  for (int i = 0; i + 1 < n; ++i) {
    if (PtAtLineInt(x, y, xs[i], ys[i], xs[i + 1], ys[i + 1], absTol)) return i;
  }
  return -1;
}

// ---- TwoLineCross -----------------------------------------------------------------------------

bool TwoLineCross(int ax, int ay, int bx, int by, int cx, int cy, int dx, int dy, int* px, int* py) {
  return CrossInt(ax, ay, bx, by, cx, cy, dx, dy, true, px, py);
}

bool TwoLineCross(POINT a, POINT b, POINT c, POINT d, POINT* p) {
  return CrossInt(a.x, a.y, b.x, b.y, c.x, c.y, d.x, d.y, false, p ? &p->x : nullptr, p ? &p->y : nullptr);
}

bool TwoLineCross(float ax, float ay, float bx, float by, float cx, float cy, float dx, float dy, float* px,
                  float* py) {
  return CrossFloat(ax, ay, bx, by, cx, cy, dx, dy, px, py);
}

bool TwoLineCross(SFloat2D a, SFloat2D b, SFloat2D c, SFloat2D d, SFloat2D* p) {
  return CrossFloat(a.x, a.y, b.x, b.y, c.x, c.y, d.x, d.y, p ? &p->x : nullptr, p ? &p->y : nullptr);
}

void TwoLineCross(float angle1, float x1, float y1, float angle2, float x2, float y2, float* px, float* py) {
  const float k1 = ToFloat(std::tan(static_cast<double>(angle1)));
  const float k2 = ToFloat(std::tan(static_cast<double>(angle2)));
  float x, y;
  if (std::fabs(k1) < kFlatSlope) {
    x = x2;
    y = y1;
  } else if (std::fabs(k2) < kFlatSlope) {
    x = x1;
    y = y2;
  } else if (k1 == k2) {
    // Parallel: no single crossing; (x1, y1) is on both lines when they coincide.
    x = x1;
    y = y1;
  } else {
    const double cx = (static_cast<double>(k1) * x1 - static_cast<double>(k2) * x2 + y2 - y1) /
                      (static_cast<double>(k1) - k2);
    x = ToFloat(cx);
    y = ToFloat((cx - x1) * k1 + y1);
  }
  if (px) *px = x;
  if (py) *py = y;
}

// ---- GetRectHandle ----------------------------------------------------------------------------

int GetRectHandle(const RECT& rc, const POINT& pt, int size) {
  // Wide enough that sums of coordinates and spans never wrap.
  const int64_t half = size >= 0 ? size / 2 : -((1 - static_cast<int64_t>(size)) / 2);  // floor(size / 2)
  const int64_t l = rc.left, t = rc.top, r = rc.right, b = rc.bottom, x = pt.x, y = pt.y;
  if (size > 0) {
    const int64_t cx = (l + r) / 2, cy = (t + b) / 2;
    const int64_t hw = (r - l) / 2 - half, hh = (b - t) / 2 - half;
    const struct {
      int64_t gx, gy, hw, hh;
    } grips[8] = {{l, t, half, half}, {cx, t, hw, half}, {r, t, half, half}, {r, cy, half, hh},
                  {r, b, half, half}, {cx, b, hw, half}, {l, b, half, half}, {l, cy, half, hh}};
    for (int i = 0; i < 8; ++i) {
      const auto& g = grips[i];
      if (g.gx - g.hw <= x && x < g.gx + g.hw && g.gy - g.hh <= y && y < g.gy + g.hh) return i;
    }
  }
  return l + half <= x && x < r - half && t + half <= y && y < b - half ? 8 : -1;
}

// ---- Test seam ---------------------------------------------------------------------------

int detail::SetPtInRgnVectorLimit(int limit) {
#ifdef VDKIT_GEOMETRY_SIMD
  const int previous = g_vectorLimit;
  g_vectorLimit = limit;
  return previous;
#else
  (void)limit;
  return 0;
#endif
}
