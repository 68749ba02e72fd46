#include "vdkit/geometry/polyline.h"

bool CPolyline::Serialize(CXmlArchive& ar) {
  return CVDFile::Serialize(ar);
}
