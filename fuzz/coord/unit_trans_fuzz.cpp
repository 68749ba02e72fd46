// Feeds arbitrary bytes to the binary reader of CUnitTrans; what it accepts
// must write back and read again to the same table and factor.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vdkit/coord/unit_trans.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CUnitTrans ut;
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CArchive ar(&mem, CArchive::load, 64);
    if (!ut.Serialize(ar)) return 0;
  }
  CMemFile out;
  {
    CArchive ar(&out, CArchive::store);
    ut.Serialize(ar);
  }
  std::vector<BYTE> bytes(out.GetData(), out.GetData() + out.GetLength());
  CMemFile in(bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive ar(&in, CArchive::load);
  CUnitTrans again;
  if (!again.Serialize(ar) || again != ut) __builtin_trap();
  return 0;
}
