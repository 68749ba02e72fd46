// A short tour of vdkit: strings, archives and memory files.
#include <cstdio>

#include "vdkit/vdkit.h"

int main() {
  // An archive over a memory file, in the framework's byte forms.
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ar << CString("Depth") << static_cast<LONG>(3) << 1.5;
    ar.Close();
  }
  mem.SeekToBegin();
  CArchive in(&mem, CArchive::load);
  CString name;
  LONG count = 0;
  double value = 0;
  in >> name >> count >> value;
  std::printf("read back %s, %d, %g from %u bytes\n", name.GetString(), count, value,
              static_cast<unsigned>(mem.GetLength()));
  return 0;
}
