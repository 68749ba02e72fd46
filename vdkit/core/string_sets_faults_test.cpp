// Key-string files over files whose operations fail one at a time: a failed
// save keeps the old file and the set; a failed read reports it and keeps
// the items read before.
#include <gtest/gtest.h>

#include <string>

#include "vdkit/core/string_sets.h"
#include "vdkit/platform/fault_test_util.h"

namespace {

TEST(KeyStringFileFaultsTest, SavesAndReadsFailedAnywhere) {
  CKeyStringArraySet set;
  for (int i = 0; i < 16; ++i) {
    const std::string key = "well " + std::to_string(i);
    set.Add(key.c_str(), nullptr);  // a key without values, then i values
    for (int k = 0; k < i % 4; ++k) set.Add(key.c_str(), ("2004-03-0" + std::to_string(k + 1)).c_str());
  }
  vdtest::ExpectFormSurvivesFaults<CKeyStringArraySet>(
      "wells.vks", set,
      {[](CKeyStringArraySet& s, CFile& f) { return s.Read(f); },
       [](CKeyStringArraySet& s, CFile& f) { s.Write(f); }, nullptr});
}

}  // namespace
