// grid: a surface on a regular grid from scattered samples, written as an
// ESRI ASCII grid, CSV, a table or a picture.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

#include "commands.h"
#include "formats.h"
#include "grid_run.h"
#include "raster.h"
#include "samples.h"
#include "tool.h"

namespace vdtool {

const char kGridHelp[] =
    "Usage: vdkit grid [OPTIONS] SAMPLES OUT...\n"
    "\n"
    "Estimates a surface on a regular grid from scattered samples (x, y, z) and\n"
    "writes it to each OUT in the form its extension names:\n"
    "  .asc         ESRI ASCII grid (GIS tools read it); NODATA where no value\n"
    "  .csv         x, y, z of every node, from the south-west corner row by row\n"
    "  .tv10 .xml   a table X, Y, Z of the nodes: table file, or its XML document\n"
    "  .png         a picture: the surface in a colour ramp, a legend of the value\n"
    "               range, the samples as dots and the boundary; transparent where\n"
    "               no value\n"
    "\n"
    "SAMPLES is delimited text (CSV; semicolons, tabs or blanks separate as well;\n"
    "lines beginning with '#' are passed over), a table file, or a table in an\n"
    "object archive or XML document. The columns named x, y and z are used; text\n"
    "that names none of them gives its first three columns.\n"
    "\n"
    "Options:\n"
    "  --x COL, --y COL, --z COL  the columns, by name or 1-based position\n"
    "  --table NAME     the table of an archive, by path (/Survey/Wells) or name\n"
    "  --as FORM        read SAMPLES as csv, table, vdf or xml\n"
    "  --skip-bad       leave out rows with a missing or bad value (else they fail)\n"
    "  --method M       kriging (the default), idw (inverse distance) or trend\n"
    "  --alpha A        kriging: the exponent of the covariance, 0 < A < 2 (1.5)\n"
    "  --order K        trend: the order of the polynomial, 0 to 10 (1)\n"
    "  --extent XMIN YMIN XMAX YMAX\n"
    "                   the grid's corner nodes (default: the samples' extent, within\n"
    "                   the boundary's when there is one)\n"
    "  --cell SIZE      square cells of SIZE (default: 200 along the longer side)\n"
    "  --size NX NY     NX x NY nodes over the extent\n"
    "  --boundary FILE  a closed polyline (object archive or XML document), or text\n"
    "                   of x, y vertices: nodes and samples outside it are left out\n"
    "  --boundary-name NAME  which polyline of FILE, when it holds several\n"
    "  --threads N      threads sharing the nodes (default: one per processor)\n"
    "  --to FORM        write the one OUT as asc, csv, table, xml or png\n"
    "  --nodata V       the .asc value of nodes without one (-9999)\n"
    "  --scale S        pixels per node along a side of the picture (default: chosen)\n"
    "  --quiet          no progress display on a terminal\n"
    "\n"
    "While gridding, coordinates are taken from the grid's south-west node, which\n"
    "keeps the 32-bit arithmetic of the methods precise far from the origin.\n"
    "No OUT appears unless the whole grid was made. Exit status 1, with one line\n"
    "naming the file and the problem: a missing or bad value (and its line), fewer\n"
    "samples than the method needs, a boundary that is not a closed polyline, an\n"
    "extent of no area, a grid too large for memory. 2: wrong usage.\n";

namespace {

enum class GridOut { asc, csv, table, xml, png };

struct GridFile {
  std::string path;
  GridOut form;
};

bool OutFromKeyword(std::string k, GridOut* out) {
  for (char& c : k) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const struct {
    const char* key;
    GridOut form;
  } forms[] = {{"asc", GridOut::asc},    {"csv", GridOut::csv},  {"table", GridOut::table},
               {"tv10", GridOut::table}, {"tv", GridOut::table}, {"xml", GridOut::xml},
               {"png", GridOut::png}};
  for (const auto& f : forms)
    if (k == f.key) {
      *out = f.form;
      return true;
    }
  return false;
}

double NumberOption(const std::string& name, const std::string& text) {
  double v = 0;
  if (!ParseNumber(text, &v) || !std::isfinite(v))
    FailUsage("grid", "--" + name + ": " + Quoted(text) + " is not a number");
  return v;
}

int WholeOption(const std::string& name, const std::string& text, int lo, int hi) {
  const double v = NumberOption(name, text);
  if (v != std::floor(v) || v < lo || v > hi)
    FailUsage("grid", Format("--%s: %s is not a whole number from %d to %d", name.c_str(),
                             Quoted(text).c_str(), lo, hi));
  return static_cast<int>(v);
}



struct Extent {
  double x0, y0, x1, y1;
};

std::string Num(double v) {
  return Format("%.10g", v);
}

}  // namespace

int RunGrid(const std::vector<std::string>& args) {
  const CommandLine cl("grid", args,
                       {{"x", true},
                        {"y", true},
                        {"z", true},
                        {"table", true},
                        {"as", true},
                        {"skip-bad", false},
                        {"method", true},
                        {"alpha", true},
                        {"order", true},
                        {"extent", true, 4},
                        {"cell", true},
                        {"size", true, 2},
                        {"boundary", true},
                        {"boundary-name", true},
                        {"threads", true},
                        {"to", true},
                        {"nodata", true},
                        {"scale", true}});
  if (cl.Has("help")) {
    Out().Write(kGridHelp);
    return kExitOk;
  }
  if (cl.Operands().size() < 2) FailUsage("grid", "needs SAMPLES and at least one OUT");

  // ---- What is asked ------------------------------------------------------------------------
  GridJob job;
  const std::string method = cl.Has("method") ? cl.Value("method") : "kriging";
  if (method == "kriging") {
    job.method = GridMethod::kriging;
  } else if (method == "idw") {
    job.method = GridMethod::idw;
  } else if (method == "trend") {
    job.method = GridMethod::trend;
  } else {
    FailUsage("grid", "--method: " + Quoted(method) + " is not kriging, idw or trend");
  }
  if (cl.Has("alpha")) {
    if (job.method != GridMethod::kriging) FailUsage("grid", "--alpha is for kriging");
    const double a = NumberOption("alpha", cl.Value("alpha"));
    if (!(a > 0 && a < 2)) FailUsage("grid", "--alpha: the exponent must lie between 0 and 2");
    job.alpha = static_cast<float>(a);
  }
  if (cl.Has("order")) {
    if (job.method != GridMethod::trend) FailUsage("grid", "--order is for trend surfaces");
    job.order = WholeOption("order", cl.Value("order"), 0, 10);
  }
  job.threads = cl.Has("threads") ? WholeOption("threads", cl.Value("threads"), 1, 256)
                                  : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (cl.Has("cell") && cl.Has("size")) FailUsage("grid", "--cell and --size cannot both be given");
  const double nodata = cl.Has("nodata") ? NumberOption("nodata", cl.Value("nodata")) : -9999.0;
  const int scale = cl.Has("scale") ? WholeOption("scale", cl.Value("scale"), 1, 64) : 0;

  SampleRequest request;
  request.path = cl.Operands()[0];
  request.as = cl.Value("as");
  request.table = cl.Value("table");
  request.columns[0] = cl.Value("x");
  request.columns[1] = cl.Value("y");
  request.columns[2] = cl.Value("z");
  request.skipBad = cl.Has("skip-bad");

  std::vector<GridFile> outputs;
  for (size_t i = 1; i < cl.Operands().size(); ++i) {
    GridFile o{cl.Operands()[i], GridOut::asc};
    const std::string key = cl.Has("to") ? cl.Value("to") : FileExtension(o.path);
    if (!OutFromKeyword(key, &o.form))
      FailUsage("grid", cl.Has("to")
                            ? "--to: " + Quoted(key) + " is not asc, csv, table, xml or png"
                            : "cannot tell the form of " + Quoted(o.path) +
                                  " from its extension (.asc .csv .tv10 .xml .png); name it with --to");
    if (IsDirectory(o.path)) FailUsage("grid", Quoted(o.path) + " is a directory");
    if (o.path == request.path) FailUsage("grid", "OUT " + Quoted(o.path) + " would replace SAMPLES");
    if (o.form == GridOut::png && !CanWritePng())
      FailFile(o.path, "this vdkit was built without libpng and cannot write pictures");
    outputs.push_back(o);
  }
  if (cl.Has("to") && outputs.size() > 1) FailUsage("grid", "--to names the form of one OUT");
  Extent extent{};
  const bool givenExtent = cl.Has("extent");
  if (givenExtent) {
    const std::vector<std::string> e = cl.Values("extent");
    extent = {NumberOption("extent", e[0]), NumberOption("extent", e[1]), NumberOption("extent", e[2]),
              NumberOption("extent", e[3])};
    if (!(extent.x1 > extent.x0 && extent.y1 > extent.y0))
      FailUsage("grid", "--extent: XMAX and YMAX must be greater than XMIN and YMIN");
  }

  // ---- The samples and the boundary -------------------------------------------------------------
  const Samples samples = ReadSamples(request);
  const std::string& in = request.path;
  Boundary boundary;
  const std::string boundaryPath = cl.Value("boundary");
  if (!boundaryPath.empty()) {
    boundary = ReadBoundary(boundaryPath, cl.Value("boundary-name"));
  } else if (cl.Has("boundary-name")) {
    FailUsage("grid", "--boundary-name needs --boundary");
  }

  // ---- The grid's geometry ----------------------------------------------------------------------
  if (!givenExtent) {
    const auto [xl, xh] = std::minmax_element(samples.x.begin(), samples.x.end());
    const auto [yl, yh] = std::minmax_element(samples.y.begin(), samples.y.end());
    extent = {*xl, *yl, *xh, *yh};
    if (!(extent.x1 > extent.x0 && extent.y1 > extent.y0))
      FailFile(in, "the samples span no area (x " + Num(extent.x0) + " .. " + Num(extent.x1) + ", y " +
                       Num(extent.y0) + " .. " + Num(extent.y1) + "); give the grid's extent with --extent");
    if (!boundary.x.empty()) {
      const auto [bxl, bxh] = std::minmax_element(boundary.x.begin(), boundary.x.end());
      const auto [byl, byh] = std::minmax_element(boundary.y.begin(), boundary.y.end());
      extent = {std::max(extent.x0, *bxl), std::max(extent.y0, *byl), std::min(extent.x1, *bxh),
                std::min(extent.y1, *byh)};
      if (!(extent.x1 > extent.x0 && extent.y1 > extent.y0))
        FailFile(boundaryPath,
                 "the boundary and the samples' extent share no area; give the grid's extent with --extent");
    }
  }
  const double width = extent.x1 - extent.x0;
  const double height = extent.y1 - extent.y0;
  if (!(width <= FLT_MAX / 2 && height <= FLT_MAX / 2))
    FailFile(in, "the grid's extent is wider than 32-bit floats hold");
  Raster& g = job.grid;
  g.x0 = extent.x0;
  g.y0 = extent.y0;
  double nx = 0;
  double ny = 0;
  if (cl.Has("size")) {
    const std::vector<std::string> s = cl.Values("size");
    nx = WholeOption("size", s[0], 2, 0x7FFFFFFF);
    ny = WholeOption("size", s[1], 2, 0x7FFFFFFF);
    g.dx = width / (nx - 1);
    g.dy = height / (ny - 1);
  } else {
    double cell = std::max(width, height) / 200;
    if (cl.Has("cell")) {
      cell = NumberOption("cell", cl.Value("cell"));
      if (!(cell > 0)) FailUsage("grid", "--cell: the size must be greater than 0");
    }
    g.dx = g.dy = cell;
    // A node within a millionth of a cell of the far edge still counts.
    nx = std::max(2.0, std::floor(width / cell + 1e-6) + 1);
    ny = std::max(2.0, std::floor(height / cell + 1e-6) + 1);
    if (cl.Has("cell") && (width / cell < 1 || height / cell < 1))
      FailUsage("grid", "--cell: a cell of " + Num(cell) + " leaves fewer than 2 nodes across the extent (" +
                            Num(width) + " x " + Num(height) + ")");
  }
  // Refused before anything is allocated: what the grid, the boundary mask
  // and the outputs held in memory would take.
  double perNode = 4 + (boundary.x.empty() ? 0 : 1);
  int pictureScale = 1;
  for (const GridFile& o : outputs) {
    if (o.form == GridOut::table) perNode += 40;
    if (o.form == GridOut::xml) perNode += 160;
    if (o.form == GridOut::png) {
      pictureScale = scale > 0 ? scale : std::max(1, std::min(16, static_cast<int>(640 / std::max(nx, ny))));
      perNode += 6.0 * pictureScale * pictureScale;
    }
  }
  const double nodes = nx * ny;
  const double need = nodes * perNode;
  const double available = AvailableMemory();
  const std::string gridText = Grouped(static_cast<unsigned long long>(nx)) + " x " +
                               Grouped(static_cast<unsigned long long>(ny)) + " nodes";
  if (need > available || nx > 0x7FFFFFFF || ny > 0x7FFFFFFF || nodes > 1e15)
    FailFile(outputs[0].path, "a grid of " + gridText + " needs about " + ByteSize(need) + " of memory; " +
                                  ByteSize(available) + " are available");
  if (nodes > 0x7FFFFFFF)
    for (const GridFile& o : outputs)
      if (o.form == GridOut::table || o.form == GridOut::xml)
        FailFile(o.path, "a grid of " + gridText + " has more nodes than a table holds records");
  g.nx = static_cast<int>(nx);
  g.ny = static_cast<int>(ny);

  // ---- Gridding ------------------------------------------------------------------------------------
  const GridReport report = RunGridJob(job, samples, boundary, in);

  // ---- Outputs ------------------------------------------------------------------------------------
  std::string written;
  for (const GridFile& o : outputs) {
    switch (o.form) {
      case GridOut::asc:
        WriteAsciiGrid(o.path, g, nodata);
        break;
      case GridOut::csv:
        WriteNodeCsv(o.path, g);
        break;
      case GridOut::table:
      case GridOut::xml:
        WriteNodeTable(o.path, g, FileStem(o.path), o.form == GridOut::xml);
        break;
      case GridOut::png: {
        PictureOptions po;
        po.scale = pictureScale;
        po.sampleX = samples.x;
        po.sampleY = samples.y;
        po.boundaryX = boundary.x;
        po.boundaryY = boundary.y;
        const Picture picture = DrawPicture(g, po);
        WritePng(o.path, picture);
        break;
      }
    }
    written += (written.empty() ? "" : ", ") + o.path;
  }

  // Notes only when it all worked: a failure is one line.
  if (samples.skipped)
    Note(in, Format("left out %zu row%s with a missing or bad value (--skip-bad); the first at %s",
                    samples.skipped, samples.skipped == 1 ? "" : "s", samples.firstSkipped.c_str()));
  if (report.singular > 0)
    Note(in,
         Format("%lld node%s got 0 from a singular kriging system (two of the nearest samples at one place)",
                static_cast<long long>(report.singular), report.singular == 1 ? "" : "s"));

  // ---- Summary --------------------------------------------------------------------------------------
  Out().Line("samples: " + Grouped(samples.z.size()) + " from " + in +
             (samples.source.empty() ? "" : " " + samples.source) + " (x " + Quoted(samples.columns[0]) +
             ", y " + Quoted(samples.columns[1]) + ", z " + Quoted(samples.columns[2]) + ")" +
             (report.used < samples.z.size() ? ", " + Grouped(report.used) + " inside the boundary" : ""));
  Out().Line("grid: " + gridText + ", cell " + Num(g.dx) + (g.dx == g.dy ? "" : " x " + Num(g.dy)) + ", x " +
             Num(g.X(0)) + " .. " + Num(g.X(g.nx - 1)) + ", y " + Num(g.Y(0)) + " .. " + Num(g.Y(g.ny - 1)));
  float lo = 0;
  float hi = 0;
  const bool any = g.Range(&lo, &hi);
  Out().Line(report.description + ": " + Grouped(report.valued) + " nodes with a value" +
             (any ? ", z " + ShortestText(lo) + " .. " + ShortestText(hi) : ""));
  Out().Line("wrote " + written);
  return kExitOk;
}

}  // namespace vdtool
