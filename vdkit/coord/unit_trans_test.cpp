#include "vdkit/coord/unit_trans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
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

// Table and factor, compared exactly.
bool Same(const CUnitTrans& a, const CUnitTrans& b) {
  if (a.GetSize() != b.GetSize() || !(a.GetFactor() == b.GetFactor())) return false;
  for (int i = 0; i < a.GetSize(); ++i) {
    const CUnitTrans::SUnit *u = a.GetAt(i), *v = b.GetAt(i);
    if (u->strUnit1 != v->strUnit1 || u->strUnit2 != v->strUnit2 || !(u->dFactor == v->dFactor)) return false;
  }
  return true;
}

TEST(UnitTransTest, SeededPairBothWaysAndInAnyCase) {
  CUnitTrans mf("Meters", "Feet");
  EXPECT_EQ(mf.toUnit2(1.0), kFeet);
  EXPECT_EQ(mf.toUnit1(kFeet), 1.0);
  const char* reversed[][2] = {{"feet", "meters"}, {"FEET", "METERS"}, {"Feet", "mEtErS"}};
  for (const auto& r : reversed) {
    CUnitTrans fm(r[0], r[1]);
    EXPECT_DOUBLE_EQ(fm.toUnit2(kFeet), 1.0) << r[0];  // kFeet * (1 / kFeet), to rounding
    EXPECT_EQ(fm.GetFactor(), 1.0 / kFeet);
  }
  // Equal names, empty or missing names, unknown pairs: factor 1.
  const char* none[][2] = {{"Meters", "Meters"}, {"meters", "METERS"}, {"", "Feet"},     {"Feet", ""},
                           {"Meters", "Miles"},  {nullptr, "Feet"},    {"Feet", nullptr}};
  for (const auto& r : none) {
    mf.SetUnit("Meters", "Feet");
    mf.SetUnit(r[0], r[1]);
    EXPECT_EQ(mf.GetFactor(), 1.0);
    EXPECT_EQ(mf.toUnit2(7.25), 7.25);
  }
  EXPECT_EQ(CUnitTrans("Meters").GetFactor(), 1.0);  // one name: the constructor does not select
}

TEST(UnitTransTest, FirstRecordWinsAndRemovalAndCopiesAreTheirOwn) {
  CUnitTrans ut;
  EXPECT_EQ(ut.GetSize(), 1);
  EXPECT_TRUE(ut.AddUnit("Meters", "Feet", 3.0));
  EXPECT_TRUE(ut.AddUnit("Feet", "Inches", 12.0));
  ut.SetUnit("Meters", "Feet");
  EXPECT_EQ(ut.GetFactor(), kFeet);
  ut.SetUnit("inches", "feet");
  EXPECT_EQ(ut.toUnit2(24.0), 2.0);

  CUnitTrans copy(ut);
  EXPECT_EQ(copy.RemoveAt(3), 3);
  EXPECT_EQ(copy.RemoveAt(-1), 3);
  EXPECT_EQ(copy.RemoveAt(0), 2);
  copy.SetUnit("Meters", "Feet");
  EXPECT_EQ(copy.GetFactor(), 3.0);  // the added record now comes first
  EXPECT_EQ(ut.GetSize(), 3);        // the original kept its table
  CUnitTrans assigned;
  assigned = copy;
  EXPECT_EQ(assigned.FreeStorage(), 0);
  EXPECT_EQ(assigned.GetFactor(), 3.0);  // the factor outlives its record
  assigned.SetUnit("Meters", "Feet");
  EXPECT_TRUE(assigned.GetSize() == 0 && assigned.GetFactor() == 1.0 && copy.GetSize() == 2);
  EXPECT_TRUE(assigned.GetAt(0) == nullptr && copy.GetAt(2) == nullptr && copy.GetAt(-1) == nullptr);

  CUnitTrans seeded;
  EXPECT_EQ(seeded.RemoveAt(0), 0);
  seeded.SetUnit("Meters", "Feet");
  EXPECT_EQ(seeded.GetFactor(), 1.0);
}

TEST(UnitTransTest, FactorsThatCannotBeDividedByAreRefused) {
  CUnitTrans ut;
  for (double bad : {0.0, -0.0, double(INFINITY), -double(INFINITY), double(NAN)})
    EXPECT_FALSE(ut.AddUnit("a", "b", bad));
  EXPECT_EQ(ut.GetSize(), 1);
  ut.SetUnit("b", "a");
  EXPECT_EQ(ut.GetFactor(), 1.0);
  EXPECT_TRUE(ut.AddUnit("a", "b", -2.0));  // a reversed axis is a usable factor
  EXPECT_TRUE(ut.AddUnit(nullptr, "b", 5.0));
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
  CUnitTrans back("Meters", "Feet");
  back.FreeStorage();
  ASSERT_TRUE(Load(golden, back));
  EXPECT_TRUE(Same(back, ut));
  EXPECT_EQ(back.GetAt(1)->strUnit2, "cm");

  // After other bytes in the same stream, and followed by more.
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ar << (LONG)-1;
    ut.Serialize(ar);
    ar << (WORD)0xBEEF;
  }
  mem.SeekToBegin();
  CArchive in(&mem, CArchive::load);
  LONG lead;
  WORD tail;
  CUnitTrans again;
  in >> lead;
  ASSERT_TRUE(again.Serialize(in));
  in >> tail;
  EXPECT_TRUE(Same(again, ut) && lead == -1 && tail == 0xBEEF);
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
    EXPECT_TRUE(Same(ut, model)) << len;
  }
  for (size_t at = 0; at < golden.size(); ++at) {
    for (BYTE v : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
      std::vector<BYTE> bytes(golden);
      bytes[at] = v;
      CUnitTrans ut(model);
      if (!Load(bytes, ut)) {
        EXPECT_TRUE(Same(ut, model));
        continue;
      }
      EXPECT_TRUE(std::isfinite(ut.GetFactor()) && ut.GetFactor() != 0);
      for (int i = 0; i < ut.GetSize(); ++i)
        EXPECT_TRUE(std::isfinite(ut.GetAt(i)->dFactor) && ut.GetAt(i)->dFactor);
    }
  }
  // Counts far beyond the stream: 0xFFFE records, 2^31 - 1 (the 32-bit form), 2^32 - 1.
  const std::vector<std::vector<BYTE>> huge = {{0xFE, 0xFF, 0x00, 0x00},
                                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 'a'},
                                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  for (const auto& bytes : huge) {
    CUnitTrans ut(model);
    EXPECT_FALSE(Load(bytes, ut));
    EXPECT_TRUE(Same(ut, model));
  }
  // A zero factor in a record or as the current factor is refused.
  std::vector<BYTE> zero(golden);
  std::fill(zero.begin() + 27, zero.begin() + 35, 0);  // 100.0 at bytes 27..34 -> 0.0
  CUnitTrans ut(model);
  EXPECT_FALSE(Load(zero, ut));
  std::vector<BYTE> zeroFactor(golden);
  std::fill(zeroFactor.end() - 8, zeroFactor.end(), 0);
  EXPECT_FALSE(Load(zeroFactor, ut));
  EXPECT_TRUE(Same(ut, model));
}

// Random tables with awkward names (empty, 254/255 and 300 bytes long, every
// byte value) come back exactly, and copies convert as their originals.
TEST(UnitTransTest, RandomTablesRoundTrip) {
  std::mt19937 rng(8);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 6);
  const int lengths[] = {0, 1, 7, 254, 255, 300};
  for (int round = 0; round < 40; ++round) {
    CUnitTrans ut;
    const int n = round % 13;
    for (int i = 0; i < n; ++i) {
      std::string a(lengths[len(rng) % 6], 'x'), b(lengths[len(rng) % 6], 'y');
      for (char& c : a) c = char(byte(rng) | 1);  // no NUL inside: a CString from char* stops there
      for (char& c : b) c = char(byte(rng) | 1);
      const double f = std::ldexp(1.0 + byte(rng) / 256.0, byte(rng) - 128) * (byte(rng) & 1 ? -1 : 1);
      ASSERT_TRUE(ut.AddUnit(a.c_str(), b.c_str(), f));
    }
    if (n) ut.SetUnit(ut.GetAt(n)->strUnit2, ut.GetAt(n)->strUnit1);
    CUnitTrans back;
    ASSERT_TRUE(Load(Store(ut), back));
    EXPECT_TRUE(Same(back, ut)) << round;
    const CUnitTrans copy = back;
    EXPECT_EQ(copy.toUnit1(ut.toUnit2(1.5)), ut.toUnit1(ut.toUnit2(1.5)));
  }
}

}  // namespace
