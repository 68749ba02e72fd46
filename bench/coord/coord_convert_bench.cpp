// CCoordConvert::toCS2 against its floor: a plain loop doing the same
// arithmetic inline (parameters from the quadratic of the bilinear frame, s
// by projection, then interpolation over the target corners) with the
// frame's constants worked out once and no checks. 10,000,000 conversions
// an iteration, cycling over 65,536 random points inside the frame, so that
// the figures measure arithmetic rather than memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "vdkit/coord/coord_convert.h"

namespace {

constexpr int kPool = 65536;
constexpr int64_t kConversions = 10000000;

// A sheet in ground coordinates (system 1) and a slightly skewed scan of it (system 2).
const double kSys1[4][2] = {{431200, 5192600}, {433170, 5192253}, {433430, 5193730}, {431460, 5194077}};
const double kSys2[4][2] = {{0, 0}, {4000, 12}, {3990, 3007}, {-8, 2995}};

struct Points {
  std::vector<double> x, y;
  Points() {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < kPool; ++i) {
      const double s = unit(rng), t = unit(rng);
      const auto at = [&](int c) {
        return kSys1[0][c] + s * (kSys1[3][c] - kSys1[0][c]) + t * (kSys1[1][c] - kSys1[0][c]) +
               s * t * (kSys1[2][c] - kSys1[1][c] - kSys1[3][c] + kSys1[0][c]);
      };
      x.push_back(at(0));
      y.push_back(at(1));
    }
  }
};

const Points& Pool() {
  static const Points p;
  return p;
}

void Report(benchmark::State& state, double sum) {
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kConversions);
}

void BM_CoordConvert_ToCS2(benchmark::State& state) {
  CCoordConvert cc;
  for (int i = 0; i < 4; ++i) cc.SetScaler(i, kSys1[i][0], kSys1[i][1], kSys2[i][0], kSys2[i][1]);
  if (state.range(0) == 3) cc.Set2Valid(false);
  const Points& p = Pool();
  double sum = 0;
  for (auto _ : state) {
    for (int64_t n = 0; n < kConversions; ++n) {
      const int i = int(n & (kPool - 1));
      double x, y;
      cc.toCS2(p.x[i], p.y[i], x, y);
      sum += x + y;
    }
  }
  Report(state, sum);
}
BENCHMARK(BM_CoordConvert_ToCS2)->Arg(4)->Arg(3)->Unit(benchmark::kMillisecond);

// The floor: the same solve and interpolation, written out.
void BM_PlainLoop_ToCS2(benchmark::State& state) {
  const bool four = state.range(0) == 4;
  const double x0 = kSys1[0][0], y0 = kSys1[0][1];
  const double ux = kSys1[3][0] - x0, uy = kSys1[3][1] - y0, vx = kSys1[1][0] - x0, vy = kSys1[1][1] - y0;
  const double wx = four ? kSys1[2][0] - kSys1[1][0] - ux : 0, wy = four ? kSys1[2][1] - kSys1[1][1] - uy : 0;
  const double cuv = ux * vy - uy * vx, cwv = wx * vy - wy * vx;
  const Points& p = Pool();
  double sum = 0;
  for (auto _ : state) {
    for (int64_t n = 0; n < kConversions; ++n) {
      const int i = int(n & (kPool - 1));
      const double ex = p.x[i] - x0, ey = p.y[i] - y0;
      const double a1 = ex * wy - ey * wx + cuv, a0 = ex * uy - ey * ux;
      const double disc = std::max(a1 * a1 - 4 * cwv * a0, 0.0);
      const double q = -0.5 * (a1 + std::copysign(std::sqrt(disc), a1));
      double t = a0 / q;
      if (cwv != 0) {
        const double t2 = q / cwv;
        if (std::fabs(t2 - 0.5) < std::fabs(t - 0.5)) t = t2;
      }
      const double dx = ux + t * wx, dy = uy + t * wy;
      const double s = ((ex - t * vx) * dx + (ey - t * vy) * dy) / (dx * dx + dy * dy);
      double out[2];
      for (int c = 0; c < 2; ++c) {
        const double a = kSys2[0][c] + (kSys2[3][c] - kSys2[0][c]) * s;
        const double b = four ? kSys2[1][c] + (kSys2[2][c] - kSys2[1][c]) * s
                              : kSys2[1][c] + (kSys2[3][c] - kSys2[0][c]) * s;
        out[c] = a + (b - a) * t;
      }
      sum += out[0] + out[1];
    }
  }
  Report(state, sum);
}
BENCHMARK(BM_PlainLoop_ToCS2)->Arg(4)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
