#include "vdkit/job/jop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "vdkit/job/job_args.h"
#include "vdkit/xml/xml_archive.h"

namespace {

int g_destroyed = 0;

// An operator with two parameters; Run adds its passes to the argument "n".
class CTestJop : public CJop {
  DECLARE_JOP(CTestJop)
  ~CTestJop() override { ++g_destroyed; }
  void GetArgs(CJobArgs& args) const override { args.AddArgFmt("passes", "", "%d", m_nPasses); }
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar passes("passes", m_nPasses);
    CXmlVar label("label", m_strLabel);
    static_cast<void>(ar == label);  // optional
    return ar == passes;
  }
  bool Run(CJobArgs& args) override {
    args.AddArgFmt("n", "", "%d", args.GetArgi("n") + m_nPasses);
    return m_nPasses >= 0;
  }
  int m_nPasses = 0;
  CString m_strLabel;
};
IMPLEMENT_JOP(CTestJop)

// A second class: each operator keeps its own in the file.
class COtherJop : public CTestJop {
  DECLARE_JOP(COtherJop)
};
IMPLEMENT_JOP(COtherJop)

static_assert(std::has_virtual_destructor<CJop>::value, "operators are deleted through CJop*");
static_assert(!std::is_copy_constructible<CJopSet>::value && !std::is_copy_assignable<CJopSet>::value,
              "a set owns its operators: copies would free them twice");

std::string StoreText(CJopSet& set) {
  CMemFile mem;
  EXPECT_TRUE(set.Store(&mem));
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

bool LoadText(CJopSet& set, std::string doc) {
  CMemFile mem(reinterpret_cast<BYTE*>(doc.empty() ? nullptr : &doc[0]), static_cast<UINT>(doc.size()));
  return set.Load(&mem);
}

CTestJop* Op(CJopSet& set, const char* name, const char* type, int passes, const char* label = "") {
  auto* op = static_cast<CTestJop*>(set.Get(name, type, "CTestJop"));
  EXPECT_NE(op, nullptr);
  if (op) {
    op->m_nPasses = passes;
    op->m_strLabel = label;
  }
  return op;
}

// The set's operators as "name.type:passes" in the set's order.
std::string Listing(const CJopSet& set, const char* name = nullptr) {
  std::string out;
  for (POSITION pos = set.GetFirstPos(name); pos;) {
    auto* op = static_cast<CTestJop*>(set.GetNext(pos, name));
    out += std::string(op->GetName()) + "." + op->GetType() + ":" + std::to_string(op->m_nPasses) + " ";
  }
  return out;
}

// The records in the registry.
int Registered() {
  int count = 0;
  for (CJop::CJopRegister* r = CJop::CJopRegister::mhFirstObj; r; r = r->m_pNextJop) ++count;
  return count;
}

TEST(JopRegistryTest, CreatesRegisteredClassesByName) {
  const int registered = Registered();
  CJop* op = CreateJop("ctestjop");
  ASSERT_NE(op, nullptr);
  EXPECT_STREQ(op->GetClassNameA(), "CTestJop");
  const int destroyed = g_destroyed;
  delete op;  // through CJop*: the operator's own destructor runs
  EXPECT_EQ(g_destroyed, destroyed + 1);
  EXPECT_EQ(CreateJop("CNobody"), nullptr);
  EXPECT_EQ(CreateJop(nullptr), nullptr);

  {  // a record of an unloaded module leaves the list
    CJop::CJopRegister late("CLateJop", [] { return static_cast<CJop*>(new CTestJop); });
    CJop::CJopRegister copy = late;  // a copy joins nothing
    EXPECT_EQ(copy.m_pNextJop, nullptr);
    CJop* made = CreateJop("CLATEJOP");
    EXPECT_NE(made, nullptr);
    delete made;
  }
  EXPECT_EQ(CreateJop("CLateJop"), nullptr);
  EXPECT_EQ(Registered(), registered);
}

TEST(JopSetTest, OperatorsAreKeyedByNameAndType) {
  CJopSet set;
  CTestJop* ax = Op(set, "a", "x", 1);
  Op(set, "a", "y", 2);
  Op(set, "ab", "x", 3);
  EXPECT_EQ(set.Get("A", "X", "COtherJop"), ax);  // found: the class is not looked at
  EXPECT_EQ(set.Get("a", "z"), nullptr);          // no class given
  EXPECT_EQ(set.Get("a", "z", "CNobody"), nullptr);
  EXPECT_EQ(Listing(set, "A"), "a.x:1 a.y:2 ");  // keys a.x (bucket 5), a.y (6)
  EXPECT_EQ(Listing(set, "ab"), "ab.x:3 ");
  EXPECT_EQ(set.GetCount("b") + set.GetCount(""), 0);
  EXPECT_EQ(set.GetCount(nullptr), 3);
  const std::string longName(200, 'n'), longType(100, 't');  // keys once lived in 64 bytes
  CTestJop* big = Op(set, longName.c_str(), longType.c_str(), 4);
  EXPECT_EQ(set.Get(longName.c_str(), longType.c_str()), big);
  // "a.b" of type "c" and "a" of type "b.c" would share the key "a.b.c".
  CTestJop* dotted = Op(set, "a.b", "c", 5);
  EXPECT_EQ(set.Get("a", "b.c", "CTestJop"), nullptr);
  EXPECT_EQ(Listing(set, "a"), "a.x:1 a.y:2 ");
  EXPECT_EQ(Listing(set, "a.b"), "a.b.c:5 ");
  set.DelJop("a", "b.c");  // not its operator: kept
  EXPECT_EQ(set.Get("a.b", "c"), dotted);
  const int destroyed = g_destroyed;
  set.DelJop("a", "X");
  set.DelJop("a", "missing");
  EXPECT_EQ(g_destroyed, destroyed + 1);
  EXPECT_EQ(set.Get("a", "x"), nullptr);
  set.DeleteAll();
  EXPECT_EQ(g_destroyed, destroyed + 5);
  EXPECT_EQ(set.GetStartPosition(), nullptr);

  // Iteration by name: the map's own order, filtered by the operators' names.
  std::mt19937 rng(5);
  const char* names[] = {"grid", "Grid2", "g", "contour", "x"};
  for (int i = 0; i < 200; ++i) Op(set, names[rng() % 5], ("t" + std::to_string(rng() % 60)).c_str(), i);
  for (const char* name : {"grid", "GRID", "grid2", "g", "contour", "y"}) {
    std::string expected;
    for (POSITION pos = set.GetStartPosition(); pos;) {
      void* p = nullptr;
      set.GetNextAssoc(pos, p);
      auto* op = static_cast<CTestJop*>(p);
      if (CString(op->GetName()).CompareNoCase(name) == 0)
        expected +=
            std::string(op->GetName()) + "." + op->GetType() + ":" + std::to_string(op->m_nPasses) + " ";
    }
    EXPECT_EQ(Listing(set, name), expected) << name;
    EXPECT_EQ(set.GetCount(name), static_cast<int>(std::count(expected.begin(), expected.end(), ' ')));
  }
}

// Keys and their buckets (h = h * 33 + upper(c), modulo 17): "my op.it's" 7,
// "grid.post" 10, "grid.pre" 12. "my op" cannot be an element name: it is
// the first operator written, so #@1. Parameters as CXmlVar writes them
// (an empty label writes nothing).
const char kGolden[] =
    "<?xml version='1.0'?>\n"
    "<JobParameters>\n"
    "<#@1 name='my op' class='CTestJop' type='it&apos;s'>\n"
    "<passes>2</passes>\n"
    "</#@1>\n"
    "<grid class='COtherJop' type='post'>\n"
    "<label>x &amp; y</label>\n"
    "<passes>1</passes>\n"
    "</grid>\n"
    "<grid class='CTestJop' type='pre'>\n"
    "<label>a&lt;b</label>\n"
    "<passes>3</passes>\n"
    "</grid>\n"
    "</JobParameters>\n";

TEST(JopParameterFileTest, StoresTheGoldenFileAndReadsItBack) {
  CJopSet empty;
  EXPECT_EQ(StoreText(empty), "<?xml version='1.0'?>\n<JobParameters>\n</JobParameters>\n");

  CJopSet set;
  Op(set, "grid", "pre", 3, "a<b");
  auto* post = static_cast<CTestJop*>(set.Get("grid", "post", "COtherJop"));
  post->m_nPasses = 1;
  post->m_strLabel = "x & y";
  Op(set, "my op", "it's", 2);
  EXPECT_EQ(StoreText(set), kGolden);

  CJopSet back;
  Op(back, "old", "", 9);  // emptied by the load
  ASSERT_TRUE(LoadText(back, kGolden));
  EXPECT_EQ(Listing(back), Listing(set));
  EXPECT_STREQ(back.Get("grid", "post")->GetClassNameA(), "COtherJop");
  EXPECT_STREQ(static_cast<CTestJop*>(back.Get("grid", "pre"))->m_strLabel, "a<b");
  EXPECT_EQ(StoreText(back), kGolden);
}

TEST(JopParameterFileTest, LoadPassesOverWhatItCannotUse) {
  const char doc[] =
      "<?xml version='1.0'?>\n<Params>\n"  // the first element's name is not checked
      "<a class='CTestJop' type='x'><passes>1</passes></a>\n"
      "<a class='CTestJop' type='x'><passes>4</passes></a>\n"  // repeated: the same operator
      "<b class='CNobody' type='x'><passes>2</passes></b>\n"   // unknown class
      "<c type='x'><passes>3</passes></c>\n"                   // no class: data
      "<d class='CTestJop'><passes>5</passes></d>\n"           // no type: the empty type
      "<#@9 class='CTestJop' type='x' />\n"                    // index form without its name
      "</Params>\n";
  CJopSet set;
  ASSERT_TRUE(LoadText(set, doc));
  EXPECT_EQ(Listing(set), "a.x:4 d.:5 ");
  std::string text = doc;  // listed without the classes: every element with one
  CMemFile mem(reinterpret_cast<BYTE*>(&text[0]), static_cast<UINT>(text.size()));
  std::vector<CJopSet::SJopEntry> entries;
  ASSERT_TRUE(CJopSet::ReadEntries(&mem, entries));
  std::string listed;
  for (const auto& e : entries)
    listed += e.strName.str() + "." + e.strType.str() + ":" + e.strClass.str() + " ";
  EXPECT_EQ(listed, "a.x:CTestJop a.x:CTestJop b.x:CNobody d.:CTestJop ");
  // An operator that refuses its parameters fails the load; the set stays.
  ASSERT_FALSE(LoadText(set, "<?xml version='1.0'?>\n<P>\n<e class='CTestJop' type='x' />\n</P>\n"));
  EXPECT_EQ(Listing(set), "a.x:4 d.:5 ");
}

// Every cut of the golden file, random byte changes, and files that are no
// parameter file: false leaves the set as it was.
TEST(JopParameterFileTest, BadFilesLeaveTheSetAlone) {
  CJopSet set;
  Op(set, "keep", "me", 7);
  const std::string kept = Listing(set);
  const std::string golden = kGolden;
  std::vector<std::string> docs = {"plain text", "<?xml version='1.0'?>\n<a><b></a>"};
  for (size_t n = 0; n + 1 < golden.size(); ++n) docs.push_back(golden.substr(0, n));
  for (const std::string& doc : docs) {
    EXPECT_FALSE(LoadText(set, doc)) << doc;
    ASSERT_EQ(Listing(set), kept) << doc;
  }
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    std::string doc = golden;
    for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips)
      doc[rng() % doc.size()] = static_cast<char>(rng());
    CJopSet other;
    Op(other, "keep", "me", 7);
    if (!LoadText(other, doc)) {
      ASSERT_EQ(Listing(other), kept) << doc;
    }
  }
  const std::string missing = ::testing::TempDir() + "vdkit_no_such_dir/JobParameters.xml";
  EXPECT_FALSE(set.Load(missing.c_str()));
  EXPECT_EQ(Listing(set), kept);
  EXPECT_FALSE(set.Store(missing.c_str()));
}

}  // namespace
