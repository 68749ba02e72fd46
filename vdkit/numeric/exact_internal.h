// Included first by the numeric sources: results must match the plain
// sequence of operations bit for bit on every target, so a − f·b is never
// fused into one rounding, whatever instruction set the build allows.
#pragma once

#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif
