#include "vdkit/geometry/polyline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

IMPLEMENT_VDFILE(CPolyline, CVDFile)

namespace {

float ToFloat(double v) {
  return static_cast<float>(v);
}

double SquaredDistance(const SFloat2D& a, const SFloat2D& b) {
  const float dx = a.x - b.x, dy = a.y - b.y;
  return static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
}

}  // namespace

// ---- Construction and copying -------------------------------------------------------------

CPolyline::CPolyline(bool bClosed) : m_bClosed(bClosed) {}

CPolyline::CPolyline(int n, bool bClosed) : m_bClosed(bClosed) {
  New(n);
}

CPolyline::CPolyline(const CPolyline& src) : CVDFile(), m_bClosed(src.m_bClosed) {
  Assign(src.m_pPoints, src.m_nCount);
}

CPolyline::CPolyline(const CRegion& src) : m_bClosed(true) {
  Assign(src.GetData(), src.GetSize());
}

CPolyline::~CPolyline() {
  delete[] m_pPoints;
}

CPolyline& CPolyline::operator=(const CPolyline& src) {
  if (&src == this) return *this;
  Assign(src.m_pPoints, src.m_nCount);
  m_bClosed = src.m_bClosed;
  return *this;
}

CPolyline& CPolyline::operator=(const CRegion& src) {
  Assign(src.GetData(), src.GetSize());
  m_bClosed = true;
  return *this;
}

CPolyline* CPolyline::Clone() {
  CVDFile* pFile = CreateVDFile(GetClassNameA());
  // A client class registered under a name of its own may not be a polyline.
  CPolyline* pCopy = dynamic_cast<CPolyline*>(pFile);
  if (!pCopy) {
    delete pFile;
    return nullptr;
  }
  *pCopy = *this;
  pCopy->SetName(GetName());
  pCopy->SetFileType(GetFileType());
  return pCopy;
}

// Points src[0 .. n) into a fresh block of exactly n (which may be our own
// block when a caller passes GetData(), hence the copy before the free).
void CPolyline::Assign(const SFloat2D* pts, int n) {
  if (n < 0) n = 0;
  SFloat2D* pNew = n > 0 ? new SFloat2D[static_cast<size_t>(n)] : nullptr;
  if (n > 0) std::memcpy(pNew, pts, sizeof(SFloat2D) * static_cast<size_t>(n));
  delete[] m_pPoints;
  m_pPoints = pNew;
  m_nCapacity = m_nAllocated = m_nCount = n;
}

// ---- Points -----------------------------------------------------------------------------------

void CPolyline::New(int n) {
  if (n < 0) n = 0;
  delete[] m_pPoints;
  m_pPoints = n > 0 ? new SFloat2D[static_cast<size_t>(n)]() : nullptr;
  m_nCount = 0;
  m_nCapacity = m_nAllocated = n;
}

void CPolyline::Grow(int nNewCapacity, bool bAmortise) {
  if (nNewCapacity > m_nAllocated) {
    int64_t alloc = nNewCapacity;
    if (bAmortise) alloc = std::max<int64_t>(alloc, int64_t{m_nAllocated} + m_nAllocated / 2 + 8);
    alloc = std::min<int64_t>(alloc, std::numeric_limits<int>::max());
    SFloat2D* pNew = new SFloat2D[static_cast<size_t>(alloc)]();
    if (m_nCount > 0) std::memcpy(pNew, m_pPoints, sizeof(SFloat2D) * static_cast<size_t>(m_nCount));
    delete[] m_pPoints;
    m_pPoints = pNew;
    m_nAllocated = static_cast<int>(alloc);
  }
  m_nCapacity = nNewCapacity;
}

SFloat2D& CPolyline::operator[](int nIndex) {
  if (m_nCount <= 0) {
    m_ptScratch = SFloat2D{0, 0};
    return m_ptScratch;
  }
  int i = nIndex % m_nCount;
  if (i < 0) i += m_nCount;
  return m_pPoints[i];
}

void CPolyline::operator+=(const SFloat2D& pt) {
  const SFloat2D value = pt;  // pt may lie in our own block
  if (m_nCount >= m_nCapacity) Grow(m_nCapacity + 1, true);
  m_pPoints[m_nCount++] = value;
}

int CPolyline::Add(const SFloat2D& pt) {
  *this += pt;
  return m_nCount;
}

void CPolyline::InsertAt(int nIndex, const SFloat2D& pt) {
  if (nIndex < 0) return;
  const SFloat2D value = pt;
  if (nIndex > m_nCount) nIndex = m_nCount;
  if (m_nCount + 1 >= m_nCapacity) Grow(m_nCapacity + 10, false);
  std::memmove(m_pPoints + nIndex + 1, m_pPoints + nIndex,
               sizeof(SFloat2D) * static_cast<size_t>(m_nCount - nIndex));
  m_pPoints[nIndex] = value;
  ++m_nCount;
}

void CPolyline::RemoveAt(int nIndex) {
  if (nIndex < 0 || nIndex >= m_nCount) return;
  std::memmove(m_pPoints + nIndex, m_pPoints + nIndex + 1,
               sizeof(SFloat2D) * static_cast<size_t>(m_nCount - nIndex - 1));
  --m_nCount;
}

// ---- Geometry --------------------------------------------------------------------------------

void CPolyline::GetMMX(SFRect& rc) const {
  if (m_nCount <= 0) return;
  rc.minx = rc.maxx = m_pPoints[0].x;
  rc.miny = rc.maxy = m_pPoints[0].y;
  for (int i = 1; i < m_nCount; ++i) {
    const SFloat2D& p = m_pPoints[i];
    if (p.x < rc.minx) rc.minx = p.x;
    if (p.x > rc.maxx) rc.maxx = p.x;
    if (p.y < rc.miny) rc.miny = p.y;
    if (p.y > rc.maxy) rc.maxy = p.y;
  }
}

void CPolyline::Trim(float tol) {
  if (m_nCount < 3) return;
  const double t2 = ToFloat(static_cast<double>(tol) * tol);
  // Compacting in one pass gives the same survivors as removing point by
  // point: whether point i goes depends only on its successor, which is the
  // next original point, or for the last point of a ring the first survivor.
  const int n = m_nCount;
  if (!m_bClosed) {
    int out = 0;
    for (int i = 0; i < n - 1; ++i)
      if (!(SquaredDistance(m_pPoints[i], m_pPoints[i + 1]) <= t2)) m_pPoints[out++] = m_pPoints[i];
    m_pPoints[out++] = m_pPoints[n - 1];
    m_nCount = out;
    return;
  }
  // A ring: the points before the last go as in an open line; then the last
  // point is compared once with the first remaining one (after a removal the
  // walk's position lies past the end).
  int out = 0;
  for (int i = 0; i < n - 1; ++i)
    if (!(SquaredDistance(m_pPoints[i], m_pPoints[i + 1]) <= t2)) m_pPoints[out++] = m_pPoints[i];
  m_pPoints[out++] = m_pPoints[n - 1];
  if (SquaredDistance(m_pPoints[out - 1], m_pPoints[0]) <= t2) --out;  // out == 1: itself
  m_nCount = out;
}

bool CPolyline::Connect(const CPolyline* pOther, float tol) {
  if (!pOther || pOther == this || m_nCount < 2 || pOther->m_nCount < 2) return false;
  const SFloat2D a0 = m_pPoints[0], a1 = m_pPoints[m_nCount - 1];
  const SFloat2D b0 = pOther->m_pPoints[0], b1 = pOther->m_pPoints[pOther->m_nCount - 1];
  const float d00 = ToFloat(SquaredDistance(a0, b0));
  const float d01 = ToFloat(SquaredDistance(a0, b1));
  const float d10 = ToFloat(SquaredDistance(a1, b0));
  const double d11 = SquaredDistance(a1, b1);
  const float m =
      ToFloat(std::min({static_cast<double>(d00), static_cast<double>(d01), static_cast<double>(d10), d11}));
  if (!(m <= tol)) return false;

  const bool thisReversed = d00 == m || d01 == m;
  const bool otherReversed = !(d00 == m) && (d01 == m || !(d10 == m));
  const int n = m_nCount, k = pOther->m_nCount;
  const int64_t capacity = int64_t{n} + k + 2;
  if (capacity > std::numeric_limits<int>::max()) return false;
  SFloat2D* pNew = new SFloat2D[static_cast<size_t>(capacity)]();
  for (int i = 0; i < n; ++i) pNew[i] = m_pPoints[thisReversed ? n - 1 - i : i];
  for (int i = 0; i < k; ++i) pNew[n + i] = pOther->m_pPoints[otherReversed ? k - 1 - i : i];
  delete[] m_pPoints;
  m_pPoints = pNew;
  m_nCapacity = m_nAllocated = static_cast<int>(capacity);
  m_nCount = n + k;
  return true;
}

bool CPolyline::operator+=(const CPolyline& other) {
  return Connect(&other, 9.99e20f);
}

// ---- Cut ---------------------------------------------------------------------------------

namespace {

// Which region edges may cross a segment. TwoLineCross can only accept a pair
// whose boxes meet: it solves the crossing of the two lines from coordinate
// differences rounded to single precision and accepts parameters strictly
// inside (0, 1) after rounding, so the crossing it finds lies within about
// 1.3e-6 * M of both segments' boxes, M the largest coordinate magnitude.
// Boxes are therefore grown by 1e-5 * M on each side before they are compared,
// and every pair that could cross is still handed to TwoLineCross itself.
// The edges sit in a uniform grid over their boxes; a segment gathers the
// edges of the cells its box covers, in edge order.
class CutEdgeIndex {
 public:
  CutEdgeIndex(const SFloat2D* ring, int nEdges, const SFloat2D* pts, int nPts) : m_nEdges(nEdges) {
    if (nEdges <= 0) return;
    double mag = 0;
    bool finite = true;
    auto scan = [&](const SFloat2D* v, int n) {
      for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y)) finite = false;
        mag = std::max({mag, std::fabs(static_cast<double>(v[i].x)), std::fabs(static_cast<double>(v[i].y))});
      }
    };
    scan(ring, nEdges);
    scan(pts, nPts);
    // Few edges, or coordinates no box can bound: every edge is a candidate.
    if (!finite || nEdges < 16) return;
    m_margin = mag * 1e-5 + 1e-300;
    m_boxes.resize(static_cast<size_t>(nEdges));
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (int k = 0; k < nEdges; ++k) {
      const SFloat2D a = ring[k], b = ring[(k + 1) % nEdges];
      Box& e = m_boxes[static_cast<size_t>(k)];
      e.x0 = std::min(a.x, b.x) - m_margin;
      e.x1 = std::max(a.x, b.x) + m_margin;
      e.y0 = std::min(a.y, b.y) - m_margin;
      e.y1 = std::max(a.y, b.y) + m_margin;
      x0 = std::min(x0, e.x0);
      y0 = std::min(y0, e.y0);
      x1 = std::max(x1, e.x1);
      y1 = std::max(y1, e.y1);
    }
    m_x0 = x0;
    m_y0 = y0;
    // About one edge per cell; halved while long edges would fill too many cells.
    int g = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(nEdges))));
    for (;; g = std::max(1, g / 2)) {
      m_g = g;
      m_cw = (x1 - x0) / g;
      m_ch = (y1 - y0) / g;
      if (!(m_cw > 0)) m_cw = 1;
      if (!(m_ch > 0)) m_ch = 1;
      int64_t total = 0;
      for (const Box& e : m_boxes) {
        const int cx0 = CellX(e.x0), cx1 = CellX(e.x1), cy0 = CellY(e.y0), cy1 = CellY(e.y1);
        total += int64_t{cx1 - cx0 + 1} * (cy1 - cy0 + 1);
      }
      if (g == 1 || total <= int64_t{16} * nEdges) break;
    }
    m_start.assign(static_cast<size_t>(m_g) * m_g + 1, 0);
    for (const Box& e : m_boxes) ForCells(e, [&](size_t c) { ++m_start[c + 1]; });
    for (size_t c = 1; c < m_start.size(); ++c) m_start[c] += m_start[c - 1];
    m_cells.resize(static_cast<size_t>(m_start.back()));
    std::vector<int> fill(m_start.begin(), m_start.end() - 1);
    for (int k = 0; k < nEdges; ++k)
      ForCells(m_boxes[static_cast<size_t>(k)],
               [&](size_t c) { m_cells[static_cast<size_t>(fill[c]++)] = k; });
    m_seen.assign(static_cast<size_t>(nEdges), -1);
  }

  // The edges that may cross segment p0-p1, ascending.
  void Candidates(SFloat2D p0, SFloat2D p1, std::vector<int>& out) {
    out.clear();
    if (m_boxes.empty()) {
      for (int k = 0; k < m_nEdges; ++k) out.push_back(k);
      return;
    }
    Box s;
    s.x0 = std::min(p0.x, p1.x) - m_margin;
    s.x1 = std::max(p0.x, p1.x) + m_margin;
    s.y0 = std::min(p0.y, p1.y) - m_margin;
    s.y1 = std::max(p0.y, p1.y) + m_margin;
    ++m_stamp;
    ForCells(s, [&](size_t c) {
      for (int i = m_start[c]; i < m_start[c + 1]; ++i) {
        const int k = m_cells[static_cast<size_t>(i)];
        int& seen = m_seen[static_cast<size_t>(k)];
        if (seen == m_stamp) continue;
        seen = m_stamp;
        const Box& e = m_boxes[static_cast<size_t>(k)];
        if (e.x0 <= s.x1 && s.x0 <= e.x1 && e.y0 <= s.y1 && s.y0 <= e.y1) out.push_back(k);
      }
    });
    std::sort(out.begin(), out.end());
  }

 private:
  struct Box {
    double x0, x1, y0, y1;
  };

  int Cell(double v, double origin, double size) const {
    const double c = std::floor((v - origin) / size);
    if (!(c > 0)) return 0;
    return c >= m_g ? m_g - 1 : static_cast<int>(c);
  }
  int CellX(double x) const { return Cell(x, m_x0, m_cw); }
  int CellY(double y) const { return Cell(y, m_y0, m_ch); }

  // Calls f with each cell the box covers (none when it misses the grid).
  template <class F>
  void ForCells(const Box& b, F f) const {
    const double gx1 = m_x0 + m_cw * m_g, gy1 = m_y0 + m_ch * m_g;
    if (b.x1 < m_x0 || b.x0 > gx1 || b.y1 < m_y0 || b.y0 > gy1) return;
    const int cx0 = CellX(b.x0), cx1 = CellX(b.x1), cy0 = CellY(b.y0), cy1 = CellY(b.y1);
    for (int cy = cy0; cy <= cy1; ++cy)
      for (int cx = cx0; cx <= cx1; ++cx) f(static_cast<size_t>(cy) * m_g + cx);
  }

  int m_nEdges;
  double m_margin = 0;
  double m_x0 = 0, m_y0 = 0, m_cw = 1, m_ch = 1;
  int m_g = 1;
  std::vector<Box> m_boxes;  // empty: every edge is a candidate
  std::vector<int> m_start;  // cell c holds m_cells[m_start[c] .. m_start[c + 1])
  std::vector<int> m_cells;
  std::vector<int> m_seen;  // the stamp of the segment that last met each edge
  int m_stamp = 0;
};

// A finished piece: an open polyline whose capacity equals its count.
CPolyline* NewPiece(const std::vector<SFloat2D>& pts) {
  CPolyline* p = new CPolyline(false);
  p->New(static_cast<int>(pts.size()));
  for (const SFloat2D& v : pts) *p += v;
  return p;
}

}  // namespace

bool CPolyline::Cut(const CRegion& region, CPolyPolyline& pieces) const {
  pieces.DeleteAll();
  if (m_nCount <= 0) return false;

  const SFloat2D* ring = region.GetData();
  const int nEdges = region.GetSize();
  // Only the edges whose boxes meet a segment's box can cross it; the index
  // answers them in edge order, so the crossings come out exactly as testing
  // every edge would give them.
  CutEdgeIndex index(ring, nEdges, m_pPoints, m_nCount);

  // A piece is kept when its middle lies inside: the midpoint (in single
  // precision) of a two-point piece, else its point (count - 1) / 2.
  auto inside = [&](const SFloat2D* q, int n) {
    if (n < 2) return false;
    SFloat2D mid = q[(n - 1) / 2];
    if (n == 2) mid = SFloat2D{(q[0].x + q[1].x) / 2, (q[0].y + q[1].y) / 2};
    return region.PtInRgn(mid);
  };
  // A recording collection sees every piece added and the outside ones
  // removed, as its undo history must; otherwise only the pieces kept are made.
  const bool record = pieces.IsEnableUndo();
  std::vector<SFloat2D> work;
  work.reserve(200);
  work.push_back(m_pPoints[0]);
  auto emit = [&]() {
    const int n = static_cast<int>(work.size());
    if (record)
      pieces.Add(NewPiece(work));
    else if (inside(work.data(), n))
      pieces.Add(NewPiece(work));
  };
  auto closePiece = [&](const SFloat2D& x) {
    work.push_back(x);
    emit();
    work.clear();
    work.push_back(x);
  };

  std::vector<SFloat2D> crossings;
  crossings.reserve(20);
  std::vector<int> candidates;
  bool found = false;
  for (int i = 1; i < m_nCount; ++i) {
    const SFloat2D p0 = m_pPoints[i - 1], p1 = m_pPoints[i];
    crossings.clear();
    index.Candidates(p0, p1, candidates);
    for (int k : candidates) {
      SFloat2D x;
      if (TwoLineCross(p0, p1, ring[k], ring[(k + 1) % nEdges], &x)) crossings.push_back(x);
    }
    if (!crossings.empty()) found = true;
    if (crossings.size() == 1) {
      closePiece(crossings[0]);
    } else if (crossings.size() > 1) {
      // Nearest first from the segment's start: in order along the segment.
      SFloat2D from = p0;
      while (!crossings.empty()) {
        double best = 9.999e20f;
        size_t pick = 0;
        for (size_t c = 0; c < crossings.size(); ++c) {
          const double d = SquaredDistance(from, crossings[c]);
          if (d < best) {
            best = d;
            pick = c;
          }
        }
        from = crossings[pick];
        closePiece(from);
        crossings.erase(crossings.begin() + static_cast<std::ptrdiff_t>(pick));
      }
    }
    work.push_back(p1);
  }
  if (work.size() > 1) emit();

  if (record) {
    for (int i = 0; i < pieces.GetSize();) {
      CPolyline* p = pieces.GetAt(i);
      if (inside(p->GetData(), p->GetSize())) {
        ++i;
      } else {
        pieces.RemoveAt(i);
        delete p;
      }
    }
  }
  return found;
}

CPolyPolyline CPolyline::operator&(const CRegion& region) const {
  CPolyPolyline pieces;
  Cut(region, pieces);
  return CPolyPolyline(pieces);
}
