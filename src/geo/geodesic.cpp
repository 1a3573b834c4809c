// Geodesic distances on the WGS84 ellipsoid, and the pairs of sites within
// a limit, found among the neighbours of their unit normals.
#include "geodesic.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#ifdef LOCIWEAVER_GEOGRAPHICLIB
#include <GeographicLib/Geodesic.hpp>
#endif

#include "pcnm/pcnm.h"
#include "pcnm/threads.h"
#include "sites/limit.h"
#include "threshold/emst.h"

namespace {

// WGS84 in km: the equatorial radius and the flattening.  The radii of
// curvature of the ellipsoid lie from a (1 - f)^2 (the meridian at the
// equator) to a / (1 - f) (at the poles).
const double wgsa = 6378.137;
const double wgsf = 1 / 298.257223563;
const double smallradius = wgsa * (1 - wgsf) * (1 - wgsf);
const double largeradius = wgsa / (1 - wgsf);
const double pi = 3.14159265358979323846;
const double degree = pi / 180;

// The margins of the bounds: relative, and absolute (km or chord), far
// above the rounding of the unit normals and of the trigonometry.
const double relmargin = 1.0e-9;
const double chordmargin = 1.0e-12;
const double kmmargin = 1.0e-9;

// The smallest side of a cell of the unit normals: at most 2^20 cells
// along an axis, so that a cell's three indices fit in one 63-bit key.
const double smallestside = 1.0 / 524288.0;
const int keybits = 21;

// The cell key of indices (x, y, z).
uint64_t keyof(uint64_t x, uint64_t y, uint64_t z) { return (x << (2 * keybits)) | (y << keybits) | z; }

// The cell indices c (out, 3) of the unit normal u in cells of the side,
// from 1, kept from the ends of the key's range.
void cellof(const double* u, double side, uint64_t* c)
{
    const uint64_t top = (uint64_t(1) << keybits) - 2;
    for (int k = 0; k < 3; ++k) {
        double x = std::floor((u[k] + 1) / side);
        c[k] = x < 1 ? 1 : x > double(top) ? top : uint64_t(x) + 1;
    }
}

// Whether the unit normal u is within the grid's chord of that of its
// entry at: a pair within the limit always is, so the others need no
// geodesic.
bool chordnear(const normalgrid& g, const double* u, size_t at)
{
    const double* v = &g.u[at * 3];
    const double x = u[0] - v[0], y = u[1] - v[1], z = u[2] - v[2];
    return x * x + y * y + z * z <= g.chord * g.chord;
}

// nearby: the pairs of the first n sites within the scaled limit, with
//   their geodesic distances: for site i (from 0), its partners j > i (from
//   0) nb[start[i] .. start[i + 1] - 1] in increasing order, at distances
//   dist.  Throws std::bad_alloc.
void nearby(int n, int ld, const double* ll, double scaled, std::vector<long>& start, std::vector<int>& nb,
            std::vector<double>& dist)
{
    normalgrid g;
    normalsof(n, ld, ll, scaled, g);
    // Each site's partners after it, from the 27 cells around its own,
    // each measured on the ellipsoid.
    start.assign(1, 0);
    nb.clear();
    dist.clear();
    std::vector<std::pair<int, double>> row;
    for (int i = 0; i < n; ++i) {
        row.clear();
        double u[3];
        uint64_t c[3];
        unitvec(ll[i], ll[size_t(i) + size_t(ld)], u);
        cellof(u, g.side, c);
        for (uint64_t x = c[0] - 1; x <= c[0] + 1; ++x)
            for (uint64_t y = c[1] - 1; y <= c[1] + 1; ++y)
                for (uint64_t z = c[2] - 1; z <= c[2] + 1; ++z) {
                    uint64_t k = keyof(x, y, z);
                    auto from = std::lower_bound(g.sorted.begin(), g.sorted.end(), k);
                    for (auto at = from; at != g.sorted.end() && *at == k; ++at) {
                        int j = g.order[size_t(at - g.sorted.begin())];
                        if (j <= i || !chordnear(g, u, size_t(at - g.sorted.begin()))) continue;
                        double d = geodist(ll[i], ll[size_t(i) + size_t(ld)], ll[j], ll[size_t(j) + size_t(ld)]);
                        if (within(d, scaled)) row.emplace_back(j, d);
                    }
                }
        std::sort(row.begin(), row.end(), [](const std::pair<int, double>& a, const std::pair<int, double>& b) {
            return a.first < b.first;
        });
        for (const auto& r : row) {
            nb.push_back(r.first);
            dist.push_back(r.second);
        }
        start.push_back(long(nb.size()));
    }
}

// The root of the set of site i, the paths halved on the way.
int root(std::vector<int>& up, int i)
{
    while (up[size_t(i)] != i) {
        up[size_t(i)] = up[size_t(up[size_t(i)])];
        i = up[size_t(i)];
    }
    return i;
}

}  // namespace

#ifdef LOCIWEAVER_GEOGRAPHICLIB
bool geoavailable() { return true; }

double geodist(double lon1, double lat1, double lon2, double lat2)
{
    double s12 = 0;
    GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12);
    return s12 / 1000;
}
#else
bool geoavailable() { return false; }

double geodist(double, double, double, double) { return std::nan(""); }
#endif

const char* const geomissing =
    "this build has no geodesic distances (GeographicLib): longitude and latitude cannot be used";

// unitvec
//   lon, lat (in) degrees.  u (out) 3 doubles, x toward longitude 0 on the
//   equator, z toward the north pole.
void unitvec(double lon, double lat, double* u)
{
    double cl = std::cos(lat * degree);
    u[0] = cl * std::cos(lon * degree);
    u[1] = cl * std::sin(lon * degree);
    u[2] = std::sin(lat * degree);
}

// chordof
//   km (in) a geodesic distance.  Returns the chord bound, with margins.
double chordof(double km)
{
    if (!(km > 0)) return 0;
    double angle = km / smallradius;
    if (angle >= pi) return 2 + chordmargin;
    double chord = 2 * std::sin(angle / 2);
    return chord * (1 + relmargin) + chordmargin;
}

// kmof
//   chord (in) a chord between unit normals.  Returns the distance bound.
double kmof(double chord)
{
    double half = chord / 2;
    double angle = 2 * std::asin(half < 1 ? (half > 0 ? half : 0) : 1);
    return largeradius * angle * (1 + relmargin) + kmmargin;
}

// geopairs
//   n, ld, ll (in) the sites.  scaled (in) the limit, km plus the margin.
//   p (out) the pairs (objects from 1) and their weights.
void geopairs(int n, int ld, const double* ll, double scaled, pairs& p)
{
    std::vector<long> start;
    std::vector<int> nb;
    std::vector<double> dist;
    nearby(n, ld, ll, scaled, start, nb, dist);
    const double four = multiplier * scaled;
    p.start = start;
    p.nb.resize(nb.size());
    p.w.resize(nb.size());
    for (size_t k = 0; k < nb.size(); ++k) {
        p.nb[k] = nb[k] + 1;
        p.w[k] = pairweight(dist[k], four);
    }
}

// normalsof
//   n, ld, ll (in) the sites.  scaled (in) the limit, km plus the margin.
//   g (out) their grid of cells.
void normalsof(int n, int ld, const double* ll, double scaled, normalgrid& g)
{
    g.side = std::max(chordof(scaled), smallestside);
    std::vector<uint64_t> key(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double u[3];
        uint64_t c[3];
        unitvec(ll[i], ll[size_t(i) + size_t(ld)], u);
        cellof(u, g.side, c);
        key[size_t(i)] = keyof(c[0], c[1], c[2]);
    }
    // The sites in the order of their keys (of their numbers within a cell).
    g.order.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) g.order[size_t(i)] = i;
    std::sort(g.order.begin(), g.order.end(), [&](int a, int b) {
        return key[size_t(a)] != key[size_t(b)] ? key[size_t(a)] < key[size_t(b)] : a < b;
    });
    g.sorted.resize(static_cast<size_t>(n));
    g.u.resize(size_t(n) * 3);
    for (int i = 0; i < n; ++i) {
        g.sorted[size_t(i)] = key[size_t(g.order[size_t(i)])];
        const int j = g.order[size_t(i)];
        unitvec(ll[j], ll[size_t(j) + size_t(ld)], &g.u[size_t(i) * 3]);
    }
    g.chord = chordof(scaled);
}

// geonearof
//   g, ld, ll (in) the sites and their grid.  lon, lat (in) the place.
//   scaled (in) the limit of the grid.  nb, dist (in,out) appended to.
void geonearof(const normalgrid& g, int ld, const double* ll, double lon, double lat, double scaled,
               std::vector<int>& nb, std::vector<double>& dist)
{
    double u[3];
    uint64_t c[3];
    unitvec(lon, lat, u);
    cellof(u, g.side, c);
    const size_t from = nb.size();
    for (uint64_t x = c[0] - 1; x <= c[0] + 1; ++x)
        for (uint64_t y = c[1] - 1; y <= c[1] + 1; ++y)
            for (uint64_t z = c[2] - 1; z <= c[2] + 1; ++z) {
                uint64_t k = keyof(x, y, z);
                for (auto at = std::lower_bound(g.sorted.begin(), g.sorted.end(), k);
                     at != g.sorted.end() && *at == k; ++at) {
                    if (!chordnear(g, u, size_t(at - g.sorted.begin()))) continue;
                    int i = g.order[size_t(at - g.sorted.begin())];
                    double d = geodist(lon, lat, ll[i], ll[size_t(i) + size_t(ld)]);
                    if (within(d, scaled)) {
                        nb.push_back(i);
                        dist.push_back(d);
                    }
                }
            }
    // In increasing order of the sites, the distances with them.
    std::vector<size_t> idx(nb.size() - from);
    for (size_t q = 0; q < idx.size(); ++q) idx[q] = from + q;
    std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return nb[a] < nb[b]; });
    std::vector<int> n2(idx.size());
    std::vector<double> d2(idx.size());
    for (size_t q = 0; q < idx.size(); ++q) {
        n2[q] = nb[idx[q]];
        d2[q] = dist[idx[q]];
    }
    std::copy(n2.begin(), n2.end(), nb.begin() + long(from));
    std::copy(d2.begin(), d2.end(), dist.begin() + long(from));
}

// geonearlist
//   g, ld, ll (in) the sites and their grid.  m, y, ldy (in) the places.
//   scaled (in) the limit.  start, nb, dist (out) the lists.
void geonearlist(const normalgrid& g, int ld, const double* ll, int m, const double* y, int ldy, double scaled,
                 std::vector<long>& start, std::vector<int>& nb, std::vector<double>& dist)
{
    // The threads share the places in parts, each part's lists its own,
    // joined in the order of the parts.
    const int p = shares(m, m), parts = pieces(p);
    std::vector<std::vector<int>> pnb(static_cast<size_t>(parts));
    std::vector<std::vector<double>> pdist(static_cast<size_t>(parts));
    std::vector<std::vector<long>> pcount(static_cast<size_t>(parts));
    std::vector<char> failed(static_cast<size_t>(parts), 0);
    auto job = [&](int t) {
        try {
            for (int o = split(m, parts, t, 1), end = split(m, parts, t + 1, 1); o < end; ++o) {
                geonearof(g, ld, ll, y[o], y[size_t(o) + size_t(ldy)], scaled, pnb[size_t(t)], pdist[size_t(t)]);
                pcount[size_t(t)].push_back(long(pnb[size_t(t)].size()));
            }
        } catch (const std::bad_alloc&) {
            failed[size_t(t)] = 1;
        }
    };
    share(p, parts, job);
    for (char f : failed)
        if (f) throw std::bad_alloc();
    start.assign(1, 0);
    nb.clear();
    dist.clear();
    for (int t = 0; t < parts; ++t) {
        const long at = long(nb.size());
        for (long c : pcount[size_t(t)]) start.push_back(at + c);
        nb.insert(nb.end(), pnb[size_t(t)].begin(), pnb[size_t(t)].end());
        dist.insert(dist.end(), pdist[size_t(t)].begin(), pdist[size_t(t)].end());
    }
}

// geodistances
//   ntot, ld, ll (in) the sites.  ldd (in) the leading dimension of d.
//   d (out) the lower triangle.
void geodistances(int ntot, int ld, const double* ll, int ldd, double* d)
{
    int p = shares(ntot, ntot - 1), pc = pieces(p);
    auto columns = [&](int part) {
        for (int i = part; i < ntot - 1; i += pc)
            for (int j = i + 1; j < ntot; ++j)
                d[size_t(j) + size_t(i) * size_t(ldd)] =
                    geodist(ll[i], ll[size_t(i) + size_t(ld)], ll[j], ll[size_t(j) + size_t(ld)]);
    };
    share(p, pc, columns);
}

// geotree
//   ntot, ld, ll (in) the sites.  a, b, len (out) the longest edge.
void geotree(int ntot, int ld, const double* ll, int& a, int& b, double& len)
{
    std::vector<double> u(size_t(ntot) * 3), v(size_t(ntot) * 3);
    for (int i = 0; i < ntot; ++i) {
        unitvec(ll[i], ll[size_t(i) + size_t(ld)], &u[size_t(i) * 3]);
        for (int k = 0; k < 3; ++k) v[size_t(i) + size_t(k) * size_t(ntot)] = u[size_t(i) * 3 + size_t(k)];
    }
    int from = 0;
    double chord = 0;
    longest(ntot, 3, size_t(ntot), v.data(), from, chord);
    double r = kmof(chord);
    std::vector<long> start;
    std::vector<int> nb;
    std::vector<double> dist;
    for (;;) {
        nearby(ntot, ld, ll, r, start, nb, dist);
        // The pairs by increasing distance, then sites.
        std::vector<long> edge(nb.size());
        std::vector<int> first(nb.size());
        for (int i = 0; i < ntot; ++i)
            for (long k = start[size_t(i)]; k < start[size_t(i) + 1]; ++k) first[size_t(k)] = i;
        for (size_t k = 0; k < edge.size(); ++k) edge[k] = long(k);
        std::sort(edge.begin(), edge.end(), [&](long x, long y) {
            if (dist[size_t(x)] != dist[size_t(y)]) return dist[size_t(x)] < dist[size_t(y)];
            if (first[size_t(x)] != first[size_t(y)]) return first[size_t(x)] < first[size_t(y)];
            return nb[size_t(x)] < nb[size_t(y)];
        });
        // Kruskal's method: each pair that joins two sets, in that order.
        std::vector<int> up(static_cast<size_t>(ntot));
        for (int i = 0; i < ntot; ++i) up[size_t(i)] = i;
        int joined = 0;
        a = b = 0;
        len = 0;
        for (long k : edge) {
            int i = first[size_t(k)], j = nb[size_t(k)];
            int ri = root(up, i), rj = root(up, j);
            if (ri == rj) continue;
            up[size_t(ri > rj ? ri : rj)] = ri > rj ? rj : ri;
            a = i + 1;
            b = j + 1;
            len = dist[size_t(k)];
            if (++joined == ntot - 1) return;
        }
        // Beyond half the way round every pair is within r.
        if (r > pi * largeradius) return;
        r = 2 * r;
    }
}
