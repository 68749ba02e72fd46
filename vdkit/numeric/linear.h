/// @file
/// Linear systems and curve fitting for single-precision data: Gaussj, the
/// Gauss-Jordan solver beneath the fits, the gridding and the coordinate fits;
/// linear, polynomial and Levenberg-Marquardt least-squares fits; and MGauss,
/// a Gauss-Legendre integral over nested limits.
///
/// ```
/// float** a = (float**)StRuCt2(n, n, sizeof(float));   // fill a[i][j] and b[i]
/// if (!Gaussj(a, b, b, n)) { /* a zero pivot; b holds the partial solution */ }
/// free(a);
/// ```
///
/// Matrices are row tables (float**, one pointer per row, as StRuCt2 and
/// DiMeNs2 make them); vectors are plain float arrays. Nothing here keeps state
/// between calls or throws.
#pragma once

#include <functional>

#include "vdkit/platform/export.h"

// ---- Gauss-Jordan solver ----------------------------------------------------
/// Solves a · x = b for the n × n matrix a (rows a[0] … a[n − 1]) in double
/// precision on a copy; a and b are not changed, and x may be the same array
/// as b. Pivoting is partial: in each column the row of strictly largest
/// magnitude, the earliest among equals. A column whose largest magnitude is
/// below 1.0e-30f counts as zero: the solver sends the line
/// "Gaussj error: Main Element[p][p]=0!\n" (p the row its search stopped at)
/// to the message handler, sets the right-hand value of the column's own row
/// to 0, leaves the column uneliminated and goes on; x still receives what the elimination left.
/// True when every column had a usable pivot; false after a zero pivot, and
/// false with x untouched when work memory could not be had. n below 1 is an
/// empty system: true, nothing written.
VDKIT_API bool Gaussj(float** a, float* b, float* x, int n);

/// Where Gaussj's line goes. The default writes it to standard output.
using GaussjMessageHandler = std::function<void(const char* line)>;

/// Installs the handler for Gaussj's line and returns the previous one; an
/// empty handler restores the default. Not locked: set it from the thread
/// that solves.
VDKIT_API GaussjMessageHandler SetGaussjMessageHandler(GaussjMessageHandler handler);

// ---- Linear least squares ---------------------------------------------------
/// Fit c[0 … m − 1] minimising Σ w_i (y_i − Σ_j c_j X(i, j))² over n data rows.
/// The design X is flat and row-major: value j of row i at X[i·m + j]. The
/// normal equations are summed in double precision, stored in single, and
/// solved with Gaussj, whose result is the answer (false for a singular system,
/// with Gaussj's line; c is then the partial solution). False also when work
/// memory cannot be had or m is negative; m = 0 fits nothing and answers true.
///
/// LinearMatch gives every row weight 1. LinearMatchSE gives the first and the
/// last row weight 30 (one row alone: 30), so the fit runs close to both ends.
///@{
VDKIT_API bool LinearMatch(float* X, float* y, int n, int m, float* c);
VDKIT_API bool LinearMatchSE(float* X, float* y, int n, int m, float* c);
///@}

/// Polynomial fits of degree d: c[p] is the coefficient of x^p, p = 0 … d. The
/// design row of x_i is 1, x_i, x_i², … with each power the single-precision
/// product of the previous one and x_i; the fit is then LinearMatch's (or
/// LinearMatchSE's) with d + 1 columns. Degree -1 fits nothing (true); a degree
/// below -1 answers false.
///@{
VDKIT_API bool MultinomialMatch(float* x, float* y, int n, int d, float* c);
VDKIT_API bool MultinomialMatchSE(float* x, float* y, int n, int d, float* c);
///@}

// ---- Nonlinear least squares (Levenberg-Marquardt) --------------------------
/// The status codes of NonlinearMatch and MNonlinearMatch.
enum : int {
  NONLINEAR_DONE = 0,          ///< the iteration ran to one of its stops
  NONLINEAR_NO_MEMORY = -1,    ///< work arrays could not be had
  NONLINEAR_BAD_START = -2,    ///< no residual at the start: N < 1, ma < 1, no model, or no memory
  NONLINEAR_STEP_FAILED = -3,  ///< a trial step's residual could not be formed (no memory)
};
/// The model of NonlinearMatch: its value at x and its derivatives (see there).
using NonlinearModel = void (*)(float x, float* y, float* dyda, float* a, int ma, void* ctx);
/// The model of MNonlinearMatch, for a point x.
using MNonlinearModel = void (*)(float* x, float* y, float* dyda, float* a, int ma, void* ctx);

/// Fit the ma parameters a of a model to N points (x_i, y_i), all of unit
/// weight, by damped Gauss-Newton steps: at most 100 trial steps, the damping
/// λ starting at 0.001, divided by 10 after an accepted step and multiplied by
/// 10 after a rejected one. A step is accepted when the root-mean-square
/// residual falls; a trial that drives a parameter below zero is charged 100.0
/// per such parameter, so parameters are in effect kept non-negative. The
/// iteration stops when the residual falls below tol, λ exceeds 1.0e10, the
/// damped system is singular (Gaussj reports it), or 100 trials have run.
///
/// The model writes its value at x for parameters a[0 … ma − 1] into *y and
/// the partial derivatives ∂y/∂a[j] into dyda[0 … ma − 1]; ctx is passed
/// through unchanged.
///
/// a holds the start values on entry and the last accepted parameters on
/// return (the start values when no step was accepted). True after the
/// iteration ran to one of its stops; false when it could not run, with the
/// reason in *status when status is given (one of the codes above).
///@{
VDKIT_API bool NonlinearMatch(float* x, float* y, int N, float* a, int ma, NonlinearModel model, float tol,
                              void* ctx);
VDKIT_API bool NonlinearMatch(float* x, float* y, int N, float* a, int ma, NonlinearModel model, float tol,
                              void* ctx, int* status);  ///< vdkit
///@}
/// The same for models of a point: x[i] is the caller's array for point i,
/// handed to the model unchanged.
///@{
VDKIT_API bool MNonlinearMatch(float** x, float* y, int N, float* a, int ma, MNonlinearModel model, float tol,
                               void* ctx);
VDKIT_API bool MNonlinearMatch(float** x, float* y, int N, float* a, int ma, MNonlinearModel model, float tol,
                               void* ctx, int* status);  ///< vdkit
///@}

// ---- Multiple integral (Gauss-Legendre) -------------------------------------
/// A bound or the integrand of MGauss at level j, given x[0 … j − 2].
using MGaussFunction = double (*)(int j, double* x, void* ctx);

/// Integrates over n nested dimensions with three-point Gauss-Legendre
/// quadrature, dimension j (from 1) split into equal subintervals between
/// lo(j, x, ctx) and hi(j, x, ctx), which may depend on x[0 … j − 2]. The
/// integrand f is called at every level with the level's number and its value
/// multiplies that level's weights, so the result approximates
/// `∫ f(1, ·) ∫ f(2, ·) … ∫ f(n, ·) dx_n … dx_1`;
/// a plain n-fold integral of g returns g(x) at level n and 1.0 at the others.
/// The nodes and weights are the ten-digit decimal constants.
///
/// js[j − 1] is the subinterval count of dimension j, taken once at the start:
/// a count with the bit of value 2 set gets one more (2 → 3, 3 → 4, 6 → 7), and
/// a count of 1 becomes 2; js itself is not changed. Refused, with 0.0 and no
/// callback called: n outside 1 … 40, a count below 1, a null js or callback.
VDKIT_API double MGauss(int n, int* js, MGaussFunction lo, MGaussFunction hi, MGaussFunction f, void* ctx);
