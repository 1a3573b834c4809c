// Ranging site coordinates, on storage of the test's own, and the counts of
// a coordinates file that the transcripts under tests/e2e leave out.  They
// pin the rest of the reading (counts, refusals, groups over lines, labels,
// short files), the messages of the ranging on the console and the report
// that the dialogue writes, and its trace (coords_*, ranging_*, grid_trace_ranging, *_trace).
#include <gtest/gtest.h>


#include <cmath>
#include <limits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sites/limit.h"
#include "sites/sites.h"
#include "testfiles.h"
#include "textio/textio.h"

namespace {

const int ld = 16;

// Streams whose console and report go to the null device; close() closes them.
struct quiet {
    std::unique_ptr<units> io = std::make_unique<units>();
    quiet()
    {
        initunits(*io);
        io->out.fd = io->report.fd = nullfd();
    }
    void close()
    {
        flushs(io->out);
        flushs(io->report);
        osclose(io->out.fd);
    }
};

// One ranging of rows of ncoord values.
struct ranged {
    std::vector<double> x = std::vector<double>(size_t(ld) * 3, 0.0);
    double vmin[3] = {}, vrange[3] = {}, rangmax = -1;
    const char* refusal = "none";

    ranged(int ncoord, int method, const std::vector<double>& rows)
    {
        int ntot = int(rows.size()) / ncoord;
        for (int i = 0; i < ntot; ++i)
            for (int j = 0; j < ncoord; ++j) x[size_t(i + j * ld)] = rows[size_t(i * ncoord + j)];
        refusal = rangecoords(ntot, ncoord, ld, x.data(), vmin, vrange, rangmax, method);
    }
    double at(int i, int j) const { return x[size_t(i - 1) + size_t(j - 1) * ld]; }
};

// The 11 values (first + i) / divisor, i = 0..10.
std::vector<double> transect(double first, double divisor)
{
    std::vector<double> v;
    for (int i = 0; i <= 10; ++i) v.push_back((first + i) / divisor);
    return v;
}

TEST(rangecoords, one_divisor_for_all_coordinates_and_objects)
{
    struct {
        int ncoord, method;
        std::vector<double> rows;
        double rangmax;
        std::vector<double> vmin, vrange, want;  // want: the ranged rows
    } cases[] = {
        // 1..11: shifted to 0..10, divided by 10 * float(0.1) for PCNM, by 10
        // for the polynomial.
        {1, 1, transect(1, 1), 1.0000000149011612, {1}, {10}, transect(0, 1.0000000149011612)},
        {1, 2, transect(1, 1), 10, {1}, {10}, transect(0, 10)},
        // Ranges 4, 2 and 0: all divided by the largest; the constant one is zeros.
        {3, 2, {3, 7, 5, 7, 8, 5, 5, 9, 5}, 4, {3, 7, 5}, {4, 2, 0},
         {0, 0, 0, 1, 0.25, 0, 0.5, 0.5, 0}},
        // A supplementary -4 (the last row) moves the origin and the divisor.
        {1, 2, {2, 3, 4, -4}, 8, {-4}, {8}, {0.75, 0.875, 1, 0}},
    };
    for (auto& c : cases) {
        ranged r(c.ncoord, c.method, c.rows);
        SCOPED_TRACE(testing::Message() << c.rows.size() << " values, method " << c.method);
        EXPECT_EQ(r.refusal, nullptr);
        EXPECT_EQ(r.rangmax, c.rangmax);
        EXPECT_EQ(std::vector<double>(r.vmin, r.vmin + c.ncoord), c.vmin);
        EXPECT_EQ(std::vector<double>(r.vrange, r.vrange + c.ncoord), c.vrange);
        for (int j = 1; j <= c.ncoord; ++j)
            for (int i = 1; i <= int(c.rows.size()) / c.ncoord; ++i)
                EXPECT_EQ(r.at(i, j), c.want[size_t((i - 1) * c.ncoord + j - 1)])
                    << "row " << i << " column " << j;
    }
}

TEST(rangecoords, degenerate_ranges_refused_before_dividing)
{
    // After the shift the second site is 0 (all at one place, divisor 0) or
    // infinity (1e308 - -1e308, divisor infinity); a division makes NaN.
    struct {
        double a, b, shifted;
        const char* refusal;
    } cases[] = {
        {4, 4, 0, "All the objects have the same coordinates: no spatial variable can be built."},
        {-1e308, 1e308, INFINITY, "The coordinates span too wide a range to be computed."},
    };
    for (auto& c : cases) {
        ranged r(1, 1, {c.a, c.b});
        EXPECT_STREQ(r.refusal, c.refusal) << c.a;
        EXPECT_EQ(r.at(1, 1), 0.0) << c.a;
        EXPECT_EQ(r.at(2, 1), c.shifted) << c.a;
    }
}

TEST(readheader, counts_below_those_of_the_transcripts)
{
    // The transcripts refuse 0 objects, 4 coordinates, -1 supplementary.
    struct { const char *text, *refusal; } cases[] = {
        {"-3 2 0\n", "The number of objects must be at least 1."},
        {"4 0 0\n", "The number of coordinates must be 1, 2 or 3."},
    };
    for (auto& c : cases) {
        quiet q;
        tempdir dir;
        int n, ncoord, nsup;
        q.io->coord.fd = textfd(dir.path, c.text);
        EXPECT_STREQ(readheader(q.io->coord, n, ncoord, nsup), c.refusal) << c.text;
        closes(q.io->coord);
        q.close();
    }
}

// The limit in ranged units: first divided by the divisor, then the margin
// added.  With a divisor of 4 the run's limit for 1 is 0.25 + 1.0E-10 (the
// division is exact), where adding first would give (1 + 1.0E-10) / 4 =
// 0.25 + 2.5E-11: a distance of 0.25 + 5E-11 lies between the two and is
// kept.  With a divisor of 0.5 the run's limit is 2 + 1.0E-10, adding first
// 2 + 2.0E-10: a distance of 2 + 1.5E-10 lies between them and is cut.
TEST(limit, divided_first_then_the_margin_added)
{
    EXPECT_EQ(limitadd, 1.000000013351432e-10);
    EXPECT_EQ(limitadd, double(1.0e-10f));
    EXPECT_EQ(scaledlimit(1, 4), 0.25 + limitadd);
    EXPECT_NE(scaledlimit(1, 4), (1 + limitadd) / 4);
    EXPECT_TRUE(within(0.25 + 5e-11, scaledlimit(1, 4)));
    EXPECT_FALSE(within(0.25 + 5e-11, (1 + limitadd) / 4));
    EXPECT_EQ(scaledlimit(1, 0.5), 2 + limitadd);
    EXPECT_FALSE(within(2 + 1.5e-10, scaledlimit(1, 0.5)));
    EXPECT_TRUE(within(2 + 1.5e-10, (1 + limitadd) / 0.5));
}

// A distance is cut only when it is strictly greater than the limit: equal
// is kept, the next double up is cut, and a distance that is not a number
// is kept, as the truncation's "d > limit" leaves it (where d <= limit
// would cut it).
TEST(limit, kept_unless_strictly_greater)
{
    const double t = scaledlimit(3, double(0.1f) * 7);
    EXPECT_TRUE(within(t, t));
    EXPECT_TRUE(within(std::nextafter(t, 0.0), t));
    EXPECT_FALSE(within(std::nextafter(t, 1e300), t));
    EXPECT_TRUE(within(std::numeric_limits<double>::quiet_NaN(), t));
    EXPECT_TRUE(within(-1, t));
}

// The built-in designs: the transect 1, 2, ..., n on X; the grid row by
// row, X fastest; the rows beyond the design and the columns beyond its
// coordinates left as they were.
TEST(designpoints, transect_and_grid_row_by_row)
{
    std::vector<double> x(2 * ld, -7.0);
    designpoints(4, 1, 1, ld, x.data());
    EXPECT_EQ(std::vector<double>(x.begin(), x.begin() + 5), (std::vector<double>{1, 2, 3, 4, -7}));
    EXPECT_EQ(x[ld], -7.0);

    x.assign(2 * ld, -7.0);
    designpoints(3, 2, 2, ld, x.data());
    EXPECT_EQ(std::vector<double>(x.begin(), x.begin() + 7), (std::vector<double>{1, 2, 3, 1, 2, 3, -7}));
    EXPECT_EQ(std::vector<double>(x.begin() + ld, x.begin() + ld + 7),
              (std::vector<double>{1, 1, 1, 2, 2, 2, -7}));

    // A grid of one row keeps its Y of 1.
    x.assign(2 * ld, -7.0);
    designpoints(2, 1, 2, ld, x.data());
    EXPECT_EQ(x[0], 1.0);
    EXPECT_EQ(x[1], 2.0);
    EXPECT_EQ(x[ld], 1.0);
    EXPECT_EQ(x[ld + 1], 1.0);
}

}  // namespace
