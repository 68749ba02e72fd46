/// @file
/// Undo and redo with a bounded history: CUndoData (the base of every undo
/// record), CUndoMgr (the history) and CUndoGroup (records of one user action
/// bundled into one).
///
/// Editing code describes each change as a record that can take the change back
/// and bring it forward again, and hands it to the manager, which keeps the
/// records in order, bounds their number, bundles groups and replays them:
///
/// ```
/// class CRenameRecord : public CUndoData { ... void Replay(bool) override; };
/// CUndoMgr undo;
/// undo.BeginGroup();
/// undo.AddUndoRecorde(new CRenameRecord(...));   // the manager owns it now
/// undo.AddUndoRecorde(new CRenameRecord(...));
/// undo.EndGroup();                                // one group of two records
/// undo.Undo(1);                                   // takes both back
/// ```
///
/// Ownership: a record handed to AddUndoRecorde belongs to the manager from
/// then on, and dies when it is dropped as a redo record, trimmed as the oldest,
/// by Empty, or with the manager; a record moved into a group belongs to the
/// group. A record the manager does not take (null, or the manager disabled)
/// stays the caller's. A record owns what it keeps in order to switch (a removed
/// object, say) and frees it in its destructor.
///
/// Record protocol: a record toggles between applied (as made) and taken back.
/// Replay(true) is called only on an applied record, Replay(false) only on a
/// taken-back one. The manager is disabled while a record replays, so changes a
/// replay makes through recording editors are not recorded again; a replay must
/// not enable the manager, destroy the manager's records or end a group.
///
/// Nothing here fails or throws; Undo and Redo answer null when they run out.
#pragma once

#include <memory>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

class CUndoMgr;
class CUndoMgrRef;

/// The base of every undo record. Copies carry the manager and time of their
/// source, as the framework's records did; a copy is not itself in any manager.
class VDKIT_API CUndoData {
 public:
  /// Manager null; time now (seconds since 1970-01-01 UTC, 32-bit).
  CUndoData();
  /// Copy the manager and time (see the class).
  ///@{
  CUndoData(const CUndoData& other);
  CUndoData& operator=(const CUndoData& other);
  ///@}
  virtual ~CUndoData();

  /// Takes the change back (bUndo true) or applies it again (false).
  virtual void Replay(bool bUndo) = 0;
  /// A short description for the host's menus; the base leaves text unchanged.
  virtual void GetSummary(CString& text);

  /// The manager holding the record, null before it was added to one.
  CUndoMgr* GetMgr() const { return m_pMgr; }
  /// Seconds since 1970-01-01 UTC when the record was made.
  LONG GetTime() const { return m_nTime; }

 private:
  friend class CUndoMgr;
  CUndoMgr* m_pMgr;
  LONG m_nTime;
};

/// The undo history. Records 0 … position are applied and undoable, in the
/// order made; records after position were taken back and can be redone.
/// Not copyable: it owns its records. Editors that keep a pointer to the
/// manager hold it in a CUndoMgrRef, which the manager clears when it dies, so
/// either may be destroyed first.
class VDKIT_API CUndoMgr {
 public:
  /// Empty, position -1, enabled, maximum 50, no open group.
  CUndoMgr();
  /// Destroys every record (Empty) and clears every CUndoMgrRef to it.
  ~CUndoMgr();
  CUndoMgr(const CUndoMgr&) = delete;
  CUndoMgr& operator=(const CUndoMgr&) = delete;

  // ---- Recording --------------------------------------------------------
  /// Takes ownership of pRecord and makes it the newest undoable record; every
  /// redo record is destroyed first. Outside a group, when the history then
  /// holds more records than the maximum, the oldest one is destroyed (one per
  /// call). Null, or a disabled manager: nothing is taken and the record stays
  /// the caller's. A record must not be handed in twice.
  void AddUndoRecorde(CUndoData* pRecord);

  /// Starts bundling the records that follow. Groups do not nest: a second
  /// BeginGroup restarts the group at the current position.
  void BeginGroup();

  /// Ends bundling; outside a group it does nothing and answers null.
  ///  - Two or more records made (and still applied) since BeginGroup: they
  ///    become one CUndoGroup in their place, which is answered; as after any
  ///    addition, the oldest record goes if the history is over the maximum.
  ///  - One record: no group is made and that record is answered; none: null.
  ///    The oldest applied records go until the history fits the maximum.
  /// Taken-back records stay redoable, and the position is never moved over
  /// them. The answer is null when the record it names was trimmed away.
  CUndoData* EndGroup();

  // ---- Replaying --------------------------------------------------------
  /// Takes back up to n records, newest first, and answers the record replayed
  /// last (for a group: its first child). Answers null, leaving what was
  /// already replayed taken back, when fewer than n records were undoable.
  /// With n <= 0 nothing is replayed and the last answer is given again (null
  /// once the record it named has been destroyed).
  CUndoData* Undo(int n);
  /// Applies up to n taken-back records again, oldest first; a group answers
  /// its last child. Null when fewer than n were redoable, as Undo.
  CUndoData* Redo(int n);
  bool CanUndo() const { return m_nPos >= 0; }  ///< whether a record can be taken back
  /// Whether a taken-back record can be applied again.
  bool CanRedo() const { return m_nPos + 1 < GetRecordCount(); }

  // ---- Settings ---------------------------------------------------------
  /// Sets whether records are taken; answers the previous value.
  bool EnableUndo(bool bEnable);
  bool IsEnable() const { return m_bEnabled; }  ///< whether records are taken
  /// The maximum is kept as a 16-bit signed value (70000 becomes 4464); a
  /// maximum of 0 or less keeps no history outside an open group.
  void SetMaxStep(int nMax);
  /// Destroys every record; position -1. An open group stays open, restarted
  /// at the beginning.
  void Empty();

  // ---- vdkit extensions -------------------------------------------------
  /// The history for a host's list of actions: record i, 0 <= i < count (null
  /// outside), and the position (index of the record the next Undo replays).
  ///@{
  int GetRecordCount() const { return static_cast<int>(m_records.size()); }
  CUndoData* GetRecord(int i) const;
  int GetPosition() const { return m_nPos; }
  ///@}
  int GetMaxStep() const { return m_nMaxStep; }  ///< the maximum history, as SetMaxStep keeps it
  bool IsInGroup() const { return m_bInGroup; }  ///< whether a group is open (BeginGroup without EndGroup)
  /// Checks the manager's invariants (see undo.cpp); true when all hold.
  bool CheckInvariants() const;

 private:
  friend class CUndoGroup;
  friend class CUndoMgrRef;
  using Owned = std::vector<std::unique_ptr<CUndoData>>;

  CUndoData* GetPrev();
  CUndoData* GetNext();
  /// Takes records out of the history and destroys them once the history is
  /// consistent again, so that a destructor that looks at the manager sees a
  /// sound state; forgets the current record if it was among them.
  void Destroy(Owned doomed);
  void DropOldest(Owned& doomed);

  Owned m_records;
  int m_nPos;
  int m_nGroupStart;
  bool m_bInGroup;
  bool m_bEnabled;
  SHORT m_nMaxStep;
  CUndoData* m_pCurrent;
  CUndoMgrRef* m_pRefs = nullptr;  ///< the references to this manager, linked
};

// ---- vdkit extension --------------------------------------------------------
/// A pointer to a manager that becomes null when the manager is destroyed.
/// Copies refer to the same manager. Not for use across threads (nothing here is).
class VDKIT_API CUndoMgrRef {
 public:
  CUndoMgrRef() = default;
  /// A reference to pMgr (null: to nothing), or to other's manager.
  ///@{
  explicit CUndoMgrRef(CUndoMgr* pMgr) { Reset(pMgr); }
  CUndoMgrRef(const CUndoMgrRef& other) { Reset(other.m_pMgr); }
  CUndoMgrRef& operator=(const CUndoMgrRef& other) {
    Reset(other.m_pMgr);
    return *this;
  }
  ///@}
  ~CUndoMgrRef() { Reset(nullptr); }

  /// Refers to pMgr from now on (null: to nothing).
  void Reset(CUndoMgr* pMgr);
  /// The manager, or null once it is destroyed.
  ///@{
  CUndoMgr* Get() const { return m_pMgr; }
  CUndoMgr* operator->() const { return m_pMgr; }
  ///@}

 private:
  friend class CUndoMgr;
  CUndoMgr* m_pMgr = nullptr;
  CUndoMgrRef* m_pPrev = nullptr;
  CUndoMgrRef* m_pNext = nullptr;
};

/// The record that bundles a group: it owns its children, takes them back last
/// first and applies them again first first. Made by CUndoMgr::EndGroup; not
/// copyable.
class VDKIT_API CUndoGroup : public CUndoData {
 public:
  CUndoGroup() = default;
  CUndoGroup(const CUndoGroup&) = delete;
  CUndoGroup& operator=(const CUndoGroup&) = delete;
  ~CUndoGroup() override;

  /// Undo: children from last to first, then the manager's current record is
  /// the first child. Redo: first to last, then it is the last child.
  void Replay(bool bUndo) override;

  // ---- vdkit extensions -------------------------------------------------
  int GetCount() const { return static_cast<int>(m_children.size()); }  ///< the number of children
  /// Child i, 0 <= i < count; null outside.
  CUndoData* GetAt(int i) const;

 private:
  friend class CUndoMgr;
  std::vector<std::unique_ptr<CUndoData>> m_children;
};
