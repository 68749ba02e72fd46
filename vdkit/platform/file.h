/// @file
/// Files of the framework: CFile over an operating-system file, CMemFile in
/// memory, and the exceptions they raise.
///
/// ```
/// CFile f;
/// CFileException err;
/// if (!f.Open("table.tv", CFile::modeRead | CFile::typeBinary, &err)) {...}
/// char head[4];
/// UINT got = f.Read(head, 4);          // bytes delivered, 0 at the end
/// ```
///
/// Failure: Open reports failure as FALSE (and fills the optional exception
/// record); every other operating-system failure throws a CFileException
/// allocated with new, as the framework does. Catch it by pointer and call
/// Delete() on it:
///
/// ```
/// try { f.Write(buf, n); } catch (CFileException* e) { e->Delete(); }
/// ```
///
/// Differences from the framework: positions and lengths are 64-bit throughout;
/// share flags are accepted and ignored (files are not locked); typeText does
/// no newline translation.
#pragma once

#include <cstdio>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

// ---- Exceptions ----------------------------------------------------------------
/// The base of the exceptions the file layer throws, always by pointer.
class VDKIT_API CException {
 public:
  virtual ~CException();
  /// Frees an exception thrown by pointer.
  void Delete() { delete this; }
  /// Writes a description of at most nMaxError - 1 characters plus NUL.
  virtual BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const;
};

/// An operating-system failure of a CFile: its cause, errno and file name.
class VDKIT_API CFileException : public CException {
 public:
  /// The causes, with the framework's values.
  enum {
    none,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile
  };
  /// A record of the cause, errno value and file name.
  explicit CFileException(int cause = none, LONG lOsError = -1, const char* fileName = nullptr)
      : m_cause(cause), m_lOsError(lOsError), m_strFileName(fileName) {}
  /// The cause, errno text and file name, as CException::GetErrorMessage.
  BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;

  /// The cause that matches an errno value.
  static int OsErrorToException(LONG lOsError);
  /// Throws `new CFileException(cause, lOsError, fileName)`.
  [[noreturn]] static void ThrowOsError(LONG lOsError, const char* fileName = nullptr);

  int m_cause;            ///< one of the causes above
  LONG m_lOsError;        ///< the errno value, -1 when none
  CString m_strFileName;  ///< the file concerned
};

/// Raised by CArchive when a read runs past the end or the archive is misused.
class VDKIT_API CArchiveException : public CException {
 public:
  /// The causes, with the framework's values.
  enum { none, genericException, readOnly, endOfFile, writeOnly, badIndex, badClass, badSchema };
  /// A record of the cause and the archive's file name.
  explicit CArchiveException(int cause = none, const char* fileName = nullptr)
      : m_cause(cause), m_strFileName(fileName) {}
  /// The cause and file name, as CException::GetErrorMessage.
  BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) const override;

  int m_cause;            ///< one of the causes above
  CString m_strFileName;  ///< the archive's file name
};

// ---- CFile -------------------------------------------------------------------------
/// A file of the operating system, unbuffered, with the framework's interface;
/// the base of CMemFile and the other files.
class VDKIT_API CFile {
 public:
  /// Open flags, with the framework's values.
  enum OpenFlags : UINT {
    modeRead = 0x0000,       ///< read only
    modeWrite = 0x0001,      ///< write only
    modeReadWrite = 0x0002,  ///< read and write
    shareCompat = 0x0000,    ///< share flags: accepted, not enforced
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,      ///< create, truncating an existing file...
    modeNoTruncate = 0x2000,  ///< ...unless this is given too
    typeText = 0x4000,        ///< accepted; no newline translation
    typeBinary = 0x8000,
  };
  /// Where Seek counts from.
  enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

  /// A closed file.
  CFile();
  /// Opens the file; throws a CFileException on failure.
  CFile(const char* lpszFileName, UINT nOpenFlags);
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  /// Closes the file if open; errors on that close are swallowed.
  virtual ~CFile();

  /// FALSE on failure; pError, when given, receives the cause. Never throws.
  virtual BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
  /// Reads up to nCount bytes; returns the bytes delivered (0 at the end).
  virtual UINT Read(void* lpBuf, UINT nCount);
  /// Writes all nCount bytes or throws.
  virtual void Write(const void* lpBuf, UINT nCount);
  /// Moves the position and returns it; a position before the start throws badSeek.
  virtual ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
  void SeekToBegin() { Seek(0, begin); }          ///< Seek to 0
  ULONGLONG SeekToEnd() { return Seek(0, end); }  ///< Seek to the end; the length
  virtual ULONGLONG GetPosition() const;          ///< the current position
  virtual ULONGLONG GetLength() const;            ///< the length in bytes
  virtual void SetLength(ULONGLONG dwNewLen);     ///< cuts or extends (with zeros) the file
  virtual void Flush();                           ///< gives written bytes to the system
  virtual void Close();                           ///< closes; a close that fails throws
  /// Closes without throwing.
  virtual void Abort();

  CString GetFilePath() const { return m_strFileName; }  ///< the path given to Open
  CString GetFileName() const;                           ///< the path's last component (after `/` or `\`)
  /// Changes the remembered path only.
  virtual void SetFilePath(const char* lpszNewName) { m_strFileName = lpszNewName; }
  bool IsOpen() const { return m_hFile != hFileNull; }  ///< whether a descriptor is held (vdkit only)

  /// Deletes or renames a file; throws a CFileException on failure.
  ///@{
  static void Remove(const char* lpszFileName);
  static void Rename(const char* lpszOldName, const char* lpszNewName);
  ///@}

  static constexpr int hFileNull = -1;  ///< m_hFile of a closed file
  int m_hFile = hFileNull;              ///< the operating-system descriptor

  // ---- vdkit extension: a seam for tests ------------------------------------
  /// Operations a fault hook may fail. With a hook installed, each Read, Write,
  /// Seek, SetLength, Flush and Close of an operating-system file first asks it;
  /// when it answers true the call fails with EIO as if the system had.
  enum class Op { Read, Write, Seek, SetLength, Flush, Close };
  using FaultHook = bool (*)(Op op);  ///< answers whether the operation fails
  /// Installs a hook (null removes it) and returns the previous one.
  static FaultHook SetFaultHook(FaultHook hook);

 protected:
  CString m_strFileName;  ///< the path given to Open
};

// ---- CMemFile ------------------------------------------------------------------------
/// A file in memory. A growing memory file owns its block and grows it in
/// steps of at least nGrowBytes; a memory file attached to a caller's buffer
/// reads and writes that buffer in place and, with nGrowBytes 0, cannot grow
/// past it (a write past the end throws CFileException::diskFull).
///
/// Detach returns the block and leaves the file empty; a block the file
/// allocated must then be released with free(). Seeking past the end is
/// allowed; the gap reads as zeros once a later write extends the file.
class VDKIT_API CMemFile : public CFile {
 public:
  /// An empty growing memory file.
  explicit CMemFile(UINT nGrowBytes = 1024);
  /// A memory file over a caller's buffer (see Attach).
  CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  ~CMemFile() override;

  /// Closes, then works on the caller's buffer: with nGrowBytes 0 its bytes are
  /// the file's content; otherwise the file starts empty and the buffer is room to
  /// grow in. The buffer stays the caller's.
  void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
  /// Hands the block to the caller and leaves the file empty.
  BYTE* Detach();

  BOOL Open(const char*, UINT, CFileException* = nullptr) override { return FALSE; }
  UINT Read(void* lpBuf, UINT nCount) override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  ULONGLONG GetPosition() const override { return m_nPosition; }
  ULONGLONG GetLength() const override { return m_nFileSize; }
  void SetLength(ULONGLONG dwNewLen) override;
  void Flush() override {}
  void Close() override;
  void Abort() override { Close(); }

  /// vdkit extensions: the bytes written so far, valid until the next write,
  /// SetLength, Close or Detach.
  const BYTE* GetData() const { return m_lpBuffer; }
  /// Bytes the file can hold before it must grow.
  size_t GetBufferSize() const { return m_nBufferSize; }

 private:
  void Grow(size_t newLen);

  UINT m_nGrowBytes;
  size_t m_nPosition = 0;
  size_t m_nBufferSize = 0;
  size_t m_nFileSize = 0;
  BYTE* m_lpBuffer = nullptr;
  bool m_bAutoDelete = true;  ///< the block is ours to free
};
