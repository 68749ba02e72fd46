#include "vdkit/geometry/region.h"

#include <cstring>
#include <limits>
#include <memory>

#include "vdkit/geometry/polyline.h"

namespace {

double SquaredDistance(const SFloat2D& a, const SFloat2D& b) {
  const float dx = a.x - b.x, dy = a.y - b.y;
  return static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
}

}  // namespace

// ---- CRegion -------------------------------------------------------------------------------

CRegion::CRegion(int n) {
  New(n);
}

CRegion::CRegion(const CRegion& src) {
  Assign(src.m_pPoints, src.m_nCount);
}

CRegion::~CRegion() {
  delete[] m_pPoints;
}

CRegion& CRegion::operator=(const CRegion& src) {
  if (&src != this) Assign(src.m_pPoints, src.m_nCount);
  return *this;
}

CRegion& CRegion::operator=(const CPolyline& src) {
  Assign(src.GetData(), src.GetSize());
  return *this;
}

void CRegion::Assign(const SFloat2D* pts, int n) {
  if (n < 0) n = 0;
  SFloat2D* pNew = n > 0 ? new SFloat2D[static_cast<size_t>(n)] : nullptr;
  if (n > 0) std::memcpy(pNew, pts, sizeof(SFloat2D) * static_cast<size_t>(n));
  delete[] m_pPoints;
  m_pPoints = pNew;
  m_nCapacity = m_nCount = n;
}

void CRegion::New(int n) {
  if (n < 0) n = 0;
  delete[] m_pPoints;
  m_pPoints = n > 0 ? new SFloat2D[static_cast<size_t>(n)]() : nullptr;
  m_nCount = 0;
  m_nCapacity = n;
}

void CRegion::Grow(int nNewCapacity) {
  SFloat2D* pNew = new SFloat2D[static_cast<size_t>(nNewCapacity)]();
  if (m_nCount > 0) std::memcpy(pNew, m_pPoints, sizeof(SFloat2D) * static_cast<size_t>(m_nCount));
  delete[] m_pPoints;
  m_pPoints = pNew;
  m_nCapacity = nNewCapacity;
}

void CRegion::operator+=(const SFloat2D& pt) {
  const SFloat2D value = pt;  // pt may lie in our own block
  if (m_nCount >= m_nCapacity) Grow(m_nCapacity + 10);
  m_pPoints[m_nCount++] = value;
}

int CRegion::Add(const SFloat2D& pt) {
  *this += pt;
  return m_nCount;
}

void CRegion::InsertAt(int nIndex, const SFloat2D& pt) {
  const SFloat2D value = pt;
  if (nIndex < 0) nIndex = 0;
  if (m_nCount + 1 > m_nCapacity) Grow(m_nCapacity + 10);
  if (nIndex > m_nCount) nIndex = m_nCount;
  std::memmove(m_pPoints + nIndex + 1, m_pPoints + nIndex,
               sizeof(SFloat2D) * static_cast<size_t>(m_nCount - nIndex));
  m_pPoints[nIndex] = value;
  ++m_nCount;
}

void CRegion::RemoveAt(int nIndex) {
  if (nIndex < 0 || nIndex >= m_nCount) return;
  std::memmove(m_pPoints + nIndex, m_pPoints + nIndex + 1,
               sizeof(SFloat2D) * static_cast<size_t>(m_nCount - nIndex - 1));
  --m_nCount;
}

SFloat2D& CRegion::GetAt(int nIndex) {
  if (m_nCount <= 0) {
    m_ptScratch = SFloat2D{0, 0};
    return m_ptScratch;
  }
  int i = nIndex % m_nCount;
  if (i < 0) i += m_nCount;
  return m_pPoints[i];
}

bool CRegion::PtInRgn(const SFloat2D& pt) const {
  return ::PtInRgn(pt, m_pPoints, m_nCount);
}

void CRegion::Trim(float tol) {
  // Vertex i goes when it is within tol of the vertex after it, which is the
  // next original vertex, or for the last one the first vertex still there;
  // after the last vertex is compared once the walk is past the end.
  const int n = m_nCount;
  if (n <= 0) return;
  const double t = tol;
  int out = 0;
  for (int i = 0; i < n - 1; ++i)
    if (!(SquaredDistance(m_pPoints[i], m_pPoints[i + 1]) <= t)) m_pPoints[out++] = m_pPoints[i];
  m_pPoints[out++] = m_pPoints[n - 1];
  if (SquaredDistance(m_pPoints[out - 1], m_pPoints[0]) <= t) --out;  // out == 1: itself
  m_nCount = out;
}

// The intersection: the pieces of this boundary inside the other region and
// the pieces of the other's boundary inside this one, joined end to end where
// their ends meet (within 0.001 squared), each joined ring one region.
CPolyRegion CRegion::operator&(const CRegion& other) const {
  CPolyline ring(m_nCount + 1, false);
  for (int i = 0; i < m_nCount; ++i) ring += m_pPoints[i];
  if (m_nCount > 0) ring += m_pPoints[0];
  CPolyPolyline work;
  const bool crossed = ring.Cut(other, work);
  if (crossed && work.GetSize() > 0) {
    CPolyline otherRing(other.m_nCount + 1, false);
    for (int i = 0; i < other.m_nCount; ++i) otherRing += other.m_pPoints[i];
    if (other.m_nCount > 0) otherRing += other.m_pPoints[0];
    CPolyPolyline more;
    otherRing.Cut(*this, more);
    work << more;
    bool joined = true;
    while (joined && work.GetSize() > 1) {
      joined = false;
      for (int i = 0; i < work.GetSize(); ++i) {
        for (int j = i + 1; j < work.GetSize();) {
          if (work[i]->Connect(work[j], 0.001f)) {
            CPolyline* gone = work[j];
            work.RemoveAt(j);
            delete gone;
            joined = true;
          } else {
            ++j;
          }
        }
      }
    }
  }
  CPolyRegion result;
  for (int i = 0; i < work.GetSize(); ++i) {
    CRegion* pRegion = new CRegion;
    *pRegion = *work[i];
    result.Add(pRegion);
  }
  return result;
}

// ---- Undo bookkeeping ---------------------------------------------------------------------

namespace detail {

CollectionUndoLink::~CollectionUndoLink() {
  if (m_pList) m_pList->Unlink(this);
}

CollectionRecords::~CollectionRecords() {
  while (m_pHead) {
    CollectionUndoLink* p = m_pHead;
    Unlink(p);
    p->Orphan();
  }
}

void CollectionRecords::Link(CollectionUndoLink* p) {
  p->m_pList = this;
  p->m_pPrevLink = nullptr;
  p->m_pNextLink = m_pHead;
  if (m_pHead) m_pHead->m_pPrevLink = p;
  m_pHead = p;
}

void CollectionRecords::Unlink(CollectionUndoLink* p) {
  if (p->m_pPrevLink)
    p->m_pPrevLink->m_pNextLink = p->m_pNextLink;
  else
    m_pHead = p->m_pNextLink;
  if (p->m_pNextLink) p->m_pNextLink->m_pPrevLink = p->m_pPrevLink;
  p->m_pPrevLink = p->m_pNextLink = nullptr;
  p->m_pList = nullptr;
}

}  // namespace detail

// ---- The collections ----------------------------------------------------------------------
// Both collections share every rule; only the item type, the record type and
// what RemoveAt records differ, so the rules are written once here.

namespace {

template <class Item>
void DestroyAll(std::vector<Item*>& items) {
  std::vector<Item*> doomed;
  doomed.swap(items);
  for (Item* p : doomed) delete p;
}

// Inserts without recording, at most at the end.
template <class Item>
void RawInsert(std::vector<Item*>& items, int nIndex, Item* pItem) {
  size_t at = nIndex < 0 ? 0 : static_cast<size_t>(nIndex);
  if (at > items.size()) at = items.size();
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), pItem);
}

// Replay of a collection record: the held item goes back, or the item at the
// slot is taken out; the slot switches either way.
template <class Coll, class Item>
void ReplayRecord(Coll* pOwner, std::vector<Item*>* pItems, Item*& pHeld, int& nSlot) {
  if (!pOwner) return;  // its collection is gone
  if (nSlot < 0) {
    if (pHeld) RawInsert(*pItems, ~nSlot, pHeld);
    pHeld = nullptr;
  } else if (static_cast<size_t>(nSlot) < pItems->size()) {
    pHeld = (*pItems)[static_cast<size_t>(nSlot)];
    pItems->erase(pItems->begin() + nSlot);
  }
  nSlot = ~nSlot;
}

}  // namespace

// The rules both collections share, on their members.
template <class Coll, class Item, class Record>
struct detail::CollectionOps {
  static void CopyFrom(Coll& c, const Coll& src) {
    c.m_items.reserve(src.m_items.size());
    for (Item* p : src.m_items) c.m_items.push_back(new Item(*p));
  }
  static int Add(Coll& c, Item* pItem) {
    const int slot = c.GetSize();
    c.m_items.push_back(pItem);
    if (c.IsEnableUndo()) c.m_pUndoMgr->AddUndoRecorde(new Record(&c, nullptr, slot));
    return slot;
  }
  static void InsertAt(Coll& c, int nIndex, Item* pItem) {
    if (nIndex < 0) nIndex = 0;
    if (nIndex > c.GetSize()) nIndex = c.GetSize();
    RawInsert(c.m_items, nIndex, pItem);
    if (c.IsEnableUndo()) c.m_pUndoMgr->AddUndoRecorde(new Record(&c, nullptr, nIndex));
  }
  static void DeleteAt(Coll& c, int nIndex) {
    if (nIndex < 0 || nIndex >= c.GetSize()) return;
    Item* pItem = c.m_items[static_cast<size_t>(nIndex)];
    c.m_items.erase(c.m_items.begin() + nIndex);
    if (c.IsEnableUndo())
      c.m_pUndoMgr->AddUndoRecorde(new Record(&c, pItem, ~nIndex));
    else
      delete pItem;
  }
  static void DeleteAll(Coll& c) {
    if (c.IsEnableUndo()) {
      c.m_pUndoMgr->BeginGroup();
      while (c.GetSize() > 0) DeleteAt(c, 0);
      c.m_pUndoMgr->EndGroup();
    } else {
      DestroyAll(c.m_items);
    }
  }
  static Coll& Assign(Coll& c, const Coll& src) {
    if (&src == &c) return c;
    DestroyAll(c.m_items);
    return Append(c, src);
  }
  static Coll& Append(Coll& c, const Coll& src) {
    const size_t n = src.m_items.size();  // src may be this collection
    c.m_items.reserve(c.m_items.size() + n);
    for (size_t i = 0; i < n; ++i) c.m_items.push_back(new Item(*src.m_items[i]));
    return c;
  }
  static Coll& Move(Coll& c, Coll& src) {
    if (&src == &c) return c;
    c.m_items.insert(c.m_items.end(), src.m_items.begin(), src.m_items.end());
    src.RemoveAll();
    return c;
  }
  static void Link(Coll* pOwner, CollectionUndoLink* r) {
    if (pOwner) pOwner->m_records.Link(r);
  }
  static void Replay(Coll* pOwner, Item*& pHeld, int& nSlot) {
    ReplayRecord(pOwner, pOwner ? &pOwner->m_items : nullptr, pHeld, nSlot);
  }
};

using PolylineOps = detail::CollectionOps<CPolyPolyline, CPolyline, CPolyPolylineUndo>;
using RegionOps = detail::CollectionOps<CPolyRegion, CRegion, CPolyRegionUndo>;

CPolyPolyline::CPolyPolyline(const CPolyPolyline& src) {
  PolylineOps::CopyFrom(*this, src);
}
CPolyPolyline::~CPolyPolyline() {
  DestroyAll(m_items);
}
int CPolyPolyline::Add(CPolyline* pItem) {
  return PolylineOps::Add(*this, pItem);
}
void CPolyPolyline::InsertAt(int nIndex, CPolyline* pItem) {
  PolylineOps::InsertAt(*this, nIndex, pItem);
}
void CPolyPolyline::DeleteAt(int nIndex) {
  PolylineOps::DeleteAt(*this, nIndex);
}
void CPolyPolyline::DeleteAll() {
  PolylineOps::DeleteAll(*this);
}
CPolyPolyline& CPolyPolyline::operator=(const CPolyPolyline& src) {
  return PolylineOps::Assign(*this, src);
}
CPolyPolyline& CPolyPolyline::operator+=(const CPolyPolyline& src) {
  return PolylineOps::Append(*this, src);
}
CPolyPolyline& CPolyPolyline::operator<<(CPolyPolyline& src) {
  return PolylineOps::Move(*this, src);
}

CPolyRegion::CPolyRegion(const CPolyRegion& src) {
  RegionOps::CopyFrom(*this, src);
}
CPolyRegion::~CPolyRegion() {
  DestroyAll(m_items);
}
int CPolyRegion::Add(CRegion* pItem) {
  return RegionOps::Add(*this, pItem);
}
void CPolyRegion::InsertAt(int nIndex, CRegion* pItem) {
  RegionOps::InsertAt(*this, nIndex, pItem);
}
void CPolyRegion::DeleteAt(int nIndex) {
  RegionOps::DeleteAt(*this, nIndex);
}
void CPolyRegion::DeleteAll() {
  RegionOps::DeleteAll(*this);
}
CPolyRegion& CPolyRegion::operator=(const CPolyRegion& src) {
  return RegionOps::Assign(*this, src);
}
CPolyRegion& CPolyRegion::operator+=(const CPolyRegion& src) {
  return RegionOps::Append(*this, src);
}
CPolyRegion& CPolyRegion::operator<<(CPolyRegion& src) {
  return RegionOps::Move(*this, src);
}

CPolyPolylineUndo::CPolyPolylineUndo(CPolyPolyline* pOwner, CPolyline* pHeld, int nSlot)
    : m_pOwner(pOwner), m_pHeld(pHeld), m_nSlot(nSlot) {
  PolylineOps::Link(pOwner, this);
}
CPolyPolylineUndo::~CPolyPolylineUndo() {
  delete m_pHeld;
}
void CPolyPolylineUndo::Replay(bool) {
  PolylineOps::Replay(m_pOwner, m_pHeld, m_nSlot);
}

CPolyRegionUndo::CPolyRegionUndo(CPolyRegion* pOwner, CRegion* pHeld, int nSlot)
    : m_pOwner(pOwner), m_pHeld(pHeld), m_nSlot(nSlot) {
  RegionOps::Link(pOwner, this);
}
CPolyRegionUndo::~CPolyRegionUndo() {
  delete m_pHeld;
}
void CPolyRegionUndo::Replay(bool) {
  RegionOps::Replay(m_pOwner, m_pHeld, m_nSlot);
}

void CPolyPolyline::RemoveAt(int nIndex) {
  if (nIndex < 0 || nIndex >= GetSize()) return;
  CPolyline* pItem = m_items[static_cast<size_t>(nIndex)];
  m_items.erase(m_items.begin() + nIndex);
  if (IsEnableUndo()) {
    // Undo puts a copy back; the item itself is the caller's now.
    CPolyline* pClone = pItem->Clone();
    if (!pClone) pClone = new CPolyline(*pItem);
    m_pUndoMgr->AddUndoRecorde(new CPolyPolylineUndo(this, pClone, ~nIndex));
  }
}

void CPolyRegion::RemoveAt(int nIndex) {
  if (nIndex < 0 || nIndex >= GetSize()) return;
  m_items.erase(m_items.begin() + nIndex);
}

CPolyPolyline& CPolyPolyline::operator=(const CPolyRegion& src) {
  // Copies first: src cannot be this collection, but its regions are read
  // before our own polylines go.
  std::vector<CPolyline*> made;
  made.reserve(static_cast<size_t>(src.GetSize()));
  for (int i = 0; i < src.GetSize(); ++i) made.push_back(new CPolyline(*src.GetAt(i)));
  DestroyAll(m_items);
  m_items = std::move(made);
  return *this;
}

CPolyPolyline& CPolyPolyline::operator+=(const CPolyRegion& src) {
  for (int i = 0; i < src.GetSize(); ++i) m_items.push_back(new CPolyline(*src.GetAt(i)));
  return *this;
}

CPolyPolyline& CPolyPolyline::operator<<(CPolyRegion& src) {
  *this += src;
  src.DeleteAll();
  return *this;
}
