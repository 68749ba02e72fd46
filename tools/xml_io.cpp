#include "xml_io.h"

#include <utility>

#include "vdf.h"
#include "xml_doc.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_archive.h"

namespace vdtool {

std::unique_ptr<CVDFile> LoadXmlTree(const std::string& path, ByteSpan bytes, std::string rootClass) {
  // Unless the caller has looked already, the document is parsed once more
  // than the archive does: so a malformed document is named as the listing
  // names it, and the root's class is known before anything is made.
  if (rootClass.empty()) rootClass = LoadXmlDocument(path, bytes).objects.front().className;
  std::unique_ptr<CVDFile> root(CreateVDFile(rootClass.c_str()));
  if (!root)
    FailFile(path, "the root object is of class " + Quoted(rootClass) + ", which this program does not know");
  MessageCapture capture;
  CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
  CXmlArchive ar(&mem, CXmlArchive::load);
  if (!(ar >> *root))
    FailFile(path, "the library refused the document: an object of the tree did not accept its element");
  return root;
}

Blob StoreXml(CVDFile& root) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  ar << root;
  return Blob(mem);
}

std::unique_ptr<CVdbTable> LoadXmlTable(const std::string& path, ByteSpan bytes, std::string rootClass) {
  std::unique_ptr<CVDFile> root = LoadXmlTree(path, bytes, std::move(rootClass));
  if (!dynamic_cast<CVdbTable*>(root.get()))
    FailFile(path, "the document's root object is a " + Quoted(root->GetClass()->m_lpszClassName) +
                       ", not a table");
  return std::unique_ptr<CVdbTable>(static_cast<CVdbTable*>(root.release()));
}

Blob StoreXmlTable(CVdbTable& table) {
  return StoreXml(table);
}

}  // namespace vdtool
