// A line digitised on a scanned map sheet, smoothed with a Catmull-Rom curve
// and carried into ground coordinates twice: by a transform fitted from
// control points, and by the bilinear frame of the sheet's four corners.
// Lengths in feet through the unit table close the picture.
#include <cmath>
#include <cstdio>
#include <vector>

#include "vdkit/coord/coord_convert.h"
#include "vdkit/coord/coord_transform.h"
#include "vdkit/coord/unit_trans.h"
#include "vdkit/geometry/spline.h"

int main() {
  // The sheet in scanner pixels (system 2) and metres on the ground (system 1):
  // 0.5 m a pixel, turned 10 degrees, the sheet's corner at (431200, 5192600).
  const double turn = 10 * 3.141592653589793 / 180, c = std::cos(turn), s = std::sin(turn);
  const auto ground = [&](double px, double py, double& X, double& Y) {
    X = 431200 + 0.5 * (px * c + py * s);
    Y = 5192600 + 0.5 * (py * c - px * s);
  };
  const double corners[4][2] = {{0, 0}, {4000, 0}, {4000, 3000}, {0, 3000}};
  CCoordTransform::Scaler control[4];
  CCoordConvert sheet;
  for (int i = 0; i < 4; ++i) {
    double X, Y;
    ground(corners[i][0], corners[i][1], X, Y);
    control[i] = {X, Y, corners[i][0], corners[i][1]};
    sheet.SetScaler(i, X, Y, corners[i][0], corners[i][1]);  // corners in turn around the sheet
  }
  CCoordTransform fit;
  if (!fit.Scale(control, 4)) {
    std::printf("the control points do not determine a transform\n");
    return 1;
  }
  std::printf("fitted: cos %.6f sin %.6f offset (%.3f, %.3f)\n", fit.m_dCos, fit.m_dSin, fit.m_dX0, fit.m_dY0);

  // A river traced with a few clicks, smoothed with 7 points between clicks.
  const SFloat2D clicks[] = {{310, 2650}, {820, 2310}, {1400, 2420}, {1950, 1800}, {2600, 1500}, {3480, 1620}};
  const std::vector<SFloat2D> river = Spline2D(clicks, 6, false, 7);
  std::printf("%d clicks smoothed to %zu points\n", 6, river.size());

  double length = 0, px = 0, py = 0, worst = 0;
  for (size_t i = 0; i < river.size(); ++i) {
    double X, Y, x2, y2, bx, by;
    fit.toCS1(river[i].x, river[i].y, X, Y);
    if (!sheet.toCS1(river[i].x, river[i].y, bx, by) || !fit.toCS2(X, Y, x2, y2)) return 1;
    worst = std::fmax(worst, std::hypot(bx - X, by - Y));  // both carry the sheet the same way
    if (i) length += std::hypot(X - px, Y - py);
    px = X, py = Y;
    if (i % 14 == 0)
      std::printf("  pixel (%7.1f, %7.1f) -> ground (%.2f, %.2f) -> pixel (%.1f, %.1f)\n", river[i].x, river[i].y,
                  X, Y, x2, y2);
  }
  CUnitTrans units("Meters", "Feet");
  std::printf("river length %.1f m = %.1f ft; transform and corner frame differ by %.1e m at most\n", length,
              units.toUnit2(length), worst);
  return 0;
}
