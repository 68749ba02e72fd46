#include "vdkit/vdb/data_set.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vdkit/vdb/set_stream_internal.h"

namespace {

constexpr float kNullFloat = 9.999e-30f;

void* FloatToValue(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}
float ValueToFloat(void* v) {
  const auto bits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(v));
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
void* IntToValue(int i) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(i));
}
int ValueToInt(void* v) {
  return static_cast<int>(static_cast<int32_t>(reinterpret_cast<intptr_t>(v)));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The text as "%d" reads it: blanks, a sign, digits. Out-of-range values are
// clamped rather than left undefined.
bool ParseInt(const char* text, int& out) {
  if (!text) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text) return false;
  out = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int>(v);
  return true;
}

// The text as "%f" reads it.
bool ParseFloat(const char* text, float& out) {
  if (!text) return false;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text) return false;
  out = v;
  return true;
}

// Keys, the name and string values are one token on a text line: every byte
// that would split or end the token, and '%' itself, becomes %XX.
std::string Escape(const char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p <= 0x20 || *p == '%' || *p == 0x7F) {
      out += '%';
      out += kHex[*p >> 4];
      out += kHex[*p & 15];
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes %XX; a '%' not followed by two hex digits stays as it is. The
// text ends at a decoded zero byte, which is how an empty value is written.
std::string Unescape(const std::string& token) {
  std::string out;
  for (size_t i = 0; i < token.size(); ++i) {
    if (token[i] == '%' && i + 2 < token.size() && HexDigit(token[i + 1]) >= 0 &&
        HexDigit(token[i + 2]) >= 0) {
      const char c = static_cast<char>(HexDigit(token[i + 1]) * 16 + HexDigit(token[i + 2]));
      if (c == '\0') break;
      out += c;
      i += 2;
    } else {
      out += token[i];
    }
  }
  return out;
}

bool StartsNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0;
}

// Reads one line of any length up to the limit, without its line feed.
// 0: end of stream before any byte; 1: a line; -1: read error or too long.
int ReadLine(FILE* fp, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(fp)) != EOF) {
    any = true;
    if (c == '\n') return 1;
    if (line.size() >= CVdbDataSet::kMaxTextLine) return -1;
    line += static_cast<char>(c);
  }
  if (std::ferror(fp)) return -1;
  return any ? 1 : 0;
}

}  // namespace

// ---- SValueSpec ----------------------------------------------------------------

CVdbDataSet::SValueSpec::SValueSpec() : m_fMin(kNullFloat), m_fMax(kNullFloat) {}

// ---- Construction --------------------------------------------------------------

CVdbDataSet::CVdbDataSet() : m_mapOther(10), m_mapFloat(50), m_mapInt(50), m_mapString(50), m_mapSpec(10) {}

CVdbDataSet::CVdbDataSet(const CVdbDataSet& other) : CVdbDataSet() {
  m_strName = other.m_strName;
  *this += other;
  for (POSITION pos = other.m_mapSpec.GetStartPosition(); pos;) {
    void* v;
    const char* key;
    other.m_mapSpec.GetNextAssoc(pos, v, key);
    m_mapSpec.SetAt(key, new SValueSpec(*static_cast<SValueSpec*>(v)));
  }
}

CVdbDataSet::~CVdbDataSet() {
  ResetData();
  ResetKeySpecs();
}

// ---- Values -----------------------------------------------------------------------

void CVdbDataSet::Setf(const char* key, float value) {
  ++m_nChanges;
  m_mapFloat.SetAt(key, FloatToValue(value));
}

void CVdbDataSet::Seti(const char* key, int value) {
  ++m_nChanges;
  m_mapInt.SetAt(key, IntToValue(value));
}

void CVdbDataSet::Sets(const char* key, const char* value) {
  ++m_nChanges;
  m_mapString.SetAt(key, CString(value));
}

void CVdbDataSet::Setf(const char* key, const char* text) {
  float v;
  if (ParseFloat(text, v)) Setf(key, v);
}

void CVdbDataSet::Seti(const char* key, const char* text) {
  int v;
  if (ParseInt(text, v)) Seti(key, v);
}

bool CVdbDataSet::Getf(const char* key, float& value) const {
  void* v;
  if (!m_mapFloat.Lookup(key, v)) return false;
  value = ValueToFloat(v);
  return true;
}

bool CVdbDataSet::Geti(const char* key, int& value) const {
  void* v;
  if (!m_mapInt.Lookup(key, v)) return false;
  value = ValueToInt(v);
  return true;
}

bool CVdbDataSet::Gets(const char* key, CString& value) const {
  return m_mapString.Lookup(key, value) != 0;
}

bool CVdbDataSet::Geti(const char* key, DWORD& value) const {
  int i;
  if (!Geti(key, i)) return false;
  value = static_cast<DWORD>(i);
  return true;
}

bool CVdbDataSet::Geti(const char* key, short& value) const {
  int i;
  if (!Geti(key, i)) return false;
  value = static_cast<short>(static_cast<uint16_t>(i));
  return true;
}

bool CVdbDataSet::Geti(const char* key, unsigned short& value) const {
  int i;
  if (!Geti(key, i)) return false;
  value = static_cast<unsigned short>(i);
  return true;
}

bool CVdbDataSet::Geti(const char* key, unsigned char& value) const {
  int i;
  if (!Geti(key, i)) return false;
  value = static_cast<unsigned char>(i);
  return true;
}

bool CVdbDataSet::Geti(const char* key, CString& value) const {
  int i;
  if (!Geti(key, i)) return false;
  value.Format("%d", i);
  return true;
}

bool CVdbDataSet::Getf(const char* key, CString& value) const {
  float f;
  if (!Getf(key, f)) return false;
  value.Format("%g", static_cast<double>(f));
  return true;
}

float CVdbDataSet::Getf(const char* key) const {
  float f = 0;
  return Getf(key, f) ? f : 0.0f;
}

int CVdbDataSet::Geti(const char* key) const {
  int i = 0;
  return Geti(key, i) ? i : 0;
}

const char* CVdbDataSet::Gets(const char* key) const {
  const char* text;
  return m_mapString.Lookup(key, text) ? text : "";
}

int CVdbDataSet::LookupKeyType(const char* key) const {
  if (m_mapFloat.Lookup(key)) return kindFloat;
  if (m_mapInt.Lookup(key)) return kindInt;
  if (m_mapString.Lookup(key)) return kindString;
  if (m_mapOther.Lookup(key)) return kindOther;
  return kindNone;
}

int CVdbDataSet::GetCount() const {
  return m_mapFloat.GetCount() + m_mapInt.GetCount() + m_mapString.GetCount() + m_mapOther.GetCount();
}

// ---- Iteration ----------------------------------------------------------------------

void CVdbDataSet::GetNextBegin() {
  m_posFloat = m_mapFloat.GetStartPosition();
  m_posOther = m_mapOther.GetStartPosition();
  m_posInt = m_mapInt.GetStartPosition();
  m_posString = m_mapString.GetStartPosition();
  m_nIterChanges = m_nChanges;
}

bool CVdbDataSet::GetNext(CString& key, CString& value) {
  // A change may have freed the entry a position refers to: end instead.
  if (m_nIterChanges != m_nChanges) {
    GetNextEnd();
    return false;
  }
  void* v;
  if (m_posFloat) {
    m_mapFloat.GetNextAssoc(m_posFloat, key, v);
    value.Format("%g", static_cast<double>(ValueToFloat(v)));
    return true;
  }
  if (m_posInt) {
    m_mapInt.GetNextAssoc(m_posInt, key, v);
    value.Format("%d", ValueToInt(v));
    return true;
  }
  if (m_posString) {
    m_mapString.GetNextAssoc(m_posString, key, value);
    return true;
  }
  return false;
}

void CVdbDataSet::GetNextEnd() {
  m_posFloat = m_posOther = m_posInt = m_posString = nullptr;
}

// ---- Value limits --------------------------------------------------------------------

CVdbDataSet::SValueSpec* CVdbDataSet::GetKeySpec(const char* key, bool bCreate) {
  if (!key || !*key) return nullptr;
  void* v;
  if (m_mapSpec.Lookup(key, v)) return static_cast<SValueSpec*>(v);
  if (!bCreate) return nullptr;
  auto* valueSpec = new SValueSpec;
  valueSpec->m_strKey = key;
  m_mapSpec.SetAt(key, valueSpec);
  return valueSpec;
}

void CVdbDataSet::SetKeySpec(SValueSpec& valueSpec, const char* key) {
  if (key) valueSpec.m_strKey = key;
  // Copy the key first: valueSpec may be the stored value limit itself.
  const CString storeKey = valueSpec.m_strKey;
  SValueSpec* stored = GetKeySpec(storeKey, true);
  if (stored && stored != &valueSpec) *stored = valueSpec;
}

void CVdbDataSet::RemoveKey(const char* key) {
  void* v;
  if (!m_mapSpec.Lookup(key, v)) return;
  m_mapSpec.RemoveKey(key);
  delete static_cast<SValueSpec*>(v);
}

CVdbDataSet::SValueSpec* CVdbDataSet::GetKeyNext(POSITION& pos) const {
  void* v;
  const char* key;
  m_mapSpec.GetNextAssoc(pos, v, key);
  auto* valueSpec = static_cast<SValueSpec*>(v);
  valueSpec->m_strKey = key;
  return valueSpec;
}

void CVdbDataSet::ResetKeySpecs() {
  for (POSITION pos = m_mapSpec.GetStartPosition(); pos;) {
    void* v;
    m_mapSpec.GetNextAssoc(pos, v);
    delete static_cast<SValueSpec*>(v);
  }
  m_mapSpec.RemoveAll();
}

void CVdbDataSet::ResetData() {
  ++m_nChanges;
  m_mapFloat.RemoveAll();
  m_mapInt.RemoveAll();
  m_mapString.RemoveAll();
  for (POSITION pos = m_mapOther.GetStartPosition(); pos;) {
    void* v;
    m_mapOther.GetNextAssoc(pos, v);
    std::free(v);
  }
  m_mapOther.RemoveAll();
  GetNextEnd();
}

void CVdbDataSet::Reset() {
  ResetKeySpecs();
  ResetData();
}

CVdbDataSet& CVdbDataSet::operator+=(const CVdbDataSet& other) {
  if (&other == this) return *this;
  ++m_nChanges;
  void* v;
  const char* key;
  for (POSITION pos = other.m_mapFloat.GetStartPosition(); pos;) {
    other.m_mapFloat.GetNextAssoc(pos, v, key);
    m_mapFloat.SetAt(key, v);
  }
  for (POSITION pos = other.m_mapInt.GetStartPosition(); pos;) {
    other.m_mapInt.GetNextAssoc(pos, v, key);
    m_mapInt.SetAt(key, v);
  }
  for (POSITION pos = other.m_mapString.GetStartPosition(); pos;) {
    CString k, s;
    other.m_mapString.GetNextAssoc(pos, k, s);
    m_mapString.SetAt(k, s);
  }
  return *this;
}

CVdbDataSet& CVdbDataSet::operator=(const CVdbDataSet& other) {
  if (&other == this) return *this;
  ResetData();
  ResetKeySpecs();
  return *this += other;
}

// ---- Binary form -------------------------------------------------------------------------

bool CVdbDataSet::Write(CFile& file) const {
  detail::StreamWriter w(file);
  w.PaddedString(m_strName);

  w.Int32(m_mapSpec.GetCount());
  for (POSITION pos = m_mapSpec.GetStartPosition(); pos;) {
    void* v;
    const char* key;
    m_mapSpec.GetNextAssoc(pos, v, key);
    const auto* valueSpec = static_cast<const SValueSpec*>(v);
    w.PaddedString(valueSpec->m_strLabel);
    w.PaddedString(key);
    w.Float(valueSpec->m_fMin);
    w.Float(valueSpec->m_fMax);
    const BYTE flags[4] = {valueSpec->m_nFlag1, valueSpec->m_nFlag2, valueSpec->m_nFlag3, 0};
    w.Bytes(flags, 4);
  }

  void* v;
  const char* key;
  w.Int32(m_mapInt.GetCount());
  for (POSITION pos = m_mapInt.GetStartPosition(); pos;) {
    m_mapInt.GetNextAssoc(pos, v, key);
    w.PaddedString(key);
    w.Int32(ValueToInt(v));
  }
  w.Int32(m_mapFloat.GetCount());
  for (POSITION pos = m_mapFloat.GetStartPosition(); pos;) {
    m_mapFloat.GetNextAssoc(pos, v, key);
    w.PaddedString(key);
    w.Float(ValueToFloat(v));
  }
  // Every string entry, empty values included, so the count holds.
  w.Int32(m_mapString.GetCount());
  for (POSITION pos = m_mapString.GetStartPosition(); pos;) {
    CString k, s;
    m_mapString.GetNextAssoc(pos, k, s);
    w.PaddedString(k);
    w.PaddedString(s);
  }
  return true;
}

bool CVdbDataSet::Read(CFile& file) {
  ResetData();
  ResetKeySpecs();
  detail::BoundedReader r(file);
  CString name;
  if (!r.PaddedString(name)) return false;
  m_strName = name;

  // Smallest entries: a value limit is two empty strings (4 + 4) and 12 bytes; a
  // value entry an empty key (4) and 4 bytes.
  int32_t count;
  if (!r.Count(count, 20)) return false;
  for (int32_t i = 0; i < count; ++i) {
    SValueSpec valueSpec;
    CString key;
    BYTE flags[4];
    if (!r.PaddedString(valueSpec.m_strLabel) || !r.PaddedString(key) || !r.Float(valueSpec.m_fMin) ||
        !r.Float(valueSpec.m_fMax) || !r.Bytes(flags, 4))
      return false;
    valueSpec.m_nFlag1 = flags[0];
    valueSpec.m_nFlag2 = flags[1];
    valueSpec.m_nFlag3 = flags[2];
    valueSpec.m_strKey = key;
    if (SValueSpec* stored = GetKeySpec(key, true)) *stored = valueSpec;
  }

  if (!r.Count(count, 8)) return false;
  for (int32_t i = 0; i < count; ++i) {
    CString key;
    int32_t value;
    if (!r.PaddedString(key) || !r.Int32(value)) return false;
    Seti(key, value);
  }
  if (!r.Count(count, 8)) return false;
  for (int32_t i = 0; i < count; ++i) {
    CString key;
    float value;
    if (!r.PaddedString(key) || !r.Float(value)) return false;
    Setf(key, value);
  }
  if (!r.Count(count, 8)) return false;
  for (int32_t i = 0; i < count; ++i) {
    CString key, value;
    if (!r.PaddedString(key) || !r.PaddedString(value)) return false;
    Sets(key, value);
  }
  return true;
}

// ---- Text form ------------------------------------------------------------------------------

bool CVdbDataSet::Write(FILE* fp) const {
  if (!fp) return false;
  bool ok = true;
  auto line = [&](int written) { ok = ok && written >= 0; };
  const std::string name = Escape(m_strName);
  line(std::fprintf(fp, "\n?---- %s -----\n", name.c_str()));
  line(std::fprintf(fp, "%12s %s\n", "DataSetName=", name.c_str()));

  void* v;
  const char* key;
  for (POSITION pos = m_mapInt.GetStartPosition(); pos;) {
    m_mapInt.GetNextAssoc(pos, v, key);
    line(std::fprintf(fp, "%12s= %d\n", ("I:" + Escape(key)).c_str(), ValueToInt(v)));
  }
  // Nine significant digits give every float back exactly.
  for (POSITION pos = m_mapFloat.GetStartPosition(); pos;) {
    m_mapFloat.GetNextAssoc(pos, v, key);
    line(
        std::fprintf(fp, "%12s= %.9g\n", ("F:" + Escape(key)).c_str(), static_cast<double>(ValueToFloat(v))));
  }
  for (POSITION pos = m_mapString.GetStartPosition(); pos;) {
    CString k, s;
    m_mapString.GetNextAssoc(pos, k, s);
    const std::string value = s.IsEmpty() ? std::string("%00") : Escape(s);
    line(std::fprintf(fp, "%12s= %s\n", ("S:" + Escape(k)).c_str(), value.c_str()));
  }
  line(std::fprintf(fp, "  *END*\n\n"));
  return ok && !std::ferror(fp);
}

bool CVdbDataSet::Read(FILE* fp) {
  ResetData();
  ResetKeySpecs();
  if (!fp) return false;
  std::string line;
  for (;;) {
    const long lineStart = std::ftell(fp);
    const int got = ReadLine(fp, line);
    if (got == 0) return true;
    if (got < 0) return false;

    // At most two blank-separated tokens; the text ends at a zero byte.
    line.resize(std::strlen(line.c_str()));
    std::string tok[2];
    size_t i = 0;
    for (int t = 0; t < 2; ++t) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      const size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      tok[t] = line.substr(start, i - start);
    }
    const std::string& first = tok[0];
    if (first.empty() || first[0] == '?') continue;
    if (strcasecmp(first.c_str(), "END") == 0 || strcasecmp(first.c_str(), "*END") == 0 ||
        strcasecmp(first.c_str(), "*END*") == 0)
      return true;
    if (first[0] == '[' || first.back() == ']') {
      // A section header belongs to the next reader; a stream that cannot be
      // put back before it would hide that section, so that is a failure.
      return lineStart >= 0 && std::fseek(fp, lineStart, SEEK_SET) == 0;
    }
    if (tok[1].empty()) continue;
    if (first.size() < 3) return true;

    if (StartsNoCase(first, "f:") || StartsNoCase(first, "i:") || StartsNoCase(first, "s:")) {
      // The writer puts '=' right after the key; it is not part of it.
      std::string rawKey = first.substr(2);
      if (!rawKey.empty() && rawKey.back() == '=') rawKey.pop_back();
      const std::string key = Unescape(rawKey);
      if (key.empty()) continue;
      const char kind = static_cast<char>(first[0] | 0x20);
      if (kind == 'f') {
        float f;
        if (ParseFloat(tok[1].c_str(), f)) Setf(key.c_str(), f);
      } else if (kind == 'i') {
        int n;
        if (ParseInt(tok[1].c_str(), n)) Seti(key.c_str(), n);
      } else {
        Sets(key.c_str(), Unescape(tok[1]).c_str());
      }
      continue;
    }
    if (strcasecmp(first.c_str(), "DataSetName=") == 0) {
      m_strName = Unescape(tok[1]).c_str();
      continue;
    }
    return true;
  }
}
