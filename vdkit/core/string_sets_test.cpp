#include "vdkit/core/string_sets.h"

#include <gtest/gtest.h>

#include <vector>

#include "vdkit/platform/codepage.h"
#include "vdkit/platform/resources.h"

namespace {

std::vector<std::string> Lines(const CStringSet& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.GetLineCount(); ++i) out.push_back(s.GetLine(i));
  return out;
}

TEST(CStringExTest, ResourcesTokensAndFind) {
  SetStringResource(31001, "Depth");
  SetStringResource(31002, "a,b;;c\n,d,");
  EXPECT_EQ(CStringEx(31001, 31002, 0), "Deptha,b;;c\n,d,");
  EXPECT_EQ(CStringArrayEx(31002).GetSize(), 4);
  for (UINT id : {31001u, 31002u}) SetStringResource(id, nullptr);
  CStringArrayEx a;
  a.Add("ABC");
  EXPECT_EQ(a.AddEx("abc"), 0);
  a.Add("y");
  a.Move(0, 1);
  EXPECT_EQ(a.Find("abc"), 1);
}

TEST(CStringSetTest, LinesAreStrippedBoundedAndTracked) {
  CStringSet s;
  s.AddLine("first");
  s.SetLine(0, "abcdef", 3);
  EXPECT_EQ(s.GetMaxCharCount(), 5);  // "first" was the longest ever
  s.SetLine(1000, "x");               // outside the buffer: ignored
  s.AddLine(nullptr);
  s.AppendLine(1, "tail\n");
  s.AddText("a\nb");  // splits at line feeds, the first part appended to the last line
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"abc", "taila", "b"}));
  CStringSet m;
  m.SetMaxLine(3);
  for (const char* t : {"1", "2", "3", "4", "5"}) m.AddLine(t);
  m.AppendLine(10, "far");  // beyond what three lines allow: dropped safely
  EXPECT_EQ(Lines(m), (std::vector<std::string>{"3", "4", "5"}));
  CStringSet copy(m);  // its own lines
  m.SetLine(0, "changed");
  EXPECT_EQ(Lines(copy), (std::vector<std::string>{"3", "4", "5"}));
}

TEST(CKeyStringSetTest, KeysIgnoreCase) {
  CKeyStringSet s;
  s.Add("Key", "x");
  s.Add("KEY", "y");
  ASSERT_EQ(s.GetCount(), 1);
  EXPECT_STREQ(s.GetKey(0), "KEY");
  EXPECT_STREQ(s.GetText("key"), "y");
  s.RemoveAll();
  // Under GBK the trail byte of a character is not a letter to fold.
  SetHostCodePage(936);
  s.Add("\xB0\x41", "upper");
  s.Add("\xB0\x61", "lower");
  EXPECT_EQ(s.GetCount(), 2);
  SetHostCodePage(0);
  s.Add("\xB0\x61", "single-byte");  // now the same key as the first
  EXPECT_EQ(s.GetCount(), 2);
  EXPECT_STREQ(s.GetText(0), "single-byte");
}

// Two items: "Key" with the values "a" and "bcd", then "W" without values.
const std::vector<BYTE> kGolden = {
    0x02, 0, 0, 0,                    // item count 2
    0x04, 0, 0, 0, 'K', 'e', 'y', 0,  // key "Key": 3 + 1 = 4
    0x02, 0, 0, 0,                    // value count 2
    0x04, 0, 0, 0, 'a', 0,   0,   0,  // "a": 1 + 1 rounded up to 4
    0x04, 0, 0, 0, 'b', 'c', 'd', 0,  // "bcd": 3 + 1 = 4
    0x04, 0, 0, 0, 'W', 0,   0,   0,  // key "W"
    0x00, 0, 0, 0,                    // no values
};

TEST(CKeyStringArraySetTest, FileGoldenBytesAndBadInput) {
  CKeyStringArraySet s;
  CStringArray* values = s.Add("Key", "a");
  EXPECT_EQ(s.Add("kEY", "bcd"), values);
  s.Add("W", nullptr);
  CString all;
  EXPECT_TRUE(s.GetAllText("key", all, true));
  EXPECT_EQ(all, "a\r\nbcd\r\n");
  CKeyStringArraySet copy;  // owns its own items
  copy = s;
  copy.Add("Key", "c");
  EXPECT_EQ(s.GetSA("Key")->GetSize(), 2);
  CMemFile mem;
  EXPECT_TRUE(s.Write(mem));
  EXPECT_EQ(std::vector<BYTE>(mem.GetData(), mem.GetData() + mem.GetLength()), kGolden);
  // An item without values does not end reading: the next one still comes.
  std::vector<BYTE> three = kGolden;
  three[0] = 3;
  const BYTE more[] = {0x04, 0, 0, 0, 'Z', 0, 0, 0, 0x01, 0, 0, 0, 0x04, 0, 0, 0, 'z', 0, 0, 0};
  three.insert(three.end(), std::begin(more), std::end(more));
  CMemFile in(three.data(), static_cast<UINT>(three.size()));
  CKeyStringArraySet back;
  EXPECT_TRUE(back.Read(in));
  ASSERT_EQ(back.GetCount(), 3);
  EXPECT_STREQ(back.GetText("KEY", 1), "bcd");
  EXPECT_STREQ(back.GetText("Z", 0), "z");
  for (size_t len = 0; len < kGolden.size(); ++len) {
    CMemFile cut(const_cast<BYTE*>(kGolden.data()), static_cast<UINT>(len));
    CKeyStringArraySet part;
    EXPECT_FALSE(part.Read(cut)) << len;
  }
  // Hostile counts and lengths (two billion items, values, key bytes) end at the end of the data.
  for (size_t at : {3, 15, 7}) {
    std::vector<BYTE> hostile = kGolden;
    hostile[at] = 0x7F;
    CMemFile h(hostile.data(), static_cast<UINT>(hostile.size()));
    CKeyStringArraySet part;
    EXPECT_FALSE(part.Read(h)) << at;
  }
}

}  // namespace
