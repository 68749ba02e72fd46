// File objects: a client class registered in two lines, a tree under a disk,
// a bound view that hears of changes, and round trips through the binary
// archive and an XML document.
#include <cstdio>
#include <string>

#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_archive.h"

// A persistent class of the application: its depth travels as class data
// in the binary archive and as a <depth> element in XML.
class CWell : public CVDFile {
  DECLARE_VDFILE(CWell)
  bool Serialize(CArchive& ar) override {
    if (ar.IsStoring())
      ar << m_depth;
    else
      ar >> m_depth;
    return true;
  }
  bool Serialize(CXmlArchive& ar) override {
    ar == CXmlVar("depth", m_depth);  // writes or reads, as the archive goes
    return true;
  }
  double m_depth = 0;
};
IMPLEMENT_VDFILE(CWell, CVDFile)

// A view that follows whatever it is bound to.
class CWellView : public CVDFile {
  DECLARE_VDFILE(CWellView)
  bool OnBindFileNotify(CVDFile* pSource, int nCode) override {
    std::printf("  view '%s' hears code %d from %s\n", GetName(), nCode,
                pSource->GetVDPathName().GetString());
    return true;
  }
};
IMPLEMENT_VDFILE(CWellView, CVDFile)

int main() {
  CVDisk disk;
  auto* well = static_cast<CWell*>(disk.CreateFileEx("/field/wells/W1", "Well", "CWell"));
  well->m_depth = 1234.5;
  CVDFile* view = disk.CreateFileA("view of W1", "View", "CWellView");
  disk.FindFileEx("/field")->BindFile(view);

  std::printf("renaming %s\n", well->GetVDPathName().GetString());
  well->SetName("W1-deviated");  // code 2, seen from /field's bound view

  CMemFile mem;
  {
    CArchive out(&mem, CArchive::store);
    out << disk;
    out.Close();
  }
  std::printf("stored %u bytes\n", static_cast<unsigned>(mem.GetLength()));

  mem.SeekToBegin();
  CVDisk copy;
  CArchive in(&mem, CArchive::load);
  if (!(in >> copy)) return 1;
  auto* back = static_cast<CWell*>(copy.FindFileEx("/FIELD/wells/w1-deviated"));
  std::printf("read back %s (%s), depth %.1f\n", back->GetVDPathName().GetString(), back->GetClassNameA(),
              back->m_depth);

  // The same disk as an XML document, and back.
  CMemFile xml;
  {
    CXmlArchive store(&xml, CXmlArchive::store);
    store << disk;
  }
  std::printf("as XML:\n%s",
              std::string(reinterpret_cast<const char*>(xml.GetData()), static_cast<size_t>(xml.GetLength()))
                  .c_str());
  xml.SeekToBegin();
  CVDisk fromXml;
  {
    CXmlArchive load(&xml, CXmlArchive::load);
    if (!(load >> fromXml)) return 1;
  }
  auto* again = dynamic_cast<CWell*>(fromXml.FindFileEx("/field/wells/W1-deviated"));
  if (!again) return 1;
  std::printf("read back from XML %s, depth %.1f\n", again->GetVDPathName().GetString(), again->m_depth);

  disk.FindFileEx("/field")->DeleteFileA();  // the bound view goes with it
  std::printf("after deleting /field the disk holds %d objects\n", disk.GetFileCount());
  return 0;
}
