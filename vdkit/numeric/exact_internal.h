// Included by the numeric sources. Results must match the plain sequence of
// operations bit for bit on every target, so a − f·b is never fused into one
// rounding: the build compiles the library with -ffp-contract=off, and the
// pragma keeps that for clang when a file is built some other way.
#pragma once

#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

// Vector forms of the eliminations where the processor has them, chosen once
// at load time. Each lane rounds the product and the difference separately, as
// the scalar form does, so every form gives the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define VDKIT_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VDKIT_VECTOR_CLONES
#endif
