// The vdkit program's shared plumbing: how a command ends in failure, how
// whole files are read and written, and how text goes to standard output.
//
// A command that meets a file it cannot read, or wrong usage, throws a
// Failure; main() prints its one-line message on standard error and exits
// with its status. Nothing else escapes a command.
//
//   FileBytes bytes = ReadFileBytes(path);             // Failure when unreadable
//   if (bytes.size() < 4) FailFile(path, "empty file");
//   WriteFileWith(out, [&](CFile& f) { table.Write(f); });   // all or nothing
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vdkit/platform/types.h"

class CException;
class CFile;

namespace vdtool {

// Exit statuses of the program.
enum ExitStatus : int {
  kExitOk = 0,       // the command did what it was asked
  kExitBadFile = 1,  // a file could not be read, was not valid, or could not be written
  kExitUsage = 2,    // wrong usage: unknown command or option, missing argument
};

// Ends a command; `message` is the complete line for standard error, without
// the program name and without a line feed.
struct Failure {
  int status;
  std::string message;
};

// What went wrong in a platform exception, in a few words: the system's
// text for a file error ("No such file or directory"), else the exception's
// own message. Does not delete the exception.
std::string ExceptionText(const CException* e);

// "<path>: <what>", status 1.
[[noreturn]] void FailFile(const std::string& path, const std::string& what);
// "<command>: <what>", status 2 (a bare "<what>" for an empty command).
[[noreturn]] void FailUsage(const std::string& command, const std::string& what);
// "vdkit: <path>: note: <text>" on standard error, after what standard
// output has been given so far.
void Note(const std::string& path, const std::string& text);

// A read-only view of bytes that someone else keeps alive: a file's, or a
// caller's vector.
class ByteSpan {
 public:
  ByteSpan() = default;
  ByteSpan(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
  ByteSpan(const std::vector<BYTE>& v) : m_data(v.data()), m_size(v.size()) {}  // NOLINT: implicit on purpose
  const BYTE* data() const { return m_data; }
  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  const BYTE& operator[](size_t i) const { return m_data[i]; }
  const BYTE* begin() const { return m_data; }
  const BYTE* end() const { return m_data + m_size; }

 private:
  const BYTE* m_data = nullptr;
  size_t m_size = 0;
};

// The whole content of a file, in memory of its own (move-only).
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes();
  const BYTE* data() const { return m_data; }
  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  operator ByteSpan() const { return ByteSpan(m_data, m_size); }  // NOLINT: implicit on purpose

 private:
  friend FileBytes ReadFileBytes(const std::string& path);
  BYTE* m_data = nullptr;
  size_t m_size = 0;
  size_t m_mapped = 0;  // bytes of the mapping, 0 when m_data is from malloc
};

// The whole file. Failure when it cannot be opened or read, is a directory,
// or is larger than the 32-bit sizes of the file forms allow.
FileBytes ReadFileBytes(const std::string& path);

// Writes a file through `write` into a temporary file beside `path`, flushes
// it to disk and renames it over `path`, so that a reader never sees a
// half-written file and a failed save leaves the old file whole. Failure
// (with nothing left behind) when that cannot be done; a Failure from
// `write` removes the temporary file and passes on.
void WriteFileWith(const std::string& path, const std::function<void(CFile&)>& write);
// The same with bytes already in memory.
void WriteFileAtomically(const std::string& path, const void* data, size_t size);

// Whether `path` names an existing directory.
bool IsDirectory(const std::string& path);
// Makes the directory and its missing parents; false when it cannot.
bool MakeDirectories(const std::string& path);
// The file name without directories and without its last extension.
std::string FileStem(const std::string& path);
// The last extension in lower case without the dot ("" when none).
std::string FileExtension(const std::string& path);
// `dir` and `name` joined with one '/'.
std::string JoinPath(const std::string& dir, const std::string& name);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// 1234567 -> "1,234,567".
std::string Grouped(unsigned long long n);
// 4187593113 -> "3.9 GB".
std::string ByteSize(double bytes);
// Bytes of memory the program may still take: what the system calls
// available, or the address-space limit when that is lower.
double AvailableMemory();
// Bytes outside printable ASCII as \xNN, backslash as \\ (one line, readable).
std::string Printable(std::string_view text);
// Quoted for a message: 'text', made printable.
std::string Quoted(std::string_view text);

// Text to standard output, buffered. Out() is the process-wide instance;
// Finish() flushes it and reports a write error (a full disk, a closed pipe)
// as a Failure, so that a cut-off listing never passes for a whole one.
class Output {
 public:
  void Write(const char* text, size_t n);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  void Line(const std::string& text) {
    Write(text);
    Write("\n", 1);
  }
  void Print(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void Finish();
  // Keeps what is written from now on back from standard output until
  // Release() lets it go or Discard() drops it.
  void Hold();
  void Release();
  void Discard();

 private:
  std::string m_buffer;
  bool m_held = false;
  size_t m_heldFrom = 0;
};
Output& Out();

}  // namespace vdtool
