// Feeds arbitrary bytes to the archive's string, count and number readers.
#include <cstddef>
#include <cstdint>

#include "vdkit/platform/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
  CArchive ar(&mem, CArchive::load, 128);
  try {
    for (;;) {
      CString s;
      ar >> s;
      (void)ar.ReadCount();
      double d;
      ar >> d;
    }
  } catch (CException* e) {
    e->Delete();
  }
  return 0;
}
