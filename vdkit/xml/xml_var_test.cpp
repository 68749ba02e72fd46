#include "vdkit/xml/xml_var.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfenv>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

template <class T>
std::string Text(T value) {
  CString out;
  EXPECT_TRUE(CXmlVar("v", value).GetValue(out));
  return out.GetString();
}

// Writes the value, reads the text into a fresh variable, and gives it back.
template <class T>
T RoundTrip(T value, T fresh = T()) {
  CString text;
  CXmlVar("v", value).GetValue(text);
  EXPECT_TRUE(CXmlVar("v", fresh).SetValue(text));
  return fresh;
}

template <class T>
T Read(const char* text, T start = T()) {
  CXmlVar("v", start).SetValue(text);
  return start;
}

template <class T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A number text of the kinds atof meets: plain decimals as the library
// writes them, long digit runs, exponents near the ends of the range,
// subnormals, and what atof reads differently from a plain decimal (blanks,
// signs, hexadecimal, infinities, NaNs, junk after the number).
std::string NumberText(std::mt19937_64& rng) {
  // clang-format off
  static const char* const kOdd[] = {
      "", "-", "+", ".", "-.", "e5", ".e1", "1e", "1e+", "1e-", "1.5e+x", "inf", "-Infinity", "nan", "NAN(12)",
      "-nan", "0x1.8p3", "0X10", "-0x", " 12", "\t-3.5", "+7", "1,5", "1.5 ", "2.5abc", "00012.500", "-0", "0e999999",
      "1e-400", "-1e-400", "4e-320", "2.2250738585072011e-308", "2.2250738585072014e-308",
      "1.7976931348623157e308", "1.7976931348623159e308", "1e309", "9007199254740993", ".5", "5.", "0.0e-5"};
  // clang-format on
  static const char* const kFormats[] = {"%.17g", "%.16g", "%g", "%.3e", "%a", "%.0f", "%.40f"};
  char buf[512];
  switch (rng() % 4) {
    case 0:
      return kOdd[rng() % std::size(kOdd)];
    case 1: {
      // A double of any bit pattern (NaNs, infinities, subnormals) in a
      // printf form.
      const uint64_t bits = rng();
      double v;
      std::memcpy(&v, &bits, sizeof v);
      std::snprintf(buf, sizeof buf, kFormats[rng() % std::size(kFormats)], v);
      return buf;
    }
    default: {
      std::string t;
      const unsigned sign = rng() % 40;
      t += sign < 12 ? "-" : sign == 12 ? "+" : sign == 13 ? " " : "";
      auto digits = [&](size_t n) {
        const bool zeros = rng() % 4 == 0;
        for (size_t i = 0; i < n; ++i) t += static_cast<char>('0' + (zeros && rng() % 3 ? 0 : rng() % 10));
      };
      digits(rng() % 8 == 0 ? rng() % 800 : rng() % 22);
      if (rng() % 3) {
        t += '.';
        digits(rng() % 25);
      }
      if (rng() % 3 == 0) {
        t += "eE"[rng() % 2];
        const unsigned exponentSign = rng() % 3;
        if (exponentSign) t += exponentSign == 1 ? '+' : '-';
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(rng() % 2 ? rng() % 40 : rng() % 400));
        t += buf;
      }
      if (rng() % 20 == 0) t += " xe."[rng() % 4];
      return t;
    }
  }
}

// Doubles and floats read from any text are atof's result bit for bit, with
// its errno; in every rounding mode, and in a locale whose decimal point is
// a comma when the system has one.
TEST(XmlVarTest, NumberTextsReadAsAtofDoes) {
  std::mt19937_64 rng(42);
  auto agree = [&](int count) {
    for (int i = 0; i < count; ++i) {
      const std::string text = NumberText(rng);
      errno = 0;
      const double want = std::atof(text.c_str());
      const int wantErrno = errno;
      double d = 0;
      float f = 0;
      errno = 0;
      CXmlVar("d", d).SetValue(text.c_str());
      ASSERT_EQ(errno, wantErrno) << text;
      CXmlVar("f", f).SetValue(text.c_str());
      const float wantFloat = static_cast<float>(want);
      ASSERT_TRUE(SameBytes(d, want)) << text;
      ASSERT_TRUE(SameBytes(f, wantFloat)) << text;
    }
  };
  agree(60000);
  for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    agree(5000);
    std::fesetround(FE_TONEAREST);
  }
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    agree(5000);
    std::setlocale(LC_NUMERIC, "C");
  }
}

TEST(XmlVarTest, PlainValuesWriteTheirTextForms) {
  EXPECT_EQ(Text(static_cast<char>(-128)), "-128");
  EXPECT_EQ(Text(INT_MIN), "-2147483648");
  EXPECT_EQ(Text(LONG_MIN), "-9223372036854775808");  // long is 64-bit here
  EXPECT_EQ(Text(4294967295u), "4294967295");
  // Floats: "%g" where it reads back equal, more digits where it does not.
  EXPECT_EQ(Text(0.1f), "0.1");
  EXPECT_EQ(Text(1234567.0f), "1234567");     // "%g" gives 1.23457e+06
  EXPECT_EQ(Text(FLT_MAX), "3.4028235e+38");  // "%g" and "%.7g" read back below it
  // Doubles: "%.16lg" where it reads back equal, else "%.17lg".
  EXPECT_EQ(Text(0.1 + 0.2), "0.30000000000000004");    // "%.16lg" gives 0.3
  EXPECT_EQ(Text(DBL_MAX), "1.7976931348623157e+308");  // "%.16lg" would overflow to inf
  EXPECT_EQ(Text(-0.0), "-0");
}

TEST(XmlVarTest, EveryValueKindReadsBackEqual) {
  for (bool v : {true, false}) EXPECT_EQ(RoundTrip(v, !v), v);
  for (int v : {CHAR_MIN, CHAR_MAX}) EXPECT_EQ(RoundTrip(static_cast<char>(v), 'x'), static_cast<char>(v));
  for (int v : {SHRT_MIN, SHRT_MAX}) EXPECT_EQ(RoundTrip<short>(static_cast<short>(v), 7), v);
  for (int v : {INT_MIN, INT_MAX}) EXPECT_EQ(RoundTrip(v, 7), v);
  for (long v : {LONG_MIN, LONG_MAX}) EXPECT_EQ(RoundTrip(v, 7L), v);
  EXPECT_EQ(RoundTrip<unsigned char>(255, 7), 255);
  EXPECT_EQ(RoundTrip<unsigned short>(65535, 7), 65535);
  EXPECT_EQ(RoundTrip(4294967295u, 7u), 4294967295u);
  EXPECT_EQ(RoundTrip(ULONG_MAX, 7UL), ULONG_MAX);
  for (float v : {-0.0f, 1.0f / 3.0f, 16777217.0f, FLT_MAX, FLT_TRUE_MIN, -2.5e-20f,
                  std::numeric_limits<float>::infinity()}) {
    EXPECT_TRUE(SameBytes(RoundTrip(v, 7.0f), v)) << v;
  }
  for (double v : {-0.0, 0.1 + 0.2, 2.0 / 3.0, 1e23, 5e-324, 2.2250738585072014e-308, -DBL_MAX,
                   9007199254740993.0, -std::numeric_limits<double>::infinity()}) {
    EXPECT_TRUE(SameBytes(RoundTrip(v, 7.0), v)) << v;
  }
  EXPECT_TRUE(std::isnan(RoundTrip(std::nan(""), 7.0)));
  CString s("text with ; and : and \"quotes\" <x>");
  EXPECT_EQ(RoundTrip(s, CString("old")), s);
}

TEST(XmlVarTest, IntegerTextsConvertAtTheTypesWidth) {
  // Unsigned kinds reach their whole range; negative texts wrap as strtoul's do.
  EXPECT_EQ(Read<unsigned>("4294967295"), 4294967295u);
  EXPECT_EQ(Read<unsigned>("-1"), 4294967295u);
  EXPECT_EQ(Read<unsigned char>("256"), 0);
  // Signed 32-bit texts saturate as the framework's atoi did; narrower kinds
  // keep the low bits.
  EXPECT_EQ(Read<int>("2147483648"), INT_MAX);
  EXPECT_EQ(Read<int>("-2147483649"), INT_MIN);
  EXPECT_EQ(Read<short>("40000"), -25536);
  EXPECT_EQ(Read<long>("99999999999999999999"), LONG_MAX);
  EXPECT_EQ(Read<int>("", 5), 5);  // an empty text leaves the value alone
}

TEST(XmlVarTest, CompositesWriteKeyValueTexts) {
  RECT extreme = {INT_MIN, -1, 0, INT_MAX};
  EXPECT_EQ(Text(extreme), "l:-2147483648;t:-1;r:0;b:2147483647");
  POINT p = {-7, 8};
  EXPECT_EQ(Text(p), "x:-7;y:8");
  SIZE sz = {640, 480};
  EXPECT_EQ(Text(sz), "cx:640;cy:480");
  LOGBRUSH brush = {BS_HATCHED, RGB(0, 0, 255), HS_DIAGCROSS};
  EXPECT_EQ(Text(brush), "s:2;h:5;c:16711680");  // blue is 0xFF << 16
  LOGPEN none = {PS_NULL, {0, 99}, 0xFFFFFFFFu};
  EXPECT_EQ(Text(none), "s:5;w:0;c:-1");              // only x of the width; colours written signed...
  EXPECT_EQ(RoundTrip(none).lopnColor, 0xFFFFFFFFu);  // ...and read unsigned

  EXPECT_TRUE(SameBytes(RoundTrip(extreme, RECT{9, 9, 9, 9}), extreme));
  EXPECT_TRUE(SameBytes(RoundTrip(p, POINT{9, 9}), p));
  EXPECT_TRUE(SameBytes(RoundTrip(sz, SIZE{9, 9}), sz));
  EXPECT_TRUE(SameBytes(RoundTrip(brush, LOGBRUSH{9, 9, 9}), brush));
}

TEST(XmlVarTest, CompositesReadTheKeysPresent) {
  RECT r = {1, 2, 3, 4};
  EXPECT_TRUE(CXmlVar("r", r).SetValue("T:20;l:10"));  // keys ignore case
  EXPECT_TRUE(SameBytes(r, RECT{10, 20, 3, 4}));
  // A key that is a prefix of another does not match it.
  LOGPEN pen = {0, {0, 0}, 0};
  CXmlVar("p", pen).SetValue("cx:1;c:2;w:4");
  EXPECT_EQ(pen.lopnColor, 2u);
  EXPECT_EQ(pen.lopnWidth.x, 4);

  int c = 0;
  EXPECT_FALSE(CXmlVar("cx:1;c:2") >> CXmlVar("d", c));
  EXPECT_FALSE(CXmlVar(nullptr) >> CXmlVar("c", c));
  // A key at the very end without ':' matches with an empty value; a
  // byte that is not printable also ends a key.
  int last = 9;
  EXPECT_TRUE(CXmlVar("a:1;last") >> CXmlVar("last", last));
  EXPECT_EQ(last, 9);
  EXPECT_TRUE(CXmlVar("a:1;last\x01"
                      "7") >>
              CXmlVar("last", last));
  EXPECT_EQ(last, 7);
  EXPECT_FALSE(CXmlVar("a:1;lastx:3") >> CXmlVar("last", last));
}

TEST(XmlVarTest, FontsWriteFieldsThatAreSet) {
  LOGFONTA font = {};
  std::strcpy(font.lfFaceName, "Arial");
  font.lfHeight = 12;
  CString out("prefix;");  // the font form is appended
  CXmlVar("f", font).GetValue(out);
  EXPECT_EQ(out, "prefix;name:Arial;height:12;");
  LOGFONTA back;
  std::memset(&back, 0x5A, sizeof back);
  EXPECT_TRUE(SameBytes(RoundTrip(font, back), font));  // every other field cleared to 0

  LOGFONTA full = {-11, 5, 900, 450, FW_BOLD, 1, 1, 1, 255, 3, 2, 4, 0x31, "Song Ti"};
  EXPECT_EQ(Text(full),
            "name:Song Ti;height:-11;width:5;escapement:900;weight:700;orientation:450;italic:1;"
            "underline:1;strikeOut:1;charSet:255;outPrecision:3;clipPrecision:2;quality:4;pitchAndFamily:49");
  EXPECT_TRUE(SameBytes(RoundTrip(full, back), full));

  // A face name longer than the field is cut to 31 characters.
  CXmlVar("f", back).SetValue(("name:" + std::string(40, 'F') + ";weight:400").c_str());
  EXPECT_EQ(std::string(back.lfFaceName), std::string(31, 'F'));
  EXPECT_EQ(back.lfWeight, 400);
}

TEST(XmlVarTest, DatesUseTheirTextForms) {
  SDate d = {5, 3, 2004};
  EXPECT_EQ(Text(d), "2004-3-5");
  EXPECT_EQ(Text(SDateTime{0.0f, {5, 3, 2004}}), "2004-03-05");  // no fraction: padded
  SDateTime t = {0.25f, {5, 3, 2004}};
  EXPECT_EQ(Text(t), "2004-3-5.25");
  EXPECT_EQ(Text(SDate{30, 2, 2004}), "");  // invalid: written as nothing, GetValue still true
  EXPECT_TRUE(SameBytes(RoundTrip(d, SDate{1, 1, 1999}), d));
  EXPECT_TRUE(SameBytes(RoundTrip(t, SDateTime{0.5f, {1, 1, 1999}}), t));
}

TEST(XmlVarTest, BuffersCopyWholeOrBounded) {
  char big[32] = "old";
  EXPECT_TRUE(CXmlVar("b", big).SetValue("hello"));
  EXPECT_STREQ(big, "hello");
  char small[6];
  std::memset(small, 'x', sizeof small);
  CXmlVar bounded("b", small, static_cast<int>(sizeof small));
  EXPECT_FALSE(bounded.SetValue("1234567890"));  // cut, and says so
  EXPECT_STREQ(small, "12345");
  // Reading an unterminated bounded buffer stops at its end.
  char raw[4] = {'a', 'b', 'c', 'd'};
  CString out;
  CXmlVar("b", raw, 4).GetValue(out);
  EXPECT_EQ(out, "abcd");
}

}  // namespace
