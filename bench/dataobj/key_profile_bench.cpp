// CKeyProfile against std::unordered_map with the same case-insensitive hash
// (MapHashKey) and equality: setting and getting integer entries, 10,000 and
// 1,000,000 of them, spread over 1,000 sections. The peer files each entry
// as the profile does, under the composite key "<section number>@<key>",
// with the section numbers in a second map.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/no_case_key.h"
#include "vdkit/core/hash_map.h"
#include "vdkit/dataobj/key_profile.h"

namespace {

// The profile on standard containers, written for speed: the section
// looked up before it is added, the composite key built in a reused buffer.
class StdProfile {
 public:
  void SetKeyInt(const char* section, const char* key, int value) { m_entries[Key(section, key)] = value; }
  int GetKeyInt(const char* section, const char* key, int dflt) {
    auto e = m_entries.find(Key(section, key));
    return e == m_entries.end() ? dflt : e->second;
  }

 private:
  const std::string& Key(const char* section, const char* key) {
    m_key.assign(section);
    auto s = m_sections.find(m_key);
    if (s == m_sections.end()) s = m_sections.emplace(m_key, static_cast<int>(m_sections.size()) + 1).first;
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d@", s->second);
    m_key.assign(digits, static_cast<size_t>(n));
    m_key += key;
    return m_key;
  }

  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> m_sections;
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> m_entries;
  std::string m_key;
};

struct Keys {
  std::vector<std::string> sections, keys;
};

const Keys& MakeKeys(size_t n) {
  static Keys small, large;
  Keys& k = n <= 10000 ? small : large;
  if (k.keys.empty()) {
    for (size_t i = 0; i < n; ++i) {
      k.sections.push_back("Section_" + std::to_string(i % 1000));
      k.keys.push_back("Key_" + std::to_string(i * 2654435761u % 1000003u) + "_" + std::to_string(i / 1000));
    }
  }
  return k;
}

template <class Profile>
void Fill(Profile& p, const Keys& k) {
  for (size_t i = 0; i < k.keys.size(); ++i)
    p.SetKeyInt(k.sections[i].c_str(), k.keys[i].c_str(), static_cast<int>(i));
}

template <class Profile>
void BM_Set(benchmark::State& state) {
  const Keys& k = MakeKeys(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    Profile p;
    Fill(p, k);
    benchmark::DoNotOptimize(&p);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(k.keys.size()));
}

template <class Profile>
void BM_Get(benchmark::State& state) {
  const Keys& k = MakeKeys(static_cast<size_t>(state.range(0)));
  Profile p;
  Fill(p, k);
  for (auto _ : state) {
    uint64_t sum = 0;
    for (size_t i = 0; i < k.keys.size(); ++i)
      sum += static_cast<UINT>(p.GetKeyInt(k.sections[i].c_str(), k.keys[i].c_str(), 0));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(k.keys.size()));
}

void BM_KeyProfile_Set(benchmark::State& state) {
  BM_Set<CKeyProfile>(state);
}
void BM_StdUnorderedMap_Set(benchmark::State& state) {
  BM_Set<StdProfile>(state);
}
void BM_KeyProfile_Get(benchmark::State& state) {
  BM_Get<CKeyProfile>(state);
}
void BM_StdUnorderedMap_Get(benchmark::State& state) {
  BM_Get<StdProfile>(state);
}

BENCHMARK(BM_KeyProfile_Set)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdUnorderedMap_Set)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyProfile_Get)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdUnorderedMap_Get)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
