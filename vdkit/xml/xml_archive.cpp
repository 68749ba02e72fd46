#include "vdkit/xml/xml_archive.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <unordered_set>
#include <vector>

#include "vdkit/core/path.h"
#include "vdkit/core/text_internal.h"
#include "vdkit/xml/escape_internal.h"

namespace {

const char kHead[] = "<?xml version='1.0'?>\n";
const char kSpaces[] = "                                ";  // kMaxIndent and more
static_assert(sizeof kSpaces > CXmlArchive::kMaxIndent, "indentation buffer too short");

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A missing attribute (null) matches nothing, not even an empty name.
bool EqualNoCase(const char* a, const char* b) {
  return a && b && detail::EqualNoCase(a, b);
}

bool HasText(const char* s) {
  return s && *s;
}

// The element name of `file` as the i-th child of its parent.
std::string ElementName(CVDFile& file, int index) {
  return detail::XmlElementName(file.GetName(), static_cast<size_t>(index));
}

}  // namespace

// ---- Construction ------------------------------------------------------------------
CXmlArchive::CXmlArchive(CFile* pFile, Mode nMode)
    : m_pFile(pFile), m_nMode(static_cast<BYTE>(bTop | (nMode == store ? bStoring : 0))) {}

CXmlArchive::CXmlArchive(CXmlArchive& parent, CXmlItem* item)
    : m_pItem(item),
      m_pFile(parent.m_pFile),
      m_nMode(static_cast<BYTE>(parent.m_nMode & ~bTop)),
      m_nFlag(parent.m_nFlag),
      m_nDepth(parent.m_nDepth + 1),
      m_nHead(parent.m_nHead),
      m_nNest(parent.m_nNest + 1),
      m_pPending(parent.m_pPending) {}

CXmlArchive::CXmlArchive(CXmlArchive& parent, const char* name)
    : CXmlArchive(parent, parent.m_pItem && name ? parent.m_pItem->GetChild(name) : nullptr) {}

CXmlArchive::CXmlArchive(CXmlArchive& parent, int index)
    : CXmlArchive(parent, parent.m_pItem ? parent.m_pItem->GetChild(index) : nullptr) {}

int CXmlArchive::SetHeaddSpace(int depth) {
  const int old = m_nDepth;
  m_nDepth = depth;
  return old;
}

// ---- Writing -------------------------------------------------------------------------
CXmlArchive::operator CFile*() const {
  // Whoever writes to the file directly must find the text before it there.
  if (m_pPending) FlushPending();
  return m_pFile;
}

void CXmlArchive::Emit(const char* text, size_t n) {
  if (!m_pPending) {
    m_pFile->Write(text, static_cast<UINT>(n));
    return;
  }
  m_pPending->append(text, n);
  if (m_pPending->size() >= kPendingBytes) FlushPending();
}

void CXmlArchive::FlushPending() const {
  if (m_pPending->empty()) return;
  std::string text;
  text.swap(*m_pPending);  // empty even when the write throws
  m_pFile->Write(text.data(), static_cast<UINT>(text.size()));
}

void CXmlArchive::WrieXmlHead() {
  if (m_nHead != 0 || !m_pFile) return;
  Emit(kHead, sizeof kHead - 1);
  m_nHead = headWritten | headLineStart;
}

void CXmlArchive::WriteIndent() {
  int n = m_nDepth - 1;
  if (n <= 0) return;
  if (n > kMaxIndent) n = kMaxIndent;
  Emit(kSpaces, static_cast<size_t>(n));
}

void CXmlArchive::xmlWrite(const char* text, int length) {
  if (!m_pFile || !text || length <= 0) return;
  if (m_nHead & headLineStart) {
    WriteIndent();
    m_nHead = static_cast<BYTE>(m_nHead & ~headLineStart);
  }
  // Whole lines at a time: the indentation goes before every byte that
  // follows a line feed, and after a final line feed it waits for the next
  // write.
  const char* p = text;
  const char* end = text + length;
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = lf ? lf + 1 : end;
    Emit(p, static_cast<size_t>(stop - p));
    p = stop;
    if (!lf) break;
    if (p < end) {
      WriteIndent();
    } else {
      m_nHead = static_cast<BYTE>(m_nHead | headLineStart);
    }
  }
}

bool CXmlArchive::Print(const char* lpszFormat, ...) {
  if (!lpszFormat) return false;
  va_list args;
  va_start(args, lpszFormat);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, lpszFormat, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return false;
  }
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), lpszFormat, again);
  va_end(again);
  xmlWrite(buf.data(), n);
  return true;
}

bool CXmlArchive::Write(const char* lpszText) {
  if (!lpszText) return false;
  // The text is a format without arguments: only "%%" has a meaning.
  std::string out;
  for (const char* p = lpszText; *p; ++p) {
    out += *p;
    if (p[0] == '%' && p[1] == '%') ++p;
  }
  xmlWrite(out.data(), static_cast<int>(out.size()));
  return true;
}

CXmlArchive& CXmlArchive::operator<<(const char* lpszText) {
  if (lpszText) xmlWrite(lpszText, static_cast<int>(std::strlen(lpszText)));
  return *this;
}

bool CXmlArchive::WriteVar(CXmlVar& var, bool attribute) {
  if (!m_pFile) return false;
  CString value;
  if (!var.GetValue(value) || value.IsEmpty()) return false;
  const char* name = var.GetName() ? var.GetName() : "";
  std::string out;
  if (attribute) {
    detail::AppendXmlAttribute(out, name, value);
  } else {
    out += '<';
    out += name;
    out += '>';
    detail::AppendXmlEscaped(out, value, false);
    out += "</";
    out += name;
    out += ">\n";
  }
  xmlWrite(out.data(), static_cast<int>(out.size()));
  return true;
}

bool CXmlArchive::operator<<(CXmlVar& var) {
  return WriteVar(var, false);
}

bool CXmlArchive::operator<(CXmlVar& var) {
  return WriteVar(var, true);
}

// ---- Reading ---------------------------------------------------------------------------
const char* CXmlArchive::GetName() const {
  return m_pItem ? m_pItem->GetName() : nullptr;
}

const char* CXmlArchive::GetValue() const {
  return m_pItem ? m_pItem->GetValue() : nullptr;
}

CXmlAttributes* CXmlArchive::GetAttributes() const {
  return m_pItem ? &m_pItem->GetAttributes() : nullptr;
}

int CXmlArchive::GetItemCount() const {
  return m_pItem ? m_pItem->GetCount() : 0;
}

bool CXmlArchive::IsExist(const char* lpszName) const {
  return m_pItem && lpszName && m_pItem->GetChild(lpszName) != nullptr;
}

const char* CXmlArchive::GetIV(const char* lpszName) {
  if (!m_pItem || !lpszName) return nullptr;
  CXmlItem* child = m_pItem->GetChild(lpszName);
  if (!child) return nullptr;
  child->SetLoaded(1);
  return child->GetValue();
}

const char* CXmlArchive::GetIV(int nIndex) {
  if (!m_pItem) return nullptr;
  CXmlItem* child = m_pItem->GetChild(nIndex);
  if (!child) return nullptr;
  child->SetLoaded(1);
  return child->GetValue();
}

const char* CXmlArchive::GetAV(const char* lpszName) const {
  return m_pItem && lpszName ? m_pItem->GetA(lpszName) : nullptr;
}

bool CXmlArchive::GetAV(CXmlVar& var) const {
  const char* value = GetAV(var.GetName());
  return value ? var.SetValue(value) : false;
}

bool CXmlArchive::GetValue(CStringArray& values, char sep) const {
  values.RemoveAll();
  if (!m_pItem) return false;
  if (sep == 0) return true;
  auto add = [&values](const char* b, const char* e) {
    while (b < e && IsBlank(*b)) ++b;
    if (b < e && (*b == '\'' || *b == '"')) ++b;
    while (e > b && (IsBlank(e[-1]) || e[-1] == '\'' || e[-1] == '"')) --e;
    values.Add(CString(std::string(b, e).c_str()));
  };
  const char* p = m_pItem->GetValue();
  for (;;) {
    const char* s = std::strchr(p, sep);
    if (!s) break;
    add(p, s);
    p = s + 1;
  }
  if (*p) add(p, p + std::strlen(p));
  return true;
}

bool CXmlArchive::ReadAttribute(CXmlVar& var, const char* name) {
  const char* value = m_pItem->GetA(name);
  if (!value) {
    var.SetValue("");
    return false;
  }
  var.SetValue(value);
  return true;
}

bool CXmlArchive::operator>>(CXmlVar& var) {
  const char* name = var.GetName();
  if (!m_pItem || !name) return false;
  if (name[0] == '.') return ReadAttribute(var, name + 1);
  const char* value = GetIV(name);
  return value ? var.SetValue(value) : false;
}

bool CXmlArchive::operator>(CXmlVar& var) {
  if (!m_pItem || !var.GetName()) return false;
  return ReadAttribute(var, var.GetName());
}

bool CXmlArchive::operator==(CXmlVar& var) {
  return IsLoading() ? *this >> var : *this << var;
}

CString CXmlArchive::GetDocPath(const char* rel) const {
  CString dir;
  if (!m_pFile) return dir;
  const CString path = m_pFile->GetFilePath();
  if (path.IsEmpty()) return dir;
  GetPath(path, dir);
  if (rel && *rel) dir += rel + 1;
  return dir;
}

// ---- Objects: writing -------------------------------------------------------------------
namespace {

std::string StartTag(CVDFile& file, int index) {
  const char* name = file.GetName();
  const bool hasName = HasText(name);
  std::string tag = "<" + ElementName(file, index);
  detail::AppendXmlAttribute(tag, "class", file.GetClassNameA());
  if (HasText(file.GetFileType())) detail::AppendXmlAttribute(tag, "type", file.GetFileType());
  if (hasName && !detail::IsUsableElementName(name)) detail::AppendXmlAttribute(tag, "name", name);
  if (!file.IsNamed() || !hasName) tag += " named='false'";
  if (!file.GetParent()) tag += " root='true'";
  tag += ">\n";
  return tag;
}

}  // namespace

bool operator<<(CXmlArchive& ar, CVDFile& file) {
  if (!ar.IsStoring() || !static_cast<CFile*>(ar)) return false;
  // A tree is many short writes: they gather in one buffer, written out
  // when it fills and when the tree is done (or when someone asks for the
  // file), instead of a file write each.
  std::string pending;
  // Put back on the way out, a file exception included: the depth, and
  // writing straight to the file.
  struct Restore {
    CXmlArchive& ar;
    int depth;
    bool outer;
    ~Restore() {
      ar.SetHeaddSpace(depth);
      if (outer) ar.m_pPending = nullptr;
    }
  } restore{ar, ar.GetHeaddSpace(), ar.m_pPending == nullptr};
  if (restore.outer) ar.m_pPending = &pending;
  ar.WrieXmlHead();
  // Depth first without recursion, so that a tree of any depth can be
  // written. Each frame: the object, its index and the next child to write.
  struct Frame {
    CVDFile* file;
    int index;
    int next;
  };
  std::vector<Frame> stack;
  auto open = [&ar, &stack](CVDFile* f, int index) {
    ar.SetHeaddSpace(ar.GetHeaddSpace() + 1);
    ar << StartTag(*f, index).c_str();
    const int level = ar.GetHeaddSpace();
    ar.SetHeaddSpace(level + 1);
    f->Serialize(ar);
    ar.SetHeaddSpace(level);
    stack.push_back({f, index, 0});
  };
  open(&file, 0);
  while (!stack.empty()) {
    Frame& top = stack.back();
    CVDFile* child = nullptr;
    int index = 0;
    while (!child && top.next < top.file->GetFileCount()) {
      index = top.next++;
      child = top.file->GetFileAt(index);
    }
    if (child) {
      open(child, index);
      continue;
    }
    const std::string end = "</" + ElementName(*top.file, top.index) + ">\n";
    ar << end.c_str();
    ar.SetHeaddSpace(ar.GetHeaddSpace() - 1);
    stack.pop_back();
  }
  if (restore.outer) ar.FlushPending();
  return true;
}

// ---- Objects: reading ----------------------------------------------------------------------
const CXmlParser::PlainKind CXmlFileParser::kFileKind = {
    &typeid(CXmlFileParser), &typeid(CXmlFileItem), sizeof(CXmlFileItem),
    [](void* where, CXmlItem* parent) -> CXmlItem* { return new (where) CXmlFileItem(parent); }};

CXmlFileParser::CXmlFileParser() {
  m_pPlain = &kFileKind;
}

CXmlFileParser::CXmlFileParser(const CXmlFileParser& other) : CXmlParser(other) {
  m_pPlain = &kFileKind;
}

CXmlItem* CXmlFileParser::CreateObj(CXmlItem* parent) {
  return new CXmlFileItem(parent);
}

namespace {

// The node as the object reader's own class, or null.
CXmlFileItem* AsFileItem(CXmlItem* node) {
  // The parser's nodes are nearly always exactly of this class.
  if (node && typeid(*node) == typeid(CXmlFileItem)) return static_cast<CXmlFileItem*>(node);
  return dynamic_cast<CXmlFileItem*>(node);
}

}  // namespace

// The children a parent object had before its element's children began to
// load, and (when it had any) the objects the load has added since: only
// those from before are reused by name. And whether the tree is the load's
// own, freed whole when the load ends: its loaded nodes then keep their
// subtrees until that, as nothing can reach them any more.
struct CXmlFileItem::Siblings {
  int existing;
  std::unordered_set<const CVDFile*> added;
  bool ownTree;
};

bool CXmlFileItem::Serialize(CXmlArchive& ar, CXmlItem* parent) {
  CXmlFileItem* fileParent = AsFileItem(parent);
  return Load(ar, this, parent, m_pFile, fileParent ? fileParent->m_pFile : nullptr, nullptr);
}

void CXmlFileItem::MakeUnnamed(CVDFile* file) {
  file->m_bNamed = false;
}

bool CXmlFileItem::Load(CXmlArchive& ar, CXmlItem* node, CXmlItem* parentNode, CVDFile* bound,
                        CVDFile* parentFile, Siblings* siblings) {
  if (node->GetLoaded()) return true;
  // Each level of objects loads one archive deeper: the nesting is bounded
  // here, whatever the parser let through.
  if (ar.m_nNest >= kVDFileMaxDepth) return false;
  CXmlArchive sub(ar, node);
  node->SetLoaded(1);
  CXmlFileItem* fileNode = AsFileItem(node);

  const char* element = node->GetName();
  const bool indexForm = detail::IsIndexForm(element);
  const char* named = node->GetA("named");
  const bool unnamed = named && EqualNoCase(named, "false");
  // The object's name: the element's, or for the index form the name
  // attribute a name unfit for an element was written to.
  const char* nameAttr = indexForm ? node->GetA("name") : nullptr;
  const char* type = node->GetA("type");

  CVDFile* file = bound;
  if (file || !parentNode) {
    if (file) {
      if (unnamed) {
        // Kept unnamed (the element name would be an index, not a name).
        MakeUnnamed(file);
        file->SetName(nameAttr ? nameAttr : indexForm ? "" : element);
      } else {
        file->m_bNamed = true;
        file->SetName(nameAttr ? nameAttr : element);
      }
      if (HasText(type)) file->SetFileType(type);
      if (fileNode) fileNode->m_pFile = file;
      if (!file->Serialize(sub)) return false;
    }
  } else {
    const char* className = node->GetA("class");
    if (!className) return true;  // data, not an object
    if (!parentFile) return true;
    bool created = false;
    // A parent that had no children needs no lookup.
    if (!unnamed && (!siblings || siblings->existing > 0)) {
      file = parentFile->FindFile(nameAttr ? nameAttr : element);
      if (file && siblings && siblings->added.count(file)) file = nullptr;
    }
    if (!file) {
      file = CreateVDFile(className);
      if (!file) return true;  // a class nobody registered: passed over
      created = true;
    }
    if (unnamed) {
      MakeUnnamed(file);
      if (nameAttr || !indexForm) file->SetName(nameAttr ? nameAttr : element);
      // The type is kept for unnamed objects too.
      if (type) file->SetFileType(type);
    } else {
      if (nameAttr || !indexForm) file->SetName(nameAttr ? nameAttr : element);
      if (type) file->SetFileType(type);
    }
    if (created && !parentFile->AddNewFile(file)) {
      // Refused by its OnCreateFile. Whatever AddNewFile left alive and
      // outside the tree is ours to free; it is not loaded.
      if (IsDataExist(file)) {
        bool inTree = false;
        for (int i = 0; i < parentFile->GetFileCount() && !inTree; ++i)
          inTree = parentFile->GetFileAt(i) == file;
        if (!inTree) delete file;
      }
      return true;
    }
    if (created && siblings && siblings->existing > 0) siblings->added.insert(file);
    if (fileNode) fileNode->m_pFile = file;
    if (!file->Serialize(sub)) return false;
  }

  Siblings children{file ? file->GetFileCount() : 0, {}, siblings && siblings->ownTree};
  for (int i = 0; i < node->GetCount(); ++i) {
    CXmlItem* child = node->GetChild(i);
    if (child->GetLoaded()) continue;  // data the object read, or loaded by name
    CXmlFileItem* fileChild = AsFileItem(child);
    if (!Load(sub, child, node, fileChild ? fileChild->m_pFile : nullptr, file, &children)) return false;
  }
  node->SetName("");
  if (!children.ownTree) node->DeleteAll();
  if (fileNode) fileNode->m_pFile = nullptr;
  return true;
}

bool operator>>(CXmlArchive& ar, CVDFile& file) {
  if (!ar.IsLoading()) return false;
  if (ar.IsTop()) {
    if (!ar.m_pFile) return false;
    CXmlFileItem root(nullptr);
    CXmlFileParser parser;
    if (!parser.ParseXml(ar.m_pFile, &root)) return false;
    CXmlItem* first = root.GetChild(0);
    if (!first || !EqualNoCase(first->GetA("class"), file.GetClassNameA())) return false;
    // A document cut short or broken still gives what it holds, but the
    // load reports it.
    const bool whole = parser.GetStatus() == CXmlParser::ok;
    static_cast<CXmlFileItem*>(first)->BindFile(&file);
    CXmlFileItem::Siblings top{0, {}, true};
    const bool loaded = CXmlFileItem::Load(ar, first, nullptr, &file, nullptr, &top);
    return loaded && whole;
  }
  if (!ar.m_pItem || !HasText(file.GetName())) return false;
  for (int i = 0; i < ar.m_pItem->GetCount(); ++i) {
    CXmlItem* child = ar.m_pItem->GetChild(i);
    const char* name = child->GetName();
    const bool nameMatches = EqualNoCase(name, file.GetName()) ||
                             (detail::IsIndexForm(name) && EqualNoCase(child->GetA("name"), file.GetName()));
    if (nameMatches && EqualNoCase(child->GetA("class"), file.GetClassNameA())) {
      return CXmlFileItem::Load(ar, child, nullptr, &file, nullptr, nullptr);
    }
  }
  return false;
}
