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

bool SameBits(float a, float b) { return memcmp(&a, &b, sizeof a) == 0; }

TEST(GaussjTest, SmallSystemsPivotsAndZeroColumns) {
  {  // A swap: x = (3, 2); x may be b itself.
    FloatMatrix a(2, {0, 1, 1, 0});
    float b[] = {2, 3};
    EXPECT_TRUE(Gaussj(a.get(), b, b, 2));
    EXPECT_EQ(b[0], 3.0f);
    EXPECT_EQ(b[1], 2.0f);
    EXPECT_EQ(a.cells, (std::vector<float>{0, 1, 1, 0}));  // the caller's matrix is untouched
  }
  {  // Column 0 all zero: one line naming the starting row, false, x still written.
    CapturedLines out;
    FloatMatrix a(2, {0, 1, 0, 2});
    float b[] = {4, 6}, x[] = {-1, -1};
    EXPECT_FALSE(Gaussj(a.get(), b, x, 2));
    EXPECT_EQ(out.text, "Gaussj error: Main Element[0][0]=0!\n");
    // Column 0 is left alone (b[0] set to 0); column 1 pivots on row 1 (2 > 1): x1 = 3, x0 = 0 − 1·3.
    EXPECT_EQ(x[0], -3.0f);
    EXPECT_EQ(x[1], 3.0f);
  }
  {  // Both sides of the zero-pivot threshold; a tiny non-zero entry names its own row.
    CapturedLines out;
    const float below = std::nextafter(1.0e-30f, 0.0f);
    for (float tiny : {1.0e-30f, 1.0e-20f}) {
      FloatMatrix a(2, {0, 1, tiny, 0});
      float b[] = {1, 1};
      EXPECT_TRUE(Gaussj(a.get(), b, b, 2)) << tiny;
    }
    EXPECT_EQ(out.text, "");
    for (float tiny : {below, 1.0e-31f}) {
      FloatMatrix a(2, {0, 1, tiny, 0});
      float b[] = {1, 1};
      out.text.clear();
      EXPECT_FALSE(Gaussj(a.get(), b, b, 2)) << tiny;
      // Column 0 stops at row 1; column 1 then has only row 1, which holds 0.
      EXPECT_EQ(out.text, "Gaussj error: Main Element[1][1]=0!\nGaussj error: Main Element[1][1]=0!\n");
    }
  }
  {  // An empty system solves trivially and touches nothing.
    CapturedLines out;
    EXPECT_TRUE(Gaussj(nullptr, nullptr, nullptr, 0));
    EXPECT_TRUE(Gaussj(nullptr, nullptr, nullptr, -3));
    EXPECT_EQ(out.text, "");
  }
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
    CapturedLines out;
    EXPECT_EQ(Gaussj(a.get(), b.data(), got.data(), n), wantOk);
    EXPECT_EQ(out.text, wantLines);
    for (int i = 0; i < n; ++i) EXPECT_TRUE(SameBits(got[i], want[i])) << round << " " << i;
    failures += !wantOk;
  }
  EXPECT_GT(failures, 150);  // the singular path was really taken
}

// Diagonally dominant systems up to 60 unknowns: the answer satisfies the
// system to single precision, checked in long double.
TEST(GaussjTest, SolvesWellConditionedSystems) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int n : {1, 2, 7, 11, 31, 60}) {
    FloatMatrix a(n);
    std::vector<float> b(n), x(n);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) a.cells[size_t(i) * n + j] = u(rng);
      a.cells[size_t(i) * n + i] += float(n);
      b[i] = 10 * u(rng);
    }
    ASSERT_TRUE(Gaussj(a.get(), b.data(), x.data(), n));
    for (int i = 0; i < n; ++i) {
      long double sum = 0, scale = std::fabs(b[i]);
      for (int j = 0; j < n; ++j) {
        sum += (long double)a.cells[size_t(i) * n + j] * x[j];
        scale += std::fabs((long double)a.cells[size_t(i) * n + j] * x[j]);
      }
      EXPECT_LE(std::fabs(sum - b[i]), 4e-7L * scale) << n << " " << i;
    }
  }
}

}  // namespace
