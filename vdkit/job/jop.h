/// @file
/// Job operators: CJop, the base of the configurable processing steps that
/// client code supplies; CJop::CJopRegister, the registry through which
/// CreateJop makes an operator from its class name; CJopSet, a set of
/// operators keyed by name and type whose parameters live in an XML
/// parameter file, "JobParameters.xml" unless told otherwise.
///
/// ```
/// class CSmooth : public CJop {
///   DECLARE_JOP(CSmooth)
///   void GetArgs(CJobArgs& args) const override { args.AddArgFmt("Passes", "", "%d", m_nPasses); }
///   bool Serialize(CXmlArchive& ar) override { return ar == CXmlVar("passes", m_nPasses); }
///   bool Run(CJobArgs& args) override;
///   int m_nPasses = 1;
/// };
/// IMPLEMENT_JOP(CSmooth)                              // registered as "CSmooth"
///
/// CJopSet set;
/// set.Get("grid", "pre", "CSmooth");                  // made by class name
/// set.Store("JobParameters.xml");                     // replaces the file only on success
/// CJopSet again;
/// again.Load("JobParameters.xml");                    // grid.pre is a CSmooth again
/// ```
///
/// Ownership: a set owns its operators and destroys them with itself, in
/// DelJop and in DeleteAll; a set cannot be copied. Registration records are
/// static objects of the operator classes.
///
/// Failure shows as false or null; CFile errors in Store and Load by path are
/// caught and answer false, in the forms that take a CFile they pass to the
/// caller as CFileException pointers.
///
/// The parameter file, lines without indentation:
///
/// ```
/// <?xml version='1.0'?>
/// <JobParameters>
/// <grid class='CSmooth' type='pre'>
/// <passes>3</passes>                    what the operator's Serialize writes
/// </grid>
/// </JobParameters>
/// ```
///
/// Operators follow in the set's order. Class and type go through the
/// library's XML escaping; a name that cannot stand as an element name is
/// written as `<#@N name='...' class=...>` (N its position) and read back from
/// that attribute.
#pragma once

#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

class CJobArgs;
class CXmlArchive;

/// The base of job operators, the configurable steps of a job, made by class
/// name through their registry (see the file's description).
class VDKIT_API CJop {
 public:
  /// One static record per operator class, linked into one list in
  /// construction order; a record unlinks itself when destroyed (a client
  /// module being unloaded). Copies are member-wise and join no list.
  class VDKIT_API CJopRegister {
   public:
    /// Links a record for the class into the registry (IMPLEMENT_JOP makes one).
    CJopRegister(const char* lpszClassName, CJop* (*pfnCreate)());
    ~CJopRegister();
    /// Member-wise copies, which join no list.
    ///@{
    CJopRegister(const CJopRegister&) = default;
    CJopRegister& operator=(const CJopRegister&) = default;
    ///@}

    const char* m_lpszClassName;  ///< the class's name constant
    CJop* (*m_pfnCreateJop)();    ///< its static CreateObject
    CJopRegister* m_pNextJop;     ///< the registry link

    static CJopRegister* mhFirstObj;  ///< head of the list
  };

  /// An operator with empty name and type.
  CJop();
  /// Copies name and type.
  ///@{
  CJop(const CJop& other);
  CJop& operator=(const CJop& other);
  ///@}
  virtual ~CJop();

  // ---- What operator classes define ----------------------------------------
  /// Adds the operator's parameters to `args` (name, unit, value), for a host
  /// to show them or a job to log them.
  virtual void GetArgs(CJobArgs& args) const = 0;
  /// Writes the operator's parameters when the archive is storing, reads them
  /// from the archive's element when loading. False when they do not read.
  virtual bool Serialize(CXmlArchive& ar) = 0;
  /// Performs the step with the job's arguments; false when it fails.
  virtual bool Run(CJobArgs& args) = 0;
  /// The class name the operator is registered under (DECLARE_JOP defines it).
  virtual const char* GetClassNameA() const = 0;

  /// The operator's name and type, which key it in a CJopSet.
  ///@{
  const char* GetName() const { return m_strName; }
  void SetName(const char* name) { m_strName = name; }
  const char* GetType() const { return m_strType; }
  void SetType(const char* type) { m_strType = type; }
  ///@}

 protected:
  CString m_strName;  ///< the name
  CString m_strType;  ///< the type
};

/// A new operator of the registered class of that name (ASCII case ignored;
/// the first registered match wins), or null.
VDKIT_API CJop* CreateJop(const char* lpszClassName);

// ---- Registration macros ------------------------------------------------------
/// In the class body: the name constant class<Name>, the record sJopRegister,
/// CreateObject and the GetClassNameA override. Leaves the access at public.
#define DECLARE_JOP(class_name)           \
 public:                                  \
  static const char class##class_name[];  \
  static CJop::CJopRegister sJopRegister; \
  static CJop* CreateObject();            \
  const char* GetClassNameA() const override;

/// At namespace scope in one .cpp file: registers the class under its own name.
#define IMPLEMENT_JOP(class_name)                                                                        \
  const char class_name::class##class_name[] = #class_name;                                              \
  CJop::CJopRegister class_name::sJopRegister(class_name::class##class_name, &class_name::CreateObject); \
  CJop* class_name::CreateObject() {                                                                     \
    return new class_name;                                                                               \
  }                                                                                                      \
  const char* class_name::GetClassNameA() const {                                                        \
    return class_name::class##class_name;                                                                \
  }

/// A set of operators, each filed under "name.type" (ASCII case ignored) in
/// the map it derives from, whose values are the owned CJop pointers. Insert
/// and remove operators through Get, DelJop and DeleteAll: the map's own
/// SetAt and RemoveKey neither take nor give up ownership.
///
/// A name containing a dot can make two operators' keys alike ("a.b" of type
/// "c" and "a" of type "b.c"): the set keeps the first, and a key is taken to
/// belong to a name and type only when the operator's own type matches too.
class VDKIT_API CJopSet : public CMapStringToPtrEx {
 public:
  /// The parameter file's name unless set.
  static constexpr const char* kDefaultFileName = "JobParameters.xml";

  CJopSet();
  CJopSet(const CJopSet&) = delete;
  CJopSet& operator=(const CJopSet&) = delete;
  ~CJopSet();

  /// The operator of that name and type (null texts count as empty). When
  /// there is none and `lpszClass` names a registered class, a new operator
  /// of it with that name and type, added to the set. Null otherwise, and
  /// when the key belongs to an operator of another type.
  CJop* Get(const char* name, const char* type, const char* lpszClass = nullptr);
  /// Destroys the operator of that name and type; nothing when there is none.
  void DelJop(const char* name, const char* type);
  /// Destroys every operator.
  void DeleteAll();

  /// Iterate over the operators of one name in the set's order, every
  /// operator for a null name, none for an empty one:
  ///
  /// ```
  /// for (POSITION p = set.GetFirstPos("grid"); p;) CJop* op = set.GetNext(p, "grid");
  /// ```
  /// Adding or removing operators invalidates positions.
  ///@{
  POSITION GetFirstPos(const char* name) const;
  CJop* GetNext(POSITION& pos, const char* name) const;
  ///@}
  /// The number of operators of that name (all for null).
  int GetCount(const char* name) const;
  using CMapStringToPtrEx::GetCount;

  /// Writes the parameter file to `path` (GetFileName() for null or empty),
  /// replacing the old file only when all of it is written. False, the old
  /// file untouched, when it cannot be created or written.
  bool Store(const char* path);
  /// Reads the parameter file at `path` (GetFileName() for null or empty)
  /// into the emptied set: each element with a class attribute becomes an
  /// operator (elements of unregistered classes are passed over; a repeated
  /// element reads into the same operator) that reads its parameters from
  /// the element. False, and the set unchanged, when the file cannot be
  /// opened, is no XML document, is malformed or cut short, has no element,
  /// or an operator refuses its parameters.
  bool Load(const char* path);

  // ---- vdkit extensions -------------------------------------------------------
  /// The same on a file opened by the caller, from its current position.
  ///@{
  bool Store(CFile* file);
  bool Load(CFile* file);
  ///@}

  /// An operator element of a parameter file, as written.
  struct SJopEntry {
    CString strName;   ///< the element's name (or its name attribute)
    CString strType;   ///< the type attribute
    CString strClass;  ///< the class attribute
  };
  /// The file's operator elements in order (repeats included), read without
  /// creating operators, for tools that list a file whose classes they do
  /// not have. False, and no entries, when Load would refuse the file as a
  /// document.
  static bool ReadEntries(CFile* file, std::vector<SJopEntry>& entries);
  /// The parameter file of Store and Load for a null or empty path.
  ///@{
  const char* GetFileName() const { return m_strFileName; }
  void SetFileName(const char* path) { m_strFileName = path; }
  ///@}

 protected:
  CString m_strFileName;  ///< see GetFileName

 private:
  /// Whether the entry's operator is one of `name` (null: any).
  static bool Matches(const char* key, const CJop* op, const char* name);
};
