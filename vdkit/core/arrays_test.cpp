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
  // A full box grows by size/8 clamped to 4..1024; the first block is exactly the size asked.
  for (auto [size, step] : {std::pair{0, 1}, {39, 4}, {40, 5}, {8200, 1024}}) {
    CPtrBox full;
    full.SetSize(size);
    full.Add(P(0));
    EXPECT_EQ(full.GetCapacity(), size + step) << size;
  }
  // Shrinking keeps the block; regrowing within it nulls the new slots.
  CPtrBox g;
  g.SetSize(10, -1);
  g.SetAt(7, P(1));
  void** block = g.GetData();
  g.SetSize(5);
  g.SetSize(10, -1);
  EXPECT_EQ(g.GetData(), block);
  EXPECT_EQ(g.GetAt(7), nullptr);
}

TEST(PtrBoxTest, InsertRemoveAppendCopy) {
  CPtrBox b = Box({P(0), P(1)});
  b.InsertAt(4, P(5), 2);  // past the end: nulls up to index 4
  EXPECT_EQ(Slots(b), (Ptrs{P(0), P(1), nullptr, nullptr, P(5), P(5)}));
  b.RemoveAt(1, 3);
  b.RemoveAt(5);  // out of range: ignored
  EXPECT_EQ(Slots(b), (Ptrs{P(0), P(5), P(5)}));
  CPtrBox src = Box({P(3), P(4)});
  b.InsertAt(1, &src);
  EXPECT_EQ(Slots(b), (Ptrs{P(0), P(3), P(4), P(5), P(5)}));
  b.Copy(src);
  b.SetAtGrow(3, P(6));
  EXPECT_EQ(Slots(b), (Ptrs{P(3), P(4), nullptr, P(6)}));
  // A box may take its own slots.
  CPtrBox self = Box({P(1), P(2)});
  EXPECT_EQ(self.Append(self), 2);
  self.InsertAt(1, &self);
  self.Copy(self);
  EXPECT_EQ(Slots(self), (Ptrs{P(1), P(1), P(2), P(1), P(2), P(2), P(1), P(2)}));
}

TEST(PtrBoxTest, CopiesHaveTheirOwnSlots) {
  CPtrBox a = Box({P(1), P(2)});
  CPtrBox copy(a);
  copy.SetAt(0, P(7));
  CPtrBox assigned = Box({P(5)});
  assigned = a;
  assigned.SetAt(1, P(7));
  EXPECT_EQ(Slots(a), (Ptrs{P(1), P(2)}));
  assigned = assigned;
  EXPECT_EQ(Slots(assigned), (Ptrs{P(1), P(7)}));
  CPtrBox moved(std::move(copy));
  EXPECT_EQ(moved.GetSize(), 2);
  EXPECT_EQ(copy.GetData(), nullptr);  // NOLINT: a moved-from box is empty
}

template <class A>
class NumberArrayTest : public testing::Test {};
using NumberArrays = testing::Types<CFloatArray, CDoubleArray>;
TYPED_TEST_SUITE(NumberArrayTest, NumberArrays);

TYPED_TEST(NumberArrayTest, CopiesHaveTheirOwnBlock) {
  TypeParam a;
  for (int i = 0; i < 11; ++i) a.Add(i + 1);
  EXPECT_EQ(a.GetCapacity(), 20);  // grows by 10
  a.RemoveAt(11);                  // index = count: nothing
  EXPECT_FALSE(a.InsertAt(a.GetSize() + 1, 5));
  TypeParam copy(a), assigned;
  copy[0] = 7;
  assigned = a;
  assigned.GetPtr()[1] = 9;
  EXPECT_EQ(a[0] * 10 + a[1], 12);
  TypeParam moved(std::move(copy));
  EXPECT_EQ(moved.GetSize(), 11);
  EXPECT_EQ(copy.GetPtr(), nullptr);  // NOLINT: moved-from is empty
}

}  // namespace
