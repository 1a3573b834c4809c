// Reading coordinates files and ranging site coordinates, on storage of the
// test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sites/sites.h"
#include "textio/textio.h"

namespace {

const int ld = 16;

// A run's streams with the console output and the report in temporary files.
struct capture {
    units io;
    std::string dir, outpath, reppath;
    capture()
    {
        char t[] = "/tmp/lw-sites-XXXXXX";
        dir = ::mkdtemp(t);
        outpath = dir + "/out";
        reppath = dir + "/report";
        initunits(io);
        io.out.fd = ::open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char name[namelen];
        std::memset(name, ' ', namelen);
        std::memcpy(name, reppath.data(), reppath.size());
        opennew(io.report, name);
    }
    ~capture()
    {
        ::unlink(outpath.c_str());
        ::unlink(reppath.c_str());
        ::rmdir(dir.c_str());
    }
    std::string read(const std::string& path)
    {
        flushs(io.out);
        flushs(io.report);
        std::ifstream f(path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string console() { return read(outpath); }
    std::string report() { return read(reppath); }
};

struct sites {
    std::vector<double> x = std::vector<double>(size_t(ld) * ld, 0.0);
    double& at(int i, int j) { return x[size_t(i - 1) + size_t(j - 1) * ld]; }
};

const char* announce =
    "\n The coordinates were ranged and centred before computing the spatial variables.\n";

TEST(range1, transect_of_eleven_points_both_methods)
{
    // Coordinates 1..11: shifted to 0..10, then divided by 10 * float(0.1)
    // for PCNM and by 10 for the polynomial.
    struct {
        int method;
        double rangmax;
    } cases[] = {{1, 1.0000000149011612}, {2, 10.0}};
    for (auto c : cases) {
        capture k;
        sites s;
        for (int i = 1; i <= 11; ++i) s.at(i, 1) = i;
        double vmin[3], vrange[3], rangmax = -1;
        range1(11, 1, 0, ld, s.x.data(), 3, vmin, vrange, rangmax, c.method, k.io.report, 0);
        EXPECT_EQ(rangmax, c.rangmax) << "method " << c.method;
        EXPECT_EQ(rangmax, c.method == 1 ? 10.0 * double(0.1f) : 10.0);
        EXPECT_EQ(vmin[0], 1.0);
        EXPECT_EQ(vrange[0], 10.0);
        for (int i = 1; i <= 11; ++i) EXPECT_EQ(s.at(i, 1), double(i - 1) / c.rangmax) << i;
        EXPECT_EQ(k.console(), announce);
        EXPECT_EQ(k.report(), announce);
    }
}

TEST(range1, one_divisor_for_all_coordinates)
{
    // Ranges 4 and 2: both divided by the larger.
    capture k;
    sites s;
    double pts[][2] = {{3, 7}, {7, 8}, {5, 9}};
    for (int i = 0; i < 3; ++i) {
        s.at(i + 1, 1) = pts[i][0];
        s.at(i + 1, 2) = pts[i][1];
    }
    double vmin[3], vrange[3], rangmax;
    range1(3, 2, 0, ld, s.x.data(), 3, vmin, vrange, rangmax, 2, k.io.report, 0);
    EXPECT_EQ(rangmax, 4.0);
    EXPECT_EQ(s.at(2, 1), 1.0);
    EXPECT_EQ(s.at(3, 2), 0.5);
    EXPECT_EQ(s.at(1, 2), 0.0);
}

TEST(range1, supplementary_object_moves_origin_and_divisor)
{
    capture k;
    sites s;
    double v[] = {2, 3, 4, -4};  // the last is supplementary
    for (int i = 0; i < 4; ++i) s.at(i + 1, 1) = v[i];
    double vmin[3], vrange[3], rangmax;
    range1(3, 1, 1, ld, s.x.data(), 3, vmin, vrange, rangmax, 2, k.io.report, 0);
    EXPECT_EQ(vmin[0], -4.0);
    EXPECT_EQ(rangmax, 8.0);
    EXPECT_EQ(s.at(1, 1), 0.75);
    EXPECT_EQ(s.at(4, 1), 0.0);
}

TEST(range1, constant_coordinate_becomes_zeros)
{
    capture k;
    sites s;
    for (int i = 1; i <= 3; ++i) {
        s.at(i, 1) = 5;
        s.at(i, 2) = 2 * i;
    }
    double vmin[3], vrange[3], rangmax;
    range1(3, 2, 0, ld, s.x.data(), 3, vmin, vrange, rangmax, 2, k.io.report, 0);
    EXPECT_EQ(rangmax, 4.0);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(s.at(i, 1), 0.0);
    EXPECT_EQ(s.at(3, 2), 1.0);
}

TEST(range1, trace_shows_ranges_not_maxima)
{
    capture k;
    sites s;
    double pts[][2] = {{1, 10}, {5, 12}};
    for (int i = 0; i < 2; ++i) {
        s.at(i + 1, 1) = pts[i][0];
        s.at(i + 1, 2) = pts[i][1];
    }
    double vmin[3], vrange[3], rangmax;
    range1(2, 2, 0, ld, s.x.data(), 3, vmin, vrange, rangmax, 2, k.io.report, 1);
    EXPECT_EQ(k.console(), std::string(announce) +
                               " Vector Minim =  1.  10.\n"
                               " Vector Maxim =  4.  2.\n"
                               " Rangmax =  4.\n"
                               "\n");
    EXPECT_EQ(k.report(), std::string(announce) +
                              "\n Matrix X after ranging\n\n"
                              "    0.00000   0.00000\n"
                              "    1.00000   0.50000\n"
                              "\n");
}

TEST(range1, degenerate_ranges_stop_before_dividing)
{
    struct {
        double a, b;
        const char* line;
    } cases[] = {
        {4, 4, " All the objects have the same coordinates: no spatial variable can be built.\n"},
        {-1e308, 1e308, " The coordinates span too wide a range to be computed.\n"},
    };
    for (auto c : cases) {
        capture k;
        sites s;
        s.at(1, 1) = c.a;
        s.at(2, 1) = c.b;
        double vmin[3], vrange[3], rangmax;
        try {
            range1(2, 1, 0, ld, s.x.data(), 3, vmin, vrange, rangmax, 1, k.io.report, 0);
            ADD_FAILURE() << "no stop for " << c.a << ", " << c.b;
        } catch (const runstop& st) {
            EXPECT_EQ(st.status, 0);
            EXPECT_EQ(st.stop, nullptr);
        }
        EXPECT_EQ(k.console(), std::string(announce) + c.line);
        EXPECT_EQ(k.report(), std::string(announce) + c.line);
    }
}

// Opens a file holding text on the coordinates stream of k.
void openfile(capture& k, const std::string& text)
{
    std::string path = k.dir + "/c.txt";
    std::ofstream(path, std::ios::binary) << text;
    char name[namelen];
    std::memset(name, ' ', namelen);
    std::memcpy(name, path.data(), path.size());
    openold(k.io.coord, name);
}

TEST(readheader, counts_and_refusals)
{
    struct {
        const char* text;
        int n, ncoord, nsup;
        const char* refusal;
    } cases[] = {
        {"10 2 0\n", 10, 2, 0, nullptr},
        {"8\n2\n2\n", 8, 2, 2, nullptr},
        {"5 1 0 comment\n", 5, 1, 0, nullptr},
        {"0 2 0\n", 0, 2, 0, "The number of objects must be at least 1."},
        {"-3 2 0\n", -3, 2, 0, "The number of objects must be at least 1."},
        {"4 0 0\n", 4, 0, 0, "The number of coordinates must be 1, 2 or 3."},
        {"4 4 0\n", 4, 4, 0, "The number of coordinates must be 1, 2 or 3."},
        {"4 3 -1\n", 4, 3, -1, "The number of supplementary objects cannot be negative."},
    };
    for (auto c : cases) {
        capture k;
        openfile(k, c.text);
        int n = -9, ncoord = -9, nsup = -9;
        const char* r = readheader(k.io.coord, n, ncoord, nsup);
        EXPECT_EQ(n, c.n) << c.text;
        EXPECT_EQ(ncoord, c.ncoord) << c.text;
        EXPECT_EQ(nsup, c.nsup) << c.text;
        EXPECT_STREQ(r, c.refusal) << c.text;
        closes(k.io.coord);
        ::unlink((k.dir + "/c.txt").c_str());
    }
}

TEST(readgroups, one_group_a_line_into_the_leading_dimension)
{
    // A group continues over lines; what follows its last value is ignored.
    capture k;
    openfile(k, "3 2 1\n1 2 site a\n3\n4\n5,6,7\n-8 9e1\n");
    int n, ncoord, nsup;
    ASSERT_EQ(readheader(k.io.coord, n, ncoord, nsup), nullptr);
    sites s;
    readgroups(k.io.coord, n + nsup, ncoord, ld, s.x.data());
    double want[][2] = {{1, 2}, {3, 4}, {5, 6}, {-8, 90}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 2; ++j) EXPECT_EQ(s.at(i + 1, j + 1), want[i][j]) << i << " " << j;
    closes(k.io.coord);
    ::unlink((k.dir + "/c.txt").c_str());
}

TEST(readgroups, short_file_fails_at_its_end)
{
    capture k;
    openfile(k, "3 1 0\n1\n2\n");
    int n, ncoord, nsup;
    readheader(k.io.coord, n, ncoord, nsup);
    sites s;
    try {
        readgroups(k.io.coord, 3, 1, ld, s.x.data());
        ADD_FAILURE() << "no failure at the end of the file";
    } catch (const ioerror& e) {
        EXPECT_EQ(e.s, &k.io.coord);
        EXPECT_EQ(e.message, "end of file");
    }
    closes(k.io.coord);
    ::unlink((k.dir + "/c.txt").c_str());
}

TEST(rangecoords, same_values_as_range1_without_messages)
{
    // Four objects, the last supplementary, in both routines.
    double pts[][2] = {{3, 7}, {7.25, 8}, {5, 9.5}, {-1, 8}};
    for (int method : {1, 2}) {
        capture k;
        sites a, b;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 2; ++j) a.at(i + 1, j + 1) = b.at(i + 1, j + 1) = pts[i][j];
        double vmin[3], vrange[3], rangmax = -1, bmin[3], brange[3], brangmax = -2;
        range1(3, 2, 1, ld, a.x.data(), 3, vmin, vrange, rangmax, method, k.io.report, 0);
        EXPECT_EQ(rangecoords(4, 2, ld, b.x.data(), bmin, brange, brangmax, method), nullptr);
        EXPECT_EQ(brangmax, method == 1 ? 8.25 * double(0.1f) : 8.25);
        EXPECT_EQ(brangmax, rangmax);
        EXPECT_EQ(brange[1], 2.5);
        EXPECT_EQ(bmin[0], -1.0);
        for (int i = 1; i <= 4; ++i)
            for (int j = 1; j <= 2; ++j) EXPECT_EQ(b.at(i, j), a.at(i, j)) << i << " " << j;
        EXPECT_EQ(b.at(1, 1), 4.0 / brangmax);
        EXPECT_EQ(k.console(), announce);  // only range1 writes
    }
}

TEST(rangecoords, refusals_leave_the_coordinates_undivided)
{
    sites s;
    s.at(1, 1) = s.at(2, 1) = 4;
    double vmin[3], vrange[3], rangmax = -1;
    const char* r = rangecoords(2, 1, ld, s.x.data(), vmin, vrange, rangmax, 1);
    EXPECT_STREQ(r, "All the objects have the same coordinates: no spatial variable can be built.");
    EXPECT_EQ(rangmax, 0.0);
    s.at(1, 1) = -1e308;
    s.at(2, 1) = 1e308;
    r = rangecoords(2, 1, ld, s.x.data(), vmin, vrange, rangmax, 2);
    EXPECT_STREQ(r, "The coordinates span too wide a range to be computed.");
    EXPECT_EQ(s.at(1, 1), 0.0);
    EXPECT_TRUE(std::isinf(s.at(2, 1)));  // 1e308 shifted by -1e308
}

}  // namespace
