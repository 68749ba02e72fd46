// CVdbTable::SortByDate, which gives exactly the order of the table's
// exchange sort, against std::stable_sort of the same keys, on 10,000 to
// 1,000,000 records with random dates of which a tenth equal another. The
// literal exchange sort runs at 10,000 only: it grows with the square.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "vdkit/vdb/table.h"

namespace {

std::vector<SDateTime> Dates(size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::vector<SDateTime> d(n);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && rng() % 10 == 0) {
      d[i] = d[rng() % i];  // a tenth repeat an earlier date
    } else {
      d[i] = SDateTime{(rng() % 24) / 24.0f,
                       {static_cast<BYTE>(1 + rng() % 28), static_cast<BYTE>(1 + rng() % 12),
                        static_cast<WORD>(1900 + rng() % 200)}};
    }
  }
  return d;
}

uint64_t Key(const SDateTime& d) {
  DWORD frac;
  std::memcpy(&frac, &d.fraction, 4);
  DWORD date;
  std::memcpy(&date, &d.date, 4);
  return uint64_t{date ^ 0x80000000u} << 32 | frac;
}

void BM_SortByDate_Table(benchmark::State& state) {
  const auto dates = Dates(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto t = std::make_unique<CVdbTable>();
    t->AddField("DATE", VDB_DATE, 1);
    t->AddField("V", VDB_FLOAT, 1);
    for (const SDateTime& d : dates) {
      t->AddNew();
      t->ValueDate(0) = d;
    }
    state.ResumeTiming();
    t->SortByDate();
    benchmark::DoNotOptimize(t->GetRecordAt(0));
    state.PauseTiming();
    t.reset();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SortByDate_Table)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_SortByDate_StdStableSort(benchmark::State& state) {
  const auto dates = Dates(static_cast<size_t>(state.range(0)));
  std::vector<uint64_t> keys;
  for (const SDateTime& d : dates) keys.push_back(Key(d));
  for (auto _ : state) {
    std::vector<uint64_t> k = keys;
    std::stable_sort(k.begin(), k.end());
    benchmark::DoNotOptimize(k.data());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SortByDate_StdStableSort)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_SortByDate_LiteralExchange(benchmark::State& state) {
  const auto dates = Dates(static_cast<size_t>(state.range(0)));
  std::vector<uint64_t> keys;
  for (const SDateTime& d : dates) keys.push_back(Key(d));
  for (auto _ : state) {
    std::vector<uint64_t> a = keys;
    for (size_t i = 0; i < a.size(); ++i)
      for (size_t j = i + 1; j < a.size(); ++j)
        if (a[j] < a[i]) std::swap(a[i], a[j]);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_SortByDate_LiteralExchange)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
