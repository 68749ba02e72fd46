#include "vdkit/core/text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "vdkit/core/text_internal.h"

using detail::FoldAscii;

bool fequal(float a, float b) {
  uint32_t ua;
  uint32_t ub;
  std::memcpy(&ua, &a, sizeof ua);
  std::memcpy(&ub, &b, sizeof ub);
  return ((ua ^ ub) & ~3u) == 0;
}

namespace {

char g_lastErrorMsg[kLastErrorMsgCapacity + 1];

}  // namespace

void SetLastErrorMsg(const char* format, ...) {
  if (!format) {
    g_lastErrorMsg[0] = '\0';
    return;
  }
  // Formatted into a scratch buffer first: a caller may pass the current text
  // as an argument, and vsnprintf must not read the buffer it is writing.
  char scratch[kLastErrorMsgCapacity + 1];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(scratch, sizeof scratch, format, args);
  va_end(args);
  if (n < 0) scratch[0] = '\0';
  std::memcpy(g_lastErrorMsg, scratch, sizeof g_lastErrorMsg);
}

const char* GetLastErrorMsg() {
  return g_lastErrorMsg;
}

char* strstri(const char* str, const char* find) {
  if (!str || !find) return nullptr;
  if (!*find) return const_cast<char*>(str);
  const unsigned char first = FoldAscii(static_cast<unsigned char>(*find));
  for (const char* start = str; *start; ++start) {
    if (FoldAscii(static_cast<unsigned char>(*start)) != first) continue;
    const char* s = start + 1;
    const char* f = find + 1;
    while (*f && FoldAscii(static_cast<unsigned char>(*s)) == FoldAscii(static_cast<unsigned char>(*f))) {
      ++s;
      ++f;
    }
    if (!*f) return const_cast<char*>(start);
    // The rest of `str` is shorter than `find`: no later start can fit.
    if (!*s) return nullptr;
  }
  return nullptr;
}

char* strchri(const char* str, char ch) {
  if (!str) return nullptr;
  const unsigned char want = FoldAscii(static_cast<unsigned char>(ch));
  for (const char* p = str;; ++p) {
    if (FoldAscii(static_cast<unsigned char>(*p)) == want) return const_cast<char*>(p);
    if (!*p) return nullptr;
  }
}

cstrtok::cstrtok(char* str, const char* delims) : m_pos(str) {
  if (delims) initmap(reinterpret_cast<const unsigned char*>(delims));
}

void cstrtok::initmap(const unsigned char* delims) {
  std::memset(m_map, 0, sizeof m_map);
  m_map[0] = 1;  // NUL is always a delimiter of a built map
  for (; *delims; ++delims) m_map[*delims >> 3] |= static_cast<unsigned char>(1u << (*delims & 7));
}

char* cstrtok::next(char* str, const char* delims) {
  if (str) m_pos = str;
  if (!m_pos) return nullptr;
  if (delims) initmap(reinterpret_cast<const unsigned char*>(delims));

  unsigned char* p = reinterpret_cast<unsigned char*>(m_pos);
  while (*p && isdelim(*p)) ++p;
  unsigned char* token = p;
  while (*p && !isdelim(*p)) ++p;
  if (*p) {
    *p = '\0';
    m_pos = reinterpret_cast<char*>(p + 1);
  } else {
    m_pos = reinterpret_cast<char*>(p);
  }
  if (token == p) {
    m_pos = nullptr;
    return nullptr;
  }
  return reinterpret_cast<char*>(token);
}
