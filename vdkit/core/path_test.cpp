#include "vdkit/core/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Compares paths as places: separators alike, ASCII case folded.
std::string Place(const CString& p) {
  std::string s = p.str();
  for (char& c : s) {
    if (c == '/') c = '\\';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

TEST(PathTest, CutFileEx) {
  struct Row {
    const char* path;
    const char* cut;
  } rows[] = {{"C:\\dir.x\\name.tar.gz", "C:\\dir.x\\name.tar"},
              {"name", "name"},
              {"a..b", "a."},
              {"a.b/c", "a.b/c"},  // the dot belongs to a directory
              {"\\name.txt", "\\name"},
              // A name whose only dots lead it has no extension, after a separator too.
              {".profile", ".profile"},
              {"dir\\.profile", "dir\\.profile"},
              {"\\.profile", "\\.profile"},
              {"dir\\.profile.bak", "dir\\.profile"},
              {"..", ".."},
              {"dir\\..", "dir\\.."},
              {"..txt", "..txt"},
              {"", ""}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    char buf[64];
    std::strcpy(buf, r.path);
    CutFileEx(buf);
    EXPECT_STREQ(buf, r.cut);
    CString s = r.path;
    CutFileEx(s);
    EXPECT_EQ(s, r.cut);
  }
  CutFileEx(static_cast<char*>(nullptr));  // nothing to do, no crash
}

TEST(PathTest, GetPathGetFileNameGetFileTitle) {
  struct Row {
    const char* path;
    const char* dir;
    const char* name;
    const char* title;
  } rows[] = {
      {"C:\\a\\b.txt", "C:\\a\\", "b", "b.txt"},
      {"C:/a/b.tar.gz", "C:/a/", "b.tar", "b.tar.gz"},
      {"C:\\a/b\\c", "C:\\a/b\\", "c", "c"},
      {"dir\\", "dir\\", "", ""},
      {"\\x.y", "\\", "x", "x.y"},
      {"dir\\.profile", "dir\\", ".profile", ".profile"},
      {"C:name.txt", "", "name", "name.txt"},  // after the drive
      {"name.txt", "", "name", "name.txt"},    // no separator: no directory
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    char buf[kMaxPathBuffer];
    GetPath(r.path, buf);
    EXPECT_STREQ(buf, r.dir);
    CString s = "junk";
    GetPath(r.path, s);
    EXPECT_EQ(s, r.dir);
    GetFileName(r.path, s);
    EXPECT_EQ(s, r.name);
    EXPECT_TRUE(GetFileTitle(r.path, s));
    EXPECT_EQ(s, r.title);
  }
  // An empty path: the buffer form gives "", the string form leaves its output.
  char buf[8] = "junk";
  GetPath("", buf);
  EXPECT_STREQ(buf, "");
  CString s = "keep";
  GetPath("", s);
  EXPECT_EQ(s, "keep");
  GetPath(nullptr, s);
  EXPECT_EQ(s, "keep");
}

TEST(PathTest, GetPathNeverOverrunsItsBuffer) {
  // The unbounded form takes the host's 260 characters: 259 and a terminator.
  const std::string longDir = std::string(300, 'd') + "\\f.txt";
  char buf[kMaxPathBuffer + 16];
  std::memset(buf, 'x', sizeof buf);
  GetPath(longDir.c_str(), buf);
  EXPECT_EQ(std::strlen(buf), kMaxPathBuffer - 1);
  EXPECT_EQ(buf[kMaxPathBuffer], 'x');
  // Bounded: "C:\a\" is 5 characters, so 6 bytes fit and 5 cut.
  std::memset(buf, 'x', sizeof buf);
  EXPECT_TRUE(GetPath("C:\\a\\b", buf, 6));
  EXPECT_STREQ(buf, "C:\\a\\");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(GetPath("C:\\a\\b", buf, 5));
  EXPECT_STREQ(buf, "C:\\a");
  EXPECT_EQ(buf[5], 'x');
  CString s;
  GetPath(longDir.c_str(), s);  // the string form is not limited
  EXPECT_EQ(s.GetLength(), 301);
}

TEST(PathTest, GetPathRootAndMakePathName) {
  struct Row {
    const char* path;
    const char* root;
  } rows[] = {{"\\\\srv\\share\\x", "\\\\srv\\"},
              {"//srv/share", "//srv/"},
              {"\\\\srv", "\\\\srv"},
              {"C:\\a\\b", "C:\\"},
              {"\\a", "\\"},
              {"a\\b", "a\\"},
              {"abc", "abc"},
              {"", ""},
              // GBK: 0xD6 0x5C is one character whose trail byte is not a separator.
              {"\xD6\x5C\\x", "\xD6\x5C\\"},
              {"\\\\\xD6\x5C\\x", "\\\\\xD6\x5C\\"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    CString s = "junk";
    GetPathRoot(r.path, s);
    EXPECT_EQ(s, r.root);
  }
  CString s;
  const std::string longName(300, 'n');
  GetPathRoot(longName.c_str(), s);
  EXPECT_EQ(s.GetLength(), 260);

  // MakePathName drops one leading separator of the name and adds one after the directory.
  const char* joins[][3] = {{"C:\\a", "b.txt", "C:\\a\\b.txt"},
                            {"C:\\a/", "\\b", "C:\\a/b"},
                            {"C:\\a", "\\\\b", "C:\\a\\\\b"},
                            {"", "b", "\\b"},
                            {"d", "", "d\\"}};
  for (const auto& j : joins) {
    MakePathName(j[0], j[1], s);
    EXPECT_EQ(s, j[2]) << j[0] << " + " << j[1];
  }
}

TEST(PathTest, GetAbsPathName) {
  const char* kUnchanged = "(unchanged)";
  struct Row {
    const char* base;
    const char* rel;
    bool ok;
    const char* out;
  } rows[] = {{"C:\\a\\b\\", "..\\c\\d.txt", true, "C:\\a\\c\\d.txt"},
              {"C:\\a\\b", "..", true, "C:\\a\\"},
              {"C:\\a\\b", "../../x", true, "C:\\x"},
              {"C:\\a\\", "..\\..\\..\\x", false, kUnchanged},  // more ".." than components
              {"C:\\a", "\\x", true, "C:\\a\\x"},               // one leading separator is not absolute
              {"C:\\a", "\\\\srv\\x", true, "\\\\srv\\x"},
              {"C:\\a", "D:\\x", true, "D:\\x"},
              {"C:\\a", "D:x", true, "C:\\a\\D:x"},
              {"C:\\a", ".\\.\\x", true, "C:\\a\\.\\x"},  // "./" is dropped once
              {"C:\\a\\\\", "..\\x", true, "C:\\x"},
              // Names that merely start with two dots are names.
              {"C:\\a\\b", "..x", true, "C:\\a\\b\\..x"},
              {"C:\\a\\b", "...\\x", true, "C:\\a\\b\\...\\x"},
              {"/home", "..", true, "/"},
              {"/home", "../..", false, kUnchanged},
              // A leading '/' is the root of this platform, not of the base.
              {"/usr/bin", "/etc/x.conf", true, "/etc/x.conf"},
              {"C:\\a", "/x", true, "/x"},
              {"", "x", false, "x"},
              {"C:\\a", "", false, ""}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.base << " with " << r.rel);
    CString s = kUnchanged;
    EXPECT_EQ(GetAbsPathName(r.base, r.rel, s), r.ok);
    EXPECT_EQ(s, r.out);
  }
  CString s = "x";
  EXPECT_FALSE(GetAbsPathName("C:\\a", nullptr, s));
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_FALSE(GetAbsPathName(nullptr, "y", s));
  EXPECT_EQ(s, "y");
}

TEST(PathTest, GetRelPathName) {
  struct Row {
    const char* base;
    const char* path;
    bool ok;
    const char* out;
    bool resolvesBack;  // GetAbsPathName(base, out) names path again
  } rows[] = {{"C:\\a\\b", "C:\\a\\c\\f.txt", true, "..\\c\\f.txt", true},
              {"C:\\a", "C:\\a\\x\\y", true, "x\\y", true},
              {"C:\\a\\", "C:\\a\\x\\y", true, "x\\y", true},
              {"C:\\a\\b\\c", "C:\\a\\x", true, "..\\..\\x", true},
              {"C:\\a\\bc", "C:\\a\\bd\\f", true, "..\\bd\\f", true},
              {"c:\\A\\B", "C:\\a\\b\\f", true, "f", true},  // case ignored
              {"C:\\a\\b", "C:\\a/c", true, "..\\c", true},  // separators differ where they part
              // A base that is a prefix of a component of path is not its parent.
              {"C:\\a", "C:\\ab\\x", true, "..\\ab\\x", true},
              {"C:\\ab", "C:\\a\\x", true, "..\\a\\x", true},
              {"/home/user", "/home/u/x", true, "..\\u/x", true},
              {"C:\\a\\b", "C:\\a\\b", true, "", false},
              {"C:\\a\\b", "C:\\a\\b\\", true, "", false},
              {"C:\\a", "D:\\b", true, "D:\\b", true},  // other drive: the whole path
              {"ab", "abc\\x", true, "abc\\x", false},  // nothing shared: the whole path
              {"", "x", false, "x", false},
              {"C:\\a", "", false, "", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.path << " from " << r.base);
    CString s = "junk";
    EXPECT_EQ(GetRelPathName(r.base, r.path, s), r.ok);
    EXPECT_EQ(s, r.out);
    if (r.resolvesBack) {
      CString back;
      ASSERT_TRUE(GetAbsPathName(r.base, s, back));
      EXPECT_EQ(Place(back), Place(r.path));
    }
  }
}

class MakeDirTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = testing::TempDir() + "vdkit_makedir_XXXXXX";
    ASSERT_NE(::mkdtemp(&tmpl[0]), nullptr);
    m_root = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }
  static bool IsDir(const std::string& p) { return std::filesystem::is_directory(p); }
  std::string m_root;
};

TEST_F(MakeDirTest, MakesMissingParentsButNotThroughAFile) {
  EXPECT_TRUE(MakeDir((m_root + "/a/b/c").c_str()));
  EXPECT_TRUE(IsDir(m_root + "/a/b/c"));
  EXPECT_TRUE(MakeDir((m_root + "/a/b/c").c_str()));  // already there
  EXPECT_TRUE(MakeDir((m_root + "\\x\\y").c_str()));
  EXPECT_TRUE(IsDir(m_root + "/x/y"));
  // A trailing separator: the directory is made, and that is success.
  EXPECT_TRUE(MakeDir((m_root + "/t/u/").c_str()));
  EXPECT_TRUE(IsDir(m_root + "/t/u"));
  std::string deep = m_root;
  for (int i = 0; i < 200; ++i) deep += "/d";
  EXPECT_TRUE(MakeDir(deep.c_str()));
  EXPECT_TRUE(IsDir(deep));
  EXPECT_FALSE(MakeDir(""));
  EXPECT_FALSE(MakeDir(nullptr));
  // A file in the way is no directory.
  const std::string file = m_root + "/f";
  std::ofstream(file) << "x";
  EXPECT_FALSE(MakeDir(file.c_str()));
  EXPECT_FALSE(MakeDir((file + "/g").c_str()));
  EXPECT_FALSE(IsDir(file));
}

}  // namespace
