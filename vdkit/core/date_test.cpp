#include "vdkit/core/date.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>

namespace {

SDate D(int year, int month, int day) {
  return SDate{static_cast<BYTE>(day), static_cast<BYTE>(month), static_cast<WORD>(year)};
}

void ExpectDate(const SDate& d, int year, int month, int day) {
  EXPECT_EQ(d.year * 10000 + d.month * 100 + d.day, year * 10000 + month * 100 + day);
}

TEST(DateTest, DayNumbersAndValidity) {
  // {year, month, day, valid}; February takes 29 days in every year.
  const int valid[][4] = {{1799, 12, 31, 0}, {2200, 12, 31, 1}, {2201, 1, 1, 0},
                          {2004, 4, 31, 0},  {2004, 2, 30, 0},  {2001, 2, 29, 1}};
  for (const auto& r : valid) EXPECT_EQ(IsValiDate(D(r[0], r[1], r[2])), r[3] != 0) << r[0] << r[1] << r[2];
  // {year, month, day, n}; leap years: 24 in 1800..1899, 24 in 1900..1999, 73 in 1900..2200.
  const int rows[][4] = {{1800, 1, 1, -(100 * 365 + 24)},
                         {1900, 3, 1, 59},  // 1900 is not a leap year in the count
                         {2000, 3, 1, 100 * 365 + 24 + 31 + 29},
                         {2200, 12, 31, 301 * 365 + 73 - 1}};
  for (const auto& r : rows) {
    EXPECT_EQ(DateToDay(r[2], r[1], r[0]), r[3]);
    ExpectDate(DayToDate(r[3]), r[0], r[1], r[2]);
  }
  EXPECT_EQ(DateToDay(29, 2, 1900), 59);                      // a 29 February that does not exist is 1 March
  EXPECT_EQ(Get2DateDay(D(2004, 2, 28), D(2004, 3, 1)), -2);  // first minus second
  ExpectDate(DateAddDay(D(1900, 1, 1), -1), 1899, 12, 31);
  // No overflow for any input (the sanitizers watch).
  (void)DateToDay(INT_MAX, INT_MAX, INT_MAX);
  (void)DateAddDay(D(65535, 255, 255), INT32_MAX);
}

TEST(DateTest, ConsecutiveDayNumbersAreConsecutiveDates) {
  // Over the accepted range and a margin: each day number is the day after its
  // predecessor's date, and maps back to itself.
  SDate prev = DayToDate(-40000);
  for (LONG n = -39999; n <= 115000; ++n) {
    const SDate d = DayToDate(n);
    ASSERT_EQ(DateToDay(d), n);
    const bool sameMonth = d.year == prev.year && d.month == prev.month && d.day == prev.day + 1;
    const bool nextMonth = d.year == prev.year && d.month == prev.month + 1 && d.day == 1;
    const bool nextYear = d.year == prev.year + 1 && d.month == 1 && d.day == 1 && prev.month == 12;
    ASSERT_TRUE(sameMonth || nextMonth || nextYear) << "day number " << n;
    prev = d;
  }
}

TEST(DateTest, ParseDate) {
  struct Row {
    const char* text;
    bool ok;
    int year, month, day;                     // what is stored, valid or not
  } rows[] = {{"99.12", true, 1999, 12, 1},   // missing day is 1
              {"7", false, 0, 0, 0},          // one number: cleared
              {"x39y3z5", true, 2039, 3, 5},  // below 40: this century
              {"40-3-5", true, 1940, 3, 5},
              {"104-3-5", true, 2004, 3, 5},    // counted from 1900
              {"1799-1-1", false, 3699, 1, 1},  // counted from 1900, out of range
              {"1800-1-1", true, 1800, 1, 1},   // accepted years read as themselves
              {"1850-6-15", true, 1850, 6, 15},
              {"2004-257-1", false, 2004, 1, 1},             // month cut to 8 bits, but judged as read
              {"2004-12            25", true, 2004, 12, 1},  // the day lies past 19 characters
              {"99999999999999999999", false, 0, 0, 0}};
  for (const Row& r : rows) {
    SDate d{9, 9, 9};
    EXPECT_EQ(StringToDate(r.text, &d), r.ok) << r.text;
    ExpectDate(d, r.year, r.month, r.day);
  }
  // The date-and-time form neither corrects the year nor validates; no day gives day 0.
  SDateTime t{7.0f, {9, 9, 9}};
  EXPECT_TRUE(StringToDate("04-2-31 12:30", &t));
  ExpectDate(t.date, 4, 2, 31);
  EXPECT_FLOAT_EQ(t.fraction, 0.12f);  // the fourth number's digits
  EXPECT_TRUE(StringToDate("2004-03", &t));
  ExpectDate(t.date, 2004, 3, 0);
  // Nine nines round to 1 as a float: the fraction stays below it, and the
  // text written keeps the day.
  EXPECT_TRUE(StringToDate("2004-3-5.999999999", &t));
  EXPECT_LT(t.fraction, 1.0f);
  CString text;
  EXPECT_TRUE(DateToString(t, text));
  EXPECT_EQ(text, "2004-3-5.99999994");
}

TEST(DateTest, FormatDate) {
  char out[kDateTextSize];
  EXPECT_FALSE(DateToString(D(2004, 2, 30), out));
  EXPECT_STREQ(out, "");
  // Every valid date reads back as itself, 1800..1899 included.
  for (LONG n = DateToDay(1, 1, 1800); n <= DateToDay(31, 12, 2200); n += 7) {
    SDate back;
    ASSERT_TRUE(DateToString(DayToDate(n), out));
    ASSERT_TRUE(StringToDate(out, &back)) << out;
    ASSERT_EQ(DateToDay(back), n) << out;
  }
}

TEST(DateTest, FormatDateTime) {
  struct Row {
    SDateTime t;
    const char* text;
  } rows[] = {{{0.0f, D(2004, 3, 5)}, "2004-03-05"},
              {{0.25f, D(2004, 3, 5)}, "2004-3-5.25"},
              // Six digits that do not read back give way to the fewest that do:
              // a moment before midnight keeps its day, a moment after it its time.
              {{0.9999999f, D(2004, 3, 31)}, "2004-3-31.9999999"},
              {{0.0000004f, D(2004, 3, 9)}, "2004-3-9.0000004"},
              // Too many digits for the 19 characters read: as close as they allow.
              {{0.0123456789f, D(2004, 12, 25)}, "2004-12-25.01234568"}};
  for (const Row& r : rows) {
    CString s;
    EXPECT_TRUE(DateToString(r.t, s));
    EXPECT_EQ(s, r.text);
    SDateTime back;
    ASSERT_TRUE(StringToDate(s, &back));
    ExpectDate(back.date, r.t.date.year, r.t.date.month, r.t.date.day);
    EXPECT_NEAR(back.fraction, r.t.fraction, 5e-9);
  }
}

// Random times, among them times of whole seconds, tiny fractions and
// fractions just below 1: each text keeps its day, reads back exactly where
// the 19 characters read have room for it (always from 0.125 on) and within
// 1e-8 otherwise, and the value read writes the same text again.
TEST(DateTest, DateTimeTextsReadBackExactlyAndStayFixed) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> year(1800, 2100), month(1, 12), day(1, 28), second(1, 86399), shift(1, 40);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 6000; ++i) {
    SDateTime t{unit(rng), D(year(rng), month(rng), day(rng))};
    if (i % 4 == 1) t.fraction = static_cast<float>(second(rng) / 86400.0);
    if (i % 4 == 2) t.fraction = std::ldexp(t.fraction, -shift(rng));
    if (i % 4 == 3) t.fraction = 1.0f - std::ldexp(t.fraction, -shift(rng) / 2);
    if (!(t.fraction > 0 && t.fraction < 1)) continue;
    CString s;
    ASSERT_TRUE(DateToString(t, s));
    SDateTime back;
    ASSERT_TRUE(StringToDate(s, &back)) << s;
    ASSERT_EQ(std::memcmp(&back.date, &t.date, sizeof t.date), 0) << s;
    if (t.fraction >= 0.125f) {
      ASSERT_EQ(back.fraction, t.fraction) << s;
    } else {
      ASSERT_NEAR(back.fraction, t.fraction, 1e-8) << s;
    }
    CString again;
    ASSERT_TRUE(DateToString(back, again));
    ASSERT_EQ(again, s);
  }
}

TEST(DateTest, BoundedFormsCutAndNeverOverrun) {
  // "2004-3-5" is 8 characters: 9 bytes fit, 8 cut the last one off.
  char out[16];
  std::memset(out, 'x', sizeof out);
  EXPECT_TRUE(DateToString(D(2004, 3, 5), out, 9));
  EXPECT_STREQ(out, "2004-3-5");
  std::memset(out, 'x', sizeof out);
  EXPECT_FALSE(DateToString(D(2004, 3, 5), out, 8));
  EXPECT_STREQ(out, "2004-3-");
  EXPECT_EQ(out[8], 'x');
  // "2004-3-5.25" is 11 characters.
  EXPECT_FALSE(DateToString(SDateTime{0.25f, D(2004, 3, 5)}, out, 11));
  EXPECT_STREQ(out, "2004-3-5.2");
}

}  // namespace
