// The monomial matrix: the counts, centring over the main objects, the
// storage order of the columns, and the precision of the powers.  The
// monomials of the 5-point transect and of the 3 x 3 grid (order 2) and of
// the 3-point transect (order 5) are compared byte for byte by the
// transcripts of tests/e2e (poly_*).
#include <gtest/gtest.h>

#include <vector>

#include "poly/poly.h"

namespace {

const int ld = 12;  // more rows than objects, so supplementary rows exist
const double junk = 777.25;

// A site matrix of ld x 21, every element junk.
std::vector<double> site() { return std::vector<double>(ld * 21, junk); }

double& at(std::vector<double>& x, int i, int j) { return x[size_t((i - 1) + (j - 1) * ld)]; }

TEST(nmono, counts)
{
    const int two[4] = {5, 9, 14, 20};
    for (int order = 2; order <= 5; ++order) {
        EXPECT_EQ(nmono(1, order), order);
        EXPECT_EQ(nmono(2, order), two[order - 2]) << order;
    }
}

// Two coordinates, order 5: objects (0, 0) and (2X, 2Y) centre to (-X, -Y)
// and (X, Y).  Storage column j holds x^a y^b, power a of x outer and b of
// y inner, as the product, exact in double, of the float powers of the
// coordinates rounded to float, formed by square and multiply (x^4 =
// (x.x).(x.x), x^5 = x.((x.x).(x.x))).  X, Y = 2, 3 are exact in every
// precision and pin the order; 0.498, -0.1 pin the precision.
TEST(monomials, twocoordinates)
{
    const int a[20] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 5};
    const int b[20] = {1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 0, 1, 2, 3, 0, 1, 2, 0, 1, 0};
    const double cases[2][2] = {{2, 3}, {0.498, -0.1}};
    for (const auto& c : cases) {
        std::vector<double> x = site();
        at(x, 1, 1) = at(x, 1, 2) = 0, at(x, 2, 1) = 2 * c[0], at(x, 2, 2) = 2 * c[1];
        monomials(2, 2, 5, ld, x.data());
        for (int i = 1; i <= 2; ++i) {
            const float u = float(i == 1 ? -c[0] : c[0]), v = float(i == 1 ? -c[1] : c[1]);
            const float u2 = u * u, v2 = v * v;
            const float pu[6] = {1, u, u2, u * u2, u2 * u2, u * (u2 * u2)};
            const float pv[6] = {1, v, v2, v * v2, v2 * v2, v * (v2 * v2)};
            for (int j = 1; j <= 20; ++j)
                EXPECT_EQ(at(x, i, j), double(pu[a[j - 1]]) * double(pv[b[j - 1]]))
                    << c[0] << " object " << i << " column " << j;
            EXPECT_EQ(at(x, i, 21), junk);
        }
        EXPECT_EQ(at(x, 3, 1) + at(x, 3, 20), 2 * junk);  // the next row untouched
    }
    // the precisions differ for 0.498 and -0.1
    const float u = 0.498f, u2 = u * u, v = -0.1f;
    ASSERT_NE(u2 * u2, u2 * u * u);
    ASSERT_NE(u * (u2 * u2), u2 * u * u * u);
    ASSERT_NE(double(u) * double(v), double(u * v));
    ASSERT_NE(double(u) * double(v), 0.498 * -0.1);
}

// One coordinate is in double precision: x^5 = x.((x.x).(x.x)).
TEST(monomials, doublepowers)
{
    std::vector<double> x = site();
    at(x, 1, 1) = 0, at(x, 2, 1) = 0.994;  // centred -0.497, 0.497
    monomials(2, 1, 5, ld, x.data());
    const double c = 0.497, c2 = c * c, c4 = c2 * c2;
    ASSERT_NE(c * c4, c2 * c * c * c);
    ASSERT_NE(c * c4, double(float(c) * (float(c) * float(c)) * (float(c) * float(c))));
    const double want[5] = {c, c2, c * c2, c4, c * c4};
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(at(x, 2, k), want[k - 1]) << "power " << k;
    EXPECT_EQ(at(x, 1, 5), -(c * c4));
    EXPECT_EQ(at(x, 2, 6), junk);
}

// The means are those of rows 1..n, summed in row order and divided by n;
// supplementary rows are neither used nor changed.
TEST(monomials, centring)
{
    std::vector<double> x = site();
    const double a = 0.1, b = 0.1, c = 0.4, mean = (a + b + c) / 3;
    ASSERT_NE(mean, (a + (b + c)) / 3);
    ASSERT_NE(mean, (a + b + c) * (1.0 / 3));
    at(x, 1, 1) = a, at(x, 2, 1) = b, at(x, 3, 1) = c;
    at(x, 4, 1) = 0.95, at(x, 4, 2) = 0.05;  // a supplementary object
    monomials(3, 1, 2, ld, x.data());
    EXPECT_EQ(at(x, 1, 1), a - mean);
    EXPECT_EQ(at(x, 2, 1), b - mean);
    EXPECT_EQ(at(x, 3, 1), c - mean);
    EXPECT_EQ(at(x, 3, 2), (c - mean) * (c - mean));
    EXPECT_EQ(at(x, 4, 1), 0.95);
    EXPECT_EQ(at(x, 4, 2), 0.05);
    for (int i = 5; i <= ld; ++i)
        for (int j = 1; j <= 21; ++j) EXPECT_EQ(at(x, i, j), junk) << i << " " << j;
}

}  // namespace
