// Principal coordinate analysis of a distance matrix, with Gower centring.
#include <cmath>

#include "pcnm.h"
#include "textio/textio.h"

// gower
//   a    (in,out) np x n symmetric matrix; on return centred: a(i, j) minus
//                 mean i minus mean j plus the grand mean.
//   mean (out)    n elements: the column means of a before centring.
//   n    (in)     order of the matrix.
//   np   (in)     leading dimension of a.
void gower(double* a, double* mean, int n, int np)
{
    auto A = [=](int i, int j) -> double& { return a[(i - 1) + (j - 1) * np]; };
    auto M = [=](int i) -> double& { return mean[i - 1]; };

    // Column sums.
    for (int j = 1; j <= n; ++j) M(j) = 0;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) M(j) = M(j) + A(i, j);

    // Grand sum, and the sums turned into means.
    double grand = 0;
    for (int j = 1; j <= n; ++j) {
        grand = grand + M(j);
        M(j) = M(j) / double(n);
    }
    grand = grand / double(n);
    grand = grand / double(n);

    // Centring; the row means are the column means of the symmetric matrix.
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) A(i, j) = A(i, j) - M(i) - M(j) + grand;
}

// pcoa
//   n      (in)  number of objects, 1 <= n <= maxn.
//   maxn   (in)  leading dimension of d and x.
//   perm   (out) n elements: perm(i) is the position, in the solver's
//                output, of the eigenvalue now at position i.
//   d      (in)  maxn x n distances; only d(i, j), i < j, is read.
//   eig    (out) n elements: the eigenvalues of the centred matrix, largest
//                first.
//   off    (work) n elements: the solver's sub-diagonal.
//   x      (out) maxn x n; column k the principal coordinate of eigenvalue
//                k: its unit eigenvector times float(sqrt(|eig(k)|)).
//   mean   (work) n elements: the column means of the centring.
//   row    (work) n elements: one row while the columns are reordered.
//   npos   (out) the number of leading eigenvalues not below postol.
//   report (in,out) receives the sums, the trace and npos.
// May throw runstop from tqli.
void pcoa(int n, int maxn, int* perm, const double* d, double* eig, double* off,
          double* x, double* mean, double* row, int& npos, stream& report)
{
    static const layout sums = fmt(
        "(/,' Sum of positive eigenvalues         ',F15.5,/,"
        "' Sum of negative eigenvalues         ',F15.5,/,"
        "' Trace of Gower-centred matrix       ',F15.5)");
    static const layout count = fmt("(/,' Number of positive eigenvalues:',I4,/)");

    auto Dist = [=](int i, int j) { return d[(i - 1) + (j - 1) * maxn]; };
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + (j - 1) * maxn]; };
    auto Eig = [=](int i) -> double& { return eig[i - 1]; };
    auto Off = [=](int i) -> double& { return off[i - 1]; };
    auto Perm = [=](int i) -> int& { return perm[i - 1]; };
    auto Row = [=](int i) -> double& { return row[i - 1]; };

    // Minus half the squared distances, zero diagonal.
    for (int i = 1; i <= n - 1; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            X(i, j) = -(Dist(i, j) * Dist(i, j) * 0.5);
            X(j, i) = X(i, j);
        }
    }
    for (int i = 1; i <= n; ++i) X(i, i) = 0;

    gower(x, mean, n, maxn);

    // Trace, before the decomposition destroys the matrix.
    double trace = 0;
    for (int i = 1; i <= n; ++i) trace = trace + X(i, i);

    for (int i = 1; i <= n; ++i) {
        Eig(i) = 0;
        Off(i) = 0;
    }
    tred2(x, n, maxn, eig, off);
    tqli(eig, off, n, maxn, x);

    // Straight insertion into decreasing order: an eigenvalue moves ahead of
    // every earlier one that does not exceed it by more than the tolerance.
    for (int i = 1; i <= n; ++i) Perm(i) = i;
    for (int j = 2; j <= n; ++j) {
        double a = Eig(j);
        int p = Perm(j);
        int i = j - 1;
        for (; i >= 1; --i) {
            if (Eig(i) - a > tolerance) break;
            Eig(i + 1) = Eig(i);
            Perm(i + 1) = Perm(i);
        }
        Eig(i + 1) = a;
        Perm(i + 1) = p;
    }

    // Eigenvector columns into the same order, row by row.
    for (int k = 1; k <= n; ++k) {
        for (int i = 1; i <= n; ++i) Row(i) = X(k, i);
        for (int i = 1; i <= n; ++i) X(k, i) = Row(Perm(i));
    }

    // Scaling by the square root of |eigenvalue|, held in single precision.
    for (int k = 1; k <= n; ++k) {
        double root = Eig(k) > 0 ? std::sqrt(Eig(k)) : std::sqrt(-Eig(k));
        double factor = double(float(root));
        for (int i = 1; i <= n; ++i) X(i, k) = X(i, k) * factor;
    }

    double possum = 0;
    double negsum = 0;
    for (int k = 1; k <= n; ++k) {
        if (Eig(k) >= 0)
            possum = possum + Eig(k);
        else
            negsum = negsum + Eig(k);
    }
    wlist(report);
    wfmt(report, sums, {possum, negsum, trace});

    // The trailing eigenvalues below postol are not PCNM variables.
    int small = 0;
    for (int k = n; k >= 1 && Eig(k) < postol; --k) small = small + 1;
    npos = n - small;
    wfmt(report, count, {npos});
}
