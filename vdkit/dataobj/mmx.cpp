#include "vdkit/dataobj/mmx.h"

#include "vdkit/core/text.h"
#include "vdkit/platform/safe_file.h"
#include "vdkit/vdb/field_value.h"

IMPLEMENT_VDFILE(CMMX, CVDFile)

CMMX::CMMX() = default;

CMMX::~CMMX() = default;

CMMX::SItem* CMMX::GetItemAt(int i) const {
  return i >= 0 && i < GetItemCount() ? m_items[static_cast<size_t>(i)].get() : nullptr;
}

CMMX::SItem* CMMX::GetItem(const char* lpszName, SHORT nKey, bool bCreate) {
  if (!lpszName) lpszName = "";
  for (const auto& item : m_items)
    if ((nKey == -1 || item->nKey == nKey) && item->strName.CompareNoCase(lpszName) == 0) return item.get();
  return bCreate ? Create(lpszName, nKey, 0.0f) : nullptr;
}

CMMX::SItem* CMMX::Create(const char* lpszName, SHORT nKey, float fRange) {
  auto item = std::make_unique<SItem>();
  item->strName = lpszName;
  item->nKey = nKey;
  item->fMax = item->fMin = fRange;
  m_items.push_back(std::move(item));
  return m_items.back().get();
}

CMMX::SItem* CMMX::FindOrCreate(const char* lpszName, SHORT nKey, float fRange) {
  SItem* item = GetItem(lpszName, nKey, false);
  return item ? item : Create(lpszName ? lpszName : "", nKey, fRange);
}

bool CMMX::GetMMX(const char* lpszName, float& fMin, float& fMax, SHORT nKey) {
  const SItem* item = GetItem(lpszName, nKey, false);
  if (!item) return false;
  fMin = item->fMin;
  fMax = item->fMax;
  return fMin != fMax;
}

bool CMMX::GetMMX(const char* lpszName, float*& pMin, float*& pMax, SHORT nKey) {
  SItem* item = GetItem(lpszName, nKey, false);
  const bool found = item != nullptr;
  if (!found) item = Create(lpszName ? lpszName : "", nKey, VDB_NULL_FLOAT);
  pMin = &item->fMin;
  pMax = &item->fMax;
  return found && item->fMin != item->fMax;
}

bool CMMX::SetMMX(const char* lpszName, float fMin, float fMax, SHORT nKey) {
  SItem* item = FindOrCreate(lpszName, nKey, VDB_NULL_FLOAT);
  item->fMin = fMin;
  item->fMax = fMax;
  return true;
}

bool CMMX::GetProps(const char* lpszName, bool** ppAuto, bool** ppLog10, SHORT nKey) {
  SItem* item = FindOrCreate(lpszName, nKey, 0.0f);
  if (ppAuto) *ppAuto = &item->bAuto;
  if (ppLog10) *ppLog10 = &item->bLog10;
  return true;
}

bool CMMX::IsAutoMMX(const char* lpszName, SHORT nKey) {
  const SItem* item = GetItem(lpszName, nKey, false);
  return item && item->bAuto;
}

bool CMMX::IsLog10Scale(const char* lpszName, SHORT nKey) {
  const SItem* item = GetItem(lpszName, nKey, false);
  return item && item->bLog10;
}

void CMMX::SetAuto(const char* lpszName, int nAuto, SHORT nKey) {
  if (SItem* item = GetItem(lpszName, nKey, false)) item->bAuto = nAuto != 0;
}

void CMMX::GetLine(const char* lpszName, SHORT nKey, DWORD& dwLine1, WORD& wLine2, int& nLine3) {
  const SItem* item = FindOrCreate(lpszName, nKey, 0.0f);
  dwLine1 = item->dwLine1;
  wLine2 = item->wLine2;
  nLine3 = item->wLine3;
}

void CMMX::SetLine(const char* lpszName, SHORT nKey, DWORD dwLine1, WORD wLine2, int nLine3) {
  SItem* item = FindOrCreate(lpszName, nKey, 0.0f);
  item->dwLine1 = dwLine1;
  item->wLine2 = wLine2;
  item->wLine3 = static_cast<SHORT>(nLine3);
}

void CMMX::Reset() {
  m_items.clear();
}

void CMMX::Reset(const char* lpszName) {
  if (!lpszName) return;
  for (const auto& item : m_items)
    if (item->strName.CompareNoCase(lpszName) == 0) item->fMax = item->fMin = 0.0f;
}

bool CMMX::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << static_cast<DWORD>(m_items.size());
    for (const auto& item : m_items) {
      ar << item->strName << item->fMax << item->fMin << item->nKey << item->bAuto << item->bLog10
         << item->dwLine1 << item->wLine2 << item->wLine3;
    }
    return true;
  }
  // The archive throws at the end of the class data; a cut record is
  // dropped and the answer is false, so that no exception leaves here.
  try {
    DWORD count = 0;
    ar >> count;
    Reset();
    for (DWORD i = 0; i < count; ++i) {
      auto item = std::make_unique<SItem>();
      BYTE bAuto = 0, bLog10 = 0;
      ar >> item->strName >> item->fMax >> item->fMin >> item->nKey >> bAuto >> bLog10 >> item->dwLine1 >>
          item->wLine2 >> item->wLine3;
      item->bAuto = bAuto != 0;
      item->bLog10 = bLog10 != 0;
      m_items.push_back(std::move(item));
    }
  } catch (CArchiveException* e) {
    e->Delete();
    return false;
  }
  return true;
}

bool CMMX::Read(FILE*) {
  return false;
}

bool CMMX::Write(FILE*) {
  return false;
}

bool CMMX::Read(const char* lpszPath) {
  Reset();
  FILE* fp = lpszPath ? std::fopen(lpszPath, "r") : nullptr;
  if (!fp) {
    SetLastErrorMsg("Error: Open file '%s'", lpszPath ? lpszPath : "");
    return false;
  }
  const bool ok = Read(fp);
  std::fclose(fp);
  return ok;
}

bool CMMX::Write(const char* lpszPath) {
  CSafeStdioFile out;
  FILE* fp = out.Open(lpszPath, "w");
  if (!fp) {
    SetLastErrorMsg("Error: Open file '%s'", lpszPath ? lpszPath : "");
    return false;
  }
  if (!Write(fp)) return false;  // `out` discards the new file
  if (out.Commit()) return true;
  SetLastErrorMsg("Error: Write file '%s'", lpszPath);
  return false;
}
