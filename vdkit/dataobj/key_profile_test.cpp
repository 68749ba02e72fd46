#include "vdkit/dataobj/key_profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/xml/xml_archive.h"

namespace {

// Opens the protected members.
class CProbe : public CKeyProfile {
 public:
  using CKeyProfile::BuildProfileKey;
  using CKeyProfile::GetSectionKey;
  using CKeyProfile::LookupProfile;
  using CKeyProfile::NewProfile;
};

struct Walked {
  std::string section, key;
  int type;
  std::string bytes;
  bool operator==(const Walked& o) const {
    return section == o.section && key == o.key && type == o.type && bytes == o.bytes;
  }
};

std::vector<Walked> Walk(const CKeyProfile& p) {
  std::vector<Walked> out;
  for (POSITION pos = p.GetStartPos(); pos;) {
    CString section, key;
    int type = -1, size = -1;
    void* data = nullptr;
    p.GetNext(pos, section, key, type, size, data);
    out.push_back({section.GetString(), key.GetString(), type,
                   std::string(static_cast<const char*>(data), static_cast<size_t>(size))});
  }
  return out;
}

std::vector<Walked> Sorted(std::vector<Walked> w) {
  std::sort(w.begin(), w.end(), [](const Walked& x, const Walked& y) {
    return x.section + '\n' + x.key < y.section + '\n' + y.key;
  });
  return w;
}

void PrintTo(const Walked& w, std::ostream* os) {
  *os << w.section << "/" << w.key << " t" << w.type << " " << w.bytes.size() << " bytes";
}

std::string Text(const CMemFile& mem) {
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

std::string StoreText(CKeyProfile& p) {
  CMemFile mem;
  EXPECT_TRUE(p.Store(&mem));
  return Text(mem);
}

bool LoadText(CKeyProfile& p, std::string doc) {
  CMemFile mem(reinterpret_cast<BYTE*>(doc.empty() ? nullptr : &doc[0]), static_cast<UINT>(doc.size()));
  return p.Load(&mem);
}

void* const kNoBuffer = nullptr;  // a bare nullptr would also fit the allocating form

float AsFloat(UINT bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(KeyProfileTest, TypedGettersFollowTheStoredType) {
  CKeyProfile p;
  CString s;
  EXPECT_EQ(p.GetKeyInt("S", "k", 7), 7u);  // empty store
  EXPECT_EQ(p.GetKeyFloat("S", "k", 1.5f), 1.5f);
  p.GetKeyString("S", "k", s, "dflt");
  EXPECT_STREQ(s, "dflt");
  p.GetKeyString("S", "k", s, nullptr);
  EXPECT_STREQ(s, "");
  EXPECT_EQ(p.GetKeyBin("S", "k", kNoBuffer, 0), 0);
  EXPECT_FALSE(p.GetKeyBin("S", "k", nullptr, nullptr));

  ASSERT_TRUE(p.SetKeyString("S", "k", "42"));  // text read as numbers
  EXPECT_EQ(p.GetKeyInt("S", "k", 0), 42u);
  EXPECT_EQ(p.GetKeyFloat("S", "k", 0), 42.0f);
  p.SetKeyString("S", "big", "99999999999");  // atoi of the 32-bit platform saturates
  EXPECT_EQ(p.GetKeyInt("S", "big", 0), static_cast<UINT>(INT_MAX));

  ASSERT_TRUE(p.SetKeyInt("S", "k", -1));  // the same entry now an integer
  EXPECT_EQ(p.GetKeyFloat("S", "k", 0), 4294967295.0f);
  p.GetKeyString("S", "k", s, "x");
  EXPECT_STREQ(s, "-1");
  EXPECT_EQ(p.GetKeyInt("S", "k", 0), 0xFFFFFFFFu);

  ASSERT_TRUE(p.SetKeyInt("Sec", "Key", 1));  // names ignore case
  EXPECT_EQ(p.GetKeyInt("SEC", "KEY", 0), 1u);

  ASSERT_TRUE(p.SetKeyFloat("S", "f", 2.5f));  // a float is no text and no integer
  EXPECT_EQ(p.GetKeyFloat("S", "f", 0), 2.5f);
  EXPECT_EQ(p.GetKeyInt("S", "f", 9), 9u);
  p.GetKeyString("S", "f", s, "d");
  EXPECT_STREQ(s, "d");

  for (const char* text : {"", "abc", "abcd", "abcde"}) {  // both sides of the inline limit
    ASSERT_TRUE(p.SetKeyString("T", text[0] ? text : "e", text));
    p.GetKeyString("T", text[0] ? text : "e", s, "missing");
    EXPECT_STREQ(s, text);
  }

  const BYTE ten[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(p.SetKeyBin("B", "ten", ten, 10));
  BYTE buf[12];
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_EQ(p.GetKeyBin("B", "ten", buf, 2), 2);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[1], 2);
  EXPECT_EQ(buf[2], 0xEE);
  EXPECT_EQ(p.GetKeyBin("B", "ten", buf, 12), 10);  // the whole buffer is cleared first
  EXPECT_EQ(buf[9], 10);
  EXPECT_EQ(buf[10], 0);
  EXPECT_EQ(p.GetKeyBin("B", "ten", kNoBuffer, 0), 10);
  void* block = nullptr;
  UINT size = 0;
  ASSERT_TRUE(p.GetKeyBin("B", "ten", &block, &size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::memcmp(block, ten, 10), 0);
  std::free(block);
  EXPECT_EQ(p.GetKeyBin("S", "k", buf, 4), 4);  // any type gives its bytes

  // Values past 16 bits of size are kept whole.
  std::string large(70000, 'x');
  large[69999] = 'y';
  ASSERT_TRUE(p.SetKeyString("L", "s", large.c_str()));
  p.GetKeyString("L", "s", s, "");
  EXPECT_EQ(s.str(), large);
  ASSERT_TRUE(p.SetKeyBin("L", "b", large.data(), 70000));
  EXPECT_EQ(p.GetKeyBin("L", "b", kNoBuffer, 0), 70000);

  // Setting a value from its own bytes.
  void* own = nullptr;
  for (POSITION pos = p.GetStartPos(); pos;) {
    CString sec, key;
    int type, n;
    void* data;
    p.GetNext(pos, sec, key, type, n, data);
    if (key == "b") own = data;
  }
  ASSERT_TRUE(p.SetKeyBin("L", "b", static_cast<BYTE*>(own) + 1, 69999));
  EXPECT_EQ(p.GetKeyBin("L", "b", buf, 1), 1);
  EXPECT_EQ(buf[0], 'x');

  // Refusals store nothing.
  const int count = p.GetCount();
  EXPECT_FALSE(p.SetKeyInt(nullptr, "k", 1));
  EXPECT_FALSE(p.SetKeyInt("S", "", 1));
  EXPECT_FALSE(p.SetKeyString("", "k", "v"));
  EXPECT_FALSE(p.SetKeyBin("S", "k", nullptr, 3));
  EXPECT_EQ(p.GetKeyInt(nullptr, "k", 5), 5u);
  EXPECT_EQ(p.GetCount(), count);

  p.ResetKeyProfiles();
  EXPECT_EQ(p.GetCount(), 0);
  EXPECT_EQ(p.GetSectionCount(), 0);
  EXPECT_EQ(p.GetStartPos(), nullptr);
}

TEST(KeyProfileTest, ProtectedKeysNumberSectionsInOrderOfFirstUse) {
  CProbe p;
  CString key, name;
  EXPECT_EQ(p.GetKeyInt("First", "x", 0), 0u);  // a lookup numbers the section
  ASSERT_TRUE(p.BuildProfileKey("Second", "Key", key));
  EXPECT_STREQ(key, "2@Key");
  ASSERT_TRUE(p.BuildProfileKey("FIRST", "k", key));
  EXPECT_STREQ(key, "1@k");
  EXPECT_FALSE(p.BuildProfileKey("", "k", key));
  ASSERT_TRUE(p.GetSectionKey(1, name));
  EXPECT_STREQ(name, "First");
  EXPECT_FALSE(p.GetSectionKey(3, name));
  EXPECT_EQ(p.LookupProfile("First", "x"), nullptr);

  p.SetKeyString("First", "x", "a long value");
  CKeyProfile::SKeyProfile* v = p.NewProfile("first", "X");  // the same entry, emptied
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, CKeyProfile::typeEmpty);
  EXPECT_EQ(v->size, 0u);
  EXPECT_EQ(p.LookupProfile("FIRST", "x"), v);
  EXPECT_EQ(p.GetCount(), 1);
}

// Random operations against a model: the values in a std::map, the order in
// the library's own 17-bucket string map filled with the composite keys, as
// profiles have always been ordered. Copies are checked after their source
// changes.
TEST(KeyProfileTest, RandomOperationsMatchAModel) {
  struct Value {
    int type;
    std::string bytes;
  };
  struct Model {
    std::map<std::string, int> sectionNumber;  // lower-case name -> number
    std::vector<std::string> sectionName;      // as first used
    std::map<std::string, Value> values;       // lower-case composite key
    std::map<std::string, std::string> keyName;
    CMapStringToStringEx order;  // composite key -> nothing; its iteration is the order

    int Number(const std::string& section) {
      std::string low = Lower(section);
      auto it = sectionNumber.find(low);
      if (it != sectionNumber.end()) return it->second;
      sectionName.push_back(section);
      return sectionNumber[low] = static_cast<int>(sectionName.size());
    }
    void Reset() {
      sectionNumber.clear();
      sectionName.clear();
      values.clear();
      keyName.clear();
      order.RemoveAll();
    }
    static std::string Lower(std::string s) {
      for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      return s;
    }
    void Set(const std::string& section, const std::string& key, int type, const std::string& bytes) {
      const std::string composite = std::to_string(Number(section)) + "@" + key;
      const std::string low = Lower(composite);
      if (!values.count(low)) {
        order[composite.c_str()] = "";
        keyName[low] = key;
      }
      values[low] = {type, bytes};
    }
    std::vector<Walked> Expected() const {
      std::vector<Walked> out;
      for (POSITION pos = order.GetStartPosition(); pos;) {
        CString composite, unused;
        order.GetNextAssoc(pos, composite, unused);
        const std::string c = composite.GetString();
        const size_t at = c.find('@');
        const int number = std::atoi(c.substr(0, at).c_str());
        const Value& v = values.at(Lower(c));
        out.push_back({sectionName[static_cast<size_t>(number - 1)], c.substr(at + 1), v.type, v.bytes});
      }
      return out;
    }
  };

  std::mt19937 rng(16);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto scramble = [&](std::string s) {  // the same name in another letter case
    for (char& c : s)
      if (pick(2)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const char* sections[] = {"grid", "view", "units", "a", "long section name", "x@y"};

  Model model;
  CKeyProfile p;
  CKeyProfile snapshot;
  std::vector<Walked> snapshotWalk;
  for (int step = 0; step < 6000; ++step) {
    const std::string section = scramble(sections[pick(6)]);
    const std::string key = scramble("key" + std::to_string(pick(400)));
    const int op = pick(20);
    if (op < 4) {
      const int v = static_cast<int>(rng());
      ASSERT_TRUE(p.SetKeyInt(section.c_str(), key.c_str(), v));
      model.Set(section, key, 1, std::string(reinterpret_cast<const char*>(&v), 4));
    } else if (op < 7) {
      const float v = AsFloat(rng());
      ASSERT_TRUE(p.SetKeyFloat(section.c_str(), key.c_str(), v));
      model.Set(section, key, 4, std::string(reinterpret_cast<const char*>(&v), 4));
    } else if (op < 11) {
      std::string text(static_cast<size_t>(pick(12)), 'a');
      for (char& c : text) c = static_cast<char>(1 + pick(255));
      ASSERT_TRUE(p.SetKeyString(section.c_str(), key.c_str(), text.c_str()));
      model.Set(section, key, 2, text);
    } else if (op < 14) {
      std::string bytes(static_cast<size_t>(pick(3) == 0 ? pick(300) : pick(9)), '\0');
      for (char& c : bytes) c = static_cast<char>(pick(256));
      ASSERT_TRUE(p.SetKeyBin(section.c_str(), key.c_str(), bytes.data(), static_cast<UINT>(bytes.size())));
      model.Set(section, key, 3, bytes);
    } else if (op < 18) {  // a lookup, perhaps of a section never used, which numbers it
      const std::string fresh = pick(30) == 0 ? "new" + std::to_string(step) : section;
      const auto it = model.values.find(Model::Lower(std::to_string(model.Number(fresh)) + "@" + key));
      char buf[400];
      const int n = p.GetKeyBin(fresh.c_str(), key.c_str(), buf, sizeof buf);
      if (it == model.values.end()) {
        ASSERT_EQ(n, 0);
      } else {
        ASSERT_EQ(std::string(buf, static_cast<size_t>(n)), it->second.bytes);
      }
    } else if (op == 18 && pick(50) == 0) {
      snapshot = p;  // deep copy; p changes after this
      snapshotWalk = model.Expected();
    } else if (op == 19 && pick(400) == 0) {
      p.ResetKeyProfiles();
      model.Reset();
    }
    if (step % 500 == 499) {
      ASSERT_EQ(Walk(p), model.Expected()) << "step " << step;
      ASSERT_EQ(Walk(snapshot), snapshotWalk) << "step " << step;
      ASSERT_EQ(p.GetSectionCount(), static_cast<int>(model.sectionName.size()));
    }
  }
  CKeyProfile moved(std::move(snapshot));
  EXPECT_EQ(Walk(moved), snapshotWalk);
  CKeyProfile& self = moved;
  moved = self;  // assigned to itself: kept
  EXPECT_EQ(Walk(moved), snapshotWalk);
}

// The file form of a profile with every type, an escaped string, a float
// that needs eight digits, and names that cannot be element names.
//
// Composite keys and their buckets (h = h * 33 + upper(c), modulo 17):
//   1@Cols 0, 1@Title 7, 1@Step 10, 1@Mask 12, 2@x y 12 (newer: first), 2@Empty 14.
// Sections by the buckets of their names: "my view" 2, "Grid" 6.
// 1/3 as a float: "%g" 0.333333 and "%.7g" 0.3333333 read back as other
// floats; "%.8g" 0.33333334 is the first that reads back equal.
const char kGolden[] =
    "<?xml version='1.0'?>\n"
    "<DataSet>\n"
    " <#@1 name='my view'>\n"
    "<#@1 name='x y' v='-5' t='int' />\n"
    "<Empty v='' t='string' />\n"
    " </#@1>\n"
    " <Grid>\n"
    "<Cols v='120' t='int' />\n"
    "<Title v='a&lt;b &amp; &apos;c&apos;,' t='string' />\n"
    "<Step v='0.33333334' t='float' />\n"
    "<Mask v='0AFF00' t='bin' />\n"
    " </Grid>\n"
    "</DataSet>\n";

void FillGolden(CKeyProfile& p) {
  const BYTE mask[3] = {0x0A, 0xFF, 0x00};
  p.SetKeyInt("Grid", "Cols", 120);
  p.SetKeyString("Grid", "Title", "a<b & 'c',");
  p.SetKeyFloat("Grid", "Step", 1.0f / 3);
  p.SetKeyBin("Grid", "Mask", mask, 3);
  p.SetKeyString("my view", "Empty", "");
  p.SetKeyInt("my view", "x y", -5);
}

TEST(KeyProfileXmlTest, StoresTheGoldenTextAndReadsItBack) {
  CKeyProfile p;
  FillGolden(p);
  EXPECT_EQ(StoreText(p), kGolden);

  CKeyProfile back;
  back.SetKeyInt("Grid", "Keep", 1);  // loading overwrites, never empties
  back.SetKeyInt("grid", "COLS", 7);
  ASSERT_TRUE(LoadText(back, kGolden));
  EXPECT_EQ(back.GetCount(), 7);
  EXPECT_EQ(back.GetKeyInt("Grid", "Keep", 0), 1u);
  EXPECT_EQ(back.GetKeyInt("Grid", "Cols", 0), 120u);
  back.SetKeyInt("Grid", "Keep", 0);
  CKeyProfile loaded;  // numbered in document order: "my view" is section 1 now
  ASSERT_TRUE(LoadText(loaded, kGolden));
  EXPECT_EQ(Sorted(Walk(loaded)), Sorted(Walk(p)));

  CKeyProfile empty;  // the empty profile has an empty element in a file
  EXPECT_EQ(StoreText(empty), "<?xml version='1.0'?>\n<DataSet>\n</DataSet>\n");
  EXPECT_TRUE(LoadText(empty, StoreText(empty)));
  EXPECT_EQ(empty.GetCount(), 0);
}

// Documents as earlier writers made them: raw names, "%g" floats, type
// names in any case, unknown types and valueless numbers passed over.
TEST(KeyProfileXmlTest, ReadsEarlierDocuments) {
  const char doc[] =
      "<?xml version='1.0'?>\n"
      "<DataSet>\n <Grid>\n"
      "<Cols v='120' t='INT' />\n<Step v='0.1' t='Float' />\n<Name v='abc' t='string' />\n"
      "<Raw v='0.5' t='bin' />\n<Blank v='' t='int' />\n<NoType v='1' />\n<Odd v='1' t='date' />\n"
      " </Grid>\n <#@1>\n<k v='1' t='int' />\n </#@1>\n</DataSet>\n";  // index form without its name
  CKeyProfile p;
  ASSERT_TRUE(LoadText(p, doc));
  EXPECT_EQ(p.GetCount(), 3);  // "0.5" is no hex: passed over
  EXPECT_EQ(p.GetKeyInt("grid", "cols", 0), 120u);
  EXPECT_EQ(p.GetKeyFloat("grid", "step", 0), 0.1f);
  CString s;
  p.GetKeyString("grid", "name", s, "");
  EXPECT_STREQ(s, "abc");
}

// A profile inside an object document: the lines take the archive's depth.
class CPrefs : public CVDFile {
  DECLARE_VDFILE(CPrefs)
  bool Serialize(CXmlArchive& ar) override { return m_profile.Serialize(ar); }

 public:
  CKeyProfile m_profile;
};
IMPLEMENT_VDFILE(CPrefs, CVDFile)

TEST(KeyProfileXmlTest, TravelsInsideAnObjectDocument) {
  CVDisk disk;
  auto* prefs = static_cast<CPrefs*>(disk.CreateFileA("prefs", "", "CPrefs"));
  ASSERT_NE(prefs, nullptr);
  prefs->m_profile.SetKeyInt("Grid", "Cols", 120);
  CMemFile mem;
  {
    CXmlArchive ar(&mem, CXmlArchive::store);
    ASSERT_TRUE(ar << disk);
  }
  // The object's data two levels down (two blanks), a section line one more.
  EXPECT_EQ(Text(mem),
            "<?xml version='1.0'?>\n<Disk class='CVDisk' type='Disk' root='true'>\n"
            " <prefs class='CPrefs'>\n  <DataSet>\n   <Grid>\n  <Cols v='120' t='int' />\n"
            "   </Grid>\n  </DataSet>\n </prefs>\n</Disk>\n");
  std::string doc = Text(mem);
  CMemFile in(reinterpret_cast<BYTE*>(&doc[0]), static_cast<UINT>(doc.size()));
  CVDisk again;
  CXmlArchive ar(&in, CXmlArchive::load);
  ASSERT_TRUE(ar >> again);
  auto* back = dynamic_cast<CPrefs*>(again.FindFile("prefs"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->m_profile.GetKeyInt("Grid", "Cols", 0), 120u);
}

// Awkward names and values of every kind come back exactly.
TEST(KeyProfileXmlTest, AwkwardNamesAndValuesRoundTrip) {
  const char* names[] = {"plain",
                         "two words",
                         "it's",
                         "a\"q",
                         "<tag>",
                         "a&b",
                         "x=y",
                         "s/l",
                         "#hash",
                         "x@y",
                         "?q",
                         "!bang",
                         "comma,",
                         "trail ",
                         " lead",
                         "tab\tin",
                         "\xC4\xE3\xBA\xC3",
                         "back\\",
                         "dot.ted",
                         "@at"};
  std::mt19937 rng(9);
  CKeyProfile p;
  int n = 0;
  for (const char* section : names) {
    for (const char* key : names) {
      std::string text = std::string(key) + "'\"<>&\\ \n\t" + std::to_string(n);
      switch (n++ % 5) {
        case 0:
          p.SetKeyString(section, key, text.c_str());
          break;
        case 1:
          p.SetKeyString(section, key, "");
          break;
        case 2:
          p.SetKeyInt(section, key, static_cast<int>(rng()));
          break;
        case 3: {
          float f = AsFloat(rng());
          if (f != f) f = -0.0f;  // NaN is not equal to itself; -0 must keep its sign
          p.SetKeyFloat(section, key, n % 2 ? f : 1e-45f * static_cast<float>(n));
          break;
        }
        default:
          p.SetKeyBin(section, key, text.data(), static_cast<UINT>(text.size()));
      }
    }
  }
  const float extremes[] = {1e38f, -3.4028235e38f, 1.17549435e-38f, 0.1f, 16777216.0f};
  for (float f : extremes) p.SetKeyFloat("floats", ("f" + std::to_string(n++)).c_str(), f);
  CKeyProfile back;
  ASSERT_TRUE(LoadText(back, StoreText(p)));
  EXPECT_EQ(Sorted(Walk(back)), Sorted(Walk(p)));
  EXPECT_EQ(back.GetCount(), 405);
}

// Every cut of the golden file and random byte changes: Load never crashes,
// and whenever it answers false the profile is as it was.
TEST(KeyProfileXmlTest, TruncatedAndCorruptedFilesFailCleanly) {
  const std::string golden = kGolden;
  CKeyProfile before;
  before.SetKeyInt("Grid", "Cols", 1);
  const std::vector<Walked> kept = Walk(before);
  for (size_t n = 0; n + 1 < golden.size(); ++n) {
    CKeyProfile p = before;
    EXPECT_FALSE(LoadText(p, golden.substr(0, n))) << n;
    ASSERT_EQ(Walk(p), kept) << n;
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 3000; ++i) {
    std::string doc = golden;
    for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips)
      doc[rng() % doc.size()] = static_cast<char>(rng());
    CKeyProfile p = before;
    if (!LoadText(p, doc)) {
      ASSERT_EQ(Walk(p), kept) << doc;
    }
  }
  CKeyProfile p;
  EXPECT_FALSE(LoadText(p, "<?xml version='1.0'?>\n<Other/>\n"));  // no DataSet first
  EXPECT_FALSE(LoadText(p, "not xml at all"));
  EXPECT_FALSE(p.Load(static_cast<CFile*>(nullptr)));
}

TEST(KeyProfileXmlTest, SaveByPathNeverLosesTheOldFile) {
  const std::string path = ::testing::TempDir() + "vdkit_key_profile_" + std::to_string(::getpid()) + ".xml";
  CKeyProfile p;
  FillGolden(p);
  ASSERT_TRUE(p.Store(path.c_str()));
  CKeyProfile other;
  other.SetKeyInt("S", "k", 1);
  CFile::SetFaultHook([](CFile::Op op) { return op == CFile::Op::Write; });
  EXPECT_FALSE(other.Store(path.c_str()));
  CFile::SetFaultHook(nullptr);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), kGolden);
  CKeyProfile back;
  EXPECT_TRUE(back.Load(path.c_str()));
  EXPECT_EQ(Sorted(Walk(back)), Sorted(Walk(p)));
  EXPECT_FALSE(back.Load((path + ".missing").c_str()));
  EXPECT_FALSE(p.Store((path + ".missing/dir/x.xml").c_str()));
  std::remove(path.c_str());
}

}  // namespace
