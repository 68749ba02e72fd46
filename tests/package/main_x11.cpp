#include <cstdio>

#include <vdkit/platform/window_x11.h>
#include <vdkit/vdkit.h>

int main() {
  CX11WindowSystem x11;
  if (x11.Open(":4711")) return 1;  // no such display
  std::printf("vdkit x11 consumer ok\n");
  return 0;
}
