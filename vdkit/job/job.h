/// @file
/// Jobs and the disks that hold them: CJobSet and CWorkflowSet are kinds of
/// CVDisk, registered by class name so that the archives rebuild them; CJob
/// is the abstract base of the client's jobs, a CVDFile that finds its set
/// and runs operators (vdkit/job/jop.h) with arguments (vdkit/job/job_args.h).
///
/// Ownership is that of every file object: a set owns its jobs. A CJob owns
/// its string pairs.
///
/// ```
/// class CContourJob : public CJob {
///   DECLARE_VDFILE(CContourJob)
///   bool Run() override {                 // the operators named "contour", as last stored
///     CJopSet jops;
///     CJobArgs args;
///     args.AddArg("Input", "", m_arStrPairs.GetAt(0).second);
///     return jops.Load("JobParameters.xml") && RunJops(jops, "contour", args);
///   }
///   bool Validate() override { return m_arStrPairs.GetSize() > 0; }
/// };
/// IMPLEMENT_VDFILE(CContourJob, CVDFile)
///
/// CJobSet set;
/// auto* job = static_cast<CJob*>(set.CreateFileA("contour", "Job", "CContourJob"));
/// job->GetJobSet();                   // &set
/// ```
#pragma once

#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/vdfile/vdfile.h"

class CJobArgs;
class CJopSet;

/// A disk of jobs; adds nothing to CVDisk but its registered name "CJobSet".
class VDKIT_API CJobSet : public CVDisk {
 public:
  CJobSet();
  ~CJobSet() override;
  CVDClassInfo* GetClass() override;
  bool Serialize(CXmlArchive& ar) override;  ///< true, nothing read or written
  bool Serialize(CArchive& ar) override;     ///< true, nothing read or written

  /// Registration under "CJobSet", base CVDisk.
  ///@{
  static const char classCJobSet[];
  static CVDClassInfo sClassInfo;
  static CVDFile* CreateObject();
  static CVDClassInfo* GetBaseClass();
  ///@}
};

/// A disk of workflows; adds nothing to CVDisk but its registered name
/// "CWorkflowSet".
class VDKIT_API CWorkflowSet : public CVDisk {
 public:
  CWorkflowSet();
  ~CWorkflowSet() override;
  CVDClassInfo* GetClass() override;

  /// Registration under "CWorkflowSet", base CVDisk.
  ///@{
  static const char classCWorkflowSet[];
  static CVDClassInfo sClassInfo;
  static CVDFile* CreateObject();
  static CVDClassInfo* GetBaseClass();
  ///@}
};

/// A growable array of string pairs that removes entries by index.
class VDKIT_API CStrPairArray {
 public:
  /// One entry.
  struct SStrPair {
    CString first;   ///< the first string
    CString second;  ///< the second string
  };

  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_pairs.size()); }  ///< the number of entries
  /// The index of the new entry.
  INT_PTR Add(const char* lpszFirst, const char* lpszSecond);
  /// Entries by index; an index outside 0 .. size - 1 is a programming error
  /// (checked by assert).
  ///@{
  const SStrPair& GetAt(INT_PTR nIndex) const;
  SStrPair& ElementAt(INT_PTR nIndex);
  ///@}
  /// Removes nCount entries from nIndex; an out-of-range part is ignored.
  void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1);
  void RemoveAll() { m_pairs.clear(); }  ///< removes every entry

 private:
  std::vector<SStrPair> m_pairs;
};

/// The abstract base of jobs. Not registered itself (GetClass is CVDFile's):
/// a job class that is to be stored registers its own name.
class VDKIT_API CJob : public CVDFile {
 public:
  CJob();
  ~CJob() override;

  /// Hook for editing the job's operators; true.
  virtual bool OnEditJops();
  /// Performs the job; its meaning is the subclass's.
  virtual bool Run() = 0;
  /// Whether the job is ready to run; its meaning is the subclass's.
  virtual bool Validate() = 0;

  /// The job set the job belongs to: its disk when that is a CJobSet, else
  /// null (not in a disk, or in another kind of disk).
  CJobSet* GetJobSet();

 protected:
  /// vdkit: runs the operators of `jops` named `name` (all for null) in the
  /// set's order, each with `args`. False when there is none or one fails
  /// (those after it are not run).
  static bool RunJops(CJopSet& jops, const char* name, CJobArgs& args);

  CStrPairArray m_arStrPairs;  ///< the subclass's named values
};
