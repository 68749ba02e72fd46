// The XML forms of SVdbField and CVdbFieldSet.

#include <cstdlib>
#include <memory>

#include "vdkit/core/text_internal.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/xml_text_internal.h"
#include "vdkit/xml/xml_archive.h"

bool SVdbField::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    // A name that cannot stand as an element name travels in an attribute.
    const bool plainName = detail::IsUsableElementName(m_strName);
    CString s = "<";
    s += plainName ? m_strName.GetString() : "field";
    if (!plainName) detail::AppendXmlAttribute(s.str(), "name", m_strName);
    if (!m_strAlias.IsEmpty()) detail::AppendXmlAttribute(s.str(), "a", m_strAlias);
    if (!m_strUnit.IsEmpty()) detail::AppendXmlAttribute(s.str(), "unit", m_strUnit);
    if (m_nType != VDB_FLOAT) detail::AppendXmlAttribute(s.str(), "type", GetVdbTypeName(m_nType));
    // DATAID shares "int32" with LONG; this tells a new reader which it was.
    if (m_nType == VDB_DATAID) s += " dataid='true'";
    if (m_nCount > 1) s.AppendFormat(" count='%d'", m_nCount);
    if (m_nEdit != 0) s.AppendFormat(" edit='%d'", m_nEdit);
    if (!m_strOptions.IsEmpty()) {
      CString options = m_strOptions;
      options.Replace('\n', ',');
      detail::AppendXmlAttribute(s.str(), "options", options);
    }
    if (!m_strValue.IsEmpty()) detail::AppendXmlAttribute(s.str(), "value", m_strValue);
    if (!IsVdbNull(m_fMin)) detail::AppendXmlAttribute(s.str(), "min", detail::FloatText(m_fMin));
    if (!IsVdbNull(m_fMax)) detail::AppendXmlAttribute(s.str(), "max", detail::FloatText(m_fMax));
    s += " />\n";
    ar << s.GetString();
    return true;
  }
  const CXmlItem* item = ar.GetXmlItem();
  if (!item) return true;
  const char* name = item->GetA("name");
  SetName(name ? name : item->GetName());
  if (const char* a = item->GetA("a")) m_strAlias = a;
  if (const char* unit = item->GetA("unit")) m_strUnit = unit;
  if (const char* type = item->GetA("type")) m_nType = static_cast<BYTE>(GetVdbTypeCode(type));
  if (m_nType == VDB_LONG && detail::EqualNoCase(item->GetA("dataid"), "true")) m_nType = VDB_DATAID;
  if (const char* count = item->GetA("count")) m_nCount = static_cast<LONG>(std::atoi(count));
  if (const char* edit = item->GetA("edit")) m_nEdit = static_cast<BYTE>(std::atoi(edit));
  if (const char* options = item->GetA("options")) {
    m_strOptions = options;
    m_strOptions.Replace(',', '\n');
  }
  if (const char* value = item->GetA("value")) m_strValue = value;
  if (const char* min = item->GetA("min")) m_fMin = static_cast<float>(std::atof(min));
  if (const char* max = item->GetA("max")) m_fMax = static_cast<float>(std::atof(max));
  return true;
}

namespace {

// The byte offset in the document at which the next text will go (0 when
// the file cannot tell: no file, or one that cannot seek).
ULONGLONG DocumentPosition(const CXmlArchive& ar) {
  CFile* file = ar;  // puts text the archive gathered into the file first
  if (!file) return 0;
  try {
    return file->GetPosition();
  } catch (CFileException* e) {
    e->Delete();
    return 0;
  }
}

}  // namespace

bool CVdbFieldSet::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    CString name = m_strName;
    const bool plainName = detail::IsUsableElementName(name);
    // An unnamed set still needs an element name, one that tells sets apart:
    // where its element starts in the document, so the same data always
    // gives the same text. A name that cannot be an element name travels in
    // an attribute of such an element.
    if (!plainName) name.Format("X%llx", static_cast<unsigned long long>(DocumentPosition(ar)));
    CString open = "<";
    open += name;
    if (!plainName && !m_strName.IsEmpty()) detail::AppendXmlAttribute(open.str(), "name", m_strName);
    if (!m_strLabel.IsEmpty()) detail::AppendXmlAttribute(open.str(), "a", m_strLabel);
    open += ">\n";
    ar << open.GetString();
    for (SVdbField* f : m_fields) f->Serialize(ar);
    CString close = "</";
    close += name;
    close += ">\n";
    ar << close.GetString();
    return true;
  }
  CXmlItem* item = ar.GetXmlItem();
  if (!item) return true;
  if (const char* label = item->GetA("a")) m_strLabel = label;
  const char* name = item->GetA("name");
  m_strName = name ? name : item->GetName();
  for (int i = 0; i < item->GetCount(); ++i) {
    CXmlArchive child(ar, item->GetChild(i));
    auto field = std::make_unique<SVdbField>();
    field->Serialize(child);
    // A layout beyond the limit ends the definitions here.
    if (!Append(field.get())) break;
    field.release();
  }
  if (m_fields.empty()) m_nRecordSize = 0;
  return true;
}
