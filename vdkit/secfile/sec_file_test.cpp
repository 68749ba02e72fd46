#include "vdkit/secfile/sec_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

class SecFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base ? base : "/tmp") + "/vdkit_secf_XXXXXX";
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
  static Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // A new file each time: rewriting one in place makes some file systems
  // flush it to disk on every close.
  static void Put(const std::string& path, const Bytes& bytes) {
    ::unlink(path.c_str());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // The names of a walk with the given filter, comma-separated, trimmed.
  static std::string Walk(CSecFile& f, int type) {
    std::string out;
    SsecTableInfo info;
    for (POSITION pos = f.GetFirstTableInfoPos(type); pos;)
      if (f.GetNextTableInfo(pos, info, type)) out += (out.empty() ? "" : ",") + Trim(info);
    return out;
  }
  static std::string Trim(const SsecTableInfo& info) {
    std::string s(info.szName, strnlen(info.szName, 16));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  std::string dir_;
};

void Le16(Bytes& b, size_t at, unsigned v) {
  b[at] = static_cast<BYTE>(v), b[at + 1] = static_cast<BYTE>(v >> 8);
}
void Le32(Bytes& b, size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
Bytes Slice(const Bytes& b, size_t at, size_t n) {
  return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

// Worked out from the layout: "SECF", version 256, header size 64, then the
// count and the 13 block offsets.
const Bytes kNewHead = {'S', 'E', 'C', 'F', 0x00, 0x01, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0, 0, 0, 0,
                        0,   0,   0,   0,   0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0,
                        0,   0,   0,   0,   0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0,
                        0,   0,   0,   0,   0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0};
// Entry 0: a 13-character name gets three blanks and no terminator; the
// short form puts its third argument (2) at 16 and its second (1) at 18;
// the data follow the first block: 64 + 2048 = 2112 = 0x840.
const Bytes kEntry0 = {'S', 'U', 'R', 'V', 'E', 'Y', '_', 'P', 'O', 'I', 'N', 'T', 'S',  ' ',  ' ',  ' ',
                       2,   0,   1,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0x40, 0x08, 0x00, 0x00};
// Entry 63: "T63" + eight blanks + five zeros; the data offset is the end of
// the file after entry 0's five bytes: 2117 = 0x845.
const Bytes kEntry63 = {'T', '6', '3', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0, 0,    0,    0,    0,
                        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0, 0x45, 0x08, 0x00, 0x00};
// Entry 64, first of the second block, appended at the end of the file
// (2117); an 8-character name fills 16 bytes with its blanks; its data
// follow that block: 2117 + 2048 = 4165 = 0x1045.
const Bytes kEntry64 = {'D',  'e',  'e',  'p',  '.',  'L',  'o',  'g',  ' ',  ' ',  ' ',
                        ' ',  ' ',  ' ',  ' ',  ' ',  0xCD, 0xAB, 0x02, 0x01, 0x44, 0x33,
                        0x22, 0x11, 0x05, 0x00, 0x00, 0x00, 0x45, 0x10, 0x00, 0x00};

// Builds the file the goldens describe: SURVEY_POINTS with "ABCDE", T1 .. T63
// without data, then Deep.Log of type 5.
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
  f.Close();
}

TEST_F(SecFileTest, GoldenBytesOfHeaderEntriesAndSecondBlock) {
  const std::string path = Path("golden.sec");
  {
    CSecFile f;
    ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
    f.Close();
    EXPECT_EQ(Slurp(path), kNewHead);
  }
  WriteGoldenFile(path);
  const Bytes file = Slurp(path);
  ASSERT_EQ(file.size(), 4165u);
  Bytes head = kNewHead;
  Le16(head, 10, 65);    // entries
  Le32(head, 12, 64);    // block 0 right after the header
  Le32(head, 16, 2117);  // block 1 at the end of the file when entry 64 came
  EXPECT_EQ(Slice(file, 0, 64), head);
  EXPECT_EQ(Slice(file, 64, 32), kEntry0);
  EXPECT_EQ(Slice(file, 64 + 63 * 32, 32), kEntry63);
  EXPECT_EQ(Slice(file, 2112, 5), Bytes({'A', 'B', 'C', 'D', 'E'}));
  Bytes block1(2048, 0);
  std::copy(kEntry64.begin(), kEntry64.end(), block1.begin());
  EXPECT_EQ(Slice(file, 2117, 2048), block1);

  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenRead));
  SsecFileHead h;
  ASSERT_TRUE(f.GetFileHead(&h));
  EXPECT_EQ(h.dwFileFlag, f.GetFileFlag());
  EXPECT_EQ(h.dwVersion, 256u);
  EXPECT_EQ(h.wTableCount, 65);
  EXPECT_EQ(h.dwDirBlock[1], 2117u);
  SsecTableInfo info;
  ASSERT_TRUE(f.SeekToTableData("survey_points", &info));
  char data[5];
  ASSERT_EQ(f.Read(data, 5), 5u);
  EXPECT_EQ(std::string(data, 5), "ABCDE");
  EXPECT_EQ(info.wInfo1, 2);
  EXPECT_EQ(info.wInfo2, 1);
  ASSERT_TRUE(f.GetTableInfo("DEEP.LOG", info));
  EXPECT_EQ(info.dwInfo3, 0x11223344u);
  EXPECT_EQ(Walk(f, 5), "Deep.Log");
  ASSERT_TRUE(f.SeekToTableData("deep.log", nullptr));
  EXPECT_EQ(f.Read(data, 1), 0u);  // Deep.Log's data: none, at the end of the file
}

TEST_F(SecFileTest, NamesMatchByTheirPaddedFormOnly) {
  const std::string path = Path("names.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  const char* names[] = {"ABC", "A", "ABCDEFG", "ABCDEFGH", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOPQRST", ""};
  for (int i = 0; i < 7; ++i) {
    SsecTableInfo info{};
    info.nType = i + 1;
    ASSERT_TRUE(f.AddTableInfo(names[i], info));
  }
  SsecTableInfo info{};
  EXPECT_FALSE(f.GetTableInfo("AB", info));  // padding: a shorter name is not a prefix match
  EXPECT_FALSE(f.GetTableInfo("ABCD", info));
  ASSERT_TRUE(f.GetTableInfo("abc", info));
  EXPECT_EQ(info.nType, 1);
  ASSERT_TRUE(f.GetTableInfo("abcdefghijklmnopXYZ", info));  // cut to 16 like the stored name
  EXPECT_EQ(info.nType, 6);
  ASSERT_TRUE(f.GetTableInfo("", info));
  EXPECT_EQ(info.nType, 7);
  EXPECT_EQ(Walk(f, 0), "ABC,A,ABCDEFG,ABCDEFGH,ABCDEFGHIJKLMNO,ABCDEFGHIJKLMNOP,");
  EXPECT_EQ(Walk(f, 4), "ABCDEFGH");
  EXPECT_EQ(Walk(f, 99), "");

  // A record as the file holds it names its own entry again, whatever the
  // length of the name; copied into another file it is stored byte for byte.
  CSecFile copy;
  ASSERT_TRUE(copy.Open(Path("copy.sec").c_str(), secOpenCreate));
  for (POSITION pos = f.GetFirstTableInfoPos(0); pos;) {
    ASSERT_TRUE(f.GetNextTableInfo(pos, info, 0));
    const SsecTableInfo walked = info;
    SsecTableInfo found = info;
    ASSERT_TRUE(f.GetTableInfo(nullptr, found)) << Trim(walked);
    EXPECT_EQ(found.nType, walked.nType);
    ASSERT_TRUE(copy.AddTableInfo(nullptr, info));
    EXPECT_EQ(std::memcmp(info.szName, walked.szName, 16), 0) << Trim(walked);
  }
  SsecTableInfo raw{};
  std::strcpy(raw.szName, "abcdefgh");  // a plain name in the record works as well
  ASSERT_TRUE(copy.SeekToTableData(nullptr, &raw));
  EXPECT_EQ(raw.nType, 4);
  std::memcpy(raw.szName, "ABCDEFGHIJKLMNOPQRST", 16);  // 16 bytes, no terminator
  ASSERT_TRUE(copy.GetTableInfo(nullptr, raw));
  EXPECT_EQ(raw.nType, 6);
}

// A random sequence of additions, updates, lookups, walks and reopenings
// against a plain list of (name, fields, data) kept by the test.
TEST_F(SecFileTest, RandomOperationsAgreeWithAListModel) {
  struct Table {
    std::string name;  // as added; names here have no trailing blanks
    LONG type;
    DWORD info3;
    std::string data;
  };
  auto key = [](const std::string& name) {
    std::string k = name.substr(0, 16);
    for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
  };
  std::mt19937 rng(1234);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string alphabet = "aBcDeF_.09xYz";
  auto randomName = [&] {
    std::string s;
    for (int n = pick(19); n > 0; --n)
      s += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
    return s.empty() ? std::string("e") : s;
  };
  std::vector<Table> model;
  auto find = [&](const std::string& name) -> Table* {
    for (Table& t : model)
      if (key(t.name) == key(name)) return &t;
    return nullptr;
  };
  const std::string path = Path("random.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  for (int step = 0; step < 600; ++step) {
    const int op = pick(10);
    std::string name = model.empty() || pick(3) == 0
                           ? randomName()
                           : model[static_cast<size_t>(pick(static_cast<int>(model.size())))].name;
    if (pick(2))
      std::transform(name.begin(), name.end(), name.begin(),
                     [](char c) { return static_cast<char>(std::toupper(c)); });
    SsecTableInfo info{};
    if (op < 4) {  // add, then write the table's bytes
      info.nType = pick(4);
      info.dwInfo3 = static_cast<DWORD>(rng());
      ASSERT_EQ(f.AddTableInfo(name.c_str(), info), model.size() < kSecMaxTables);
      std::string data(static_cast<size_t>(pick(40)), static_cast<char>('a' + pick(26)));
      f.Write(data.data(), static_cast<UINT>(data.size()));
      model.push_back({name, info.nType, info.dwInfo3, data});
    } else if (op < 6) {  // lookup and read the whole table
      Table* t = find(name);
      ASSERT_EQ(f.SeekToTableData(name.c_str(), &info), t != nullptr) << name;
      if (!t) continue;
      EXPECT_EQ(info.nType, t->type);
      EXPECT_EQ(info.dwInfo3, t->info3);
      std::string data(t->data.size(), '\0');
      EXPECT_EQ(f.Read(&data[0], static_cast<UINT>(data.size())), data.size());
      EXPECT_EQ(data, t->data);
      f.SeekToEnd();
    } else if (op < 7) {  // change an entry's fields in place
      Table* t = find(name);
      ASSERT_EQ(f.GetTableInfo(name.c_str(), info), t != nullptr);
      if (!t) continue;
      info.nType = t->type = pick(4);
      info.dwInfo3 = t->info3 = static_cast<DWORD>(rng());
      ASSERT_TRUE(f.SetTableInfo(name.c_str(), info));
    } else if (op < 9) {  // walk with a type filter
      const int type = pick(4);
      std::string expect;
      for (const Table& t : model)
        if (type < 1 || t.type == type) expect += (expect.empty() ? "" : ",") + t.name.substr(0, 16);
      ASSERT_EQ(Walk(f, type), expect) << step;
    } else {  // close and reopen in place
      f.Close();
      ASSERT_TRUE(f.Open(path.c_str(), secOpenReadWrite));
      f.SeekToEnd();
    }
  }
  ASSERT_GT(model.size(), 64u);  // the second block was used
  EXPECT_EQ(f.GetTableCount(), static_cast<int>(model.size()));
}

TEST_F(SecFileTest, DirectoryHoldsAtMost832Entries) {
  const std::string path = Path("full.sec");
  CSecFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
  for (int i = 0; i < kSecMaxTables; ++i) ASSERT_TRUE(f.AddTableInfo(std::to_string(i).c_str(), 0, 0)) << i;
  EXPECT_FALSE(f.AddTableInfo("one more", 0, 0));
  SsecFileHead h;
  ASSERT_TRUE(f.GetFileHead(&h));
  EXPECT_EQ(h.wTableCount, kSecMaxTables);
  for (int b = 0; b < 13; ++b) EXPECT_EQ(h.dwDirBlock[b], 64u + b * 2048u) << b;  // no data between blocks
  f.Close();
  EXPECT_EQ(Slurp(path).size(), 64u + 13 * 2048u);
  ASSERT_TRUE(f.Open(path.c_str(), secOpenReadWrite));
  EXPECT_FALSE(f.AddTableInfo("one more", 0, 0));
  SsecTableInfo info;
  ASSERT_TRUE(f.GetTableInfo("831", info));
  EXPECT_EQ(info.dwDataPos, 64u + 13 * 2048u);
  int walked = 0;
  for (POSITION pos = f.GetFirstTableInfoPos(0); pos;) walked += f.GetNextTableInfo(pos, info, 0);
  EXPECT_EQ(walked, kSecMaxTables);
}

TEST_F(SecFileTest, HeadersOfDerivedFilesAndRefusedWrites) {
  // A derived file: its own magic and a 72-byte header with a field of its own.
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
  {
    CWideFile f;
    ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
    ASSERT_TRUE(f.AddTableInfo("t", 0, 0));
    SWideHead h{};
    h.base.dwVersion = 7;
    h.base.wTableCount = 99, h.base.dwDirBlock[0] = 5;  // ignored: the file's own stay
    h.extra[0] = 0xA1B2C3D4, h.extra[1] = 0x01020304;
    f.Write("xy", 2);
    ASSERT_TRUE(f.SetFileHead(&h.base));
    EXPECT_EQ(f.GetPosition(), 72u + 2048u + 2u);  // the position is kept
  }
  const Bytes file = Slurp(path);
  Bytes head = {'W', 'I', 'D', '1', 7, 0, 0, 0, 72, 0, 1, 0, 72, 0, 0, 0};
  head.resize(64);
  for (BYTE b : {0xD4, 0xC3, 0xB2, 0xA1, 0x04, 0x03, 0x02, 0x01}) head.push_back(b);
  EXPECT_EQ(Slice(file, 0, 72), head);

  CSecFile plain;
  EXPECT_FALSE(plain.Open(path.c_str(), secOpenRead));  // another magic
  CWideFile f;
  ASSERT_TRUE(f.Open(path.c_str(), secOpenRead));
  SWideHead back{};
  ASSERT_TRUE(f.GetFileHead(&back.base));
  EXPECT_EQ(back.extra[1], 0x01020304u);
  SsecTableInfo info;
  ASSERT_TRUE(f.GetTableInfo("T", info));
  EXPECT_FALSE(f.AddTableInfo("u", 0, 0));  // read only: nothing is written
  EXPECT_FALSE(f.SetTableInfo("t", info));
  EXPECT_FALSE(f.SetFileHead(&back.base));
  f.Close();
  EXPECT_EQ(Slurp(path), file);
  EXPECT_FALSE(f.GetFileHead(&back.base));
  EXPECT_FALSE(f.GetFirstTableInfoPos(0));
  EXPECT_FALSE(f.SeekToTableData("t", nullptr));
  EXPECT_FALSE(f.Open(Path("missing.sec").c_str(), secOpenReadWrite));
  // Through a CFile*, with the framework's flags and the cause of a failure.
  CFile* asFile = &plain;
  CFileException error;
  EXPECT_FALSE(asFile->Open(path.c_str(), CFile::modeRead, &error));
  EXPECT_EQ(error.m_cause, CFileException::invalidFile);
  EXPECT_FALSE(asFile->Open(Path("missing.sec").c_str(), CFile::modeReadWrite, &error));
  EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
  ASSERT_TRUE(asFile->Open(Path("framework.sec").c_str(), CFile::modeCreate | CFile::modeReadWrite));
  EXPECT_TRUE(plain.AddTableInfo("t", 0, 0));
  asFile->Close();
  EXPECT_EQ(Slurp(Path("framework.sec")).size(), 64u + 2048u);

  // Offsets are 32-bit: nothing is added where they would not fit (the file
  // is sparse, so this costs no disk space).
  CSecFile big;
  ASSERT_TRUE(big.Open(path.c_str(), secOpenCreate));
  big.SetLength(0xFFFFF900u);
  EXPECT_FALSE(big.AddTableInfo("far", 0, 0));  // its block would pass 4 GB
  big.SetLength(0xFFFFFFFFu - 2048);
  ASSERT_TRUE(big.AddTableInfo("last", 0, 0));  // block and data offset just fit
  big.SetLength(0x100000000u);
  EXPECT_FALSE(big.AddTableInfo("next", 0, 0));  // its data offset would not
  EXPECT_EQ(big.GetTableCount(), 1);
  big.Abort();
  EXPECT_EQ(Slurp(path), file);
}

int g_countdown = 0;
bool FailNth(CFile::Op) {
  return --g_countdown == 0;
}

// A created file takes the old one's place only when it was written whole.
TEST_F(SecFileTest, CreatingNeverLosesTheOldFile) {
  const std::string path = Path("keep.sec");
  WriteGoldenFile(path);
  const Bytes old = Slurp(path);
  auto attempt = [&](int how) {
    try {
      CSecFile f;
      if (!f.Open(path.c_str(), secOpenCreate)) return;
      f.AddTableInfo("new", 0, 0);
      if (how == 0) {  // a write fails; the caller closes anyway
        g_countdown = 1;
        CFile::SetFaultHook(FailNth);
        try {
          f.Write("data", 4);
        } catch (CFileException* e) {
          e->Delete();
        }
        CFile::SetFaultHook(nullptr);
        f.Close();
      } else if (how == 1) {
        f.Abort();
      } else {
        throw std::runtime_error("the caller's own failure");  // unwinds past the file
      }
    } catch (const std::runtime_error&) {
    }
  };
  for (int how = 0; how < 3; ++how) {
    attempt(how);
    EXPECT_EQ(Slurp(path), old) << how;
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep.sec"}) << how;
  }
  {
    CSecFile f;
    ASSERT_TRUE(f.Open(path.c_str(), secOpenCreate));
    ASSERT_TRUE(f.AddTableInfo("new", 0, 0));
  }  // the destructor closes: the new file is in place
  EXPECT_EQ(Slurp(path).size(), 64u + 2048u);
}

TEST_F(SecFileTest, DamagedFilesGiveFalseNeverACrash) {
  const std::string golden = Path("golden.sec");
  WriteGoldenFile(golden);
  const Bytes good = Slurp(golden);
  const std::string path = Path("bad.sec");
  CSecFile f;
  SsecTableInfo info;

  // Cut short: no header, no file; a cut inside a block loses the entries
  // beyond the cut; a data offset past the end cannot be sought.
  Put(path, good);
  for (size_t length = good.size() + 1; length-- > 0;) {
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(length)), 0);
    const bool open = f.Open(path.c_str(), secOpenRead);
    ASSERT_EQ(open, length >= 64) << length;
    if (!open) continue;
    const int present = length < 64 + 32 ? 0 : std::min<int>(64, static_cast<int>(length - 64) / 32);
    int walked = 0;
    for (POSITION pos = f.GetFirstTableInfoPos(0); pos;) walked += f.GetNextTableInfo(pos, info, 0);
    ASSERT_EQ(walked, present + (length >= 2117 + 32)) << length;
    EXPECT_EQ(f.SeekToTableData("SURVEY_POINTS", nullptr), length >= 2112) << length;
    f.Close();
  }

  // Header fields pointing where they must not.
  struct Damage {
    size_t at;
    DWORD value;
    int width;
    int open;    // whether Open succeeds
    int walked;  // entries a walk finds
  } damages[] = {
      {0, 0x46434554, 4, 0, 0},                      // not "SECF"
      {10, 833, 2, 0, 0},                            // more entries than the header can place
      {10, 0xFFFF, 2, 0, 0},      {12, 0, 4, 1, 1},  // block 0 never written: entries 0 .. 63 missing
      {12, 10, 4, 1, 1},                             // block 0 inside the header
      {16, 4165, 4, 1, 64},                          // block 1 at the end of the file
      {16, 4150, 4, 1, 64},                          // block 1 leaves no room for its entry
      {16, 0xFFFFFFF0, 4, 1, 64}, {64 + 28, 99999, 4, 1, 65},  // entry 0's data past the end
  };
  for (const Damage& d : damages) {
    Bytes bytes = good;
    if (d.width == 2)
      Le16(bytes, d.at, d.value);
    else
      Le32(bytes, d.at, d.value);
    Put(path, bytes);
    ASSERT_EQ(f.Open(path.c_str(), secOpenReadWrite), d.open != 0) << d.at;
    if (!d.open) continue;
    int walked = 0;
    for (POSITION pos = f.GetFirstTableInfoPos(0); pos;) walked += f.GetNextTableInfo(pos, info, 0);
    EXPECT_EQ(walked, d.walked) << d.at;
    EXPECT_EQ(f.GetTableInfo("T63", info), d.walked != 1) << d.at;
    EXPECT_EQ(f.SeekToTableData("SURVEY_POINTS", nullptr), d.walked >= 64 && d.at != 64 + 28) << d.at;
    // Entry 65 goes into block 1: refused where block 1 is unusable.
    EXPECT_EQ(f.AddTableInfo("next", 0, 0), d.at != 16) << d.at;
    f.Close();
    if (d.at == 16) {
      EXPECT_EQ(Slurp(path), bytes) << "nothing written";
    }
  }

  // Every byte flipped: whatever opens can be walked and searched.
  std::mt19937 rng(99);
  for (size_t i = 0; i < good.size(); i += 1 + rng() % 7) {
    Bytes bytes = good;
    bytes[i] ^= static_cast<BYTE>(1 + rng() % 255);
    Put(path, bytes);
    if (!f.Open(path.c_str(), secOpenReadWrite)) continue;
    for (POSITION pos = f.GetFirstTableInfoPos(5); pos;)
      if (f.GetNextTableInfo(pos, info, 5)) f.SeekToTableData(nullptr, &info);
    f.AddTableInfo("next", 0, 0);
    f.Close();
  }
}

}  // namespace
