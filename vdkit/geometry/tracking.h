/// @file
/// Direct manipulation with the mouse in a view: rubber-band trackers that
/// drag a point (TrackerPoint), a segment or one of its ends (TrackerLine), a
/// rectangle by its grips (TrackerRect) and a polyline's vertices or the whole
/// line (TrackerPolyline, which also digitises new polylines); CMouseTracking,
/// which reports a window's next mouse event; DrawPtTrack, which inverts a
/// small square.
///
/// ```
/// void CMapView::OnLButtonDown(UINT, CPoint point) {
///   CClientDC dc(this);
///   OnPrepareDC(&dc);
///   dc.DPtoLP(&point);
///   if (TrackerRect(point, &dc, this, m_selection, 6)) Invalidate();
/// }
/// ```
///
/// Each tracker captures the mouse, runs its own message loop (messages for
/// other purposes are dispatched, so the host's handlers may run inside it)
/// and draws its figure with an inverting mix, so drawing it twice restores the
/// view. Coordinates in and out are logical coordinates of the context; mouse
/// positions are converted with the context's mapping.
///
/// Every way out (button, double click, right button, Escape, WM_QUIT, the
/// window destroyed meanwhile, no more input) releases the capture, restores
/// the context's state and leaves no figure on the screen. A WM_QUIT that ends
/// tracking is posted again for the caller's loop. Escape keeps what was
/// reached: there is no cancel.
///
/// Without a context or a window, TrackerLine and TrackerPolyline answer their
/// hit test and track nothing; TrackerPoint and TrackerRect answer false.
#pragma once

#include "vdkit/platform/dc.h"
#include "vdkit/platform/rect.h"
#include "vdkit/platform/window.h"

/// What GetPointer saw.
enum TMouse {
  MOUSE_NONE = 0,     ///< cancelled: Escape or a right-button message
  MOUSE_LDOWN = 1,    ///< left button pressed
  MOUSE_MOVE = 2,     ///< mouse moved
  MOUSE_LUP = 3,      ///< left button released
  MOUSE_LDBLCLK = 4,  ///< left double click
};

/// Inverts the size x size square whose top-left corner is (x - size/2,
/// y - size/2); a second call restores it. Nothing without a context.
VDKIT_API void DrawPtTrack(CDC* pDC, int x, int y, int size);

/// Reports the next mouse event of a window, dispatching everything else.
/// Holds the capture from construction to destruction when it took it.
class VDKIT_API CMouseTracking {
 public:
  /// Watches pWnd (null: every window); captures the mouse when asked and
  /// pWnd is not null.
  CMouseTracking(CWnd* pWnd, bool capture);
  /// Watches the window of the context's device (none without one) and
  /// captures the mouse for it.
  explicit CMouseTracking(CDC* pDC);
  CMouseTracking(const CMouseTracking&) = delete;
  CMouseTracking& operator=(const CMouseTracking&) = delete;
  ~CMouseTracking();  ///< releases the capture when this window holds it

  /// Waits for the next mouse event: moves and left-button messages answer
  /// their kind with the position in pt (logical coordinates of the view's
  /// prepared context when the window is a CView, else client coordinates);
  /// right-button messages, Escape, WM_QUIT, the watched window destroyed and
  /// the end of input answer MOUSE_NONE. Other keys are dropped; other
  /// messages, and all messages of other windows, are dispatched.
  TMouse GetPointer(POINT* pt);
  TMouse GetMouseFlag() const { return m_flag; }  ///< the kind GetPointer answered last

 private:
  CWnd* m_pWnd = nullptr;
  HWND m_hWnd = nullptr;  ///< checked before m_pWnd is used: the window may go meanwhile
  TMouse m_flag = MOUSE_NONE;
};

/// Drags a square marker of the given size, centred on pt when flags >= 1
/// (else on start). Flag bit 1 lets it move horizontally, bit 2 vertically.
/// At the end pt is the marker's centre and the answer is true. False without
/// a context or window (pt unchanged).
VDKIT_API bool TrackerPoint(POINT start, CDC* pDC, CWnd* pWnd, POINT& pt, int size, int flags);

/// Drags the end point within tol of start (p1 first) or, when start is within
/// tol of the segment, the whole segment. False when nothing is grabbed.
/// Without a context or window the answer is the hit test (nothing moves).
/// With tol < 1 a grabbed segment stays where it is.
VDKIT_API bool TrackerLine(POINT start, CDC* pDC, CWnd* pWnd, POINT& p1, POINT& p2, int tol);

/// Size >= 0: drags the grip of rc under start (GetRectHandle; 8 moves the
/// rectangle); false when there is none. Size < 0: drags out a new rectangle
/// from start. The rectangle is not normalised. Answers whether rc changed.
/// False without a context or window (rc unchanged).
VDKIT_API bool TrackerRect(POINT start, CDC* pDC, CWnd* pWnd, CRect& rc, int size);

/// Told of each change of TrackerPolyline: the current point, the message
/// number, the points and the current count. Its answer matters for left
/// button up (digitising: keep the vertex; editing: end tracking).
typedef bool (*TrackerPolylineCallback)(POINT& pt, unsigned long message, POINT* pts, int count);

/// mode < 0, digitising: count holds the capacity of pts on entry (below 2, or
///   pts null: false). Each accepted left click adds a vertex; a double click,
///   the right button or Escape ends; so does the click that fills the array.
///   At the end count holds the vertices kept (start first).
/// mode > 0, editing: drags the first vertex within mode of start; false for none.
/// mode == 0, moving: drags the whole polyline until the left button is released.
/// Without a context or window nothing is tracked and index is not written:
/// the answer is whether a vertex lies within |mode| of start (false for mode 0).
/// At the end index (when not null) gets the moving or grabbed vertex (0 when
/// moving) and the answer is true. closed draws the closing segment (three or
/// more vertices).
VDKIT_API bool TrackerPolyline(POINT start, CDC* pDC, CWnd* pWnd, POINT* pts, int& count, bool closed,
                               int mode, int* index, TrackerPolylineCallback callback);
