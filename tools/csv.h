// A table as comma-separated values: a header row of field definitions, then
// one row per record, every value kept exactly (see cells.h for the cell
// texts).
//
//   @id,Depth:DOUBLE,Name:STRING*32,T:FLOAT*2,T#2
//   1,12.5,W-1,3.25,
//   2,,"a, b",0,1e-05
//
// The first header cell "@id" gives the column of record identifiers; "@id=N"
// also records the last identifier issued when it is above every record's.
// A file without it gets identifiers 1, 2, ... in row order. Each field's
// first header cell is its definition name[:TYPE][*count] as the field set
// reads it (without a type: FLOAT); a field with several values in columns of
// their own has one further header cell per further value, whose text is not
// read (the writer puts name#2, name#3, ...). Cells are quoted with '"' when
// they hold a comma, a quote, a line break or blanks at either end; a quote
// inside a quoted cell is doubled. Lines end with "\n" ("\r\n" is read too).
//
// What CSV does not carry: the table's name and display text, the field-set
// name and label, and each field's alias, unit, limits and other attributes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tool.h"
#include "vdkit/platform/types.h"

class CVdbTable;

namespace vdtool {

// The CSV text of the table. Failure (status 1, naming `path`) when a field
// cannot be written as a definition (a type without a name, a count below 1).
// `firstInexact`, when given, receives a description of the first value whose
// text cannot give back its exact bytes (empty when every value can).
std::string WriteCsv(CVdbTable& table, const std::string& path, std::string* firstInexact);

// Reads a CSV table; the table is named `tableName`. Failure (status 1) with
// the line and column of the first thing that is not valid, or of the row
// whose record would take the table past `memoryBudget` bytes (0: the memory
// available, see AvailableMemory).
std::unique_ptr<CVdbTable> ReadCsv(const std::string& path, ByteSpan bytes, const std::string& tableName,
                                   double memoryBudget = 0);

// The same text handed to `sink` in pieces of about a megabyte, so that a
// large table's text need not be held whole.
void WriteCsvTo(CVdbTable& table, const std::string& path, std::string* firstInexact,
                const std::function<void(const std::string&)>& sink);

// Splits separated text into rows of cells, one row at a time, keeping the
// line number each row starts on for messages. Cells may be quoted with '"'
// (a quote inside doubled) and then hold separators and line breaks; lines
// end with "\n" or "\r\n"; a byte-order mark at the start is passed over.
// Failure (status 1, naming the line) for an unclosed quote, text after a
// closing quote, or a carriage return outside quotes.
class CsvReader {
 public:
  CsvReader(const std::string& path, ByteSpan bytes, char separator = ',');
  // The next row; false at the end of the text. The strings of `cells` are
  // reused from row to row.
  bool Next(std::vector<std::string>& cells);
  int RowLine() const { return m_rowLine; }

 private:
  const std::string& m_path;
  ByteSpan m_bytes;
  char m_separator;
  size_t m_at = 0;
  int m_line = 1;
  int m_rowLine = 1;
};

// Appends one cell to a CSV row, quoted when it needs to be.
void AppendCsvCell(std::string& row, const std::string& cell);

// Things CSV leaves behind for this table: a list of phrases such as
// "the alias of 2 fields"; empty when CSV holds all of it.
std::vector<std::string> CsvOmissions(const CVdbTable& table);

}  // namespace vdtool
