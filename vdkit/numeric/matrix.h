/// @file
/// Dense matrices of doubles (CMatrixd) and the work-array allocators of the
/// numerical code (StRuCt1, StRuCt2, StRuCt3, DiMeNs2, DiMeNs3).
///
/// ```
/// CMatrixd a(3, 3);
/// a.Null();  a(0, 0) = 4;  a(1, 1) = 2;  a(2, 2) = 1;
/// CMatrixd x = a.Solve(b);          // b: 3 rows, any number of columns
/// if (x.RowNo() == 0) { /* a singular or the sizes do not fit */ }
/// double d = a.Det();               // 8
/// CMatrixd inv = !a;                // empty when a is singular
/// ```
///
/// The allocators build one-, two- and three-dimensional arrays of any element
/// size, addressed through pointer tables, each in a single heap block that one
/// `free` releases:
///
/// ```
/// float** a = (float**)StRuCt2(rows, cols, sizeof(float));   // all zero
/// a[i][j] = 1.0f;
/// free(a);                                                    // table and rows at once
/// ```
///
/// The pointer tables hold this platform's pointers (8 bytes on 64-bit Linux),
/// so a block is larger than the same array was on a 32-bit platform; row
/// strides are exactly cols × size, as there.
///
/// Every dimension below 1 counts as 1. The result is null when the element
/// size is below 1, when the block's size does not fit in memory's address
/// range (a product of the dimensions overflows), or when the heap is
/// exhausted. Nothing here throws.
#pragma once

#include "vdkit/platform/export.h"

// ---- Work-array allocators ----------------------------------------------------
extern "C" {

/// A zeroed block of max(count, 1) × size bytes.
VDKIT_API void* StRuCt1(int count, int size);

/// A table of R = max(rows, 1) row pointers followed by R rows of
/// max(cols, 1) × size bytes, all zero; entry i points at row i. Returns the table.
VDKIT_API void* StRuCt2(int rows, int cols, int size);

/// A table of D0 = max(d0, 1) pointers, then D0 × D1 pointers (D1 = max(d1, 1)),
/// then D0 × D1 rows of max(d2, 1) × size bytes, all zero. Entry i of the first
/// table points at the i-th group of D1 pointers; pointer (i, j) points at row
/// i·D1 + j, so p[i][j][k] is element k of that row. Returns the first table.
VDKIT_API void* StRuCt3(int d0, int d1, int d2, int size);

/// A table of max(rows, 1) pointers over the caller's data: entry i is
/// data + i × max(cols, 1) × size. Null data gives null. Free the table; the
/// data stays the caller's.
VDKIT_API void* DiMeNs2(void* data, int rows, int cols, int size);

/// One block of D0 pointers followed by D0 × D1 pointers over the caller's
/// data (D0 = max(d0, 1), D1 = max(d1, 1)): entry (i, j) is
/// data + (i·D1 + j) × max(d2, 1) × size. Null data gives null.
VDKIT_API void* DiMeNs3(void* data, int d0, int d1, int d2, int size);

}  // extern "C"

// ---- Dense matrix -------------------------------------------------------------
/// A rows × cols matrix of doubles with value semantics: copies are deep and
/// never share storage. Element (i, j) is row i, column j, from 0. Rows are
/// held through a row table, so pivoting swaps rows in constant time.
///
/// Empty matrices: a matrix with a zero dimension holds no storage (the
/// default-constructed one is 0 × 0). Negative sizes count as 0, and a size
/// whose storage cannot be had (the heap is exhausted, or rows × cols doubles
/// overflow the address range) gives a 0 × 0 matrix; nothing throws.
///
/// Sizes of operands: where the sizes of two operands do not fit, the compound
/// operators leave the matrix unchanged and the others answer a 0 × 0 matrix;
/// the rules are given with each operator. So are the answers for singular
/// matrices. All comparisons of elements are exact.
class VDKIT_API CMatrixd {
 public:
  // ---- Construction, size and access
  /// rows × cols with all elements 0.
  CMatrixd(int rows = 0, int cols = 0);
  CMatrixd(const CMatrixd& other);      ///< deep copy
  CMatrixd(CMatrixd&& other) noexcept;  ///< vdkit: leaves other 0 × 0
  ~CMatrixd();
  /// Takes other's size and elements; assigning to itself changes nothing.
  CMatrixd& operator=(const CMatrixd& other);
  CMatrixd& operator=(CMatrixd&& other) noexcept;  ///< vdkit: leaves other 0 × 0

  /// Gives the matrix rows × cols; elements inside both the old and the new
  /// size keep their values, all others are 0.
  void SetSize(int rows, int cols);
  /// Element (i, j); 0 <= i < RowNo() and 0 <= j < ColNO() is the caller's duty.
  double& operator()(int i, int j) { return m_ppData[i][j]; }
  const double& operator()(int i, int j) const { return m_ppData[i][j]; }  ///< vdkit
  int RowNo() const { return m_nRows; }                                    ///< the number of rows
  int ColNO() const { return m_nCols; }                                    ///< the number of columns
  bool IsSquare() const { return m_nRows == m_nCols; }  ///< rows == columns (0 × 0 included)

  // ---- Filling
  /// rows × cols of zeros.
  void Null(const int& rows, const int& cols);
  /// Every element 0, size unchanged.
  void Null();
  /// The n × n identity.
  void Unit(const int& n);
  /// Shrinks the size to the smaller of rows and cols (the storage stays; a
  /// later SetSize, Null or assignment brings the other elements back as 0 or
  /// overwrites them) and makes that square the identity.
  void Unit();

  // ---- Arithmetic
  /// Element-wise over b's rows × cols, which must lie inside this matrix;
  /// otherwise the matrix is unchanged.
  ///@{
  CMatrixd& operator+=(const CMatrixd& b);
  CMatrixd& operator-=(const CMatrixd& b);
  ///@}
  CMatrixd& operator*=(const double& d);  ///< multiplies every element by d
  /// Divides every element by d (unlike a / d, which multiplies by 1.0 / d).
  CMatrixd& operator/=(const double& d);
  /// *this · b; unchanged when the product is refused (see operator*).
  CMatrixd& operator*=(const CMatrixd& b);
  /// The n-th power of a square matrix: n = 0 the identity, n = 1 unchanged,
  /// n = 2 the product *this · *this. Negative n, and any n for a matrix that
  /// is not square, leave it unchanged.
  CMatrixd& operator^=(const int& n);
  CMatrixd operator-() const;  ///< every element negated
  CMatrixd operator+() const;  ///< a copy

  // ---- Linear algebra
  /// X with A · X = b for this square A and a b of A's row count (any number
  /// of columns); X has b's size. Partial pivoting with the earliest row among
  /// equal magnitudes. 0 × 0 when A is not square, b's row count differs, or
  /// a column finds no non-zero pivot (A is singular).
  CMatrixd Solve(const CMatrixd& b) const;
  /// Determinant by elimination with partial pivoting; 1.0 for 0 × 0, 0.0 as
  /// soon as a column has no non-zero pivot, and 0.0 for a matrix that is not
  /// square.
  double Det() const;
  /// Frobenius norm (square root of the sum of squares); 0.0 for an empty matrix.
  double Norm() const;
  /// Norm() times the norm of the inverse; +infinity when there is no inverse
  /// (singular, or not square).
  double Cond() const;
  /// The determinant of the minor without row i and column j, negated when
  /// i + j is odd; 0.0 when the matrix is not square or (i, j) lies outside it.
  double Cofact(int i, int j) const;
  /// The transposed matrix of cofactors; 0 × 0 when the matrix is not square.
  CMatrixd Adj() const;
  /// Square and Det() == 0.0; a matrix that is not square is not singular.
  bool IsSingular() const;

  // ---- Structural tests (exact; each false for a matrix that is not square,
  // except IsNull)
  bool IsDiagonal() const;        ///< every element off the diagonal 0; 0 × 0 is diagonal
  bool IsScalar() const;          ///< diagonal, every diagonal element equal; 0 × 0: true
  bool IsUnit() const;            ///< scalar with 1.0 on the diagonal; 0 × 0: true
  bool IsNull() const;            ///< every element 0, any shape
  bool IsSymmetric() const;       ///< (i, j) == (j, i)
  bool IsSkewSymmetric() const;   ///< (i, j) == -(j, i), so the diagonal is 0
  bool IsUpperTiangular() const;  ///< every element below the diagonal 0
  bool IsLowerTiangular() const;  ///< every element above the diagonal 0

 private:
  friend VDKIT_API CMatrixd operator!(CMatrixd a);

  /// Storage change to rows × cols, keeping the overlap with the old size.
  /// Storage already of that size is kept as it is. False, with the matrix
  /// 0 × 0, when the storage cannot be had.
  bool realloc(int rows, int cols);
  /// Partial pivot in column k over rows k …: the row of strictly largest
  /// non-zero magnitude, the earliest among equals, is swapped into row k.
  /// -1 when the column has no non-zero entry (nothing swapped), 0 when row k
  /// stays, otherwise the row swapped in.
  int pivot(int k);
  /// Rows that hold storage: m_nRows, or 0 for a matrix without storage.
  int StoredRows() const { return m_ppData ? m_nRows : 0; }
  void Release();

  double** m_ppData = nullptr;  ///< row table, rows after it in the same block; null when empty
  int m_nRows = 0;
  int m_nCols = 0;
  int m_nAllocRows = 0;  ///< rows held in the table
  int m_nAllocCols = 0;  ///< length of each held row
};

/// Both sizes equal and every element equal.
VDKIT_API bool operator==(const CMatrixd& a, const CMatrixd& b);
VDKIT_API bool operator!=(const CMatrixd& a, const CMatrixd& b);  ///< !(a == b)
/// a's size, element-wise; b must be at least a's size in both dimensions
/// (only its upper-left part is used), otherwise 0 × 0.
///@{
VDKIT_API CMatrixd operator+(const CMatrixd& a, const CMatrixd& b);
VDKIT_API CMatrixd operator-(const CMatrixd& a, const CMatrixd& b);
///@}
/// Every element of a times d.
///@{
VDKIT_API CMatrixd operator*(const CMatrixd& a, const double& d);
VDKIT_API CMatrixd operator*(const double& d, const CMatrixd& a);
///@}
/// a.rows × b.cols; element (i, j) sums a(i, k) · b(k, j) for k = 0 … a.cols − 1
/// in that order, starting from 0. b needs at least a.cols rows, otherwise 0 × 0.
VDKIT_API CMatrixd operator*(const CMatrixd& a, const CMatrixd& b);
/// a · (!b); 0 × 0 when b has no inverse.
VDKIT_API CMatrixd operator/(const CMatrixd& a, const CMatrixd& b);
/// a · (1.0 / d).
VDKIT_API CMatrixd operator/(const CMatrixd& a, const double& d);
/// (!a) · d; 0 × 0 when a has no inverse.
VDKIT_API CMatrixd operator/(const double& d, const CMatrixd& a);
/// A copy of a raised to the power n as by ^=.
VDKIT_API CMatrixd operator^(const CMatrixd& a, const int& n);
/// The transpose: a.cols × a.rows.
VDKIT_API CMatrixd operator~(const CMatrixd& a);
/// The inverse of a square matrix by Gauss-Jordan elimination with partial
/// pivoting (the caller's matrix is not changed). 0 × 0 when a is not square or
/// a column finds no non-zero pivot (a is singular); test IsSingular first to
/// tell an empty a from a singular one.
VDKIT_API CMatrixd operator!(CMatrixd a);
