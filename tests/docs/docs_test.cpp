// The worked examples of docs/formats.md, produced from the library's own
// output, and a check that the document still shows exactly them; and a check
// that the code of docs/porting.md is taken verbatim from examples/porting.cpp,
// which the build compiles and CI runs.
//
// An example is the block of docs/formats.md between the lines
//   <!-- example NAME -->   and   <!-- end example -->
// After a deliberate change of a form, bring the document in line with
//   VDKIT_UPDATE_DOCS=1 build/default/tests/vdkit_docs_tests
// which rewrites those blocks (nothing else) in place; review the diff.
//
// Binary examples are annotated dumps: the bytes come from the writer, the
// field labels and their lengths from this file, and every dump must account
// for each byte the writer produced, so a label cannot drift from the bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/vdkit.h"

namespace {

std::string SourcePath(const char* rel) { return std::string(VDKIT_SOURCE_DIR) + "/" + rel; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Bytes(const CMemFile& mem) {
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

// ---- Annotated dumps ------------------------------------------------------------
struct Span {
  size_t n;           // bytes of the field
  std::string label;  // what they are
  bool elide = false; // show the first line only
};

// Offset, up to 16 bytes a line in upper-case hex, then the label on the
// field's first line. Fails the test unless the spans cover `bytes` exactly.
std::string Dump(const std::string& bytes, const std::vector<Span>& spans) {
  std::string out;
  size_t at = 0;
  char buf[16];
  for (const Span& s : spans) {
    EXPECT_LE(at + s.n, bytes.size()) << "span '" << s.label << "' runs past the writer's output";
    if (at + s.n > bytes.size()) break;
    for (size_t line = 0; line < s.n; line += 16) {
      std::snprintf(buf, sizeof buf, "%04zX  ", at + line);
      std::string text = buf;
      for (size_t i = line; i < s.n && i < line + 16; ++i) {
        std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned char>(bytes[at + i]));
        text += buf;
      }
      text.resize(6 + 16 * 3 + 1, ' ');
      if (line == 0) text += s.label;
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out += text + "\n";
      if (s.elide && s.n > 16) {
        std::snprintf(buf, sizeof buf, "%04zX", at + s.n);
        out += "      ... " + std::to_string(s.n - 16) + " more bytes, up to " + buf + "\n";
        break;
      }
    }
    at += s.n;
  }
  EXPECT_EQ(at, bytes.size()) << "the spans do not cover the writer's output";
  return out;
}

// The record string of CVDFile::Write: a 16-bit length n (2 more than a
// multiple of 4, at least the text's length), then n bytes.
size_t RecordStringSize(const std::string& text) {
  size_t n = text.size();
  while (n % 4 != 2) ++n;
  return 2 + n;
}
Span RS(const std::string& what, const std::string& text) {
  return {RecordStringSize(text), what + ": record string \"" + text + "\""};
}

// The padded string: a 32-bit length P (0, or the length plus one rounded up
// to a multiple of 4), then P bytes.
size_t PaddedSize(const std::string& text) { return 4 + (text.empty() ? 0 : (text.size() + 4) / 4 * 4); }
Span PS(const std::string& what, const std::string& text) {
  return {PaddedSize(text), what + ": padded string \"" + text + "\""};
}

// The framework's CString: a 1-, 3- or 7-byte length prefix, then the bytes.
Span CS(const std::string& what, const std::string& text) {
  const size_t prefix = text.size() < 255 ? 1 : text.size() < 0xFFFE ? 3 : 7;
  return {prefix + text.size(), what + ": CString \"" + text + "\""};
}

// ---- Classes of the examples ----------------------------------------------------
// A client class: its depth travels as class data in the binary archive and
// as elements in XML, with a label that needs escaping.
class CWell : public CVDFile {
  DECLARE_VDFILE(CWell)
  bool Serialize(CArchive& ar) override {
    if (ar.IsStoring())
      ar << m_depth;
    else
      ar >> m_depth;
    return true;
  }
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar depth("depth", m_depth);
    CXmlVar label("label", m_label);
    ar == depth;
    ar == label;
    return true;
  }

 public:
  LONG m_depth = 0;
  CString m_label;
};
IMPLEMENT_VDFILE(CWell, CVDFile)

class CSmooth : public CJop {
  DECLARE_JOP(CSmooth)
  void GetArgs(CJobArgs&) const override {}
  bool Serialize(CXmlArchive& ar) override { return ar == CXmlVar("passes", m_nPasses); }
  bool Run(CJobArgs&) override { return true; }

 public:
  int m_nPasses = 1;
};
IMPLEMENT_JOP(CSmooth)

// ---- The examples -------------------------------------------------------------------
std::string FrameworkForms() {
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ar << CString("abc") << CString(std::string(300, 'x')) << CString(std::string(70000, 'y'));
    ar.WriteCount(3);
    ar.WriteCount(70000);
    ar << static_cast<LONG>(-2) << static_cast<WORD>(0x1234) << 1.5f << 1.5 << true;
    ar.Close();
  }
  return Dump(Bytes(mem), {{4, "CString \"abc\": length 3 in one byte"},
                           {303, "CString of 300 'x': FF, then WORD 300 (2C 01)", true},
                           {70007, "CString of 70000 'y': FF, FF FF, then DWORD 70000", true},
                           {2, "count 3: WORD"},
                           {6, "count 70000: FF FF, then DWORD"},
                           {4, "LONG -2"},
                           {2, "WORD 0x1234"},
                           {4, "float 1.5"},
                           {8, "double 1.5"},
                           {1, "bool true: one byte"}});
}

std::string RecordStrings() {
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    for (const char* s : {"", "ab", "abc", "ClassName="}) CVDFile::Write(ar, s);
    ar.Close();
  }
  return Dump(Bytes(mem), {{4, "\"\": n = 2, two zero bytes"},
                           {4, "\"ab\": n = 2, no terminator"},
                           {8, "\"abc\": n = 6, three zero bytes"},
                           {12, "\"ClassName=\": n = 10"}});
}

std::string ObjectArchive() {
  CVDisk disk;
  auto* well = static_cast<CWell*>(disk.CreateFileA("W1", "Well", "CWell"));
  well->m_depth = 1250;
  CVDFile* note = disk.CreateFileA("", "", "CVDFile");  // unnamed
  CFile* blob = note->Open(CVDFile::openWrite);
  blob->Write("hi", 2);
  note->Close(blob);
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ar << disk;
    ar.Close();
  }
  return Dump(Bytes(mem), {{4, "magic \"VDFc\""},
                           RS("key", "ClassName="),
                           RS("class name", "CVDisk"),
                           {2, "version 0x0100"},
                           {2, "flags: named"},
                           RS("name", "Disk"),
                           RS("file type", "Disk"),
                           {4, "blob size 0"},
                           {4, "class data size 0"},
                           {4, "child count 2"},
                           RS("  child 1: key", "ClassName="),
                           RS("  class name", "CWell"),
                           {2, "  version"},
                           {2, "  flags: named"},
                           RS("  name", "W1"),
                           RS("  file type", "Well"),
                           {4, "  blob size 0"},
                           {4, "  class data size 4"},
                           {4, "  class data: CWell's LONG depth 1250"},
                           {4, "  child count 0"},
                           RS("  child 2: key", "ClassName="),
                           RS("  class name", "CVDFile"),
                           {2, "  version"},
                           {2, "  flags: unnamed (no name, no file type follow)"},
                           {4, "  blob size 2"},
                           {2, "  blob \"hi\""},
                           {4, "  class data size 0"},
                           {4, "  child count 0"}});
}

std::string PaddedStrings() {
  CMemFile mem;
  for (const char* s : {"", "abc", "abcd"}) WritePaddedString(mem, s);
  return Dump(Bytes(mem), {{4, "\"\": P = 0, nothing follows"},
                           {8, "\"abc\": P = 4"},
                           {12, "\"abcd\": P = 8"}});
}

// A table T with a FLOAT V and a LONG N, and two records (V of the second is
// the null marker).
void FillTable(CVdbTable& t) {
  t.SetName("T");
  t.AddField("V:FLOAT", 0, 1);
  t.AddField("N:LONG", 0, 1);
  t.AddNew();
  t.SetFieldValue(0, "1.5");
  t.SetFieldValue(1, "3");
  t.AddNew();
  t.SetFieldValue(1, "7");
}

std::vector<Span> FieldSpans(const std::string& prefix, const std::string& name, const std::string& type) {
  return {PS(prefix + "alias", ""),   PS(prefix + "name", name),     {1, prefix + "type " + type},
          {4, prefix + "count 1"},    PS(prefix + "source", ""),     PS(prefix + "value", ""),
          PS(prefix + "extra 1", ""), PS(prefix + "extra 2", ""),    {1, prefix + "edit mode 0"},
          {1, prefix + "flag 0"},     PS(prefix + "options", ""),    {4, prefix + "min: null marker"},
          {4, prefix + "max: null marker"}};
}

std::string TableFile() {
  CVdbTable t;
  FillTable(t);
  CMemFile mem;
  t.Write(mem);
  std::vector<Span> spans = {{4, "magic \"TV10\""}, PS("table text", "T"), PS("table name", "T"),
                             PS("field set name", ""), PS("field set label", ""), {4, "field count 2"}};
  for (const Span& s : FieldSpans("V: ", "V", "FLOAT (42)")) spans.push_back(s);
  for (const Span& s : FieldSpans("N: ", "N", "LONG (33)")) spans.push_back(s);
  for (const Span& s : std::vector<Span>{{4, "record count 2"},
                                         {4, "last identifier 2"},
                                         {4, "record 1: identifier 1"},
                                         {4, "  V 1.5"},
                                         {4, "  N 3"},
                                         {4, "record 2: identifier 2"},
                                         {4, "  V: null marker 9.999e-30"},
                                         {4, "  N 7"}})
    spans.push_back(s);
  return Dump(Bytes(mem), spans);
}

std::string TableSetStream() {
  CVdbTableSet set;
  CVdbFieldSet* def = set.CreateFieldSet("Well", "Wells");
  def->AddField("ID:LONG", 0, 1);
  CVdbTable* wells = set.CreateTable("Wells", "Well");
  wells->AddNew();
  wells->SetFieldValue(0, "12");
  set.AddRelation("WellID", "Wells.ID");
  CMemFile one;
  wells->Write(one);
  CMemFile mem;
  set.WriteTables(mem);
  std::vector<Span> spans = {{4, "table count 1"},
                             {static_cast<size_t>(one.GetLength()), "table 1: the table file of Wells, \"TV10\" ...",
                              true},
                             {4, "field-set count 1"},
                             PS("field set 1: name", "Well"),
                             PS("label", "Wells"),
                             {4, "field count 1"}};
  for (const Span& s : FieldSpans("", "ID", "LONG (33)")) spans.push_back(s);
  for (const Span& s : std::vector<Span>{{4, "relation count 1"},
                                         PS("relation 1: key field", "WellID"),
                                         PS("table", "Wells"),
                                         PS("related key field", "ID")})
    spans.push_back(s);
  return Dump(Bytes(mem), spans);
}

void FillDataSet(CVdbDataSet& ds) {
  ds.SetName("Pump");
  CVdbDataSet::SValueSpec spec;
  spec.m_strLabel = "Depth";
  spec.m_fMin = 0;
  spec.m_fMax = 100;
  ds.SetKeySpec(spec, "depth");
  ds.Seti("count", 12);
  ds.Setf("depth", 1.5f);
  ds.Sets("unit", "m");
  ds.Sets("note", "two words");
}

std::string DataSetBinary() {
  CVdbDataSet ds;
  FillDataSet(ds);
  CMemFile mem;
  ds.Write(mem);
  return Dump(Bytes(mem), {PS("name", "Pump"),
                           {4, "value-limit count 1"},
                           PS("  label", "Depth"),
                           PS("  key", "depth"),
                           {4, "  min 0.0"},
                           {4, "  max 100.0"},
                           {4, "  flags 0, 0, 1, then 00"},
                           {4, "integer count 1"},
                           PS("  key", "count"),
                           {4, "  value 12"},
                           {4, "float count 1"},
                           PS("  key", "depth"),
                           {4, "  value 1.5"},
                           {4, "string count 2"},
                           PS("  key", "unit"),
                           PS("  value", "m"),
                           PS("  key", "note"),
                           PS("  value", "two words")});
}

std::string DataSetText() {
  CVdbDataSet ds;
  FillDataSet(ds);
  FILE* fp = std::tmpfile();
  EXPECT_NE(fp, nullptr);
  if (!fp) return "";
  EXPECT_TRUE(ds.Write(fp));
  std::rewind(fp);
  std::string text;
  for (int c; (c = std::fgetc(fp)) != EOF;) text += static_cast<char>(c);
  std::fclose(fp);
  return text;
}

std::string KeyStrings() {
  CKeyStringArraySet set;
  set.Add("W1", "2004-3-5");
  set.Add("w1", "2004-3-9");
  set.Add("W2", nullptr);
  CMemFile mem;
  set.Write(mem);
  return Dump(Bytes(mem), {{4, "item count 2"},
                           PS("key", "W1"),
                           {4, "  value count 2"},
                           PS("  value", "2004-3-5"),
                           PS("  value", "2004-3-9"),
                           PS("key", "W2"),
                           {4, "  value count 0"}});
}

std::string UnitTable() {
  CUnitTrans ut;
  ut.AddUnit("Kilometers", "Meters", 1000.0);
  ut.SetUnit("Meters", "Kilometers");
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ut.Serialize(ar);
    ar.Close();
  }
  return Dump(Bytes(mem), {{2, "record count 2: WORD"},
                           CS("unit 1", "Meters"),
                           CS("unit 2", "Feet"),
                           {8, "factor 3.280839895013123"},
                           CS("unit 1", "Kilometers"),
                           CS("unit 2", "Meters"),
                           {8, "factor 1000.0"},
                           {8, "current factor 0.001 (Meters to Kilometers)"}});
}

std::string XmlText(CVDFile& root) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  EXPECT_TRUE(ar << root);
  return Bytes(mem);
}

std::string ObjectDocument() {
  CVDisk disk;
  auto* well = static_cast<CWell*>(disk.CreateFileA("W1", "Well", "CWell"));
  well->m_depth = 1250;
  well->m_label = "Smith & Sons <north>";
  auto* road = static_cast<CPolyline*>(disk.CreateFileA("road", "Line", "CPolyline"));
  road->Add(SFloat2D{0, 0});
  road->Add(SFloat2D{10, 2.5f});
  disk.CreateFileA("north well", "Well", "CWell");
  disk.CreateFileA("", "", "CVDFile");
  return XmlText(disk);
}

std::string TableDocument() {
  CVDisk disk;
  auto* t = static_cast<CVdbTable*>(disk.CreateFileA("T", "Table", "CVdbTable"));
  FillTable(*t);
  t->AddField("Name:STRING*16", 0, 1);
  t->MoveToFirst();
  t->SetFieldValue(2, "Smith, \"Jr\"");
  return XmlText(disk);
}

std::string KeyProfileDocument() {
  CKeyProfile p;
  p.SetKeyInt("Grid", "Columns", 120);
  p.SetKeyString("Grid", "Method", "kriging");
  p.SetKeyFloat("Grid", "Scale", 0.1f);
  const BYTE mask[] = {0x0A, 0x0B, 0x0C};
  p.SetKeyBin("Grid", "Mask", const_cast<BYTE*>(mask), sizeof mask);
  p.SetKeyString("Output", "file name", "a<b>.grd");
  CMemFile mem;
  EXPECT_TRUE(p.Store(&mem));
  return Bytes(mem);
}

std::string JobParameters() {
  CJopSet set;
  static_cast<CSmooth*>(set.Get("grid", "pre", "CSmooth"))->m_nPasses = 3;
  set.Get("grid", "post", "CSmooth");
  CMemFile mem;
  EXPECT_TRUE(set.Store(&mem));
  return Bytes(mem);
}

// ---- The document -------------------------------------------------------------------
const char kBegin[] = "<!-- example ";
const char kEnd[] = "<!-- end example -->";

// The fenced block an example shows.
std::string Block(const std::string& lang, const std::string& body) {
  return "```" + lang + "\n" + body + (body.empty() || body.back() == '\n' ? "" : "\n") + "```\n";
}

struct Example {
  const char* name;
  const char* lang;
  std::string (*make)();
};
const Example kExamples[] = {
    {"framework-forms", "text", FrameworkForms}, {"record-strings", "text", RecordStrings},
    {"vdfc", "text", ObjectArchive},             {"padded-strings", "text", PaddedStrings},
    {"tv10", "text", TableFile},                 {"table-set", "text", TableSetStream},
    {"data-set-binary", "text", DataSetBinary},  {"data-set-text", "text", DataSetText},
    {"key-strings", "text", KeyStrings},         {"unit-table", "text", UnitTable},
    {"object-document", "xml", ObjectDocument},  {"table-document", "xml", TableDocument},
    {"key-profile", "xml", KeyProfileDocument},  {"job-parameters", "xml", JobParameters},
};

// The blocks of the document by example name, or an error.
std::map<std::string, std::string> Blocks(const std::string& doc, std::string* error) {
  std::map<std::string, std::string> blocks;
  for (size_t at = doc.find(kBegin); at != std::string::npos; at = doc.find(kBegin, at)) {
    const size_t nameEnd = doc.find(" -->\n", at);
    const size_t end = doc.find(kEnd, at);
    if (nameEnd == std::string::npos || end == std::string::npos || end < nameEnd) {
      *error = "unterminated example at byte " + std::to_string(at);
      return blocks;
    }
    const std::string name = doc.substr(at + sizeof kBegin - 1, nameEnd - at - (sizeof kBegin - 1));
    blocks[name] = doc.substr(nameEnd + 5, end - nameEnd - 5);
    at = end;
  }
  return blocks;
}

TEST(FormatsDocTest, ExamplesShowWhatTheLibraryWrites) {
  const std::string path = SourcePath("docs/formats.md");
  std::string doc = ReadFile(path);
  ASSERT_FALSE(doc.empty()) << path;
  std::string error;
  const std::map<std::string, std::string> blocks = Blocks(doc, &error);
  ASSERT_TRUE(error.empty()) << error;
  EXPECT_EQ(blocks.size(), sizeof kExamples / sizeof kExamples[0]) << "examples in the document";

  const bool update = std::getenv("VDKIT_UPDATE_DOCS") != nullptr;
  for (const Example& e : kExamples) {
    SCOPED_TRACE(e.name);
    const std::string want = Block(e.lang, e.make());
    const auto it = blocks.find(e.name);
    ASSERT_NE(it, blocks.end()) << "docs/formats.md has no block for example " << e.name;
    if (it->second == want) continue;
    if (!update) {
      ADD_FAILURE() << "docs/formats.md, example " << e.name << ", differs from the library's output:\n"
                    << want << "Regenerate with VDKIT_UPDATE_DOCS=1 (see tests/docs/docs_test.cpp).";
      continue;
    }
    const std::string head = std::string(kBegin) + e.name + " -->\n";
    const size_t at = doc.find(head) + head.size();
    doc.replace(at, doc.find(kEnd, at) - at, want);
  }
  if (update) {
    std::ofstream(path, std::ios::binary) << doc;
  }
}

// Every fenced C++ block of docs/porting.md that follows a line
//   <!-- from examples/porting.cpp -->
// appears verbatim in that file.
TEST(PortingDocTest, CodeIsTakenFromTheCompiledExample) {
  const std::string doc = ReadFile(SourcePath("docs/porting.md"));
  const std::string source = ReadFile(SourcePath("examples/porting.cpp"));
  ASSERT_FALSE(doc.empty());
  ASSERT_FALSE(source.empty());
  const std::string mark = "<!-- from examples/porting.cpp -->\n```cpp\n";
  int checked = 0;
  for (size_t at = doc.find(mark); at != std::string::npos; at = doc.find(mark, at)) {
    at += mark.size();
    const size_t end = doc.find("```\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string code = doc.substr(at, end - at);
    EXPECT_NE(source.find(code), std::string::npos) << "not in examples/porting.cpp:\n" << code;
    ++checked;
  }
  EXPECT_GE(checked, 3) << "marked code blocks in docs/porting.md";
}

}  // namespace
