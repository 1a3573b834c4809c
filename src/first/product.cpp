// The pairs within the limit by rows, and the kernels over blocks of
// vectors stored by rows: the product with J (I + W) J, the centring, the
// inner products and the rotation.  The threads share rows; every sum of a
// row runs over its terms in one fixed order, and the inner products sum
// fixed chunks of rows, so that every thread count gives the same bits.
// Vector code may run across the vectors of a row (independent sums), never
// within one sum.
#include <cstring>
#include <vector>

#include "first.h"
#include "maps/maps.h"
#include "pcnm/threads.h"
#include "pcnm/pcnm.h"
#include "pcnm/vecpath.h"
#include "sites/limit.h"

namespace {

// Rows of one chunk of the inner products: their sums are formed chunk by
// chunk, whatever the thread count.
const int chunkrows = 2048;

// Rows of the chunk that the inner products' tiles take together.
const int tilerows = 128;

// The parts of a kernel over n rows, units of work each.
int rowparts(int n) { return pieces(shares(n, n)); }

// sumrows: s(j) += b(i, j) and, when ws is not null, t(j) += ws(i) b(i, j),
//   for the rows i = i0 .. i1 - 1 of the n x p block b in increasing order.
template <typename V>
struct sumrows {
    static inline __attribute__((always_inline)) void run(int p, const double* b, const double* ws, int i0,
                                                          int i1, double* s, double* t)
    {
        const int W = width<V>();
        for (int i = i0; i < i1; ++i) {
            const double* row = b + size_t(i) * p;
            const double w = ws ? ws[i] : 0;
            int j = 0;
            for (; j + W <= p; j += W) {
                V x, a;
                load(x, row + j);
                load(a, s + j);
                store(s + j, a + x);
                if (ws) {
                    load(a, t + j);
                    store(t + j, a + w * x);
                }
            }
            for (; j < p; ++j) {
                s[j] = s[j] + row[j];
                if (ws) t[j] = t[j] + w * row[j];
            }
        }
    }
};

// colsums: s(j) = the sum over the rows of b(i, j) and, when ws is not
//   null, t(j) = that of ws(i) b(i, j), for the n x p block b: each chunk
//   of chunkrows rows summed from 0 in increasing row, the chunks' sums
//   added from 0 in increasing chunk, whatever the thread count.
void colsums(int n, int p, const double* b, const double* ws, double* s, double* t)
{
    const int chunks = (n + chunkrows - 1) / chunkrows > 0 ? (n + chunkrows - 1) / chunkrows : 1;
    const int path = pathnow();
    std::vector<double> part(size_t(chunks) * 2 * size_t(p), 0.0);
    auto job = [&](int c) {
        double* cs = part.data() + size_t(c) * 2 * p;
        const int c0 = c * chunkrows, c1 = c0 + chunkrows < n ? c0 + chunkrows : n;
        onpath<sumrows>(path, p, b, ws, c0, c1, cs, cs + p);
    };
    share(threads() > 1 && chunks > 1 ? threads() : 1, chunks, job);
    for (int j = 0; j < p; ++j) {
        double a = 0, w = 0;
        for (int c = 0; c < chunks; ++c) {
            a = a + part[size_t(c) * 2 * p + size_t(j)];
            w = w + part[size_t(c) * 2 * p + size_t(p + j)];
        }
        s[j] = a;
        if (ws) t[j] = w;
    }
}

// The vectors of V that the kernels below hold in registers: of a row in
// the product, of b's columns in the inner products (by tilea of a's), of
// the rotated rows (by rotrows rows).
template <typename V>
constexpr int applyvecs()
{
    return width<V>() == 8 ? 8 : 4;
}
const int tilea = 4;
const int tileb = 2;
const int rotrows = 4;
template <typename V>
constexpr int rotvecs()
{
    return width<V>() == 8 ? 4 : 2;
}

// The partners of one row and their weights, as a product row takes them.
struct partners {
    const int* nb;
    const double* w;
    long count;
    double ws;
};

// applyat: columns j0 .. j0 + B * width - 1 of row i of the product
//   g = J (I + W) J x: x(i) plus the sum over i's partners q, in
//   increasing order, of w x(q), minus (m (1 + ws) + mz), m the vectors'
//   means and mz those of (I + W) J x (mean[0 .. p - 1] and
//   mean[p .. 2p - 1]), ws the sum of i's weights.  Step false: y(i) = g;
//   true: y(i) = (g - c x(i)) f - y(i), a step of a three-term recurrence.
template <typename V, int B, bool Step>
inline __attribute__((always_inline)) void applyat(const partners& q, int p, const double* x, double* y,
                                                   const double* mean, double c, double f, int i, int j0)
{
    const int W = width<V>();
    V acc[B];
    const double* own = x + size_t(i) * p + j0;
    for (int v = 0; v < B; ++v) load(acc[v], own + v * W);
    for (long at = 0; at < q.count; ++at) {
        const double w = q.w[at];
        const double* other = x + size_t(q.nb[at]) * p + j0;
        for (int v = 0; v < B; ++v) {
            V o;
            load(o, other + v * W);
            acc[v] = acc[v] + w * o;
        }
    }
    const double s = 1 + q.ws;
    double* out = y + size_t(i) * p + j0;
    for (int v = 0; v < B; ++v) {
        V m, mz;
        load(m, mean + j0 + v * W);
        load(mz, mean + p + j0 + v * W);
        V g = acc[v] - (m * s + mz);
        if (Step) {
            V xi, yi;
            load(xi, own + v * W);
            load(yi, out + v * W);
            g = (g - c * xi) * f - yi;
        }
        store(out + v * W, g);
    }
}

template <typename V, bool Step>
inline __attribute__((always_inline)) void applyrow(const partners& q, int p, const double* x, double* y,
                                                    const double* mean, double c, double f, int i)
{
    const int W = width<V>(), B = applyvecs<V>();
    int j = 0;
    for (; j + B * W <= p; j += B * W) applyat<V, applyvecs<V>(), Step>(q, p, x, y, mean, c, f, i, j);
    for (; j + W <= p; j += W) applyat<V, 1, Step>(q, p, x, y, mean, c, f, i, j);
    for (; j < p; ++j) applyat<double, 1, Step>(q, p, x, y, mean, c, f, i, j);
}

// A part's list of one row's partners, when they are not stored.
struct rowlist {
    std::vector<int> nb;
    std::vector<double> d, w;
};

template <typename V>
struct applyrows {
    static inline __attribute__((always_inline)) void run(const nearrows& r, int p, const double* x, double* y,
                                                          const double* mean, double c, double f, bool step,
                                                          int i0, int i1, rowlist& list)
    {
        for (int i = i0; i < i1; ++i) {
            partners q;
            if (r.fly) {
                rowpartners(r, i, list.nb, list.d, list.w);
                q = partners{list.nb.data(), list.w.data(), long(list.nb.size()), r.ws[size_t(i)]};
            } else {
                const long at = r.start[size_t(i)];
                q = partners{r.nb.data() + at, r.w.data() + at, r.start[size_t(i) + 1] - at, r.ws[size_t(i)]};
            }
            if (step) applyrow<V, true>(q, p, x, y, mean, c, f, i);
            else applyrow<V, false>(q, p, x, y, mean, c, f, i);
        }
    }
};

// gramat: s(j, k) += a(i, j) b(i, k) for rows i = t0 .. t1 - 1 in
//   increasing order, j = j0 .. j0 + A - 1 and B vectors of k from k0, the
//   sums held in registers.
template <typename V, int A, int B>
inline __attribute__((always_inline)) void gramat(int p, const double* a, int q, const double* b, int t0,
                                                  int t1, int j0, int k0, double* s)
{
    const int W = width<V>();
    V acc[A][B];
    for (int u = 0; u < A; ++u)
        for (int v = 0; v < B; ++v) load(acc[u][v], s + size_t(j0 + u) * q + size_t(k0 + v * W));
    for (int i = t0; i < t1; ++i) {
        const double* ar = a + size_t(i) * p + j0;
        const double* br = b + size_t(i) * q + k0;
        V bv[B];
        for (int v = 0; v < B; ++v) load(bv[v], br + v * W);
        for (int u = 0; u < A; ++u) {
            const double x = ar[u];
            for (int v = 0; v < B; ++v) acc[u][v] = acc[u][v] + x * bv[v];
        }
    }
    for (int u = 0; u < A; ++u)
        for (int v = 0; v < B; ++v) store(s + size_t(j0 + u) * q + size_t(k0 + v * W), acc[u][v]);
}

template <typename V, int A>
inline __attribute__((always_inline)) void gramrow(int p, const double* a, int q, const double* b, int t0,
                                                   int t1, int j0, double* s)
{
    const int W = width<V>();
    int k = 0;
    for (; k + tileb * W <= q; k += tileb * W) gramat<V, A, tileb>(p, a, q, b, t0, t1, j0, k, s);
    for (; k + W <= q; k += W) gramat<V, A, 1>(p, a, q, b, t0, t1, j0, k, s);
    for (; k < q; ++k) gramat<double, A, 1>(p, a, q, b, t0, t1, j0, k, s);
}

template <typename V>
struct gramchunk {
    static inline __attribute__((always_inline)) void run(int p, const double* a, int q, const double* b,
                                                          int c0, int c1, double* s)
    {
        for (int t0 = c0; t0 < c1; t0 += tilerows) {
            const int t1 = t0 + tilerows < c1 ? t0 + tilerows : c1;
            int j = 0;
            for (; j + tilea <= p; j += tilea) gramrow<V, tilea>(p, a, q, b, t0, t1, j, s);
            for (; j < p; ++j) gramrow<V, 1>(p, a, q, b, t0, t1, j, s);
        }
    }
};

// rotat: out(u, j) = the sum over k of b(i + u, k) c(k, j), from 0 in
//   increasing k, for the R rows from i and B vectors of j from j0; out
//   holds R rows of q.
template <typename V, int R, int B>
inline __attribute__((always_inline)) void rotat(int p, const double* b, int q, const double* c, int i, int j0,
                                                 double* out)
{
    const int W = width<V>();
    V acc[R][B];
    for (int u = 0; u < R; ++u)
        for (int v = 0; v < B; ++v) acc[u][v] = V{};
    for (int k = 0; k < p; ++k) {
        const double* ck = c + size_t(k) * q + j0;
        V cv[B];
        for (int v = 0; v < B; ++v) load(cv[v], ck + v * W);
        for (int u = 0; u < R; ++u) {
            const double bk = b[size_t(i + u) * p + size_t(k)];
            for (int v = 0; v < B; ++v) acc[u][v] = acc[u][v] + bk * cv[v];
        }
    }
    for (int u = 0; u < R; ++u)
        for (int v = 0; v < B; ++v) store(out + size_t(u) * q + size_t(j0 + v * W), acc[u][v]);
}

template <typename V, int R>
inline __attribute__((always_inline)) void rotrow(int p, const double* b, int q, const double* c, int i,
                                                  double* out)
{
    const int W = width<V>(), B = rotvecs<V>();
    int j = 0;
    for (; j + B * W <= q; j += B * W) rotat<V, R, rotvecs<V>()>(p, b, q, c, i, j, out);
    for (; j + W <= q; j += W) rotat<V, R, 1>(p, b, q, c, i, j, out);
    for (; j < q; ++j) rotat<double, R, 1>(p, b, q, c, i, j, out);
}

template <typename V>
struct rotation {
    static inline __attribute__((always_inline)) void run(int p, double* b, int q, const double* c, int i0,
                                                          int i1, double* out)
    {
        for (int i = i0; i < i1; i += rotrows) {
            const int rows = i + rotrows <= i1 ? rotrows : i1 - i;
            if (rows == rotrows) rotrow<V, rotrows>(p, b, q, c, i, out);
            else
                for (int u = 0; u < rows; ++u) rotrow<V, 1>(p, b, q, c, i + u, out + size_t(u) * q);
            for (int u = 0; u < rows; ++u)
                std::memcpy(b + size_t(i + u) * p, out + size_t(u) * q, size_t(q) * sizeof(double));
        }
    }
};

}  // namespace

// rowpartners
//   r (in) pairs not stored (r.fly); i (in) a row.
//   nb, d, w (out) i's partners in increasing row, their distances and
//     weights, as nearpairs would store them.
void rowpartners(const nearrows& r, int i, std::vector<int>& nb, std::vector<double>& d, std::vector<double>& w)
{
    nb.clear();
    d.clear();
    nearof(r.grid, r.ncoord, r.n, r.xs.data(), r.xs.data() + i, size_t(r.n), r.scaled, nb, d);
    const double four = multiplier * r.scaled;
    w.resize(nb.size());
    size_t kept = 0;
    for (size_t k = 0; k < nb.size(); ++k) {
        if (nb[k] == i) continue;
        nb[kept] = nb[k];
        d[kept] = d[k];
        w[kept] = pairweight(d[k], four);
        ++kept;
    }
    nb.resize(kept);
    d.resize(kept);
    w.resize(kept);
}

// nearfly
//   ntot, ncoord, ld, xr, scaled (in) as for nearpairs.
//   r (out) the sites in the order of siteorder, their ranged coordinates
//     in that order and a grid of cells over them, the weights' sums: the
//     pairs themselves are found again by each product (rowpartners).
void nearfly(int ntot, int ncoord, int ld, const double* xr, double scaled, nearrows& r)
{
    siteorder(ntot, ncoord, ld, xr, r.site);
    r.n = ntot;
    r.fly = true;
    r.ncoord = ncoord;
    r.scaled = scaled;
    r.xs.assign(size_t(ntot) * size_t(ncoord), 0.0);
    for (int k = 0; k < ncoord; ++k)
        for (int i = 0; i < ntot; ++i)
            r.xs[size_t(i) + size_t(k) * ntot] = xr[size_t(r.site[size_t(i)]) + size_t(k) * size_t(ld)];
    cellsof(ntot, ncoord, ntot, r.xs.data(), scaled, r.grid);
    r.start.clear();
    r.nb.clear();
    r.w.clear();
    r.ws.assign(size_t(ntot), 0.0);
    r.wall = 0;
    r.partners = 0;
    std::vector<int> nb;
    std::vector<double> d, w;
    for (int i = 0; i < ntot; ++i) {
        rowpartners(r, i, nb, d, w);
        double s = 0;
        for (double v : w) s = s + v;
        r.ws[size_t(i)] = s;
        r.wall = r.wall + s;
        r.partners += long(nb.size());
    }
}

// nearpairs
//   ntot, ncoord, ld, xr (in) the ranged sites (ld rows, by columns).
//   scaled (in) the scaled limit.
//   r (out) the pairs, both ways, by rows in the order of siteorder,
//     partners in increasing order.
void nearpairs(int ntot, int ncoord, int ld, const double* xr, double scaled, nearrows& r)
{
    siteorder(ntot, ncoord, ld, xr, r.site);
    pairs p;
    {
        std::vector<double> xs(size_t(ntot) * size_t(ncoord));
        for (int k = 0; k < ncoord; ++k)
            for (int i = 0; i < ntot; ++i)
                xs[size_t(i) + size_t(k) * ntot] = xr[size_t(r.site[size_t(i)]) + size_t(k) * size_t(ld)];
        findpairs(ntot, ncoord, ntot, xs.data(), scaled, p);
    }
    pairrows(ntot, p, r);
}

// pairrows
//   ntot (in) the sites.  p (in) the pairs, partners j > i of each row i.
//   r (out) the pairs, both ways, by rows, partners in increasing order;
//     r.site is left as the caller set it, or made row i site i when it
//     does not hold ntot sites.
void pairrows(int ntot, const pairs& p, nearrows& r)
{
    if (r.site.size() != size_t(ntot)) {
        r.site.resize(size_t(ntot));
        for (int i = 0; i < ntot; ++i) r.site[size_t(i)] = i;
    }
    r.n = ntot;
    r.start.assign(size_t(ntot) + 1, 0);
    for (int i = 0; i < ntot; ++i)
        for (long at = p.start[size_t(i)]; at < p.start[size_t(i) + 1]; ++at) {
            ++r.start[size_t(i) + 1];
            ++r.start[size_t(p.nb[size_t(at)] - 1) + 1];
        }
    for (int i = 0; i < ntot; ++i) r.start[size_t(i) + 1] += r.start[size_t(i)];
    r.nb.assign(size_t(r.start[size_t(ntot)]), 0);
    r.w.assign(r.nb.size(), 0.0);
    // Partners before i come from the earlier rows' lists (in increasing
    // order of those rows), then i's own partners after it, sorted.
    std::vector<long> fill(r.start.begin(), r.start.end() - 1);
    for (int i = 0; i < ntot; ++i) {
        long first = p.start[size_t(i)], last = p.start[size_t(i) + 1];
        for (long at = first; at < last; ++at) {
            int j = p.nb[size_t(at)] - 1;
            long to = fill[size_t(j)]++;
            r.nb[size_t(to)] = i;
            r.w[size_t(to)] = p.w[size_t(at)];
        }
        // i's partners after it, in increasing order (insertion: few).
        long base = fill[size_t(i)];
        for (long at = first; at < last; ++at) {
            int j = p.nb[size_t(at)] - 1;
            double w = p.w[size_t(at)];
            long to = base + (at - first);
            while (to > base && r.nb[size_t(to - 1)] > j) {
                r.nb[size_t(to)] = r.nb[size_t(to - 1)];
                r.w[size_t(to)] = r.w[size_t(to - 1)];
                --to;
            }
            r.nb[size_t(to)] = j;
            r.w[size_t(to)] = w;
        }
        fill[size_t(i)] = base + (last - first);
    }
    r.xs.clear();
    r.grid = cellgrid();
    r.ws.assign(size_t(ntot), 0.0);
    r.wall = 0;
    r.fly = false;
    r.partners = long(r.nb.size());
    for (int i = 0; i < ntot; ++i) {
        double s = 0;
        for (long at = r.start[size_t(i)]; at < r.start[size_t(i) + 1]; ++at) s = s + r.w[size_t(at)];
        r.ws[size_t(i)] = s;
        r.wall = r.wall + s;
    }
}

double pairbytes(int n, double npairs)
{
    return double(n) * (2 * sizeof(long) + 2 * sizeof(int) + 5 * sizeof(double)) +
           npairs * (sizeof(int) + sizeof(double)) * 3;
}

// centre
//   n, p (in) rows and vectors of b.
//   b (in,out) each vector minus its mean: its sum (colsums) divided by n.
//   mean (work) p elements.
void centre(int n, int p, double* b, double* mean)
{
    colsums(n, p, b, nullptr, mean, nullptr);
    for (int j = 0; j < p; ++j) mean[j] = mean[j] / double(n);
    const int parts = rowparts(n);
    auto job = [&](int t) {
        int i0 = split(n, parts, t, 1), i1 = split(n, parts, t + 1, 1);
        for (int i = i0; i < i1; ++i) {
            double* row = b + size_t(i) * p;
            for (int j = 0; j < p; ++j) row[j] = row[j] - mean[j];
        }
    };
    share(threads(), parts, job);
}

namespace {

// product: y = J (I + W) J x (step false) or y = (J (I + W) J x - c x) f -
//   y (step true), row by row, after one pass for the means: m = sum(x) / n
//   and mz = sum(ws x) / n - m wall / n, the means of (I + W) J x.
void product(const nearrows& r, int p, const double* x, double* y, double* mean, double c, double f, bool step)
{
    const int n = r.n, path = pathnow();
    colsums(n, p, x, r.ws.data(), mean, mean + p);
    const double wbar = r.wall / double(n);
    for (int j = 0; j < p; ++j) {
        mean[j] = mean[j] / double(n);
        mean[p + j] = mean[p + j] / double(n) - mean[j] * wbar;
    }
    const int parts = rowparts(n);
    std::vector<rowlist> lists(size_t(r.fly ? parts : 0));
    rowlist none;
    auto job = [&](int t) {
        int i0 = split(n, parts, t, 1), i1 = split(n, parts, t + 1, 1);
        onpath<applyrows>(path, r, p, x, y, mean, c, f, step, i0, i1, r.fly ? lists[size_t(t)] : none);
    };
    share(threads(), parts, job);
}

}  // namespace

// apply
//   r (in) the pairs; p (in) the vectors of x and y.
//   x (in) r.n x p, by rows.
//   y (out) r.n x p: J (I + W) J x (see applyat).
//   mean (work) 2p elements.
void apply(const nearrows& r, int p, const double* x, double* y, double* mean)
{
    product(r, p, x, y, mean, 0, 0, false);
}

// applystep
//   r, p, cur (in) as x of apply; c, f (in) the shift and the factor.
//   prev (in,out) becomes (J (I + W) J cur - c cur) f - prev.
//   mean (work) 2p elements.
void applystep(const nearrows& r, int p, const double* cur, double c, double f, double* prev, double* mean)
{
    product(r, p, cur, prev, mean, c, f, true);
}

// gram
//   n (in) rows; a (in) n x p and b (in) n x q, by rows.
//   g (out) p x q by rows: the sums of a(i, j) b(i, k) over the rows, each
//     chunk of chunkrows rows summed from 0 in increasing row, the chunks'
//     sums added from 0 in increasing chunk.
void gram(int n, int p, const double* a, int q, const double* b, double* g)
{
    const int chunks = (n + chunkrows - 1) / chunkrows;
    const size_t pq = size_t(p) * size_t(q);
    std::vector<double> part(pq * size_t(chunks > 0 ? chunks : 1), 0.0);
    const int path = pathnow();
    auto job = [&](int c) {
        double* s = part.data() + size_t(c) * pq;
        const int c0 = c * chunkrows, c1 = c0 + chunkrows < n ? c0 + chunkrows : n;
        onpath<gramchunk>(path, p, a, q, b, c0, c1, s);
    };
    share(threads() > 1 && chunks > 1 ? threads() : 1, chunks, job);
    for (size_t e = 0; e < pq; ++e) {
        double sum = 0;
        for (int c = 0; c < chunks; ++c) sum = sum + part[size_t(c) * pq + e];
        g[e] = sum;
    }
}

// rotate
//   n, p (in) rows and vectors of b; c (in) p x q by rows, q <= p.
//   b (in,out) columns 0..q-1 of each row become the row times c, each
//     element summed from 0 in increasing k; the rest unchanged.
void rotate(int n, int p, double* b, int q, const double* c)
{
    const int parts = rowparts(n), path = pathnow();
    std::vector<double> rows(size_t(parts) * size_t(rotrows) * size_t(q));
    auto job = [&](int t) {
        int i0 = split(n, parts, t, 1), i1 = split(n, parts, t + 1, 1);
        onpath<rotation>(path, p, b, q, c, i0, i1, rows.data() + size_t(t) * size_t(rotrows) * size_t(q));
    };
    share(threads(), parts, job);
}
