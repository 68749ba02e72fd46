// Work arrays for numerical code: one-, two- and three-dimensional arrays of
// any element size, addressed through pointer tables, each in a single heap
// block that one `free` releases.
//
//   float** a = (float**)StRuCt2(rows, cols, sizeof(float));   // all zero
//   a[i][j] = 1.0f;
//   free(a);                                                    // table and rows at once
//
// The pointer tables hold this platform's pointers (8 bytes on 64-bit Linux),
// so a block is larger than the same array was on a 32-bit platform; row
// strides are exactly cols × size, as there.
//
// Every dimension below 1 counts as 1. The result is null when the element
// size is below 1, when the block's size does not fit in memory's address
// range (a product of the dimensions overflows), or when the heap is
// exhausted. Nothing here throws.
#pragma once

#include "vdkit/platform/export.h"

extern "C" {

// A zeroed block of max(count, 1) × size bytes.
VDKIT_API void* StRuCt1(int count, int size);

// A table of R = max(rows, 1) row pointers followed by R rows of
// max(cols, 1) × size bytes, all zero; entry i points at row i. Returns the table.
VDKIT_API void* StRuCt2(int rows, int cols, int size);

// A table of D0 = max(d0, 1) pointers, then D0 × D1 pointers (D1 = max(d1, 1)),
// then D0 × D1 rows of max(d2, 1) × size bytes, all zero. Entry i of the first
// table points at the i-th group of D1 pointers; pointer (i, j) points at row
// i·D1 + j, so p[i][j][k] is element k of that row. Returns the first table.
VDKIT_API void* StRuCt3(int d0, int d1, int d2, int size);

// A table of max(rows, 1) pointers over the caller's data: entry i is
// data + i × max(cols, 1) × size. Null data gives null. Free the table; the
// data stays the caller's.
VDKIT_API void* DiMeNs2(void* data, int rows, int cols, int size);

// One block of D0 pointers followed by D0 × D1 pointers over the caller's
// data (D0 = max(d0, 1), D1 = max(d1, 1)): entry (i, j) is
// data + (i·D1 + j) × max(d2, 1) × size. Null data gives null.
VDKIT_API void* DiMeNs3(void* data, int d0, int d1, int d2, int size);

}  // extern "C"
