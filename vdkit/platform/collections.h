/// @file
/// The framework's growable arrays (CPtrArray, CStringArray) and its
/// pointer-keyed map (CMapPtrToWord).
///
/// ```
/// CStringArray names;
/// names.SetAtGrow(2, "c");        // ["", "", "c"]
/// names.InsertAt(0, "a");         // ["a", "", "", "c"]
/// ```
///
/// Ownership: CPtrArray and CMapPtrToWord never own what their pointers point
/// to. Any call that adds or removes elements invalidates references to
/// elements; SetAt and element assignment do not.
///
/// Differences from the framework: indices are checked only by assert, as there;
/// the growth step of SetSize is accepted and ignored (growth is geometric);
/// CMapPtrToWord iterates in insertion order, which the framework leaves unsaid.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

/// Shared bodies of public classes, documented through them; not for direct use.
namespace detail {

/// The shared body of the framework's typed arrays.
template <class T, class ArgT>
class FrameworkArray {
 public:
  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }  ///< the number of elements
  INT_PTR GetCount() const { return GetSize(); }                           ///< the number of elements
  INT_PTR GetUpperBound() const { return GetSize() - 1; }                  ///< the last index; -1 when empty
  bool IsEmpty() const { return m_data.empty(); }                          ///< whether there are no elements
  /// New elements are null or empty; nGrowBy is accepted for compatibility.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
    (void)nGrowBy;
    m_data.resize(nNewSize > 0 ? static_cast<size_t>(nNewSize) : 0, T());
  }
  void FreeExtra() { m_data.shrink_to_fit(); }  ///< gives back unused capacity
  void RemoveAll() { m_data.clear(); }          ///< removes every element

  // Element access: i must lie inside the array (checked by assert only).
  const T& GetAt(INT_PTR i) const { return m_data[Check(i)]; }       ///< element i
  void SetAt(INT_PTR i, ArgT v) { m_data[Check(i)] = v; }            ///< replaces element i
  T& ElementAt(INT_PTR i) { return m_data[Check(i)]; }               ///< element i, writable
  const T& operator[](INT_PTR i) const { return m_data[Check(i)]; }  ///< element i
  T& operator[](INT_PTR i) { return m_data[Check(i)]; }              ///< element i, writable
  /// The first element, valid until elements are added or removed.
  const T* GetData() const { return m_data.data(); }
  /// The first element, writable, valid until elements are added or removed.
  T* GetData() { return m_data.data(); }

  /// Grows the array to i + 1 elements when needed.
  void SetAtGrow(INT_PTR i, ArgT v) {
    assert(i >= 0);
    if (static_cast<size_t>(i) >= m_data.size()) m_data.resize(static_cast<size_t>(i) + 1, T());
    m_data[static_cast<size_t>(i)] = v;
  }
  /// Appends v; its index.
  INT_PTR Add(ArgT v) {
    m_data.push_back(v);
    return GetUpperBound();
  }
  /// Inserts nCount copies at i; an index past the end grows the array first.
  void InsertAt(INT_PTR i, ArgT v, INT_PTR nCount = 1) {
    assert(i >= 0 && nCount >= 0);
    if (static_cast<size_t>(i) > m_data.size()) m_data.resize(static_cast<size_t>(i), T());
    m_data.insert(m_data.begin() + i, static_cast<size_t>(nCount), v);
  }
  /// Removes nCount elements from i; the range must lie inside the array.
  void RemoveAt(INT_PTR i, INT_PTR nCount = 1) {
    assert(i >= 0 && nCount >= 0 && i + nCount <= GetSize());
    m_data.erase(m_data.begin() + i, m_data.begin() + i + nCount);
  }
  /// Appends the elements of src; the index of the first one appended.
  INT_PTR Append(const FrameworkArray& src) {
    const INT_PTR old = GetSize();
    m_data.insert(m_data.end(), src.m_data.begin(), src.m_data.end());
    return old;
  }
  /// Makes this array a copy of src.
  void Copy(const FrameworkArray& src) {
    if (this != &src) m_data = src.m_data;
  }

  // vdkit extensions: iteration with range-for.
  typename std::vector<T>::iterator begin() { return m_data.begin(); }              ///< range-for start
  typename std::vector<T>::iterator end() { return m_data.end(); }                  ///< range-for end
  typename std::vector<T>::const_iterator begin() const { return m_data.begin(); }  ///< range-for start
  typename std::vector<T>::const_iterator end() const { return m_data.end(); }      ///< range-for end

 protected:
  /// i as an index, asserted to lie inside the array.
  size_t Check(INT_PTR i) const {
    assert(i >= 0 && static_cast<size_t>(i) < m_data.size());
    return static_cast<size_t>(i);
  }
  std::vector<T> m_data;  ///< the elements
};

}  // namespace detail

/// A growable array of untyped pointers, which it never owns.
class VDKIT_API CPtrArray : public detail::FrameworkArray<void*, void*> {
 public:
  /// Inserts nCount copies of v at i (an index past the end grows the array
  /// first), or the elements of src at i (nothing for null).
  ///@{
  void InsertAt(INT_PTR i, void* v, INT_PTR nCount = 1) { FrameworkArray::InsertAt(i, v, nCount); }
  void InsertAt(INT_PTR i, const CPtrArray* src) {
    if (src) m_data.insert(m_data.begin() + i, src->m_data.begin(), src->m_data.end());
  }
  ///@}
};

/// A growable array of CString.
class VDKIT_API CStringArray : public detail::FrameworkArray<CString, const char*> {
 public:
  using FrameworkArray::Add;
  using FrameworkArray::SetAt;
  using FrameworkArray::SetAtGrow;
  INT_PTR Add(const CString& v) { return FrameworkArray::Add(v.GetString()); }  ///< appends; the new index
  /// Inserts nCount copies of v at i (an index past the end grows the array
  /// first), or the elements of src at i (nothing for null).
  ///@{
  void InsertAt(INT_PTR i, const char* v, INT_PTR nCount = 1) { FrameworkArray::InsertAt(i, v, nCount); }
  void InsertAt(INT_PTR i, const CStringArray* src) {
    if (src) m_data.insert(m_data.begin() + i, src->m_data.begin(), src->m_data.end());
  }
  ///@}
};

/// A map from pointers to 16-bit values. GetStartPosition/GetNextAssoc visit
/// entries in insertion order; removing the entry a POSITION refers to
/// invalidates that POSITION, and nothing else does (entries added meanwhile
/// are visited too). Entries live in one array, chained from a table of
/// slots by the hash of their key: adding an entry allocates only when the
/// array or the table grows.
class VDKIT_API CMapPtrToWord {
 public:
  CMapPtrToWord() = default;
  CMapPtrToWord(const CMapPtrToWord&) = delete;
  CMapPtrToWord& operator=(const CMapPtrToWord&) = delete;
  ~CMapPtrToWord() = default;

  /// The number of entries.
  ///@{
  INT_PTR GetCount() const { return static_cast<INT_PTR>(m_nCount); }
  INT_PTR GetSize() const { return GetCount(); }
  ///@}
  bool IsEmpty() const { return m_nCount == 0; }  ///< whether there are no entries
  /// TRUE and the value when key is present; FALSE (value unchanged) otherwise.
  BOOL Lookup(void* key, WORD& value) const;
  /// The value of key, added as 0 when absent.
  WORD& operator[](void* key);
  void SetAt(void* key, WORD value) { (*this)[key] = value; }  ///< adds or replaces
  BOOL RemoveKey(void* key);  ///< TRUE when key was present and is now removed
  void RemoveAll();           ///< removes every entry
  /// Iteration: the first position (null when empty); GetNextAssoc gives the
  /// entry at pos and moves pos on (null after the last).
  ///@{
  POSITION GetStartPosition() const { return reinterpret_cast<POSITION>(static_cast<uintptr_t>(m_nHead)); }
  void GetNextAssoc(POSITION& pos, void*& key, WORD& value) const;
  ///@}

 private:
  // Links, chains and slots hold an entry's index plus one; 0 is none.
  struct Entry {
    void* key;
    uint32_t prev;  // insertion order; a free entry's next is the next free one
    uint32_t next;
    uint32_t chain;  // the next entry of the same slot
    WORD value;
  };
  // The entry of `key` (index plus one), or 0.
  uint32_t Find(void* key) const;
  void Grow();

  std::vector<Entry> m_entries;
  std::vector<uint32_t> m_slots;  // a power of two long, at least one per entry
  uint32_t m_nCount = 0;
  uint32_t m_nHead = 0;
  uint32_t m_nTail = 0;
  uint32_t m_nFree = 0;
};
