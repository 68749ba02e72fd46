// The binary table file ("TV10") of CVdbTable.
#include <algorithm>
#include <cstring>
#include <vector>

#include "vdkit/core/padded_string.h"
#include "vdkit/vdb/binary_io_internal.h"
#include "vdkit/vdb/table.h"

namespace {
const char kMagic[4] = {'T', 'V', '1', '0'};
// Records move between file and table in batches of about this many bytes.
constexpr size_t kBatchBytes = 64 * 1024;
}  // namespace

bool CVdbTable::Write(CFile& file) {
  file.Write(kMagic, 4);
  WritePaddedString(file, GetMapedName(GetName()));
  WritePaddedString(file, GetName());
  m_FieldSet.Write(file);
  detail::WriteU32(file, static_cast<DWORD>(m_arRecords.size()));
  detail::WriteU32(file, m_nMaxID);
  // Identifier and data lie side by side in each block; they go out through
  // a buffer of many records, since a file write per record costs more than
  // the copy.
  const size_t each = 4 + static_cast<size_t>(m_FieldSet.m_nRecordSize);
  if (each > kBatchBytes) {
    for (const SVdbRecord* r : m_arRecords) file.Write(&r->m_nID, static_cast<UINT>(each));
    return true;
  }
  std::vector<BYTE> buffer(std::min(kBatchBytes, each * m_arRecords.size()));
  size_t used = 0;
  for (const SVdbRecord* r : m_arRecords) {
    if (used + each > buffer.size()) {
      file.Write(buffer.data(), static_cast<UINT>(used));
      used = 0;
    }
    std::memcpy(buffer.data() + used, &r->m_nID, each);
    used += each;
  }
  if (used > 0) file.Write(buffer.data(), static_cast<UINT>(used));
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
  // The count is stored signed; a negative one can only come from damage.
  if (count < 0) return false;
  const ULONGLONG each = 4 + static_cast<ULONGLONG>(m_FieldSet.m_nRecordSize);
  // Blocks are made only for records the file can still hold in full, so a
  // hostile count or record size allocates nothing it cannot back.
  ULONGLONG left = detail::Remaining(file);
  if (count > 0)
    m_arRecords.reserve(m_arRecords.size() + static_cast<size_t>(std::min<ULONGLONG>(count, left / each)));
  std::vector<BYTE> buffer(
      static_cast<size_t>(std::min<ULONGLONG>(std::max<ULONGLONG>(kBatchBytes, each), left)));
  bool ok = true;
  LONG done = 0;
  while (ok && done < count) {
    // As many whole records as the buffer takes and the file still holds.
    const ULONGLONG batch =
        std::min<ULONGLONG>({static_cast<ULONGLONG>(count - done), buffer.size() / each, left / each});
    if (batch == 0) {
      ok = false;
      break;
    }
    const UINT want = static_cast<UINT>(batch * each);
    const UINT got = file.Read(buffer.data(), want);
    const ULONGLONG whole = got / each;
    for (ULONGLONG k = 0; k < whole; ++k) {
      SVdbRecord* r = AllocRecord();
      std::memset(r, 0, 4);
      std::memcpy(&r->m_nID, buffer.data() + k * each, static_cast<size_t>(each));
      m_arRecords.push_back(r);
      // A damaged last identifier must not lead AddNew to issue one in use.
      if (r->m_nID > m_nMaxID) m_nMaxID = r->m_nID;
    }
    done += static_cast<LONG>(whole);
    left -= got;
    if (got != want) ok = false;
  }
  RecordsChanged();
  return ok;
}
