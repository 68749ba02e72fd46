// A small database: two table definitions, a relation, a selection with a
// looked-up column into a view ready for a chart, the whole set saved and
// read back, and settings kept in a data set.
#include <cstdio>

#include "vdkit/platform/file.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdb/table_view.h"

int main() {
  CVdbTableSet db;
  CVdbFieldSet* well = db.CreateFieldSet("Well", "Wells");
  well->AddField("ID:LONG", 0, 1);
  well->AddField("Depth:FLOAT", 0, 1);
  CVdbFieldSet* sample = db.CreateFieldSet("Sample", "Samples");
  sample->AddField("DATE:DATE", 0, 1);
  sample->AddField("WellID:LONG", 0, 1);
  sample->AddField("T:FLOAT", 0, 1);

  CVdbTable* wells = db.CreateTable("Wells", "Well");
  const struct {
    const char* id;
    const char* depth;
  } wellRows[] = {{"1", "120.5"}, {"2", "87"}};
  for (const auto& w : wellRows) {
    wells->AddNew();
    wells->SetFieldValue("ID", w.id);
    wells->SetFieldValue("Depth", w.depth);
  }
  CVdbTable* samples = db.CreateTable("Samples", "Sample");
  const struct {
    const char* date;
    const char* well;
    const char* t;
  } sampleRows[] = {{"2004-03-07", "1", "12.5"}, {"2004-03-09", "2", "14.25"}, {"2004-03-12", "3", "13"}};
  for (const auto& s : sampleRows) {
    samples->AddNew();
    samples->SetFieldValue("DATE", s.date);
    samples->SetFieldValue("WellID", s.well);
    samples->SetFieldValue("T", s.t);
  }
  db.AddRelation("WellID", "Wells.ID");  // Samples.WellID looks up Wells.ID

  // The samples with their well's depth; well 3 has no row, so its depth
  // stays empty.
  CVdbTableView view;
  db.Select(&view, "Samples", "DATE,T,Wells.Depth", nullptr);
  for (bool ok = view.MoveToFirst(); ok; ok = view.MoveToNext()) {
    CString date, t, depth;
    view.GetFieldValue("DATE", date);
    view.GetFieldValue("T", t, 2);
    view.GetFieldValue("Depth", depth);
    std::printf("#%u %s T=%s depth=%s\n", view.GetRecordID(), date.GetString(), t.GetString(),
                depth.IsEmpty() ? "-" : depth.GetString());
  }
  float lo = 0, hi = 0;
  view.AuToMMX();
  if (view.MinMax(1, lo, hi)) std::printf("T axis %g .. %g\n", lo, hi);
  std::printf("dates %d-%d-%d .. %d-%d-%d\n", view.tMin().date.year, view.tMin().date.month,
              view.tMin().date.day, view.tMax().date.year, view.tMax().date.month, view.tMax().date.day);

  // The whole database as one stream, and back.
  CMemFile mem;
  db.WriteTables(mem);
  mem.SeekToBegin();
  CVdbTableSet copy;
  if (!copy.ReadTables(mem)) return 1;
  std::printf("read back %d tables, %d definitions, %d relations from %u bytes\n", copy.GetTableCount(),
              copy.GetFieldSetCount(), copy.GetRelationCount(), static_cast<unsigned>(mem.GetLength()));

  // Named settings in a data set, in its text form.
  CVdbDataSet settings;
  settings.SetName("Chart");
  settings.Setf("axis min", lo);
  settings.Seti("points", static_cast<int>(view.GetRecordCount()));
  settings.Sets("title", "Temperature by well");
  settings.Write(stdout);
  return 0;
}
