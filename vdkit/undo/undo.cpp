// The undo manager's states and invariants.
//
//   records:  [0] [1] ... [pos] | [pos+1] ... [count-1]
//             applied, undoable | taken back, redoable
//
//   (1) -1 <= pos < count. pos == -1: nothing to undo; pos == count-1: nothing to redo.
//   (2) every record is non-null, is held once (directly or inside a group)
//       and names this manager; the manager owns exactly these.
//   (3) in a group: 0 <= group start <= count; EndGroup bundles the records
//       from group start to pos (none when pos < group start).
//   (4) current is null or a record the manager holds (directly or in a group).
//
//   idle --BeginGroup--> grouping --EndGroup--> idle
//   AddUndoRecorde: drops [pos+1, count), appends, pos = count-1; when idle,
//                   trims the oldest once if count > maximum.
//   Undo / Redo:    move pos down / up one record at a time, replaying each
//                   with the manager disabled.
//   EndGroup:       replaces the group's records [start, pos] by one group
//                   record at start, pos = start; redo records after pos stay.
//
// Records are only ever dropped from the two safe ends: the oldest applied
// record (forgetting history leaves the document as it is) and the newest
// taken-back records (a later redo record depends on the earlier ones).
#include "vdkit/undo/undo.h"

#include <ctime>
#include <unordered_set>
#include <utility>

CUndoData::CUndoData() : m_pMgr(nullptr), m_nTime(static_cast<LONG>(std::time(nullptr))) {}

CUndoData::CUndoData(const CUndoData& other) : m_pMgr(other.m_pMgr), m_nTime(other.m_nTime) {}

CUndoData& CUndoData::operator=(const CUndoData& other) {
  m_pMgr = other.m_pMgr;
  m_nTime = other.m_nTime;
  return *this;
}

CUndoData::~CUndoData() = default;

void CUndoData::GetSummary(CString& /*text*/) {}

// ---- CUndoGroup ---------------------------------------------------------------

CUndoGroup::~CUndoGroup() = default;

void CUndoGroup::Replay(bool bUndo) {
  if (m_children.empty()) return;
  if (bUndo) {
    for (size_t i = m_children.size(); i-- > 0;) m_children[i]->Replay(true);
  } else {
    for (auto& child : m_children) child->Replay(false);
  }
  if (CUndoMgr* mgr = GetMgr()) mgr->m_pCurrent = bUndo ? m_children.front().get() : m_children.back().get();
}

CUndoData* CUndoGroup::GetAt(int i) const {
  return i >= 0 && static_cast<size_t>(i) < m_children.size() ? m_children[static_cast<size_t>(i)].get()
                                                              : nullptr;
}

// ---- CUndoMgr -----------------------------------------------------------------

namespace {

// True when target is record itself or held inside it (groups hold groups
// only when a group was made of records that included an earlier group).
bool Contains(const CUndoData* record, const CUndoData* target) {
  if (record == target) return true;
  if (auto* group = dynamic_cast<const CUndoGroup*>(record)) {
    for (int i = 0; i < group->GetCount(); ++i) {
      if (Contains(group->GetAt(i), target)) return true;
    }
  }
  return false;
}

}  // namespace

CUndoMgr::CUndoMgr()
    : m_nPos(-1),
      m_nGroupStart(0),
      m_bInGroup(false),
      m_bEnabled(true),
      m_nMaxStep(50),
      m_pCurrent(nullptr) {}

CUndoMgr::~CUndoMgr() {
  Empty();
  while (m_pRefs) m_pRefs->Reset(nullptr);
}

void CUndoMgrRef::Reset(CUndoMgr* pMgr) {
  if (pMgr == m_pMgr) return;
  if (m_pMgr) {
    (m_pPrev ? m_pPrev->m_pNext : m_pMgr->m_pRefs) = m_pNext;
    if (m_pNext) m_pNext->m_pPrev = m_pPrev;
    m_pPrev = m_pNext = nullptr;
  }
  m_pMgr = pMgr;
  if (pMgr) {
    m_pNext = pMgr->m_pRefs;
    if (m_pNext) m_pNext->m_pPrev = this;
    pMgr->m_pRefs = this;
  }
}

CUndoData* CUndoMgr::GetRecord(int i) const {
  return i >= 0 && i < GetRecordCount() ? m_records[static_cast<size_t>(i)].get() : nullptr;
}

void CUndoMgr::Destroy(Owned doomed) {
  if (m_pCurrent) {
    for (const auto& record : doomed) {
      if (Contains(record.get(), m_pCurrent)) {
        m_pCurrent = nullptr;
        break;
      }
    }
  }
  doomed.clear();
}

void CUndoMgr::DropOldest(Owned& doomed) {
  doomed.push_back(std::move(m_records.front()));
  m_records.erase(m_records.begin());
  --m_nPos;
}

void CUndoMgr::AddUndoRecorde(CUndoData* pRecord) {
  if (!pRecord || !m_bEnabled) return;
  Owned doomed;
  const size_t firstRedo = static_cast<size_t>(m_nPos + 1);
  for (size_t i = firstRedo; i < m_records.size(); ++i) doomed.push_back(std::move(m_records[i]));
  m_records.resize(firstRedo);
  // An Undo inside the open group may have gone below its start; the group's
  // records now continue from here.
  if (m_bInGroup && m_nGroupStart > m_nPos + 1) m_nGroupStart = m_nPos + 1;

  m_records.emplace_back(pRecord);
  pRecord->m_pMgr = this;
  m_nPos = GetRecordCount() - 1;
  if (!m_bInGroup && GetRecordCount() > m_nMaxStep) DropOldest(doomed);
  Destroy(std::move(doomed));
}

void CUndoMgr::BeginGroup() {
  m_bInGroup = true;
  m_nGroupStart = m_nPos + 1;
}

CUndoData* CUndoMgr::EndGroup() {
  // A stray EndGroup would otherwise bundle whatever lies after a stale start.
  if (!m_bInGroup) return nullptr;
  m_bInGroup = false;
  const int k = m_nPos - m_nGroupStart + 1;
  Owned doomed;
  CUndoData* result = nullptr;
  if (k >= 2) {
    auto group = std::make_unique<CUndoGroup>();
    group->m_pMgr = this;
    const auto first = m_records.begin() + m_nGroupStart;
    const auto last = m_records.begin() + m_nPos + 1;
    for (auto it = first; it != last; ++it) group->m_children.push_back(std::move(*it));
    result = group.get();
    *first = std::move(group);
    m_records.erase(first + 1, last);
    m_nPos = m_nGroupStart;
    // Put in place directly rather than through AddUndoRecorde, which would
    // refuse it (and lose the records) when the manager is disabled. As for a
    // newly added record, at most one oldest record goes.
    if (GetRecordCount() > m_nMaxStep) DropOldest(doomed);
  } else {
    if (k == 1) result = m_records[static_cast<size_t>(m_nGroupStart)].get();
    while (GetRecordCount() > m_nMaxStep && m_nPos >= 0) DropOldest(doomed);
  }
  for (const auto& record : doomed) {
    if (record.get() == result) result = nullptr;
  }
  Destroy(std::move(doomed));
  return result;
}

CUndoData* CUndoMgr::GetPrev() {
  if (m_nPos < 0) return nullptr;
  return m_records[static_cast<size_t>(m_nPos--)].get();
}

CUndoData* CUndoMgr::GetNext() {
  if (m_nPos + 1 >= GetRecordCount()) return nullptr;
  return m_records[static_cast<size_t>(++m_nPos)].get();
}

CUndoData* CUndoMgr::Undo(int n) {
  for (int i = 0; i < n; ++i) {
    m_pCurrent = GetPrev();
    if (!m_pCurrent) return nullptr;
    const bool enabled = m_bEnabled;
    m_bEnabled = false;
    m_pCurrent->Replay(true);
    m_bEnabled = enabled;
  }
  return m_pCurrent;
}

CUndoData* CUndoMgr::Redo(int n) {
  for (int i = 0; i < n; ++i) {
    m_pCurrent = GetNext();
    if (!m_pCurrent) return nullptr;
    const bool enabled = m_bEnabled;
    m_bEnabled = false;
    m_pCurrent->Replay(false);
    m_bEnabled = enabled;
  }
  return m_pCurrent;
}

bool CUndoMgr::EnableUndo(bool bEnable) {
  const bool previous = m_bEnabled;
  m_bEnabled = bEnable;
  return previous;
}

void CUndoMgr::SetMaxStep(int nMax) {
  // The low 16 bits, read as a signed value.
  const int low = nMax & 0xFFFF;
  m_nMaxStep = static_cast<SHORT>(low >= 0x8000 ? low - 0x10000 : low);
}

void CUndoMgr::Empty() {
  Owned doomed;
  doomed.swap(m_records);
  m_nPos = -1;
  m_nGroupStart = 0;
  m_pCurrent = nullptr;
  doomed.clear();
}

bool CUndoMgr::CheckInvariants() const {
  const int count = GetRecordCount();
  if (m_nPos < -1 || m_nPos >= count) return false;
  if (m_bInGroup && (m_nGroupStart < 0 || m_nGroupStart > count)) return false;

  std::unordered_set<const CUndoData*> seen;
  bool currentHeld = m_pCurrent == nullptr;
  // Groups nest only through records a group was made of; walk them with a stack.
  std::vector<const CUndoData*> pending;
  for (const auto& record : m_records) pending.push_back(record.get());
  while (!pending.empty()) {
    const CUndoData* record = pending.back();
    pending.pop_back();
    if (!record || record->GetMgr() != this || !seen.insert(record).second) return false;
    if (record == m_pCurrent) currentHeld = true;
    if (auto* group = dynamic_cast<const CUndoGroup*>(record)) {
      for (int i = 0; i < group->GetCount(); ++i) pending.push_back(group->GetAt(i));
    }
  }
  return currentHeld;
}
