#include "vdkit/dataobj/rc_data.h"

#include <algorithm>
#include <new>
#include <vector>

#include "vdkit/vdb/field_value.h"

IMPLEMENT_VDFILE(CRCData, CVDFile)

namespace {

// A row of null markers; null when memory cannot be had.
std::unique_ptr<CRCData::SRCRow[]> NullRow(size_t cells) {
  std::unique_ptr<CRCData::SRCRow[]> row(new (std::nothrow) CRCData::SRCRow[cells]);
  if (row) std::fill(row.get(), row.get() + cells, VDB_NULL_FLOAT);
  return row;
}

}  // namespace

CRCData::CRCData() = default;

CRCData::~CRCData() {
  DeleteAll();
}

const char* CRCData::GetColName(int i) const {
  return i >= 0 && i < GetColCount() ? m_cols[static_cast<size_t>(i)].strName.GetString() : nullptr;
}

const char* CRCData::GetColUnit(int i) const {
  return i >= 0 && i < GetColCount() ? m_cols[static_cast<size_t>(i)].strUnit.GetString() : nullptr;
}

CRCData::SRCRow* CRCData::GetRowAt(int i) const {
  return i >= 0 && i < GetRowCount() ? m_rows[static_cast<size_t>(i)].get() : nullptr;
}

int CRCData::GetColi(const char* lpszName) const {
  if (!lpszName) return -1;
  for (size_t i = 0; i < m_cols.size(); ++i)
    if (m_cols[i].strName.CompareNoCase(lpszName) == 0) return static_cast<int>(i);
  return -1;
}

int CRCData::AddColName(const char* lpszName) {
  if (!lpszName || !*lpszName) return -1;
  const int existing = GetColi(lpszName);
  if (existing >= 0) return existing;
  const size_t old = m_cols.size();
  // Every wider row is made before any is replaced, so that a failure leaves
  // the table as it was.
  std::vector<std::unique_ptr<SRCRow[]>> wider(m_rows.size());
  for (size_t r = 0; r < m_rows.size(); ++r) {
    wider[r] = NullRow(old + 1);
    if (!wider[r]) return -1;
    std::copy(m_rows[r].get(), m_rows[r].get() + old, wider[r].get());
  }
  m_rows.swap(wider);
  m_cols.push_back({lpszName, ""});
  SetModified(true);
  // The new column holds only null markers, so that is its range too.
  if (m_bRanges) {
    m_max.push_back(VDB_NULL_FLOAT);
    m_min.push_back(VDB_NULL_FLOAT);
  }
  return static_cast<int>(old);
}

void CRCData::SetColName(int i, const char* lpszName) {
  if (i >= 0 && i < GetColCount()) m_cols[static_cast<size_t>(i)].strName = lpszName;
}

void CRCData::SetColUnit(int i, const char* lpszUnit) {
  if (i >= 0 && i < GetColCount()) m_cols[static_cast<size_t>(i)].strUnit = lpszUnit;
}

bool CRCData::RemoveCol(const char* lpszName) {
  const int i = GetColi(lpszName);
  if (i < 0) return false;
  const size_t old = m_cols.size();
  m_cols.erase(m_cols.begin() + i);
  // Rows keep their block; the cells after i move down one.
  for (auto& row : m_rows) std::copy(row.get() + i + 1, row.get() + old, row.get() + i);
  if (m_bRanges) {
    m_max.erase(m_max.begin() + i);
    m_min.erase(m_min.begin() + i);
  }
  return true;
}

CRCData::SRCRow* CRCData::NewRow(bool bAdd) {
  if (m_cols.empty()) return nullptr;
  auto row = NullRow(m_cols.size());
  if (!row) return nullptr;
  SRCRow* p = row.get();
  if (!bAdd) return row.release();
  m_rows.push_back(std::move(row));
  SetModified(true);
  return p;
}

void CRCData::AddRow(SRCRow* pRow) {
  if (!pRow) return;
  m_rows.emplace_back(pRow);
  SetModified(true);
}

void CRCData::DeleteAllRows() {
  m_rows.clear();
}

void CRCData::DeleteAll() {
  DeleteAllRows();
  m_cols.clear();
  m_max.clear();
  m_min.clear();
  m_bRanges = false;
  SetModified(false);
}

bool CRCData::GetCol(const char* lpszA, const char* lpszB, SRCCol& col) {
  const int a = GetColi(lpszA);
  const int b = GetColi(lpszB);
  if (a < 0 || b < 0) {
    col.SetCount(0);
    return false;
  }
  col.SetCount(GetRowCount());
  for (int r = 0; r < col.nCount; ++r) {
    col.pX[r] = m_rows[static_cast<size_t>(r)][a];
    col.pY[r] = m_rows[static_cast<size_t>(r)][b];
  }
  return true;
}

void CRCData::AutoColMMX() {
  m_max.assign(m_cols.size(), VDB_NULL_FLOAT);
  m_min.assign(m_cols.size(), VDB_NULL_FLOAT);
  m_bRanges = true;
  for (size_t r = 0; r < m_rows.size(); ++r) {
    const SRCRow* row = m_rows[r].get();
    for (size_t c = 0; c < m_cols.size(); ++c) {
      if (r == 0 || row[c] >= m_max[c]) m_max[c] = row[c];
      if (r == 0 || row[c] < m_min[c]) m_min[c] = row[c];
    }
  }
}

float CRCData::GetMin(int i) {
  if (!m_bRanges) AutoColMMX();
  return i >= 0 && i < GetColCount() ? m_min[static_cast<size_t>(i)] : VDB_NULL_FLOAT;
}

float CRCData::GetMax(int i) {
  if (!m_bRanges) AutoColMMX();
  return i >= 0 && i < GetColCount() ? m_max[static_cast<size_t>(i)] : VDB_NULL_FLOAT;
}

void CRCData::SetMin(int i, float v) {
  if (!m_bRanges) AutoColMMX();
  if (i >= 0 && i < GetColCount()) m_min[static_cast<size_t>(i)] = v;
}

void CRCData::SetMax(int i, float v) {
  if (!m_bRanges) AutoColMMX();
  if (i >= 0 && i < GetColCount()) m_max[static_cast<size_t>(i)] = v;
}

void CRCData::CopyColHead(CRCData* pSource) {
  if (!pSource) return;
  // Taken before DeleteAll, which empties the source too when it is this.
  const CString name = pSource->GetName();
  const CString type = pSource->GetFileType();
  const std::vector<SRCColProps> cols = pSource->m_cols;
  DeleteAll();
  if (name != GetName()) SetName(name);
  SetFileType(type);
  m_cols = cols;
}

CRCData& CRCData::operator=(const CRCData& source) {
  if (this == &source) return *this;
  DeleteAll();
  m_cols = source.m_cols;
  m_bRanges = source.m_bRanges;
  m_max = source.m_max;
  m_min = source.m_min;
  // Rows are copied whole even when no column is left to give them cells.
  // Out of memory they throw, as the containers do: a null row would be
  // written through.
  m_rows.reserve(source.m_rows.size());
  for (const auto& row : source.m_rows) {
    std::unique_ptr<SRCRow[]> copy(new SRCRow[m_cols.size()]);
    std::copy(row.get(), row.get() + m_cols.size(), copy.get());
    m_rows.push_back(std::move(copy));
  }
  if (!m_rows.empty()) SetModified(true);
  return *this;
}
