// CPolyline::Cut against GEOS's line-polygon intersection (GEOSIntersection_r
// of a LineString and a Polygon): a 100,000-point line clipped by one
// 1,000-vertex region, the same data for both in every case.
//
// Lines: 0 "curve", a Lissajous curve sweeping the region in short steps
// (a few thousand crossings, like a track or a contour); 1 "random", points
// anywhere in the box, so that every segment is long and crosses the
// boundary many times (hundreds of thousands of pieces).
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
    std::uniform_real_distribution<float> noise(0.f, 10.f), coord(-1000.f, 1000.f);
    // A wavy outline like a map boundary, counter-clockwise.
    for (int i = 0; i < kVertices; ++i) {
      const double a = 2 * 3.14159265358979323846 * i / kVertices;
      const double r = 750 + 200 * std::sin(5 * a) + 30 * std::sin(37 * a) + noise(rng);
      region.Add(SFloat2D{float(r * std::cos(a)), float(r * std::sin(a))});
    }
    line.New(kPoints);
    for (int i = 0; i < kPoints; ++i) {
      const double t = 2 * 3.14159265358979323846 * i / kPoints;
      line.Add(shape == 0 ? SFloat2D{float(990 * std::sin(37 * t)), float(990 * std::sin(41 * t + 0.3))}
                          : SFloat2D{coord(rng), coord(rng)});
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

BENCHMARK(BM_PolylineCut_Cut)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineCut_GeosIntersection)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
