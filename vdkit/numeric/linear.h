// Linear systems for single-precision data: Gaussj, the Gauss-Jordan solver
// beneath the curve fits, the gridding and the coordinate fits.
//
//   float** a = (float**)StRuCt2(n, n, sizeof(float));   // fill a[i][j] and b[i]
//   if (!Gaussj(a, b, b, n)) { /* a zero pivot; b holds the partial solution */ }
//   free(a);
//
// Matrices are row tables (float**, one pointer per row, as StRuCt2 and
// DiMeNs2 make them); vectors are plain float arrays. Nothing here keeps state
// between calls or throws.
#pragma once

#include <functional>

#include "vdkit/platform/export.h"

// ---- Gauss-Jordan solver ----------------------------------------------------
// Solves a · x = b for the n × n matrix a (rows a[0] … a[n − 1]) in double
// precision on a copy; a and b are not changed, and x may be the same array
// as b. Pivoting is partial: in each column the row of strictly largest
// magnitude, the earliest among equals. A column whose largest magnitude is
// below 1.0e-30f counts as zero: the solver sends the line
// "Gaussj error: Main Element[p][p]=0!\n" (p the row it stopped at) to the
// message handler, sets that row's right-hand value to 0, leaves the column
// uneliminated and goes on. x is written in every case.
// True when every column had a usable pivot; false after a zero pivot or when
// work memory could not be had. n below 1 is an empty system: true, nothing
// written.
VDKIT_API bool Gaussj(float** a, float* b, float* x, int n);

// Where Gaussj's line goes. The default writes it to standard output.
using GaussjMessageHandler = std::function<void(const char* line)>;

// Installs the handler for Gaussj's line and returns the previous one; an
// empty handler restores the default. Not locked: set it from the thread
// that solves.
VDKIT_API GaussjMessageHandler SetGaussjMessageHandler(GaussjMessageHandler handler);
