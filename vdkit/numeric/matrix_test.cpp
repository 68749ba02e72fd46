#include "vdkit/numeric/matrix.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using Bytes = unsigned char*;

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

// Each layout below is written out from the block's arithmetic: tables of
// 8-byte pointers, then rows of max(cols, 1) × size bytes, back to back.
TEST(AllocatorTest, BlocksHaveTheirTablesThenZeroedRowsInOneAllocation) {
  {  // StRuCt2(3, 4, 8): 24 bytes of table, then rows at +24, +56, +88, 120 bytes in all.
    auto** t = static_cast<Bytes*>(StRuCt2(3, 4, 8));
    ASSERT_NE(t, nullptr);
    const Bytes base = reinterpret_cast<Bytes>(t);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t[i], base + 24 + 32 * i);
    EXPECT_TRUE(AllZero(base + 24, 96));
    memset(base + 24, 0xAB, 96);  // the whole element area is ours (ASan checks the end)
    free(t);
  }
  {  // Dimensions below 1 count as 1: StRuCt2(0, -5, 3) is one row of 3 bytes at +8.
    auto** t = static_cast<Bytes*>(StRuCt2(0, -5, 3));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0], reinterpret_cast<Bytes>(t) + 8);
    EXPECT_TRUE(AllZero(t[0], 3));
    free(t);
  }
  {  // StRuCt3(2, 3, 5, 2): 2 pointers, 6 pointers (+16), rows of 10 bytes from +64.
    auto*** t = static_cast<Bytes**>(StRuCt3(2, 3, 5, 2));
    ASSERT_NE(t, nullptr);
    const Bytes base = reinterpret_cast<Bytes>(t);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(reinterpret_cast<Bytes>(t[i]), base + 16 + 24 * i);
      for (int j = 0; j < 3; ++j) EXPECT_EQ(t[i][j], base + 64 + 10 * (i * 3 + j));
    }
    EXPECT_TRUE(AllZero(base + 64, 60));
    t[1][2][9] = 1;  // the last byte of the block
    free(t);
  }
  {  // StRuCt1: max(count, 1) × size zero bytes.
    auto* one = static_cast<Bytes>(StRuCt1(0, 4));
    ASSERT_NE(one, nullptr);
    EXPECT_TRUE(AllZero(one, 4));
    free(one);
    auto* many = static_cast<Bytes>(StRuCt1(1000, 3));
    ASSERT_NE(many, nullptr);
    EXPECT_TRUE(AllZero(many, 3000));
    free(many);
  }
}

TEST(AllocatorTest, TablesOverCallerDataPointIntoIt) {
  alignas(8) unsigned char data[96] = {};
  auto** t2 = static_cast<Bytes*>(DiMeNs2(data, 4, 3, 8));  // rows 24 bytes apart
  ASSERT_NE(t2, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t2[i], data + 24 * i);
  free(t2);
  auto** single = static_cast<Bytes*>(DiMeNs2(data, -1, 0, 4));  // one row
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(single[0], data);
  free(single);
  // DiMeNs3(data, 2, 3, 2, 4): D0 = 2 pointers then 6, each row 8 bytes of data.
  auto*** t3 = static_cast<Bytes**>(DiMeNs3(data, 2, 3, 2, 4));
  ASSERT_NE(t3, nullptr);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(reinterpret_cast<Bytes>(t3[i]), reinterpret_cast<Bytes>(t3) + 16 + 24 * i);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(t3[i][j], data + 8 * (i * 3 + j));
  }
  free(t3);
}

TEST(AllocatorTest, RefusedSizesGiveNull) {
  char data[8];
  EXPECT_EQ(StRuCt1(5, 0), nullptr);
  EXPECT_EQ(StRuCt1(5, -8), nullptr);
  EXPECT_EQ(StRuCt2(3, 3, 0), nullptr);
  EXPECT_EQ(StRuCt3(2, 2, 2, 0), nullptr);
  EXPECT_EQ(DiMeNs2(nullptr, 2, 2, 4), nullptr);
  EXPECT_EQ(DiMeNs2(data, 2, 2, 0), nullptr);
  EXPECT_EQ(DiMeNs3(nullptr, 2, 2, 2, 4), nullptr);
  EXPECT_EQ(DiMeNs3(data, 2, 2, 2, -1), nullptr);
  // Products past the address range: never a short block that a caller overruns.
  EXPECT_EQ(StRuCt2(INT_MAX, INT_MAX, INT_MAX), nullptr);
  EXPECT_EQ(StRuCt2(INT_MAX, INT_MAX, 8), nullptr);  // 2^65 bytes of rows
  EXPECT_EQ(StRuCt3(INT_MAX, INT_MAX, INT_MAX, 8), nullptr);
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

// Diagonally dominant systems up to 60: residuals and inverse · matrix = I
// within a few units of rounding per element.
TEST(MatrixTest, SolvesAndInvertsWellConditionedSystems) {
  std::mt19937 rng(2);
  for (int n : {1, 3, 11, 30, 60}) {
    Plain a = Random(rng, n, n, false);
    for (int i = 0; i < n; ++i) a[i][i] += 10.0 * n;
    const CMatrixd A = Make(a), B = Make(Random(rng, n, 4, false));
    const CMatrixd X = A.Solve(B);
    ASSERT_EQ(X.RowNo(), n);
    ASSERT_EQ(X.ColNO(), 4);
    const CMatrixd residual = A * X - B;
    EXPECT_LT(residual.Norm(), 1e-12 * (A.Norm() * X.Norm() + B.Norm())) << n;
    CMatrixd I;
    I.Unit(n);
    EXPECT_LT(((!A) * A - I).Norm(), 1e-13 * n) << n;
    EXPECT_LT((A * (!A) - I).Norm(), 1e-13 * n) << n;
    EXPECT_LT(A.Cond(), 2.0 * n);  // dominant: close to the norm of I times 1
    // The adjugate is det · inverse.
    if (n <= 11) {
      EXPECT_LT((A.Adj() - A.Det() * !A).Norm(), 1e-9 * std::fabs(A.Det()) * (!A).Norm());
    }
  }
}

TEST(MatrixTest, WorkedDeterminantsPowersAndDivision) {
  EXPECT_EQ(Make({{0, 1}, {1, 0}}).Det(), -1.0);  // one swap
  EXPECT_EQ(Make({{1, 2}, {2, 4}}).Det(), 0.0);
  EXPECT_TRUE(Make({{1, 2}, {2, 4}}).IsSingular());
  EXPECT_FALSE(Make({{1, 2, 3}, {4, 5, 6}}).IsSingular());
  EXPECT_DOUBLE_EQ(Make({{2, 0, 1}, {1, 3, 2}, {1, 1, 2}}).Det(), 6.0);  // 2·(6 − 2) + 1·(1 − 3)
  // Cofactors of [[1, 2], [3, 4]]: 4, −3, −2, 1; the adjugate is their transpose.
  const CMatrixd m = Make({{1, 2}, {3, 4}});
  EXPECT_EQ(m.Cofact(0, 0), 4.0);
  EXPECT_EQ(m.Cofact(0, 1), -3.0);
  EXPECT_EQ(m.Cofact(1, 0), -2.0);
  EXPECT_EQ(m.Adj(), Make({{4, -2}, {-3, 1}}));
  EXPECT_EQ(m.Cofact(2, 0), 0.0);  // outside
  EXPECT_DOUBLE_EQ(Make({{3, 4}}).Norm(), 5.0);

  // Powers are true powers; 2 is the plain square, 0 the identity.
  const CMatrixd a = Make({{1, 1}, {0, 2}});
  EXPECT_EQ(a ^ 2, a * a);
  EXPECT_EQ(a ^ 3, Make({{1, 7}, {0, 8}}));
  EXPECT_EQ(a ^ 5, a * a * a * a * a);
  EXPECT_EQ(a ^ 1, a);
  EXPECT_EQ(a ^ 0, Make({{1, 0}, {0, 1}}));
  EXPECT_EQ(a ^ -2, a);
  const CMatrixd wide = Make({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(wide ^ 2, wide);
  EXPECT_EQ(wide ^ 0, wide);
  CMatrixd b = a;
  b ^= 4;
  EXPECT_EQ(b, Make({{1, 15}, {0, 16}}));

  // a / d multiplies by 1.0 / d; a /= d divides. 5 · (1/3) and 5 / 3 differ in the last bit.
  CMatrixd five = Make({{5}});
  EXPECT_EQ((five / 3.0)(0, 0), 5 * (1.0 / 3));
  EXPECT_NE((five / 3.0)(0, 0), 5 / 3.0);
  five /= 3.0;
  EXPECT_EQ(five(0, 0), 5 / 3.0);
  EXPECT_EQ(Make({{2, 4}}) * 0.5, 0.5 * Make({{2, 4}}));
  // Matrix division goes through the inverse; a singular divisor gives 0 × 0.
  const CMatrixd d = Make({{2, 0}, {0, 4}});
  EXPECT_EQ(Make({{2, 4}}) / d, Make({{1, 1}}));
  EXPECT_EQ(8.0 / d, Make({{4, 0}, {0, 2}}));
  EXPECT_EQ((Make({{2, 4}}) / Make({{1, 2}, {2, 4}})).RowNo(), 0);
  EXPECT_EQ((1.0 / Make({{0}})).RowNo(), 0);
  EXPECT_EQ(~wide, Make({{1, 4}, {2, 5}, {3, 6}}));
  EXPECT_EQ(-wide + wide, Make({{0, 0, 0}, {0, 0, 0}}));
  EXPECT_EQ(+wide, wide);
}

TEST(MatrixTest, StructuralTests) {
  struct Row {
    Plain m;
    const char* answers;  // diagonal scalar unit null symmetric skew upper lower
  };
  const Row rows[] = {
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
    const bool got[] = {m.IsDiagonal(),  m.IsScalar(),        m.IsUnit(),           m.IsNull(),
                        m.IsSymmetric(), m.IsSkewSymmetric(), m.IsUpperTiangular(), m.IsLowerTiangular()};
    std::string s;
    for (bool g : got) s += g ? '1' : '0';
    EXPECT_EQ(s, r.answers) << testing::PrintToString(r.m);
  }
}

TEST(MatrixTest, SizesFillingAndCopies) {
  CMatrixd empty;
  EXPECT_EQ(empty.RowNo(), 0);
  EXPECT_EQ(empty.Det(), 1.0);
  EXPECT_EQ(empty.Norm(), 0.0);
  EXPECT_EQ(CMatrixd(-3, 4).RowNo(), 0);
  EXPECT_EQ(CMatrixd(3, 0).RowNo(), 3);  // a shape without storage
  EXPECT_TRUE(CMatrixd(3, 0).IsNull());
  EXPECT_TRUE(CMatrixd(4, 5).IsNull());  // constructed zero
  // Storage that cannot be had (rows × cols doubles past the address range): 0 × 0.
  const CMatrixd huge(INT_MAX, INT_MAX);
  EXPECT_EQ(huge.RowNo(), 0);
  EXPECT_EQ(huge.ColNO(), 0);

  // SetSize keeps the overlap and zeroes the rest, growing and shrinking.
  CMatrixd m = Make({{1, 2}, {3, 4}});
  m.SetSize(3, 4);
  EXPECT_EQ(m, Make({{1, 2, 0, 0}, {3, 4, 0, 0}, {0, 0, 0, 0}}));
  m.SetSize(1, 1);
  EXPECT_EQ(m, Make({{1}}));
  // Unit() squares to the smaller size; SetSize brings the columns back as 0.
  CMatrixd u = Make({{5, 6, 7}, {8, 9, 10}});
  u.Unit();
  EXPECT_EQ(u, Make({{1, 0}, {0, 1}}));
  u.SetSize(2, 3);
  EXPECT_EQ(u, Make({{1, 0, 0}, {0, 1, 0}}));
  u.Null(1, 2);
  EXPECT_EQ(u, Make({{0, 0}}));
  u.Unit(3);
  EXPECT_TRUE(u.IsUnit());
  CMatrixd shrunk = Make({{5, 6, 7}, {8, 9, 10}});
  shrunk.Unit();
  shrunk = Make({{1, 2, 3}, {4, 5, 6}});  // back to the held size
  EXPECT_EQ(shrunk, Make({{1, 2, 3}, {4, 5, 6}}));

  // Copies and assignments never share storage; self-assignment keeps the matrix.
  CMatrixd original = Make({{1, 2}, {3, 4}});
  CMatrixd copy(original), assigned;
  assigned = original;
  copy(0, 0) = 9;
  assigned(1, 1) = 9;
  EXPECT_EQ(original, Make({{1, 2}, {3, 4}}));
  CMatrixd& self = original;
  original = self;
  EXPECT_EQ(original, Make({{1, 2}, {3, 4}}));
  CMatrixd moved(std::move(copy));
  EXPECT_EQ(moved(0, 0), 9.0);
  EXPECT_EQ(copy.RowNo(), 0);  // NOLINT: moved-from is 0 × 0
  // Pivoting swaps row pointers inside copies only: the source keeps its row order.
  const CMatrixd swapped = Make({{0, 1}, {1, 0}});
  EXPECT_EQ(swapped.Det(), -1.0);
  EXPECT_EQ(!swapped, swapped);
  EXPECT_EQ(swapped, Make({{0, 1}, {1, 0}}));
}

// Operands whose sizes do not fit: unchanged, 0 × 0, or 0.0; never a read or
// write outside a matrix (AddressSanitizer watches each case).
TEST(MatrixTest, MismatchedAndSingularOperandsGiveDefinedAnswers) {
  const CMatrixd small = Make({{1, 2}}), big = Make({{1, 1, 1}, {1, 1, 1}});
  CMatrixd a = small;
  a += big;
  EXPECT_EQ(a, small);
  a -= big;
  EXPECT_EQ(a, small);
  CMatrixd grown = big;
  grown += small;  // b inside a: only b's part changes
  EXPECT_EQ(grown, Make({{2, 3, 1}, {1, 1, 1}}));
  EXPECT_EQ((big - small).RowNo(), 0);     // b smaller than a: refused
  EXPECT_EQ(small + big, Make({{2, 3}}));  // b larger: its upper-left part
  EXPECT_EQ(small - big, Make({{0, 1}}));
  EXPECT_EQ((big * small).RowNo(), 0);  // 3 columns, 1 row
  CMatrixd c = big;
  c *= small;
  EXPECT_EQ(c, big);
  EXPECT_EQ(big.Det(), 0.0);
  EXPECT_EQ(big.Adj().RowNo(), 0);
  EXPECT_EQ(big.Cond(), std::numeric_limits<double>::infinity());
  EXPECT_EQ((!big).RowNo(), 0);
  EXPECT_EQ(big.Solve(small).RowNo(), 0);
  const CMatrixd sq = Make({{1, 2}, {2, 4}});
  EXPECT_EQ(sq.Solve(Make({{1}, {2}})).RowNo(), 0);       // singular
  EXPECT_EQ(sq.Solve(Make({{1}, {2}, {3}})).RowNo(), 0);  // rows differ
  EXPECT_EQ((!sq).RowNo(), 0);
  EXPECT_EQ(sq.Cond(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(CMatrixd().Solve(CMatrixd(0, 3)).ColNO(), 3);
}

}  // namespace
