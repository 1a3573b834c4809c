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

namespace {

// Rows of one chunk of the inner products: their sums are formed chunk by
// chunk, whatever the thread count.
const int chunkrows = 2048;

// Rows of the chunk and vectors of b held together by the inner products'
// tile, and rows rotated at a time.
const int tilerows = 256;
const int tilea = 4;
const int tileb = 8;
const int rotrows = 4;

// The parts of a kernel over n rows, units of work each.
int rowparts(int n) { return pieces(shares(n, n)); }

// Vectors whose means one part of means() takes.
const int meancols = 8;

// means: mean(j) = the sum of the elements of vector j of the n x p block
//   b from 0 in increasing row, divided by n; the threads share the
//   vectors, meancols at a time.
void means(int n, int p, const double* b, double* mean)
{
    const int units = (p + meancols - 1) / meancols, parts = shares(n, units);
    auto job = [&](int t) {
        int j0 = split(p, parts, t, meancols), j1 = split(p, parts, t + 1, meancols);
        for (int j = j0; j < j1; ++j) mean[j] = 0;
        for (int i = 0; i < n; ++i) {
            const double* row = b + size_t(i) * p;
            for (int j = j0; j < j1; ++j) mean[j] = mean[j] + row[j];
        }
        for (int j = j0; j < j1; ++j) mean[j] = mean[j] / double(n);
    };
    share(parts, parts, job);
}

}  // namespace

// nearpairs
//   ntot, ncoord, ld, xr (in) the ranged sites (ld rows, by columns).
//   scaled (in) the scaled limit.
//   r (out) the pairs, both ways, by rows, partners in increasing order.
void nearpairs(int ntot, int ncoord, int ld, const double* xr, double scaled, nearrows& r)
{
    pairs p;
    findpairs(ntot, ncoord, ld, xr, scaled, p);
    pairrows(ntot, p, r);
}

// pairrows
//   ntot (in) the sites.  p (in) the pairs, partners j > i of each i.
//   r (out) the pairs, both ways, by rows, partners in increasing order.
void pairrows(int ntot, const pairs& p, nearrows& r)
{
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
}

double pairbytes(int n, double npairs)
{
    return double(n) * 2 * sizeof(long) + npairs * (sizeof(int) + sizeof(double)) * 3;
}

// centre
//   n, p (in) rows and vectors of b.
//   b (in,out) each vector minus its mean: the sum of its elements from 0
//     in increasing row, divided by n.
//   mean (work) p elements.
void centre(int n, int p, double* b, double* mean)
{
    means(n, p, b, mean);
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

// apply
//   r (in) the pairs; p (in) the vectors of x and y.
//   x (in) r.n x p, by rows.
//   y (out) r.n x p: J (I + W) J x.  Row i of (I + W) x' is x'(i) plus
//     w(i, j) x'(j) over i's partners in increasing j, x' = J x.
//   mean (work) p elements.
void apply(const nearrows& r, int p, const double* x, double* y, double* mean)
{
    const int n = r.n;
    means(n, p, x, mean);
    const int parts = rowparts(n);
    auto job = [&](int t) {
        int i0 = split(n, parts, t, 1), i1 = split(n, parts, t + 1, 1);
        for (int i = i0; i < i1; ++i) {
            double* out = y + size_t(i) * p;
            const double* own = x + size_t(i) * p;
            for (int j = 0; j < p; ++j) out[j] = own[j] - mean[j];
            for (long at = r.start[size_t(i)]; at < r.start[size_t(i) + 1]; ++at) {
                const double w = r.w[size_t(at)];
                const double* other = x + size_t(r.nb[size_t(at)]) * p;
                for (int j = 0; j < p; ++j) out[j] = out[j] + w * (other[j] - mean[j]);
            }
        }
    };
    share(threads(), parts, job);
    centre(n, p, y, mean);
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
    auto job = [&](int c) {
        double* s = part.data() + size_t(c) * pq;
        const int c0 = c * chunkrows, c1 = c0 + chunkrows < n ? c0 + chunkrows : n;
        for (int t0 = c0; t0 < c1; t0 += tilerows) {
            const int t1 = t0 + tilerows < c1 ? t0 + tilerows : c1;
            for (int j0 = 0; j0 < p; j0 += tilea) {
                const int ja = j0 + tilea < p ? tilea : p - j0;
                for (int k0 = 0; k0 < q; k0 += tileb) {
                    const int kb = k0 + tileb < q ? tileb : q - k0;
                    double acc[tilea][tileb];
                    for (int u = 0; u < ja; ++u)
                        for (int v = 0; v < kb; ++v) acc[u][v] = s[size_t(j0 + u) * q + size_t(k0 + v)];
                    if (ja == tilea && kb == tileb) {
                        for (int i = t0; i < t1; ++i) {
                            const double* ar = a + size_t(i) * p + j0;
                            const double* br = b + size_t(i) * q + k0;
                            for (int u = 0; u < tilea; ++u)
                                for (int v = 0; v < tileb; ++v) acc[u][v] = acc[u][v] + ar[u] * br[v];
                        }
                    } else {
                        for (int i = t0; i < t1; ++i) {
                            const double* ar = a + size_t(i) * p + j0;
                            const double* br = b + size_t(i) * q + k0;
                            for (int u = 0; u < ja; ++u)
                                for (int v = 0; v < kb; ++v) acc[u][v] = acc[u][v] + ar[u] * br[v];
                        }
                    }
                    for (int u = 0; u < ja; ++u)
                        for (int v = 0; v < kb; ++v) s[size_t(j0 + u) * q + size_t(k0 + v)] = acc[u][v];
                }
            }
        }
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
// step
//   n, p (in) rows and vectors; g (in) the product of the block cur; c,
//     f (in) the shift and the factor of the recurrence.
//   prev (in,out) becomes (g - c cur) f - prev, element by element.
void step(int n, int p, const double* g, const double* cur, double c, double f, double* prev)
{
    const int parts = rowparts(n);
    auto job = [&](int t) {
        size_t e0 = size_t(split(n, parts, t, 1)) * p, e1 = size_t(split(n, parts, t + 1, 1)) * p;
        for (size_t e = e0; e < e1; ++e) prev[e] = (g[e] - c * cur[e]) * f - prev[e];
    };
    share(threads(), parts, job);
}

void rotate(int n, int p, double* b, int q, const double* c)
{
    const int parts = rowparts(n);
    std::vector<double> rows(size_t(parts) * size_t(rotrows) * size_t(q));
    auto job = [&](int t) {
        int i0 = split(n, parts, t, 1), i1 = split(n, parts, t + 1, 1);
        double* out = rows.data() + size_t(t) * size_t(rotrows) * size_t(q);
        for (int i = i0; i < i1; i += rotrows) {
            const int rows = i + rotrows <= i1 ? rotrows : i1 - i;
            for (size_t e = 0; e < size_t(rotrows) * size_t(q); ++e) out[e] = 0;
            for (int k = 0; k < p; ++k) {
                const double* ck = c + size_t(k) * q;
                for (int u = 0; u < rows; ++u) {
                    const double bk = b[size_t(i + u) * p + size_t(k)];
                    double* o = out + size_t(u) * q;
                    for (int j = 0; j < q; ++j) o[j] = o[j] + bk * ck[j];
                }
            }
            for (int u = 0; u < rows; ++u)
                std::memcpy(b + size_t(i + u) * p, out + size_t(u) * q, size_t(q) * sizeof(double));
        }
    };
    share(threads(), parts, job);
}
