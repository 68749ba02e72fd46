#include "vdkit/coord/unit_trans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const double kFeet = 3.280839895013123;

std::vector<BYTE> Store(CUnitTrans& ut) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  EXPECT_TRUE(ut.Serialize(ar));
  ar.Close();
  return std::vector<BYTE>(mem.GetData(), mem.GetData() + mem.GetLength());
}

bool Load(const std::vector<BYTE>& bytes, CUnitTrans& ut) {
  std::vector<BYTE> copy(bytes);
  CMemFile mem(copy.data(), static_cast<UINT>(copy.size()));
  CArchive ar(&mem, CArchive::load);
  return ut.Serialize(ar);
}

TEST(UnitTransTest, SeededPairFirstMatchAndCaseBlindNames) {
  // Names ignore case; equal, empty or missing names and unknown pairs give 1 (power 0 of kFeet).
  const struct {
    const char *from, *to;
    int power;
  } pairs[] = {{"Meters", "Feet", 1},  {"feet", "meters", -1},  {"FEET", "METERS", -1},
               {"Feet", "mEtErS", -1}, {"Meters", "Meters", 0}, {"meters", "METERS", 0},
               {"", "Feet", 0},        {"Feet", "", 0},         {"Meters", "Miles", 0},
               {nullptr, "Feet", 0},   {"Feet", nullptr, 0}};
  for (const auto& r : pairs) {
    CUnitTrans mf("Meters", "Feet");
    mf.SetUnit(r.from, r.to);
    const double factor = r.power ? r.power > 0 ? kFeet : 1 / kFeet : 1;
    EXPECT_TRUE(mf.GetFactor() == factor && CUnitTrans(r.from, r.to).GetFactor() == factor) << &r - pairs;
  }
  EXPECT_EQ(CUnitTrans("Meters").GetFactor(), 1.0);  // one name: the constructor does not select

  // The first record naming a pair, either way, wins.
  CUnitTrans ut;
  EXPECT_TRUE(ut.AddUnit("Meters", "Feet", 3.0) && ut.AddUnit("Feet", "Inches", 12.0));
  ut.SetUnit("Meters", "Feet");
  EXPECT_EQ(ut.GetFactor(), kFeet);
  ut.SetUnit("inches", "feet");
  EXPECT_EQ(ut.toUnit2(24.0), 2.0);
  // Other indices remove nothing; copies are deep; the factor outlives its record.
  CUnitTrans copy(ut);
  EXPECT_TRUE(copy.RemoveAt(3) == 3 && copy.RemoveAt(-1) == 3 && copy == ut && copy.RemoveAt(0) == 2);
  copy.SetUnit("Meters", "Feet");
  EXPECT_TRUE(copy.GetFactor() == 3.0 && ut.GetSize() == 3 && !ut.GetAt(3) && !ut.GetAt(-1));
  EXPECT_TRUE(copy.FreeStorage() == 0 && copy.GetFactor() == 3.0 && !copy.GetAt(0));
  copy.SetUnit("Meters", "Feet");
  EXPECT_EQ(copy.GetFactor(), 1.0);
  // Factors that cannot be divided by are refused; a reversed axis (-2) is not.
  for (double bad : {0.0, -0.0, double(INFINITY), -double(INFINITY), double(NAN)})
    EXPECT_FALSE(ut.AddUnit("a", "b", bad));
  EXPECT_TRUE(ut.GetSize() == 3 && ut.AddUnit("a", "b", -2.0) && ut.AddUnit(nullptr, "b", 5.0));
  ut.SetUnit("b", "a");
  EXPECT_EQ(ut.toUnit2(1.0), -0.5);
}

// The seeded table with an added pair and the factor cm -> m, worked out from
// the layout: count, then per record two CStrings and a double, then the factor.
const BYTE kGolden[] = {
    0x02, 0x00,                                      // count 2
    0x06, 'M',  'e',  't',  'e',  'r',  's',         // "Meters"
    0x04, 'F',  'e',  'e',  't',                     // "Feet"
    0x8F, 0xF2, 0xA3, 0xFC, 0x28, 0x3F, 0x0A, 0x40,  // 3.280839895013123
    0x01, 'm',                                       // "m"
    0x02, 'c',  'm',                                 // "cm"
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59, 0x40,  // 100.0
    0x7B, 0x14, 0xAE, 0x47, 0xE1, 0x7A, 0x84, 0x3F,  // 0.01, the factor cm -> m
};

TEST(UnitTransTest, BinaryFormGoldenBytes) {
  CUnitTrans ut;
  ut.AddUnit("m", "cm", 100.0);
  ut.SetUnit("cm", "m");
  const std::vector<BYTE> golden(kGolden, kGolden + sizeof kGolden);
  EXPECT_EQ(Store(ut), golden);
  CUnitTrans fresh;  // the seeded table alone: the same records less the second, then 1.0
  std::vector<BYTE> seeded(kGolden, kGolden + 22);
  seeded[0] = 1;
  seeded.insert(seeded.end(), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F});
  EXPECT_EQ(Store(fresh), seeded);
  // Read back after other bytes in the stream and followed by more: exactly its own bytes are taken.
  std::vector<BYTE> framed = {0xAA};
  framed.insert(framed.end(), golden.begin(), golden.end());
  framed.push_back(0xBB);
  CMemFile mem(framed.data(), static_cast<UINT>(framed.size()));
  CArchive in(&mem, CArchive::load);
  BYTE lead, tail;
  CUnitTrans back;
  in >> lead;
  ASSERT_TRUE(back.Serialize(in));
  in >> tail;
  EXPECT_TRUE(back == ut && back.GetAt(1)->strUnit2 == "cm" && lead == 0xAA && tail == 0xBB);
}

// Every cut of the golden form fails and leaves the object as it was; flipped
// bytes never crash and never let a zero or non-finite factor in.
TEST(UnitTransTest, DamagedFormsFailCleanly) {
  CUnitTrans model("Feet", "Meters");
  model.AddUnit("yd", "ft", 3.0);
  const std::vector<BYTE> golden(kGolden, kGolden + sizeof kGolden);
  for (size_t len = 0; len < golden.size(); ++len) {
    CUnitTrans ut(model);
    EXPECT_FALSE(Load(std::vector<BYTE>(golden.begin(), golden.begin() + len), ut)) << len;
    EXPECT_TRUE(ut == model) << len;
  }
  for (size_t at = 0; at < golden.size(); ++at) {
    for (BYTE v : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
      std::vector<BYTE> bytes(golden);
      bytes[at] = v;
      CUnitTrans ut(model);
      const bool read = Load(bytes, ut);
      EXPECT_TRUE(read || ut == model);
      for (int i = -1; read && i < ut.GetSize(); ++i) {
        const double f = i < 0 ? ut.GetFactor() : ut.GetAt(i)->dFactor;
        EXPECT_TRUE(std::isfinite(f) && f != 0) << at << " " << int(v);
      }
    }
  }
  // Counts far beyond the stream (0xFFFE; 2^31 - 1 and 2^32 - 1 in the 32-bit
  // form), and zero factors (100.0 at bytes 27..34, the current factor last).
  std::vector<std::vector<BYTE>> bad = {{0xFE, 0xFF, 0x00, 0x00},
                                        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 'a'},
                                        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                        golden,
                                        golden};
  std::fill(bad[3].begin() + 27, bad[3].begin() + 35, 0);
  std::fill(bad[4].end() - 8, bad[4].end(), 0);
  for (const auto& bytes : bad) {
    CUnitTrans ut(model);
    EXPECT_FALSE(Load(bytes, ut));
    EXPECT_TRUE(ut == model);
  }
}

}  // namespace
