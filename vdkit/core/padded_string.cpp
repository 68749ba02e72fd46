#include "vdkit/core/padded_string.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

// Strings up to this many bytes are written and read through one stack
// buffer; longer ones go through the heap in chunks of this size.
constexpr size_t kSmall = 256;
constexpr size_t kChunk = 64 * 1024;

void PutLength(BYTE* out, LONG p) {
  const DWORD u = static_cast<DWORD>(p);
  out[0] = static_cast<BYTE>(u);
  out[1] = static_cast<BYTE>(u >> 8);
  out[2] = static_cast<BYTE>(u >> 16);
  out[3] = static_cast<BYTE>(u >> 24);
}

LONG GetLength(const BYTE* in) {
  const DWORD u = DWORD{in[0]} | DWORD{in[1]} << 8 | DWORD{in[2]} << 16 | DWORD{in[3]} << 24;
  return static_cast<LONG>(u);
}

// Reads exactly n bytes or reports that the file ended first.
bool ReadExactly(CFile& file, void* buf, size_t n) {
  char* out = static_cast<char*>(buf);
  while (n > 0) {
    const UINT got = file.Read(out, static_cast<UINT>(n));
    if (got == 0) return false;
    out += got;
    n -= got;
  }
  return true;
}

// Bytes before the first zero among the n at p (n when there is none).
size_t TextLength(const char* p, size_t n) {
  const void* zero = std::memchr(p, 0, n);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : n;
}

}  // namespace

LONG PaddedLength(size_t textLength) {
  if (textLength == 0) return 0;
  // (textLength + 1) rounded up to a multiple of 4 must stay <= LONG_MAX.
  if (textLength > static_cast<size_t>(INT32_MAX) - 4) return -1;
  return static_cast<LONG>((textLength + 4) & ~size_t{3});
}

bool WritePaddedString(CFile& file, const char* text) {
  const size_t len = text ? std::strlen(text) : 0;
  const LONG p = PaddedLength(len);
  if (p < 0) return false;
  const size_t total = 4 + static_cast<size_t>(p);
  BYTE small[4 + kSmall];
  std::string big;
  BYTE* out = small;
  if (total > sizeof small) {
    big.assign(total, '\0');
    out = reinterpret_cast<BYTE*>(&big[0]);
  }
  PutLength(out, p);
  if (len > 0) std::memcpy(out + 4, text, len);
  std::memset(out + 4 + len, 0, total - 4 - len);
  file.Write(out, static_cast<UINT>(total));
  return true;
}

bool ReadPaddedString(CFile& file, CString& text) {
  text.Empty();
  BYTE head[4];
  if (!ReadExactly(file, head, 4)) return false;
  const LONG p = GetLength(head);
  if (p < 1) return true;
  size_t remaining = static_cast<size_t>(p);
  if (remaining <= kSmall) {
    char buf[kSmall];
    if (!ReadExactly(file, buf, remaining)) return false;
    text = CString(buf, static_cast<int>(TextLength(buf, remaining)));
    return true;
  }
  // A long string is taken a chunk at a time, so that a length larger than
  // the file costs no more memory than the bytes the file really holds.
  std::string& out = text.str();
  std::string chunk;
  bool terminated = false;
  while (remaining > 0) {
    const size_t n = remaining < kChunk ? remaining : kChunk;
    chunk.resize(n);
    if (!ReadExactly(file, &chunk[0], n)) {
      text.Empty();
      return false;
    }
    remaining -= n;
    if (terminated) continue;  // the zero padding after the text
    const size_t keep = TextLength(chunk.data(), n);
    out.append(chunk, 0, keep);
    terminated = keep < n;
  }
  return true;
}
