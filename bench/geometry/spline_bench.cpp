// Spline2D sampling of a 1,000,000-point line (a random walk, open) with 4
// points between data points: 5,000,000 samples an iteration, in each form.
// The floor is a plain loop writing the same samples from the same
// Catmull-Rom tangents and Hermite coefficients in single precision.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "vdkit/geometry/spline.h"

namespace {

constexpr int kPoints = 1000000;
constexpr int kSub = 4;

struct Line {
  std::vector<SFloat2D> f;
  std::vector<POINT> p;
  Line() {
    std::mt19937 rng(5);
    std::normal_distribution<float> step(0, 10);
    float x = 0, y = 0;
    for (int i = 0; i < kPoints; ++i) {
      x += step(rng), y += step(rng);
      f.push_back({x, y});
      p.push_back({LONG(x * 100), LONG(y * 100)});
    }
  }
};

const Line& GetLine() {
  static const Line line;
  return line;
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * int64_t{kPoints});
  state.counters["samples/s"] =
      benchmark::Counter(double((kPoints - 1) * (kSub + 1) + 1), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Spline2D_SampleFloat(benchmark::State& state) {
  const Line& line = GetLine();
  for (auto _ : state) {
    SFloat2D* out = nullptr;
    int count = 0;
    Spline2D(line.f.data(), kPoints, false, kSub, &out, &count);
    benchmark::DoNotOptimize(out[count / 2]);
    ::operator delete(out);
  }
  Report(state);
}
BENCHMARK(BM_Spline2D_SampleFloat)->Unit(benchmark::kMillisecond);

void BM_Spline2D_SampleVector(benchmark::State& state) {
  const Line& line = GetLine();
  for (auto _ : state) {
    std::vector<SFloat2D> out = Spline2D(line.f.data(), kPoints, false, kSub);
    benchmark::DoNotOptimize(out.data());
  }
  Report(state);
}
BENCHMARK(BM_Spline2D_SampleVector)->Unit(benchmark::kMillisecond);

void BM_Spline2D_SamplePoint(benchmark::State& state) {
  const Line& line = GetLine();
  for (auto _ : state) {
    POINT* out = nullptr;
    int count = 0;
    Spline2D(line.p.data(), kPoints, false, kSub, &out, &count);
    benchmark::DoNotOptimize(out[count / 2]);
    ::operator delete(out);
  }
  Report(state);
}
BENCHMARK(BM_Spline2D_SamplePoint)->Unit(benchmark::kMillisecond);

// The floor: tangents, coefficients and samples written out in one loop.
void BM_PlainLoop_SampleFloat(benchmark::State& state) {
  const std::vector<SFloat2D>& pts = GetLine().f;
  for (auto _ : state) {
    std::vector<SFloat2D> out(size_t(kPoints - 1) * (kSub + 1) + 1);
    SFloat2D* o = out.data();
    const float step = 1.0f / (kSub + 1);
    for (int s = 0; s + 1 < kPoints; ++s) {
      const SFloat2D p0 = pts[s], p1 = pts[s + 1];
      const float m0x = s ? (p1.x - pts[s - 1].x) * 0.5f : 0, m0y = s ? (p1.y - pts[s - 1].y) * 0.5f : 0;
      const float m1x = s + 2 < kPoints ? (pts[s + 2].x - p0.x) * 0.5f : 0;
      const float m1y = s + 2 < kPoints ? (pts[s + 2].y - p0.y) * 0.5f : 0;
      const double dx = double(p1.x) - p0.x - m0x, ex = double(m1x) - m0x;
      const double dy = double(p1.y) - p0.y - m0y, ey = double(m1y) - m0y;
      const float c2x = float(3 * dx - ex), c3x = float(ex - 2 * dx), c2y = float(3 * dy - ey), c3y = float(ey - 2 * dy);
      *o++ = p0;
      for (int j = 1; j <= kSub; ++j) {
        const double t = float(j) * step;
        *o++ = {float(p0.x + m0x * t + c2x * t * t + c3x * t * t * t),
                float(p0.y + m0y * t + c2y * t * t + c3y * t * t * t)};
      }
    }
    *o = pts[kPoints - 1];
    benchmark::DoNotOptimize(out.data());
  }
  Report(state);
}
BENCHMARK(BM_PlainLoop_SampleFloat)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
