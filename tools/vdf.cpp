#include "vdf.h"

#include <cstring>

#include "long_work.h"
#include "tool.h"
#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"

namespace vdtool {

namespace {

constexpr char kClassKey[] = "ClassName=";
// The library's record reader keeps names of up to this many characters.
constexpr size_t kLibraryNameLength = 127;

// The class-data warning of the binary archive ends in these GBK bytes ("the
// class's data do not match"); the program says it in words of its own.
constexpr char kMismatchGbk[] = "\xC0\xE0\xB5\xC4\xCA\xFD\xBE\xDD\xB2\xBB\xC6\xA5\xC5\xE4";

// A cursor over the archive's bytes; every check fails through Damaged.
class Cursor {
 public:
  Cursor(const std::string& path, ByteSpan bytes) : m_path(path), m_bytes(bytes) {}

  [[noreturn]] void Damaged(const std::string& what, size_t at) const {
    FailFile(m_path, "damaged binary object archive: " + what + " (byte " + Grouped(at) + " of " +
                         Grouped(m_bytes.size()) + ")");
  }

  size_t At() const { return m_at; }
  size_t Left() const { return m_bytes.size() - m_at; }

  void Need(size_t n, const char* what) const {
    if (Left() < n) Damaged(std::string("the stream ends inside ") + what, m_bytes.size());
  }

  DWORD Number(size_t width, const char* what) {
    Need(width, what);
    DWORD v = 0;
    for (size_t i = width; i-- > 0;) v = (v << 8) | m_bytes[m_at + i];
    m_at += width;
    return v;
  }

  // A record string: a signed 16-bit length, then that many bytes; the text
  // ends at the first zero byte.
  std::string_view Text(const char* what) {
    const size_t start = m_at;
    const SHORT n = static_cast<SHORT>(Number(2, what));
    if (n < 0) Damaged(std::string("negative length of ") + what, start);
    Need(static_cast<size_t>(n), what);
    const char* p = reinterpret_cast<const char*>(m_bytes.data() + m_at);
    const void* zero = std::memchr(p, 0, static_cast<size_t>(n));
    const std::string_view text(
        p, zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : static_cast<size_t>(n));
    m_at += static_cast<size_t>(n);
    return text;
  }

  void Skip(size_t n, const char* what) {
    Need(n, what);
    m_at += n;
  }

 private:
  const std::string& m_path;
  ByteSpan m_bytes;
  size_t m_at = 0;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string ReadableMessage(const char* text) {
  std::string t = text ? text : "";
  const size_t n = std::strlen(kMismatchGbk);
  if (t.size() >= n && t.compare(t.size() - n, n, kMismatchGbk) == 0) {
    std::string cls = t.substr(0, t.size() - n);
    while (!cls.empty() && cls.front() == ' ') cls.erase(0, 1);
    return "the class data of " + Printable(cls) + " do not match what its reader takes";
  }
  const char* noDefinition = FindStringResource(IDS_VDB_NO_TABLE_DEFINITION);
  if (noDefinition && *noDefinition && t.compare(0, std::strlen(noDefinition), noDefinition) == 0)
    return "no table definition named " + Quoted(t.substr(std::strlen(noDefinition)));
  return Printable(t);
}

}  // namespace

void ScanVdf(const std::string& path, ByteSpan bytes, const std::function<void(const VdfRecord&)>& visit) {
  if (bytes.empty()) FailFile(path, "empty file");
  if (bytes.size() < 4 || std::memcmp(bytes.data(), "VDFc", 4) != 0)
    FailFile(path, "not a binary object archive: it does not begin with \"VDFc\"");
  Cursor in(path, bytes);
  in.Skip(4, "the magic");
  bool first = true;
  // Children still to read at each open level; the root's level is pushed
  // after its record.
  std::vector<LONG> left;
  std::vector<int> nextIndex;
  do {
    while (!left.empty() && left.back() == 0) {
      left.pop_back();
      nextIndex.pop_back();
    }
    if (!first && left.empty()) break;
    first = false;
    VdfRecord r;
    r.offset = in.At();
    r.depth = static_cast<int>(left.size());
    if (r.depth >= kVDFileMaxDepth)
      in.Damaged(Format("objects nested deeper than %d levels", kVDFileMaxDepth), r.offset);
    if (!left.empty()) {
      --left.back();
      r.index = nextIndex.back()++;
    }
    const std::string_view key = in.Text("a record key");
    if (!EqualNoCase(key, kClassKey))
      in.Damaged("a record does not begin with the key \"ClassName=\"", r.offset);
    r.className = in.Text("a class name");
    r.version = static_cast<WORD>(in.Number(2, "a version word"));
    r.flags = static_cast<WORD>(in.Number(2, "a flags word"));
    r.named = (r.flags & 1) != 0;
    if (r.named) {
      r.name = in.Text("an object name");
      r.type = in.Text("a file type");
    }
    r.blobSize = in.Number(4, "a blob size");
    r.blobOffset = in.At();
    in.Skip(r.blobSize, "a blob");
    r.classSize = in.Number(4, "a class data size");
    r.classOffset = in.At();
    in.Skip(r.classSize, "class data");
    const size_t countAt = in.At();
    r.childCount = static_cast<LONG>(in.Number(4, "a child count"));
    if (r.childCount < 0) in.Damaged("a negative child count", countAt);
    left.push_back(r.childCount);
    nextIndex.push_back(0);
    visit(r);
  } while (!left.empty());
  if (in.Left() > 0)
    FailFile(path, "damaged binary object archive: " + Grouped(in.Left()) +
                       " bytes follow the end of the root object at byte " + Grouped(in.At()));
}

std::vector<VdfRecord> WalkVdf(const std::string& path, ByteSpan bytes) {
  std::vector<VdfRecord> records;
  // A record takes at least 30 bytes, so this is room for every record the
  // bytes can hold: the list never moves while it grows, and the pages of
  // the room left over are never touched.
  records.reserve(bytes.size() / 30 + 1);
  ScanVdf(path, bytes, [&records](const VdfRecord& r) { records.push_back(r); });
  return records;
}

bool IsRegisteredClass(std::string_view className) {
  // Asked once per record of large archives: the last answer is kept, as
  // neighbouring records are mostly of one class.
  static std::string lastName;
  static bool lastAnswer = false;
  if (!lastName.empty() && EqualNoCase(className, lastName)) return lastAnswer;
  lastAnswer = false;
  for (const CVDClassInfo* c = CVDClassInfo::mhFirstObj; c && !lastAnswer; c = c->m_pNextClass)
    lastAnswer = c->m_lpszClassName && EqualNoCase(className, c->m_lpszClassName);
  lastName.assign(className.data(), className.size());
  return lastAnswer;
}

std::unique_ptr<CVDFile> LoadVdfTree(const std::string& path, ByteSpan bytes,
                                     std::vector<std::string>* notes) {
  // The walk first: damage is named as the walk names it, and the root's
  // class is known before anything is made.
  std::string rootClass;
  ScanVdf(path, bytes, [&rootClass](const VdfRecord& r) {
    if (r.depth == 0) rootClass.assign(r.className.data(), r.className.size());
  });
  std::unique_ptr<CVDFile> root(CreateVDFile(rootClass.c_str()));
  if (!root) root = std::make_unique<CVDFile>();
  MessageCapture capture;
  ProgressPhase phase("loading the objects of " + path, bytes.size());
  WatchedMemFile mem(bytes.data(), bytes.size(), &phase);
  bool ok = false;
  try {
    CArchive ar(&mem, CArchive::load);
    ok = ar >> *root;
    ar.Close();
  } catch (CException* e) {
    e->Delete();
    ok = false;
  }
  if (notes) notes->insert(notes->end(), capture.Messages().begin(), capture.Messages().end());
  if (!ok)
    FailFile(path, "the library refused the archive: the root object of class " + Quoted(rootClass) +
                       " did not accept its class data");
  return root;
}

const char kUnknownRootVdf[] =
    "the library reads a root record into the object it is given whatever its class, so this program read it "
    "into a plain CVDFile and what is below it as usual";
const char kUnknownRootXml[] =
    "the library reads such a document only into an object of that class, so this program cannot read it";

std::vector<CVDFile*> MatchRecords(const std::vector<VdfRecord>& records, CVDFile* root) {
  std::vector<CVDFile*> objects(records.size(), nullptr);
  struct Level {
    CVDFile* object;
    int scan;  // where the search for the next unnamed child goes on
  };
  std::vector<Level> levels;
  for (size_t i = 0; i < records.size(); ++i) {
    const VdfRecord& r = records[i];
    levels.resize(static_cast<size_t>(r.depth));
    CVDFile* object = nullptr;
    if (r.depth == 0) {
      object = root;
    } else if (CVDFile* parent = levels.back().object) {
      if (r.named) {
        // The reader reuses a child of that name, whatever the record's class.
        object = parent->FindFile(std::string(r.name.substr(0, kLibraryNameLength)).c_str());
      } else if (IsRegisteredClass(r.className)) {
        int& scan = levels.back().scan;
        while (scan < parent->GetFileCount() && parent->GetFileAt(scan)->IsNamed()) ++scan;
        if (scan < parent->GetFileCount()) object = parent->GetFileAt(scan++);
      }
    }
    objects[i] = object;
    levels.push_back({object, 0});
  }
  return objects;
}

MessageCapture::MessageCapture() {
  m_previous = SetMessageBoxHandler([this](const char* text, UINT) {
    m_messages.push_back(ReadableMessage(text));
    return static_cast<int>(IDOK);
  });
}

MessageCapture::~MessageCapture() {
  SetMessageBoxHandler(m_previous);
}

}  // namespace vdtool
