/// @file
/// CVdbTableSet: a small database. A file object whose children are its
/// tables, with a list of named field sets (table definitions) to create
/// tables from and a list of relations that tell a selection how to look up a
/// column in another table. It creates, drops, renames and alters tables,
/// selects columns of one table - with looked-up columns of related tables -
/// into a CVdbTableView, and writes and reads all of it as one binary stream.
///
/// ```
/// CVdbTableSet db;
/// CVdbFieldSet* def = db.CreateFieldSet("Well", "Wells");
/// def->AddField("ID:LONG", 0, 1);
/// def->AddField("Depth:FLOAT", 0, 1);
/// CVdbTable* wells = db.CreateTable("Wells", "Well");
/// db.AddRelation("WellID", "Wells.ID");      // Samples.WellID -> Wells.ID
/// CVdbTableView view;
/// db.Select(&view, "Samples", "DATE,T,Wells.Depth", nullptr);
/// db.WriteTables(file);
/// ```
///
/// Ownership: the set owns its tables (as its children in the file-object
/// tree), its field sets and its relations; the destructor drops them all.
/// Tables created, read or moved here record the set as their owner
/// (m_pTableSet). Dropping a table invalidates pointers to it; the field-set
/// and relation pointers stay valid until DropAll, ReadTables or a move.
///
/// Failure: CreateTable gives null (after a message box for an unknown
/// definition); ReadTables gives false for a damaged stream and keeps what it
/// read completely; everything else ignores missing tables and fields.
///
/// ---- Binary stream (WriteTables) ----------------------------------------------
/// 32-bit little-endian integers, padded strings (see padded_string.h), no
/// alignment:
///
/// ```
/// table count T      int32
/// T tables           each table's binary table file ("TV10" ...), in child
///                    order
/// field-set count F  int32
/// F field sets       each field set's binary form, in list order
/// relation count R   int32
/// R relations        three padded strings each: key field, table, related
///                    key field
/// ```
#pragma once

#include <vector>

#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vdfile.h"

class CVdbTableView;

/// How a selection looks up a column "Table.Field": the source record's value
/// of m_strKeyField is searched in m_strRelatedKeyField of table m_strTable.
struct VDKIT_API SVdbRelation {
  CString m_strKeyField;         ///< in the table selected from
  CString m_strTable;            ///< the related table
  CString m_strRelatedKeyField;  ///< in the related table
};

/// Registered as "CVdbTableSet". Both Serialize operations are CVDFile's: in
/// an XML archive the tables travel as children, each with its own body;
/// field sets and relations travel only in the stream of WriteTables.
class VDKIT_API CVdbTableSet : public CVDFile {
  DECLARE_VDFILE(CVdbTableSet)

 public:
  /// An empty set: no tables, definitions or relations.
  CVdbTableSet();
  CVdbTableSet(const CVdbTableSet&) = delete;
  CVdbTableSet& operator=(const CVdbTableSet&) = delete;
  /// DropAll.
  ~CVdbTableSet() override;

  // ---- Definitions ---------------------------------------------------------------
  /// Creates a table named `name` from definition `def` and adds it as a
  /// child. An existing table of that name is returned as it is. With a null
  /// or empty `def` the table has no fields. An unknown definition shows the
  /// message box (string resource 10000 followed by the definition's name) and
  /// gives null; so does a name held by a child that is not a table, and an
  /// addition that OnCreateFile refuses.
  virtual CVdbTable* CreateTable(const char* name, const char* def);
  virtual CVdbFieldSet* GetFieldSet(int i);             ///< null out of range
  virtual CVdbFieldSet* GetFieldSet(const char* name);  ///< the first of that name
  virtual int GetFieldSetCount();                       ///< the number of definitions
  /// Appends a new empty field set (label only when not null); a set of the
  /// same name may exist already, and lookups then find the older one.
  CVdbFieldSet* CreateFieldSet(const char* name, const char* label);

  // ---- Tables ----------------------------------------------------------------------
  /// The child of that name (ASCII case ignored), or by index; null when
  /// absent or when that child is not a table.
  ///@{
  CVdbTable* GetTable(const char* name);
  CVdbTable* GetTable(int i);
  ///@}
  int GetTableCount() { return GetFileCount(); }  ///< the number of children
  /// Always -1.
  int FindTable(const char*, int) { return -1; }

  /// Deletes the table of that name (nothing when absent).
  void DropTable(const char* name);
  /// Deletes all tables; definitions and relations stay.
  void DropTableAll();
  /// Deletes all tables, field sets and relations.
  void DropAll();
  void RenameTable(const char* oldName, const char* newName);  ///< renames the table when it exists
  /// Adds the field `def` to the table when it has none of that name (records
  /// grow), then copies every member of `def` but the offset into the table's
  /// field. When that changes the field's data size, the layout is recomputed
  /// and every record keeps its values: those of the altered field are cut or
  /// extended (extensions start as in a new record) when only the count
  /// changed, and start afresh (null marker or zero) when the type changed.
  void AlterTable(const char* table, const SVdbField* def);

  // ---- Relations -------------------------------------------------------------------
  /// Appends the relation (keyField, T, F) from the text "T.F" (both trimmed of
  /// blanks); without a '.' past the first character the related key field is
  /// empty and the whole text names the table.
  void AddRelation(const char* keyField, const char* tableDotField);
  /// The first relation to `table` (ASCII case ignored); false when none.
  bool GetRelation(const char* table, CString& keyField, CString& relatedKeyField) const;
  /// The number of relations.
  int GetRelationCount() const { return static_cast<int>(m_arRelations.size()); }
  const SVdbRelation* GetRelationAt(int i) const;  ///< relation i; null out of range

  // ---- Selection -------------------------------------------------------------------
  /// Appends to `out` (not emptied): with a table and a null list or one that
  /// holds '*', the names of all its fields; then the comma-separated pieces
  /// of `list` as they stand (blanks are part of a piece, empty pieces are
  /// skipped, '*' is kept).
  void SpliteFields(const char* list, CStringArray& out, const char* table);
  /// Empties the view, names it `table` and makes this set its owner; then,
  /// for each column of `list` (see SpliteFields) that names a field of the
  /// table, or "T.F" with a relation to T whose key fields exist, appends a
  /// view field (a copy of the field, its source text the column; a column
  /// given twice gives two fields of one name) and fills one view record per
  /// source record, with the source identifiers. A looked-up value comes from
  /// the first record of T whose related key equals the source record's key;
  /// without a match it keeps the initial value (null marker or zero).
  /// Columns that name nothing are skipped; the fourth argument is ignored.
  /// The tables' cursors are not moved.
  void Select(CVdbTableView* view, const char* table, const char* list, const char* unused);

  /// Move: drops everything here, then takes over the other set's tables,
  /// field sets and relations (the same objects, in order), leaving it without
  /// any. Children of the other set that are not tables stay there.
  CVdbTableSet& operator<<(CVdbTableSet& other);

  // ---- Stream ---------------------------------------------------------------------------
  /// Writes the stream at the file's position; true. File errors throw.
  bool WriteTables(CFile& file);
  /// DropAll, then reads the stream at the file's position. False when the
  /// stream ends early or holds a negative or impossible count, or a table,
  /// field set or relation that does not read completely (that one is
  /// discarded); what was read before it stays.
  bool ReadTables(CFile& file);

 private:
  std::vector<CVdbFieldSet*> m_arFieldSets;  ///< owned
  std::vector<SVdbRelation*> m_arRelations;  ///< owned
};
