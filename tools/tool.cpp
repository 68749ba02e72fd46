#include "tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace vdtool {

void FailFile(const std::string& path, const std::string& what) {
  throw Failure{kExitBadFile, path + ": " + what};
}

void FailUsage(const std::string& command, const std::string& what) {
  throw Failure{kExitUsage, command.empty() ? what : command + ": " + what};
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

std::vector<BYTE> ReadFileBytes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) FailFile(path, "cannot open: " + SystemError(errno));
  if (S_ISDIR(st.st_mode)) FailFile(path, "is a directory, not a file");
  if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize)
    FailFile(path, "too large (" + Grouped(static_cast<unsigned long long>(st.st_size)) +
                       " bytes); the file forms hold at most 2 GiB");
  StdioFile in;
  in.fp = std::fopen(path.c_str(), "rb");
  if (!in.fp) FailFile(path, "cannot open: " + SystemError(errno));
  // The size from stat is where reading starts; the file may change while
  // it is read, so reading goes on to its end, within the limit.
  std::vector<BYTE> bytes(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  for (;;) {
    got += std::fread(bytes.data() + got, 1, bytes.size() - got, in.fp);
    if (got < bytes.size() || std::ferror(in.fp)) break;
    if (bytes.size() > kMaxFileSize) FailFile(path, "too large; the file forms hold at most 2 GiB");
    bytes.resize(bytes.size() * 2);
  }
  if (std::ferror(in.fp)) FailFile(path, "cannot read: " + SystemError(errno));
  bytes.resize(got);
  return bytes;
}

void WriteFileAtomically(const std::string& path, const void* data, size_t size) {
  const std::string temp = path + Format(".%ld.tmp", static_cast<long>(::getpid()));
  FILE* fp = std::fopen(temp.c_str(), "wb");
  if (!fp) FailFile(path, "cannot create: " + SystemError(errno));
  bool ok = size == 0 || std::fwrite(data, 1, size, fp) == size;
  int code = ok ? 0 : errno;
  if (std::fflush(fp) != 0 && ok) {
    ok = false;
    code = errno;
  }
  if (std::fclose(fp) != 0 && ok) {
    ok = false;
    code = errno;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    FailFile(path, "cannot write: " + SystemError(code));
  }
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

}  // namespace vdtool
