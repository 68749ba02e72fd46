// CMapStringToPtrEx against std::unordered_map<std::string, void*> with the
// same case-insensitive hash and equality, both sized for the key count.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "bench/no_case_key.h"
#include "vdkit/core/hash_map.h"

namespace {

using StdMap = std::unordered_map<std::string, void*, NoCaseHash, NoCaseEqual>;

std::vector<std::string> MakeKeys(size_t n) {
  std::vector<std::string> keys;
  keys.reserve(n);
  for (size_t i = 0; i < n; ++i) keys.push_back("Field_" + std::to_string(i * 2654435761u % 1000003u) + "_x" + std::to_string(i));
  return keys;
}

const std::vector<std::string>& Keys(size_t n) {
  static std::vector<std::string> small = MakeKeys(10000), large = MakeKeys(1000000);
  return n == 10000 ? small : large;
}

void BM_StringMap_Insert(benchmark::State& state) {
  const auto& keys = Keys(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    CMapStringToPtrEx m(64);
    m.InitHashTable(static_cast<UINT>(keys.size()));
    for (const auto& k : keys) m.SetAt(k.c_str(), nullptr);
    benchmark::DoNotOptimize(m.GetCount());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

void BM_StdUnorderedMap_Insert(benchmark::State& state) {
  const auto& keys = Keys(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    StdMap m;
    m.reserve(keys.size());
    for (const auto& k : keys) m.emplace(k, nullptr);
    benchmark::DoNotOptimize(m.size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

void BM_StringMap_Lookup(benchmark::State& state) {
  const auto& keys = Keys(static_cast<size_t>(state.range(0)));
  CMapStringToPtrEx m(64);
  m.InitHashTable(static_cast<UINT>(keys.size()));
  for (const auto& k : keys) m.SetAt(k.c_str(), nullptr);
  for (auto _ : state) {
    size_t found = 0;
    for (const auto& k : keys) found += m.Lookup(k.c_str()) ? 1 : 0;
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

void BM_StdUnorderedMap_Lookup(benchmark::State& state) {
  const auto& keys = Keys(static_cast<size_t>(state.range(0)));
  StdMap m;
  m.reserve(keys.size());
  for (const auto& k : keys) m.emplace(k, nullptr);
  for (auto _ : state) {
    size_t found = 0;
    for (const auto& k : keys) found += m.count(k);
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(keys.size()));
}

BENCHMARK(BM_StringMap_Insert)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdUnorderedMap_Insert)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringMap_Lookup)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdUnorderedMap_Lookup)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
