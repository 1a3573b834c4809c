// Correlation check of the PCNM variables over the main objects, when
// supplementary objects took part in their computation.
#include <cmath>

#include "pcnm.h"
#include "textio/textio.h"

// produit
//   a  (in)  ld x m, the l x m block read.
//   b  (in)  ld x n, the m x n block read.
//   p  (out) ld x n; the l x n block receives a * b, each element summed
//            from 0 in increasing k.  Nothing else of p is written.
//   l, m, n (in) the dimensions.
//   ld (in)  leading dimension of a, b and p.
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
//   report (in,out) receives the largest absolute correlation; the console
//                   of the same run (report.io->out) receives the advice.
// A standard deviation below tolerance writes "Variance nulle pour variable
// X no " and the column to report alone, then throws runstop{0, nullptr}.
void correl(int n, int m, double* x, int maxn, double* sum, double* sumsq, double* mean,
            double* sd, double* corlin, double* xprime, stream& report)
{
    static const layout console = fmt("(' The largest (absolute) correlation value is',F7.4)");
    static const layout record =
        fmt("(/,' Largest absolute correlation value between two',' spatial variables:',F7.4)");

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
        if (Sd(j) < tolerance) {
            wlist(report, {"Variance nulle pour variable X no ", j});
            throw runstop{0, nullptr};
        }
    }

    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) X(i, j) = (X(i, j) - Mean(j)) / Sd(j);

    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) XP(j, i) = X(i, j);

    produit(xprime, x, corlin, m, n, m, maxn);

    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= m; ++j) C(i, j) = C(i, j) / double(n - 1);

    // Largest absolute correlation over the upper triangle.
    double largest = 0;
    for (int i = 1; i <= m - 1; ++i)
        for (int k = i + 1; k <= m; ++k)
            if (std::fabs(C(i, k)) >= largest) largest = std::fabs(C(i, k));

    stream& con = report.io->out;
    wlist(con);
    wlist(con, {"The use of supplementary objects in the computations"});
    wlist(con, {"induces correlations among the spatial variables."});
    wfmt(con, console, {largest});
    wlist(con, {"If you find this value acceptable, keep the matrix of"});
    wlist(con, {"PCNM variables built by this program. If you find "});
    wlist(con, {"this value too high, rerun the program using fewer"});
    wlist(con, {"supplementary objects."});

    wfmt(report, record, {largest});
}
