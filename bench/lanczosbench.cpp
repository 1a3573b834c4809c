// The leading eigenpairs of J (I + W) J by the solver of the leading
// variables (leading, src/first) against Spectra's solvers on the same
// operator: the uniform sites of firstbench at the tree's limit, one thread.
// Spectra 1.0.1 (MPL-2.0) is header-only over Eigen 3 (MPL-2.0); only this
// benchmark uses them, built when both are found:
//   apt-get install -y libspectra-dev libeigen3-dev
//
//   lanczosbench [--method ours|lanczos|davidson] [--ncv M] [--tol T]
//                [--space S] [--maxit I] N K
//
// ours: leading alone.  lanczos: Spectra's SymEigsSolver (implicitly
// restarted Lanczos) with M basis vectors (default 2K + 1) and tolerance T
// (default 1e-12, relative to each eigenvalue).  davidson: Spectra's
// DavidsonSymEigsSolver (block Davidson with the diagonal as corrector)
// with a space of at most S vectors (default 10K), tolerance T times
// lambda_1 (its test is on the absolute residual).  A Spectra method runs
// first, then leading on the same rows for the eigenvalues' differences,
// so the peak memory printed after the Spectra solve is its own; that of
// leading is the one of --method ours.  For each: the time, the products
// of one vector by G, the iterations, the largest residual
// ||Gv - lambda v|| / lambda_1 by fresh products, and the peak memory.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <Spectra/DavidsonSymEigsSolver.h>
#include <Spectra/SymEigsSolver.h>

#include "first/first.h"
#include "pcnm/threads.h"
#include "sites/limit.h"
#include "sites/sites.h"
#include "threshold/emst.h"

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic>;
using Index = Eigen::Index;

double seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The processor time of this process, user and system, in seconds: the
// machine may be shared, so the wall time alone can mislead.
double cpuseconds()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double peakmb()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

// G = J (I + W) J on the rows of r, as Spectra's solvers take an operator:
// one vector (perform_op, Lanczos), a block of columns (operator*,
// Davidson) and single elements (operator(), Davidson's diagonal).  Counts
// the products of one vector.
struct gop {
    using Scalar = double;
    const nearrows& r;
    mutable std::vector<double> mean = std::vector<double>(2);
    mutable std::vector<double> x, y;
    mutable long products = 0;

    explicit gop(const nearrows& rows) : r(rows) {}
    Index rows() const { return r.n; }
    Index cols() const { return r.n; }

    void perform_op(const double* in, double* out) const
    {
        apply(r, 1, in, out, mean.data());
        ++products;
    }

    // G b for the n x p block b by columns: moved to rows for apply and back.
    Matrix operator*(const Eigen::Ref<const Matrix>& b) const
    {
        const int n = r.n, p = int(b.cols());
        x.resize(size_t(n) * p);
        y.resize(size_t(n) * p);
        mean.resize(2 * size_t(p));
        for (int j = 0; j < p; ++j)
            for (int i = 0; i < n; ++i) x[size_t(i) * p + j] = b(i, j);
        apply(r, p, x.data(), y.data(), mean.data());
        products += p;
        Matrix g(n, p);
        for (int j = 0; j < p; ++j)
            for (int i = 0; i < n; ++i) g(i, j) = y[size_t(i) * p + j];
        return g;
    }

    // G(i, j) = S(i, j) - (1 + ws(i)) / n - (1 + ws(j)) / n + (n + wall) / n^2,
    // S = I + W.
    double operator()(Index i, Index j) const
    {
        double s = i == j ? 1.0 : 0.0;
        const int* b = r.nb.data() + r.start[size_t(i)];
        const int* e = r.nb.data() + r.start[size_t(i) + 1];
        const int* at = std::lower_bound(b, e, int(j));
        if (at != e && *at == int(j)) s = s + r.w[size_t(at - r.nb.data())];
        const double n = r.n;
        return s - (1 + r.ws[size_t(i)]) / n - (1 + r.ws[size_t(j)]) / n + (n + r.wall) / (n * n);
    }
};

// worstresidual: the largest ||G v_j - val_j v_j|| / (||v_j|| |val_0|), j < k,
//   of the columns of v (n rows, by columns, column j at v + j * ld), by
//   one block product.
double worstresidual(const nearrows& r, int k, const double* val, const double* v, size_t ld)
{
    const int n = r.n;
    std::vector<double> x(size_t(n) * k), y(size_t(n) * k), mean(2 * size_t(k));
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < n; ++i) x[size_t(i) * k + j] = v[size_t(j) * ld + i];
    apply(r, k, x.data(), y.data(), mean.data());
    std::vector<double> rr(size_t(k), 0.0), vv(size_t(k), 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < k; ++j) {
            double d = y[size_t(i) * k + j] - val[j] * x[size_t(i) * k + j];
            rr[size_t(j)] = rr[size_t(j)] + d * d;
            vv[size_t(j)] = vv[size_t(j)] + x[size_t(i) * k + j] * x[size_t(i) * k + j];
        }
    double worst = 0;
    for (int j = 0; j < k; ++j) worst = std::max(worst, std::sqrt(rr[size_t(j)] / vv[size_t(j)]) / std::fabs(val[0]));
    return worst;
}

// ours: leading on r, its eigenvalues into eig; prints its line.
void ours(const nearrows& r, int k, std::vector<double>& eig)
{
    firstopts o;
    std::vector<double> vec;
    const double c0 = cpuseconds();
    firstinfo info = leading(r, k, o, eig, vec, nullptr);
    const double cpu = cpuseconds() - c0;
    double worst = NAN;
    if (!eig.empty()) {
        // The vectors by site, moved to the rows.
        const int n = r.n;
        std::vector<double> byrow(size_t(n) * k);
        for (int j = 0; j < k; ++j)
            for (int row = 0; row < n; ++row)
                byrow[size_t(j) * n + row] = vec[size_t(j) * n + size_t(r.site.empty() ? row : r.site[size_t(row)])];
        worst = worstresidual(r, k, eig.data(), byrow.data(), size_t(n));
    }
    std::printf("ours: block %d, status %d, %.2f s (cpu %.2f s), %ld products, %d iterations, residual %.2e (own check %.2e), "
                "peak %.0f MB\n",
                blockfor(r.n, k, o), info.status, info.seconds, cpu, info.products, info.iterations, worst, info.worst,
                peakmb());
    if (!eig.empty()) std::printf("ours: eigenvalues %.15g .. %.15g\n", eig[0], eig.back());
}

// difference: the largest |a_j - b_j| / |b_0|, j < k.
double difference(int k, const double* a, const std::vector<double>& b)
{
    double d = 0;
    for (int j = 0; j < k; ++j) d = std::max(d, std::fabs(a[j] - b[size_t(j)]) / std::fabs(b[0]));
    return d;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string method = "ours";
    int ncv = 0, space = 0;
    long maxit = 100000;
    double tol = 1.0e-12;
    int at = 1;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        if (!std::strcmp(argv[at], "--method") && at + 1 < argc) method = argv[++at];
        else if (!std::strcmp(argv[at], "--ncv") && at + 1 < argc) ncv = std::atoi(argv[++at]);
        else if (!std::strcmp(argv[at], "--tol") && at + 1 < argc) tol = std::atof(argv[++at]);
        else if (!std::strcmp(argv[at], "--space") && at + 1 < argc) space = std::atoi(argv[++at]);
        else if (!std::strcmp(argv[at], "--maxit") && at + 1 < argc) maxit = std::atol(argv[++at]);
    }
    if (argc - at != 2 || (method != "ours" && method != "lanczos" && method != "davidson")) {
        std::fprintf(stderr, "usage: lanczosbench [--method ours|lanczos|davidson] [--ncv M] [--tol T] [--space S] "
                             "[--maxit I] N K\n");
        return 2;
    }
    const int n = std::atoi(argv[at]), k = std::atoi(argv[at + 1]);
    setthreads(1);

    // The sites and the tree's limit of firstbench.
    std::vector<double> xr(2 * size_t(n));
    uint64_t state = 2026;
    for (double& v : xr) v = 0.5 * (drawsigned(state) + 1);
    double vmin[2], vrange[2], rangmax = 0;
    rangecoords(n, 2, n, xr.data(), vmin, vrange, rangmax, 1);
    int from = 0;
    double len = 0;
    longest(n, 2, size_t(n), xr.data(), from, len);
    const double scaled = len + limitadd;
    nearrows rows;
    nearpairs(n, 2, n, xr.data(), scaled, rows);
    std::printf("%d sites, limit %.17g, %.0f pairs, K = %d, set-up peak %.0f MB\n", n, scaled,
                double(rows.nb.size()) / 2, k, peakmb());
    std::fflush(stdout);

    std::vector<double> eig;
    if (method == "ours") {
        ours(rows, k, eig);
        return 0;
    }

    gop op(rows);
    std::vector<double> val;
    Matrix vec;
    double t0 = seconds(), c0 = cpuseconds(), took = 0, cpu = 0;
    long its = 0, nops = 0;
    int info = 0;
    if (method == "lanczos") {
        if (ncv <= 0) ncv = 2 * k + 1;
        Spectra::SymEigsSolver<gop> s(op, k, std::min(ncv, n));
        s.init();
        s.compute(Spectra::SortRule::LargestAlge, maxit, tol, Spectra::SortRule::LargestAlge);
        took = seconds() - t0;
        cpu = cpuseconds() - c0;
        info = int(s.info());
        its = s.num_iterations();
        nops = s.num_operations();
        if (s.info() == Spectra::CompInfo::Successful) {
            Eigen::VectorXd e = s.eigenvalues();
            val.assign(e.data(), e.data() + e.size());
            vec = s.eigenvectors();
        }
        std::printf("lanczos: ncv %d, tol %.0e, info %d, %.2f s (cpu %.2f s), %ld products (%ld counted), %ld iterations, ",
                    ncv, tol, info, took, cpu, nops, op.products, its);
    } else {
        if (space <= 0) space = 10 * k;
        // Its tolerance is on the absolute residual: lambda_1 from a short
        // Lanczos run would cost products, so the bound is set from
        // Gershgorin's largest, 1 + max ws, an upper bound of lambda_1.
        double top = 1;
        for (int i = 0; i < n; ++i) top = std::max(top, 1 + rows.ws[size_t(i)]);
        Spectra::DavidsonSymEigsSolver<gop> s(op, k, 2 * k, space);
        s.compute(Spectra::SortRule::LargestAlge, maxit, tol * top);
        took = seconds() - t0;
        cpu = cpuseconds() - c0;
        info = int(s.info());
        its = s.num_iterations();
        nops = op.products;
        Eigen::VectorXd e = s.eigenvalues();
        val.assign(e.data(), e.data() + e.size());
        vec = s.eigenvectors();
        std::printf("davidson: space %d, tol %.0e x %.3g, info %d, %.2f s (cpu %.2f s), %ld products, %ld iterations, ",
                    space, tol, top, info, took, cpu, nops, its);
    }
    const double peak = peakmb();
    double worst = NAN;
    if (!val.empty()) worst = worstresidual(rows, k, val.data(), vec.data(), size_t(n));
    std::printf("residual %.2e, peak %.0f MB\n", worst, peak);
    if (!val.empty()) std::printf("%s: eigenvalues %.15g .. %.15g\n", method.c_str(), val[0], val.back());
    std::fflush(stdout);

    ours(rows, k, eig);
    if (!val.empty() && !eig.empty())
        std::printf("largest |lambda - ours| / lambda_1: %.2e\n", difference(k, val.data(), eig));
    return 0;
}
