// XML object documents as the program sees them: the item tree the
// library's parser builds, and the objects in it. An object is an element
// with a "class" attribute: the document's first element, and every such
// element directly inside an object's element (elements without it are the
// object's data, and nothing below them is an object).
//
//   XmlDocument doc = LoadXmlDocument(path, bytes);     // Failure when malformed
//   for (const XmlObject& o : doc.objects) ...          // pre-order
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tool.h"
#include "vdkit/platform/types.h"

class CXmlItem;

namespace vdtool {

struct XmlObject {
  const CXmlItem* item = nullptr;
  int depth = 0;  // 0 for the root object
  std::string name;
  bool named = true;  // false for named='false' and for the #@n elements of unnamed objects
  std::string className;
  std::string type;
  int dataElements = 0;  // child elements that are data, not objects
  int children = 0;      // child elements that are objects
};

struct XmlDocument {
  XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  ~XmlDocument();
  std::unique_ptr<CXmlItem> root;  // the parser's root node; its first child element is the document's
  std::vector<XmlObject> objects;  // pre-order
};

// The parser's root node of a whole document; its first child is the
// document's first element. Failure when it is not XML, is malformed (the
// reason and the byte where the parser stopped) or has no element.
std::unique_ptr<CXmlItem> ParseXmlDocument(const std::string& path, ByteSpan bytes);

// Parses the whole document. Failure when it is not XML, is malformed (the
// reason and the byte where the parser stopped), or its first element has no
// "class" attribute.
XmlDocument LoadXmlDocument(const std::string& path, ByteSpan bytes);

// An element and what is below it, as XML text again, one element a line,
// on standard output.
void PrintXmlData(const CXmlItem& item, const std::string& indent);

}  // namespace vdtool
