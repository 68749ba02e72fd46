#include "vdkit/dataobj/key_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/xml/xml_archive.h"

namespace {

class CProbe : public CKeyProfile {  // opens the protected members
 public:
  using CKeyProfile::BuildProfileKey;
  using CKeyProfile::GetSectionKey;
  using CKeyProfile::LookupProfile;
  using CKeyProfile::NewProfile;
};

// An entry as GetNext gives it: section, key, type digit, value bytes.
using Walked = std::string;

std::vector<Walked> Walk(const CKeyProfile& p) {
  std::vector<Walked> out;
  for (POSITION pos = p.GetStartPos(); pos;) {
    CString section, key;
    int type = -1, size = -1;
    void* data = nullptr;
    p.GetNext(pos, section, key, type, size, data);
    out.push_back(section.str() + '\n' + key.str() + '\n' + std::to_string(type) + '\n' +
                  std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
  }
  return out;
}

std::vector<Walked> Sorted(std::vector<Walked> w) {
  std::sort(w.begin(), w.end());
  return w;
}

std::string StoreText(CKeyProfile& p) {
  CMemFile mem;
  EXPECT_TRUE(p.Store(&mem));
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

bool LoadText(CKeyProfile& p, std::string doc) {
  CMemFile mem(reinterpret_cast<BYTE*>(doc.empty() ? nullptr : &doc[0]), static_cast<UINT>(doc.size()));
  return p.Load(&mem);
}

float AsFloat(UINT bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void* const kNoBuffer = nullptr;  // a bare nullptr would also fit the allocating form

// What each getter answers for each stored type; names ignore case.
TEST(KeyProfileTest, GettersConvertByTheStoredType) {
  struct Row {
    const char* what;
    std::function<bool(CKeyProfile&)> set;
    UINT i;
    float f;
    const char* s;
  } const rows[] = {
      {"missing", [](CKeyProfile&) { return true; }, 7, 1.5f, "d"},
      {"text", [](CKeyProfile& p) { return p.SetKeyString("Sec", "Key", "42"); }, 42, 42.0f, "42"},
      {"long text", [](CKeyProfile& p) { return p.SetKeyString("Sec", "Key", "99999999999"); }, INT_MAX,
       1e11f, "99999999999"},  // atoi saturating as on the 32-bit platform
      {"int", [](CKeyProfile& p) { return p.SetKeyInt("Sec", "Key", -1); }, 0xFFFFFFFF, 4294967295.0f, "-1"},
      {"float", [](CKeyProfile& p) { return p.SetKeyFloat("Sec", "Key", 2.5f); }, 7, 2.5f, "d"},
      {"bin", [](CKeyProfile& p) { return p.SetKeyBin("Sec", "Key", "42", 2); }, 7, 1.5f, "d"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CKeyProfile p;
    ASSERT_TRUE(row.set(p));
    CString s;
    p.GetKeyString("SEC", "key", s, "d");
    EXPECT_EQ(p.GetKeyInt("sec", "KEY", 7), row.i);
    EXPECT_EQ(p.GetKeyFloat("SEC", "Key", 1.5f), row.f);
    EXPECT_STREQ(s, row.s);
  }
}

TEST(KeyProfileTest, ValuesOfEverySizeComeBackWhole) {
  CKeyProfile p;
  CString s;
  std::string large(70000, 'x');  // past the 16 bits sizes once had
  large.back() = 'y';
  for (const std::string& text : {std::string(), std::string("abcd"), std::string("abcde"), large}) {
    ASSERT_TRUE(p.SetKeyString("T", "k", text.c_str()));  // both sides of the 4 inline bytes
    p.GetKeyString("T", "k", s, "missing");
    EXPECT_EQ(s.str(), text);
  }
  char buf[12];
  std::memset(buf, '#', sizeof buf);
  ASSERT_TRUE(p.SetKeyBin("B", "ten", "0123456789", 10));
  EXPECT_EQ(p.GetKeyBin("B", "ten", buf, 2), 2);
  EXPECT_EQ(std::string(buf, 3), "01#");
  EXPECT_EQ(p.GetKeyBin("B", "ten", buf, 12), 10);  // the whole buffer cleared first
  EXPECT_EQ(std::string(buf, 12), std::string("0123456789\0\0", 12));
  void* block = nullptr;
  UINT size = 0;
  ASSERT_TRUE(p.GetKeyBin("B", "ten", &block, &size));
  EXPECT_EQ(std::string(static_cast<char*>(block), size), "0123456789");
  std::free(block);

  // A value set from its own bytes (GetNext's pointer into a large value).
  ASSERT_TRUE(p.SetKeyBin("B", "b", large.data(), 70000));
  EXPECT_EQ(p.GetKeyBin("B", "b", kNoBuffer, 0), 70000);
  void* own = nullptr;
  for (POSITION pos = p.GetStartPos(); pos;) {
    CString sec, key;
    int type, n;
    p.GetNext(pos, sec, key, type, n, own);
    if (key == "b") break;
  }
  ASSERT_TRUE(p.SetKeyBin("B", "b", static_cast<char*>(own) + 1, 69999));
  EXPECT_EQ(p.GetKeyBin("B", "b", buf, 1), 1);
  EXPECT_EQ(buf[0], 'x');

  const int count = p.GetCount();  // refusals store nothing
  EXPECT_FALSE(p.SetKeyInt(nullptr, "k", 1) || p.SetKeyInt("S", "", 1) || p.SetKeyBin("S", "k", nullptr, 3));
  EXPECT_EQ(p.GetKeyInt(nullptr, "k", 5), 5u);
  EXPECT_EQ(p.GetCount(), count);
}

TEST(KeyProfileTest, LookupsNumberSectionsInOrderOfFirstUse) {
  CProbe p;
  CString key, name;
  EXPECT_EQ(p.GetKeyInt("First", "x", 0), 0u);  // a lookup numbers the section
  ASSERT_TRUE(p.BuildProfileKey("Second", "Key", key) && p.GetSectionKey(1, name));
  EXPECT_EQ(key.str() + " " + name.str(), "2@Key First");
  p.SetKeyString("First", "x", "a long value");
  CKeyProfile::SKeyProfile* v = p.NewProfile("first", "X");  // the same entry, emptied
  ASSERT_TRUE(v && v->type == 0 && v->size == 0);
  EXPECT_EQ(p.LookupProfile("FIRST", "x"), v);
}

// Random operations against a model: the library's own 17-bucket string map
// filled with the composite keys, the table profiles have always used, gives
// the order and holds the values. A copy is checked after its source changed.
TEST(KeyProfileTest, RandomOperationsMatchAModel) {
  struct Model {
    std::vector<std::string> names;  // section n at n - 1
    CMapStringToPtrEx numbers;
    CMapStringToStringEx entries;  // "<n>@<key>" -> type digit, value bytes

    std::string Composite(const std::string& section, const std::string& key) {
      void* n = nullptr;
      if (!numbers.Lookup(section.c_str(), n)) {
        names.push_back(section);
        numbers.SetAt(section.c_str(), n = reinterpret_cast<void*>(names.size()));
      }
      return std::to_string(reinterpret_cast<size_t>(n)) + "@" + key;
    }
    std::vector<Walked> Expected() const {
      std::vector<Walked> out;
      for (POSITION pos = entries.GetStartPosition(); pos;) {
        CString composite, value;
        entries.GetNextAssoc(pos, composite, value);
        const std::string c = composite.str();
        const size_t at = c.find('@');
        out.push_back(names[std::stoul(c) - 1] + '\n' + c.substr(at + 1) + '\n' + value.str().substr(0, 1) +
                      '\n' + value.str().substr(1));
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
  auto model = std::make_unique<Model>();
  CKeyProfile p, snapshot;
  std::vector<Walked> snapshotWalk;
  for (int step = 0; step < 6000; ++step) {
    const std::string section = scramble(sections[pick(6)]),
                      key = scramble("key" + std::to_string(pick(400)));
    const int op = pick(20);
    const UINT bits = rng();
    std::string bytes(static_cast<size_t>(pick(3) == 0 ? pick(300) : pick(9)), '\0');
    for (char& c : bytes) c = static_cast<char>(op < 11 ? 1 + pick(255) : pick(256));  // strings: no NUL
    bool set = true;
    int type = op < 4 ? 1 : op < 7 ? 4 : op < 11 ? 2 : 3;
    if (op < 4) {
      set = p.SetKeyInt(section.c_str(), key.c_str(), static_cast<int>(bits));
    } else if (op < 7) {
      set = p.SetKeyFloat(section.c_str(), key.c_str(), AsFloat(bits));
    } else if (op < 11) {
      set = p.SetKeyString(section.c_str(), key.c_str(), bytes.c_str());
    } else if (op < 14) {
      set = p.SetKeyBin(section.c_str(), key.c_str(), bytes.data(), static_cast<UINT>(bytes.size()));
    } else {
      type = 0;
    }
    if (op < 7) bytes.assign(reinterpret_cast<const char*>(&bits), 4);
    if (type) {
      ASSERT_TRUE(set);
      model->entries[model->Composite(section, key).c_str()] = CString(std::to_string(type) + bytes);
    } else if (op < 18) {  // a lookup, now and then of a section never used, which numbers it
      const std::string fresh = pick(30) == 0 ? "new" + std::to_string(step) : section;
      CString value;
      char buf[400];
      const int n = p.GetKeyBin(fresh.c_str(), key.c_str(), buf, sizeof buf);
      if (!model->entries.Lookup(model->Composite(fresh, key).c_str(), value)) value = "0";
      ASSERT_EQ(std::string(buf, static_cast<size_t>(n)), value.str().substr(1));
    } else if (op == 18 && pick(50) == 0) {
      snapshot = p;  // deep copy; p changes after this
      snapshotWalk = model->Expected();
    } else if (op == 19 && pick(400) == 0) {
      p.ResetKeyProfiles();
      model = std::make_unique<Model>();
    }
    if (step % 500 == 499) {
      ASSERT_EQ(Walk(p), model->Expected()) << "step " << step;
      ASSERT_EQ(Walk(snapshot), snapshotWalk) << "step " << step;
      ASSERT_EQ(p.GetSectionCount(), static_cast<int>(model->names.size()));
    }
  }
  CKeyProfile moved(std::move(snapshot));
  CKeyProfile& self = moved;
  moved = self;  // assigned to itself: kept
  EXPECT_EQ(Walk(moved), snapshotWalk);
}

// Every type, an escaped string, a float that needs eight digits, names that
// cannot be element names. Composite keys and their buckets (h = h * 33 +
// upper(c), modulo 17): 1@Cols 0, 1@Title 7, 1@Step 10, 1@Mask 12, 2@x y 12
// (newer: first in its bucket), 2@Empty 14. Sections by the buckets of their
// names: "my view" 2, "Grid" 6. 1/3 as a float: "%g" 0.333333 and "%.7g"
// 0.3333333 read back as other floats, "%.8g" 0.33333334 reads back equal.
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
  p.SetKeyInt("Grid", "Cols", 120);
  p.SetKeyString("Grid", "Title", "a<b & 'c',");
  p.SetKeyFloat("Grid", "Step", 1.0f / 3);
  p.SetKeyBin("Grid", "Mask", "\x0A\xFF", 3);
  p.SetKeyString("my view", "Empty", "");
  p.SetKeyInt("my view", "x y", -5);
}

TEST(KeyProfileXmlTest, StoresTheGoldenTextAndReadsItBack) {
  CKeyProfile p;
  FillGolden(p);
  EXPECT_EQ(StoreText(p), kGolden);
  CKeyProfile back;  // loading overwrites and keeps the rest
  back.SetKeyInt("Grid", "Keep", 1);
  back.SetKeyInt("grid", "COLS", 7);
  ASSERT_TRUE(LoadText(back, kGolden));
  EXPECT_EQ(back.GetKeyInt("Grid", "Keep", 0), 1u);
  back.ResetKeyProfiles();
  ASSERT_TRUE(LoadText(back, kGolden));  // numbered in document order: the order differs
  EXPECT_EQ(Sorted(Walk(back)), Sorted(Walk(p)));
  CKeyProfile empty;
  EXPECT_EQ(StoreText(empty), "<?xml version='1.0'?>\n<DataSet>\n</DataSet>\n");

  // As earlier writers made them: type names in any case; unknown types,
  // valueless numbers, binary values that are no hex and index forms
  // without a name passed over.
  ASSERT_TRUE(LoadText(empty,
                       "<?xml version='1.0'?>\n<DataSet>\n <Grid>\n<Cols v='120' t='INT' />\n"
                       "<Step v='0.1' t='Float' />\n<Raw v='0.5' t='bin' />\n<Blank v='' t='int' />\n"
                       "<NoType v='1' />\n<Odd v='1' t='date' />\n </Grid>\n <#@1>\n<k v='1' t='int' />\n"
                       " </#@1>\n</DataSet>\n"));
  EXPECT_EQ(empty.GetCount(), 2);
  EXPECT_EQ(empty.GetKeyFloat("grid", "step", 0), 0.1f);
}

// A profile inside an object document: its lines take the archive's depth.
class CPrefs : public CVDFile {
  DECLARE_VDFILE(CPrefs)
  bool Serialize(CXmlArchive& ar) override { return m_profile.Serialize(ar); }

 public:
  CKeyProfile m_profile;
};
IMPLEMENT_VDFILE(CPrefs, CVDFile)

TEST(KeyProfileXmlTest, TravelsInsideAnObjectDocument) {
  CVDisk disk;
  static_cast<CPrefs*>(disk.CreateFileA("prefs", "", "CPrefs"))->m_profile.SetKeyInt("Grid", "Cols", 120);
  CMemFile mem;
  CXmlArchive out(&mem, CXmlArchive::store);
  ASSERT_TRUE(out << disk);
  std::string doc(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
  // The object's data two levels down (two blanks), a section line one more.
  EXPECT_EQ(doc,
            "<?xml version='1.0'?>\n<Disk class='CVDisk' type='Disk' root='true'>\n"
            " <prefs class='CPrefs'>\n  <DataSet>\n   <Grid>\n  <Cols v='120' t='int' />\n"
            "   </Grid>\n  </DataSet>\n </prefs>\n</Disk>\n");
  CMemFile in(reinterpret_cast<BYTE*>(&doc[0]), static_cast<UINT>(doc.size()));
  CVDisk again;
  CXmlArchive ar(&in, CXmlArchive::load);
  ASSERT_TRUE(ar >> again);
  auto* back = dynamic_cast<CPrefs*>(again.FindFile("prefs"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->m_profile.GetKeyInt("Grid", "Cols", 0), 120u);
}

TEST(KeyProfileXmlTest, AwkwardNamesAndValuesRoundTrip) {
  const char* names[] = {"plain",   "two words", "it's",   "a\"q",    "<tag>",
                         "a&b",     "x=y",       "s/l",    "#hash",   "x@y",
                         "?q",      "!bang",     "comma,", "trail ",  " lead",
                         "tab\tin", "@at",       "back\\", "dot.ted", "\xC4\xE3\xBA\xC3"};
  std::mt19937 rng(9);
  CKeyProfile p;
  int n = 0;
  for (const char* section : names) {
    for (const char* key : names) {
      const std::string text = n % 3 ? std::string(key) + "'\"<>&\\ \n\t" : "";
      float f = AsFloat(rng());
      if (f != f) f = -0.0f;  // NaN is not equal to itself; -0 keeps its sign
      if (n % 4 == 0) p.SetKeyString(section, key, text.c_str());
      if (n % 4 == 1) p.SetKeyBin(section, key, text.data(), static_cast<UINT>(text.size()));
      if (n % 4 == 2) p.SetKeyFloat(section, key, f);
      if (n++ % 4 == 3) p.SetKeyFloat(section, key, 1e-45f * static_cast<float>(n));  // denormals
    }
  }
  for (float f : {1e38f, -3.4028235e38f, 1.17549435e-38f, 0.1f, 16777216.0f})
    p.SetKeyFloat("floats", std::to_string(n++).c_str(), f);
  CKeyProfile back;
  ASSERT_TRUE(LoadText(back, StoreText(p)));
  EXPECT_EQ(Sorted(Walk(back)), Sorted(Walk(p)));
  EXPECT_EQ(back.GetCount(), 405);
}

// Every cut of the golden file, random byte changes, files of no profile:
// Load never crashes, and when it answers false the profile is as it was.
TEST(KeyProfileXmlTest, BadFilesLeaveTheProfileAlone) {
  const std::string golden = kGolden;
  CKeyProfile before;
  before.SetKeyInt("Grid", "Cols", 1);
  const std::vector<Walked> kept = Walk(before);
  std::vector<std::string> docs = {"not xml", "<?xml version='1.0'?>\n<Other/>\n"};
  for (size_t n = 0; n + 1 < golden.size(); ++n) docs.push_back(golden.substr(0, n));
  for (const std::string& doc : docs) {
    CKeyProfile p = before;
    EXPECT_FALSE(LoadText(p, doc)) << doc;
    ASSERT_EQ(Walk(p), kept) << doc;
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
}

}  // namespace
