#include "vdkit/progress/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "vdkit/progress/progress_internal.h"

namespace {

constexpr int kBarCells = 20;

double Monotonic() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Clock(double seconds) {
  const long long s = static_cast<long long>(std::max(0.0, std::min(seconds, 359999.0)));
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", s / 60, s % 60);
  return buf;
}

void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n < 0 && errno == EINTR)
      continue;
    else
      return;  // a closed or full stream: progress is not worth failing for
  }
}

}  // namespace

CTerminalProgress::CTerminalProgress(int fd) : m_fd(fd), m_clock(Monotonic) {}

CTerminalProgress::~CTerminalProgress() {
  Stop();
}

void CTerminalProgress::SetClock(std::function<double()> clock) {
  m_clock = clock ? std::move(clock) : Monotonic;
}

void CTerminalProgress::Start() {
  m_low = 0;
  m_high = 100;
  m_pos = 0;
  m_msg.clear();
  m_start = m_clock();
  m_active = true;
  m_line.clear();
  Draw();
}

void CTerminalProgress::Stop() {
  if (!m_active) return;
  m_active = false;
  m_line.clear();
  WriteAll(m_fd, "\r\x1b[K");
}

void CTerminalProgress::SetRange(int low, int high) {
  m_low = low;
  m_high = high;
  m_pos = low;
  Draw();
}

void CTerminalProgress::SetPos(int pos) {
  m_pos = pos;
  Draw();
}

void CTerminalProgress::Step() {
  SetPos(progress_internal::NextPosition(m_pos, m_low, m_high));
}

void CTerminalProgress::SetMsg(const char* text) {
  m_msg = text ? text : "";
  for (char& c : m_msg)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  Draw();
}

std::string CTerminalProgress::Render() const {
  const double span = static_cast<double>(m_high) - m_low;
  const double done = static_cast<double>(m_pos) - m_low;
  const double f = span > 0 ? std::clamp(done / span, 0.0, 1.0) : (m_pos >= m_high ? 1.0 : 0.0);
  const double elapsed = m_clock() - m_start;
  const int cells = static_cast<int>(std::floor(f * kBarCells));
  char head[64];
  std::snprintf(head, sizeof head, "%3d%% [", static_cast<int>(std::floor(f * 100)));
  std::string line = head;
  line.append(static_cast<size_t>(cells), '#').append(static_cast<size_t>(kBarCells - cells), '-');
  line +=
      "] " + Clock(elapsed) + ", " + (f > 0 ? Clock(elapsed * (1 - f) / f) : std::string("--:--")) + " left";
  if (!m_msg.empty()) line += "  " + m_msg;
  int columns = m_columns;
  if (columns <= 0) {
    winsize ws{};
    columns = ::ioctl(m_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
  }
  // One column is left free: a line that fills the terminal would wrap.
  const size_t room = static_cast<size_t>(std::max(1, columns - 1));
  if (line.size() > room) line.resize(room);
  return line;
}

void CTerminalProgress::Draw() {
  if (!m_active) return;
  std::string line = Render();
  if (line == m_line) return;
  m_line = line;
  WriteAll(m_fd, "\r" + line + "\x1b[K");
}
