/// @file
/// CTreeCtrl: an in-memory model of the framework's tree widget. The file
/// object tree keeps it in step (item texts, parameters, check states,
/// deletions); a host with a real widget mirrors the model into it, through
/// the change handler or by walking the model.
///
/// Items carry a text, a parameter (DWORD_PTR, usually the CVDFile* the item
/// shows), a check state, a parent and an order among siblings. Handles are
/// opaque numbers that are never reused, so a handle whose item was deleted is
/// recognised as stale: every member answers FALSE, null or empty for it
/// instead of touching freed memory.
///
/// Notifications: a file object added to a tree whose disk has a control is
/// announced by SendNotify with the record NMVDADDFILE (code VDN_ADDFILE); the
/// control hands it to the handler the host registered, which typically
/// inserts the item and gives it to the file:
///
/// ```
/// tree.SetNotifyHandler([](CTreeCtrl& t, NMHDR* h) -> LRESULT {
///   if (h->code != VDN_ADDFILE) return 0;
///   auto* add = reinterpret_cast<NMVDADDFILE*>(h);
///   HTREEITEM it = t.InsertItem(add->pFile->GetName(), add->hParent ? add->hParent : TVI_ROOT);
///   t.SetItemData(it, reinterpret_cast<DWORD_PTR>(add->pFile));
///   add->pFile->SetTreeItem(it);
///   return 0;
/// });
/// ```
///
/// Differences from the framework's control: no window, no images, no
/// expansion state; TVI_SORT orders by text ignoring ASCII case. Deleting
/// TVI_ROOT or a null handle deletes every item, as the widget does.
/// SetNotifyHandler, SendNotify, SetChangeHandler and IsItem are vdkit's.
/// Not copyable; not locked (one thread, as the user interface).
#pragma once

#include <functional>
#include <memory>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

class CTreeCtrl;
class CVDFile;

// ---- Item handles and insertion positions --------------------------------------
struct _TREEITEM;              // never defined: a handle is a number, not a pointer to an item
typedef _TREEITEM* HTREEITEM;  ///< an item of a CTreeCtrl, or one of the TVI_ positions

#ifndef TVI_ROOT
/// The invisible root: parent of the top items.
#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x10000)))
/// Insert as the first child.
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFE)))  ///< insert as the last child
/// Insert in text order, ASCII case ignored.
#define TVI_SORT (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFD)))
#endif

// ---- Notification records -----------------------------------------------------------
#ifndef WM_NOTIFY
#define WM_NOTIFY 0x004E  ///< the message that carries a notification
#endif

/// The standard header of every notification.
struct NMHDR {
  void* hwndFrom;   ///< the sending control (here the CTreeCtrl*)
  UINT_PTR idFrom;  ///< its dialog identifier
  UINT code;        ///< what happened
};

/// A named, visible file object was added below hParent (null when the parent
/// has no item of its own); the receiver inserts pFile's item if it wants one.
enum : UINT { VDN_ADDFILE = static_cast<UINT>(-101) };
/// The record of VDN_ADDFILE.
struct NMVDADDFILE {
  NMHDR hdr;          ///< hwndFrom: the CTreeCtrl*, idFrom: GetDlgCtrlID(), code: VDN_ADDFILE
  HTREEITEM hParent;  ///< the parent object's item, or null
  CVDFile* pFile;     ///< the object added
};

/// An in-memory model of a tree widget, which the file-object tree keeps in step
/// (see the file's description).
class VDKIT_API CTreeCtrl {
 public:
  CTreeCtrl();
  CTreeCtrl(const CTreeCtrl&) = delete;
  CTreeCtrl& operator=(const CTreeCtrl&) = delete;
  ~CTreeCtrl();

  // ---- The framework's members ------------------------------------------------
  /// Inserts an item below hParent (TVI_ROOT or null: at the top) after
  /// hInsertAfter (TVI_FIRST, TVI_LAST, TVI_SORT or a child of hParent).
  /// Null when hParent is stale or hInsertAfter is not a child of it.
  HTREEITEM InsertItem(const char* lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  /// Deletes the item and all below it; TVI_ROOT or null deletes every item.
  /// FALSE for a stale handle.
  BOOL DeleteItem(HTREEITEM hItem);
  BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }  ///< deletes every item

  /// Item properties; the setters give FALSE for a stale handle.
  ///@{
  BOOL SetItemText(HTREEITEM hItem, const char* lpszItem);
  CString GetItemText(HTREEITEM hItem) const;  ///< empty for a stale handle
  BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData);
  DWORD_PTR GetItemData(HTREEITEM hItem) const;  ///< 0 for a stale handle
  BOOL SetCheck(HTREEITEM hItem, BOOL fCheck = TRUE);
  BOOL GetCheck(HTREEITEM hItem) const;
  ///@}

  /// Navigation; each yields null where there is no such item.
  ///@{
  HTREEITEM GetRootItem() const;
  HTREEITEM GetParentItem(HTREEITEM hItem) const;
  HTREEITEM GetChildItem(HTREEITEM hItem) const;  ///< TVI_ROOT or null: the first top item
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const;
  ///@}
  BOOL ItemHasChildren(HTREEITEM hItem) const;  ///< FALSE also for a stale handle
  UINT GetCount() const;                        ///< the number of items

  /// The dialog identifier given in notifications; SetDlgCtrlID returns the old one.
  ///@{
  int GetDlgCtrlID() const { return m_nID; }
  int SetDlgCtrlID(int nID) {
    const int old = m_nID;
    m_nID = nID;
    return old;
  }
  ///@}

  // ---- vdkit extensions --------------------------------------------------------
  /// Whether the handle designates a living item of this control.
  bool IsItem(HTREEITEM hItem) const;

  /// The receiver of WM_NOTIFY messages sent to the control (the add
  /// notification of file objects). Returns the previous handler.
  ///@{
  using NotifyHandler = std::function<LRESULT(CTreeCtrl& tree, NMHDR* pHdr)>;
  NotifyHandler SetNotifyHandler(NotifyHandler handler);
  ///@}
  /// Delivers a notification to the handler; 0 without one.
  LRESULT SendNotify(NMHDR* pHdr);

  /// Told of every change to the model, after it is made, so that a host can
  /// mirror it. Deleting a subtree reports its top item only (already gone).
  enum class Change { insert, text, data, check, remove };
  using ChangeHandler = std::function<void(CTreeCtrl& tree, Change change, HTREEITEM hItem)>;  ///< see Change
  /// Installs the change handler (empty removes it); the previous one.
  ChangeHandler SetChangeHandler(ChangeHandler handler);

 private:
  struct Model;
  std::unique_ptr<Model> m_model;
  int m_nID = 0;
  NotifyHandler m_notify;
  ChangeHandler m_change;
};
