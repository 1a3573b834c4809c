#include "poly.h"

namespace {

// Element (i, j) of a matrix stored by columns, counted from 1.
inline double& at(double* x, int ld, int i, int j) { return x[(i - 1) + (j - 1) * ld]; }

// power: v to the exponent e >= 0 by square and multiply, walking the bits
// of e from the lowest; every product is rounded to the precision of T
// (double for one coordinate, float for two).  e = 0 gives 1.
template <typename T>
T power(T v, int e)
{
    T result = 1;
    T factor = v;
    while (e > 0) {
        if (e & 1) result = result * factor;
        e >>= 1;
        if (e > 0) factor = factor * factor;
    }
    return result;
}

// centre: subtracts from rows 1..n of column j of x its mean over those
// rows (summed in row order, then divided by n).
void centre(int n, int j, int ld, double* x)
{
    double sum = 0;
    for (int i = 1; i <= n; ++i) sum += at(x, ld, i, j);
    double mean = sum / n;
    for (int i = 1; i <= n; ++i) at(x, ld, i, j) -= mean;
}

}  // namespace

int nmono(int ncoord, int order)
{
    if (ncoord == 1) return order;
    return order * (order + 3) / 2;
}

void monomials(int n, int ncoord, int order, int ld, double* x)
{
    if (n < 1) return;
    centre(n, 1, ld, x);
    if (ncoord != 1) centre(n, 2, ld, x);

    if (ncoord == 1) {
        // Column k holds x^k in double precision.
        for (int i = 1; i <= n; ++i) {
            double v = at(x, ld, i, 1);
            for (int k = 1; k <= order; ++k) at(x, ld, i, k) = power(v, k);
        }
        return;
    }

    // Power of x outer, power of y inner, constant left out; the powers from
    // the coordinates rounded to float, their product exact in double.
    for (int i = 1; i <= n; ++i) {
        float fx = float(at(x, ld, i, 1));
        float fy = float(at(x, ld, i, 2));
        int col = 1;
        for (int a = 0; a <= order; ++a) {
            for (int b = 0; b <= order; ++b) {
                if (a + b < 1 || a + b > order) continue;
                at(x, ld, i, col) = double(power(fx, a)) * double(power(fy, b));
                ++col;
            }
        }
    }
}
