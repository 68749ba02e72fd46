/// @file
/// The window system under vdkit's window classes: handles, messages and the
/// interface that an implementation (headless, X11, or a host's own toolkit)
/// provides.
///
/// The library keeps everything that is the same on every platform: the window
/// table (parents, rectangles, texts, identifiers, visibility, enabling), the
/// message queue with its paint and quit rules, mouse capture, device-context
/// state and coordinate mapping. An implementation only makes native windows,
/// draws a few primitives in device pixels and turns native input into posted
/// messages:
///
/// ```
/// CHeadlessWindowSystem ws;            // or CX11WindowSystem from vdkit_x11
/// AfxSetWindowSystem(&ws);             // the host's choice, once
/// ... CFrameWnd, CView, CDialog ...
/// AfxSetWindowSystem(nullptr);         // windows are forgotten
/// ```
///
/// Until a host installs one there is no window system: creating a window fails,
/// GetMessage answers -1 and PeekMessage FALSE, and no display is ever opened.
/// Everything here belongs to one thread (the user-interface thread).
#pragma once

#include <functional>

#include "vdkit/platform/types.h"

// ---- Handles and messages -------------------------------------------------------
/// A window handle is a number that is never reused, so a handle whose window
/// was destroyed is recognised as stale (IsWindow is false; messages posted to
/// it are dropped) instead of reaching another window.
struct HWND__;
typedef HWND__* HWND;  ///< a window handle (see above)

/// A message of the thread's queue.
struct MSG {
  HWND hwnd;      ///< the window it is for
  UINT message;   ///< its number (WM_...)
  WPARAM wParam;  ///< its first parameter
  LPARAM lParam;  ///< its second parameter
  DWORD time;     ///< when it was posted, in milliseconds
  POINT pt;       ///< the pointer position then, in screen coordinates
};
typedef MSG* LPMSG;  ///< pointer to a MSG

/// Message numbers, with the platform's values.
enum : UINT {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_SIZE = 0x0005,
  WM_SETTEXT = 0x000C,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_KEYDOWN = 0x0100,  ///< 256
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_MOUSEFIRST = 0x0200,
  WM_MOUSEMOVE = 0x0200,      ///< 512
  WM_LBUTTONDOWN = 0x0201,    ///< 513
  WM_LBUTTONUP = 0x0202,      ///< 514
  WM_LBUTTONDBLCLK = 0x0203,  ///< 515
  WM_RBUTTONDOWN = 0x0204,    ///< 516
  WM_RBUTTONUP = 0x0205,      ///< 517
  WM_RBUTTONDBLCLK = 0x0206,  ///< 518
  WM_MOUSELAST = 0x0206,
  WM_CAPTURECHANGED = 0x0215,
  WM_USER = 0x0400,
};

/// Key states in the wParam of mouse messages.
enum : UINT { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08 };

/// Virtual key codes (letters and digits are their upper-case ASCII codes).
enum : UINT {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_ESCAPE = 0x1B,  ///< 27
  VK_SPACE = 0x20,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_DELETE = 0x2E,
};

enum : UINT { PM_NOREMOVE = 0, PM_REMOVE = 1 };
enum : UINT { BN_CLICKED = 0 };

/// The 16-bit halves of a message parameter, and parameters made of two halves.
///@{
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) \
  ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
///@}
/// The signed 16-bit coordinates of a mouse message.
///@{
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
///@}

// ---- Raster operations ----------------------------------------------------------
/// Mix modes of pens and fills (SetROP2): each is a bitwise function of the pen
/// colour P and the pixel D below it, applied to every colour bit.
enum : int {
  R2_BLACK = 1,         // 0
  R2_NOTMERGEPEN = 2,   // ~(P | D)
  R2_MASKNOTPEN = 3,    // ~P & D
  R2_NOTCOPYPEN = 4,    // ~P
  R2_MASKPENNOT = 5,    // P & ~D
  R2_NOT = 6,           // ~D
  R2_XORPEN = 7,        // P ^ D
  R2_NOTMASKPEN = 8,    // ~(P & D)
  R2_MASKPEN = 9,       // P & D
  R2_NOTXORPEN = 10,    // ~(P ^ D)
  R2_NOP = 11,          // D
  R2_MERGENOTPEN = 12,  // ~P | D
  R2_COPYPEN = 13,      // P
  R2_MERGEPENNOT = 14,  // P | ~D
  R2_MERGEPEN = 15,     // P | D
  R2_WHITE = 16,        // 1
};

/// The result of mix mode `rop2` (R2_BLACK ... R2_WHITE) for pen colour `pen`
/// over pixel `dst`, in the low 24 bits; dst for an unknown mode. The headless
/// surface applies it pixel by pixel; other implementations map the same sixteen
/// functions to their own.
inline COLORREF ApplyRop2(int rop2, COLORREF pen, COLORREF dst) {
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return dst;
  // Bit i of (rop2 - 1) is the result for pen bit P and pixel bit D with i = 2P + D.
  const unsigned t = static_cast<unsigned>(rop2 - 1);
  COLORREF r = 0;
  if (t & 1) r |= ~pen & ~dst;
  if (t & 2) r |= ~pen & dst;
  if (t & 4) r |= pen & ~dst;
  if (t & 8) r |= pen & dst;
  return r & 0xFFFFFF;
}

// ---- The interface an implementation provides ---------------------------------------
/// What the library asks of a native window. Rectangles of child windows are in
/// the parent's client coordinates, those of top-level windows in screen
/// coordinates; a window's client area is the whole of its rectangle.
struct SNativeWindow {
  HWND hwnd;            ///< the library's handle for it
  HWND parent;          ///< null for a top-level window
  HWND owner;           ///< a top-level window's owner (a dialog's parent), or null
  RECT rect;            ///< its rectangle (see above)
  const char* text;     ///< a top-level window's title
  COLORREF background;  ///< the colour its client area is erased with
};

/// The interface a window-system implementation provides (see the file's
/// description).
class VDKIT_API CWindowSystem {
 public:
  CWindowSystem() = default;
  CWindowSystem(const CWindowSystem&) = delete;
  CWindowSystem& operator=(const CWindowSystem&) = delete;
  /// An implementation's destructor calls Detach() first, so that the library
  /// forgets its windows before the native side goes away.
  virtual ~CWindowSystem();

  // ---- Native windows. Each is created hidden.
  virtual bool CreateNativeWindow(const SNativeWindow& native) = 0;  ///< false when it cannot be made
  virtual void DestroyNativeWindow(HWND hwnd) = 0;                   ///< with its native children
  virtual void ShowNativeWindow(HWND hwnd, bool show) = 0;           ///< shows or hides
  virtual void MoveNativeWindow(HWND hwnd, const RECT& rect) = 0;    ///< new rectangle, as in SNativeWindow
  virtual void SetNativeTitle(HWND hwnd, const char* text) = 0;      ///< a top-level window's title
  virtual void RaiseNativeWindow(HWND hwnd) = 0;  ///< brings a top-level window to the front
  /// Sends all pointer input to hwnd (null: ends that).
  virtual void CaptureNativePointer(HWND hwnd) = 0;
  /// The screen's size, for centring top-level windows.
  virtual SIZE GetScreenSize() = 0;

  // ---- Drawing, in device pixels of hwnd's client area, clipped to it and to
  // its visible children. Each call is one figure: a pixel it covers is mixed
  // once, so drawing the same figure twice with R2_XORPEN or R2_NOT restores it.
  /// Fills [left, right) x [top, bottom) with colour by the mix mode rop2.
  virtual void FillNativeRect(HWND hwnd, const RECT& rect, COLORREF colour, int rop2) = 0;
  /// An open polyline of n points, `width` pixels wide (at least 1).
  virtual void DrawNativePolyline(HWND hwnd, const POINT* pts, int n, int width, COLORREF colour,
                                  int rop2) = 0;
  /// Text whose cell's top-left corner is (x, y), in the implementation's font.
  virtual void DrawNativeText(HWND hwnd, int x, int y, const char* text, int n, COLORREF colour) = 0;
  virtual SIZE GetNativeTextExtent(const char* text, int n) = 0;  ///< the size of n bytes of text in the font
  /// Reads the pixels of `rect` row by row into out (width * height entries).
  /// False when the window is unknown or the pixels cannot be read.
  virtual bool ReadNativePixels(HWND hwnd, const RECT& rect, COLORREF* out) = 0;

  // ---- Input
  /// Turns pending native input into posted messages (PostMessage,
  /// InvalidateRect, WindowRectChanged). With `block`, waits until there is
  /// some. Answers false when no input will ever come (the queue would wait
  /// forever).
  virtual bool WaitForInput(bool block) = 0;

  // ---- vdkit extensions
  /// Called when the thread is about to wait for input with nothing queued:
  /// a test may cause input there (post messages, send synthetic events).
  /// Answering false ends the wait: GetMessage then answers -1.
  using IdleHandler = std::function<bool()>;
  /// Installs the idle handler (empty removes it) and answers the previous one;
  /// or gives the one installed.
  ///@{
  IdleHandler SetIdleHandler(IdleHandler handler);
  const IdleHandler& GetIdleHandler() const { return m_idle; }
  ///@}

 protected:
  /// Makes the library forget every window of this implementation (their
  /// objects lose their handles; no message reaches them again) and stops using
  /// it. Safe to call more than once.
  void Detach();
  /// A native window was moved or sized by the user or the desktop.
  static void WindowRectChanged(HWND hwnd, const RECT& rect);

 private:
  IdleHandler m_idle;
};

/// Installs the window system (not owned; null for none) and answers the
/// previous one. Windows made with the previous system are destroyed first.
///@{
VDKIT_API CWindowSystem* AfxSetWindowSystem(CWindowSystem* ws);
VDKIT_API CWindowSystem* AfxGetWindowSystem();
///@}

// ---- The thread's message queue ------------------------------------------------------
/// Messages come in this order: posted messages (input included) first in
/// first out, then a pending quit, then native input that has already arrived
/// (taken in as posted messages), then WM_PAINT for windows that need
/// painting. Filters (hWnd and a message range; 0, 0 for all) apply to posted
/// messages and paint.
/// GetMessage answers 0 for WM_QUIT, -1 when no message can ever come (no
/// window system, or one whose input has ended), else nonzero.
///@{
VDKIT_API BOOL GetMessage(LPMSG msg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
VDKIT_API BOOL PeekMessage(LPMSG msg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
///@}
VDKIT_API BOOL TranslateMessage(const MSG* msg);  ///< does nothing here (no keyboard translation); FALSE
/// Calls the window procedure of msg->hwnd; 0 without effect for a stale handle.
VDKIT_API LRESULT DispatchMessage(const MSG* msg);
/// Queues a message for the window; FALSE for a stale handle.
VDKIT_API BOOL PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Calls the window procedure at once; 0 for a stale handle.
VDKIT_API LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
VDKIT_API void PostQuitMessage(int nExitCode);  ///< makes GetMessage answer WM_QUIT once the queue is empty

VDKIT_API BOOL IsWindow(HWND hWnd);  ///< whether the handle designates a living window
/// Marks a part (null: all) for WM_PAINT.
VDKIT_API BOOL InvalidateRect(HWND hWnd, const RECT* rect, BOOL erase);
VDKIT_API BOOL UpdateWindow(HWND hWnd);  ///< paints at once when the window needs painting
VDKIT_API HWND SetCapture(HWND hWnd);    ///< sends all mouse input to the window; the previous holder
VDKIT_API HWND GetCapture();             ///< the window holding the capture, or null
VDKIT_API BOOL ReleaseCapture();         ///< ends the capture
