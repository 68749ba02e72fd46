// The gridding itself: samples and boundary moved to the grid's south-west
// node, the library's grid form called over the rows (in bands, when a
// progress display follows it), and what it reports.
#pragma once

#include <cstdint>
#include <string>

#include "raster.h"
#include "samples.h"

namespace vdtool {

enum class GridMethod { kriging, idw, trend };

struct GridJob {
  GridMethod method = GridMethod::kriging;
  float alpha = 1.5f;
  int order = 1;
  int threads = 1;
  Raster grid;  // geometry in; the values out
};

struct GridReport {
  int64_t singular = 0;     // kriging nodes whose system was singular
  size_t used = 0;          // samples inside the boundary
  size_t valued = 0;        // nodes that got a value
  std::string description;  // "kriging (alpha 1.5) on 2 threads"
};

// The samples a method needs at least.
size_t SamplesNeeded(GridMethod method, int order);

// Fills job.grid.z (NaN where a node gets no value). Failure naming `path`
// (the samples' file) when fewer samples than the method needs lie inside
// the boundary, a sample lies too far from the grid for 32-bit floats, or
// the trend's normal equations are singular.
GridReport RunGridJob(GridJob& job, const Samples& samples, const Boundary& boundary,
                      const std::string& path);

}  // namespace vdtool
