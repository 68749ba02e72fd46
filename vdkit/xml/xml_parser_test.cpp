#include "vdkit/xml/xml_parser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "vdkit/platform/tree_ctrl.h"

namespace {

// A compact picture of a subtree: name{attributes}="value"(children), with
// siblings separated by blanks; parts that are empty are left out.
std::string Dump(const CXmlItem& item) {
  std::string out;
  for (int i = 0; i < item.GetCount(); ++i) {
    CXmlItem* child = item.GetChild(i);
    if (i) out += ' ';
    out += child->GetName();
    const CXmlAttributes& attrs = child->GetAttributes();
    for (int a = 0; a < attrs.GetCount(); ++a) out += std::string(a ? "," : "{") + attrs.GetAt(a);
    if (attrs.GetCount()) out += '}';
    if (*child->GetValue()) out += std::string("=\"") + child->GetValue() + "\"";
    if (child->GetCount()) out += "(" + Dump(*child) + ")";
  }
  return out;
}

// Parses text in place (no declaration check) into `root`.
CXmlParser::Status ParseInto(const std::string& text, CXmlItem& root, int* offset = nullptr) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back(0);
  CXmlParser parser(buf.data(), &root);
  if (offset) *offset = parser.GetStatusOffset();
  return parser.GetStatus();
}

std::string ParseText(const std::string& text, CXmlParser::Status* status = nullptr) {
  CXmlItem root(nullptr);
  const CXmlParser::Status s = ParseInto(text, root);
  if (status) *status = s;
  return Dump(root);
}

// Parses through ParseXml(CFile*), from a memory file.
bool ParseFile(const std::string& text, CXmlItem& root, CXmlParser& parser) {
  CMemFile file;
  file.Write(text.data(), static_cast<UINT>(text.size()));
  file.SeekToBegin();
  return parser.ParseXml(&file, &root);
}

int Depth(const CXmlItem& root) {
  int depth = 0;
  for (const CXmlItem* item = &root; item->GetCount() > 0; item = item->GetChild(0)) ++depth;
  return depth;
}

std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp ? tmp : "/tmp";
}

TEST(XmlAttributesTest, NamesCompareWithoutCaseAndKeepFirstPlace) {
  CXmlAttributes attrs;
  attrs.Set("Width", "10");
  attrs.Set("ab", "1");
  attrs.Set("a", "x=y");     // a prefix of "ab" is another name; values may hold '='
  attrs.Set("width", "20");  // replaces in place, under the new spelling
  ASSERT_EQ(attrs.GetCount(), 3);
  EXPECT_STREQ(attrs.GetAt(0), "width=20");
  EXPECT_STREQ(attrs.Get("WIDTH"), "20");
  EXPECT_STREQ(attrs.Get("a"), "x=y");
  EXPECT_STREQ(attrs.Get("ab"), "1");
  EXPECT_EQ(attrs.Get("w"), nullptr);
  EXPECT_EQ(attrs.GetAt(3), nullptr);

  CXmlAttributes copy = attrs;
  copy.Remove("AB");
  copy.Remove("missing");
  EXPECT_EQ(copy.GetCount(), 2);
  EXPECT_STREQ(attrs.Get("ab"), "1");
}

TEST(XmlParserTest, ElementsAttributesTextAndSelfClosing) {
  CXmlItem root(nullptr);
  CXmlParser parser;
  ASSERT_TRUE(ParseFile("<?xml version='1.0'?><a x='1' y=\"2\"><b/>text</a>", root, parser));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
  EXPECT_EQ(Dump(root), "a{x=1,y=2}=\"text\"(b)");
  CXmlItem* a = root.GetChild("A");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->GetA("X"), "1");
  EXPECT_EQ(a->GetChild(1), nullptr);

  EXPECT_EQ(ParseText("<a><b/><c /><d x='1'/><e></e></a>"), "a(b c d{x=1} e)");
  // Text split by child elements is joined without separator, each run's
  // blanks trimmed; text outside every element goes to the root.
  EXPECT_EQ(ParseText("<a> x <b/> y </a>"), "a=\"xy\"(b)");
  EXPECT_EQ(ParseText("<a>\n\t one two \r\n<b>in b</b>\n three</a>"), "a=\"one twothree\"(b=\"in b\")");
  CXmlItem top(nullptr);
  ParseInto("hi<a/> tail</x>", top);
  EXPECT_STREQ(top.GetValue(), "hitail");
  // A closing tag closes the innermost element whatever its name; extra
  // closing tags at the top leave later elements under the root.
  EXPECT_EQ(ParseText("<a><b></a><c/>"), "a(b c)");
  EXPECT_EQ(ParseText("</x></y><a/>"), "a");
}

TEST(XmlParserTest, AttributeValuesQuotedEitherWayOrNot) {
  EXPECT_EQ(ParseText("<e a=1 b = '2'/>"), "e{a=1,b=2}");
  // Only the opening quote closes the value (a="it's" once read as "it").
  EXPECT_EQ(ParseText("<e a=\"it's\" b='say \"hi\"'/>"), "e{a=it's,b=say \"hi\"}");
  // A backslash keeps a quote from closing and stays in the value.
  EXPECT_EQ(ParseText("<e a='it\\'s' b=2/>"), "e{a=it\\'s,b=2}");
  // A repeated name replaces the earlier value; trailing blanks go.
  EXPECT_EQ(ParseText("<e a='1' B='2' A=' 3 '/>"), "e{A= 3,B=2}");
  // Attributes without values: the text up to an '=' is the name; a name
  // without '=' ends the list.
  EXPECT_EQ(ParseText("<e x y='1' z/>"), "e{x y=1}");
  EXPECT_EQ(ParseText("<e x= y='1'/>"), "e{x=y='1'}");
  EXPECT_EQ(ParseText("<e x=/>"), "e{x=}");
  EXPECT_EQ(ParseText("<e x='unclosed/>"), "e{x=unclosed}");
}

TEST(XmlParserTest, DecodesEntitiesCommentsCdataAndDoctypes) {
  EXPECT_EQ(ParseText("<a>&lt;b&gt; &amp; &quot;q&quot; &apos;s&apos; &#65;&#x42;&#X43;&#233;</a>"),
            "a=\"<b> & \"q\" 's' ABC\xE9\"");
  EXPECT_EQ(ParseText("<a v='&lt;&amp;&#39;&quot;'/>"), "a{v=<&'\"}");
  // Anything else stays as written.
  EXPECT_EQ(ParseText("<a>&nbsp; &#0; &#256; &#x; &lt &LT; a&b &#65</a>"),
            "a=\"&nbsp; &#0; &#256; &#x; &lt &LT; a&b &#65\"");
  // Comments, CDATA sections and internal subsets may hold '>'.
  EXPECT_EQ(ParseText("<a><!-- x > y -- z --><b/></a>"), "a(b)");
  EXPECT_EQ(ParseText("<a>1<![CDATA[ <b> &amp; </b> ]]>2</a>"), "a=\"1 <b> &amp; </b>2\"");
  EXPECT_EQ(ParseText("<!DOCTYPE r [ <!ENTITY e 'x'> ]><?pi x?><r/>"), "r");
}

// A file that claims more bytes than a 32-bit length can count.
class HugeFile : public CMemFile {
 public:
  ULONGLONG GetLength() const override { return 3ULL << 30; }
  UINT Read(void*, UINT) override {
    ADD_FAILURE() << "read before the length was checked";
    return 0;
  }
};

TEST(XmlParserTest, FilesNeedTheDeclaration) {
  CXmlParser parser;
  CXmlItem root(nullptr);
  EXPECT_FALSE(ParseFile("<a/>", root, parser));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::noDeclaration);
  EXPECT_FALSE(ParseFile("<?xm version='1.0'?><a/>", root, parser));
  EXPECT_FALSE(ParseFile("<", root, parser));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::noDocument);
  EXPECT_FALSE(parser.ParseXml(static_cast<CFile*>(nullptr), &root));
  HugeFile huge;
  EXPECT_FALSE(parser.ParseXml(&huge, &root));
  EXPECT_EQ(root.GetCount(), 0);

  // Blanks and a UTF-8 byte order mark may come first; 126 blank bytes hold
  // no first word at all and pass.
  EXPECT_TRUE(ParseFile(" \r\n\t<?xml version='1.0'?><a/>", root, parser));
  EXPECT_TRUE(ParseFile("\xEF\xBB\xBF<?xml version='1.0'?><b/>", root, parser));
  EXPECT_TRUE(ParseFile(std::string(130, ' ') + "<c/>", root, parser));
  // Reading starts at the file's position.
  CMemFile file;
  file.Write("junk<?xml?><d/>", 15);
  file.Seek(4, CFile::begin);
  EXPECT_TRUE(parser.ParseXml(&file, &root));
  EXPECT_EQ(Dump(root), "a b c d");
}

// Records what GetAbsPath answers while the file is parsed.
class PathParser : public CXmlParser {
 public:
  CXmlItem* CreateObj(CXmlItem* parent) override {
    m_result = GetAbsPath("..\\shared\\x.txt", m_path);
    return CXmlParser::CreateObj(parent);
  }
  CString m_path;
  bool m_result = false;
};

TEST(XmlParserTest, FilesByPathAndPathsRelativeToThem) {
  const std::string dir = TempDir() + "/vdkit_xml_" + std::to_string(::getpid());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string path = dir + "/doc.xml";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("<?xml version='1.0'?>\n<job id='7'><arg>x</arg></job>\n", f);
  std::fclose(f);

  PathParser parser;
  CXmlItem root(nullptr);
  ASSERT_TRUE(parser.ParseXml(path.c_str(), &root));
  EXPECT_EQ(Dump(root), "job{id=7}(arg=\"x\")");
  EXPECT_TRUE(parser.m_result);
  EXPECT_EQ(parser.m_path, TempDir() + "/shared\\x.txt");
  // A file without a path (in memory), and no parse at all.
  ParseFile("<?xml?><a/>", root, parser);
  EXPECT_FALSE(parser.m_result);
  EXPECT_EQ(parser.m_path, "..\\shared\\x.txt");
  CString out;
  EXPECT_TRUE(parser.GetAbsPath("y.txt", out));
  EXPECT_EQ(out, "y.txt");

  std::remove(path.c_str());
  ::rmdir(dir.c_str());
  EXPECT_FALSE(parser.ParseXml(path.c_str(), &root));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::noDocument);
}

TEST(XmlParserTest, DeepNestingParsesUpToTheLimit) {
  auto doc = [](int open, int close) {
    std::string s;
    for (int i = 0; i < open; ++i) s += "<n>";
    for (int i = 0; i < close; ++i) s += "</n>";
    return s;
  };
  CXmlItem shallow(nullptr);  // past the first growth step of the stack
  EXPECT_EQ(ParseInto(doc(300, 300), shallow), CXmlParser::ok);
  EXPECT_EQ(Depth(shallow), 300);

  CXmlItem full(nullptr);
  EXPECT_EQ(ParseInto(doc(CXmlParser::kMaxDepth, CXmlParser::kMaxDepth), full), CXmlParser::ok);
  EXPECT_EQ(Depth(full), CXmlParser::kMaxDepth);
  CXmlItem copy(nullptr);
  copy = full;  // copied without recursion
  EXPECT_EQ(Depth(copy), CXmlParser::kMaxDepth);

  // One deeper stops at the start tag past the limit, keeping what was
  // built; a million open tags end there just as quickly.
  for (int open : {CXmlParser::kMaxDepth + 1, 1000000}) {
    CXmlItem root(nullptr);
    int offset = 0;
    EXPECT_EQ(ParseInto(doc(open, 0), root, &offset), CXmlParser::tooDeep);
    EXPECT_EQ(offset, 3 * CXmlParser::kMaxDepth);
    EXPECT_EQ(Depth(root), CXmlParser::kMaxDepth);
  }

  // Trees built by hand far deeper are destroyed without recursion.
  CXmlItem chain(nullptr);
  CXmlItem* item = &chain;
  for (int i = 0; i < 200000; ++i) item = new CXmlItem(item);
  chain.DeleteAll();
  EXPECT_EQ(chain.GetCount(), 0);
  for (int i = 0; i < 200000; ++i) item = new CXmlItem(i ? item : &chain);
}

// Every construct of this document, cut short inside, keeps exactly the
// complete parts before the cut, and says why it stopped.
TEST(XmlParserTest, EveryConstructCutShortKeepsWhatWasComplete) {
  const std::string doc =
      "<?xml version='1.0'?>\n"
      "<!-- c > d -->\n"
      "<r k='v' m=\"w\">\n"
      " <e a='1'/>\n"
      " t &amp; u\n"
      " <![CDATA[x<y]]>\n"
      " <f>g</f>\n"
      "</r>\n";
  using S = CXmlParser;
  struct Row {
    const char* cutAfter;  // the prefix ends just after this text's first occurrence
    S::Status status;
    const char* tree;
  };
  const Row rows[] = {
      {"<", S::unterminatedTag, ""},
      {"<?xml vers", S::unterminatedTag, ""},
      {"'1.0'?>", S::ok, ""},
      {"<!-", S::unterminatedTag, ""},
      {"<!-- c >", S::unterminatedComment, ""},
      {"d --", S::unterminatedComment, ""},
      {"d -->", S::ok, ""},
      {"<r", S::unterminatedTag, ""},
      {"<r k='", S::unterminatedTag, ""},
      {"m=\"w", S::unterminatedTag, ""},
      {"m=\"w\">", S::unclosedElements, "r{k=v,m=w}"},
      {"<e a='1'", S::unterminatedTag, "r{k=v,m=w}"},
      {"<e a='1'/", S::unterminatedTag, "r{k=v,m=w}"},
      {"<e a='1'/>", S::unclosedElements, "r{k=v,m=w}(e{a=1})"},
      {" t &am", S::trailingText, "r{k=v,m=w}(e{a=1})"},
      {"<![CDA", S::unterminatedTag, "r{k=v,m=w}=\"t & u\"(e{a=1})"},
      {"<![CDATA[x<y]", S::unterminatedComment, "r{k=v,m=w}=\"t & u\"(e{a=1})"},
      {"<![CDATA[x<y]]>", S::unclosedElements, "r{k=v,m=w}=\"t & ux<y\"(e{a=1})"},
      {"<f>", S::unclosedElements, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f)"},
      {"<f>g", S::trailingText, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f)"},
      {"<f>g</f", S::unterminatedTag, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
      {"</r", S::unterminatedTag, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
      {"</r>", S::ok, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cutAfter);
    const size_t at = doc.find(row.cutAfter);
    ASSERT_NE(at, std::string::npos);
    CXmlParser::Status status;
    EXPECT_EQ(ParseText(doc.substr(0, at + std::strlen(row.cutAfter)), &status), row.tree);
    EXPECT_EQ(status, row.status);
  }
  // Every length through the file reader (AddressSanitizer watches the ends).
  for (size_t n = 0; n <= doc.size(); ++n) {
    CXmlItem root(nullptr);
    CXmlParser parser;
    EXPECT_EQ(ParseFile(doc.substr(0, n), root, parser), n >= 5) << n;  // "<?xml" needs 5
  }
  // Where it stopped: at the '<' of the unterminated tag or nameless start tag.
  int offset = 0;
  CXmlItem root(nullptr);
  EXPECT_EQ(ParseInto("<a><b x='1'></b><c", root, &offset), S::unterminatedTag);
  EXPECT_EQ(offset, 16);
  EXPECT_EQ(ParseInto("<a>< />", root, &offset), S::missingName);
  EXPECT_EQ(offset, 3);
  EXPECT_STRNE(CXmlParser::StatusText(S::missingName), "");
  EXPECT_EQ(CXmlParser().GetStatus(), S::notParsed);
  char text[] = "<a/>";
  EXPECT_EQ(CXmlParser(text, nullptr).GetStatus(), S::noRoot);
}

TEST(XmlParserTest, HostileInputNeitherCrashesNorHangs) {
  const char* cases[] = {
      "<",     "<<<<",      ">>>>",         "<a",          "<a x",          "<a x=",       "<a x='",
      "<=>",   "<>",        "</>",          "<//><///>",   "&#x",           "<a>&#99999",  "<!---->",
      "<!-->", "<![CDATA[", "<![CDATA[]]>", "<!DOCTYPE [", "<!DOCTYPE [ ]", "<a b='\\'/>", "<?"};
  for (const char* text : cases) {
    ParseText(text);
    CXmlItem root(nullptr);
    CXmlParser parser;
    ParseFile(std::string("<?xml?>") + text, root, parser);
  }
  // Binary junk, junk made of the grammar's own bytes, and a document with
  // each byte in turn replaced by one of those.
  std::mt19937 rng(12345);
  const char alphabet[] = "<>/='\"!?[]-& \tab\xFF";
  for (int round = 0; round < 200; ++round) {
    std::string junk(1 + rng() % 300, ' ');
    for (char& c : junk) c = round % 2 ? static_cast<char>(rng()) : alphabet[rng() % (sizeof(alphabet) - 1)];
    ParseText(junk);
  }
  const std::string doc =
      "<?xml version='1.0'?>\n<r k='v'><!-- c --><e a=\"1\"/>t &amp;<![CDATA[x]]><f>g</f></r>";
  for (size_t i = 0; i < doc.size(); ++i) {
    for (char c : std::string(alphabet, sizeof alphabet)) {  // the terminator included
      std::string bad = doc;
      bad[i] = c;
      CXmlItem root(nullptr);
      CXmlParser parser;
      ParseFile(bad, root, parser);
    }
  }
}

TEST(XmlParserTest, ManyAttributesInOneTagStayLinear) {
  std::string doc = "<a";
  const int count = 200000;
  for (int i = 0; i < count; ++i) doc += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
  doc += " N7='again' n199999=last/>";
  CXmlItem root(nullptr);
  ParseInto(doc, root);
  CXmlAttributes& attrs = root.GetChild(0)->GetAttributes();
  EXPECT_EQ(attrs.GetCount(), count);
  EXPECT_STREQ(attrs.GetAt(7), "N7=again");
  EXPECT_STREQ(attrs.Get("n199999"), "last");
  EXPECT_STREQ(attrs.Get("n1234"), "1234");
}

// A file still being written: it reports fewer bytes than it holds, so the
// parser reads on in chunks while it looks for the end of a comment.
class GrowingFile : public CMemFile {
 public:
  explicit GrowingFile(ULONGLONG reported) : m_reported(reported) {}
  ULONGLONG GetLength() const override { return m_reported; }

 private:
  ULONGLONG m_reported;
};

TEST(XmlParserTest, CommentsAreReadOnFromAGrowingFile) {
  std::string doc = "<?xml version='1.0'?><a><!--";
  const size_t reported = doc.size() + 10;
  doc += std::string(5000, 'x') + "-->text<b/></a>";
  for (size_t cut : {size_t(0), size_t(30)}) {
    GrowingFile file(reported);
    file.Write(doc.data(), static_cast<UINT>(doc.size() - cut));
    file.SeekToBegin();
    CXmlItem root(nullptr);
    CXmlParser parser;
    EXPECT_TRUE(parser.ParseXml(&file, &root));
    EXPECT_EQ(parser.GetStatus(), cut ? CXmlParser::unterminatedComment : CXmlParser::ok);
    EXPECT_EQ(Dump(root), cut ? "a" : "a=\"text\"(b)");
  }
}

TEST(XmlItemTest, CopiesAreDeepAndIndependent) {
  CXmlItem root(nullptr);
  root.SetName("r");
  ParseInto("<a x='1'>va<b y='2'>vb<c/></b><d/></a>", root);
  CXmlItem* a = root.GetChild(0);
  a->SetLoaded(3);

  CXmlItem copy(nullptr);
  copy = *a;
  EXPECT_STREQ(copy.GetName(), "a");
  EXPECT_STREQ(copy.GetValue(), "va");
  EXPECT_STREQ(copy.GetA("x"), "1");
  EXPECT_EQ(copy.GetLoaded(), 3);
  EXPECT_EQ(Dump(copy), "b{y=2}=\"vb\"(c) d");
  copy.GetChild(0)->GetAttributes().Set("y", "9");
  copy.DeleteAll();
  EXPECT_EQ(Dump(root), "a{x=1}=\"va\"(b{y=2}=\"vb\"(c) d)");

  // A node may take a copy of its own descendant, or of its ancestor.
  *a = *a->GetChild(0);
  EXPECT_EQ(Dump(root), "b{y=2}=\"vb\"(c)");
  *root.GetChild(0)->GetChild(0) = root;
  EXPECT_EQ(Dump(root), "b{y=2}=\"vb\"(r(b{y=2}=\"vb\"(c)))");

  // RemoveAt hands the child over without destroying it.
  CXmlItem* first = root.GetChild(0);
  root.RemoveAt(0);
  root.RemoveAt(5);
  EXPECT_EQ(root.GetCount(), 0);
  delete first;
}

// A parser that makes nodes of its own class, as the XML archive does.
class CountingItem : public CXmlItem {
 public:
  CountingItem(CXmlItem* parent, int* live, const CString& tag) : CXmlItem(parent), m_live(live), m_tag(tag) {
    ++*m_live;
  }
  ~CountingItem() override { --*m_live; }
  int* m_live;
  CString m_tag;
};

class CountingParser : public CXmlParser {
 public:
  CXmlItem* CreateObj(CXmlItem* parent) override {
    if (m_strTag == "refuse") return nullptr;
    if (m_strTag == "nested") {
      CXmlItem other(nullptr);
      m_nestedResult = ParseFile("<?xml?><x/>", other, *this);
    }
    return new CountingItem(parent, &m_live, m_strTag);
  }
  int m_live = 0;
  bool m_nestedResult = true;
};

TEST(XmlParserTest, SubclassesMakeTheirOwnNodes) {
  CountingParser parser;
  {
    CXmlItem root(nullptr);
    ASSERT_TRUE(ParseFile("<?xml?><a><b/><nested/></a><refuse/><c/>", root, parser));
    EXPECT_EQ(parser.GetStatus(), CXmlParser::nodeRefused);
    EXPECT_EQ(Dump(root), "a(b nested)");
    EXPECT_FALSE(parser.m_nestedResult);  // a parse inside a parse is refused
    EXPECT_EQ(parser.m_live, 3);
    auto* b = dynamic_cast<CountingItem*>(root.GetChild(0)->GetChild(0));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_tag, "b");
  }
  EXPECT_EQ(parser.m_live, 0);
  // Copies start idle.
  CXmlParser copy(parser);
  EXPECT_EQ(copy.GetStatus(), CXmlParser::nodeRefused);
  CXmlItem other(nullptr);
  EXPECT_TRUE(ParseFile("<?xml?><z/>", other, copy));
}

TEST(XmlParserTest, EntriesAndTextKeepTheirBytesWhenBuiltInPlace) {
  // Each entry is joined up in the document buffer: blanks around '=', a
  // decoded value shorter than written, and the next attribute right behind.
  EXPECT_EQ(ParseText("<e a  =  'x&amp;y'   b=\"2\" c = v&lt;w d='4' a='5&#33;'/>"), "e{a=5!,b=2,c=v<w,d=4}");
  EXPECT_EQ(ParseText("<e a='1'b='2'/>"), "e{a=1,b=2}");
  // Text trimmed once it is whole: a decoded blank at the end, blanks at the
  // start of a CDATA section, a run after a child.
  EXPECT_EQ(ParseText("<a>x&#32;</a><b><![CDATA[  y ]]></b><c> p <d/> q&#9;</c>"),
            "a=\"x\" b=\"y\" c=\"pq\"(d)");
}

// Nodes of subclasses of every size share the blocks the base class carves.
class PaddedItem : public CXmlItem {
 public:
  PaddedItem(CXmlItem* parent, size_t size, unsigned char fill) : CXmlItem(parent), m_pad(size, fill) {
    // The padding lies in the node itself, right next to its neighbours.
    std::memset(m_bytes, fill, sizeof(m_bytes));
  }
  bool Intact(unsigned char fill) const {
    for (unsigned char b : m_bytes)
      if (b != fill) return false;
    return true;
  }
  std::vector<unsigned char> m_pad;
  unsigned char m_bytes[200];
};

class BigItem : public CXmlItem {
 public:
  explicit BigItem(CXmlItem* parent) : CXmlItem(parent) { std::memset(m_bytes, 0x5A, sizeof(m_bytes)); }
  unsigned char m_bytes[40000];  // larger than a block
};

class alignas(128) AlignedItem : public CXmlItem {
 public:
  explicit AlignedItem(CXmlItem* parent) : CXmlItem(parent) {}
};

TEST(XmlItemTest, NodesOfAnySizeAreCarvedApartAndDeletedOneByOne) {
  CXmlItem root(nullptr);
  std::vector<CXmlItem*> nodes;
  for (int i = 0; i < 3000; ++i) {
    CXmlItem* item;
    switch (i % 4) {
      case 0:
        item = new CXmlItem(&root);
        break;
      case 1:
        item = new PaddedItem(&root, 3, static_cast<unsigned char>(i));
        break;
      case 2:
        item = new BigItem(&root);
        break;
      default:
        item = new AlignedItem(&root);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(item) % 128, 0u);
        break;
    }
    item->SetName(std::to_string(i).c_str());
    nodes.push_back(item);
  }
  // Delete every other node out of order: the rest are untouched.
  for (int i = 2999; i >= 0; i -= 2) {
    root.RemoveAt(i);
    delete nodes[static_cast<size_t>(i)];
  }
  ASSERT_EQ(root.GetCount(), 1500);
  for (int i = 0; i < 1500; ++i) {
    CXmlItem* item = root.GetChild(i);
    EXPECT_EQ(item, nodes[static_cast<size_t>(2 * i)]);
    EXPECT_STREQ(item->GetName(), std::to_string(2 * i).c_str());
    if (auto* padded = dynamic_cast<PaddedItem*>(item)) {
      EXPECT_TRUE(padded->Intact(static_cast<unsigned char>(2 * i))) << i;
    }
  }

  // The other forms of new.
  CXmlItem* quiet = new (std::nothrow) CXmlItem(&root);
  ASSERT_NE(quiet, nullptr);
  alignas(CXmlItem) unsigned char storage[sizeof(CXmlItem)];
  CXmlItem* placed = new (storage) CXmlItem(nullptr);
  placed->SetName("placed");
  EXPECT_STREQ(placed->GetName(), "placed");
  placed->~CXmlItem();
  std::unique_ptr<CXmlItem> owned(new PaddedItem(nullptr, 100, 7));
  EXPECT_EQ(root.GetCount(), 1501);
}

TEST(XmlItemTest, NodesOutliveTheThreadThatMadeThem) {
  // Trees parsed in threads that end, then freed here, in another order.
  constexpr int kThreads = 4;
  std::vector<std::unique_ptr<CXmlItem>> roots;
  for (int i = 0; i < kThreads; ++i) roots.emplace_back(new CXmlItem(nullptr));
  std::string doc;
  for (int i = 0; i < 2000; ++i) doc += "<r i='" + std::to_string(i) + "'><c>text</c></r>";
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&doc, &roots, i] { ParseInto(doc, *roots[static_cast<size_t>(i)]); });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_EQ(roots[static_cast<size_t>(i)]->GetCount(), 2000);
    EXPECT_STREQ(roots[static_cast<size_t>(i)]->GetChild(1999)->GetA("i"), "1999");
  }
  // Half of one tree freed by a thread that made none of it, while another
  // thread carves new nodes.
  std::thread freer([&roots] {
    CXmlItem* root = roots[0].get();
    while (root->GetCount() > 1000) {
      CXmlItem* last = root->GetChild(root->GetCount() - 1);
      root->RemoveAt(root->GetCount() - 1);
      delete last;
    }
  });
  std::thread maker([&roots] {
    for (int i = 0; i < 5000; ++i) new CXmlItem(roots[1].get());
  });
  freer.join();
  maker.join();
  EXPECT_EQ(roots[0]->GetCount(), 1000);
  EXPECT_STREQ(roots[0]->GetChild(999)->GetChild(0)->GetValue(), "text");
  EXPECT_EQ(roots[1]->GetCount(), 7000);
  roots.clear();
}

TEST(XmlItemTest, AddToTreeMirrorsTheSubtree) {
  CXmlItem root(nullptr);
  ParseInto("<a x='1' y='2'><b/><c z='3'><d/></c></a>", root);
  CXmlItem* a = root.GetChild(0);
  CTreeCtrl tree;
  HTREEITEM top = tree.InsertItem("top");
  a->AddToTree(tree, top);
  HTREEITEM ia = tree.GetChildItem(top);
  EXPECT_EQ(tree.GetItemText(ia), "a[x=1 y=2] ");
  EXPECT_EQ(tree.GetItemData(ia), reinterpret_cast<DWORD_PTR>(a));
  HTREEITEM ib = tree.GetChildItem(ia);
  EXPECT_EQ(tree.GetItemText(ib), "b");
  HTREEITEM ic = tree.GetNextSiblingItem(ib);
  EXPECT_EQ(tree.GetItemText(ic), "c[z=3] ");
  EXPECT_EQ(tree.GetItemData(tree.GetChildItem(ic)),
            reinterpret_cast<DWORD_PTR>(a->GetChild(1)->GetChild(0)));
  EXPECT_EQ(tree.GetCount(), 5u);
  // A parent that is not an item: nothing.
  HTREEITEM gone = tree.InsertItem("gone");
  tree.DeleteItem(gone);
  a->AddToTree(tree, gone);
  EXPECT_EQ(tree.GetCount(), 5u);

  // At the top of a control, a subtree deeper than recursion would allow.
  CXmlItem deep(nullptr);
  CXmlItem* item = &deep;
  for (int i = 0; i < 20000; ++i) item = new CXmlItem(item);
  CTreeCtrl other;
  deep.AddToTree(other, nullptr);
  EXPECT_EQ(other.GetCount(), 20001u);
}

#if defined(__SANITIZE_ADDRESS__)
// Nodes share blocks; a deleted node must still be caught when touched while
// its neighbours keep the block alive.
TEST(XmlItemDeathTest, ADeletedNodeIsPoisonedWhileItsBlockLives) {
  CXmlItem root(nullptr);
  auto* before = new CXmlItem(&root);
  auto* gone = new CXmlItem(nullptr);
  auto* after = new CXmlItem(&root);
  (void)before;
  (void)after;
  delete gone;
  EXPECT_DEATH(
      {
        volatile char* p = reinterpret_cast<volatile char*>(gone);
        p[sizeof(void*)] = 1;
      },
      "use-after-poison");
}
#endif

}  // namespace
