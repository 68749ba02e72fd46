/// @file
/// File objects: CVDFile, the base of every persistent object, arranged in a
/// tree under a virtual disk (CVDisk); CVDClassInfo, the run-time class
/// registry through which the archives create objects by class name; the
/// live-object registry and the keyword map.
///
/// Ownership: an object owns its children and destroys them with itself unless
/// its owns-children flag is cleared, and owns its data blob. Bound files, the
/// disk's selection, document and tree control are never owned: bound files
/// and the selection are checked against the live-object registry before use,
/// the document and the tree control must be detached by whoever destroys them.
/// DeleteFileA() is the orderly end (asks OnDeleteFile, deletes the files bound
/// to the subtree, notifies the parent and destroys the object, which must then
/// come from new); plain `delete` only detaches and frees.
///
/// Failure shows as false or null; nothing here throws.
///
/// ```
/// CVDisk disk;
/// CVDFile* well = disk.CreateFileEx("/wells/W1", "Well", "CMyWell");  // made when missing
/// CVDFile* same = disk.FindFileEx("/WELLS/w1");                        // names ignore ASCII case
/// well->BindFile(view);        // `view` is told of changes under `well` and dies with it
/// well->SetName("W2");         // view->OnBindFileNotify(well, 2)
/// well->DeleteFileA();         // deletes `view` too
/// ```
///
/// A persistent subclass is one line in its class and one in its .cpp file:
///
/// ```
/// class CMyWell : public CVDFile {
///   DECLARE_VDFILE(CMyWell)
///   bool Serialize(CArchive& ar) override;     // its own data, both directions
/// };
/// IMPLEMENT_VDFILE(CMyWell, CVDFile)             // registered as "CMyWell"
/// ```
#pragma once

#include "vdkit/platform/archive.h"
#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/tree_ctrl.h"
#include "vdkit/platform/types.h"

class CVDFile;
class CVDisk;
class CXmlArchive;  ///< the XML archive gives CVDFile::Serialize(CXmlArchive&) its meaning

/// The deepest nesting of objects that the archive readers accept; deeper
/// input is refused as corrupt so that no reader or walk can exhaust the stack.
constexpr int kVDFileMaxDepth = 1024;

// ---- Class registry -----------------------------------------------------------------
/// One static record per persistent class, linked into one list in
/// construction order (static initialisation), so that every class of a
/// loaded module is known before any archive runs. A record unlinks itself
/// when destroyed (a client module being unloaded). Lookups by name go
/// through an index that construction, destruction and assignment of records
/// keep in step with the list: rename a registered record by assignment, as
/// a name written into it directly is not preferred to a later record's.
class VDKIT_API CVDClassInfo {
 public:
  /// Links a record for the class into the registry (IMPLEMENT_VDFILE makes one).
  CVDClassInfo(const char* lpszClassName, CVDFile* (*pfnCreate)(), CVDClassInfo* (*pfnGetBase)());
  ~CVDClassInfo();
  CVDClassInfo(const CVDClassInfo&) = default;         ///< member-wise, link included
  CVDClassInfo& operator=(const CVDClassInfo& other);  ///< member-wise, link included

  const char* m_lpszClassName;           ///< the class's name constant
  CVDFile* (*m_pfnCreateObject)();       ///< its static CreateObject
  CVDClassInfo* m_pNextClass;            ///< the registry link
  CVDClassInfo* (*m_pfnGetBaseClass)();  ///< its static GetBaseClass; null for CVDFile

  static CVDClassInfo* mhFirstObj;  ///< head of the registry list
};

/// A new object of the registered class of that name (ASCII case ignored; the
/// first registered match wins), or null when no class has it.
VDKIT_API CVDFile* CreateVDFile(const char* lpszClassName);

// ---- Live-object registry and keyword map ----------------------------------------
/// Adds `p` to CVDisk::mDCObjs (bRemove false) or removes it (true). Every
/// CVDFile is added by its constructor and removed by DeleteFileA or its
/// destructor; callers may register pointers of their own.
VDKIT_API void RegisterData(void* p, bool bRemove);
/// Whether `p` is registered; false for null.
VDKIT_API bool IsDataExist(void* p);
/// Sets the display text of a name (keys ignore ASCII case).
VDKIT_API void MapKeywordName(const char* lpszKey, const char* lpszText);
/// The display text of a name, or the name itself when none is mapped. The
/// text stays valid until its entry is changed.
VDKIT_API const char* GetMapedName(const char* lpszKey);

// ---- Registration macros -------------------------------------------------------------
/// In the class body: the name constant class<Name>, the registry record
/// sClassInfo, CreateObject, GetBaseClass and the GetClass override. Leaves the
/// access at public.
#define DECLARE_VDFILE(class_name)       \
 public:                                 \
  static const char class##class_name[]; \
  static CVDClassInfo sClassInfo;        \
  static CVDFile* CreateObject();        \
  static CVDClassInfo* GetBaseClass();   \
  CVDClassInfo* GetClass() override;

/// At namespace scope in one .cpp file: registers the class under its own
/// name with base_name (itself registered) as its base.
#define IMPLEMENT_VDFILE(class_name, base_name)                                                 \
  const char class_name::class##class_name[] = #class_name;                                     \
  CVDClassInfo class_name::sClassInfo(class_name::class##class_name, &class_name::CreateObject, \
                                      &class_name::GetBaseClass);                               \
  CVDFile* class_name::CreateObject() {                                                         \
    return new class_name;                                                                      \
  }                                                                                             \
  CVDClassInfo* class_name::GetBaseClass() {                                                    \
    return &base_name::sClassInfo;                                                              \
  }                                                                                             \
  CVDClassInfo* class_name::GetClass() {                                                        \
    return &class_name::sClassInfo;                                                             \
  }

// ---- CVDFile ---------------------------------------------------------------------------------
/// A named node of the object tree. Subclasses keep the virtual operations in
/// the order below and add theirs after them. Not copyable: a member-wise copy
/// would share the blob and the children.
///
/// Invalidation: any call that adds, removes or moves children changes the
/// indices of GetFileAt; a pointer to a child stays good until that child is
/// destroyed. Pointers from GetName, GetFileType and GetClassNameA stay good
/// until the text changes or the object dies.
class VDKIT_API CVDFile {
 public:
  /// How Open gives the blob: a fresh file whose content Close makes the new
  /// blob, or a file over the current blob for reading.
  enum TOpenFlag { openRead = 0, openWrite = 1 };

  /// An object with no name, parent or children, registered as living.
  CVDFile();
  CVDFile(const CVDFile&) = delete;
  CVDFile& operator=(const CVDFile&) = delete;

  // ---- Virtual operations, in their fixed order ----------------------------------
  /// Unregisters, detaches from the parent, deletes the tree item, frees the
  /// bound list (not the bound files) and the blob, then destroys the children
  /// when it owns them (after clearing their parent and tree item).
  virtual ~CVDFile();
  /// The disk the object lies under: the parent's, null without parent.
  virtual CVDisk* GetDisk();
  /// The parent's answer, null without parent; a client class that overrides
  /// it gives the meaning of the argument.
  virtual CVDFile* GetTop(int nType);
  /// Called after the object was added to a parent by AddNewFile; false refuses.
  virtual bool OnCreateFile();
  /// Called first by DeleteFileA(); false refuses the deletion.
  virtual bool OnDeleteFile();
  /// Typed data exchange by identifier, for subclasses; false here.
  ///@{
  virtual bool GetData(DWORD dwID, void* pData);
  virtual bool SetData(DWORD dwID, void* pData);
  ///@}
  /// The disk's document, null without disk.
  virtual CQRXDoc* GetDocument();
  /// The object's own data in the XML and the binary archive; true here
  /// (nothing written or read). False makes the archive reader fail the record.
  ///@{
  virtual bool Serialize(CXmlArchive& ar);
  virtual bool Serialize(CArchive& ar);
  ///@}
  /// Removes `pFile` from the bound files (first occurrence), or with null
  /// forgets them all; the bound files themselves are untouched.
  virtual void UnbindFile(CVDFile* pFile);
  /// Called on a bound file when something changed in the subtree of the
  /// object it is bound to (pSource); codes 1 child deleted, 2 renamed,
  /// 4 emptied, others the caller's. The result is not used by the library.
  virtual bool OnBindFileNotify(CVDFile* pSource, int nCode);
  virtual CVDClassInfo* GetClass();  ///< the class's registry record (DECLARE_VDFILE overrides it)

  // ---- Class ------------------------------------------------------------------
  /// Registration, as DECLARE_VDFILE declares for every persistent class: the
  /// name constant, the registry record and the factory.
  ///@{
  static const char classCVDFile[];
  static CVDClassInfo sClassInfo;
  static CVDFile* CreateObject();
  ///@}
  const char* GetClassNameA();  ///< the registered class name
  /// Whether the class or one of its bases is registered under that name.
  bool IsKindOf(const char* lpszClassName);

  // ---- Name, type and flags -------------------------------------------------------
  const char* GetName() const { return m_strName; }  ///< the name; "" when none
  /// Sets the name and its hash; for a named object also the text of its tree
  /// item (the keyword-map text when trans-name is set or the name begins
  /// with '@'), then notifies the bound files with code 2.
  void SetName(const char* lpszName);
  /// The type text, free for the host (a disk's is "Disk").
  ///@{
  const char* GetFileType() const { return m_strFileType; }
  void SetFileType(const char* lpszType) { m_strFileType = lpszType; }
  ///@}
  /// ASCII case ignored; false for null.
  bool IsFileType(const char* lpszType) const;
  bool IsNamed() const { return m_bNamed; }  ///< false for an object the archives store without name
  bool IsHide() const { return m_bHide; }    ///< not announced to the tree control
  /// The modified flag: set and cleared by the host only.
  ///@{
  bool IsModified() const { return m_bModified; }
  void SetModified(bool bModified) { m_bModified = bModified; }
  ///@}
  bool IsCheck() const { return m_bCheck; }  ///< the check flag (see SetCheck)
  /// Sets the check flag and the tree item's check state; with bChildren the
  /// same for the whole subtree.
  void SetCheck(bool bCheck, bool bChildren);
  /// The enable flag: kept for the host, not used by the library.
  ///@{
  bool IsEnable() const { return m_bEnable; }
  void SetEnable(bool bEnable) { m_bEnable = bEnable; }
  ///@}
  /// Whether the tree item shows the keyword-map text of the name (see SetName).
  ///@{
  bool IsTransName() const { return m_bTransName; }
  void SetTransName(bool bTransName) { m_bTransName = bTransName; }
  ///@}
  /// The object's item in the disk's tree control, null when none.
  ///@{
  HTREEITEM GetTreeItem() const { return m_hTreeItem; }
  void SetTreeItem(HTREEITEM hItem) { m_hTreeItem = hItem; }
  ///@}

  // ---- Children ---------------------------------------------------------------------
  CVDFile* GetParent() const { return m_pParent; }                            ///< null for a root
  int GetFileCount() const { return static_cast<int>(m_arFiles.GetSize()); }  ///< the number of children
  /// Null for an index outside 0 .. count - 1.
  CVDFile* GetFileAt(int nIndex) const;
  /// Empties the array, then appends the children's names in order.
  void ListSubFiles(CStringArray& names) const;
  /// The first child whose name matches (ASCII case ignored); null for a null
  /// or empty name or when none does.
  CVDFile* FindFile(const char* lpszName) const;
  /// The object at a path: components separated by '/' or '\', absolute from
  /// the disk; ".." steps up, other components beginning with '.' are
  /// skipped. Null for an empty path, "/" alone, or a missing step.
  CVDFile* FindFileEx(const char* lpszPath);
  /// The object at a path, stepping by name only ("." and ".." are names);
  /// this object for an empty path; null when a step is missing.
  CVDFile* ChangeDir(const char* lpszPath);
  /// The child of that name, else a new object of the class (CVDFile for a
  /// null or empty class name) named and typed as given and added with
  /// AddNewFile. An empty name makes an unnamed child, appended without
  /// OnCreateFile or announcement. Null when the class is unknown or the new
  /// object refused its addition (it is then destroyed). An existing child is
  /// returned as it is, whatever its type and class.
  CVDFile* CreateFileA(const char* lpszName, const char* lpszType, const char* lpszClass);
  /// CreateFileA along a path ('\' taken as '/', absolute from the disk);
  /// missing intermediate objects get the same type and class. Null for an
  /// empty path, "/" alone or a failed step (objects made before it stay).
  CVDFile* CreateFileEx(const char* lpszPath, const char* lpszType, const char* lpszClass);
  /// Appends `pFile` (adopted) and calls its OnCreateFile; when that refuses,
  /// calls its DeleteFileA() and returns false (the object is then destroyed
  /// when this one owns its children, else detached and the caller's).
  /// Announces a named, visible child to the disk's tree control. Names are
  /// not checked for uniqueness.
  bool AddNewFile(CVDFile* pFile);
  /// Puts pNew in the place of pOld (looked up by pNew's name when null),
  /// handing it pOld's tree item. Returns pOld, detached, for the caller to
  /// dispose of; when there is no such child, adds pNew with AddNewFile and
  /// returns null.
  CVDFile* ReplaceFile(CVDFile* pOld, CVDFile* pNew);
  /// Takes the first occurrence of `pFile` out of the children; its parent
  /// pointer is left as it is.
  void RemoveFile(CVDFile* pFile);
  /// The orderly deletion: see the class comment. False (nothing changed)
  /// when OnDeleteFile refuses. The object must come from new.
  bool DeleteFileA();
  /// DeleteFileA() of the named child; true when there is none.
  bool DeleteFileA(const char* lpszName);
  /// DeleteFileA() of the child at the index; true for an index out of range.
  bool DeleteFileAt(int nIndex);
  /// EmptyFile, then notifies the bound files with code 4.
  void DeleteAllFiles();
  /// Drops all children (destroying them when owned, without OnDeleteFile and
  /// without unbinding) and frees the blob.
  void EmptyFile();
  /// Moves this object to position nIndex among its siblings (negative: 0,
  /// past the end: last). False without parent.
  bool MoveThisTo(int nIndex);
  /// Moves this object before `pSibling`, or with null before its last
  /// remaining sibling. False (order unchanged) without parent or when the
  /// sibling is not found.
  bool MoveThisToBefore(CVDFile* pSibling);

  // ---- Paths ----------------------------------------------------------------------------
  /// "/" for a root, else the names from below the root joined by '/': /a/b.
  CString GetVDPathName() const;
  /// The parent's path with a trailing '/': /a/ for /a/b; "/" for a root.
  CString GetVDPath() const;
  /// The parent's path: /a for /a/b; "/" for a root.
  CString GetDir() const;

  // ---- Binding ---------------------------------------------------------------------------
  /// Binds `pFile` to this object (ignored for null, this object, or when
  /// already bound): it is told of changes in this subtree and deleted with it.
  void BindFile(CVDFile* pFile);
  /// The first living bound file of that type (dead entries met are dropped);
  /// with null, the first living bound file. Null when there is none.
  CVDFile* GetBindFile(const char* lpszType);
  bool IsBindFile(const char* lpszType);  ///< whether GetBindFile(lpszType) finds one
  /// Calls OnBindFileNotify(source, code) on the living bound files of this
  /// object and of each ancestor; a null source stands for this object. False
  /// without a disk or when the disk's notify switch is (or turns) off.
  bool NotifyBindFiles(int nCode, CVDFile* pSource);

  // ---- Data blob -----------------------------------------------------------------------------
  /// A memory file to write a new blob into (openWrite) or over the current
  /// blob (openRead; valid until the blob changes). Hand it back to Close,
  /// which for openWrite makes its content the blob, then destroys it.
  CFile* Open(TOpenFlag nFlag);
  void Close(CFile* pFile);  ///< see Open
  /// vdkit: the blob's bytes (null when empty) and length.
  ///@{
  const BYTE* GetDataBytes() const { return m_pData; }
  DWORD GetDataSize() const { return m_dwDataSize; }
  ///@}

  // ---- Tree control ----------------------------------------------------------------------
  /// Inserts items for this object and its subtree (text: the name, data: the
  /// object) as the last children of hParent; no tree item is recorded.
  void AddToTree(CTreeCtrl& tree, HTREEITEM hParent);

  // ---- Record strings of the binary archive ----------------------------------------------
  /// A 16-bit length n (the text length rounded up to 2 more than a multiple
  /// of 4), then the text padded with zeros to n bytes. Texts longer than
  /// 32766 bytes are cut to 32766 so that n always fits.
  static void Write(CArchive& ar, const char* lpsz);
  /// Reads one record string into a buffer of nSize bytes, cutting a longer
  /// text to nSize - 1 characters (always terminated). False when the stream
  /// ends early or the length is negative; the buffer then holds what fitted.
  static bool Read(CArchive& ar, char* lpBuf, int nSize);

  // ---- Versions (written into and read from binary records) -----------------------------
  /// Written into binary records (0x0100 unless a subclass sets it).
  WORD GetVersion() const { return m_wVersion; }
  WORD GetLoadedVersion() const { return m_wLoadedVersion; }  ///< the version word of the record read last

 protected:
  WORD m_wVersion = 0x0100;        ///< written into binary records
  WORD m_wLoadedVersion = 0x0100;  ///< the version word of the record read last
  bool m_bHide = false;            ///< not announced to the tree control
  bool m_bOwnChildren = true;      ///< destroys its children with itself

 private:
  friend class CVDisk;
  friend struct VDFileAccess;  ///< the archive readers and writers
  friend class CXmlFileItem;   ///< the XML reader names objects as the binary one does
  struct ChildIndex;
  enum class DeleteResult { refused, detached, destroyed };

  DeleteResult DeleteFileImpl();
  bool AddNewFileImpl(CVDFile* pFile, bool bMadeHere);
  void UnbindAllSubfiles();
  void NotifyOwnBindFiles(CVDFile* pSource, int nCode);
  void SetNameQuiet(const char* lpszName);
  void AppendChild(CVDFile* pFile);
  int IndexOf(const CVDFile* pFile) const;
  void DropChildIndex() const;
  CTreeCtrl* GetTreeCtrlOfDisk();

  CString m_strName;
  CString m_strFileType;
  DWORD m_dwDataSize = 0;
  BYTE* m_pData = nullptr;  ///< malloc'd, so that a memory file's block can be adopted
  bool m_bNamed = true;
  CVDFile* m_pParent = nullptr;
  bool m_bModified = false;
  bool m_bTransName = false;
  bool m_bCheck = false;
  bool m_bEnable = false;
  UINT m_nNameHash = 0;  ///< MapHashKey of the name, kept by SetNameQuiet (the only writer of the name)
  CPtrArray m_arFiles;
  CPtrArray* m_pBindFiles = nullptr;  ///< not owning; null when empty
  HTREEITEM m_hTreeItem = nullptr;
  /// Built by FindFile for large sibling sets; dropped by every change of the
  /// children other than an append, and by a child's rename.
  mutable ChildIndex* m_pChildIndex = nullptr;
};

// ---- CVDisk ------------------------------------------------------------------------------------
/// The root of a tree: named and typed "Disk". Links the tree to the host's
/// document, to an optional tree control, to the current selection and to the
/// switch that allows change notifications.
class VDKIT_API CVDisk : public CVDFile {
 public:
  CVDisk();
  /// Deletes the disk's own tree item from the attached control, then
  /// destroys the tree as every CVDFile does.
  ~CVDisk() override;
  CVDisk* GetDisk() override { return this; }
  CQRXDoc* GetDocument() override { return m_pDocument; }
  CVDClassInfo* GetClass() override;  ///< the record of "CVDisk"

  /// With bCreate, CreateFileA(name, type, class) on the disk; otherwise
  /// FindFile(name), never creating.
  virtual CVDFile* GetWorkItem(const char* lpszName, const char* lpszType, const char* lpszClass,
                               bool bCreate);
  /// Records the object as the current selection (not owned).
  virtual void OnNotifySelected(CVDFile* pFile) { m_pCurSel = pFile; }

  /// Registration under "CVDisk", base CVDFile.
  ///@{
  static const char classCVDisk[];
  static CVDClassInfo sClassInfo;
  static CVDFile* CreateObject();
  static CVDClassInfo* GetBaseClass();
  ///@}

  void AttachDoc(CQRXDoc* pDoc) { m_pDocument = pDoc; }  ///< stores the host's document (not owned)
  /// The tree control the tree keeps in step (not owned; null for none).
  ///@{
  void AttachTreeCtrl(CTreeCtrl* pTree) { m_pTreeCtrl = pTree; }
  CTreeCtrl* GetTreeCtrl() const { return m_pTreeCtrl; }
  ///@}
  /// The switch that allows change notifications to bound files (on by default).
  ///@{
  void EnableNotify(bool bEnable) { m_bEnableNotify = bEnable; }
  bool IsEnableNotify() const { return m_bEnableNotify; }
  ///@}
  /// The selection while it is a living object, else null.
  CVDFile* GetCurSel() const;

  /// Every living CVDFile (value 1) and every pointer given to RegisterData.
  static CMapPtrToWord& mDCObjs;

 private:
  CVDFile* m_pCurSel = nullptr;
  CQRXDoc* m_pDocument = nullptr;
  CTreeCtrl* m_pTreeCtrl = nullptr;
  bool m_bEnableNotify = true;
};
