// Feeds arbitrary text to the wildcard compiler and matcher (the bytes up to
// the first NUL are the pattern, the rest the subject), to the trimming and
// word-list readers, and, as a text file, to the section index.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vdkit/core/wildcard.h"

namespace {

// Segments of a pattern as the compiler counts them: each '*' or '?' one,
// each run of other bytes one.
int Segments(const std::string& pattern) {
  int n = 0;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] == '*' || pattern[i] == '?' || i == 0 || pattern[i - 1] == '*' || pattern[i - 1] == '?')
      ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t nul = all.find('\0');
  const std::string pattern = all.substr(0, nul);
  // Only the subject's bytes up to a second NUL are seen by the matchers.
  const std::string subject = nul == std::string::npos ? std::string() : all.substr(nul + 1).c_str();
  const bool once = strlik(subject.c_str(), pattern.c_str());
  const bool compiled = cstrlik(pattern.c_str()).islike(subject.c_str());
  // The two forms differ only past cstrlik's segment table and for an empty subject.
  if (Segments(pattern) <= cstrlik::kMaxSegments && !subject.empty() && once != compiled) std::abort();

  std::vector<char> text(all.begin(), all.end());
  text.push_back('\0');
  strleft(text.data(), " \t");
  strtrim(text.data(), " \t\r\n");
  text.assign(all.begin(), all.end());
  text.push_back('\0');
  int words = 0;
  for (char* w = strword(text.data(), '\''); w && words < 100000; w = strword(nullptr, '\'')) ++words;
  char word[16];
  strword(all.c_str(), word, static_cast<int>(sizeof word));

  if (FILE* fp = fmemopen(const_cast<char*>(all.data()), all.size() ? all.size() : 1, "r")) {
    LocatSection(fp, nullptr);
    LocatSection(fp, pattern.c_str());
    LocatSection(fp, "Wells");
    std::fclose(fp);
  }
  LocatSection(nullptr, nullptr);  // leave no index pointing at this input
  return 0;
}
