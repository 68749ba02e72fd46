#include "vdkit/geometry/predicates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Polygon {
  std::vector<SFloat2D> pts;
  std::vector<float> xs, ys;
  std::vector<int> ixs, iys;
  explicit Polygon(std::vector<SFloat2D> p) : pts(std::move(p)) {
    for (const SFloat2D& v : pts)
      xs.push_back(v.x), ys.push_back(v.y), ixs.push_back(int(v.x)), iys.push_back(int(v.y));
  }
  int n() const { return static_cast<int>(pts.size()); }
  bool Aos(float x, float y) const { return PtInRgn(SFloat2D{x, y}, pts.data(), n()); }
  bool Soa(float x, float y) const { return PtInRgn(x, y, xs.data(), ys.data(), n()); }
  bool Int(int x, int y) const { return PtInRgn(x, y, ixs.data(), iys.data(), n()); }
};

TEST(PtInRgnTest, SquareRepeatedVertexAndFewVertices) {
  const Polygon square({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const Polygon repeated({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
  const Polygon nearRepeat({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0.0005f, 0}});
  // {x, y, inside}: the left edge counts in, the right edge out.
  const int cases[][3] = {{0, 5, 1}, {10, 5, 0}, {5, 0, 1}, {5, 10, 1}, {0, 0, 1}, {10, 10, 0}, {11, 5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c[0] << ", " << c[1] << ")");
    for (const Polygon* p : {&square, &repeated, &nearRepeat}) {
      EXPECT_EQ(p->Aos(float(c[0]), float(c[1])), c[2] == 1);
      EXPECT_EQ(p->Soa(float(c[0]), float(c[1])), c[2] == 1);
    }
    EXPECT_EQ(square.Int(c[0], c[1]), c[2] == 1);
    EXPECT_EQ(repeated.Int(c[0], c[1]), c[2] == 1);
  }
  // Integers drop only an exact repeat, floats one within 0.001: a kept fifth vertex flips x = 0.
  EXPECT_FALSE(Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {1, 0}}).Int(0, 5));
  EXPECT_FALSE(Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0.002f, 0}}).Soa(0, 5));
  // Fewer than three vertices: true for floats, false for integers; no array read.
  EXPECT_TRUE(PtInRgn(SFloat2D{99, 99}, nullptr, 0) && PtInRgn(99.f, 99.f, nullptr, nullptr, -4));
  EXPECT_FALSE(PtInRgn(99, 99, nullptr, nullptr, 2));
  const Polygon twoWithRepeat({{0, 0}, {10, 10}, {0, 0}});
  EXPECT_TRUE(twoWithRepeat.Aos(99, 99) && twoWithRepeat.Soa(99, 99));
  EXPECT_FALSE(twoWithRepeat.Int(5, 5));
}

// Random polygons on a small grid (shared x, vertical edges, points on vertices and edges), sizes
// around the 64-vertex steps: every vector width answers as the scalar walk pinned above.
TEST(PtInRgnTest, EveryVectorWidthAgreesWithTheScalarWalk) {
  const int saved = detail::SetPtInRgnVectorLimit(0);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> grid(-12, 12);
  for (int n : {3, 5, 63, 64, 65, 129}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<SFloat2D> pts;
      for (int i = 0; i < n; ++i) pts.push_back({float(grid(rng)), float(grid(rng))});
      if (round % 4 == 0) pts.push_back(pts[0]);  // an explicit closing vertex
      const Polygon p(pts);
      for (int k = 0; k < 40; ++k) {
        const int ix = grid(rng) + (k % 3 == 0), iy = grid(rng);
        const float fx = float(ix) + (k % 2 ? 0.5f : 0.f), fy = float(iy) + (k % 5 == 0 ? 0.25f : 0.f);
        std::vector<bool> scalar;
        for (int limit : {0, 1, 2}) {
          detail::SetPtInRgnVectorLimit(limit);
          const std::vector<bool> got = {p.Aos(fx, fy), p.Soa(fx, fy), p.Int(ix, iy)};
          if (limit == 0) scalar = got;
          ASSERT_TRUE(got == scalar && got[0] == got[1])
              << "limit " << limit << " n " << n << " point " << fx << ", " << fy;
        }
      }
    }
  }
  detail::SetPtInRgnVectorLimit(saved);
}

TEST(PtInRgnTest, IntegerEdgesAcrossTheWholeRangeDoNotWrap) {
  const int xs[] = {-2000000000, 2000000000, 0};
  const int ys[] = {-2000000000, -2000000000, 2000000000};
  EXPECT_TRUE(PtInRgn(0, 0, xs, ys, 3));
  EXPECT_TRUE(PtInRgn(-999999999, -1, xs, ys, 3));
  EXPECT_FALSE(PtInRgn(-1000000001, 1, xs, ys, 3));  // just left of the edge y = 2x + 2e9
  EXPECT_TRUE(PtInRgn(-1000000000, 0, xs, ys, 3));   // on it
}

TEST(PtAtLineTest, IntegerFormSpanningTheWholeRangeDoesNotWrap) {
  EXPECT_TRUE(PtAtLine(0, 1, -2000000000, 0, 2000000000, 0, 1));
  EXPECT_FALSE(PtAtLine(0, 2, -2000000000, 0, 2000000000, 0, 1));
  EXPECT_TRUE(PtAtLine(7, 7, -2000000000, -2000000000, 2000000000, 2000000000, 0));
  EXPECT_FALSE(PtAtLine(2000000000, -2000000000, -2000000000, 0, 2000000000, 0, 46340));
  const int xs[] = {-2000000000, 2000000000}, ys[] = {2000000000, -2000000000};
  EXPECT_EQ(PtAtPolyline(2000000000, 2000000000, xs, ys, 2, 5), -1);  // 2^32 and more from both vertices
  EXPECT_EQ(PtAtPolyline(1, 1, xs, ys, 2, 2), 0);                     // foot (0, 0), 2 <= 4
  EXPECT_EQ(PtAtPolyline(1, 1, xs, ys, 2, 1), -1);
}

TEST(PtAtPolylineTest, VerticesFirstInIntegerFormsSegmentsOnlyInFloatForms) {
  // A zigzag whose last vertex lies on the first segment.
  const int xs[] = {0, 10, 10, 5}, ys[] = {0, 0, 10, 0};
  const POINT pts[] = {{0, 0}, {10, 0}, {10, 10}, {5, 0}};
  const float fxs[] = {0, 10, 10, 5}, fys[] = {0, 0, 10, 0};
  const SFloat2D fpts[] = {{0, 0}, {10, 0}, {10, 10}, {5, 0}};
  // {x, y, tol, integer index, float index}
  const int cases[][5] = {
      {10, 0, 0, 1, 0},    // vertex 1; a float form finds it on segment 0 first
      {10, 5, -1, 1, 1},   // middle of the second segment, negative tol
      {5, 0, 0, 3, 0},     // on vertex 3, which also lies on segment 0
      {12, 5, 1, -1, -1},  // 2 off every segment
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c[0] << ", " << c[1] << ") tol " << c[2]);
    EXPECT_EQ(PtAtPolyline(c[0], c[1], xs, ys, 4, c[2]), c[3]);
    EXPECT_EQ(PtAtPolyline(POINT{c[0], c[1]}, pts, 4, c[2]), c[3]);
    EXPECT_EQ(PtAtPolyline(float(c[0]), float(c[1]), fxs, fys, 4, float(c[2])), c[4]);
    EXPECT_EQ(PtAtPolyline(SFloat2D{float(c[0]), float(c[1])}, fpts, 4, float(c[2])), c[4]);
  }
  EXPECT_EQ(PtAtPolyline(0, 0, xs, ys, 1, 100), -1);  // one vertex: no segment
  // The most negative tol has no 32-bit absolute value; its square covers everything here.
  EXPECT_EQ(PtAtPolyline(1000, 1000, xs, ys, 4, INT32_MIN), 0);
}

TEST(TwoLineCrossTest, CrossingTouchingAndCollinearInEveryForm) {
  // {a, b, c, d, closed eight-int answer, open answer of the other forms}
  const int cases[][10] = {
      {0, 0, 3, 1, 0, 1, 3, 0, 1, 1},        // crossing at (1.5, 0.5)
      {0, 0, 10, 0, 10, 0, 10, 10, 1, 0},    // end to end: only the closed range accepts it
      {0, 0, 10, 0, 5, 0, 5, 10, 1, 0},      // an end on the other's inside
      {0, 0, 10, 0, 5, 0, 15, 0, 0, 0},      // collinear overlapping
      {0, 0, 10, 10, 10, 10, 20, 20, 0, 0},  // collinear touching
      {0, 0, 10, 0, 0, 1, 10, 1, 0, 0},      // parallel
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case starting " << c[0] << ", " << c[1] << ", " << c[2]);
    int x = -77, y = -77;
    POINT p = {-77, -77};
    SFloat2D f = {-77, -77};
    EXPECT_EQ(TwoLineCross(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], &x, &y), c[8] == 1);
    EXPECT_EQ(TwoLineCross(POINT{c[0], c[1]}, POINT{c[2], c[3]}, POINT{c[4], c[5]}, POINT{c[6], c[7]}, &p),
              c[9] == 1);
    EXPECT_EQ(TwoLineCross(SFloat2D{float(c[0]), float(c[1])}, SFloat2D{float(c[2]), float(c[3])},
                           SFloat2D{float(c[4]), float(c[5])}, SFloat2D{float(c[6]), float(c[7])}, &f),
              c[9] == 1);
    EXPECT_TRUE(c[8] == 1 || x == -77);  // failure writes nothing
    EXPECT_TRUE(c[9] == 1 || (p.x == -77 && f.y == -77));
    EXPECT_TRUE(c[9] == 0 || (x == 2 && y == 1 && p.x == 2 && p.y == 1 && f.x == 1.5f && f.y == 0.5f));
  }
  int x = 0, y = 0;  // the touching point of the closed form
  EXPECT_TRUE(TwoLineCross(0, 0, 10, 0, 10, 0, 10, 10, &x, &y) && x == 10 && y == 0);
  // Null outputs: the test is made, nothing written.
  EXPECT_TRUE(TwoLineCross(0, 0, 10, 10, 0, 10, 10, 0, nullptr, &y) && y == 5);
  EXPECT_TRUE(TwoLineCross(0.f, 0.f, 10.f, 10.f, 0.f, 10.f, 10.f, 0.f, nullptr, nullptr));
}

TEST(TwoLineCrossTest, IntegerFormsAcrossTheWholeRangeDoNotWrap) {
  const int m = 2000000000;
  int x = -1, y = -1;
  EXPECT_TRUE(TwoLineCross(-m, -m, m, m, -m, m, m, -m, &x, &y));
  EXPECT_TRUE(x == 0 && y == 0);
  POINT p{};
  EXPECT_TRUE(TwoLineCross(POINT{-m, 0}, POINT{m, 0}, POINT{1, -m}, POINT{1, m}, &p));
  EXPECT_TRUE(p.x == 1 && p.y == 0);
  EXPECT_FALSE(TwoLineCross(-m, 0, m, 0, -m, 1, m, 1, nullptr, nullptr));  // parallel stays parallel
  EXPECT_TRUE(TwoLineCross(-m, -m, m, m, m, -m, m - 1, m, &x, &y));  // crosses just below the far corner
  EXPECT_TRUE(x == m - 1 && y == m - 1);
}

TEST(TwoLineCrossTest, AngleFormAnswers) {
  const float pi = 3.14159265358979f;
  float x = 0, y = 0;
  TwoLineCross(pi / 2, 7.f, 9.f, 0.000001f, 1.f, 2.f, &x, &y);  // vertical; a slope below 1e-5 is flat
  EXPECT_TRUE(x == 7.f && y == 2.f);
  TwoLineCross(pi / 4, 0.f, 0.f, 3 * pi / 4, 10.f, 0.f, &x, &y);
  EXPECT_TRUE(std::fabs(x - 5.f) < 1e-4 && std::fabs(y - 5.f) < 1e-4);
  // Equal slopes: the first line's point, finite, instead of a division by zero.
  TwoLineCross(0.5f, 1.f, 2.f, 0.5f, 7.f, 9.f, &x, &y);
  EXPECT_TRUE(x == 1.f && y == 2.f);
  TwoLineCross(pi / 2, 3.f, 4.f, pi / 2, 8.f, 4.f, &x, &y);  // two vertical lines
  EXPECT_TRUE(x == 3.f && y == 4.f);
  TwoLineCross(0.5f, 1.f, 2.f, 0.7f, 7.f, 9.f, nullptr, nullptr);  // nothing to write, no crash
}

TEST(GetRectHandleTest, GripsInteriorAndSizes) {
  const RECT rc = {0, 0, 100, 50};
  const int cases[][4] = {
      // {x, y, size, grip}: corners and edge middles 0..7 clockwise, 8 inside.
      {0, 0, 6, 0},    {50, 0, 6, 1},  {100, 0, 6, 2},  {100, 25, 6, 3},  {100, 50, 6, 4},
      {50, 50, 6, 5},  {0, 50, 6, 6},  {0, 25, 6, 7},   {50, 25, 6, 8},   {200, 25, 6, -1},
      {2, 0, 6, 0},    {3, 0, 6, 1},  // the corner covers -3 <= x < 3, the edge grip 3 <= x < 97
      {-3, -3, 6, 0},  {-4, 0, 6, -1}, {102, 52, 6, 4}, {103, 52, 6, -1}, {3, 3, 6, 8},
      {0, 0, 0, 8},    {99, 49, 0, 8}, {100, 0, 0, -1}, {-1, 0, 0, -1},  // size 0: only the interior
      {-3, -3, -5, 8},                                                   // -5 / 2 rounds down to -3
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c[0] << ", " << c[1] << ") size " << c[2]);
    EXPECT_EQ(GetRectHandle(rc, POINT{c[0], c[1]}, c[2]), c[3]);
  }
}

TEST(GetRectHandleTest, HugeRectanglesDoNotWrap) {
  const int m = 2000000000;
  const RECT rc = {-m, -m, m, m};
  EXPECT_EQ(GetRectHandle(rc, POINT{0, -m}, 6), 1);
  EXPECT_EQ(GetRectHandle(rc, POINT{m, 0}, 6), 3);
  EXPECT_EQ(GetRectHandle(rc, POINT{0, 0}, INT32_MIN), 8);
  const RECT right = {m, 0, m + 100000000, 10};
  EXPECT_EQ(GetRectHandle(right, POINT{m + 50000000, 0}, 2), 1);
}

}  // namespace
