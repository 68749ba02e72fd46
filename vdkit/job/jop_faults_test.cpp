// Parameter files over files whose operations fail one at a time: a failed
// save keeps the old file and the set, a failed load reports it and leaves
// the set as it was.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vdkit/job/jop.h"
#include "vdkit/platform/fault_test_util.h"
#include "vdkit/xml/xml_archive.h"

namespace {

class CFaultJop : public CJop {
  DECLARE_JOP(CFaultJop)
  void GetArgs(CJobArgs&) const override {}
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar passes("passes", m_nPasses);
    CXmlVar label("label", m_strLabel);
    return (ar == passes) && (ar == label);
  }
  bool Run(CJobArgs&) override { return true; }
  int m_nPasses = 0;
  CString m_strLabel;
};
IMPLEMENT_JOP(CFaultJop)

void Fill(CJopSet& set, int count) {
  for (int i = 0; i < count; ++i) {
    auto* op = static_cast<CFaultJop*>(
        set.Get(i % 3 ? "grid" : "smooth <all>", ("pass " + std::to_string(i)).c_str(), "CFaultJop"));
    op->m_nPasses = i * 11;
    op->m_strLabel = ("'label' & " + std::to_string(i)).c_str();
  }
}

// The operators with their parameters, in name order: the set's order
// depends on its history.
std::string Listing(CJopSet& set) {
  std::set<std::string> lines;
  for (POSITION pos = set.GetFirstPos(nullptr); pos;) {
    auto* op = static_cast<CFaultJop*>(set.GetNext(pos, nullptr));
    lines.insert(std::string(op->GetName()) + "." + op->GetType() + ":" + std::to_string(op->m_nPasses) +
                 ":" + op->m_strLabel.str());
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

TEST(JopFaultsTest, ParameterFileByPathFailedAnywhere) {
  CJopSet set;
  Fill(set, 12);
  const std::string listing = Listing(set);
  const std::string text = vdtest::MemBytes([&](CFile& f) { set.Store(&f); });
  vdtest::ScratchDir dir;
  vdtest::ExpectSavesByNameKeepTheOldFile(
      dir, CJopSet::kDefaultFileName, "<?xml version='1.0'?>\n<JobParameters>\n</JobParameters>\n", text,
      [&](const char* path) {
        set.SetFileName(path);
        return set.Store("");  // the set's own file name
      },
      [&](const vdtest::FaultRun&) { EXPECT_EQ(Listing(set), listing); });

  const std::string path = dir.Path(CJopSet::kDefaultFileName);
  vdtest::WriteAll(path, text);
  CJopSet loaded;
  loaded.SetFileName(path.c_str());
  const auto seed = [&] {
    loaded.DeleteAll();
    Fill(loaded, 2);
  };
  seed();
  const std::string before = Listing(loaded);
  const int ops = vdtest::ForEachFaultOfEveryKind(
      [&] {
        seed();
        return loaded.Load("");  // the set's own file name
      },
      [&](const vdtest::FaultRun& run) {
        EXPECT_TRUE(run.Reported()) << vdtest::FaultOpName(run.op) << " " << run.n;
        EXPECT_EQ(Listing(loaded), run.fired ? before : listing);
      });
  EXPECT_GT(ops, 0);
}

TEST(JopFaultsTest, ParameterFileOnAFileFailedAnywhere) {
  CJopSet set;
  Fill(set, 12);
  vdtest::ExpectFormSurvivesFaults<CJopSet>(
      CJopSet::kDefaultFileName, set,
      {[](CJopSet& s, CFile& f) { return s.Load(&f); }, [](CJopSet& s, CFile& f) { s.Store(&f); }, Listing,
       [](CJopSet& s, const vdtest::FaultRun& run) {
         if (run.fired) {
           EXPECT_EQ(s.GetCount(), 0);  // unchanged
         }
       }});
}

}  // namespace
