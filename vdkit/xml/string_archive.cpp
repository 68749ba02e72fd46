#include "vdkit/xml/string_archive.h"

#include <climits>
#include <cstring>

#include "vdkit/xml/decimal_internal.h"

namespace {

// Bytes below 128 that are not graphic; 128 to 255 are word characters.
inline bool IsBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7F;
}

LONG TextLength(const char* text) {
  if (!text) return 0;
  const size_t n = std::strlen(text);
  return n >= static_cast<size_t>(INT_MAX) ? INT_MAX - 1 : static_cast<LONG>(n);
}

char* CopyText(const char* text, LONG length) {
  if (!text) return nullptr;
  char* copy = new char[static_cast<size_t>(length) + 1];
  std::memcpy(copy, text, static_cast<size_t>(length));
  copy[length] = 0;
  return copy;
}

}  // namespace

CStringArchive::CStringArchive(char* text, char separator)
    : m_nLength(TextLength(text)), m_pText(text), m_chSeparator(separator) {}

CStringArchive::CStringArchive(const char* text, char separator)
    : m_nLength(TextLength(text)), m_chSeparator(separator), m_bOwnsText(text != nullptr) {
  m_pText = CopyText(text, m_nLength);
}

CStringArchive::CStringArchive(const CStringArchive& other)
    : m_nPos(other.m_nPos),
      m_nLength(other.m_nLength),
      m_pText(CopyText(other.m_pText, other.m_nLength)),
      m_chSeparator(other.m_chSeparator),
      m_bOwnsText(other.m_pText != nullptr) {}

CStringArchive& CStringArchive::operator=(const CStringArchive& other) {
  if (this == &other) return *this;
  char* text = CopyText(other.m_pText, other.m_nLength);
  if (m_bOwnsText) delete[] m_pText;
  m_pText = text;
  m_bOwnsText = text != nullptr;
  m_nPos = other.m_nPos;
  m_nLength = other.m_nLength;
  m_chSeparator = other.m_chSeparator;
  return *this;
}

CStringArchive::~CStringArchive() {
  if (m_bOwnsText) delete[] m_pText;
}

char* CStringArchive::GetWord() {
  if (m_nPos >= m_nLength) return nullptr;
  char* t = m_pText;
  const LONG end = m_nLength;  // t[end] is the terminator
  LONG i = m_nPos;
  while (i < end && IsBlank(t[i])) ++i;

  if (i >= end || t[i] == m_chSeparator) {
    // An empty word: cut the separator and step past it (or past the end).
    char* word = t + i;
    *word = 0;
    m_nPos = i + 1;
    return word;
  }

  if (t[i] == '\'' || t[i] == '"') {
    const char quote = t[i++];
    while (i < end && IsBlank(t[i])) ++i;
    char* word = t + i;
    while (i < end && t[i] != quote) ++i;
    LONG cut = i;
    while (t + cut > word && IsBlank(t[cut - 1])) --cut;
    if (i < end) ++i;  // past the closing quote
    t[cut] = 0;
    while (i < end && IsBlank(t[i])) ++i;
    if (i >= end || t[i] == m_chSeparator) ++i;
    m_nPos = i;
    return word;
  }

  char* word = t + i;
  while (i < end && !IsBlank(t[i]) && t[i] != m_chSeparator) ++i;
  if (i >= end || t[i] == m_chSeparator) {
    t[i] = 0;
    m_nPos = i + 1;
    return word;
  }
  // Ended at a blank: a separator after the following blanks belongs to
  // this word too.
  t[i++] = 0;
  while (i < end && IsBlank(t[i])) ++i;
  if (i < end && t[i] == m_chSeparator) ++i;
  m_nPos = i;
  return word;
}

CStringArchive& CStringArchive::operator>>(char& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = static_cast<char>(detail::ToSigned<int32_t>(w));
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(unsigned char& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = static_cast<unsigned char>(detail::ToSigned<int32_t>(w));
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(short& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = static_cast<short>(detail::ToSigned<int32_t>(w));
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(unsigned short& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = static_cast<unsigned short>(detail::ToSigned<int32_t>(w));
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(int& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = detail::ToSigned<int32_t>(w);
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(unsigned int& v) {
  const char* w = GetWord();
  if (!w) {
    v = 0;
  } else if (*w) {
    v = detail::ToUnsigned<uint32_t>(w);
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(float& v) {
  const char* w = GetWord();
  if (!w) {
    v = kMissingValue;
  } else if (*w) {
    v = static_cast<float>(detail::ReadDouble(w));
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(double& v) {
  const char* w = GetWord();
  if (!w) {
    v = static_cast<double>(kMissingValue);
  } else if (*w) {
    v = detail::ReadDouble(w);
  }
  return *this;
}

CStringArchive& CStringArchive::operator>>(CString& v) {
  const char* w = GetWord();
  v = w ? w : "";
  return *this;
}

CStringArchive& CStringArchive::operator>>(char* buffer) {
  const char* w = GetWord();
  if (buffer) std::strcpy(buffer, w ? w : "");
  return *this;
}

int CStringArchive::ReadString(char* buffer, int bufferSize) {
  const char* w = GetWord();
  const size_t length = w ? std::strlen(w) : 0;
  if (buffer && bufferSize > 0) {
    const size_t fits =
        length < static_cast<size_t>(bufferSize) ? length : static_cast<size_t>(bufferSize) - 1;
    if (fits) std::memcpy(buffer, w, fits);
    buffer[fits] = 0;
  }
  return w ? static_cast<int>(length) : -1;
}
