#include "vdkit/dataobj/rc_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "vdkit/vdb/field_value.h"
#include "vdkit/vdfile/vd_archive.h"

namespace {

constexpr float kNull = VDB_NULL_FLOAT;

// The table as plain vectors: names, rows of cells, and the range cache.
struct Model {
  std::vector<std::string> names, units;
  std::vector<std::vector<float>> rows;
  bool ranges = false;
  std::vector<float> min, max;

  int Find(const std::string& name) const {
    for (size_t i = 0; i < names.size(); ++i)
      if (strcasecmp(names[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
    return -1;
  }
  void Compute() {
    ranges = true;
    min.assign(names.size(), kNull);
    max.assign(names.size(), kNull);
    for (size_t c = 0; c < names.size() && !rows.empty(); ++c) {
      min[c] = max[c] = rows[0][c];
      for (const auto& r : rows) min[c] = std::min(min[c], r[c]), max[c] = std::max(max[c], r[c]);
    }
  }
};

void ExpectSame(CRCData& t, const Model& m, int step) {
  SCOPED_TRACE(step);
  ASSERT_EQ(t.GetColCount(), static_cast<int>(m.names.size()));
  ASSERT_EQ(t.GetRowCount(), static_cast<int>(m.rows.size()));
  for (int c = 0; c < t.GetColCount(); ++c) {
    EXPECT_EQ(t.GetColName(c), m.names[static_cast<size_t>(c)]);
    EXPECT_EQ(t.GetColUnit(c), m.units[static_cast<size_t>(c)]);
  }
  for (int r = 0; r < t.GetRowCount(); ++r)
    for (int c = 0; c < t.GetColCount(); ++c)
      ASSERT_EQ(t.GetRowAt(r)[c], m.rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
  ASSERT_EQ(t.HasMMX(), m.ranges);
  if (m.ranges) {
    for (int c = 0; c < t.GetColCount(); ++c) {
      EXPECT_EQ(t.GetMin(c), m.min[static_cast<size_t>(c)]);
      EXPECT_EQ(t.GetMax(c), m.max[static_cast<size_t>(c)]);
    }
  }
}

// Random column and row edits, range queries and copies, checked after every
// step against the model (and under AddressSanitizer against reads outside
// the rows and the range arrays).
TEST(RCDataTest, RandomEditsAgreeWithAVectorModel) {
  std::mt19937 rng(7);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* pool[] = {"Depth", "DEPTH", "gr", "GR", "Rho", "x", "Y", "Temp", ""};
  CRCData t, other;
  Model m;
  for (int step = 0; step < 3000; ++step) {
    const std::string name = pool[pick(9)];
    switch (pick(12)) {
      case 0:
      case 1: {
        const int at = m.Find(name);
        const int expect = name.empty() ? -1 : at >= 0 ? at : static_cast<int>(m.names.size());
        ASSERT_EQ(t.AddColName(name.c_str()), expect);
        if (!name.empty() && at < 0) {
          m.names.push_back(name), m.units.push_back("");
          for (auto& r : m.rows) r.push_back(kNull);
          if (m.ranges) m.min.push_back(kNull), m.max.push_back(kNull);
        }
        break;
      }
      case 2: {
        const int at = m.Find(name);
        ASSERT_EQ(t.RemoveCol(name.c_str()), at >= 0 && !name.empty());
        if (at < 0 || name.empty()) break;
        m.names.erase(m.names.begin() + at), m.units.erase(m.units.begin() + at);
        for (auto& r : m.rows) r.erase(r.begin() + at);
        if (m.ranges) m.min.erase(m.min.begin() + at), m.max.erase(m.max.begin() + at);
        break;
      }
      case 3:
      case 4: {  // a row, by NewRow or made by the caller
        std::vector<float> cells(m.names.size());
        for (float& v : cells) v = pick(4) ? static_cast<float>(pick(200) - 100) / 4 : kNull;
        CRCData::SRCRow* row = pick(2) ? t.NewRow(true) : t.NewRow(false);
        if (m.names.empty()) {
          ASSERT_EQ(row, nullptr);
          break;
        }
        std::copy(cells.begin(), cells.end(), row);
        if (t.GetRowCount() == static_cast<int>(m.rows.size())) t.AddRow(row);
        m.rows.push_back(cells);
        EXPECT_TRUE(t.IsModified());
        break;
      }
      case 5:
      case 6: {
        if (m.names.empty()) break;
        const int c = pick(static_cast<int>(m.names.size()));
        const float v = static_cast<float>(pick(100));
        if (!m.ranges) m.Compute();  // the first range call computes them
        float& mmin = m.min[static_cast<size_t>(c)];
        float& mmax = m.max[static_cast<size_t>(c)];
        switch (pick(4)) {
          case 0:
            t.SetMin(c, v), mmin = v;
            break;
          case 1:
            t.SetMax(c, v), mmax = v;
            break;
          case 2:
            EXPECT_EQ(t.GetMin(c), mmin);
            break;
          default:
            EXPECT_EQ(t.GetMax(c), mmax);
            break;
        }
        break;
      }
      case 7:
        t.AutoColMMX(), m.Compute();
        break;
      case 8: {
        const std::string b = pool[pick(9)];
        CRCData::SRCCol col;
        col.SetCount(3);
        const int a = m.Find(name), bi = m.Find(b);
        const bool ok = !name.empty() && !b.empty() && a >= 0 && bi >= 0;
        ASSERT_EQ(t.GetCol(name.c_str(), b.c_str(), col), ok);
        ASSERT_EQ(col.nCount, ok ? static_cast<int>(m.rows.size()) : 0);
        for (int r = 0; r < col.nCount; ++r) {
          EXPECT_EQ(col.pX[r], m.rows[static_cast<size_t>(r)][static_cast<size_t>(a)]);
          EXPECT_EQ(col.pY[r], m.rows[static_cast<size_t>(r)][static_cast<size_t>(bi)]);
        }
        break;
      }
      case 9:  // a copy and back: nothing shared, nothing lost
        other = t;
        t.DeleteAll();
        t = other;
        other.DeleteAllRows();
        break;
      case 10:
        if (pick(8) == 0) t.DeleteAllRows(), m.rows.clear();
        if (!m.names.empty() && pick(2)) {
          const int c = pick(static_cast<int>(m.names.size()));
          t.SetColUnit(c, "m/s"), m.units[static_cast<size_t>(c)] = "m/s";
        }
        break;
      default:
        if (pick(10) == 0) t.DeleteAll(), m = Model();
        break;
    }
    ExpectSame(t, m, step);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(RCDataTest, HeadingsRangesAndCopies) {
  CRCData t;
  t.SetName("logs");
  t.SetFileType("RC");
  EXPECT_EQ(t.NewRow(false), nullptr);  // no columns, no row
  EXPECT_EQ(t.AddColName("X"), 0);
  EXPECT_EQ(t.AddColName("x"), 0);
  EXPECT_EQ(t.AddColName(nullptr), -1);
  t.SetColUnit(0, "m");
  t.AddColName("Y");
  t.NewRow(true)[0] = 5, t.NewRow(true)[0] = 3;
  EXPECT_EQ(t.GetMin(0), 3);  // computed on first use
  EXPECT_EQ(t.GetMax(0), 5);
  EXPECT_EQ(t.GetMax(1), kNull);  // null-marker cells take part
  EXPECT_TRUE(t.HasMMX());
  EXPECT_EQ(t.AddColName("Z"), 2);  // the ranges grow with the column
  EXPECT_EQ(t.GetRowAt(1)[2], kNull);
  EXPECT_EQ(t.GetMin(2), kNull);
  EXPECT_EQ(t.GetMin(3), kNull);  // outside the table: the null marker
  t.SetColName(t.GetColCount(), "A");
  EXPECT_EQ(t.GetColi("A"), -1);
  EXPECT_EQ(t.GetRowAt(2), nullptr);
  EXPECT_EQ(t.GetColName(-1), nullptr);

  CRCData& same = t;
  t = same;  // keeps everything
  t.CopyColHead(&t);
  EXPECT_EQ(t.GetColCount(), 3);
  EXPECT_EQ(t.GetRowCount(), 0);
  EXPECT_STREQ(t.GetName(), "logs");
  EXPECT_STREQ(t.GetColUnit(0), "m");
  EXPECT_FALSE(t.HasMMX());

  CRCData head;
  head.CopyColHead(&t);
  EXPECT_STREQ(head.GetName(), "logs");
  EXPECT_STREQ(head.GetFileType(), "RC");
  EXPECT_STREQ(head.GetColName(2), "Z");

  CRCData::SRCCol a;
  a.SetCount(2);
  a.pX[0] = 1, a.pY[1] = 2;
  CRCData::SRCCol b(a), c;
  c = a;
  a.pX[0] = 9;
  CRCData::SRCCol& alias = a;
  a = alias;
  EXPECT_EQ(b.pX[0], 1);
  EXPECT_EQ(c.pY[1], 2);
  EXPECT_NE(b.pX, c.pX);
  a.SetCount(-1);
  EXPECT_EQ(a.pX, nullptr);
  EXPECT_EQ(a.nCount, 0);
}

TEST(RCDataTest, RegisteredAndCarriedByTheArchiveWithoutClassData) {
  CVDisk disk;
  auto* t = static_cast<CRCData*>(disk.CreateFileA("t", "RC", "CRCData"));
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->IsKindOf("cvdfile"));
  t->AddColName("X");
  t->NewRow(true)[0] = 1;
  CMemFile mem;
  CArchive out(&mem, CArchive::store);
  ASSERT_TRUE(out << *t);
  out.Close();
  // "VDFc", key (12), "CRCData" (2 + 10), version and flags (4), name and
  // type (4 + 4), blob size, then the class data size: 0.
  const BYTE* bytes = mem.GetData();
  ASSERT_EQ(mem.GetLength(), 4u + 12 + 12 + 4 + 8 + 4 + 4 + 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes) + 18, 7), "CRCData");
  EXPECT_EQ(bytes[44] | bytes[45] | bytes[46] | bytes[47], 0);
}

}  // namespace
