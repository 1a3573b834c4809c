// Symmetric eigen-solver: Householder reduction to tridiagonal form (tred2)
// and QL with implicit shifts (tqli).  Every negligibility test is absolute,
// against the single-precision tolerance.
#include <cmath>

#include "pcnm.h"

namespace {

// QL iterations allowed for one eigenvalue.
const int maxiter = 50;

}  // namespace

// tred2
//   a  (in,out) np x n; on entry the symmetric matrix (diagonal and lower
//               triangle read, upper triangle overwritten); on return the
//               orthogonal transformation that reduces it.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of a.
//   d  (out)    n elements: the diagonal of the tridiagonal matrix.
//   e  (out)    n elements: e(i) = element (i, i-1) for i = 2..n; e(1) = 0.
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

// tqli
//   d  (in,out) n elements: the diagonal from tred2; on return the
//               eigenvalues, in no particular order.
//   e  (in)     n elements: the sub-diagonal from tred2 (e(i) couples rows
//               i-1 and i); destroyed.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of z.
//   z  (in,out) np x n; the transformation from tred2; on return column k is
//               the unit eigenvector of eigenvalue k.
// Throws runstop{0, "Too many iterations in TQLI"} when an eigenvalue needs
// more than maxiter iterations.
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
