/// @file
/// CGeomData: the geometry and values of a structured three-dimensional grid,
/// as gridding and section tools produce and consume them. Two flat float
/// arrays: the plane position of each of the nx * ny columns, and a value
/// ("depth") at each of the nx * ny * nz nodes.
///
/// ```
/// CGeomData g;
/// g.newxyz(3, 2, 4);         // 6 columns, 24 nodes, contents undefined
/// g.x(2, 1) = 10.0f;         // column i + nx * j: xy[2 * 5]
/// g.depth(1, 1, 2) = -7.5f;  // node i + nx * j + nx * ny * k: depth[16]
/// float lo, hi;
/// g.depth(&lo, &hi);         // range over all 24 values
/// ```
///
/// Layout: xy holds x and y of column n at 2n and 2n + 1; depth holds node
/// (i, j, k) at i + nx * j + nx * ny * k. The accessors do not test indices.
///
/// Empty state: both arrays null (IsEmpty). A new object, one after Empty, and
/// one sized with a zero dimension are empty; their range scans answer false.
///
/// Ownership: the object owns both arrays. Copies are deep (each copy has
/// arrays of its own); newxyz and Empty free the arrays, invalidating pointers
/// from xy(), depth() and the reference accessors.
#pragma once

#include "vdkit/platform/types.h"

/// The geometry of a structured grid: x and y of each column and a depth at each
/// node (see the file's description).
class VDKIT_API CGeomData {
 public:
  CGeomData() = default;
  CGeomData(const CGeomData& other);      ///< deep: arrays of its own
  CGeomData(CGeomData&& other) noexcept;  ///< takes the arrays; other is left empty
  /// Deep: the framework's class copied the six fields, so that two objects
  /// freed the same arrays.
  CGeomData& operator=(const CGeomData& other);
  CGeomData& operator=(CGeomData&& other) noexcept;  ///< takes the arrays; other is left empty
  ~CGeomData();

  /// Frees both arrays and allocates them anew (contents undefined) for
  /// nx * ny columns and nx * ny * nz nodes; a zero count allocates nothing.
  /// False, and the object unchanged, for a negative size, counts (including
  /// 2 * nx * ny) beyond the 32-bit range, or memory that cannot be had.
  bool newxyz(int nx, int ny, int nz);
  bool IsEmpty() const { return !m_pXY && !m_pDepth; }  ///< whether both arrays are null
  /// Frees both arrays and sets all sizes to zero.
  void Empty();

  /// The sizes given to newxyz: columns along i and j, nodes along k.
  ///@{
  int nx() const { return m_nX; }
  int ny() const { return m_nY; }
  int nz() const { return m_nZ; }
  ///@}
  /// nx * ny, as set by newxyz (vdkit extension).
  int nxy() const { return m_nXY; }
  /// The arrays (null when empty), laid out as described above.
  ///@{
  float* xy() { return m_pXY; }
  const float* xy() const { return m_pXY; }
  float* depth() { return m_pDepth; }
  const float* depth() const { return m_pDepth; }
  ///@}

  /// Column n = i + nx * j.
  ///@{
  float& x(int n) { return m_pXY[2 * n]; }
  float& y(int n) { return m_pXY[2 * n + 1]; }
  float& x(int i, int j) { return x(i + m_nX * j); }
  float& y(int i, int j) { return y(i + m_nX * j); }
  float& depth(int n) { return m_pDepth[n]; }
  float& depth(int i, int j, int k) { return m_pDepth[i + m_nX * j + m_nXY * k]; }
  ///@}

  /// Ranges over all columns (x, y) or all nodes (depth). False, outputs
  /// untouched, when the array is missing or empty. A NaN at the start is
  /// kept: later values compare neither below nor above it.
  ///@{
  bool x(float* pMin, float* pMax) const;
  bool y(float* pMin, float* pMax) const;
  bool depth(float* pMin, float* pMax) const;
  ///@}

 private:
  float* m_pXY = nullptr;
  float* m_pDepth = nullptr;
  int m_nX = 0;
  int m_nY = 0;
  int m_nZ = 0;
  int m_nXY = 0;
};
