// Long work's progress, on standard error when it is a terminal: the
// library's terminal display, one line redrawn in place and erased when the
// work is done. A phase says what is being done and how much of it there is;
// its line appears only once the phase has run for a moment (0.4 s, or the
// seconds the environment variable VDKIT_PROGRESS_AFTER gives), so that quick
// commands show nothing.
//
//   EnableProgress(!quiet && isatty(2));
//   ProgressPhase phase("writing surface.asc", rows);
//   for (int r = 0; r < rows; ++r) { ...; phase.Set(r + 1); }
#pragma once

#include <cstdint>
#include <string>

#include "vdkit/platform/file.h"

namespace vdtool {

// Whether phases show at all (off until enabled).
void EnableProgress(bool on);
bool ProgressEnabled();

class ProgressPhase {
 public:
  ProgressPhase(std::string message, uint64_t total);
  ~ProgressPhase();
  ProgressPhase(const ProgressPhase&) = delete;
  ProgressPhase& operator=(const ProgressPhase&) = delete;
  // `done` of the total.
  void Set(uint64_t done);

 private:
  std::string m_message;
  uint64_t m_total;
  double m_start;
  int m_shown = -1;  // the position drawn (0 ... 1000), -1 before the line appears
};

// A file read through a phase: each read moves it to the position reached.
class WatchedFile : public CFile {
 public:
  UINT Read(void* lpBuf, UINT nCount) override;
  // Reads from here on move `phase` (null: none).
  void Watch(ProgressPhase* phase) { m_phase = phase; }

 private:
  ProgressPhase* m_phase = nullptr;
};

// The same over bytes in memory.
class WatchedMemFile : public CMemFile {
 public:
  WatchedMemFile(const BYTE* data, size_t size, ProgressPhase* phase);
  UINT Read(void* lpBuf, UINT nCount) override;

 private:
  ProgressPhase* m_phase;
};

}  // namespace vdtool
