#include "vdkit/numeric/linear.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "vdkit/numeric/matrix.h"

// Results must match the plain sequence of operations bit for bit, so a − f·b
// is never fused into one rounding.
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace {

void DefaultGaussjMessage(const char* line) {
  fputs(line, stdout);
}

GaussjMessageHandler& MessageHandler() {
  static GaussjMessageHandler handler = DefaultGaussjMessage;
  return handler;
}

// The smallest magnitude Gaussj accepts as a pivot: the single-precision
// constant, widened.
constexpr double kZeroPivot = static_cast<double>(1.0e-30f);

// row[j] −= f · pivotRow[j] for j in [from, to). Two lanes at a time; each lane
// rounds the product and the difference separately, exactly as the scalar form.
inline void SubtractMultiple(double* __restrict row, const double* __restrict pivotRow, double f, int from,
                             int to) {
  for (int j = from; j < to; ++j) row[j] -= f * pivotRow[j];
}

}  // namespace

GaussjMessageHandler SetGaussjMessageHandler(GaussjMessageHandler handler) {
  GaussjMessageHandler previous = std::move(MessageHandler());
  MessageHandler() = handler ? std::move(handler) : GaussjMessageHandler(DefaultGaussjMessage);
  return previous;
}

bool Gaussj(float** a, float* b, float* x, int n) {
  if (n == INT_MAX) return false;  // n + 1 columns do not fit an int
  double** g = static_cast<double**>(StRuCt2(n, n + 1, sizeof(double)));
  if (!g) return false;
  for (int i = 0; i < n; ++i) {
    double* row = g[i];
    const float* src = a[i];
    for (int j = 0; j < n; ++j) row[j] = src[j];
    row[n] = b[i];
  }
  bool ok = true;
  for (int k = 0; k < n; ++k) {
    int p = k;
    double best = std::fabs(g[k][k]);
    for (int i = k + 1; i < n; ++i) {
      const double v = std::fabs(g[i][k]);
      if (v > best) best = v, p = i;
    }
    if (best < kZeroPivot) {
      char line[80];
      snprintf(line, sizeof line, "Gaussj error: Main Element[%i][%i]=0!\n", p, p);
      MessageHandler()(line);
      g[k][n] = 0.0;
      ok = false;
      continue;
    }
    // Swapping the row pointers moves columns below k as well; nothing reads
    // them again, as nothing reads column k of other rows after this step.
    if (p != k) std::swap(g[k], g[p]);
    double* pivotRow = g[k];
    const double pivot = pivotRow[k];
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      double* row = g[i];
      SubtractMultiple(row, pivotRow, row[k] / pivot, k + 1, n + 1);
    }
    for (int j = k + 1; j <= n; ++j) pivotRow[j] /= pivot;
  }
  for (int i = 0; i < n; ++i) x[i] = static_cast<float>(g[i][n]);
  free(g);
  return ok;
}

namespace {

// Sums the normal equations of a weighted least-squares fit over n points and
// solves them. rowOf(i) answers the m design values of point i. Each term
// w · X(i, j) · X(i, k) is exact in double (a weight of 1 or 30 and two
// floats), so the sum for (j, k) equals the sum for (k, j) bit for bit and
// only one triangle is summed. Points run in the outer loop, which keeps each
// sum's order (point 0 first) and reads every design row once.
template <class RowOf>
bool SolveNormalEquations(int n, int m, const float* y, bool heavyEnds, RowOf rowOf, float* c) {
  if (m < 0 || m == INT_MAX) return false;
  float** a = static_cast<float**>(StRuCt2(m, m, sizeof(float)));
  float* r = static_cast<float*>(StRuCt1(m, sizeof(float)));
  double** sums = static_cast<double**>(StRuCt2(m + 1, m, sizeof(double)));  // last row: r's
  bool ok = a && r && sums;
  if (ok) {
    double* rsum = sums[m];
    for (int i = 0; i < n; ++i) {
      const float* row = rowOf(i);
      const double w = heavyEnds && (i == 0 || i == n - 1) ? 30.0 : 1.0;
      const double wy = w * y[i];
      for (int j = 0; j < m; ++j) {
        const double wx = w * row[j];
        double* s = sums[j];
        for (int k = 0; k <= j; ++k) s[k] += wx * row[k];
        rsum[j] += wy * row[j];
      }
    }
    for (int j = 0; j < m; ++j) {
      for (int k = 0; k <= j; ++k) a[j][k] = a[k][j] = static_cast<float>(sums[j][k]);
      r[j] = static_cast<float>(rsum[j]);
    }
    ok = Gaussj(a, r, c, m);
  }
  free(sums);
  free(r);
  free(a);
  return ok;
}

bool FitDesign(float* X, float* y, int n, int m, float* c, bool heavyEnds) {
  const size_t width = m > 0 ? size_t(m) : 0;
  return SolveNormalEquations(
      n, m, y, heavyEnds, [=](int i) { return X + size_t(i) * width; }, c);
}

// The design rows of a polynomial are made one at a time instead of as one
// n × (d + 1) array: the values are the same, the memory is not needed.
bool FitPolynomial(float* x, float* y, int n, int d, float* c, bool heavyEnds) {
  if (d < -1) return false;
  const int m = d + 1;
  float* row = static_cast<float*>(StRuCt1(m, sizeof(float)));
  if (!row) return false;
  const bool ok = SolveNormalEquations(
      n, m, y, heavyEnds,
      [=](int i) {
        const float xi = x[i];
        float power = 1.0f;
        for (int p = 0; p < m; ++p, power *= xi) row[p] = power;
        return row;
      },
      c);
  free(row);
  return ok;
}

}  // namespace

bool LinearMatch(float* X, float* y, int n, int m, float* c) {
  return FitDesign(X, y, n, m, c, false);
}
bool LinearMatchSE(float* X, float* y, int n, int m, float* c) {
  return FitDesign(X, y, n, m, c, true);
}
bool MultinomialMatch(float* x, float* y, int n, int d, float* c) {
  return FitPolynomial(x, y, n, d, c, false);
}
bool MultinomialMatchSE(float* x, float* y, int n, int d, float* c) {
  return FitPolynomial(x, y, n, d, c, true);
}
