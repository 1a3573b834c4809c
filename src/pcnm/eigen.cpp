// Symmetric eigen-solver: Householder reduction to tridiagonal form (tred2)
// and QL with implicit shifts (tqli).  Every negligibility test is absolute,
// against the single-precision tolerance.
//
// The kernels give the bits of the literal loops (kept in the test tree)
// while reordering only independent work:
// - tred2 keeps the active block as a full symmetric matrix, each element
//   of the upper triangle computed with the formula of its lower twin, so
//   that every row it reads is a column; one pass over the block applies
//   the rank-2 update of one step and accumulates the matrix-vector product
//   of the next, with the sums g(j) independent across j and each taking
//   its terms in increasing k.  The accumulation of the transformation runs
//   on the transpose in the work matrix, for the same reason.
// - tqli computes its plane rotations from d and e alone, records them in
//   the work matrix, and applies a batch of sweeps to z block of rows by
//   block of rows: every row meets the same rotations in the same order.
// Vectors of four doubles run across rows or across independent sums; the
// AVX2 path and the baseline path compute the same operations.
#include <cmath>
#include <cstring>

#include "pcnm.h"
#include "simd.h"

namespace {

// QL iterations allowed for one eigenvalue.
const int maxiter = 50;

// Rotations recorded before a batch is applied, as doubles: a batch of
// half a megabyte stays in the second-level cache while it is applied to
// every block of rows.
const int batchsize = 1 << 16;

// Rows of z moved through one batch at a time.
const int rowblock = 16;

// Square tiles of the transposing copies.
const int tile = 32;

// ---------------------------------------------------------------------------
// Copies between the triangles, tile by tile.

// mirror: a(j, k) = a(k, j) for j < k <= n, the upper triangle from the
//   lower (a np x n).
void mirror(double* a, int n, int np)
{
    for (int k0 = 0; k0 < n; k0 += tile) {
        int k1 = k0 + tile < n ? k0 + tile : n;
        for (int j0 = 0; j0 <= k0; j0 += tile) {
            int j1 = j0 + tile < n ? j0 + tile : n;
            for (int k = k0; k < k1; ++k)
                for (int j = j0; j < j1 && j < k; ++j) a[j + size_t(k) * np] = a[k + size_t(j) * np];
        }
    }
}

// transpose: b(j, k) = a(k, j) for the n x n blocks of a and b (both np
//   rows); a and b are separate.
void transpose(const double* a, double* b, int n, int np)
{
    for (int k0 = 0; k0 < n; k0 += tile) {
        int k1 = k0 + tile < n ? k0 + tile : n;
        for (int j0 = 0; j0 < n; j0 += tile) {
            int j1 = j0 + tile < n ? j0 + tile : n;
            for (int k = k0; k < k1; ++k)
                for (int j = j0; j < j1; ++j) b[j + size_t(k) * np] = a[k + size_t(j) * np];
        }
    }
}

// ---------------------------------------------------------------------------
// Vector kernels, compiled once for each path through the wrappers below.

// update: the rank-2 update of column k of the symmetric block, rows
//   0..m-1, by the step whose Householder vector is u and whose e after the
//   update of e is q (both m elements), uk = u(k), qk = q(k).  The rows
//   above split are upper twins: (c - q(r) uk) - u(r) qk, the formula of
//   the lower element (k, r); the rows from split on are lower elements:
//   (c - u(r) qk) - q(r) uk.  When acc is set, g(r) = g(r) + c(r) hk with
//   the updated c(r), for r < mg (mg <= m).
inline __attribute__((always_inline)) void update(double* c, int split, int m, const double* u,
                                                  const double* q, double uk, double qk,
                                                  bool acc, double* g, int mg, double hk)
{
    const v4 vu = {uk, uk, uk, uk};
    const v4 vq = {qk, qk, qk, qk};
    const v4 vh = {hk, hk, hk, hk};
    int r = 0;
    if (!acc) {
        for (; r + 4 <= split; r += 4) at4(c + r) = (at4(c + r) - at4(q + r) * vu) - at4(u + r) * vq;
        for (; r < split; ++r) c[r] = (c[r] - q[r] * uk) - u[r] * qk;
        for (; r + 4 <= m; r += 4) at4(c + r) = (at4(c + r) - at4(u + r) * vq) - at4(q + r) * vu;
        for (; r < m; ++r) c[r] = (c[r] - u[r] * qk) - q[r] * uk;
        return;
    }
    // split < mg <= m: the rows below mg are updated without accumulation
    for (; r + 4 <= split; r += 4) {
        v4 x = (at4(c + r) - at4(q + r) * vu) - at4(u + r) * vq;
        at4(c + r) = x;
        at4(g + r) = at4(g + r) + x * vh;
    }
    for (; r < split; ++r) {
        double x = (c[r] - q[r] * uk) - u[r] * qk;
        c[r] = x;
        g[r] = g[r] + x * hk;
    }
    for (; r + 4 <= mg; r += 4) {
        v4 x = (at4(c + r) - at4(u + r) * vq) - at4(q + r) * vu;
        at4(c + r) = x;
        at4(g + r) = at4(g + r) + x * vh;
    }
    for (; r < mg; ++r) {
        double x = (c[r] - u[r] * qk) - q[r] * uk;
        c[r] = x;
        g[r] = g[r] + x * hk;
    }
    for (; r < m; ++r) c[r] = (c[r] - u[r] * qk) - q[r] * uk;
}

// axpy: g(r) = g(r) + c(r) hk, r = 0..m-1.
inline __attribute__((always_inline)) void axpy(double* g, const double* c, int m, double hk)
{
    const v4 vh = {hk, hk, hk, hk};
    int r = 0;
    for (; r + 4 <= m; r += 4) at4(g + r) = at4(g + r) + at4(c + r) * vh;
    for (; r < m; ++r) g[r] = g[r] + c[r] * hk;
}

// axmy: c(r) = c(r) - g(r) wk, r = 0..m-1.
inline __attribute__((always_inline)) void axmy(double* c, const double* g, int m, double wk)
{
    const v4 vw = {wk, wk, wk, wk};
    int r = 0;
    for (; r + 4 <= m; r += 4) at4(c + r) = at4(c + r) - at4(g + r) * vw;
    for (; r < m; ++r) c[r] = c[r] - g[r] * wk;
}

// reducepass: one step of the reduction over the active block, columns
//   0..l-1 of a (leading dimension np).
//   When pu is not null: the rank-2 update of the previous step (vector pu,
//   updated e pq, l + 1 elements each, the last of them being row l) for
//   rows 0..l-1 of each column.
//   When g is not null: g(r) += a(r, k) ui(k) over rows 0..l-1 in
//   increasing k, g starting from 0, and a(l, k) = ui(k) / h (row l keeps
//   the Householder vector divided by h).
inline __attribute__((always_inline)) void reducepass(double* a, int np, int l, const double* pu,
                                                      const double* pq, const double* ui,
                                                      double h, double* g)
{
    if (g)
        for (int r = 0; r < l; ++r) g[r] = 0;
    for (int k = 0; k < l; ++k) {
        double* c = a + size_t(k) * np;
        if (pu)
            update(c, k, l, pu, pq, pu[k], pq[k], g != nullptr, g, l, g ? ui[k] : 0);
        else if (g)
            axpy(g, c, l, ui[k]);
        if (g) c[l] = ui[k] / h;
    }
}

// accumulate: one step of the accumulation on the transpose zt (leading
//   dimension np), rows and columns 0..l-1: g(r) = sum over k of u(k)
//   zt(r, k), then zt(r, k) = zt(r, k) - g(r) w(k), where u(k) is uk[k]
//   and w(k) is wk[k * np].  g: l elements, overwritten.
inline __attribute__((always_inline)) void accumulate(double* zt, int np, int l, const double* uk,
                                                      const double* wk, double* g)
{
    for (int r = 0; r < l; ++r) g[r] = 0;
    for (int k = 0; k < l; ++k) axpy(g, zt + size_t(k) * np, l, uk[k]);
    for (int k = 0; k < l; ++k) axmy(zt + size_t(k) * np, g, l, wk[size_t(k) * np]);
}

// sweeps: applies the recorded sweeps to rows 0..m-1 of z (leading
//   dimension np), from row 0; m is rowblock, 4 or 1.  A sweep is recorded
//   as its top column t, its bottom column b, then c and s of each
//   rotation from the pair (t-1, t) down to the pair (b, b+1); the end of
//   the record is at end.  A rotation of the pair (i, i+1) sets
//   z(i+1) = s z(i) + c z(i+1) and z(i) = c z(i) - s z(i+1) (old values).
inline __attribute__((always_inline)) void sweeps4(double* z, int np, const double* rec,
                                                   const double* end)
{
    while (rec < end) {
        int t = int(rec[0]);
        int b = int(rec[1]);
        rec += 2;
        v4 f = at4(z + size_t(t) * np);
        for (int i = t - 1; i >= b; --i) {
            const v4 vc = {rec[0], rec[0], rec[0], rec[0]};
            const v4 vs = {rec[1], rec[1], rec[1], rec[1]};
            rec += 2;
            double* p = z + size_t(i) * np;
            v4 zi = at4(p);
            at4(p + np) = vs * zi + vc * f;
            f = vc * zi - vs * f;
        }
        at4(z + size_t(b) * np) = f;
    }
}

inline __attribute__((always_inline)) void sweeps16(double* z, int np, const double* rec,
                                                    const double* end)
{
    while (rec < end) {
        int t = int(rec[0]);
        int b = int(rec[1]);
        rec += 2;
        double* p = z + size_t(t) * np;
        v4 f0 = at4(p), f1 = at4(p + 4), f2 = at4(p + 8), f3 = at4(p + 12);
        for (int i = t - 1; i >= b; --i) {
            const v4 vc = {rec[0], rec[0], rec[0], rec[0]};
            const v4 vs = {rec[1], rec[1], rec[1], rec[1]};
            rec += 2;
            p = z + size_t(i) * np;
            v4 z0 = at4(p), z1 = at4(p + 4), z2 = at4(p + 8), z3 = at4(p + 12);
            double* o = p + np;
            at4(o) = vs * z0 + vc * f0;
            at4(o + 4) = vs * z1 + vc * f1;
            at4(o + 8) = vs * z2 + vc * f2;
            at4(o + 12) = vs * z3 + vc * f3;
            f0 = vc * z0 - vs * f0;
            f1 = vc * z1 - vs * f1;
            f2 = vc * z2 - vs * f2;
            f3 = vc * z3 - vs * f3;
        }
        p = z + size_t(b) * np;
        at4(p) = f0;
        at4(p + 4) = f1;
        at4(p + 8) = f2;
        at4(p + 12) = f3;
    }
}

inline __attribute__((always_inline)) void sweeps1(double* z, int np, const double* rec,
                                                   const double* end)
{
    while (rec < end) {
        int t = int(rec[0]);
        int b = int(rec[1]);
        rec += 2;
        double f = z[size_t(t) * np];
        for (int i = t - 1; i >= b; --i) {
            double c = rec[0], s = rec[1];
            rec += 2;
            double* p = z + size_t(i) * np;
            double zi = *p;
            p[np] = s * zi + c * f;
            f = c * zi - s * f;
        }
        z[size_t(b) * np] = f;
    }
}

// rotate: the recorded sweeps rec..end applied to all n rows of z.
inline __attribute__((always_inline)) void rotate(double* z, int n, int np, const double* rec,
                                                  const double* end)
{
    int r = 0;
    for (; r + rowblock <= n; r += rowblock) sweeps16(z + r, np, rec, end);
    for (; r + 4 <= n; r += 4) sweeps4(z + r, np, rec, end);
    for (; r < n; ++r) sweeps1(z + r, np, rec, end);
}

// The two compilations of each kernel.

__attribute__((target("avx2"))) void reducepass_avx2(double* a, int np, int l, const double* pu,
                                                     const double* pq, const double* ui, double h,
                                                     double* g)
{
    reducepass(a, np, l, pu, pq, ui, h, g);
}

void reducepass_base(double* a, int np, int l, const double* pu, const double* pq,
                     const double* ui, double h, double* g)
{
    reducepass(a, np, l, pu, pq, ui, h, g);
}

__attribute__((target("avx2"))) void update_avx2(double* c, int m, const double* u,
                                                 const double* q, double uk, double qk)
{
    update(c, m, m, u, q, uk, qk, false, nullptr, 0, 0);
}

void update_base(double* c, int m, const double* u, const double* q, double uk, double qk)
{
    update(c, m, m, u, q, uk, qk, false, nullptr, 0, 0);
}

__attribute__((target("avx2"))) void accumulate_avx2(double* zt, int np, int l, const double* uk,
                                                     const double* wk, double* g)
{
    accumulate(zt, np, l, uk, wk, g);
}

void accumulate_base(double* zt, int np, int l, const double* uk, const double* wk, double* g)
{
    accumulate(zt, np, l, uk, wk, g);
}

__attribute__((target("avx2"))) void rotate_avx2(double* z, int n, int np, const double* rec,
                                                 const double* end)
{
    rotate(z, n, np, rec, end);
}

void rotate_base(double* z, int n, int np, const double* rec, const double* end)
{
    rotate(z, n, np, rec, end);
}

}  // namespace

int bestpath() { return __builtin_cpu_supports("avx2") ? path_avx2 : path_base; }

// tred2
//   a  (in,out) np x n; on entry the symmetric matrix (diagonal and lower
//               triangle read, upper triangle overwritten); on return the
//               orthogonal transformation that reduces it.
//   n  (in)     order of the matrix, 1 <= n <= np.
//   np (in)     leading dimension of a and w.
//   d  (out)    n elements: the diagonal of the tridiagonal matrix.
//   e  (out)    n elements: e(i) = element (i, i-1) for i = 2..n; e(1) = 0.
//   w  (work)   np x n; its content on return means nothing.
//   path (in)   path_avx2 or path_base (the default: bestpath()).
void tred2(double* a, int n, int np, double* d, double* e, double* w, int path)
{
    const bool wide = path == path_avx2;
    auto col = [=](int k) { return a + size_t(k) * np; };

    // The active block as a full symmetric matrix.
    mirror(a, n, np);

    // Reduction, from the last row.  Step i (0-based) works on column i,
    // the mirror of row i: it applies the pending update of step i+1 to it,
    // finds the Householder vector u (kept in column i, rows 0..i-1), and
    // in one pass over the block below applies the pending update and
    // accumulates g = block times u.  The Householder vector divided by h
    // goes to row i.  Two columns of w hold g and the pending updated e.
    double* gbuf[2] = {w, n > 1 ? w + np : w};
    int next = 0;
    const double* pu = nullptr;  // pending update: vector and updated e
    const double* pq = nullptr;
    for (int i = n - 1; i >= 1; --i) {
        int l = i;
        double* ci = col(i);
        if (pu) {
            if (wide)
                update_avx2(ci, i + 1, pu, pq, pu[i], pq[i]);
            else
                update_base(ci, i + 1, pu, pq, pu[i], pq[i]);
        }
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
        double* g = transform ? gbuf[next] : nullptr;
        if (pu || g) {
            if (wide)
                reducepass_avx2(a, np, l, pu, pq, ci, h, g);
            else
                reducepass_base(a, np, l, pu, pq, ci, h, g);
        }
        if (transform) {
            // e(j) = g(j) / h, then e(j) - hh u(j): the update of the next pass
            double f = 0;
            for (int j = 0; j < l; ++j) {
                g[j] = g[j] / h;
                f = f + g[j] * ci[j];
            }
            double hh = f / (h + h);
            for (int j = 0; j < l; ++j) g[j] = g[j] - hh * ci[j];
            pu = ci;
            pq = g;
            next = 1 - next;
        } else {
            pu = nullptr;
            pq = nullptr;
        }
        d[i] = h;
    }

    // Accumulation of the transformations, on the transpose zt in w: zt(r, k)
    // is element (k, r) of the transformation.  Step i reads the vector u
    // from column i of a and u / h from row i; g goes to column i of w,
    // which the step then clears.
    d[0] = 0;
    e[0] = 0;
    for (int i = 0; i < n; ++i) {
        int l = i;
        double* wi = w + size_t(i) * np;
        if (std::fabs(d[i]) > tolerance) {
            if (wide)
                accumulate_avx2(w, np, l, col(i), a + i, wi);
            else
                accumulate_base(w, np, l, col(i), a + i, wi);
        }
        d[i] = col(i)[i];
        wi[i] = 1;
        for (int j = 0; j < l; ++j) {
            w[i + size_t(j) * np] = 0;
            wi[j] = 0;
        }
    }
    transpose(w, a, n, np);
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
//   path (in)   path_avx2 or path_base (the default: bestpath()).
// Throws runstop{0, "Too many iterations in TQLI"} when an eigenvalue needs
// more than maxiter iterations; z then holds every rotation made before.
void tqli(double* d, double* e, int n, int np, double* z, double* w, int path)
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
    auto flush = [&]() {
        if (rec == w) return;
        if (path == path_avx2)
            rotate_avx2(z, n, np, w, rec);
        else
            rotate_base(z, n, np, w, rec);
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
    }
    flush();
}

void tqli(double* d, double* e, int n, int np, double* z, double* w)
{
    tqli(d, e, n, np, z, w, bestpath());
}
