#include "vdkit/vdb/table_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/platform/resources.h"
#include "vdkit/vdb/table_view.h"
#include "vdkit/vdb/vdb_test_util.h"

namespace {

LONG GetLongAt(CVdbTable& t, int field) {
  LONG v;
  std::memcpy(&v, t.GetFieldVaptr(field), 4);
  return v;
}
float GetFloatAt(CVdbTable& t, int field) {
  float v;
  std::memcpy(&v, t.GetFieldVaptr(field), 4);
  return v;
}
void PutLong(CVdbTable& t, const char* field, LONG v) {
  std::memcpy(t.GetFieldVaptr(field), &v, 4);
}
void PutFloat(CVdbTable& t, const char* field, float v) {
  std::memcpy(t.GetFieldVaptr(field), &v, 4);
}

std::vector<BYTE> Bytes(CMemFile& mem) {
  return std::vector<BYTE>(mem.GetData(), mem.GetData() + mem.GetLength());
}

struct MessageCapture {  // message boxes shown during a test
  std::vector<std::string> texts;
  MessageBoxHandler previous = SetMessageBoxHandler([this](const char* text, UINT) {
    texts.push_back(text);
    return IDOK;
  });
  ~MessageCapture() { SetMessageBoxHandler(previous); }
};

TEST(TableSetTest, DefinitionsAndTableCreation) {
  CVdbTableSet db;
  delete CreateVDFile("cvdbtableset");

  CVdbFieldSet* first = db.CreateFieldSet("Well", "Wells");
  first->AddField("ID:LONG", 0, 1);
  first->AddField("Depth:DOUBLE", 0, 1);
  EXPECT_NE(db.CreateFieldSet("WELL", nullptr), first);  // a second set of the same name
  CVdbTable* wells = db.CreateTable("Wells", "well");
  ASSERT_NE(wells, nullptr);
  EXPECT_EQ(wells->GetFieldSet()->m_nRecordSize, 12);
  EXPECT_STREQ(GetMapedName("Well"), "Wells");
  EXPECT_NE(wells->GetField(0), first->GetAt(0));  // a copy, not the definition's field
  // An existing name gives the existing table, whatever definition is named.
  EXPECT_EQ(db.CreateTable("WELLS", "nonexistent"), wells);

  MessageCapture boxes;
  EXPECT_EQ(db.CreateTable("Lost", "Nope"), nullptr);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], std::string(FindStringResource(IDS_VDB_NO_TABLE_DEFINITION)) + "Nope");

  db.CreateFileA("Notes", nullptr, nullptr);  // a child that is not a table
  EXPECT_EQ(db.GetTable("Notes"), nullptr);
  EXPECT_EQ(db.CreateTable("Notes", nullptr), nullptr);
  EXPECT_EQ(db.GetTableCount(), 2);
  EXPECT_EQ(db.GetTable(1), nullptr);
}

// X (FLOAT), Y (DOUBLE), Z (LONG); identifiers 1, 3, 4 (the second deleted).
CVdbTable* MakeXYZ(CVdbTableSet& db) {
  CVdbTable* t = db.CreateTable("Src", nullptr);
  t->AddField("X", VDB_FLOAT, 1);
  t->AddField("Y", VDB_DOUBLE, 1);
  t->AddField("Z", VDB_LONG, 1);
  for (int i = 0; i < 4; ++i) {
    t->AddNew();
    PutFloat(*t, "X", 0.5f + static_cast<float>(i));
    PutLong(*t, "Z", 10 * i);
  }
  t->MoveTo(1);
  t->DeleteRecord();
  return t;
}

TEST(TableSetSelectTest, PlainColumns) {
  CVdbTableSet db;
  CVdbTable* src = MakeXYZ(db);
  src->MoveTo(2);
  CVdbTableView view;
  db.Select(&view, "Src", "Z,X", nullptr);
  ASSERT_EQ(view.GetFieldCount(), 2);
  EXPECT_EQ(view.GetField(1)->m_nOffset, 4);
  EXPECT_EQ(view.m_nFirstFloat, 1);
  ASSERT_EQ(view.GetRecordCount(), 3);
  const DWORD ids[] = {1, 3, 4};
  for (LONG r = 0; r < 3; ++r) {
    view.MoveTo(r);
    src->MoveTo(r);
    EXPECT_EQ(view.GetRecordID(), ids[r]);
    EXPECT_EQ(GetLongAt(view, 0), GetLongAt(*src, 2));
    EXPECT_EQ(GetFloatAt(view, 1), GetFloatAt(*src, 0));
  }
  view.AddNew();
  EXPECT_EQ(view.GetRecordID(), 5u);             // identifiers go on from the source's
  db.Select(&view, "Src", "X,Nope,X", nullptr);  // a view used before is laid out afresh
  ASSERT_EQ(view.GetFieldCount(), 2);
  EXPECT_EQ(view.GetField(1)->m_nOffset, 4);
  db.Select(&view, "Src", "*", nullptr);
  EXPECT_EQ(view.GetFieldSet()->m_nRecordSize, 16);
}

TEST(TableSetSelectTest, SelectionReplacesAViewsRegister) {
  CVdbTableSet db;
  MakeXYZ(db);
  CVdbTableView view;
  db.Select(&view, "Src", "X", nullptr);
  view.AuToMMX();
  EXPECT_EQ(view.Max(0), 3.5f);
  // More fields than the register had: the new selection starts afresh.
  db.Select(&view, "Src", "Z,Y,X,X", nullptr);
  EXPECT_EQ(view.m_nFirstFloat, 2);
  EXPECT_EQ(view.Max(3), 3.5f);
  EXPECT_EQ(view.Min(2), 0.5f);
  EXPECT_TRUE(IsVdbNull(view.Max(1)));  // DOUBLE: not in the register
  EXPECT_TRUE(IsVdbNull(view.Max(4)));  // outside: a scratch value
}

TEST(TableSetSelectTest, LookedUpColumnsTakeTheFirstMatch) {
  CVdbTableSet db;
  CVdbTable* wells = db.CreateTable("Wells", nullptr);
  for (const char* def : {"ID:LONG", "Depth:FLOAT", "Note:STRING*6"}) wells->AddField(def, 0, 1);
  const LONG ids[] = {4, 2, 4};  // the second 4 is never the match
  for (int i = 0; i < 3; ++i) {
    wells->AddNew();
    PutLong(*wells, "ID", ids[i]);
    PutFloat(*wells, "Depth", 10.0f * static_cast<float>(i + 1));
    wells->SetFieldValue("Note", i == 1 ? "ab" : "abcdef");
  }
  CVdbTable* samples = db.CreateTable("Samples", nullptr);
  samples->AddField("WellID", VDB_LONG, 1);
  for (LONG k : {4, 9, 2}) {
    samples->AddNew();
    PutLong(*samples, "WellID", k);
  }
  db.AddRelation("WellID", "Wells.ID");
  wells->MoveTo(1);
  CVdbTableView view;
  db.Select(&view, "Samples", "WellID,Wells.Depth,Wells.Note,Wells.Nope", nullptr);
  ASSERT_EQ(view.GetFieldCount(), 3);
  EXPECT_EQ(wells->GetCursor(), 1);                // the related table's cursor stays
  const float depth[] = {10, VDB_NULL_FLOAT, 20};  // no match: the null marker and an empty text
  const char* note[] = {"abcdef", "", "ab"};
  for (LONG r = 0; r < 3; ++r) {
    view.MoveTo(r);
    CString text;
    view.GetFieldValue(2, text);
    EXPECT_EQ(GetFloatAt(view, 1), depth[r]) << r;
    EXPECT_EQ(text, note[r]) << r;
  }
}

TEST(TableSetAlterTest, AddsAndAltersFieldsKeepingRecordsInStep) {
  CVdbTableSet db;
  CVdbTable* t = db.CreateTable("T", nullptr);
  t->AddField("A", VDB_LONG, 1);
  t->AddField("B", VDB_LONG, 1);
  t->AddField("C:STRING*8", 0, 1);
  for (int i = 0; i < 3; ++i) {
    t->AddNew();
    PutLong(*t, "A", i);
    PutLong(*t, "B", 100 + i);
    t->SetFieldValue("C", "abcdefgh");
  }
  t->MoveTo(1);
  auto alter = [&](const char* name, int type, int count) {
    SVdbField def;
    def.SetName(name);
    def.m_nType = type;
    def.m_nCount = count;
    db.AlterTable("T", &def);
  };
  alter("D", VDB_DOUBLE, 1);  // new: the records grow, the field is empty
  alter("b", VDB_LONG, 3);    // count 1 -> 3: the first value stays, offsets move
  EXPECT_STREQ(t->GetField("B")->GetName(), "b");
  EXPECT_EQ(t->GetField("D")->m_nOffset, 24);
  EXPECT_EQ(t->GetRecordID(), 2u);  // the current record stays
  alter("C", VDB_STRING, 3);        // cut to three bytes
  alter("A", VDB_FLOAT, 1);         // same size, other meaning: afresh
  EXPECT_EQ(t->GetFieldSet()->m_nRecordSize, 27);
  for (LONG r = 0; r < 3; ++r) {
    t->MoveTo(r);
    CString c;
    t->GetFieldValue("C", c);
    EXPECT_EQ(c, "abc");
    EXPECT_TRUE(IsVdbNull(GetFloatAt(*t, 0)));
    LONG b[3];
    std::memcpy(b, t->GetFieldVaptr("b"), 12);
    EXPECT_EQ(b[0], 100 + r);
    EXPECT_EQ(b[1] | b[2], 0);
    EXPECT_TRUE(t->IsFieldEmpty(3, false));
  }
  db.AlterTable("Missing", nullptr);
  db.AlterTable("T", nullptr);
}

// ---- The stream -------------------------------------------------------------------

using vdbtest::Append;
using vdbtest::Field;
using vdbtest::Pad;
using vdbtest::U32;

// A field set: name, label, one LONG field (41).
std::vector<BYTE> OneFieldSet(const char* name, const char* label, const char* field) {
  std::vector<BYTE> b = Pad(name);
  Append(b, Pad(label));
  Append(b, U32(1));
  Append(b, Field(field, 41, 1));
  return b;
}

// Tables GoldW (definition W "Wells", one record: identifier 1, ID 7) and GoldS (definition S,
// field K, no records); relations (K, GoldW, ID) and (X, Other, "").
std::vector<BYTE> GoldenSet() {
  std::vector<BYTE> g = U32(2);  // two tables
  for (const char* name : {"GoldW", "GoldS"}) {
    const bool w = name[4] == 'W';
    Append(g, {'T', 'V', '1', '0'});
    Append(g, Pad(name));  // the text (unmapped name), then the name
    Append(g, Pad(name));
    Append(g, w ? OneFieldSet("W", "Wells", "ID") : OneFieldSet("S", "", "K"));
    for (DWORD v : w ? std::vector<DWORD>{1, 1, 1, 7} : std::vector<DWORD>{0, 0})
      Append(g, U32(v));  // record count, last identifier, then identifier and ID of each record
  }
  Append(g, U32(2));  // two definitions
  Append(g, OneFieldSet("W", "Wells", "ID"));
  Append(g, OneFieldSet("S", "", "K"));
  Append(g, U32(2));  // two relations: key field, table, related key
  for (const char* text : {"K", "GoldW", "ID", "X", "Other", ""}) Append(g, Pad(text));
  return g;
}
const std::vector<BYTE> kGoldenSet = GoldenSet();

void FillGolden(CVdbTableSet& db) {
  db.CreateFieldSet("W", "Wells")->AddField("ID", VDB_LONG, 1);
  db.CreateFieldSet("S", nullptr)->AddField("K", VDB_LONG, 1);
  CVdbTable* w = db.CreateTable("GoldW", "W");
  w->AddNew();
  PutLong(*w, "ID", 7);
  db.CreateTable("GoldS", "S");
  db.AddRelation("K", "GoldW.ID");
  db.AddRelation("X", "Other");
}

TEST(TableSetStreamTest, GoldenBytes) {
  // Table: magic and two names 28, field set, count and last identifier 8, records 8 each.
  // Field set W: 8 + 12 + 4 + 47 = 71; S: 8 + 4 + 4 + 47 = 63. Relations: 28 and 24.
  ASSERT_EQ(kGoldenSet.size(), 4u + (28 + 71 + 8 + 8) + (28 + 63 + 8) + 4 + 71 + 63 + 4 + 28 + 24);
  CVdbTableSet db;
  FillGolden(db);
  CMemFile mem;
  EXPECT_TRUE(db.WriteTables(mem));
  EXPECT_EQ(Bytes(mem), kGoldenSet);

  CMemFile in(const_cast<BYTE*>(kGoldenSet.data()), static_cast<UINT>(kGoldenSet.size()));
  CVdbTableSet back;
  back.CreateFieldSet("stale", nullptr);
  ASSERT_TRUE(back.ReadTables(in));
  EXPECT_EQ(in.GetPosition(), kGoldenSet.size());
  CMemFile again;  // tables, records, definitions and relations all came back, the stale one gone
  back.WriteTables(again);
  EXPECT_EQ(Bytes(again), Bytes(mem));
  EXPECT_EQ(back.GetTable("goldw")->GetTableSet(), &back);
}

TEST(TableSetStreamTest, DamagedStreamsFailAndKeepWhatWasRead) {
  for (size_t len = 0; len < kGoldenSet.size(); ++len) {
    CMemFile in(const_cast<BYTE*>(kGoldenSet.data()), static_cast<UINT>(len));
    CVdbTableSet db;
    EXPECT_FALSE(db.ReadTables(in)) << len;
  }
  for (size_t at = 0; at < kGoldenSet.size(); ++at) {
    std::vector<BYTE> bad(kGoldenSet);
    bad[at] ^= 0xFF;
    CMemFile in(bad.data(), static_cast<UINT>(bad.size()));
    CVdbTableSet db;
    db.ReadTables(in);  // any result; the sanitizers watch the rest
  }

  // A second table that is not a table file: the first stays, false.
  std::vector<BYTE> broken(kGoldenSet);
  const size_t secondTable = 4 + 28 + 71 + 8 + 8;
  ASSERT_EQ(broken[secondTable], 'T');
  broken[secondTable + 3] = '1';  // "TV11"
  CMemFile in(broken.data(), static_cast<UINT>(broken.size()));
  CVdbTableSet db;
  EXPECT_FALSE(db.ReadTables(in));
  EXPECT_EQ(db.GetTableCount(), 1);
  EXPECT_EQ(db.GetFieldSetCount(), 0);

  // Hostile counts fail before anything is allocated for them.
  const BYTE hugeTables[] = {0xFF, 0xFF, 0xFF, 0x7F, 'T', 'V', '1', '0'};
  const BYTE negativeTables[] = {0xFF, 0xFF, 0xFF, 0xFF};
  const BYTE hugeRelations[] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 0, 0};
  for (auto [data, size] : {std::pair<const BYTE*, size_t>{hugeTables, sizeof hugeTables},
                            {negativeTables, sizeof negativeTables},
                            {hugeRelations, sizeof hugeRelations}}) {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CVdbTableSet hostile;
    EXPECT_FALSE(hostile.ReadTables(mem));
  }
}

// Fields of no bytes (edited from outside or read from a stream; found by fuzzing)
// never reach the variant transfer.
TEST(TableSetSelectTest, LayoutEditedFromOutsideIsNeverReadPastARecord) {
  CVdbTableSet db;
  CVdbTable* src = MakeXYZ(db);
  CVdbTable* rel = db.CreateTable("Rel", nullptr);
  rel->AddField("V", VDB_LONG, 1);
  rel->AddNew();
  for (CVdbTable* t : {src, rel}) {
    auto* f = new SVdbField;
    f->SetName("N");
    f->m_nType = VDB_STRING;
    f->m_nCount = 0;
    f->m_nOffset = t->GetFieldSet()->m_nRecordSize;
    t->GetFieldSet()->AppendField(f);
  }
  db.AddRelation("N", "Rel.N");
  CVdbTableView view;
  db.Select(&view, "Src", "N,Rel.V", nullptr);
  ASSERT_EQ(view.GetFieldCount(), 2);
  EXPECT_EQ(view.GetRecordCount(), 3);
}

}  // namespace
