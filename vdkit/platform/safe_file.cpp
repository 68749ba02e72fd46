#include "vdkit/platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// The file a save replaces: a symbolic link is followed so that the link
// survives the rename.
std::string ResolveTarget(const char* path) {
  struct stat st;
  if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path, nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return path;
}

// Creates a new file beside `target` (same directory, so the rename cannot
// cross file systems) and returns its descriptor, or -1 with errno set.
// O_EXCL with mode 0666 lets the system apply the umask as for any new file;
// an existing target passes its permission bits on.
int CreateTemp(const std::string& target, int accessFlags, std::string& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 64; ++attempt) {
    temp = target + "." + std::to_string(static_cast<long>(::getpid())) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
    const int fd = ::open(temp.c_str(), accessFlags | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat st;
      if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)::fchmod(fd, st.st_mode & 07777);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Copies the whole of `from` into the descriptor; false with errno set.
bool CopyInto(const std::string& from, int fd) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  char buf[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(fd, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
    if (!ok) break;
  }
  const int e = errno;
  ::close(in);
  errno = e;
  return ok;
}

// Makes the rename itself durable; a failure here loses nothing already
// visible, so it is not reported.
void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

bool SyncFailed(int fd) {
  return ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS;
}

void Fill(CFileException* pError, int cause, int os, const char* name) {
  if (!pError) return;
  pError->m_cause = cause;
  pError->m_lOsError = os;
  pError->m_strFileName = name;
}

}  // namespace

// ---- CSafeFile ---------------------------------------------------------------------------
CSafeFile::CSafeFile(const char* lpszFileName, UINT nOpenFlags) {
  CFileException error;
  if (!Open(lpszFileName, nOpenFlags, &error))
    throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CSafeFile::~CSafeFile() {
  Abort();
}

BOOL CSafeFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError) {
  Abort();
  if (!lpszFileName || !*lpszFileName) {
    Fill(pError, CFileException::badPath, ENOENT, lpszFileName);
    return FALSE;
  }
  if ((nOpenFlags & 3) == modeRead) {
    Fill(pError, CFileException::accessDenied, EACCES, lpszFileName);
    return FALSE;
  }
  const std::string target = ResolveTarget(lpszFileName);
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    Fill(pError, CFileException::accessDenied, EISDIR, lpszFileName);
    return FALSE;
  }
  const bool keepOld = !(nOpenFlags & modeCreate) || (nOpenFlags & modeNoTruncate);
  if (!exists && !(nOpenFlags & modeCreate)) {
    Fill(pError, CFileException::fileNotFound, ENOENT, lpszFileName);
    return FALSE;
  }
  std::string temp;
  const int fd = CreateTemp(target, (nOpenFlags & 3) == modeWrite ? O_WRONLY : O_RDWR, temp);
  if (fd < 0 || (keepOld && exists && !CopyInto(target, fd))) {
    const int e = errno;
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
    }
    Fill(pError, CFileException::OsErrorToException(e), e, lpszFileName);
    return FALSE;
  }
  m_hFile = fd;
  m_strFileName = lpszFileName;
  m_strTemp = temp.c_str();
  m_strTarget = target.c_str();
  return TRUE;
}

void CSafeFile::Close() {
  if (m_hFile == hFileNull) return;
  const CString temp = m_strTemp;
  m_strTemp.Empty();
  try {
    CFile::Flush();
    if (SyncFailed(m_hFile)) CFileException::ThrowOsError(errno, m_strFileName);
    CFile::Close();
  } catch (CException*) {
    CFile::Abort();
    ::unlink(temp);
    throw;
  }
  if (::rename(temp, m_strTarget) != 0) {
    const int e = errno;
    ::unlink(temp);
    CFileException::ThrowOsError(e, m_strFileName);
  }
  SyncDirectoryOf(m_strTarget.GetString());
}

bool CSafeFile::Save(const char* path, const std::function<bool(CFile&)>& write) {
  CSafeFile file;
  if (!file.Open(path, modeCreate | modeWrite | typeBinary)) return false;
  try {
    if (!write(file)) return false;  // discarded with `file`
    file.Close();
  } catch (CFileException* e) {
    e->Delete();
    return false;
  }
  return true;
}

void CSafeFile::Abort() {
  CFile::Abort();
  if (!m_strTemp.IsEmpty()) ::unlink(m_strTemp);
  m_strTemp.Empty();
}

// ---- CSafeStdioFile -------------------------------------------------------------------------
CSafeStdioFile::~CSafeStdioFile() {
  Abort();
}

FILE* CSafeStdioFile::Open(const char* path, const char* mode) {
  Abort();
  if (!path || !*path || !mode || mode[0] != 'w') {
    errno = EINVAL;
    return nullptr;
  }
  const std::string target = ResolveTarget(path);
  std::string temp;
  const bool update = std::string(mode).find('+') != std::string::npos;
  const int fd = CreateTemp(target, update ? O_RDWR : O_WRONLY, temp);
  if (fd < 0) return nullptr;
  m_fp = ::fdopen(fd, mode);
  if (!m_fp) {
    const int e = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = e;
    return nullptr;
  }
  m_strTarget = target.c_str();
  m_strTemp = temp.c_str();
  return m_fp;
}

bool CSafeStdioFile::Commit() {
  if (!m_fp) return false;
  FILE* fp = m_fp;
  m_fp = nullptr;
  bool ok = std::fflush(fp) == 0 && !std::ferror(fp) && !SyncFailed(::fileno(fp));
  ok = std::fclose(fp) == 0 && ok;
  ok = ok && ::rename(m_strTemp, m_strTarget) == 0;
  if (!ok)
    ::unlink(m_strTemp);
  else
    SyncDirectoryOf(m_strTarget.GetString());
  m_strTemp.Empty();
  return ok;
}

void CSafeStdioFile::Abort() {
  if (m_fp) std::fclose(m_fp);
  m_fp = nullptr;
  if (!m_strTemp.IsEmpty()) ::unlink(m_strTemp);
  m_strTemp.Empty();
}
