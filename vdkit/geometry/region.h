/// @file
/// Regions and collections: CRegion, a polygon (a ring of SFloat2D vertices,
/// the last joined implicitly to the first) with point-in-region testing,
/// clean-up of near-duplicate vertices and intersection with another region;
/// CPolyPolyline and CPolyRegion, owning collections of polylines and regions
/// (a map layer's lines or areas) whose edits can be recorded with an undo
/// manager and taken back.
///
/// ```
/// CUndoMgr undo;
/// CPolyRegion areas;
/// areas.SetUndoMgr(&undo);
/// areas.Add(new CRegion(square));     // the collection owns it now
/// areas.DeleteAt(0);                  // the undo record holds the region
/// undo.Undo(1);                       // ... and puts it back at index 0
/// CPolyRegion common = square & other;  // the intersection, as regions
/// ```
///
/// Ownership: a region owns its vertex block; copies copy it. A collection
/// owns the items it holds from Add/InsertAt until DeleteAt/DeleteAll (items
/// destroyed, or handed to undo records), RemoveAt/RemoveAll (handed back to
/// the caller), operator<< (handed to the receiving collection) or its own
/// destruction. An undo record owns the item it holds while the item is out of
/// the collection. The undo manager is not owned; when it is destroyed first,
/// the collections attached to it are detached (their edits stop recording).
/// A collection destroyed while the manager still holds its records leaves
/// those records inert: replaying them does nothing.
///
/// Nothing here reports failure or throws. Indices of the collections are the
/// caller's to keep in range; CRegion::RemoveAt ignores bad indices.
#pragma once

#include <vector>

#include "vdkit/geometry/predicates.h"
#include "vdkit/platform/types.h"
#include "vdkit/undo/undo.h"

class CPolyline;
class CPolyRegion;
class CPolyPolyline;

// ---- CRegion --------------------------------------------------------------------------
/// A polygon; a vertex list that repeats its first vertex at the end (as the
/// results of operator& do) simply holds that vertex twice. Not a file object.
///
/// Growth of the block, which GetCapacity shows: operator+=, Add and InsertAt
/// grow it by ten vertices when full.
class VDKIT_API CRegion {
 public:
  /// Empty: capacity 0, no block.
  CRegion() = default;
  /// Empty with room for n vertices (New(n)).
  explicit CRegion(int n);
  /// The source's vertices; capacity = count.
  CRegion(const CRegion& src);
  virtual ~CRegion();

  /// The source's vertices (capacity = count). Self-assignment changes nothing.
  CRegion& operator=(const CRegion& src);
  /// A polyline's points; its closed flag does not matter.
  CRegion& operator=(const CPolyline& src);

  /// Frees the block, allocates room for n vertices (n < 0 counts as 0); count 0.
  void New(int n);
  /// Appends; a full block grows by ten vertices.
  void operator+=(const SFloat2D& pt);
  /// Appends and answers the new count.
  int Add(const SFloat2D& pt);
  /// Inserts before the index: a negative index counts as 0, an index at or
  /// beyond count appends.
  void InsertAt(int nIndex, const SFloat2D& pt);
  /// Removes the vertex at 0 <= index < count; other indices do nothing.
  void RemoveAt(int nIndex);
  /// Count 0; the block is kept.
  void Empty() { m_nCount = 0; }
  int GetSize() const { return m_nCount; }  ///< the number of vertices
  /// The vertex at index modulo count (negative indices count from the end).
  /// An empty region answers a scratch vertex of this object, (0, 0) on each
  /// call, so that no caller reads or writes outside the block.
  ///@{
  SFloat2D& GetAt(int nIndex);
  SFloat2D& operator[](int nIndex) { return GetAt(nIndex); }
  ///@}

  /// PtInRgn of the SFloat2D form: on a non-vertical edge counts as inside;
  /// fewer than three vertices answer true.
  bool PtInRgn(const SFloat2D& pt) const;
  /// Removes vertex i while its squared distance to the next vertex (the last
  /// compared with the first) is at most tol; tol is not squared. A one-vertex
  /// region is emptied by any tol >= 0.
  void Trim(float tol);
  /// The intersection with another region, as regions whose vertex lists
  /// repeat joined points (see the definition in region.cpp). Crossings along
  /// shared edges and at vertices are not found; a region that holds the
  /// other without crossing it gives an empty result.
  CPolyRegion operator&(const CRegion& other) const;

  // ---- vdkit extensions --------------------------------------------------------------
  int GetCapacity() const { return m_nCapacity; }  ///< vertices the block holds before it must grow
  /// The vertices, contiguous; null in a region that never allocated.
  const SFloat2D* GetData() const { return m_pPoints; }

 private:
  void Grow(int nNewCapacity);
  void Assign(const SFloat2D* pts, int n);

  int m_nCapacity = 0;
  int m_nCount = 0;
  SFloat2D* m_pPoints = nullptr;
  SFloat2D m_ptScratch = {0, 0};
};

namespace detail {
// The bookkeeping every collection keeps of its live undo records, so that a
// collection that dies first can make them inert. Internal.
class VDKIT_API CollectionUndoLink {
 public:
  CollectionUndoLink() = default;
  CollectionUndoLink(const CollectionUndoLink&) = delete;
  CollectionUndoLink& operator=(const CollectionUndoLink&) = delete;
  virtual ~CollectionUndoLink();
  // Called by the collection's destructor: the record no longer has an owner.
  virtual void Orphan() = 0;

 private:
  friend class CollectionRecords;
  CollectionUndoLink* m_pPrevLink = nullptr;
  CollectionUndoLink* m_pNextLink = nullptr;
  class CollectionRecords* m_pList = nullptr;
};

class VDKIT_API CollectionRecords {
 public:
  CollectionRecords() = default;
  CollectionRecords(const CollectionRecords&) = delete;
  CollectionRecords& operator=(const CollectionRecords&) = delete;
  // Orphans every record still linked.
  ~CollectionRecords();
  void Link(CollectionUndoLink* p);
  void Unlink(CollectionUndoLink* p);

 private:
  CollectionUndoLink* m_pHead = nullptr;
};

// The rules both collections share (region.cpp).
template <class Coll, class Item, class Record>
struct CollectionOps;
}  // namespace detail

// ---- Collections -------------------------------------------------------------------------
/// An owning collection of polylines whose edits an undo manager can record.
///
/// CPolyPolyline and CPolyRegion differ only where stated: CPolyPolyline's
/// RemoveAt records a clone of the item, CPolyRegion's records nothing; only
/// CPolyPolyline converts from the other collection.
///
/// Recording: each edit asks IsEnableUndo() first and, when it is true, hands
/// a new record to the manager: Add and InsertAt a record of the slot the item
/// went to, DeleteAt one holding the item itself, DeleteAll one per item in a
/// single group. Copying, assignment, operator+=, operator<<, RemoveAll and
/// CPolyRegion::RemoveAt never record. Replaying a record takes an item out of
/// its slot, or puts the held item back.
class VDKIT_API CPolyPolyline {
 public:
  CPolyPolyline() = default;
  /// Each item copied into a new polyline; no undo manager.
  CPolyPolyline(const CPolyPolyline& src);
  /// Destroys every item.
  virtual ~CPolyPolyline();

  int GetSize() const { return static_cast<int>(m_items.size()); }  ///< the number of items
  /// The item at 0 <= index < count (not tested).
  ///@{
  CPolyline* GetAt(int nIndex) const { return m_items[static_cast<size_t>(nIndex)]; }
  CPolyline* operator[](int nIndex) const { return GetAt(nIndex); }
  ///@}

  /// Attaches the manager, or detaches with null. Not owned; a manager
  /// destroyed first detaches itself.
  ///@{
  void SetUndoMgr(CUndoMgr* pMgr) { m_pUndoMgr.Reset(pMgr); }
  CUndoMgr* GetUndoMgr() const { return m_pUndoMgr.Get(); }
  ///@}
  /// True when a manager is attached and enabled; changes nothing.
  bool IsEnableUndo() const { return m_pUndoMgr.Get() && m_pUndoMgr->IsEnable(); }

  /// Appends the item and takes ownership; answers its index.
  ///@{
  int Add(CPolyline* pItem);
  void operator+=(CPolyline* pItem) { Add(pItem); }
  ///@}
  /// Inserts the item before the index (0 <= index <= count), taking ownership.
  void InsertAt(int nIndex, CPolyline* pItem);
  /// Takes the item out: into an undo record when undo is on, else destroyed.
  void DeleteAt(int nIndex);
  /// Takes the item out and hands it back to the caller; with undo on, records
  /// a clone of it, so that undo inserts the clone, not the caller's item.
  void RemoveAt(int nIndex);
  /// Empties the array without destroying the items or recording.
  void RemoveAll() { m_items.clear(); }
  /// Undo on: DeleteAt(0) until empty, in one group. Off: destroys every item.
  void DeleteAll();

  /// Destroys own items (no recording), then appends copies of the source's.
  CPolyPolyline& operator=(const CPolyPolyline& src);
  /// Appends copies of the source's items (no recording).
  CPolyPolyline& operator+=(const CPolyPolyline& src);
  /// Moves: appends the source's items themselves, then empties the source
  /// (RemoveAll). No recording. A collection moved into itself is unchanged.
  CPolyPolyline& operator<<(CPolyPolyline& src);
  /// As operator=, with a new closed polyline for each region.
  CPolyPolyline& operator=(const CPolyRegion& src);
  /// Appends a new closed polyline for each region.
  CPolyPolyline& operator+=(const CPolyRegion& src);
  /// Appends a closed polyline for each region, then the source's DeleteAll
  /// (which records in the source's manager when undo is on there).
  CPolyPolyline& operator<<(CPolyRegion& src);

 private:
  template <class, class, class>
  friend struct detail::CollectionOps;
  std::vector<CPolyline*> m_items;
  CUndoMgrRef m_pUndoMgr;  ///< cleared when the manager dies first
  detail::CollectionRecords m_records;
};

/// An owning collection of regions, as CPolyPolyline (see there).
class VDKIT_API CPolyRegion {
 public:
  CPolyRegion() = default;
  /// Each item copied into a new region; no undo manager.
  CPolyRegion(const CPolyRegion& src);
  /// Destroys every item.
  virtual ~CPolyRegion();

  int GetSize() const { return static_cast<int>(m_items.size()); }  ///< the number of items
  /// The item at 0 <= index < count (not tested).
  ///@{
  CRegion* GetAt(int nIndex) const { return m_items[static_cast<size_t>(nIndex)]; }
  CRegion* operator[](int nIndex) const { return GetAt(nIndex); }
  ///@}

  /// The undo manager, as in CPolyPolyline.
  ///@{
  void SetUndoMgr(CUndoMgr* pMgr) { m_pUndoMgr.Reset(pMgr); }
  CUndoMgr* GetUndoMgr() const { return m_pUndoMgr.Get(); }
  ///@}
  bool IsEnableUndo() const { return m_pUndoMgr.Get() && m_pUndoMgr->IsEnable(); }  ///< as in CPolyPolyline

  /// Appends the item and takes ownership; answers its index.
  ///@{
  int Add(CRegion* pItem);
  void operator+=(CRegion* pItem) { Add(pItem); }
  ///@}
  /// Inserts the item before the index (0 <= index <= count), taking ownership.
  void InsertAt(int nIndex, CRegion* pItem);
  /// Takes the item out: into an undo record when undo is on, else destroyed.
  void DeleteAt(int nIndex);
  /// Takes the item out and hands it back to the caller; never records.
  void RemoveAt(int nIndex);
  void RemoveAll() { m_items.clear(); }  ///< empties the array without destroying the items
  /// Undo on: DeleteAt(0) until empty, in one group. Off: destroys every item.
  void DeleteAll();

  /// Copy, append copies, or move the items, as in CPolyPolyline; no recording.
  ///@{
  CPolyRegion& operator=(const CPolyRegion& src);
  CPolyRegion& operator+=(const CPolyRegion& src);
  CPolyRegion& operator<<(CPolyRegion& src);
  ///@}

  /// A new region copied from the argument; the caller owns it.
  CRegion* Clone(const CRegion* pSrc) const { return new CRegion(*pSrc); }

 private:
  template <class, class, class>
  friend struct detail::CollectionOps;
  std::vector<CRegion*> m_items;
  CUndoMgrRef m_pUndoMgr;  ///< cleared when the manager dies first
  detail::CollectionRecords m_records;
};

// ---- Undo records of the collections ------------------------------------------------------
/// A slot i >= 0: the item stands in the collection at index i. A slot ~i (< 0):
/// the item was taken out of index i and is held, owned, by the record.
/// Replay switches between the two whatever its argument. A record whose
/// collection was destroyed does nothing; one whose slot no longer exists (the
/// collection was edited around the manager) only switches its state.
class VDKIT_API CPolyPolylineUndo : public CUndoData, private detail::CollectionUndoLink {
 public:
  /// Adopts pHeld (may be null).
  CPolyPolylineUndo(CPolyPolyline* pOwner, CPolyline* pHeld, int nSlot);
  ~CPolyPolylineUndo() override;
  void Replay(bool bUndo) override;
  CPolyPolyline* GetOwner() const { return m_pOwner; }  ///< the collection; null once it is destroyed
  CPolyline* GetHeld() const { return m_pHeld; }        ///< the item held, or null
  int GetSlot() const { return m_nSlot; }               ///< the slot (see the class)

 private:
  void Orphan() override { m_pOwner = nullptr; }
  CPolyPolyline* m_pOwner;
  CPolyline* m_pHeld;
  int m_nSlot;
};

/// The undo record of CPolyRegion, as CPolyPolylineUndo.
class VDKIT_API CPolyRegionUndo : public CUndoData, private detail::CollectionUndoLink {
 public:
  CPolyRegionUndo(CPolyRegion* pOwner, CRegion* pHeld, int nSlot);  ///< adopts pHeld (may be null)
  ~CPolyRegionUndo() override;
  void Replay(bool bUndo) override;
  CPolyRegion* GetOwner() const { return m_pOwner; }  ///< the collection; null once it is destroyed
  CRegion* GetHeld() const { return m_pHeld; }        ///< the item held, or null
  int GetSlot() const { return m_nSlot; }             ///< the slot (see CPolyPolylineUndo)

 private:
  void Orphan() override { m_pOwner = nullptr; }
  CPolyRegion* m_pOwner;
  CRegion* m_pHeld;
  int m_nSlot;
};

#include "vdkit/geometry/polyline.h"
