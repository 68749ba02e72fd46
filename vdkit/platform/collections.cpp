#include "vdkit/platform/collections.h"

namespace {

// Fibonacci hashing: heap pointers differ mostly in their middle bits, and
// the multiplication carries them into the top bits, which pick the slot.
inline uint64_t HashPtr(void* key) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key)) * 0x9E3779B97F4A7C15ull;
}

// The tag is the hash's top half, so a slot alone gives its home slot (the
// table never has more than 2^32 slots) and moves without reading its entry.
inline uint32_t TagOf(uint64_t hash) {
  return static_cast<uint32_t>(hash >> 32);
}

}  // namespace

size_t CMapPtrToWord::Probe(void* key, uint64_t hash) const {
  const size_t mask = m_slots.size() - 1;
  const uint32_t tag = TagOf(hash);
  for (size_t i = static_cast<size_t>(hash >> m_nShift);; i = (i + 1) & mask) {
    const Slot& s = m_slots[i];
    if (!s.entry || (s.tag == tag && m_entries[s.entry - 1].key == key)) return i;
  }
}

void CMapPtrToWord::Grow() {
  std::vector<Slot> old(m_slots.empty() ? 16 : m_slots.size() * 2, Slot{0, 0});
  old.swap(m_slots);
  m_nShift = old.empty() ? 60 : m_nShift - 1;
  const size_t mask = m_slots.size() - 1;
  for (const Slot& s : old) {
    if (!s.entry) continue;
    size_t i = static_cast<size_t>((static_cast<uint64_t>(s.tag) << 32) >> m_nShift);
    while (m_slots[i].entry) i = (i + 1) & mask;
    m_slots[i] = s;
  }
}

BOOL CMapPtrToWord::Lookup(void* key, WORD& value) const {
  if (!m_nCount) return FALSE;
  const Slot& s = m_slots[Probe(key, HashPtr(key))];
  if (!s.entry) return FALSE;
  value = m_entries[s.entry - 1].value;
  return TRUE;
}

WORD& CMapPtrToWord::operator[](void* key) {
  const uint64_t hash = HashPtr(key);
  size_t i = 0;
  if (!m_slots.empty()) {
    i = Probe(key, hash);
    if (m_slots[i].entry) return m_entries[m_slots[i].entry - 1].value;
  }
  if ((static_cast<size_t>(m_nCount) + 1) * 2 > m_slots.size()) {
    Grow();
    i = Probe(key, hash);
  }
  uint32_t e = m_nFree;
  if (e) {
    m_nFree = m_entries[e - 1].next;
    m_entries[e - 1] = Entry{key, m_nTail, 0, 0};
  } else {
    m_entries.push_back(Entry{key, m_nTail, 0, 0});
    e = static_cast<uint32_t>(m_entries.size());
  }
  (m_nTail ? m_entries[m_nTail - 1].next : m_nHead) = e;
  m_nTail = e;
  m_slots[i] = Slot{e, TagOf(hash)};
  ++m_nCount;
  return m_entries[e - 1].value;
}

BOOL CMapPtrToWord::RemoveKey(void* key) {
  if (!m_nCount) return FALSE;
  size_t i = Probe(key, HashPtr(key));
  const uint32_t e = m_slots[i].entry;
  if (!e) return FALSE;
  // Linear probing without tombstones: the slots after the hole that may
  // move back (their home is not between the hole and them) close it.
  const size_t mask = m_slots.size() - 1;
  for (size_t j = (i + 1) & mask; m_slots[j].entry; j = (j + 1) & mask) {
    const size_t home = static_cast<size_t>((static_cast<uint64_t>(m_slots[j].tag) << 32) >> m_nShift);
    if (((j - home) & mask) >= ((j - i) & mask)) {
      m_slots[i] = m_slots[j];
      i = j;
    }
  }
  m_slots[i] = Slot{0, 0};
  Entry& gone = m_entries[e - 1];
  (gone.prev ? m_entries[gone.prev - 1].next : m_nHead) = gone.next;
  (gone.next ? m_entries[gone.next - 1].prev : m_nTail) = gone.prev;
  gone = Entry{nullptr, 0, m_nFree, 0};
  m_nFree = e;
  --m_nCount;
  return TRUE;
}

void CMapPtrToWord::RemoveAll() {
  std::vector<Entry>().swap(m_entries);
  std::vector<Slot>().swap(m_slots);
  m_nShift = 64;
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
