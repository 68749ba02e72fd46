#include "vdkit/vdb/table_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/platform/resources.h"
#include "vdkit/vdb/table_view.h"

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

  // An unknown source leaves the view empty but named.
  db.Select(&view, "Nowhere", "X", nullptr);
  EXPECT_STREQ(view.GetName(), "Nowhere");
  EXPECT_EQ(view.GetRecordCount(), 0);
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

// Field "ID" (and "K"), LONG, count 1, every text empty, limits unset: 47 bytes.
#define FIELD_LONG(...)                                                                            \
  0x00, 0x00, 0x00, 0x00,     /* alias "" */                                                       \
      __VA_ARGS__,            /* name */                                                           \
      0x29,                   /* type 41 LONG */                                                   \
      0x01, 0x00, 0x00, 0x00, /* count 1 */                                                        \
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,    \
      0x00,                                          /* source, value, extra 1, extra 2: all "" */ \
      0x00, 0x00,                                    /* edit 0, flag 0 */                          \
      0x00, 0x00, 0x00, 0x00,                        /* options "" */                              \
      0xC7, 0xCD, 0x4A, 0x0F, 0xC7, 0xCD, 0x4A, 0x0F /* min, max: null marker 0x0F4ACDC7 */

// Field set "W", label "Wells", one field ID.
#define FIELD_SET_W                                                                                      \
  0x04, 0x00, 0x00, 0x00, 'W', 0x00, 0x00, 0x00,                         /* name "W" */                  \
      0x08, 0x00, 0x00, 0x00, 'W', 'e', 'l', 'l', 's', 0x00, 0x00, 0x00, /* label "Wells": 5 + 1 -> 8 */ \
      0x01, 0x00, 0x00, 0x00,                                            /* one field */                 \
      FIELD_LONG(0x04, 0x00, 0x00, 0x00, 'I', 'D', 0x00, 0x00)

// Field set "S", empty label, one field K.
#define FIELD_SET_S                                              \
  0x04, 0x00, 0x00, 0x00, 'S', 0x00, 0x00, 0x00, /* name "S" */  \
      0x00, 0x00, 0x00, 0x00,                    /* label "" */  \
      0x01, 0x00, 0x00, 0x00,                    /* one field */ \
      FIELD_LONG(0x04, 0x00, 0x00, 0x00, 'K', 0x00, 0x00, 0x00)

// Tables GoldW (definition W, one record: identifier 1, ID 7) and GoldS
// (definition S, no records); relations (K, GoldW, ID) and (X, Other, "").
const BYTE kGoldenSet[] = {
    0x02, 0x00, 0x00, 0x00,  // two tables
    // table GoldW
    'T', 'V', '1', '0',                                                 // magic
    0x08, 0x00, 0x00, 0x00, 'G', 'o', 'l', 'd', 'W', 0x00, 0x00, 0x00,  // text: the name, 5 + 1 -> 8
    0x08, 0x00, 0x00, 0x00, 'G', 'o', 'l', 'd', 'W', 0x00, 0x00, 0x00,  // name
    FIELD_SET_W, 0x01, 0x00, 0x00, 0x00,                                // one record
    0x01, 0x00, 0x00, 0x00,                                             // last identifier 1
    0x01, 0x00, 0x00, 0x00,                                             // record: identifier 1
    0x07, 0x00, 0x00, 0x00,                                             //         ID = 7
    // table GoldS
    'T', 'V', '1', '0',                                                 //
    0x08, 0x00, 0x00, 0x00, 'G', 'o', 'l', 'd', 'S', 0x00, 0x00, 0x00,  //
    0x08, 0x00, 0x00, 0x00, 'G', 'o', 'l', 'd', 'S', 0x00, 0x00, 0x00,  //
    FIELD_SET_S, 0x00, 0x00, 0x00, 0x00,                                // no records
    0x00, 0x00, 0x00, 0x00,                                             // last identifier 0
    // two definitions
    0x02, 0x00, 0x00, 0x00, FIELD_SET_W, FIELD_SET_S,
    // two relations
    0x02, 0x00, 0x00, 0x00,                                             //
    0x04, 0x00, 0x00, 0x00, 'K', 0x00, 0x00, 0x00,                      // key field "K"
    0x08, 0x00, 0x00, 0x00, 'G', 'o', 'l', 'd', 'W', 0x00, 0x00, 0x00,  // table "GoldW"
    0x04, 0x00, 0x00, 0x00, 'I', 'D', 0x00, 0x00,                       // related key "ID"
    0x04, 0x00, 0x00, 0x00, 'X', 0x00, 0x00, 0x00,                      // key field "X"
    0x08, 0x00, 0x00, 0x00, 'O', 't', 'h', 'e', 'r', 0x00, 0x00, 0x00,  // table "Other"
    0x00, 0x00, 0x00, 0x00,                                             // related key ""
};

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
  static_assert(sizeof kGoldenSet == 4 + (28 + 71 + 8 + 8) + (28 + 63 + 8) + 4 + 71 + 63 + 4 + 28 + 24,
                "the layout adds up");
  CVdbTableSet db;
  FillGolden(db);
  CMemFile mem;
  EXPECT_TRUE(db.WriteTables(mem));
  EXPECT_EQ(Bytes(mem), std::vector<BYTE>(std::begin(kGoldenSet), std::end(kGoldenSet)));

  CMemFile in(const_cast<BYTE*>(kGoldenSet), sizeof kGoldenSet);
  CVdbTableSet back;
  back.CreateFieldSet("stale", nullptr);
  ASSERT_TRUE(back.ReadTables(in));
  EXPECT_EQ(in.GetPosition(), sizeof kGoldenSet);
  CMemFile again;  // tables, records, definitions and relations all came back, the stale one gone
  back.WriteTables(again);
  EXPECT_EQ(Bytes(again), Bytes(mem));
  EXPECT_EQ(back.GetTable("goldw")->GetTableSet(), &back);
}

TEST(TableSetStreamTest, DamagedStreamsFailAndKeepWhatWasRead) {
  for (size_t len = 0; len < sizeof kGoldenSet; ++len) {
    CMemFile in(const_cast<BYTE*>(kGoldenSet), static_cast<UINT>(len));
    CVdbTableSet db;
    EXPECT_FALSE(db.ReadTables(in)) << len;
  }
  for (size_t at = 0; at < sizeof kGoldenSet; ++at) {
    std::vector<BYTE> bad(std::begin(kGoldenSet), std::end(kGoldenSet));
    bad[at] ^= 0xFF;
    CMemFile in(bad.data(), static_cast<UINT>(bad.size()));
    CVdbTableSet db;
    db.ReadTables(in);  // any result; the sanitizers watch the rest
  }

  // A second table that is not a table file: the first stays, false.
  std::vector<BYTE> broken(std::begin(kGoldenSet), std::end(kGoldenSet));
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

}  // namespace
