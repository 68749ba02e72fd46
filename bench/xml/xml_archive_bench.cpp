// The XML archive on an object document of about 100,000 objects (a disk,
// 100 folders of 10 groups of 99 wells, each well with three data elements):
// parsing the document the archive wrote (CXmlParser::ParseXml) and loading
// it into objects (`ar >> disk`), against pugixml's load_buffer and libxml2's
// xmlReadMemory on the same bytes, and making the same objects without XML
// (what a load costs that is the object model's); and storing the tree
// (`ar << disk` into a memory file) against pugixml building the same DOM
// and saving it to memory.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_parser.h"

namespace {

class CBenchWell : public CVDFile {
  DECLARE_VDFILE(CBenchWell)
  bool Serialize(CXmlArchive& ar) override {
    ar == CXmlVar("depth", m_depth);
    ar == CXmlVar("label", m_label);
    ar == CXmlVar("count", m_count);
    return true;
  }

 public:
  double m_depth = 0;
  CString m_label;
  int m_count = 0;
};
IMPLEMENT_VDFILE(CBenchWell, CVDFile)

constexpr int kFolders = 100;
constexpr int kGroups = 10;
constexpr int kWells = 99;

CVDisk& Tree() {
  static CVDisk* disk = [] {
    auto* d = new CVDisk;
    char name[32];
    for (int f = 0; f < kFolders; ++f) {
      std::snprintf(name, sizeof name, "Folder%d", f);
      CVDFile* folder = d->CreateFileA(name, "Folder", nullptr);
      for (int g = 0; g < kGroups; ++g) {
        std::snprintf(name, sizeof name, "Group%d", g);
        CVDFile* group = folder->CreateFileA(name, "Group", nullptr);
        for (int w = 0; w < kWells; ++w) {
          std::snprintf(name, sizeof name, "W%d-%d-%d", f, g, w);
          auto* well = static_cast<CBenchWell*>(group->CreateFileA(name, "Well", "CBenchWell"));
          well->m_depth = 1000.0 + w * 12.25 + g;
          well->m_label.Format("well %d of group %d", w, g);
          well->m_count = w * 7;
        }
      }
    }
    return d;
  }();
  return *disk;
}

const std::string& Document() {
  static const std::string doc = [] {
    CMemFile mem(1 << 20);
    CXmlArchive ar(&mem, CXmlArchive::store);
    ar << Tree();
    return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
  }();
  return doc;
}

// ---- Parsing and loading --------------------------------------------------------------
// Each case's work, one call per iteration, kept out of line so that
// callgrind can count it alone (see bench/README.md).
#define VDKIT_BENCH_UNIT __attribute__((noinline))

VDKIT_BENCH_UNIT int ParseOnce(const std::string& doc) {
  CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(doc.data())), static_cast<UINT>(doc.size()));
  CXmlItem root(nullptr);
  CXmlParser parser;
  benchmark::DoNotOptimize(parser.ParseXml(&file, &root));
  return root.GetCount();
}

// The disk is destroyed outside: its objects are the load's result, not its
// work.
VDKIT_BENCH_UNIT bool LoadOnce(const std::string& doc, CVDisk& disk) {
  CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(doc.data())), static_cast<UINT>(doc.size()));
  CXmlArchive ar(&file, CXmlArchive::load);
  return ar >> disk;
}

VDKIT_BENCH_UNIT bool PugixmlParseOnce(const std::string& doc) {
  pugi::xml_document xml;
  const bool ok = xml.load_buffer(doc.data(), doc.size());
  benchmark::DoNotOptimize(xml.first_child());
  return ok;
}

void BM_XmlArchive_Parse(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) benchmark::DoNotOptimize(ParseOnce(doc));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlArchive_Parse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_XmlArchive_Load(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    auto* disk = new CVDisk;
    if (!LoadOnce(doc, *disk)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(disk->GetFileCount());
    state.PauseTiming();
    delete disk;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XmlArchive_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

// The objects of the document made directly, without XML: each by class
// name, named, typed, added to its parent and given its values from the
// texts the document holds, through CXmlVar. The part of a load that is the
// object model's, not the archive's.
struct WellTexts {
  CString depth, label, count;
};

const std::vector<WellTexts>& Texts() {
  static const std::vector<WellTexts> texts = [] {
    std::vector<WellTexts> t;
    std::vector<CVDFile*> stack{&Tree()};
    while (!stack.empty()) {
      CVDFile* f = stack.back();
      stack.pop_back();
      if (auto* w = dynamic_cast<CBenchWell*>(f)) {
        t.emplace_back();
        CXmlVar("depth", w->m_depth).GetValue(t.back().depth);
        CXmlVar("label", w->m_label).GetValue(t.back().label);
        CXmlVar("count", w->m_count).GetValue(t.back().count);
      }
      for (int i = f->GetFileCount(); i-- > 0;) stack.push_back(f->GetFileAt(i));
    }
    return t;
  }();
  return texts;
}

void MakeObjects(CVDFile& from, CVDFile& into, size_t& well) {
  for (int i = 0; i < from.GetFileCount(); ++i) {
    CVDFile* source = from.GetFileAt(i);
    CVDFile* made = CreateVDFile(source->GetClassNameA());
    made->SetName(source->GetName());
    made->SetFileType(source->GetFileType());
    into.AddNewFile(made);
    if (auto* w = dynamic_cast<CBenchWell*>(made)) {
      const WellTexts& t = Texts()[well++];
      CXmlVar("depth", w->m_depth).SetValue(t.depth);
      CXmlVar("label", w->m_label).SetValue(t.label);
      CXmlVar("count", w->m_count).SetValue(t.count);
    }
    MakeObjects(*source, *made, well);
  }
}

VDKIT_BENCH_UNIT void MakeObjectsOnce(CVDisk& disk) {
  size_t well = 0;
  MakeObjects(Tree(), disk, well);
}

void BM_Objects_Alone(benchmark::State& state) {
  Texts();
  for (auto _ : state) {
    auto* disk = new CVDisk;
    MakeObjectsOnce(*disk);
    benchmark::DoNotOptimize(disk->GetFileCount());
    state.PauseTiming();
    delete disk;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Objects_Alone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pugixml_Parse(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) benchmark::DoNotOptimize(PugixmlParseOnce(doc));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Pugixml_Parse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Libxml2_Parse(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    // The index-form element names (#@N) of unnamed objects are not XML
    // names; this tree has none, so the document is well-formed for libxml2.
    xmlDocPtr xml = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    if (!xml) state.SkipWithError("libxml2 refused the document");
    benchmark::DoNotOptimize(xml);
    xmlFreeDoc(xml);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_Libxml2_Parse)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Storing ------------------------------------------------------------------------------
void BM_XmlArchive_Store(benchmark::State& state) {
  CVDisk& disk = Tree();
  const size_t bytes = Document().size();
  for (auto _ : state) {
    CMemFile mem(1 << 20);
    CXmlArchive ar(&mem, CXmlArchive::store);
    ar << disk;
    benchmark::DoNotOptimize(mem.GetLength());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_XmlArchive_Store)->Unit(benchmark::kMillisecond)->UseRealTime();

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void AddObject(pugi::xml_node parent, CVDFile& f, bool root) {
  pugi::xml_node e = parent.append_child(f.GetName());
  e.append_attribute("class") = f.GetClassNameA();
  if (*f.GetFileType()) e.append_attribute("type") = f.GetFileType();
  if (root) e.append_attribute("root") = "true";
  if (auto* w = dynamic_cast<CBenchWell*>(&f)) {
    CString text;
    CXmlVar("depth", w->m_depth).GetValue(text);
    e.append_child("depth").text() = text.GetString();
    e.append_child("label").text() = w->m_label.GetString();
    e.append_child("count").text() = w->m_count;
  }
  for (int i = 0; i < f.GetFileCount(); ++i) AddObject(e, *f.GetFileAt(i), false);
}

void BM_Pugixml_Store(benchmark::State& state) {
  CVDisk& disk = Tree();
  const size_t bytes = Document().size();
  for (auto _ : state) {
    pugi::xml_document xml;
    pugi::xml_node decl = xml.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    AddObject(xml, disk, true);
    StringWriter writer;
    writer.out.reserve(bytes);
    xml.save(writer, " ", pugi::format_default | pugi::format_attribute_single_quote);
    benchmark::DoNotOptimize(writer.out.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Pugixml_Store)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
