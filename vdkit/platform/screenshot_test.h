// Test helpers for window tests: pumping the queue, and saving pixels as PNG
// artefacts under the build directory (screenshots/), so a person can look at
// what a test saw. The PNG is uncompressed (stored deflate blocks).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vdkit/platform/window.h"

namespace screenshot_test {

// Dispatches every message that can be had without waiting.
inline void Settle() {
  MSG msg;
  while (::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessage(&msg);
}

inline uint32_t Crc(const std::string& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

inline void Be32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 0xFF);
}

// Writes 0x00BBGGRR pixels, row by row, to path; false when it cannot.
inline bool WritePng(const std::string& path, int w, int h, const std::vector<COLORREF>& px) {
  if (w <= 0 || h <= 0 || px.size() < static_cast<size_t>(w) * h) return false;
  std::string raw;
  for (int y = 0; y < h; ++y) {
    raw += '\0';  // filter: none
    for (int x = 0; x < w; ++x) {
      const COLORREF c = px[static_cast<size_t>(y) * w + x];
      raw += static_cast<char>(GetRValue(c));
      raw += static_cast<char>(GetGValue(c));
      raw += static_cast<char>(GetBValue(c));
    }
  }
  std::string z = "\x78\x01";  // zlib, no compression
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
    z += static_cast<char>(n & 0xFF), z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF), z += static_cast<char>((~n >> 8) & 0xFF);
    z += raw.substr(at, n);
    if (at + n >= raw.size()) break;
  }
  uint32_t a = 1, b = 0;
  for (unsigned char ch : raw) a = (a + ch) % 65521, b = (b + a) % 65521;
  Be32(z, (b << 16) | a);
  std::string png = "\x89PNG\r\n\x1a\n";
  auto chunk = [&](const char* type, const std::string& data) {
    Be32(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    Be32(png, Crc(body));
  };
  std::string ihdr;
  Be32(ihdr, static_cast<uint32_t>(w));
  Be32(ihdr, static_cast<uint32_t>(h));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  chunk("IHDR", ihdr);
  chunk("IDAT", z);
  chunk("IEND", "");
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

// The artefact path of a screenshot name; the directory is made on demand.
inline std::string ArtefactPath(const std::string& name) {
#ifdef VDKIT_ARTEFACT_DIR
  const std::string dir = VDKIT_ARTEFACT_DIR;
#else
  const std::string dir = "screenshots";
#endif
  ::mkdir(dir.c_str(), 0777);
  return dir + "/" + name + ".png";
}

// Saves a window's client area through the window system.
inline bool SaveWindow(CWnd& wnd, const std::string& name) {
  CRect r;
  wnd.GetClientRect(&r);
  std::vector<COLORREF> px(static_cast<size_t>(r.Width()) * r.Height());
  CWindowSystem* ws = AfxGetWindowSystem();
  return ws && ws->ReadNativePixels(wnd.m_hWnd, r, px.data()) &&
         WritePng(ArtefactPath(name), r.Width(), r.Height(), px);
}

// The pixels of a window's client area (empty when they cannot be read).
inline std::vector<COLORREF> Pixels(CWnd& wnd) {
  CRect r;
  wnd.GetClientRect(&r);
  std::vector<COLORREF> px(static_cast<size_t>(r.Width()) * r.Height());
  CWindowSystem* ws = AfxGetWindowSystem();
  if (!ws || !ws->ReadNativePixels(wnd.m_hWnd, r, px.data())) px.clear();
  return px;
}

}  // namespace screenshot_test
