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

void DefaultGaussjMessage(const char* line) { fputs(line, stdout); }

GaussjMessageHandler& MessageHandler() {
  static GaussjMessageHandler handler = DefaultGaussjMessage;
  return handler;
}

// The smallest magnitude Gaussj accepts as a pivot: the single-precision
// constant, widened.
constexpr double kZeroPivot = static_cast<double>(1.0e-30f);

// row[j] −= f · pivotRow[j] for j in [from, to). Two lanes at a time; each lane
// rounds the product and the difference separately, exactly as the scalar form.
inline void SubtractMultiple(double* __restrict row, const double* __restrict pivotRow, double f,
                             int from, int to) {
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
