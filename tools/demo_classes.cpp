#include "demo_classes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_archive.h"

IMPLEMENT_VDFILE(CSurvey, CVdbTableSet)

bool CSurvey::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    CMemFile stream;
    WriteTables(stream);
    const DWORD length = static_cast<DWORD>(stream.GetLength());
    ar << length;
    ar.Write(stream.GetData(), length);
    return true;
  }
  BYTE head[4];
  if (ar.Read(head, 4) != 4) return false;
  const DWORD length =
      static_cast<DWORD>(head[0] | (head[1] << 8) | (head[2] << 16)) | (static_cast<DWORD>(head[3]) << 24);
  // The length comes from the file: the buffer grows only as bytes arrive.
  std::vector<BYTE> bytes;
  while (bytes.size() < length) {
    const size_t step = std::min<size_t>(length - bytes.size(), 1 << 16);
    const size_t at = bytes.size();
    bytes.resize(at + step);
    if (ar.Read(bytes.data() + at, static_cast<UINT>(step)) != step) return false;
  }
  CMemFile stream(bytes.data(), length, 0);
  return ReadTables(stream) && stream.GetPosition() == length;
}

bool CSurvey::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    ar << "<definitions>\n";
    for (int i = 0; i < GetFieldSetCount(); ++i) {
      CXmlSpace deeper(&ar);
      GetFieldSet(i)->Serialize(ar);
    }
    ar << "</definitions>\n<relations>\n";
    for (int i = 0; i < GetRelationCount(); ++i) {
      const SVdbRelation* r = GetRelationAt(i);
      CString key = r->m_strKeyField;
      CString table = r->m_strTable;
      CString related = r->m_strRelatedKeyField;
      CXmlSpace deeper(&ar);
      ar << "<relation";
      CXmlVar k("key", key);
      CXmlVar t("table", table);
      CXmlVar f("related", related);
      ar < k;
      ar < t;
      ar < f;
      ar << " />\n";
    }
    ar << "</relations>\n";
    return true;
  }
  CXmlArchive definitions(ar, "definitions");
  for (int i = 0; i < definitions.GetItemCount(); ++i) {
    CXmlArchive one(definitions, i);
    CreateFieldSet(one.GetName(), nullptr)->Serialize(one);
  }
  CXmlArchive relations(ar, "relations");
  for (int i = 0; i < relations.GetItemCount(); ++i) {
    CXmlArchive one(relations, i);
    const char* key = one.GetAV("key");
    const char* table = one.GetAV("table");
    const char* related = one.GetAV("related");
    if (!key || !table) continue;
    CString target = table;
    if (related && *related) {
      target += '.';
      target += related;
    }
    AddRelation(key, target);
  }
  return true;
}

IMPLEMENT_VDFILE(CUnitTable, CVDFile)

bool CUnitTable::Serialize(CArchive& ar) {
  return m_units.Serialize(ar);
}

bool CUnitTable::Serialize(CXmlArchive& ar) {
  char number[32];
  if (ar.IsStoring()) {
    for (int i = 0; i < m_units.GetSize(); ++i) {
      const CUnitTrans::SUnit* u = m_units.GetAt(i);
      CString from = u->strUnit1;
      CString to = u->strUnit2;
      CXmlVar f("from", from);
      CXmlVar t("to", to);
      ar << "<unit";
      ar < f;
      ar < t;
      std::snprintf(number, sizeof number, "%.17g", u->dFactor);
      ar << " factor='" << number << "' />\n";
    }
    std::snprintf(number, sizeof number, "%.17g", m_units.GetFactor());
    ar << "<factor>" << number << "</factor>\n";
    return true;
  }
  // The pairs, then the current factor, which only the binary form sets:
  // the table's binary form with the stored factor in its last 8 bytes.
  CUnitTrans table;
  table.FreeStorage();
  for (int i = 0; i < ar.GetItemCount(); ++i) {
    CXmlArchive one(ar, i);
    const char* from = one.GetAV("from");
    const char* to = one.GetAV("to");
    const char* factor = one.GetAV("factor");
    if (from && to && factor) table.AddUnit(from, to, std::strtod(factor, nullptr));
  }
  CMemFile stream;
  {
    CArchive out(&stream, CArchive::store);
    table.Serialize(out);
    out.Close();
  }
  CXmlArchive factor(ar, "factor");
  double current = factor.IsValid() ? std::strtod(factor.GetXmlItem()->GetValue(), nullptr) : 1.0;
  stream.Seek(-8, CFile::end);
  stream.Write(&current, 8);
  stream.SeekToBegin();
  CArchive in(&stream, CArchive::load);
  return m_units.Serialize(in);
}

namespace vdtool {
void RegisterDemoClasses() {
  // Naming the record is enough to keep it in the program.
  static CVDClassInfo* const keep[] = {&CSurvey::sClassInfo, &CUnitTable::sClassInfo};
  (void)keep;
}
}  // namespace vdtool
