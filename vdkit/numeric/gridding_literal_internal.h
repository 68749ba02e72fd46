// The gridding algorithms written out in their plainest form: every sample
// scanned for every node, a fresh system per node, powers recomputed per term.
// The tests check the library against these bit for bit and the benchmarks
// time them; nothing in the library uses them. Not installed.
//
// They include the library's mends: samples with a non-finite x or y take no
// part, kriging at a non-finite node with two or more candidates gives NaN,
// kriging work arrays are 11 x 11, and a negative trend order is refused.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "vdkit/geometry/predicates.h"
#include "vdkit/numeric/linear.h"

namespace gridding_literal {

inline double Dist2(float x, float y, float qx, float qy) {
  const double dx = double(x) - double(qx), dy = double(y) - double(qy);
  return dx * dx + dy * dy;
}

inline float Cov(double d2, float alpha) {
  const float h = float(std::sqrt(d2));
  return h >= 1.0e-5f ? float(9999.0 - std::pow(double(h), double(alpha))) : 9999.0f;
}

inline bool Used(float x, float y, const float* px, const float* py, int np) {
  return std::isfinite(x) && std::isfinite(y) && (np <= 0 || PtInRgn(x, y, px, py, np));
}

// Row table over owned cells, as Gaussj takes it.
struct Table {
  std::vector<float> cells;
  std::vector<float*> rows;
  Table(int r, int c) : cells(size_t(r) * c), rows(r) {
    for (int i = 0; i < r; ++i) rows[i] = cells.data() + size_t(i) * c;
  }
};

// The candidates of a node (used samples, in sample order) after the exchange
// selection: ids[0 ... K - 1] are the neighbours. Answers the candidate count.
inline int Select(const float* x, const float* y, const std::vector<char>& used, int n, float qx, float qy,
                  std::vector<double>& d, std::vector<int>& ids) {
  d.clear();
  ids.clear();
  for (int i = 0; i < n; ++i)
    if (used[i]) d.push_back(Dist2(x[i], y[i], qx, qy)), ids.push_back(i);
  const int m = int(d.size());
  for (int p = 0; p < m && p < 10; ++p)
    for (int q = p + 1; q < m; ++q)
      if (d[p] > d[q]) std::swap(d[p], d[q]), std::swap(ids[p], ids[q]);
  return m;
}

// One kriging estimate from the neighbours ids[0 ... k - 1]; false when the
// node gets nothing (no candidate).
inline bool Krige(const float* x, const float* y, const float* z, const std::vector<int>& ids, int m,
                  float qx, float qy, float alpha, float* out, int64_t* singular) {
  if (m == 0) return false;
  if (m == 1) return *out = z[ids[0]], true;
  if (!std::isfinite(qx) || !std::isfinite(qy)) return *out = std::numeric_limits<float>::quiet_NaN(), true;
  const int k = std::min(m, 10);
  Table a(11, 11);
  std::vector<float> b(11);
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < k; ++j) a.rows[i][j] = Cov(Dist2(x[ids[i]], y[ids[i]], x[ids[j]], y[ids[j]]), alpha);
    a.rows[i][k] = 9999.0f;
    a.rows[k][i] = 9999.0f;
    b[i] = Cov(Dist2(x[ids[i]], y[ids[i]], qx, qy), alpha);
  }
  a.rows[k][k] = 0;
  b[k] = 9999.0f;
  if (!Gaussj(a.rows.data(), b.data(), b.data(), k + 1)) return ++*singular, *out = 0.0f, true;
  double sum = 0;
  for (int i = 0; i < k; ++i) sum += double(b[i]) * double(z[ids[i]]);
  *out = float(sum);
  return true;
}

struct Split {
  std::vector<float> x, y, z;
  explicit Split(const SFloat3D* s, int n) {
    for (int i = 0; i < n; ++i) x.push_back(s[i].x), y.push_back(s[i].y), z.push_back(s[i].z);
  }
};

inline void KrigePoints(const SFloat3D* s, int n, SFloat3D* t, int m, float blank, float alpha,
                        int64_t* singular) {
  const Split v(s, n);
  std::vector<char> used(n);
  for (int i = 0; i < n; ++i) used[i] = Used(v.x[i], v.y[i], nullptr, nullptr, 0);
  std::vector<double> d;
  std::vector<int> ids;
  for (int j = 0; j < m; ++j) {
    const int c = Select(v.x.data(), v.y.data(), used, n, t[j].x, t[j].y, d, ids);
    if (!Krige(v.x.data(), v.y.data(), v.z.data(), ids, c, t[j].x, t[j].y, alpha, &t[j].z, singular))
      t[j].z = blank;
  }
}

inline void KrigeGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                      const float* gy, int ny, float* const* grid, float alpha, const float* px,
                      const float* py, int np, int64_t* singular) {
  std::vector<char> used(n);
  for (int i = 0; i < n; ++i) used[i] = Used(x[i], y[i], px, py, np);
  std::vector<double> d;
  std::vector<int> ids;
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      if (np > 0 && !PtInRgn(gx[c], gy[r], px, py, np)) continue;
      const int m = Select(x, y, used, n, gx[c], gy[r], d, ids);
      Krige(x, y, z, ids, m, gx[c], gy[r], alpha, &grid[r][c], singular);
    }
}

// One target from every used sample.
inline void KrigeAll(const SFloat3D* s, int n, SFloat3D* t, float alpha, int64_t* singular) {
  std::vector<SFloat3D> u;
  for (int i = 0; i < n; ++i)
    if (Used(s[i].x, s[i].y, nullptr, nullptr, 0)) u.push_back(s[i]);
  const int k = int(u.size());
  if (k >= 2 && (!std::isfinite(t->x) || !std::isfinite(t->y))) {
    t->z = std::numeric_limits<float>::quiet_NaN();
    return;
  }
  Table a(k + 1, k + 1);
  std::vector<float> b(k + 1);
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < k; ++j) a.rows[i][j] = Cov(Dist2(u[i].x, u[i].y, u[j].x, u[j].y), alpha);
    a.rows[i][k] = a.rows[k][i] = 9999.0f;
    b[i] = Cov(Dist2(u[i].x, u[i].y, t->x, t->y), alpha);
  }
  b[k] = 9999.0f;
  if (!Gaussj(a.rows.data(), b.data(), b.data(), k + 1)) {
    ++*singular;
    t->z = 0.0f;
    return;
  }
  double sum = 0;
  for (int i = 0; i < k; ++i) sum += double(b[i]) * double(u[i].z);
  t->z = float(sum);
}

inline float Idw(const float* x, const float* y, const float* z, const std::vector<char>& used, int n,
                 float qx, float qy) {
  double num = double(1.0e-30f), den = double(1.0e-30f);
  for (int i = 0; i < n; ++i) {
    if (!used[i]) continue;
    const double w = 1 / (std::sqrt(Dist2(x[i], y[i], qx, qy)) + 1.0e-20);
    den += w;
    num += w * z[i];
  }
  return float(num / den);
}

inline void IdwPoints(const SFloat3D* s, int n, SFloat3D* t, int m) {
  const Split v(s, n);
  std::vector<char> used(n);
  for (int i = 0; i < n; ++i) used[i] = Used(v.x[i], v.y[i], nullptr, nullptr, 0);
  for (int j = 0; j < m; ++j) t[j].z = Idw(v.x.data(), v.y.data(), v.z.data(), used, n, t[j].x, t[j].y);
}

inline void IdwGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                    const float* gy, int ny, float* const* grid, const float* px, const float* py, int np) {
  std::vector<char> used(n);
  for (int i = 0; i < n; ++i) used[i] = Used(x[i], y[i], px, py, np);
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c)
      if (np <= 0 || PtInRgn(gx[c], gy[r], px, py, np)) grid[r][c] = Idw(x, y, z, used, n, gx[c], gy[r]);
}

// Trend terms at (x, y), each pow(x, i) * pow(y, j) rounded to float.
inline void Terms(float x, float y, int order, std::vector<float>& t) {
  t.clear();
  for (int p = 0; p <= order; ++p)
    for (int q = 0; q <= p; ++q) t.push_back(float(std::pow(double(x), p - q) * std::pow(double(y), q)));
}

// Fits the trend; false when the order is negative or the equations are singular.
inline bool FitTrend(const float* x, const float* y, const float* z, int n, int order, const float* px,
                     const float* py, int np, std::vector<float>& r) {
  if (order < 0) return false;
  const int m = (order + 1) * (order + 2) / 2;
  Table a(m, m);
  r.assign(m, 0.0f);
  std::vector<float> t;
  for (int s = 0; s < n; ++s) {
    if (!std::isfinite(x[s]) || !std::isfinite(y[s]) || !PtInRgn(x[s], y[s], px, py, np)) continue;
    Terms(x[s], y[s], order, t);
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < m; ++j) a.rows[i][j] = float(double(a.rows[i][j]) + double(t[i]) * double(t[j]));
      r[i] = float(double(r[i]) + double(z[s]) * double(t[i]));
    }
  }
  return Gaussj(a.rows.data(), r.data(), r.data(), m);
}

inline float TrendAt(const std::vector<float>& r, int order, float x, float y) {
  std::vector<float> t;
  Terms(x, y, order, t);
  double sum = 0;
  for (size_t i = 0; i < t.size(); ++i) sum += double(r[i]) * double(t[i]);
  return float(sum);
}

inline bool TrendPoints(const SFloat3D* s, int n, SFloat3D* t, int m, int order) {
  const Split v(s, n);
  std::vector<float> r;
  if (n < 1 || !FitTrend(v.x.data(), v.y.data(), v.z.data(), n, order, nullptr, nullptr, 0, r)) return false;
  for (int j = 0; j < m; ++j) t[j].z = TrendAt(r, order, t[j].x, t[j].y);
  return true;
}

inline bool TrendGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                      const float* gy, int ny, float* const* grid, int order, const float* px,
                      const float* py, int np) {
  std::vector<float> r;
  if (n < 1 || !FitTrend(x, y, z, n, order, px, py, np, r)) return false;
  for (int row = 0; row < ny; ++row)
    for (int c = 0; c < nx; ++c)
      if (PtInRgn(gx[c], gy[row], px, py, np)) grid[row][c] = TrendAt(r, order, gx[c], gy[row]);
  return true;
}

}  // namespace gridding_literal
