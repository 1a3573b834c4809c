// Four doubles handled as one value, for the kernels of this module.  The
// same source compiles to SSE2 pairs in the baseline functions and to AVX2
// registers in the functions marked target("avx2").  Each operation is an
// exact IEEE multiply, add or subtract of an element with its peers in the
// other operands, so both paths give the bits of the scalar form.
#ifndef LOCIWEAVER_PCNM_SIMD_H
#define LOCIWEAVER_PCNM_SIMD_H

// Four doubles in registers.
typedef double v4 __attribute__((vector_size(32)));

// Four doubles in memory, at any address aligned to a double.
typedef double v4u __attribute__((vector_size(32), aligned(8)));

// The four doubles from p on, to load from or store into.
inline v4u& at4(double* p) { return *reinterpret_cast<v4u*>(p); }
inline const v4u& at4(const double* p) { return *reinterpret_cast<const v4u*>(p); }

#endif
