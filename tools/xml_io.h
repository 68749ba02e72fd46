// Objects to and from XML object documents through the library's XML archive:
// a whole tree, and a table as the root object of its own document (its
// element holds the table's XML body: the field definitions and the records).
//
//   std::unique_ptr<CVDFile> root = LoadXmlTree(path, bytes);   // Failure when not loadable
//   std::vector<BYTE> text = StoreXml(*root);
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats.h"
#include "tool.h"
#include "vdkit/platform/types.h"

class CVDFile;
class CVdbTable;

namespace vdtool {

// Loads the document into a new object of its first element's class
// (`rootClass` when the caller has read it with LoadXmlDocument already).
// Failure when the document is malformed, that class is not registered or
// the archive refuses the document.
std::unique_ptr<CVDFile> LoadXmlTree(const std::string& path, ByteSpan bytes, std::string rootClass = "");
Blob StoreXml(CVDFile& root);

// A document whose first element is a table. Failure when it is of another
// class. `rootClass` as for LoadXmlTree.
std::unique_ptr<CVdbTable> LoadXmlTable(const std::string& path, ByteSpan bytes, std::string rootClass = "");
Blob StoreXmlTable(CVdbTable& table);

}  // namespace vdtool
