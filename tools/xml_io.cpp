#include "xml_io.h"

#include "tool.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vdfile.h"

namespace vdtool {

namespace {
[[noreturn]] void NoArchive(const std::string& path) {
  FailFile(path,
           "this build of the library has no XML archive, so XML documents can be listed but not "
           "loaded into objects or written");
}
}  // namespace

bool XmlArchiveAvailable() {
  return false;
}

std::unique_ptr<CVDFile> LoadXmlTree(const std::string& path, ByteSpan) {
  NoArchive(path);
}
Blob StoreXml(CVDFile&) {
  NoArchive("(output)");
}
std::unique_ptr<CVdbTable> LoadXmlTable(const std::string& path, ByteSpan) {
  NoArchive(path);
}
Blob StoreXmlTable(CVdbTable&) {
  NoArchive("(output)");
}

}  // namespace vdtool
