#include <gtest/gtest.h>

#include <cstddef>

#include "vdkit/platform/gdi.h"

namespace {

// Programs on the framework write these records byte for byte into their own
// files; the layout must match the 32-bit platform's (lbHatch aside, which is
// pointer-sized there too).
TEST(GdiRecordsTest, LayoutMatchesTheFrameworkRecords) {
  EXPECT_EQ(sizeof(LOGPEN), 16u);  // style 4, width point 8, colour 4
  EXPECT_EQ(offsetof(LOGPEN, lopnWidth), 4u);
  EXPECT_EQ(offsetof(LOGPEN, lopnColor), 12u);

  EXPECT_EQ(offsetof(LOGBRUSH, lbColor), 4u);
  EXPECT_EQ(offsetof(LOGBRUSH, lbHatch), 8u);

  EXPECT_EQ(sizeof(LOGFONTA), 60u);  // 5 LONGs (20) + 8 BYTEs (8) + 32 face characters
  EXPECT_EQ(offsetof(LOGFONTA, lfWeight), 16u);
  EXPECT_EQ(offsetof(LOGFONTA, lfItalic), 20u);
  EXPECT_EQ(offsetof(LOGFONTA, lfPitchAndFamily), 27u);
  EXPECT_EQ(offsetof(LOGFONTA, lfFaceName), 28u);
}

}  // namespace
