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
#include <unordered_set>
#include <utility>
#include <vector>

#include "vdkit/core/path.h"
#include "vdkit/core/text_internal.h"
#include "vdkit/platform/tree_ctrl.h"
#include "vdkit/xml/xml_memory_internal.h"

using detail::EqualNoCaseN;
using detail::FoldAscii;
using detail::XmlDocument;
using detail::XmlDocumentOf;

namespace {

// Blanks of the grammar.
inline bool IsBlank(unsigned char c) {
  // One test against a bit mask instead of four compares: this runs for
  // nearly every byte between tags.
  constexpr uint64_t kBlanks =
      (UINT64_C(1) << ' ') | (UINT64_C(1) << '\t') | (UINT64_C(1) << '\n') | (UINT64_C(1) << '\r');
  return c <= ' ' && ((kBlanks >> c) & 1) != 0;
}

// Where the scans of a tag stop, one table lookup per byte: the bits of
// each byte's class.
enum : unsigned char {
  kEndsName = 1,      // a blank or the terminator: the end of an element name
  kEndsAttrName = 2,  // '=' or the terminator
  kStopsQuoted = 4,   // a quote, '&' or the terminator: looked at in a quoted value
  kStopsBare = 8,     // a blank, '&' or the terminator: looked at in an unquoted value
};

struct ByteClasses {
  unsigned char of[256] = {};
  constexpr ByteClasses() {
    for (unsigned char c : {' ', '\t', '\n', '\r'}) of[c] |= kEndsName | kStopsBare;
    of[0] |= kEndsName | kEndsAttrName | kStopsQuoted | kStopsBare;
    of[static_cast<unsigned char>('=')] |= kEndsAttrName;
    of[static_cast<unsigned char>('\'')] |= kStopsQuoted;
    of[static_cast<unsigned char>('"')] |= kStopsQuoted;
    of[static_cast<unsigned char>('&')] |= kStopsQuoted | kStopsBare;
  }
};
constexpr ByteClasses kByteClasses;

// The first byte at or after p whose class has one of `bits` (the
// terminator has them all). Four bytes a turn; none is read past the first
// that stops.
inline char* SkipTo(char* p, unsigned char bits) {
  const unsigned char* of = kByteClasses.of;
  for (;; p += 4) {
    if (of[static_cast<unsigned char>(p[0])] & bits) return p;
    if (of[static_cast<unsigned char>(p[1])] & bits) return p + 1;
    if (of[static_cast<unsigned char>(p[2])] & bits) return p + 2;
    if (of[static_cast<unsigned char>(p[3])] & bits) return p + 3;
  }
}

// Moves a word of `from` to `to`, read whole before it is written, and
// steps both past it.
template <class Word>
inline void MoveWord(char*& to, const char*& from) {
  Word w;
  std::memcpy(&w, from, sizeof w);
  std::memcpy(to, &w, sizeof w);
  to += sizeof w;
  from += sizeof w;
}

// Moves n bytes down to `to` (at or before `from`), a word at a time, so an
// overlap is safe. Texts moved here are short: this spares a call each.
inline void MoveDown(char* to, const char* from, size_t n) {
  for (; n >= 8; n -= 8) MoveWord<uint64_t>(to, from);
  if (n & 4) MoveWord<uint32_t>(to, from);
  if (n & 2) MoveWord<uint16_t>(to, from);
  if (n & 1) *to = *from;
}

// The entry "name=value" has the name `name` (of length n).
inline bool EntryHasName(const CString& entry, const char* name, size_t n) {
  const std::string& s = entry.str();
  return s.size() > n && s[n] == '=' && EqualNoCaseN(s.data(), name, n);
}

// The document may hold more than a LONG can count, and findChars grows the
// buffer in 1 KiB steps; keep well clear of the limit.
constexpr LONG kMaxDocumentBytes = INT_MAX - (1 << 20);
constexpr LONG kChunkGrow = 1024;  // findChars grows the buffer by this much...
constexpr UINT kChunkRead = 1020;  // ...and reads this much at a time

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = FoldAscii(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
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

// Name part of a "name=value" entry, ASCII case folded: the key of the
// indexes kept for tags with many attributes.
std::string FoldedName(const char* name, size_t n) {
  std::string key(name, n);
  for (char& c : key) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return key;
}

// Room for this many children is made at the first child; most elements
// that have children have a few.
constexpr int kFirstChildBlock = 10;

// Below this many attributes a linear search for repeated names is cheaper
// than an index; above it the index keeps a hostile tag from costing n^2.
constexpr int kAttributeIndexFrom = 16;

// What a node's name and value are before anything is set.
const char kEmpty[] = "";

// The na bytes of a, the nb bytes of b and a terminator, from the heap.
char* CopyText(const char* a, size_t na, const char* b = nullptr, size_t nb = 0) {
  char* copy = new char[na + nb + 1];
  if (na) std::memcpy(copy, a, na);
  if (nb) std::memcpy(copy + na, b, nb);
  copy[na + nb] = 0;
  return copy;
}

// getChar and findChar are exported (subclasses call them), and so cannot
// be inlined into the parse loop; these are their bodies.

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

void CXmlAttributes::SetEntries(const char* entries, int count) {
  std::unique_ptr<std::unordered_map<std::string, size_t>> index;
  if (m_data.size() + static_cast<size_t>(count) >= static_cast<size_t>(kAttributeIndexFrom)) {
    index.reset(new std::unordered_map<std::string, size_t>());
    for (size_t i = 0; i < m_data.size(); ++i) {
      const std::string& known = m_data[i].str();
      index->emplace(FoldedName(known.data(), std::min(known.find('='), known.size())), i);
    }
  }
  m_data.reserve(m_data.size() + static_cast<size_t>(count));
  const char* e = entries;
  for (int i = 0; i < count; ++i) {
    const size_t length = std::strlen(e);
    const char* eq = static_cast<const char*>(std::memchr(e, '=', length));
    const size_t nameLength = eq ? static_cast<size_t>(eq - e) : length;
    if (!index) {
      SetEntry(e, nameLength, length);
    } else {
      auto hit = index->emplace(FoldedName(e, nameLength), m_data.size());
      if (hit.second) {
        m_data.emplace_back(e, static_cast<int>(length));
      } else {
        m_data[hit.first->second].str().assign(e, length);
      }
    }
    e += length + 1;
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

// ---- CXmlItem: memory ------------------------------------------------------------

void* CXmlItem::operator new(size_t size) {
  void* node = detail::CarveXmlNode(size);
  if (!node) throw std::bad_alloc();
  return node;
}

void* CXmlItem::operator new(size_t size, const std::nothrow_t&) noexcept {
  return detail::CarveXmlNode(size);
}

void* CXmlItem::operator new(size_t size, std::align_val_t align) {
  return ::operator new(size, align);
}

void CXmlItem::operator delete(void* p) noexcept {
  if (p) detail::ReleaseXmlNode(p);
}

void CXmlItem::operator delete(void* p, const std::nothrow_t&) noexcept {
  if (p) detail::ReleaseXmlNode(p);
}

void CXmlItem::operator delete(void* p, std::align_val_t align) noexcept {
  ::operator delete(p, align);
}

// ---- CXmlItem ---------------------------------------------------------------------
//
// A parsed node borrows its name, value and attributes from its document
// until it is changed; then it takes copies of its own from the heap. The
// document counts its nodes that must be destroyed one by one (kDirty), so
// that DeleteAll can tell when a whole tree may go without a visit.

CXmlItem::CXmlItem(CXmlItem* parent) : m_pszName(kEmpty), m_pszValue(kEmpty), m_pszEntries(nullptr) {
  if (parent) parent->Append(this);
}

CXmlItem::~CXmlItem() {
  // DeleteAll empties the children of each node it deletes, so nearly every
  // node gets here without children.
  if (m_nChildren) DeleteAll();
  if (m_nFlags & kHeapList) delete[] m_ppChildren;
  FreeText(m_pszName, kOwnName);
  FreeText(m_pszValue, kOwnValue);
  if (m_nFlags & kOwnAttrs) delete m_pAttributes;
  if (m_nFlags & kParsed) {
    XmlDocument* doc = XmlDocumentOf(this);
    if (m_nFlags & kTop) doc->m_tops.fetch_sub(1, std::memory_order_acq_rel);
    if (m_nFlags & kDirty) doc->m_dirty.fetch_sub(1, std::memory_order_acq_rel);
  }
}

void CXmlItem::MarkDirty() {
  if ((m_nFlags & (kParsed | kDirty)) != kParsed) return;
  m_nFlags |= kDirty;
  XmlDocumentOf(this)->m_dirty.fetch_add(1, std::memory_order_acq_rel);
}

void CXmlItem::FreeText(const char* text, uint32_t ownFlag) {
  if (m_nFlags & ownFlag) delete[] text;
}

void CXmlItem::SetText(const char*& field, uint32_t ownFlag, const char* text, size_t n) {
  // The copy is made first: `text` may be the field's own.
  const char* copy = n ? CopyText(text, n) : kEmpty;
  FreeText(field, ownFlag);
  field = copy;
  if (!n) {
    m_nFlags &= ~ownFlag;
    return;
  }
  m_nFlags |= ownFlag;
  MarkDirty();
}

void CXmlItem::SetName(const char* name) {
  if (!name) name = "";
  SetText(m_pszName, kOwnName, name, std::strlen(name));
}

void CXmlItem::SetValue(const char* value) {
  if (!value) value = "";
  SetText(m_pszValue, kOwnValue, value, std::strlen(value));
}

CXmlAttributes& CXmlItem::OwnAttributes() {
  if (!(m_nFlags & kOwnAttrs)) {
    std::unique_ptr<CXmlAttributes> own(new CXmlAttributes);
    if (m_nEntries) own->SetEntries(m_pszEntries, m_nEntries);
    m_pAttributes = own.release();
    m_nEntries = 0;
    m_nFlags |= kOwnAttrs;
    MarkDirty();
  }
  return *m_pAttributes;
}

CXmlAttributes& CXmlItem::GetAttributes() {
  return OwnAttributes();
}

void CXmlItem::SetAttributesOwned(CXmlAttributes&& attrs) {
  if (m_nFlags & kOwnAttrs) {
    *m_pAttributes = std::move(attrs);
    return;
  }
  m_pAttributes = new CXmlAttributes(std::move(attrs));
  m_nEntries = 0;
  m_nFlags |= kOwnAttrs;
  MarkDirty();
}

void CXmlItem::SetAttributes(CXmlAttributes& attrs) {
  if (m_nFlags & kOwnAttrs) {
    *m_pAttributes = attrs;
  } else {
    SetAttributesOwned(CXmlAttributes(attrs));
  }
}

template <class F>
void CXmlItem::ForEachEntry(F&& f) const {
  if (m_nFlags & kOwnAttrs) {
    for (int i = 0; i < m_pAttributes->GetCount(); ++i) f(m_pAttributes->GetAt(i));
    return;
  }
  const char* e = m_pszEntries;
  for (int i = 0; i < m_nEntries; ++i, e += std::strlen(e) + 1) f(e);
}

const char* CXmlItem::GetA(const char* name) const {
  if (!name) name = "";
  if (m_nFlags & kOwnAttrs) return m_pAttributes->Get(name);
  const size_t n = std::strlen(name);
  const char* e = m_pszEntries;
  for (int i = 0; i < m_nEntries; ++i) {
    // An entry shorter than the name differs from it at its terminator.
    if (EqualNoCaseN(e, name, n) && e[n] == '=') return e + n + 1;
    e += std::strlen(e) + 1;
  }
  return nullptr;
}

bool CXmlItem::Serialize(CXmlArchive&, CXmlItem*) {
  return true;
}

// ---- CXmlItem: children ----------------------------------------------------------------

bool CXmlItem::Grow() {
  if (m_nCapacity > INT_MAX / 2) return false;
  const int capacity = m_nCapacity ? 2 * m_nCapacity : kFirstChildBlock;
  const size_t bytes = sizeof(CXmlItem*) * static_cast<size_t>(capacity);
  const size_t oldBytes = sizeof(CXmlItem*) * static_cast<size_t>(m_nCapacity);
  CXmlItem** grown = nullptr;
  // While this node's document is being parsed, its lists come from the
  // document too, and go with it.
  const bool fromDocument =
      (m_nFlags & (kParsed | kHeapList)) == kParsed && XmlDocument::Current() == XmlDocumentOf(this);
  if (fromDocument) {
    grown = static_cast<CXmlItem**>(XmlDocumentOf(this)->CarveList(bytes));
  } else {
    grown = new (std::nothrow) CXmlItem*[static_cast<size_t>(capacity)];
  }
  if (!grown) return false;
  if (m_nChildren) std::memcpy(grown, m_ppChildren, sizeof(CXmlItem*) * static_cast<size_t>(m_nChildren));
  if (m_nFlags & kHeapList) {
    delete[] m_ppChildren;
  } else if (m_ppChildren) {
    XmlDocument::DropList(m_ppChildren, oldBytes);
  }
  m_ppChildren = grown;
  m_nCapacity = capacity;
  if (!fromDocument) {
    m_nFlags |= kHeapList;
    MarkDirty();
  }
  return true;
}

void CXmlItem::Append(CXmlItem* child) {
  if (m_nChildren == m_nCapacity && !Grow()) throw std::bad_alloc();
  m_ppChildren[m_nChildren++] = child;
  // A parsed node may hold only the nodes its parse makes; a child from
  // elsewhere must be destroyed on its own.
  if ((m_nFlags & kParsed) && !XmlDocumentOf(this)->IsLastCarved(child)) MarkDirty();
}

CXmlItem* CXmlItem::GetChild(int i) const {
  if (i < 0 || i >= m_nChildren) return nullptr;
  return m_ppChildren[i];
}

CXmlItem* CXmlItem::GetChild(const char* name) const {
  if (!name) return nullptr;
  const unsigned char first = FoldAscii(static_cast<unsigned char>(name[0]));
  for (int i = 0; i < m_nChildren; ++i) {
    const char* own = m_ppChildren[i]->m_pszName;
    if (FoldAscii(static_cast<unsigned char>(own[0])) == first && detail::EqualNoCase(own, name))
      return m_ppChildren[i];
  }
  return nullptr;
}

void CXmlItem::RemoveAt(int i) {
  if (i < 0 || i >= m_nChildren) return;
  CXmlItem* child = m_ppChildren[i];
  std::memmove(m_ppChildren + i, m_ppChildren + i + 1,
               sizeof(CXmlItem*) * static_cast<size_t>(m_nChildren - i - 1));
  --m_nChildren;
  // A parsed node's parent was of its document, or it was a top already:
  // now it heads a tree of its own.
  if ((child->m_nFlags & (kParsed | kTop)) == kParsed) {
    child->m_nFlags |= kTop;
    XmlDocumentOf(child)->m_tops.fetch_add(1, std::memory_order_acq_rel);
  }
}

namespace {

// Gives back parsed nodes whose destructors have nothing to do, a document
// at a time.
class NodeReturn {
 public:
  ~NodeReturn() { Flush(); }
  void Add(XmlDocument* doc) {
    if (doc != m_pDoc) {
      Flush();
      m_pDoc = doc;
    }
    ++m_nCount;
  }
  void Flush() {
    // The nodes counted are still live in their document: none of them can
    // free it before this.
    if (m_nCount) m_pDoc->Release(m_nCount);
    m_nCount = 0;
  }

 private:
  XmlDocument* m_pDoc = nullptr;
  int64_t m_nCount = 0;
};

}  // namespace

void CXmlItem::DeleteAll() {
  if (!m_nChildren) return;
  CXmlItem** list = m_ppChildren;
  const int count = m_nChildren;
  const size_t listBytes = sizeof(CXmlItem*) * static_cast<size_t>(m_nCapacity);
  const bool heapList = (m_nFlags & kHeapList) != 0;
  m_ppChildren = nullptr;
  m_nChildren = m_nCapacity = 0;
  m_nFlags &= ~kHeapList;

  // Documents that go whole: every live node of one lies in the trees of
  // the tops among these children (a top heads each tree of a document),
  // and none of them needs its destructor run. A few documents are
  // considered; more are freed node by node.
  struct Whole {
    XmlDocument* doc;
    int tops;
  };
  Whole whole[4];
  int wholeCount = 0;
  for (int i = 0; i < count; ++i) {
    if (!(list[i]->m_nFlags & kTop)) continue;
    XmlDocument* doc = XmlDocumentOf(list[i]);
    int w = 0;
    while (w < wholeCount && whole[w].doc != doc) ++w;
    if (w == wholeCount) {
      if (wholeCount == 4) continue;
      whole[wholeCount++] = {doc, 0};
    }
    ++whole[w].tops;
  }
  int dropCount = 0;
  for (int w = 0; w < wholeCount; ++w) {
    XmlDocument* doc = whole[w].doc;
    if (doc->m_bExact && doc->m_dirty.load(std::memory_order_acquire) == 0 &&
        doc->m_tops.load(std::memory_order_acquire) == whole[w].tops)
      whole[dropCount++] = whole[w];
  }
  auto dropped = [&](const CXmlItem* item) {
    if (!dropCount || !(item->m_nFlags & kTop)) return false;
    XmlDocument* doc = XmlDocumentOf(item);
    for (int w = 0; w < dropCount; ++w) {
      if (whole[w].doc == doc) return true;
    }
    return false;
  };

  // The rest node by node, without recursion: each node's children are
  // taken out before it goes, so its own destructor finds none. A parsed
  // node that nothing made dirty has a destructor with nothing to do: it is
  // only given back to its document.
  std::vector<CXmlItem*> pending;
  NodeReturn back;
  auto destroy = [&pending, &back](CXmlItem* item) {
    if (item->m_nChildren) {
      pending.insert(pending.end(), item->m_ppChildren, item->m_ppChildren + item->m_nChildren);
      if (item->m_nFlags & kHeapList) {
        delete[] item->m_ppChildren;
      } else {
        XmlDocument::DropList(item->m_ppChildren, sizeof(CXmlItem*) * static_cast<size_t>(item->m_nCapacity));
      }
      item->m_ppChildren = nullptr;
      item->m_nChildren = item->m_nCapacity = 0;
      item->m_nFlags &= ~kHeapList;
    }
    if ((item->m_nFlags & (kParsed | kDirty)) != kParsed) {
      delete item;
      return;
    }
    XmlDocument* doc = XmlDocumentOf(item);
    if (item->m_nFlags & kTop) doc->m_tops.fetch_sub(1, std::memory_order_acq_rel);
    detail::PoisonXmlNode(item);
    back.Add(doc);
  };
  for (int i = 0; i < count; ++i) {
    if (!dropped(list[i])) destroy(list[i]);
  }
  while (!pending.empty()) {
    CXmlItem* item = pending.back();
    pending.pop_back();
    destroy(item);
  }
  back.Flush();
  for (int w = 0; w < dropCount; ++w) whole[w].doc->Drop();
  if (heapList) {
    delete[] list;
  } else {
    XmlDocument::DropList(list, listBytes);
  }
}

CXmlItem& CXmlItem::operator=(const CXmlItem& other) {
  if (this == &other) return *this;
  // Copy everything before deleting anything: `other` may lie in this
  // node's subtree (and its document go with it). The walk keeps (source,
  // copy's parent) pairs; children go on in reverse so that they come off,
  // and are appended, in order.
  auto copyInto = [](CXmlItem& to, const CXmlItem& from) {
    to.SetName(from.m_pszName);
    to.SetValue(from.m_pszValue);
    CXmlAttributes attrs;
    from.ForEachEntry([&attrs](const char* e) {
      const char* eq = std::strchr(e, '=');
      const size_t length = std::strlen(e);
      attrs.SetEntry(e, eq ? static_cast<size_t>(eq - e) : length, length);
    });
    to.SetAttributesOwned(std::move(attrs));
    to.m_nLoaded = from.m_nLoaded;
  };
  CXmlItem holder(nullptr);
  copyInto(holder, other);
  std::vector<std::pair<const CXmlItem*, CXmlItem*>> work;
  for (int i = other.m_nChildren; i-- > 0;) work.emplace_back(other.m_ppChildren[i], &holder);
  while (!work.empty()) {
    const CXmlItem* src = work.back().first;
    CXmlItem* parent = work.back().second;
    work.pop_back();
    CXmlItem* copy = new CXmlItem(parent);
    copyInto(*copy, *src);
    for (int i = src->m_nChildren; i-- > 0;) work.emplace_back(src->m_ppChildren[i], copy);
  }

  DeleteAll();
  // Take over the holder's copies, its list of children included.
  SetName(holder.m_pszName);
  SetValue(holder.m_pszValue);
  SetAttributesOwned(std::move(*holder.m_pAttributes));
  m_nLoaded = holder.m_nLoaded;
  if (m_nFlags & kHeapList) delete[] m_ppChildren;
  m_ppChildren = holder.m_ppChildren;
  m_nChildren = holder.m_nChildren;
  m_nCapacity = holder.m_nCapacity;
  if (holder.m_nFlags & kHeapList) {
    m_nFlags |= kHeapList;
    MarkDirty();
  } else {
    m_nFlags &= ~kHeapList;
  }
  holder.m_ppChildren = nullptr;
  holder.m_nChildren = holder.m_nCapacity = 0;
  holder.m_nFlags &= ~kHeapList;
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
    CString text = node->m_pszName;
    bool first = true;
    node->ForEachEntry([&text, &first](const char* e) {
      text += first ? '[' : ' ';
      text += e;
      first = false;
    });
    if (!first) text += "] ";
    const HTREEITEM item = tree.InsertItem(text, under ? under : TVI_ROOT, TVI_LAST);
    if (!item) continue;
    tree.SetItemData(item, reinterpret_cast<DWORD_PTR>(node));
    for (int i = node->m_nChildren; i-- > 0;) work.emplace_back(node->m_ppChildren[i], item);
  }
}

// ---- CXmlParser -------------------------------------------------------------------

const CXmlParser::PlainKind CXmlParser::kPlainKind = {
    &typeid(CXmlParser), &typeid(CXmlItem), sizeof(CXmlItem),
    [](void* where, CXmlItem* parent) -> CXmlItem* { return new (where) CXmlItem(parent); }};

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
  char* copy = NewBuffer(n + 1);
  if (!copy) {
    Stop(noDocument);
    return;
  }
  std::memcpy(copy, text, n + 1);
  m_pBuffer = copy;
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
  EndDocument();
}

void CXmlParser::FreeStack() {
  delete[] m_ppStack;
  m_ppStack = nullptr;
  m_nStackSize = 0;
  m_nTop = -1;
}

char* CXmlParser::NewBuffer(size_t bytes) {
  if (!m_pDocument) m_pDocument = XmlDocument::Create();
  m_pOwned = m_pDocument ? m_pDocument->AllocText(bytes) : nullptr;
  return m_pOwned;
}

void CXmlParser::EndDocument() {
  if (!m_pDocument) return;
  m_pDocument->Finish();
  m_pDocument = nullptr;
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
    // A nested parse would replace the buffer the outer one is reading.
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
  char* buffer = NewBuffer(static_cast<size_t>(capacity));
  if (!buffer) {
    EndDocument();
    Stop(noDocument);
    return false;
  }
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
    EndDocument();
    Reset();
    return accepted;
  } catch (...) {
    EndDocument();
    Reset();
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
  // The file was only read, and all of it: a failure to close it loses
  // nothing, and the tree stands.
  try {
    file.Close();
  } catch (CFileException* e) {
    e->Delete();
  }
  return result;
}

bool CXmlParser::ParseBuffer() {
  // Nodes made meanwhile on this thread are carved from the document, and
  // the document is done with the parse, however it ends.
  struct Done {
    CXmlParser& parser;
    ~Done() {
      if (parser.m_pDocument) parser.m_pDocument->Leave();
      parser.EndDocument();
      parser.m_bParsing = false;
    }
  } done{*this};
  m_bParsing = true;
  if (m_pDocument) m_pDocument->Enter();
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

bool CXmlParser::MoveUnread(LONG capacity) {
  // The bytes before the position may hold what nodes borrow: they stay
  // where they are, and reading goes on in a new buffer.
  char* moved = NewBuffer(static_cast<size_t>(capacity));
  if (!moved) return false;
  std::memcpy(moved, m_pBuffer + m_nPos, static_cast<size_t>(m_nLength - m_nPos) + 1);
  m_pBuffer = moved;
  m_nCapacity = capacity;
  m_nDiscarded += m_nPos;
  m_nLength -= m_nPos;
  m_nTagEnd = m_nTagEnd >= m_nPos ? m_nTagEnd - m_nPos : 0;
  m_nPos = 0;
  return true;
}

int CXmlParser::findChars(const char* text) {
  if (!m_pBuffer) return -1;
  // Reads the next chunk of the source file behind the buffer, moving to a
  // larger buffer first when under a chunk is free; the bytes read, 0 at
  // the end.
  auto readChunk = [this]() -> UINT {
    if (m_nCapacity - m_nLength - 1 < kChunkGrow) {
      const LONG unread = m_nLength - m_nPos;
      if (unread > INT_MAX / 2 - kChunkGrow) return 0;
      if (!MoveUnread(std::max<LONG>(2 * unread, unread + kChunkGrow) + 1)) return 0;
    }
    const UINT got = m_pFile->Read(m_pBuffer + m_nLength, kChunkRead);
    m_nLength += static_cast<LONG>(got);
    m_pBuffer[m_nLength] = 0;
    return got;
  };
  // Only a buffer this parser made over an attached file can take more.
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

  if (!MoveUnread(m_nLength - m_nPos + kChunkGrow + 1)) return -1;
  for (;;) {
    const LONG from = m_nLength > n ? m_nLength - n : 0;
    if (readChunk() == 0) return -1;
    found = search(from);
    if (found >= 0) return found;
  }
}

void CXmlParser::pushObj(CXmlItem* item) {
  Push(item);
}

void CXmlParser::popObj(const char*) {
  Pop();
}

inline void CXmlParser::Push(CXmlItem* item) {
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

inline void CXmlParser::Pop() {
  // The closing tag's name is not compared: it closes the innermost element.
  if (m_nTop >= 0) --m_nTop;
  m_pCurrent = m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot;
}

CXmlItem* CXmlParser::getStackTop() {
  return m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot;
}

void CXmlParser::AppendText(char* text, size_t n, bool cdata) {
  CXmlItem* item = m_pCurrent;
  if (!item) return;
  // Only the blanks of the document are trimmed, not those written as
  // references: a text run comes here without the blanks before it.
  while (n > 0 && IsBlank(static_cast<unsigned char>(text[n - 1]))) --n;
  const bool first = !*item->m_pszValue;
  if (cdata && first) {
    while (n > 0 && IsBlank(static_cast<unsigned char>(*text))) ++text, --n;
  }
  if (n == 0) return;
  if (!cdata) n = DecodeInPlace(text, n);
  if (first && (item->m_nFlags & CXmlItem::kParsed) && XmlDocumentOf(item) == m_pDocument) {
    // The node borrows the run where it lies; its terminator takes the
    // place of the first byte after it (at most the '<' that follows).
    text[n] = 0;
    item->FreeText(item->m_pszValue, CXmlItem::kOwnValue);
    item->m_nFlags &= ~CXmlItem::kOwnValue;
    item->m_pszValue = text;
    return;
  }
  // Text split by child elements is joined: the value becomes a copy.
  const char* old = item->m_pszValue;
  const char* joined = CopyText(old, std::strlen(old), text, n);
  item->FreeText(old, CXmlItem::kOwnValue);
  item->m_pszValue = joined;
  item->m_nFlags |= CXmlItem::kOwnValue;
  item->MarkDirty();
}

bool CXmlParser::doParseXml() {
  if (!m_pBuffer) return false;
  m_nTop = -1;
  m_nTextEnd = -1;
  // The parse makes plain nodes itself when this parser's class is one that
  // only makes them.
  m_pPlace = m_pDocument && typeid(*this) == *m_pPlain->parser ? m_pPlain : nullptr;
  for (;;) {
    const int c = SkipBlanks(m_pBuffer, m_nLength, m_nPos);
    if (c < 0) {
      Stop(m_nTop >= 0 ? unclosedElements : ok);
      break;
    }
    if (c != '<' && m_nPos != m_nTextEnd) {
      const int next = FindByte(m_pBuffer, m_nLength, m_nPos, '<');
      if (next < 0) {
        Stop(trailingText);
        break;
      }
      AppendText(m_pBuffer + m_nPos, static_cast<size_t>(next - m_nPos), false);
      if (m_pBuffer[next] != '<') m_nTextEnd = next;
      m_nPos = next;
      continue;
    }
    m_nTextEnd = -1;
    // From here the tag's first byte is not read: a value's terminator may
    // have taken the place of its '<'.
    //
    // Comments and CDATA sections may hold '>': they end at their own
    // closing marks, looked for before the next '>'.
    const char* p = m_pBuffer + m_nPos;
    const LONG left = m_nLength - m_nPos;
    const LONG start = m_nPos;
    const LONG discarded = m_nDiscarded;         // findChars may move the unread bytes to a new buffer
    const bool bang = left >= 2 && p[1] == '!';  // most tags are none of these
    // Stops where the construct began, however far the bytes moved.
    auto stopAtStart = [this, start, discarded](Status status) {
      Stop(status);
      m_nStatusOffset = discarded + start;
    };
    if (bang && left >= 4 && std::memcmp(p + 1, "!--", 3) == 0) {
      m_nPos += 4;
      const int end = findChars("-->");
      if (end < 0) {
        stopAtStart(unterminatedComment);
        break;
      }
      m_nPos = end;
      continue;
    }
    if (bang && left >= 9 && std::memcmp(p + 1, "![CDATA[", 8) == 0) {
      m_nPos += 9;
      const int end = findChars("]]>");
      if (end < 0) {
        stopAtStart(unterminatedComment);
        break;
      }
      AppendText(m_pBuffer + m_nPos, static_cast<size_t>(end - 3 - m_nPos), true);
      m_nPos = end;
      continue;
    }
    const int tagEnd = FindByte(m_pBuffer, m_nLength, m_nPos, '>');
    if (tagEnd < 0) {
      Stop(unterminatedTag);
      break;
    }
    if (bang && left >= 9 && std::memcmp(p + 1, "!DOCTYPE", 8) == 0) {
      // An internal subset in brackets holds declarations with '>' of their own.
      const void* bracket = std::memchr(p, '[', static_cast<size_t>(tagEnd - m_nPos));
      if (bracket) {
        m_nPos = static_cast<LONG>(static_cast<const char*>(bracket) - m_pBuffer) + 1;
        const int close = findChars("]");
        const int end = close < 0 ? -1 : (m_nPos = close, findChar('>'));
        if (end < 0) {
          stopAtStart(unterminatedTag);
          break;
        }
        m_nPos = end + 1;
        continue;
      }
    }
    m_nTagEnd = tagEnd;
    if (!ParseTag()) break;
  }
  FreeStack();
  return true;
}

bool CXmlParser::parseTag() {
  return ParseTag();
}

inline bool CXmlParser::ParseTag() {
  char* tag = m_pBuffer + m_nPos;
  const LONG tagLength = m_nTagEnd - m_nPos;  // from '<' up to, not including, '>'
  const LONG tagStart = m_nPos;
  m_pBuffer[m_nTagEnd] = 0;
  m_nPos = m_nTagEnd + 1;

  if (tag[1] == '/') {
    char* name = tag + 2;
    while (IsBlank(static_cast<unsigned char>(*name))) ++name;
    char* end = std::max(name, tag + tagLength);
    while (end > name && IsBlank(static_cast<unsigned char>(end[-1]))) --end;
    *end = 0;
    Pop();  // popObj(name)
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
  p = SkipTo(p, kEndsName);
  const size_t nameLength = static_cast<size_t>(p - name);
  if (*p) *p++ = 0;

  if (!selfClosing && m_nTop + 1 >= kMaxDepth) {
    m_nPos = tagStart;
    Stop(tooDeep);
    return false;
  }
  bool repeated = false;
  const int count = *p ? ScanAttributes(p, repeated) : 0;
  CXmlItem* item = MakeNode(m_nTop >= 0 ? m_ppStack[m_nTop] : m_pRoot,  // getStackTop()
                            name, nameLength, p, count, repeated);
  if (!item) {
    m_nPos = tagStart;
    Stop(nodeRefused);
    return false;
  }
  if (!selfClosing) Push(item);
  return true;
}

CXmlItem* CXmlParser::MakeNode(CXmlItem* parent, char* name, size_t nameLength, char* entries, int count,
                               bool repeated) {
  XmlDocument* doc = m_pDocument;
  CXmlItem* item;
  if (m_pPlace) {
    // The parse makes the node itself, of a plain class: it is the
    // document's and borrows everything.
    void* where = doc->CarveNode(m_pPlace->size);
    if (!where) throw std::bad_alloc();
    try {
      item = m_pPlace->place(where, parent);
    } catch (...) {
      detail::ReleaseXmlNode(where);
      throw;
    }
    doc->Register();
    item->m_nFlags = CXmlItem::kParsed;
    if (!(parent->m_nFlags & CXmlItem::kParsed) || XmlDocumentOf(parent) != doc) {
      item->m_nFlags |= CXmlItem::kTop;
      doc->m_tops.fetch_add(1, std::memory_order_acq_rel);
    }
    item->m_pszName = name;
    if (!repeated) {
      item->m_pszEntries = count ? entries : nullptr;
      item->m_nEntries = count;
    } else {
      item->OwnAttributes().SetEntries(entries, count);
    }
    return item;
  }

  m_strTag.str().assign(name, nameLength);
  m_tagAttributes.Empty();
  m_tagAttributes.SetEntries(entries, count);
  item = CreateObj(parent);
  if (!item) {
    m_tagAttributes.Empty();
    return nullptr;
  }

  // A node the parse made itself, in its document, under the parent it was
  // asked for, is the document's: it borrows, and is accounted there. Any
  // other node takes copies.
  bool plain = false;
  if (doc && doc->IsLastCarved(item) && parent->m_nChildren > 0 &&
      parent->m_ppChildren[parent->m_nChildren - 1] == item) {
    doc->Register();
    uint32_t flags = CXmlItem::kParsed;
    if (!(parent->m_nFlags & CXmlItem::kParsed) || XmlDocumentOf(parent) != doc) {
      flags |= CXmlItem::kTop;
      doc->m_tops.fetch_add(1, std::memory_order_acq_rel);
    }
    const std::type_info& type = typeid(*item);
    plain = &type == m_pKnownItem || type == typeid(CXmlItem) || type == *m_pPlain->item;
    if (plain) m_pKnownItem = &type;
    item->m_nFlags |= flags;
    // A class of its own, or what its constructor set, needs its destructor.
    if (!plain || (item->m_nFlags &
                   (CXmlItem::kOwnName | CXmlItem::kOwnValue | CXmlItem::kOwnAttrs | CXmlItem::kHeapList)))
      item->MarkDirty();
    item->FreeText(item->m_pszName, CXmlItem::kOwnName);
    item->m_nFlags &= ~CXmlItem::kOwnName;
    item->m_pszName = name;
  } else {
    item->SetName(name);
  }
  if (plain && !(item->m_nFlags & CXmlItem::kOwnAttrs) && !repeated) {
    item->m_pszEntries = count ? entries : nullptr;
    item->m_nEntries = count;
  } else {
    item->SetAttributes(m_tagAttributes);
  }
  m_tagAttributes.Empty();
  return item;
}

int CXmlParser::ScanAttributes(char* text, bool& repeated) {
  repeated = false;
  if (!text) return 0;
  // Entries are written one after another from `text` on: each is shorter
  // than the text it was read from, so writing never overtakes reading.
  char* out = text;
  int count = 0;
  struct Name {
    const char* at;
    size_t length;
  } names[kAttributeIndexFrom];  // of the first entries
  std::unique_ptr<std::unordered_set<std::string>> index;
  char* p = text;
  for (;;) {
    while (*p && IsBlank(static_cast<unsigned char>(*p))) ++p;
    if (!*p) break;
    char* name = p;
    char* eq = SkipTo(p, kEndsAttrName);
    if (!*eq) break;  // a name without '=' and whatever follows are ignored
    char* nameEnd = eq;
    while (nameEnd > name && IsBlank(static_cast<unsigned char>(nameEnd[-1]))) --nameEnd;
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
      for (;; ++p) {
        p = SkipTo(p, kStopsQuoted);
        if (!*p || (*p == quote && p[-1] != '\\')) break;
        reference |= *p == '&';
      }
    } else {
      value = p;
      for (;; ++p) {
        p = SkipTo(p, kStopsBare);
        if (*p != '&') break;
        reference = true;
      }
    }
    char* valueEnd = p;
    if (*p) ++p;  // past the closing quote or blank
    while (valueEnd > value && IsBlank(static_cast<unsigned char>(valueEnd[-1]))) --valueEnd;
    size_t valueLength = static_cast<size_t>(valueEnd - value);
    if (reference) valueLength = DecodeInPlace(value, valueLength);

    // Is the name a repeat of one before? Looked for among the entries
    // written so far, or, for many, in an index.
    if (!repeated) {
      if (count < kAttributeIndexFrom) {
        for (int i = 0; i < count && !repeated; ++i) {
          repeated = names[i].length == nameLength && EqualNoCaseN(names[i].at, name, nameLength);
        }
        names[count] = {out, nameLength};
      } else {
        if (!index) {
          index.reset(new std::unordered_set<std::string>());
          for (const Name& known : names) index->insert(FoldedName(known.at, known.length));
        }
        repeated = !index->insert(FoldedName(name, nameLength)).second;
      }
    }
    if (out != name) MoveDown(out, name, nameLength);
    out[nameLength] = '=';
    MoveDown(out + nameLength + 1, value, valueLength);
    out += nameLength + 1 + valueLength;
    *out++ = 0;
    ++count;
  }
  return count;
}

void CXmlParser::parseAttributes(char* text, CXmlAttributes& attrs) {
  bool repeated = false;
  const int count = ScanAttributes(text, repeated);
  attrs.SetEntries(text, count);
}
