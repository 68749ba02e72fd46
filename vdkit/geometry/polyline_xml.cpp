// The XML form of a polyline, apart from the geometry so that only this file
// needs the XML archive.
#include "vdkit/geometry/polyline.h"
#include "vdkit/xml/xml_archive.h"

namespace {

// A coordinate as "%f" writes it, unless that text would not read back to
// the same float (six decimals lose small or finely placed values): then in
// the shortest form that does, as a float variable writes it.
CString CoordText(float v) {
  CString text;
  text.Format("%f", static_cast<double>(v));
  float back = 0;
  CXmlVar probe("v", back);
  probe.SetValue(text);
  if (back != v) CXmlVar("v", v).GetValue(text);
  return text;
}

}  // namespace

bool CPolyline::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring()) {
    int count = m_nCount;
    ar << "<polyline ";
    ar < CXmlVar("count", count);
    if (m_bClosed) {
      bool closed = true;
      ar < CXmlVar("closed", closed);
    }
    ar << ">\n";
    for (int i = 0; i < m_nCount; ++i)
      ar.Print("<a x='%s' y='%s' />\n", CoordText(m_pPoints[i].x).GetString(),
               CoordText(m_pPoints[i].y).GetString());
    ar << "</polyline>\n";
    return true;
  }

  CXmlArchive element(ar, "polyline");
  if (!element.GetXmlItem()) return true;
  // The count follows from the points. The closed flag is written only for
  // a closed line; when present it is read back, else the flag stays.
  bool closed = m_bClosed;
  CXmlVar closedVar("closed", closed);
  if (element.GetAV(closedVar)) m_bClosed = closed;
  for (int i = 0;; ++i) {
    CXmlArchive point(element, i);
    if (!point.GetXmlItem()) break;
    // A point needs both coordinates: an element without x or y (or with an
    // empty one) is passed over rather than given an invented value.
    const char* x = point.GetAV("x");
    const char* y = point.GetAV("y");
    if (!x || !*x || !y || !*y) continue;
    SFloat2D pt = {0, 0};
    CXmlVar xVar("x", pt.x), yVar("y", pt.y);
    xVar.SetValue(x);
    yVar.SetValue(y);
    Add(pt);
  }
  return true;
}
