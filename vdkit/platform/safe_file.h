/// @file
/// Saving a file by name without ever losing the one already there.
///
/// CSafeFile is a CFile that writes to a new temporary file beside its target
/// and puts it in the target's place only when Close() succeeds: the data is
/// flushed to disk, then the temporary file is renamed over the target. A save
/// that fails (an exception from Write, a failed Close, an Abort, or the file
/// destroyed without Close) removes the temporary file and leaves the target
/// exactly as it was, or absent if it was.
///
/// ```
/// CSafeFile f;
/// if (!f.Open("wells.tv10", CFile::modeCreate | CFile::modeWrite)) {...}
/// CArchive ar(&f, CArchive::store);
/// ...
/// ar.Close();
/// f.Close();                          // the old wells.tv10 is replaced here
/// ```
///
/// CSafeStdioFile does the same for writers that take a FILE*.
///
/// The new file gets the old one's permission bits, or the usual ones for a
/// new file (0666 less the umask). A target that is a symbolic link is
/// followed: the file it names is replaced and the link stays. Opening
/// without modeCreate, or with modeNoTruncate, first copies the target's
/// content into the temporary file, so the write continues where the old
/// bytes end as it would in place.
#pragma once

#include <cstdio>
#include <functional>

#include "vdkit/platform/file.h"

/// A CFile that writes to a temporary file and replaces the target only when
/// Close succeeds (see the file's description).
class VDKIT_API CSafeFile : public CFile {
 public:
  CSafeFile() = default;
  /// Opens like Open(); throws a CFileException on failure.
  CSafeFile(const char* lpszFileName, UINT nOpenFlags);
  /// Discards the temporary file unless Close() succeeded.
  ~CSafeFile() override;

  /// Creates the temporary file beside lpszFileName; the target is not
  /// touched. A read-only mode is refused (FALSE, cause accessDenied): there
  /// is nothing to save. Never throws.
  BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
  /// Flushes to disk and renames the temporary file over the target. On
  /// failure throws a CFileException; the temporary file is gone and the
  /// target unchanged.
  void Close() override;
  /// Discards what was written; the target is unchanged. Never throws.
  void Abort() override;

  /// Saves a whole file by name: opens it, lets `write` fill it and closes
  /// it. False, and the old file untouched, when the file cannot be made,
  /// when `write` answers false, or on a CFileException (deleted here).
  static bool Save(const char* path, const std::function<bool(CFile&)>& write);

  /// GetFilePath() is the target; this is where the bytes go until Close().
  const CString& GetTempPath() const { return m_strTemp; }

 private:
  CString m_strTemp;    ///< empty once committed or discarded
  CString m_strTarget;  ///< the file replaced: GetFilePath() with links followed
};

/// A C stream that writes to a temporary file and replaces the target only on
/// Commit (see the file's description).
class VDKIT_API CSafeStdioFile {
 public:
  CSafeStdioFile() = default;
  CSafeStdioFile(const CSafeStdioFile&) = delete;
  CSafeStdioFile& operator=(const CSafeStdioFile&) = delete;
  /// Discards the temporary file unless Commit() succeeded.
  ~CSafeStdioFile();

  /// Opens a temporary file beside `path` with fopen-like `mode` ("w", "wt",
  /// "wb"; modes that read or append are refused). Null on failure, with
  /// errno set.
  FILE* Open(const char* path, const char* mode = "w");
  FILE* GetStream() const { return m_fp; }  ///< the open stream, or null
  /// Flushes, syncs and renames over the target. false on any failure (a
  /// write error the stream recorded included); the target is then unchanged.
  bool Commit();
  /// Discards what was written.
  void Abort();

 private:
  FILE* m_fp = nullptr;
  CString m_strTarget, m_strTemp;
};
