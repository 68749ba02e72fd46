#include "vdkit/dataobj/mmx.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/core/text.h"
#include "vdkit/platform/resources.h"
#include "vdkit/vdb/field_value.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

using Bytes = std::vector<BYTE>;
constexpr float kNull = VDB_NULL_FLOAT;

Bytes Store(CVDFile& f) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  EXPECT_TRUE(ar << f);
  ar.Close();
  return Bytes(mem.GetData(), mem.GetData() + mem.GetLength());
}

bool Load(const Bytes& bytes, CVDFile& into) {
  CMemFile mem(bytes.empty() ? nullptr : const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  CArchive ar(&mem, CArchive::load);
  return ar >> into;
}

// Every entry field by field, one line per entry.
std::string Dump(CMMX& m) {
  std::ostringstream out;
  for (int i = 0; i < m.GetItemCount(); ++i) {
    const CMMX::SItem* it = m.GetItemAt(i);
    out << it->strName.GetLength() << ":" << it->strName.Left(12).GetString() << " " << it->fMin << " "
        << it->fMax << " " << it->nKey << " " << it->bAuto << it->bLog10 << " " << it->dwLine1 << " "
        << it->wLine2 << " " << it->wLine3 << "\n";
  }
  return out.str();
}

struct QuietBoxes {
  QuietBoxes() {
    previous = SetMessageBoxHandler([this](const char*, UINT) { return ++count, IDOK; });
  }
  ~QuietBoxes() { SetMessageBoxHandler(previous); }
  MessageBoxHandler previous;
  int count = 0;
};

// A register named "ranges" of type "MMX": Depth (0..100, sub-key 1) and an
// entry with a 300-character name holding line settings and the log flag.
void BuildGoldenRegister(CMMX& m) {
  m.SetName("ranges");
  m.SetFileType("MMX");
  m.SetMMX("Depth", 0, 100, 1);
  const std::string longName(300, 'n');
  m.SetLine(longName.c_str(), 7, 0x12345678, 0xFFFE, -2);
  bool* log10 = nullptr;
  m.GetProps(longName.c_str(), nullptr, &log10, 7);
  *log10 = true;
}

// The stream, worked out from the record layout of the binary archive and
// the register's own class data.
Bytes GoldenStream(int classLength = 353) {
  Bytes b = {'V',
             'D',
             'F',
             'c',
             0x0A,
             0x00,
             'C',
             'l',
             'a',
             's',
             's',
             'N',
             'a',
             'm',
             'e',
             '=',  // key
             0x06,
             0x00,
             'C',
             'M',
             'M',
             'X',
             0x00,
             0x00,  // class name, n = 6
             0x00,
             0x01,
             0x01,
             0x00,  // version 0x0100, named
             0x06,
             0x00,
             'r',
             'a',
             'n',
             'g',
             'e',
             's',  // name, n = 6
             0x06,
             0x00,
             'M',
             'M',
             'X',
             0x00,
             0x00,
             0x00,  // type, n = 6
             0x00,
             0x00,
             0x00,
             0x00,  // no blob
             static_cast<BYTE>(classLength),
             static_cast<BYTE>(classLength >> 8),
             0x00,
             0x00};
  const Bytes classData0 = {
      0x02, 0x00, 0x00, 0x00,              // two entries
      0x05, 'D',  'e',  'p',  't',  'h',   // name: 1-byte length
      0x00, 0x00, 0xC8, 0x42,              // fMax 100.0f
      0x00, 0x00, 0x00, 0x00,              // fMin 0.0f
      0x01, 0x00, 0x01, 0x00,              // nKey 1, bAuto, not log10
      0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,  // dwLine1 0, wLine2 0xFFFF
      0x00, 0x00,                          // wLine3 0
      0xFF, 0x2C, 0x01,                    // 300 = 0x12C: FF and a WORD
  };
  Bytes classData = classData0;
  classData.insert(classData.end(), 300, 'n');
  const Bytes tail = {0,    0,    0,    0,    0, 0, 0, 0,  // range 0.0 (made by SetLine)
                      0x07, 0x00, 0x01, 0x01,              // nKey 7, bAuto, log10
                      0x78, 0x56, 0x34, 0x12,              // dwLine1
                      0xFE, 0xFF, 0xFE, 0xFF};             // wLine2 0xFFFE, wLine3 -2
  classData.insert(classData.end(), tail.begin(), tail.end());
  EXPECT_EQ(classData.size(), 353u);
  b.insert(b.end(), classData.begin(), classData.begin() + classLength);
  for (int i = 0; i < 4; ++i) b.push_back(0);  // no children
  return b;
}

TEST(MMXTest, GoldenClassDataInsideTheObjectStream) {
  CMMX m;
  BuildGoldenRegister(m);
  const Bytes golden = GoldenStream();
  EXPECT_EQ(Store(m), golden);
  CMMX back;
  back.SetMMX("stale", 1, 2, 0);
  ASSERT_TRUE(Load(golden, back));
  EXPECT_STREQ(back.GetName(), "ranges");
  EXPECT_EQ(Dump(back), Dump(m));
  EXPECT_EQ(Dump(back), "5:Depth 0 100 1 10 0 65535 0\n300:nnnnnnnnnnnn 0 0 7 11 305419896 65534 -2\n");

  // Registered: a disk creates it by class name and carries it through.
  CVDisk disk;
  auto* inDisk = static_cast<CMMX*>(disk.CreateFileA("r", "MMX", "CMMX"));
  ASSERT_NE(inDisk, nullptr);
  inDisk->SetMMX(std::string(70000, 'w').c_str(), -1, 1, -1);  // the 32-bit length form
  inDisk->SetLine("", 0, 1, 2, 3);
  CVDisk again;
  ASSERT_TRUE(Load(Store(disk), again));
  auto* copy = static_cast<CMMX*>(again.FindFile("r"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Dump(*copy), Dump(*inDisk));
}

// The class data cut at every length: the register keeps every entry read
// whole, reports the cut as false, and is untouched while the count is
// missing. The stream around it is consistent, so only the register judges.
TEST(MMXTest, ClassDataCutAnywhereKeepsTheWholeEntries) {
  QuietBoxes boxes;
  for (int length = 0; length <= 353; ++length) {
    CMMX m;
    m.SetMMX("before", 1, 2, 0);
    const bool ok = Load(GoldenStream(length), m);
    EXPECT_EQ(ok, length == 353) << length;
    const int whole = length < 4 ? 1 : length < 30 ? 0 : length < 353 ? 1 : 2;
    ASSERT_EQ(m.GetItemCount(), whole) << length;
    if (whole == 1) {
      EXPECT_STREQ(m.GetItemAt(0)->strName, length < 4 ? "before" : "Depth") << length;
    }
  }
  EXPECT_EQ(boxes.count, 0);

  // Hostile counts and lengths: no allocation beyond the bytes present.
  const Bytes hostile[] = {
      {0xFF, 0xFF, 0xFF, 0xFF},                                            // 4 billion entries, none there
      {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF},  // a 4 GB name
      {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF},                          // a length cut short
  };
  for (const Bytes& data : hostile) {
    Bytes stream = GoldenStream(0);
    stream.resize(stream.size() - 8);  // drop the class data size and the child count
    const DWORD n = static_cast<DWORD>(data.size());
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<BYTE>(n >> (8 * i)));
    stream.insert(stream.end(), data.begin(), data.end());
    for (int i = 0; i < 4; ++i) stream.push_back(0);
    CMMX m;
    EXPECT_FALSE(Load(stream, m));
    EXPECT_EQ(m.GetItemCount(), 0);
  }

  // Every byte of the golden stream flipped: false or a register, never a crash.
  const Bytes golden = GoldenStream();
  std::mt19937 rng(5);
  for (size_t i = 0; i < golden.size(); ++i) {
    Bytes bytes = golden;
    bytes[i] ^= static_cast<BYTE>(1 + rng() % 255);
    CMMX m;
    Load(bytes, m);
    Dump(m);
  }
}

// Random lookups, creations and updates against a list model; the register
// also goes through the archive now and then and must come back the same.
TEST(MMXTest, RandomAccessorsAgreeWithAListModel) {
  struct Entry {
    std::string name;
    short key;
    float min, max;
    bool autoFlag = true, log10 = false;
    DWORD line1 = 0;
    WORD line2 = 0xFFFF;
    short line3 = 0;
  };
  std::vector<Entry> model;
  auto find = [&](const std::string& name, short key) -> Entry* {
    for (Entry& e : model)
      if ((key == -1 || e.key == key) && strcasecmp(e.name.c_str(), name.c_str()) == 0) return &e;
    return nullptr;
  };
  auto make = [&](const std::string& name, short key, float range) -> Entry* {
    model.push_back({name, key, range, range});
    return &model.back();
  };
  std::mt19937 rng(11);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* names[] = {"Depth", "depth", "GR", "\"a<b>&c\", d", ""};
  CMMX m;
  for (int step = 0; step < 2000; ++step) {
    const std::string name = names[pick(5)];
    const short key = static_cast<short>(pick(4) - 1);
    Entry* e = find(name, key);
    float lo = -7, hi = -7;
    switch (pick(9)) {
      case 0:
        EXPECT_EQ(m.GetMMX(name.c_str(), lo, hi, key), e && e->min != e->max);
        EXPECT_TRUE(!e || (lo == e->min && hi == e->max));
        break;
      case 1: {
        float *pLo, *pHi;
        EXPECT_EQ(m.GetMMX(name.c_str(), pLo, pHi, key), e && e->min != e->max);
        if (!e) e = make(name, key, kNull);
        *pLo = e->min = static_cast<float>(pick(9));
        break;
      }
      case 2:
        m.SetMMX(name.c_str(), 3, 4, key);
        if (!e) e = make(name, key, kNull);
        e->min = 3, e->max = 4;
        break;
      case 3: {
        bool* pAuto;
        m.GetProps(name.c_str(), &pAuto, nullptr, key);
        if (!e) e = make(name, key, 0);
        *pAuto = e->autoFlag = pick(2);
        break;
      }
      case 4: {
        const int flag = pick(3);
        m.SetAuto(name.c_str(), flag, key);
        if (e) e->autoFlag = flag != 0;
        EXPECT_EQ(m.IsAutoMMX(name.c_str(), key), e && e->autoFlag);
        EXPECT_EQ(m.IsLog10Scale(name.c_str(), key), e && e->log10);
        break;
      }
      case 5: {
        const DWORD line1 = static_cast<DWORD>(rng());
        const WORD line2 = static_cast<WORD>(pick(65536));
        const int line3 = pick(70000) - 35000;  // kept to 16 bits
        if (pick(2)) {
          m.SetLine(name.c_str(), key, line1, line2, line3);
          if (!e) e = make(name, key, 0);
          e->line1 = line1, e->line2 = line2, e->line3 = static_cast<short>(line3);
        }
        DWORD l1;
        WORD l2;
        int l3;
        m.GetLine(name.c_str(), key, l1, l2, l3);
        if (!e) e = make(name, key, 0);
        EXPECT_TRUE(l1 == e->line1 && l2 == e->line2 && l3 == e->line3);
        break;
      }
      case 6:
        m.Reset(name.c_str());
        for (Entry& x : model)
          if (strcasecmp(x.name.c_str(), name.c_str()) == 0) x.min = x.max = 0;
        break;
      case 7: {
        CMMX back;
        ASSERT_TRUE(Load(Store(m), back));
        ASSERT_EQ(Dump(back), Dump(m));
        break;
      }
      default:
        EXPECT_EQ(m.GetItem(name.c_str(), key, false),
                  e ? m.GetItemAt(static_cast<int>(e - model.data())) : nullptr);
        if (pick(30) == 0) m.Reset(), model.clear();
        break;
    }
    ASSERT_EQ(m.GetItemCount(), static_cast<int>(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      const CMMX::SItem* it = m.GetItemAt(static_cast<int>(i));
      const Entry& x = model[i];
      ASSERT_TRUE(it->strName == x.name.c_str() && it->nKey == x.key && it->fMin == x.min &&
                  it->fMax == x.max && it->bAuto == x.autoFlag && it->bLog10 == x.log10 &&
                  it->dwLine1 == x.line1 && it->wLine2 == x.line2 && it->wLine3 == x.line3)
          << step << " entry " << i;
    }
  }
}

// A subclass with a text form: one "name min max" line per entry.
class CTextMMX : public CMMX {
 public:
  using CMMX::Read;
  using CMMX::Write;
  bool Read(FILE* fp) override {
    char name[64];
    float lo, hi;
    while (std::fscanf(fp, "%63s %f %f", name, &lo, &hi) == 3) SetMMX(name, lo, hi, 0);
    return GetItemCount() > 0;
  }
  bool Write(FILE* fp) override {
    for (int i = 0; i < GetItemCount(); ++i)
      std::fprintf(fp, "%s %g %g\n", GetItemAt(i)->strName.GetString(), GetItemAt(i)->fMin,
                   GetItemAt(i)->fMax);
    return !refuse;
  }
  bool refuse = false;
};

TEST(MMXTest, TextFilesByNameNeverLoseTheOldFile) {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base ? base : "/tmp") + "/vdkit_mmx_XXXXXX";
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/ranges.txt";

  CMMX plain;
  plain.SetMMX("a", 1, 2, 0);
  EXPECT_FALSE(plain.Read(path.c_str()));  // missing: emptied, message names the path
  EXPECT_EQ(plain.GetItemCount(), 0);
  EXPECT_EQ(std::string(GetLastErrorMsg()), "Error: Open file '" + path + "'");
  std::ofstream(path) << "old 1 2\n";
  EXPECT_FALSE(plain.Write(path.c_str()));  // the hook answers false: the old file stays

  CTextMMX text;
  text.SetMMX("Depth", 0, 3000, 0);
  text.refuse = true;
  EXPECT_FALSE(text.Write(path.c_str()));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old 1 2\n");
  text.refuse = false;
  ASSERT_TRUE(text.Write(path.c_str()));
  CTextMMX back;
  ASSERT_TRUE(back.Read(path.c_str()));
  EXPECT_EQ(Dump(back), Dump(text));
  const std::string nowhere = dir + "/no/such/dir/r.txt";
  EXPECT_FALSE(text.Write(nowhere.c_str()));
  EXPECT_EQ(std::string(GetLastErrorMsg()), "Error: Open file '" + nowhere + "'");

  ::unlink(path.c_str());
  EXPECT_EQ(::rmdir(dir.c_str()), 0);  // no temporary file left behind
}

}  // namespace
