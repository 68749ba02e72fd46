#include "vdkit/xml/xml_var.h"

#include <langinfo.h>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "vdkit/core/text_internal.h"
#include "vdkit/xml/decimal_internal.h"

using detail::EqualNoCase;

namespace detail {

// Reads plain decimals with from_chars, which rounds them as strtod does in
// the default rounding mode. Whatever it could read otherwise goes to atof:
// blanks, '+', hexadecimal, infinities and NaNs, anything after the number,
// a decimal point other than '.', another rounding mode, results beyond the
// normal range (where strtod sets errno).
double ReadDouble(const char* text) {
  const char* p = text + (*text == '-');
  if ((*p >= '0' && *p <= '9') || *p == '.') {
    const char* end = p + std::strlen(p);
    double v = 0;
    const std::from_chars_result r = std::from_chars(text, end, v);
    if (r.ec == std::errc() && r.ptr == end && std::fegetround() == FE_TONEAREST) {
      const char* radix = nl_langinfo(RADIXCHAR);
      // A zero stands only for digits that are all zeros: an underflow to
      // zero sets errno.
      bool zero = v == 0;
      for (const char* d = p; zero && d < end && *d != 'e' && *d != 'E'; ++d) zero = *d < '1' || *d > '9';
      if (radix[0] == '.' && radix[1] == 0 && (std::fabs(v) >= std::numeric_limits<double>::min() || zero))
        return v;
    }
  }
  return std::atof(text);
}

}  // namespace detail

namespace {

using detail::ReadDouble;
using detail::ToSigned;
using detail::ToUnsigned;

CString FormatDouble(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16lg", v);
  // Sixteen digits do not tell every pair of neighbouring doubles apart;
  // seventeen always do.
  if (!std::isnan(v) && ReadDouble(buf) != v) std::snprintf(buf, sizeof buf, "%.17lg", v);
  return CString(buf);
}

CString FormatFloat(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
  for (int digits = 7; digits <= 9 && !std::isnan(v); ++digits) {
    if (static_cast<float>(ReadDouble(buf)) == v) break;
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
  }
  return CString(buf);
}

bool IsPrintable(unsigned char c) {
  return c >= 0x20 && c < 0x7F;
}

bool IsPlainValue(LONG type) {
  return type >= CXmlVar::typeBool && type <= CXmlVar::typeDouble && type != 5 && type != 9;
}

}  // namespace

CXmlVar::~CXmlVar() = default;

bool CXmlVar::operator>>(CXmlVar& field) {
  if (!m_pText || !*m_pText) return false;
  const char* name = field.m_pName ? field.m_pName : "";
  for (const char* key = m_pText;;) {
    size_t i = 0;
    while (name[i] && key[i] &&
           detail::FoldAscii(static_cast<unsigned char>(key[i])) ==
               detail::FoldAscii(static_cast<unsigned char>(name[i])))
      ++i;
    const unsigned char next = static_cast<unsigned char>(key[i]);
    if (!name[i] && (next == ':' || !IsPrintable(next))) {
      // The value follows the separator; a key at the very end has none
      // (the terminator is not stepped over).
      const char* value = next ? key + i + 1 : key + i;
      const char* end = std::strchr(value, ';');
      const std::string text(value, end ? static_cast<size_t>(end - value) : std::strlen(value));
      field.SetValue(text.c_str());
      return true;
    }
    const char* semicolon = std::strchr(key, ';');
    if (!semicolon) return false;
    key = semicolon + 1;
  }
}

bool CXmlVar::GetValue(CString& out) {
  switch (m_nType) {
    case typeBool:
      out = *static_cast<bool*>(m_pTarget) ? "true" : "false";
      return true;
    case typeChar:
      out.Format("%d", static_cast<int>(static_cast<signed char>(*static_cast<char*>(m_pTarget))));
      return true;
    case typeShort:
      out.Format("%d", static_cast<int>(*static_cast<short*>(m_pTarget)));
      return true;
    case typeInt:
      if (m_bWide) {
        out.Format("%ld", *static_cast<long*>(m_pTarget));
      } else {
        out.Format("%d", *static_cast<int*>(m_pTarget));
      }
      return true;
    case typeUChar:
      out.Format("%u", static_cast<unsigned>(*static_cast<unsigned char*>(m_pTarget)));
      return true;
    case typeUShort:
      out.Format("%u", static_cast<unsigned>(*static_cast<unsigned short*>(m_pTarget)));
      return true;
    case typeUInt:
      if (m_bWide) {
        out.Format("%lu", *static_cast<unsigned long*>(m_pTarget));
      } else {
        out.Format("%u", *static_cast<unsigned*>(m_pTarget));
      }
      return true;
    case typeFloat:
      out = FormatFloat(*static_cast<float*>(m_pTarget));
      return true;
    case typeDouble:
      out = FormatDouble(*static_cast<double*>(m_pTarget));
      return true;
    case typeString:
      out = *static_cast<CString*>(m_pTarget);
      return true;
    case typeBuffer: {
      const char* buffer = static_cast<const char*>(m_pTarget);
      if (m_nBufferSize >= 0) {
        out = CString(buffer, static_cast<int>(strnlen(buffer, static_cast<size_t>(m_nBufferSize))));
      } else {
        out = buffer;
      }
      return true;
    }
    case typeFont: {
      const LOGFONTA& f = *static_cast<LOGFONTA*>(m_pTarget);
      out += "name:";
      out += CString(f.lfFaceName, static_cast<int>(strnlen(f.lfFaceName, LF_FACESIZE)));
      out += ';';
      const struct {
        const char* format;
        LONG value;
      } fields[] = {
          {"height:%d;", f.lfHeight},
          {"width:%d;", f.lfWidth},
          {"escapement:%d;", f.lfEscapement},
          {"weight:%d;", f.lfWeight},
          {"orientation:%d;", f.lfOrientation},
          {"italic:%d;", f.lfItalic},
          {"underline:%d;", f.lfUnderline},
          {"strikeOut:%d;", f.lfStrikeOut},
          {"charSet:%d;", f.lfCharSet},
          {"outPrecision:%d;", f.lfOutPrecision},
          {"clipPrecision:%d;", f.lfClipPrecision},
          {"quality:%d;", f.lfQuality},
          {"pitchAndFamily:%d", f.lfPitchAndFamily},
      };
      for (const auto& field : fields) {
        if (field.value != 0) out.AppendFormat(field.format, field.value);
      }
      return true;
    }
    case typePen: {
      const LOGPEN& p = *static_cast<LOGPEN*>(m_pTarget);
      out.Format("s:%d;w:%d;c:%d", static_cast<int>(p.lopnStyle), p.lopnWidth.x,
                 static_cast<int>(p.lopnColor));
      return true;
    }
    case typeBrush: {
      const LOGBRUSH& b = *static_cast<LOGBRUSH*>(m_pTarget);
      out.Format("s:%d;h:%d;c:%d", static_cast<int>(b.lbStyle),
                 static_cast<int>(static_cast<DWORD>(b.lbHatch)), static_cast<int>(b.lbColor));
      return true;
    }
    case typeRect: {
      const RECT& r = *static_cast<RECT*>(m_pTarget);
      out.Format("l:%d;t:%d;r:%d;b:%d", r.left, r.top, r.right, r.bottom);
      return true;
    }
    case typePoint: {
      const POINT& p = *static_cast<POINT*>(m_pTarget);
      out.Format("x:%d;y:%d", p.x, p.y);
      return true;
    }
    case typeSize: {
      const SIZE& s = *static_cast<SIZE*>(m_pTarget);
      out.Format("cx:%d;cy:%d", s.cx, s.cy);
      return true;
    }
    case typeDate:
      DateToString(*static_cast<SDate*>(m_pTarget), out);
      return true;
    case typeDateTime:
      DateToString(*static_cast<SDateTime*>(m_pTarget), out);
      return true;
    default:
      return false;
  }
}

bool CXmlVar::SetValue(const char* text) {
  const bool given = text != nullptr;
  if (!text) text = "";
  if (IsPlainValue(m_nType) && !*text) return given;  // an empty text leaves the value alone
  switch (m_nType) {
    case typeBool:
      *static_cast<bool*>(m_pTarget) = EqualNoCase(text, "true");
      return given;
    case typeChar:
      *static_cast<char*>(m_pTarget) = static_cast<char>(ToSigned<int32_t>(text));
      return given;
    case typeShort:
      *static_cast<short*>(m_pTarget) = static_cast<short>(ToSigned<int32_t>(text));
      return given;
    case typeInt:
      if (m_bWide) {
        *static_cast<long*>(m_pTarget) = ToSigned<long>(text);
      } else {
        *static_cast<int*>(m_pTarget) = ToSigned<int32_t>(text);
      }
      return given;
    case typeUChar:
      *static_cast<unsigned char*>(m_pTarget) = static_cast<unsigned char>(ToUnsigned<uint32_t>(text));
      return given;
    case typeUShort:
      *static_cast<unsigned short*>(m_pTarget) = static_cast<unsigned short>(ToUnsigned<uint32_t>(text));
      return given;
    case typeUInt:
      if (m_bWide) {
        *static_cast<unsigned long*>(m_pTarget) = ToUnsigned<unsigned long>(text);
      } else {
        *static_cast<unsigned*>(m_pTarget) = ToUnsigned<uint32_t>(text);
      }
      return given;
    case typeFloat:
      *static_cast<float*>(m_pTarget) = static_cast<float>(ReadDouble(text));
      return given;
    case typeDouble:
      *static_cast<double*>(m_pTarget) = ReadDouble(text);
      return given;
    case typeString:
      *static_cast<CString*>(m_pTarget) = text;
      return true;
    case typeBuffer: {
      char* buffer = static_cast<char*>(m_pTarget);
      const size_t length = std::strlen(text);
      if (m_nBufferSize < 0) {
        std::memcpy(buffer, text, length + 1);
        return true;
      }
      if (m_nBufferSize == 0) return false;
      const size_t fits = length < static_cast<size_t>(m_nBufferSize) ? length : m_nBufferSize - 1u;
      std::memcpy(buffer, text, fits);
      buffer[fits] = 0;
      return fits == length;
    }
    case typeFont: {
      LOGFONTA& f = *static_cast<LOGFONTA*>(m_pTarget);
      f = LOGFONTA();
      CXmlVar source(text);
      source >> CXmlVar("name", f.lfFaceName, LF_FACESIZE);
      source >> CXmlVar("height", f.lfHeight);
      source >> CXmlVar("width", f.lfWidth);
      source >> CXmlVar("escapement", f.lfEscapement);
      source >> CXmlVar("weight", f.lfWeight);
      source >> CXmlVar("orientation", f.lfOrientation);
      source >> CXmlVar("italic", f.lfItalic);
      source >> CXmlVar("underline", f.lfUnderline);
      source >> CXmlVar("strikeOut", f.lfStrikeOut);
      source >> CXmlVar("charSet", f.lfCharSet);
      source >> CXmlVar("outPrecision", f.lfOutPrecision);
      source >> CXmlVar("clipPrecision", f.lfClipPrecision);
      source >> CXmlVar("quality", f.lfQuality);
      source >> CXmlVar("pitchAndFamily", f.lfPitchAndFamily);
      return given;
    }
    case typePen: {
      LOGPEN& p = *static_cast<LOGPEN*>(m_pTarget);
      CXmlVar source(text);
      source >> CXmlVar("s", p.lopnStyle);
      source >> CXmlVar("w", p.lopnWidth.x);
      source >> CXmlVar("c", p.lopnColor);
      return given;
    }
    case typeBrush: {
      LOGBRUSH& b = *static_cast<LOGBRUSH*>(m_pTarget);
      CXmlVar source(text);
      source >> CXmlVar("s", b.lbStyle);
      // The hatch is pointer-sized; its text form is a signed 32-bit number.
      LONG hatch = static_cast<LONG>(static_cast<DWORD>(b.lbHatch));
      if (source >> CXmlVar("h", hatch)) b.lbHatch = static_cast<DWORD>(hatch);
      source >> CXmlVar("c", b.lbColor);
      return given;
    }
    case typeRect: {
      RECT& r = *static_cast<RECT*>(m_pTarget);
      CXmlVar source(text);
      source >> CXmlVar("l", r.left);
      source >> CXmlVar("t", r.top);
      source >> CXmlVar("r", r.right);
      source >> CXmlVar("b", r.bottom);
      return given;
    }
    case typePoint: {
      POINT& p = *static_cast<POINT*>(m_pTarget);
      CXmlVar source(text);
      source >> CXmlVar("x", p.x);
      source >> CXmlVar("y", p.y);
      return given;
    }
    case typeSize: {
      SIZE& s = *static_cast<SIZE*>(m_pTarget);
      CXmlVar source(text);
      source >> CXmlVar("cx", s.cx);
      source >> CXmlVar("cy", s.cy);
      return given;
    }
    case typeDate:
      StringToDate(text, static_cast<SDate*>(m_pTarget));
      return given;
    case typeDateTime:
      StringToDate(text, static_cast<SDateTime*>(m_pTarget));
      return given;
    default:
      return false;
  }
}
