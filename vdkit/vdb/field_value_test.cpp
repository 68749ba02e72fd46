#include "vdkit/vdb/field_value.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SVdbVariantTest, TextsAndTheirEquality) {
  SVdbVariant v;
  v.SetPSZ("abcdefghijklmnopqrst", VDB_CHAR8);
  EXPECT_EQ(v.GetType(), VDB_CHAR8);
  EXPECT_STREQ(v.GetPSZ(), "abcdefghijklmnop");  // 16 bytes kept, and terminated
  v.SetPSZ("x", VDB_LONG);
  EXPECT_EQ(v.GetType(), VDB_CHAR16);
  EXPECT_STREQ(v.GetPSZ(), "x");
  for (int i = 1; i < SVdbVariant::kAreaSize; ++i) EXPECT_EQ(v.GetArea()[i], 0);

  SVdbVariant s1, s2, c16;
  const std::string longText(300, 'q');
  s1.SetPSZ(longText.c_str(), VDB_STRING);
  EXPECT_EQ(std::string(s1.GetPSZ()), longText);
  s1.SetPSZ("Hello", VDB_STRING);
  s2.SetPSZ("hELLO", VDB_STRING);
  c16.SetPSZ("Hello", VDB_CHAR16);
  EXPECT_TRUE(s1 == s2);
  EXPECT_FALSE(s1 == c16);  // types differ
}

TEST(SVdbVariantTest, OwnershipClearCopyAndMove) {
  SVdbVariant v;
  v.SetPSZ("owned", VDB_STRING);
  v.Clear();
  EXPECT_EQ(v.GetType(), VDB_NULL);
  v.Clear();  // a second Clear does nothing
  const BYTE bytes[4] = {9, 8, 7, 6};
  v.SetBinary(bytes, 4);
  ASSERT_NE(v.GetBinary(), nullptr);
  EXPECT_EQ(v.GetBinary()->m_nSize, 4);

  // Copies are deep: changing or clearing the copy leaves the source alone.
  SVdbVariant copy = v;
  ASSERT_NE(copy.GetBinary(), v.GetBinary());
  copy.GetBinary()->m_pData[0] = 0;
  EXPECT_EQ(v.GetBinary()->m_pData[0], 9);
  SVdbVariant s;
  s.SetPSZ("text", VDB_STRING);
  SVdbVariant s2;
  s2 = s;
  s.SetPSZ("other", VDB_STRING);
  EXPECT_STREQ(s2.GetPSZ(), "text");
  SVdbVariant moved(std::move(s2));
  EXPECT_STREQ(moved.GetPSZ(), "text");
  EXPECT_EQ(s2.GetType(), VDB_NULL);  // NOLINT(bugprone-use-after-move)
  SVdbVariant& alias = s;
  s = alias;  // self-assignment keeps the value
  EXPECT_STREQ(s.GetPSZ(), "other");

  SVdbBinary bin;
  bin.SetData(bytes, 4);
  SVdbBinary bin2 = bin;
  bin2.m_pData[1] = 0;
  EXPECT_EQ(bin.m_pData[1], 8);
}

}  // namespace
