/// @file
/// CUnitTrans converts lengths (or any linear quantity) between two named
/// units. It keeps a table of unit pairs with their factors, seeded with
/// Meters -> Feet, and a current factor chosen by naming two units.
///
/// ```
/// CUnitTrans ut("feet", "METERS");   // names ignore letter case
/// ut.toUnit2(3.280839895013123);     // 1.0: the seeded pair used in reverse
/// ut.AddUnit("Kilometers", "Meters", 1000.0);
/// ut.SetUnit("Meters", "Kilometers");
/// ut.toUnit2(2500.0);                // 2.5
/// ```
///
/// A record means 1 of unit 1 = factor of unit 2. Unknown or missing unit
/// names are not an error: they select the factor 1.0, so that conversions
/// return values unchanged. Every stored factor is finite and not zero.
///
/// Ownership: the object owns its table; copies are deep. RemoveAt, FreeStorage
/// and AddUnit invalidate pointers from GetAt.
///
/// Binary form (Serialize(CArchive&); little-endian, in the archive's count and
/// CString forms, no alignment):
///
/// ```
/// count    WORD below 0xFFFF, else FF FF and a DWORD: the number of records
/// records  count times: CString unit 1, CString unit 2, double factor
/// factor   double: the current factor
///
/// the seeded table with factor 1.0, 30 bytes:
///   01 00                       count 1
///   06 4D 65 74 65 72 73        "Meters"
///   04 46 65 65 74              "Feet"
///   8F F2 A3 FC 28 3F 0A 40     3.280839895013123
///   00 00 00 00 00 00 F0 3F     1.0
/// ```
#pragma once

#include <vector>

#include "vdkit/platform/archive.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

class CXmlArchive;

/// A table of unit pairs with conversion factors and the factor selected for one
/// pair (see the file's description).
class VDKIT_API CUnitTrans {
 public:
  /// One unit pair: 1 of unit 1 = dFactor of unit 2.
  struct SUnit {
    CString strUnit1;  ///< the first unit's name
    CString strUnit2;  ///< the second unit's name
    double dFactor;    ///< 1 of unit 1 in unit 2
  };

  /// The seeded table and factor 1.0; then, when both names are given,
  /// SetUnit(unit1, unit2).
  explicit CUnitTrans(const char* unit1 = nullptr, const char* unit2 = nullptr);
  /// Copies are deep: the table and the factor.
  ///@{
  CUnitTrans(const CUnitTrans&) = default;
  CUnitTrans(CUnitTrans&&) noexcept = default;
  CUnitTrans& operator=(const CUnitTrans&) = default;
  CUnitTrans& operator=(CUnitTrans&&) noexcept = default;
  ///@}
  virtual ~CUnitTrans();

  /// Removes the record at nIndex, moving later ones down; returns the new
  /// count. An index outside 0 .. count - 1 changes nothing. The current
  /// factor stays as it is.
  virtual int RemoveAt(int nIndex);
  /// Removes every record (the seeded one too); returns 0. The current factor
  /// stays as it is.
  virtual int FreeStorage();

  /// Appends a record without looking for an existing pair (the first match
  /// wins in SetUnit). False, nothing added, for a factor that is zero or not
  /// finite: the conversions would divide by it.
  bool AddUnit(const char* unit1, const char* unit2, double factor);
  /// Selects the factor from `from` to `to`: the first record, in table
  /// order, naming the pair either way (its factor, or 1 / its factor when
  /// named in reverse). 1.0 when either name is null or empty, the two are
  /// equal ignoring case, or no record names the pair.
  void SetUnit(const char* from, const char* to);
  /// value / factor: from the second unit of SetUnit to the first.
  double toUnit1(double value) const { return value / m_dFactor; }
  /// value * factor: from the first unit to the second.
  double toUnit2(double value) const { return value * m_dFactor; }

  /// Writes and reads nothing; true.
  bool Serialize(CXmlArchive& ar);
  /// Writes or reads the binary form above according to the archive's
  /// direction. Reading replaces the table and the factor, or, on a stream
  /// that ends early or holds a zero or non-finite factor, answers false and
  /// leaves the object unchanged. CFile errors pass to the caller.
  bool Serialize(CArchive& ar);

  // ---- vdkit extensions ----------------------------------------------------
  int GetSize() const { return static_cast<int>(m_units.size()); }  ///< the number of records
  /// The record at nIndex; null outside 0 .. count - 1.
  const SUnit* GetAt(int nIndex) const;
  double GetFactor() const { return m_dFactor; }  ///< the factor SetUnit selected
  /// The same records in the same order, and the same factor.
  ///@{
  bool operator==(const CUnitTrans& other) const;
  bool operator!=(const CUnitTrans& other) const { return !(*this == other); }
  ///@}

 private:
  std::vector<SUnit> m_units;
  double m_dFactor = 1.0;
};
