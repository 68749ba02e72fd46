/// @file
/// String collections: CStringEx (a string built from string resources),
/// CStringArrayEx (a string array with case-insensitive find), CStringSet (a
/// line buffer with an optional maximum number of lines, for log and message
/// panes), CKeyStringSet (key -> text pairs) and CKeyStringArraySet (key ->
/// list of texts, storable in a binary file).
///
/// ```
/// CStringSet log;
/// log.SetMaxLine(1000);              // keeps the newest 1000 lines
/// log.AddText("started\nloading "); // "started", then "loading " ...
/// log.AddText("done\n");             // ... completed to "loading done"
///
/// CKeyStringArraySet wells;
/// wells.Add("W1", "2004-3-5");
/// wells.Add("w1", "2004-3-9");       // same key: appended to its list
/// ```
///
/// Keys ignore letter case: CKeyStringSet and CKeyStringArraySet compare with
/// MbsICmp under the host code page (vdkit/platform/codepage.h), so the trail
/// bytes of double-byte characters are never folded; CStringArrayEx folds
/// single bytes (ASCII letters).
///
/// Ownership: every container owns its texts; copies are deep. Pointers and
/// references a container hands out (texts, a key's string array) stay valid
/// until that entry is changed or removed, or the container is reset.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

// ---- CStringEx ------------------------------------------------------------------
/// A CString that can be built from string resources.
class VDKIT_API CStringEx : public CString {
 public:
  CStringEx() = default;
  CStringEx(const char* text) : CString(text) {}  ///< a copy of the text (empty for null)
  /// Resource string id1, followed by id2 and id3 when they are not 0. A
  /// missing resource adds nothing.
  CStringEx(UINT id1, UINT id2 = 0, UINT id3 = 0);
  /// Copies the text.
  ///@{
  CStringEx(const CStringEx&) = default;
  CStringEx& operator=(const CStringEx&) = default;
  ///@}
};

// ---- CStringArrayEx ----------------------------------------------------------------
/// A CStringArray with case-insensitive search and moves.
class VDKIT_API CStringArrayEx : public CStringArray {
 public:
  CStringArrayEx() = default;
  /// The tokens of resource string `id` separated by any of ",;\n"; empty
  /// tokens are skipped. A missing resource gives an empty array.
  explicit CStringArrayEx(int id);
  CStringArrayEx(const CStringArrayEx& other) : CStringArray(other) {}  ///< copies every element

  /// Index of the first element equal to `text` ignoring ASCII case, or -1.
  int Find(const char* text) const;
  /// Find, or when there is no such element, append `text`; the index.
  int AddEx(const char* text);
  /// Removes element `from` and inserts it at `to` (an index after the
  /// removal). Nothing happens unless both are >= 0 and `from` exists; a `to`
  /// past the end appends.
  void Move(int from, int to);
  /// Empties, then copies every element of other.
  ///@{
  CStringArrayEx& operator=(const CStringArray& other);
  CStringArrayEx& operator=(const CStringArrayEx& other);
  ///@}
};

// ---- CStringSet --------------------------------------------------------------------
/// Lines in slots 0 .. count-1 of a buffer of `capacity` slots. Stored lines
/// never end in carriage return or line feed: those are stripped on entry.
/// With a maximum line count M the buffer keeps the newest M lines, dropping
/// the oldest as new ones arrive.
class VDKIT_API CStringSet {
 public:
  CStringSet() = default;
  /// Deep: the copy has lines of its own.
  ///@{
  CStringSet(const CStringSet&) = default;
  CStringSet& operator=(const CStringSet&) = default;
  ///@}
  virtual ~CStringSet() = default;

  int GetLineCount() const { return m_nCount; }  ///< the number of lines
  /// The length of the longest line ever stored (up to 32767); only Reset
  /// lowers it.
  int GetMaxCharCount() const { return m_nLongest; }
  /// Whether a line's text has changed since the flag was last cleared.
  ///@{
  bool IsModified() const { return m_bModified; }
  void SetModified(bool modified) { m_bModified = modified; }
  ///@}
  /// 0 = unlimited. Takes effect as the buffer next grows.
  ///@{
  void SetMaxLine(int maxLines) { m_nMaxLine = maxLines; }
  int GetMaxLine() const { return m_nMaxLine; }
  ///@}

  /// The text of line i; "" for an empty slot or an index outside the buffer.
  const char* GetLine(int i) const;
  /// Sets slot i (ignored outside the buffer). A null text empties the slot
  /// and changes nothing else; otherwise `len` characters (up to the
  /// terminator when below 0), less trailing CR/LF, are stored, and the slot
  /// counts as modified even when that leaves it empty.
  void SetLine(int i, const char* text, int len = -1);
  /// Appends to slot i, making room for it; nothing for a null text or a
  /// stripped length below 1.
  void AppendLine(int i, const char* text, int len = -1);
  /// Adds a line after the last one (an empty line for a null text).
  void AddLine(const char* text);
  /// Appends text to the last line, starting a new line after each line feed.
  void AddText(const char* text);
  /// Frees every line and the buffer; count, modified and longest become 0.
  void Reset();

 protected:
  /// Drops the first n lines, moving the others up.
  void MoveLine(int n);
  /// Makes sure slot i exists: grows the buffer to i + 50 slots (at most the
  /// maximum line count), and when that is not enough and `dropOldest` is
  /// true, drops the oldest line.
  void NewLine(int i, bool dropOldest = true);
  /// Resizes the buffer to n slots (at most the maximum line count), keeping
  /// the first count lines.
  void SetLineBuffer(int n);

 private:
  /// The length of `text` to store: `len`, or up to the terminator when below
  /// 0, less trailing CR and LF.
  static int StrippedLength(const char* text, int len);
  void NoteLength(size_t len);

  std::vector<std::string> m_lines;  ///< the slots; size is the capacity
  int m_nMaxLine = 0;
  int m_nCount = 0;
  bool m_bModified = false;
  SHORT m_nLongest = 0;
};

// ---- CKeyStringSet -------------------------------------------------------------------
/// Key -> text pairs in insertion order.
class VDKIT_API CKeyStringSet {
 public:
  CKeyStringSet() = default;
  /// Deep: the copy has pairs of its own.
  ///@{
  CKeyStringSet(const CKeyStringSet&) = default;
  CKeyStringSet& operator=(const CKeyStringSet&) = default;
  ///@}
  virtual ~CKeyStringSet() = default;

  /// An existing pair with an equal key takes the key as given and the new
  /// text; otherwise a pair is appended. Null counts as "".
  void Add(const char* key, const char* text);
  /// The text of the first pair with that key, or null.
  const char* GetText(const char* key) const;
  /// The key of the first pair whose text equals `text` ignoring case, or null.
  const char* GetKey(const char* text) const;
  /// By index; null outside 0 .. count-1.
  ///@{
  const char* GetText(int i) const;
  const char* GetKey(int i) const;
  ///@}
  /// Destroys pair i (ignored outside the list) and closes the gap.
  void RemoveAt(int i);
  void RemoveAll() { m_pairs.clear(); }                              ///< destroys every pair
  int GetCount() const { return static_cast<int>(m_pairs.size()); }  ///< the number of pairs

 private:
  struct Pair {
    CString key;
    CString text;
  };
  int IndexOfKey(const char* key) const;
  std::vector<Pair> m_pairs;
};

// ---- CKeyStringArraySet ------------------------------------------------------------
/// Key -> list of texts in insertion order, storable in a binary file:
/// 32-bit item count, then per item the key as a padded string, a 32-bit
/// value count and the values as padded strings (little-endian).
class VDKIT_API CKeyStringArraySet {
 public:
  /// One key and its values.
  struct SItem {
    CString m_strKey;         ///< the key as first added
    CStringArray m_saValues;  ///< the values, in order
  };

  CKeyStringArraySet() = default;
  CKeyStringArraySet(const CKeyStringArraySet& other) { *this = other; }  ///< deep, as operator=
  /// Resets, then copies every item deeply.
  CKeyStringArraySet& operator=(const CKeyStringArraySet& other);
  virtual ~CKeyStringArraySet() = default;

  /// Appends a non-null `value` to the array of an existing item with an
  /// equal key, or creates the item (with the value, when not null). Returns
  /// the item's array (valid until the item is deleted or the set reset).
  CStringArray* Add(const char* key, const char* value);
  /// Value i of the key's array; null when the key is missing or i is outside
  /// the array.
  const char* GetText(const char* key, int i) const;
  /// The key's array, or null.
  CStringArray* GetSA(const char* key);
  /// Every value of the key followed by "\r\n" (crlf) or "\n"; false, with
  /// `out` untouched, when the key is missing.
  bool GetAllText(const char* key, CString& out, bool crlf) const;
  /// By index; null outside 0 .. count-1.
  ///@{
  const char* GetKeyAt(int i) const;
  SItem* GetAt(int i);
  ///@}
  /// Destroys item i and closes the gap / empties its values; ignored outside
  /// the list.
  ///@{
  void DeleteAt(int i);
  void ResetAt(int i);
  ///@}
  void Reset() { std::vector<std::unique_ptr<SItem>>().swap(m_items); }  ///< destroys every item
  int GetCount() const { return static_cast<int>(m_items.size()); }      ///< the number of items

  /// Writes the file form at the file's position; true.
  bool Write(CFile& file) const;
  /// Reads the file form, adding each key with Add(key, null) and appending
  /// its values; an item count below 1 reads nothing and a value count below
  /// 1 gives its key no values. False when the file ends early; the items and
  /// values read until then stay.
  bool Read(CFile& file);

 private:
  int IndexOfKey(const char* key) const;
  std::vector<std::unique_ptr<SItem>> m_items;
};
