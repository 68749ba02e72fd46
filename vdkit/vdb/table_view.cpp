#include "vdkit/vdb/table_view.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

// The first value of a field in the current record, read from the packed
// record bytes without assuming alignment.
float FirstFloat(const BYTE* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

SDateTime FirstDate(const BYTE* p) {
  SDateTime v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

double DayNumber(const SDateTime& t) {
  return static_cast<double>(DateToDay(t.date.day, t.date.month, t.date.year)) +
         static_cast<double>(t.fraction);
}

SDateTime DateOfDayNumber(double d) {
  // A fraction read from a damaged record may be anything; the day number
  // is kept within what a day number can hold.
  d = std::min(std::max(d, static_cast<double>(INT32_MIN)), static_cast<double>(INT32_MAX));
  const double whole = std::trunc(d);
  SDateTime t;
  t.date = DayToDate(static_cast<LONG>(whole));
  t.fraction = static_cast<float>(d - whole);
  return t;
}

// The limits as first computed: the logarithm is rounded to a float before
// use, so values whose logarithm lies very close to a whole or half step may
// round either way (the caller checks the result).
template <class Log>
void RoundLimits(float m, float h, float& lo, float& hi) {
  lo = m;
  if (m > 0 && std::isfinite(m)) {
    const Log l = static_cast<Log>(std::log10(static_cast<double>(m)));
    const int e = static_cast<int>(l);
    const Log f = l - static_cast<Log>(e);
    if (e > 0)
      lo = static_cast<float>(std::trunc(2 * std::pow(10.0, static_cast<double>(f))) * std::pow(10.0, e) *
                              0.5);
    else
      lo = static_cast<float>(std::trunc(std::pow(10.0, static_cast<double>(f) - 2)) * std::pow(10.0, e + 2));
  }
  hi = h;
  if (h > 0 && std::isfinite(h)) {
    const Log l = static_cast<Log>(std::log10(static_cast<double>(h)));
    const int e = static_cast<int>(l);
    if (e >= 0) {
      const int e1 = e - 1;
      hi = static_cast<float>(std::ceil(std::ceil(2 * std::pow(10.0, static_cast<double>(l) - e1)) * 0.5) *
                              std::pow(10.0, e1));
    } else {
      hi = static_cast<float>(std::ceil(std::pow(10.0, static_cast<double>(l) - e - 2)) *
                              std::pow(10.0, e + 2));
    }
  }
}

}  // namespace

CVdbTableView::CVdbTableView() = default;

BYTE* CVdbTableView::ValueBytes(int field, size_t need) {
  const SVdbField* f = GetField(field);
  if (!f || !m_pRecord || f->m_nOffset < 0 || static_cast<size_t>(f->GetDataSize()) < need ||
      static_cast<LONGLONG>(f->m_nOffset) + static_cast<LONGLONG>(need) > m_FieldSet.m_nRecordSize)
    return nullptr;
  return m_pRecord->GetData() + f->m_nOffset;
}

CVdbTableView::~CVdbTableView() = default;

void CVdbTableView::FreeRegister() {
  m_pMin.reset();
  m_pMax.reset();
  m_nRegister = 0;
}

void CVdbTableView::ResetContent() {
  CVdbTable::ResetContent();
  FreeRegister();
  m_nFirstFloat = -1;
}

int CVdbTableView::GetFirstFloatIndex() {
  const int n = GetFieldCount();
  int i = 0;
  while (i < n && !GetField(static_cast<short>(i))->Is(VDB_FLOAT)) ++i;
  m_nFirstFloat = i;
  return i;
}

void CVdbTableView::AuToMMX() {
  const int nFields = GetFieldCount();
  const LONG nRecords = GetRecordCount();
  if (nRecords <= 0 || nFields <= 0) return;
  if (m_nFirstFloat < 0) GetFirstFloatIndex();
  SVdbRecord* const savedRecord = m_pRecord;
  const LONG savedCursor = m_nCursor;

  // Fresh entries (for a new register, or fields added since the last run)
  // start with minimum 0 and maximum "no value yet".
  if (m_nRegister < nFields) {
    std::unique_ptr<float[]> mins(new float[static_cast<size_t>(nFields)]);
    std::unique_ptr<float[]> maxs(new float[static_cast<size_t>(nFields)]);
    for (int i = 0; i < nFields; ++i) {
      mins[i] = i < m_nRegister ? m_pMin[i] : 0.0f;
      maxs[i] = i < m_nRegister ? m_pMax[i] : VDB_NULL_FLOAT;
    }
    m_pMin = std::move(mins);
    m_pMax = std::move(maxs);
    m_nRegister = nFields;
  }

  bool anyDate = false;
  double earliest = 0, latest = 0;
  for (LONG r = 0; r < nRecords; ++r) {
    MoveTo(r);
    for (int i = 0; i < nFields; ++i) {
      const SVdbField* field = GetField(static_cast<short>(i));
      const BYTE* p = ValueBytes(i, field->Is(VDB_DATE) ? sizeof(SDateTime) : sizeof(float));
      if (!p) continue;
      if (field->Is(VDB_FLOAT)) {
        const float v = FirstFloat(p);
        if (IsVdbNull(v) || std::isnan(v)) continue;  // no value
        if (IsVdbNull(m_pMax[i])) {
          m_pMin[i] = m_pMax[i] = v;
        } else {
          if (v < m_pMin[i]) m_pMin[i] = v;
          if (v > m_pMax[i]) m_pMax[i] = v;
        }
      } else if (field->Is(VDB_DATE)) {
        const SDateTime t = FirstDate(p);
        // An empty date (no day, month or year) is no value.
        if (t.date.day == 0 || t.date.month == 0 || t.date.year == 0) continue;
        if (!std::isfinite(t.fraction)) continue;  // no time at all: not a date
        const double d = DayNumber(t);
        if (!anyDate) {
          earliest = latest = d;
          anyDate = true;
        } else {
          if (d <= earliest) earliest = d;
          if (d >= latest) latest = d;
        }
      }
    }
  }
  if (anyDate) {
    if (earliest == latest) {
      earliest -= 10;
      latest += 10;
    }
    m_tMin = DateOfDayNumber(earliest);
    m_tMax = DateOfDayNumber(latest);
  }
  m_pRecord = savedRecord;
  m_nCursor = savedCursor;
}

float& CVdbTableView::Min(int i) {
  if (!HasRegister()) AuToMMX();
  if (i >= 0 && i < m_nRegister) return m_pMin[i];
  m_fScratch = 0;
  return m_fScratch;
}

float& CVdbTableView::Max(int i) {
  if (!HasRegister()) AuToMMX();
  if (i >= 0 && i < m_nRegister) return m_pMax[i];
  m_fScratch = VDB_NULL_FLOAT;
  return m_fScratch;
}

SDateTime& CVdbTableView::tMin() {
  if (!HasRegister()) AuToMMX();
  return m_tMin;
}

SDateTime& CVdbTableView::tMax() {
  if (!HasRegister()) AuToMMX();
  return m_tMax;
}

bool CVdbTableView::tMinMax(SDateTime& tmin, SDateTime& tmax) const {
  if (!HasRegister()) return false;
  tmin = m_tMin;
  tmax = m_tMax;
  return true;
}

bool CVdbTableView::MinMax(int i, float& lo, float& hi) const {
  // A field without values keeps its maximum at the null marker (its minimum
  // is then 0, which says nothing).
  if (i < 0 || i >= m_nRegister || IsVdbNull(m_pMin[i]) || IsVdbNull(m_pMax[i])) {
    lo = 0;
    hi = 10;
    return false;
  }
  const float m = m_pMin[i], h = m_pMax[i];
  RoundLimits<float>(m, h, lo, hi);
  // A value just below or above a power of ten can have its float logarithm
  // rounded onto the step, which would put the limit on the wrong side of the
  // value; those few are computed again with the logarithm in double.
  if (lo > m || hi < h) RoundLimits<double>(m, h, lo, hi);
  if (lo > m) lo = m;
  if (hi < h) hi = h;
  if (hi == lo) hi = lo + 1;
  // Beyond 2^24 adding 1 changes nothing; an axis needs some extent. Limits
  // a caller set the wrong way round (minimum above maximum) stay as set.
  if (hi == lo) hi = std::nextafter(lo, HUGE_VALF);
  return true;
}

SDateTime* CVdbTableView::Date() {
  return reinterpret_cast<SDateTime*>(ValueBytes(GetFieldIndex("DATE"), sizeof(SDateTime)));
}

float CVdbTableView::GetTime() {
  const BYTE* p = ValueBytes(GetFieldIndex("DATE"), sizeof(SDateTime));
  if (!p) return 0;
  const SDateTime t = FirstDate(p);
  return static_cast<float>(DateToDay(t.date.day, t.date.month, t.date.year)) + t.fraction;
}

bool CVdbTableView::IsEmpty(int i) {
  const LONG nRecords = GetRecordCount();
  if (nRecords <= 0) return true;
  const int nFields = GetFieldCount();
  if (i == -1) {
    // Asked of the records themselves, so that a register computed before
    // the records changed cannot give a stale answer.
    if (m_nFirstFloat < 0) GetFirstFloatIndex();
    SVdbRecord* const savedRecord = m_pRecord;
    const LONG savedCursor = m_nCursor;
    bool empty = true;
    for (LONG r = 0; r < nRecords && empty; ++r) {
      MoveTo(r);
      for (int k = m_nFirstFloat; k < nFields && empty; ++k) {
        const BYTE* p = ValueBytes(k, sizeof(float));
        if (p && GetField(static_cast<short>(k))->Is(VDB_FLOAT) && !IsVdbNull(FirstFloat(p))) empty = false;
      }
    }
    m_pRecord = savedRecord;
    m_nCursor = savedCursor;
    return empty;
  }
  if (i < m_nFirstFloat || i >= nFields || i < 0) return true;
  if (!GetField(static_cast<short>(i))->Is(VDB_FLOAT)) return true;
  for (LONG r = 0; r < nRecords; ++r) {
    MoveTo(r);
    const BYTE* p = ValueBytes(i, sizeof(float));
    if (p && !IsVdbNull(FirstFloat(p))) return false;
  }
  return true;
}

CVdbTableView& CVdbTableView::operator=(const CVdbTableView& other) {
  if (this == &other) return *this;
  CVdbTable::operator=(other);
  m_tMin = other.m_tMin;
  m_tMax = other.m_tMax;
  m_nFirstFloat = other.m_nFirstFloat;
  FreeRegister();
  if (other.HasRegister()) {
    m_pMin.reset(new float[static_cast<size_t>(other.m_nRegister)]);
    m_pMax.reset(new float[static_cast<size_t>(other.m_nRegister)]);
    std::memcpy(m_pMin.get(), other.m_pMin.get(), sizeof(float) * static_cast<size_t>(other.m_nRegister));
    std::memcpy(m_pMax.get(), other.m_pMax.get(), sizeof(float) * static_cast<size_t>(other.m_nRegister));
    m_nRegister = other.m_nRegister;
  }
  return *this;
}
