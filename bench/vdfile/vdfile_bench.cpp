// The binary archive of a file-object tree of 1,000,000 small objects (name,
// type, 16-byte blob) through a memory file, against the same bytes written
// and read with fwrite/fread on a memory stream: field by field from and into
// plain records (the twin that does the same work without objects), and in
// one block (the floor). FindFile among 10,000 siblings against a linear scan
// and an unordered_map with the same case-insensitive keys.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "vdkit/core/hash_map.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"

namespace {

constexpr int kTop = 1000;    // children of the disk
constexpr int kLeaves = 999;  // children of each of them: 1 + 1000 + 999,000 objects
constexpr int kObjects = 1 + kTop + kTop * kLeaves;

// ---- The tree and its bytes --------------------------------------------------------------
void FillBlob(CVDFile* f, int i) {
  BYTE blob[16];
  for (int k = 0; k < 16; ++k) blob[k] = static_cast<BYTE>(i + k);
  CFile* out = f->Open(CVDFile::openWrite);
  out->Write(blob, 16);
  f->Close(out);
}

// Builds the tree afresh. The benchmarks keep no tree alive that they do not
// measure, since every living object sits in the live-object registry.
std::unique_ptr<CVDisk> MakeTree() {
  auto d = std::make_unique<CVDisk>();
  int n = 0;
  for (int i = 0; i < kTop; ++i) {
    CVDFile* top = d->CreateFileA(("group" + std::to_string(i)).c_str(), "Group", nullptr);
    FillBlob(top, n++);
    for (int j = 0; j < kLeaves; ++j) {
      CVDFile* leaf = top->CreateFileA(("item" + std::to_string(j)).c_str(), "Item", nullptr);
      FillBlob(leaf, n++);
    }
  }
  return d;
}

// ---- The plain twin: the same records as flat structs ------------------------------------
struct PlainRecord {
  std::string className;
  std::string name;
  std::string type;
  uint32_t blobSize;
  unsigned char blob[16];
  int32_t children;
};

void Flatten(CVDFile& root, std::vector<PlainRecord>& out) {
  out.reserve(kObjects);
  // Pre-order, as the archive stores them.
  std::vector<CVDFile*> stack{&root};
  while (!stack.empty()) {
    CVDFile* f = stack.back();
    stack.pop_back();
    PlainRecord r;
    r.className = f->GetClassNameA();
    r.name = f->GetName();
    r.type = f->GetFileType();
    r.blobSize = f->GetDataSize();
    if (r.blobSize) std::memcpy(r.blob, f->GetDataBytes(), r.blobSize);
    r.children = f->GetFileCount();
    out.push_back(std::move(r));
    for (int i = f->GetFileCount(); i-- > 0;) stack.push_back(f->GetFileAt(i));
  }
}

std::vector<BYTE> Store(CVDFile& root) {
  CMemFile mem(1 << 20);
  CArchive ar(&mem, CArchive::store);
  ar << root;
  ar.Close();
  return std::vector<BYTE>(mem.GetData(), mem.GetData() + mem.GetLength());
}

// The archive's bytes and the plain records of one tree, made once.
struct Shared {
  std::vector<BYTE> bytes;
  std::vector<PlainRecord> records;
  Shared() {
    std::unique_ptr<CVDisk> tree = MakeTree();
    bytes = Store(*tree);
    Flatten(*tree, records);
  }
};
const Shared& Data() {
  static const Shared* data = new Shared;
  return *data;
}

void PutString(FILE* fp, const std::string& s) {
  const size_t n = s.size() + (6 - s.size() % 4) % 4;
  const uint16_t len = static_cast<uint16_t>(n);
  static const char zeros[4] = {0, 0, 0, 0};
  std::fwrite(&len, 2, 1, fp);
  std::fwrite(s.data(), 1, s.size(), fp);
  std::fwrite(zeros, 1, n - s.size(), fp);
}

bool GetString(FILE* fp, std::string& s) {
  uint16_t n;
  if (std::fread(&n, 2, 1, fp) != 1) return false;
  char buf[65536];
  if (std::fread(buf, 1, n, fp) != n) return false;
  s.assign(buf, strnlen(buf, n));
  return true;
}

void WritePlain(FILE* fp, const std::vector<PlainRecord>& records) {
  std::fwrite("VDFc", 1, 4, fp);
  const uint16_t version = 0x0100, flags = 1;
  const uint32_t classSize = 0;
  for (const PlainRecord& r : records) {
    PutString(fp, "ClassName=");
    PutString(fp, r.className);
    std::fwrite(&version, 2, 1, fp);
    std::fwrite(&flags, 2, 1, fp);
    PutString(fp, r.name);
    PutString(fp, r.type);
    std::fwrite(&r.blobSize, 4, 1, fp);
    std::fwrite(r.blob, 1, r.blobSize, fp);
    std::fwrite(&classSize, 4, 1, fp);
    std::fwrite(&r.children, 4, 1, fp);
  }
}

size_t ReadPlain(FILE* fp, std::vector<PlainRecord>& out) {
  char magic[4];
  if (std::fread(magic, 1, 4, fp) != 4) return 0;
  std::string key;
  PlainRecord r;
  for (;;) {
    if (!GetString(fp, key) || !GetString(fp, r.className)) break;
    uint16_t version, flags;
    if (std::fread(&version, 2, 1, fp) != 1 || std::fread(&flags, 2, 1, fp) != 1) break;
    if (!GetString(fp, r.name) || !GetString(fp, r.type)) break;
    uint32_t classSize;
    if (std::fread(&r.blobSize, 4, 1, fp) != 1 || r.blobSize > 16) break;
    if (std::fread(r.blob, 1, r.blobSize, fp) != r.blobSize) break;
    if (std::fread(&classSize, 4, 1, fp) != 1 || std::fread(&r.children, 4, 1, fp) != 1) break;
    out.push_back(r);
  }
  return out.size();
}

// ---- Writing -----------------------------------------------------------------------------------
void BM_VDFile_WriteTree(benchmark::State& state) {
  const size_t size = Data().bytes.size();
  std::unique_ptr<CVDisk> tree = MakeTree();
  for (auto _ : state) {
    CMemFile mem(static_cast<UINT>(size));  // grows in one step, like the twin's buffer
    CArchive ar(&mem, CArchive::store);
    ar << *tree;
    ar.Close();
    benchmark::DoNotOptimize(mem.GetData());
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_VDFile_WriteTree)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_VDFile_WriteTreeFwrite(benchmark::State& state) {
  const std::vector<PlainRecord>& records = Data().records;
  const size_t size = Data().bytes.size();
  std::vector<char> buffer(size + 1);
  for (auto _ : state) {
    FILE* fp = fmemopen(buffer.data(), buffer.size(), "wb");
    WritePlain(fp, records);
    std::fclose(fp);
    benchmark::DoNotOptimize(buffer.data());
  }
  if (std::memcmp(buffer.data(), Data().bytes.data(), size) != 0)
    state.SkipWithError("the twin wrote other bytes");
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_VDFile_WriteTreeFwrite)->Unit(benchmark::kMillisecond)->MinTime(3);

// The bytes alone in one call each way: the floor set by memory bandwidth.
void BM_VDFile_WriteTreeFwriteBlock(benchmark::State& state) {
  const std::vector<BYTE>& bytes = Data().bytes;
  std::vector<char> buffer(bytes.size() + 1);
  for (auto _ : state) {
    FILE* fp = fmemopen(buffer.data(), buffer.size(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    std::fclose(fp);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_VDFile_WriteTreeFwriteBlock)->Unit(benchmark::kMillisecond);

void BM_VDFile_ReadTreeFreadBlock(benchmark::State& state) {
  std::vector<BYTE> bytes = Data().bytes;
  std::vector<BYTE> out(bytes.size());
  for (auto _ : state) {
    FILE* fp = fmemopen(bytes.data(), bytes.size(), "rb");
    if (std::fread(out.data(), 1, out.size(), fp) != out.size()) state.SkipWithError("read failed");
    std::fclose(fp);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_VDFile_ReadTreeFreadBlock)->Unit(benchmark::kMillisecond);

// ---- Reading (the objects are destroyed inside the timing, for both) ----------------------------------
void BM_VDFile_ReadTree(benchmark::State& state) {
  const std::vector<BYTE>& bytes = Data().bytes;
  for (auto _ : state) {
    CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    CArchive ar(&mem, CArchive::load);
    CVDisk disk;
    if (!(ar >> disk)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(disk.GetFileCount());
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_VDFile_ReadTree)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_VDFile_ReadTreeFread(benchmark::State& state) {
  std::vector<BYTE> bytes = Data().bytes;
  for (auto _ : state) {
    FILE* fp = fmemopen(bytes.data(), bytes.size(), "rb");
    std::vector<PlainRecord> records;
    if (ReadPlain(fp, records) != static_cast<size_t>(kObjects)) state.SkipWithError("read failed");
    std::fclose(fp);
    benchmark::DoNotOptimize(records.data());
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_VDFile_ReadTreeFread)->Unit(benchmark::kMillisecond)->MinTime(3);

// ---- Finding a child among 10,000 siblings ---------------------------------------------------------
constexpr int kSiblings = 10000;

std::vector<std::string> LookupOrder() {
  std::vector<std::string> names;
  for (int i = 0; i < kSiblings; ++i) names.push_back("Child" + std::to_string(i));
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  for (std::string& n : names) n[0] = 'c';  // found ignoring case
  return names;
}

void BM_VDFile_FindFile(benchmark::State& state) {
  CVDisk disk;
  for (int i = 0; i < kSiblings; ++i)
    disk.CreateFileA(("Child" + std::to_string(i)).c_str(), nullptr, nullptr);
  const std::vector<std::string> names = LookupOrder();
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(disk.FindFile(names[k].c_str()));
    if (++k == names.size()) k = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VDFile_FindFile);

bool EqualNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

void BM_VDFile_FindFileLinearScan(benchmark::State& state) {
  std::vector<std::string> children;
  for (int i = 0; i < kSiblings; ++i) children.push_back("Child" + std::to_string(i));
  const std::vector<std::string> names = LookupOrder();
  size_t k = 0;
  for (auto _ : state) {
    const char* want = names[k].c_str();
    const std::string* found = nullptr;
    for (const std::string& c : children) {
      if (EqualNoCase(c, want)) {
        found = &c;
        break;
      }
    }
    benchmark::DoNotOptimize(found);
    if (++k == names.size()) k = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VDFile_FindFileLinearScan);

struct NoCaseHash {
  size_t operator()(const std::string& s) const { return MapHashKey(s.c_str()); }
};
struct NoCaseEqual {
  bool operator()(const std::string& a, const std::string& b) const { return EqualNoCase(a, b.c_str()); }
};

void BM_VDFile_FindFileUnorderedMap(benchmark::State& state) {
  std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> children;
  for (int i = 0; i < kSiblings; ++i) children.emplace("Child" + std::to_string(i), i);
  const std::vector<std::string> names = LookupOrder();
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(children.find(names[k]));
    if (++k == names.size()) k = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VDFile_FindFileUnorderedMap);

}  // namespace

BENCHMARK_MAIN();
