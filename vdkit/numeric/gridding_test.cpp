#include "vdkit/numeric/gridding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "vdkit/numeric/gridding_literal_internal.h"
#include "vdkit/numeric/linear.h"

namespace lit = gridding_literal;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Gaussj's lines while alive; the default handler comes back after.
struct CapturedLines {
  std::string text;
  CapturedLines() {
    SetGaussjMessageHandler([this](const char* line) { text += line; });
  }
  ~CapturedLines() { SetGaussjMessageHandler(nullptr); }
};

bool SameBits(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

struct Samples {
  std::vector<float> x, y, z;
  int n() const { return int(x.size()); }
  void Add(float px, float py, float pz) { x.push_back(px), y.push_back(py), z.push_back(pz); }
  std::vector<SFloat3D> Points() const {
    std::vector<SFloat3D> p;
    for (int i = 0; i < n(); ++i) p.push_back({x[i], y[i], z[i]});
    return p;
  }
};

// A grid whose nodes start with distinct values, so a node left alone shows.
struct Grid {
  std::vector<float> gx, gy, cells;
  std::vector<float*> rows;
  Grid(std::vector<float> cx, std::vector<float> cy) : gx(std::move(cx)), gy(std::move(cy)) {
    cells.resize(gx.size() * gy.size());
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = -1000.0f - float(i);
    for (size_t r = 0; r < gy.size(); ++r) rows.push_back(cells.data() + r * gx.size());
  }
  Grid(const Grid& o) : Grid(o.gx, o.gy) {}
  int nx() const { return int(gx.size()); }
  int ny() const { return int(gy.size()); }
  float* const* table() { return rows.data(); }
};

std::vector<float> Steps(float from, float step, int count) {
  std::vector<float> v;
  for (int i = 0; i < count; ++i) v.push_back(from + step * float(i));
  return v;
}

void ExpectSameGrids(const Grid& got, const Grid& want) {
  int bad = 0;
  for (size_t i = 0; i < got.cells.size() && bad < 5; ++i)
    if (!SameBits(got.cells[i], want.cells[i])) {
      ++bad;
      ADD_FAILURE() << "node " << i / got.gx.size() << "," << i % got.gx.size() << ": " << got.cells[i]
                    << " != " << want.cells[i];
    }
}

// ---- Data built to break the fast paths --------------------------------------------------

// Each kind on [0, 16) x [0, 16); nodes on the unit lattice (where lattice
// samples sit) and on half steps between.
Samples Make(int kind, int n, std::mt19937& rng) {
  std::uniform_real_distribution<float> u(0, 16), noise(-1, 1);
  std::uniform_int_distribution<int> cell(0, 15);
  Samples s;
  auto surface = [&](float x, float y) { return std::sin(x * 0.4f) + 0.3f * y + 0.05f * noise(rng); };
  for (int i = 0; i < n; ++i) {
    float x, y;
    switch (kind) {
      case 0:  // uniform
        x = u(rng), y = u(rng);
        break;
      case 1:  // a lattice: equal distances everywhere
        x = float(cell(rng)), y = float(cell(rng));
        break;
      case 2:  // duplicates of earlier samples, some with other values
        if (i > 0 && rng() % 3 == 0) {
          const int j = int(rng() % unsigned(i));
          s.Add(s.x[j], s.y[j], rng() % 2 ? s.z[j] : surface(s.x[j], s.y[j]));
          continue;
        }
        x = float(cell(rng)) * 0.5f, y = float(cell(rng)) * 0.5f;
        break;
      default: {  // three tight clusters, empty between
        const float cx[] = {2, 13, 4}, cy[] = {3, 5, 14};
        const int c = int(rng() % 3);
        x = cx[c] + 0.3f * noise(rng), y = cy[c] + 0.3f * noise(rng);
        break;
      }
    }
    s.Add(x, y, surface(x, y));
  }
  return s;
}

// Kriging with the library and with the literal reference: the same values
// bit for bit, the same count of singular systems, the same Gaussj lines.
void CompareKriging(const Samples& s, Grid g, const std::vector<float>& px, const std::vector<float>& py,
                    float alpha, int threads) {
  Grid want(g);
  std::string wantLines, gotLines;
  int64_t wantSingular = 0;
  {
    CapturedLines lines;
    lit::KrigeGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), want.gx.data(), want.nx(), want.gy.data(),
                   want.ny(), want.table(), alpha, px.data(), py.data(), int(px.size()), &wantSingular);
    wantLines = lines.text;
  }
  SGridControl ctl;
  ctl.nThreads = threads;
  {
    CapturedLines lines;
    ASSERT_TRUE(KriginGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), g.gx.data(), g.nx(), g.gy.data(),
                           g.ny(), g.table(), 0.0f, alpha, px.data(), py.data(), int(px.size()), &ctl));
    gotLines = lines.text;
  }
  ExpectSameGrids(g, want);
  EXPECT_EQ(ctl.nSingular, wantSingular);
  EXPECT_EQ(gotLines, wantLines);
}

// ---- Kriging ---------------------------------------------------------------------------------

TEST(KriginGridTest, MatchesTheLiteralAlgorithmBitForBit) {
  std::mt19937 rng(11);
  // A boundary whose every edge runs through lattice points: samples and nodes
  // lie on edges of each slope, and on vertices.
  const std::vector<float> px = {1, 13, 15, 9, 1}, py = {1, 1, 7, 15, 9};
  const std::vector<float> two = {0, 16}, twoY = {0, 16};
  const std::vector<float> none;
  for (int kind = 0; kind < 4; ++kind) {
    for (int n : {0, 1, 2, 9, 10, 11, 12, 40, 300}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", n " << n);
      const Samples s = Make(kind, n, rng);
      const Grid lattice(Steps(-1, 1, 19), Steps(0, 1, 17));
      const Grid halves(Steps(0.25f, 0.5f, 31), Steps(-0.5f, 0.5f, 9));
      CompareKriging(s, lattice, none, none, 1.5f, 1);
      CompareKriging(s, halves, px, py, 1.0f, 1);
      CompareKriging(s, lattice, px, py, 0.5f, 3);
      CompareKriging(s, halves, two, twoY, 1.9f, 2);
    }
  }
}

TEST(KriginGridTest, SingularSystemsAndTheirLinesDoNotDependOnThreads) {
  // Twelve samples at one place: nodes whose ten neighbours all sit there get
  // 0.0 and a line each; elsewhere the system is regular.
  Samples s;
  for (int i = 0; i < 12; ++i) s.Add(5, 5, float(i));
  for (int i = 0; i < 30; ++i) s.Add(float(i % 6) * 3 + 20, float(i / 6) * 3, float(i));
  const std::vector<float> none;
  for (int threads : {1, 2, 4})
    CompareKriging(s, Grid(Steps(0, 1, 40), Steps(0, 1, 14)), none, none, 1.2f, threads);
  SGridControl ctl;
  Grid g(Steps(4, 1, 3), Steps(5, 1, 1));
  CapturedLines lines;
  ASSERT_TRUE(KriginGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), g.gx.data(), 3, g.gy.data(), 1, g.table(),
                         0, 1.2f, nullptr, nullptr, 0, &ctl));
  EXPECT_EQ(ctl.nSingular, 3);
  EXPECT_EQ(g.cells, std::vector<float>({0.0f, 0.0f, 0.0f}));
  EXPECT_NE(lines.text.find("Gaussj error: Main Element["), std::string::npos);
}

TEST(KriginGridTest, PointFormsMatchTheLiteralAlgorithm) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1, 17);
  for (int kind = 0; kind < 4; ++kind) {
    for (int n : {0, 1, 3, 10, 11, 57}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", n " << n);
      const std::vector<SFloat3D> s = Make(kind, n, rng).Points();
      std::vector<SFloat3D> got, want;
      for (int i = 0; i < 150; ++i) {
        const float x = i % 3 ? u(rng) : float(i % 17), y = i % 3 ? u(rng) : float(i / 9);
        got.push_back({x, y, 5});
      }
      want = got;
      int64_t singular = 0;
      lit::KrigePoints(s.data(), n, want.data(), int(want.size()), -9.5f, 1.3f, &singular);
      SGridControl ctl;
      ctl.nThreads = kind % 2 + 1;
      ASSERT_TRUE(KriginGrid(s.data(), n, got.data(), int(got.size()), -9.5f, 1.3f, &ctl));
      for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBits(got[i].z, want[i].z)) << i;
      EXPECT_EQ(ctl.nSingular, singular);
      // One target from all samples (few: the system has n + 1 rows).
      if (n > 12) continue;
      for (int i = 0; i < 20; ++i) {
        SFloat3D a = got[i], b = got[i];
        int64_t single = 0;
        lit::KrigeAll(s.data(), n, &b, 0.7f, &single);
        ASSERT_TRUE(KriginGrid(s.data(), n, &a, 0.7f, &ctl));
        EXPECT_TRUE(SameBits(a.z, b.z)) << i;
        EXPECT_EQ(ctl.nSingular, single);
      }
    }
  }
}

// The selection of a full scan, found through the index: lattices (ties at
// every radius), duplicates, clusters, and mixed magnitudes whose differences round.
TEST(KriginGridTest, NeighboursAreThoseOfTheExchangeOverAllCandidates) {
  std::mt19937 rng(3);
  auto check = [&](const Samples& s, const std::vector<float>& qx, const std::vector<float>& qy,
                   const std::vector<unsigned char>& inside) {
    std::vector<int> ids(qx.size() * 10);
    ASSERT_TRUE(detail::GridNeighbours(s.x.data(), s.y.data(), inside.empty() ? nullptr : inside.data(),
                                       s.n(), qx.data(), qy.data(), int(qx.size()), ids.data()));
    std::vector<char> used(s.n());
    for (int i = 0; i < s.n(); ++i)
      used[i] = std::isfinite(s.x[i]) && std::isfinite(s.y[i]) && (inside.empty() || inside[i]);
    std::vector<double> d;
    std::vector<int> want;
    for (size_t q = 0; q < qx.size(); ++q) {
      const int m = lit::Select(s.x.data(), s.y.data(), used, s.n(), qx[q], qy[q], d, want);
      want.resize(std::min(m, 10));
      want.resize(10, -1);
      const std::vector<int> got(ids.begin() + q * 10, ids.begin() + q * 10 + 10);
      ASSERT_EQ(got, want) << "query " << q << " (" << qx[q] << ", " << qy[q] << ")";
    }
  };
  for (int kind = 0; kind < 4; ++kind) {
    for (int n : {11, 25, 2000}) {
      const Samples s = Make(kind, n, rng);
      std::vector<float> qx, qy;
      for (int i = 0; i < 600; ++i)
        qx.push_back(float(i % 35) * 0.5f - 1), qy.push_back(float(i / 35) - 0.5f);
      std::vector<unsigned char> inside(n);
      for (int i = 0; i < n; ++i) inside[i] = rng() % 4 != 0;
      check(s, qx, qy, {});
      check(s, qx, qy, inside);
    }
  }
  // Far from the origin, where floats lie 1.0 apart: a dense lattice of large coordinates.
  Samples far;
  for (int i = 0; i < 500; ++i) far.Add(1.0e7f + float(rng() % 40), -3.0e7f + float(rng() % 40), 0);
  std::vector<float> qx, qy;
  for (int i = 0; i < 400; ++i) qx.push_back(1.0e7f + float(i % 41)), qy.push_back(-3.0e7f + float(i / 10));
  check(far, qx, qy, {});
  // Magnitudes across the float range, and samples that are not finite.
  Samples wild;
  for (int i = 0; i < 300; ++i) {
    const float scale = std::ldexp(1.0f, int(rng() % 200) - 100);
    wild.Add(scale * float(int(rng() % 7) - 3), scale * float(int(rng() % 7) - 3), 0);
  }
  for (float bad : {kNaN, kInf, -kInf}) wild.x[17] = bad, wild.y[130] = bad, wild.x[131] = bad;
  wild.Add(std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 0);
  check(wild, {0, 1e-20f, -3e30f, 1, 3.4e38f}, {0, 1e-20f, 2e30f, -1, -3.4e38f}, {});
}

// Worked by hand. C(h) = 9999 - h. Samples (0, 0) z 1 and (2, 0) z 3, target
// (0.5, 0): the weights solve w1 + w2 = 1 and 9999 w1 + 9997 w2 + mu = 9998.5,
// 9997 w1 + 9999 w2 + mu = 9997.5, so w1 - w2 = 0.5: 0.75 and 0.25, estimate 1.5.
TEST(KriginGridTest, WorkedExamplesAndEdgeCases) {
  SFloat3D two[] = {{0, 0, 1}, {2, 0, 3}};
  SFloat3D t[] = {{0.5f, 0, 0}, {2, 0, 0}};
  ASSERT_TRUE(KriginGrid(two, 2, t, 2, -1, 1.0f));
  EXPECT_NEAR(t[0].z, 1.5f, 1e-4f);
  EXPECT_NEAR(t[1].z, 3.0f, 1e-4f);  // exact interpolator at a sample
  SFloat3D one = {0.5f, 0, 0};
  ASSERT_TRUE(KriginGrid(two, 2, &one, 1.0f));
  EXPECT_NEAR(one.z, 1.5f, 1e-4f);

  // n = 0 writes blank, n = 1 copies; all samples on the target: singular, 0.0.
  SFloat3D same[] = {{3, 3, 7}, {3, 3, 8}, {3, 3, 9}};
  SFloat3D q[] = {{3, 3, 5}, {9, 9, 5}};
  ASSERT_TRUE(KriginGrid(same, 0, q, 2, -2.5f, 1.5f));
  EXPECT_EQ(q[0].z, -2.5f);
  EXPECT_EQ(q[1].z, -2.5f);
  ASSERT_TRUE(KriginGrid(same, 1, q, 2, -2.5f, 1.5f));
  EXPECT_EQ(q[1].z, 7.0f);
  {
    CapturedLines lines;
    SGridControl ctl;
    ASSERT_TRUE(KriginGrid(same, 3, q, 1, -2.5f, 1.5f, &ctl));
    EXPECT_EQ(q[0].z, 0.0f);
    EXPECT_EQ(ctl.nSingular, 1);
    EXPECT_FALSE(lines.text.empty());
    SFloat3D none = {0, 0, 4};
    ASSERT_TRUE(KriginGrid(same, 0, &none, 1.5f, &ctl));  // 1 x 1 system of 0
    EXPECT_EQ(none.z, 0.0f);
    EXPECT_EQ(ctl.nSingular, 1);
  }

  // Eleven samples at distances 1 ... 11: the farthest takes no part.
  std::vector<SFloat3D> ring;
  for (int i = 0; i < 11; ++i) {
    const double a = i * 0.57;
    ring.push_back({float((i + 1) * std::cos(a)), float((i + 1) * std::sin(a)), float(i * i)});
  }
  SFloat3D c1 = {0, 0, 0}, c2 = c1;
  ASSERT_TRUE(KriginGrid(ring.data(), 11, &c1, 1, 0, 1.5f));
  ring[10].z = 1e6f;
  ASSERT_TRUE(KriginGrid(ring.data(), 11, &c2, 1, 0, 1.5f));
  EXPECT_EQ(c1.z, c2.z);
}

// 60,000 samples would have needed 14 GB of work arrays sized by the count.
TEST(KriginGridTest, ManySamplesNeedNoLargeArrays) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> u(0, 100);
  Samples s;
  for (int i = 0; i < 60000; ++i) s.Add(u(rng), u(rng), float(i % 100));
  Grid g(Steps(10, 40, 3), Steps(10, 40, 3)), want(g);
  int64_t singular = 0;
  ASSERT_TRUE(KriginGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), g.gx.data(), 3, g.gy.data(), 3, g.table(),
                         0, 1.5f, nullptr, nullptr, 0));
  lit::KrigeGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), want.gx.data(), 3, want.gy.data(), 3,
                 want.table(), 1.5f, nullptr, nullptr, 0, &singular);
  ExpectSameGrids(g, want);
}

// ---- Inverse distance --------------------------------------------------------------------

TEST(DistanceGridTest, EveryVectorWidthMatchesTheLiteralAlgorithm) {
  std::mt19937 rng(9);
  const std::vector<float> px = {1, 13, 15, 9, 1}, py = {1, 1, 7, 15, 9}, none;
  for (int level : {0, 1, 2}) {
    const int saved = detail::SetGriddingVectorLimit(level);
    // 4100 samples span two blocks; 17 x 19 nodes span two tiles with a ragged end.
    for (int n : {0, 1, 7, 4100}) {
      SCOPED_TRACE(testing::Message() << "level " << level << ", n " << n);
      Samples s = Make(n % 4, n, rng);
      if (n == 7) s.x[3] = kNaN, s.y[5] = kInf, s.z[6] = kInf;  // left out; spread
      for (const std::vector<float>* b : {&none, &px}) {
        Grid g(Steps(-0.5f, 1, 17), Steps(0, 0.9f, 19)), want(g);
        lit::IdwGrid(s.x.data(), s.y.data(), s.z.data(), n, want.gx.data(), want.nx(), want.gy.data(),
                     want.ny(), want.table(), b->data(), (b == &px ? py : none).data(), int(b->size()));
        SGridControl ctl;
        ctl.nThreads = 1 + level;
        ASSERT_TRUE(DistanceGrid(s.x.data(), s.y.data(), s.z.data(), n, g.gx.data(), g.nx(), g.gy.data(),
                                 g.ny(), g.table(), 0, 0, b->data(), (b == &px ? py : none).data(),
                                 int(b->size()), &ctl));
        ExpectSameGrids(g, want);
      }
      const std::vector<SFloat3D> pts = s.Points();
      std::vector<SFloat3D> got;
      for (int i = 0; i < 70; ++i) got.push_back({float(i % 9) * 2, float(i) * 0.25f, 0});
      got[3] = {kNaN, 1, 0};
      got[4] = {kInf, 1, 0};
      std::vector<SFloat3D> want = got;
      lit::IdwPoints(pts.data(), n, want.data(), int(want.size()));
      ASSERT_TRUE(DistanceGrid(pts.data(), n, got.data(), int(got.size()), 0, 0));
      for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBits(got[i].z, want[i].z)) << i;
    }
    detail::SetGriddingVectorLimit(saved);
  }
}

// Worked by hand: samples (0, 0) z 1 and (3, 4) z 2 at node (0, 4) are 4 and
// 3 away: (1/4 + 2/3) / (1/4 + 1/3) = 11/7.
TEST(DistanceGridTest, WorkedExampleAndEdgeCases) {
  SFloat3D s[] = {{0, 0, 1}, {3, 4, 2}};
  SFloat3D t[] = {{0, 4, 0}, {3, 4, 0}, {1e30f, 0, 0}};
  ASSERT_TRUE(DistanceGrid(s, 2, t, 3, 0, 0));
  EXPECT_NEAR(t[0].z, 11.0f / 7.0f, 1e-6f);
  EXPECT_NEAR(t[1].z, 2.0f, 1e-6f);  // weight 1e20 on the sample under the node
  // 1e30 away both weights are about 1e-30, as large as the starting sums:
  // those count as a third sample of value 1, so (1 + 1 + 2) / 3.
  EXPECT_NEAR(t[2].z, 4.0f / 3.0f, 1e-6f);
  ASSERT_TRUE(DistanceGrid(s, 0, t, 3, 0, 0));
  EXPECT_EQ(t[0].z, 1.0f);  // no sample: 1e-30 / 1e-30
}

// ---- Trend surface ---------------------------------------------------------------------

TEST(TrendGridTest, MatchesTheLiteralAlgorithmBitForBit) {
  std::mt19937 rng(21);
  const std::vector<float> px = {1, 13, 15, 9, 1}, py = {1, 1, 7, 15, 9}, none;
  for (int order = 0; order <= 4; ++order) {
    for (int kind : {0, 2, 3}) {
      SCOPED_TRACE(testing::Message() << "order " << order << ", kind " << kind);
      CapturedLines lines;  // clusters make some systems singular
      Samples s = Make(kind, 120, rng);
      for (float& v : s.x) v = v / 4 - 2;  // centred, where powers stay moderate
      for (float& v : s.y) v = v / 4 - 2;
      s.x[7] = kNaN;
      for (const std::vector<float>* b : {&none, &px}) {
        const std::vector<float>& by = b == &px ? py : none;
        Grid g(Steps(-2, 0.25f, 17), Steps(-2, 0.3f, 14)), want(g);
        const bool ok = lit::TrendGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), want.gx.data(), want.nx(),
                                       want.gy.data(), want.ny(), want.table(), order, b->data(), by.data(),
                                       int(b->size()));
        SGridControl ctl;
        ctl.nThreads = 2;
        EXPECT_EQ(TrendGrid(s.x.data(), s.y.data(), s.z.data(), s.n(), g.gx.data(), g.nx(), g.gy.data(),
                            g.ny(), g.table(), 0, order, b->data(), by.data(), int(b->size()), &ctl),
                  ok);
        ExpectSameGrids(g, want);
      }
      const std::vector<SFloat3D> pts = s.Points();
      std::vector<SFloat3D> got;
      for (int i = 0; i < 40; ++i) got.push_back({float(i % 7) * 0.6f - 2, float(i) * 0.1f - 2, 0});
      std::vector<SFloat3D> want = got;
      ASSERT_EQ(TrendGrid(pts.data(), s.n(), got.data(), 40, 0, order),
                lit::TrendPoints(pts.data(), s.n(), want.data(), 40, order));
      for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBits(got[i].z, want[i].z)) << i;
    }
  }
}

TEST(TrendGridTest, MeanPlaneAndFailures) {
  std::vector<SFloat3D> s = {{0, 0, 1}, {1, 0, 3}, {0, 1, 4}, {2, 3, 14}, {-1, 2, 5}};  // z = 1 + 2x + 3y
  std::vector<SFloat3D> t = {{5, -2, 0}, {0.5f, 0.5f, 0}};
  ASSERT_TRUE(TrendGrid(s.data(), 5, t.data(), 2, 0, 0));
  EXPECT_NEAR(t[0].z, 27.0f / 5, 1e-5f);  // order 0: the mean
  EXPECT_NEAR(t[1].z, 27.0f / 5, 1e-5f);
  ASSERT_TRUE(TrendGrid(s.data(), 5, t.data(), 2, 0, 1));
  EXPECT_NEAR(t[0].z, 5.0f, 1e-3f);
  EXPECT_NEAR(t[1].z, 3.5f, 1e-4f);
  // Order 2 from points on a line: singular, nothing written.
  std::vector<SFloat3D> line = {{0, 0, 1}, {1, 1, 2}, {2, 2, 3}, {3, 3, 4}, {4, 4, 5}, {5, 5, 6}};
  SGridControl ctl;
  {
    CapturedLines lines;
    t[0].z = 99;
    EXPECT_FALSE(TrendGrid(line.data(), 6, t.data(), 2, 0, 2, &ctl));
    EXPECT_EQ(t[0].z, 99.0f);
    EXPECT_EQ(ctl.nSingular, 1);
  }
  // A negative order used to answer true and write zeros: now refused.
  EXPECT_FALSE(TrendGrid(s.data(), 5, t.data(), 2, 0, -1));
  EXPECT_FALSE(TrendGrid(s.data(), 0, t.data(), 2, 0, 1));
  EXPECT_EQ(t[0].z, 99.0f);
}

// ---- All methods -----------------------------------------------------------------------

// Nodes outside the boundary keep their values in every grid form; a boundary
// of two vertices restricts nothing.
TEST(GriddingTest, BoundaryMasksInEveryGridForm) {
  Samples s;
  for (int i = 0; i < 30; ++i) s.Add(float(i % 6), float(i / 6), float(i));
  const float px[] = {0.5f, 4.5f, 4.5f, 0.5f}, py[] = {0.5f, 0.5f, 3.5f, 3.5f};
  for (int method = 0; method < 3; ++method) {
    SCOPED_TRACE(method);
    Grid inBox(Steps(0, 1, 6), Steps(0, 1, 5)), twoVertices(inBox), free(inBox);
    auto run = [&](Grid& g, const float* bx, const float* by, int np) {
      float* const* t = g.table();
      return method == 0 ? KriginGrid(s.x.data(), s.y.data(), s.z.data(), 30, g.gx.data(), 6, g.gy.data(), 5,
                                      t, 0, 1.5f, bx, by, np)
             : method == 1 ? DistanceGrid(s.x.data(), s.y.data(), s.z.data(), 30, g.gx.data(), 6, g.gy.data(),
                                          5, t, 0, 0, bx, by, np)
                           : TrendGrid(s.x.data(), s.y.data(), s.z.data(), 30, g.gx.data(), 6, g.gy.data(), 5,
                                       t, 0, 1, bx, by, np);
    };
    ASSERT_TRUE(run(inBox, px, py, 4));
    ASSERT_TRUE(run(twoVertices, px, py, 2));
    ASSERT_TRUE(run(free, nullptr, nullptr, 0));
    EXPECT_EQ(twoVertices.cells, free.cells);
    const Grid untouched(Steps(0, 1, 6), Steps(0, 1, 5));
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 6; ++c) {
        const bool inside = c >= 1 && c <= 4 && r >= 1 && r <= 3;
        EXPECT_EQ(inBox.rows[r][c] == untouched.rows[r][c], !inside) << r << "," << c;
      }
  }
}

// Bad counts and null arrays are refused, and nothing is written.
TEST(GriddingTest, RefusedArgumentsWriteNothing) {
  Samples s;
  for (int i = 0; i < 12; ++i) s.Add(float(i), float(i % 3), 1);
  const std::vector<SFloat3D> pts = s.Points();
  Grid g(Steps(0, 1, 3), Steps(0, 1, 2));
  float* holed[] = {g.rows[0], nullptr};
  const Grid before(g);
  SFloat3D t[2] = {{0, 0, 5}, {1, 1, 5}};
  const float* X = s.x.data();
  const float* Y = s.y.data();
  const float* Z = s.z.data();
  const float* gx = g.gx.data();
  const float* gy = g.gy.data();
  float* const* rows = g.table();
  const int big = std::numeric_limits<int>::max();
  // {n, nx, ny, sample x, grid rows, boundary x, np}
  struct Case {
    int n, nx, ny;
    const float* x;
    float* const* grid;
    const float* bx;
    int np;
  } cases[] = {{-1, 3, 2, X, rows, nullptr, 0},    {12, 0, 2, X, rows, nullptr, 0},
               {12, 3, -2, X, rows, nullptr, 0},   {12, 3, 2, nullptr, rows, nullptr, 0},
               {12, 3, 2, X, nullptr, nullptr, 0}, {12, 3, 2, X, holed, nullptr, 0},
               {12, 3, 2, X, rows, nullptr, 3}};
  for (const Case& c : cases) {
    EXPECT_FALSE(KriginGrid(c.x, Y, Z, c.n, gx, c.nx, gy, c.ny, c.grid, 0, 1.5f, c.bx, Y, c.np));
    EXPECT_FALSE(DistanceGrid(c.x, Y, Z, c.n, gx, c.nx, gy, c.ny, c.grid, 0, 0, c.bx, Y, c.np));
    EXPECT_FALSE(TrendGrid(c.x, Y, Z, c.n, gx, c.nx, gy, c.ny, c.grid, 0, 1, c.bx, Y, c.np));
  }
  EXPECT_FALSE(TrendGrid(X, Y, Z, 12, gx, 3, gy, 2, rows, 0, -1, nullptr, nullptr, 0));
  EXPECT_FALSE(TrendGrid(X, Y, Z, 12, gx, 3, gy, 2, rows, 0, 100000, nullptr, nullptr, 0));
  EXPECT_EQ(g.cells, before.cells);
  // Point forms: negative counts, null arrays, counts no system can hold.
  EXPECT_FALSE(KriginGrid(pts.data(), -1, t, 2, 0, 1));
  EXPECT_FALSE(KriginGrid(pts.data(), 12, t, -1, 0, 1));
  EXPECT_FALSE(KriginGrid(nullptr, 12, t, 2, 0, 1));
  EXPECT_FALSE(KriginGrid(pts.data(), 12, nullptr, 2, 0, 1));
  EXPECT_FALSE(KriginGrid(pts.data(), -5, t, 1.0f));
  EXPECT_FALSE(KriginGrid(pts.data(), 12, nullptr, 1.0f));
  EXPECT_FALSE(KriginGrid(pts.data(), big, t, 1.0f));
  EXPECT_FALSE(DistanceGrid(pts.data(), 12, t, -3, 0, 0));
  EXPECT_FALSE(DistanceGrid(nullptr, 1, t, 2, 0, 0));
  EXPECT_FALSE(TrendGrid(pts.data(), 12, t, -3, 0, 1));
  EXPECT_FALSE(TrendGrid(pts.data(), 12, nullptr, 2, 0, 1));
  EXPECT_EQ(t[0].z, 5.0f);
  EXPECT_EQ(t[1].z, 5.0f);
  // Null arrays with no count are fine.
  EXPECT_TRUE(KriginGrid(nullptr, 0, nullptr, 0, 0, 1));
  EXPECT_TRUE(DistanceGrid(nullptr, 0, t, 2, 0, 0));
  EXPECT_EQ(t[0].z, 1.0f);
}

// Samples with a non-finite x or y take no part: every method gives what it
// gives without them. Kriging at a non-finite node with candidates is NaN.
TEST(GriddingTest, NonFiniteCoordinatesAreLeftOut) {
  std::mt19937 rng(2);
  Samples clean = Make(0, 40, rng), dirty;
  for (int i = 0; i < clean.n(); ++i) {
    if (i % 7 == 3) dirty.Add(i % 2 ? kNaN : 4, i % 2 ? 4 : -kInf, 1e9f);
    dirty.Add(clean.x[i], clean.y[i], clean.z[i]);
  }
  for (int method = 0; method < 3; ++method) {
    Grid a(Steps(0, 2, 8), Steps(0, 2, 8)), b(a);
    for (auto [s, g] : {std::pair<const Samples*, Grid*>{&clean, &a}, {&dirty, &b}}) {
      float* const* t = g->table();
      const bool ok = method == 0 ? KriginGrid(s->x.data(), s->y.data(), s->z.data(), s->n(), g->gx.data(), 8,
                                               g->gy.data(), 8, t, 0, 1.5f, nullptr, nullptr, 0)
                      : method == 1
                          ? DistanceGrid(s->x.data(), s->y.data(), s->z.data(), s->n(), g->gx.data(), 8,
                                         g->gy.data(), 8, t, 0, 0, nullptr, nullptr, 0)
                          : TrendGrid(s->x.data(), s->y.data(), s->z.data(), s->n(), g->gx.data(), 8,
                                      g->gy.data(), 8, t, 0, 2, nullptr, nullptr, 0);
      ASSERT_TRUE(ok);
    }
    ExpectSameGrids(b, a);
  }
  std::vector<SFloat3D> pts = clean.Points();
  SFloat3D q[] = {{kNaN, 1, 0}, {1, kInf, 0}};
  ASSERT_TRUE(KriginGrid(pts.data(), 40, q, 2, 0, 1.5f));
  EXPECT_TRUE(std::isnan(q[0].z) && std::isnan(q[1].z));
  ASSERT_TRUE(KriginGrid(pts.data(), 1, q, 2, 0, 1.5f));
  EXPECT_EQ(q[0].z, pts[0].z);
  ASSERT_TRUE(KriginGrid(pts.data(), 40, &q[0], 1.5f));
  EXPECT_TRUE(std::isnan(q[0].z));
}

TEST(GriddingTest, OwningFormsCallTheGridForms) {
  std::mt19937 rng(4);
  const Samples s = Make(0, 60, rng);
  const std::vector<SFloat3D> pts = s.Points();
  SGridLattice lat = SGridLattice::Regular(0.5, 1.5, 9, 1, 2, 7, -3.0f);
  ASSERT_EQ(lat.Cols(), 9);
  ASSERT_EQ(lat.Rows(), 7);
  EXPECT_EQ(lat.gx[8], 12.5f);
  EXPECT_EQ(lat.gy[6], 13.0f);
  EXPECT_EQ(lat.At(6, 8), -3.0f);
  const std::vector<SFloat2D> boundary = {{1, 1}, {14, 2}, {12, 12}};
  const float bx[] = {1, 14, 12}, by[] = {1, 2, 12};
  for (int method = 0; method < 3; ++method) {
    SGridLattice a = lat;
    Grid b(lat.gx, lat.gy);
    std::fill(b.cells.begin(), b.cells.end(), -3.0f);
    bool ok;
    if (method == 0) {
      ASSERT_TRUE(KriginGrid(pts, a, 1.5f, boundary));
      ok = KriginGrid(s.x.data(), s.y.data(), s.z.data(), 60, b.gx.data(), 9, b.gy.data(), 7, b.table(), 0,
                      1.5f, bx, by, 3);
    } else if (method == 1) {
      ASSERT_TRUE(DistanceGrid(pts, a, boundary));
      ok = DistanceGrid(s.x.data(), s.y.data(), s.z.data(), 60, b.gx.data(), 9, b.gy.data(), 7, b.table(), 0,
                        0, bx, by, 3);
    } else {
      ASSERT_TRUE(TrendGrid(pts, a, 2, boundary));
      ok = TrendGrid(s.x.data(), s.y.data(), s.z.data(), 60, b.gx.data(), 9, b.gy.data(), 7, b.table(), 0, 2,
                     bx, by, 3);
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(a.z, b.cells);
  }
  lat.z.pop_back();  // values and coordinates disagree
  EXPECT_FALSE(DistanceGrid(pts, lat));
  EXPECT_TRUE(SGridLattice::Regular(0, 1, -4, 0, 1, 3, 0).z.empty());
  const int big = std::numeric_limits<int>::max();
  EXPECT_TRUE(SGridLattice::Regular(0, 1, big, 0, 1, big, 0).gx.empty());  // no vector holds it
}

}  // namespace
