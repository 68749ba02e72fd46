#include "long_work.h"

#include <time.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "vdkit/progress/terminal_progress.h"

namespace vdtool {

namespace {

// A phase shows once it has run this long (VDKIT_PROGRESS_AFTER, in seconds,
// sets another wait: the tests' way to see a line at once).
double QuietSeconds() {
  static const double seconds = [] {
    const char* text = std::getenv("VDKIT_PROGRESS_AFTER");
    return text && *text ? std::atof(text) : 0.4;
  }();
  return seconds;
}

bool g_enabled = false;

double Now() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

CTerminalProgress& Display() {
  static CTerminalProgress display(2);
  return display;
}

}  // namespace

void EnableProgress(bool on) {
  g_enabled = on;
}

bool ProgressEnabled() {
  return g_enabled;
}

ProgressPhase::ProgressPhase(std::string message, uint64_t total)
    : m_message(std::move(message)), m_total(total), m_start(g_enabled ? Now() : 0) {}

ProgressPhase::~ProgressPhase() {
  if (m_shown >= 0) Display().Stop();
}

void ProgressPhase::Set(uint64_t done) {
  if (!g_enabled) return;
  const int pos = m_total == 0 ? 1000 : static_cast<int>(std::min<uint64_t>(done, m_total) * 1000 / m_total);
  if (pos == m_shown) return;
  if (m_shown < 0) {
    if (Now() - m_start < QuietSeconds()) return;
    Display().Start();
    Display().SetRange(0, 1000);
    Display().SetMsg(m_message.c_str());
  }
  m_shown = pos;
  Display().SetPos(pos);
}

UINT WatchedFile::Read(void* lpBuf, UINT nCount) {
  const UINT n = CFile::Read(lpBuf, nCount);
  if (m_phase) m_phase->Set(GetPosition());
  return n;
}

WatchedMemFile::WatchedMemFile(const BYTE* data, size_t size, ProgressPhase* phase)
    : CMemFile(const_cast<BYTE*>(data), static_cast<UINT>(size), 0), m_phase(phase) {}

UINT WatchedMemFile::Read(void* lpBuf, UINT nCount) {
  const UINT n = CMemFile::Read(lpBuf, nCount);
  if (m_phase) m_phase->Set(GetPosition());
  return n;
}

}  // namespace vdtool
