// Feeds arbitrary bytes to the XML archive's object reader, into a disk that
// already holds children (so that reuse by name is reached), then writes the
// tree back and reads that again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vdkit/platform/file.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CVDisk disk;
  disk.CreateFileA("a", "T", nullptr)->CreateFileA("b", "", nullptr);
  {
    CMemFile mem(const_cast<BYTE*>(data), static_cast<UINT>(size));
    CXmlArchive ar(&mem, CXmlArchive::load);
    ar >> disk;
  }
  CMemFile out;
  {
    CXmlArchive ar(&out, CXmlArchive::store);
    ar << disk;
  }
  std::string text(reinterpret_cast<const char*>(out.GetData()), static_cast<size_t>(out.GetLength()));
  CMemFile again(reinterpret_cast<BYTE*>(&text[0]), static_cast<UINT>(text.size()));
  CXmlArchive ar(&again, CXmlArchive::load);
  CVDisk copy;
  ar >> copy;
  return 0;
}
