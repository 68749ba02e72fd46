#include "vdkit/core/path.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Compares paths as places: separators alike, ASCII case folded.
std::string Place(const CString& p) {
  std::string s = p.str();
  for (char& c : s) c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(PathTest, CutFileEx) {
  // {path, cut}: a dot in a directory, or only leading a name, starts no extension.
  const char* rows[][2] = {{"C:\\dir.x\\name.tar.gz", "C:\\dir.x\\name.tar"},
                           {"a.b/c", "a.b/c"},
                           {".profile", ".profile"},
                           {"dir\\.profile.bak", "dir\\.profile"},
                           {"dir\\..", "dir\\.."}};
  for (const auto& r : rows) {
    char buf[64];
    CutFileEx(std::strcpy(buf, r[0]));
    EXPECT_STREQ(buf, r[1]);
    CString s = r[0];
    CutFileEx(s);
    EXPECT_EQ(s, r[1]);
  }
}

TEST(PathTest, GetPathGetFileNameGetFileTitle) {
  // {path, directory, name, title}
  const char* rows[][4] = {{"C:\\a/b\\c.d", "C:\\a/b\\", "c", "c.d"},
                           {"dir\\.profile", "dir\\", ".profile", ".profile"},
                           {"C:name.txt", "", "name", "name.txt"}};  // after the drive
  for (const auto& r : rows) {
    CString s = "junk";
    GetPath(r[0], s);
    EXPECT_EQ(s, r[1]) << r[0];
    GetFileName(r[0], s);
    EXPECT_EQ(s, r[2]);
    EXPECT_TRUE(GetFileTitle(r[0], s));
    EXPECT_EQ(s, r[3]);
  }
}

TEST(PathTest, GetPathNeverOverrunsItsBuffer) {
  // The unbounded form takes the host's 260 characters: 259 and a terminator.
  const std::string longDir = std::string(300, 'd') + "\\f.txt";
  char buf[kMaxPathBuffer + 16];
  std::memset(buf, 'x', sizeof buf);
  GetPath(longDir.c_str(), buf);
  EXPECT_EQ(std::strlen(buf), kMaxPathBuffer - 1);
  EXPECT_EQ(buf[kMaxPathBuffer], 'x');
  // Bounded: "C:\a\" is 5 characters, so 5 bytes cut it.
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(GetPath("C:\\a\\b", buf, 5));
  EXPECT_STREQ(buf, "C:\\a");
  EXPECT_EQ(buf[5], 'x');
  CString s;
  GetPath(longDir.c_str(), s);  // the string form is not limited
  EXPECT_EQ(s.GetLength(), 301);
}

TEST(PathTest, GetPathRootAndMakePathName) {
  // {path, root}; GBK 0xD6 0x5C is one character whose trail byte is not a separator.
  const char* rows[][2] = {
      {"//srv/share", "//srv/"}, {"C:\\a\\b", "C:\\"}, {"\\\\\xD6\x5C\\x", "\\\\\xD6\x5C\\"}};
  for (const auto& r : rows) {
    CString s = "junk";
    GetPathRoot(r[0], s);
    EXPECT_EQ(s, r[1]) << r[0];
  }
  CString s;
  GetPathRoot(std::string(300, 'n').c_str(), s);
  EXPECT_EQ(s.GetLength(), 260);
  MakePathName("C:\\a", "\\\\b", s);  // drops one leading separator of the name only
  EXPECT_EQ(s, "C:\\a\\\\b");
}

TEST(PathTest, GetAbsPathName) {
  const char* kUnchanged = "(unchanged)";
  struct Row {
    const char *base, *rel;
    bool ok;
    const char* out;
  } rows[] = {{"C:\\a\\b", "../../x", true, "C:\\x"},
              {"C:\\a\\", "..\\..\\..\\x", false, kUnchanged},  // more ".." than components
              {"C:\\a", "\\x", true, "C:\\a\\x"},               // one leading separator is not absolute
              {"C:\\a", "D:x", true, "C:\\a\\D:x"},
              // Names that merely start with two dots are names.
              {"C:\\a\\b", "..x", true, "C:\\a\\b\\..x"},
              {"C:\\a\\b", "...\\x", true, "C:\\a\\b\\...\\x"},
              // A leading '/' is the root of this platform, not of the base.
              {"/usr/bin", "/etc/x.conf", true, "/etc/x.conf"},
              // A doubled separator ending the base names the same directory.
              {"C:\\a\\\\", "..\\x", true, "C:\\x"},
              {"C:\\a\\\\", "x", true, "C:\\a\\\\x"},
              {"", "x", false, "x"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.base << " with " << r.rel);
    CString s = kUnchanged;
    EXPECT_EQ(GetAbsPathName(r.base, r.rel, s), r.ok);
    EXPECT_EQ(s, r.out);
  }
}

TEST(PathTest, GetRelPathName) {
  struct Row {
    const char *base, *path;
    bool ok;
    const char* out;
    bool resolvesBack;  // GetAbsPathName(base, out) names path again
  } rows[] = {{"C:\\a\\b", "C:\\a\\c\\f.txt", true, "..\\c\\f.txt", true},
              {"C:\\a\\", "C:\\a\\x\\y", true, "x\\y", true},
              {"c:\\A\\B", "C:\\a\\b\\f", true, "f", true},  // case ignored
              // A base that is a prefix of a component of path is not its parent.
              {"C:\\a", "C:\\ab\\x", true, "..\\ab\\x", true},
              {"/home/user", "/home/u/x", true, "..\\u/x", true},
              {"C:\\a\\b", "C:\\a\\b\\", true, "", false},
              {"ab", "abc\\x", true, "abc\\x", false},  // nothing shared: the whole path
              {"", "x", false, "x", false}};
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

TEST(MakeDirTest, MakesMissingParentsButNotThroughAFile) {
  std::string root = testing::TempDir() + "vdkit_makedir_XXXXXX";
  ASSERT_NE(::mkdtemp(&root[0]), nullptr);
  EXPECT_TRUE(MakeDir((root + "\\x\\y\\").c_str()));  // a trailing separator is success
  EXPECT_TRUE(MakeDir((root + "/x/y").c_str()));      // already there
  std::string deep = root;
  for (int i = 0; i < 200; ++i) deep += "/d";
  EXPECT_TRUE(MakeDir(deep.c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  std::ofstream(root + "/f") << "x";  // a file in the way is no directory
  EXPECT_FALSE(MakeDir((root + "/f").c_str()));
  EXPECT_FALSE(MakeDir((root + "/f/g").c_str()));
  std::filesystem::remove_all(root);
}

}  // namespace
