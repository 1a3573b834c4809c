// Tests of the PCNM construction: truncation, the eigen-solver, the
// principal coordinate analysis and the correlation check.  Expected values
// are the worked transect example, hand derivations, an independent Jacobi
// eigenvalue routine written below, and the literal forms of tests/literal,
// which the fast kernels must match bit for bit on every vector path and
// with every thread count (1, 2, 3 and 7 threads).  A build whose tests
// run under an emulator (LW_EMULATED) takes the same paths at smaller
// orders: the orders from which the kernels share their work are lowered
// for it, and the sizes that only reach the default orders are left to the
// native build.  The
// report lines of the 11-point transect for the limits 0, 0.5, 1 and 10, and
// its variable for 10, are compared byte for byte by the transcripts of
// tests/e2e (pcnm_*).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "literal/literal.h"
#include "pcnm/pcnm.h"
#include "pcnm/threads.h"
#include "testfiles.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

using vec = std::vector<double>;
using std::to_string;

#ifdef LW_EMULATED
const bool emulated = true;
#else
const bool emulated = false;
#endif

// The orders from which the kernels share their work: the defaults on a
// native build, and under an emulator orders that small matrices reach,
// the reduction's blocks two vectors of the widest path.
const sharing small = {16, 40, 2, 16};
struct shareorders : ::testing::Environment {
    void SetUp() override
    {
        if (emulated) setsharing(small);
    }
};
::testing::Environment* const orders = ::testing::AddGlobalTestEnvironment(new shareorders);

// The sizes of a case: native, or under an emulator.
std::vector<int> sizes(std::vector<int> native, std::vector<int> underemulator)
{
    return emulated ? underemulator : native;
}

// Element (i, j), from 1, of a matrix stored by columns.
double& at(vec& m, int ld, int i, int j) { return m[size_t(i - 1) + size_t(j - 1) * ld]; }

// Eigenvalues of the symmetric n x n matrix a (leading dimension n) by
// cyclic Jacobi rotations, largest first.
vec jacobi(vec a, int n)
{
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0, all = 0;
        for (int p = 1; p <= n; ++p)
            for (int q = 1; q <= n; ++q) (p == q ? all : off) += at(a, n, p, q) * at(a, n, p, q);
        if (off <= 1e-30 * (all + off)) break;
        for (int p = 1; p < n; ++p)
            for (int q = p + 1; q <= n; ++q) {
                double apq = at(a, n, p, q);
                if (apq == 0) continue;
                double theta = (at(a, n, q, q) - at(a, n, p, p)) / (2 * apq);
                double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::hypot(theta, 1.0));
                double c = 1 / std::sqrt(t * t + 1), s = t * c;
                auto rot = [c, s](double& u, double& v) {
                    std::tie(u, v) = std::make_pair(c * u - s * v, s * u + c * v);
                };
                for (int k = 1; k <= n; ++k) rot(at(a, n, k, p), at(a, n, k, q));  // columns p, q
                for (int k = 1; k <= n; ++k) rot(at(a, n, p, k), at(a, n, q, k));  // then rows
            }
    }
    vec w(n);
    for (int i = 1; i <= n; ++i) w[size_t(i - 1)] = at(a, n, i, i);
    std::sort(w.begin(), w.end(), [](double u, double v) { return u > v; });
    return w;
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

// The truncated distance matrix (upper triangle) of sites x (ld x 2).
vec truncated(int n, int ncoord, int ld, const vec& x, double limit)
{
    vec d(size_t(ld * ld), 0);
    distances(n, ncoord, ld, x.data(), d.data());
    truncate(n, ld, d.data(), limit);
    return d;
}

struct pcoaout { vec eig, x; std::vector<int> perm; int npos; pcoasums sums; };

// pcoa, or its literal form, of n objects from the upper triangle of d.
pcoaout runpcoa(int n, int ld, const vec& d, bool lit = false)
{
    pcoaout r{vec(ld), vec(size_t(ld) * ld), std::vector<int>(ld), -1, {}};
    vec off(ld), mean(ld), row(ld);
    if (lit)
        literal::pcoa(n, ld, r.perm.data(), d.data(), r.eig.data(), off.data(), r.x.data(),
                      mean.data(), row.data(), r.npos, r.sums);
    else
        pcoa(n, ld, r.perm.data(), d.data(), r.eig.data(), off.data(), r.x.data(), mean.data(),
             row.data(), r.npos, r.sums, vec(size_t(ld) * n).data());
    return r;
}

// The standardised block, the correlations, the largest of them (its bits
// beside it) and the column of zero variance (0: none).
struct correlout { vec x, c, largest; int zero; };

// correl, or its literal form, on columns 1..m of x over rows 1..n.
correlout runcorrel(int n, int m, const vec& x, int ld, bool lit = false)
{
    vec s[4] = {vec(ld), vec(ld), vec(ld), vec(ld)}, xp(size_t(ld) * ld);
    correlout r{x, xp, {-1.0}, -1};
    r.zero = (lit ? literal::correl : correl)(n, m, r.x.data(), ld, s[0].data(), s[1].data(), s[2].data(),
                                              s[3].data(), r.c.data(), xp.data(), r.largest[0]);
    return r;
}

// The vector paths to compare: every one this processor can run.  The
// others are named once on the standard output, as not compared.
std::vector<int> paths()
{
    static bool told = false;
    std::vector<int> all;
    for (int path : {path_base, path_avx2, path_avx512})
        if (runs(path))
            all.push_back(path);
        else if (!told)
            std::printf("note: vector path %d does not run on this processor: not compared\n", path);
    told = true;
    return all;
}

// Whether two arrays hold the same bits.
template <typename T>
bool samebits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// tred2 and tqli on the n x n matrix a (leading dimension np): the literal
// forms for path -1; depth, the updates the reduction keeps pending (0:
// the kernel's own choice).  The eigenvalues into d, the vectors into a.
void solve(vec& a, vec& d, int n, int np, int path, int depth = 0)
{
    vec e(n, 7.0), w(size_t(np) * n);
    d.assign(size_t(n), 7.0);
    if (path < 0) {
        literal::tred2(a.data(), n, np, d.data(), e.data());
        literal::tqli(d.data(), e.data(), n, np, a.data());
    } else {
        tred2(a.data(), n, np, d.data(), e.data(), w.data(), path, depth);
        tqli(d.data(), e.data(), n, np, a.data(), w.data(), path);
    }
}

// The thread counts the fast kernels are compared with: one, and counts
// that divide the sizes of the work and that do not.  The kernels share
// their work only from order sharingnow().threadfrom on.
const int threadcounts[] = {1, 2, 3, 7};

// Sets the kernels' thread count for the life of a scope, then restores
// the default.
struct withthreads {
    explicit withthreads(int k) { setthreads(k); }
    ~withthreads() { setthreads(0); }
};

// The literal and the fast solver on a (every element of the np x n array
// compared afterwards), on every path, with every thread count and every
// depth of pending updates.
void solvers(const vec& a, int n, int np, const std::string& what)
{
    vec la = a, ld, fa, fd;
    solve(la, ld, n, np, -1);
    for (int path : paths())
        for (int t : threadcounts)
            for (int depth = 1; depth <= maxdepth; ++depth) {
                withthreads use(t);
                solve(fa = a, fd, n, np, path, depth);
                std::string how = ", path " + to_string(path) + ", " + to_string(t) + " threads, depth " +
                                  to_string(depth);
                EXPECT_TRUE(samebits(fd, ld)) << what << " eigenvalues" << how;
                EXPECT_TRUE(samebits(fa, la)) << what << " eigenvectors" << how;
            }
}

// The literal and the fast analysis of the distances d: eigenvalues,
// coordinates, permutation, count and sums, with every thread
// count.
void analyses(int n, int ld, const vec& d, const std::string& what)
{
    pcoaout l = runpcoa(n, ld, d, true);
    for (int t : threadcounts) {
        withthreads use(t);
        pcoaout f = runpcoa(n, ld, d);
        EXPECT_TRUE(samebits(f.eig, l.eig) && samebits(f.x, l.x) && samebits(f.perm, l.perm))
            << what << ", " << t << " threads";
        const vec fs = {f.sums.possum, f.sums.negsum, f.sums.trace}, ls = {l.sums.possum, l.sums.negsum, l.sums.trace};
        EXPECT_TRUE(samebits(fs, ls) && f.npos == l.npos) << what << ", sums and count, " << t << " threads";
    }
}

}  // namespace

// Distances 3, 4, 5 / 5, 4 / 3 of a 3 x 4 rectangle into the lower triangle
// only; truncated into the upper one, a distance equal to the limit kept,
// every limit starting afresh from the lower triangle.
TEST(Distances, LowerTriangleThenStrictTruncation)
{
    vec x = {0, 3, 0, 3, 0, 0, 4, 4}, d(16, -7);
    distances(4, 2, 4, x.data(), d.data());
    for (int k = 0; k < 16; ++k)  // d[k] is element (k % 4 + 1, k / 4 + 1)
        EXPECT_TRUE(k % 4 > k / 4 || d[size_t(k)] == -7) << k;
    struct { double limit, upper[6]; } cases[] = {  // upper: (1,2) (1,3) (1,4) (2,3) (2,4) (3,4)
        {4, {3, 4, 16, 16, 4, 3}}, {3.5, {3, 14, 14, 14, 14, 3}}, {10, {3, 4, 5, 5, 4, 3}}};
    for (const auto& c : cases) {
        truncate(4, 4, d.data(), c.limit);
        for (int i = 1, p = 0; i <= 3; ++i)
            for (int j = i + 1; j <= 4; ++j) EXPECT_EQ(at(d, 4, i, j), c.upper[p++]) << c.limit;
    }
}

// The distances of random sites in one, two and three coordinates against
// the literal loops, on every path and with every thread count (the
// threads share the columns from threadfrom objects on); the upper triangle stays
// untouched.  The Gower centring of a random symmetric matrix likewise.
TEST(Distances, BitForBitOnThreads)
{
    for (int ntot : sizes({7, 19, 250}, {7, 19, 37}))
        for (int ncoord : {1, 2, 3}) {
            vec x = randsym(ntot + 1, ntot + 1, unsigned(ntot + ncoord)), ld(size_t(ntot + 1) * ntot, -5.0);
            literal::distances(ntot, ncoord, ntot + 1, x.data(), ld.data());
            vec a = randsym(ntot, ntot + 1, unsigned(ncoord)), la = a, lmean(ntot);
            literal::gower(la.data(), lmean.data(), ntot, ntot + 1);
            for (int path : paths())
                for (int t : threadcounts) {
                    withthreads use(t);
                    vec d(size_t(ntot + 1) * ntot, -5.0), fa = a, mean(ntot);
                    distances(ntot, ncoord, ntot + 1, x.data(), d.data(), path);
                    EXPECT_TRUE(samebits(d, ld)) << ntot << " " << ncoord << " " << path << " " << t;
                    gower(fa.data(), mean.data(), ntot, ntot + 1, path);
                    EXPECT_TRUE(samebits(fa, la) && samebits(mean, lmean))
                        << "gower " << ntot << " " << path << " " << t;
                }
        }
}

// The count a setting such as OMP_NUM_THREADS asks for: a smaller positive
// whole number lowers the processors, anything else leaves them all.
TEST(Threads, CountAsked)
{
    int all = oscpus() < 256 ? oscpus() : 256;
    struct {
        const char* value;
        int count;
    } cases[] = {{nullptr, all}, {"", all},   {"1", 1},    {"0", all},  {"-1", all},
                 {"1x", all},    {" 1", 1},   {"1 ", all}, {"abc", all}, {"99999", all},
                 {"99999999999999999999", all}};
    for (const auto& c : cases)
        EXPECT_EQ(threadsasked(c.value), c.count) << (c.value ? c.value : "(null)");
}

// The worked 2 x 2 example: eigenvalues in the solver's order, bit for bit,
// and the unit eigenvectors (the spare row untouched).
TEST(Solver, TwoByTwo)
{
    vec a = {3, 2, 0, 2, 3, 0}, d;
    solve(a, d, 2, 3, bestpath());
    EXPECT_EQ(d, (vec{1.0000000000000004, 5.0}));
    const double h = 1 / std::sqrt(2.0), z[6] = {h, -h, 0, h, h, 0};
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(a[size_t(k)], z[k], 1e-15) << k;
}

// A v = lambda v, V'V = I and the eigenvalues of the Jacobi routine.
// Couplings below the absolute tolerance are dropped: that bounds the
// residual and the eigenvalue error.
TEST(Solver, RandomSymmetric)
{
    for (int n : sizes({2, 3, 5, 12, 40, 101, 300}, {2, 3, 5, 12, 40, 57})) {
        const int np = n + 3;
        vec a = randsym(n, np, unsigned(n)), plain = randsym(n, n, unsigned(n)), d;
        solve(a, d, n, np, bestpath());
        double resid = 0, ortho = 0;
        for (int k = 1; k <= n; ++k)
            for (int i = 1; i <= n; ++i) {
                double av = 0, dot = 0;
                for (int j = 1; j <= n; ++j) av += at(plain, n, i, j) * at(a, np, j, k);
                for (int j = 1; j <= n; ++j) dot += at(a, np, j, i) * at(a, np, j, k);
                resid = std::max(resid, std::fabs(av - d[size_t(k - 1)] * at(a, np, i, k)));
                ortho = std::max(ortho, std::fabs(dot - (i == k ? 1 : 0)));
            }
        EXPECT_LT(resid, tolerance) << n;
        EXPECT_LT(ortho, 1e-14 * n) << n;
        vec want = jacobi(plain, n);
        std::sort(d.begin(), d.end(), [](double u, double v) { return u > v; });
        for (int k = 0; k < n; ++k) EXPECT_NEAR(d[size_t(k)], want[size_t(k)], tolerance) << n;
    }
}

// QL converges whatever the scale of the matrix; only couplings that are not
// finite (a NaN, or overflow on the way) stop it, on every path where the
// literal solver stops, with every rotation made before applied.  (The stop
// line and status are in the transcript tests/e2e/pcnm_iteration_limit_stop.)
TEST(Solver, IterationLimitStops)
{
    for (int n : sizes({6, 210}, {6, 30}))
        for (double scale : {1.0, std::nan(""), 1.7e308}) {  // 1: a single NaN element
            vec a = randsym(n, n, 7), la, ld, fa, fd;
            for (double& v : a) v *= scale;
            if (scale == 1) a[3] = std::nan("");
            EXPECT_THROW(solve(la = a, ld, n, n, -1), runstop);
            for (int path : paths())
                for (int t : threadcounts) {
                    withthreads use(t);
                    EXPECT_THROW(solve(fa = a, fd, n, n, path), runstop) << scale << " " << path;
                    EXPECT_TRUE(samebits(fa, la) && samebits(fd, ld))
                        << n << " " << scale << " " << path << " " << t;
                }
        }
}

// The transect of 11 points 0, 1, ..., 10 after ranging (common divisor ten
// times the single-precision 0.1): the worked example with limit 1, and
// limit 2, which keeps six eigenvalues.
TEST(Pcoa, TransectWorkedExample)
{
    const double rangmax = 1.0000000149011612;
    const int n = 11, ld = 13;
    vec x(size_t(ld * 2), 0.0);
    for (int i = 1; i <= n; ++i) at(x, ld, i, 1) = double(i - 1) / rangmax;
    pcoaout r = runpcoa(n, ld, truncated(n, 1, ld, x, scaledlimit(1, rangmax)));
    const double eig[11] = {20.990380, 18.968584, 15.500000, 12.147834, 8.000000, 4.273859,
                            0.500000,  0,         -2.544928, -4.990381, -6.481714};
    const double first[11] = {0.935200,  1.619814,  1.870400,  1.619814,  0.935200, 0,
                              -0.935200, -1.619814, -1.870400, -1.619814, -0.935200};
    EXPECT_EQ(r.npos, 7);
    for (int k = 0; k < n; ++k) EXPECT_NEAR(r.eig[size_t(k)], eig[k], 5e-7) << k;
    for (int i = 1; i <= n; ++i) EXPECT_NEAR(at(r.x, ld, i, 1), first[i - 1], 5e-7) << i;
    EXPECT_EQ(runpcoa(n, ld, truncated(n, 1, ld, x, scaledlimit(2, rangmax))).npos, 6);
}

// Two objects at distance delta: eigenvalues delta^2 / 2 and 0, the first
// coordinate +-delta/2 through the single-precision factor, and the count of
// the eigenvalues not below the single-precision 5.0E-7.
TEST(Pcoa, TwoObjects)
{
    struct { double half; int npos; } cases[] = {{4.5, 1}, {4.99999999e-7, 1}, {4.9999999e-7, 0}};
    for (const auto& c : cases) {  // half: delta^2 / 2
        double half = c.half, first = double(float(std::sqrt(half))) / std::sqrt(2.0);
        pcoaout r = runpcoa(2, 3, {0, 0, 0, std::sqrt(2 * half), 0, 0, 0, 0, 0});  // d(1, 2)
        EXPECT_EQ(r.npos, c.npos) << half;
        EXPECT_NEAR(r.eig[0], half, 1e-15 * half) << half;
        EXPECT_NEAR(r.eig[1], 0, 1e-15 * half) << half;
        EXPECT_NEAR(r.x[0], first, 1e-15 * first) << half;
        EXPECT_NEAR(r.x[1], -first, 1e-15 * first) << half;
    }
}

// Straight insertion with the tolerance: a later eigenvalue moves ahead of
// an earlier one that exceeds it by 5e-9, not of one that exceeds it by 2e-8.
TEST(Pcoa, SortWithinTolerance)
{
    vec eig = {1, 1 - 5e-9, 3, 1 - 2e-8};
    std::vector<int> perm(4);
    sorteig(4, eig.data(), perm.data());
    EXPECT_EQ(eig, (vec{3, 1 - 5e-9, 1, 1 - 2e-8}));
    EXPECT_EQ(perm, (std::vector<int>{3, 2, 1, 4}));
}

// Random symmetric matrices of every size class of the vector loops (below,
// at and above multiples of 4 and 16), with and without spare rows and an
// upper triangle that the reduction must not read; rows whose scale falls
// below the tolerance (no transformation) and tiny couplings that split the
// tridiagonal matrix.
TEST(FastKernels, SolversBitForBit)
{
    for (int n : sizes({1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 64, 100, 101, 163, 211, 300},
                       {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 49, 64}))
        for (int np : {n, n + 3}) {
            vec a = randsym(n, np, unsigned(1000 + n)), junk = randsym(np, np, unsigned(n));
            for (int j = 1; j <= n; ++j)  // junk above the diagonal and in the spare rows
                for (int i = 1; i <= np; ++i)
                    if (i < j || i > n) at(a, np, i, j) = i > n ? -3.25 : 5 * at(junk, np, i, j);
            solvers(a, n, np, "random n=" + to_string(n) + " np=" + to_string(np));
        }
    for (int n : sizes({6, 19, 40, 230}, {6, 19, 40})) {
        vec a = randsym(n, n, unsigned(n)), b(size_t(n) * n, 0.0);
        for (int k = 1; k <= n; ++k)
            if (k != n / 2) at(a, n, n / 2, k) = at(a, n, k, n / 2) = 1e-11;
        for (int k = 1; k <= n / 3; ++k) at(a, n, n, k) = at(a, n, k, n) = 0;
        solvers(a, n, n, "negligible n=" + to_string(n));
        for (int k = 0; k < n * n; ++k)  // block diagonal: blocks of 5
            if (k % n / 5 == k / n / 5) b[size_t(k)] = a[size_t(k)];
        solvers(b, n, n, "blocks n=" + to_string(n));
    }
}

// From order 1000 on, three threads or more share the reduction's passes
// as a pipeline of column shares and row blocks of 512.  Order 1101 has three
// row blocks, the last one short, and column shares that end in no
// multiple of a vector (under an emulator order 83 with blocks of 16 and
// sharing from order 40: six row blocks, the last of three rows): the
// reduction alone, against the literal one, on every path with every
// depth, and with the thread counts that share it (one and two threads are
// compared at every size above).
TEST(FastKernels, SharedReductionBitForBit)
{
    const int n = emulated ? 83 : 1101, np = n + 3;
    const vec a = randsym(n, np, unsigned(n));
    vec la = a, ld(n), le(n);
    literal::tred2(la.data(), n, np, ld.data(), le.data());
    vec fa, fd(n), fe(n), w(size_t(np) * n);
    for (int path : paths())
        for (int t : {3, 7})
            for (int depth = 1; depth <= maxdepth; ++depth) {
                withthreads use(t);
                fa = a;
                tred2(fa.data(), n, np, fd.data(), fe.data(), w.data(), path, depth);
                std::string how = "path " + to_string(path) + ", " + to_string(t) + " threads, depth " +
                                  to_string(depth);
                EXPECT_TRUE(samebits(fd, ld) && samebits(fe, le)) << "tridiagonal, " << how;
                EXPECT_TRUE(samebits(fa, la)) << "transformation, " << how;
            }
}

// The reduction's passes forced alone, forced shared, and shared or not as
// measured during the call, with two and three threads and one: the bits
// of the literal reduction every way, and the way reported.  Measured, a
// call with threads to share times three rounds of each way (a cycle of
// depth passes each) and keeps one of the two; with one thread it times
// nothing and goes alone.
TEST(FastKernels, ReductionWayBitForBit)
{
    const int n = emulated ? 83 : 1101, np = n;
    const vec a = randsym(n, np, unsigned(n) + 5);
    vec la = a, ld(n), le(n);
    literal::tred2(la.data(), n, np, ld.data(), le.data());
    vec fa, fd(n), fe(n), w(size_t(np) * n);
    const sharing before = sharingnow();
    for (int way : {reduce_alone, reduce_shared, reduce_measured})
        for (int t : {1, 2, 3})
            for (int depth : {1, 2}) {
                sharing s = before;
                s.reduceway = way;
                setsharing(s);
                withthreads use(t);
                fa = a;
                reducechoice got;
                tred2(fa.data(), n, np, fd.data(), fe.data(), w.data(), bestpath(), depth, nullptr, &got);
                std::string how = "way " + to_string(way) + ", " + to_string(t) + " threads, depth " +
                                  to_string(depth);
                EXPECT_TRUE(samebits(fd, ld) && samebits(fe, le)) << "tridiagonal, " << how;
                EXPECT_TRUE(samebits(fa, la)) << "transformation, " << how;
                if (way != reduce_measured) {
                    EXPECT_EQ(got.way, way) << how;
                    EXPECT_EQ(got.timed, 0) << how;
                } else if (t == 1) {
                    EXPECT_EQ(got.way, reduce_alone) << how;
                    EXPECT_EQ(got.timed, 0) << how;
                } else {
                    EXPECT_TRUE(got.way == reduce_alone || got.way == reduce_shared) << how;
                    EXPECT_EQ(got.timed, 3 * 2 * depth) << how;
                    EXPECT_GT(got.alone, 0) << how;
                    EXPECT_GT(got.shared, 0) << how;
                    EXPECT_EQ(got.way, got.shared < got.alone ? reduce_shared : reduce_alone) << how;
                }
            }
    setsharing(before);
}

// Two analyses at once on two threads of the program, each with its own
// thread count (one of them with none beside it), share the pool in turn:
// each gives the bits of the literal solver, round after round.
TEST(FastKernels, TwoAnalysesAtOnce)
{
    struct job { int n, threads; vec a, d, want, wantd; bool same = true; };
    std::vector<job> jobs = {{emulated ? 57 : 300, 2, {}, {}, {}, {}}, {emulated ? 40 : 250, 3, {}, {}, {}, {}},
                             {emulated ? 33 : 230, 1, {}, {}, {}, {}}};
    for (job& j : jobs) {
        j.a = randsym(j.n, j.n, unsigned(j.n));
        j.want = j.a;
        solve(j.want, j.wantd, j.n, j.n, -1);
    }
    const sharing orders = sharingnow();
    std::vector<std::thread> running;
    for (job& j : jobs)
        running.emplace_back([&j, orders] {
            setsharing(orders);
            setthreads(j.threads);
            for (int round = 0; round < 8; ++round) {
                vec a = j.a, d;
                solve(a, d, j.n, j.n, bestpath());
                j.same = j.same && samebits(a, j.want) && samebits(d, j.wantd);
            }
        });
    for (std::thread& t : running) t.join();
    for (const job& j : jobs) EXPECT_TRUE(j.same) << "order " << j.n << ", " << j.threads << " threads";
}

// Gower-centred matrices of regular grids have many repeated eigenvalues: a
// different rounding anywhere gives a different basis of their spaces.
// Random sites, truncated and not, go through the whole analysis too.
TEST(FastKernels, AnalysisBitForBit)
{
    struct grid { int rows, cols; double limit; };  // limit 0: untruncated
    std::vector<grid> grids = {{5, 5, 0}, {5, 5, 1}, {8, 8, 1}, {12, 12, std::sqrt(2.0)}, {10, 13, 2}};
    if (emulated)
        grids.push_back({1, 60, 1});
    else
        grids.insert(grids.end(), {{17, 17, 1}, {15, 20, 0}, {1, 300, 1}});
    for (const auto& c : grids) {
        int n = c.rows * c.cols, ld = n + 1;
        vec x(size_t(ld) * 2, 0.0), a(size_t(ld) * n, 0.0), mean(ld);
        for (int i = 1; i <= n; ++i)
            at(x, ld, i, 1) = (i - 1) / c.cols, at(x, ld, i, 2) = (i - 1) % c.cols;
        vec d = truncated(n, 2, ld, x, c.limit > 0 ? c.limit + limitadd : 1e300);
        for (int i = 1; i < n; ++i)  // the centred matrix, by the literal steps
            for (int j = i + 1; j <= n; ++j)
                at(a, ld, i, j) = at(a, ld, j, i) = -(at(d, ld, i, j) * at(d, ld, i, j) * 0.5);
        literal::gower(a.data(), mean.data(), n, ld);
        std::string what = to_string(c.rows) + "x" + to_string(c.cols) + " " + to_string(c.limit);
        solvers(a, n, ld, what);
        analyses(n, ld, d, what);
    }
    for (int n : sizes({1, 2, 3, 10, 57, 250}, {1, 2, 3, 10, 57}))  // sites in [-1, 1] x [-1, 1]
        for (double limit : {0.3, 0.6, 1e300})
            analyses(n, n + 2, truncated(n, 2, n + 2, randsym(n + 2, n + 2, unsigned(n)), limit),
                     "sites n=" + to_string(n) + " limit " + to_string(limit));
}

// Arranging the columns by every permutation of 5 columns, against the
// literal reordering and scaling (negative and zero eigenvalues included).
TEST(FastKernels, ArrangeBitForBit)
{
    const vec eig = {4, -2, 0, 1, 0.25};
    std::vector<int> p = {1, 2, 3, 4, 5};
    do {
        vec x = randsym(5, 7, 5), lx = x, row(5);
        literal::reorder(5, 7, lx.data(), p.data(), row.data());
        literal::scalecols(5, 7, lx.data(), eig.data());
        arrange(5, 7, x.data(), p.data(), eig.data(), row.data());
        EXPECT_TRUE(samebits(x, lx)) << p[0] << p[1] << p[2] << p[3] << p[4];
    } while (std::next_permutation(p.begin(), p.end()));
}

// The product on both paths, every size class of its blocks, and with
// every thread count where the sums are long enough to be shared (m from
// threadfrom on: n columns in pairs, odd counts too); the correlation
// check: standardised columns, correlations, and the lines it writes, with
// objects enough to share as well.
TEST(FastKernels, ProduitCorrelBitForBit)
{
    const int ld = 240;
    for (int m : sizes({37, 230}, {13, 37}))
        for (int l : {1, 3, 4, 15, 16, 17, 40})
            for (int n : {1, 2, 3, 5, 13}) {
                vec a = randsym(ld, ld, unsigned(l)), b = randsym(ld, ld, unsigned(n + 100));
                vec lp(size_t(ld) * ld, -1.0);
                literal::produit(a.data(), b.data(), lp.data(), l, m, n, ld);
                for (int path : paths())
                    for (int t : threadcounts) {
                        withthreads use(t);
                        vec p(size_t(ld) * ld, -1.0);
                        produit(a.data(), b.data(), p.data(), l, m, n, ld, path);
                        EXPECT_TRUE(samebits(p, lp)) << m << " " << l << " " << n << " " << path
                                                     << " " << t;
                    }
            }
    for (int n : sizes({2, 9, 130, 210}, {2, 9, 40}))
        for (int m : {1, 2, 7, 33}) {
            vec x = randsym(220, 220, unsigned(n * 100 + m));
            correlout l = runcorrel(n, m, x, 220, true);
            for (int t : threadcounts) {
                withthreads use(t);
                correlout f = runcorrel(n, m, x, 220);
                EXPECT_TRUE(samebits(f.x, l.x) && samebits(f.c, l.c) && samebits(f.largest, l.largest) &&
                            f.zero == l.zero)
                    << n << " " << m << " " << t;
            }
        }
}

// Columns built from three orthogonal zero-mean patterns a, b, c of +-1 over
// 8 objects: u = 3a + 5, v = -0.9a + sqrt(0.19)b, w = 2c - 1; corr(u, v) =
// -0.9, the other pairs 0.  Each pattern (and v) has standard deviation
// sqrt(8 / 7): the standardised columns are sqrt(7 / 8) a, v and c.
TEST(Correl, KnownPairReported)
{
    const int n = 8, ld = 10;
    const double a[n] = {1, 1, 1, 1, -1, -1, -1, -1}, b[n] = {1, 1, -1, -1, 1, 1, -1, -1};
    vec x(size_t(ld * ld), 0.0);
    for (int i = 1; i <= n; ++i) {
        at(x, ld, i, 1) = 3 * a[i - 1] + 5;
        at(x, ld, i, 2) = -0.9 * a[i - 1] + std::sqrt(0.19) * b[i - 1];
        at(x, ld, i, 3) = i % 2 ? 1 : -3;  // c alternates from 1
    }
    correlout r = runcorrel(n, 3, x, ld);
    const double f = std::sqrt(7.0 / 8), mid[3] = {5, 0, -1}, amp[3] = {3, 1, 2};
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= 3; ++j)
            EXPECT_NEAR(at(r.x, ld, i, j), f * (at(x, ld, i, j) - mid[j - 1]) / amp[j - 1], 1e-15);
    EXPECT_EQ(r.zero, 0);
    EXPECT_NEAR(r.largest[0], 0.9, 1e-15);
}

// A constant column is returned by its number, the block left as it was: a
// one-pass numerator that is tiny (0.1: 1.4e-17), or negative (0.7:
// -1.8e-15); the first of two constant columns; one object.  (The stop's
// line on the report is in the transcript pcnm_zero_variance_stop.)
TEST(Correl, ZeroVarianceStops)
{
    struct { int n, m; double value; int first, second, reported; } cases[] = {
        {7, 3, 0.1, 2, 0, 2}, {10, 3, 0.7, 2, 3, 2}, {13, 4, 1.0 / 3, 4, 0, 4}, {1, 2, 0, 0, 0, 1}};
    for (const auto& c : cases) {
        vec x(16 * 16, 0.0);
        for (int i = 1; i <= c.n; ++i)
            for (int j = 1; j <= c.m; ++j)
                at(x, 16, i, j) = j == c.first || j == c.second ? c.value : i * j + 0.5 * j;
        correlout r = runcorrel(c.n, c.m, x, 16);
        EXPECT_EQ(r.zero, c.reported) << c.n;
        EXPECT_TRUE(samebits(r.x, x)) << c.n;
    }
}
