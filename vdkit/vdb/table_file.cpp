// The binary table file ("TV10") of CVdbTable.
#include <algorithm>
#include <cstring>

#include "vdkit/core/padded_string.h"
#include "vdkit/vdb/binary_io_internal.h"
#include "vdkit/vdb/table.h"

namespace {
const char kMagic[4] = {'T', 'V', '1', '0'};
}  // namespace

bool CVdbTable::Write(CFile& file) {
  file.Write(kMagic, 4);
  WritePaddedString(file, GetMapedName(GetName()));
  WritePaddedString(file, GetName());
  m_FieldSet.Write(file);
  detail::WriteU32(file, static_cast<DWORD>(m_arRecords.size()));
  detail::WriteU32(file, m_nMaxID);
  const UINT size = static_cast<UINT>(m_FieldSet.m_nRecordSize);
  for (const SVdbRecord* r : m_arRecords) {
    // Identifier and data lie side by side in the block.
    file.Write(&r->m_nID, 4 + size);
  }
  return true;
}

bool CVdbTable::Read(CFile& file) {
  char magic[4];
  if (file.Read(magic, 4) != 4 || std::memcmp(magic, kMagic, 4) != 0) return false;
  CString text;
  CString name;
  if (!ReadPaddedString(file, text) || !ReadPaddedString(file, name)) return false;
  SetName(name);
  MapKeywordName(name, text);
  if (!m_FieldSet.Read(file)) return false;
  LONG count = 0;
  DWORD maxID = 0;
  if (!detail::ReadI32(file, count) || !detail::ReadU32(file, maxID)) return false;
  m_nMaxID = maxID;
  const ULONGLONG each = 4 + static_cast<ULONGLONG>(m_FieldSet.m_nRecordSize);
  // Blocks are made only for records the file can still hold in full, so a
  // hostile count or record size allocates nothing it cannot back.
  ULONGLONG left = detail::Remaining(file);
  if (count > 0)
    m_arRecords.reserve(m_arRecords.size() + static_cast<size_t>(std::min<ULONGLONG>(count, left / each)));
  bool ok = true;
  for (LONG i = 0; i < count; ++i) {
    if (left < each) {
      ok = false;
      break;
    }
    SVdbRecord* r = NewRecord();
    std::memset(r, 0, static_cast<size_t>(each) + 4);
    const UINT got = file.Read(&r->m_nID, static_cast<UINT>(each));
    m_arRecords.push_back(r);
    if (got != each) {
      ok = false;
      break;
    }
    left -= each;
  }
  RecordsChanged();
  return ok;
}

// The XML body comes with the XML archive.
bool CVdbTable::Serialize(CXmlArchive&) {
  return true;
}
