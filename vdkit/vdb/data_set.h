/// @file
/// CVdbDataSet: a named bag of keyed values - floats, integers and strings,
/// each kind in a map of its own keyed by names that ignore ASCII case - with
/// optional value limits (SValueSpec: a label, limits and flags per key)
/// that tell a host how to present or check the values. It converts between
/// kinds on request, iterates over all values as text, and persists to a binary
/// form over a CFile and to a line-oriented text form over a FILE*.
///
/// ```
/// CVdbDataSet ds;
/// ds.SetName("Pump");
/// ds.Setf("depth", 1.5f);
/// ds.Seti("count", "12");              // parsed: stores 12
/// float d = ds.Getf("DEPTH");          // 1.5: keys ignore case
/// CMemFile mem;
/// ds.Write(mem);                       // binary form below
/// mem.SeekToBegin();
/// CVdbDataSet back;
/// bool whole = back.Read(mem);         // false when the stream is damaged
/// ```
///
/// Ownership: the data set owns its values, its value limits and the blocks
/// of m_mapOther (allocated with malloc by whoever filled that map; freed here
/// with free). It is a plain class, not a file object; copies are deep (see the
/// copy constructor). A key may be present in several maps at once.
///
/// Failure: setters and getters report through their bool result; readers
/// return false when the stream is damaged and keep what they read before.
/// The binary writer lets the CFile's exceptions pass.
///
/// ---- Binary form (Write(CFile&)) ----------------------------------------------
/// Little-endian, no alignment. A padded string is a 32-bit length P, then P
/// bytes: the text, a zero and zeros up to P, P being the text length + 1
/// rounded up to a multiple of 4 ("abc" -> 04 00 00 00 'a' 'b' 'c' 00); the
/// empty text is P = 0 alone.
///
/// ```
/// item                         content
/// name                         padded string
/// value limit count S                 int32, then S times:
///   label, key                   padded strings (the key stored under)
///   min, max                     float32 each
///   flags                        m_nFlag1, m_nFlag2, m_nFlag3, one 00
/// integer count I              int32, then I times: padded key, int32
/// float count F                int32, then F times: padded key, float32
/// string count N               int32, then N times: padded key, padded value
/// ```
///
/// Every entry is written, empty strings included, so each count equals the
/// entries that follow it.
///
/// ---- Text form (Write(FILE*)) ----------------------------------------------------
///
/// ```
/// (empty line)
/// ?---- Pump -----                     comment: '?' lines are skipped
/// DataSetName= Pump
///        I:count= 12                   "%12s= %d" with "I:" + key
///        F:depth= 1.5                  "%12s= %.9g" with "F:" + key
///        S:unit= m                     "%12s= %s" with "S:" + key
///   *END*
/// ```
///
/// The reader also takes the short hand-written forms "f:depth 1.5",
/// "i:count 3" and "s:unit m" (the prefixes in either case, '=' after the key
/// optional), stops at END, *END* or *END* and at the first line it does not
/// understand, and stops before a line that starts with '[' or ends with ']'
/// (a section header), leaving the stream at the start of that line.
/// Keys, the name and string values are written with every byte at or below
/// the blank, `%` and 0x7F as `%XX` (two hex digits), so that they stay one
/// token; the reader decodes `%XX`, and an empty string value is written `%00`.
#pragma once

#include <cstdio>

#include "vdkit/core/hash_map.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

/// A named bag of keyed floats, integers and strings with optional value limits
/// (see the file's description).
class VDKIT_API CVdbDataSet {
 public:
  /// How a host presents or checks one key's value. The limits are the float
  /// null marker 9.999e-30 when not set.
  struct VDKIT_API SValueSpec {
    /// Empty texts, both limits the null marker, flags 0, 0, 1.
    SValueSpec();
    CString m_strLabel;  ///< the label a host shows
    CString m_strKey;    ///< the key it is stored under
    float m_fMin;        ///< the lower limit
    float m_fMax;        ///< the upper limit
    /// Flags for the host; the data set stores and copies them.
    ///@{
    BYTE m_nFlag1 = 0;
    BYTE m_nFlag2 = 0;
    BYTE m_nFlag3 = 1;
    ///@}
  };

  /// The kinds LookupKeyType reports.
  enum { kindNone = 0, kindFloat = 1, kindInt = 2, kindString = 3, kindOther = 5 };

  /// An empty data set with an empty name.
  CVdbDataSet();
  /// A deep copy: the name, every value and every value limit. The blocks of
  /// m_mapOther are not copied (their sizes are unknown), so the copy's map is
  /// empty.
  CVdbDataSet(const CVdbDataSet& other);
  ~CVdbDataSet();

  /// The data set's name.
  ///@{
  const CString& GetName() const { return m_strName; }
  void SetName(const char* name) { m_strName = name; }
  ///@}

  // ---- Values ----------------------------------------------------------------------
  /// Insert or overwrite. A null or empty key stores nothing.
  ///@{
  void Setf(const char* key, float value);
  void Seti(const char* key, int value);
  void Sets(const char* key, const char* value);
  ///@}
  /// The text read as by "%f" or "%d" (leading blanks, then a number, rest
  /// ignored); stored only when a number was read. An integer beyond 32 bits
  /// is clamped to the nearest 32-bit value.
  ///@{
  void Setf(const char* key, const char* text);
  void Seti(const char* key, const char* text);
  ///@}

  /// False, with the output untouched, when the key is not in that kind's map.
  ///@{
  bool Getf(const char* key, float& value) const;
  bool Geti(const char* key, int& value) const;
  bool Gets(const char* key, CString& value) const;
  ///@}
  bool Geti(const char* key, DWORD& value) const;           ///< as unsigned
  bool Geti(const char* key, short& value) const;           ///< low 16 bits
  bool Geti(const char* key, unsigned short& value) const;  ///< low 16 bits
  bool Geti(const char* key, unsigned char& value) const;   ///< low 8 bits
  bool Geti(const char* key, CString& value) const;         ///< "%d"
  bool Getf(const char* key, CString& value) const;         ///< "%g"
  /// The value, or 0 when absent.
  ///@{
  float Getf(const char* key) const;
  int Geti(const char* key) const;
  ///@}
  /// The stored text, valid until the entry changes; "" when absent.
  const char* Gets(const char* key) const;

  /// 1 float, 2 integer, 3 string, 5 other, 0 absent; the first kind in that
  /// order when the key is in several maps.
  int LookupKeyType(const char* key) const;
  /// Entries of the four value maps together.
  int GetCount() const;

  /// Iteration over all values as text: floats ("%g") first, then integers
  /// ("%d"), then strings; the other map is not visited. Any change to the
  /// values after GetNextBegin ends the iteration (GetNext gives false).
  /// ```
  /// ds.GetNextBegin();
  /// for (CString k, v; ds.GetNext(k, v);) ...
  /// ds.GetNextEnd();
  /// ```
  ///@{
  void GetNextBegin();
  bool GetNext(CString& key, CString& value);
  void GetNextEnd();
  ///@}

  // ---- Value limits ---------------------------------------------------------
  /// The key's value limit; when absent and bCreate is true a new one with
  /// the defaults (and m_strKey = key) is stored and returned; otherwise null.
  /// Null for a null or empty key.
  SValueSpec* GetKeySpec(const char* key, bool bCreate);
  /// Stores a copy of `valueSpec` under `key` (or, when key is null, under
  /// valueSpec.m_strKey); a non-null key is first written into valueSpec.m_strKey.
  /// Nothing is stored when the resulting key is empty.
  void SetKeySpec(SValueSpec& valueSpec, const char* key);
  /// Removes and frees the key's value limit; the values stay.
  void RemoveKey(const char* key);
  /// Iteration over the value limits in map order; GetKeyNext also sets the
  /// value limit's m_strKey to the key it is stored under.
  ///@{
  POSITION GetKeyHead() const { return m_mapSpec.GetStartPosition(); }
  SValueSpec* GetKeyNext(POSITION& pos) const;
  ///@}
  void ResetKeySpecs();  ///< frees every value limit

  /// Empties the float, integer and string maps, frees every block of the
  /// other map and ends any iteration. The name and value limits stay.
  void ResetData();
  /// ResetKeySpecs, then ResetData.
  void Reset();

  /// Copies every float, integer and string entry of `other` (same keys
  /// overwrite). Name, value limits and other blocks are not copied.
  CVdbDataSet& operator+=(const CVdbDataSet& other);
  /// ResetData, ResetKeySpecs, then +=: only the values are taken over; the
  /// name stays this set's own.
  CVdbDataSet& operator=(const CVdbDataSet& other);

  // ---- Persistence -----------------------------------------------------------------
  /// Writes the binary form at the file's position; true. File errors throw.
  bool Write(CFile& file) const;
  /// Empties the data set, then reads the binary form from the file's
  /// position. False when the stream ends early or holds a negative count, or
  /// a count or length larger than the bytes left; what was read before
  /// stays.
  bool Read(CFile& file);
  /// Writes the text form; false when the stream reports a write error.
  bool Write(FILE* fp) const;
  /// Empties the data set (values and value limits), then reads the text
  /// form until END, the end of the stream or the first line it does not
  /// understand. False only for a read error, a line longer than
  /// kMaxTextLine bytes (reading stops there) or a section header the stream
  /// cannot be put back before; true otherwise.
  bool Read(FILE* fp);

  /// The longest text line the reader accepts.
  static constexpr size_t kMaxTextLine = 1 << 20;

  /// Keyed blocks of other kinds (kind 5). No operation of this class fills
  /// it; a caller that does stores blocks allocated with malloc, which the data
  /// set then owns and frees.
  CMapStringToPtrEx m_mapOther;

 private:
  CString m_strName;
  CMapStringToPtrEx m_mapFloat;      ///< kind 1: the float's bits in the value
  CMapStringToPtrEx m_mapInt;        ///< kind 2: the int32 in the value
  CMapStringToStringEx m_mapString;  ///< kind 3
  CMapStringToPtrEx m_mapSpec;       ///< owned SValueSpec*

  /// Iteration positions, and the change counter that invalidates them.
  POSITION m_posFloat = nullptr;
  POSITION m_posOther = nullptr;
  POSITION m_posInt = nullptr;
  POSITION m_posString = nullptr;
  DWORD m_nChanges = 0;
  DWORD m_nIterChanges = 0;
};
