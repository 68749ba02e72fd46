// The vdkit program's readers and writers on large files against the
// library's own read and write of the same bytes: a table of 1,000,000
// records ("TV10" and CSV) and an archive of 1,000,000 objects ("VDFc").
//
// The program reads a whole file into memory and hands it to the library
// (table, archive) or parses it itself (CSV, the archive's record walk that
// listings show); the twins are the library's CVdbTable::Read/Write and the
// archive operators over the same memory.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "csv.h"
#include "formats.h"
#include "vdf.h"
#include "vdkit/platform/archive.h"
#include "vdkit/platform/file.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"

namespace {

constexpr int kRecords = 1000000;
constexpr int kTop = 1000;
constexpr int kLeaves = 999;  // 1 + 1000 + 999,000 objects

// A table like the demo's samples: LONG, DATE, two FLOATs (one of them null
// in every tenth record) and a short text.
std::unique_ptr<CVdbTable> MakeTable() {
  auto t = std::make_unique<CVdbTable>();
  t->SetName("Samples");
  for (const char* def : {"WellID:LONG", "DATE:DATE", "T:FLOAT", "P:FLOAT", "Note:STRING*24"})
    t->AddField(def, 0, 1);
  for (int i = 0; i < kRecords; ++i) {
    t->AddNew();
    BYTE* d = t->GetRecord()->GetData();
    const LONG well = i % 97;
    std::memcpy(d, &well, 4);
    SDateTime when{};
    when.date.year = 2004;
    when.date.month = static_cast<BYTE>(1 + i % 12);
    when.date.day = static_cast<BYTE>(1 + i % 28);
    when.fraction = static_cast<float>(i % 4) * 0.25f;
    std::memcpy(d + 4, &when, 8);
    const float temp = 10.0f + static_cast<float>(i % 1000) * 0.01f;
    std::memcpy(d + 12, &temp, 4);
    if (i % 10 != 0) {
      const float p = 1.0f + static_cast<float>(i % 333) / 7.0f;
      std::memcpy(d + 16, &p, 4);
    }
    if (i % 3 == 0) std::memcpy(d + 20, "sample, checked", 15);
  }
  return t;
}

const std::vector<BYTE>& TableBytes() {
  static const std::vector<BYTE> bytes = vdtool::StoreTable(*MakeTable()).ToVector();
  return bytes;
}

const std::string& CsvText() {
  static const std::string text = [] {
    std::unique_ptr<CVdbTable> t = vdtool::LoadTable("big.tv10", TableBytes());
    return vdtool::WriteCsv(*t, "big.tv10", nullptr);
  }();
  return text;
}

std::unique_ptr<CVDisk> MakeTree() {
  auto d = std::make_unique<CVDisk>();
  for (int i = 0; i < kTop; ++i) {
    CVDFile* top = d->CreateFileA(("group" + std::to_string(i)).c_str(), "Group", nullptr);
    for (int j = 0; j < kLeaves; ++j) top->CreateFileA(("item" + std::to_string(j)).c_str(), "Item", nullptr);
  }
  return d;
}

const std::vector<BYTE>& ArchiveBytes() {
  static const std::vector<BYTE> bytes = vdtool::StoreVdf(*MakeTree()).ToVector();
  return bytes;
}

// ---- Table --------------------------------------------------------------------------------
void BM_Table_LibraryRead(benchmark::State& state) {
  const std::vector<BYTE>& bytes = TableBytes();
  for (auto _ : state) {
    CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
    CVdbTable t;
    benchmark::DoNotOptimize(t.Read(mem));
  }
}
void BM_Table_ProgramLoad(benchmark::State& state) {
  const std::vector<BYTE>& bytes = TableBytes();
  for (auto _ : state) benchmark::DoNotOptimize(vdtool::LoadTable("big.tv10", bytes));
}
void BM_Table_LibraryWrite(benchmark::State& state) {
  std::unique_ptr<CVdbTable> t = vdtool::LoadTable("big.tv10", TableBytes());
  for (auto _ : state) {
    CMemFile mem(1 << 20);
    t->Write(mem);
    benchmark::DoNotOptimize(mem.GetLength());
  }
}
void BM_Table_ProgramCsvWrite(benchmark::State& state) {
  std::unique_ptr<CVdbTable> t = vdtool::LoadTable("big.tv10", TableBytes());
  for (auto _ : state) benchmark::DoNotOptimize(vdtool::WriteCsv(*t, "big.tv10", nullptr));
}
void BM_Table_ProgramCsvRead(benchmark::State& state) {
  const std::string& text = CsvText();
  const std::vector<BYTE> bytes(text.begin(), text.end());
  for (auto _ : state) benchmark::DoNotOptimize(vdtool::ReadCsv("big.csv", bytes, "Samples"));
}

// ---- Archive ----------------------------------------------------------------------------
void BM_Archive_LibraryRead(benchmark::State& state) {
  const std::vector<BYTE>& bytes = ArchiveBytes();
  for (auto _ : state) {
    CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()), 0);
    CArchive ar(&mem, CArchive::load);
    CVDisk disk;
    benchmark::DoNotOptimize(ar >> disk);
  }
}
void BM_Archive_ProgramScan(benchmark::State& state) {
  const std::vector<BYTE>& bytes = ArchiveBytes();
  for (auto _ : state) {
    size_t n = 0;
    vdtool::ScanVdf("big.vdf", bytes, [&n](const vdtool::VdfRecord&) { ++n; });
    benchmark::DoNotOptimize(n);
  }
}
void BM_Archive_ProgramWalk(benchmark::State& state) {
  const std::vector<BYTE>& bytes = ArchiveBytes();
  for (auto _ : state) benchmark::DoNotOptimize(vdtool::WalkVdf("big.vdf", bytes));
}
void BM_Archive_ProgramLoad(benchmark::State& state) {
  const std::vector<BYTE>& bytes = ArchiveBytes();
  for (auto _ : state) {
    benchmark::DoNotOptimize(vdtool::LoadVdfTree("big.vdf", bytes, nullptr));
  }
}
void BM_Archive_LibraryWrite(benchmark::State& state) {
  std::unique_ptr<CVDisk> disk = MakeTree();
  for (auto _ : state) {
    CMemFile mem(1 << 20);
    CArchive ar(&mem, CArchive::store);
    ar << *disk;
    ar.Close();
    benchmark::DoNotOptimize(mem.GetLength());
  }
}

}  // namespace

BENCHMARK(BM_Table_LibraryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Table_ProgramLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Table_LibraryWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Table_ProgramCsvWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Table_ProgramCsvRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Archive_LibraryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Archive_ProgramScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Archive_ProgramWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Archive_ProgramLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Archive_LibraryWrite)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
