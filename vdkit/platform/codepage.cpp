#include "vdkit/platform/codepage.h"

namespace {

UINT g_codePage = 1252;

// One character of `p` as a comparable number: a double-byte character as
// lead * 256 + trail, a single byte folded to lower case when it is an ASCII
// letter. Advances `p` past the character.
unsigned NextChar(const unsigned char*& p) {
  const unsigned char c = *p++;
  if (IsHostLeadByte(c) && *p != 0) return (static_cast<unsigned>(c) << 8) | *p++;
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

}  // namespace

void SetHostCodePage(UINT codePage) {
  g_codePage = codePage == 0 ? 1252 : codePage;
}

UINT GetHostCodePage() {
  return g_codePage;
}

bool IsHostLeadByte(BYTE b) {
  switch (g_codePage) {
    case 932:  // Shift-JIS
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul
    case 950:  // Big5
      return b >= 0x81 && b <= 0xFE;
    default:
      return false;
  }
}

int MbsICmp(const char* a, const char* b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  auto pa = reinterpret_cast<const unsigned char*>(a);
  auto pb = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    const bool endA = *pa == 0;
    const bool endB = *pb == 0;
    if (endA || endB) return endA == endB ? 0 : (endA ? -1 : 1);
    const unsigned ca = NextChar(pa);
    const unsigned cb = NextChar(pb);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
}
