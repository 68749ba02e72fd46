#include "vdkit/coord/coord_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

struct Probe : CCoordConvert {
  using CCoordConvert::GetK1;
  using CCoordConvert::GetK2;
};

struct Pt {
  double x, y;
};

// Corners of system 1 and system 2, records 0 .. 3.
Probe Make(const std::vector<Pt>& c1, const std::vector<Pt>& c2) {
  Probe cc;
  for (int i = 0; i < 4; ++i) cc.SetScaler(i, c1[i].x, c1[i].y, c2[i].x, c2[i].y);
  return cc;
}

std::vector<Pt> Scaled(const std::vector<Pt>& c, double k) {
  std::vector<Pt> out;
  for (const Pt& p : c) out.push_back({p.x * k, p.y * k});
  return out;
}

TEST(CoordConvertTest, SquaresInEitherCornerOrder) {
  const std::vector<Pt> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  Probe cc = Make(square, Scaled(square, 2));
  double t = -1, s = -1, x = 0, y = 0;
  EXPECT_TRUE(cc.GetK1(2, 8, t, s));
  EXPECT_DOUBLE_EQ(t, 0.2);
  EXPECT_DOUBLE_EQ(s, 0.8);
  EXPECT_TRUE(cc.toCS2(2, 8, x, y) && x == 4 && y == 16);
  EXPECT_TRUE(cc.toCS1(4, 16, x, y) && x == 2 && y == 8);
  EXPECT_TRUE(cc.GetK2(4, 16, t, s));
  EXPECT_DOUBLE_EQ(t, 0.2);

  // K3 - K0 horizontal: s runs along x now, so (2, 8) has s = 0.2, t = 0.8.
  const std::vector<Pt> turned = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};
  Probe tc = Make(turned, Scaled(turned, 2));
  EXPECT_TRUE(tc.GetK1(2, 8, t, s));
  EXPECT_NEAR(t, 0.8, 1e-15);
  EXPECT_NEAR(s, 0.2, 1e-15);
  EXPECT_TRUE(tc.toCS2(2, 8, x, y));
  EXPECT_NEAR(x, 4, 1e-13);
  EXPECT_NEAR(y, 16, 1e-13);

  // Turned by 1e-13: s must come from the y equation, whose coefficient is 10, not the x one (1e-12).
  const double c = std::cos(1e-13), sn = std::sin(1e-13);
  std::vector<Pt> tilted;
  for (const Pt& p : square) tilted.push_back({p.x * c - p.y * sn, p.x * sn + p.y * c});
  Probe tt = Make(tilted, square);
  EXPECT_TRUE(tt.GetK1(2 * c - 8 * sn, 2 * sn + 8 * c, t, s));
  EXPECT_NEAR(t, 0.2, 1e-14);
  EXPECT_NEAR(s, 0.8, 1e-14);

  // A corner pulled in: the quadratic has a negative leading coefficient and (4.5, 4.5) sits at (0.5, 0.5).
  Probe kite = Make({{0, 0}, {10, 0}, {8, 8}, {0, 10}}, square);
  EXPECT_TRUE(kite.GetK1(4.5, 4.5, t, s));
  EXPECT_NEAR(t, 0.5, 1e-15);
  EXPECT_NEAR(s, 0.5, 1e-15);
  EXPECT_TRUE(kite.toCS2(4.5, 4.5, x, y));
  EXPECT_NEAR(x, 5, 1e-13);
  EXPECT_NEAR(y, 5, 1e-13);
}

TEST(CoordConvertTest, ThreeCornerModeAndRecordAccess) {
  Probe cc;
  cc.SetScaler(0, 0, 0, 100, 100);
  cc.SetScaler(1, 10, 0, 100, 120);  // system 2 turned a quarter and doubled
  cc.SetScaler(3, 0, 10, 80, 100);
  EXPECT_FALSE(cc.Is2Valid());
  double x = 0, y = 0, X = 0, Y = 0;
  ASSERT_TRUE(cc.toCS2(3, 4, x, y));
  EXPECT_TRUE(x == 92 && y == 106);
  ASSERT_TRUE(cc.toCS1(92, 106, X, Y));
  EXPECT_NEAR(X, 3, 1e-14);
  EXPECT_NEAR(Y, 4, 1e-14);
  cc.SetScaler(2, 55, -3, 7, NAN);  // selects four corners ...
  EXPECT_TRUE(cc.Is2Valid());
  EXPECT_FALSE(cc.toCS2(3, 4, x, y));  // ... whose frame is concave in system 1
  cc.Set2Valid(false);                 // ... and back: record 2 is ignored again
  EXPECT_TRUE(cc.toCS2(3, 4, x, y) && x == 92 && y == 106);

  EXPECT_EQ(cc.GetScaler(4), nullptr);
  EXPECT_EQ(cc.GetScaler(-1), nullptr);
  EXPECT_EQ(cc.GetScaler(2)->x1, 55);
  cc.SetScaler(-1, 1, 2, 3, 4);
  cc.SetScaler(4, 1, 2, 3, 4);
  double a = 9, b = 9, c = 9, d = 9;
  cc.GetScaler(4, a, b, c, d);
  EXPECT_TRUE(a == 9 && b == 9 && c == 9 && d == 9);
  cc.GetScaler(1, a, b, c, d);
  EXPECT_TRUE(a == 10 && b == 0 && c == 100 && d == 120);
  CCoordConvert copy;
  copy = cc;
  EXPECT_TRUE(copy.toCS2(3, 4, x, y) && x == 92 && y == 106 && !copy.Is2Valid());
}

// Frames without an inverse, and points that no parameters reach, answer
// false and leave the outputs alone: never a division by zero passed off as
// a point.
TEST(CoordConvertTest, DegenerateFramesAndUnreachablePointsFail) {
  const std::vector<Pt> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const std::vector<std::vector<Pt>> bad = {
      {{0, 0}, {0, 0}, {0, 0}, {0, 0}},      // a new object
      {{0, 0}, {0, 0}, {10, 10}, {0, 10}},   // coincident corners
      {{0, 0}, {5, 0}, {10, 0}, {0, 10}},    // three on a line
      {{0, 0}, {5, 5}, {10, 10}, {20, 20}},  // all on a line
      {{0, 0}, {10, 0}, {3, 3}, {0, 10}},    // concave
      {{0, 0}, {10, 10}, {10, 0}, {0, 10}},  // twisted
      {{0, 0}, {10, 0}, {10, INFINITY}, {0, 10}}, {{NAN, 0}, {10, 0}, {10, 10}, {0, 10}},
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    Probe cc = Make(bad[i], square);
    double x = 7, y = 7, t = 7, s = 7;
    EXPECT_FALSE(cc.toCS2(1, 1, x, y)) << i;
    EXPECT_FALSE(cc.GetK1(1, 1, t, s)) << i;
    EXPECT_TRUE(x == 7 && y == 7 && t == 7 && s == 7) << i;
    EXPECT_TRUE(cc.toCS1(1, 1, x, y)) << i;  // the square converts into any target
  }
  double x = 7, y = 7;
  EXPECT_FALSE(CCoordConvert().toCS1(0, 0, x, y));
  Probe three;
  three.SetScaler(0, 0, 0, 0, 0);
  three.SetScaler(1, 5, 5, 1, 0);
  three.SetScaler(3, 10, 10, 0, 1);
  EXPECT_FALSE(three.toCS2(1, 2, x, y));
  EXPECT_TRUE(three.toCS1(1, 2, x, y) && x == 25 && y == 25);

  // Along K0 + lambda w, the discriminant is 10000 + 1600 lambda: below
  // lambda = -6.25 nothing maps to the point; above it something does.
  Probe kite = Make({{0, 0}, {10, 0}, {12, 12}, {0, 10}}, square);
  x = y = 7;
  EXPECT_FALSE(kite.toCS2(-20, -20, x, y));
  EXPECT_TRUE(x == 7 && y == 7);
  EXPECT_TRUE(kite.toCS2(-5, -5, x, y));
  EXPECT_FALSE(kite.toCS2(NAN, 1, x, y));
}

// Random strictly convex frames in both systems, at every scale and far from
// the origin, some nearly parallelograms: the parameters of M(s, t) come
// back, and toCS1(toCS2(p)) = p within 1e-9 of the frame's extent, inside the
// frame and in a margin of a quarter of it wherever the mapping stays one-to-one.
TEST(CoordConvertTest, RandomConvexFramesRoundTrip) {
  std::mt19937_64 rng(20);
  std::uniform_real_distribution<double> unit(0, 1);
  const auto frame = [&](int round) {
    for (;;) {
      const double scale = std::pow(10.0, -3 + 9 * unit(rng)), cx = (unit(rng) - 0.5) * 1e3 * scale;
      const double base = 6.283185307179586 * unit(rng), dir = unit(rng) < 0.5 ? 1 : -1;
      std::vector<Pt> c(4);
      for (int i = 0; i < 4; ++i) {
        const double a = base + dir * (1.5707963267948966 * i + 1.2 * (unit(rng) - 0.5));
        const double r = scale * (0.5 + unit(rng));
        c[i] = {cx + r * std::cos(a), cx + r * std::sin(a)};
      }
      if (round % 5 == 0) {  // a parallelogram, or nearly
        const double eps = round % 10 == 0 ? 0 : 1e-9 * scale;
        c[2] = {c[1].x + c[3].x - c[0].x + eps, c[1].y + c[3].y - c[0].y - eps};
      }
      bool convex = true;
      for (int i = 0; i < 4; ++i) {
        const Pt &p = c[i], &q = c[(i + 1) % 4], &r = c[(i + 2) % 4];
        const double turn = (q.x - p.x) * (r.y - q.y) - (q.y - p.y) * (r.x - q.x);
        convex = convex && turn * dir > 1e-3 * scale * scale;
      }
      if (convex) return c;
    }
  };
  // M(s, t) of a frame, and whether its Jacobian keeps one sign over [-m, 1 + m]^2.
  const auto at = [](const std::vector<Pt>& c, double s, double t) {
    return Pt{
        c[0].x + s * (c[3].x - c[0].x) + t * (c[1].x - c[0].x) + s * t * (c[2].x - c[1].x - c[3].x + c[0].x),
        c[0].y + s * (c[3].y - c[0].y) + t * (c[1].y - c[0].y) + s * t * (c[2].y - c[1].y - c[3].y + c[0].y)};
  };
  const auto oneToOne = [&](const std::vector<Pt>& c, double m) {
    int sign = 0;
    for (double s : {-m, 1 + m})
      for (double t : {-m, 1 + m}) {
        const double h = 1e-6;
        const Pt p = at(c, s, t), ps = at(c, s + h, t), pt = at(c, s, t + h);
        const double j = (ps.x - p.x) * (pt.y - p.y) - (ps.y - p.y) * (pt.x - p.x);
        const int sj = j > 0 ? 1 : -1;
        if (sign && sj != sign) return false;
        sign = sj;
      }
    return true;
  };
  const auto extent = [](const std::vector<Pt>& c) {
    double lo = 1e300, hi = -1e300;
    for (const Pt& p : c) lo = std::min({lo, p.x, p.y}), hi = std::max({hi, p.x, p.y});
    return hi - lo;
  };
  for (int round = 0; round < 400; ++round) {
    const std::vector<Pt> c1 = frame(round), c2 = frame(round + 1);
    Probe cc = Make(c1, c2);
    const double m = oneToOne(c1, 0.25) && oneToOne(c2, 0.25) ? 0.25 : 0.0;
    const double tol1 = 1e-9 * extent(c1), tol2 = 1e-9 * extent(c2);
    for (int k = 0; k < 25; ++k) {
      const double s = -m + (1 + 2 * m) * unit(rng), t = -m + (1 + 2 * m) * unit(rng);
      const Pt p = at(c1, s, t), q = at(c2, s, t);
      double gt, gs, x, y, X, Y;
      ASSERT_TRUE(cc.GetK1(p.x, p.y, gt, gs)) << round;
      EXPECT_NEAR(gt, t, 1e-9) << round;
      EXPECT_NEAR(gs, s, 1e-9) << round;
      ASSERT_TRUE(cc.toCS2(p.x, p.y, x, y));
      EXPECT_NEAR(x, q.x, tol2) << round;
      EXPECT_NEAR(y, q.y, tol2) << round;
      ASSERT_TRUE(cc.toCS1(x, y, X, Y));
      EXPECT_NEAR(X, p.x, tol1) << round << " s " << s << " t " << t;
      EXPECT_NEAR(Y, p.y, tol1) << round;
    }
    // The same frames with three corners: the parallelogram of 0, 1 and 3.
    cc.Set2Valid(false);
    const double s = unit(rng) * 2 - 0.5, t = unit(rng) * 2 - 0.5;
    const Pt p = {c1[0].x + s * (c1[3].x - c1[0].x) + t * (c1[1].x - c1[0].x),
                  c1[0].y + s * (c1[3].y - c1[0].y) + t * (c1[1].y - c1[0].y)};
    double x, y, X, Y;
    ASSERT_TRUE(cc.toCS2(p.x, p.y, x, y) && cc.toCS1(x, y, X, Y));
    EXPECT_NEAR(X, p.x, tol1);
    EXPECT_NEAR(Y, p.y, tol1);
  }
}

}  // namespace
