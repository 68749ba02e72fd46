#include "compare.h"

#include <cstring>
#include <vector>

#include "cells.h"
#include "tool.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/geometry/polyline.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdfile/vdfile.h"

namespace vdtool {

namespace {

bool Differ(std::string* diff, const std::string& what) {
  if (diff) *diff = what;
  return false;
}

bool SameText(const CString& a, const CString& b) {
  return std::strcmp(a, b) == 0;
}

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Both(const std::string& a, const std::string& b) {
  return Quoted(a) + " / " + Quoted(b);
}

bool SameField(const SVdbField& a, const SVdbField& b, bool units, std::string* diff) {
  const std::string where = "field " + Quoted(a.GetName()) + ": ";
  if (!SameText(a.m_strName, b.m_strName))
    return Differ(diff, where + "names " + Both(a.GetName(), b.GetName()));
  if (a.m_nType != b.m_nType || a.m_nCount != b.m_nCount)
    return Differ(diff, where + "definitions " + Both(Definition(a), Definition(b)));
  struct Text {
    const char* what;
    const CString& a;
    const CString& b;
  };
  if (units && !SameText(a.m_strUnit, b.m_strUnit))
    return Differ(diff, where + "units " + Both(a.m_strUnit.GetString(), b.m_strUnit.GetString()));
  const Text texts[] = {
      {"alias", a.m_strAlias, b.m_strAlias},          {"source", a.m_strSource, b.m_strSource},
      {"value", a.m_strValue, b.m_strValue},          {"extra text 1", a.m_strExtra1, b.m_strExtra1},
      {"extra text 2", a.m_strExtra2, b.m_strExtra2}, {"options", a.m_strOptions, b.m_strOptions}};
  for (const Text& t : texts)
    if (!SameText(t.a, t.b))
      return Differ(diff, where + t.what + " " + Both(t.a.GetString(), t.b.GetString()));
  if (a.m_nEdit != b.m_nEdit || a.m_nFlag != b.m_nFlag) return Differ(diff, where + "edit mode or flag");
  if (!SameBits(a.m_fMin, b.m_fMin) || !SameBits(a.m_fMax, b.m_fMax)) return Differ(diff, where + "limits");
  return true;
}

}  // namespace

bool SameFields(const CVdbFieldSet& a, const CVdbFieldSet& b, FieldParts parts, std::string* diff) {
  if (parts.names && !SameText(a.m_strName, b.m_strName))
    return Differ(diff, "field-set names " + Both(a.GetName(), b.GetName()));
  if (parts.names && !SameText(a.m_strLabel, b.m_strLabel))
    return Differ(diff, "field-set labels " + Both(a.GetLabel(), b.GetLabel()));
  if (a.GetSize() != b.GetSize())
    return Differ(diff, Format("%d fields / %d fields", a.GetSize(), b.GetSize()));
  for (int i = 0; i < a.GetSize(); ++i)
    if (!SameField(*a.GetAt(i), *b.GetAt(i), parts.units, diff)) return false;
  return true;
}

bool SameRecords(CVdbTable& a, CVdbTable& b, std::string* diff) {
  if (a.GetFieldCount() != b.GetFieldCount())
    return Differ(diff, Format("%d fields / %d fields", a.GetFieldCount(), b.GetFieldCount()));
  for (int i = 0; i < a.GetFieldCount(); ++i) {
    const SVdbField& x = *a.GetField(i);
    const SVdbField& y = *b.GetField(i);
    if (!SameText(x.m_strName, y.m_strName) || x.m_nType != y.m_nType || x.m_nCount != y.m_nCount)
      return Differ(diff, "fields " + Both(Definition(x), Definition(y)));
  }
  if (a.GetRecordCount() != b.GetRecordCount())
    return Differ(diff, Format("%d records / %d records", static_cast<int>(a.GetRecordCount()),
                               static_cast<int>(b.GetRecordCount())));
  const std::vector<Column> columns = PlanColumns(*a.GetFieldSet());
  const size_t size = static_cast<size_t>(a.GetFieldSet()->GetRecordSize());
  for (LONG r = 0; r < a.GetRecordCount(); ++r) {
    const SVdbRecord* x = a.GetRecordAt(r);
    const SVdbRecord* y = b.GetRecordAt(r);
    if (x->m_nID != y->m_nID)
      return Differ(diff,
                    Format("record %d: identifiers %u / %u", static_cast<int>(r) + 1, x->m_nID, y->m_nID));
    if (std::memcmp(x->GetData(), y->GetData(), size) == 0) continue;
    for (const Column& c : columns) {
      if (std::memcmp(x->GetData() + c.offset, y->GetData() + c.offset, static_cast<size_t>(c.size)) != 0)
        return Differ(diff, Format("record %u, column %s: ", x->m_nID, c.name.c_str()) +
                                Both(FormatCell(c, x->GetData()), FormatCell(c, y->GetData())));
    }
    return Differ(diff, Format("record %u: the bytes differ", x->m_nID));
  }
  if (a.GetMaxID() != b.GetMaxID())
    return Differ(diff, Format("last identifiers %u / %u", a.GetMaxID(), b.GetMaxID()));
  return true;
}

bool SameTableSet(CVdbTableSet& a, CVdbTableSet& b, bool units, std::string* diff) {
  if (a.GetTableCount() != b.GetTableCount())
    return Differ(diff, Format("%d tables / %d tables", a.GetTableCount(), b.GetTableCount()));
  for (int i = 0; i < a.GetTableCount(); ++i) {
    CVdbTable* x = a.GetTable(i);
    CVdbTable* y = b.GetTable(i);
    if (!x || !y) return Differ(diff, Format("child %d is not a table in both", i + 1));
    if (!SameText(x->GetName(), y->GetName()))
      return Differ(diff, "table names " + Both(x->GetName(), y->GetName()));
    std::string inner;
    if (!SameFields(*x->GetFieldSet(), *y->GetFieldSet(), FieldParts{true, units}, &inner) ||
        !SameRecords(*x, *y, &inner))
      return Differ(diff, "table " + Quoted(x->GetName()) + ": " + inner);
  }
  if (a.GetFieldSetCount() != b.GetFieldSetCount())
    return Differ(diff,
                  Format("%d definitions / %d definitions", a.GetFieldSetCount(), b.GetFieldSetCount()));
  for (int i = 0; i < a.GetFieldSetCount(); ++i) {
    std::string inner;
    if (!SameFields(*a.GetFieldSet(i), *b.GetFieldSet(i), FieldParts{true, units}, &inner))
      return Differ(diff, "definition " + Quoted(a.GetFieldSet(i)->GetName()) + ": " + inner);
  }
  if (a.GetRelationCount() != b.GetRelationCount())
    return Differ(diff, Format("%d relations / %d relations", a.GetRelationCount(), b.GetRelationCount()));
  for (int i = 0; i < a.GetRelationCount(); ++i) {
    const SVdbRelation& x = *a.GetRelationAt(i);
    const SVdbRelation& y = *b.GetRelationAt(i);
    if (!SameText(x.m_strKeyField, y.m_strKeyField) || !SameText(x.m_strTable, y.m_strTable) ||
        !SameText(x.m_strRelatedKeyField, y.m_strRelatedKeyField))
      return Differ(diff, Format("relation %d differs", i + 1));
  }
  return true;
}

bool SameDataSet(CVdbDataSet& a, CVdbDataSet& b, std::string* diff) {
  if (!SameText(a.GetName(), b.GetName()))
    return Differ(diff, "names " + Both(a.GetName().GetString(), b.GetName().GetString()));
  if (a.GetCount() != b.GetCount())
    return Differ(diff, Format("%d values / %d values", a.GetCount(), b.GetCount()));
  std::vector<CString> keys;
  CString key;
  CString value;
  a.GetNextBegin();
  while (a.GetNext(key, value)) keys.push_back(key);
  a.GetNextEnd();
  for (const CString& k : keys) {
    float fa = 0, fb = 0;
    int ia = 0, ib = 0;
    CString sa, sb;
    const bool hasFa = a.Getf(k, fa), hasFb = b.Getf(k, fb);
    const bool hasIa = a.Geti(k, ia), hasIb = b.Geti(k, ib);
    const bool hasSa = a.Gets(k, sa), hasSb = b.Gets(k, sb);
    if (hasFa != hasFb || hasIa != hasIb || hasSa != hasSb || (hasFa && !SameBits(fa, fb)) || ia != ib ||
        !SameText(sa, sb))
      return Differ(diff, "the values of key " + Quoted(k.GetString()) + " differ");
  }
  int rules = 0;
  for (POSITION pos = a.GetKeyHead(); pos;) {
    const CVdbDataSet::SValueSpec* x = a.GetKeyNext(pos);
    const CVdbDataSet::SValueSpec* y = b.GetKeySpec(x->m_strKey, false);
    ++rules;
    if (!y || !SameText(x->m_strLabel, y->m_strLabel) || !SameBits(x->m_fMin, y->m_fMin) ||
        !SameBits(x->m_fMax, y->m_fMax) || x->m_nFlag1 != y->m_nFlag1 || x->m_nFlag2 != y->m_nFlag2 ||
        x->m_nFlag3 != y->m_nFlag3)
      return Differ(diff, "the value limit of key " + Quoted(x->m_strKey.GetString()) + " differs");
  }
  for (POSITION pos = b.GetKeyHead(); pos;) {
    b.GetKeyNext(pos);
    --rules;
  }
  if (rules != 0) return Differ(diff, "the numbers of value limits differ");
  return true;
}

bool SameKeyStrings(CKeyStringArraySet& a, CKeyStringArraySet& b, std::string* diff) {
  if (a.GetCount() != b.GetCount())
    return Differ(diff, Format("%d keys / %d keys", a.GetCount(), b.GetCount()));
  for (int i = 0; i < a.GetCount(); ++i) {
    CKeyStringArraySet::SItem* x = a.GetAt(i);
    CKeyStringArraySet::SItem* y = b.GetAt(i);
    if (!SameText(x->m_strKey, y->m_strKey))
      return Differ(diff, "keys " + Both(x->m_strKey.GetString(), y->m_strKey.GetString()));
    if (x->m_saValues.GetSize() != y->m_saValues.GetSize())
      return Differ(diff, "key " + Quoted(x->m_strKey.GetString()) + ": the numbers of values differ");
    for (INT_PTR v = 0; v < x->m_saValues.GetSize(); ++v)
      if (!SameText(x->m_saValues[v], y->m_saValues[v]))
        return Differ(diff, "key " + Quoted(x->m_strKey.GetString()) + ": values " +
                                Both(x->m_saValues[v].GetString(), y->m_saValues[v].GetString()));
  }
  return true;
}

bool SameTree(CVDFile& a, CVDFile& b, TreeParts parts, std::string* diff) {
  struct Pair {
    CVDFile* a;
    CVDFile* b;
  };
  std::vector<Pair> stack{{&a, &b}};
  while (!stack.empty()) {
    const Pair p = stack.back();
    stack.pop_back();
    const std::string where = "object " + Quoted(p.a->GetVDPathName().GetString()) + ": ";
    if (CString(p.a->GetClassNameA()).CompareNoCase(p.b->GetClassNameA()) != 0)
      return Differ(diff, where + "classes " + Both(p.a->GetClassNameA(), p.b->GetClassNameA()));
    if (p.a->IsNamed() != p.b->IsNamed()) return Differ(diff, where + "one is named, the other not");
    if (p.a->IsNamed() && std::strcmp(p.a->GetName(), p.b->GetName()) != 0)
      return Differ(diff, where + "names " + Both(p.a->GetName(), p.b->GetName()));
    if (p.a->IsNamed() && std::strcmp(p.a->GetFileType(), p.b->GetFileType()) != 0)
      return Differ(diff, where + "types " + Both(p.a->GetFileType(), p.b->GetFileType()));
    if (parts.blobs && (p.a->GetDataSize() != p.b->GetDataSize() ||
                        (p.a->GetDataSize() > 0 &&
                         std::memcmp(p.a->GetDataBytes(), p.b->GetDataBytes(), p.a->GetDataSize()) != 0)))
      return Differ(diff, where + "the data blobs differ");
    if (parts.content) {
      std::string inner;
      if (p.a->IsKindOf("CVdbTableSet") && p.b->IsKindOf("CVdbTableSet")) {
        if (!SameTableSet(static_cast<CVdbTableSet&>(*p.a), static_cast<CVdbTableSet&>(*p.b), parts.units,
                          &inner))
          return Differ(diff, where + inner);
      } else if (p.a->IsKindOf("CVdbTable") && p.b->IsKindOf("CVdbTable")) {
        CVdbTable& x = static_cast<CVdbTable&>(*p.a);
        CVdbTable& y = static_cast<CVdbTable&>(*p.b);
        if (!SameFields(*x.GetFieldSet(), *y.GetFieldSet(), FieldParts{false, parts.units}, &inner) ||
            !SameRecords(x, y, &inner))
          return Differ(diff, where + inner);
      }
    }
    if (parts.lines && p.a->IsKindOf("CPolyline") && p.b->IsKindOf("CPolyline")) {
      const CPolyline& x = static_cast<const CPolyline&>(*p.a);
      const CPolyline& y = static_cast<const CPolyline&>(*p.b);
      if (x.IsClosed() != y.IsClosed()) return Differ(diff, where + "one line is closed, the other not");
      if (x.GetSize() != y.GetSize())
        return Differ(diff, where + Format("%d points / %d points", x.GetSize(), y.GetSize()));
      for (int i = 0; i < x.GetSize(); ++i)
        if (!SameBits(x.GetAt(i).x, y.GetAt(i).x) || !SameBits(x.GetAt(i).y, y.GetAt(i).y))
          return Differ(diff, where + Format("point %d differs", i + 1));
    }
    if (p.a->GetFileCount() != p.b->GetFileCount())
      return Differ(diff,
                    where + Format("%d children / %d children", p.a->GetFileCount(), p.b->GetFileCount()));
    for (int i = p.a->GetFileCount(); i-- > 0;) stack.push_back({p.a->GetFileAt(i), p.b->GetFileAt(i)});
  }
  return true;
}

}  // namespace vdtool
