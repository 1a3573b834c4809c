// The truncation-limit helper: the tree, the decimal answer, and the answer
// checked through the run's own reading, distances and truncation.  The
// helper's messages and refusals are pinned by tests/e2e/threshold_*.
#include <gtest/gtest.h>


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "testfiles.h"
#include "pcnm/pcnm.h"
#include "sites/sites.h"
#include "textio/textio.h"
#include "threshold/emst.h"
#include "threshold/mst.h"

namespace {

const tempdir tmp;

// Streams with text to read on the coordinates stream.
std::unique_ptr<units> opened(const std::string& text)
{
    auto io = std::make_unique<units>();
    initunits(*io);
    io->coord.fd = textfd(tmp.path, text);
    return io;
}

// The text as the run reads an answer: a free-form read of one real.
double readreal(const std::string& text)
{
    auto io = opened(text + "\n");
    double v = -1;
    rbegin(io->coord);
    rreal(io->coord, v);
    rend(io->coord);
    closes(io->coord);
    return v;
}

// The sorted edge lengths of a minimum spanning tree by Kruskal's method
// over all pairs of the distances d (leading dimension n).
std::vector<double> kruskal(int n, const std::vector<double>& d)
{
    std::vector<std::pair<double, int>> all;  // d(j, i), and i + j * n
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) all.push_back({d[j + i * n], i + j * n});
    std::sort(all.begin(), all.end());
    std::vector<int> part;  // the objects' parts, merged by renaming
    for (int i = 0; i < n; ++i) part.push_back(i);
    std::vector<double> lengths;
    for (auto& [length, ij] : all)
        if (int a = part[ij % n], b = part[ij / n]; a != b) {
            lengths.push_back(length);
            std::replace(part.begin(), part.end(), a, b);
        }
    return lengths;
}

TEST(prim, ties_go_to_the_lower_number_and_the_first_joined)
{
    // At 0, 1, 3 and -2: after 2 joins, objects 4 and 3 are both 2 away; 3
    // joins first, and of the two longest edges it is named.
    std::vector<double> x{0, 1, 3, -2}, len(4);
    std::vector<int> from(4), rest(4);
    EXPECT_EQ(prim(4, 1, 4, x.data(), from.data(), len.data(), rest.data()), 3);
    EXPECT_EQ(from, (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(len, (std::vector<double>{0, 1, 2, 2}));
}

TEST(longest, names_prims_edge_in_small_cases)
{
    // 1: at 0, 1, 3 and -2 (prim's own case): 3 is named, joined to 2.
    // 2: at 9, 5, 0 and 5: 2 and 4 share a place; 2 joins first, 4 from it
    //    at 0, and 3 from 2, the first of the two at 5 from it.
    // 3: the same with the places of 2 and 4 exchanged for 1 and 3.
    // 4: all four at one place: no edge is longer than object 1's 0.
    // 5: (0, 0), (1, 0), (1, 1) and (0, 1): every edge 1 long, and the first
    //    taken, 2 (the lower-numbered of 2 and 4) from 1, is named.
    struct { std::vector<double> x; int ncoord, t, from; double len; } cases[] = {
        {{0, 1, 3, -2}, 1, 3, 2, 2}, {{9, 5, 0, 5}, 1, 3, 2, 5}, {{5, 9, 5, 0}, 1, 4, 1, 5},
        {{7, 7, 7, 7}, 1, 1, 0, 0}, {{0, 1, 1, 0, 0, 0, 1, 1}, 2, 2, 1, 1},
    };
    for (auto& c : cases) {
        int from = -1;
        double len = -1;
        const int n = int(c.x.size()) / c.ncoord;
        EXPECT_EQ(longest(n, c.ncoord, size_t(n), c.x.data(), from, len), c.t);
        EXPECT_EQ(from, c.from);
        EXPECT_EQ(len, c.len);
    }
}

TEST(longest, same_edge_as_prim_on_many_sites)
{
    // Sites at random, uniform or in clusters, on a lattice (exact ties when
    // left unranged, ties to the last bit when ranged), or drawn again and
    // again from a few hundred places; 1 to 3 coordinates.  Prim's tree is
    // the reference: the same object, the same partner, the same bits.
    enum { uniform, clustered, lattice, repeated };
    struct { int n, ncoord, kind; bool ranged; unsigned seed; } cases[] = {
        {3000, 2, uniform, true, 1},   {3000, 1, uniform, true, 2},   {2500, 3, uniform, true, 3},
        {3000, 2, clustered, true, 4}, {2000, 3, clustered, true, 5}, {3000, 1, clustered, true, 6},
        {2500, 2, lattice, false, 7},  {2500, 2, lattice, true, 8},   {2197, 3, lattice, false, 9},
        {2197, 3, lattice, true, 10},  {2000, 1, lattice, false, 11}, {3000, 2, repeated, true, 12},
        {2000, 3, repeated, false, 13}, {2000, 1, repeated, true, 14}, {300, 2, lattice, false, 15},
        {1000, 2, repeated, false, 16},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.seed);
        std::mt19937 g(c.seed);
        std::uniform_real_distribution<double> u(0, 1);
        std::normal_distribution<double> z(0, 0.01);
        const int n = c.n;
        std::vector<double> x(size_t(n * c.ncoord)), centre(size_t(3 * 40)), place(size_t(3 * 300));
        for (double& v : centre) v = u(g);
        for (double& v : place) v = std::floor(u(g) * 20);
        // The lattice: a side of the smallest cube or square that holds n,
        // some of its points left out, the rest in a random order.
        int side = 1;
        while (std::pow(side, c.ncoord) < n) ++side;
        std::vector<int> cell(size_t(std::pow(side, c.ncoord)));
        for (size_t k = 0; k < cell.size(); ++k) cell[k] = int(k);
        std::shuffle(cell.begin(), cell.end(), g);
        for (int i = 0; i < n; ++i) {
            int k = int(g() % 40), r = int(g() % 300);
            for (int j = 0, rest = cell[size_t(i)]; j < c.ncoord; ++j, rest /= side) {
                double& v = x[size_t(i + j * n)];
                if (c.kind == uniform) v = u(g);
                if (c.kind == clustered) v = centre[size_t(3 * k + j)] + z(g);
                if (c.kind == lattice) v = 0.5 * (rest % side);
                if (c.kind == repeated) v = place[size_t(3 * r + j)];
            }
        }
        double vmin[3], vrange[3], rangmax;
        if (c.ranged) {
            ASSERT_EQ(rangecoords(n, c.ncoord, n, x.data(), vmin, vrange, rangmax, 1), nullptr);
        }
        const size_t count = size_t(n);
        std::vector<double> len(count);
        std::vector<int> from(count), rest(count);
        int t = prim(n, c.ncoord, size_t(n), x.data(), from.data(), len.data(), rest.data());
        int f = -1;
        double l = -1;
        EXPECT_EQ(longest(n, c.ncoord, size_t(n), x.data(), f, l), t);
        EXPECT_EQ(f, from[size_t(t - 1)]);
        EXPECT_EQ(l, len[size_t(t - 1)]);
    }
}

TEST(decimal, notation_a_free_form_read_takes)
{
    struct { const char *digits, *text; int e; double value; } cases[] = {
        {"3", "0.3", -1, 0.3}, {"12", "1200", 3, 1200}, {"123456", "123.456", 2, 123.456},
        {"1500", "1.5", 0, 1.5}, {"25", "0.0000025", -6, 2.5e-6}, {"25", "2.5E-7", -7, 2.5e-7},
        {"1", "1E-7", -7, 1e-7}, {"12", "1.2E16", 16, 1.2e16},
        {"17976931348623157", "1.7976931348623157E308", 308, 1.7976931348623157e308},
    };
    for (auto& c : cases) {
        char out[40];
        std::string digits = c.digits, text = c.text;
        EXPECT_EQ(decimal(c.digits, int(digits.size()), c.e, out), int(text.size()));
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(readreal(out), c.value) << out;
    }
}

TEST(answer, keeps_the_tree_and_no_more)
{
    // Each file is read, ranged for PCNM and treed as the helper does; its
    // answer keeps every tree edge through the run's reading and truncation,
    // reads at most the margin, 1.0E-10 times rangmax, above the edge, and
    // the limit below, beyond the margin, truncates.
    struct entry { std::string file; const char *text, *below; };  // below "": 2 margins under
    std::vector<entry> cases = {
        // Margins 3.0E-12, 2.2E-11, 4.0E-11, 1.0E-11, 5.0E-11 and 4.0E-11.
        {"2 1 0\n0\n0.3\n", "0.3", "0.299999999996"},
        {"3 1 0\n0\n1.1\n2.2\n", "1.1", "1.09999999997"},
        // The edge from 0.3 to 0.4 computes as 0.10000000000000009.
        {"4 1 0\n0.1\n0.2\n0.3\n0.4\n", "0.1", "0.099999999996"},
        {"2 2 0\n0 0\n3 4\n", "5", "4.99999999995"},
        // Root 2 is 1.41421356237309505: 1.41421356237 lies 3.1E-12 below it,
        // within the margin, 1.4142135624 2.7E-11 above it, beyond, and
        // 1.41421356236 1.3E-11 below it, beyond.
        {"2 2 0\n0 0\n1 1\n", "1.41421356237", "1.41421356236"},
        // The last object is supplementary and makes the longest edge.
        {"2 1 1\n0\n1\n5\n", "4", "3.99999999994"},
        // Edges of 3, which compute as 2.9999999999999996.
        {"3 3 0\n0 0 0\n1 2 2\n2 4 4\n", "3", "2.99999999995"},
        // Ranges near the smallest doubles, where the margin underflows (no
        // limit below), and near the largest.
        {"2 1 0\n0\n1e-315\n", nullptr, nullptr},
        {"3 1 0\n0\n3e-310\n1e-309\n", nullptr, nullptr},
        {"2 1 0\n-8e307\n8e307\n", nullptr, ""},
        {"3 2 0\n1e300 1e300\n3e300 5e300\n0 0\n", nullptr, ""},
    };
    // n + nsup random objects of ncoord coordinates at a scale, written with
    // a number of decimals (none: many equal distances).
    std::mt19937 g(2024);
    std::uniform_real_distribution<double> u(-1, 1);
    struct { int n, nsup, ncoord, decimals; double scale; } random[] = {
        {10, 0, 1, 1, 1}, {10, 0, 2, 0, 100}, {12, 3, 2, 2, 5}, {60, 0, 3, 7, 1e-3},
        {100, 0, 2, 2, 1e6}, {200, 0, 2, 10, 0.5}, {333, 7, 3, 1, 1e4}, {990, 10, 3, 6, 2},
        {57, 0, 3, 0, 3}, {100, 0, 1, 0, 20}, {200, 0, 2, 0, 5}};
    char b[40];
    for (auto& r : random) {
        std::snprintf(b, sizeof b, "%d %d %d\n", r.n, r.ncoord, r.nsup);
        std::string file = b;
        for (int i = 1; i <= (r.n + r.nsup) * r.ncoord; ++i) {
            double v = u(g) * r.scale;
            std::snprintf(b, sizeof b, "%.*f%c", r.decimals, v, i % r.ncoord ? ' ' : '\n');
            file += b;
        }
        cases.push_back({file, nullptr, ""});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 30));
        auto io = opened(c.file);
        int n, ncoord, nsup;
        ASSERT_EQ(readheader(io->coord, n, ncoord, nsup), nullptr);
        const int ntot = n + nsup;
        std::vector<double> x(size_t(ntot * ncoord)), d(size_t(ntot * ntot));
        std::vector<double> len(x.size() / size_t(ncoord));
        std::vector<int> from(len.size()), rest(len.size());
        readgroups(io->coord, ntot, ncoord, ntot, x.data());
        closes(io->coord);
        double vmin[3], vrange[3], rangmax;
        ASSERT_EQ(rangecoords(ntot, ncoord, ntot, x.data(), vmin, vrange, rangmax, 1), nullptr);
        int t = prim(ntot, ncoord, size_t(ntot), x.data(), from.data(), len.data(), rest.data());
        distances(ntot, ncoord, ntot, x.data(), d.data());
        // The root of each pairsum is the run's distance, bit for bit, each
        // tree edge that of its pair, and the lengths those of Kruskal's tree.
        for (int i = 1; i <= ntot; ++i)
            for (int j = i + 1; j <= ntot; ++j)
                ASSERT_EQ(std::sqrt(pairsum(i, j, ncoord, size_t(ntot), x.data())),
                          d[j - 1 + (i - 1) * ntot]) << i << " " << j;
        for (int i = 2; i <= ntot; ++i)
            EXPECT_EQ(len[i - 1], std::sqrt(pairsum(i, from[i - 1], ncoord, size_t(ntot), x.data())))
                << i;
        std::vector<double> tree(len.begin() + 1, len.end()), want = kruskal(ntot, d);
        std::sort(tree.begin(), tree.end());
        EXPECT_EQ(tree, want);
        EXPECT_EQ(len[t - 1], want.back());
        // The tree edges that the run's distances keep, truncated at a limit
        // typed as text.
        auto kept = [&](const std::string& limit) {
            std::vector<double> k = d;
            double scaled = scaledlimit(readreal(limit), rangmax);
            truncate(ntot, ntot, k.data(), scaled);
            int count = 0;
            for (int i = 2; i <= ntot; ++i) {
                int lo = std::min(i, from[i - 1]) - 1, hi = std::max(i, from[i - 1]) - 1;
                count += k[lo + hi * ntot] == k[hi + lo * ntot];
            }
            return count;
        };
        double user = len[t - 1] * rangmax, margin = limitadd * rangmax;
        char text[40];
        answer(len[t - 1], rangmax, text);
        EXPECT_TRUE(!c.text || std::string(text) == c.text) << text;
        EXPECT_EQ(kept(text), ntot - 1) << text;
        if (!c.below) continue;
        EXPECT_LE(readreal(text), user + margin) << text;
        std::snprintf(b, sizeof b, "%.17g", user - 2 * margin);
        EXPECT_LT(kept(*c.below ? c.below : b), ntot - 1) << (*c.below ? c.below : b);
    }
    // An edge beyond the largest double in the user's units; a distance equal
    // to the limit is kept, as the run's truncation keeps it; texts that are
    // no number, or none a double holds, keep nothing.
    char out[40] = "x";
    EXPECT_TRUE(answer(std::sqrt(3.0) * 10, 1.5e308 * double(0.1f), out) == 0 && !*out) << out;
    EXPECT_TRUE(keeps("0", 1, limitadd));
    EXPECT_FALSE(keeps("go", 1, 0) || keeps("1E999", 1, 0));
}

}  // namespace
