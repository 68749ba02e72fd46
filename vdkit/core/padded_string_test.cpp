#include "vdkit/core/padded_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes Written(const std::vector<const char*>& texts) {
  CMemFile f;
  for (const char* t : texts) EXPECT_TRUE(WritePaddedString(f, t));
  return Bytes(f.GetData(), f.GetData() + f.GetLength());
}

// A memory file over a copy of `bytes` that notes the largest read asked of it.
class WatchedFile : public CMemFile {
 public:
  explicit WatchedFile(const Bytes& bytes) : m_bytes(bytes) {
    Attach(m_bytes.empty() ? nullptr : m_bytes.data(), static_cast<UINT>(m_bytes.size()));
  }
  UINT Read(void* buf, UINT n) override {
    if (n > m_largestRead) m_largestRead = n;
    return CMemFile::Read(buf, n);
  }
  Bytes m_bytes;
  UINT m_largestRead = 0;
};

TEST(PaddedStringTest, GoldenBytes) {
  struct Row {
    const char* text;
    Bytes bytes;
    size_t consumed;                                             // 0: written that way too, and read whole
  } rows[] = {{"", {0x00, 0x00, 0x00, 0x00}, 0},                 // P = 0, nothing after it
              {"a", {0x04, 0x00, 0x00, 0x00, 'a', 0, 0, 0}, 0},  // 1 + 1 rounded up to 4
              {"abc", {0x04, 0x00, 0x00, 0x00, 'a', 'b', 'c', 0}, 0},  // 3 + 1 = 4 exactly
              // 8 + 1 = 9, rounded up to 12 = 0x0C
              {"abcdefgh", {0x0C, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0, 0, 0, 0}, 0},
              // Other writers' forms: P = -2^31 is empty, no terminator keeps all P bytes,
              // the text ends at the first zero, P need not be a multiple of 4.
              {"", {0x00, 0x00, 0x00, 0x80}, 4},
              {"abcd", {0x04, 0, 0, 0, 'a', 'b', 'c', 'd', 'z'}, 8},
              {"ab", {0x08, 0, 0, 0, 'a', 'b', 0, 'x', 'y', 0, 0, 0}, 12},
              {"ab", {0x03, 0, 0, 0, 'a', 'b', 0}, 7}};
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.bytes));
    if (!r.consumed) {
      EXPECT_EQ(Written({r.text}), r.bytes);
    }
    WatchedFile f(r.bytes);
    CString back = "junk";
    EXPECT_TRUE(ReadPaddedString(f, back));
    EXPECT_EQ(back, r.text);
    EXPECT_EQ(f.GetPosition(), r.consumed ? r.consumed : r.bytes.size());
  }
  // 300 characters: 301 rounded up to 304 = 0x130, stored 30 01 00 00.
  const Bytes b = Written({std::string(300, 'x').c_str()});
  ASSERT_EQ(b.size(), 4u + 304u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{0x30, 0x01, 0x00, 0x00}));
  // The largest P is 0x7FFFFFFC; one more does not fit in a signed 32-bit length.
  EXPECT_EQ(PaddedLength(0x7FFFFFFBu), 0x7FFFFFFC);
  EXPECT_EQ(PaddedLength(0x7FFFFFFCu), -1);
  const std::string longest(70000, 'q');  // more than one read chunk
  WatchedFile f(Written({longest.c_str()}));
  CString back;
  ASSERT_TRUE(ReadPaddedString(f, back));
  EXPECT_EQ(back.str(), longest);
}

TEST(PaddedStringTest, EveryTruncationAndByteFlipFailsCleanly) {
  const std::string longer(400, 'L');
  const std::vector<const char*> texts = {"abc", "", "abcd", longer.c_str(), "z"};
  const Bytes golden = Written(texts);
  // Where each string's encoding ends: 8, 12, 24, then 401 rounds up to 404.
  const size_t ends[] = {8, 12, 24, 24 + 4 + 404, 24 + 4 + 404 + 8};
  ASSERT_EQ(golden.size(), ends[4]);
  for (size_t cut = 0; cut < golden.size(); ++cut) {
    WatchedFile f(Bytes(golden.begin(), golden.begin() + cut));
    size_t read = 0;
    CString back;
    for (; ReadPaddedString(f, back); ++read) ASSERT_EQ(back.str(), texts.at(read)) << cut;
    // Exactly the strings that lie wholly before the cut read back.
    size_t whole = 0;
    while (whole < 5 && ends[whole] <= cut) ++whole;
    EXPECT_EQ(read, whole) << cut;
    EXPECT_TRUE(back.IsEmpty());
  }
  // Flips in a length announce up to 2 GiB: never read more than one chunk at a time.
  for (size_t at = 0; at < golden.size(); ++at) {
    for (BYTE flip : {BYTE{0x01}, BYTE{0x80}, BYTE{0xFF}}) {
      Bytes bad = golden;
      bad[at] ^= flip;
      WatchedFile f(bad);
      CString back;
      int guard = 0;
      while (ReadPaddedString(f, back) && f.GetPosition() < f.GetLength()) ASSERT_LT(++guard, 1000);
      EXPECT_LE(f.m_largestRead, 64u * 1024u);
    }
  }
}

}  // namespace
