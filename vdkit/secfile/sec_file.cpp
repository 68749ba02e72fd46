#include "vdkit/secfile/sec_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

#include "vdkit/core/text_internal.h"

namespace {

constexpr int kFixedHead = 64;  // the part of the header every section file has
constexpr int kEntrySize = 32;
constexpr DWORD kNewFileVersion = 256;
constexpr ULONGLONG kMaxOffset = 0xFFFFFFFFu;  // offsets are 32-bit fields
// Header fields by offset.
constexpr int kFlagAt = 0, kVersionAt = 4, kHeadSizeAt = 8, kCountAt = 10, kBlocksAt = 12;

using Key = std::array<char, 16>;

DWORD Get32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}
WORD Get16(const BYTE* p) {
  return static_cast<WORD>(p[0] | (p[1] << 8));
}
void Put32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
void Put16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}

void EncodeEntry(const SsecTableInfo& in, BYTE* out) {
  std::memcpy(out, in.szName, 16);
  Put16(out + 16, in.wInfo1);
  Put16(out + 18, in.wInfo2);
  Put32(out + 20, in.dwInfo3);
  Put32(out + 24, static_cast<DWORD>(in.nType));
  Put32(out + 28, in.dwDataPos);
}
SsecTableInfo DecodeEntry(const BYTE* in) {
  SsecTableInfo out;
  std::memcpy(out.szName, in, 16);
  out.wInfo1 = Get16(in + 16);
  out.wInfo2 = Get16(in + 18);
  out.dwInfo3 = Get32(in + 20);
  out.nType = static_cast<LONG>(Get32(in + 24));
  out.dwDataPos = Get32(in + 28);
  return out;
}

// The stored form of a name: at most 16 characters, eight blanks, cut to
// 16 bytes, zero-filled.
void PadName(const char* name, size_t length, char out[16]) {
  length = std::min<size_t>(length, 16);
  std::memset(out, 0, 16);
  std::memcpy(out, name, length);
  std::memset(out + length, ' ', std::min<size_t>(8, 16 - length));
}

// A stored name as the comparison sees it: ASCII letters folded, and
// everything after the first zero byte zero, so that equal keys mean a
// case-blind comparison over 16 characters that stops at the terminator.
Key Fold(const char name[16]) {
  Key k{};
  for (int i = 0; i < 16 && name[i]; ++i) {
    k[i] = static_cast<char>(detail::FoldAscii(static_cast<unsigned char>(name[i])));
  }
  return k;
}

// The name a record stands for: its stored form without the padding, so
// that a record as the file holds it names its own entry.
size_t RecordNameLength(const SsecTableInfo& rec) {
  size_t n = 0;
  while (n < 16 && rec.szName[n]) ++n;
  for (int blanks = 0; blanks < 8 && n > 0 && rec.szName[n - 1] == ' '; ++blanks) --n;
  return n;
}

void StoredName(const char* lpszName, const SsecTableInfo& rec, char out[16]) {
  if (lpszName)
    PadName(lpszName, std::strlen(lpszName), out);
  else
    PadName(rec.szName, RecordNameLength(rec), out);
}

// Runs a file operation, noting in `failed` when it throws.
template <class Op>
auto Noting(bool& failed, Op op) -> decltype(op()) {
  try {
    return op();
  } catch (...) {
    failed = true;
    throw;
  }
}

POSITION ToPosition(size_t index) {
  return reinterpret_cast<POSITION>(static_cast<uintptr_t>(index + 1));
}

}  // namespace

// The directory as the file holds it, read a block at a time as far as the
// lookups and walks have reached, and kept until something is written
// through this object.
struct CSecFile::Directory {
  std::vector<SsecTableInfo> entries;  // by entry number
  std::vector<Key> keys;               // folded names
  std::vector<char> present;           // 0: not read yet, or its block is not in the file
  int blocksRead = 0;                  // blocks 0 .. blocksRead - 1 have been read
};

CSecFile::CSecFile() = default;

CSecFile::~CSecFile() {
  if (!IsOpen()) return;
  if (m_nMode == secOpenCreate && std::uncaught_exceptions() > m_nUncaught) {
    Abort();
    return;
  }
  try {
    Close();
  } catch (CException* e) {
    e->Delete();
    Abort();
  }
}

// ---- Opening and closing ------------------------------------------------------------------
bool CSecFile::Open(const char* lpszFileName, SimapOF nMode) {
  return OpenAs(lpszFileName, nMode, nullptr);
}

BOOL CSecFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError) {
  const SimapOF mode = (nOpenFlags & modeCreate)      ? secOpenCreate
                       : (nOpenFlags & 3) != modeRead ? secOpenReadWrite
                                                      : secOpenRead;
  return OpenAs(lpszFileName, mode, pError) ? TRUE : FALSE;
}

bool CSecFile::OpenAs(const char* lpszFileName, SimapOF nMode, CFileException* pError) {
  if (IsOpen()) Close();
  const int headSize = GetHeadSize();
  if (headSize < kFixedHead || headSize > 0xFFFF) return false;
  m_head.assign(static_cast<size_t>(headSize), 0);
  const SimapOF mode = (nMode == secOpenReadWrite || nMode == secOpenCreate) ? nMode : secOpenRead;
  const BOOL opened =
      mode == secOpenCreate
          ? CSafeFile::Open(lpszFileName, modeCreate | modeReadWrite | typeBinary, pError)
          : CFile::Open(lpszFileName, (mode == secOpenReadWrite ? modeReadWrite : modeRead) | typeBinary,
                        pError);
  if (!opened) return false;
  ResetState();
  m_nMode = mode;
  m_nUncaught = std::uncaught_exceptions();
  bool valid = false;
  // A header half read or half written is no file to go on with.
  try {
    if (mode == secOpenCreate) {
      std::vector<BYTE> head(m_head.size(), 0);
      Put32(&head[kFlagAt], GetFileFlag());
      Put32(&head[kVersionAt], kNewFileVersion);
      Put16(&head[kHeadSizeAt], static_cast<WORD>(headSize));
      return WriteHead(head);
    }
    valid = GetLength() >= static_cast<ULONGLONG>(headSize) &&
            Read(m_head.data(), static_cast<UINT>(headSize)) == static_cast<UINT>(headSize) &&
            Get32(&m_head[kFlagAt]) == GetFileFlag() && Get16(&m_head[kCountAt]) <= kSecMaxTables;
  } catch (CException*) {
    Abort();
    std::fill(m_head.begin(), m_head.end(), 0);
    throw;
  }
  if (!valid) {
    Abort();
    std::fill(m_head.begin(), m_head.end(), 0);
    if (pError) *pError = CFileException(CFileException::invalidFile, -1, lpszFileName);
  }
  return valid;
}

void CSecFile::Close() {
  if (!IsOpen()) return;
  const bool created = m_nMode == secOpenCreate;
  const bool failed = m_bFailed;
  ResetState();
  if (!created)
    CFile::Close();
  else if (failed)
    CSafeFile::Abort();
  else
    CSafeFile::Close();
}

void CSecFile::Abort() {
  CSafeFile::Abort();
  ResetState();
}

void CSecFile::ResetState() {
  m_pDir.reset();
  m_bFailed = false;
  m_nMode = secOpenRead;
}

// A failed read or seek leaves the position unknown, so the caller's next
// write may land anywhere: any failure keeps a created file from replacing
// the old one.
UINT CSecFile::Read(void* lpBuf, UINT nCount) {
  return Noting(m_bFailed, [&] { return CSafeFile::Read(lpBuf, nCount); });
}

void CSecFile::Write(const void* lpBuf, UINT nCount) {
  m_pDir.reset();
  Noting(m_bFailed, [&] { CSafeFile::Write(lpBuf, nCount); });
}

ULONGLONG CSecFile::Seek(LONGLONG lOff, UINT nFrom) {
  return Noting(m_bFailed, [&] { return CSafeFile::Seek(lOff, nFrom); });
}

void CSecFile::SetLength(ULONGLONG dwNewLen) {
  m_pDir.reset();
  Noting(m_bFailed, [&] { CSafeFile::SetLength(dwNewLen); });
}

void CSecFile::Flush() {
  Noting(m_bFailed, [&] { CSafeFile::Flush(); });
}

DWORD CSecFile::GetFileFlag() {
  return Get32(reinterpret_cast<const BYTE*>("SECF"));
}

int CSecFile::GetHeadSize() {
  return kFixedHead;
}

// ---- Header -------------------------------------------------------------------------------------
bool CSecFile::WriteHead(const std::vector<BYTE>& head) {
  const ULONGLONG pos = GetPosition();
  Seek(0, begin);
  Write(head.data(), static_cast<UINT>(head.size()));
  if (&head != &m_head) m_head = head;
  Seek(static_cast<LONGLONG>(pos), begin);
  return true;
}

bool CSecFile::SetFileHead(SsecFileHead* pHead) {
  if (!IsWritable() || !pHead) return false;
  if (reinterpret_cast<BYTE*>(pHead) == m_head.data()) return WriteHead(m_head);
  std::vector<BYTE> head = m_head;
  Put32(&head[kFlagAt], GetFileFlag());
  Put32(&head[kVersionAt], pHead->dwVersion);
  Put16(&head[kHeadSizeAt], static_cast<WORD>(head.size()));
  std::memcpy(head.data() + kFixedHead, reinterpret_cast<const BYTE*>(pHead) + kFixedHead,
              head.size() - kFixedHead);
  return WriteHead(head);
}

bool CSecFile::GetFileHead(SsecFileHead* pHead) {
  if (!IsOpen() || !pHead) return false;
  const BYTE* h = m_head.data();
  pHead->dwFileFlag = Get32(h + kFlagAt);
  pHead->dwVersion = Get32(h + kVersionAt);
  pHead->wHeadSize = Get16(h + kHeadSizeAt);
  pHead->wTableCount = Get16(h + kCountAt);
  for (int b = 0; b < 13; ++b) pHead->dwDirBlock[b] = Get32(h + kBlocksAt + 4 * b);
  std::memcpy(reinterpret_cast<BYTE*>(pHead) + kFixedHead, h + kFixedHead, m_head.size() - kFixedHead);
  return true;
}

int CSecFile::GetTableCount() const {
  return IsOpen() ? Get16(&m_head[kCountAt]) : 0;
}

// ---- Directory ----------------------------------------------------------------------------------
const CSecFile::Directory& CSecFile::DirectoryThrough(int nBlock) {
  if (!m_pDir) {
    const size_t count =
        static_cast<size_t>(GetTableCount());  // at most 832: Open and AddTableInfo see to it
    m_pDir = std::make_unique<Directory>();
    m_pDir->entries.resize(count);
    m_pDir->keys.resize(count);
    m_pDir->present.assign(count, 0);
  }
  Directory& dir = *m_pDir;
  if (dir.blocksRead > nBlock) return dir;
  const int count = static_cast<int>(dir.entries.size());
  const ULONGLONG length = GetLength();
  const ULONGLONG pos = GetPosition();
  BYTE block[kSecDirBlockSize];
  for (; dir.blocksRead <= nBlock; ++dir.blocksRead) {
    const int first = dir.blocksRead * kSecDirBlockEntries;
    if (first >= count) break;
    const DWORD offset = Get32(&m_head[kBlocksAt + 4 * dir.blocksRead]);
    if (offset < m_head.size() || offset >= length) continue;  // 0 included: not written
    const int n = std::min(kSecDirBlockEntries, count - first);
    const UINT want =
        static_cast<UINT>(std::min<ULONGLONG>(static_cast<ULONGLONG>(n) * kEntrySize, length - offset));
    Seek(offset, begin);
    const UINT got = Read(block, want);
    for (UINT s = 0; (s + 1) * kEntrySize <= got; ++s) {
      const size_t k = static_cast<size_t>(first) + s;
      dir.entries[k] = DecodeEntry(block + s * kEntrySize);
      dir.keys[k] = Fold(dir.entries[k].szName);
      dir.present[k] = 1;
    }
  }
  Seek(static_cast<LONGLONG>(pos), begin);
  return dir;
}

template <class Match>
int CSecFile::Scan(int from, Match match) {
  const int count = GetTableCount();
  for (int b = from / kSecDirBlockEntries; b * kSecDirBlockEntries < count; ++b) {
    const Directory& dir = DirectoryThrough(b);  // a block is read when the scan reaches it
    const int end = std::min(count, (b + 1) * kSecDirBlockEntries);
    for (int k = std::max(from, b * kSecDirBlockEntries); k < end; ++k)
      if (match(dir, static_cast<size_t>(k))) return k;
  }
  return -1;
}

int CSecFile::Find(const char* lpszName, const SsecTableInfo* pRecord) {
  if (!IsOpen() || (!lpszName && !pRecord)) return -1;
  char stored[16];
  StoredName(lpszName, lpszName ? SsecTableInfo{} : *pRecord, stored);
  const Key key = Fold(stored);
  return Scan(0, [&key](const Directory& dir, size_t k) { return dir.present[k] && dir.keys[k] == key; });
}

bool CSecFile::AddTableInfo(const char* lpszName, WORD wInfo2, WORD wInfo1) {
  SsecTableInfo info{};
  info.wInfo1 = wInfo1;
  info.wInfo2 = wInfo2;
  return AddTableInfo(lpszName ? lpszName : "", info);
}

bool CSecFile::AddTableInfo(const char* lpszName, SsecTableInfo& info) {
  if (!IsWritable()) return false;
  const int k = GetTableCount();
  if (k >= kSecMaxTables) return false;
  const int b = k / kSecDirBlockEntries;
  const int s = k % kSecDirBlockEntries;
  DWORD block = Get32(&m_head[kBlocksAt + 4 * b]);
  const ULONGLONG length = GetLength();
  const bool newBlock = block == 0;
  if (newBlock) {
    // A block is added with its first entry; a gap means a damaged header.
    if (s != 0 || length + kSecDirBlockSize > kMaxOffset) return false;
  } else if (block < m_head.size() || block + static_cast<ULONGLONG>(s + 1) * kEntrySize > length ||
             length > kMaxOffset) {
    return false;  // the slot would overwrite the header or leave a hole
  }
  char stored[16];
  StoredName(lpszName, info, stored);
  std::memcpy(info.szName, stored, 16);
  if (newBlock) {
    static const BYTE zeros[kSecDirBlockSize] = {};
    Seek(static_cast<LONGLONG>(length), begin);
    Write(zeros, sizeof zeros);
    block = static_cast<DWORD>(length);
  }
  info.dwDataPos = static_cast<DWORD>(newBlock ? length + kSecDirBlockSize : length);
  BYTE bytes[kEntrySize];
  EncodeEntry(info, bytes);
  Seek(static_cast<LONGLONG>(block) + s * kEntrySize, begin);
  Write(bytes, kEntrySize);
  // The header changes only once the entry is on disk.
  std::vector<BYTE> head = m_head;
  Put32(&head[kBlocksAt + 4 * b], block);
  Put16(&head[kCountAt], static_cast<WORD>(k + 1));
  WriteHead(head);
  SeekToEnd();
  return true;
}

bool CSecFile::GetTableInfo(const char* lpszName, SsecTableInfo& info) {
  const int k = Find(lpszName, &info);
  if (k < 0) return false;
  info = m_pDir->entries[static_cast<size_t>(k)];
  return true;
}

bool CSecFile::SetTableInfo(const char* lpszName, SsecTableInfo& info) {
  if (!IsWritable()) return false;
  const int k = Find(lpszName, &info);
  if (k < 0) return false;
  const DWORD block = Get32(&m_head[kBlocksAt + 4 * (k / kSecDirBlockEntries)]);
  BYTE bytes[kEntrySize];
  EncodeEntry(info, bytes);
  const ULONGLONG pos = GetPosition();
  Seek(static_cast<LONGLONG>(block) + (k % kSecDirBlockEntries) * kEntrySize, begin);
  Write(bytes, kEntrySize);
  Seek(static_cast<LONGLONG>(pos), begin);
  return true;
}

bool CSecFile::SeekToTableData(const char* lpszName, SsecTableInfo* pInfo) {
  const int k = Find(lpszName, pInfo);
  if (k < 0) return false;
  const SsecTableInfo& entry = m_pDir->entries[static_cast<size_t>(k)];
  if (entry.dwDataPos > GetLength()) return false;
  Seek(entry.dwDataPos, begin);
  if (pInfo) *pInfo = entry;
  return true;
}

// ---- Walk ---------------------------------------------------------------------------------------
POSITION CSecFile::GetFirstTableInfoPos(int nType) {
  const int k = IsOpen() ? NextEntry(0, nType) : -1;
  return k < 0 ? nullptr : ToPosition(static_cast<size_t>(k));
}

bool CSecFile::GetNextTableInfo(POSITION& pos, SsecTableInfo& info, int nType) {
  if (!pos || !IsOpen()) return false;
  const uintptr_t from = reinterpret_cast<uintptr_t>(pos) - 1;
  const int k = from < static_cast<uintptr_t>(kSecMaxTables) ? NextEntry(static_cast<int>(from), nType) : -1;
  if (k < 0) {
    pos = nullptr;
    return false;
  }
  info = m_pDir->entries[static_cast<size_t>(k)];
  pos = k + 1 < GetTableCount() ? ToPosition(static_cast<size_t>(k) + 1) : nullptr;
  return true;
}

int CSecFile::NextEntry(int from, int nType) {
  return Scan(from, [nType](const Directory& dir, size_t k) {
    return dir.present[k] && (nType < 1 || dir.entries[k].nType == nType);
  });
}
