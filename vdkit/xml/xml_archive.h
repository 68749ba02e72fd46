/// @file
/// CXmlArchive writes a tree of file objects (CVDFile) as an XML document,
/// one element per object, and reads such a document back into objects,
/// creating them by class name. While storing it is an indenting text writer
/// over a file; while loading it is a cursor on one element of a parsed item
/// tree, and each object's Serialize(CXmlArchive&) reads its own data from the
/// element it was written to. Values move in and out through CXmlVar bindings.
///
/// Ownership: an archive owns nothing. It holds the caller's file and, while
/// loading, points into an item tree that belongs to whoever parsed it (for
/// `ar >> object` on a top archive, to that call: the tree is gone when it
/// returns). Copies and child archives share the file and the item.
///
/// Failure shows as false or null. Without a file nothing is written. A
/// loading `>>` that meets a damaged document keeps the objects read so far
/// and answers false. CFile errors pass to the caller as CFileException
/// pointers. Nothing else throws.
///
/// ```
/// CFile out("disk.xml", CFile::modeCreate | CFile::modeWrite);
/// CXmlArchive store(&out, CXmlArchive::store);
/// store << disk;                         // head, then the disk's element
/// ...
/// CFile in("disk.xml", CFile::modeRead);
/// CXmlArchive load(&in, CXmlArchive::load);
/// if (!(load >> disk)) { ... }           // not a document of a CVDisk
/// ```
///
/// Inside a class's Serialize(CXmlArchive& ar), both directions:
///
/// ```
/// double depth = 0;
/// CXmlVar v("depth", depth);
/// ar == v;                               // <depth>12.5</depth> / reads it back
/// ```
///
/// The element of an object O, the i-th child of its parent (the root has
/// i = 0), indented one space per level below the root:
///
/// ```
/// <Name class='CClass' type='Type' root='true'>     type when not empty,
///  ...O's own data, one level deeper...            root when O has no parent
///  ...the elements of O's children, in order...
/// </Name>
/// ```
///
/// An unnamed object (or one with an empty name) is written as
/// `<#@N ... named='false'>` with N = i + 1. A name that cannot stand as an element name
/// (blanks, control bytes, `< > / = & ' "`, a leading ? or !, or a form the
/// reader would take for an index: a leading # or @ as second byte) is
/// written in the index form with the name in a name='...' attribute.
/// Texts written through CXmlVar, and the class, type and name attributes,
/// have & < > (and the quotes in attribute values) written as entities, and
/// line breaks and the blanks at their ends (which the parser would trim) as
/// character references, so every value reads back as it was.
#pragma once

#include <cstdarg>
#include <string>

#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_parser.h"
#include "vdkit/xml/xml_var.h"

/// Writes a tree of file objects as an XML document and reads it back (see the
/// file's description).
class VDKIT_API CXmlArchive {
 public:
  /// The direction, as the platform's archive spells it.
  enum Mode { store = 0, load = 1 };
  /// Bits of the mode flags.
  enum ModeFlag : BYTE { bStoring = 1, bTop = 2, bTemplate = 4, bOneFile = 8 };
  /// Bits of the head state.
  enum HeadState : BYTE { headWritten = 1, headLineStart = 2 };
  /// Indentation never goes beyond this many spaces.
  static constexpr int kMaxIndent = 31;

  /// A top archive over the whole document: no item, flag, depth and head
  /// state 0.
  CXmlArchive(CFile* pFile, Mode nMode);
  /// A child archive positioned at `item`, at the parent item's first child
  /// of that name (ASCII case ignored), or at its child of that index; the
  /// item is null when there is no such child. It shares the parent's file,
  /// takes its user flag, head state and mode flags (without the top bit),
  /// and is one level deeper.
  ///@{
  CXmlArchive(CXmlArchive& parent, CXmlItem* item);
  CXmlArchive(CXmlArchive& parent, const char* name);
  CXmlArchive(CXmlArchive& parent, int index);
  ///@}
  /// Copies share the file and the item.
  ///@{
  CXmlArchive(const CXmlArchive&) = default;
  CXmlArchive& operator=(const CXmlArchive&) = default;
  ///@}

  // ---- State ----------------------------------------------------------------
  /// Item and file both set.
  bool IsValid() const { return m_pItem && m_pFile; }
  /// The direction, and whether this is the archive of the whole document.
  ///@{
  bool IsStoring() const { return (m_nMode & bStoring) != 0; }
  bool IsLoading() const { return (m_nMode & bStoring) == 0; }
  bool IsTop() const { return (m_nMode & bTop) != 0; }
  ///@}
  /// The template and one-file bits mean something only to client classes.
  ///@{
  bool IsTemplate() const { return (m_nMode & bTemplate) != 0; }
  bool IsOneFile() const { return (m_nMode & bOneFile) != 0; }
  void SetTemplate(bool b) { SetBit(bTemplate, b); }
  void SetOneFile(bool b) { SetBit(bOneFile, b); }
  ///@}
  /// A byte free for the classes' Serialize; child archives inherit it.
  ///@{
  BYTE GetFlag() const { return m_nFlag; }
  void SetFlag(unsigned char flag) { m_nFlag = flag; }
  ///@}
  /// Sets the depth (the indentation level); gives the previous one.
  int SetHeaddSpace(int depth);
  /// vdkit: the depth.
  int GetHeaddSpace() const { return m_nDepth; }
  CXmlItem* GetXmlItem() const { return m_pItem; }  ///< the element read from; null for a top archive
  /// The file, with any text gathered while a tree is written put into it
  /// first, so that direct writes land after it.
  operator CFile*() const;

  // ---- Writing --------------------------------------------------------------
  /// Writes "<?xml version='1.0'?>\n" once per archive, when there is a file.
  void WrieXmlHead();
  /// Formats printf-style into a buffer of the formatted length and writes
  /// the result; true (nothing is written without a file). False only for a
  /// null format or one vsnprintf refuses.
  bool Print(const char* lpszFormat, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  /// Writes a text taken as a format with no arguments: "%%" stands for one
  /// percent sign; any other `%` is written as it stands (nothing is read
  /// for it). True (nothing is written without a file); false for null.
  bool Write(const char* lpszText);
  /// Writes the text as it stands (indented by the depth).
  CXmlArchive& operator<<(const char* lpszText);
  /// Writes the variable as "<name>text</name>\n". False, and nothing
  /// written, without a file or when the variable gives no text or an empty
  /// one.
  ///@{
  bool operator<<(CXmlVar& var);
  bool operator<<(CXmlVar&& var) {
    return *this << var;
  }
  ///@}
  /// Writes the variable as the attribute " name='text'", with the same
  /// results as operator<<.
  ///@{
  bool operator<(CXmlVar& var);
  bool operator<(CXmlVar&& var) {
    return *this < var;
  }
  ///@}

  // ---- Reading (all on the archive's item; null, 0 or false without one) ---
  /// The item's name, text, attributes and number of children.
  ///@{
  const char* GetName() const;
  const char* GetValue() const;
  CXmlAttributes* GetAttributes() const;
  int GetItemCount() const;
  ///@}
  /// Whether the item has a child element of that name.
  bool IsExist(const char* lpszName) const;
  /// The value of the first child element of that name (ASCII case ignored),
  /// which is marked consumed so that the object reader passes it over; null
  /// when there is none.
  const char* GetIV(const char* lpszName);
  /// The same by index; null for an index out of range.
  const char* GetIV(int nIndex);
  /// The item's attribute value, or null.
  const char* GetAV(const char* lpszName) const;
  /// Sets the variable from the attribute named like it: SetValue's result;
  /// false, the variable untouched, when there is no such attribute.
  bool GetAV(CXmlVar& var) const;
  /// Empties the array, then splits the item's value at each `sep` byte and
  /// appends each piece with blanks and one quote taken off its front and
  /// blanks and quotes off its end; the piece after the last separator only
  /// when it is not empty. A separator of 0 gives an empty array. False only
  /// without an item (the array is then empty).
  bool GetValue(CStringArray& values, char sep) const;
  /// A variable named ".attr" reads the attribute attr: true when it exists
  /// (the variable gets its value), false when not (the variable gets the
  /// empty text). Any other name reads the child element of that name (see
  /// GetIV): SetValue's result, or false with the variable untouched when
  /// there is no such element.
  ///@{
  bool operator>>(CXmlVar& var);
  bool operator>>(CXmlVar&& var) {
    return *this >> var;
  }
  ///@}
  /// The attribute of the variable's full name, as ".attr" above.
  ///@{
  bool operator>(CXmlVar& var);
  bool operator>(CXmlVar&& var) {
    return *this > var;
  }
  ///@}
  /// operator>> when loading, operator<< when storing.
  ///@{
  bool operator==(CXmlVar& var);
  bool operator==(CXmlVar&& var) {
    return *this == var;
  }
  ///@}

  /// The directory of the file's path with its trailing separator, followed
  /// by `rel` without its first character ("./x.bin" -> "<dir>/x.bin");
  /// empty without a file or when the file has no path.
  CString GetDocPath(const char* rel) const;

 protected:
  /// Writes `length` bytes of `text`, putting the indentation at the start of
  /// every line. Nothing without a file.
  void xmlWrite(const char* text, int length);

 private:
  friend class CXmlFileItem;
  friend VDKIT_API bool operator>>(CXmlArchive& ar, CVDFile& file);
  friend VDKIT_API bool operator<<(CXmlArchive& ar, CVDFile& file);

  void SetBit(BYTE bit, bool on) {
    m_nMode = static_cast<BYTE>(on ? (m_nMode | bit) : (m_nMode & ~bit));
  }
  void WriteIndent();
  /// Writes to the file, or to the text gathered while a tree is written.
  void Emit(const char* text, size_t n);
  void FlushPending() const;
  bool WriteVar(CXmlVar& var, bool attribute);
  bool ReadAttribute(CXmlVar& var, const char* name);

  CXmlItem* m_pItem = nullptr;
  CFile* m_pFile = nullptr;
  BYTE m_nMode = 0;
  BYTE m_nFlag = 0;
  /// Held wider than a byte so that trees deeper than 255 levels keep their
  /// indentation (capped at kMaxIndent anyway).
  int m_nDepth = 0;
  BYTE m_nHead = 0;
  /// How many archives lie between this one and the top: bounds the object
  /// reader's recursion.
  int m_nNest = 0;
  /// While operator<< writes a tree: the text not yet in the file, shared by
  /// the copies and child archives made meanwhile (which live no longer than
  /// the element they are made for). Null otherwise.
  std::string* m_pPending = nullptr;
  static constexpr size_t kPendingBytes = 256 * 1024;
};

/// Raises an archive's depth for as long as it lives.
class VDKIT_API CXmlSpace {
 public:
  /// One level deeper for the archive's life of this object.
  explicit CXmlSpace(CXmlArchive* ar) : m_pArchive(ar) {
    if (m_pArchive) m_pArchive->SetHeaddSpace(m_pArchive->GetHeaddSpace() + 1);
  }
  ~CXmlSpace() {
    if (m_pArchive) m_pArchive->SetHeaddSpace(m_pArchive->GetHeaddSpace() - 1);
  }
  CXmlSpace(const CXmlSpace&) = delete;
  CXmlSpace& operator=(const CXmlSpace&) = delete;

 private:
  CXmlArchive* m_pArchive;
};

/// Writes the head (once) and the element of `file` and its subtree. True;
/// false, and nothing written, for an archive that is not storing or has no
/// file.
VDKIT_API bool operator<<(CXmlArchive& ar, CVDFile& file);

/// Reads an object tree into `file`.
/// On a top archive: parses the whole document from the file's position; the
/// first element must carry class='...' naming file's class (ASCII case
/// ignored), else false and nothing changed. `file` takes the element's name
/// and type, reads its own data, and then each child element with a class
/// attribute becomes a child object: the child of that name when there is one,
/// else a new object of that class (elements of unknown classes are passed
/// over). Answers false when a Serialize refuses, when objects nest deeper
/// than kVDFileMaxDepth or when the document is damaged (cut short,
/// malformed); the objects read until then stay in the tree.
/// On a child archive: `file` (which must have a name) reads the child of the
/// archive's item with its name and class, the same way.
VDKIT_API bool operator>>(CXmlArchive& ar, CVDFile& file);

/// A node of the item tree that the object reader builds: it carries the
/// object bound to it while that object loads.
class VDKIT_API CXmlFileItem : public CXmlItem {
 public:
  explicit CXmlFileItem(CXmlItem* parent) : CXmlItem(parent) {}  ///< a node under parent, bound to no object

  /// The loading step of this element, `parent` being the node above it
  /// (null for the root of the load): a bound object (or, with no parent,
  /// none) reads its own data; a child element with a class attribute
  /// becomes a child object of the parent's object; the child elements then
  /// load in turn, and the node lets go of its subtree. A child element
  /// reuses a child object of its name that the parent object had before its
  /// element's children began to load; otherwise it makes a new one. True
  /// also for data
  /// elements, consumed elements and unknown classes; false when an object's
  /// Serialize refuses or objects nest too deep.
  bool Serialize(CXmlArchive& ar, CXmlItem* parent) override;

  /// The object the element is read into, or null.
  ///@{
  CVDFile* GetBoundFile() const { return m_pFile; }
  void BindFile(CVDFile* file) { m_pFile = file; }
  ///@}

 private:
  struct Siblings;
  VDKIT_XML_LOCAL static bool Load(CXmlArchive& ar, CXmlItem* node, CXmlItem* parentNode, CVDFile* bound,
                                   CVDFile* parentFile, Siblings* siblings);
  VDKIT_XML_LOCAL static void MakeUnnamed(CVDFile* file);
  friend VDKIT_API bool operator>>(CXmlArchive& ar, CVDFile& file);
  friend VDKIT_API bool operator<<(CXmlArchive& ar, CVDFile& file);

  CVDFile* m_pFile = nullptr;  ///< not owned
};

/// A parser whose nodes are CXmlFileItem.
class VDKIT_API CXmlFileParser : public CXmlParser {
 public:
  CXmlFileParser();
  /// As CXmlParser's.
  ///@{
  CXmlFileParser(const CXmlFileParser& other);
  CXmlFileParser& operator=(const CXmlFileParser&) = default;
  ///@}
  CXmlItem* CreateObj(CXmlItem* parent) override;

 private:
  static const PlainKind kFileKind;
};
