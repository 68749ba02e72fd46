#include "vdkit/dataobj/key_profile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/core/text_internal.h"
#include "vdkit/platform/safe_file.h"
#include "vdkit/xml/decimal_internal.h"
#include "vdkit/xml/escape_internal.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_var.h"

using detail::EqualNoCase;

// Layout. Entries and sections live in deques, which never move what they
// hold, and are never removed one by one, so an entry's place in its deque
// is its creation order. Two structures run over the entries:
//  - 17 bucket chains (head insertion), which alone fix the iteration
//    order, as the 17-bucket table that profiles have always used;
//  - an open-addressing index on the composite key's full hash, which
//    serves lookups, so a chain of a million entries is never walked.
// The composite key "<number>@<key>" is never built to find an entry: its
// hash is the section's cached prefix hash continued over the key.

namespace {

constexpr UINT kNone = UINT_MAX;

bool HasText(const char* s) {
  return s && *s;
}

// The 4 inline bytes of an integer or float value.
template <class T>
T InlineAs(const CKeyProfile::SKeyProfile& v) {
  static_assert(sizeof(T) == 4, "integers and floats are 4 bytes");
  T t;
  std::memcpy(&t, v.data, sizeof t);
  return t;
}

// A string value's text: terminated inline (the spare bytes are zero) and
// on the heap.
const char* TextOf(const CKeyProfile::SKeyProfile& v) {
  return reinterpret_cast<const char*>(v.GetData());
}

// Open addressing on a 32-bit hash: each slot holds the hash and the item
// number + 1 (0: free). Items are never removed. The caller decides what
// equal means; the index only narrows the search to equal hashes.
class HashIndex {
 public:
  template <class Match>
  UINT Find(UINT hash, Match match) const {
    if (m_slots.empty()) return kNone;
    for (size_t i = Home(hash);; i = (i + 1) & m_mask) {
      const Slot& s = m_slots[i];
      if (s.item == 0) return kNone;
      if (s.hash == hash && match(s.item - 1)) return s.item - 1;
    }
  }
  void Insert(UINT hash, UINT item) {
    if ((m_used + 1) * 4 > m_slots.size() * 3) Grow();
    Place(hash, item + 1);
    ++m_used;
  }

 private:
  struct Slot {
    UINT hash;
    UINT item;
  };
  // The hash of a composite key changes little in its low bits from key to
  // key: multiply it up and take the top bits.
  size_t Home(UINT hash) const {
    return static_cast<size_t>((uint64_t{hash} * 0x9E3779B97F4A7C15ull) >> m_shift) & m_mask;
  }
  void Place(UINT hash, UINT item) {
    size_t i = Home(hash);
    while (m_slots[i].item != 0) i = (i + 1) & m_mask;
    m_slots[i] = Slot{hash, item};
  }
  void Grow() {
    const size_t size = m_slots.empty() ? 16 : m_slots.size() * 2;
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(size, Slot{0, 0});
    m_mask = size - 1;
    int bits = 0;
    while ((size_t{1} << bits) < size) ++bits;
    m_shift = 64 - bits;
    for (const Slot& s : old)
      if (s.item != 0) Place(s.hash, s.item);
  }

  std::vector<Slot> m_slots;
  size_t m_used = 0;
  size_t m_mask = 0;
  int m_shift = 64;
};

}  // namespace

struct CKeyProfile::Tables {
  struct Section {
    CString name;     // as first used
    UINT nameHash;    // MapHashKey(name)
    UINT prefixHash;  // MapHashKey("<number>@")
  };
  struct Entry {
    SKeyProfile value;
    CString name;  // the key as first stored
    UINT hash;     // MapHashKey of the composite key
    LONG section;  // its number
    UINT next;     // the next (older) entry of the same bucket
  };

  std::deque<Section> sections;  // section n at n - 1
  HashIndex sectionIndex;
  std::deque<Entry> entries;  // in creation order
  HashIndex entryIndex;
  UINT heads[kHashSize];

  Tables() { std::fill(heads, heads + kHashSize, kNone); }
  // Delegating, so that the destructor frees what was copied when memory
  // runs out half way (std::bad_alloc, as from the containers).
  Tables(const Tables& other) : Tables() {
    sections = other.sections;
    sectionIndex = other.sectionIndex;
    entryIndex = other.entryIndex;
    std::copy(other.heads, other.heads + kHashSize, heads);
    for (const Entry& e : other.entries) {
      entries.push_back(e);
      Entry& mine = entries.back();
      mine.value = SKeyProfile{};  // owns nothing until its copy is made
      if (!SetValue(mine.value, e.value.type, e.value.GetData(), e.value.size)) throw std::bad_alloc();
    }
  }
  Tables& operator=(const Tables&) = delete;
  ~Tables() {
    for (Entry& e : entries) Release(e.value);
  }

  static void Release(SKeyProfile& v) {
    if (v.size > kInlineBytes) std::free(const_cast<BYTE*>(v.GetData()));
    std::memset(v.data, 0, sizeof v.data);
    v.size = 0;
    v.type = typeEmpty;
  }
  // Replaces v's value by a copy of `bytes`, which may be v's own. Strings on
  // the heap get a terminator. False, v unchanged, when memory runs out.
  static bool SetValue(SKeyProfile& v, BYTE type, const void* bytes, UINT size) {
    BYTE fresh[sizeof v.data] = {};
    if (size <= kInlineBytes) {
      if (size) std::memcpy(fresh, bytes, size);
    } else {
      const size_t n = size_t{size} + (type == typeString ? 1 : 0);
      auto* block = static_cast<BYTE*>(std::malloc(n));
      if (!block) return false;
      std::memcpy(block, bytes, size);
      if (type == typeString) block[size] = 0;
      std::memcpy(fresh, &block, sizeof block);
    }
    Release(v);
    std::memcpy(v.data, fresh, sizeof fresh);
    v.size = size;
    v.type = type;
    return true;
  }

  // The section's number, given now to a section not seen before; 0 only
  // when INT_MAX sections are numbered.
  LONG SectionNumber(const char* name) {
    const UINT h = MapHashKey(name);
    const UINT found =
        sectionIndex.Find(h, [&](UINT i) { return EqualNoCase(sections[i].name.GetString(), name); });
    if (found != kNone) return static_cast<LONG>(found) + 1;
    if (sections.size() >= static_cast<size_t>(INT_MAX)) return 0;
    const LONG number = static_cast<LONG>(sections.size()) + 1;
    const std::string prefix = std::to_string(number) + "@";
    sections.push_back(Section{CString(name), h, MapHashKey(prefix.c_str())});
    sectionIndex.Insert(h, static_cast<UINT>(number - 1));
    return number;
  }

  UINT KeyHash(LONG section, const char* key) const {
    UINT h = sections[static_cast<size_t>(section - 1)].prefixHash;
    for (; *key; ++key) h = detail::MapHashStep(h, *key);
    return h;
  }

  Entry* FindEntry(LONG section, const char* key, UINT hash) {
    const UINT i = entryIndex.Find(hash, [&](UINT n) {
      const Entry& e = entries[n];
      return e.section == section && EqualNoCase(e.name.GetString(), key);
    });
    return i == kNone ? nullptr : &entries[i];
  }

  Entry* AddEntry(LONG section, const char* key, UINT hash) {
    if (entries.size() >= static_cast<size_t>(INT_MAX)) return nullptr;
    const UINT n = static_cast<UINT>(entries.size());
    const UINT bucket = hash % kHashSize;
    entries.push_back(Entry{SKeyProfile{}, CString(key), hash, section, heads[bucket]});
    heads[bucket] = n;
    entryIndex.Insert(hash, n);
    return &entries.back();
  }

  // Iteration: the first entry of buckets from `bucket` on, or null.
  const Entry* FirstFrom(UINT bucket) const {
    for (; bucket < kHashSize; ++bucket)
      if (heads[bucket] != kNone) return &entries[heads[bucket]];
    return nullptr;
  }
  const Entry* After(const Entry& e) const {
    return e.next != kNone ? &entries[e.next] : FirstFrom(e.hash % kHashSize + 1);
  }
};

// ---- Construction ----------------------------------------------------------------------
CKeyProfile::CKeyProfile() = default;
CKeyProfile::~CKeyProfile() = default;
CKeyProfile::CKeyProfile(const CKeyProfile& other)
    : m_pTables(other.m_pTables ? new Tables(*other.m_pTables) : nullptr) {}
CKeyProfile::CKeyProfile(CKeyProfile&& other) noexcept = default;
CKeyProfile& CKeyProfile::operator=(CKeyProfile&& other) noexcept = default;

CKeyProfile& CKeyProfile::operator=(const CKeyProfile& other) {
  if (this != &other) m_pTables.reset(other.m_pTables ? new Tables(*other.m_pTables) : nullptr);
  return *this;
}

CKeyProfile::Tables& CKeyProfile::Use() const {
  if (!m_pTables) m_pTables.reset(new Tables);
  return *m_pTables;
}

void CKeyProfile::ResetKeyProfiles() {
  m_pTables.reset();
}

int CKeyProfile::GetCount() const {
  return m_pTables ? static_cast<int>(m_pTables->entries.size()) : 0;
}

int CKeyProfile::GetSectionCount() const {
  return m_pTables ? static_cast<int>(m_pTables->sections.size()) : 0;
}

// ---- Keys -------------------------------------------------------------------------------
bool CKeyProfile::BuildProfileKey(const char* section, const char* key, CString& out) {
  if (!HasText(section) || !HasText(key)) return false;
  const LONG number = Use().SectionNumber(section);
  if (number == 0) return false;
  out.Format("%d@%s", number, key);
  return true;
}

bool CKeyProfile::GetSectionKey(int number, CString& section) const {
  if (!m_pTables || number < 1 || static_cast<size_t>(number) > m_pTables->sections.size()) return false;
  section = m_pTables->sections[static_cast<size_t>(number - 1)].name;
  return true;
}

const CKeyProfile::SKeyProfile* CKeyProfile::Find(const char* section, const char* key) const {
  if (!HasText(section) || !HasText(key)) return nullptr;
  Tables& t = Use();
  // Numbering an unknown section here keeps the numbers, and so the order,
  // that earlier lookups always gave.
  const LONG number = t.SectionNumber(section);
  if (number == 0 || t.entries.empty()) return nullptr;
  Tables::Entry* e = t.FindEntry(number, key, t.KeyHash(number, key));
  return e ? &e->value : nullptr;
}

CKeyProfile::SKeyProfile* CKeyProfile::LookupProfile(const char* section, const char* key) {
  return const_cast<SKeyProfile*>(Find(section, key));
}

CKeyProfile::SKeyProfile* CKeyProfile::FindOrAdd(const char* section, const char* key) {
  if (!HasText(section) || !HasText(key)) return nullptr;
  Tables& t = Use();
  const LONG number = t.SectionNumber(section);
  if (number == 0) return nullptr;
  const UINT hash = t.KeyHash(number, key);
  Tables::Entry* e = t.FindEntry(number, key, hash);
  if (!e) e = t.AddEntry(number, key, hash);
  return e ? &e->value : nullptr;
}

CKeyProfile::SKeyProfile* CKeyProfile::NewProfile(const char* section, const char* key) {
  SKeyProfile* v = FindOrAdd(section, key);
  if (v) Tables::Release(*v);
  return v;
}

bool CKeyProfile::Assign(const char* section, const char* key, BYTE type, const void* bytes, UINT size) {
  if (size > static_cast<UINT>(INT_MAX) || (size && !bytes)) return false;
  SKeyProfile* v = FindOrAdd(section, key);
  // SetValue copies before it frees, so `bytes` may be this entry's own.
  return v && Tables::SetValue(*v, type, bytes, size);
}

// ---- Typed entries -------------------------------------------------------------------------
bool CKeyProfile::SetKeyInt(const char* section, const char* key, int value) {
  return Assign(section, key, typeInt, &value, sizeof value);
}

bool CKeyProfile::SetKeyFloat(const char* section, const char* key, float value) {
  return Assign(section, key, typeFloat, &value, sizeof value);
}

bool CKeyProfile::SetKeyString(const char* section, const char* key, const char* value) {
  if (!value) value = "";
  const size_t n = std::strlen(value);
  if (n > static_cast<size_t>(INT_MAX)) return false;
  return Assign(section, key, typeString, value, static_cast<UINT>(n));
}

bool CKeyProfile::SetKeyBin(const char* section, const char* key, const void* data, UINT size) {
  return Assign(section, key, typeBin, data, size);
}

UINT CKeyProfile::GetKeyInt(const char* section, const char* key, int nDefault) const {
  const SKeyProfile* v = Find(section, key);
  if (v && v->type == typeInt) return InlineAs<UINT>(*v);
  if (v && v->type == typeString) return static_cast<UINT>(detail::ToSigned<int>(TextOf(*v)));
  return static_cast<UINT>(nDefault);
}

float CKeyProfile::GetKeyFloat(const char* section, const char* key, float fDefault) const {
  const SKeyProfile* v = Find(section, key);
  if (v && v->type == typeInt) return static_cast<float>(InlineAs<UINT>(*v));
  if (v && v->type == typeFloat) return InlineAs<float>(*v);
  if (v && v->type == typeString) return static_cast<float>(detail::ReadDouble(TextOf(*v)));
  return fDefault;
}

void CKeyProfile::GetKeyString(const char* section, const char* key, CString& out,
                               const char* lpszDefault) const {
  const SKeyProfile* v = Find(section, key);
  if (v && v->type == typeString) {
    out = CString(TextOf(*v), static_cast<int>(v->size));
  } else if (v && v->type == typeInt) {
    out.Format("%d", InlineAs<int>(*v));
  } else {
    out = lpszDefault;
  }
}

int CKeyProfile::GetKeyBin(const char* section, const char* key, void* buf, UINT bufSize) const {
  const SKeyProfile* v = Find(section, key);
  if (!v) return 0;
  if (!buf) return static_cast<int>(v->size);
  std::memset(buf, 0, bufSize);
  const UINT n = std::min(v->size, bufSize);
  if (n) std::memcpy(buf, v->GetData(), n);
  return static_cast<int>(n);
}

bool CKeyProfile::GetKeyBin(const char* section, const char* key, void** out, UINT* size) const {
  const SKeyProfile* v = Find(section, key);
  if (!v) return false;
  if (out) {
    const size_t rounded = std::max<size_t>(4, (size_t{v->size} + 3) / 4 * 4);
    void* block = std::calloc(rounded, 1);
    if (!block) return false;
    if (v->size) std::memcpy(block, v->GetData(), v->size);
    *out = block;
  }
  if (size) *size = v->size;
  return true;
}

// ---- Walking ----------------------------------------------------------------------------------
POSITION CKeyProfile::GetStartPos() const {
  if (!m_pTables) return nullptr;
  const Tables::Entry* first = m_pTables->FirstFrom(0);
  return reinterpret_cast<POSITION>(const_cast<Tables::Entry*>(first));
}

void CKeyProfile::GetNext(POSITION& pos, CString& section, CString& key, int& type, int& size,
                          void*& data) const {
  if (!pos || !m_pTables) return;
  const auto* e = reinterpret_cast<const Tables::Entry*>(pos);
  section = m_pTables->sections[static_cast<size_t>(e->section - 1)].name;
  key = e->name;
  type = e->value.type;
  size = static_cast<int>(e->value.size);
  data = const_cast<BYTE*>(e->value.GetData());
  pos = reinterpret_cast<POSITION>(const_cast<Tables::Entry*>(m_pTables->After(*e)));
}

// ---- XML ---------------------------------------------------------------------------------------
namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeHex(const char* text, std::vector<BYTE>& out) {
  const size_t n = std::strlen(text);
  if (n % 2) return false;
  out.resize(n / 2);
  for (size_t i = 0; i < n; i += 2) {
    const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i / 2] = static_cast<BYTE>(hi * 16 + lo);
  }
  return true;
}

// The name an element stands for: its own, or for the index form its name
// attribute (null when it has none).
const char* NameOf(const CXmlItem* item) {
  const char* name = item->GetName();
  return detail::IsIndexForm(name) ? item->GetA("name") : name;
}

}  // namespace

bool CKeyProfile::Serialize(CXmlArchive& ar) {
  if (ar.IsLoading()) return LoadDataSet(ar);
  if (!m_pTables || m_pTables->entries.empty()) return true;
  const Tables& t = *m_pTables;
  // The lines of each section, and the sections in the order of first
  // appearance during the walk.
  struct Gathered {
    std::string lines;
    size_t entries = 0;
    size_t seen = 0;  // 0: not yet; else its rank + 1
  };
  std::vector<Gathered> gathered(t.sections.size());
  std::vector<LONG> order;
  for (const Tables::Entry* e = t.FirstFrom(0); e; e = t.After(*e)) {
    // An entry cleared by NewProfile and never filled has no value to keep.
    if (e->value.type < typeInt || e->value.type > typeFloat) continue;
    Gathered& g = gathered[static_cast<size_t>(e->section - 1)];
    if (!g.seen) {
      order.push_back(e->section);
      g.seen = order.size();
    }
    std::string& line = g.lines;
    detail::AppendXmlStartTag(line, e->name, g.entries++);
    const BYTE* bytes = e->value.GetData();
    switch (e->value.type) {
      case typeInt:
        line += " v='" + std::to_string(InlineAs<int>(e->value)) + "' t='int'";
        break;
      case typeFloat: {
        float f = InlineAs<float>(e->value);  // CXmlVar binds a variable
        CString text;
        CXmlVar("", f).GetValue(text);  // the shortest form that reads back equal
        line += " v='";
        line += text.GetString();
        line += "' t='float'";
        break;
      }
      case typeString:
        detail::AppendXmlAttribute(line, "v", TextOf(e->value));
        line += " t='string'";
        break;
      default: {  // binary
        line += " v='";
        for (UINT i = 0; i < e->value.size; ++i) {
          line += kHexDigits[bytes[i] >> 4];
          line += kHexDigits[bytes[i] & 15];
        }
        line += "' t='bin'";
        break;
      }
    }
    line += " />\n";
  }
  // Sections leave in the order of a 17-bucket string map filled in order of
  // first appearance: by bucket, the latest arrival first within one.
  std::stable_sort(order.begin(), order.end(), [&](LONG a, LONG b) {
    const UINT ba = t.sections[static_cast<size_t>(a - 1)].nameHash % kHashSize;
    const UINT bb = t.sections[static_cast<size_t>(b - 1)].nameHash % kHashSize;
    if (ba != bb) return ba < bb;
    return gathered[static_cast<size_t>(a - 1)].seen > gathered[static_cast<size_t>(b - 1)].seen;
  });
  ar << "<DataSet>\n";
  for (size_t i = 0; i < order.size(); ++i) {
    const char* name = t.sections[static_cast<size_t>(order[i] - 1)].name;
    std::string text = " ";
    detail::AppendXmlStartTag(text, name, i);
    text += ">\n";
    text += gathered[static_cast<size_t>(order[i] - 1)].lines;
    text += " </" + detail::XmlElementName(name, i) + ">\n";
    ar << text.c_str();
  }
  ar << "</DataSet>\n";
  return true;
}

bool CKeyProfile::LoadDataSet(CXmlArchive& ar) {
  CXmlArchive sub(ar, "DataSet");
  const CXmlItem* set = sub.GetXmlItem();
  if (!set) return true;
  std::vector<BYTE> bytes;
  for (int i = 0; i < set->GetCount(); ++i) {
    const CXmlItem* sec = set->GetChild(i);
    const char* section = NameOf(sec);
    if (!HasText(section)) continue;
    for (int j = 0; j < sec->GetCount(); ++j) {
      const CXmlItem* item = sec->GetChild(j);
      const char* key = NameOf(item);
      const char* type = item->GetA("t");
      const char* value = item->GetA("v");
      if (!HasText(key) || !HasText(type) || !value) continue;
      // Strings and binary values may be empty; numbers need their digits.
      if (EqualNoCase(type, "string")) {
        SetKeyString(section, key, value);
      } else if (EqualNoCase(type, "bin")) {
        if (DecodeHex(value, bytes)) SetKeyBin(section, key, bytes.data(), static_cast<UINT>(bytes.size()));
      } else if (!*value) {
        continue;
      } else if (EqualNoCase(type, "int")) {
        SetKeyInt(section, key, detail::ToSigned<int>(value));
      } else if (EqualNoCase(type, "float")) {
        SetKeyFloat(section, key, static_cast<float>(detail::ReadDouble(value)));
      }
    }
  }
  return true;
}

// ---- Files ---------------------------------------------------------------------------------------
bool CKeyProfile::Store(CFile* file) {
  if (!file) return false;
  CXmlArchive ar(file, CXmlArchive::store);
  ar.WrieXmlHead();
  if (GetCount() == 0) {
    ar << "<DataSet>\n</DataSet>\n";
  } else {
    Serialize(ar);
  }
  return true;
}

bool CKeyProfile::Store(const char* path) {
  return HasText(path) && CSafeFile::Save(path, [this](CFile& file) { return Store(&file); });
}

bool CKeyProfile::Load(CFile* file) {
  if (!file) return false;
  CXmlItem root(nullptr);
  CXmlParser parser;
  if (!parser.ParseXml(file, &root) || parser.GetStatus() != CXmlParser::ok) return false;
  const CXmlItem* first = root.GetChild(0);
  if (!first || !EqualNoCase(first->GetName(), "DataSet")) return false;
  CXmlArchive top(file, CXmlArchive::load);
  CXmlArchive at(top, &root);
  return LoadDataSet(at);
}

bool CKeyProfile::Load(const char* path) {
  if (!HasText(path)) return false;
  CFile file;
  if (!file.Open(path, CFile::modeRead)) return false;
  try {
    return Load(&file);
  } catch (CFileException* e) {
    e->Delete();
    return false;
  }
}
