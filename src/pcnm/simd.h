// Short vectors of doubles handled as one value, for the kernels of this
// module.  A kernel is written once as a template over the vector type V
// (v2, v4, v8, or double itself) and compiled three times: with pairs
// (SSE2, on every x86-64) in the baseline functions, with fours in the
// functions marked target("avx2"), and with eights in those marked
// target("avx512f"), all of them made by onpath (vecpath.h).  Each
// operation is an exact IEEE multiply, add or subtract of an element with
// the matching elements of the other operands (a scalar operand stands
// for a vector of copies), so every width gives the bits of the scalar
// form.
#ifndef LOCIWEAVER_PCNM_SIMD_H
#define LOCIWEAVER_PCNM_SIMD_H

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Two, four and eight doubles in registers.
typedef double v2 __attribute__((vector_size(16)));
typedef double v4 __attribute__((vector_size(32)));
typedef double v8 __attribute__((vector_size(64)));

// The number of doubles in V.
template <typename V>
constexpr int width()
{
    return int(sizeof(V) / sizeof(double));
}

// The same vectors at the alignment of a double, for loads and stores.
typedef double v2u __attribute__((vector_size(16), aligned(8), may_alias));
typedef double v4u __attribute__((vector_size(32), aligned(8), may_alias));
typedef double v8u __attribute__((vector_size(64), aligned(8), may_alias));

// x = the doubles from p on, and the reverse; p needs no alignment beyond
// that of a double.
inline void load(double& x, const double* p) { x = *p; }
inline void load(v2& x, const double* p) { x = *reinterpret_cast<const v2u*>(p); }
inline void load(v4& x, const double* p) { x = *reinterpret_cast<const v4u*>(p); }
inline void load(v8& x, const double* p) { x = *reinterpret_cast<const v8u*>(p); }

inline void store(double* p, const double& x) { *p = x; }
inline void store(double* p, const v2& x) { *reinterpret_cast<v2u*>(p) = x; }
inline void store(double* p, const v4& x) { *reinterpret_cast<v4u*>(p) = x; }
inline void store(double* p, const v8& x) { *reinterpret_cast<v8u*>(p) = x; }

// root: x = the correctly rounded square roots of its elements, as the
// scalar std::sqrt gives them (an instruction of the path on x86; lane by
// lane elsewhere).
inline void root(double& x) { x = __builtin_sqrt(x); }

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("sse2"))) inline void root(v2& x) { x = _mm_sqrt_pd(x); }
__attribute__((target("avx"))) inline void root(v4& x) { x = _mm256_sqrt_pd(x); }
__attribute__((target("avx512f"))) inline void root(v8& x) { x = _mm512_mask_sqrt_pd(x, 0xff, x); }
#else
template <typename V>
inline void root(V& x)
{
    for (int i = 0; i < width<V>(); ++i) x[i] = __builtin_sqrt(x[i]);
}
#endif

#endif
