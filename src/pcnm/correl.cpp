// Correlation check of the PCNM variables over the main objects, when
// supplementary objects took part in their computation.  The loops run
// down the columns and the product in blocks held in registers, the
// threads sharing its columns; every sum keeps the order of its terms.
#include <cmath>

#include "pcnm.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"
#include "textio/textio.h"

namespace {

// Rows of a taken together by the product's kernel, as vectors, and
// columns of b.
const int prodvecs = 4;
const int prodcols = 2;

// prodblock: p(i, j) = sum over k < m of a(i, k) b(k, j), from 0 in
//   increasing k, for the R = B * width rows i from row 0 of a and p and
//   the C columns j from column 0 of b and p (leading dimension ld), the
//   sums held in registers while k runs.
template <typename V, int B, int C>
inline __attribute__((always_inline)) void prodblock(const double* a, const double* b, double* p,
                                                     int m, int ld)
{
    const int W = width<V>();
    V acc[B][C];
    for (int v = 0; v < B; ++v)
        for (int j = 0; j < C; ++j) acc[v][j] = V{};
    for (int k = 0; k < m; ++k) {
        const double* ak = a + size_t(k) * ld;
        for (int v = 0; v < B; ++v) {
            V x;
            load(x, ak + v * W);
            for (int j = 0; j < C; ++j) acc[v][j] = acc[v][j] + x * b[k + size_t(j) * ld];
        }
    }
    for (int v = 0; v < B; ++v)
        for (int j = 0; j < C; ++j) store(p + v * W + size_t(j) * ld, acc[v][j]);
}

// product: p = a b on the l x n block (a l x m, b m x n), blocks of rows
//   by blocks of columns.
template <typename V, int C>
inline __attribute__((always_inline)) void prodcol(const double* a, const double* b, double* p,
                                                   int l, int m, int ld)
{
    const int W = width<V>();
    int i = 0;
    for (; i + prodvecs * W <= l; i += prodvecs * W) prodblock<V, prodvecs, C>(a + i, b, p + i, m, ld);
    for (; i + W <= l; i += W) prodblock<V, 1, C>(a + i, b, p + i, m, ld);
    for (; i < l; ++i) prodblock<double, 1, C>(a + i, b, p + i, m, ld);
}

template <typename V>
struct product {
    static inline __attribute__((always_inline)) void run(const double* a, const double* b, double* p,
                                                          int l, int m, int n, int ld)
    {
        int j = 0;
        for (; j + prodcols <= n; j += prodcols)
            prodcol<V, prodcols>(a, b + size_t(j) * ld, p + size_t(j) * ld, l, m, ld);
        for (; j < n; ++j) prodcol<V, 1>(a, b + size_t(j) * ld, p + size_t(j) * ld, l, m, ld);
    }
};

// Square tiles of the transposing copy.
const int tile = 32;

}  // namespace

// produit
//   a  (in)  ld x m, the l x m block read.
//   b  (in)  ld x n, the m x n block read.
//   p  (out) ld x n; the l x n block receives a * b, each element summed
//            from 0 in increasing k.  Nothing else of p is written.
//   l, m, n (in) the dimensions.
//   ld (in)  leading dimension of a, b and p.
//   path (in) path_avx512, path_avx2 or path_base (the default:
//           pathnow()).
// The elements are computed block by block, each sum in a register while k
// runs, with the terms of each in the literal order.
void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld, int path)
{
    // The threads share the columns of p, in the pairs of the kernel.
    int parts = shares(m, (n + prodcols - 1) / prodcols), pc = pieces(parts);
    auto columns = [&](int t) {
        int j0 = split(n, pc, t, prodcols), j1 = split(n, pc, t + 1, prodcols);
        const double* bj = b + size_t(j0) * ld;
        double* pj = p + size_t(j0) * ld;
        onpath<product>(path, a, bj, pj, l, m, j1 - j0, ld);
    };
    share(parts, pc, columns);
}

void produit(const double* a, const double* b, double* p, int l, int m, int n, int ld)
{
    produit(a, b, p, l, m, n, ld, pathnow());
}

// correl
//   n      (in)     number of main objects, rows 1..n of x.
//   m      (in)     number of PCNM variables, columns 1..m of x.
//   x      (in,out) maxn x m; on return the block is standardised over its
//                   rows (mean 0, standard deviation 1 with divisor n - 1).
//   maxn   (in)     leading dimension of x, corlin and xprime.
//   sum, sumsq, mean, sd (out) m elements: column sums, sums of squares,
//                   means and standard deviations (one-pass formula; a
//                   negative numerator counts as 0, and n = 1 gives 0).
//   corlin (out)    maxn x m; the m x m correlation matrix.
//   xprime (out)    maxn x n; the m x n transpose of the standardised block.
//   largest (out)   the largest absolute correlation between two columns
//                   (0 for one column).
// Returns 0, or the first column whose standard deviation is below
// tolerance: the block is then left unstandardised and largest unset.
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
    for (int j = 1; j <= m; ++j) {  // down each column: each sum in its order
        for (int i = 1; i <= n; ++i) {
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

    for (int j = 1; j <= m; ++j)
        for (int i = 1; i <= n; ++i) X(i, j) = (X(i, j) - Mean(j)) / Sd(j);

    // The transpose, tile by tile.
    for (int i0 = 1; i0 <= n; i0 += tile)
        for (int j0 = 1; j0 <= m; j0 += tile)
            for (int i = i0; i < i0 + tile && i <= n; ++i)
                for (int j = j0; j < j0 + tile && j <= m; ++j) XP(j, i) = X(i, j);

    produit(xprime, x, corlin, m, n, m, maxn);

    for (int j = 1; j <= m; ++j)
        for (int i = 1; i <= m; ++i) C(i, j) = C(i, j) / double(n - 1);

    // Largest absolute correlation over the upper triangle.
    largest = 0;
    for (int i = 1; i <= m - 1; ++i)
        for (int k = i + 1; k <= m; ++k)
            if (std::fabs(C(i, k)) >= largest) largest = std::fabs(C(i, k));

    return 0;
}
