#include "vdkit/job/job_args.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "vdkit/xml/decimal_internal.h"

void CJobArgs::AddArg(const char* name, const char* unit, const char* value) {
  // A null name is the empty one, which lookups by name do find.
  SJobArg* arg = GetArg(name ? name : "");
  if (!arg) {
    m_args.emplace_back();
    arg = &m_args.back();
  }
  arg->strName = name;
  arg->strUnit = unit;
  arg->strValue = value;
}

void CJobArgs::AddArgFmt(const char* name, const char* unit, const char* format, ...) {
  char text[kMaxFormatted + 1] = "";
  if (format) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
  }
  AddArg(name, unit, text);
}

bool CJobArgs::GetArg(int index, const char** name, const char** unit, const char** value) const {
  if (index < 0 || index >= GetCount()) return false;
  const SJobArg& arg = m_args[static_cast<size_t>(index)];
  if (name) *name = arg.strName;
  if (unit) *unit = arg.strUnit;
  if (value) *value = arg.strValue;
  return true;
}

const CJobArgs::SJobArg* CJobArgs::GetArg(const char* name) const {
  if (!name) return nullptr;
  for (const SJobArg& arg : m_args)
    if (arg.strName.CompareNoCase(name) == 0) return &arg;
  return nullptr;
}

CJobArgs::SJobArg* CJobArgs::GetArg(const char* name) {
  return const_cast<SJobArg*>(static_cast<const CJobArgs*>(this)->GetArg(name));
}

const char* CJobArgs::GetArgsz(const char* name) const {
  const SJobArg* arg = GetArg(name);
  return arg ? arg->strValue.GetString() : nullptr;
}

const char* CJobArgs::GetUnit(const char* name) const {
  const SJobArg* arg = GetArg(name);
  return arg ? arg->strUnit.GetString() : nullptr;
}

int CJobArgs::GetArgi(const char* name) const {
  const char* text = GetArgsz(name);
  return text ? detail::ToSigned<int>(text) : 0;
}

float CJobArgs::GetArgf(const char* name) const {
  const char* text = GetArgsz(name);
  if (!text) return kNullValue;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  return end == text ? kNullValue : v;
}
