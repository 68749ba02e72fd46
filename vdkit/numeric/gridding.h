/// @file
/// Gridding: estimates a surface value z at unsampled places from scattered
/// samples (x, y, z) by ordinary kriging with a power covariance (KriginGrid),
/// inverse-distance weighting (DistanceGrid) and a least-squares polynomial
/// trend surface (TrendGrid).
///
/// ```
/// std::vector<SFloat3D> samples = ReadSamples();          // x, y, z
/// SGridLattice grid = SGridLattice::Regular(0, 10, 101, 0, 10, 101, 0.0f);
/// KriginGrid(samples, grid, 1.5f);                          // grid.z now holds the surface
/// float v = grid.At(50, 20);                                // node at (gx[20], gy[50])
/// ```
///
/// Each method has a point form, which writes the z of a list of targets, and a
/// grid form, which fills ny rows of nx values at the nodes (gx[c], gy[r]) and
/// may restrict samples and nodes to a boundary polygon (PtInRgn's float form:
/// fewer than 3 vertices restrict nothing). Nodes a grid form skips keep the
/// value they held on entry, so fill the grid before the call. The owning forms
/// (std::vector, SGridLattice) call the grid forms.
///
/// Results. Every form answers false, writing nothing, for a negative count, a
/// null array with a positive count (a null grid row included), or a work array
/// that cannot be had. Beyond that:
///
/// ```
/// KriginGrid  false only for those; ny < 1 or nx < 1 in the grid form.
/// DistanceGrid likewise.
/// TrendGrid   false also for n < 1, a negative order, or singular normal
///             equations (then nothing is written).
/// ```
///
/// The estimates, exactly (every path gives these values bit for bit, whatever
/// the thread count):
///
/// ```
/// Distances. Squared distances are (x - X)^2 + (y - Y)^2 in double precision
/// from the float coordinates.
/// Kriging. Candidates are the used samples in sample order; the ten nearest
/// are chosen by exchange: for p = 0 ... 9, every later entry with a strictly
/// smaller squared distance is swapped into place p. With K = min(10,
/// candidates) neighbours: K = 0 leaves a node unchanged (the point form
/// writes blank); K = 1 gives that sample's z; otherwise the (K + 1) system of
/// covariances C(h) = 9999 - h^alpha (h rounded to float first; C = 9999 for
/// h < 1e-5f), bordered by 9999 and a 0 corner, is solved by Gaussj, and the
/// estimate is the sum of weight * z in double, rounded to float. A singular
/// system gives 0.0 (and Gaussj's console line).
/// Inverse distance. num = den = 1e-30f; for every used sample in order
/// w = 1 / (sqrt(d2) + 1e-20); den += w; num += w * z; the estimate is
/// num / den, so a node with no used sample gets exactly 1.0.
/// Trend. Order k has (k + 1)(k + 2) / 2 terms: 1; x, y; x^2, xy, y^2; ...
/// each term pow(x, i) * pow(y, j) rounded to float. The normal equations are
/// float: each sample adds t_i * t_j (and z * t_i) in double, rounded back to
/// float after every step. The estimate is the sum of coefficient * term in
/// double, rounded to float.
/// ```
///
/// Samples with a NaN or infinite x or y take part in no estimate (as samples
/// outside the boundary). A NaN or infinite z spreads into the estimates it
/// takes part in. Kriging at a node with a NaN or infinite coordinate gives NaN
/// when it has two or more candidates (no distance is defined there); the other
/// methods apply their formulas to such nodes as they stand.
///
/// Threads. Every form runs on the calling thread unless SGridControl::nThreads
/// asks for more; the estimates never depend on the number. While several
/// threads krige, Gaussj's lines are held and handed to its handler from the
/// calling thread after the walk, in node order, as one thread would have sent
/// them; for that the call installs a handler of its own meanwhile, so set no
/// handler and start no other threaded kriging during it. Otherwise nothing
/// here keeps state between calls, and calls on different data may run
/// concurrently.
#pragma once

#include <cstdint>
#include <vector>

#include "vdkit/geometry/predicates.h"
#include "vdkit/platform/export.h"

/// What a caller may set for one call, and what the call reports back.
struct SGridControl {
  /// In: threads that share the nodes (0 and 1: the calling thread only). The
  /// estimates are the same for every value.
  int nThreads = 1;
  /// Out: linear systems Gaussj found singular. Kriging: nodes that got 0.0 for
  /// it. Trend: 1 when the normal equations were singular (the call failed).
  int64_t nSingular = 0;
};

/// A grid that owns its coordinates and values: node (r, c) lies at (gx[c], gy[r])
/// and holds z[r * gx.size() + c].
struct VDKIT_API SGridLattice {
  std::vector<float> gx;  ///< x of each column
  std::vector<float> gy;  ///< y of each row
  std::vector<float> z;   ///< the values, row by row

  /// nx columns at x0, x0 + dx, ... and ny rows at y0, y0 + dy, ... (computed in
  /// double, then rounded to float), every value `fill`. Negative counts give 0;
  /// a grid too large for memory comes back empty.
  static SGridLattice Regular(double x0, double dx, int nx, double y0, double dy, int ny, float fill);
  /// The number of columns and rows.
  ///@{
  int Cols() const { return static_cast<int>(gx.size()); }
  int Rows() const { return static_cast<int>(gy.size()); }
  ///@}
  /// The value of node (r, c), which must exist.
  ///@{
  float& At(int r, int c) { return z[static_cast<size_t>(r) * gx.size() + static_cast<size_t>(c)]; }
  float At(int r, int c) const { return z[static_cast<size_t>(r) * gx.size() + static_cast<size_t>(c)]; }
  ///@}
};

// ---- Kriging --------------------------------------------------------------------
/// Point form: the z of each of m targets from the ten nearest of n samples;
/// blank when n = 0.
VDKIT_API bool KriginGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float blank, float alpha,
                          SGridControl* ctl = nullptr);
/// One target from all n samples at once (no selection): a system of n + 1. A
/// singular system, and n = 0, give 0.0.
VDKIT_API bool KriginGrid(const SFloat3D* samples, int n, SFloat3D* target, float alpha,
                          SGridControl* ctl = nullptr);
/// Grid form. `blank` is not used. Samples and nodes outside the boundary
/// (px, py, np) are left out.
///@{
VDKIT_API bool KriginGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                          const float* gy, int ny, float* const* grid, float blank, float alpha,
                          const float* px, const float* py, int np, SGridControl* ctl = nullptr);
VDKIT_API bool KriginGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid, float alpha,
                          const std::vector<SFloat2D>& boundary = {}, SGridControl* ctl = nullptr);
///@}

// ---- Inverse distance ---------------------------------------------------------------
/// Point form; `unused` and `unusedCount` are not used.
VDKIT_API bool DistanceGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float unused,
                            int unusedCount, SGridControl* ctl = nullptr);
/// Grid forms; samples and nodes outside the boundary are left out.
///@{
VDKIT_API bool DistanceGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                            const float* gy, int ny, float* const* grid, float unused, int unusedCount,
                            const float* px, const float* py, int np, SGridControl* ctl = nullptr);
VDKIT_API bool DistanceGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid,
                            const std::vector<SFloat2D>& boundary = {}, SGridControl* ctl = nullptr);
///@}

// ---- Trend surface ---------------------------------------------------------------------
/// Polynomial of the given order fitted to the samples by least squares. The
/// grid form tests every sample and node against the boundary.
///@{
VDKIT_API bool TrendGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float unused, int order,
                         SGridControl* ctl = nullptr);
VDKIT_API bool TrendGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                         const float* gy, int ny, float* const* grid, float unused, int order,
                         const float* px, const float* py, int np, SGridControl* ctl = nullptr);
VDKIT_API bool TrendGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid, int order,
                         const std::vector<SFloat2D>& boundary = {}, SGridControl* ctl = nullptr);
///@}

// ---- End of public API ------------------------------------------------------------

namespace detail {
// Test seam: for each query (qx[i], qy[i]), the sample numbers of its kriging
// neighbours in selection order, written to ids[10 * i ...]; unused places get
// -1. Candidates are the samples with finite coordinates and, when inside is
// not null, inside[j] != 0. Answers false on bad counts or allocation failure.
VDKIT_API bool GridNeighbours(const float* x, const float* y, const unsigned char* inside, int n,
                              const float* qx, const float* qy, int nq, int* ids);
// Test seam: the widest vector walk the inverse-distance kernel may use (0
// none, 1 AVX2, 2 AVX-512; the processor's own limit still applies); answers
// the previous setting. Estimates are the same at every level.
VDKIT_API int SetGriddingVectorLimit(int limit);
}  // namespace detail
