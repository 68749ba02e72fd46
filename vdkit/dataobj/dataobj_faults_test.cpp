// Key profiles, min/max registers and row/column tables over files whose
// operations fail one at a time: every save and load reports the failure, a
// failed save keeps the old file and the objects, a failed profile load
// changes nothing, and a register keeps only whole entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "vdkit/dataobj/key_profile.h"
#include "vdkit/dataobj/mmx.h"
#include "vdkit/dataobj/rc_data.h"
#include "vdkit/platform/fault_test_util.h"
#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

// ---- Key profile --------------------------------------------------------------------------------
void FillProfile(CKeyProfile& p) {
  const char* const sections[] = {"Grid", "Well <names>", "Mask"};
  for (int i = 0; i < 24; ++i) {
    const char* section = sections[i % 3];
    const std::string key = "k" + std::to_string(i);
    const std::string bytes(static_cast<size_t>(i), static_cast<char>(i * 37));
    switch (i % 4) {
      case 0:
        p.SetKeyInt(section, key.c_str(), -7 * i);
        break;
      case 1:
        p.SetKeyFloat(section, key.c_str(), static_cast<float>(i) / 3);
        break;
      case 2:
        p.SetKeyString(section, key.c_str(), ("a & 'b' " + key).c_str());
        break;
      default:
        p.SetKeyBin(section, key.c_str(), bytes.data(), static_cast<UINT>(bytes.size()));
    }
  }
}

// Every entry, in name order: the walk's own order depends on the history.
std::string Entries(const CKeyProfile& p) {
  std::set<std::string> lines;
  for (POSITION pos = p.GetStartPos(); pos;) {
    CString section, key;
    int type = 0, size = 0;
    void* data = nullptr;
    p.GetNext(pos, section, key, type, size, data);
    lines.insert(section.str() + "|" + key.str() + "|" + std::to_string(type) + "|" +
                 std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// A profile with entries of its own, one of them also in the file.
CKeyProfile Seeded() {
  CKeyProfile p;
  p.SetKeyInt("Grid", "k0", 99);
  p.SetKeyString("Other", "kept", "yes");
  return p;
}

TEST(KeyProfileFaultsTest, StoreAndLoadByPathFailedAnywhere) {
  CKeyProfile profile;
  FillProfile(profile);
  const std::string entries = Entries(profile);
  const std::string text = vdtest::MemBytes([&](CFile& f) { profile.Store(&f); });
  vdtest::ScratchDir dir;
  vdtest::ExpectSavesByNameKeepTheOldFile(
      dir, "settings.xml", "<?xml version='1.0'?>\n<DataSet>\n</DataSet>\n", text,
      [&](const char* path) { return profile.Store(path); },
      [&](const vdtest::FaultRun&) { EXPECT_EQ(Entries(profile), entries); });

  const std::string path = dir.Path("settings.xml");
  vdtest::WriteAll(path, text);
  CKeyProfile loaded = Seeded();
  const std::string before = Entries(loaded);
  ASSERT_TRUE(loaded.Load(path.c_str()));
  const std::string after = Entries(loaded);
  const int ops = vdtest::ForEachFaultOfEveryKind(
      [&] {
        loaded = Seeded();
        return loaded.Load(path.c_str());
      },
      [&](const vdtest::FaultRun& run) {
        EXPECT_TRUE(run.Reported()) << vdtest::FaultOpName(run.op) << " " << run.n;
        EXPECT_EQ(Entries(loaded), run.fired ? before : after);
      });
  EXPECT_GT(ops, 0);
  EXPECT_FALSE(loaded.Load(dir.Path("missing.xml").c_str()));
  EXPECT_EQ(Entries(loaded), after);
  EXPECT_FALSE(profile.Store(dir.Path("no/dir/settings.xml").c_str()));
}

TEST(KeyProfileFaultsTest, StoreAndLoadOnAFileFailedAnywhere) {
  CKeyProfile profile;
  FillProfile(profile);
  vdtest::ExpectFormSurvivesFaults<CKeyProfile>("settings.xml", profile,
                                                {[](CKeyProfile& p, CFile& f) { return p.Load(&f); },
                                                 [](CKeyProfile& p, CFile& f) { p.Store(&f); }, Entries,
                                                 [](CKeyProfile& p, const vdtest::FaultRun& run) {
                                                   if (run.fired) {
                                                     EXPECT_EQ(p.GetCount(), 0);  // unchanged
                                                   }
                                                 }});
}

// ---- Min/max register and row/column tables in the binary archive -------------------------------
std::string Dump(CMMX& m) {
  std::string out;
  for (int i = 0; i < m.GetItemCount(); ++i) {
    const CMMX::SItem* it = m.GetItemAt(i);
    out += it->strName.str() + " " + std::to_string(it->fMin) + " " + std::to_string(it->fMax) + " " +
           std::to_string(it->nKey) + " " + std::to_string(it->bAuto) + std::to_string(it->bLog10) + " " +
           std::to_string(it->dwLine1) + " " + std::to_string(it->wLine2) + " " + std::to_string(it->wLine3) +
           "\n";
  }
  return out;
}

void FillRegister(CMMX& m, int count) {
  for (int i = 0; i < count; ++i) {
    // One name past 255 characters takes the longer length form.
    const std::string name = i == 5 ? std::string(300, 'n') : "curve " + std::to_string(i);
    m.SetMMX(name.c_str(), -1.5f * static_cast<float>(i), 100.25f * static_cast<float>(i),
             static_cast<SHORT>(i % 3));
    m.SetLine(name.c_str(), static_cast<SHORT>(i % 3), 0x10203u * static_cast<DWORD>(i), static_cast<WORD>(i),
              -i);
    m.SetAuto(name.c_str(), i % 2, static_cast<SHORT>(i % 3));
  }
}

void BuildTree(CVDisk& disk) {
  FillRegister(*static_cast<CMMX*>(disk.CreateFileA("ranges", "MMX", "CMMX")), 30);
  auto* table = static_cast<CRCData*>(disk.CreateFileA("logs", "RC", "CRCData"));
  table->AddColName("Depth");
  table->NewRow(true);
  CVDFile* folder = disk.CreateFileA("folder", "F", nullptr);
  FillRegister(*static_cast<CMMX*>(folder->CreateFileA("more ranges", "MMX", "CMMX")), 4);
}

// The tree with every register's entries (a table's rows are not archived).
std::string Describe(CVDFile& f) {
  std::string out = std::string(f.GetClassNameA()) + "|" + f.GetName() + "|" + f.GetFileType() + "\n";
  if (auto* m = dynamic_cast<CMMX*>(&f)) out += Dump(*m);
  for (int i = 0; i < f.GetFileCount(); ++i) out += Describe(*f.GetFileAt(i));
  return out;
}

void EachRegister(CVDFile& f, const std::function<void(CMMX&)>& visit) {
  if (auto* m = dynamic_cast<CMMX*>(&f)) visit(*m);
  for (int i = 0; i < f.GetFileCount(); ++i) EachRegister(*f.GetFileAt(i), visit);
}

TEST(MMXFaultsTest, RegistersAndTablesInTheBinaryArchive) {
  struct Quiet {  // the archive reader's warning box
    Quiet() : previous(SetMessageBoxHandler([](const char*, UINT) { return IDOK; })) {}
    ~Quiet() { SetMessageBoxHandler(previous); }
    MessageBoxHandler previous;
  } quiet;
  CVDisk disk;
  BuildTree(disk);
  std::set<std::string> registers;
  EachRegister(disk, [&](CMMX& m) { registers.insert(Dump(m)); });
  vdtest::ExpectFormSurvivesFaults<CVDisk>(
      "survey.vdf", disk,
      {[](CVDisk& d, CFile& f) {
         CArchive ar(&f, CArchive::load, 64);
         const bool ok = ar >> d;
         ar.Close();
         return ok;
       },
       [](CVDisk& d, CFile& f) {
         CArchive ar(&f, CArchive::store, 64);
         ar << d;
         ar.Close();
       },
       Describe,
       [&](CVDisk& d, const vdtest::FaultRun&) {
         // A register's class data are read whole before it reads them.
         EachRegister(d, [&](CMMX& m) { EXPECT_TRUE(m.GetItemCount() == 0 || registers.count(Dump(m))); });
       }});
}

// ---- Min/max register text files ---------------------------------------------------------------
// A text form, one "name min max key" line per entry. The hook fails its
// lines as it would fail the calls of a CFile.
class CLineMMX : public CMMX {
 public:
  using CMMX::Read;
  using CMMX::Write;
  bool Write(FILE* fp) override {
    for (int i = 0; i < GetItemCount(); ++i) {
      const SItem* it = GetItemAt(i);
      if (vdtest::HookFails(CFile::Op::Write) ||
          std::fprintf(fp, "%s %.9g %.9g %d\n", it->strName.GetString(), it->fMin, it->fMax, it->nKey) < 0)
        return false;
    }
    return !std::ferror(fp);
  }
  bool Read(FILE* fp) override {
    char line[128], name[64];
    float lo, hi;
    int key;
    while (!vdtest::HookFails(CFile::Op::Read) && std::fgets(line, sizeof line, fp)) {
      const size_t n = std::strlen(line);
      if (n == 0 || line[n - 1] != '\n' || std::sscanf(line, "%63s %f %f %d", name, &lo, &hi, &key) != 4)
        return false;
      SetMMX(name, lo, hi, static_cast<SHORT>(key));
    }
    return std::feof(fp) && !std::ferror(fp);
  }
};

TEST(MMXFaultsTest, TextFormByPathAndOnStreams) {
  CLineMMX mmx, back;
  for (int i = 0; i < 8; ++i) mmx.SetMMX(("curve" + std::to_string(i)).c_str(), 0.5f * i, 10.0f + i, i % 2);
  std::string text;
  const int writes = vdtest::ForEachStreamFault(
      CFile::Op::Write, "", [&](FILE* fp) { return mmx.Write(fp); },
      [&](const vdtest::FaultRun& run, const vdtest::FaultyStream& stream) {
        EXPECT_TRUE(run.Reported()) << run.n;
        if (!run.fired) text = stream.Text();
      });
  EXPECT_GT(writes, 0);
  // What a read keeps is the first entries written, whole.
  const auto firstEntries = [&](const vdtest::FaultRun& run) {
    EXPECT_TRUE(run.Reported()) << run.n;
    const std::string have = Dump(back), want = Dump(mmx);
    EXPECT_EQ(want.compare(0, have.size(), have), 0) << have;
    EXPECT_TRUE(run.fired || have == want);
  };
  const int reads = vdtest::ForEachStreamFault(
      CFile::Op::Read, text,
      [&](FILE* fp) {
        back.Reset();
        return back.Read(fp);
      },
      [&](const vdtest::FaultRun& run, const vdtest::FaultyStream&) { firstEntries(run); });
  EXPECT_GT(reads, 0);

  vdtest::ScratchDir dir;
  vdtest::ExpectSavesByNameKeepTheOldFile(dir, "ranges.txt", "old 1 2 0\n", text,
                                          [&](const char* path) { return mmx.Write(path); });
  const std::string path = dir.Path("ranges.txt");
  vdtest::WriteAll(path, text);
  EXPECT_GT(vdtest::ForEachFault(
                CFile::Op::Read, [&] { return back.Read(path.c_str()); }, firstEntries),
            0);
}

}  // namespace
