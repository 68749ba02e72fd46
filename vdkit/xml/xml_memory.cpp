#include <cstdlib>
#include <new>

#include "vdkit/xml/xml_memory_internal.h"

#ifdef VDKIT_XML_ASAN
#define VDKIT_XML_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define VDKIT_XML_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define VDKIT_XML_POISON(p, n) ((void)(p), (void)(n))
#define VDKIT_XML_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace detail {
namespace {

constexpr size_t kBlockBytes = kXmlBlockBytes;
constexpr size_t kBlockHeader = 64;  // the header, on a line of its own
constexpr size_t kCarveAlign = alignof(std::max_align_t);
constexpr size_t kMaxCarved = 1024;
constexpr int64_t kHold = INT64_C(1) << 40;  // more nodes than a block can ever hold
// A document takes its blocks in slabs of several, growing to this size.
constexpr size_t kFirstSlab = 2 * kBlockBytes;
constexpr size_t kMaxSlab = 64 * kBlockBytes;

using Block = XmlBlock;
static_assert(sizeof(Block) <= kBlockHeader, "block header");

inline Block* BlockOf(const void* p) {
  return reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(kBlockBytes - 1));
}

inline size_t RoundUp(size_t n) {
  return (n + kCarveAlign - 1) & ~(kCarveAlign - 1);
}

// Under AddressSanitizer carved memory stays poisoned until it is handed
// out and is poisoned again when released, so a use after delete of one
// node is caught even while its neighbours keep the block alive. Each carve
// then carries its size in a prefix of its own, poisoned too.
constexpr size_t kSizePrefix = kXmlCarvePrefix;

// The carve at `raw` made ready for `size` bytes of its user.
inline void* Hand(char* raw, size_t size) {
#ifdef VDKIT_XML_ASAN
  ASAN_UNPOISON_MEMORY_REGION(raw, kSizePrefix + size);
  *reinterpret_cast<size_t*>(raw) = size;
  ASAN_POISON_MEMORY_REGION(raw, kSizePrefix);
#else
  (void)size;
#endif
  return raw + kSizePrefix;
}

void* AllocBlocks(size_t bytes) {
  void* raw = ::operator new(bytes, std::align_val_t(kBlockBytes), std::nothrow);
  if (raw) VDKIT_XML_POISON(static_cast<char*>(raw), bytes);
  return raw;
}

void FreeBlocks(void* raw, size_t bytes) {
  VDKIT_XML_UNPOISON(static_cast<char*>(raw), bytes);
  ::operator delete(raw, std::align_val_t(kBlockBytes));
}

// A header at the start of a block of a thread or a document.
Block* MakeHeader(void* at, size_t bytes, int64_t live, XmlDocument* doc) {
  VDKIT_XML_UNPOISON(static_cast<char*>(at), kBlockHeader);
  return new (at) Block{{live}, bytes, doc, nullptr};
}

// ---- A thread's blocks -------------------------------------------------------------
//
// Each block counts its live nodes; while a thread still carves from it the
// count also holds kHold, so it cannot reach zero before the thread lets go.
// The carving thread counts the nodes it hands out privately and settles
// them when it leaves the block: one atomic step per node (its delete), none
// on the carving path. A node too large for carving gets a block of its own.

Block* NewBlock(size_t bytes, int64_t live) {
  void* raw = AllocBlocks(bytes);
  return raw ? MakeHeader(raw, bytes, live, nullptr) : nullptr;
}

// Drops `n` from the block's count and frees it when nothing is left.
void Release(Block* block, int64_t n) {
  if (block->live.fetch_sub(n, std::memory_order_acq_rel) == n) {
    const size_t bytes = block->bytes;
    block->~Block();
    FreeBlocks(block, bytes);
  }
}

// The block a thread carves from, and the document it parses into. Plain
// data, so reaching it costs no guard; BlockReturner gives the block back
// when the thread ends.
struct Carver {
  Block* block;
  size_t next;     // offset of the next free byte in the block
  int64_t handed;  // nodes carved from the block so far
  bool ended;      // the thread is ending: no more blocks are taken
  XmlDocument* doc;
};
thread_local Carver t_carver;

void LeaveBlock(Carver& c) {
  if (!c.block) return;
  Release(c.block, kHold - c.handed);
  c.block = nullptr;
}

struct BlockReturner {
  ~BlockReturner() {
    LeaveBlock(t_carver);
    t_carver.ended = true;
  }
};

void* CarveFromThread(Carver& c, size_t size) {
  const size_t whole = kSizePrefix + size;
  if (c.block && c.next + whole <= kBlockBytes) {
    char* raw = reinterpret_cast<char*>(c.block) + c.next;
    c.next += whole;
    ++c.handed;
    return Hand(raw, size);
  }
  if (whole > kMaxCarved || c.ended) {
    // A block of its own, freed with the node.
    const size_t bytes = (kBlockHeader + whole + kBlockBytes - 1) & ~(kBlockBytes - 1);
    Block* own = bytes > whole ? NewBlock(bytes, 1) : nullptr;
    return own ? Hand(reinterpret_cast<char*>(own) + kBlockHeader, size) : nullptr;
  }
  Block* fresh = NewBlock(kBlockBytes, kHold);
  if (!fresh) return nullptr;
  if (!c.block) {
    // The thread's first block: make sure the thread returns its last
    // block when it ends.
    static thread_local BlockReturner returner;
    (void)returner;
  }
  LeaveBlock(c);
  c.block = fresh;
  c.next = kBlockHeader + whole;
  c.handed = 1;
  return Hand(reinterpret_cast<char*>(fresh) + kBlockHeader, size);
}

}  // namespace

// ---- A document ------------------------------------------------------------------------
//
// Its blocks come in slabs of several blocks (a header at the start of each,
// so that masking finds the document from any node), chained through their
// first block; its texts and long lists of children are pieces of the heap,
// chained too. Nothing of it is freed before the document goes.

struct XmlDocument::Piece {
  Piece* next;
  alignas(std::max_align_t) char bytes[1];
};

XmlDocument* XmlDocument::Create() noexcept {
  return new (std::nothrow) XmlDocument;
}

XmlDocument* XmlDocument::Current() noexcept {
  return t_carver.doc;
}

void XmlDocument::Enter() noexcept {
  m_pOuter = t_carver.doc;
  t_carver.doc = this;
}

void XmlDocument::Leave() noexcept {
  t_carver.doc = m_pOuter;
  m_pOuter = nullptr;
}

bool XmlDocument::NextBlock() noexcept {
  char* block = m_pEnd;  // the next block of the slab starts where this one ends
  if (!block || block >= m_pSlabEnd) {
    const size_t bytes = m_nSlabBytes ? m_nSlabBytes : kFirstSlab;
    void* slab = AllocBlocks(bytes);
    if (!slab) return false;
    Block* first = MakeHeader(slab, bytes, 0, this);
    first->nextSlab = static_cast<Block*>(m_pSlabs);
    m_pSlabs = slab;
    m_nSlabBytes = bytes < kMaxSlab ? 2 * bytes : kMaxSlab;
    block = static_cast<char*>(slab);
    m_pSlabEnd = block + bytes;
  } else {
    MakeHeader(block, kBlockBytes, 0, this);
  }
  m_pNext = block + kBlockHeader;
  m_pEnd = block + kBlockBytes;
  return true;
}

char* XmlDocument::Carve(size_t whole) noexcept {
  if (static_cast<size_t>(m_pEnd - m_pNext) < whole && !NextBlock()) return nullptr;
  char* raw = m_pNext;
  m_pNext += whole;
  return raw;
}

void* XmlDocument::CarveNode(size_t size) noexcept {
  size = RoundUp(size);
  if (kSizePrefix + size > kMaxCarved) return CarveFromThread(t_carver, size);
  char* raw = Carve(kSizePrefix + size);
  if (!raw) return nullptr;
  ++m_nCarved;
  m_pLastCarved = Hand(raw, size);
  return m_pLastCarved;
}

void* XmlDocument::CarveList(size_t bytes) noexcept {
  bytes = RoundUp(bytes);
  if (bytes <= kMaxCarved) {
    char* raw = Carve(bytes);
    if (raw) VDKIT_XML_UNPOISON(raw, bytes);
    return raw;
  }
  return AllocText(bytes);
}

void XmlDocument::PoisonList(void* list, size_t bytes) noexcept {
  // A long list is a piece of the heap: left as it is, freed with the rest.
  if (RoundUp(bytes) <= kMaxCarved) VDKIT_XML_POISON(static_cast<char*>(list), RoundUp(bytes));
}

char* XmlDocument::AllocText(size_t bytes) noexcept {
  if (bytes > static_cast<size_t>(-1) - sizeof(Piece)) return nullptr;
  auto* piece = static_cast<Piece*>(std::malloc(offsetof(Piece, bytes) + bytes));
  if (!piece) return nullptr;
  piece->next = m_pPieces;
  m_pPieces = piece;
  return piece->bytes;
}

void XmlDocument::Finish() noexcept {
  m_bExact = m_nCarved == m_nRegistered;
  m_pLastCarved = nullptr;
  m_tops.fetch_sub(1, std::memory_order_acq_rel);
  Release(kHold - m_nCarved);
}

void XmlDocument::Release(int64_t n) noexcept {
  if (m_live.fetch_sub(n, std::memory_order_acq_rel) == n) Drop();
}

void XmlDocument::Drop() noexcept {
  for (void* slab = m_pSlabs; slab;) {
    Block* first = static_cast<Block*>(slab);
    void* next = first->nextSlab;
    FreeBlocks(slab, first->bytes);
    slab = next;
  }
  for (Piece* p = m_pPieces; p;) {
    Piece* next = p->next;
    std::free(p);
    p = next;
  }
  delete this;
}

// ---- Carving ---------------------------------------------------------------------------

void* CarveXmlNode(size_t size) noexcept {
  Carver& c = t_carver;
  if (c.doc) return c.doc->CarveNode(size);
  return CarveFromThread(c, RoundUp(size));
}

void ReleaseXmlNode(void* p) noexcept {
  PoisonXmlNode(p);
  Block* block = BlockOf(static_cast<char*>(p) - kSizePrefix);
  if (block->doc) {
    block->doc->Release(1);
  } else {
    Release(block, 1);
  }
}

}  // namespace detail
