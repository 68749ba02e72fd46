// demo: builds a small disk of the kinds the library knows, writes it and the
// library's other file forms, reads every file back and checks it is equal
// to what was written.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "commands.h"
#include "compare.h"
#include "csv.h"
#include "demo_classes.h"
#include "formats.h"
#include "grid_run.h"
#include "listing.h"
#include "raster.h"
#include "sections.h"
#include "settings.h"
#include "tool.h"
#include "vdf.h"
#include "vdkit/core/date.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/dataobj/key_profile.h"
#include "vdkit/geometry/polyline.h"
#include "vdkit/geometry/region.h"
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdb/table_view.h"
#include "vdkit/vdfile/vdfile.h"
#include "xml_io.h"

namespace vdtool {

const char kDemoHelp[] =
    "Usage: vdkit demo [DIR]\n"
    "\n"
    "Builds a small disk: a table set with two related tables (wells and their\n"
    "samples, a client-style subclass that also keeps its tables in binary\n"
    "archives) and a view selected from them, and a map layer with a road, a lease\n"
    "boundary and the road clipped by it. Saves it as a binary object archive\n"
    "(demo.vdf) and as an XML object document (demo.xml); writes the tables, the\n"
    "table set, a data set and a key-string-array file in their own forms, the\n"
    "tables in a section file (survey.sec); grids the wells' mean temperature by\n"
    "kriging into a picture (wells.png) with the settings of a key profile\n"
    "(grid.xml); reads\n"
    "every file back, checks it equals what was written, and prints the tree and\n"
    "the view's ranges.\n"
    "\n"
    "DIR is made when missing; without it the files go into a new folder\n"
    "vdkit-demo (or vdkit-demo-2, ...) under the current directory.\n"
    "\n"
    "Exit status: 0 when everything read back equal, 1 when a file could not be\n"
    "written or read back different.\n";

namespace {

struct Well {
  int id;
  const char* name;
  double x, y;
  const char* depth;  // text, so that a well can be without one
};

const Well kWells[] = {
    {1, "W-1", 512034.25, 4178220.5, "1250.5"},
    {2, "W-2 \"North\"", 512880.0, 4179105.75, "980"},
    {3, "Ridge, east", 513420.5, 4177010.0, ""},
};

struct Sample {
  int well;
  int year, month, day;
  float fraction;
  const char* t;
  const char* p;
  const char* note;
};

const Sample kSamples[] = {
    {1, 2004, 3, 1, 0.0f, "12.5", "3.1", "first"},
    {1, 2004, 3, 4, 0.25f, "13.25", "3.05", ""},
    {2, 2004, 3, 2, 0.5f, "15.75", "", "gauge, replaced"},
    {2, 2004, 3, 7, 0.0f, "16", "4.4", ""},
    {2, 2004, 3, 9, 0.0f, "16.5", "4.42", ""},
    {3, 2004, 3, 5, 0.75f, "19.125", "5.8", "deep"},
    {3, 2004, 3, 12, 0.0f, "18.875", "5.75", ""},
    {4, 2004, 3, 8, 0.0f, "11", "2.5", "well not listed"},
};

// Map coordinates, the same kind as the wells'.
const SFloat2D kRoad[] = {
    {511800, 4178600}, {512400, 4178600}, {512900, 4177200}, {513300, 4178700}, {513900, 4178700}};
const SFloat2D kLease[] = {{512000, 4177500}, {513500, 4177500}, {513500, 4179000}, {512000, 4179000}};

void SetDate(CVdbTable& t, const char* field, int year, int month, int day, float fraction) {
  SDateTime when{};
  when.fraction = fraction;
  when.date.year = static_cast<WORD>(year);
  when.date.month = static_cast<BYTE>(month);
  when.date.day = static_cast<BYTE>(day);
  SVdbVariant v;
  v << when;
  t.SetFieldValue(field, v);
}

// The disk: a survey (a table set of wells and samples) and an unnamed scratch object.
std::unique_ptr<CVDisk> BuildDisk() {
  RegisterDemoClasses();
  auto disk = std::make_unique<CVDisk>();
  CSurvey* survey = static_cast<CSurvey*>(disk->CreateFileA("Survey", "Database", CSurvey::classCSurvey));

  CVdbFieldSet* well = survey->CreateFieldSet("Well", "Wells");
  well->AddField("ID:LONG", 0, 1);
  well->AddField("Name:CHAR16", 0, 1)->m_strAlias = "Well name";
  for (const char* axis : {"X:DOUBLE", "Y:DOUBLE"}) well->AddField(axis, 0, 1)->m_strUnit = "m";
  SVdbField* depth = well->AddField("Depth:FLOAT", 0, 1);
  depth->m_strUnit = "m";
  depth->m_strAlias = "Total depth";
  depth->m_fMin = 0;
  depth->m_fMax = 5000;

  CVdbFieldSet* sample = survey->CreateFieldSet("Sample", "Samples");
  sample->AddField("WellID:LONG", 0, 1);
  sample->AddField("DATE:DATE", 0, 1);
  SVdbField* t = sample->AddField("T:FLOAT", 0, 1);
  t->m_strUnit = "degC";
  t->m_strAlias = "Temperature";
  SVdbField* p = sample->AddField("P:FLOAT", 0, 1);
  p->m_strUnit = "MPa";
  p->m_strAlias = "Pressure";
  sample->AddField("Note:STRING*24", 0, 1);

  CVdbTable* wells = survey->CreateTable("Wells", "Well");
  for (const Well& w : kWells) {
    wells->AddNew();
    wells->SetFieldValue("ID", std::to_string(w.id).c_str());
    wells->SetFieldValue("Name", w.name);
    wells->SetFieldValue("X", Format("%.2f", w.x).c_str());
    wells->SetFieldValue("Y", Format("%.2f", w.y).c_str());
    wells->SetFieldValue("Depth", w.depth);
  }
  CVdbTable* samples = survey->CreateTable("Samples", "Sample");
  for (const Sample& s : kSamples) {
    samples->AddNew();
    samples->SetFieldValue("WellID", std::to_string(s.well).c_str());
    SetDate(*samples, "DATE", s.year, s.month, s.day, s.fraction);
    samples->SetFieldValue("T", s.t);
    samples->SetFieldValue("P", s.p);
    samples->SetFieldValue("Note", s.note);
  }
  survey->AddRelation("WellID", "Wells.ID");

  // A map layer: a road, the lease boundary, and the road clipped by it.
  CVDFile* map = disk->CreateFileA("Map", "Layer", "CVDFile");
  auto* road = static_cast<CPolyline*>(map->CreateFileA("Road", "Line", "CPolyline"));
  for (SFloat2D point : kRoad) road->Add(point);
  auto* lease = static_cast<CPolyline*>(map->CreateFileA("Lease", "Boundary", "CPolyline"));
  lease->SetClosed(true);
  for (SFloat2D point : kLease) lease->Add(point);
  CRegion area;
  area = *lease;
  CPolyPolyline inside;
  road->Cut(area, inside);
  for (int i = 0; i < inside.GetSize(); ++i) {
    CPolyline* piece = inside[i];
    piece->SetName(("Road in lease " + std::to_string(i + 1)).c_str());
    piece->SetFileType("Line");
    map->AddNewFile(piece);
  }
  inside.RemoveAll();  // the map owns the pieces now

  disk->CreateFileA("", "", "CVDFile");  // an unnamed object: both archives keep its place
  return disk;
}

std::unique_ptr<CVdbDataSet> BuildDataSet() {
  auto set = std::make_unique<CVdbDataSet>();
  set->SetName("Pump");
  set->Setf("rate", 12.5f);
  set->Setf("depth", 1250.75f);
  set->Seti("stages", 48);
  set->Seti("serial", 73021);
  set->Sets("maker", "Acme Pumps");
  set->Sets("unit", "m3/d");
  return set;
}

std::unique_ptr<CKeyStringArraySet> BuildKeyStrings(CVdbTable& wells, CVdbTable& samples) {
  auto set = std::make_unique<CKeyStringArraySet>();
  for (bool ok = wells.MoveToFirst(); ok; ok = wells.MoveToNext()) {
    CString name;
    wells.GetFieldValue("Name", name);
    CStringArray* dates = set->Add(name, nullptr);
    const LONG id = wells.Long("ID");
    for (bool more = samples.MoveToFirst(); more; more = samples.MoveToNext()) {
      if (samples.Long("WellID") != id) continue;
      CString when;
      samples.GetFieldValue("DATE", when);
      dates->Add(when);
    }
  }
  return set;
}

std::string DateText(const SDateTime& t) {
  return Format("%04u-%02u-%02u", t.date.year, t.date.month, t.date.day);
}

void PrintView(CVdbTableView& view, const std::string& columns) {
  view.AuToMMX();
  Out().Line("view of " + Quoted(view.GetName()) + " with the columns " + columns + ": " +
             Grouped(static_cast<unsigned long long>(view.GetRecordCount())) + " records");
  Grid grid({"FIELD", "MIN", "MAX", "AXIS"}, {false, true, true, false});
  for (int i = view.GetFirstFloatIndex(); i < view.GetFieldCount(); ++i) {
    if (view.GetDataType(i) != VDB_FLOAT) continue;
    float lo = 0;
    float hi = 0;
    const bool has = view.MinMax(i, lo, hi);
    grid.Row({view.GetField(i)->GetName(), has ? Format("%g", static_cast<double>(view.Min(i))) : "",
              has ? Format("%g", static_cast<double>(view.Max(i))) : "",
              has ? Format("%g .. %g", static_cast<double>(lo), static_cast<double>(hi)) : "no values"});
  }
  grid.Print("  ");
  SDateTime from{};
  SDateTime to{};
  if (view.tMinMax(from, to)) Out().Line("  dates " + DateText(from) + " .. " + DateText(to));
}

// The road's pieces inside the lease, as the clip left them.
void PrintClip(CVDFile& map) {
  Out().Line("the road clipped by the lease boundary:");
  for (int i = 0; i < map.GetFileCount(); ++i) {
    const auto* line = dynamic_cast<const CPolyline*>(map.GetFileAt(i));
    if (!line || std::string(line->GetName()).rfind("Road in lease", 0) != 0) continue;
    std::string points;
    for (int k = 0; k < line->GetSize(); ++k)
      points += Format(" (%.1f, %.1f)", static_cast<double>(line->GetAt(k).x),
                       static_cast<double>(line->GetAt(k).y));
    Out().Line(Format("  %s: %d points", line->GetName(), line->GetSize()) + points);
  }
}

std::string NewDemoDirectory() {
  for (int n = 1;; ++n) {
    const std::string dir = n == 1 ? "vdkit-demo" : "vdkit-demo-" + std::to_string(n);
    if (::access(dir.c_str(), F_OK) != 0) return dir;
  }
}

void ReportWritten(const char* name, const char* description, size_t size) {
  Out().Line(Format("  %-12s %-34s %8s bytes, read back equal", name, description, Grouped(size).c_str()));
}

// Writes a file, reads it back with `check` and reports the result.
void WriteAndCheck(const std::string& dir, const char* name, const Blob& bytes,
                   const std::function<bool(const std::string&, ByteSpan, std::string*)>& check,
                   const char* description = nullptr) {
  const std::string path = JoinPath(dir, name);
  WriteFileAtomically(path, bytes.data(), bytes.size());
  const FileBytes back = ReadFileBytes(path);
  std::string diff;
  if (!check(path, back, &diff)) FailFile(path, "read back different from what was written: " + diff);
  const Form form = RecognizeContent(back, path);
  if (!description) description = FormDescription(form == Form::unknown ? FormFromExtension(path) : form);
  ReportWritten(name, description, bytes.size());
}

// The settings the wells' picture is made with, as a key profile.
CKeyProfile GridSettings() {
  CKeyProfile p;
  p.SetKeyString("Grid", "Method", "kriging");
  p.SetKeyFloat("Grid", "Alpha", 1.5f);
  p.SetKeyInt("Grid", "Columns", 191);
  p.SetKeyInt("Grid", "Rows", 251);
  p.SetKeyFloat("Grid", "Cell", 10);
  const double origin[2] = {511800, 4176800};
  p.SetKeyBin("Grid", "Origin", origin, sizeof origin);
  p.SetKeyString("Picture", "File", "wells.png");
  p.SetKeyInt("Picture", "Scale", 2);
  return p;
}

bool SameProfile(const CKeyProfile& a, const CKeyProfile& b, std::string* diff) {
  if (a.GetCount() != b.GetCount()) {
    *diff = "the number of entries";
    return false;
  }
  Walk(a, [&](const CString& section, const CString& key, int, int size, void* data) {
    std::vector<BYTE> other(static_cast<size_t>(size) + 1);
    if (diff->empty() && (b.GetKeyBin(section, key, other.data(), static_cast<UINT>(size)) != size ||
                          std::memcmp(other.data(), data, static_cast<size_t>(size)) != 0))
      *diff = "entry " + std::string(section) + "/" + std::string(key);
  });
  return diff->empty();
}

// The survey's tables as table files and the lease's vertices, in a section
// file; read back with the program's own reader.
void WriteSections(const std::string& dir, CVdbTable& wells, CVdbTable& samples, const CPolyline& lease) {
  const std::string path = JoinPath(dir, "survey.sec");
  struct Entry {
    const char* name;
    LONG type;
    Blob bytes;
  };
  std::vector<float> vertices;
  for (int i = 0; i < lease.GetSize(); ++i)
    vertices.insert(vertices.end(), {lease.GetAt(i).x, lease.GetAt(i).y});
  Entry entries[] = {
      {"Wells", 1, StoreTable(wells)},
      {"Samples", 1, StoreTable(samples)},
      {"Lease", 2, Blob(std::string(reinterpret_cast<const char*>(vertices.data()), vertices.size() * 4))}};
  {
    CSecFile out;
    if (!out.Open(path.c_str(), secOpenCreate)) FailFile(path, "cannot create");
    for (Entry& e : entries) {
      SsecTableInfo info{};
      info.nType = e.type;
      info.dwInfo3 = static_cast<DWORD>(e.bytes.size());
      out.AddTableInfo(e.name, info);
      out.Write(e.bytes.data(), static_cast<UINT>(e.bytes.size()));
    }
    out.Close();
  }
  CSecFile in;
  const Sections back = ReadSections(path, in);
  bool same = back.tables.size() == std::size(entries);
  for (size_t i = 0; same && i < back.tables.size(); ++i)
    same = back.tables[i].name == entries[i].name && back.tables[i].info.nType == entries[i].type &&
           Blob(std::string(reinterpret_cast<const char*>(SectionBytes(path, in, back.tables[i]).data()),
                            back.tables[i].size)) == entries[i].bytes;
  if (!same) FailFile(path, "read back different from what was written");
  try {
    in.Close();  // a failure here would otherwise pass unseen in the destructor
  } catch (CException* e) {
    const std::string text = ExceptionText(e);
    e->Delete();
    FailFile(path, "cannot read: " + text);
  }
  ReportWritten("survey.sec", FormDescription(Form::secfile), static_cast<size_t>(back.length));
}

// The wells' mean sample temperature, kriged over the wells and the lease,
// with the lease drawn (it marks no boundary: two wells lie outside it), as
// the settings say.
Picture WellsPicture(CVdbTable& wells, CVdbTable& samples, const CPolyline& lease,
                     const CKeyProfile& settings) {
  Samples points;
  for (bool ok = wells.MoveToFirst(); ok; ok = wells.MoveToNext()) {
    const LONG id = wells.Long("ID");
    double sum = 0;
    int n = 0;
    for (bool more = samples.MoveToFirst(); more; more = samples.MoveToNext())
      if (samples.Long("WellID") == id) sum += samples.Float("T"), ++n;
    if (n == 0) continue;
    CString x, y;
    wells.GetFieldValue("X", x);
    wells.GetFieldValue("Y", y);
    points.x.push_back(std::atof(x));
    points.y.push_back(std::atof(y));
    points.z.push_back(static_cast<float>(sum / n));
  }
  PictureOptions options;
  for (int i = 0; i < lease.GetSize(); ++i) {
    options.boundaryX.push_back(lease.GetAt(i).x);
    options.boundaryY.push_back(lease.GetAt(i).y);
  }
  GridJob job;
  job.alpha = settings.GetKeyFloat("Grid", "Alpha", 1.5f);
  Raster& g = job.grid;
  double origin[2] = {0, 0};
  settings.GetKeyBin("Grid", "Origin", origin, sizeof origin);
  g.x0 = origin[0];
  g.y0 = origin[1];
  g.dx = g.dy = settings.GetKeyFloat("Grid", "Cell", 10);
  g.nx = static_cast<int>(settings.GetKeyInt("Grid", "Columns", 2));
  g.ny = static_cast<int>(settings.GetKeyInt("Grid", "Rows", 2));
  RunGridJob(job, points, Boundary(), "the wells");
  options.sampleX = points.x;
  options.sampleY = points.y;
  options.scale = static_cast<int>(settings.GetKeyInt("Picture", "Scale", 1));
  return DrawPicture(g, options);
}

}  // namespace

int RunDemo(const std::vector<std::string>& args) {
  const CommandLine cl("demo", args, {});
  if (cl.Has("help")) {
    Out().Write(kDemoHelp);
    return kExitOk;
  }
  if (cl.Operands().size() > 1) FailUsage("demo", "at most one DIR");
  const std::string dir = cl.Operands().empty() ? NewDemoDirectory() : cl.Operands()[0];
  if (!MakeDirectories(dir)) FailFile(dir, "cannot make the directory");

  std::unique_ptr<CVDisk> disk = BuildDisk();
  CSurvey& survey = *static_cast<CSurvey*>(disk->FindFile("Survey"));
  CVdbTable& wells = *survey.GetTable("Wells");
  CVdbTable& samples = *survey.GetTable("Samples");
  const char kColumns[] = "DATE,T,P,Wells.Name,Wells.Depth";
  CVdbTableView view;
  survey.Select(&view, "Samples", kColumns, nullptr);

  Out().Line("vdkit demo: a disk with a table set of wells and their samples and a map layer, in " + dir);
  Out().Line("");
  PrintObjectTree(*disk, "  ");
  Out().Line("");
  PrintRecords(wells, "  ", false);
  Out().Line("");
  PrintRecords(samples, "  ", false);
  Out().Line("");
  PrintClip(*disk->FindFile("Map"));
  Out().Line("");
  Out().Line("files written and read back:");

  WriteAndCheck(dir, "demo.vdf", StoreVdf(*disk),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  std::unique_ptr<CVDFile> back = LoadVdfTree(path, bytes, nullptr);
                  return SameTree(*disk, *back, TreeParts{true, true, false, false}, diff);
                });
  // XML has no place for blobs (the demo's objects have none).
  WriteAndCheck(dir, "demo.xml", StoreXml(*disk),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  return SameTree(*disk, *LoadXmlTree(path, bytes), TreeParts{false, true, true, true}, diff);
                });
  WriteAndCheck(
      dir, "wells.tv10", StoreTable(wells), [&](const std::string& path, ByteSpan bytes, std::string* diff) {
        std::unique_ptr<CVdbTable> back = LoadTable(path, bytes);
        return SameFields(*wells.GetFieldSet(), *back->GetFieldSet(), FieldParts{true, false}, diff) &&
               SameRecords(wells, *back, diff);
      });
  const std::string csv = WriteCsv(samples, "samples.csv", nullptr);
  WriteAndCheck(dir, "samples.csv", Blob(csv),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  return SameRecords(samples, *ReadCsv(path, bytes, "Samples"), diff);
                });
  WriteAndCheck(dir, "survey.vts", StoreTableSet(survey),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  return SameTableSet(survey, *LoadTableSet(path, bytes), false, diff);
                });
  std::unique_ptr<CVdbDataSet> pump = BuildDataSet();
  WriteAndCheck(dir, "pump.vds", StoreDataSet(*pump),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  return SameDataSet(*pump, *LoadDataSet(path, bytes), diff);
                });
  WriteAndCheck(dir, "pump.txt", StoreDataSetText(*pump),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  int stopped = 0;
                  return SameDataSet(*pump, *LoadDataSetText(path, bytes, &stopped), diff);
                });
  std::unique_ptr<CKeyStringArraySet> dates = BuildKeyStrings(wells, samples);
  WriteAndCheck(dir, "wells.vks", StoreKeyStrings(*dates),
                [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                  return SameKeyStrings(*dates, *LoadKeyStrings(path, bytes), diff);
                });

  const CPolyline& lease = *static_cast<CPolyline*>(disk->FindFile("Map")->FindFile("Lease"));
  WriteSections(dir, wells, samples, lease);
  const CKeyProfile settings = GridSettings();
  {
    CMemFile mem;
    CKeyProfile copy = settings;
    copy.Store(&mem);
    WriteAndCheck(dir, "grid.xml", Blob(mem),
                  [&](const std::string& path, ByteSpan bytes, std::string* diff) {
                    CKeyProfile back;
                    CMemFile in(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
                    if (!back.Load(&in)) FailFile(path, "the library refused it");
                    return SameProfile(settings, back, diff);
                  });
  }
  if (CanWritePng()) {
    const Picture picture = WellsPicture(wells, samples, lease, settings);
    const std::vector<uint8_t> png = EncodePng("wells.png", picture);
    WriteAndCheck(
        dir, "wells.png", Blob(std::string(png.begin(), png.end())),
        [&](const std::string&, ByteSpan bytes, std::string* diff) {
          Picture back;
          const bool same = DecodePng(bytes.data(), bytes.size(), &back) && back.width == picture.width &&
                            back.height == picture.height && back.rgba == picture.rgba;
          if (!same) *diff = "the pixels";
          return same;
        },
        "picture: the wells' temperature (PNG)");
  }

  Out().Line("");
  PrintView(view, kColumns);
  return kExitOk;
}

}  // namespace vdtool
