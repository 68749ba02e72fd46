#include "vdkit/core/wildcard.h"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "vdkit/core/text_internal.h"

using detail::ByteMap;
using detail::FoldAscii;

namespace {

// ---- Wildcard engine -------------------------------------------------------------
//
// A segment is a pointer into the pattern and a length; its first byte tells its
// kind (`*`, `?`, or a literal, which never contains either). Lengths are size_t
// so that a literal run of any length compares whole: an 8-bit length would wrap
// past 127 bytes.

using UChar = unsigned char;

// Splits `pattern` into at most `capacity` segments, then drops every `*` or `?`
// that directly follows a `*`. Counting happens before the drop, so a pattern is
// cut at the same place whether or not it holds redundant stars.
int CompilePattern(const char* pattern, const char** seg, size_t* len, int capacity) {
  int count = 0;
  const char* p = pattern ? pattern : "";
  while (*p && count < capacity) {
    const char* start = p;
    if (*p == '*' || *p == '?') {
      ++p;
    } else {
      while (*p && *p != '*' && *p != '?') ++p;
    }
    seg[count] = start;
    len[count] = static_cast<size_t>(p - start);
    ++count;
  }
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const bool wild = *seg[i] == '*' || *seg[i] == '?';
    if (wild && kept > 0 && *seg[kept - 1] == '*') continue;
    seg[kept] = seg[i];
    len[kept] = len[i];
    ++kept;
  }
  return kept;
}

// Whether the `n` bytes at `s` equal `lit` ignoring ASCII case. `lit` holds no
// NUL, so the subject's terminator ends the comparison as a mismatch.
bool EqualNoCase(const UChar* s, const UChar* lit, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (FoldAscii(s[i]) != FoldAscii(lit[i])) return false;
  }
  return true;
}

// The leftmost position at or after `s` where the `n`-byte literal occurs,
// ignoring ASCII case; null when the subject runs out first.
const UChar* FindNoCase(const UChar* s, const UChar* lit, size_t n) {
  const UChar first = FoldAscii(lit[0]);
  const bool letter = first >= 'A' && first <= 'Z';
  const UChar lower = static_cast<UChar>(first | 0x20);
  for (;; ++s) {
    // Candidates for the first byte: the C library's strchr is the quickest
    // scan when case plays no part; a letter matches either case, which is the
    // only way c | 0x20 can equal a lower-case letter.
    if (letter) {
      while (*s && (*s | 0x20) != lower) ++s;
      if (!*s) return nullptr;
    } else {
      s = reinterpret_cast<const UChar*>(std::strchr(reinterpret_cast<const char*>(s), first));
      if (!s) return nullptr;
    }
    size_t i = 1;
    while (i < n && FoldAscii(s[i]) == FoldAscii(lit[i])) ++i;
    if (i == n) return s;
    // s[i] is read only after s[0..i-1] matched non-NUL literal bytes. If it is
    // the terminator, no later start has room for the literal either.
    if (!s[i]) return nullptr;
  }
}

bool MatchSegments(const char* subject, const char* const* seg, const size_t* len, int count) {
  const UChar* pos = reinterpret_cast<const UChar*>(subject ? subject : "");
  for (int i = 0; i < count; ++i) {
    const UChar* s = reinterpret_cast<const UChar*>(seg[i]);
    if (*s == '*') {
      if (i + 1 == count) return true;  // a trailing star takes the rest
      ++i;
      // Compaction leaves only literals after a star. The leftmost occurrence is
      // final: there is no backtracking to a later one.
      assert(*seg[i] != '*' && *seg[i] != '?');
      const UChar* hit = FindNoCase(pos, reinterpret_cast<const UChar*>(seg[i]), len[i]);
      if (!hit) return false;
      pos = hit + len[i];
    } else if (*s == '?') {
      if (!*pos) return false;
      ++pos;
    } else {
      if (!EqualNoCase(pos, s, len[i])) return false;
      pos += len[i];
    }
  }
  return *pos == '\0';
}

constexpr int kStrlikSegments = 32;

size_t LiteralLength(const char* p) {
  const char* q = p;
  while (*q && *q != '*' && *q != '?') ++q;
  return static_cast<size_t>(q - p);
}

// The one-shot match walks the pattern once instead of building the segment
// table first. It gives the same answers as CompilePattern + MatchSegments with
// `capacity` slots: `slots` counts every segment met (dropped ones included),
// wildcards after a star are skipped as compaction drops them, and whatever
// follows the last slot is ignored.
bool MatchStreaming(const char* subject, const char* pattern, int capacity) {
  const UChar* pos = reinterpret_cast<const UChar*>(subject);
  const char* p = pattern;
  for (int slots = 0; *p && slots < capacity;) {
    if (*p == '?') {
      ++slots;
      ++p;
      if (!*pos) return false;
      ++pos;
    } else if (*p == '*') {
      ++slots;
      ++p;
      while (slots < capacity && (*p == '*' || *p == '?')) {
        ++slots;
        ++p;
      }
      if (slots == capacity || !*p) return true;  // a trailing star takes the rest
      ++slots;
      const size_t n = LiteralLength(p);
      const UChar* hit = FindNoCase(pos, reinterpret_cast<const UChar*>(p), n);
      if (!hit) return false;
      pos = hit + n;
      p += n;
    } else {
      // A literal compared as it is scanned: a mismatch decides the answer, so
      // the rest of the run need not be measured.
      ++slots;
      for (; *p && *p != '*' && *p != '?'; ++p, ++pos) {
        if (FoldAscii(*pos) != FoldAscii(static_cast<UChar>(*p))) return false;
      }
    }
  }
  return *pos == '\0';
}

// ---- Blanks -----------------------------------------------------------------------

// Below 128 and not a printable non-space character. NUL counts as a blank, so
// every skip also stops at the terminator explicitly.
bool IsBlank(UChar c) {
  return c <= ' ' || c == 0x7F;
}

char* SkipBlanks(char* p) {
  while (*p && IsBlank(static_cast<UChar>(*p))) ++p;
  return p;
}

// ---- Word-list reader state ----------------------------------------------------------

char* g_wordPos = nullptr;  // continuation of the list-reading strword

// ---- Section index ---------------------------------------------------------------------

struct SectionEntry {
  // Offsets are kept at the stream's own width: a 32-bit field would send a
  // lookup to the wrong place in a file beyond 2 GiB.
  int64_t offset;
  char name[kSectionIndexNameLength + 1];  // empty: the end of the table
};

SectionEntry g_sections[kSectionIndexSize];

bool EqualNames(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (FoldAscii(static_cast<UChar>(*a)) != FoldAscii(static_cast<UChar>(*b))) return false;
    if (!*a) return true;
  }
}

bool IndexSections(FILE* fp) {
  std::memset(g_sections, 0, sizeof g_sections);
  if (!fp || std::feof(fp)) return false;
  // One size for reading and holding a line; a longer line arrives in pieces.
  char line[kSectionIndexLineLength];
  int count = 0;
  // fgets returning null ends the loop on a read error too: waiting for the
  // end-of-file flag alone would spin forever on a stream that cannot be read.
  while (count < kSectionIndexSize && std::fgets(line, sizeof line, fp)) {
    char* p = SkipBlanks(line);
    if (*p != '[') continue;
    p = SkipBlanks(p + 1);
    char* close = std::strchr(p, ']');
    if (!close || close == p) continue;
    *close = '\0';
    char* name = strtrim(p, " \n");
    if (!name || !*name) continue;
    const long offset = std::ftell(fp);
    if (offset < 0) continue;  // an unseekable stream: the header could not be found again
    SectionEntry& e = g_sections[count++];
    e.offset = offset;
    std::strncpy(e.name, name, kSectionIndexNameLength);
    e.name[kSectionIndexNameLength] = '\0';
  }
  return count > 0;
}

bool SeekSection(FILE* fp, const char* name) {
  if (!fp) return false;
  for (const SectionEntry& e : g_sections) {
    if (!e.name[0]) break;
    if (EqualNames(name, e.name)) return std::fseek(fp, static_cast<long>(e.offset), SEEK_SET) == 0;
  }
  return false;
}

}  // namespace

// ---- Wildcards -----------------------------------------------------------------------

cstrlik::cstrlik(const char* pattern) {
  m_count = CompilePattern(pattern, m_seg, m_len, kMaxSegments);
}

bool cstrlik::islike(const char* subject) const {
  return MatchSegments(subject, m_seg, m_len, m_count);
}

bool strlik(const char* subject, const char* pattern) {
  if (!subject || !*subject) return !pattern || !*pattern;
  return MatchStreaming(subject, pattern ? pattern : "", kStrlikSegments);
}

// ---- Trimming ------------------------------------------------------------------------

char* strleft(char* str, const char* set) {
  if (!str || !*str) return nullptr;
  const ByteMap map(set);
  while (*str && map.Has(static_cast<UChar>(*str))) ++str;
  return *str ? str : nullptr;
}

char* strtrim(char* str, const char* set) {
  if (!str || !*str) return nullptr;
  const ByteMap map(set);
  while (*str && map.Has(static_cast<UChar>(*str))) ++str;
  char* end = str + std::strlen(str);
  while (end > str && map.Has(static_cast<UChar>(end[-1]))) --end;
  if (*end) *end = '\0';
  return str;
}

// ---- Word lists ----------------------------------------------------------------------

char* strword(char* list, char quote, char** next) {
  if (list) g_wordPos = list;
  char* p = g_wordPos;
  if (!p || !*p) return nullptr;

  p = SkipBlanks(p);
  if (*p == ',') {  // an empty field
    *p = '\0';
    g_wordPos = p + 1;
    if (next) *next = g_wordPos;
    return p;
  }

  char* word;
  char* stop;
  // A NUL quote would match the terminator and run the word past the string.
  if (quote != '\0' && *p == quote) {
    word = p + 1;
    stop = word;
    while (*stop && *stop != quote) ++stop;
  } else {
    word = p;
    stop = p;
    while (*stop && !IsBlank(static_cast<UChar>(*stop)) && *stop != ',') ++stop;
  }

  char* pos = stop;  // an unended word leaves the position on the terminator
  if (*stop == ',') {
    *stop = '\0';
    pos = stop + 1;
  } else if (*stop) {  // a blank or the closing quote: a comma may still follow
    *stop = '\0';
    pos = SkipBlanks(stop + 1);
    if (*pos == ',') *pos++ = '\0';
  }
  g_wordPos = pos;
  if (next) *next = pos;
  return strtrim(word, " \t\r\n");
}

bool strword(const char* str, char* out, int size) {
  if (!out || size < 1) return false;
  out[0] = '\0';
  if (!str || size < 2) return false;
  const UChar* p = reinterpret_cast<const UChar*>(str);
  while (*p && IsBlank(*p)) ++p;
  int n = 0;
  while (*p && !IsBlank(*p) && n < size - 1) out[n++] = static_cast<char>(*p++);
  out[n] = '\0';
  return n > 0;
}

// ---- Sections ---------------------------------------------------------------------------

bool LocatSection(FILE* fp, const char* name) {
  return name ? SeekSection(fp, name) : IndexSections(fp);
}
