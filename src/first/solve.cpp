// The leading eigenpairs of J (I + W) J by subspace iteration with
// Chebyshev filtering: a block of p > K vectors is filtered by the
// Chebyshev polynomial that damps the interval from a lower bound of the
// spectrum to the block's smallest Ritz value, and the Rayleigh-Ritz step
// on the filtered block orthonormalises it through its Gram matrix and
// solves the projected problem, both by tred2 and tqli of order p.  The
// block stays orthogonal to the constant vector (it is centred after
// every filter), so the eigenvalue 0 of the constant vector never enters.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "first.h"
#include "pcnm/pcnm.h"

namespace {

// The largest growth of a block vector by one filter, relative to the
// damped interval: it bounds the condition of the filtered block, whose
// Gram matrix then keeps the precision that the projected problem needs.
const double growth = 1.0e4;

// growthof: the growth allowed to the filter when the worst residual of
//   the wanted pairs is worst: a block vector's parts along the leading
//   eigenvectors are of the order of the residuals, and may grow to a
//   hundredth of its own part, the Gram matrix staying well conditioned;
//   never below growth, nor above maxgrowth.
const double maxgrowth = 1.0e10;
double growthof(double worst)
{
    double g = worst > 0 ? 1.0e-2 / worst : maxgrowth;
    return g < growth ? growth : g > maxgrowth ? maxgrowth : g;
}

// The degrees of one filter: at least, at most (a filter whose growth stays
// low at the largest degree is a spectrum of small gaps, a regular grid's:
// its iterations are then long, and fewer).
const int mindegree = 2;
const int maxdegree = 600;

// degree: the lowest degree m (mindegree to maxdegree) at which the
//   Chebyshev polynomial T_m at l1 reaches allow, by the recurrence itself
//   (no function of the mathematical library, whose last bits differ
//   between platforms).
int degree(double l1, double allow)
{
    double t0 = 1, t1 = l1;
    int m = 1;
    while (m < maxdegree && !(t1 >= allow)) {
        double t2 = 2 * l1 * t1 - t0;
        t0 = t1;
        t1 = t2;
        ++m;
    }
    return m < mindegree ? mindegree : m;
}

// A Gram eigenvalue of the scaled block below this share of the largest
// is taken at this share: a direction lost to rounding.
const double lostshare = 1.0e-14;

// Iterations without a halving of the worst residual after which the
// solver ends with what passes the final check.
const int stagnation = 6;

// The steps of Lanczos's method for the lower end of the spectrum.
const int lanczos = 40;

// The seed of the start.
const uint64_t startseed = 0x4c6f63697765766cULL;

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The Frobenius norm to which symeig scales its matrix: tred2 and tqli
// test negligible elements against the absolute tolerance (pcnm.h), which
// is then some ten roundings of the largest eigenvalue, while the
// rounding of an off-diagonal element (2^22 times 2^-53) stays below it.
const double eigscale = 4194304.0;

// symeig: the eigenvalues of the symmetric p x p matrix a (by columns),
//   largest first (equal ones in the solver's order), into val, and the
//   unit eigenvectors into the columns of a, in that order.  The matrix is
//   scaled by a power of two (exactly) to the norm eigscale first.  work:
//   p x p and 2p.  Throws runstop from tqli.
void symeig(int p, double* a, double* val, std::vector<double>& work)
{
    double* w = work.data();
    double* d = w + size_t(p) * p;
    double* e = d + p;
    double ss = 0;
    for (size_t i = 0; i < size_t(p) * p; ++i) ss = ss + a[i] * a[i];
    int ex = 0;
    if (ss > 0) std::frexp(eigscale / std::sqrt(ss), &ex);
    const double up = std::ldexp(1.0, ex - 1), down = std::ldexp(1.0, 1 - ex);
    for (size_t i = 0; i < size_t(p) * p; ++i) a[i] = a[i] * up;
    for (int i = 0; i < p; ++i) d[i] = e[i] = 0;
    tred2(a, p, p, d, e, w);
    tqli(d, e, p, p, a, w);
    for (int i = 0; i < p; ++i) d[i] = d[i] * down;
    std::vector<int> order(static_cast<size_t>(p));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return d[x] > d[y]; });
    std::memcpy(w, a, size_t(p) * p * sizeof(double));
    for (int k = 0; k < p; ++k) {
        val[k] = d[order[size_t(k)]];
        std::memcpy(a + size_t(k) * p, w + size_t(order[size_t(k)]) * p, size_t(p) * sizeof(double));
    }
}

// The state of one solve: the two blocks (n x p by rows), the Ritz
// values and the work of the projected problems.
struct solver {
    const nearrows& r;
    const firstopts& o;
    int n, p, k;
    std::vector<double> b0, b1, theta, mean, work, res;
    progress* prog;
    firstinfo info;
    long maxproducts;
    double told = 0;

    solver(const nearrows& rows, const firstopts& opts, int kk, progress* pr)
        : r(rows), o(opts), n(rows.n), p(blockfor(rows.n, kk, opts)), k(kk < rows.n - 1 ? kk : rows.n - 1),
          prog(pr)
    {
        const size_t np = size_t(n) * size_t(p);
        b0.assign(np, 0.0);
        b1.assign(np, 0.0);
        theta.assign(size_t(p), 0.0);
        mean.assign(2 * size_t(p), 0.0);
        work.assign(size_t(p) * p * 4 + 2 * size_t(p), 0.0);
        res.assign(size_t(p), 0.0);
        maxproducts = o.maxproducts > 0 ? o.maxproducts : 4000L * p;
    }

    // y = G x, counted; false when the caller asked to stop.
    bool product(const double* x, double* y, int q)
    {
        apply(r, q, x, y, mean.data());
        info.products += q;
        return !(prog && prog->stop.load(std::memory_order_relaxed));
    }

    // prev = (G cur - c cur) f - prev, counted as the products.
    bool step(const double* cur, double c, double f, double* prev)
    {
        applystep(r, p, cur, c, f, prev, mean.data());
        info.products += p;
        return !(prog && prog->stop.load(std::memory_order_relaxed));
    }

    // The Rayleigh-Ritz step on the block y with gy = G y: y becomes the
    // Ritz vectors, gy their products (fresh ones, cheaper than rotating
    // gy), theta their values, res the residuals of the first k; false
    // when the caller asked to stop.
    bool ritz(double* y, double* gy)
    {
        double t0 = now();
        const size_t pp = size_t(p) * p;
        double* g = work.data() + 2 * pp;   // the Gram matrix, then Z
        double* h = g + pp;                 // the projected matrix
        std::vector<double> eigwork(pp + 2 * size_t(p)), scale(static_cast<size_t>(p)), sigma(static_cast<size_t>(p));
        gram(n, p, y, p, y, g);
        if (o.plain) {
            for (size_t e = 0; e < pp; ++e) g[e] = 0;
            for (int j = 0; j < p; ++j) g[size_t(j) * p + j] = 1;
        } else {
            // Columns scaled to unit length, then Z = D U S^(-1/2).
            for (int j = 0; j < p; ++j) {
                double v = g[size_t(j) * p + j];
                scale[size_t(j)] = v > 0 ? 1.0 / std::sqrt(v) : 0.0;
            }
            for (int j = 0; j < p; ++j)
                for (int i = 0; i < p; ++i) g[size_t(j) * p + i] = g[size_t(j) * p + i] * scale[size_t(i)] * scale[size_t(j)];
            symeig(p, g, sigma.data(), eigwork);
            const double floor = sigma[0] * lostshare;
            for (int c = 0; c < p; ++c) {
                double s = sigma[size_t(c)] > floor ? sigma[size_t(c)] : floor;
                double f = 1.0 / std::sqrt(s);
                for (int i = 0; i < p; ++i) g[size_t(c) * p + i] = g[size_t(c) * p + i] * scale[size_t(i)] * f;
            }
        }
        // H = Z' (Y' G Y) Z, the middle symmetrised.
        std::vector<double> m(pp), t(pp);
        gram(n, p, y, p, gy, m.data());
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < i; ++j) {
                double v = (m[size_t(i) * p + j] + m[size_t(j) * p + i]) * 0.5;
                m[size_t(i) * p + j] = m[size_t(j) * p + i] = v;
            }
        // t = M Z (column c of Z is g[c * p ..]), h = Z' t, by columns.
        for (int c = 0; c < p; ++c)
            for (int i = 0; i < p; ++i) {
                double s = 0;
                for (int l = 0; l < p; ++l) s = s + m[size_t(i) * p + l] * g[size_t(c) * p + l];
                t[size_t(c) * p + i] = s;
            }
        for (int c = 0; c < p; ++c)
            for (int i = 0; i <= c; ++i) {
                double s = 0;
                for (int l = 0; l < p; ++l) s = s + g[size_t(i) * p + l] * t[size_t(c) * p + l];
                h[size_t(c) * p + i] = h[size_t(i) * p + c] = s;
            }
        symeig(p, h, theta.data(), eigwork);
        // C = Z V, by rows for rotate: c(l, j) = sum over i of z(l, i) v(i, j).
        for (int l = 0; l < p; ++l)
            for (int j = 0; j < p; ++j) {
                double s = 0;
                for (int i = 0; i < p; ++i) s = s + g[size_t(i) * p + l] * h[size_t(j) * p + i];
                t[size_t(l) * p + j] = s;
            }
        rotate(n, p, y, p, t.data());
        info.orthoseconds += now() - t0;
        if (!product(y, gy, p)) return false;
        residuals(y, gy, k, res.data());
        return true;
    }

    // res(j) = ||gy_j - theta_j y_j|| / (||y_j|| |theta_0|), j < q, the
    // rows in increasing order.
    void residuals(const double* y, const double* gy, int q, double* out)
    {
        std::vector<double> rr(size_t(q), 0.0), yy(size_t(q), 0.0);
        for (int i = 0; i < n; ++i) {
            const double* a = y + size_t(i) * p;
            const double* b = gy + size_t(i) * p;
            for (int j = 0; j < q; ++j) {
                double d = b[j] - theta[size_t(j)] * a[j];
                rr[size_t(j)] = rr[size_t(j)] + d * d;
                yy[size_t(j)] = yy[size_t(j)] + a[j] * a[j];
            }
        }
        const double top = std::fabs(theta[0]) > 0 ? std::fabs(theta[0]) : 1.0;
        for (int j = 0; j < q; ++j)
            out[j] = yy[size_t(j)] > 0 ? std::sqrt(rr[size_t(j)] / yy[size_t(j)]) / top : INFINITY;
    }

    double worst() const { return *std::max_element(res.begin(), res.begin() + k); }

    // The lower end of the spectrum on the centred vectors, from lanczos
    // steps of Lanczos's method (without re-orthogonalisation: its
    // extreme Ritz values stay within the spectrum) from a fixed centred
    // start: the smallest Ritz value less its residual and a hundredth of
    // the Ritz values' spread, or lo (Gershgorin's bound) when that is
    // higher.  Returns lo when the caller asked to stop.
    double lowerbound(double lo)
    {
        const int m = n - 1 < lanczos ? n - 1 : lanczos;
        if (m < 2) return lo;
        const size_t nn = static_cast<size_t>(n);
        std::vector<double> v(nn), w(nn), old(nn, 0.0), t(size_t(m) * m, 0.0), val(static_cast<size_t>(m));
        uint64_t state = startseed ^ 1;
        for (double& e : v) e = drawsigned(state);
        centre(n, 1, v.data(), mean.data());
        double beta = 0, ss = 0;
        for (double e : v) ss = ss + e * e;
        if (!(ss > 0)) return lo;
        for (double& e : v) e = e / std::sqrt(ss);
        for (int j = 0; j < m; ++j) {
            if (!product(v.data(), w.data(), 1)) return lo;
            double alpha = 0;
            for (int i = 0; i < n; ++i) alpha = alpha + v[size_t(i)] * w[size_t(i)];
            ss = 0;
            for (int i = 0; i < n; ++i) {
                w[size_t(i)] = w[size_t(i)] - alpha * v[size_t(i)] - beta * old[size_t(i)];
                ss = ss + w[size_t(i)] * w[size_t(i)];
            }
            t[size_t(j) * m + j] = alpha;
            beta = std::sqrt(ss);
            if (j + 1 < m) t[size_t(j) * m + j + 1] = t[size_t(j + 1) * m + j] = beta;
            if (!(beta > 0)) return lo;
            for (int i = 0; i < n; ++i) {
                old[size_t(i)] = v[size_t(i)];
                v[size_t(i)] = w[size_t(i)] / beta;
            }
        }
        std::vector<double> eigwork(size_t(m) * m + 2 * size_t(m));
        symeig(m, t.data(), val.data(), eigwork);
        const double low = val[size_t(m - 1)], resid = std::fabs(beta * t[size_t(m - 1) * m + size_t(m - 1)]);
        const double bound = low - resid - (val[0] - low) * 1.0e-2;
        return bound > lo ? bound : lo;
    }

    // Tells the progress: the share of the way from the first residual to
    // the converged one, on a logarithmic scale, or of the products.
    void tell(double first)
    {
        if (!prog) return;
        double w = worst(), f = 0;
        if (w > 0 && first > o.converge && w < first)
            f = std::log(first / w) / std::log(first / o.converge);
        double g = double(info.products) / double(maxproducts);
        if (g > f) f = g;
        if (f > 0.99) f = 0.99;
        if (f > told) {
            progstep(*prog, "products", f - told);
            told = f;
        }
    }
};

}  // namespace

uint64_t splitmix(uint64_t& state)
{
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double drawsigned(uint64_t& state)
{
    return double(int64_t(splitmix(state) >> 11) - (int64_t(1) << 52)) / double(int64_t(1) << 52);
}

int blockfor(int n, int k, const firstopts& o)
{
    int extra = k / 4 > o.guard ? k / 4 : o.guard;
    long p = (long(k) + extra + 7) / 8 * 8;
    return p < n - 1 ? int(p) : n - 1;
}

double solverbytes(int n, int p)
{
    return 2.0 * double(n) * double(p) * sizeof(double) + 12.0 * double(p) * double(p) * sizeof(double) +
           double((n + 2047) / 2048) * double(p) * double(p) * sizeof(double);
}

// leading: see first.h.
firstinfo leading(const nearrows& r, int kwant, const firstopts& o, std::vector<double>& eig,
                  std::vector<double>& vec, progress* prog)
{
    const double start = now();
    solver s(r, o, kwant, prog);
    const int n = s.n, p = s.p, k = s.k;
    eig.clear();
    vec.clear();
    firstinfo& info = s.info;
    auto cancelled = [&]() {
        info.status = 3;
        info.seconds = now() - start;
        return info;
    };
    if (k < 1) return info;

    // Bounds of the spectrum (Gershgorin's discs of I + W, whose range
    // holds that of J (I + W) J on the vectors orthogonal to 1).
    double lo = 1, hi = 1;
    for (int i = 0; i < n; ++i) {
        lo = std::fmin(lo, 1 - r.ws[size_t(i)]);
        hi = std::fmax(hi, 1 + r.ws[size_t(i)]);
    }

    lo = s.lowerbound(lo);
    if (prog && prog->stop.load(std::memory_order_relaxed)) return cancelled();

    // The start: the generator's draws site by site, centred.
    std::vector<int> rowof(static_cast<size_t>(n));
    for (int row = 0; row < n; ++row) rowof[size_t(r.site.empty() ? row : r.site[size_t(row)])] = row;
    uint64_t state = startseed;
    for (int i = 0; i < n; ++i) {
        double* b = s.b0.data() + size_t(rowof[size_t(i)]) * p;
        for (int j = 0; j < p; ++j) b[j] = drawsigned(state);
    }
    centre(n, p, s.b0.data(), s.mean.data());
    double *x = s.b0.data(), *gx = s.b1.data();
    try {
        if (!s.product(x, gx, p) || !s.ritz(x, gx)) return cancelled();
        const double first = s.worst();
        double best = first;
        int since = 0;
        while (true) {
            ++info.iterations;
            double w = s.worst();
            if (w <= o.converge) break;
            if (w < best * 0.5) {
                best = w;
                since = 0;
            } else if (++since >= stagnation && w <= o.accept) {
                break;
            }
            if (info.products >= s.maxproducts) {
                info.status = 1;
                info.seconds = now() - start;
                return info;
            }
            // The filter: damp [lo, a], a the smallest Ritz value.
            double a = s.theta[size_t(p - 1)];
            if (a >= s.theta[0]) a = s.theta[0] - (hi - lo) * 1.0e-3;
            double e = (a - lo) / 2, c = (a + lo) / 2;
            double l1 = (s.theta[0] - c) / e;
            const int m = degree(l1, growthof(w));
            const double two = 2.0 / e, one = 1.0 / e;
            // y1 = (G x - c x) / e, into gx; y0 = x.
            double *prev = x, *cur = gx;
            for (size_t i = 0; i < s.b0.size(); ++i) cur[i] = (cur[i] - c * prev[i]) * one;
            for (int d = 2; d <= m; ++d) {
                if (!s.step(cur, c, two, prev)) return cancelled();
                std::swap(prev, cur);
            }
            centre(n, p, cur, s.mean.data());
            // Rayleigh-Ritz on the filtered block, its products into prev.
            if (!s.product(cur, prev, p) || !s.ritz(cur, prev)) return cancelled();
            x = cur;
            gx = prev;
            s.tell(first);
        }
    } catch (const runstop&) {
        info.status = 1;
        info.seconds = now() - start;
        return info;
    }

    // The first k Ritz vectors, by columns, each of unit length and signed
    // by its element of largest magnitude.
    vec.assign(size_t(n) * size_t(k), 0.0);
    eig.assign(s.theta.begin(), s.theta.begin() + k);
    for (int j = 0; j < k; ++j) {
        int from = o.drop >= 0 && j >= o.drop && j + 1 < p ? j + 1 : j;
        double* v = vec.data() + size_t(j) * n;
        double ss = 0;
        for (int i = 0; i < n; ++i) {
            v[i] = x[size_t(rowof[size_t(i)]) * p + size_t(from)];
            ss = ss + v[i] * v[i];
        }
        double norm = std::sqrt(ss), big = 0;
        int at = 0;
        for (int i = 0; i < n; ++i)
            if (std::fabs(v[i]) > big) {
                big = std::fabs(v[i]);
                at = i;
            }
        double f = v[at] < 0 ? -1.0 / norm : 1.0 / norm;
        for (int i = 0; i < n; ++i) v[i] = v[i] * f;
    }

    // The final check: a fresh product of every returned vector.
    {
        std::vector<double>& y = s.b0;
        std::vector<double>& gy = s.b1;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < k; ++j) y[size_t(rowof[size_t(i)]) * k + size_t(j)] = vec[size_t(j) * n + size_t(i)];
        if (!s.product(y.data(), gy.data(), k)) return cancelled();
        std::vector<double> rr(size_t(k), 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < k; ++j) {
                double d = gy[size_t(i) * k + size_t(j)] - eig[size_t(j)] * y[size_t(i) * k + size_t(j)];
                rr[size_t(j)] = rr[size_t(j)] + d * d;
            }
        const double top = std::fabs(eig[0]) > 0 ? std::fabs(eig[0]) : 1.0;
        for (int j = 0; j < k; ++j) {
            double res = std::sqrt(rr[size_t(j)]) / top;
            if (!(res <= info.worst)) info.worst = res;
            if (!(res <= o.accept) && info.failed < 0) info.failed = j;
        }
    }
    info.seconds = now() - start;
    if (info.failed >= 0) {
        info.status = 2;
        eig.clear();
        vec.clear();
        return info;
    }
    info.found = k;
    return info;
}
