// vdkit grid against the library call alone, in the same run: 200,000
// samples to a 2000 x 2000 grid by kriging and, by inverse distance, to a
// 200 x 200 grid (its cost is samples x nodes: the full grid would take some
// ten minutes a run on one thread).
//
// The program's part beyond reading and writing (RunGridJob): moving the
// samples to the grid's corner, counting those the method will use,
// allocating and blanking the grid, the library's grid form, counting the
// nodes with a value. "Bands" is the same with a progress display following
// the work (the grid form called for 100 bands of rows); its line is kept
// from showing. Reading the samples from CSV and writing the ASCII grid and
// the picture are timed on their own for scale.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "grid_run.h"
#include "long_work.h"
#include "raster.h"
#include "samples.h"
#include "vdkit/numeric/gridding.h"

namespace {

constexpr int kSamples = 200000;
constexpr double kExtent = 1000.0;

// The samples of the gridding benchmark: a smooth surface plus noise.
const vdtool::Samples& Points() {
  static const vdtool::Samples s = [] {
    vdtool::Samples p;
    std::mt19937 rng(1234 + kSamples);
    std::uniform_real_distribution<float> u(0.0f, float(kExtent));
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (int i = 0; i < kSamples; ++i) {
      const float x = u(rng), y = u(rng);
      p.x.push_back(x);
      p.y.push_back(y);
      p.z.push_back(float(50 + 20 * std::sin(x / 150.0) * std::cos(y / 200.0) + 0.01 * x) + noise(rng));
    }
    return p;
  }();
  return s;
}

vdtool::GridJob Job(vdtool::GridMethod method, int n) {
  vdtool::GridJob job;
  job.method = method;
  job.threads = 1;
  job.grid.nx = job.grid.ny = n;
  job.grid.x0 = job.grid.y0 = 0;
  job.grid.dx = job.grid.dy = kExtent / (n - 1);
  return job;
}

// The library's grid form alone, on the arrays the program hands it.
void Library(benchmark::State& state, vdtool::GridMethod method) {
  const int n = static_cast<int>(state.range(0));
  const vdtool::Samples& s = Points();
  const std::vector<float> x(s.x.begin(), s.x.end()), y(s.y.begin(), s.y.end());
  std::vector<float> g(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) g[static_cast<size_t>(i)] = static_cast<float>(i * (kExtent / (n - 1)));
  std::vector<float> z(static_cast<size_t>(n) * static_cast<size_t>(n));
  std::vector<float*> rows(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r)
    rows[static_cast<size_t>(r)] = z.data() + static_cast<size_t>(r) * static_cast<size_t>(n);
  SGridControl ctl;
  for (auto _ : state) {
    const bool ok = method == vdtool::GridMethod::kriging
                        ? KriginGrid(x.data(), y.data(), s.z.data(), kSamples, g.data(), n, g.data(), n,
                                     rows.data(), 0.0f, 1.5f, nullptr, nullptr, 0, &ctl)
                        : DistanceGrid(x.data(), y.data(), s.z.data(), kSamples, g.data(), n, g.data(), n,
                                       rows.data(), 0.0f, 0, nullptr, nullptr, 0, &ctl);
    benchmark::DoNotOptimize(ok);
  }
}

void Program(benchmark::State& state, vdtool::GridMethod method, bool bands) {
  const int n = static_cast<int>(state.range(0));
  // The display follows the work but never shows its line.
  setenv("VDKIT_PROGRESS_AFTER", "1e9", 1);
  vdtool::EnableProgress(bands);
  for (auto _ : state) {
    vdtool::GridJob job = Job(method, n);
    benchmark::DoNotOptimize(vdtool::RunGridJob(job, Points(), vdtool::Boundary(), "bench").valued);
  }
  vdtool::EnableProgress(false);
}

void BM_Kriging_Library(benchmark::State& state) {
  Library(state, vdtool::GridMethod::kriging);
}
void BM_Kriging_Program(benchmark::State& state) {
  Program(state, vdtool::GridMethod::kriging, false);
}
void BM_Kriging_ProgramBands(benchmark::State& state) {
  Program(state, vdtool::GridMethod::kriging, true);
}
void BM_Idw_Library(benchmark::State& state) {
  Library(state, vdtool::GridMethod::idw);
}
void BM_Idw_Program(benchmark::State& state) {
  Program(state, vdtool::GridMethod::idw, false);
}
void BM_Idw_ProgramBands(benchmark::State& state) {
  Program(state, vdtool::GridMethod::idw, true);
}

// ---- Reading and writing, for scale ----------------------------------------------------------
std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vdkit_grid_bench_" + name;
}

vdtool::Raster Surface() {
  vdtool::GridJob job = Job(vdtool::GridMethod::trend, 2000);
  vdtool::RunGridJob(job, Points(), vdtool::Boundary(), "bench");
  return job.grid;
}

void BM_ReadSamplesCsv(benchmark::State& state) {
  const std::string path = TempPath("samples.csv");
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("x,y,z\n", f);
    const vdtool::Samples& s = Points();
    for (size_t i = 0; i < s.z.size(); ++i)
      std::fprintf(f, "%.9g,%.9g,%.9g\n", s.x[i], s.y[i], static_cast<double>(s.z[i]));
    std::fclose(f);
  }
  vdtool::SampleRequest req;
  req.path = path;
  for (auto _ : state) benchmark::DoNotOptimize(vdtool::ReadSamples(req).z.size());
  std::remove(path.c_str());
}

void BM_WriteAsciiGrid(benchmark::State& state) {
  const vdtool::Raster g = Surface();
  const std::string path = TempPath("surface.asc");
  for (auto _ : state) vdtool::WriteAsciiGrid(path, g, -9999);
  std::remove(path.c_str());
}

void BM_WritePicture(benchmark::State& state) {
  const vdtool::Raster g = Surface();
  vdtool::PictureOptions options;
  options.scale = 1;
  options.sampleX = Points().x;
  options.sampleY = Points().y;
  const std::string path = TempPath("surface.png");
  for (auto _ : state) vdtool::WritePng(path, vdtool::DrawPicture(g, options));
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_Kriging_Library)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Kriging_Program)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Kriging_ProgramBands)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Idw_Library)->Arg(200)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Idw_Program)->Arg(200)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Idw_ProgramBands)->Arg(200)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ReadSamplesCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAsciiGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePicture)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
