/// @file
/// CKeyProfile: settings kept in memory as sections of named entries, each
/// holding an integer, a float, a string or a block of bytes. Callers read
/// entries through typed getters that take a default, walk them all, and store
/// or load the whole profile as a `<DataSet>` element through the XML archive.
///
/// ```
/// CKeyProfile profile;
/// profile.SetKeyInt("Grid", "Columns", 120);
/// profile.SetKeyString("Grid", "Method", "kriging");
/// UINT cols = profile.GetKeyInt("GRID", "columns", 0);     // 120: names ignore ASCII case
/// CString m;
/// profile.GetKeyString("Grid", "Missing", m, "none");       // "none"
/// profile.Store("grid.xml");                                // replaces grid.xml only on success
/// ```
///
/// Ownership: the profile owns every value; copies are deep. A value's bytes
/// (GetNext's `data`, LookupProfile's record) stay where they are until that
/// entry is set again or the profile is reset, destroyed or assigned to;
/// adding other entries moves nothing.
///
/// Failure: setters answer false and store nothing for a null or empty
/// section or key; getters then give their default. Serialize is always true.
/// Nothing throws but CFile, whose CFileException passes to the caller of
/// Serialize; Store and Load by path catch it and answer false.
///
/// Order. An entry is filed under its composite key "<section number>@<key>",
/// the section number counting sections 1, 2, 3 ... in order of first use (a
/// lookup of an unknown section gives it a number too). Iteration runs the 17
/// buckets of the composite key's hash (MapHashKey modulo 17) in ascending
/// order, newest entry first within a bucket; the XML form follows the same
/// order, and sections appear in the order of a 17-bucket string map of their
/// names. A hidden index serves lookups, so profiles of millions of entries
/// stay fast while this order is kept.
///
/// The XML form, written through the archive's text output (each line
/// indented by the archive's depth):
///
/// ```
/// <DataSet>
///  <Grid>
/// <Columns v='120' t='int' />
/// <Method v='kriging' t='string' />
/// <Scale v='0.1' t='float' />
/// <Mask v='0A0B0C' t='bin' />
///  </Grid>
/// </DataSet>
/// ```
///
/// Strings go through the library's XML escaping; floats in the shortest form
/// that reads back equal; binary values as hexadecimal digits, two per byte.
/// A section or key that cannot stand as an element name (blanks, < > / = &
/// quotes, a leading ? ! or #, an '@' as second character) is written as
/// `<#@N name='...'>` with N its position, and read back from that attribute.
#pragma once

#include <cstring>
#include <memory>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

class CXmlArchive;

/// Settings in sections of named, typed entries, stored as XML (see the file's
/// description).
class VDKIT_API CKeyProfile {
 public:
  /// One entry's value. Integers and floats are 4 bytes; a string of n
  /// characters is n bytes (plus a terminator when kept on the heap), binary
  /// values byte for byte.
  struct SKeyProfile {
    /// The value bytes themselves when size <= kInlineBytes (the unused rest
    /// zero, so an inline string is terminated too); else the address of an
    /// owned heap block, as GetData gives it.
    BYTE data[8];
    UINT size;  ///< value bytes
    BYTE type;  ///< a Type

    /// The value bytes, inline or on the heap.
    const BYTE* GetData() const {
      if (size <= kInlineBytes) return data;
      BYTE* p;
      std::memcpy(&p, data, sizeof p);
      return p;
    }
  };
  /// The kinds of entry, as stored.
  enum Type { typeEmpty = 0, typeInt = 1, typeString = 2, typeBin = 3, typeFloat = 4 };
  static constexpr UINT kInlineBytes = 4;  ///< values of at most this many bytes are kept inline
  /// The bucket count that fixes the iteration order.
  static constexpr UINT kHashSize = 17;

  /// An empty profile.
  CKeyProfile();
  /// Deep copies: the copy has its own values and the same numbering and order.
  ///@{
  CKeyProfile(const CKeyProfile& other);
  CKeyProfile& operator=(const CKeyProfile& other);
  ///@}
  CKeyProfile(CKeyProfile&& other) noexcept;             ///< takes the entries; other is left empty
  CKeyProfile& operator=(CKeyProfile&& other) noexcept;  ///< takes the entries; other is left empty
  virtual ~CKeyProfile();

  // ---- Typed entries --------------------------------------------------------
  bool SetKeyInt(const char* section, const char* key, int value);  ///< stores an integer entry
  /// An integer entry's value; a string entry's text read as atoi would (out
  /// of range saturating at the 32-bit bounds); otherwise `nDefault`.
  UINT GetKeyInt(const char* section, const char* key, int nDefault) const;
  bool SetKeyFloat(const char* section, const char* key, float value);  ///< stores a float entry
  /// A float entry's value; an integer entry's value taken as unsigned (so -1
  /// gives 4294967295); a string entry's text read with atof; otherwise
  /// `fDefault`.
  float GetKeyFloat(const char* section, const char* key, float fDefault) const;
  /// A null text stores the empty string.
  bool SetKeyString(const char* section, const char* key, const char* value);
  /// `out` = a string entry's text, an integer entry's value as "%d", or else
  /// `lpszDefault` (empty for null).
  void GetKeyString(const char* section, const char* key, CString& out, const char* lpszDefault) const;
  /// Stores `size` bytes (a null `data` only with size 0). The whole value is
  /// kept; false for sizes above INT_MAX. `data` may point into the profile's
  /// own values.
  bool SetKeyBin(const char* section, const char* key, const void* data, UINT size);
  /// Any entry's value bytes. Missing: 0. A null `buf`: the stored size.
  /// Otherwise clears bufSize bytes of `buf`, copies min(stored, bufSize)
  /// bytes and returns that count.
  int GetKeyBin(const char* section, const char* key, void* buf, UINT bufSize) const;
  /// Missing: false. A non-null `out` receives a copy in a new block of the
  /// stored size rounded up to a multiple of 4 (at least 4), which the caller
  /// frees with free(); a non-null `size` receives the stored size.
  bool GetKeyBin(const char* section, const char* key, void** out, UINT* size) const;

  // ---- Walking --------------------------------------------------------------
  /// The first entry, or null when the profile is empty.
  POSITION GetStartPos() const;
  /// The entry at `pos` (section and key names as first stored, its Type, its
  /// size, its value bytes), and `pos` moved to the next entry or null. A null
  /// `pos` changes nothing. Adding an entry invalidates positions.
  void GetNext(POSITION& pos, CString& section, CString& key, int& type, int& size, void*& data) const;
  /// Destroys every entry and section; numbering starts again at 1.
  void ResetKeyProfiles();

  // ---- XML --------------------------------------------------------------------
  /// Storing: the `<DataSet>` element at the archive's position, nothing for an
  /// empty profile. Loading: reads the archive item's child element
  /// "DataSet"; loaded entries overwrite those of the same section and key,
  /// the others stay. Entries whose type is unknown or whose value does not
  /// read (an int or float with an empty value, odd or non-hex binary digits)
  /// are passed over. True.
  bool Serialize(CXmlArchive& ar);

  // ---- vdkit extensions -------------------------------------------------------
  int GetCount() const;         ///< entries
  int GetSectionCount() const;  ///< sections numbered so far
  /// Writes "<?xml version='1.0'?>\n" and the `<DataSet>` element (an empty one
  /// for an empty profile) to the file, which replaces `path` only when all
  /// of it is written. False, and the old file untouched, on any failure.
  bool Store(const char* path);
  /// Reads a document whose first element is a `<DataSet>` into the profile as
  /// Serialize does. False, and the profile unchanged, when the file cannot be
  /// read, is no XML document, is malformed or cut short, or has no DataSet
  /// first; true otherwise.
  bool Load(const char* path);
  /// The same on a file opened by the caller, from its current position.
  ///@{
  bool Store(CFile* file);
  bool Load(CFile* file);
  ///@}

 protected:
  /// "<number>@<key>" in `out`, numbering a section not seen before. False
  /// for a null or empty section or key.
  bool BuildProfileKey(const char* section, const char* key, CString& out);
  /// The entry's record, or null.
  SKeyProfile* LookupProfile(const char* section, const char* key);
  /// The entry's record, added when missing, its value freed and cleared
  /// (type and size 0). Null for a null or empty section or key, or when the
  /// profile holds INT_MAX entries.
  SKeyProfile* NewProfile(const char* section, const char* key);
  /// The name of section `number` as first used; false when there is none.
  bool GetSectionKey(int number, CString& section) const;

 private:
  struct Tables;
  Tables& Use() const;
  SKeyProfile* FindOrAdd(const char* section, const char* key);
  bool Assign(const char* section, const char* key, BYTE type, const void* bytes, UINT size);
  const SKeyProfile* Find(const char* section, const char* key) const;
  bool LoadDataSet(CXmlArchive& ar);

  /// Created on first use; mutable because a lookup numbers unknown sections.
  mutable std::unique_ptr<Tables> m_pTables;
};
