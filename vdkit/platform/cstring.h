// CString: the framework's 8-bit string with value semantics.
//
// Text is bytes in the host's code page; nothing here decodes characters.
// Every operation that builds text sizes its storage from the text, so
// nothing is ever cut or overrun (Format included).
//
//   CString s;
//   s.Format("%s:%d", "Depth", 3);          // "Depth:3"
//   int colon = s.Find(':');                 // 5
//   CString name = s.Left(colon);            // "Depth"
//
// Differences from the framework's class:
//  - lengths and indices are int, as there; no wide-character forms, no
//    reference counting (copies are plain copies);
//  - an embedded NUL is kept in the length (GetLength counts it) until
//    ReleaseBuffer(-1) measures the text up to the first NUL;
//  - LoadString reads the process-wide string table (vdkit/platform/resources.h).
#pragma once

#include <cstdarg>
#include <string>

#include "vdkit/platform/types.h"

class VDKIT_API CString {
 public:
  // ---- Construction -----------------------------------------------------
  CString() = default;
  CString(const char* psz) : m_str(psz ? psz : "") {}
  CString(const char* pch, int nLength) : m_str(pch ? pch : "", pch && nLength > 0 ? nLength : 0) {}
  CString(char ch, int nRepeat = 1) : m_str(nRepeat > 0 ? nRepeat : 0, ch) {}
  CString(const std::string& s) : m_str(s) {}
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const char* psz) {
    m_str.assign(psz ? psz : "");
    return *this;
  }
  CString& operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
  }

  // ---- Length and access --------------------------------------------------
  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }
  char GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }
  void SetAt(int i, char ch) { m_str[static_cast<size_t>(i)] = ch; }
  char operator[](int i) const { return m_str[static_cast<size_t>(i)]; }
  operator const char*() const { return m_str.c_str(); }
  const char* GetString() const { return m_str.c_str(); }

  // ---- Concatenation and comparison -----------------------------------------
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
  void Append(const char* pch, int n) {
    if (pch && n > 0) m_str.append(pch, static_cast<size_t>(n));
  }
  void AppendChar(char ch) { m_str += ch; }
  // strcmp-style results; CompareNoCase folds ASCII letters only.
  int Compare(const char* psz) const;
  int CompareNoCase(const char* psz) const;

  // ---- Formatting ---------------------------------------------------------
  void Format(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void FormatV(const char* fmt, va_list args);
  void AppendFormat(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // Loads string resource `id`; false (and the string unchanged) if none.
  BOOL LoadString(UINT id);

  // ---- Direct buffer access --------------------------------------------
  // Gives a writable buffer of at least nMinBufLength characters plus a
  // terminating NUL; the current text is kept at its start.
  char* GetBuffer(int nMinBufLength = 0);
  char* GetBufferSetLength(int nNewLength);
  // Ends direct access: the length becomes nNewLength, or with -1 the length
  // of the text up to the first NUL.
  void ReleaseBuffer(int nNewLength = -1);
  void FreeExtra() { m_str.shrink_to_fit(); }

  // ---- Search -------------------------------------------------------------
  // Index of the first match at or after nStart, or -1.
  int Find(char ch, int nStart = 0) const;
  int Find(const char* psz, int nStart = 0) const;
  int ReverseFind(char ch) const;
  int FindOneOf(const char* charSet) const;

  // ---- Extraction -----------------------------------------------------------
  // Counts and positions are clamped to the text, as in the framework.
  CString Left(int nCount) const;
  CString Right(int nCount) const;
  CString Mid(int nFirst) const;
  CString Mid(int nFirst, int nCount) const;
  CString SpanIncluding(const char* charSet) const;
  CString SpanExcluding(const char* charSet) const;

  // ---- Modification -------------------------------------------------------
  // Replace returns the number of replacements; an empty old text replaces nothing.
  int Replace(char chOld, char chNew);
  int Replace(const char* pszOld, const char* pszNew);
  int Remove(char ch);
  int Insert(int nIndex, char ch);
  int Insert(int nIndex, const char* psz);
  int Delete(int nIndex, int nCount = 1);
  CString& TrimLeft();  // white space
  CString& TrimLeft(char ch);
  CString& TrimLeft(const char* charSet);
  CString& TrimRight();
  CString& TrimRight(char ch);
  CString& TrimRight(const char* charSet);
  CString& Trim() { return TrimLeft().TrimRight(); }
  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();

  // ---- vdkit extensions -------------------------------------------------------
  const std::string& str() const { return m_str; }
  std::string& str() { return m_str; }

 private:
  std::string m_str;
};

VDKIT_API CString operator+(const CString& a, const CString& b);
VDKIT_API CString operator+(const CString& a, const char* b);
VDKIT_API CString operator+(const char* a, const CString& b);
VDKIT_API CString operator+(const CString& a, char b);
VDKIT_API CString operator+(char a, const CString& b);

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
