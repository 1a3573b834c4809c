// Unit tests of the text layer: field rendering, field layouts, free-form
// writes and reads, opening, write failures and the failure reports.  Every
// expected text below is worked out by hand from the rules of the layer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "textio/textio.h"

namespace {

// ---------------------------------------------------------------- helpers

// Each test runs in a directory of its own, removed afterwards.
class textio : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        std::string t = (std::filesystem::temp_directory_path() / "textio-XXXXXX").string();
        std::vector<char> b(t.begin(), t.end());
        b.push_back('\0');
        ASSERT_NE(mkdtemp(b.data()), nullptr) << std::strerror(errno);
        dir = b.data();
    }

    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// The whole content of the file at path.
std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream o;
    o << f.rdbuf();
    return o.str();
}

// Replaces the file at path by text.
void spit(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

// The 79-character answer holding s, blank-padded (s at most 79 characters).
std::string name79(const std::string& s)
{
    std::string n = s;
    n.resize(namelen, ' ');
    return n;
}

// n copies of s.
std::string times(int n, const std::string& s)
{
    std::string t;
    for (int k = 0; k < n; ++k) t += s;
    return t;
}

// A text of n characters, the letters a..z over and over.
std::string letters(int n)
{
    std::string t;
    for (int k = 0; k < n; ++k) t += char('a' + k % 26);
    return t;
}

// A run's set of streams, initialised.  On the heap: every stream holds its
// input and output buffers.
std::unique_ptr<units> newunits()
{
    std::unique_ptr<units> io(new units);
    initunits(*io);
    return io;
}

// Runs statement on the report stream, opened on a new file of dir, closes
// it, and returns what reached the file.
std::string written(const std::string& dir, const std::function<void(stream&)>& statement)
{
    std::unique_ptr<units> io = newunits();
    std::string path = dir + "/written.txt";
    ::unlink(path.c_str());
    opennew(io->report, name79(path).c_str());
    statement(io->report);
    closes(io->report);
    std::string text = slurp(path);
    ::unlink(path.c_str());
    return text;
}

// Opens the coordinates stream of io on a file of dir holding text.
void feed(units& io, const std::string& dir, const std::string& text)
{
    std::string path = dir + "/input.txt";
    spit(path, text);
    openold(io.coord, name79(path).c_str());
}

// "context: message" of a failure.
std::string what(const ioerror& e) { return std::string(e.context) + ": " + e.message; }

// One free-form read statement of the items named by kinds ('i' integer,
// 'r' real, 't' text of 79 characters) on s.  Returns "context: message" of
// the failure, or "" when the statement succeeds.
std::string failure(stream& s, const std::string& kinds)
{
    int i = 0;
    double r = 0;
    char t[namelen];
    try {
        rbegin(s);
        for (char k : kinds) {
            if (k == 'i') rint(s, i);
            if (k == 'r') rreal(s, r);
            if (k == 't') rtext(s, t, namelen);
        }
        rend(s);
    } catch (const ioerror& e) {
        return what(e);
    }
    return "";
}

// The failure report of e, as written on an error stream that is a file of
// dir.
std::string report(units& io, const std::string& dir, const ioerror& e)
{
    std::string path = dir + "/err.txt";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    io.err.fd = fd;
    failreport(io, e);
    ::close(fd);
    io.err.fd = 2;
    return slurp(path);
}

// One read statement of the integers v on s; returns them.
std::vector<int> readints(stream& s, std::vector<int> v)
{
    rbegin(s);
    for (int& x : v) rint(s, x);
    rend(s);
    return v;
}

// One read statement of the reals v on s; returns them.
std::vector<double> readreals(stream& s, std::vector<double> v)
{
    rbegin(s);
    for (double& x : v) rreal(s, x);
    rend(s);
    return v;
}

// One read statement of the texts v (each of len characters) on s.
std::vector<std::string> readtexts(stream& s, int len, std::vector<std::string> v)
{
    rbegin(s);
    for (std::string& x : v) {
        x.resize(size_t(len), ' ');
        rtext(s, &x[0], len);
    }
    rend(s);
    return v;
}

// The double nearest to the decimal text t.
double nearest(const char* t)
{
    double x = 0;
    std::from_chars(t, t + std::strlen(t), x);
    return x;
}

// ---------------------------------------------------------------- rendering

// Renders with f into a buffer of w characters followed by guard bytes; the
// guard must be left alone.
std::string field(int w, const std::function<void(char*)>& f)
{
    std::vector<char> b(size_t(w) + 8, '#');
    f(b.data());
    for (size_t k = size_t(w); k < b.size(); ++k)
        if (b[k] != '#') return "<wrote past the field>";
    return std::string(b.data(), size_t(w));
}

TEST(render, integerfields)
{
    struct {
        int w;
        long long v;
        const char* want;
    } cases[] = {
        {7, 500, "    500"},
        {2, 100, "**"},
        {1, 0, "0"},
        {3, 0, "  0"},
        {3, -12, "-12"},
        {2, -12, "**"},
        {2, 99, "99"},
        {7, 1000, "   1000"},
        {11, -2147483648LL, "-2147483648"},
        {10, -2147483648LL, "**********"},
        {10, 2147483647LL, "2147483647"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("I" + std::to_string(c.w) + " of " + std::to_string(c.v));
        EXPECT_EQ(field(c.w, [&](char* out) { rendi(out, c.w, c.v); }), c.want);
    }
}

TEST(render, fixedfields)
{
    struct {
        int w, d;
        double v;
        const char* want;
    } cases[] = {
        // examples of the rules
        {10, 5, 0.5, "   0.50000"},
        {10, 5, -0.5, "  -0.50000"},
        {10, 5, 0.000004, "   0.00000"},
        {10, 5, -0.000004, "   0.00000"},
        {10, 5, -0.000001, "   0.00000"},
        {7, 4, 0.12345, " 0.1235"},
        {12, 3, 123456789.0, "************"},
        {5, 3, -0.5, "-.500"},
        {6, 2, 1234.5, "******"},
        {5, 0, 12.0, "  12."},
        {10, 2, 3.0, "      3.00"},
        {12, 3, 4.0, "       4.000"},
        {5, 0, 1000.0, "1000."},
        // negative zero and values that round to zero
        {10, 5, -0.0, "   0.00000"},
        {5, 0, -0.0, "   0."},
        {5, 0, 0.4, "   0."},
        {5, 0, -0.4, "   0."},
        {2, 1, -0.04, ".0"},
        // ties of the exact binary value go to the even digit
        {5, 2, 0.125, " 0.12"},
        {5, 2, -0.125, "-0.12"},
        {5, 2, 0.375, " 0.38"},
        {3, 0, 0.5, " 0."},
        {3, 0, -0.5, " 0."},
        {3, 0, 1.5, " 2."},
        {3, 0, 2.5, " 2."},
        {3, 0, 3.5, " 4."},
        // not ties: 0.05 lies a little above, 99.95 a little above
        {3, 1, -0.05, "-.1"},
        {5, 1, 99.95, "100.0"},
        {4, 1, 99.95, "****"},
        // the zero before the point goes only when that alone makes it fit
        {4, 3, 0.5, ".500"},
        {3, 3, 0.5, "***"},
        {5, 3, 0.5, "0.500"},
        {4, 3, -0.5, "****"},
        {1, 0, 0.0, "."},
        // signs and widths
        {5, 0, -12.0, " -12."},
        {4, 0, -12.0, "-12."},
        {3, 0, -12.0, "***"},
        {10, 5, 1.0, "   1.00000"},
        {11, 6, -1.25, "  -1.250000"},
        {25, 1, 1e20, "  100000000000000000000.0"},
    };
    for (const auto& c : cases) {
        std::ostringstream t;
        t.precision(17);
        t << "F" << c.w << "." << c.d << " of " << c.v;
        SCOPED_TRACE(t.str());
        EXPECT_EQ(field(c.w, [&](char* out) { rendf(out, c.w, c.d, c.v); }), c.want);
    }
}

TEST(render, textfields)
{
    std::string abc79 = name79("abc");
    struct {
        int w;
        std::string v;
        std::string want;
    } cases[] = {
        {30, abc79, "abc" + std::string(27, ' ')},
        {5, "abc", "  abc"},
        {3, "abcdef", "abc"},
        {3, "abc", "abc"},
        {3, "", "   "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("A" + std::to_string(c.w) + " of '" + c.v + "'");
        EXPECT_EQ(field(c.w, [&](char* out) { renda(out, c.w, c.v.data(), int(c.v.size())); }),
                  c.want);
    }
}

TEST(render, freeformreals)
{
    struct {
        double v;
        const char* want;
    } cases[] = {
        {0.5, "  0.5"},
        {-3.0, " -3."},
        {500.0, "  500."},
        {100.0, "  100."},
        {0.05, "  0.05"},
        {0.1, "  0.1"},
        {1.0 / 3.0, "  0.333333333"},
        {-2.0 / 3.0, " -0.666666667"},
        {12345.678, "  12345.678"},
        {0.999999985198839, "  0.999999985"},
        {1.0000000005, "  1."},
        {1.000000013351432e-10, "  1.00000001E-10"},
        {1e9, "  1.E+09"},
        {0.0, "  0."},
        {-0.0, "  0."},
        // decimal exponent -4 is fixed, -5 exponential, after rounding
        {0.0001, "  0.0001"},
        {0.00012345678949, "  0.000123456789"},
        {0.00001, "  1.E-05"},
        {0.0000999999999, "  9.99999999E-05"},
        {0.00009999999999, "  0.0001"},
        {2.5e-7, "  2.5E-07"},
        // decimal exponent 8 is fixed, 9 exponential, after rounding
        {999999999.0, "  999999999."},
        {999999999.4, "  999999999."},
        {999999999.5, "  1.E+09"},
        {100000000.5, "  100000000."},
        {100000001.5, "  100000002."},
        {123456789012.0, "  1.23456789E+11"},
        {-1.5e10, " -1.5E+10"},
        {1e100, "  1.E+100"},
        {1e-100, "  1.E-100"},
        // a single-precision value is widened, then rendered to 9 digits
        {double(0.1f), "  0.100000001"},
    };
    for (const auto& c : cases) {
        std::ostringstream t;
        t.precision(17);
        t << c.v;
        SCOPED_TRACE(t.str());
        char out[64];
        std::memset(out, '#', sizeof out);
        int n = rendg(out, c.v);
        ASSERT_GT(n, 0);
        ASSERT_LT(n, 33);
        EXPECT_EQ(std::string(out, size_t(n)), c.want);
    }
}

// ---------------------------------------------------------------- layouts

TEST(layout, parserrefusesmalformedlayouts)
{
    std::string deep = times(17, "(") + "I2" + times(17, ")");
    std::string many = "(" + times(70, "I2,") + "I2)";
    const char* bad[] = {
        "", "I5", "(I5", "(I5))", "(I5) x", "(I0)", "(F5)", "(F5.)", "(F.5)", "(A)",
        "('abc)", "('abc''", "(Q5)", "(0I5)", "(0(I5))", "(3)", "(3X", "((I2)", "(I5,",
        "(2(I2,)", "(F10.5.2)", "(5'x')", deep.c_str(), many.c_str(),
    };
    for (const char* src : bad) {
        SCOPED_TRACE(src);
        layout L;
        EXPECT_FALSE(parsefmt(src, L));
        EXPECT_THROW(fmt(src), std::logic_error);
    }
    const char* good[] = {
        "(I5)",
        " ( I5 ) ",
        "(2000F10.5)",
        "(10('PCNM',I2,2X,:))",
        "(/,' Computation time:',F10.2,' sec.')",
        "('it''s',I2)",
        "(\"x\",I2)",
        "(1X,3F5.0)",
        "(I1,2(I1,2(I2)))",
    };
    for (const char* src : good) {
        SCOPED_TRACE(src);
        layout L;
        EXPECT_TRUE(parsefmt(src, L));
    }
}

TEST_F(textio, layoutwrites)
{
    std::string name = name79("sites.txt");
    std::string half12 = times(12, "   0.50000");
    std::string neg8 = times(8, "   -1.250000");
    std::vector<item> halves(30, item(0.5));
    std::vector<item> negs(20, item(-1.25));
    std::vector<item> six(11, item(6.0));
    std::vector<item> three(3, item(2.0));
    std::vector<item> n12, n10;
    for (int k = 1; k <= 12; ++k) n12.push_back(k);
    for (int k = 1; k <= 10; ++k) n10.push_back(k);
    std::vector<item> n9(n12.begin(), n12.begin() + 9);
    std::vector<item> n11(n12.begin(), n12.begin() + 11);
    std::vector<item> none;
    std::vector<item> n7(n12.begin(), n12.begin() + 7);
    std::vector<item> n4(n12.begin(), n12.begin() + 4);
    std::vector<item> n2(n12.begin(), n12.begin() + 2);
    std::vector<item> n1(n12.begin(), n12.begin() + 1);
    std::vector<item> n1000;
    for (int k = 991; k <= 1000; ++k) n1000.push_back(k);

    std::string labels10 =
        "PCNM 1  PCNM 2  PCNM 3  PCNM 4  PCNM 5  PCNM 6  PCNM 7  PCNM 8  PCNM 9  PCNM10";
    std::string labels9 =
        "PCNM 1  PCNM 2  PCNM 3  PCNM 4  PCNM 5  PCNM 6  PCNM 7  PCNM 8  PCNM 9";

    struct {
        const char* src;
        const std::vector<item>& items;
        std::string want;
    } cases[] = {
        // the examples of the rules
        {"(/,' Computation time:',F10.2,' sec.')", {3.0}, "\n Computation time:      3.00 sec.\n"},
        {"(1X,3F5.0)", {12.0, 3.0}, "   12.   3.\n"},
        {"(1X,3F5.0)", {1.0, 1.0}, "    1.   1.\n"},
        {"(12F10.5)", halves, half12 + "\n" + half12 + "\n" + times(6, "   0.50000") + "\n"},
        {"(1X,8F12.6)", negs,
         " " + neg8 + "\n " + neg8 + "\n " + times(4, "   -1.250000") + "\n"},
        // the label layouts
        {"(10('PCNM',I2,2X,:))", none, "PCNM\n"},
        {"(10('PCNM',I2,2X,:))", n9, labels9 + "\n"},
        {"(10('PCNM',I2,2X,:))", n10, labels10 + "\n"},
        {"(10('PCNM',I2,2X,:))", n11, labels10 + "\nPCNM11\n"},
        {"(10('PCNM',I2,2X,:))", n12, labels10 + "\nPCNM11  PCNM12\n"},
        {"(10('Site',I3,1X,:))", n12,
         "Site  1 Site  2 Site  3 Site  4 Site  5 Site  6 Site  7 Site  8 Site  9 Site 10\n"
         "Site 11 Site 12\n"},
        {"(10('Site',I4,:))", n1000,
         "Site 991Site 992Site 993Site 994Site 995Site 996Site 997Site 998Site 999Site1000\n"},
        // records of the run
        {"(' This program can handle a maximum of',I7,' objects.')", {500},
         " This program can handle a maximum of    500 objects.\n"},
        {"(' This program can handle a maximum of',I7,' objects.')", {1000},
         " This program can handle a maximum of   1000 objects.\n"},
        {"(' Regular grid containing',/,I7,' horizontal points',/,I7,' vertical points',/)",
         {10, 5}, " Regular grid containing\n     10 horizontal points\n      5 vertical points\n\n"},
        {"(' Input file of coordinates: ',A30)", {item(name.c_str(), namelen)},
         " Input file of coordinates: sites.txt" + std::string(21, ' ') + "\n"},
        {"(/,' Number of positive eigenvalues:',I4,/)", {7},
         "\n Number of positive eigenvalues:   7\n\n"},
        {"(' Truncation of the distance matrix to the distance',F12.3,/,' yielded',I5,"
         "' positive eigenvalues.')",
         {0.5, 12},
         " Truncation of the distance matrix to the distance       0.500\n yielded   12 "
         "positive eigenvalues.\n"},
        {"(2000F10.5)", three, "   2.00000   2.00000   2.00000\n"},
        {"(11F11.6)", six, times(11, "   6.000000") + "\n"},
        // reversion: to the last group of the first level, with its full
        // count, or to the beginning when there is none
        {"('H',I2,2(I3))", n7, "H 1  2  3\n  4  5\n  6  7\n"},
        {"('H',I2)", n2, "H 1\nH 2\n"},
        {"(I1,(I2),'a',(I3))", n4, "1 2a  3\n  4\n"},
        {"(I1,2(I1,2(I2)))", n9, "12 3 45 6 7\n8 9\n"},
        // pending moves: written before what follows on the line, dropped at
        // a line end, at the end of the statement and before a ':' end
        {"(I1,3X,'a')", n1, "1   a\n"},
        {"(I1,2X,3X,I1)", n2, "1     2\n"},
        {"(I2,3X)", n2, " 1\n 2\n"},
        {"(I2,3X,/,I2)", n2, " 1\n 2\n"},
        {"(I1,2X,:,'z')", n1, "1\n"},
        {"(I1,2X,'z')", n1, "1  z\n"},
        // a data field with no item ends the statement, texts before it stay
        {"('a',I1,'b')", none, "a\n"},
        {"(I1,'z')", n1, "1z\n"},
        // the final line end, a leading and a trailing '/'
        {"(/,I2,/)", n1, "\n 1\n\n"},
        {"(/)", none, "\n\n"},
        {"('abc')", none, "abc\n"},
        {"('it''s',I2)", n1, "it's 1\n"},
        {"(' a/b, c:d (e)',I2)", n1, " a/b, c:d (e) 1\n"},
        {"(\"say \"\"hi\"\"\",I2)", n1, "say \"hi\" 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.src);
        layout L = fmt(c.src);
        EXPECT_EQ(written(dir, [&](stream& s) {
                      wfmt(s, L, c.items.data(), int(c.items.size()));
                  }),
                  c.want);
    }
}

// ---------------------------------------------------------------- free-form writes

TEST_F(textio, freeformwrites)
{
    std::string t20 = letters(20), t75 = letters(75), t76 = letters(76), t77 = letters(77),
                t78 = letters(78), t73 = letters(73), t74 = letters(74);
    std::string name = name79("out.txt");
    struct {
        std::vector<item> items;
        std::string want;
    } cases[] = {
        {{"Maximum number = ", 500}, " Maximum number =  500\n"},
        {{"Bs/rangmax =", 0.05}, " Bs/rangmax =  0.05\n"},
        {{}, "\n"},
        {{-42}, " -42\n"},
        {{0.5}, "  0.5\n"},
        {{-3.0}, " -3.\n"},
        {{"a", "b"}, " ab\n"},
        {{""}, " \n"},
        {{1.5f}, "  1.5\n"},
        {{"transects or surfaces, not for", 3, " geographic dimensions"},
         " transects or surfaces, not for 3 geographic dimensions\n"},
        {{"End of the program."}, " End of the program.\n"},
        {{"PCNM variables built by this program. If you find "},
         " PCNM variables built by this program. If you find \n"},
        // a 79-character text never fits behind another item
        {{item(t20.c_str(), 20), item(name.c_str(), namelen)},
         " " + t20 + "\n " + name + "\n"},
        {{"written out to file ", item(name.c_str(), namelen)},
         " written out to file \n " + name + "\n"},
        {{"The monomials have been written out to file ", item(name.c_str(), namelen)},
         " The monomials have been written out to file \n " + name + "\n"},
        // line length plus item length: 80 ends the line, 79 does not
        {{item(t78.c_str(), 78), "x"}, " " + t78 + "\n x\n"},
        {{item(t77.c_str(), 77), "x"}, " " + t77 + "x\n"},
        // an integer counts its digits only
        {{item(t76.c_str(), 76), 123}, " " + t76 + "\n 123\n"},
        {{item(t75.c_str(), 75), 123}, " " + t75 + " 123\n"},
        {{item(t75.c_str(), 75), -123}, " " + t75 + " -123\n"},
        // a real counts its whole rendering
        {{item(t74.c_str(), 74), 0.5}, " " + t74 + "\n  0.5\n"},
        {{item(t73.c_str(), 73), 0.5}, " " + t73 + "  0.5\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(written(dir, [&](stream& s) { wlist(s, c.items.data(), int(c.items.size())); }),
                  c.want);
    }
}

TEST_F(textio, longoutputreachesthefile)
{
    // More than one buffer's worth: every line arrives, in order.
    std::string t = letters(79);
    std::string want;
    for (int k = 0; k < 2000; ++k) want += " " + t + "\n " + std::to_string(k) + "\n";
    EXPECT_EQ(written(dir, [&](stream& s) {
                  for (int k = 0; k < 2000; ++k) wlist(s, {item(t.c_str(), 79), k});
              }),
              want);
    std::vector<item> many(2000, item(0.25));
    EXPECT_EQ(written(dir, [&](stream& s) { wfmt(s, fmt("(2000F10.5)"), many.data(), 2000); }),
              times(2000, "   0.25000") + "\n");
}

// ---------------------------------------------------------------- free-form reads

TEST_F(textio, readintegers)
{
    std::string count40 = std::string(39, '0') + "3*5\n";
    struct {
        std::string input;
        std::vector<int> before, want;
    } cases[] = {
        // separators: blanks, tabs, commas, line ends, empty lines
        {"7,8\n", {0}, {7}},
        {"7\n8\n", {0, 0}, {7, 8}},
        {"  7\t8\n", {0, 0}, {7, 8}},
        {"\t7 \t 8 \n", {0, 0}, {7, 8}},
        {"\n\n  7\n\n\n8\n", {0, 0}, {7, 8}},
        {"1 , 2\n", {0, 0}, {1, 2}},
        {"1\t,\t2\n", {0, 0}, {1, 2}},
        {"1,2,3,\n", {0, 0, 0}, {1, 2, 3}},
        {"7,8", {0, 0}, {7, 8}},
        {"7\r\n8\r\n", {0, 0}, {7, 8}},
        // null values keep the previous content
        {"7,,9\n", {1, 2, 3}, {7, 2, 9}},
        {",5\n", {1, 2}, {1, 5}},
        {",\n", {4}, {4}},
        {" , ,\n", {4, 5}, {4, 5}},
        {"7, ,9\n", {1, 2, 3}, {7, 2, 9}},
        {"7 ,9\n", {1, 2}, {7, 9}},
        {"7\n,9\n", {1, 2, 3}, {7, 2, 9}},
        // a slash ends the statement
        {"7/\n", {1, 2, 3}, {7, 2, 3}},
        {"7 / 8\n", {1, 2}, {7, 2}},
        {"/\n", {4}, {4}},
        {"7,/\n", {1, 2}, {7, 2}},
        // repetitions
        {"3*5\n", {0, 0, 0}, {5, 5, 5}},
        {"2*,7\n", {1, 2, 3}, {1, 2, 7}},
        {"2*\n7\n", {1, 2, 3}, {1, 2, 7}},
        {"2*5 6\n", {0, 0, 0}, {5, 5, 6}},
        {"2*-5\n", {0, 0}, {-5, -5}},
        {"1*5,2*\n", {0, 8, 9}, {5, 8, 9}},
        {count40, {0, 0, 0}, {5, 5, 5}},
        // counts of 20 to 40 digits saturate without overflow
        {std::string(25, '9') + "*5\n", {0, 0}, {5, 5}},
        {std::string(40, '9') + "*5\n", {0, 0, 0}, {5, 5, 5}},
        {"3*5\n", {0, 0}, {5, 5}},
        // integer forms
        {"007\n", {0}, {7}},
        {"+7\n", {0}, {7}},
        {"-7\n", {0}, {-7}},
        {"-0\n", {9}, {0}},
        {"2147483647\n", {0}, {2147483647}},
        {"-2147483648\n", {0}, {-2147483647 - 1}},
        {"000000000000000000002147483647\n", {0}, {2147483647}},
        // what follows the last value is discarded with the line
        {"12abc\n", {0}, {12}},
        {"7 8 9\n", {0}, {7}},
        {"5" + std::string(100000, ' ') + "6\n", {0, 0}, {5, 6}},
        {std::string(100000, ' ') + "9\n", {0}, {9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.size() > 60 ? c.input.substr(0, 60) + "..." : c.input);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        std::vector<int> got;
        try {
            got = readints(io->coord, c.before);
        } catch (const ioerror& e) {
            ADD_FAILURE() << what(e);
            continue;
        }
        EXPECT_EQ(got, c.want);
        closes(io->coord);
    }
}

TEST_F(textio, readreals)
{
    std::string tiny = "0." + std::string(300, '0') + "1\n";
    struct {
        std::string input;
        std::vector<double> before, want;
    } cases[] = {
        // the forms of 65.22
        {"65.22\n", {0}, {nearest("65.22")}},
        {"6.522E1\n", {0}, {nearest("65.22")}},
        {"6.522e1\n", {0}, {nearest("65.22")}},
        {"6.522d+1\n", {0}, {nearest("65.22")}},
        {"6.522D+1\n", {0}, {nearest("65.22")}},
        {"652.2-1\n", {0}, {nearest("65.22")}},
        {"0.6522+2\n", {0}, {nearest("65.22")}},
        {"6522E-2\n", {0}, {nearest("65.22")}},
        {"6522e-0002\n", {0}, {nearest("65.22")}},
        // other forms
        {"1.5-3\n", {0}, {nearest("0.0015")}},
        {"12\n", {0}, {12.0}},
        {".5\n", {0}, {0.5}},
        {"5.\n", {0}, {5.0}},
        {"-.5\n", {0}, {-0.5}},
        {"+2.5\n", {0}, {2.5}},
        {"3.0D0\n", {0}, {3.0}},
        {"0.1\n", {0}, {nearest("0.1")}},
        {"1.7976931348623157e308\n", {0}, {DBL_MAX}},
        {"4.9e-324\n", {0}, {nearest("4.9e-324")}},
        {"1e-320\n", {0}, {nearest("1e-320")}},
        {tiny, {0}, {nearest("1e-301")}},
        {"0." + std::string(300, '0') + "1e400\n", {0}, {1e99}},
        {"1e000000000005\n", {0}, {100000.0}},
        {"2.2250738585072011e-308\n", {0}, {nearest("2.2250738585072011e-308")}},
        // 2^53 + 1 is a tie and goes to even; a digit far behind breaks it
        {"9007199254740993\n", {0}, {9007199254740992.0}},
        {"9007199254740993.000000000000000000000000001\n", {0}, {9007199254740994.0}},
        {"9.007199254740993d15\n", {0}, {9007199254740992.0}},
        // underflow gives 0
        {"1e-999\n", {5}, {0.0}},
        {"1e-99999999\n", {5}, {0.0}},
        {"0e99999999\n", {5}, {0.0}},
        // separators, nulls, slash and repetitions as for integers
        {"1.5 2.5\n", {0, 0}, {1.5, 2.5}},
        {"1.5,,3\n", {0, 7, 0}, {1.5, 7, 3}},
        {"1.5/\n", {0, 7}, {1.5, 7}},
        {"2*1.5\n", {0, 0}, {1.5, 1.5}},
        {"12.5abc\n", {0}, {12.5}},
        {"2.25\r\n", {0}, {2.25}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.size() > 60 ? c.input.substr(0, 60) + "..." : c.input);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        std::vector<double> got;
        try {
            got = readreals(io->coord, c.before);
        } catch (const ioerror& e) {
            ADD_FAILURE() << what(e);
            continue;
        }
        ASSERT_EQ(got.size(), c.want.size());
        for (size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k], c.want[k]) << "value " << k;
        closes(io->coord);
    }
}

TEST_F(textio, readtexts)
{
    std::string longtext = letters(100000);
    struct {
        std::string input;
        int len;
        std::vector<std::string> before, want;
    } cases[] = {
        // unquoted texts end at a blank, tab, comma, slash or line end
        {"my file.txt\n", 79, {""}, {"my"}},
        {"data/sites.txt\n", 79, {""}, {"data"}},
        {"abc,def\n", 79, {""}, {"abc"}},
        {"abc\tdef\n", 79, {""}, {"abc"}},
        {"abc\r\n", 79, {""}, {"abc"}},
        {"abc", 79, {""}, {"abc"}},
        {"  abc  \n", 79, {""}, {"abc"}},
        {"12345\n", 79, {""}, {"12345"}},
        {"it's\n", 79, {""}, {"it's"}},
        // quoted texts run to the matching quote, doubled quotes stand for one
        {"'my file.txt'\n", 79, {""}, {"my file.txt"}},
        {"\"my file.txt\"\n", 79, {""}, {"my file.txt"}},
        {"'data/a, b.txt'\n", 79, {""}, {"data/a, b.txt"}},
        {"'it''s'\n", 79, {""}, {"it's"}},
        {"\"say \"\"hi\"\"\"\n", 79, {""}, {"say \"hi\""}},
        {"'a\"b'\n", 79, {""}, {"a\"b"}},
        {"'ab\ncd'\n", 79, {""}, {"abcd"}},
        {"'ab\r\ncd'\r\n", 79, {""}, {"abcd"}},
        {"''\n", 79, {"keep"}, {""}},
        {"'  x  '\n", 79, {""}, {"  x  "}},
        // cut or padded to the item's length
        {"abcdef\n", 3, {""}, {"abc"}},
        {"'ab'\n", 5, {"zzzzz"}, {"ab"}},
        {longtext + "\n", 79, {""}, {longtext.substr(0, 79)}},
        // nulls, slash, repetitions, several values
        {",\n", 79, {"keep"}, {"keep"}},
        {"/\n", 79, {"keep"}, {"keep"}},
        {"a,,c\n", 79, {"", "keep", ""}, {"a", "keep", "c"}},
        {"2*'x y'\n", 79, {"", ""}, {"x y", "x y"}},
        {"one\ntwo\n", 79, {"", ""}, {"one", "two"}},
        {"one two three\n", 79, {""}, {"one"}},
        {"\n\n  name\n", 79, {""}, {"name"}},
        {std::string(65534, ' ') + "x\r\ny\n", 79, {"", ""}, {"x", "y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.size() > 60 ? c.input.substr(0, 60) + "..." : c.input);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        std::vector<std::string> before = c.before, want = c.want;
        for (std::string& b : before) b.resize(size_t(c.len), ' ');
        for (std::string& w : want) w.resize(size_t(c.len), ' ');
        std::vector<std::string> got;
        try {
            got = readtexts(io->coord, c.len, before);
        } catch (const ioerror& e) {
            ADD_FAILURE() << what(e);
            continue;
        }
        EXPECT_EQ(got, want);
        closes(io->coord);
    }
}

TEST_F(textio, readmixedstatement)
{
    std::unique_ptr<units> io = newunits();
    feed(*io, dir, "3 2.5 'my name'\n  40,\t6.522d+1\n");
    int n = 0, m = 0;
    double a = 0, b = 0;
    char t[10];
    rbegin(io->coord);
    rint(io->coord, n);
    rreal(io->coord, a);
    rtext(io->coord, t, 10);
    rint(io->coord, m);
    rreal(io->coord, b);
    rend(io->coord);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(a, 2.5);
    EXPECT_EQ(std::string(t, 10), "my name   ");
    EXPECT_EQ(m, 40);
    EXPECT_EQ(b, nearest("65.22"));
}

TEST_F(textio, eachreadstartsonanewline)
{
    // The rest of the last line of a statement is discarded; the next
    // statement starts on the following line.
    struct {
        std::string input;
        std::vector<int> want;  // one integer per statement
    } cases[] = {
        {"7,8\n9\n", {7, 9}},
        {"7 8 9\n10\n", {7, 10}},
        {"12abc\n5\n", {12, 5}},
        {"1/ 2\n3\n", {1, 3}},
        {"1\r\n2\r\n3\r\n", {1, 2, 3}},
        {"4\n\n\n5", {4, 5}},
        {"2*6 7\n8\n", {6, 8}},
        {"5" + std::string(100000, 'x') + "\n6\n", {5, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        std::vector<int> got;
        try {
            for (size_t k = 0; k < c.want.size(); ++k) got.push_back(readints(io->coord, {0})[0]);
        } catch (const ioerror& e) {
            ADD_FAILURE() << what(e);
            continue;
        }
        EXPECT_EQ(got, c.want);
    }

    // A quoted text over two lines: the line of its closing quote is the one
    // whose rest is discarded.
    std::unique_ptr<units> io = newunits();
    feed(*io, dir, "'ab\ncd' x\n5\n");
    EXPECT_EQ(readtexts(io->coord, 4, {""}), std::vector<std::string>{"abcd"});
    EXPECT_EQ(readints(io->coord, {0}), std::vector<int>{5});
}

TEST_F(textio, lineendswithcarriagereturn)
{
    // Characters of a line as the closing pause reads them: a carriage
    // return before the line feed belongs to the line end.
    std::unique_ptr<units> io = newunits();
    feed(*io, dir, "go\r\nx\ry\n");
    std::string got;
    for (int k = 0; k < 9; ++k) {
        int c = peekc(io->coord);
        if (c < 0) {
            got += "<end>";
            break;
        }
        got += c == '\n' ? std::string("<nl>") : c == '\r' ? std::string("<cr>") : std::string(1, char(c));
        skipc(io->coord);
    }
    EXPECT_EQ(got, "go<nl>x<cr>y<nl><end>");
}

TEST_F(textio, readfailures)
{
    std::string count41 = std::string(40, '0') + "3*5\n";
    struct {
        std::string input;
        std::string kinds;
        std::string want;
    } cases[] = {
        // end of input in the middle of a statement
        {"", "i", "list in: end of file"},
        {"   \n\n\t\n", "i", "list in: end of file"},
        {"7\n", "ii", "list in: end of file"},
        {"7", "ii", "list in: end of file"},
        {"'abc\n", "t", "list in: end of file"},
        {"", "t", "list in: end of file"},
        // decimal point or exponent in an integer
        {"5.0\n", "i", "invalid integer: read unexpected character"},
        {"5.\n", "i", "invalid integer: read unexpected character"},
        {".5\n", "i", "invalid integer: read unexpected character"},
        {"1e3\n", "i", "invalid integer: read unexpected character"},
        {"1D3\n", "i", "invalid integer: read unexpected character"},
        {"3*2.5\n", "ii", "invalid integer: read unexpected character"},
        // outside the 32-bit range
        {"2147483648\n", "i", "invalid integer: read unexpected character"},
        {"-2147483649\n", "i", "invalid integer: read unexpected character"},
        {"99999999999999999999999\n", "i", "invalid integer: read unexpected character"},
        // no number where one must begin
        {"abc\n", "i", "invalid number: incomprehensible list input"},
        {"abc\n", "r", "invalid number: incomprehensible list input"},
        {"'5'\n", "i", "invalid number: incomprehensible list input"},
        {"12abc\n", "ii", "invalid number: incomprehensible list input"},
        {"1.5x 2\n", "rr", "invalid number: incomprehensible list input"},
        {"7 x\n", "ii", "invalid number: incomprehensible list input"},
        {"inf\n", "r", "invalid number: incomprehensible list input"},
        {"nan\n", "r", "invalid number: incomprehensible list input"},
        {"-\n", "r", "invalid number: incomprehensible list input"},
        {"12.5.3\n", "rr", "invalid number: incomprehensible list input"},
        {"1e5-3 4\n", "rrr", "invalid number: incomprehensible list input"},
        {"1.2+3.4\n", "rr", "invalid number: incomprehensible list input"},
        {"2*5.5.5\n", "rrr", "invalid number: incomprehensible list input"},
        {"2*5x\n", "iii", "invalid number: incomprehensible list input"},
        {"2*5x\n", "ii", ""},
        {"12.5.3\n", "r", ""},
        // magnitudes beyond the largest double
        {"1e999\n", "r", "invalid number: incomprehensible list input"},
        {"-1d400\n", "r", "invalid number: incomprehensible list input"},
        {"1.8e308\n", "r", "invalid number: incomprehensible list input"},
        {"1e99999999\n", "r", "invalid number: incomprehensible list input"},
        // bad repetition counts
        {"0*5\n", "i", "bad repetition count: incomprehensible list input"},
        {"-2*5\n", "i", "bad repetition count: incomprehensible list input"},
        {"+2*5\n", "i", "bad repetition count: incomprehensible list input"},
        {"*5\n", "i", "bad repetition count: incomprehensible list input"},
        {count41, "i", "bad repetition count: incomprehensible list input"},
        {"0*1.5\n", "r", "bad repetition count: incomprehensible list input"},
        // exponents without digits or above 99999999
        {"1e\n", "r", "exponent field: incomprehensible list input"},
        {"1.5-\n", "r", "exponent field: incomprehensible list input"},
        {"1e+\n", "r", "exponent field: incomprehensible list input"},
        {"2D\n", "r", "exponent field: incomprehensible list input"},
        {"1ex\n", "r", "exponent field: incomprehensible list input"},
        {"1e100000000\n", "r", "exponent field: incomprehensible list input"},
        {"1e-100000000\n", "r", "exponent field: incomprehensible list input"},
        {"1.5+100000000\n", "r", "exponent field: incomprehensible list input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + " as " + c.kinds);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        EXPECT_EQ(failure(io->coord, c.kinds), c.want);
    }
}

TEST_F(textio, readafterend)
{
    // A statement that starts after the end was met by the one before it
    // (a last line without line feed) fails at its start; when the last line
    // has its line feed, the end is met in the middle of the next statement.
    struct {
        std::string input;
        std::string second;
    } cases[] = {
        {"7", "read start: end of file"},
        {"7 8", "read start: end of file"},
        {"7/", "read start: end of file"},
        {"'abc'", "read start: end of file"},
        {"7\n", "list in: end of file"},
        {"7\r\n", "list in: end of file"},
        {"7\n\n", "list in: end of file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, c.input);
        EXPECT_EQ(failure(io->coord, c.input[0] == '\'' ? "t" : "i"), "");
        EXPECT_EQ(failure(io->coord, "i"), c.second);
    }
}

TEST_F(textio, failurereports)
{
    // Console input: unit 5, unnamed.
    {
        std::unique_ptr<units> io = newunits();
        std::string path = dir + "/answers.txt";
        spit(path, "4\n");
        io->in.fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(io->in.fd, 0);
        int v = 0;
        rbegin(io->in);
        rint(io->in, v);
        rend(io->in);
        try {
            rbegin(io->in);
            rint(io->in, v);
            rend(io->in);
            ADD_FAILURE() << "no failure at the end of input";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, dir, e),
                      "list in: end of file\n"
                      "apparent state: unit 5 (unnamed)\n"
                      "last format: list io\n"
                      "lately reading sequential formatted external IO\n");
        }
        ::close(io->in.fd);
    }
    // Console input after a last line without line feed.
    {
        std::unique_ptr<units> io = newunits();
        std::string path = dir + "/answers.txt";
        spit(path, "4");
        io->in.fd = ::open(path.c_str(), O_RDONLY);
        int v = 0;
        rbegin(io->in);
        rint(io->in, v);
        rend(io->in);
        try {
            rbegin(io->in);
            ADD_FAILURE() << "no failure at the start";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, dir, e),
                      "read start: end of file\n"
                      "apparent state: unit 5 (unnamed)\n"
                      "last format: list io\n"
                      "lately reading sequential formatted external IO\n");
        }
        ::close(io->in.fd);
    }
    // Coordinates file: unit 2, named.
    {
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, "40 2.5 0\n");
        int v = 0;
        try {
            rbegin(io->coord);
            rint(io->coord, v);
            rint(io->coord, v);
            ADD_FAILURE() << "2.5 read as an integer";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, dir, e),
                      "invalid integer: read unexpected character\n"
                      "apparent state: unit 2 named " + dir + "/input.txt\n"
                      "last format: list io\n"
                      "lately reading sequential formatted external IO\n");
        }
    }
    // An open after a layout statement on the console: the layout shows.
    {
        std::unique_ptr<units> io = newunits();
        std::string out = dir + "/console.txt";
        io->out.fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const char* src = "(' This program can handle a maximum of',I7,' objects.')";
        wfmt(io->out, fmt(src), {500});
        std::string path = dir + "/report.txt";
        spit(path, "old\n");
        try {
            opennew(io->report, name79(path).c_str());
            ADD_FAILURE() << "existing file opened as new";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, dir, e), std::string("open: 'new' file exists\n") +
                                               "apparent state: unit 7 named " + path + "\n" +
                                               "last format: " + src + "\n" +
                                               "lately writing sequential formatted external IO\n");
        }
        // The console line was flushed before the report.
        EXPECT_EQ(slurp(out), " This program can handle a maximum of    500 objects.\n");
        ::close(io->out.fd);
    }
    // No statement yet: the format line is left out.
    {
        std::unique_ptr<units> io = newunits();
        std::string path = dir + "/missing.txt";
        try {
            openold(io->coord, name79(path).c_str());
            ADD_FAILURE() << "missing file opened";
        } catch (const ioerror& e) {
            std::string r = report(*io, dir, e);
            std::string head = "open: No such file or directory\n"
                               "apparent state: unit 2 named " + path + "\n";
            EXPECT_EQ(r.substr(0, head.size()), head);
            EXPECT_EQ(r.find("last format"), std::string::npos);
            EXPECT_EQ(r.substr(head.size(), 7), "lately ");
        }
    }
    // An empty name: the stream has no name.
    {
        std::unique_ptr<units> io = newunits();
        int v = 0;
        feed(*io, dir, "1\n");
        readints(io->coord, {v});
        try {
            opennew(io->grid, name79("").c_str());
            ADD_FAILURE() << "empty name opened";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, dir, e),
                      "open: null file name\n"
                      "apparent state: unit 9 (unnamed)\n"
                      "last format: list io\n"
                      "lately reading sequential formatted external IO\n");
        }
    }
}

TEST_F(textio, consolewrittenbeforeread)
{
    // A question on the console reaches it before the read of its answer
    // waits; a console line reaches it before a failure report.
    std::unique_ptr<units> io = newunits();
    std::string out = dir + "/console.txt";
    std::string in = dir + "/answers.txt";
    spit(in, "5\n");
    io->out.fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    io->in.fd = ::open(in.c_str(), O_RDONLY);
    wlist(io->out, {"Sampling design:"});
    rbegin(io->in);
    EXPECT_EQ(slurp(out), " Sampling design:\n");
    int v = 0;
    rint(io->in, v);
    rend(io->in);
    EXPECT_EQ(v, 5);

    wlist(io->out, {"Do you want to construct"});
    io->err.fd = io->out.fd;
    try {
        rbegin(io->in);
        rint(io->in, v);
        ADD_FAILURE() << "no end of input";
    } catch (const ioerror& e) {
        failreport(*io, e);
    }
    wlist(io->out, {"End of the program."});
    errline(*io, "STOP");
    EXPECT_EQ(slurp(out),
              " Sampling design:\n"
              " Do you want to construct\n"
              "list in: end of file\n"
              "apparent state: unit 5 (unnamed)\n"
              "last format: list io\n"
              "lately reading sequential formatted external IO\n"
              " End of the program.\n"
              "STOP\n");
    io->err.fd = 2;
    ::close(io->out.fd);
    ::close(io->in.fd);
    io->out.fd = 1;
}

// ---------------------------------------------------------------- opening

TEST_F(textio, opening)
{
    std::string existing = dir + "/existing.txt";
    spit(existing, "keep me\n");
    mkdir((dir + "/sub").c_str(), 0777);
    struct {
        std::string name;  // "" is the empty answer
        bool mustexist;
        std::string want;
    } cases[] = {
        {existing, false, "open: 'new' file exists"},
        {dir + "/sub", false, "open: 'new' file exists"},
        {"", false, "open: null file name"},
        {"", true, "open: null file name"},
        {dir + "/none.txt", true, "open: No such file or directory"},
        {dir + "/nodir/new.txt", false, "open: No such file or directory"},
        {dir + "/sub", true, "open: Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + (c.mustexist ? " (must exist)" : " (new)"));
        std::unique_ptr<units> io = newunits();
        std::string got;
        try {
            if (c.mustexist)
                openold(io->coord, name79(c.name).c_str());
            else
                opennew(io->report, name79(c.name).c_str());
        } catch (const ioerror& e) {
            got = what(e);
        }
        EXPECT_EQ(got, c.want);
    }
    EXPECT_EQ(slurp(existing), "keep me\n");

    // A name answered with a null value or a slash stays blank, and opening
    // it fails as an empty name does.
    for (const char* answer : {",\n", "/\n", "''\n"}) {
        SCOPED_TRACE(answer);
        std::unique_ptr<units> io = newunits();
        feed(*io, dir, answer);
        std::vector<std::string> name = readtexts(io->coord, namelen, {""});
        std::string got;
        try {
            opennew(io->report, name[0].c_str());
        } catch (const ioerror& e) {
            got = what(e);
        }
        EXPECT_EQ(got, "open: null file name");
    }

    // Trailing blanks are not part of the name; a new file starts empty.
    std::unique_ptr<units> io = newunits();
    std::string path = dir + "/new.txt";
    opennew(io->vars, name79(path).c_str());
    EXPECT_STREQ(io->vars.name, path.c_str());
    closes(io->vars);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    opennew(io->grid, name79(dir + "/grid.txt").c_str());
    wlist(io->grid, {"x"});
    closes(io->grid);
    EXPECT_EQ(slurp(dir + "/grid.txt"), " x\n");
    EXPECT_NE(::access((dir + "/grid.txt ").c_str(), F_OK), 0);
    openold(io->coord, name79(dir + "/grid.txt").c_str());
    char t[3];
    rbegin(io->coord);
    rtext(io->coord, t, 3);
    rend(io->coord);
    EXPECT_EQ(std::string(t, 3), "x  ");
    closes(io->coord);
}

// ---------------------------------------------------------------- ends of a run

TEST_F(textio, failedwriteisreported)
{
    int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "/dev/full cannot be opened here: " << std::strerror(errno);
    std::unique_ptr<units> io = newunits();
    io->report.fd = fd;
    wlist(io->report, {"End of the program."});
    std::string got;
    try {
        closes(io->report);
    } catch (const ioerror& e) {
        got = what(e);
        EXPECT_EQ(e.s, &io->report);
    }
    EXPECT_EQ(got, "write: No space left on device");
    EXPECT_EQ(io->report.fd, -1);

    // At the end of a run the failure is reported and the status is 2.
    fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    io = newunits();
    io->vars.fd = fd;
    wfmt(io->vars, fmt("(12F10.5)"), {1.0, 2.0});
    std::string err = dir + "/err.txt";
    io->err.fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    EXPECT_EQ(closeall(*io, 0), 2);
    ::close(io->err.fd);
    EXPECT_EQ(slurp(err),
              "write: No space left on device\n"
              "apparent state: unit 12 (unnamed)\n"
              "last format: (12F10.5)\n"
              "lately writing sequential formatted external IO\n");
}

TEST_F(textio, closeallflushesandcloses)
{
    std::unique_ptr<units> io = newunits();
    std::string report = dir + "/report.txt", vars = dir + "/vars.txt", grid = dir + "/Grid.txt",
                coord = dir + "/coord.txt";
    spit(coord, "1 2\n");
    opennew(io->report, name79(report).c_str());
    opennew(io->vars, name79(vars).c_str());
    opennew(io->grid, name79(grid).c_str());
    openold(io->coord, name79(coord).c_str());
    wlist(io->report, {"End of the program."});
    wfmt(io->vars, fmt("(I3)"), {7});
    wfmt(io->grid, fmt("(1X,3F5.0)"), {12.0, 3.0});
    EXPECT_EQ(closeall(*io, 0), 0);
    EXPECT_EQ(slurp(report), " End of the program.\n");
    EXPECT_EQ(slurp(vars), "  7\n");
    EXPECT_EQ(slurp(grid), "   12.   3.\n");
    EXPECT_EQ(io->report.fd, -1);
    EXPECT_EQ(io->vars.fd, -1);
    EXPECT_EQ(io->grid.fd, -1);
    EXPECT_EQ(io->coord.fd, -1);
}

}  // namespace
