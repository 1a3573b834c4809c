// Euclidean distances among the objects and their truncation.  The
// untruncated distances live in the lower triangle of d, the truncated ones
// in the upper triangle, so that every truncation starts from the former.
// Every distance is a sum of its own: the threads share the columns.
#include <cmath>

#include "pcnm.h"
#include "threads.h"

// distances
//   ntot  (in)  number of objects, rows 1..ntot of x.
//   ncoord (in) number of coordinates, columns 1..ncoord of x.
//   ld    (in)  leading dimension of x and d.
//   x     (in)  ld x ncoord site matrix.
//   d     (out) ld x ntot; d(j, i), j > i, receives the distance of the pair
//               (i, j).  Upper triangle and diagonal untouched.
void distances(int ntot, int ncoord, int ld, const double* x, double* d)
{
    auto X = [=](int i, int k) { return x[(i - 1) + (k - 1) * ld]; };
    auto D = [=](int i, int j) -> double& { return d[(i - 1) + (j - 1) * ld]; };

    // The threads take the columns in turn, so that their shares of the
    // triangle are about equal.
    int p = shares(ntot, ntot - 1), pc = pieces(p);
    auto columns = [&](int part) {
        for (int i = 1 + part; i <= ntot - 1; i += pc) {
            for (int j = i + 1; j <= ntot; ++j) {
                double sum = 0;
                for (int k = 1; k <= ncoord; ++k) {
                    double t = X(i, k) - X(j, k);
                    sum = sum + t * t;
                }
                D(j, i) = std::sqrt(sum);
            }
        }
    };
    share(p, pc, columns);
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
            if (dist > limit)
                D(i, j) = multiplier * limit;
            else
                D(i, j) = dist;
        }
    }
}
