// The vdkit program's shared plumbing: how a command ends in failure, how
// whole files are read and written, and how text goes to standard output.
//
// A command that meets a file it cannot read, or wrong usage, throws a
// Failure; main() prints its one-line message on standard error and exits
// with its status. Nothing else escapes a command.
//
//   std::vector<BYTE> bytes = ReadFileBytes(path);    // Failure when unreadable
//   if (bytes.size() < 4) FailFile(path, "empty file");
//   WriteFileAtomically(out, mem.GetData(), n);        // all or nothing
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "vdkit/platform/types.h"

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

// "<path>: <what>", status 1.
[[noreturn]] void FailFile(const std::string& path, const std::string& what);
// "<command>: <what>", status 2 (a bare "<what>" for an empty command).
[[noreturn]] void FailUsage(const std::string& command, const std::string& what);

// The whole file. Failure when it cannot be opened or read, is a directory,
// or is larger than the 32-bit sizes of the file forms allow.
std::vector<BYTE> ReadFileBytes(const std::string& path);

// Writes the bytes to a temporary file beside `path` and renames it over
// `path`, so that a reader never sees a half-written file. Failure (with
// nothing left behind) when that cannot be done.
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
