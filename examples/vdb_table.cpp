// A table of well readings: defined from text, filled, searched and sorted,
// then saved as a "TV10" table file and as XML, and read back from both.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vdfile.h"
#include "vdkit/xml/xml_archive.h"

namespace {

void Print(CVdbTable& t) {
  CString text;
  for (bool ok = t.MoveToFirst(); ok; ok = t.MoveToNext()) {
    std::printf("  #%u", t.GetRecordID());
    for (int i = 0; i < t.GetFieldCount(); ++i) {
      t.GetFieldValue(i, text, -1);
      std::printf("  %s=%s", t.GetField(i)->GetName(), text.GetString());
    }
    std::printf("\n");
  }
}

}  // namespace

int main() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = tmp ? tmp : "/tmp";

  auto* table = new CVdbTable;
  table->SetName("Readings");
  table->AddField("DATE:DATE", 0, 1);
  table->AddField("Depth:DOUBLE", 0, 1);
  table->AddField("Temp", "degC", "Temperature");  // FLOAT, with unit and alias
  table->AddField("Well:STRING*16", 0, 1);
  const char* rows[][4] = {{"2004-03-09", "120.5", "14.25", "W-2"},
                           {"2004-03-07", "98", "", "W-1, north"},  // no temperature
                           {"2004-03-08", "101.75", "13.5", "W-\"3\""}};
  for (auto& row : rows) {
    table->AddNew();
    for (int i = 0; i < 4; ++i) table->SetFieldValue(i, row[i]);
  }
  table->SortByDate();
  SVdbVariant well;
  well.SetPSZ("W-2", VDB_STRING);
  if (table->LocatOn(table->GetFieldIndex("Well"), well))
    std::printf("W-2 is record #%u at index %d\n", table->GetRecordID(), table->GetCursor());
  std::printf("table:\n");
  Print(*table);

  // The binary table file.
  const std::string tv = dir + "/vdkit_example_readings.tv";
  {
    CFile out(tv.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    table->Write(out);
  }
  CVdbTable fromFile;
  {
    CFile in(tv.c_str(), CFile::modeRead | CFile::typeBinary);
    if (!fromFile.Read(in)) return 1;
  }
  std::printf("read back from %s:\n", tv.c_str());
  Print(fromFile);
  CFile::Remove(tv.c_str());

  // The XML document: the table as a child of a disk.
  const std::string xml = dir + "/vdkit_example_readings.xml";
  CVDisk disk;
  disk.AddNewFile(table);  // the disk owns the table now
  {
    CFile out(xml.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    CXmlArchive ar(&out, CXmlArchive::store);
    ar << disk;
  }
  CVDisk loaded;
  {
    CFile in(xml.c_str(), CFile::modeRead | CFile::typeBinary);
    CXmlArchive ar(&in, CXmlArchive::load);
    if (!(ar >> loaded)) return 1;
  }
  auto* fromXml = dynamic_cast<CVdbTable*>(loaded.FindFile("Readings"));
  if (!fromXml) return 1;
  std::printf("read back from %s:\n", xml.c_str());
  Print(*fromXml);
  CFile::Remove(xml.c_str());
  return 0;
}
