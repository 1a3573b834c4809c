// The literal eigen-solver and principal coordinate analysis, kept as the
// definition that the fast kernels of src/pcnm are measured against.
#include "literal.h"

#include <cmath>

#include "pcnm/pcnm.h"
#include "textio/textio.h"

namespace literal {

namespace {

// QL iterations allowed for one eigenvalue.
const int maxiter = 50;

}  // namespace

void tred2(double* a, int n, int np, double* d, double* e)
{
    auto A = [=](int i, int j) -> double& { return a[(i - 1) + (j - 1) * np]; };
    auto D = [=](int i) -> double& { return d[i - 1]; };
    auto E = [=](int i) -> double& { return e[i - 1]; };

    // Reduction: row i, from the last, is annihilated left of the sub-diagonal.
    for (int i = n; i >= 2; --i) {
        int l = i - 1;
        double h = 0;
        double scale = 0;
        if (l > 1) {
            for (int k = 1; k <= l; ++k) scale = scale + std::fabs(A(i, k));
            if (std::fabs(scale) < tolerance) {
                E(i) = A(i, l);
            } else {
                for (int k = 1; k <= l; ++k) {
                    A(i, k) = A(i, k) / scale;
                    h = h + A(i, k) * A(i, k);
                }
                double f = A(i, l);
                double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
                E(i) = scale * g;
                h = h - f * g;
                A(i, l) = f - g;
                f = 0;
                for (int j = 1; j <= l; ++j) {
                    A(j, i) = A(i, j) / h;
                    g = 0;
                    for (int k = 1; k <= j; ++k) g = g + A(j, k) * A(i, k);
                    for (int k = j + 1; k <= l; ++k) g = g + A(k, j) * A(i, k);
                    E(j) = g / h;
                    f = f + E(j) * A(i, j);
                }
                double hh = f / (h + h);
                for (int j = 1; j <= l; ++j) {
                    f = A(i, j);
                    g = E(j) - hh * f;
                    E(j) = g;
                    for (int k = 1; k <= j; ++k) A(j, k) = A(j, k) - f * E(k) - g * A(i, k);
                }
            }
        } else {
            E(i) = A(i, l);
        }
        D(i) = h;
    }

    // Accumulation of the transformations, row by row from the first.
    D(1) = 0;
    E(1) = 0;
    for (int i = 1; i <= n; ++i) {
        int l = i - 1;
        if (std::fabs(D(i)) > tolerance) {
            for (int j = 1; j <= l; ++j) {
                double g = 0;
                for (int k = 1; k <= l; ++k) g = g + A(i, k) * A(k, j);
                for (int k = 1; k <= l; ++k) A(k, j) = A(k, j) - g * A(k, i);
            }
        }
        D(i) = A(i, i);
        A(i, i) = 1;
        for (int j = 1; j <= l; ++j) {
            A(i, j) = 0;
            A(j, i) = 0;
        }
    }
}

void tqli(double* d, double* e, int n, int np, double* z)
{
    auto Z = [=](int i, int j) -> double& { return z[(i - 1) + (j - 1) * np]; };
    auto D = [=](int i) -> double& { return d[i - 1]; };
    auto E = [=](int i) -> double& { return e[i - 1]; };

    if (n <= 1) return;

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
            if (iter == maxiter) throw runstop{0, "Too many iterations in TQLI"};
            iter = iter + 1;

            // Shift from the leading 2 x 2 block.
            double g = (D(l + 1) - D(l)) / (2.0 * E(l));
            double r = std::sqrt(g * g + 1.0);
            if (g >= 0)
                g = D(m) - D(l) + E(l) / (g + r);
            else
                g = D(m) - D(l) + E(l) / (g - r);

            // Plane rotations from m-1 up to l, chasing the bulge.
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
                for (int k = 1; k <= n; ++k) {
                    f = Z(k, i + 1);
                    Z(k, i + 1) = s * Z(k, i) + c * f;
                    Z(k, i) = c * Z(k, i) - s * f;
                }
            }
            D(l) = D(l) - p;
            E(l) = g;
            E(m) = 0;
        }
    }
}

void distances(int ntot, int ncoord, int ld, const double* x, double* d)
{
    auto X = [=](int i, int k) { return x[(i - 1) + (k - 1) * ld]; };
    auto D = [=](int i, int j) -> double& { return d[(i - 1) + (j - 1) * ld]; };

    for (int i = 1; i <= ntot - 1; ++i) {
        for (int j = i + 1; j <= ntot; ++j) {
            double sum = 0;
            for (int k = 1; k <= ncoord; ++k) sum = sum + (X(i, k) - X(j, k)) * (X(i, k) - X(j, k));
            D(j, i) = std::sqrt(sum);
        }
    }
}

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

void sorteig(int n, double* eig, int* perm)
{
    auto Eig = [=](int i) -> double& { return eig[i - 1]; };
    auto Perm = [=](int i) -> int& { return perm[i - 1]; };

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
}

void reorder(int n, int ld, double* x, const int* perm, double* row)
{
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + (j - 1) * ld]; };
    auto Perm = [=](int i) { return perm[i - 1]; };
    auto Row = [=](int i) -> double& { return row[i - 1]; };

    // Eigenvector columns into the same order, row by row.
    for (int k = 1; k <= n; ++k) {
        for (int i = 1; i <= n; ++i) Row(i) = X(k, i);
        for (int i = 1; i <= n; ++i) X(k, i) = Row(Perm(i));
    }
}

void scalecols(int n, int ld, double* x, const double* eig)
{
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + (j - 1) * ld]; };
    auto Eig = [=](int i) { return eig[i - 1]; };

    // Scaling by the square root of |eigenvalue|, held in single precision.
    for (int k = 1; k <= n; ++k) {
        double root = Eig(k) > 0 ? std::sqrt(Eig(k)) : std::sqrt(-Eig(k));
        double factor = double(float(root));
        for (int i = 1; i <= n; ++i) X(i, k) = X(i, k) * factor;
    }
}

void pcoa(int n, int maxn, int* perm, const double* d, double* eig, double* off, double* x,
          double* mean, double* row, int& npos, pcoasums& sums)
{
    auto Dist = [=](int i, int j) { return d[(i - 1) + (j - 1) * maxn]; };
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + (j - 1) * maxn]; };
    auto Eig = [=](int i) -> double& { return eig[i - 1]; };
    auto Off = [=](int i) -> double& { return off[i - 1]; };

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
    sorteig(n, eig, perm);
    reorder(n, maxn, x, perm, row);
    scalecols(n, maxn, x, eig);

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

void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld)
{
    auto A = [=](int i, int k) { return a[(i - 1) + (k - 1) * ld]; };
    auto B = [=](int k, int j) { return b[(k - 1) + (j - 1) * ld]; };
    auto P = [=](int i, int j) -> double& { return p[(i - 1) + (j - 1) * ld]; };

    for (int i = 1; i <= l; ++i) {
        for (int j = 1; j <= n; ++j) {
            double sum = 0;
            for (int k = 1; k <= m; ++k) sum = sum + A(i, k) * B(k, j);
            P(i, j) = sum;
        }
    }
}

int correl(int n, int m, double* x, int maxn, double* sum, double* sumsq, double* mean,
           double* sd, double* corlin, double* xprime, double& largest)
{
    auto X = [=](int i, int j) -> double& { return x[(i - 1) + (j - 1) * maxn]; };
    auto C = [=](int i, int j) -> double& { return corlin[(i - 1) + (j - 1) * maxn]; };
    auto XP = [=](int i, int j) -> double& { return xprime[(i - 1) + (j - 1) * maxn]; };
    auto Sum = [=](int j) -> double& { return sum[j - 1]; };
    auto Sumsq = [=](int j) -> double& { return sumsq[j - 1]; };
    auto Mean = [=](int j) -> double& { return mean[j - 1]; };
    auto Sd = [=](int j) -> double& { return sd[j - 1]; };

    // Column sums and sums of squares, object by object.
    for (int j = 1; j <= m; ++j) {
        Sum(j) = 0;
        Sumsq(j) = 0;
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            Sum(j) = Sum(j) + X(i, j);
            Sumsq(j) = Sumsq(j) + X(i, j) * X(i, j);
        }
    }

    // Means and standard deviations by the one-pass formula.
    for (int j = 1; j <= m; ++j) {
        Mean(j) = Sum(j) / double(n);
        double num = Sumsq(j) - Sum(j) * Sum(j) / double(n);
        if (num < 0 || n == 1)
            Sd(j) = 0;
        else
            Sd(j) = std::sqrt(num / double(n - 1));
    }

    for (int j = 1; j <= m; ++j) {
        if (Sd(j) < tolerance) return j;
    }

    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) X(i, j) = (X(i, j) - Mean(j)) / Sd(j);

    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) XP(j, i) = X(i, j);

    produit(xprime, x, corlin, m, n, m, maxn);

    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= m; ++j) C(i, j) = C(i, j) / double(n - 1);

    // Largest absolute correlation over the upper triangle.
    largest = 0;
    for (int i = 1; i <= m - 1; ++i)
        for (int k = i + 1; k <= m; ++k)
            if (std::fabs(C(i, k)) >= largest) largest = std::fabs(C(i, k));

    return 0;
}

}  // namespace literal
