// info and dump: what a file holds, summarised or in full.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "commands.h"
#include "csv.h"
#include "formats.h"
#include "listing.h"
#include "sections.h"
#include "settings.h"
#include "tool.h"
#include "vdf.h"
#include "vdkit/core/padded_string.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_parser.h"
#include "xml_doc.h"

namespace vdtool {

const char kInfoHelp[] =
    "Usage: vdkit info [--as FORM] [--all] FILE...\n"
    "\n"
    "Recognises each file's form by its content and summarises it:\n"
    "  binary object archive  the object tree: class, name, type, blob and class-data sizes\n"
    "  XML object document    the object tree: class, name, type, data elements\n"
    "  table file, CSV        the table's fields (name, type, count, offset, unit, alias)\n"
    "                         and its record count\n"
    "  table-set stream       its tables, definitions and relations\n"
    "  data set               its values by kind\n"
    "  key-string-array file  its keys\n"
    "  section file           its header and directory of tables\n"
    "  key profile            its entries by section and type\n"
    "  operator parameters    its operators: name, type, class\n"
    "\n"
    "Options:\n"
    "  --as FORM   read the files as FORM: tableset, dataset or keystrings (these forms\n"
    "              carry no mark of their own; their extensions .vts .vds .vks name\n"
    "              them too), or any form named in 'vdkit --help'\n"
    "  --all       list every object or key (the first 200 otherwise)\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when one could not be read or is not\n"
    "valid (the others are still listed), 2 on wrong usage.\n";

const char kDumpHelp[] =
    "Usage: vdkit dump [--as FORM] [--csv] FILE\n"
    "\n"
    "Prints the whole content of the file in readable form: every object of an\n"
    "archive or XML document with its data, a table's records in aligned columns,\n"
    "the values of a data set, the keys and texts of a key-string-array file, the\n"
    "tables of a section file (a table file among them as records, else bytes),\n"
    "the entries of a key profile, each operator of a parameter file with its\n"
    "elements.\n"
    "Nothing is printed unless the whole file reads.\n"
    "\n"
    "Options:\n"
    "  --as FORM   read the file as FORM (see 'vdkit info --help')\n"
    "  --csv       print a table's records as CSV (the same text 'convert' writes)\n";

namespace {

constexpr size_t kListLimit = 200;

std::string Plural(unsigned long long n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

std::string ClassCounts(const std::map<std::string, size_t>& counts) {
  std::string text;
  for (const auto& c : counts)
    text += (text.empty() ? "" : ", ") + Printable(c.first) + " " + Grouped(c.second);
  return text;
}

void UnknownRootNote(std::string_view rootClass, const char* what) {
  if (!IsRegisteredClass(rootClass))
    Out().Line("  note: the root object is of class " + Quoted(rootClass) +
               ", which this program does not know; " + what);
}

std::string RecordPathName(const VdfRecord& r) {
  return r.named ? Printable(r.name) : Format("(unnamed #%d)", r.index + 1);
}

// ---- Binary object archives ----------------------------------------------------------

void InfoVdf(const std::string& path, ByteSpan bytes, bool all) {
  // One pass for the counts and the records listed; large archives are not
  // held record by record.
  const size_t limit = all ? static_cast<size_t>(-1) : kListLimit;
  std::vector<VdfRecord> records;
  size_t count = 0;
  std::map<std::string, size_t> classes;
  std::map<std::string, size_t> unknown;
  int depth = 0;
  bool versions = false;
  bool classData = false;
  ScanVdf(path, bytes, [&](const VdfRecord& r) {
    if (count++ < limit) records.push_back(r);
    ++classes[std::string(r.className)];
    if (r.depth > 0 && !IsRegisteredClass(r.className)) ++unknown[std::string(r.className)];
    depth = std::max(depth, r.depth);
    versions = versions || r.version != 0x0100;
    classData = classData || r.classSize > 0;
  });
  // Only class data can upset the library's reader (a class that refuses
  // them or reads a different length); without any, reading adds nothing.
  std::vector<std::string> notes;
  if (classData) LoadVdfTree(path, bytes, &notes);

  Out().Line("  " + Plural(count, "object", "objects") + " in " + Plural(depth + 1u, "level", "levels") +
             "; classes: " + ClassCounts(classes));
  std::vector<std::string> headers{"OBJECT", "CLASS", "TYPE", "BLOB", "CLASS DATA", "CHILDREN"};
  std::vector<bool> right{false, false, false, true, true, true};
  if (versions) {
    headers.push_back("VERSION");
    right.push_back(true);
  }
  Grid grid(headers, right);
  for (const VdfRecord& r : records) {
    std::vector<std::string> row{
        std::string(static_cast<size_t>(r.depth) * 2, ' ') + RecordPathName(r),
        Printable(r.className) + (IsRegisteredClass(r.className) ? "" : " (unknown)"),
        Printable(r.type),
        Grouped(r.blobSize),
        Grouped(r.classSize),
        Grouped(static_cast<unsigned long long>(r.childCount))};
    if (versions) row.push_back(Format("0x%04X", r.version));
    grid.Row(row);
  }
  grid.Print("  ");
  if (records.size() < count)
    Out().Line("  ... " + Plural(count - records.size(), "more object", "more objects") +
               " (--all lists them)");
  UnknownRootNote(records.front().className, kUnknownRootVdf);
  for (const auto& u : unknown)
    Out().Line(
        "  note: " + Plural(u.second, "object is", "objects are") + " of class " + Quoted(u.first) +
        ", which this program does not know; the library passes over such records and what is below them");
  for (const std::string& n : notes) Out().Line("  note: " + n);
}

void DumpVdf(const std::string& path, ByteSpan bytes) {
  const std::vector<VdfRecord> records = WalkVdf(path, bytes);
  std::vector<std::string> notes;
  std::unique_ptr<CVDFile> root = LoadVdfTree(path, bytes, &notes);
  const std::vector<CVDFile*> objects = MatchRecords(records, root.get());
  std::vector<std::string> names;  // the names on the path of the record being listed
  for (size_t i = 0; i < records.size(); ++i) {
    const VdfRecord& r = records[i];
    // The root's own name is never part of a path: its children are /x.
    names.resize(static_cast<size_t>(r.depth));
    std::string where;
    for (size_t n = 1; n < names.size(); ++n) where += "/" + names[n];
    where += "/";
    if (r.depth > 0) where += RecordPathName(r);
    names.push_back(RecordPathName(r));
    std::string head = where + "  " + Printable(r.className);
    if (r.named && !r.type.empty()) head += ", type " + Quoted(r.type);
    if (r.version != 0x0100) head += Format(", version 0x%04X", r.version);
    if (!IsRegisteredClass(r.className))
      head += r.depth == 0 ? " (class unknown here, read as a CVDFile)" : " (class unknown here)";
    else if (!objects[i])
      head += " (passed over by the library)";
    Out().Line(head);
    if (r.blobSize > 0) {
      Out().Line("  blob, " + Plural(r.blobSize, "byte:", "bytes:"));
      PrintHex(bytes.data() + r.blobOffset, r.blobSize, "    ");
    }
    // Class data the object read are shown as what it made of them, where
    // the program knows how; otherwise as bytes.
    const bool shown = objects[i] && PrintObjectContent(*objects[i], "  ");
    if (r.classSize > 0 && !shown) {
      Out().Line("  class data, " + Plural(r.classSize, "byte:", "bytes:"));
      PrintHex(bytes.data() + r.classOffset, r.classSize, "    ");
    } else if (r.classSize > 0) {
      Out().Line("  (from " + Plural(r.classSize, "byte", "bytes") + " of class data)");
    }
  }
  for (const std::string& n : notes) Out().Line("note: " + n);
}

// ---- XML object documents -----------------------------------------------------------

void InfoXml(const std::string& path, ByteSpan bytes, bool all) {
  const XmlDocument doc = LoadXmlDocument(path, bytes);
  std::map<std::string, size_t> classes;
  std::map<std::string, size_t> unknown;
  int depth = 0;
  for (const XmlObject& o : doc.objects) {
    ++classes[o.className];
    if (o.depth > 0 && !IsRegisteredClass(o.className)) ++unknown[o.className];
    depth = std::max(depth, o.depth);
  }
  Out().Line("  " + Plural(doc.objects.size(), "object", "objects") + " in " +
             Plural(depth + 1u, "level", "levels") + "; classes: " + ClassCounts(classes));
  Grid grid({"OBJECT", "CLASS", "TYPE", "DATA ELEMENTS", "CHILDREN"}, {false, false, false, true, true});
  const size_t shown = all ? doc.objects.size() : std::min(doc.objects.size(), kListLimit);
  for (size_t i = 0; i < shown; ++i) {
    const XmlObject& o = doc.objects[i];
    const std::string name = o.named ? Printable(o.name) : "(unnamed " + Printable(o.name) + ")";
    grid.Row({std::string(static_cast<size_t>(o.depth) * 2, ' ') + name,
              Printable(o.className) + (IsRegisteredClass(o.className) ? "" : " (unknown)"),
              Printable(o.type), std::to_string(o.dataElements), std::to_string(o.children)});
  }
  grid.Print("  ");
  if (shown < doc.objects.size())
    Out().Line("  ... " + Plural(doc.objects.size() - shown, "more object", "more objects") +
               " (--all lists them)");
  UnknownRootNote(doc.objects.front().className, kUnknownRootXml);
  for (const auto& u : unknown)
    Out().Line("  note: " + Plural(u.second, "object is", "objects are") + " of class " + Quoted(u.first) +
               ", which this program does not know; the library skips such elements and what is below them");
}

void DumpXml(const std::string& path, ByteSpan bytes) {
  const XmlDocument doc = LoadXmlDocument(path, bytes);
  std::vector<std::string> names;
  for (const XmlObject& o : doc.objects) {
    names.resize(static_cast<size_t>(o.depth));
    const std::string own = o.named ? Printable(o.name) : "(unnamed " + Printable(o.name) + ")";
    std::string where;
    for (size_t n = 1; n < names.size(); ++n) where += "/" + names[n];
    where += "/";
    if (o.depth > 0) where += own;
    names.push_back(own);
    std::string head = where + "  " + Printable(o.className);
    if (!o.type.empty()) head += ", type " + Quoted(o.type);
    if (!IsRegisteredClass(o.className)) head += " (class unknown here)";
    Out().Line(head);
    for (int i = 0; i < o.item->GetCount(); ++i) {
      const CXmlItem* child = o.item->GetChild(i);
      if (!child->GetA("class")) PrintXmlData(*child, "  ");
    }
  }
}

// ---- Forms that are one library object --------------------------------------------------

// `displayText`: the table's text as its file holds it, when it has one.
void InfoTable(CVdbTable& table, const CString* displayText) {
  Out().Line("  " + TableSummary(table));
  if (displayText && std::strcmp(*displayText, table.GetName()) != 0)
    Out().Line("  display text " + Quoted(displayText->GetString()));
  const CVdbFieldSet& fs = *table.GetFieldSet();
  if (!fs.m_strName.IsEmpty() || !fs.m_strLabel.IsEmpty())
    Out().Line("  field set " + NameOrNone(fs.GetName()) + ", label " + NameOrNone(fs.GetLabel()));
  PrintFields(fs, "  ");
}

void InfoDataSet(CVdbDataSet& set) {
  int kinds[4] = {0, 0, 0, 0};
  CString key, value;
  set.GetNextBegin();
  while (set.GetNext(key, value)) {
    const int kind = set.LookupKeyType(key);
    ++kinds[kind >= 1 && kind <= 3 ? kind : 0];
  }
  set.GetNextEnd();
  int rules = 0;
  for (POSITION pos = set.GetKeyHead(); pos;) {
    set.GetKeyNext(pos);
    ++rules;
  }
  Out().Line("  data set " + NameOrNone(set.GetName()) + ": " +
             Plural(static_cast<unsigned>(set.GetCount()), "value", "values") +
             Format(" (%d float, %d integer, %d string), ", kinds[1], kinds[2], kinds[3]) +
             Plural(static_cast<unsigned>(rules), "value limit", "value limits"));
}

std::string ReadAs(const CommandLine& cl) {
  return cl.Value("as");
}

std::string TableNameFor(const std::string& path) {
  return FileStem(path);
}

void InfoOne(const std::string& path, const std::string& as, bool all) {
  Input in(path);
  const Form form = ResolveInputForm(path, in.Head(), as);
  // The library's binary forms are read from the file; the rest in memory.
  const bool inMemory = form == Form::vdf || form == Form::xml || form == Form::csv ||
                        form == Form::datasetText || form == Form::keyprofile || form == Form::jobparams;
  const ByteSpan bytes = inMemory ? in.Bytes() : ByteSpan();
  const unsigned long long size = inMemory ? bytes.size() : in.File().GetLength();
  Out().Line(path + ": " + FormDescription(form) + ", " + Plural(size, "byte", "bytes"));
  switch (form) {
    case Form::vdf:
      InfoVdf(path, bytes, all);
      break;
    case Form::xml:
      InfoXml(path, bytes, all);
      break;
    case Form::table: {
      std::unique_ptr<CVdbTable> table = LoadTable(path, in.File());
      // The display text is the file's own; the keyword map is shared by
      // every table this process has read.
      CFile& file = in.File();
      file.Seek(4, CFile::begin);
      CString text;
      ReadPaddedString(file, text);
      InfoTable(*table, &text);
      break;
    }
    case Form::csv:
      InfoTable(*ReadCsv(path, bytes, TableNameFor(path)), nullptr);
      break;
    case Form::tableset:
      PrintTableSet(*LoadTableSet(path, in.File()), "  ", SetParts::tables);
      break;
    case Form::dataset:
      InfoDataSet(*LoadDataSet(path, in.File()));
      break;
    case Form::datasetText: {
      int stopped = 0;
      auto set = LoadDataSetText(path, bytes, &stopped);
      InfoDataSet(*set);
      if (stopped > 0)
        Out().Line(Format(
            "  note: reading stopped before line %d; the lines from there on are not part of the data set",
            stopped));
      break;
    }
    case Form::keystrings: {
      auto set = LoadKeyStrings(path, in.File());
      unsigned long long values = 0;
      for (int i = 0; i < set->GetCount(); ++i)
        values += static_cast<unsigned long long>(set->GetAt(i)->m_saValues.GetSize());
      Out().Line("  " + Plural(static_cast<unsigned>(set->GetCount()), "key", "keys") + ", " +
                 Plural(values, "value", "values"));
      PrintKeyStrings(*set, "  ", false, all ? static_cast<size_t>(-1) : kListLimit);
      break;
    }
    case Form::secfile:
      InfoSections(path);
      break;
    case Form::keyprofile:
      InfoKeyProfile(path, bytes);
      break;
    case Form::jobparams:
      InfoJobParameters(path, bytes);
      break;
    case Form::unknown:
      break;
  }
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  const CommandLine cl("info", args, {{"as", true}, {"all", false}});
  if (cl.Has("help")) {
    Out().Write(kInfoHelp);
    return kExitOk;
  }
  if (cl.Operands().empty()) FailUsage("info", "no FILE given");
  int status = kExitOk;
  bool listed = false;
  for (const std::string& path : cl.Operands()) {
    // What is listed of a file stays back until the whole file has been
    // read, so that a damaged file shows its message and nothing else.
    Out().Hold();
    try {
      if (listed) Out().Line("");
      InfoOne(path, ReadAs(cl), cl.Has("all"));
      Out().Release();
      listed = true;
    } catch (const Failure& f) {
      Out().Discard();
      if (f.status == kExitUsage) throw;
      // The other files are still listed; this one's message goes where the
      // listing's would have been, in order.
      Out().Finish();
      std::fprintf(stderr, "vdkit: %s\n", f.message.c_str());
      std::fflush(stderr);
      status = kExitBadFile;
    }
  }
  return status;
}

int RunDump(const std::vector<std::string>& args) {
  const CommandLine cl("dump", args, {{"as", true}, {"csv", false}});
  if (cl.Has("help")) {
    Out().Write(kDumpHelp);
    return kExitOk;
  }
  if (cl.Operands().size() != 1)
    FailUsage("dump", cl.Operands().empty() ? "no FILE given" : "one FILE at a time");
  const std::string& path = cl.Operands()[0];
  Input in(path);
  const Form form = ResolveInputForm(path, in.Head(), ReadAs(cl));
  const bool csv = cl.Has("csv");
  if (csv && form != Form::table && form != Form::csv)
    FailUsage("dump", std::string("--csv is for tables; ") + path + " is a " + FormDescription(form));
  switch (form) {
    case Form::vdf:
      DumpVdf(path, in.Bytes());
      break;
    case Form::xml:
      DumpXml(path, in.Bytes());
      break;
    case Form::table:
    case Form::csv: {
      std::unique_ptr<CVdbTable> table =
          form == Form::table ? LoadTable(path, in.File()) : ReadCsv(path, in.Bytes(), TableNameFor(path));
      if (!csv) Out().Line(TableSummary(*table));
      PrintRecords(*table, "", csv);
      break;
    }
    case Form::tableset:
      PrintTableSet(*LoadTableSet(path, in.File()), "", SetParts::tablesAndRecords);
      break;
    case Form::dataset:
    case Form::datasetText: {
      int stopped = 0;
      auto set =
          form == Form::dataset ? LoadDataSet(path, in.File()) : LoadDataSetText(path, in.Bytes(), &stopped);
      Out().Line("data set " + NameOrNone(set->GetName()));
      PrintDataSet(*set, "  ");
      break;
    }
    case Form::keystrings:
      PrintKeyStrings(*LoadKeyStrings(path, in.File()), "", true, static_cast<size_t>(-1));
      break;
    case Form::secfile:
      DumpSections(path);
      break;
    case Form::keyprofile:
      DumpKeyProfile(path, in.Bytes());
      break;
    case Form::jobparams:
      DumpJobParameters(path, in.Bytes());
      break;
    case Form::unknown:
      break;
  }
  return kExitOk;
}

}  // namespace vdtool
