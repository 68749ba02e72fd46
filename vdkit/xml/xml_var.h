/// @file
/// CXmlVar binds a name to one of the caller's variables and converts the
/// variable to and from text; the XML archive writes a bound variable as a
/// data element or an attribute and reads it back by name. Composite records
/// (rectangle, point, size, pen, brush, font) are written as one text of
/// key:value pairs separated by ";", and a text-only CXmlVar picks single keys
/// out of such a text.
///
/// Ownership: nothing. The name, the variable and the text belong to the
/// caller and must outlive the CXmlVar; copies refer to the same ones.
///
/// Failure: GetValue is false only for a variable that converts nothing (a
/// text-only one); SetValue is false for a null text (except for strings,
/// which become empty) and for what converts nothing; a text that does not
/// parse still gives true, as the framework's readers did.
///
/// ```
/// RECT rc = {1, 2, 3, 4};
/// CString text;
/// CXmlVar("bounds", rc).GetValue(text);          // "l:1;t:2;r:3;b:4"
/// int top = 0;
/// CXmlVar("t:20;l:10") >> CXmlVar("t", top);    // top == 20
/// ```
///
/// Text forms of plain values: bool "true"/"false" (reading: "true" in any
/// case is true, any other text false); integers in decimal; floats and
/// doubles in the shortest "%g" form from "%g" (floats) or "%.16lg" (doubles)
/// upward that reads back to the same value; strings as they stand; dates as
/// DateToString writes them.
#pragma once

#include "vdkit/core/date.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/gdi.h"
#include "vdkit/platform/types.h"

/// A named binding of one variable to its XML text, both ways (see the file's
/// description).
class VDKIT_API CXmlVar {
 public:
  /// The type codes; 5, 9, 14, 15 and 16 are not used.
  enum Type {
    typeText = 0,  ///< a text-only variable: converts nothing, answers operator>>
    typeBool = 1,
    typeChar = 2,
    typeShort = 3,
    typeInt = 4,  ///< int and long
    typeUChar = 6,
    typeUShort = 7,
    typeUInt = 8,  ///< unsigned int and unsigned long
    typeFloat = 10,
    typeDouble = 11,
    typeString = 12,   ///< CString
    typeBuffer = 13,   ///< a char buffer
    typeFont = 17,     ///< "name:%s;height:%d;..." (fields that are 0 left out)
    typePen = 18,      ///< "s:%d;w:%d;c:%d"  style, width, colour
    typeBrush = 19,    ///< "s:%d;h:%d;c:%d"  style, hatch, colour
    typeRect = 20,     ///< "l:%d;t:%d;r:%d;b:%d"
    typePoint = 21,    ///< "x:%d;y:%d"
    typeSize = 22,     ///< "cx:%d;cy:%d"
    typeDate = 23,     ///< SDate
    typeDateTime = 24  ///< SDateTime
  };

  // ---- Construction -------------------------------------------------------
  /// A binding named `name` to the variable v, which must outlive it.
  ///@{
  CXmlVar(const char* name, bool& v) : CXmlVar(typeBool, name, &v) {}
  CXmlVar(const char* name, char& v) : CXmlVar(typeChar, name, &v) {}
  CXmlVar(const char* name, short& v) : CXmlVar(typeShort, name, &v) {}
  CXmlVar(const char* name, int& v) : CXmlVar(typeInt, name, &v) {}
  ///@}
  /// long has 64 bits here (32 on the framework's platform): it keeps the
  /// type code of int, and is converted at its full width.
  CXmlVar(const char* name, long& v) : CXmlVar(typeInt, name, &v) { m_bWide = true; }
  /// A binding named `name` to the variable v, which must outlive it.
  ///@{
  CXmlVar(const char* name, unsigned char& v) : CXmlVar(typeUChar, name, &v) {}
  CXmlVar(const char* name, unsigned short& v) : CXmlVar(typeUShort, name, &v) {}
  CXmlVar(const char* name, unsigned int& v) : CXmlVar(typeUInt, name, &v) {}
  CXmlVar(const char* name, unsigned long& v) : CXmlVar(typeUInt, name, &v) { m_bWide = true; }
  CXmlVar(const char* name, float& v) : CXmlVar(typeFloat, name, &v) {}
  CXmlVar(const char* name, double& v) : CXmlVar(typeDouble, name, &v) {}
  CXmlVar(const char* name, CString& v) : CXmlVar(typeString, name, &v) {}
  ///@}
  /// A buffer of unknown size: SetValue copies the whole text into it. Kept
  /// for existing callers; prefer the bounded form below.
  CXmlVar(const char* name, char* buffer) : CXmlVar(typeBuffer, name, buffer) {}
  /// vdkit: a buffer of bufferSize bytes. SetValue writes at most
  /// bufferSize - 1 characters and a terminator, and is false when it had to
  /// cut the text.
  CXmlVar(const char* name, char* buffer, int bufferSize) : CXmlVar(typeBuffer, name, buffer) {
    m_nBufferSize = bufferSize < 0 ? 0 : bufferSize;
  }
  /// A binding of a record, written as key:value pairs (see Type).
  ///@{
  CXmlVar(const char* name, LOGFONTA& v) : CXmlVar(typeFont, name, &v) {}
  CXmlVar(const char* name, LOGPEN& v) : CXmlVar(typePen, name, &v) {}
  CXmlVar(const char* name, LOGBRUSH& v) : CXmlVar(typeBrush, name, &v) {}
  CXmlVar(const char* name, RECT& v) : CXmlVar(typeRect, name, &v) {}
  CXmlVar(const char* name, POINT& v) : CXmlVar(typePoint, name, &v) {}
  CXmlVar(const char* name, SIZE& v) : CXmlVar(typeSize, name, &v) {}
  CXmlVar(const char* name, SDate& v) : CXmlVar(typeDate, name, &v) {}
  CXmlVar(const char* name, SDateTime& v) : CXmlVar(typeDateTime, name, &v) {}
  ///@}
  /// A text-only variable holding a key:value text; no name, no variable.
  explicit CXmlVar(const char* text) : m_pText(text) {}

  /// Copies refer to the same name, variable and text.
  ///@{
  CXmlVar(const CXmlVar&) = default;
  CXmlVar& operator=(const CXmlVar&) = default;
  ///@}
  virtual ~CXmlVar();

  // ---- Access -----------------------------------------------------------------
  const char* GetName() const { return m_pName; }  ///< the name; null for a text-only variable
  /// The text of a text-only variable; null for the others.
  const char* GetString() const { return m_pText; }
  /// vdkit: the type code.
  int GetType() const { return m_nType; }

  // ---- Conversion -------------------------------------------------------------
  /// Converts the text into the variable. A null text counts as empty; it
  /// gives false except for strings and buffers (which become empty, true).
  /// An empty text leaves booleans and numbers unchanged. A composite takes
  /// the keys present and leaves the others unchanged; a font is cleared first,
  /// so its missing keys read as 0. Dates take what StringToDate makes of the
  /// text. True whenever a text came in (a bounded buffer: unless it was cut).
  virtual bool SetValue(const char* text);
  /// Writes the variable's text form into `out` (a font's form is appended to
  /// what `out` holds; every other form replaces it). False, and `out`
  /// unchanged, for a text-only variable.
  virtual bool GetValue(CString& out);

  /// Picks the key named like `field` (ignoring ASCII case) out of this
  /// text-only variable's text and gives its value to field.SetValue: true.
  /// False, and `field` unchanged, when the text is null or empty or has no
  /// such key. A key matches only whole: "c" does not match "cx:1".
  bool operator>>(CXmlVar& field);
  /// The same for a temporary binding: text >> CXmlVar("x", pt.x).
  bool operator>>(CXmlVar&& field) { return *this >> field; }

 private:
  CXmlVar(Type type, const char* name, void* target) : m_pName(name), m_pTarget(target), m_nType(type) {}

  const char* m_pName = nullptr;
  void* m_pTarget = nullptr;
  LONG m_nType = typeText;
  const char* m_pText = nullptr;
  int m_nBufferSize = -1;  ///< typeBuffer: bytes at the target, -1 when unknown
  bool m_bWide = false;    ///< typeInt/typeUInt bound to a 64-bit long
};
