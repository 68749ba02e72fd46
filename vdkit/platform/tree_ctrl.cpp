#include "vdkit/platform/tree_ctrl.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

using ItemId = uintptr_t;  // 0 stands for the invisible root

ItemId IdOf(HTREEITEM h) {
  return reinterpret_cast<ItemId>(h);
}
HTREEITEM HandleOf(ItemId id) {
  return reinterpret_cast<HTREEITEM>(id);
}
bool IsRootHandle(HTREEITEM h) {
  return h == nullptr || h == TVI_ROOT;
}

}  // namespace

struct CTreeCtrl::Model {
  struct Item {
    CString text;
    DWORD_PTR data = 0;
    BOOL check = FALSE;
    ItemId parent = 0;
    std::vector<ItemId> children;
  };

  std::unordered_map<ItemId, Item> items;
  std::vector<ItemId> top;  // children of the invisible root
  // Handles count up from 1 and are never reused, so a stale handle cannot
  // alias a newer item; the special TVI_ values lie far above any count.
  ItemId next = 1;

  Item* Find(HTREEITEM h) {
    if (IsRootHandle(h)) return nullptr;
    const auto it = items.find(IdOf(h));
    return it == items.end() ? nullptr : &it->second;
  }
  const Item* Find(HTREEITEM h) const { return const_cast<Model*>(this)->Find(h); }
  std::vector<ItemId>& ChildrenOf(ItemId id) { return id == 0 ? top : items.at(id).children; }
};

CTreeCtrl::CTreeCtrl() : m_model(new Model) {}
CTreeCtrl::~CTreeCtrl() = default;

bool CTreeCtrl::IsItem(HTREEITEM hItem) const {
  return m_model->Find(hItem) != nullptr;
}

HTREEITEM CTreeCtrl::InsertItem(const char* lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  ItemId parent = 0;
  if (!IsRootHandle(hParent)) {
    if (!m_model->Find(hParent)) return nullptr;
    parent = IdOf(hParent);
  }
  std::vector<ItemId>& siblings = m_model->ChildrenOf(parent);
  size_t at;
  if (hInsertAfter == TVI_LAST || hInsertAfter == nullptr) {
    at = siblings.size();
  } else if (hInsertAfter == TVI_FIRST) {
    at = 0;
  } else if (hInsertAfter == TVI_SORT) {
    const CString text(lpszItem);
    at = 0;
    while (at < siblings.size() && m_model->items.at(siblings[at]).text.CompareNoCase(text) <= 0) ++at;
  } else {
    const auto it = std::find(siblings.begin(), siblings.end(), IdOf(hInsertAfter));
    if (it == siblings.end()) return nullptr;
    at = static_cast<size_t>(it - siblings.begin()) + 1;
  }
  const ItemId id = m_model->next++;
  Model::Item& item = m_model->items[id];
  item.text = lpszItem;
  item.parent = parent;
  // Map nodes never move, so `siblings` survives the insertion above.
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at), id);
  if (m_change) m_change(*this, Change::insert, HandleOf(id));
  return HandleOf(id);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM hItem) {
  if (IsRootHandle(hItem)) {
    m_model->items.clear();
    m_model->top.clear();
    if (m_change) m_change(*this, Change::remove, TVI_ROOT);
    return TRUE;
  }
  Model::Item* item = m_model->Find(hItem);
  if (!item) return FALSE;
  std::vector<ItemId>& siblings = m_model->ChildrenOf(item->parent);
  siblings.erase(std::find(siblings.begin(), siblings.end(), IdOf(hItem)));
  // Iterative, so that a deep tree cannot exhaust the stack.
  std::vector<ItemId> doomed{IdOf(hItem)};
  while (!doomed.empty()) {
    const ItemId id = doomed.back();
    doomed.pop_back();
    const auto it = m_model->items.find(id);
    doomed.insert(doomed.end(), it->second.children.begin(), it->second.children.end());
    m_model->items.erase(it);
  }
  if (m_change) m_change(*this, Change::remove, hItem);
  return TRUE;
}

BOOL CTreeCtrl::SetItemText(HTREEITEM hItem, const char* lpszItem) {
  Model::Item* item = m_model->Find(hItem);
  if (!item) return FALSE;
  item->text = lpszItem;
  if (m_change) m_change(*this, Change::text, hItem);
  return TRUE;
}

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  return item ? item->text : CString();
}

BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
  Model::Item* item = m_model->Find(hItem);
  if (!item) return FALSE;
  item->data = dwData;
  if (m_change) m_change(*this, Change::data, hItem);
  return TRUE;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  return item ? item->data : 0;
}

BOOL CTreeCtrl::SetCheck(HTREEITEM hItem, BOOL fCheck) {
  Model::Item* item = m_model->Find(hItem);
  if (!item) return FALSE;
  item->check = fCheck ? TRUE : FALSE;
  if (m_change) m_change(*this, Change::check, hItem);
  return TRUE;
}

BOOL CTreeCtrl::GetCheck(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  return item ? item->check : FALSE;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  return m_model->top.empty() ? nullptr : HandleOf(m_model->top.front());
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  return item && item->parent ? HandleOf(item->parent) : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM hItem) const {
  if (IsRootHandle(hItem)) return GetRootItem();
  const Model::Item* item = m_model->Find(hItem);
  return item && !item->children.empty() ? HandleOf(item->children.front()) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  if (!item) return nullptr;
  const std::vector<ItemId>& siblings = m_model->ChildrenOf(item->parent);
  const auto it = std::find(siblings.begin(), siblings.end(), IdOf(hItem));
  return it + 1 == siblings.end() ? nullptr : HandleOf(*(it + 1));
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM hItem) const {
  const Model::Item* item = m_model->Find(hItem);
  if (!item) return nullptr;
  const std::vector<ItemId>& siblings = m_model->ChildrenOf(item->parent);
  const auto it = std::find(siblings.begin(), siblings.end(), IdOf(hItem));
  return it == siblings.begin() ? nullptr : HandleOf(*(it - 1));
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  if (IsRootHandle(hItem)) return !m_model->top.empty();
  const Model::Item* item = m_model->Find(hItem);
  return item && !item->children.empty();
}

UINT CTreeCtrl::GetCount() const {
  return static_cast<UINT>(m_model->items.size());
}

CTreeCtrl::NotifyHandler CTreeCtrl::SetNotifyHandler(NotifyHandler handler) {
  std::swap(m_notify, handler);
  return handler;
}

LRESULT CTreeCtrl::SendNotify(NMHDR* pHdr) {
  if (!m_notify || !pHdr) return 0;
  // A copy, so that a handler replacing itself does not destroy the running call.
  NotifyHandler handler = m_notify;
  return handler(*this, pHdr);
}

CTreeCtrl::ChangeHandler CTreeCtrl::SetChangeHandler(ChangeHandler handler) {
  std::swap(m_change, handler);
  return handler;
}
