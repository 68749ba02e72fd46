// The framework's growable arrays (CPtrArray, CStringArray) and its
// pointer-keyed map (CMapPtrToWord).
//
//   CStringArray names;
//   names.SetAtGrow(2, "c");        // ["", "", "c"]
//   names.InsertAt(0, "a");         // ["a", "", "", "c"]
//
// Ownership: CPtrArray and CMapPtrToWord never own what their pointers point
// to. Any call that adds or removes elements invalidates references to
// elements; SetAt and element assignment do not.
//
// Differences from the framework: indices are checked only by assert, as there;
// the growth step of SetSize is accepted and ignored (growth is geometric);
// CMapPtrToWord iterates in insertion order, which the framework leaves unsaid.
#pragma once

#include <cassert>
#include <unordered_map>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

namespace detail {

// The shared body of the framework's typed arrays.
template <class T, class ArgT>
class FrameworkArray {
 public:
  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  bool IsEmpty() const { return m_data.empty(); }
  // New elements are null or empty; nGrowBy is accepted for compatibility.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
    (void)nGrowBy;
    m_data.resize(nNewSize > 0 ? static_cast<size_t>(nNewSize) : 0, T());
  }
  void FreeExtra() { m_data.shrink_to_fit(); }
  void RemoveAll() { m_data.clear(); }

  const T& GetAt(INT_PTR i) const { return m_data[Check(i)]; }
  void SetAt(INT_PTR i, ArgT v) { m_data[Check(i)] = v; }
  T& ElementAt(INT_PTR i) { return m_data[Check(i)]; }
  const T& operator[](INT_PTR i) const { return m_data[Check(i)]; }
  T& operator[](INT_PTR i) { return m_data[Check(i)]; }
  const T* GetData() const { return m_data.data(); }
  T* GetData() { return m_data.data(); }

  // Grows the array to i + 1 elements when needed.
  void SetAtGrow(INT_PTR i, ArgT v) {
    assert(i >= 0);
    if (static_cast<size_t>(i) >= m_data.size()) m_data.resize(static_cast<size_t>(i) + 1, T());
    m_data[static_cast<size_t>(i)] = v;
  }
  INT_PTR Add(ArgT v) {
    m_data.push_back(v);
    return GetUpperBound();
  }
  // Inserts nCount copies at i; an index past the end grows the array first.
  void InsertAt(INT_PTR i, ArgT v, INT_PTR nCount = 1) {
    assert(i >= 0 && nCount >= 0);
    if (static_cast<size_t>(i) > m_data.size()) m_data.resize(static_cast<size_t>(i), T());
    m_data.insert(m_data.begin() + i, static_cast<size_t>(nCount), v);
  }
  void RemoveAt(INT_PTR i, INT_PTR nCount = 1) {
    assert(i >= 0 && nCount >= 0 && i + nCount <= GetSize());
    m_data.erase(m_data.begin() + i, m_data.begin() + i + nCount);
  }
  INT_PTR Append(const FrameworkArray& src) {
    const INT_PTR old = GetSize();
    m_data.insert(m_data.end(), src.m_data.begin(), src.m_data.end());
    return old;
  }
  void Copy(const FrameworkArray& src) {
    if (this != &src) m_data = src.m_data;
  }

  // vdkit extensions: iteration with range-for.
  typename std::vector<T>::iterator begin() { return m_data.begin(); }
  typename std::vector<T>::iterator end() { return m_data.end(); }
  typename std::vector<T>::const_iterator begin() const { return m_data.begin(); }
  typename std::vector<T>::const_iterator end() const { return m_data.end(); }

 protected:
  size_t Check(INT_PTR i) const {
    assert(i >= 0 && static_cast<size_t>(i) < m_data.size());
    return static_cast<size_t>(i);
  }
  std::vector<T> m_data;
};

}  // namespace detail

class VDKIT_API CPtrArray : public detail::FrameworkArray<void*, void*> {
 public:
  void InsertAt(INT_PTR i, void* v, INT_PTR nCount = 1) { FrameworkArray::InsertAt(i, v, nCount); }
  void InsertAt(INT_PTR i, const CPtrArray* src) {
    if (src) m_data.insert(m_data.begin() + i, src->m_data.begin(), src->m_data.end());
  }
};

class VDKIT_API CStringArray : public detail::FrameworkArray<CString, const char*> {
 public:
  using FrameworkArray::Add;
  using FrameworkArray::SetAt;
  using FrameworkArray::SetAtGrow;
  INT_PTR Add(const CString& v) { return FrameworkArray::Add(v.GetString()); }
  void InsertAt(INT_PTR i, const char* v, INT_PTR nCount = 1) { FrameworkArray::InsertAt(i, v, nCount); }
  void InsertAt(INT_PTR i, const CStringArray* src) {
    if (src) m_data.insert(m_data.begin() + i, src->m_data.begin(), src->m_data.end());
  }
};

// A map from pointers to 16-bit values. GetStartPosition/GetNextAssoc visit
// entries in insertion order; removing the entry a POSITION refers to
// invalidates that POSITION.
class VDKIT_API CMapPtrToWord {
 public:
  CMapPtrToWord() = default;
  CMapPtrToWord(const CMapPtrToWord&) = delete;
  CMapPtrToWord& operator=(const CMapPtrToWord&) = delete;
  ~CMapPtrToWord() { RemoveAll(); }

  INT_PTR GetCount() const { return static_cast<INT_PTR>(m_index.size()); }
  INT_PTR GetSize() const { return GetCount(); }
  bool IsEmpty() const { return m_index.empty(); }
  BOOL Lookup(void* key, WORD& value) const;
  WORD& operator[](void* key);
  void SetAt(void* key, WORD value) { (*this)[key] = value; }
  BOOL RemoveKey(void* key);
  void RemoveAll();
  POSITION GetStartPosition() const { return reinterpret_cast<POSITION>(m_head); }
  void GetNextAssoc(POSITION& pos, void*& key, WORD& value) const;

 private:
  struct Node {
    void* key;
    WORD value;
    Node* prev;
    Node* next;
  };
  std::unordered_map<void*, Node*> m_index;
  Node* m_head = nullptr;
  Node* m_tail = nullptr;
};
