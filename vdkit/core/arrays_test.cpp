#include "vdkit/core/arrays.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

namespace {

static_assert(sizeof(CPtrBox) <= 4 * sizeof(void*) && !std::is_polymorphic<CPtrBox>::value,
              "CPtrBox embeds anywhere at four words");

int slot[8];
void* P(int i) {
  return &slot[i];
}
using Ptrs = std::vector<void*>;

Ptrs Slots(const CPtrBox& b) {
  Ptrs v;
  for (int i = 0; i < b.GetSize(); ++i) v.push_back(b.GetAt(i));
  return v;
}

CPtrBox Box(const Ptrs& ptrs) {
  CPtrBox b;
  for (void* p : ptrs) b.Add(p);
  return b;
}

TEST(PtrBoxTest, GrowthSteps) {
  // The first Add allocates one slot; each growth then adds size/8 clamped to 4..1024.
  CPtrBox b;
  b.Add(P(0));
  EXPECT_EQ(b.GetCapacity(), 1);
  for (int i = 1; i < 100; ++i) EXPECT_EQ(b.Add(P(i % 8)), i);
  EXPECT_EQ(b.GetCapacity(), 102);  // ... 81 + 81/8 = 91, 91 + 91/8 = 102
  // {size of a full box, what one more slot adds}; 8200/8 = 1025 is cut to 1024.
  for (auto [size, step] : {std::pair{1, 4}, {39, 4}, {40, 5}, {8191, 1023}, {8192, 1024}, {8200, 1024}}) {
    SCOPED_TRACE(size);
    CPtrBox full;
    full.SetSize(size);  // the first block is exactly the size asked
    full.Add(P(0));
    EXPECT_EQ(full.GetCapacity(), size + step);
  }
  CPtrBox g;
  g.SetSize(4, 16);
  g.SetSize(5, 0);  // 0 keeps the step
  EXPECT_EQ(g.GetCapacity(), 20);
  g.SetSize(100, -1);  // more than the step: exactly what is needed
  EXPECT_EQ(g.GetCapacity(), 100);

  // Shrinking keeps the block; regrowing within it nulls the new slots.
  g.SetAt(4, P(1));
  g.SetAt(7, P(1));
  void** block = g.GetData();
  g.SetSize(5);
  g.SetSize(10, -1);
  EXPECT_EQ(g.GetData(), block);
  EXPECT_EQ(g.GetAt(4), P(1));
  EXPECT_EQ(g.GetAt(7), nullptr);
  g.SetSize(-1);  // ignored
  EXPECT_EQ(g.GetSize(), 10);
  g.SetSize(3);
  g.FreeExtra();
  EXPECT_EQ(g.GetCapacity(), 3);
  g.RemoveAt(0, 3);
  g.FreeExtra();
  EXPECT_EQ(g.GetData(), nullptr);
}

TEST(PtrBoxTest, InsertRemoveAppendCopy) {
  CPtrBox b = Box({P(0), P(1), P(2)});
  b.InsertAt(7, P(5), 2);  // past the end: nulls up to index 7
  EXPECT_EQ(Slots(b), (Ptrs{P(0), P(1), P(2), nullptr, nullptr, nullptr, nullptr, P(5), P(5)}));
  CPtrBox c = Box({P(1), P(2), P(3)});
  c.InsertAt(1, P(7), 2);
  EXPECT_EQ(Slots(c), (Ptrs{P(1), P(7), P(7), P(2), P(3)}));

  CPtrBox r = Box({P(1), P(2), P(3), P(4)});
  void** block = r.GetData();
  r.RemoveAt(1, 2);
  EXPECT_EQ(Slots(r), (Ptrs{P(1), P(4)}));
  EXPECT_EQ(r.GetData(), block);
  r.RemoveAt(1);  // the last: nothing moves
  r.RemoveAt(1);  // out of range: ignored
  EXPECT_EQ(Slots(r), (Ptrs{P(1)}));

  CPtrBox src = Box({P(3), P(4)}), empty;
  CPtrBox dst = Box({P(1), P(2)});
  dst.InsertAt(1, &src);
  EXPECT_EQ(Slots(dst), (Ptrs{P(1), P(3), P(4), P(2)}));
  dst.InsertAt(0, &empty);
  dst.InsertAt(0, static_cast<CPtrBox*>(nullptr));
  EXPECT_EQ(dst.Append(src), 4);
  EXPECT_EQ(Slots(dst), (Ptrs{P(1), P(3), P(4), P(2), P(3), P(4)}));
  dst.Copy(src);
  dst.SetAtGrow(3, P(6));
  EXPECT_EQ(Slots(dst), (Ptrs{P(3), P(4), nullptr, P(6)}));

  // A box may take its own slots.
  CPtrBox self = Box({P(1), P(2)});
  EXPECT_EQ(self.Append(self), 2);
  EXPECT_EQ(Slots(self), (Ptrs{P(1), P(2), P(1), P(2)}));
  self.RemoveAt(2, 2);
  self.InsertAt(1, &self);
  EXPECT_EQ(Slots(self), (Ptrs{P(1), P(1), P(2), P(2)}));
  self.Copy(self);
  EXPECT_EQ(self.GetSize(), 4);
}

TEST(PtrBoxTest, CopiesHaveTheirOwnSlots) {
  CPtrBox a;
  a.SetSize(2, 16);
  a.SetAt(0, P(1));
  a.SetAt(1, P(2));
  CPtrBox copy(a);
  EXPECT_NE(copy.GetData(), a.GetData());
  EXPECT_EQ(copy.GetCapacity(), a.GetCapacity());
  EXPECT_EQ(copy.GetGrowBy(), 16);
  copy.SetAt(0, P(7));
  copy.Add(P(6));
  EXPECT_EQ(Slots(a), (Ptrs{P(1), P(2)}));

  CPtrBox assigned = Box({P(5)});
  assigned = a;
  assigned.SetAt(1, P(7));
  EXPECT_EQ(Slots(a), (Ptrs{P(1), P(2)}));
  assigned = assigned;
  EXPECT_EQ(Slots(assigned), (Ptrs{P(1), P(7)}));

  CPtrBox moved(std::move(copy));
  EXPECT_EQ(moved.GetSize(), 3);
  EXPECT_EQ(copy.GetData(), nullptr);  // NOLINT: a moved-from box is empty
}

template <class A>
class NumberArrayTest : public testing::Test {};
using NumberArrays = testing::Types<CFloatArray, CDoubleArray>;
TYPED_TEST_SUITE(NumberArrayTest, NumberArrays);

TYPED_TEST(NumberArrayTest, GrowRemoveInsertReset) {
  TypeParam a;
  for (int i = 0; i < 11; ++i) EXPECT_EQ(a.Add(i * 1.5f), i);
  EXPECT_EQ(a.GetCapacity(), 20);  // 0 + 10, then 10 + 10
  a.RemoveAt(11);                  // index = count: nothing
  a.RemoveAt(-1);
  a.RemoveAt(0);
  a.RemoveAt(9);  // the last
  ASSERT_EQ(a.GetSize(), 9);
  EXPECT_EQ(a[0], 1.5f);
  EXPECT_EQ(a[8], 13.5f);
  EXPECT_TRUE(a.InsertAt(0, -1));
  EXPECT_TRUE(a.InsertAt(a.GetSize(), 99));
  EXPECT_FALSE(a.InsertAt(a.GetSize() + 1, 5));
  EXPECT_FALSE(a.InsertAt(-1, 5));
  ASSERT_EQ(a.GetSize(), 11);
  EXPECT_EQ(a[1], 1.5f);
  EXPECT_EQ(a[10], 99);
  auto* block = a.GetPtr();
  a.Reset();
  EXPECT_EQ(a.GetPtr(), block);
  a.SetSize(3);  // new elements are 0
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(a.FreeStorage(), 0);
  EXPECT_EQ(a.GetPtr(), nullptr);
}

TYPED_TEST(NumberArrayTest, CopiesHaveTheirOwnBlock) {
  TypeParam a;
  a.Add(1);
  a.Add(2);
  TypeParam copy(a);
  EXPECT_NE(copy.GetPtr(), a.GetPtr());
  copy[0] = 7;
  copy.Add(3);
  TypeParam assigned;
  assigned = a;
  assigned.GetPtr()[1] = 9;
  EXPECT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 2);
  TypeParam moved(std::move(copy));
  EXPECT_EQ(moved.GetSize(), 3);
  EXPECT_EQ(copy.GetPtr(), nullptr);  // NOLINT: moved-from is empty
}

}  // namespace
