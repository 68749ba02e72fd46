// Internal to vdkit/vdb: the little-endian reader and writer under the
// table-set stream and the data set's binary form. Not installed; include it
// only from the library's .cpp files.
//
// The reader checks every length and count against the bytes the file still
// holds before it sizes an allocation or drives a loop, so a hostile stream
// costs at most its own length. Once a read fails the reader stays failed.
#pragma once

#include <cstdint>
#include <cstring>

#include "vdkit/core/padded_string.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"

namespace detail {

class StreamWriter {
 public:
  explicit StreamWriter(CFile& file) : m_file(file) {}

  void Bytes(const void* p, UINT n) {
    if (n) m_file.Write(p, n);
  }
  void Int32(int32_t v) {
    const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(static_cast<uint32_t>(v) >> 8),
                       static_cast<BYTE>(static_cast<uint32_t>(v) >> 16),
                       static_cast<BYTE>(static_cast<uint32_t>(v) >> 24)};
    Bytes(b, 4);
  }
  void Float(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, 4);
    Int32(bits);
  }
  void PaddedString(const char* text) { WritePaddedString(m_file, text); }

 private:
  CFile& m_file;
};

class BoundedReader {
 public:
  explicit BoundedReader(CFile& file) : m_file(file) {}

  bool ok() const { return m_ok; }
  // What the file holds after its position. Asked afresh each time, since
  // other readers (a table's own file form) move the position in between.
  ULONGLONG Remaining() const {
    const ULONGLONG len = m_file.GetLength(), pos = m_file.GetPosition();
    return len > pos ? len - pos : 0;
  }

  bool Bytes(void* p, UINT n) {
    if (!m_ok) return false;
    const UINT got = n ? m_file.Read(p, n) : 0;
    return got == n ? true : Fail();
  }
  bool Int32(int32_t& v) {
    BYTE b[4];
    if (!Bytes(b, 4)) return false;
    v = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                             static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  bool Float(float& f) {
    int32_t bits;
    if (!Int32(bits)) return false;
    std::memcpy(&f, &bits, 4);
    return true;
  }
  // A count of entries that each take at least minEntryBytes: negative, or
  // more than the bytes left can hold, is damage.
  bool Count(int32_t& n, ULONGLONG minEntryBytes) {
    if (!Int32(n)) return false;
    if (n < 0 || static_cast<ULONGLONG>(n) * minEntryBytes > Remaining()) return Fail();
    return true;
  }
  // The text up to its first zero byte (a length below 1 is the empty text);
  // a length beyond the end of the file is refused before it is allocated.
  bool PaddedString(CString& out) {
    if (!m_ok) return false;
    return ReadPaddedString(m_file, out) ? true : Fail();
  }
  // Stops the reader, as damage found by a caller's own check.
  bool Fail() {
    m_ok = false;
    return false;
  }

 private:
  CFile& m_file;
  bool m_ok = true;
};

}  // namespace detail
