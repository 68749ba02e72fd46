#include "vdkit/vdb/field_set.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "vdkit/core/hash_map.h"
#include "vdkit/core/padded_string.h"
#include "vdkit/vdb/binary_io_internal.h"

// ---- SVdbField --------------------------------------------------------------------

void SVdbField::SetName(const char* name) {
  m_strName = name;
  m_nHash = MapHashKey(m_strName);
}

bool SVdbField::Write(CFile& file) const {
  WritePaddedString(file, m_strAlias);
  WritePaddedString(file, m_strName);
  detail::WriteU8(file, m_nType);
  detail::WriteU32(file, static_cast<DWORD>(m_nCount));
  WritePaddedString(file, m_strSource);
  WritePaddedString(file, m_strValue);
  WritePaddedString(file, m_strExtra1);
  WritePaddedString(file, m_strExtra2);
  detail::WriteU8(file, m_nEdit);
  detail::WriteU8(file, m_nFlag);
  WritePaddedString(file, m_strOptions);
  detail::WriteF32(file, m_fMin);
  detail::WriteF32(file, m_fMax);
  return true;
}

bool SVdbField::Read(CFile& file) {
  CString name;
  const bool ok =
      ReadPaddedString(file, m_strAlias) && ReadPaddedString(file, name) && detail::ReadU8(file, m_nType) &&
      detail::ReadI32(file, m_nCount) && ReadPaddedString(file, m_strSource) &&
      ReadPaddedString(file, m_strValue) && ReadPaddedString(file, m_strExtra1) &&
      ReadPaddedString(file, m_strExtra2) && detail::ReadU8(file, m_nEdit) && detail::ReadU8(file, m_nFlag) &&
      ReadPaddedString(file, m_strOptions) && detail::ReadF32(file, m_fMin) && detail::ReadF32(file, m_fMax);
  SetName(name);
  return ok;
}

// ---- CVdbFieldSet -------------------------------------------------------------------

CVdbFieldSet::CVdbFieldSet(const CVdbFieldSet& other) {
  *this = other;
}

CVdbFieldSet& CVdbFieldSet::operator=(const CVdbFieldSet& other) {
  if (this == &other) return *this;
  ResetContent();
  RemoveAll();
  m_fields.reserve(other.m_fields.size());
  for (const SVdbField* f : other.m_fields) m_fields.push_back(f->Clone());
  m_strName = other.m_strName;
  m_strLabel = other.m_strLabel;
  m_nRecordSize = other.m_nRecordSize;
  return *this;
}

CVdbFieldSet::~CVdbFieldSet() {
  ResetContent();
}

void CVdbFieldSet::RemoveAt(int i) {
  if (i >= 0 && i < GetSize()) m_fields.erase(m_fields.begin() + i);
}

void CVdbFieldSet::RemoveAll() {
  std::vector<SVdbField*>().swap(m_fields);
}

void CVdbFieldSet::ResetContent() {
  for (SVdbField* f : m_fields) delete f;
  m_fields.clear();
}

SVdbField* CVdbFieldSet::GetField(const char* name) const {
  const int i = GetFieldIndex(name);
  return i < 0 ? nullptr : m_fields[static_cast<size_t>(i)];
}

int CVdbFieldSet::GetFieldIndex(const char* name) const {
  if (!name) return -1;
  // The hash settles most mismatches without comparing texts.
  const DWORD hash = MapHashKey(name);
  for (size_t i = 0; i < m_fields.size(); ++i) {
    const SVdbField* f = m_fields[i];
    if (f->m_nHash == hash && f->m_strName.CompareNoCase(name) == 0) return static_cast<int>(i);
  }
  return -1;
}

int CVdbFieldSet::GetFieldIndex(const SVdbField* field) const {
  const auto it = std::find(m_fields.begin(), m_fields.end(), field);
  return it == m_fields.end() ? -1 : static_cast<int>(it - m_fields.begin());
}

SVdbField* CVdbFieldSet::AddField(const char* text, int type, int count) {
  CString name(text);
  int fieldType = VDB_FLOAT;
  if (type != 0) {
    const int cut = name.FindOneOf(":*");
    if (cut >= 0) name = name.Left(cut);
    fieldType = type;
  } else {
    const int star = name.Find('*');
    if (star >= 0) {
      count = std::atoi(name.Mid(star + 1));
      name = name.Left(star);
    }
    const int colon = name.Find(':');
    if (colon >= 0) {
      const int code = GetDataType(name.Mid(colon + 1));
      if (code != 0) fieldType = code;
      name = name.Left(colon);
    }
  }
  if (SVdbField* existing = GetField(name)) return existing;
  auto field = std::make_unique<SVdbField>();
  field->SetName(name);
  field->m_nType = static_cast<BYTE>(fieldType);
  field->m_nCount = count < 1 ? 1 : count;
  if (!Append(field.get())) return nullptr;
  MapFieldIndex();
  return field.release();
}

bool CVdbFieldSet::AddField(SVdbField* field) {
  if (!field || GetField(field->m_strName)) return false;
  if (!Append(field)) return false;
  MapFieldIndex();
  return true;
}

bool CVdbFieldSet::Append(SVdbField* field) {
  LONG offset = 0;
  if (!m_fields.empty()) {
    const SVdbField* last = m_fields.back();
    offset = last->m_nOffset + last->GetDataSize();
  }
  const LONGLONG end = static_cast<LONGLONG>(offset) + field->GetDataSize();
  if (offset < 0 || end > kVdbMaxRecordSize) return false;
  field->m_nOffset = offset;
  m_nRecordSize = static_cast<LONG>(end);
  m_fields.push_back(field);
  return true;
}

void CVdbFieldSet::MapFieldIndex() {
  for (SVdbField* f : m_fields) f->m_nHash = MapHashKey(f->m_strName);
}

bool CVdbFieldSet::Write(CFile& file) const {
  WritePaddedString(file, m_strName);
  WritePaddedString(file, m_strLabel);
  detail::WriteU32(file, static_cast<DWORD>(m_fields.size()));
  for (const SVdbField* f : m_fields) f->Write(file);
  return true;
}

bool CVdbFieldSet::Read(CFile& file) {
  LONG count = 0;
  if (!ReadPaddedString(file, m_strName) || !ReadPaddedString(file, m_strLabel) ||
      !detail::ReadI32(file, count))
    return false;
  // The loop needs no bound of its own: every field takes at least 43 bytes,
  // so a count beyond what the file holds ends at its end.
  bool ok = true;
  for (LONG i = 0; i < count && ok; ++i) {
    auto field = std::make_unique<SVdbField>();
    ok = field->Read(file) && Append(field.get());
    if (ok) field.release();
  }
  if (m_fields.empty()) m_nRecordSize = 0;
  return ok;
}
