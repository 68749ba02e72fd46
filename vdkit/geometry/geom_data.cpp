#include "vdkit/geometry/geom_data.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

namespace {

float* CopyOf(const float* src, int64_t n) {
  if (!src) return nullptr;
  float* p = new float[static_cast<size_t>(n)];
  std::copy(src, src + n, p);
  return p;
}

// Range of n values stride apart; false for none.
bool Range(const float* p, int64_t n, int stride, float* pMin, float* pMax) {
  if (!p || n <= 0) return false;
  float lo = p[0], hi = p[0];
  for (int64_t i = 1; i < n; ++i) {
    const float v = p[i * stride];
    if (v <= lo) lo = v;
    if (v >= hi) hi = v;
  }
  if (pMin) *pMin = lo;
  if (pMax) *pMax = hi;
  return true;
}

}  // namespace

CGeomData::CGeomData(const CGeomData& other)
    : m_pXY(CopyOf(other.m_pXY, 2 * int64_t(other.m_nXY))),
      m_pDepth(CopyOf(other.m_pDepth, int64_t(other.m_nXY) * other.m_nZ)),
      m_nX(other.m_nX),
      m_nY(other.m_nY),
      m_nZ(other.m_nZ),
      m_nXY(other.m_nXY) {}

CGeomData::CGeomData(CGeomData&& other) noexcept
    : m_pXY(std::exchange(other.m_pXY, nullptr)),
      m_pDepth(std::exchange(other.m_pDepth, nullptr)),
      m_nX(std::exchange(other.m_nX, 0)),
      m_nY(std::exchange(other.m_nY, 0)),
      m_nZ(std::exchange(other.m_nZ, 0)),
      m_nXY(std::exchange(other.m_nXY, 0)) {}

CGeomData& CGeomData::operator=(const CGeomData& other) {
  if (this != &other) *this = CGeomData(other);
  return *this;
}

CGeomData& CGeomData::operator=(CGeomData&& other) noexcept {
  if (this != &other) {
    std::swap(m_pXY, other.m_pXY);
    std::swap(m_pDepth, other.m_pDepth);
    std::swap(m_nX, other.m_nX);
    std::swap(m_nY, other.m_nY);
    std::swap(m_nZ, other.m_nZ);
    std::swap(m_nXY, other.m_nXY);
    other.Empty();
  }
  return *this;
}

CGeomData::~CGeomData() {
  Empty();
}

bool CGeomData::newxyz(int nx, int ny, int nz) {
  if (nx < 0 || ny < 0 || nz < 0) return false;
  const int64_t columns = int64_t(nx) * ny;
  if (2 * columns > INT_MAX) return false;
  const int64_t nodes = columns * nz;  // below 2^61: no overflow
  if (nodes > INT_MAX) return false;
  // Memory that cannot be had is a failure like any other: no exception.
  float* depth = nodes > 0 ? new (std::nothrow) float[static_cast<size_t>(nodes)] : nullptr;
  float* xy = columns > 0 ? new (std::nothrow) float[static_cast<size_t>(2 * columns)] : nullptr;
  if ((nodes > 0 && !depth) || (columns > 0 && !xy)) {
    delete[] depth;
    delete[] xy;
    return false;
  }
  Empty();
  m_nX = nx;
  m_nY = ny;
  m_nZ = nz;
  m_nXY = static_cast<int>(columns);
  m_pDepth = depth;
  m_pXY = xy;
  return true;
}

void CGeomData::Empty() {
  delete[] m_pXY;
  delete[] m_pDepth;
  m_pXY = m_pDepth = nullptr;
  m_nX = m_nY = m_nZ = m_nXY = 0;
}

bool CGeomData::x(float* pMin, float* pMax) const {
  return Range(m_pXY, m_nXY, 2, pMin, pMax);
}

bool CGeomData::y(float* pMin, float* pMax) const {
  return Range(m_pXY ? m_pXY + 1 : nullptr, m_nXY, 2, pMin, pMax);
}

bool CGeomData::depth(float* pMin, float* pMax) const {
  return Range(m_pDepth, int64_t(m_nXY) * m_nZ, 1, pMin, pMax);
}
