#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vdkit/vdb/table.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_parser.h"

namespace {

// What Serialize writes through a top storing archive (no indentation).
template <class T>
std::string Stored(T& object) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  object.Serialize(ar);
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

// Parses `body` as the content of an element <Table> and lets `object` read
// that element (or, with `child`, the element's first child).
template <class T>
void Load(T& object, const std::string& body, bool child = false) {
  std::string doc = "<?xml version='1.0'?>\n<Table>\n" + body + "</Table>\n";
  CMemFile mem(reinterpret_cast<BYTE*>(&doc[0]), static_cast<UINT>(doc.size()));
  CXmlItem root(nullptr);
  CXmlParser parser;
  ASSERT_TRUE(parser.ParseXml(&mem, &root));
  CXmlItem* item = root.GetChild(0);
  ASSERT_NE(item, nullptr);
  if (child) item = item->GetChild(0);
  CXmlArchive top(&mem, CXmlArchive::load);
  CXmlArchive ar(top, item);
  EXPECT_TRUE(object.Serialize(ar));
}

std::vector<BYTE> RecordBytes(const CVdbTable& t) {
  std::vector<BYTE> out;
  const size_t size = static_cast<size_t>(t.GetFieldSet()->m_nRecordSize) + 4;
  for (LONG i = 0; i < t.GetRecordCount(); ++i) {
    const BYTE* r = reinterpret_cast<const BYTE*>(t.GetRecordAt(i)) + 4;  // identifier and data
    out.insert(out.end(), r, r + size);
  }
  return out;
}

TEST(VdbXmlTest, FieldAndFieldSetGoldenText) {
  SVdbField plain;
  plain.SetName("Name");
  EXPECT_EQ(Stored(plain), "<Name />\n");

  CVdbFieldSet fs;
  fs.SetName("Wells");
  fs.SetLabel("Well list");
  fs.AddField("Depth:DOUBLE", 0, 1);
  SVdbField* name = fs.AddField("Name:STRING*8", 0, 1);
  name->m_strAlias = "Well name";
  SVdbField* t = fs.AddField("T", VDB_FLOAT, 1);
  t->m_strUnit = "degC";
  t->m_fMin = 0;
  t->m_fMax = 100.5f;
  SVdbField* opt = fs.AddField("Opt:INT", 0, 1);
  opt->m_nEdit = 2;
  opt->m_strOptions = "a\nb";
  opt->m_strValue = "x";
  fs.AddField("Id:DATAID", 0, 1);
  const std::string golden =
      "<Wells a='Well list'>\n"
      "<Depth type='float64' />\n"
      "<Name a='Well name' type='string' count='8' />\n"
      "<T unit='degC' min='0' max='100.5' />\n"
      "<Opt type='int32' edit='2' options='a,b' value='x' />\n"
      "<Id type='int32' dataid='true' />\n"
      "</Wells>\n";
  EXPECT_EQ(Stored(fs), golden);

  CVdbFieldSet back;
  Load(back, golden, true);
  EXPECT_STREQ(back.GetLabel(), "Well list");
  ASSERT_EQ(back.GetSize(), 5);
  EXPECT_EQ(back.GetAt(3)->m_strOptions, "a\nb");
  EXPECT_EQ(back.GetAt(4)->m_nType, VDB_DATAID);  // int32 for old readers, restored here
  EXPECT_EQ(back.m_nRecordSize, 8 + 8 + 4 + 4 + 4);

  // Texts that would break the attribute are escaped, and come back.
  SVdbField awkward;
  awkward.SetName("W");
  awkward.m_strAlias = "it's <5> & \"q\"";
  awkward.m_fMin = 0.1f;  // %g would give 0.1, which is this float
  awkward.m_fMax = 1.2345678f;
  const std::string w = Stored(awkward);
  EXPECT_EQ(w, "<W a='it&apos;s &lt;5&gt; &amp; &quot;q&quot;' min='0.1' max='1.2345678' />\n");
  SVdbField wBack;
  Load(wBack, w, true);
  EXPECT_EQ(wBack.m_strAlias, awkward.m_strAlias);
  EXPECT_EQ(wBack.m_fMax, 1.2345678f);
}

TEST(VdbXmlTest, TableBodyGoldenText) {
  CVdbTable t;
  t.GetFieldSet()->SetName("TV");
  t.AddField("V", VDB_FLOAT, 1);
  t.AddField("N", VDB_LONG, 1);
  for (int i = 0; i < 6; ++i) t.AddNew();
  t.DeleteAllRecords();
  t.AddNew();  // identifier 7
  t.Float(0) = 1.5f;
  t.Long(1) = 3;
  t.AddNew();  // identifier 8: V stays null
  t.Long(1) = 3;
  const std::string golden =
      "<head>\n"
      "<TV>\n"
      "<V />\n"
      "<N type='int32' />\n"
      "</TV>\n"
      "</head>\n"
      "<rec count='2' maxid='8'>\n"
      "<r>7,1.5,3</r>\n"
      "<r>8,,3</r>\n"
      "</rec>\n";
  EXPECT_EQ(Stored(t), golden);

  CVdbTable back;
  Load(back, golden);
  ASSERT_EQ(back.GetRecordCount(), 2);
  EXPECT_EQ(back.GetMaxID(), 8u);
  EXPECT_EQ(RecordBytes(back), RecordBytes(t));
}

TEST(VdbXmlTest, EveryTypeRoundTrips) {
  CVdbTable t;
  t.GetFieldSet()->SetName("All");
  for (const char* def : {"B:BOOL", "Y:BYTE", "C:CHAR", "S:SHORT", "L:LONG", "F:FLOAT", "I:DATAID",
                          "D:DOUBLE", "C8:CHAR8", "C16:CHAR16", "DT:DATE", "STR:STRING*24", "BIN:BINARY*4",
                          "Last:FLOAT"})  // a null at the end of the line
    t.AddField(def, 0, 1);
  const char* texts[] = {"a,b", "say \"hi\"", "<tag> & 'q'", " padded ", "\"", ",", "", "x\ty\nz", "*star"};
  std::mt19937 rng(5);
  for (const char* text : texts) {
    t.AddNew();
    t.SetFieldValue("B", "1");
    t.SetFieldValue("Y", "255");
    t.SetFieldValue("C", text);
    t.SetFieldValue("S", "-32768");
    t.SetFieldValue("L", "-2147483648");
    const float f = static_cast<float>(rng()) / 7.0f;
    std::memcpy(t.GetFieldVaptr("F"), &f, 4);
    t.SetFieldValue("I", "4294967295");
    const double d = static_cast<double>(rng()) / 3.0;
    std::memcpy(t.GetFieldVaptr("D"), &d, 8);
    t.SetFieldValue("C8", text);
    t.SetFieldValue("C16", "0123456789abcdef");  // all 16 bytes
    SDateTime dt = {static_cast<float>(rng() % 1000) / 1024.0f + 1e-7f, {31, 12, 2099}};
    std::memcpy(t.GetFieldVaptr("DT"), &dt, 8);
    t.SetFieldValue("STR", text);
    const BYTE bin[4] = {0x00, 0xAB, static_cast<BYTE>(rng()), 0x00};
    std::memcpy(t.GetFieldVaptr("BIN"), bin, 4);
  }
  t.AddNew();  // as made: nulls and zeros
  t.AddNew();  // partial date, a DOUBLE null marker and an empty string
  SDateTime partial = {0, {0, 3, 2004}};
  std::memcpy(t.GetFieldVaptr("DT"), &partial, 8);
  t.SetFieldValue("STR", "");

  const std::string body = Stored(t);
  EXPECT_NE(body.find("\"a,b\""), std::string::npos);
  EXPECT_NE(body.find("&lt;tag&gt; &amp; 'q'"), std::string::npos);
  CVdbTable back;
  Load(back, body);
  ASSERT_EQ(back.GetFieldCount(), t.GetFieldCount());
  EXPECT_EQ(back.GetMaxID(), t.GetMaxID());
  EXPECT_EQ(RecordBytes(back), RecordBytes(t));
}

TEST(VdbXmlTest, TablesWithoutRecordsAndEarlierBodies) {
  CVdbTable empty;
  empty.GetFieldSet()->SetName("E");
  empty.AddField("V", VDB_FLOAT, 1);
  empty.AddNew();
  empty.DeleteRecord();
  const std::string body = Stored(empty);
  EXPECT_EQ(body, "<head>\n<E>\n<V />\n</E>\n</head>\n<rec count='0' maxid='1'>\n</rec>\n");
  CVdbTable back;
  Load(back, body);
  EXPECT_EQ(back.GetFieldCount(), 1);

  // An earlier writer left out "rec": the fields still come back.
  CVdbTable old;
  Load(old, "<head>\n<E>\n<V />\n<N type='int32' />\n</E>\n</head>\n");
  EXPECT_EQ(old.GetFieldCount(), 2);

  // Unquoted lines read as they always did: pieces trimmed of blanks and
  // quote marks, lines of one piece skipped, missing pieces left zero.
  CVdbTable lines;
  Load(lines,
       "<head>\n<E>\n<V />\n<S type='string' count='8' />\n<N type='int32' />\n</E>\n</head>\n"
       "<rec count=3 maxid='9'>\n"
       "<r>4, 2.5 , 'ab' ,7</r>\n"
       "<r>5</r>\n"
       "<r>6,1</r>\n"
       "<r>7,,,</r>\n"
       "</rec>\n");
  ASSERT_EQ(lines.GetRecordCount(), 3);
  lines.MoveTo(0);
  CString s;
  lines.GetFieldValue("S", s);
  EXPECT_EQ(s, "ab");
  EXPECT_EQ(LONG{lines.Long("N")}, 7);
  lines.MoveTo(1);
  EXPECT_EQ(lines.GetRecordID(), 6u);
  EXPECT_EQ(LONG{lines.Long("N")}, 0);
  lines.MoveTo(2);
  EXPECT_TRUE(lines.IsFieldEmpty(0, false));  // an empty piece is the null marker, also last
  CVdbTable bare, bareBack;                   // a table without fields keeps its records
  bare.AddNew();
  bare.AddNew();
  Load(bareBack, Stored(bare));
  EXPECT_EQ(bareBack.GetRecordCount(), 2);
}

// Identifiers are unsigned; names that cannot be element names, and sets
// without a name, still give a document that reads back whole and that does
// not change from one run to the next.
TEST(VdbXmlTest, IdentifiersAndAwkwardNamesTravelWhole) {
  auto make = [](CVdbTable& t) {
    t.AddField("Well depth", VDB_FLOAT, 1);
    t.AddField("Id", VDB_DATAID, 1);
    t.AddNew();
    t.SetFieldValue(1, "3000000000");
  };
  CVdbTable a;
  make(a);
  const std::string body = Stored(a);
  EXPECT_EQ(body,
            "<head>\n<X7>\n<field name='Well depth' />\n<Id type='int32' dataid='true' />\n</X7>\n</head>\n"
            "<rec count='1' maxid='1'>\n<r>1,,3000000000</r>\n</rec>\n");
  auto b = std::make_unique<CVdbTable>();  // another object, another address: the same text
  make(*b);
  EXPECT_EQ(Stored(*b), body);

  CVdbTable back;
  Load(back, body);
  ASSERT_EQ(back.GetFieldCount(), 2);
  EXPECT_STREQ(back.GetField(0)->GetName(), "Well depth");
  EXPECT_EQ(back.GetField(1)->m_nType, VDB_DATAID);
  EXPECT_EQ(RecordBytes(back), RecordBytes(a));
  CString text;
  back.GetFieldValue(1, text);
  EXPECT_EQ(text, "3000000000");

  // Earlier documents: the signed text of a large identifier and a set named
  // by an attribute give the same bits and names.
  CVdbTable old;
  Load(old,
       "<head>\n<X1f name='a &lt;set&gt;'>\n<Id type='int32' dataid='TRUE' />\n</X1f>\n</head>\n"
       "<rec count=1 maxid='-1294967296'>\n<r>-1294967296,-1294967296</r>\n</rec>\n");
  EXPECT_STREQ(old.GetFieldSet()->GetName(), "a <set>");
  EXPECT_EQ(old.GetRecordID(), 3000000000u);
  EXPECT_EQ(old.GetMaxID(), 3000000000u);
  old.GetFieldValue(0, text);
  EXPECT_EQ(text, "3000000000");
  old.GetFieldSet()->SetName("My set");
  EXPECT_EQ(Stored(old).substr(0, 26), "<head>\n<X7 name='My set'>\n");
}

TEST(VdbXmlTest, HostileBodiesStayBounded) {
  // A 2 GB record asked for by a few bytes of text is not allocated.
  CVdbTable huge;
  Load(huge,
       "<head>\n<H>\n<Big type='string' count='2000000000' />\n</H>\n</head>\n"
       "<rec count=1 maxid='1'>\n<r>1,x</r>\n</rec>\n");
  EXPECT_EQ(huge.GetRecordCount(), 0);
  // Counts beyond the record-size limit end the definitions.
  CVdbTable over;
  Load(over, "<head>\n<H>\n<A type='char16' count='2000000000' />\n<B />\n</H>\n</head>\n");
  EXPECT_EQ(over.GetFieldCount(), 0);
  // Unterminated quotes, stray text and garbage numbers read without harm.
  CVdbTable odd;
  Load(odd,
       "<head>\n<H>\n<V />\n<S type='string' count='4' />\n<B type='binary' count='2' />\n</H>\n</head>\n"
       "<rec count=x "
       "maxid='-5'>\n<r>1,\"open,\"\"x</r>\n<r>2,1e999,zz\"q\",0g</r>\n<r>,,,,,,,,</r>\n</rec>\n");
  EXPECT_EQ(odd.GetRecordCount(), 3);
}

}  // namespace
