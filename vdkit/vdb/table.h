/// @file
/// CVdbTable: the in-memory table of the table database. A field set fixes
/// the record layout; records are fixed-size blocks in table order, each with
/// four flag bytes and a 32-bit identifier in front of its data; a cursor
/// designates the current record; identifiers are issued from a counter that
/// only grows. Values of the current record are read and written by field
/// index or name as raw bytes, typed references, SVdbVariant or text.
///
/// ```
/// CVdbTable t;
/// t.AddField("Temp:FLOAT", 0, 1);
/// t.AddField("Name:STRING*32", 0, 1);
/// t.AddNew();                              // identifier 1, now current
/// t.SetFieldValue("Temp", "12.5");
/// t.SetFieldValue(1, "W-7");
/// double sum = 0;
/// for (bool ok = t.MoveToFirst(); ok; ok = t.MoveToNext()) sum += t.Float(0);
/// ```
///
/// Ownership: the table owns its records and fields. A pointer into record
/// data (GetFieldVaptr, GetRecord, the typed references) stays valid until
/// that record is deleted, the table's records are reset, moved (operator<<)
/// or read over, or fields are added to a table with records (which
/// reallocates every record). operator= copies deeply.
///
/// Cursor: on a record (0 <= cursor < count, a current record); cleared
/// (cursor 0, no current record) after a failed MoveTo, ResetContent,
/// DeleteAllRecords or deleting the last record; past the end (cursor =
/// count) after a value search found nothing, with the previous current
/// record still designated, so that MoveToNext fails and InsertNew appends.
///
/// Failure shows as false, null, a scratch reference or nothing, as each
/// member says; nothing throws except the CFile underneath the file forms.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vdkit/core/date.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/field_value.h"
#include "vdkit/vdfile/vdfile.h"

class CVdbTableSet;

namespace detail {
class RecordArena;

// Maps blocks of 2 MB and more on huge pages where the system offers them,
// so that the record list of a large table grows with few page faults.
VDKIT_API void* AllocateLarge(size_t bytes);
VDKIT_API void FreeLarge(void* p, size_t bytes);

template <class T>
struct LargeBlockAllocator {
  using value_type = T;
  LargeBlockAllocator() = default;
  template <class U>
  LargeBlockAllocator(const LargeBlockAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { FreeLarge(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const LargeBlockAllocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const LargeBlockAllocator<U>&) const {
    return false;
  }
};
}  // namespace detail

/// One record: a heap block of record size + 8 bytes. The identifier is
/// issued by the table; change it only through CVdbTable::SetRecordID, since
/// the table keeps an index of identifiers.
struct SVdbRecord {
  BYTE m_Flags[4];  ///< zero when made; a table-set selection clears the second
  DWORD m_nID;      ///< the record identifier
  /// The record's data: each field at its offset.
  ///@{
  BYTE* GetData() { return reinterpret_cast<BYTE*>(this) + 8; }
  const BYTE* GetData() const { return reinterpret_cast<const BYTE*>(this) + 8; }
  ///@}
};
static_assert(sizeof(SVdbRecord) == 8, "flags and identifier take eight bytes");

/// The record list of a table: pointers to the records in table order.
using VdbRecordList = std::vector<SVdbRecord*, detail::LargeBlockAllocator<SVdbRecord*>>;

/// The types of the references Float and Long give: a float and a 32-bit
/// integer that may lie at any byte offset of a record, as fields are packed
/// without padding. Use them (or auto&) to keep such a reference; a plain
/// float& bound to a field at an odd offset is undefined behaviour.
#if defined(__GNUC__)
///@{
typedef float VdbFloat __attribute__((aligned(1)));
typedef LONG VdbLong __attribute__((aligned(1)));
///@}
#else
typedef float VdbFloat;
typedef LONG VdbLong;
#endif

/// An in-memory table of fixed-size records with a cursor, registered as
/// "CVdbTable" (see the file's description).
class VDKIT_API CVdbTable : public CVDFile {
  DECLARE_VDFILE(CVdbTable)

 public:
  /// An empty table: no fields, no records, cursor 0, identifiers from 1.
  CVdbTable();
  CVdbTable(const CVdbTable&) = delete;
  /// ResetContent, then the field set and the base.
  ~CVdbTable() override;

  /// Writes or reads the table's XML body (head with the field set, then the
  /// records), by the archive's direction. True.
  bool Serialize(CXmlArchive& ar) override;
  using CVDFile::Serialize;

  /// DeleteAllRecords and destroys the fields; the cursor is cleared.
  /// Identifiers keep counting from where they were.
  virtual void ResetContent();

  // ---- Structure -------------------------------------------------------------
  /// Frees every record; no current record, cursor 0.
  void DeleteAllRecords();
  /// Appends a Clone of each field of `fs` (offsets as there), takes its
  /// name, label and record size, and maps the name to the label in the
  /// keyword map. Meant for a table without fields and records. Null: nothing.
  void SetFieldSet(const CVdbFieldSet* fs);
  /// The table's field set; add fields through AddField, so that records grow.
  ///@{
  CVdbFieldSet* GetFieldSet() { return &m_FieldSet; }
  const CVdbFieldSet* GetFieldSet() const { return &m_FieldSet; }
  ///@}
  int GetFieldCount() const { return m_FieldSet.GetSize(); }  ///< the number of fields
  /// By name (ASCII case ignored) or index; null when absent or out of range.
  ///@{
  SVdbField* GetField(const char* name) const { return m_FieldSet.GetField(name); }
  SVdbField* GetField(int i) const { return m_FieldSet.GetAt(i); }
  int GetFieldIndex(const char* name) const { return m_FieldSet.GetFieldIndex(name); }
  ///@}
  /// The type code of field i; 0 out of range.
  int GetDataType(int i) const;
  /// CVdbFieldSet::AddField; records grow when the record size changed (new
  /// fields start zero or with the null marker).
  SVdbField* AddField(const char* text, int type, int count);
  /// AddField(text, 0, 1), then stores a non-null unit and alias in the
  /// field. The field's index, -1 when no field was made.
  int AddField(const char* text, const char* unit, const char* alias);
  /// CVdbFieldSet::AddField(SVdbField*), growing the records; true when the
  /// table took the field.
  bool AddField(SVdbField* field);
  LONG GetRecordCount() const { return static_cast<LONG>(m_arRecords.size()); }  ///< the number of records
  /// The current record's identifier; 0 without a current record.
  DWORD GetRecordID() const { return m_pRecord ? m_pRecord->m_nID : 0; }
  DWORD GetMaxID() const { return m_nMaxID; }  ///< the last identifier issued

  // ---- Records and cursor ----------------------------------------------------------
  /// Appends a new record with the next identifier and makes it current.
  void AddNew();
  /// Inserts a new record with the next identifier at the cursor (appends
  /// when the cursor is past the end, inserts first when it is before the
  /// first record) and makes it current there.
  void InsertNew();
  /// Deletes the current record; the record that followed becomes current,
  /// or the new last record; deleting the only record clears the cursor.
  /// Nothing without a current record.
  void DeleteRecord();
  /// Record i becomes current (true); otherwise the cursor is cleared (false).
  bool MoveTo(LONG i);
  /// MoveTo the first, the last, the next or the previous record.
  ///@{
  bool MoveToFirst() { return MoveTo(0); }
  bool MoveToLast() { return MoveTo(GetRecordCount() - 1); }
  bool MoveToNext() { return MoveTo(m_nCursor + 1); }
  bool MoveToPrev() { return MoveTo(m_nCursor - 1); }
  ///@}
  /// The first record (table order) with that identifier becomes current;
  /// false (cursor unchanged) when none has it.
  bool LocatOn(DWORD id);
  /// Search by value from the first record / after the cursor: the first
  /// record whose field holds exactly what SetFieldValue(field, v) would
  /// store becomes current. False, cursor unchanged, when the field's type is
  /// not v's (LocatOn leaves the cursor before the first record then); false
  /// with the cursor past the end when no record matches.
  ///@{
  bool LocatOn(int field, const SVdbVariant& v);
  bool LocatOnNext(int field, const SVdbVariant& v);
  ///@}
  /// The same without type check, comparing the first n bytes of the field
  /// (at most its data size) with `bytes`.
  ///@{
  bool LocatOn(int field, const void* bytes, int n);
  bool LocatOnNext(int field, const void* bytes, int n);
  ///@}
  /// Binary search on a DATE field over records in ascending order of it;
  /// true with the match current. Without a match: false, or with `add` true
  /// a record holding `dt` is appended (at the end) and made current, true.
  /// False when the field is not of type DATE.
  bool LocatOnDateS2(int field, const SDateTime& dt, bool add);
  /// Orders the records by the field named "DATE" (date, then fraction),
  /// exactly as an exchange sort does (which is not stable), in O(n log n).
  /// The current record stays current. Nothing without such a field.
  void SortByDate();

  // ---- Values of the current record --------------------------------------------------
  /// Name forms resolve the name with GetFieldIndex; an unknown name is an
  /// index out of range.
  ///
  /// The field's data in the current record; null without one or out of range.
  ///@{
  BYTE* GetFieldVaptr(int field);
  BYTE* GetFieldVaptr(const char* name) { return GetFieldVaptr(GetFieldIndex(name)); }
  ///@}
  /// The field's first value as float / 32-bit integer / date, without type
  /// check. Without a current record, out of range, or when the value would
  /// not lie inside the record: a process-wide scratch value.
  ///@{
  VdbFloat& Float(int field);
  VdbFloat& Float(const char* name) { return Float(GetFieldIndex(name)); }
  VdbLong& Long(int field);
  VdbLong& Long(const char* name) { return Long(GetFieldIndex(name)); }
  ///@}
  /// Note: the reference is to record bytes; at a field offset that is not a
  /// multiple of 4 it is under-aligned, which this platform's processors
  /// tolerate but sanitizers report.
  /// The field's first value as a date, as Float and Long.
  ///@{
  SDateTime& ValueDate(int field);
  SDateTime& ValueDate(const char* name) { return ValueDate(GetFieldIndex(name)); }
  ///@}
  /// The value as a variant of the field's type: numbers, dates, CHAR8/16 as
  /// their bytes (at most 16), CHAR as its byte, STRING as a text, BINARY as a
  /// copy of the field's bytes. False without a current record or out of range.
  ///@{
  bool GetFieldValue(int field, SVdbVariant& v);
  bool GetFieldValue(const char* name, SVdbVariant& v) { return GetFieldValue(GetFieldIndex(name), v); }
  ///@}
  /// Stores the variant when its type is the field's; the field's data is
  /// filled from the value (texts and blocks cut to the data size) and the
  /// rest zeroed. Nothing otherwise.
  ///@{
  void SetFieldValue(int field, const SVdbVariant& v);
  void SetFieldValue(const char* name, const SVdbVariant& v) { SetFieldValue(GetFieldIndex(name), v); }
  ///@}
  /// The first value as text: integers "%d", FLOAT and DOUBLE with
  /// `decimals` places (or "%g" when below 0) and empty for the null marker,
  /// texts up to the first zero, DATE as 2004-03-07 or 2004-03-7.5 (empty
  /// without a date). False, text empty, without a current record, out of
  /// range, or for BINARY.
  ///@{
  bool GetFieldValue(int field, CString& text, int decimals = -1);
  bool GetFieldValue(const char* name, CString& text, int decimals = -1) {
    return GetFieldValue(GetFieldIndex(name), text, decimals);
  }
  ///@}
  /// Stores the first value from text: numbers as atof reads them (null,
  /// empty or "*..." is the null marker, which integers take as 0), CHAR its
  /// first character, texts cut to the field, DATE through StringToDate.
  /// False without a current record or out of range.
  ///@{
  bool SetFieldValue(int field, const char* text);
  bool SetFieldValue(const char* name, const char* text) { return SetFieldValue(GetFieldIndex(name), text); }
  ///@}
  /// Whether the field holds no value in every record (all) or in the
  /// current one: 0 first byte for BOOL, BYTE, CHAR and texts, 0 for SHORT,
  /// LONG, DATAID, the null marker for FLOAT, DOUBLE, no date for DATE. True
  /// without records; false for BINARY or out of range.
  bool IsFieldEmpty(int field, bool all);

  // ---- Whole tables ----------------------------------------------------------------
  /// Deep copy: fields (offsets included), record size, every record's bytes
  /// and identifier, the last identifier and the name; then MoveToFirst. The
  /// field-set name and label are not copied.
  CVdbTable& operator=(const CVdbTable& other);
  /// Adds a Clone of each field of `other` not present here, growing the
  /// records. No records are copied.
  CVdbTable& operator+=(const CVdbTable& other);
  /// Moves `other`'s fields, records, last identifier and name here, in
  /// place of this table's own (destroyed); `other` is left without fields
  /// and records. MoveToFirst.
  CVdbTable& operator<<(CVdbTable& other);

  // ---- The binary table file ("TV10") ------------------------------------------------
  /// Writes the file at the file's position: "TV10", the keyword-map text of
  /// the name and the name as padded strings, the field set, the record
  /// count, the last identifier, then each record's identifier and data.
  bool Write(CFile& file);
  /// Reads one table file into a table without fields and records. False
  /// when the magic is not "TV10" (nothing changed), or when the file ends
  /// early or holds an impossible layout; what was read stays (a partly read
  /// record included). The cursor is not moved.
  bool Read(CFile& file);

  // ---- vdkit extensions ----------------------------------------------------------------
  /// The current record, or null; record i, or null out of range.
  ///@{
  SVdbRecord* GetRecord() const { return m_pRecord; }
  SVdbRecord* GetRecordAt(LONG i) const {
    return i >= 0 && i < GetRecordCount() ? m_arRecords[static_cast<size_t>(i)] : nullptr;
  }
  ///@}
  LONG GetCursor() const { return m_nCursor; }  ///< the cursor (see the file's description)
  /// Sets the current record's identifier (nothing without one). The last
  /// identifier rises to it when it is higher.
  void SetRecordID(DWORD id);
  /// Raises or sets the last identifier issued (for a copy of another
  /// table's records).
  void SetMaxID(DWORD id) { m_nMaxID = id; }
  /// The table set that made or holds the table (not owned), or null.
  ///@{
  CVdbTableSet* GetTableSet() const { return m_pTableSet; }
  void SetTableSet(CVdbTableSet* set) { m_pTableSet = set; }
  ///@}

 protected:
  /// A new record block of the current layout, not yet in the table: all
  /// zero, with the null marker in the first value of FLOAT and DOUBLE fields.
  /// Blocks come from the table's own allocator (records are packed in large
  /// chunks, so a million of them cost a handful of allocations): a block
  /// that does not end up in m_arRecords is given back with FreeRecord, and
  /// no block is ever freed any other way.
  SVdbRecord* NewRecord() const;
  /// An uninitialised block of record size + 8 bytes from the allocator.
  SVdbRecord* AllocRecord() const;
  void FreeRecord(SVdbRecord* r) const;  ///< gives back a block of NewRecord or AllocRecord
  /// Re-lays every record out for the current record size after fields were
  /// added; `oldSize` is the record size before.
  void ResizeRecord(int oldSize);
  /// Drops the identifier index. Every change of the record list or of an
  /// identifier calls it, a derived class's direct changes included.
  void RecordsChanged() {
    m_idIndexValid = false;
    m_idLookups = 0;
  }

  VdbRecordList m_arRecords;            ///< the records in table order
  SVdbRecord* m_pRecord = nullptr;      ///< the current record, or null
  LONG m_nCursor = 0;                   ///< the cursor
  CVdbFieldSet m_FieldSet;              ///< the fields
  CVdbTableSet* m_pTableSet = nullptr;  ///< the owning table set, or null
  DWORD m_nMaxID = 0;                   ///< the last identifier issued

 private:
  /// The field's data in record r and its data size, or null when `field` is
  /// out of range or r is null. A layout edited from outside still never
  /// reaches past the record.
  BYTE* FieldData(const SVdbRecord* r, const SVdbField* f, int* size) const {
    if (!r || !f) return nullptr;
    const LONG rs = m_FieldSet.m_nRecordSize;
    const LONG offset = f->m_nOffset < 0 ? 0 : f->m_nOffset > rs ? rs : f->m_nOffset;
    const int dataSize = f->GetDataSize();
    *size = dataSize < rs - offset ? dataSize : rs - offset;
    return const_cast<BYTE*>(r->GetData()) + offset;
  }
  BYTE* FieldData(const SVdbRecord* r, int field, int* size) const {
    return FieldData(r, m_FieldSet.GetAt(field), size);
  }
  /// The field's data in the current record when `width` bytes from there lie
  /// inside the record; else null.
  BYTE* ValuePtr(int field, int width) const {
    const SVdbField* f = m_FieldSet.GetAt(field);
    if (!m_pRecord || !f || f->m_nOffset < 0 || f->m_nOffset > m_FieldSet.m_nRecordSize - width)
      return nullptr;
    return m_pRecord->GetData() + f->m_nOffset;
  }
  bool SearchFrom(LONG start, int field, const BYTE* image, size_t n);
  void ReadXml(CXmlArchive& ar);
  void WriteXml(CXmlArchive& ar);

  std::unique_ptr<detail::RecordArena> m_arena;

  /// Identifier index, built on demand for repeated LocatOn(id) calls.
  struct IdEntry {
    DWORD id;
    LONG index;
    const SVdbRecord* record;
  };
  std::vector<IdEntry> m_idIndex;
  bool m_idIndexValid = false;
  int m_idLookups = 0;
};
