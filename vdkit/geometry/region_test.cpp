#include "vdkit/geometry/region.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Points = std::vector<SFloat2D>;

CRegion Region(const Points& pts) {
  CRegion rgn;
  for (const SFloat2D& p : pts) rgn.Add(p);
  return rgn;
}

CPolyline* NewLine(float id) {
  CPolyline* line = new CPolyline(false);
  line->Add(SFloat2D{id, 0});
  return line;
}

CRegion* NewRegion(float id) {
  CRegion* rgn = new CRegion;
  rgn->Add(SFloat2D{id, 0});
  return rgn;
}

template <class T>
Points PointsOf(const T& shape) {
  return Points(shape.GetData(), shape.GetData() + shape.GetSize());
}

bool Same(const Points& a, const Points& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

// The ids (first x) of a collection's items, in order.
template <class Coll>
std::vector<float> Ids(const Coll& c) {
  std::vector<float> ids;
  for (int i = 0; i < c.GetSize(); ++i) ids.push_back(c.GetAt(i)->GetData()[0].x);
  return ids;
}

const Points kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};

// ---- CRegion -------------------------------------------------------------------------------

TEST(RegionTest, EditingGrowsByTenAndStaysInsideTheBlock) {
  CRegion rgn = Region({{0, 0}, {1, 0}, {1, 1}});
  rgn.InsertAt(1, SFloat2D{9, 9});
  EXPECT_TRUE(Same(PointsOf(rgn), {{0, 0}, {9, 9}, {1, 0}, {1, 1}}));
  rgn.InsertAt(-3, SFloat2D{-1, -1});
  EXPECT_EQ(rgn.GetAt(0).x, -1);
  rgn.InsertAt(10, SFloat2D{7, 7});
  EXPECT_EQ(rgn.GetAt(5).x, 7);
  rgn.RemoveAt(5);
  rgn.RemoveAt(5);
  rgn.RemoveAt(-1);
  EXPECT_EQ(rgn.GetSize(), 5);
  EXPECT_EQ(rgn[5].x, -1);  // modulo count
  EXPECT_EQ(rgn[-1].x, 1);  // from the end

  CRegion grown;
  for (int i = 0; i < 11; ++i) grown += SFloat2D{float(i), 0};
  EXPECT_EQ(grown.GetCapacity(), 20);
  CRegion copy(grown);  // deep, capacity = count
  EXPECT_EQ(copy.GetCapacity(), 11);
  copy[0].x = 100;
  EXPECT_EQ(grown[0].x, 0);
  const CRegion& alias = copy;
  copy = alias;
  EXPECT_EQ(copy[0].x, 100);
  CPolyline closed(true);
  closed.Add(SFloat2D{3, 4});
  copy = closed;
  EXPECT_TRUE(Same(PointsOf(copy), {{3, 4}}));

  CRegion empty;
  empty.GetAt(2).x = 5;  // a scratch vertex
  EXPECT_EQ(empty[0].x, 0);
  EXPECT_TRUE(empty.PtInRgn(SFloat2D{1e9f, 0}));  // fewer than three: no restriction
  EXPECT_TRUE(Region(kSquare).PtInRgn(SFloat2D{5, 0}));
  EXPECT_FALSE(Region(kSquare).PtInRgn(SFloat2D{10, 5}));
}

TEST(RegionTest, TrimComparesSquaredDistanceWithTolItself) {
  const Points ring = {{0, 0}, {0.05f, 0}, {1, 0}, {1, 1}};
  CRegion a = Region(ring);
  a.Trim(0.01f);
  EXPECT_TRUE(Same(PointsOf(a), {{0.05f, 0}, {1, 0}, {1, 1}}));
  CRegion b = Region(ring);
  b.Trim(0.001f);
  EXPECT_EQ(b.GetSize(), 4);

  CRegion wrap = Region({{0, 0}, {5, 0}, {5, 5}, {0.1f, 0}});  // last against first
  wrap.Trim(0.02f);
  EXPECT_TRUE(Same(PointsOf(wrap), {{0, 0}, {5, 0}, {5, 5}}));
  CRegion one = Region({{3, 3}});
  one.Trim(0);
  EXPECT_EQ(one.GetSize(), 0);
  one.Trim(1);  // empty: nothing
  CRegion same = Region({{1, 1}, {1, 1}, {1, 1}});
  same.Trim(0);
  EXPECT_EQ(same.GetSize(), 0);
}

TEST(RegionTest, IntersectionJoinsThePiecesOfBothBoundaries) {
  const CRegion a = Region(kSquare);
  const CRegion b = Region({{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  CPolyRegion common = a & b;
  ASSERT_EQ(common.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*common[0]), {{5, 5}, {10, 5}, {10, 5}, {10, 10}, {5, 10}, {5, 10}, {5, 5}}));

  EXPECT_EQ((a & Region({{20, 20}, {30, 20}, {30, 30}, {20, 30}})).GetSize(), 0);
  // No crossings found along shared edges; the test point (10,10) is on a
  // right-hand edge, which counts as outside.
  EXPECT_EQ((a & Region(kSquare)).GetSize(), 0);
  // A region inside the other without crossing: its own ring, first vertex repeated.
  const CRegion small = Region({{2, 2}, {4, 2}, {4, 4}, {2, 4}});
  CPolyRegion inner = small & a;
  ASSERT_EQ(inner.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*inner[0]), {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}));
  EXPECT_EQ((a & small).GetSize(), 0);  // the container gives nothing
  EXPECT_EQ((CRegion() & a).GetSize(), 0);

  // A bar across the square: two pieces of each boundary, joined into one
  // ring (crossings carry single-precision rounding: (10, 3.99999976)).
  CPolyRegion bar = a & Region({{-5, 4}, {15, 4}, {15, 6}, {-5, 6}});
  ASSERT_EQ(bar.GetSize(), 1);
  const Points ring = {{0, 6}, {10, 6}, {10, 6}, {10, 4}, {10, 4}, {0, 4}, {0, 4}, {0, 6}};
  ASSERT_EQ(bar[0]->GetSize(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(bar[0]->GetAt(i).x, ring[size_t(i)].x, 1e-5);
    EXPECT_NEAR(bar[0]->GetAt(i).y, ring[size_t(i)].y, 1e-5);
  }
}

// ---- Collections ------------------------------------------------------------------------

TEST(CollectionTest, UndoTakesBackAddsInsertsAndGroupedDeletes) {
  CUndoMgr undo;
  CPolyPolyline lines;
  lines.SetUndoMgr(&undo);
  EXPECT_TRUE(lines.IsEnableUndo());
  for (int i = 0; i < 3; ++i) lines.Add(NewLine(float(i)));
  CPolyline* third = lines[2];
  undo.Undo(1);
  EXPECT_EQ(lines.GetSize(), 2);
  undo.Redo(1);
  ASSERT_EQ(lines.GetSize(), 3);
  EXPECT_EQ(lines[2], third);  // the same object came back

  lines.InsertAt(1, NewLine(9));
  EXPECT_EQ(Ids(lines), (std::vector<float>{0, 9, 1, 2}));
  const int before = undo.GetRecordCount();
  lines.DeleteAll();  // one group
  EXPECT_EQ(lines.GetSize(), 0);
  EXPECT_EQ(undo.GetRecordCount(), before + 1);
  undo.Undo(1);
  EXPECT_EQ(Ids(lines), (std::vector<float>{0, 9, 1, 2}));
  undo.Undo(1);
  EXPECT_EQ(Ids(lines), (std::vector<float>{0, 1, 2}));

  undo.EnableUndo(false);
  EXPECT_FALSE(lines.IsEnableUndo());
  EXPECT_FALSE(undo.IsEnable());  // asking changes nothing
  lines.DeleteAt(0);              // destroyed, not recorded
  EXPECT_EQ(Ids(lines), (std::vector<float>{1, 2}));
  undo.EnableUndo(true);
  lines.SetUndoMgr(nullptr);
  EXPECT_FALSE(lines.IsEnableUndo());
  undo.Empty();
}

TEST(CollectionTest, RemoveAtRecordsACloneOnlyForPolylines) {
  CUndoMgr undo;
  CPolyPolyline lines;
  CPolyRegion regions;
  lines.SetUndoMgr(&undo);
  regions.SetUndoMgr(&undo);
  lines.Add(NewLine(1));
  regions.Add(NewRegion(1));
  undo.Empty();

  CRegion* region = regions[0];
  regions.RemoveAt(0);
  EXPECT_EQ(undo.GetRecordCount(), 0);
  delete region;  // the caller's again

  CPolyline* line = lines[0];
  line->SetName("kept");
  lines.RemoveAt(0);
  ASSERT_EQ(undo.GetRecordCount(), 1);
  undo.Undo(1);
  ASSERT_EQ(lines.GetSize(), 1);
  EXPECT_NE(lines[0], line);  // a clone, named like the item
  EXPECT_STREQ(lines[0]->GetName(), "kept");
  EXPECT_EQ(lines[0]->GetAt(0).x, 1);
  delete line;
  lines.SetUndoMgr(nullptr);
  regions.SetUndoMgr(nullptr);
  undo.Empty();
}

TEST(CollectionTest, CopiesConversionsAndMovesOwnEachItemOnce) {
  CPolyRegion regions;
  regions.Add(new CRegion(Region(kSquare)));
  regions.Add(NewRegion(2));
  CPolyRegion copy(regions);
  ASSERT_EQ(copy.GetSize(), 2);
  EXPECT_NE(copy[0], regions[0]);
  copy[0]->GetAt(0).x = 50;
  EXPECT_EQ(regions[0]->GetAt(0).x, 0);
  CPolyRegion& self = copy;
  copy = self;  // self-assignment keeps the items
  EXPECT_EQ(copy.GetSize(), 2);
  copy += self;  // appends copies of its own items
  EXPECT_EQ(Ids(copy), (std::vector<float>{50, 2, 50, 2}));
  copy << self;  // a move into itself changes nothing
  EXPECT_EQ(copy.GetSize(), 4);

  CRegion* moved = copy[0];
  regions << copy;
  EXPECT_EQ(copy.GetSize(), 0);
  EXPECT_EQ(regions.GetSize(), 6);
  EXPECT_EQ(regions[2], moved);  // not copied, not destroyed

  CPolyPolyline lines;
  lines.Add(NewLine(7));
  lines = regions;  // closed polylines of the regions
  ASSERT_EQ(lines.GetSize(), 6);
  EXPECT_TRUE(lines[0]->IsClosed());
  EXPECT_EQ(lines[0]->GetSize(), 4);
  lines += regions;
  EXPECT_EQ(lines.GetSize(), 12);

  CUndoMgr undo;
  regions.SetUndoMgr(&undo);
  lines << regions;  // copies, then the source's DeleteAll (recorded there)
  EXPECT_EQ(lines.GetSize(), 18);
  EXPECT_EQ(regions.GetSize(), 0);
  undo.Undo(1);
  EXPECT_EQ(regions.GetSize(), 6);
  regions.SetUndoMgr(nullptr);
  undo.Empty();

  CRegion* c = regions.Clone(regions[0]);
  EXPECT_NE(c, regions[0]);
  EXPECT_TRUE(Same(PointsOf(*c), PointsOf(*regions[0])));
  delete c;
}

// A collection that dies while the manager still holds its records leaves
// them inert: replaying them touches nothing, and they free what they hold.
TEST(CollectionTest, RecordsOutliveTheirCollectionSafely) {
  CUndoMgr undo;
  {
    CPolyPolyline lines;
    lines.SetUndoMgr(&undo);
    lines.Add(NewLine(1));
    lines.Add(NewLine(2));
    lines.DeleteAt(0);  // the record holds line 1
  }
  EXPECT_EQ(undo.GetRecordCount(), 3);
  undo.Undo(3);
  undo.Redo(3);
  {
    CPolyRegion regions;
    regions.SetUndoMgr(&undo);
    regions.Add(NewRegion(1));
    undo.Undo(1);  // the record holds region 1 now
  }
  undo.Redo(1);
  undo.Empty();

  // A record whose slot was emptied around the manager only switches state.
  CPolyRegion regions;
  regions.SetUndoMgr(&undo);
  regions.Add(NewRegion(1));
  CRegion* taken = regions[0];
  regions.RemoveAt(0);  // not recorded for regions
  delete taken;
  undo.Undo(1);
  EXPECT_EQ(regions.GetSize(), 0);
  undo.Redo(1);
  EXPECT_EQ(regions.GetSize(), 0);
  regions.SetUndoMgr(nullptr);
  undo.Empty();
}

// Random edits of both collections against a model of their contents, with a
// short history so that records are trimmed, then undone to the start of the
// history and redone to its end. Run under the sanitizers, this also proves
// that every item is owned exactly once: no leak and no double free.
template <class Coll, class Item>
void RunRandomHistory(Item* (*make)(float), bool recordsRemove, unsigned seed) {
  std::mt19937 rng(seed);
  CUndoMgr undo;
  undo.SetMaxStep(12);
  Coll coll;
  coll.SetUndoMgr(&undo);
  // Snapshots of the contents after each recorded step; pos is the current one.
  std::vector<std::vector<float>> history = {{}};
  size_t pos = 0;
  float next = 1;
  auto recorded = [&]() {
    history.resize(pos + 1);
    history.push_back(Ids(coll));
    ++pos;
    if (history.size() - 1 > 12) {
      history.erase(history.begin());
      --pos;
    }
  };
  for (int step = 0; step < 600; ++step) {
    const int n = coll.GetSize();
    switch (rng() % 8) {
      case 0:
      case 1:
        coll.Add(make(next++));
        recorded();
        break;
      case 2:
        coll.InsertAt(n ? int(rng() % unsigned(n + 1)) : 0, make(next++));
        recorded();
        break;
      case 3:
        if (n) {
          coll.DeleteAt(int(rng() % unsigned(n)));
          recorded();
        }
        break;
      case 4:
        if (n && recordsRemove) {
          const int i = int(rng() % unsigned(n));
          Item* item = coll[i];
          coll.RemoveAt(i);
          delete item;  // ours now; the record keeps a clone
          recorded();
        }
        break;
      case 5:
        if (n && rng() % 4 == 0) {
          coll.DeleteAll();
          recorded();
        }
        break;
      case 6:
        if (pos > 0) {
          undo.Undo(1);
          --pos;
        }
        break;
      default:
        if (pos + 1 < history.size()) {
          undo.Redo(1);
          ++pos;
        }
        break;
    }
    ASSERT_EQ(Ids(coll), history[pos]) << "step " << step;
    ASSERT_EQ(undo.CanUndo(), pos > 0);
    ASSERT_EQ(undo.CanRedo(), pos + 1 < history.size());
  }
  while (pos > 0) {
    undo.Undo(1);
    --pos;
    ASSERT_EQ(Ids(coll), history[pos]);
  }
  EXPECT_FALSE(undo.CanUndo());
  while (pos + 1 < history.size()) {
    undo.Redo(1);
    ++pos;
    ASSERT_EQ(Ids(coll), history[pos]);
  }
  EXPECT_FALSE(undo.CanRedo());
  coll.SetUndoMgr(nullptr);
  undo.Empty();
}

TEST(CollectionTest, RandomEditsUndoneAndRedoneMatchTheModel) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    RunRandomHistory<CPolyPolyline, CPolyline>(NewLine, true, seed);
    RunRandomHistory<CPolyRegion, CRegion>(NewRegion, false, seed);
  }
}

}  // namespace
