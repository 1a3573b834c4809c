// The reduction of tred2 (tred2.cpp) to tridiagonal form: the pass over
// the active block of each step, and the update of the row it mirrors.
//
// The reduction keeps the lower triangle of the active block.  One pass
// over it per step applies the rank-2 update of the step before (or those
// of a few steps, left pending, see below) and accumulates the
// matrix-vector product of this one, columns outermost: a sum g(r) takes
// its terms left of the diagonal from the rows of the columns, then its
// diagonal term and the terms right of it running down its own column,
// always in increasing order.  Four columns (eight with eights) go
// together; their column sums run in the lanes of one vector.
// The row the next step needs is mirrored into its column as the pass
// goes, so that no step reads a row with a stride.  On large blocks the
// threads may share a pass as a pipeline: each takes a share of the
// columns and goes down the rows in blocks, a block only once the share
// on its left has finished it, so that every g(r) still takes its terms
// in increasing order and no second pass is needed.  Whether they do is
// measured as tred2 goes: a few passes timed each way, the faster kept.
//
// The kernels give the bits of the literal loops and reorder only
// independent work (see eigen.h).
#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>

#include "eigen.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"

namespace {

// update: the rank-2 update of column c of the symmetric block, rows
//   0..m-1, by the step whose Householder vector is u and whose updated e
//   is q (both m elements); uk and qk are their elements of this column.
//   The rows are upper twins (the column holds a row mirrored into it):
//   (c - q(r) uk) - u(r) qk, the formula of the lower element.
template <typename V>
struct update {
    static inline __attribute__((always_inline)) void run(double* c, int m, const double* u,
                                                          const double* q, double uk, double qk)
    {
        const int W = width<V>();
        V x, y, z;
        int r = 0;
        for (; r + W <= m; r += W) {
            load(x, c + r);
            load(y, q + r);
            load(z, u + r);
            store(c + r, (x - y * uk) - z * qk);
        }
        for (; r < m; ++r) c[r] = (c[r] - q[r] * uk) - u[r] * qk;
    }
};

// dots: for the tile of `width` rows r.. of the four columns of a panel
//   (x0..x3 the rows of each column), acc(j) = acc(j) + xj(t) u(r + t) for
//   t in increasing order: each lane of the accumulators is the sum of one
//   column, whose terms keep their order.  The tile is transposed so that
//   one vector holds a row across the columns (four lanes in acc0; two in
//   acc0 and two in acc1 for pairs).
inline __attribute__((always_inline)) void dots(const v4& x0, const v4& x1, const v4& x2,
                                                const v4& x3, const double* u, v4& acc0, v4&)
{
    v4 t0 = __builtin_shufflevector(x0, x1, 0, 4, 2, 6);
    v4 t1 = __builtin_shufflevector(x0, x1, 1, 5, 3, 7);
    v4 t2 = __builtin_shufflevector(x2, x3, 0, 4, 2, 6);
    v4 t3 = __builtin_shufflevector(x2, x3, 1, 5, 3, 7);
    acc0 = acc0 + __builtin_shufflevector(t0, t2, 0, 1, 4, 5) * u[0];
    acc0 = acc0 + __builtin_shufflevector(t1, t3, 0, 1, 4, 5) * u[1];
    acc0 = acc0 + __builtin_shufflevector(t0, t2, 2, 3, 6, 7) * u[2];
    acc0 = acc0 + __builtin_shufflevector(t1, t3, 2, 3, 6, 7) * u[3];
}

inline __attribute__((always_inline)) void dots(const v2& x0, const v2& x1, const v2& x2,
                                                const v2& x3, const double* u, v2& acc0, v2& acc1)
{
    acc0 = acc0 + __builtin_shufflevector(x0, x1, 0, 2) * u[0];
    acc1 = acc1 + __builtin_shufflevector(x2, x3, 0, 2) * u[0];
    acc0 = acc0 + __builtin_shufflevector(x0, x1, 1, 3) * u[1];
    acc1 = acc1 + __builtin_shufflevector(x2, x3, 1, 3) * u[1];
}

// With eights: the tile as two tiles of four rows, the upper first.
inline __attribute__((always_inline)) void dots(const v8& x0, const v8& x1, const v8& x2,
                                                const v8& x3, const double* u, v4& acc0, v4& acc1)
{
    dots(v4(__builtin_shufflevector(x0, x0, 0, 1, 2, 3)), v4(__builtin_shufflevector(x1, x1, 0, 1, 2, 3)),
         v4(__builtin_shufflevector(x2, x2, 0, 1, 2, 3)), v4(__builtin_shufflevector(x3, x3, 0, 1, 2, 3)),
         u, acc0, acc1);
    dots(v4(__builtin_shufflevector(x0, x0, 4, 5, 6, 7)), v4(__builtin_shufflevector(x1, x1, 4, 5, 6, 7)),
         v4(__builtin_shufflevector(x2, x2, 4, 5, 6, 7)), v4(__builtin_shufflevector(x3, x3, 4, 5, 6, 7)),
         u + 4, acc0, acc1);
}

// dots8: the same for eight columns of eights: the 8 x 8 tile transposed
//   in three rounds of shuffles, then acc = acc + row t times u(r + t),
//   t = 0..7, each lane the sum of one column.
inline __attribute__((always_inline)) void dots8(const v8* x, const double* u, v8& acc)
{
    v8 a[8], b[8];
    for (int j = 0; j < 8; j += 2) {
        a[j] = __builtin_shufflevector(x[j], x[j + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        a[j + 1] = __builtin_shufflevector(x[j], x[j + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    for (int j = 0; j < 8; j += 4)
        for (int h = 0; h < 2; ++h) {
            b[j + h] = __builtin_shufflevector(a[j + h], a[j + h + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            b[j + h + 2] = __builtin_shufflevector(a[j + h], a[j + h + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    // b[0], b[1], b[2], b[3]: rows 0|4, 1|5, 2|6, 3|7 of columns 0..3; b[4..7]
    // the same of columns 4..7
    for (int t = 0; t < 4; ++t)
        acc = acc + __builtin_shufflevector(b[t], b[t + 4], 0, 1, 2, 3, 8, 9, 10, 11) * u[t];
    for (int t = 0; t < 4; ++t)
        acc = acc + __builtin_shufflevector(b[t], b[t + 4], 4, 5, 6, 7, 12, 13, 14, 15) * u[t + 4];
}

// The accumulators of dots for vectors V: the four column sums, in one
// vector of four, or in two pairs; the eight of dots8 in one vector.
template <typename V>
using sums = typename std::conditional<width<V>() == 2, v2, v4>::type;
template <typename V, int C>
using colsums = typename std::conditional<C == 8, v8, sums<V>>::type;

// The reduction keeps the lower triangle of the active block, column k
// holding rows k and below.  With the updated elements, the sums
// g(r) = sum over k of s(r, k) ui(k), s the symmetric block, take their
// terms k < r from the columns k (row r), term r from the diagonal, and the
// terms k > r from column r itself (rows k > r): so at column r, g(r) adds
// its diagonal term and then runs down the column, and every sum keeps the
// increasing order of its terms.
//
// The rank-2 updates of up to maxdepth steps may be pending: the triangle
// holds the elements before them, and a pass applies them, oldest first,
// to every element it reads, in registers, writing the result back only
// when it is told to keep it.  Their vectors are short, the triangle long:
// a pass that does not write moves half the bytes.  The pass finds them
// in a pending (eigen.h).

// apply: the first count pending updates of pd to the lower element
//   (r, k), x, whose factors of column k are uk and qk (the kernels pass
//   a constant count, and the loop unrolls).
inline __attribute__((always_inline)) double apply(double x, const pending& pd, int count, int r,
                                                   const double* uk, const double* qk)
{
    for (int s = 0; s < count; ++s) x = (x - pd.u[s][r] * qk[s]) - pd.q[s][r] * uk[s];
    return x;
}

// How far ahead of the pass, in doubles, each of a panel's columns is
// fetched (by hint) into the cache.  The processor's own prefetcher
// follows the eight streams of a panel only once it has seen each of them
// for a while, and a panel's columns are short, so a hint a kilobyte ahead
// keeps them in flight: tred2 at 4000 sites on an AMD Zen 5, 4.0 to 4.3 s
// against 4.6 to 4.8 s without (half or two kilobytes ahead were slower).
const int prefetchahead = 128;

// prefetch: a hint to fetch the line of p, to be written when write.
inline __attribute__((always_inline)) void prefetch(const double* p, bool write)
{
    if (write)
        __builtin_prefetch(p, 1);
    else
        __builtin_prefetch(p, 0);
}

// lowpanel: the pass on the C columns k..k+C-1 (k + C <= l; C = 4, or 8
//   with eights), rows from the diagonal down to l-1, those of r0..r1-1
//   only: first the triangle of rows k..k+C-1, element by element in row
//   order, then the rows below, by vectors and then one by one; the
//   column sums run in the lanes of acc0 and acc1 meanwhile, from and back
//   to g(k..k+C-1).  The P pending updates are applied to every element
//   read, which is written back when keep.
template <typename V, int C, int P, bool GS>
inline __attribute__((always_inline)) void lowpanel(double* a, int np, int k, int l, int r0, int r1,
                                                    const pending& pd, bool keep,
                                                    const double* ui, double* g)
{
    const int W = width<V>();
    double* c[C];
    double uk[C][P > 0 ? P : 1], qk[C][P > 0 ? P : 1], hk[C] = {};
    for (int j = 0; j < C; ++j) {
        c[j] = a + size_t(k + j) * np;
        for (int s = 0; s < P; ++s) {
            uk[j][s] = pd.u[s][k + j];
            qk[j][s] = pd.q[s][k + j];
        }
        if (GS) hk[j] = ui[k + j];
    }
    keep = keep && P > 0;
    if (r1 > l) r1 = l;
    for (int r = k > r0 ? k : r0; r < k + C && r < r1; ++r) {
        for (int j = 0; j <= r - k; ++j) {
            double x = apply(c[j][r], pd, P, r, uk[j], qk[j]);
            if (keep) c[j][r] = x;
            if (GS) {
                g[r] = g[r] + x * hk[j];
                if (r > k + j) g[k + j] = g[k + j] + x * ui[r];
            }
        }
    }
    colsums<V, C> acc0{}, acc1{};
    if (GS) {
        load(acc0, g + k);
        if constexpr (C == 4 && width<V>() == 2) load(acc1, g + k + 2);
    }
    int r = k + C > r0 ? k + C : r0;
    for (; r + W <= r1; r += W) {
        V y[P > 0 ? P : 1], z[P > 0 ? P : 1], x[C], gg{};
        for (int s = 0; s < P; ++s) {
            load(y[s], pd.u[s] + r);
            load(z[s], pd.q[s] + r);
        }
        if (GS) load(gg, g + r);
        for (int j = 0; j < C; ++j) {
            load(x[j], c[j] + r);
            if (W == 8 || (r & 7) < W) prefetch(c[j] + r + prefetchahead, keep);
            for (int s = 0; s < P; ++s) x[j] = (x[j] - y[s] * qk[j][s]) - z[s] * uk[j][s];
            if (keep) store(c[j] + r, x[j]);
            if (GS) gg = gg + x[j] * hk[j];
        }
        if (GS) {
            store(g + r, gg);
            if constexpr (C == 8)
                dots8(x, ui + r, acc0);
            else
                dots(x[0], x[1], x[2], x[3], ui + r, acc0, acc1);
        }
    }
    if (!GS) {
        if (keep)
            for (; r < r1; ++r)
                for (int j = 0; j < C; ++j) c[j][r] = apply(c[j][r], pd, P, r, uk[j], qk[j]);
        return;
    }
    double sum[C];
    store(sum, acc0);
    if constexpr (C == 4 && width<V>() == 2) store(sum + 2, acc1);
    for (; r < r1; ++r) {
        for (int j = 0; j < C; ++j) {
            double x = apply(c[j][r], pd, P, r, uk[j], qk[j]);
            if (keep) c[j][r] = x;
            g[r] = g[r] + x * hk[j];
            sum[j] = sum[j] + x * ui[r];
        }
    }
    for (int j = 0; j < C; ++j) g[k + j] = sum[j];
}

// reducecols: one step of the reduction on the columns c0..c1-1 of the
//   active block (columns 0..l-1 of a, leading dimension np, lower
//   triangle), rows r0..r1-1 of them, C columns at a time.
//   The P pending updates of pd are applied to every element read, and the
//   results written back into the triangle when keep.
//   When GS: g(r) = g(r) + s(r, k) ui(k) for those elements, in increasing
//   k for each r, the terms k > r of g(r) running down column r; so g(r),
//   from 0, is the sum over k of s(r, k) ui(k) in increasing k once every
//   column has been through every row, column by column from the left.
//   Only g of the rows r0..r1-1 and of the columns that have elements in
//   them (k < r1) is touched: on other threads, the shares on the left may
//   be adding to the rest.
template <typename V, int P, bool GS>
inline __attribute__((always_inline)) void reducecols(double* a, int np, int l, const pending& pd,
                                                      bool keep, const double* ui, double* g,
                                                      int c0, int c1, int r0, int r1)
{
    if (c1 > r1) c1 = r1;
    int k = c0;
    if constexpr (width<V>() == 8)
        for (; k + 8 <= c1; k += 8) lowpanel<V, 8, P, GS>(a, np, k, l, r0, r1, pd, keep, ui, g);
    for (; k + 4 <= c1; k += 4) lowpanel<V, 4, P, GS>(a, np, k, l, r0, r1, pd, keep, ui, g);
    if (r1 > l) r1 = l;
    for (; k < c1; ++k) {
        double* c = a + size_t(k) * np;
        double uk[P > 0 ? P : 1], qk[P > 0 ? P : 1];
        for (int s = 0; s < P; ++s) {
            uk[s] = pd.u[s][k];
            qk[s] = pd.q[s][k];
        }
        for (int r = k > r0 ? k : r0; r < r1; ++r) {
            double x = apply(c[r], pd, P, r, uk, qk);
            if (P > 0 && keep) c[r] = x;
            if (GS) {
                g[r] = g[r] + x * ui[k];
                if (r > k) g[k] = g[k] + x * ui[r];
            }
        }
    }
}

template <typename V, int P>
inline __attribute__((always_inline)) void reducecols(double* a, int np, int l, const pending& pd,
                                                      bool keep, const double* ui, double* g,
                                                      int c0, int c1, int r0, int r1)
{
    if (g)
        reducecols<V, P, true>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
    else
        reducecols<V, P, false>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
}

// reduction: the kernel of a pass, reducecols with the count of pd's
//   pending updates and the sums (g not null) made constants.
template <typename V>
struct reduction {
    static inline __attribute__((always_inline)) void run(double* a, int np, int l, const pending& pd,
                                                          bool keep, const double* ui, double* g,
                                                          int c0, int c1, int r0, int r1)
    {
        switch (pd.count) {
        case 0: return reducecols<V, 0>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
        case 1: return reducecols<V, 1>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
        case 2: return reducecols<V, 2>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
        case 3: return reducecols<V, 3>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
        default: return reducecols<V, 4>(a, np, l, pd, keep, ui, g, c0, c1, r0, r1);
        }
    }
};

// mirror: row l-1 of the active block, the next step's, with the pending
//   updates of pd applied unless the pass kept them, copied to column l-1
//   above the diagonal, and its diagonal element updated in place.
void mirror(double* a, int np, int l, const pending& pd, bool keep)
{
    double* last = a + size_t(l - 1) * np;
    if (pd.count == 0 || keep) {
        for (int j = 0; j < l - 1; ++j) last[j] = a[(l - 1) + size_t(j) * np];
        return;
    }
    for (int j = 0; j < l; ++j) {
        double uk[maxdepth], qk[maxdepth];
        for (int s = 0; s < pd.count; ++s) {
            uk[s] = pd.u[s][j];
            qk[s] = pd.q[s][j];
        }
        last[j] = apply(a[(l - 1) + size_t(j) * np], pd, pd.count, l - 1, uk, qk);
    }
}

// The shared reduction (sharingnow(): the order of the active block from
// which the threads may share it, the threads it needs at least, the rows
// of one block, the way), and the shares at most.  The pass waits on
// memory, and whether a second core pays for the hand-overs and for the
// streams cut into blocks depends on the bandwidth it adds: on an AMD Zen
// 5 with two cores, where it adds some 40 %, two shares cost more than
// they gained once the pass fetches ahead (tred2 on two threads at 4000
// sites 3.36 to 3.63 s against 3.19 to 3.49 s on one; at 2000, 0.37 s
// against 0.34 s), while on an AVX2 Zen 3 one thread alone fell behind.
// So by default tred2 times its first passes from reducefrom on each way
// and keeps the faster (startreduce, reducestep below).  Below order 1000
// a step takes some ten microseconds, too little for the hand-overs.
const int maxshares = 64;

// The rounds of the measurement (reducerounds, eigen.h): each times the
// shared way and then the pass alone, the median of the rounds deciding.
// Each way takes a lead-in pass first, not timed, so that what is timed
// runs as it would for the rest of the reduction: the pool's threads
// started and awake, spinning between the passes as they do once every
// pass is shared (after a pass alone they may have gone to sleep), and
// the caches left by a pass of the same way.  Then `depth` passes are
// timed together, one cycle of the pending updates, which write the
// triangle back once per cycle.

// median: the median of the reducerounds values of x.
double median(const double* x)
{
    double lo = x[0] < x[1] ? x[0] : x[1], hi = x[0] < x[1] ? x[1] : x[0];
    return x[2] < lo ? lo : x[2] > hi ? hi : x[2];
}
static_assert(reducerounds == 3, "median takes three rounds");

}  // namespace

// reducepass: one step of the reduction over the active block (see
//   reducecols), g first cleared, then the next row mirrored.  When
//   shared, from order reducefrom on (sharingnow()) and with threads to
//   share it (shares()), the threads share the columns, in shares of about
//   equal area whose bounds are multiples of 8; each share goes down the
//   rows block by block, and takes a block only when the share on its left
//   has finished it, so that every g(r) takes its terms in the order of the
//   columns, as on one thread.
void reducepass(int path, double* a, int np, int l, const pending& pd, bool keep,
                const double* ui, double* g, bool shared)
{
    if (g)
        for (int r = 0; r < l; ++r) g[r] = 0;
    if (g || (pd.count > 0 && keep)) {
        const sharing& at = sharingnow();
        const int reduceblock = at.reduceblock;
        int p = !shared || l < at.reducefrom ? 1 : shares(l, l / 8);
        if (p > maxshares) p = maxshares;
        int bounds[maxshares + 1];
        int count = 0;
        bounds[0] = 0;
        // the columns 0..c-1 hold c l - c (c - 1) / 2 elements
        double area = 0.5 * double(l) * double(l + 1);
        for (int t = 1, c = 0; t < p; ++t) {
            while (c < l && double(c) * l - 0.5 * double(c) * double(c - 1) < area * t / p) c += 8;
            if (c < l && c > bounds[count]) bounds[++count] = c;
        }
        bounds[++count] = l;
        if (count <= 1) {
            onpath<reduction>(path, a, np, l, pd, keep, ui, g, 0, l, 0, l);
        } else {
            std::atomic<int> done[maxshares];
            for (int t = 0; t < count; ++t) done[t].store(0);
            auto columns = [&](int t) {
                int c0 = bounds[t], c1 = bounds[t + 1];
                for (int b = c0 / reduceblock; b * reduceblock < l; ++b) {
                    if (t > 0)
                        while (done[t - 1].load(std::memory_order_acquire) <= b) std::this_thread::yield();
                    int r0 = b * reduceblock, r1 = r0 + reduceblock;
                    onpath<reduction>(path, a, np, l, pd, keep, ui, g, c0, c1, r0 > c0 ? r0 : c0, r1);
                    done[t].store(b + 1, std::memory_order_release);
                }
            };
            share(p, count, columns);
        }
    }
    mirror(a, np, l, pd, keep);
}

// startreduce: the choice of a call of tred2 whose passes keep up to depth
//   updates pending (1 to maxdepth), before its first pass: the way forced
//   by sharingnow().reduceway; alone when fewer than two threads, or than
//   reducethreads, run the kernels; else still to be measured.
reducing startreduce(int depth)
{
    reducing s{};
    const sharing& at = sharingnow();
    s.depth = depth;
    if (at.reduceway == reduce_alone || at.reduceway == reduce_shared)
        s.way = at.reduceway;
    else if (threads() < 2 || threads() < at.reducethreads)
        s.way = reduce_alone;
    else
        s.way = reduce_measured;
    return s;
}

// reducestep: reducepass on the block of order l, shared or not as s
//   says; while s is still measuring and l >= reducefrom, the step is one
//   of the measurement's (a pass with nothing to reduce does not count):
//   the rounds of each way in turn, a lead-in pass and then a cycle of
//   depth passes timed, their seconds over the elements of their active
//   triangles.  After the last round s keeps the way of the smaller
//   median, alone on a tie.  Changes s; the bits are those of either way.
void reducestep(reducing& s, int path, double* a, int np, int l, const pending& pd, bool keep,
                const double* ui, double* g)
{
    bool work = g || (pd.count > 0 && keep);
    if (s.way != reduce_measured || l < sharingnow().reducefrom || !work) {
        reducepass(path, a, np, l, pd, keep, ui, g, s.way == reduce_shared);
        return;
    }
    const int period = 1 + s.depth;
    const int round = s.step / (2 * period), within = s.step % (2 * period);
    const bool shared = within < period, timed = within % period != 0;
    auto t0 = std::chrono::steady_clock::now();
    reducepass(path, a, np, l, pd, keep, ui, g, shared);
    if (timed) {
        s.seconds = s.seconds + std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        s.elements = s.elements + 0.5 * double(l) * double(l + 1);
        s.timed = s.timed + 1;
        if (within % period == period - 1) {
            s.times[shared ? 1 : 0][round] = s.seconds / s.elements;
            s.seconds = 0;
            s.elements = 0;
        }
    }
    s.step = s.step + 1;
    if (s.step == reducerounds * 2 * period) {
        s.alone = median(s.times[0]);
        s.shared = median(s.times[1]);
        s.way = s.shared < s.alone ? reduce_shared : reduce_alone;
    }
}

// updaterow: update (above) on the path.
void updaterow(int path, double* c, int m, const double* u, const double* q, double uk, double qk)
{
    onpath<update>(path, c, m, u, q, uk, qk);
}
