// Feeds arbitrary bytes to the table file reader, then exercises what was
// read: every record's values as text and variants, a date sort and a copy.
// The same bytes also go to the key-list file reader.
#include <cstddef>
#include <cstdint>

#include "vdkit/core/string_sets.h"
#include "vdkit/vdb/table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CVdbTable t;
    t.Read(mem);
    CString text;
    SVdbVariant v;
    for (bool ok = t.MoveToFirst(); ok; ok = t.MoveToNext()) {
      for (int i = 0; i < t.GetFieldCount(); ++i) {
        t.GetFieldValue(i, text, 3);
        t.GetFieldValue(i, v);
        t.SetFieldValue(i, v);
      }
    }
    t.SortByDate();
    CVdbTable copy;
    copy = t;
    CMemFile out;
    copy.Write(out);
  }
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CKeyStringArraySet set;
    set.Read(mem);
  }
  return 0;
}
