/// @file
/// Wildcards, trimming and word lists over NUL-terminated byte strings: a
/// wildcard matcher in a one-shot form (strlik) and a precompiled form
/// (cstrlik), in-place trimming (strleft, strtrim), a reader of comma/blank
/// separated word lists with optional quoting (strword), and an index of the
/// bracketed section headers of a text file (LocatSection).
///
/// ```
/// if (strlik(fileName, "*.TV")) ...            // ".tv" matches too
///
/// cstrlik wells("well_??_*");                  // compile once, match often
/// for (...) if (wells.islike(name)) ...
///
/// char list[] = "a, 'b c',,d";
/// for (char* w = strword(list, '\''); w; w = strword(nullptr, '\'')) ...
///                                              // "a", "b c", "", "d"
///
/// LocatSection(fp, nullptr);                   // index [headers] once
/// if (LocatSection(fp, "Wells")) fgets(line, sizeof line, fp);
/// ```
///
/// Bytes are 8-bit characters with no multibyte awareness. "Case-insensitive"
/// folds only the ASCII letters a-z onto A-Z. A *blank* is a byte below 128 that
/// is not a printable non-space character (space, tab, CR, LF, other control
/// bytes, DEL); bytes 128-255 always count as word characters.
///
/// Ownership: cstrlik keeps pointers into its pattern, which the caller keeps
/// alive for the life of the object. strtrim and the list-reading strword write
/// NULs into the caller's string and return pointers into it.
///
/// Failure shows as a null result (nothing there, end of the list) or false (no
/// match, no section). A null string argument is treated as empty.
///
/// Threads: the list reader's continuation position and the section index are
/// unlocked process-wide state, for one thread at a time; cstrlik objects are
/// independent of each other.
#pragma once

#include <cstddef>
#include <cstdio>

#include "vdkit/platform/types.h"

// ---- Wildcard matching ----------------------------------------------------------
//
// Grammar: `*` matches any run of bytes, including none; `?` matches exactly one
// byte; every other byte matches itself case-insensitively. There is no escape
// and no character class.
//
// A pattern is compiled left to right into segments: each `*` and each `?` is
// one segment, each maximal run of other bytes one literal segment. When the
// segment table is full (16 for cstrlik, 32 for strlik) the rest of the pattern
// is ignored, so only its head decides the match.
//
// Kept exactly as existing callers rely on (do not "fix"):
//  - a `*` or `?` right after a `*` is dropped: `**` acts as `*`, and `*?`
//    also acts as a single `*`, so "ab" matches "a*?b";
//  - a `*` followed by a literal takes the leftmost occurrence of the literal
//    and never tries a later one, so "abab" does not match "*ab";
//  - strlik with an empty subject matches only the empty pattern, so "" does
//    not match "*" there, while cstrlik("*") does match "".

/// A pattern compiled once and matched against many subjects. Copies share the
/// caller's pattern text.
class VDKIT_API cstrlik {
 public:
  /// Compiles `pattern` (null: empty, which matches only the empty subject).
  explicit cstrlik(const char* pattern);

  /// Whether `subject` (null: empty) matches the compiled pattern.
  bool islike(const char* subject) const;

  /// The most segments (literal runs, `*`, `?`) a compiled pattern keeps; the
  /// rest of the pattern is ignored.
  static constexpr int kMaxSegments = 16;

 private:
  const char* m_seg[kMaxSegments];  ///< segment starts, in the caller's pattern
  size_t m_len[kMaxSegments];       ///< segment lengths; a literal may be of any length
  int m_count = 0;
};

/// Whether `subject` matches `pattern` (first 32 segments); null is treated as
/// empty.
VDKIT_API bool strlik(const char* subject, const char* pattern);

// ---- Trimming -------------------------------------------------------------------
//
// `set` lists the bytes to strip (null: none).

/// The first byte of `str` that is not in `set`; null when `str` is null or
/// empty, or holds only bytes of the set. `str` is not modified.
VDKIT_API char* strleft(char* str, const char* set);

/// Strips bytes of `set` from both ends of `str` in place and returns the first
/// kept byte; a NUL is written after the last kept byte. When only bytes of the
/// set remain, returns the empty string at the old terminator and leaves every
/// byte before it untouched. Null when `str` is null or empty. A string that
/// needs no cut at its end is not written to.
VDKIT_API char* strtrim(char* str, const char* set);

// ---- Word lists -------------------------------------------------------------------

/// Reads the next field of a comma/blank separated list such as  a, 'b c',,d
/// (with quote byte '), writing NULs into the list.
///
/// A non-null `list` starts a new list; null continues from where the previous
/// call stopped (one position for the whole process). Returns:
///  - a word, trimmed of " \t\r\n"; a word ends at a blank, a comma or the end,
///    or, when it opens with `quote`, at the next `quote` or the end;
///  - an empty, non-null string for an empty field (a comma where a word was
///    expected);
///  - null at the end of the list, and also for an empty quoted word ('').
/// The continuation position is also stored through `next` when that is not
/// null. A `quote` of '\0' means no quoting.
VDKIT_API char* strword(char* list, char quote, char** next = nullptr);

/// Copies the first word of `str` (after leading blanks, up to the next blank)
/// into `out`, at most size - 1 bytes, and terminates it. True when at least one
/// byte was copied. With a size of 1 `out` receives the empty string; with a
/// size below 1 or a null `out` nothing is written. Commas are word bytes here.
VDKIT_API bool strword(const char* str, char* out, int size);

// ---- Sections of a text file -----------------------------------------------------------
//
// A section header is a line [Name]: blanks may surround the brackets and the
// name; spaces and line feeds around the name are not part of it. The index
// holds up to kSectionIndexSize headers, each with the stream offset of the
// line after it and the first kSectionIndexNameLength bytes of its name (a
// longer name is found only by that cut form). Lines are read
// kSectionIndexLineLength - 1 bytes at a time; a longer line is read in
// pieces, and a piece that opens with `[` counts as a header line of its own.

constexpr int kSectionIndexSize = 128;         ///< the most headers the index holds
constexpr int kSectionIndexNameLength = 31;    ///< the bytes of a name the index keeps
constexpr int kSectionIndexLineLength = 1024;  ///< one more than the bytes read at a time

/// With a null `name`: rebuilds the process-wide index from `fp`, reading from
/// its current position to its end (or until the index is full); true when at
/// least one header was recorded. False with an empty index when `fp` is null
/// or already at its end; a read error ends the indexing like the end of file.
///
/// With a `name`: looks it up in the index built last (whatever stream it came
/// from), ignoring ASCII case, and seeks `fp` to the line after that header.
/// False when the name is not indexed or the seek fails; the stream is then left
/// where it was.
VDKIT_API bool LocatSection(FILE* fp, const char* name);
