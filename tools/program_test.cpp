// The program as its users meet it: run as a process on the sample files and
// on damaged copies of them, checking exit status, output and messages.
#include "process_test.h"
#include "raster.h"

namespace {
using namespace vdtool_test;

TEST_F(ProgramTest, HelpForTheProgramAndEveryCommand) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}, {"help", "formats"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: vdkit COMMAND", 0), 0u);
    EXPECT_NE(r.out.find("Exit status: 0 on success; 1 when a file cannot"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
  for (const char* command : {"info", "dump", "convert", "demo"}) {
    SCOPED_TRACE(command);
    const Result a = Run({command, "--help"});
    const Result b = Run({"help", command});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out.rfind(std::string("Usage: vdkit ") + command, 0), 0u);
    EXPECT_EQ(b.out, a.out);
  }
}

TEST_F(ProgramTest, WrongUsageIsStatus2WithOneLine) {
  const std::string vdf = Sample("demo.vdf");
  const std::vector<std::vector<std::string>> rows{
      {},
      {"bogus"},
      {"info"},
      {"info", "--bogus", vdf},
      {"info", "--as", "sheet", vdf},
      {"dump"},
      {"dump", "--csv", vdf},
      {"convert", vdf, Temp("out.bin")},
      {"convert", vdf, Temp("out.csv")},
      {"convert", "--name", "T", vdf, Temp("out.vdf")},
      {"convert", "--as", "dataset", Sample("pump.vds"), Temp("out.csv")},
  };
  for (const auto& args : rows) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    SCOPED_TRACE(line);
    ExpectOneLineFailure(Run(args), 2, "vdkit: ");
  }
  EXPECT_FALSE(Exists(Temp("out.csv")));
}

TEST_F(ProgramTest, InfoAndDumpOnEverySample) {
  const struct {
    const char* command;
    std::vector<std::string> args;
    std::vector<std::string> expected;
  } rows[] = {
      {"info",
       {"demo.vdf"},
       {"demo.vdf: binary object archive (VDFc), 2,396 bytes", "10 objects in 3 levels",
        "    Survey             CSurvey    Database     0       1,824         2", "(unnamed #3)"}},
      {"info",
       {"demo.xml"},
       {"demo.xml: XML object document, ", "10 objects in 3 levels",
        "      Road in lease 1  CPolyline  Line                  1         0", "(unnamed #@3)"}},
      {"info",
       {"wells.tv10"},
       {"table file (TV10)", "table 'Wells': 3 records, last identifier 3, 5 fields, record size 40 bytes",
        "field set 'Well', label 'Wells'",
        "4  Depth  FLOAT       1      36     4        Total depth  min=0 max=5000"}},
      {"info",
       {"samples.csv"},
       {"CSV table", "table 'samples': 8 records", "4  Note    STRING     24      20    24"}},
      {"info",
       {"survey.vts"},
       {"table-set stream", "2 tables, 2 definitions, 1 relation", "WellID     Wells  ID"}},
      {"info", {"pump.vds"}, {"data set 'Pump': 6 values (2 float, 2 integer, 2 string)"}},
      {"info", {"pump.txt"}, {"data set (text form)", "data set 'Pump': 6 values"}},
      {"info", {"--as=keystrings", "wells.vks"}, {"3 keys, 7 values", "'W-2 \"North\"': 3 values"}},
      {"info", {"wells.vks"}, {"3 keys, 7 values"}},
      {"dump",
       {"demo.vdf"},
       {"/Survey  CSurvey, type 'Database'", "(from 1,824 bytes of class data)", "/Survey/Samples  CVdbTable",
        "      3       2   2004-03-02+0.5   15.75        gauge, replaced",
        "/Map/Lease  CPolyline, type 'Boundary'", "/(unnamed #3)  CVDFile"}},
      {"dump",
       {"demo.xml"},
       {"/Survey  CSurvey, type 'Database'", "   <relation key='WellID' table='Wells' related='ID' />",
        "/Map/Road in lease 2  CPolyline, type 'Line'\n  <polyline count='3'>\n   <a x='512980.000000' ",
        "/Survey/Samples  CVdbTable"}},
      {"dump",
       {"wells.tv10"},
       {"@id  ID  Name                 X           Y   Depth\n",
        "\n  3   3  Ridge, east   513420.5     4177010\n"}},
      {"dump", {"samples.csv"}, {"\n  8       4       2004-03-08      11   2.5  well not listed\n"}},
      {"dump", {"survey.vts"}, {"table 'Samples'", "2004-03-05+0.75"}},
      {"dump", {"--as", "dataset", "pump.vds"}, {"string   maker   Acme Pumps", "integer  serial  73021"}},
      {"dump", {"pump.txt"}, {"float    rate    12.5"}},
      {"dump",
       {"--as", "keystrings", "wells.vks"},
       {"'Ridge, east': 2 values\n  2004-03-5.75\n  2004-03-12\n"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.command) + " " + row.args.back());
    std::vector<std::string> args{row.command};
    for (const std::string& a : row.args) args.push_back(a);
    const Result r = Run(args, kSamples);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const std::string& e : row.expected)
      EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
  }
  EXPECT_EQ(Run({"dump", "--csv", "samples.csv"}, kSamples).out, ReadText(Sample("samples.csv")));
  // Without a mark of its own and without the extension that names its form.
  WriteText(Temp("pump.bin"), ReadText(Sample("pump.vds")));
  ExpectOneLineFailure(
      Run({"info", "pump.bin"}), 1,
      "vdkit: pump.bin: not a form vdkit recognises by its content; a table-set stream, data set or "
      "key-string-array file is known by its extension (.vts .vds .vks) or named with --as");
  // Several files: a bad one is named on standard error; the others are listed.
  const Result r = Run({"info", "wells.tv10", "missing.tv10", "pump.txt"}, kSamples);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vdkit: missing.tv10: cannot open: No such file or directory\n");
  EXPECT_NE(r.out.find("wells.tv10: table file"), std::string::npos);
  EXPECT_NE(r.out.find("\n\npump.txt: data set (text form)"), std::string::npos);
}

TEST_F(ProgramTest, ConversionsKeepEveryValue) {
  // CSV keeps the values and names what it has no place for.
  const Result note = Run({"convert", Sample("wells.tv10"), Temp("w.csv")});
  EXPECT_EQ(note.status, 0);
  EXPECT_EQ(note.err,
            "vdkit: " + Sample("wells.tv10") +
                ": note: CSV has no place for the field-set name and label, the alias of 2 fields and the "
                "limits of 1 field; the values are all kept\n");
  const struct {
    std::vector<std::string> args;
    const char* out;
    const char* same;
  } rows[] = {
      {{"samples.csv"}, "s.tv10", nullptr},
      {{"--to", "csv"}, "s2", "samples.csv"},  // from s.tv10, written just before
      {{"demo.vdf"}, "d.vdf", "demo.vdf"},
      // Through XML and back: the binary archive's bytes again (it keeps no
      // units, which is why demo.xml itself converts only with --lossy).
      {{"demo.vdf"}, "d.xml", nullptr},
      {{"d.xml"}, "d2.vdf", "demo.vdf"},
      {{"wells.tv10"}, "w.xml", nullptr},
      {{"w.xml"}, "w.tv10", "wells.tv10"},
      {{"pump.txt"}, "p.vds", "pump.vds"},
      {{"--as", "dataset", "pump.vds"}, "p.txt", "pump.txt"},
      {{"--as", "tableset", "survey.vts"}, "s.vts", "survey.vts"},
      {{"--as", "keystrings", "wells.vks", "--to", "keystrings"}, "k", "wells.vks"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.out);
    std::vector<std::string> args{"convert"};
    for (const std::string& a : row.args) {
      const bool written = a == "d.xml" || a == "w.xml";  // by an earlier row
      args.push_back(a.find('.') == std::string::npos ? a : written ? Temp(a) : Sample(a));
    }
    if (std::string(row.out) == "s2") args.push_back(Temp("s.tv10"));
    args.push_back(Temp(row.out));
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    if (row.same) {
      EXPECT_EQ(ReadText(Temp(row.out)), ReadText(Sample(row.same)));
    }
  }
}

TEST_F(ProgramTest, ConvertRefusesToDropObjectsOfUnknownClasses) {
  // The demo archive with its four polylines renamed to a class nobody registered.
  std::string archive = ReadText(Sample("demo.vdf"));
  for (size_t at = archive.find("CPolyline"); at != std::string::npos; at = archive.find("CPolyline", at))
    archive.replace(at, 9, "CFooBarXY");
  WriteText(Temp("foo.vdf"), archive);
  const Result info = Run({"info", "foo.vdf"});
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("note: 4 objects are of class 'CFooBarXY', which this program does not know"),
            std::string::npos)
      << info.out;
  ExpectOneLineFailure(
      Run({"convert", "foo.vdf", "out.vdf"}), 1,
      "vdkit: foo.vdf: 4 objects are of class 'CFooBarXY', which this program does not know: the output "
      "would leave them out; nothing written");
  EXPECT_FALSE(Exists(Temp("out.vdf")));
  const Result lossy = Run({"convert", "--lossy", "foo.vdf", "out.vdf"});
  EXPECT_EQ(lossy.status, 0) << lossy.err;
  EXPECT_EQ(Run({"info", "out.vdf"}).out.find("CFooBarXY"), std::string::npos);

  // A root of an unknown class: the library reads the record into whatever
  // object it is given; the program says so and reads on into a CVDFile.
  std::string rooted = ReadText(Sample("demo.vdf"));
  rooted.replace(rooted.find("CVDisk"), 6, "CFooDk");
  WriteText(Temp("root.vdf"), rooted);
  EXPECT_NE(
      Run({"info", "root.vdf"})
          .out.find(
              "note: the root object is of class 'CFooDk', which this program does not know; the library "
              "reads a root record into the object it is given whatever its class"),
      std::string::npos);
  const Result dump = Run({"dump", "root.vdf"});
  EXPECT_EQ(
      dump.out.rfind("/  CFooDk, type 'Disk' (class unknown here, read as a CVDFile)\n/Survey  CSurvey", 0),
      0u)
      << dump.out;
  ExpectOneLineFailure(
      Run({"convert", "root.vdf", "r.xml"}), 1,
      "vdkit: root.vdf: the root object is of class 'CFooDk', which this program does not know: the "
      "output would hold it as a plain CVDFile; nothing written");
  std::string xml = ReadText(Sample("demo.xml"));
  xml.replace(xml.find("CVDisk"), 6, "CFooDk");
  WriteText(Temp("root.xml"), xml);
  EXPECT_NE(Run({"info", "root.xml"})
                .out.find("the library reads such a document only into an object of that class"),
            std::string::npos);
}

// Damaged copies: every form refuses them with one line naming the file, or
// reads what they hold; none crashes, and no output file is left behind.
TEST_F(ProgramTest, DamagedCopiesFailCleanly) {
  const struct {
    const char* name;
    std::vector<std::string> as;
    const char* to;
  } samples[] = {
      {"demo.vdf", {}, "vdf"},
      {"demo.xml", {}, "xml"},
      {"wells.tv10", {}, "csv"},
      {"survey.vts", {"--as", "tableset"}, "tableset"},
      {"pump.vds", {"--as", "dataset"}, "dataset-text"},
      {"wells.vks", {"--as", "keystrings"}, "keystrings"},
      {"samples.csv", {}, "table"},
      {"pump.txt", {}, "dataset"},
      {"survey.sec", {}, "secfile"},
      {"grid.xml", {}, "keyprofile"},
  };
  for (const auto& s : samples) {
    const std::string whole = ReadText(Sample(s.name));
    std::vector<std::string> copies;
    // Cuts: the empty file, inside the first fields, and spread over the rest
    // (each process costs; SampleFilesTest reads every cut and many flips in
    // process).
    for (size_t n :
         {size_t{0}, size_t{3}, size_t{13}, whole.size() * 2 / 5, whole.size() * 4 / 5, whole.size() - 1})
      copies.push_back(whole.substr(0, n));
    copies.push_back(whole + "extra");
    // Flips spread over the file.
    for (size_t i = 0; i < 4; ++i) {
      std::string flipped = whole;
      flipped[whole.size() * (2 * i + 1) / 8] ^= static_cast<char>(0xFF);
      copies.push_back(flipped);
    }
    for (size_t c = 0; c < copies.size(); ++c) {
      SCOPED_TRACE(std::string(s.name) + " copy " + std::to_string(c));
      const std::string path = Temp(std::string("bad_") + s.name);
      WriteText(path, copies[c]);
      for (const char* command : {"info", "dump", "convert"}) {
        std::vector<std::string> args{command};
        args.insert(args.end(), s.as.begin(), s.as.end());
        args.push_back(path);
        const std::string out = Temp("converted");
        if (std::string(command) == "convert") {
          args.insert(args.begin() + 1, {"--to", s.to});
          args.push_back(out);
        }
        const Result r = Run(args);
        ASSERT_EQ(r.signal, 0) << command << "\n" << r.err;
        ASSERT_TRUE(r.status == 0 || r.status == 1) << command << " " << r.status << "\n" << r.err;
        if (r.status == 1) {
          ExpectOneLineFailure(r, 1, "vdkit: " + path + ": ");
          EXPECT_FALSE(Exists(out));
        } else if (std::string(command) != "convert") {
          EXPECT_EQ(r.err.find("vdkit: "), std::string::npos) << r.err;
        }
        std::remove(out.c_str());
      }
    }
  }
}

TEST_F(ProgramTest, XmlDocumentsAreListed) {
  WriteText(Temp("d.xml"),
            "<?xml version='1.0'?>\n"
            "<Disk class='CVDisk' type='Disk' root='true'>\n"
            " <a class='CVDFile'>\n"
            "  <note>kept as data</note>\n"
            " </a>\n"
            " <#@2 class='CMyLine' named='false'>\n"
            " </#@2>\n"
            "</Disk>\n");
  const Result info = Run({"info", "d.xml"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("d.xml: XML object document, "), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("3 objects in 2 levels; classes: CMyLine 1, CVDFile 1, CVDisk 1"),
            std::string::npos);
  EXPECT_NE(info.out.find("(unnamed #@2)  CMyLine (unknown)"), std::string::npos) << info.out;
  const Result dump = Run({"dump", "d.xml"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("/a  CVDFile\n  <note>kept as data</note>\n"), std::string::npos) << dump.out;
  // Malformed, and XML that holds no objects: one line each.
  WriteText(Temp("bad.xml"), "<?xml version='1.0'?>\n<Disk class='CVDisk'>\n <a>\n");
  ExpectOneLineFailure(Run({"info", "bad.xml"}), 1, "vdkit: bad.xml: malformed XML: ");
  WriteText(Temp("job.xml"), "<?xml version='1.0'?>\n<job id='1' />\n");
  ExpectOneLineFailure(Run({"dump", "job.xml"}), 1,
                       "vdkit: job.xml: an XML document, but not an object document");
}

TEST_F(ProgramTest, DemoWritesTheSampleFilesAndReadsThemBack) {
  const Result r = Run({"demo", Temp("d")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("  demo.vdf     binary object archive (VDFc)          2,396 bytes, read back equal"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  T       11  19.125  10 .. 20"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  dates 2004-03-01 .. 2004-03-12"), std::string::npos) << r.out;
  // The wells' picture, read back by the demo itself.
  if (vdtool::CanWritePng()) {
    EXPECT_NE(r.out.find("  wells.png    picture: the wells' temperature (PNG)"), std::string::npos) << r.out;
  }
  // The checked-in samples are exactly what the demo writes: a change in any
  // writer shows here first (regenerate with `vdkit demo examples/data`).
  for (const char* name : {"demo.vdf", "demo.xml", "wells.tv10", "samples.csv", "survey.vts", "pump.vds",
                           "pump.txt", "wells.vks", "survey.sec", "grid.xml"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadText(Temp(std::string("d/") + name)), ReadText(Sample(name)));
  }
  // Without DIR: a new folder under the current directory each time.
  ASSERT_EQ(Run({"demo"}).status, 0);
  ASSERT_EQ(Run({"demo"}).status, 0);
  EXPECT_TRUE(Exists(Temp("vdkit-demo/demo.vdf")));
  EXPECT_TRUE(Exists(Temp("vdkit-demo-2/demo.vdf")));
}

}  // namespace
