// Tests of the leading variables (lw_first): against the whole
// decomposition of the dialogue's path (lw_run with first 0) on uniform,
// clustered, gridded and transect sites, with supplementary sites and with
// one remote site; the same bits on 1, 2 and 3 threads; the faults of the
// solver reported, never returned; the kernels against plain loops and
// dense matrices; fewer positive eigenvalues than asked, memory and
// cancelling as statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "first/first.h"
#include "lociweaver.h"
#include "pcnm/pcnm.h"
#include "pcnm/threads.h"
#include "sites/sites.h"
#include "textio/os.h"
#include "threshold/mst.h"

namespace {

using vec = std::vector<double>;

#ifdef LW_EMULATED
const int scale = 4;  // sizes divided under the emulator
#else
const int scale = 1;
#endif

struct analysis {
    lw_analysis* a = lw_new();
    ~analysis() { lw_free(a); }
};

// A generator of the tests' own (a 64-bit linear congruential one, its top
// bits), giving [0, 1).
struct lcg {
    uint64_t s;
    double next()
    {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(s >> 11) / 9007199254740992.0;
    }
};

// Sites by columns, n rows and two coordinates.
vec uniform(int n, uint64_t seed)
{
    lcg g{seed};
    vec x(size_t(2 * n));
    for (int i = 0; i < n; ++i) x[size_t(i)] = 100 * g.next(), x[size_t(i + n)] = 100 * g.next();
    return x;
}
vec clustered(int n, uint64_t seed)
{
    lcg g{seed};
    vec c(12);
    for (double& v : c) v = 100 * g.next();
    vec x(size_t(2 * n));
    for (int i = 0; i < n; ++i) {
        int k = int(g.next() * 6);
        x[size_t(i)] = c[size_t(2 * k)] + 8 * (g.next() - 0.5) * (g.next() + 0.2);
        x[size_t(i + n)] = c[size_t(2 * k + 1)] + 8 * (g.next() - 0.5) * (g.next() + 0.2);
    }
    return x;
}
vec grid(int nx, int ny)
{
    vec x(size_t(2 * nx * ny));
    for (int i = 0; i < nx * ny; ++i) x[size_t(i)] = i % nx + 1, x[size_t(i + nx * ny)] = i / nx + 1;
    return x;
}

struct result {
    int status = 0, count = 0, missing = 0, rows = 0;
    double rangmax = 0, scaled = 0;
    vec vars, eig, moran;
};

// One run of ntot sites (the last nsup supplementary) at the tree's limit,
// k leading variables (0: every one), on t threads.
result run(const vec& xy, int ncoord, int nsup, int k, int t = 0)
{
    analysis an;
    const int ntot = int(xy.size()) / ncoord;
    result r;
    double limit = 0;
    EXPECT_EQ(lw_sites(an.a, ntot - nsup, nsup, ncoord, xy.data()), LW_OK);
    EXPECT_EQ(lw_treelimit(an.a, &limit, nullptr), LW_OK);
    lw_pcnm(an.a, limit);
    lw_first(an.a, k);
    lw_threads(an.a, t);
    r.status = lw_run(an.a);
    if (r.status != LW_OK) return r;
    r.count = lw_count(an.a);
    r.missing = lw_missing(an.a);
    r.rows = lw_rows(an.a);
    r.rangmax = lw_rangmax(an.a);
    r.scaled = lw_scaledlimit(an.a);
    r.vars.assign(lw_variables(an.a), lw_variables(an.a) + size_t(r.rows) * r.count);
    r.eig.assign(lw_eigenvalues(an.a), lw_eigenvalues(an.a) + (k > 0 ? r.count : ntot));
    r.moran.assign(lw_moran(an.a), lw_moran(an.a) + 4 * size_t(r.count));
    return r;
}

// The Frobenius norm of the part of the columns [s, e) of b (n rows) that
// lies outside the span of the columns [s, f) of a, both sets made
// orthonormal by Gram-Schmidt (twice) first.
double outside(int n, const vec& a, int s, int f, const vec& b, int e)
{
    auto orth = [n](const vec& m, int c0, int c1) {
        std::vector<vec> q;
        for (int c = c0; c < c1; ++c) {
            vec v(m.begin() + long(c) * n, m.begin() + long(c + 1) * n);
            for (int pass = 0; pass < 2; ++pass)
                for (const vec& u : q) {
                    double d = 0;
                    for (int i = 0; i < n; ++i) d += u[size_t(i)] * v[size_t(i)];
                    for (int i = 0; i < n; ++i) v[size_t(i)] -= d * u[size_t(i)];
                }
            double norm = 0;
            for (double x : v) norm += x * x;
            for (double& x : v) x /= std::sqrt(norm);
            q.push_back(v);
        }
        return q;
    };
    std::vector<vec> qa = orth(a, s, f), qb = orth(b, s, e);
    double sum = 0;
    for (vec v : qb) {
        for (const vec& u : qa) {
            double d = 0;
            for (int i = 0; i < n; ++i) d += u[size_t(i)] * v[size_t(i)];
            for (int i = 0; i < n; ++i) v[size_t(i)] -= d * u[size_t(i)];
        }
        for (double x : v) sum += x * x;
    }
    return std::sqrt(sum);
}

// The centred matrix of the dialogue's path for the sites of an analysis
// that ran (all of them main), built here from its ranged coordinates:
// -d*^2 / 2, d* the distance or four times the limit above it, centred by
// Gower's rows and columns.
vec centred(const vec& xy, int ncoord, double rangmax, double scaled)
{
    const int n = int(xy.size()) / ncoord;
    vec xr(xy), a(size_t(n) * n), mean(size_t(n), 0.0);
    double vmin[3], vrange[3], r = 0;
    rangecoords(n, ncoord, n, xr.data(), vmin, vrange, r, 1);
    EXPECT_EQ(r, rangmax);
    double all = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double d = std::sqrt(pairsum(i + 1, j + 1, ncoord, size_t(n), xr.data()));
            if (!within(d, scaled)) d = 4 * scaled;
            a[size_t(i) * n + j] = i == j ? 0 : -0.5 * d * d;
            mean[size_t(i)] += a[size_t(i) * n + j] / n;
        }
    for (double m : mean) all += m / n;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a[size_t(i) * n + j] += all - mean[size_t(i)] - mean[size_t(j)];
    return a;
}

// ||A v - lambda v|| for the unit vector along column j of vars (n rows).
double residual(const vec& a, int n, const vec& vars, int j, double lambda)
{
    const double* v = vars.data() + size_t(j) * n;
    double norm = 0, sum = 0;
    for (int i = 0; i < n; ++i) norm += v[i] * v[i];
    norm = std::sqrt(norm);
    for (int i = 0; i < n; ++i) {
        double s = 0;
        for (int k = 0; k < n; ++k) s += a[size_t(i) * n + k] * v[k];
        s = (s - lambda * v[i]) / norm;
        sum += s * s;
    }
    return std::sqrt(sum);
}

// The gap between the eigenvalues [s, e) of eig and the others.
double gapof(const vec& eig, int s, int e)
{
    double gap = eig[size_t(e) - 1] - eig[size_t(e)];
    return s > 0 ? std::fmin(gap, eig[size_t(s) - 1] - eig[size_t(s)]) : gap;
}

// The leading run of k against the whole one: eigenvalues within 1e-10 of
// the largest; each variable within 1e-8 of its largest absolute value
// after its sign (the dense one's sign taken to agree); the eigenvalues
// equal within 1e-9 of the largest by their spanned spaces (each of the
// leading run's variables of such a group in the dense group's span,
// largest angle below 1e-6).  The whole run's eigenvalues and eigenvectors come from a
// reduction whose negligible elements are below an absolute 1e-8: their
// residuals, measured here (up to some 1e-10 of the largest eigenvalue, and
// more where the eigenvalues are small, as on a transect), bound their own
// error, by the residual for an eigenvalue and by the residual over the
// gap to the other eigenvalues for a vector or a group's space, which is
// allowed beside the 1e-10, 1e-8 and 1e-6.  Without supplementary sites, every leading
// pair's residual is also measured against the centred matrix built here,
// and held below 1e-11 of the largest eigenvalue.
int against(const vec& xy, int ncoord, int nsup, int k)
{
    result d = run(xy, ncoord, nsup, 0), f = run(xy, ncoord, nsup, k);
    EXPECT_EQ(d.status, LW_OK);
    EXPECT_EQ(f.status, LW_OK);
    if (d.status != LW_OK || f.status != LW_OK) return -1;
    const int n = d.rows, want = k < d.count ? k : d.count;
    EXPECT_EQ(f.count, want);
    if (f.count != want) return -1;
    EXPECT_EQ(f.missing, k - want);
    const double top = d.eig[0];
    vec a, dres(size_t(d.count), 0.0);
    if (nsup == 0) {
        a = centred(xy, ncoord, d.rangmax, d.scaled);
        for (int j = 0; j < want + 1 && j < d.count; ++j) dres[size_t(j)] = residual(a, n, d.vars, j, d.eig[size_t(j)]);
        for (int j = 0; j < want; ++j)
            EXPECT_LE(residual(a, n, f.vars, j, f.eig[size_t(j)]), 1e-11 * top) << "pair " << j + 1;
    }
    for (int j = 0; j < want; ++j)
        EXPECT_NEAR(f.eig[size_t(j)], d.eig[size_t(j)], 1e-10 * top + dres[size_t(j)]) << j;
    int groups = 0;
    for (int s = 0; s < want;) {
        int e = s + 1;
        while (e < d.count && d.eig[size_t(e - 1)] - d.eig[size_t(e)] <= 1e-9 * top) ++e;
        if (e == s + 1) {
            const double* u = d.vars.data() + size_t(s) * n;
            const double* b = f.vars.data() + size_t(s) * n;
            double dot = 0, big = 0, worst = 0, norm = 0;
            for (int i = 0; i < n; ++i) {
                dot += u[i] * b[i];
                norm += u[i] * u[i];
                big = std::fmax(big, std::fabs(u[i]));
            }
            for (int i = 0; i < n; ++i) worst = std::fmax(worst, std::fabs((dot < 0 ? -u[i] : u[i]) - b[i]));
            double allowed = 1e-8 * big;
            if (nsup == 0) {
                allowed += 2 * dres[size_t(s)] / gapof(d.eig, s, e) * std::sqrt(norm);
            } else {
                allowed = 1e-6 * big;
            }
            EXPECT_LE(worst, allowed) << "variable " << s + 1;
            // Moran's I of the same variable through the same pairs, as
            // close as the variables are (4 times their bound, relative).
            EXPECT_NEAR(f.moran[size_t(s)], d.moran[size_t(s)], 1e-8 + 4 * allowed / big) << s + 1;
        } else {
            ++groups;
            double allowed = 1e-6;
            for (int j = s; j < e && nsup == 0; ++j) allowed += 2 * dres[size_t(j)] / gapof(d.eig, s, e);
            EXPECT_LE(outside(n, d.vars, s, e, f.vars, e < want ? e : want), allowed) << "group from " << s + 1;
        }
        s = e;
    }
    return groups;
}

TEST(first, uniform) { against(uniform(1500 / scale, 1), 2, 0, 40); }
TEST(first, clustered) { against(clustered(1000 / scale, 2), 2, 0, 20); }
// A square grid: its symmetry repeats eigenvalues, compared as spaces.
TEST(first, grid) { EXPECT_GT(against(grid(36 / (scale > 1 ? 2 : 1), 36 / (scale > 1 ? 2 : 1)), 2, 0, 40), 0); }
TEST(first, transect)
{
    vec x;
    for (int i = 1; i <= 1200 / scale; ++i) x.push_back(i);
    against(x, 1, 0, 40);
}
TEST(first, supplementary) { against(uniform(1200 / scale, 3), 2, 60 / scale, 30); }
TEST(first, remote)
{
    // Its limit keeps nearly every pair, of weights near 1: a spectrum
    // narrow within Gershgorin's wide bounds, which the solver's own lower
    // bound narrows.
    const int n = scale > 1 ? 60 : 300;
    vec x = uniform(n, 4);
    x[0] = 900, x[size_t(n)] = 900;
    against(x, 2, 0, scale > 1 ? 10 : 20);
}

// Fewer positive eigenvalues than asked: those returned, and how many fewer.
TEST(first, fewer)
{
    vec x;
    for (int i = 1; i <= 60; ++i) x.push_back(i);
    result d = run(x, 1, 0, 0), f = run(x, 1, 0, d.count + 8);
    ASSERT_EQ(f.status, LW_OK);
    EXPECT_EQ(f.count, d.count);
    EXPECT_EQ(f.missing, 8);
}

// The variable's sign: its element of largest magnitude positive.
TEST(first, sign)
{
    result f = run(uniform(400, 5), 2, 0, 10);
    ASSERT_EQ(f.status, LW_OK);
    for (int j = 0; j < f.count; ++j) {
        const double* v = f.vars.data() + size_t(j) * f.rows;
        int at = 0;
        for (int i = 1; i < f.rows; ++i)
            if (std::fabs(v[i]) > std::fabs(v[at])) at = i;
        EXPECT_GT(v[at], 0) << j;
    }
}

TEST(first, threads)
{
    vec x = uniform(1200 / scale, 6);
    result one = run(x, 2, 0, 30, 1);
    ASSERT_EQ(one.status, LW_OK);
    for (int t : {2, 3}) {
        result other = run(x, 2, 0, 30, t);
        ASSERT_EQ(other.status, LW_OK);
        ASSERT_EQ(other.vars.size(), one.vars.size());
        EXPECT_EQ(std::memcmp(other.vars.data(), one.vars.data(), one.vars.size() * sizeof(double)), 0) << t;
        EXPECT_EQ(std::memcmp(other.eig.data(), one.eig.data(), one.eig.size() * sizeof(double)), 0) << t;
    }
}

// The ranged pairs of sites xy (n rows, two coordinates) and their limit.
nearrows pairsof(vec& xy, int n, double& scaled)
{
    double vmin[2], vrange[2], rangmax = 0;
    rangecoords(n, 2, n, xy.data(), vmin, vrange, rangmax, 1);
    std::vector<int> from(static_cast<size_t>(n)), rest(static_cast<size_t>(n));
    vec len(static_cast<size_t>(n));
    int t = prim(n, 2, size_t(n), xy.data(), from.data(), len.data(), rest.data());
    scaled = len[size_t(t - 1)] * 1.5;
    nearrows r;
    nearpairs(n, 2, n, xy.data(), scaled, r);
    return r;
}

// A dropped block vector and a skipped re-orthonormalisation: a status,
// no pairs.
TEST(first, faults)
{
    vec xy = uniform(300, 7);
    double scaled;
    nearrows r = pairsof(xy, 300, scaled);
    vec eig, v;
    firstopts good;
    EXPECT_EQ(leading(r, 12, good, eig, v, nullptr).status, 0);
    EXPECT_EQ(eig.size(), 12u);
    firstopts drop;
    drop.drop = 3;
    firstinfo info = leading(r, 12, drop, eig, v, nullptr);
    EXPECT_EQ(info.status, 2);
    EXPECT_EQ(info.failed, 3);
    EXPECT_TRUE(eig.empty() && v.empty());
    firstopts plain;
    plain.plain = true;
    plain.maxproducts = 3000;
    info = leading(r, 12, plain, eig, v, nullptr);
    EXPECT_NE(info.status, 0);
    EXPECT_TRUE(eig.empty() && v.empty());
}

// The pairs both ways against all pairs tested one by one; the product
// against the dense matrix J (I + W) J.
TEST(first, product)
{
    const int n = 120;
    vec xy = uniform(n, 8);
    double scaled;
    nearrows r = pairsof(xy, n, scaled);
    vec m(size_t(n) * n, 0.0);
    long count = 0;
    for (int i = 0; i < n; ++i) {
        m[size_t(i) * n + i] = 1;
        for (int j = 0; j < n; ++j) {
            if (j == i) continue;
            double d = std::sqrt(pairsum(i + 1, j + 1, 2, size_t(n), xy.data()));
            if (d > scaled) continue;
            ++count;
            m[size_t(i) * n + j] = 1 - d * d / (16 * scaled * scaled);
        }
    }
    ASSERT_EQ(long(r.nb.size()), count);
    // Each site in one row; row i holds site s(i).
    std::vector<int> seen(size_t(n), 0);
    for (int s : r.site) ++seen[size_t(s)];
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);
    auto s = [&](int row) { return size_t(r.site[size_t(row)]); };
    for (int i = 0; i < n; ++i)
        for (long at = r.start[size_t(i)]; at < r.start[size_t(i) + 1]; ++at) {
            EXPECT_NEAR(r.w[size_t(at)], m[s(i) * n + s(r.nb[size_t(at)])], 1e-15);
            if (at > r.start[size_t(i)]) {
                EXPECT_LT(r.nb[size_t(at - 1)], r.nb[size_t(at)]);
            }
        }
    // G = J M J, explicitly.
    vec g(m), rowm(size_t(n), 0.0);
    double all = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) rowm[size_t(i)] += m[size_t(i) * n + j];
        all += rowm[size_t(i)];
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            g[size_t(i) * n + j] = m[size_t(i) * n + j] - rowm[size_t(i)] / n - rowm[size_t(j)] / n + all / n / n;
    // Every width of the rows' vectors, on every path: near the dense
    // product, and the bits of the baseline path.
    for (int p : {3, 19, 70}) {
        vec x(size_t(n) * p), y(size_t(n) * p), base(size_t(n) * p), mean(2 * size_t(p));
        lcg gen{9};
        for (double& v : x) v = gen.next() - 0.5;
        setpath(path_base);
        apply(r, p, x.data(), base.data(), mean.data());
        for (int path : {path_avx2, path_avx512}) {
            if (!runs(path)) continue;
            setpath(path);
            apply(r, p, x.data(), y.data(), mean.data());
            EXPECT_EQ(std::memcmp(y.data(), base.data(), y.size() * sizeof(double)), 0) << p << " " << path;
        }
        setpath(-1);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < p; ++c) {
                double s = 0;
                for (int j = 0; j < n; ++j)
                    s += g[size_t(r.site[size_t(i)]) * n + size_t(r.site[size_t(j)])] * x[size_t(j) * p + c];
                EXPECT_NEAR(base[size_t(i) * p + c], s, 1e-12);
            }
    }
}

// Pairs found again by every product (too many to store) against the
// stored ones: the same partners and weights, the same bits of the
// products and of the leading pairs.
TEST(first, unstored)
{
    for (int n : {300, 1000 / scale}) {
        vec xy = n == 300 ? uniform(n, 12) : clustered(n, 13);
        double scaled;
        nearrows stored = pairsof(xy, n, scaled), fly;
        nearfly(n, 2, n, xy.data(), scaled, fly);
        ASSERT_TRUE(fly.fly && fly.nb.empty());
        EXPECT_EQ(fly.site, stored.site);
        EXPECT_EQ(fly.partners, long(stored.nb.size()));
        EXPECT_EQ(std::memcmp(fly.ws.data(), stored.ws.data(), size_t(n) * sizeof(double)), 0);
        EXPECT_EQ(fly.wall, stored.wall);
        std::vector<int> nb;
        vec d, w;
        for (int i = 0; i < n; ++i) {
            rowpartners(fly, i, nb, d, w);
            const long at = stored.start[size_t(i)], count = stored.start[size_t(i) + 1] - at;
            ASSERT_EQ(long(nb.size()), count) << i;
            EXPECT_TRUE(std::equal(nb.begin(), nb.end(), stored.nb.begin() + at)) << i;
            EXPECT_EQ(std::memcmp(w.data(), stored.w.data() + at, size_t(count) * sizeof(double)), 0) << i;
        }
        vec e1, v1, e2, v2;
        firstopts o;
        ASSERT_EQ(leading(stored, 10, o, e1, v1, nullptr).status, 0);
        ASSERT_EQ(leading(fly, 10, o, e2, v2, nullptr).status, 0);
        EXPECT_EQ(std::memcmp(e1.data(), e2.data(), e1.size() * sizeof(double)), 0) << n;
        EXPECT_EQ(std::memcmp(v1.data(), v2.data(), v1.size() * sizeof(double)), 0) << n;
    }
}

// The inner products and the rotation against their plain loops, to the
// bit (one chunk: the plain order).
TEST(first, kernels)
{
    const int n = 700;
    for (auto pq : {std::pair<int, int>{13, 11}, {45, 41}, {70, 67}})
        for (int path : {path_base, path_avx2, path_avx512}) {
            if (!runs(path)) continue;
            setpath(path);
            const int p = pq.first, q = pq.second;
            lcg gen{10};
            vec a(size_t(n) * p), b(size_t(n) * q), c(size_t(p) * q), g(size_t(p) * q);
            for (double& v : a) v = gen.next() - 0.5;
            for (double& v : b) v = gen.next() - 0.5;
            for (double& v : c) v = gen.next() - 0.5;
            gram(n, p, a.data(), q, b.data(), g.data());
            for (int j = 0; j < p; ++j)
                for (int k = 0; k < q; ++k) {
                    double s = 0;
                    for (int i = 0; i < n; ++i) s = s + a[size_t(i) * p + j] * b[size_t(i) * q + k];
                    ASSERT_EQ(g[size_t(j) * q + k], s) << p << " " << path;
                }
            vec before(a);
            rotate(n, p, a.data(), q, c.data());
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < q; ++j) {
                    double s = 0;
                    for (int k = 0; k < p; ++k) s = s + before[size_t(i) * p + k] * c[size_t(k) * q + j];
                    ASSERT_EQ(a[size_t(i) * p + j], s) << p << " " << path;
                }
                for (int j = q; j < p; ++j) ASSERT_EQ(a[size_t(i) * p + j], before[size_t(i) * p + j]);
            }
        }
    setpath(-1);
}

// The standardisation and correlation of the leading columns: correl's bits.
TEST(first, stdcols)
{
    const int n = 50, m = 6;
    lcg gen{11};
    vec x(size_t(n) * n), y, corlin(size_t(n) * n), xprime(size_t(n) * n), w(4 * size_t(m)), u(4 * size_t(m));
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < n; ++i) x[size_t(i) + size_t(j) * n] = gen.next() + 0.1 * j * gen.next();
    y = x;
    double l1 = -1, l2 = -2;
    EXPECT_EQ(correl(n, m, x.data(), n, w.data(), w.data() + m, w.data() + 2 * m, w.data() + 3 * m,
                     corlin.data(), xprime.data(), l1), 0);
    EXPECT_EQ(stdcols(n, m, y.data(), n, u.data(), u.data() + m, u.data() + 2 * m, u.data() + 3 * m, l2), 0);
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(std::memcmp(x.data(), y.data(), size_t(n) * m * sizeof(double)), 0);
    for (int i = 0; i < n; ++i) y[size_t(i) + 2 * size_t(n)] = 3;
    EXPECT_EQ(stdcols(n, m, y.data(), n, u.data(), u.data() + m, u.data() + 2 * m, u.data() + 3 * m, l2), 3);
}

// A run the machine cannot hold: a status and words naming the memory and
// the sites, before any work.
TEST(first, memory)
{
    unsigned long long total = 0, avail = 0;
    osmemory(total, avail);
    if (total == 0) GTEST_SKIP() << "no physical memory known";
    // Three blocks of n x (k + k / 4) doubles for k = n - 2: more than the machine.
    int n = int(std::sqrt(double(total) / 24.0) * 1.2) + 100;
    vec x;
    for (int i = 1; i <= n; ++i) x.push_back(i);
    analysis an;
    lw_sites(an.a, n, 0, 1, x.data());
    lw_pcnm(an.a, 1);
    lw_first(an.a, n - 2);
    EXPECT_EQ(lw_run(an.a), LW_NOMEMORY);
    std::string words = lw_message(an.a);
    EXPECT_NE(words.find(std::to_string(n) + " sites need "), std::string::npos) << words;
    EXPECT_NE(words.find(" MB"), std::string::npos) << words;
    EXPECT_NE(words.find("fewer variables"), std::string::npos) << words;
    EXPECT_EQ(lw_count(an.a), 0);
}

// Cancelled at the first product told: a status, nothing left behind, and
// the handle serves the next run.
TEST(first, cancel)
{
    vec x = uniform(400, 12);
    analysis an;
    double limit;
    lw_sites(an.a, 400, 0, 2, x.data());
    lw_treelimit(an.a, &limit, nullptr);
    lw_pcnm(an.a, limit);
    lw_first(an.a, 10);
    int calls = 0;
    const char* what = nullptr;
    struct seen {
        int* calls;
        const char** what;
    } s{&calls, &what};
    lw_progress(an.a,
                [](void* c, const char* w, int, double, double) {
                    auto* s = static_cast<seen*>(c);
                    if (w) ++*s->calls, *s->what = w;
                    return 1;
                },
                &s, 1);
    EXPECT_EQ(lw_run(an.a), LW_CANCELLED);
    EXPECT_EQ(calls, 1);
    ASSERT_NE(what, nullptr);
    EXPECT_STREQ(what, "products");
    EXPECT_EQ(lw_count(an.a), 0);
    EXPECT_EQ(lw_variables(an.a), nullptr);
    lw_progress(an.a, nullptr, nullptr, 0);
    EXPECT_EQ(lw_run(an.a), LW_OK);
    EXPECT_EQ(lw_count(an.a), 10);
}

}  // namespace
