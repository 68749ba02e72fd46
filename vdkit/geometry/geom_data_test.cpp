#include "vdkit/geometry/geom_data.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cstdlib>
#include <utility>

#include "vdkit/geometry/spline.h"

namespace {

// Addressing, and ranges that scan exactly the columns and nodes: a row-wise
// y, a planted extreme in the last node, and shapes with nothing to scan.
TEST(GeomDataTest, AddressingAndRanges) {
  CGeomData g;
  float lo = -1, hi = -1;
  EXPECT_TRUE(g.IsEmpty() && !g.x(&lo, &hi) && !g.y(&lo, &hi) && !g.depth(&lo, &hi) && lo == -1 && hi == -1);
  ASSERT_TRUE(g.newxyz(3, 2, 4));
  EXPECT_TRUE(g.nx() == 3 && g.ny() == 2 && g.nz() == 4 && g.nxy() == 6 && !g.IsEmpty());
  EXPECT_EQ(&g.depth(1, 1, 2), g.depth() + 16);  // 1 + 3 + 12
  EXPECT_TRUE(&g.x(2, 1) == g.xy() + 10 && &g.y(2, 1) == g.xy() + 11 && &g.x(5) == g.xy() + 10);
  ASSERT_TRUE(g.newxyz(4, 3, 2));
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 4; ++i) g.x(i, j) = 10.0f * i - 5, g.y(i, j) = 100.0f + j;
  for (int n = 0; n < 24; ++n) g.depth(n) = float(n % 7);
  g.depth(3, 2, 1) = -3.0f;
  EXPECT_TRUE(g.x(&lo, &hi) && lo == -5 && hi == 25);
  EXPECT_TRUE(g.y(&lo, &hi) && lo == 100 && hi == 102);
  EXPECT_TRUE(g.depth(&lo, &hi) && lo == -3 && hi == 6);

  ASSERT_TRUE(g.newxyz(5, 0, 3));  // no columns: nothing allocated
  EXPECT_TRUE(g.IsEmpty() && g.nx() == 5 && g.nxy() == 0 && !g.x(&lo, &hi) && !g.depth(&lo, &hi));
  ASSERT_TRUE(g.newxyz(1, 2, 0));  // columns but no layers
  g.x(0) = g.y(0) = 0, g.x(1) = 7, g.y(1) = 8;
  EXPECT_TRUE(g.depth() == nullptr && !g.IsEmpty() && !g.depth(&lo, &hi) && g.y(&lo, &hi) && hi == 8);
  g.Empty();
  EXPECT_TRUE(g.IsEmpty() && g.nx() == 0 && g.ny() == 0 && g.nz() == 0 && g.nxy() == 0 && !g.xy());
}

TEST(GeomDataTest, SizesThatOverflowOrAreNegativeAreRefused) {
  CGeomData g;
  ASSERT_TRUE(g.newxyz(2, 3, 1));
  float* const xy = g.xy();
  // 2 * 32768^2 = 2^31 xy floats; 46341^2 > INT_MAX columns; 1291^3 > INT_MAX nodes.
  const int refused[][3] = {{-1, 2, 2},
                            {2, -1, 2},
                            {2, 2, -1},
                            {32768, 32768, 1},
                            {46341, 46341, 0},
                            {1291, 1291, 1291},
                            {INT_MAX, INT_MAX, INT_MAX},
                            {1, 1073741824, 0}};
  for (const auto& r : refused) {
    EXPECT_FALSE(g.newxyz(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    EXPECT_TRUE(g.nx() == 2 && g.ny() == 3 && g.nz() == 1 && g.xy() == xy);
  }
  EXPECT_TRUE(g.newxyz(0, INT_MAX, INT_MAX) && g.IsEmpty() && g.ny() == INT_MAX);
}

TEST(GeomDataTest, CopiesOwnTheirArrays) {
  CGeomData a;
  ASSERT_TRUE(a.newxyz(2, 2, 2));
  for (int n = 0; n < 8; ++n) a.depth(n) = float(n), a.xy()[n] = float(-n);
  CGeomData b(a), c;
  c = a;
  const CGeomData& alias = c;
  c = alias;
  b.depth(7) = c.x(3) = 99;
  EXPECT_TRUE(a.depth(7) == 7 && a.x(3) == -6 && c.depth(7) == 7 && b.x(3) == -6 && c.nxy() == 4 &&
              c.nz() == 2);
  CGeomData moved(std::move(b));
  c = std::move(moved);
  EXPECT_TRUE(b.IsEmpty() && b.nx() == 0 && moved.IsEmpty() && c.depth(7) == 99 && c.x(3) == -6);
  c = CGeomData();
  EXPECT_TRUE(c.IsEmpty() && c.nx() == 0);
}

// Memory that cannot be had is a failure like any other, never an exception:
// in a child limited to 256 MB of address space, blocks of 1.6 GB are refused.
// (The sanitizers reserve far more address space than that, so not under them.)
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
int SizeBeyondTheLimit() {
  const rlimit limit{256u << 20, 256u << 20};
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 2;
  CGeomData g;
  if (!g.newxyz(2, 2, 2)) return 3;
  const bool sized = g.newxyz(20000, 20000, 1);
  const SFloat2D pts[3] = {{0, 0}, {1, 1}, {2, 0}};
  SFloat2D* out = nullptr;
  int count = 0;
  const bool sampled = Spline2D(pts, 3, false, 100000000, &out, &count);
  return !sized && g.nxy() == 4 && !sampled && !out ? 0 : 1;
}

TEST(GeomDataTest, MemoryThatCannotBeHadIsAFailure) {
  EXPECT_EXIT(std::exit(SizeBeyondTheLimit()), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
