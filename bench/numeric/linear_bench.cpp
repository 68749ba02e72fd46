// Gaussj and CMatrixd::Solve against LAPACK's dgesv (LU with partial pivoting,
// through LAPACKE) on the same random systems of n = 11 (a kriging system, one
// solve repeated many times), 100 and 500; and MultinomialMatch of degree 5 on
// 1,000,000 points. Every solver starts from an unmodified copy of the input
// in each iteration: Gaussj widens its float input to a work array, Solve
// builds its augmented matrix, and dgesv gets a memcpy of a column-major
// double matrix, its cheapest form.
#include <benchmark/benchmark.h>
#include <lapacke.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "vdkit/numeric/linear.h"
#include "vdkit/numeric/matrix.h"

namespace {

struct System {
  int n;
  std::vector<float> a, b;  // row-major floats for Gaussj
  std::vector<float*> rows;
  std::vector<double> colMajor;  // the same values for dgesv
  CMatrixd A, B;                 // and for Solve
  explicit System(int size)
      : n(size), a(size_t(size) * size), b(size), rows(size), colMajor(a.size()), A(size, size), B(size, 1) {
    std::mt19937 rng(static_cast<unsigned>(size));
    std::uniform_real_distribution<float> u(-1, 1);
    for (float& v : a) v = u(rng);
    for (float& v : b) v = u(rng);
    for (int i = 0; i < n; ++i) {
      rows[i] = a.data() + size_t(i) * n;
      B(i, 0) = b[i];
      for (int j = 0; j < n; ++j) colMajor[size_t(j) * n + i] = A(i, j) = a[size_t(i) * n + j];
    }
  }
};

const System& Get(int n) {
  static std::map<int, System> systems;
  auto it = systems.find(n);
  if (it == systems.end()) {
    it = systems.emplace(n, System(n)).first;
    // The three answers agree before anything is timed.
    const System& s = it->second;
    std::vector<float> x(n);
    Gaussj(const_cast<float**>(s.rows.data()), const_cast<float*>(s.b.data()), x.data(), n);
    const CMatrixd X = s.A.Solve(s.B);
    std::vector<double> lu = s.colMajor, rhs(s.b.begin(), s.b.end());
    std::vector<lapack_int> ipiv(n);
    LAPACKE_dgesv(LAPACK_COL_MAJOR, n, 1, lu.data(), n, ipiv.data(), rhs.data(), n);
    double worst = 0;
    for (int i = 0; i < n; ++i)
      worst = std::fmax(
          worst, std::fmax(std::fabs(x[i] - rhs[i]), std::fabs(X(i, 0) - rhs[i])) / (1 + std::fabs(rhs[i])));
    if (worst > 1e-3) fprintf(stderr, "n = %d: solvers disagree by %g\n", n, worst);
  }
  return it->second;
}

void BM_Linear_Gaussj(benchmark::State& state) {
  const System& s = Get(int(state.range(0)));
  std::vector<float> x(s.n);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Gaussj(const_cast<float**>(s.rows.data()), const_cast<float*>(s.b.data()), x.data(), s.n));
    benchmark::ClobberMemory();
  }
}

void BM_Linear_MatrixSolve(benchmark::State& state) {
  const System& s = Get(int(state.range(0)));
  for (auto _ : state) {
    CMatrixd X = s.A.Solve(s.B);
    benchmark::DoNotOptimize(X(0, 0));
  }
}

void BM_Linear_Dgesv(benchmark::State& state) {
  const System& s = Get(int(state.range(0)));
  std::vector<double> lu(s.colMajor.size()), rhs(s.n);
  std::vector<lapack_int> ipiv(s.n);
  for (auto _ : state) {
    memcpy(lu.data(), s.colMajor.data(), lu.size() * sizeof(double));
    for (int i = 0; i < s.n; ++i) rhs[i] = s.b[i];
    benchmark::DoNotOptimize(
        LAPACKE_dgesv(LAPACK_COL_MAJOR, s.n, 1, lu.data(), s.n, ipiv.data(), rhs.data(), s.n));
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_Linear_Gaussj)->Arg(11)->Arg(100)->Arg(500);
BENCHMARK(BM_Linear_MatrixSolve)->Arg(11)->Arg(100)->Arg(500);
BENCHMARK(BM_Linear_Dgesv)->Arg(11)->Arg(100)->Arg(500);

// Degree 5 through 1,000,000 noisy samples of a quintic.
void BM_Linear_MultinomialMatch(benchmark::State& state) {
  constexpr int kPoints = 1000000;
  static std::vector<float> x, y;
  if (x.empty()) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-2, 2);
    std::normal_distribution<float> noise(0, 0.01f);
    for (int i = 0; i < kPoints; ++i) {
      const float xi = u(rng);
      x.push_back(xi);
      y.push_back(1 + xi * (-2 + xi * (0.5f + xi * (0.25f + xi * (-0.1f + xi * 0.01f)))) + noise(rng));
    }
  }
  float c[6];
  for (auto _ : state) {
    benchmark::DoNotOptimize(MultinomialMatch(x.data(), y.data(), kPoints, 5, c));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kPoints});
  state.counters["c5"] = c[5];
}
BENCHMARK(BM_Linear_MultinomialMatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
