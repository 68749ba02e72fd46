// vdkit grid run as a process: known surfaces come back out of every output
// form, the boundary masks what it should, and every bad input ends with its
// status and one line.
#include <glob.h>
#include <pty.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "demo_classes.h"
#include "process_test.h"
#include "raster.h"
#include "samples.h"
#include "tool.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/table.h"

namespace {
using namespace vdtool_test;

// An ESRI ASCII grid read back: header keys and the rows, north first.
struct Ascii {
  std::map<std::string, double> head;
  std::vector<std::vector<double>> rows;
};

Ascii ParseAscii(const std::string& text) {
  Ascii a;
  std::istringstream in(text);
  std::string key;
  for (int i = 0; i < 6 && in >> key; ++i) in >> a.head[key];
  const int nx = static_cast<int>(a.head["ncols"]);
  for (int r = 0; r < static_cast<int>(a.head["nrows"]); ++r) {
    a.rows.emplace_back(static_cast<size_t>(nx));
    for (double& v : a.rows.back()) in >> v;
  }
  std::string rest;
  EXPECT_FALSE(in >> rest) << "text after the last row: " << rest;
  return a;
}

// x, y, z rows of a CSV file with a header; NaN for an empty z.
std::vector<std::array<double, 3>> ParseNodes(const std::string& text) {
  std::vector<std::array<double, 3>> nodes;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "x,y,z");
  while (std::getline(in, line)) {
    std::array<double, 3> n{};
    const size_t a = line.find(',');
    const size_t b = line.find(',', a + 1);
    n[0] = std::stod(line.substr(0, a));
    n[1] = std::stod(line.substr(a + 1, b - a - 1));
    n[2] = b + 1 < line.size() ? std::stod(line.substr(b + 1)) : NAN;
    nodes.push_back(n);
  }
  return nodes;
}

// Samples of z = f(x, y) at random places of a rectangle, as CSV text.
template <class F>
std::string SampleText(int n, double x0, double y0, double w, double h, F f, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::string text = "x,y,z\n";
  for (int i = 0; i < n; ++i) {
    const double x = x0 + w * u(rng);
    const double y = y0 + h * u(rng);
    text += vdtool::Format("%.17g,%.17g,%.17g\n", x, y, f(x, y));
  }
  return text;
}

bool Inside(double x, double y, const std::vector<std::pair<double, double>>& ring) {
  bool in = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const auto& a = ring[i];
    const auto& b = ring[j];
    if ((a.second > y) != (b.second > y) &&
        x < (b.first - a.first) * (y - a.second) / (b.second - a.second) + a.first)
      in = !in;
  }
  return in;
}

class GridTest : public ProgramTest {
 protected:
  // Only the inputs the test wrote are in the scratch directory: no output
  // and no temporary file was left.
  void ExpectOnly(const std::vector<std::string>& names) {
    glob_t g{};
    std::vector<std::string> found;
    if (::glob((m_dir + "/*").c_str(), 0, nullptr, &g) == 0)
      for (size_t i = 0; i < g.gl_pathc; ++i)
        found.push_back(std::string(g.gl_pathv[i]).substr(m_dir.size() + 1));
    ::globfree(&g);
    EXPECT_EQ(found, names);
  }
};

// A plane far from the origin (map coordinates): the trend of order 1
// reproduces it at every node of every form, and the forms agree.
TEST_F(GridTest, TrendOfOrderOneReproducesAPlane) {
  const auto plane = [](double x, double y) { return 1 + 2 * (x - 512000) + 3 * (y - 4177000); };
  WriteText(Temp("plane.csv"), SampleText(60, 512000, 4177000, 100, 80, plane, 7));
  const Result r =
      Run({"grid", "plane.csv", "p.asc", "p.csv", "nodes.tv10", "nodes.xml", "--method", "trend", "--order",
           "1", "--extent", "512000", "4177000", "512100", "4177080", "--size", "11", "9"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("grid: 11 x 9 nodes, cell 10, x 512000 .. 512100, y 4177000 .. 4177080"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("trend of order 1 on "), std::string::npos);

  const Ascii a = ParseAscii(ReadText(Temp("p.asc")));
  EXPECT_EQ(a.head.at("ncols"), 11);
  EXPECT_EQ(a.head.at("nrows"), 9);
  EXPECT_EQ(a.head.at("xllcorner"), 511995);  // cells centred on the nodes
  EXPECT_EQ(a.head.at("yllcorner"), 4176995);
  EXPECT_EQ(a.head.at("cellsize"), 10);
  EXPECT_EQ(a.head.at("NODATA_value"), -9999);
  for (int r2 = 0; r2 < 9; ++r2)
    for (int c = 0; c < 11; ++c)
      EXPECT_NEAR(a.rows[static_cast<size_t>(8 - r2)][static_cast<size_t>(c)],
                  plane(512000 + 10 * c, 4177000 + 10 * r2), 0.05)
          << r2 << " " << c;

  const auto nodes = ParseNodes(ReadText(Temp("p.csv")));
  ASSERT_EQ(nodes.size(), 99u);
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_EQ(nodes[i][0], 512000 + 10.0 * static_cast<double>(i % 11));  // exact, row by row from the south
    EXPECT_EQ(nodes[i][1], 4177000 + 10.0 * static_cast<double>(i / 11));
    EXPECT_EQ(nodes[i][2], a.rows[8 - i / 11][i % 11]);  // the same float in both texts
  }

  CFile file(Temp("nodes.tv10").c_str(), CFile::modeRead);
  CVdbTable table;
  ASSERT_TRUE(table.Read(file));
  ASSERT_EQ(table.GetRecordCount(), 99);
  for (LONG i = 0; i < 99; ++i) {
    const BYTE* d = table.GetRecordAt(i)->GetData();
    double xy[2];
    float z;
    std::memcpy(xy, d, 16);
    std::memcpy(&z, d + 16, 4);
    EXPECT_EQ(xy[0], nodes[static_cast<size_t>(i)][0]);
    EXPECT_EQ(xy[1], nodes[static_cast<size_t>(i)][1]);
    EXPECT_EQ(z, static_cast<float>(nodes[static_cast<size_t>(i)][2]));
  }
  // The XML document holds the same table.
  ASSERT_EQ(Run({"convert", "nodes.xml", "back.tv10"}).status, 0);
  EXPECT_EQ(ReadText(Temp("back.tv10")), ReadText(Temp("nodes.tv10")));
  // --to for a name without an extension; the same bytes as by extension.
  ASSERT_EQ(Run({"grid", "plane.csv", "p2", "--to", "asc", "--method", "trend", "--extent", "512000",
                 "4177000", "512100", "4177080", "--size=11,9"})
                .status,
            0);
  EXPECT_EQ(ReadText(Temp("p2")), ReadText(Temp("p.asc")));
}

// Kriging is an exact interpolator: nodes on samples give the samples back.
// Blank-separated text with comments, columns by position.
TEST_F(GridTest, KrigingAtSamplePlacesGivesTheSamples) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(10, 90);
  std::string text = "# depth to a horizon\n\n";
  std::map<std::pair<int, int>, double> at;
  for (int i = 0; i < 40; ++i) {
    const int c = static_cast<int>(rng() % 21);
    const int r = static_cast<int>(rng() % 16);
    if (!at.emplace(std::make_pair(r, c), u(rng)).second) continue;
    char line[64];
    std::snprintf(line, sizeof line, "%d  %d\t%.17g\n", 1000 + 5 * c, 2000 + 5 * r, at[{r, c}]);
    text += line;
  }
  WriteText(Temp("s.xyz"), text);
  const Result r = Run({"grid", "s.xyz", "k.csv", "--cell", "5", "--extent", "1000", "2000", "1100", "2075",
                        "--threads", "3", "--x", "1", "--y", "2", "--z", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto nodes = ParseNodes(ReadText(Temp("k.csv")));
  ASSERT_EQ(nodes.size(), 21u * 16u);
  for (const auto& s : at) {
    const auto& n = nodes[static_cast<size_t>(s.first.first * 21 + s.first.second)];
    EXPECT_NEAR(n[2], s.second, 1e-3 * s.second) << s.first.first << " " << s.first.second;
  }
  // The samples' own extent and the default cell: 200 cells along the longer side.
  const Result d = Run({"grid", "s.xyz", "d.asc", "--x", "1", "--y", "2", "--z", "3", "--method", "idw"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_NE(d.out.find("inverse distance on "), std::string::npos);
  EXPECT_EQ(ParseAscii(ReadText(Temp("d.asc"))).head.count("cellsize"), 1u);
}

// Nodes and samples outside the boundary take no part, whether the boundary
// comes as vertices in text or as a closed polyline of an XML document.
TEST_F(GridTest, BoundaryMasksNodesAndSamples) {
  const std::vector<std::pair<double, double>> ring{{0, 0}, {60, 0}, {60, 25}, {25, 25}, {25, 40}, {0, 40}};
  std::string vertices = "x;y\n";
  std::string polyline =
      "<?xml version='1.0'?>\n<Disk class='CVDisk' root='true'>\n <Edge class='CPolyline' type='Boundary'>\n"
      "  <polyline count='6' closed='true'>\n";
  for (const auto& v : ring) {
    vertices += std::to_string(v.first) + ";" + std::to_string(v.second) + "\n";
    polyline += "   <a x='" + std::to_string(v.first) + "' y='" + std::to_string(v.second) + "' />\n";
  }
  WriteText(Temp("ring.csv"), vertices);
  WriteText(Temp("ring.xml"), polyline + "  </polyline>\n </Edge>\n</Disk>\n");
  // Inside z = 10 + x / 10; one sample outside with a value far off, which
  // inverse distance would show at every node if it took part.
  std::string samples = SampleText(
      200, 1, 1, 58, 23, [](double x, double) { return 10 + x / 10; }, 11);
  samples += "50,35,100000\n";
  WriteText(Temp("s.csv"), samples);
  const Result r = Run({"grid", "s.csv", "m.asc", "--boundary", "ring.csv", "--method", "idw", "--extent",
                        "0", "0", "60", "40", "--cell", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("samples: 201 from s.csv (x 'x', y 'y', z 'z'), 200 inside the boundary"),
            std::string::npos)
      << r.out;
  const Ascii a = ParseAscii(ReadText(Temp("m.asc")));
  int inside = 0;
  for (int row = 0; row < 21; ++row)
    for (int c = 0; c < 31; ++c) {
      const double x = 2 * c;
      const double y = 2 * (20 - row);
      const double v = a.rows[static_cast<size_t>(row)][static_cast<size_t>(c)];
      const bool onEdge = x == 0 || x == 60 || y == 0 || y == 40 || x == 25 || y == 25;
      if (onEdge) continue;  // which side an edge falls on is the polygon test's
      if (Inside(x, y, ring)) {
        ++inside;
        EXPECT_GT(v, 9.9) << x << " " << y;
        EXPECT_LT(v, 16.1) << x << " " << y;
      } else {
        EXPECT_EQ(v, -9999) << x << " " << y;
      }
    }
  EXPECT_GT(inside, 300);
  // The same ring as a closed polyline: the same grid, byte for byte.
  ASSERT_EQ(Run({"grid", "s.csv", "p.asc", "--boundary", "ring.xml", "--method", "idw", "--extent", "0", "0",
                 "60", "40", "--cell", "2"})
                .status,
            0);
  EXPECT_EQ(ReadText(Temp("p.asc")), ReadText(Temp("m.asc")));
  // Without --extent the grid covers the samples within the boundary's extent.
  WriteText(Temp("small.csv"), "10,5\n30,5\n20,20\n");
  const Result b = Run({"grid", "s.csv", "b.csv", "--boundary", "small.csv", "--method", "idw"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_NE(b.out.find("grid: 201 x 151 nodes, cell 0.1, x 10 .. 30, y 5 .. 20\n"), std::string::npos)
      << b.out;
}

// The picture decoded with libpng: the surface at the asked scale, the
// ramp's colours at its ends and middle, nodes outside the boundary clear.
TEST_F(GridTest, PictureDecodesToTheRampAndTheMask) {
  if (!vdtool::CanWritePng()) GTEST_SKIP() << "built without libpng";
  // z = x over x 0 .. 40, sampled below the grid's extent so that no dot
  // lies on the surface; the boundary leaves out rows 21 and up.
  WriteText(Temp("s.csv"), SampleText(
                               30, -10, -10, 60, 9, [](double x, double) { return x; }, 5));
  WriteText(Temp("b.csv"), "-20,-20\n60,-20\n60,20.5\n-20,20.5\n");
  const Result r = Run({"grid", "s.csv", "z.png", "--method", "trend", "--extent", "0", "0", "40", "29",
                        "--cell", "1", "--boundary", "b.csv", "--scale", "4"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string png = ReadText(Temp("z.png"));
  vdtool::Picture image;
  ASSERT_TRUE(vdtool::DecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &image));
  const auto pixel = [&](int c, int row) {
    const uint8_t* p =
        &image.rgba[(static_cast<size_t>((29 - row) * 4 + 1) * image.width + static_cast<size_t>(c * 4 + 1)) *
                    4];
    return std::array<int, 4>{p[0], p[1], p[2], p[3]};
  };
  const std::array<int, 4> low{0x44, 0x01, 0x54, 255}, middle{0x21, 0x91, 0x8C, 255},
      high{0xFD, 0xE7, 0x25, 255};
  for (int row : {0, 10, 19}) {
    EXPECT_EQ(pixel(0, row), low);
    EXPECT_EQ(pixel(20, row), middle);
    EXPECT_EQ(pixel(40, row), high);
    EXPECT_EQ(pixel(30, row)[3], 255);
  }
  for (int row : {21, 25, 29})
    for (int c : {0, 20, 40}) EXPECT_EQ(pixel(c, row)[3], 0) << row << " " << c;
}

// gdalinfo, where installed, reads the ASCII grid and finds the grid's values.
TEST_F(GridTest, GdalReadsTheAsciiGrid) {
  if (std::system("command -v gdalinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "gdalinfo is not installed";
  WriteText(Temp("s.csv"),
            SampleText(
                300, 0, 0, 90, 60, [](double x, double y) { return std::sin(x / 20) * y; }, 9));
  ASSERT_EQ(Run({"grid", "s.csv", "g.asc", "g.csv", "--cell", "3"}).status, 0);
  double lo = INFINITY, hi = -INFINITY, sum = 0;
  size_t n = 0;
  for (const auto& node : ParseNodes(ReadText(Temp("g.csv")))) {
    lo = std::min(lo, node[2]);
    hi = std::max(hi, node[2]);
    sum += node[2];
    ++n;
  }
  const std::string info = Temp("info.txt");
  ASSERT_EQ(std::system(("gdalinfo -stats '" + Temp("g.asc") + "' > '" + info + "' 2>&1").c_str()), 0);
  const std::string text = ReadText(info);
  EXPECT_NE(text.find("Driver: AAIGrid"), std::string::npos) << text;
  const Ascii a = ParseAscii(ReadText(Temp("g.asc")));
  EXPECT_NE(text.find(vdtool::Format("Size is %g, %g", a.head.at("ncols"), a.head.at("nrows"))),
            std::string::npos)
      << text;
  const auto stat = [&](const char* key) {
    return std::stod(text.substr(text.find(key) + std::strlen(key)));
  };
  EXPECT_NEAR(stat("STATISTICS_MINIMUM="), lo, 1e-3);
  EXPECT_NEAR(stat("STATISTICS_MAXIMUM="), hi, 1e-3);
  EXPECT_NEAR(stat("STATISTICS_MEAN="), sum / static_cast<double>(n), 1e-3);
}

// On a terminal the work shows its progress, erased when it is done;
// --quiet keeps the terminal silent.
TEST_F(GridTest, ProgressOnATerminal) {
  WriteText(Temp("s.csv"), SampleText(
                               500, 0, 0, 50, 50, [](double x, double y) { return x * y; }, 2));
  setenv("VDKIT_PROGRESS_AFTER", "0", 1);
  for (const bool quiet : {false, true}) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(slave, 2);
      ::close(master);
      if (::chdir(m_dir.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout)) ::_exit(127);
      ::execl(kProgram.c_str(), kProgram.c_str(), "grid", "s.csv", "g.asc", "--size", "51", "51",
              quiet ? "--quiet" : "--threads=1", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(slave);
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
      seen.append(buffer, static_cast<size_t>(n));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (quiet) {
      EXPECT_EQ(seen, "");
    } else {
      EXPECT_NE(seen.find("kriging of 2,601 nodes"), std::string::npos) << seen;
      EXPECT_NE(seen.find("100% [####"), std::string::npos) << seen;
      EXPECT_NE(seen.find("writing g.asc"), std::string::npos) << seen;
      EXPECT_EQ(seen.back(), 'K') << seen;  // the line erased at the end
    }
  }
  unsetenv("VDKIT_PROGRESS_AFTER");
}

TEST_F(GridTest, BadInputEndsWithItsStatusAndOneLine) {
  WriteText(Temp("bad.csv"), "x,y,z\n1,2,3\n4,5,abc\n7,8,\n3,1,2\n9,9,9\n");
  WriteText(Temp("few.csv"), "x,y,z\n1,2,3\n4,5,6\n7,8,9\n3,1,2\n9,9,9\n");
  WriteText(Temp("one.csv"), "x,y,z\n1,2,3\n");
  WriteText(Temp("line.csv"), "x,y,z\n1,2,3\n1,5,6\n1,8,9\n");
  WriteText(Temp("two.csv"), "0,0\n5,5\n");
  WriteText(Temp("flat.csv"), "0,0\n5,5\n10,10\n");
  WriteText(Temp("open.xml"),
            "<?xml version='1.0'?>\n<Disk class='CVDisk' root='true'>\n <Road class='CPolyline'>\n"
            "  <polyline count='3'>\n   <a x='0' y='0' />\n   <a x='9' y='0' />\n   <a x='9' y='9' />\n"
            "  </polyline>\n </Road>\n</Disk>\n");
  const std::vector<std::string> inputs{"bad.csv", "few.csv",  "flat.csv", "line.csv",
                                        "one.csv", "open.xml", "two.csv"};
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } rows[] = {
      {{"bad.csv", "o.asc"},
       1,
       "bad.csv: line 3: the z value 'abc' is not a number (--skip-bad leaves such rows out)"},
      {{"bad.csv", "o.asc", "--z", "1"}, 0, ""},
      {{"bad.csv", "o.asc", "--skip-bad", "--method", "trend", "--order", "2"},
       1,
       "bad.csv: 3 samples; trend of order 2 needs at least 6"},
      {{"few.csv", "o.asc", "--method", "trend", "--order", "2"},
       1,
       "few.csv: 5 samples; trend of order 2 needs at least 6"},
      {{"one.csv", "o.asc", "--extent", "0", "0", "5", "5"},
       1,
       "one.csv: 1 sample; kriging needs at least 2"},
      {{"few.csv", "o.asc", "--boundary", "open.xml"},
       1,
       "open.xml: holds no closed polyline to be a boundary (only 1 open one)"},
      {{"few.csv", "o.asc", "--boundary", "open.xml", "--boundary-name", "road"},
       1,
       "open.xml: the polyline '/Road' is not closed, so it cannot be a boundary"},
      {{"few.csv", "o.asc", "--boundary", "two.csv"},
       1,
       "two.csv: the boundary has 2 vertices; a closed polyline needs at least 3"},
      {{"few.csv", "o.asc", "--boundary", "flat.csv"}, 1, "flat.csv: the boundary encloses no area"},
      {{"line.csv", "o.asc"},
       1,
       "line.csv: the samples span no area (x 1 .. 1, y 2 .. 8); give the grid's extent with --extent"},
      {{"few.csv", "o.asc", "--size", "1000000", "1000000"},
       1,
       "o.asc: a grid of 1,000,000 x 1,000,000 nodes needs about 3.6 TB of memory; "},
      {{"missing.csv", "o.asc"}, 1, "missing.csv: cannot open: No such file or directory"},
      {{"few.csv", "o.asc", "--z", "w"}, 1, "few.csv: no column named 'w' (columns: x, y, z)"},
      {{"few.csv", "o.asc", "--z", "4"}, 1, "few.csv: no column 4: the file has 3"},
      {{"few.csv", "o.asc", "--method", "spline"},
       2,
       "grid: --method: 'spline' is not kriging, idw or trend"},
      {{"few.csv", "o.asc", "--alpha", "2"}, 2, "grid: --alpha: the exponent must lie between 0 and 2"},
      {{"few.csv", "o.asc", "--method", "idw", "--order", "2"}, 2, "grid: --order is for trend surfaces"},
      {{"few.csv", "o.asc", "--size", "1", "5"},
       2,
       "grid: --size: '1' is not a whole number from 2 to 2147483647"},
      {{"few.csv", "o.asc", "--size", "5"}, 2, "grid: --size needs 2 values"},
      {{"few.csv", "o.asc", "--cell", "1", "--size", "5", "5"},
       2,
       "grid: --cell and --size cannot both be given"},
      {{"few.csv", "o.asc", "--cell", "100"},
       2,
       "grid: --cell: a cell of 100 leaves fewer than 2 nodes across"},
      {{"few.csv", "o.asc", "--extent", "0", "0", "0", "5"},
       2,
       "grid: --extent: XMAX and YMAX must be greater"},
      {{"few.csv", "o.txt"}, 2, "grid: cannot tell the form of 'o.txt' from its extension"},
      {{"few.csv", "a.asc", "b.asc", "--to", "csv"}, 2, "grid: --to names the form of one OUT"},
      {{"few.csv", "few.csv"}, 2, "grid: OUT 'few.csv' would replace SAMPLES"},
      {{"few.csv"}, 2, "grid: needs SAMPLES and at least one OUT"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args{"grid"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(row.message);
    const Result r = Run(args);
    if (row.status == 0) {
      EXPECT_EQ(r.status, 0) << r.err;
      std::remove(Temp("o.asc").c_str());
      continue;
    }
    ExpectOneLineFailure(r, row.status, "vdkit: " + row.message);
    ExpectOnly(inputs);
  }
  // --skip-bad leaves the bad rows out and says so.
  const Result skip = Run({"grid", "bad.csv", "o.asc", "--skip-bad", "--method", "idw"});
  EXPECT_EQ(skip.status, 0);
  EXPECT_EQ(skip.err,
            "vdkit: bad.csv: note: left out 2 rows with a missing or bad value (--skip-bad); the first at "
            "line 3: the z "
            "value 'abc' is not a number\n");
  EXPECT_NE(skip.out.find("samples: 3 from bad.csv"), std::string::npos) << skip.out;
}

// Every way of keeping samples reads to the same samples.
TEST(SampleReaderTest, TextTablesAndArchivesGiveTheSameSamples) {
  using vdtool::ReadSamples;
  using vdtool::SampleRequest;
  const std::string dir = ::testing::TempDir();
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> columns;
  } rows[] = {
      {"a.csv", "x,y,z\n1,2,3\n-4.5,5e1,+6\n", {}},
      {"b.csv", "\xEF\xBB\xBF\"Depth\",\"X\",\"Y\"\r\n3,1,2\r\n6,-4.5,50\r\n", {"x", "y", "depth"}},
      {"c.txt", "# comment\n\n1 2 3\n  -4.5\t50 6  \n", {}},
      {"d.txt", "e;n;v\n1;2;3\n\n-4.5;50;6\n", {}},
      {"e.txt", "v\tn\te\n3\t2\t1\n6\t50\t-4.5\n", {"3", "2", "1"}},
      // A line of carriage returns before the data is a blank line.
      {"f.txt", " \r\r\n1 2 3\r\n\r\r\n-4.5 50 6\r\n", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteText(dir + row.name, row.text);
    SampleRequest req;
    req.path = dir + row.name;
    for (size_t i = 0; i < row.columns.size(); ++i) req.columns[i] = row.columns[i];
    vdtool::Samples s;
    try {
      s = ReadSamples(req);
    } catch (const vdtool::Failure& f) {
      ADD_FAILURE() << f.message;
    }
    EXPECT_EQ(s.x, (std::vector<double>{1, -4.5}));
    EXPECT_EQ(s.y, (std::vector<double>{2, 50}));
    EXPECT_EQ(s.z, (std::vector<float>{3, 6}));
    std::remove(req.path.c_str());
  }
  // A table file and the tables of the demo's archives: the wells' depths,
  // the one without a depth left out.
  vdtool::RegisterDemoClasses();
  for (const char* name : {"wells.tv10", "demo.vdf", "demo.xml"}) {
    SCOPED_TRACE(name);
    SampleRequest req;
    req.path = kSamples + "/" + name;
    req.columns[2] = "depth";
    req.skipBad = true;
    if (std::string(name) != "wells.tv10") req.table = "wells";
    vdtool::Samples s;
    try {
      s = ReadSamples(req);
    } catch (const vdtool::Failure& f) {
      ADD_FAILURE() << f.message;
    }
    EXPECT_EQ(s.x, (std::vector<double>{512034.25, 512880}));
    EXPECT_EQ(s.z, (std::vector<float>{1250.5f, 980}));
    EXPECT_EQ(s.skipped, 1u);
    EXPECT_EQ(s.firstSkipped, "record 3: no z value");
  }
}

}  // namespace
