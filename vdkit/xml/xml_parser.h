// A small non-validating XML reader that turns a document into a tree of
// CXmlItem nodes: each node has a name, its trimmed text, its attributes and
// its ordered children.
//
// Ownership: a node owns its children and deletes them with itself; the
// parser owns nothing it builds. Top-level elements become children of the
// root node the caller passes, and stay the caller's after the parse. The
// parser makes every node through its virtual CreateObj, so a subclass can
// build node classes of its own.
//
// Failure: ParseXml gives false when there is no document to read (no file,
// fewer than 2 bytes, no "<?xml" start). A malformed document is not refused:
// the parse stops where the grammar breaks and the nodes built so far stay in
// the tree; GetStatus and GetStatusOffset then say why and where it stopped.
// CFile errors pass to the caller as CFileException pointers.
//
//   CXmlItem root(nullptr);
//   CXmlParser parser;
//   if (parser.ParseXml("JobParameters.xml", &root)) {
//     CXmlItem* job = root.GetChild("job");          // null when absent
//     const char* id = job ? job->GetA("id") : nullptr;
//   }
//
// The grammar: elements, attributes quoted with ' or " (or unquoted, up to
// the next blank), text, self-closing elements, CDATA sections (read as text),
// comments (ending at "-->"); declarations, processing instructions and
// document types are skipped. The predefined entities (&lt; &gt; &amp; &quot;
// &apos;) and character references &#N; and &#xN; below 256 are decoded in
// text and attribute values; anything else after '&' stays as written. A
// closing tag closes the innermost open element whatever its name.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

class CXmlArchive;
class CTreeCtrl;
struct _TREEITEM;

namespace detail {

// Memory from the blocks nodes are carved from (see CXmlItem's operator
// new), for the lists of children. Carve throws std::bad_alloc on failure.
VDKIT_API void* CarveXmlMemory(size_t bytes);
VDKIT_API void ReleaseXmlMemory(void* p) noexcept;

template <class T>
struct XmlNodeAllocator {
  using value_type = T;
  XmlNodeAllocator() noexcept = default;
  template <class U>
  XmlNodeAllocator(const XmlNodeAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(CarveXmlMemory(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) noexcept { ReleaseXmlMemory(p); }
  template <class U>
  bool operator==(const XmlNodeAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const XmlNodeAllocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace detail

// The attributes of an element, one "name=value" entry each, in the order in
// which the names were first set. Names compare without regard to ASCII case.
class VDKIT_API CXmlAttributes : public CStringArray {
 public:
  // Replaces the value of an existing attribute (the entry takes the name as
  // given here) or appends a new entry.
  void Set(const char* name, const char* value);
  // The value part of the entry, or null. Valid until the attributes change.
  const char* Get(const char* name) const;
  // Removes the first entry of that name; nothing when there is none.
  void Remove(const char* name);
  void Empty() { RemoveAll(); }
  int GetCount() const { return static_cast<int>(GetSize()); }
  // The whole "name=value" entry; null for an index out of range.
  const char* GetAt(int i) const;
  // Copying copies every entry (the implicit copy does exactly that).

 private:
  friend class CXmlParser;
  int Find(const char* name, size_t nameLength) const;
  void Set(const char* name, size_t nameLength, const char* value, size_t valueLength);
  // Set for a whole "name=value" entry of `length` bytes whose name has
  // `nameLength` bytes.
  void SetEntry(const char* entry, size_t nameLength, size_t length);
};

// A node of the item tree. A node made with a parent appends itself to that
// parent's children and is owned by it; one made without a parent is the
// caller's. Destroying a node destroys its whole subtree (without recursion,
// so trees of any depth are safe).
class VDKIT_API CXmlItem {
 public:
  explicit CXmlItem(CXmlItem* parent);
  // Copying a node: see operator=. A copy constructor would have to choose
  // what the new node's parent is, so there is none.
  CXmlItem(const CXmlItem&) = delete;
  virtual ~CXmlItem();

  // Copies the attributes into the node (the node's earlier ones are lost).
  virtual void SetAttributes(CXmlAttributes& attrs);
  // A hook for node classes that load an object from the node; `parent` is
  // the parent node. The base node has nothing to load: true.
  virtual bool Serialize(CXmlArchive& ar, CXmlItem* parent);

  const char* GetName() const { return m_strName; }
  void SetName(const char* name) { m_strName = name; }
  // The element's text content, trimmed.
  const char* GetValue() const { return m_strValue; }
  CXmlAttributes& GetAttributes() { return m_attributes; }
  // The attribute's value, or null.
  const char* GetA(const char* name) const { return m_attributes.Get(name); }

  int GetCount() const { return static_cast<int>(m_children.size()); }
  // The child at the index; null for an index out of range.
  CXmlItem* GetChild(int i) const;
  // The first child whose name equals `name` ignoring ASCII case, or null.
  CXmlItem* GetChild(const char* name) const;
  // Takes the child pointer out of the children without destroying it: the
  // caller owns that child from now on. Nothing for an index out of range.
  void RemoveAt(int i);
  // Destroys every child.
  void DeleteAll();

  // Copies name, value, attributes and the loaded mark, and replaces this
  // node's children by copies of the other node's subtree. The copies are
  // plain CXmlItem nodes owned by this node; nothing is shared. Assigning a
  // node's own ancestor or descendant to it is safe.
  CXmlItem& operator=(const CXmlItem& other);

  // Inserts an item for this node as the last child of `parent` (null or
  // TVI_ROOT: at the top) and items for its subtree below it, in order. An
  // item's text is the node's name, followed when it has attributes by "[",
  // the name=value entries separated by " ", and "] "; its data is the node.
  // Nothing when `parent` is not an item of the control.
  void AddToTree(CTreeCtrl& tree, _TREEITEM* parent);

  // ---- Allocation --------------------------------------------------------------
  // A parse makes nodes by the hundred thousand, so nodes (of this class and
  // of subclasses) are carved out of blocks that each thread takes from the
  // heap, instead of one heap call each. Every node is still deleted on its
  // own, from any thread; a block goes back to the heap when its last node
  // is deleted and its thread has moved on to another block. A node that is
  // kept keeps its block: the memory of trees freed all but a few nodes
  // returns only when those go too. Failure throws std::bad_alloc, as the
  // global operator new does; the nothrow form gives null instead.
  static void* operator new(size_t size);
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void* operator new(size_t size, std::align_val_t align);
  static void* operator new(size_t, void* where) noexcept { return where; }
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, const std::nothrow_t&) noexcept;
  static void operator delete(void* p, std::align_val_t align) noexcept;
  static void operator delete(void*, void*) noexcept {}

  // ---- vdkit extensions ------------------------------------------------------
  void SetValue(const char* value) { m_strValue = value; }
  // The loaded mark: 0 on a new node; subclasses that process a node once
  // set it (the XML archive marks consumed data elements with it).
  int GetLoaded() const { return m_nLoaded; }
  void SetLoaded(int loaded) { m_nLoaded = loaded; }

 protected:
  friend class CXmlParser;

  // A list of children; its memory comes from the blocks nodes come from.
  using ChildList = std::vector<CXmlItem*, detail::XmlNodeAllocator<CXmlItem*>>;

  CString m_strName;
  CString m_strValue;
  CXmlAttributes m_attributes;
  ChildList m_children;  // owned
  LONG m_nLoaded = 0;
};

// Reads a document into an item tree. One parser can read many documents in
// turn; it owns the document buffer only while ParseXml runs.
class VDKIT_API CXmlParser {
 public:
  // Why the last parse stopped. A default parser reports notParsed, so a
  // result that was never produced does not pass for success.
  enum Status {
    ok,                   // the document ended with every element closed
    notParsed,            // nothing parsed yet
    noDocument,           // no file, fewer than 2 bytes, or too large for a 32-bit length
    noDeclaration,        // the document does not start with "<?xml"
    unterminatedTag,      // a '<' without a closing '>'
    unterminatedComment,  // "<!--" without "-->", or "<![CDATA[" without "]]>"
    missingName,          // a start tag without an element name
    trailingText,         // text that no '<' follows
    unclosedElements,     // the document ended inside an element
    tooDeep,              // more than kMaxDepth open elements
    noRoot,               // no root node to put the elements under
    nodeRefused,          // CreateObj gave no node
    busy,                 // ParseXml called while this parser was parsing
  };

  // Open elements a document may nest; a deeper start tag stops the parse,
  // so that whoever walks the tree recursively meets a bounded depth.
  static constexpr int kMaxDepth = 10000;
  // The stack of open elements grows by this many entries at a time.
  static constexpr int kStackStep = 256;

  // Sets root and current node to `root`; with a text, parses it at once in
  // place (writing terminators into it), without the declaration check.
  explicit CXmlParser(char* text = nullptr, CXmlItem* root = nullptr);
  // Copies the root and current node; a parse in progress (buffer, stack,
  // positions) is never copied, so the copy starts idle.
  CXmlParser(const CXmlParser& other);
  CXmlParser& operator=(const CXmlParser& other);
  virtual ~CXmlParser();

  // Reads the file from its current position to its end and parses it under
  // `root`. False (and nothing added) for a null file, a document under 2
  // bytes, or a first word that does not begin with "<?xml" (a UTF-8 byte
  // order mark before it is skipped); true otherwise, even when the document
  // is malformed (see GetStatus).
  bool ParseXml(CFile* file, CXmlItem* root);
  // Opens the file for reading and parses it as above; false when it cannot
  // be opened.
  bool ParseXml(const char* path, CXmlItem* root);
  // While a file is parsed (from CreateObj or a node's hooks), resolves `rel`
  // against that file's directory and gives GetAbsPathName's result (false,
  // with `out` = `rel`, for a file without a path). With no file being
  // parsed, `out` is `rel` and the result true.
  bool GetAbsPath(const char* rel, CString& out);
  // Forgets the parse state (source, buffer, positions, current node,
  // stack). Frees the stack of open elements only; a buffer ParseXml
  // allocated is freed when that parse ends.
  void Reset();

  // Makes a node under `parent` (which owns it); subclasses make their own.
  // While it runs, m_strTag holds the element's name and m_tagAttributes its
  // attributes, so a subclass may choose the node's class by them. The
  // parser then sets the name and gives the node the attributes through
  // SetAttributes (a plain CXmlItem takes them over without a copy). A null
  // result stops the parse.
  virtual CXmlItem* CreateObj(CXmlItem* parent);

  // ---- vdkit extensions ------------------------------------------------------
  Status GetStatus() const { return m_status; }
  // Byte offset in the document where the last parse stopped.
  int GetStatusOffset() const { return m_nStatusOffset; }
  static const char* StatusText(Status status);

 protected:
  // The main loop; false only when there is no buffer.
  bool doParseXml();
  // Parses the tag from '<' at the position to '>' at the tag end; false
  // stops the parse.
  bool parseTag();
  // Parses "name=value" pairs out of the text into `attrs`.
  void parseAttributes(char* text, CXmlAttributes& attrs);
  // Skips blanks; the byte now at the position, or -1 at the end.
  int getChar();
  // Index of the next `ch` at or after the position, or -1.
  int findChar(char ch);
  // Index just after the next `text` at or after the position, or -1. With
  // a source file attached, reads on in chunks until found or the file ends
  // (the unread bytes move to the start of the buffer first). A null `text`
  // reads one chunk: 1, or -1 without a file.
  int findChars(const char* text);
  // First occurrence of `ch` in the NUL-terminated `text`, or null.
  static char* findTag(char* text, char ch);
  void pushObj(CXmlItem* item);
  void popObj(const char* name);
  CXmlItem* getStackTop();

  CFile* m_pFile = nullptr;   // set only while a file is parsed
  char* m_pBuffer = nullptr;  // the document, NUL-terminated
  LONG m_nLength = 0;         // document bytes in the buffer
  LONG m_nCapacity = 0;       // bytes allocated for the buffer
  LONG m_nPos = 0;            // next byte to read
  LONG m_nTagEnd = 0;         // the '>' of the tag being parsed
  CString m_strTag;
  CXmlAttributes m_tagAttributes;  // scratch for the tag being parsed
  CXmlItem* m_pRoot = nullptr;
  CXmlItem* m_pCurrent = nullptr;  // receives text
  CXmlItem** m_ppStack = nullptr;  // open elements
  LONG m_nTop = -1;
  LONG m_nStackSize = 0;

 private:
  void Stop(Status status);
  void AppendText(char* text, size_t n, bool decode);
  bool ParseBuffer();
  void FreeStack();
  void FreeBuffer();

  // The buffer this parser allocated. Kept apart from m_pBuffer so that a
  // Reset during a parse (from a subclass's CreateObj) cannot lose it.
  char* m_pOwned = nullptr;
  bool m_bParsing = false;
  LONG m_nDiscarded = 0;  // bytes dropped from the buffer's front by findChars
  Status m_status = notParsed;
  LONG m_nStatusOffset = 0;
};
