// Gridding a sample file: reads x y z lines, estimates a surface on a regular
// grid over the samples' extent by kriging, inverse distance or a trend
// surface, and prints the grid as text (north row first). With --pgm it also
// writes the grid as a greyscale picture, dark low and light high.
//
//   gridding examples/data/grid_samples.xyz                  kriging, 60 x 48 nodes
//   gridding examples/data/grid_samples.xyz distance 100 80 --pgm surface.pgm
//   gridding examples/data/grid_samples.xyz trend 30 24      a cubic trend
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vdkit/numeric/gridding.h"

namespace {

// Lines of three numbers; blank lines and lines starting with '#' are skipped.
bool ReadSamples(const char* path, std::vector<SFloat3D>& out) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  char line[256];
  int number = 0;
  bool ok = true;
  while (ok && std::fgets(line, sizeof line, f)) {
    ++number;
    const char* p = line + std::strspn(line, " \t\r\n");
    if (*p == '#' || *p == '\0') continue;
    SFloat3D s;
    if (std::sscanf(p, "%f %f %f", &s.x, &s.y, &s.z) != 3) {
      std::fprintf(stderr, "%s:%d: expected x y z\n", path, number);
      ok = false;
    }
    out.push_back(s);
  }
  std::fclose(f);
  return ok;
}

void WritePgm(const char* path, const SGridLattice& g, float lo, float hi) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return;
  std::fprintf(f, "P5\n%d %d\n255\n", g.Cols(), g.Rows());
  for (int r = g.Rows() - 1; r >= 0; --r)
    for (int c = 0; c < g.Cols(); ++c) {
      const float t = hi > lo ? (g.At(r, c) - lo) / (hi - lo) : 0.5f;
      std::fputc(int(std::clamp(t, 0.0f, 1.0f) * 255.0f + 0.5f), f);
    }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string pgm;
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--pgm") {
      pgm = args[i + 1];
      args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
      break;
    }
  if (args.empty()) {
    std::fprintf(stderr, "usage: gridding SAMPLES [kriging|distance|trend] [COLS ROWS] [--pgm FILE]\n");
    return 2;
  }
  std::vector<SFloat3D> samples;
  if (!ReadSamples(args[0].c_str(), samples) || samples.empty()) {
    std::fprintf(stderr, "no samples read from %s\n", args[0].c_str());
    return 1;
  }
  const std::string method = args.size() > 1 ? args[1] : "kriging";
  const int cols = args.size() > 3 ? std::atoi(args[2].c_str()) : 60;
  const int rows = args.size() > 3 ? std::atoi(args[3].c_str()) : 48;
  if (cols < 2 || rows < 2) {
    std::fprintf(stderr, "the grid needs at least 2 x 2 nodes\n");
    return 2;
  }

  // Nodes from corner to corner of the samples' extent.
  float x0 = samples[0].x, x1 = x0, y0 = samples[0].y, y1 = y0;
  for (const SFloat3D& s : samples) {
    x0 = std::min(x0, s.x), x1 = std::max(x1, s.x);
    y0 = std::min(y0, s.y), y1 = std::max(y1, s.y);
  }
  SGridLattice grid = SGridLattice::Regular(x0, double(x1 - x0) / (cols - 1), cols, y0,
                                            double(y1 - y0) / (rows - 1), rows, 0.0f);
  SGridControl ctl;
  bool ok;
  if (method == "kriging") {
    ok = KriginGrid(samples, grid, 1.5f, {}, &ctl);
  } else if (method == "distance") {
    ok = DistanceGrid(samples, grid, {}, &ctl);
  } else if (method == "trend") {
    ok = TrendGrid(samples, grid, 3, {}, &ctl);
  } else {
    std::fprintf(stderr, "unknown method %s\n", method.c_str());
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "%s failed\n", method.c_str());
    return 1;
  }

  const auto [lo, hi] = std::minmax_element(grid.z.begin(), grid.z.end());
  std::printf("# %s of %zu samples on %d x %d nodes, x %g..%g, y %g..%g, z %g..%g, %lld singular\n",
              method.c_str(), samples.size(), cols, rows, x0, x1, y0, y1, *lo, *hi, (long long)ctl.nSingular);
  for (int r = rows - 1; r >= 0; --r) {
    for (int c = 0; c < cols; ++c) std::printf(c ? " %.2f" : "%.2f", grid.At(r, c));
    std::printf("\n");
  }
  if (!pgm.empty()) WritePgm(pgm.c_str(), grid, *lo, *hi);
  return 0;
}
