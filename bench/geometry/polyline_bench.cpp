// CPolyline::Cut against GEOS's line-polygon intersection (GEOSIntersection_r
// of a LineString and a Polygon): a 100,000-point line clipped by one
// 1,000-vertex region, the same data for both in every case.
//
// Lines (argument "shape"), both simple (GEOS would otherwise also node the line's crossings of
// itself, work that Cut does not do): 0 "spiral", from the centre out in 40
// turns, short steps, crossing the wavy boundary a few hundred times like a
// contour; 1 "rows", a field survey going back and forth over 100 wavy rows of
// 1,000 points each, so that long runs lie inside and outside.
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <cmath>
#include <random>
#include <vector>

#include "vdkit/geometry/polyline.h"

namespace {

constexpr int kVertices = 1000;
constexpr int kPoints = 100000;

struct Data {
  CRegion region;
  CPolyline line;
  GEOSContextHandle_t ctx = nullptr;
  GEOSGeometry* geosLine = nullptr;
  GEOSGeometry* geosPolygon = nullptr;

  explicit Data(int shape) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> noise(0.f, 10.f);
    // A wavy outline like a map boundary, counter-clockwise.
    for (int i = 0; i < kVertices; ++i) {
      const double a = 2 * 3.14159265358979323846 * i / kVertices;
      const double r = 750 + 200 * std::sin(5 * a) + 30 * std::sin(37 * a) + noise(rng);
      region.Add(SFloat2D{float(r * std::cos(a)), float(r * std::sin(a))});
    }
    line.New(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      if (shape == 0) {
        const double t = double(i) / kPoints, a = 2 * 3.14159265358979323846 * 40 * t;
        line.Add(SFloat2D{float(1000 * t * std::cos(a)), float(1000 * t * std::sin(a))});
      } else {
        const int row = i / 1000, col = row % 2 ? 999 - i % 1000 : i % 1000;
        const double x = -1000 + 2 * col, y = -990 + 20 * row + 4 * std::sin(x / 7);
        line.Add(SFloat2D{float(x), float(y)});
      }
    }

    ctx = GEOS_init_r();
    GEOSCoordSequence* ls = GEOSCoordSeq_create_r(ctx, kPoints, 2);
    for (int i = 0; i < kPoints; ++i) GEOSCoordSeq_setXY_r(ctx, ls, i, line.GetAt(i).x, line.GetAt(i).y);
    geosLine = GEOSGeom_createLineString_r(ctx, ls);
    GEOSCoordSequence* rs = GEOSCoordSeq_create_r(ctx, kVertices + 1, 2);
    for (int i = 0; i <= kVertices; ++i)
      GEOSCoordSeq_setXY_r(ctx, rs, i, region[i].x, region[i].y);  // index count: the first again
    geosPolygon = GEOSGeom_createPolygon_r(ctx, GEOSGeom_createLinearRing_r(ctx, rs), nullptr, 0);
  }
  ~Data() {
    GEOSGeom_destroy_r(ctx, geosLine);
    GEOSGeom_destroy_r(ctx, geosPolygon);
    GEOS_finish_r(ctx);
  }
};

Data& GetData(const benchmark::State& state) {
  static Data curve(0), random(1);
  return state.range(0) == 0 ? curve : random;
}

void BM_PolylineCut_Cut(benchmark::State& state) {
  Data& d = GetData(state);
  CPolyPolyline pieces;
  for (auto _ : state) {
    d.line.Cut(d.region, pieces);
    benchmark::DoNotOptimize(pieces.GetSize());
  }
  state.counters["pieces"] = pieces.GetSize();
  state.SetItemsProcessed(state.iterations() * int64_t{kPoints});
}

void BM_PolylineCut_GeosIntersection(benchmark::State& state) {
  Data& d = GetData(state);
  int parts = 0;
  for (auto _ : state) {
    GEOSGeometry* result = GEOSIntersection_r(d.ctx, d.geosLine, d.geosPolygon);
    parts = GEOSGetNumGeometries_r(d.ctx, result);
    GEOSGeom_destroy_r(d.ctx, result);
    benchmark::DoNotOptimize(parts);
  }
  state.counters["pieces"] = parts;
  state.SetItemsProcessed(state.iterations() * int64_t{kPoints});
}

BENCHMARK(BM_PolylineCut_Cut)->ArgName("shape")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineCut_GeosIntersection)->ArgName("shape")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
