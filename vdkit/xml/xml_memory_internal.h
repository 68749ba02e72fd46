// Where the nodes of item trees live. Not installed; include only from
// vdkit's own sources.
//
// Nodes are carved one after another out of blocks of kXmlBlockBytes,
// aligned to their size, so that a node's block is found by masking its
// address. There are two kinds of block:
//  - a thread's blocks, for nodes made one at a time (by hand, by copies):
//    each counts its live nodes and goes back to the heap when the last one
//    is deleted and its thread has moved on to another block;
//  - a document's blocks, for the nodes a parse makes. The document also
//    owns the text the parse decoded in place, which those nodes borrow
//    their names, values and attributes from, and the lists of their
//    children. It counts its live nodes as a whole and frees everything
//    together when the last one goes, or at once when a whole tree of its
//    nodes is freed (CXmlItem::DeleteAll decides when that is safe).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VDKIT_XML_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VDKIT_XML_ASAN 1
#endif
#endif
#ifdef VDKIT_XML_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace detail {

class XmlDocument;

constexpr size_t kXmlBlockBytes = 32 * 1024;

// Memory for a node of `size` bytes: from the document this thread is
// parsing into when there is one, else from the thread's blocks. Null when
// the heap has none.
void* CarveXmlNode(size_t size) noexcept;
// Gives back memory CarveXmlNode gave out.
void ReleaseXmlNode(void* p) noexcept;
// Says that a node of a document is gone without giving it back: the
// caller gives it back with others (XmlDocument::Release). Under
// AddressSanitizer its use is caught from here on.
inline void PoisonXmlNode(void* p) noexcept;
// The document that memory from CarveXmlNode belongs to; null for a
// thread's block.
inline XmlDocument* XmlDocumentOf(const void* p) noexcept;

class XmlDocument {
 public:
  // A new document, held by the parse that makes it until Finish; null when
  // the heap has none.
  static XmlDocument* Create() noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Between Enter and Leave, nodes carved on this thread come from this
  // document. Parses nest (one may run inside another's CreateObj): Leave
  // goes back to the document entered before.
  void Enter() noexcept;
  void Leave() noexcept;
  // The document nodes of this thread are carved from, or null.
  static XmlDocument* Current() noexcept;

  // Text memory that lives as long as the document; null when the heap has
  // none. Never freed on its own.
  char* AllocText(size_t bytes) noexcept;
  // Memory for a node of `size` bytes, for the parse that holds the
  // document (CarveXmlNode without asking which document is current).
  void* CarveNode(size_t size) noexcept;
  // Memory for a node's list of children; never freed on its own.
  void* CarveList(size_t bytes) noexcept;
  // Says that a list from CarveList is no longer used (AddressSanitizer
  // then catches its use).
  static void DropList(void* list, size_t bytes) noexcept {
#ifdef VDKIT_XML_ASAN
    PoisonList(list, bytes);
#else
    (void)list;
    (void)bytes;
#endif
  }

  // The parse made `node` itself, at the address last carved from this
  // document: the node is the document's to account for (see m_bExact).
  bool IsLastCarved(const void* node) const noexcept {
    return node == m_pLastCarved;
  }
  void Register() noexcept {
    ++m_nRegistered;
  }
  // The parse is done: drops its holds. A document none of whose nodes
  // lives goes at once.
  void Finish() noexcept;

  // Gives back `n` carved nodes; the last one frees the document.
  void Release(int64_t n) noexcept;
  // Frees the document with every node still in it. Only for the caller
  // that drops every live node of it at once.
  void Drop() noexcept;

  // Nodes of this document whose parent is not one of its nodes (the tops
  // of its trees), plus one while the parse runs.
  std::atomic<int32_t> m_tops{1};
  // Nodes of this document that must be destroyed one by one (see
  // CXmlItem).
  std::atomic<int32_t> m_dirty{0};
  // Set by Finish when every node carved here was registered by the parse:
  // then every node of the document is reachable from its tops.
  bool m_bExact = false;

 private:
  XmlDocument() = default;
  ~XmlDocument() = default;
  char* Carve(size_t bytes) noexcept;
  static void PoisonList(void* list, size_t bytes) noexcept;
  bool NextBlock() noexcept;

  struct Piece;
  // Carved nodes not yet given back. While the parse runs it also holds a
  // count no document reaches, less the nodes carved so far (settled by
  // Finish), so that carving needs no atomic step.
  std::atomic<int64_t> m_live{INT64_C(1) << 40};
  int64_t m_nCarved = 0;  // the parse's thread only
  int64_t m_nRegistered = 0;
  void* m_pLastCarved = nullptr;
  char* m_pNext = nullptr;  // carving position in the current block
  char* m_pEnd = nullptr;
  char* m_pSlabEnd = nullptr;       // end of the current slab of blocks
  void* m_pSlabs = nullptr;         // chain of slabs (through their first block)
  size_t m_nSlabBytes = 0;          // size of the next slab
  Piece* m_pPieces = nullptr;       // texts and long lists
  XmlDocument* m_pOuter = nullptr;  // the document entered before this one
};

// The header at the start of every block (kXmlBlockBytes, aligned to its
// size) that nodes are carved from.
struct XmlBlock {
  std::atomic<int64_t> live;  // a thread's block: its live nodes (and a hold while carved from)
  size_t bytes;               // of the whole block (a document's first block: of its slab)
  XmlDocument* doc;           // null for a thread's block
  XmlBlock* nextSlab;         // a document's first block of a slab: the slab before
};

// Under AddressSanitizer each carve starts with its size, in a prefix of
// this many bytes.
#ifdef VDKIT_XML_ASAN
constexpr size_t kXmlCarvePrefix = alignof(std::max_align_t);
#else
constexpr size_t kXmlCarvePrefix = 0;
#endif

inline void PoisonXmlNode(void* p) noexcept {
#ifdef VDKIT_XML_ASAN
  char* raw = static_cast<char*>(p) - kXmlCarvePrefix;
  ASAN_UNPOISON_MEMORY_REGION(raw, kXmlCarvePrefix);
  const size_t size = *reinterpret_cast<size_t*>(raw);
  ASAN_POISON_MEMORY_REGION(raw, kXmlCarvePrefix + size);
#else
  (void)p;
#endif
}

inline XmlDocument* XmlDocumentOf(const void* p) noexcept {
  const uintptr_t at = reinterpret_cast<uintptr_t>(p) - kXmlCarvePrefix;
  return reinterpret_cast<const XmlBlock*>(at & ~static_cast<uintptr_t>(kXmlBlockBytes - 1))->doc;
}

}  // namespace detail
