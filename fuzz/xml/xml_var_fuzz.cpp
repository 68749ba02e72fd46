// Feeds arbitrary text to the text form of every kind of XML variable and to
// the key lookup of text-only variables. A value read from a text must write
// a text that reads back to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vdkit/xml/xml_var.h"

namespace {

// Reads `text` into the variable, then checks that the written form of what
// was read is a fixed point: it reads back and writes again unchanged.
template <class T>
void RoundTrip(const char* text) {
  T v{};
  CXmlVar var("v", v);
  var.SetValue(text);
  CString once;
  var.GetValue(once);
  T again{};
  CXmlVar("v", again).SetValue(once);
  CString twice;
  CXmlVar("v", again).GetValue(twice);
  if (once != twice) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* t = text.c_str();  // cut at the first NUL, as callers' texts are
  RoundTrip<bool>(t);
  RoundTrip<char>(t);
  RoundTrip<short>(t);
  RoundTrip<int>(t);
  RoundTrip<long>(t);
  RoundTrip<unsigned char>(t);
  RoundTrip<unsigned short>(t);
  RoundTrip<unsigned int>(t);
  RoundTrip<unsigned long>(t);
  RoundTrip<float>(t);
  RoundTrip<double>(t);
  RoundTrip<CString>(t);
  RoundTrip<LOGFONTA>(t);
  RoundTrip<LOGPEN>(t);
  RoundTrip<LOGBRUSH>(t);
  RoundTrip<RECT>(t);
  RoundTrip<POINT>(t);
  RoundTrip<SIZE>(t);
  RoundTrip<SDate>(t);
  RoundTrip<SDateTime>(t);
  char small[8];
  CXmlVar("b", small, static_cast<int>(sizeof small)).SetValue(t);
  CXmlVar("b", small, 0).SetValue(t);
  // Key lookup: every key the composites use, and the text's own head as a key.
  int value = 0;
  CXmlVar keys(t);
  for (const char* key : {"l", "t", "r", "b", "x", "cx", "s", "c", "name", "height", ""})
    keys >> CXmlVar(key, value);
  const std::string head = text.substr(0, text.find_first_of(":;"));
  keys >> CXmlVar(head.c_str(), value);
  return 0;
}
