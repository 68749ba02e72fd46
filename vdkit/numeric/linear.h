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

// ---- Linear least squares ---------------------------------------------------
// Fit c[0 … m − 1] minimising Σ w_i (y_i − Σ_j c_j X(i, j))² over n data rows.
// The design X is flat and row-major: value j of row i at X[i·m + j]. The
// normal equations are summed in double precision, stored in single, and
// solved with Gaussj, whose result is the answer (false for a singular system,
// with Gaussj's line; c is then the partial solution). False also when work
// memory cannot be had or m is negative; m = 0 fits nothing and answers true.
//
// LinearMatch gives every row weight 1. LinearMatchSE gives the first and the
// last row weight 30 (one row alone: 30), so the fit runs close to both ends.
VDKIT_API bool LinearMatch(float* X, float* y, int n, int m, float* c);
VDKIT_API bool LinearMatchSE(float* X, float* y, int n, int m, float* c);

// Polynomial fits of degree d: c[p] is the coefficient of x^p, p = 0 … d. The
// design row of x_i is 1, x_i, x_i², … with each power the single-precision
// product of the previous one and x_i; the fit is then LinearMatch's (or
// LinearMatchSE's) with d + 1 columns. Degree -1 fits nothing (true); a degree
// below -1 answers false.
VDKIT_API bool MultinomialMatch(float* x, float* y, int n, int d, float* c);
VDKIT_API bool MultinomialMatchSE(float* x, float* y, int n, int d, float* c);
