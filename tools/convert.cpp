// convert: from one form to another, keeping everything or saying what would
// be lost.
#include <cstdio>
#include <map>
#include <memory>

#include "commands.h"
#include "compare.h"
#include "csv.h"
#include "formats.h"
#include "sections.h"
#include "settings.h"
#include "tool.h"
#include "vdf.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"
#include "xml_doc.h"
#include "xml_io.h"

namespace vdtool {

const char kConvertHelp[] =
    "Usage: vdkit convert [--as FORM] [--to FORM] [--name NAME] [--lossy] IN OUT\n"
    "\n"
    "Reads IN (its form recognised by content, or named with --as) and writes OUT in\n"
    "the form its extension names (.vdf .xml .tv10 .csv .vts .vds .txt .vks .sec) or\n"
    "--to names.\n"
    "OUT appears only when the whole conversion succeeded.\n"
    "\n"
    "Conversions:\n"
    "  vdf <-> xml            binary object archive <-> XML object document\n"
    "  table <-> csv <-> xml  a \"TV10\" table file, CSV with a header of field\n"
    "                         definitions (Depth:DOUBLE), the table's XML document\n"
    "  tableset, keystrings, secfile, keyprofile\n"
    "                         rewritten in their own form\n"
    "  dataset <-> dataset-text\n"
    "\n"

    "Every value is kept, nulls included. When OUT's form cannot hold something IN\n"
    "holds (an object of a class this program does not know, data one archive keeps\n"
    "and the other has no place for, a number the text form would round), nothing is\n"
    "written and the message says what; --lossy writes it anyway and says so. What\n"
    "CSV has no place for (field aliases and units, the field-set name) is named in a\n"
    "note.\n"
    "\n"
    "Options:\n"
    "  --as FORM    read IN as FORM (see 'vdkit --help' for the forms)\n"
    "  --to FORM    write OUT as FORM\n"
    "  --name NAME  the table's name when IN is CSV (default: IN's file name)\n"
    "  --lossy      write OUT even when it cannot hold everything\n";

namespace {

bool IsTableForm(Form f) {
  return f == Form::table || f == Form::csv;
}

struct Request {
  std::string in;
  std::string out;
  Form inForm = Form::unknown;
  Form outForm = Form::unknown;
  std::string name;
  bool lossy = false;
};

// A loss that stops the conversion unless --lossy allows it.
void Loss(const Request& r, const std::string& what) {
  if (!r.lossy) FailFile(r.in, what + "; nothing written (--lossy writes it anyway)");
  Note(r.in, what + "; written anyway (--lossy)");
}

[[noreturn]] void CannotConvert(const Request& r) {
  FailUsage("convert", std::string("cannot convert a ") + FormDescription(r.inForm) + " to a " +
                           FormDescription(r.outForm) + " (see 'vdkit convert --help')");
}

// ---- Object trees ------------------------------------------------------------------------

void ConvertTree(const Request& r, Input& in) {
  const ByteSpan bytes = in.Bytes();
  // Whether IN holds data that only its own archive may have a place for:
  // blobs and class data in the binary form, an object's data elements in XML.
  bool ownData = false;
  std::unique_ptr<CVDFile> root;
  if (r.inForm == Form::vdf) {
    std::map<std::string, size_t> unknown;  // classes nobody registered, with their objects
    ScanVdf(r.in, bytes, [&](const VdfRecord& rec) {
      ownData = ownData || rec.blobSize > 0 || rec.classSize > 0;
      if (rec.depth == 0 && !IsRegisteredClass(rec.className))
        Loss(r, "the root object is of class " + Quoted(rec.className) +
                    ", which this program does not know: the output would hold it as a plain CVDFile");
      else if (!IsRegisteredClass(rec.className))
        ++unknown[std::string(rec.className)];
    });
    for (const auto& u : unknown)
      Loss(r, Format("%zu object%s of class ", u.second, u.second == 1 ? " is" : "s are") + Quoted(u.first) +
                  ", which this program does not know: the output would leave them out");
    std::vector<std::string> notes;
    root = LoadVdfTree(r.in, bytes, &notes);
    for (const std::string& n : notes) Loss(r, n + ": the output would hold what its reader made of them");
  } else {
    std::string rootClass;
    {
      const XmlDocument doc = LoadXmlDocument(r.in, bytes);
      rootClass = doc.objects.front().className;
      std::map<std::string, size_t> unknown;
      for (const XmlObject& o : doc.objects) {
        ownData = ownData || o.dataElements > 0;
        if (!IsRegisteredClass(o.className)) ++unknown[o.className];
      }
      for (const auto& u : unknown)
        Loss(r, Format("%zu object%s of class ", u.second, u.second == 1 ? " is" : "s are") +
                    Quoted(u.first) + ", which this program does not know: the output would leave them out");
    }
    root = LoadXmlTree(r.in, bytes, rootClass);
  }
  const bool verify = r.inForm != r.outForm && ownData;
  if (!verify && r.outForm == Form::vdf) {
    // Straight to the file: a large archive is never held twice.
    WriteFileWith(r.out, [&](CFile& file) {
      CArchive ar(&file, CArchive::store, 1 << 16);
      ar << *root;
      ar.Close();
    });
    return;
  }
  const Blob out = r.outForm == Form::vdf ? StoreVdf(*root) : StoreXml(*root);
  if (verify) {
    // Only a class knows which of its data it writes into which archive, so
    // read the output back and compare both archive forms of both trees.
    std::unique_ptr<CVDFile> back;
    if (r.outForm == Form::vdf) {
      back = LoadVdfTree(r.out, out, nullptr);
    } else {
      back = LoadXmlTree(r.out, out);
    }
    std::string diff;
    const bool same = SameTree(*root, *back, TreeParts{true, true, true}, &diff);
    if (!same || StoreVdf(*root) != StoreVdf(*back) || StoreXml(*root) != StoreXml(*back)) {
      if (same)
        diff = r.outForm == Form::vdf ? "the XML data of an object" : "the blob or class data of an object";
      Loss(r, std::string("a ") + FormDescription(r.outForm) + " has no place for everything: " + diff);
    }
  }
  WriteFileAtomically(r.out, out.data(), out.size());
}

// ---- Tables ----------------------------------------------------------------------------------

std::unique_ptr<CVdbTable> LoadTableForm(const Request& r, Input& in) {
  switch (r.inForm) {
    case Form::table:
      return LoadTable(r.in, in.File());
    case Form::csv:
      return ReadCsv(r.in, in.Bytes(), r.name.empty() ? FileStem(r.in) : r.name);
    default:
      return LoadXmlTable(r.in, in.Bytes());
  }
}

void ConvertTable(const Request& r, Input& in) {
  std::unique_ptr<CVdbTable> table = LoadTableForm(r, in);
  if (r.inForm == Form::csv || !r.name.empty())
    table->SetName(r.name.empty() ? FileStem(r.in).c_str() : r.name.c_str());
  switch (r.outForm) {
    case Form::table:
      // Straight to the file: a large table is never held twice.
      WriteFileWith(r.out, [&](CFile& file) { table->Write(file); });
      break;
    case Form::csv: {
      const std::vector<std::string> omitted = CsvOmissions(*table);
      WriteFileWith(r.out, [&](CFile& file) {
        std::string inexact;
        WriteCsvTo(*table, r.in, &inexact, [&file](const std::string& chunk) {
          file.Write(chunk.data(), static_cast<UINT>(chunk.size()));
        });
        if (!inexact.empty()) Loss(r, "a value cannot be written exactly as text (" + inexact + ")");
      });
      if (!omitted.empty()) {
        std::string list;
        for (size_t i = 0; i < omitted.size(); ++i)
          list += (i == 0 ? "" : i + 1 == omitted.size() ? " and " : ", ") + omitted[i];
        Note(r.in, "CSV has no place for " + list + "; the values are all kept");
      }
      break;
    }
    default: {
      const Blob out = StoreXmlTable(*table);
      // The XML body writes values as text by the library's own rules; read
      // it back to be sure every value survived.
      std::unique_ptr<CVdbTable> back = LoadXmlTable(r.out, out, "CVdbTable");
      std::string diff;
      if (!SameFields(*table->GetFieldSet(), *back->GetFieldSet(), FieldParts{false, true}, &diff) ||
          !SameRecords(*table, *back, &diff))
        Loss(r, "the table's XML form does not keep every value exactly (" + diff + ")");
      WriteFileAtomically(r.out, out.data(), out.size());
      break;
    }
  }
}

// ---- The other forms -------------------------------------------------------------------------

void ConvertOther(const Request& r, Input& in) {
  Blob out;
  if (r.inForm == Form::tableset && r.outForm == Form::tableset) {
    out = StoreTableSet(*LoadTableSet(r.in, in.File()));
  } else if ((r.inForm == Form::dataset || r.inForm == Form::datasetText) &&
             (r.outForm == Form::dataset || r.outForm == Form::datasetText)) {
    int stopped = 0;
    std::unique_ptr<CVdbDataSet> set = r.inForm == Form::dataset
                                           ? LoadDataSet(r.in, in.File())
                                           : LoadDataSetText(r.in, in.Bytes(), &stopped);
    if (stopped > 0)
      Note(r.in, Format("reading stopped before line %d; only the lines before it are converted", stopped));
    out = r.outForm == Form::dataset ? StoreDataSet(*set) : StoreDataSetText(*set);
    if (r.outForm == Form::datasetText) {
      // The text form has no place for value limits.
      if (set->GetKeyHead()) Loss(r, "the data set's text form has no place for its value limits");
    }
  } else if (r.inForm == Form::keystrings && r.outForm == Form::keystrings) {
    out = StoreKeyStrings(*LoadKeyStrings(r.in, in.File()));
  } else if (r.inForm == Form::secfile && r.outForm == Form::secfile) {
    RewriteSections(r.in, r.out, r.lossy);
    return;
  } else if ((r.inForm == Form::keyprofile || r.inForm == Form::xml) && r.outForm == Form::keyprofile) {
    RewriteKeyProfile(r.in, in.Bytes(), r.out, r.lossy);
    return;
  } else {
    CannotConvert(r);
  }
  WriteFileAtomically(r.out, out.data(), out.size());
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
  const CommandLine cl("convert", args, {{"as", true}, {"to", true}, {"name", true}, {"lossy", false}});
  if (cl.Has("help")) {
    Out().Write(kConvertHelp);
    return kExitOk;
  }
  if (cl.Operands().size() != 2)
    FailUsage("convert", cl.Operands().size() < 2 ? "needs IN and OUT" : "takes one IN and one OUT");
  Request r;
  r.in = cl.Operands()[0];
  r.out = cl.Operands()[1];
  r.name = cl.Value("name");
  r.lossy = cl.Has("lossy");
  if (cl.Has("to")) {
    r.outForm = FormFromKeyword(cl.Value("to"));
    if (r.outForm == Form::unknown)
      FailUsage("convert", "--to: unknown form " + Quoted(cl.Value("to")) + " (see 'vdkit --help')");
  } else {
    r.outForm = FormFromExtension(r.out);
    if (r.outForm == Form::unknown)
      FailUsage("convert", "cannot tell the output form from " + Quoted(r.out) + "; name it with --to");
  }
  if (!cl.Value("as").empty() && FormFromKeyword(cl.Value("as")) == Form::unknown)
    FailUsage("convert", "--as: unknown form " + Quoted(cl.Value("as")) + " (see 'vdkit --help')");
  if (IsDirectory(r.out)) FailUsage("convert", Quoted(r.out) + " is a directory");

  Input in(r.in);
  r.inForm = ResolveInputForm(r.in, in.Head(), cl.Value("as"));
  // A key profile is an XML document too: ".xml" keeps it one.
  if (r.inForm == Form::keyprofile && r.outForm == Form::xml && !cl.Has("to")) r.outForm = Form::keyprofile;
  const bool treeIn = r.inForm == Form::vdf || r.inForm == Form::xml;
  const bool treeOut = r.outForm == Form::vdf || r.outForm == Form::xml;
  const bool tableIn = IsTableForm(r.inForm) || r.inForm == Form::xml;
  const bool tableOut = IsTableForm(r.outForm) || r.outForm == Form::xml;
  if (!r.name.empty() && !(tableIn && tableOut && !(treeIn && treeOut)))
    FailUsage("convert", "--name is for tables");
  if (treeIn && treeOut) {
    ConvertTree(r, in);
  } else if (tableIn && tableOut) {
    ConvertTable(r, in);
  } else {
    ConvertOther(r, in);
  }
  return kExitOk;
}

}  // namespace vdtool
