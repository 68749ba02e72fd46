#include "vdkit/coord/unit_trans.h"

#include <climits>
#include <cmath>
#include <utility>

namespace {

// A factor the conversions can multiply and divide by.
bool Usable(double factor) {
  return std::isfinite(factor) && factor != 0.0;
}

}  // namespace

CUnitTrans::CUnitTrans(const char* unit1, const char* unit2) {
  AddUnit("Meters", "Feet", 3.280839895013123);
  if (unit1 && unit2) SetUnit(unit1, unit2);
}

CUnitTrans::~CUnitTrans() = default;

int CUnitTrans::RemoveAt(int nIndex) {
  if (nIndex >= 0 && nIndex < GetSize()) m_units.erase(m_units.begin() + nIndex);
  return GetSize();
}

int CUnitTrans::FreeStorage() {
  std::vector<SUnit>().swap(m_units);
  return 0;
}

bool CUnitTrans::AddUnit(const char* unit1, const char* unit2, double factor) {
  if (!Usable(factor)) return false;
  m_units.push_back(SUnit{CString(unit1), CString(unit2), factor});
  return true;
}

void CUnitTrans::SetUnit(const char* from, const char* to) {
  m_dFactor = 1.0;
  if (!from || !to || !*from || !*to || CString(from).CompareNoCase(to) == 0) return;
  for (const SUnit& u : m_units) {
    if (u.strUnit1.CompareNoCase(from) == 0 && u.strUnit2.CompareNoCase(to) == 0) {
      m_dFactor = u.dFactor;
      return;
    }
    if (u.strUnit1.CompareNoCase(to) == 0 && u.strUnit2.CompareNoCase(from) == 0) {
      m_dFactor = 1.0 / u.dFactor;
      return;
    }
  }
}

const CUnitTrans::SUnit* CUnitTrans::GetAt(int nIndex) const {
  return nIndex >= 0 && nIndex < GetSize() ? &m_units[static_cast<size_t>(nIndex)] : nullptr;
}

bool CUnitTrans::operator==(const CUnitTrans& other) const {
  if (m_dFactor != other.m_dFactor || m_units.size() != other.m_units.size()) return false;
  for (size_t i = 0; i < m_units.size(); ++i) {
    const SUnit &a = m_units[i], &b = other.m_units[i];
    if (a.strUnit1 != b.strUnit1 || a.strUnit2 != b.strUnit2 || a.dFactor != b.dFactor) return false;
  }
  return true;
}

bool CUnitTrans::Serialize(CXmlArchive&) {
  return true;
}

bool CUnitTrans::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(m_units.size());
    for (const SUnit& u : m_units) ar << u.strUnit1 << u.strUnit2 << u.dFactor;
    ar << m_dFactor;
    return true;
  }
  // Records are appended as they are read, never sized from the count: each
  // takes at least 10 bytes, so a count beyond what the stream holds ends in
  // endOfFile after at most a tenth of its bytes.
  std::vector<SUnit> units;
  double factor = 0;
  try {
    const DWORD_PTR count = ar.ReadCount();
    if (count > INT_MAX) return false;
    for (DWORD_PTR i = 0; i < count; ++i) {
      SUnit u;
      ar >> u.strUnit1 >> u.strUnit2 >> u.dFactor;
      if (!Usable(u.dFactor)) return false;
      units.push_back(std::move(u));
    }
    ar >> factor;
  } catch (CArchiveException* e) {
    e->Delete();
    return false;
  }
  if (!Usable(factor)) return false;
  m_units = std::move(units);
  m_dFactor = factor;
  return true;
}
