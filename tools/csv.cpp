#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "cells.h"
#include "long_work.h"
#include "tool.h"
#include "vdkit/vdb/table.h"

namespace vdtool {

namespace {

constexpr char kIdHeader[] = "@id";

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// One field definition of the header: name[:TYPE][*count].
struct FieldDefinition {
  std::string name;
  int type = VDB_FLOAT;
  int count = 1;
};

FieldDefinition ParseDefinition(const std::string& path, const std::string& cell, int column) {
  FieldDefinition d;
  std::string text = Trim(cell);
  const size_t star = text.find('*');
  if (star != std::string::npos) {
    const std::string count = Trim(text.substr(star + 1));
    long long n = 0;
    bool digits = !count.empty() && count.size() <= 9;
    for (const char c : count) digits = digits && c >= '0' && c <= '9';
    if (digits) n = std::stoll(count);
    if (!digits || n < 1)
      FailFile(path, Format("line 1, column %d: the count in %s is not a whole number of at least 1", column,
                            Quoted(cell).c_str()));
    d.count = static_cast<int>(n);
    text.resize(star);
  }
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    const std::string type = Trim(text.substr(colon + 1));
    d.type = GetVdbUpperTypeCode(type.c_str());
    if (d.type == 0)
      FailFile(path, Format("line 1, column %d: unknown type %s in %s", column, Quoted(type).c_str(),
                            Quoted(cell).c_str()));
    text.resize(colon);
  }
  d.name = Trim(text);
  if (d.name.empty()) FailFile(path, Format("line 1, column %d: a field definition without a name", column));
  // The field set keeps names as C strings: the bytes after a zero would be lost.
  if (d.name.find('\0') != std::string::npos)
    FailFile(path, Format("line 1, column %d: the field name %s holds a zero byte", column,
                          Quoted(d.name).c_str()));
  return d;
}

}  // namespace

CsvReader::CsvReader(const std::string& path, ByteSpan bytes, char separator)
    : m_path(path), m_bytes(bytes), m_separator(separator) {
  if (m_bytes.size() >= 3 && m_bytes[0] == 0xEF && m_bytes[1] == 0xBB && m_bytes[2] == 0xBF) m_at = 3;
}

bool CsvReader::Next(std::vector<std::string>& cells) {
  if (m_at >= m_bytes.size()) {
    cells.clear();
    return false;
  }
  m_rowLine = m_line;
  size_t n = 0;
  for (;;) {
    if (n == cells.size()) cells.emplace_back();
    std::string& cell = cells[n++];
    cell.clear();
    bool quoted = false;
    if (m_at < m_bytes.size() && m_bytes[m_at] == '"') {
      quoted = true;
      ++m_at;
      for (;;) {
        if (m_at >= m_bytes.size())
          FailFile(m_path, Format("line %d: a quoted cell is not closed", m_rowLine));
        const char c = static_cast<char>(m_bytes[m_at++]);
        if (c == '"') {
          if (m_at < m_bytes.size() && m_bytes[m_at] == '"') {
            cell += '"';
            ++m_at;
            continue;
          }
          break;
        }
        if (c == '\n') ++m_line;
        cell += c;
      }
    }
    // Unquoted text, or what follows a closing quote, up to the separator.
    const size_t start = m_at;
    while (m_at < m_bytes.size()) {
      const char c = static_cast<char>(m_bytes[m_at]);
      if (c == m_separator || c == '\n' ||
          (c == '\r' && m_at + 1 < m_bytes.size() && m_bytes[m_at + 1] == '\n'))
        break;
      if (quoted) FailFile(m_path, Format("line %d: text after the closing quote of a cell", m_line));
      if (c == '\r') FailFile(m_path, Format("line %d: a carriage return outside quotes", m_line));
      ++m_at;
    }
    if (!quoted) cell.assign(reinterpret_cast<const char*>(m_bytes.data()) + start, m_at - start);
    if (m_at < m_bytes.size() && m_bytes[m_at] == m_separator) {
      ++m_at;
      continue;
    }
    if (m_at < m_bytes.size()) {
      if (m_bytes[m_at] == '\r') ++m_at;
      ++m_at;  // the line feed
      ++m_line;
    }
    cells.resize(n);
    return true;
  }
}

void AppendCsvCell(std::string& row, const std::string& cell) {
  const bool quote =
      !cell.empty() && (cell.find_first_of(",\"\r\n") != std::string::npos || cell.front() == ' ' ||
                        cell.back() == ' ' || cell.front() == '\t' || cell.back() == '\t');
  if (!quote) {
    row += cell;
    return;
  }
  row += '"';
  for (const char c : cell) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

void WriteCsvTo(CVdbTable& table, const std::string& path, std::string* firstInexact,
                const std::function<void(const std::string&)>& sink) {
  constexpr size_t kPiece = 1 << 20;
  if (firstInexact) firstInexact->clear();
  const CVdbFieldSet& fs = *table.GetFieldSet();
  for (int i = 0; i < fs.GetSize(); ++i) {
    const SVdbField& f = *fs.GetAt(i);
    if (!UpperTypeName(f.m_nType))
      FailFile(path, Format("field %s has the type code %d, which has no name a CSV header could give",
                            Quoted(f.GetName()).c_str(), f.m_nType));
    if (f.m_nCount < 1)
      FailFile(path, Format("field %s has the count %d, which a CSV header cannot give",
                            Quoted(f.GetName()).c_str(), static_cast<int>(f.m_nCount)));
  }
  const std::vector<Column> columns = PlanColumns(fs);

  DWORD largestId = 0;
  for (LONG r = 0; r < table.GetRecordCount(); ++r)
    largestId = std::max(largestId, table.GetRecordAt(r)->m_nID);
  std::string out = kIdHeader;
  if (table.GetMaxID() > largestId) out += "=" + std::to_string(table.GetMaxID());
  for (const Column& c : columns) {
    out += ',';
    AppendCsvCell(out, c.first ? Definition(*fs.GetAt(c.field)) : c.name);
  }
  out += '\n';

  out.reserve(kPiece + 4096);
  std::string cell;
  ProgressPhase phase("writing CSV", static_cast<uint64_t>(table.GetRecordCount()));
  for (LONG r = 0; r < table.GetRecordCount(); ++r) {
    phase.Set(static_cast<uint64_t>(r));
    const SVdbRecord* record = table.GetRecordAt(r);
    char id[16];
    out.append(id, std::to_chars(id, id + sizeof id, record->m_nID).ptr);
    for (const Column& c : columns) {
      bool exact = true;
      out += ',';
      if (c.numeric) {
        // Numbers and dates never hold a separator or a quote.
        AppendCell(out, c, record->GetData(), &exact);
      } else {
        cell.clear();
        AppendCell(cell, c, record->GetData(), &exact);
        AppendCsvCell(out, cell);
      }
      if (!exact && firstInexact && firstInexact->empty())
        *firstInexact = Format("record %u, column %s: %s", record->m_nID, c.name.c_str(),
                               FormatCell(c, record->GetData()).c_str());
    }
    out += '\n';
    if (out.size() >= kPiece) {
      sink(out);
      out.clear();
    }
  }
  if (!out.empty()) sink(out);
}

std::string WriteCsv(CVdbTable& table, const std::string& path, std::string* firstInexact) {
  std::string text;
  WriteCsvTo(table, path, firstInexact, [&text](const std::string& piece) { text += piece; });
  return text;
}

std::unique_ptr<CVdbTable> ReadCsv(const std::string& path, ByteSpan bytes, const std::string& tableName,
                                   double memoryBudget) {
  CsvReader reader(path, bytes);
  std::vector<std::string> header;
  if (!reader.Next(header)) FailFile(path, "empty file: a CSV table needs a header row of field definitions");

  auto table = std::make_unique<CVdbTable>();
  table->SetName(tableName.c_str());
  size_t first = 0;
  bool hasIds = false;
  DWORD lastId = 0;
  if (header[0].compare(0, 3, kIdHeader) == 0) {
    hasIds = true;
    first = 1;
    const std::string rest = header[0].substr(3);
    if (!rest.empty()) {
      Column idColumn;
      idColumn.type = VDB_DATAID;
      idColumn.size = 4;
      BYTE value[4];
      std::string why;
      if (rest[0] != '=' || !ParseCell(idColumn, rest.substr(1), value, &why))
        FailFile(path, "line 1, column 1: " + Quoted(header[0]) + " is not @id or @id=<last identifier>");
      std::memcpy(&lastId, value, 4);
    }
  }
  for (size_t i = first; i < header.size();) {
    const int column = static_cast<int>(i + 1);
    const FieldDefinition d = ParseDefinition(path, header[i], column);
    if (table->GetField(d.name.c_str()))
      FailFile(path, Format("line 1, column %d: a second field named %s", column, Quoted(d.name).c_str()));
    // Checked before the field is made: a count in a short header must not
    // size the column plan.
    const size_t taken = static_cast<size_t>(ColumnCount(d.type, d.count));
    if (i + taken > header.size())
      FailFile(path, Format("line 1: field %s has %d values, but the header ends before its %d columns",
                            Quoted(d.name).c_str(), d.count, static_cast<int>(taken)));
    if (!table->AddField(d.name.c_str(), d.type, d.count))
      FailFile(path,
               Format("line 1, column %d: the fields would make records larger than a table holds", column));
    i += taken;
  }
  if (table->GetFieldCount() == 0) FailFile(path, "the header row defines no fields");

  const std::vector<Column> columns = PlanColumns(*table->GetFieldSet());
  const size_t cellsPerRow = columns.size() + first;
  Column idColumn;
  idColumn.type = VDB_DATAID;
  idColumn.size = 4;
  std::vector<std::string> cells;
  DWORD largestId = 0;
  // Every row makes a record of the header's whole width, however short its
  // cells: a few bytes of text can ask for gigabytes. Refused before the
  // records take more memory than there is.
  const double perRecord = static_cast<double>(table->GetFieldSet()->GetRecordSize()) + 32;
  const double budget = memoryBudget > 0 ? memoryBudget : AvailableMemory();
  double rows = 0;
  while (reader.Next(cells)) {
    if (cells.size() != cellsPerRow)
      FailFile(path, Format("line %d: %d cells where the header has %d", reader.RowLine(),
                            static_cast<int>(cells.size()), static_cast<int>(cellsPerRow)));
    if (++rows * perRecord > budget)
      FailFile(path, Format("line %d: the records up to here need %s of memory (%s each, as wide as the "
                            "header's fields); %s are available",
                            reader.RowLine(), ByteSize(rows * perRecord).c_str(), ByteSize(perRecord).c_str(),
                            ByteSize(budget).c_str()));
    table->AddNew();
    SVdbRecord* record = table->GetRecord();
    std::string why;
    if (hasIds) {
      BYTE id[4];
      if (!ParseCell(idColumn, cells[0], id, &why))
        FailFile(path, Format("line %d, column @id: %s", reader.RowLine(), why.c_str()));
      DWORD value = 0;
      std::memcpy(&value, id, 4);
      table->SetRecordID(value);
      largestId = std::max(largestId, value);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!ParseCell(columns[i], cells[i + first], record->GetData(), &why))
        FailFile(path,
                 Format("line %d, column %s: %s", reader.RowLine(), columns[i].name.c_str(), why.c_str()));
    }
  }
  if (hasIds) table->SetMaxID(std::max(lastId, largestId));
  table->MoveToFirst();
  return table;
}

std::vector<std::string> CsvOmissions(const CVdbTable& table) {
  std::vector<std::string> out;
  const CVdbFieldSet& fs = *table.GetFieldSet();
  if (!fs.m_strName.IsEmpty() || !fs.m_strLabel.IsEmpty()) out.push_back("the field-set name and label");
  struct Attribute {
    const char* phrase;
    int count;
  };
  Attribute attrs[] = {{"alias", 0},      {"unit", 0},        {"source text", 0},
                       {"value text", 0}, {"extra texts", 0}, {"edit mode or flag", 0},
                       {"options", 0},    {"limits", 0}};
  for (int i = 0; i < fs.GetSize(); ++i) {
    const SVdbField& f = *fs.GetAt(i);
    attrs[0].count += !f.m_strAlias.IsEmpty();
    attrs[1].count += !f.m_strUnit.IsEmpty();
    attrs[2].count += !f.m_strSource.IsEmpty();
    attrs[3].count += !f.m_strValue.IsEmpty();
    attrs[4].count += !f.m_strExtra1.IsEmpty() || !f.m_strExtra2.IsEmpty();
    attrs[5].count += f.m_nEdit != 0 || f.m_nFlag != 0;
    attrs[6].count += !f.m_strOptions.IsEmpty();
    attrs[7].count += !IsVdbNull(f.m_fMin) || !IsVdbNull(f.m_fMax);
  }
  for (const Attribute& a : attrs)
    if (a.count > 0)
      out.push_back(Format("the %s of %d field%s", a.phrase, a.count, a.count == 1 ? "" : "s"));
  return out;
}

}  // namespace vdtool
