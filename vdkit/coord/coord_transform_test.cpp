#include "vdkit/coord/coord_transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "vdkit/numeric/linear.h"

namespace {

using Scaler = CCoordTransform::Scaler;

// Control points at the system-2 positions given, mapped to system 1 by f.
template <class F>
std::vector<Scaler> Points(const std::vector<std::pair<double, double>>& sys2, F f) {
  std::vector<Scaler> out;
  for (const auto& q : sys2) {
    double X, Y;
    f(q.first, q.second, X, Y);
    out.push_back({X, Y, q.first, q.second});
  }
  return out;
}

// The six fields against {X0, Y0, sin, cos, kx, ky}.
void ExpectFields(const CCoordTransform& tr, const std::vector<double>& f, double tol) {
  const double got[] = {tr.m_dX0, tr.m_dY0, tr.m_dSin, tr.m_dCos, tr.m_dKx, tr.m_dKy};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], f[i], tol) << "field " << i;
}

// Failed fits keep the transform they found: never zero scales or rotation
// terms, never NaN answered as true. A pair exactly sqrt(50) apart says
// nothing to Scale and to the rotation pass of ScaleEx; just beyond, it does.
TEST(CoordTransformTest, FailedFitsKeepThePreviousTransform) {
  std::string gaussj;
  const GaussjMessageHandler saved = SetGaussjMessageHandler([&](const char* line) { gaussj += line; });
  CCoordTransform good;
  good.m_dX0 = 5, good.m_dY0 = -5, good.m_dSin = 0.6, good.m_dCos = 0.8, good.m_dKx = 2, good.m_dKy = 3;
  const std::vector<Scaler> shift = {{1, 0, 0, 0}, {31, 0, 30, 0}};
  // Squared distances 50, 50, 20; ScaleEx's scale pass takes both 50-pairs (kx = ky = 1 exactly).
  const std::vector<Scaler> at = {{0, 0, 0, 0}, {5, 5, 5, 5}, {1, 7, 1, 7}},
                            beyond = {{0, 0, 0, 0}, {5, 5.0001, 5, 5.0001}, {1, 7.0001, 1, 7.0001}};
  const std::vector<Scaler> coincident1 = {{7, 7, 0, 0}, {7, 7, 30, 0}, {7, 7, 0, 30}};
  const std::vector<Scaler> coincident2 = {{0, 0, 1, 1}, {30, 0, 1, 1}, {0, 30, 1, 1}};
  const std::vector<Scaler> collinear = {{0, 0, 0, 0}, {20, 20, 10, 10}, {40, 40, 20, 20}};
  // c1 < 0: rows (100, 0) -> 400 and (100, 100) -> 225.
  const std::vector<Scaler> negative = {{0, 0, 0, 0}, {20, 0, 10, 0}, {15, 0, 10, 10}};
  const std::vector<Scaler> withNan = {{0, 0, 0, 0}, {NAN, 0, 10, 0}, {0, 30, 0, 30}};
  const struct {
    const std::vector<Scaler>* pts;
    int n;
    bool scale, scaleEx;
  } cases[] = {{&shift, 2, false, false},       {&shift, 0, false, false},    {&coincident1, 3, false, false},
               {&coincident2, 3, false, false}, {&collinear, 3, true, false}, {&negative, 3, true, false},
               {&withNan, 3, false, false},     {&at, 3, false, false},       {&beyond, 3, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    CCoordTransform tr = good;
    EXPECT_EQ(tr.Scale(c.pts->data(), c.n), c.scale);
    if (!c.scale) ExpectFields(tr, {5, -5, 0.6, 0.8, 2, 3}, 0);
    tr = good;
    EXPECT_EQ(tr.ScaleEx(c.pts->data(), c.n), c.scaleEx);
    if (!c.scaleEx) ExpectFields(tr, {5, -5, 0.6, 0.8, 2, 3}, 0);
  }
  EXPECT_NE(gaussj.find("Gaussj error"), std::string::npos);  // the collinear fit was singular
  SetGaussjMessageHandler(saved);
  double x, y;  // a new transform is the identity
  EXPECT_TRUE(!good.Scale(nullptr, 3) && CCoordTransform().toCS2(3, 4, x, y) && x == 3 && y == 4);
  // Transforms without an inverse: toCS2 answers false and writes nothing.
  for (const auto& f : {std::vector<double>{0, 0, 1, 1}, {1, 0, 0, 1}, {0, 1, 1, 0}, {NAN, 0, 1, 1}}) {
    good.m_dSin = f[0], good.m_dCos = f[1], good.m_dKx = f[2], good.m_dKy = f[3];
    EXPECT_FALSE(good.toCS2(1, 1, x, y));
    EXPECT_TRUE(x == 3 && y == 4);
  }
}

// Random rotations, scales and offsets from exact control points: both fits
// reproduce them (Scale puts the common scale in sin and cos), and toCS2
// inverts toCS1 for any fields, pure rotation or not.
TEST(CoordTransformTest, RandomTransformsAreRecoveredAndInverted) {
  std::mt19937_64 rng(81);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const double angle = 6.283185307179586 * unit(rng), k = std::pow(10.0, 2 * unit(rng) - 1);
    const double kx = k * (0.5 + unit(rng)), ky = k * (0.5 + unit(rng)), cs = std::cos(angle),
                 sn = std::sin(angle);
    const double X0 = 1e6 * (unit(rng) - 0.5), Y0 = 1e6 * (unit(rng) - 0.5);
    // Three corners of a square keep the single-precision scale fit well conditioned.
    std::vector<std::pair<double, double>> sys2 = {{0, 0}, {2000, 0}, {0, 2000}};
    const int n = 3 + round % 8;
    while (int(sys2.size()) < n) sys2.push_back({2000 * unit(rng), 2000 * unit(rng)});
    auto pts = Points(sys2, [&](double u, double v, double& X, double& Y) {
      X = k * (u * cs + v * sn) + X0, Y = k * (v * cs - u * sn) + Y0;
    });
    CCoordTransform tr;
    ASSERT_TRUE(tr.Scale(pts.data(), n));
    ExpectFields(tr, {X0, Y0, k * sn, k * cs, 1, 1}, 1e-6);
    pts = Points(sys2, [&](double u, double v, double& X, double& Y) {
      X = u * cs * kx + v * sn * ky + X0, Y = v * cs * ky - u * sn * kx + Y0;
    });
    ASSERT_TRUE(tr.ScaleEx(pts.data(), n));
    EXPECT_NEAR(tr.m_dKx / kx, 1, 1e-3);
    EXPECT_NEAR(tr.m_dKy / ky, 1, 1e-3);
    EXPECT_TRUE(std::fabs(tr.m_dCos - cs) < 2e-3 && std::fabs(tr.m_dSin - sn) < 2e-3);

    // Any fields at all: sin^2 + cos^2 anywhere from 0.01 to 50.
    tr.m_dSin = 10 * (unit(rng) - 0.5), tr.m_dCos = 10 * (unit(rng) - 0.5) + 0.1, tr.m_dKy = -ky;
    const double px = 1e4 * (unit(rng) - 0.5), py = 1e4 * (unit(rng) - 0.5);
    double X, Y, x, y;
    ASSERT_TRUE(tr.toCS1(px, py, X, Y) && tr.toCS2(X, Y, x, y));
    const double r2 = tr.m_dSin * tr.m_dSin + tr.m_dCos * tr.m_dCos;
    const double tol =
        1e-13 * (std::fabs(X) + std::fabs(Y) + std::fabs(X0) + std::fabs(Y0)) / (std::min(kx, ky) * r2);
    EXPECT_TRUE(std::fabs(x - px) < tol && std::fabs(y - py) < tol) << x - px << " " << y - py;
  }
}

}  // namespace
