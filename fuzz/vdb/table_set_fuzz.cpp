// Feeds arbitrary bytes to the table-set stream reader, then selects from
// whatever it read, so that damaged layouts reach the selection too.
#include <cstddef>
#include <cstdint>

#include "vdkit/vdb/table_set.h"
#include "vdkit/vdb/table_view.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
  CVdbTableSet db;
  db.ReadTables(mem);
  // A record may legally be nearly 2 GB; a selection from such a layout makes
  // view records as large as asked, which is no fault of the reader.
  for (int i = 0; i < db.GetTableCount(); ++i)
    if (db.GetTable(i) && db.GetTable(i)->GetFieldSet()->m_nRecordSize > (1 << 16)) return 0;
  for (int i = 0; i < db.GetTableCount() && i < 4; ++i) {
    CVdbTable* t = db.GetTable(i);
    if (!t) continue;
    CVdbTableView view;
    db.Select(&view, t->GetName(), "*", nullptr);
    for (int r = 0; r < db.GetRelationCount(); ++r) {
      const SVdbRelation* rel = db.GetRelationAt(r);
      CString column = rel->m_strTable + "." + rel->m_strRelatedKeyField;
      db.Select(&view, t->GetName(), column, nullptr);
    }
    view.AuToMMX();
    float lo, hi;
    view.MinMax(0, lo, hi);
  }
  return 0;
}
