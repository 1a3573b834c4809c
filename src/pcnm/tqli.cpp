// QL with implicit shifts (tqli) on the tridiagonal matrix of tred2.  The
// plane rotations are computed from d and e alone and recorded in the work
// matrix; rotate.cpp applies them to z, the threads sharing its rows.
#include <cmath>

#include "eigen.h"
#include "threads.h"
#include "vecpath.h"

namespace {

// QL iterations allowed for one eigenvalue.
const int maxiter = 50;

// Rotations recorded before they are applied, as doubles: a megabyte, the
// second-level cache, holds some 64 sweeps of 1000 rotations.
const int batchsize = 1 << 17;

}  // namespace

// tqli
//   d  (in,out) n elements: the diagonal from tred2; on return the
//               eigenvalues, in no particular order.
//   e  (in)     n elements: the sub-diagonal from tred2 (e(i) couples rows
//               i-1 and i); destroyed.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of z and w.
//   z  (in,out) np x n; the transformation from tred2; on return column k is
//               the unit eigenvector of eigenvalue k.
//   w  (work)   np x n: the recorded rotations; its content means nothing.
//   path (in)   path_avx512, path_avx2 or path_base (the default:
//               pathnow()).
//   prog (in,out) as for tred2.
// Throws runstop{0, "Too many iterations in TQLI"} when an eigenvalue needs
// more than maxiter iterations; z then holds every rotation made before.
void tqli(double* d, double* e, int n, int np, double* z, double* w, int path, progress* prog)
{
    auto D = [=](int i) -> double& { return d[i - 1]; };
    auto E = [=](int i) -> double& { return e[i - 1]; };

    if (n <= 1) return;

    // The record of a batch of sweeps: at most cap doubles, never less than
    // one sweep of n - 1 rotations.
    size_t cap = size_t(np) * size_t(n);
    size_t want = size_t(batchsize) > size_t(2 * n) ? size_t(batchsize) : size_t(2 * n);
    if (cap > want) cap = want;
    double* rec = w;
    // The rows of z are independent: the threads share them, in pieces of
    // whole blocks of the rotations' kernel.
    const int blockrows = blockvecs * pathwidth(path);
    const int p = shares(n, (n + blockrows - 1) / blockrows);
    const int pc = pieces(p);
    auto flush = [&]() {
        if (rec == w) return;
        auto rows = [&](int t) {
            int r0 = split(n, pc, t, blockrows), r1 = split(n, pc, t + 1, blockrows);
            rotations(path, z + r0, r1 - r0, np, w, rec);
        };
        share(p, pc, rows);
        rec = w;
    };

    // Renumber the sub-diagonal: e(i) now couples rows i and i+1.
    for (int i = 2; i <= n; ++i) E(i - 1) = E(i);
    E(n) = 0;

    for (int l = 1; l <= n; ++l) {
        int iter = 0;
        for (;;) {
            // Look for a negligible sub-diagonal element to split the matrix.
            int m = l;
            while (m <= n - 1 && !(std::fabs(E(m)) < tolerance)) ++m;
            if (m == l) break;
            if (iter == maxiter) {
                flush();
                throw runstop{0, "Too many iterations in TQLI"};
            }
            iter = iter + 1;

            // Shift from the leading 2 x 2 block.
            double g = (D(l + 1) - D(l)) / (2.0 * E(l));
            double r = std::sqrt(g * g + 1.0);
            if (g >= 0)
                g = D(m) - D(l) + E(l) / (g + r);
            else
                g = D(m) - D(l) + E(l) / (g - r);

            // Plane rotations from m-1 up to l, chasing the bulge; each is
            // recorded for columns i and i+1 (0-based i-1 and i).
            if (size_t(rec - w) + 2 + 2 * size_t(m - l) > cap) flush();
            rec[0] = m - 1;
            rec[1] = l - 1;
            rec += 2;
            double s = 1;
            double c = 1;
            double p = 0;
            for (int i = m - 1; i >= l; --i) {
                double f = s * E(i);
                double b = c * E(i);
                if (std::fabs(f) - std::fabs(g) > -tolerance) {
                    c = g / f;
                    r = std::sqrt(c * c + 1.0);
                    E(i + 1) = f * r;
                    s = 1.0 / r;
                    c = c * s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1.0);
                    E(i + 1) = g * r;
                    c = 1.0 / r;
                    s = s * c;
                }
                g = D(i + 1) - p;
                r = (D(i) - g) * s + 2.0 * c * b;
                p = s * r;
                D(i + 1) = g + p;
                g = c * r - b;
                rec[0] = c;
                rec[1] = s;
                rec += 2;
            }
            D(l) = D(l) - p;
            E(l) = g;
            E(m) = 0;
        }
        // Eigenvalue l's rotations reach rows l to n: about 2 (n - l) + 1
        // of the n^2 in all.
        tick(prog, "eigenvectors", sharerotate * (2.0 * (n - l) + 1) / (double(n) * n));
        if (stopped(prog)) return;
    }
    flush();
}

void tqli(double* d, double* e, int n, int np, double* z, double* w)
{
    tqli(d, e, n, np, z, w, pathnow());
}
