// Polylines and regions: lines in a disk, a line clipped by a region, the
// intersection of two regions, an undoable edit of a collection, and the
// disk stored in an XML document and read back.
#include <cstdio>
#include <string>

#include "vdkit/geometry/polyline.h"
#include "vdkit/geometry/region.h"
#include "vdkit/xml/xml_archive.h"

namespace {

void Show(const char* label, const CPolyline& line) {
  std::printf("%s (%s, %d points):", label, line.IsClosed() ? "closed" : "open", line.GetSize());
  for (int i = 0; i < line.GetSize(); ++i) std::printf(" (%g, %g)", line.GetAt(i).x, line.GetAt(i).y);
  std::printf("\n");
}

}  // namespace

int main() {
  CVDisk disk;
  disk.CreateFileA("map", "Folder", nullptr);  // else CreateFileEx makes it a polyline too
  auto* road = static_cast<CPolyline*>(disk.CreateFileEx("/map/road", "Line", "CPolyline"));
  for (SFloat2D p : {SFloat2D{-5, 5}, {5, 5}, {5, 20}, {7, 20}, {7, 5}, {15, 5}}) road->Add(p);
  auto* lake = static_cast<CPolyline*>(disk.CreateFileEx("/map/lake", "Area", "CPolyline"));
  lake->SetClosed(true);
  for (SFloat2D p : {SFloat2D{5, 5}, {15, 5}, {15, 15}, {5, 15}}) lake->Add(p);

  // The road clipped by the park: the pieces inside, in order along it.
  CRegion park;
  for (SFloat2D p : {SFloat2D{0, 0}, {10, 0}, {10, 10}, {0, 10}}) park.Add(p);
  CPolyPolyline inPark;
  const bool crossed = road->Cut(park, inPark);
  std::printf("road crosses the park: %s, %d pieces inside\n", crossed ? "yes" : "no", inPark.GetSize());
  for (int i = 0; i < inPark.GetSize(); ++i) Show("  piece", *inPark[i]);

  // Where the lake lies in the park; each result keeps the joined points.
  CRegion lakeArea;
  lakeArea = *lake;
  CPolyRegion common = park & lakeArea;
  for (int i = 0; i < common.GetSize(); ++i) Show("  park & lake", CPolyline(*common[i]));

  // The clip kept as lines of the map, with undo.
  CUndoMgr undo;
  CPolyPolyline layer;
  layer.SetUndoMgr(&undo);
  layer << inPark;           // moved, not recorded
  layer.Add(road->Clone());  // recorded
  layer.DeleteAt(0);         // recorded; the record holds the piece
  undo.Undo(1);              // the piece is back at 0
  std::printf("layer holds %d lines after undo\n", layer.GetSize());
  layer.SetUndoMgr(nullptr);  // the manager's records refer to the layer
  undo.Empty();

  // The disk as an XML document, and back.
  CMemFile xml;
  {
    CXmlArchive store(&xml, CXmlArchive::store);
    store << disk;
  }
  std::printf("as XML:\n%s",
              std::string(reinterpret_cast<const char*>(xml.GetData()), static_cast<size_t>(xml.GetLength()))
                  .c_str());
  xml.SeekToBegin();
  CVDisk back;
  {
    CXmlArchive load(&xml, CXmlArchive::load);
    if (!(load >> back)) return 1;
  }
  auto* lakeBack = static_cast<CPolyline*>(back.FindFileEx("/map/lake"));
  if (!lakeBack) return 1;
  Show("lake read back", *lakeBack);
  return lakeBack->GetSize() == lake->GetSize() && lakeBack->IsClosed() ? 0 : 1;
}
