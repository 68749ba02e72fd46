// Feeds arbitrary text to the string archive's readers and to the key lookup
// of XML variables.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vdkit/xml/string_archive.h"
#include "vdkit/xml/xml_var.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char separator = static_cast<char>(data[0]);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  CStringArchive ar(text.c_str(), separator);
  for (int i = 0; !ar.IsEOF() && i < 10000; ++i) {
    switch (i % 4) {
      case 0: {
        int n;
        ar >> n;
        break;
      }
      case 1: {
        double d;
        ar >> d;
        break;
      }
      case 2: {
        CString s;
        ar >> s;
        break;
      }
      default: {
        char buf[8];
        ar.ReadString(buf, sizeof buf);
      }
    }
  }
  LOGFONTA font;
  CXmlVar("f", font).SetValue(text.c_str());
  RECT rc = {};
  CXmlVar("r", rc).SetValue(text.c_str());
  SDateTime when = {};
  CXmlVar("t", when).SetValue(text.c_str());
  return 0;
}
