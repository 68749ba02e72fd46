// A fixture for tests on a real X display (run under Xvfb): the X11 window
// system installed, input faked through the XTest extension, and scripts of
// input steps run whenever the thread waits for input.
#pragma once

// GoogleTest before Xlib, whose macros (None, Bool, ...) it cannot stand.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// clang-format on
#include <unistd.h>

#include <deque>
#include <functional>
#include <memory>

#include "vdkit/platform/screenshot_test.h"
#include "vdkit/platform/window_x11.h"

struct X11Test : ::testing::Test {
  CX11WindowSystem x11;
  Display* dpy = nullptr;

  void SetUp() override {
    ASSERT_TRUE(x11.Open()) << "no X display";
    dpy = x11.GetDisplay();
    AfxSetWindowSystem(&x11);
  }
  void TearDown() override {
    x11.SetIdleHandler(nullptr);
    AfxSetWindowSystem(nullptr);
    x11.Close();
  }
  // Lets the server and the queue settle: every request done, every event handled.
  void Pump() {
    for (int i = 0; i < 4; ++i) {
      XSync(dpy, False);
      ::usleep(15000);
      screenshot_test::Settle();
    }
  }
  void MoveTo(CWnd& w, int x, int y) {
    CPoint p(x, y);
    w.ClientToScreen(&p);
    XTestFakeMotionEvent(dpy, -1, p.x, p.y, CurrentTime);
    XSync(dpy, False);
  }
  void Button(unsigned button, bool press) {
    XTestFakeButtonEvent(dpy, button, press, CurrentTime);
    XSync(dpy, False);
  }
  void Click(CWnd& w, int x, int y) {
    MoveTo(w, x, y);
    Button(1, true);
    Button(1, false);
  }
  void Key(KeySym k) {
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, k), True, CurrentTime);
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, k), False, CurrentTime);
    XSync(dpy, False);
  }
  // Each step must cause some input (the thread waits for it); the script
  // ending ends the wait (GetMessage answers -1).
  void Script(std::vector<std::function<void()>> steps) {
    auto queue = std::make_shared<std::deque<std::function<void()>>>(steps.begin(), steps.end());
    x11.SetIdleHandler([queue] {
      if (queue->empty()) return false;
      const auto step = queue->front();
      queue->pop_front();
      step();
      return true;
    });
  }
};
