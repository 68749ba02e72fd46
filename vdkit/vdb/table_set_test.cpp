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

// Wells: ID (LONG), Depth (FLOAT), Elev (DOUBLE), Code (LONG), Name
// (CHAR16), Note (STRING*6); IDs repeat so that the first match counts.
// Samples: WellID (LONG), Tag (CHAR16), Short (SHORT), keys from -2 to past the IDs.
struct LookupFixture {
  CVdbTableSet db;
  CVdbTable* wells;
  CVdbTable* samples;

  explicit LookupFixture(unsigned seed, int nWells = 60, int nSamples = 400) {
    std::mt19937 rng(seed);
    wells = db.CreateTable("Wells", nullptr);
    for (const char* def :
         {"ID:LONG", "Depth:FLOAT", "Elev:DOUBLE", "Code:LONG", "Name:CHAR16", "Note:STRING*6"})
      wells->AddField(def, 0, 1);
    std::uniform_int_distribution<int> id(0, nWells / 2);
    for (int i = 0; i < nWells; ++i) {
      wells->AddNew();
      const int k = id(rng);
      PutLong(*wells, "ID", k);
      PutFloat(*wells, "Depth", static_cast<float>(i) + 0.25f);
      if (i % 3) wells->SetFieldValue("Elev", std::to_string(i * 1.5).c_str());
      PutLong(*wells, "Code", 1000 + i);
      wells->SetFieldValue("Name", ("W-" + std::to_string(k)).c_str());
      wells->SetFieldValue("Note", ("note-" + std::to_string(i)).c_str());
    }
    samples = db.CreateTable("Samples", nullptr);
    for (const char* def : {"WellID:LONG", "Tag:CHAR16", "Short:SHORT"}) samples->AddField(def, 0, 1);
    std::uniform_int_distribution<int> pick(-2, nWells / 2 + 5);
    for (int i = 0; i < nSamples; ++i) {
      samples->AddNew();
      const int k = pick(rng);
      PutLong(*samples, "WellID", k);
      samples->SetFieldValue("Tag", ("W-" + std::to_string(k)).c_str());
      samples->SetFieldValue("Short", std::to_string(k).c_str());
    }
  }
};

// The values the selection must give: a scan for the first matching record,
// as LocatOn does it.
void ExpectSameAsScan(CVdbTableView& view, CVdbTable& source, CVdbTable& related, const char* keyField,
                      const char* relatedKeyField, const std::vector<std::string>& lookedUp) {
  ASSERT_EQ(view.GetRecordCount(), source.GetRecordCount());
  const int k = source.GetFieldIndex(keyField), rk = related.GetFieldIndex(relatedKeyField);
  for (LONG r = 0; r < source.GetRecordCount(); ++r) {
    source.MoveTo(r);
    view.MoveTo(r);
    SVdbVariant key;
    ASSERT_TRUE(source.GetFieldValue(k, key));
    const bool found = related.LocatOn(rk, key);
    for (const std::string& name : lookedUp) {
      SCOPED_TRACE(testing::Message() << "record " << r << ", " << name);
      const int vf = view.GetFieldIndex(name.c_str());
      ASSERT_GE(vf, 0);
      const SVdbField* f = view.GetField(vf);
      std::vector<BYTE> expect(static_cast<size_t>(f->GetDataSize()), 0);
      if (found) {
        std::memcpy(expect.data(), related.GetFieldVaptr(name.c_str()), expect.size());
        if (f->Is(VDB_STRING)) {  // a text goes up to its first zero
          const auto zero = std::find(expect.begin(), expect.end(), 0);
          std::fill(zero, expect.end(), 0);
        }
      } else if (f->Is(VDB_FLOAT)) {
        std::memcpy(expect.data(), &VDB_NULL_FLOAT, 4);
      } else if (f->Is(VDB_DOUBLE)) {
        std::memcpy(expect.data(), &VDB_NULL_DOUBLE, 8);
      }
      EXPECT_EQ(std::memcmp(view.GetFieldVaptr(vf), expect.data(), expect.size()), 0);
    }
  }
}

TEST(TableSetSelectTest, LookedUpColumnsTakeTheFirstMatch) {
  LookupFixture fx(1);
  fx.db.AddRelation("WellID", "Wells.ID");
  fx.wells->MoveTo(5);
  fx.samples->MoveTo(7);
  CVdbTableView view;
  fx.db.Select(&view, "Samples", "WellID,Wells.Depth,Wells.Elev,Wells.Code,Wells.Name,Wells.Note,Wells.Nope",
               nullptr);
  ASSERT_EQ(view.GetFieldCount(), 6);
  EXPECT_EQ(fx.wells->GetCursor(), 5);
  EXPECT_EQ(fx.samples->GetCursor(), 7);
  ExpectSameAsScan(view, *fx.samples, *fx.wells, "WellID", "ID", {"Depth", "Elev", "Code", "Name", "Note"});
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
  const BYTE hugeSets[] = {0, 0, 0, 0, 0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0};
  const BYTE hugeRelations[] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 0, 0};
  for (auto [data, size] : {std::pair<const BYTE*, size_t>{hugeTables, sizeof hugeTables},
                            {negativeTables, sizeof negativeTables},
                            {hugeSets, sizeof hugeSets},
                            {hugeRelations, sizeof hugeRelations}}) {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CVdbTableSet hostile;
    EXPECT_FALSE(hostile.ReadTables(mem));
  }
}

}  // namespace
