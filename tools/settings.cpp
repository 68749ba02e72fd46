#include "settings.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "listing.h"
#include "raster.h"
#include "vdkit/dataobj/key_profile.h"
#include "vdkit/job/jop.h"
#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_parser.h"
#include "xml_doc.h"

namespace vdtool {

namespace {

const char* const kTypeNames[] = {"empty", "integer", "string", "binary", "float"};

const char* TypeName(int type) {
  return type >= 0 && type <= 4 ? kTypeNames[type] : "unknown";
}

std::string ValueText(int type, int size, const void* data) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  if (type == CKeyProfile::typeInt && size == 4) {
    int v;
    std::memcpy(&v, bytes, 4);
    return std::to_string(v);
  }
  if (type == CKeyProfile::typeFloat && size == 4) {
    float v;
    std::memcpy(&v, bytes, 4);
    return ShortestText(v);
  }
  if (type == CKeyProfile::typeString)
    return Quoted(std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)));
  std::string hex;
  for (int i = 0; i < size; ++i) hex += Format("%02X", bytes[i]);
  return hex;
}

// The profile of the document; Failure when the library does not read it.
std::unique_ptr<CKeyProfile> LoadProfile(const std::string& path, ByteSpan bytes) {
  ParseXmlDocument(path, bytes);  // a malformed document named as the other listings name it
  auto profile = std::make_unique<CKeyProfile>();
  CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
  if (!profile->Load(&mem)) FailFile(path, "the library refused the key profile");
  return profile;
}

// The entry elements of the document: what a profile read whole would hold.
size_t EntryElements(const std::string& path, ByteSpan bytes) {
  const std::unique_ptr<CXmlItem> root = ParseXmlDocument(path, bytes);
  const CXmlItem* set = root->GetChild(0);
  size_t n = 0;
  for (int i = 0; i < set->GetCount(); ++i) n += static_cast<size_t>(set->GetChild(i)->GetCount());
  return n;
}

std::string Plural(size_t n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void Walk(const CKeyProfile& profile,
          const std::function<void(const CString&, const CString&, int, int, void*)>& visit) {
  CString section, key;
  int type = 0;
  int size = 0;
  void* data = nullptr;
  for (POSITION pos = profile.GetStartPos(); pos;) {
    profile.GetNext(pos, section, key, type, size, data);
    visit(section, key, type, size, data);
  }
}

void InfoKeyProfile(const std::string& path, ByteSpan bytes) {
  const std::unique_ptr<CKeyProfile> profile = LoadProfile(path, bytes);
  size_t byType[5] = {};
  std::vector<std::pair<std::string, size_t>> sections;  // in the order the walk meets them
  Walk(*profile, [&](const CString& section, const CString&, int type, int, void*) {
    ++byType[type >= 0 && type <= 4 ? type : 0];
    for (auto& s : sections)
      if (s.first == section.GetString()) return void(++s.second);
    sections.emplace_back(section.GetString(), 1);
  });
  Out().Line(
      "  " + Plural(static_cast<size_t>(profile->GetCount()), "entry", "entries") + " in " +
      Plural(sections.size(), "section", "sections") +
      Format(": %zu integer, %zu float, %zu string, %zu binary", byType[1], byType[4], byType[2], byType[3]));
  Grid grid({"SECTION", "ENTRIES"}, {false, true});
  for (const auto& s : sections) grid.Row({Printable(s.first), Grouped(s.second)});
  if (!sections.empty()) grid.Print("  ");
  const size_t elements = EntryElements(path, bytes);
  if (elements > static_cast<size_t>(profile->GetCount()))
    Out().Line("  note: " +
               Plural(elements - static_cast<size_t>(profile->GetCount()), "entry element does",
                      "entry elements do") +
               " not load (an unknown type, a value that does not read, or a key given again)");
}

void DumpKeyProfile(const std::string& path, ByteSpan bytes) {
  const std::unique_ptr<CKeyProfile> profile = LoadProfile(path, bytes);
  Grid grid({"SECTION", "KEY", "TYPE", "VALUE"}, {false, false, false, false});
  Walk(*profile, [&](const CString& section, const CString& key, int type, int size, void* data) {
    grid.Row({Printable(section.GetString()), Printable(key.GetString()), TypeName(type),
              ValueText(type, size, data)});
  });
  grid.Print("");
}

void RewriteKeyProfile(const std::string& in, ByteSpan bytes, const std::string& out, bool lossy) {
  const std::unique_ptr<CKeyProfile> profile = LoadProfile(in, bytes);
  const size_t elements = EntryElements(in, bytes);
  const size_t lost = elements - std::min(elements, static_cast<size_t>(profile->GetCount()));
  const std::string what = Plural(lost, "entry element does", "entry elements do") +
                           " not load (an unknown type, a value that does not read, or a key given again)";
  if (lost && !lossy) FailFile(in, what + "; nothing written (--lossy writes it anyway)");
  WriteFileWith(out, [&](CFile& file) {
    if (!profile->Store(&file)) FailFile(out, "cannot write the key profile");
  });
  if (lost) Note(in, what + "; written anyway (--lossy)");
}

void InfoJobParameters(const std::string& path, ByteSpan bytes) {
  ParseXmlDocument(path, bytes);
  std::vector<CJopSet::SJopEntry> entries;
  CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
  if (!CJopSet::ReadEntries(&mem, entries)) FailFile(path, "the library refused the parameter file");
  std::map<std::string, size_t> classes;
  for (const auto& e : entries) ++classes[e.strClass.GetString()];
  std::string list;
  for (const auto& c : classes)
    list += (list.empty() ? "" : ", ") + Printable(c.first) + " " + Grouped(c.second);
  Out().Line("  " + Plural(entries.size(), "operator", "operators") +
             (list.empty() ? "" : "; classes: " + list));
  Grid grid({"OPERATOR", "TYPE", "CLASS"}, {false, false, false});
  for (const auto& e : entries)
    grid.Row({Printable(e.strName.GetString()), Printable(e.strType.GetString()),
              Printable(e.strClass.GetString())});
  if (!entries.empty()) grid.Print("  ");
  if (!entries.empty())
    Out().Line(
        "  note: the operators' classes belong to the programs that run them; this program lists their "
        "elements and loads none");
}

void DumpJobParameters(const std::string& path, ByteSpan bytes) {
  const std::unique_ptr<CXmlItem> root = ParseXmlDocument(path, bytes);
  const CXmlItem* set = root->GetChild(0);
  for (int i = 0; i < set->GetCount(); ++i) {
    const CXmlItem* op = set->GetChild(i);
    const char* indexName = op->GetName()[0] == '#' ? op->GetA("name") : nullptr;
    const char* cls = op->GetA("class");
    const char* type = op->GetA("type");
    Out().Line(Quoted(indexName ? indexName : op->GetName()) + "  " + (cls ? Printable(cls) : "(no class)") +
               (type && *type ? ", type " + Quoted(type) : ""));
    for (int k = 0; k < op->GetCount(); ++k) PrintXmlData(*op->GetChild(k), "  ");
  }
}

}  // namespace vdtool
