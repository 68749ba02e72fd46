#include "tool.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <utility>

#include "long_work.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/safe_file.h"

namespace vdtool {

std::string ExceptionText(const CException* e) {
  const CFileException* file = dynamic_cast<const CFileException*>(e);
  if (file && file->m_lOsError > 0) return std::strerror(static_cast<int>(file->m_lOsError));
  char text[256] = "";
  e->GetErrorMessage(text, sizeof text);
  return text;
}

void FailFile(const std::string& path, const std::string& what) {
  throw Failure{kExitBadFile, path + ": " + what};
}

void FailUsage(const std::string& command, const std::string& what) {
  throw Failure{kExitUsage, command.empty() ? what : command + ": " + what};
}

void Note(const std::string& path, const std::string& text) {
  Out().Finish();
  std::fprintf(stderr, "vdkit: %s: note: %s\n", path.c_str(), text.c_str());
}

namespace {

// The file forms count in signed 32 bits, and the memory files over them in
// unsigned 32 bits: a larger file cannot be one of them.
constexpr unsigned long long kMaxFileSize = 0x7FFFFFFFull;

std::string SystemError(int code) {
  return std::strerror(code);
}

// Closes a stdio stream on every path out.
struct StdioFile {
  FILE* fp = nullptr;
  ~StdioFile() {
    if (fp) std::fclose(fp);
  }
};

}  // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept
    : m_data(other.m_data), m_size(other.m_size), m_mapped(other.m_mapped) {
  other.m_data = nullptr;
  other.m_size = other.m_mapped = 0;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    this->~FileBytes();
    new (this) FileBytes(std::move(other));
  }
  return *this;
}

FileBytes::~FileBytes() {
  if (m_mapped) {
    ::munmap(m_data, m_mapped);
  } else {
    std::free(m_data);
  }
}

namespace {

// Memory for a file's bytes. Large files get pages mapped in one go: fresh
// memory touched page by page costs more than the reading itself on some
// machines. The pages are anonymous (filled by read), so a file that shrinks
// while it is read cannot pull them away.
BYTE* AllocateForFile(size_t size, size_t* mapped) {
  *mapped = 0;
#ifdef MAP_POPULATE
  if (size >= (1u << 20)) {
    void* p =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p != MAP_FAILED) {
      *mapped = size;
      return static_cast<BYTE*>(p);
    }
  }
#endif
  return static_cast<BYTE*>(std::malloc(size ? size : 1));
}

}  // namespace

FileBytes ReadFileBytes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) FailFile(path, "cannot open: " + SystemError(errno));
  if (S_ISDIR(st.st_mode)) FailFile(path, "is a directory, not a file");
  if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize)
    FailFile(path, "too large (" + Grouped(static_cast<unsigned long long>(st.st_size)) +
                       " bytes); the file forms hold at most 2 GiB");
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) FailFile(path, "cannot open: " + SystemError(errno));
  // The size from stat is where reading starts; a file that is not regular,
  // or that grows while it is read, is read on to its end, within the limit.
  FileBytes bytes;
  ProgressPhase phase("reading " + path, static_cast<uint64_t>(st.st_size));
  size_t capacity = static_cast<size_t>(st.st_size) + (S_ISREG(st.st_mode) ? 1 : 1 << 16);
  bytes.m_data = AllocateForFile(capacity, &bytes.m_mapped);
  int error = bytes.m_data ? 0 : ENOMEM;
  size_t got = 0;
  while (error == 0) {
    if (got == capacity) {
      if (capacity > kMaxFileSize) {
        ::close(fd);
        FailFile(path, "too large; the file forms hold at most 2 GiB");
      }
      // Grown as plain memory from here on (rare: a file that grew).
      BYTE* grown = static_cast<BYTE*>(std::malloc(capacity * 2));
      if (!grown) {
        error = ENOMEM;
        break;
      }
      std::memcpy(grown, bytes.m_data, got);
      FileBytes old = std::move(bytes);
      bytes.m_data = grown;
      capacity *= 2;
    }
    // A chunk at a time, so that a progress display can follow.
    const ssize_t n = ::read(fd, bytes.m_data + got, std::min<size_t>(capacity - got, 1 << 24));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    phase.Set(got);
  }
  ::close(fd);
  if (error) FailFile(path, "cannot read: " + SystemError(error));
  bytes.m_size = got;
  return bytes;
}

void WriteFileWith(const std::string& path, const std::function<void(CFile&)>& write) {
  // The bytes go to a temporary file beside `path`, which takes its place
  // only once all of them are on disk; on every way out before that the
  // temporary file is removed and whatever `path` held stays.
  CSafeFile file;
  CFileException error;
  if (!file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary, &error))
    FailFile(path, "cannot create: " + ExceptionText(&error));
  try {
    write(file);
    file.Close();
  } catch (CException* e) {
    const std::string problem = ExceptionText(e);
    e->Delete();
    FailFile(path, "cannot write: " + problem);
  }
}

void WriteFileAtomically(const std::string& path, const void* data, size_t size) {
  WriteFileWith(path, [data, size](CFile& file) {
    const BYTE* p = static_cast<const BYTE*>(data);
    for (size_t done = 0; done < size;) {
      const UINT n = static_cast<UINT>(std::min<size_t>(size - done, 1u << 30));
      file.Write(p + done, n);
      done += n;
    }
  });
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectories(const std::string& path) {
  if (path.empty() || IsDirectory(path)) return !path.empty();
  // Each prefix that ends before a separator, then the whole path.
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (IsDirectory(prefix)) continue;
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(path);
}

std::string FileStem(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::string FileExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&text[0], text.size(), fmt, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}

std::string Grouped(unsigned long long n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b == '\\') {
      out += "\\\\";
    } else if (b < 0x20 || b >= 0x7F) {
      out += Format("\\x%02X", b);
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(std::string_view text) {
  return "'" + Printable(text) + "'";
}

// ---- Output ---------------------------------------------------------------------

void Output::Write(const char* text, size_t n) {
  m_buffer.append(text, n);
  if (!m_held && m_buffer.size() >= (1u << 16)) {
    std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
    m_buffer.clear();
  }
}

void Output::Print(const char* fmt, ...) {
  char small[256];
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, fmt, args);
  va_end(args);
  if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
    Write(small, static_cast<size_t>(n));
  } else if (n > 0) {
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&big[0], big.size(), fmt, again);
    Write(big.data(), static_cast<size_t>(n));
  }
  va_end(again);
}

void Output::Hold() {
  m_held = true;
  m_heldFrom = m_buffer.size();
}

void Output::Release() {
  m_held = false;
}

void Output::Discard() {
  if (m_held) m_buffer.resize(m_heldFrom);
  m_held = false;
}

void Output::Finish() {
  if (!m_buffer.empty()) std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
  m_buffer.clear();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int code = errno;
    std::clearerr(stdout);
    throw Failure{kExitBadFile, "cannot write to standard output: " + SystemError(code)};
  }
}

Output& Out() {
  static Output out;
  return out;
}

// "3.9 GB"
std::string ByteSize(double bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
  int u = 0;
  while (bytes >= 1024 && u < 6) {
    bytes /= 1024;
    ++u;
  }
  return u == 0 ? Format("%.0f bytes", bytes) : Format("%.1f %s", bytes, units[u]);
}

// Memory the program may still take: what the system calls available, or
// the address-space limit when that is lower.
double AvailableMemory() {
  double available = std::numeric_limits<double>::infinity();
  std::ifstream info("/proc/meminfo");
  std::string key;
  double kb = 0;
  while (info >> key >> kb) {
    if (key == "MemAvailable:") available = kb * 1024;
    info.ignore(64, '\n');
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES);
  if (!std::isfinite(available) && pages > 0)
    available = static_cast<double>(pages) * ::sysconf(_SC_PAGESIZE);
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    available = std::min(available, static_cast<double>(limit.rlim_cur));
  return available;
}

}  // namespace vdtool
