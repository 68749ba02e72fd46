#include "grid_run.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "long_work.h"
#include "tool.h"
#include "vdkit/geometry/predicates.h"
#include "vdkit/numeric/gridding.h"
#include "vdkit/numeric/linear.h"

namespace vdtool {

namespace {

// Gaussj's console line for each singular system would bury the output; the
// count comes back through SGridControl instead.
struct QuietSolver {
  QuietSolver() : previous(SetGaussjMessageHandler([](const char*) {})) {}
  ~QuietSolver() { SetGaussjMessageHandler(previous); }
  GaussjMessageHandler previous;
};

double Seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const char* MethodName(GridMethod m) {
  return m == GridMethod::kriging ? "kriging" : m == GridMethod::idw ? "inverse distance" : "trend";
}

}  // namespace

size_t SamplesNeeded(GridMethod method, int order) {
  switch (method) {
    case GridMethod::kriging:
      return 2;
    case GridMethod::idw:
      return 1;
    case GridMethod::trend:
      break;
  }
  return static_cast<size_t>((order + 1) * (order + 2) / 2);
}

GridReport RunGridJob(GridJob& job, const Samples& samples, const Boundary& boundary,
                      const std::string& path) {
  Raster& g = job.grid;
  GridReport report;
  const size_t n = samples.z.size();
  std::vector<float> x(n);
  std::vector<float> y(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = static_cast<float>(samples.x[i] - g.x0);
    y[i] = static_cast<float>(samples.y[i] - g.y0);
    if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
      FailFile(path, "a sample lies further from the grid than 32-bit floats hold");
  }
  std::vector<float> px(boundary.x.size());
  std::vector<float> py(boundary.y.size());
  for (size_t i = 0; i < px.size(); ++i) {
    px[i] = static_cast<float>(boundary.x[i] - g.x0);
    py[i] = static_cast<float>(boundary.y[i] - g.y0);
  }
  const int np = static_cast<int>(px.size());
  // The samples the library will use: the same test it makes.
  for (size_t i = 0; i < n; ++i) report.used += np == 0 || PtInRgn(x[i], y[i], px.data(), py.data(), np);
  const size_t needed = SamplesNeeded(job.method, job.order);
  if (report.used < needed) {
    std::string what = MethodName(job.method);
    if (job.method == GridMethod::trend) what += Format(" of order %d", job.order);
    FailFile(path, Format("%zu sample%s%s; %s needs at least %zu", report.used, report.used == 1 ? "" : "s",
                          np ? " inside the boundary" : "", what.c_str(), needed));
  }

  std::vector<float> gx(static_cast<size_t>(g.nx));
  std::vector<float> gy(static_cast<size_t>(g.ny));
  for (int c = 0; c < g.nx; ++c) gx[static_cast<size_t>(c)] = static_cast<float>(c * g.dx);
  for (int r = 0; r < g.ny; ++r) gy[static_cast<size_t>(r)] = static_cast<float>(r * g.dy);
  g.z.assign(static_cast<size_t>(g.nx) * static_cast<size_t>(g.ny), std::numeric_limits<float>::quiet_NaN());
  std::vector<float*> rows(static_cast<size_t>(g.ny));
  for (size_t r = 0; r < rows.size(); ++r) rows[r] = g.z.data() + r * static_cast<size_t>(g.nx);

  SGridControl ctl;
  ctl.nThreads = job.threads;
  bool ok = true;
  {
    QuietSolver quiet;
    const float* const z = samples.z.data();
    const int count = static_cast<int>(n);
    // One call does it all; a display that follows the work gets bands of
    // rows (the nodes are independent, so the values are the same), except
    // for the trend, which would fit its surface again for every band. Each
    // call sets up its samples afresh (some 35 ms for 200,000 samples), so
    // the bands are sized to about two seconds of work, from the pace of
    // those before.
    const bool banded = ProgressEnabled() && job.method != GridMethod::trend;
    ProgressPhase phase(
        Format("%s of %s nodes", MethodName(job.method),
               Grouped(static_cast<unsigned long long>(g.nx) * static_cast<unsigned>(g.ny)).c_str()),
        static_cast<uint64_t>(g.ny));
    const double start = Seconds();
    for (int r0 = 0, r1 = 0; r0 < g.ny && ok; r0 = r1) {
      int take = g.ny;
      if (banded) {
        const double spent = Seconds() - start;
        take = r0 == 0 || spent <= 0 ? g.ny / 100 : static_cast<int>(std::min<double>(g.ny, 2 * r0 / spent));
      }
      r1 = std::min(g.ny, r0 + std::max(1, take));
      const float* bgy = gy.data() + r0;
      float* const* brows = rows.data() + r0;
      SGridControl band = ctl;
      switch (job.method) {
        case GridMethod::kriging:
          ok = KriginGrid(x.data(), y.data(), z, count, gx.data(), g.nx, bgy, r1 - r0, brows, 0.0f, job.alpha,
                          px.data(), py.data(), np, &band);
          break;
        case GridMethod::idw:
          ok = DistanceGrid(x.data(), y.data(), z, count, gx.data(), g.nx, bgy, r1 - r0, brows, 0.0f, 0,
                            px.data(), py.data(), np, &band);
          break;
        case GridMethod::trend:
          ok = TrendGrid(x.data(), y.data(), z, count, gx.data(), g.nx, bgy, r1 - r0, brows, 0.0f, job.order,
                         px.data(), py.data(), np, &band);
          break;
      }
      ctl.nSingular += band.nSingular;
      phase.Set(static_cast<uint64_t>(r1));
    }
  }
  if (!ok && job.method == GridMethod::trend && ctl.nSingular > 0)
    FailFile(path,
             Format("the samples do not determine a trend surface of order %d: its normal equations are "
                    "singular",
                    job.order));
  if (!ok) FailFile(path, "the gridding could not be done: its work arrays could not be had");
  if (job.method == GridMethod::kriging) report.singular = ctl.nSingular;
  for (const float v : g.z) report.valued += !std::isnan(v);
  report.description = MethodName(job.method);
  if (job.method == GridMethod::kriging)
    report.description += " (alpha " + Format("%g", static_cast<double>(job.alpha)) + ")";
  if (job.method == GridMethod::trend) report.description += Format(" of order %d", job.order);
  report.description += Format(" on %d thread%s", job.threads, job.threads == 1 ? "" : "s");
  return report;
}

}  // namespace vdtool
