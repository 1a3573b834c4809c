// The order in which the solver holds the sites: along a curve through the
// plane (Hilbert's), so that the partners of neighbouring rows lie in
// neighbouring rows and the product's reads of them come from the caches.
#include <algorithm>
#include <cstdint>

#include "first.h"

namespace {

// The bits of each coordinate on the curve's grid.
const int gridbits = 16;

// cellof: the cell (0 .. 2^gridbits - 1) of the ranged coordinate v in
//   [lo, lo + span].
uint32_t cellof(double v, double lo, double span)
{
    const double top = double((1u << gridbits) - 1);
    double c = span > 0 ? (v - lo) / span * top : 0;
    return c < 0 ? 0u : c > top ? uint32_t(top) : uint32_t(c);
}

// hilbert: the distance along Hilbert's curve of the cell (x, y) of a
//   2^gridbits square.
uint64_t hilbert(uint32_t x, uint32_t y)
{
    const uint32_t side = 1u << gridbits;
    uint64_t d = 0;
    for (uint32_t s = side / 2; s > 0; s /= 2) {
        const uint32_t rx = (x & s) ? 1 : 0, ry = (y & s) ? 1 : 0;
        d += uint64_t(s) * s * ((3 * rx) ^ ry);
        if (ry == 0) {
            if (rx == 1) {
                x = side - 1 - x;
                y = side - 1 - y;
            }
            std::swap(x, y);
        }
    }
    return d;
}

// morton: the cells of three coordinates, their bits interleaved.
uint64_t morton(const uint32_t* c)
{
    uint64_t d = 0;
    for (int b = gridbits - 1; b >= 0; --b)
        for (int k = 0; k < 3; ++k) d = (d << 1) | ((c[k] >> b) & 1u);
    return d;
}

}  // namespace

// siteorder
//   ntot, ncoord, ld, xr (in) the ranged sites (ld rows, by columns).
//   site (out) ntot sites (from 0): row r of the solver holds site[r].
//   One coordinate: by its value; two: along Hilbert's curve; three: by
//   their interleaved bits; the lower site first among equal places.
void siteorder(int ntot, int ncoord, int ld, const double* xr, std::vector<int>& site)
{
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    const int nc = ncoord < 3 ? ncoord : 3;
    for (int k = 0; k < nc; ++k) {
        const double* x = xr + size_t(k) * size_t(ld);
        lo[k] = hi[k] = ntot > 0 ? x[0] : 0;
        for (int i = 1; i < ntot; ++i) {
            lo[k] = std::min(lo[k], x[i]);
            hi[k] = std::max(hi[k], x[i]);
        }
    }
    std::vector<std::pair<uint64_t, int>> key(static_cast<size_t>(ntot));
    for (int i = 0; i < ntot; ++i) {
        uint32_t c[3] = {0, 0, 0};
        for (int k = 0; k < nc; ++k) c[k] = cellof(xr[size_t(i) + size_t(k) * size_t(ld)], lo[k], hi[k] - lo[k]);
        uint64_t d = nc == 1 ? c[0] : nc == 2 ? hilbert(c[0], c[1]) : morton(c);
        key[size_t(i)] = {d, i};
    }
    std::sort(key.begin(), key.end());
    site.resize(size_t(ntot));
    for (int r = 0; r < ntot; ++r) site[size_t(r)] = key[size_t(r)].second;
}
