#include "vdkit/coord/coord_transform.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "vdkit/numeric/linear.h"

namespace {

// Squared distance below which (or, for some passes, at which) a pair of
// control points is too close to say anything about rotation or scale.
const double kMinPairDist2 = 50.0;

struct Fit {
  double x0, y0, sn, cs, kx, ky;
};

// Offset as the mean residue of the control points under rotation and scales.
void FitOffset(const CCoordTransform::Scaler* p, int n, Fit& f) {
  double x0 = 0, y0 = 0;
  for (int i = 0; i < n; ++i) {
    x0 += p[i].x1 - (f.kx * p[i].x2 * f.cs + f.ky * p[i].y2 * f.sn);
    y0 += p[i].y1 - (f.ky * f.cs * p[i].y2 - p[i].x2 * f.kx * f.sn);
  }
  f.x0 = x0 / n;
  f.y0 = y0 / n;
}

// A fit that has an inverse: finite, some rotation, non-zero scales.
bool Invertible(const Fit& f) {
  const double r2 = f.sn * f.sn + f.cs * f.cs;
  return std::isfinite(f.x0) && std::isfinite(f.y0) && std::isfinite(r2) && r2 > 0 && std::isfinite(f.kx) &&
         std::isfinite(f.ky) && f.kx != 0 && f.ky != 0;
}

}  // namespace

bool CCoordTransform::toCS1(double x, double y, double& X, double& Y) const {
  X = x * m_dCos * m_dKx + y * m_dSin * m_dKy + m_dX0;
  Y = y * m_dCos * m_dKy - x * m_dSin * m_dKx + m_dY0;
  return true;
}

bool CCoordTransform::toCS2(double X, double Y, double& x, double& y) const {
  // The rotation part [[cos, sin], [-sin, cos]] has determinant sin^2 + cos^2,
  // which is 1 only for a pure rotation; dividing by it makes this the inverse
  // of toCS1 for every fit.
  const double r2 = m_dSin * m_dSin + m_dCos * m_dCos, kx = m_dKx * r2, ky = m_dKy * r2;
  if (!(kx != 0 && ky != 0 && std::isfinite(kx) && std::isfinite(ky))) return false;
  const double dx = X - m_dX0, dy = Y - m_dY0;
  x = (dx * m_dCos - dy * m_dSin) / kx;
  y = (dx * m_dSin + dy * m_dCos) / ky;
  return true;
}

bool CCoordTransform::Scale(const Scaler* p, int n) {
  if (!p || n < 3) return false;
  Fit f{0, 0, 0, 0, 1, 1};
  int count = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      const double dx = p[j].x2 - p[i].x2, dy = p[j].y2 - p[i].y2;
      const double dX = p[j].x1 - p[i].x1, dY = p[j].y1 - p[i].y1, d = dx * dx + dy * dy;
      if (!(d > kMinPairDist2)) continue;
      f.sn += (dy * dX - dx * dY) / d;
      f.cs += (dx * dX + dy * dY) / d;
      ++count;
    }
  }
  if (count == 0) return false;
  f.sn /= count;
  f.cs /= count;
  FitOffset(p, n, f);
  if (!Invertible(f)) return false;  // e.g. all system-1 points coincide
  m_dX0 = f.x0, m_dY0 = f.y0, m_dSin = f.sn, m_dCos = f.cs, m_dKx = f.kx, m_dKy = f.ky;
  return true;
}

bool CCoordTransform::ScaleEx(const Scaler* p, int n) {
  if (!p || n < 3 || int64_t(n) * (n - 1) / 2 > INT_MAX) return false;
  // Scales: |dX|^2 + |dY|^2 = kx^2 dx^2 + ky^2 dy^2 for every pair, solved for kx^2, ky^2.
  std::vector<float> basis, target;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const double dx = p[j].x2 - p[i].x2, dy = p[j].y2 - p[i].y2;
      const double dX = p[j].x1 - p[i].x1, dY = p[j].y1 - p[i].y1, d = dX * dX + dY * dY;
      if (!(d >= kMinPairDist2)) continue;
      basis.push_back(static_cast<float>(dx * dx));
      basis.push_back(static_cast<float>(dy * dy));
      target.push_back(static_cast<float>(d));
    }
  }
  float c[2] = {0, 0};
  if (target.empty() || !LinearMatch(basis.data(), target.data(), static_cast<int>(target.size()), 2, c))
    return false;
  // A square scale that is not positive has no root: the fit does not describe these points.
  if (!(c[0] > 0 && c[1] > 0) || !std::isfinite(c[0]) || !std::isfinite(c[1])) return false;
  Fit f{0, 0, 0, 0, std::sqrt(double(c[0])), std::sqrt(double(c[1]))};

  int count = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const double u = f.kx * (p[j].x2 - p[i].x2), v = f.ky * (p[j].y2 - p[i].y2);
      const double dX = p[j].x1 - p[i].x1, dY = p[j].y1 - p[i].y1, d = u * u + v * v;
      if (!(d > kMinPairDist2)) continue;
      f.sn += (v * dX - u * dY) / d;
      f.cs += (u * dX + v * dY) / d;
      ++count;
    }
  }
  if (count == 0) return false;  // no rotation: sin = cos = 0 would map everything to the offset
  f.sn /= count;
  f.cs /= count;
  if (std::fabs(f.sn) > 1) f.sn = f.sn >= 0 ? 1.0 : -1.0;
  if (std::fabs(f.cs) > 1) f.cs = f.cs >= 0 ? 1.0 : -1.0;
  FitOffset(p, n, f);
  if (!Invertible(f)) return false;
  m_dX0 = f.x0, m_dY0 = f.y0, m_dSin = f.sn, m_dCos = f.cs, m_dKx = f.kx, m_dKy = f.ky;
  return true;
}
