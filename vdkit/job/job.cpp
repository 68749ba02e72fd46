#include "vdkit/job/job.h"

#include <algorithm>
#include <cassert>

#include "vdkit/job/job_args.h"
#include "vdkit/job/jop.h"

// ---- CJobSet ----------------------------------------------------------------------------
IMPLEMENT_VDFILE(CJobSet, CVDisk)
CJobSet::CJobSet() = default;
CJobSet::~CJobSet() = default;
bool CJobSet::Serialize(CXmlArchive&) {
  return true;
}
bool CJobSet::Serialize(CArchive&) {
  return true;
}

// ---- CWorkflowSet -------------------------------------------------------------------------
IMPLEMENT_VDFILE(CWorkflowSet, CVDisk)
CWorkflowSet::CWorkflowSet() = default;
CWorkflowSet::~CWorkflowSet() = default;

// ---- CStrPairArray -------------------------------------------------------------------------
INT_PTR CStrPairArray::Add(const char* lpszFirst, const char* lpszSecond) {
  m_pairs.push_back({CString(lpszFirst), CString(lpszSecond)});
  return GetSize() - 1;
}

const CStrPairArray::SStrPair& CStrPairArray::GetAt(INT_PTR nIndex) const {
  assert(nIndex >= 0 && nIndex < GetSize());
  return m_pairs[static_cast<size_t>(nIndex)];
}

CStrPairArray::SStrPair& CStrPairArray::ElementAt(INT_PTR nIndex) {
  assert(nIndex >= 0 && nIndex < GetSize());
  return m_pairs[static_cast<size_t>(nIndex)];
}

void CStrPairArray::RemoveAt(INT_PTR nIndex, INT_PTR nCount) {
  if (nIndex < 0 || nCount <= 0 || nIndex >= GetSize()) return;
  const INT_PTR end = std::min(GetSize(), nIndex + nCount);
  m_pairs.erase(m_pairs.begin() + nIndex, m_pairs.begin() + end);
}

// ---- CJob -------------------------------------------------------------------------------------
CJob::CJob() = default;
CJob::~CJob() = default;
bool CJob::OnEditJops() {
  return true;
}
CJobSet* CJob::GetJobSet() {
  return dynamic_cast<CJobSet*>(GetDisk());
}

bool CJob::RunJops(CJopSet& jops, const char* name, CJobArgs& args) {
  bool any = false;
  for (POSITION pos = jops.GetFirstPos(name); pos;) {
    CJop* op = jops.GetNext(pos, name);
    if (!op->Run(args)) return false;
    any = true;
  }
  return any;
}
