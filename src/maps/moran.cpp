// The pairs within the limit, through a grid of cells, and the Moran's I of
// the variables over them, with its moments and permutation p-values.
#include <cmath>
#include <random>

#include "maps.h"
#include "pcnm/pcnm.h"
#include "threshold/mst.h"

namespace {

// Cells are a little wider than the limit, so that the rounding of a
// coordinate over the side never puts two sites within the limit two cells
// apart; never more cells than this many per site.
const double cellmargin = 1.0e-6;
const double cellspersite = 2.0;

// Moran's I from the sum over the pairs of w z(i) z(j), the sum of the
// squares of z, the object count and the sum of all weights.
double moranof(double cross, double squares, int n, double s0)
{
    return double(n) / s0 * (2.0 * cross) / squares;
}

// A draw from 0 to m - 1, every value equally likely (m >= 1): the
// generator's output below the largest multiple of m, modulo m.
uint64_t draw(std::mt19937_64& g, uint64_t m)
{
    const uint64_t top = UINT64_MAX - UINT64_MAX % m;
    uint64_t r;
    do r = g();
    while (r >= top);
    return r % m;
}

}  // namespace

void findpairs(int n, int ncoord, int ld, const double* xr, double scaled, pairs& p)
{
    // The cell of each object on X and Y (0 for a transect).
    auto y = [&](int i) { return ncoord > 1 ? xr[size_t(i) + size_t(ld)] : 0.0; };
    double xmax = 0, ymax = 0;
    for (int i = 0; i < n; ++i) {
        xmax = std::fmax(xmax, xr[i]);
        ymax = std::fmax(ymax, y(i));
    }
    double side = scaled * (1 + cellmargin);
    while ((std::floor(xmax / side) + 1) * (std::floor(ymax / side) + 1) > cellspersite * n + 16) side *= 2;
    const long nx = long(std::floor(xmax / side)) + 1, ny = long(std::floor(ymax / side)) + 1;
    auto cellof = [&](double v, long m) {
        long c = long(std::floor(v / side));
        return c < 0 ? 0 : c >= m ? m - 1 : c;
    };
    std::vector<long> cx(static_cast<size_t>(n)), cy(static_cast<size_t>(n)), first(static_cast<size_t>(nx * ny + 1), 0);
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        cx[size_t(i)] = cellof(xr[i], nx);
        cy[size_t(i)] = cellof(y(i), ny);
        ++first[size_t(cy[size_t(i)] * nx + cx[size_t(i)] + 1)];
    }
    for (size_t c = 1; c < first.size(); ++c) first[c] += first[c - 1];
    std::vector<long> fill(first.begin(), first.end() - 1);
    for (int i = 0; i < n; ++i) order[size_t(fill[size_t(cy[size_t(i)] * nx + cx[size_t(i)])]++)] = i;

    // Each object's partners after it, from the nine cells around its own.
    p.start.assign(1, 0);
    p.nb.clear();
    p.w.clear();
    const double four = multiplier * scaled;
    for (int i = 0; i < n; ++i) {
        for (long b = cy[size_t(i)] - 1; b <= cy[size_t(i)] + 1; ++b)
            for (long a = cx[size_t(i)] - 1; a <= cx[size_t(i)] + 1; ++a) {
                if (a < 0 || b < 0 || a >= nx || b >= ny) continue;
                for (long at = first[size_t(b * nx + a)]; at < first[size_t(b * nx + a + 1)]; ++at) {
                    int j = order[size_t(at)];
                    if (j <= i) continue;
                    double d = std::sqrt(pairsum(i + 1, j + 1, ncoord, size_t(ld), xr));
                    if (!within(d, scaled)) continue;
                    p.nb.push_back(j + 1);
                    p.w.push_back(pairweight(d, four));
                }
            }
        p.start.push_back(long(p.nb.size()));
    }
}

void moments(const pairs& p, int n, double& s0, double& e, double& sd)
{
    // The weights' sums: S0 over ordered pairs, S1 and S2 for the variance.
    double s1 = 0, s2 = 0;
    s0 = 0;
    std::vector<double> row(size_t(n), 0.0);
    for (int i = 1; i <= n; ++i)
        for (long at = p.start[size_t(i - 1)]; at < p.start[size_t(i)]; ++at) {
            double w = p.w[size_t(at)];
            int j = p.nb[size_t(at)];
            s0 += 2 * w;
            s1 += 4 * w * w;
            row[size_t(i - 1)] += w;
            row[size_t(j - 1)] += w;
        }
    for (int i = 0; i < n; ++i) s2 += 4 * row[size_t(i)] * row[size_t(i)];
    const double nn = double(n) * n;
    e = -1.0 / (n - 1);
    const double var = (nn * s1 - n * s2 + 3 * s0 * s0) / ((nn - 1) * s0 * s0) - e * e;
    sd = var > 0 ? std::sqrt(var) : 0;
}

int moran(const pairs& p, const variables& v, moranstat* st)
{
    const int n = v.n, k = v.k;
    const size_t kk = size_t(k);
    // Centred values, and the sums of their squares.
    std::vector<double> z(v.v), squares(kk, 0.0), cross(kk, 0.0);
    for (int j = 0; j < k; ++j) {
        double sum = 0;
        for (int i = 0; i < n; ++i) sum += v.v[size_t(i) * kk + size_t(j)];
        double mean = sum / n;
        for (int i = 0; i < n; ++i) {
            double& c = z[size_t(i) * kk + size_t(j)];
            c = c - mean;
            squares[size_t(j)] += c * c;
        }
        if (!(squares[size_t(j)] > 0)) return j + 1;
    }
    for (int i = 1; i <= n; ++i)
        for (long at = p.start[size_t(i - 1)]; at < p.start[size_t(i)]; ++at) {
            double w = p.w[size_t(at)];
            int j = p.nb[size_t(at)];
            const double* zi = &z[size_t(i - 1) * kk];
            const double* zj = &z[size_t(j - 1) * kk];
            for (size_t c = 0; c < kk; ++c) cross[c] += w * zi[c] * zj[c];
        }
    double s0, e, sd;
    moments(p, n, s0, e, sd);
    for (int j = 0; j < k; ++j) {
        double i = moranof(cross[size_t(j)], squares[size_t(j)], n, s0);
        st[j] = moranstat{i, e, sd, sd > 0 ? (i - e) / sd : 0, -1};
    }
    return 0;
}

void permutations(const pairs& p, const variables& v, int nperm, uint64_t seed, moranstat* st)
{
    const int n = v.n, k = v.k;
    std::mt19937_64 g(seed);
    double s0 = 0;
    for (double w : p.w) s0 += 2 * w;
    std::vector<double> z(static_cast<size_t>(n)), zp(static_cast<size_t>(n));
    std::vector<int> perm(static_cast<size_t>(n));
    for (int j = 0; j < k; ++j) {
        double sum = 0, squares = 0;
        for (int i = 0; i < n; ++i) sum += v.v[size_t(i) * size_t(k) + size_t(j)];
        double mean = sum / n;
        for (int i = 0; i < n; ++i) {
            z[size_t(i)] = v.v[size_t(i) * size_t(k) + size_t(j)] - mean;
            squares += z[size_t(i)] * z[size_t(i)];
            perm[size_t(i)] = i;
        }
        long above = 0;
        for (int r = 0; r < nperm; ++r) {
            // Fisher and Yates: each place takes one of the values not yet placed.
            for (int i = n - 1; i > 0; --i) std::swap(perm[size_t(i)], perm[draw(g, uint64_t(i) + 1)]);
            for (int i = 0; i < n; ++i) zp[size_t(i)] = z[size_t(perm[size_t(i)])];
            double cross = 0;
            for (int i = 1; i <= n; ++i)
                for (long at = p.start[size_t(i - 1)]; at < p.start[size_t(i)]; ++at)
                    cross += p.w[size_t(at)] * zp[size_t(i - 1)] * zp[size_t(p.nb[size_t(at)] - 1)];
            if (moranof(cross, squares, n, s0) >= st[j].i) ++above;
        }
        st[j].p = double(above + 1) / double(nperm + 1);
    }
}
