#include "vdkit/core/hash_map.h"

#include <algorithm>
#include <cassert>

#include "vdkit/core/text_internal.h"

using detail::EqualNoCase;

namespace {

const uintptr_t kStartMarker = ~static_cast<uintptr_t>(0);

}  // namespace

UINT MapHashKey(const char* key) {
  if (!key) return 0;
  UINT h = 0;
  for (; *key; ++key) h = detail::MapHashStep(h, *key);
  return h;
}

namespace detail {

template <class V>
StringHashMap<V>::StringHashMap(int nBlockSize) : m_nBlockSize(std::max(nBlockSize, 1)) {}

template <class V>
void StringHashMap<V>::InitHashTable(UINT hashSize, BOOL bAllocNow) {
  assert(m_nCount == 0);
  m_pHashTable.reset();
  m_nHashTableSize = std::max<UINT>(hashSize, 1);
  if (bAllocNow) m_pHashTable.reset(new CAssoc*[m_nHashTableSize]());
}

template <class V>
typename StringHashMap<V>::CAssoc* StringHashMap<V>::Find(const char* key) const {
  if (!key || !*key || !m_pHashTable) return nullptr;
  const UINT bucket = MapHashKey(key) % m_nHashTableSize;
  for (CAssoc* a = m_pHashTable[bucket]; a; a = a->pNext)
    if (EqualNoCase(a->key.GetString(), key)) return a;
  return nullptr;
}

template <class V>
BOOL StringHashMap<V>::LookupKey(const char* key, const char*& stored) const {
  const CAssoc* a = Find(key);
  if (!a) return FALSE;
  stored = a->key.GetString();
  return TRUE;
}

template <class V>
typename StringHashMap<V>::CAssoc* StringHashMap<V>::NewAssoc() {
  if (!m_pFreeList) {
    m_blocks.emplace_back(new CAssoc[static_cast<size_t>(m_nBlockSize)]);
    CAssoc* block = m_blocks.back().get();
    // Pushed last-to-first so that the block's first entry is taken first.
    for (int i = m_nBlockSize - 1; i >= 0; --i) {
      block[i].pNext = m_pFreeList;
      m_pFreeList = &block[i];
    }
  }
  CAssoc* a = m_pFreeList;
  m_pFreeList = a->pNext;
  ++m_nCount;
  return a;
}

template <class V>
void StringHashMap<V>::FreeAssoc(CAssoc* a) {
  a->key.Empty();
  a->value = V{};
  a->pNext = m_pFreeList;
  m_pFreeList = a;
  if (--m_nCount == 0) RemoveAll();
}

template <class V>
V& StringHashMap<V>::operator[](const char* key) {
  if (!key || !*key) {
    m_scratch = V{};
    return m_scratch;
  }
  if (CAssoc* found = Find(key)) return found->value;
  if (!m_pHashTable) m_pHashTable.reset(new CAssoc*[m_nHashTableSize]());
  const UINT bucket = MapHashKey(key) % m_nHashTableSize;
  CAssoc* a = NewAssoc();
  a->key = key;
  a->value = V{};
  a->nHashValue = bucket;
  a->pNext = m_pHashTable[bucket];
  m_pHashTable[bucket] = a;
  return a->value;
}

template <class V>
BOOL StringHashMap<V>::RemoveKey(const char* key) {
  if (!m_pHashTable) return FALSE;
  const UINT bucket = MapHashKey(key ? key : "") % m_nHashTableSize;
  for (CAssoc** link = &m_pHashTable[bucket]; *link; link = &(*link)->pNext) {
    CAssoc* a = *link;
    if (EqualNoCase(a->key.GetString(), key ? key : "")) {
      *link = a->pNext;
      FreeAssoc(a);
      return TRUE;
    }
  }
  return FALSE;
}

template <class V>
void StringHashMap<V>::RemoveAll() {
  m_pHashTable.reset();
  m_nCount = 0;
  m_pFreeList = nullptr;
  m_blocks.clear();
}

template <class V>
typename StringHashMap<V>::CAssoc* StringHashMap<V>::Next(POSITION& pos) const {
  assert(pos && m_pHashTable);
  CAssoc* a = reinterpret_cast<CAssoc*>(pos);
  if (reinterpret_cast<uintptr_t>(pos) == kStartMarker) {
    a = nullptr;
    for (UINT b = 0; b < m_nHashTableSize && !a; ++b) a = m_pHashTable[b];
    assert(a);
  }
  CAssoc* next = a->pNext;
  for (UINT b = a->nHashValue + 1; !next && b < m_nHashTableSize; ++b) next = m_pHashTable[b];
  pos = reinterpret_cast<POSITION>(next);
  return a;
}

template class StringHashMap<void*>;
template class StringHashMap<CString>;

}  // namespace detail
