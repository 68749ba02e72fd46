#include "vdkit/xml/string_archive.h"

#include <gtest/gtest.h>

#include <climits>
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

TEST(StringArchiveTest, IntegersBetweenSeparatorsAndBlanks) {
  CStringArchive ar("1, 2,,4", ',');
  int a = -1, b = -1, c = -1, d = -1, e = -1;
  ar >> a >> b >> c >> d;
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, -1);  // an empty word leaves the number alone
  EXPECT_EQ(d, 4);
  EXPECT_TRUE(ar.IsEOF());
  ar >> e;
  EXPECT_EQ(e, 0);  // at the end: 0

  // A blank ends a word too, and a separator after it belongs to that word.
  CStringArchive mixed("1 2,3  ,  4", ',');
  int v[4] = {};
  mixed >> v[0] >> v[1] >> v[2] >> v[3];
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], 4);
}

TEST(StringArchiveTest, FloatsGetTheMarkerAtTheEnd) {
  CStringArchive ar("1.5 2.5", ' ');
  double a = 0, b = 0, c = 0;
  ar >> a >> b >> c;
  EXPECT_EQ(a, 1.5);
  EXPECT_EQ(b, 2.5);
  EXPECT_EQ(c, static_cast<double>(9.999e-30f));  // the single-precision marker, widened
  float f = 0;
  ar >> f;
  EXPECT_EQ(f, 9.999e-30f);

  CStringArchive empty(static_cast<const char*>(nullptr), ',');
  EXPECT_TRUE(empty.IsEOF());
  float g = 1;
  empty >> g;
  EXPECT_EQ(g, CStringArchive::kMissingValue);
}

TEST(StringArchiveTest, QuotedWordsKeepBlanksAndSeparators) {
  EXPECT_EQ(Words("'a,b',c", ','), (std::vector<std::string>{"a,b", "c"}));
  EXPECT_EQ(Words("  '  padded  word '  , x", ','), (std::vector<std::string>{"padded  word", "x"}));
  EXPECT_EQ(Words("\"it's\",'say \"hi\"'", ','), (std::vector<std::string>{"it's", "say \"hi\""}));
  EXPECT_EQ(Words("'unterminated, still", ','), (std::vector<std::string>{"unterminated, still"}));
  EXPECT_EQ(Words("'a' 'b'", ','), (std::vector<std::string>{"a", "b"}));
  // Empty words between separators, and bytes from 128 up inside words.
  EXPECT_EQ(Words(",x,", ','), (std::vector<std::string>{"", "x"}));
  EXPECT_EQ(Words("\xC4\xE3\xBA\xC3 \xB5\xD8", ','),
            (std::vector<std::string>{"\xC4\xE3\xBA\xC3", "\xB5\xD8"}));
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
  CString end("x");
  ar >> end;
  EXPECT_EQ(end, "");

  EXPECT_EQ(Words("abc def", ' '), (std::vector<std::string>{"abc", "def"}));
}

TEST(StringArchiveTest, IntegerWidths) {
  CStringArchive ar("4294967295 -1 300 -129 40000 70000 99999999999 -99999999999", ' ');
  unsigned u1 = 0, u2 = 0;
  char c1 = 0;
  unsigned char c2 = 0;
  short s = 0;
  unsigned short us = 0;
  int big = 0, small = 0;
  ar >> u1 >> u2 >> c1 >> c2 >> s >> us >> big >> small;
  EXPECT_EQ(u1, 4294967295u);  // the whole unsigned range
  EXPECT_EQ(u2, 4294967295u);  // "-1" wraps
  EXPECT_EQ(c1, 44);           // 300 keeps its low 8 bits
  EXPECT_EQ(c2, 127);          // -129 likewise
  EXPECT_EQ(s, -25536);
  EXPECT_EQ(us, 4464);
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
  EXPECT_EQ(ar.GetPos(), 3);

  // A private copy leaves the caller's text alone.
  const std::string original = "ab,cd";
  CStringArchive copying(original.c_str(), ',');
  CString w;
  copying >> w;
  EXPECT_EQ(original, "ab,cd");

  // Copies read their own text, from the same position.
  CStringArchive second(ar);
  CString rest1, rest2;
  second >> rest1;
  EXPECT_EQ(rest1, "cd");
  EXPECT_STREQ(text + 3, "cd");  // not cut by the copy
  ar >> rest2;
  EXPECT_EQ(rest2, "cd");
  CStringArchive third("x", ',');
  third = copying;
  third >> rest1;
  EXPECT_EQ(rest1, "cd");

  ar.SeekTo(-5);
  EXPECT_EQ(ar.GetPos(), 0);
  ar.SeekTo(100);
  EXPECT_TRUE(ar.IsEOF());
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
  EXPECT_EQ(ar.ReadString(nullptr, 0), -1);
}

TEST(StringArchiveTest, AnyTextEndsWithoutOverrun) {
  std::mt19937 rng(7);
  const char alphabet[] = "'\", \t1a.-\x80";
  for (int round = 0; round < 2000; ++round) {
    std::string text(rng() % 24, ' ');
    for (char& c : text) c = alphabet[rng() % (sizeof(alphabet) - 1)];
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    CStringArchive ar(buf.data(), round % 3 == 0 ? ' ' : ',');
    int reads = 0;
    while (!ar.IsEOF()) {
      ASSERT_LT(++reads, 100) << text;  // every read moves on
      if (round % 2) {
        double d;
        ar >> d;
      } else {
        char small[4];
        ar.ReadString(small, sizeof small);
      }
    }
  }
}

}  // namespace
