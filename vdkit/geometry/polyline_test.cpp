#include "vdkit/geometry/polyline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Points = std::vector<SFloat2D>;

CPolyline Line(const Points& pts, bool closed = false) {
  CPolyline line(closed);
  for (const SFloat2D& p : pts) line.Add(p);
  return line;
}

CRegion Region(const Points& pts) {
  CRegion rgn;
  for (const SFloat2D& p : pts) rgn.Add(p);
  return rgn;
}

Points PointsOf(const CPolyline& line) {
  return Points(line.GetData(), line.GetData() + line.GetSize());
}

bool Same(const Points& a, const Points& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

std::string Show(const Points& pts) {
  std::string s;
  for (const SFloat2D& p : pts) s += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
  return s;
}

const Points kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};

// ---- Construction, copying, points ----------------------------------------------------

TEST(PolylineTest, CopiesAreDeepAndKeepWhatEachFormPromises) {
  CPolyline src = Line({{1, 2}, {3, 4}}, true);
  src.SetName("river");
  src.SetFileType("Line");

  CPolyline copy(src);  // a fresh, unnamed object
  EXPECT_STREQ(copy.GetName(), "");
  EXPECT_TRUE(copy.IsClosed());
  EXPECT_EQ(copy.GetCapacity(), 2);
  copy.SetAt(0, SFloat2D{9, 9});
  EXPECT_EQ(src.GetAt(0).x, 1);

  CPolyline target(false);
  target.SetName("keep");
  target = src;  // the name stays
  EXPECT_STREQ(target.GetName(), "keep");
  EXPECT_TRUE(target.IsClosed());
  EXPECT_TRUE(Same(PointsOf(target), {{1, 2}, {3, 4}}));
  const CPolyline& alias = target;
  target = alias;  // self-assignment must not free what it copies from
  EXPECT_TRUE(Same(PointsOf(target), {{1, 2}, {3, 4}}));

  CPolyline* clone = src.Clone();  // through the registry, name and type too
  ASSERT_NE(clone, nullptr);
  EXPECT_STREQ(clone->GetClassNameA(), "CPolyline");
  EXPECT_STREQ(clone->GetName(), "river");
  EXPECT_STREQ(clone->GetFileType(), "Line");
  EXPECT_TRUE(Same(PointsOf(*clone), PointsOf(src)));
  delete clone;

  CVDFile* made = CreateVDFile("cpolyline");
  ASSERT_NE(dynamic_cast<CPolyline*>(made), nullptr);
  EXPECT_FALSE(static_cast<CPolyline*>(made)->IsClosed());
  EXPECT_EQ(static_cast<CPolyline*>(made)->GetSize(), 0);
  delete made;

  CPolyline fromRegion(Region(kSquare));
  EXPECT_TRUE(fromRegion.IsClosed());
  EXPECT_EQ(fromRegion.GetSize(), 4);
  CPolyline assigned(false);
  assigned = Region({{5, 6}});
  EXPECT_TRUE(assigned.IsClosed());
  EXPECT_TRUE(Same(PointsOf(assigned), {{5, 6}}));
}

TEST(PolylineTest, PointEditingGrowsInItsOwnSteps) {
  CPolyline line;
  for (int i = 0; i < 5; ++i) line += SFloat2D{float(i), 0};
  EXPECT_EQ(line.GetCapacity(), 5);  // one point per append
  EXPECT_EQ(line.Add(SFloat2D{5, 0}), 6);
  EXPECT_EQ(line.GetCapacity(), 6);

  // count + 1 = 7 reaches capacity 6: ten more first.
  line.InsertAt(6, SFloat2D{6, 0});  // index count appends
  EXPECT_EQ(line.GetCapacity(), 16);
  EXPECT_EQ(line.GetAt(6).x, 6);
  line.InsertAt(0, SFloat2D{-1, 0});
  EXPECT_EQ(line.GetAt(0).x, -1);
  EXPECT_EQ(line.GetAt(1).x, 0);
  line.InsertAt(-2, SFloat2D{99, 0});  // ignored
  EXPECT_EQ(line.GetSize(), 8);
  line.InsertAt(100, SFloat2D{7, 0});  // beyond count: appended, never past the block
  EXPECT_EQ(line.GetSize(), 9);
  EXPECT_EQ(line.GetAt(8).x, 7);

  line.RemoveAt(0);
  line.RemoveAt(-1);
  line.RemoveAt(8);
  EXPECT_EQ(line.GetSize(), 8);
  EXPECT_EQ(line.GetAt(0).x, 0);
  EXPECT_EQ(line[8].x, 0);   // index count: the first point
  EXPECT_EQ(line[-1].x, 7);  // negative: from the end
  line.Empty();
  EXPECT_EQ(line.GetCapacity(), 16);

  // Appending a point of the line to itself while the block moves.
  CPolyline self = Line({{1, 1}});
  self += self.GetAt(0);
  EXPECT_TRUE(Same(PointsOf(self), {{1, 1}, {1, 1}}));

  CPolyline empty;
  empty[0].x = 5;  // a scratch point, not memory outside a block
  EXPECT_EQ(empty[3].x, 0);
  EXPECT_EQ(empty.GetSize(), 0);

  CPolyline sized(4, true);
  EXPECT_EQ(sized.GetCapacity(), 4);
  EXPECT_EQ(sized.GetSize(), 0);
  sized.New(-3);
  EXPECT_EQ(sized.GetCapacity(), 0);
}

TEST(PolylineTest, GetMMXSetsTheBoundsOrLeavesThemAlone) {
  SFRect rc = {7, 7, 7, 7};
  CPolyline().GetMMX(rc);
  EXPECT_EQ(rc.minx, 7);
  Line({{1, 5}, {-2, 3}, {4, -1}}).GetMMX(rc);
  EXPECT_EQ(rc.minx, -2);
  EXPECT_EQ(rc.maxx, 4);
  EXPECT_EQ(rc.miny, -1);
  EXPECT_EQ(rc.maxy, 5);
}

// ---- Trim --------------------------------------------------------------------------------

// The walk as it reads: remove point i while it is close to the next one.
Points ReferenceTrim(Points p, float tol, bool closed) {
  if (p.size() < 3) return p;
  const double t2 = static_cast<float>(double(tol) * tol);
  for (size_t i = 0; closed ? i < p.size() : i + 1 < p.size();) {
    const SFloat2D a = p[i], b = p[(i + 1) % p.size()];
    const float dx = a.x - b.x, dy = a.y - b.y;
    if (double(dx) * dx + double(dy) * dy <= t2)
      p.erase(p.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
  return p;
}

TEST(PolylineTest, TrimRemovesTheEarlierOfCloseNeighbours) {
  const Points open = {{0, 0}, {0.3f, 0}, {2, 0}, {2, 0.1f}, {5, 0}};
  CPolyline a = Line(open);
  a.Trim(0.5f);
  EXPECT_TRUE(Same(PointsOf(a), {{0.3f, 0}, {2, 0.1f}, {5, 0}}));

  const Points ring = {{0, 0}, {5, 0}, {5, 5}, {0.2f, 0.2f}};
  CPolyline closed = Line(ring, true);
  closed.Trim(0.5f);
  EXPECT_TRUE(Same(PointsOf(closed), {{0, 0}, {5, 0}, {5, 5}}));
  CPolyline asOpen = Line(ring, false);
  asOpen.Trim(0.5f);
  EXPECT_EQ(asOpen.GetSize(), 4);

  CPolyline two = Line({{0, 0}, {0, 0}});
  two.Trim(1);
  EXPECT_EQ(two.GetSize(), 2);

  // The one-pass removal against the walk, on lines full of near repeats.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 3);
  for (int round = 0; round < 3000; ++round) {
    Points p(3 + rng() % 9);
    for (SFloat2D& v : p) v = {coord(rng) * 0.5f, coord(rng) * 0.5f};
    const bool isClosed = round % 2 == 1;
    const float tol = (rng() % 4) * 0.4f;
    CPolyline line = Line(p, isClosed);
    line.Trim(tol);
    ASSERT_TRUE(Same(PointsOf(line), ReferenceTrim(p, tol, isClosed)))
        << Show(p) << " tol " << tol << " closed " << isClosed;
  }
}

// ---- Connect ------------------------------------------------------------------------------

TEST(PolylineTest, ConnectJoinsTheNearestEnds) {
  CPolyline a = Line({{0, 0}, {1, 0}});
  const CPolyline b = Line({{5, 0}, {1.1f, 0}});
  CPolyline tight(a);
  EXPECT_FALSE(tight.Connect(&b, 0.005f));  // 0.01 apart, squared
  EXPECT_EQ(tight.GetSize(), 2);
  ASSERT_TRUE(a.Connect(&b, 0.05f));
  EXPECT_TRUE(Same(PointsOf(a), {{0, 0}, {1, 0}, {1.1f, 0}, {5, 0}}));
  EXPECT_EQ(a.GetCapacity(), 6);
  EXPECT_EQ(b.GetSize(), 2);  // the other line is not changed

  // Each pair of ends, and the orientation it gives (joined ends both kept).
  struct Case {
    Points other, joined;
  } cases[] = {
      {{{0, 0.5f}, {0, 9}}, {{10, 0}, {0, 0}, {0, 0.5f}, {0, 9}}},      // first to first
      {{{0, 9}, {0, 0.5f}}, {{10, 0}, {0, 0}, {0, 0.5f}, {0, 9}}},      // first to last
      {{{10, 0.5f}, {10, 9}}, {{0, 0}, {10, 0}, {10, 0.5f}, {10, 9}}},  // last to first
      {{{10, 9}, {10, 0.5f}}, {{0, 0}, {10, 0}, {10, 0.5f}, {10, 9}}},  // last to last
  };
  for (const Case& c : cases) {
    CPolyline line = Line({{0, 0}, {10, 0}});
    const CPolyline other = Line(c.other);
    EXPECT_TRUE(line += other);  // any distance
    EXPECT_TRUE(Same(PointsOf(line), c.joined)) << Show(PointsOf(line));
  }

  // The tolerance is compared with the squared distance: 0.81 <= 1 < 1.21.
  CPolyline near = Line({{0, 0}, {1, 0}}), far = Line({{0, 0}, {1, 0}});
  const CPolyline at09 = Line({{1.9f, 0}, {3, 0}}), at11 = Line({{2.1f, 0}, {3, 0}});
  EXPECT_TRUE(near.Connect(&at09, 1));
  EXPECT_FALSE(far.Connect(&at11, 1));

  CPolyline self = Line({{0, 0}, {1, 0}});
  EXPECT_FALSE(self.Connect(&self, 100));
  EXPECT_FALSE(self.Connect(nullptr, 100));
  const CPolyline one = Line({{1, 0}});
  EXPECT_FALSE(self.Connect(&one, 100));
  EXPECT_EQ(self.GetSize(), 2);
}

// ---- Cut -----------------------------------------------------------------------------------

std::vector<Points> Pieces(const CPolyPolyline& pieces) {
  std::vector<Points> out;
  for (int i = 0; i < pieces.GetSize(); ++i) out.push_back(PointsOf(*pieces.GetAt(i)));
  return out;
}

// Clipping as it reads: every segment against every edge.
std::vector<Points> ReferenceCut(const Points& line, const Points& ring, bool& found) {
  std::vector<Points> pieces;
  found = false;
  if (line.empty()) return pieces;
  const int n = static_cast<int>(ring.size());
  Points work = {line[0]};
  auto close = [&](SFloat2D x) {
    work.push_back(x);
    pieces.push_back(work);
    work = {x};
  };
  for (size_t i = 1; i < line.size(); ++i) {
    Points crossings;
    for (int k = 0; k < n; ++k) {
      SFloat2D x;
      if (TwoLineCross(line[i - 1], line[i], ring[k], ring[(k + 1) % n], &x)) crossings.push_back(x);
    }
    if (!crossings.empty()) found = true;
    SFloat2D from = line[i - 1];
    while (!crossings.empty()) {
      double best = 9.999e20f;
      size_t pick = 0;
      for (size_t c = 0; c < crossings.size(); ++c) {
        const float dx = from.x - crossings[c].x, dy = from.y - crossings[c].y;
        const double d = double(dx) * dx + double(dy) * dy;
        if (d < best) best = d, pick = c;
      }
      from = crossings[pick];
      close(from);
      crossings.erase(crossings.begin() + static_cast<std::ptrdiff_t>(pick));
    }
    work.push_back(line[i]);
  }
  if (work.size() > 1) pieces.push_back(work);
  std::vector<Points> kept;
  for (const Points& p : pieces) {
    SFloat2D mid = p[(p.size() - 1) / 2];
    if (p.size() == 2) mid = {(p[0].x + p[1].x) / 2, (p[0].y + p[1].y) / 2};
    if (PtInRgn(mid, ring.data(), n)) kept.push_back(p);
  }
  return kept;
}

TEST(PolylineTest, CutKeepsThePiecesInside) {
  const CRegion square = Region(kSquare);
  CPolyPolyline pieces;
  pieces.Add(new CPolyline);  // emptied first
  EXPECT_TRUE(Line({{-5, 5}, {15, 5}}).Cut(square, pieces));
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), {{0, 5}, {10, 5}}));
  EXPECT_FALSE(pieces[0]->IsClosed());
  EXPECT_EQ(pieces[0]->GetCapacity(), 2);

  // Right to left: the crossings are still taken in order along the segment.
  EXPECT_TRUE(Line({{15, 5}, {-5, 5}}).Cut(square, pieces));
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), {{10, 5}, {0, 5}}));

  const Points inside = {{2, 2}, {8, 3}, {5, 7}};
  EXPECT_FALSE(Line(inside).Cut(square, pieces));
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), inside));
  EXPECT_FALSE(Line({{20, 20}, {30, 30}}).Cut(square, pieces));
  EXPECT_EQ(pieces.GetSize(), 0);
  EXPECT_FALSE(CPolyline().Cut(square, pieces));
  EXPECT_EQ(pieces.GetSize(), 0);

  // In and out twice over several segments; operator& answers the same pieces.
  const CPolyline zigzag = Line({{-5, 2}, {5, 2}, {5, 20}, {7, 20}, {7, 5}, {15, 5}});
  bool found = false;
  const auto expected = ReferenceCut(PointsOf(zigzag), kSquare, found);
  const CPolyPolyline viaAnd = zigzag & square;
  EXPECT_TRUE(found);
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_TRUE(Same(expected[0], {{0, 2}, {5, 2}, {5, 10}}));
  EXPECT_TRUE(Same(expected[1], {{7, 10}, {7, 5}, {10, 5}}));
  ASSERT_EQ(viaAnd.GetSize(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Same(PointsOf(*viaAnd[i]), expected[size_t(i)]));
}

// Random lines against random regions, with the index in play (16 edges or
// more) and without it; lattice coordinates put crossings through vertices
// and along edges, where the open ranges decide.
TEST(PolylineTest, CutGivesThePiecesOfTheAllPairsClip) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 200; ++round) {
    const bool lattice = round % 2 == 0;
    const float scale = round % 5 == 0 ? 1e6f : (round % 5 == 1 ? 1e-3f : 100.f);
    std::uniform_real_distribution<float> coord(-scale, scale);
    std::uniform_int_distribution<int> grid(-6, 6);
    auto point = [&]() {
      return lattice ? SFloat2D{grid(rng) * scale / 6, grid(rng) * scale / 6}
                     : SFloat2D{coord(rng), coord(rng)};
    };
    Points ring;
    const int nRing = round % 3 == 0 ? 3 + int(rng() % 12) : 16 + int(rng() % 200);
    if (round % 4 == 0) {  // a star: long runs inside
      for (int k = 0; k < nRing; ++k) {
        const double a = 6.283185307179586 * k / nRing, r = scale * (0.5 + 0.5 * (rng() % 1000) / 1000.0);
        ring.push_back({float(r * std::cos(a)), float(r * std::sin(a))});
      }
    } else {
      for (int k = 0; k < nRing; ++k) ring.push_back(point());
    }
    Points line;
    const int nLine = 1 + int(rng() % 200);
    for (int i = 0; i < nLine; ++i) line.push_back(point());

    bool found = false;
    const auto expected = ReferenceCut(line, ring, found);
    CPolyPolyline pieces;
    ASSERT_EQ(Line(line).Cut(Region(ring), pieces), found) << "round " << round;
    const auto got = Pieces(pieces);
    ASSERT_EQ(got.size(), expected.size()) << "round " << round;
    for (size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(Same(got[i], expected[i])) << "round " << round;
  }
}

TEST(PolylineTest, CutIntoARecordingCollectionRecordsEachStepAndGivesTheSamePieces) {
  const CRegion square = Region(kSquare);
  const CPolyline line = Line({{-5, 5}, {15, 5}});
  CUndoMgr undo;
  CPolyPolyline pieces;
  pieces.SetUndoMgr(&undo);
  pieces.Add(new CPolyline);
  EXPECT_TRUE(line.Cut(square, pieces));
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), {{0, 5}, {10, 5}}));
  // Add, the delete of the old item, three adds and two removals.
  EXPECT_EQ(undo.GetRecordCount(), 7);
  while (undo.CanUndo()) undo.Undo(1);
  EXPECT_EQ(pieces.GetSize(), 0);
  while (undo.CanRedo()) undo.Redo(1);
  ASSERT_EQ(pieces.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*pieces[0]), {{0, 5}, {10, 5}}));
  pieces.SetUndoMgr(nullptr);
  undo.Empty();
}

}  // namespace
