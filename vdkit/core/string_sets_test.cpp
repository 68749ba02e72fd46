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
  SetStringResource(31002, " in m");
  SetStringResource(31003, "a,b;;c\n,d,");
  EXPECT_EQ(CStringEx(31001, 31002, 0), "Depth in m");
  EXPECT_EQ(CStringEx(31999, 31002), " in m");
  CStringArrayEx tokens(31003);
  ASSERT_EQ(tokens.GetSize(), 4);
  EXPECT_EQ(tokens[0], "a");
  EXPECT_EQ(tokens[3], "d");
  for (UINT id : {31001u, 31002u, 31003u}) SetStringResource(id, nullptr);

  CStringArrayEx a;
  a.Add("ABC");
  EXPECT_EQ(a.AddEx("abc"), 0);
  EXPECT_EQ(a.AddEx("x"), 1);
  a.Add("y");
  EXPECT_EQ(a.Find("Y"), 2);
  EXPECT_EQ(a.Find("z"), -1);
  a.Move(0, 2);  // ABC to the end
  a.Move(7, 0);  // out of range: ignored
  EXPECT_EQ(a[0], "x");
  EXPECT_EQ(a[2], "ABC");
}

TEST(CStringSetTest, LinesAreStrippedAndTracked) {
  CStringSet s;
  s.AddLine("first");
  s.SetLine(0, "abc\r\n");
  EXPECT_STREQ(s.GetLine(0), "abc");
  s.SetModified(false);
  s.SetLine(0, "\n");
  EXPECT_STREQ(s.GetLine(0), "");
  EXPECT_TRUE(s.IsModified());
  s.SetModified(false);
  s.SetLine(0, nullptr);  // empties without marking
  EXPECT_FALSE(s.IsModified());
  s.SetLine(0, "abcdef", 3);
  EXPECT_STREQ(s.GetLine(0), "abc");
  EXPECT_EQ(s.GetMaxCharCount(), 5);  // "first" was the longest ever
  s.SetLine(1000, "x");               // outside the buffer: ignored
  EXPECT_STREQ(s.GetLine(1000), "");
  s.AddLine(nullptr);
  s.AppendLine(1, "tail\n");
  EXPECT_STREQ(s.GetLine(1), "tail");
  s.AddText("a\nb");  // splits at line feeds, the first part appended to the last line
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"abc", "taila", "b"}));
}

TEST(CStringSetTest, MaxLinesKeepTheNewest) {
  CStringSet s;
  s.SetMaxLine(3);
  for (const char* t : {"1", "2", "3", "4", "5"}) s.AddLine(t);
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"3", "4", "5"}));
  s.AppendLine(10, "far");  // beyond what three lines allow: dropped safely
  EXPECT_EQ(s.GetLineCount(), 3);

  // Without a maximum the buffer grows by 50 slots and keeps everything.
  CStringSet big;
  for (int i = 0; i < 120; ++i) big.AddLine(std::to_string(i).c_str());
  EXPECT_EQ(big.GetLineCount(), 120);
  EXPECT_STREQ(big.GetLine(119), "119");

  // Copies are deep.
  CStringSet copy = big;
  copy.SetLine(0, "changed");
  EXPECT_STREQ(big.GetLine(0), "0");
}

TEST(CKeyStringSetTest, KeysIgnoreCase) {
  CKeyStringSet s;
  s.Add("Key", "x");
  s.Add("KEY", "y");
  ASSERT_EQ(s.GetCount(), 1);
  EXPECT_STREQ(s.GetKey(0), "KEY");
  EXPECT_STREQ(s.GetText("key"), "y");
  s.Add("Other", "Value");
  EXPECT_STREQ(s.GetKey("VALUE"), "Other");
  EXPECT_EQ(s.GetKey("none"), nullptr);
  EXPECT_EQ(s.GetText("none"), nullptr);
  EXPECT_EQ(s.GetText(5), nullptr);
  CKeyStringSet copy = s;
  s.RemoveAt(0);
  EXPECT_STREQ(s.GetKey(0), "Other");
  EXPECT_EQ(copy.GetCount(), 2);  // the copy owns its own pairs
  s.RemoveAll();
  EXPECT_EQ(s.GetCount(), 0);

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

TEST(CKeyStringArraySetTest, ItemsAndTexts) {
  CKeyStringArraySet s;
  CStringArray* a = s.Add("W1", "a");
  EXPECT_EQ(s.Add("w1", "b"), a);
  s.Add("W2", nullptr);
  EXPECT_EQ(s.GetCount(), 2);
  EXPECT_EQ(s.GetText("W1", 2), nullptr);
  CString all;
  EXPECT_TRUE(s.GetAllText("w1", all, true));
  EXPECT_EQ(all, "a\r\nb\r\n");
  EXPECT_TRUE(s.GetAllText("w1", all, false));
  EXPECT_EQ(all, "a\nb\n");
  all = "kept";
  EXPECT_FALSE(s.GetAllText("nope", all, true));
  EXPECT_EQ(all, "kept");
  EXPECT_EQ(s.GetSA("none"), nullptr);

  CKeyStringArraySet copy;
  copy = s;
  copy.Add("W1", "c");
  EXPECT_EQ(s.GetSA("W1")->GetSize(), 2);
  s.ResetAt(0);
  EXPECT_EQ(s.GetAt(0)->m_saValues.GetSize(), 0);
  EXPECT_EQ(copy.GetSA("W1")->GetSize(), 3);
  s.DeleteAt(0);
  EXPECT_STREQ(s.GetKeyAt(0), "W2");
  EXPECT_EQ(s.GetKeyAt(1), nullptr);
  s.Reset();
  EXPECT_EQ(s.GetCount(), 0);
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
  s.Add("Key", "a");
  s.Add("Key", "bcd");
  s.Add("W", nullptr);
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
  EXPECT_STREQ(back.GetKeyAt(0), "Key");
  EXPECT_STREQ(back.GetText("KEY", 1), "bcd");
  EXPECT_EQ(back.GetSA("w")->GetSize(), 0);
  EXPECT_STREQ(back.GetText("Z", 0), "z");

  for (size_t len = 0; len < kGolden.size(); ++len) {
    CMemFile cut(const_cast<BYTE*>(kGolden.data()), static_cast<UINT>(len));
    CKeyStringArraySet part;
    EXPECT_FALSE(part.Read(cut)) << len;
  }
  // Hostile counts and lengths end at the end of the data.
  std::vector<BYTE> hostile = kGolden;
  hostile[3] = 0x7F;   // two billion items
  hostile[15] = 0x7F;  // two billion values
  CMemFile h(hostile.data(), static_cast<UINT>(hostile.size()));
  CKeyStringArraySet part;
  EXPECT_FALSE(part.Read(h));
  std::vector<BYTE> longString = kGolden;
  longString[7] = 0x7F;  // a key of two billion bytes
  CMemFile l(longString.data(), static_cast<UINT>(longString.size()));
  EXPECT_FALSE(part.Read(l));
}

}  // namespace
