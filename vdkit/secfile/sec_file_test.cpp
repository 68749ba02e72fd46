#include "vdkit/secfile/sec_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

class SecFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    dir_ = std::string(base ? base : "/tmp") + "/vdkit_secf_XXXXXX";
    ASSERT_NE(::mkdtemp(dir_.data()), nullptr);
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -r " + dir_).c_str()), 0); }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  static Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // A new file each time: rewriting one in place makes some file systems
  // flush it on every close.
  static void Put(const std::string& path, const Bytes& bytes) {
    ::unlink(path.c_str());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  // The names of a walk, trimmed, comma-separated.
  static std::string Walk(CSecFile& f, int type) {
    std::string out;
    SsecTableInfo info;
    for (POSITION pos = f.GetFirstTableInfoPos(type); pos;) {
      if (!f.GetNextTableInfo(pos, info, type)) continue;
      std::string s(info.szName, strnlen(info.szName, 16));
      out += (out.empty() ? "" : ",") + s.substr(0, s.find_last_not_of(' ') + 1);
    }
    return out;
  }
  static int Count(CSecFile& f) {
    int n = 0;
    SsecTableInfo info;
    for (POSITION pos = f.GetFirstTableInfoPos(0); pos;) n += f.GetNextTableInfo(pos, info, 0);
    return n;
  }
  std::string dir_;
};

void Le(Bytes& b, size_t at, DWORD v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
Bytes Slice(const Bytes& b, size_t at, size_t n) {
  return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

// Worked out from the layout: "SECF", version 256, header size 64, no
// entries, 13 block offsets of 0.
Bytes NewHead() {
  Bytes h = {'S', 'E', 'C', 'F', 0x00, 0x01, 0x00, 0x00, 0x40, 0x00};
  h.resize(64);
  return h;
}
// Entry 0: a 13-character name gets three blanks and no terminator; the
// short form puts its third argument (2) at 16 and its second (1) at 18;
// the data follow the first block: 64 + 2048 = 2112 = 0x840.
const Bytes kEntry0 = {'S', 'U', 'R', 'V', 'E', 'Y', '_', 'P', 'O', 'I', 'N', 'T', 'S',  ' ',  ' ', ' ',
                       2,   0,   1,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0x40, 0x08, 0,   0};
// Entry 63: "T63", eight blanks, five zeros; its data offset is the end of
// the file after entry 0's five bytes: 2117 = 0x845.
const Bytes kEntry63 = {'T', '6', '3', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0, 0,    0,    0, 0,
                        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0, 0x45, 0x08, 0, 0};
// Entry 64 opens the second block, appended at the end of the file (2117);
// an 8-character name fills 16 bytes with its blanks; its data follow that
// block: 2117 + 2048 = 4165 = 0x1045.
const Bytes kEntry64 = {'D',  'e',  'e',  'p',  '.',  'L',  'o',  'g',  ' ',  ' ',  ' ',
                        ' ',  ' ',  ' ',  ' ',  ' ',  0xCD, 0xAB, 0x02, 0x01, 0x44, 0x33,
                        0x22, 0x11, 0x05, 0x00, 0x00, 0x00, 0x45, 0x10, 0x00, 0x00};

// SURVEY_POINTS with "ABCDE", T1 .. T63 without data, Deep.Log of type 5.
void WriteGoldenFile(const std::string& path) {
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  ASSERT_TRUE(f.AddTableInfo("SURVEY_POINTS", 1, 2));
  f.Write("ABCDE", 5);
  for (int i = 1; i < 64; ++i) ASSERT_TRUE(f.AddTableInfo(("T" + std::to_string(i)).c_str(), 0, 0));
  SsecTableInfo info{};
  info.wInfo1 = 0xABCD, info.wInfo2 = 0x0102, info.dwInfo3 = 0x11223344, info.nType = 5;
  ASSERT_TRUE(f.AddTableInfo("Deep.Log", info));
  EXPECT_EQ(Bytes(info.szName, info.szName + 16), Slice(kEntry64, 0, 16));  // the record holds the entry
  EXPECT_EQ(info.dwDataPos, 4165u);
}

TEST_F(SecFileTest, GoldenBytesOfHeaderEntriesAndSecondBlock) {
  const std::string path = Path("golden.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  f.Close();
  EXPECT_EQ(Slurp(path), NewHead());
  WriteGoldenFile(path);
  const Bytes file = Slurp(path);
  ASSERT_EQ(file.size(), 4165u);
  Bytes head = NewHead();
  Le(head, 10, 65, 2);    // entries
  Le(head, 12, 64, 4);    // block 0 right after the header
  Le(head, 16, 2117, 4);  // block 1 where the file ended when entry 64 came
  EXPECT_EQ(Slice(file, 0, 64), head);
  EXPECT_EQ(Slice(file, 64, 32), kEntry0);
  EXPECT_EQ(Slice(file, 64 + 63 * 32, 32), kEntry63);
  EXPECT_EQ(Slice(file, 2112, 5), Bytes({'A', 'B', 'C', 'D', 'E'}));
  Bytes block1(2048, 0);
  std::copy(kEntry64.begin(), kEntry64.end(), block1.begin());
  EXPECT_EQ(Slice(file, 2117, 2048), block1);
}

// Random additions (by name or by a record copied from another entry),
// updates, lookups (by name and by record), walks and reopenings against a
// list of (name, fields, data). Names have no blanks, so two names match
// exactly when their first 16 characters do, ignoring case.
TEST_F(SecFileTest, RandomOperationsAgreeWithAListModel) {
  struct Table {
    std::string name;
    LONG type;
    DWORD info3;
    std::string data;
  };
  auto key = [](std::string name) {
    name.resize(std::min<size_t>(name.size(), 16));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
  };
  std::vector<Table> model;
  auto find = [&](const std::string& name) -> Table* {
    for (Table& t : model)
      if (key(t.name) == key(name)) return &t;
    return nullptr;
  };
  std::mt19937 rng(1234);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string path = Path("random.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  for (int step = 0; step < 700; ++step) {
    std::string name;
    if (model.empty() || pick(3) == 0) {
      for (int n = pick(19); n >= 0; --n) name += "aBcDeF_.09xYz"[pick(13)];
    } else {
      name = model[static_cast<size_t>(pick(static_cast<int>(model.size())))].name;
      for (char& c : name) c = pick(2) ? static_cast<char>(std::toupper(c)) : c;
    }
    Table* t = find(name);
    SsecTableInfo info{};
    const int op = pick(10);
    if (op < 4) {  // add, then write the table's bytes
      const bool byRecord = t && pick(2);
      ASSERT_TRUE(!byRecord || f.GetTableInfo(name.c_str(), info));
      info.nType = pick(4);
      info.dwInfo3 = static_cast<DWORD>(rng());
      ASSERT_TRUE(f.AddTableInfo(byRecord ? nullptr : name.c_str(), info));
      const std::string data(static_cast<size_t>(pick(40)), static_cast<char>('a' + pick(26)));
      f.Write(data.data(), static_cast<UINT>(data.size()));
      model.push_back({byRecord ? t->name : name, info.nType, info.dwInfo3, data});
    } else if (op < 6) {  // find by name, again by the record found, read the data
      ASSERT_EQ(f.GetTableInfo(name.c_str(), info), t != nullptr) << name;
      if (!t) continue;
      ASSERT_TRUE(f.SeekToTableData(nullptr, &info)) << name;
      EXPECT_TRUE(info.nType == t->type && info.dwInfo3 == t->info3);
      std::string data(t->data.size(), '\0');
      EXPECT_EQ(f.Read(&data[0], static_cast<UINT>(data.size())), data.size());
      EXPECT_EQ(data, t->data);
    } else if (op < 7) {  // change an entry's fields in place
      if (!f.GetTableInfo(name.c_str(), info)) continue;
      info.nType = t->type = pick(4);
      info.dwInfo3 = t->info3 = static_cast<DWORD>(rng());
      ASSERT_TRUE(f.SetTableInfo(name.c_str(), info));
    } else if (op < 9) {
      const int type = pick(4);
      std::string expect;
      for (const Table& x : model)
        if (type < 1 || x.type == type) expect += (expect.empty() ? "" : ",") + x.name.substr(0, 16);
      ASSERT_EQ(Walk(f, type), expect) << step;
    } else {
      f.Close();
      ASSERT_TRUE(f.Open(path.c_str(), secOpenReadWrite));
    }
    f.SeekToEnd();
  }
  EXPECT_GT(model.size(), 64u);  // the second block was used
}

TEST_F(SecFileTest, DirectoryHoldsAtMost832Entries) {
  const std::string path = Path("full.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  for (int i = 0; i < kSecMaxTables; ++i) ASSERT_TRUE(f.AddTableInfo(std::to_string(i).c_str(), 0, 0)) << i;
  EXPECT_FALSE(f.AddTableInfo("one more", 0, 0));
  f.Close();
  EXPECT_EQ(Slurp(path).size(), 64u + 13 * 2048u);  // 13 blocks, no data between them
  ASSERT_TRUE(f.Open(path.c_str(), secOpenReadWrite));
  EXPECT_FALSE(f.AddTableInfo("one more", 0, 0));
  EXPECT_EQ(Count(f), kSecMaxTables);
}

TEST_F(SecFileTest, DerivedHeadersAndRefusedWrites) {
  // A derived file: its own magic and a 72-byte header.
  struct SWideHead {
    SsecFileHead base;
    DWORD extra[2];
  };
  class CWideFile : public CSecFile {
   public:
    DWORD GetFileFlag() override { return 0x31444957; }  // "WID1"
    int GetHeadSize() override { return sizeof(SWideHead); }
  };
  const std::string path = Path("wide.sec");
  CWideFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  ASSERT_TRUE(f.AddTableInfo("t", 0, 0));
  f.Write("xy", 2);
  SWideHead h{};
  h.base.dwVersion = 7, h.base.wTableCount = 99,
  h.base.dwDirBlock[0] = 5;  // count and blocks stay the file's
  h.extra[0] = 0xA1B2C3D4, h.extra[1] = 0x01020304;
  ASSERT_TRUE(f.SetFileHead(&h.base));
  EXPECT_EQ(f.GetPosition(), 72u + 2048u + 2u);  // the position is kept
  f.Close();
  const Bytes file = Slurp(path);
  Bytes head = {'W', 'I', 'D', '1', 7, 0, 0, 0, 72, 0, 1, 0, 72, 0, 0, 0};
  head.resize(64);
  for (BYTE b : {0xD4, 0xC3, 0xB2, 0xA1, 0x04, 0x03, 0x02, 0x01}) head.push_back(b);
  EXPECT_EQ(Slice(file, 0, 72), head);

  CSecFile plain;
  EXPECT_FALSE(plain.Open(path.c_str(), secOpenRead));  // another magic
  ASSERT_TRUE(f.Open(path.c_str(), secOpenRead));
  SWideHead back{};
  ASSERT_TRUE(f.GetFileHead(&back.base));
  EXPECT_EQ(back.extra[1], 0x01020304u);
  SsecTableInfo info;
  ASSERT_TRUE(f.GetTableInfo("T", info));
  EXPECT_FALSE(f.AddTableInfo("u", 0, 0) || f.SetTableInfo("t", info) ||
               f.SetFileHead(&back.base));  // read only
  f.Close();
  EXPECT_EQ(Slurp(path), file);
  EXPECT_FALSE(f.GetFileHead(&back.base) || f.GetFirstTableInfoPos(0) || f.SeekToTableData("t", nullptr));

  // Through a CFile*, with the framework's flags and the cause of a failure.
  CFile* asFile = &plain;
  CFileException error;
  EXPECT_FALSE(asFile->Open(path.c_str(), CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, CFileException::invalidFile);
  EXPECT_FALSE(asFile->Open(Path("missing.sec").c_str(), CFile::modeReadWrite, &error));
  EXPECT_EQ(error.m_cause, CFileException::fileNotFound);

  // Offsets are 32-bit: nothing is added where they would not fit (sparse).
  ASSERT_TRUE(asFile->Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
  plain.SetLength(0xFFFFF900u);
  EXPECT_FALSE(plain.AddTableInfo("far", 0, 0));  // its block would pass 4 GB
  plain.SetLength(0xFFFFFFFFu - 2048);
  EXPECT_TRUE(plain.AddTableInfo("last", 0, 0));  // block and data offset just fit
  plain.SetLength(0x100000000u);
  EXPECT_FALSE(plain.AddTableInfo("next", 0, 0));  // its data offset would not
  plain.Abort();
  EXPECT_EQ(Slurp(path), file);
}

// A created file takes the old one's place only when closed: not after an
// Abort or with an exception passing through (failed operations:
// SecFileFaultsTest).
TEST_F(SecFileTest, CreatingNeverLosesTheOldFile) {
  const std::string path = Path("keep.sec");
  WriteGoldenFile(path);
  const Bytes old = Slurp(path);
  for (int how = 1; how < 4; ++how) {
    try {
      CSecFile f;
      ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
      ASSERT_TRUE(f.AddTableInfo("new", 0, 0));
      if (how == 1) f.Abort();
      if (how == 2) throw std::runtime_error("the caller's own failure");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Slurp(path).size(), how < 3 ? old.size() : 64u + 2048u) << how;  // 3: the destructor closed it
  }
  EXPECT_EQ(std::system(("test $(ls " + dir_ + " | wc -l) = 1").c_str()), 0);  // nothing left beside it
}

TEST_F(SecFileTest, DamagedFilesGiveFalseNeverACrash) {
  const std::string path = Path("bad.sec");
  WriteGoldenFile(path);
  const Bytes good = Slurp(path);
  CSecFile f;
  // Cut short: no header, no file; a cut inside a block loses the entries
  // beyond it; a data offset past the end cannot be sought.
  for (size_t length = good.size() + 1; length-- > 0;) {
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(length)), 0);
    ASSERT_EQ(f.Open(path.c_str(), secOpenRead), length >= 64) << length;
    if (length < 64) continue;
    const int inBlock0 = length < 96 ? 0 : std::min<int>(64, static_cast<int>(length - 64) / 32);
    ASSERT_EQ(Count(f), inBlock0 + (length >= 2117 + 32)) << length;
    EXPECT_EQ(f.SeekToTableData("SURVEY_POINTS", nullptr), length >= 2112) << length;
    f.Close();
  }
  // Header fields pointing where they must not: {offset, value, width,
  // whether it opens, entries a walk finds}.
  const DWORD damages[][5] = {
      {0, 0x46434554, 4, 0, 0},    // not "SECF"
      {10, 833, 2, 0, 0},          // more entries than the header can place
      {12, 0, 4, 1, 1},            // block 0 not written: entries 0 .. 63 missing
      {12, 10, 4, 1, 1},           // block 0 inside the header
      {16, 4165, 4, 1, 64},        // block 1 at the end of the file
      {16, 4150, 4, 1, 64},        // block 1 without room for its entry
      {16, 0xFFFFFFF0, 4, 1, 64},  // block 1 far past the end
      {64 + 28, 99999, 4, 1, 65},  // entry 0's data past the end
  };
  for (const auto& d : damages) {
    Bytes bytes = good;
    Le(bytes, d[0], d[1], static_cast<int>(d[2]));
    Put(path, bytes);
    ASSERT_EQ(f.Open(path.c_str(), secOpenReadWrite), d[3] != 0) << d[0];
    if (!d[3]) continue;
    EXPECT_EQ(Count(f), static_cast<int>(d[4])) << d[0];
    EXPECT_EQ(f.SeekToTableData("SURVEY_POINTS", nullptr), d[4] >= 64 && d[0] != 64 + 28) << d[0];
    EXPECT_EQ(f.AddTableInfo("next", 0, 0), d[0] != 16) << d[0];  // entry 65 goes into block 1
    f.Close();
    if (d[0] == 16) {
      EXPECT_EQ(Slurp(path), bytes) << "nothing written";
    }
  }
  // Bytes flipped all over: whatever opens can be walked, searched and added to.
  std::mt19937 rng(99);
  for (size_t i = 0; i < good.size(); i += 1 + rng() % 7) {
    Bytes bytes = good;
    bytes[i] ^= static_cast<BYTE>(1 + rng() % 255);
    Put(path, bytes);
    if (!f.Open(path.c_str(), secOpenReadWrite)) continue;
    SsecTableInfo info;
    for (POSITION pos = f.GetFirstTableInfoPos(5); pos;)
      if (f.GetNextTableInfo(pos, info, 5)) f.SeekToTableData(nullptr, &info);
    f.AddTableInfo("next", 0, 0);
    f.Close();
  }
}

}  // namespace
