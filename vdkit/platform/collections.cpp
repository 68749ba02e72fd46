#include "vdkit/platform/collections.h"

BOOL CMapPtrToWord::Lookup(void* key, WORD& value) const {
  const auto it = m_index.find(key);
  if (it == m_index.end()) return FALSE;
  value = it->second->value;
  return TRUE;
}

WORD& CMapPtrToWord::operator[](void* key) {
  Node*& slot = m_index[key];
  if (!slot) {
    slot = new Node{key, 0, m_tail, nullptr};
    (m_tail ? m_tail->next : m_head) = slot;
    m_tail = slot;
  }
  return slot->value;
}

BOOL CMapPtrToWord::RemoveKey(void* key) {
  const auto it = m_index.find(key);
  if (it == m_index.end()) return FALSE;
  Node* n = it->second;
  (n->prev ? n->prev->next : m_head) = n->next;
  (n->next ? n->next->prev : m_tail) = n->prev;
  m_index.erase(it);
  delete n;
  return TRUE;
}

void CMapPtrToWord::RemoveAll() {
  for (Node* n = m_head; n;) {
    Node* next = n->next;
    delete n;
    n = next;
  }
  m_head = m_tail = nullptr;
  m_index.clear();
}

void CMapPtrToWord::GetNextAssoc(POSITION& pos, void*& key, WORD& value) const {
  const Node* n = reinterpret_cast<const Node*>(pos);
  assert(n);
  key = n->key;
  value = n->value;
  pos = reinterpret_cast<POSITION>(n->next);
}
