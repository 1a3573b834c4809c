// The writers of the spatial-variable file, on hand-made matrices: the
// folding, the graded order of the two-coordinate monomials, the fields and
// their overflow, the rows written, and the label blocks of the Canoco file.
// Headers, one-coordinate monomials, the empty blocks of layouts 2 and 3 and
// the labels of small files are compared byte for byte by the transcripts
// of tests/e2e (pcnm_*, poly_*, labels_*), and so are the report lines of
// output/report.h, but for a clock that passes midnight.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/output.h"
#include "output/report.h"
#include "testfiles.h"
#include "textio/textio.h"

namespace {

using strings = std::vector<std::string>;

// A site matrix of ld rows and c columns; element (i, j) is i + j / 100, so
// that every value names its place.
struct matrix {
    int ld;
    std::vector<double> v;
    matrix(int ld_, int c) : ld(ld_), v(size_t(ld_ * c))
    {
        for (int j = 1; j <= c; ++j)
            for (int i = 1; i <= ld; ++i) at(i, j) = i + j / 100.0;
    }
    double& at(int i, int j) { return v[size_t((i - 1) + (j - 1) * ld)]; }
};

// The file written in the layout (3: canocofree, otherwise writeout): what
// the writer handed to a temporary file, and what it left in the buffer.
std::string written(int layout, int n, int nvar, matrix& m, int method, int order, int ncoord = 2)
{
    std::unique_ptr<units> io(new units);
    initunits(*io);
    tempdir dir;
    const std::string path = dir.path + "/vars.txt";
    io->vars.fd = writeto(path);
    if (layout == 3)
        canocofree(n, ncoord, nvar, m.ld, m.v.data(), method, order, io->vars);
    else
        writeout(n, ncoord, nvar, m.ld, m.v.data(), layout, method, order, io->vars);
    // What reached the file, and what waits in the buffer.
    std::string t = slurp(path) + std::string(io->vars.obuf, io->vars.on);
    osclose(io->vars.fd);
    return native(t);
}

strings lines(const std::string& text)
{
    strings out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Row i of m at the columns cols in Fw.d, perline values to a line.
std::string block(matrix& m, int i, const std::vector<int>& cols, int w, int d, int perline)
{
    std::string s;
    char buf[64];
    for (size_t k = 0; k < cols.size(); ++k) {
        std::snprintf(buf, sizeof buf, "%*.*f", w, d, m.at(i, cols[k]));
        s += (k > 0 && k % size_t(perline) == 0 ? "\n" : "") + std::string(buf);
    }
    return s + '\n';
}

// The stored columns of the two-coordinate monomials of the order (power a
// of x outer, power b of y inner) in the order they are written: degree
// g = 1 up to the order, and within it a = g down to 0.
std::vector<int> graded(int order)
{
    int stored[6][6] = {}, col = 0;
    for (int a = 0; a <= order; ++a)
        for (int b = a ? 0 : 1; a + b <= order; ++b) stored[a][b] = ++col;
    std::vector<int> r;
    for (int g = 1; g <= order; ++g)
        for (int a = g; a >= 0; --a) r.push_back(stored[a][g - a]);
    return r;
}

// PCNM variables (F11.6) folded 11 to a line in layout 2, whatever the
// order; two-coordinate monomials in graded order, as many as the order
// gives whatever the count says, folded 12 (F10.5, order 2), 11 (F11.6,
// order 3) or 10 (F12.7, orders 4 and 5) to a line, any method but 1 being
// monomials; layout 1 holds a whole block on one line.
TEST(writeout, blocks)
{
    struct { int layout, method, order, nvar, w, d, perline; } cases[] = {
        {2, 1, 3, 1, 11, 6, 11},  {2, 1, 3, 11, 11, 6, 11}, {2, 1, 3, 12, 11, 6, 11},
        {2, 1, 3, 22, 11, 6, 11}, {2, 1, 5, 23, 11, 6, 11}, {1, 1, 0, 23, 11, 6, 999},
        {1, 1, 0, 999, 11, 6, 999}, {2, 2, 2, 5, 10, 5, 12}, {2, 0, 3, 9, 11, 6, 11},
        {2, 3, 4, 14, 12, 7, 10}, {2, 2, 5, 20, 12, 7, 10}, {2, 2, 2, 3, 10, 5, 12},
        {1, 2, 2, 5, 10, 5, 999}, {1, 2, 3, 9, 11, 6, 999}, {1, 2, 4, 14, 12, 7, 999},
        {1, 2, 5, 20, 12, 7, 999}};
    for (const auto& c : cases) {
        matrix m(3, 999);
        std::vector<int> cols = c.method == 1 ? std::vector<int>() : graded(c.order);
        for (int j = 1; c.method == 1 && j <= c.nvar; ++j) cols.push_back(j);
        std::string want = " 2 " + std::to_string(c.nvar) + "\n";
        for (int i = 1; i <= 2; ++i) want += block(m, i, cols, c.w, c.d, c.perline);
        EXPECT_EQ(written(c.layout, 2, c.nvar, m, c.method, c.order), want)
            << c.layout << " " << c.method << " " << c.order << " " << c.nvar;
    }
}

// Values outside a field become asterisks; their neighbours are intact.
TEST(writeout, asterisks)
{
    matrix m(3, 5);
    // stored y, y^2, x, xy, x^2; written x, y, x^2, xy, y^2
    const double v[2][5] = {{10000, -1000, 9999.99999, -999.99999, 9999.999996},
                            {-0.000004, 0.000004, -0.5, 0.5, -0.000006}};
    for (int j = 1; j <= 5; ++j) m.at(1, j) = v[0][j - 1], m.at(2, j) = v[1][j - 1];
    EXPECT_EQ(written(2, 2, 5, m, 2, 2),
              " 2 5\n"
              "9999.99999********************-999.99999**********\n"
              "  -0.50000   0.00000  -0.00001   0.50000   0.00000\n");
    m.at(1, 1) = 10000, m.at(1, 2) = -999.9999994, m.at(1, 3) = -1000;
    EXPECT_EQ(written(1, 1, 3, m, 1, 0), " 1 3\n***********-999.999999***********\n");
}

// No variables: one empty line per object (layouts 2 and 3 are in
// tests/e2e/pcnm_limit_zero*).  Rows beyond n, supplementary objects, are
// never written nor labelled.
TEST(writeout, emptyandsupplementary)
{
    matrix m(12, 20);
    EXPECT_EQ(written(1, 3, 0, m, 1, 0), " 3 0\n\n\n\n");
    for (int i = 4; i <= 12; ++i)
        for (int j = 1; j <= 20; ++j) m.at(i, j) = 8888;
    std::string one, folded;
    for (int i = 1; i <= 3; ++i)
        one += block(m, i, graded(4), 12, 7, 14), folded += block(m, i, graded(4), 12, 7, 10);
    EXPECT_EQ(written(1, 3, 14, m, 2, 4), " 3 14\n" + one);
    EXPECT_EQ(written(2, 3, 14, m, 2, 4), " 3 14\n" + folded);
    EXPECT_EQ(written(3, 3, 14, m, 2, 4),
              "File of monomials\nFREE\n 14 3\n" + folded +
                  "Mono 1  Mono 2  Mono 3  Mono 4  Mono 5  Mono 6  Mono 7  Mono 8  Mono 9  Mono10\n"
                  "Mono11  Mono12  Mono13  Mono14\n"
                  "Site 1  Site 2  Site 3\n");
}

// The number width of a label block follows its own count: I2 and two
// blanks up to 99, I3 and one blank up to 999, I4 beyond; ten to a line.
TEST(canocofree, labelwidths)
{
    struct { int nvar, n; const char *varlast, *sitelast; } cases[] = {
        {1, 99, "PCNM 1", "Site91  Site92  Site93  Site94  Site95  Site96  Site97  Site98  Site99"},
        {1, 100, "PCNM 1",
         "Site 91 Site 92 Site 93 Site 94 Site 95 Site 96 Site 97 Site 98 Site 99 Site100"},
        {1, 999, "PCNM 1",
         "Site991 Site992 Site993 Site994 Site995 Site996 Site997 Site998 Site999"},
        {1, 1000, "PCNM 1",
         "Site 991Site 992Site 993Site 994Site 995Site 996Site 997Site 998Site 999Site1000"},
        {100, 2, "PCNM 91 PCNM 92 PCNM 93 PCNM 94 PCNM 95 PCNM 96 PCNM 97 PCNM 98 PCNM 99 PCNM100",
         "Site 1  Site 2"}};
    for (const auto& c : cases) {
        matrix m(c.n + 2, c.nvar);
        strings l = lines(written(3, c.n, c.nvar, m, 1, 0));
        size_t sites = size_t(c.n + 9) / 10;
        ASSERT_EQ(l.size(), 3 + size_t(c.n * ((c.nvar + 10) / 11) + (c.nvar + 9) / 10) + sites);
        EXPECT_EQ(l[l.size() - sites - 1], c.varlast) << c.n;
        EXPECT_EQ(l.back(), c.sitelast) << c.n;
    }
}

// A method other than 1 and 2 is the polynomial path: monomial title and
// fields, and Mono labels.
TEST(canocofree, othermethod)
{
    matrix m(3, 3);
    EXPECT_EQ(written(3, 2, 3, m, 3, 3, 1),  // one coordinate
              "File of monomials\nFREE\n 3 2\n"
              "   1.010000   1.020000   1.030000\n"
              "   2.010000   2.020000   2.030000\n"
              "Mono 1  Mono 2  Mono 3\n"
              "Site 1  Site 2\n");
}

// The computation time of a run from start to now, seconds of the day:
// F10.2 behind an empty line; a run that passes midnight counts the day.
TEST(reptime, passesmidnight)
{
    const struct {
        float start, now;
        const char* line;
    } rows[] = {
        {100, 103, "      3.00"},
        {86399, 2, "      3.00"},
        {0, 86399, "  86399.00"},
        {5, 5, "      0.00"},
    };
    for (const auto& r : rows) {
        std::unique_ptr<units> io(new units);
        initunits(*io);
        tempdir dir;
        const std::string path = dir.path + "/r.txt";
        io->report.fd = writeto(path);
        reptime(io->report, r.start, r.now);
        std::string t = slurp(path) + std::string(io->report.obuf, io->report.on);
        osclose(io->report.fd);
        EXPECT_EQ(native(t), std::string("\n Computation time:") + r.line + " sec.\n") << r.start << " to " << r.now;
    }
}

}  // namespace
