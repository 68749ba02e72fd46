#include "vdkit/xml/xml_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vdkit/vdfile/vd_archive.h"

namespace {

// A client class with data of its own in both archives. It reads one data
// element that carries a class attribute, so that the object reader must
// pass it over once it is consumed.
class CXaWell : public CVDFile {
  DECLARE_VDFILE(CXaWell)
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar vDepth("depth", m_depth);
    CXmlVar vLabel("label", m_label);
    if (ar.IsStoring()) {
      ar << vDepth;
      ar << vLabel;
      ar.Print("<ref class='CVDFile'>%d</ref>\n", m_count);
      return true;
    }
    ar == vDepth;
    ar == vLabel;
    const char* ref = ar.GetIV("ref");
    m_count = ref ? std::atoi(ref) : -1;
    return true;
  }
  bool Serialize(CArchive& ar) override {
    if (ar.IsStoring()) return ar << m_depth << m_label << m_count, true;
    return ar >> m_depth >> m_label >> m_count, true;
  }

 public:
  double m_depth = 0;
  CString m_label;
  int m_count = 0;
};
IMPLEMENT_VDFILE(CXaWell, CVDFile)

// Writes a line straight into the archive's file.
class CXaRaw : public CVDFile {
  DECLARE_VDFILE(CXaRaw)
  bool Serialize(CXmlArchive& ar) override {
    if (ar.IsStoring()) static_cast<CFile*>(ar)->Write("<raw/>\n", 7);
    return true;
  }
};
IMPLEMENT_VDFILE(CXaRaw, CVDFile)

// Refuses to be added to a parent.
class CXaRefuser : public CVDFile {
  DECLARE_VDFILE(CXaRefuser)
  bool OnCreateFile() override { return false; }
};
IMPLEMENT_VDFILE(CXaRefuser, CVDFile)

std::string Text(const CMemFile& mem) {
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

std::string StoreXml(CVDFile& f) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  EXPECT_TRUE(ar << f);
  return Text(mem);
}

bool LoadXml(const std::string& doc, CVDFile& into) {
  std::string copy = doc;
  CMemFile mem(reinterpret_cast<BYTE*>(copy.empty() ? nullptr : &copy[0]), static_cast<UINT>(copy.size()));
  CXmlArchive ar(&mem, CXmlArchive::load);
  return ar >> into;
}

// Everything the archives keep of a tree, one line per object.
std::string Describe(CVDFile& f, int level = 0) {
  std::string out = std::string(static_cast<size_t>(level), '.') + f.GetClassNameA() + "|" + f.GetName() +
                    "|" + f.GetFileType() + (f.IsNamed() ? "" : "|unnamed");
  if (auto* w = dynamic_cast<CXaWell*>(&f)) {
    out += "|" + std::to_string(w->m_depth) + "|" + w->m_label.GetString() + "|" + std::to_string(w->m_count);
  }
  out += "\n";
  for (int i = 0; i < f.GetFileCount(); ++i) out += Describe(*f.GetFileAt(i), level + 1);
  return out;
}

// A disk with named, typed, unnamed and client objects, some nested.
void BuildTree(CVDisk& disk) {
  CVDFile* wells = disk.CreateFileA("wells", "Folder", nullptr);
  auto* w1 = static_cast<CXaWell*>(wells->CreateFileA("W1", "Well", "CXaWell"));
  w1->m_depth = 1234.5;
  w1->m_label = "say \"hi\" & <bye> 'now'\nsecond line";
  w1->m_count = 7;
  auto* w2 = static_cast<CXaWell*>(wells->CreateFileA("w2", "", "CXaWell"));
  w2->m_depth = -0.125;
  wells->CreateFileA("", "Note", nullptr);                                 // unnamed, typed
  wells->CreateFileA("", "", nullptr)->CreateFileA("deep", "T", nullptr);  // unnamed with a child
  disk.CreateFileA("a b<c>&\"'", "Odd", nullptr);                          // a name unfit for an element
  disk.CreateFileA("#@9", "", nullptr);  // one the reader would take for an index
  disk.CreateFileA("2nd", "", nullptr);  // a leading digit stays as it is
}

TEST(XmlArchiveWriteTest, GoldenDiskDocument) {
  CVDisk disk;  // named and typed "Disk"
  disk.CreateFileA("a", "", nullptr);
  auto* w = static_cast<CXaWell*>(disk.CreateFileA("W", "", "CXaWell"));
  w->m_depth = 2.5;
  w->m_label = "x";
  w->m_count = 3;
  disk.CreateFileA("", "Memo", nullptr);
  // Head; root at no indentation with type and root='true'; children one
  // space in, their data two; the unnamed third child in the index form
  // 2 + 1 = #@3 with named='false', its type written all the same.
  EXPECT_EQ(StoreXml(disk),
            "<?xml version='1.0'?>\n"
            "<Disk class='CVDisk' type='Disk' root='true'>\n"
            " <a class='CVDFile'>\n"
            " </a>\n"
            " <W class='CXaWell'>\n"
            "  <depth>2.5</depth>\n"
            "  <label>x</label>\n"
            "  <ref class='CVDFile'>3</ref>\n"
            " </W>\n"
            " <#@3 class='CVDFile' type='Memo' named='false'>\n"
            " </#@3>\n"
            "</Disk>\n");
}

// A tree's text is gathered before it reaches the file; what a class writes
// to the file itself still lands in its place, and a failing write reaches
// the caller.
TEST(XmlArchiveWriteTest, GatheredTextKeepsItsPlaceAndFailuresPass) {
  CVDisk disk;
  disk.CreateFileA("r", "", "CXaRaw");
  disk.CreateFileA("after", "", nullptr);
  EXPECT_EQ(StoreXml(disk),
            "<?xml version='1.0'?>\n<Disk class='CVDisk' type='Disk' root='true'>\n"
            " <r class='CXaRaw'>\n<raw/>\n </r>\n <after class='CVDFile'>\n </after>\n</Disk>\n");

  const std::string path = ::testing::TempDir() + "vdkit_xml_archive_fault.xml";
  CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
  CXmlArchive ar(&file, CXmlArchive::store);
  CFile::SetFaultHook([](CFile::Op op) { return op == CFile::Op::Write; });
  bool thrown = false;
  try {
    ar << disk;
  } catch (CFileException* e) {
    thrown = true;
    e->Delete();
  }
  CFile::SetFaultHook(nullptr);
  EXPECT_TRUE(thrown);
  ar << "<x/>\n";  // straight to the file again, at depth 0
  EXPECT_EQ(file.GetLength(), 5u);
  file.Close();
  std::remove(path.c_str());
}

TEST(XmlArchiveWriteTest, IndentationStopsAt31Spaces) {
  CVDFile root;
  root.SetName("r");
  CVDFile* f = &root;
  for (int i = 0; i < 40; ++i) f = f->CreateFileA("n", "", nullptr);
  // Start tags: the object at nesting k (root 0) starts after min(k, 31) spaces.
  const std::string doc = StoreXml(root);
  for (size_t k = 0, pos = doc.find('\n') + 1; k <= 40; ++k, pos = doc.find('\n', pos) + 1) {
    EXPECT_EQ(doc.find('<', pos) - pos, k < 31 ? k : 31) << "level " << k;
  }
}

TEST(XmlArchiveWriteTest, VariablesAndTextsAsWritten) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  int n = 42;
  CString s = "a<b & 'c' \"d\">\\";
  CString empty;
  CString tail = "x  ";
  EXPECT_TRUE(ar << CXmlVar("n", n));
  EXPECT_FALSE(ar << CXmlVar("e", empty));  // an empty text writes nothing
  EXPECT_TRUE(ar << CXmlVar("s", s));
  EXPECT_TRUE(ar < CXmlVar("s", s));
  EXPECT_TRUE(ar < CXmlVar("t", tail));
  ar << "\n";
  EXPECT_TRUE(ar.Write("100%% %d%"));  // only %% means something
  const std::string big(5000, 'x');
  EXPECT_TRUE(ar.Print("[%s]%d", big.c_str(), 1));  // far beyond the format's length
  EXPECT_EQ(Text(mem),
            "<n>42</n>\n"
            "<s>a&lt;b &amp; 'c' \"d\"&gt;\\</s>\n"
            // quotes as entities; a final backslash as &#92; (else it escapes the closing quote)
            " s='a&lt;b &amp; &apos;c&apos; &quot;d&quot;&gt;&#92;'"
            " t='x&#32;&#32;'\n"  // the reader trims literal trailing blanks
            "100% %d%[" +
                big + "]1");

  CXmlArchive none(nullptr, CXmlArchive::store);
  EXPECT_FALSE(none << CXmlVar("n", n));
  CVDFile f;
  EXPECT_FALSE(none << f);
  CXmlArchive loading(&mem, CXmlArchive::load);
  EXPECT_FALSE(loading << f);
}

TEST(XmlArchiveObjectTest, TreesRoundTripThroughBothArchives) {
  CVDisk disk;
  BuildTree(disk);
  const std::string expected = Describe(disk);

  CVDisk fromXml;
  fromXml.SetName("Other");
  ASSERT_TRUE(LoadXml(StoreXml(disk), fromXml));
  EXPECT_EQ(Describe(fromXml), expected);
  EXPECT_EQ(StoreXml(fromXml), StoreXml(disk));  // stored again, the same document

  CMemFile mem;
  {
    CArchive out(&mem, CArchive::store);
    ASSERT_TRUE(out << fromXml);
    out.Close();
  }
  mem.SeekToBegin();
  CVDisk fromBinary;
  {
    CArchive in(&mem, CArchive::load);
    ASSERT_TRUE(in >> fromBinary);
  }
  // A binary record keeps no type for an unnamed object.
  std::string expectedBinary = expected;
  const std::string typed = "||Note|unnamed";
  expectedBinary.replace(expectedBinary.find(typed), typed.size(), "|||unnamed");
  EXPECT_EQ(Describe(fromBinary), expectedBinary);
}

// Texts with blanks at their ends, or of blanks only, or with line breaks:
// the document has them as references, and they read back as they were.
TEST(XmlArchiveObjectTest, ValuesKeepTheirBlanks) {
  const char* const labels[] = {" lead", "trail ", "  both  ", "   ", "\n", "\tx\r\ny\n", "in side", "x"};
  CVDisk disk;
  for (const char* label : labels) {
    auto* w = static_cast<CXaWell*>(
        disk.CreateFileA(("w" + std::to_string(disk.GetFileCount())).c_str(), "", "CXaWell"));
    w->m_label = label;
  }
  const std::string doc = StoreXml(disk);
  EXPECT_NE(doc.find("<label>&#32;&#32;both&#32;&#32;</label>"), std::string::npos);
  EXPECT_NE(doc.find("<label>&#32;&#32;&#32;</label>"), std::string::npos);
  EXPECT_NE(doc.find("<label>&#9;x&#13;&#10;y&#10;</label>"), std::string::npos);
  EXPECT_NE(doc.find("<label>in side</label>"), std::string::npos);
  CVDisk back;
  ASSERT_TRUE(LoadXml(doc, back));
  EXPECT_EQ(Describe(back), Describe(disk));
}

// Siblings of one name are distinct objects: each element makes its own,
// unless the parent had a child of that name before the load.
TEST(XmlArchiveObjectTest, SiblingsOfOneNameStayApart) {
  CVDisk disk;
  CVDFile* a = disk.CreateFileA("a", "", nullptr);
  a->CreateFileA("x", "T1", nullptr);
  auto* twin = new CVDFile;  // CreateFileA would give the first x back
  twin->SetName("x");
  twin->SetFileType("T2");
  ASSERT_TRUE(a->AddNewFile(twin));
  CVDFile* b = disk.CreateFileA("b", "", nullptr);
  b->CreateFileA("y", "", nullptr);
  const std::string doc = StoreXml(disk);
  CVDisk fresh;
  ASSERT_TRUE(LoadXml(doc, fresh));
  EXPECT_EQ(Describe(fresh), Describe(disk));
  // Into the tree it came from: each object finds its element, and the
  // first x of the document its first namesake (both elements read into it).
  CVDFile* y = b->GetFileAt(0);
  ASSERT_TRUE(LoadXml(doc, disk));
  EXPECT_EQ(b->GetFileAt(0), y);
  EXPECT_EQ(Describe(disk),
            "CVDisk|Disk|Disk\n.CVDFile|a|\n..CVDFile|x|T2\n..CVDFile|x|T2\n.CVDFile|b|\n..CVDFile|y|\n");
}

TEST(XmlArchiveObjectTest, UnnamedRootAndChildrenStayUnnamed) {
  CVDFile root;
  CVDFile* unnamedRoot = root.CreateFileA("", "T1", nullptr);
  unnamedRoot->CreateFileA("", "T2", nullptr);
  // Written on its own, the unnamed object is a root in the index form #@1.
  const std::string doc = StoreXml(*unnamedRoot);
  EXPECT_EQ(doc,
            "<?xml version='1.0'?>\n"
            "<#@1 class='CVDFile' type='T1' named='false'>\n"
            " <#@1 class='CVDFile' type='T2' named='false'>\n"
            " </#@1>\n"
            "</#@1>\n");
  CVDFile back;
  back.SetName("was named");
  ASSERT_TRUE(LoadXml(doc, back));
  EXPECT_EQ(Describe(back), "CVDFile||T1|unnamed\n.CVDFile||T2|unnamed\n");
}

TEST(XmlArchiveObjectTest, ExistingChildrenAreReusedAndUnknownClassesSkipped) {
  CVDisk disk;
  CVDFile* a = disk.CreateFileA("a", "Old", nullptr);
  CVDFile* keep = a->CreateFileA("keep", "", nullptr);
  const std::string doc =
      "<?xml version='1.0'?>\n<D class='CVDisk' type='Disk'>\n"
      " <A class='CVDFile' type='New'><n class='CVDFile'/></A>\n"
      " <x class='CNoSuchClass'><y class='CVDFile'/></x>\n"
      " <data><z class='CVDFile'/></data>\n"
      " <b class='CVDFile'/>\n <r class='CXaRefuser'/>\n</D>\n";
  ASSERT_TRUE(LoadXml(doc, disk));
  EXPECT_EQ(disk.GetFileAt(0), a);  // reused, renamed and retyped
  EXPECT_EQ(a->GetFileAt(0), keep);
  EXPECT_EQ(Describe(disk), "CVDisk|D|Disk\n.CVDFile|A|New\n..CVDFile|keep|\n..CVDFile|n|\n.CVDFile|b|\n");

  CXaWell well;  // another class at the root: refused
  EXPECT_FALSE(LoadXml(doc, well));
}

TEST(XmlArchiveObjectTest, ChildArchiveLoadsTheNamedObject) {
  std::string doc =
      "<?xml version='1.0'?>\n<set>\n"
      " <w class='CVDFile' type='Wrong'/>\n"
      " <W class='CXaWell' type='Good'><depth>3</depth><k class='CVDFile'/></W>\n"
      " <#@2 class='CVDFile' name='odd name' type='Odd'/>\n"
      "</set>\n";
  CMemFile mem(reinterpret_cast<BYTE*>(&doc[0]), static_cast<UINT>(doc.size()));
  CXmlFileItem root(nullptr);
  CXmlFileParser parser;
  ASSERT_TRUE(parser.ParseXml(&mem, &root));
  CXmlArchive top(&mem, CXmlArchive::load);
  CXmlArchive set(top, root.GetChild(0));
  CXaWell w;
  w.SetName("w");
  ASSERT_TRUE(set >> w);  // the element of both its name and class
  EXPECT_STREQ(w.GetFileType(), "Good");
  EXPECT_EQ(w.m_depth, 3);
  CVDFile odd;
  odd.SetName("Odd Name");
  EXPECT_TRUE(set >> odd);
  EXPECT_STREQ(odd.GetFileType(), "Odd");
}

TEST(XmlArchiveHostileTest, EveryTruncationAndByteFlipIsSafe) {
  CVDisk disk;
  BuildTree(disk);
  const std::string doc = StoreXml(disk);
  // Cut short, the document never loads as whole (what it held may stay);
  // only the final line feed can go without loss.
  for (size_t n = 0; n + 1 < doc.size(); ++n) {
    CVDisk into;
    EXPECT_FALSE(LoadXml(doc.substr(0, n), into)) << n;
  }
  CVDisk whole;
  EXPECT_TRUE(LoadXml(doc.substr(0, doc.size() - 1), whole));
  for (size_t i = 0; i < doc.size(); ++i) {
    for (char c : {'<', '>', '/', '\'', '"', '&', ' ', '\0', '#', '\xff'}) {
      std::string bad = doc;
      bad[i] = c;
      CVDisk into;
      LoadXml(bad, into);
    }
  }
}

TEST(XmlArchiveHostileTest, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  for (int levels : {5000, 30000}) {  // below and far beyond the parser's own limit
    std::string doc = "<?xml version='1.0'?>\n<Disk class='CVDisk'>";
    for (int i = 0; i < levels; ++i) doc += "<n class='CVDFile'>";
    for (int i = 0; i < levels; ++i) doc += "</n>";
    CVDisk disk;
    EXPECT_FALSE(LoadXml(doc + "</Disk>", disk));
    int depth = 0;
    for (CVDFile* f = &disk; f->GetFileCount() > 0; f = f->GetFileAt(0)) ++depth;
    EXPECT_GT(depth, 100);
    EXPECT_LE(depth, kVDFileMaxDepth);
  }
}

}  // namespace
