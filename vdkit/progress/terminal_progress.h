/// @file
/// CTerminalProgress: a one-line progress display for a terminal, redrawn in
/// place (carriage return, then erase to the end of the line):
///
/// ```
///  42% [########------------] 00:12, 00:17 left  reading wells.tv10
/// ```
///
/// percentage, bar, elapsed time, estimated time left ("--:--" until there is
/// a first step) and the message, cut to the terminal's width. The qrx calls
/// use one on standard error when no window display can be shown; a
/// command-line program may also use its own:
///
/// ```
/// CTerminalProgress progress;          // standard error
/// progress.Start();
/// progress.SetRange(0, n);
/// for (int i = 0; i < n; ++i) progress.SetPos(i + 1);
/// progress.Stop();                     // erases the line
/// ```
///
/// The line is written only when its text changes (the percentage, the
/// message, or the clock's seconds), one write per change. Control characters
/// in messages are shown as blanks, so a message cannot move the cursor.
/// Not copyable; one thread.
#pragma once

#include <functional>
#include <string>

#include "vdkit/platform/types.h"

/// A one-line progress display on a terminal (see the file's description).
class VDKIT_API CTerminalProgress {
 public:
  /// A display that writes to the file descriptor fd (standard error unless given).
  explicit CTerminalProgress(int fd = 2);
  CTerminalProgress(const CTerminalProgress&) = delete;
  CTerminalProgress& operator=(const CTerminalProgress&) = delete;
  ~CTerminalProgress();  ///< Stop()

  /// Starts the clock with range 0 ... 100, position 0 and no message, and
  /// draws the line.
  void Start();
  /// Erases the line.
  void Stop();
  bool IsActive() const { return m_active; }  ///< between Start and Stop
  void SetRange(int low, int high);           ///< the position moves to low
  void SetPos(int pos);                       ///< moves the position and redraws when the line changes
  /// Advances the position by one, wrapping from high back to low.
  void Step();
  void SetMsg(const char* text);  ///< the message at the line's end

  /// The line as last drawn, without control sequences.
  const std::string& GetLine() const { return m_line; }
  /// Seconds since an arbitrary origin; the default is the monotonic clock.
  void SetClock(std::function<double()> clock);
  /// The width to fit; 0 asks the terminal (80 when it cannot tell).
  void SetColumns(int columns) { m_columns = columns; }

 private:
  void Draw();
  std::string Render() const;

  int m_fd;
  bool m_active = false;
  int m_low = 0, m_high = 100, m_pos = 0;
  std::string m_msg, m_line;
  std::function<double()> m_clock;
  double m_start = 0;
  int m_columns = 0;
};
