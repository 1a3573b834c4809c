// The writers of the spatial-variable file, on hand-made matrices: the
// header, the fields, the folding, the graded order of the two-coordinate
// monomials, and the Canoco file with its label blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/output.h"
#include "textio/textio.h"

namespace {

// Runs write on the spatial-variable stream opened on a new file and returns
// what the file holds once closed.
std::string capture(const std::function<void(stream&)>& write)
{
    static int serial = 0;
    std::string path = testing::TempDir() + "lw_output_" + std::to_string(++serial) + ".txt";
    std::remove(path.c_str());
    char name79[namelen + 1];
    std::memset(name79, ' ', namelen);
    std::memcpy(name79, path.data(), path.size());
    name79[namelen] = '\0';
    auto io = std::make_unique<units>();
    initunits(*io);
    opennew(io->vars, name79);
    write(io->vars);
    closes(io->vars);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t b = 0;
    for (size_t e; (e = text.find('\n', b)) != std::string::npos; b = e + 1)
        out.push_back(text.substr(b, e - b));
    EXPECT_EQ(b, text.size()) << "the file does not end with a line end";
    return out;
}

// A site matrix of ld rows and c columns; element (i, j) is i + j / 100, so
// that every value names its place.  Filled to the last row.
struct matrix {
    int ld, c;
    std::vector<double> v;
    matrix(int ld_, int c_) : ld(ld_), c(c_), v(size_t(ld_ * c_))
    {
        for (int j = 1; j <= c; ++j)
            for (int i = 1; i <= ld; ++i) at(i, j) = i + j / 100.0;
    }
    double& at(int i, int j) { return v[size_t((i - 1) + (j - 1) * ld)]; }
    const double* data() const { return v.data(); }
};

// One value in Fw.d for values of ordinary size (no sign question).
std::string fld(double v, int w, int d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
    return buf;
}

// The lines of one value block: the values in Fw.d, perline to a line.
std::string block(const std::vector<double>& vals, int w, int d, int perline)
{
    std::string s;
    for (size_t k = 0; k < vals.size(); ++k) {
        if (k > 0 && k % size_t(perline) == 0) s += '\n';
        s += fld(vals[k], w, d);
    }
    return s + '\n';
}

// Row i of m, columns 1..k.
std::vector<double> row(matrix& m, int i, int k)
{
    std::vector<double> r;
    for (int j = 1; j <= k; ++j) r.push_back(m.at(i, j));
    return r;
}

// Row i of m holding two-coordinate monomials of the order in storage order
// (power a of x outer, power b of y inner), given back in graded order:
// degree g = 1..order, and within it a = g down to 0.
std::vector<double> graded(matrix& m, int i, int order)
{
    int stored[6][6] = {};
    int col = 0;
    for (int a = 0; a <= order; ++a)
        for (int b = 0; b <= order; ++b)
            if (a + b >= 1 && a + b <= order) stored[a][b] = ++col;
    std::vector<double> r;
    for (int g = 1; g <= order; ++g)
        for (int a = g; a >= 0; --a) r.push_back(m.at(i, stored[a][g - a]));
    return r;
}

// A label block by the stated widths: I2 and two blanks, I3 and one, I4.
std::string labelblock(const char* prefix, int m)
{
    int w = m <= 99 ? 2 : m <= 999 ? 3 : 4;
    std::string s;
    for (int j = 1; j <= m; ++j) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%s%*d", prefix, w, j);
        s += buf;
        if (j % 10 == 0 || j == m)
            s += '\n';
        else
            s += std::string(size_t(4 - w), ' ');
    }
    return s;
}

std::string writeout1(int n, int ncoord, int nvar, matrix& m, int layout, int method, int order)
{
    return capture([&](stream& s) {
        writeout(n, ncoord, nvar, m.ld, m.data(), layout, method, order, s);
    });
}

std::string canoco1(int n, int ncoord, int nvar, matrix& m, int method, int order)
{
    return capture([&](stream& s) { canocofree(n, ncoord, nvar, m.ld, m.data(), method, order, s); });
}

// The header: one blank before each count, nothing widened.
TEST(writeout, header)
{
    matrix m(110, 5);
    std::vector<std::string> l = lines(writeout1(100, 2, 5, m, 1, 1, 0));
    ASSERT_EQ(l.size(), 101u);
    EXPECT_EQ(l[0], " 100 5");
    matrix s(25, 5);
    EXPECT_EQ(lines(writeout1(20, 2, 5, s, 2, 1, 0))[0], " 20 5");
}

// PCNM variables folded 11 to a line; every value from its own place.
TEST(writeout, pcnmfolding)
{
    struct { int k; std::vector<size_t> lens; } cases[] = {
        {1, {11}}, {11, {121}}, {12, {121, 11}}, {22, {121, 121}}, {23, {121, 121, 11}},
    };
    for (const auto& c : cases) {
        matrix m(6, 23);
        std::string want = " 3 " + std::to_string(c.k) + "\n";
        for (int i = 1; i <= 3; ++i) want += block(row(m, i, c.k), 11, 6, 11);
        std::string got = writeout1(3, 2, c.k, m, 2, 1, 3);
        EXPECT_EQ(got, want) << c.k << " variables";
        std::vector<std::string> l = lines(got);
        ASSERT_EQ(l.size(), 1 + 3 * c.lens.size()) << c.k;
        for (size_t j = 0; j < c.lens.size(); ++j) EXPECT_EQ(l[1 + j].size(), c.lens[j]) << c.k;
    }
}

// Two-coordinate monomials in graded order, in layouts 2 and 1.
TEST(writeout, twocoordinates)
{
    struct { int order, w, d, perline; std::vector<size_t> lens; } cases[] = {
        {2, 10, 5, 12, {50}},
        {3, 11, 6, 11, {99}},
        {4, 12, 7, 10, {120, 48}},
        {5, 12, 7, 10, {120, 120}},
    };
    for (const auto& c : cases) {
        matrix m(5, 20);
        int k = c.order * (c.order + 3) / 2;
        std::string head = " 2 " + std::to_string(k) + "\n";
        std::string folded = head, single = head;
        for (int i = 1; i <= 2; ++i) {
            folded += block(graded(m, i, c.order), c.w, c.d, c.perline);
            single += block(graded(m, i, c.order), c.w, c.d, 2000);
        }
        std::string got = writeout1(2, 2, k, m, 2, 2, c.order);
        EXPECT_EQ(got, folded) << "order " << c.order;
        std::vector<std::string> l = lines(got);
        ASSERT_EQ(l.size(), 1 + 2 * c.lens.size());
        for (size_t j = 0; j < c.lens.size(); ++j) EXPECT_EQ(l[1 + j].size(), c.lens[j]);
        EXPECT_EQ(writeout1(2, 2, k, m, 1, 2, c.order), single) << "order " << c.order;
    }
}

// The written order of order 2 by hand: x, y, x^2, xy, y^2 are the stored
// columns 3, 1, 5, 4, 2; the list depends on the order alone, not on the count.
TEST(writeout, gradedorder2)
{
    matrix m(4, 5);
    const char* values = "   1.03000   1.01000   1.05000   1.04000   1.02000\n";
    EXPECT_EQ(writeout1(1, 2, 5, m, 1, 2, 2), std::string(" 1 5\n") + values);
    EXPECT_EQ(writeout1(1, 2, 3, m, 2, 2, 2), std::string(" 1 3\n") + values);
}

// One coordinate, order 5, layout 1: five F12.7 fields, 60 characters.
TEST(writeout, onecoordinate)
{
    matrix m(4, 5);
    const double p[5] = {-0.5, 0.25, -0.125, 0.0625, -0.03125};
    for (int j = 1; j <= 5; ++j) {
        m.at(1, j) = p[j - 1];
        m.at(2, j) = -p[j - 1];
    }
    EXPECT_EQ(writeout1(2, 1, 5, m, 1, 2, 5),
              " 2 5\n"
              "  -0.5000000   0.2500000  -0.1250000   0.0625000  -0.0312500\n"
              "   0.5000000  -0.2500000   0.1250000  -0.0625000   0.0312500\n");
}

// The field comes from the method and the order, never from the values.
TEST(writeout, fieldchoice)
{
    struct { int method, ncoord, order; const char* line; } cases[] = {
        {1, 2, 2, "   0.500000   0.500000"},
        {1, 1, 5, "   0.500000   0.500000"},
        {2, 1, 2, "   0.50000   0.50000"},
        {2, 1, 3, "   0.500000   0.500000"},
        {2, 1, 4, "   0.5000000   0.5000000"},
        {2, 1, 5, "   0.5000000   0.5000000"},
        {0, 1, 2, "   0.50000   0.50000"},
        {3, 1, 4, "   0.5000000   0.5000000"},
    };
    for (const auto& c : cases) {
        matrix m(3, 2);
        for (int j = 1; j <= 2; ++j) m.at(1, j) = 0.5;
        EXPECT_EQ(writeout1(1, c.ncoord, 2, m, 2, c.method, c.order),
                  std::string(" 1 2\n") + c.line + "\n")
            << c.method << " " << c.ncoord << " " << c.order;
    }
}

// Values outside a field become asterisks; their neighbours are intact.
TEST(writeout, asterisks)
{
    matrix m(3, 5);
    // stored y, y^2, x, xy, x^2; written x, y, x^2, xy, y^2
    const double v[5] = {10000, -1000, 9999.99999, -999.99999, 9999.999996};
    for (int j = 1; j <= 5; ++j) m.at(1, j) = v[j - 1];
    const double small[5] = {-0.000004, 0.000004, -0.5, 0.5, -0.000006};
    for (int j = 1; j <= 5; ++j) m.at(2, j) = small[j - 1];
    EXPECT_EQ(writeout1(2, 2, 5, m, 2, 2, 2),
              " 2 5\n"
              "9999.99999********************-999.99999**********\n"
              "  -0.50000   0.00000  -0.00001   0.50000   0.00000\n");
    matrix p(2, 3);
    p.at(1, 1) = 10000;
    p.at(1, 2) = -999.9999994;
    p.at(1, 3) = -1000;
    EXPECT_EQ(writeout1(1, 2, 3, p, 1, 1, 0), " 1 3\n***********-999.999999***********\n");
}

// No variables: one empty line per object.
TEST(writeout, novariables)
{
    matrix m(4, 1);
    EXPECT_EQ(writeout1(3, 2, 0, m, 1, 1, 0), " 3 0\n\n\n\n");
    EXPECT_EQ(writeout1(3, 2, 0, m, 2, 1, 0), " 3 0\n\n\n\n");
}

// Rows beyond n (supplementary objects) are never written.
TEST(writeout, supplementary)
{
    matrix m(10, 12);
    for (int i = 4; i <= 10; ++i)
        for (int j = 1; j <= 12; ++j) m.at(i, j) = 8888;
    std::string want = " 3 12\n";
    for (int i = 1; i <= 3; ++i) want += block(row(m, i, 12), 11, 6, 11);
    EXPECT_EQ(writeout1(3, 2, 12, m, 2, 1, 0), want);
    std::string one = writeout1(3, 2, 12, m, 1, 1, 0);
    EXPECT_EQ(lines(one).size(), 4u);
    EXPECT_EQ(one.find("8888"), std::string::npos);
}

// Layout 1 holds a whole block on one line.
TEST(writeout, singleline)
{
    matrix m(3, 23);
    std::vector<std::string> l = lines(writeout1(2, 2, 23, m, 1, 1, 0));
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[1].size(), 253u);
    EXPECT_EQ(l[2] + "\n", block(row(m, 2, 23), 11, 6, 2000));
    matrix big(2, 999);
    std::vector<std::string> b = lines(writeout1(1, 2, 999, big, 1, 1, 0));
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[1] + "\n", block(row(big, 1, 999), 11, 6, 2000));
}

// Two-coordinate monomials of order 2 for 12 objects.
TEST(canocofree, monomials12)
{
    matrix m(14, 5);
    EXPECT_EQ(canoco1(12, 2, 5, m, 2, 2),
              "File of monomials\n"
              "FREE\n"
              " 5 12\n"
              "   1.03000   1.01000   1.05000   1.04000   1.02000\n"
              "   2.03000   2.01000   2.05000   2.04000   2.02000\n"
              "   3.03000   3.01000   3.05000   3.04000   3.02000\n"
              "   4.03000   4.01000   4.05000   4.04000   4.02000\n"
              "   5.03000   5.01000   5.05000   5.04000   5.02000\n"
              "   6.03000   6.01000   6.05000   6.04000   6.02000\n"
              "   7.03000   7.01000   7.05000   7.04000   7.02000\n"
              "   8.03000   8.01000   8.05000   8.04000   8.02000\n"
              "   9.03000   9.01000   9.05000   9.04000   9.02000\n"
              "  10.03000  10.01000  10.05000  10.04000  10.02000\n"
              "  11.03000  11.01000  11.05000  11.04000  11.02000\n"
              "  12.03000  12.01000  12.05000  12.04000  12.02000\n"
              "Mono 1  Mono 2  Mono 3  Mono 4  Mono 5\n"
              "Site 1  Site 2  Site 3  Site 4  Site 5  Site 6  Site 7  Site 8  Site 9  Site10\n"
              "Site11  Site12\n");
}

// 25 PCNM variables for 30 objects.
TEST(canocofree, pcnm25)
{
    matrix m(35, 25);
    std::string want = "File of PCNM variables\nFREE\n 25 30\n";
    for (int i = 1; i <= 30; ++i) want += block(row(m, i, 25), 11, 6, 11);
    want +=
        "PCNM 1  PCNM 2  PCNM 3  PCNM 4  PCNM 5  PCNM 6  PCNM 7  PCNM 8  PCNM 9  PCNM10\n"
        "PCNM11  PCNM12  PCNM13  PCNM14  PCNM15  PCNM16  PCNM17  PCNM18  PCNM19  PCNM20\n"
        "PCNM21  PCNM22  PCNM23  PCNM24  PCNM25\n"
        "Site 1  Site 2  Site 3  Site 4  Site 5  Site 6  Site 7  Site 8  Site 9  Site10\n"
        "Site11  Site12  Site13  Site14  Site15  Site16  Site17  Site18  Site19  Site20\n"
        "Site21  Site22  Site23  Site24  Site25  Site26  Site27  Site28  Site29  Site30\n";
    std::string got = canoco1(30, 2, 25, m, 1, 0);
    EXPECT_EQ(got, want);
    EXPECT_EQ(lines(got).size(), 99u);
}

// Exactly ten variables: one full label line and no other.
TEST(canocofree, tenvariables)
{
    matrix m(3, 10);
    std::string got = canoco1(2, 2, 10, m, 1, 0);
    std::vector<std::string> l = lines(got);
    ASSERT_EQ(l.size(), 3u + 2 + 1 + 1);
    EXPECT_EQ(l[5], "PCNM 1  PCNM 2  PCNM 3  PCNM 4  PCNM 5  PCNM 6  PCNM 7  PCNM 8  PCNM 9  PCNM10");
    EXPECT_EQ(l[6], "Site 1  Site 2");
}

// No variables: empty value lines and the prefix alone as label block.
TEST(canocofree, novariables)
{
    matrix m(4, 1);
    EXPECT_EQ(canoco1(3, 2, 0, m, 1, 0),
              "File of PCNM variables\nFREE\n 0 3\n\n\n\nPCNM\nSite 1  Site 2  Site 3\n");
}

// The number width follows the block's count: 99, 100, 999, 1000 objects.
TEST(canocofree, labelwidths)
{
    struct { int n; size_t full; const char* first; const char* last; } cases[] = {
        {99, 78, "Site 1  Site 2  Site 3  Site 4  Site 5  Site 6  Site 7  Site 8  Site 9  Site10",
         "Site91  Site92  Site93  Site94  Site95  Site96  Site97  Site98  Site99"},
        {100, 79, "Site  1 Site  2 Site  3 Site  4 Site  5 Site  6 Site  7 Site  8 Site  9 Site 10",
         "Site 91 Site 92 Site 93 Site 94 Site 95 Site 96 Site 97 Site 98 Site 99 Site100"},
        {999, 79, "Site  1 Site  2 Site  3 Site  4 Site  5 Site  6 Site  7 Site  8 Site  9 Site 10",
         "Site991 Site992 Site993 Site994 Site995 Site996 Site997 Site998 Site999"},
        {1000, 80, "Site   1Site   2Site   3Site   4Site   5Site   6Site   7Site   8Site   9Site  10",
         "Site 991Site 992Site 993Site 994Site 995Site 996Site 997Site 998Site 999Site1000"},
    };
    for (const auto& c : cases) {
        matrix m(c.n + 2, 1);
        std::string got = canoco1(c.n, 2, 1, m, 1, 0);
        std::string want = "File of PCNM variables\nFREE\n 1 " + std::to_string(c.n) + "\n";
        for (int i = 1; i <= c.n; ++i) want += fld(m.at(i, 1), 11, 6) + "\n";
        want += "PCNM 1\n" + labelblock("Site", c.n);
        EXPECT_EQ(got, want) << c.n << " objects";
        std::vector<std::string> l = lines(got);
        size_t nlab = size_t((c.n + 9) / 10);
        ASSERT_EQ(l.size(), 3 + size_t(c.n) + 1 + nlab);
        size_t b = l.size() - nlab;
        EXPECT_EQ(l[b], c.first) << c.n;
        EXPECT_EQ(l[b].size(), c.full) << c.n;
        EXPECT_EQ(l.back(), c.last) << c.n;
    }
}

// Variable labels take their own width from the variable count.
TEST(canocofree, variablelabelwidth)
{
    matrix m(3, 100);
    std::vector<std::string> l = lines(canoco1(2, 2, 100, m, 1, 0));
    ASSERT_EQ(l.size(), 3u + 2 * 10 + 10 + 1);
    EXPECT_EQ(l[23], "PCNM  1 PCNM  2 PCNM  3 PCNM  4 PCNM  5 PCNM  6 PCNM  7 PCNM  8 PCNM  9 PCNM 10");
    EXPECT_EQ(l[32], "PCNM 91 PCNM 92 PCNM 93 PCNM 94 PCNM 95 PCNM 96 PCNM 97 PCNM 98 PCNM 99 PCNM100");
    EXPECT_EQ(l[33], "Site 1  Site 2");
}

// A method other than 1 and 2 is the polynomial path: monomial title and
// fields, and Mono labels.
TEST(canocofree, othermethod)
{
    matrix m(3, 3);
    EXPECT_EQ(canoco1(2, 1, 3, m, 3, 3),
              "File of monomials\nFREE\n 3 2\n"
              "   1.010000   1.020000   1.030000\n"
              "   2.010000   2.020000   2.030000\n"
              "Mono 1  Mono 2  Mono 3\n"
              "Site 1  Site 2\n");
}

// Layout 3 folds as layout 2 and writes no supplementary row or label.
TEST(canocofree, supplementary)
{
    matrix m(12, 20);
    for (int i = 4; i <= 12; ++i)
        for (int j = 1; j <= 20; ++j) m.at(i, j) = 8888;
    std::string want = "File of monomials\nFREE\n 14 3\n";
    for (int i = 1; i <= 3; ++i) want += block(graded(m, i, 4), 12, 7, 10);
    want += labelblock("Mono", 14) + labelblock("Site", 3);
    EXPECT_EQ(canoco1(3, 2, 14, m, 2, 4), want);
}

}  // namespace
