// Helpers shared by the polyline and region tests (not part of the library).
#pragma once

#include <algorithm>
#include <vector>

#include "vdkit/geometry/polyline.h"

namespace shapes_test {

using Points = std::vector<SFloat2D>;

inline CPolyline Line(const Points& pts, bool closed = false) {
  CPolyline line(closed);
  for (const SFloat2D& p : pts) line.Add(p);
  return line;
}

inline CRegion Region(const Points& pts) {
  CRegion rgn;
  for (const SFloat2D& p : pts) rgn.Add(p);
  return rgn;
}

template <class Shape>
Points PointsOf(const Shape& s) {
  return Points(s.GetData(), s.GetData() + s.GetSize());
}

// Exact equality of every coordinate.
inline bool Same(const Points& a, const Points& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](SFloat2D p, SFloat2D q) { return p.x == q.x && p.y == q.y; });
}

const Points kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};

}  // namespace shapes_test
