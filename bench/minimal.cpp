// minimal: the smallest program that does a PCNM run's work with LAPACK, the
// yardstick of the whole-run benchmark.  It reads a coordinates file, ranges
// the coordinates, truncates the distances at the limit, centres -d*d/2 by
// Gower's method, calls dsyevd, scales the eigenvectors of the eigenvalues
// not below 5.0E-7 and writes them one line per main object in F11.6, with
// the header of counts and the list of eigenvalues, as a run in layout 1.
//
// Usage: minimal COORDS LIMIT VARIABLES EIGENVALUES
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lapack.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: minimal COORDS LIMIT VARIABLES EIGENVALUES\n");
        return 2;
    }
    FILE* in = std::fopen(argv[1], "r");
    int n = 0, nc = 0, ns = 0;
    if (!in || std::fscanf(in, "%d %d %d", &n, &nc, &ns) != 3 || n < 1 || nc < 1 || nc > 3) {
        std::fprintf(stderr, "minimal: cannot read %s\n", argv[1]);
        return 1;
    }
    int m = n + ns;
    std::vector<double> x(size_t(m) * nc);
    for (double& v : x)
        if (std::fscanf(in, "%lf", &v) != 1) return 1;
    std::fclose(in);

    // Ranging: shift to 0, divide by the largest range times float(0.1).
    double rangmax = 0;
    for (int k = 0; k < nc; ++k) {
        double lo = x[k], hi = x[k];
        for (int i = 0; i < m; ++i) lo = std::fmin(lo, x[i * nc + k]), hi = std::fmax(hi, x[i * nc + k]);
        for (int i = 0; i < m; ++i) x[i * nc + k] -= lo;
        rangmax = std::fmax(rangmax, hi - lo);
    }
    rangmax *= double(0.1f);
    for (double& v : x) v /= rangmax;
    double limit = std::atof(argv[2]) / rangmax + double(1.0e-10f);

    // -d*d/2 of the truncated distances, centred.
    std::vector<double> a(size_t(m) * m), mean(m, 0.0);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
            double s = 0;
            for (int k = 0; k < nc; ++k) s += (x[i * nc + k] - x[j * nc + k]) * (x[i * nc + k] - x[j * nc + k]);
            double d = std::sqrt(s);
            if (d > limit) d = 4 * limit;
            a[i + size_t(j) * m] = i == j ? 0 : -0.5 * d * d;
            mean[j] += a[i + size_t(j) * m];
        }
    double grand = 0;
    for (double& v : mean) grand += v, v /= m;
    grand /= double(m) * m;
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) a[i + size_t(j) * m] += grand - mean[i] - mean[j];

    onethread();
    int lwork = 0, liwork = 0;
    syevdsize(m, lwork, liwork);
    std::vector<double> w(m), work(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(liwork));
    if (syevd(m, a.data(), m, w.data(), work.data(), lwork, iwork.data(), liwork) != 0) return 1;

    // Largest first: LAPACK's order reversed.
    int npos = 0;
    while (npos < m && w[m - 1 - npos] >= double(5.0e-7f)) ++npos;
    FILE* ev = std::fopen(argv[4], "w");
    for (int k = 0; k < m; ++k) std::fprintf(ev, "%12.6f%s", w[m - 1 - k], k % 8 == 7 ? "\n" : "");
    std::fclose(ev);
    FILE* out = std::fopen(argv[3], "w");
    std::fprintf(out, " %d %d\n", n, npos);
    std::vector<float> f(npos);
    for (int k = 0; k < npos; ++k) f[k] = float(std::sqrt(w[m - 1 - k]));
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < npos; ++k) std::fprintf(out, "%11.6f", a[i + size_t(m - 1 - k) * m] * f[k]);
        std::fputc('\n', out);
    }
    std::fclose(out);
    std::printf("%d objects, %d PCNM variables\n", n, npos);
    return 0;
}
