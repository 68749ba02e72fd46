// Failing file operations one at a time, for tests of readers and writers.
//
// ForEachFault runs a call again and again over operating-system files
// (CFile, CSafeFile; memory files have no faults), failing the first, then
// the second, ... operation of one kind (with EIO, through
// CFile::SetFaultHook), until a run in which that operation never came.
// After each run, with the hook removed, it hands what happened to a check:
//
//   const int writes = vdtest::ForEachFault(CFile::Op::Write,
//       [&] {                                   // the call under test
//         CFile f(path, CFile::modeCreate | CFile::modeWrite);
//         return table.Write(f);
//       },
//       [&](const vdtest::FaultRun& run) {     // hook removed here
//         EXPECT_TRUE(run.Reported()) << run.n;
//         ...                                   // the objects as they must be
//       });
//   EXPECT_GT(writes, 0);                       // the call wrote at all
//
// A CFileException that escapes the call is caught, recorded and deleted;
// any other exception passes on. Not for use from several threads.
//
// ExpectSavesKeepTheOldFile does the whole loop for a writer saved by name
// through CSafeFile (ExpectSavesByNameKeepTheOldFile for one that opens the
// file itself), ExpectFormSurvivesFaults for a file form's writer and
// reader together, ForEachStreamFault for readers and writers of stdio
// streams; ScratchDir gives a test a directory of its own.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/platform/safe_file.h"

namespace vdtest {

// The operations a test fails in turn.
constexpr CFile::Op kFaultOps[] = {CFile::Op::Read,      CFile::Op::Write, CFile::Op::Seek,
                                   CFile::Op::SetLength, CFile::Op::Flush, CFile::Op::Close};

inline const char* FaultOpName(CFile::Op op) {
  static const char* const names[] = {"read", "write", "seek", "set-length", "flush", "close"};
  return names[static_cast<int>(op)];
}

// What one run under a fault did.
struct FaultRun {
  CFile::Op op;
  int n = 0;            // the operation of that kind that was failed, from 1
  bool fired = false;   // the run came to it (false: the run was whole)
  bool threw = false;   // the call ended in a CFileException...
  int cause = 0;        // ...with this m_cause
  bool result = false;  // the call's result, when it returned

  // A faulted run reported failure (false or the exception); a whole run
  // succeeded.
  bool Reported() const { return fired ? (threw || !result) : (!threw && result); }
};

// While it lives, the n-th operation of kind `op` fails.
class FaultInjector {
 public:
  FaultInjector(CFile::Op op, int n) {
    State() = {op, n, 0, false};
    m_previous = CFile::SetFaultHook(&Hook);
  }
  ~FaultInjector() { CFile::SetFaultHook(m_previous); }
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  bool Fired() const { return State().fired; }

 private:
  struct Shared {
    CFile::Op op;
    int n, seen;
    bool fired;
  };
  static Shared& State() {
    static Shared state{};
    return state;
  }
  static bool Hook(CFile::Op op) {
    Shared& s = State();
    if (op != s.op) return false;
    if (++s.seen != s.n) return false;
    s.fired = true;
    return true;
  }
  CFile::FaultHook m_previous;
};

// Runs `call` with the n-th operation of kind `op` failed, for n = 1, 2, ...,
// and `check` after each run, the last one whole. Returns how many
// operations of that kind a whole run makes, or -1 when the runs went on
// past `limit` (a call that never ends its use of the file).
inline int ForEachFault(CFile::Op op, const std::function<bool()>& call,
                        const std::function<void(const FaultRun&)>& check, int limit = 1 << 16) {
  for (int n = 1; n <= limit; ++n) {
    FaultRun run;
    run.op = op;
    run.n = n;
    {
      FaultInjector inject(op, n);
      try {
        run.result = call();
      } catch (CFileException* e) {
        run.threw = true;
        run.cause = e->m_cause;
        e->Delete();
      }
      run.fired = inject.Fired();
    }
    check(run);
    if (!run.fired) return n - 1;
  }
  return -1;
}

// The same for every kind of operation in turn; the total of operations.
inline int ForEachFaultOfEveryKind(const std::function<bool()>& call,
                                   const std::function<void(const FaultRun&)>& check) {
  int total = 0;
  for (CFile::Op op : kFaultOps) {
    const int n = ForEachFault(op, call, check);
    EXPECT_GE(n, 0) << FaultOpName(op) << ": the runs did not end";
    total += n;
  }
  return total;
}

// Whether the installed hook fails the next operation of kind `op`: for
// test doubles that read or write through stdio streams opened by name,
// which the hook does not reach by itself.
inline bool HookFails(CFile::Op op) {
  const CFile::FaultHook hook = CFile::SetFaultHook(nullptr);
  CFile::SetFaultHook(hook);
  return hook && hook(op);
}

// A directory of the test's own under the test temporary directory, removed
// with the files in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "vdkit_faults_XXXXXX";
    if (::mkdtemp(&pattern[0])) m_dir = pattern;
    EXPECT_FALSE(m_dir.empty());
  }
  ~ScratchDir() {
    for (const std::string& name : Entries()) ::unlink(Path(name).c_str());
    ::rmdir(m_dir.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  // The names in the directory, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(m_dir.c_str())) {
      while (const dirent* e = ::readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string m_dir;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Saves `name` in `dir`, which holds `old` before each run, with `save`
// (given the path; its result), failing each operation of each kind in turn.
// Every failed save must report failure and leave the old file byte for byte
// with nothing beside it; the whole save must leave `expected`. `check`, when
// given, looks at the objects after each run.
inline void ExpectSavesByNameKeepTheOldFile(const ScratchDir& dir, const std::string& name,
                                            const std::string& old, const std::string& expected,
                                            const std::function<bool(const char*)>& save,
                                            const std::function<void(const FaultRun&)>& check = nullptr) {
  const std::string path = dir.Path(name);
  WriteAll(path, old);
  const int total =
      ForEachFaultOfEveryKind([&] { return save(path.c_str()); },
                              [&](const FaultRun& run) {
                                SCOPED_TRACE(std::string(FaultOpName(run.op)) + " " + std::to_string(run.n));
                                EXPECT_TRUE(run.Reported());
                                EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
                                if (run.threw) {
                                  EXPECT_EQ(run.cause, CFileException::hardIO);
                                }
                                if (run.fired) {
                                  EXPECT_EQ(ReadAll(path), old);
                                } else {
                                  EXPECT_EQ(ReadAll(path), expected);
                                  WriteAll(path, old);
                                }
                                if (check) check(run);
                              });
  EXPECT_GT(total, 0);
}

// The same for a writer to a CFile (`write`, its result), saved by name
// through a CSafeFile.
inline void ExpectSavesKeepTheOldFile(const ScratchDir& dir, const std::string& name, const std::string& old,
                                      const std::string& expected, const std::function<bool(CFile&)>& write,
                                      const std::function<void(const FaultRun&)>& check = nullptr) {
  ExpectSavesByNameKeepTheOldFile(
      dir, name, old, expected,
      [&](const char* path) {
        CSafeFile file(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        if (!write(file)) return false;  // the destructor discards the temporary file
        file.Close();
        return true;
      },
      check);
}

// A stdio stream over memory whose n-th read or write call fails with EIO,
// unbuffered so that every stdio call that moves bytes reaches it.
class FaultyStream {
 public:
  FaultyStream(std::string content, CFile::Op failOp, int n)
      : m_text(std::move(content)), m_op(failOp), m_n(n) {
    cookie_io_functions_t io{&Read, &Write, &Seek, nullptr};
    m_fp = ::fopencookie(this, "r+", io);
    if (m_fp) std::setvbuf(m_fp, nullptr, _IONBF, 0);
  }
  ~FaultyStream() {
    if (m_fp) std::fclose(m_fp);
  }
  FaultyStream(const FaultyStream&) = delete;
  FaultyStream& operator=(const FaultyStream&) = delete;

  FILE* Get() const { return m_fp; }
  const std::string& Text() const { return m_text; }
  // Where the stream stands (unbuffered: where stdio stands too).
  size_t Position() const { return m_at; }
  bool Fired() const { return m_fired; }

 private:
  bool Fails(CFile::Op op) {
    if (op != m_op || ++m_seen != m_n) return false;
    m_fired = true;
    errno = EIO;
    return true;
  }
  static ssize_t Read(void* cookie, char* buf, size_t size) {
    auto* s = static_cast<FaultyStream*>(cookie);
    if (s->Fails(CFile::Op::Read)) return -1;
    const size_t n = std::min(size, s->m_text.size() - std::min(s->m_at, s->m_text.size()));
    std::memcpy(buf, s->m_text.data() + s->m_at, n);
    s->m_at += n;
    return static_cast<ssize_t>(n);
  }
  static ssize_t Write(void* cookie, const char* buf, size_t size) {
    auto* s = static_cast<FaultyStream*>(cookie);
    if (s->Fails(CFile::Op::Write)) return -1;
    s->m_text.replace(std::min(s->m_at, s->m_text.size()), size, buf, size);
    s->m_at += size;
    return static_cast<ssize_t>(size);
  }
  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto* s = static_cast<FaultyStream*>(cookie);
    if (s->Fails(CFile::Op::Seek)) return -1;
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(s->m_at)
                                              : static_cast<off64_t>(s->m_text.size());
    if (base + *offset < 0) return -1;
    s->m_at = static_cast<size_t>(base + *offset);
    *offset = base + *offset;
    return 0;
  }

  std::string m_text;
  size_t m_at = 0;
  CFile::Op m_op;
  int m_n, m_seen = 0;
  bool m_fired = false;
  FILE* m_fp = nullptr;
};

// ForEachFault for a stdio stream that starts out holding `content`: `call`
// gets the stream with the n-th operation of kind `op` (Read, Write or Seek)
// failing, and `check` sees the run and the stream after it.
inline int ForEachStreamFault(CFile::Op op, const std::string& content,
                              const std::function<bool(FILE*)>& call,
                              const std::function<void(const FaultRun&, const FaultyStream&)>& check,
                              int limit = 1 << 16) {
  for (int n = 1; n <= limit; ++n) {
    FaultyStream stream(content, op, n);
    FaultRun run;
    run.op = op;
    run.n = n;
    run.result = stream.Get() && call(stream.Get());
    run.fired = stream.Fired();
    check(run, stream);
    if (!run.fired) return n - 1;
  }
  return -1;
}

// The bytes `write` gives a memory file.
inline std::string MemBytes(const std::function<void(CFile&)>& write) {
  CMemFile mem;
  write(mem);
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

// A file form of objects of a default-constructible type T.
template <class T>
struct FileForm {
  std::function<bool(T&, CFile&)> read;
  std::function<void(T&, CFile&)> write;
  // What must survive a write and a read; null: the bytes written (give
  // something else where an order of the object's own may change them).
  std::function<std::string(T&)> describe;
  // When given, looks at what each load left (a new T before the load).
  std::function<void(T&, const FaultRun&)> afterLoad = nullptr;
};

// The whole loop for one form: saves of `object` by name keep the old file
// and leave `object` as it was (ExpectSavesKeepTheOldFile); then loads of
// that file, failed anywhere, report it and leave an object that writes and
// reads back as it stands, and a whole load gives `object` again.
template <class T>
void ExpectFormSurvivesFaults(const std::string& name, T& object, const FileForm<T>& form) {
  SCOPED_TRACE(name);
  const auto written = [&](T& t) { return MemBytes([&](CFile& f) { form.write(t, f); }); };
  const auto describe = [&](T& t) { return form.describe ? form.describe(t) : written(t); };
  const std::string bytes = written(object);
  const std::string whole = describe(object);
  ScratchDir dir;
  ExpectSavesKeepTheOldFile(
      dir, name, "old", bytes,
      [&](CFile& f) {
        form.write(object, f);
        return true;
      },
      [&](const FaultRun&) { EXPECT_EQ(written(object), bytes); });

  const std::string path = dir.Path(name);
  WriteAll(path, bytes);
  std::unique_ptr<T> loaded;
  const int ops = ForEachFaultOfEveryKind(
      [&] {
        loaded = std::make_unique<T>();
        CFile file(path.c_str(), CFile::modeRead);
        return form.read(*loaded, file);
      },
      [&](const FaultRun& run) {
        SCOPED_TRACE(std::string(FaultOpName(run.op)) + " " + std::to_string(run.n));
        EXPECT_TRUE(run.Reported());
        const std::string got = describe(*loaded);
        EXPECT_TRUE(run.fired || got == whole);
        std::string again = written(*loaded);
        CMemFile mem(reinterpret_cast<BYTE*>(&again[0]), static_cast<UINT>(again.size()));
        T back;
        form.read(back, mem);
        EXPECT_EQ(describe(back), got);
        if (form.afterLoad) form.afterLoad(*loaded, run);
      });
  EXPECT_GT(ops, 0);
}

}  // namespace vdtest
