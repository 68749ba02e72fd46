// CPtrBox and CDoubleArray against std::vector on the same work, and the
// padded string against the framework archive's string form over CMemFile.
// CPtrBox keeps its framework growth steps (size/8, at most 1024 slots), so
// long runs of Add grow far more often than a doubling vector.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "vdkit/core/arrays.h"
#include "vdkit/core/padded_string.h"
#include "vdkit/platform/archive.h"

namespace {

void BM_PtrBox_Add(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CPtrBox box;
    for (int i = 0; i < n; ++i) box.Add(static_cast<void*>(&box));
    benchmark::DoNotOptimize(box.GetData());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PtrBox_Add)->RangeMultiplier(16)->Range(16, 1 << 20);

void BM_StdVector_Add(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<void*> v;
    for (int i = 0; i < n; ++i) v.push_back(&v);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdVector_Add)->RangeMultiplier(16)->Range(16, 1 << 20);

void BM_PtrBox_InsertFront(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CPtrBox box;
    for (int i = 0; i < n; ++i) box.InsertAt(0, static_cast<void*>(&box));  // not the box overload
    benchmark::DoNotOptimize(box.GetData());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PtrBox_InsertFront)->RangeMultiplier(8)->Range(64, 4096);

void BM_StdVector_InsertFront(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<void*> v;
    for (int i = 0; i < n; ++i) v.insert(v.begin(), &v);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdVector_InsertFront)->RangeMultiplier(8)->Range(64, 4096);

void BM_DoubleArray_Add(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CDoubleArray a;
    for (int i = 0; i < n; ++i) a.Add(i * 0.5);
    benchmark::DoNotOptimize(a.GetPtr());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_DoubleArray_Add)->RangeMultiplier(16)->Range(16, 1 << 16);

void BM_StdVectorDouble_Add(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i) v.push_back(i * 0.5);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdVectorDouble_Add)->RangeMultiplier(16)->Range(16, 1 << 16);

std::vector<std::string> Texts(int n) {
  std::vector<std::string> texts;
  for (int i = 0; i < n; ++i)
    texts.push_back("Field_" + std::to_string(i * 7919 % 100003) + std::string(i % 23, 'x'));
  return texts;
}

void BM_PaddedString_WriteRead(benchmark::State& state) {
  const std::vector<std::string> texts = Texts(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CMemFile f;
    for (const std::string& t : texts) WritePaddedString(f, t.c_str());
    f.SeekToBegin();
    CString s;
    while (ReadPaddedString(f, s) && !s.IsEmpty()) benchmark::DoNotOptimize(s.GetString());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PaddedString_WriteRead)->Arg(1000)->Arg(100000);

void BM_ArchiveString_WriteRead(benchmark::State& state) {
  const std::vector<std::string> texts = Texts(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CMemFile f;
    {
      CArchive ar(&f, CArchive::store);
      for (const std::string& t : texts) ar << CString(t);
      ar.Close();
    }
    f.SeekToBegin();
    CArchive ar(&f, CArchive::load);
    CString s;
    for (size_t i = 0; i < texts.size(); ++i) {
      ar >> s;
      benchmark::DoNotOptimize(s.GetString());
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ArchiveString_WriteRead)->Arg(1000)->Arg(100000);

}  // namespace
BENCHMARK_MAIN();
