#include "vdkit/core/arrays.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Capacity after growing from `capacity` by `step` to hold at least `needed`,
// kept within int.
int GrownCapacity(int capacity, int step, int needed) {
  const long long grown = static_cast<long long>(capacity) + step;
  const long long cap = grown > needed ? grown : needed;
  return cap > INT_MAX ? INT_MAX : static_cast<int>(cap);
}

// Blocks come from malloc so that growth can use realloc: a large block then
// grows in place or by remapping pages instead of being copied, which
// matters with the framework's small growth steps. Failure throws
// std::bad_alloc, as new would.
template <class T>
T* Resize(T* block, int capacity) {
  if (capacity == 0) {
    std::free(block);
    return nullptr;
  }
  void* grown = std::realloc(block, static_cast<size_t>(capacity) * sizeof(T));
  if (!grown) throw std::bad_alloc();
  return static_cast<T*>(grown);
}

template <class T>
T* CopyBlock(const T* src, int count, int capacity) {
  T* block = Resize<T>(nullptr, capacity);
  if (count > 0) std::memcpy(block, src, static_cast<size_t>(count) * sizeof(T));
  return block;
}

}  // namespace

// ---- CPtrBox ---------------------------------------------------------------------

CPtrBox::CPtrBox(const CPtrBox& other)
    : m_pData(CopyBlock(other.m_pData, other.m_nSize, other.m_nMaxSize)),
      m_nSize(other.m_nSize),
      m_nMaxSize(other.m_nMaxSize),
      m_nGrowBy(other.m_nGrowBy) {}

CPtrBox::CPtrBox(CPtrBox&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)),
      m_nSize(std::exchange(other.m_nSize, 0)),
      m_nMaxSize(std::exchange(other.m_nMaxSize, 0)),
      m_nGrowBy(other.m_nGrowBy) {}

CPtrBox& CPtrBox::operator=(const CPtrBox& other) {
  if (this != &other) {
    void** block = CopyBlock(other.m_pData, other.m_nSize, other.m_nMaxSize);
    std::free(m_pData);
    m_pData = block;
    m_nSize = other.m_nSize;
    m_nMaxSize = other.m_nMaxSize;
    m_nGrowBy = other.m_nGrowBy;
  }
  return *this;
}

CPtrBox& CPtrBox::operator=(CPtrBox&& other) noexcept {
  if (this != &other) {
    std::free(m_pData);
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nSize = std::exchange(other.m_nSize, 0);
    m_nMaxSize = std::exchange(other.m_nMaxSize, 0);
    m_nGrowBy = other.m_nGrowBy;
  }
  return *this;
}

CPtrBox::~CPtrBox() {
  std::free(m_pData);
}

void CPtrBox::SetSize(int nNewSize, int nGrowBy) {
  if (nNewSize < 0) return;
  if (nGrowBy > 0) m_nGrowBy = nGrowBy;
  if (nNewSize == 0) {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = m_nMaxSize = 0;
  } else if (!m_pData) {
    m_pData = Resize<void*>(nullptr, nNewSize);
    std::memset(m_pData, 0, static_cast<size_t>(nNewSize) * sizeof(void*));
    m_nSize = m_nMaxSize = nNewSize;
  } else if (nNewSize <= m_nMaxSize) {
    for (int i = m_nSize; i < nNewSize; ++i) m_pData[i] = nullptr;
    m_nSize = nNewSize;
  } else {
    int step = m_nGrowBy;
    if (step == 0) {
      step = m_nSize / 8;
      step = step < 4 ? 4 : (step > 1024 ? 1024 : step);
    }
    const int capacity = GrownCapacity(m_nMaxSize, step, nNewSize);
    m_pData = Resize(m_pData, capacity);
    for (int i = m_nSize; i < nNewSize; ++i) m_pData[i] = nullptr;
    m_nSize = nNewSize;
    m_nMaxSize = capacity;
  }
}

void CPtrBox::FreeExtra() {
  if (m_nSize == m_nMaxSize) return;
  m_pData = Resize(m_pData, m_nSize);
  m_nMaxSize = m_nSize;
}

void* CPtrBox::GetAt(int nIndex) const {
  assert(nIndex >= 0 && nIndex < m_nSize);
  return m_pData[nIndex];
}

void CPtrBox::SetAt(int nIndex, void* p) {
  assert(nIndex >= 0 && nIndex < m_nSize);
  m_pData[nIndex] = p;
}

void*& CPtrBox::ElementAt(int nIndex) {
  assert(nIndex >= 0 && nIndex < m_nSize);
  return m_pData[nIndex];
}

void CPtrBox::SetAtGrow(int nIndex, void* p) {
  if (nIndex < 0) return;
  if (nIndex >= m_nSize) {
    if (nIndex == INT_MAX) return;
    SetSize(nIndex + 1, -1);
  }
  m_pData[nIndex] = p;
}

int CPtrBox::AddGrowing(void* p) {
  const int index = m_nSize;
  SetAtGrow(index, p);
  return index;
}

int CPtrBox::Append(const CPtrBox& src) {
  const int oldSize = m_nSize;
  const int count = src.m_nSize;  // before growing: src may be this box
  if (count == 0 || count > INT_MAX - oldSize) return oldSize;
  SetSize(oldSize + count, -1);
  std::memcpy(m_pData + oldSize, src.m_pData, static_cast<size_t>(count) * sizeof(void*));
  return oldSize;
}

void CPtrBox::Copy(const CPtrBox& src) {
  if (this == &src) return;
  SetSize(src.m_nSize, -1);
  if (m_nSize > 0) std::memcpy(m_pData, src.m_pData, static_cast<size_t>(m_nSize) * sizeof(void*));
}

void CPtrBox::InsertAt(int nIndex, void* p, int nCount) {
  if (nIndex < 0 || nCount < 0) return;
  if (nIndex >= m_nSize) {
    if (nCount > INT_MAX - nIndex) return;
    SetSize(nIndex + nCount, -1);
  } else {
    if (nCount > INT_MAX - m_nSize) return;
    const int oldSize = m_nSize;
    SetSize(oldSize + nCount, -1);
    std::memmove(m_pData + nIndex + nCount, m_pData + nIndex,
                 static_cast<size_t>(oldSize - nIndex) * sizeof(void*));
  }
  for (int i = nIndex; i < nIndex + nCount; ++i) m_pData[i] = p;
}

void CPtrBox::InsertAt(int nStartIndex, CPtrBox* pNew) {
  if (!pNew || pNew->m_nSize == 0) return;
  if (pNew == this) {
    // Inserting moves the very slots to be copied; insert a copy instead.
    CPtrBox copy(*this);
    InsertAt(nStartIndex, &copy);
    return;
  }
  const int count = pNew->m_nSize;
  InsertAt(nStartIndex, pNew->m_pData[0], count);
  if (nStartIndex >= 0 && nStartIndex + static_cast<long long>(count) <= m_nSize) {
    std::memcpy(m_pData + nStartIndex, pNew->m_pData, static_cast<size_t>(count) * sizeof(void*));
  }
}

void CPtrBox::RemoveAt(int nIndex, int nCount) {
  if (nIndex < 0 || nCount < 0 || nIndex + static_cast<long long>(nCount) > m_nSize) return;
  const int after = m_nSize - (nIndex + nCount);
  if (after > 0) {
    std::memmove(m_pData + nIndex, m_pData + nIndex + nCount, static_cast<size_t>(after) * sizeof(void*));
  }
  m_nSize -= nCount;
}

// ---- Number arrays -------------------------------------------------------------------

namespace detail {

template <class T>
NumberArray<T>::NumberArray(const NumberArray& other)
    : m_pData(CopyBlock(other.m_pData, other.m_nCount, other.m_nMaxSize)),
      m_nCount(other.m_nCount),
      m_nMaxSize(other.m_nMaxSize),
      m_nGrowBy(other.m_nGrowBy) {}

template <class T>
NumberArray<T>::NumberArray(NumberArray&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)),
      m_nCount(std::exchange(other.m_nCount, 0)),
      m_nMaxSize(std::exchange(other.m_nMaxSize, 0)),
      m_nGrowBy(other.m_nGrowBy) {}

template <class T>
NumberArray<T>& NumberArray<T>::operator=(const NumberArray& other) {
  if (this != &other) {
    T* block = CopyBlock(other.m_pData, other.m_nCount, other.m_nMaxSize);
    std::free(m_pData);
    m_pData = block;
    m_nCount = other.m_nCount;
    m_nMaxSize = other.m_nMaxSize;
    m_nGrowBy = other.m_nGrowBy;
  }
  return *this;
}

template <class T>
NumberArray<T>& NumberArray<T>::operator=(NumberArray&& other) noexcept {
  if (this != &other) {
    std::free(m_pData);
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nCount = std::exchange(other.m_nCount, 0);
    m_nMaxSize = std::exchange(other.m_nMaxSize, 0);
    m_nGrowBy = other.m_nGrowBy;
  }
  return *this;
}

template <class T>
NumberArray<T>::~NumberArray() {
  FreeStorage();
}

template <class T>
void NumberArray<T>::RemoveAt(int nIndex) {
  if (nIndex < 0 || nIndex >= m_nCount) return;
  --m_nCount;
  std::memmove(m_pData + nIndex, m_pData + nIndex + 1, static_cast<size_t>(m_nCount - nIndex) * sizeof(T));
}

template <class T>
int NumberArray<T>::FreeStorage() {
  std::free(m_pData);
  m_pData = nullptr;
  m_nCount = m_nMaxSize = 0;
  return 0;
}

template <class T>
T NumberArray<T>::GetAt(int nIndex) const {
  assert(nIndex >= 0 && nIndex < m_nCount);
  return m_pData[nIndex];
}

template <class T>
void NumberArray<T>::SetAt(int nIndex, T value) {
  assert(nIndex >= 0 && nIndex < m_nCount);
  m_pData[nIndex] = value;
}

template <class T>
T& NumberArray<T>::operator[](int nIndex) {
  assert(nIndex >= 0 && nIndex < m_nCount);
  return m_pData[nIndex];
}

template <class T>
void NumberArray<T>::SetSize(int nNewSize) {
  if (nNewSize < 0) return;
  if (nNewSize > m_nMaxSize) {
    // The grow step is the least growth; past it the block doubles, so that
    // adding one number at a time stays linear.
    const int step = m_nGrowBy > m_nMaxSize ? m_nGrowBy : m_nMaxSize;
    const int capacity = GrownCapacity(m_nMaxSize, step < 1 ? 1 : step, nNewSize);
    m_pData = Resize(m_pData, capacity);
    m_nMaxSize = capacity;
  }
  for (int i = m_nCount; i < nNewSize; ++i) m_pData[i] = T(0);
  m_nCount = nNewSize;
}

template <class T>
int NumberArray<T>::AddGrowing(T value) {
  const int index = m_nCount;
  if (index == INT_MAX) return -1;
  SetSize(index + 1);
  m_pData[index] = value;
  return index;
}

template <class T>
bool NumberArray<T>::InsertAt(int nIndex, T value) {
  if (nIndex < 0 || nIndex > m_nCount || m_nCount == INT_MAX) return false;
  const int oldCount = m_nCount;
  SetSize(oldCount + 1);
  std::memmove(m_pData + nIndex + 1, m_pData + nIndex, static_cast<size_t>(oldCount - nIndex) * sizeof(T));
  m_pData[nIndex] = value;
  return true;
}

template class NumberArray<float>;
template class NumberArray<double>;

}  // namespace detail
