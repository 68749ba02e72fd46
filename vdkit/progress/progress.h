/// @file
/// The progress display of long operations: a modeless dialog with a message
/// line, a drawn percentage bar and a Cancel button (CDProgress), a bar in the
/// right half of the main frame's status bar (CDProgressBar on its own), and
/// the process-wide qrx calls that drive whichever is current.
///
/// ```
/// qrxProgressShow2 show;                     // the dialog, unless one is shown
/// qrxProgressSetRange(0, n);
/// for (int i = 0; i < n; ++i) {
///   if (!qrxProgressSetPos(i)) break;         // Cancel pressed, or quitting
///   qrxProgressSetMsg("record %d", i);
///   ...
/// }                                          // hidden again at the end of the scope
/// ```
///
/// Each position change that changes the percentage also dispatches the
/// thread's pending messages, so handlers may run inside these calls.
///
/// Without windows (no window system, no main window, no status bar) the
/// window displays stay hidden and every call is a no-op answering "go on";
/// the terminal display takes their place when enabled (see below). The
/// process-wide displays are made on first use and torn down at exit; a call
/// after that is a no-op, whatever the order of teardown.
#pragma once

#include <cstdarg>

#include "vdkit/platform/window.h"

/// Identifiers of the dialog template "QRXPROGRESSDLG".
enum : UINT { IDC_QRXPROGRESS_MSG = 1001, IDC_QRXPROGRESS_BAR = 1002 };

/// The percentage bar. On its own it lives in the main frame's status bar;
/// inside CDProgress it is the dialog's control 1002.
///
/// Differences: a new bar's range is 0 ... 100 (nothing is left unset); the
/// message window is held by handle, so a status bar destroyed meanwhile is
/// never touched.
class VDKIT_API CDProgressBar : public CStatic {
 public:
  CDProgressBar() = default;

  /// Shows the bar in the main frame's status bar (nothing without a frame
  /// with a status bar); hiding clears the status text and destroys the bar.
  /// Either way the canceled flag is cleared.
  void Show(bool show = true);
  void Hide() { Show(false); }  ///< Show(false)
  /// Sets the range and moves the position to low; the bar is not redrawn.
  void SetRange(int low, int high);
  /// Draws the percentage when it changed, then dispatches pending messages.
  /// True: go on; false: Cancel was pressed or the application is quitting
  /// (WM_QUIT stays posted for the application's own loop).
  bool SetPos(int pos);
  /// Advances the position by one, wrapping from high back to low, then SetPos.
  bool Step();
  bool IsCanceled() const { return m_bCanceled; }  ///< whether Cancel was pressed since the bar was shown
  /// The message line's text; without a window the text goes to standard
  /// output followed by a newline.
  void SetMsg(const char* text);
  /// Paints the percentage: green up to it, white after, the number centred.
  void DrawBar();

  // ---- vdkit extensions
  int GetPercent() const { return m_nPercent; }  ///< the percentage shown
  int GetPosition() const { return m_nPos; }     ///< the position last set
  /// The percentage shown for pos: (pos - low) * 100 / (high - low + 0.001)
  /// in single precision, cut toward zero, modulo 100 (pos == high shows 99).
  static int Percent(int pos, int low, int high);

 protected:
  friend class CDProgress;
  bool m_bCanceled = false;  ///< set by Cancel, cleared by Show
  int m_nLow = 0;            ///< the range's low end
  int m_nHigh = 100;         ///< the range's high end
  int m_nPercent = 0;        ///< the percentage shown
  int m_nPos = 0;            ///< the position
  HWND m_hMsgWnd = nullptr;  ///< the message line's window, not owned
};

/// The progress dialog, made from the template "QRXPROGRESSDLG" (static text
/// 1001 for the message, control 1002 for the bar, Cancel button 2).
class VDKIT_API CDProgress : public CDialog {
 public:
  /// With a parent, the dialog is shown at once.
  explicit CDProgress(CWnd* pParent = nullptr);
  ~CDProgress() override;

  /// Shows the dialog over the parent (else the main window; nothing without
  /// one); hiding destroys its window. Either way the canceled flag is cleared.
  void Show(bool show = true);
  void Hide() { Show(false); }       ///< Show(false)
  void SetRange(int low, int high);  ///< when the bar has a window
  /// As CDProgressBar's, on the dialog's bar.
  ///@{
  bool SetPos(int pos) { return m_bar.SetPos(pos); }
  bool Step() { return m_bar.Step(); }
  bool IsCanceled() const { return m_bar.IsCanceled(); }
  ///@}
  /// The message line; without a dialog window, standard output and a newline.
  void SetMsg(const char* text);
  void SetMsg(unsigned int id);              ///< the string resource id
  void EnableCancel(bool enable);            ///< enables or disables the Cancel button
  CDProgressBar& GetBar() { return m_bar; }  ///< vdkit

 protected:
  void DoDataExchange(CDataExchange* pDX) override;  ///< binds control 1002 to the bar
  BOOL OnInitDialog() override;                      ///< caption: the application's name; centred
  void OnCancel() override;                          ///< sets the canceled flag; the dialog stays

 private:
  CDProgressBar m_bar;
  CWnd* m_pParent;
  HWND m_hParent;  ///< m_pParent is used only while this window lives
};

// ---- The process-wide display ----------------------------------------------------------
/// 1: the dialog becomes current and is shown on top; 2: the status-bar bar
/// becomes current and is shown; anything else hides the current display
/// (it stays current). When no window display could be shown, the terminal
/// display is shown instead, if enabled.
VDKIT_API void qrxProgressShow(int mode);
VDKIT_API void qrxProgressSetRange(int low, int high);  ///< the current display's range
/// True (go on) when nothing is shown; false when the user cancelled or the
/// application is quitting.
VDKIT_API bool qrxProgressSetPos(int pos);
VDKIT_API bool qrxProgressStep();       ///< the current display's Step; true when nothing is shown
VDKIT_API bool qrxProgressCanceled();   ///< whether the current display was cancelled
VDKIT_API bool qrxProgressIsVisible();  ///< whether a display is shown
/// Enables the dialog's Cancel button while the dialog is current and shown.
VDKIT_API void qrxProgressEnableCancel(bool enable);
/// The message line, formatted printf-style and cut at 511 characters; only
/// while a display is shown.
VDKIT_API void qrxProgressSetMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// The same with the format taken from string resource id.
VDKIT_API void qrxProgressSetMsg(unsigned long id, ...);

/// Shows the display for the life of a scope unless one was already shown.
class VDKIT_API qrxProgressShow2 {
 public:
  /// Shows the display of `mode` (as qrxProgressShow) unless one is shown already.
  explicit qrxProgressShow2(int mode = 1);
  qrxProgressShow2(const qrxProgressShow2&) = default;             ///< copies the flag
  qrxProgressShow2& operator=(const qrxProgressShow2&) = default;  ///< copies the flag
  ~qrxProgressShow2();                                             ///< hides what this scope showed
  bool m_bVisible;                                                 ///< whether a display was shown before
};

/// vdkit: the process-wide dialog display, for a host that places or inspects
/// it; null once torn down at exit.
VDKIT_API CDProgress* qrxProgressGetDialog();

// ---- vdkit extension: the terminal display -----------------------------------------------
/// A line on standard error (percentage, bar, elapsed and remaining time, the
/// message) used by the qrx calls when no window display can be shown. By
/// default it is on when standard error is a terminal; a program turns it off
/// (a --quiet option) or on (tests) here. Answers the previous setting.
///@{
enum : int { QRX_TERMINAL_AUTO = -1, QRX_TERMINAL_OFF = 0, QRX_TERMINAL_ON = 1 };
VDKIT_API int qrxProgressSetTerminal(int mode);
///@}
