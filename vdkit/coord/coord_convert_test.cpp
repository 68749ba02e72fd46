#include "vdkit/coord/coord_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

struct Probe : CCoordConvert {
  using CCoordConvert::GetK1;
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

// M(s, t) of a frame: K0 + s (K3 - K0) + t (K1 - K0) [+ s t (K2 - K1 - K3 + K0)].
Pt At(const std::vector<Pt>& c, double s, double t, bool four = true) {
  const double w = four ? 1 : 0;
  return {c[0].x + s * (c[3].x - c[0].x) + t * (c[1].x - c[0].x) +
              w * s * t * (c[2].x - c[1].x - c[3].x + c[0].x),
          c[0].y + s * (c[3].y - c[0].y) + t * (c[1].y - c[0].y) +
              w * s * t * (c[2].y - c[1].y - c[3].y + c[0].y)};
}

// GetK1 of (x, y) gives (t, s); toCS2 gives `to`, and toCS1 brings it back.
void ExpectConverts(const Probe& cc, Pt p, double t, double s, Pt to, double tol) {
  double gt, gs, x, y, X, Y;
  ASSERT_TRUE(cc.GetK1(p.x, p.y, gt, gs) && cc.toCS2(p.x, p.y, x, y) && cc.toCS1(x, y, X, Y));
  EXPECT_NEAR(gt, t, tol);
  EXPECT_NEAR(gs, s, tol);
  EXPECT_NEAR(x, to.x, tol);
  EXPECT_NEAR(y, to.y, tol);
  EXPECT_NEAR(X, p.x, tol);
  EXPECT_NEAR(Y, p.y, tol);
}

TEST(CoordConvertTest, WorkedFramesInEveryCornerOrder) {
  const std::vector<Pt> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  ExpectConverts(Make(square, {{0, 0}, {20, 0}, {20, 20}, {0, 20}}), {2, 8}, 0.2, 0.8, {4, 16}, 0);
  // K3 - K0 horizontal: s runs along x now, so (2, 8) has s = 0.2, t = 0.8.
  ExpectConverts(Make({{0, 0}, {0, 10}, {10, 10}, {10, 0}}, {{0, 0}, {0, 20}, {20, 20}, {20, 0}}), {2, 8},
                 0.8, 0.2, {4, 16}, 1e-13);
  // A corner pulled in: a negative leading coefficient, and (4.5, 4.5) sits at (0.5, 0.5).
  ExpectConverts(Make({{0, 0}, {10, 0}, {8, 8}, {0, 10}}, square), {4.5, 4.5}, 0.5, 0.5, {5, 5}, 1e-13);
  // Turned by 1e-13: s must come from the y equation, whose coefficient is 10, not the x one (1e-12).
  const double c = std::cos(1e-13), sn = std::sin(1e-13);
  std::vector<Pt> tilted;
  for (const Pt& p : square) tilted.push_back({p.x * c - p.y * sn, p.x * sn + p.y * c});
  ExpectConverts(Make(tilted, square), {2 * c - 8 * sn, 2 * sn + 8 * c}, 0.2, 0.8, {2, 8}, 1e-14);

  // Three corners: record 2 is ignored until set, and again after Set2Valid(false).
  Probe three;
  three.SetScaler(0, 0, 0, 100, 100);
  three.SetScaler(1, 10, 0, 100, 120);  // system 2 turned a quarter and doubled
  three.SetScaler(3, 0, 10, 80, 100);
  EXPECT_FALSE(three.Is2Valid());
  ExpectConverts(three, {3, 4}, 0.3, 0.4, {92, 106}, 1e-13);
  double x, y;
  three.SetScaler(2, 55, -3, 7, NAN);
  EXPECT_TRUE(three.Is2Valid() && !three.toCS2(3, 4, x, y));  // a concave frame in system 1
  three.Set2Valid(false);
  three.SetScaler(-1, 1, 2, 3, 4), three.SetScaler(4, 1, 2, 3, 4);  // no such records: ignored
  ExpectConverts(three, {3, 4}, 0.3, 0.4, {92, 106}, 1e-13);
  EXPECT_EQ(three.GetScaler(4), nullptr);
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
    EXPECT_FALSE(cc.toCS2(1, 1, x, y) || cc.GetK1(1, 1, t, s)) << i;
    EXPECT_TRUE(x == 7 && y == 7 && t == 7 && s == 7) << i;
    EXPECT_TRUE(cc.toCS1(1, 1, x, y)) << i;  // the square converts into any target
  }
  // A new object; three corners on a line (corner 2 off it, but ignored).
  double x = 7, y = 7;
  Probe three = Make({{0, 0}, {5, 5}, {99, 0}, {10, 10}}, {{0, 0}, {1, 0}, {0, 0}, {0, 1}});
  three.Set2Valid(false);
  EXPECT_FALSE(CCoordConvert().toCS1(0, 0, x, y) || three.toCS2(1, 2, x, y));
  EXPECT_TRUE(three.toCS1(1, 2, x, y) && x == 25 && y == 25);

  // Along K0 + lambda w, the discriminant is 10000 + 1600 lambda: below
  // lambda = -6.25 nothing maps to the point; above it something does.
  Probe kite = Make({{0, 0}, {10, 0}, {12, 12}, {0, 10}}, square);
  x = y = 7;
  EXPECT_FALSE(kite.toCS2(-20, -20, x, y) || kite.toCS2(NAN, 1, x, y));
  EXPECT_TRUE(x == 7 && y == 7 && kite.toCS2(-5, -5, x, y));
}

// Random strictly convex frames in both systems: toCS2 lands on the same
// parameters in system 2, and toCS1(toCS2(p)) = p within 1e-9 of the frame's
// extent, inside the frame and in a margin of a quarter of it wherever the
// mapping stays one-to-one.
TEST(CoordConvertTest, RandomConvexFramesRoundTrip) {
  std::mt19937_64 rng(20);
  std::uniform_real_distribution<double> unit(0, 1);
  // A unit square with its corners moved by up to 0.2 on each axis (always
  // convex), or a (nearly) parallelogram, under a random affine map: turned,
  // stretched, maybe mirrored, at any scale and far from the origin.
  const auto frame = [&](int round) {
    std::vector<Pt> c = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (Pt& p : c) p.x += 0.4 * unit(rng) - 0.2, p.y += 0.4 * unit(rng) - 0.2;
    if (round % 5 == 0) c[2] = {c[1].x + c[3].x - c[0].x + (round % 10 ? 1e-9 : 0), c[1].y + c[3].y - c[0].y};
    const double scale = std::pow(10.0, -3 + 9 * unit(rng)), turn = 6.283185307179586 * unit(rng);
    const double ax = scale * (0.5 + unit(rng)), ay = scale * (0.5 + unit(rng)) * (unit(rng) < 0.5 ? 1 : -1);
    const double ox = (unit(rng) - 0.5) * 1e3 * scale, oy = (unit(rng) - 0.5) * 1e3 * scale;
    for (Pt& p : c) {
      const double x = ax * p.x, y = ay * p.y;
      p = {ox + x * std::cos(turn) - y * std::sin(turn), oy + x * std::sin(turn) + y * std::cos(turn)};
    }
    return std::make_pair(c, 2 * scale);
  };
  // Whether the Jacobian keeps one sign over [-m, 1 + m]^2 (it is affine in s and t).
  const auto oneToOne = [](const std::vector<Pt>& c, double m) {
    int sign = 0;
    for (double s : {-m, 1 + m})
      for (double t : {-m, 1 + m}) {
        const Pt p = At(c, s, t), ps = At(c, s + 1e-6, t), pt = At(c, s, t + 1e-6);
        const int sj = (ps.x - p.x) * (pt.y - p.y) - (ps.y - p.y) * (pt.x - p.x) > 0 ? 1 : -1;
        if (sign && sj != sign) return false;
        sign = sj;
      }
    return true;
  };
  for (int round = 0; round < 400; ++round) {
    const auto [c1, extent1] = frame(round);
    const auto [c2, extent2] = frame(round + 1);
    Probe cc = Make(c1, c2);
    const double m = oneToOne(c1, 0.25) && oneToOne(c2, 0.25) ? 0.25 : 0.0;
    for (int k = 0; k < 25; ++k) {
      SCOPED_TRACE(testing::Message() << "round " << round << " sample " << k);
      const double s = -m + (1 + 2 * m) * unit(rng), t = -m + (1 + 2 * m) * unit(rng);
      double x, y, X, Y;
      ASSERT_TRUE(cc.toCS2(At(c1, s, t).x, At(c1, s, t).y, x, y) && cc.toCS1(x, y, X, Y));
      EXPECT_NEAR(x, At(c2, s, t).x, 1e-9 * extent2);
      EXPECT_NEAR(y, At(c2, s, t).y, 1e-9 * extent2);
      EXPECT_NEAR(X, At(c1, s, t).x, 1e-9 * extent1);
      EXPECT_NEAR(Y, At(c1, s, t).y, 1e-9 * extent1);
    }
    // The same frames with three corners: the parallelogram of 0, 1 and 3, anywhere.
    cc.Set2Valid(false);
    const double s = unit(rng) * 2 - 0.5, t = unit(rng) * 2 - 0.5;
    double x, y, X, Y;
    ASSERT_TRUE(cc.toCS2(At(c1, s, t, false).x, At(c1, s, t, false).y, x, y) && cc.toCS1(x, y, X, Y));
    EXPECT_NEAR(X, At(c1, s, t, false).x, 1e-9 * extent1);
    EXPECT_NEAR(Y, At(c1, s, t, false).y, 1e-9 * extent1);
  }
}

}  // namespace
