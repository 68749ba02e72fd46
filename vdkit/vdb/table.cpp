#include "vdkit/vdb/table.h"

#include "vdkit/vdb/date_text_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

IMPLEMENT_VDFILE(CVdbTable, CVDFile)

namespace {

// Where Float, Long and ValueDate point when there is no value to point at.
VdbFloat g_scratchFloat = 0;
VdbLong g_scratchLong = 0;
SDateTime g_scratchDate = {};

// The date key of the date search and sort: the date part as one signed
// 32-bit integer (year in the high 16 bits, then month, then day), then the
// fraction's bits unsigned. Folded into one unsigned 64-bit number whose
// order is the key order.
uint64_t DateKey(const BYTE* p, size_t avail) {
  BYTE b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(b, p, std::min<size_t>(avail, 8));
  const uint32_t frac = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  const uint32_t date = uint32_t{b[4]} | uint32_t{b[5]} << 8 | uint32_t{b[6]} << 16 | uint32_t{b[7]} << 24;
  return uint64_t{date ^ 0x80000000u} << 32 | frac;
}

// atof of `text`. Plain decimals of up to 15 significant digits and up to
// 22 decimals (most table texts) take the exact fast path: the digits and
// the power of ten are exact doubles, so one correctly rounded division
// gives atof's correctly rounded result. Anything else goes to atof.
double ParseNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint64_t mantissa = 0;
  int significant = 0;
  int decimals = 0;
  bool digits = false;
  bool point = false;
  for (;; ++p) {
    if (*p >= '0' && *p <= '9') {
      digits = true;
      if (mantissa != 0 || *p != '0') ++significant;
      mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
      if (point) ++decimals;
      if (significant > 15 || decimals > 22) return std::atof(text);
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  // Exponents, hexadecimal, infinities and NaNs are atof's business.
  switch (*p) {
    case 'e':
    case 'E':
    case 'x':
    case 'X':
    case 'i':
    case 'I':
    case 'n':
    case 'N':
      return std::atof(text);
    default:
      break;
  }
  if (!digits) return 0.0;
  static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const double v =
      decimals == 0 ? static_cast<double>(mantissa) : static_cast<double>(mantissa) / kPow10[decimals];
  return negative ? -v : v;
}

// atof's result truncated toward zero, as the integer types store it; values
// beyond 64 bits (and NaN) give the x86 "integer indefinite" pattern.
int64_t Truncate(double v) {
  if (!(v > -9.2e18 && v < 9.2e18)) return INT64_MIN;
  return static_cast<int64_t>(v);
}

// The bytes a field of data size n holds for a variant: the value area (or
// the held text or block) cut to n and zero-filled to n.
std::vector<BYTE> VariantImage(const SVdbVariant& v, size_t n) {
  std::vector<BYTE> image(n, 0);
  const BYTE* src = v.GetArea();
  size_t len = SVdbVariant::kAreaSize;
  if (v.GetType() == VDB_STRING) {
    src = reinterpret_cast<const BYTE*>(v.GetPSZ());
    len = std::strlen(v.GetPSZ());
  } else if (v.GetType() == VDB_BINARY) {
    const SVdbBinary* b = v.GetBinary();
    src = b ? b->m_pData : nullptr;
    len = b && b->m_pData ? static_cast<size_t>(b->m_nSize) : 0;
  } else if (v.GetType() == VDB_CHAR) {
    len = 1;
  }
  if (src && n > 0) std::memcpy(image.data(), src, std::min(len, n));
  return image;
}

}  // namespace

namespace detail {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;

// Rounds a large block up to whole huge pages.
size_t MappedSize(size_t bytes) {
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}
}  // namespace

void* AllocateLarge(size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= kHugePage) {
    const size_t size = MappedSize(bytes);
    void* p = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // Keep the 2 MB-aligned part only, so that it can be backed by huge pages.
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(p, aligned - start);
    if (aligned < start + kHugePage)
      munmap(reinterpret_cast<void*>(aligned + size), start + kHugePage - aligned);
    madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
  }
#endif
  return ::operator new(bytes);
}

void FreeLarge(void* p, size_t bytes) {
  if (!p) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= kHugePage) {
    munmap(p, MappedSize(bytes));
    return;
  }
#endif
  ::operator delete(p);
}

// Record blocks of one table, carved from chunks that double in size up to
// 2 MB. Chunks of 2 MB and more are mapped on 2 MB boundaries and offered to
// the kernel as huge pages, so filling a large table takes few page faults.
// Freed blocks are kept on a free list for the next record; the chunks go
// back to the system when no block is in use.
class RecordArena {
 public:
  RecordArena() = default;
  RecordArena(const RecordArena&) = delete;
  RecordArena& operator=(const RecordArena&) = delete;
  ~RecordArena() { ReleaseChunks(); }

  SVdbRecord* Alloc(size_t bytes) {
    const size_t stride = std::max<size_t>((bytes + 7) & ~size_t{7}, 8);
    if (stride != m_stride) {
      // A new layout: blocks of the old size can no longer be handed out.
      if (m_live == 0) ReleaseChunks();
      m_retired = m_chunks.size();
      m_free = nullptr;
      m_next = m_end = nullptr;
      m_stride = stride;
      m_chunkRecords = 16;
    }
    ++m_live;
    if (m_free) {
      void* r = m_free;
      std::memcpy(&m_free, r, sizeof m_free);
      return static_cast<SVdbRecord*>(r);
    }
    if (static_cast<size_t>(m_end - m_next) < m_stride) NewChunk();
    BYTE* r = m_next;
    m_next += m_stride;
    return reinterpret_cast<SVdbRecord*>(r);
  }

  // Frees n blocks at once; when they were all the blocks in use the chunks
  // go without touching each block.
  void FreeMany(SVdbRecord* const* records, size_t n) {
    if (n == m_live) {
      m_live = 0;
      ReleaseChunks();
      return;
    }
    for (size_t i = 0; i < n; ++i) Free(records[i]);
  }

  void Free(SVdbRecord* r) {
    if (!r) return;
    --m_live;
    if (m_live == 0) {
      ReleaseChunks();
      return;
    }
    for (size_t i = 0; i < m_retired; ++i)
      if (reinterpret_cast<BYTE*>(r) >= m_chunks[i].base &&
          reinterpret_cast<BYTE*>(r) < m_chunks[i].base + m_chunks[i].size)
        return;  // an old size: kept until the chunks go
    std::memcpy(r, &m_free, sizeof m_free);
    m_free = r;
  }

 private:
  static constexpr size_t kHuge = kHugePage;

  struct Chunk {
    BYTE* base;
    size_t size;
  };

  void NewChunk() {
    size_t bytes = m_chunkRecords * m_stride;
    if (bytes >= kHuge)
      bytes = std::max(kHuge, m_stride);
    else
      m_chunkRecords *= 2;
    Chunk c{static_cast<BYTE*>(AllocateLarge(bytes)), bytes};
    m_chunks.push_back(c);
    m_next = c.base;
    m_end = c.base + c.size;
  }

  void ReleaseChunks() {
    for (const Chunk& c : m_chunks) FreeLarge(c.base, c.size);
    m_chunks.clear();
    m_retired = 0;
    m_free = nullptr;
    m_next = m_end = nullptr;
    m_chunkRecords = 16;
  }

  std::vector<Chunk> m_chunks;
  size_t m_retired = 0;  // chunks [0, m_retired) hold blocks of an older size
  size_t m_stride = 0;
  size_t m_chunkRecords = 16;
  size_t m_live = 0;
  BYTE* m_next = nullptr;
  BYTE* m_end = nullptr;
  void* m_free = nullptr;
};

}  // namespace detail

CVdbTable::CVdbTable() : m_arena(std::make_unique<detail::RecordArena>()) {}

CVdbTable::~CVdbTable() {
  // Not virtual dispatch: a derived class has cleaned up its own part.
  CVdbTable::ResetContent();
}

SVdbRecord* CVdbTable::AllocRecord() const {
  return m_arena->Alloc(static_cast<size_t>(m_FieldSet.m_nRecordSize) + 8);
}

void CVdbTable::FreeRecord(SVdbRecord* r) const {
  m_arena->Free(r);
}

void CVdbTable::ResetContent() {
  DeleteAllRecords();
  m_FieldSet.ResetContent();
}

// ---- Structure -------------------------------------------------------------

SVdbRecord* CVdbTable::NewRecord() const {
  SVdbRecord* r = AllocRecord();
  std::memset(r, 0, static_cast<size_t>(m_FieldSet.m_nRecordSize) + 8);
  BYTE* data = r->GetData();
  for (int i = 0; i < m_FieldSet.GetSize(); ++i) {
    const SVdbField* f = m_FieldSet.GetAt(i);
    const LONGLONG end = static_cast<LONGLONG>(f->m_nOffset) + (f->m_nType == VDB_DOUBLE ? 8 : 4);
    if (f->m_nOffset < 0 || end > m_FieldSet.m_nRecordSize || f->GetDataSize() < end - f->m_nOffset) continue;
    if (f->m_nType == VDB_FLOAT) std::memcpy(data + f->m_nOffset, &VDB_NULL_FLOAT, 4);
    if (f->m_nType == VDB_DOUBLE) std::memcpy(data + f->m_nOffset, &VDB_NULL_DOUBLE, 8);
  }
  return r;
}

void CVdbTable::DeleteAllRecords() {
  m_arena->FreeMany(m_arRecords.data(), m_arRecords.size());
  VdbRecordList().swap(m_arRecords);
  m_pRecord = nullptr;
  m_nCursor = 0;
  RecordsChanged();
}

void CVdbTable::SetFieldSet(const CVdbFieldSet* fs) {
  if (!fs) return;
  for (int i = 0; i < fs->GetSize(); ++i) m_FieldSet.AppendField(fs->GetAt(i)->Clone());
  m_FieldSet.SetName(fs->GetName());
  m_FieldSet.SetLabel(fs->GetLabel());
  MapKeywordName(fs->GetName(), fs->GetLabel());
  m_FieldSet.m_nRecordSize = fs->m_nRecordSize;
}

int CVdbTable::GetDataType(int i) const {
  const SVdbField* f = GetField(i);
  return f ? f->m_nType : 0;
}

SVdbField* CVdbTable::AddField(const char* text, int type, int count) {
  const int oldSize = m_FieldSet.m_nRecordSize;
  SVdbField* f = m_FieldSet.AddField(text, type, count);
  if (!m_arRecords.empty() && m_FieldSet.m_nRecordSize != oldSize) ResizeRecord(oldSize);
  return f;
}

int CVdbTable::AddField(const char* text, const char* unit, const char* alias) {
  SVdbField* f = AddField(text, 0, 1);
  if (!f) return -1;
  if (unit) f->m_strUnit = unit;
  if (alias) f->m_strAlias = alias;
  return m_FieldSet.GetFieldIndex(f);
}

bool CVdbTable::AddField(SVdbField* field) {
  const int oldSize = m_FieldSet.m_nRecordSize;
  if (!m_FieldSet.AddField(field)) return false;
  if (!m_arRecords.empty() && m_FieldSet.m_nRecordSize != oldSize) ResizeRecord(oldSize);
  return true;
}

void CVdbTable::ResizeRecord(int oldSize) {
  const size_t keep = static_cast<size_t>(std::min(std::max(oldSize, 0), m_FieldSet.m_nRecordSize)) + 8;
  // The new blocks come from a fresh allocator; the old one goes with the
  // old blocks.
  std::unique_ptr<detail::RecordArena> old = std::move(m_arena);
  m_arena = std::make_unique<detail::RecordArena>();
  for (SVdbRecord*& r : m_arRecords) {
    SVdbRecord* grown = NewRecord();
    std::memcpy(grown, r, keep);
    if (m_pRecord == r) m_pRecord = grown;
    r = grown;
  }
  RecordsChanged();
}

// ---- Records and cursor ----------------------------------------------------------

void CVdbTable::AddNew() {
  SVdbRecord* r = NewRecord();
  r->m_nID = ++m_nMaxID;
  m_arRecords.push_back(r);
  RecordsChanged();
  MoveToLast();
}

void CVdbTable::InsertNew() {
  if (m_arRecords.empty()) {
    AddNew();
    return;
  }
  // Before the first record (a failed typed search) counts as the first
  // place; past the end appends.
  const LONG at = std::min(std::max<LONG>(m_nCursor, 0), GetRecordCount());
  SVdbRecord* r = NewRecord();
  r->m_nID = ++m_nMaxID;
  m_arRecords.insert(m_arRecords.begin() + at, r);
  RecordsChanged();
  m_nCursor = at;
  m_pRecord = r;
}

void CVdbTable::DeleteRecord() {
  if (!m_pRecord) return;
  // Past the end the cursor no longer tells where the designated record is.
  LONG at = m_nCursor;
  if (at < 0 || at >= GetRecordCount() || m_arRecords[static_cast<size_t>(at)] != m_pRecord) {
    const auto it = std::find(m_arRecords.begin(), m_arRecords.end(), m_pRecord);
    if (it == m_arRecords.end()) {
      m_pRecord = nullptr;
      m_nCursor = 0;
      return;
    }
    at = static_cast<LONG>(it - m_arRecords.begin());
  }
  FreeRecord(m_pRecord);
  m_arRecords.erase(m_arRecords.begin() + at);
  m_pRecord = nullptr;
  RecordsChanged();
  MoveTo(std::min(at, GetRecordCount() - 1));
}

bool CVdbTable::MoveTo(LONG i) {
  if (i >= 0 && i < GetRecordCount()) {
    m_nCursor = i;
    m_pRecord = m_arRecords[static_cast<size_t>(i)];
    return true;
  }
  m_nCursor = 0;
  m_pRecord = nullptr;
  return false;
}

bool CVdbTable::LocatOn(DWORD id) {
  if (m_pRecord && m_pRecord->m_nID == id) return true;
  const LONG count = GetRecordCount();
  // A few lookups scan like the plain search; a run of them gets an index,
  // since records are often in identifier order only by accident.
  if (!m_idIndexValid && ++m_idLookups > 4 && count > 64) {
    m_idIndex.resize(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) {
      const SVdbRecord* r = m_arRecords[static_cast<size_t>(i)];
      m_idIndex[static_cast<size_t>(i)] = IdEntry{r->m_nID, i, r};
    }
    std::sort(m_idIndex.begin(), m_idIndex.end(), [](const IdEntry& a, const IdEntry& b) {
      return a.id != b.id ? a.id < b.id : a.index < b.index;
    });
    m_idIndexValid = true;
  }
  if (m_idIndexValid) {
    const auto it = std::lower_bound(m_idIndex.begin(), m_idIndex.end(), id,
                                     [](const IdEntry& e, DWORD key) { return e.id < key; });
    if (it != m_idIndex.end() && it->id == id && it->index < count &&
        m_arRecords[static_cast<size_t>(it->index)] == it->record && it->record->m_nID == id)
      return MoveTo(it->index);
    if (it == m_idIndex.end() || it->id != id) {
      // Absent from a valid index: confirmed only when nothing bypassed it.
      if (static_cast<LONG>(m_idIndex.size()) == count) return false;
    }
    m_idIndexValid = false;
  }
  for (LONG i = 0; i < count; ++i)
    if (m_arRecords[static_cast<size_t>(i)]->m_nID == id) return MoveTo(i);
  return false;
}

bool CVdbTable::SearchFrom(LONG start, int field, const BYTE* image, size_t n) {
  int size = 0;
  for (LONG i = std::max<LONG>(start, 0); i < GetRecordCount(); ++i) {
    const BYTE* data = FieldData(m_arRecords[static_cast<size_t>(i)], field, &size);
    const size_t k = std::min(n, static_cast<size_t>(size));
    if (data && (k == 0 || std::memcmp(data, image, k) == 0)) return MoveTo(i);
  }
  m_nCursor = GetRecordCount();
  return false;
}

bool CVdbTable::LocatOn(int field, const SVdbVariant& v) {
  m_nCursor = -1;
  return LocatOnNext(field, v);
}

bool CVdbTable::LocatOnNext(int field, const SVdbVariant& v) {
  const SVdbField* f = GetField(field);
  if (!f || f->m_nType != v.GetType()) return false;
  int size = 0;
  if (!FieldData(m_arRecords.empty() ? nullptr : m_arRecords[0], field, &size)) size = f->GetDataSize();
  const std::vector<BYTE> image = VariantImage(v, static_cast<size_t>(std::max(size, 0)));
  return SearchFrom(m_nCursor + 1, field, image.data(), image.size());
}

bool CVdbTable::LocatOn(int field, const void* bytes, int n) {
  m_nCursor = -1;
  return LocatOnNext(field, bytes, n);
}

bool CVdbTable::LocatOnNext(int field, const void* bytes, int n) {
  if (!GetField(field) || !bytes || n < 0) return false;
  return SearchFrom(m_nCursor + 1, field, static_cast<const BYTE*>(bytes), static_cast<size_t>(n));
}

bool CVdbTable::LocatOnDateS2(int field, const SDateTime& dt, bool add) {
  const SVdbField* f = GetField(field);
  if (!f || f->m_nType != VDB_DATE) return false;
  const uint64_t key = DateKey(reinterpret_cast<const BYTE*>(&dt), sizeof dt);
  LONG lo = 0;
  LONG hi = GetRecordCount() - 1;
  int size = 0;
  while (lo <= hi) {
    const LONG mid = lo + (hi - lo) / 2;
    const BYTE* data = FieldData(m_arRecords[static_cast<size_t>(mid)], field, &size);
    const uint64_t k = DateKey(data, static_cast<size_t>(size));
    if (k == key) return MoveTo(mid);
    if (k < key)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  if (!add) return false;
  AddNew();
  BYTE* data = FieldData(m_pRecord, field, &size);
  std::memcpy(data, &dt, std::min<size_t>(sizeof dt, static_cast<size_t>(size)));
  return true;
}

namespace {

// A Fenwick tree over 0/1 marks: prefix counts and the k-th position
// holding a given mark.
class Fenwick {
 public:
  explicit Fenwick(size_t n) : m_tree(n + 1, 0) {}
  void Add(size_t i, int delta) {
    for (++i; i < m_tree.size(); i += i & (~i + 1)) m_tree[i] += delta;
  }
  // Sum over positions 0 .. i-1.
  int Prefix(size_t i) const {
    int s = 0;
    for (; i > 0; i -= i & (~i + 1)) s += m_tree[i];
    return s;
  }
  // The smallest position p with Prefix(p + 1) == k + 1 (k counted from 0).
  size_t Find(int k) const {
    size_t pos = 0;
    size_t step = 1;
    while (step * 2 < m_tree.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (pos + step < m_tree.size() && m_tree[pos + step] <= k) {
        pos += step;
        k -= m_tree[pos];
      }
    }
    return pos;
  }

 private:
  std::vector<int> m_tree;
};

}  // namespace

// The exchange sort swaps a[i] and a[j] whenever key[a[j]] < key[a[i]]. Its
// result is sorted by key; what takes thought is the order inside a run of
// equal keys K. In the passes that bring out the smaller keys, the positions
// holding keys < K lose their leftmost member each pass, and so do those
// holding keys <= K; a record of key K moves only when it is the leftmost
// record of key <= K and stands before every smaller key, and it then jumps
// to the leftmost smaller key's position. Walking the positions of keys <= K
// from left to right, the K records therefore behave as a queue: each K
// record joins at the back when the walk reaches it, and each smaller key
// passed after the first K record sends the front to the back. Once the
// smaller keys are gone the K records come out in queue order. Counting the
// smaller keys between consecutive K records (a Fenwick tree over positions,
// keys taken in ascending order) gives the rotations; the queue of appends
// and rotations is rebuilt offline as insertions at known indices.
void CVdbTable::SortByDate() {
  const int field = GetFieldIndex("DATE");
  const size_t n = m_arRecords.size();
  if (field < 0 || n == 0) return;
  std::vector<std::pair<uint64_t, uint32_t>> order(n);
  int size = 0;
  for (size_t i = 0; i < n; ++i) {
    const BYTE* data = FieldData(m_arRecords[i], field, &size);
    order[i] = {DateKey(data, static_cast<size_t>(size)), static_cast<uint32_t>(i)};
  }
  std::sort(order.begin(), order.end());

  VdbRecordList sorted;
  sorted.reserve(n);
  Fenwick smaller(n);
  std::vector<int> before;    // per K record: smaller keys at lower positions
  std::vector<int> insertAt;  // per K record: its index in the rotated list
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && order[end].first == order[start].first) ++end;
    const size_t m = end - start;
    if (m == 1) {
      sorted.push_back(m_arRecords[order[start].second]);
    } else {
      before.resize(m);
      insertAt.resize(m);
      for (size_t k = 0; k < m; ++k) before[k] = smaller.Prefix(order[start + k].second);
      // The queue is a cyclic list read from index `front`; appending puts
      // the new record just before the front.
      size_t front = 0;
      for (size_t k = 0; k < m; ++k) {
        if (k > 0) front = (front + static_cast<size_t>(before[k] - before[k - 1])) % k;
        insertAt[k] = static_cast<int>(front);
        front = (front + 1) % (k + 1);
      }
      front = (front + (start - static_cast<size_t>(before[m - 1]))) % m;
      // Later insertions push earlier ones right: placing in reverse, each
      // record takes the insertAt-th slot still free.
      std::vector<SVdbRecord*> list(m);
      Fenwick freeSlots(m);
      for (size_t k = 0; k < m; ++k) freeSlots.Add(k, 1);
      for (size_t k = m; k-- > 0;) {
        const size_t slot = freeSlots.Find(insertAt[k]);
        list[slot] = m_arRecords[order[start + k].second];
        freeSlots.Add(slot, -1);
      }
      for (size_t k = 0; k < m; ++k) sorted.push_back(list[(front + k) % m]);
    }
    for (size_t k = start; k < end; ++k) smaller.Add(order[k].second, 1);
    start = end;
  }

  const bool onRecord = m_pRecord && m_nCursor >= 0 && m_nCursor < static_cast<LONG>(n) &&
                        m_arRecords[static_cast<size_t>(m_nCursor)] == m_pRecord;
  m_arRecords.swap(sorted);
  RecordsChanged();
  if (onRecord)
    m_nCursor =
        static_cast<LONG>(std::find(m_arRecords.begin(), m_arRecords.end(), m_pRecord) - m_arRecords.begin());
}

// ---- Values of the current record --------------------------------------------------

BYTE* CVdbTable::GetFieldVaptr(int field) {
  return ValuePtr(field, 0);
}

VdbFloat& CVdbTable::Float(int field) {
  BYTE* p = ValuePtr(field, 4);
  return p ? *reinterpret_cast<VdbFloat*>(p) : g_scratchFloat;
}

VdbLong& CVdbTable::Long(int field) {
  BYTE* p = ValuePtr(field, 4);
  return p ? *reinterpret_cast<VdbLong*>(p) : g_scratchLong;
}

SDateTime& CVdbTable::ValueDate(int field) {
  BYTE* p = ValuePtr(field, 8);
  return p ? *reinterpret_cast<SDateTime*>(p) : g_scratchDate;
}

bool CVdbTable::GetFieldValue(int field, SVdbVariant& v) {
  int size = 0;
  const BYTE* p = FieldData(m_pRecord, field, &size);
  if (!p) return false;
  const int type = GetField(field)->m_nType;
  const size_t n = static_cast<size_t>(size);
  switch (type) {
    case VDB_STRING: {
      const void* zero = std::memchr(p, 0, n);
      const size_t len = zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - p) : n;
      v.SetPSZ(std::string(reinterpret_cast<const char*>(p), len).c_str(), VDB_STRING);
      break;
    }
    case VDB_BINARY:
      v.SetBinary(p, size);
      break;
    default:
      // Unknown types give the type alone.
      v.SetBytes(type, p, GetVdbUnitSize(type) > 0 ? size : 0);
      break;
  }
  return true;
}

void CVdbTable::SetFieldValue(int field, const SVdbVariant& v) {
  int size = 0;
  BYTE* p = FieldData(m_pRecord, field, &size);
  if (!p) return;
  const int type = GetField(field)->m_nType;
  if (type != v.GetType() || type < VDB_BOOL || type > VDB_BINARY || GetVdbUnitSize(type) == 0) return;
  const std::vector<BYTE> image = VariantImage(v, static_cast<size_t>(size));
  if (!image.empty()) std::memcpy(p, image.data(), image.size());
}

bool CVdbTable::GetFieldValue(int field, CString& text, int decimals) {
  text.Empty();
  int size = 0;
  const BYTE* p = FieldData(m_pRecord, field, &size);
  if (!p) return false;
  const int type = GetField(field)->m_nType;
  if (type < VDB_BOOL || type > VDB_STRING || GetVdbUnitSize(type) == 0) return false;
  // The first value, zero-filled where the field is shorter than its type.
  BYTE v[16] = {};
  std::memcpy(v, p, std::min<size_t>(static_cast<size_t>(size), sizeof v));
  switch (type) {
    case VDB_BOOL:
    case VDB_BYTE:
      text.Format("%d", v[0]);
      break;
    case VDB_CHAR:
      if (v[0]) text = static_cast<char>(v[0]);
      break;
    case VDB_SHORT: {
      SHORT s;
      std::memcpy(&s, v, 2);
      text.Format("%d", s);
      break;
    }
    case VDB_LONG: {
      LONG l;
      std::memcpy(&l, v, 4);
      text.Format("%d", l);
      break;
    }
    case VDB_DATAID: {
      // Identifiers are unsigned; the text reader takes the old signed
      // texts of large ones to the same bits.
      DWORD id;
      std::memcpy(&id, v, 4);
      text.Format("%u", id);
      break;
    }
    case VDB_FLOAT: {
      float f;
      std::memcpy(&f, v, 4);
      if (IsVdbNull(f)) break;
      if (decimals >= 0)
        text.Format("%.*f", decimals, f);
      else
        text.Format("%g", f);
      break;
    }
    case VDB_DOUBLE: {
      double d;
      std::memcpy(&d, v, 8);
      if (IsVdbNull(d)) break;
      if (decimals >= 0)
        text.Format("%.*f", decimals, d);
      else
        text.Format("%g", d);
      break;
    }
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_STRING: {
      const size_t n = static_cast<size_t>(size);
      const void* zero = std::memchr(p, 0, n);
      text = CString(reinterpret_cast<const char*>(p),
                     static_cast<int>(zero ? static_cast<const BYTE*>(zero) - p : static_cast<ptrdiff_t>(n)));
      break;
    }
    case VDB_DATE: {
      SDateTime dt;
      std::memcpy(&dt, v, 8);
      if (dt.date.year == 0 || dt.date.month == 0 || dt.date.day == 0) break;
      if (dt.fraction == 0)
        text.Format("%d-%02d-%02d", dt.date.year, dt.date.month, dt.date.day);
      else
        text.Format("%d-%02d-%g", dt.date.year, dt.date.month,
                    static_cast<double>(dt.date.day + dt.fraction));
      break;
    }
    default:
      break;
  }
  return true;
}

namespace {

// Copies a value of width N into a field of n bytes (cut when shorter).
template <size_t N>
void Put(BYTE* p, size_t n, const void* value) {
  if (n >= N)
    std::memcpy(p, value, N);
  else
    std::memcpy(p, value, n);
}

}  // namespace

bool CVdbTable::SetFieldValue(int field, const char* text) {
  const SVdbField* f = GetField(field);
  int size = 0;
  BYTE* p = FieldData(m_pRecord, f, &size);
  if (!p) return false;
  const int type = f->m_nType;
  const size_t n = static_cast<size_t>(size);
  // No value (null, empty or "*...") is the null marker, which integer
  // types truncate to 0.
  const bool none = !text || !*text || *text == '*';
  auto number = [&] { return none ? static_cast<double>(VDB_NULL_FLOAT) : ParseNumber(text); };
  switch (type) {
    case VDB_BOOL:
    case VDB_BYTE: {
      const auto b = static_cast<BYTE>(Truncate(number()));
      Put<1>(p, n, &b);
      break;
    }
    case VDB_CHAR: {
      const auto c = static_cast<BYTE>(text ? *text : 0);
      Put<1>(p, n, &c);
      break;
    }
    case VDB_SHORT: {
      const auto v = static_cast<uint16_t>(Truncate(number()));
      Put<2>(p, n, &v);
      break;
    }
    case VDB_LONG:
    case VDB_DATAID: {
      const auto v = static_cast<uint32_t>(Truncate(number()));
      Put<4>(p, n, &v);
      break;
    }
    case VDB_FLOAT: {
      const auto v = static_cast<float>(number());
      Put<4>(p, n, &v);
      break;
    }
    case VDB_DOUBLE: {
      const double v = number();
      Put<8>(p, n, &v);
      break;
    }
    case VDB_DATE: {
      // StringToDate reads the first 19 characters.
      const SDateTime dt = detail::ParseDateText(text, 19);
      Put<8>(p, n, &dt);
      break;
    }
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_STRING: {
      // Only the first value of a text field: CHAR8 and CHAR16 fill their
      // 8 or 16 bytes, STRING its whole data.
      const size_t room = std::min(n, type == VDB_STRING ? n : static_cast<size_t>(GetVdbUnitSize(type)));
      const size_t len = text ? strnlen(text, room) : 0;
      std::memcpy(p, text ? text : "", len);
      std::memset(p + len, 0, room - len);
      break;
    }
    default:
      break;
  }
  return true;
}

bool CVdbTable::IsFieldEmpty(int field, bool all) {
  if (m_arRecords.empty()) return true;
  const SVdbField* f = GetField(field);
  if (!f) return false;
  const int type = f->m_nType;
  if (type == VDB_BINARY || GetVdbUnitSize(type) == 0) return false;
  LONG first = 0;
  LONG last = GetRecordCount() - 1;
  if (!all) {
    if (m_nCursor < 0 || m_nCursor >= GetRecordCount()) return true;
    first = last = m_nCursor;
  }
  int size = 0;
  for (LONG i = first; i <= last; ++i) {
    const BYTE* p = FieldData(m_arRecords[static_cast<size_t>(i)], field, &size);
    BYTE v[8] = {};
    std::memcpy(v, p, std::min<size_t>(static_cast<size_t>(size), sizeof v));
    bool empty = false;
    switch (type) {
      case VDB_SHORT:
        empty = v[0] == 0 && v[1] == 0;
        break;
      case VDB_LONG:
      case VDB_DATAID:
        empty = v[0] == 0 && v[1] == 0 && v[2] == 0 && v[3] == 0;
        break;
      case VDB_FLOAT: {
        float x;
        std::memcpy(&x, v, 4);
        empty = IsVdbNull(x);
        break;
      }
      case VDB_DOUBLE: {
        double x;
        std::memcpy(&x, v, 8);
        empty = IsVdbNull(x);
        break;
      }
      case VDB_DATE:
        empty = v[4] == 0 || v[5] == 0 || (v[6] == 0 && v[7] == 0);
        break;
      default:  // BOOL, BYTE, CHAR and the texts
        empty = v[0] == 0;
        break;
    }
    if (!empty) return false;
  }
  return true;
}

void CVdbTable::SetRecordID(DWORD id) {
  if (!m_pRecord) return;
  m_pRecord->m_nID = id;
  if (id > m_nMaxID) m_nMaxID = id;
  RecordsChanged();
}

// ---- Whole tables ----------------------------------------------------------------

CVdbTable& CVdbTable::operator=(const CVdbTable& other) {
  if (this == &other) return *this;
  ResetContent();
  for (int i = 0; i < other.GetFieldCount(); ++i) m_FieldSet.AppendField(other.GetField(i)->Clone());
  m_FieldSet.m_nRecordSize = other.m_FieldSet.m_nRecordSize;
  const size_t size = static_cast<size_t>(m_FieldSet.m_nRecordSize) + 8;
  m_arRecords.reserve(other.m_arRecords.size());
  for (const SVdbRecord* r : other.m_arRecords) {
    SVdbRecord* copy = AllocRecord();
    std::memcpy(copy, r, size);
    m_arRecords.push_back(copy);
  }
  RecordsChanged();
  m_nMaxID = other.m_nMaxID;
  SetName(other.GetName());
  MoveToFirst();
  return *this;
}

CVdbTable& CVdbTable::operator+=(const CVdbTable& other) {
  if (this == &other) return *this;
  const int oldSize = m_FieldSet.m_nRecordSize;
  for (int i = 0; i < other.GetFieldCount(); ++i) {
    std::unique_ptr<SVdbField> clone(other.GetField(i)->Clone());
    if (m_FieldSet.AddField(clone.get())) clone.release();
  }
  if (!m_arRecords.empty() && m_FieldSet.m_nRecordSize != oldSize) ResizeRecord(oldSize);
  return *this;
}

CVdbTable& CVdbTable::operator<<(CVdbTable& other) {
  if (this == &other) return *this;
  ResetContent();
  for (int i = 0; i < other.GetFieldCount(); ++i) m_FieldSet.AppendField(other.GetField(i));
  other.m_FieldSet.RemoveAll();
  m_FieldSet.m_nRecordSize = other.m_FieldSet.m_nRecordSize;
  m_arRecords.swap(other.m_arRecords);
  m_arena.swap(other.m_arena);
  other.m_pRecord = nullptr;
  other.m_nCursor = 0;
  other.RecordsChanged();
  RecordsChanged();
  m_nMaxID = other.m_nMaxID;
  SetName(other.GetName());
  MoveToFirst();
  return *this;
}
