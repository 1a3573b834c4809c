// The plane rotations of tqli (tqli.cpp) applied to the transformation z.
//
// tqli computes its plane rotations from d and e alone, records them in
// the work matrix, and applies them to z block of rows by block of rows.
// Within a block a group of sweeps moves as a wave, chunk by chunk: sweep
// g rotates a few column pairs right after sweep g-1 has rotated those
// one column below, so that every column meets the same rotations in the
// same order as in the literal loops, while the few columns of the wave
// stay in the first-level cache.
//
// The kernels give the bits of the literal loops and reorder only
// independent work (see eigen.h).
#include "eigen.h"
#include "simd.h"
#include "vecpath.h"

namespace {

// Sweeps moving together as one wave, and the pairs each of them rotates
// before the next one follows.
const int maxwave = 64;
const int span = 64;

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

}  // namespace

// rotations: rotate (above) on the path.
void rotations(int path, double* z, int n, int np, const double* rec, const double* end)
{
    onpath<rotate>(path, z, n, np, rec, end);
}
