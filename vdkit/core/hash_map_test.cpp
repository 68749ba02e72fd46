#include "vdkit/core/hash_map.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(MapHashKeyTest, FoldsAsciiAndKeepsHighBytesSigned) {
  EXPECT_EQ(MapHashKey("abc"), 73030u);  // (65*33 + 66)*33 + 67
  EXPECT_EQ(MapHashKey("ABC"), 73030u);
  EXPECT_EQ(MapHashKey("\xE9"), 0xFFFFFFE9u);  // 0xE9 taken as -23
  EXPECT_EQ(MapHashKey(nullptr), 0u);
}

TEST(StringMapTest, IterationIsBucketOrderThenNewestFirst) {
  CMapStringToPtrEx m;
  m["b"];    // hash 66, bucket 66 % 17 = 15
  m["a"];    // hash 65, bucket 14
  m["abc"];  // 73030 % 17 = 15 too, inserted last: before "b"
  std::vector<std::string> keys;
  for (POSITION pos = m.GetStartPosition(); pos;) {
    CString key;
    void* v;
    m.GetNextAssoc(pos, key, v);
    keys.push_back(key.GetString());
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "abc", "b"}));
  int p = 0;  // null and empty keys are never stored
  m[""] = &p;
  m.SetAt(nullptr, &p);
  EXPECT_EQ(m.GetCount(), 3);
}

TEST(StringMapTest, RandomOperationsAgreeWithAModel) {
  // A model keyed by the upper-cased key, holding the first-stored text.
  std::mt19937 rng(7);
  CMapStringToStringEx s(3);
  s.InitHashTable(7);
  std::map<std::string, std::pair<std::string, std::string>> model;
  auto upper = [](std::string k) {
    for (char& c : k) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return k;
  };
  const char* alphabet = "aAbB\xE9z";
  for (int step = 0; step < 5000; ++step) {
    std::string key;
    const int len = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < len; ++i) key += alphabet[rng() % 6];
    const std::string value = std::to_string(step);
    const std::string upperKey = upper(key);
    if (rng() % 3) {
      s.SetAt(key.c_str(), value.c_str());
      model.emplace(upperKey, std::pair{key, value}).first->second.second = value;
    } else {
      EXPECT_EQ(s.RemoveKey(key.c_str()) != FALSE, model.erase(upperKey) == 1);
    }
    ASSERT_EQ(s.GetCount(), static_cast<int>(model.size()));
  }
  for (const auto& [k, kv] : model) {
    const char* stored = nullptr;
    ASSERT_TRUE(s.LookupKey(k.c_str(), stored));
    EXPECT_EQ(std::string(stored), kv.first);
    CString v;
    s.Lookup(k.c_str(), v);
    EXPECT_EQ(std::string(v.GetString()), kv.second);
  }
}

}  // namespace
