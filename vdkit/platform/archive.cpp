#include "vdkit/platform/archive.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {
constexpr int kMinBufSize = 128;
// A string is read in pieces of this size so that a hostile length prefix
// never sizes an allocation beyond the bytes that actually arrive.
constexpr size_t kStringChunk = 64 * 1024;
}  // namespace

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_pFile(pFile), m_nMode(nMode), m_nBufSize(std::max(nBufSize, kMinBufSize)), m_bUserBuf(lpBuf != nullptr) {
  if (lpBuf && nBufSize < kMinBufSize) {
    // Too small a caller's buffer: use our own.
    m_bUserBuf = false;
    lpBuf = nullptr;
  }
  m_lpBufStart = m_bUserBuf ? static_cast<BYTE*>(lpBuf) : new BYTE[static_cast<size_t>(m_nBufSize)];
  if (IsStoring()) {
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + m_nBufSize;
  } else {
    m_lpBufCur = m_lpBufMax = m_lpBufStart;
  }
  if (pFile) m_strFileName = pFile->GetFilePath();
}

CArchive::~CArchive() {
  if (!m_bClosed) {
    if (IsStoring() && !(m_nMode & bNoFlushOnDelete)) {
      try {
        FlushStore();
      } catch (CException* e) {
        e->Delete();
      }
    }
    Abort();
  }
}

void CArchive::Abort() {
  if (!m_bUserBuf) delete[] m_lpBufStart;
  m_lpBufStart = m_lpBufCur = m_lpBufMax = nullptr;
  m_bClosed = true;
}

void CArchive::Close() {
  if (m_bClosed) return;
  Flush();
  Abort();
}

void CArchive::FlushStore() {
  if (m_lpBufCur != m_lpBufStart) {
    const UINT n = static_cast<UINT>(m_lpBufCur - m_lpBufStart);
    m_lpBufCur = m_lpBufStart;
    m_pFile->Write(m_lpBufStart, n);
  }
}

void CArchive::Flush() {
  if (m_bClosed) return;
  if (IsStoring()) {
    FlushStore();
    m_pFile->Flush();
  } else if (m_lpBufCur != m_lpBufMax) {
    // Give back the read-ahead so the file stands where reading stopped.
    m_pFile->Seek(-(m_lpBufMax - m_lpBufCur), CFile::current);
    m_lpBufCur = m_lpBufMax = m_lpBufStart;
  }
}

void CArchive::FillBuffer() {
  m_lpBufCur = m_lpBufStart;
  m_lpBufMax = m_lpBufStart + m_pFile->Read(m_lpBufStart, static_cast<UINT>(m_nBufSize));
}

UINT CArchive::Read(void* lpBuf, UINT nMax) {
  if (nMax == 0 || m_bClosed) return 0;
  if (!IsLoading()) throw new CArchiveException(CArchiveException::writeOnly, m_strFileName);
  BYTE* out = static_cast<BYTE*>(lpBuf);
  UINT done = 0;
  while (done < nMax) {
    if (m_lpBufCur == m_lpBufMax) {
      const UINT left = nMax - done;
      if (left >= static_cast<UINT>(m_nBufSize)) {
        // Large reads go straight to the caller's memory.
        const UINT got = m_pFile->Read(out + done, left);
        done += got;
        break;
      }
      FillBuffer();
      if (m_lpBufCur == m_lpBufMax) break;
    }
    const UINT n = std::min<UINT>(nMax - done, static_cast<UINT>(m_lpBufMax - m_lpBufCur));
    std::memcpy(out + done, m_lpBufCur, n);
    m_lpBufCur += n;
    done += n;
  }
  return done;
}

void CArchive::Write(const void* lpBuf, UINT nMax) {
  if (nMax == 0) return;
  if (m_bClosed || !IsStoring()) throw new CArchiveException(CArchiveException::readOnly, m_strFileName);
  const BYTE* in = static_cast<const BYTE*>(lpBuf);
  const UINT room = static_cast<UINT>(m_lpBufMax - m_lpBufCur);
  if (nMax <= room) {
    std::memcpy(m_lpBufCur, in, nMax);
    m_lpBufCur += nMax;
    return;
  }
  std::memcpy(m_lpBufCur, in, room);
  m_lpBufCur += room;
  in += room;
  nMax -= room;
  FlushStore();
  if (nMax >= static_cast<UINT>(m_nBufSize)) {
    m_pFile->Write(in, nMax);
  } else {
    std::memcpy(m_lpBufCur, in, nMax);
    m_lpBufCur += nMax;
  }
}

void CArchive::ThrowEnd() const { throw new CArchiveException(CArchiveException::endOfFile, m_strFileName); }

CArchive& CArchive::Get(void* p, UINT n) {
  if (Read(p, n) != n) ThrowEnd();
  return *this;
}

CArchive& CArchive::operator<<(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return PutLE(bits);
}

CArchive& CArchive::operator<<(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return PutLE(bits);
}

CArchive& CArchive::operator>>(bool& v) {
  BYTE b;
  Get(&b, 1);
  v = b != 0;
  return *this;
}
CArchive& CArchive::operator>>(SHORT& v) {
  v = static_cast<SHORT>(GetLE<uint16_t>());
  return *this;
}
CArchive& CArchive::operator>>(WORD& v) {
  v = GetLE<uint16_t>();
  return *this;
}
CArchive& CArchive::operator>>(LONG& v) {
  v = static_cast<LONG>(GetLE<uint32_t>());
  return *this;
}
CArchive& CArchive::operator>>(DWORD& v) {
  v = GetLE<uint32_t>();
  return *this;
}
CArchive& CArchive::operator>>(LONGLONG& v) {
  v = static_cast<LONGLONG>(GetLE<uint64_t>());
  return *this;
}
CArchive& CArchive::operator>>(ULONGLONG& v) {
  v = GetLE<uint64_t>();
  return *this;
}
CArchive& CArchive::operator>>(float& v) {
  const uint32_t bits = GetLE<uint32_t>();
  std::memcpy(&v, &bits, 4);
  return *this;
}
CArchive& CArchive::operator>>(double& v) {
  const uint64_t bits = GetLE<uint64_t>();
  std::memcpy(&v, &bits, 8);
  return *this;
}

void CArchive::WriteCount(DWORD_PTR dwCount) {
  if (dwCount < 0xFFFF) {
    *this << static_cast<WORD>(dwCount);
  } else {
    *this << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(dwCount);
  }
}

DWORD_PTR CArchive::ReadCount() {
  WORD w;
  *this >> w;
  if (w != 0xFFFF) return w;
  DWORD d;
  *this >> d;
  return d;
}

CArchive& CArchive::operator<<(const CString& s) {
  const size_t len = static_cast<size_t>(s.GetLength());
  if (len < 255) {
    *this << static_cast<BYTE>(len);
  } else if (len < 0xFFFE) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(len);
  } else {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(len);
  }
  Write(s.GetString(), static_cast<UINT>(len));
  return *this;
}

CArchive& CArchive::operator>>(CString& s) {
  BYTE b;
  *this >> b;
  size_t len = b;
  if (b == 0xFF) {
    WORD w;
    *this >> w;
    len = w;
    if (w == 0xFFFF) {
      DWORD d;
      *this >> d;
      len = d;
    }
  }
  std::string text;
  text.reserve(std::min(len, kStringChunk));
  while (text.size() < len) {
    const size_t piece = std::min(len - text.size(), kStringChunk);
    const size_t at = text.size();
    text.resize(at + piece);
    const UINT got = Read(&text[at], static_cast<UINT>(piece));
    if (got != piece) {
      text.resize(at + got);
      s = CString(text);
      ThrowEnd();
    }
  }
  s = CString(std::move(text));
  return *this;
}

void CArchive::WriteString(const char* lpsz) {
  if (lpsz) Write(lpsz, static_cast<UINT>(std::strlen(lpsz)));
}

BOOL CArchive::ReadString(CString& rString) {
  std::string line;
  bool any = false;
  char c;
  while (Read(&c, 1) == 1) {
    any = true;
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  rString = CString(std::move(line));
  return any ? TRUE : FALSE;
}
