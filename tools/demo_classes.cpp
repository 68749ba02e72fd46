#include "demo_classes.h"

#include <algorithm>
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

namespace vdtool {
void RegisterDemoClasses() {
  // Naming the record is enough to keep it in the program.
  static CVDClassInfo* const keep[] = {&CSurvey::sClassInfo};
  (void)keep;
}
}  // namespace vdtool
