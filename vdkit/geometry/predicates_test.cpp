#include "vdkit/geometry/predicates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// ---- PtInRgn ----------------------------------------------------------------------------

struct Polygon {
  std::vector<SFloat2D> pts;
  std::vector<float> xs, ys;
  std::vector<int> ixs, iys;
  explicit Polygon(std::vector<SFloat2D> p) : pts(std::move(p)) {
    for (const SFloat2D& v : pts) {
      xs.push_back(v.x);
      ys.push_back(v.y);
      ixs.push_back(static_cast<int>(v.x));
      iys.push_back(static_cast<int>(v.y));
    }
  }
  int n() const { return static_cast<int>(pts.size()); }
  bool Aos(float x, float y) const { return PtInRgn(SFloat2D{x, y}, pts.data(), n()); }
  bool Soa(float x, float y) const { return PtInRgn(x, y, xs.data(), ys.data(), n()); }
  bool Int(int x, int y) const { return PtInRgn(x, y, ixs.data(), iys.data(), n()); }
};

// The rule written out step by step, as plainly as it reads: the oracle for
// the vectorised walk of the library.
template <class T, class Ordinate>
bool ReferencePtInRgn(T x, T y, std::vector<T> xs, std::vector<T> ys, bool floatForm, Ordinate ordinate) {
  int n = static_cast<int>(xs.size());
  if (n < 3) return floatForm;
  const bool repeat = floatForm ? std::fabs(double(xs[0]) - xs[n - 1]) < 0.0010000000474974513 &&
                                      std::fabs(double(ys[0]) - ys[n - 1]) < 0.0010000000474974513
                                : xs[0] == xs[n - 1] && ys[0] == ys[n - 1];
  if (repeat) --n;
  if (n < 3) return floatForm;
  const T minx = *std::min_element(xs.begin(), xs.begin() + n),
          maxx = *std::max_element(xs.begin(), xs.begin() + n);
  const T miny = *std::min_element(ys.begin(), ys.begin() + n),
          maxy = *std::max_element(ys.begin(), ys.begin() + n);
  if (x < minx || x > maxx || y < miny || y > maxy) return false;
  int above = 0, below = 0;
  for (int i = 1; i <= n; ++i) {
    const T x1 = xs[i - 1], y1 = ys[i - 1], x2 = xs[i % n], y2 = ys[i % n];
    if (!(std::min(x1, x2) <= x && x < std::max(x1, x2))) continue;
    const auto yc = ordinate(x, x1, y1, x2, y2);
    if (yc == y) return true;
    if (yc > y) ++above;
    if (yc < y) ++below;
  }
  return above % 2 == 1 && below % 2 == 1;
}

bool ReferenceFloat(float x, float y, const Polygon& p) {
  return ReferencePtInRgn<float>(x, y, p.xs, p.ys, true,
                                 [](double px, double x1, double y1, double x2, double y2) {
                                   return y1 + (px - x1) * (y2 - y1) / (x2 - x1);
                                 });
}

bool ReferenceInt(int x, int y, const Polygon& p) {
  return ReferencePtInRgn<int>(x, y, p.ixs, p.iys, false, [](int px, int x1, int y1, int x2, int y2) {
    return y1 + MulDiv(y2 - y1, px - x1, x2 - x1);
  });
}

const Polygon kSquare({{0, 0}, {10, 0}, {10, 10}, {0, 10}});

TEST(PtInRgnTest, SquareInEveryForm) {
  struct Case {
    int x, y;
    bool inside;
  };
  const Case cases[] = {
      {0, 5, true},                    // on the left vertical edge: the parity counts it in
      {10, 5, false},                  // on the right vertical edge: out
      {5, 0, true},                    // on the bottom edge
      {5, 10, true},                   // on the top edge
      {5, 5, true},   {11, 5, false},  // outside the box
      {0, 0, true},   {10, 10, false}, {0, 10, true}, {-1, 5, false}, {5, -1, false}, {5, 11, false},
  };
  const Polygon repeated({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
  const Polygon nearRepeat({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0.0005f, 0}});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
    const float fx = static_cast<float>(c.x), fy = static_cast<float>(c.y);
    for (const Polygon* p : {&kSquare, &repeated, &nearRepeat}) {
      EXPECT_EQ(p->Aos(fx, fy), c.inside);
      EXPECT_EQ(p->Soa(fx, fy), c.inside);
    }
    EXPECT_EQ(kSquare.Int(c.x, c.y), c.inside);
    EXPECT_EQ(repeated.Int(c.x, c.y), c.inside);
  }
  // The integer form drops only an exact repeat: (1, 0) is a real fifth vertex,
  // whose two short edges change the parity on the line x = 0.
  const Polygon intNear({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {1, 0}});
  EXPECT_FALSE(intNear.Int(0, 5));
  // Just outside the float tolerance the fifth vertex stays, with the same effect.
  const Polygon floatFar({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0.002f, 0}});
  EXPECT_FALSE(floatFar.Aos(0, 5));
  EXPECT_FALSE(floatFar.Soa(0, 5));
}

TEST(PtInRgnTest, FewVerticesAnswerTrueForFloatsAndFalseForIntegers) {
  EXPECT_TRUE(PtInRgn(SFloat2D{99, 99}, nullptr, 0));  // no array is read
  EXPECT_TRUE(PtInRgn(99.f, 99.f, nullptr, nullptr, -4));
  EXPECT_FALSE(PtInRgn(99, 99, nullptr, nullptr, 2));
  const Polygon two({{0, 0}, {10, 10}});
  EXPECT_TRUE(two.Aos(99, 99));
  EXPECT_TRUE(two.Soa(99, 99));
  EXPECT_FALSE(two.Int(5, 5));
  const Polygon threeWithRepeat({{0, 0}, {10, 10}, {0, 0}});
  EXPECT_TRUE(threeWithRepeat.Aos(99, 99));
  EXPECT_TRUE(threeWithRepeat.Soa(99, 99));
  EXPECT_FALSE(threeWithRepeat.Int(5, 5));
  const Polygon triangle({{0, 0}, {10, 0}, {0, 10}});
  EXPECT_TRUE(triangle.Int(2, 2));
  EXPECT_FALSE(triangle.Int(8, 8));
}

// Random polygons on a small grid, so that vertices share x coordinates,
// edges are vertical and points land on vertices and edges; sizes on both
// sides of the 64-vertex steps of the vector walk, at every vector width.
TEST(PtInRgnTest, AgreesWithTheStepByStepRuleOnRandomPolygons) {
  for (int limit : {2, 1, 0}) {
    const int saved = detail::SetPtInRgnVectorLimit(limit);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> grid(-12, 12);
    for (int n : {3, 4, 5, 7, 63, 64, 65, 127, 128, 129, 200}) {
      for (int round = 0; round < 30; ++round) {
        std::vector<SFloat2D> pts;
        for (int i = 0; i < n; ++i) pts.push_back({float(grid(rng)), float(grid(rng))});
        if (round % 4 == 0) pts.push_back(pts[0]);  // an explicit closing vertex
        const Polygon p(pts);
        for (int k = 0; k < 50; ++k) {
          const int ix = grid(rng) + (k % 3 == 0 ? 1 : 0), iy = grid(rng);
          // Integer points, then half steps, which fall between the grid lines.
          const float fx = float(ix) + (k % 2 ? 0.5f : 0.f), fy = float(iy) + (k % 5 == 0 ? 0.25f : 0.f);
          SCOPED_TRACE(testing::Message() << "limit " << limit << " n " << n << " round " << round
                                          << " point " << fx << ", " << fy);
          const bool expected = ReferenceFloat(fx, fy, p);
          ASSERT_EQ(p.Aos(fx, fy), expected);
          ASSERT_EQ(p.Soa(fx, fy), expected);
          ASSERT_EQ(p.Int(ix, iy), ReferenceInt(ix, iy, p));
        }
      }
    }
    detail::SetPtInRgnVectorLimit(saved);
  }
}

TEST(PtInRgnTest, ReversedOrderAndLargeOffsetsGiveTheSameAnswers) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> grid(-30, 30);
  const int offsets[][2] = {{0, 0}, {1 << 20, -(1 << 20)}, {2000000000, -2000000000}};
  for (int round = 0; round < 200; ++round) {
    const int n = 3 + round % 70;
    std::vector<SFloat2D> pts;
    for (int i = 0; i < n; ++i) pts.push_back({float(grid(rng)), float(grid(rng))});
    std::vector<SFloat2D> reversed(pts.rbegin(), pts.rend());
    const Polygon p(pts), r(reversed);
    for (int k = 0; k < 30; ++k) {
      const int x = grid(rng), y = grid(rng);
      const float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
      // Half steps: a point exactly on an edge has an ordinate that both ends
      // of the edge compute exactly, and any other is far from a tie.
      const bool f = p.Aos(fx, fy);
      ASSERT_EQ(r.Aos(fx, fy), f);
      ASSERT_EQ(r.Soa(fx, fy), f);
      const bool i = p.Int(x, y);
      for (const auto& o : offsets) {
        std::vector<int> xs(p.ixs), ys(p.iys);
        for (int& v : xs) v += o[0];
        for (int& v : ys) v += o[1];
        ASSERT_EQ(PtInRgn(x + o[0], y + o[1], xs.data(), ys.data(), n), i);
        if (o[0] == (1 << 20)) {
          // Float coordinates near 2^20 keep halves exactly.
          std::vector<SFloat2D> moved(pts);
          for (SFloat2D& v : moved) v = {v.x + float(o[0]), v.y + float(o[1])};
          ASSERT_EQ(PtInRgn(SFloat2D{fx + float(o[0]), fy + float(o[1])}, moved.data(), n), f);
        }
      }
    }
  }
}

// The edge from B to A computes its ordinate at A's x as -1.455e-11, not 0,
// so a point just below A crosses it "below" and the edge A-C "above": odd
// and odd. Only the bounding box (min y = 0) keeps the point outside.
TEST(PtInRgnTest, BoundingBoxOutvotesARoundedOrdinate) {
  const Polygon p({{2143.69629f, 128125.32f}, {1e-7f, 0}, {1000, 200000}});
  EXPECT_FALSE(p.Aos(1e-7f, -1e-30f));
  EXPECT_FALSE(p.Soa(1e-7f, -1e-30f));
  EXPECT_FALSE(ReferenceFloat(1e-7f, -1e-30f, p));
  EXPECT_TRUE(p.Aos(1000, 100000));
}

// Edges spanning more than 2^31 in y: the ordinate is found at 64-bit width
// and more, where 32-bit differences would wrap (docs/compatibility.md).
TEST(PtInRgnTest, IntegerEdgesAcrossTheWholeRangeDoNotWrap) {
  const int xs[] = {-2000000000, 2000000000, 0};
  const int ys[] = {-2000000000, -2000000000, 2000000000};
  EXPECT_TRUE(PtInRgn(0, 0, xs, ys, 3));
  EXPECT_TRUE(PtInRgn(-999999999, -1, xs, ys, 3));
  EXPECT_FALSE(PtInRgn(-1000000001, 1, xs, ys, 3));  // just left of the edge y = 2x + 2e9
  EXPECT_TRUE(PtInRgn(-1000000000, 0, xs, ys, 3));   // on it
}

// ---- PtAtLine and PtAtPolyline --------------------------------------------------------

TEST(PtAtLineTest, DistanceAndDominantAxisRangeInEveryForm) {
  struct Case {
    int x, y, x1, y1, x2, y2, tol;
    bool intHit, floatHit;
  };
  const Case cases[] = {
      {5, 2, 0, 0, 10, 0, 2, true, true},         // 2 off the middle
      {5, 2, 0, 0, 10, 0, 1, false, false},       //
      {5, 2, 0, 0, 10, 0, -2, true, true},        // the sign of tol does not matter
      {5, -2, 10, 0, 0, 0, 2, true, true},        // reversed segment, other side
      {11, 0, 0, 0, 10, 0, 1000, false, false},   // beyond an end along the segment
      {-1, 0, 0, 0, 10, 0, 1000, false, false},   //
      {10, 0, 0, 0, 10, 0, 0, true, true},        // the end itself, tol 0
      {3, 3, 3, 3, 3, 3, 5, false, false},        // coincident ends match nothing
      {11, 10, 0, 0, 10, 10, 1, true, true},      // |dx| == |dy|: the y range decides, and 10 is in it
      {10, 11, 0, 0, 10, 10, 1, false, false},    //
      {5, 0, 0, 0, 1, 3, 5, true, true},          // foot (0.5, 1.5) rounds up to (1, 2): 16 + 4 <= 25
      {-5, 0, 0, 0, -1, -3, 5, false, true},      // foot (-0.5, -1.5) rounds up to (0, -1): 25 + 1 > 25
      {1000, 0, 0, 0, 10, 100, 5, false, false},  // far from the line; t along y is 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") to (" << c.x1 << ", " << c.y1 << ")-("
                                    << c.x2 << ", " << c.y2 << ") tol " << c.tol);
    EXPECT_EQ(PtAtLine(c.x, c.y, c.x1, c.y1, c.x2, c.y2, c.tol), c.intHit);
    EXPECT_EQ(PtAtLine(POINT{c.x, c.y}, POINT{c.x1, c.y1}, POINT{c.x2, c.y2}, c.tol), c.intHit);
    EXPECT_EQ(
        PtAtLine(float(c.x), float(c.y), float(c.x1), float(c.y1), float(c.x2), float(c.y2), float(c.tol)),
        c.floatHit);
  }
  // The float form measures unrounded: 0.1 off a diagonal.
  EXPECT_TRUE(PtAtLine(5.1f, 5.f, 0.f, 0.f, 10.f, 10.f, 0.071f));
  EXPECT_FALSE(PtAtLine(5.1f, 5.f, 0.f, 0.f, 10.f, 10.f, 0.070f));
}

TEST(PtAtLineTest, RelationsHoldOnRandomSegments) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> grid(-50, 50);
  for (int k = 0; k < 20000; ++k) {
    const int x = grid(rng), y = grid(rng), x1 = grid(rng), y1 = grid(rng), x2 = grid(rng), y2 = grid(rng);
    const int tol = grid(rng) / 5;
    const bool hit = PtAtLine(x, y, x1, y1, x2, y2, tol);
    ASSERT_EQ(PtAtLine(POINT{x, y}, POINT{x1, y1}, POINT{x2, y2}, tol), hit);
    ASSERT_EQ(PtAtLine(x, y, x1, y1, x2, y2, -tol), hit);
    const int o = 1500000000;  // shifted far out: differences stay the same
    ASSERT_EQ(PtAtLine(x + o, y - o, x1 + o, y1 - o, x2 + o, y2 - o, tol), hit);
    const bool fhit =
        PtAtLine(float(x), float(y), float(x1), float(y1), float(x2), float(y2), float(tol) + 0.3f);
    ASSERT_EQ(PtAtLine(float(x) + 65536.f, float(y) - 65536.f, float(x1) + 65536.f, float(y1) - 65536.f,
                       float(x2) + 65536.f, float(y2) - 65536.f, float(tol) + 0.3f),
              fhit);
  }
}

// A segment longer than 2^31: its differences and squares do not fit in 32 bits.
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
  struct Case {
    int x, y, tol, intIndex, floatIndex;
  };
  const Case cases[] = {
      {10, 0, 0, 1, 0},    // vertex 1; a float form finds it on segment 0 first
      {10, 5, 0, 1, 1},    // middle of the second segment
      {10, 5, -1, 1, 1},   // negative tol
      {5, 0, 0, 3, 0},     // on vertex 3, which also lies on segment 0
      {12, 5, 1, -1, -1},  // 2 off every segment
      {12, 5, 2, 1, 1},    //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") tol " << c.tol);
    EXPECT_EQ(PtAtPolyline(c.x, c.y, xs, ys, 4, c.tol), c.intIndex);
    EXPECT_EQ(PtAtPolyline(POINT{c.x, c.y}, pts, 4, c.tol), c.intIndex);
    EXPECT_EQ(PtAtPolyline(float(c.x), float(c.y), fxs, fys, 4, float(c.tol)), c.floatIndex);
    EXPECT_EQ(PtAtPolyline(SFloat2D{float(c.x), float(c.y)}, fpts, 4, float(c.tol)), c.floatIndex);
  }
  for (int n : {1, 0, -3}) {
    EXPECT_EQ(PtAtPolyline(0, 0, xs, ys, n, 100), -1);
    EXPECT_EQ(PtAtPolyline(POINT{0, 0}, pts, n, 100), -1);
    EXPECT_EQ(PtAtPolyline(0.f, 0.f, fxs, fys, n, 100.f), -1);
    EXPECT_EQ(PtAtPolyline(SFloat2D{0, 0}, fpts, n, 100.f), -1);
  }
  // The most negative tol has no 32-bit absolute value; its square covers everything here.
  EXPECT_EQ(PtAtPolyline(1000, 1000, xs, ys, 4, INT32_MIN), 0);
}

// ---- TwoLineCross ---------------------------------------------------------------------

// Every segment form on the same integer segments a-b and c-d; each reports
// its answer, and the point it wrote.
struct CrossAnswers {
  bool eightInts, points, eightFloats, records;
  int ix, iy;
  POINT p;
  float fx, fy;
  SFloat2D f;
};

CrossAnswers CrossAll(int ax, int ay, int bx, int by, int cx, int cy, int dx, int dy) {
  CrossAnswers r{};
  r.ix = r.iy = r.p.x = r.p.y = -77;
  r.fx = r.fy = r.f.x = r.f.y = -77;
  r.eightInts = TwoLineCross(ax, ay, bx, by, cx, cy, dx, dy, &r.ix, &r.iy);
  r.points = TwoLineCross(POINT{ax, ay}, POINT{bx, by}, POINT{cx, cy}, POINT{dx, dy}, &r.p);
  r.eightFloats = TwoLineCross(float(ax), float(ay), float(bx), float(by), float(cx), float(cy), float(dx),
                               float(dy), &r.fx, &r.fy);
  r.records = TwoLineCross(SFloat2D{float(ax), float(ay)}, SFloat2D{float(bx), float(by)},
                           SFloat2D{float(cx), float(cy)}, SFloat2D{float(dx), float(dy)}, &r.f);
  return r;
}

TEST(TwoLineCrossTest, CrossingTouchingAndCollinearInEveryForm) {
  CrossAnswers x = CrossAll(0, 0, 10, 10, 0, 10, 10, 0);
  EXPECT_TRUE(x.eightInts && x.points && x.eightFloats && x.records);
  EXPECT_EQ(x.ix, 5);
  EXPECT_EQ(x.iy, 5);
  EXPECT_EQ(x.p.x, 5);
  EXPECT_EQ(x.p.y, 5);
  EXPECT_EQ(x.fx, 5.f);
  EXPECT_EQ(x.fy, 5.f);
  EXPECT_EQ(x.f.x, 5.f);
  EXPECT_EQ(x.f.y, 5.f);

  // Meeting at an end point: only the closed range of the eight-int form accepts it.
  for (const auto& touch : {CrossAll(0, 0, 10, 0, 10, 0, 10, 10),     // end to end
                            CrossAll(0, 0, 10, 0, 5, 0, 5, 10),       // an end on the other's inside
                            CrossAll(10, 10, 10, 0, 0, 0, 10, 0)}) {  // the other order
    EXPECT_TRUE(touch.eightInts);
    EXPECT_FALSE(touch.points);
    EXPECT_FALSE(touch.eightFloats);
    EXPECT_FALSE(touch.records);
    // Failure writes nothing.
    EXPECT_EQ(touch.p.x, -77);
    EXPECT_EQ(touch.fx, -77.f);
    EXPECT_EQ(touch.f.y, -77.f);
  }
  const CrossAnswers endToEnd = CrossAll(0, 0, 10, 0, 10, 0, 10, 10);
  EXPECT_EQ(endToEnd.ix, 10);
  EXPECT_EQ(endToEnd.iy, 0);

  // Parallel and collinear, overlapping or not: never.
  for (const auto& none : {CrossAll(0, 0, 10, 0, 5, 0, 15, 0), CrossAll(0, 0, 10, 0, 0, 1, 10, 1),
                           CrossAll(0, 0, 10, 10, 10, 10, 20, 20), CrossAll(0, 0, 10, 0, 20, -5, 20, 5)}) {
    EXPECT_FALSE(none.eightInts || none.points || none.eightFloats || none.records);
    EXPECT_EQ(none.ix, -77);
  }

  // Rounding: the crossing (1.5, 0.5) is written as (2, 1) by the integer forms.
  const CrossAnswers half = CrossAll(0, 0, 3, 1, 0, 1, 3, 0);
  EXPECT_EQ(half.ix, 2);
  EXPECT_EQ(half.iy, 1);
  EXPECT_EQ(half.p.x, 2);
  EXPECT_EQ(half.p.y, 1);
  EXPECT_EQ(half.fx, 1.5f);
  EXPECT_EQ(half.f.y, 0.5f);

  // Null outputs: the test is made and nothing written.
  EXPECT_TRUE(TwoLineCross(0, 0, 10, 10, 0, 10, 10, 0, nullptr, nullptr));
  int only = 0;
  EXPECT_TRUE(TwoLineCross(0, 0, 10, 10, 0, 10, 10, 0, nullptr, &only));
  EXPECT_EQ(only, 5);
  EXPECT_TRUE(TwoLineCross(POINT{0, 0}, POINT{10, 10}, POINT{0, 10}, POINT{10, 0}, nullptr));
  EXPECT_TRUE(TwoLineCross(0.f, 0.f, 10.f, 10.f, 0.f, 10.f, 10.f, 0.f, nullptr, nullptr));
  EXPECT_TRUE(TwoLineCross(SFloat2D{0, 0}, SFloat2D{10, 10}, SFloat2D{0, 10}, SFloat2D{10, 0}, nullptr));
}

TEST(TwoLineCrossTest, SwappedReversedAndShiftedSegmentsAgree) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> grid(-20, 20);
  int crossings = 0;
  for (int k = 0; k < 20000; ++k) {
    int v[8];
    for (int& c : v) c = grid(rng);
    const CrossAnswers base = CrossAll(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    crossings += base.points;
    // The open forms agree with each other; the closed form accepts at least what they do.
    ASSERT_EQ(base.points, base.eightFloats);
    ASSERT_EQ(base.points, base.records);
    ASSERT_TRUE(base.eightInts || !base.points);
    for (const auto& other : {CrossAll(v[4], v[5], v[6], v[7], v[0], v[1], v[2], v[3]),     // swapped
                              CrossAll(v[2], v[3], v[0], v[1], v[6], v[7], v[4], v[5])}) {  // both reversed
      ASSERT_EQ(other.eightInts, base.eightInts);
      ASSERT_EQ(other.points, base.points);
      if (base.points) {
        ASSERT_NEAR(other.fx, base.fx, 1e-4);
        ASSERT_NEAR(other.fy, base.fy, 1e-4);
        ASSERT_LE(std::abs(other.p.x - base.p.x), 1);
      }
    }
    const int o = 2000000000;
    int sx = 0, sy = 0;
    const bool shifted = TwoLineCross(v[0] + o, v[1] - o, v[2] + o, v[3] - o, v[4] + o, v[5] - o, v[6] + o,
                                      v[7] - o, &sx, &sy);
    ASSERT_EQ(shifted, base.eightInts);
    if (shifted) {
      ASSERT_EQ(sx, base.ix + o);
      ASSERT_EQ(sy, base.iy - o);
    }
  }
  EXPECT_GT(crossings, 1000);  // the sample does exercise crossings
}

// Segments spanning the whole 32-bit range: their differences and products do not fit in 32 bits.
TEST(TwoLineCrossTest, IntegerFormsAcrossTheWholeRangeDoNotWrap) {
  const int m = 2000000000;
  int x = -1, y = -1;
  EXPECT_TRUE(TwoLineCross(-m, -m, m, m, -m, m, m, -m, &x, &y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  POINT p{};
  EXPECT_TRUE(TwoLineCross(POINT{-m, 0}, POINT{m, 0}, POINT{1, -m}, POINT{1, m}, &p));
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 0);
  EXPECT_FALSE(TwoLineCross(-m, 0, m, 0, -m, 1, m, 1, nullptr, nullptr));  // parallel stays parallel
  EXPECT_TRUE(TwoLineCross(-m, -m, m, m, m, -m, m - 1, m, &x, &y));  // crosses just below the far corner
  EXPECT_EQ(x, m - 1);
  EXPECT_EQ(y, m - 1);
}

TEST(TwoLineCrossTest, AngleFormAnswers) {
  const float pi = 3.14159265358979f;
  float x = 0, y = 0;
  TwoLineCross(0.f, 1.f, 2.f, pi / 2, 7.f, 9.f, &x, &y);  // horizontal, then vertical
  EXPECT_EQ(x, 7.f);
  EXPECT_EQ(y, 2.f);
  TwoLineCross(pi / 2, 7.f, 9.f, 0.f, 1.f, 2.f, &x, &y);  // vertical, then horizontal
  EXPECT_EQ(x, 7.f);
  EXPECT_EQ(y, 2.f);
  TwoLineCross(0.3f, 1.f, 2.f, 0.000001f, 7.f, 9.f, &x, &y);  // a slope below 1e-5 counts as flat
  EXPECT_EQ(x, 1.f);
  EXPECT_EQ(y, 9.f);
  TwoLineCross(0.f, 1.f, 2.f, 0.f, 7.f, 9.f, &x, &y);  // both flat: the first rule answers
  EXPECT_EQ(x, 7.f);
  EXPECT_EQ(y, 2.f);
  TwoLineCross(pi / 4, 0.f, 0.f, 3 * pi / 4, 10.f, 0.f, &x, &y);
  EXPECT_NEAR(x, 5.f, 1e-4);
  EXPECT_NEAR(y, 5.f, 1e-4);
  // Equal slopes: the first line's point, finite, instead of a division by zero.
  TwoLineCross(0.5f, 1.f, 2.f, 0.5f, 7.f, 9.f, &x, &y);
  EXPECT_EQ(x, 1.f);
  EXPECT_EQ(y, 2.f);
  TwoLineCross(pi / 2, 3.f, 4.f, pi / 2, 8.f, 4.f, &x, &y);  // two vertical lines
  EXPECT_EQ(x, 3.f);
  EXPECT_EQ(y, 4.f);
  TwoLineCross(0.5f, 1.f, 2.f, 0.7f, 7.f, 9.f, nullptr, nullptr);  // nothing to write, no crash
}

// ---- GetRectHandle --------------------------------------------------------------------

TEST(GetRectHandleTest, GripsInteriorAndSizes) {
  const RECT rc = {0, 0, 100, 50};
  struct Case {
    int x, y, size, grip;
  };
  const Case cases[] = {
      {0, 0, 6, 0},     {50, 0, 6, 1},   {100, 0, 6, 2},   {100, 25, 6, 3},  {100, 50, 6, 4},
      {50, 50, 6, 5},   {0, 50, 6, 6},   {0, 25, 6, 7},    {50, 25, 6, 8},   {200, 25, 6, -1},
      {2, 0, 6, 0},     {3, 0, 6, 1},  // the corner covers -3 <= x < 3, the edge grip 3 <= x < 97
      {-3, -3, 6, 0},   {-4, 0, 6, -1},  {96, 2, 6, 1},    {97, 2, 6, 2},    {102, 52, 6, 4},
      {103, 52, 6, -1}, {3, 3, 6, 8},    {96, 46, 6, 8},   {97, 46, 6, 3},   {3, 47, 6, 5},
      {7, 0, 7, 1},     {2, 0, 7, 0},  // odd sizes use size / 2
      {0, 0, 0, 8},     {99, 49, 0, 8},  {100, 0, 0, -1},  {0, 50, 0, -1},   {-1, 0, 0, -1},
      {0, 0, -6, 8},    {-3, -3, -6, 8}, {102, 52, -6, 8}, {103, 0, -6, -1}, {-4, 0, -6, -1},
      {-3, -3, -5, 8},                   // -5 / 2 rounds down to -3
      {0, 0, 1, 8},     {99, 49, 1, 8},  // half 0: every grip is empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") size " << c.size);
    POINT pt = {c.x, c.y};
    EXPECT_EQ(GetRectHandle(rc, pt, c.size), c.grip);
    EXPECT_EQ(pt.x, c.x);
  }
  // A rectangle given upside down is used as given: its corners still have
  // grips, but it has no interior.
  const RECT flipped = {100, 50, 0, 0};
  EXPECT_EQ(GetRectHandle(flipped, POINT{100, 50}, 6), 0);
  EXPECT_EQ(GetRectHandle(flipped, POINT{0, 0}, 6), 4);
  EXPECT_EQ(GetRectHandle(flipped, POINT{50, 25}, 6), -1);
  EXPECT_EQ(GetRectHandle(flipped, POINT{50, 25}, 0), -1);
}

// Centres and spans of a rectangle wider than 2^31: sums that do not fit in 32 bits.
TEST(GetRectHandleTest, HugeRectanglesDoNotWrap) {
  const int m = 2000000000;
  const RECT rc = {-m, -m, m, m};
  EXPECT_EQ(GetRectHandle(rc, POINT{0, -m}, 6), 1);
  EXPECT_EQ(GetRectHandle(rc, POINT{m, 0}, 6), 3);
  EXPECT_EQ(GetRectHandle(rc, POINT{0, 0}, 6), 8);
  EXPECT_EQ(GetRectHandle(rc, POINT{0, 0}, INT32_MIN), 8);
  const RECT right = {m, 0, m + 100000000, 10};
  EXPECT_EQ(GetRectHandle(right, POINT{m + 50000000, 0}, 2), 1);
}

}  // namespace
