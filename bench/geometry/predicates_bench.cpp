// PtInRgn against Boost.Geometry's covered_by and GEOS's prepared-geometry
// covers: 1,000,000 random points against one 1,000-vertex polygon, the same
// points and polygon for every case. Each iteration tests every point once.
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "vdkit/geometry/predicates.h"

namespace {

namespace bg = boost::geometry;
using BoostPoint = bg::model::d2::point_xy<double>;
using BoostPolygon = bg::model::polygon<BoostPoint, false /* counter-clockwise */, true /* closed */>;

constexpr int kVertices = 1000;
constexpr int kPoints = 1000000;

// Star-shaped, non-convex polygons around the origin, counter-clockwise, with
// vertices at increasing angles. Shape 0, "spiky": random radii between 500
// and 1000, so a vertical line crosses the boundary some 50 times. Shape 1,
// "smooth": a wavy outline like a map boundary, crossed a few times.
struct Data {
  std::vector<SFloat2D> ring;
  std::vector<float> xs, ys;
  std::vector<SFloat2D> points;
  explicit Data(int shape) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> radius(500.f, 1000.f), coord(-1000.f, 1000.f);
    for (int i = 0; i < kVertices; ++i) {
      const double angle = 2 * 3.14159265358979323846 * i / kVertices;
      const float r =
          shape == 0 ? radius(rng)
                     : float(750 + 200 * std::sin(5 * angle) + 30 * std::sin(37 * angle)) + radius(rng) / 100;
      ring.push_back({float(r * std::cos(angle)), float(r * std::sin(angle))});
      xs.push_back(ring.back().x);
      ys.push_back(ring.back().y);
    }
    for (int i = 0; i < kPoints; ++i) points.push_back({coord(rng), coord(rng)});
  }
};

const Data& GetData(const benchmark::State& state) {
  static const Data spiky(0), smooth(1);
  return state.range(0) == 0 ? spiky : smooth;
}

void Report(benchmark::State& state, long inside) {
  state.SetItemsProcessed(state.iterations() * int64_t{kPoints});
  state.counters["inside"] = double(inside);
}

void BM_Predicates_PtInRgn(benchmark::State& state) {
  const Data& d = GetData(state);
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (const SFloat2D& p : d.points) inside += PtInRgn(p, d.ring.data(), kVertices);
    benchmark::DoNotOptimize(inside);
  }
  Report(state, inside);
}

// The SFloat2D form with the vector walk held to a width: 0 none, 1 AVX2,
// 2 AVX-512 (what the processor lacks falls back to the next width down).
void BM_Predicates_PtInRgnAtWidth(benchmark::State& state) {
  const Data& d = GetData(state);
  const int saved = detail::SetPtInRgnVectorLimit(int(state.range(1)));
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (const SFloat2D& p : d.points) inside += PtInRgn(p, d.ring.data(), kVertices);
    benchmark::DoNotOptimize(inside);
  }
  detail::SetPtInRgnVectorLimit(saved);
  Report(state, inside);
}

void BM_Predicates_PtInRgnArrays(benchmark::State& state) {
  const Data& d = GetData(state);
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (const SFloat2D& p : d.points) inside += PtInRgn(p.x, p.y, d.xs.data(), d.ys.data(), kVertices);
    benchmark::DoNotOptimize(inside);
  }
  Report(state, inside);
}

void BM_BoostGeometry_CoveredBy(benchmark::State& state) {
  const Data& d = GetData(state);
  BoostPolygon polygon;
  for (const SFloat2D& v : d.ring) bg::append(polygon.outer(), BoostPoint(v.x, v.y));
  bg::append(polygon.outer(), BoostPoint(d.ring[0].x, d.ring[0].y));
  std::vector<BoostPoint> points;
  points.reserve(d.points.size());
  for (const SFloat2D& p : d.points) points.emplace_back(p.x, p.y);
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (const BoostPoint& p : points) inside += bg::covered_by(p, polygon);
    benchmark::DoNotOptimize(inside);
  }
  Report(state, inside);
}

void BM_GeosPrepared_Covers(benchmark::State& state) {
  const Data& d = GetData(state);
  GEOSContextHandle_t ctx = GEOS_init_r();
  GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, kVertices + 1, 2);
  for (int i = 0; i <= kVertices; ++i) {
    const SFloat2D& v = d.ring[i % kVertices];
    GEOSCoordSeq_setXY_r(ctx, seq, i, v.x, v.y);
  }
  GEOSGeometry* polygon = GEOSGeom_createPolygon_r(ctx, GEOSGeom_createLinearRing_r(ctx, seq), nullptr, 0);
  const GEOSPreparedGeometry* prepared = GEOSPrepare_r(ctx, polygon);
  // Points are made before timing: only the covers test is measured.
  std::vector<GEOSGeometry*> points;
  points.reserve(d.points.size());
  for (const SFloat2D& p : d.points) points.push_back(GEOSGeom_createPointFromXY_r(ctx, p.x, p.y));
  GEOSPreparedCovers_r(ctx, prepared, points[0]);  // builds the prepared index
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (GEOSGeometry* p : points) inside += GEOSPreparedCovers_r(ctx, prepared, p) == 1;
    benchmark::DoNotOptimize(inside);
  }
  Report(state, inside);
  for (GEOSGeometry* p : points) GEOSGeom_destroy_r(ctx, p);
  GEOSPreparedGeom_destroy_r(ctx, prepared);
  GEOSGeom_destroy_r(ctx, polygon);
  GEOS_finish_r(ctx);
}

BENCHMARK(BM_Predicates_PtInRgn)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Predicates_PtInRgnAtWidth)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Predicates_PtInRgnArrays)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostGeometry_CoveredBy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeosPrepared_Covers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
