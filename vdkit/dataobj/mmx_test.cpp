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
  // "VDFc"; record strings "ClassName=" (n = 10) and "CMMX" (n = 6); version
  // 0x0100, named; name "ranges" (n = 6), type "MMX" (n = 6); no blob.
  const std::string head(
      "VDFc\x0A\x00"
      "ClassName=\x06\x00"
      "CMMX\0\0\x00\x01\x01\x00\x06\x00"
      "ranges\x06\x00"
      "MMX\0\0\0\0\0\0\0",
      48);
  Bytes b(head.begin(), head.end());
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(classLength >> (8 * i)));
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

  // Registered: a disk makes it by class name and carries it, long names too.
  CVDisk disk, again;
  auto* inDisk = static_cast<CMMX*>(disk.CreateFileA("r", "MMX", "CMMX"));
  inDisk->SetMMX(std::string(70000, 'w').c_str(), -1, 1, -1);  // the 32-bit length form
  ASSERT_TRUE(Load(Store(disk), again));
  EXPECT_EQ(Dump(*static_cast<CMMX*>(again.FindFile("r"))), Dump(*inDisk));
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

TEST(MMXTest, LookupsByNameAndSubKeyCreateOnFirstUse) {
  CMMX m;
  float lo = -7, hi = -7, *pLo, *pHi;
  EXPECT_FALSE(m.GetMMX("Depth", lo, hi, -1));  // nothing yet: outputs untouched
  EXPECT_EQ(lo, -7);
  m.SetMMX("Depth", 0, 100, 1);
  EXPECT_TRUE(m.GetMMX("DEPTH", lo, hi, 1) && lo == 0 && hi == 100 &&
              m.GetMMX("depth", lo, hi, -1));  // any key
  EXPECT_FALSE(m.GetMMX("depth", lo, hi, 2));
  m.SetMMX("Depth", 5, 5, 2);                  // a second entry of that name
  EXPECT_FALSE(m.GetMMX("Depth", lo, hi, 2));  // equal values: false, outputs filled
  EXPECT_EQ(lo, 5);
  EXPECT_FALSE(m.GetMMX("GR", pLo, pHi, -1));  // created with the null marker, stored with -1
  EXPECT_TRUE(pLo == &m.GetItem("gr", -1, false)->fMin && !m.GetItem("gr", 7, false));
  EXPECT_FALSE(m.IsAutoMMX("never seen", 0));  // although a new entry would start with true
  bool *pAuto, *pLog;
  m.GetProps("Rho", &pAuto, &pLog, 3);  // created with range 0.0
  EXPECT_TRUE(*pAuto && !*pLog);
  *pLog = true;
  m.SetAuto("RHO", 0, -1);
  DWORD l1;
  WORD l2;
  int l3;
  m.GetLine("Vp", 0, l1, l2, l3);
  EXPECT_TRUE(l1 == 0 && l2 == 0xFFFF && l3 == 0);
  m.SetLine("vp", 0, 9, 8, 70000);  // kept to 16 bits
  m.Reset("depth");                 // both Depth entries, flags kept
  EXPECT_EQ(
      Dump(m),
      "5:Depth 0 0 1 10 0 65535 0\n5:Depth 0 0 2 10 0 65535 0\n2:GR 9.999e-30 9.999e-30 -1 10 0 65535 0\n"
      "3:Rho 0 0 3 01 0 65535 0\n2:Vp 0 0 0 10 9 8 4464\n");
  EXPECT_TRUE(!m.IsAutoMMX("rho", 3) && m.IsLog10Scale("rho", 3));
  m.Reset();
  EXPECT_EQ(m.GetItemCount(), 0);
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
  const std::string path = dir + "/ranges.txt", nowhere = dir + "/no/dir/r.txt";
  CTextMMX text, back;
  text.SetMMX("Depth", 0, 3000, 0);
  EXPECT_FALSE(text.Read(path.c_str()));  // missing: emptied, the message names the path
  EXPECT_EQ(text.GetItemCount(), 0);
  EXPECT_EQ(std::string(GetLastErrorMsg()), "Error: Open file '" + path + "'");
  EXPECT_FALSE(text.Write(nowhere.c_str()));
  EXPECT_EQ(std::string(GetLastErrorMsg()), "Error: Open file '" + nowhere + "'");

  std::ofstream(path) << "old 1 2\n";
  text.SetMMX("Depth", 0, 3000, 0);
  text.refuse = true;  // the hook fails, as CMMX's own always does: the old file stays
  EXPECT_FALSE(text.Write(path.c_str()));
  ASSERT_TRUE(back.Read(path.c_str()));
  EXPECT_EQ(Dump(back), "3:old 1 2 0 10 0 65535 0\n");
  text.refuse = false;
  ASSERT_TRUE(text.Write(path.c_str()));
  ASSERT_TRUE(back.Read(path.c_str()));
  EXPECT_EQ(Dump(back), Dump(text));
  ::unlink(path.c_str());
  EXPECT_EQ(::rmdir(dir.c_str()), 0);  // no temporary file left behind
}

}  // namespace
