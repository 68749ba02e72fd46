#include "demo_classes.h"

#include <algorithm>
#include <vector>

#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"

IMPLEMENT_VDFILE(CSurvey, CVdbTableSet)

bool CSurvey::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    CMemFile stream;
    WriteTables(stream);
    const DWORD length = static_cast<DWORD>(stream.GetLength());
    ar << length;
    ar.Write(stream.GetData(), length);
    return true;
  }
  BYTE head[4];
  if (ar.Read(head, 4) != 4) return false;
  const DWORD length =
      static_cast<DWORD>(head[0] | (head[1] << 8) | (head[2] << 16)) | (static_cast<DWORD>(head[3]) << 24);
  // The length comes from the file: the buffer grows only as bytes arrive.
  std::vector<BYTE> bytes;
  while (bytes.size() < length) {
    const size_t step = std::min<size_t>(length - bytes.size(), 1 << 16);
    const size_t at = bytes.size();
    bytes.resize(at + step);
    if (ar.Read(bytes.data() + at, static_cast<UINT>(step)) != step) return false;
  }
  CMemFile stream(bytes.data(), length, 0);
  return ReadTables(stream) && stream.GetPosition() == length;
}

namespace vdtool {
void RegisterDemoClasses() {
  // Naming the record is enough to keep it in the program.
  static CVDClassInfo* const keep[] = {&CSurvey::sClassInfo};
  (void)keep;
}
}  // namespace vdtool
