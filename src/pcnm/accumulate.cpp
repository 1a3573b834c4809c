// The accumulation of the transformation of tred2 (tred2.cpp), from the
// steps of its reduction.
//
// The accumulation of the transformation runs on its transpose, whose
// rows are independent: a block of rows, in a strip of its own, goes
// through every step while it stays in the cache; one pass serves the
// update of one step and the sums of the next.  The Householder vectors
// wait in the work matrix, contiguous.  The threads share the blocks.
//
// The kernels give the bits of the literal loops and reorder only
// independent work (see eigen.h).
#include <cmath>
#include <cstring>

#include "eigen.h"
#include "simd.h"
#include "threads.h"
#include "vecpath.h"

namespace {

// Vectors of rows in one block of the accumulation (16 rows with AVX2, 32
// with AVX-512F): their sums and those of the next step stay in registers.
const int accumvecs = 4;
const int maxblockrows = 8 * accumvecs;

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

}  // namespace

// accumulate
//   a  (in,out) np x n; on return rows 1..n hold the orthogonal
//               transformation of the reduction (their content on entry
//               is not read), and rows n+1..np what they held on entry.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of a and w.
//   d  (in,out) n elements: h of each step of the reduction (see steps;
//               d(1) is not read); on return the diagonal of the
//               tridiagonal matrix.
//   e  (out)    e(1) = 0; the other elements are not touched.
//   w  (in,out) np x n: the steps as the reduction left them (see steps)
//               and the diagonal of the tridiagonal matrix on its own;
//               its content on return means nothing.
//   path (in)   path_avx512, path_avx2 or path_base.
//   prog (in,out) null, or the progress of the decomposition: each block
//               adds its share of the whole.
void accumulate(double* a, int n, int np, double* d, double* e, double* w, int path, progress* prog)
{
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
        if (stopped(prog)) return;
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
