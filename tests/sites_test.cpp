// Ranging of site coordinates, on storage of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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

}  // namespace
