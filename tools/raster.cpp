#include "raster.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "formats.h"
#include "long_work.h"
#include "tool.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/table.h"
#include "xml_io.h"

namespace vdtool {

namespace {

// Text handed to a file a megabyte at a time.
class Chunked {
 public:
  explicit Chunked(CFile& file) : m_file(file) { m_text.reserve(kChunk + 256); }
  ~Chunked() = default;
  std::string& Text() { return m_text; }
  void MaybeFlush() {
    if (m_text.size() >= kChunk) Flush();
  }
  void Flush() {
    m_file.Write(m_text.data(), static_cast<UINT>(m_text.size()));
    m_text.clear();
  }

 private:
  static constexpr size_t kChunk = 1 << 20;
  CFile& m_file;
  std::string m_text;
};

template <class T>
void AppendShortest(std::string& out, T v) {
  char text[48];
  out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

}  // namespace

bool Raster::Range(float* lo, float* hi) const {
  bool any = false;
  for (const float v : z) {
    if (std::isnan(v)) continue;
    if (!any || v < *lo) *lo = v;
    if (!any || v > *hi) *hi = v;
    any = true;
  }
  return any;
}

std::string ShortestText(double v) {
  std::string s;
  AppendShortest(s, v);
  return s;
}

std::string ShortestText(float v) {
  std::string s;
  AppendShortest(s, v);
  return s;
}

void WriteAsciiGrid(const std::string& path, const Raster& g, double nodata) {
  for (const float v : g.z)
    if (static_cast<double>(v) == nodata)
      FailFile(path, "a node's value is the NODATA value " + ShortestText(nodata) +
                         "; choose another with --nodata");
  WriteFileWith(path, [&](CFile& file) {
    ProgressPhase phase("writing " + path, static_cast<uint64_t>(g.ny));
    Chunked out(file);
    std::string& t = out.Text();
    t += "ncols " + std::to_string(g.nx) + "\nnrows " + std::to_string(g.ny) + "\n";
    t += "xllcorner " + ShortestText(g.x0 - g.dx / 2) + "\nyllcorner " + ShortestText(g.y0 - g.dy / 2) + "\n";
    t += g.dx == g.dy ? "cellsize " + ShortestText(g.dx) + "\n"
                      : "dx " + ShortestText(g.dx) + "\ndy " + ShortestText(g.dy) + "\n";
    t += "NODATA_value " + ShortestText(nodata) + "\n";
    const std::string none = ShortestText(nodata);
    for (int r = g.ny - 1; r >= 0; --r) {
      for (int c = 0; c < g.nx; ++c) {
        if (c) t += ' ';
        const float v = g.At(r, c);
        if (std::isnan(v)) {
          t += none;
        } else {
          AppendShortest(t, v);
        }
      }
      t += '\n';
      out.MaybeFlush();
      phase.Set(static_cast<uint64_t>(g.ny - r));
    }
    out.Flush();
  });
}

void WriteNodeCsv(const std::string& path, const Raster& g) {
  WriteFileWith(path, [&](CFile& file) {
    ProgressPhase phase("writing " + path, static_cast<uint64_t>(g.ny));
    Chunked out(file);
    std::string& t = out.Text();
    t += "x,y,z\n";
    for (int r = 0; r < g.ny; ++r) {
      const std::string y = ShortestText(g.Y(r));
      for (int c = 0; c < g.nx; ++c) {
        AppendShortest(t, g.X(c));
        t += ',' + y + ',';
        const float v = g.At(r, c);
        if (!std::isnan(v)) AppendShortest(t, v);
        t += '\n';
      }
      out.MaybeFlush();
      phase.Set(static_cast<uint64_t>(r + 1));
    }
    out.Flush();
  });
}

void WriteNodeTable(const std::string& path, const Raster& g, const std::string& name, bool xml) {
  if (static_cast<long long>(g.nx) * g.ny > 0x7FFFFFFFLL)
    FailFile(path, "more nodes than a table holds records");
  CVdbTable table;
  table.SetName(name.c_str());
  // Named, so that the XML form reads back with the same field set.
  table.GetFieldSet()->SetName("Node");
  table.GetFieldSet()->SetLabel("Grid nodes");
  table.AddField("X:DOUBLE", 0, 1);
  table.AddField("Y:DOUBLE", 0, 1);
  table.AddField("Z:FLOAT", 0, 1);
  const size_t ox = static_cast<size_t>(table.GetField(0)->m_nOffset);
  const size_t oy = static_cast<size_t>(table.GetField(1)->m_nOffset);
  const size_t oz = static_cast<size_t>(table.GetField(2)->m_nOffset);
  ProgressPhase phase("making the table of " + path, static_cast<uint64_t>(g.ny));
  for (int r = 0; r < g.ny; ++r) {
    phase.Set(static_cast<uint64_t>(r));
    const double y = g.Y(r);
    for (int c = 0; c < g.nx; ++c) {
      table.AddNew();
      BYTE* d = table.GetRecord()->GetData();
      const double x = g.X(c);
      const float v = g.At(r, c);
      const float z = std::isnan(v) ? VDB_NULL_FLOAT : v;
      std::memcpy(d + ox, &x, 8);
      std::memcpy(d + oy, &y, 8);
      std::memcpy(d + oz, &z, 4);
    }
  }
  if (xml) {
    const Blob text = StoreXmlTable(table);
    WriteFileAtomically(path, text.data(), text.size());
  } else {
    WriteFileWith(path, [&](CFile& file) { table.Write(file); });
  }
}

}  // namespace vdtool
