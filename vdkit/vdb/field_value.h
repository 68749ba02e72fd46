/// @file
/// Field values of the table database: the type codes every table, field and
/// file uses, their two name tables, the null markers, and the two holders
/// that move single values in and out of tables: SVdbVariant (a tagged value
/// of any type) and SVdbBinary (an owned block of bytes).
///
/// ```
/// SVdbVariant v;
/// v << 2.5;                          // DOUBLE
/// v.SetPSZ("Well-7", VDB_CHAR16);    // CHAR16, text kept in the value area
/// if (v.GetType() == VDB_CHAR16) puts(v.GetPSZ());
/// GetVdbTypeName(VDB_DATAID);        // "int32"
/// ```
///
/// Ownership: a STRING variant owns its text, a BINARY variant its
/// SVdbBinary, an SVdbBinary its bytes. Copies are deep (a copy never shares
/// what its source owns); a moved-from holder is empty.
///
/// Nothing here reports errors: reading a variant as the wrong type gives
/// whatever its value area holds.
#pragma once

#include <cstring>

#include "vdkit/core/date.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

// ---- Type codes ------------------------------------------------------------
/// The tens of a fixed type's code give its unit size in bytes; codes of 100
/// and above are the variable types, whose unit is one byte.
enum : BYTE {
  VDB_NULL = 0,
  VDB_BOOL = 11,     ///< 8-bit truth value
  VDB_BYTE = 12,     ///< 8-bit unsigned integer
  VDB_CHAR = 13,     ///< one 8-bit character
  VDB_SHORT = 21,    ///< 16-bit signed integer
  VDB_LONG = 41,     ///< 32-bit signed integer (also named INT)
  VDB_FLOAT = 42,    ///< 32-bit float
  VDB_DATAID = 43,   ///< 32-bit unsigned identifier
  VDB_DOUBLE = 81,   ///< 64-bit float
  VDB_CHAR8 = 82,    ///< text of at most 8 bytes, zero-padded
  VDB_CHAR16 = 83,   ///< text of at most 16 bytes, zero-padded
  VDB_DATE = 84,     ///< an SDateTime
  VDB_STRING = 100,  ///< text of at most count bytes, zero-padded
  VDB_BINARY = 102,  ///< bytes
};

/// Unit size of a type in a record: 1, 2, 4, 8 or 16 bytes; 0 for VDB_NULL and
/// for codes not in the table.
inline int GetVdbUnitSize(int type) {
  switch (type) {
    case VDB_BOOL:
    case VDB_BYTE:
    case VDB_CHAR:
    case VDB_STRING:
    case VDB_BINARY:
      return 1;
    case VDB_SHORT:
      return 2;
    case VDB_LONG:
    case VDB_FLOAT:
    case VDB_DATAID:
      return 4;
    case VDB_DOUBLE:
    case VDB_CHAR8:
    case VDB_DATE:
      return 8;
    case VDB_CHAR16:
      return 16;
    default:
      return 0;
  }
}

/// The lower-case name of a type code as written in XML ("float32", "int32"
/// for both LONG and DATAID ...); "null" for a code not in the table.
VDKIT_API const char* GetVdbTypeName(int type);
/// The code of a lower-case type name, ASCII case ignored; 0 when unknown or
/// null. "int32" gives VDB_LONG.
VDKIT_API int GetVdbTypeCode(const char* name);
/// The code of an upper-case type name of a field definition ("DOUBLE",
/// "INT" ...), ASCII case ignored; 0 when unknown or null. The lower-case
/// names are not in this table: "float32" gives 0.
VDKIT_API int GetVdbUpperTypeCode(const char* name);

// ---- Null markers ------------------------------------------------------------
/// A FLOAT holding 9.999e-30 has no value; a DOUBLE holds the same number
/// widened. New records carry these markers; they are recognised by their
/// bits, so a computed value that happens to be close is not taken for one.
constexpr float VDB_NULL_FLOAT = 9.999e-30f;
constexpr double VDB_NULL_DOUBLE = static_cast<double>(VDB_NULL_FLOAT);  ///< the DOUBLE null marker
constexpr DWORD VDB_NULL_FLOAT_BITS = 0x0F4ACDC7u;                       ///< the bits of VDB_NULL_FLOAT
constexpr ULONGLONG VDB_NULL_DOUBLE_BITS = 0x39E959B8E0000000ull;        ///< the bits of VDB_NULL_DOUBLE

/// Whether v is the null marker, by its bits.
///@{
inline bool IsVdbNull(float v) {
  DWORD bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits == VDB_NULL_FLOAT_BITS;
}
inline bool IsVdbNull(double v) {
  ULONGLONG bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits == VDB_NULL_DOUBLE_BITS;
}
///@}

// ---- SVdbBinary -----------------------------------------------------------------
/// An owned block of bytes. m_pData is allocated with new[] and freed by the
/// holder; a caller that fills the members directly must allocate the same way.
struct VDKIT_API SVdbBinary {
  BYTE* m_pData = nullptr;  ///< the bytes, or null
  LONG m_nSize = 0;         ///< their number

  SVdbBinary() = default;
  /// Copies are deep; moves take the block and leave the source empty.
  ///@{
  SVdbBinary(const SVdbBinary& other);
  SVdbBinary(SVdbBinary&& other) noexcept;
  SVdbBinary& operator=(const SVdbBinary& other);
  SVdbBinary& operator=(SVdbBinary&& other) noexcept;
  ///@}
  ~SVdbBinary() { Clear(); }

  /// Frees the bytes: null pointer, size 0.
  void Clear();
  /// vdkit extension: replaces the block with a copy of n bytes at p (empty
  /// when p is null or n < 1).
  void SetData(const void* p, int n);
};

// ---- SVdbVariant ------------------------------------------------------------------
/// A tagged value. The 16-byte value area holds the value itself (numbers,
/// dates, CHAR8/CHAR16 texts) or, for STRING and BINARY, a pointer to what the
/// variant owns. Every setter clears first, so unused bytes of the area are 0.
struct VDKIT_API SVdbVariant {
  SVdbVariant() { std::memset(m_Value, 0, sizeof m_Value); }
  /// Copies are deep (a held text or block is copied); moves take it and leave
  /// the source empty.
  ///@{
  SVdbVariant(const SVdbVariant& other);
  SVdbVariant(SVdbVariant&& other) noexcept;
  SVdbVariant& operator=(const SVdbVariant& other);
  SVdbVariant& operator=(SVdbVariant&& other) noexcept;
  ///@}
  ~SVdbVariant() { Clear(); }

  /// Releases a STRING's text or a BINARY's block; type 0, area zero.
  void Clear();

  // ---- Setters -------------------------------------------------------------
  SVdbVariant& operator<<(double v);            ///< DOUBLE
  SVdbVariant& operator<<(float v);             ///< FLOAT
  SVdbVariant& operator<<(int v);               ///< LONG
  SVdbVariant& operator<<(long v);              ///< LONG (low 32 bits)
  SVdbVariant& operator<<(unsigned long v);     ///< DATAID (low 32 bits)
  SVdbVariant& operator<<(unsigned int v);      ///< DATAID; vdkit: DWORD is unsigned int here
  SVdbVariant& operator<<(short v);             ///< SHORT
  SVdbVariant& operator<<(unsigned char v);     ///< BYTE
  SVdbVariant& operator<<(bool v);              ///< BOOL, one byte 0 or 1
  SVdbVariant& operator<<(const SDateTime& v);  ///< DATE
  SVdbVariant& operator<<(const SDate& v);      ///< DATE with fraction 0
  /// Type STRING: the variant keeps its own copy of the text, of any length.
  /// Type CHAR8 or CHAR16: at most the first 16 bytes go into the area (CHAR8
  /// too keeps up to 16 here) and the type is the one given. Any other type is
  /// taken as CHAR16. A null text counts as empty.
  void SetPSZ(const char* text, int type);
  /// vdkit extension: type BINARY holding a copy of n bytes at p.
  void SetBinary(const void* p, int n);
  /// vdkit extension: any type but STRING and BINARY with the area filled from
  /// at most 16 of the n bytes at p (the rest zero), as a record holds them.
  void SetBytes(int type, const void* p, int n);

  // ---- Getters -----------------------------------------------------------
  int GetType() const { return m_nType; }  ///< the type code; 0 when empty
  /// The area read as float or double, without conversion: check the type first.
  ///@{
  float GetFloat() const;
  double GetDouble() const;
  ///@}
  /// BOOL, BYTE, CHAR: the byte, unsigned; SHORT: sign-extended; LONG and
  /// DATAID: the 32 bits; any other type: 0.
  LONG GetLong() const;
  DWORD GetDWord() const { return static_cast<DWORD>(GetLong()); }  ///< GetLong as unsigned
  bool GetBool() const { return m_Value[0] != 0; }  ///< whether the area's first byte is not 0
  SDateTime GetDateTime() const;                    ///< the area read as a DATE (check the type first)
  SDate GetDate() const;                            ///< the date part of GetDateTime
  /// CHAR8 and CHAR16: the text in the area (terminated even when all 16
  /// bytes are used); STRING: the held text; BINARY: ""; other types: the
  /// area's bytes, up to the first zero.
  const char* GetPSZ() const;
  /// The held block of a BINARY variant, else null.
  const SVdbBinary* GetBinary() const;

  /// Same type in 11..102 and the same value: numbers by their bits (DOUBLE
  /// by value), texts ignoring ASCII case, DATE by all eight bytes. BINARY
  /// values and empty variants are never equal.
  ///@{
  bool operator==(const SVdbVariant& other) const;
  bool operator!=(const SVdbVariant& other) const { return !(*this == other); }
  ///@}

  /// vdkit extension: the value area, for the table's byte transfers.
  ///@{
  const BYTE* GetArea() const { return m_Value; }
  BYTE* GetArea() { return m_Value; }
  ///@}
  static constexpr int kAreaSize = 16;  ///< bytes in the value area

 private:
  template <class T>
  SVdbVariant& SetRaw(int type, const T& v) {
    Clear();
    m_nType = static_cast<BYTE>(type);
    std::memcpy(m_Value, &v, sizeof v);
    return *this;
  }
  CString* HeldText() const;
  SVdbBinary* HeldBinary() const;

  alignas(8) BYTE m_Value[16];
  BYTE m_nEnd = 0;  ///< always 0: ends a CHAR16 text that fills the area
  BYTE m_nType = VDB_NULL;
};
