// The table file, the table-set stream and both data-set forms over files
// and streams whose operations fail one at a time: every failure is
// reported, a failed save keeps the old file and the objects, and a failed
// read leaves an object that writes and reads back as it stands.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vdkit/platform/fault_test_util.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"

namespace {

void FillTable(CVdbTable& t) {
  t.SetName("Wells");
  for (const char* def : {"ID:LONG", "Name:STRING*12", "Depth:DOUBLE", "T:FLOAT*3", "When:DATE"})
    t.AddField(def, 0, 1);
  for (int i = 0; i < 40; ++i) {
    t.AddNew();
    t.SetFieldValue("ID", std::to_string(i).c_str());
    t.SetFieldValue("Name", ("well " + std::to_string(i)).c_str());
    t.SetFieldValue("Depth", std::to_string(i * 12.5).c_str());
    t.SetFieldValue("When", "2004-03-07");
  }
}

TEST(VdbFaultsTest, TableFile) {
  CVdbTable table;
  FillTable(table);
  vdtest::ExpectFormSurvivesFaults<CVdbTable>("wells.tv10", table,
                                              {[](CVdbTable& t, CFile& f) { return t.Read(f); },
                                               [](CVdbTable& t, CFile& f) { t.Write(f); }, nullptr});
}

TEST(VdbFaultsTest, TableSetStream) {
  CVdbTableSet db;
  CVdbFieldSet* wells = db.CreateFieldSet("Well", "Wells");
  wells->AddField("ID:LONG", 0, 1);
  wells->AddField("Name:STRING*16", 0, 1);
  db.CreateFieldSet("Sample", "Samples")->AddField("WellID:LONG", 0, 1);
  for (const char* table : {"Wells", "Samples"}) {
    CVdbTable* t = db.CreateTable(table, table[0] == 'W' ? "Well" : "Sample");
    for (int i = 0; i < 20; ++i) {
      t->AddNew();
      t->SetFieldValue(0, std::to_string(i).c_str());
    }
  }
  db.AddRelation("WellID", "Wells.ID");
  vdtest::ExpectFormSurvivesFaults<CVdbTableSet>(
      "survey.vts", db,
      {[](CVdbTableSet& s, CFile& f) { return s.ReadTables(f); },
       [](CVdbTableSet& s, CFile& f) { s.WriteTables(f); }, nullptr});
}

// The name, value limits and values, in key order: the maps keep their own.
std::string Entries(CVdbDataSet& ds) {
  std::set<std::string> lines;
  ds.GetNextBegin();
  for (CString k, v; ds.GetNext(k, v);) lines.insert(std::string(k) + "=" + std::string(v));
  ds.GetNextEnd();
  std::string out = std::string(ds.GetName()) + "\n";
  for (POSITION pos = ds.GetKeyHead(); pos;) {
    const CVdbDataSet::SValueSpec* valueSpec = ds.GetKeyNext(pos);
    lines.insert(std::string(valueSpec->m_strKey) + ":" + std::string(valueSpec->m_strLabel));
  }
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

void FillDataSet(CVdbDataSet& ds) {
  ds.SetName("Pump");
  for (int i = 0; i < 12; ++i) {
    const std::string key = "k" + std::to_string(i);
    ds.Setf(("f" + key).c_str(), 1.5f * static_cast<float>(i));
    ds.Seti(("i" + key).c_str(), -7 * i);
    ds.Sets(("s" + key).c_str(), ("text " + key).c_str());
  }
  CVdbDataSet::SValueSpec valueSpec;
  valueSpec.m_strLabel = "Depth";
  ds.SetKeySpec(valueSpec, "fk1");
}

TEST(VdbFaultsTest, DataSetBinaryForm) {
  CVdbDataSet ds;
  FillDataSet(ds);
  vdtest::ExpectFormSurvivesFaults<CVdbDataSet>("pump.vds", ds,
                                                {[](CVdbDataSet& d, CFile& f) { return d.Read(f); },
                                                 [](CVdbDataSet& d, CFile& f) { d.Write(f); }, Entries});
}

// The text form goes through stdio: a failed write is false; a failed read
// is false and keeps the entries before it; a section header after the data
// set is left for the next reader, or the read is false.
TEST(VdbFaultsTest, DataSetTextForm) {
  CVdbDataSet ds;
  FillDataSet(ds);
  std::string text;
  const int writes = vdtest::ForEachStreamFault(
      CFile::Op::Write, "", [&](FILE* fp) { return ds.Write(fp); },
      [&](const vdtest::FaultRun& run, const vdtest::FaultyStream& stream) {
        EXPECT_TRUE(run.Reported()) << run.n;
        if (!run.fired) text = stream.Text();
      });
  EXPECT_GT(writes, 12);
  const size_t end = text.find("  *END*");
  ASSERT_NE(end, std::string::npos);
  text.resize(end);
  const std::string input = text + "[Next]\n";
  for (CFile::Op op : {CFile::Op::Read, CFile::Op::Seek}) {
    CVdbDataSet back;
    const int ops = vdtest::ForEachStreamFault(
        op, input, [&](FILE* fp) { return back.Read(fp); },
        [&](const vdtest::FaultRun& run, const vdtest::FaultyStream& stream) {
          SCOPED_TRACE(std::string(vdtest::FaultOpName(op)) + " " + std::to_string(run.n));
          // A failed seek matters only where the header is to be given back.
          EXPECT_TRUE(run.Reported() || (op == CFile::Op::Seek && run.fired));
          EXPECT_TRUE(!run.result || stream.Position() == text.size()) << stream.Position();
          for (int i = 0; i < 12; ++i) {
            int value = 1;
            const bool found = back.Geti(("ik" + std::to_string(i)).c_str(), value);
            EXPECT_TRUE(found ? value == -7 * i : run.fired);
          }
        });
    EXPECT_GT(ops, 0);
  }
}

}  // namespace
