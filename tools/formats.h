// The file forms the program reads and writes, how it tells them apart by
// content, and the loaders of the forms that are one library object each
// (table file, table-set stream, data set, key-string-array file).
//
// Recognition by content: "VDFc" at byte 0 is a binary object archive,
// "TV10" at byte 0 a table file, "<?xml" (after a byte-order mark and
// blanks) an XML document, a positive table count followed by "TV10" a
// table-set stream, "SECF" at byte 0 a section file, an XML document whose
// first element is <DataSet> (without a class) a key profile and one whose
// first element is <JobParameters> an operator parameter file, a first line
// "@id..." a CSV table written by this
// program, and a text that opens like the data-set writer's text form a data
// set in text form. A table-set stream without tables, a binary data set and
// a key-string-array file carry no mark of their own: they are known by their
// extension (.vts, .vds, .vks) or named with --as; a CSV file is also known by
// its ".csv" extension.
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

class CFile;
class CMemFile;
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
  secfile,      // section file, "SECF"
  keyprofile,   // key profile, an XML document of one <DataSet>
  jobparams,    // operator parameter file, an XML document of one <JobParameters>
};

// The keyword of a form on the command line ("vdf", "xml", "table", "csv",
// "tableset", "dataset", "dataset-text", "keystrings", "secfile",
// "keyprofile", "jobparams").
const char* FormKeyword(Form f);
// A phrase for messages and listings: "binary object archive (VDFc)".
const char* FormDescription(Form f);
// The form named by a keyword (a few aliases: "tv10", "vdfc"); unknown when none.
Form FormFromKeyword(const std::string& keyword);
// The form an output file name asks for by its extension; unknown when none.
Form FormFromExtension(const std::string& path);
// The form of the bytes by content (see above); unknown when they carry no mark.
Form RecognizeContent(ByteSpan bytes, const std::string& path);
// The form to read `path` as: `asKeyword` when given (Failure status 2 when
// it names no form), else by content, else by the extension of a form
// without a mark; Failure status 1 when unrecognised.
Form ResolveInputForm(const std::string& path, ByteSpan bytes, const std::string& asKeyword);

// ---- Input files ---------------------------------------------------------------------
// A file to read. Its first bytes are at hand to recognise its form; its
// whole content is read into memory only when asked, since the library reads
// its binary forms straight from the file.
class Input {
 public:
  // Failure when the file cannot be opened or read, or is a directory.
  explicit Input(const std::string& path);
  const std::string& Path() const { return m_path; }
  // The first 4 KiB (the whole file when it is shorter).
  ByteSpan Head() const { return m_head; }
  // The whole content, read on first use.
  ByteSpan Bytes();
  // The file, at its start.
  CFile& File();

 private:
  std::string m_path;
  std::vector<BYTE> m_head;
  std::unique_ptr<CFile> m_file;
  FileBytes m_bytes;
  bool m_read = false;
};

// ---- Loaders -----------------------------------------------------------------------
// Each reads the form from the file's position to its end.
std::unique_ptr<CVdbTable> LoadTable(const std::string& path, CFile& file);
std::unique_ptr<CVdbTableSet> LoadTableSet(const std::string& path, CFile& file);
std::unique_ptr<CVdbDataSet> LoadDataSet(const std::string& path, CFile& file);
std::unique_ptr<CKeyStringArraySet> LoadKeyStrings(const std::string& path, CFile& file);
// The same over bytes in memory.
std::unique_ptr<CVdbTable> LoadTable(const std::string& path, ByteSpan bytes);
std::unique_ptr<CVdbTableSet> LoadTableSet(const std::string& path, ByteSpan bytes);
std::unique_ptr<CVdbDataSet> LoadDataSet(const std::string& path, ByteSpan bytes);
// The text form. It has no end mark of its own: reading stops at END, at a
// section line or at the first line the reader does not understand. When
// that leaves more than blank lines unread, `stoppedAtLine` is the number of
// the first line not read (1-based), else 0.
std::unique_ptr<CVdbDataSet> LoadDataSetText(const std::string& path, ByteSpan bytes, int* stoppedAtLine);
std::unique_ptr<CKeyStringArraySet> LoadKeyStrings(const std::string& path, ByteSpan bytes);

// ---- Writers: the bytes of each form ---------------------------------------------------
// The bytes a writer produced, kept in the block they were written into (a
// large file is never copied on its way to the disk).
class Blob {
 public:
  Blob() = default;
  // Takes over the memory file's block; the file is left empty.
  explicit Blob(CMemFile& written);
  // Takes over a block allocated with malloc.
  Blob(BYTE* block, size_t size) : m_data(block), m_size(size) {}
  explicit Blob(const std::string& text);
  const BYTE* data() const { return m_data.get(); }
  size_t size() const { return m_size; }
  std::vector<BYTE> ToVector() const { return std::vector<BYTE>(data(), data() + size()); }
  operator ByteSpan() const { return ByteSpan(data(), size()); }  // NOLINT: implicit on purpose
  bool operator==(const Blob& other) const;
  bool operator!=(const Blob& other) const { return !(*this == other); }

 private:
  struct Free {
    void operator()(BYTE* p) const;
  };
  std::unique_ptr<BYTE, Free> m_data;
  size_t m_size = 0;
};

Blob StoreVdf(CVDFile& root);
Blob StoreTable(CVdbTable& table);
Blob StoreTableSet(CVdbTableSet& set);
Blob StoreDataSet(const CVdbDataSet& set);
Blob StoreDataSetText(const CVdbDataSet& set);
Blob StoreKeyStrings(const CKeyStringArraySet& set);

}  // namespace vdtool
