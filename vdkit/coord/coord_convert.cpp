#include "vdkit/coord/coord_convert.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Solving for the parameters. With e = P - K0 the frame equation is
// s (u + t w) = e - t v; crossing both sides with u + t w removes s and leaves
//   a2 t^2 + a1 t + a0 = 0,  a2 = cross(w, v), a1 = cross(e, w) + cross(u, v),
//   a0 = cross(e, u)
// (a2 is 0 with three corners or a twist parallel to v: one linear root).
// Both roots come from the cancellation-free pair q / a2 and a0 / q, so a
// nearly parallel frame (tiny a2) loses nothing; s then comes from the
// projection of e - t v on u + t w, which uses whichever coordinate carries
// the information. Of two roots the one whose (s, t) lies nearest the unit
// square wins: inside a convex frame it is the only one there.

namespace {

// Corner cross products smaller than this fraction of the frame's squared
// extent count as zero: the frame is flat there.
const double kFlat = 1e-12;

double Cross(double ax, double ay, double bx, double by) {
  return ax * by - ay * bx;
}

// How far v lies outside [0, 1].
double Outside(double v) {
  return v < 0 ? -v : v > 1 ? v - 1 : 0;
}

const double kNone = std::numeric_limits<double>::infinity();  // no usable root

}  // namespace

CCoordConvert::CCoordConvert() : m_b2Valid(false), m_scalers() {
  Refresh();
}

void CCoordConvert::SetScaler(int nIndex, double x1, double y1, double x2, double y2) {
  if (nIndex < 0 || nIndex > 3) return;
  m_scalers[nIndex] = Scaler{x1, y1, x2, y2};
  if (nIndex == 2) m_b2Valid = true;
  Refresh();
}

const CCoordConvert::Scaler* CCoordConvert::GetScaler(int nIndex) const {
  return nIndex >= 0 && nIndex <= 3 ? &m_scalers[nIndex] : nullptr;
}

void CCoordConvert::GetScaler(int nIndex, double& x1, double& y1, double& x2, double& y2) const {
  if (const Scaler* p = GetScaler(nIndex)) x1 = p->x1, y1 = p->y1, x2 = p->x2, y2 = p->y2;
}

void CCoordConvert::Set2Valid(bool b2Valid) {
  m_b2Valid = b2Valid;
  Refresh();
}

void CCoordConvert::Refresh() {
  double x1[4], y1[4], x2[4], y2[4];
  for (int i = 0; i < 4; ++i)
    x1[i] = m_scalers[i].x1, y1[i] = m_scalers[i].y1, x2[i] = m_scalers[i].x2, y2[i] = m_scalers[i].y2;
  m_frame1 = MakeFrame(x1, y1, m_b2Valid);
  m_frame2 = MakeFrame(x2, y2, m_b2Valid);
}

CCoordConvert::Frame CCoordConvert::MakeFrame(const double (&xs)[4], const double (&ys)[4], bool four) {
  Frame f{};
  f.x0 = xs[0], f.y0 = ys[0];
  f.ux = xs[3] - xs[0], f.uy = ys[3] - ys[0];
  f.vx = xs[1] - xs[0], f.vy = ys[1] - ys[0];
  if (four) f.wx = xs[2] - xs[1] - xs[3] + xs[0], f.wy = ys[2] - ys[1] - ys[3] + ys[0];
  f.cuv = Cross(f.ux, f.uy, f.vx, f.vy);
  f.cwv = Cross(f.wx, f.wy, f.vx, f.vy);

  double lox = xs[0], hix = xs[0], loy = ys[0], hiy = ys[0];
  for (int i = 1; i < 4; ++i) {
    if (i == 2 && !four) continue;
    if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) return f;
    lox = std::min(lox, xs[i]), hix = std::max(hix, xs[i]);
    loy = std::min(loy, ys[i]), hiy = std::max(hiy, ys[i]);
  }
  const double tol = kFlat * ((hix - lox) * (hix - lox) + (hiy - loy) * (hiy - loy));
  if (!std::isfinite(tol) || !std::isfinite(f.cwv)) return f;  // also K0 not finite
  if (!four) {
    f.ok = std::fabs(f.cuv) > tol;
    return f;
  }
  // The Jacobian cross(u + t w, v + s w) is affine in s and t, so one strict
  // sign at the four corners means one sign over the whole frame: the mapping
  // is one-to-one there.
  const double j[4] = {f.cuv, Cross(f.ux, f.uy, f.vx + f.wx, f.vy + f.wy),
                       Cross(f.ux + f.wx, f.uy + f.wy, f.vx, f.vy),
                       Cross(f.ux + f.wx, f.uy + f.wy, f.vx + f.wx, f.vy + f.wy)};
  f.ok = std::all_of(j, j + 4, [tol](double v) { return v > tol; }) ||
         std::all_of(j, j + 4, [tol](double v) { return v < -tol; });
  return f;
}

bool CCoordConvert::Solve(const Frame& f, double x, double y, double& t, double& s) {
  if (!f.ok) return false;
  const double ex = x - f.x0, ey = y - f.y0;
  const double a2 = f.cwv, a1 = Cross(ex, ey, f.wx, f.wy) + f.cuv, a0 = Cross(ex, ey, f.ux, f.uy);
  double t1, t2 = 0;
  bool two = false;
  if (a2 == 0) {
    if (a1 == 0) return false;
    t1 = -a0 / a1;
  } else {
    double disc = a1 * a1 - 4 * a2 * a0;
    if (disc < 0) {
      // A tangent root may come out a little below zero; far below, nothing maps to the point.
      if (disc < -kFlat * (a1 * a1 + std::fabs(4 * a2 * a0))) return false;
      disc = 0;
    }
    const double q = -0.5 * (a1 + std::copysign(std::sqrt(disc), a1));
    t1 = q == 0 ? 0.0 : a0 / q;  // q = 0: the double root 0
    t2 = q / a2;
    two = q != 0;
  }
  // s for a root, and how far (s, t) lies outside the unit square (infinite
  // when the edge at t has no length or nothing is finite).
  const auto param = [&f, ex, ey](double r, double& sr) {
    const double dx = f.ux + r * f.wx, dy = f.uy + r * f.wy, dd = dx * dx + dy * dy;
    sr = ((ex - r * f.vx) * dx + (ey - r * f.vy) * dy) / dd;
    const double score = std::max(Outside(r), Outside(sr));  // NaN-free when dd > 0 and r is finite
    return dd > 0 && score < kNone ? score : kNone;
  };
  double s1, s2, score2;
  double score = param(t1, s1);
  if (two && score > 0 && (score2 = param(t2, s2)) < score) t1 = t2, s1 = s2, score = score2;
  if (score == kNone) return false;
  t = t1;
  s = s1;
  return true;
}

bool CCoordConvert::GetK1(double x, double y, double& t, double& s) const {
  return Solve(m_frame1, x, y, t, s);
}

bool CCoordConvert::GetK2(double x, double y, double& t, double& s) const {
  return Solve(m_frame2, x, y, t, s);
}

bool CCoordConvert::Map(const Frame& from, bool toSystem1, double x, double y, double& outX,
                        double& outY) const {
  double t, s;
  if (!Solve(from, x, y, t, s)) return false;
  // The target corners, interpolated along s on the edges K0 -> K3 and
  // K1 -> K2 (K1 -> K1 + K3 - K0 with three corners), then along t between them.
  const auto at = [this, t, s](double l0, double l1, double l2, double l3) {
    const double a = l0 + (l3 - l0) * s;
    const double b = m_b2Valid ? l1 + (l2 - l1) * s : l1 + (l3 - l0) * s;
    return a + (b - a) * t;
  };
  const Scaler* k = m_scalers;
  if (toSystem1) {
    outX = at(k[0].x1, k[1].x1, k[2].x1, k[3].x1);
    outY = at(k[0].y1, k[1].y1, k[2].y1, k[3].y1);
  } else {
    outX = at(k[0].x2, k[1].x2, k[2].x2, k[3].x2);
    outY = at(k[0].y2, k[1].y2, k[2].y2, k[3].y2);
  }
  return true;
}

bool CCoordConvert::toCS1(double x, double y, double& X, double& Y) const {
  return Map(m_frame2, true, x, y, X, Y);
}

bool CCoordConvert::toCS2(double X, double Y, double& x, double& y) const {
  return Map(m_frame1, false, X, Y, x, y);
}
