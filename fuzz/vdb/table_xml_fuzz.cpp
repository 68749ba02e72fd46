// Feeds arbitrary text to the XML body reader of a table, as the element of
// a parsed document, then writes the table back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vdkit/vdb/table.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string doc = "<?xml version='1.0'?>\n<T>\n";
  doc.append(reinterpret_cast<const char*>(data), size);
  doc += "</T>\n";
  CMemFile mem(reinterpret_cast<BYTE*>(&doc[0]), static_cast<UINT>(doc.size()));
  CXmlItem root(nullptr);
  CXmlParser parser;
  if (!parser.ParseXml(&mem, &root) || !root.GetChild(0)) return 0;
  CXmlArchive top(&mem, CXmlArchive::load);
  CXmlArchive ar(top, root.GetChild(0));
  CVdbTable t;
  t.Serialize(ar);
  CMemFile out;
  CXmlArchive store(&out, CXmlArchive::store);
  t.Serialize(store);
  return 0;
}
