// Symmetric eigen-solver: Householder reduction to tridiagonal form (tred2)
// and QL with implicit shifts (tqli).  Every negligibility test is absolute,
// against the single-precision tolerance.
//
// The kernels give the bits of the literal loops (kept in the test tree)
// and reorder only independent work:
// - The reduction of tred2 keeps the lower triangle of the active block.
//   One pass over it per step applies the rank-2 update of the step before
//   (or those of a few steps, left pending, see below) and accumulates the
//   matrix-vector product of this one, columns
//   outermost: a sum g(r) takes its terms left of the diagonal from the
//   rows of the columns, then its diagonal term and the terms right of it
//   running down its own column, always in increasing order.  Four columns
//   (eight with eights) go together; their column sums run in the lanes of
//   one vector.
//   The row the next step needs is mirrored into its column as the pass
//   goes, so that no step reads a row with a stride.  On large blocks,
//   three threads or more share a pass as a pipeline: each takes a share
//   of the columns and goes down the rows in blocks, a block only once the
//   share on its left has finished it, so that every g(r) still takes its
//   terms in increasing order and no second pass is needed.
// - The accumulation of the transformation runs on its transpose, whose
//   rows are independent: a block of rows, in a strip of its own, goes
//   through every step while it stays in the cache; one pass serves the
//   update of one step and the sums of the next.  The Householder vectors
//   wait in the work matrix, contiguous.  The threads share the blocks.
// - tqli computes its plane rotations from d and e alone, records them in
//   the work matrix, and applies them to z block of rows by block of rows.
//   Within a block a group of sweeps moves as a wave, chunk by chunk: sweep
//   g rotates a few column pairs right after sweep g-1 has rotated those
//   one column below, so that every column meets the same rotations in the
//   same order as in the literal loops, while the few columns of the wave
//   stay in the first-level cache.
// Vectors run across rows or across independent sums; the AVX-512, the
// AVX2 and the baseline path compute the same operations.
#include <cmath>
#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>

#include "pcnm.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"

namespace {

// QL iterations allowed for one eigenvalue.
const int maxiter = 50;

// Rotations recorded before they are applied, as doubles: a megabyte, the
// second-level cache, holds some 64 sweeps of 1000 rotations.
const int batchsize = 1 << 17;

// Sweeps moving together as one wave, and the pairs each of them rotates
// before the next one follows.
const int maxwave = 64;
const int span = 64;

// Vectors of rows in one row block of the rotations: six chains of
// rotations in flight hide the latency of each one's multiply and
// subtract, and their registers (two per vector) still fit the sixteen of
// the four-wide and the baseline paths.  On an AMD Zen 5, tqli at 4000
// sites: 2.57 to 2.71 s with six (or eight) against 2.88 s with four on
// the eight-wide path; 5.0 s against 5.4 s on the four-wide one.
const int blockvecs = 6;

// Vectors of rows in one block of the accumulation (16 rows with AVX2, 32
// with AVX-512F): their sums and those of the next step stay in registers.
const int accumvecs = 4;
const int maxblockrows = 8 * accumvecs;

// ---------------------------------------------------------------------------
// Vector kernels, templates over the vector type V, compiled once for each
// path by onpath (vecpath.h).

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
// a pass that does not write moves half the bytes.

// The updates of the reduction not yet written into the triangle, oldest
// first (at most maxdepth, see pcnm.h): update s makes the element (r, k)
// (x - u(r) q(k)) - q(r) u(k), u the step's Householder vector and q its
// updated e.
struct pending {
    int count;
    const double* u[maxdepth];
    const double* q[maxdepth];
};

// The updates a pass lets wait when the caller leaves the choice.  Where
// the pass waits on memory, a depth of 2 moves 12 bytes per element and
// step instead of 16; on an AMD Zen 5 (67 GB/s read-and-write on one
// core) the pass reaches half of that at depth 1 and is bound by its
// arithmetic, so that the recomputed updates cost more than the bytes they
// save (tred2 at 4000 sites: 7.2 to 7.7 s at depth 1, 7.7 to 8.2 s at
// depth 2; at 2000 sites 5 % slower at depth 2).  bench/kernels measures
// every depth on another machine.
const int reducedepth = 1;

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

// The accumulation works on the transpose zt of the transformation: row r
// of zt is column r of the transformation, and the rows never meet.  Row r
// starts as the unit vector e(r) at step r; every later active step i
// takes its sum g(r) = sum over k < i of zt(r, k) u(k), from 0 in
// increasing k, and then sets zt(r, k) = zt(r, k) - g(r) w(k) for k < i
// (u the step's Householder vector, w = u / h).  So a block of rows goes
// through all the steps while it stays in the cache, and the blocks are
// shared among the threads.  Within a block the vector lanes run across
// rows; the update of a step and the sums of the next share one pass.

// Where the accumulation finds the steps: the Householder vector u of step
// i in column i of w above the diagonal, w = u / h in column n-1-i below
// it, and h in d(i) (the step is active when |h| > tolerance).
struct steps {
    const double* w;
    const double* d;
    int n, np;
    const double* u(int i) const { return w + size_t(i) * np; }
    const double* uh(int i) const { return w + size_t(n - 1 - i) * np + (n - i); }
    bool active(int i) const { return std::fabs(d[i]) > tolerance; }
    // the first active step from i on, or n
    int from(int i) const
    {
        while (i < n && !active(i)) ++i;
        return i;
    }
};

// stepsums: g(t) = sum over k < i of x(t, k) u(k), from 0 in increasing k,
//   for the m rows t of x (leading dimension np).
void stepsums(const double* x, int np, int m, int i, const double* u, double* g)
{
    for (int t = 0; t < m; ++t) g[t] = 0;
    for (int k = 0; k < i; ++k) {
        const double* c = x + size_t(k) * np;
        for (int t = 0; t < m; ++t) g[t] = g[t] + c[t] * u[k];
    }
}

// stepupdate: x(t, k) = x(t, k) - g(t) w(k) for k < i and the m rows t.
void stepupdate(double* x, int np, int m, int i, const double* w, const double* g)
{
    for (int k = 0; k < i; ++k) {
        double* c = x + size_t(k) * np;
        for (int t = 0; t < m; ++t) c[t] = c[t] - g[t] * w[k];
    }
}

// accumrows: the whole accumulation for the m rows r0.. of zt (leading
//   dimension np), when all of them take part in every step from i on
//   (i >= r0 + m), one step after the other.
void accumrows(double* x, int np, int m, int i, const steps& st)
{
    double g[maxblockrows];
    for (i = st.from(i); i < st.n; i = st.from(i + 1)) {
        stepsums(x, np, m, i, st.u(i), g);
        stepupdate(x, np, m, i, st.uh(i), g);
    }
}

// accumblock: the same for B vectors V of rows, the sums in registers: the
//   update of step i and the sums of the next active step j in one pass
//   over columns 0..i-1, then the sums go on over the columns i..j-1.
template <typename V, int B>
inline __attribute__((always_inline)) void accumblock(double* x, int np, int i, const steps& st)
{
    const int W = width<V>();
    i = st.from(i);
    if (i >= st.n) return;
    V g[B], x0;
    const double* u = st.u(i);
    for (int v = 0; v < B; ++v) g[v] = V{};
    for (int k = 0; k < i; ++k) {
        const double* c = x + size_t(k) * np;
        for (int v = 0; v < B; ++v) {
            load(x0, c + v * W);
            g[v] = g[v] + x0 * u[k];
        }
    }
    for (;;) {
        int j = st.from(i + 1);
        const double* w = st.uh(i);
        if (j >= st.n) {
            for (int k = 0; k < i; ++k) {
                double* c = x + size_t(k) * np;
                const double wk = w[k];
                for (int v = 0; v < B; ++v) {
                    load(x0, c + v * W);
                    store(c + v * W, x0 - g[v] * wk);
                }
            }
            return;
        }
        const double* un = st.u(j);
        V gn[B];
        for (int v = 0; v < B; ++v) gn[v] = V{};
        for (int k = 0; k < i; ++k) {
            double* c = x + size_t(k) * np;
            const double wk = w[k], uk = un[k];
            for (int v = 0; v < B; ++v) {
                load(x0, c + v * W);
                x0 = x0 - g[v] * wk;
                store(c + v * W, x0);
                gn[v] = gn[v] + x0 * uk;
            }
        }
        for (int k = i; k < j; ++k) {
            const double* c = x + size_t(k) * np;
            for (int v = 0; v < B; ++v) {
                load(x0, c + v * W);
                gn[v] = gn[v] + x0 * un[k];
            }
        }
        for (int v = 0; v < B; ++v) g[v] = gn[v];
        i = j;
    }
}

// accumulation: the kernel, accumblock on accumvecs vectors of rows.
template <typename V>
struct accumulation {
    static inline __attribute__((always_inline)) void run(double* x, int np, int i, const steps& st)
    {
        accumblock<V, accumvecs>(x, np, i, st);
    }
};

// One recorded sweep: rotations of the column pairs (p, p+1) for p from
// top down to bottom, rot holding c and s of each in that order.
struct sweep {
    int top, bottom;
    const double* rot;
};

// chain: rotations of sweep s over the pairs p = hi down to lo applied to
//   B vectors V of rows of z (leading dimension np) from row 0, column p+1
//   carried in registers from one rotation to the next.  A rotation sets
//   z(p+1) = s z(p) + c z(p+1) and z(p) = c z(p) - s z(p+1), from the old
//   values.
template <typename V, int B>
inline __attribute__((always_inline)) void chain(double* z, int np, const sweep& s, int hi, int lo)
{
    const int W = width<V>();
    const double* cs = s.rot + 2 * (s.top - hi);
    V f[B], x;
    double* col = z + size_t(hi + 1) * np;
    for (int v = 0; v < B; ++v) load(f[v], col + v * W);
    for (int p = hi; p >= lo; --p) {
        double c = cs[0], sn = cs[1];
        cs += 2;
        col -= np;
        for (int v = 0; v < B; ++v) {
            load(x, col + v * W);
            store(col + np + v * W, sn * x + c * f[v]);
            f[v] = c * x - sn * f[v];
        }
    }
    for (int v = 0; v < B; ++v) store(col + v * W, f[v]);
}

// wave: the sweeps s[0..ns-1], in their order, applied to B vectors V of
//   rows of z (leading dimension np) from row 0.  The pairs are taken in
//   chunks of span positions: in chunk k, sweep g makes its rotations of
//   the pairs from t0 - k span + g down to span - 1 below that.  Sweep g-1
//   has then made every rotation that touches those columns before them in
//   the literal order, and none that comes after them.
template <typename V, int B>
inline __attribute__((always_inline)) void wave(double* z, int np, const sweep* s, int ns)
{
    int t0 = s[0].top;
    int b0 = s[0].bottom;
    for (int g = 1; g < ns; ++g) {
        if (s[g].top - g > t0) t0 = s[g].top - g;
        if (s[g].bottom - g < b0) b0 = s[g].bottom - g;
    }
    for (int top = t0; top >= b0; top -= span) {
        for (int g = 0; g < ns; ++g) {
            int hi = top + g < s[g].top ? top + g : s[g].top;
            int lo = top + g - span + 1 > s[g].bottom ? top + g - span + 1 : s[g].bottom;
            if (hi >= lo) chain<V, B>(z, np, s[g], hi, lo);
        }
    }
}

// rotate: the recorded sweeps from rec to end applied to all n rows of z
//   (leading dimension np).  A record is its top column t and bottom column
//   b, then c and s of each rotation, from the pair (t-1, t) down to (b,
//   b+1).  Row block by row block, each block takes the sweeps in waves of
//   up to maxwave.
template <typename V>
struct rotate {
    static inline __attribute__((always_inline)) void run(double* z, int n, int np, const double* rec,
                                                          const double* end)
    {
        const int W = width<V>();
        const int R = blockvecs * W;
        sweep s[maxwave];
        const double* next = rec;
        while (next < end) {
            // the next wave
            int ns = 0;
            while (next < end && ns < maxwave) {
                int t = int(next[0]);
                int b = int(next[1]);
                s[ns++] = sweep{t - 1, b, next + 2};
                next += 2 + 2 * (t - b);
            }
            int r = 0;
            for (; r + R <= n; r += R) wave<V, blockvecs>(z + r, np, s, ns);
            for (; r + W <= n; r += W) wave<V, 1>(z + r, np, s, ns);
            for (; r < n; ++r) wave<double, 1>(z + r, np, s, ns);
        }
    }
};

// The shares of the decomposition's time taken by the reduction, the
// accumulation and the rotations of tqli, for the progress line: at 4000
// sites on one thread of an AMD Zen 5 (AVX-512F), 2.45 s, 1.74 s and
// 2.77 s.
const double sharereduce = 0.35;
const double shareaccum = 0.25;
const double sharerotate = 0.40;

// Tells prog, when there is one, that `part` of the whole is done.
void tick(progress* prog, const char* what, double part)
{
    if (prog) progstep(*prog, what, part);
}

// The shared reduction (sharingnow(): the order of the active block from
// which the threads share it, the threads it needs at least, the rows of
// one block), and the shares at most.  The pass waits on memory.  On an
// AMD Zen 5 with two cores, where a second core adds some 40 % to the
// bandwidth, two shares cost more in hand-overs and in streams cut into
// blocks than they gained once the pass fetches ahead (tred2 on two
// threads at 4000 sites 3.36 to 3.63 s against 3.19 to 3.49 s on one; at
// 2000, 0.37 s against 0.34 s), so two threads leave the pass to one.
// Below order 1000 a step takes some ten microseconds, too little for the
// hand-overs.
const int maxshares = 64;

// reducepass: one step of the reduction over the active block (see
//   reducecols), g first cleared, then the next row mirrored.  From order
//   reducefrom on, with reducethreads threads or more (sharingnow()), the
//   threads share the columns, in shares of about equal area whose bounds
//   are multiples of 8; each share goes down the rows block by block, and
//   takes a block only when the share on its left has finished it, so that
//   every g(r) takes its terms in the order of the columns, as on one
//   thread.
void reducepass(int path, double* a, int np, int l, const pending& pd, bool keep,
                const double* ui, double* g)
{
    if (g)
        for (int r = 0; r < l; ++r) g[r] = 0;
    if (g || (pd.count > 0 && keep)) {
        const sharing& at = sharingnow();
        const int reduceblock = at.reduceblock;
        int p = l < at.reducefrom ? 1 : shares(l, l / 8);
        if (p < at.reducethreads) p = 1;
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


#if defined(__x86_64__) || defined(__i386__)
// Whether the processor has AVX-512F and the system saves its registers:
// CPUID leaf 1 says the system enabled XGETBV (OSXSAVE), XCR0 that it
// saves the SSE, AVX, opmask and both halves of the ZMM state, and leaf 7
// that the processor has the instructions.
bool avx512usable()
{
    unsigned a, b, c, d;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0), "c"(0));
    if (a < 7) return false;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1), "c"(0));
    if (!(c & (1u << 27))) return false;
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 0xe6) != 0xe6) return false;
    __asm__("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(7), "c"(0));
    return (b & (1u << 16)) != 0;
}
#endif

}  // namespace

// The four-wide path is compiled for AVX2 on x86 processors, which may lack
// it; elsewhere it is plain vector code that every processor runs.  The
// eight-wide path is compiled on x86 alone, for AVX-512F.
bool runs(int path)
{
#if defined(__x86_64__) || defined(__i386__)
    if (path == path_avx2) return __builtin_cpu_supports("avx2");
    if (path == path_avx512) {
        static const bool usable = avx512usable();
        return usable;
    }
#endif
    return path == path_base || path == path_avx2;
}

// The widest path that runs: eight doubles run faster than four even where
// the processor splits them in two halves (an AMD Zen 4, about 1.8 times
// the rotations' rate and 1.2 times the reduction's, see the README).
int bestpath()
{
#if defined(__x86_64__) || defined(__i386__)
    if (runs(path_avx512)) return path_avx512;
    return runs(path_avx2) ? path_avx2 : path_base;
#else
    return path_base;
#endif
}

// tred2
//   a  (in,out) np x n; on entry the symmetric matrix (diagonal and lower
//               triangle read, upper triangle overwritten); on return the
//               orthogonal transformation that reduces it.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of a and w.
//   d  (out)    n elements: the diagonal of the tridiagonal matrix.
//   e  (out)    n elements: e(i) = element (i, i-1) for i = 2..n; e(1) = 0.
//   w  (work)   np x n; its content on return means nothing.
//   path (in)   path_avx512, path_avx2 or path_base (the default:
//               bestpath()).
//   depth (in)  the updates of the reduction left pending, 1 to maxdepth;
//               0 (the default) takes reducedepth.
//   prog (in,out) null, or the progress of the decomposition: each step
//               adds its share of the whole.
void tred2(double* a, int n, int np, double* d, double* e, double* w, int path, int depth,
           progress* prog)
{
    if (depth > maxdepth) depth = maxdepth;
    auto col = [=](int k) { return a + size_t(k) * np; };

    // Row n-1 mirrored into column n-1: the first step reads it there.
    for (int j = 0; j < n - 1; ++j) a[j + size_t(n - 1) * np] = a[(n - 1) + size_t(j) * np];

    // Reduction, from the last row, on the lower triangle of the active
    // block.  Step i (0-based) works on column i, where the pass before
    // mirrored row i: it applies the update of step i+1 to it, finds the
    // Householder vector u in place, and in one pass over the block
    // applies the pending updates, accumulates g = block times u and
    // mirrors the next row.  The pass writes the block back when depth
    // updates are pending, and the count starts again from none.
    // The part of e not yet final holds g.  The work matrix keeps, for the
    // accumulation, u in column i above the diagonal, u / h in column n-1-i
    // below it, and the diagonal of the tridiagonal matrix on its own;
    // column i of a, above the diagonal, keeps the updated e of step i while
    // its update is pending.
    pending pd{};
    const double* pu = nullptr;  // the update of the step before, if any
    const double* pq = nullptr;
    // Step i works on a triangle of order i: its share of the reduction.
    const double reducework = double(n - 1) * n * (2.0 * n - 1) / 6;
    for (int i = n - 1; i >= 1; --i) {
        int l = i;
        double* ci = col(i);
        if (pu) onpath<update>(path, ci, i + 1, pu, pq, pu[i], pq[i]);
        w[i + size_t(i) * np] = ci[i];
        double h = 0;
        double scale = 0;
        bool transform = false;
        if (l > 1) {
            for (int k = 0; k < l; ++k) scale = scale + std::fabs(ci[k]);
            if (std::fabs(scale) < tolerance) {
                e[i] = ci[l - 1];
            } else {
                for (int k = 0; k < l; ++k) {
                    ci[k] = ci[k] / scale;
                    h = h + ci[k] * ci[k];
                }
                double f = ci[l - 1];
                double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h = h - f * g;
                ci[l - 1] = f - g;
                transform = true;
            }
        } else {
            e[i] = ci[l - 1];
        }
        double* g = transform ? e : nullptr;
        bool keep = pd.count >= (depth > 0 ? depth : reducedepth);
        reducepass(path, a, np, l, pd, keep, ci, g);
        if (keep) pd.count = 0;
        if (transform) {
            // e(j) = g(j) / h, then e(j) - hh u(j): the update of this step
            double f = 0;
            for (int j = 0; j < l; ++j) {
                g[j] = g[j] / h;
                f = f + g[j] * ci[j];
            }
            double hh = f / (h + h);
            for (int j = 0; j < l; ++j) g[j] = g[j] - hh * ci[j];
            double* u = w + size_t(i) * np;
            double* uh = w + size_t(n - 1 - i) * np + (n - i);
            for (int j = 0; j < l; ++j) {
                u[j] = ci[j];
                uh[j] = ci[j] / h;
                ci[j] = g[j];
            }
            pu = u;
            pq = ci;
            pd.u[pd.count] = pu;
            pd.q[pd.count] = pq;
            pd.count = pd.count + 1;
        } else {
            pu = nullptr;
            pq = nullptr;
        }
        d[i] = h;
        tick(prog, "reduction", sharereduce * double(i) * i / reducework);
    }
    w[0] = a[0];

    // Accumulation of the transformations, on their transpose, block of
    // rows by block of rows (see accumblock).  Row r is e(r) at step r;
    // the steps before the whole block takes part are made row by row.
    // Each block lives in a strip of its own, its m rows stored by columns
    // with leading dimension m, so that it spans few pages; the strips fill
    // the first n x n elements of a, whose content is no longer needed.
    // The threads take the blocks in turn, the first (the longest) first.
    // Then the strips are copied, transposed, into the work matrix, and
    // from there into a; the rows of a below n, which the strips may have
    // covered, wait in those of the work matrix meanwhile.
    d[0] = 0;
    e[0] = 0;
    const steps st{w, d, n, np};
    const int rows = pathwidth(path) * accumvecs;
    const int nblocks = (n + rows - 1) / rows;
    auto strip = [=](int b) { return a + size_t(b) * rows * size_t(n); };
    if (np > n)
        for (int k = 0; k < n; ++k)
            std::memcpy(w + size_t(k) * np + n, a + size_t(k) * np + n, size_t(np - n) * sizeof(double));
    // Row r takes the steps from r on, about n^2 - r^2 in all.
    double accumwork = 0;
    for (int r = 0; r < n; ++r) accumwork = accumwork + (double(n) * n - double(r) * r);
    auto block = [&](int b) {
        double g[maxblockrows];
        int r0 = b * rows;
        int m = n - r0 < rows ? n - r0 : rows;
        double* x = strip(b);
        for (int k = 0; k < n; ++k)
            for (int t = 0; t < m; ++t) x[t + size_t(k) * m] = r0 + t == k ? 1 : 0;
        for (int i = st.from(r0 + 1); i < r0 + m; i = st.from(i + 1)) {
            stepsums(x, m, i - r0, i, st.u(i), g);
            stepupdate(x, m, i - r0, i, st.uh(i), g);
        }
        if (m < rows)
            accumrows(x, m, m, r0 + m, st);
        else
            onpath<accumulation>(path, x, m, r0 + m, st);
        tick(prog, "accumulation", shareaccum * m * (double(n) * n - double(r0) * r0) / accumwork);
    };
    const int p = shares(n, nblocks);
    share(p, nblocks, block);
    for (int k = 0; k < n; ++k) d[k] = w[k + size_t(k) * np];

    // Column r of the transformation is row r of the transpose.
    auto unstrip = [&](int b) {
        int r0 = b * rows;
        int m = n - r0 < rows ? n - r0 : rows;
        const double* x = strip(b);
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < m; ++j) w[k + size_t(r0 + j) * np] = x[j + size_t(k) * m];
    };
    share(p, nblocks, unstrip);
    const int pc = pieces(p);
    auto copy = [&](int t) {
        for (int r = split(n, pc, t, 1); r < split(n, pc, t + 1, 1); ++r)
            std::memcpy(a + size_t(r) * np, w + size_t(r) * np, size_t(np) * sizeof(double));
    };
    share(p, pc, copy);
}

void tred2(double* a, int n, int np, double* d, double* e, double* w)
{
    tred2(a, n, np, d, e, w, bestpath());
}

// tqli
//   d  (in,out) n elements: the diagonal from tred2; on return the
//               eigenvalues, in no particular order.
//   e  (in)     n elements: the sub-diagonal from tred2 (e(i) couples rows
//               i-1 and i); destroyed.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of z and w.
//   z  (in,out) np x n; the transformation from tred2; on return column k is
//               the unit eigenvector of eigenvalue k.
//   w  (work)   np x n: the recorded rotations; its content means nothing.
//   path (in)   path_avx512, path_avx2 or path_base (the default:
//               bestpath()).
//   prog (in,out) as for tred2.
// Throws runstop{0, "Too many iterations in TQLI"} when an eigenvalue needs
// more than maxiter iterations; z then holds every rotation made before.
void tqli(double* d, double* e, int n, int np, double* z, double* w, int path, progress* prog)
{
    auto D = [=](int i) -> double& { return d[i - 1]; };
    auto E = [=](int i) -> double& { return e[i - 1]; };

    if (n <= 1) return;

    // The record of a batch of sweeps: at most cap doubles, never less than
    // one sweep of n - 1 rotations.
    size_t cap = size_t(np) * size_t(n);
    size_t want = size_t(batchsize) > size_t(2 * n) ? size_t(batchsize) : size_t(2 * n);
    if (cap > want) cap = want;
    double* rec = w;
    // The rows of z are independent: the threads share them, in pieces of
    // whole blocks of the rotations' kernel.
    const int blockrows = blockvecs * pathwidth(path);
    const int p = shares(n, (n + blockrows - 1) / blockrows);
    const int pc = pieces(p);
    auto flush = [&]() {
        if (rec == w) return;
        auto rows = [&](int t) {
            int r0 = split(n, pc, t, blockrows), r1 = split(n, pc, t + 1, blockrows);
            onpath<rotate>(path, z + r0, r1 - r0, np, w, rec);
        };
        share(p, pc, rows);
        rec = w;
    };

    // Renumber the sub-diagonal: e(i) now couples rows i and i+1.
    for (int i = 2; i <= n; ++i) E(i - 1) = E(i);
    E(n) = 0;

    for (int l = 1; l <= n; ++l) {
        int iter = 0;
        for (;;) {
            // Look for a negligible sub-diagonal element to split the matrix.
            int m = l;
            while (m <= n - 1 && !(std::fabs(E(m)) < tolerance)) ++m;
            if (m == l) break;
            if (iter == maxiter) {
                flush();
                throw runstop{0, "Too many iterations in TQLI"};
            }
            iter = iter + 1;

            // Shift from the leading 2 x 2 block.
            double g = (D(l + 1) - D(l)) / (2.0 * E(l));
            double r = std::sqrt(g * g + 1.0);
            if (g >= 0)
                g = D(m) - D(l) + E(l) / (g + r);
            else
                g = D(m) - D(l) + E(l) / (g - r);

            // Plane rotations from m-1 up to l, chasing the bulge; each is
            // recorded for columns i and i+1 (0-based i-1 and i).
            if (size_t(rec - w) + 2 + 2 * size_t(m - l) > cap) flush();
            rec[0] = m - 1;
            rec[1] = l - 1;
            rec += 2;
            double s = 1;
            double c = 1;
            double p = 0;
            for (int i = m - 1; i >= l; --i) {
                double f = s * E(i);
                double b = c * E(i);
                if (std::fabs(f) - std::fabs(g) > -tolerance) {
                    c = g / f;
                    r = std::sqrt(c * c + 1.0);
                    E(i + 1) = f * r;
                    s = 1.0 / r;
                    c = c * s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1.0);
                    E(i + 1) = g * r;
                    c = 1.0 / r;
                    s = s * c;
                }
                g = D(i + 1) - p;
                r = (D(i) - g) * s + 2.0 * c * b;
                p = s * r;
                D(i + 1) = g + p;
                g = c * r - b;
                rec[0] = c;
                rec[1] = s;
                rec += 2;
            }
            D(l) = D(l) - p;
            E(l) = g;
            E(m) = 0;
        }
        // Eigenvalue l's rotations reach rows l to n: about 2 (n - l) + 1
        // of the n^2 in all.
        tick(prog, "eigenvectors", sharerotate * (2.0 * (n - l) + 1) / (double(n) * n));
    }
    flush();
}

void tqli(double* d, double* e, int n, int np, double* z, double* w)
{
    tqli(d, e, n, np, z, w, bestpath());
}
