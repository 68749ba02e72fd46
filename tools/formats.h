// The file forms the program reads and writes, how it tells them apart by
// content, and the loaders of the forms that are one library object each
// (table file, table-set stream, data set, key-string-array file).
//
// Recognition by content: "VDFc" at byte 0 is a binary object archive,
// "TV10" at byte 0 a table file, "<?xml" (after a byte-order mark and
// blanks) an XML document, a positive table count followed by "TV10" a
// table-set stream, a first line "@id..." a CSV table written by this
// program, and a text that opens like the data-set writer's text form a data
// set in text form. A table-set stream without tables, a binary data set and
// a key-string-array file carry no mark of their own and must be named with
// --as; a CSV file is also known by its ".csv" extension.
//
// Every loader reads the whole form and throws Failure (status 1) with a
// message naming what is wrong when the bytes are not exactly one valid
// instance of it: cut short, an impossible count or layout, or bytes left
// over after its end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tool.h"

class CVDFile;
class CVdbTable;
class CVdbTableSet;
class CVdbDataSet;
class CKeyStringArraySet;

namespace vdtool {

enum class Form {
  unknown,
  vdf,          // binary object archive, "VDFc"
  xml,          // XML object document
  table,        // binary table file, "TV10"
  csv,          // table as comma-separated values with a header of field definitions
  tableset,     // table-set stream
  dataset,      // data set, binary form
  datasetText,  // data set, text form
  keystrings,   // key-string-array file
};

// The keyword of a form on the command line ("vdf", "xml", "table", "csv",
// "tableset", "dataset", "dataset-text", "keystrings").
const char* FormKeyword(Form f);
// A phrase for messages and listings: "binary object archive (VDFc)".
const char* FormDescription(Form f);
// The form named by a keyword (a few aliases: "tv10", "vdfc"); unknown when none.
Form FormFromKeyword(const std::string& keyword);
// The form an output file name asks for by its extension; unknown when none.
Form FormFromExtension(const std::string& path);
// The form of the bytes by content (see above); unknown when they carry no mark.
Form RecognizeContent(const std::vector<BYTE>& bytes, const std::string& path);
// The form to read `path` as: `asKeyword` when given (Failure status 2 when
// it names no form), else by content; Failure status 1 when unrecognised.
Form ResolveInputForm(const std::string& path, const std::vector<BYTE>& bytes, const std::string& asKeyword);

// ---- Loaders -----------------------------------------------------------------------
std::unique_ptr<CVdbTable> LoadTable(const std::string& path, const std::vector<BYTE>& bytes);
std::unique_ptr<CVdbTableSet> LoadTableSet(const std::string& path, const std::vector<BYTE>& bytes);
std::unique_ptr<CVdbDataSet> LoadDataSet(const std::string& path, const std::vector<BYTE>& bytes);
// The text form. It has no end mark of its own: reading stops at END, at a
// section line or at the first line the reader does not understand. When
// that leaves more than blank lines unread, `stoppedAtLine` is the number of
// the first line not read (1-based), else 0.
std::unique_ptr<CVdbDataSet> LoadDataSetText(const std::string& path, const std::vector<BYTE>& bytes,
                                             int* stoppedAtLine);
std::unique_ptr<CKeyStringArraySet> LoadKeyStrings(const std::string& path, const std::vector<BYTE>& bytes);

// ---- Writers: the bytes of each form ---------------------------------------------------
std::vector<BYTE> StoreVdf(CVDFile& root);
std::vector<BYTE> StoreTable(CVdbTable& table);
std::vector<BYTE> StoreTableSet(CVdbTableSet& set);
std::vector<BYTE> StoreDataSet(const CVdbDataSet& set);
std::vector<BYTE> StoreDataSetText(const CVdbDataSet& set);
std::vector<BYTE> StoreKeyStrings(const CKeyStringArraySet& set);

}  // namespace vdtool
