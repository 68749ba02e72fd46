// Feeds arbitrary text to the program's CSV table reader. What it reads must
// write out again, and that text must read back into the same text: the
// reader and the writer agree on every table the reader accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "csv.h"
#include "tool.h"
#include "vdkit/vdb/table.h"

// Within the per-input memory limits, whatever the machine has: a header of
// wide fields must be refused, not read into gigabytes.
constexpr double kBudget = 128 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<CVdbTable> table;
  try {
    table = vdtool::ReadCsv("in.csv", vdtool::ByteSpan(data, size), "T", kBudget);
  } catch (const vdtool::Failure&) {
    return 0;
  }
  std::string inexact;
  const std::string text = vdtool::WriteCsv(*table, "in.csv", &inexact);
  if (!inexact.empty()) return 0;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
  std::unique_ptr<CVdbTable> back = vdtool::ReadCsv("out.csv", vdtool::ByteSpan(bytes, text.size()), "T", kBudget);
  if (vdtool::WriteCsv(*back, "out.csv", nullptr) != text) std::abort();
  return 0;
}
