// XML documents over files whose operations fail one at a time: a failed
// save keeps the old file and the tree; a failed load or parse reports the
// failure and changes nothing, since the whole document is read first.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "vdkit/platform/fault_test_util.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_parser.h"

namespace {

// Data elements and an attribute of its own, so that a save writes many
// pieces.
class CFaultWell : public CVDFile {
  DECLARE_VDFILE(CFaultWell)
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar depth("depth", m_depth);
    CXmlVar label("label", m_label);
    ar == depth;
    ar == label;
    return true;
  }

 public:
  double m_depth = 0;
  CString m_label;
};
IMPLEMENT_VDFILE(CFaultWell, CVDFile)

void BuildTree(CVDisk& disk) {
  for (int i = 0; i < 3; ++i) {
    CVDFile* folder = disk.CreateFileA(("folder" + std::to_string(i)).c_str(), "F", nullptr);
    auto* well = static_cast<CFaultWell*>(folder->CreateFileA("well", "W", "CFaultWell"));
    well->m_depth = 100.25 * i;
    well->m_label = ("<well & " + std::to_string(i) + ">").c_str();
    folder->CreateFileA(nullptr, "", nullptr)->CreateFileA("deep", "", nullptr);
  }
}

std::string Describe(CVDFile& f) {
  std::string out = std::string(f.GetClassNameA()) + "|" + f.GetName() + "|" + f.GetFileType();
  if (auto* w = dynamic_cast<CFaultWell*>(&f))
    out += "|" + std::to_string(w->m_depth) + "|" + w->m_label.GetString();
  out += "(";
  for (int i = 0; i < f.GetFileCount(); ++i) out += Describe(*f.GetFileAt(i));
  return out + ")";
}

std::string Stored(CVDFile& f) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  ar << f;
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

TEST(XmlArchiveFaultsTest, SaveFailedAnywhereKeepsTheOldFileAndTheTree) {
  CVDisk disk;
  BuildTree(disk);
  const std::string tree = Describe(disk);
  vdtest::ScratchDir dir;
  vdtest::ExpectSavesKeepTheOldFile(
      dir, "tree.xml", "<?xml version='1.0'?>\n<old/>\n", Stored(disk),
      [&](CFile& file) {
        CXmlArchive ar(&file, CXmlArchive::store);
        return ar << disk;
      },
      [&](const vdtest::FaultRun&) { EXPECT_EQ(Describe(disk), tree); });
}

TEST(XmlArchiveFaultsTest, LoadAndParseFailedAnywhereChangeNothing) {
  CVDisk source;
  BuildTree(source);
  const std::string document = Stored(source);
  vdtest::ScratchDir dir;
  const std::string path = dir.Path("tree.xml");
  vdtest::WriteAll(path, document);

  CVDisk disk;
  disk.CreateFileA("folder1", "old", nullptr);
  const std::string before = Describe(disk);
  const int loadOps = vdtest::ForEachFaultOfEveryKind(
      [&] {
        CFile file(path.c_str(), CFile::modeRead);
        CXmlArchive ar(&file, CXmlArchive::load);
        return ar >> disk;
      },
      [&](const vdtest::FaultRun& run) {
        EXPECT_TRUE(run.Reported()) << vdtest::FaultOpName(run.op) << " " << run.n;
        if (run.fired) {
          EXPECT_EQ(Describe(disk), before);
        } else {
          CVDisk fresh;  // the reused folder keeps its class, so compare with a load into a fresh disk
          fresh.CreateFileA("folder1", "old", nullptr);
          CMemFile mem(reinterpret_cast<BYTE*>(const_cast<char*>(document.data())),
                       static_cast<UINT>(document.size()));
          CXmlArchive ar(&mem, CXmlArchive::load);
          ASSERT_TRUE(ar >> fresh);
          EXPECT_EQ(Describe(disk), Describe(fresh));
          disk.DeleteAllFiles();
          disk.CreateFileA("folder1", "old", nullptr);
        }
      });
  EXPECT_GT(loadOps, 0);

  // The parser by name: a failed read passes its exception on and leaves the
  // root empty; closing the file, once all of it was read, cannot fail the
  // parse.
  CXmlItem root(nullptr);
  CXmlParser parser;
  const std::function<int(const CXmlItem&)> nodes = [&](const CXmlItem& item) {
    int n = 1;
    for (int i = 0; i < item.GetCount(); ++i) n += nodes(*item.GetChild(i));
    return n;
  };
  ASSERT_TRUE(parser.ParseXml(path.c_str(), &root));
  const int whole = nodes(root);
  root.DeleteAll();
  const int parseOps = vdtest::ForEachFaultOfEveryKind(
      [&] { return parser.ParseXml(path.c_str(), &root); },
      [&](const vdtest::FaultRun& run) {
        SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
        const bool closing = run.fired && run.op == CFile::Op::Close;
        EXPECT_TRUE(closing ? run.result && !run.threw : run.Reported());
        EXPECT_EQ(nodes(root), run.fired && !closing ? 1 : whole);
        root.DeleteAll();
      });
  EXPECT_GT(parseOps, 0);
}

}  // namespace
