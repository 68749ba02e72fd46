#include "vdkit/numeric/matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "vdkit/numeric/linear.h"

// Failures show matrices by their elements.
void PrintTo(const CMatrixd& m, std::ostream* os) {
  *os << m.RowNo() << "x" << m.ColNO() << " {";
  for (int i = 0; i < m.RowNo(); ++i)
    for (int j = 0; j < m.ColNO(); ++j) *os << (j ? " " : i ? "; " : "") << m(i, j);
  *os << "}";
}

namespace {

using Bytes = unsigned char*;

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

// Offsets worked out from the layout: tables of 8-byte pointers, then rows of
// max(cols, 1) × size bytes back to back. Writes at each block's last byte let
// AddressSanitizer check its length.
TEST(AllocatorTest, BlocksLayOutTablesThenZeroedRows) {
  auto** t2 = static_cast<Bytes*>(StRuCt2(3, 4, 8));       // rows at +24, +56, +88; 120 bytes
  auto*** t3 = static_cast<Bytes**>(StRuCt3(2, 3, 5, 2));  // 2 + 6 pointers; rows of 10 from +64
  auto** one = static_cast<Bytes*>(StRuCt2(0, -5, 3));     // below 1 counts as 1: a row at +8
  auto* s1 = static_cast<Bytes>(StRuCt1(0, 4));            // 4 bytes
  alignas(8) unsigned char data[96] = {};
  auto** d2 = static_cast<Bytes*>(DiMeNs2(data, 4, 3, 8));       // entries 24 bytes apart
  auto*** d3 = static_cast<Bytes**>(DiMeNs3(data, 2, 3, 2, 4));  // 2 + 6 pointers, rows 8 apart
  ASSERT_TRUE(t2 && t3 && one && s1 && d2 && d3);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(d2[i], data + 24 * i);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(t2[i], reinterpret_cast<Bytes>(t2) + 24 + 32 * i);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(reinterpret_cast<Bytes>(t3[i]), reinterpret_cast<Bytes>(t3) + 16 + 24 * i);
    EXPECT_EQ(reinterpret_cast<Bytes>(d3[i]), reinterpret_cast<Bytes>(d3) + 16 + 24 * i);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(t3[i][j], reinterpret_cast<Bytes>(t3) + 64 + 10 * (i * 3 + j));
      EXPECT_EQ(d3[i][j], data + 8 * (i * 3 + j));
    }
  }
  EXPECT_EQ(one[0], reinterpret_cast<Bytes>(one) + 8);
  EXPECT_TRUE(AllZero(t2[0], 96) && AllZero(t3[0][0], 60) && AllZero(one[0], 3) && AllZero(s1, 4));
  t2[2][31] = t3[1][2][9] = one[0][2] = s1[3] = 1;
  for (void* p : {(void*)t2, (void*)t3, (void*)one, (void*)s1, (void*)d2, (void*)d3}) free(p);
}

TEST(AllocatorTest, RefusedSizesGiveNull) {
  char data[8];
  EXPECT_EQ(StRuCt1(5, 0), nullptr);
  EXPECT_EQ(StRuCt1(5, -8), nullptr);
  EXPECT_EQ(StRuCt2(3, 3, 0), nullptr);
  EXPECT_EQ(StRuCt3(2, 2, 2, 0), nullptr);
  EXPECT_EQ(DiMeNs2(nullptr, 2, 2, 4), nullptr);
  EXPECT_EQ(DiMeNs3(data, 2, 2, 2, -1), nullptr);
  // Products past the address range: never a short block that a caller overruns.
  EXPECT_EQ(StRuCt2(INT_MAX, INT_MAX, 8), nullptr);     // 2^65 bytes of rows
  EXPECT_EQ(StRuCt3(INT_MAX, INT_MAX, 1, 1), nullptr);  // 2^62 pointers
  EXPECT_EQ(DiMeNs3(data, INT_MAX, INT_MAX, 1, 1), nullptr);
}

// ---- CMatrixd ------------------------------------------------------------------

using Plain = std::vector<std::vector<double>>;

CMatrixd Make(const Plain& rows) {
  CMatrixd m(int(rows.size()), rows.empty() ? 0 : int(rows[0].size()));
  for (int i = 0; i < m.RowNo(); ++i)
    for (int j = 0; j < m.ColNO(); ++j) m(i, j) = rows[i][j];
  return m;
}

Plain ToPlain(const CMatrixd& m) {
  Plain p(m.RowNo(), std::vector<double>(m.ColNO()));
  for (int i = 0; i < m.RowNo(); ++i)
    for (int j = 0; j < m.ColNO(); ++j) p[i][j] = m(i, j);
  return p;
}

// Bit patterns, so that -0.0 and 0.0 or two NaNs are told apart and equal.
std::vector<uint64_t> Bits(const Plain& p) {
  std::vector<uint64_t> out;
  for (const auto& row : p)
    for (double v : row) {
      uint64_t b;
      memcpy(&b, &v, 8);
      out.push_back(b);
    }
  return out;
}

// The eliminations written out plainly: whole rows swapped, every column
// updated, the pivot rule as stated (strictly larger and non-zero wins, ties
// keep the earlier row). The library must give the same bits.
int PlainPivot(Plain& g, int k) {
  double best = -1;
  int p = k;
  for (int i = k; i < int(g.size()); ++i)
    if (std::fabs(g[i][k]) > best && std::fabs(g[i][k]) != 0) best = std::fabs(g[i][k]), p = i;
  if (g[p][k] == 0) return -1;
  if (p == k) return 0;
  std::swap(g[p], g[k]);
  return p;
}

double PlainDet(Plain a) {
  const int n = int(a.size());
  double det = 1;
  for (int k = 0; k < n; ++k) {
    const int p = PlainPivot(a, k);
    if (p == -1) return 0;
    if (p != 0) det = -det;
    det *= a[k][k];
    for (int i = k + 1; i < n; ++i) {
      const double f = a[i][k] / a[k][k];
      for (int j = k + 1; j < n; ++j) a[i][j] -= f * a[k][j];
    }
  }
  return det;
}

// Empty when a column has no pivot (where the plain form divides by zero).
Plain PlainInverse(Plain a) {
  const int n = int(a.size());
  Plain inv(n, std::vector<double>(n, 0));
  for (int i = 0; i < n; ++i) inv[i][i] = 1;
  for (int k = 0; k < n; ++k) {
    const int p = PlainPivot(a, k);
    if (p < 0) return {};
    if (p > 0) std::swap(inv[k], inv[p]);
    const double piv = a[k][k];
    for (int j = 0; j < n; ++j) a[k][j] /= piv, inv[k][j] /= piv;
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = a[i][k];
      for (int j = 0; j < n; ++j) a[i][j] -= f * a[k][j], inv[i][j] -= f * inv[k][j];
    }
  }
  return inv;
}

Plain PlainSolve(const Plain& a, const Plain& b) {
  const int n = int(a.size()), q = int(b[0].size());
  Plain g = a;
  for (int i = 0; i < n; ++i) g[i].insert(g[i].end(), b[i].begin(), b[i].end());
  for (int k = 0; k < n; ++k) {
    if (PlainPivot(g, k) < 0) return {};
    const double piv = g[k][k];
    for (int j = k; j < n + q; ++j) g[k][j] /= piv;
    for (int i = k + 1; i < n; ++i) {
      const double f = g[i][k];
      for (int j = k; j < n + q; ++j) g[i][j] -= f * g[k][j];
    }
  }
  Plain x(n, std::vector<double>(q));
  for (int c = 0; c < q; ++c)
    for (int i = n - 1; i >= 0; --i) {
      x[i][c] = g[i][n + c];
      for (int j = i + 1; j < n; ++j) x[i][c] -= g[i][j] * x[j][c];
    }
  return x;
}

Plain PlainProduct(const Plain& a, const Plain& b) {
  Plain c(a.size(), std::vector<double>(b[0].size(), 0));
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < b[0].size(); ++j)
      for (size_t k = 0; k < a[0].size(); ++k) c[i][j] += a[i][k] * b[k][j];
  return c;
}

Plain Random(std::mt19937& rng, int rows, int cols, bool smallIntegers) {
  std::uniform_int_distribution<int> small(-2, 2);
  std::uniform_real_distribution<double> wide(-10, 10);
  Plain p(rows, std::vector<double>(cols));
  for (auto& row : p)
    for (double& v : row) v = smallIntegers ? small(rng) : wide(rng);
  return p;
}

// Small integers make pivot ties and singular matrices common; the library's
// shortcuts (pointer swaps, finished columns left alone) must not move a bit.
TEST(MatrixTest, EliminationsMatchThePlainFormBitForBit) {
  std::mt19937 rng(11);
  int singular = 0;
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + round % 9, q = 1 + round % 3;
    Plain a = Random(rng, n, n, round % 2 == 0);
    const Plain b = Random(rng, n, q, round % 4 == 0);
    if (round % 5 == 3) {  // a zero column: the singular answers, part way through
      const size_t col = rng() % n;
      for (auto& row : a) row[col] = 0;
    }
    const CMatrixd A = Make(a), B = Make(b);
    SCOPED_TRACE(round);
    const double det = A.Det(), want = PlainDet(a);
    EXPECT_EQ(memcmp(&det, &want, 8), 0);
    const Plain inv = PlainInverse(a);
    EXPECT_EQ(Bits(ToPlain(!A)), Bits(inv));
    EXPECT_EQ(Bits(ToPlain(A.Solve(B))), Bits(PlainSolve(a, b)));
    EXPECT_EQ(Bits(ToPlain(A * B)), Bits(PlainProduct(a, b)));
    EXPECT_EQ(A.IsSingular(), want == 0);
    singular += inv.empty();
  }
  EXPECT_GT(singular, 60);
}

// Random diagonally dominant systems up to 60 unknowns, checked in long
// double: Solve's and Gaussj's answers satisfy the system, the inverse is one
// from either side, and the adjugate is det · inverse.
TEST(MatrixTest, SolvesAndInvertsWellConditionedSystems) {
  std::mt19937 rng(2);
  for (int n : {1, 3, 11, 30, 60}) {
    SCOPED_TRACE(n);
    Plain a = Random(rng, n, n, false), b = Random(rng, n, 1, false);
    for (int i = 0; i < n; ++i) a[i][i] += 10.0 * n;
    std::vector<float> af, bf(n), xf(n);
    std::vector<float*> rows(n);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) af.push_back(float(a[i][j]));
      bf[i] = float(b[i][0]);
    }
    for (int i = 0; i < n; ++i) rows[i] = af.data() + size_t(i) * n;
    ASSERT_TRUE(Gaussj(rows.data(), bf.data(), xf.data(), n));
    const CMatrixd A = Make(a), X = A.Solve(Make(b)), inv = !A;
    ASSERT_EQ(X.RowNo(), n);
    for (int i = 0; i < n; ++i) {
      long double r = -b[i][0], rf = -bf[i], scale = 0;
      for (int j = 0; j < n; ++j) {
        r += (long double)a[i][j] * X(j, 0);
        rf += (long double)af[size_t(i) * n + j] * xf[j];
        scale += std::fabs((long double)a[i][j] * X(j, 0));
      }
      EXPECT_LT(std::fabs(r), 1e-14L * scale);
      EXPECT_LT(std::fabs(rf), 4e-7L * scale);
    }
    CMatrixd I;
    I.Unit(n);
    EXPECT_LT((inv * A - I).Norm() + (A * inv - I).Norm(), 1e-13 * n);
    EXPECT_LT(A.Cond(), 2.0 * n);                            // dominant: about the norm of I
    const CMatrixd adj = n <= 11 ? A.Adj() : A.Det() * inv;  // cofactors of 60 × 60 cost too much
    EXPECT_LT((adj - A.Det() * inv).Norm(), 1e-9 * std::fabs(A.Det()) * inv.Norm());
  }
}

TEST(MatrixTest, WorkedDeterminantsPowersAndDivision) {
  // Determinants and inverses follow the plain form (above); these check it by hand.
  const CMatrixd twice = Make({{1, 2}, {2, 4}}), m = Make({{1, 2}, {3, 4}});
  EXPECT_DOUBLE_EQ(Make({{2, 0, 1}, {1, 3, 2}, {1, 1, 2}}).Det(), 6.0);  // 2·(6 − 2) + 1·(1 − 3)
  EXPECT_EQ(Make({{0, 1}, {1, 0}}).Det(), -1.0);                         // one swap
  EXPECT_FALSE(Make({{1, 2, 3}, {4, 5, 6}}).IsSingular());
  // Cofactors of [[1, 2], [3, 4]] are 4, −3, −2, 1; the adjugate is their transpose.
  EXPECT_TRUE(m.Adj() == Make({{4, -2}, {-3, 1}}) && m.Cofact(2, 0) == 0.0);  // outside: 0
  EXPECT_DOUBLE_EQ(Make({{3, 4}}).Norm(), 5.0);
  // True powers; 2 is the plain square, 0 the identity; negative and non-square unchanged.
  const CMatrixd a = Make({{1, 1}, {0, 2}}), wide = Make({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(a ^ 2, a * a);
  EXPECT_EQ(a ^ 3, Make({{1, 7}, {0, 8}}));
  EXPECT_EQ(a ^ 5, a * a * a * a * a);
  EXPECT_EQ(a ^ 0, Make({{1, 0}, {0, 1}}));
  EXPECT_TRUE(a == (a ^ 1) && a == (a ^ -2) && wide == (wide ^ 2) && wide == (wide ^ 0));
  // a / d multiplies by 1.0 / d, a /= d divides: 5 · (1/3) and 5 / 3 differ in the last bit.
  CMatrixd five = Make({{5}});
  EXPECT_EQ((five / 3.0)(0, 0), 5 * (1.0 / 3));
  EXPECT_NE((five / 3.0)(0, 0), 5 / 3.0);
  EXPECT_EQ((five /= 3.0)(0, 0), 5 / 3.0);
  // Division by a matrix goes through its inverse; a singular divisor gives 0 × 0.
  const CMatrixd d = Make({{2, 0}, {0, 4}});
  EXPECT_EQ(Make({{2, 4}}) / d, Make({{1, 1}}));
  EXPECT_EQ(8.0 / d, Make({{4, 0}, {0, 2}}));
  EXPECT_EQ((Make({{2, 4}}) / twice).RowNo(), 0);
  EXPECT_EQ((1.0 / Make({{0}})).RowNo(), 0);
  EXPECT_EQ(~wide, Make({{1, 4}, {2, 5}, {3, 6}}));
  EXPECT_EQ(-wide + wide, 0.0 * wide);
}

TEST(MatrixTest, StructuralTests) {
  struct Row {
    Plain m;
    const char* answers;  // diagonal scalar unit null symmetric skew upper lower
  } const rows[] = {
      {{}, "11111111"},
      {{{0}}, "11011111"},
      {{{1, 0}, {0, 1}}, "11101011"},
      {{{2, 0}, {0, 2}}, "11001011"},
      {{{2, 0}, {0, 3}}, "10001011"},
      {{{1, 5}, {0, 1}}, "00000010"},
      {{{1, 0}, {5, 1}}, "00000001"},
      {{{1, 0, 0}, {0, 1, 0}, {7, 0, 1}}, "00000001"},
      {{{0, 2}, {-2, 0}}, "00000100"},
      {{{1, 2}, {2, 1}}, "00001000"},
      {{{0, 0, 0}, {0, 0, 0}}, "00010000"},
      {{{1, 2, 3}}, "00000000"},
  };
  for (const Row& r : rows) {
    const CMatrixd m = Make(r.m);
    std::string got;
    for (bool g : {m.IsDiagonal(), m.IsScalar(), m.IsUnit(), m.IsNull(), m.IsSymmetric(), m.IsSkewSymmetric(),
                   m.IsUpperTiangular(), m.IsLowerTiangular()})
      got += g ? '1' : '0';
    EXPECT_EQ(got, r.answers) << testing::PrintToString(r.m);
  }
}

TEST(MatrixTest, SizesFillingAndCopies) {
  EXPECT_TRUE(CMatrixd().Det() == 1.0 && CMatrixd().Norm() == 0.0 && CMatrixd(-3, 4).RowNo() == 0);
  EXPECT_TRUE(CMatrixd(3, 0).RowNo() == 3 && CMatrixd(3, 0).IsNull() && CMatrixd(4, 5).IsNull());  // zeroed
  EXPECT_EQ(CMatrixd(INT_MAX, INT_MAX), CMatrixd());  // rows × cols doubles past the address range
  // SetSize keeps the overlap and zeroes the rest, growing and shrinking.
  CMatrixd m = Make({{1, 2}, {3, 4}});
  m.SetSize(3, 4);
  EXPECT_EQ(m, Make({{1, 2, 0, 0}, {3, 4, 0, 0}, {0, 0, 0, 0}}));
  m.SetSize(1, 1);
  EXPECT_EQ(m, Make({{1}}));
  // Unit() squares to the smaller size; SetSize brings the columns back as 0,
  // assignment of the held size overwrites them.
  CMatrixd u = Make({{5, 6, 7}, {8, 9, 10}}), v = u;
  u.Unit();
  EXPECT_EQ(u, Make({{1, 0}, {0, 1}}));
  u.SetSize(2, 3);
  EXPECT_EQ(u, Make({{1, 0, 0}, {0, 1, 0}}));
  v.Unit();
  EXPECT_EQ(v = Make({{1, 2, 3}, {4, 5, 6}}), Make({{1, 2, 3}, {4, 5, 6}}));
  // Copies and assignments never share storage; self-assignment keeps the matrix.
  CMatrixd original = Make({{1, 2}, {3, 4}}), copy(original), assigned;
  assigned = original;
  copy(0, 0) = assigned(1, 1) = 9;
  CMatrixd& self = original;
  EXPECT_EQ(original = self, Make({{1, 2}, {3, 4}}));
  CMatrixd moved(std::move(copy));
  EXPECT_EQ(moved(0, 0), 9.0);
}

// Operands whose sizes do not fit: unchanged, 0 × 0, or 0.0; never a read or
// write outside a matrix (AddressSanitizer watches each case).
TEST(MatrixTest, MismatchedAndSingularOperandsGiveDefinedAnswers) {
  const CMatrixd small = Make({{1, 2}}), big = Make({{1, 1, 1}, {1, 1, 1}}), sq = Make({{1, 2}, {2, 4}});
  CMatrixd a = small, c = big, grown = big;
  EXPECT_EQ(a += big, small);
  EXPECT_EQ(a -= big, small);
  EXPECT_EQ(c *= small, big);
  EXPECT_EQ(grown += small, Make({{2, 3, 1}, {1, 1, 1}}));  // b inside a: only b's part
  EXPECT_EQ(small + big, Make({{2, 3}}));                   // b covers a: its upper-left part
  EXPECT_EQ(small - big, Make({{0, 1}}));
  for (const CMatrixd& empty : {big - small, big * small, big.Adj(), !big, big.Solve(small), !sq,
                                sq.Solve(Make({{1}, {2}})), sq.Solve(Make({{1}, {2}, {3}}))})
    EXPECT_EQ(empty, CMatrixd());
  EXPECT_EQ(big.Det(), 0.0);
  EXPECT_EQ(big.Cond(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(sq.Cond(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(CMatrixd().Solve(CMatrixd(0, 3)).ColNO(), 3);
}

}  // namespace
