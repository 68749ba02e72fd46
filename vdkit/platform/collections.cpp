#include "vdkit/platform/collections.h"

namespace {

// The slot of a pointer in a table of `mask` + 1 slots. Objects made one
// after another lie near one another, and their slots do too, which the
// memory system follows far better than slots scattered at random: within
// 64 KiB the hash steps with the address (a slot per 16 bytes; the bytes
// within 16 are scattered), and each 64 KiB window starts at an offset of
// its own, so that far apart keys and power-of-two strides spread over the
// table. Chaining, unlike probing, lets keys that meet in a slot delay only
// one another.
inline size_t SlotOf(void* key, size_t mask) {
  const uint64_t address = reinterpret_cast<uintptr_t>(key);
  const uint32_t window = static_cast<uint32_t>(((address >> 16) * 0x9E3779B97F4A7C15ull) >> 32);
  const uint32_t within =
      static_cast<uint32_t>(address >> 4) + static_cast<uint32_t>(address & 15) * 0x9E3779B1u;
  return (within + window) & mask;
}

}  // namespace

uint32_t CMapPtrToWord::Find(void* key) const {
  if (!m_nCount) return 0;
  uint32_t e = m_slots[SlotOf(key, m_slots.size() - 1)];
  while (e && m_entries[e - 1].key != key) e = m_entries[e - 1].chain;
  return e;
}

void CMapPtrToWord::Grow() {
  m_slots.assign(m_slots.empty() ? 16 : m_slots.size() * 2, 0);
  const size_t mask = m_slots.size() - 1;
  for (uint32_t e = m_nHead; e; e = m_entries[e - 1].next) {
    uint32_t& slot = m_slots[SlotOf(m_entries[e - 1].key, mask)];
    m_entries[e - 1].chain = slot;
    slot = e;
  }
}

BOOL CMapPtrToWord::Lookup(void* key, WORD& value) const {
  const uint32_t e = Find(key);
  if (!e) return FALSE;
  value = m_entries[e - 1].value;
  return TRUE;
}

WORD& CMapPtrToWord::operator[](void* key) {
  if (const uint32_t found = Find(key)) return m_entries[found - 1].value;
  if (m_nCount >= m_slots.size()) Grow();
  uint32_t& slot = m_slots[SlotOf(key, m_slots.size() - 1)];
  const Entry added{key, m_nTail, 0, slot, 0};
  uint32_t e = m_nFree;
  if (e) {
    m_nFree = m_entries[e - 1].next;
    m_entries[e - 1] = added;
  } else {
    m_entries.push_back(added);
    e = static_cast<uint32_t>(m_entries.size());
  }
  slot = e;
  (m_nTail ? m_entries[m_nTail - 1].next : m_nHead) = e;
  m_nTail = e;
  ++m_nCount;
  return m_entries[e - 1].value;
}

BOOL CMapPtrToWord::RemoveKey(void* key) {
  if (!m_nCount) return FALSE;
  uint32_t* link = &m_slots[SlotOf(key, m_slots.size() - 1)];
  while (*link && m_entries[*link - 1].key != key) link = &m_entries[*link - 1].chain;
  const uint32_t e = *link;
  if (!e) return FALSE;
  Entry& gone = m_entries[e - 1];
  *link = gone.chain;
  (gone.prev ? m_entries[gone.prev - 1].next : m_nHead) = gone.next;
  (gone.next ? m_entries[gone.next - 1].prev : m_nTail) = gone.prev;
  gone = Entry{nullptr, 0, m_nFree, 0, 0};
  m_nFree = e;
  --m_nCount;
  return TRUE;
}

void CMapPtrToWord::RemoveAll() {
  std::vector<Entry>().swap(m_entries);
  std::vector<uint32_t>().swap(m_slots);
  m_nCount = m_nHead = m_nTail = m_nFree = 0;
}

void CMapPtrToWord::GetNextAssoc(POSITION& pos, void*& key, WORD& value) const {
  const uintptr_t at = reinterpret_cast<uintptr_t>(pos);
  assert(at && at <= m_entries.size());
  const Entry& e = m_entries[at - 1];
  key = e.key;
  value = e.value;
  pos = reinterpret_cast<POSITION>(static_cast<uintptr_t>(e.next));
}
