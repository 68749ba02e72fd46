/// @file
/// Text helpers over NUL-terminated byte strings: ASCII case-insensitive search
/// (strstri, strchri), a re-entrant tokenizer with its own delimiter set
/// (cstrtok), a tolerant float comparison (fequal) and the process-wide
/// last-error text (SetLastErrorMsg, GetLastErrorMsg).
///
/// ```
/// char path[] = "data//wells\\north";
/// cstrtok tok(path, "/\\");
/// for (char* part = tok.next(); part; part = tok.next()) ...  // data, wells, north
///
/// if (!strstri(line, "DEPTH")) SetLastErrorMsg("no depth column in %s", name);
/// ```
///
/// Bytes are 8-bit characters with no multibyte awareness; "case-insensitive"
/// folds only the ASCII letters a-z onto A-Z. Nothing here allocates.
///
/// Ownership: cstrtok writes NULs into the caller's string and hands out
/// pointers into it; the caller keeps the buffer alive while tokens are in use.
///
/// Failure shows only as a null result (nothing found, end of input). A null
/// string argument is treated as "nothing there" rather than dereferenced.
///
/// Threads: the last-error text is one unlocked process-wide buffer, for one
/// thread at a time; cstrtok objects are independent of each other.
#pragma once

#include "vdkit/platform/types.h"

// ---- Comparison --------------------------------------------------------------

/// True when the IEEE-754 single-precision bit patterns of a and b differ at
/// most in their two least significant bits. Not a numeric tolerance: +0.0 and
/// -0.0 differ in the sign bit and compare unequal, and a NaN equals itself.
VDKIT_API bool fequal(float a, float b);

// ---- Last-error text -------------------------------------------------------------

/// Room of the last-error text in characters; longer messages are cut there.
constexpr int kLastErrorMsgCapacity = 512;

/// Formats printf-style into the process-wide last-error text, replacing it; a
/// null format empties it. Output beyond kLastErrorMsgCapacity characters is cut
/// (never written past the buffer). The arguments may include the current text
/// itself (GetLastErrorMsg()), which is read before it is replaced.
VDKIT_API void SetLastErrorMsg(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// The last-error text; never null, empty until the first message.
VDKIT_API const char* GetLastErrorMsg();

// ---- Case-insensitive search --------------------------------------------------------

/// The first position in `str` where `find` occurs, ignoring ASCII case. `str`
/// itself when `find` is empty (even when `str` is empty, as strstr does); null
/// when `str` is empty, when there is no occurrence, or when either is null.
VDKIT_API char* strstri(const char* str, const char* find);

/// The first position of `ch` in `str`, ignoring ASCII case. Searching for NUL
/// yields the terminator. Null when absent or when `str` is null.
VDKIT_API char* strchri(const char* str, char ch);

// ---- Tokenizer ---------------------------------------------------------------------

/// Splits a caller's string into tokens separated by runs of delimiter bytes.
/// Consecutive delimiters never yield empty tokens: over "a,,b" with "," it
/// gives "a", "b", then null; over ",,," null at once.
///
/// Each returned token is NUL-terminated in place: the delimiter after it is
/// overwritten. The object holds only a position into the string and a 256-bit
/// map of delimiter bytes, so copies are independent and may be taken at any
/// point to resume a scan there.
class VDKIT_API cstrtok {
 public:
  /// Starts at `str` (null: the first next() must pass a string). A non-null
  /// `delims` builds the delimiter map; with null the map is empty (no byte but
  /// the terminator ends a token) until a next() passes delimiters.
  explicit cstrtok(char* str = nullptr, const char* delims = nullptr);

  /// The next token, or null when the string is used up (after which the
  /// position is null and every next() without a string returns null). A
  /// non-null `str` restarts the scan there; a non-null `delims` rebuilds the
  /// map before scanning.
  char* next(char* str = nullptr, const char* delims = nullptr);

  /// Sets the position only; the delimiter map is kept.
  void setstr(char* str) { m_pos = str; }

 private:
  /// Clears the map, then sets the bit of every byte of `delims` and of NUL.
  void initmap(const unsigned char* delims);
  bool isdelim(unsigned char c) const { return (m_map[c >> 3] >> (c & 7)) & 1; }

  char* m_pos = nullptr;      ///< next byte to scan; null when used up
  unsigned char m_map[32]{};  ///< one bit per byte value
};
