#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/vdb/table.h"
#include "vdkit/vdb/vdb_test_util.h"

namespace {

using vdbtest::Append;
using vdbtest::Bytes;
using vdbtest::Field;
using vdbtest::Pad;
using vdbtest::U32;

Bytes Written(CVdbTable& t) {
  CMemFile mem;
  EXPECT_TRUE(t.Write(mem));
  return Bytes(mem.GetData(), mem.GetData() + mem.GetLength());
}

bool ReadBytes(CVdbTable& t, const Bytes& bytes, size_t len) {
  CMemFile in(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(len));
  return t.Read(in);
}

TEST(TableFileTest, SmallTableGoldenBytes) {
  CVdbTable t;
  t.SetName("T");
  t.AddField("V", VDB_FLOAT, 1);
  const Bytes expected = {
      'T',  'V',  '1',  '0',                                                   // magic
      0x04, 0,    0,    0,    'T',  0,    0,    0,                             // text: the unmapped name
      0x04, 0,    0,    0,    'T',  0,    0,    0,                             // name
      0x00, 0,    0,    0,                                                     // field-set name ""
      0x00, 0,    0,    0,                                                     // field-set label ""
      0x01, 0,    0,    0,                                                     // one field
      0x00, 0,    0,    0,                                                     //   alias ""
      0x04, 0,    0,    0,    'V',  0,    0,    0,                             //   name "V"
      0x2A,                                                                    //   type 42 FLOAT
      0x01, 0,    0,    0,                                                     //   count 1
      0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  //   source, value, extra 1, 2
      0x00, 0x00,                                                              //   edit, flag
      0x00, 0,    0,    0,                                                     //   options ""
      0xC7, 0xCD, 0x4A, 0x0F, 0xC7, 0xCD, 0x4A, 0x0F,                          //   min, max: null marker
      0x00, 0,    0,    0,                                                     // record count 0
      0x00, 0,    0,    0,                                                     // last identifier 0
  };
  EXPECT_EQ(Written(t), expected);
  MapKeywordName("T2", "Temperature");  // the text is the mapped name
  t.SetName("T2");
  const Bytes mapped = Written(t);
  EXPECT_EQ(Bytes(mapped.begin() + 4, mapped.begin() + 20), Pad("Temperature"));

  CVdbTable back;
  EXPECT_TRUE(ReadBytes(back, expected, expected.size()));
  EXPECT_EQ(Written(back), expected);
}

// A table with every fixed type, a STRING and a BINARY field and three
// records (identifiers 1, 2 and 4), built through the public interface.
void BuildAllTypes(CVdbTable& t) {
  t.SetName("AllTypes");
  t.AddField("B", VDB_BOOL, 1);      // offset 0, 1 byte
  t.AddField("Y", VDB_BYTE, 1);      // 1
  t.AddField("C", VDB_CHAR, 1);      // 2
  t.AddField("S", VDB_SHORT, 1);     // 3, 2 bytes
  t.AddField("L", VDB_LONG, 1);      // 5, 4 bytes
  t.AddField("F", VDB_FLOAT, 1);     // 9
  t.AddField("I", VDB_DATAID, 1);    // 13
  t.AddField("D", VDB_DOUBLE, 1);    // 17, 8 bytes
  t.AddField("C8", VDB_CHAR8, 1);    // 25, 8 bytes
  t.AddField("C16", VDB_CHAR16, 1);  // 33, 16 bytes
  t.AddField("DT", VDB_DATE, 1);     // 49, 8 bytes
  t.AddField("STR", VDB_STRING, 5);  // 57, 5 bytes
  t.AddField("BIN", VDB_BINARY, 3);  // 62, 3 bytes; record size 65
  t.AddNew();
  t.SetFieldValue("B", "1");
  t.SetFieldValue("Y", "200");
  t.SetFieldValue("C", "x");
  t.SetFieldValue("S", "-2");
  t.SetFieldValue("L", "100000");
  t.SetFieldValue("F", "1.5");
  t.SetFieldValue("I", "4000000000");
  t.SetFieldValue("D", "-0.25");
  t.SetFieldValue("C8", "abcdefgh");
  t.SetFieldValue("C16", "0123456789ABCDEF");
  t.SetFieldValue("DT", "2004-3-7.5");
  t.SetFieldValue("STR", "hello");
  SVdbVariant bin;
  const BYTE block[3] = {1, 2, 3};
  bin.SetBinary(block, 3);
  t.SetFieldValue("BIN", bin);
  t.AddNew();  // identifier 2, as made
  t.AddNew();
  t.DeleteRecord();  // identifier 3 is gone
  t.AddNew();        // identifier 4
  t.SetFieldValue("S", "7");
  t.SetFieldValue("STR", "a,b");
}

Bytes AllTypesGolden() {
  Bytes g = {'T', 'V', '1', '0'};
  Append(g, Pad("AllTypes"));  // text (unmapped), 8 + 1 -> 12
  Append(g, Pad("AllTypes"));  // name
  Append(g, Pad(""));          // field-set name
  Append(g, Pad(""));          // field-set label
  Append(g, U32(13));          // field count
  Append(g, Field("B", 11, 1));
  Append(g, Field("Y", 12, 1));
  Append(g, Field("C", 13, 1));
  Append(g, Field("S", 21, 1));
  Append(g, Field("L", 41, 1));
  Append(g, Field("F", 42, 1));
  Append(g, Field("I", 43, 1));
  Append(g, Field("D", 81, 1));
  Append(g, Field("C8", 82, 1));
  Append(g, Field("C16", 83, 1));
  Append(g, Field("DT", 84, 1));
  Append(g, Field("STR", 100, 5));
  Append(g, Field("BIN", 102, 3));
  Append(g, U32(3));  // record count
  Append(g, U32(4));  // last identifier
  // Record 1: identifier, then 65 data bytes.
  Append(g, U32(1));
  Append(g, {0x01,                                            // B true
             0xC8,                                            // Y 200
             'x',                                             // C
             0xFE, 0xFF,                                      // S -2
             0xA0, 0x86, 0x01, 0x00,                          // L 100000 = 0x000186A0
             0x00, 0x00, 0xC0, 0x3F,                          // F 1.5 = 0x3FC00000
             0x00, 0x28, 0x6B, 0xEE,                          // I 4000000000 = 0xEE6B2800
             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0xBF,  // D -0.25 = 0xBFD0000000000000
             'a',  'b',  'c',  'd',  'e',  'f',  'g',  'h',   // C8, all 8 bytes used
             '0',  '1',  '2',  '3',  '4',  '5',  '6',  '7',   // C16, all 16 bytes used
             '8',  '9',  'A',  'B',  'C',  'D',  'E',  'F',   //
             0x00, 0x00, 0x00, 0x3F, 0x07, 0x03, 0xD4, 0x07,  // DT: 0.5f, day 7, month 3, 2004
             'h',  'e',  'l',  'l',  'o',                     // STR, all 5 bytes used
             0x01, 0x02, 0x03});                              // BIN
  // Record 2 as made: zeros, and the null markers in F and D.
  const Bytes made = {0,    0,    0,    0,    0,                       // B Y C S
                      0,    0,    0,    0,                             // L
                      0xC7, 0xCD, 0x4A, 0x0F,                          // F float null marker
                      0,    0,    0,    0,                             // I
                      0x00, 0x00, 0x00, 0xE0, 0xB8, 0x59, 0xE9, 0x39,  // D double null marker
                      0,    0,    0,    0,    0,    0,    0,    0,     // C8
                      0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  // C16
                      0,    0,    0,    0,    0,    0,    0,    0,                             // DT
                      0,    0,    0,    0,    0,                                               // STR
                      0,    0,    0};                                                          // BIN
  Append(g, U32(2));
  Append(g, made);
  Bytes four = made;  // identifier 4: S 7 and STR "a,b"
  four[3] = 0x07;
  four[57] = 'a';
  four[58] = ',';
  four[59] = 'b';
  Append(g, U32(4));
  Append(g, four);
  return g;
}

TEST(TableFileTest, EveryTypeGoldenBytesAndRoundTrip) {
  CVdbTable t;
  BuildAllTypes(t);
  const Bytes golden = AllTypesGolden();
  ASSERT_EQ(Written(t), golden);

  CVdbTable back;
  ASSERT_TRUE(ReadBytes(back, golden, golden.size()));
  EXPECT_EQ(back.GetRecordCount(), 3);
  EXPECT_EQ(back.GetMaxID(), 4u);
  EXPECT_EQ(Written(back), golden);
  back.AddNew();
  EXPECT_EQ(back.GetRecordID(), 5u);

  // A last identifier below the identifiers present is raised to them.
  Bytes low = golden;
  const size_t maxAt = golden.size() - 3 * (4 + 65) - 4;
  ASSERT_EQ(Bytes(low.begin() + maxAt, low.begin() + maxAt + 4), U32(4));
  low[maxAt] = 1;
  CVdbTable raised;
  ASSERT_TRUE(ReadBytes(raised, low, low.size()));
  EXPECT_EQ(raised.GetMaxID(), 4u);
}

TEST(TableFileTest, TruncatedAndCorruptFilesFailCleanly) {
  CVdbTable t;
  BuildAllTypes(t);
  const Bytes golden = AllTypesGolden();
  const size_t header = golden.size() - 3 * (4 + 65);
  for (size_t len = 0; len < golden.size(); ++len) {
    CVdbTable back;
    EXPECT_FALSE(ReadBytes(back, golden, len)) << len;
    // Complete records read before the cut stay; a cut record does not.
    const LONG whole = len < header ? 0 : static_cast<LONG>((len - header) / (4 + 65));
    EXPECT_EQ(back.GetRecordCount(), whole) << len;
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    Bytes bad = golden;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) bad[rng() % bad.size()] ^= static_cast<BYTE>(1 + rng() % 255);
    CVdbTable back;
    ReadBytes(back, bad, bad.size());
    if (back.GetRecordCount() > 0 && back.MoveToFirst()) {
      CString s;
      for (int i = 0; i < back.GetFieldCount(); ++i) back.GetFieldValue(i, s, 3);
    }
  }
}

// Magic, a name (twice: text and name), empty field-set name and label, then the field count.
Bytes Head(const std::string& name, DWORD fields) {
  Bytes out = {'T', 'V', '1', '0'};
  for (const std::string& text : {name, name, std::string(), std::string()}) Append(out, Pad(text));
  Append(out, U32(fields));
  return out;
}

TEST(TableFileTest, HostileCountsAllocateNothingTheyCannotBack) {
  // No fields (record size 0) and a record count of two billion: each record
  // is one identifier, and reading ends with the data.
  Bytes zero = Head("Z", 0);
  for (DWORD v : {2000000000u, 9u, 1u, 2u}) Append(zero, U32(v));  // count, last identifier, two records
  CVdbTable z;
  EXPECT_FALSE(ReadBytes(z, zero, zero.size()));
  EXPECT_EQ(z.GetRecordCount(), 2);

  Bytes fields = Head("F", 2000000000);  // a field count of two billion
  Append(fields, Field("V", VDB_FLOAT, 1));
  CVdbTable f;
  EXPECT_FALSE(ReadBytes(f, fields, fields.size()));
  EXPECT_EQ(f.GetFieldCount(), 1);

  Bytes huge = Head("H", 1);  // a field of 2 GB with records
  Append(huge, Field("Big", VDB_STRING, 0x7FFFFF00));
  for (DWORD v : {1000u, 1000u, 1u}) Append(huge, U32(v));  // 1000 records, last identifier, one identifier
  CVdbTable h;
  EXPECT_FALSE(ReadBytes(h, huge, huge.size()));
  EXPECT_EQ(h.GetRecordCount(), 0);

  // A negative record count is damage, not an empty table.
  Bytes negative = Head("N", 0);
  for (DWORD v : {0xFFFFFFFFu, 0u}) Append(negative, U32(v));
  CVdbTable n;
  EXPECT_FALSE(ReadBytes(n, negative, negative.size()));
  EXPECT_EQ(n.GetRecordCount(), 0);
}

}  // namespace
