#include "vdkit/core/string_sets.h"

#include <algorithm>
#include <cstring>

#include "vdkit/core/padded_string.h"
#include "vdkit/platform/codepage.h"

// ---- CStringEx ------------------------------------------------------------------

CStringEx::CStringEx(UINT id1, UINT id2, UINT id3) {
  const UINT ids[3] = {id1, id2, id3};
  for (int k = 0; k < 3; ++k) {
    if (k > 0 && ids[k] == 0) continue;
    CString part;
    if (part.LoadString(ids[k])) *this += part;
  }
}

// ---- CStringArrayEx ----------------------------------------------------------------

CStringArrayEx::CStringArrayEx(int id) {
  CString text;
  if (!text.LoadString(static_cast<UINT>(id))) return;
  const std::string& s = text.str();
  size_t start = 0;
  while (start <= s.size()) {
    const size_t end = s.find_first_of(",;\n", start);
    const size_t stop = end == std::string::npos ? s.size() : end;
    if (stop > start) Add(CString(s.substr(start, stop - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

int CStringArrayEx::Find(const char* text) const {
  for (INT_PTR i = 0; i < GetSize(); ++i)
    if (GetAt(i).CompareNoCase(text ? text : "") == 0) return static_cast<int>(i);
  return -1;
}

int CStringArrayEx::AddEx(const char* text) {
  const int i = Find(text);
  return i >= 0 ? i : static_cast<int>(Add(text ? text : ""));
}

void CStringArrayEx::Move(int from, int to) {
  if (from < 0 || to < 0 || from >= GetSize()) return;
  const CString item = GetAt(from);
  RemoveAt(from);
  if (to > GetSize()) to = static_cast<int>(GetSize());
  InsertAt(to, item);
}

CStringArrayEx& CStringArrayEx::operator=(const CStringArray& other) {
  if (static_cast<const CStringArray*>(this) != &other) {
    RemoveAll();
    for (const CString& s : other) Add(s);
  }
  return *this;
}

CStringArrayEx& CStringArrayEx::operator=(const CStringArrayEx& other) {
  return *this = static_cast<const CStringArray&>(other);
}

// ---- CStringSet --------------------------------------------------------------------

int CStringSet::StrippedLength(const char* text, int len) {
  if (len < 0) len = static_cast<int>(std::strlen(text));
  while (len > 0 && (text[len - 1] == '\r' || text[len - 1] == '\n')) --len;
  return len;
}

void CStringSet::NoteLength(size_t len) {
  const size_t capped = std::min<size_t>(len, 0x7FFF);
  if (static_cast<SHORT>(capped) > m_nLongest) m_nLongest = static_cast<SHORT>(capped);
}

const char* CStringSet::GetLine(int i) const {
  if (i < 0 || i >= static_cast<int>(m_lines.size())) return "";
  return m_lines[static_cast<size_t>(i)].c_str();
}

void CStringSet::SetLine(int i, const char* text, int len) {
  if (i < 0 || i >= static_cast<int>(m_lines.size())) return;
  std::string& slot = m_lines[static_cast<size_t>(i)];
  std::string().swap(slot);
  if (!text) return;
  len = StrippedLength(text, len);
  if (len >= 1) slot.assign(text, static_cast<size_t>(len));
  NoteLength(slot.size());
  m_bModified = true;
}

void CStringSet::AppendLine(int i, const char* text, int len) {
  if (!text || i < 0) return;
  len = StrippedLength(text, len);
  // A slot beyond the maximum line count can never exist: dropping old
  // lines would not make room for it.
  if (len < 1 || (m_nMaxLine > 0 && i >= m_nMaxLine)) return;
  NewLine(i);
  if (i >= static_cast<int>(m_lines.size())) return;
  std::string& slot = m_lines[static_cast<size_t>(i)];
  slot.append(text, static_cast<size_t>(len));
  NoteLength(slot.size());
  m_bModified = true;
}

void CStringSet::AddLine(const char* text) {
  NewLine(m_nCount);
  if (m_nCount >= static_cast<int>(m_lines.size())) return;  // a buffer of no slots
  if (text) SetLine(m_nCount, text);
  ++m_nCount;
}

void CStringSet::AddText(const char* text) {
  if (m_nCount == 0) AddLine(nullptr);
  if (!text || m_nCount == 0) return;
  while (*text) {
    const char* lf = std::strchr(text, '\n');
    if (!lf) {
      AppendLine(m_nCount - 1, text);
      return;
    }
    AppendLine(m_nCount - 1, text, static_cast<int>(lf - text));
    AddLine(nullptr);
    text = lf + 1;
  }
}

void CStringSet::Reset() {
  std::vector<std::string>().swap(m_lines);
  m_nCount = 0;
  m_bModified = false;
  m_nLongest = 0;
}

void CStringSet::MoveLine(int n) {
  const int capacity = static_cast<int>(m_lines.size());
  if (n < 1 || capacity == 0) return;
  n = std::min(n, capacity);
  std::rotate(m_lines.begin(), m_lines.begin() + n, m_lines.end());
  for (int k = capacity - n; k < capacity; ++k) std::string().swap(m_lines[static_cast<size_t>(k)]);
  m_nCount = std::max(m_nCount - n, 0);
}

void CStringSet::NewLine(int i, bool dropOldest) {
  if (i >= static_cast<int>(m_lines.size())) SetLineBuffer(i + 50);
  if (i >= static_cast<int>(m_lines.size()) && dropOldest) MoveLine(1);
}

void CStringSet::SetLineBuffer(int n) {
  if (m_nMaxLine > 0) n = std::min(n, m_nMaxLine);
  if (n < 0) n = 0;
  if (n == static_cast<int>(m_lines.size())) return;
  m_nCount = std::min(m_nCount, n);
  m_lines.resize(static_cast<size_t>(n));
  for (size_t k = static_cast<size_t>(m_nCount); k < m_lines.size(); ++k) std::string().swap(m_lines[k]);
}

// ---- CKeyStringSet -------------------------------------------------------------------

int CKeyStringSet::IndexOfKey(const char* key) const {
  for (size_t i = 0; i < m_pairs.size(); ++i)
    if (MbsICmp(m_pairs[i].key, key ? key : "") == 0) return static_cast<int>(i);
  return -1;
}

void CKeyStringSet::Add(const char* key, const char* text) {
  const int i = IndexOfKey(key);
  if (i >= 0) {
    m_pairs[static_cast<size_t>(i)].key = key;
    m_pairs[static_cast<size_t>(i)].text = text;
  } else {
    m_pairs.push_back(Pair{key, text});
  }
}

const char* CKeyStringSet::GetText(const char* key) const {
  const int i = IndexOfKey(key);
  return i < 0 ? nullptr : m_pairs[static_cast<size_t>(i)].text.GetString();
}

const char* CKeyStringSet::GetKey(const char* text) const {
  for (const Pair& p : m_pairs)
    if (MbsICmp(p.text, text ? text : "") == 0) return p.key;
  return nullptr;
}

const char* CKeyStringSet::GetText(int i) const {
  return i >= 0 && i < GetCount() ? m_pairs[static_cast<size_t>(i)].text.GetString() : nullptr;
}

const char* CKeyStringSet::GetKey(int i) const {
  return i >= 0 && i < GetCount() ? m_pairs[static_cast<size_t>(i)].key.GetString() : nullptr;
}

void CKeyStringSet::RemoveAt(int i) {
  if (i >= 0 && i < GetCount()) m_pairs.erase(m_pairs.begin() + i);
}

// ---- CKeyStringArraySet ------------------------------------------------------------

CKeyStringArraySet& CKeyStringArraySet::operator=(const CKeyStringArraySet& other) {
  if (this == &other) return *this;
  Reset();
  m_items.reserve(other.m_items.size());
  for (const auto& item : other.m_items) m_items.push_back(std::make_unique<SItem>(*item));
  return *this;
}

int CKeyStringArraySet::IndexOfKey(const char* key) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (MbsICmp(m_items[i]->m_strKey, key ? key : "") == 0) return static_cast<int>(i);
  return -1;
}

CStringArray* CKeyStringArraySet::Add(const char* key, const char* value) {
  const int i = IndexOfKey(key);
  SItem* item;
  if (i >= 0) {
    item = m_items[static_cast<size_t>(i)].get();
  } else {
    m_items.push_back(std::make_unique<SItem>());
    item = m_items.back().get();
    item->m_strKey = key;
  }
  if (value) item->m_saValues.Add(value);
  return &item->m_saValues;
}

const char* CKeyStringArraySet::GetText(const char* key, int i) const {
  const int k = IndexOfKey(key);
  if (k < 0) return nullptr;
  const CStringArray& values = m_items[static_cast<size_t>(k)]->m_saValues;
  return i >= 0 && i < values.GetSize() ? values[i].GetString() : nullptr;
}

CStringArray* CKeyStringArraySet::GetSA(const char* key) {
  const int k = IndexOfKey(key);
  return k < 0 ? nullptr : &m_items[static_cast<size_t>(k)]->m_saValues;
}

bool CKeyStringArraySet::GetAllText(const char* key, CString& out, bool crlf) const {
  const int k = IndexOfKey(key);
  if (k < 0) return false;
  out.Empty();
  for (const CString& v : m_items[static_cast<size_t>(k)]->m_saValues) {
    out += v;
    out += crlf ? "\r\n" : "\n";
  }
  return true;
}

const char* CKeyStringArraySet::GetKeyAt(int i) const {
  return i >= 0 && i < GetCount() ? m_items[static_cast<size_t>(i)]->m_strKey.GetString() : nullptr;
}

CKeyStringArraySet::SItem* CKeyStringArraySet::GetAt(int i) {
  return i >= 0 && i < GetCount() ? m_items[static_cast<size_t>(i)].get() : nullptr;
}

void CKeyStringArraySet::DeleteAt(int i) {
  if (i >= 0 && i < GetCount()) m_items.erase(m_items.begin() + i);
}

void CKeyStringArraySet::ResetAt(int i) {
  if (i >= 0 && i < GetCount()) m_items[static_cast<size_t>(i)]->m_saValues.RemoveAll();
}

namespace {

void WriteCount(CFile& file, INT_PTR n) {
  const DWORD v = static_cast<DWORD>(n);
  const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                     static_cast<BYTE>(v >> 24)};
  file.Write(b, 4);
}

bool ReadCount(CFile& file, LONG& n) {
  BYTE b[4];
  if (file.Read(b, 4) != 4) return false;
  n = static_cast<LONG>(static_cast<DWORD>(b[0]) | static_cast<DWORD>(b[1]) << 8 |
                        static_cast<DWORD>(b[2]) << 16 | static_cast<DWORD>(b[3]) << 24);
  return true;
}

}  // namespace

bool CKeyStringArraySet::Write(CFile& file) const {
  WriteCount(file, GetCount());
  for (const auto& item : m_items) {
    WritePaddedString(file, item->m_strKey);
    WriteCount(file, item->m_saValues.GetSize());
    for (const CString& v : item->m_saValues) WritePaddedString(file, v);
  }
  return true;
}

bool CKeyStringArraySet::Read(CFile& file) {
  LONG items = 0;
  if (!ReadCount(file, items)) return false;
  // Counts need no bound of their own: each item and value takes at least
  // four bytes, so a count beyond what the file holds ends at its end.
  for (LONG i = 0; i < items; ++i) {
    CString key;
    LONG values = 0;
    if (!ReadPaddedString(file, key)) return false;
    CStringArray* array = Add(key, nullptr);
    if (!ReadCount(file, values)) return false;
    for (LONG k = 0; k < values; ++k) {
      CString value;
      if (!ReadPaddedString(file, value)) return false;
      array->Add(value);
    }
  }
  return true;
}
