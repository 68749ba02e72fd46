#include "vdkit/core/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

float FromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(FequalTest, ComparesBitPatternsUpToTheTwoLowestBits) {
  const uint32_t one = 0x3F800000u;  // 1.0f
  EXPECT_TRUE(fequal(FromBits(one | 1), FromBits(one | 2)));
  EXPECT_FALSE(fequal(1.0f, FromBits(one | 4)));
  EXPECT_FALSE(fequal(1.0f, std::nextafter(1.0f, 0.0f)));  // a step apart, patterns far apart
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(fequal(nan, nan));
}

// A message longer than the buffer used to run past it; now it is cut.
TEST(LastErrorMsgTest, LongMessageIsCutNotOverrun) {
  for (int len : {kLastErrorMsgCapacity, kLastErrorMsgCapacity + 1, 5000}) {
    SCOPED_TRACE(len);
    const std::string text(static_cast<size_t>(len), 'm');
    SetLastErrorMsg("%s", text.c_str());
    EXPECT_EQ(std::string(GetLastErrorMsg()), text.substr(0, kLastErrorMsgCapacity));
  }
  // The current text may be an argument: prefixing a full buffer cuts the tail.
  SetLastErrorMsg("b%s", GetLastErrorMsg());
  EXPECT_EQ(std::string(GetLastErrorMsg()), "b" + std::string(kLastErrorMsgCapacity - 1, 'm'));
  SetLastErrorMsg(nullptr);
  EXPECT_STREQ(GetLastErrorMsg(), "");
}

TEST(StrstriTest, StrstriAndStrchriIgnoreAsciiCaseOnly) {
  const char* s1 = "aaAB";  // a failed partial match must not skip the next start
  EXPECT_EQ(strstri(s1, "aab"), s1 + 1);
  EXPECT_EQ(strstri(s1, "aab!"), nullptr);
  EXPECT_EQ(strstri("\xE4", "\xC4"), nullptr);  // high bytes are not folded like Latin-1
  EXPECT_EQ(strstri("[x]", "{X}"), nullptr);    // '[' and '{' differ by 32 but are not letters
  const char* s = "path\\To.File";
  EXPECT_EQ(strchri(s, 'f'), s + 8);
  EXPECT_EQ(strchri(s, '@'), nullptr);  // '@' + 32 is '`', neither is a letter
}

std::vector<std::string> Tokens(std::string text, const char* delims) {
  cstrtok tok(&text[0], delims);
  std::vector<std::string> out;
  for (char* t = tok.next(); t; t = tok.next()) out.push_back(t);
  EXPECT_EQ(tok.next(), nullptr);  // stays used up
  return out;
}

TEST(CstrtokTest, SplitsRestartsAndCopies) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Tokens(",a,,b,", ","), (V{"a", "b"}));
  EXPECT_EQ(Tokens("a\xFF"
                   "b",
                   "\xFF"),
            (V{"a", "b"}));  // high bytes index the map as unsigned
  char a[] = "x=1;y=2";
  cstrtok tok;
  EXPECT_EQ(tok.next(), nullptr);
  EXPECT_EQ(tok.next(a, ";"), a);
  // A copy resumes independently from where the original stood.
  cstrtok copy = tok;
  EXPECT_STREQ(tok.next(nullptr, "="), "y");  // rebuilt map: '=' only
  EXPECT_STREQ(tok.next(), "2");
  EXPECT_STREQ(copy.next(), "y");  // copy still has ';' only, and the NUL now at '='
  EXPECT_EQ(copy.next(), nullptr);
}

}  // namespace
