// The truncation-limit helper: the tree, the decimal answer, and the answer
// checked through the run's own reading, distances and truncation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pcnm/pcnm.h"
#include "sites/sites.h"
#include "textio/textio.h"
#include "threshold/mst.h"

namespace {

// A temporary file holding text, removed with the object.
struct tempfile {
    std::string path;
    explicit tempfile(const std::string& text)
    {
        char t[] = "/tmp/lw-threshold-XXXXXX";
        int fd = ::mkstemp(t);
        ::close(fd);
        path = t;
        std::ofstream(path, std::ios::binary) << text;
    }
    ~tempfile() { ::unlink(path.c_str()); }
};

// Opens path for reading on the coordinates stream of io.
void openfile(units& io, const std::string& path)
{
    char name[namelen];
    std::memset(name, ' ', namelen);
    std::memcpy(name, path.data(), path.size());
    openold(io.coord, name);
}

// The helper's work on a coordinates file: read, ranged for PCNM, the tree
// and the answer.
struct helper {
    int n = 0, ncoord = 0, nsup = 0, ntot = 0;
    std::vector<double> x;     // ranged coordinates, leading dimension ntot
    double rangmax = 0;
    std::vector<int> from;
    std::vector<double> len;
    int longest = 0;           // the object whose tree edge is the longest
    double edge = 0;           // its length, ranged units
    std::string text;          // the answer

    explicit helper(const std::string& file)
    {
        tempfile f(file);
        auto io = std::make_unique<units>();
        initunits(*io);
        openfile(*io, f.path);
        EXPECT_EQ(readheader(io->coord, n, ncoord, nsup), nullptr);
        ntot = n + nsup;
        x.assign(size_t(ntot) * size_t(ncoord), 0.0);
        readgroups(io->coord, ntot, ncoord, ntot, x.data());
        closes(io->coord);
        double vmin[3], vrange[3];
        EXPECT_EQ(rangecoords(ntot, ncoord, ntot, x.data(), vmin, vrange, rangmax, 1), nullptr);
        from.resize(static_cast<size_t>(ntot));
        len.resize(static_cast<size_t>(ntot));
        std::vector<int> rest(static_cast<size_t>(ntot));
        longest = prim(ntot, ncoord, size_t(ntot), x.data(), from.data(), len.data(), rest.data());
        edge = len[size_t(longest - 1)];
        char out[40];
        answer(edge, rangmax, out);
        text = out;
    }
};

// The answer text as the run reads it: a free-form read of one real.
double readreal(const std::string& text)
{
    tempfile f(text + "\n");
    auto io = std::make_unique<units>();
    initunits(*io);
    openfile(*io, f.path);
    double v = -1;
    rbegin(io->coord);
    rreal(io->coord, v);
    rend(io->coord);
    closes(io->coord);
    return v;
}

// The run's distances among the helper's objects, truncated at the answer
// text as the run scales it: untruncated d(j, i) and truncated d(i, j),
// j > i, leading dimension ntot.
std::vector<double> truncated(const helper& h, const std::string& text)
{
    std::vector<double> d(size_t(h.ntot) * size_t(h.ntot), 0.0);
    distances(h.ntot, h.ncoord, h.ntot, h.x.data(), d.data());
    double scaled = readreal(text) / h.rangmax;
    scaled = scaled + limitadd;
    truncate(h.ntot, h.ntot, d.data(), scaled);
    return d;
}

// Whether the pair (i, j) keeps its distance in d.
bool kept(const helper& h, const std::vector<double>& d, int i, int j)
{
    if (i > j) std::swap(i, j);
    size_t ld = size_t(h.ntot);
    return d[size_t(i - 1) + size_t(j - 1) * ld] == d[size_t(j - 1) + size_t(i - 1) * ld];
}

// Whether every tree edge of h keeps its distance in d.
bool treekept(const helper& h, const std::vector<double>& d)
{
    for (int i = 2; i <= h.ntot; ++i)
        if (!kept(h, d, i, h.from[size_t(i - 1)])) return false;
    return true;
}

// Whether every object is reached from object 1 through kept distances.
bool connected(const helper& h, const std::vector<double>& d)
{
    std::vector<char> seen(size_t(h.ntot), 0);
    std::vector<int> todo{1};
    seen[0] = 1;
    int count = 1;
    while (!todo.empty()) {
        int i = todo.back();
        todo.pop_back();
        for (int j = 1; j <= h.ntot; ++j)
            if (!seen[size_t(j - 1)] && j != i && kept(h, d, i, j)) {
                seen[size_t(j - 1)] = 1;
                ++count;
                todo.push_back(j);
            }
    }
    return count == h.ntot;
}

// The nearest double to a decimal text.
double number(const std::string& text)
{
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

// The decimal with 17 significant digits of v.
std::string digits17(double v)
{
    char b[40];
    std::to_chars_result r = std::to_chars(b, b + sizeof b, v, std::chars_format::scientific, 16);
    return std::string(b, r.ptr);
}

TEST(pairsum, its_root_is_the_runs_distance)
{
    const int ntot = 30, ncoord = 3;
    std::mt19937 g(11);
    std::uniform_real_distribution<double> u(-3, 17);
    std::vector<double> x(size_t(ntot) * ncoord);
    for (double& v : x) v = u(g);
    std::vector<double> d(size_t(ntot) * ntot, 0.0);
    distances(ntot, ncoord, ntot, x.data(), d.data());
    for (int i = 1; i < ntot; ++i)
        for (int j = i + 1; j <= ntot; ++j)
            EXPECT_EQ(std::sqrt(pairsum(i, j, ncoord, size_t(ntot), x.data())),
                      d[size_t(j - 1) + size_t(i - 1) * ntot])
                << i << " " << j;
}

TEST(prim, chains_and_ties)
{
    struct {
        std::vector<double> x;  // one coordinate
        std::vector<int> from;
        std::vector<double> len;
        int longest;
    } cases[] = {
        // 0, 1, 3, 7: each joins its left neighbour; the last edge, 4, is longest.
        {{0, 1, 3, 7}, {0, 1, 2, 3}, {0, 1, 2, 4}, 4},
        // 7, 0, 3, 1: the same places in another order.
        {{7, 0, 3, 1}, {0, 4, 1, 3}, {0, 1, 4, 2}, 3},
        // Equal edges: the first one joined is named.
        {{0, 1, 2}, {0, 1, 2}, {0, 1, 1}, 2},
        // Object 2 and 3 equally near object 1: the lower number joins first.
        {{0, -1, 1, 5}, {0, 1, 1, 3}, {0, 1, 1, 4}, 4},
        // Two objects at one place: an edge of length 0.
        {{2, 2, 4}, {0, 1, 1}, {0, 0, 2}, 3},
        {{5}, {0}, {0}, 1},
    };
    for (auto& c : cases) {
        int ntot = int(c.x.size());
        std::vector<int> from(static_cast<size_t>(ntot), -1), rest(static_cast<size_t>(ntot));
        std::vector<double> len(static_cast<size_t>(ntot), -1);
        int t = prim(ntot, 1, size_t(ntot), c.x.data(), from.data(), len.data(), rest.data());
        EXPECT_EQ(from, c.from) << ntot << " objects from " << c.x[0];
        EXPECT_EQ(len, c.len) << ntot << " objects from " << c.x[0];
        EXPECT_EQ(t, c.longest) << ntot << " objects from " << c.x[0];
    }
}

// The sorted edge lengths of a minimum spanning tree by Kruskal's method
// over all pairs, with the run's distances.
std::vector<double> kruskal(int ntot, int ncoord, const std::vector<double>& x)
{
    struct pair {
        double d;
        int i, j;
    };
    std::vector<pair> all;
    for (int i = 1; i < ntot; ++i)
        for (int j = i + 1; j <= ntot; ++j)
            all.push_back({std::sqrt(pairsum(i, j, ncoord, size_t(ntot), x.data())), i, j});
    std::sort(all.begin(), all.end(), [](const pair& a, const pair& b) { return a.d < b.d; });
    std::vector<int> root(size_t(ntot) + 1);
    std::iota(root.begin(), root.end(), 0);
    auto find = [&](int i) {
        while (root[size_t(i)] != i) i = root[size_t(i)] = root[size_t(root[size_t(i)])];
        return i;
    };
    std::vector<double> lengths;
    for (const pair& p : all) {
        int a = find(p.i), b = find(p.j);
        if (a != b) {
            root[size_t(a)] = b;
            lengths.push_back(p.d);
        }
    }
    return lengths;
}

TEST(prim, same_edge_lengths_as_kruskal)
{
    // The lengths of a minimum spanning tree do not depend on the tree.
    std::mt19937 g(5);
    for (int ntot : {2, 3, 10, 57, 200}) {
        for (int ncoord = 1; ncoord <= 3; ++ncoord) {
            std::uniform_int_distribution<int> u(0, 40);  // many equal distances
            std::vector<double> x(size_t(ntot) * size_t(ncoord));
            for (double& v : x) v = u(g) * 0.25;
            std::vector<int> from(static_cast<size_t>(ntot)), rest(static_cast<size_t>(ntot));
            std::vector<double> len(static_cast<size_t>(ntot));
            int t = prim(ntot, ncoord, size_t(ntot), x.data(), from.data(), len.data(), rest.data());
            std::vector<double> tree(len.begin() + 1, len.end());
            std::sort(tree.begin(), tree.end());
            std::vector<double> want = kruskal(ntot, ncoord, x);
            EXPECT_EQ(tree, want) << ntot << " objects, " << ncoord << " coordinates";
            EXPECT_EQ(len[size_t(t - 1)], want.back());
            for (int i = 2; i <= ntot; ++i) {
                int f = from[size_t(i - 1)];
                EXPECT_EQ(len[size_t(i - 1)], std::sqrt(pairsum(i, f, ncoord, size_t(ntot), x.data())));
            }
        }
    }
}

TEST(decimal, notation_a_free_form_read_takes)
{
    struct {
        const char* digits;
        int e;
        const char* text;
    } cases[] = {
        {"3", -1, "0.3"},
        {"11", 0, "1.1"},
        {"5", 0, "5"},
        {"12", 3, "1200"},
        {"123456", 2, "123.456"},
        {"29017236258", 1, "29.017236258"},
        {"1500", 0, "1.5"},
        {"25", -6, "0.0000025"},
        {"25", -7, "2.5E-7"},
        {"1", -7, "1E-7"},
        {"1234567890123456", 15, "1234567890123456"},
        {"12", 16, "1.2E16"},
        {"17976931348623157", 308, "1.7976931348623157E308"},
    };
    for (auto c : cases) {
        char out[40];
        int n = decimal(c.digits, int(std::strlen(c.digits)), c.e, out);
        EXPECT_STREQ(out, c.text) << c.digits << " e" << c.e;
        EXPECT_EQ(n, int(std::strlen(c.text)));
        EXPECT_EQ(readreal(out), number(out)) << out;
    }
}

TEST(keeps, the_margin_at_a_tenth_of_the_range)
{
    // Sites at 0 and 0.3: rangmax is 0.3 times float(0.1), the edge 0.3 /
    // rangmax, and the margin 1.0E-10 ranged units, 3.0E-12 in the user's.
    double rangmax = 0.3 * double(0.1f);
    double edge = 0.3 / rangmax;
    EXPECT_TRUE(keeps("0.3", rangmax, edge));
    EXPECT_TRUE(keeps("0.299999999998", rangmax, edge));
    EXPECT_FALSE(keeps("0.299999999996", rangmax, edge));
    EXPECT_FALSE(keeps("0.29", rangmax, edge));
    EXPECT_TRUE(keeps("1E5", rangmax, edge));
    EXPECT_FALSE(keeps("go", rangmax, edge));
    EXPECT_FALSE(keeps("1E999", rangmax, edge));
}

TEST(answer, edges_on_decimal_boundaries)
{
    struct {
        const char* file;
        const char* text;
        int longest, other;  // the objects of the longest edge
        const char* below;   // a shorter limit, outside the margin, that cuts it
    } cases[] = {
        // The margins are 1.0E-10 times rangmax: 3.0E-12, 2.2E-11, 3.0E-12,
        // 4.0E-11, 1.0E-11, 5.0E-11 and 4.0E-11 in the user's units.
        {"2 1 0\n0\n0.3\n", "0.3", 2, 1, "0.299999999996"},
        {"3 1 0\n0\n1.1\n2.2\n", "1.1", 2, 1, "1.09999999997"},
        {"3 1 0\n2.2\n1.1\n0\n", "1.1", 2, 1, "1.09999999997"},
        // The edge from 0.3 to 0.4 computes as 0.10000000000000009.
        {"4 1 0\n0.1\n0.2\n0.3\n0.4\n", "0.1", 4, 3, "0.099999999996"},
        {"2 2 0\n0 0\n3 4\n", "5", 2, 1, "4.99999999995"},
        // Root 2 is 1.41421356237309505: 1.41421356237 lies 3.1E-12 below it,
        // within the margin, 1.4142135624 2.7E-11 above it, beyond, and
        // 1.41421356236 1.3E-11 below it, beyond.
        {"2 2 0\n0 0\n1 1\n", "1.41421356237", 2, 1, "1.41421356236"},
        // The last object is supplementary and makes the longest edge.
        {"2 1 1\n0\n1\n5\n", "4", 3, 2, "3.99999999994"},
        // Edges of 3, which compute as 2.9999999999999996.
        {"3 3 0\n0 0 0\n1 2 2\n2 4 4\n", "3", 2, 1, "2.99999999995"},
    };
    for (auto c : cases) {
        helper h(c.file);
        EXPECT_EQ(h.text, c.text) << c.file;
        EXPECT_EQ(h.longest, c.longest) << c.file;
        EXPECT_EQ(h.from[size_t(h.longest - 1)], c.other) << c.file;
        EXPECT_TRUE(keeps(h.text.c_str(), h.rangmax, h.edge)) << c.file;
        std::vector<double> d = truncated(h, h.text);
        EXPECT_TRUE(treekept(h, d)) << c.file;
        EXPECT_TRUE(connected(h, d)) << c.file;
        d = truncated(h, c.below);
        EXPECT_FALSE(kept(h, d, c.longest, c.other)) << c.file;
        EXPECT_FALSE(connected(h, d)) << c.file;
    }
}

// A coordinates file of ntot objects (nsup of them supplementary), ncoord
// coordinates drawn at random with the given scale, written with the given
// number of decimals.
std::string generated(std::mt19937& g, int n, int nsup, int ncoord, double scale, int decimals)
{
    std::uniform_real_distribution<double> u(-1, 1);
    std::ostringstream s;
    s << n << ' ' << ncoord << ' ' << nsup << '\n';
    s.precision(decimals);
    s << std::fixed;
    for (int i = 0; i < n + nsup; ++i) {
        for (int j = 0; j < ncoord; ++j) s << (j ? " " : "") << u(g) * scale;
        s << '\n';
    }
    return s.str();
}

TEST(answer, keeps_the_tree_of_generated_files)
{
    // 10 to 1000 sites: the answer keeps every tree edge and so connects
    // every object; a limit below the longest edge by more than the margin
    // leaves the objects disconnected.
    std::mt19937 g(2024);
    struct {
        int n, nsup, ncoord;
        double scale;
        int decimals;
    } cases[] = {
        {10, 0, 1, 1, 1},     {10, 0, 2, 100, 0},  {12, 3, 2, 5, 2},     {40, 5, 2, 50, 1},
        {60, 0, 3, 1e-3, 7},  {100, 0, 2, 1e6, 2}, {150, 10, 1, 3, 3},   {200, 0, 2, 0.5, 10},
        {333, 7, 3, 1e4, 1},  {500, 0, 2, 7, 4},   {1000, 0, 2, 1000, 1}, {990, 10, 3, 2, 6},
    };
    for (auto c : cases) {
        helper h(generated(g, c.n, c.nsup, c.ncoord, c.scale, c.decimals));
        std::string what = std::to_string(c.n) + "+" + std::to_string(c.nsup) + " objects, " +
                           std::to_string(c.ncoord) + " coordinates, answer " + h.text;
        double user = h.edge * h.rangmax, margin = limitadd * h.rangmax;
        EXPECT_TRUE(keeps(h.text.c_str(), h.rangmax, h.edge)) << what;
        EXPECT_LE(number(h.text), user + margin) << what;
        std::vector<double> d = truncated(h, h.text);
        EXPECT_TRUE(treekept(h, d)) << what;
        EXPECT_TRUE(connected(h, d)) << what;
        d = truncated(h, digits17(user - 2 * margin));
        EXPECT_FALSE(connected(h, d)) << what;
    }
}

TEST(answer, extreme_divisors)
{
    // A range near the smallest doubles, and one near the largest.
    for (const char* file : {"2 1 0\n0\n1e-315\n", "3 1 0\n0\n3e-310\n1e-309\n",
                             "2 1 0\n-8e307\n8e307\n", "3 2 0\n1e300 1e300\n3e300 5e300\n0 0\n"}) {
        helper h(file);
        ASSERT_FALSE(h.text.empty()) << file;
        EXPECT_TRUE(keeps(h.text.c_str(), h.rangmax, h.edge)) << file << " " << h.text;
        EXPECT_TRUE(treekept(h, truncated(h, h.text))) << file << " " << h.text;
    }
    // An edge whose length in the user's units is beyond the largest double.
    double rangmax = 1.5e308 * double(0.1f);
    double edge = std::sqrt(3.0) * 10;
    char out[40] = "x";
    EXPECT_EQ(answer(edge, rangmax, out), 0);
    EXPECT_STREQ(out, "");
}

}  // namespace
