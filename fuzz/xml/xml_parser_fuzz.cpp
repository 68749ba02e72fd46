// Feeds arbitrary bytes to the XML parser, both through ParseXml (with the
// declaration check) and in place, then copies and walks the tree, changes
// some nodes, takes some out and frees them after the tree.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CXmlItem root(nullptr);
    CXmlParser parser;
    parser.ParseXml(&mem, &root);
    CXmlItem copy(nullptr);
    copy = root;
  }
  {
    std::vector<char> text(data, data + size);
    text.push_back(0);
    std::vector<std::unique_ptr<CXmlItem>> taken;
    CXmlItem root(nullptr);
    CXmlParser parser(text.data(), &root);
    for (int i = 0; i < root.GetCount(); ++i) {
      CXmlItem* child = root.GetChild(i);
      child->GetA("class");
      child->GetChild("a");
      if (child->GetCount() > 0) {
        CXmlItem* grandchild = child->GetChild(0);
        switch (size % 4) {
          case 0:
            child->RemoveAt(0);
            taken.emplace_back(grandchild);
            break;
          case 1:
            grandchild->SetName("renamed");
            break;
          case 2:
            grandchild->GetAttributes().Set("class", "x");
            break;
          default:
            new CXmlItem(grandchild);
        }
      }
    }
  }
  return 0;
}
