#include "vdkit/platform/codepage.h"

#include <gtest/gtest.h>

namespace {

// Restores the default code page when a test ends.
struct CodePageScope {
  explicit CodePageScope(UINT cp) { SetHostCodePage(cp); }
  ~CodePageScope() { SetHostCodePage(0); }
};

TEST(CodePageTest, SingleByteFoldsAsciiOnly) {
  EXPECT_EQ(GetHostCodePage(), 1252u);
  EXPECT_EQ(MbsICmp("Key", "kEY"), 0);
  EXPECT_LT(MbsICmp("abc", "ABD"), 0);
  EXPECT_GT(MbsICmp("abcd", "ABC"), 0);
  EXPECT_LT(MbsICmp("", "a"), 0);
  EXPECT_LT(MbsICmp(nullptr, ""), 0);
  EXPECT_EQ(MbsICmp(nullptr, nullptr), 0);
  // Bytes above 0x7F are single characters here: the A after 0xB0 folds.
  EXPECT_EQ(MbsICmp("\xB0"
                    "A",
                    "\xB0"
                    "a"),
            0);
  EXPECT_NE(MbsICmp("\xC0", "\xE0"), 0);  // no folding beyond ASCII
  EXPECT_FALSE(IsHostLeadByte(0xB0));
}

TEST(CodePageTest, DoubleBytePagesKeepTrailBytes) {
  CodePageScope gbk(936);
  EXPECT_TRUE(IsHostLeadByte(0x81));
  EXPECT_TRUE(IsHostLeadByte(0xFE));
  EXPECT_FALSE(IsHostLeadByte(0x80));
  EXPECT_FALSE(IsHostLeadByte(0xFF));
  // 0xB0 0x41 and 0xB0 0x61 are two different GBK characters.
  EXPECT_NE(MbsICmp("\xB0\x41", "\xB0\x61"), 0);
  EXPECT_EQ(MbsICmp("\xB0\x41Key", "\xB0\x41kEY"), 0);
  // The trail byte of a pair is not taken as the lead of the next one:
  // 0xB0 0xB0 'a' is one character and then the letter a.
  EXPECT_EQ(MbsICmp("\xB0\xB0"
                    "a",
                    "\xB0\xB0"
                    "A"),
            0);
  // A lead byte before the terminator stands alone and never reads past it.
  EXPECT_EQ(MbsICmp("x\xB0", "X\xB0"), 0);
  EXPECT_GT(MbsICmp("x\xB0", "x"), 0);

  SetHostCodePage(932);
  EXPECT_TRUE(IsHostLeadByte(0x9F));
  EXPECT_FALSE(IsHostLeadByte(0xA0));  // half-width katakana: single bytes
  EXPECT_NE(MbsICmp("\x82\x61", "\x82\x41"), 0);
  EXPECT_EQ(MbsICmp("\xA0"
                    "A",
                    "\xA0"
                    "a"),
            0);
}

}  // namespace
