// Tests of the library's boundary: the variables of an analysis, written by
// the dialogue's own writer, are the files of the transcripts of tests/e2e
// byte for byte; the summary values are those of their reports; every stop
// comes back as a status with the dialogue's words, the process going on;
// two analyses at once on two threads give the bits each gives alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "geo/geodesic.h"
#include "lociweaver.h"
#include "output/output.h"
#include "pcnm/pcnm.h"
#include "testfiles.h"
#include "textio/textio.h"

namespace {

using vec = std::vector<double>;

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string casefile(const std::string& name, const std::string& file)
{
    return slurp(std::string(LW_CASES) + "/" + name + "/" + file);
}

// An analysis that frees itself.
struct analysis {
    lw_analysis* a = lw_new();
    ~analysis() { lw_free(a); }
};

// The sites of a transect of n points 1, 2, ..., n, and of a grid of nx by
// ny points, X varying fastest, as the dialogue generates them.
vec transect(int n)
{
    vec x;
    for (int i = 1; i <= n; ++i) x.push_back(i);
    return x;
}
vec grid(int nx, int ny)
{
    vec x(size_t(2 * nx * ny));
    for (int i = 0; i < nx * ny; ++i) x[size_t(i)] = i % nx + 1, x[size_t(i + nx * ny)] = i / nx + 1;
    return x;
}

// The variables of a, written in the layout by the dialogue's writer.
std::string written(const lw_analysis* a, int layout, int ncoord, int method, int order)
{
    std::unique_ptr<units> io(new units);
    initunits(*io);
    tempdir dir;
    const std::string path = dir.path + "/v.txt";
    io->vars.fd = writeto(path);
    writeout(lw_rows(a), ncoord, lw_count(a), lw_rows(a), lw_variables(a), layout, method, order, io->vars);
    std::string t = slurp(path) + std::string(io->vars.obuf, io->vars.on);
    osclose(io->vars.fd);
    return native(t);
}

// The numbers of the lines of text after the line that starts with prefix,
// up to the first line that holds none.
vec numbersafter(const std::string& text, const std::string& prefix)
{
    vec out;
    std::istringstream in(text);
    bool on = false;
    for (std::string l; std::getline(in, l);) {
        if (!on) {
            on = l.compare(0, prefix.size(), prefix) == 0;
            continue;
        }
        std::istringstream words(l);
        size_t before = out.size();
        for (double v; words >> v;) out.push_back(v);
        if (out.size() == before && before > 0) break;
    }
    return out;
}

}  // namespace

// Whole analyses of the transcripts: the variables through the writer of
// their layout, byte for byte; the eigenvalues and the count of the report.
TEST(api, thevariablesofthetranscripts)
{
    struct tcase {
        const char* name;
        vec xy;
        int n, ncoord;
        double limit;  // PCNM; 0: a polynomial of the order
        int order, layout;
    } cases[] = {
        {"pcnm_transect_limit10_layout1", transect(11), 11, 1, 10, 0, 1},
        {"pcnm_transect_limit10_layout2", transect(11), 11, 1, 10, 0, 2},
        {"poly_grid3x3_order2_layout2", grid(3, 3), 9, 2, 0, 2, 2},
        {"poly_transect5_order2_layout1", transect(5), 5, 1, 0, 2, 1},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.name);
        analysis an;
        ASSERT_EQ(lw_sites(an.a, c.n, 0, c.ncoord, c.xy.data()), LW_OK);
        ASSERT_EQ(c.limit > 0 ? lw_pcnm(an.a, c.limit) : lw_polynomial(an.a, c.order), LW_OK);
        ASSERT_EQ(lw_run(an.a), LW_OK) << lw_message(an.a);
        EXPECT_EQ(written(an.a, c.layout, c.ncoord, c.limit > 0 ? 1 : 2, c.order), casefile(c.name, "out/files/v.txt"));
        if (c.limit > 0) {
            vec want = numbersafter(casefile(c.name, "out/files/r.txt"), " Eigenvalues of the PCoA:");
            ASSERT_EQ(want.size(), size_t(c.n));
            for (int k = 0; k < c.n; ++k) EXPECT_NEAR(lw_eigenvalues(an.a)[k], want[size_t(k)], 5e-7) << k;
        }
    }
}

// The 11-point transect, limit 1 (scaled 1 over the ranging divisor ten
// times the single-precision 0.1, plus the single-precision 1e-10): the
// worked example's eigenvalues (positive sum 80.380657, negative sum
// -14.017023, trace 66.363634 by hand from them), and the Moran's I of each variable,
// (n / S0) (lambda - 8 t^2) / (8 t^2) for the weights of the run.
TEST(api, theworkedexample)
{
    analysis an;
    const vec x = transect(11);
    ASSERT_EQ(lw_sites(an.a, 11, 0, 1, x.data()), LW_OK);
    ASSERT_EQ(lw_pcnm(an.a, 1), LW_OK);
    ASSERT_EQ(lw_run(an.a), LW_OK) << lw_message(an.a);
    const double rangmax = 10 * double(0.1f), t = 1 / rangmax + double(1.0e-10f);
    EXPECT_EQ(lw_rangmax(an.a), rangmax);
    EXPECT_EQ(lw_scaledlimit(an.a), t);
    const double eig[11] = {20.990380, 18.968584, 15.500000, 12.147834, 8.000000, 4.273859,
                            0.500000,  0,         -2.544928, -4.990381, -6.481714};
    for (int k = 0; k < 11; ++k) EXPECT_NEAR(lw_eigenvalues(an.a)[k], eig[k], 5e-7) << k;
    EXPECT_EQ(lw_count(an.a), 7);
    double sums[3];
    ASSERT_EQ(lw_sums(an.a, sums), LW_OK);
    EXPECT_NEAR(sums[0], 80.380657, 1e-5);
    EXPECT_NEAR(sums[1], -14.017023, 1e-5);
    EXPECT_NEAR(sums[2], 66.363634, 1e-5);
    // Neighbours at distance 1 / rangmax: weight 1 - (d / 4t)^2, 10 pairs, both ways.
    const double d = 1 / rangmax, s0 = 20 * (1 - (d / (4 * t)) * (d / (4 * t)));
    for (int k = 0; k < 7; ++k)
        EXPECT_NEAR(lw_moran(an.a)[k], 11 / s0 * (eig[k] - 8 * t * t) / (8 * t * t), 1e-5) << k;
}

// Supplementary sites: the correlation check of the report, and its
// standardised variables (mean 0, standard deviation 1 over the main sites).
TEST(api, supplementarysites)
{
    analysis an;
    const vec x = {0, 1, 2, 3, 10};
    ASSERT_EQ(lw_sites(an.a, 4, 1, 1, x.data()), LW_OK);
    ASSERT_EQ(lw_pcnm(an.a, 20), LW_OK);
    ASSERT_EQ(lw_run(an.a), LW_OK) << lw_message(an.a);
    const std::string report = casefile("pcnm_supplementary_correlation", "out/files/r.txt");
    vec want = numbersafter(report, " Eigenvalues of the PCoA:");
    ASSERT_EQ(want.size(), 5u);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(lw_eigenvalues(an.a)[k], want[size_t(k)], 5e-7) << k;
    char line[128];
    std::snprintf(line, sizeof line, "spatial variables: %6.4f", lw_correlation(an.a));
    EXPECT_NE(report.find(line), std::string::npos) << line;
    for (int j = 0; j < lw_count(an.a); ++j) {
        double sum = 0, sq = 0;
        for (int i = 0; i < 4; ++i) sum += lw_variables(an.a)[i + 4 * j], sq += std::pow(lw_variables(an.a)[i + 4 * j], 2);
        EXPECT_NEAR(sum, 0, 1e-14);
        EXPECT_NEAR(sq / 3, 1, 1e-14);
    }
}

// Every stop of the dialogue comes back as a status and its words, the
// results empty; the handle serves the next analysis.
TEST(api, everystopisastatus)
{
    const double nan = std::nan("");
    struct scase {
        const char* what;
        vec xy;
        int n, nsup, ncoord;
        double limit;
        int order, status;
        const char* message;
    } cases[] = {
        {"every site at one place", {4, 4, 4, 5, 5, 5}, 3, 0, 2, 1, 0, LW_SAMEPLACE,
         "All the objects have the same coordinates: no spatial variable can be built."},
        {"a range that overflows", {-1.7e308, 1.7e308}, 2, 0, 1, 1, 0, LW_TOOWIDE,
         "The coordinates span too wide a range to be computed."},
        {"a limit below every distance", transect(11), 11, 0, 1, 0.5, 0, LW_TOOMANY,
         "There are too many PCNMs: R-square=1, not signif. Choose a lower truncation limit."},
        {"too many iterations", transect(3), 3, 0, 1, -1e308, 0, LW_ITERATIONS, "Too many iterations in TQLI"},
        {"a variable of zero variance", {0, 0, 2, 2, 0, 1, 0, 1}, 2, 2, 2, 100, 0, LW_ZEROVARIANCE,
         "Variance nulle pour variable X no  1"},
        {"a polynomial of three coordinates", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 0, 3, 0, 2, LW_BADINPUT,
         "a polynomial is computed of one or two coordinates, not 3"},
        {"too many monomials", grid(2, 2), 4, 0, 2, 0, 2, LW_BADINPUT,
         "A polynomial of order 2 leads to a spatial matrix containing 5 monomials, which is too many: "
         "more monomials than (number of objects - 1)."},
        {"a coordinate that is not a number", {1, nan, 3}, 3, 0, 1, 1, 0, LW_BADINPUT,
         "coordinate 1 of site 2 is not a finite number"},
        {"no site", {1}, 0, 0, 1, 1, 0, LW_BADINPUT, "the sites need at least one main site and 1 to 3 coordinates"},
        {"one site for PCNM", {1}, 1, 0, 1, 1, 0, LW_BADINPUT, "a PCNM analysis needs two sites or more"},
        {"order 6", transect(9), 9, 0, 1, 0, 6, LW_BADINPUT, "the polynomial's order is 2 to 5, not 6"},
    };
    analysis an;
    for (const scase& c : cases) {
        SCOPED_TRACE(c.what);
        int status = lw_sites(an.a, c.n, c.nsup, c.ncoord, c.xy.data());
        if (status == LW_OK) status = c.order > 0 ? lw_polynomial(an.a, c.order) : lw_pcnm(an.a, c.limit);
        if (status == LW_OK) status = lw_run(an.a);
        EXPECT_EQ(status, c.status);
        EXPECT_STREQ(lw_message(an.a), c.message);
        EXPECT_EQ(lw_count(an.a), 0);
        EXPECT_EQ(lw_variables(an.a), nullptr);
        // The same handle, a good analysis.
        const vec x = transect(5);
        ASSERT_EQ(lw_sites(an.a, 5, 0, 1, x.data()), LW_OK);
        ASSERT_EQ(lw_pcnm(an.a, 1), LW_OK);
        EXPECT_EQ(lw_run(an.a), LW_OK);
        EXPECT_STREQ(lw_message(an.a), "");
    }
}

// Two analyses at once on two threads, each with its own thread count, and
// again one after the other: the bits of each analysis alone.
TEST(api, twoanalysesatonce)
{
    struct job {
        int n, threads;
        vec xy, vars, eig;
        bool same = true;
    };
    auto sites = [](int n) {
        vec xy(size_t(2 * n));
        for (int i = 0; i < 2 * n; ++i) xy[size_t(i)] = std::fmod(i * 0.618033988749895, 1.0) * 100;
        return xy;
    };
#ifdef LW_EMULATED
    const int big = 90, small = 70;
#else
    const int big = 300, small = 260;  // both share their work from 200 on
#endif
    std::vector<job> jobs = {{big, 2, sites(big), {}, {}}, {small, 1, sites(small), {}, {}}};
    auto run = [](job& j, vec& vars, vec& eig) {
        analysis an;
        lw_sites(an.a, j.n, 0, 2, j.xy.data());
        lw_pcnm(an.a, 15);
        lw_threads(an.a, j.threads);
        if (lw_run(an.a) != LW_OK) return false;
        vars.assign(lw_variables(an.a), lw_variables(an.a) + size_t(j.n) * size_t(lw_count(an.a)));
        eig.assign(lw_eigenvalues(an.a), lw_eigenvalues(an.a) + j.n);
        return true;
    };
    for (job& j : jobs) ASSERT_TRUE(run(j, j.vars, j.eig));
    std::vector<std::thread> running;
    for (job& j : jobs)
        running.emplace_back([&j, &run] {
            for (int round = 0; round < 3; ++round) {
                vec vars, eig;
                j.same = j.same && run(j, vars, eig) && vars.size() == j.vars.size() &&
                         std::memcmp(vars.data(), j.vars.data(), vars.size() * sizeof(double)) == 0 &&
                         std::memcmp(eig.data(), j.eig.data(), eig.size() * sizeof(double)) == 0;
            }
        });
    for (std::thread& t : running) t.join();
    for (const job& j : jobs) EXPECT_TRUE(j.same) << j.n << " sites, " << j.threads << " threads";
}

// Every vector width the processor runs gives the bits of the default; the
// others, and widths that are none, are refused with a message.
TEST(api, vectorwidths)
{
    vec xy = grid(12, 10);
    auto run = [&](int width, vec& vars) -> int {
        analysis an;
        lw_sites(an.a, 120, 0, 2, xy.data());
        lw_pcnm(an.a, 2.5);
        int status = lw_vectors(an.a, width);
        if (status != LW_OK) return status;
        EXPECT_EQ(lw_run(an.a), LW_OK) << width;
        vars.assign(lw_variables(an.a), lw_variables(an.a) + size_t(120) * size_t(lw_count(an.a)));
        return LW_OK;
    };
    vec best;
    ASSERT_EQ(run(0, best), LW_OK);
    ASSERT_FALSE(best.empty());
    int accepted = 0;
    for (int width : {2, 4, 8}) {
        vec vars;
        if (run(width, vars) != LW_OK) continue;
        ++accepted;
        EXPECT_TRUE(vars.size() == best.size() &&
                    std::memcmp(vars.data(), best.data(), vars.size() * sizeof(double)) == 0)
            << width;
    }
    EXPECT_GE(accepted, 2);  // the baseline and the four-wide path run everywhere
    for (int width : {-1, 1, 3, 16}) {
        analysis an;
        EXPECT_EQ(lw_vectors(an.a, width), LW_BADINPUT) << width;
        EXPECT_STREQ(lw_message(an.a), "the vector width is 0 (the widest), 2, 4 or 8") << width;
    }
}

// New sites placed in an analysis: against the formula for an added point
// summed over every analysed site in long double from the test's own
// distances; at the places of the analysed sites, those sites' values;
// the same bits for every thread count; the refusals.  After the whole
// decomposition and after the leading variables alone; the last new site
// beyond the limit of every analysed site.
TEST(api, newsites)
{
    vec out;
    for (int first : {0, 20}) {
        const int n = 90, m = 260;  // the new sites are shared from 200 on
        vec xy(2 * n), at(2 * m);
        for (int i = 0; i < n; ++i) xy[size_t(i)] = std::fmod(i * 0.618033988749895, 1.0) * 100,
                                    xy[size_t(i + n)] = std::fmod(i * 0.414213562373095, 1.0) * 60;
        for (int o = 0; o < m; ++o) at[size_t(o)] = o % 26 * 4.3 - 5, at[size_t(o + m)] = o / 26 * 7.1 - 3;
        at[size_t(m - 1)] = 1000, at[size_t(2 * m - 1)] = -1000;
        analysis an;
        lw_sites(an.a, n, 0, 2, xy.data());
        lw_pcnm(an.a, 18);
        lw_first(an.a, first);
        ASSERT_EQ(lw_run(an.a), LW_OK);
        const int k = lw_count(an.a);
        ASSERT_GT(k, 5);
        const double* pc = lw_variables(an.a);
        const double* eig = lw_eigenvalues(an.a);
        const double r = lw_rangmax(an.a), t = lw_scaledlimit(an.a);
        double lo[2] = {xy[0], xy[size_t(n)]};
        for (int i = 0; i < n; ++i) lo[0] = std::min(lo[0], xy[size_t(i)]), lo[1] = std::min(lo[1], xy[size_t(i + n)]);
        auto half = [&](const double* p, int ldp, int i) {  // -d*^2/2 of point p to site i
            long double dx = (p[0] - lo[0]) / r - (xy[size_t(i)] - lo[0]) / r;
            long double dy = (p[ldp] - lo[1]) / r - (xy[size_t(i + n)] - lo[1]) / r;
            long double d = std::sqrt(dx * dx + dy * dy);
            if (d > t) d = 4 * (long double)t;
            return -d * d / 2;
        };
        std::vector<long double> mean(size_t(n), 0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) mean[size_t(i)] += i == j ? 0 : half(&xy[size_t(j)], n, i) / n;
        auto largest = [&](int j) {
            double v = 0;
            for (int i = 0; i < n; ++i) v = std::max(v, std::fabs(pc[size_t(i + j * n)]));
            return v;
        };

        out.assign(size_t(m) * size_t(k), 0.0);
        ASSERT_EQ(lw_place(an.a, m, at.data(), out.data()), LW_OK);
        for (int j = 0; j < k; ++j)
            for (int o = 0; o < m; ++o) {
                long double s = 0;
                for (int i = 0; i < n; ++i) s += pc[size_t(i + j * n)] * (half(&at[size_t(o)], m, i) - mean[size_t(i)]);
                ASSERT_NEAR(out[size_t(o + j * m)], double(s / eig[j]), 1e-9 * largest(j)) << o << " " << j << " " << first;
            }

        // The solver ends when the off-diagonal elements fall below 1e-8: its
        // pairs carry residuals r of that order, and site j's placed value k
        // differs from its own by sqrt(eig(k)) r(j) / eig(k).
        vec self(size_t(n) * size_t(k));
        ASSERT_EQ(lw_place(an.a, n, xy.data(), self.data()), LW_OK);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < n; ++i)
                ASSERT_NEAR(self[size_t(i + j * n)], pc[size_t(i + j * n)], 1e-7 / std::sqrt(eig[j])) << i << " " << j << " " << first;

        for (int threads : {1, 2, 3}) {
            lw_threads(an.a, threads);
            vec again(out.size());
            ASSERT_EQ(lw_place(an.a, m, at.data(), again.data()), LW_OK);
            EXPECT_EQ(std::memcmp(again.data(), out.data(), out.size() * sizeof(double)), 0) << threads;
        }
    }
    const int n = 90, m = 260;
    vec xy(2 * n, 0.0), at(2 * m, 0.0);
    for (int i = 0; i < n; ++i) xy[size_t(i)] = std::fmod(i * 0.618033988749895, 1.0) * 100;
    analysis an;
    lw_sites(an.a, n, 0, 2, xy.data());
    lw_pcnm(an.a, 18);
    ASSERT_EQ(lw_run(an.a), LW_OK);

    analysis fresh, poly;
    EXPECT_EQ(lw_place(fresh.a, 1, at.data(), out.data()), LW_NOTRUN);
    lw_sites(poly.a, n, 0, 2, xy.data());
    lw_polynomial(poly.a, 2);
    ASSERT_EQ(lw_run(poly.a), LW_OK);
    EXPECT_EQ(lw_place(poly.a, 1, at.data(), out.data()), LW_BADINPUT);
    vec bad = {1, std::nan("")};
    EXPECT_EQ(lw_place(an.a, 1, bad.data(), out.data()), LW_BADINPUT);
    EXPECT_STREQ(lw_message(an.a), "coordinate 2 of new site 1 is not a finite number");
}

// With supplementary sites the placed values are standardised as the main
// sites were: at the main sites' places, the variables as returned (to the
// solver's residuals, over the standard deviations).
TEST(api, newsitesstandardised)
{
    const int n = 60, nsup = 6;
    vec xy(2 * (n + nsup));
    for (int i = 0; i < n + nsup; ++i) xy[size_t(i)] = std::fmod(i * 0.618033988749895, 1.0) * 50,
                                       xy[size_t(i + n + nsup)] = std::fmod(i * 0.754877666246693, 1.0) * 50;
    for (int first : {0, 20}) {
        analysis an;
        lw_sites(an.a, n, nsup, 2, xy.data());
        lw_pcnm(an.a, 12);
        lw_first(an.a, first);
        ASSERT_EQ(lw_run(an.a), LW_OK);
        const int k = lw_count(an.a);
        vec mains(2 * n), out(size_t(n) * size_t(k));
        for (int i = 0; i < n; ++i) mains[size_t(i)] = xy[size_t(i)], mains[size_t(i + n)] = xy[size_t(i + n + nsup)];
        ASSERT_EQ(lw_place(an.a, n, mains.data(), out.data()), LW_OK);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < n; ++i)
                ASSERT_NEAR(out[size_t(i + j * n)], lw_variables(an.a)[size_t(i + j * n)], 1e-6) << i << " " << j << " " << first;
    }
}

// The tree's limit of lociweaver-threshold's transcripts: the answer's text,
// and the double it reads as.
TEST(api, thetreelimit)
{
    struct tcase {
        vec xy;
        int n, ncoord;
        const char* text;
        double limit;
    } cases[] = {
        {{0, 1, 0, 1}, 2, 2, "1.41421356237", 1.41421356237},
        {{0, 1.1, 2.2}, 3, 1, "1.1", 1.1},
        {{0, 0.3}, 2, 1, "0.3", 0.3},
    };
    for (const tcase& c : cases) {
        analysis an;
        ASSERT_EQ(lw_sites(an.a, c.n, 0, c.ncoord, c.xy.data()), LW_OK);
        double limit = 0;
        char text[40] = "";
        ASSERT_EQ(lw_treelimit(an.a, &limit, text), LW_OK) << lw_message(an.a);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(limit, c.limit);
    }
    analysis one;
    const vec x = {5, 5};
    lw_sites(one.a, 2, 0, 1, x.data());
    double limit = 0;
    EXPECT_EQ(lw_treelimit(one.a, &limit, nullptr), LW_SAMEPLACE);
}

// The progress callback: told on the calling thread, fractions in order,
// the end told last; a nonzero answer cancels the analysis at once, and the handle's next run gives the bits of an analysis that
// was never cancelled.
TEST(api, progressandcancel)
{
    struct seen {
        int calls = 0, cancelat = 0, ends = 0;
        double last = -1;
        bool ordered = true, ownthread = true;
        std::thread::id caller = std::this_thread::get_id();
    };
    auto tell = [](void* c, const char* what, int, double done, double) -> int {
        seen& s = *static_cast<seen*>(c);
        s.ownthread = s.ownthread && std::this_thread::get_id() == s.caller;
        if (!what) return ++s.ends, 0;
        s.ordered = s.ordered && done >= s.last && done <= 1 + 1e-9;
        s.last = done;
        return ++s.calls == s.cancelat;
    };
    vec xy(600);
    for (int i = 0; i < 600; ++i) xy[size_t(i)] = std::fmod(i * 0.618033988749895, 1.0) * 100;
    auto run = [&](seen* s, vec& vars) {
        analysis an;
        lw_sites(an.a, 300, 0, 2, xy.data());
        lw_pcnm(an.a, 15);
        lw_threads(an.a, 2);
        if (s) lw_progress(an.a, tell, s, 1);
        int status = lw_run(an.a);
        if (status == LW_OK) vars.assign(lw_variables(an.a), lw_variables(an.a) + 300 * size_t(lw_count(an.a)));
        return status;
    };
    vec alone, told, again;
    ASSERT_EQ(run(nullptr, alone), LW_OK);
    seen all;
    ASSERT_EQ(run(&all, told), LW_OK);
    EXPECT_GE(all.calls, 1);
    EXPECT_EQ(all.ends, 1);
    EXPECT_TRUE(all.ordered && all.ownthread);
    EXPECT_TRUE(told == alone);
    // Told from the first step (always): a cancel there stops the reduction
    // at its first step, the last one told.
    for (int at : {1}) {
        seen s;
        s.cancelat = at;
        analysis an;
        lw_sites(an.a, 300, 0, 2, xy.data());
        lw_pcnm(an.a, 15);
        lw_progress(an.a, tell, &s, 1);
        EXPECT_EQ(lw_run(an.a), LW_CANCELLED) << at;
        EXPECT_STREQ(lw_message(an.a), "the analysis was cancelled");
        EXPECT_EQ(lw_variables(an.a), nullptr);
        EXPECT_EQ(s.calls, at) << "told again after the cancel";
        lw_progress(an.a, nullptr, nullptr, 0);
        ASSERT_EQ(lw_run(an.a), LW_OK);
        again.assign(lw_variables(an.a), lw_variables(an.a) + 300 * size_t(lw_count(an.a)));
        EXPECT_TRUE(again == alone) << at;
    }
}

// ---------------------------------------------------------------- longitude and latitude

namespace {

// n sites in the box of longitudes lon0..lon1 (east of 180 written west of
// it) and latitudes lat0..lat1, spread by the golden ratio; longitude
// column first.
vec lonlatbox(int n, double lon0, double lon1, double lat0, double lat1)
{
    vec ll(size_t(2 * n));
    for (int i = 0; i < n; ++i) {
        double f = (i * 0.6180339887498949) - std::floor(i * 0.6180339887498949);
        double lon = lon0 + (lon1 - lon0) * f, lat = lat0 + (lat1 - lat0) * (i + 0.5) / n;
        ll[size_t(i)] = lon > 180 ? lon - 360 : lon;
        ll[size_t(i + n)] = lat;
    }
    return ll;
}

class lonlat : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!geoavailable()) GTEST_SKIP() << "this build has no GeographicLib";
    }
};

}  // namespace

// Without GeographicLib longitude and latitude are refused, never measured
// otherwise.
TEST(lonlatbuild, refusedwithoutgeographiclib)
{
    analysis an;
    if (geoavailable()) GTEST_SKIP() << "this build has GeographicLib";
    EXPECT_EQ(lw_lonlat(an.a, 1), LW_NOGEODESIC);
    EXPECT_STREQ(lw_message(an.a), geomissing);
    EXPECT_EQ(lw_lonlat(an.a, 0), LW_OK);
}

// The PCNM variables of sites across the meridian of 180 degrees (two of
// them at one place) are those of the dense routines given the test's own
// matrix of geodesic distances, bit for bit; nothing is ranged, the limit
// is in km; the leading variables agree; the analysed sites placed again,
// their longitudes written east of 180, get their own variables.
TEST_F(lonlat, thedensepathonthegeodesicmatrix)
{
    const int n = 60;
    vec ll = lonlatbox(n, 170, 192, -10, 12);
    ll[5] = ll[17], ll[size_t(5 + n)] = ll[size_t(17 + n)];
    const double limit = 400;
    analysis an;
    ASSERT_EQ(lw_sites(an.a, n, 0, 2, ll.data()), LW_OK);
    ASSERT_EQ(lw_lonlat(an.a, 1), LW_OK);
    ASSERT_EQ(lw_pcnm(an.a, limit), LW_OK);
    ASSERT_EQ(lw_run(an.a), LW_OK) << lw_message(an.a);
    EXPECT_EQ(lw_rangmax(an.a), 1.0);
    EXPECT_EQ(lw_scaledlimit(an.a), limit + double(1.0e-10f));

    const size_t m = size_t(n);
    vec d(m * m), eig(m), off(m), x(m * m), mean(m), row(m), work(m * m);
    std::vector<int> perm(m);
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            d[size_t(j) + size_t(i) * n] = geodist(ll[size_t(i)], ll[size_t(i + n)], ll[size_t(j)], ll[size_t(j + n)]);
    truncate(n, n, d.data(), limit + double(1.0e-10f));
    int npos = 0;
    pcoasums sums;
    pcoa(n, n, perm.data(), d.data(), eig.data(), off.data(), x.data(), mean.data(), row.data(), npos, sums,
         work.data());
    ASSERT_EQ(lw_count(an.a), npos);
    ASSERT_GT(npos, 5);
    for (int k = 0; k < n; ++k) EXPECT_EQ(lw_eigenvalues(an.a)[k], eig[size_t(k)]) << k;
    const double* v = lw_variables(an.a);
    for (size_t e = 0; e < size_t(n) * size_t(npos); ++e) ASSERT_EQ(v[e], x[e]) << e;
    for (int k = 0; k < npos; ++k)
        EXPECT_NEAR(v[5 + size_t(k) * n], v[17 + size_t(k) * n], 1e-9 * std::fabs(eig[0])) << "two sites at one place";

    // The leading variables, from the pairs within the limit alone.
    const int lead = 4;
    analysis first;
    lw_sites(first.a, n, 0, 2, ll.data());
    lw_lonlat(first.a, 1);
    lw_pcnm(first.a, limit);
    lw_first(first.a, lead);
    ASSERT_EQ(lw_run(first.a), LW_OK) << lw_message(first.a);
    ASSERT_EQ(lw_count(first.a), lead);
    for (int k = 0; k < lead; ++k) {
        EXPECT_NEAR(lw_eigenvalues(first.a)[k], eig[size_t(k)], 1e-9 * eig[0]) << k;
        double dot = 0, top = 0;
        for (int i = 0; i < n; ++i) dot += v[i + size_t(k) * n] * lw_variables(first.a)[i + size_t(k) * n];
        for (int i = 0; i < n; ++i) top = std::fmax(top, std::fabs(v[i + size_t(k) * n]));
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(lw_variables(first.a)[i + size_t(k) * n], (dot < 0 ? -1 : 1) * v[i + size_t(k) * n], 1e-6 * top);
    }

    // The sites placed again, west longitudes written east of 180.
    vec again(ll), out(size_t(n) * size_t(npos));
    for (int i = 0; i < n; ++i)
        if (again[size_t(i)] < 0) again[size_t(i)] += 360;
    ASSERT_EQ(lw_place(an.a, n, again.data(), out.data()), LW_OK) << lw_message(an.a);
    for (int k = 0; k < npos; ++k) {
        double top = 0;
        for (int i = 0; i < n; ++i) top = std::fmax(top, std::fabs(v[i + size_t(k) * n]));
        for (int i = 0; i < n; ++i) EXPECT_NEAR(out[i + size_t(k) * n], v[i + size_t(k) * n], 1e-7 * top) << i << " " << k;
    }
    // The Moran's I over the pairs within the limit.
    ASSERT_NE(lw_moran(an.a), nullptr);
    EXPECT_GT(lw_moran(an.a)[0], 0.5);

    // The tree's limit keeps the longest edge of the geodesic tree, within
    // the margin the answer may take.
    double tree = 0;
    char text[40];
    ASSERT_EQ(lw_treelimit(an.a, &tree, text), LW_OK);
    int a = 0, b = 0;
    double len = 0;
    geotree(n, n, ll.data(), a, b, len);
    EXPECT_GE(tree + double(1.0e-10f), len);
    EXPECT_LE(tree, len + 1e-9);
}

TEST_F(lonlat, refusals)
{
    const struct {
        const char* what;
        int ncoord;
        vec xy;
        int method;  // 1 PCNM, 2 a polynomial, 3 the tree's limit
        int status;
        const char* message;
    } cases[] = {
        {"a latitude of 91", 2, {0, 1, 2, 10, 20, 91}, 1, LW_BADINPUT,
         "site 3, latitude 91: a latitude lies from -90 to 90 degrees"},
        {"a longitude of -181", 2, {0, -181, 2, 10, 20, 30}, 1, LW_BADINPUT,
         "site 2, longitude -181: a longitude lies from -180 to 360 degrees"},
        {"a longitude of 361, for the tree", 2, {361, 1, 2, 10, 20, 30}, 3, LW_BADINPUT,
         "site 1, longitude 361: a longitude lies from -180 to 360 degrees"},
        {"three coordinates", 3, {0, 1, 2, 3, 4, 5}, 1, LW_BADINPUT, "longitude and latitude are two coordinates, not 3"},
        {"a polynomial", 2, {0, 1, 2, 10, 20, 30, 40, 50}, 2, LW_BADINPUT,
         "longitude and latitude are for PCNM variables, not for a polynomial"},
        {"every site at the north pole", 2, {0, 90, -45, 90, 90, 90}, 1, LW_SAMEPLACE,
         "All the sites are at one place: no spatial variable can be built."},
        {"every site at one place, for the tree", 2, {180, -180, 180, 5, 5, 5}, 3, LW_SAMEPLACE,
         "All the sites are at one place: no spatial variable can be built."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        analysis an;
        const int n = int(c.xy.size()) / c.ncoord;
        ASSERT_EQ(lw_sites(an.a, n, 0, c.ncoord, c.xy.data()), LW_OK);
        lw_lonlat(an.a, 1);
        int status;
        if (c.method == 3) {
            double limit = 0;
            status = lw_treelimit(an.a, &limit, nullptr);
        } else {
            if (c.method == 1)
                lw_pcnm(an.a, 100);
            else
                lw_polynomial(an.a, 2);
            status = lw_run(an.a);
        }
        EXPECT_EQ(status, c.status);
        EXPECT_STREQ(lw_message(an.a), c.message);
    }
    // A new site outside the ranges.
    analysis an;
    vec ll = lonlatbox(20, 0, 10, 0, 10), bad = {361, 5};
    lw_sites(an.a, 20, 0, 2, ll.data());
    lw_lonlat(an.a, 1);
    lw_pcnm(an.a, 300);
    ASSERT_EQ(lw_run(an.a), LW_OK) << lw_message(an.a);
    vec out(size_t(lw_count(an.a)));
    EXPECT_EQ(lw_place(an.a, 1, bad.data(), out.data()), LW_BADINPUT);
    EXPECT_STREQ(lw_message(an.a), "new site 1, longitude 361: a longitude lies from -180 to 360 degrees");
}
