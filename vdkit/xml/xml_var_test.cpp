#include "vdkit/xml/xml_var.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
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

TEST(XmlVarTest, PlainValuesWriteTheirTextForms) {
  EXPECT_EQ(Text(true), "true");
  EXPECT_EQ(Text(false), "false");
  EXPECT_EQ(Text(static_cast<char>(-128)), "-128");
  EXPECT_EQ(Text(static_cast<char>(127)), "127");
  EXPECT_EQ(Text(static_cast<short>(-32768)), "-32768");
  EXPECT_EQ(Text(static_cast<short>(32767)), "32767");
  EXPECT_EQ(Text(INT_MIN), "-2147483648");
  EXPECT_EQ(Text(INT_MAX), "2147483647");
  EXPECT_EQ(Text(LONG_MIN), "-9223372036854775808");  // long is 64-bit here
  EXPECT_EQ(Text(static_cast<unsigned char>(255)), "255");
  EXPECT_EQ(Text(static_cast<unsigned short>(65535)), "65535");
  EXPECT_EQ(Text(4294967295u), "4294967295");
  EXPECT_EQ(Text(ULONG_MAX), "18446744073709551615");

  // Floats: "%g" where it reads back equal, more digits where it does not.
  EXPECT_EQ(Text(0.1f), "0.1");
  EXPECT_EQ(Text(1.5e-7f), "1.5e-07");
  EXPECT_EQ(Text(16777216.0f), "16777216");   // "%g" gives 1.67772e+07
  EXPECT_EQ(Text(1234567.0f), "1234567");     // "%g" gives 1.23457e+06
  EXPECT_EQ(Text(FLT_MAX), "3.4028235e+38");  // "%g" and "%.7g" read back below it
  // Doubles: "%.16lg" where it reads back equal, else "%.17lg".
  EXPECT_EQ(Text(0.1), "0.1");
  EXPECT_EQ(Text(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(Text(0.1 + 0.2), "0.30000000000000004");    // "%.16lg" gives 0.3
  EXPECT_EQ(Text(DBL_MAX), "1.7976931348623157e+308");  // "%.16lg" would overflow to inf
  EXPECT_EQ(Text(-0.0), "-0");
  EXPECT_EQ(Text(1e23), "9.999999999999999e+22");

  CString s("a;b<c>");
  EXPECT_EQ(Text(s), "a;b<c>");
}

TEST(XmlVarTest, EveryValueKindReadsBackEqual) {
  for (bool v : {true, false}) EXPECT_EQ(RoundTrip(v, !v), v);
  for (int v : {CHAR_MIN, -1, 0, CHAR_MAX})
    EXPECT_EQ(RoundTrip(static_cast<char>(v), 'x'), static_cast<char>(v));
  for (int v : {SHRT_MIN, -1, SHRT_MAX}) EXPECT_EQ(RoundTrip<short>(static_cast<short>(v), 7), v);
  for (int v : {INT_MIN, -1, 0, INT_MAX}) EXPECT_EQ(RoundTrip(v, 7), v);
  for (long v : {LONG_MIN, -1L, LONG_MAX}) EXPECT_EQ(RoundTrip(v, 7L), v);
  for (int v : {0, 128, 255}) EXPECT_EQ(RoundTrip<unsigned char>(static_cast<unsigned char>(v), 7), v);
  for (int v : {0, 32768, 65535}) EXPECT_EQ(RoundTrip<unsigned short>(static_cast<unsigned short>(v), 7), v);
  for (unsigned v : {0u, 2147483648u, 4294967295u}) EXPECT_EQ(RoundTrip(v, 7u), v);
  for (unsigned long v : {0UL, 4294967296UL, ULONG_MAX}) EXPECT_EQ(RoundTrip(v, 7UL), v);

  const float floats[] = {0.0f,
                          -0.0f,
                          0.1f,
                          1.0f / 3.0f,
                          16777216.0f,
                          16777217.0f,
                          3.4028235e38f,
                          FLT_MIN,
                          FLT_TRUE_MIN,
                          -2.5e-20f,
                          std::numeric_limits<float>::infinity()};
  for (float v : floats) {
    SCOPED_TRACE(v);
    const float back = RoundTrip(v, 7.0f);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0);
  }
  const double doubles[] = {0.0,
                            -0.0,
                            0.1,
                            0.1 + 0.2,
                            1.0 / 3.0,
                            2.0 / 3.0,
                            1e23,
                            5e-324,
                            2.2250738585072014e-308,
                            DBL_MAX,
                            -DBL_MAX,
                            123456789012345678.0,
                            9007199254740993.0,
                            0.7,
                            1.1,
                            -std::numeric_limits<double>::infinity()};
  for (double v : doubles) {
    SCOPED_TRACE(v);
    const double back = RoundTrip(v, 7.0);
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0);
  }
  EXPECT_TRUE(std::isnan(RoundTrip(std::nan(""), 7.0)));

  CString s("text with ; and : and \"quotes\"");
  EXPECT_EQ(RoundTrip(s, CString("old")), s);
  CString empty;
  EXPECT_EQ(RoundTrip(empty, CString("old")), empty);
}

TEST(XmlVarTest, IntegerTextsConvertAtTheTypesWidth) {
  // Unsigned kinds reach their whole range; negative texts wrap as strtoul's do.
  EXPECT_EQ(Read<unsigned>("4294967295"), 4294967295u);
  EXPECT_EQ(Read<unsigned>("-1"), 4294967295u);
  EXPECT_EQ(Read<unsigned>("99999999999"), 4294967295u);
  EXPECT_EQ(Read<unsigned char>("-1"), 255);
  EXPECT_EQ(Read<unsigned char>("256"), 0);
  EXPECT_EQ(Read<unsigned short>("65537"), 1);
  // Signed 32-bit texts saturate as the framework's atoi did; narrower kinds
  // keep the low bits.
  EXPECT_EQ(Read<int>("2147483648"), INT_MAX);
  EXPECT_EQ(Read<int>("-2147483649"), INT_MIN);
  EXPECT_EQ(Read<int>("  +42xyz"), 42);
  EXPECT_EQ(Read<int>("xyz", 5), 0);
  EXPECT_EQ(Read<char>("300"), 44);
  EXPECT_EQ(Read<char>("-129"), 127);
  EXPECT_EQ(Read<short>("40000"), -25536);
  EXPECT_EQ(Read<long>("99999999999999999999"), LONG_MAX);
  EXPECT_EQ(Read<double>("1.5e3junk"), 1500.0);
}

TEST(XmlVarTest, NullAndEmptyTexts) {
  int i = 5;
  CXmlVar vi("i", i);
  EXPECT_TRUE(vi.SetValue(""));
  EXPECT_EQ(i, 5);
  EXPECT_FALSE(vi.SetValue(nullptr));
  EXPECT_EQ(i, 5);

  bool b = true;
  CXmlVar vb("b", b);
  EXPECT_TRUE(vb.SetValue(""));
  EXPECT_TRUE(b);
  EXPECT_TRUE(vb.SetValue("no"));
  EXPECT_FALSE(b);
  EXPECT_TRUE(vb.SetValue("TRUE"));
  EXPECT_TRUE(b);

  CString s("old");
  EXPECT_TRUE(CXmlVar("s", s).SetValue(nullptr));
  EXPECT_EQ(s, "");

  RECT r = {1, 2, 3, 4};
  EXPECT_FALSE(CXmlVar("r", r).SetValue(nullptr));
  EXPECT_TRUE(CXmlVar("r", r).SetValue(""));
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.bottom, 4);

  // A text-only variable converts nothing.
  CXmlVar text("x:1");
  CString out("kept");
  EXPECT_FALSE(text.GetValue(out));
  EXPECT_EQ(out, "kept");
  EXPECT_FALSE(text.SetValue("x:2"));
  EXPECT_STREQ(text.GetString(), "x:1");
  EXPECT_EQ(text.GetName(), nullptr);
  EXPECT_EQ(text.GetType(), CXmlVar::typeText);
}

TEST(XmlVarTest, CompositesWriteKeyValueTexts) {
  RECT r = {1, 2, 3, 4};
  EXPECT_EQ(Text(r), "l:1;t:2;r:3;b:4");
  RECT extreme = {INT_MIN, -1, 0, INT_MAX};
  EXPECT_EQ(Text(extreme), "l:-2147483648;t:-1;r:0;b:2147483647");
  POINT p = {-7, 8};
  EXPECT_EQ(Text(p), "x:-7;y:8");
  SIZE sz = {640, 480};
  EXPECT_EQ(Text(sz), "cx:640;cy:480");
  LOGPEN pen = {PS_DASH, {3, 99}, RGB(255, 0, 0)};
  EXPECT_EQ(Text(pen), "s:1;w:3;c:255");  // only x of the width point
  LOGBRUSH brush = {BS_HATCHED, RGB(0, 0, 255), HS_DIAGCROSS};
  EXPECT_EQ(Text(brush), "s:2;h:5;c:16711680");  // blue is 0xFF << 16
  LOGPEN none = {PS_NULL, {0, 0}, 0xFFFFFFFFu};
  EXPECT_EQ(Text(none), "s:5;w:0;c:-1");  // colours are written signed...
  LOGPEN back = RoundTrip(none);
  EXPECT_EQ(back.lopnColor, 0xFFFFFFFFu);  // ...and read unsigned

  for (const RECT& v : {r, extreme}) {
    const RECT got = RoundTrip(v, RECT{9, 9, 9, 9});
    EXPECT_EQ(std::memcmp(&got, &v, sizeof v), 0);
  }
  const POINT gp = RoundTrip(p, POINT{9, 9});
  EXPECT_EQ(gp.x, -7);
  EXPECT_EQ(gp.y, 8);
  const SIZE gs = RoundTrip(sz, SIZE{9, 9});
  EXPECT_EQ(gs.cx, 640);
  EXPECT_EQ(gs.cy, 480);
  const LOGBRUSH gb = RoundTrip(brush, LOGBRUSH{9, 9, 9});
  EXPECT_EQ(gb.lbStyle, static_cast<UINT>(BS_HATCHED));
  EXPECT_EQ(gb.lbHatch, static_cast<ULONG_PTR>(HS_DIAGCROSS));
  EXPECT_EQ(gb.lbColor, RGB(0, 0, 255));
}

TEST(XmlVarTest, CompositesReadTheKeysPresent) {
  RECT r = {1, 2, 3, 4};
  EXPECT_TRUE(CXmlVar("r", r).SetValue("t:20;l:10"));
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 3);
  EXPECT_EQ(r.bottom, 4);

  SIZE s = {0, 0};
  CXmlVar("s", s).SetValue("CX:5;cy:6");  // keys ignore case
  EXPECT_EQ(s.cx, 5);
  EXPECT_EQ(s.cy, 6);

  // A key that is a prefix of another does not match it.
  LOGPEN pen = {0, {0, 0}, 0};
  CXmlVar("p", pen).SetValue("cx:1;c:2;w:4");
  EXPECT_EQ(pen.lopnColor, 2u);
  EXPECT_EQ(pen.lopnWidth.x, 4);
  EXPECT_EQ(pen.lopnStyle, 0u);

  int c = 0;
  CXmlVar text("cx:1;c:2");
  EXPECT_TRUE(text >> CXmlVar("c", c));
  EXPECT_EQ(c, 2);
  int missing = 9;
  EXPECT_FALSE(text >> CXmlVar("d", missing));
  EXPECT_EQ(missing, 9);
  EXPECT_FALSE(CXmlVar("") >> CXmlVar("c", c));
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
  EXPECT_EQ(Text(font), "name:Arial;height:12;");
  LOGFONTA back;
  std::memset(&back, 0x5A, sizeof back);
  back = RoundTrip(font, back);
  EXPECT_EQ(std::memcmp(&back, &font, sizeof font), 0);  // every other field cleared to 0

  LOGFONTA full = {-11, 5, 900, 450, FW_BOLD, 1, 1, 1, 134, 3, 2, 4, 0x31, "Song Ti"};
  EXPECT_EQ(Text(full),
            "name:Song Ti;height:-11;width:5;escapement:900;weight:700;orientation:450;italic:1;"
            "underline:1;strikeOut:1;charSet:134;outPrecision:3;clipPrecision:2;quality:4;pitchAndFamily:49");
  back = RoundTrip(full, back);
  EXPECT_EQ(std::memcmp(&back, &full, sizeof full), 0);
  LOGFONTA high = {};
  high.lfCharSet = 255;  // byte fields are written unsigned
  EXPECT_EQ(Text(high), "name:;charSet:255;");

  // The font form is appended to what the string holds.
  CString out("prefix;");
  CXmlVar("f", font).GetValue(out);
  EXPECT_EQ(out, "prefix;name:Arial;height:12;");

  // A face name longer than the field is cut to 31 characters.
  LOGFONTA cut;
  std::memset(&cut, 0x5A, sizeof cut);
  CXmlVar("f", cut).SetValue(("name:" + std::string(40, 'F') + ";weight:400").c_str());
  EXPECT_EQ(std::string(cut.lfFaceName), std::string(31, 'F'));
  EXPECT_EQ(cut.lfWeight, 400);
  EXPECT_EQ(cut.lfHeight, 0);
}

TEST(XmlVarTest, DatesUseTheirTextForms) {
  SDate d = {5, 3, 2004};
  EXPECT_EQ(Text(d), "2004-3-5");
  SDateTime dateOnly = {0.0f, {5, 3, 2004}};
  EXPECT_EQ(Text(dateOnly), "2004-03-05");
  SDateTime t = {0.25f, {5, 3, 2004}};
  EXPECT_EQ(Text(t), "2004-3-5.25");
  SDate invalid = {30, 2, 2004};
  EXPECT_EQ(Text(invalid), "");  // written as nothing, GetValue still true

  const SDate bd = RoundTrip(d, SDate{1, 1, 1999});
  EXPECT_EQ(std::memcmp(&bd, &d, sizeof d), 0);
  const SDateTime bt = RoundTrip(t, SDateTime{0.5f, {1, 1, 1999}});
  EXPECT_EQ(bt.fraction, 0.25f);
  EXPECT_EQ(bt.date.day, 5);
  SDate bad = {1, 1, 1999};
  EXPECT_TRUE(CXmlVar("d", bad).SetValue("nonsense"));  // true though it did not parse
  EXPECT_EQ(bad.year, 0);
}

TEST(XmlVarTest, BuffersCopyWholeOrBounded) {
  char big[32] = "old";
  EXPECT_TRUE(CXmlVar("b", big).SetValue("hello"));
  EXPECT_STREQ(big, "hello");
  EXPECT_EQ(Text(static_cast<char*>(big)), "hello");

  char small[6];
  std::memset(small, 'x', sizeof small);
  CXmlVar bounded("b", small, static_cast<int>(sizeof small));
  EXPECT_TRUE(bounded.SetValue("12345"));
  EXPECT_STREQ(small, "12345");
  EXPECT_FALSE(bounded.SetValue("1234567890"));  // cut, and says so
  EXPECT_STREQ(small, "12345");
  EXPECT_TRUE(bounded.SetValue(nullptr));
  EXPECT_STREQ(small, "");
  char none[1] = {'z'};
  EXPECT_FALSE(CXmlVar("b", none, 0).SetValue("a"));
  EXPECT_EQ(none[0], 'z');

  // Reading an unterminated bounded buffer stops at its end.
  char raw[4] = {'a', 'b', 'c', 'd'};
  CString out;
  CXmlVar("b", raw, 4).GetValue(out);
  EXPECT_EQ(out, "abcd");
}

}  // namespace
