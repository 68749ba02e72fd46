// Feeds arbitrary bytes to the min/max register: once as a whole object
// stream read into a register (and into a disk, where records of class
// "CMMX" become registers), once as the register's class data wrapped in a
// well-formed stream, so that the register's own reader sees every input.
// Whatever was read is stored again and looked up.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vdkit/dataobj/mmx.h"
#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

void Use(CMMX& m) {
  for (int i = 0; i < m.GetItemCount(); ++i) {
    CMMX::SItem* item = m.GetItemAt(i);
    float lo, hi;
    m.GetMMX(item->strName, lo, hi, item->nKey);
    m.IsLog10Scale(item->strName, -1);
  }
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  ar << m;
  ar.Close();
}

bool Read(const uint8_t* data, size_t size, CVDFile& into) {
  CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
  CArchive ar(&mem, CArchive::load, 128);
  return ar >> into;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    SetMessageBoxHandler([](const char*, UINT) { return IDOK; });
    return true;
  }();
  (void)quiet;
  {
    CMMX m;
    Read(data, size, m);
    Use(m);
    CVDisk disk;
    Read(data, size, disk);
  }
  // "VDFc", key, class "CMMX", version, named, name "m", type "", no blob,
  // then the input as class data, and no children.
  static const uint8_t head[] = {'V', 'D', 'F', 'c', 10,  0,   'C', 'l', 'a', 's', 's', 'N', 'a', 'm',
                                 'e', '=', 6,   0,   'C', 'M', 'M', 'X', 0,   0,   0,   1,   1,   0,
                                 2,   0,   'm', 0,   2,   0,   0,   0,   0,   0,   0,   0};
  std::vector<uint8_t> stream(head, head + sizeof head);
  for (int i = 0; i < 4; ++i) stream.push_back(static_cast<uint8_t>(size >> (8 * i)));
  stream.insert(stream.end(), data, data + size);
  stream.insert(stream.end(), 4, 0);
  CMMX m;
  Read(stream.data(), stream.size(), m);
  Use(m);
  return 0;
}
