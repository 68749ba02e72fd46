// The binary archive of a tree over files whose operations fail one at a
// time: every save and load reports the failure, a failed save keeps the old
// file and the tree, and a failed load leaves a whole tree behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vdkit/platform/fault_test_util.h"
#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

// Class data of its own: a count, then that many strings.
class CFaultList : public CVDFile {
  DECLARE_VDFILE(CFaultList)
  bool Serialize(CArchive& ar) override {
    if (ar.IsStoring()) {
      ar.WriteCount(m_items.size());
      for (const CString& s : m_items) ar << s;
      return true;
    }
    m_items.clear();
    for (DWORD_PTR n = ar.ReadCount(); n > 0; --n) {
      CString s;
      ar >> s;
      m_items.push_back(s);
    }
    return true;
  }
  std::vector<CString> m_items;
};
IMPLEMENT_VDFILE(CFaultList, CVDFile)

// Enough objects, blobs and class data that a 64-byte archive buffer goes to
// the file dozens of times.
void BuildTree(CVDisk& disk) {
  for (int i = 0; i < 4; ++i) {
    CVDFile* folder = disk.CreateFileA(("folder" + std::to_string(i)).c_str(), "F", nullptr);
    CFile* blob = folder->Open(CVDFile::openWrite);
    const std::string bytes(40 + 10 * i, static_cast<char>('a' + i));
    blob->Write(bytes.data(), static_cast<UINT>(bytes.size()));
    folder->Close(blob);
    auto* list = static_cast<CFaultList*>(folder->CreateFileA("list", "L", "CFaultList"));
    for (int k = 0; k <= i; ++k)
      list->m_items.push_back(CString(std::string(20, static_cast<char>('0' + k)).c_str()));
    folder->CreateFileA(nullptr, "", nullptr)->CreateFileA("deep", "D", nullptr);
  }
}

// Everything the archive keeps of a tree, and a check that every object is
// tied to its parent.
std::string Describe(CVDFile& f) {
  std::string out = std::string(f.GetClassNameA()) + "|" + f.GetName() + "|" + f.GetFileType() + "|" +
                    std::to_string(f.GetDataSize());
  if (auto* list = dynamic_cast<CFaultList*>(&f))
    for (const CString& s : list->m_items) out += "|" + std::string(s);
  out += "(";
  for (int i = 0; i < f.GetFileCount(); ++i) {
    EXPECT_EQ(f.GetFileAt(i)->GetParent(), &f);
    out += Describe(*f.GetFileAt(i));
  }
  return out + ")";
}

std::string Stored(CVDFile& f) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  ar << f;
  ar.Close();
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

struct QuietBoxes {
  QuietBoxes() : previous(SetMessageBoxHandler([](const char*, UINT) { return IDOK; })) {}
  ~QuietBoxes() { SetMessageBoxHandler(previous); }
  MessageBoxHandler previous;
};

TEST(BinaryArchiveFaultsTest, SaveFailedAnywhereKeepsTheOldFileAndTheTree) {
  CVDisk disk;
  BuildTree(disk);
  const std::string tree = Describe(disk);
  vdtest::ScratchDir dir;
  vdtest::ExpectSavesKeepTheOldFile(
      dir, "tree.vdf", "VDFc old", Stored(disk),
      [&](CFile& file) {
        CArchive ar(&file, CArchive::store, 64);
        const bool ok = ar << disk;
        ar.Close();
        return ok;
      },
      [&](const vdtest::FaultRun&) { EXPECT_EQ(Describe(disk), tree); });
}

TEST(BinaryArchiveFaultsTest, LoadFailedAnywhereReportsAndLeavesAWholeTree) {
  QuietBoxes quiet;
  CVDisk source;
  BuildTree(source);
  const std::string bytes = Stored(source);
  vdtest::ScratchDir dir;
  const std::string path = dir.Path("tree.vdf");
  vdtest::WriteAll(path, bytes);
  // Into an empty disk, and into one whose children are found by name.
  for (bool filled : {false, true}) {
    SCOPED_TRACE(filled ? "filled" : "empty");
    CVDisk disk;
    vdtest::ForEachFaultOfEveryKind(
        [&] {
          disk.DeleteAllFiles();
          if (filled) disk.CreateFileA("folder1", "old", "CFaultList")->CreateFileA("kept", "", nullptr);
          CFile file(path.c_str(), CFile::modeRead);
          CArchive ar(&file, CArchive::load, 64);
          const bool ok = ar >> disk;
          ar.Close();  // gives back the read-ahead: a seek
          return ok;
        },
        [&](const vdtest::FaultRun& run) {
          SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
          EXPECT_TRUE(run.Reported());
          const std::string got = Describe(disk);
          if (!run.fired && !filled) {
            EXPECT_EQ(got, Describe(source));
          }
          // What was read is a tree that stores and loads again as it is.
          CVDisk again;
          const std::string stored = Stored(disk);
          CMemFile mem(reinterpret_cast<BYTE*>(const_cast<char*>(stored.data())),
                       static_cast<UINT>(stored.size()));
          CArchive ar(&mem, CArchive::load);
          EXPECT_TRUE(ar >> again);
          EXPECT_EQ(Describe(again), got);
        });
  }
}

}  // namespace
