// Pictures of gridded surfaces, and their PNG form through libpng when the
// program is built with it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster.h"
#include "tool.h"

#ifdef VDKIT_PROGRAM_PNG
#include <png.h>
#endif

namespace vdtool {

namespace {

// The ramp at nine evenly spaced stops (a viridis-like ramp: lightness rises
// steadily, so equal steps of value look like equal steps of colour).
const uint8_t kRamp[9][3] = {{0x44, 0x01, 0x54}, {0x47, 0x2D, 0x7B}, {0x3B, 0x52, 0x8B},
                             {0x2C, 0x72, 0x8E}, {0x21, 0x91, 0x8C}, {0x28, 0xAE, 0x80},
                             {0x5E, 0xC9, 0x62}, {0xAD, 0xDC, 0x30}, {0xFD, 0xE7, 0x25}};

// 5 x 7 glyphs of the characters numbers are written with, one byte a row
// (bit 4 the leftmost pixel).
struct Glyph {
  char c;
  uint8_t rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}}, {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
};

class Canvas {
 public:
  Canvas(Picture& p) : m_p(p) {}  // NOLINT: a view
  void Set(int x, int y, const uint8_t rgb[3], uint8_t alpha = 255) {
    if (x < 0 || y < 0 || x >= m_p.width || y >= m_p.height) return;
    uint8_t* px =
        &m_p.rgba[(static_cast<size_t>(y) * static_cast<size_t>(m_p.width) + static_cast<size_t>(x)) * 4];
    px[0] = rgb[0];
    px[1] = rgb[1];
    px[2] = rgb[2];
    px[3] = alpha;
  }
  void Fill(int x0, int y0, int w, int h, const uint8_t rgb[3]) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) Set(x, y, rgb);
  }
  // A line of `width` pixels, clipped to the rectangle (0, 0, clipW, clipH).
  void Line(double ax, double ay, double bx, double by, int width, int clipW, int clipH,
            const uint8_t rgb[3]) {
    const double steps = std::ceil(std::max(std::fabs(bx - ax), std::fabs(by - ay)));
    if (!(steps < 1e6)) return;  // far outside: nothing to see
    for (int i = 0; i <= static_cast<int>(steps); ++i) {
      const double t = steps > 0 ? i / steps : 0;
      const int x = static_cast<int>(std::floor(ax + (bx - ax) * t));
      const int y = static_cast<int>(std::floor(ay + (by - ay) * t));
      for (int dy = 0; dy < width; ++dy)
        for (int dx = 0; dx < width; ++dx)
          if (x + dx >= 0 && x + dx < clipW && y + dy >= 0 && y + dy < clipH) Set(x + dx, y + dy, rgb);
    }
  }
  // Text of the glyphs above, `size` pixels a glyph pixel; the left end at x,
  // the vertical middle at y.
  void Text(const std::string& text, int x, int y, int size, const uint8_t rgb[3]) {
    const int top = y - 7 * size / 2;
    for (const char ch : text) {
      for (const Glyph& g : kGlyphs) {
        if (g.c != ch) continue;
        for (int r = 0; r < 7; ++r)
          for (int c = 0; c < 5; ++c)
            if (g.rows[r] & (0x10 >> c)) Fill(x + c * size, top + r * size, size, size, rgb);
      }
      x += 6 * size;
    }
  }

 private:
  Picture& m_p;
};

}  // namespace

void RampColour(double t, uint8_t rgb[3]) {
  t = std::isnan(t) ? 0 : std::min(1.0, std::max(0.0, t));
  const double at = t * 8;
  const int i = std::min(7, static_cast<int>(at));
  const double f = at - i;
  for (int k = 0; k < 3; ++k)
    rgb[k] = static_cast<uint8_t>(std::lround(kRamp[i][k] + (kRamp[i + 1][k] - kRamp[i][k]) * f));
}

Picture DrawPicture(const Raster& g, const PictureOptions& options) {
  Picture p;
  const int longer = std::max(g.nx, g.ny);
  p.scale = options.scale > 0 ? options.scale : std::max(1, std::min(16, 640 / std::max(longer, 1)));
  const int s = p.scale;
  const int w = g.nx * s;
  const int h = g.ny * s;
  const int font = h >= 300 ? 2 : 1;

  float lo = 0;
  float hi = 0;
  const bool any = g.Range(&lo, &hi);
  std::vector<std::string> labels;
  for (int k = 4; k >= 0; --k)
    labels.push_back(any ? Format("%.5g", lo + (static_cast<double>(hi) - lo) * k / 4) : "");
  size_t longest = 0;
  for (const std::string& l : labels) longest = std::max(longest, l.size());
  const int gap = 10 * font;
  const int bar = 14 * font;
  const int legend = gap + bar + 7 * font + static_cast<int>(longest) * 6 * font + gap;
  const int pad = 7 * font;  // half a label above the bar's top and below its bottom
  p.width = w + legend;
  p.height = std::max(h, 100 * font);
  p.rgba.assign(static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 4, 0);
  Canvas canvas(p);

  // The surface, north up; a node without a value stays transparent.
  const double span = static_cast<double>(hi) - lo;
  uint8_t rgb[3];
  for (int r = 0; r < g.ny; ++r)
    for (int c = 0; c < g.nx; ++c) {
      const float v = g.At(r, c);
      if (std::isnan(v)) continue;
      RampColour(span > 0 ? (v - lo) / span : 0.5, rgb);
      canvas.Fill(c * s, (g.ny - 1 - r) * s, s, s, rgb);
    }

  // Map places to pixels: a node's colour covers the s x s square around it.
  const auto px = [&](double x) { return (x - g.x0) / g.dx * s + s / 2.0; };
  const auto py = [&](double y) { return (g.ny - 1 - (y - g.y0) / g.dy) * s + s / 2.0; };
  const uint8_t black[3] = {0, 0, 0};
  const uint8_t white[3] = {255, 255, 255};
  const int lineWidth = s >= 4 ? 2 : 1;
  const size_t nb = options.boundaryX.size();
  for (size_t i = 0; i < nb; ++i) {
    const size_t j = (i + 1) % nb;
    canvas.Line(px(options.boundaryX[i]) - lineWidth / 2.0, py(options.boundaryY[i]) - lineWidth / 2.0,
                px(options.boundaryX[j]) - lineWidth / 2.0, py(options.boundaryY[j]) - lineWidth / 2.0,
                lineWidth, w, h, black);
  }
  // Samples: dark dots with a light rim, seen on every colour of the ramp,
  // larger when there are few; those on nodes without a value (outside the
  // boundary) took no part.
  const uint8_t dark[3] = {20, 20, 20};
  const uint8_t rim[3] = {235, 235, 235};
  const int radius = options.sampleX.size() <= 200 ? 3 : 1;
  const auto valued = [&](int x, int y) {
    return x >= 0 && x < w && y >= 0 && y < h && p.rgba[(static_cast<size_t>(y) * p.width + x) * 4 + 3] != 0;
  };
  for (size_t i = 0; i < options.sampleX.size(); ++i) {
    const double fx = px(options.sampleX[i]);
    const double fy = py(options.sampleY[i]);
    if (!(fx >= 0 && fx < w && fy >= 0 && fy < h)) continue;
    const int x = static_cast<int>(fx);
    const int y = static_cast<int>(fy);
    if (!valued(x, y)) continue;
    for (int dy = -radius; dy <= radius; ++dy)
      for (int dx = -radius; dx <= radius; ++dx) {
        const int d2 = dx * dx + dy * dy;
        if (d2 <= radius * radius && valued(x + dx, y + dy))
          canvas.Set(x + dx, y + dy, d2 * 2 > radius * radius || (radius == 1 && d2 == 1) ? rim : dark);
      }
  }

  // The legend: white ground, the ramp as a bar, five values.
  canvas.Fill(w, 0, legend, p.height, white);
  const int barTop = pad;
  const int barHeight = std::max(p.height - 2 * pad, 1);
  for (int y = 0; y < barHeight; ++y) {
    RampColour(barHeight > 1 ? 1.0 - static_cast<double>(y) / (barHeight - 1) : 0.5, rgb);
    canvas.Fill(w + gap, barTop + y, bar, 1, rgb);
  }
  for (int k = 0; k < 5; ++k) {
    const int y = barTop + (barHeight - 1) * k / 4;
    canvas.Fill(w + gap + bar, y, 3 * font, font, black);
    canvas.Text(labels[static_cast<size_t>(k)], w + gap + bar + 7 * font, y, font, black);
  }
  return p;
}

#ifdef VDKIT_PROGRAM_PNG
bool CanWritePng() {
  return true;
}

std::vector<uint8_t> EncodePng(const std::string& path, const Picture& picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  const png_int_32 stride = static_cast<png_int_32>(picture.width) * 4;
  std::vector<uint8_t> bytes;
  // The first call measures, the second writes.
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) bytes.resize(size);
    if (!png_image_write_to_memory(&image, pass ? bytes.data() : nullptr, &size, 0, picture.rgba.data(),
                                   stride, nullptr))
      FailFile(path, std::string("cannot encode the picture: ") + image.message);
  }
  bytes.resize(size);
  return bytes;
}

bool DecodePng(const uint8_t* data, size_t size, Picture* picture) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return false;
  image.format = PNG_FORMAT_RGBA;
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture->rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}
#else
bool CanWritePng() {
  return false;
}

std::vector<uint8_t> EncodePng(const std::string& path, const Picture&) {
  FailFile(path, "this vdkit was built without libpng and cannot write pictures");
}

bool DecodePng(const uint8_t*, size_t, Picture*) {
  return false;
}
#endif

void WritePng(const std::string& path, const Picture& picture) {
  const std::vector<uint8_t> bytes = EncodePng(path, picture);
  WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace vdtool
