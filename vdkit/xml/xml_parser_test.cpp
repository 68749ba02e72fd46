#include "vdkit/xml/xml_parser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/platform/tree_ctrl.h"

namespace {

// A compact picture of a subtree: name{attributes}="value"(children), with
// siblings separated by blanks; parts that are empty are left out.
std::string Dump(const CXmlItem& item) {
  std::string out;
  for (int i = 0; i < item.GetCount(); ++i) {
    const CXmlItem* child = item.GetChild(i);
    if (i) out += ' ';
    out += child->GetName();
    const CXmlAttributes& attrs = const_cast<CXmlItem*>(child)->GetAttributes();
    if (attrs.GetCount()) {
      out += '{';
      for (int a = 0; a < attrs.GetCount(); ++a) {
        if (a) out += ',';
        out += attrs.GetAt(a);
      }
      out += '}';
    }
    if (*child->GetValue()) out += std::string("=\"") + child->GetValue() + "\"";
    if (child->GetCount()) out += "(" + Dump(*child) + ")";
  }
  return out;
}

// Parses text in place (no declaration check) and gives the picture.
std::string ParseText(const std::string& text, CXmlParser::Status* status = nullptr) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back(0);
  CXmlItem root(nullptr);
  CXmlParser parser(buf.data(), &root);
  if (status) *status = parser.GetStatus();
  return Dump(root);
}

// Parses through ParseXml(CFile*), from a memory file.
bool ParseFile(const std::string& text, CXmlItem& root, CXmlParser& parser) {
  CMemFile file;
  file.Write(text.data(), static_cast<UINT>(text.size()));
  file.SeekToBegin();
  return parser.ParseXml(&file, &root);
}

std::string Nested(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "<n>";
  for (int i = 0; i < depth; ++i) s += "</n>";
  return s;
}

int Depth(const CXmlItem& root) {
  int depth = 0;
  for (const CXmlItem* item = &root; item->GetCount() > 0; item = item->GetChild(0)) ++depth;
  return depth;
}

TEST(XmlAttributesTest, NamesCompareWithoutCaseAndKeepFirstPlace) {
  CXmlAttributes attrs;
  attrs.Set("Width", "10");
  attrs.Set("ab", "1");
  attrs.Set("a", "2");  // a prefix of "ab" is another name
  EXPECT_STREQ(attrs.Get("WIDTH"), "10");
  EXPECT_STREQ(attrs.Get("a"), "2");
  EXPECT_STREQ(attrs.Get("ab"), "1");
  EXPECT_EQ(attrs.Get("w"), nullptr);

  attrs.Set("width", "20");  // replaces in place, under the new spelling
  ASSERT_EQ(attrs.GetCount(), 3);
  EXPECT_STREQ(attrs.GetAt(0), "width=20");
  EXPECT_EQ(attrs.GetAt(3), nullptr);
  EXPECT_EQ(attrs.GetAt(-1), nullptr);

  attrs.Set("eq", "x=y");  // the value may hold '='
  EXPECT_STREQ(attrs.Get("eq"), "x=y");

  CXmlAttributes copy = attrs;
  copy.Remove("AB");
  EXPECT_EQ(copy.Get("ab"), nullptr);
  EXPECT_STREQ(attrs.Get("ab"), "1");
  copy.Remove("missing");
  EXPECT_EQ(copy.GetCount(), 3);
  copy.Empty();
  EXPECT_EQ(copy.GetCount(), 0);
}

TEST(XmlParserTest, ReadsElementsAttributesAndText) {
  CXmlItem root(nullptr);
  CXmlParser parser;
  ASSERT_TRUE(ParseFile("<?xml version='1.0'?><a x='1' y=\"2\"><b/>text</a>", root, parser));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
  EXPECT_EQ(Dump(root), "a{x=1,y=2}=\"text\"(b)");
  CXmlItem* a = root.GetChild("A");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->GetA("X"), "1");
  EXPECT_EQ(a->GetA("z"), nullptr);
  EXPECT_EQ(a->GetChild(1), nullptr);
  EXPECT_EQ(a->GetChild("c"), nullptr);
}

TEST(XmlParserTest, AttributeValuesQuotedEitherWayOrNot) {
  EXPECT_EQ(ParseText("<e a=1 b = '2'/>"), "e{a=1,b=2}");
  // Only the opening quote closes the value.
  EXPECT_EQ(ParseText("<e a=\"it's\" b='say \"hi\"'/>"), "e{a=it's,b=say \"hi\"}");
  // A backslash keeps a quote from closing and stays in the value.
  EXPECT_EQ(ParseText("<e a='it\\'s' b=2/>"), "e{a=it\\'s,b=2}");
  // A repeated name replaces the earlier value; blanks around names and at
  // the end of values go.
  EXPECT_EQ(ParseText("<e a='1' B='2' A=' 3 '/>"), "e{A= 3,B=2}");
  // Attributes without values: the text up to an '=' is the name; a name
  // without '=' ends the list.
  EXPECT_EQ(ParseText("<e x y='1' z/>"), "e{x y=1}");
  EXPECT_EQ(ParseText("<e x= y='1'/>"), "e{x=y='1'}");
  EXPECT_EQ(ParseText("<e x=/>"), "e{x=}");
  EXPECT_EQ(ParseText("<e x='unclosed/>"), "e{x=unclosed}");
}

TEST(XmlParserTest, TextSplitByChildrenIsJoinedWithoutSeparator) {
  EXPECT_EQ(ParseText("<a> x <b/> y </a>"), "a=\"xy\"(b)");
  EXPECT_EQ(ParseText("<a>\n\t one two \r\n<b>in b</b>\n three</a>"), "a=\"one twothree\"(b=\"in b\")");
  // Text outside every element goes to the root; text before the first
  // element goes there too.
  std::vector<char> doc = {'h', 'i', '<', 'a', '/', '>', ' ', 't', 'a', 'i', 'l', '<', '/', 'x', '>', 0};
  CXmlItem root(nullptr);
  CXmlParser parser(doc.data(), &root);
  EXPECT_STREQ(root.GetValue(), "hitail");
}

TEST(XmlParserTest, SelfClosingElementsTakeNoChildren) {
  EXPECT_EQ(ParseText("<a><b/><c /><d x='1'/><e></e></a>"), "a(b c d{x=1} e)");
  // A closing tag closes the innermost element whatever its name; extra
  // closing tags at the top leave later elements under the root.
  EXPECT_EQ(ParseText("<a><b></a><c/>"), "a(b c)");
  EXPECT_EQ(ParseText("</x></y><a/>"), "a");
}

TEST(XmlParserTest, DeclarationIsRequiredFromFiles) {
  CXmlParser parser;
  {
    CXmlItem root(nullptr);
    EXPECT_FALSE(ParseFile("<a/>", root, parser));
    EXPECT_EQ(parser.GetStatus(), CXmlParser::noDeclaration);
    EXPECT_EQ(root.GetCount(), 0);
  }
  {
    CXmlItem root(nullptr);
    EXPECT_FALSE(ParseFile("<?xm version='1.0'?><a/>", root, parser));
    EXPECT_FALSE(ParseFile("<", root, parser));
    EXPECT_EQ(parser.GetStatus(), CXmlParser::noDocument);
    EXPECT_FALSE(parser.ParseXml(static_cast<CFile*>(nullptr), &root));
    EXPECT_EQ(root.GetCount(), 0);
  }
  {
    // Blanks before the declaration, and a UTF-8 byte order mark, are fine.
    CXmlItem root(nullptr);
    EXPECT_TRUE(ParseFile(" \r\n\t<?xml version='1.0'?><a/>", root, parser));
    EXPECT_TRUE(ParseFile("\xEF\xBB\xBF<?xml version='1.0'?><b/>", root, parser));
    EXPECT_EQ(Dump(root), "a b");
  }
  {
    // The declaration is the first word of the first 126 bytes; a document
    // of blanks only there has no first word and passes.
    CXmlItem root(nullptr);
    EXPECT_TRUE(ParseFile(std::string(130, ' ') + "<a/>", root, parser));
    EXPECT_EQ(Dump(root), "a");
  }
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

TEST(XmlParserTest, HugeDocumentsAreRefusedBeforeAnythingIsRead) {
  HugeFile file;
  CXmlItem root(nullptr);
  CXmlParser parser;
  EXPECT_FALSE(parser.ParseXml(&file, &root));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::noDocument);
}

TEST(XmlParserTest, ParsesFilesByPath) {
  const char* dir = std::getenv("TMPDIR");
  const std::string path =
      std::string(dir ? dir : "/tmp") + "/vdkit_xml_" + std::to_string(::getpid()) + ".xml";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("<?xml version='1.0'?>\n<job id='7'><arg>x</arg></job>\n", f);
  std::fclose(f);

  CXmlItem root(nullptr);
  CXmlParser parser;
  EXPECT_TRUE(parser.ParseXml(path.c_str(), &root));
  EXPECT_EQ(Dump(root), "job{id=7}(arg=\"x\")");
  std::remove(path.c_str());
  EXPECT_FALSE(parser.ParseXml(path.c_str(), &root));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::noDocument);
}

TEST(XmlParserTest, ReadsFromTheFilePositionOn) {
  CMemFile file;
  const std::string text = "junk<?xml version='1.0'?><a/>";
  file.Write(text.data(), static_cast<UINT>(text.size()));
  file.Seek(4, CFile::begin);
  CXmlItem root(nullptr);
  CXmlParser parser;
  EXPECT_TRUE(parser.ParseXml(&file, &root));
  EXPECT_EQ(Dump(root), "a");
}

TEST(XmlParserTest, DecodesEntitiesAndCharacterReferences) {
  EXPECT_EQ(ParseText("<a>&lt;b&gt; &amp; &quot;q&quot; &apos;s&apos; &#65;&#x42;&#X43;</a>"),
            "a=\"<b> & \"q\" 's' ABC\"");
  EXPECT_EQ(ParseText("<a v='&lt;&amp;&#39;&quot;'/>"), "a{v=<&'\"}");
  // Anything we do not decode stays as written.
  EXPECT_EQ(ParseText("<a>&nbsp; &#0; &#256; &#x; &lt &LT; a&b &#65</a>"),
            "a=\"&nbsp; &#0; &#256; &#x; &lt &LT; a&b &#65\"");
  // Decoded bytes above 127 are bytes of the host's code page.
  EXPECT_EQ(ParseText("<a>&#233;</a>"), "a=\"\xE9\"");
}

TEST(XmlParserTest, CommentsCdataAndDoctypesMayHoldAngleBrackets) {
  EXPECT_EQ(ParseText("<a><!-- x > y -- z --><b/></a>"), "a(b)");
  EXPECT_EQ(ParseText("<a>1<![CDATA[ <b> &amp; </b> ]]>2</a>"), "a=\"1 <b> &amp; </b>2\"");
  EXPECT_EQ(ParseText("<!DOCTYPE r [ <!ELEMENT r (#PCDATA)> <!ENTITY e 'x'> ]><r/>"), "r");
  EXPECT_EQ(ParseText("<!DOCTYPE r SYSTEM 'r.dtd'><?pi x?><r/>"), "r");
}

TEST(XmlParserTest, DeepNestingParsesUpToTheLimit) {
  // Past the first growth step of the stack.
  std::string doc = Nested(300);
  std::vector<char> buf(doc.begin(), doc.end());
  buf.push_back(0);
  {
    CXmlItem root(nullptr);
    CXmlParser parser(buf.data(), &root);
    EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
    EXPECT_EQ(Depth(root), 300);
  }
  doc = Nested(CXmlParser::kMaxDepth);
  buf.assign(doc.begin(), doc.end());
  buf.push_back(0);
  {
    CXmlItem root(nullptr);
    CXmlParser parser(buf.data(), &root);
    EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
    EXPECT_EQ(Depth(root), CXmlParser::kMaxDepth);
    CXmlItem copy(nullptr);
    copy = root;  // copies without recursion too
    EXPECT_EQ(Depth(copy), CXmlParser::kMaxDepth);
  }
  // One deeper stops at the start tag past the limit; what was built stays.
  doc = Nested(CXmlParser::kMaxDepth + 1);
  buf.assign(doc.begin(), doc.end());
  buf.push_back(0);
  {
    CXmlItem root(nullptr);
    CXmlParser parser(buf.data(), &root);
    EXPECT_EQ(parser.GetStatus(), CXmlParser::tooDeep);
    EXPECT_EQ(parser.GetStatusOffset(), 3 * CXmlParser::kMaxDepth);
    EXPECT_EQ(Depth(root), CXmlParser::kMaxDepth);
  }
  // A million open tags end quickly at the limit.
  doc.clear();
  for (int i = 0; i < 1000000; ++i) doc += "<a>";
  buf.assign(doc.begin(), doc.end());
  buf.push_back(0);
  {
    CXmlItem root(nullptr);
    CXmlParser parser(buf.data(), &root);
    EXPECT_EQ(parser.GetStatus(), CXmlParser::tooDeep);
    EXPECT_EQ(Depth(root), CXmlParser::kMaxDepth);
  }
}

TEST(XmlParserTest, DeepTreesBuiltByHandAreDestroyedWithoutRecursion) {
  CXmlItem root(nullptr);
  CXmlItem* item = &root;
  for (int i = 0; i < 200000; ++i) item = new CXmlItem(item);
  root.DeleteAll();
  EXPECT_EQ(root.GetCount(), 0);
  item = &root;
  for (int i = 0; i < 200000; ++i) item = new CXmlItem(item);
  // The destructor of root frees the chain.
}

// Every construct of this document, cut short at each byte, gives the tree
// and status of the table (and never more than the whole document gives).
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
  struct Row {
    const char* cutAfter;  // the prefix ends just after this text's first occurrence
    CXmlParser::Status status;
    const char* tree;
  };
  const Row rows[] = {
      {"<", CXmlParser::unterminatedTag, ""},
      {"<?xml vers", CXmlParser::unterminatedTag, ""},
      {"'1.0'?>", CXmlParser::ok, ""},
      {"<!-", CXmlParser::unterminatedTag, ""},
      {"<!-- c >", CXmlParser::unterminatedComment, ""},
      {"d --", CXmlParser::unterminatedComment, ""},
      {"d -->", CXmlParser::ok, ""},
      {"<r", CXmlParser::unterminatedTag, ""},
      {"<r k='", CXmlParser::unterminatedTag, ""},
      {"m=\"w", CXmlParser::unterminatedTag, ""},
      {"m=\"w\">", CXmlParser::unclosedElements, "r{k=v,m=w}"},
      {"<e a='1'", CXmlParser::unterminatedTag, "r{k=v,m=w}"},
      {"<e a='1'/", CXmlParser::unterminatedTag, "r{k=v,m=w}"},
      {"<e a='1'/>", CXmlParser::unclosedElements, "r{k=v,m=w}(e{a=1})"},
      {" t &am", CXmlParser::trailingText, "r{k=v,m=w}(e{a=1})"},
      {"<![CDA", CXmlParser::unterminatedTag, "r{k=v,m=w}=\"t & u\"(e{a=1})"},
      {"<![CDATA[x<y]", CXmlParser::unterminatedComment, "r{k=v,m=w}=\"t & u\"(e{a=1})"},
      {"<![CDATA[x<y]]>", CXmlParser::unclosedElements, "r{k=v,m=w}=\"t & ux<y\"(e{a=1})"},
      {"<f>", CXmlParser::unclosedElements, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f)"},
      {"<f>g", CXmlParser::trailingText, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f)"},
      {"<f>g</f", CXmlParser::unterminatedTag, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
      {"</r", CXmlParser::unterminatedTag, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
      {"</r>", CXmlParser::ok, "r{k=v,m=w}=\"t & ux<y\"(e{a=1} f=\"g\")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cutAfter);
    const size_t at = doc.find(row.cutAfter);
    ASSERT_NE(at, std::string::npos);
    CXmlParser::Status status;
    EXPECT_EQ(ParseText(doc.substr(0, at + std::strlen(row.cutAfter)), &status), row.tree);
    EXPECT_EQ(status, row.status);
  }
  // Every length, through the file reader too: no crash, no read past the
  // end, and never a tree that the whole document does not begin with.
  for (size_t n = 0; n <= doc.size(); ++n) {
    CXmlItem root(nullptr);
    CXmlParser parser;
    const bool read = ParseFile(doc.substr(0, n), root, parser);
    EXPECT_EQ(read, n >= 5) << n;  // shorter, the first word cannot be "<?xml"
  }
}

TEST(XmlParserTest, ReportsWhereItStopped) {
  const std::string doc = "<a><b x='1'></b><c";
  std::vector<char> buf(doc.begin(), doc.end());
  buf.push_back(0);
  CXmlItem root(nullptr);
  CXmlParser parser(buf.data(), &root);
  EXPECT_EQ(parser.GetStatus(), CXmlParser::unterminatedTag);
  EXPECT_EQ(parser.GetStatusOffset(), 16);  // the '<' of "<c"
  EXPECT_STRNE(CXmlParser::StatusText(parser.GetStatus()), "");

  std::vector<char> noName = {'<', 'a', '>', '<', ' ', '/', '>', 0};
  CXmlParser nameless(noName.data(), &root);
  EXPECT_EQ(nameless.GetStatus(), CXmlParser::missingName);
  EXPECT_EQ(nameless.GetStatusOffset(), 3);

  CXmlParser idle;
  EXPECT_EQ(idle.GetStatus(), CXmlParser::notParsed);
  std::vector<char> text = {'<', 'a', '/', '>', 0};
  CXmlParser rootless(text.data(), nullptr);
  EXPECT_EQ(rootless.GetStatus(), CXmlParser::noRoot);
}

TEST(XmlParserTest, HostileInputNeitherCrashesNorHangs) {
  const char* cases[] = {"<",
                         "<<<<",
                         ">>>>",
                         "<a",
                         "<a x",
                         "<a x=",
                         "<a x='",
                         "<=>",
                         "<>",
                         "</>",
                         "<a/><//><///>",
                         "&",
                         "&#",
                         "&#x",
                         "<a>&#99999",
                         "<!---->",
                         "<!-->",
                         "<![CDATA[",
                         "<![CDATA[]]>",
                         "<!DOCTYPE [",
                         "<!DOCTYPE [ ]",
                         "<a b='\\'/>",
                         "<?",
                         "<!"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    CXmlParser::Status status;
    ParseText(text, &status);
    CXmlItem root(nullptr);
    CXmlParser parser;
    ParseFile(std::string("<?xml?>") + text, root, parser);
  }
  // Binary junk, and junk made of the grammar's own bytes.
  std::mt19937 rng(12345);
  const char alphabet[] = "<>/='\"!?[]-& \tab";
  for (int round = 0; round < 200; ++round) {
    std::string junk(1 + rng() % 300, ' ');
    for (char& c : junk) {
      c = round % 2 ? static_cast<char>(rng() % 256) : alphabet[rng() % (sizeof(alphabet) - 1)];
    }
    CXmlItem root(nullptr);
    CXmlParser parser;
    ParseFile("<?xml?>" + junk, root, parser);
    ParseText(junk);
  }
}

TEST(XmlParserTest, ManyAttributesInOneTagStayLinear) {
  std::string doc = "<a";
  const int count = 200000;
  for (int i = 0; i < count; ++i) doc += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
  doc += " N7='again' n199999=last/>";
  std::vector<char> buf(doc.begin(), doc.end());
  buf.push_back(0);
  CXmlItem root(nullptr);
  CXmlParser parser(buf.data(), &root);
  ASSERT_EQ(root.GetCount(), 1);
  CXmlAttributes& attrs = root.GetChild(0)->GetAttributes();
  EXPECT_EQ(attrs.GetCount(), count);
  EXPECT_STREQ(attrs.GetAt(7), "N7=again");
  EXPECT_STREQ(attrs.Get("n199999"), "last");
  EXPECT_STREQ(attrs.Get("n1234"), "1234");
}

TEST(XmlParserTest, FlippedBytesOfADocumentAreSurvived) {
  const std::string doc =
      "<?xml version='1.0'?>\n<r k='v'><!-- c --><e a=\"1\"/>t &amp;<![CDATA[x]]><f>g</f></r>\n";
  const char replacements[] = {'\0', '<', '>', '/', '\'', '"', '=', '!', '-', '[', ']', '&', '\xFF'};
  for (size_t i = 0; i < doc.size(); ++i) {
    for (char r : replacements) {
      std::string bad = doc;
      bad[i] = r;
      CXmlItem root(nullptr);
      CXmlParser parser;
      ParseFile(bad, root, parser);
      ParseText(bad);
    }
  }
}

// A file that is still being written: it reports fewer bytes than it holds,
// so the parser reads the rest in chunks while it looks for a comment's end.
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
  GrowingFile file(reported);
  file.Write(doc.data(), static_cast<UINT>(doc.size()));
  file.SeekToBegin();
  CXmlItem root(nullptr);
  CXmlParser parser;
  EXPECT_TRUE(parser.ParseXml(&file, &root));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
  EXPECT_EQ(Dump(root), "a=\"text\"(b)");

  // The same without its end: the file ends first.
  GrowingFile cut(reported);
  cut.Write(doc.data(), static_cast<UINT>(doc.size() - 30));
  cut.SeekToBegin();
  CXmlItem root2(nullptr);
  EXPECT_TRUE(parser.ParseXml(&cut, &root2));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::unterminatedComment);
  EXPECT_EQ(Dump(root2), "a");
}

TEST(XmlItemTest, CopiesAreDeepAndIndependent) {
  CXmlItem root(nullptr);
  root.SetName("r");
  std::vector<char> doc;
  const std::string text = "<a x='1'>va<b y='2'>vb<c/></b><d/></a>";
  doc.assign(text.begin(), text.end());
  doc.push_back(0);
  CXmlParser parser(doc.data(), &root);
  CXmlItem* a = root.GetChild(0);
  a->SetLoaded(3);

  CXmlItem copy(nullptr);
  copy = *a;
  EXPECT_STREQ(copy.GetName(), "a");
  EXPECT_STREQ(copy.GetValue(), "va");
  EXPECT_STREQ(copy.GetA("x"), "1");
  EXPECT_EQ(copy.GetLoaded(), 3);
  EXPECT_EQ(Dump(copy), "b{y=2}=\"vb\"(c) d");

  copy.GetChild(0)->SetName("changed");
  copy.GetChild(0)->GetAttributes().Set("y", "9");
  copy.DeleteAll();
  EXPECT_EQ(Dump(root), "a{x=1}=\"va\"(b{y=2}=\"vb\"(c) d)");

  // A node may take a copy of its own descendant, or of its ancestor.
  CXmlItem* b = a->GetChild(0);
  *a = *b;
  EXPECT_EQ(Dump(root), "b{y=2}=\"vb\"(c)");
  CXmlItem* c = root.GetChild(0)->GetChild(0);
  *c = root;
  EXPECT_EQ(Dump(root), "b{y=2}=\"vb\"(r(b{y=2}=\"vb\"(c)))");
}

TEST(XmlItemTest, RemoveAtHandsTheChildOver) {
  CXmlItem root(nullptr);
  CXmlItem* first = new CXmlItem(&root);
  first->SetName("first");
  (new CXmlItem(&root))->SetName("second");
  root.RemoveAt(0);
  root.RemoveAt(5);  // out of range: nothing
  ASSERT_EQ(root.GetCount(), 1);
  EXPECT_STREQ(root.GetChild(0)->GetName(), "second");
  delete first;  // the caller's now
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
      CMemFile file;
      file.Write("<?xml?><x/>", 11);
      file.SeekToBegin();
      m_nestedResult = ParseXml(&file, &other);
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

  // Copies start idle and keep the root.
  CXmlItem root(nullptr);
  std::vector<char> text = {'<', 'a', '/', '>', 0};
  CXmlParser first(text.data(), &root);
  CXmlParser copy(first);
  EXPECT_EQ(copy.GetStatus(), CXmlParser::ok);
  copy = parser;
  EXPECT_EQ(copy.GetStatus(), CXmlParser::nodeRefused);
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

TEST(XmlParserTest, RelativePathsResolveAgainstTheParsedFile) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp ? tmp : "/tmp") + "/vdkit_xml_" + std::to_string(::getpid());
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  const std::string path = dir + "/doc.xml";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("<?xml version='1.0'?><a/>", f);
  std::fclose(f);

  PathParser parser;
  CXmlItem root(nullptr);
  ASSERT_TRUE(parser.ParseXml(path.c_str(), &root));
  EXPECT_TRUE(parser.m_result);
  EXPECT_EQ(parser.m_path, std::string(tmp ? tmp : "/tmp") + "/shared\\x.txt");

  // A file without a path (in memory): the relative path stays as it is.
  CXmlItem root2(nullptr);
  ParseFile("<?xml?><a/>", root2, parser);
  EXPECT_FALSE(parser.m_result);
  EXPECT_EQ(parser.m_path, "..\\shared\\x.txt");
  // Outside a parse: as it is, and true.
  CString out;
  EXPECT_TRUE(parser.GetAbsPath("y.txt", out));
  EXPECT_EQ(out, "y.txt");

  std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

TEST(XmlItemTest, AddToTreeMirrorsTheSubtree) {
  const std::string text = "<a x='1' y='2'><b/><c z='3'><d/></c></a>";
  std::vector<char> doc(text.begin(), text.end());
  doc.push_back(0);
  CXmlItem root(nullptr);
  CXmlParser parser(doc.data(), &root);
  CXmlItem* a = root.GetChild(0);

  CTreeCtrl tree;
  HTREEITEM top = tree.InsertItem("top");
  a->AddToTree(tree, top);
  HTREEITEM ia = tree.GetChildItem(top);
  ASSERT_NE(ia, nullptr);
  EXPECT_EQ(tree.GetItemText(ia), "a[x=1 y=2] ");
  EXPECT_EQ(tree.GetItemData(ia), reinterpret_cast<DWORD_PTR>(a));
  HTREEITEM ib = tree.GetChildItem(ia);
  EXPECT_EQ(tree.GetItemText(ib), "b");
  HTREEITEM ic = tree.GetNextSiblingItem(ib);
  EXPECT_EQ(tree.GetItemText(ic), "c[z=3] ");
  EXPECT_EQ(tree.GetItemText(tree.GetChildItem(ic)), "d");
  EXPECT_EQ(tree.GetItemData(tree.GetChildItem(ic)),
            reinterpret_cast<DWORD_PTR>(a->GetChild(1)->GetChild(0)));
  EXPECT_EQ(tree.GetCount(), 5u);

  // At the top of the control, and a deep subtree without recursion.
  CXmlItem deep(nullptr);
  CXmlItem* item = &deep;
  for (int i = 0; i < 20000; ++i) item = new CXmlItem(item);
  CTreeCtrl other;
  deep.AddToTree(other, nullptr);
  EXPECT_EQ(other.GetCount(), 20001u);
  EXPECT_NE(other.GetRootItem(), nullptr);

  // A parent that is not an item: nothing.
  HTREEITEM gone = tree.InsertItem("gone");
  tree.DeleteItem(gone);
  a->AddToTree(tree, gone);
  EXPECT_EQ(tree.GetCount(), 5u);
}

}  // namespace
