/// @file
/// A small non-validating XML reader that turns a document into a tree of
/// CXmlItem nodes: each node has a name, its text, its attributes and
/// its ordered children.
///
/// Ownership: a node owns its children and deletes them with itself; the
/// parser owns nothing it builds. Top-level elements become children of the
/// root node the caller passes, and stay the caller's after the parse. The
/// parser makes every node through its virtual CreateObj, so a subclass can
/// build node classes of its own.
///
/// Memory: the nodes a parse makes keep their names, values and attributes
/// where the parser decoded them, in its copy of the document, and that copy
/// goes with the last of them. A node copies what it holds only when it is
/// changed (SetName, SetValue, SetAttributes, GetAttributes). Nodes stay
/// deletable one by one, and a parsed tree freed as a whole is freed at once
/// (see DeleteAll); a node kept out of its tree keeps its document's memory.
///
/// Failure: ParseXml gives false when there is no document to read (no file,
/// fewer than 2 bytes, no "<?xml" start). A malformed document is not refused:
/// the parse stops where the grammar breaks and the nodes built so far stay in
/// the tree; GetStatus and GetStatusOffset then say why and where it stopped.
/// CFile errors while reading pass to the caller as CFileException pointers.
///
/// ```
/// CXmlItem root(nullptr);
/// CXmlParser parser;
/// if (parser.ParseXml("JobParameters.xml", &root)) {
///   CXmlItem* job = root.GetChild("job");          // null when absent
///   const char* id = job ? job->GetA("id") : nullptr;
/// }
/// ```
///
/// The grammar: elements, attributes quoted with ' or " (or unquoted, up to
/// the next blank), text, self-closing elements, CDATA sections (read as text),
/// comments (ending at "-->"); declarations, processing instructions and
/// document types are skipped. The predefined entities (`&lt; &gt; &amp; &quot;
/// &apos;`) and character references `&#N;` and `&#xN;` below 256 are decoded in
/// text and attribute values; anything else after '&' stays as written.
/// Blanks of the document around text and at the end of attribute values are
/// trimmed; blanks written as references are not. A closing tag closes the
/// innermost open element whatever its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <typeinfo>

#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

/// Private members that only the library's own sources call: kept out of
/// the exported symbols, so that calls to them stay direct and can be
/// inlined.
#if defined(__GNUC__)
#define VDKIT_XML_LOCAL __attribute__((visibility("hidden")))
#else
#define VDKIT_XML_LOCAL
#endif

class CXmlArchive;
class CTreeCtrl;
struct _TREEITEM;

namespace detail {
class XmlDocument;
}

/// The attributes of an element, one "name=value" entry each, in the order in
/// which the names were first set. Names compare without regard to ASCII case.
class VDKIT_API CXmlAttributes : public CStringArray {
 public:
  /// Replaces the value of an existing attribute (the entry takes the name as
  /// given here) or appends a new entry.
  void Set(const char* name, const char* value);
  /// The value part of the entry, or null. Valid until the attributes change.
  const char* Get(const char* name) const;
  /// Removes the first entry of that name; nothing when there is none.
  void Remove(const char* name);
  /// Removes every entry; the number of entries.
  ///@{
  void Empty() { RemoveAll(); }
  int GetCount() const { return static_cast<int>(GetSize()); }
  ///@}
  /// The whole "name=value" entry; null for an index out of range.
  const char* GetAt(int i) const;
  // Copying copies every entry (the implicit copy does exactly that).

 private:
  friend class CXmlParser;
  friend class CXmlItem;
  VDKIT_XML_LOCAL int Find(const char* name, size_t nameLength) const;
  VDKIT_XML_LOCAL void Set(const char* name, size_t nameLength, const char* value, size_t valueLength);
  /// Set for a whole "name=value" entry of `length` bytes whose name has
  /// `nameLength` bytes.
  VDKIT_XML_LOCAL void SetEntry(const char* entry, size_t nameLength, size_t length);
  /// SetEntry for each of `count` "name=value" entries that follow one
  /// another, each ended by a NUL (many are looked up through an index).
  VDKIT_XML_LOCAL void SetEntries(const char* entries, int count);
};

/// A node of the item tree. A node made with a parent appends itself to that
/// parent's children and is owned by it; one made without a parent is the
/// caller's. Destroying a node destroys its whole subtree (without recursion,
/// so trees of any depth are safe).
class VDKIT_API CXmlItem {
 public:
  explicit CXmlItem(CXmlItem* parent);  ///< a node appended to parent's children (null: the caller's)
  /// Copying a node: see operator=. A copy constructor would have to choose
  /// what the new node's parent is, so there is none.
  CXmlItem(const CXmlItem&) = delete;
  virtual ~CXmlItem();

  /// Copies the attributes into the node (the node's earlier ones are lost).
  virtual void SetAttributes(CXmlAttributes& attrs);
  /// A hook for node classes that load an object from the node; `parent` is
  /// the parent node. The base node has nothing to load: true.
  virtual bool Serialize(CXmlArchive& ar, CXmlItem* parent);

  /// The element's name.
  ///@{
  const char* GetName() const { return m_pszName; }
  void SetName(const char* name);
  ///@}
  /// The element's text content, without the blanks that surrounded it in
  /// the document (blanks written as references stay).
  const char* GetValue() const { return m_pszValue; }
  /// The attributes as an array the caller may change; a parsed node makes
  /// its own copy of them here. GetA reads them without one.
  CXmlAttributes& GetAttributes();
  /// The attribute's value, or null.
  const char* GetA(const char* name) const;

  int GetCount() const { return m_nChildren; }  ///< the number of children
  /// The child at the index; null for an index out of range.
  CXmlItem* GetChild(int i) const;
  /// The first child whose name equals `name` ignoring ASCII case, or null.
  CXmlItem* GetChild(const char* name) const;
  /// Takes the child pointer out of the children without destroying it: the
  /// caller owns that child from now on. Nothing for an index out of range.
  void RemoveAt(int i);
  /// Destroys every child. The parsed trees among them that hold every live
  /// node of their document, none of which was changed or is of a class of
  /// its own, are freed at once without visiting their nodes.
  void DeleteAll();

  /// Copies name, value, attributes and the loaded mark, and replaces this
  /// node's children by copies of the other node's subtree. The copies are
  /// plain CXmlItem nodes owned by this node; nothing is shared. Assigning a
  /// node's own ancestor or descendant to it is safe.
  CXmlItem& operator=(const CXmlItem& other);

  /// Inserts an item for this node as the last child of `parent` (null or
  /// TVI_ROOT: at the top) and items for its subtree below it, in order. An
  /// item's text is the node's name, followed when it has attributes by "[",
  /// the name=value entries separated by " ", and "] "; its data is the node.
  /// Nothing when `parent` is not an item of the control.
  void AddToTree(CTreeCtrl& tree, _TREEITEM* parent);

  // ---- Allocation --------------------------------------------------------------
  /// Nodes (of this class and of subclasses) are carved out of blocks instead
  /// of one heap call each: the nodes of a parse from its document's blocks,
  /// other nodes from blocks each thread takes from the heap. Every node is
  /// still deleted on its own, from any thread (the nodes of one document by
  /// one thread at a time); a thread's block goes back to the heap when its
  /// last node is deleted and its thread has moved on to another block.
  /// Failure throws std::bad_alloc, as the global operator new does; the
  /// nothrow form gives null instead.
  ///@{
  static void* operator new(size_t size);
  static void* operator new(size_t size, const std::nothrow_t&) noexcept;
  static void* operator new(size_t size, std::align_val_t align);
  static void* operator new(size_t, void* where) noexcept { return where; }
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, const std::nothrow_t&) noexcept;
  static void operator delete(void* p, std::align_val_t align) noexcept;
  static void operator delete(void*, void*) noexcept {}
  ///@}

  // ---- vdkit extensions ------------------------------------------------------
  void SetValue(const char* value);  ///< replaces the text content
  /// The loaded mark: 0 on a new node; subclasses that process a node once
  /// set it (the XML archive marks consumed data elements with it).
  ///@{
  int GetLoaded() const { return m_nLoaded; }
  void SetLoaded(int loaded) { m_nLoaded = loaded; }
  ///@}

 private:
  friend class CXmlParser;

  /// m_nFlags. A parsed node (kParsed) was carved from its document and is
  /// accounted there: kTop when its parent is none of the document's nodes,
  /// kDirty once it must be destroyed on its own (a class of its own, a copy
  /// of its own, a child from elsewhere).
  enum : uint32_t {
    kParsed = 1,
    kTop = 2,
    kDirty = 4,
    kOwnName = 8,    ///< m_pszName is this node's, from the heap
    kOwnValue = 16,  ///< m_pszValue likewise
    kOwnAttrs = 32,  ///< m_pAttributes is this node's, else m_pszEntries borrows
    kHeapList = 64,  ///< m_ppChildren is from the heap, else from the document
  };

  VDKIT_XML_LOCAL void SetText(const char*& field, uint32_t ownFlag, const char* text, size_t n);
  VDKIT_XML_LOCAL void FreeText(const char* text, uint32_t ownFlag);
  VDKIT_XML_LOCAL void MarkDirty();
  VDKIT_XML_LOCAL void Append(CXmlItem* child);
  VDKIT_XML_LOCAL bool Grow();
  VDKIT_XML_LOCAL CXmlAttributes& OwnAttributes();
  VDKIT_XML_LOCAL void SetAttributesOwned(CXmlAttributes&& attrs);
  /// The "name=value" entries, borrowed or owned, in order.
  template <class F>
  void ForEachEntry(F&& f) const;

  const char* m_pszName;
  const char* m_pszValue;
  union {
    const char* m_pszEntries;  ///< m_nEntries NUL-ended "name=value" entries in the document
    CXmlAttributes* m_pAttributes;
  };
  CXmlItem** m_ppChildren = nullptr;
  int m_nChildren = 0;
  int m_nCapacity = 0;
  int m_nEntries = 0;
  uint32_t m_nFlags = 0;
  LONG m_nLoaded = 0;
};

/// Reads a document into an item tree. One parser can read many documents in
/// turn; what it reads of each belongs to the nodes it makes.
class VDKIT_API CXmlParser {
 public:
  /// Why the last parse stopped. A default parser reports notParsed, so a
  /// result that was never produced does not pass for success.
  enum Status {
    ok,                   ///< the document ended with every element closed
    notParsed,            ///< nothing parsed yet
    noDocument,           ///< no file, fewer than 2 bytes, or too large for a 32-bit length
    noDeclaration,        ///< the document does not start with "<?xml"
    unterminatedTag,      ///< a '<' without a closing '>'
    unterminatedComment,  ///< "<!--" without "-->", or "<![CDATA[" without "]]>"
    missingName,          ///< a start tag without an element name
    trailingText,         ///< text that no '<' follows
    unclosedElements,     ///< the document ended inside an element
    tooDeep,              ///< more than kMaxDepth open elements
    noRoot,               ///< no root node to put the elements under
    nodeRefused,          ///< CreateObj gave no node
    busy,                 ///< ParseXml called while this parser was parsing
  };

  /// Open elements a document may nest; a deeper start tag stops the parse,
  /// so that whoever walks the tree recursively meets a bounded depth.
  static constexpr int kMaxDepth = 10000;
  /// The stack of open elements grows by this many entries at a time.
  static constexpr int kStackStep = 256;

  /// Sets root and current node to `root`; with a text, parses it at once,
  /// without the declaration check. The parse works in a copy of the text,
  /// which the nodes keep; the caller's text is left as it was.
  explicit CXmlParser(char* text = nullptr, CXmlItem* root = nullptr);
  /// Copies the root and current node; a parse in progress (buffer, stack,
  /// positions) is never copied, so the copy starts idle.
  CXmlParser(const CXmlParser& other);
  CXmlParser& operator=(const CXmlParser& other);  ///< as the copy constructor
  virtual ~CXmlParser();

  /// Reads the file from its current position to its end and parses it under
  /// `root`. False (and nothing added) for a null file, a document under 2
  /// bytes, or a first word that does not begin with "<?xml" (a UTF-8 byte
  /// order mark before it is skipped); true otherwise, even when the document
  /// is malformed (see GetStatus).
  bool ParseXml(CFile* file, CXmlItem* root);
  /// Opens the file for reading and parses it as above; false when it cannot
  /// be opened. A failure to close it once it was read is no failure of the
  /// parse: nothing is lost, so it is not reported and the tree stands.
  bool ParseXml(const char* path, CXmlItem* root);
  /// While a file is parsed (from CreateObj or a node's hooks), resolves `rel`
  /// against that file's directory and gives GetAbsPathName's result (false,
  /// with `out` = `rel`, for a file without a path). With no file being
  /// parsed, `out` is `rel` and the result true.
  bool GetAbsPath(const char* rel, CString& out);
  /// Forgets the parse state (source, buffer, positions, current node,
  /// stack). Frees the stack of open elements only; the buffer belongs to
  /// the nodes of the parse.
  void Reset();

  /// Makes a node under `parent` (which owns it); subclasses make their own.
  /// While a subclass's CreateObj runs, m_strTag holds the element's name and
  /// m_tagAttributes its attributes, so that it may choose the node's class
  /// by them. The parser then sets the name and gives the node the
  /// attributes through SetAttributes (a plain CXmlItem borrows them from the
  /// document instead). A null result stops the parse.
  virtual CXmlItem* CreateObj(CXmlItem* parent);

  // ---- vdkit extensions ------------------------------------------------------
  Status GetStatus() const { return m_status; }  ///< why the last parse stopped
  /// Byte offset in the document where the last parse stopped.
  int GetStatusOffset() const { return m_nStatusOffset; }
  static const char* StatusText(Status status);  ///< a short English text for a status

 protected:
  /// The main loop; false only when there is no buffer.
  bool doParseXml();
  /// Parses the tag from '<' at the position to '>' at the tag end; false
  /// stops the parse.
  bool parseTag();
  /// Parses "name=value" pairs out of the text into `attrs`.
  void parseAttributes(char* text, CXmlAttributes& attrs);
  /// Skips blanks; the byte now at the position, or -1 at the end.
  int getChar();
  /// Index of the next `ch` at or after the position, or -1.
  int findChar(char ch);
  /// Index just after the next `text` at or after the position, or -1. With
  /// a source file attached, reads on in chunks until found or the file ends
  /// (the unread bytes move to the start of a new buffer first; the nodes
  /// keep the old one). A null `text` reads one chunk: 1, or -1 without a
  /// file.
  int findChars(const char* text);
  /// First occurrence of `ch` in the NUL-terminated `text`, or null.
  static char* findTag(char* text, char ch);
  /// The stack of open elements: push a node, pop the innermost (the name is not
  /// checked), or the innermost (null when none).
  ///@{
  void pushObj(CXmlItem* item);
  void popObj(const char* name);
  CXmlItem* getStackTop();
  ///@}

  CFile* m_pFile = nullptr;        ///< set only while a file is parsed
  char* m_pBuffer = nullptr;       ///< the document, NUL-terminated
  LONG m_nLength = 0;              ///< document bytes in the buffer
  LONG m_nCapacity = 0;            ///< bytes allocated for the buffer
  LONG m_nPos = 0;                 ///< next byte to read
  LONG m_nTagEnd = 0;              ///< the '>' of the tag being parsed
  CString m_strTag;                ///< the element name of the tag being parsed
  CXmlAttributes m_tagAttributes;  ///< scratch for the tag being parsed
  CXmlItem* m_pRoot = nullptr;     ///< the root the elements go under
  CXmlItem* m_pCurrent = nullptr;  ///< receives text
  CXmlItem** m_ppStack = nullptr;  ///< open elements
  LONG m_nTop = -1;                ///< index of the innermost open element; -1 when none
  LONG m_nStackSize = 0;           ///< entries allocated for the stack

 private:
  friend class CXmlFileParser;

  /// A parser class whose CreateObj makes nodes of exactly one class and
  /// reads neither m_strTag nor m_tagAttributes, where that node class keeps
  /// CXmlItem's SetAttributes and destructor: the parse makes its nodes
  /// itself, in place, and they borrow their attributes.
  struct PlainKind {
    const std::type_info* parser;
    const std::type_info* item;
    size_t size;
    CXmlItem* (*place)(void* where, CXmlItem* parent);
  };
  static const PlainKind kPlainKind;

  VDKIT_XML_LOCAL void Stop(Status status);
  /// Appends the text run (n bytes) to the current node's value: blanks at
  /// its end go, and with `cdata` those at its start while the value is
  /// empty; then references are decoded unless `cdata`.
  VDKIT_XML_LOCAL void AppendText(char* text, size_t n, bool cdata);
  /// Parses the attributes in `text` into NUL-ended "name=value" entries
  /// that follow one another from `text` on; gives their number, and in
  /// `repeated` whether a name came twice.
  VDKIT_XML_LOCAL int ScanAttributes(char* text, bool& repeated);
  VDKIT_XML_LOCAL CXmlItem* MakeNode(CXmlItem* parent, char* name, size_t nameLength, char* entries,
                                     int count, bool repeated);
  /// The bodies of parseTag, pushObj and popObj, for the parse loop.
  VDKIT_XML_LOCAL bool ParseTag();
  VDKIT_XML_LOCAL void Push(CXmlItem* item);
  VDKIT_XML_LOCAL void Pop();
  VDKIT_XML_LOCAL bool ParseBuffer();
  VDKIT_XML_LOCAL void FreeStack();
  /// A buffer of `bytes` in the document of this parse (made here when there
  /// is none yet); null when the heap has none.
  VDKIT_XML_LOCAL char* NewBuffer(size_t bytes);
  /// The parse is done with its document.
  VDKIT_XML_LOCAL void EndDocument();
  /// Moves the unread bytes to the start of a new buffer of `capacity`.
  VDKIT_XML_LOCAL bool MoveUnread(LONG capacity);

  const PlainKind* m_pPlain = &kPlainKind;       ///< what this class makes, when plain
  const PlainKind* m_pPlace = nullptr;           ///< set while the parse makes the nodes itself
  detail::XmlDocument* m_pDocument = nullptr;    ///< while a parse runs
  char* m_pOwned = nullptr;                      ///< the buffer NewBuffer made last
  const std::type_info* m_pKnownItem = nullptr;  ///< last node class checked plain
  LONG m_nTextEnd = -1;                          ///< a '<' that a value's terminator took the place of
  bool m_bParsing = false;
  LONG m_nDiscarded = 0;  ///< bytes dropped from the buffer's front by findChars
  Status m_status = notParsed;
  LONG m_nStatusOffset = 0;
};
