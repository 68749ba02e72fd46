#include "xml_doc.h"

#include <cstring>

#include "tool.h"
#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_parser.h"

namespace vdtool {

XmlDocument::XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument::~XmlDocument() = default;

namespace {

bool IsIndexForm(const char* element) {
  return element[0] == '#' || (element[0] && element[1] == '@');
}

bool IsNamedElement(const CXmlItem& item) {
  const char* named = item.GetA("named");
  if (named && CString(named).CompareNoCase("false") == 0) return false;
  return !IsIndexForm(item.GetName()) || item.GetA("name");
}

XmlObject Describe(const CXmlItem& item, int depth) {
  XmlObject o;
  o.item = &item;
  o.depth = depth;
  o.named = IsNamedElement(item);
  // A name unfit for an element is written in the index form, with the
  // name in an attribute.
  const char* nameAttr = IsIndexForm(item.GetName()) ? item.GetA("name") : nullptr;
  o.name = nameAttr ? nameAttr : item.GetName();
  o.className = item.GetA("class");
  const char* type = item.GetA("type");
  o.type = type ? type : "";
  for (int i = 0; i < item.GetCount(); ++i) {
    if (item.GetChild(i)->GetA("class")) {
      ++o.children;
    } else {
      ++o.dataElements;
    }
  }
  return o;
}

}  // namespace

std::unique_ptr<CXmlItem> ParseXmlDocument(const std::string& path, ByteSpan bytes) {
  if (bytes.empty()) FailFile(path, "empty file");
  auto root = std::make_unique<CXmlItem>(nullptr);
  CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
  CXmlParser parser;
  if (!parser.ParseXml(&mem, root.get()))
    FailFile(path, "not an XML document: it does not begin with \"<?xml\"");
  if (parser.GetStatus() != CXmlParser::ok)
    FailFile(path, std::string("malformed XML: ") + CXmlParser::StatusText(parser.GetStatus()) + " (byte " +
                       Grouped(static_cast<unsigned long long>(parser.GetStatusOffset())) + " of " +
                       Grouped(bytes.size()) + ")");
  if (!root->GetChild(0)) FailFile(path, "an XML document without elements");
  return root;
}

XmlDocument LoadXmlDocument(const std::string& path, ByteSpan bytes) {
  XmlDocument doc;
  doc.root = ParseXmlDocument(path, bytes);
  const CXmlItem* top = doc.root->GetChild(0);
  if (!top->GetA("class"))
    FailFile(path, "an XML document, but not an object document: its first element " +
                       Quoted(top->GetName()) + " has no class attribute");
  // Pre-order without recursion: each entry is an object element and the
  // next of its children to look at.
  struct Frame {
    const CXmlItem* item;
    int next;
  };
  doc.objects.push_back(Describe(*top, 0));
  std::vector<Frame> stack{{top, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.item->GetCount()) {
      stack.pop_back();
      continue;
    }
    const CXmlItem* child = f.item->GetChild(f.next++);
    if (!child->GetA("class")) continue;
    doc.objects.push_back(Describe(*child, static_cast<int>(stack.size())));
    stack.push_back({child, 0});
  }
  return doc;
}

// An element and what is below it, as XML text again, one element a line.
void PrintXmlData(const CXmlItem& item, const std::string& indent) {
  struct Frame {
    const CXmlItem* item;
    int next;
    std::string indent;
  };
  auto open = [](const CXmlItem& e, bool leaf) {
    std::string text = "<" + Printable(e.GetName());
    CXmlAttributes& attrs = const_cast<CXmlItem&>(e).GetAttributes();
    for (int i = 0; i < attrs.GetCount(); ++i) {
      const std::string entry = attrs.GetAt(i);
      const size_t eq = entry.find('=');
      text += " " + Printable(entry.substr(0, eq)) + "='" +
              Printable(eq == std::string::npos ? "" : entry.substr(eq + 1)) + "'";
    }
    if (leaf)
      return text +
             (*e.GetValue() ? ">" + Printable(e.GetValue()) + "</" + Printable(e.GetName()) + ">" : " />");
    return text + ">" + Printable(e.GetValue());
  };
  std::vector<Frame> stack{{&item, 0, indent}};
  Out().Line(indent + open(item, item.GetCount() == 0));
  if (item.GetCount() == 0) return;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.item->GetCount()) {
      Out().Line(f.indent + "</" + Printable(f.item->GetName()) + ">");
      stack.pop_back();
      continue;
    }
    const CXmlItem* child = f.item->GetChild(f.next++);
    const std::string inner = f.indent + " ";
    Out().Line(inner + open(*child, child->GetCount() == 0));
    if (child->GetCount() > 0) stack.push_back({child, 0, inner});
  }
}

}  // namespace vdtool
