// Tests of longitude and latitude: the geodesic distances against published
// values and exact ones, the check of a site, the bounds between geodesic
// distances and the chords of the unit normals, the pairs within a limit
// against all pairs, across the meridian of 180 degrees and at the poles,
// and the tree's limit against Prim's method over all geodesic distances.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geo/geodesic.h"
#include "pcnm/threads.h"

namespace {

using vec = std::vector<double>;

const double pi = 3.14159265358979323846;

// n sites at random on the globe (uniform on the sphere), or in the box of
// longitudes lon0..lon1 and latitudes lat0..lat1; longitude column first.
vec globe(int n, unsigned seed)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(-1, 1), w(-180, 180);
    vec ll(size_t(2 * n));
    for (int i = 0; i < n; ++i) {
        ll[size_t(i)] = w(g);
        ll[size_t(i + n)] = std::asin(u(g)) * 180 / pi;
    }
    return ll;
}
vec box(int n, double lon0, double lon1, double lat0, double lat1, unsigned seed)
{
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> lon(lon0, lon1), lat(lat0, lat1);
    vec ll(size_t(2 * n));
    for (int i = 0; i < n; ++i) {
        double x = lon(g);
        ll[size_t(i)] = x > 180 ? x - 360 : x;  // east of 180 written as west longitude
        ll[size_t(i + n)] = lat(g);
    }
    return ll;
}

double dist(const vec& ll, int n, int i, int j) { return geodist(ll[size_t(i)], ll[size_t(i + n)], ll[size_t(j)], ll[size_t(j + n)]); }

// The test's own weight of a pair at distance d within the scaled limit.
double weight(double d, double scaled) { return 1 - (d / (4 * scaled)) * (d / (4 * scaled)); }

class geo : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!geoavailable()) GTEST_SKIP() << "this build has no GeographicLib";
    }
};

TEST(lonlat, sitesoutsidetheirranges)
{
    const struct {
        double lon, lat;
        int which;
        const char* why;
    } cases[] = {
        {0, 0, 0, nullptr},
        {-180, -90, 0, nullptr},
        {360, 90, 0, nullptr},
        {10, 91, 2, "a latitude lies from -90 to 90 degrees"},
        {10, -90.000001, 2, "a latitude lies from -90 to 90 degrees"},
        {-181, 0, 1, "a longitude lies from -180 to 360 degrees"},
        {361, 0, 1, "a longitude lies from -180 to 360 degrees"},
        {std::nan(""), 0, 1, "the longitude is not a finite number"},
        {0, INFINITY, 2, "the latitude is not a finite number"},
        {400, 100, 1, "a longitude lies from -180 to 360 degrees"},
    };
    for (const auto& c : cases) {
        int which = -1;
        const char* why = lonlatwhy(c.lon, c.lat, which);
        EXPECT_EQ(which, c.which) << c.lon << " " << c.lat;
        EXPECT_EQ(why ? std::string(why) : "", c.why ? std::string(c.why) : "") << c.lon << " " << c.lat;
    }
}

// Published and exact distances, km.
TEST_F(geo, distances)
{
    const struct {
        const char* what;
        double lon1, lat1, lon2, lat2, km, tol;
    } cases[] = {
        // C. F. F. Karney, Algorithms for geodesics, J. Geodesy 87 (2013)
        // 43-55, the worked examples of the inverse problem on WGS84:
        // phi1 = -30, phi2 = 29.9, lambda12 = 179.8: s12 = 19 989 832.827 610 m;
        {"nearly antipodal", 0, -30, 179.8, 29.9, 19989.832827610, 1e-9},
        // phi1 = -30.12345, phi2 = -30.12344, lambda12 = 0.00005: s12 = 4.944 208 m.
        {"a short line", 0, -30.12345, 0.00005, -30.12344, 0.004944208, 1e-9},
        // The same, the longitudes east of 180 and across it.
        {"nearly antipodal, shifted", 100, -30, 279.8, 29.9, 19989.832827610, 1e-9},
        {"nearly antipodal, across 180", 170, -30, -10.2, 29.9, 19989.832827610, 1e-9},
        // One degree of the equator: a pi / 180, a = 6378.137 km.
        {"a degree of the equator", 0, 0, 1, 0, 6378.137 * pi / 180, 1e-9},
        {"a degree of the equator across 180", 179.5, 0, -179.5, 0, 6378.137 * pi / 180, 1e-9},
        // Pole to pole: twice the WGS84 quarter meridian, 10 001 965.729 m.
        {"pole to pole", 0, -90, 37, 90, 2 * 10001.965729, 1e-6},
        // One place, however written: a pole at any longitude, 180 and -180, 0 and 360.
        {"the north pole", 10, 90, -170, 90, 0, 0},
        {"180 and -180", 180, 45, -180, 45, 0, 0},
        {"0 and 360", 0, -12, 360, -12, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(geodist(c.lon1, c.lat1, c.lon2, c.lat2), c.km, c.tol) << c.what;
        EXPECT_NEAR(geodist(c.lon2, c.lat2, c.lon1, c.lat1), c.km, c.tol) << c.what << ", the other way";
    }
}

// Every pair keeps to both bounds: the chord of its normals below that of
// its distance, its distance below that of its chord.
TEST_F(geo, bounds)
{
    const int n = 300;
    vec ll = globe(n, 5);
    vec near = box(n, 179, 181, 89, 90, 6);
    for (const vec* s : {&ll, &near})
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; j += 7) {
                double u[3], v[3];
                unitvec((*s)[size_t(i)], (*s)[size_t(i + n)], u);
                unitvec((*s)[size_t(j)], (*s)[size_t(j + n)], v);
                double c = std::sqrt((u[0] - v[0]) * (u[0] - v[0]) + (u[1] - v[1]) * (u[1] - v[1]) +
                                     (u[2] - v[2]) * (u[2] - v[2]));
                double d = dist(*s, n, i, j);
                EXPECT_LE(c, chordof(d)) << i << " " << j;
                EXPECT_LE(d, kmof(c)) << i << " " << j;
            }
}

// The pairs within the limit are every pair of all that is within it, with
// its weight: around the globe, across 180, around the north pole (the
// pole itself among the sites, at several longitudes) and with sites at
// one place.
TEST_F(geo, pairsagainstallpairs)
{
    vec pole = box(80, 0, 360, 88, 90, 7);
    pole[0] = 0, pole[80] = 90;
    pole[1] = 120, pole[81] = 90;
    pole[2] = -75, pole[82] = 89.9;
    pole[3] = -75, pole[83] = 89.9;
    const struct {
        const char* what;
        vec ll;
        double limit;
    } cases[] = {
        {"the globe, 1500 km", globe(300, 1), 1500},
        {"the globe, 9000 km", globe(120, 2), 9000},
        {"across 180", box(200, 178, 182, -5, 5, 3), 60},
        {"around the pole", pole, 150},
        {"a tiny limit", box(50, 179.99, 180.01, 0, 0.01, 4), 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = int(c.ll.size() / 2);
        const double scaled = c.limit + double(1.0e-10f);
        pairs p;
        geopairs(n, n, c.ll.data(), scaled, p);
        ASSERT_EQ(p.start.size(), size_t(n) + 1);
        long found = 0;
        for (int i = 0; i < n; ++i) {
            std::vector<int> want;
            std::vector<double> w;
            for (int j = i + 1; j < n; ++j) {
                double d = dist(c.ll, n, i, j);
                if (d <= scaled) want.push_back(j + 1), w.push_back(weight(d, scaled));
            }
            std::vector<int> got(p.nb.begin() + p.start[size_t(i)], p.nb.begin() + p.start[size_t(i) + 1]);
            ASSERT_EQ(got, want) << "site " << i + 1;
            for (size_t k = 0; k < w.size(); ++k) EXPECT_NEAR(p.w[size_t(p.start[size_t(i)]) + k], w[k], 1e-15);
            found += long(want.size());
        }
        EXPECT_GT(found, n / 2);
    }
    // Across 180: lon 179.9 and -179.9 on the equator, 22.3 km apart, are
    // neighbours within 23 km, as are the two poles' sites at two longitudes.
    vec two = {179.9, -179.9, 0, 0};
    pairs p;
    geopairs(2, 2, two.data(), 23, p);
    ASSERT_EQ(p.nb, std::vector<int>{2});
    vec poles = {0, 120, 90, 90};
    geopairs(2, 2, poles.data(), double(1.0e-10f), p);
    ASSERT_EQ(p.nb, std::vector<int>{2});
    EXPECT_EQ(p.w[0], 1.0);
}

// The sites within the limit of places that are no sites: those of a
// measure of every site, in increasing order, with the same distances to
// the bit; around the globe, across 180 (places written east of 180 too),
// around the pole, and a place beyond every site.
TEST_F(geo, nearofaplaceagainstallsites)
{
    const struct {
        const char* what;
        vec sites, places;
        double limit;
    } cases[] = {
        {"the globe, 1500 km", globe(300, 11), globe(60, 12), 1500},
        {"across 180", box(200, 178, 182, -5, 5, 13), box(40, 179, 181.5, -6, 6, 14), 60},
        {"around the pole", box(120, 0, 360, 87, 90, 15), box(30, -180, 180, 88, 90, 16), 150},
        {"beyond every site", box(50, 10, 11, 10, 11, 17), {100, -40}, 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = int(c.sites.size() / 2), m = int(c.places.size() / 2);
        const double scaled = c.limit + double(1.0e-10f);
        normalgrid g;
        normalsof(n, n, c.sites.data(), scaled, g);
        std::vector<int> nb = {-1};
        std::vector<double> d = {-1};
        long found = 0;
        for (int o = 0; o < m; ++o) {
            const double lon = c.places[size_t(o)], lat = c.places[size_t(o + m)];
            const size_t from = nb.size();
            geonearof(g, n, c.sites.data(), lon, lat, scaled, nb, d);
            std::vector<int> want;
            std::vector<double> wantd;
            for (int i = 0; i < n; ++i) {
                double x = geodist(lon, lat, c.sites[size_t(i)], c.sites[size_t(i + n)]);
                if (x <= scaled) want.push_back(i), wantd.push_back(x);
            }
            EXPECT_EQ(std::vector<int>(nb.begin() + long(from), nb.end()), want) << "place " << o;
            EXPECT_EQ(std::vector<double>(d.begin() + long(from), d.end()), wantd) << "place " << o;
            found += long(want.size());
        }
        EXPECT_EQ(nb[0], -1) << "what was there is kept";
        if (m > 1) EXPECT_GT(found, m);
        else EXPECT_EQ(found, 0);
        // The lists of all the places, shared among 1, 2 and 3 threads
        // (from 4 places on): those of the places one by one.
        const sharing before = sharingnow();
        sharing low = before;
        low.threadfrom = 4;
        setsharing(low);
        for (int t : {1, 2, 3}) {
            setthreads(t);
            std::vector<long> start;
            std::vector<int> lnb;
            std::vector<double> ld;
            geonearlist(g, n, c.sites.data(), m, c.places.data(), m, scaled, start, lnb, ld);
            ASSERT_EQ(start.size(), size_t(m) + 1) << t;
            EXPECT_EQ(start.back(), found) << t;
            EXPECT_EQ(lnb, std::vector<int>(nb.begin() + 1, nb.end())) << t;
            EXPECT_EQ(ld, std::vector<double>(d.begin() + 1, d.end())) << t;
        }
        setthreads(0);
        setsharing(before);
    }
}

// The test's own tree: Prim's method over all geodesic distances, from
// site 1, its longest edge.
double primlongest(const vec& ll, int n)
{
    std::vector<double> best(size_t(n), INFINITY);
    std::vector<bool> in(size_t(n), false);
    double longest = 0;
    int at = 0;
    in[0] = true;
    for (int step = 1; step < n; ++step) {
        for (int j = 0; j < n; ++j)
            if (!in[size_t(j)]) best[size_t(j)] = std::fmin(best[size_t(j)], dist(ll, n, at, j));
        int next = -1;
        for (int j = 0; j < n; ++j)
            if (!in[size_t(j)] && (next < 0 || best[size_t(j)] < best[size_t(next)])) next = j;
        longest = std::fmax(longest, best[size_t(next)]);
        in[size_t(next)] = true;
        at = next;
    }
    return longest;
}

TEST_F(geo, treelimitagainstprim)
{
    vec two = box(60, 170, 190, -10, 10, 11);
    vec far = box(60, -10, 10, 40, 50, 12);
    two.insert(two.begin() + 60, far.begin(), far.begin() + 60);
    two.insert(two.end(), far.begin() + 60, far.end());
    const struct {
        const char* what;
        vec ll;
    } cases[] = {
        {"the globe", globe(150, 21)},
        {"a few on the globe", globe(7, 22)},
        {"across 180", box(120, 175, 185, -3, 3, 23)},
        {"around the south pole", box(100, 0, 360, -90, -85, 24)},
        {"two groups far apart", two},
        {"two sites", {10, 10.5, 45, 45}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = int(c.ll.size() / 2);
        int a = 0, b = 0;
        double len = -1;
        geotree(n, n, c.ll.data(), a, b, len);
        EXPECT_EQ(len, primlongest(c.ll, n));
        ASSERT_TRUE(a >= 1 && a < b && b <= n);
        EXPECT_EQ(dist(c.ll, n, a - 1, b - 1), len);
    }
}

}  // namespace
