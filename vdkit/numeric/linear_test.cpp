#include "vdkit/numeric/linear.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/numeric/matrix.h"

namespace {

// Collects Gaussj's lines while alive; the default handler comes back after.
struct CapturedLines {
  std::string text;
  CapturedLines() {
    SetGaussjMessageHandler([this](const char* line) { text += line; });
  }
  ~CapturedLines() { SetGaussjMessageHandler(nullptr); }
};

// A row table over a vector, as callers build it.
struct FloatMatrix {
  int n;
  std::vector<float> cells;
  std::vector<float*> rows;
  explicit FloatMatrix(int size, std::vector<float> values = {})
      : n(size), cells(values.empty() ? std::vector<float>(size_t(size) * size) : values), rows(size) {
    for (int i = 0; i < n; ++i) rows[i] = cells.data() + size_t(i) * n;
  }
  float** get() { return rows.data(); }
};

// The solver written out step by step in its plainest form: element swaps,
// every column from k on updated, the pivot row normalised last. The library
// skips work whose result is never read again; its answers must match these
// bit for bit.
bool PlainGaussj(const FloatMatrix& a, const std::vector<float>& b, std::vector<float>& x,
                 std::string& lines) {
  const int n = a.n;
  std::vector<std::vector<double>> g(n, std::vector<double>(n + 1));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) g[i][j] = a.cells[size_t(i) * n + j];
    g[i][n] = b[i];
  }
  bool ok = true;
  for (int k = 0; k < n; ++k) {
    int p = k;
    double best = std::fabs(g[k][k]);
    for (int i = k; i < n; ++i)
      if (std::fabs(g[i][k]) > best) best = std::fabs(g[i][k]), p = i;
    if (best < double(1.0e-30f)) {
      lines += "Gaussj error: Main Element[" + std::to_string(p) + "][" + std::to_string(p) + "]=0!\n";
      g[k][n] = 0;
      ok = false;
      continue;
    }
    if (p != k)
      for (int j = k; j <= n; ++j) std::swap(g[k][j], g[p][j]);
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = g[i][k] / g[k][k];
      for (int j = k; j <= n; ++j) g[i][j] -= f * g[k][j];
    }
    const double piv = g[k][k];
    for (int j = k; j <= n; ++j) g[k][j] /= piv;
  }
  x.resize(n);
  for (int i = 0; i < n; ++i) x[i] = float(g[i][n]);
  return ok;
}

bool SameBits(float a, float b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

// Both sides of the zero-pivot threshold: a tiny non-zero entry names its own
// row, and then column 1 has only row 1, which holds 0.
TEST(GaussjTest, ZeroPivotThreshold) {
  for (float tiny : {1.0e-30f, 1.0e-20f, std::nextafter(1.0e-30f, 0.0f), 1.0e-31f}) {
    FloatMatrix a(2, {0, 1, tiny, 0});
    float b[] = {1, 1}, x[2];
    CapturedLines out;
    EXPECT_EQ(Gaussj(a.get(), b, x, 2), tiny >= 1.0e-30f) << tiny;
    EXPECT_EQ(out.text, tiny >= 1.0e-30f
                            ? ""
                            : "Gaussj error: Main Element[1][1]=0!\nGaussj error: Main Element[1][1]=0!\n");
  }
  EXPECT_TRUE(Gaussj(nullptr, nullptr, nullptr, 0) && Gaussj(nullptr, nullptr, nullptr, -3));  // empty
}

// Small integer entries make ties in the pivot search common, and every fourth
// system has a zero column, so the tie rule, the failure line and the partial
// solution are all exercised against the plain form.
TEST(GaussjTest, MatchesThePlainFormBitForBit) {
  std::mt19937 rng(13);
  std::uniform_int_distribution<int> small(-3, 3);
  std::uniform_real_distribution<float> wide(-100, 100);
  int failures = 0;
  for (int round = 0; round < 600; ++round) {
    const int n = 1 + round % 13;
    const bool ties = round % 2 == 0;
    FloatMatrix a(n);
    std::vector<float> b(n);
    for (float& v : a.cells) v = ties ? float(small(rng)) : wide(rng);
    for (float& v : b) v = ties ? float(small(rng)) : wide(rng);
    if (round % 4 == 1)  // a zero column somewhere: the failure path, part way through
      for (int i = 0, col = int(rng() % n); i < n; ++i) a.cells[size_t(i) * n + col] = 0;
    std::vector<float> want, got(n);
    std::string wantLines;
    const bool wantOk = PlainGaussj(a, b, want, wantLines);
    const std::vector<float> cells = a.cells;
    CapturedLines out;
    EXPECT_EQ(Gaussj(a.get(), b.data(), got.data(), n), wantOk);
    EXPECT_EQ(out.text, wantLines);
    EXPECT_EQ(a.cells, cells);  // the caller's matrix is untouched
    for (int i = 0; i < n; ++i) EXPECT_TRUE(SameBits(got[i], want[i])) << round << " " << i;
    failures += !wantOk;
  }
  EXPECT_GT(failures, 150);  // the singular path was really taken
}

// The fit in its plainest form: every (j, k) summed on its own over the points,
// the full matrix, then the library's solver (pinned above).
bool PlainFit(const std::vector<float>& X, const std::vector<float>& y, int m, bool ends,
              std::vector<float>& c) {
  const int n = int(y.size());
  FloatMatrix a(m);
  std::vector<float> r(m);
  auto w = [&](int i) { return ends && (i == 0 || i == n - 1) ? 30.0 : 1.0; };
  for (int j = 0; j < m; ++j) {
    for (int k = 0; k < m; ++k) {
      double sum = 0;
      for (int i = 0; i < n; ++i) sum += w(i) * X[size_t(i) * m + j] * X[size_t(i) * m + k];
      a.cells[size_t(j) * m + k] = float(sum);
    }
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += w(i) * y[i] * X[size_t(i) * m + j];
    r[j] = float(sum);
  }
  c.assign(m, 0);
  return Gaussj(a.get(), r.data(), c.data(), m);
}

std::vector<float> PowerDesign(const std::vector<float>& x, int m) {
  std::vector<float> X;
  for (float xi : x) {
    float power = 1;
    for (int p = 0; p < m; ++p) X.push_back(power), power *= xi;
  }
  return X;
}

TEST(LinearMatchTest, MatchesThePlainSumsBitForBit) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> u(-3, 3);
  for (int round = 0; round < 80; ++round) {
    const int n = 1 + round % 23, m = 1 + round % 5;
    const bool ends = round % 2 == 1;
    std::vector<float> x(n), y(n), X(size_t(n) * m);
    for (float& v : x) v = u(rng);
    for (float& v : y) v = u(rng);
    for (float& v : X) v = u(rng);
    std::vector<float> want, got(m);
    CapturedLines quiet;  // small n leaves some systems singular
    const bool ok = PlainFit(X, y, m, ends, want);
    EXPECT_EQ((ends ? LinearMatchSE : LinearMatch)(X.data(), y.data(), n, m, got.data()), ok);
    for (int j = 0; j < m; ++j) EXPECT_TRUE(SameBits(got[j], want[j])) << round << " " << j;
    const std::vector<float> P = PowerDesign(x, m);
    PlainFit(P, y, m, ends, want);
    (ends ? MultinomialMatchSE : MultinomialMatch)(x.data(), y.data(), n, m - 1, got.data());
    for (int j = 0; j < m; ++j) EXPECT_TRUE(SameBits(got[j], want[j])) << round << " " << j;
  }
}

TEST(LinearMatchTest, WorkedFitsAndRefusedSizes) {
  // The reference above, checked by hand: weights 30, 1, 30 through (0, 0), (1, 3), (2, 0): 61 c0 + 61 c1 = 3
  // and 61 c0 + 121 c1 = 3, so c = (3/61, 0); unweighted, the middle point pulls c0 to 1.
  float X[] = {1, 0, 1, 1, 1, 2}, y[] = {1, 3, 5}, c[2], x[] = {0, 1, 2}, bump[] = {0, 3, 0};
  EXPECT_TRUE(MultinomialMatchSE(x, bump, 3, 1, c));
  EXPECT_FLOAT_EQ(c[0], 3.0f / 61);
  EXPECT_TRUE(MultinomialMatch(x, bump, 3, 1, c));
  EXPECT_FLOAT_EQ(c[0], 1.0f);
  // Degree 0 is the mean; degree -1 fits nothing; below that, and negative widths, refused.
  EXPECT_TRUE(MultinomialMatch(x, y, 3, 0, c));
  EXPECT_EQ(c[0], 3.0f);
  c[0] = -1;
  EXPECT_TRUE(MultinomialMatch(x, y, 3, -1, c));
  EXPECT_FALSE(MultinomialMatch(x, y, 3, -2, c) || MultinomialMatchSE(x, y, 3, -1000, c) ||
               LinearMatch(X, y, 3, -1, c));
  EXPECT_EQ(c[0], -1.0f);
  // No points: a singular system, reported as such.
  CapturedLines out;
  EXPECT_FALSE(MultinomialMatch(nullptr, nullptr, 0, 1, c));
  EXPECT_NE(out.text, "");

  // A known cubic comes back from exact samples, and within the noise from
  // noisy ones (a plane through LinearMatch likewise).
  std::mt19937 rng(5);
  std::normal_distribution<float> noise(0, 0.01f);
  const float cubic[4] = {1.5f, -2, 0.25f, 0.5f}, plane[3] = {10, 0.5f, -0.25f};
  std::vector<float> xs, exact, noisy, design, heights;
  for (int i = 0; i < 200; ++i) {
    const float xi = -2 + 0.02f * i, yi = (xi * 7.3f) - std::floor(xi * 7.3f) - 0.5f;
    const float v = cubic[0] + xi * (cubic[1] + xi * (cubic[2] + xi * cubic[3]));
    xs.push_back(xi), exact.push_back(v), noisy.push_back(v + noise(rng));
    design.insert(design.end(), {1, xi, yi});
    heights.push_back(plane[0] + plane[1] * xi + plane[2] * yi + noise(rng));
  }
  float got[4];
  ASSERT_TRUE(MultinomialMatch(xs.data(), exact.data(), 200, 3, got));
  for (int p = 0; p < 4; ++p) EXPECT_NEAR(got[p], cubic[p], 1e-4f) << p;
  ASSERT_TRUE(MultinomialMatchSE(xs.data(), noisy.data(), 200, 3, got));
  for (int p = 0; p < 4; ++p) EXPECT_NEAR(got[p], cubic[p], 0.02f) << p;
  ASSERT_TRUE(LinearMatch(design.data(), heights.data(), 200, 3, got));
  for (int p = 0; p < 3; ++p) EXPECT_NEAR(got[p], plane[p], 0.01f) << p;
}

// ---- Nonlinear fits ---------------------------------------------------------------

// y = a0 · exp(−a1 · x); ctx counts the calls.
void Decay(float x, float* y, float* dyda, float* a, int, void* ctx) {
  ++*static_cast<int*>(ctx);
  const float e = std::exp(-a[1] * x);
  *y = a[0] * e;
  dyda[0] = e;
  dyda[1] = -a[0] * x * e;
}

// y = a0 (a constant); used where the best fit lies below zero.
void Constant(float, float* y, float* dyda, float* a, int, void*) {
  *y = a[0];
  dyda[0] = 1;
}

// z = a0 · exp(−|p|² / a1) at the point p; ctx records the points seen.
void Bump(float* p, float* y, float* dyda, float* a, int, void* ctx) {
  static_cast<std::vector<float*>*>(ctx)->push_back(p);
  const float q = p[0] * p[0] + p[1] * p[1], e = std::exp(-q / a[1]);
  *y = a[0] * e;
  dyda[0] = e;
  dyda[1] = a[0] * e * q / (a[1] * a[1]);
}

TEST(NonlinearMatchTest, RecoversModelsFromExactAndNoisyData) {
  std::mt19937 rng(8);
  std::normal_distribution<float> noise(0, 0.01f);
  for (float sigma : {0.0f, 1.0f}) {
    std::vector<float> x, y;
    for (int i = 0; i < 40; ++i)
      x.push_back(i * 0.1f), y.push_back(3 * std::exp(-0.8f * x[i]) + sigma * noise(rng));
    float a[] = {1.0f, 0.3f};
    int calls = 0, status = 99;
    EXPECT_TRUE(NonlinearMatch(x.data(), y.data(), 40, a, 2, Decay, 1e-7f, &calls, &status));
    EXPECT_EQ(status, NONLINEAR_DONE);
    EXPECT_NEAR(a[0], 3.0f, sigma ? 0.02 : 1e-4);
    EXPECT_NEAR(a[1], 0.8f, sigma ? 0.02 : 1e-4);
  }
  // Points of two variables, handed to the model as the caller's own pointers.
  std::vector<float> grid, z;
  for (int i = 0; i < 81; ++i) grid.push_back((i / 9 - 4) * 0.5f), grid.push_back((i % 9 - 4) * 0.5f);
  std::vector<float*> points, seen;
  for (int i = 0; i < 81; ++i) {
    points.push_back(&grid[2 * i]);
    z.push_back(2 * std::exp(-(grid[2 * i] * grid[2 * i] + grid[2 * i + 1] * grid[2 * i + 1]) / 1.5f));
  }
  float a[] = {1.0f, 1.0f};
  EXPECT_TRUE(MNonlinearMatch(points.data(), z.data(), 81, a, 2, Bump, 1e-7f, &seen));
  EXPECT_NEAR(a[0], 2.0f, 1e-4);
  EXPECT_NEAR(a[1], 1.5f, 1e-4);
  seen.resize(81);
  EXPECT_EQ(seen, points);
}

TEST(NonlinearMatchTest, StopsPenaltiesAndRefusals) {
  std::vector<float> x, y, low(10, -5.0f);
  for (int i = 0; i < 10; ++i) x.push_back(float(i)), y.push_back(3.0f * std::exp(-0.8f * i));
  // A start already below tol still takes one trial; accepted, it ends the loop: 2 × 10 calls.
  float a[] = {3.001f, 0.8f};
  int calls = 0, status = 0;
  EXPECT_TRUE(NonlinearMatch(x.data(), y.data(), 10, a, 2, Decay, 0.01f, &calls));
  EXPECT_EQ(calls, 20);
  EXPECT_NE(a[0], 3.001f);
  // The best constant is −5, but each trial below zero costs 100: the fit creeps to 0 from above.
  float level[] = {1.0f};
  EXPECT_TRUE(NonlinearMatch(x.data(), low.data(), 10, level, 1, Constant, 1e-6f, nullptr));
  EXPECT_TRUE(level[0] >= 0 && level[0] < 0.1f) << level[0];
  // Nothing to fit: false with the status, the model never called, the start kept.
  float start[] = {1.0f, 2.0f};
  calls = 0;
  EXPECT_FALSE(NonlinearMatch(x.data(), y.data(), 0, start, 2, Decay, 0.01f, &calls, &status));
  EXPECT_EQ(status, NONLINEAR_BAD_START);
  EXPECT_FALSE(NonlinearMatch(x.data(), y.data(), 10, start, 0, Decay, 0.01f, &calls));
  EXPECT_FALSE(MNonlinearMatch(nullptr, y.data(), 10, start, 2, nullptr, 0.01f, nullptr, &status));
  EXPECT_EQ(status, NONLINEAR_BAD_START);
  EXPECT_TRUE(calls == 0 && start[0] == 1 && start[1] == 2);
}

// ---- Multiple integral -------------------------------------------------------------

// An integrand g that counts its calls; the limits are 0 and 1 (Unit) or 0 and x_(j−1) (Nested).
struct Integrand {
  int calls = 0;
  double (*g)(int, const double*) = nullptr;
  static double Call(int j, double* x, void* ctx) {
    auto* in = static_cast<Integrand*>(ctx);
    ++in->calls;
    return in->g(j, x);
  }
};
double Zero(int, double*, void*) {
  return 0.0;
}
double One(int, double*, void*) {
  return 1.0;
}
double Nested(int j, double* x, void*) {
  return j == 1 ? 1.0 : x[j - 2];
}

TEST(MGaussTest, ClosedFormsAndCounts) {
  Integrand square{0, [](int, const double* x) { return x[0] * x[0]; }};
  int js[] = {1};
  EXPECT_NEAR(MGauss(1, js, Zero, One, Integrand::Call, &square), 1.0 / 3, 1e-9);
  EXPECT_EQ(square.calls, 6);  // the count 1 is raised to 2
  EXPECT_EQ(js[0], 1);         // and the caller's array is left alone
  // Counts taken once: bit 2 adds one, 1 becomes 2; three nodes per subinterval.
  for (const auto& row : {std::pair{2, 9}, {3, 12}, {4, 12}, {5, 15}, {6, 21}, {7, 24}}) {
    Integrand one{0, [](int, const double*) { return 1.0; }};
    int c[] = {row.first};
    EXPECT_NEAR(MGauss(1, c, Zero, One, Integrand::Call, &one), 1.0, 1e-9);
    EXPECT_EQ(one.calls, row.second) << row.first;
  }
  // Nested limits and a factor at every level: ∫0..1 x ∫0..x y ∫0..y z = 1/48, exact for
  // these degrees; the inner count (2 → 3) stays 3 at every outer node.
  Integrand levels{0, [](int j, const double* x) { return x[j - 1]; }};
  int js3[] = {1, 2, 1};
  EXPECT_NEAR(MGauss(3, js3, Zero, Nested, Integrand::Call, &levels), 1.0 / 48, 1e-9);
  EXPECT_EQ(levels.calls, 6 + 6 * 9 + 6 * 9 * 6);
}

TEST(MGaussTest, RefusedInputsCallNothing) {
  Integrand any{0, [](int, const double*) { return 1.0; }};
  int ok[41], zero[] = {2, 0}, negative[] = {-3};
  for (int& c : ok) c = 1;
  for (const auto& [n, js] : {std::pair{0, ok}, {41, ok}, {-1, ok}, {2, zero}, {1, negative}, {1, nullptr}})
    EXPECT_EQ(MGauss(n, js, Zero, One, Integrand::Call, &any), 0.0) << n;
  EXPECT_EQ(MGauss(1, ok, nullptr, One, Integrand::Call, &any), 0.0);
  EXPECT_EQ(any.calls, 0);
}

}  // namespace
