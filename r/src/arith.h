// The arithmetic of every translation unit of the package: each product
// and sum rounded on its own, never contracted into a fused multiply-add,
// so that the variables are the console programs' to the bit.  The
// programs' build asks this of the compiler with -ffp-contract=off; a
// package cannot pass that flag, so each unit of the package starts with
// this header instead, before any other, and the functions after it
// (those of the standard headers' templates included) are compiled so.
// GCC takes the option as a pragma; clang takes its own pragma, which
// holds under its default contraction (on) and -ffp-contract=off.  With
// GCC the units are also optimized as the programs' Release build is
// (-O3; a package may not pass that flag either, and at R's -O2 GCC
// leaves the solver's vector kernels unrolled less: a PCNM run of 4000
// sites took some 70 % longer).
#ifndef LOCIWEAVER_R_ARITH_H
#define LOCIWEAVER_R_ARITH_H

#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("O3", "fp-contract=off")
#endif

#endif
