// The worked example of docs/porting.md: CWellLog, a client class of the
// earlier Windows program, ported to vdkit. It reads the log that program
// stored (examples/data/well_log.vdf, bytes as the program wrote them), adds
// a reading, and stores the log again in the same binary form and as XML.
//
// Usage: porting DATA_DIR OUT_DIR
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vdkit/vdkit.h"

// A well's log of depth readings. Changes from the earlier class: `long`
// became LONG (written as 4 bytes on every platform), the framework's
// CArray<double, double> a std::vector<double>, and the hand-written
// registration members the two macros.
class CWellLog : public CVDFile {
  DECLARE_VDFILE(CWellLog)

 public:
  bool Serialize(CArchive& ar) override;
  bool Serialize(CXmlArchive& ar) override;

  LONG m_nDepth = 0;               // was: long
  CString m_strUnit = "m";
  CString m_strSource;             // the instrument file, a path of the earlier platform
  std::vector<double> m_readings;  // was: CArray<double, double>
};
IMPLEMENT_VDFILE(CWellLog, CVDFile)

bool CWellLog::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << m_nDepth << m_strUnit << m_strSource;
    ar.WriteCount(m_readings.size());
    for (double r : m_readings) ar << r;
  } else {
    ar >> m_nDepth >> m_strUnit >> m_strSource;
    m_readings.clear();
    for (DWORD_PTR n = ar.ReadCount(); n > 0; --n) {
      double r;
      ar >> r;  // a short stream throws; the archive reader catches it
      m_readings.push_back(r);
    }
  }
  return true;
}

bool CWellLog::Serialize(CXmlArchive& ar) {
  CString readings;
  for (double r : m_readings) readings.AppendFormat(readings.IsEmpty() ? "%.17g" : ",%.17g", r);
  CXmlVar depth("depth", m_nDepth), unit("unit", m_strUnit), source("source", m_strSource),
      values("readings", readings);
  ar == depth;
  ar == unit;
  ar == source;
  ar == values;
  if (ar.IsLoading()) {
    m_readings.clear();
    for (const char* p = readings; *p;) {
      char* end;
      const double r = std::strtod(p, &end);
      if (end == p) break;  // not a number: the rest is not read
      m_readings.push_back(r);
      p = *end == ',' ? end + 1 : end;
    }
  }
  return true;
}

// The earlier program kept Windows paths; on Linux the file keeps its name and
// comes from a directory of this platform.
CString LocalPath(const char* storedPath, const char* localDir) {
  CString name, path;
  GetFileTitle(storedPath, name);  // "\" and "/" both separate
  path.Format("%s/%s", localDir, name.GetString());
  return path;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: porting DATA_DIR OUT_DIR\n");
    return 2;
  }
  const std::string data = argv[1], out = argv[2];
  // The library's message boxes (a class whose data do not match, for one)
  // come here instead of a dialog.
  SetMessageBoxHandler([](const char* text, UINT) {
    std::printf("message: %s\n", text);
    return IDOK;
  });

  CVDisk disk;
  try {
    CFile in((data + "/well_log.vdf").c_str(), CFile::modeRead);
    CArchive ar(&in, CArchive::load);
    if (!(ar >> disk)) {
      std::fprintf(stderr, "%s/well_log.vdf: not a readable object archive\n", data.c_str());
      return 1;
    }
  } catch (CFileException* e) {  // thrown by pointer, as the framework did
    char text[256];
    e->GetErrorMessage(text, sizeof text);
    std::fprintf(stderr, "%s\n", text);
    e->Delete();
    return 1;
  }

  CVDFile* found = disk.FindFile("W7");
  if (!found || !found->IsKindOf("CWellLog")) {
    std::fprintf(stderr, "no well log W7\n");
    return 1;
  }
  auto* log = static_cast<CWellLog*>(found);
  std::printf("%s: %d readings, depth %d %s, from %s\n", log->GetName(), static_cast<int>(log->m_readings.size()),
              static_cast<int>(log->m_nDepth), log->m_strUnit.GetString(),
              LocalPath(log->m_strSource, "/srv/logs").GetString());

  log->m_readings.push_back(12.75);
  try {
    CSafeFile file;  // the old file is replaced only once all is written
    if (!file.Open((out + "/well_log.vdf").c_str(), CFile::modeCreate | CFile::modeWrite)) return 1;
    CArchive ar(&file, CArchive::store);
    ar << disk;
    ar.Close();
    file.Close();

    CFile xml((out + "/well_log.xml").c_str(), CFile::modeCreate | CFile::modeWrite);
    CXmlArchive store(&xml, CXmlArchive::store);
    store << disk;
  } catch (CFileException* e) {
    e->Delete();
    return 1;
  }

  CVDisk again;
  CFile in((out + "/well_log.vdf").c_str(), CFile::modeRead);
  CArchive ar(&in, CArchive::load);
  if (!(ar >> again)) return 1;
  const auto* back = static_cast<CWellLog*>(again.FindFile("W7"));
  if (!back || back->m_readings.empty()) return 1;
  std::printf("stored and read back: %d readings, last %.2f\n", static_cast<int>(back->m_readings.size()),
              back->m_readings.back());
  return 0;
}
