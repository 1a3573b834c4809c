// The standardisation and correlation check of correl (pcnm.h) for the K
// leading variables of a large survey: the same sums in the same order,
// without correl's transpose of n x n storage.
#include <cmath>
#include <vector>

#include "first.h"
#include "pcnm/pcnm.h"
#include "pcnm/threads.h"

// stdcols
//   n, m (in) rows and columns of the block; ld (in) its leading dimension.
//   x (in,out) ld x m by columns; the block standardised.
//   sum, sumsq, mean, sd (out) m elements each, as correl leaves them.
//   largest (out) the largest absolute correlation of two columns: each
//     sum of products from 0 in increasing row, divided by n - 1.
// Returns 0, or the first column (from 1) whose standard deviation is
// below tolerance (the block then unstandardised, largest unset).
int stdcols(int n, int m, double* x, int ld, double* sum, double* sumsq, double* mean, double* sd,
            double& largest)
{
    auto col = [=](int j) { return x + size_t(j) * size_t(ld); };
    for (int j = 0; j < m; ++j) {
        const double* c = col(j);
        double s = 0, q = 0;
        for (int i = 0; i < n; ++i) {
            s = s + c[i];
            q = q + c[i] * c[i];
        }
        sum[j] = s;
        sumsq[j] = q;
        mean[j] = s / double(n);
        double num = q - s * s / double(n);
        sd[j] = num < 0 || n == 1 ? 0 : std::sqrt(num / double(n - 1));
    }
    for (int j = 0; j < m; ++j)
        if (sd[j] < tolerance) return j + 1;
    for (int j = 0; j < m; ++j) {
        double* c = col(j);
        for (int i = 0; i < n; ++i) c[i] = (c[i] - mean[j]) / sd[j];
    }
    // The correlations of column j with the later ones, column by column.
    std::vector<double> top(size_t(m > 0 ? m : 1), 0.0);
    const int parts = pieces(shares(n, m));
    auto job = [&](int t) {
        int j0 = split(m, parts, t, 1), j1 = split(m, parts, t + 1, 1);
        for (int j = j0; j < j1; ++j) {
            const double* a = col(j);
            double best = 0;
            for (int k = j + 1; k < m; ++k) {
                const double* b = col(k);
                double s = 0;
                for (int i = 0; i < n; ++i) s = s + a[i] * b[i];
                double r = std::fabs(s / double(n - 1));
                if (r >= best) best = r;
            }
            top[size_t(j)] = best;
        }
    };
    share(threads(), parts, job);
    largest = 0;
    for (int j = 0; j < m; ++j)
        if (top[size_t(j)] >= largest) largest = top[size_t(j)];
    return 0;
}
