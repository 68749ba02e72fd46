#include "vdkit/dataobj/rc_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vdkit/vdb/field_value.h"

namespace {

constexpr float kNull = VDB_NULL_FLOAT;

// The table as plain vectors: headings, rows of cells, the range cache.
struct Model {
  std::vector<std::string> names, units;
  std::vector<std::vector<float>> rows;
  bool ranges = false;
  std::vector<float> min, max;

  int Find(const std::string& name) const {
    for (size_t i = 0; i < names.size(); ++i)
      if (!name.empty() && strcasecmp(names[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
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
  std::string Describe() const {
    std::ostringstream out;
    for (size_t c = 0; c < names.size(); ++c) out << names[c] << "[" << units[c] << "] ";
    for (const auto& r : rows)
      for (size_t c = 0; c < r.size(); ++c) out << r[c] << (c + 1 == r.size() ? ";" : ",");
    for (size_t c = 0; ranges && c < names.size(); ++c) out << " " << min[c] << ".." << max[c];
    return out.str();
  }
};

std::string Describe(CRCData& t) {
  std::ostringstream out;
  for (int c = 0; c < t.GetColCount(); ++c) out << t.GetColName(c) << "[" << t.GetColUnit(c) << "] ";
  for (int r = 0; r < t.GetRowCount(); ++r)
    for (int c = 0; c < t.GetColCount(); ++c)
      out << t.GetRowAt(r)[c] << (c + 1 == t.GetColCount() ? ";" : ",");
  for (int c = 0; t.HasMMX() && c < t.GetColCount(); ++c) out << " " << t.GetMin(c) << ".." << t.GetMax(c);
  return out.str();
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
    const int at = m.Find(name);
    const int c = m.names.empty() ? -1 : pick(static_cast<int>(m.names.size()));
    const float v = static_cast<float>(pick(200) - 100) / 4;
    switch (pick(11)) {
      case 0:
      case 1:
        ASSERT_EQ(t.AddColName(name.c_str()), name.empty() ? -1
                                              : at >= 0    ? at
                                                           : static_cast<int>(m.names.size()));
        if (name.empty() || at >= 0) break;
        m.names.push_back(name), m.units.push_back("");
        for (auto& r : m.rows) r.push_back(kNull);
        if (m.ranges) m.min.push_back(kNull), m.max.push_back(kNull);
        break;
      case 2:
        ASSERT_EQ(t.RemoveCol(name.c_str()), at >= 0);
        if (at < 0) break;
        m.names.erase(m.names.begin() + at), m.units.erase(m.units.begin() + at);
        for (auto& r : m.rows) r.erase(r.begin() + at);
        if (m.ranges) m.min.erase(m.min.begin() + at), m.max.erase(m.max.begin() + at);
        break;
      case 3:
      case 4: {  // a row by NewRow, or made by the caller and added
        CRCData::SRCRow* row = t.NewRow(pick(2) == 0);
        ASSERT_EQ(row == nullptr, m.names.empty());
        if (!row) break;
        m.rows.emplace_back();
        for (int i = 0; i < t.GetColCount(); ++i) m.rows.back().push_back(row[i] = pick(4) ? v + i : kNull);
        if (t.GetRowCount() < static_cast<int>(m.rows.size())) t.AddRow(row);
        break;
      }
      case 5:  // the first range call computes the ranges
        if (c < 0) break;
        if (!m.ranges) m.Compute();
        if (pick(2))
          t.SetMin(c, v), m.min[static_cast<size_t>(c)] = v;
        else
          t.SetMax(c, v), m.max[static_cast<size_t>(c)] = v;
        break;
      case 6:
        t.AutoColMMX(), m.Compute();
        break;
      case 7: {
        const std::string b = pool[pick(9)];
        CRCData::SRCCol col;
        col.SetCount(3);
        const bool ok = at >= 0 && m.Find(b) >= 0;
        ASSERT_EQ(t.GetCol(name.c_str(), b.c_str(), col), ok);
        ASSERT_EQ(col.nCount, ok ? static_cast<int>(m.rows.size()) : 0);
        for (int r = 0; r < col.nCount; ++r)
          ASSERT_TRUE(col.pX[r] == m.rows[r][at] && col.pY[r] == m.rows[r][m.Find(b)]);
        break;
      }
      case 8:  // a copy and back: nothing shared, nothing lost
        other = t, t.DeleteAll(), t = other, other.DeleteAllRows();
        break;
      case 9:
        if (c >= 0) t.SetColUnit(c, "m/s"), m.units[static_cast<size_t>(c)] = "m/s";
        if (pick(8) == 0) t.DeleteAllRows(), m.rows.clear();
        break;
      default:
        if (pick(10) == 0) t.DeleteAll(), m = Model();
        break;
    }
    ASSERT_EQ(Describe(t), m.Describe()) << step;
  }
}

TEST(RCDataTest, HeadingsRangesAndCopies) {
  CVDisk disk;  // registered under its class name
  CRCData& t = *static_cast<CRCData*>(disk.CreateFileA("logs", "RC", "CRCData"));
  ASSERT_TRUE(t.IsKindOf("CVDFile"));
  EXPECT_TRUE(t.AddColName(nullptr) == -1 && t.AddColName("X") == 0 && t.AddColName("Y") == 1);
  t.SetColUnit(0, "m");
  t.NewRow(true)[0] = 5, t.NewRow(true)[0] = 3;
  EXPECT_TRUE(t.IsModified() && t.GetMin(0) == 3 && t.HasMMX());
  EXPECT_EQ(t.AddColName("Z"), 2);  // the ranges grow with the column
  // Outside the table: null or the null marker; setters change nothing.
  EXPECT_TRUE(t.GetMin(3) == kNull && t.GetMax(-1) == kNull && !t.GetRowAt(2) && !t.GetColName(-1) &&
              !t.GetColUnit(3));
  t.SetColName(t.GetColCount(), "A"), t.SetColUnit(-1, "A"), t.SetMin(3, 1), t.SetMax(-1, 1);

  CRCData& same = t;
  t = same;  // keeps everything
  EXPECT_EQ(Describe(t),
            "X[m] Y[] Z[] 5,9.999e-30,9.999e-30;3,9.999e-30,9.999e-30; 3..5 "
            "9.999e-30..9.999e-30 9.999e-30..9.999e-30");
  t.CopyColHead(&t);  // keeps the headings
  EXPECT_EQ(Describe(t), "X[m] Y[] Z[] ");
  EXPECT_FALSE(t.IsModified());
  CRCData head;
  head.CopyColHead(&t);
  EXPECT_TRUE(std::string(head.GetName()) == "logs" && std::string(head.GetFileType()) == "RC");
  EXPECT_EQ(Describe(head), "X[m] Y[] Z[] ");

  CRCData::SRCCol a;
  a.SetCount(2);
  a.pX[0] = 1, a.pY[1] = 2;
  CRCData::SRCCol b(a), c;
  c = a;
  a.pX[0] = 9;
  CRCData::SRCCol& alias = a;
  a = alias;
  EXPECT_TRUE(b.pX[0] == 1 && c.pY[1] == 2 && b.pX != c.pX && a.pX[0] == 9);
  a.SetCount(-1);
  EXPECT_TRUE(a.pX == nullptr && a.nCount == 0);
}

}  // namespace
