#include "vdkit/vdb/data_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr float kNull = 9.999e-30f;

std::vector<BYTE> Bytes(CMemFile& mem) {
  return std::vector<BYTE>(mem.GetData(), mem.GetData() + mem.GetLength());
}

// A FILE* holding `text`, positioned at its start.
FILE* TextFile(const std::string& text) {
  FILE* fp = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), fp);
  std::rewind(fp);
  return fp;
}

std::string Rest(FILE* fp) {
  std::string out;
  for (int c; (c = std::getc(fp)) != EOF;) out += static_cast<char>(c);
  return out;
}

TEST(DataSetTest, IterationGivesFloatsThenIntegersThenStrings) {
  CVdbDataSet ds;
  ds.Sets("unit", "m");
  ds.Seti("b", 2);
  ds.Seti("a", 1);
  ds.Setf("x", 0.5f);
  EXPECT_EQ(ds.GetCount(), 4);
  std::vector<std::string> seen;
  ds.GetNextBegin();
  for (CString k, v; ds.GetNext(k, v);) seen.push_back(std::string(k) + "=" + std::string(v));
  ds.GetNextEnd();
  // Integers in map order: "a" (bucket 14) before "b" (bucket 15).
  EXPECT_EQ(seen, (std::vector<std::string>{"x=0.5", "a=1", "b=2", "unit=m"}));

  // A change during the iteration ends it instead of walking freed entries.
  ds.GetNextBegin();
  CString k, v;
  EXPECT_TRUE(ds.GetNext(k, v));
  ds.ResetData();
  EXPECT_FALSE(ds.GetNext(k, v));
  CVdbDataSet fresh;
  EXPECT_FALSE(fresh.GetNext(k, v));  // without GetNextBegin
}

TEST(DataSetTest, CopiesAreDeepAndAssignmentTakesOnlyValues) {
  CVdbDataSet a;
  a.SetName("A");
  a.Setf("f", 1.0f);
  a.Seti("i", 2);
  a.Sets("s", "text");
  a.GetKeySpec("f", true)->m_strLabel = "F";

  CVdbDataSet copy(a);
  copy.Sets("s", "changed");
  copy.GetKeySpec("f", false)->m_strLabel = "G";
  EXPECT_STREQ(a.Gets("s"), "text");
  CVdbDataSet b;
  b.SetName("B");
  b.Seti("only", 9);
  b.GetKeySpec("x", true);
  b = a;
  EXPECT_EQ(b.GetName(), "B");
  EXPECT_EQ(b.GetKeySpec("x", false), nullptr);
  EXPECT_EQ(b.GetKeySpec("f", false), nullptr);
  EXPECT_EQ(b.LookupKeyType("only"), 0);
  EXPECT_EQ(b.GetCount(), 3);
  b = b;
  EXPECT_EQ(b.GetCount(), 3);
}

// name "DS"; a value limit for depth (label Depth, min 0, max 100, flags 0 0 1); integer
// count = 3; float depth = 1.5; strings note = "" and unit = "m".
const BYTE kGolden[] = {
    // name "DS": length 2 + 1 = 3, rounded up to 4
    0x04, 0x00, 0x00, 0x00, 'D', 'S', 0x00, 0x00,
    // value limit count 1
    0x01, 0x00, 0x00, 0x00,
    // label "Depth": 5 + 1 = 6, rounded up to 8
    0x08, 0x00, 0x00, 0x00, 'D', 'e', 'p', 't', 'h', 0x00, 0x00, 0x00,
    // key "depth": 8 as above
    0x08, 0x00, 0x00, 0x00, 'd', 'e', 'p', 't', 'h', 0x00, 0x00, 0x00,
    // min 0.0f = 0x00000000, max 100.0f = 0x42C80000
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x42,
    // flags 0, 0, 1 and one zero byte
    0x00, 0x00, 0x01, 0x00,
    // integer count 1; key "count" (5 + 1 -> 8); value 3
    0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 'c', 'o', 'u', 'n', 't', 0x00, 0x00, 0x00, 0x03, 0x00,
    0x00, 0x00,
    // float count 1; key "depth"; 1.5f = 0x3FC00000
    0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 'd', 'e', 'p', 't', 'h', 0x00, 0x00, 0x00, 0x00, 0x00,
    0xC0, 0x3F,
    // string count 2, in bucket order: "note" hashes to 2891958, bucket 3 of
    // 17; "unit" to 3142080, bucket 4.
    0x02, 0x00, 0x00, 0x00,
    // key "note" (4 + 1 -> 8), empty value: length 0 alone
    0x08, 0x00, 0x00, 0x00, 'n', 'o', 't', 'e', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // key "unit" (8), value "m" (1 + 1 -> 4)
    0x08, 0x00, 0x00, 0x00, 'u', 'n', 'i', 't', 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 'm', 0x00,
    0x00, 0x00};

void FillGolden(CVdbDataSet& ds) {
  ds.SetName("DS");
  CVdbDataSet::SValueSpec s;
  s.m_strLabel = "Depth";
  s.m_fMin = 0;
  s.m_fMax = 100;
  ds.SetKeySpec(s, "depth");
  ds.Seti("count", 3);
  ds.Setf("depth", 1.5f);
  ds.Sets("unit", "m");
  ds.Sets("note", "");
}

TEST(DataSetBinaryTest, GoldenBytes) {
  CVdbDataSet ds;
  FillGolden(ds);
  CMemFile mem;
  EXPECT_TRUE(ds.Write(mem));
  EXPECT_EQ(Bytes(mem), std::vector<BYTE>(std::begin(kGolden), std::end(kGolden)));

  CMemFile in(const_cast<BYTE*>(kGolden), sizeof kGolden);
  CVdbDataSet back;
  back.Seti("stale", 1);
  ASSERT_TRUE(back.Read(in));
  EXPECT_EQ(in.GetPosition(), sizeof kGolden);
  EXPECT_EQ(back.LookupKeyType("stale"), 0);
  EXPECT_EQ(back.LookupKeyType("note"), 3);  // the empty string survives
  CMemFile again;                            // everything else came back: written again, the same bytes
  back.Write(again);
  EXPECT_EQ(Bytes(again), Bytes(mem));
}

TEST(DataSetBinaryTest, EveryTruncationFailsAndFlipsNeverCrash) {
  for (size_t len = 0; len < sizeof kGolden; ++len) {
    SCOPED_TRACE(len);
    CMemFile in(const_cast<BYTE*>(kGolden), static_cast<UINT>(len));
    CVdbDataSet ds;
    EXPECT_FALSE(ds.Read(in));
  }
  for (size_t at = 0; at < sizeof kGolden; ++at) {
    std::vector<BYTE> bad(std::begin(kGolden), std::end(kGolden));
    bad[at] ^= 0xFF;
    CMemFile in(bad.data(), static_cast<UINT>(bad.size()));
    CVdbDataSet ds;
    ds.Read(in);  // any result; the sanitizers watch the rest
  }
}

TEST(DataSetBinaryTest, HostileCountsAndLengthsFailWithoutAllocating) {
  const BYTE hugeName[] = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c', 0};
  const BYTE negativeName[] = {0xFC, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};  // the empty name, then cut short
  const BYTE hugeCount[] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
  const BYTE negativeCount[] = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  for (auto [data, size] : {std::pair<const BYTE*, size_t>{hugeName, sizeof hugeName},
                            {negativeName, sizeof negativeName},
                            {hugeCount, sizeof hugeCount},
                            {negativeCount, sizeof negativeCount}}) {
    CMemFile in(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CVdbDataSet ds;
    EXPECT_FALSE(ds.Read(in));
  }
}

// Keys and values that a careless text form would split, merge or lose.
void FillAwkward(CVdbDataSet& ds) {
  ds.SetName("my set\t[1]");
  ds.Setf("depth", 0.1f);
  ds.Setf("max", FLT_MAX);
  ds.Setf("null", kNull);
  ds.Seti("min", INT_MIN);
  ds.Seti("key with blanks", 7);
  ds.Seti("[section]", 1);
  ds.Seti("?q", 2);
  ds.Seti("END", 3);
  ds.Sets("empty", "");
  ds.Sets("sentence", "  two words, trailing  ");
  ds.Sets("lines", "a\nb\r\nc");
  ds.Sets("percent", "%41 stays %");
  ds.Sets("gbk", "\xC9\xEE\xB6\xC8");
  ds.Sets(std::string(300, 'k').c_str(), std::string(500, 'v').c_str());
}

// The written lines, sorted: keys sharing a bucket may come back in another order.
std::vector<std::string> WrittenLines(CVdbDataSet& ds) {
  FILE* fp = std::tmpfile();
  EXPECT_TRUE(ds.Write(fp));
  std::rewind(fp);
  std::vector<std::string> lines;
  for (char buf[4096]; std::fgets(buf, sizeof buf, fp);) lines.push_back(buf);
  std::fclose(fp);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(DataSetTextTest, WriterAndReaderAgree) {
  CVdbDataSet ds;
  FillAwkward(ds);
  FILE* fp = std::tmpfile();
  ASSERT_TRUE(ds.Write(fp));
  std::fputs("[Next]\n", fp);
  std::rewind(fp);
  CVdbDataSet back;
  back.GetKeySpec("dropped", true);
  ASSERT_TRUE(back.Read(fp));
  EXPECT_EQ(back.GetName(), ds.GetName());
  EXPECT_EQ(back.GetKeySpec("dropped", false), nullptr);
  EXPECT_EQ(WrittenLines(back), WrittenLines(ds));  // every key and value came back
  EXPECT_STREQ(back.Gets("sentence"), "  two words, trailing  ");
  EXPECT_EQ(Rest(fp), "\n[Next]\n");  // the blank line after *END* stays unread
  std::fclose(fp);
}

TEST(DataSetTextTest, WrittenLayout) {
  CVdbDataSet ds;
  ds.SetName("Pump");
  ds.Seti("count", 12);
  ds.Setf("depth", 1.5f);
  ds.Sets("unit", "m");
  ds.Sets("blank", "a b");
  FILE* fp = std::tmpfile();
  ASSERT_TRUE(ds.Write(fp));
  std::rewind(fp);
  EXPECT_EQ(Rest(fp),
            "\n?---- Pump -----\n"
            "DataSetName= Pump\n"
            "     I:count= 12\n"
            "     F:depth= 1.5\n"
            "     S:blank= a%20b\n"  // "blank" bucket 1, before "unit" in bucket 4
            "      S:unit= m\n"
            "  *END*\n\n");
  std::fclose(fp);
}

TEST(DataSetTextTest, HandWrittenForms) {
  FILE* fp = TextFile(
      "? a comment\n"
      "\n"
      "f:depth 1.5\n"
      "I:count 3\n"
      "s:unit m and more\n"
      "f:depth\n"  // one token: skipped
      "f:bad x\n"  // no number: skipped
      "DATASETNAME= Wells\n"
      "     I:old= 4\n"  // the old writer's form: '=' is not part of the key
      "[Next]\n"
      "f:after 1\n");
  CVdbDataSet ds;
  ASSERT_TRUE(ds.Read(fp));
  EXPECT_EQ(ds.Getf("depth"), 1.5f);
  EXPECT_EQ(ds.Geti("count"), 3);
  EXPECT_STREQ(ds.Gets("unit"), "m");
  EXPECT_EQ(ds.LookupKeyType("bad"), 0);
  EXPECT_EQ(ds.Geti("old"), 4);
  EXPECT_EQ(ds.LookupKeyType("old="), 0);
  EXPECT_EQ(ds.GetName(), "Wells");
  EXPECT_EQ(ds.GetCount(), 4);
  EXPECT_EQ(Rest(fp), "[Next]\nf:after 1\n");
  std::fclose(fp);

  struct Case {
    const char* text;
    const char* rest;  // what the reader leaves unread
  } cases[] = {
      {"i:a 1\nx 1\ni:b 2\n", "i:b 2\n"},  // unknown token ends the reading
      {"i:a 1\nSection] x\ni:b 2\n", "Section] x\ni:b 2\n"},
      {"i:a 1", ""},  // no final line feed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FILE* f = TextFile(c.text);
    CVdbDataSet d;
    EXPECT_TRUE(d.Read(f));
    EXPECT_EQ(d.Geti("a"), 1);
    EXPECT_EQ(d.LookupKeyType("b"), 0);
    EXPECT_EQ(Rest(f), c.rest);
    std::fclose(f);
  }
}

TEST(DataSetTextTest, OverlongLineStopsTheReader) {
  std::string text = "i:a 1\ns:b " + std::string(CVdbDataSet::kMaxTextLine, 'x') + "\ni:c 2\n";
  FILE* fp = TextFile(text);
  CVdbDataSet ds;
  EXPECT_FALSE(ds.Read(fp));
  EXPECT_EQ(ds.Geti("a"), 1);
  EXPECT_EQ(ds.LookupKeyType("b"), 0);
  EXPECT_EQ(ds.LookupKeyType("c"), 0);
  std::fclose(fp);
  EXPECT_FALSE(ds.Read(static_cast<FILE*>(nullptr)));
  EXPECT_FALSE(ds.Write(static_cast<FILE*>(nullptr)));
}

}  // namespace
