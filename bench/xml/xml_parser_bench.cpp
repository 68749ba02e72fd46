// Parse throughput of a generated 50 MB document with attributes, text and
// entities: vdkit's parser (from a memory file, as ParseXml reads documents,
// and in place) against pugixml's DOM parse and libxml2's xmlReadMemory.
// Every case builds the whole tree and frees it again.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_parser.h"

namespace {

const std::string& Document() {
  static const std::string doc = [] {
    std::string s = "<?xml version='1.0'?>\n<catalog name='generated' version=\"2\">\n";
    s.reserve(52u << 20);
    for (unsigned i = 0; s.size() < (50u << 20); ++i) {
      const std::string n = std::to_string(i);
      s += " <record id='" + n + "' kind=\"" + (i % 3 ? "alpha" : "beta") + "\" score='" +
           std::to_string(i % 1000) + ".25'>\n";
      s += "  <title lang='en'>Record number " + n + " of the generated catalog</title>\n";
      s += "  <value unit='m' precision='3'>" + std::to_string(i * 7 % 100003) + ".125</value>\n";
      s += "  <note>Free text with an &amp; entity, &lt;angle&gt; brackets and more words</note>\n";
      s += "  <flag on='true'/>\n";
      s += " </record>\n";
    }
    s += "</catalog>\n";
    return s;
  }();
  return doc;
}

void BM_XmlParser_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(doc.data())), static_cast<UINT>(doc.size()));
    CXmlItem root(nullptr);
    CXmlParser parser;
    benchmark::DoNotOptimize(parser.ParseXml(&file, &root));
    benchmark::DoNotOptimize(root.GetCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlParser_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_XmlParser_ParseInPlace(benchmark::State& state) {
  const std::string& doc = Document();
  std::vector<char> buffer(doc.size() + 1);
  for (auto _ : state) {
    std::memcpy(buffer.data(), doc.c_str(), doc.size() + 1);  // the parse writes into its buffer
    CXmlItem root(nullptr);
    CXmlParser parser(buffer.data(), &root);
    benchmark::DoNotOptimize(root.GetCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlParser_ParseInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pugixml_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    pugi::xml_document xml;
    benchmark::DoNotOptimize(xml.load_buffer(doc.data(), doc.size()));
    benchmark::DoNotOptimize(xml.first_child());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Pugixml_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Libxml2_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    xmlDocPtr xml = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    benchmark::DoNotOptimize(xml);
    xmlFreeDoc(xml);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Libxml2_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
