// A gridded surface and the files it is written to: an ESRI ASCII grid, CSV
// of the nodes, a table of the nodes in the library's forms, and a picture.
//
// Node (r, c) lies at (x0 + c dx, y0 + r dy); row 0 is the southern one. A
// node without a value (outside the boundary) holds NaN.
//
//   Raster g = ...;                       // filled by the gridding
//   WriteAsciiGrid("surface.asc", g, -9999);
//   WritePicture("surface.png", g, PictureOptions{...});
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdtool {

struct Raster {
  int nx = 0, ny = 0;
  double x0 = 0, y0 = 0, dx = 1, dy = 1;
  std::vector<float> z;  // ny rows of nx values, row 0 first

  float At(int r, int c) const {
    return z[static_cast<size_t>(r) * static_cast<size_t>(nx) + static_cast<size_t>(c)];
  }
  double X(int c) const { return x0 + c * dx; }
  double Y(int r) const { return y0 + r * dy; }
  // The smallest and largest value; false when no node has one.
  bool Range(float* lo, float* hi) const;
};

// The shortest decimal text that reads back as the same number.
std::string ShortestText(double v);
std::string ShortestText(float v);

// ESRI ASCII grid: the nodes are the cells' centres, rows from the north;
// "cellsize" for square cells, else "dx" and "dy". Nodes without a value get
// `nodata`; Failure when a value of the grid equals it.
void WriteAsciiGrid(const std::string& path, const Raster& g, double nodata);
// CSV: a header "x,y,z", then one row per node from the south-west corner,
// row by row; an empty z for a node without a value.
void WriteNodeCsv(const std::string& path, const Raster& g);
// A table "X:DOUBLE,Y:DOUBLE,Z:FLOAT" with one record per node in the CSV's
// order (the null marker for a node without a value), as a table file or
// (xml) as the table's XML document. The table is named `name`.
void WriteNodeTable(const std::string& path, const Raster& g, const std::string& name, bool xml);

// ---- Pictures ----------------------------------------------------------------------------
struct PictureOptions {
  int scale = 0;                             // pixels per node a side; 0 chooses
  std::vector<double> sampleX, sampleY;      // drawn as dots
  std::vector<double> boundaryX, boundaryY;  // drawn as a closed line
};

// What a picture looks like: the surface at `scale` pixels per node, north up
// (the node's colour from the ramp between the grid's smallest and largest
// value, transparent where a node has no value), then to its right a legend:
// the ramp as a bar, north end the largest value, with five values written
// beside it.
struct Picture {
  int width = 0, height = 0, scale = 1;
  std::vector<uint8_t> rgba;  // rows from the top
};
Picture DrawPicture(const Raster& g, const PictureOptions& options);
// The ramp's colour at t in [0, 1] (clamped): a perceptually uniform ramp
// from dark violet through teal to yellow.
void RampColour(double t, uint8_t rgb[3]);
// Whether this program can write PNG files (it was built with libpng).
bool CanWritePng();
// The PNG form of the picture; Failure naming `path` when it cannot be made.
std::vector<uint8_t> EncodePng(const std::string& path, const Picture& picture);
// The picture of PNG bytes, as RGBA; false when they are not a PNG picture.
bool DecodePng(const uint8_t* data, size_t size, Picture* picture);
// Failure when the picture cannot be encoded or written.
void WritePng(const std::string& path, const Picture& picture);

}  // namespace vdtool
