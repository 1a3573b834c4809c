// Tests of the PCNM construction: distances and truncation, the eigen-solver,
// the principal coordinate analysis and the correlation check.  Expected
// values are the worked examples, hand derivations, or an independent Jacobi
// eigenvalue routine written below.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "literal/literal.h"
#include "pcnm/pcnm.h"
#include "textio/textio.h"

namespace {

using vec = std::vector<double>;
using lines = std::vector<std::string>;

// A work matrix of np x n for the solver, alive to the end of the call
// whose argument it is.
vec work(int np, int n) { return vec(size_t(np) * size_t(n), 0.0); }

// Element (i, j), from 1, of a matrix stored by columns.
double& at(vec& m, int ld, int i, int j) { return m[size_t((i - 1) + (j - 1) * ld)]; }

lines readlines(const std::string& path)
{
    lines out;
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return out;
    std::string cur;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += char(c);
        }
    }
    std::fclose(f);
    if (!cur.empty()) out.push_back(cur + "<no line end>");
    return out;
}

// The streams of a run with the report file and the console output in a
// fresh temporary directory.
struct capture {
    std::unique_ptr<units> io{new units};
    std::string dir;
    capture()
    {
        initunits(*io);
        char tmpl[] = "/tmp/pcnm_testXXXXXX";
        dir = ::mkdtemp(tmpl);
        std::string name = dir + "/report.txt";
        char name79[namelen];
        std::memset(name79, ' ', namelen);
        std::memcpy(name79, name.data(), name.size());
        opennew(io->report, name79);
        io->out.fd = ::open((dir + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    }
    ~capture()
    {
        closes(io->report);
        ::close(io->out.fd);
        std::remove((dir + "/report.txt").c_str());
        std::remove((dir + "/console.txt").c_str());
        ::rmdir(dir.c_str());
    }
    lines report()
    {
        flushs(io->report);
        return readlines(dir + "/report.txt");
    }
    lines console()
    {
        flushs(io->out);
        return readlines(dir + "/console.txt");
    }
};

// Eigenvalues of the symmetric n x n matrix a (leading dimension n) by
// cyclic Jacobi rotations, largest first.
vec jacobi(vec a, int n)
{
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0, all = 0;
        for (int p = 1; p <= n; ++p)
            for (int q = 1; q <= n; ++q) {
                all += at(a, n, p, q) * at(a, n, p, q);
                if (p != q) off += at(a, n, p, q) * at(a, n, p, q);
            }
        if (off <= 1e-30 * all) break;
        for (int p = 1; p < n; ++p)
            for (int q = p + 1; q <= n; ++q) {
                double apq = at(a, n, p, q);
                if (apq == 0) continue;
                double theta = (at(a, n, q, q) - at(a, n, p, p)) / (2 * apq);
                double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 1; k <= n; ++k) {  // columns p and q
                    double kp = at(a, n, k, p), kq = at(a, n, k, q);
                    at(a, n, k, p) = c * kp - s * kq;
                    at(a, n, k, q) = s * kp + c * kq;
                }
                for (int k = 1; k <= n; ++k) {  // rows p and q
                    double pk = at(a, n, p, k), qk = at(a, n, q, k);
                    at(a, n, p, k) = c * pk - s * qk;
                    at(a, n, q, k) = s * pk + c * qk;
                }
            }
    }
    vec w(n, 0.0);
    for (int i = 1; i <= n; ++i) w[size_t(i - 1)] = at(a, n, i, i);
    std::sort(w.begin(), w.end(), [](double u, double v) { return u > v; });
    return w;
}

struct pcoaout {
    vec eig, x;
    std::vector<int> perm;
    int npos = -1;
};

// pcoa of n objects from the upper triangle of d (leading dimension ld).
pcoaout runpcoa(int n, int ld, const vec& d, stream& report)
{
    pcoaout r;
    r.eig.assign(size_t(ld), 0);
    r.x.assign(size_t(ld * ld), 0);
    r.perm.assign(size_t(ld), 0);
    vec off(ld, 0.0), mean(ld, 0.0), row(ld, 0.0);
    pcoa(n, ld, r.perm.data(), d.data(), r.eig.data(), off.data(), r.x.data(), mean.data(),
         row.data(), r.npos, report, work(ld, n).data());
    return r;
}

// A stream of an initialised run that discards what is written to it.
stream& nowhere()
{
    static std::unique_ptr<units> io = [] {
        std::unique_ptr<units> u(new units);
        initunits(*u);
        return u;
    }();
    return io->report;
}

// The truncated distance matrix (upper triangle) of sites x (ld x ncoord).
vec truncated(int n, int ncoord, int ld, const vec& x, double limit)
{
    vec d(size_t(ld * ld), 0);
    distances(n, ncoord, ld, x.data(), d.data());
    truncate(n, ld, d.data(), limit);
    return d;
}

// Random symmetric n x n matrix, entries in [-1, 1], leading dimension ld.
vec randsym(int n, int ld, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    vec a(size_t(ld * n), 0);
    for (int j = 1; j <= n; ++j)
        for (int i = j; i <= n; ++i) at(a, ld, i, j) = at(a, ld, j, i) = u(gen);
    return a;
}

// Largest of |A v - lambda v| over the columns and of |V'V - I| over the
// elements, for the n x n matrix a (leading dimension n) and the solver's
// eigenvalues d and vectors z (leading dimension ld).
void eigencheck(vec a, int n, const vec& d, vec z, int ld, double& resid, double& ortho)
{
    resid = ortho = 0;
    for (int k = 1; k <= n; ++k) {
        for (int i = 1; i <= n; ++i) {
            double av = 0;
            for (int j = 1; j <= n; ++j) av += at(a, n, i, j) * at(z, ld, j, k);
            resid = std::max(resid, std::fabs(av - d[size_t(k - 1)] * at(z, ld, i, k)));
        }
        for (int l = 1; l <= n; ++l) {
            double dot = 0;
            for (int i = 1; i <= n; ++i) dot += at(z, ld, i, k) * at(z, ld, i, l);
            ortho = std::max(ortho, std::fabs(dot - (k == l ? 1 : 0)));
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Distances and truncation

TEST(Distances, LowerTriangleOnly)
{
    const int ld = 5;
    vec x(size_t(ld * 2), 0);
    double xy[4][2] = {{0, 0}, {3, 0}, {0, 4}, {3, 4}};
    for (int i = 1; i <= 4; ++i)
        for (int k = 1; k <= 2; ++k) at(x, ld, i, k) = xy[i - 1][k - 1];
    vec d(size_t(ld * ld), -7);
    distances(4, 2, ld, x.data(), d.data());
    double want[4][4] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {4, 5, 0, 0}, {5, 4, 3, 0}};
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j)
            EXPECT_EQ(at(d, ld, i, j), i > j ? want[i - 1][j - 1] : -7) << i << "," << j;
}

TEST(Truncate, StrictTestAndFreshStart)
{
    const int ld = 4;
    vec d(size_t(ld * ld), -7);
    // distances 3, 4, 5 / 5, 4 / 3 of the rectangle of the test above
    at(d, ld, 2, 1) = 3, at(d, ld, 3, 1) = 4, at(d, ld, 4, 1) = 5;
    at(d, ld, 3, 2) = 5, at(d, ld, 4, 2) = 4, at(d, ld, 4, 3) = 3;
    vec untruncated = d;
    struct {
        double limit;
        double want[6];  // (1,2) (1,3) (1,4) (2,3) (2,4) (3,4)
    } cases[] = {
        {4, {3, 4, 16, 16, 4, 3}},  // a distance equal to the limit is kept
        {3.5, {3, 14, 14, 14, 14, 3}},
        {10, {3, 4, 5, 5, 4, 3}},  // after a lower limit: as computed
        {0, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        truncate(4, ld, d.data(), c.limit);
        int p = 0;
        for (int i = 1; i <= 3; ++i)
            for (int j = i + 1; j <= 4; ++j) EXPECT_EQ(at(d, ld, i, j), c.want[p++]) << c.limit;
        for (int j = 1; j <= 4; ++j)
            for (int i = j; i <= 4; ++i) EXPECT_EQ(at(d, ld, i, j), at(untruncated, ld, i, j));
    }
}

// ---------------------------------------------------------------------------
// Eigen-solver

TEST(Solver, TwoByTwo)
{
    const int np = 3;
    vec a(size_t(np * 2), 0), d(2), e(2);
    at(a, np, 1, 1) = 3, at(a, np, 2, 1) = 2, at(a, np, 1, 2) = 2, at(a, np, 2, 2) = 3;
    tred2(a.data(), 2, np, d.data(), e.data(), work(np, 2).data());
    EXPECT_EQ(d, (vec{3, 3}));
    EXPECT_EQ(e, (vec{0, 2}));
    EXPECT_EQ(a, (vec{1, 0, 0, 0, 1, 0}));
    tqli(d.data(), e.data(), 2, np, a.data(), work(np, 2).data());
    EXPECT_EQ(d[0], 1.0000000000000004);
    EXPECT_EQ(d[1], 5.0);
    const double h = 1 / std::sqrt(2.0);
    EXPECT_NEAR(at(a, np, 1, 1), h, 1e-15);
    EXPECT_NEAR(at(a, np, 2, 1), -h, 1e-15);
    EXPECT_NEAR(at(a, np, 1, 2), h, 1e-15);
    EXPECT_NEAR(at(a, np, 2, 2), h, 1e-15);
}

// Worked by hand: every step is exact in integers.
TEST(Solver, Tred2ThreeByThree)
{
    const int np = 3;
    const double upper = 99;  // the reduction reads the lower triangle only
    vec a = {4, 1, 2, upper, 2, 0, upper, upper, 3}, d(3), e(3);
    tred2(a.data(), 3, np, d.data(), e.data(), work(np, 3).data());
    EXPECT_EQ(d, (vec{2, 4, 3}));
    EXPECT_EQ(e, (vec{0, 1, -2}));
    EXPECT_EQ(a, (vec{0, -1, 0, -1, 0, 0, 0, 0, 1}));
}

TEST(Solver, DiagonalAndNegligibleCoupling)
{
    const int n = 4, np = 6;
    const vec diag = {3, -1, 7, 0.5};
    for (double off : {0.0, 2e-9, -9.9e-9 / 3}) {  // row sums of |off| below tolerance
        vec a(size_t(np * n), 0), d(n), e(n);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) at(a, np, i, j) = i == j ? diag[size_t(i - 1)] : off;
        tred2(a.data(), n, np, d.data(), e.data(), work(np, n).data());
        tqli(d.data(), e.data(), n, np, a.data(), work(np, n).data());
        EXPECT_EQ(d, diag) << off;
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) EXPECT_EQ(at(a, np, i, j), i == j ? 1 : 0) << off;
    }
}

TEST(Solver, SingleElement)
{
    vec a = {-2.5, 8}, d = {9}, e = {9};
    tred2(a.data(), 1, 2, d.data(), e.data(), work(2, 1).data());
    tqli(d.data(), e.data(), 1, 2, a.data(), work(2, 1).data());
    EXPECT_EQ(d[0], -2.5);
    EXPECT_EQ(a[0], 1.0);
}

TEST(Solver, RandomSymmetric)
{
    for (int n : {2, 3, 5, 12, 40, 101, 300}) {
        const int np = n + 3;
        vec a = randsym(n, np, unsigned(n)), plain(n * n, 0.0), d(n, 0.0), e(n, 0.0);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) at(plain, n, i, j) = at(a, np, i, j);
        tred2(a.data(), n, np, d.data(), e.data(), work(np, n).data());
        tqli(d.data(), e.data(), n, np, a.data(), work(np, n).data());
        double resid, ortho;
        eigencheck(plain, n, d, a, np, resid, ortho);
        // couplings below the absolute tolerance are dropped: that bounds
        // the residual and the eigenvalue error
        EXPECT_LT(resid, tolerance) << n;
        EXPECT_LT(ortho, 1e-14 * n) << n;
        vec want = jacobi(plain, n);
        std::sort(d.begin(), d.end(), [](double u, double v) { return u > v; });
        for (int k = 0; k < n; ++k) EXPECT_NEAR(d[size_t(k)], want[size_t(k)], tolerance) << n;
    }
}

// QL converges whatever the scale of the matrix; only couplings that are not
// finite (NaN, or overflow on the way) keep it from converging.
TEST(Solver, IterationLimitStops)
{
    for (double scale : {std::nan(""), 1.7e308}) {
        const int n = 6;
        vec a = randsym(n, n, 7), d(n, 0.0), e(n, 0.0);
        for (double& v : a) v *= scale;
        tred2(a.data(), n, n, d.data(), e.data(), work(n, n).data());
        try {
            tqli(d.data(), e.data(), n, n, a.data(), work(n, n).data());
            ADD_FAILURE() << "no stop for " << scale;
        } catch (const runstop& s) {
            EXPECT_EQ(s.status, 0);
            ASSERT_NE(s.stop, nullptr);
            EXPECT_STREQ(s.stop, "Too many iterations in TQLI");
        }
    }
}

// ---------------------------------------------------------------------------
// Principal coordinate analysis

namespace {

// The transect of 11 points 0, 1, ..., 10 after ranging (common divisor
// ten times the single-precision 0.1), leading dimension 13.
const double rangmax = 1.0000000149011612;
const int tn = 11, tld = 13;

vec transect()
{
    vec x(tld * tld, 0.0);
    for (int i = 1; i <= tn; ++i) at(x, tld, i, 1) = double(i - 1) / rangmax;
    return x;
}

}  // namespace

TEST(Pcoa, TransectWorkedExamples)
{
    struct {
        double answer;
        int npos;
        vec eig;    // to 6 decimals (0: within rounding of 0)
        vec first;  // first principal coordinate, to 6 decimals
    } cases[] = {
        {1, 7,
         {20.990380, 18.968584, 15.500000, 12.147834, 8.000000, 4.273859, 0.500000, 0, -2.544928,
          -4.990381, -6.481714},
         {0.935200, 1.619814, 1.870400, 1.619814, 0.935200, 0.000000, -0.935200, -1.619814,
          -1.870400, -1.619814, -0.935200}},
        {2, 6, {}, {}},
        {10, 1, {109.999997}, {5, 4, 3, 2, 1, 0, -1, -2, -3, -4, -5}},
        {0.5, 10, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0}, {}},
        {0, 0, {}, {}},
    };
    for (const auto& c : cases) {
        vec d = truncated(tn, 1, tld, transect(), c.answer / rangmax + limitadd);
        pcoaout r = runpcoa(tn, tld, d, nowhere());
        EXPECT_EQ(r.npos, c.npos) << c.answer;
        for (size_t k = 0; k < c.eig.size(); ++k)
            EXPECT_NEAR(r.eig[k], c.eig[k], 5e-7) << c.answer << " eigenvalue " << k + 1;
        for (int i = 1; i <= int(c.first.size()); ++i)
            EXPECT_NEAR(at(r.x, tld, i, 1), c.first[size_t(i - 1)], 5e-7) << c.answer << " object " << i;
        for (int k = 1; k < tn; ++k) EXPECT_GE(r.eig[size_t(k - 1)], r.eig[size_t(k)] - tolerance);
    }
}

TEST(Pcoa, TransectReport)
{
    capture cap;
    vec d = truncated(tn, 1, tld, transect(), 1 / rangmax + limitadd);
    pcoaout r = runpcoa(tn, tld, d, cap.io->report);
    EXPECT_EQ(r.npos, 7);
    // 37-character texts, then F15.5 fields
    const std::string pos = " Sum of positive eigenvalues         ";
    const std::string neg = " Sum of negative eigenvalues         ";
    const std::string tr = " Trace of Gower-centred matrix       ";
    ASSERT_EQ(pos.size() + neg.size() + tr.size(), 3u * 37);
    EXPECT_EQ(cap.report(), (lines{"", "", pos + "       80.38066", neg + "      -14.01702",
                                   tr + "       66.36363", "", " Number of positive eigenvalues:   7",
                                   ""}));
    EXPECT_TRUE(cap.console().empty());
}

TEST(Pcoa, GowerTwoByTwo)
{
    vec a = {0, -2, 7, -2, 0, 7}, mean(2, 0.0);
    gower(a.data(), mean.data(), 2, 3);
    EXPECT_EQ(a, (vec{1, -1, 7, -1, 1, 7}));
    EXPECT_EQ(mean, (vec{-1, -1}));
}

// Two objects at distance delta: eigenvalues delta^2 / 2 and 0, first
// coordinate +delta/2, -delta/2 up to the single-precision scale factor.
TEST(Pcoa, TwoObjects)
{
    struct {
        double half;  // delta^2 / 2
        int npos;
    } cases[] = {
        {2, 1},
        {4.5, 1},
        {4.99999999e-7, 1},  // below 5.0E-7 but not below its single-precision value
        {4.9999999e-7, 0},
        {1e-7, 0},
    };
    for (const auto& c : cases) {
        const int ld = 3;
        vec d(ld * ld, 0.0);
        at(d, ld, 1, 2) = std::sqrt(2 * c.half);
        pcoaout r = runpcoa(2, ld, d, nowhere());
        EXPECT_EQ(r.npos, c.npos) << c.half;
        EXPECT_NEAR(r.eig[0], c.half, 1e-15 * c.half) << c.half;
        EXPECT_NEAR(r.eig[1], 0, 1e-15 * c.half) << c.half;
        // the factor is sqrt(delta^2 / 2) rounded to single precision
        double first = double(float(std::sqrt(c.half))) / std::sqrt(2.0);
        EXPECT_NEAR(at(r.x, ld, 1, 1), first, 1e-15 * first) << c.half;
        EXPECT_NEAR(at(r.x, ld, 2, 1), -first, 1e-15 * first) << c.half;
    }
}

TEST(Pcoa, SingleObject)
{
    capture cap;
    vec d(4, 0.0);
    pcoaout r = runpcoa(1, 2, d, cap.io->report);
    EXPECT_EQ(r.npos, 0);
    EXPECT_EQ(r.eig[0], 0.0);
    EXPECT_EQ(r.x[0], 0.0);
    EXPECT_EQ(cap.report(), (lines{"", "", " Sum of positive eigenvalues                 0.00000",
                                   " Sum of negative eigenvalues                 0.00000",
                                   " Trace of Gower-centred matrix               0.00000", "",
                                   " Number of positive eigenvalues:   0", ""}));
}

// All distances equal: n - 1 equal eigenvalues, which end in the reverse of
// the solver's delivery order, and a zero one last.
TEST(Pcoa, EqualEigenvaluesReverseDeliveryOrder)
{
    const int n = 6, ld = 8;
    vec d(ld * ld, 0.0);
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j) at(d, ld, i, j) = 1;
    pcoaout r = runpcoa(n, ld, d, nowhere());
    EXPECT_EQ(r.npos, n - 1);
    for (int k = 1; k < n; ++k) {
        EXPECT_NEAR(r.eig[size_t(k - 1)], 0.5, 1e-14);
        if (k > 1) {
            EXPECT_LT(r.perm[size_t(k - 1)], r.perm[size_t(k - 2)]) << k;
        }
    }
    EXPECT_NEAR(r.eig[n - 1], 0, 1e-14);
}

namespace {

// -d*d/2 centred by the row, column and grand means: the matrix whose
// eigenvalues the analysis finds (d read from its upper triangle).
vec centred(int n, int ld, vec d)
{
    vec a(n * n, 0.0), mean(n, 0.0);
    double grand = 0;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            double dij = i < j ? at(d, ld, i, j) : j < i ? at(d, ld, j, i) : 0;
            at(a, n, i, j) = -0.5 * dij * dij;
            mean[size_t(j - 1)] += at(a, n, i, j) / n;
            grand += at(a, n, i, j) / (double(n) * n);
        }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) at(a, n, i, j) += grand - mean[size_t(i - 1)] - mean[size_t(j - 1)];
    return a;
}

// The number at the end of a report line.
double tail(const std::string& line) { return std::strtod(line.c_str() + 37, nullptr); }

}  // namespace

// Regular grids have many repeated eigenvalues; truncation makes some negative.
TEST(Pcoa, GridProperties)
{
    struct {
        int rows, cols;
        double limit;
    } cases[] = {
        {3, 3, 1}, {5, 4, 1}, {7, 7, std::sqrt(2.0)}, {12, 12, 1}, {6, 6, 100},
    };
    for (const auto& c : cases) {
        const int n = c.rows * c.cols, ld = n + 2;
        vec x(ld * 2, 0.0);
        for (int i = 1; i <= n; ++i) {
            at(x, ld, i, 1) = (i - 1) / c.cols;
            at(x, ld, i, 2) = (i - 1) % c.cols;
        }
        vec d = truncated(n, 2, ld, x, c.limit + limitadd);
        vec g = centred(n, ld, d);
        capture cap;
        pcoaout r = runpcoa(n, ld, d, cap.io->report);
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols));

        vec want = jacobi(g, n);
        double pos = 0, neg = 0, trace = 0;
        int npos = 0;
        for (int k = 1; k <= n; ++k) {
            double lk = r.eig[size_t(k - 1)];
            EXPECT_NEAR(lk, want[size_t(k - 1)], 2 * tolerance) << k;
            (lk >= 0 ? pos : neg) += lk;
            trace += at(g, n, k, k);
            if (want[size_t(k - 1)] >= postol) ++npos;
            ASSERT_GT(std::fabs(want[size_t(k - 1)] - postol), 1e-8);
            // G p = lambda p, and p'p = |lambda| (single-precision factor)
            double bound = 2 * tolerance * (1 + std::sqrt(std::fabs(lk))), pp = 0;
            for (int i = 1; i <= n; ++i) {
                double gp = 0;
                for (int j = 1; j <= n; ++j) gp += at(g, n, i, j) * at(r.x, ld, j, k);
                EXPECT_NEAR(gp, lk * at(r.x, ld, i, k), bound) << k;
                pp += at(r.x, ld, i, k) * at(r.x, ld, i, k);
            }
            EXPECT_NEAR(pp, std::fabs(lk), 2.5e-7 * std::fabs(lk) + 1e-12) << k;
            for (int l = k + 1; l <= n; ++l) {
                double pq = 0;
                for (int i = 1; i <= n; ++i) pq += at(r.x, ld, i, k) * at(r.x, ld, i, l);
                EXPECT_NEAR(pq, 0, 1e-12 * (1 + std::fabs(lk))) << k << "," << l;
            }
        }
        EXPECT_EQ(r.npos, npos);
        lines rep = cap.report();
        ASSERT_EQ(rep.size(), 8u);
        EXPECT_NEAR(tail(rep[2]), pos, 6e-6);
        EXPECT_NEAR(tail(rep[3]), neg, 6e-6);
        EXPECT_NEAR(tail(rep[4]), trace, 6e-6);
        EXPECT_NEAR(pos + neg, trace, 1e-9 * (1 + pos));
    }
}

// ---------------------------------------------------------------------------
// Fast kernels against the literal ones, bit for bit

namespace {

// The vector paths this processor can run: the baseline always, AVX2 when
// it is there.
std::vector<int> paths()
{
    std::vector<int> p = {path_base};
    if (bestpath() == path_avx2) p.push_back(path_avx2);
    return p;
}

// Whether two arrays hold the same bits, and the first index that differs.
template <typename T>
::testing::AssertionResult samebits(const std::vector<T>& a, const std::vector<T>& b)
{
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
    if (std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0)
        return ::testing::AssertionSuccess();
    for (size_t k = 0; k < a.size(); ++k)
        if (std::memcmp(&a[k], &b[k], sizeof(T)) != 0)
            return ::testing::AssertionFailure() << "first difference at " << k << ": " << a[k]
                                                 << " and " << b[k];
    return ::testing::AssertionFailure();
}

// The literal and the fast solver on the n x n matrix a (leading dimension
// np, every element of the np x n array compared afterwards).
void solvers(const vec& a, int n, int np, const std::string& what)
{
    vec la = a, ld(n, 7.0), le(n, 7.0);
    literal::tred2(la.data(), n, np, ld.data(), le.data());
    vec ta = la, td = ld;
    literal::tqli(ld.data(), le.data(), n, np, la.data());
    for (int path : paths()) {
        SCOPED_TRACE(what + (path == path_avx2 ? " avx2" : " base"));
        vec fa = a, fd(n, 7.0), fe(n, 7.0), w = work(np, n);
        tred2(fa.data(), n, np, fd.data(), fe.data(), w.data(), path);
        EXPECT_TRUE(samebits(fa, ta)) << "tred2 transformation";
        EXPECT_TRUE(samebits(fd, td)) << "tred2 diagonal";
        tqli(fd.data(), fe.data(), n, np, fa.data(), w.data(), path);
        EXPECT_TRUE(samebits(fd, ld)) << "eigenvalues";
        EXPECT_TRUE(samebits(fe, le)) << "destroyed sub-diagonal";
        EXPECT_TRUE(samebits(fa, la)) << "eigenvectors";
    }
}

// The literal and the fast analysis of the distances d (upper triangle,
// leading dimension ld): eigenvalues, coordinates, permutation, count and
// report lines.
void analyses(int n, int ld, const vec& d, const std::string& what)
{
    SCOPED_TRACE(what);
    capture lcap, fcap;
    pcoaout l;
    l.eig.assign(size_t(ld), 0);
    l.x.assign(size_t(ld) * ld, 0);
    l.perm.assign(size_t(ld), 0);
    vec off(ld, 0.0), mean(ld, 0.0), row(ld, 0.0);
    literal::pcoa(n, ld, l.perm.data(), d.data(), l.eig.data(), off.data(), l.x.data(),
                  mean.data(), row.data(), l.npos, lcap.io->report);
    pcoaout f = runpcoa(n, ld, d, fcap.io->report);
    EXPECT_TRUE(samebits(f.eig, l.eig)) << "eigenvalues";
    EXPECT_TRUE(samebits(f.x, l.x)) << "principal coordinates";
    EXPECT_TRUE(samebits(f.perm, l.perm)) << "permutation";
    EXPECT_EQ(f.npos, l.npos);
    EXPECT_EQ(fcap.report(), lcap.report());
}

// Sites of a rows x cols grid of unit spacing (leading dimension ld).
vec gridsites(int rows, int cols, int ld)
{
    vec x(size_t(ld) * 2, 0.0);
    for (int i = 1; i <= rows * cols; ++i) {
        at(x, ld, i, 1) = (i - 1) / cols;
        at(x, ld, i, 2) = (i - 1) % cols;
    }
    return x;
}

// The Gower-centred matrix that the analysis decomposes, by the literal
// steps, for the distances d (upper triangle, leading dimension ld).
vec centredby(int n, int ld, vec d)
{
    vec a(size_t(ld) * n, 0.0), mean(ld, 0.0);
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j)
            at(a, ld, i, j) = at(a, ld, j, i) = -(at(d, ld, i, j) * at(d, ld, i, j) * 0.5);
    literal::gower(a.data(), mean.data(), n, ld);
    return a;
}

}  // namespace

// Random symmetric matrices of every size class of the vector loops (below,
// at and above multiples of 4 and 16), with and without spare rows, and an
// upper triangle that the reduction must not read.
TEST(FastKernels, RandomMatricesBitForBit)
{
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 64, 100, 101, 163, 300}) {
        for (int spare : {0, 3}) {
            int np = n + spare;
            vec a = randsym(n, np, unsigned(1000 + n));
            std::mt19937 gen{unsigned(n)};
            std::uniform_real_distribution<double> u(-5, 5);
            for (int j = 1; j <= n; ++j)
                for (int i = 1; i < j; ++i) at(a, np, i, j) = u(gen);
            for (int j = 1; j <= n; ++j)
                for (int i = n + 1; i <= np; ++i) at(a, np, i, j) = -3.25;
            solvers(a, n, np, "random n=" + std::to_string(n) + " spare=" + std::to_string(spare));
        }
    }
}

// A row whose scale falls below the tolerance skips its transformation, and
// tiny couplings split the tridiagonal matrix: both change the kernels' flow.
TEST(FastKernels, NegligibleRowsAndSplitsBitForBit)
{
    for (int n : {6, 19, 40}) {
        vec a = randsym(n, n, unsigned(n));
        for (int k = 1; k <= n; ++k)
            if (k != n / 2) at(a, n, n / 2, k) = at(a, n, k, n / 2) = 1e-11;
        for (int k = 1; k <= n / 3; ++k) at(a, n, n, k) = at(a, n, k, n) = 0;
        solvers(a, n, n, "negligible n=" + std::to_string(n));
        vec b(size_t(n) * n, 0.0);  // block diagonal: blocks of 5
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j)
                if ((i - 1) / 5 == (j - 1) / 5) at(b, n, i, j) = at(a, n, std::max(i, j), std::min(i, j));
        solvers(b, n, n, "blocks n=" + std::to_string(n));
    }
}

// Gower-centred matrices of regular grids have many repeated eigenvalues:
// a different rounding anywhere gives a different basis of their spaces.
TEST(FastKernels, GridMatricesBitForBit)
{
    struct {
        int rows, cols;
        double limit;  // 0: untruncated
    } cases[] = {
        {5, 5, 0}, {5, 5, 1}, {8, 8, 1}, {12, 12, std::sqrt(2.0)}, {10, 13, 2},
        {17, 17, 1}, {15, 20, 0}, {1, 300, 1},
    };
    for (const auto& c : cases) {
        int n = c.rows * c.cols, ld = n + 1;
        vec x = gridsites(c.rows, c.cols, ld);
        vec d = truncated(n, 2, ld, x, c.limit > 0 ? c.limit + limitadd : 1e300);
        std::string what = std::to_string(c.rows) + "x" + std::to_string(c.cols) + " limit " +
                           std::to_string(c.limit);
        solvers(centredby(n, ld, d), n, ld, what);
        analyses(n, ld, d, what);
    }
}

// Random sites, truncated and not, through the whole analysis.
TEST(FastKernels, RandomSitesAnalysisBitForBit)
{
    for (int n : {1, 2, 3, 10, 57, 250}) {
        int ld = n + 2;
        std::mt19937 gen{unsigned(n)};
        std::uniform_real_distribution<double> u(0, 10);
        vec x(size_t(ld) * 2, 0.0);
        for (int i = 1; i <= n; ++i) at(x, ld, i, 1) = u(gen), at(x, ld, i, 2) = u(gen);
        for (double limit : {1.5, 3.0, 1e300}) {
            vec d = truncated(n, 2, ld, x, limit);
            analyses(n, ld, d, "sites n=" + std::to_string(n) + " limit " + std::to_string(limit));
        }
    }
}

// gower on any square matrix, symmetric or not.
TEST(FastKernels, GowerBitForBit)
{
    for (int n : {1, 3, 4, 9, 130}) {
        int np = n + 1;
        vec a = randsym(n, np, unsigned(n));
        std::mt19937 gen{unsigned(7 * n)};
        std::uniform_real_distribution<double> u(-1, 1);
        for (double& v : a) v += u(gen);
        vec la = a, lm(n, 0.0), fa = a, fm(n, 0.0);
        literal::gower(la.data(), lm.data(), n, np);
        gower(fa.data(), fm.data(), n, np);
        EXPECT_TRUE(samebits(fa, la)) << n;
        EXPECT_TRUE(samebits(fm, lm)) << n;
    }
}

// Sorting and arranging the columns: ties within the tolerance, zero and
// negative eigenvalues, permutations made of several cycles.
TEST(FastKernels, SortAndArrangeBitForBit)
{
    const vec values = {2, -1, 0, 2 + 5e-9, 3, 1e-7, -4, 2, 0.5, -0.0, 9, 2 - 5e-9, 3};
    for (int n : {1, 2, 5, 13}) {
        int ld = n + 2;
        vec eig(values.begin(), values.begin() + n), leig = eig;
        std::vector<int> perm(n), lperm(n);
        literal::sorteig(n, leig.data(), lperm.data());
        sorteig(n, eig.data(), perm.data());
        EXPECT_TRUE(samebits(eig, leig)) << n;
        EXPECT_TRUE(samebits(perm, lperm)) << n;
        vec x = randsym(n, ld, unsigned(n)), lx = x, row(n, 0.0);
        literal::reorder(n, ld, lx.data(), lperm.data(), row.data());
        literal::scalecols(n, ld, lx.data(), leig.data());
        arrange(n, ld, x.data(), perm.data(), eig.data(), row.data());
        EXPECT_TRUE(samebits(x, lx)) << n;
    }
    // every arrangement of 5 columns, against the literal reordering
    std::vector<int> p = {1, 2, 3, 4, 5};
    const vec eig = {4, -2, 0, 1, 0.25};
    do {
        vec x = randsym(5, 5, 3), lx = x, row(5, 0.0);
        literal::reorder(5, 5, lx.data(), p.data(), row.data());
        literal::scalecols(5, 5, lx.data(), eig.data());
        arrange(5, 5, x.data(), p.data(), eig.data(), row.data());
        EXPECT_TRUE(samebits(x, lx)) << p[0] << p[1] << p[2] << p[3] << p[4];
    } while (std::next_permutation(p.begin(), p.end()));
}

// At the iteration limit the fast solver stops where the literal one stops,
// with every rotation made before applied.
TEST(FastKernels, IterationLimitSameState)
{
    const int n = 6;
    vec a = randsym(n, n, 7);
    a[3] = std::nan("");
    vec ld(n, 0.0), le(n, 0.0), la = a;
    literal::tred2(la.data(), n, n, ld.data(), le.data());
    EXPECT_THROW(literal::tqli(ld.data(), le.data(), n, n, la.data()), runstop);
    for (int path : paths()) {
        vec fd(n, 0.0), fe(n, 0.0), fa = a, w = work(n, n);
        tred2(fa.data(), n, n, fd.data(), fe.data(), w.data(), path);
        EXPECT_THROW(tqli(fd.data(), fe.data(), n, n, fa.data(), w.data(), path), runstop);
        EXPECT_TRUE(samebits(fa, la)) << path;
        EXPECT_TRUE(samebits(fd, ld)) << path;
    }
}

// The product on both paths, every size class of its blocks.
TEST(FastKernels, ProduitBitForBit)
{
    for (int l : {1, 3, 4, 15, 16, 17, 40}) {
        for (int n : {1, 2, 3, 5}) {
            const int m = 37, ld = 45;
            vec a = randsym(ld, ld, unsigned(l)), b = randsym(ld, ld, unsigned(n + 100));
            vec lp(size_t(ld) * ld, -1.0);
            literal::produit(a.data(), b.data(), lp.data(), l, m, n, ld);
            for (int path : paths()) {
                vec p(size_t(ld) * ld, -1.0);
                produit(a.data(), b.data(), p.data(), l, m, n, ld, path);
                EXPECT_TRUE(samebits(p, lp)) << l << " " << n << " " << path;
            }
        }
    }
}

// The correlation check: standardised columns, every work vector and
// matrix, and the lines it writes.
TEST(FastKernels, CorrelBitForBit)
{
    for (int n : {2, 9, 130}) {
        for (int m : {1, 2, 7, 33}) {
            const int ld = 140;
            vec x = randsym(ld, ld, unsigned(n * 100 + m));
            vec lx = x;
            vec s[4], ls[4];
            for (int k = 0; k < 4; ++k) s[k] = ls[k] = vec(ld, 0.5);
            vec c(size_t(ld) * ld, 0.25), lc = c, xp = c, lxp = c;
            capture fcap, lcap;
            literal::correl(n, m, lx.data(), ld, ls[0].data(), ls[1].data(), ls[2].data(),
                            ls[3].data(), lc.data(), lxp.data(), lcap.io->report);
            correl(n, m, x.data(), ld, s[0].data(), s[1].data(), s[2].data(), s[3].data(),
                   c.data(), xp.data(), fcap.io->report);
            SCOPED_TRACE(std::to_string(n) + " x " + std::to_string(m));
            EXPECT_TRUE(samebits(x, lx));
            for (int k = 0; k < 4; ++k) EXPECT_TRUE(samebits(s[k], ls[k])) << k;
            EXPECT_TRUE(samebits(c, lc));
            EXPECT_TRUE(samebits(xp, lxp));
            EXPECT_EQ(fcap.report(), lcap.report());
            EXPECT_EQ(fcap.console(), lcap.console());
        }
    }
}

// ---------------------------------------------------------------------------
// Correlation check

namespace {

// correl on columns 1..m of x (leading dimension ld) over rows 1..n.
void runcorrel(int n, int m, vec& x, int ld, stream& report, vec& corlin)
{
    vec sum(ld, 0.0), sumsq(ld, 0.0), mean(ld, 0.0), sd(ld, 0.0), xprime(ld * ld, 0.0);
    corlin.assign(size_t(ld * ld), 0.0);
    correl(n, m, x.data(), ld, sum.data(), sumsq.data(), mean.data(), sd.data(), corlin.data(),
           xprime.data(), report);
}

lines advice(const char* value)
{
    return {"",
            " The use of supplementary objects in the computations",
            " induces correlations among the spatial variables.",
            std::string(" The largest (absolute) correlation value is") + value,
            " If you find this value acceptable, keep the matrix of",
            " PCNM variables built by this program. If you find ",
            " this value too high, rerun the program using fewer",
            " supplementary objects."};
}

}  // namespace

// Columns built from three orthogonal zero-mean patterns a, b, c:
// u = 3a + 5, v = -0.9a + sqrt(0.19)b, w = 2c - 1; corr(u, v) = -0.9, the
// other pairs 0.
TEST(Correl, KnownPairStandardisedAndReported)
{
    const int n = 8, m = 3, ld = 10;
    const double a[n] = {1, 1, 1, 1, -1, -1, -1, -1}, b[n] = {1, 1, -1, -1, 1, 1, -1, -1},
                 c[n] = {1, -1, 1, -1, 1, -1, 1, -1};
    vec x(ld * ld, 0.0);
    for (int i = 1; i <= n; ++i) {
        at(x, ld, i, 1) = 3 * a[i - 1] + 5;
        at(x, ld, i, 2) = -0.9 * a[i - 1] + std::sqrt(0.19) * b[i - 1];
        at(x, ld, i, 3) = 2 * c[i - 1] - 1;
    }
    vec before = x, corlin;
    capture cap;
    runcorrel(n, m, x, ld, cap.io->report, corlin);
    for (int j = 1; j <= m; ++j) {
        double mean = 0, ss = 0;
        for (int i = 1; i <= n; ++i) mean += at(x, ld, i, j) / n;
        for (int i = 1; i <= n; ++i) ss += (at(x, ld, i, j) - mean) * (at(x, ld, i, j) - mean);
        EXPECT_NEAR(mean, 0, 1e-15) << j;
        EXPECT_NEAR(std::sqrt(ss / (n - 1)), 1, 1e-15) << j;
        for (int k = 1; k <= m; ++k) {
            double want = j == k ? 1 : (j + k == 3 ? -0.9 : 0);
            EXPECT_NEAR(at(corlin, ld, j, k), want, 1e-15) << j << "," << k;
        }
    }
    for (int i = n + 1; i <= ld; ++i)  // other rows untouched
        for (int j = 1; j <= ld; ++j) EXPECT_EQ(at(x, ld, i, j), at(before, ld, i, j));
    EXPECT_EQ(cap.console(), advice(" 0.9000"));
    EXPECT_EQ(cap.report(),
              (lines{"", " Largest absolute correlation value between two spatial variables: 0.9000"}));
}

TEST(Correl, SingleVariableGivesZero)
{
    const int ld = 6;
    vec x(ld * ld, 0.0), corlin;
    for (int i = 1; i <= 5; ++i) at(x, ld, i, 1) = i * i;
    capture cap;
    runcorrel(5, 1, x, ld, cap.io->report, corlin);
    EXPECT_EQ(cap.console(), advice(" 0.0000"));
    EXPECT_EQ(cap.report(),
              (lines{"", " Largest absolute correlation value between two spatial variables: 0.0000"}));
}

// A constant column stops the run with its number, in the report only.  The
// one-pass numerator of a constant column can come out negative.
TEST(Correl, ZeroVarianceStops)
{
    struct {
        int n, m;
        double value;
        int first, second;  // constant columns; 0: none
        const char* line;
    } cases[] = {
        {7, 3, 0.1, 2, 0, " Variance nulle pour variable X no  2"},
        {10, 3, 0.7, 2, 3, " Variance nulle pour variable X no  2"},
        {13, 4, 1.0 / 3, 4, 0, " Variance nulle pour variable X no  4"},
        {3, 2, 1e3 + 0.1, 1, 0, " Variance nulle pour variable X no  1"},
        {1, 2, 0, 0, 0, " Variance nulle pour variable X no  1"},  // one object
    };
    bool negative = false;
    for (const auto& c : cases) {
        const int ld = 16;
        vec x(ld * ld, 0.0), corlin;
        for (int i = 1; i <= c.n; ++i)
            for (int j = 1; j <= c.m; ++j)
                at(x, ld, i, j) = j == c.first || j == c.second ? c.value : i * j + 0.5 * j;
        if (c.first) {
            double s = 0, ss = 0;
            for (int i = 1; i <= c.n; ++i) s += c.value, ss += c.value * c.value;
            negative = negative || ss - s * s / c.n < 0;
        }
        capture cap;
        try {
            runcorrel(c.n, c.m, x, ld, cap.io->report, corlin);
            ADD_FAILURE() << "no stop: " << c.line;
        } catch (const runstop& s) {
            EXPECT_EQ(s.status, 0);
            EXPECT_EQ(s.stop, nullptr);
        }
        EXPECT_EQ(cap.report(), (lines{c.line}));
        EXPECT_TRUE(cap.console().empty()) << c.line;
    }
    EXPECT_TRUE(negative) << "no case has a negative one-pass numerator";
}

TEST(Produit, WritesOnlyTheProductBlock)
{
    const int ld = 4;
    // a: 2 x 3, b: 3 x 2, stored by columns with leading dimension 4
    vec a = {1, 4, 0, 0, 2, 5, 0, 0, 3, 6, 0, 0}, b = {7, 9, 11, 0, 8, 10, 12, 0};
    vec p(ld * 3, -1.0);
    produit(a.data(), b.data(), p.data(), 2, 3, 2, ld);
    EXPECT_EQ(p, (vec{58, 139, -1, -1, 64, 154, -1, -1, -1, -1, -1, -1}));
}
