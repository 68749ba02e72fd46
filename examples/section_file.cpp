// Section files: three tables written into one file under a directory of
// names, then one of them found by name and read back, and the directory
// walked with a type filter.
//
//   section_file [PATH]        (default: a file in the temporary directory)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "vdkit/secfile/sec_file.h"

namespace {

// The caller's own data: float pairs; the entry's dwInfo3 keeps their count.
struct Table {
  const char* name;
  int type;  // 1: wells, 2: logs
  std::vector<float> values;
};

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path =
      argc > 1 ? argv[1]
               : std::string(tmp ? tmp : "/tmp") + "/vdkit_example_" + std::to_string(::getpid()) + ".sec";
  const Table tables[] = {
      {"Wells", 1, {12.5f, 40.25f, 13.0f, 41.0f}},
      {"GammaRay", 2, {1200, 87, 1201, 91, 1202, 95}},
      {"Density", 2, {1200, 2.31f, 1201, 2.35f}},
  };

  {
    CSecFile out;
    if (!out.Open(path.c_str(), secOpenCreate)) {
      std::fprintf(stderr, "cannot create %s\n", path.c_str());
      return 1;
    }
    for (const Table& t : tables) {
      SsecTableInfo info{};
      info.nType = t.type;
      info.dwInfo3 = static_cast<DWORD>(t.values.size());
      out.AddTableInfo(t.name, info);  // the entry points at the end of the file...
      out.Write(t.values.data(), static_cast<UINT>(t.values.size() * sizeof(float)));  // ...where the data go
    }
    out.Close();  // the finished file takes its name only now
  }

  CSecFile in;
  if (!in.Open(path.c_str(), secOpenRead)) {
    std::fprintf(stderr, "%s is not a section file\n", path.c_str());
    return 1;
  }
  std::printf("%s: %d tables\n", path.c_str(), in.GetTableCount());

  SsecTableInfo info;
  if (!in.SeekToTableData("gammaray", &info)) {  // names ignore ASCII case
    std::fprintf(stderr, "no GammaRay table\n");
    return 1;
  }
  std::vector<float> values(info.dwInfo3);
  in.Read(values.data(), static_cast<UINT>(values.size() * sizeof(float)));
  std::printf("GammaRay at offset %u:", info.dwDataPos);
  for (size_t i = 0; i + 1 < values.size(); i += 2) std::printf(" (%g, %g)", values[i], values[i + 1]);
  std::printf("\n");

  std::printf("logs:");
  for (POSITION pos = in.GetFirstTableInfoPos(2); pos;)
    if (in.GetNextTableInfo(pos, info, 2)) {
      std::string name(info.szName, strnlen(info.szName, 16));  // stored padded with blanks
      std::printf(" %s", name.substr(0, name.find_last_not_of(' ') + 1).c_str());
    }
  std::printf("\n");
  in.Close();
  std::remove(path.c_str());
  return values.size() == 6 && values[5] == 95 ? 0 : 1;
}
