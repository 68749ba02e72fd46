#include "listing.h"

#include <algorithm>

#include "cells.h"
#include "csv.h"
#include "demo_classes.h"
#include "long_work.h"
#include "raster.h"
#include "tool.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/dataobj/mmx.h"
#include "vdkit/dataobj/rc_data.h"
#include "vdkit/geometry/polyline.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"

namespace vdtool {

Grid::Grid(std::vector<std::string> headers, std::vector<bool> rightAligned)
    : m_headers(std::move(headers)), m_right(std::move(rightAligned)) {
  m_right.resize(m_headers.size(), false);
}

void Grid::Row(std::vector<std::string> cells) {
  cells.resize(m_headers.size());
  m_rows.push_back(std::move(cells));
}

void Grid::Print(const std::string& indent) const {
  std::vector<size_t> width(m_headers.size());
  for (size_t c = 0; c < m_headers.size(); ++c) width[c] = m_headers[c].size();
  for (const auto& row : m_rows)
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text = indent;
    for (size_t c = 0; c < cells.size(); ++c) {
      const size_t pad = width[c] - cells[c].size();
      const bool last = c + 1 == cells.size();
      if (m_right[c]) text.append(pad, ' ');
      text += cells[c];
      if (!m_right[c] && !last) text.append(pad, ' ');
      if (!last) text += "  ";
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    Out().Line(text);
  };
  line(m_headers);
  for (const auto& row : m_rows) line(row);
}

std::string NameOrNone(const char* text) {
  return text && *text ? Quoted(text) : std::string("(none)");
}

void PrintFields(const CVdbFieldSet& fs, const std::string& indent) {
  if (fs.GetSize() == 0) {
    Out().Line(indent + "no fields");
    return;
  }
  Grid grid({"#", "FIELD", "TYPE", "COUNT", "OFFSET", "SIZE", "UNIT", "ALIAS", "MORE"},
            {true, false, false, true, true, true, false, false, false});
  for (int i = 0; i < fs.GetSize(); ++i) {
    const SVdbField& f = *fs.GetAt(i);
    const char* type = UpperTypeName(f.m_nType);
    std::string more;
    auto add = [&more](const std::string& item) { more += (more.empty() ? "" : " ") + item; };
    if (!f.m_strSource.IsEmpty()) add("source=" + Quoted(f.m_strSource.GetString()));
    if (!f.m_strValue.IsEmpty()) add("value=" + Quoted(f.m_strValue.GetString()));
    if (!f.m_strOptions.IsEmpty()) add("options=" + Quoted(f.m_strOptions.GetString()));
    if (!IsVdbNull(f.m_fMin)) add(Format("min=%g", static_cast<double>(f.m_fMin)));
    if (!IsVdbNull(f.m_fMax)) add(Format("max=%g", static_cast<double>(f.m_fMax)));
    if (f.m_nEdit) add(Format("edit=%d", f.m_nEdit));
    if (f.m_nFlag) add(Format("flag=%d", f.m_nFlag));
    if (!f.m_strExtra1.IsEmpty()) add("extra1=" + Quoted(f.m_strExtra1.GetString()));
    if (!f.m_strExtra2.IsEmpty()) add("extra2=" + Quoted(f.m_strExtra2.GetString()));
    grid.Row({std::to_string(i), Printable(f.GetName()), type ? type : "?" + std::to_string(f.m_nType),
              std::to_string(f.m_nCount), std::to_string(f.m_nOffset), std::to_string(f.GetDataSize()),
              Printable(f.m_strUnit.GetString()), Printable(f.m_strAlias.GetString()), more});
  }
  grid.Print(indent);
}

std::string TableSummary(const CVdbTable& table) {
  return Format("table %s: %s record%s, last identifier %u, %d field%s, record size %d bytes",
                NameOrNone(table.GetName()).c_str(),
                Grouped(static_cast<unsigned long long>(table.GetRecordCount())).c_str(),
                table.GetRecordCount() == 1 ? "" : "s", table.GetMaxID(), table.GetFieldCount(),
                table.GetFieldCount() == 1 ? "" : "s", table.GetFieldSet()->GetRecordSize());
}

void PrintRecords(CVdbTable& table, const std::string& indent, bool csv) {
  if (csv) {
    std::string text = WriteCsv(table, "(table)", nullptr);
    Out().Write(text);
    return;
  }
  if (table.GetFieldCount() == 0) {
    Out().Line(indent + "no fields, so no values");
    return;
  }
  const std::vector<Column> columns = PlanColumns(*table.GetFieldSet());
  // Two passes over the records - widths, then lines - rather than holding
  // every cell of a large table.
  std::vector<size_t> width(columns.size() + 1);
  width[0] = 3;
  for (size_t c = 0; c < columns.size(); ++c) width[c + 1] = columns[c].name.size();
  const LONG count = table.GetRecordCount();
  ProgressPhase phase("listing " + Grouped(static_cast<unsigned long long>(count)) + " records",
                      2 * static_cast<uint64_t>(count));
  for (LONG r = 0; r < count; ++r) {
    phase.Set(static_cast<uint64_t>(r));
    const SVdbRecord* record = table.GetRecordAt(r);
    width[0] = std::max(width[0], std::to_string(record->m_nID).size());
    for (size_t c = 0; c < columns.size(); ++c)
      width[c + 1] = std::max(width[c + 1], Printable(FormatCell(columns[c], record->GetData())).size());
  }
  std::string line;
  auto cell = [&](size_t c, const std::string& text, bool right) {
    const size_t pad = width[c] - std::min(width[c], text.size());
    if (c > 0) line += "  ";
    if (right) line.append(pad, ' ');
    line += text;
    if (!right) line.append(pad, ' ');
  };
  auto finish = [&]() {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    Out().Line(line);
  };
  line = indent;
  cell(0, "@id", true);
  for (size_t c = 0; c < columns.size(); ++c) cell(c + 1, columns[c].name, columns[c].numeric);
  finish();
  for (LONG r = 0; r < count; ++r) {
    phase.Set(static_cast<uint64_t>(count) + static_cast<uint64_t>(r));
    const SVdbRecord* record = table.GetRecordAt(r);
    line = indent;
    cell(0, std::to_string(record->m_nID), true);
    for (size_t c = 0; c < columns.size(); ++c)
      cell(c + 1, Printable(FormatCell(columns[c], record->GetData())), columns[c].numeric);
    finish();
  }
}

void PrintTableSet(CVdbTableSet& set, const std::string& indent, SetParts parts) {
  const int tables = set.GetTableCount();
  Out().Line(indent + Format("%d table%s, %d definition%s, %d relation%s", tables, tables == 1 ? "" : "s",
                             set.GetFieldSetCount(), set.GetFieldSetCount() == 1 ? "" : "s",
                             set.GetRelationCount(), set.GetRelationCount() == 1 ? "" : "s"));
  for (int i = 0; i < set.GetFileCount() && parts != SetParts::definitionsOnly; ++i) {
    CVdbTable* table = set.GetTable(i);
    if (!table) continue;
    Out().Line(indent + TableSummary(*table));
    const CVdbFieldSet& fs = *table->GetFieldSet();
    if (!fs.m_strName.IsEmpty())
      Out().Line(indent + "  from definition " + Quoted(fs.m_strName.GetString()) +
                 (fs.m_strLabel.IsEmpty() ? "" : " (label " + Quoted(fs.m_strLabel.GetString()) + ")"));
    PrintFields(fs, indent + "  ");
    if (parts == SetParts::tablesAndRecords && table->GetRecordCount() > 0) {
      Out().Line("");
      PrintRecords(*table, indent + "  ", false);
    }
    Out().Line("");
  }
  for (int i = 0; i < set.GetFieldSetCount(); ++i) {
    const CVdbFieldSet& fs = *set.GetFieldSet(i);
    Out().Line(indent + "definition " + NameOrNone(fs.GetName()) +
               (fs.m_strLabel.IsEmpty() ? "" : " (label " + Quoted(fs.m_strLabel.GetString()) + ")") +
               Format(", record size %d bytes", fs.GetRecordSize()));
    PrintFields(fs, indent + "  ");
    Out().Line("");
  }
  if (set.GetRelationCount() > 0) {
    Grid grid({"KEY FIELD", "TABLE", "RELATED KEY FIELD"}, {});
    for (int i = 0; i < set.GetRelationCount(); ++i) {
      const SVdbRelation& r = *set.GetRelationAt(i);
      grid.Row({Printable(r.m_strKeyField.GetString()), Printable(r.m_strTable.GetString()),
                Printable(r.m_strRelatedKeyField.GetString())});
    }
    Out().Line(indent + "relations (a selection looks up TABLE.field by KEY FIELD = RELATED KEY FIELD):");
    grid.Print(indent + "  ");
  }
}

void PrintDataSet(CVdbDataSet& set, const std::string& indent) {
  Grid values({"KIND", "KEY", "VALUE"}, {});
  CString key;
  CString value;
  set.GetNextBegin();
  while (set.GetNext(key, value)) {
    const int kind = set.LookupKeyType(key);
    // A key held in several maps is listed once per kind by GetNext, in the
    // order floats, integers, strings; LookupKeyType names the first of them.
    std::string kindName = kind == CVdbDataSet::kindFloat ? "float"
                           : kind == CVdbDataSet::kindInt ? "integer"
                                                          : "string";
    values.Row({kindName, Printable(key.GetString()), Printable(value.GetString())});
  }
  set.GetNextEnd();
  if (values.RowCount() == 0) {
    Out().Line(indent + "no values");
  } else {
    values.Print(indent);
  }
  Grid rules({"KEY", "LABEL", "MIN", "MAX", "FLAGS"}, {false, false, true, true, false});
  POSITION pos = set.GetKeyHead();
  while (pos) {
    const CVdbDataSet::SValueSpec* entry = set.GetKeyNext(pos);
    if (!entry) break;
    rules.Row({Printable(entry->m_strKey.GetString()), Printable(entry->m_strLabel.GetString()),
               IsVdbNull(entry->m_fMin) ? "" : Format("%g", static_cast<double>(entry->m_fMin)),
               IsVdbNull(entry->m_fMax) ? "" : Format("%g", static_cast<double>(entry->m_fMax)),
               Format("%u %u %u", entry->m_nFlag1, entry->m_nFlag2, entry->m_nFlag3)});
  }
  if (rules.RowCount() > 0) {
    Out().Line("");
    Out().Line(indent + "value limits:");
    rules.Print(indent + "  ");
  }
}

void PrintKeyStrings(CKeyStringArraySet& set, const std::string& indent, bool values, size_t limit) {
  const size_t count = static_cast<size_t>(set.GetCount());
  for (size_t i = 0; i < count && i < limit; ++i) {
    CKeyStringArraySet::SItem* item = set.GetAt(static_cast<int>(i));
    const INT_PTR n = item->m_saValues.GetSize();
    Out().Line(indent + Quoted(item->m_strKey.GetString()) +
               Format(": %ld value%s", static_cast<long>(n), n == 1 ? "" : "s"));
    for (INT_PTR v = 0; v < n && values; ++v)
      Out().Line(indent + "  " + Printable(item->m_saValues[v].GetString()));
  }
  if (count > limit)
    Out().Line(indent + Format("... %s more keys (--all lists them)", Grouped(count - limit).c_str()));
}

void PrintHex(const BYTE* data, size_t size, const std::string& indent) {
  static const char digits[] = "0123456789abcdef";
  for (size_t at = 0; at < size; at += 16) {
    std::string line = indent + Format("%08zx  ", at);
    std::string chars;
    for (size_t i = 0; i < 16; ++i) {
      if (at + i < size) {
        const BYTE b = data[at + i];
        line += digits[b >> 4];
        line += digits[b & 15];
        line += ' ';
        chars += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
      } else {
        line += "   ";
      }
      if (i == 7) line += ' ';
    }
    Out().Line(line + " " + chars);
  }
}

bool PrintObjectContent(CVDFile& object, const std::string& indent) {
  if (object.IsKindOf("CMMX")) {
    CMMX& mmx = static_cast<CMMX&>(object);
    Out().Line(indent + ContentSummary(object));
    Grid grid({"QUANTITY", "KEY", "MIN", "MAX", "AUTO", "LOG10", "LINE"},
              {false, true, true, true, false, false, false});
    for (int i = 0; i < mmx.GetItemCount(); ++i) {
      const CMMX::SItem& e = *mmx.GetItemAt(i);
      grid.Row({Printable(e.strName.GetString()), std::to_string(e.nKey), ShortestText(e.fMin),
                ShortestText(e.fMax), e.bAuto ? "yes" : "no", e.bLog10 ? "yes" : "no",
                Format("%u %u %d", e.dwLine1, e.wLine2, e.wLine3)});
    }
    if (mmx.GetItemCount() > 0) grid.Print(indent + "  ");
    return true;
  }
  if (object.IsKindOf("CRCData")) {
    CRCData& data = static_cast<CRCData&>(object);
    Out().Line(indent + ContentSummary(object) + " (the archives keep none of a CRCData's own)");
    if (data.GetColCount() == 0) return true;
    std::vector<std::string> headers;
    for (int c = 0; c < data.GetColCount(); ++c) {
      const std::string unit = data.GetColUnit(c);
      headers.push_back(Printable(data.GetColName(c)) + (unit.empty() ? "" : " (" + Printable(unit) + ")"));
    }
    Grid grid(headers, std::vector<bool>(headers.size(), true));
    for (int r = 0; r < data.GetRowCount(); ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < data.GetColCount(); ++c) {
        const float v = data.GetRowAt(r)[c];
        row.push_back(IsVdbNull(v) ? "" : ShortestText(v));
      }
      grid.Row(row);
    }
    grid.Print(indent + "  ");
    return true;
  }
  if (object.IsKindOf("CUnitTable")) {
    const CUnitTrans& units = static_cast<CUnitTable&>(object).m_units;
    Out().Line(indent + ContentSummary(object));
    Grid grid({"1 OF", "IS", "OF"}, {false, true, false});
    for (int i = 0; i < units.GetSize(); ++i)
      grid.Row({Printable(units.GetAt(i)->strUnit1.GetString()), ShortestText(units.GetAt(i)->dFactor),
                Printable(units.GetAt(i)->strUnit2.GetString())});
    if (units.GetSize() > 0) grid.Print(indent + "  ");
    return true;
  }
  if (object.IsKindOf("CPolyline")) {
    const CPolyline& line = static_cast<const CPolyline&>(object);
    Out().Line(indent + ContentSummary(object));
    for (int i = 0; i < line.GetSize(); ++i)
      Out().Line(indent + Format("  %.9g %.9g", static_cast<double>(line.GetAt(i).x),
                                 static_cast<double>(line.GetAt(i).y)));
    return true;
  }
  if (object.IsKindOf("CVdbTableSet")) {
    PrintTableSet(static_cast<CVdbTableSet&>(object), indent, SetParts::definitionsOnly);
    return true;
  }
  if (object.IsKindOf("CVdbTable")) {
    CVdbTable& table = static_cast<CVdbTable&>(object);
    Out().Line(indent + TableSummary(table));
    if (table.GetFieldCount() > 0) {
      PrintFields(*table.GetFieldSet(), indent + "  ");
      if (table.GetRecordCount() > 0) PrintRecords(table, indent + "  ", false);
    }
    return true;
  }
  return false;
}

std::string ContentSummary(CVDFile& object) {
  if (object.IsKindOf("CMMX")) {
    const int n = static_cast<CMMX&>(object).GetItemCount();
    return Format("%d range%s", n, n == 1 ? "" : "s");
  }
  if (object.IsKindOf("CRCData")) {
    const CRCData& data = static_cast<CRCData&>(object);
    return Format("%d column%s, %d row%s", data.GetColCount(), data.GetColCount() == 1 ? "" : "s",
                  data.GetRowCount(), data.GetRowCount() == 1 ? "" : "s");
  }
  if (object.IsKindOf("CUnitTable")) {
    const CUnitTrans& units = static_cast<CUnitTable&>(object).m_units;
    return Format("%d unit pair%s, current factor ", units.GetSize(), units.GetSize() == 1 ? "" : "s") +
           ShortestText(units.GetFactor());
  }
  if (object.IsKindOf("CPolyline")) {
    const CPolyline& line = static_cast<const CPolyline&>(object);
    return Format("%d point%s, %s", line.GetSize(), line.GetSize() == 1 ? "" : "s",
                  line.IsClosed() ? "closed" : "open");
  }
  if (object.IsKindOf("CVdbTableSet")) {
    CVdbTableSet& set = static_cast<CVdbTableSet&>(object);
    return Format("%d definition%s, %d relation%s", set.GetFieldSetCount(),
                  set.GetFieldSetCount() == 1 ? "" : "s", set.GetRelationCount(),
                  set.GetRelationCount() == 1 ? "" : "s");
  }
  if (object.IsKindOf("CVdbTable")) {
    CVdbTable& table = static_cast<CVdbTable&>(object);
    return Format(
        "%s record%s, %d field%s", Grouped(static_cast<unsigned long long>(table.GetRecordCount())).c_str(),
        table.GetRecordCount() == 1 ? "" : "s", table.GetFieldCount(), table.GetFieldCount() == 1 ? "" : "s");
  }
  return "";
}

void PrintObjectTree(CVDFile& root, const std::string& indent) {
  Grid grid({"OBJECT", "CLASS", "TYPE", "CONTENT"}, {});
  struct Frame {
    CVDFile* object;
    int depth;
  };
  std::vector<Frame> stack{{&root, 0}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    const std::string name = f.object->IsNamed() ? Printable(f.object->GetName()) : std::string("(unnamed)");
    grid.Row({std::string(static_cast<size_t>(f.depth) * 2, ' ') + name, f.object->GetClassNameA(),
              Printable(f.object->GetFileType()), ContentSummary(*f.object)});
    for (int i = f.object->GetFileCount(); i-- > 0;) stack.push_back({f.object->GetFileAt(i), f.depth + 1});
  }
  grid.Print(indent);
}

}  // namespace vdtool
