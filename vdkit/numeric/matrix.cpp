// First, so that every function in this file, inline ones included, computes alike.
#include "vdkit/numeric/exact_internal.h"

#include "vdkit/numeric/matrix.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// Sizes are formed in size_t and checked, so dimensions whose product
// overflows give null instead of a short block that the caller overruns.
size_t Dim(int n) {
  return n < 1 ? 1 : static_cast<size_t>(n);
}

bool Mul(size_t a, size_t b, size_t* out) {
  return !__builtin_mul_overflow(a, b, out);
}
bool Add(size_t a, size_t b, size_t* out) {
  return !__builtin_add_overflow(a, b, out);
}

// malloc refuses nothing below SIZE_MAX, but no object may exceed PTRDIFF_MAX.
char* ZeroedBlock(size_t bytes) {
  if (bytes > static_cast<size_t>(PTRDIFF_MAX)) return nullptr;
  return static_cast<char*>(calloc(1, bytes));
}

}  // namespace

extern "C" {

void* StRuCt1(int count, int size) {
  size_t bytes;
  if (size < 1 || !Mul(Dim(count), static_cast<size_t>(size), &bytes)) return nullptr;
  return ZeroedBlock(bytes);
}

void* StRuCt2(int rows, int cols, int size) {
  if (size < 1) return nullptr;
  const size_t r = Dim(rows);
  size_t stride, data, table, bytes;
  if (!Mul(Dim(cols), static_cast<size_t>(size), &stride) || !Mul(stride, r, &data) ||
      !Mul(r, sizeof(void*), &table) || !Add(table, data, &bytes))
    return nullptr;
  char* block = ZeroedBlock(bytes);
  if (!block) return nullptr;
  char** ptrs = reinterpret_cast<char**>(block);
  char* row = block + table;
  for (size_t i = 0; i < r; ++i, row += stride) ptrs[i] = row;
  return block;
}

void* StRuCt3(int d0, int d1, int d2, int size) {
  if (size < 1) return nullptr;
  const size_t n0 = Dim(d0), n1 = Dim(d1);
  size_t stride, pairs, tables, data, bytes;
  if (!Mul(Dim(d2), static_cast<size_t>(size), &stride) || !Mul(n0, n1, &pairs) ||
      !Mul(n0 + pairs, sizeof(void*), &tables) || !Mul(stride, pairs, &data) || !Add(tables, data, &bytes))
    return nullptr;
  char* block = ZeroedBlock(bytes);
  if (!block) return nullptr;
  char*** first = reinterpret_cast<char***>(block);
  char** second = reinterpret_cast<char**>(block) + n0;
  char* row = block + tables;
  for (size_t i = 0; i < n0; ++i) first[i] = second + i * n1;
  for (size_t k = 0; k < pairs; ++k, row += stride) second[k] = row;
  return block;
}

void* DiMeNs2(void* data, int rows, int cols, int size) {
  if (!data || size < 1) return nullptr;
  const size_t r = Dim(rows);
  size_t stride, table;
  if (!Mul(Dim(cols), static_cast<size_t>(size), &stride) || !Mul(r, sizeof(void*), &table)) return nullptr;
  char** ptrs = reinterpret_cast<char**>(ZeroedBlock(table));
  if (!ptrs) return nullptr;
  // Addresses are formed as integers: the caller's block may be shorter than
  // the table spans when the caller does not mean to touch every row.
  const uintptr_t base = reinterpret_cast<uintptr_t>(data);
  for (size_t i = 0; i < r; ++i) ptrs[i] = reinterpret_cast<char*>(base + i * stride);
  return ptrs;
}

void* DiMeNs3(void* data, int d0, int d1, int d2, int size) {
  if (!data || size < 1) return nullptr;
  const size_t n0 = Dim(d0), n1 = Dim(d1);
  size_t stride, pairs, table;
  if (!Mul(Dim(d2), static_cast<size_t>(size), &stride) || !Mul(n0, n1, &pairs) ||
      !Mul(n0 + pairs, sizeof(void*), &table))
    return nullptr;
  char* block = ZeroedBlock(table);
  if (!block) return nullptr;
  char*** first = reinterpret_cast<char***>(block);
  char** second = reinterpret_cast<char**>(block) + n0;
  const uintptr_t base = reinterpret_cast<uintptr_t>(data);
  for (size_t i = 0; i < n0; ++i) first[i] = second + i * n1;
  for (size_t k = 0; k < pairs; ++k) second[k] = reinterpret_cast<char*>(base + k * stride);
  return block;
}

}  // extern "C"

// ---- CMatrixd -----------------------------------------------------------------
// Storage is one StRuCt2 block: the row table, then the rows back to back.
// Row swaps exchange table entries, so after pivoting the rows no longer lie
// in table order; nothing depends on that.

namespace {

int NonNegative(int n) {
  return n < 0 ? 0 : n;
}

}  // namespace

CMatrixd::CMatrixd(int rows, int cols) {
  realloc(NonNegative(rows), NonNegative(cols));
}

CMatrixd::CMatrixd(const CMatrixd& other) {
  if (!realloc(other.m_nRows, other.m_nCols)) return;
  for (int i = 0; i < StoredRows(); ++i)
    std::copy(other.m_ppData[i], other.m_ppData[i] + m_nCols, m_ppData[i]);
}

CMatrixd::CMatrixd(CMatrixd&& other) noexcept
    : m_ppData(std::exchange(other.m_ppData, nullptr)),
      m_nRows(std::exchange(other.m_nRows, 0)),
      m_nCols(std::exchange(other.m_nCols, 0)),
      m_nAllocRows(std::exchange(other.m_nAllocRows, 0)),
      m_nAllocCols(std::exchange(other.m_nAllocCols, 0)) {}

CMatrixd::~CMatrixd() {
  Release();
}

void CMatrixd::Release() {
  free(m_ppData);
  m_ppData = nullptr;
  m_nRows = m_nCols = m_nAllocRows = m_nAllocCols = 0;
}

CMatrixd& CMatrixd::operator=(const CMatrixd& other) {
  if (this == &other) return *this;
  if ((m_nRows != other.m_nRows || m_nCols != other.m_nCols) && !realloc(other.m_nRows, other.m_nCols))
    return *this;
  for (int i = 0; i < StoredRows(); ++i)
    std::copy(other.m_ppData[i], other.m_ppData[i] + m_nCols, m_ppData[i]);
  return *this;
}

CMatrixd& CMatrixd::operator=(CMatrixd&& other) noexcept {
  if (this != &other) {
    Release();
    std::swap(m_ppData, other.m_ppData);
    std::swap(m_nRows, other.m_nRows);
    std::swap(m_nCols, other.m_nCols);
    std::swap(m_nAllocRows, other.m_nAllocRows);
    std::swap(m_nAllocCols, other.m_nAllocCols);
  }
  return *this;
}

bool CMatrixd::realloc(int rows, int cols) {
  if (rows == m_nAllocRows && cols == m_nAllocCols) {
    m_nRows = rows;
    m_nCols = cols;
    return true;
  }
  double** data = nullptr;
  if (rows > 0 && cols > 0) {
    data = static_cast<double**>(StRuCt2(rows, cols, sizeof(double)));
    if (!data) {
      Release();
      return false;
    }
    const int keepCols = std::min(m_nCols, cols);
    for (int i = 0, n = std::min(StoredRows(), rows); i < n; ++i)
      std::copy(m_ppData[i], m_ppData[i] + keepCols, data[i]);
  }
  free(m_ppData);
  m_ppData = data;
  m_nRows = m_nAllocRows = rows;
  m_nCols = m_nAllocCols = cols;
  return true;
}

void CMatrixd::SetSize(int rows, int cols) {
  rows = NonNegative(rows);
  cols = NonNegative(cols);
  if (rows == m_nRows && cols == m_nCols) return;
  // Held storage may reach past the logical size (after Unit()); the rule
  // that elements outside the old size are 0 needs a fresh block.
  CMatrixd fresh(rows, cols);
  const int keepCols = std::min(m_nCols, fresh.m_nCols);
  for (int i = 0, n = std::min(StoredRows(), fresh.StoredRows()); i < n; ++i)
    std::copy(m_ppData[i], m_ppData[i] + keepCols, fresh.m_ppData[i]);
  *this = std::move(fresh);
}

int CMatrixd::pivot(int k) {
  double best = -1.0;
  int p = k;
  for (int i = k; i < m_nRows; ++i) {
    const double a = std::fabs(m_ppData[i][k]);
    if (a > best && a != 0.0) best = a, p = i;
  }
  if (m_ppData[p][k] == 0.0) return -1;
  if (p == k) return 0;
  std::swap(m_ppData[p], m_ppData[k]);
  return p;
}

// ---- Filling

void CMatrixd::Null(const int& rows, const int& cols) {
  const int r = NonNegative(rows), c = NonNegative(cols);
  if ((r != m_nRows || c != m_nCols) && !realloc(r, c)) return;
  Null();
}

void CMatrixd::Null() {
  for (int i = 0; i < StoredRows(); ++i) std::fill(m_ppData[i], m_ppData[i] + m_nCols, 0.0);
}

void CMatrixd::Unit(const int& n) {
  const int size = NonNegative(n);
  if ((m_nRows != size || m_nCols != size) && !realloc(size, size)) return;
  Unit();
}

void CMatrixd::Unit() {
  m_nRows = m_nCols = std::min(m_nRows, m_nCols);
  Null();
  for (int i = 0; i < StoredRows(); ++i) m_ppData[i][i] = 1.0;
}

// ---- Arithmetic

namespace {

// b covers at least rows × cols.
bool Covers(const CMatrixd& b, int rows, int cols) {
  return b.RowNo() >= rows && b.ColNO() >= cols;
}

// m came out rows × cols (a new matrix is 0 × 0 when its storage could not be had).
bool HasShape(const CMatrixd& m, int rows, int cols) {
  return m.RowNo() == rows && m.ColNO() == cols;
}

template <class Op>
CMatrixd& ApplyInside(CMatrixd& a, const CMatrixd& b, Op op) {
  if (!Covers(a, b.RowNo(), b.ColNO())) return a;
  for (int i = 0; i < b.RowNo(); ++i)
    for (int j = 0; j < b.ColNO(); ++j) a(i, j) = op(a(i, j), b(i, j));
  return a;
}

template <class Op>
CMatrixd Combine(const CMatrixd& a, const CMatrixd& b, Op op) {
  if (!Covers(b, a.RowNo(), a.ColNO())) return CMatrixd();
  CMatrixd c(a);
  if (!HasShape(c, a.RowNo(), a.ColNO())) return CMatrixd();
  for (int i = 0; i < a.RowNo(); ++i)
    for (int j = 0; j < a.ColNO(); ++j) c(i, j) = op(a(i, j), b(i, j));
  return c;
}

}  // namespace

CMatrixd& CMatrixd::operator+=(const CMatrixd& b) {
  return ApplyInside(*this, b, [](double x, double y) { return x + y; });
}

CMatrixd& CMatrixd::operator-=(const CMatrixd& b) {
  return ApplyInside(*this, b, [](double x, double y) { return x - y; });
}

CMatrixd& CMatrixd::operator*=(const double& d) {
  const double f = d;  // d may be an element of this matrix
  for (int i = 0; i < StoredRows(); ++i)
    for (int j = 0; j < m_nCols; ++j) m_ppData[i][j] *= f;
  return *this;
}

CMatrixd& CMatrixd::operator/=(const double& d) {
  const double f = d;
  for (int i = 0; i < StoredRows(); ++i)
    for (int j = 0; j < m_nCols; ++j) m_ppData[i][j] /= f;
  return *this;
}

CMatrixd& CMatrixd::operator*=(const CMatrixd& b) {
  if (Covers(b, m_nCols, 0)) *this = *this * b;
  return *this;
}

CMatrixd& CMatrixd::operator^=(const int& n) {
  const int power = n;
  if (power == 1 || power < 0 || !IsSquare()) return *this;
  if (power == 0) {
    Unit(m_nRows);
    return *this;
  }
  // Binary powering; for n = 2 this is the single product *this · *this.
  CMatrixd base(*this), result;
  bool have = false;
  for (unsigned e = unsigned(power);;) {
    if (e & 1u) {
      result = have ? result * base : base;
      have = true;
    }
    e >>= 1;
    if (!e) break;
    base = base * base;
  }
  return *this = std::move(result);
}

CMatrixd CMatrixd::operator-() const {
  CMatrixd c(*this);
  for (int i = 0; i < c.StoredRows(); ++i)
    for (int j = 0; j < m_nCols; ++j) c.m_ppData[i][j] = -c.m_ppData[i][j];
  return c;
}

CMatrixd CMatrixd::operator+() const {
  return *this;
}

bool operator==(const CMatrixd& a, const CMatrixd& b) {
  if (a.RowNo() != b.RowNo() || a.ColNO() != b.ColNO()) return false;
  for (int i = 0; i < a.RowNo(); ++i)
    for (int j = 0; j < a.ColNO(); ++j)
      if (a(i, j) != b(i, j)) return false;
  return true;
}

bool operator!=(const CMatrixd& a, const CMatrixd& b) {
  return !(a == b);
}

CMatrixd operator+(const CMatrixd& a, const CMatrixd& b) {
  return Combine(a, b, [](double x, double y) { return x + y; });
}

CMatrixd operator-(const CMatrixd& a, const CMatrixd& b) {
  return Combine(a, b, [](double x, double y) { return x - y; });
}

CMatrixd operator*(const CMatrixd& a, const double& d) {
  CMatrixd c(a);
  return c *= d;
}

CMatrixd operator*(const double& d, const CMatrixd& a) {
  return a * d;
}

CMatrixd operator*(const CMatrixd& a, const CMatrixd& b) {
  const int n = a.RowNo(), inner = a.ColNO(), m = b.ColNO();
  if (!Covers(b, inner, 0)) return CMatrixd();
  CMatrixd c(n, m);  // zeros
  if (!HasShape(c, n, m)) return CMatrixd();
  // Row by row, k outer: each element still sums its terms in k order from 0.
  for (int i = 0; i < n && m > 0; ++i) {
    double* ci = &c(i, 0);
    for (int k = 0; k < inner; ++k) {
      const double aik = a(i, k);
      const double* bk = &b(k, 0);
      for (int j = 0; j < m; ++j) ci[j] += aik * bk[j];
    }
  }
  return c;
}

CMatrixd operator/(const CMatrixd& a, const CMatrixd& b) {
  const CMatrixd inverse = !b;
  return HasShape(inverse, b.RowNo(), b.ColNO()) ? a * inverse : CMatrixd();
}

CMatrixd operator/(const CMatrixd& a, const double& d) {
  return a * (1.0 / d);
}

CMatrixd operator/(const double& d, const CMatrixd& a) {
  const CMatrixd inverse = !a;
  return HasShape(inverse, a.RowNo(), a.ColNO()) ? inverse * d : CMatrixd();
}

CMatrixd operator^(const CMatrixd& a, const int& n) {
  CMatrixd c(a);
  return c ^= n;
}

CMatrixd operator~(const CMatrixd& a) {
  CMatrixd t(a.ColNO(), a.RowNo());
  if (!HasShape(t, a.ColNO(), a.RowNo())) return CMatrixd();
  for (int i = 0; i < a.RowNo() && a.ColNO() > 0; ++i)
    for (int j = 0; j < a.ColNO(); ++j) t(j, i) = a(i, j);
  return t;
}

// ---- Linear algebra
// Eliminations skip the columns that a step has finished with: once column k
// has been pivoted and cleared, no later step reads it again, so leaving it
// unwritten changes no result.

namespace {

// Solve's step k, the pivot in place: row k divided by the pivot from column
// k + 1 on, then f = row i's column k times row k subtracted from every row
// below, columns k + 1 … width − 1.
VDKIT_VECTOR_CLONES void EliminateBelow(double** g, int k, int n, int width) {
  double* __restrict rk = g[k];
  const double piv = rk[k];
  for (int j = k + 1; j < width; ++j) rk[j] /= piv;
  for (int i = k + 1; i < n; ++i) {
    double* __restrict ri = g[i];
    const double f = ri[k];
    for (int j = k + 1; j < width; ++j) ri[j] -= f * rk[j];
  }
}

// The inverse's step k: row k of a (from column k + 1) and of inv divided by
// the pivot, then f = a(i, k) times row k subtracted from every other row of both.
VDKIT_VECTOR_CLONES void EliminateOthers(double** a, double** inv, int k, int n) {
  double* __restrict ak = a[k];
  double* __restrict ik = inv[k];
  const double piv = ak[k];
  for (int j = k + 1; j < n; ++j) ak[j] /= piv;
  for (int j = 0; j < n; ++j) ik[j] /= piv;
  for (int i = 0; i < n; ++i) {
    if (i == k) continue;
    double* __restrict ai = a[i];
    double* __restrict ii = inv[i];
    const double f = ai[k];
    for (int j = k + 1; j < n; ++j) ai[j] -= f * ak[j];
    for (int j = 0; j < n; ++j) ii[j] -= f * ik[j];
  }
}

}  // namespace

CMatrixd CMatrixd::Solve(const CMatrixd& b) const {
  const int n = m_nRows, q = b.m_nCols;
  if (!IsSquare() || b.m_nRows != n) return CMatrixd();
  if (q > INT_MAX - n) return CMatrixd();
  const int width = n + q;
  CMatrixd g(n, width);
  if (!HasShape(g, n, width)) return CMatrixd();
  for (int i = 0; i < g.StoredRows(); ++i) {
    std::copy(m_ppData[i], m_ppData[i] + n, g.m_ppData[i]);
    if (q > 0) std::copy(b.m_ppData[i], b.m_ppData[i] + q, g.m_ppData[i] + n);
  }
  for (int k = 0; k < n; ++k) {
    if (g.pivot(k) < 0) return CMatrixd();  // singular: no finite answer
    EliminateBelow(g.m_ppData, k, n, width);
  }
  CMatrixd x(n, q);
  if (!HasShape(x, n, q)) return CMatrixd();
  // Row by row from the last: each x(i, c) subtracts its terms in j order.
  for (int i = n - 1; i >= 0 && q > 0; --i) {
    const double* gi = g.m_ppData[i];
    double* xi = x.m_ppData[i];
    std::copy(gi + n, gi + width, xi);
    for (int j = i + 1; j < n; ++j) {
      const double gij = gi[j];
      const double* xj = x.m_ppData[j];
      for (int c = 0; c < q; ++c) xi[c] -= gij * xj[c];
    }
  }
  return x;
}

double CMatrixd::Det() const {
  if (!IsSquare()) return 0.0;
  CMatrixd a(*this);
  const int n = m_nRows;
  if (!HasShape(a, n, n)) return 0.0;
  double det = 1.0;
  for (int k = 0; k < n; ++k) {
    const int p = a.pivot(k);
    if (p == -1) return 0.0;
    if (p != 0) det = -det;
    const double* rk = a.m_ppData[k];
    det *= rk[k];
    for (int i = k + 1; i < n; ++i) {
      double* ri = a.m_ppData[i];
      const double f = ri[k] / rk[k];
      for (int j = k + 1; j < n; ++j) ri[j] -= f * rk[j];
    }
  }
  return det;
}

double CMatrixd::Norm() const {
  double sum = 0.0;
  for (int i = 0; i < StoredRows(); ++i)
    for (int j = 0; j < m_nCols; ++j) sum += m_ppData[i][j] * m_ppData[i][j];
  return std::sqrt(sum);
}

double CMatrixd::Cond() const {
  const CMatrixd inverse = !*this;
  if (!IsSquare() || !HasShape(inverse, m_nRows, m_nCols)) return std::numeric_limits<double>::infinity();
  return Norm() * inverse.Norm();
}

double CMatrixd::Cofact(int i, int j) const {
  const int n = m_nRows;
  if (!IsSquare() || i < 0 || j < 0 || i >= n || j >= n) return 0.0;
  CMatrixd minor(n - 1, n - 1);
  if (!HasShape(minor, n - 1, n - 1)) return 0.0;
  for (int r = 0, mr = 0; r < n; ++r) {
    if (r == i) continue;
    for (int c = 0, mc = 0; c < n; ++c)
      if (c != j) minor.m_ppData[mr][mc++] = m_ppData[r][c];
    ++mr;
  }
  const double det = minor.Det();
  return (i + j) % 2 == 1 ? -det : det;
}

CMatrixd CMatrixd::Adj() const {
  if (!IsSquare()) return CMatrixd();
  CMatrixd c(m_nRows, m_nCols);
  if (!HasShape(c, m_nRows, m_nCols)) return CMatrixd();
  for (int i = 0; i < m_nRows; ++i)
    for (int j = 0; j < m_nCols; ++j) c.m_ppData[i][j] = Cofact(i, j);
  return ~c;
}

bool CMatrixd::IsSingular() const {
  return IsSquare() && Det() == 0.0;
}

CMatrixd operator!(CMatrixd a) {
  const int n = a.m_nRows;
  if (!a.IsSquare() || !HasShape(a, n, n)) return CMatrixd();
  CMatrixd inv(n, n);
  if (!HasShape(inv, n, n)) return CMatrixd();
  inv.Unit();
  for (int k = 0; k < n; ++k) {
    const int p = a.pivot(k);
    if (p < 0) return CMatrixd();  // singular: no finite answer
    if (p > 0) std::swap(inv.m_ppData[k], inv.m_ppData[p]);
    EliminateOthers(a.m_ppData, inv.m_ppData, k, n);
  }
  return inv;
}

// ---- Structural tests

namespace {

// Every pair (i, j) of the square matrix m with keep(i, j) satisfies ok.
template <class Keep, class Ok>
bool AllSquare(const CMatrixd& m, Keep keep, Ok ok) {
  if (!m.IsSquare()) return false;
  for (int i = 0; i < m.RowNo(); ++i)
    for (int j = 0; j < m.ColNO(); ++j)
      if (keep(i, j) && !ok(i, j)) return false;
  return true;
}

}  // namespace

bool CMatrixd::IsDiagonal() const {
  return AllSquare(
      *this, [](int i, int j) { return i != j; }, [&](int i, int j) { return m_ppData[i][j] == 0.0; });
}

bool CMatrixd::IsScalar() const {
  return IsDiagonal() && AllSquare(
                             *this, [](int i, int j) { return i == j; },
                             [&](int i, int) { return m_ppData[i][i] == m_ppData[0][0]; });
}

bool CMatrixd::IsUnit() const {
  return IsScalar() && (m_nRows == 0 || m_ppData[0][0] == 1.0);
}

bool CMatrixd::IsNull() const {
  for (int i = 0; i < StoredRows(); ++i)
    for (int j = 0; j < m_nCols; ++j)
      if (m_ppData[i][j] != 0.0) return false;
  return true;
}

bool CMatrixd::IsSymmetric() const {
  return AllSquare(
      *this, [](int i, int j) { return i < j; },
      [&](int i, int j) { return m_ppData[i][j] == m_ppData[j][i]; });
}

bool CMatrixd::IsSkewSymmetric() const {
  return AllSquare(
      *this, [](int i, int j) { return i <= j; },
      [&](int i, int j) { return m_ppData[i][j] == -m_ppData[j][i]; });
}

bool CMatrixd::IsUpperTiangular() const {
  return AllSquare(
      *this, [](int i, int j) { return i > j; }, [&](int i, int j) { return m_ppData[i][j] == 0.0; });
}

bool CMatrixd::IsLowerTiangular() const {
  return AllSquare(
      *this, [](int i, int j) { return i < j; }, [&](int i, int j) { return m_ppData[i][j] == 0.0; });
}
