#include "vdkit/platform/safe_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/platform/fault_test_util.h"

namespace {

class SafeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base ? base : "/tmp") + "/vdkit_safe_XXXXXX";
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    for (const std::string& name : Entries()) ::unlink((dir_ + "/" + name).c_str());
    ::rmdir(dir_.c_str());
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir_.c_str())) {
      while (dirent* e = ::readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
      ::closedir(d);
    }
    return names;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string dir_;
};

// A save that fails at any operation leaves the old file byte for byte and
// no temporary file; the whole save replaces it.
TEST(SafeFileFaultsTest, FailureAtEveryOperationKeepsTheOldFile) {
  vdtest::ScratchDir dir;
  const std::string fresh(200000, 'n');
  vdtest::ExpectSavesKeepTheOldFile(dir, "data.bin", "the old content", fresh, [&](CFile& f) {
    for (size_t at = 0; at < fresh.size(); at += 50000) f.Write(fresh.data() + at, 50000);
    return true;
  });
}

TEST_F(SafeFileTest, AbortDestroyAndRefusals) {
  const std::string target = Path("keep.txt");
  Put(target, "old");
  {
    CSafeFile f(target.c_str(), CFile::modeCreate | CFile::modeWrite);
    f.Write("new", 3);
    EXPECT_EQ(f.GetFilePath(), CString(target.c_str()));
    EXPECT_NE(f.GetTempPath(), f.GetFilePath());
  }  // destroyed without Close: discarded
  {
    CSafeFile f(target.c_str(), CFile::modeCreate | CFile::modeWrite);
    f.Write("new", 3);
    f.Abort();
    f.Close();  // nothing left to commit
  }
  EXPECT_EQ(Slurp(target), "old");
  EXPECT_EQ(Entries().size(), 1u);

  CSafeFile f;
  CFileException err;
  EXPECT_FALSE(f.Open(target.c_str(), CFile::modeRead, &err));
  EXPECT_EQ(err.m_cause, CFileException::accessDenied);
  EXPECT_FALSE(f.Open(dir_.c_str(), CFile::modeCreate | CFile::modeWrite, &err));
  EXPECT_FALSE(f.Open(Path("absent").c_str(), CFile::modeWrite, &err));
  EXPECT_EQ(err.m_cause, CFileException::fileNotFound);
  EXPECT_FALSE(f.Open(Path("no-dir/x").c_str(), CFile::modeCreate | CFile::modeWrite, &err));
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(SafeFileTest, KeepsModeFollowsLinksAndAppendsWithoutTruncate) {
  const std::string target = Path("real.txt"), link = Path("link.txt");
  Put(target, "head-");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real.txt", link.c_str()), 0);
  CSafeFile f(link.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
  f.SeekToEnd();
  f.Write("tail", 4);
  f.Close();
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Slurp(target), "head-tail");
}

TEST_F(SafeFileTest, StdioFormCommitsOrKeepsTheOldFile) {
  const std::string target = Path("profile.txt");
  Put(target, "old");
  {
    CSafeStdioFile out;
    FILE* fp = out.Open(target.c_str(), "wt");
    ASSERT_NE(fp, nullptr);
    std::fputs("discarded", fp);
  }
  EXPECT_EQ(Slurp(target), "old");
  CSafeStdioFile out;
  EXPECT_EQ(out.Open(target.c_str(), "r"), nullptr);
  EXPECT_EQ(out.Open(target.c_str(), "a"), nullptr);
  FILE* fp = out.Open(target.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  std::fputs("new text\n", fp);
  EXPECT_TRUE(out.Commit());
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(Slurp(target), "new text\n");
  EXPECT_EQ(out.Open(Path("no-dir/x").c_str()), nullptr);
  EXPECT_EQ(Entries().size(), 1u);
}

}  // namespace
