// First, so that every function in this file, inline ones included, computes alike.
#include "vdkit/numeric/exact_internal.h"

#include "vdkit/numeric/linear.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "vdkit/numeric/matrix.h"

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

// Gauss-Jordan on the n × (n + 1) work rows g; false after a zero pivot.
VDKIT_VECTOR_CLONES bool EliminateGaussJordan(double** g, int n) {
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
    const double* __restrict pivotRow = g[k];
    const double pivot = pivotRow[k];
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      double* __restrict row = g[i];
      const double f = row[k] / pivot;
      for (int j = k + 1; j <= n; ++j) row[j] -= f * pivotRow[j];
    }
    for (int j = k + 1; j <= n; ++j) g[k][j] /= pivot;
  }
  return ok;
}

}  // namespace

GaussjMessageHandler SetGaussjMessageHandler(GaussjMessageHandler handler) {
  GaussjMessageHandler previous = std::move(MessageHandler());
  MessageHandler() = handler ? std::move(handler) : GaussjMessageHandler(DefaultGaussjMessage);
  return previous;
}

bool Gaussj(float** a, float* b, float* x, int n) {
  if (n < 1) return true;          // an empty system: no work array either
  if (n == INT_MAX) return false;  // n + 1 columns do not fit an int
  double** g = static_cast<double**>(StRuCt2(n, n + 1, sizeof(double)));
  if (!g) return false;
  for (int i = 0; i < n; ++i) {
    double* row = g[i];
    const float* src = a[i];
    for (int j = 0; j < n; ++j) row[j] = src[j];
    row[n] = b[i];
  }
  const bool ok = EliminateGaussJordan(g, n);
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

// ---- Levenberg-Marquardt --------------------------------------------------------

namespace {

// One evaluation of the model at every point for parameters a: the curvature
// matrix α (ma × ma), the gradient β and the root-mean-square residual r. The
// terms are products of two floats, exact in double; the sums run in double
// and are stored as floats.
template <class Model>
bool CoefficientStep(int N, const float* y, float* a, int ma, Model& model, float** alpha, float* beta,
                     float* r) {
  if (N < 1 || ma < 1 || ma == INT_MAX) return false;  // no residual to form
  float* dyda = static_cast<float*>(StRuCt1(ma, sizeof(float)));
  double** sums = static_cast<double**>(StRuCt2(ma + 1, ma, sizeof(double)));  // last row: β's
  const bool ok = dyda && sums;
  if (ok) {
    double* bsum = sums[ma];
    double rsum = 0.0;
    for (int i = 0; i < N; ++i) {
      float yhat = 0.0f;
      model(i, &yhat, dyda, a, ma);
      const float d = y[i] - yhat;
      for (int j = 0; j < ma; ++j) {
        const double dj = dyda[j];
        double* s = sums[j];
        for (int k = 0; k <= j; ++k) s[k] += dj * dyda[k];
        bsum[j] += double(d) * dj;
      }
      rsum += double(d) * d;
    }
    for (int j = 0; j < ma; ++j) {
      for (int k = 0; k <= j; ++k) alpha[j][k] = alpha[k][j] = static_cast<float>(sums[j][k]);
      beta[j] = static_cast<float>(bsum[j]);
    }
    *r = static_cast<float>(std::sqrt(rsum / N));
  }
  free(sums);
  free(dyda);
  return ok;
}

template <class Model>
int LevenbergMarquardt(int N, const float* y, float* a, int ma, float tol, Model model) {
  if (ma < 1 || N < 1) return NONLINEAR_BAD_START;
  float* t = static_cast<float*>(StRuCt1(ma, sizeof(float)));
  float* beta = static_cast<float*>(StRuCt1(ma, sizeof(float)));
  float* delta = static_cast<float*>(StRuCt1(ma, sizeof(float)));
  float** C = static_cast<float**>(StRuCt2(ma, ma, sizeof(float)));
  float** alpha = static_cast<float**>(StRuCt2(ma, ma, sizeof(float)));
  int status = NONLINEAR_DONE;
  float lambda = 0.001f, r = 0.0f;
  if (!t || !beta || !delta || !C || !alpha) {
    status = NONLINEAR_NO_MEMORY;
  } else if (!CoefficientStep(N, y, a, ma, model, alpha, beta, &r)) {
    status = NONLINEAR_BAD_START;
  } else {
    float r0 = r;
    std::copy(a, a + ma, t);
    for (int pass = 0; pass < 100; ++pass) {
      for (int j = 0; j < ma; ++j) {
        std::copy(alpha[j], alpha[j] + ma, C[j]);
        C[j][j] = static_cast<float>((lambda + 1.0) * alpha[j][j]);
      }
      std::copy(beta, beta + ma, delta);
      if (!Gaussj(C, delta, delta, ma)) break;
      for (int j = 0; j < ma; ++j) t[j] = a[j] + delta[j];
      if (!CoefficientStep(N, y, t, ma, model, C, delta, &r)) {
        status = NONLINEAR_STEP_FAILED;
        break;
      }
      for (int j = 0; j < ma; ++j)
        if (t[j] < 0) r = static_cast<float>(r + 100.0);
      if (r < r0) {
        lambda = static_cast<float>(lambda * 0.1);
        for (int j = 0; j < ma; ++j) std::copy(C[j], C[j] + ma, alpha[j]);
        std::copy(delta, delta + ma, beta);
        std::copy(t, t + ma, a);
        if (r < tol) break;
        r0 = r;
      } else {
        lambda = static_cast<float>(lambda * 10.0);
        r = r0;
        if (lambda > 1.0e10) break;
      }
    }
  }
  free(alpha);
  free(C);
  free(delta);
  free(beta);
  free(t);
  return status;
}

bool Report(int status, int* out) {
  if (out) *out = status;
  return status == NONLINEAR_DONE;
}

}  // namespace

bool NonlinearMatch(float* x, float* y, int N, float* a, int ma, NonlinearModel model, float tol, void* ctx,
                    int* status) {
  if (!model) return Report(NONLINEAR_BAD_START, status);
  return Report(LevenbergMarquardt(N, y, a, ma, tol,
                                   [=](int i, float* yhat, float* dyda, float* p, int n) {
                                     model(x[i], yhat, dyda, p, n, ctx);
                                   }),
                status);
}

bool NonlinearMatch(float* x, float* y, int N, float* a, int ma, NonlinearModel model, float tol, void* ctx) {
  return NonlinearMatch(x, y, N, a, ma, model, tol, ctx, nullptr);
}

bool MNonlinearMatch(float** x, float* y, int N, float* a, int ma, MNonlinearModel model, float tol,
                     void* ctx, int* status) {
  if (!model) return Report(NONLINEAR_BAD_START, status);
  return Report(LevenbergMarquardt(N, y, a, ma, tol,
                                   [=](int i, float* yhat, float* dyda, float* p, int n) {
                                     model(x[i], yhat, dyda, p, n, ctx);
                                   }),
                status);
}

bool MNonlinearMatch(float** x, float* y, int N, float* a, int ma, MNonlinearModel model, float tol,
                     void* ctx) {
  return MNonlinearMatch(x, y, N, a, ma, model, tol, ctx, nullptr);
}

// ---- Gauss-Legendre multiple integral -------------------------------------------

double MGauss(int n, int* js, MGaussFunction lo, MGaussFunction hi, MGaussFunction f, void* ctx) {
  constexpr int kMaxDims = 40;
  if (n < 1 || n > kMaxDims || !js || !lo || !hi || !f) return 0.0;
  static const double kNode[3] = {-0.7745966692, 0.0, 0.7745966692};
  static const double kWeight[3] = {0.5555555556, 0.8888888889, 0.5555555556};
  const double kFirstOffset = 0.3872983346;

  // Per dimension j = 1 … n: node k, subinterval c of count, step h, lower
  // limit L, midpoint M; S[j − 1] sums level j. S[n] and h[n + 1] are 1.
  long long count[kMaxDims + 1], c[kMaxDims + 1];
  int k[kMaxDims + 1];
  double h[kMaxDims + 2], L[kMaxDims + 1], M[kMaxDims + 1], S[kMaxDims + 1];
  double x[kMaxDims] = {};
  for (int j = 1; j <= n; ++j) {
    const long long given = js[j - 1];
    if (given < 1) return 0.0;
    count[j] = (given & 2) ? given + 1 : given < 2 ? 2 : given;
  }
  h[n + 1] = 1.0;
  S[n] = 1.0;
  auto setUp = [&](int from) {
    for (int j = from; j <= n; ++j) {
      const double lower = lo(j, x, ctx), upper = hi(j, x, ctx);
      h[j] = (upper - lower) / double(count[j]);
      M[j] = lower + h[j] / 2;
      x[j - 1] = M[j] - kFirstOffset * h[j];
      k[j] = 1;
      c[j] = 1;
      S[j - 1] = 0.0;
      L[j] = lower;
    }
  };
  setUp(1);
  for (int j = n;;) {
    S[j - 1] += f(j, x, ctx) * kWeight[k[j] - 1] * h[j + 1] * S[j];
    if (k[j] < 3) {
      ++k[j];
      x[j - 1] = M[j] + kNode[k[j] - 1] * h[j] * 0.5;
    } else if (c[j] < count[j]) {
      ++c[j];
      k[j] = 1;
      M[j] = (double(c[j]) - 0.5) * h[j] + L[j];
      x[j - 1] = M[j] - kFirstOffset * h[j];
    } else {
      if (--j == 0) break;
      continue;  // fold the finished inner sum in at this level's current node
    }
    if (j != n) {
      setUp(j + 1);
      j = n;
    }
  }
  double scale = 1.0;
  for (int j = 0; j < n; ++j) scale *= 0.5;
  return scale * h[1] * S[0];
}
