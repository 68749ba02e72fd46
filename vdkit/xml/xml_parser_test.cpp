#include "vdkit/xml/xml_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

TEST(XmlAttributesTest, NamesCompareWithoutCaseAndKeepFirstPlace) {
  CXmlAttributes attrs;
  attrs.Set("Width", "10");
  attrs.Set("ab", "1");
  attrs.Set("a", "x=y");     // a prefix of "ab" is another name; values may hold '='
  attrs.Set("width", "20");  // replaces in place, under the new spelling
  ASSERT_EQ(attrs.GetCount(), 3);
  EXPECT_STREQ(attrs.GetAt(0), "width=20");
  EXPECT_STREQ(attrs.Get("a"), "x=y");
  EXPECT_STREQ(attrs.Get("ab"), "1");
  EXPECT_EQ(attrs.GetAt(3), nullptr);
}

TEST(XmlParserTest, ElementsAttributesTextAndSelfClosing) {
  CXmlItem root(nullptr);
  CXmlParser parser;
  ASSERT_TRUE(ParseFile("<?xml version='1.0'?><a x='1' y=\"2\"><b/>text</a>", root, parser));
  EXPECT_EQ(Dump(root), "a{x=1,y=2}=\"text\"(b)");
  EXPECT_EQ(root.GetChild("A")->GetChild(1), nullptr);
  EXPECT_EQ(ParseText("<a><b/><c /><d x='1'/><e></e></a>"), "a(b c d{x=1} e)");
  // Text split by child elements is joined without separator. The blanks
  // of the document at the ends of each run go, those written as references
  // stay; a CDATA section keeps those at its start unless it starts the
  // value.
  EXPECT_EQ(ParseText("<a>\n\t one two \r\n<b>in b</b>\n three&#9;</a>"), "a=\"one twothree\t\"(b=\"in b\")");
  EXPECT_EQ(ParseText("<a>x&#32;</a><b><![CDATA[  y ]]></b>"), "a=\"x \" b=\"y\"");
  CXmlItem top(nullptr);
  ParseInto("hi<a/> tail</x>", top);
  EXPECT_STREQ(top.GetValue(), "hitail");
  // A closing tag closes the innermost element whatever its name.
  EXPECT_EQ(ParseText("<a><b></a><c/>"), "a(b c)");
}

TEST(XmlParserTest, AttributeValuesQuotedEitherWayOrNot) {
  // Only the opening quote closes the value (a="it's" once read as "it").
  EXPECT_EQ(ParseText("<e a=\"it's\" b='say \"hi\"'/>"), "e{a=it's,b=say \"hi\"}");
  // A backslash keeps a quote from closing and stays in the value.
  EXPECT_EQ(ParseText("<e a='it\\'s' b=2/>"), "e{a=it\\'s,b=2}");
  // A repeated name replaces the earlier value; trailing blanks go.
  EXPECT_EQ(ParseText("<e a='1' B='2' A=' 3 '/>"), "e{A= 3,B=2}");
  // Entries are joined up in the buffer: decoded values shorter than written.
  EXPECT_EQ(ParseText("<e a  =  'x&amp;y'   b=\"2\"c = v&lt;w a='5&#33;'/>"), "e{a=5!,b=2,c=v<w}");
  // Without '=' the text up to the next '=' is the name; a bare name ends the list.
  EXPECT_EQ(ParseText("<e x y='1' z/>"), "e{x y=1}");
  EXPECT_EQ(ParseText("<e x='unclosed/>"), "e{x=unclosed}");
  // Names and values of every length are moved into place whole, whatever
  // lay between them.
  for (size_t n = 0; n < 40; ++n) {
    std::string v;
    for (size_t i = 0; i < n; ++i) v += static_cast<char>('a' + i % 26);
    const std::string name(1 + n % 9, 'k');
    for (const std::string gap : {"", "  ", " \t\n "}) {
      EXPECT_EQ(ParseText("<e " + name + gap + "=" + gap + "'" + v + "' b" + gap + "=\"" + v + "\"/>"),
                "e{" + name + "=" + v + ",b=" + v + "}");
    }
  }
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
  EXPECT_FALSE(parser.ParseXml(static_cast<CFile*>(nullptr), &root));
  HugeFile huge;
  EXPECT_FALSE(parser.ParseXml(&huge, &root));
  EXPECT_EQ(root.GetCount(), 0);
  // Blanks and a UTF-8 byte order mark may come first.
  EXPECT_TRUE(ParseFile(" \r\n\t<?xml version='1.0'?><a/>", root, parser));
  EXPECT_TRUE(ParseFile("\xEF\xBB\xBF<?xml version='1.0'?><b/>", root, parser));
  EXPECT_EQ(Dump(root), "a b");
}

TEST(XmlParserTest, DeepNestingParsesUpToTheLimit) {
  auto doc = [](int open, int close) {
    std::string s;
    for (int i = 0; i < open + close; ++i) s += i < open ? "<n>" : "</n>";
    return s;
  };
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
}

// Every construct of this document, cut short inside, keeps exactly the
// complete parts before the cut, and says why it stopped.
TEST(XmlParserTest, EveryConstructCutShortKeepsWhatWasComplete) {
  const std::string doc =
      "<?xml version='1.0'?>\n<!-- c > d -->\n<r k='v'>\n <e a='1'/>\n t &amp; u\n"
      " <![CDATA[x<y]]>\n <f>g</f>\n</r>\n";
  using S = CXmlParser;
  struct Row {
    const char* cutAfter;  // the prefix ends just after this text's first occurrence
    S::Status status;
    const char* tree;
  };
  const Row rows[] = {
      {"<?xml vers", S::unterminatedTag, ""},
      {"<!-- c >", S::unterminatedComment, ""},
      {"<r k='v'>", S::unclosedElements, "r{k=v}"},
      {" t &am", S::trailingText, "r{k=v}(e{a=1})"},
      {"<![CDATA[x<y]", S::unterminatedComment, "r{k=v}=\"t & u\"(e{a=1})"},
      {"<f>g", S::trailingText, "r{k=v}=\"t & ux<y\"(e{a=1} f)"},
      {"</r", S::unterminatedTag, "r{k=v}=\"t & ux<y\"(e{a=1} f=\"g\")"},
      {"</r>", S::ok, "r{k=v}=\"t & ux<y\"(e{a=1} f=\"g\")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cutAfter);
    const size_t at = doc.find(row.cutAfter);
    ASSERT_NE(at, std::string::npos);
    CXmlParser::Status status;
    EXPECT_EQ(ParseText(doc.substr(0, at + std::strlen(row.cutAfter)), &status), row.tree);
    EXPECT_EQ(status, row.status);
  }
  int offset = 0;  // where it stopped: at the '<' of the unterminated tag
  CXmlItem root(nullptr);
  EXPECT_EQ(ParseInto("<a><b x='1'></b><c", root, &offset), S::unterminatedTag);
  EXPECT_EQ(offset, 16);
  char text[] = "<a/>";
  EXPECT_EQ(CXmlParser(text, nullptr).GetStatus(), S::noRoot);
}

TEST(XmlParserTest, HostileInputNeitherCrashesNorHangs) {
  const char alphabet[] = "<>/='\"!?[]-& \tab\xFF";
  // Every length through the file reader (AddressSanitizer watches the ends),
  // and each byte in turn replaced by one of the grammar's (or the terminator).
  const std::string doc =
      "<?xml version='1.0'?>\n<r k='v'><!-- c --><e a=\"1\"/>t &amp;<![CDATA[x]]><f>g</f></r>";
  for (size_t n = 0; n <= doc.size(); ++n) {
    CXmlItem root(nullptr);
    CXmlParser parser;
    EXPECT_EQ(ParseFile(doc.substr(0, n), root, parser), n >= 5) << n;  // "<?xml" needs 5
  }
  for (size_t i = 0; i < doc.size(); ++i) {
    for (char c : std::string(alphabet, sizeof alphabet)) {
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
}

TEST(XmlItemTest, CopiesAreDeepAndIndependent) {
  CXmlItem root(nullptr);
  root.SetName("r");
  ParseInto("<a x='1'>va<b y='2'>vb<c/></b><d/></a>", root);
  CXmlItem* a = root.GetChild(0);
  CXmlItem copy(nullptr);
  copy = *a;
  EXPECT_STREQ(copy.GetA("x"), "1");
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
  std::unique_ptr<CXmlItem> first(root.GetChild(0));
  root.RemoveAt(5);
  root.RemoveAt(0);
  EXPECT_EQ(root.GetCount(), 0);
}

// A parser that makes nodes of its own class, as the XML archive does.
class CountingItem : public CXmlItem {
 public:
  CountingItem(CXmlItem* parent, int* live) : CXmlItem(parent), m_live(live) { ++*m_live; }
  ~CountingItem() override { --*m_live; }
  int* m_live;
};

class CountingParser : public CXmlParser {
 public:
  CXmlItem* CreateObj(CXmlItem* parent) override {
    if (m_strTag == "refuse") return nullptr;
    if (m_strTag == "nested") {
      CXmlItem other(nullptr);
      m_nestedResult = ParseFile("<?xml?><x/>", other, *this);
    }
    return new CountingItem(parent, &m_live);
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
  }
  EXPECT_EQ(parser.m_live, 0);
  CXmlParser copy(parser);  // copies start idle
  CXmlItem other(nullptr);
  EXPECT_TRUE(ParseFile("<?xml?><z/>", other, copy));
}

// Nodes of subclasses of every size share the blocks the base class carves.
class PaddedItem : public CXmlItem {
 public:
  PaddedItem(CXmlItem* parent, unsigned char fill) : CXmlItem(parent) { std::memset(m_bytes, fill, 200); }
  bool Intact(unsigned char fill) const { return std::count(m_bytes, m_bytes + 200, fill) == 200; }
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
    CXmlItem* item = i % 4 == 0   ? new CXmlItem(&root)
                     : i % 4 == 1 ? new PaddedItem(&root, static_cast<unsigned char>(i))
                     : i % 4 == 2 ? static_cast<CXmlItem*>(new BigItem(&root))
                                  : new AlignedItem(&root);
    if (i % 4 == 3) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(item) % 128, 0u);
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
    EXPECT_STREQ(item->GetName(), std::to_string(2 * i).c_str());
    if (auto* padded = dynamic_cast<PaddedItem*>(item)) {
      EXPECT_TRUE(padded->Intact(static_cast<unsigned char>(2 * i))) << i;
    }
  }
}

// Trees parsed in threads that end; then half of one freed by a thread that
// made none of it while another carves new nodes.
TEST(XmlItemTest, NodesOutliveTheThreadThatMadeThem) {
  std::string doc;
  for (int i = 0; i < 2000; ++i) doc += "<r><c>text</c></r>";
  CXmlItem a(nullptr), b(nullptr);
  std::thread pa([&] { ParseInto(doc, a); }), pb([&] { ParseInto(doc, b); });
  pa.join();
  pb.join();
  std::thread freer([&a] {
    while (a.GetCount() > 1000) {
      std::unique_ptr<CXmlItem> last(a.GetChild(a.GetCount() - 1));
      a.RemoveAt(a.GetCount() - 1);
    }
  });
  std::thread maker([&b] {
    for (int i = 0; i < 5000; ++i) new CXmlItem(&b);
  });
  freer.join();
  maker.join();
  EXPECT_STREQ(a.GetChild(999)->GetChild(0)->GetValue(), "text");
  EXPECT_EQ(b.GetCount(), 7000);
}

#if defined(__SANITIZE_ADDRESS__)
// Nodes share blocks; a deleted node must still be caught when touched while
// its neighbours keep the block alive.
TEST(XmlItemDeathTest, ADeletedNodeIsPoisonedWhileItsBlockLives) {
  CXmlItem root(nullptr);
  new CXmlItem(&root);
  auto* gone = new CXmlItem(nullptr);
  new CXmlItem(&root);
  delete gone;
  EXPECT_DEATH(
      {
        volatile char* p = reinterpret_cast<volatile char*>(gone);
        p[sizeof(void*)] = 1;
      },
      "use-after-poison");
}
#endif

// ---- Parsed trees changed at random, against a model ---------------------------------

// What a node holds, as the tree should: attribute names are unique ignoring
// ASCII case, in the order in which they were first set.
struct Model {
  std::string name, value;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::vector<std::unique_ptr<Model>> kids;

  static bool Same(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  }
  std::pair<std::string, std::string>* Find(const std::string& k) {
    for (auto& a : attrs)
      if (Same(a.first, k)) return &a;
    return nullptr;
  }
  void Set(const std::string& k, const std::string& v) {
    if (auto* a = Find(k)) {
      *a = {k, v};
    } else {
      attrs.emplace_back(k, v);
    }
  }
  std::unique_ptr<Model> Copy() const {
    auto m = std::make_unique<Model>();
    m->name = name;
    m->value = value;
    m->attrs = attrs;
    for (const auto& k : kids) m->kids.push_back(k->Copy());
    return m;
  }
};

// Compares without making the node copy its attributes (GetAttributes
// would), so that borrowed nodes stay borrowed.
void ExpectSame(CXmlItem& item, const Model& m, const std::string& where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(item.GetName(), m.name);
  EXPECT_EQ(item.GetValue(), m.value);
  for (const auto& a : m.attrs) EXPECT_STREQ(item.GetA(a.first.c_str()), a.second.c_str()) << a.first;
  EXPECT_EQ(item.GetA("zz"), nullptr);
  ASSERT_EQ(item.GetCount(), static_cast<int>(m.kids.size()));
  for (size_t i = 0; i < m.kids.size(); ++i) {
    EXPECT_EQ(item.GetChild(m.kids[i]->name.c_str()),
              item.GetChild(static_cast<int>(std::find_if(m.kids.begin(), m.kids.end(),
                                                          [&](const std::unique_ptr<Model>& k) {
                                                            return Model::Same(k->name, m.kids[i]->name);
                                                          }) -
                                             m.kids.begin())));
    ExpectSame(*item.GetChild(static_cast<int>(i)), *m.kids[i], where + "/" + std::to_string(i));
  }
}

// The model's children as Dump shows a node's.
std::string DumpModel(const Model& m) {
  std::string out;
  for (size_t i = 0; i < m.kids.size(); ++i) {
    const Model& k = *m.kids[i];
    if (i) out += ' ';
    out += k.name;
    for (size_t a = 0; a < k.attrs.size(); ++a)
      out += (a ? "," : "{") + k.attrs[a].first + "=" + k.attrs[a].second;
    if (!k.attrs.empty()) out += '}';
    if (!k.value.empty()) out += "=\"" + k.value + "\"";
    if (!k.kids.empty()) out += "(" + DumpModel(k) + ")";
  }
  return out;
}

// Writes a random element under `parent` into the document and the model.
// Texts are made of pieces whose decoded form is known; blanks of the
// document go around them, so that the parser trims those and keeps the
// ones written as references.
void RandomElement(std::mt19937& rng, int depth, std::string& doc, Model& parent) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* const kNames[] = {"n", "item", "X", "w-1"};
  static const char* const kAttrNames[] = {"a", "A", "bb", "long_name"};
  static const std::pair<const char*, const char*> kPieces[] = {
      {"ab", "ab"},    {"c d", "c d"},  {"&lt;", "<"},   {"&amp;", "&"},  {"&#32;", " "},
      {"&#10;", "\n"}, {"&#x9;", "\t"}, {"&apos;", "'"}, {"&quot;", "\""}};
  static const char* const kBlanks[] = {"", " ", "\n  ", "\t"};
  auto text = [&](std::string& raw, int pieces) {
    std::string decoded;
    for (int i = 0; i < pieces; ++i) {
      const auto& piece = kPieces[pick(9)];
      raw += piece.first;
      decoded += piece.second;
    }
    return decoded;
  };
  auto m = std::make_unique<Model>();
  m->name = kNames[pick(4)];
  doc += "<" + m->name;
  for (int i = pick(4); i-- > 0;) {
    const std::string k = kAttrNames[pick(4)];  // "a" and "A" are one name
    std::string raw;
    m->Set(k, text(raw, pick(3)));
    doc +=
        std::string(kBlanks[1 + pick(3)]) + k + kBlanks[pick(2)] + "=" + kBlanks[pick(2)] + "'" + raw + "'";
  }
  const int kids = depth < 4 ? pick(4) : 0;
  if (kids == 0 && pick(2)) {
    doc += std::string(kBlanks[pick(2)]) + "/>";
  } else {
    doc += ">";
    // A run of text before the children and one after them (without
    // children, the two would be one).
    for (int run = 0; run < (kids ? 2 : 1); ++run) {
      doc += kBlanks[pick(4)];
      m->value += text(doc, pick(3));
      doc += kBlanks[pick(4)];
      if (run == 0)
        for (int i = 0; i < kids; ++i) RandomElement(rng, depth + 1, doc, *m);
    }
    doc += "</" + m->name + ">";
  }
  parent.kids.push_back(std::move(m));
}

// Every node of the trees, with its model, in pre-order.
void Collect(CXmlItem* item, Model* m, std::vector<std::pair<CXmlItem*, Model*>>& out) {
  out.emplace_back(item, m);
  for (int i = 0; i < item->GetCount(); ++i)
    Collect(item->GetChild(i), m->kids[static_cast<size_t>(i)].get(), out);
}

TEST(XmlItemTest, ParsedTreesStayValidThroughChangesCopiesAndDeletes) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto root = std::make_unique<CXmlItem>(nullptr);
    Model model;
    std::string doc = "<?xml version='1.0'?>\n";
    for (int i = 1 + pick(3); i-- > 0;) RandomElement(rng, 0, doc, model);
    auto parser = std::make_unique<CXmlParser>();
    if (seed % 2) {
      ASSERT_TRUE(ParseFile(doc, *root, *parser));
    } else {
      std::vector<char> text(doc.begin(), doc.end());
      text.push_back(0);
      parser = std::make_unique<CXmlParser>(text.data(), root.get());
      EXPECT_EQ(std::string(text.data()), doc);  // the caller's text is left as it was
    }
    ASSERT_EQ(parser->GetStatus(), CXmlParser::ok) << doc;
    ExpectSame(*root, model, "parsed");
    if (seed % 3 == 0) parser.reset();  // the nodes do not need the parser

    // Trees taken out with RemoveAt, owned here.
    std::vector<std::pair<std::unique_ptr<CXmlItem>, std::unique_ptr<Model>>> kept;
    for (int op = 0; op < 60; ++op) {
      std::vector<std::pair<CXmlItem*, Model*>> nodes;
      Collect(root.get(), &model, nodes);
      const size_t mainNodes = nodes.size();
      for (auto& k : kept) Collect(k.first.get(), k.second.get(), nodes);
      auto& at = nodes[static_cast<size_t>(pick(static_cast<int>(nodes.size())))];
      CXmlItem* item = at.first;
      Model* m = at.second;
      const std::string word = std::string("v") + std::to_string(op) + (pick(2) ? " " : "");
      const int kind = pick(9);
      SCOPED_TRACE("kind " + std::to_string(kind));
      switch (kind) {
        case 0:
          item->SetName(word.c_str());
          m->name = word;
          break;
        case 1:
          item->SetValue(pick(3) ? word.c_str() : "");
          m->value = item->GetValue();
          break;
        case 2: {
          const std::string k = pick(2) ? "a" : "New";
          item->GetAttributes().Set(k.c_str(), word.c_str());
          m->Set(k, word);
          break;
        }
        case 3:
          item->GetAttributes().Remove("A");
          if (auto* a = m->Find("a")) m->attrs.erase(m->attrs.begin() + (a - m->attrs.data()));
          break;
        case 4:
          if (item->GetCount()) {
            const int i = pick(item->GetCount());
            kept.emplace_back(std::unique_ptr<CXmlItem>(item->GetChild(i)),
                              std::move(m->kids[static_cast<size_t>(i)]));
            item->RemoveAt(i);
            m->kids.erase(m->kids.begin() + i);
          }
          break;
        case 5:
          if (!kept.empty()) kept.erase(kept.begin() + pick(static_cast<int>(kept.size())));
          break;
        case 6:
          (new CXmlItem(item))->SetName(word.c_str());
          m->kids.push_back(std::make_unique<Model>());
          m->kids.back()->name = word;
          break;
        case 7:
          item->DeleteAll();
          m->kids.clear();
          break;
        case 8: {
          // A copy of any node of the main tree: its own ancestor or
          // descendant included.
          auto& from = nodes[static_cast<size_t>(pick(static_cast<int>(mainNodes)))];
          std::unique_ptr<Model> copy = from.second->Copy();
          *item = *from.first;
          m->name = copy->name;
          m->value = copy->value;
          m->attrs = copy->attrs;
          m->kids = std::move(copy->kids);
          break;
        }
      }
      if (op % 10 == 9) parser.reset();
      ExpectSame(*root, model, "op " + std::to_string(op));
      if (HasFailure()) return;
    }
    // Made to copy everything, the trees still show the same.
    EXPECT_EQ(Dump(*root), DumpModel(model));
    for (auto& k : kept) {
      Model holder;
      holder.kids.push_back(std::move(k.second));
      CXmlItem top(nullptr);
      EXPECT_EQ(Dump(*k.first), DumpModel(*holder.kids[0]));
    }
    // Freed in either order: what was taken out outlives its tree, or not.
    if (seed % 2) root.reset();
    kept.clear();
  }
}

// A file that says it is shorter than it is: what lies past that is read
// while a comment's end is looked for, into new buffers; nodes made from
// the earlier ones keep what they borrowed.
class ShortFile : public CMemFile {
 public:
  ShortFile(const std::string& text, ULONGLONG said) : m_said(said) {
    Write(text.data(), static_cast<UINT>(text.size()));
    SeekToBegin();
  }
  ULONGLONG GetLength() const override { return m_said; }
  ULONGLONG m_said;
};

TEST(XmlParserTest, ReadingPastTheFileLengthKeepsEarlierNodes) {
  const std::string doc = "<?xml version='1.0'?><r><a k='v'>one</a><!--" + std::string(3000, 'x') +
                          "--><b>two</b><!--" + std::string(5000, 'y') + "--><c/></r>";
  CXmlItem root(nullptr);
  {
    CXmlParser parser;
    ShortFile file(doc, 48);
    ASSERT_TRUE(parser.ParseXml(&file, &root));
    EXPECT_EQ(parser.GetStatus(), CXmlParser::ok);
  }
  EXPECT_EQ(Dump(root), "r(a{k=v}=\"one\" b=\"two\" c)");
  // A comment that never ends is read to the end of the file.
  CXmlItem cut(nullptr);
  CXmlParser parser;
  ShortFile file(doc.substr(0, doc.size() - 20), 48);
  ASSERT_TRUE(parser.ParseXml(&file, &cut));
  EXPECT_EQ(parser.GetStatus(), CXmlParser::unterminatedComment);
  EXPECT_EQ(parser.GetStatusOffset(), static_cast<int>(doc.find("<!--", 60)));
  EXPECT_EQ(Dump(cut), "r(a{k=v}=\"one\" b=\"two\")");
}
}  // namespace
