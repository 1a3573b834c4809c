// Principal coordinate analysis of a distance matrix, with Gower centring.
// The loops run down the columns (unit stride) wherever the literal order
// walks along rows; every sum keeps its order of terms.  The threads share
// the columns of the centring.
#include <cmath>
#include <cstring>

#include "pcnm.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"
#include "textio/textio.h"

namespace {

// Square tiles of the loops that touch a(i, j) and a(j, i) together.
const int tile = 32;

// halfsq: x(i, j) = x(j, i) = -(d(i, j) d(i, j) 0.5) for i < j <= n, and
//   x(i, i) = 0 (both matrices maxn x n; only d(i, j), i < j, is read).
void halfsq(int n, int maxn, const double* d, double* x)
{
    for (int j0 = 0; j0 < n; j0 += tile) {
        int j1 = j0 + tile < n ? j0 + tile : n;
        for (int i0 = 0; i0 <= j0; i0 += tile) {
            int i1 = i0 + tile < n ? i0 + tile : n;
            for (int j = j0; j < j1; ++j) {
                for (int i = i0; i < i1 && i < j; ++i) {
                    double dij = d[i + size_t(j) * maxn];
                    double v = -(dij * dij * 0.5);
                    x[i + size_t(j) * maxn] = v;
                    x[j + size_t(i) * maxn] = v;
                }
            }
        }
    }
    for (int i = 0; i < n; ++i) x[i + size_t(i) * maxn] = 0;
}

// centrecols: the centring of columns k0..k1-1 of a (leading dimension
//   np, n rows): a(i, k) = a(i, k) - mean(i) - mean(k) + grand, W rows at a
//   time.
template <typename V>
struct centrecols {
    static inline __attribute__((always_inline)) void run(double* a, const double* mean, int n,
                                                          int np, int k0, int k1, double grand)
    {
        const int W = width<V>();
        for (int k = k0; k < k1; ++k) {
            double* c = a + size_t(k) * np;
            double mk = mean[k];
            int i = 0;
            for (; i + W <= n; i += W) {
                V x, m;
                load(x, c + i);
                load(m, mean + i);
                store(c + i, x - m - mk + grand);
            }
            for (; i < n; ++i) c[i] = c[i] - mean[i] - mk + grand;
        }
    }
};

}  // namespace

// gower
//   a    (in,out) np x n symmetric matrix; on return centred: a(i, j) minus
//                 mean i minus mean j plus the grand mean.
//   mean (out)    n elements: the column means of a before centring.
//   n    (in)     order of the matrix.
//   np   (in)     leading dimension of a.
//   path (in)     the vector path of the centring (the default: pathnow()).
void gower(double* a, double* mean, int n, int np, int path)
{
    // The threads share the columns, four by four: every column sum, and
    // every centred element, is computed on its own.
    const int p = shares(n, (n + 3) / 4), pc = pieces(p);

    // Column sums, each from 0 down its column, four columns side by side.
    auto sums = [&](int t) {
        int j = split(n, pc, t, 4);
        int end = split(n, pc, t + 1, 4);
        for (; j + 4 <= end; j += 4) {
            const double* c = a + size_t(j) * np;
            double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
            for (int i = 0; i < n; ++i) {
                s0 = s0 + c[i];
                s1 = s1 + c[i + np];
                s2 = s2 + c[i + 2 * size_t(np)];
                s3 = s3 + c[i + 3 * size_t(np)];
            }
            mean[j] = s0;
            mean[j + 1] = s1;
            mean[j + 2] = s2;
            mean[j + 3] = s3;
        }
        for (; j < end; ++j) {
            const double* c = a + size_t(j) * np;
            double s = 0;
            for (int i = 0; i < n; ++i) s = s + c[i];
            mean[j] = s;
        }
    };
    share(p, pc, sums);

    // Grand sum, and the sums turned into means.
    double grand = 0;
    for (int k = 0; k < n; ++k) {
        grand = grand + mean[k];
        mean[k] = mean[k] / double(n);
    }
    grand = grand / double(n);
    grand = grand / double(n);

    // Centring; the row means are the column means of the symmetric matrix.
    auto centre = [&](int t) {
        int k0 = split(n, pc, t, 4), k1 = split(n, pc, t + 1, 4);
        onpath<centrecols>(path, a, mean, n, np, k0, k1, grand);
    };
    share(p, pc, centre);
}

void gower(double* a, double* mean, int n, int np)
{
    gower(a, mean, n, np, pathnow());
}

// sorteig
//   n    (in)     number of eigenvalues.
//   eig  (in,out) n elements, sorted into decreasing order (up to the
//                 tolerance, see pcnm.h).
//   perm (out)    n elements: perm(i) is the position before the sort of
//                 the eigenvalue now at i.
void sorteig(int n, double* eig, int* perm)
{
    for (int i = 0; i < n; ++i) perm[i] = i + 1;
    for (int j = 1; j < n; ++j) {
        double a = eig[j];
        int p = perm[j];
        int i = j - 1;
        for (; i >= 0; --i) {
            if (eig[i] - a > tolerance) break;
            eig[i + 1] = eig[i];
            perm[i + 1] = perm[i];
        }
        eig[i + 1] = a;
        perm[i + 1] = p;
    }
}

// arrange
//   n    (in)     number of columns.
//   ld   (in)     leading dimension of x.
//   x    (in,out) ld x n; column k becomes the old column perm(k) times the
//                 single-precision factor float(sqrt(|eig(k)|)).
//   perm (in)     n elements, a permutation of 1..n.
//   eig  (in)     n elements.
//   row  (work)   n elements: one column while a cycle of perm is moved.
// The columns move cycle by cycle of the permutation, each cycle from its
// smallest index, so that every column is read once and written once.
void arrange(int n, int ld, double* x, const int* perm, const double* eig, double* row)
{
    auto col = [=](int k) { return x + size_t(k - 1) * ld; };
    auto factor = [=](int k) {
        double v = eig[k - 1];
        double root = v > 0 ? std::sqrt(v) : std::sqrt(-v);
        return double(float(root));
    };
    for (int s = 1; s <= n; ++s) {
        int j = perm[s - 1];
        while (j > s) j = perm[j - 1];
        if (j < s) continue;  // the cycle was moved from a smaller index
        if (perm[s - 1] == s) {
            double f = factor(s);
            double* c = col(s);
            for (int i = 0; i < n; ++i) c[i] = c[i] * f;
            continue;
        }
        std::memcpy(row, col(s), size_t(n) * sizeof(double));
        for (int k = s;;) {
            int from = perm[k - 1];
            const double* src = from == s ? row : col(from);
            double f = factor(k);
            double* c = col(k);
            for (int i = 0; i < n; ++i) c[i] = src[i] * f;
            if (from == s) break;
            k = from;
        }
    }
}

// pcoa
//   n      (in)  number of objects, 1 <= n <= maxn.
//   maxn   (in)  leading dimension of d, x and work.
//   perm   (out) n elements: perm(i) is the position, in the solver's
//                output, of the eigenvalue now at position i.
//   d      (in)  maxn x n distances; only d(i, j), i < j, is read.
//   eig    (out) n elements: the eigenvalues of the centred matrix, largest
//                first.
//   off    (work) n elements: the solver's sub-diagonal.
//   x      (out) maxn x n; column k the principal coordinate of eigenvalue
//                k: its unit eigenvector times float(sqrt(|eig(k)|)).
//   mean   (work) n elements: the column means of the centring.
//   row    (work) n elements: one column while the columns are reordered.
//   npos   (out) the number of leading eigenvalues not below postol.
//   sums   (out) the sums of the positive and of the negative eigenvalues,
//                and the trace of the centred matrix.
//   work   (work) maxn x n: the eigen-solver's work matrix, content lost.
//   prog   (in,out) null, or the progress of the decomposition, begun by
//                the caller.
// May throw runstop from tqli.
void pcoa(int n, int maxn, int* perm, const double* d, double* eig, double* off,
          double* x, double* mean, double* row, int& npos, pcoasums& sums, double* work,
          progress* prog)
{
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + size_t(j - 1) * maxn]; };
    auto Eig = [=](int i) -> double& { return eig[i - 1]; };
    auto Off = [=](int i) -> double& { return off[i - 1]; };

    // Minus half the squared distances, zero diagonal.
    halfsq(n, maxn, d, x);

    gower(x, mean, n, maxn);

    // Trace, before the decomposition destroys the matrix.
    double trace = 0;
    for (int i = 1; i <= n; ++i) trace = trace + X(i, i);

    for (int i = 1; i <= n; ++i) {
        Eig(i) = 0;
        Off(i) = 0;
    }
    const int path = pathnow();
    tred2(x, n, maxn, eig, off, work, path, 0, prog);
    if (prog && prog->stop) return;
    tqli(eig, off, n, maxn, x, work, path, prog);
    if (prog && prog->stop) return;

    sorteig(n, eig, perm);
    arrange(n, maxn, x, perm, eig, row);

    double possum = 0;
    double negsum = 0;
    for (int k = 1; k <= n; ++k) {
        if (Eig(k) >= 0)
            possum = possum + Eig(k);
        else
            negsum = negsum + Eig(k);
    }
    sums.possum = possum;
    sums.negsum = negsum;
    sums.trace = trace;

    // The trailing eigenvalues below postol are not PCNM variables.
    int small = 0;
    for (int k = n; k >= 1 && Eig(k) < postol; --k) small = small + 1;
    npos = n - small;
}
