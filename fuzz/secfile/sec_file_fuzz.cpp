// Feeds arbitrary bytes to the section file reader: the bytes become a file,
// which is opened read only (header, walks with and without a type filter,
// lookups by every name found and by record, seeks into the data) and then
// read and write (an entry added, one overwritten, the header rewritten).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vdkit/secfile/sec_file.h"

namespace {

// The file the input becomes, one per process, removed at exit.
struct TempFile {
  TempFile() {
    const char* base = std::getenv("TMPDIR");
    path = std::string(base ? base : "/tmp") + "/sec_file_fuzz." + std::to_string(::getpid());
  }
  ~TempFile() { ::unlink(path.c_str()); }
  std::string path;
};

const std::string& Path() {
  static const TempFile file;
  return file.path;
}

void Exercise(CSecFile& f) {
  SsecFileHead head;
  f.GetFileHead(&head);
  SsecTableInfo info;
  for (int type : {0, 1, 5}) {
    for (POSITION pos = f.GetFirstTableInfoPos(type); pos;) {
      if (!f.GetNextTableInfo(pos, info, type)) continue;
      char name[17] = {};
      for (int i = 0; i < 16; ++i) name[i] = info.szName[i];
      SsecTableInfo found;
      f.GetTableInfo(name, found);
      if (f.SeekToTableData(nullptr, &info)) {
        char bytes[8];
        f.Read(bytes, sizeof bytes);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ::unlink(Path().c_str());
  if (FILE* out = std::fopen(Path().c_str(), "wb")) {
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  CSecFile f;
  if (f.Open(Path().c_str(), secOpenRead)) Exercise(f);
  f.Close();
  if (f.Open(Path().c_str(), secOpenReadWrite)) {
    SsecTableInfo info{};
    info.nType = 5;
    f.AddTableInfo("fuzz", info);
    info.nType = 1;
    f.SetTableInfo("fuzz", info);
    SsecFileHead head{};
    head.dwVersion = 3;
    f.SetFileHead(&head);
    Exercise(f);
  }
  return 0;
}
