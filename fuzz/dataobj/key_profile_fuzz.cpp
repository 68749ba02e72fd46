// Feeds arbitrary bytes to the key-profile document reader, into a profile
// that already holds entries (so that loading overwrites), then stores the
// result and reads that back: every entry must come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vdkit/dataobj/key_profile.h"
#include "vdkit/platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CKeyProfile profile;
  profile.SetKeyInt("Grid", "Cols", 1);
  profile.SetKeyString("Grid", "Title", "a long enough title");
  {
    CMemFile in(const_cast<BYTE*>(data), static_cast<UINT>(size));
    profile.Load(&in);
  }
  CMemFile out;
  profile.Store(&out);
  std::string text(reinterpret_cast<const char*>(out.GetData()), static_cast<size_t>(out.GetLength()));
  CMemFile again(reinterpret_cast<BYTE*>(&text[0]), static_cast<UINT>(text.size()));
  CKeyProfile copy;
  if (!copy.Load(&again) || copy.GetCount() != profile.GetCount()) std::abort();
  return 0;
}
