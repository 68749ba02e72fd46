#include <gtest/gtest.h>

#include <string>

#include "vdkit/geometry/polyline.h"
#include "vdkit/xml/xml_archive.h"

namespace {

std::string StoreXml(CVDFile& f) {
  CMemFile mem;
  CXmlArchive ar(&mem, CXmlArchive::store);
  EXPECT_TRUE(ar << f);
  return std::string(reinterpret_cast<const char*>(mem.GetData()), static_cast<size_t>(mem.GetLength()));
}

bool LoadXml(std::string doc, CVDFile& into) {
  CMemFile mem(reinterpret_cast<BYTE*>(doc.empty() ? nullptr : &doc[0]), static_cast<UINT>(doc.size()));
  CXmlArchive ar(&mem, CXmlArchive::load);
  return ar >> into;
}

CPolyline* LineOf(CVDFile& disk, const char* name) {
  return dynamic_cast<CPolyline*>(disk.FindFile(name));
}

// Disk at depth 1 (no indent), the polyline's element 1 space, its points 2;
// "<polyline " plus " count='2'" gives two blanks; points in %f, six decimals.
const char kGolden[] =
    "<?xml version='1.0'?>\n"
    "<Disk class='CVDisk' type='Disk' root='true'>\n"
    " <edge class='CPolyline' type='Line'>\n"
    "  <polyline  count='2' closed='true'>\n"
    "  <a x='1.000000' y='2.500000' />\n"
    "  <a x='-3.000000' y='0.000000' />\n"
    "  </polyline>\n"
    " </edge>\n"
    "</Disk>\n";

TEST(PolylineXmlTest, StoresTheGoldenText) {
  CVDisk disk;
  auto* line = static_cast<CPolyline*>(disk.CreateFileA("edge", "Line", "CPolyline"));
  ASSERT_NE(line, nullptr);
  line->SetClosed(true);
  line->Add(SFloat2D{1, 2.5f});
  line->Add(SFloat2D{-3, 0});
  EXPECT_EQ(StoreXml(disk), kGolden);

  CVDisk other;  // open and empty: no closed attribute, no point lines
  other.CreateFileA("none", "", "CPolyline");
  EXPECT_NE(StoreXml(other).find(" <none class='CPolyline'>\n  <polyline  count='0'>\n  </polyline>\n"),
            std::string::npos);
}

TEST(PolylineXmlTest, RoundTripKeepsPointsAndTheClosedFlag) {
  CVDisk disk;
  auto* ring = static_cast<CPolyline*>(disk.CreateFileA("ring", "", "CPolyline"));
  ring->SetClosed(true);
  // The last two need more than six decimals: written in the shortest form that reads back.
  const SFloat2D pts[] = {
      {-123456.5f, 0.125f}, {1e9f, -2.75f}, {1e-7f, 0.1234567f}, {3.0e-30f, -0.333333343f}};
  for (const SFloat2D& p : pts) ring->Add(p);
  static_cast<CPolyline*>(disk.CreateFileA("open", "", "CPolyline"))->Add(SFloat2D{7, 8});
  const std::string doc = StoreXml(disk);
  EXPECT_NE(doc.find("<a x='1e-07' y='0.1234567' />"), std::string::npos) << doc;

  CVDisk back;
  ASSERT_TRUE(LoadXml(doc, back));
  CPolyline* r = LineOf(back, "ring");
  ASSERT_TRUE(r && LineOf(back, "open"));
  EXPECT_TRUE(r->IsClosed());  // read back, not left at the new object's open
  EXPECT_FALSE(LineOf(back, "open")->IsClosed());
  ASSERT_EQ(r->GetSize(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(r->GetAt(i).x == pts[i].x && r->GetAt(i).y == pts[i].y);
  EXPECT_EQ(StoreXml(back), doc);
}

TEST(PolylineXmlTest, LoadingTakesWhatIsThereAndPassesOverIncompletePoints) {
  CVDisk disk;
  static_cast<CPolyline*>(disk.CreateFileA("q", "", "CPolyline"))->SetClosed(true);
  ASSERT_TRUE(
      LoadXml("<?xml version='1.0'?><Disk class='CVDisk'>\n"
              " <p class='CPolyline'><polyline count='99' closed='TRUE'>\n"
              "  <a x='1' y='2' /><a x='3' /><a x='' y='5' />\n"  // no y, empty x: passed over
              "  <pt y='6' x='5' />\n"                            // any name, any order
              " </polyline></p>\n"
              " <q class='CPolyline'><polyline closed='false'></polyline></q>\n"
              "</Disk>\n",
              disk));
  CPolyline* p = LineOf(disk, "p");
  ASSERT_TRUE(p && LineOf(disk, "q"));
  EXPECT_TRUE(p->IsClosed());
  ASSERT_EQ(p->GetSize(), 2);  // the count attribute is not trusted
  EXPECT_TRUE(p->GetAt(1).x == 5 && p->GetAt(1).y == 6);
  EXPECT_FALSE(LineOf(disk, "q")->IsClosed());
}

}  // namespace
