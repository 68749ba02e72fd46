#include "vdkit/geometry/polyline.h"

#include <gtest/gtest.h>

TEST(PolylineTest, Builds) { CPolyline p; EXPECT_EQ(p.GetSize(), 0); }
