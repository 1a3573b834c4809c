// The maps of the variables: Moran's I through the grid of cells against a
// plain loop over every pair, the reading of the three layouts, and the
// picture read back as XML.  The whole runs (the identity with the run's
// eigenvalues, the browser's rendering, the refusals) are in driver_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "maps/maps.h"
#include "pcnm/pcnm.h"
#include "sites/sites.h"
#include "testfiles.h"
#include "textio/textio.h"
#include "threshold/mst.h"

namespace {

const tempdir tmp;

// ---------------------------------------------------------------- Moran's I

// Moran's I and its standard deviation by the textbook's sums over every
// ordered pair of the n main objects of ranged coordinates xr.
void direct(int n, int ncoord, int ld, const std::vector<double>& xr, double limit, double rangmax,
            const std::vector<double>& v, double& moran, double& sd, long& npairs)
{
    double t = limit / rangmax + double(1.0e-10f), mean = 0, s0 = 0, s1 = 0, s2 = 0, num = 0, den = 0;
    std::vector<double> w(size_t(n) * size_t(n), 0.0);
    npairs = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0;
            for (int c = 0; c < ncoord; ++c) {
                double e = xr[size_t(i + c * ld)] - xr[size_t(j + c * ld)];
                sum = sum + e * e;
            }
            double d = std::sqrt(sum);
            if (i != j && !(d > t)) w[size_t(i * n + j)] = 1 - (d / (4 * t)) * (d / (4 * t)), npairs += i < j;
        }
    for (double a : v) mean += a / n;
    for (int i = 0; i < n; ++i) {
        double out = 0, in = 0;
        for (int j = 0; j < n; ++j) {
            double a = w[size_t(i * n + j)], b = w[size_t(j * n + i)];
            s0 += a;
            s1 += (a + b) * (a + b) / 2;
            out += a;
            in += b;
            num += a * (v[size_t(i)] - mean) * (v[size_t(j)] - mean);
        }
        s2 += (out + in) * (out + in);
        den += (v[size_t(i)] - mean) * (v[size_t(i)] - mean);
    }
    moran = n / s0 * num / den;
    double e = -1.0 / (n - 1);
    sd = std::sqrt((double(n) * n * s1 - n * s2 + 3 * s0 * s0) / ((double(n) * n - 1) * s0 * s0) - e * e);
}

struct layoutcase {
    const char* name;
    int n, nsup, ncoord;
    int kind;      // 0 random, 1 grid of unit spacing, 2 transect, 3 random with every
                   // third site on the one before
    double limit;  // 0: the longest edge of the tree of the sites, exactly as given
};

const layoutcase layouts[] = {
    {"random 2-d", 300, 0, 2, 0, 0.9},
    {"random 3-d with supplementary sites", 250, 20, 3, 0, 1.7},
    {"grid, ties at the limit", 400, 0, 2, 1, 1},
    {"grid, the diagonal at the limit", 400, 0, 2, 1, 1.4142135623730951},
    {"transect, ties at the limit", 200, 0, 1, 2, 2},
    {"sites at one place", 240, 0, 2, 3, 0.6},
    {"a limit above every distance", 80, 0, 2, 0, 50},
    {"a limit below every distance", 150, 0, 2, 0, 1e-7},
};

TEST(maps, moranthroughcellsisthesumovereverypair)
{
    std::mt19937_64 g(7);
    std::uniform_real_distribution<double> u(0, 10);
    for (const layoutcase& c : layouts) {
        SCOPED_TRACE(c.name);
        const int ntot = c.n + c.nsup;
        std::vector<double> x(size_t(ntot * c.ncoord));
        for (int i = 0; i < ntot; ++i)
            for (int k = 0; k < c.ncoord; ++k) {
                double& a = x[size_t(i + k * ntot)];
                a = c.kind == 1 ? (k == 0 ? i % 20 : i / 20) * 3.0 : c.kind == 2 ? 2.0 * i : u(g);
                if (c.kind == 3 && i % 3 == 2) a = x[size_t(i - 1 + k * ntot)];
            }
        // Unit spacing after the ranging: the user's units are the ranged ones
        // times rangmax.
        std::vector<double> xr(x);
        double vmin[3], vrange[3], rangmax = 0;
        ASSERT_EQ(rangecoords(ntot, c.ncoord, ntot, xr.data(), vmin, vrange, rangmax, 1), nullptr);
        double limit = c.kind == 1 ? c.limit * 3 : c.limit;
        pairs p;
        findpairs(c.n, c.ncoord, ntot, xr.data(), scaledlimit(limit, rangmax), p);
        variables v;
        v.n = c.n;
        v.k = 3;
        for (int i = 0; i < c.n; ++i) {
            v.v.push_back(std::sin(x[size_t(i)]));
            v.v.push_back(u(g) - 5);
            v.v.push_back(i % 2 ? 1.0 : -1.0);
        }
        std::vector<moranstat> st(3);
        if (p.nb.empty()) {
            long npairs;
            double moran, sd;
            direct(c.n, c.ncoord, ntot, xr, limit, rangmax, std::vector<double>(size_t(c.n), 1), moran, sd, npairs);
            EXPECT_EQ(npairs, 0);
            continue;
        }
        ASSERT_EQ(moran(p, v, st.data()), 0);
        for (int j = 0; j < 3; ++j) {
            std::vector<double> col;
            for (int i = 0; i < c.n; ++i) col.push_back(v.v[size_t(i * 3 + j)]);
            long npairs;
            double want, sd;
            direct(c.n, c.ncoord, ntot, xr, limit, rangmax, col, want, sd, npairs);
            EXPECT_EQ(long(p.nb.size()), npairs);
            EXPECT_NEAR(st[size_t(j)].i, want, 1e-12 * (1 + std::fabs(want)));
            EXPECT_NEAR(st[size_t(j)].sd, sd, 1e-9);
            EXPECT_DOUBLE_EQ(st[size_t(j)].e, -1.0 / (c.n - 1));
        }
    }
}

// Permutations: the same seed draws the same p-values; a variable of
// perfect positive autocorrelation along a transect comes out at the
// smallest p possible, one of perfect negative autocorrelation at 1.
TEST(maps, permutationsarerepeatablebytheirseed)
{
    std::vector<double> xr;
    for (int i = 0; i < 50; ++i) xr.push_back(i);
    pairs p;
    findpairs(50, 1, 50, xr.data(), 1.0, p);
    variables v{50, 3, {}, {}};
    std::mt19937_64 g(3);
    for (int i = 0; i < 50; ++i) v.v.insert(v.v.end(), {double(i), i % 2 ? 1.0 : -1.0, double(g() % 1000)});
    moranstat a[3], b[3];
    for (moranstat* st : {a, b}) {
        moran(p, v, st);
        permutations(p, v, 199, 42, st);
    }
    EXPECT_EQ(a[0].p, 1.0 / 200);
    EXPECT_EQ(a[1].p, 1.0);
    EXPECT_EQ(a[2].p, b[2].p);
}

// ---------------------------------------------------------------- reading

// Reads a spatial-variable file: the values, or the refusal's line and text.
std::string readback(const std::string& text, variables& v)
{
    auto io = std::make_unique<units>();
    initunits(*io);
    io->vars.fd = textfd(tmp.path, text);
    std::string got;
    try {
        readvars(io->vars, v);
    } catch (const refusal& r) {
        got = "line " + std::to_string(r.line) + ": " + r.text;
    }
    closes(io->vars);
    return got;
}

struct filecase {
    const char* name;
    const char* text;
    std::vector<double> values;  // by objects
    const char* refused;         // the start of the refusal, or null
};

const filecase files[] = {
    {"layout 1, fields of 11 that touch", " 2 2\n   1.500000-999.999999\n  -0.000001   2.000000\n",
     {1.5, -999.999999, -0.000001, 2}, nullptr},
    {"layout 2, 13 values of width 10 folded after 12",
     " 1 13\n   1.00000   2.00000   3.00000   4.00000   5.00000   6.00000   7.00000   8.00000   9.00000"
     "  10.00000  11.00000  12.00000\n  13.00000\n",
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, nullptr},
    {"layout 2, width 12, ten a line (CR LF)",
     " 1 11\r\n   1.0000000   2.0000000   3.0000000   4.0000000   5.0000000   6.0000000   7.0000000"
     "   8.0000000   9.0000000  10.0000000\r\n  11.0000000\r\n",
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, nullptr},
    {"Canoco, labels kept", "File of PCNM variables\nFREE\n 2 3\n   0.100000  -0.200000\n   0.300000"
     "   0.400000\n   0.500000   0.600000\nPCNM 1  PCNM 2\nSite 1  Site 2  Site 3\n",
     {0.1, -0.2, 0.3, 0.4, 0.5, 0.6}, nullptr},
    {"a field of asterisks", " 2 1\n   1.000000\n***********\n", {}, "line 3: value 1"},
    {"rows missing", " 3 1\n   1.000000\n   2.000000\n", {}, "line 4: the file ends before the values of object 3"},
    {"rows beyond the header", " 1 1\n   1.000000\n   2.000000\n", {}, "line 3: more lines"},
    {"no layout of lociweaver", "x y z\n", {}, "line 1: not a spatial-variable file"},
    {"blank-separated numbers", " 1 2\n1.5 2.5\n", {}, "line 2: not 2 values in fields"},
    {"CSV of lociweaver-vars, quoted labels, CR LF",
     "site,PCNM1,PCNM3\r\n\"a, \"\"b\"\"\",0.25,-1e-07\r\nc,15474.0,3\r\n",
     {0.25, -1e-07, 15474, 3}, nullptr},
    {"CSV, a value that is none", "site,PCNM1,PCNM2\nA,1,2\nB,1,x\n", {}, "line 3: value 2 (\"x\")"},
    {"CSV, a value missing", "site,PCNM1,PCNM2\nA,1,2\nB,1\n", {}, "line 3: not a label and 2 values"},
    {"CSV, an unclosed quote", "site,PCNM1\n\"A,1\n", {}, "line 2: not a label and 1 values"},
};

TEST(maps, readsthethreelayoutsandrefuseswiththeline)
{
    for (const filecase& c : files) {
        SCOPED_TRACE(c.name);
        variables v;
        std::string got = readback(c.text, v);
        if (c.refused) {
            EXPECT_EQ(got.substr(0, std::strlen(c.refused)), c.refused) << got;
            continue;
        }
        EXPECT_EQ(got, "");
        EXPECT_EQ(v.v, c.values);
    }
    variables v;
    readback(files[3].text, v);
    EXPECT_EQ(v.labels, (std::vector<std::string>{"PCNM 1", "PCNM 2"}));
    readback(files[9].text, v);
    EXPECT_EQ(v.n, 2);
    EXPECT_EQ(v.k, 2);
    EXPECT_EQ(v.labels, (std::vector<std::string>{"PCNM1", "PCNM3"}));
}

// ---------------------------------------------------------------- the picture

// An element of the picture: its name, its attributes, and the attributes
// of the groups around it.
struct element {
    std::string name;
    std::map<std::string, std::string> at, inherited;
};

// Reads an XML text into its elements in order; fails the test where it is
// not well-formed (tags that do not nest, unquoted attributes, a bare < or
// & in the text).
std::vector<element> parsexml(const std::string& text)
{
    std::vector<element> out, open;
    size_t k = text.find("<svg");
    EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
    while (k < text.size()) {
        if (text[k] != '<') {
            size_t e = text.find('<', k);
            std::string t = text.substr(k, e - k);
            for (size_t a = t.find('&'); a != std::string::npos; a = t.find('&', a + 1))
                EXPECT_NE(t.find(';', a), std::string::npos) << "a bare & in " << t;
            k = e;
            continue;
        }
        size_t e = text.find('>', k);
        EXPECT_NE(e, std::string::npos);
        std::string tag = text.substr(k + 1, e - k - 1);
        k = e + 1;
        if (tag[0] == '/') {
            EXPECT_FALSE(open.empty());
            if (open.empty()) return out;
            EXPECT_EQ(tag.substr(1), open.back().name) << "tags do not nest";
            open.pop_back();
            continue;
        }
        bool empty = tag.back() == '/';
        if (empty) tag.pop_back();
        element el;
        size_t a = tag.find(' ');
        el.name = tag.substr(0, a);
        for (const element& g : open)
            for (const auto& kv : g.at) el.inherited[kv.first] = kv.second;
        while (a != std::string::npos && a < tag.size()) {
            size_t eq = tag.find("=\"", a), close = tag.find('"', eq + 2);
            EXPECT_TRUE(eq != std::string::npos && close != std::string::npos) << "an unquoted attribute: " << tag;
            if (eq == std::string::npos || close == std::string::npos) break;
            el.at[tag.substr(a + 1, eq - a - 1)] = tag.substr(eq + 2, close - eq - 2);
            a = close + 1 < tag.size() ? close + 1 : std::string::npos;
        }
        out.push_back(el);
        if (!empty) open.push_back(el);
    }
    EXPECT_TRUE(open.empty()) << "unclosed " << (open.empty() ? "" : open.back().name);
    return out;
}

// Writes the picture of n sites of ncoord coordinates (on a grid), with k
// variables, and returns its text.
std::string draw(int n, int ncoord, int k, int shown, variables& v)
{
    sites s;
    s.n = n;
    s.ncoord = ncoord;
    s.x.resize(size_t(n * ncoord));
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < ncoord; ++c) s.x[size_t(i + c * n)] = c == 0 ? i % 40 : c == 1 ? i / 40 : i % 3;
    std::vector<double> xr(s.x);
    double vmin[3], vrange[3], rangmax;
    rangecoords(n, ncoord, n, xr.data(), vmin, vrange, rangmax, 1);
    std::vector<int> from(static_cast<size_t>(n)), rest(static_cast<size_t>(n));
    std::vector<double> len(static_cast<size_t>(n));
    prim(n, ncoord, size_t(n), xr.data(), from.data(), len.data(), rest.data());
    v.n = n;
    v.k = k;
    v.v.clear();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < k; ++j) v.v.push_back(std::cos(0.37 * (j + 1) * i) * (j + 1));
    std::vector<moranstat> st(size_t(k), moranstat{0.5, -0.1, 0.1, 6, -1});
    scene sc{&s, xr.data(), from.data(), len.data(), rangmax, 1.5 / rangmax, 1.5, &v, st.data(), shown, false};
    auto io = std::make_unique<units>();
    initunits(*io);
    std::string path = tmp.path + "/p" + std::to_string(n) + ".svg";
    io->report.fd = writeto(path);
    picture(io->report, sc);
    closes(io->report);
    return native(slurp(path));
}

TEST(maps, thepictureholdsadiscperobjectineverymap)
{
    for (int ncoord : {1, 2, 3}) {
        SCOPED_TRACE(ncoord);
        variables v;
        std::vector<element> all = parsexml(draw(120, ncoord, 7, 5, v));
        std::map<std::string, std::vector<element>> maps;
        for (const element& e : all)
            if (e.name == "circle" && e.inherited.count("id")) maps[e.inherited.at("id")].push_back(e);
        ASSERT_EQ(maps.size(), 5u);
        for (int j = 0; j < 5; ++j) {
            const std::vector<element>& d = maps["map-" + std::to_string(j + 1)];
            ASSERT_EQ(d.size(), 120u);
            // Areas in proportion to |value|, within the rounding to 0.1 pixel;
            // black for a positive value, white otherwise.
            double top = 0, rtop = 0;
            for (int i = 0; i < 120; ++i) top = std::max(top, std::fabs(v.v[size_t(i * 7 + j)]));
            for (const element& e : d) rtop = std::max(rtop, std::stod(e.at.at("r")));
            for (int i = 0; i < 120; ++i) {
                double val = v.v[size_t(i * 7 + j)], r = std::stod(d[size_t(i)].at.at("r"));
                EXPECT_NEAR(r, rtop * std::sqrt(std::fabs(val) / top), 0.1) << "disc " << i + 1;
                std::string fill = d[size_t(i)].at.count("fill") ? d[size_t(i)].at.at("fill") : "#000";
                EXPECT_EQ(fill, val > 0 ? "#000" : "#fff") << "disc " << i + 1;
            }
        }
    }
}

// The picture of 1000 sites and 30 variables stays under 2 MB.
TEST(maps, thepictureof1000sitesand30variablesislight)
{
    variables v;
    std::string svg = draw(1000, 2, 30, 30, v);
    EXPECT_LT(svg.size(), 2000000u);
    EXPECT_EQ(parsexml(svg).size() > 30000, true);
}

}  // namespace
