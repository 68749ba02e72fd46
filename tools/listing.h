// Readable listings of the library's objects: aligned columns, fields and
// records of tables, table sets, data sets, key-string sets and raw bytes.
// Everything goes to Out().
#pragma once

#include <string>
#include <vector>

#include "vdkit/platform/types.h"

class CVdbTable;
class CVdbTableSet;
class CVdbDataSet;
class CVdbFieldSet;
class CKeyStringArraySet;
class CVDFile;

namespace vdtool {

// Rows of cells printed in aligned columns; numeric columns align right.
class Grid {
 public:
  Grid(std::vector<std::string> headers, std::vector<bool> rightAligned);
  void Row(std::vector<std::string> cells);
  void Print(const std::string& indent) const;
  size_t RowCount() const { return m_rows.size(); }

 private:
  std::vector<std::string> m_headers;
  std::vector<bool> m_right;
  std::vector<std::vector<std::string>> m_rows;
};

// "Depth" as "'Depth'", or "(none)" for an empty text.
std::string NameOrNone(const char* text);

// The fields of a set: index, name, type, count, offset, size, unit, alias
// (and the further attributes that are set).
void PrintFields(const CVdbFieldSet& fs, const std::string& indent);
// One line about a table: name, records, last identifier, record size.
std::string TableSummary(const CVdbTable& table);
// The records in aligned columns (identifier first), or as CSV. A table
// without fields prints a note instead.
void PrintRecords(CVdbTable& table, const std::string& indent, bool csv);
// What a table set lists: its tables with their fields (and records), or
// only its definitions and relations (when its tables are listed elsewhere).
enum class SetParts { tables, tablesAndRecords, definitionsOnly };
void PrintTableSet(CVdbTableSet& set, const std::string& indent, SetParts parts);
// The values of a data set, by kind, and its value limits.
void PrintDataSet(CVdbDataSet& set, const std::string& indent);
// The keys (at most `limit` of them), each with its values when `values`.
void PrintKeyStrings(CKeyStringArraySet& set, const std::string& indent, bool values, size_t limit);
// Sixteen bytes a line: offset, hex and the printable characters.
void PrintHex(const BYTE* data, size_t size, const std::string& indent);
// A loaded tree, one line per object: name (indented by depth), class, type
// and a few words on its content.
void PrintObjectTree(CVDFile& root, const std::string& indent);
// A few words on a loaded object's own content ("3 records, 5 fields"); empty
// for kinds the program does not know.
std::string ContentSummary(CVDFile& object);
// What the program knows how to show of a loaded object's own content: a
// table's fields and records, a table set's definitions and relations. False
// when it has nothing of its own to show.
bool PrintObjectContent(CVDFile& object, const std::string& indent);

}  // namespace vdtool
