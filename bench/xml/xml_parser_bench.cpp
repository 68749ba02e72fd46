// Parse throughput of a generated 50 MB document with attributes, text and
// entities: vdkit's parser (from a memory file, as ParseXml reads documents,
// and in place) against pugixml's DOM parse and libxml2's xmlReadMemory.
// Every parse case builds the whole tree and frees it again; the free cases
// time only the freeing of a parsed tree (vdkit's root node, pugixml's
// document).
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_parser.h"

namespace {

// 50 MB, or XML_BENCH_MB megabytes (a small document keeps a run under
// callgrind short).
size_t DocumentBytes() {
  const char* mb = std::getenv("XML_BENCH_MB");
  const long n = mb ? std::atol(mb) : 0;
  return (n > 0 && n <= 1024 ? static_cast<size_t>(n) : 50u) << 20;
}

const std::string& Document() {
  static const std::string doc = [] {
    std::string s = "<?xml version='1.0'?>\n<catalog name='generated' version=\"2\">\n";
    const size_t bytes = DocumentBytes();
    s.reserve(bytes + (2u << 20));
    for (unsigned i = 0; s.size() < bytes; ++i) {
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

// Each case's work, one parse and free per call, kept out of line so that
// callgrind can count it alone (see bench/README.md).
#define VDKIT_BENCH_UNIT __attribute__((noinline))

VDKIT_BENCH_UNIT int ParseXmlOnce(const std::string& doc) {
  CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(doc.data())), static_cast<UINT>(doc.size()));
  CXmlItem root(nullptr);
  CXmlParser parser;
  benchmark::DoNotOptimize(parser.ParseXml(&file, &root));
  return root.GetCount();
}

VDKIT_BENCH_UNIT int ParseInPlaceOnce(char* text) {
  CXmlItem root(nullptr);
  CXmlParser parser(text, &root);
  return root.GetCount();
}

VDKIT_BENCH_UNIT bool PugixmlOnce(const std::string& doc) {
  pugi::xml_document xml;
  const bool ok = xml.load_buffer(doc.data(), doc.size());
  benchmark::DoNotOptimize(xml.first_child());
  return ok;
}

VDKIT_BENCH_UNIT void FreeTreeOnce(CXmlItem* root) {
  delete root;
}

VDKIT_BENCH_UNIT void PugixmlFreeOnce(pugi::xml_document* xml) {
  delete xml;
}

VDKIT_BENCH_UNIT bool Libxml2Once(const std::string& doc) {
  xmlDocPtr xml = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_HUGE);
  const bool ok = xml != nullptr;
  xmlFreeDoc(xml);
  return ok;
}

void BM_XmlParser_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) benchmark::DoNotOptimize(ParseXmlOnce(doc));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlParser_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_XmlParser_ParseInPlace(benchmark::State& state) {
  const std::string& doc = Document();
  std::vector<char> buffer(doc.size() + 1);
  for (auto _ : state) {
    std::memcpy(buffer.data(), doc.c_str(), doc.size() + 1);  // the parse writes into its buffer
    benchmark::DoNotOptimize(ParseInPlaceOnce(buffer.data()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlParser_ParseInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pugixml_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) benchmark::DoNotOptimize(PugixmlOnce(doc));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Pugixml_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Libxml2_ParseXml(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) benchmark::DoNotOptimize(Libxml2Once(doc));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Libxml2_ParseXml)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_XmlParser_Free(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    state.PauseTiming();
    auto* root = new CXmlItem(nullptr);
    {
      CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(doc.data())), static_cast<UINT>(doc.size()));
      CXmlParser parser;
      parser.ParseXml(&file, root);
    }
    state.ResumeTiming();
    FreeTreeOnce(root);
  }
}
// Each iteration parses a whole document untimed: a fixed count keeps the
// run short.
BENCHMARK(BM_XmlParser_Free)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_Pugixml_Free(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    state.PauseTiming();
    auto* xml = new pugi::xml_document;
    xml->load_buffer(doc.data(), doc.size());
    state.ResumeTiming();
    PugixmlFreeOnce(xml);
  }
}
BENCHMARK(BM_Pugixml_Free)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
