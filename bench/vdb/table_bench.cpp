// CVdbTable against SQLite in memory: the same rows and the same queries in
// the same run. SQLite uses one transaction and prepared statements.
//
// Rows: 8 mixed fields (DATE, DOUBLE, FLOAT, LONG, BYTE, SHORT, CHAR16,
// DATAID). Cases: load through typed references / through text, scan summing
// one field, find by identifier, find by value, write and read the whole
// table through memory (TV10 in a CMemFile; sqlite3_serialize/deserialize).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vdkit/vdb/table.h"

namespace {

constexpr int kRows = 1000000;

struct Row {
  SDateTime date;
  double depth;
  float temp;
  LONG count;
  BYTE flag;
  SHORT code;
  char name[17];
  DWORD well;
  // The same values as eight texts, each ended by a zero byte, in one block
  // of text shared by all rows (as a file's lines would lie in memory).
  size_t text;
};

std::vector<char>& TextBlock() {
  static std::vector<char> block;
  return block;
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> r(kRows);
    std::vector<char>& block = TextBlock();
    block.reserve(static_cast<size_t>(kRows) * 64);
    std::mt19937 rng(42);
    char buf[64];
    auto add = [&block](const char* t) { block.insert(block.end(), t, t + std::strlen(t) + 1); };
    for (int i = 0; i < kRows; ++i) {
      Row& x = r[static_cast<size_t>(i)];
      x.date = SDateTime{0,
                         {static_cast<BYTE>(1 + rng() % 28), static_cast<BYTE>(1 + rng() % 12),
                          static_cast<WORD>(1990 + rng() % 30)}};
      x.depth = (rng() % 100000) / 10.0;
      x.temp = static_cast<float>((rng() % 4000) / 100.0);
      x.count = static_cast<LONG>(rng() % 1000);
      x.flag = static_cast<BYTE>(rng() % 2);
      x.code = static_cast<SHORT>(rng() % 30000);
      std::snprintf(x.name, sizeof x.name, "W-%07u", static_cast<unsigned>(rng() % 10000000));
      x.well = rng();
      x.text = block.size();
      std::snprintf(buf, sizeof buf, "%d-%02d-%02d", x.date.date.year, x.date.date.month, x.date.date.day);
      add(buf);
      std::snprintf(buf, sizeof buf, "%.1f", x.depth);
      add(buf);
      std::snprintf(buf, sizeof buf, "%.2f", x.temp);
      add(buf);
      add(std::to_string(x.count).c_str());
      add(std::to_string(x.flag).c_str());
      add(std::to_string(x.code).c_str());
      add(x.name);
      add(std::to_string(x.well).c_str());
    }
    return r;
  }();
  return rows;
}

void DefineTable(CVdbTable& t) {
  for (const char* def : {"DATE:DATE", "Depth:DOUBLE", "Temp:FLOAT", "Count:LONG", "Flag:BYTE", "Code:SHORT",
                          "Name:CHAR16", "Well:DATAID"})
    t.AddField(def, 0, 1);
}

void LoadTyped(CVdbTable& t) {
  for (const Row& r : Rows()) {
    t.AddNew();
    t.ValueDate(0) = r.date;
    std::memcpy(t.GetFieldVaptr(1), &r.depth, 8);
    t.Float(2) = r.temp;
    t.Long(3) = r.count;
    *t.GetFieldVaptr(4) = r.flag;
    std::memcpy(t.GetFieldVaptr(5), &r.code, 2);
    std::memcpy(t.GetFieldVaptr(6), r.name, 16);
    t.Long(7) = static_cast<LONG>(r.well);
  }
}

const CVdbTable& Loaded() {
  static CVdbTable* t = [] {
    auto* table = new CVdbTable;
    DefineTable(*table);
    LoadTyped(*table);
    return table;
  }();
  return *t;
}

// ---- SQLite --------------------------------------------------------------------
void Exec(sqlite3* db, const char* sql) {
  sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

sqlite3* OpenDb() {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  Exec(db,
       "CREATE TABLE t(date INTEGER, depth REAL, temp REAL, count INTEGER, flag INTEGER, code INTEGER,"
       " name TEXT, well INTEGER)");
  return db;
}

int DateNumber(const SDateTime& d) {
  return d.date.year * 10000 + d.date.month * 100 + d.date.day;
}

void SqliteLoad(sqlite3* db, bool asText) {
  Exec(db, "BEGIN");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?,?,?)", -1, &st, nullptr);
  for (const Row& r : Rows()) {
    if (asText) {
      const char* t = TextBlock().data() + r.text;
      for (int k = 0; k < 8; ++k) {
        const int len = static_cast<int>(std::strlen(t));
        sqlite3_bind_text(st, k + 1, t, len, SQLITE_STATIC);
        t += len + 1;
      }
    } else {
      sqlite3_bind_int(st, 1, DateNumber(r.date));
      sqlite3_bind_double(st, 2, r.depth);
      sqlite3_bind_double(st, 3, r.temp);
      sqlite3_bind_int(st, 4, r.count);
      sqlite3_bind_int(st, 5, r.flag);
      sqlite3_bind_int(st, 6, r.code);
      sqlite3_bind_text(st, 7, r.name, -1, SQLITE_STATIC);
      sqlite3_bind_int64(st, 8, r.well);
    }
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Exec(db, "COMMIT");
}

sqlite3* LoadedDb() {
  static sqlite3* db = [] {
    sqlite3* d = OpenDb();
    SqliteLoad(d, false);
    return d;
  }();
  return db;
}

// ---- Load ---------------------------------------------------------------------------
void BM_TableLoad_Typed(benchmark::State& state) {
  Rows();
  for (auto _ : state) {
    CVdbTable t;
    DefineTable(t);
    LoadTyped(t);
    benchmark::DoNotOptimize(t.GetRecordCount());
  }
}
BENCHMARK(BM_TableLoad_Typed)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqliteLoad_Typed(benchmark::State& state) {
  Rows();
  for (auto _ : state) {
    sqlite3* db = OpenDb();
    SqliteLoad(db, false);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_SqliteLoad_Typed)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TableLoad_Text(benchmark::State& state) {
  Rows();
  for (auto _ : state) {
    CVdbTable t;
    DefineTable(t);
    for (const Row& r : Rows()) {
      t.AddNew();
      const char* text = TextBlock().data() + r.text;
      for (int k = 0; k < 8; ++k) {
        t.SetFieldValue(k, text);
        text += std::strlen(text) + 1;
      }
    }
    benchmark::DoNotOptimize(t.GetRecordCount());
  }
}
BENCHMARK(BM_TableLoad_Text)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqliteLoad_Text(benchmark::State& state) {
  Rows();
  for (auto _ : state) {
    sqlite3* db = OpenDb();
    SqliteLoad(db, true);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_SqliteLoad_Text)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- Scan -----------------------------------------------------------------------------
void BM_TableScan_SumFloat(benchmark::State& state) {
  auto& t = const_cast<CVdbTable&>(Loaded());
  for (auto _ : state) {
    double sum = 0;
    for (bool ok = t.MoveToFirst(); ok; ok = t.MoveToNext()) sum += t.Float(2);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_TableScan_SumFloat)->Unit(benchmark::kMillisecond);

void BM_SqliteScan_SumFloat(benchmark::State& state) {
  sqlite3* db = LoadedDb();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT temp FROM t", -1, &st, nullptr);
  for (auto _ : state) {
    double sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) sum += sqlite3_column_double(st, 0);
    sqlite3_reset(st);
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(st);
}
BENCHMARK(BM_SqliteScan_SumFloat)->Unit(benchmark::kMillisecond);

// ---- Find ---------------------------------------------------------------------------------
constexpr int kLookups = 1000;

void BM_TableFind_ById(benchmark::State& state) {
  auto& t = const_cast<CVdbTable&>(Loaded());
  std::mt19937 rng(1);
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < kLookups; ++i) found += t.LocatOn(static_cast<DWORD>(1 + rng() % kRows));
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_TableFind_ById)->Unit(benchmark::kMicrosecond);

void BM_SqliteFind_ById(benchmark::State& state) {
  sqlite3* db = LoadedDb();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT temp FROM t WHERE rowid=?", -1, &st, nullptr);
  std::mt19937 rng(1);
  for (auto _ : state) {
    int found = 0;
    for (int i = 0; i < kLookups; ++i) {
      sqlite3_bind_int(st, 1, static_cast<int>(1 + rng() % kRows));
      found += sqlite3_step(st) == SQLITE_ROW;
      sqlite3_reset(st);
    }
    benchmark::DoNotOptimize(found);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_SqliteFind_ById)->Unit(benchmark::kMicrosecond);

// Values near the end of the table, so both sides scan most rows.
void BM_TableFind_ByValue(benchmark::State& state) {
  auto& t = const_cast<CVdbTable&>(Loaded());
  SVdbVariant code;
  code << static_cast<short>(Rows()[kRows - 10].code);
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.LocatOn(5, code));
  }
}
BENCHMARK(BM_TableFind_ByValue)->Unit(benchmark::kMillisecond);

void BM_SqliteFind_ByValue(benchmark::State& state) {
  sqlite3* db = LoadedDb();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE code=? LIMIT 1", -1, &st, nullptr);
  sqlite3_bind_int(st, 1, Rows()[kRows - 10].code);
  for (auto _ : state) {
    benchmark::DoNotOptimize(sqlite3_step(st));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
}
BENCHMARK(BM_SqliteFind_ByValue)->Unit(benchmark::kMillisecond);

// ---- Write and read through memory ------------------------------------------------------
void BM_TableFile_WriteRead(benchmark::State& state) {
  auto& t = const_cast<CVdbTable&>(Loaded());
  for (auto _ : state) {
    CMemFile mem(1 << 20);
    t.Write(mem);
    mem.SeekToBegin();
    CVdbTable back;
    back.Read(mem);
    benchmark::DoNotOptimize(back.GetRecordCount());
  }
}
BENCHMARK(BM_TableFile_WriteRead)->Unit(benchmark::kMillisecond);

void BM_SqliteFile_WriteRead(benchmark::State& state) {
  sqlite3* db = LoadedDb();
  for (auto _ : state) {
    sqlite3_int64 size = 0;
    unsigned char* image = sqlite3_serialize(db, "main", &size, 0);
    sqlite3* back = nullptr;
    sqlite3_open(":memory:", &back);
    sqlite3_deserialize(back, "main", image, size, size, SQLITE_DESERIALIZE_FREEONCLOSE);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(back, "SELECT count(*) FROM t", -1, &st, nullptr);
    sqlite3_step(st);
    benchmark::DoNotOptimize(sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(back);
  }
}
BENCHMARK(BM_SqliteFile_WriteRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
