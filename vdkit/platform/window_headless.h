/// @file
/// CHeadlessWindowSystem: a window system without a display, for tests and for
/// programs that draw off screen. Each top-level window has an in-memory
/// surface of 0x00BBGGRR pixels; children draw into their part of it, clipped
/// to themselves and their ancestors, never over their own visible children.
/// Every drawing call is also recorded.
///
/// ```
/// CHeadlessWindowSystem ws;
/// AfxSetWindowSystem(&ws);
/// ... create a view, ws.Mouse(view, WM_LBUTTONDOWN, 10, 10), ...
/// TrackerRect(...);                 // takes the scripted input as it waits
/// std::vector<COLORREF> px = ws.Surface(frame);
/// ```
///
/// Input is a script: each step (a posted message or a call of the caller's
/// function) is delivered when the thread would wait for input, one step per
/// wait, so a test sees the state between steps (a rubber band mid-drag). When
/// the script is used up, no input will come: GetMessage answers -1.
///
/// Pixels: fills cover [left, right) x [top, bottom); a polyline covers, along
/// each segment, the points nearest to the exact line stepped along its longer
/// axis, each stamped as a width x width square, every pixel mixed once per
/// call. Text is recorded but not drawn; its cell is 6 x 13 pixels a character.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vdkit/platform/window_system.h"

/// A window system in memory, driven by a script of input (see the file's
/// description).
class VDKIT_API CHeadlessWindowSystem : public CWindowSystem {
 public:
  explicit CHeadlessWindowSystem(int screenWidth = 1024, int screenHeight = 768);  ///< a screen of that size
  ~CHeadlessWindowSystem() override;

  // ---- Scripted input
  /// A step that posts the message.
  void Post(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  /// A mouse message at (x, y) in hwnd's client area; wParam carries
  /// MK_LBUTTON while the script holds the left button down.
  void Mouse(HWND hwnd, UINT message, int x, int y);
  void Key(HWND hwnd, UINT vk);                            ///< WM_KEYDOWN
  void Call(std::function<void()> step);                   ///< a step that calls the function
  size_t PendingSteps() const { return m_script.size(); }  ///< steps not yet delivered
  void ClearScript() { m_script.clear(); }                 ///< drops the steps not yet delivered

  // ---- What was drawn
  /// One drawing call, as recorded.
  struct SDrawCall {
    /// Which call: a fill, a polyline or a text.
    ///@{
    enum Op { kFill, kPolyline, kText } op;
    ///@}
    HWND hwnd;                  ///< the window drawn on
    std::vector<POINT> points;  ///< fill: left-top and right-bottom; polyline: its points; text: its cell
    int width;                  ///< polyline
    COLORREF colour;            ///< the colour
    int rop2;                   ///< fill, polyline
    std::string text;           ///< text
  };
  const std::vector<SDrawCall>& GetCalls() const { return m_calls; }  ///< the calls so far
  void ClearCalls() { m_calls.clear(); }                              ///< forgets the calls so far
  /// The surface of hwnd's top-level window, row by row; empty for an unknown window.
  std::vector<COLORREF> Surface(HWND hwnd, int* width = nullptr, int* height = nullptr) const;
  /// The window holding the native pointer capture, or null.
  HWND GetNativeCapture() const { return m_capture; }
  /// Whether a native window exists for hwnd.
  bool IsNativeWindow(HWND hwnd) const { return m_windows.count(hwnd) != 0; }
  bool IsNativeVisible(HWND hwnd) const;  ///< whether it is shown
  /// A top-level window's title, or empty.
  std::string GetNativeTitle(HWND hwnd) const;

  // ---- CWindowSystem
  bool CreateNativeWindow(const SNativeWindow& native) override;
  void DestroyNativeWindow(HWND hwnd) override;
  void ShowNativeWindow(HWND hwnd, bool show) override;
  void MoveNativeWindow(HWND hwnd, const RECT& rect) override;
  void SetNativeTitle(HWND hwnd, const char* text) override;
  void RaiseNativeWindow(HWND) override {}
  void CaptureNativePointer(HWND hwnd) override { m_capture = hwnd; }
  SIZE GetScreenSize() override { return m_screen; }
  void FillNativeRect(HWND hwnd, const RECT& rect, COLORREF colour, int rop2) override;
  void DrawNativePolyline(HWND hwnd, const POINT* pts, int n, int width, COLORREF colour, int rop2) override;
  void DrawNativeText(HWND hwnd, int x, int y, const char* text, int n, COLORREF colour) override;
  SIZE GetNativeTextExtent(const char*, int n) override { return SIZE{6 * (n > 0 ? n : 0), 13}; }
  bool ReadNativePixels(HWND hwnd, const RECT& rect, COLORREF* out) override;
  bool WaitForInput(bool block) override;

 private:
  struct Native {
    HWND parent;
    RECT rect;
    bool visible;
    COLORREF background;
    std::string title;
    std::vector<COLORREF> pixels;  ///< top-level windows only
  };
  struct Target;  ///< where a window's pixels lie in its surface
  bool Locate(HWND hwnd, Target& t) const;
  void Mix(const Target& t, const std::vector<long long>& keys, COLORREF colour, int rop2);

  SIZE m_screen;
  std::map<HWND, Native> m_windows;
  std::deque<std::function<void()>> m_script;
  std::vector<SDrawCall> m_calls;
  HWND m_capture = nullptr;
  bool m_leftDown = false;
};
