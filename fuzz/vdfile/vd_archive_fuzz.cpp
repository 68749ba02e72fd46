// Feeds arbitrary bytes to the binary archive reader of file-object trees,
// reading into an empty disk and into one that already holds children (so
// that children found by name are reused), with a client class whose class
// data are a count-prefixed list.
#include <cstddef>
#include <cstdint>

#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

class CFuzzList : public CVDFile {
  DECLARE_VDFILE(CFuzzList)
  bool Serialize(CArchive& ar) override {
    if (ar.IsStoring()) return true;
    DWORD_PTR n = ar.ReadCount();
    for (DWORD_PTR i = 0; i < n; ++i) {
      CString s;
      ar >> s;  // throws at the end of the class data
    }
    return n != 7;  // some inputs refuse their class data
  }
};
IMPLEMENT_VDFILE(CFuzzList, CVDFile)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    SetMessageBoxHandler([](const char*, UINT) { return IDOK; });
    return true;
  }();
  (void)quiet;
  for (int filled = 0; filled < 2; ++filled) {
    CVDisk disk;
    if (filled) {
      disk.CreateFileEx("a/b", "T", "CFuzzList");
      disk.CreateFileA("c", nullptr, nullptr);
    }
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CArchive ar(&mem, CArchive::load, 128);
    ar >> disk;
  }
  return 0;
}
