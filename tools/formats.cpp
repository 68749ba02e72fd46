#include "formats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "long_work.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdfile/vd_archive.h"

namespace vdtool {

namespace {

struct FormInfo {
  Form format;
  const char* keyword;
  const char* description;
};

const FormInfo kForms[] = {
    {Form::unknown, "unknown", "unrecognised file"},
    {Form::vdf, "vdf", "binary object archive (VDFc)"},
    {Form::xml, "xml", "XML object document"},
    {Form::table, "table", "table file (TV10)"},
    {Form::csv, "csv", "CSV table"},
    {Form::tableset, "tableset", "table-set stream"},
    {Form::dataset, "dataset", "data set (binary form)"},
    {Form::datasetText, "dataset-text", "data set (text form)"},
    {Form::keystrings, "keystrings", "key-string-array file"},
    {Form::secfile, "secfile", "section file (SECF)"},
    {Form::keyprofile, "keyprofile", "key profile (XML DataSet)"},
    {Form::jobparams, "jobparams", "operator parameter file (XML JobParameters)"},
};

const FormInfo& InfoOf(Form f) {
  for (const FormInfo& info : kForms)
    if (info.format == f) return info;
  return kForms[0];
}

bool StartsWith(ByteSpan bytes, size_t at, const char* text) {
  const size_t n = std::strlen(text);
  return bytes.size() >= at + n && std::memcmp(bytes.data() + at, text, n) == 0;
}

LONG Int32At(ByteSpan bytes, size_t at) {
  DWORD v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<size_t>(i)];
  return static_cast<LONG>(v);
}

bool EqualNoCase(const std::string& a, const char* b) {
  return std::strlen(b) == a.size() && CString(a.c_str()).CompareNoCase(b) == 0;
}

// The first token of the first line that holds one, within the first few
// kilobytes of a text; empty when the bytes are not text.
std::string FirstToken(ByteSpan bytes) {
  const size_t end = bytes.size() < 4096 ? bytes.size() : 4096;
  size_t i = 0;
  while (i < end && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
  std::string token;
  while (i < end && bytes[i] > ' ' && token.size() < 64) token += static_cast<char>(bytes[i++]);
  for (size_t j = 0; j < end; ++j)
    if (bytes[j] == 0) return "";
  return token;
}

// The name of the first element after `at` (passing over the declaration,
// processing instructions, comments and the document type), when its tag has
// no class attribute; "" otherwise or when the bytes end first.
std::string FirstElement(ByteSpan bytes, size_t at) {
  const size_t end = std::min<size_t>(bytes.size(), 4096);
  while (at < end) {
    if (bytes[at] != '<') {
      ++at;
      continue;
    }
    const BYTE next = at + 1 < end ? bytes[at + 1] : 0;
    if (next == '?' || next == '!') {
      const char* close = next == '!' && StartsWith(bytes, at, "<!--") ? "-->" : ">";
      const BYTE* found =
          std::search(bytes.data() + at + 2, bytes.data() + end, close, close + std::strlen(close));
      at = static_cast<size_t>(found - bytes.data()) + std::strlen(close);
      continue;
    }
    std::string name;
    size_t i = at + 1;
    while (i < end && bytes[i] > ' ' && bytes[i] != '>' && bytes[i] != '/')
      name += static_cast<char>(bytes[i++]);
    const BYTE* tagEnd = std::find(bytes.data() + i, bytes.data() + end, '>');
    const std::string tag(reinterpret_cast<const char*>(bytes.data()) + i,
                          reinterpret_cast<const char*>(tagEnd));
    return tag.find("class=") == std::string::npos ? name : "";
  }
  return "";
}

// Where reading stopped, for messages.
std::string StoppedAt(const CFile& file, size_t size) {
  return "reading stopped at byte " + Grouped(file.GetPosition()) + " of " + Grouped(size);
}

// A memory file over the caller's bytes, read in place.
struct ReadOnlyMem {
  explicit ReadOnlyMem(ByteSpan bytes)
      : file(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0) {}
  CMemFile file;
};

void CheckNotEmpty(const std::string& path, ByteSpan bytes) {
  if (bytes.empty()) FailFile(path, "empty file");
}

void CheckFullyRead(const std::string& path, const CFile& file, size_t size, const char* what) {
  const ULONGLONG at = file.GetPosition();
  if (at < size)
    FailFile(path, std::string("damaged ") + what + ": " + Grouped(size - at) +
                       " bytes follow its end at byte " + Grouped(at));
}

}  // namespace

const char* FormKeyword(Form f) {
  return InfoOf(f).keyword;
}
const char* FormDescription(Form f) {
  return InfoOf(f).description;
}

Form FormFromKeyword(const std::string& keyword) {
  for (const FormInfo& info : kForms)
    if (info.format != Form::unknown && EqualNoCase(keyword, info.keyword)) return info.format;
  if (EqualNoCase(keyword, "tv10")) return Form::table;
  if (EqualNoCase(keyword, "vdfc")) return Form::vdf;
  return Form::unknown;
}

Form FormFromExtension(const std::string& path) {
  const std::string ext = FileExtension(path);
  if (ext == "vdf") return Form::vdf;
  if (ext == "xml") return Form::xml;
  if (ext == "tv10" || ext == "tv") return Form::table;
  if (ext == "csv") return Form::csv;
  if (ext == "vts") return Form::tableset;
  if (ext == "vds") return Form::dataset;
  if (ext == "vks") return Form::keystrings;
  if (ext == "txt") return Form::datasetText;
  if (ext == "sec") return Form::secfile;
  return Form::unknown;
}

Form RecognizeContent(ByteSpan bytes, const std::string& path) {
  if (StartsWith(bytes, 0, "VDFc")) return Form::vdf;
  if (StartsWith(bytes, 0, "TV10")) return Form::table;
  size_t at = StartsWith(bytes, 0, "\xEF\xBB\xBF") ? 3 : 0;
  while (at < bytes.size() &&
         (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
    ++at;
  if (StartsWith(bytes, at, "<?xml")) {
    const std::string first = FirstElement(bytes, at);
    if (first == "DataSet") return Form::keyprofile;
    if (first == "JobParameters") return Form::jobparams;
    return Form::xml;
  }
  if (StartsWith(bytes, 0, "SECF")) return Form::secfile;
  if (bytes.size() >= 8 && Int32At(bytes, 0) > 0 && StartsWith(bytes, 4, "TV10")) return Form::tableset;
  const std::string token = FirstToken(bytes);
  if (token.compare(0, 3, "@id") == 0) return Form::csv;
  if (token.compare(0, 5, "?----") == 0 || EqualNoCase(token, "DataSetName=")) return Form::datasetText;
  if (FileExtension(path) == "csv" && !token.empty()) return Form::csv;
  return Form::unknown;
}

Form ResolveInputForm(const std::string& path, ByteSpan bytes, const std::string& asKeyword) {
  if (!asKeyword.empty()) {
    const Form f = FormFromKeyword(asKeyword);
    if (f == Form::unknown)
      FailUsage("--as", "unknown form " + Quoted(asKeyword) + " (see 'vdkit help formats')");
    return f;
  }
  CheckNotEmpty(path, bytes);
  const Form f = RecognizeContent(bytes, path);
  if (f != Form::unknown) return f;
  // What the content does not say, the extension may.
  const Form byName = FormFromExtension(path);
  if (byName == Form::tableset || byName == Form::dataset || byName == Form::keystrings) return byName;
  FailFile(path,
           "not a form vdkit recognises by its content; a table-set stream, data set or key-string-array "
           "file is known by its extension (.vts .vds .vks) or named with --as tableset|dataset|keystrings");
}

// ---- Loaders ---------------------------------------------------------------------------

Input::Input(const std::string& path) : m_path(path) {
  if (IsDirectory(path)) FailFile(path, "is a directory, not a file");
  m_file = std::make_unique<WatchedFile>();
  CFileException error;
  if (!m_file->Open(path.c_str(), CFile::modeRead | CFile::typeBinary, &error))
    FailFile(path, "cannot open: " + ExceptionText(&error));
  try {
    m_head.resize(4096);
    m_head.resize(m_file->Read(m_head.data(), static_cast<UINT>(m_head.size())));
    m_file->SeekToBegin();
  } catch (CException* e) {
    const std::string text = ExceptionText(e);
    e->Delete();
    FailFile(path, "cannot read: " + text);
  }
}

ByteSpan Input::Bytes() {
  if (!m_read) {
    m_bytes = ReadFileBytes(m_path);
    m_read = true;
  }
  return m_bytes;
}

CFile& Input::File() {
  m_file->SeekToBegin();
  return *m_file;
}

namespace {

// Runs a reader of the file; the file's own errors become the file's message.
// A file of the program's own moves a progress display as it is read.
template <typename Read>
void Reading(const std::string& path, CFile& file, Read read) {
  WatchedFile* watched = dynamic_cast<WatchedFile*>(&file);
  ProgressPhase phase("reading " + path, watched ? file.GetLength() : 0);
  if (watched) watched->Watch(&phase);
  struct Unwatch {
    WatchedFile* file;
    ~Unwatch() {
      if (file) file->Watch(nullptr);
    }
  } unwatch{watched};
  try {
    read();
  } catch (CException* e) {
    const std::string text = ExceptionText(e);
    e->Delete();
    FailFile(path, "cannot read: " + text);
  }
}

}  // namespace

std::unique_ptr<CVdbTable> LoadTable(const std::string& path, CFile& file) {
  const size_t size = static_cast<size_t>(file.GetLength() - file.GetPosition());
  if (size == 0) FailFile(path, "empty file");
  auto table = std::make_unique<CVdbTable>();
  Reading(path, file, [&] {
    BYTE magic[4] = {};
    const UINT got = file.Read(magic, 4);
    if (got < 4 || std::memcmp(magic, "TV10", 4) != 0)
      FailFile(path, "not a table file: it does not begin with \"TV10\"");
    file.Seek(-4, CFile::current);
    if (!table->Read(file))
      FailFile(path, "damaged table file: it ends early or holds an impossible layout (" +
                         StoppedAt(file, size) + ")");
  });
  CheckFullyRead(path, file, size, "table file");
  return table;
}

std::unique_ptr<CVdbTableSet> LoadTableSet(const std::string& path, CFile& file) {
  const size_t size = static_cast<size_t>(file.GetLength() - file.GetPosition());
  if (size == 0) FailFile(path, "empty file");
  auto set = std::make_unique<CVdbTableSet>();
  Reading(path, file, [&] {
    if (!set->ReadTables(file))
      FailFile(path, "damaged table-set stream: it ends early or holds an impossible count or layout (" +
                         StoppedAt(file, size) + ")");
  });
  CheckFullyRead(path, file, size, "table-set stream");
  return set;
}

std::unique_ptr<CVdbDataSet> LoadDataSet(const std::string& path, CFile& file) {
  const size_t size = static_cast<size_t>(file.GetLength() - file.GetPosition());
  if (size == 0) FailFile(path, "empty file");
  auto set = std::make_unique<CVdbDataSet>();
  Reading(path, file, [&] {
    if (!set->Read(file))
      FailFile(path, "damaged data set: it ends early or holds an impossible count or length (" +
                         StoppedAt(file, size) + ")");
  });
  CheckFullyRead(path, file, size, "data set");
  return set;
}

std::unique_ptr<CKeyStringArraySet> LoadKeyStrings(const std::string& path, CFile& file) {
  const size_t size = static_cast<size_t>(file.GetLength() - file.GetPosition());
  if (size == 0) FailFile(path, "empty file");
  auto set = std::make_unique<CKeyStringArraySet>();
  Reading(path, file, [&] {
    if (!set->Read(file))
      FailFile(path, "damaged key-string-array file: it ends early (" + StoppedAt(file, size) + ")");
  });
  CheckFullyRead(path, file, size, "key-string-array file");
  return set;
}

std::unique_ptr<CVdbTable> LoadTable(const std::string& path, ByteSpan bytes) {
  CheckNotEmpty(path, bytes);
  ReadOnlyMem mem(bytes);
  return LoadTable(path, mem.file);
}

std::unique_ptr<CVdbTableSet> LoadTableSet(const std::string& path, ByteSpan bytes) {
  CheckNotEmpty(path, bytes);
  ReadOnlyMem mem(bytes);
  return LoadTableSet(path, mem.file);
}

std::unique_ptr<CVdbDataSet> LoadDataSet(const std::string& path, ByteSpan bytes) {
  CheckNotEmpty(path, bytes);
  ReadOnlyMem mem(bytes);
  return LoadDataSet(path, mem.file);
}

std::unique_ptr<CVdbDataSet> LoadDataSetText(const std::string& path, ByteSpan bytes, int* stoppedAtLine) {
  CheckNotEmpty(path, bytes);
  FILE* fp = ::fmemopen(const_cast<BYTE*>(bytes.data()), bytes.size(), "r");
  if (!fp) FailFile(path, "cannot read");
  auto set = std::make_unique<CVdbDataSet>();
  const bool ok = set->Read(fp);
  const long at = std::ftell(fp);
  std::fclose(fp);
  if (!ok)
    FailFile(path, "damaged data set (text form): a line longer than " + Grouped(CVdbDataSet::kMaxTextLine) +
                       " bytes");
  *stoppedAtLine = 0;
  const size_t stop = at < 0 ? 0 : static_cast<size_t>(at);
  bool onlyBlanks = true;
  for (size_t i = stop; i < bytes.size() && onlyBlanks; ++i)
    onlyBlanks = bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n';
  if (!onlyBlanks) {
    int line = 1;
    for (size_t i = 0; i < stop && i < bytes.size(); ++i) line += bytes[i] == '\n';
    *stoppedAtLine = line;
  }
  return set;
}

std::unique_ptr<CKeyStringArraySet> LoadKeyStrings(const std::string& path, ByteSpan bytes) {
  CheckNotEmpty(path, bytes);
  ReadOnlyMem mem(bytes);
  return LoadKeyStrings(path, mem.file);
}

// ---- Writers ----------------------------------------------------------------------------

Blob::Blob(CMemFile& written) : m_size(static_cast<size_t>(written.GetLength())) {
  m_data.reset(written.Detach());
}

Blob::Blob(const std::string& text) : m_size(text.size()) {
  m_data.reset(static_cast<BYTE*>(std::malloc(text.size() + 1)));
  if (!m_data) throw std::bad_alloc();
  std::memcpy(m_data.get(), text.data(), text.size());
}

bool Blob::operator==(const Blob& other) const {
  return m_size == other.m_size && (m_size == 0 || std::memcmp(data(), other.data(), m_size) == 0);
}

void Blob::Free::operator()(BYTE* p) const {
  std::free(p);
}

Blob StoreVdf(CVDFile& root) {
  CMemFile mem(1 << 16);
  CArchive ar(&mem, CArchive::store);
  ar << root;
  ar.Close();
  return Blob(mem);
}

Blob StoreTable(CVdbTable& table) {
  CMemFile mem(1 << 16);
  table.Write(mem);
  return Blob(mem);
}

Blob StoreTableSet(CVdbTableSet& set) {
  CMemFile mem(1 << 16);
  set.WriteTables(mem);
  return Blob(mem);
}

Blob StoreDataSet(const CVdbDataSet& set) {
  CMemFile mem(1 << 12);
  set.Write(mem);
  return Blob(mem);
}

Blob StoreDataSetText(const CVdbDataSet& set) {
  char* text = nullptr;
  size_t size = 0;
  FILE* fp = ::open_memstream(&text, &size);
  if (!fp) throw std::bad_alloc();
  const bool ok = set.Write(fp);
  std::fclose(fp);
  Blob bytes(reinterpret_cast<BYTE*>(text), size);
  if (!ok) throw Failure{kExitBadFile, "cannot write the data set's text form"};
  return bytes;
}

Blob StoreKeyStrings(const CKeyStringArraySet& set) {
  CMemFile mem(1 << 12);
  set.Write(mem);
  return Blob(mem);
}

}  // namespace vdtool
