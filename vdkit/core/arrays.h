/// @file
/// Small growable arrays for client code: CPtrBox (untyped pointers, no base
/// class, no virtual members, so it embeds anywhere at four words) and
/// CFloatArray / CDoubleArray (a heap block of numbers reached through its
/// data pointer).
///
/// Ownership: CPtrBox owns its block of slots and never what the slots point
/// to, on removal or destruction alike. The number arrays own their block.
/// Copies are deep: a copy gets a block of its own with the same contents,
/// size, capacity and grow step, so that changing one never changes the other.
///
/// ```
/// CPtrBox box;
/// box.Add(&a);                      // index 0; capacity 1
/// box.InsertAt(0, &b, 2);           // b, b, a
/// CDoubleArray xs;
/// xs.Add(1.5);
/// double* raw = xs.GetPtr();        // valid until the next growth
/// ```
///
/// Indices are not checked where the framework did not check them (GetAt,
/// SetAt, ElementAt, operator[]): out-of-range indices are the caller's fault,
/// caught by assertions in debug builds. Nothing here throws of its own; a
/// failed allocation throws std::bad_alloc.
///
/// Growing (SetSize past the capacity, SetAtGrow, Add, InsertAt, Append)
/// may move the block: it invalidates GetData()/GetPtr() pointers and slot
/// references. Shrinking, RemoveAt and Reset never move it.
#pragma once

#include "vdkit/platform/types.h"

// ---- CPtrBox ---------------------------------------------------------------------

/// A growable array of untyped pointers that it never owns, with no base class
/// and no virtual members.
class VDKIT_API CPtrBox {
 public:
  // ---- Construction --------------------------------------------------------
  CPtrBox() = default;
  /// Deep: the copy has its own block (same size, capacity and grow step).
  CPtrBox(const CPtrBox& other);
  /// Takes the block; `other` is left empty.
  CPtrBox(CPtrBox&& other) noexcept;
  /// Deep, as the copy constructor. The framework's class copied the four
  /// fields, leaving two boxes to free one block.
  CPtrBox& operator=(const CPtrBox& other);
  CPtrBox& operator=(CPtrBox&& other) noexcept;  ///< takes the block; `other` is left empty
  /// Frees the block of slots, never what they point to.
  ~CPtrBox();

  // ---- The framework's members ---------------------------------------------
  int GetSize() const { return m_nSize; }            ///< the number of slots in use
  int GetUpperBound() const { return m_nSize - 1; }  ///< the last index; -1 when empty
  /// New size; new slots are null. nGrowBy > 0 becomes the grow step (0 and
  /// negative values keep it). Size 0 frees the block; shrinking otherwise
  /// keeps it. Growing past the capacity adds the grow step, or with step 0
  /// size/8 clamped to 4..1024, or exactly what is needed when that is more;
  /// the very first block is exactly nNewSize slots. Negative sizes are ignored.
  void SetSize(int nNewSize, int nGrowBy = -1);
  /// Shrinks the block to exactly GetSize() slots (none when empty).
  void FreeExtra();
  /// Size 0; frees the block.
  void RemoveAll() { SetSize(0); }

  /// Slot nIndex (unchecked, as in the framework); GetData gives the first slot.
  ///@{
  void* GetAt(int nIndex) const;
  void SetAt(int nIndex, void* p);
  void*& ElementAt(int nIndex);
  void* operator[](int nIndex) const { return GetAt(nIndex); }
  void*& operator[](int nIndex) { return ElementAt(nIndex); }
  void** GetData() { return m_pData; }
  const void** GetData() const { return const_cast<const void**>(m_pData); }
  ///@}

  /// Stores p at nIndex, first growing the size to nIndex + 1 when needed.
  void SetAtGrow(int nIndex, void* p);
  /// Appends p; returns its index.
  int Add(void* p) {
    if (m_nSize < m_nMaxSize) {  // the common case, kept inline
      m_pData[m_nSize] = p;
      return m_nSize++;
    }
    return AddGrowing(p);
  }
  /// Appends all of src's slots (src may be this box); returns the index of
  /// the first one (the old size).
  int Append(const CPtrBox& src);
  /// Makes this box's slots equal to src's.
  void Copy(const CPtrBox& src);
  /// Inserts nCount copies of p before nIndex. At or past the end the size
  /// becomes nIndex + nCount, with null slots between the old end and nIndex.
  void InsertAt(int nIndex, void* p, int nCount = 1);
  /// Inserts all of pNew's slots, in order, before nStartIndex; nothing for a
  /// null or empty source. pNew may be this box.
  void InsertAt(int nStartIndex, CPtrBox* pNew);
  /// Removes nCount slots from nIndex; the block stays. A range outside the
  /// box is ignored.
  void RemoveAt(int nIndex, int nCount = 1);

  // ---- vdkit extensions --------------------------------------------------------
  int GetCapacity() const { return m_nMaxSize; }  ///< slots allocated
  int GetGrowBy() const { return m_nGrowBy; }     ///< the grow step; 0: chosen at each growth

 private:
  int AddGrowing(void* p);

  void** m_pData = nullptr;  ///< null exactly when m_nMaxSize is 0
  int m_nSize = 0;           ///< 0 <= m_nSize <= m_nMaxSize
  int m_nMaxSize = 0;
  int m_nGrowBy = 0;  ///< 0: chosen from the size at each growth
};

// ---- CFloatArray, CDoubleArray -----------------------------------------------------

namespace detail {

/// The body shared by the two number arrays; T is float or double. Virtual
/// members in this order: destructor, RemoveAt, FreeStorage.
template <class T>
class VDKIT_API NumberArray {
 public:
  NumberArray() = default;
  NumberArray(const NumberArray& other);                 ///< deep: a block of its own
  NumberArray(NumberArray&& other) noexcept;             ///< takes the block; other is left empty
  NumberArray& operator=(const NumberArray& other);      ///< deep, as the copy constructor
  NumberArray& operator=(NumberArray&& other) noexcept;  ///< takes the block; other is left empty
  /// Frees the block.
  virtual ~NumberArray();

  /// Removes the element at nIndex, moving later ones down; an index outside
  /// 0..count-1 changes nothing.
  virtual void RemoveAt(int nIndex);
  /// Frees the block: data null, count and capacity 0. Returns 0.
  virtual int FreeStorage();

  /// The data pointer (null while nothing is allocated).
  T* GetPtr() { return m_pData; }
  /// The data pointer (null while nothing is allocated).
  const T* GetPtr() const { return m_pData; }
  /// Count 0; the block stays.
  void Reset() { m_nCount = 0; }

  // ---- vdkit extensions ------------------------------------------------------
  int GetSize() const { return m_nCount; }        ///< the number of elements
  int GetCapacity() const { return m_nMaxSize; }  ///< elements allocated
  int GetGrowBy() const { return m_nGrowBy; }     ///< the grow step (10 unless set)
  /// Steps below 1 are taken as 1.
  void SetGrowBy(int nGrowBy) { m_nGrowBy = nGrowBy < 1 ? 1 : nGrowBy; }
  T GetAt(int nIndex) const;        ///< element nIndex (checked by assert only)
  void SetAt(int nIndex, T value);  ///< replaces element nIndex (checked by assert only)
  T& operator[](int nIndex);        ///< element nIndex, writable
  T operator[](int nIndex) const { return GetAt(nIndex); }  ///< element nIndex
  /// New count; new elements are 0. Growing past the capacity adds the grow
  /// step or the current capacity, whichever is more, or exactly what is
  /// needed when that is more still. Negative counts are ignored.
  void SetSize(int nNewSize);
  /// Appends value; returns its index.
  int Add(T value) {
    if (m_nCount < m_nMaxSize) {  // the common case, kept inline
      m_pData[m_nCount] = value;
      return m_nCount++;
    }
    return AddGrowing(value);
  }
  /// Inserts value before nIndex (0..count); false, and nothing changed, for
  /// an index outside that range.
  bool InsertAt(int nIndex, T value);

 protected:
  /// Add when the block is full.
  int AddGrowing(T value);

  T* m_pData = nullptr;  ///< the block
  int m_nCount = 0;      ///< elements in use
  int m_nMaxSize = 0;    ///< elements allocated
  int m_nGrowBy = 10;    ///< the grow step
};

extern template class NumberArray<float>;
extern template class NumberArray<double>;

}  // namespace detail

/// A growable array of floats in one heap block.
class VDKIT_API CFloatArray : public detail::NumberArray<float> {};

/// A growable array of doubles in one heap block.
class VDKIT_API CDoubleArray : public detail::NumberArray<double> {};
