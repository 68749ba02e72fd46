/// @file
/// CCoordConvert converts points between two plane coordinate systems
/// (system 1 and system 2) through three or four control points known in
/// both, for example the corners of a scanned map sheet and their ground
/// coordinates. With four (control point 2 set) it maps by bilinear
/// interpolation inside the quadrilateral of the corners; with three, affinely
/// over the parallelogram of control points 0, 1 and 3.
///
/// ```
/// CCoordConvert cc;
/// cc.SetScaler(0, 0, 0, 100, 200);       // x1, y1 in system 1; x2, y2 in system 2
/// cc.SetScaler(1, 10, 0, 120, 200);
/// cc.SetScaler(2, 10, 10, 125, 230);     // setting corner 2 selects four corners
/// cc.SetScaler(3, 0, 10, 100, 220);
/// double x2, y2;
/// if (cc.toCS2(5, 5, x2, y2)) { ... }    // false for a degenerate frame
/// ```
///
/// The frame. With corners K0 .. K3 of one system, the point of parameters
/// (s, t) is K0 + s (K3 - K0) + t (K1 - K0) + s t (K2 - K1 - K3 + K0), the last
/// term only with four corners: s runs along the edge K0 -> K3, t from that
/// edge to the edge K1 -> K2. Inside the frame both lie in [0, 1]. A
/// conversion finds (s, t) of the point in the source frame and evaluates the
/// same parameters in the target frame; points outside extrapolate.
///
/// Failure: a conversion answers false, outputs untouched, when the source
/// frame has no inverse: corners not finite, coincident or on one line (three
/// corners), or four corners that do not make a strictly convex quadrilateral
/// (coincident, three on one line, concave or twisted), where the mapping
/// folds; and for a point that no parameters reach (far outside a frame whose
/// mapping does not cover the plane). A new object's corners are all zero, so
/// it converts nothing. The target frame is not checked: any corners can be
/// evaluated.
///
/// Accuracy: for a strictly convex frame in both systems, toCS1(toCS2(p))
/// returns p within 1e-9 of the frame's extent for every p inside the frame
/// and, in practice, a margin around it (the random tests use a quarter of
/// the frame's size).
#pragma once

#include "vdkit/coord/coord_transform.h"
#include "vdkit/platform/types.h"

/// Conversion between two plane systems by three or four control points at the
/// corners of a frame (see the file's description).
class VDKIT_API CCoordConvert {
 public:
  /// A control point: (x1, y1) in system 1, (x2, y2) in system 2; the same
  /// record as CCoordTransform's, so one array of control points serves both.
  using Scaler = CCoordTransform::Scaler;

  /// All control points zero, three-corner mode.
  CCoordConvert();

  /// Stores control point nIndex (0 .. 3); index 2 also selects four-corner
  /// mode. Other indices are ignored.
  void SetScaler(int nIndex, double x1, double y1, double x2, double y2);
  /// Control point nIndex (0 .. 3), or null.
  const Scaler* GetScaler(int nIndex) const;
  /// Copies control point nIndex (0 .. 3); outputs untouched for other indices.
  void GetScaler(int nIndex, double& x1, double& y1, double& x2, double& y2) const;
  /// Four-corner mode on or off; three-corner mode ignores control point 2.
  void Set2Valid(bool b2Valid);
  bool Is2Valid() const { return m_b2Valid; }  ///< whether four-corner mode is on

  /// System 2 (x, y) to system 1 (X, Y).
  bool toCS1(double x, double y, double& X, double& Y) const;
  /// System 1 (X, Y) to system 2 (x, y).
  bool toCS2(double X, double Y, double& x, double& y) const;

 protected:
  /// Parameters (t, s) of a point within the system-1 (GetK1) or system-2
  /// (GetK2) corners: t first, then s. False, outputs untouched, as for the
  /// conversions.
  ///@{
  bool GetK1(double x, double y, double& t, double& s) const;
  bool GetK2(double x, double y, double& t, double& s) const;
  ///@}

 private:
  /// The corners of one system, prepared for solving: K0, the edge vectors
  /// u = K3 - K0 and v = K1 - K0, the twist w = K2 - K1 - K3 + K0 (zero with
  /// three corners), and cross products that do not depend on the point.
  struct Frame {
    double x0, y0, ux, uy, vx, vy, wx, wy;
    double cuv;  ///< cross(u, v)
    double cwv;  ///< cross(w, v)
    bool ok;     ///< has an inverse
  };
  static Frame MakeFrame(const double (&xs)[4], const double (&ys)[4], bool four);
  static bool Solve(const Frame& f, double x, double y, double& t, double& s);
  void Refresh();
  bool Map(const Frame& from, bool toSystem1, double x, double y, double& outX, double& outY) const;

  bool m_b2Valid;
  Scaler m_scalers[4];
  Frame m_frame1;  ///< system 1 corners, kept in step by every setter
  Frame m_frame2;
};
