/// @file
/// CCoordTransform converts points between two plane coordinate systems
/// (system 1 and system 2) by a rotation with per-axis scales and an offset,
/// fitted from control points known in both systems.
///
/// ```
/// CCoordTransform::Scaler pts[] = {{100, 200, 0, 0}, {110, 200, 10, 0}, {100, 215, 0, 15}};
/// CCoordTransform tr;
/// if (tr.Scale(pts, 3)) {               // offset and rotation (with a common scale)
///   double X, Y;
///   tr.toCS1(5, 5, X, Y);               // (105, 205)
/// }
/// ```
///
/// The mapping from system 2 (x, y) to system 1 (X, Y), with the public fields:
///
/// ```
/// X = x cos kx + y sin ky + X0
/// Y = y cos ky - x sin kx + Y0
/// ```
/// sin and cos need not make a pure rotation: Scale leaves kx = ky = 1 and
/// lets them carry the common scale (cos = 2 for X = 2x), and toCS2 inverts
/// the mapping whatever they are.
///
/// Failure: a fit answers false and leaves the transform as it was when the
/// control points cannot determine one (fewer than three, none far enough
/// apart, coincident in one system, scales that do not fit). toCS2 answers
/// false, outputs untouched, for a transform without an inverse (sin and cos
/// both zero, or a zero scale). A new transform is the identity.
#pragma once

#include "vdkit/platform/types.h"

/// A rotation, two scales and an offset between two plane systems, fitted from
/// control points (see the file's description).
class VDKIT_API CCoordTransform {
 public:
  /// A control point: (x1, y1) in system 1, (x2, y2) in system 2.
  struct Scaler {
    double x1;  ///< X in system 1
    double y1;  ///< Y in system 1
    double x2;  ///< x in system 2
    double y2;  ///< y in system 2
  };

  /// System 2 (x, y) to system 1 (X, Y); always true.
  bool toCS1(double x, double y, double& X, double& Y) const;
  /// System 1 (X, Y) to system 2 (x, y), the exact inverse of toCS1.
  bool toCS2(double X, double Y, double& x, double& y) const;

  /// Fits offset and rotation with kx = ky = 1: sin and cos are the means,
  /// over every ordered pair of control points more than sqrt(50) apart in
  /// system 2, of the rotation and scale that carries the pair's system-2
  /// difference onto its system-1 difference; the offset is the mean residue.
  bool Scale(const Scaler* p, int n);
  /// Fits separate scales first: kx^2 and ky^2 by least squares over the
  /// pairs at least sqrt(50) apart in system 1 (in single precision), then
  /// rotation and offset as Scale does on the scaled system-2 differences
  /// (pairs more than sqrt(50) apart after scaling), with sin and cos each
  /// clamped to [-1, 1].
  bool ScaleEx(const Scaler* p, int n);

  double m_dX0 = 0.0;   ///< offset in system 1, X
  double m_dY0 = 0.0;   ///< offset in system 1, Y
  double m_dSin = 0.0;  ///< rotation: sine
  double m_dCos = 1.0;  ///< rotation: cosine
  double m_dKx = 1.0;   ///< scale of the system-2 x axis
  double m_dKy = 1.0;   ///< scale of the system-2 y axis
};
