// Feeds arbitrary text to the path functions: the bytes up to the first NUL
// are one path, the rest a second one (a base directory or a name).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vdkit/core/path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t nul = all.find('\0');
  const std::string a = all.substr(0, nul);
  const std::string b = nul == std::string::npos ? std::string() : all.substr(nul + 1);
  CString out;
  for (const std::string* p : {&a, &b}) {
    std::vector<char> cut(p->begin(), p->end());
    cut.push_back('\0');
    CutFileEx(cut.data());
    CString whole(p->c_str());
    CutFileEx(whole);
    if (std::strcmp(whole, cut.data()) != 0) std::abort();
    GetPath(p->c_str(), out);
    for (size_t room : {size_t{0}, size_t{1}, size_t{7}, size_t{64}}) {
      std::vector<char> buf(room + 1, 'x');
      GetPath(p->c_str(), buf.data(), room);
      if (buf[room] != 'x') std::abort();
    }
    if (p->size() < kMaxPathBuffer) {
      char buf[kMaxPathBuffer];
      GetPath(p->c_str(), buf);
    }
    GetFileName(p->c_str(), out);
    GetFileTitle(p->c_str(), out);
    GetPathRoot(p->c_str(), out);
  }
  MakePathName(a.c_str(), b.c_str(), out);
  GetAbsPathName(a.c_str(), b.c_str(), out);
  GetAbsPathName(b.c_str(), a.c_str(), out);
  GetRelPathName(a.c_str(), b.c_str(), out);
  GetRelPathName(b.c_str(), a.c_str(), out);
  return 0;
}
