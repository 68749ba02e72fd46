#include "vdkit/geometry/spline.h"

#include <gtest/gtest.h>

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

TEST(Spline1DTest, WorkedValuesHalfOpenEndsAndRefusedKnots) {
  const float xs[] = {0, 1, 2}, ys[] = {0, 1, 0};
  SplineHandle h(Spline1D(xs, ys, 3));
  float y = -9;
  EXPECT_TRUE(Spline1DPt(h.get(), 1, &y) && y == 1.0f);
  EXPECT_TRUE(Spline1DPt(h.get(), 0.5f, &y) && y == 0.6875f);
  y = -9;
  // The last knot lies in no interval.
  EXPECT_FALSE(Spline1DPt(h.get(), 2, &y) || Spline1DPt(h.get(), -0.1f, &y) || Spline1DPt(h.get(), NAN, &y) ||
               Spline1DPt(nullptr, 0.5f, &y));
  EXPECT_EQ(y, -9.0f);

  // Knots with no spline: one point, repeated, decreasing or non-finite x, overflowing coefficients.
  const float inc[] = {0, 1, 2, 3}, y4[] = {0, 1, 0, 1}, huge[] = {0, 3e38f, -3e38f, 3e38f};
  const float repeated[] = {0, 1, 1, 3}, decreasing[] = {0, 2, 1, 3}, nan[] = {0, NAN, 2, 3},
              inf[] = {0, 1, INFINITY, 3};
  EXPECT_EQ(Spline1D(xs, ys, 1), nullptr);
  for (const float* x : {repeated, decreasing, nan, inf}) EXPECT_EQ(Spline1D(x, y4, 4), nullptr);
  EXPECT_TRUE(Spline1D(inc, huge, 4) == nullptr && Spline1D(inc, inf, 4) == nullptr);
}

// Random knots: the pieces meet the data, join with equal first and second
// derivatives, and have zero second derivative at both ends.
TEST(Spline1DTest, RandomSplinesInterpolateAndJoinSmoothly) {
  std::mt19937 rng(15);
  std::uniform_real_distribution<float> gap(0.5f, 4.0f), val(-10.0f, 10.0f);
  for (int round = 0; round < 200; ++round) {
    const int n = 2 + round % 40;
    std::vector<float> xs(n), ys(n);
    for (int i = 0; i < n; ++i) xs[i] = (i ? xs[i - 1] + gap(rng) : val(rng)), ys[i] = val(rng);
    SplineHandle h(Spline1D(xs.data(), ys.data(), n));
    const Head1D* s = static_cast<const Head1D*>(h.get());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->c[0], 0.0f);
    for (int k = 0; k + 1 < n; ++k) {
      SCOPED_TRACE(testing::Message() << "n " << n << " interval " << k);
      const double t = double(xs[k + 1]) - xs[k];
      const bool last = k + 2 == n;
      float y;
      EXPECT_TRUE(Spline1DPt(h.get(), xs[k], &y) && y == ys[k]);
      EXPECT_NEAR(s->a[k] + (s->b[k] + (s->c[k] + s->d[k] * t) * t) * t, ys[k + 1], 2e-3);
      EXPECT_NEAR(s->c[k] + 3 * s->d[k] * t, last ? 0.0 : s->c[k + 1], 2e-3);  // half the second derivative
      if (!last) {
        EXPECT_NEAR(s->b[k] + (2 * s->c[k] + 3 * s->d[k] * t) * t, s->b[k + 1], 2e-3);  // the slope
      }
    }
  }
}

// The integer form samples every integer x and agrees with the float spline
// to the truncation; the capacity protocol never writes past what it is given.
TEST(Spline1DTest, IntegerFormSamplesEveryAbscissa) {
  const POINT pts[] = {{-4, 0}, {0, 40}, {6, -12}, {9, 7}};
  const float xs[] = {-4, 0, 6, 9}, ys[] = {0, 40, -12, 7};
  SplineHandle h(Spline1D(xs, ys, 4));
  std::vector<POINT> out(16, POINT{77, 77});
  int count = 0;
  EXPECT_TRUE(Spline1D(pts, 4, false, nullptr, &count) && count == 14);
  count = 13;
  EXPECT_FALSE(Spline1D(pts, 4, true, out.data(), &count));
  EXPECT_TRUE(count == 14 && out[0] == (POINT{77, 77}));
  count = 15;
  ASSERT_TRUE(Spline1D(pts, 4, true, out.data(), &count));
  EXPECT_TRUE(count == 14 && out[14] == (POINT{77, 77}));
  EXPECT_EQ(std::vector<POINT>(out.begin(), out.begin() + 14), Spline1D(pts, 4));
  for (int i = 0; i < 14; ++i) {
    float y = 7;  // the last point is written as it stands
    ASSERT_TRUE(i == 13 || Spline1DPt(h.get(), float(-4 + i), &y));
    EXPECT_TRUE(out[i].x == -4 + i && out[i].y == std::trunc(y)) << i;  // toward zero
  }
  for (const POINT& p : pts) EXPECT_EQ(out[p.x + 4], p);

  const POINT flat[] = {{0, 0}, {0, 5}}, wide[] = {{INT_MIN, 0}, {INT_MAX, 0}},
              narrowest[] = {{5, 1}, {6, 2}};
  count = 99;
  EXPECT_FALSE(Spline1D(flat, 2, false, out.data(), &count) || Spline1D(wide, 2, false, nullptr, &count) ||
               Spline1D(pts, 1, false, nullptr, &count) || Spline1D(pts, 4, false, out.data(), nullptr));
  EXPECT_EQ(count, 99);
  EXPECT_TRUE(Spline1D(wide, 2).empty());
  EXPECT_EQ(Spline1D(narrowest, 2), (std::vector<POINT>{{5, 1}, {6, 2}}));
}

TEST(Spline2DTest, WorkedSamplesClampsAndRefusals) {
  const SFloat2D pts[] = {{0, 0}, {1, 1}, {2, 0}};
  SFloat2D* out = nullptr;
  int count = 0;
  ASSERT_TRUE(Spline2D(pts, 3, false, 1, &out, &count));
  const std::vector<SFloat2D> open = {{0, 0}, {0.375f, 0.5f}, {1, 1}, {1.625f, 0.5f}, {2, 0}};
  EXPECT_EQ(std::vector<SFloat2D>(out, out + count), open);
  ::operator delete(out);
  // Closed: end tangents (-0.5, 0.5) and (-0.5, -0.5) across the joint, and a third segment.
  EXPECT_EQ(Spline2D(pts, 3, true, 1),
            (std::vector<SFloat2D>{
                {0, 0}, {0.3125f, 0.5625f}, {1, 1}, {1.6875f, 0.5625f}, {2, 0}, {1, -0.125f}, {0, 0}}));
  EXPECT_TRUE(Spline2D(pts, 3, false, 0) == open && Spline2D(pts, 3, false, -5) == open);
  EXPECT_TRUE(Spline2D(pts, 3, false, 4).size() == 11u && Spline2D(pts, 3, true, 4).size() == 16u);

  const float xs[] = {0, 1, 2}, ys[] = {0, 1, 0};
  SplineHandle h(Spline2D(xs, ys, 3));
  SFloat2D p{};
  EXPECT_TRUE(Spline2DPt(h.get(), 0, 0.5f, &p.x, &p.y) && p == open[1]);
  EXPECT_TRUE(Spline2DPt(h.get(), 0, 2.0f, &p.x, &p.y) && p == pts[1]);
  EXPECT_TRUE(Spline2DPt(h.get(), 1, -1.0f, &p.x, &p.y) && p == pts[1]);
  EXPECT_TRUE(Spline2DPt(h.get(), 1, NAN, &p.x, &p.y) && p == pts[1]);
  EXPECT_FALSE(Spline2DPt(h.get(), 2, 0.5f, &p.x, &p.y) || Spline2DPt(h.get(), -1, 0.5f, &p.x, &p.y) ||
               Spline2DPt(nullptr, 0, 0.5f, &p.x, &p.y));

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
  for (const POINT& q : top) EXPECT_GE(q.y, INT_MAX - 100);

  // Too few points, no output, sample counts beyond INT_MAX: nothing allocated or written.
  SFloat2D dummy[1];
  out = dummy;
  count = -7;
  EXPECT_FALSE(Spline2D(pts, 2, false, 1, &out, &count) || Spline2D(pts, 3, false, 1, nullptr, &count) ||
               Spline2D(pts, 3, false, 1073741823, &out, &count) ||  // 2 * 2^30 + 1 samples
               Spline2D(pts, 3, true, 715827882, &out, &count) ||    // 3 * 715827883 + 1
               Spline2D(pts, 3, false, INT_MAX, &out, &count));
  EXPECT_TRUE(out == dummy && count == -7 && Spline2D(pts, 3, false, INT_MAX).empty());
  EXPECT_EQ(Spline2D(xs, ys, 2), nullptr);
}

// The handle answers what the open sampling form writes, sample for sample.
TEST(Spline2DTest, HandleMatchesOpenSamplingOnRandomLines) {
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> val(-100.0f, 100.0f);
  for (int round = 0; round < 60; ++round) {
    const int n = 3 + round % 17, k = round % 7, per = std::max(k, 1) + 1;
    std::vector<SFloat2D> pts(n);
    std::vector<float> xs(n), ys(n);
    for (int i = 0; i < n; ++i) xs[i] = pts[i].x = val(rng), ys[i] = pts[i].y = val(rng);
    SplineHandle h(Spline2D(xs.data(), ys.data(), n));
    const std::vector<SFloat2D> s = Spline2D(pts.data(), n, false, k);
    ASSERT_EQ(int(s.size()), (n - 1) * per + 1);
    EXPECT_EQ(s.back(), pts[n - 1]);
    for (int seg = 0; seg + 1 < n; ++seg) {
      for (int j = 0; j < per; ++j) {
        SFloat2D p{};
        ASSERT_TRUE(Spline2DPt(h.get(), seg, float(j) * (1.0f / float(per)), &p.x, &p.y));
        EXPECT_EQ(p, s[seg * per + j]) << "segment " << seg << " sample " << j;
      }
    }
    SFloat2D p{};
    ASSERT_TRUE(Spline2DPt(h.get(), n - 2, 1.0f, &p.x, &p.y));
    EXPECT_NEAR(p.x, pts[n - 1].x, 1e-4);  // the coefficients are rounded to floats
    EXPECT_NEAR(p.y, pts[n - 1].y, 1e-4);
  }
}

}  // namespace
