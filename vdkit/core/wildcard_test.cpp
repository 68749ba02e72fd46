#include "vdkit/core/wildcard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A literal length used to be held in 8 signed bits, so runs past 127 bytes
// wrapped and compared the wrong number of bytes.
TEST(WildcardTest, LongLiteralRunsMatchWhole) {
  for (size_t n : {127u, 128u, 256u, 5000u}) {
    SCOPED_TRACE(n);
    std::string lower(n, 'k'), upper(n, 'K');
    lower[n / 2] = 'm';
    upper[n / 2] = 'M';
    EXPECT_TRUE(strlik(("zz" + lower).c_str(), ("*" + upper).c_str()));
    EXPECT_TRUE(cstrlik(upper.c_str()).islike(lower.c_str()));
    EXPECT_FALSE(strlik(lower.substr(0, n - 1).c_str(), upper.c_str()));
    EXPECT_FALSE(cstrlik(upper.c_str()).islike((lower + "k").c_str()));
    lower[n - 2] = 'q';
    EXPECT_FALSE(strlik(lower.c_str(), upper.c_str()));
  }
}

// An independent, slow reading of the matching rules, to check both matchers
// (strlik walks the pattern without a table) on many random inputs. Only ASCII
// letters fold: '[' is not '{', and high bytes never fold.
bool OracleMatch(const std::string& subject, const std::string& pattern, size_t capacity) {
  std::vector<std::string> kept;  // the first `capacity` segments, less '*' or '?' after '*'
  for (size_t i = 0, n = 0; i < pattern.size() && n < capacity; ++n) {
    size_t j = i + 1;
    if (pattern[i] != '*' && pattern[i] != '?') j = std::min(pattern.find_first_of("*?", i), pattern.size());
    const std::string seg = pattern.substr(i, j - i);
    if (seg.size() > 1 || (seg[0] != '*' && seg[0] != '?') || kept.empty() || kept.back() != "*")
      kept.push_back(seg);
    i = j;
  }
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string subj = upper(subject);
  size_t pos = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == "*") {
      if (i + 1 == kept.size()) return true;
      const size_t hit = subj.find(upper(kept[++i]), pos);
      if (hit == std::string::npos) return false;
      pos = hit + kept[i].size();
    } else if (kept[i] == "?") {
      if (pos == subj.size()) return false;
      ++pos;
    } else if (subj.compare(pos, kept[i].size(), upper(kept[i])) != 0) {
      return false;
    } else {
      pos += kept[i].size();
    }
  }
  return pos == subj.size();
}

TEST(WildcardTest, AgreesWithASlowReadingOfTheRules) {
  uint32_t rng = 2024;
  auto next = [&rng](uint32_t n) { return (((rng = rng * 1664525u + 1013904223u) >> 8) & 0xFFFFu) % n; };
  const char subjectBytes[] = "aAbB[{\xC4\xE4";
  for (int round = 0; round < 20000; ++round) {
    // Long wildcard-rich patterns reach the table sizes of 16 and 32.
    const bool isLong = round % 2 == 0;
    const char* patternBytes = isLong ? "aB*?**aB" : "aAb{\xC4*?*";
    std::string pattern(isLong ? 12 + next(36) : next(10), ' ');
    for (char& c : pattern) c = patternBytes[next(8)];
    std::string subject(next(12), ' ');
    for (char& c : subject) c = subjectBytes[next(8)];
    SCOPED_TRACE("'" + subject + "' like '" + pattern + "'");
    const bool viaStrlik = subject.empty() ? pattern.empty() : OracleMatch(subject, pattern, 32);
    ASSERT_EQ(strlik(subject.c_str(), pattern.c_str()), viaStrlik);
    ASSERT_EQ(cstrlik(pattern.c_str()).islike(subject.c_str()), OracleMatch(subject, pattern, 16));
  }
}

TEST(TrimTest, StrtrimAndStrleft) {
  std::string buf =
      "\xA1"
      "a\xA1";  // high bytes are set members too
  EXPECT_EQ(strtrim(&buf[0], "\xA1"), &buf[1]);
  EXPECT_STREQ(&buf[1], "a");
  static const char kReadOnly[] = "abc";  // nothing to cut: not written to at all
  EXPECT_EQ(strtrim(const_cast<char*>(kReadOnly), " "), kReadOnly);
  EXPECT_EQ(strleft(const_cast<char*>(kReadOnly), "ab"), kReadOnly + 2);
}

// Every word of `text` up to the first null.
std::vector<std::string> Words(const std::string& text, char quote) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');  // sized exactly, so AddressSanitizer sees any overrun
  std::vector<std::string> out;
  for (char* w = strword(buf.data(), quote); w; w = strword(nullptr, quote)) out.push_back(w);
  EXPECT_EQ(strword(nullptr, quote), nullptr);
  return out;
}

TEST(StrwordTest, ReadsListTable) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Words("a, 'b c',,d", '\''), (V{"a", "b c", "", "d"}));
  EXPECT_EQ(Words("a,,", '\''), (V{"a", ""}));
  EXPECT_EQ(Words("' padded ' 'unclosed", '\''), (V{"padded", "unclosed"}));
  EXPECT_EQ(Words("\xC4\xE3 \xB0\xA1", '\''), (V{"\xC4\xE3", "\xB0\xA1"}));
  // A NUL quote byte means no quoting and must not match the terminator.
  EXPECT_EQ(Words("   ", '\0'), V{});
  EXPECT_EQ(Words("a 'b'", '\0'), (V{"a", "'b'"}));
  // Kept: '' yields null like the end, yet the position has moved past it.
  char list[] = "a,'',b";
  EXPECT_STREQ(strword(list, '\''), "a");
  EXPECT_EQ(strword(nullptr, '\''), nullptr);
  EXPECT_STREQ(strword(nullptr, '\''), "b");
}

TEST(StrwordTest, CopyingFormIsBounded) {
  // {size, copied, result}: the first word of "  abc def", never past `size` bytes.
  struct Row {
    int size;
    const char* out;
    bool result;
  } rows[] = {{10, "abc", true}, {3, "ab", true}, {1, "", false}};
  for (const Row& r : rows) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(strword("  abc def", buf, r.size), r.result);
    EXPECT_STREQ(buf, r.out);
    for (size_t i = static_cast<size_t>(r.size); i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << i;
  }
  char untouched[2] = {'#', '#'};
  EXPECT_FALSE(strword("abc", untouched, 0));
  EXPECT_EQ(untouched[0], '#');
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr TextFile(const std::string& text) {
  FilePtr f(std::tmpfile());
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f.get());
    std::rewind(f.get());
  }
  return f;
}

const std::string kLongName = "ThisSectionNameIsLongerThan31Bytes";

// Offsets: each line's length including its '\n'.
const std::string kSections =
    "; comment\n"            // 0..9    (10)
    "[ Alpha ]\n"            // 10..19  (10) -> Alpha at 20
    "[]\n"                   // 20..22  (3)  no name
    "  [Gamma]  trailing\n"  // 23..42  (20) -> Gamma at 43
    "[unclosed\n"            // 43..52  (10) no ']'
    "[" +
    kLongName + "]\n" +  // 53..89 (1 + 34 + 2) -> cut name at 90
    "z=3\n";             // 90..93

TEST(LocatSectionTest, IndexesHeadersSeeksAndSurvivesDamage) {
  FilePtr f = TextFile(kSections);
  ASSERT_TRUE(LocatSection(f.get(), nullptr));
  for (auto [name, offset] :
       {std::pair{std::string("ALPHA"), 20L}, {"Gamma", 43L}, {kLongName.substr(0, 31), 90L}}) {
    ASSERT_TRUE(LocatSection(f.get(), name.c_str())) << name;
    EXPECT_EQ(std::ftell(f.get()), offset);
  }
  std::fseek(f.get(), 5, SEEK_SET);  // misses leave the stream where it was
  for (const std::string& miss : {std::string("unclosed"), kLongName}) {
    EXPECT_FALSE(LocatSection(f.get(), miss.c_str()));
    EXPECT_EQ(std::ftell(f.get()), 5);
  }
  std::string text;  // the index is a fixed table
  for (int i = 0; i <= kSectionIndexSize; ++i) text += "[S" + std::to_string(i) + "]\n";
  FilePtr g = TextFile(text);
  ASSERT_TRUE(LocatSection(g.get(), nullptr));
  EXPECT_FALSE(LocatSection(g.get(), ("S" + std::to_string(kSectionIndexSize)).c_str()));
  // Every truncation and byte flip: no crash, no seek past the end.
  std::vector<std::string> inputs;
  for (size_t i = 0; i < kSections.size(); ++i) {
    inputs.push_back(kSections.substr(0, i));
    for (char c : {'\0', '[', ']', '\n', '\xFF'}) (inputs.emplace_back(kSections))[i] = c;
  }
  for (const std::string& in : inputs) {
    FilePtr h = TextFile(in);
    LocatSection(h.get(), nullptr);
    for (const char* name : {"Alpha", "Gamma"}) {
      if (LocatSection(h.get(), name)) {
        EXPECT_LE(std::ftell(h.get()), static_cast<long>(in.size()));
      }
    }
  }
}

// Lines longer than the line buffer used to be read with a larger limit than
// the buffer held. They are now read in buffer-sized pieces.
TEST(LocatSectionTest, LongLinesAreReadInPieces) {
  const int piece = kSectionIndexLineLength - 1;  // bytes one read delivers at most
  std::string text;
  for (int n : {piece, piece + 1, 3 * piece + 7}) text += std::string(n, 'x') + "\n";
  text += "[Data]\n";
  const long dataOffset = static_cast<long>(text.size());
  // A header whose closing bracket lies beyond the first piece is no header.
  text += "[" + std::string(2 * piece, 'n') + "]\n";
  // A piece that opens with '[' is taken as a header line, as a line would be.
  text += std::string(piece, 'y') + "[Piece]\n";
  const long pieceOffset = static_cast<long>(text.size());
  FilePtr f = TextFile(text);
  ASSERT_TRUE(LocatSection(f.get(), nullptr));
  ASSERT_TRUE(LocatSection(f.get(), "data"));
  EXPECT_EQ(std::ftell(f.get()), dataOffset);
  EXPECT_FALSE(LocatSection(f.get(), std::string(31, 'n').c_str()));
  ASSERT_TRUE(LocatSection(f.get(), "Piece"));
  EXPECT_EQ(std::ftell(f.get()), pieceOffset);
}

// Waiting for the end-of-file flag alone never ended on a stream that fails
// to read: its flag is never set.
TEST(LocatSectionTest, ReadErrorEndsIndexing) {
  FilePtr f = TextFile("[Alpha]\n");
  FilePtr writeOnly(std::fopen(("/proc/self/fd/" + std::to_string(fileno(f.get()))).c_str(), "w"));
  if (!writeOnly) GTEST_SKIP() << "no /proc to reopen the file write-only";
  EXPECT_FALSE(LocatSection(writeOnly.get(), nullptr));
  EXPECT_TRUE(std::ferror(writeOnly.get()));
}

}  // namespace
