/// @file
/// Fields and field sets of the table database. SVdbField describes one
/// column (name, type and count, display attributes, limits); CVdbFieldSet is
/// the ordered list of fields that fixes a table's record layout: each field's
/// byte offset in a record and the record size.
///
/// ```
/// CVdbFieldSet fs;
/// fs.AddField("Depth:DOUBLE*3", 0, 1);     // DOUBLE x 3 at offset 0
/// fs.AddField("T", VDB_LONG, 1);           // LONG at offset 24
/// fs.m_nRecordSize;                        // 28
/// SVdbField* f = fs.GetField("depth");     // names ignore ASCII case
/// ```
///
/// Layout: fields are packed in list order without padding; a field's offset
/// is the sum of the data sizes before it, and the record size is the sum of
/// all of them (kept below kVdbMaxRecordSize).
///
/// Ownership: the set owns its fields and destroys them in ResetContent and
/// in its destructor; AddField(SVdbField*) adopts a caller's field only when
/// it returns true. RemoveAt and RemoveAll only take entries out of the list
/// (their fields then belong to the caller) and leave offsets and the record
/// size as they were. Copies of a set are deep.
///
/// Failure: the binary readers return false when the file ends inside what
/// they read or the layout would exceed kVdbMaxRecordSize; what was read
/// completely stays. A CFile may throw CFileException on system errors.
#pragma once

#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"
#include "vdkit/vdb/field_value.h"

class CXmlArchive;

/// Largest record size a field set accepts, leaving room for the eight bytes
/// of flags and identifier in front of each record.
constexpr LONG kVdbMaxRecordSize = 0x7FFFFFFF - 64;

/// One column of a table: name, type and count, display attributes and limits.
struct VDKIT_API SVdbField {
  CString m_strName;              ///< lookups ignore ASCII case; set through SetName
  CString m_strAlias;             ///< display label; XML attribute "a"
  CString m_strUnit;              ///< unit of measure; XML attribute "unit"
  BYTE m_nType = VDB_FLOAT;       ///< type code (VDB_FLOAT unless set)
  LONG m_nCount = 1;              ///< values of the type in the field
  CString m_strSource;            ///< the column text a table-set selection made it from
  CString m_strValue;             ///< value text; XML attribute "value"
  CString m_strExtra1;            ///< carried in the binary form and copies only
  CString m_strExtra2;            ///< carried in the binary form and copies only
  BYTE m_nEdit = 0;               ///< edit mode; XML attribute "edit"
  BYTE m_nFlag = 0;               ///< carried in the binary form and copies only
  CString m_strOptions;           ///< option texts, one per line
  float m_fMin = VDB_NULL_FLOAT;  ///< limits; the null marker when not set
  float m_fMax = VDB_NULL_FLOAT;  ///< upper limit; the null marker when not set
  LONG m_nOffset = 0;             ///< byte offset in a record's data, set by the field set
  DWORD m_nHash = 0;              ///< MapHashKey of the name

  SVdbField() = default;
  SVdbField(const SVdbField&) = default;             ///< every member, offset and hash included
  SVdbField& operator=(const SVdbField&) = default;  ///< every member, offset and hash included
  ~SVdbField() = default;

  const char* GetName() const { return m_strName; }  ///< the name
  /// Sets the name and its hash.
  void SetName(const char* name);
  bool Is(int type) const { return m_nType == type; }  ///< whether the type code is `type`
  /// count x unit size of the type; 0 for an unknown type or a count below 0.
  int GetDataSize() const {
    const LONGLONG size = static_cast<LONGLONG>(m_nCount) * GetVdbUnitSize(m_nType);
    return size <= 0 ? 0 : size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  }
  /// A new field equal in every member; the caller owns it.
  SVdbField* Clone() const { return new SVdbField(*this); }

  /// The binary form: padded strings alias, name; type byte; 32-bit count;
  /// padded strings source, value, extra 1, extra 2; edit and flag bytes;
  /// padded string options; 32-bit floats min and max; little-endian. Offset
  /// and hash are not stored. Read returns false when the file ends early,
  /// leaving the members read so far.
  ///@{
  bool Write(CFile& file) const;
  bool Read(CFile& file);
  ///@}
  /// Writes or reads the XML element of the field, by the archive's direction.
  bool Serialize(CXmlArchive& ar);
};

/// The ordered fields that fix a table's record layout; owns its fields.
class VDKIT_API CVdbFieldSet {
 public:
  CString m_strName;       ///< the set's name
  CString m_strLabel;      ///< display label; XML attribute "a"
  LONG m_nRecordSize = 0;  ///< sum of the fields' data sizes

  CVdbFieldSet() = default;
  /// Deep: every field is cloned; name, label and record size are copied.
  ///@{
  CVdbFieldSet(const CVdbFieldSet& other);
  CVdbFieldSet& operator=(const CVdbFieldSet& other);
  ///@}
  /// ResetContent, then the list itself.
  virtual ~CVdbFieldSet();

  // ---- The list -----------------------------------------------------------
  /// The number of fields.
  ///@{
  int GetSize() const { return static_cast<int>(m_fields.size()); }
  int GetCount() const { return GetSize(); }
  ///@}
  /// Null for an index out of range.
  SVdbField* GetAt(int i) const {
    return i >= 0 && i < GetSize() ? m_fields[static_cast<size_t>(i)] : nullptr;
  }
  SVdbField* operator[](int i) const { return GetAt(i); }  ///< GetAt
  /// Takes entry i out of the list (later ones move down); the field is not
  /// destroyed and offsets stay. An index out of range is ignored.
  virtual void RemoveAt(int i);
  /// Empties the list and frees its storage, not the fields.
  virtual void RemoveAll();

  /// Name and label.
  ///@{
  const char* GetName() const { return m_strName; }
  void SetName(const char* name) { m_strName = name; }
  const char* GetLabel() const { return m_strLabel; }
  void SetLabel(const char* label) { m_strLabel = label; }
  ///@}
  int GetRecordSize() const { return m_nRecordSize; }  ///< the record size in bytes

  /// Destroys every field and empties the list; name, label and record size
  /// stay as they are.
  void ResetContent();

  /// The first field of that name (ASCII case ignored), or null.
  SVdbField* GetField(const char* name) const;
  /// Its index, -1 when absent.
  int GetFieldIndex(const char* name) const;
  /// The index of that very pointer, -1 when absent.
  int GetFieldIndex(const SVdbField* field) const;

  /// Adds a field from a name and type, or, with type 0, from a definition
  /// "name[:TYPE][*count]" (an unknown TYPE leaves FLOAT; no '*' takes
  /// `count`). A count below 1 becomes 1. Returns the new field, or the
  /// existing field of that name (the set unchanged), or null when the record
  /// size would exceed kVdbMaxRecordSize.
  SVdbField* AddField(const char* text, int type, int count);
  /// Appends a field the caller allocated, at the end of the layout. True when
  /// the set took ownership; false (the caller keeps it) when a field of that
  /// name exists or the record size would exceed kVdbMaxRecordSize.
  bool AddField(SVdbField* field);
  /// Appends a field the caller allocated as it stands: its offset is kept,
  /// names are not checked and the record size is left to the caller (who
  /// copies a layout field by field). The set takes ownership.
  void AppendField(SVdbField* field) { m_fields.push_back(field); }

  /// Binary form: padded strings name and label, 32-bit field count, each
  /// field. Read appends to what the set holds (it is meant for empty sets),
  /// without the duplicate check, and recomputes offsets and record size.
  /// It returns false, keeping the fields read completely, when the file ends
  /// early or the layout would exceed kVdbMaxRecordSize.
  ///@{
  bool Write(CFile& file) const;
  bool Read(CFile& file);
  ///@}
  /// Writes or reads the XML element of the set, by the archive's direction.
  bool Serialize(CXmlArchive& ar);

 protected:
  /// Recomputes every field's hash from its name.
  void MapFieldIndex();
  /// The upper-case type table: "DOUBLE" -> VDB_DOUBLE; 0 when unknown.
  static int GetDataType(const char* name) { return GetVdbUpperTypeCode(name); }

 private:
  /// Appends without the duplicate check, at the end of the layout; false
  /// (nothing taken) when the record size would exceed the limit.
  bool Append(SVdbField* field);

  std::vector<SVdbField*> m_fields;
};
