// Unit tables in a binary archive over files whose operations fail one at a
// time: a failed save keeps the old file and the table, a failed load
// reports it and leaves the table as it was or as stored, never between.
#include <gtest/gtest.h>

#include <string>

#include "vdkit/coord/unit_trans.h"
#include "vdkit/platform/fault_test_util.h"

namespace {

// Other data before and after the table, as a caller's own archive holds it.
constexpr DWORD kBefore = 0x54494E55;
const char kAfter[] = "end of units";

TEST(UnitTransFaultsTest, TableInTheBinaryArchive) {
  CUnitTrans units("Meters", "Feet");
  for (int i = 0; i < 40; ++i) {
    // Names past 255 characters take the longer length form.
    const std::string name = "unit " + std::to_string(i) + std::string(i == 7 ? 300 : i, 'u');
    ASSERT_TRUE(units.AddUnit(name.c_str(), "Meters", 0.25 * (i + 1)));
  }
  const CUnitTrans fresh;
  vdtest::ExpectFormSurvivesFaults<CUnitTrans>(
      "units.bin", units,
      {[](CUnitTrans& u, CFile& f) {
         CArchive ar(&f, CArchive::load, 16);
         DWORD before = 0;
         CString after;
         ar >> before;
         const bool ok = u.Serialize(ar);
         ar >> after;
         ar.Close();
         return ok && before == kBefore && after == kAfter;
       },
       [](CUnitTrans& u, CFile& f) {
         CArchive ar(&f, CArchive::store, 16);
         ar << kBefore;
         u.Serialize(ar);
         ar << CString(kAfter);
         ar.Close();
       },
       nullptr, [&](CUnitTrans& u, const vdtest::FaultRun&) { EXPECT_TRUE(u == fresh || u == units); }});
}

}  // namespace
