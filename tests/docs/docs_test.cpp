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

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/vdkit.h"

namespace {

std::string SourcePath(const char* rel) {
  return std::string(VDKIT_SOURCE_DIR) + "/" + rel;
}

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
// A field of a dump: its length, its label and, where the example states it,
// the bytes the layout gives for it (worked out here, not by the library).
struct Span {
  size_t n;
  std::string label;
  std::string expect;  // the bytes; empty only for spans of no bytes
  bool elide = false;  // show the first line only
};

std::string LE(uint64_t v, int width) {
  std::string s;
  for (int i = 0; i < width; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
Span Num(const std::string& label, uint64_t v, int width) {
  return {static_cast<size_t>(width), label, LE(v, width)};
}
Span Int(const std::string& label, int32_t v) {
  return Num(label, static_cast<uint32_t>(v), 4);
}
Span Word(const std::string& label, uint16_t v) {
  return Num(label, v, 2);
}
Span Byte(const std::string& label, uint8_t v) {
  return Num(label, v, 1);
}
Span Float(const std::string& label, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return Num(label, bits, 4);
}
Span Double(const std::string& label, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return Num(label, bits, 8);
}
Span Raw(const std::string& label, const std::string& bytes) {
  return {bytes.size(), label, bytes, bytes.size() > 32};
}
Span Zeros(const std::string& label, size_t n) {
  return {n, label, std::string(n, '\0'), n > 16};
}

// The record string of the binary archive: a 16-bit length n (2 more than a
// multiple of 4, at least the text's length), then the text and zeros to n.
std::string RecordString(const std::string& text) {
  size_t n = text.size();
  while (n % 4 != 2) ++n;
  return LE(n, 2) + text + std::string(n - text.size(), '\0');
}
Span RS(const std::string& what, const std::string& text) {
  return Raw(what + ": record string \"" + text + "\"", RecordString(text));
}
// The padded string: a 32-bit length P (0, or the length plus one rounded up
// to a multiple of 4), then the text and zeros to P.
std::string PaddedString(const std::string& text) {
  const size_t p = text.empty() ? 0 : (text.size() + 4) / 4 * 4;
  return LE(p, 4) + text + std::string(p - text.size(), '\0');
}
Span PS(const std::string& what, const std::string& text) {
  return Raw(what + ": padded string \"" + text + "\"", PaddedString(text));
}
// The framework's CString: a 1-, 3- or 7-byte length prefix, then the bytes.
std::string FrameworkString(const std::string& text) {
  const size_t n = text.size();
  return (n < 255 ? LE(n, 1) : n < 0xFFFE ? "\xFF" + LE(n, 2) : "\xFF\xFF\xFF" + LE(n, 4)) + text;
}
Span CS(const std::string& what, const std::string& text) {
  return Raw(what + ": CString \"" + text + "\"", FrameworkString(text));
}

// Offset, up to 16 bytes a line in upper-case hex, then the label on the
// field's first line. Fails the test unless the spans cover `bytes` exactly
// and each span that states its bytes holds them.
std::string Dump(const std::string& bytes, const std::vector<Span>& spans) {
  std::string out;
  size_t at = 0;
  char buf[32];
  for (const Span& s : spans) {
    EXPECT_LE(at + s.n, bytes.size()) << "span '" << s.label << "' runs past the writer's output";
    if (at + s.n > bytes.size()) break;
    if (!s.expect.empty()) {
      EXPECT_EQ(bytes.substr(at, s.n), s.expect) << "span '" << s.label << "'";
    }
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
        std::snprintf(buf, sizeof buf, "%04zX to %04zX", at + 16, at + s.n - 1);
        out += "      ... " + std::to_string(s.n - 16) + " more bytes (" + buf + ")\n";
        break;
      }
    }
    at += s.n;
  }
  EXPECT_EQ(at, bytes.size()) << "the spans do not cover the writer's output";
  return out;
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
    ar << CString("abc") << CString(std::string(300, 'x'));
    ar.WriteCount(3);
    ar.WriteCount(70000);
    ar << static_cast<LONG>(-2) << static_cast<WORD>(0x1234) << 1.5f << 1.5 << true;
    ar << CString(std::string(70000, 'y'));
    ar.Close();
  }
  return Dump(
      Bytes(mem),
      {Raw("CString \"abc\": length 3 in one byte", FrameworkString("abc")),
       Raw("CString of 300 x: FF, then WORD 300", FrameworkString(std::string(300, 'x'))),
       Word("count 3: WORD", 3), Raw("count 70000: FF FF, then DWORD", "\xFF\xFF" + LE(70000, 4)),
       Int("LONG -2", -2), Word("WORD 0x1234", 0x1234), Float("float 1.5", 1.5f), Double("double 1.5", 1.5),
       Byte("bool true: one byte", 1),
       Raw("CString of 70000 y: FF, FF FF, then DWORD 70000", FrameworkString(std::string(70000, 'y')))});
}

std::string RecordStrings() {
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    for (const char* s : {"", "ab", "abc", "ClassName="}) CVDFile::Write(ar, s);
    ar.Close();
  }
  return Dump(Bytes(mem), {Raw("\"\": n = 2, two zero bytes", RecordString("")),
                           Raw("\"ab\": n = 2, no terminator", RecordString("ab")),
                           Raw("\"abc\": n = 6, three zero bytes", RecordString("abc")),
                           Raw("\"ClassName=\": n = 10", RecordString("ClassName="))});
}

// The fields of an object record up to its blob size, for a named object.
std::vector<Span> RecordHead(const std::string& indent, const char* cls, const char* name, const char* type) {
  return {RS(indent + "key", "ClassName="),
          RS(indent + "class name", cls),
          Word(indent + "version 0x0100", 0x100),
          Word(indent + "flags: named", 1),
          RS(indent + "name", name),
          RS(indent + "file type", type)};
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
  std::vector<Span> spans = {Raw("magic \"VDFc\"", "VDFc")};
  for (const Span& s : RecordHead("", "CVDisk", "Disk", "Disk")) spans.push_back(s);
  for (const Span& s :
       std::vector<Span>{Int("blob size 0", 0), Int("class data size 0", 0), Int("child count 2", 2)})
    spans.push_back(s);
  for (const Span& s : RecordHead("  child 1: ", "CWell", "W1", "Well")) spans.push_back(s);
  for (const Span& s : std::vector<Span>{
           Int("  blob size 0", 0), Int("  class data size 4", 4),
           Int("  class data: CWell's LONG depth 1250", 1250), Int("  child count 0", 0),
           RS("  child 2: key", "ClassName="), RS("  class name", "CVDFile"), Word("  version 0x0100", 0x100),
           Word("  flags: unnamed (no name, no file type follow)", 0), Int("  blob size 2", 2),
           Raw("  blob", "hi"), Int("  class data size 0", 0), Int("  child count 0", 0)})
    spans.push_back(s);
  return Dump(Bytes(mem), spans);
}

std::string PaddedStrings() {
  CMemFile mem;
  for (const char* s : {"", "abc", "abcd"}) WritePaddedString(mem, s);
  return Dump(Bytes(mem),
              {Raw("\"\": P = 0, nothing follows", PaddedString("")),
               Raw("\"abc\": P = 4", PaddedString("abc")), Raw("\"abcd\": P = 8", PaddedString("abcd"))});
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

// A field with only a name and a type, in the binary form.
void AddFieldSpans(std::vector<Span>& spans, const std::string& prefix, const std::string& name, int type,
                   const std::string& typeName) {
  const float null = VDB_NULL_FLOAT;
  for (const Span& s : std::vector<Span>{
           PS(prefix + "alias", ""), PS(prefix + "name", name),
           Byte(prefix + "type " + typeName, static_cast<uint8_t>(type)), Int(prefix + "count 1", 1),
           PS(prefix + "source", ""), PS(prefix + "value", ""), PS(prefix + "extra 1", ""),
           PS(prefix + "extra 2", ""), Byte(prefix + "edit mode 0", 0), Byte(prefix + "flag 0", 0),
           PS(prefix + "options", ""), Float(prefix + "min: null marker", null),
           Float(prefix + "max: null marker", null)})
    spans.push_back(s);
}

std::string TableFile() {
  CVdbTable t;
  FillTable(t);
  CMemFile mem;
  t.Write(mem);
  std::vector<Span> spans = {Raw("magic \"TV10\"", "TV10"), PS("table text", "T"),
                             PS("table name", "T"),         PS("field-set name", ""),
                             PS("field-set label", ""),     Int("field count 2", 2)};
  AddFieldSpans(spans, "V: ", "V", VDB_FLOAT, "FLOAT (42)");
  AddFieldSpans(spans, "N: ", "N", VDB_LONG, "LONG (41)");
  for (const Span& s : std::vector<Span>{
           Int("record count 2", 2), Int("last identifier 2", 2), Int("record 1: identifier 1", 1),
           Float("  V 1.5", 1.5f), Int("  N 3", 3), Int("record 2: identifier 2", 2),
           Float("  V: null marker 9.999e-30", VDB_NULL_FLOAT), Int("  N 7", 7)})
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
  std::vector<Span> spans = {
      Int("table count 1", 1),     Raw("table 1: the table file of Wells, \"TV10\" ...", Bytes(one)),
      Int("field-set count 1", 1), PS("field set 1: name", "Well"),
      PS("label", "Wells"),        Int("field count 1", 1)};
  spans[1].elide = true;
  AddFieldSpans(spans, "", "ID", VDB_LONG, "LONG (41)");
  for (const Span& s : std::vector<Span>{Int("relation count 1", 1), PS("relation 1: key field", "WellID"),
                                         PS("table", "Wells"), PS("related key field", "ID")})
    spans.push_back(s);
  return Dump(Bytes(mem), spans);
}

void FillDataSet(CVdbDataSet& ds) {
  ds.SetName("Pump");
  CVdbDataSet::SValueSpec depthSpec;
  depthSpec.m_strLabel = "Depth";
  depthSpec.m_fMin = 0;
  depthSpec.m_fMax = 100;
  ds.SetKeySpec(depthSpec, "depth");
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
  return Dump(Bytes(mem),
              {PS("name", "Pump"), Int("value-limit count 1", 1), PS("  label", "Depth"),
               PS("  key", "depth"), Float("  min 0.0", 0), Float("  max 100.0", 100),
               Raw("  flags 0, 0, 1, then 00", std::string("\0\0\1\0", 4)), Int("integer count 1", 1),
               PS("  key", "count"), Int("  value 12", 12), Int("float count 1", 1), PS("  key", "depth"),
               Float("  value 1.5", 1.5f), Int("string count 2 (in the map's order)", 2), PS("  key", "note"),
               PS("  value", "two words"), PS("  key", "unit"), PS("  value", "m")});
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
  return Dump(Bytes(mem),
              {Int("item count 2", 2), PS("key", "W1"), Int("  value count 2", 2), PS("  value", "2004-3-5"),
               PS("  value", "2004-3-9"), PS("key", "W2"), Int("  value count 0", 0)});
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
  return Dump(Bytes(mem), {Word("record count 2: WORD", 2), CS("unit 1", "Meters"), CS("unit 2", "Feet"),
                           Double("factor 3.280839895013123", 3.280839895013123), CS("unit 1", "Kilometers"),
                           CS("unit 2", "Meters"), Double("factor 1000.0", 1000.0),
                           Double("current factor 0.001 (Meters to Kilometers)", 1 / 1000.0)});
}

std::string SectionFile() {
  const std::string path = testing::TempDir() + "vdkit_docs_example.sec";
  {
    CSecFile f;
    EXPECT_TRUE(f.Open(path.c_str(), secOpenCreate));
    EXPECT_TRUE(f.AddTableInfo("Wells", 7, 3));  // wInfo2 7, wInfo1 3
    f.Write("W1W2", 4);
    SsecTableInfo info = {};
    info.nType = 5;
    EXPECT_TRUE(f.AddTableInfo("Samples", info));
    f.Write("abc", 3);
    f.Close();
  }
  const std::string bytes = ReadFile(path);
  std::remove(path.c_str());
  return Dump(bytes,
              {Raw("magic \"SECF\"", "SECF"),
               Int("version 256", 256),
               Word("header size 64", 64),
               Word("entry count 2", 2),
               Int("offset of directory block 0: 64", 64),
               Zeros("offsets of blocks 1 .. 12: 0, not written", 48),
               Raw("entry 0: name \"Wells\" + 8 blanks, then zeros", std::string("Wells        \0\0\0", 16)),
               Word("  wInfo1 3", 3),
               Word("  wInfo2 7", 7),
               Int("  dwInfo3 0", 0),
               Int("  nType 0", 0),
               Int("  data offset 2112", 2112),
               Raw("entry 1: name \"Samples\" + 8 blanks, then a zero", std::string("Samples        \0", 16)),
               Word("  wInfo1 0", 0),
               Word("  wInfo2 0", 0),
               Int("  dwInfo3 0", 0),
               Int("  nType 5", 5),
               Int("  data offset 2116", 2116),
               Zeros("entries 2 .. 63: zero", 62 * 32),
               Raw("data of Wells (the caller's bytes)", "W1W2"),
               Raw("data of Samples", "abc")});
}

std::string MinMaxRegister() {
  CMMX mmx;
  mmx.SetMMX("Depth", 0, 3000, 1);
  mmx.SetLine("GR", 0, 0x00FF0000, 2, -1);
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    mmx.Serialize(ar);
    ar.Close();
  }
  return Dump(Bytes(mem),
              {Int("entry count 2: DWORD", 2), CS("entry 1: name", "Depth"), Float("  fMax 3000.0", 3000),
               Float("  fMin 0.0", 0), Word("  nKey 1", 1), Byte("  bAuto 1", 1), Byte("  bLog10 0", 0),
               Int("  dwLine1 0", 0), Word("  wLine2 0xFFFF", 0xFFFF), Word("  wLine3 0", 0),
               CS("entry 2: name", "GR"), Float("  fMax 0.0", 0), Float("  fMin 0.0", 0), Word("  nKey 0", 0),
               Byte("  bAuto 1", 1), Byte("  bLog10 0", 0), Int("  dwLine1 0x00FF0000", 0x00FF0000),
               Word("  wLine2 2", 2), Word("  wLine3 -1", 0xFFFF)});
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
    {"framework-forms", "text", FrameworkForms},
    {"record-strings", "text", RecordStrings},
    {"vdfc", "text", ObjectArchive},
    {"padded-strings", "text", PaddedStrings},
    {"tv10", "text", TableFile},
    {"table-set", "text", TableSetStream},
    {"data-set-binary", "text", DataSetBinary},
    {"data-set-text", "text", DataSetText},
    {"key-strings", "text", KeyStrings},
    {"unit-table", "text", UnitTable},
    {"section-file", "text", SectionFile},
    {"min-max", "text", MinMaxRegister},
    {"object-document", "xml", ObjectDocument},
    {"table-document", "xml", TableDocument},
    {"key-profile", "xml", KeyProfileDocument},
    {"job-parameters", "xml", JobParameters},
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

// The excerpt of examples/data/well_log.vdf in docs/porting.md: each line
// "OFFS  HH HH ...  label" shows the file's bytes at that offset ("..." ends
// the bytes shown).
TEST(PortingDocTest, StoredFileExcerptShowsItsBytes) {
  const std::string doc = ReadFile(SourcePath("docs/porting.md"));
  const std::string file = ReadFile(SourcePath("examples/data/well_log.vdf"));
  ASSERT_FALSE(file.empty());
  const size_t from = doc.find("\n    0068  ");
  ASSERT_NE(from, std::string::npos) << "the excerpt of well_log.vdf";
  std::istringstream lines(doc.substr(from + 1, doc.find("\n\n", from + 1) - from - 1));
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    size_t at = std::stoul(word, nullptr, 16);
    while (in >> word && word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
           std::isxdigit(static_cast<unsigned char>(word[1]))) {
      ASSERT_LT(at, file.size()) << line;
      EXPECT_EQ(static_cast<unsigned char>(file[at]), std::stoul(word, nullptr, 16)) << line;
      ++at;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 6);
}

}  // namespace
