#include "vdkit/core/path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

size_t Length(const char* s) {
  return s ? std::strlen(s) : 0;
}

char FoldAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Where the file name of path[0..len) starts: after the last separator, and
// after a drive "X:" when there is no separator.
size_t NameStart(const char* path, size_t len) {
  for (size_t i = len; i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i;
  }
  return (len >= 2 && path[1] == ':') ? 2 : 0;
}

// Where the extension of path[0..len) starts (its dot), or len when there is
// none. The dot must follow some character of the name other than a dot, so
// that ".profile" and ".." are names, not extensions.
size_t ExtensionStart(const char* path, size_t len) {
  const size_t name = NameStart(path, len);
  size_t dot = len;
  for (size_t i = len; i > name; --i) {
    if (path[i - 1] == '.') {
      dot = i - 1;
      break;
    }
  }
  if (dot == len) return len;
  for (size_t i = name; i < dot; ++i) {
    if (path[i] != '.') return dot;
  }
  return len;
}

// Length of the directory part (through the last separator); 0 when none.
size_t DirectoryLength(const char* path) {
  const size_t len = Length(path);
  for (size_t i = len; i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

// A lead byte of a double-byte character in the host's code page (GBK).
bool IsLeadByte(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x81 && u <= 0xFE;
}

// Index of the first separator at or after `from`, stepping over double-byte
// characters; npos when there is none.
size_t FindSeparator(const std::string& s, size_t from) {
  size_t i = 0;
  while (i < s.size()) {
    if (i >= from && IsPathSeparator(s[i])) return i;
    i += (IsLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
  }
  return std::string::npos;
}

bool IsAbsolute(const char* rel) {
  if (IsPathSeparator(rel[0]) && IsPathSeparator(rel[1])) return true;
  // A leading '/' is this platform's root: "/etc/x" names the same file
  // whatever the base. A leading '\' keeps its old, base-relative reading.
  if (rel[0] == '/') return true;
  return rel[0] != '\0' && rel[1] == ':' && IsPathSeparator(rel[2]);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One attempt at one directory. A path that already names a directory
// counts as made; one that names a file does not.
bool MakeOne(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

std::string ExecutablePath() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() >= (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

void CutFileEx(char* path) {
  if (!path) return;
  const size_t len = std::strlen(path);
  path[ExtensionStart(path, len)] = '\0';
}

void CutFileEx(CString& path) {
  std::string& s = path.str();
  s.resize(ExtensionStart(s.c_str(), s.size()));
}

void GetPath(const char* path, char* out) {
  GetPath(path, out, kMaxPathBuffer);
}

bool GetPath(const char* path, char* out, size_t outSize) {
  if (outSize == 0) return false;
  size_t n = DirectoryLength(path);
  const bool fits = n < outSize;
  if (!fits) n = outSize - 1;
  if (n > 0) std::memcpy(out, path, n);
  out[n] = '\0';
  return fits;
}

void GetPath(const char* path, CString& out) {
  if (!path || !*path) return;
  out = CString(path, static_cast<int>(DirectoryLength(path)));
}

void GetFileName(const char* path, CString& out) {
  const size_t len = Length(path);
  const size_t start = NameStart(path, len);
  const size_t end = ExtensionStart(path, len);
  out = CString(path + start, static_cast<int>(end - start));
}

bool GetFileTitle(const char* path, CString& out) {
  const size_t len = Length(path);
  const size_t start = NameStart(path, len);
  out = CString(path + start, static_cast<int>(len - start));
  return true;
}

void GetPathRoot(const char* path, CString& out) {
  std::string s(path ? path : "", std::min(Length(path), kMaxPathBuffer));
  const bool server = s.size() >= 2 && IsPathSeparator(s[0]) && IsPathSeparator(s[1]);
  const size_t sep = FindSeparator(s, server ? 2 : 0);
  if (sep != std::string::npos) s.resize(sep + 1);
  out = CString(s);
}

void MakePathName(const char* dir, const char* name, CString& out) {
  std::string s(dir ? dir : "");
  if (s.empty() || !IsPathSeparator(s.back())) s += '\\';
  if (name) {
    if (IsPathSeparator(*name)) ++name;
    s += name;
  }
  out = CString(s);
}

bool GetAbsPathName(const char* base, const char* rel, CString& out) {
  if (!rel || !*rel) {
    out.Empty();
    return false;
  }
  if (!base || !*base) {
    out = rel;
    return false;
  }
  if (IsAbsolute(rel)) {
    out = rel;
    return true;
  }
  std::string dir(base);
  if (!IsPathSeparator(dir.back())) dir += '\\';
  while (IsPathSeparator(*rel)) ++rel;
  // Each leading ".." component takes one component off the base; a name
  // that merely starts with two dots ("..x") is a name.
  while (rel[0] == '.' && rel[1] == '.' && (rel[2] == '\0' || IsPathSeparator(rel[2]))) {
    size_t i = dir.size();
    while (i > 0 && IsPathSeparator(dir[i - 1])) --i;   // the trailing separator(s)
    while (i > 0 && !IsPathSeparator(dir[i - 1])) --i;  // back to the one before
    if (i == 0) return false;
    dir.resize(i);
    rel += 2;
    while (IsPathSeparator(*rel)) ++rel;
  }
  if (rel[0] == '.' && IsPathSeparator(rel[1])) {
    rel += 2;
    while (IsPathSeparator(*rel)) ++rel;
  }
  out = CString(dir + rel);
  return true;
}

bool GetRelPathName(const char* base, const char* path, CString& out) {
  if (!path || !*path) {
    out.Empty();
    return false;
  }
  if (!base || !*base) {
    out = path;
    return false;
  }
  out.Empty();
  size_t i = 0;
  while (base[i] && path[i] && FoldAscii(base[i]) == FoldAscii(path[i])) ++i;

  // Matching must end on a component boundary of both: a base used up in the
  // middle of one of path's components ("C:\a" against "C:\ab") is a
  // mismatch, not a parent.
  bool boundary;
  if (base[i] == '\0') {
    boundary = path[i] == '\0' || IsPathSeparator(path[i]) || IsPathSeparator(base[i - 1]);
  } else {
    boundary = IsPathSeparator(base[i]) && IsPathSeparator(path[i]);
  }
  size_t baseAt = i, pathAt = i;
  if (!boundary) {
    // Back to the separator that ends the last component both share.
    size_t k = IsPathSeparator(path[i]) ? i : i + 1;
    while (k > 0 && !IsPathSeparator(path[k - 1])) --k;
    if (k == 0) {
      out = path;
      return true;
    }
    pathAt = k - 1;
    k = IsPathSeparator(base[i]) ? i : i + 1;
    while (k > 0 && !IsPathSeparator(base[k - 1])) --k;
    if (k == 0) return false;
    baseAt = k - 1;
  }

  std::string rel;
  bool inComponent = false;
  for (const char* b = base + baseAt; *b; ++b) {
    if (IsPathSeparator(*b)) {
      inComponent = false;
    } else if (!inComponent) {
      inComponent = true;
      rel += "..\\";
    }
  }
  const char* rest = path + pathAt;
  while (IsPathSeparator(*rest)) ++rest;
  rel += rest;
  out = CString(rel);
  return true;
}

bool GetModulePathOf(const char* rel, CString& out) {
  const std::string exe = ExecutablePath();
  CString dir;
  GetPath(exe.c_str(), dir);
  if (!GetAbsPathName(dir, rel, out)) out = rel;
  return true;
}

bool MakeDir(const char* path) {
  std::string p(path ? path : "");
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  // Walk up to the deepest ancestor that exists or can be made, noting the
  // levels below it, then make those on the way down. A loop, not recursion:
  // the depth of a path is up to the caller.
  std::vector<size_t> pending;  // lengths of prefixes still to make, longest first
  size_t len = p.size();
  while (!MakeOne(p.substr(0, len))) {
    if (len <= 2) return false;
    size_t sep = len;
    while (sep > 2 && p[sep - 1] != '/') --sep;
    if (sep <= 2) return false;
    pending.push_back(len);
    len = sep - 1;
  }
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
    if (!MakeOne(p.substr(0, *it))) return false;
  }
  return true;
}
