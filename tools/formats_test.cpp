// The readers of whole files, in process: a golden archive, every cut and
// byte flips of the sample files.
#include <glob.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "formats.h"
#include "tool.h"
#include "vdf.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_parser.h"
#include "xml_io.h"

namespace vdtool {
namespace {

std::vector<BYTE> Bytes(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}

// The Failure message, or "" when `f` ran through.
std::string FailureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status, kExitBadFile);
    EXPECT_EQ(failure.message.find('\n'), std::string::npos);
    return failure.message;
  }
  return "";
}

// ---- A binary object archive by hand ----------------------------------------------------
// A disk with a named child holding a blob, and an unnamed child of a class
// nobody registered, carrying three bytes of class data.
const std::string kArchive = std::string(
    "VDFc"  // magic
    // root record
    "\x0A\x00"
    "ClassName="  // key: 10 characters, 10 = 2 + 4*2, no padding
    "\x06\x00"
    "CVDisk"    // class: 6 = 2 + 4
    "\x00\x01"  // version 0x0100
    "\x01\x00"  // flags: named
    "\x06\x00"
    "Disk\0\0"  // name: 4 characters padded to 6
    "\x06\x00"
    "Disk\0\0"          // type
    "\x00\x00\x00\x00"  // blob size 0
    "\x00\x00\x00\x00"  // class data size 0
    "\x02\x00\x00\x00"  // two children
    // child 1: "a", CVDFile, blob "xy"
    "\x0A\x00"
    "ClassName="
    "\x0A\x00"
    "CVDFile\0\0\0"  // 7 characters padded to 10
    "\x00\x01"
    "\x01\x00"
    "\x02\x00"
    "a\0"  // 1 character padded to 2
    "\x02\x00"
    "\0\0"  // empty type: length 2, two zero bytes
    "\x02\x00\x00\x00"
    "xy"  // blob
    "\x00\x00\x00\x00"
    "\x00\x00\x00\x00"
    // child 2: unnamed, CFoo, version 0x0200, class data "abc"
    "\x0A\x00"
    "ClassName="
    "\x06\x00"
    "CFoo\0\0"
    "\x00\x02"
    "\x00\x00"  // version 0x0200; flags: not named, so no name or type
    "\x00\x00\x00\x00"
    "\x03\x00\x00\x00"
    "abc"
    "\x00\x00\x00\x00",
    4 + (12 + 8 + 4 + 8 + 8 + 12) + (12 + 12 + 4 + 4 + 4 + 6 + 8) + (12 + 8 + 4 + 4 + 7 + 4));

TEST(VdfWalkTest, GoldenArchiveRecords) {
  ASSERT_EQ(kArchive.size(), 145u);
  // The records' texts point into the bytes, which must stay alive.
  const std::vector<BYTE> bytes = Bytes(kArchive);
  const std::vector<VdfRecord> r = WalkVdf("a.vdf", bytes);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].className, "CVDisk");
  EXPECT_EQ(r[0].name, "Disk");
  EXPECT_EQ(r[0].childCount, 2);
  EXPECT_EQ(r[1].offset, 56u);
  EXPECT_EQ(r[1].depth, 1);
  EXPECT_EQ(r[1].name, "a");
  EXPECT_EQ(r[1].type, "");
  EXPECT_EQ(r[1].blobSize, 2u);
  EXPECT_EQ(kArchive.substr(r[1].blobOffset, 2), "xy");
  EXPECT_FALSE(r[2].named);
  EXPECT_EQ(r[2].index, 1);
  EXPECT_EQ(r[2].version, 0x0200);
  EXPECT_EQ(kArchive.substr(r[2].classOffset, r[2].classSize), "abc");

  // The library reads it too: the unknown class is passed over, and matching
  // records to objects says so.
  std::vector<std::string> notes;
  std::unique_ptr<CVDFile> root = LoadVdfTree("a.vdf", bytes, &notes);
  EXPECT_TRUE(notes.empty());
  ASSERT_EQ(root->GetFileCount(), 1);
  const std::vector<CVDFile*> objects = MatchRecords(r, root.get());
  EXPECT_EQ(objects[0], root.get());
  EXPECT_EQ(objects[1], root->FindFile("a"));
  EXPECT_EQ(objects[2], nullptr);
}

TEST(VdfWalkTest, DamageIsNamedWithItsByte) {
  // (Every cut of a real archive is read by SampleFilesTest.)
  EXPECT_NE(FailureOf([&] {
              WalkVdf("a.vdf", Bytes(kArchive + "?"));
            }).find("1 bytes follow the end of the root object at byte 145"),
            std::string::npos);
  const struct {
    size_t at, n;
    char byte;
    const char* message;
  } rows[] = {
      {52, 4, '\xFF', "a negative child count (byte 52 of 145)"},
      {84, 2, '\xFF', "negative length of an object name (byte 84"},  // 56 + key 12 + class 12 + 4
      {59, 1, 'X', "does not begin with the key"},
      {93, 3, '\x7F', "the stream ends inside a blob"},  // blob size (at 92) near 2 GiB: not allocated
  };
  for (const auto& row : rows) {
    const std::string bad = std::string(kArchive).replace(row.at, row.n, row.n, row.byte);
    EXPECT_NE(FailureOf([&] { WalkVdf("a.vdf", Bytes(bad)); }).find(row.message), std::string::npos)
        << row.at;
  }
}

// ---- Reading and writing whole files ---------------------------------------------------------

TEST(FileTest, ReadWholeAndWriteAllOrNothing) {
  const std::string dir = ::testing::TempDir();
  const std::string big = dir + "vdkit_file_test_big";
  std::vector<BYTE> pattern(3 << 20);  // large enough for the mapped path
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<BYTE>(i * 7 + (i >> 12));
  WriteFileAtomically(big, pattern.data(), pattern.size());
  const FileBytes read = ReadFileBytes(big);
  ASSERT_EQ(read.size(), pattern.size());
  EXPECT_EQ(std::memcmp(read.data(), pattern.data(), pattern.size()), 0);
  // A file whose size the system does not know beforehand is read to its end.
  EXPECT_GT(ReadFileBytes("/proc/self/status").size(), 0u);
  EXPECT_NE(FailureOf([&] { ReadFileBytes(dir); }).find("is a directory"), std::string::npos);

  // A writer that fails leaves neither the file nor its temporary behind.
  const std::string out = dir + "vdkit_file_test_out";
  std::remove(out.c_str());
  EXPECT_NE(FailureOf([&] {
              WriteFileWith(out, [](CFile& f) {
                f.Write("half", 4);
                FailFile("in", "refused halfway");
              });
            }),
            "");
  struct stat st {};
  EXPECT_NE(::stat(out.c_str(), &st), 0);
  glob_t temps{};
  EXPECT_EQ(::glob((out + ".*").c_str(), 0, nullptr, &temps), GLOB_NOMATCH);
  ::globfree(&temps);
  std::remove(big.c_str());
}

// ---- The sample files: every cut fails, byte flips never crash -----------------------------

struct Sample {
  const char* name;
  std::function<void(const std::string&, const std::vector<BYTE>&)> read;
  bool prefixesMayRead;  // a text form whose cuts can be whole documents of their own
};

std::vector<BYTE> ReadSample(const char* name) {
  const FileBytes file = ReadFileBytes(std::string(VDKIT_SAMPLES) + "/" + name);
  return std::vector<BYTE>(file.data(), file.data() + file.size());
}

const Sample kSamples[] = {
    {"demo.vdf",
     [](const std::string& p, const std::vector<BYTE>& b) {
       const std::vector<VdfRecord> r = WalkVdf(p, b);
       if (IsRegisteredClass(r[0].className)) LoadVdfTree(p, b, nullptr);
     },
     false},
    {"demo.xml", [](const std::string& p, const std::vector<BYTE>& b) { LoadXmlTree(p, b); }, true},
    {"wells.tv10", [](const std::string& p, const std::vector<BYTE>& b) { LoadTable(p, b); }, false},
    {"survey.vts", [](const std::string& p, const std::vector<BYTE>& b) { LoadTableSet(p, b); }, false},
    {"pump.vds", [](const std::string& p, const std::vector<BYTE>& b) { LoadDataSet(p, b); }, false},
    {"wells.vks", [](const std::string& p, const std::vector<BYTE>& b) { LoadKeyStrings(p, b); }, false},
    {"pump.txt",
     [](const std::string& p, const std::vector<BYTE>& b) {
       int stopped = 0;
       LoadDataSetText(p, b, &stopped);
     },
     true},
};

TEST(SampleFilesTest, EveryCutFailsAndFlipsNeverCrash) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.name);
    const std::vector<BYTE> whole = ReadSample(s.name);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(FailureOf([&] { s.read(s.name, whole); }), "");
    for (size_t n = 0; n < whole.size(); ++n) {
      const std::vector<BYTE> cut(whole.begin(), whole.begin() + static_cast<long>(n));
      const std::string m = FailureOf([&] { s.read(s.name, cut); });
      if (!s.prefixesMayRead) {
        EXPECT_FALSE(m.empty()) << "cut at " << n;
      }
    }
    for (size_t at = 0; at < whole.size(); ++at) {
      for (const BYTE mask : {BYTE{0x01}, BYTE{0x80}, BYTE{0xFF}}) {
        std::vector<BYTE> flipped = whole;
        flipped[at] ^= mask;
        FailureOf([&] { s.read(s.name, flipped); });  // read or refused, never a crash
      }
    }
  }
}

}  // namespace
}  // namespace vdtool
