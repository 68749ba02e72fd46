#include "vdkit/geometry/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "vdkit/geometry/shapes_test_util.h"

namespace {

using namespace shapes_test;

// Items are told apart by the x of their first point.
template <class T>
T* Item(float id) {
  T* item = new T;
  item->Add(SFloat2D{id, 0});
  return item;
}

template <class Coll>
std::vector<float> Ids(const Coll& c) {
  std::vector<float> ids;
  for (int i = 0; i < c.GetSize(); ++i) ids.push_back(c.GetAt(i)->GetData()[0].x);
  return ids;
}

TEST(RegionTest, EditingGrowsByTenAndStaysInsideTheBlock) {
  CRegion rgn = Region({{0, 0}, {1, 0}, {1, 1}});
  rgn.InsertAt(-3, SFloat2D{-1, -1});  // at 0
  rgn.InsertAt(10, SFloat2D{7, 7});    // appended
  rgn.RemoveAt(5);
  rgn.RemoveAt(-1);
  EXPECT_TRUE(Same(PointsOf(rgn), {{-1, -1}, {0, 0}, {1, 0}, {1, 1}, {7, 7}}));
  EXPECT_EQ(rgn[5].x, -1);  // modulo count
  EXPECT_EQ(rgn[-1].x, 7);  // from the end

  CRegion grown;
  for (int i = 0; i < 11; ++i) grown += SFloat2D{float(i), 0};
  EXPECT_EQ(grown.GetCapacity(), 20);
  CRegion empty;
  empty.GetAt(2).x = 5;  // a scratch vertex
  EXPECT_EQ(empty[0].x, 0);
  EXPECT_TRUE(empty.PtInRgn(SFloat2D{1e9f, 0}));  // fewer than three vertices: no restriction
}

TEST(RegionTest, IntersectionJoinsThePiecesOfBothBoundaries) {
  const CRegion a = Region(kSquare);
  CPolyRegion common = a & Region({{5, 5}, {15, 5}, {15, 15}, {5, 15}});
  ASSERT_EQ(common.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*common[0]), {{5, 5}, {10, 5}, {10, 5}, {10, 10}, {5, 10}, {5, 10}, {5, 5}}));
  EXPECT_EQ((a & Region({{20, 20}, {30, 20}, {30, 30}, {20, 30}})).GetSize(), 0);
  // Shared edges give no crossings; the test point (10,10) is on a right-hand edge: outside.
  EXPECT_EQ((a & Region(kSquare)).GetSize(), 0);
  // Inside without crossing: its own ring, first vertex repeated; the container gives nothing.
  const CRegion small = Region({{2, 2}, {4, 2}, {4, 4}, {2, 4}});
  CPolyRegion inner = small & a;
  ASSERT_EQ(inner.GetSize(), 1);
  EXPECT_TRUE(Same(PointsOf(*inner[0]), {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}));
  EXPECT_EQ((a & small).GetSize() + (CRegion() & a).GetSize(), 0);
}

TEST(CollectionTest, CopiesConversionsAndMovesOwnEachItemOnce) {
  CPolyRegion regions, copy;
  regions.Add(new CRegion(Region(kSquare)));
  regions.Add(Item<CRegion>(2));
  copy = regions;
  copy[0]->GetAt(0).x = 50;  // deep
  CPolyRegion& self = copy;
  copy = self;   // unchanged
  copy += self;  // copies of its own items
  copy << self;  // a move into itself: unchanged
  EXPECT_EQ(Ids(copy), (std::vector<float>{50, 2, 50, 2}));
  CRegion* moved = copy[0];
  regions << copy;
  EXPECT_TRUE(copy.GetSize() == 0 && regions[2] == moved);  // not copied, not destroyed
  CPolyPolyline lines;
  lines.Add(Item<CPolyline>(7));
  lines = regions;  // closed polylines of the regions
  EXPECT_EQ(Ids(lines), (std::vector<float>{0, 2, 50, 2, 50, 2}));
  EXPECT_TRUE(lines[0]->IsClosed() && lines[0]->GetSize() == 4);
}

// Records of a dead collection are inert and free what they hold; one whose slot was emptied
// around the manager only switches state.
TEST(CollectionTest, RecordsOutliveTheirCollectionSafely) {
  CUndoMgr undo;
  {
    CPolyPolyline lines;
    lines.SetUndoMgr(&undo);
    lines.Add(Item<CPolyline>(1));
    lines.DeleteAt(0);  // the record holds line 1
    CPolyRegion regions;
    regions.SetUndoMgr(&undo);
    regions.Add(Item<CRegion>(1));
    undo.Undo(1);  // this record holds region 1 now
  }
  undo.Redo(1);
  undo.Undo(2);
  CPolyRegion regions;
  regions.SetUndoMgr(&undo);
  regions.Add(Item<CRegion>(1));
  CRegion* taken = regions[0];
  regions.RemoveAt(0);  // not recorded for regions
  delete taken;
  undo.Undo(1);
  undo.Redo(1);
  EXPECT_EQ(regions.GetSize(), 0);
  regions.SetUndoMgr(nullptr);
}

// A manager destroyed before its collections detaches them: their later edits
// record nothing and touch no freed memory (ASan), whatever else holds it.
TEST(CollectionTest, ManagerDestroyedFirstDetachesItsCollections) {
  CPolyPolyline lines, copy;
  CPolyRegion regions;
  {
    CUndoMgr undo, other;
    lines.SetUndoMgr(&undo);
    regions.SetUndoMgr(&other);
    regions.SetUndoMgr(&undo);  // moved from one manager to another
    lines.Add(Item<CPolyline>(1));
    lines.DeleteAt(0);
    regions.Add(Item<CRegion>(1));
    copy.SetUndoMgr(&undo);
    copy.SetUndoMgr(nullptr);
    ASSERT_EQ(undo.GetRecordCount(), 3);
  }
  EXPECT_EQ(lines.GetUndoMgr(), nullptr);
  EXPECT_EQ(regions.GetUndoMgr(), nullptr);
  EXPECT_FALSE(lines.IsEnableUndo());
  lines.Add(Item<CPolyline>(2));
  lines.DeleteAll();
  regions.DeleteAt(0);
  EXPECT_EQ(lines.GetSize() + regions.GetSize(), 0);
}

// Random edits against a model of the contents, a short history trimming records, then undone to
// the start and redone to the end; under the sanitizers every item is owned exactly once.
template <class Coll, class Item>
void RunRandomHistory(Item* (*make)(float), bool recordsRemove, unsigned seed) {
  std::mt19937 rng(seed);
  CUndoMgr undo;
  undo.SetMaxStep(12);
  Coll coll;
  coll.SetUndoMgr(&undo);
  std::vector<std::vector<float>> history = {{}};  // contents after each recorded step
  size_t pos = 0;
  float next = 1;
  auto recorded = [&]() {
    history.resize(pos + 1);
    history.push_back(Ids(coll));
    if (history.size() > 13) history.erase(history.begin());
    pos = history.size() - 1;
  };
  for (int step = 0; step < 400; ++step) {
    const unsigned n = unsigned(coll.GetSize()), op = rng() % 8;
    const int i = n ? int(rng() % n) : 0, at = int(rng() % (n + 3)) - 1;  // -1 goes to 0, n + 1 to the end
    bool edit = true;
    if (op < 2) {
      coll.Add(make(next++));
    } else if (op == 2) {
      coll.InsertAt(at, make(next));
      ASSERT_EQ(coll[std::min(std::max(at, 0), int(n))]->GetData()[0].x, next++);
    } else if (op == 3 && n) {
      coll.DeleteAt(i);
    } else if (op == 4 && n && recordsRemove) {
      Item* item = coll[i];
      coll.RemoveAt(i);
      delete item;  // ours now; the record keeps a clone
    } else if (op == 5 && n && rng() % 4 == 0) {
      coll.DeleteAll();
    } else {
      if (op == 6 && pos > 0) undo.Undo(1), --pos;
      if (op == 7 && pos + 1 < history.size()) undo.Redo(1), ++pos;
      edit = false;
      coll.DeleteAt(coll.GetSize());  // outside the items: ignored, nothing recorded
      coll.RemoveAt(-1);
    }
    if (edit) recorded();
    ASSERT_EQ(Ids(coll), history[pos]) << "step " << step;
    ASSERT_EQ(undo.CanRedo(), pos + 1 < history.size());
  }
  for (; pos > 0; --pos) ASSERT_NE(undo.Undo(1), nullptr);
  EXPECT_TRUE(Ids(coll) == history[0] && !undo.CanUndo());
  undo.Redo(int(history.size()) - 1);
  EXPECT_TRUE(Ids(coll) == history.back() && !undo.CanRedo());
  coll.SetUndoMgr(nullptr);
}

TEST(CollectionTest, RandomEditsUndoneAndRedoneMatchTheModel) {
  for (unsigned seed = 1; seed <= 10; ++seed) {
    RunRandomHistory<CPolyPolyline, CPolyline>(Item<CPolyline>, true, seed);
    RunRandomHistory<CPolyRegion, CRegion>(Item<CRegion>, false, seed);
  }
}

}  // namespace
