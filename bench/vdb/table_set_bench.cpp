// CVdbTableSet::Select with looked-up columns against SQLite in memory running
// the equivalent LEFT JOIN over an index on the related key, on the same
// generated data; and the throughput of WriteTables / ReadTables.
//
// Source "Samples": WellID (LONG), T (FLOAT); related "Wells": ID (LONG,
// unique, shuffled), Depth (FLOAT), Elev (DOUBLE). About one sample in eleven
// names a well that does not exist, so both the match and the miss are timed.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "vdkit/vdb/table_set.h"
#include "vdkit/vdb/table_view.h"

namespace {

struct Data {
  std::vector<LONG> wellId;  // per sample
  std::vector<float> t;
  std::vector<LONG> id;  // per well
  std::vector<float> depth;
  std::vector<double> elev;
};

Data Generate(int samples, int wells) {
  std::mt19937 rng(42);
  Data d;
  d.id.resize(static_cast<size_t>(wells));
  for (int i = 0; i < wells; ++i) d.id[static_cast<size_t>(i)] = i;
  std::shuffle(d.id.begin(), d.id.end(), rng);
  std::uniform_real_distribution<float> depth(10, 3000);
  for (int i = 0; i < wells; ++i) {
    d.depth.push_back(depth(rng));
    d.elev.push_back(depth(rng) * 0.1);
  }
  std::uniform_int_distribution<LONG> pick(0, wells + wells / 10 - 1);
  std::uniform_real_distribution<float> temp(-5, 40);
  for (int i = 0; i < samples; ++i) {
    d.wellId.push_back(pick(rng));
    d.t.push_back(temp(rng));
  }
  return d;
}

void SetLong(CVdbTable* t, short i, LONG v) { std::memcpy(t->GetFieldVaptr(i), &v, 4); }
void SetFloat(CVdbTable* t, short i, float v) { std::memcpy(t->GetFieldVaptr(i), &v, 4); }
void SetDouble(CVdbTable* t, short i, double v) { std::memcpy(t->GetFieldVaptr(i), &v, 8); }

std::unique_ptr<CVdbTableSet> BuildSet(const Data& d) {
  auto db = std::make_unique<CVdbTableSet>();
  CVdbFieldSet* wellDef = db->CreateFieldSet("Well", "Wells");
  wellDef->AddField("ID:LONG", 0, 1);
  wellDef->AddField("Depth:FLOAT", 0, 1);
  wellDef->AddField("Elev:DOUBLE", 0, 1);
  CVdbFieldSet* sampleDef = db->CreateFieldSet("Sample", "Samples");
  sampleDef->AddField("WellID:LONG", 0, 1);
  sampleDef->AddField("T:FLOAT", 0, 1);
  CVdbTable* wells = db->CreateTable("Wells", "Well");
  for (size_t i = 0; i < d.id.size(); ++i) {
    wells->AddNew();
    SetLong(wells, 0, d.id[i]);
    SetFloat(wells, 1, d.depth[i]);
    SetDouble(wells, 2, d.elev[i]);
  }
  CVdbTable* samples = db->CreateTable("Samples", "Sample");
  for (size_t i = 0; i < d.wellId.size(); ++i) {
    samples->AddNew();
    SetLong(samples, 0, d.wellId[i]);
    SetFloat(samples, 1, d.t[i]);
  }
  db->AddRelation("WellID", "Wells.ID");
  return db;
}

constexpr int kSamples = 1000000;
constexpr int kWells = 100000;

const Data& SharedData() {
  static const Data d = Generate(kSamples, kWells);
  return d;
}

void BM_TableSet_SelectLookup(benchmark::State& state) {
  const std::unique_ptr<CVdbTableSet> db = BuildSet(SharedData());
  for (auto _ : state) {
    CVdbTableView view;
    db->Select(&view, "Samples", "WellID,T,Wells.Depth,Wells.Elev", nullptr);
    benchmark::DoNotOptimize(view.GetRecordCount());
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_TableSet_SelectLookup)->Unit(benchmark::kMillisecond);

struct Row {
  long long rid;
  int wellId;
  double t;
  double depth;
  double elev;
};

void Exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", err);
    sqlite3_free(err);
    std::abort();
  }
}

sqlite3* BuildSqlite(const Data& d) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  Exec(db, "CREATE TABLE wells(id INTEGER, depth REAL, elev REAL);"
           "CREATE TABLE samples(rid INTEGER PRIMARY KEY, wellid INTEGER, t REAL);"
           "BEGIN");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO wells VALUES(?,?,?)", -1, &st, nullptr);
  for (size_t i = 0; i < d.id.size(); ++i) {
    sqlite3_bind_int(st, 1, d.id[i]);
    sqlite3_bind_double(st, 2, d.depth[i]);
    sqlite3_bind_double(st, 3, d.elev[i]);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_prepare_v2(db, "INSERT INTO samples VALUES(?,?,?)", -1, &st, nullptr);
  for (size_t i = 0; i < d.wellId.size(); ++i) {
    sqlite3_bind_int64(st, 1, static_cast<long long>(i) + 1);
    sqlite3_bind_int(st, 2, d.wellId[i]);
    sqlite3_bind_double(st, 3, d.t[i]);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Exec(db, "COMMIT; CREATE INDEX wells_id ON wells(id);");
  return db;
}

void BM_TableSet_SelectLookupSqlite(benchmark::State& state) {
  sqlite3* db = BuildSqlite(SharedData());
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT s.rid, s.wellid, s.t, w.depth, w.elev FROM samples s "
                     "LEFT JOIN wells w ON w.id = s.wellid ORDER BY s.rid",
                     -1, &st, nullptr);
  for (auto _ : state) {
    // The result is materialised, as the view materialises its records.
    std::vector<Row> rows;
    rows.reserve(kSamples);
    while (sqlite3_step(st) == SQLITE_ROW) {
      rows.push_back({sqlite3_column_int64(st, 0), sqlite3_column_int(st, 1), sqlite3_column_double(st, 2),
                      sqlite3_column_double(st, 3), sqlite3_column_double(st, 4)});
    }
    sqlite3_reset(st);
    benchmark::DoNotOptimize(rows.data());
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_TableSet_SelectLookupSqlite)->Unit(benchmark::kMillisecond);

void BM_TableSet_WriteTables(benchmark::State& state) {
  const std::unique_ptr<CVdbTableSet> db = BuildSet(SharedData());
  ULONGLONG bytes = 0;
  for (auto _ : state) {
    CMemFile mem(1 << 20);
    db->WriteTables(mem);
    bytes = mem.GetLength();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_TableSet_WriteTables)->Unit(benchmark::kMillisecond);

void BM_TableSet_ReadTables(benchmark::State& state) {
  const std::unique_ptr<CVdbTableSet> db = BuildSet(SharedData());
  CMemFile mem(1 << 20);
  db->WriteTables(mem);
  for (auto _ : state) {
    mem.SeekToBegin();
    CVdbTableSet back;
    if (!back.ReadTables(mem)) state.SkipWithError("ReadTables failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mem.GetLength()));
}
BENCHMARK(BM_TableSet_ReadTables)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
