#include "vdkit/numeric/matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using Bytes = unsigned char*;

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

// Each layout below is written out from the block's arithmetic: tables of
// 8-byte pointers, then rows of max(cols, 1) × size bytes, back to back.
TEST(AllocatorTest, BlocksHaveTheirTablesThenZeroedRowsInOneAllocation) {
  {  // StRuCt2(3, 4, 8): 24 bytes of table, then rows at +24, +56, +88, 120 bytes in all.
    auto** t = static_cast<Bytes*>(StRuCt2(3, 4, 8));
    ASSERT_NE(t, nullptr);
    const Bytes base = reinterpret_cast<Bytes>(t);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t[i], base + 24 + 32 * i);
    EXPECT_TRUE(AllZero(base + 24, 96));
    memset(base + 24, 0xAB, 96);  // the whole element area is ours (ASan checks the end)
    free(t);
  }
  {  // Dimensions below 1 count as 1: StRuCt2(0, -5, 3) is one row of 3 bytes at +8.
    auto** t = static_cast<Bytes*>(StRuCt2(0, -5, 3));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0], reinterpret_cast<Bytes>(t) + 8);
    EXPECT_TRUE(AllZero(t[0], 3));
    free(t);
  }
  {  // StRuCt3(2, 3, 5, 2): 2 pointers, 6 pointers (+16), rows of 10 bytes from +64.
    auto*** t = static_cast<Bytes**>(StRuCt3(2, 3, 5, 2));
    ASSERT_NE(t, nullptr);
    const Bytes base = reinterpret_cast<Bytes>(t);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(reinterpret_cast<Bytes>(t[i]), base + 16 + 24 * i);
      for (int j = 0; j < 3; ++j) EXPECT_EQ(t[i][j], base + 64 + 10 * (i * 3 + j));
    }
    EXPECT_TRUE(AllZero(base + 64, 60));
    t[1][2][9] = 1;  // the last byte of the block
    free(t);
  }
  {  // StRuCt1: max(count, 1) × size zero bytes.
    auto* one = static_cast<Bytes>(StRuCt1(0, 4));
    ASSERT_NE(one, nullptr);
    EXPECT_TRUE(AllZero(one, 4));
    free(one);
    auto* many = static_cast<Bytes>(StRuCt1(1000, 3));
    ASSERT_NE(many, nullptr);
    EXPECT_TRUE(AllZero(many, 3000));
    free(many);
  }
}

TEST(AllocatorTest, TablesOverCallerDataPointIntoIt) {
  alignas(8) unsigned char data[96] = {};
  auto** t2 = static_cast<Bytes*>(DiMeNs2(data, 4, 3, 8));  // rows 24 bytes apart
  ASSERT_NE(t2, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t2[i], data + 24 * i);
  free(t2);
  auto** single = static_cast<Bytes*>(DiMeNs2(data, -1, 0, 4));  // one row
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(single[0], data);
  free(single);
  // DiMeNs3(data, 2, 3, 2, 4): D0 = 2 pointers then 6, each row 8 bytes of data.
  auto*** t3 = static_cast<Bytes**>(DiMeNs3(data, 2, 3, 2, 4));
  ASSERT_NE(t3, nullptr);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(reinterpret_cast<Bytes>(t3[i]), reinterpret_cast<Bytes>(t3) + 16 + 24 * i);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(t3[i][j], data + 8 * (i * 3 + j));
  }
  free(t3);
}

TEST(AllocatorTest, RefusedSizesGiveNull) {
  char data[8];
  EXPECT_EQ(StRuCt1(5, 0), nullptr);
  EXPECT_EQ(StRuCt1(5, -8), nullptr);
  EXPECT_EQ(StRuCt2(3, 3, 0), nullptr);
  EXPECT_EQ(StRuCt3(2, 2, 2, 0), nullptr);
  EXPECT_EQ(DiMeNs2(nullptr, 2, 2, 4), nullptr);
  EXPECT_EQ(DiMeNs2(data, 2, 2, 0), nullptr);
  EXPECT_EQ(DiMeNs3(nullptr, 2, 2, 2, 4), nullptr);
  EXPECT_EQ(DiMeNs3(data, 2, 2, 2, -1), nullptr);
  // Products past the address range: never a short block that a caller overruns.
  EXPECT_EQ(StRuCt2(INT_MAX, INT_MAX, INT_MAX), nullptr);
  EXPECT_EQ(StRuCt2(INT_MAX, INT_MAX, 8), nullptr);  // 2^65 bytes of rows
  EXPECT_EQ(StRuCt3(INT_MAX, INT_MAX, INT_MAX, 8), nullptr);
  EXPECT_EQ(StRuCt3(INT_MAX, INT_MAX, 1, 1), nullptr);  // 2^62 pointers
  EXPECT_EQ(DiMeNs3(data, INT_MAX, INT_MAX, 1, 1), nullptr);
}

}  // namespace
