// Householder reduction of a symmetric matrix to tridiagonal form (tred2),
// the transformation accumulated.  Each step's pass over the active block
// is the kernel of reduce.cpp, the accumulation that of accumulate.cpp.
#include <cmath>

#include "eigen.h"

namespace {

// The updates a pass lets wait when the caller leaves the choice.  Where
// the pass waits on memory, a depth of 2 moves 12 bytes per element and
// step instead of 16; on an AMD Zen 5 (67 GB/s read-and-write on one
// core) the pass reaches half of that at depth 1 and is bound by its
// arithmetic, so that the recomputed updates cost more than the bytes they
// save (tred2 at 4000 sites: 7.2 to 7.7 s at depth 1, 7.7 to 8.2 s at
// depth 2; at 2000 sites 5 % slower at depth 2).  bench/kernels measures
// every depth on another machine.
const int reducedepth = 1;

}  // namespace

// tred2
//   a  (in,out) np x n; on entry the symmetric matrix (diagonal and lower
//               triangle read, upper triangle overwritten); on return the
//               orthogonal transformation that reduces it.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of a and w.
//   d  (out)    n elements: the diagonal of the tridiagonal matrix.
//   e  (out)    n elements: e(i) = element (i, i-1) for i = 2..n; e(1) = 0.
//   w  (work)   np x n; its content on return means nothing.
//   path (in)   path_avx512, path_avx2 or path_base (the default:
//               pathnow()).
//   depth (in)  the updates of the reduction left pending, 1 to maxdepth;
//               0 (the default) takes reducedepth.
//   prog (in,out) null, or the progress of the decomposition: each step
//               adds its share of the whole.
//   choice (out) null, or how the passes from order reducefrom on were
//               shared (pcnm.h).
// The passes are shared or not as sharingnow().reduceway says; measured,
// the first passes from reducefrom on are timed each way and the faster
// kept (reducestep, reduce.cpp).
void tred2(double* a, int n, int np, double* d, double* e, double* w, int path, int depth,
           progress* prog, reducechoice* choice)
{
    if (depth > maxdepth) depth = maxdepth;
    const int cycle = depth > 0 ? depth : reducedepth;
    reducing way = startreduce(cycle);
    auto col = [=](int k) { return a + size_t(k) * np; };

    // Row n-1 mirrored into column n-1: the first step reads it there.
    for (int j = 0; j < n - 1; ++j) a[j + size_t(n - 1) * np] = a[(n - 1) + size_t(j) * np];

    // Reduction, from the last row, on the lower triangle of the active
    // block.  Step i (0-based) works on column i, where the pass before
    // mirrored row i: it applies the update of step i+1 to it, finds the
    // Householder vector u in place, and in one pass over the block
    // applies the pending updates, accumulates g = block times u and
    // mirrors the next row.  The pass writes the block back when depth
    // updates are pending, and the count starts again from none.
    // The part of e not yet final holds g.  The work matrix keeps, for the
    // accumulation, u in column i above the diagonal, u / h in column n-1-i
    // below it, and the diagonal of the tridiagonal matrix on its own;
    // column i of a, above the diagonal, keeps the updated e of step i while
    // its update is pending.
    pending pd{};
    const double* pu = nullptr;  // the update of the step before, if any
    const double* pq = nullptr;
    // Step i works on a triangle of order i: its share of the reduction.
    const double reducework = double(n - 1) * n * (2.0 * n - 1) / 6;
    for (int i = n - 1; i >= 1; --i) {
        int l = i;
        double* ci = col(i);
        if (pu) updaterow(path, ci, i + 1, pu, pq, pu[i], pq[i]);
        w[i + size_t(i) * np] = ci[i];
        double h = 0;
        double scale = 0;
        bool transform = false;
        if (l > 1) {
            for (int k = 0; k < l; ++k) scale = scale + std::fabs(ci[k]);
            if (std::fabs(scale) < tolerance) {
                e[i] = ci[l - 1];
            } else {
                for (int k = 0; k < l; ++k) {
                    ci[k] = ci[k] / scale;
                    h = h + ci[k] * ci[k];
                }
                double f = ci[l - 1];
                double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h = h - f * g;
                ci[l - 1] = f - g;
                transform = true;
            }
        } else {
            e[i] = ci[l - 1];
        }
        double* g = transform ? e : nullptr;
        bool keep = pd.count >= cycle;
        reducestep(way, path, a, np, l, pd, keep, ci, g);
        if (keep) pd.count = 0;
        if (transform) {
            // e(j) = g(j) / h, then e(j) - hh u(j): the update of this step
            double f = 0;
            for (int j = 0; j < l; ++j) {
                g[j] = g[j] / h;
                f = f + g[j] * ci[j];
            }
            double hh = f / (h + h);
            for (int j = 0; j < l; ++j) g[j] = g[j] - hh * ci[j];
            double* u = w + size_t(i) * np;
            double* uh = w + size_t(n - 1 - i) * np + (n - i);
            for (int j = 0; j < l; ++j) {
                u[j] = ci[j];
                uh[j] = ci[j] / h;
                ci[j] = g[j];
            }
            pu = u;
            pq = ci;
            pd.u[pd.count] = pu;
            pd.q[pd.count] = pq;
            pd.count = pd.count + 1;
        } else {
            pu = nullptr;
            pq = nullptr;
        }
        d[i] = h;
        tick(prog, "reduction", sharereduce * double(i) * i / reducework);
        if (stopped(prog)) return;
    }
    w[0] = a[0];
    if (choice) {
        choice->way = way.way;
        choice->timed = way.timed;
        choice->alone = way.alone;
        choice->shared = way.shared;
    }

    accumulate(a, n, np, d, e, w, path, prog);
}

void tred2(double* a, int n, int np, double* d, double* e, double* w)
{
    tred2(a, n, np, d, e, w, pathnow());
}
