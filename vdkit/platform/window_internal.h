// The library's window table, shared by the window classes and device
// contexts. Not installed; not for callers.
#pragma once

#include <string>

#include "vdkit/platform/window.h"

namespace window_internal {

// What a window class contributes: its look and its default behaviour.
enum class Kind { plain, statictext, button, progress, statusbar, dialog };

struct WindowData {
  CWnd* object = nullptr;
  HWND parent = nullptr;
  HWND owner = nullptr;
  Kind kind = Kind::plain;
  DWORD style = 0;
  UINT id = 0;
  RECT rect{};  // in the parent's client coordinates, or the screen's
  std::string text;
  COLORREF background = 0;
  bool visible = false;
  bool enabled = true;
  bool invalid = false;
  bool pressed = false;  // a button held down
  bool destroying = false;
};

// The window's record; null for a stale handle or once the table is gone
// (at process exit).
WindowData* Find(HWND hWnd);
// The installed window system, or null.
CWindowSystem* System();
// Whether the window and all its ancestors are shown.
bool IsShown(HWND hWnd);
// The top-left corner of the window's client area on the screen.
POINT ScreenOrigin(HWND hWnd);

// Colours the library paints with.
constexpr COLORREF kFaceColor = RGB(212, 208, 200);
constexpr COLORREF kShadowColor = RGB(128, 128, 128);
constexpr COLORREF kGrayTextColor = RGB(128, 128, 128);

}  // namespace window_internal

// Access to CWnd's private and protected members for the table and dialogs.
struct WindowAccess {
  static void Destroyed(CWnd* w) { w->PostNcDestroy(); }
  static BOOL Create(CWnd* w, LPCSTR cls, LPCSTR name, DWORD style, const RECT& rc, HWND parent, HWND owner,
                     UINT id) {
    return w->CreateWindowObject(cls, name, style, rc, parent, owner, id);
  }
};
