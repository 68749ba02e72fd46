/// @file
/// CX11WindowSystem: vdkit's window system on an X display through Xlib. It
/// lives in its own library (vdkit::x11, libvdkit_x11) so that libvdkit never
/// depends on a display library; a host links it and installs it:
///
/// ```
/// CX11WindowSystem x11;
/// if (!x11.Open()) { ... no display: run without windows ... }
/// AfxSetWindowSystem(&x11);
/// ```
///
/// Windows are real X windows (top-level windows with the desktop's
/// decorations, children as subwindows); the pointer capture is a pointer
/// grab; rubber bands are drawn on the window with the X server's own
/// inverting functions; a second press of a button within 500 ms and 4 pixels
/// of the first is a double click. Needs a TrueColor or DirectColor visual.
///
/// Not copyable. One thread: the one that uses the library's windows.
#pragma once

#include <memory>

#include "vdkit/platform/window_system.h"

struct _XDisplay;

/// The window system on an X display (see the file's description).
class VDKIT_API CX11WindowSystem : public CWindowSystem {
 public:
  CX11WindowSystem();
  ~CX11WindowSystem() override;  ///< closes the display

  /// Connects to the display (null: $DISPLAY). False when there is none or its
  /// default visual has no true colours; nothing is left open then.
  bool Open(const char* displayName = nullptr);
  /// Forgets the library's windows (when installed) and closes the display.
  void Close();
  bool IsOpen() const;  ///< whether a display is open

  /// For hosts and tests that make their own Xlib calls: the display, and the
  /// X window of a library window (0 for none).
  ///@{
  _XDisplay* GetDisplay() const;
  unsigned long GetNativeWindow(HWND hwnd) const;
  ///@}

  // ---- CWindowSystem
  bool CreateNativeWindow(const SNativeWindow& native) override;
  void DestroyNativeWindow(HWND hwnd) override;
  void ShowNativeWindow(HWND hwnd, bool show) override;
  void MoveNativeWindow(HWND hwnd, const RECT& rect) override;
  void SetNativeTitle(HWND hwnd, const char* text) override;
  void RaiseNativeWindow(HWND hwnd) override;
  void CaptureNativePointer(HWND hwnd) override;
  SIZE GetScreenSize() override;
  void FillNativeRect(HWND hwnd, const RECT& rect, COLORREF colour, int rop2) override;
  void DrawNativePolyline(HWND hwnd, const POINT* pts, int n, int width, COLORREF colour, int rop2) override;
  void DrawNativeText(HWND hwnd, int x, int y, const char* text, int n, COLORREF colour) override;
  SIZE GetNativeTextExtent(const char* text, int n) override;
  bool ReadNativePixels(HWND hwnd, const RECT& rect, COLORREF* out) override;
  bool WaitForInput(bool block) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m;
};
