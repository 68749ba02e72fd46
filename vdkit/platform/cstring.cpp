#include "vdkit/platform/cstring.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "vdkit/platform/resources.h"

namespace {

int FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

int CString::Compare(const char* psz) const { return std::strcmp(m_str.c_str(), psz ? psz : ""); }

int CString::CompareNoCase(const char* psz) const {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(m_str.c_str());
  const unsigned char* b = reinterpret_cast<const unsigned char*>(psz ? psz : "");
  for (;; ++a, ++b) {
    const int d = FoldAscii(*a) - FoldAscii(*b);
    if (d != 0 || *a == 0) return d;
  }
}

void CString::FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) {
    m_str.clear();
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    m_str.assign(small, static_cast<size_t>(n));
    return;
  }
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), fmt, args);
  out.resize(static_cast<size_t>(n));
  m_str.swap(out);
}

void CString::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatV(fmt, args);
  va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
  CString tail;
  va_list args;
  va_start(args, fmt);
  tail.FormatV(fmt, args);
  va_end(args);
  m_str += tail.m_str;
}

BOOL CString::LoadString(UINT id) {
  const char* text = FindStringResource(id);
  if (!text) return FALSE;
  m_str.assign(text);
  return TRUE;
}

char* CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > GetLength()) m_str.resize(static_cast<size_t>(nMinBufLength));
  return &m_str[0];
}

char* CString::GetBufferSetLength(int nNewLength) {
  m_str.resize(static_cast<size_t>(std::max(nNewLength, 0)));
  return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength) {
  size_t len;
  if (nNewLength < 0)
    len = std::strlen(m_str.c_str());
  else
    len = std::min(static_cast<size_t>(nNewLength), m_str.size());
  m_str.resize(len);
}

int CString::Find(char ch, int nStart) const {
  if (nStart < 0) nStart = 0;
  if (nStart >= GetLength()) return -1;
  const size_t at = m_str.find(ch, static_cast<size_t>(nStart));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* psz, int nStart) const {
  if (!psz) return -1;
  if (nStart < 0) nStart = 0;
  if (nStart > GetLength()) return -1;
  const size_t at = m_str.find(psz, static_cast<size_t>(nStart));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
  const size_t at = m_str.rfind(ch);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(const char* charSet) const {
  if (!charSet) return -1;
  const size_t at = m_str.find_first_of(charSet);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int nCount) const {
  nCount = std::clamp(nCount, 0, GetLength());
  return CString(m_str.substr(0, static_cast<size_t>(nCount)));
}

CString CString::Right(int nCount) const {
  nCount = std::clamp(nCount, 0, GetLength());
  return CString(m_str.substr(m_str.size() - static_cast<size_t>(nCount)));
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
  nFirst = std::clamp(nFirst, 0, GetLength());
  nCount = std::clamp(nCount, 0, GetLength() - nFirst);
  return CString(m_str.substr(static_cast<size_t>(nFirst), static_cast<size_t>(nCount)));
}

CString CString::SpanIncluding(const char* charSet) const {
  const size_t n = charSet ? std::strspn(m_str.c_str(), charSet) : 0;
  return CString(m_str.substr(0, n));
}

CString CString::SpanExcluding(const char* charSet) const {
  const size_t n = charSet ? std::strcspn(m_str.c_str(), charSet) : m_str.size();
  return CString(m_str.substr(0, n));
}

int CString::Replace(char chOld, char chNew) {
  int n = 0;
  for (char& c : m_str)
    if (c == chOld) {
      c = chNew;
      ++n;
    }
  return n;
}

int CString::Replace(const char* pszOld, const char* pszNew) {
  if (!pszOld || !*pszOld) return 0;
  const std::string from(pszOld), to(pszNew ? pszNew : "");
  std::string out;
  int n = 0;
  size_t pos = 0;
  for (;;) {
    const size_t at = m_str.find(from, pos);
    if (at == std::string::npos) break;
    out.append(m_str, pos, at - pos);
    out += to;
    pos = at + from.size();
    ++n;
  }
  if (n) {
    out.append(m_str, pos, std::string::npos);
    m_str.swap(out);
  }
  return n;
}

int CString::Remove(char ch) {
  const size_t before = m_str.size();
  m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
  return static_cast<int>(before - m_str.size());
}

int CString::Insert(int nIndex, char ch) {
  nIndex = std::clamp(nIndex, 0, GetLength());
  m_str.insert(static_cast<size_t>(nIndex), 1, ch);
  return GetLength();
}

int CString::Insert(int nIndex, const char* psz) {
  nIndex = std::clamp(nIndex, 0, GetLength());
  if (psz) m_str.insert(static_cast<size_t>(nIndex), psz);
  return GetLength();
}

int CString::Delete(int nIndex, int nCount) {
  nIndex = std::max(nIndex, 0);
  if (nCount > 0 && nIndex < GetLength())
    m_str.erase(static_cast<size_t>(nIndex), static_cast<size_t>(std::min(nCount, GetLength() - nIndex)));
  return GetLength();
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_str.size() && IsSpace(m_str[i])) ++i;
  m_str.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(char ch) {
  size_t i = 0;
  while (i < m_str.size() && m_str[i] == ch) ++i;
  m_str.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(const char* charSet) {
  if (!charSet) return *this;
  const size_t i = m_str.find_first_not_of(charSet);
  m_str.erase(0, i == std::string::npos ? m_str.size() : i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = m_str.size();
  while (n > 0 && IsSpace(m_str[n - 1])) --n;
  m_str.resize(n);
  return *this;
}

CString& CString::TrimRight(char ch) {
  size_t n = m_str.size();
  while (n > 0 && m_str[n - 1] == ch) --n;
  m_str.resize(n);
  return *this;
}

CString& CString::TrimRight(const char* charSet) {
  if (!charSet) return *this;
  const size_t i = m_str.find_last_not_of(charSet);
  m_str.resize(i == std::string::npos ? 0 : i + 1);
  return *this;
}

CString& CString::MakeUpper() {
  for (char& c : m_str)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return *this;
}

CString& CString::MakeLower() {
  for (char& c : m_str)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(m_str.begin(), m_str.end());
  return *this;
}

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, const char* b) {
  CString r(a);
  r += b;
  return r;
}
CString operator+(const char* a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}
CString operator+(const CString& a, char b) {
  CString r(a);
  r += b;
  return r;
}
CString operator+(char a, const CString& b) {
  CString r(a);
  r += b;
  return r;
}
