// Scattered samples (x, y, z) and boundary polygons for gridding, read from
// the files people keep them in.
//
// Samples come from
//   - delimited text: CSV, or values separated by semicolons, tabs or blanks
//     (the first of ',' and ';' that the first row holds, else tabs when no
//     blank stands between its values, else runs of blanks and tabs). Blank lines and lines that begin with
//     '#' are passed over. The first row names the columns when none of its cells is a number.
//   - a table file ("TV10"), or a table in an object archive or XML document
//     (named by path or name when there are several).
// Columns are named (ASCII case ignored) or given by 1-based position. By
// default they are those named x, y and z; text without any of these names
// gives the first three columns.
//
// A boundary is a closed polyline of an object archive or XML document (the
// only closed one, or the one named), or delimited text of x, y vertices,
// whose ring closes itself (a last vertex equal to the first may be given).
//
//   SampleRequest req;
//   req.path = "horizon.csv";
//   Samples s = ReadSamples(req);               // Failure naming line and column
//   Boundary b = ReadBoundary("lease.xml", "");
#pragma once

#include <string>
#include <vector>

#include "tool.h"

namespace vdtool {

struct SampleRequest {
  std::string path;
  std::string as;          // the form keyword, or "" to recognise it
  std::string table;       // the table of an archive: path or name, or ""
  std::string columns[3];  // x, y, z: a name, a 1-based position, or "" for the default
  bool skipBad = false;    // leave out rows with a missing or bad value instead of failing
};

struct Samples {
  std::vector<double> x, y;
  std::vector<float> z;
  std::string columns[3];    // the columns used, as the summary names them
  std::string source;        // "table 'Wells'", or "" for text
  size_t skipped = 0;        // rows left out by skipBad
  std::string firstSkipped;  // where the first of them is, and why
};

// Every sample of the file, in file order. Failure (status 1, naming the
// file, and the line or record and the column) for a missing, non-numeric
// or non-finite value unless skipBad, for a z beyond the range of a 32-bit
// float, a column that is not there, or a file with no sample at all;
// status 2 for a form keyword that names no form.
Samples ReadSamples(const SampleRequest& request);

// The same for delimited text already in memory (request.path names it in
// messages; request.as and request.table are not used).
Samples ReadSampleText(const SampleRequest& request, ByteSpan bytes);

struct Boundary {
  std::vector<double> x, y;  // the vertices, without a repeated first one
  std::string what;          // "polyline '/Map/Lease'", or "" for text
};

// The boundary polygon of the file: `name` selects a polyline of an archive
// by path or name. Failure (status 1) when the file holds no closed polyline,
// the named one is open, or the ring has fewer than 3 vertices or encloses
// no area.
Boundary ReadBoundary(const std::string& path, const std::string& name);

// The same for a text of x, y vertices in memory.
Boundary ReadBoundaryText(const std::string& path, ByteSpan bytes);

// The number in `text` (blanks around it allowed, a leading '+' too);
// false when it is not one whole number.
bool ParseNumber(const std::string& text, double* value);

}  // namespace vdtool
