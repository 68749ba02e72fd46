// What the process tests share: running the program in a scratch directory
// and checking how it ends.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vdtool_test {

const std::string kProgram = VDKIT_PROGRAM;
const std::string kSamples = VDKIT_SAMPLES;

struct Result {
  int status = -1;  // the exit status, or -1 when the process died of a signal
  int signal = 0;
  std::string out;
  std::string err;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A sanitizer report must end the child with a signal, never with a
    // status the program itself could give.
    setenv("ASAN_OPTIONS", "abort_on_error=1:detect_leaks=1", 1);
    setenv("UBSAN_OPTIONS", "abort_on_error=1:halt_on_error=1:print_stacktrace=1", 1);
  }

  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "vdkit_program_XXXXXX";
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    m_dir = pattern;
  }

  void TearDown() override {
    const std::string command = "rm -rf '" + m_dir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::string Temp(const std::string& name) const { return m_dir + "/" + name; }
  static std::string Sample(const std::string& name) { return kSamples + "/" + name; }

  // Runs the program with `args` in directory `cwd` (the scratch directory
  // by default).
  Result Run(const std::vector<std::string>& args, std::string cwd = "") const {
    if (cwd.empty()) cwd = m_dir;
    const std::string out = Temp(".stdout");
    const std::string err = Temp(".stderr");
    std::vector<std::string> argv{kProgram};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(cwd.c_str()) != 0 || !std::freopen(out.c_str(), "w", stdout) ||
          !std::freopen(err.c_str(), "w", stderr))
        ::_exit(127);
      std::vector<char*> raw;
      for (std::string& a : argv) raw.push_back(&a[0]);
      raw.push_back(nullptr);
      ::execv(kProgram.c_str(), raw.data());
      ::_exit(127);
    }
    Result r;
    int wstatus = 0;
    EXPECT_EQ(::waitpid(pid, &wstatus, 0), pid);
    if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }

  // A failure as the program promises it: the status, nothing on standard
  // output, and exactly one line on standard error that opens with `prefix`.
  static void ExpectOneLineFailure(const Result& r, int status, const std::string& prefix) {
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
  }

  std::string m_dir;
};

}  // namespace vdtool_test
