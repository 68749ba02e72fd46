#include "vdkit/geometry/spline.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

// Found by argument-dependent lookup from gtest and std, so at global scope.
static bool operator==(const SFloat2D& p, const SFloat2D& q) {
  return p.x == q.x && p.y == q.y;
}
static bool operator==(const POINT& p, const POINT& q) {
  return p.x == q.x && p.y == q.y;
}

namespace {

// The documented layout of the Spline1D block, to check its coefficients.
struct Head1D {
  int32_t n;
  float *a, *b, *c, *d, *x;
};

TEST(Spline1DTest, ThreeKnotsTwoKnotsAndTheHalfOpenEnds) {
  const float xs[] = {0, 1, 2}, ys[] = {0, 1, 0};
  SplineHandle h(Spline1D(xs, ys, 3));
  ASSERT_TRUE(h);
  float y = -9;
  EXPECT_TRUE(Spline1DPt(h.get(), 1, &y) && y == 1.0f);
  EXPECT_TRUE(Spline1DPt(h.get(), 0.5f, &y) && y == 0.6875f);
  y = -9;
  EXPECT_FALSE(Spline1DPt(h.get(), 2, &y));  // the last knot lies in no interval
  EXPECT_FALSE(Spline1DPt(h.get(), -0.1f, &y));
  EXPECT_FALSE(Spline1DPt(h.get(), NAN, &y));
  EXPECT_FALSE(Spline1DPt(nullptr, 0.5f, &y));
  EXPECT_EQ(y, -9.0f);

  EXPECT_EQ(Spline1D(xs, ys, 1), nullptr);
  const float x2[] = {1, 3}, y2[] = {2, 6};
  SplineHandle line(Spline1D(x2, y2, 2));
  const Head1D* l = static_cast<const Head1D*>(line.get());
  ASSERT_TRUE(l);
  EXPECT_EQ(l->n, 2);
  EXPECT_FLOAT_EQ(l->b[0], 2.0f);
  EXPECT_EQ(l->c[0], 0.0f);
  EXPECT_EQ(l->d[0], 0.0f);
  EXPECT_TRUE(Spline1DPt(line.get(), 2.5f, &y));
  EXPECT_FLOAT_EQ(y, 5.0f);
}

// Random knots: the pieces meet the data, join with equal first and second
// derivatives, and have zero second derivative at both ends.
TEST(Spline1DTest, RandomSplinesInterpolateAndJoinSmoothly) {
  std::mt19937 rng(15);
  std::uniform_real_distribution<float> gap(0.5f, 4.0f), val(-10.0f, 10.0f);
  for (int round = 0; round < 200; ++round) {
    const int n = 2 + round % 40;
    std::vector<float> xs(n), ys(n);
    xs[0] = val(rng);
    for (int i = 0; i < n; ++i) {
      if (i) xs[i] = xs[i - 1] + gap(rng);
      ys[i] = val(rng);
    }
    SplineHandle h(Spline1D(xs.data(), ys.data(), n));
    const Head1D* s = static_cast<const Head1D*>(h.get());
    ASSERT_TRUE(s);
    const double tol = 2e-3;
    for (int k = 0; k + 1 < n; ++k) {
      SCOPED_TRACE(testing::Message() << "n " << n << " interval " << k);
      const double t = double(xs[k + 1]) - xs[k];
      EXPECT_EQ(s->a[k], ys[k]);
      EXPECT_NEAR(s->a[k] + (s->b[k] + (s->c[k] + s->d[k] * t) * t) * t, ys[k + 1], tol);
      const double c1 = s->c[k] + 3 * s->d[k] * t;  // half the second derivative at the right end
      EXPECT_NEAR(c1, k + 2 < n ? s->c[k + 1] : 0.0, tol);
      if (k + 2 < n) {
        EXPECT_NEAR(s->b[k] + (2 * s->c[k] + 3 * s->d[k] * t) * t, s->b[k + 1], tol);
      }
      float y;
      ASSERT_TRUE(Spline1DPt(h.get(), xs[k], &y));
      EXPECT_EQ(y, ys[k]);
    }
    EXPECT_EQ(s->c[0], 0.0f);
  }
}

TEST(Spline1DTest, RefusesKnotsWithoutASpline) {
  const float inc[] = {0, 1, 2, 3}, ys[] = {0, 1, 0, 1};
  const float repeated[] = {0, 1, 1, 3}, decreasing[] = {0, 2, 1, 3}, nan[] = {0, NAN, 2, 3};
  const float inf[] = {0, 1, INFINITY, 3}, huge[] = {0, 3e38f, -3e38f, 3e38f};
  for (const float* x : {repeated, decreasing, nan, inf}) EXPECT_EQ(Spline1D(x, ys, 4), nullptr);
  EXPECT_EQ(Spline1D(inc, huge, 4), nullptr);
  EXPECT_EQ(Spline1D(inc, inf, 4), nullptr);
  EXPECT_EQ(Spline1D(nullptr, ys, 4), nullptr);
}

// The integer form samples every integer x and agrees with the float spline
// to the truncation; the capacity protocol never writes past what it is given.
TEST(Spline1DTest, IntegerFormSamplesEveryAbscissa) {
  const POINT pts[] = {{-4, 0}, {0, 40}, {6, -12}, {9, 7}};
  const float xs[] = {-4, 0, 6, 9}, ys[] = {0, 40, -12, 7};
  SplineHandle h(Spline1D(xs, ys, 4));
  int count = 0;
  EXPECT_TRUE(Spline1D(pts, 4, false, nullptr, &count));
  EXPECT_EQ(count, 14);
  std::vector<POINT> out(16, POINT{77, 77});
  count = 13;
  EXPECT_FALSE(Spline1D(pts, 4, true, out.data(), &count));
  EXPECT_EQ(count, 14);
  EXPECT_EQ(out[0], (POINT{77, 77}));
  count = 15;
  ASSERT_TRUE(Spline1D(pts, 4, true, out.data(), &count));
  EXPECT_EQ(count, 14);
  EXPECT_EQ(out[14], (POINT{77, 77}));
  EXPECT_EQ(std::vector<POINT>(out.begin(), out.begin() + 14), Spline1D(pts, 4));
  for (int i = 0; i < 14; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i].x, -4 + i);
    float y = 7;  // the last point is written as it stands
    ASSERT_TRUE(i == 13 || Spline1DPt(h.get(), float(-4 + i), &y));
    EXPECT_NEAR(out[i].y, std::trunc(y), 1.0);
    EXPECT_LE(std::fabs(double(out[i].y)), std::fabs(y) + 1e-3);  // toward zero
  }
  for (int k : {0, 1, 2, 3}) EXPECT_EQ(out[pts[k].x + 4], pts[k]);

  const POINT flat[] = {{0, 0}, {0, 5}}, wide[] = {{INT_MIN, 0}, {INT_MAX, 0}},
              narrowest[] = {{5, 1}, {6, 2}};
  count = 99;
  EXPECT_FALSE(Spline1D(flat, 2, false, out.data(), &count));
  EXPECT_FALSE(Spline1D(wide, 2, false, nullptr, &count));
  EXPECT_FALSE(Spline1D(pts, 1, false, nullptr, &count));
  EXPECT_FALSE(Spline1D(pts, 4, false, out.data(), nullptr));
  EXPECT_EQ(count, 99);
  EXPECT_TRUE(Spline1D(wide, 2).empty());
  EXPECT_EQ(Spline1D(narrowest, 2), (std::vector<POINT>{{5, 1}, {6, 2}}));
}

TEST(Spline2DTest, WorkedSamplesOpenClosedAndTruncated) {
  const SFloat2D pts[] = {{0, 0}, {1, 1}, {2, 0}};
  SFloat2D* out = nullptr;
  int count = 0;
  ASSERT_TRUE(Spline2D(pts, 3, false, 1, &out, &count));
  const std::vector<SFloat2D> open = {{0, 0}, {0.375f, 0.5f}, {1, 1}, {1.625f, 0.5f}, {2, 0}};
  EXPECT_EQ(std::vector<SFloat2D>(out, out + count), open);
  ::operator delete(out);
  // Closed: end tangents (-0.5, 0.5) and (-0.5, -0.5) across the joint, and a third segment.
  const std::vector<SFloat2D> closed = {{0, 0}, {0.3125f, 0.5625f}, {1, 1}, {1.6875f, 0.5625f},
                                        {2, 0}, {1, -0.125f},       {0, 0}};
  EXPECT_EQ(Spline2D(pts, 3, true, 1), closed);
  EXPECT_EQ(Spline2D(pts, 3, false, 0), open);
  EXPECT_EQ(Spline2D(pts, 3, false, -5), open);
  EXPECT_EQ(Spline2D(pts, 3, false, 4).size(), 11u);
  EXPECT_EQ(Spline2D(pts, 3, true, 4).size(), 16u);

  const POINT ip[] = {{0, 0}, {10, 10}, {20, 0}}, neg[] = {{0, 0}, {-10, -10}, {-20, 0}};
  POINT* iout = nullptr;
  ASSERT_TRUE(Spline2D(ip, 3, false, 1, &iout, &count));
  EXPECT_EQ(std::vector<POINT>(iout, iout + count),
            (std::vector<POINT>{{0, 0}, {3, 5}, {10, 10}, {16, 5}, {20, 0}}));
  ::operator delete(iout);
  EXPECT_EQ(Spline2D(neg, 3, false, 1),
            (std::vector<POINT>{{0, 0}, {-3, -5}, {-10, -10}, {-16, -5}, {-20, 0}}));
  // The curve overshoots INT_MAX near t = 0.9 of the middle segment: it saturates instead of wrapping.
  const POINT edge[] = {{0, INT_MAX - 100}, {10, INT_MAX - 50}, {20, INT_MAX}, {30, INT_MAX - 100}};
  const std::vector<POINT> top = Spline2D(edge, 4, false, 9);
  EXPECT_EQ(top[19].y, INT_MAX);
  for (const POINT& p : top) EXPECT_GE(p.y, INT_MAX - 100);

  SplineHandle h(Spline2D(std::vector<float>{0, 1, 2}.data(), std::vector<float>{0, 1, 0}.data(), 3));
  SFloat2D p{};
  EXPECT_TRUE(Spline2DPt(h.get(), 0, 0.5f, &p.x, &p.y) && p == open[1]);
  EXPECT_TRUE(Spline2DPt(h.get(), 0, 2.0f, &p.x, &p.y) && p == pts[1]);
  EXPECT_TRUE(Spline2DPt(h.get(), 1, -1.0f, &p.x, &p.y) && p == pts[1]);
}

TEST(Spline2DTest, RefusalsAllocateAndWriteNothing) {
  const SFloat2D pts[] = {{0, 0}, {1, 1}, {2, 0}};
  SFloat2D dummy[1];
  SFloat2D* out = dummy;
  int count = -7;
  EXPECT_FALSE(Spline2D(pts, 2, false, 1, &out, &count));
  EXPECT_FALSE(Spline2D(pts, 3, false, 1, nullptr, &count));
  EXPECT_FALSE(Spline2D(pts, 3, false, 1073741823, &out, &count));  // 2 * 2^30 + 1 samples
  EXPECT_FALSE(Spline2D(pts, 3, true, 715827882, &out, &count));    // 3 * 715827883 + 1
  EXPECT_FALSE(Spline2D(pts, 3, false, INT_MAX, &out, &count));
  EXPECT_TRUE(out == dummy && count == -7);
  EXPECT_TRUE(Spline2D(pts, 3, false, INT_MAX).empty());
  const float xs[] = {0, 1}, ys[] = {0, 1};
  EXPECT_EQ(Spline2D(xs, ys, 2), nullptr);
}

// The handle form answers what the open sampling form writes, sample for
// sample; at the ends of the parameter range it clamps.
TEST(Spline2DTest, HandleMatchesOpenSamplingOnRandomLines) {
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> val(-100.0f, 100.0f);
  for (int round = 0; round < 60; ++round) {
    const int n = 3 + round % 17, k = round % 7;
    std::vector<SFloat2D> pts(n);
    std::vector<float> xs(n), ys(n);
    for (int i = 0; i < n; ++i) xs[i] = pts[i].x = val(rng), ys[i] = pts[i].y = val(rng);
    SplineHandle h(Spline2D(xs.data(), ys.data(), n));
    const std::vector<SFloat2D> s = Spline2D(pts.data(), n, false, k);
    const int per = std::max(k, 1) + 1;
    ASSERT_EQ(int(s.size()), (n - 1) * per + 1);
    const float step = 1.0f / float(per);
    for (int seg = 0; seg + 1 < n; ++seg) {
      for (int j = 0; j < per; ++j) {
        SFloat2D p{};
        ASSERT_TRUE(Spline2DPt(h.get(), seg, float(j) * step, &p.x, &p.y));
        EXPECT_EQ(p, s[seg * per + j]) << "segment " << seg << " sample " << j;
      }
    }
    SFloat2D p{};
    ASSERT_TRUE(Spline2DPt(h.get(), n - 2, 2.0f, &p.x, &p.y));
    EXPECT_NEAR(p.x, pts[n - 1].x, 1e-4);  // the coefficients are rounded to floats
    EXPECT_NEAR(p.y, pts[n - 1].y, 1e-4);
    EXPECT_TRUE(Spline2DPt(h.get(), 0, -1.0f, &p.x, &p.y) && p == pts[0]);
    EXPECT_TRUE(Spline2DPt(h.get(), 1, NAN, &p.x, &p.y) && p == pts[1]);
    EXPECT_FALSE(Spline2DPt(h.get(), n - 1, 0.5f, &p.x, &p.y));
    EXPECT_FALSE(Spline2DPt(h.get(), -1, 0.5f, &p.x, &p.y));
    EXPECT_FALSE(Spline2DPt(nullptr, 0, 0.5f, &p.x, &p.y));
    EXPECT_EQ(s.back(), pts[n - 1]);
  }
}

// Densely sampled, a closed curve has no corner anywhere, the joint at the
// first point included; an open one stops at its ends with zero tangents.
TEST(Spline2DTest, ClosedCurvesTurnSmoothlyThroughTheJoint) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> angle(0, 6.283185307179586), radius(50, 100);
  for (int round = 0; round < 20; ++round) {
    const int n = 3 + round % 9, per = 200;
    std::vector<POINT> pts(n);
    for (int i = 0; i < n; ++i) {
      const double a = 6.283185307179586 * i / n + angle(rng) / (4 * n), r = radius(rng);
      pts[i] = POINT{LONG(1e6 * r * std::cos(a)), LONG(1e6 * r * std::sin(a))};
    }
    const std::vector<POINT> s = Spline2D(pts.data(), n, true, per - 1);
    ASSERT_EQ(int(s.size()), n * per + 1);
    for (int seg = 0; seg < n; ++seg) {
      const int at = seg * per;  // the sample on data point seg
      EXPECT_EQ(s[at], pts[seg]);
      const POINT& before = s[at == 0 ? n * per - 1 : at - 1];
      const POINT& after = s[at + 1];
      // A chord of 1/200 of the segment on either side: equal tangents make them mirror images.
      EXPECT_NEAR(double(after.x) - pts[seg].x, double(pts[seg].x) - before.x, 2e-3 * 1e8) << seg;
      EXPECT_NEAR(double(after.y) - pts[seg].y, double(pts[seg].y) - before.y, 2e-3 * 1e8) << seg;
    }
    EXPECT_EQ(s.back(), pts[0]);
    // Open, the end tangent is zero: the first step is of second order, far shorter.
    const std::vector<POINT> o = Spline2D(pts.data(), n, false, per - 1);
    const auto step = [&](const POINT& q) {
      return std::hypot(double(q.x) - pts[0].x, double(q.y) - pts[0].y);
    };
    EXPECT_LT(step(o[1]), 0.1 * step(s[1]));
  }
}

}  // namespace
