#include "cells.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "tool.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/field_value.h"

namespace vdtool {

namespace {

struct TypeName {
  int code;
  const char* name;
};
// The names a definition text reads (the library's upper-case table, INT aside).
const TypeName kTypeNames[] = {
    {VDB_BOOL, "BOOL"},     {VDB_BYTE, "BYTE"},     {VDB_CHAR, "CHAR"},     {VDB_SHORT, "SHORT"},
    {VDB_LONG, "LONG"},     {VDB_FLOAT, "FLOAT"},   {VDB_DATAID, "DATAID"}, {VDB_DOUBLE, "DOUBLE"},
    {VDB_CHAR8, "CHAR8"},   {VDB_CHAR16, "CHAR16"}, {VDB_DATE, "DATE"},     {VDB_STRING, "STRING"},
    {VDB_BINARY, "BINARY"},
};

bool IsWholeFieldType(int type) {
  return type == VDB_CHAR || type == VDB_STRING || type == VDB_BINARY;
}

bool IsTextType(int type) {
  return type == VDB_CHAR || type == VDB_STRING || type == VDB_CHAR8 || type == VDB_CHAR16;
}

template <typename T>
T Load(const BYTE* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(BYTE* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// The NaN that reading "nan" or "-nan" gives: the default quiet NaN.
template <typename F>
bool IsPlainNan(F v) {
  if (!std::isnan(v)) return true;
  const F plain =
      std::signbit(v) ? -std::numeric_limits<F>::quiet_NaN() : std::numeric_limits<F>::quiet_NaN();
  return std::memcmp(&plain, &v, sizeof v) == 0;
}

std::string_view Trimmed(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool ParseInteger(const std::string& text, long long lo, long long hi, long long* out, std::string* why) {
  const std::string_view t = Trimmed(text);
  const char* b = t.data();
  const char* e = b + t.size();
  if (b < e && *b == '+') ++b;
  long long v = 0;
  const std::from_chars_result r = std::from_chars(b, e, v);
  if (t.empty() || r.ec == std::errc::invalid_argument || r.ptr != e) {
    *why = Quoted(text) + " is not a whole number";
    return false;
  }
  if (r.ec == std::errc::result_out_of_range || v < lo || v > hi) {
    *why = Quoted(text) + " is outside " + std::to_string(lo) + " .. " + std::to_string(hi);
    return false;
  }
  *out = v;
  return true;
}

template <typename F>
bool ParseReal(const std::string& text, F* out, std::string* why) {
  const std::string_view t = Trimmed(text);
  const char* b = t.data();
  const char* e = b + t.size();
  if (b < e && *b == '+') ++b;
  F v = 0;
  const std::from_chars_result r = std::from_chars(b, e, v);
  // Out of range is reported for numbers that round to zero or infinity;
  // neither is a value the writer produces, so refuse rather than guess.
  if (b == e || r.ec != std::errc() || r.ptr != e) {
    *why = Quoted(text) + (r.ec == std::errc::result_out_of_range ? " is out of range" : " is not a number");
    return false;
  }
  *out = v;
  return true;
}

bool ParseDate(const std::string& text, SDateTime* out, std::string* why) {
  const std::string_view t = Trimmed(text);
  long long part[3] = {0, 0, 0};
  size_t at = 0;
  float fraction = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t start = at;
    long long v = 0;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9' && v <= 0xFFFF) v = v * 10 + (t[at++] - '0');
    const long long limit = i == 0 ? 0xFFFF : 0xFF;
    if (at == start || v > limit) {
      *why = Quoted(text) + " is not a date (year-month-day)";
      return false;
    }
    part[i] = v;
    if (i < 2) {
      if (at >= t.size() || t[at] != '-') {
        *why = Quoted(text) + " is not a date (year-month-day)";
        return false;
      }
      ++at;
    }
  }
  if (at < t.size()) {
    // "+fraction", or the library's own form with the fraction in the day: 2004-03-7.5.
    std::string rest(t.substr(at));
    if (rest[0] == '+')
      rest.erase(0, 1);
    else if (rest[0] == '.')
      rest.insert(0, "0");
    else {
      *why = Quoted(text) + " is not a date (year-month-day)";
      return false;
    }
    if (!ParseReal(rest, &fraction, why)) {
      *why = Quoted(text) + " has no readable time of day";
      return false;
    }
  }
  out->fraction = fraction;
  out->date.year = static_cast<WORD>(part[0]);
  out->date.month = static_cast<BYTE>(part[1]);
  out->date.day = static_cast<BYTE>(part[2]);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const char* UpperTypeName(int type) {
  for (const TypeName& t : kTypeNames)
    if (t.code == type) return t.name;
  return nullptr;
}

std::string Definition(const SVdbField& f) {
  std::string text = f.GetName();
  const char* type = UpperTypeName(f.m_nType);
  text += type ? std::string(":") + type : ":?" + std::to_string(f.m_nType);
  if (f.m_nCount != 1) text += "*" + std::to_string(f.m_nCount);
  return text;
}

int ColumnCount(int type, int count) {
  return IsWholeFieldType(type) || GetVdbUnitSize(type) == 0 || count <= 1 ? 1 : count;
}

std::vector<Column> PlanColumns(const CVdbFieldSet& fs) {
  std::vector<Column> columns;
  for (int i = 0; i < fs.GetSize(); ++i) {
    const SVdbField& f = *fs.GetAt(i);
    Column c;
    c.field = i;
    c.type = f.m_nType;
    c.offset = f.m_nOffset;
    c.numeric = !IsTextType(f.m_nType) && f.m_nType != VDB_BINARY;
    c.name = f.GetName();
    const int unit = GetVdbUnitSize(f.m_nType);
    if (ColumnCount(f.m_nType, f.m_nCount) == 1) {
      c.size = f.GetDataSize();
      columns.push_back(c);
      continue;
    }
    for (int v = 0; v < f.m_nCount; ++v) {
      c.value = v;
      c.first = v == 0;
      c.size = unit;
      c.offset = f.m_nOffset + v * unit;
      c.name = v == 0 ? std::string(f.GetName()) : std::string(f.GetName()) + "#" + std::to_string(v + 1);
      columns.push_back(c);
    }
  }
  return columns;
}

namespace {

template <typename T>
void AppendNumber(std::string& out, T v) {
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// At least two digits, as "%02u" gives them.
void AppendTwoDigits(std::string& out, unsigned v) {
  if (v < 10) out += '0';
  AppendNumber(out, v);
}

}  // namespace

void AppendCell(std::string& out, const Column& c, const BYTE* data, bool* exact) {
  if (exact) *exact = true;
  const BYTE* p = data + c.offset;
  switch (c.type) {
    case VDB_BOOL:
    case VDB_BYTE:
      AppendNumber(out, static_cast<unsigned>(p[0]));
      return;
    case VDB_SHORT:
      AppendNumber(out, Load<int16_t>(p));
      return;
    case VDB_LONG:
      AppendNumber(out, Load<int32_t>(p));
      return;
    case VDB_DATAID:
      AppendNumber(out, Load<uint32_t>(p));
      return;
    case VDB_FLOAT: {
      if (Load<uint32_t>(p) == VDB_NULL_FLOAT_BITS) return;
      const float v = Load<float>(p);
      if (exact) *exact = IsPlainNan(v);
      AppendNumber(out, v);
      return;
    }
    case VDB_DOUBLE: {
      if (Load<uint64_t>(p) == VDB_NULL_DOUBLE_BITS) return;
      const double v = Load<double>(p);
      if (exact) *exact = IsPlainNan(v);
      AppendNumber(out, v);
      return;
    }
    case VDB_CHAR:
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_STRING: {
      const void* zero = std::memchr(p, 0, static_cast<size_t>(c.size));
      out.append(
          reinterpret_cast<const char*>(p),
          zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - p) : static_cast<size_t>(c.size));
      return;
    }
    case VDB_DATE: {
      static const BYTE zeros[8] = {};
      if (c.size < 8 || std::memcmp(p, zeros, 8) == 0) return;
      const SDateTime t = Load<SDateTime>(p);
      // %u-%02u-%02u, built by hand: dates fill whole columns of large tables.
      AppendNumber(out, static_cast<unsigned>(t.date.year));
      out += '-';
      AppendTwoDigits(out, t.date.month);
      out += '-';
      AppendTwoDigits(out, t.date.day);
      if (Load<uint32_t>(p) != 0) {
        out += '+';
        AppendNumber(out, t.fraction);
        if (exact) *exact = IsPlainNan(t.fraction);
      }
      return;
    }
    case VDB_BINARY: {
      bool allZero = true;
      for (int i = 0; i < c.size && allZero; ++i) allZero = p[i] == 0;
      if (allZero) return;
      static const char digits[] = "0123456789abcdef";
      for (int i = 0; i < c.size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
      }
      return;
    }
    default:
      return;
  }
}

std::string FormatCell(const Column& c, const BYTE* data, bool* exact) {
  std::string text;
  AppendCell(text, c, data, exact);
  return text;
}

bool ParseCell(const Column& c, const std::string& text, BYTE* data, std::string* why) {
  BYTE* p = data + c.offset;
  long long n = 0;
  switch (c.type) {
    case VDB_BOOL:
      if (Trimmed(text) == "true" || Trimmed(text) == "false") {
        p[0] = Trimmed(text) == "true" ? 1 : 0;
        return true;
      }
      [[fallthrough]];
    case VDB_BYTE:
      if (!ParseInteger(text, 0, 255, &n, why)) return false;
      p[0] = static_cast<BYTE>(n);
      return true;
    case VDB_SHORT:
      if (!ParseInteger(text, INT16_MIN, INT16_MAX, &n, why)) return false;
      Store(p, static_cast<int16_t>(n));
      return true;
    case VDB_LONG:
      if (!ParseInteger(text, INT32_MIN, INT32_MAX, &n, why)) return false;
      Store(p, static_cast<int32_t>(n));
      return true;
    case VDB_DATAID:
      if (!ParseInteger(text, 0, UINT32_MAX, &n, why)) return false;
      Store(p, static_cast<uint32_t>(n));
      return true;
    case VDB_FLOAT: {
      if (Trimmed(text).empty()) {
        Store(p, VDB_NULL_FLOAT_BITS);
        return true;
      }
      float v = 0;
      if (!ParseReal(text, &v, why)) return false;
      Store(p, v);
      return true;
    }
    case VDB_DOUBLE: {
      if (Trimmed(text).empty()) {
        Store(p, VDB_NULL_DOUBLE_BITS);
        return true;
      }
      double v = 0;
      if (!ParseReal(text, &v, why)) return false;
      Store(p, v);
      return true;
    }
    case VDB_CHAR:
    case VDB_CHAR8:
    case VDB_CHAR16:
    case VDB_STRING:
      if (text.size() > static_cast<size_t>(c.size)) {
        *why = Quoted(text) + " is longer than the field's " + std::to_string(c.size) + " bytes";
        return false;
      }
      std::memset(p, 0, static_cast<size_t>(c.size));
      std::memcpy(p, text.data(), text.size());
      return true;
    case VDB_DATE: {
      if (Trimmed(text).empty()) {
        std::memset(p, 0, static_cast<size_t>(c.size));
        return true;
      }
      SDateTime t{};
      if (c.size < 8 || !ParseDate(text, &t, why)) return false;
      Store(p, t);
      return true;
    }
    case VDB_BINARY: {
      const std::string_view t = Trimmed(text);
      if (t.size() % 2 != 0 || t.size() > static_cast<size_t>(c.size) * 2) {
        *why = Quoted(text) + " is not " + std::to_string(c.size) + " bytes or fewer in hex digits";
        return false;
      }
      for (size_t i = 0; i < t.size(); ++i) {
        if (HexDigit(t[i]) < 0) {
          *why = Quoted(text) + " is not hex digits";
          return false;
        }
      }
      std::memset(p, 0, static_cast<size_t>(c.size));
      for (size_t i = 0; i < t.size(); i += 2)
        p[i / 2] = static_cast<BYTE>(HexDigit(t[i]) * 16 + HexDigit(t[i + 1]));
      return true;
    }
    default:
      if (!Trimmed(text).empty()) {
        *why = "the field's type " + std::to_string(c.type) + " holds no values";
        return false;
      }
      return true;
  }
}

}  // namespace vdtool
