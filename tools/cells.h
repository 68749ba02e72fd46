// Table values as text cells, exactly: how the listings and the CSV form cut
// a record into columns, write each column's bytes as text, and read them
// back into the same bytes.
//
// Columns: a text field (CHAR, STRING) and a BINARY field take one column for
// their whole data; every other field takes one column per value, so that a
// field "Depth:DOUBLE*3" has the columns Depth, Depth#2 and Depth#3.
//
// Cell texts (empty means "no value"):
//   BOOL, BYTE         0 .. 255                 SHORT, LONG     signed decimal
//   DATAID             0 .. 4294967295          CHAR, STRING    the text up to its first zero byte
//   FLOAT, DOUBLE      the shortest decimal that reads back to the same number; empty for the
//                      null marker 9.999e-30; nan, -nan, inf, -inf
//   CHAR8, CHAR16      the text of that value up to its first zero byte
//   DATE               year-month-day, e.g. 2004-03-07, with "+fraction" when the time of day is
//                      not 0 (2004-03-07+0.25); empty when all eight bytes are zero
//   BINARY             two hex digits per byte; empty when all bytes are zero
//
//   std::vector<Column> cols = PlanColumns(*table.GetFieldSet());
//   bool exact;
//   std::string text = FormatCell(cols[0], record->GetData(), &exact);
//   if (!ParseCell(cols[0], text, data, &why)) ...       // why: "'x' is not a number"
#pragma once

#include <string>
#include <vector>

#include "vdkit/platform/types.h"

class CVdbFieldSet;
struct SVdbField;

namespace vdtool {

struct Column {
  int field = 0;        // index of the field in its set
  int value = 0;        // which value of the field (0 for whole-field columns)
  int offset = 0;       // byte offset of the column's data in a record's data
  int size = 0;         // bytes the column covers
  BYTE type = 0;        // the field's type code
  bool first = true;    // the field's first column (its header is the definition)
  bool numeric = true;  // right-aligned in listings; its texts never need CSV quotes
  std::string name;     // "Depth" for the first column, "Depth#2" for the next
};

// The columns of a field set, in field order.
std::vector<Column> PlanColumns(const CVdbFieldSet& fs);
// How many of them a field of this type and count takes.
int ColumnCount(int type, int count);

// The upper-case name of a type code ("DOUBLE"); null for a code without one.
const char* UpperTypeName(int type);
// The definition text of a field: "Depth:DOUBLE", "Depth:DOUBLE*3"; the type
// appears as "?<code>" for a code without a name.
std::string Definition(const SVdbField& f);

// The text of a column of one record's data. `exact`, when given, is set to
// false when the text cannot give back the same bytes (a not-a-number with
// an unusual payload); bytes after a text's first zero are not part of its
// value and do not count.
std::string FormatCell(const Column& c, const BYTE* data, bool* exact = nullptr);
// The same text appended to `out`.
void AppendCell(std::string& out, const Column& c, const BYTE* data, bool* exact = nullptr);
// Stores the cell's value into the column's bytes of `data`. False, with
// `why` saying what is wrong and the bytes unchanged, when the text is not a
// value of the column's type or does not fit.
bool ParseCell(const Column& c, const std::string& text, BYTE* data, std::string* why);

}  // namespace vdtool
