// The choice among the vector paths of pcnm.h, written once for every
// kernel of this module.  A kernel is a class template K over the vector
// type V (see simd.h) with one static function run, always inlined, that
// does the work; onpath<K>(path, arguments) calls K<V>::run with the
// arguments, compiled for the path's target: K<v8> in a function marked
// target("avx512f") (x86 alone), K<v4> in one marked target("avx2") (plain
// vector code elsewhere), K<v2> in a baseline function.  What differs
// between the paths stays in the kernels; the processors that run each
// path are told by runs() and bestpath() (vecpath.cpp).
#ifndef LOCIWEAVER_PCNM_VECPATH_H
#define LOCIWEAVER_PCNM_VECPATH_H

#include "pcnm.h"
#include "simd.h"

// The eight-wide path is compiled on x86 alone.
#if defined(__x86_64__) || defined(__i386__)
constexpr bool haseights = true;
#else
constexpr bool haseights = false;
#endif

// compiled<R(P...)>: the compilations, for each path, of a kernel whose run
// takes the parameters P and returns R: eights<K<v8>>, fours<K<v4>> and
// pairs<K<v2>>.  GCC inlines an always_inline function only into a caller
// with the same instructions or more, so each compilation is a function of
// its own, with the target of its path.  They take the kernel's class
// K<V>, not its template K: GCC gives a function instantiated for a
// template template argument from an unnamed namespace external linkage,
// under a name that a kernel of the same name in another file would
// share, and the linker would keep one of the two.
template <typename F>
struct compiled;

template <typename R, typename... P>
struct compiled<R(P...)> {
#if defined(__x86_64__) || defined(__i386__)
    template <typename K>
    __attribute__((target("avx512f"))) static R eights(P... p)
    {
        return K::run(p...);
    }
#endif

    template <typename K>
#if defined(__x86_64__) || defined(__i386__)
    __attribute__((target("avx2")))
#endif
    static R fours(P... p)
    {
        return K::run(p...);
    }

    template <typename K>
    static R pairs(P... p)
    {
        return K::run(p...);
    }
};

// onpath: K<V>::run(a...) compiled for path (path_avx512, path_avx2 or
//   path_base; path_avx512 is path_base where there are no eights).
template <template <typename> class K, typename... A>
inline auto onpath(int path, A&&... a)
{
    using on = compiled<decltype(K<v2>::run)>;
    if constexpr (haseights)
        if (path == path_avx512) return on::template eights<K<v8>>(static_cast<A&&>(a)...);
    if (path == path_avx2) return on::template fours<K<v4>>(static_cast<A&&>(a)...);
    return on::template pairs<K<v2>>(static_cast<A&&>(a)...);
}

// The doubles in one vector of a path, as its kernels run it.
template <typename V>
struct vectorwidth {
    static inline __attribute__((always_inline)) int run() { return width<V>(); }
};

inline int pathwidth(int path) { return onpath<vectorwidth>(path); }

#endif
