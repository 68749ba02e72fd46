// Gridding against its peers and against the plain algorithms it must equal.
//
// Samples: random points over [0, 1000] x [0, 1000] with a smooth surface plus
// noise, 10,000 and 200,000 of them, the same in every case. Nodes: N x N cell
// centres over the same square, where GDAL puts them.
//   DistanceGrid (inverse distance, power 1) against GDALGridCreate with the
//   inverse-distance algorithm, power 1, smoothing 0, no radius, no point
//   limit, on one thread.
//   KriginGrid (ten neighbours, alpha 1.5) against the plain algorithm, timed
//   on a small grid: compare the nodes/s counters. gstat's ordinary kriging
//   with nmax = 10 and a power variogram runs on the same samples afterwards,
//   through bench/numeric/gridding_gstat.R: this program writes the samples
//   to gridding_samples_<n>.csv in the working directory for it.
// Before timing, each case checks some nodes against the plain algorithm bit
// for bit (counter "mismatch", always 0) and reports the grid's mean, for a
// look against the peer's.
#include <benchmark/benchmark.h>
#include <cpl_conv.h>
#include <gdal_alg.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "vdkit/numeric/gridding.h"
#include "vdkit/numeric/gridding_literal_internal.h"

namespace {

constexpr double kExtent = 1000.0;
constexpr float kAlpha = 1.5f;

struct SampleSet {
  std::vector<float> x, y, z;
  std::vector<double> dx, dy, dz;  // the same values for GDAL
};

const SampleSet& Samples(int n) {
  static std::map<int, SampleSet> sets;
  SampleSet& s = sets[n];
  if (!s.x.empty()) return s;
  std::mt19937 rng(1234 + n);
  std::uniform_real_distribution<float> u(0.0f, float(kExtent));
  std::normal_distribution<float> noise(0.0f, 1.0f);
  for (int i = 0; i < n; ++i) {
    const float x = u(rng), y = u(rng);
    const float z = float(50 + 20 * std::sin(x / 150.0) * std::cos(y / 200.0) + 0.01 * x) + noise(rng);
    s.x.push_back(x), s.y.push_back(y), s.z.push_back(z);
    s.dx.push_back(x), s.dy.push_back(y), s.dz.push_back(z);
  }
  return s;
}

// N x N cell centres of the square, in float as the library takes them.
struct Nodes {
  std::vector<float> g;
  std::vector<float> cells;
  std::vector<float*> rows;
  explicit Nodes(int n) : g(size_t(n)), cells(size_t(n) * size_t(n)), rows(size_t(n)) {
    for (int i = 0; i < n; ++i) g[size_t(i)] = float((i + 0.5) * kExtent / n);
    for (int r = 0; r < n; ++r) rows[size_t(r)] = cells.data() + size_t(r) * size_t(n);
  }
  int n() const { return int(g.size()); }
  double Mean() const {
    double s = 0;
    for (float v : cells) s += v;
    return s / double(cells.size());
  }
};

// Nodes spread over the grid, for the spot checks.
std::vector<std::pair<int, int>> Spots(int n, int count) {
  std::mt19937 rng(7);
  std::vector<std::pair<int, int>> v;
  for (int i = 0; i < count; ++i) v.push_back({int(rng() % unsigned(n)), int(rng() % unsigned(n))});
  return v;
}

bool Same(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void SetCounters(benchmark::State& state, const Nodes& nodes, int mismatch) {
  state.SetItemsProcessed(state.iterations() * int64_t(nodes.n()) * nodes.n());
  state.counters["mismatch"] = mismatch;
  state.counters["mean"] = nodes.Mean();
}

// ---- Inverse distance ---------------------------------------------------------------------

void BM_Gridding_DistanceGrid(benchmark::State& state) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  const int n = int(s.x.size());
  for (auto _ : state) {
    DistanceGrid(s.x.data(), s.y.data(), s.z.data(), n, nodes.g.data(), nodes.n(), nodes.g.data(), nodes.n(),
                 nodes.rows.data(), 0, 0, nullptr, nullptr, 0);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  std::vector<char> used(size_t(n), 1);
  int mismatch = 0;
  for (auto [r, c] : Spots(nodes.n(), 50))
    mismatch +=
        !Same(nodes.rows[size_t(r)][c], gridding_literal::Idw(s.x.data(), s.y.data(), s.z.data(), used, n,
                                                              nodes.g[size_t(c)], nodes.g[size_t(r)]));
  SetCounters(state, nodes, mismatch);
}

void BM_Gridding_GdalInvDist(benchmark::State& state) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  CPLSetConfigOption("GDAL_NUM_THREADS", "1");
  GDALGridInverseDistanceToAPowerOptions o;
  std::memset(&o, 0, sizeof o);
  o.nSizeOfStructure = sizeof o;
  o.dfPower = 1.0;
  o.dfSmoothing = 0.0;
  o.dfNoDataValue = 0.0;
  const GUInt32 size = GUInt32(nodes.n());
  for (auto _ : state) {
    GDALGridCreate(GGA_InverseDistanceToAPower, &o, GUInt32(s.dx.size()), s.dx.data(), s.dy.data(),
                   s.dz.data(), 0, kExtent, 0, kExtent, size, size, GDT_Float32, nodes.cells.data(), nullptr,
                   nullptr);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  SetCounters(state, nodes, 0);
}

// ---- Kriging ------------------------------------------------------------------------------

void KrigingCase(benchmark::State& state, int threads) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  const int n = int(s.x.size());
  SGridControl ctl;
  ctl.nThreads = threads;
  for (auto _ : state) {
    KriginGrid(s.x.data(), s.y.data(), s.z.data(), n, nodes.g.data(), nodes.n(), nodes.g.data(), nodes.n(),
               nodes.rows.data(), 0, kAlpha, nullptr, nullptr, 0, &ctl);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  // The plain algorithm at a few nodes.
  std::vector<char> used(size_t(n), 1);
  std::vector<double> d;
  std::vector<int> ids;
  int mismatch = 0;
  int64_t singular = 0;
  for (auto [r, c] : Spots(nodes.n(), n > 50000 ? 10 : 40)) {
    const float qx = nodes.g[size_t(c)], qy = nodes.g[size_t(r)];
    const int m = gridding_literal::Select(s.x.data(), s.y.data(), used, n, qx, qy, d, ids);
    float v = 0;
    gridding_literal::Krige(s.x.data(), s.y.data(), s.z.data(), ids, m, qx, qy, kAlpha, &v, &singular);
    mismatch += !Same(v, nodes.rows[size_t(r)][c]);
  }
  SetCounters(state, nodes, mismatch);
}

void BM_Gridding_KriginGrid(benchmark::State& state) {
  KrigingCase(state, 1);
}
void BM_Gridding_KriginGridTwoThreads(benchmark::State& state) {
  KrigingCase(state, 2);
}

// The plain algorithm on a small grid: every sample scanned per node.
void BM_Gridding_KriginGridLiteral(benchmark::State& state) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  int64_t singular = 0;
  for (auto _ : state) {
    gridding_literal::KrigeGrid(s.x.data(), s.y.data(), s.z.data(), int(s.x.size()), nodes.g.data(),
                                nodes.n(), nodes.g.data(), nodes.n(), nodes.rows.data(), kAlpha, nullptr,
                                nullptr, 0, &singular);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  SetCounters(state, nodes, 0);
}

// ---- Trend --------------------------------------------------------------------------------

void BM_Gridding_TrendGrid(benchmark::State& state) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  for (auto _ : state) {
    TrendGrid(s.x.data(), s.y.data(), s.z.data(), int(s.x.size()), nodes.g.data(), nodes.n(), nodes.g.data(),
              nodes.n(), nodes.rows.data(), 0, 3, nullptr, nullptr, 0);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  SetCounters(state, nodes, 0);
}

void BM_Gridding_TrendGridLiteral(benchmark::State& state) {
  const SampleSet& s = Samples(int(state.range(0)));
  Nodes nodes(int(state.range(1)));
  for (auto _ : state) {
    gridding_literal::TrendGrid(s.x.data(), s.y.data(), s.z.data(), int(s.x.size()), nodes.g.data(),
                                nodes.n(), nodes.g.data(), nodes.n(), nodes.rows.data(), 3, nullptr, nullptr,
                                0);
    benchmark::DoNotOptimize(nodes.cells.data());
  }
  SetCounters(state, nodes, 0);
}

void Heavy(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Iterations(1);
}

BENCHMARK(BM_Gridding_DistanceGrid)->Args({10000, 500})->Args({200000, 100})->Apply(Heavy);
BENCHMARK(BM_Gridding_GdalInvDist)->Args({10000, 500})->Args({200000, 100})->Apply(Heavy);
BENCHMARK(BM_Gridding_KriginGrid)
    ->Args({10000, 500})
    ->Args({10000, 2000})
    ->Args({200000, 500})
    ->Args({200000, 2000})
    ->Apply(Heavy);
// CPU time of both threads: the same as one thread when sharing costs nothing.
BENCHMARK(BM_Gridding_KriginGridTwoThreads)->Args({200000, 2000})->Apply(Heavy)->MeasureProcessCPUTime();
BENCHMARK(BM_Gridding_KriginGridLiteral)->Args({10000, 40})->Args({200000, 10})->Apply(Heavy);
BENCHMARK(BM_Gridding_TrendGrid)->Args({200000, 2000})->Apply(Heavy);
BENCHMARK(BM_Gridding_TrendGridLiteral)->Args({200000, 500})->Apply(Heavy);

// The samples for the gstat script, as text that reads back to the same floats.
void WriteSamples() {
  for (int n : {10000, 200000}) {
    const SampleSet& s = Samples(n);
    char name[64];
    std::snprintf(name, sizeof name, "gridding_samples_%d.csv", n);
    if (FILE* f = std::fopen(name, "w")) {
      std::fputs("x,y,z\n", f);
      for (size_t i = 0; i < s.x.size(); ++i) std::fprintf(f, "%.9g,%.9g,%.9g\n", s.x[i], s.y[i], s.z[i]);
      std::fclose(f);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  WriteSamples();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
