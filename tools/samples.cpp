#include "samples.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "cells.h"
#include "csv.h"
#include "formats.h"
#include "tool.h"
#include "vdf.h"
#include "vdkit/geometry/polyline.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vdfile.h"
#include "xml_io.h"

namespace vdtool {

namespace {

const char* const kAxis[3] = {"x", "y", "z"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trimmed(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
           auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return low(p) == low(q);
         });
}

// Rows of text cells from a file, whatever its form, with where each row is.
class Rows {
 public:
  virtual ~Rows() = default;
  virtual bool Next() = 0;
  // The cell of the current row; false when the row has no such column.
  virtual bool Cell(size_t column, std::string& text) = 0;
  virtual size_t Count() const = 0;
  virtual std::string Where() const = 0;
  // The columns' names; empty when the file names none.
  std::vector<std::string> names;
};

// Delimited text. The separator is the first of ',' and ';' in the first row
// that holds data, else a tab when no blank stands between its values, else
// runs of blanks and tabs.
class TextRows : public Rows {
 public:
  TextRows(const std::string& path, ByteSpan bytes) : m_path(path), m_bytes(bytes) {
    const char separator = DetectSeparator();
    if (separator) m_csv.emplace(m_path, m_bytes, separator);
    // The first row is the names when none of its cells is a number.
    if (!Next()) return;
    double v = 0;
    if (std::none_of(m_cells.begin(), m_cells.end(),
                     [&](const std::string& c) { return ParseNumber(c, &v); })) {
      for (const std::string& c : m_cells) names.push_back(Trimmed(c));
    } else {
      m_pending = true;
    }
  }

  bool Next() override {
    if (m_pending) {
      m_pending = false;
      return true;
    }
    for (;;) {
      if (!Raw()) return false;
      const auto blank = [](const std::string& c) { return c.find_first_not_of(" \t\r") == std::string::npos; };
      if (std::all_of(m_cells.begin(), m_cells.end(), blank)) continue;
      const std::string first = Trimmed(m_cells[0]);
      if (!first.empty() && first[0] == '#') continue;
      return true;
    }
  }
  bool Cell(size_t column, std::string& text) override {
    if (column >= m_cells.size()) return false;
    text = m_cells[column];
    return true;
  }
  size_t Count() const override { return m_cells.size(); }
  std::string Where() const override { return Format("line %d", m_csv ? m_csv->RowLine() : m_rowLine); }

 private:
  char DetectSeparator() const {
    size_t at = 0;
    while (at < m_bytes.size()) {
      size_t end = at;
      while (end < m_bytes.size() && m_bytes[end] != '\n') ++end;
      const std::string line(reinterpret_cast<const char*>(m_bytes.data()) + at, end - at);
      at = end + 1;
      // Lines of blanks and carriage returns only are blank lines.
      const size_t last = line.find_last_not_of(" \t\r");
      if (last == std::string::npos || Trimmed(line)[0] == '#') continue;
      for (const char c : {',', ';'})
        if (line.find(c) != std::string::npos) return c;
      // Tabs separate unless blanks stand between values too ("1  2\t3").
      size_t inner = line.find_first_not_of(" \t");
      bool innerBlank = false;
      for (; inner < last; ++inner) innerBlank = innerBlank || line[inner] == ' ';
      return line.find('\t') != std::string::npos && !innerBlank ? '\t' : 0;
    }
    return ',';
  }

  // The next line as cells, blank lines and comments included.
  bool Raw() {
    if (m_csv) return m_csv->Next(m_cells);
    if (m_at >= m_bytes.size()) return false;
    m_rowLine = ++m_line;
    m_cells.clear();
    const char* p = reinterpret_cast<const char*>(m_bytes.data());
    size_t end = m_at;
    while (end < m_bytes.size() && p[end] != '\n') ++end;
    size_t stop = end > m_at && p[end - 1] == '\r' ? end - 1 : end;
    for (size_t i = m_at; i < stop;) {
      while (i < stop && IsBlank(p[i])) ++i;
      const size_t from = i;
      while (i < stop && !IsBlank(p[i])) ++i;
      if (i > from) m_cells.emplace_back(p + from, i - from);
    }
    if (m_cells.empty()) m_cells.emplace_back();
    m_at = end + 1;
    return true;
  }

  std::string m_path;
  ByteSpan m_bytes;
  std::optional<CsvReader> m_csv;
  std::vector<std::string> m_cells;
  bool m_pending = false;
  size_t m_at = 0;
  int m_line = 0;
  int m_rowLine = 0;
};

// The records of a table, their columns as the CSV form writes them.
class TableRows : public Rows {
 public:
  explicit TableRows(CVdbTable& table) : m_table(table), m_columns(PlanColumns(*table.GetFieldSet())) {
    for (const Column& c : m_columns) names.push_back(c.name);
  }
  bool Next() override {
    if (m_next >= m_table.GetRecordCount()) return false;
    m_record = m_table.GetRecordAt(m_next++);
    return true;
  }
  bool Cell(size_t column, std::string& text) override {
    if (column >= m_columns.size()) return false;
    text = FormatCell(m_columns[column], m_record->GetData());
    return true;
  }
  size_t Count() const override { return m_columns.size(); }
  std::string Where() const override { return Format("record %u", m_record->m_nID); }

 private:
  CVdbTable& m_table;
  std::vector<Column> m_columns;
  LONG m_next = 0;
  const SVdbRecord* m_record = nullptr;
};

// Objects of class T in a tree, with their paths ("/Map/Lease"; the root's
// own name stands for the root).
template <class T>
void Collect(CVDFile& object, const std::string& path, std::vector<std::pair<std::string, T*>>& out) {
  if (T* t = dynamic_cast<T*>(&object)) out.emplace_back(path.empty() ? object.GetName() : path, t);
  for (int i = 0; i < object.GetFileCount(); ++i) {
    CVDFile* child = object.GetFileAt(i);
    Collect(*child, path + "/" + child->GetName(), out);
  }
}

std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& i : items) text += (text.empty() ? "" : ", ") + Printable(i);
  return text;
}

// The one object of class T a name or path picks, or the only one.
template <class T>
std::pair<std::string, T*> Pick(const std::string& path, const std::vector<std::pair<std::string, T*>>& all,
                                const std::string& name, const char* kind, const char* option) {
  std::vector<std::pair<std::string, T*>> found;
  for (const auto& a : all)
    if (name.empty() || SameNoCase(a.first, name) || SameNoCase(a.second->GetName(), name))
      found.push_back(a);
  std::vector<std::string> paths;
  for (const auto& a : (found.empty() ? all : found)) paths.push_back(a.first);
  if (found.empty() && all.empty()) FailFile(path, std::string("holds no ") + kind);
  if (found.empty())
    FailFile(path, "holds no " + std::string(kind) + " named " + Quoted(name) + " (" + Listed(paths) + ")");
  if (found.size() > 1)
    FailFile(path, Format("holds %zu %ss (%s); name one with %s", found.size(), kind, Listed(paths).c_str(),
                          option));
  return found[0];
}

std::unique_ptr<CVDFile> LoadTree(const std::string& path, Form form, Input& in) {
  return form == Form::vdf ? LoadVdfTree(path, in.Bytes(), nullptr) : LoadXmlTree(path, in.Bytes());
}

// The form of a samples or boundary file: an archive or table by its
// content, delimited text otherwise.
Form SampleForm(const std::string& path, Input& in, const std::string& as) {
  if (!as.empty()) {
    const Form f = FormFromKeyword(as);
    if (f != Form::csv && f != Form::table && f != Form::vdf && f != Form::xml)
      FailUsage("grid", "--as: samples are read as csv, table, vdf or xml, not " + Quoted(as));
    return f;
  }
  const ByteSpan head = in.Head();
  if (head.empty()) FailFile(path, "empty file");
  const Form f = RecognizeContent(head, path);
  if (f == Form::vdf || f == Form::xml || f == Form::table) return f;
  if (std::find(head.begin(), head.end(), 0) != head.end())
    FailFile(path, "neither delimited text nor a table, object archive or XML document");
  return Form::csv;
}

// The column a request names, or the default for the axis: the column of
// its name, or (for text that names none of x, y, z) its position.
size_t ResolveColumn(const std::string& path, const Rows& rows, const std::string& column, int axis,
                     bool defaultsByName) {
  if (!column.empty() && column.find_first_not_of("0123456789") == std::string::npos) {
    const size_t position = column.size() > 9 ? SIZE_MAX : std::stoul(column);
    if (position < 1) FailUsage("grid", std::string("--") + kAxis[axis] + ": columns count from 1");
    if (position == SIZE_MAX || (!rows.names.empty() && position > rows.names.size()))
      FailFile(path, "no column " + column +
                         (rows.names.empty() ? "" : Format(": the file has %zu", rows.names.size())));
    return position - 1;
  }
  const std::string name = column.empty() ? kAxis[axis] : column;
  for (size_t i = 0; i < rows.names.size(); ++i)
    if (SameNoCase(rows.names[i], name)) return i;
  if (column.empty() && !defaultsByName) return static_cast<size_t>(axis);
  FailFile(
      path,
      "no column named " + Quoted(name) + (column.empty() ? "; name the columns with --x, --y and --z" : "") +
          (rows.names.empty() ? " (the file names no columns)" : " (columns: " + Listed(rows.names) + ")"));
}

// Rows of the file's table or text, kept alive with what they read from.
struct Source {
  std::unique_ptr<Input> in;
  std::unique_ptr<CVDFile> tree;
  std::unique_ptr<CVdbTable> table;
  std::unique_ptr<Rows> rows;
  std::string what;  // "table '/Survey/Wells'", or "" for text
};

Source OpenRows(const std::string& path, const std::string& as, const std::string& tableName) {
  Source s;
  s.in = std::make_unique<Input>(path);
  const Form form = SampleForm(path, *s.in, as);
  if (form == Form::csv) {
    if (!tableName.empty()) FailUsage("grid", "--table is for object archives and XML documents");
    s.rows = std::make_unique<TextRows>(path, s.in->Bytes());
    return s;
  }
  CVdbTable* table = nullptr;
  if (form == Form::table) {
    if (!tableName.empty()) FailUsage("grid", "--table is for object archives and XML documents");
    s.table = LoadTable(path, s.in->File());
    table = s.table.get();
    s.what = "table " + Quoted(table->GetName());
  } else {
    s.tree = LoadTree(path, form, *s.in);
    std::vector<std::pair<std::string, CVdbTable*>> tables;
    Collect(*s.tree, "", tables);
    const auto picked = Pick(path, tables, tableName, "table", "--table");
    table = picked.second;
    s.what = "table " + Quoted(picked.first);
  }
  s.rows = std::make_unique<TableRows>(*table);
  return s;
}

double SignedArea(const std::vector<double>& x, const std::vector<double>& y) {
  double twice = 0;
  for (size_t i = 0, j = x.size() - 1; i < x.size(); j = i++) twice += x[j] * y[i] - x[i] * y[j];
  return twice / 2;
}

}  // namespace

bool ParseNumber(const std::string& text, double* value) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b < e && text[b] == '+') ++b;
  if (b == e) return false;
  const auto r = std::from_chars(text.data() + b, text.data() + e, *value);
  return r.ec == std::errc() && r.ptr == text.data() + e;
}

namespace {

// The samples of the rows; `what` names a table ("" for text).
Samples ExtractSamples(const SampleRequest& request, Rows& rows, const std::string& what) {
  const std::string& path = request.path;
  Samples s;
  s.source = what;
  // Text without any of the names x, y, z gives its first three columns.
  bool anyNamed = false;
  for (const char* axis : kAxis)
    for (const std::string& n : rows.names) anyNamed = anyNamed || SameNoCase(n, axis);
  const bool byName = !what.empty() || anyNamed;
  size_t column[3];
  for (int a = 0; a < 3; ++a) {
    column[a] = ResolveColumn(path, rows, request.columns[a], a, byName);
    s.columns[a] =
        column[a] < rows.names.size() ? rows.names[column[a]] : Format("column %zu", column[a] + 1);
  }
  std::string cell;
  while (rows.Next()) {
    double v[3];
    std::string why;
    for (int a = 0; a < 3 && why.empty(); ++a) {
      if (!rows.Cell(column[a], cell)) {
        why = Format("no %s value: the row has %zu cells, %s is column %zu", kAxis[a], rows.Count(), kAxis[a],
                     column[a] + 1);
      } else if (Trimmed(cell).empty()) {
        why = std::string("no ") + kAxis[a] + " value";
      } else if (!ParseNumber(cell, &v[a])) {
        why = std::string("the ") + kAxis[a] + " value " + Quoted(Trimmed(cell)) + " is not a number";
      } else if (!std::isfinite(v[a])) {
        why = std::string("the ") + kAxis[a] + " value " + Quoted(Trimmed(cell)) + " is not a finite number";
      } else if (std::fabs(v[a]) > FLT_MAX) {
        why = std::string("the ") + kAxis[a] + " value " + Quoted(Trimmed(cell)) +
              " is beyond the range of a 32-bit float";
      }
    }
    if (!why.empty()) {
      const std::string where = rows.Where() + ": " + why;
      if (!request.skipBad) FailFile(path, where + " (--skip-bad leaves such rows out)");
      if (s.skipped++ == 0) s.firstSkipped = where;
      continue;
    }
    if (s.z.size() == static_cast<size_t>(INT_MAX))
      FailFile(path, "more samples than the gridding functions take (" + Grouped(INT_MAX) + ")");
    s.x.push_back(v[0]);
    s.y.push_back(v[1]);
    s.z.push_back(static_cast<float>(v[2]));
  }
  if (s.z.empty())
    FailFile(path, s.skipped
                       ? Format("no sample left: all %zu rows have a missing or bad value (the first at %s)",
                                s.skipped, s.firstSkipped.c_str())
                       : std::string("holds no samples"));
  return s;
}

// The vertices of a text of x, y rows.
void ExtractVertices(const std::string& path, ByteSpan bytes, Boundary& b) {
  TextRows rows(path, bytes);
  size_t column[2] = {0, 1};
  for (int a = 0; a < 2; ++a)
    for (size_t i = 0; i < rows.names.size(); ++i)
      if (SameNoCase(rows.names[i], kAxis[a])) column[a] = i;
  std::string cell;
  while (rows.Next()) {
    double v[2];
    for (int a = 0; a < 2; ++a)
      if (!rows.Cell(column[a], cell) || !ParseNumber(cell, &v[a]) || !std::isfinite(v[a]) ||
          std::fabs(v[a]) > FLT_MAX)
        FailFile(path, rows.Where() + ": a vertex needs two numbers x, y");
    b.x.push_back(v[0]);
    b.y.push_back(v[1]);
  }
}

// A ring of at least three vertices that encloses some area.
void CheckRing(const std::string& path, Boundary& b) {
  if (b.x.size() > 1 && b.x.front() == b.x.back() && b.y.front() == b.y.back()) {
    b.x.pop_back();
    b.y.pop_back();
  }
  const std::string what = b.what.empty() ? "the boundary" : "the " + b.what;
  if (b.x.size() < 3)
    FailFile(path,
             Format("%s has %zu vertices; a closed polyline needs at least 3", what.c_str(), b.x.size()));
  if (b.x.size() > static_cast<size_t>(INT_MAX)) FailFile(path, what + " has too many vertices");
  if (SignedArea(b.x, b.y) == 0) FailFile(path, what + " encloses no area");
}

}  // namespace

Samples ReadSamples(const SampleRequest& request) {
  Source source = OpenRows(request.path, request.as, request.table);
  return ExtractSamples(request, *source.rows, source.what);
}

Samples ReadSampleText(const SampleRequest& request, ByteSpan bytes) {
  TextRows rows(request.path, bytes);
  return ExtractSamples(request, rows, "");
}

Boundary ReadBoundaryText(const std::string& path, ByteSpan bytes) {
  Boundary b;
  ExtractVertices(path, bytes, b);
  CheckRing(path, b);
  return b;
}

Boundary ReadBoundary(const std::string& path, const std::string& name) {
  Boundary b;
  Input in(path);
  const Form form = SampleForm(path, in, "");
  if (form == Form::vdf || form == Form::xml) {
    std::unique_ptr<CVDFile> tree = LoadTree(path, form, in);
    std::vector<std::pair<std::string, CPolyline*>> all;
    Collect(*tree, "", all);
    std::vector<std::pair<std::string, CPolyline*>> closed;
    for (const auto& p : all)
      if (p.second->IsClosed()) closed.push_back(p);
    if (closed.empty() && name.empty() && !all.empty())
      FailFile(path, Format("holds no closed polyline to be a boundary (only %zu open one%s)", all.size(),
                            all.size() == 1 ? "" : "s"));
    const auto picked = Pick(path, name.empty() ? closed : all, name, "polyline", "--boundary-name");
    const CPolyline& line = *picked.second;
    b.what = "polyline " + Quoted(picked.first);
    if (!line.IsClosed()) FailFile(path, "the " + b.what + " is not closed, so it cannot be a boundary");
    for (int i = 0; i < line.GetSize(); ++i) {
      b.x.push_back(line.GetAt(i).x);
      b.y.push_back(line.GetAt(i).y);
    }
    if (line.GetSize() == 0 && form == Form::vdf)
      FailFile(path,
               "the " + b.what + " has no points: a binary object archive keeps none; use its XML document");
  } else if (form == Form::table) {
    FailFile(path, "a table file, not a boundary: give a closed polyline or a text of x, y vertices");
  } else {
    if (!name.empty()) FailUsage("grid", "--boundary-name is for object archives and XML documents");
    ExtractVertices(path, in.Bytes(), b);
  }
  CheckRing(path, b);
  return b;
}

}  // namespace vdtool
