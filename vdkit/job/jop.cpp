#include "vdkit/job/jop.h"

#include <cstring>
#include <string>
#include <vector>

#include "vdkit/core/text_internal.h"
#include "vdkit/platform/safe_file.h"
#include "vdkit/xml/escape_internal.h"
#include "vdkit/xml/xml_archive.h"

using detail::EqualNoCase;

namespace {

// The key of an operator: "name.type", of any length.
CString JopKey(const char* name, const char* type) {
  CString key(name);
  key += '.';
  key += type;
  return key;
}

const char* OrEmpty(const char* s) {
  return s ? s : "";
}

}  // namespace

// ---- Registry ----------------------------------------------------------------------------
CJop::CJopRegister* CJop::CJopRegister::mhFirstObj = nullptr;

CJop::CJopRegister::CJopRegister(const char* lpszClassName, CJop* (*pfnCreate)())
    : m_lpszClassName(lpszClassName), m_pfnCreateJop(pfnCreate), m_pNextJop(nullptr) {
  CJopRegister** link = &mhFirstObj;
  while (*link) link = &(*link)->m_pNextJop;
  *link = this;
}

CJop::CJopRegister::~CJopRegister() {
  for (CJopRegister** link = &mhFirstObj; *link; link = &(*link)->m_pNextJop) {
    if (*link == this) {
      *link = m_pNextJop;
      break;
    }
  }
}

CJop* CreateJop(const char* lpszClassName) {
  if (!lpszClassName) return nullptr;
  for (CJop::CJopRegister* r = CJop::CJopRegister::mhFirstObj; r; r = r->m_pNextJop) {
    if (r->m_lpszClassName && EqualNoCase(r->m_lpszClassName, lpszClassName))
      return r->m_pfnCreateJop ? r->m_pfnCreateJop() : nullptr;
  }
  return nullptr;
}

// ---- CJop ----------------------------------------------------------------------------------
CJop::CJop() = default;
CJop::CJop(const CJop& other) = default;
CJop& CJop::operator=(const CJop& other) = default;
CJop::~CJop() = default;

// ---- CJopSet -------------------------------------------------------------------------------
CJopSet::CJopSet() : CMapStringToPtrEx(10), m_strFileName(kDefaultFileName) {}

CJopSet::~CJopSet() {
  DeleteAll();
}

CJop* CJopSet::Get(const char* name, const char* type, const char* lpszClass) {
  const CString key = JopKey(OrEmpty(name), OrEmpty(type));
  void* found = nullptr;
  if (Lookup(key, found)) {
    auto* op = static_cast<CJop*>(found);
    return op && EqualNoCase(op->GetType(), OrEmpty(type)) ? op : nullptr;
  }
  CJop* op = CreateJop(lpszClass);
  if (!op) return nullptr;
  op->SetName(OrEmpty(name));
  op->SetType(OrEmpty(type));
  SetAt(key, op);
  return op;
}

void CJopSet::DelJop(const char* name, const char* type) {
  const CString key = JopKey(OrEmpty(name), OrEmpty(type));
  void* found = nullptr;
  if (!Lookup(key, found)) return;
  auto* op = static_cast<CJop*>(found);
  if (op && !EqualNoCase(op->GetType(), OrEmpty(type))) return;
  RemoveKey(key);
  delete op;
}

void CJopSet::DeleteAll() {
  for (POSITION pos = GetStartPosition(); pos;) {
    void* op = nullptr;
    GetNextAssoc(pos, op);
    delete static_cast<CJop*>(op);
  }
  RemoveAll();
}

bool CJopSet::Matches(const char* key, const CJop* op, const char* name) {
  if (!op) return false;
  if (!name) return true;
  // The key is "name.type"; the type part must be the operator's own, so
  // that "a" does not take the operator "a.b" of type "c".
  const size_t n = std::strlen(name);
  if (n == 0 || std::strlen(key) <= n || key[n] != '.') return false;
  return detail::EqualNoCaseN(key, name, n) && EqualNoCase(key + n + 1, op->GetType());
}

POSITION CJopSet::GetFirstPos(const char* name) const {
  // A position here is the map position whose next entry is the match.
  for (POSITION pos = GetStartPosition(); pos;) {
    POSITION at = pos;
    void* op = nullptr;
    const char* key = nullptr;
    GetNextAssoc(pos, op, key);
    if (Matches(key, static_cast<CJop*>(op), name)) return at;
  }
  return nullptr;
}

CJop* CJopSet::GetNext(POSITION& pos, const char* name) const {
  if (!pos) return nullptr;
  void* op = nullptr;
  GetNextAssoc(pos, op);
  for (POSITION at = pos; at;) {
    POSITION here = at;
    void* next = nullptr;
    const char* key = nullptr;
    GetNextAssoc(at, next, key);
    if (Matches(key, static_cast<CJop*>(next), name)) {
      pos = here;
      return static_cast<CJop*>(op);
    }
  }
  pos = nullptr;
  return static_cast<CJop*>(op);
}

int CJopSet::GetCount(const char* name) const {
  int count = 0;
  for (POSITION pos = GetFirstPos(name); pos;) {
    GetNext(pos, name);
    ++count;
  }
  return count;
}

// ---- Parameter file -----------------------------------------------------------------------
bool CJopSet::Store(CFile* file) {
  if (!file) return false;
  CXmlArchive ar(file, CXmlArchive::store);
  ar.WrieXmlHead();
  ar << "<JobParameters>\n";
  size_t index = 0;
  for (POSITION pos = GetStartPosition(); pos; ++index) {
    void* p = nullptr;
    GetNextAssoc(pos, p);
    auto* op = static_cast<CJop*>(p);
    if (!op) continue;
    std::string tag;
    detail::AppendXmlStartTag(tag, op->GetName(), index);
    detail::AppendXmlAttribute(tag, "class", op->GetClassNameA());
    detail::AppendXmlAttribute(tag, "type", op->GetType());
    tag += ">\n";
    ar << tag.c_str();
    op->Serialize(ar);
    ar << ("</" + detail::XmlElementName(op->GetName(), index) + ">\n").c_str();
  }
  ar << "</JobParameters>\n";
  return true;
}

bool CJopSet::Store(const char* path) {
  if (!path || !*path) path = m_strFileName;
  return *path && CSafeFile::Save(path, [this](CFile& file) { return Store(&file); });
}

namespace {

// Parses a whole parameter file under `root`: the element holding the
// operators (the first, whatever its name), or null when the file is no
// complete document or has no element.
CXmlItem* ParseParameters(CFile* file, CXmlItem& root) {
  CXmlParser parser;
  if (!file || !parser.ParseXml(file, &root) || parser.GetStatus() != CXmlParser::ok) return nullptr;
  return root.GetChild(0);
}

// The operator an element describes; false for an element without a class
// attribute (data) or an index form without its name.
bool DescribeElement(const CXmlItem* element, CJopSet::SJopEntry& entry) {
  const char* lpszClass = element->GetA("class");
  const char* name = element->GetName();
  if (detail::IsIndexForm(name)) name = element->GetA("name");
  if (!lpszClass || !name) return false;
  entry.strName = name;
  entry.strType = OrEmpty(element->GetA("type"));
  entry.strClass = lpszClass;
  return true;
}

}  // namespace

bool CJopSet::Load(CFile* file) {
  CXmlItem root(nullptr);
  CXmlItem* params = ParseParameters(file, root);
  if (!params) return false;
  // Built apart, so that a refusal leaves this set as it was.
  CJopSet loaded;
  std::vector<CString> made;  // keys in order of creation
  CXmlArchive top(file, CXmlArchive::load);
  CXmlArchive at(top, params);
  SJopEntry entry;
  for (int i = 0; i < params->GetCount(); ++i) {
    CXmlItem* element = params->GetChild(i);
    if (!DescribeElement(element, entry)) continue;
    const int before = loaded.GetCount();
    CJop* op = loaded.Get(entry.strName, entry.strType, entry.strClass);
    if (!op) continue;
    if (loaded.GetCount() > before) made.push_back(JopKey(entry.strName, entry.strType));
    CXmlArchive sub(at, element);
    if (!op->Serialize(sub)) return false;
  }
  // Inserted in the order they were made, the operators take the places
  // they would have taken had they been made here.
  DeleteAll();
  for (const CString& key : made) SetAt(key, loaded.GetAt(key));
  loaded.RemoveAll();  // the operators are this set's now
  return true;
}

bool CJopSet::ReadEntries(CFile* file, std::vector<SJopEntry>& entries) {
  entries.clear();
  CXmlItem root(nullptr);
  const CXmlItem* params = ParseParameters(file, root);
  if (!params) return false;
  SJopEntry entry;
  for (int i = 0; i < params->GetCount(); ++i)
    if (DescribeElement(params->GetChild(i), entry)) entries.push_back(entry);
  return true;
}

bool CJopSet::Load(const char* path) {
  if (!path || !*path) path = m_strFileName;
  CFile file;
  if (!*path || !file.Open(path, CFile::modeRead)) return false;
  try {
    return Load(&file);
  } catch (CFileException* e) {
    e->Delete();
    return false;
  }
}
