#include "vdkit/vdb/table_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

void PutFloat(CVdbTable& t, const char* field, float v) {
  std::memcpy(t.GetFieldVaptr(field), &v, 4);
}

void PutDate(CVdbTable& t, const char* field, int y, int m, int d, float fraction) {
  SDateTime v = {fraction, {static_cast<BYTE>(d), static_cast<BYTE>(m), static_cast<WORD>(y)}};
  std::memcpy(t.GetFieldVaptr(field), &v, 8);
}

int Ymd(const SDateTime& t) {
  return t.date.year * 10000 + t.date.month * 100 + t.date.day;
}

void MakeChartView(CVdbTableView& v) {
  v.AddField("DATE", VDB_DATE, 1);
  v.AddField("T", VDB_FLOAT, 1);
  v.AddField("P", VDB_FLOAT, 1);
}

TEST(TableViewTest, RegisterOfFloatsAndDates) {
  CVdbTableView v;
  MakeChartView(v);
  // Before any record there is no register: the accessors give scratch values.
  EXPECT_TRUE(IsVdbNull(v.Max(1)));
  SDateTime a{}, b{};
  EXPECT_FALSE(v.tMinMax(a, b));
  float lo = -1, hi = -1;
  const float t[] = {3.5f, VDB_NULL_FLOAT, -1.0f};
  for (float x : t) {
    v.AddNew();
    PutFloat(v, "T", x);
    PutDate(v, "DATE", 2004, 3, 7, 0);
  }
  v.MoveTo(1);
  v.AuToMMX();
  EXPECT_EQ(v.GetRecordID(), 2u);  // the current record stays
  EXPECT_EQ(v.Min(1), -1.0f);
  EXPECT_EQ(v.Max(1), 3.5f);
  EXPECT_EQ(v.Min(2), 0.0f);  // P is null everywhere
  EXPECT_TRUE(IsVdbNull(v.Max(2)));
  EXPECT_FALSE(v.MinMax(2, lo, hi));
  // One date: ten days either side.
  ASSERT_TRUE(v.tMinMax(a, b));
  EXPECT_EQ(Ymd(a), 20040226);
  EXPECT_EQ(Ymd(b), 20040317);

  // Out-of-range indexes read scratch values, never outside the arrays.
  EXPECT_EQ(v.Min(-1), 0.0f);
  EXPECT_TRUE(IsVdbNull(v.Max(99)));
  EXPECT_FALSE(v.MinMax(3, lo, hi));
  // A field added later is outside the register until AuToMMX grows it, keeping the earlier values.
  v.AddField("Q", VDB_FLOAT, 1);
  v.MoveTo(0);
  PutFloat(v, "Q", 7);
  PutFloat(v, "T", 10);
  EXPECT_TRUE(IsVdbNull(v.Max(3)));
  v.AuToMMX();
  EXPECT_EQ(v.Max(3), 7.0f);
  EXPECT_EQ(v.Max(1), 10.0f);
  EXPECT_EQ(v.Min(1), -1.0f);
}

TEST(TableViewTest, DatesSpanAndEmptyDatesAreNoDates) {
  CVdbTableView v;
  MakeChartView(v);
  v.AddNew();
  PutDate(v, "DATE", 2004, 3, 7, 0.5f);
  v.AddNew();  // no date: all zero
  v.AddNew();
  PutDate(v, "DATE", 2003, 12, 31, 0.25f);
  SDateTime& lo = v.tMin();  // runs AuToMMX
  EXPECT_EQ(Ymd(lo), 20031231);
  EXPECT_EQ(lo.fraction, 0.25f);
  EXPECT_EQ(Ymd(v.tMax()), 20040307);
  EXPECT_EQ(v.tMax().fraction, 0.5f);
  // Day 0 (1900-01-01 at midnight) is a date like any other.
  CVdbTableView w;
  MakeChartView(w);
  w.AddNew();
  PutDate(w, "DATE", 1900, 1, 1, 0);
  w.AuToMMX();
  EXPECT_EQ(Ymd(w.tMin()), 18991222);
  EXPECT_EQ(Ymd(w.tMax()), 19000111);
}

// Sets the register of a one-field view to (m, h) and returns MinMax.
struct Limits {
  bool ok;
  float lo, hi;
};
Limits RoundedLimits(float m, float h) {
  CVdbTableView v;
  v.AddField("X", VDB_FLOAT, 1);
  v.AddNew();
  PutFloat(v, "X", 1);
  v.AuToMMX();
  v.Min(0) = m;
  v.Max(0) = h;
  Limits r{};
  r.ok = v.MinMax(0, r.lo, r.hi);
  return r;
}

TEST(TableViewTest, MinMaxRoundsToTheStepOfTheMagnitude) {
  struct Row {
    float m, h, lo, hi;
  } rows[] = {
      {37, 37.3f, 35, 38},   // 37: 10^0.568 * 2 = 7.4 -> 7 * 10 / 2
      {12, 97.3f, 10, 98},   // 97.3 * 2 = 194.6 -> 195 / 2 = 97.5 -> 98
      {5, 5, 0, 5.1f},       // below 10 -> 0; float log10(5) a hair high: 5.1 (as before)
      {100, 100, 100, 101},  // both 100: hi comes out 100 as well, so 101
      {0, 0, 0, 1},
      {50, 10, 45, 10},      // a caller's limits the wrong way round stay so
      {-5, -10, -5, -10},
      {1e8f, 1e8f, 1e8f, 100000008},  // lo + 1 == lo: the next float up
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.m << " .. " << r.h);
    const Limits l = RoundedLimits(r.m, r.h);
    ASSERT_TRUE(l.ok);
    EXPECT_FLOAT_EQ(l.lo, r.lo);
    EXPECT_FLOAT_EQ(l.hi, r.hi);
  }
  // A float logarithm rounded onto the step would put the limit on the
  // wrong side of a value just off a power of ten.
  const float below = std::nextafter(100.0f, 0.0f), above = std::nextafter(100.0f, 1000.0f);
  const Limits l = RoundedLimits(below, above);
  EXPECT_LE(l.lo, below);
  EXPECT_GE(l.hi, above);
}

TEST(TableViewTest, MinMaxBracketsRandomValues) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> mantissa(1.0f, 10.0f);
  std::uniform_int_distribution<int> exponent(-8, 30);
  std::uniform_int_distribution<int> sign(0, 5);
  for (int i = 0; i < 5000; ++i) {
    float a = mantissa(rng) * std::pow(10.0f, static_cast<float>(exponent(rng)));
    float b = mantissa(rng) * std::pow(10.0f, static_cast<float>(exponent(rng)));
    if (sign(rng) == 0) a = -a;
    if (sign(rng) == 0) b = -b;
    const float m = std::min(a, b), h = std::max(a, b);
    const Limits l = RoundedLimits(m, h);
    ASSERT_TRUE(l.ok);
    ASSERT_LE(l.lo, m) << m << " .. " << h;
    ASSERT_GE(l.hi, h) << m << " .. " << h;
    ASSERT_GT(l.hi, l.lo) << m << " .. " << h;
  }
}

TEST(TableViewTest, EmptinessOfFieldsAndOfTheView) {
  CVdbTableView v;
  MakeChartView(v);
  EXPECT_TRUE(v.IsEmpty(1));  // no records
  EXPECT_TRUE(v.IsEmpty(-1));
  v.AddNew();
  v.AddNew();
  v.GetFirstFloatIndex();
  EXPECT_TRUE(v.IsEmpty(1));
  EXPECT_TRUE(v.IsEmpty(-1));
  v.AuToMMX();                // a register with no values...
  PutFloat(v, "P", 2);        // ...made stale by a value in record 2
  EXPECT_TRUE(v.IsEmpty(0));  // below the first float index
  EXPECT_TRUE(v.IsEmpty(3));  // past the fields
  EXPECT_TRUE(v.IsEmpty(1));
  EXPECT_FALSE(v.IsEmpty(2));
  EXPECT_EQ(v.GetRecordID(), 2u);  // left on the record that answered
  // The whole view: the records are asked, so the stale register does not
  // matter, and the cursor stays.
  v.MoveTo(0);
  EXPECT_FALSE(v.IsEmpty(-1));
  EXPECT_EQ(v.GetRecordID(), 1u);
}

TEST(TableViewTest, AssignmentCopiesTheRegister) {
  CVdbTableView a;
  MakeChartView(a);
  a.AddNew();
  PutFloat(a, "T", 4);
  PutDate(a, "DATE", 2010, 5, 5, 0);
  a.AuToMMX();
  CVdbTableView b;
  b = a;
  EXPECT_EQ(b.tMin().date.day, a.tMin().date.day);
  EXPECT_EQ(b.Max(1), 4.0f);
  b.Max(1) = 9;  // the copy has its own register
  EXPECT_EQ(a.Max(1), 4.0f);
}

// Found by fuzzing: fields of no bytes (a count of 0 from a stream) and damaged floats.
TEST(TableViewTest, DamagedLayoutsAndValues) {
  CVdbTableView e;
  for (const char* name : {"DATE", "T"}) {
    auto* f = new SVdbField;
    f->SetName(name);
    f->m_nType = name[0] == 'T' ? VDB_FLOAT : VDB_DATE;
    f->m_nCount = 0;
    e.GetFieldSet()->AppendField(f);  // record size stays 0
  }
  e.AddNew();
  e.AuToMMX();
  EXPECT_TRUE(IsVdbNull(e.Max(1)));
  EXPECT_TRUE(e.IsEmpty(-1));
  EXPECT_EQ(e.Date(), nullptr);

  CVdbTableView v;
  MakeChartView(v);
  v.AddNew();
  PutDate(v, "DATE", 2004, 3, 7, std::nanf(""));  // no time at all: skipped
  PutFloat(v, "T", std::nanf(""));                // no value either
  v.AddNew();
  PutDate(v, "DATE", 2004, 3, 7, 0);
  v.AddNew();
  PutDate(v, "DATE", 2004, 3, 7, 3e38f);  // far past any day: conversions stay defined
  v.AuToMMX();
  EXPECT_TRUE(IsVdbNull(v.Max(1)));
}

}  // namespace
