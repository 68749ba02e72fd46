#include "vdkit/vdb/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<DWORD> Ids(const CVdbTable& t) {
  std::vector<DWORD> ids;
  for (LONG i = 0; i < t.GetRecordCount(); ++i) ids.push_back(t.GetRecordAt(i)->m_nID);
  return ids;
}

std::string Text(CVdbTable& t, const char* field, int decimals = -1) {
  CString s;
  t.GetFieldValue(field, s, decimals);
  return s.GetString();
}

void PutDate(CVdbTable& t, int field, int year, int month, int day, float fraction = 0) {
  SDateTime dt = {fraction, {static_cast<BYTE>(day), static_cast<BYTE>(month), static_cast<WORD>(year)}};
  std::memcpy(t.GetFieldVaptr(field), &dt, 8);
}

TEST(CVdbTableTest, CursorStatesAndIdentifiersThatOnlyGrow) {
  CVdbTable t;
  t.AddField("N", VDB_LONG, 1);
  t.DeleteRecord();  // nothing to delete
  for (int i = 0; i < 3; ++i) t.AddNew();
  EXPECT_FALSE(t.MoveToNext());  // past the last: no current record, and values need one
  EXPECT_EQ(t.GetRecord(), nullptr);
  EXPECT_FALSE(t.SetFieldValue(0, "5"));
  EXPECT_EQ(t.GetFieldVaptr(0), nullptr);
  EXPECT_FALSE(t.MoveTo(3));
  EXPECT_TRUE(t.MoveToLast());
  EXPECT_TRUE(t.MoveToPrev());
  t.DeleteRecord();
  EXPECT_EQ(t.GetCursor(), 1);
  EXPECT_EQ(t.GetRecordID(), 3u);
  t.DeleteRecord();  // the last: the new last becomes current
  EXPECT_EQ(t.GetRecordID(), 1u);
  t.DeleteAllRecords();  // identifiers are never reused
  t.AddNew();
  EXPECT_EQ(Ids(t), (std::vector<DWORD>{4}));
  t.ResetContent();
  t.AddNew();
  EXPECT_EQ(t.GetRecordID(), 5u);
}

TEST(CVdbTableTest, DeleteAndInsert) {
  CVdbTable u;
  u.AddField("N", VDB_LONG, 1);
  u.InsertNew();  // no records: as AddNew
  u.AddNew();     // A = 1, B = 2, B current
  u.InsertNew();
  EXPECT_EQ(Ids(u), (std::vector<DWORD>{1, 3, 2}));
  EXPECT_EQ(u.GetCursor(), 1);
  EXPECT_EQ(u.GetRecordID(), 3u);
  // A failed typed search leaves the cursor before the first record; an
  // insertion there goes first.
  SVdbVariant id;
  id << 5u;  // DATAID on a LONG field
  EXPECT_FALSE(u.LocatOn(0, id));
  EXPECT_EQ(u.GetCursor(), -1);
  u.InsertNew();
  EXPECT_EQ(Ids(u), (std::vector<DWORD>{4, 1, 3, 2}));
  EXPECT_EQ(u.GetCursor(), 0);
  // Past the end, after a value search found nothing, InsertNew appends and
  // DeleteRecord removes the record still designated.
  SVdbVariant none;
  none << 99;
  u.MoveTo(1);
  EXPECT_FALSE(u.LocatOn(0, none));
  EXPECT_EQ(u.GetCursor(), 4);
  EXPECT_EQ(u.GetRecordID(), 1u);
  EXPECT_FALSE(u.MoveToNext());
  u.MoveTo(2);
  EXPECT_FALSE(u.LocatOn(0, none));
  u.DeleteRecord();  // record 3, designated at index 2
  EXPECT_EQ(Ids(u), (std::vector<DWORD>{4, 1, 2}));
  EXPECT_EQ(u.GetRecordID(), 2u);
  EXPECT_FALSE(u.LocatOn(0, none));
  u.InsertNew();
  EXPECT_EQ(Ids(u), (std::vector<DWORD>{4, 1, 2, 5}));
}

TEST(CVdbTableTest, NewRecordsAndTextValues) {
  CVdbTable t;
  for (const char* def :
       {"F:FLOAT", "D:DOUBLE*2", "L:LONG", "B:BYTE", "S:SHORT", "Str:STRING*4", "C:CHAR", "Id:DATAID"})
    t.AddField(def, 0, 1);
  t.AddNew();
  EXPECT_EQ(Text(t, "D"), "");
  EXPECT_EQ(Text(t, "L"), "0");
  EXPECT_TRUE(t.IsFieldEmpty(0, true));
  EXPECT_TRUE(t.IsFieldEmpty(2, true));
  // The second value of a DOUBLE*2 starts at zero, not the marker.
  double second;
  std::memcpy(&second, t.GetFieldVaptr("D") + 8, 8);
  EXPECT_EQ(second, 0.0);

  // Integers cut toward zero, BYTE keeps the low 8 bits, "" or "*" store the null marker.
  const char* rows[][3] = {{"L", "12.7", "12"}, {"B", "300", "44"},        {"B", "", "0"},
                           {"F", "*", ""},      {"Str", "abcdef", "abcd"}, {"C", "Qrs", "Q"}};
  for (const auto& r : rows) {
    EXPECT_TRUE(t.SetFieldValue(r[0], r[1]));
    EXPECT_EQ(Text(t, r[0]), r[2]) << r[0] << " <- '" << r[1] << "'";
  }
  EXPECT_TRUE(t.IsFieldEmpty(0, false));
  t.SetFieldValue("F", "12.7");
  EXPECT_EQ(float{t.Float("F")}, 12.7f);
  EXPECT_EQ(Text(t, "F", 2), "12.70");
  t.SetFieldValue("Id", "4000000000");
  EXPECT_EQ(static_cast<DWORD>(LONG{t.Long("Id")}), 4000000000u);
  t.SetFieldValue("L", "1e30");  // out of range: no undefined conversion
}

TEST(CVdbTableTest, TypedReferencesStayInsideTheRecord) {
  CVdbTable t;
  t.AddField("B", VDB_BYTE, 1);
  t.AddField("F", VDB_FLOAT, 1);  // at offset 1
  t.AddField("Tail", VDB_BYTE, 1);
  t.AddNew();
  t.Float("F") = 2.5f;  // an unaligned field
  t.Float(1) += 1.0f;
  // Read unaligned values by value: gtest would bind a plain reference.
  EXPECT_EQ(float{t.Float("F")}, 3.5f);
  VdbLong& l = t.Long(1);
  l = 7;
  EXPECT_EQ(LONG{t.Long(1)}, 7);
  // A four-byte view of the last byte would leave the record: scratch.
  VdbFloat& scratch = t.Float("Tail");
  EXPECT_NE(reinterpret_cast<BYTE*>(&scratch), t.GetFieldVaptr("Tail"));
  EXPECT_EQ(&t.Float("nosuch"), &scratch);
  EXPECT_EQ(&t.ValueDate(0), &t.ValueDate("nosuch"));
  t.MoveTo(5);
  EXPECT_EQ(&t.Long(0), &t.Long("nosuch"));
}

TEST(CVdbTableTest, SearchByIdentifier) {
  CVdbTable t;
  t.AddField("N", VDB_LONG, 1);
  for (int i = 0; i < 500; ++i) t.AddNew();
  // Enough lookups to build the index, in and out of identifier order.
  t.MoveTo(10);
  t.InsertNew();  // identifier 501 at index 10
  for (DWORD id : {501u, 1u, 500u, 10u}) {
    ASSERT_TRUE(t.LocatOn(id)) << id;
    EXPECT_EQ(t.GetRecordID(), id);
  }
  t.LocatOn(250u);  // changes of the record list are seen at once
  t.DeleteRecord();
  EXPECT_FALSE(t.LocatOn(250u));
  EXPECT_TRUE(t.LocatOn(251u));
  t.MoveTo(400);  // a duplicate identifier: the first in table order wins
  t.SetRecordID(7);
  t.MoveTo(300);
  EXPECT_TRUE(t.LocatOn(7u));
  EXPECT_EQ(t.GetCursor(), 6);
}

TEST(CVdbTableTest, SearchByValueAndBytes) {
  CVdbTable t;
  for (const char* def : {"N:LONG", "Name:STRING*8", "Many:DOUBLE*3"})
    t.AddField(def, 0, 1);  // 24 bytes: past a variant
  const char* names[] = {"a", "b", "a", "c"};
  for (int i = 0; i < 4; ++i) {
    t.AddNew();
    t.Long(0) = i % 2;
    t.SetFieldValue(1, names[i]);
  }
  SVdbVariant one;
  one << 1;
  EXPECT_TRUE(t.LocatOn(0, one));
  EXPECT_EQ(t.GetCursor(), 1);
  EXPECT_TRUE(t.LocatOnNext(0, one));
  EXPECT_EQ(t.GetCursor(), 3);
  EXPECT_FALSE(t.LocatOnNext(0, one));
  EXPECT_EQ(t.GetCursor(), 4);
  EXPECT_EQ(t.GetRecordID(), 4u);  // still designated

  SVdbVariant name;
  name.SetPSZ("a", VDB_STRING);
  EXPECT_TRUE(t.LocatOn(1, name));
  EXPECT_EQ(t.GetCursor(), 0);
  EXPECT_TRUE(t.LocatOnNext(1, name));
  EXPECT_EQ(t.GetCursor(), 2);

  // A DOUBLE*3 field compares its first 16 bytes with the variant and the
  // rest with zeros, never reading past the variant.
  t.MoveTo(2);
  SVdbVariant d;
  d << 2.5;
  t.SetFieldValue(2, d);
  const double values[3] = {2.5, 0, 0};
  EXPECT_EQ(std::memcmp(values, t.GetFieldVaptr(2), 24), 0);
  EXPECT_TRUE(t.LocatOn(2, d));
  EXPECT_EQ(t.GetCursor(), 2);

  const char bytes[] = {'c'};
  EXPECT_TRUE(t.LocatOn(1, bytes, 1));
  EXPECT_EQ(t.GetCursor(), 3);
  EXPECT_FALSE(t.LocatOnNext(1, bytes, 1));
  EXPECT_FALSE(t.LocatOn(1, "ccccccccccccccccccc", 19));  // compares at most the field
  EXPECT_FALSE(t.LocatOn(7, bytes, 1));
}

TEST(CVdbTableTest, VariantTransfer) {
  CVdbTable t;
  const int types[] = {VDB_BOOL,   VDB_BYTE,   VDB_CHAR,  VDB_SHORT,  VDB_LONG, VDB_FLOAT,
                       VDB_DATAID, VDB_DOUBLE, VDB_CHAR8, VDB_CHAR16, VDB_DATE};
  for (int type : types) t.AddField(("F" + std::to_string(type)).c_str(), type, 1);
  t.AddField("S", VDB_STRING, 6);
  t.AddField("Bin", VDB_BINARY, 4);
  t.AddField("Wide", VDB_CHAR16, 2);
  t.AddNew();
  const int count = t.GetFieldCount();
  // Every field's recognisable bytes go through a variant into a second record.
  for (int i = 0; i < count; ++i) {
    BYTE* p = t.GetFieldVaptr(i);
    for (int k = 0; k < t.GetField(i)->GetDataSize(); ++k) p[k] = static_cast<BYTE>('a' + (i + k) % 26);
  }
  std::vector<SVdbVariant> values(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) ASSERT_TRUE(t.GetFieldValue(i, values[static_cast<size_t>(i)]));
  t.AddNew();
  for (int i = 0; i < count; ++i) t.SetFieldValue(i, values[static_cast<size_t>(i)]);
  for (int i = 0; i < count; ++i) {
    const int size = t.GetField(i)->GetDataSize();
    t.MoveTo(0);
    std::vector<BYTE> a(t.GetFieldVaptr(i), t.GetFieldVaptr(i) + size);
    t.MoveTo(1);
    std::vector<BYTE> b(t.GetFieldVaptr(i), t.GetFieldVaptr(i) + size);
    if (i == count - 1) {
      // The 32-byte CHAR16*2 travels its first 16 bytes; the rest is zeroed.
      EXPECT_TRUE(std::equal(a.begin(), a.begin() + 16, b.begin()));
      EXPECT_EQ(std::vector<BYTE>(b.begin() + 16, b.end()), std::vector<BYTE>(16, 0));
    } else {
      EXPECT_EQ(a, b) << "field " << i;
    }
  }
  // Texts and blocks are cut to the field and zero-filled.
  SVdbVariant s;
  s.SetPSZ("z", VDB_STRING);
  t.SetFieldValue("S", s);
  EXPECT_EQ(std::memcmp(t.GetFieldVaptr("S"), "z\0\0\0\0\0", 6), 0);
  SVdbVariant bin;
  const BYTE two[2] = {9, 9};
  bin.SetBinary(two, 2);
  t.SetFieldValue("Bin", bin);
  EXPECT_EQ(std::memcmp(t.GetFieldVaptr("Bin"), "\x09\x09\0\0", 4), 0);
  EXPECT_FALSE(t.IsFieldEmpty(12, true));
}

// The exchange sort exactly as the table's documentation gives it.
std::vector<size_t> ExchangeSort(const std::vector<uint64_t>& keys) {
  std::vector<size_t> a(keys.size());
  for (size_t i = 0; i < a.size(); ++i) a[i] = i;
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = i + 1; j < a.size(); ++j)
      if (keys[a[j]] < keys[a[i]]) std::swap(a[i], a[j]);
  return a;
}

TEST(CVdbTableTest, SortByDateGivesTheExchangeSortOrder) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    const size_t n = 1 + rng() % (round < 30 ? 40 : 400);
    const int distinct = 1 + static_cast<int>(rng() % (round % 3 == 0 ? 3 : 30));
    CVdbTable t;
    t.AddField("Pad", VDB_LONG, 1);
    t.AddField("Date", VDB_DATE, 1);
    std::vector<uint64_t> keys;
    for (size_t i = 0; i < n; ++i) {
      t.AddNew();
      const int k = static_cast<int>(rng() % static_cast<unsigned>(distinct));
      // Years before and after 2000 and fractions: date first, then fraction.
      const int year = 1990 + k / 4;
      const float fraction = (k % 4) * 0.25f;
      PutDate(t, 1, year, 1 + k % 12, 1, fraction);
      DWORD fracBits;
      std::memcpy(&fracBits, &fraction, 4);
      const uint32_t date = static_cast<uint32_t>(year) << 16 | (1 + k % 12) << 8 | 1;
      keys.push_back(uint64_t{date ^ 0x80000000u} << 32 | fracBits);
    }
    const LONG current = static_cast<LONG>(rng() % n);
    t.MoveTo(current);
    const DWORD currentId = t.GetRecordID();
    t.SortByDate();
    const std::vector<size_t> expected = ExchangeSort(keys);
    std::vector<DWORD> expectedIds;
    for (size_t i : expected) expectedIds.push_back(static_cast<DWORD>(i + 1));
    ASSERT_EQ(Ids(t), expectedIds) << "round " << round << " n " << n;
    EXPECT_EQ(t.GetRecordID(), currentId);
    EXPECT_EQ(t.GetRecordAt(t.GetCursor())->m_nID, currentId);
  }
}

TEST(CVdbTableTest, DateSearch) {
  CVdbTable t;
  t.AddField("DATE", VDB_DATE, 1);
  t.AddField("V", VDB_FLOAT, 1);
  SDateTime dt = {0, {7, 3, 2004}};
  EXPECT_FALSE(t.LocatOnDateS2(0, dt, false));
  EXPECT_TRUE(t.LocatOnDateS2(0, dt, true));
  EXPECT_EQ(t.GetRecordCount(), 1);
  EXPECT_EQ(Text(t, "DATE"), "2004-03-07");
  for (int day = 8; day < 20; ++day) {
    t.AddNew();
    PutDate(t, 0, 2004, 3, day, day == 10 ? 0.5f : 0);
  }
  SDateTime probe = {0, {12, 3, 2004}};
  EXPECT_TRUE(t.LocatOnDateS2(0, probe, false));
  EXPECT_EQ(t.GetCursor(), 5);
  probe = {0.5f, {10, 3, 2004}};
  EXPECT_TRUE(t.LocatOnDateS2(0, probe, false));
  EXPECT_EQ(t.GetCursor(), 3);
  probe = {0, {10, 3, 2004}};  // same day, other fraction
  EXPECT_FALSE(t.LocatOnDateS2(0, probe, false));
  probe = {0, {1, 1, 2010}};
  EXPECT_TRUE(t.LocatOnDateS2(0, probe, true));  // appended at the end
  EXPECT_EQ(t.GetCursor(), t.GetRecordCount() - 1);
  EXPECT_FALSE(t.LocatOnDateS2(1, probe, true));  // not a DATE field
}

TEST(CVdbTableTest, CopyMergeAndMove) {
  CVdbTable a;
  a.SetName("A");
  a.GetFieldSet()->SetName("Def");
  a.AddField("V", VDB_FLOAT, 1);
  a.AddField("S:STRING*8", 0, 1);
  a.AddNew();
  a.SetFieldValue(1, "first");
  a.AddNew();
  a.Float(0) = 2;

  CVdbTable b;
  b.AddField("Old", VDB_LONG, 1);
  b = a;
  EXPECT_EQ(Ids(b), Ids(a));
  EXPECT_EQ(b.GetCursor(), 0);
  EXPECT_EQ(Text(b, "S"), "first");
  b.SetFieldValue(1, "changed");
  a.MoveToFirst();
  EXPECT_EQ(Text(a, "S"), "first");  // nothing shared

  CVdbTable c;
  c.AddField("V", VDB_LONG, 1);
  c.AddNew();
  c.Long(0) = 5;
  c += a;  // V exists; S is added
  EXPECT_EQ(c.GetFieldCount(), 2);
  EXPECT_EQ(c.GetField(0)->m_nType, VDB_LONG);
  EXPECT_EQ(LONG{c.Long(0)}, 5);

  CVdbTable d;
  d.AddField("Gone", VDB_LONG, 1);
  d.AddNew();
  SVdbRecord* moved = a.GetRecordAt(1);
  d << a;
  EXPECT_EQ(a.GetRecordCount() + a.GetFieldCount(), 0);
  EXPECT_EQ(d.GetRecordAt(1), moved);  // the same objects
  EXPECT_EQ(d.GetFieldCount(), 2);
  d.MoveToLast();
  EXPECT_EQ(float{d.Float(0)}, 2.0f);
  d << d;  // moving onto itself changes nothing
  EXPECT_EQ(d.GetRecordCount(), 2);
}

}  // namespace
