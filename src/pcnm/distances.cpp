// Euclidean distances among the objects and their truncation.  The
// untruncated distances live in the lower triangle of d, the truncated ones
// in the upper triangle, so that every truncation starts from the former.
// Every distance is a sum of its own: the threads share the columns.
#include <cmath>

#include "pcnm.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"

namespace {

// distcol: the distances of object i (from 0) to the objects j = i+1 ..
//   ntot-1, into rows j of column i of d, W objects j at a time; each sum
//   from 0 over the coordinates in increasing order.
template <typename V>
inline __attribute__((always_inline)) void distcol(int i, int ntot, int ncoord, int ld,
                                                   const double* x, double* d)
{
    const int W = width<V>();
    double* c = d + size_t(i) * ld;
    int j = i + 1;
    for (; j + W <= ntot; j += W) {
        V sum{}, xj, t;
        for (int k = 0; k < ncoord; ++k) {
            load(xj, x + j + size_t(k) * ld);
            t = x[i + size_t(k) * ld] - xj;
            sum = sum + t * t;
        }
        root(sum);
        store(c + j, sum);
    }
    for (; j < ntot; ++j) {
        double sum = 0;
        for (int k = 0; k < ncoord; ++k) {
            double t = x[i + size_t(k) * ld] - x[j + size_t(k) * ld];
            sum = sum + t * t;
        }
        root(sum);
        c[j] = sum;
    }
}

// distcols: the kernel, columns i = first, first + step, ... below
//   ntot - 1.
template <typename V>
struct distcols {
    static inline __attribute__((always_inline)) void run(int first, int step, int ntot, int ncoord,
                                                          int ld, const double* x, double* d)
    {
        for (int i = first; i < ntot - 1; i += step) distcol<V>(i, ntot, ncoord, ld, x, d);
    }
};

}  // namespace

// distances
//   ntot  (in)  number of objects, rows 1..ntot of x.
//   ncoord (in) number of coordinates, columns 1..ncoord of x.
//   ld    (in)  leading dimension of x and d.
//   x     (in)  ld x ncoord site matrix.
//   d     (out) ld x ntot; d(j, i), j > i, receives the distance of the pair
//               (i, j).  Upper triangle and diagonal untouched.
//   path  (in)  the vector path (the default: pathnow()).
void distances(int ntot, int ncoord, int ld, const double* x, double* d, int path)
{
    // The threads take the columns in turn, so that their shares of the
    // triangle are about equal.
    int p = shares(ntot, ntot - 1), pc = pieces(p);
    auto columns = [&](int part) { onpath<distcols>(path, part, pc, ntot, ncoord, ld, x, d); };
    share(p, pc, columns);
}

void distances(int ntot, int ncoord, int ld, const double* x, double* d)
{
    distances(ntot, ncoord, ld, x, d, pathnow());
}

// truncate
//   ntot  (in)     number of objects.
//   ld    (in)     leading dimension of d.
//   d     (in,out) ld x ntot; the distances d(j, i), j > i, are read; d(i, j)
//                  receives the distance, or multiplier * limit when the
//                  distance is strictly greater than limit.  The lower
//                  triangle and the diagonal are not written.
//   limit (in)     the scaled truncation limit, in ranged units.
void truncate(int ntot, int ld, double* d, double limit)
{
    auto D = [=](int i, int j) -> double& { return d[(i - 1) + (j - 1) * ld]; };

    for (int i = 1; i <= ntot - 1; ++i) {
        for (int j = i + 1; j <= ntot; ++j) {
            double dist = D(j, i);
            if (!within(dist, limit))
                D(i, j) = multiplier * limit;
            else
                D(i, j) = dist;
        }
    }
}
