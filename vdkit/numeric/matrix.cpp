#include "vdkit/numeric/matrix.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Sizes are formed in size_t and checked, so dimensions whose product
// overflows give null instead of a short block that the caller overruns.
size_t Dim(int n) { return n < 1 ? 1 : static_cast<size_t>(n); }

bool Mul(size_t a, size_t b, size_t* out) { return !__builtin_mul_overflow(a, b, out); }
bool Add(size_t a, size_t b, size_t* out) { return !__builtin_add_overflow(a, b, out); }

// malloc refuses nothing below SIZE_MAX, but no object may exceed PTRDIFF_MAX.
char* ZeroedBlock(size_t bytes) {
  if (bytes > static_cast<size_t>(PTRDIFF_MAX)) return nullptr;
  return static_cast<char*>(calloc(1, bytes));
}

}  // namespace

extern "C" {

void* StRuCt1(int count, int size) {
  size_t bytes;
  if (size < 1 || !Mul(Dim(count), static_cast<size_t>(size), &bytes)) return nullptr;
  return ZeroedBlock(bytes);
}

void* StRuCt2(int rows, int cols, int size) {
  if (size < 1) return nullptr;
  const size_t r = Dim(rows);
  size_t stride, data, table, bytes;
  if (!Mul(Dim(cols), static_cast<size_t>(size), &stride) || !Mul(stride, r, &data) ||
      !Mul(r, sizeof(void*), &table) || !Add(table, data, &bytes))
    return nullptr;
  char* block = ZeroedBlock(bytes);
  if (!block) return nullptr;
  char** ptrs = reinterpret_cast<char**>(block);
  char* row = block + table;
  for (size_t i = 0; i < r; ++i, row += stride) ptrs[i] = row;
  return block;
}

void* StRuCt3(int d0, int d1, int d2, int size) {
  if (size < 1) return nullptr;
  const size_t n0 = Dim(d0), n1 = Dim(d1);
  size_t stride, pairs, tables, data, bytes;
  if (!Mul(Dim(d2), static_cast<size_t>(size), &stride) || !Mul(n0, n1, &pairs) ||
      !Mul(n0 + pairs, sizeof(void*), &tables) || !Mul(stride, pairs, &data) ||
      !Add(tables, data, &bytes))
    return nullptr;
  char* block = ZeroedBlock(bytes);
  if (!block) return nullptr;
  char*** first = reinterpret_cast<char***>(block);
  char** second = reinterpret_cast<char**>(block) + n0;
  char* row = block + tables;
  for (size_t i = 0; i < n0; ++i) first[i] = second + i * n1;
  for (size_t k = 0; k < pairs; ++k, row += stride) second[k] = row;
  return block;
}

void* DiMeNs2(void* data, int rows, int cols, int size) {
  if (!data || size < 1) return nullptr;
  const size_t r = Dim(rows);
  size_t stride, table;
  if (!Mul(Dim(cols), static_cast<size_t>(size), &stride) || !Mul(r, sizeof(void*), &table))
    return nullptr;
  char** ptrs = reinterpret_cast<char**>(ZeroedBlock(table));
  if (!ptrs) return nullptr;
  // Addresses are formed as integers: the caller's block may be shorter than
  // the table spans when the caller does not mean to touch every row.
  const uintptr_t base = reinterpret_cast<uintptr_t>(data);
  for (size_t i = 0; i < r; ++i) ptrs[i] = reinterpret_cast<char*>(base + i * stride);
  return ptrs;
}

void* DiMeNs3(void* data, int d0, int d1, int d2, int size) {
  if (!data || size < 1) return nullptr;
  const size_t n0 = Dim(d0), n1 = Dim(d1);
  size_t stride, pairs, table;
  if (!Mul(Dim(d2), static_cast<size_t>(size), &stride) || !Mul(n0, n1, &pairs) ||
      !Mul(n0 + pairs, sizeof(void*), &table))
    return nullptr;
  char* block = ZeroedBlock(table);
  if (!block) return nullptr;
  char*** first = reinterpret_cast<char***>(block);
  char** second = reinterpret_cast<char**>(block) + n0;
  const uintptr_t base = reinterpret_cast<uintptr_t>(data);
  for (size_t i = 0; i < n0; ++i) first[i] = second + i * n1;
  for (size_t k = 0; k < pairs; ++k) second[k] = reinterpret_cast<char*>(base + k * stride);
  return block;
}

}  // extern "C"
