#include "vdkit/vdb/table_set.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "vdkit/core/text.h"
#include "vdkit/platform/resources.h"
#include "vdkit/vdb/set_stream_internal.h"
#include "vdkit/vdb/table_view.h"

IMPLEMENT_VDFILE(CVdbTableSet, CVDFile)

namespace {

// The smallest table file: "TV10", two empty padded strings, a field set
// with empty name and label and no fields, record count and last identifier.
constexpr ULONGLONG kMinTableBytes = 4 + 4 + 4 + 12 + 4 + 4;
// The smallest field set: empty name and label, field count.
constexpr ULONGLONG kMinFieldSetBytes = 12;
// The smallest relation: three empty padded strings.
constexpr ULONGLONG kMinRelationBytes = 12;

// Types whose variant transfer (GetFieldValue, then SetFieldValue into a
// field of the same type and size) gives back the field's bytes unchanged,
// as long as they fit the variant's 16-byte area; BINARY blocks too, at any
// size. For these a selection copies bytes; for the others (STRING, CHAR,
// longer fields) it goes through a variant.
bool CopiesAsBytes(const SVdbField* f) {
  switch (f->m_nType) {
    case VDB_BOOL:
    case VDB_BYTE:
    case VDB_SHORT:
    case VDB_LONG:
    case VDB_FLOAT:
    case VDB_DATAID:
    case VDB_DOUBLE:
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_DATE:
      return f->GetDataSize() <= static_cast<int>(SVdbVariant::kAreaSize);
    case VDB_BINARY:
      return true;
    default:
      return false;
  }
}

// Whether a field lies inside its table's records, as the table's own layout
// keeps it; a layout edited from outside may not, and is then left to the
// table's accessors, which never reach past a record.
bool InsideRecord(const CVdbTable& table, const SVdbField* f) {
  return f->m_nOffset >= 0 &&
         static_cast<LONGLONG>(f->m_nOffset) + f->GetDataSize() <= table.GetFieldSet()->m_nRecordSize;
}

// Reads values of any record of a table through the table's own variant
// transfer, without moving that table's cursor: the record's bytes are
// copied into a one-record table of the same layout.
//
// The copy is made on first use, once a record exists to be read: a layout
// alone, however large, costs nothing.
class RecordReader {
 public:
  explicit RecordReader(const CVdbTable& table) : m_table(table) {}
  bool Get(LONG record, int field, SVdbVariant& v) {
    const SVdbRecord* r = m_table.GetRecordAt(record);
    return r && Get(*r, field, v);
  }
  // The same for a record of the table given by its block.
  bool Get(const SVdbRecord& r, int field, SVdbVariant& v) {
    if (m_copy.GetRecordCount() == 0) {
      *m_copy.GetFieldSet() = *m_table.GetFieldSet();
      m_copy.AddNew();
    }
    std::memcpy(m_copy.GetRecord()->GetData(), r.GetData(),
                static_cast<size_t>(m_table.GetFieldSet()->m_nRecordSize));
    return m_copy.GetFieldValue(field, v);
  }

 private:
  const CVdbTable& m_table;
  CVdbTable m_copy;
};

// The first record of a table holding each value of one field: the answer
// LocatOn(field, value) gives, found by hashing instead of a scan.
class FirstMatchIndex {
 public:
  FirstMatchIndex(const CVdbTable& table, int field) : m_field(*table.GetField(field)) {
    m_size = static_cast<size_t>(FieldSize(table, field));
    const LONG n = table.GetRecordCount();
    if (m_size <= sizeof(uint64_t)) {
      size_t capacity = 16;
      while (capacity < 2 * static_cast<size_t>(n)) capacity *= 2;
      m_slots.assign(capacity, Slot{0, -1});
      m_mask = capacity - 1;
    } else {
      m_first.reserve(static_cast<size_t>(n));
    }
    for (LONG i = 0; i < n; ++i) Insert(table.GetRecordAt(i)->GetData() + m_offset, i);  // keeps the first
    m_empty = n == 0;
  }
  // The record whose field equals the value, or -1. A value of another type
  // never matches.
  LONG Find(const SVdbVariant& v) {
    if (v.GetType() != m_field.m_nType || m_empty) return -1;
    if (m_image.GetRecordCount() == 0) {
      // The image of a value as SetFieldValue would store it in this field;
      // made once there are records to match, so no larger than one of them.
      SVdbField* f = m_field.Clone();
      f->m_nOffset = 0;
      m_image.GetFieldSet()->AppendField(f);
      m_image.GetFieldSet()->m_nRecordSize = static_cast<LONG>(m_size);
      m_image.AddNew();
    }
    BYTE* image = m_image.GetRecord()->GetData();
    std::memset(image, 0, m_size);
    if (m_size > 0) m_image.SetFieldValue(0, v);  // an empty image has nothing to set
    return Find(image);
  }
  // Starts fetching the slot where Find(image) will look.
  void Prefetch(const BYTE* image) const {
    if (!m_slots.empty()) __builtin_prefetch(&m_slots[Hash(Key(image)) & m_mask]);
  }
  // The same for a field image of m_size bytes.
  LONG Find(const BYTE* image) const {
    if (!m_slots.empty()) {
      const uint64_t key = Key(image);
      for (size_t i = Hash(key) & m_mask;; i = (i + 1) & m_mask) {
        const Slot& slot = m_slots[i];
        if (slot.index < 0) return -1;
        if (slot.key == key) return slot.index;
      }
    }
    const auto it = m_first.find(std::string(reinterpret_cast<const char*>(image), m_size));
    return it == m_first.end() ? -1 : it->second;
  }

 private:
  // Keys of up to eight bytes live in one open-addressed array, so that a
  // lookup costs about one cache miss; longer keys go to a node map.
  struct Slot {
    uint64_t key;
    LONG index;  // -1: empty
  };

  uint64_t Key(const BYTE* p) const {
    uint64_t key = 0;
    std::memcpy(&key, p, m_size);
    return key;
  }
  static size_t Hash(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<size_t>(x);
  }
  void Insert(const BYTE* p, LONG index) {
    if (m_slots.empty()) {
      m_first.emplace(std::string(reinterpret_cast<const char*>(p), m_size), index);
      return;
    }
    const uint64_t key = Key(p);
    for (size_t i = Hash(key) & m_mask;; i = (i + 1) & m_mask) {
      Slot& slot = m_slots[i];
      if (slot.index < 0) {
        slot = Slot{key, index};
        return;
      }
      if (slot.key == key) return;
    }
  }
  // What the table compares: the field's data size, kept inside the record.
  int FieldSize(const CVdbTable& table, int field) {
    const LONG rs = table.GetFieldSet()->m_nRecordSize;
    const SVdbField* f = table.GetField(field);
    m_offset = std::min(std::max<LONG>(f->m_nOffset, 0), rs);
    return static_cast<int>(std::min<LONGLONG>(f->GetDataSize(), rs - m_offset));
  }

  SVdbField m_field;
  LONG m_offset = 0;
  size_t m_size = 0;
  std::vector<Slot> m_slots;
  size_t m_mask = 0;
  std::unordered_map<std::string, LONG> m_first;
  bool m_empty = true;
  CVdbTable m_image;
};

}  // namespace

CVdbTableSet::CVdbTableSet() = default;

CVdbTableSet::~CVdbTableSet() {
  DropAll();
}

// ---- Definitions ------------------------------------------------------------------

CVdbFieldSet* CVdbTableSet::CreateFieldSet(const char* name, const char* label) {
  auto* fs = new CVdbFieldSet;
  fs->SetName(name);
  if (label) fs->SetLabel(label);
  m_arFieldSets.push_back(fs);
  return fs;
}

CVdbFieldSet* CVdbTableSet::GetFieldSet(int i) {
  return i >= 0 && i < static_cast<int>(m_arFieldSets.size()) ? m_arFieldSets[static_cast<size_t>(i)]
                                                              : nullptr;
}

CVdbFieldSet* CVdbTableSet::GetFieldSet(const char* name) {
  if (!name) return nullptr;
  for (CVdbFieldSet* fs : m_arFieldSets)
    if (strcasecmp(fs->GetName(), name) == 0) return fs;
  return nullptr;
}

int CVdbTableSet::GetFieldSetCount() {
  return static_cast<int>(m_arFieldSets.size());
}

CVdbTable* CVdbTableSet::CreateTable(const char* name, const char* def) {
  if (CVDFile* existing = FindFile(name)) {
    // A child of that name that is not a table cannot be given a twin.
    return existing->IsKindOf(CVdbTable::classCVdbTable) ? static_cast<CVdbTable*>(existing) : nullptr;
  }
  CVdbFieldSet* fs = nullptr;
  if (def && *def) {
    fs = GetFieldSet(def);
    if (!fs) {
      CString text;
      text.LoadString(IDS_VDB_NO_TABLE_DEFINITION);
      text += def;
      AfxMessageBox(text);
      return nullptr;
    }
  }
  auto* table = new CVdbTable;
  table->SetName(name);
  if (!AddNewFile(table)) return nullptr;  // refused: AddNewFile destroyed it
  table->SetTableSet(this);
  if (fs) table->SetFieldSet(fs);
  return table;
}

// ---- Tables --------------------------------------------------------------------------

CVdbTable* CVdbTableSet::GetTable(const char* name) {
  CVDFile* f = FindFile(name);
  return f && f->IsKindOf(CVdbTable::classCVdbTable) ? static_cast<CVdbTable*>(f) : nullptr;
}

CVdbTable* CVdbTableSet::GetTable(int i) {
  CVDFile* f = GetFileAt(i);
  return f && f->IsKindOf(CVdbTable::classCVdbTable) ? static_cast<CVdbTable*>(f) : nullptr;
}

void CVdbTableSet::DropTable(const char* name) {
  if (GetTable(name)) DeleteFileA(name);
}

void CVdbTableSet::DropTableAll() {
  DeleteAllFiles();
}

void CVdbTableSet::DropAll() {
  DeleteAllFiles();
  for (CVdbFieldSet* fs : m_arFieldSets) delete fs;
  m_arFieldSets.clear();
  for (SVdbRelation* r : m_arRelations) delete r;
  m_arRelations.clear();
}

void CVdbTableSet::RenameTable(const char* oldName, const char* newName) {
  if (CVdbTable* t = GetTable(oldName)) t->SetName(newName);
}

void CVdbTableSet::AlterTable(const char* tableName, const SVdbField* def) {
  CVdbTable* t = GetTable(tableName);
  if (!t || !def) return;
  SVdbField* f = t->GetField(def->GetName());
  if (!f) f = t->AddField(def->GetName(), def->m_nType, def->m_nCount);
  if (!f) return;  // the record would grow past its limit

  SVdbField altered(*def);
  altered.m_nOffset = f->m_nOffset;
  if (altered.m_nCount < 1) altered.m_nCount = 1;  // as AddField has it
  const int oldSize = f->GetDataSize(), newSize = altered.GetDataSize();
  const bool typeChanged = altered.m_nType != f->m_nType;
  if (oldSize == newSize && !typeChanged) {
    *f = altered;
    return;
  }

  // The data size or the meaning of the bytes changes: lay the fields out
  // afresh and carry every record over, so records and layout stay in step.
  CVdbFieldSet* fs = t->GetFieldSet();
  const int k = fs->GetFieldIndex(f);
  const int nFields = fs->GetSize();
  const LONG oldRecordSize = fs->m_nRecordSize;
  std::vector<LONG> oldOffset(static_cast<size_t>(nFields)), newOffset(static_cast<size_t>(nFields));
  std::vector<int> size(static_cast<size_t>(nFields));
  LONGLONG running = 0;
  for (int i = 0; i < nFields; ++i) {
    const SVdbField* fi = fs->GetAt(i);
    oldOffset[static_cast<size_t>(i)] = fi->m_nOffset;
    size[static_cast<size_t>(i)] = i == k ? newSize : fi->GetDataSize();
    newOffset[static_cast<size_t>(i)] = static_cast<LONG>(running);
    running += size[static_cast<size_t>(i)];
  }
  if (running > kVdbMaxRecordSize) return;  // left as it was
  const LONG newRecordSize = static_cast<LONG>(running);

  const LONG nRecords = t->GetRecordCount();
  if (nRecords > 0 && newRecordSize > oldRecordSize) {
    // Grow every record block by the difference: the table re-lays its
    // records out when a field is added, so a filler field at the end does
    // it, and is then taken out again.
    auto* filler = new SVdbField;
    filler->SetName("\x01vdkit-alter-filler");
    filler->m_nType = VDB_BINARY;
    filler->m_nCount = newRecordSize - oldRecordSize;
    if (!t->AddField(filler)) {
      delete filler;
      return;
    }
    fs->RemoveAt(fs->GetFieldIndex(filler));
    delete filler;
  }

  // The new layout's initial record: zero, null markers in the first value
  // of FLOAT and DOUBLE fields.
  *f = altered;
  std::vector<BYTE> fresh(static_cast<size_t>(newRecordSize), 0);
  for (int i = 0; i < nFields; ++i) {
    const SVdbField* fi = fs->GetAt(i);
    BYTE* p = fresh.data() + newOffset[static_cast<size_t>(i)];
    if (fi->m_nType == VDB_FLOAT && size[static_cast<size_t>(i)] >= 4) std::memcpy(p, &VDB_NULL_FLOAT, 4);
    if (fi->m_nType == VDB_DOUBLE && size[static_cast<size_t>(i)] >= 8) std::memcpy(p, &VDB_NULL_DOUBLE, 8);
  }
  std::vector<BYTE> old(static_cast<size_t>(oldRecordSize));
  for (LONG r = 0; r < nRecords; ++r) {
    BYTE* data = t->GetRecordAt(r)->GetData();
    std::memcpy(old.data(), data, old.size());
    std::memcpy(data, fresh.data(), fresh.size());
    for (int i = 0; i < nFields; ++i) {
      const size_t ii = static_cast<size_t>(i);
      size_t n = static_cast<size_t>(size[ii]);
      if (i == k) {
        if (typeChanged) continue;  // the old bytes meant something else
        n = static_cast<size_t>(std::min(oldSize, newSize));
      }
      // A layout edited from outside must not take the copy past a record.
      if (oldOffset[ii] < 0 || oldOffset[ii] + static_cast<LONGLONG>(n) > oldRecordSize) continue;
      std::memcpy(data + newOffset[ii], old.data() + oldOffset[ii], n);
    }
  }
  for (int i = 0; i < nFields; ++i) fs->GetAt(i)->m_nOffset = newOffset[static_cast<size_t>(i)];
  fs->m_nRecordSize = newRecordSize;
}

// ---- Relations ------------------------------------------------------------------------

void CVdbTableSet::AddRelation(const char* keyField, const char* tableDotField) {
  auto* r = new SVdbRelation;
  r->m_strKeyField = keyField;
  r->m_strTable = tableDotField;
  const int dot = r->m_strTable.Find('.');
  if (dot > 0) {
    r->m_strRelatedKeyField = r->m_strTable.Mid(dot + 1);
    r->m_strTable = r->m_strTable.Left(dot);
    r->m_strTable.Trim();
    r->m_strRelatedKeyField.Trim();
  }
  m_arRelations.push_back(r);
}

bool CVdbTableSet::GetRelation(const char* table, CString& keyField, CString& relatedKeyField) const {
  if (!table) return false;
  for (const SVdbRelation* r : m_arRelations) {
    if (strcasecmp(r->m_strTable, table) == 0) {
      keyField = r->m_strKeyField;
      relatedKeyField = r->m_strRelatedKeyField;
      return true;
    }
  }
  return false;
}

const SVdbRelation* CVdbTableSet::GetRelationAt(int i) const {
  return i >= 0 && i < static_cast<int>(m_arRelations.size()) ? m_arRelations[static_cast<size_t>(i)]
                                                              : nullptr;
}

// ---- Selection -------------------------------------------------------------------------

void CVdbTableSet::SpliteFields(const char* list, CStringArray& out, const char* table) {
  if (table && (!list || std::strchr(list, '*'))) {
    if (CVdbTable* t = GetTable(table)) {
      for (int i = 0; i < t->GetFieldCount(); ++i) out.Add(t->GetField(static_cast<short>(i))->GetName());
    }
  }
  if (!list) return;
  std::string copy(list);
  cstrtok tok(&copy[0], ",");
  for (char* piece = tok.next(); piece; piece = tok.next()) out.Add(piece);
}

void CVdbTableSet::Select(CVdbTableView* view, const char* table, const char* list, const char*) {
  if (!view) return;
  view->ResetContent();
  view->SetName(table);
  view->SetTableSet(this);
  CVdbTable* src = GetTable(table);
  if (!src) return;
  CStringArray columns;
  SpliteFields(list, columns, table);

  // A looked-up column reads field `field` of the record of `related` whose
  // related key matches the source record's key; columns through one
  // relation share one search per record.
  struct Lookup {
    CVdbTable* related;
    int relatedKey;
    int key;
    std::unique_ptr<FirstMatchIndex> index;
    std::unique_ptr<RecordReader> reader;
    bool bytesKey;  // the key's bytes are its image in the related field
  };
  struct Column {
    int field;   // in the source table, or in the related table
    int lookup;  // -1 for a plain column
    int viewField;
    bool bytes;
  };
  std::vector<Lookup> lookups;
  std::vector<Column> plan;
  CVdbFieldSet* vfs = view->GetFieldSet();
  // Emptying a field set keeps its record size; the new layout starts at 0,
  // or records would be sized (and written) for the previous selection.
  vfs->m_nRecordSize = 0;
  for (const CString& c : columns) {
    const SVdbField* from = nullptr;
    Column col{-1, -1, -1, false};
    if (const int i = src->GetFieldIndex(c); i >= 0) {
      from = src->GetField(i);
      col.field = i;
    } else {
      const int dot = c.Find('.');
      if (dot < 0) continue;
      const CString tableName = c.Left(dot), fieldName = c.Mid(dot + 1);
      CString keyField, relatedKeyField;
      if (!GetRelation(tableName, keyField, relatedKeyField)) continue;
      CVdbTable* related = GetTable(tableName);
      if (!related) continue;
      const int f = related->GetFieldIndex(fieldName), rk = related->GetFieldIndex(relatedKeyField),
                k = src->GetFieldIndex(keyField);
      if (f < 0 || rk < 0 || k < 0) continue;
      from = related->GetField(f);
      col.field = f;
      for (size_t j = 0; j < lookups.size(); ++j)
        if (lookups[j].related == related && lookups[j].relatedKey == rk && lookups[j].key == k)
          col.lookup = static_cast<int>(j);
      if (col.lookup < 0) {
        const SVdbField* keyDef = src->GetField(k);
        const SVdbField* relDef = related->GetField(rk);
        lookups.push_back({related, rk, k, nullptr, nullptr,
                           keyDef->m_nType == relDef->m_nType && CopiesAsBytes(keyDef) &&
                               keyDef->m_nType != VDB_BINARY &&
                               keyDef->GetDataSize() == relDef->GetDataSize() && InsideRecord(*src, keyDef) &&
                               InsideRecord(*related, relDef)});
        col.lookup = static_cast<int>(lookups.size() - 1);
      }
    }
    // Fields are laid out one after the other, as the layout rule has it,
    // without the duplicate check: a column given twice appears twice.
    const LONGLONG size = from->GetDataSize();
    if (vfs->m_nRecordSize + size > kVdbMaxRecordSize) continue;
    SVdbField* vf = from->Clone();
    vf->m_strSource = c;
    vf->m_nOffset = vfs->m_nRecordSize;
    vfs->AppendField(vf);
    vfs->m_nRecordSize += static_cast<LONG>(size);
    col.viewField = vfs->GetSize() - 1;
    col.bytes =
        CopiesAsBytes(from) &&
        InsideRecord(col.lookup >= 0 ? *lookups[static_cast<size_t>(col.lookup)].related : *src, from);
    plan.push_back(col);
  }
  for (Lookup& l : lookups) {
    l.index.reset(new FirstMatchIndex(*l.related, l.relatedKey));
    l.reader.reset(new RecordReader(*l.related));
  }

  RecordReader srcReader(*src);
  SVdbVariant v;
  // Where each byte-copied column and each key lies, looked up once.
  struct Placement {
    LONG from, to;
    size_t size;
  };
  std::vector<Placement> place;
  for (const Column& col : plan) {
    const CVdbTable* fromTable = col.lookup >= 0 ? lookups[static_cast<size_t>(col.lookup)].related : src;
    const SVdbField* vf = vfs->GetAt(col.viewField);
    place.push_back(
        {fromTable->GetField(col.field)->m_nOffset, vf->m_nOffset, static_cast<size_t>(vf->GetDataSize())});
  }
  std::vector<LONG> keyOffset;
  for (const Lookup& l : lookups) keyOffset.push_back(src->GetField(l.key)->m_nOffset);

  // Records go in batches: first the hash slots of a batch's keys are
  // fetched, then the related records they find, then the view records are
  // filled, so that the memory latencies overlap instead of adding up.
  constexpr LONG kBatch = 64;
  std::vector<const SVdbRecord*> found(lookups.size() * kBatch);
  const LONG n = src->GetRecordCount();
  for (LONG base = 0; base < n; base += kBatch) {
    const LONG end = std::min(n, base + kBatch);
    for (size_t li = 0; li < lookups.size(); ++li) {
      const Lookup& l = lookups[li];
      if (!l.bytesKey) continue;
      for (LONG r = base; r < end; ++r) l.index->Prefetch(src->GetRecordAt(r)->GetData() + keyOffset[li]);
    }
    for (size_t li = 0; li < lookups.size(); ++li) {
      Lookup& l = lookups[li];
      for (LONG r = base; r < end; ++r) {
        LONG match;
        if (l.bytesKey)
          match = l.index->Find(src->GetRecordAt(r)->GetData() + keyOffset[li]);
        else
          match = srcReader.Get(r, l.key, v) ? l.index->Find(v) : -1;
        const SVdbRecord* rec = match >= 0 ? l.related->GetRecordAt(match) : nullptr;
        if (rec) __builtin_prefetch(rec->GetData());
        found[li * kBatch + static_cast<size_t>(r - base)] = rec;
      }
    }
    for (LONG r = base; r < end; ++r) {
      const SVdbRecord* rec = src->GetRecordAt(r);
      view->AddNew();
      view->SetRecordID(rec->m_nID);
      SVdbRecord* out = view->GetRecord();
      out->m_Flags[1] = 0;
      for (size_t c = 0; c < plan.size(); ++c) {
        const Column& col = plan[c];
        const SVdbRecord* from = rec;
        RecordReader* reader = &srcReader;
        if (col.lookup >= 0) {
          from = found[static_cast<size_t>(col.lookup) * kBatch + static_cast<size_t>(r - base)];
          if (!from) continue;  // keeps the new record's initial value
          reader = lookups[static_cast<size_t>(col.lookup)].reader.get();
        }
        if (col.bytes) {
          std::memcpy(out->GetData() + place[c].to, from->GetData() + place[c].from, place[c].size);
        } else if (place[c].size > 0 && reader->Get(*from, col.field, v)) {
          view->SetFieldValue(col.viewField, v);
        }
      }
    }
  }
  view->SetMaxID(src->GetMaxID());
  view->GetFirstFloatIndex();
}

// ---- Move ---------------------------------------------------------------------------------

CVdbTableSet& CVdbTableSet::operator<<(CVdbTableSet& other) {
  if (&other == this) return *this;
  DropAll();
  m_arFieldSets.swap(other.m_arFieldSets);
  m_arRelations.swap(other.m_arRelations);
  for (int i = 0; i < other.GetFileCount();) {
    CVdbTable* t = other.GetTable(i);
    if (!t) {
      ++i;  // not a table: it stays with the other set
      continue;
    }
    other.RemoveFile(t);
    if (AddNewFile(t)) t->SetTableSet(this);
  }
  return *this;
}

// ---- Stream -------------------------------------------------------------------------------

bool CVdbTableSet::WriteTables(CFile& file) {
  detail::StreamWriter w(file);
  int tables = 0;
  for (int i = 0; i < GetFileCount(); ++i)
    if (GetTable(i)) ++tables;
  w.Int32(tables);
  for (int i = 0; i < GetFileCount(); ++i)
    if (CVdbTable* t = GetTable(i)) t->Write(file);
  w.Int32(static_cast<int32_t>(m_arFieldSets.size()));
  for (const CVdbFieldSet* fs : m_arFieldSets) fs->Write(file);
  w.Int32(static_cast<int32_t>(m_arRelations.size()));
  for (const SVdbRelation* r : m_arRelations) {
    w.PaddedString(r->m_strKeyField);
    w.PaddedString(r->m_strTable);
    w.PaddedString(r->m_strRelatedKeyField);
  }
  return true;
}

bool CVdbTableSet::ReadTables(CFile& file) {
  DropAll();
  detail::BoundedReader r(file);
  int32_t count;
  if (!r.Count(count, kMinTableBytes)) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<CVdbTable> table(new CVdbTable);
    if (!table->Read(file)) return false;
    CVdbTable* t = table.release();
    if (!AddNewFile(t)) return false;
    t->SetTableSet(this);
  }
  if (!r.Count(count, kMinFieldSetBytes)) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<CVdbFieldSet> fs(new CVdbFieldSet);
    if (!fs->Read(file)) return false;
    m_arFieldSets.push_back(fs.release());
  }
  if (!r.Count(count, kMinRelationBytes)) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<SVdbRelation> rel(new SVdbRelation);
    if (!r.PaddedString(rel->m_strKeyField) || !r.PaddedString(rel->m_strTable) ||
        !r.PaddedString(rel->m_strRelatedKeyField))
      return false;
    m_arRelations.push_back(rel.release());
  }
  return true;
}
