// The monomial matrix: centring over the main objects, the storage order of
// the columns, and the precision of the powers.
#include <gtest/gtest.h>

#include <vector>

#include "poly/poly.h"

namespace {

const int ld = 12;     // more rows than objects, so supplementary rows exist
const double junk = 777.25;

// A site matrix of ld x 20, every element junk.
std::vector<double> site() { return std::vector<double>(ld * 20, junk); }

double& at(std::vector<double>& x, int i, int j) { return x[(i - 1) + (j - 1) * ld]; }

TEST(nmono, counts)
{
    struct { int ncoord, order, m; } cases[] = {
        {1, 2, 2}, {1, 3, 3}, {1, 4, 4}, {1, 5, 5},
        {2, 2, 5}, {2, 3, 9}, {2, 4, 14}, {2, 5, 20},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nmono(c.ncoord, c.order), c.m) << c.ncoord << " " << c.order;
}

// The transect of 5 points, order 2: columns x and x^2 of the centred x.
TEST(monomials, transect)
{
    std::vector<double> x = site();
    const double ranged[5] = {0, 0.25, 0.5, 0.75, 1};
    for (int i = 1; i <= 5; ++i) at(x, i, 1) = ranged[i - 1];
    monomials(5, 1, 2, ld, x.data());
    const double want[5][2] = {{-0.5, 0.25}, {-0.25, 0.0625}, {0, 0}, {0.25, 0.0625}, {0.5, 0.25}};
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(at(x, i, 1), want[i - 1][0]) << "object " << i;
        EXPECT_EQ(at(x, i, 2), want[i - 1][1]) << "object " << i;
    }
    EXPECT_EQ(at(x, 6, 1), junk);
    EXPECT_EQ(at(x, 1, 3), junk);
}

// The 3 x 3 grid, order 2, in storage order y, y^2, x, xy, x^2.
TEST(monomials, grid)
{
    std::vector<double> x = site();
    int i = 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            ++i;
            at(x, i, 1) = 0.5 * c;  // ranged 1, 2, 3 -> 0, 0.5, 1
            at(x, i, 2) = 0.5 * r;
        }
    monomials(9, 2, 2, ld, x.data());
    const double first[5] = {-0.5, 0.25, -0.5, 0.25, 0.25};   // x = -0.5, y = -0.5
    const double third[5] = {-0.5, 0.25, 0.5, -0.25, 0.25};   // x = 0.5, y = -0.5
    const double seventh[5] = {0.5, 0.25, -0.5, -0.25, 0.25};  // x = -0.5, y = 0.5
    for (int j = 1; j <= 5; ++j) {
        EXPECT_EQ(at(x, 1, j), first[j - 1]) << "column " << j;
        EXPECT_EQ(at(x, 3, j), third[j - 1]) << "column " << j;
        EXPECT_EQ(at(x, 7, j), seventh[j - 1]) << "column " << j;
        EXPECT_EQ(at(x, 5, j), 0.0) << "column " << j;
    }
    EXPECT_EQ(at(x, 1, 6), junk);
}

// One row of points: y is 0 after ranging and centring, so every column with
// a power of y is exactly 0; the pure powers of x are untouched by it.
TEST(monomials, onerow)
{
    std::vector<double> x = site();
    for (int i = 1; i <= 5; ++i) {
        at(x, i, 1) = 0.25 * (i - 1);
        at(x, i, 2) = 0;
    }
    monomials(5, 2, 3, ld, x.data());
    // order 3: y, y^2, y^3, x, xy, xy^2, x^2, x^2y, x^3
    const bool withy[9] = {true, true, true, false, true, true, false, true, false};
    for (int i = 1; i <= 5; ++i) {
        double c = 0.25 * (i - 1) - 0.5;
        for (int j = 1; j <= 9; ++j) {
            if (withy[j - 1]) {
                EXPECT_EQ(at(x, i, j), 0.0) << i << " " << j;
            }
        }
        EXPECT_EQ(at(x, i, 4), c) << i;
        EXPECT_EQ(at(x, i, 7), c * c) << i;
        EXPECT_EQ(at(x, i, 9), c * c * c) << i;
    }
}

// Two coordinates: the powers come from the coordinates rounded to float,
// each product rounded to float, and the product of the two powers is exact.
TEST(monomials, singleprecision)
{
    std::vector<double> x = site();
    at(x, 1, 1) = 0;
    at(x, 2, 1) = 0.2;  // centred -0.1, 0.1
    at(x, 1, 2) = 0.2;
    at(x, 2, 2) = 0;    // centred 0.1, -0.1
    monomials(2, 2, 2, ld, x.data());
    const float f = 0.1f;
    const float f2 = f * f;
    // object 2: x = 0.1, y = -0.1
    EXPECT_EQ(at(x, 2, 1), double(-f));
    EXPECT_EQ(at(x, 2, 2), double(f2));
    EXPECT_EQ(at(x, 2, 3), double(f));
    EXPECT_EQ(at(x, 2, 4), double(f) * double(-f));
    EXPECT_EQ(at(x, 2, 5), double(f2));
    // the three precisions give three different xy
    ASSERT_NE(double(f) * double(f), double(f * f));
    ASSERT_NE(double(f) * double(f), 0.1 * 0.1);
}

// Order 5 with two coordinates: x^4 = (x.x).(x.x) and x^5 = x.((x.x).(x.x))
// in float, not the powers multiplied out from the left.
TEST(monomials, floatpowers)
{
    std::vector<double> x = site();
    at(x, 1, 1) = 0;
    at(x, 2, 1) = 0.996;  // centred -0.498, 0.498
    at(x, 1, 2) = 0;
    at(x, 2, 2) = 0.5;    // centred -0.25, 0.25
    monomials(2, 2, 5, ld, x.data());
    const float u = float(0.498);
    const float v = 0.25f;
    const float u2 = u * u;
    const float u4 = u2 * u2;
    const float u5 = u * u4;
    const float u3 = u * u2;
    ASSERT_NE(u4, u2 * u * u);
    ASSERT_NE(u5, u2 * u * u * u);
    // storage columns 17, 19 and 20 of order 5 hold x^3y^2, x^4y and x^5
    EXPECT_EQ(at(x, 2, 17), double(u3) * double(v * v));
    EXPECT_EQ(at(x, 2, 19), double(u4) * double(v));
    EXPECT_EQ(at(x, 2, 20), double(u5));
    EXPECT_EQ(at(x, 1, 20), double(-u5));
    EXPECT_EQ(at(x, 1, 1), -0.25);  // y
    EXPECT_EQ(at(x, 1, 5), -double(v * v * v * v * v));
}

// Every storage column of order 5, against the exponents of the loop over
// the power of x (outer) and the power of y (inner).
TEST(monomials, storageorder)
{
    std::vector<double> x = site();
    at(x, 1, 1) = 0;
    at(x, 2, 1) = 4;  // centred -2, 2
    at(x, 1, 2) = 0;
    at(x, 2, 2) = 6;  // centred -3, 3
    monomials(2, 2, 5, ld, x.data());
    const int ax[20] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 5};
    const int by[20] = {1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 0, 1, 2, 3, 0, 1, 2, 0, 1, 0};
    for (int j = 1; j <= 20; ++j) {
        double want = 1;
        for (int a = 0; a < ax[j - 1]; ++a) want *= 2;
        for (int b = 0; b < by[j - 1]; ++b) want *= 3;
        EXPECT_EQ(at(x, 2, j), want) << "column " << j;
    }
}

// One coordinate is in double precision: x^5 = x.((x.x).(x.x)).
TEST(monomials, doublepowers)
{
    std::vector<double> x = site();
    at(x, 1, 1) = 0;
    at(x, 2, 1) = 0.994;  // centred -0.497, 0.497
    monomials(2, 1, 5, ld, x.data());
    const double c = 0.497;
    const double c2 = c * c;
    const double c4 = c2 * c2;
    ASSERT_NE(c * c4, c2 * c * c * c);
    const double want[5] = {c, c2, c * c2, c4, c * c4};
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(at(x, 2, k), want[k - 1]) << "power " << k;
    }
    EXPECT_EQ(at(x, 1, 5), -(c * c4));
    EXPECT_NE(at(x, 2, 5), double(float(c) * (float(c) * float(c)) * (float(c) * float(c))));
}

// The means are those of rows 1..n, summed in row order and divided by n;
// supplementary rows are neither used nor changed.
TEST(monomials, centring)
{
    std::vector<double> x = site();
    const double a = 0.1, b = 0.1, c = 0.4;
    at(x, 1, 1) = a;
    at(x, 2, 1) = b;
    at(x, 3, 1) = c;
    at(x, 4, 1) = 0.95;  // a supplementary object
    at(x, 4, 2) = 0.05;
    const double mean = (a + b + c) / 3;
    ASSERT_NE(mean, (a + (b + c)) / 3);
    ASSERT_NE(mean, (a + b + c) * (1.0 / 3));
    monomials(3, 1, 2, ld, x.data());
    EXPECT_EQ(at(x, 1, 1), a - mean);
    EXPECT_EQ(at(x, 2, 1), b - mean);
    EXPECT_EQ(at(x, 3, 1), c - mean);
    EXPECT_EQ(at(x, 3, 2), (c - mean) * (c - mean));
    EXPECT_EQ(at(x, 4, 1), 0.95);
    EXPECT_EQ(at(x, 4, 2), 0.05);
    for (int i = 5; i <= ld; ++i)
        for (int j = 1; j <= 20; ++j) EXPECT_EQ(at(x, i, j), junk) << i << " " << j;
}

}  // namespace
