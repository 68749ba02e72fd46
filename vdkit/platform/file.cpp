#include "vdkit/platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

CFile::FaultHook g_faultHook = nullptr;

// Asks the test seam whether this operation should fail.
bool Faulted(CFile::Op op) {
  if (g_faultHook && g_faultHook(op)) {
    errno = EIO;
    return true;
  }
  return false;
}

const char* CauseText(int cause) {
  switch (cause) {
    case CFileException::none: return "no error";
    case CFileException::fileNotFound: return "file not found";
    case CFileException::badPath: return "bad path";
    case CFileException::tooManyOpenFiles: return "too many open files";
    case CFileException::accessDenied: return "access denied";
    case CFileException::invalidFile: return "invalid file";
    case CFileException::removeCurrentDir: return "cannot remove the current directory";
    case CFileException::directoryFull: return "directory full";
    case CFileException::badSeek: return "bad seek";
    case CFileException::hardIO: return "hardware I/O error";
    case CFileException::sharingViolation: return "sharing violation";
    case CFileException::lockViolation: return "lock violation";
    case CFileException::diskFull: return "disk full";
    case CFileException::endOfFile: return "end of file";
    default: return "file error";
  }
}

BOOL CopyMessage(const CString& text, char* out, UINT max) {
  if (!out || max == 0) return FALSE;
  const size_t n = std::min(static_cast<size_t>(text.GetLength()), static_cast<size_t>(max) - 1);
  std::memcpy(out, text.GetString(), n);
  out[n] = '\0';
  return TRUE;
}

}  // namespace

// ---- Exceptions ----------------------------------------------------------------
CException::~CException() = default;

BOOL CException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT*) const {
  return CopyMessage("exception", lpszError, nMaxError);
}

BOOL CFileException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT*) const {
  CString text = CauseText(m_cause);
  if (!m_strFileName.IsEmpty()) text = m_strFileName + ": " + text;
  if (m_lOsError > 0) text.AppendFormat(" (%s)", std::strerror(m_lOsError));
  return CopyMessage(text, lpszError, nMaxError);
}

int CFileException::OsErrorToException(LONG e) {
  switch (e) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case EBUSY: return sharingViolation;
    case EINVAL:
    case ESPIPE:
    case EOVERFLOW: return badSeek;
    case ENOSPC:
    case EFBIG: return diskFull;
    case EIO: return hardIO;
    default: return genericException;
  }
}

void CFileException::ThrowOsError(LONG lOsError, const char* fileName) {
  throw new CFileException(OsErrorToException(lOsError), lOsError, fileName);
}

BOOL CArchiveException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT*) const {
  static const char* const kText[] = {"no error",  "archive error",  "archive is read-only",
                                      "end of file", "archive is write-only", "bad index",
                                      "bad class", "bad schema"};
  const char* cause = (m_cause >= 0 && m_cause <= badSchema) ? kText[m_cause] : "archive error";
  CString text = cause;
  if (!m_strFileName.IsEmpty()) text = m_strFileName + ": " + text;
  return CopyMessage(text, lpszError, nMaxError);
}

// ---- CFile ---------------------------------------------------------------------------
CFile::CFile() = default;

CFile::CFile(const char* lpszFileName, UINT nOpenFlags) {
  CFileException error;
  if (!Open(lpszFileName, nOpenFlags, &error))
    throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile() {
  if (m_hFile != hFileNull) Abort();
}

CFile::FaultHook CFile::SetFaultHook(FaultHook hook) {
  FaultHook old = g_faultHook;
  g_faultHook = hook;
  return old;
}

BOOL CFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError) {
  if (m_hFile != hFileNull) Abort();
  int flags = O_CLOEXEC;
  switch (nOpenFlags & 3) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    default: flags |= O_RDWR; break;
  }
  if (nOpenFlags & modeCreate) flags |= (nOpenFlags & modeNoTruncate) ? O_CREAT : (O_CREAT | O_TRUNC);
  const int fd = lpszFileName ? ::open(lpszFileName, flags, 0666) : -1;
  if (fd < 0) {
    const int e = lpszFileName ? errno : ENOENT;
    if (pError) {
      pError->m_cause = CFileException::OsErrorToException(e);
      pError->m_lOsError = e;
      pError->m_strFileName = lpszFileName;
    }
    return FALSE;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (pError) {
      pError->m_cause = CFileException::accessDenied;
      pError->m_lOsError = EISDIR;
      pError->m_strFileName = lpszFileName;
    }
    return FALSE;
  }
  m_hFile = fd;
  m_strFileName = lpszFileName;
  return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
  if (nCount == 0) return 0;
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  size_t done = 0;
  char* out = static_cast<char*>(lpBuf);
  while (done < nCount) {
    if (Faulted(Op::Read)) CFileException::ThrowOsError(errno, m_strFileName);
    const ssize_t n = ::read(m_hFile, out + done, nCount - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      CFileException::ThrowOsError(errno, m_strFileName);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<UINT>(done);
}

void CFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  size_t done = 0;
  const char* in = static_cast<const char*>(lpBuf);
  while (done < nCount) {
    if (Faulted(Op::Write)) CFileException::ThrowOsError(errno, m_strFileName);
    const ssize_t n = ::write(m_hFile, in + done, nCount - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      CFileException::ThrowOsError(errno, m_strFileName);
    }
    if (n == 0) CFileException::ThrowOsError(ENOSPC, m_strFileName);
    done += static_cast<size_t>(n);
  }
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  if (Faulted(Op::Seek)) CFileException::ThrowOsError(errno, m_strFileName);
  const int whence = nFrom == begin ? SEEK_SET : nFrom == current ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(m_hFile, static_cast<off_t>(lOff), whence);
  if (pos < 0) CFileException::ThrowOsError(errno, m_strFileName);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetPosition() const {
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  const off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
  if (pos < 0) CFileException::ThrowOsError(errno, m_strFileName);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const {
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  struct stat st;
  if (::fstat(m_hFile, &st) != 0) CFileException::ThrowOsError(errno, m_strFileName);
  return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG dwNewLen) {
  if (m_hFile == hFileNull) CFileException::ThrowOsError(EBADF, m_strFileName);
  if (Faulted(Op::SetLength) || ::ftruncate(m_hFile, static_cast<off_t>(dwNewLen)) != 0)
    CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Flush() {
  if (m_hFile == hFileNull) return;
  if (Faulted(Op::Flush)) CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Close() {
  if (m_hFile == hFileNull) return;
  const int fd = m_hFile;
  m_hFile = hFileNull;
  const bool faulted = Faulted(Op::Close);
  const int e = errno;
  if (::close(fd) != 0 || faulted) CFileException::ThrowOsError(faulted ? e : errno, m_strFileName);
}

void CFile::Abort() {
  if (m_hFile == hFileNull) return;
  ::close(m_hFile);
  m_hFile = hFileNull;
}

CString CFile::GetFileName() const {
  const char* p = m_strFileName.GetString();
  const char* slash = std::strrchr(p, '/');
  const char* back = std::strrchr(p, '\\');
  const char* last = std::max(slash ? slash : p - 1, back ? back : p - 1);
  return CString(last + 1);
}

void CFile::Remove(const char* lpszFileName) {
  if (::unlink(lpszFileName) != 0) CFileException::ThrowOsError(errno, lpszFileName);
}

void CFile::Rename(const char* lpszOldName, const char* lpszNewName) {
  if (::rename(lpszOldName, lpszNewName) != 0) CFileException::ThrowOsError(errno, lpszOldName);
}

// ---- CMemFile -------------------------------------------------------------------------
CMemFile::CMemFile(UINT nGrowBytes) : m_nGrowBytes(nGrowBytes) {}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : m_nGrowBytes(0) {
  Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile() { Close(); }

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) {
  Close();
  m_lpBuffer = lpBuffer;
  m_nBufferSize = lpBuffer ? nBufferSize : 0;
  m_nGrowBytes = nGrowBytes;
  // A fixed buffer is the file's content; a growable one is only scratch room.
  m_nFileSize = nGrowBytes == 0 ? m_nBufferSize : 0;
  m_nPosition = 0;
  m_bAutoDelete = false;
}

BYTE* CMemFile::Detach() {
  BYTE* block = m_lpBuffer;
  m_lpBuffer = nullptr;
  m_nBufferSize = m_nFileSize = m_nPosition = 0;
  m_bAutoDelete = true;
  return block;
}

void CMemFile::Close() {
  if (m_bAutoDelete) std::free(m_lpBuffer);
  m_lpBuffer = nullptr;
  m_nBufferSize = m_nFileSize = m_nPosition = 0;
  m_bAutoDelete = true;
}

void CMemFile::Grow(size_t newLen) {
  if (newLen <= m_nBufferSize) return;
  if (m_nGrowBytes == 0) throw new CFileException(CFileException::diskFull, ENOSPC, m_strFileName);
  // Geometric growth in whole steps keeps long runs of small writes linear.
  size_t size = std::max<size_t>(m_nBufferSize + m_nBufferSize / 2, newLen);
  size = (size + m_nGrowBytes - 1) / m_nGrowBytes * m_nGrowBytes;
  BYTE* block;
  if (m_bAutoDelete) {
    block = static_cast<BYTE*>(std::realloc(m_lpBuffer, size));
    if (!block) throw new CFileException(CFileException::diskFull, ENOMEM, m_strFileName);
  } else {
    // A caller's buffer is never reallocated: copy into a block of our own.
    block = static_cast<BYTE*>(std::malloc(size));
    if (!block) throw new CFileException(CFileException::diskFull, ENOMEM, m_strFileName);
    if (m_nFileSize) std::memcpy(block, m_lpBuffer, m_nFileSize);
    m_bAutoDelete = true;
  }
  m_lpBuffer = block;
  m_nBufferSize = size;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount) {
  if (m_nPosition >= m_nFileSize || nCount == 0) return 0;
  const size_t n = std::min(static_cast<size_t>(nCount), m_nFileSize - m_nPosition);
  std::memcpy(lpBuf, m_lpBuffer + m_nPosition, n);
  m_nPosition += n;
  return static_cast<UINT>(n);
}

void CMemFile::Write(const void* lpBuf, UINT nCount) {
  if (nCount == 0) return;
  const size_t end = m_nPosition + nCount;
  Grow(end);
  if (m_nPosition > m_nFileSize) std::memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
  std::memcpy(m_lpBuffer + m_nPosition, lpBuf, nCount);
  m_nPosition = end;
  m_nFileSize = std::max(m_nFileSize, end);
}

ULONGLONG CMemFile::Seek(LONGLONG lOff, UINT nFrom) {
  const LONGLONG base = nFrom == begin ? 0 : nFrom == current ? static_cast<LONGLONG>(m_nPosition)
                                                              : static_cast<LONGLONG>(m_nFileSize);
  if ((lOff < 0 && base + lOff < 0) || (lOff > 0 && base > std::numeric_limits<LONGLONG>::max() - lOff))
    throw new CFileException(CFileException::badSeek, EINVAL, m_strFileName);
  m_nPosition = static_cast<size_t>(base + lOff);
  return m_nPosition;
}

void CMemFile::SetLength(ULONGLONG dwNewLen) {
  Grow(static_cast<size_t>(dwNewLen));
  if (dwNewLen > m_nFileSize) std::memset(m_lpBuffer + m_nFileSize, 0, static_cast<size_t>(dwNewLen) - m_nFileSize);
  m_nFileSize = static_cast<size_t>(dwNewLen);
  m_nPosition = std::min(m_nPosition, m_nFileSize);
}
