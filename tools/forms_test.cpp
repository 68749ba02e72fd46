// info, dump and convert on section files, key profiles, parameter files and
// archives of the data objects, run as a process.
#include <algorithm>

#include "demo_classes.h"
#include "process_test.h"
#include "vdkit/dataobj/mmx.h"
#include "vdkit/dataobj/rc_data.h"
#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {
using namespace vdtool_test;

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

void ExpectHas(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& p : parts) EXPECT_NE(text.find(p), std::string::npos) << p << "\n" << text;
}

TEST_F(ProgramTest, SectionFilesListAndRewrite) {
  const Result info = Run({"info", "survey.sec"}, kSamples);
  EXPECT_EQ(info.status, 0) << info.err;
  ExpectHas(
      info.out,
      {"survey.sec: section file (SECF), 3,326 bytes\n  version 256, header 64 bytes, 3 tables in 1 "
       "directory block",
       "  'Samples'     1      0      0    719   2,575    719\n  'Lease'       2      0      0     32"});
  const Result dump = Run({"dump", "survey.sec"}, kSamples);
  EXPECT_EQ(dump.status, 0) << dump.err;
  // Table files among the tables as records; other bytes as they are (the
  // lease's first vertex: 512000 = 0x48FA0000, 4177500 = 0x4A7EF970).
  ExpectHas(dump.out, {"table 'Wells', 463 bytes\n  a table file: table 'Wells': 3 records",
                       "    3       2   2004-03-02+0.5   15.75        gauge, replaced",
                       "table 'Lease', 32 bytes\n  00000000  00 00 fa 48 70 f9 7e 4a"});
  ASSERT_EQ(Run({"convert", Sample("survey.sec"), "copy.sec"}).status, 0);
  EXPECT_EQ(ReadText(Temp("copy.sec")), ReadText(Sample("survey.sec")));

  // Directory block 0 gone from the header: the library passes over its
  // tables; a rewrite would lose them.
  std::string damaged = ReadText(Sample("survey.sec"));
  std::fill(damaged.begin() + 12, damaged.begin() + 16, '\0');
  WriteText(Temp("lost.sec"), damaged);
  ExpectHas(Run({"info", "lost.sec"}).out,
            {"3 tables in 0 directory blocks",
             "note: 3 of the 3 tables the header counts have no directory block"});
  ExpectOneLineFailure(
      Run({"convert", "lost.sec", "out.sec"}), 1,
      "vdkit: lost.sec: 3 of the tables the header counts have no directory block: the output would "
      "leave them out; nothing written");
  EXPECT_FALSE(Exists(Temp("out.sec")));
  const Result lossy = Run({"convert", "--lossy", "lost.sec", "out.sec"});
  EXPECT_EQ(lossy.status, 0) << lossy.err;
  EXPECT_NE(lossy.err.find("left out (--lossy)"), std::string::npos);
  ExpectHas(Run({"info", "out.sec"}).out, {"0 tables in 0 directory blocks"});
}

TEST_F(ProgramTest, KeyProfilesListAndRewrite) {
  ExpectHas(Run({"info", "grid.xml"}, kSamples).out,
            {"grid.xml: key profile (XML DataSet), 338 bytes",
             "8 entries in 2 sections: 3 integer, 2 float, 2 string, 1 binary", "  Grid           6"});
  const Result dump = Run({"dump", "grid.xml"}, kSamples);
  // The origin (511800, 4176800) as two little-endian doubles.
  ExpectHas(dump.out,
            {"Grid     Columns  integer  191", "Grid     Origin   binary   00000000E03C1F4100000000D0DD4F41",
             "Picture  File     string   'wells.png'", "Grid     Alpha    float    1.5"});
  // The library numbers sections as it meets them, so a rewrite may order
  // the entries differently; they are the same entries.
  ASSERT_EQ(Run({"convert", Sample("grid.xml"), "again.xml"}).status, 0);
  EXPECT_EQ(SortedLines(Run({"dump", "again.xml"}).out), SortedLines(dump.out));

  WriteText(Temp("odd.xml"),
            "<?xml version='1.0'?>\n<DataSet>\n <A>\n<n v='1' t='int' />\n<m v='' t='int' />\n<q v='1' "
            "t='what' />\n"
            " </A>\n</DataSet>\n");
  ExpectHas(Run({"info", "odd.xml"}).out,
            {"1 entry in 1 section",
             "note: 2 entry elements do not load (an unknown type, a value that does not read"});
  ExpectOneLineFailure(Run({"convert", "odd.xml", "o.xml"}), 1,
                       "vdkit: odd.xml: 2 entry elements do not load");
  EXPECT_FALSE(Exists(Temp("o.xml")));
  EXPECT_EQ(Run({"convert", "--lossy", "odd.xml", "o.xml"}).status, 0);
}

TEST_F(ProgramTest, ParameterFilesListTheirOperators) {
  WriteText(
      Temp("JobParameters.xml"),
      "<?xml version='1.0'?>\n<JobParameters>\n<grid class='CSmooth' "
      "type='pre'>\n<passes>3</passes>\n</grid>\n"
      "<#@2 name='a b' class='CContour' type=''>\n<levels count='2'><l>10</l><l>20</l></levels>\n</#@2>\n"
      "</JobParameters>\n");
  const Result info = Run({"info", "JobParameters.xml"});
  EXPECT_EQ(info.status, 0) << info.err;
  ExpectHas(info.out,
            {"operator parameter file (XML JobParameters)", "2 operators; classes: CContour 1, CSmooth 1",
             "  grid      pre   CSmooth\n  a b             CContour"});
  const Result dump = Run({"dump", "JobParameters.xml"});
  ExpectHas(dump.out, {"'grid'  CSmooth, type 'pre'\n  <passes>3</passes>\n",
                       "'a b'  CContour\n  <levels count='2'>\n   <l>10</l>\n   <l>20</l>\n  </levels>\n"});
  ExpectOneLineFailure(Run({"convert", "JobParameters.xml", "out.xml"}), 2, "vdkit: convert: cannot convert");
}

// Ranges, a row/column table and a client's unit table in an archive: each
// listed from what the library read back.
TEST_F(ProgramTest, DataObjectsInArchivesAreListed) {
  vdtool::RegisterDemoClasses();
  {
    CVDisk disk;
    auto* mmx = static_cast<CMMX*>(disk.CreateFileA("Ranges", "MMX", "CMMX"));
    mmx->SetMMX("Depth", 0, 3000, 1);
    mmx->SetMMX("GR", 10, 150, 0);
    mmx->SetLine("GR", 0, 7, 2, -1);
    auto* log = static_cast<CRCData*>(disk.CreateFileA("Log", "RC", "CRCData"));
    log->AddColName("Depth");
    log->NewRow(true)[0] = 1200.5f;
    auto* units = static_cast<CUnitTable*>(disk.CreateFileA("Units", "Units", "CUnitTable"));
    units->m_units.AddUnit("Kilometers", "Meters", 1000);
    units->m_units.SetUnit("Meters", "Feet");
    CFile file(Temp("objects.vdf").c_str(), CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    ar << disk;
    ar.Close();
  }
  const Result dump = Run({"dump", "objects.vdf"});
  EXPECT_EQ(dump.status, 0) << dump.err;
  ExpectHas(dump.out,
            {"/Ranges  CMMX, type 'MMX'\n  2 ranges\n    QUANTITY  KEY  MIN   MAX  AUTO  LOG10  LINE\n"
             "    Depth       1    0  3000  yes   no     0 65535 0\n"
             "    GR          0   10   150  yes   no     7 2 -1\n",
             "/Log  CRCData, type 'RC'\n  0 columns, 0 rows (the archives keep none of a CRCData's own)\n",
             "/Units  CUnitTable, type 'Units'\n  2 unit pairs, current factor 3.280839895013123\n"
             "    1 OF                       IS  OF\n    Meters      3.280839895013123  Feet\n"
             "    Kilometers               1000  Meters\n"});
  // XML has no place for the ranges; the unit table writes its own elements.
  const Result refused = Run({"convert", "objects.vdf", "objects.xml"});
  ExpectOneLineFailure(refused, 1, "vdkit: objects.vdf: a XML object document has no place for everything");
  ASSERT_EQ(Run({"convert", "--lossy", "objects.vdf", "objects.xml"}).status, 0);
  ExpectHas(
      Run({"dump", "objects.xml"}).out,
      {"/Units  CUnitTable, type 'Units'\n  <unit from='Meters' to='Feet' factor='3.280839895013123' />\n"
       "  <unit from='Kilometers' to='Meters' factor='1000' />\n  <factor>3.280839895013123</factor>\n"});
  ASSERT_EQ(Run({"convert", "objects.xml", "back.vdf"}).status, 0);
  EXPECT_NE(Run({"dump", "back.vdf"}).out.find("2 unit pairs, current factor 3.280839895013123"),
            std::string::npos);
}

}  // namespace
