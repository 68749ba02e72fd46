// Feeds arbitrary text to the program's readers of samples and boundaries
// (`vdkit grid`). What they accept holds only finite numbers, three per
// sample and two per vertex, and a boundary of at least three vertices.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "samples.h"
#include "tool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vdtool::ByteSpan bytes(data, size);
  for (const bool skip : {false, true}) {
    vdtool::SampleRequest request;
    request.path = "in.csv";
    request.skipBad = skip;
    try {
      const vdtool::Samples s = vdtool::ReadSampleText(request, bytes);
      if (s.z.empty() || s.x.size() != s.z.size() || s.y.size() != s.z.size()) std::abort();
      for (size_t i = 0; i < s.z.size(); ++i)
        if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i]) || !std::isfinite(s.z[i])) std::abort();
    } catch (const vdtool::Failure& f) {
      if (f.message.rfind("in.csv: ", 0) != 0) std::abort();
    }
  }
  try {
    const vdtool::Boundary b = vdtool::ReadBoundaryText("ring.csv", bytes);
    if (b.x.size() < 3 || b.x.size() != b.y.size()) std::abort();
  } catch (const vdtool::Failure&) {
  }
  return 0;
}
