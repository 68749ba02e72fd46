#include "vdkit/xml/string_archive.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Every word of the text read as strings, until the end.
std::vector<std::string> Words(const char* text, char separator) {
  CStringArchive ar(text, separator);
  std::vector<std::string> words;
  for (int guard = 0; !ar.IsEOF() && guard < 1000; ++guard) {
    CString w;
    ar >> w;
    words.push_back(w.GetString());
  }
  return words;
}

TEST(StringArchiveTest, NumbersBetweenSeparatorsAndBlanks) {
  // A blank ends a word too, and a separator after it belongs to that word;
  // an empty word leaves the number alone.
  CStringArchive ar("1 2,,3  ,  4", ',');
  int v[5] = {-1, -1, -1, -1, -1};
  ar >> v[0] >> v[1] >> v[4] >> v[2] >> v[3];
  EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{1, 2, 3, 4, -1}));
  ar >> v[4];
  EXPECT_EQ(v[4], 0);  // at the end: 0
  // Floats at the end get the single-precision marker.
  CStringArchive floats("1.5", ' ');
  double a = 0, b = 0;
  floats >> a >> b;
  EXPECT_EQ(a, 1.5);
  EXPECT_EQ(b, static_cast<double>(CStringArchive::kMissingValue));
}

// Number words read as atof reads them, bit for bit: the plain decimals of
// the fast path and what only atof reads (range ends, hexadecimal, junk
// after the number); in a locale with a decimal comma too, where "1.5" is 1.
TEST(StringArchiveTest, NumberWordsReadAsAtofDoes) {
  const char* const texts[] = {"-12.5",  "1e-07",  "0.1",       "9007199254740993",
                               "1e-400", "4e-320", "1e309",     "0x1.8p3",
                               "2.5abc", "+7",     "-0",        ".5",
                               "-inf",   "nan",    "00012.500", "1.7976931348623159e308"};
  auto check = [&] {
    for (const char* text : texts) {
      const double want = std::atof(text);
      const float wantFloat = static_cast<float>(want);
      double d = 0;
      float f = 0;
      CStringArchive(text, ' ') >> d;
      CStringArchive(text, ' ') >> f;
      EXPECT_EQ(std::memcmp(&d, &want, sizeof d), 0) << text;
      EXPECT_EQ(std::memcmp(&f, &wantFloat, sizeof f), 0) << text;
    }
  };
  check();
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    check();
    std::setlocale(LC_NUMERIC, "C");
  }
}

TEST(StringArchiveTest, QuotedWordsKeepBlanksAndSeparators) {
  EXPECT_EQ(Words("  '  padded, word '  , x", ','), (std::vector<std::string>{"padded, word", "x"}));
  EXPECT_EQ(Words("\"it's\",'say \"hi\"'", ','), (std::vector<std::string>{"it's", "say \"hi\""}));
  EXPECT_EQ(Words("'unterminated, still", ','), (std::vector<std::string>{"unterminated, still"}));
  EXPECT_EQ(Words(",\xC4\xE3 \xB5\xD8", ','), (std::vector<std::string>{"", "\xC4\xE3", "\xB5\xD8"}));
}

// String reads continue exactly where the word ended, as number reads do,
// so the first character of the following word is not lost.
TEST(StringArchiveTest, StringReadsContinueWhereTheWordEnded) {
  CStringArchive ar("abc,12,def 34", ',');
  CString s1, s2;
  int n1 = 0, n2 = 0;
  ar >> s1 >> n1 >> s2 >> n2;
  EXPECT_EQ(s1, "abc");
  EXPECT_EQ(n1, 12);
  EXPECT_EQ(s2, "def");
  EXPECT_EQ(n2, 34);
}

TEST(StringArchiveTest, IntegerWidths) {
  CStringArchive ar("4294967295 -1 300 40000 99999999999 -99999999999", ' ');
  unsigned u1 = 0, u2 = 0;
  char c = 0;
  short s = 0;
  int big = 0, small = 0;
  ar >> u1 >> u2 >> c >> s >> big >> small;
  EXPECT_EQ(u1, 4294967295u);  // the whole unsigned range
  EXPECT_EQ(u2, 4294967295u);  // "-1" wraps
  EXPECT_EQ(c, 44);            // 300 keeps its low 8 bits
  EXPECT_EQ(s, -25536);
  EXPECT_EQ(big, INT_MAX);  // saturates like the 32-bit atoi
  EXPECT_EQ(small, INT_MIN);
}

TEST(StringArchiveTest, InPlaceArchivesCutTheCallersBuffer) {
  char text[] = "ab,cd";
  CStringArchive ar(text, ',');
  char word[8];
  ar >> word;
  EXPECT_STREQ(word, "ab");
  EXPECT_EQ(text[2], '\0');  // the separator was cut
  // Copies read their own text, from the same position.
  CStringArchive second(ar);
  CString rest1, rest2;
  second >> rest1;
  EXPECT_EQ(rest1, "cd");
  EXPECT_STREQ(text + 3, "cd");  // not cut by the copy
  ar >> rest2;
  EXPECT_EQ(rest2, "cd");
  ar.SeekTo(-5);
  EXPECT_EQ(ar.GetPos(), 0);
}

TEST(StringArchiveTest, BoundedStringReadsCutAndSaySo) {
  CStringArchive ar("short,much-longer-word", ',');
  char buf[6];
  EXPECT_EQ(ar.ReadString(buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "short");
  EXPECT_EQ(ar.ReadString(buf, sizeof buf), 16);  // cut: 16 is not below 6
  EXPECT_STREQ(buf, "much-");
  EXPECT_EQ(ar.ReadString(buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "");
}

TEST(StringArchiveTest, AnyTextEndsWithoutOverrun) {
  std::mt19937 rng(7);
  const char alphabet[] = "'\", \t1a.-\x80";
  for (int round = 0; round < 2000; ++round) {
    std::vector<char> buf(rng() % 24 + 1, 0);
    for (size_t i = 0; i + 1 < buf.size(); ++i) buf[i] = alphabet[rng() % (sizeof(alphabet) - 1)];
    CStringArchive ar(buf.data(), round % 3 == 0 ? ' ' : ',');
    for (int reads = 0; !ar.IsEOF();) {
      ASSERT_LT(++reads, 100) << buf.data();  // every read moves on
      char small[4];
      double d;
      if (round % 2)
        ar >> d;
      else
        ar.ReadString(small, sizeof small);
    }
  }
}

}  // namespace
