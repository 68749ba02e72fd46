/// @file
/// CFile64: a CFile with the framework's 64-bit position operations, for
/// files past 4 GiB.
///
/// ```
/// CFile64 f;
/// if (f.Open("grid.bin", CFile::modeRead)) {
///   ULONGLONG size = f.GetLengthHuge();
///   f.Seek(size - 16, CFile::begin);
/// }
/// ```
///
/// Failure: an operating-system failure of a seek throws a CFileException
/// (allocated with new; catch by pointer and call Delete) carrying the
/// system's error code. CFile's own Seek takes a signed offset and stays
/// reachable as CFile::Seek.
#pragma once

#include "vdkit/platform/file.h"

/// The unsigned Seek below hides CFile's virtual one on purpose, as in the
/// framework: through a CFile64 the 64-bit form is the one called.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif
class VDKIT_API CFile64 : public CFile {
 public:
  CFile64() = default;
  /// Opens the file; throws a CFileException on failure.
  CFile64(const char* lpszFileName, UINT nOpenFlags) : CFile(lpszFileName, nOpenFlags) {}
  ~CFile64() override;

  /// Moves to `offset` from `nFrom` (begin, current, end) and returns the new
  /// position. The offset is taken modulo 2^64, so a backward move from
  /// current or end is written as its two's complement, as callers of the
  /// framework's form do.
  ULONGLONG Seek(ULONGLONG offset, UINT nFrom);
  ULONGLONG GetPositionHuge() const { return GetPosition(); }  ///< the current position
  /// Seeks to the end for the length and comes back to where it was.
  ULONGLONG GetLengthHuge();
};
#if defined(__clang__)
#pragma clang diagnostic pop
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
