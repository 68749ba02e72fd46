// Binary object archives ("VDFc") as the program sees them: the record
// structure, walked straight from the bytes so that a listing shows what the
// stream holds (blob and class-data sizes, records of classes this program
// does not know), and the tree the library reads from them.
//
//   ScanVdf(path, bytes, [&](const VdfRecord& r) { ... });   // Failure when damaged
//   std::unique_ptr<CVDFile> root = LoadVdfTree(path, bytes, &notes);
//
// The walk checks what the library's reader checks (the "ClassName=" key,
// lengths, non-negative counts, nesting below kVDFileMaxDepth, no byte
// missing) and, since a file is one archive, that no bytes follow the root
// record.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tool.h"
#include "vdkit/platform/resources.h"
#include "vdkit/platform/types.h"

class CVDFile;

namespace vdtool {

// The texts point into the archive's bytes, which must outlive the record.
struct VdfRecord {
  size_t offset = 0;  // of the record's key
  int depth = 0;      // 0 for the root
  int index = 0;      // position among its siblings
  std::string_view className;
  WORD version = 0;
  WORD flags = 0;
  bool named = false;
  std::string_view name;  // the whole stored text (the library keeps 127 characters)
  std::string_view type;
  size_t blobOffset = 0;
  DWORD blobSize = 0;
  size_t classOffset = 0;
  DWORD classSize = 0;
  LONG childCount = 0;
};

// Calls `visit` for every record in stream order (pre-order), holding no
// record longer than the call. Failure when the stream is not a whole,
// undamaged archive (records visited before the damage was found have been
// visited).
void ScanVdf(const std::string& path, ByteSpan bytes, const std::function<void(const VdfRecord&)>& visit);
// Every record, in a list (for large archives, ScanVdf holds less memory).
std::vector<VdfRecord> WalkVdf(const std::string& path, ByteSpan bytes);

// Whether a class of that name is registered (ASCII case ignored).
bool IsRegisteredClass(std::string_view className);

// Reads the archive with the library into a new object of the root record's
// class; a root of a class nobody registered goes into a plain CVDFile, as
// the library reads a root record into whatever object it is given. Failure
// when the library refuses the stream. Messages the library shows while reading (a class whose data
// do not match its reader) are added to `notes`.
std::unique_ptr<CVDFile> LoadVdfTree(const std::string& path, ByteSpan bytes,
                                     std::vector<std::string>* notes);

// What happens to a root record of a class nobody registered, for a note
// that follows "the root object is of class 'X', which this program does not
// know; ".
extern const char kUnknownRootVdf[];
extern const char kUnknownRootXml[];

// The loaded object each record went into, in record order; null for a
// record the library passed over (a class it does not know, or below one).
std::vector<CVDFile*> MatchRecords(const std::vector<VdfRecord>& records, CVDFile* root);

// Collects the library's message boxes while it lives, as readable lines.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  const std::vector<std::string>& Messages() const { return m_messages; }

 private:
  std::vector<std::string> m_messages;
  MessageBoxHandler m_previous;
};

}  // namespace vdtool
