#include "vdkit/vdfile/file64.h"

CFile64::~CFile64() = default;

ULONGLONG CFile64::Seek(ULONGLONG offset, UINT nFrom) {
  return CFile::Seek(static_cast<LONGLONG>(offset), nFrom);
}

ULONGLONG CFile64::GetLengthHuge() {
  const ULONGLONG here = GetPosition();
  const ULONGLONG length = CFile::Seek(0, CFile::end);
  CFile::Seek(static_cast<LONGLONG>(here), CFile::begin);
  return length;
}
