#include "vdkit/xml/xml_parser.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "vdkit/core/path.h"
#include "vdkit/platform/tree_ctrl.h"

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

namespace {

// Blanks of the grammar.
inline bool IsBlank(unsigned char c) {
  // One test against a bit mask instead of four compares: this runs for
  // nearly every byte between tags.
  constexpr uint64_t kBlanks =
      (UINT64_C(1) << ' ') | (UINT64_C(1) << '\t') | (UINT64_C(1) << '\n') | (UINT64_C(1) << '\r');
  return c <= ' ' && ((kBlanks >> c) & 1) != 0;
}

inline unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool EqualNoCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (AsciiLower(static_cast<unsigned char>(*a)) != AsciiLower(static_cast<unsigned char>(*b)))
      return false;
    if (*a == 0) return true;
  }
}

// The entry "name=value" has the name `name` (of length n).
inline bool EntryHasName(const CString& entry, const char* name, size_t n) {
  const std::string& s = entry.str();
  return s.size() > n && s[n] == '=' && EqualNoCase(s.data(), name, n);
}

void TrimBlanks(std::string& s) {
  size_t end = s.size();
  while (end > 0 && IsBlank(static_cast<unsigned char>(s[end - 1]))) --end;
  s.resize(end);
  size_t start = 0;
  while (start < s.size() && IsBlank(static_cast<unsigned char>(s[start]))) ++start;
  if (start > 0) s.erase(0, start);
}

// The document may hold more than a LONG can count, and findChars grows the
// buffer in 1 KiB steps; keep well clear of the limit.
constexpr LONG kMaxDocumentBytes = INT_MAX - (1 << 20);
constexpr LONG kChunkGrow = 1024;  // findChars grows the buffer by this much...
constexpr UINT kChunkRead = 1020;  // ...and reads this much at a time

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decodes the reference that starts at p[0] == '&' with n bytes available.
// Gives the bytes consumed (0 when it is no reference we decode) and the
// decoded byte in `out`. Character references are decoded only below 256:
// text is bytes of the host's code page, so a larger code has no byte to
// become and stays as written.
size_t DecodeReference(const char* p, size_t n, char& out) {
  struct Named {
    const char* text;
    size_t len;
    char ch;
  };
  static const Named kNamed[] = {
      {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};
  if (n >= 2 && p[1] == '#') {
    size_t i = 2;
    const bool hex = i < n && (p[i] == 'x' || p[i] == 'X');
    if (hex) ++i;
    const size_t digits = i;
    unsigned value = 0;
    for (; i < n; ++i) {
      const int d =
          hex ? HexDigit(static_cast<unsigned char>(p[i])) : (p[i] >= '0' && p[i] <= '9' ? p[i] - '0' : -1);
      if (d < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<unsigned>(d);
      if (value > 255) return 0;
    }
    if (i == digits || i >= n || p[i] != ';' || value == 0) return 0;
    out = static_cast<char>(value);
    return i + 1;
  }
  for (const Named& e : kNamed) {
    if (n >= e.len && e.text[1] == p[1] && std::memcmp(p, e.text, e.len) == 0) {
      out = e.ch;
      return e.len;
    }
  }
  return 0;
}

// Decodes n bytes in place; gives the decoded length, which is never more
// than n. The bytes after the decoded ones are left as they were.
size_t DecodeInPlace(char* s, size_t n) {
  char* amp = static_cast<char*>(std::memchr(s, '&', n));
  if (!amp) return n;
  const char* end = s + n;
  char* out = amp;
  const char* in = amp;
  // Each turn starts at an '&' and moves the plain bytes up to the next one.
  for (;;) {
    char ch = '&';
    const size_t used = DecodeReference(in, static_cast<size_t>(end - in), ch);
    *out++ = ch;
    in += used ? used : 1;
    const char* next = static_cast<const char*>(std::memchr(in, '&', static_cast<size_t>(end - in)));
    const size_t plain = static_cast<size_t>((next ? next : end) - in);
    std::memmove(out, in, plain);
    out += plain;
    in += plain;
    if (!next) return static_cast<size_t>(out - s);
  }
}

// Name part of a "name=value" entry, lower-cased: the key of the index that
// parseAttributes builds for tags with many attributes.
std::string LowerName(const char* name, size_t n) {
  std::string key(name, n);
  for (char& c : key) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
  return key;
}

// Room for this many children is made at the first child; most elements
// that have children have a few.
constexpr size_t kFirstChildBlock = 10;

// Below this many attributes a linear search for repeated names is cheaper
// than an index; above it the index keeps a hostile tag from costing n^2.
constexpr int kAttributeIndexFrom = 16;

// ---- Node blocks ----------------------------------------------------------------
//
// Nodes are carved one after another out of blocks of kBlockBytes, aligned
// to their size, so a node's block is found by masking its address. Each
// block counts its live nodes; while a thread still carves from it the count
// also holds kHold, so it cannot reach zero before the thread lets go. The
// carving thread counts the nodes it hands out privately and settles them
// when it leaves the block: one atomic step per node (its delete), none on
// the carving path. A node too large for carving gets a block of its own.
// The lists of children are carved the same way.

constexpr size_t kBlockBytes = 32 * 1024;
constexpr size_t kBlockHeader = 64;  // the count, on a line of its own
constexpr size_t kCarveAlign = alignof(std::max_align_t);
constexpr size_t kMaxCarved = 1024;
constexpr int64_t kHold = INT64_C(1) << 40;  // more nodes than a block can ever hold

struct Block {
  std::atomic<int64_t> live;
  size_t bytes;  // of the whole block, header included
};
static_assert(sizeof(Block) <= kBlockHeader, "block header");

Block* BlockOf(void* node) {
  return reinterpret_cast<Block*>(reinterpret_cast<uintptr_t>(node) &
                                  ~static_cast<uintptr_t>(kBlockBytes - 1));
}

// Under AddressSanitizer carved memory stays poisoned until it is handed
// out and is poisoned again when released, so a use after delete of one
// node is caught even while its neighbours keep the block alive. Each carve
// then carries its size in a prefix of its own, poisoned too.
#ifdef VDKIT_XML_ASAN
constexpr size_t kSizePrefix = kCarveAlign;
#else
constexpr size_t kSizePrefix = 0;
#endif

Block* NewBlock(size_t bytes, int64_t live) {
  void* raw = ::operator new(bytes, std::align_val_t(kBlockBytes), std::nothrow);
  if (!raw) return nullptr;
#ifdef VDKIT_XML_ASAN
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(raw) + kBlockHeader, bytes - kBlockHeader);
#endif
  return new (raw) Block{{live}, bytes};
}

// Drops `n` from the block's count and frees it when nothing is left.
void Release(Block* block, int64_t n) {
  if (block->live.fetch_sub(n, std::memory_order_acq_rel) == n) {
#ifdef VDKIT_XML_ASAN
    ASAN_UNPOISON_MEMORY_REGION(block, block->bytes);
#endif
    block->~Block();
    ::operator delete(block, std::align_val_t(kBlockBytes));
  }
}

// The carve at `raw` made ready for `size` bytes of its user.
void* Hand(char* raw, size_t size) {
#ifdef VDKIT_XML_ASAN
  ASAN_UNPOISON_MEMORY_REGION(raw, kSizePrefix + size);
  *reinterpret_cast<size_t*>(raw) = size;
  ASAN_POISON_MEMORY_REGION(raw, kSizePrefix);
#else
  (void)size;
#endif
  return raw + kSizePrefix;
}

// Gives back what Hand gave out.
void ReleaseCarve(void* p) {
  char* raw = static_cast<char*>(p) - kSizePrefix;
#ifdef VDKIT_XML_ASAN
  ASAN_UNPOISON_MEMORY_REGION(raw, kSizePrefix);
  const size_t size = *reinterpret_cast<size_t*>(raw);
  ASAN_POISON_MEMORY_REGION(raw, kSizePrefix + size);
#endif
  Release(BlockOf(raw), 1);
}

// The block a thread carves from. Plain data, so reaching it costs no guard;
// BlockReturner gives the block back when the thread ends.
struct Carver {
  Block* block;
  size_t next;     // offset of the next free byte in the block
  int64_t handed;  // nodes carved from the block so far
  bool ended;      // the thread is ending: no more blocks are taken
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

// Memory for one node of `size` bytes, or null when the heap has none.
void* CarveNode(size_t size) {
  size = (size + kCarveAlign - 1) & ~(kCarveAlign - 1);
  const size_t whole = kSizePrefix + size;
  Carver& c = t_carver;
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

// The members getChar, findChar and CXmlAttributes::Find are exported, and
// so cannot be inlined into the parse loop; these are their bodies.

// Skips blanks from `pos`; the byte now there, or -1 at the end.
inline int SkipBlanks(const char* text, LONG length, LONG& pos) {
  LONG at = pos;
  while (at < length && IsBlank(static_cast<unsigned char>(text[at]))) ++at;
  pos = at;
  return at < length ? static_cast<unsigned char>(text[at]) : -1;
}

// Index of the next `ch` at or after `pos`, or -1.
inline int FindByte(const char* text, LONG length, LONG pos, char ch) {
  if (!text || pos >= length) return -1;
  const void* hit =
      std::memchr(text + pos, static_cast<unsigned char>(ch), static_cast<size_t>(length - pos));
  return hit ? static_cast<int>(static_cast<const char*>(hit) - text) : -1;
}

inline int FindEntry(const std::vector<CString>& entries, const char* name, size_t n) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (EntryHasName(entries[i], name, n)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

// ---- CXmlItem allocation ---------------------------------------------------------

void* detail::CarveXmlMemory(size_t bytes) {
  void* p = CarveNode(bytes);
  if (!p) throw std::bad_alloc();
  return p;
}

void detail::ReleaseXmlMemory(void* p) noexcept {
  if (p) ReleaseCarve(p);
}

void* CXmlItem::operator new(size_t size) {
  void* node = CarveNode(size);
  if (!node) throw std::bad_alloc();
  return node;
}

void* CXmlItem::operator new(size_t size, const std::nothrow_t&) noexcept {
  return CarveNode(size);
}

void* CXmlItem::operator new(size_t size, std::align_val_t align) {
  return ::operator new(size, align);
}

void CXmlItem::operator delete(void* p) noexcept {
  if (p) ReleaseCarve(p);
}

void CXmlItem::operator delete(void* p, const std::nothrow_t&) noexcept {
  if (p) ReleaseCarve(p);
}

void CXmlItem::operator delete(void* p, std::align_val_t align) noexcept {
  ::operator delete(p, align);
}

// ---- CXmlAttributes ---------------------------------------------------------

int CXmlAttributes::Find(const char* name, size_t nameLength) const {
  return FindEntry(m_data, name, nameLength);
}

void CXmlAttributes::Set(const char* name, size_t nameLength, const char* value, size_t valueLength) {
  const int i = Find(name, nameLength);
  if (i < 0) m_data.emplace_back();
  std::string& e = m_data[i < 0 ? m_data.size() - 1 : static_cast<size_t>(i)].str();
  e.resize(nameLength + 1 + valueLength);
  char* out = &e[0];
  std::memcpy(out, name, nameLength);
  out[nameLength] = '=';
  std::memcpy(out + nameLength + 1, value, valueLength);
}

void CXmlAttributes::SetEntry(const char* entry, size_t nameLength, size_t length) {
  const int i = FindEntry(m_data, entry, nameLength);
  if (i < 0) {
    m_data.emplace_back(entry, static_cast<int>(length));
  } else {
    m_data[static_cast<size_t>(i)].str().assign(entry, length);
  }
}

void CXmlAttributes::Set(const char* name, const char* value) {
  if (!name) name = "";
  if (!value) value = "";
  Set(name, std::strlen(name), value, std::strlen(value));
}

const char* CXmlAttributes::Get(const char* name) const {
  if (!name) name = "";
  const size_t n = std::strlen(name);
  const int i = Find(name, n);
  return i < 0 ? nullptr : m_data[static_cast<size_t>(i)].GetString() + n + 1;
}

void CXmlAttributes::Remove(const char* name) {
  if (!name) name = "";
  const int i = Find(name, std::strlen(name));
  if (i >= 0) m_data.erase(m_data.begin() + i);
}

const char* CXmlAttributes::GetAt(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= m_data.size()) return nullptr;
  return m_data[static_cast<size_t>(i)].GetString();
}

// ---- CXmlItem -----------------------------------------------------------------

CXmlItem::CXmlItem(CXmlItem* parent) {
  if (!parent) return;
  ChildList& siblings = parent->m_children;
  if (siblings.capacity() == 0) siblings.reserve(kFirstChildBlock);
  siblings.push_back(this);
}

CXmlItem::~CXmlItem() {
  // DeleteAll empties the children of each node it deletes, so nearly every
  // node gets here without children.
  if (!m_children.empty()) DeleteAll();
}

void CXmlItem::SetAttributes(CXmlAttributes& attrs) {
  m_attributes = attrs;
}

bool CXmlItem::Serialize(CXmlArchive&, CXmlItem*) {
  return true;
}

CXmlItem* CXmlItem::GetChild(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= m_children.size()) return nullptr;
  return m_children[static_cast<size_t>(i)];
}

CXmlItem* CXmlItem::GetChild(const char* name) const {
  if (!name) return nullptr;
  for (CXmlItem* child : m_children) {
    if (EqualNoCase(child->m_strName, name)) return child;
  }
  return nullptr;
}

void CXmlItem::RemoveAt(int i) {
  if (i < 0 || static_cast<size_t>(i) >= m_children.size()) return;
  m_children.erase(m_children.begin() + i);
}

void CXmlItem::DeleteAll() {
  // Each node's children are taken out before it is deleted, so its own
  // destructor finds none: a tree of any depth goes without recursion.
  ChildList pending;
  pending.swap(m_children);
  while (!pending.empty()) {
    CXmlItem* item = pending.back();
    pending.pop_back();
    if (!item->m_children.empty()) {
      pending.insert(pending.end(), item->m_children.begin(), item->m_children.end());
      item->m_children.clear();
    }
    delete item;
  }
}

CXmlItem& CXmlItem::operator=(const CXmlItem& other) {
  if (this == &other) return *this;
  // Copy everything before deleting anything: `other` may lie in this
  // node's subtree. The walk keeps (source, copy's parent) pairs; children
  // go on in reverse so that they come off, and are appended, in order.
  CXmlItem holder(nullptr);
  std::vector<std::pair<const CXmlItem*, CXmlItem*>> work;
  for (size_t i = other.m_children.size(); i-- > 0;) work.emplace_back(other.m_children[i], &holder);
  while (!work.empty()) {
    const CXmlItem* src = work.back().first;
    CXmlItem* parent = work.back().second;
    work.pop_back();
    CXmlItem* copy = new CXmlItem(parent);
    copy->m_strName = src->m_strName;
    copy->m_strValue = src->m_strValue;
    copy->m_attributes = src->m_attributes;
    copy->m_nLoaded = src->m_nLoaded;
    for (size_t i = src->m_children.size(); i-- > 0;) work.emplace_back(src->m_children[i], copy);
  }
  CString name = other.m_strName;
  CString value = other.m_strValue;
  CXmlAttributes attributes = other.m_attributes;
  const LONG loaded = other.m_nLoaded;

  DeleteAll();
  m_children.swap(holder.m_children);
  m_strName = std::move(name);
  m_strValue = std::move(value);
  m_attributes = std::move(attributes);
  m_nLoaded = loaded;
  return *this;
}

void CXmlItem::AddToTree(CTreeCtrl& tree, _TREEITEM* parent) {
  // (node, parent item) pairs; children go on in reverse so that they come
  // off, and are appended under their parent, in order.
  std::vector<std::pair<const CXmlItem*, HTREEITEM>> work;
  work.emplace_back(this, parent);
  while (!work.empty()) {
    const CXmlItem* node = work.back().first;
    const HTREEITEM under = work.back().second;
    work.pop_back();
    CString text = node->m_strName;
    const int count = node->m_attributes.GetCount();
    if (count > 0) {
      text += '[';
      for (int i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += node->m_attributes.GetAt(i);
      }
      text += "] ";
    }
    const HTREEITEM item = tree.InsertItem(text, under ? under : TVI_ROOT, TVI_LAST);
    if (!item) continue;
    tree.SetItemData(item, reinterpret_cast<DWORD_PTR>(node));
    for (size_t i = node->m_children.size(); i-- > 0;) work.emplace_back(node->m_children[i], item);
  }
}

// ---- CXmlParser -------------------------------------------------------------------

CXmlParser::CXmlParser(char* text, CXmlItem* root) : m_pRoot(root), m_pCurrent(root) {
  if (!text) return;
  if (!root) {
    Stop(noRoot);
    return;
  }
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(kMaxDocumentBytes)) {
    Stop(noDocument);
    return;
  }
  m_pBuffer = text;
  m_nLength = static_cast<LONG>(n);
  m_nCapacity = m_nLength + 1;
  ParseBuffer();
  Reset();
}

CXmlParser::CXmlParser(const CXmlParser& other)
    : m_strTag(other.m_strTag),
      m_tagAttributes(other.m_tagAttributes),
      m_pRoot(other.m_pRoot),
      m_pCurrent(other.m_pCurrent),
      m_status(other.m_status),
      m_nStatusOffset(other.m_nStatusOffset) {}

CXmlParser& CXmlParser::operator=(const CXmlParser& other) {
  if (this == &other) return *this;
  m_strTag = other.m_strTag;
  m_tagAttributes = other.m_tagAttributes;
  m_pRoot = other.m_pRoot;
  m_pCurrent = other.m_pCurrent;
  m_status = other.m_status;
  m_nStatusOffset = other.m_nStatusOffset;
  return *this;
}

CXmlParser::~CXmlParser() {
  FreeStack();
  FreeBuffer();
}

void CXmlParser::FreeStack() {
  delete[] m_ppStack;
  m_ppStack = nullptr;
  m_nStackSize = 0;
  m_nTop = -1;
}

void CXmlParser::FreeBuffer() {
  if (m_pOwned && m_pBuffer == m_pOwned) m_pBuffer = nullptr;
  std::free(m_pOwned);
  m_pOwned = nullptr;
}

void CXmlParser::Reset() {
  m_pFile = nullptr;
  m_pBuffer = nullptr;
  m_nLength = 0;
  m_nCapacity = 0;
  m_nPos = 0;
  m_nTagEnd = 0;
  m_nDiscarded = 0;
  m_pCurrent = nullptr;
  FreeStack();
}

void CXmlParser::Stop(Status status) {
  m_status = status;
  m_nStatusOffset = m_nDiscarded + m_nPos;
}

const char* CXmlParser::StatusText(Status status) {
  switch (status) {
    case ok:
      return "the document was read to its end";
    case notParsed:
      return "nothing parsed";
    case noDocument:
      return "no document to read";
    case noDeclaration:
      return "the document does not start with <?xml";
    case unterminatedTag:
      return "a tag has no closing '>'";
    case unterminatedComment:
      return "a comment or CDATA section is not closed";
    case missingName:
      return "a start tag has no element name";
    case trailingText:
      return "text at the end is not followed by '<'";
    case unclosedElements:
      return "the document ends inside an element";
    case tooDeep:
      return "elements nest too deep";
    case noRoot:
      return "no root node";
    case nodeRefused:
      return "no node was made for an element";
    case busy:
      return "the parser is already parsing";
  }
  return "unknown";
}

CXmlItem* CXmlParser::CreateObj(CXmlItem* parent) {
  return new CXmlItem(parent);
}

bool CXmlParser::GetAbsPath(const char* rel, CString& out) {
  if (!rel) rel = "";
  if (!m_pFile) {
    out = rel;
    return true;
  }
  CString dir;
  GetPath(m_pFile->GetFilePath(), dir);
  return GetAbsPathName(dir, rel, out);
}

bool CXmlParser::ParseXml(CFile* file, CXmlItem* root) {
  if (m_bParsing) {
    // A nested parse would free the buffer the outer one is reading.
    m_status = busy;
    return false;
  }
  m_status = notParsed;
  m_nStatusOffset = 0;
  if (!file) {
    Stop(noDocument);
    return false;
  }
  if (!root) {
    Stop(noRoot);
    return false;
  }
  const ULONGLONG length = file->GetLength();
  const ULONGLONG position = file->GetPosition();
  const ULONGLONG remaining = length > position ? length - position : 0;
  if (remaining < 2 || remaining > static_cast<ULONGLONG>(kMaxDocumentBytes)) {
    Stop(noDocument);
    return false;
  }
  const LONG capacity = static_cast<LONG>(remaining) + 10;
  char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(capacity)));
  if (!buffer) {
    Stop(noDocument);
    return false;
  }
  m_pOwned = buffer;
  m_pBuffer = buffer;
  m_nCapacity = capacity;
  m_pFile = file;
  m_pRoot = root;
  m_pCurrent = root;
  try {
    LONG got = 0;
    while (got < static_cast<LONG>(remaining)) {
      const UINT n = m_pFile->Read(m_pBuffer + got, static_cast<UINT>(static_cast<LONG>(remaining) - got));
      if (n == 0) break;
      got += static_cast<LONG>(n);
    }
    m_nLength = got;
    m_pBuffer[got] = 0;

    bool accepted = got >= 2;
    if (!accepted) Stop(noDocument);
    // A UTF-8 byte order mark is no part of the document text.
    if (accepted && got >= 3 && std::memcmp(m_pBuffer, "\xEF\xBB\xBF", 3) == 0) m_nPos = 3;
    if (accepted) {
      // The first word within the first 126 bytes must begin with "<?xml";
      // a start of blanks only passes.
      const char* p = m_pBuffer + m_nPos;
      const char* end = p + std::min<LONG>(126, m_nLength - m_nPos);
      while (p < end && *p && IsBlank(static_cast<unsigned char>(*p))) ++p;
      if (p < end && *p) {
        const char* word = p;
        while (p < end && *p && !IsBlank(static_cast<unsigned char>(*p))) ++p;
        if (p - word < 5 || std::memcmp(word, "<?xml", 5) != 0) {
          accepted = false;
          Stop(noDeclaration);
        }
      }
    }
    if (accepted) ParseBuffer();
    FreeBuffer();
    Reset();
    return accepted;
  } catch (...) {
    FreeBuffer();
    Reset();
    m_bParsing = false;
    throw;
  }
}

bool CXmlParser::ParseXml(const char* path, CXmlItem* root) {
  CFile file;
  if (!path || !file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) {
    m_status = noDocument;
    m_nStatusOffset = 0;
    return false;
  }
  const bool result = ParseXml(&file, root);
  file.Close();
  return result;
}

bool CXmlParser::ParseBuffer() {
  m_bParsing = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{m_bParsing};
  return doParseXml();
}

int CXmlParser::getChar() {
  return SkipBlanks(m_pBuffer, m_nLength, m_nPos);
}

int CXmlParser::findChar(char ch) {
  return FindByte(m_pBuffer, m_nLength, m_nPos, ch);
}

char* CXmlParser::findTag(char* text, char ch) {
  return text ? std::strchr(text, ch) : nullptr;
}

int CXmlParser::findChars(const char* text) {
  if (!m_pBuffer) return -1;
  // Reads the next chunk of the source file behind the buffer, growing it
  // first when under a chunk is free; the bytes read, 0 at the end.
  auto readChunk = [this]() -> UINT {
    if (m_nCapacity - m_nLength - 1 < kChunkGrow) {
      if (m_nCapacity > INT_MAX - kChunkGrow) return 0;
      char* grown = static_cast<char*>(std::realloc(m_pOwned, static_cast<size_t>(m_nCapacity + kChunkGrow)));
      if (!grown) return 0;
      m_pOwned = m_pBuffer = grown;
      m_nCapacity += kChunkGrow;
    }
    const UINT got = m_pFile->Read(m_pBuffer + m_nLength, kChunkRead);
    m_nLength += static_cast<LONG>(got);
    m_pBuffer[m_nLength] = 0;
    return got;
  };
  // Only a buffer this parser allocated over an attached file can take more.
  const bool canRead = m_pFile && m_pOwned && m_pBuffer == m_pOwned;
  if (!text) {
    if (!canRead) return -1;
    readChunk();
    return 1;
  }
  const LONG n = static_cast<LONG>(std::strlen(text));
  auto search = [this, text, n](LONG from) -> int {
    for (LONG i = from; i + n <= m_nLength;) {
      const void* hit = std::memchr(m_pBuffer + i, static_cast<unsigned char>(text[0]),
                                    static_cast<size_t>(m_nLength - n - i + 1));
      if (!hit) return -1;
      i = static_cast<LONG>(static_cast<const char*>(hit) - m_pBuffer);
      if (std::memcmp(m_pBuffer + i, text, static_cast<size_t>(n)) == 0) return static_cast<int>(i + n);
      ++i;
    }
    return -1;
  };
  if (n == 0) return m_nPos;
  int found = search(m_nPos);
  if (found >= 0 || !canRead) return found;

  std::memmove(m_pBuffer, m_pBuffer + m_nPos, static_cast<size_t>(m_nLength - m_nPos) + 1);
  m_nDiscarded += m_nPos;
  m_nLength -= m_nPos;
  m_nTagEnd = m_nTagEnd >= m_nPos ? m_nTagEnd - m_nPos : 0;
  m_nPos = 0;
  for (;;) {
    const LONG from = m_nLength > n ? m_nLength - n : 0;
    if (readChunk() == 0) return -1;
    found = search(from);
    if (found >= 0) return found;
  }
}

void CXmlParser::pushObj(CXmlItem* item) {
  if (m_nTop + 1 >= m_nStackSize) {
    CXmlItem** grown = new CXmlItem*[static_cast<size_t>(m_nStackSize + kStackStep)];
    if (m_nTop >= 0) std::memcpy(grown, m_ppStack, sizeof(CXmlItem*) * static_cast<size_t>(m_nTop + 1));
    delete[] m_ppStack;
    m_ppStack = grown;
    m_nStackSize += kStackStep;
  }
  m_ppStack[++m_nTop] = item;
  m_pCurrent = item;
}

void CXmlParser::popObj(const char*) {
  // The closing tag's name is not compared: it closes the innermost element.
  if (m_nTop >= 0) --m_nTop;
  m_pCurrent = m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot;
}

CXmlItem* CXmlParser::getStackTop() {
  return m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot;
}

void CXmlParser::AppendText(char* text, size_t n, bool decode) {
  if (!m_pCurrent) return;
  // Blanks at the end of the run would be trimmed off the value at once.
  while (n > 0 && IsBlank(static_cast<unsigned char>(text[n - 1]))) --n;
  if (n == 0) return;
  // The run is read once: decode it where it lies, then copy it over whole.
  if (decode) n = DecodeInPlace(text, n);
  std::string& value = m_pCurrent->m_strValue.str();
  if (value.empty()) {
    value.assign(text, n);
  } else {
    value.append(text, n);
  }
  // The value was trimmed before, and the run ends in a non-blank; only a
  // decoded blank at the end or blanks at the start (CDATA) need the trim.
  if (IsBlank(static_cast<unsigned char>(value.front())) || IsBlank(static_cast<unsigned char>(value.back())))
    TrimBlanks(value);
}

bool CXmlParser::doParseXml() {
  if (!m_pBuffer) return false;
  m_nTop = -1;
  for (;;) {
    const int c = SkipBlanks(m_pBuffer, m_nLength, m_nPos);
    if (c < 0) {
      Stop(m_nTop >= 0 ? unclosedElements : ok);
      break;
    }
    if (c != '<') {
      const int next = FindByte(m_pBuffer, m_nLength, m_nPos, '<');
      if (next < 0) {
        Stop(trailingText);
        break;
      }
      AppendText(m_pBuffer + m_nPos, static_cast<size_t>(next - m_nPos), true);
      m_nPos = next;
      continue;
    }
    // Comments and CDATA sections may hold '>': they end at their own
    // closing marks, looked for before the next '>'.
    const char* p = m_pBuffer + m_nPos;
    const LONG left = m_nLength - m_nPos;
    const LONG start = m_nPos;
    const LONG discarded = m_nDiscarded;         // findChars may move the unread bytes to the front
    const bool bang = left >= 2 && p[1] == '!';  // most tags are none of these
    if (bang && left >= 4 && std::memcmp(p, "<!--", 4) == 0) {
      m_nPos += 4;
      const int end = findChars("-->");
      if (end < 0) {
        if (m_nDiscarded == discarded) m_nPos = start;
        Stop(unterminatedComment);
        break;
      }
      m_nPos = end;
      continue;
    }
    if (bang && left >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) {
      m_nPos += 9;
      const int end = findChars("]]>");
      if (end < 0) {
        if (m_nDiscarded == discarded) m_nPos = start;
        Stop(unterminatedComment);
        break;
      }
      AppendText(m_pBuffer + m_nPos, static_cast<size_t>(end - 3 - m_nPos), false);
      m_nPos = end;
      continue;
    }
    const int tagEnd = FindByte(m_pBuffer, m_nLength, m_nPos, '>');
    if (tagEnd < 0) {
      Stop(unterminatedTag);
      break;
    }
    if (bang && left >= 9 && std::memcmp(p, "<!DOCTYPE", 9) == 0) {
      // An internal subset in brackets holds declarations with '>' of their own.
      const void* bracket = std::memchr(p, '[', static_cast<size_t>(tagEnd - m_nPos));
      if (bracket) {
        m_nPos = static_cast<LONG>(static_cast<const char*>(bracket) - m_pBuffer) + 1;
        const int close = findChars("]");
        const int end = close < 0 ? -1 : (m_nPos = close, findChar('>'));
        if (end < 0) {
          if (m_nDiscarded == discarded) m_nPos = start;
          Stop(unterminatedTag);
          break;
        }
        m_nPos = end + 1;
        continue;
      }
    }
    m_nTagEnd = tagEnd;
    if (!parseTag()) break;
  }
  FreeStack();
  return true;
}

bool CXmlParser::parseTag() {
  char* tag = m_pBuffer + m_nPos;
  const LONG tagLength = m_nTagEnd - m_nPos;  // from '<' up to, not including, '>'
  const LONG tagStart = m_nPos;
  m_pBuffer[m_nTagEnd] = 0;
  m_nPos = m_nTagEnd + 1;

  if (tag[1] == '/') {
    char* name = tag + 2;
    while (IsBlank(static_cast<unsigned char>(*name))) ++name;
    char* end = name + std::strlen(name);
    while (end > name && IsBlank(static_cast<unsigned char>(end[-1]))) --end;
    *end = 0;
    popObj(name);
    return true;
  }
  if (tag[1] == '?' || tag[1] == '!') return true;

  const bool selfClosing = tagLength >= 2 && tag[tagLength - 1] == '/';
  if (selfClosing) tag[tagLength - 1] = 0;

  char* p = tag + 1;
  while (*p && IsBlank(static_cast<unsigned char>(*p))) ++p;
  if (!*p) {
    m_nPos = tagStart;
    Stop(missingName);
    return false;
  }
  char* name = p;
  while (*p && !IsBlank(static_cast<unsigned char>(*p))) ++p;
  const size_t nameLength = static_cast<size_t>(p - name);
  if (*p) *p++ = 0;

  if (!selfClosing && m_nTop + 1 >= kMaxDepth) {
    m_nPos = tagStart;
    Stop(tooDeep);
    return false;
  }
  m_tagAttributes.Empty();
  parseAttributes(p, m_tagAttributes);
  // clear and append: cheaper than assign, which must allow for overlap.
  m_strTag.str().clear();
  m_strTag.str().append(name, nameLength);
  CXmlItem* item = CreateObj(m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot);  // getStackTop()
  if (!item) {
    m_nPos = tagStart;
    Stop(nodeRefused);
    return false;
  }
  item->m_strName.str().clear();
  item->m_strName.str().append(name, nameLength);
  if (typeid(*item) == typeid(CXmlItem)) {
    // The plain node's SetAttributes would copy the scratch, which is then
    // emptied: move the entries over instead, into an array of just their
    // number. The scratch keeps its room for the next tag; the node's array
    // is as small as it can be, which the heap hands out and takes back
    // fastest (handing the scratch itself over measured slower).
    std::vector<CString>& from = m_tagAttributes.m_data;
    std::vector<CString>& to = item->m_attributes.m_data;
    if (!from.empty() && to.empty()) {
      to.reserve(from.size());
      for (CString& entry : from) to.emplace_back(std::move(entry));
    } else if (!from.empty()) {
      item->SetAttributes(m_tagAttributes);
    }
  } else {
    item->SetAttributes(m_tagAttributes);
  }
  m_tagAttributes.Empty();
  if (!selfClosing) pushObj(item);
  return true;
}

void CXmlParser::parseAttributes(char* text, CXmlAttributes& attrs) {
  if (!text) return;
  std::unique_ptr<std::unordered_map<std::string, int>> index;
  char* p = text;
  for (;;) {
    while (*p && IsBlank(static_cast<unsigned char>(*p))) ++p;
    if (!*p) return;
    char* name = p;
    char* eq = findTag(p, '=');
    if (!eq) return;  // a name without '=' and whatever follows are ignored
    char* nameEnd = eq;
    while (nameEnd > name && IsBlank(static_cast<unsigned char>(nameEnd[-1]))) --nameEnd;
    *nameEnd = 0;
    const size_t nameLength = static_cast<size_t>(nameEnd - name);
    p = eq + 1;
    while (*p && IsBlank(static_cast<unsigned char>(*p))) ++p;

    char* value;
    bool reference = false;  // an '&' in the value: decode it
    if (*p == '\'' || *p == '"') {
      // Only the quote that opened the value closes it, unless a backslash
      // precedes it (the backslash stays in the value).
      const char quote = *p;
      value = ++p;
      for (char ch; (ch = *p) != 0; ++p) {
        if (ch == quote && p[-1] != '\\') break;
        reference |= ch == '&';
      }
    } else {
      value = p;
      for (char ch; (ch = *p) != 0 && !IsBlank(static_cast<unsigned char>(ch)); ++p) reference |= ch == '&';
    }
    char* valueEnd = p;
    if (*p) *p++ = 0;
    while (valueEnd > value && IsBlank(static_cast<unsigned char>(valueEnd[-1]))) --valueEnd;
    *valueEnd = 0;
    size_t valueLength = static_cast<size_t>(valueEnd - value);
    if (reference) valueLength = DecodeInPlace(value, valueLength);
    // Make the entry one run of the buffer, "name=value", by moving the value
    // down behind the name; those bytes have been read already.
    char* entry = name;
    entry[nameLength] = '=';
    if (value != entry + nameLength + 1) std::memmove(entry + nameLength + 1, value, valueLength);
    const size_t entryLength = nameLength + 1 + valueLength;

    if (!index && attrs.GetCount() < kAttributeIndexFrom) {
      attrs.SetEntry(entry, nameLength, entryLength);
      continue;
    }
    if (!index) {
      index.reset(new std::unordered_map<std::string, int>());
      for (int i = 0; i < attrs.GetCount(); ++i) {
        const char* known = attrs.GetAt(i);
        const char* sep = std::strchr(known, '=');
        index->emplace(LowerName(known, static_cast<size_t>(sep - known)), i);
      }
    }
    auto hit = index->emplace(LowerName(name, nameLength), attrs.GetCount());
    if (hit.second) {
      attrs.m_data.emplace_back(entry, static_cast<int>(entryLength));
    } else {
      attrs.m_data[static_cast<size_t>(hit.first->second)].str().assign(entry, entryLength);
    }
  }
}
