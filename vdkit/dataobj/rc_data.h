/// @file
/// CRCData: a small numeric table kept as a file object: named columns with
/// units, rows of 32-bit floats (one cell per column), and on demand the
/// minimum and maximum of every column.
///
/// ```
/// auto* t = static_cast<CRCData*>(disk.CreateFileA("logs", "RC", "CRCData"));
/// int depth = t->AddColName("Depth");     // 0; again "DEPTH" gives 0 too
/// int gr = t->AddColName("GR");           // 1: every row gains a cell (the null marker)
/// CRCData::SRCRow* row = t->NewRow(true);  // appended, cells 9.999e-30
/// row[depth] = 1200.5f, row[gr] = 87.0f;
/// CRCData::SRCCol xy;
/// t->GetCol("Depth", "GR", xy);           // xy.pX, xy.pY: one pair per row
/// float top = t->GetMin(depth);           // the ranges are computed on first use
/// ```
///
/// A row is a heap array of GetColCount() cells made with new[] (by NewRow
/// or by the caller) and owned by the table once added; adding and removing
/// columns keep every row in step. The ranges are a cache: made by AutoColMMX
/// (directly or through the range getters and setters), kept in step by
/// AddColName (the new column's entry is the null marker, which is also what
/// its cells hold), RemoveCol and assignment, and dropped by DeleteAll.
///
/// Copies (assignment, SRCCol's copy) never share storage; assigning a table
/// to itself, or CopyColHead(this), keeps it as it is. Indices outside the
/// table give null or the null marker and change nothing. The table is not
/// written by the archives: its class data are empty.
#pragma once

#include <memory>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/vdfile/vdfile.h"

/// A file object of numeric columns with names, units and cached ranges (see
/// the file's description).
class VDKIT_API CRCData : public CVDFile {
  DECLARE_VDFILE(CRCData)

  /// The cell type: a row is an array of GetColCount() of them.
  typedef float SRCRow;

  /// A column heading.
  struct SRCColProps {
    CString strName;
    CString strUnit;
  };

  /// Two columns pulled out as x/y pairs; owns its two arrays.
  struct SRCCol {
    int nCount = 0;
    float* pX = nullptr;
    float* pY = nullptr;

    SRCCol() = default;
    SRCCol(const SRCCol& other) { *this = other; }
    SRCCol& operator=(const SRCCol& other) {
      if (this != &other) {
        SetCount(other.nCount);
        for (int i = 0; i < nCount; ++i) pX[i] = other.pX[i], pY[i] = other.pY[i];
      }
      return *this;
    }
    ~SRCCol() { SetCount(0); }
    /// Frees both arrays; from 1 on allocates both uninitialised, else all
    /// three fields become 0 and null.
    void SetCount(int n) {
      delete[] pX;
      delete[] pY;
      pX = pY = nullptr;
      nCount = n > 0 ? n : 0;
      if (nCount > 0) {
        pX = new float[static_cast<size_t>(nCount)];
        pY = new float[static_cast<size_t>(nCount)];
      }
    }
  };

  /// No columns, no rows, no ranges, not modified.
  CRCData();
  ~CRCData() override;

  int GetColCount() const { return static_cast<int>(m_cols.size()); }
  int GetRowCount() const { return static_cast<int>(m_rows.size()); }
  /// Heading texts of column i; null outside the table.
  const char* GetColName(int i) const;
  const char* GetColUnit(int i) const;
  /// Row i, null outside the table.
  SRCRow* GetRowAt(int i) const;

  /// The index of the column of that name (ASCII case ignored), appending it
  /// with an empty unit, widening every row and marking the table modified
  /// when it is new; -1 for a null or empty name, or when memory for the
  /// wider rows cannot be had (the table is then unchanged).
  int AddColName(const char* lpszName);
  /// Renames or re-units column i; nothing outside the table.
  void SetColName(int i, const char* lpszName);
  void SetColUnit(int i, const char* lpszUnit);
  /// The first column of that name (ASCII case ignored); -1 for null or none.
  int GetColi(const char* lpszName) const;
  /// Removes the column from the headings, every row and the ranges; false
  /// when there is none of that name.
  bool RemoveCol(const char* lpszName);

  /// A new row of null markers, appended (the table marks itself modified)
  /// with true, else the caller's to AddRow or delete[]; null without columns
  /// or when memory cannot be had.
  SRCRow* NewRow(bool bAdd);
  /// Appends a row of GetColCount() cells made with new[]; the table owns it.
  void AddRow(SRCRow* pRow);
  void DeleteAllRows();
  /// No rows, no columns, no ranges, not modified.
  void DeleteAll();

  /// Fills `col` with column a as x and column b as y, one pair per row;
  /// false, with `col` emptied, when either name is not a column.
  bool GetCol(const char* lpszA, const char* lpszB, SRCCol& col);

  bool HasMMX() const { return m_bRanges; }
  /// The range of column i, computing the ranges first when there are none.
  float GetMin(int i);
  float GetMax(int i);
  void SetMin(int i, float v);
  void SetMax(int i, float v);
  /// Recomputes both ranges from the rows: the null marker without rows;
  /// null-marker cells count like any other value.
  void AutoColMMX();

  /// DeleteAll, then the source's name, file type and headings (no rows, no
  /// ranges). Null changes nothing.
  void CopyColHead(CRCData* pSource);
  /// DeleteAll, then the source's headings, ranges and rows (not its name and
  /// type).
  CRCData& operator=(const CRCData& source);

 private:
  std::vector<std::unique_ptr<SRCRow[]>> m_rows;
  std::vector<SRCColProps> m_cols;
  std::vector<float> m_max, m_min;  ///< one entry per column while m_bRanges
  bool m_bRanges = false;
};
