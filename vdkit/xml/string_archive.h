/// @file
/// CStringArchive reads a sequence of typed values out of one text, such as a
/// list of numbers kept in an XML value or attribute. Each extraction takes
/// the next word: words are separated by the separator chosen at construction
/// and by blanks (bytes below 128 that are not graphic; bytes from 128 up are
/// word characters), and may be quoted with `'` or `"`, which keeps blanks and
/// separators inside them. An empty word lies between two separators.
///
/// Ownership: built over a `char*`, the archive reads the caller's buffer in
/// place and writes terminators into it; built over a `const char*` it reads
/// a private copy. Copies always read a private copy of the text as it stands.
///
/// Failure: none is reported. At the end of the text an integer becomes 0, a
/// float or double the missing-value marker 9.999e-30 and a string empty; an
/// empty word leaves a number unchanged and makes a string empty.
///
/// ```
/// CStringArchive ar("12, 'a, b', 2.5", ',');
/// int n;  CString s;  double d;
/// ar >> n >> s >> d;          // 12, "a, b", 2.5
/// ar >> n;                    // at the end: 0, IsEOF() true
/// ```
#pragma once

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

/// Reads typed values, word by word, out of one text (see the file's description).
class VDKIT_API CStringArchive {
 public:
  /// The marker a float read at the end of the text receives (doubles get it
  /// converted from single precision).
  static constexpr float kMissingValue = 9.999e-30f;

  /// Reads the caller's buffer in place (a null text is empty).
  CStringArchive(char* text, char separator);
  /// Reads a private copy of the text (a null text is empty).
  CStringArchive(const char* text, char separator);
  /// A copy reads its own copy of the text as it stands, from the same position.
  CStringArchive(const CStringArchive& other);
  CStringArchive& operator=(const CStringArchive& other);  ///< as the copy constructor
  ~CStringArchive();

  bool IsEOF() const { return m_nPos >= m_nLength; }  ///< whether the text is used up
  int GetPos() const { return m_nPos; }               ///< the position in the text
  /// A negative position counts as 0.
  void SeekTo(int pos) { m_nPos = pos < 0 ? 0 : pos; }

  // ---- Extraction ---------------------------------------------------------------
  /// Integers: decimal, as atoi reads them; narrower types keep the low bits.
  ///@{
  CStringArchive& operator>>(char& v);
  CStringArchive& operator>>(unsigned char& v);
  CStringArchive& operator>>(short& v);
  CStringArchive& operator>>(unsigned short& v);
  CStringArchive& operator>>(int& v);
  ///@}
  /// Reads the whole unsigned range ("4294967295"); "-1" wraps as strtoul's does.
  CStringArchive& operator>>(unsigned int& v);
  /// Floating point, as atof reads the word; the missing-value marker at the end.
  ///@{
  CStringArchive& operator>>(float& v);
  CStringArchive& operator>>(double& v);
  ///@}
  CStringArchive& operator>>(CString& v);  ///< the word; empty at the end
  /// Copies the word and its terminator into a buffer of unknown size. Kept
  /// for existing callers; prefer ReadString.
  CStringArchive& operator>>(char* buffer);

  /// vdkit: reads the next word into a buffer of bufferSize bytes, writing at
  /// most bufferSize - 1 characters and a terminator. Returns the word's full
  /// length (the word was cut when that is not below bufferSize), or -1 at
  /// the end of the text (the buffer then holds an empty string).
  int ReadString(char* buffer, int bufferSize);

 private:
  /// The next word, cut in place; null at the end of the text.
  char* GetWord();

  LONG m_nPos = 0;
  LONG m_nLength = 0;
  char* m_pText = nullptr;
  char m_chSeparator;
  bool m_bOwnsText = false;
};
