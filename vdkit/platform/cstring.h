/// @file
/// CString: the framework's 8-bit string with value semantics.
///
/// Text is bytes in the host's code page; nothing here decodes characters.
/// Every operation that builds text sizes its storage from the text, so
/// nothing is ever cut or overrun (Format included).
///
/// ```
/// CString s;
/// s.Format("%s:%d", "Depth", 3);          // "Depth:3"
/// int colon = s.Find(':');                 // 5
/// CString name = s.Left(colon);            // "Depth"
/// ```
///
/// Differences from the framework's class:
///  - lengths and indices are int, as there; no wide-character forms, no
///    reference counting (copies are plain copies);
///  - an embedded NUL is kept in the length (GetLength counts it) until
///    ReleaseBuffer(-1) measures the text up to the first NUL;
///  - LoadString reads the process-wide string table (vdkit/platform/resources.h).
#pragma once

#include <cstdarg>
#include <string>

#include "vdkit/platform/types.h"

/// An 8-bit string with value semantics: the framework's string class (see the
/// file's description for what differs).
class VDKIT_API CString {
 public:
  // ---- Construction -----------------------------------------------------
  CString() = default;
  /// A copy of a NUL-terminated text, of the first nLength bytes of pch, of ch
  /// repeated nRepeat times, of a std::string or of another CString; a null
  /// pointer gives the empty string.
  ///@{
  CString(const char* psz) : m_str(psz ? psz : "") {}
  CString(const char* pch, int nLength) : m_str(pch ? pch : "", pch && nLength > 0 ? nLength : 0) {}
  CString(char ch, int nRepeat = 1) : m_str(nRepeat > 0 ? nRepeat : 0, ch) {}
  CString(const std::string& s) : m_str(s) {}
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  ///@}
  /// Replaces the text with a copy of psz (empty for null) or with the single
  /// character ch.
  ///@{
  CString& operator=(const char* psz) {
    m_str.assign(psz ? psz : "");
    return *this;
  }
  CString& operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
  }
  ///@}

  // ---- Length and access --------------------------------------------------
  int GetLength() const { return static_cast<int>(m_str.size()); }  ///< the length in bytes
  bool IsEmpty() const { return m_str.empty(); }                    ///< whether the length is 0
  void Empty() { m_str.clear(); }                                   ///< makes the string empty
  /// The byte at index i, which must lie inside the text.
  ///@{
  char GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }
  void SetAt(int i, char ch) { m_str[static_cast<size_t>(i)] = ch; }
  char operator[](int i) const { return m_str[static_cast<size_t>(i)]; }
  ///@}
  /// The NUL-terminated text, valid until the string next changes.
  ///@{
  operator const char*() const { return m_str.c_str(); }
  const char* GetString() const { return m_str.c_str(); }
  ///@}

  // ---- Concatenation and comparison -----------------------------------------
  /// Appends a string, a NUL-terminated text (nothing for null) or a character.
  ///@{
  CString& operator+=(const CString& s) {
    m_str += s.m_str;
    return *this;
  }
  CString& operator+=(const char* psz) {
    if (psz) m_str += psz;
    return *this;
  }
  CString& operator+=(char ch) {
    m_str += ch;
    return *this;
  }
  ///@}
  /// Appends the first n bytes of pch (nothing for null or n below 1).
  void Append(const char* pch, int n) {
    if (pch && n > 0) m_str.append(pch, static_cast<size_t>(n));
  }
  void AppendChar(char ch) { m_str += ch; }  ///< appends one character
  /// strcmp-style results; CompareNoCase folds ASCII letters only.
  ///@{
  int Compare(const char* psz) const;
  int CompareNoCase(const char* psz) const;
  ///@}

  // ---- Formatting ---------------------------------------------------------
  /// Replaces the text with the printf-style formatted arguments.
  void Format(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void FormatV(const char* fmt, va_list args);  ///< Format with a va_list
  /// Appends the printf-style formatted arguments.
  void AppendFormat(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  /// Loads string resource `id`; false (and the string unchanged) if none.
  BOOL LoadString(UINT id);

  // ---- Direct buffer access --------------------------------------------
  /// Gives a writable buffer of at least nMinBufLength characters plus a
  /// terminating NUL; the current text is kept at its start.
  char* GetBuffer(int nMinBufLength = 0);
  /// Sets the length to nNewLength (below 0: 0), keeping the text's start,
  /// and gives the writable buffer.
  char* GetBufferSetLength(int nNewLength);
  /// Ends direct access: the length becomes nNewLength, or with -1 the length
  /// of the text up to the first NUL.
  void ReleaseBuffer(int nNewLength = -1);
  void FreeExtra() { m_str.shrink_to_fit(); }  ///< gives back unused capacity

  // ---- Search -------------------------------------------------------------
  /// Index of the first match at or after nStart, or -1.
  ///@{
  int Find(char ch, int nStart = 0) const;
  int Find(const char* psz, int nStart = 0) const;
  ///@}
  int ReverseFind(char ch) const;               ///< index of the last ch, or -1
  int FindOneOf(const char* charSet) const;     ///< index of the first byte in charSet, or -1

  // ---- Extraction -----------------------------------------------------------
  /// Counts and positions are clamped to the text, as in the framework.
  ///@{
  CString Left(int nCount) const;
  CString Right(int nCount) const;
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;
  ///@}
  /// The longest start of the text made only of bytes in charSet (empty for null).
  CString SpanIncluding(const char* charSet) const;
  /// The longest start of the text without any byte of charSet (all for null).
  CString SpanExcluding(const char* charSet) const;

  // ---- Modification -------------------------------------------------------
  /// Replace returns the number of replacements; an empty old text replaces nothing.
  ///@{
  int Replace(char chOld, char chNew);
  int Replace(const char* pszOld, const char* pszNew);
  ///@}
  int Remove(char ch);  ///< removes every ch; the number removed
  /// Inserts at nIndex (clamped to the text); the new length.
  ///@{
  int Insert(int nIndex, char ch);
  int Insert(int nIndex, const char* psz);
  ///@}
  /// Deletes up to nCount bytes from nIndex; the new length.
  int Delete(int nIndex, int nCount = 1);
  /// Removes leading white space, or leading ch, or leading bytes of charSet.
  ///@{
  CString& TrimLeft();  ///< white space
  CString& TrimLeft(char ch);
  CString& TrimLeft(const char* charSet);
  ///@}
  /// Removes trailing white space, or trailing ch, or trailing bytes of charSet.
  ///@{
  CString& TrimRight();
  CString& TrimRight(char ch);
  CString& TrimRight(const char* charSet);
  ///@}
  CString& Trim() { return TrimLeft().TrimRight(); }  ///< TrimLeft, then TrimRight
  /// Changes ASCII letters to upper or lower case; other bytes stay.
  ///@{
  CString& MakeUpper();
  CString& MakeLower();
  ///@}
  CString& MakeReverse();  ///< reverses the bytes

  // ---- vdkit extensions -------------------------------------------------------
  /// The text as a std::string (vdkit only).
  ///@{
  const std::string& str() const { return m_str; }
  std::string& str() { return m_str; }
  ///@}

 private:
  std::string m_str;
};

/// The concatenation of the two operands.
///@{
VDKIT_API CString operator+(const CString& a, const CString& b);
VDKIT_API CString operator+(const CString& a, const char* b);
VDKIT_API CString operator+(const char* a, const CString& b);
VDKIT_API CString operator+(const CString& a, char b);
VDKIT_API CString operator+(char a, const CString& b);

///@}

/// Byte-wise comparisons, as strcmp orders.
///@{
inline bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
inline bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
inline bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const CString& b) { return !(a == b); }
inline bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
inline bool operator<(const CString& a, const char* b) { return a.Compare(b) < 0; }
inline bool operator>(const CString& a, const CString& b) { return b < a; }
inline bool operator<=(const CString& a, const CString& b) { return !(b < a); }
inline bool operator>=(const CString& a, const CString& b) { return !(a < b); }
///@}
