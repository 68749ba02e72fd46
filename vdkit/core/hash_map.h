/// @file
/// String-keyed hash maps whose keys match without regard to ASCII letter case:
/// CMapStringToPtrEx (key -> untyped pointer) and CMapStringToStringEx
/// (key -> string), and MapHashKey, their hash as a free function.
///
/// ```
/// CMapStringToPtrEx map;
/// map.InitHashTable(1021);            // before the first insertion
/// map.SetAt("Depth", &depth);
/// void* p;
/// if (map.Lookup("DEPTH", p)) ...     // found: keys ignore ASCII case
/// ```
///
/// Behaviour that callers and stored orders rely on, kept exactly:
///  - hash: h = h * 33 + toupper(c) over the key's bytes taken as signed chars,
///    in unsigned 32-bit arithmetic; the bucket is h modulo the table size
///    (17 by default). The table never grows or rehashes.
///  - within a bucket the newest entry comes first; iteration walks buckets in
///    ascending order, so the order of GetNextAssoc is observable and stable.
///  - an existing key keeps the letter case it was first stored with.
///  - the bucket array is allocated on the first insertion; entries are carved
///    from blocks of `block size` entries; removing the last entry frees all.
///
/// Ownership: the map owns its entries and keys (and CMapStringToStringEx its
/// value strings); CMapStringToPtrEx never owns what its values point to.
/// Maps are not copyable. Any insertion or removal invalidates POSITIONs and
/// references to values; an insertion never moves existing entries, so value
/// references stay valid until their own entry is removed.
///
/// A null or empty key is never stored and never found: operator[] and SetAt
/// with one write to a scratch value that belongs to no entry.
#pragma once

#include <memory>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

/// The hash of `key` (0 for null): the same as every map's HashKey.
VDKIT_API UINT MapHashKey(const char* key);

namespace detail {

/// The shared body of the two maps; V is the value type.
template <class V>
class VDKIT_API StringHashMap {
 public:
  /// One entry, carved from a block of entries.
  struct CAssoc {
    CAssoc* pNext = nullptr;  ///< the next entry of the bucket
    UINT nHashValue = 0;      ///< bucket index at insertion, not the full hash
    CString key;              ///< the key as first stored
    V value{};                ///< the value
  };

  /// An empty map whose entries come in blocks of nBlockSize (at least 1).
  explicit StringHashMap(int nBlockSize = 10);
  StringHashMap(const StringHashMap&) = delete;
  StringHashMap& operator=(const StringHashMap&) = delete;
  ~StringHashMap() { RemoveAll(); }

  int GetCount() const { return m_nCount; }                   ///< the number of entries
  int GetSize() const { return m_nCount; }                    ///< the number of entries
  BOOL IsEmpty() const { return m_nCount == 0; }              ///< whether there are no entries
  UINT GetHashTableSize() const { return m_nHashTableSize; }  ///< the number of buckets
  /// Frees the bucket array (call only while empty) and sets the table size
  /// (at least 1); with bAllocNow the buckets are allocated at once.
  void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE);
  UINT HashKey(const char* key) const { return MapHashKey(key); }  ///< MapHashKey

  BOOL Lookup(const char* key) const { return Find(key) != nullptr; }  ///< whether key is present
  /// On success `stored` points at the key as first stored.
  BOOL LookupKey(const char* key, const char*& stored) const;
  /// The value of `key`, inserting an empty one when absent.
  V& operator[](const char* key);
  void SetAt(const char* key, const V& value) { (*this)[key] = value; }  ///< adds or replaces
  BOOL RemoveKey(const char* key);  ///< TRUE when key was present and is now removed
  /// Destroys all entries, frees the bucket array and every block; the table
  /// size stays.
  void RemoveAll();
  /// Null when empty, else a marker from which GetNextAssoc starts.
  POSITION GetStartPosition() const {
    return m_nCount == 0 ? nullptr : reinterpret_cast<POSITION>(~static_cast<uintptr_t>(0));
  }

 protected:
  CAssoc* Find(const char* key) const;  ///< the entry of key, or null
  /// Gives the entry at pos and advances pos.
  CAssoc* Next(POSITION& pos) const;

 private:
  CAssoc* NewAssoc();
  void FreeAssoc(CAssoc* a);

  std::unique_ptr<CAssoc*[]> m_pHashTable;
  UINT m_nHashTableSize = 17;
  int m_nCount = 0;
  CAssoc* m_pFreeList = nullptr;
  std::vector<std::unique_ptr<CAssoc[]>> m_blocks;
  int m_nBlockSize;
  V m_scratch{};  ///< target of operator[] for a null or empty key
};

extern template class StringHashMap<void*>;
extern template class StringHashMap<CString>;

}  // namespace detail

/// A hash map from case-insensitive string keys to untyped pointers, which it
/// never owns.
class VDKIT_API CMapStringToPtrEx : public detail::StringHashMap<void*> {
 public:
  /// An empty map whose entries come in blocks of nBlockSize.
  explicit CMapStringToPtrEx(int nBlockSize = 10) : StringHashMap(nBlockSize) {}
  using StringHashMap::Lookup;
  /// The value, or null when absent (so absent and a stored null are alike).
  void* GetAt(const char* key) const {
    const CAssoc* a = Find(key);
    return a ? a->value : nullptr;
  }
  /// TRUE and the value when key is present; FALSE (value unchanged) otherwise.
  BOOL Lookup(const char* key, void*& value) const {
    const CAssoc* a = Find(key);
    if (!a) return FALSE;
    value = a->value;
    return TRUE;
  }
  /// The entry at pos; pos moves on (null after the last). Iteration order: see
  /// the file's description.
  void GetNextAssoc(POSITION& pos, CString& key, void*& value) const {
    const CAssoc* a = Next(pos);
    key = a->key;
    value = a->value;
  }
  /// The value first, then the stored key's text.
  void GetNextAssoc(POSITION& pos, void*& value, const char*& key) const {
    const CAssoc* a = Next(pos);
    value = a->value;
    key = a->key.GetString();
  }
  void GetNextAssoc(POSITION& pos, void*& value) const { value = Next(pos)->value; }  ///< the value only
};

/// A hash map from case-insensitive string keys to strings.
class VDKIT_API CMapStringToStringEx : public detail::StringHashMap<CString> {
 public:
  /// An empty map whose entries come in blocks of nBlockSize.
  explicit CMapStringToStringEx(int nBlockSize = 10) : StringHashMap(nBlockSize) {}
  using StringHashMap::Lookup;
  /// TRUE and a copy of the value when key is present; FALSE otherwise.
  BOOL Lookup(const char* key, CString& value) const {
    const CAssoc* a = Find(key);
    if (!a) return FALSE;
    value = a->value;
    return TRUE;
  }
  /// Points `value` at the stored text, valid until the entry changes.
  BOOL Lookup(const char* key, const char*& value) const {
    const CAssoc* a = Find(key);
    if (!a) return FALSE;
    value = a->value.GetString();
    return TRUE;
  }
  /// The entry at pos; pos moves on (null after the last).
  void GetNextAssoc(POSITION& pos, CString& key, CString& value) const {
    const CAssoc* a = Next(pos);
    key = a->key;
    value = a->value;
  }
};
