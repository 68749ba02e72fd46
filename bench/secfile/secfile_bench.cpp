// A section file of 832 tables of 1 MB against the same tables as 832
// separate files. Writing: one section file (built beside its name, synced
// and renamed at Close) against 832 files saved the same safe way
// (CSafeFile) and 832 files written in place (CFile, no sync). Looking up:
// every table found by name and its first 64 bytes read, in a shuffled
// order, through one open section file, through a fresh Open per table, and
// by opening each separate file. The counter bytes_per_lookup is what the
// process read (rchar of /proc/self/io) divided by the lookups.
//
// The files live in $TMPDIR (default /tmp) and take 1.7 GB; they are made
// once, before the lookups, and removed at exit. Lookups run against the
// page cache: the files were just written.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "vdkit/platform/safe_file.h"
#include "vdkit/secfile/sec_file.h"

namespace {

constexpr int kTables = kSecMaxTables;
constexpr UINT kTableBytes = 1 << 20;
constexpr UINT kHeadBytes = 64;

std::string Dir() {
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base ? base : "/tmp") + "/vdkit_secbench_XXXXXX";
    if (!::mkdtemp(templ.data())) std::abort();
    return templ;
  }();
  return dir;
}

std::string TableName(int i) {
  return "Table_" + std::to_string(i);
}

const std::vector<BYTE>& TableBytes() {
  static const std::vector<BYTE> bytes = [] {
    std::vector<BYTE> b(kTableBytes);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<BYTE>(i * 31 + 7);
    return b;
  }();
  return bytes;
}

void WriteSection(const std::string& path) {
  CSecFile f;
  if (!f.Open(path.c_str(), secOpenCreate)) std::abort();
  for (int i = 0; i < kTables; ++i) {
    f.AddTableInfo(TableName(i).c_str(), 0, 0);
    f.Write(TableBytes().data(), kTableBytes);
  }
  f.Close();
}

template <class File>
void WriteSeparate(const std::string& dir) {
  ::mkdir(dir.c_str(), 0777);
  for (int i = 0; i < kTables; ++i) {
    File f;
    if (!f.Open((dir + "/" + TableName(i)).c_str(), CFile::modeCreate | CFile::modeWrite)) std::abort();
    f.Write(TableBytes().data(), kTableBytes);
    f.Close();
  }
}

void RemoveSeparate(const std::string& dir) {
  for (int i = 0; i < kTables; ++i) std::remove((dir + "/" + TableName(i)).c_str());
  ::rmdir(dir.c_str());
}

// The lookup data, made once and removed at exit.
struct LookupData {
  LookupData() {
    WriteSection(Section());
    WriteSeparate<CFile>(Separate());
  }
  ~LookupData() {
    std::remove(Section().c_str());
    RemoveSeparate(Separate());
    ::rmdir(Dir().c_str());
  }
  static std::string Section() { return Dir() + "/tables.sec"; }
  static std::string Separate() { return Dir() + "/tables"; }
};
const LookupData& Data() {
  static LookupData data;
  return data;
}

std::vector<std::string> ShuffledNames() {
  std::vector<std::string> names;
  for (int i = 0; i < kTables; ++i) names.push_back(TableName(i));
  std::shuffle(names.begin(), names.end(), std::mt19937(42));
  return names;
}

unsigned long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  unsigned long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

void Check(const BYTE* head) {
  if (head[1] != TableBytes()[1] || head[kHeadBytes - 1] != TableBytes()[kHeadBytes - 1]) std::abort();
}

// ---- Writing --------------------------------------------------------------------------------
void BM_Write_SectionFile(benchmark::State& state) {
  const std::string path = Dir() + "/write.sec";
  for (auto _ : state) WriteSection(path);
  std::remove(path.c_str());
  state.SetBytesProcessed(state.iterations() * int64_t{kTables} * kTableBytes);
}
BENCHMARK(BM_Write_SectionFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Write_SeparateSafeFiles(benchmark::State& state) {
  const std::string dir = Dir() + "/write_safe";
  for (auto _ : state) WriteSeparate<CSafeFile>(dir);
  RemoveSeparate(dir);
  state.SetBytesProcessed(state.iterations() * int64_t{kTables} * kTableBytes);
}
BENCHMARK(BM_Write_SeparateSafeFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Write_SeparatePlainFiles(benchmark::State& state) {
  const std::string dir = Dir() + "/write_plain";
  for (auto _ : state) WriteSeparate<CFile>(dir);
  RemoveSeparate(dir);
  state.SetBytesProcessed(state.iterations() * int64_t{kTables} * kTableBytes);
}
BENCHMARK(BM_Write_SeparatePlainFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// ---- Looking up ---------------------------------------------------------------------------
// One open section file, every table by name.
void BM_Lookup_SectionFile(benchmark::State& state) {
  Data();
  const std::vector<std::string> names = ShuffledNames();
  BYTE head[kHeadBytes];
  const unsigned long long before = BytesRead();
  for (auto _ : state) {
    CSecFile f;
    if (!f.Open(LookupData::Section().c_str(), secOpenRead)) std::abort();
    for (const std::string& name : names) {
      if (!f.SeekToTableData(name.c_str(), nullptr) || f.Read(head, kHeadBytes) != kHeadBytes) std::abort();
      Check(head);
    }
  }
  const double lookups = static_cast<double>(state.iterations()) * kTables;
  state.counters["bytes_per_lookup"] = static_cast<double>(BytesRead() - before) / lookups;
  state.SetItemsProcessed(state.iterations() * kTables);
}
BENCHMARK(BM_Lookup_SectionFile)->Unit(benchmark::kMicrosecond);

// The section file opened afresh for every table.
void BM_Lookup_SectionFileOpenEach(benchmark::State& state) {
  Data();
  const std::vector<std::string> names = ShuffledNames();
  BYTE head[kHeadBytes];
  const unsigned long long before = BytesRead();
  for (auto _ : state) {
    for (const std::string& name : names) {
      CSecFile f;
      if (!f.Open(LookupData::Section().c_str(), secOpenRead) || !f.SeekToTableData(name.c_str(), nullptr) ||
          f.Read(head, kHeadBytes) != kHeadBytes)
        std::abort();
      Check(head);
    }
  }
  const double lookups = static_cast<double>(state.iterations()) * kTables;
  state.counters["bytes_per_lookup"] = static_cast<double>(BytesRead() - before) / lookups;
  state.SetItemsProcessed(state.iterations() * kTables);
}
BENCHMARK(BM_Lookup_SectionFileOpenEach)->Unit(benchmark::kMicrosecond);

// The peer: each table is a file of its own, found by the file system.
void BM_Lookup_SeparateFiles(benchmark::State& state) {
  Data();
  const std::vector<std::string> names = ShuffledNames();
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(LookupData::Separate() + "/" + name);
  BYTE head[kHeadBytes];
  const unsigned long long before = BytesRead();
  for (auto _ : state) {
    for (const std::string& path : paths) {
      CFile f;
      if (!f.Open(path.c_str(), CFile::modeRead) || f.Read(head, kHeadBytes) != kHeadBytes) std::abort();
      Check(head);
    }
  }
  const double lookups = static_cast<double>(state.iterations()) * kTables;
  state.counters["bytes_per_lookup"] = static_cast<double>(BytesRead() - before) / lookups;
  state.SetItemsProcessed(state.iterations() * kTables);
}
BENCHMARK(BM_Lookup_SeparateFiles)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
