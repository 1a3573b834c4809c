// The vector paths of pcnm.h that this processor runs, the best of them,
// and the one chosen on each calling thread.  Their kernels choose among their compilations by onpath
// (vecpath.h).
#include "pcnm.h"

namespace {

#if defined(__x86_64__) || defined(__i386__)
// Whether the processor has AVX-512F and the system saves its registers:
// CPUID leaf 1 says the system enabled XGETBV (OSXSAVE), XCR0 that it
// saves the SSE, AVX, opmask and both halves of the ZMM state, and leaf 7
// that the processor has the instructions.
bool avx512usable()
{
    unsigned a, b, c, d;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0), "c"(0));
    if (a < 7) return false;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1), "c"(0));
    if (!(c & (1u << 27))) return false;
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 0xe6) != 0xe6) return false;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(7), "c"(0));
    return (b & (1u << 16)) != 0;
}
#endif

}  // namespace

// The four-wide path is compiled for AVX2 on x86 processors, which may lack
// it; elsewhere it is plain vector code that every processor runs.  The
// eight-wide path is compiled on x86 alone, for AVX-512F.
bool runs(int path)
{
#if defined(__x86_64__) || defined(__i386__)
    if (path == path_avx2) return __builtin_cpu_supports("avx2");
    if (path == path_avx512) {
        static const bool usable = avx512usable();
        return usable;
    }
#endif
    return path == path_base || path == path_avx2;
}

// The widest path that runs: eight doubles run faster than four even where
// the processor splits them in two halves (an AMD Zen 4, about 1.8 times
// the rotations' rate and 1.2 times the reduction's, see the README).
int bestpath()
{
#if defined(__x86_64__) || defined(__i386__)
    if (runs(path_avx512)) return path_avx512;
    return runs(path_avx2) ? path_avx2 : path_base;
#else
    return path_base;
#endif
}

namespace {

// The path chosen on the calling thread (-1: none, bestpath()).
thread_local int chosenpath = -1;

}  // namespace

void setpath(int path) { chosenpath = path; }

int pathnow() { return chosenpath >= 0 && runs(chosenpath) ? chosenpath : bestpath(); }
