// Feeds arbitrary bytes to both readers of a data set: the binary form and
// the text form.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "vdkit/vdb/data_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CVdbDataSet ds;
    ds.Read(mem);
  }
  if (FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb")) {
    CVdbDataSet ds;
    ds.Read(fp);
    std::fclose(fp);
  }
  return 0;
}
