#include "vdkit/vdb/field_value.h"

#include <algorithm>
#include <utility>

#include "vdkit/core/text_internal.h"

using detail::EqualNoCase;

namespace {

struct TypeName {
  const char* name;
  BYTE code;
};

// Lookup order matters: the first entry that matches wins, so DATAID is
// written as "int32" and read back as LONG.
constexpr TypeName kLowerNames[] = {
    {"null", VDB_NULL},     {"bool", VDB_BOOL},     {"byte", VDB_BYTE},     {"char", VDB_CHAR},
    {"short", VDB_SHORT},   {"int32", VDB_LONG},    {"float32", VDB_FLOAT}, {"float64", VDB_DOUBLE},
    {"int32", VDB_DATAID},  {"char8", VDB_CHAR8},   {"char16", VDB_CHAR16}, {"datetime", VDB_DATE},
    {"string", VDB_STRING}, {"binary", VDB_BINARY},
};

constexpr TypeName kUpperNames[] = {
    {"BOOL", VDB_BOOL},     {"BYTE", VDB_BYTE},     {"CHAR", VDB_CHAR},     {"SHORT", VDB_SHORT},
    {"LONG", VDB_LONG},     {"INT", VDB_LONG},      {"FLOAT", VDB_FLOAT},   {"DOUBLE", VDB_DOUBLE},
    {"DATAID", VDB_DATAID}, {"CHAR8", VDB_CHAR8},   {"CHAR16", VDB_CHAR16}, {"DATE", VDB_DATE},
    {"STRING", VDB_STRING}, {"BINARY", VDB_BINARY},
};

template <size_t N>
int FindCode(const TypeName (&table)[N], const char* name) {
  if (!name) return 0;
  for (const TypeName& t : table)
    if (EqualNoCase(t.name, name)) return t.code;
  return 0;
}

}  // namespace

const char* GetVdbTypeName(int type) {
  for (const TypeName& t : kLowerNames)
    if (t.code == type) return t.name;
  return "null";
}

int GetVdbTypeCode(const char* name) {
  return FindCode(kLowerNames, name);
}

int GetVdbUpperTypeCode(const char* name) {
  return FindCode(kUpperNames, name);
}

// ---- SVdbBinary -----------------------------------------------------------------

SVdbBinary::SVdbBinary(const SVdbBinary& other) {
  SetData(other.m_pData, other.m_nSize);
}

SVdbBinary::SVdbBinary(SVdbBinary&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)) {}

SVdbBinary& SVdbBinary::operator=(const SVdbBinary& other) {
  if (this != &other) SetData(other.m_pData, other.m_nSize);
  return *this;
}

SVdbBinary& SVdbBinary::operator=(SVdbBinary&& other) noexcept {
  if (this != &other) {
    Clear();
    m_pData = std::exchange(other.m_pData, nullptr);
    m_nSize = std::exchange(other.m_nSize, 0);
  }
  return *this;
}

void SVdbBinary::Clear() {
  delete[] m_pData;
  m_pData = nullptr;
  m_nSize = 0;
}

void SVdbBinary::SetData(const void* p, int n) {
  BYTE* copy = nullptr;
  if (p && n > 0) {
    copy = new BYTE[static_cast<size_t>(n)];
    std::memcpy(copy, p, static_cast<size_t>(n));
  }
  Clear();
  m_pData = copy;
  m_nSize = copy ? n : 0;
}

// ---- SVdbVariant ------------------------------------------------------------------

SVdbVariant::SVdbVariant(const SVdbVariant& other) : SVdbVariant() {
  *this = other;
}

SVdbVariant::SVdbVariant(SVdbVariant&& other) noexcept : SVdbVariant() {
  *this = std::move(other);
}

SVdbVariant& SVdbVariant::operator=(const SVdbVariant& other) {
  if (this == &other) return *this;
  if (other.m_nType == VDB_STRING) {
    SetPSZ(other.HeldText()->GetString(), VDB_STRING);
  } else if (other.m_nType == VDB_BINARY) {
    const SVdbBinary* b = other.HeldBinary();
    SetBinary(b->m_pData, b->m_nSize);
  } else {
    Clear();
    std::memcpy(m_Value, other.m_Value, sizeof m_Value);
    m_nType = other.m_nType;
  }
  return *this;
}

SVdbVariant& SVdbVariant::operator=(SVdbVariant&& other) noexcept {
  if (this == &other) return *this;
  Clear();
  // The pointer of a STRING or BINARY moves with the bytes.
  std::memcpy(m_Value, other.m_Value, sizeof m_Value);
  m_nType = other.m_nType;
  std::memset(other.m_Value, 0, sizeof other.m_Value);
  other.m_nType = VDB_NULL;
  return *this;
}

CString* SVdbVariant::HeldText() const {
  CString* p;
  std::memcpy(&p, m_Value, sizeof p);
  return p;
}

SVdbBinary* SVdbVariant::HeldBinary() const {
  SVdbBinary* p;
  std::memcpy(&p, m_Value, sizeof p);
  return p;
}

void SVdbVariant::Clear() {
  if (m_nType == VDB_STRING) delete HeldText();
  if (m_nType == VDB_BINARY) delete HeldBinary();
  m_nType = VDB_NULL;
  std::memset(m_Value, 0, sizeof m_Value);
}

SVdbVariant& SVdbVariant::operator<<(double v) {
  return SetRaw(VDB_DOUBLE, v);
}
SVdbVariant& SVdbVariant::operator<<(float v) {
  return SetRaw(VDB_FLOAT, v);
}
SVdbVariant& SVdbVariant::operator<<(int v) {
  return SetRaw(VDB_LONG, static_cast<LONG>(v));
}
SVdbVariant& SVdbVariant::operator<<(long v) {
  return SetRaw(VDB_LONG, static_cast<LONG>(v));
}
SVdbVariant& SVdbVariant::operator<<(unsigned long v) {
  return SetRaw(VDB_DATAID, static_cast<DWORD>(v));
}
SVdbVariant& SVdbVariant::operator<<(unsigned int v) {
  return SetRaw(VDB_DATAID, static_cast<DWORD>(v));
}
SVdbVariant& SVdbVariant::operator<<(short v) {
  return SetRaw(VDB_SHORT, v);
}
SVdbVariant& SVdbVariant::operator<<(unsigned char v) {
  return SetRaw(VDB_BYTE, v);
}
SVdbVariant& SVdbVariant::operator<<(bool v) {
  return SetRaw(VDB_BOOL, static_cast<BYTE>(v ? 1 : 0));
}
SVdbVariant& SVdbVariant::operator<<(const SDateTime& v) {
  return SetRaw(VDB_DATE, v);
}

SVdbVariant& SVdbVariant::operator<<(const SDate& v) {
  SDateTime dt;
  std::memset(&dt, 0, sizeof dt);
  static_assert(sizeof(SDateTime) == 8 && sizeof(SDate) == 4, "dates are packed records");
  std::memcpy(reinterpret_cast<BYTE*>(&dt) + 4, &v, sizeof v);
  return SetRaw(VDB_DATE, dt);
}

void SVdbVariant::SetPSZ(const char* text, int type) {
  Clear();
  if (type == VDB_STRING) {
    CString* held = new CString(text);
    std::memcpy(m_Value, &held, sizeof held);
    m_nType = VDB_STRING;
    return;
  }
  m_nType = static_cast<BYTE>((type == VDB_CHAR8 || type == VDB_CHAR16) ? type : int{VDB_CHAR16});
  if (!text) return;
  const void* end = std::memchr(text, 0, sizeof m_Value);
  const size_t n = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : sizeof m_Value;
  std::memcpy(m_Value, text, n);
}

void SVdbVariant::SetBinary(const void* p, int n) {
  Clear();
  SVdbBinary* held = new SVdbBinary;
  held->SetData(p, n);
  std::memcpy(m_Value, &held, sizeof held);
  m_nType = VDB_BINARY;
}

void SVdbVariant::SetBytes(int type, const void* p, int n) {
  Clear();
  if (type == VDB_STRING || type == VDB_BINARY) return;
  m_nType = static_cast<BYTE>(type);
  if (p && n > 0) std::memcpy(m_Value, p, std::min<size_t>(static_cast<size_t>(n), sizeof m_Value));
}

float SVdbVariant::GetFloat() const {
  float v;
  std::memcpy(&v, m_Value, sizeof v);
  return v;
}

double SVdbVariant::GetDouble() const {
  double v;
  std::memcpy(&v, m_Value, sizeof v);
  return v;
}

LONG SVdbVariant::GetLong() const {
  switch (m_nType) {
    case VDB_BOOL:
    case VDB_BYTE:
    case VDB_CHAR:
      return m_Value[0];
    case VDB_SHORT: {
      SHORT v;
      std::memcpy(&v, m_Value, sizeof v);
      return v;
    }
    case VDB_LONG:
    case VDB_DATAID: {
      LONG v;
      std::memcpy(&v, m_Value, sizeof v);
      return v;
    }
    default:
      return 0;
  }
}

SDateTime SVdbVariant::GetDateTime() const {
  SDateTime v;
  std::memcpy(&v, m_Value, sizeof v);
  return v;
}

SDate SVdbVariant::GetDate() const {
  SDate v;
  std::memcpy(&v, m_Value + 4, sizeof v);
  return v;
}

const char* SVdbVariant::GetPSZ() const {
  if (m_nType == VDB_STRING) return HeldText()->GetString();
  if (m_nType == VDB_BINARY) return "";
  return reinterpret_cast<const char*>(m_Value);
}

const SVdbBinary* SVdbVariant::GetBinary() const {
  return m_nType == VDB_BINARY ? HeldBinary() : nullptr;
}

bool SVdbVariant::operator==(const SVdbVariant& other) const {
  if (m_nType != other.m_nType) return false;
  switch (m_nType) {
    case VDB_BOOL:
    case VDB_BYTE:
    case VDB_CHAR:
      return m_Value[0] == other.m_Value[0];
    case VDB_SHORT:
      return std::memcmp(m_Value, other.m_Value, 2) == 0;
    case VDB_LONG:
    case VDB_FLOAT:
    case VDB_DATAID:
      return std::memcmp(m_Value, other.m_Value, 4) == 0;
    case VDB_DOUBLE:
      return GetDouble() == other.GetDouble();
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_STRING:
      return CString(GetPSZ()).CompareNoCase(other.GetPSZ()) == 0;
    case VDB_DATE:
      return std::memcmp(m_Value, other.m_Value, 8) == 0;
    default:
      return false;
  }
}
