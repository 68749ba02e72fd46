#include "vdkit/vdb/field_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/vdb/vdb_test_util.h"

namespace {

std::vector<BYTE> Bytes(const CMemFile& f) {
  return std::vector<BYTE>(f.GetData(), f.GetData() + f.GetLength());
}

TEST(CVdbFieldSetTest, PackedLayout) {
  CVdbFieldSet fs;
  fs.AddField("V", VDB_FLOAT, 1);
  SVdbField* t = fs.AddField("T:LONG", 0, 1);
  EXPECT_EQ(t->m_nOffset, 4);
  EXPECT_EQ(fs.AddField("t", VDB_BYTE, 9), t);  // the same name gives the same field, whatever the type
  EXPECT_EQ(t->m_nHash, MapHashKey("T"));
  fs.AddField("B", VDB_BOOL, 3);
  SVdbField* d = fs.AddField("D", VDB_DATE, 1);
  EXPECT_EQ(d->m_nOffset, 11);  // no alignment
  EXPECT_EQ(fs.m_nRecordSize, 19);

  // A caller's field is adopted unless its name is taken.
  auto* mine = new SVdbField;
  mine->SetName("t");
  EXPECT_FALSE(fs.AddField(mine));
  mine->SetName("Z");
  mine->m_nType = VDB_CHAR16;
  EXPECT_TRUE(fs.AddField(mine));
  EXPECT_EQ(mine->m_nOffset, 19);
  EXPECT_EQ(fs.m_nRecordSize, 35);

  // A layout beyond the limit is refused, not overflowed.
  EXPECT_EQ(fs.AddField("Huge", VDB_CHAR16, 0x7FFFFFF0), nullptr);
  EXPECT_EQ(fs.GetSize(), 5);
  EXPECT_EQ(fs.m_nRecordSize, 35);

  // Copies are deep.
  CVdbFieldSet copy = fs;
  copy.GetAt(0)->SetName("Renamed");
  EXPECT_STREQ(fs.GetAt(0)->GetName(), "V");
  EXPECT_EQ(copy.m_nRecordSize, fs.m_nRecordSize);
}

// The field V (FLOAT 42, count 1, everything else default) in its binary form.
const std::vector<BYTE> kFieldV = vdbtest::Field("V", 42, 1);

TEST(SVdbFieldTest, BinaryFormGoldenBytes) {
  // Every member travels, in order; offset and hash do not.
  SVdbField g;
  g.m_strAlias = "Alias";  // 5 + 1 -> 8
  g.SetName("abcd");       // 4 + 1 -> 8
  g.m_nType = VDB_STRING;  // 0x64
  g.m_nCount = 258;        // 0x00000102
  g.m_strSource = "s";     // -> 4
  g.m_strValue = "val";    // 3 + 1 -> 4
  g.m_strExtra1 = "";      // 0
  g.m_strExtra2 = "e2";    // -> 4
  g.m_nEdit = 3;
  g.m_nFlag = 0x80;
  g.m_strOptions = "a\nb";  // 3 + 1 -> 4
  g.m_fMin = 1.0f;          // 0x3F800000
  g.m_fMax = -2.0f;         // 0xC0000000
  g.m_nOffset = 77;
  const std::vector<BYTE> expected = {
      0x08, 0,    0,    0,    'A', 'l',  'i', 'a', 's', 0, 0, 0,  // alias
      0x08, 0,    0,    0,    'a', 'b',  'c', 'd', 0,   0, 0, 0,  // name: terminator and 3 zeros
      0x64,                                                       // type 100
      0x02, 0x01, 0,    0,                                        // count 258
      0x04, 0,    0,    0,    's', 0,    0,   0,                  // source
      0x04, 0,    0,    0,    'v', 'a',  'l', 0,                  // value
      0x00, 0,    0,    0,                                        // extra 1
      0x04, 0,    0,    0,    'e', '2',  0,   0,                  // extra 2
      0x03,                                                       // edit
      0x80,                                                       // flag
      0x04, 0,    0,    0,    'a', '\n', 'b', 0,                  // options with its line feed
      0x00, 0x00, 0x80, 0x3F,                                     // min 1.0
      0x00, 0x00, 0x00, 0xC0,                                     // max -2.0
  };
  CMemFile mem;
  g.Write(mem);
  EXPECT_EQ(Bytes(mem), expected);

  mem.SeekToBegin();
  SVdbField back;
  EXPECT_TRUE(back.Read(mem));
  EXPECT_EQ(back.m_nHash, MapHashKey("abcd"));
  EXPECT_EQ(back.m_nOffset, 0);
}

TEST(CVdbFieldSetTest, BinaryFormGoldenBytesAndHostileCounts) {
  CVdbFieldSet fs;
  fs.SetName("FS");
  fs.AddField("V", VDB_FLOAT, 1);
  CMemFile mem;
  EXPECT_TRUE(fs.Write(mem));
  std::vector<BYTE> expected = {
      0x04, 0, 0, 0, 'F', 'S', 0, 0,  // name "FS": 2 + 1 rounded up to 4
      0x00, 0, 0, 0,                  // label ""
      0x01, 0, 0, 0,                  // one field
  };
  expected.insert(expected.end(), kFieldV.begin(), kFieldV.end());
  EXPECT_EQ(Bytes(mem), expected);

  // Read recomputes the layout.
  std::vector<BYTE> two = expected;
  two[12] = 2;
  std::vector<BYTE> fieldT = kFieldV;
  fieldT[8] = 'T';
  fieldT[12] = VDB_DOUBLE;
  two.insert(two.end(), fieldT.begin(), fieldT.end());
  {
    CMemFile in(two.data(), static_cast<UINT>(two.size()));
    CVdbFieldSet back;
    EXPECT_TRUE(back.Read(in));
    ASSERT_EQ(back.GetSize(), 2);
    EXPECT_EQ(back.GetAt(1)->m_nOffset, 4);
    EXPECT_EQ(back.m_nRecordSize, 12);
  }
  // Every truncation fails cleanly and keeps only complete fields.
  for (size_t len = 0; len < two.size(); ++len) {
    CMemFile in(two.data(), static_cast<UINT>(len));
    CVdbFieldSet back;
    EXPECT_FALSE(back.Read(in)) << len;
    EXPECT_EQ(back.GetSize(), len < expected.size() ? 0 : 1) << len;
  }
  // A field count of two billion stops at the end of the data.
  std::vector<BYTE> hostile = expected;
  const DWORD twoBillion = 2000000000;
  std::memcpy(&hostile[12], &twoBillion, 4);
  CMemFile in(hostile.data(), static_cast<UINT>(hostile.size()));
  CVdbFieldSet back;
  EXPECT_FALSE(back.Read(in));
  EXPECT_EQ(back.GetSize(), 1);
  // A count that would overflow the record size is refused.
  std::vector<BYTE> huge = expected;
  huge[16 + 12] = VDB_CHAR16;
  huge[16 + 13 + 3] = 0x7F;  // count 0x7F000001
  CMemFile in2(huge.data(), static_cast<UINT>(huge.size()));
  CVdbFieldSet back2;
  EXPECT_FALSE(back2.Read(in2));
  EXPECT_EQ(back2.GetSize(), 0);
  EXPECT_EQ(back2.m_nRecordSize, 0);
}

}  // namespace
