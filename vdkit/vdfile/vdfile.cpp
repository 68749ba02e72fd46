#include "vdkit/vdfile/vdfile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/core/text_internal.h"

using detail::EqualNoCase;

namespace {

// ---- Process-wide registries ---------------------------------------------------------
// Built on first use and never destroyed, so that objects constructed or
// destroyed during static initialisation or exit, in any module, find them.
CMapPtrToWord& LiveObjects() {
  static CMapPtrToWord* map = new CMapPtrToWord;
  return *map;
}

CMapStringToStringEx& KeywordMap() {
  static CMapStringToStringEx* map = new CMapStringToStringEx(10);
  return *map;
}

// Splits at any of `seps`; empty components vanish.
std::vector<std::string> SplitPath(const char* path, const char* seps) {
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = path; p && *p; ++p) {
    if (std::strchr(seps, *p)) {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

bool IsRootPath(const char* path) {
  return path && (path[0] == '/' || path[0] == '\\');
}

// Children are destroyed through one worklist per outermost destruction, so
// that a tree of any depth is torn down without one stack frame per level.
// The order is that of a depth-first walk (a child and its subtree before
// the next child); each object is already detached when destroyed.
thread_local std::vector<CVDFile*>* t_pendingDestroy = nullptr;

void DestroyAll(const std::vector<CVDFile*>& doomed) {
  if (t_pendingDestroy) {
    t_pendingDestroy->insert(t_pendingDestroy->end(), doomed.rbegin(), doomed.rend());
    return;
  }
  std::vector<CVDFile*> pending(doomed.rbegin(), doomed.rend());
  t_pendingDestroy = &pending;
  while (!pending.empty()) {
    CVDFile* f = pending.back();
    pending.pop_back();
    delete f;
  }
  t_pendingDestroy = nullptr;
}

// A linear scan over the children costs a cache miss per child; beyond this
// many, FindFile keeps an index by name hash.
constexpr INT_PTR kChildIndexThreshold = 48;

// The memory file of Open: it remembers how it was opened.
class BlobFile : public CMemFile {
 public:
  BlobFile() : CMemFile(512), m_nFlag(CVDFile::openWrite) {}
  BlobFile(BYTE* data, DWORD size) : CMemFile(data, size, 0), m_nFlag(CVDFile::openRead) {}
  const CVDFile::TOpenFlag m_nFlag;
};

}  // namespace

// Positions of the children by name hash, valid while the children only grow
// at the end (any other change drops the index). Open addressing in one
// block: an index costs no allocation per child.
struct CVDFile::ChildIndex {
  struct Slot {
    UINT hash;
    INT_PTR posPlusOne;  // 0: empty
  };
  std::vector<Slot> slots;
  int shift = 64;
  size_t used = 0;

  size_t Home(UINT hash) const {
    // Names that differ only in their last letters differ only in the low
    // bits of their hash; the multiplication spreads them over the table.
    return static_cast<size_t>((static_cast<uint64_t>(hash) * 0x9E3779B97F4A7C15ull) >> shift);
  }
  void Insert(UINT hash, INT_PTR pos) {
    if ((used + 1) * 2 > slots.size()) Grow();
    const size_t mask = slots.size() - 1;
    size_t i = Home(hash);
    while (slots[i].posPlusOne) i = (i + 1) & mask;
    slots[i] = {hash, pos + 1};
    ++used;
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots);
    const size_t size = old.empty() ? 128 : old.size() * 2;
    slots.assign(size, Slot{0, 0});
    shift = 64;
    for (size_t s = size; s > 1; s >>= 1) --shift;
    used = 0;
    for (const Slot& slot : old) {
      if (slot.posPlusOne) Insert(slot.hash, slot.posPlusOne - 1);
    }
  }
  // Calls f(pos) for every position stored under `hash`.
  template <class F>
  void ForEach(UINT hash, F f) const {
    if (slots.empty()) return;
    const size_t mask = slots.size() - 1;
    for (size_t i = Home(hash); slots[i].posPlusOne; i = (i + 1) & mask) {
      if (slots[i].hash == hash) f(slots[i].posPlusOne - 1);
    }
  }
};

// ---- Class registry -------------------------------------------------------------------
// Constant-initialised, so records of any module may link in during static
// initialisation.
CVDClassInfo* CVDClassInfo::mhFirstObj = nullptr;

namespace {

// The registry by name (ASCII case ignored): the first record of each name
// in list order, in an open-addressing table. Built by the first lookup and
// built again by the first lookup after any record linked in, unlinked or
// was assigned (records come and go with modules, rarely).
struct ClassSlot {
  UINT hash;
  UINT length;
  const char* name;  // the record's name when it was indexed
  CVDClassInfo* info;
};
std::vector<ClassSlot>* g_classSlots = nullptr;  // never destroyed: lookups may run during exit
int g_classShift = 32;
bool g_classIndexStale = true;

// A letter and its other case differ only in bit 0x20, which the hash
// ignores in every byte.
UINT FoldedHash(const char* name, UINT& length) {
  UINT hash = 0;
  const char* p = name;
  for (; *p; ++p) hash = hash * 31 + (static_cast<unsigned char>(*p) | 0x20u);
  length = static_cast<UINT>(p - name);
  return hash;
}

size_t ClassHome(UINT hash) {
  return static_cast<size_t>(static_cast<UINT>(hash * 0x9E3779B9u) >> g_classShift);
}

void BuildClassIndex() {
  size_t count = 0;
  for (CVDClassInfo* info = CVDClassInfo::mhFirstObj; info; info = info->m_pNextClass) ++count;
  size_t size = 16;
  g_classShift = 28;
  while (size < 2 * count) {
    size *= 2;
    --g_classShift;
  }
  if (!g_classSlots) g_classSlots = new std::vector<ClassSlot>;
  std::vector<ClassSlot>& slots = *g_classSlots;
  slots.assign(size, ClassSlot{0, 0, nullptr, nullptr});
  for (CVDClassInfo* info = CVDClassInfo::mhFirstObj; info; info = info->m_pNextClass) {
    const char* name = info->m_lpszClassName;
    if (!name) continue;
    UINT length = 0;
    const UINT hash = FoldedHash(name, length);
    size_t i = ClassHome(hash);
    while (slots[i].info && !(slots[i].hash == hash && EqualNoCase(slots[i].name, name)))
      i = (i + 1) & (size - 1);
    if (!slots[i].info)
      slots[i] = ClassSlot{hash, length, name, info};  // else an earlier record has the name
  }
  g_classIndexStale = false;
}

CVDClassInfo* FindClass(const char* name) {
  if (g_classIndexStale) BuildClassIndex();
  const std::vector<ClassSlot>& slots = *g_classSlots;
  UINT length = 0;
  const UINT hash = FoldedHash(name, length);
  for (size_t i = ClassHome(hash); slots[i].info; i = (i + 1) & (slots.size() - 1)) {
    const ClassSlot& s = slots[i];
    // Documents name classes as the classes spell themselves: the exact
    // comparison nearly always decides.
    if (s.hash != hash || s.length != length) continue;
    if (std::memcmp(s.name, name, length) != 0 && !EqualNoCase(s.name, name)) continue;
    // The slot stands while its record keeps the name it was indexed by.
    if (s.info->m_lpszClassName == s.name) return s.info;
    break;
  }
  // No slot, or a record's name changed in place: the list answers.
  for (CVDClassInfo* info = CVDClassInfo::mhFirstObj; info; info = info->m_pNextClass) {
    if (info->m_lpszClassName && EqualNoCase(info->m_lpszClassName, name)) return info;
  }
  return nullptr;
}

}  // namespace

CVDClassInfo::CVDClassInfo(const char* lpszClassName, CVDFile* (*pfnCreate)(), CVDClassInfo* (*pfnGetBase)())
    : m_lpszClassName(lpszClassName),
      m_pfnCreateObject(pfnCreate),
      m_pNextClass(nullptr),
      m_pfnGetBaseClass(pfnGetBase) {
  CVDClassInfo** link = &mhFirstObj;
  while (*link) link = &(*link)->m_pNextClass;
  *link = this;
  g_classIndexStale = true;
}

CVDClassInfo::~CVDClassInfo() {
  for (CVDClassInfo** link = &mhFirstObj; *link; link = &(*link)->m_pNextClass) {
    if (*link == this) {
      *link = m_pNextClass;
      break;
    }
  }
  g_classIndexStale = true;
}

CVDClassInfo& CVDClassInfo::operator=(const CVDClassInfo& other) {
  m_lpszClassName = other.m_lpszClassName;
  m_pfnCreateObject = other.m_pfnCreateObject;
  m_pNextClass = other.m_pNextClass;
  m_pfnGetBaseClass = other.m_pfnGetBaseClass;
  g_classIndexStale = true;
  return *this;
}

CVDFile* CreateVDFile(const char* lpszClassName) {
  if (!lpszClassName) return nullptr;
  CVDClassInfo* info = FindClass(lpszClassName);
  return info && info->m_pfnCreateObject ? info->m_pfnCreateObject() : nullptr;
}

// ---- Live-object registry and keyword map -----------------------------------------------
CMapPtrToWord& CVDisk::mDCObjs = LiveObjects();

void RegisterData(void* p, bool bRemove) {
  if (bRemove)
    LiveObjects().RemoveKey(p);
  else
    LiveObjects()[p] = 1;
}

bool IsDataExist(void* p) {
  WORD value;
  return p && LiveObjects().Lookup(p, value);
}

void MapKeywordName(const char* lpszKey, const char* lpszText) {
  KeywordMap().SetAt(lpszKey, lpszText);
}

const char* GetMapedName(const char* lpszKey) {
  const char* text = nullptr;
  if (lpszKey && KeywordMap().Lookup(lpszKey, text)) return text;
  return lpszKey;
}

// ---- CVDFile: class ----------------------------------------------------------------------
const char CVDFile::classCVDFile[] = "CVDFile";
CVDClassInfo CVDFile::sClassInfo(CVDFile::classCVDFile, &CVDFile::CreateObject, nullptr);
CVDFile* CVDFile::CreateObject() {
  return new CVDFile;
}
CVDClassInfo* CVDFile::GetClass() {
  return &CVDFile::sClassInfo;
}

const char* CVDFile::GetClassNameA() {
  return GetClass()->m_lpszClassName;
}

bool CVDFile::IsKindOf(const char* lpszClassName) {
  if (!lpszClassName) return false;
  // The bound stops a base chain that a faulty registration made circular.
  CVDClassInfo* info = GetClass();
  for (int depth = 0; info && depth < 256; ++depth) {
    if (info->m_lpszClassName && EqualNoCase(info->m_lpszClassName, lpszClassName)) return true;
    info = info->m_pfnGetBaseClass ? info->m_pfnGetBaseClass() : nullptr;
  }
  return false;
}

// ---- CVDFile: lifecycle -----------------------------------------------------------------------
CVDFile::CVDFile() {
  RegisterData(this, false);
}

CVDFile::~CVDFile() {
  RegisterData(this, true);
  if (m_pParent) m_pParent->RemoveFile(this);
  if (m_hTreeItem) {
    // Virtual calls here reach CVDFile's GetDisk: the parent's disk.
    if (CTreeCtrl* tree = GetTreeCtrlOfDisk()) tree->DeleteItem(m_hTreeItem);
    m_hTreeItem = nullptr;
  }
  delete m_pBindFiles;
  m_pBindFiles = nullptr;
  std::free(m_pData);
  m_pData = nullptr;
  m_dwDataSize = 0;
  DropChildIndex();
  std::vector<CVDFile*> doomed;
  for (void* p : m_arFiles) {
    CVDFile* child = static_cast<CVDFile*>(p);
    if (!child) continue;
    child->m_hTreeItem = nullptr;
    child->m_pParent = nullptr;
    if (m_bOwnChildren) doomed.push_back(child);
  }
  m_arFiles.RemoveAll();
  DestroyAll(doomed);
}

// ---- CVDFile: virtual defaults ------------------------------------------------------------------
CVDisk* CVDFile::GetDisk() {
  return m_pParent ? m_pParent->GetDisk() : nullptr;
}
CVDFile* CVDFile::GetTop(int nType) {
  return m_pParent ? m_pParent->GetTop(nType) : nullptr;
}
bool CVDFile::OnCreateFile() {
  return true;
}
bool CVDFile::OnDeleteFile() {
  return true;
}
bool CVDFile::GetData(DWORD, void*) {
  return false;
}
bool CVDFile::SetData(DWORD, void*) {
  return false;
}

CQRXDoc* CVDFile::GetDocument() {
  CVDisk* disk = GetDisk();
  return disk ? disk->GetDocument() : nullptr;
}

bool CVDFile::Serialize(CXmlArchive&) {
  return true;
}
bool CVDFile::Serialize(CArchive&) {
  return true;
}
bool CVDFile::OnBindFileNotify(CVDFile*, int) {
  return true;
}

CTreeCtrl* CVDFile::GetTreeCtrlOfDisk() {
  CVDisk* disk = GetDisk();
  return disk ? disk->GetTreeCtrl() : nullptr;
}

// ---- CVDFile: name, type, flags --------------------------------------------------------------------
void CVDFile::SetNameQuiet(const char* lpszName) {
  m_strName = lpszName;
  const UINT hash = MapHashKey(m_strName);
  // The parent's index goes by hash: a change of letter case keeps it valid.
  if (m_pParent && hash != m_nNameHash) m_pParent->DropChildIndex();
  m_nNameHash = hash;
}

void CVDFile::SetName(const char* lpszName) {
  SetNameQuiet(lpszName);
  if (!m_bNamed) return;
  if (m_hTreeItem) {
    if (CTreeCtrl* tree = GetTreeCtrlOfDisk()) {
      const bool mapped = m_bTransName || m_strName[0] == '@';
      tree->SetItemText(m_hTreeItem, mapped ? GetMapedName(m_strName) : m_strName.GetString());
    }
  }
  NotifyBindFiles(2, nullptr);
}

bool CVDFile::IsFileType(const char* lpszType) const {
  return lpszType && EqualNoCase(m_strFileType, lpszType);
}

void CVDFile::SetCheck(bool bCheck, bool bChildren) {
  std::vector<CVDFile*> stack{this};
  while (!stack.empty()) {
    CVDFile* f = stack.back();
    stack.pop_back();
    f->m_bCheck = bCheck;
    if (f->m_hTreeItem) {
      if (CTreeCtrl* tree = f->GetTreeCtrlOfDisk()) tree->SetCheck(f->m_hTreeItem, bCheck);
    }
    if (!bChildren) break;
    for (INT_PTR i = f->m_arFiles.GetSize(); i-- > 0;) {
      if (f->m_arFiles[i]) stack.push_back(static_cast<CVDFile*>(f->m_arFiles[i]));
    }
  }
}

// ---- CVDFile: children -------------------------------------------------------------------------------
CVDFile* CVDFile::GetFileAt(int nIndex) const {
  if (nIndex < 0 || nIndex >= m_arFiles.GetSize()) return nullptr;
  return static_cast<CVDFile*>(m_arFiles[nIndex]);
}

void CVDFile::ListSubFiles(CStringArray& names) const {
  names.RemoveAll();
  for (void* p : m_arFiles) names.Add(p ? static_cast<CVDFile*>(p)->m_strName : CString());
}

int CVDFile::IndexOf(const CVDFile* pFile) const {
  const INT_PTR n = m_arFiles.GetSize();
  for (INT_PTR i = 0; i < n; ++i) {
    if (m_arFiles[i] == pFile) return static_cast<int>(i);
  }
  return -1;
}

void CVDFile::DropChildIndex() const {
  delete m_pChildIndex;
  m_pChildIndex = nullptr;
}

void CVDFile::AppendChild(CVDFile* pFile) {
  const INT_PTR pos = m_arFiles.Add(pFile);
  if (m_pChildIndex) m_pChildIndex->Insert(pFile->m_nNameHash, pos);
}

CVDFile* CVDFile::FindFile(const char* lpszName) const {
  if (!lpszName || !*lpszName) return nullptr;
  const UINT hash = MapHashKey(lpszName);
  const INT_PTR n = m_arFiles.GetSize();
  if (n < kChildIndexThreshold) {
    for (INT_PTR i = 0; i < n; ++i) {
      const CVDFile* f = static_cast<const CVDFile*>(m_arFiles[i]);
      if (f && f->m_nNameHash == hash && EqualNoCase(f->m_strName, lpszName)) return const_cast<CVDFile*>(f);
    }
    return nullptr;
  }
  if (!m_pChildIndex) {
    m_pChildIndex = new ChildIndex;
    for (INT_PTR i = 0; i < n; ++i) {
      if (m_arFiles[i]) m_pChildIndex->Insert(static_cast<CVDFile*>(m_arFiles[i])->m_nNameHash, i);
    }
  }
  // The first match in child order, as the scan would give; every candidate
  // is checked against the child itself.
  INT_PTR best = -1;
  m_pChildIndex->ForEach(hash, [&](INT_PTR i) {
    if (i >= n || (best >= 0 && i >= best)) return;
    const CVDFile* f = static_cast<const CVDFile*>(m_arFiles[i]);
    if (f && f->m_nNameHash == hash && EqualNoCase(f->m_strName, lpszName)) best = i;
  });
  return best < 0 ? nullptr : static_cast<CVDFile*>(m_arFiles[best]);
}

CVDFile* CVDFile::ChangeDir(const char* lpszPath) {
  CVDFile* f = IsRootPath(lpszPath) ? GetDisk() : this;
  for (const std::string& part : SplitPath(lpszPath, "/\\")) {
    if (!f) return nullptr;
    f = f->FindFile(part.c_str());
  }
  return f;
}

CVDFile* CVDFile::FindFileEx(const char* lpszPath) {
  if (!lpszPath || !*lpszPath) return nullptr;
  if (std::strcmp(lpszPath, "/") == 0 || std::strcmp(lpszPath, "\\") == 0) return nullptr;
  CVDFile* f = IsRootPath(lpszPath) ? GetDisk() : this;
  for (const std::string& part : SplitPath(lpszPath, "/\\")) {
    if (!f) return nullptr;
    if (part == "..")
      f = f->m_pParent;
    else if (part[0] != '.')
      f = f->FindFile(part.c_str());
  }
  return f;
}

CVDFile* CVDFile::CreateFileEx(const char* lpszPath, const char* lpszType, const char* lpszClass) {
  if (!lpszPath || !*lpszPath) return nullptr;
  if (std::strcmp(lpszPath, "/") == 0 || std::strcmp(lpszPath, "\\") == 0) return nullptr;
  CVDFile* f = IsRootPath(lpszPath) ? GetDisk() : this;
  for (const std::string& part : SplitPath(lpszPath, "/\\")) {
    if (!f) return nullptr;
    CVDFile* next = f->FindFile(part.c_str());
    f = next ? next : f->CreateFileA(part.c_str(), lpszType, lpszClass);
  }
  return f;
}

CVDFile* CVDFile::CreateFileA(const char* lpszName, const char* lpszType, const char* lpszClass) {
  const bool named = lpszName && *lpszName;
  if (named) {
    if (CVDFile* found = FindFile(lpszName)) return found;
  }
  CVDFile* f = CreateVDFile(lpszClass && *lpszClass ? lpszClass : CVDFile::classCVDFile);
  if (!f) return nullptr;
  if (!named) {
    f->m_bNamed = false;
    f->m_pParent = this;
    if (lpszType) f->m_strFileType = lpszType;
    AppendChild(f);
    return f;
  }
  f->SetName(lpszName);
  if (lpszType) f->m_strFileType = lpszType;
  return AddNewFileImpl(f, true) ? f : nullptr;
}

bool CVDFile::AddNewFile(CVDFile* pFile) {
  return AddNewFileImpl(pFile, false);
}

bool CVDFile::AddNewFileImpl(CVDFile* pFile, bool bMadeHere) {
  if (!pFile) return false;
  pFile->m_pParent = this;
  AppendChild(pFile);
  if (!pFile->OnCreateFile()) {
    const DeleteResult r = pFile->DeleteFileImpl();
    if (bMadeHere) {
      // The object is ours alone: it leaves the tree and dies exactly once,
      // whether or not DeleteFileA could do it.
      if (r == DeleteResult::refused) {
        RemoveFile(pFile);
        pFile->m_pParent = nullptr;
      }
      if (r != DeleteResult::destroyed) delete pFile;
    }
    return false;
  }
  if (pFile->m_bNamed && !pFile->m_bHide) {
    if (CTreeCtrl* tree = GetTreeCtrlOfDisk()) {
      NMVDADDFILE rec;
      rec.hdr.hwndFrom = tree;
      rec.hdr.idFrom = static_cast<UINT_PTR>(tree->GetDlgCtrlID());
      rec.hdr.code = VDN_ADDFILE;
      rec.hParent = m_hTreeItem;
      rec.pFile = pFile;
      tree->SendNotify(&rec.hdr);
    }
  }
  return true;
}

CVDFile* CVDFile::ReplaceFile(CVDFile* pOld, CVDFile* pNew) {
  if (!pNew) return nullptr;
  if (!pOld) pOld = FindFile(pNew->m_strName);
  const int at = pOld ? IndexOf(pOld) : -1;
  if (at < 0) {
    AddNewFile(pNew);
    return nullptr;
  }
  DropChildIndex();
  if (pOld == pNew) return nullptr;  // already in its place
  m_arFiles[at] = pNew;
  pNew->m_pParent = this;
  pNew->m_hTreeItem = pOld->m_hTreeItem;
  pOld->m_hTreeItem = nullptr;
  pOld->m_pParent = nullptr;
  if (pNew->m_hTreeItem) {
    if (CTreeCtrl* tree = GetTreeCtrlOfDisk()) {
      tree->SetItemData(pNew->m_hTreeItem, reinterpret_cast<DWORD_PTR>(pNew));
      tree->SetItemText(pNew->m_hTreeItem, pNew->m_strName);
    }
  }
  return pOld;
}

void CVDFile::RemoveFile(CVDFile* pFile) {
  const int at = IndexOf(pFile);
  if (at < 0) return;
  m_arFiles.RemoveAt(at);
  DropChildIndex();
}

bool CVDFile::MoveThisTo(int nIndex) {
  if (!m_pParent) return false;
  CPtrArray& siblings = m_pParent->m_arFiles;
  const int at = m_pParent->IndexOf(this);
  if (at < 0) return false;
  siblings.RemoveAt(at);
  // Past the end means last: inserting there would leave empty slots.
  const INT_PTR to = std::min<INT_PTR>(std::max(nIndex, 0), siblings.GetSize());
  siblings.InsertAt(to, this);
  m_pParent->DropChildIndex();
  return true;
}

bool CVDFile::MoveThisToBefore(CVDFile* pSibling) {
  if (!m_pParent) return false;
  CPtrArray& siblings = m_pParent->m_arFiles;
  const int at = m_pParent->IndexOf(this);
  if (at < 0) return false;
  siblings.RemoveAt(at);
  INT_PTR to = -1;
  if (pSibling)
    to = m_pParent->IndexOf(pSibling);
  else if (siblings.GetSize() > 0)
    to = siblings.GetSize() - 1;
  if (to < 0) {
    siblings.InsertAt(at, this);
    return false;
  }
  siblings.InsertAt(to, this);
  m_pParent->DropChildIndex();
  return true;
}

// ---- CVDFile: deletion ------------------------------------------------------------------------------
bool CVDFile::DeleteFileA() {
  return DeleteFileImpl() != DeleteResult::refused;
}

CVDFile::DeleteResult CVDFile::DeleteFileImpl() {
  if (!OnDeleteFile()) return DeleteResult::refused;
  if (m_hTreeItem) {
    if (CTreeCtrl* tree = GetTreeCtrlOfDisk()) {
      tree->DeleteItem(m_hTreeItem);
      m_hTreeItem = nullptr;
    }
  }
  CVDFile* parent = m_pParent;
  const bool parentOwns = parent ? parent->m_bOwnChildren : true;
  const bool parentWasLive = IsDataExist(parent);
  if (parent) parent->RemoveFile(this);
  m_pParent = nullptr;
  RegisterData(this, true);
  UnbindAllSubfiles();
  EmptyFile();
  if (parent) {
    // Deleting the bound files may have taken the former parent with them.
    if (!parentWasLive || IsDataExist(parent)) parent->NotifyBindFiles(1, nullptr);
    if (!parentOwns) return DeleteResult::detached;
  }
  delete this;
  return DeleteResult::destroyed;
}

bool CVDFile::DeleteFileA(const char* lpszName) {
  CVDFile* f = FindFile(lpszName);
  return f ? f->DeleteFileA() : true;
}

bool CVDFile::DeleteFileAt(int nIndex) {
  CVDFile* f = GetFileAt(nIndex);
  return f ? f->DeleteFileA() : true;
}

void CVDFile::DeleteAllFiles() {
  EmptyFile();
  NotifyBindFiles(4, nullptr);
}

void CVDFile::EmptyFile() {
  std::vector<void*> children(m_arFiles.begin(), m_arFiles.end());
  m_arFiles.RemoveAll();
  DropChildIndex();
  CTreeCtrl* tree = m_hTreeItem ? GetTreeCtrlOfDisk() : nullptr;
  std::vector<CVDFile*> doomed;
  for (void* p : children) {
    CVDFile* child = static_cast<CVDFile*>(p);
    if (!child) continue;
    if (tree && child->m_hTreeItem) tree->DeleteItem(child->m_hTreeItem);
    child->m_hTreeItem = nullptr;
    child->m_pParent = nullptr;
    if (m_bOwnChildren) doomed.push_back(child);
  }
  DestroyAll(doomed);
  std::free(m_pData);
  m_pData = nullptr;
  m_dwDataSize = 0;
}

// ---- CVDFile: paths ------------------------------------------------------------------------------------
CString CVDFile::GetVDPathName() const {
  if (!m_pParent) return CString("/");
  std::vector<const CVDFile*> chain;
  for (const CVDFile* f = this; f->m_pParent; f = f->m_pParent) chain.push_back(f);
  std::string path = "/";
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (path.back() != '/') path += '/';
    path += (*it)->m_strName.str();
  }
  return CString(path);
}

CString CVDFile::GetVDPath() const {
  if (!m_pParent) return CString("/");
  CString path = m_pParent->GetVDPathName();
  const int n = path.GetLength();
  if (n == 0 || (path[n - 1] != '/' && path[n - 1] != '\\')) path += '/';
  return path;
}

CString CVDFile::GetDir() const {
  return m_pParent ? m_pParent->GetVDPathName() : CString("/");
}

// ---- CVDFile: binding ------------------------------------------------------------------------------------
void CVDFile::BindFile(CVDFile* pFile) {
  if (!pFile || pFile == this) return;
  if (!m_pBindFiles) m_pBindFiles = new CPtrArray;
  for (void* p : *m_pBindFiles) {
    if (p == pFile) return;
  }
  m_pBindFiles->Add(pFile);
}

void CVDFile::UnbindFile(CVDFile* pFile) {
  if (!m_pBindFiles) return;
  if (pFile) {
    for (INT_PTR i = 0; i < m_pBindFiles->GetSize(); ++i) {
      if ((*m_pBindFiles)[i] == pFile) {
        m_pBindFiles->RemoveAt(i);
        break;
      }
    }
    if (!m_pBindFiles->IsEmpty()) return;
  }
  delete m_pBindFiles;
  m_pBindFiles = nullptr;
}

CVDFile* CVDFile::GetBindFile(const char* lpszType) {
  CVDFile* found = nullptr;
  for (INT_PTR i = 0; m_pBindFiles && i < m_pBindFiles->GetSize();) {
    CVDFile* f = static_cast<CVDFile*>((*m_pBindFiles)[i]);
    if (!IsDataExist(f)) {
      m_pBindFiles->RemoveAt(i);
      continue;
    }
    if (!lpszType || f->IsFileType(lpszType)) {
      found = f;
      break;
    }
    ++i;
  }
  if (m_pBindFiles && m_pBindFiles->IsEmpty()) UnbindFile(nullptr);
  return found;
}

bool CVDFile::IsBindFile(const char* lpszType) {
  return lpszType && GetBindFile(lpszType) != nullptr;
}

void CVDFile::NotifyOwnBindFiles(CVDFile* pSource, int nCode) {
  // Re-read the list every time: a receiver may bind, unbind or free it.
  for (INT_PTR i = 0; m_pBindFiles && i < m_pBindFiles->GetSize();) {
    CVDFile* f = static_cast<CVDFile*>((*m_pBindFiles)[i]);
    if (!IsDataExist(f)) {
      m_pBindFiles->RemoveAt(i);
      continue;
    }
    f->OnBindFileNotify(pSource, nCode);
    ++i;
  }
  if (m_pBindFiles && m_pBindFiles->IsEmpty()) UnbindFile(nullptr);
}

bool CVDFile::NotifyBindFiles(int nCode, CVDFile* pSource) {
  CVDFile* source = pSource ? pSource : this;
  CVDisk* disk = GetDisk();
  if (!disk) return false;
  for (CVDFile* f = this;;) {
    if (!disk->IsEnableNotify()) return false;
    f->NotifyOwnBindFiles(source, nCode);
    f = f->m_pParent;
    if (!f) return true;
    disk = f->GetDisk();
    if (!disk) return false;
  }
}

void CVDFile::UnbindAllSubfiles() {
  // Deleting a bound file can delete other objects of this subtree (it may
  // lie inside it, or have its own bound files here), so every object is
  // checked against the live-object registry before it is visited, and its
  // list is re-read after every deletion. This object itself is already
  // unregistered by DeleteFileA.
  std::vector<CVDFile*> stack{this};
  while (!stack.empty()) {
    CVDFile* f = stack.back();
    stack.pop_back();
    if (f != this && !IsDataExist(f)) continue;
    bool alive = true;
    for (INT_PTR i = 0; f->m_pBindFiles && i < f->m_pBindFiles->GetSize(); ++i) {
      CVDFile* bound = static_cast<CVDFile*>((*f->m_pBindFiles)[i]);
      if (!IsDataExist(bound)) continue;
      (*f->m_pBindFiles)[i] = nullptr;
      bound->UnbindFile(f);
      bound->DeleteFileA();
      if (f != this && !IsDataExist(f)) {
        alive = false;
        break;
      }
    }
    if (!alive) continue;
    delete f->m_pBindFiles;
    f->m_pBindFiles = nullptr;
    for (INT_PTR i = f->m_arFiles.GetSize(); i-- > 0;) {
      if (f->m_arFiles[i]) stack.push_back(static_cast<CVDFile*>(f->m_arFiles[i]));
    }
  }
}

// ---- CVDFile: data blob -----------------------------------------------------------------------------------
CFile* CVDFile::Open(TOpenFlag nFlag) {
  if (nFlag != openRead) return new BlobFile;
  return new BlobFile(m_pData, m_dwDataSize);
}

void CVDFile::Close(CFile* pFile) {
  if (!pFile) return;
  BlobFile* blob = dynamic_cast<BlobFile*>(pFile);
  if (blob && blob->m_nFlag == openWrite) {
    const ULONGLONG length = blob->GetLength();
    if (length <= 0xFFFFFFFFu) {
      // The memory file's block becomes the blob without a copy, trimmed to
      // the length so that many small blobs do not each keep a growth step.
      const bool spare = blob->GetBufferSize() > length;
      BYTE* block = blob->Detach();
      if (spare && length) {
        if (BYTE* trimmed = static_cast<BYTE*>(std::realloc(block, static_cast<size_t>(length))))
          block = trimmed;
      }
      std::free(m_pData);
      m_pData = length ? block : nullptr;
      if (!length) std::free(block);
      m_dwDataSize = static_cast<DWORD>(length);
    }
  }
  pFile->Close();
  delete pFile;
}

// ---- CVDFile: tree control
// ------------------------------------------------------------------------------------
void CVDFile::AddToTree(CTreeCtrl& tree, HTREEITEM hParent) {
  struct Step {
    CVDFile* file;
    HTREEITEM parent;
  };
  std::vector<Step> stack{{this, hParent}};
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    HTREEITEM item = tree.InsertItem(step.file->m_strName, step.parent, TVI_LAST);
    if (!item) continue;
    tree.SetItemData(item, reinterpret_cast<DWORD_PTR>(step.file));
    const CPtrArray& children = step.file->m_arFiles;
    for (INT_PTR i = children.GetSize(); i-- > 0;) {
      if (children[i]) stack.push_back({static_cast<CVDFile*>(children[i]), item});
    }
  }
}

// ---- CVDisk
// ------------------------------------------------------------------------------------------------------
IMPLEMENT_VDFILE(CVDisk, CVDFile)

CVDisk::CVDisk() {
  SetNameQuiet("Disk");
  SetFileType("Disk");
}

CVDisk::~CVDisk() {
  if (m_hTreeItem && m_pTreeCtrl) {
    m_pTreeCtrl->DeleteItem(m_hTreeItem);
    m_hTreeItem = nullptr;
  }
}

CVDFile* CVDisk::GetWorkItem(const char* lpszName, const char* lpszType, const char* lpszClass,
                             bool bCreate) {
  return bCreate ? CreateFileA(lpszName, lpszType, lpszClass) : FindFile(lpszName);
}

CVDFile* CVDisk::GetCurSel() const {
  return IsDataExist(m_pCurSel) ? m_pCurSel : nullptr;
}
