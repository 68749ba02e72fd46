/// @file
/// CVdbTableView: a table that holds the result of a table-set selection
/// (CVdbTableSet::Select) and adds what a chart or list of that result needs:
/// the minimum and maximum of each FLOAT field, the earliest and latest date
/// over the DATE fields, rounded axis limits, and the time of the current
/// record. In every other respect it is a CVdbTable.
///
/// ```
/// CVdbTableView view;
/// set.Select(&view, "Samples", "DATE,T,Wells.Depth", nullptr);
/// view.AuToMMX();                       // the register, computed once
/// float lo, hi;
/// if (view.MinMax(1, lo, hi)) ...       // e.g. 37 .. 37.3 gives 35 .. 38
/// SDateTime from = view.tMin(), to = view.tMax();
/// ```
///
/// The register (per-field minimum and maximum, earliest and latest date) is
/// computed by AuToMMX and kept until ResetContent; a second AuToMMX continues
/// from the values of the first, so after records change, ResetContent or a
/// new selection is the way to start afresh. A field whose maximum is the
/// float null marker has no value yet; its minimum is then 0.
///
/// The view owns its register. Assignment copies it (two views never share
/// it). The view has no class registration of its own: archives name it
/// "CVdbTable".
#pragma once

#include <memory>

#include "vdkit/core/date.h"
#include "vdkit/vdb/table.h"

class CVdbTableSet;

/// A table made by a table-set selection, with a register of each FLOAT field's
/// minimum and maximum and of the date range (see the file's description).
class VDKIT_API CVdbTableView : public CVdbTable {
 public:
  /// An empty view without a register.
  CVdbTableView();
  CVdbTableView(const CVdbTableView&) = delete;
  ~CVdbTableView() override;

  /// The table's ResetContent; then the register is freed and the first float
  /// index is undetermined again.
  void ResetContent() override;
  /// True; does nothing.
  bool Update() { return true; }
  /// The index of the first FLOAT field; the field count when there is none;
  /// stored in m_nFirstFloat.
  int GetFirstFloatIndex();

  /// Computes the register over all records (nothing without records or
  /// fields). Arrays made by an earlier run are kept, and grown with fresh
  /// entries for fields added since. The dates are set only when a DATE field
  /// holds a date; a single date gives a range of 10 days either side. The
  /// current record and cursor are left as they were.
  void AuToMMX();

  /// The field's entry of the register, running AuToMMX first when there is
  /// no register yet. For an index outside the register (a negative one, a
  /// view without records or fields) the reference is to a scratch value of
  /// this view, reset to 0 (Min) or the null marker (Max) on each call.
  ///@{
  float& Min(int i);
  float& Max(int i);
  ///@}
  /// The earliest and latest date; AuToMMX runs first when there is no
  /// register. Zero dates when no DATE value was seen.
  ///@{
  SDateTime& tMin();
  SDateTime& tMax();
  ///@}
  /// False, without touching the outputs, when there is no register yet.
  bool tMinMax(SDateTime& tmin, SDateTime& tmax) const;

  /// Rounded axis limits of field i from its register entries: the minimum
  /// rounded down and the maximum rounded up to a step of its order of
  /// magnitude (37 .. 37.3 gives 35 .. 38; 12 .. 97.3 gives 10 .. 98; minima
  /// below 10 give 0; 0.83 gives 0.9); hi is raised by 1 when it equals lo.
  /// False, with lo 0 and hi 10, for a negative index, an index outside the
  /// register, no register, or a field without values.
  bool MinMax(int i, float& lo, float& hi) const;

  /// The current record's value of the field named "DATE", or null without
  /// such a field (of at least 8 bytes) or current record. The pointer is into the record's bytes,
  /// which are packed: it is aligned only when the field's offset is a
  /// multiple of 4, so copy through it with memcpy otherwise.
  SDateTime* Date();
  /// Day number of Date() plus its fraction; 0 when Date() is null.
  float GetTime();

  /// Field i, an index other than -1: true without records, for an index
  /// below the first float index or not below the field count, and for a
  /// field that is not FLOAT; otherwise true when no record holds a value in
  /// it (the records are visited, and the cursor is left on the last one).
  /// Index -1: true when no record holds a value in any FLOAT field from the
  /// first float index on (the records are asked, not the register; the
  /// current record and cursor are left as they were).
  bool IsEmpty(int i);

  /// The table's SortByDate.
  void SortByDate() { CVdbTable::SortByDate(); }

  /// The table's assignment (fields, records, identifiers, name), then the
  /// dates, the first float index and a copy of the register.
  CVdbTableView& operator=(const CVdbTableView& other);

  SDateTime m_tMin{};       ///< the earliest date of the register
  SDateTime m_tMax{};       ///< the latest date of the register
  LONG m_nFirstFloat = -1;  ///< the first FLOAT field's index; -1 until determined

 private:
  friend class CVdbTableSet;

  /// The current record's bytes of a field that holds at least `need` bytes
  /// inside the record; null otherwise (no current record, a field too short,
  /// or a layout edited from outside).
  BYTE* ValueBytes(int field, size_t need);
  /// Entries in the register (0: none).
  bool HasRegister() const { return m_nRegister > 0; }
  void FreeRegister();

  std::unique_ptr<float[]> m_pMin;  ///< per field; 0 at allocation
  std::unique_ptr<float[]> m_pMax;  ///< per field; the null marker at allocation
  int m_nRegister = 0;
  float m_fScratch = 0;
};
