#include "vdkit/geometry/polyline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "vdkit/geometry/shapes_test_util.h"

namespace {

using namespace shapes_test;

TEST(PolylineTest, CopiesAreDeepAndKeepWhatEachFormPromises) {
  CPolyline src = Line({{1, 2}, {3, 4}}, true);
  src.SetName("river");
  CPolyline copy(src);  // deep, and a fresh unnamed object
  copy.SetAt(0, SFloat2D{9, 9});
  EXPECT_TRUE(src.GetAt(0).x == 1 && *copy.GetName() == 0 && copy.IsClosed());
  const CPolyline& alias = copy;
  copy = alias;  // self-assignment must not free what it copies from
  EXPECT_TRUE(Same(PointsOf(copy), {{9, 9}, {3, 4}}));
  CPolyline* clone = src.Clone();  // through the registry, with the name
  ASSERT_NE(clone, nullptr);
  EXPECT_STREQ(clone->GetName(), "river");
  EXPECT_TRUE(clone->IsClosed() && Same(PointsOf(*clone), PointsOf(src)));
  delete clone;
  CPolyline open(false);
  open = Region(kSquare);  // from a region: closed
  EXPECT_TRUE(open.IsClosed() && Same(PointsOf(open), kSquare));
}

TEST(PolylineTest, PointEditingGrowsInItsOwnStepsAndStaysInTheBlock) {
  CPolyline line;
  for (int i = 0; i < 5; ++i) line += SFloat2D{float(i), 0};
  EXPECT_EQ(line.GetCapacity(), 5);  // one point per append
  EXPECT_EQ(line.Add(SFloat2D{5, 0}), 6);
  line.InsertAt(6, SFloat2D{6, 0});  // count + 1 passes capacity 6: ten more
  EXPECT_EQ(line.GetCapacity(), 16);
  line.InsertAt(-2, SFloat2D{99, 0});  // ignored
  line.InsertAt(100, SFloat2D{7, 0});  // beyond count: appended
  line.RemoveAt(-1);                   // ignored
  EXPECT_TRUE(Same(PointsOf(line), {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}));
  EXPECT_EQ(line[8].x, 0);   // index count: the first point
  EXPECT_EQ(line[-1].x, 7);  // negative: from the end

  CPolyline self = Line({{1, 1}});
  self += self.GetAt(0);  // a point of the line itself while the block moves
  EXPECT_TRUE(Same(PointsOf(self), {{1, 1}, {1, 1}}));
  CPolyline empty;
  empty[0].x = 5;  // a scratch point, not memory outside a block
  EXPECT_EQ(empty[3].x, 0);
  empty.New(-3);
  EXPECT_EQ(empty.GetCapacity(), 0);
}

TEST(PolylineTest, TrimRemovesTheEarlierOfCloseNeighbours) {
  CPolyline open = Line({{0, 0}, {0.3f, 0}, {2, 0}, {2, 0.1f}, {5, 0}});
  open.Trim(0.5f);
  EXPECT_TRUE(Same(PointsOf(open), {{0.3f, 0}, {2, 0.1f}, {5, 0}}));
  CPolyline closed = Line({{0, 0}, {5, 0}, {5, 5}, {0.2f, 0.2f}}, true);
  closed.Trim(0.5f);  // the last point compared with the first
  EXPECT_TRUE(Same(PointsOf(closed), {{0, 0}, {5, 0}, {5, 5}}));
  // A region compares the squared distance with tol itself: 0.0025 <= 0.01; the last against itself.
  CRegion rgn = Region({{0, 0}, {0.05f, 0}, {1, 0}, {1, 1}}), same = Region({{1, 1}, {1, 1}, {1, 1}});
  rgn.Trim(0.01f);
  same.Trim(0);
  EXPECT_TRUE(Same(PointsOf(rgn), {{0.05f, 0}, {1, 0}, {1, 1}}) && same.GetSize() == 0);
}

TEST(PolylineTest, ConnectJoinsTheNearestEnds) {
  // Each pair of ends and the orientation it gives (joined ends both kept).
  const Points cases[][2] = {
      {{{0, 0.5f}, {0, 9}}, {{10, 0}, {0, 0}, {0, 0.5f}, {0, 9}}},      // first to first
      {{{0, 9}, {0, 0.5f}}, {{10, 0}, {0, 0}, {0, 0.5f}, {0, 9}}},      // first to last
      {{{10, 0.5f}, {10, 9}}, {{0, 0}, {10, 0}, {10, 0.5f}, {10, 9}}},  // last to first
      {{{10, 9}, {10, 0.5f}}, {{0, 0}, {10, 0}, {10, 0.5f}, {10, 9}}},  // last to last
  };
  for (const auto& c : cases) {
    CPolyline line = Line({{0, 0}, {10, 0}});
    EXPECT_TRUE(line += Line(c[0]));  // any distance
    EXPECT_TRUE(Same(PointsOf(line), c[1]));
  }
  // tol is compared with the squared distance: 0.81 <= 1 < 1.21.
  CPolyline near = Line({{0, 0}, {1, 0}}), far = near;
  const CPolyline at09 = Line({{1.9f, 0}, {3, 0}}), at11 = Line({{2.1f, 0}, {3, 0}});
  EXPECT_TRUE(near.Connect(&at09, 1) && near.GetCapacity() == 6);
  EXPECT_FALSE(far.Connect(&at11, 1) || far.Connect(&far, 100) || far.Connect(nullptr, 100));
  EXPECT_EQ(far.GetSize(), 2);
}

// Every segment against every edge, crossings nearest first, pieces kept by their middle point.
std::vector<Points> ReferenceCut(const Points& line, const Points& ring, bool& found) {
  std::vector<Points> pieces, kept;
  found = false;
  if (line.empty()) return kept;
  const int n = static_cast<int>(ring.size());
  Points work = {line[0]};
  for (size_t i = 1; i < line.size(); ++i) {
    Points crossings;
    for (int k = 0; k < n; ++k) {
      SFloat2D x;
      if (TwoLineCross(line[i - 1], line[i], ring[k], ring[(k + 1) % n], &x)) crossings.push_back(x);
    }
    found |= !crossings.empty();
    SFloat2D from = line[i - 1];
    while (!crossings.empty()) {
      auto d2 = [&](SFloat2D c) {
        const float dx = from.x - c.x, dy = from.y - c.y;
        return double(dx) * dx + double(dy) * dy;
      };
      const auto pick = std::min_element(crossings.begin(), crossings.end(),
                                         [&](SFloat2D a, SFloat2D b) { return d2(a) < d2(b); });
      from = *pick;
      crossings.erase(pick);
      work.push_back(from);
      pieces.push_back(work);
      work = {from};
    }
    work.push_back(line[i]);
  }
  if (work.size() > 1) pieces.push_back(work);
  for (const Points& p : pieces) {
    SFloat2D mid =
        p.size() == 2 ? SFloat2D{(p[0].x + p[1].x) / 2, (p[0].y + p[1].y) / 2} : p[(p.size() - 1) / 2];
    if (PtInRgn(mid, ring.data(), n)) kept.push_back(p);
  }
  return kept;
}

TEST(PolylineTest, CutKeepsThePiecesInside) {
  const CRegion square = Region(kSquare);
  CPolyPolyline pieces;
  pieces.Add(new CPolyline);                                  // emptied first
  EXPECT_TRUE(Line({{15, 5}, {-5, 5}}).Cut(square, pieces));  // crossings in order along the segment
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), {{10, 5}, {0, 5}}));
  EXPECT_TRUE(!pieces[0]->IsClosed() && pieces[0]->GetCapacity() == 2);

  EXPECT_FALSE(Line({{20, 20}, {30, 30}}).Cut(square, pieces));
  EXPECT_EQ(pieces.GetSize(), 0);
  EXPECT_FALSE(CPolyline().Cut(square, pieces));  // no first point to read
  EXPECT_EQ(pieces.GetSize(), 0);
}

// With the edge grid (16 edges or more) and without; lattice points cross through vertices and along
// edges; scales from 1e-3 to 1e6 try the grid's rounding margin.
TEST(PolylineTest, CutGivesThePiecesOfTheAllPairsClip) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 120; ++round) {
    const bool lattice = round % 2 == 0;
    const float scale = round % 5 == 0 ? 1e6f : (round % 5 == 1 ? 1e-3f : 100.f);
    std::uniform_real_distribution<float> coord(-scale, scale);
    auto point = [&]() {
      return lattice ? SFloat2D{int(rng() % 13 - 6) * scale / 6, int(rng() % 13 - 6) * scale / 6}
                     : SFloat2D{coord(rng), coord(rng)};
    };
    Points ring, line;
    const int nRing = round % 3 == 0 ? 3 + int(rng() % 12) : 16 + int(rng() % 200);
    for (int k = 0; k < nRing; ++k) {
      const double a = 6.283185307179586 * k / nRing, r = scale * (0.5 + 0.5 * (rng() % 1000) / 1000.0);
      ring.push_back(round % 4 == 0 ? SFloat2D{float(r * std::cos(a)), float(r * std::sin(a))} : point());
    }
    for (int i = 1 + int(rng() % 200); i > 0; --i) line.push_back(point());

    bool found = false;
    const auto expected = ReferenceCut(line, ring, found);
    CPolyPolyline pieces;
    ASSERT_EQ(Line(line).Cut(Region(ring), pieces), found) << "round " << round;
    ASSERT_EQ(size_t(pieces.GetSize()), expected.size()) << "round " << round;
    for (int i = 0; i < pieces.GetSize(); ++i)
      ASSERT_TRUE(Same(PointsOf(*pieces[i]), expected[size_t(i)])) << "round " << round;
  }
}

}  // namespace
