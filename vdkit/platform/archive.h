/// @file
/// CArchive: the framework's buffered byte stream over a CFile, in one
/// direction (storing or loading), with its byte forms for numbers, counts and
/// strings, so that archives written by programs on that framework read here.
///
/// Byte forms (little-endian, no alignment):
///
/// ```
/// numbers   BYTE 1, WORD/SHORT 2, LONG/DWORD/int/UINT/float 4,
///           LONGLONG/ULONGLONG/double 8 bytes
/// count     below 0xFFFF: WORD          else FF FF, DWORD
/// CString   length below 255: BYTE len
///           below 0xFFFE:     FF, WORD len
///           otherwise:        FF, FF FF, DWORD len
///           then the characters, no terminator
///
/// "abc"            -> 03 61 62 63
/// 300 characters   -> FF 2C 01 ...
/// 70000 characters -> FF FF FF 70 11 01 00 ...
/// ```
///
/// States: an archive is open from construction until Close or Abort; storing
/// archives hold up to nBufSize bytes not yet given to the file (Flush gives
/// them); loading archives read ahead up to nBufSize bytes, so the file's
/// position is ahead of what has been read until Close. Close of a storing
/// archive flushes; the destructor closes without throwing (Abort).
///
/// Failure: a `>>` that runs past the end throws `new CArchiveException(
/// endOfFile)`, as in the framework; Read itself returns the bytes delivered.
/// File errors pass through as CFileException pointers. A string whose length
/// prefix promises more than the stream holds throws endOfFile after reading
/// what there is; it never allocates more than the bytes actually present.
///
/// ```
/// CMemFile mem;
/// CArchive ar(&mem, CArchive::store);
/// ar << CString("abc") << (LONG)7;
/// ar.Close();
/// ```
#pragma once

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

class CQRXDoc;  // the host's document: stored and returned, never used here

/// A buffered byte stream over a CFile in one direction, with the framework's
/// byte forms (see the file's description).
class VDKIT_API CArchive {
 public:
  /// The direction (store or load) and option bits: bNoFlushOnDelete keeps the
  /// destructor from flushing a storing archive; bNoByteSwap has no effect.
  enum Mode : UINT { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

  /// lpBuf, when given, is used as the buffer (nBufSize bytes) and stays the
  /// caller's; otherwise the archive allocates its own.
  CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;
  ~CArchive();

  /// The archive's direction.
  ///@{
  bool IsLoading() const { return (m_nMode & load) != 0; }
  bool IsStoring() const { return (m_nMode & load) == 0; }
  ///@}
  /// No buffered bytes left (loading: nothing read ahead).
  bool IsBufferEmpty() const { return m_lpBufCur == m_lpBufMax; }
  CFile* GetFile() const { return m_pFile; }  ///< the file the archive works on

  /// Reads up to nMax bytes; returns the bytes delivered (fewer at the end).
  UINT Read(void* lpBuf, UINT nMax);
  /// Writes nMax bytes through the buffer.
  void Write(const void* lpBuf, UINT nMax);
  /// Gives buffered bytes to the file (storing), or drops read-ahead (loading).
  void Flush();
  /// Flushes a storing archive and ends it; a second Close does nothing.
  void Close();
  /// Ends the archive without flushing and without throwing.
  void Abort();

  /// Counts in the framework's form (see the table above).
  ///@{
  void WriteCount(DWORD_PTR dwCount);
  DWORD_PTR ReadCount();
  ///@}
  /// WriteString writes the text as it stands; ReadString reads up to "\n"
  /// (dropped, with a "\r" before it) and is FALSE only at the end.
  ///@{
  void WriteString(const char* lpsz);
  BOOL ReadString(CString& rString);
  ///@}

  // ---- numbers ------------------------------------------------------------
  /// Stores a number, a bool (one byte, 0 or 1) or a string in the byte forms
  /// above; a null text stores the empty string.
  ///@{
  CArchive& operator<<(BYTE v) { return Put(&v, 1); }
  CArchive& operator<<(char v) { return Put(&v, 1); }
  CArchive& operator<<(signed char v) { return Put(&v, 1); }
  CArchive& operator<<(bool v) { BYTE b = v ? 1 : 0; return Put(&b, 1); }
  CArchive& operator<<(SHORT v) { return PutLE(static_cast<uint16_t>(v)); }
  CArchive& operator<<(WORD v) { return PutLE(v); }
  CArchive& operator<<(LONG v) { return PutLE(static_cast<uint32_t>(v)); }
  CArchive& operator<<(DWORD v) { return PutLE(v); }
  CArchive& operator<<(LONGLONG v) { return PutLE(static_cast<uint64_t>(v)); }
  CArchive& operator<<(ULONGLONG v) { return PutLE(v); }
  CArchive& operator<<(float v);
  CArchive& operator<<(double v);
  CArchive& operator<<(const CString& s);
  CArchive& operator<<(const char* s) { return *this << CString(s); }
  ///@}

  /// Loads what the matching `<<` stored (a bool is true for any byte but 0);
  /// throws `CArchiveException*` (endOfFile) when the stream ends first.
  ///@{
  CArchive& operator>>(BYTE& v) { return Get(&v, 1); }
  CArchive& operator>>(char& v) { return Get(&v, 1); }
  CArchive& operator>>(signed char& v) { return Get(&v, 1); }
  CArchive& operator>>(bool& v);
  CArchive& operator>>(SHORT& v);
  CArchive& operator>>(WORD& v);
  CArchive& operator>>(LONG& v);
  CArchive& operator>>(DWORD& v);
  CArchive& operator>>(LONGLONG& v);
  CArchive& operator>>(ULONGLONG& v);
  CArchive& operator>>(float& v);
  CArchive& operator>>(double& v);
  CArchive& operator>>(CString& s);
  ///@}

  CQRXDoc* m_pDocument = nullptr;  ///< carried along for the objects being stored
  CString m_strFileName;           ///< carried along; the file's path by default

 private:
  CArchive& Put(const void* p, UINT n) {
    if (static_cast<UINT>(m_lpBufMax - m_lpBufCur) >= n && IsStoring()) {
      for (UINT i = 0; i < n; ++i) m_lpBufCur[i] = static_cast<const BYTE*>(p)[i];
      m_lpBufCur += n;
    } else {
      Write(p, n);
    }
    return *this;
  }
  CArchive& Get(void* p, UINT n);
  template <class U>
  CArchive& PutLE(U v) {
    BYTE b[sizeof(U)];
    for (size_t i = 0; i < sizeof(U); ++i) b[i] = static_cast<BYTE>(v >> (8 * i));
    return Put(b, sizeof(U));
  }
  template <class U>
  U GetLE() {
    BYTE b[sizeof(U)];
    Get(b, sizeof(U));
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) v = static_cast<U>(v | (static_cast<U>(b[i]) << (8 * i)));
    return v;
  }
  void FillBuffer();
  void FlushStore();
  [[noreturn]] void ThrowEnd() const;

  CFile* m_pFile;
  UINT m_nMode;
  BYTE* m_lpBufStart;
  BYTE* m_lpBufMax;  ///< storing: end of the buffer; loading: end of valid bytes
  BYTE* m_lpBufCur;
  int m_nBufSize;
  bool m_bUserBuf;
  bool m_bClosed = false;
};
