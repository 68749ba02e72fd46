// The XML forms of SVdbField and CVdbFieldSet.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/xml_text_internal.h"
#include "vdkit/xml/xml_archive.h"

bool SVdbField::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    CString s = "<";
    s += m_strName;
    if (!m_strAlias.IsEmpty()) detail::AppendXmlAttribute(s.str(), "a", m_strAlias);
    if (!m_strUnit.IsEmpty()) detail::AppendXmlAttribute(s.str(), "unit", m_strUnit);
    if (m_nType != VDB_FLOAT) detail::AppendXmlAttribute(s.str(), "type", GetVdbTypeName(m_nType));
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
  SetName(item->GetName());
  if (const char* a = item->GetA("a")) m_strAlias = a;
  if (const char* unit = item->GetA("unit")) m_strUnit = unit;
  if (const char* type = item->GetA("type")) m_nType = static_cast<BYTE>(GetVdbTypeCode(type));
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

bool CVdbFieldSet::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    CString name = m_strName;
    // An unnamed set still needs an element name: one that tells sets apart.
    if (name.IsEmpty())
      name.Format("X%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    CString open = "<";
    open += name;
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
  m_strName = item->GetName();
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
