// Unit tests of the text layer: field rendering, field layouts, free-form
// writes and reads, the failure reports and write failures.  Every expected
// text below is worked out by hand from the rules of the layer.  What the
// transcripts of tests/e2e already pin down byte for byte (the dialogue's
// lines, opening failures, CR LF answers, quoted names, the reports of
// invalid values) is not repeated here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testfiles.h"
#include "textio/progress.h"
#include "textio/textio.h"

namespace {

// ---------------------------------------------------------------- helpers

const tempdir tmp;

// The 79-character answer holding s, blank-padded.
std::string name79(std::string s)
{
    s.resize(namelen, ' ');
    return s;
}

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

// A run's set of streams, initialised (on the heap: the buffers are large).
std::unique_ptr<units> newunits()
{
    std::unique_ptr<units> io(new units);
    initunits(*io);
    return io;
}

std::string what(const ioerror& e) { return std::string(e.context) + ": " + e.message; }

// What statement writes on the report stream, opened on a new file.
std::string written(const std::function<void(stream&)>& statement)
{
    std::unique_ptr<units> io = newunits();
    std::string path = tmp.path + "/written.txt";
    std::error_code ec;
    std::filesystem::remove(path, ec);
    opennew(io->report, name79(path).c_str());
    statement(io->report);
    closes(io->report);
    return native(slurp(path));
}

// The failure report of e, as the error stream receives it.
std::string report(units& io, const ioerror& e)
{
    std::string path = tmp.path + "/err.txt";
    io.err.fd = writeto(path);
    failreport(io, e);
    osclose(io.err.fd);
    io.err.fd = osstderr;
    return native(slurp(path));
}

// The shortest decimal text that reads back as x.
std::string shortest(double x)
{
    char b[40];
    return std::string(b, std::to_chars(b, b + sizeof b, x).ptr);
}

// Runs on a file holding input the read statements of kinds ('i' integer,
// 'r' real, 't' text of 79 characters, 'a' text of 3; '|' between two
// statements) and tells what they did: the values one blank apart ('_' for
// an item that kept its content, texts in brackets without trailing
// blanks), '|' between statements, and at the end "context: message" of a
// failure.
std::string reads(const std::string& input, const std::string& kinds)
{
    const int keep = 123456789;
    std::unique_ptr<units> io = newunits();
    std::string path = tmp.path + "/input.txt";
    spit(path, input);
    std::string got;
    auto add = [&](const std::string& v) { got += (got.empty() || got.back() == '|' ? "" : " ") + v; };
    try {
        openold(io->coord, name79(path).c_str());
        rbegin(io->coord);
        for (char k : kinds) {
            if (k == '|') {
                rend(io->coord);
                got += '|';
                rbegin(io->coord);
            } else if (k == 'i') {
                int x = keep;
                rint(io->coord, x);
                add(x == keep ? "_" : std::to_string(x));
            } else if (k == 'r') {
                double x = NAN;
                rreal(io->coord, x);
                add(std::isnan(x) ? "_" : shortest(x));
            } else {
                std::string t(k == 't' ? namelen : 3, '~');
                rtext(io->coord, &t[0], int(t.size()));
                add(t.find_first_not_of('~') == std::string::npos
                        ? "_" : "[" + t.substr(0, t.find_last_not_of(' ') + 1) + "]");
            }
        }
        rend(io->coord);
    } catch (const ioerror& e) {
        add(what(e));
    }
    closes(io->coord);
    return got;
}

// ---------------------------------------------------------------- rendering

TEST(render, fields)
{
    const std::string abc79 = name79("abc");
    struct {
        const char* field;  // Iw, Fw.d or Aw
        double v;           // the value of I and F
        const char* want;
        const char* text = nullptr;  // the value of A
    } cases[] = {
        {"I7", 500, "    500"}, {"I2", 100, "**"}, {"I1", 0, "0"}, {"I3", -12, "-12"},
        {"I2", -12, "**"}, {"I2", 99, "99"}, {"I11", -2147483648.0, "-2147483648"},
        {"I10", -2147483648.0, "**********"}, {"I10", 2147483647, "2147483647"},
        {"F10.5", 0.5, "   0.50000"}, {"F10.5", -0.5, "  -0.50000"},
        {"F10.5", -0.000004, "   0.00000"}, {"F7.4", 0.12345, " 0.1235"},
        {"F12.3", 123456789.0, "************"}, {"F6.2", 1234.5, "******"},
        {"F5.0", 12, "  12."}, {"F5.0", 1000, "1000."}, {"F25.1", 1e20, "  100000000000000000000.0"},
        // negative zero and values that round to zero have no sign
        {"F10.5", -0.0, "   0.00000"}, {"F5.0", -0.0, "   0."}, {"F5.0", -0.4, "   0."},
        {"F2.1", -0.04, ".0"},
        // ties of the exact binary value go to the even digit
        {"F5.2", 0.125, " 0.12"}, {"F5.2", -0.125, "-0.12"}, {"F5.2", 0.375, " 0.38"},
        {"F3.0", 0.5, " 0."}, {"F3.0", -0.5, " 0."}, {"F3.0", 1.5, " 2."}, {"F3.0", 2.5, " 2."},
        {"F3.0", 3.5, " 4."},
        // not ties: the binary values of 0.05 and 99.95 lie a little above
        {"F3.1", -0.05, "-.1"}, {"F5.1", 99.95, "100.0"}, {"F4.1", 99.95, "****"},
        // the zero before the point goes only when that alone makes it fit
        {"F4.3", 0.5, ".500"}, {"F3.3", 0.5, "***"}, {"F5.3", 0.5, "0.500"},
        {"F5.3", -0.5, "-.500"}, {"F4.3", -0.5, "****"}, {"F1.0", 0.0, "."},
        {"F4.0", -12, "-12."}, {"F3.0", -12, "***"}, {"F11.6", -1.25, "  -1.250000"},
        {"A30", 0, "abc                           ", abc79.c_str()}, {"A5", 0, "  abc", "abc"},
        {"A3", 0, "abc", "abcdef"}, {"A3", 0, "   ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " of " + (c.text ? c.text : shortest(c.v)));
        int w = std::atoi(c.field + 1), d = std::strchr(c.field, '.') ? std::atoi(std::strchr(c.field, '.') + 1) : 0;
        std::vector<char> b(size_t(w) + 8, '#');  // the guard after the field stays
        if (c.field[0] == 'I') rendi(b.data(), w, (long long)c.v);
        if (c.field[0] == 'F') rendf(b.data(), w, d, c.v);
        if (c.field[0] == 'A') renda(b.data(), w, c.text, int(std::strlen(c.text)));
        EXPECT_EQ(std::string(b.data(), b.size()), c.want + std::string(8, '#'));
    }
}

TEST(render, freeformreals)
{
    struct {
        double v;
        const char* want;
    } cases[] = {
        {0.5, "  0.5"}, {-3.0, " -3."}, {500.0, "  500."}, {0.05, "  0.05"},
        {1.0 / 3.0, "  0.333333333"}, {-2.0 / 3.0, " -0.666666667"}, {12345.678, "  12345.678"},
        {0.999999985198839, "  0.999999985"}, {1.0000000005, "  1."},
        {1.000000013351432e-10, "  1.00000001E-10"}, {1e9, "  1.E+09"}, {0.0, "  0."}, {-0.0, "  0."},
        // decimal exponent -4 is fixed, -5 exponential, after rounding
        {0.0001, "  0.0001"}, {0.00012345678949, "  0.000123456789"}, {0.00001, "  1.E-05"},
        {0.0000999999999, "  9.99999999E-05"}, {0.00009999999999, "  0.0001"}, {2.5e-7, "  2.5E-07"},
        // decimal exponent 8 is fixed, 9 exponential, after rounding
        {999999999.4, "  999999999."}, {999999999.5, "  1.E+09"}, {100000000.5, "  100000000."},
        {100000001.5, "  100000002."}, {123456789012.0, "  1.23456789E+11"}, {-1.5e10, " -1.5E+10"},
        {1e100, "  1.E+100"}, {1e-100, "  1.E-100"},
        // a single-precision value is widened, then rendered to 9 digits
        {double(0.1f), "  0.100000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(shortest(c.v));
        char out[64];
        int n = rendg(out, c.v);
        ASSERT_TRUE(n > 0 && n <= 32);
        EXPECT_EQ(std::string(out, size_t(n)), c.want);
    }
}

// ---------------------------------------------------------------- layouts

TEST(layout, malformedlayoutsarerefused)
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
}

// The items 1 .. n.
std::vector<item> upto(int n)
{
    std::vector<item> v;
    for (int k = 1; k <= n; ++k) v.push_back(k);
    return v;
}

TEST(layout, writes)
{
    const std::string labels10 = "PCNM 1  PCNM 2  PCNM 3  PCNM 4  PCNM 5  PCNM 6  PCNM 7  PCNM 8  PCNM 9  PCNM10";
    const std::string half12 = times(12, "   0.50000"), neg8 = times(8, "   -1.250000");
    struct {
        const char* src;
        std::vector<item> items;
        std::string want;
    } cases[] = {
        // the examples of the rules
        {"(/,' Computation time:',F10.2,' sec.')", {3.0}, "\n Computation time:      3.00 sec.\n"},
        {"(1X,3F5.0)", {12.0, 3.0}, "   12.   3.\n"},
        {"(12F10.5)", std::vector<item>(30, item(0.5)),
         half12 + "\n" + half12 + "\n" + times(6, "   0.50000") + "\n"},
        {"(1X,8F12.6)", std::vector<item>(20, item(-1.25)),
         " " + neg8 + "\n " + neg8 + "\n " + times(4, "   -1.250000") + "\n"},
        // the label layout: the colon ends it after the last item
        {"(10('PCNM',I2,2X,:))", {}, "PCNM\n"},
        {"(10('PCNM',I2,2X,:))", upto(10), labels10 + "\n"},
        {"(10('PCNM',I2,2X,:))", upto(11), labels10 + "\nPCNM11\n"},
        {"(10('PCNM',I2,2X,:))", upto(12), labels10 + "\nPCNM11  PCNM12\n"},
        // reversion: to the last group of the first level, with its full
        // count, or to the beginning when there is none
        {"('H',I2,2(I3))", upto(7), "H 1  2  3\n  4  5\n  6  7\n"},
        {"('H',I2)", upto(2), "H 1\nH 2\n"},
        {"(I1,(I2),'a',(I3))", upto(4), "1 2a  3\n  4\n"},
        {"(I1,2(I1,2(I2)))", upto(9), "12 3 45 6 7\n8 9\n"},
        // pending moves: written before what follows on the line, dropped at
        // a line end, at the end of the statement and before a ':' end
        {"(I1,2X,3X,I1)", upto(2), "1     2\n"},
        {"(I2,3X)", upto(2), " 1\n 2\n"},
        {"(I2,3X,/,I2)", upto(2), " 1\n 2\n"},
        {"(I1,2X,:,'z')", upto(1), "1\n"},
        {"(I1,2X,'z')", upto(1), "1  z\n"},
        // a data field with no item ends the statement, texts before it stay
        {"('a',I1,'b')", {}, "a\n"},
        // the final line end, a leading and a trailing '/', texts
        {"(/,I2,/)", upto(1), "\n 1\n\n"},
        {"(/)", {}, "\n\n"},
        {" ( ' a/b, c:d (it''s)' , I2 ) ", upto(1), " a/b, c:d (it's) 1\n"},
        {"(\"say \"\"hi\"\"\",I2)", upto(1), "say \"hi\" 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.src);
        layout L = fmt(c.src);
        EXPECT_EQ(written([&](stream& s) { wfmt(s, L, c.items.data(), int(c.items.size())); }), c.want);
    }
}

// ---------------------------------------------------------------- free-form writes

TEST(freeform, writes)
{
    const std::string t20 = letters(20), name = name79("out.txt");
    std::string t[80];
    for (int n : {73, 74, 75, 76, 77, 78}) t[n] = letters(n);
    auto text = [](const std::string& s) { return item(s.c_str(), int(s.size())); };
    struct {
        std::vector<item> items;
        std::string want;
    } cases[] = {
        {{"Maximum number = ", 500}, " Maximum number =  500\n"},
        {{}, "\n"}, {{-42}, " -42\n"}, {{"a", "b"}, " ab\n"}, {{""}, " \n"}, {{1.5f}, "  1.5\n"},
        // a 79-character text never fits behind another item
        {{text(t20), text(name)}, " " + t20 + "\n " + name + "\n"},
        // line length plus item length: 80 ends the line, 79 does not
        {{text(t[78]), "x"}, " " + t[78] + "\n x\n"},
        {{text(t[77]), "x"}, " " + t[77] + "x\n"},
        // an integer counts its digits only
        {{text(t[76]), 123}, " " + t[76] + "\n 123\n"},
        {{text(t[75]), -123}, " " + t[75] + " -123\n"},
        // a real counts its whole rendering
        {{text(t[74]), 0.5}, " " + t[74] + "\n  0.5\n"},
        {{text(t[73]), 0.5}, " " + t[73] + "  0.5\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(written([&](stream& s) { wlist(s, c.items.data(), int(c.items.size())); }), c.want);
    }

    // More than one buffer's worth: every line arrives, in order.
    std::string want, t79 = letters(79);
    for (int k = 0; k < 2000; ++k) want += " " + t79 + "\n " + std::to_string(k) + "\n";
    EXPECT_EQ(written([&](stream& s) {
                  for (int k = 0; k < 2000; ++k) wlist(s, {text(t79), k});
              }),
              want);
}

// ---------------------------------------------------------------- records handed over

// Each write statement hands its records to the system as it ends: the file
// holds them while the stream is still open, the same as when it is closed.
TEST(handover, attheendofeachstatement)
{
    const std::string t79 = letters(79);
    std::vector<item> reals, ints;
    for (int k = 0; k < 10000; ++k) reals.emplace_back(k / 7.0);
    for (int k = 1; k <= 12; ++k) ints.emplace_back(k);
    struct {
        const char* name;
        std::function<void(stream&)> statement;
    } cases[] = {
        {"free-form line", [](stream& s) { wlist(s, {"End of the program."}); }},
        {"empty free-form line", [](stream& s) { wlist(s); }},
        {"free-form statement of two lines",
         [&](stream& s) { wlist(s, {"written out to file ", item(t79.c_str(), namelen)}); }},
        {"layout beginning and ending with empty lines", [](stream& s) { wfmt(s, fmt("(/,'x',/)"), {}); }},
        {"layout with reversion", [&](stream& s) { wfmt(s, fmt("(1X,8F12.6)"), reals.data(), 20); }},
        {"layout ended by a colon", [&](stream& s) { wfmt(s, fmt("(10('PCNM',I2,2X,:))"), ints.data(), 12); }},
        {"layout statement of 100 KB, more than a buffer",
         [&](stream& s) { wfmt(s, fmt("(12F10.5)"), reals.data(), int(reals.size())); }},
        {"one line of 110 KB, more than a buffer",
         [&](stream& s) { wfmt(s, fmt("(9999F11.6)"), reals.data(), int(reals.size())); }},
        {"two statements", [](stream& s) { wlist(s, {1}), wlist(s, {2}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<units> io = newunits();
        std::string path = tmp.path + "/handed.txt";
        std::filesystem::remove(path);
        opennew(io->report, name79(path).c_str());
        c.statement(io->report);
        std::string open = slurp(path);
        closes(io->report);
        EXPECT_NE(open, "");
        EXPECT_EQ(open, slurp(path));
    }
}

// Within a statement, a full buffer hands over only its complete records;
// the unfinished one waits for its line end, unless it fills the buffer
// alone.
TEST(handover, onlycompleterecordswithinastatement)
{
    const size_t buffer = sizeof(stream::obuf);
    for (size_t len : {size_t(99), size_t(1000), size_t(40000), buffer - 1, buffer}) {
        SCOPED_TRACE("records of " + std::to_string(len) + " characters");
        std::unique_ptr<units> io = newunits();
        std::string path = tmp.path + "/records.txt";
        std::filesystem::remove(path);
        opennew(io->report, name79(path).c_str());
        const std::string record = letters(int(len));
        std::string all;
        size_t seen = 0;
        for (int k = 0; all.size() < 3 * buffer; ++k) {
            // The record in two parts: the first may fill the buffer.
            putn(io->report, record.data(), len / 2);
            putn(io->report, record.data() + len / 2, len - len / 2);
            endrec(io->report);
            all += record + oslineend;
            std::string got = slurp(path);
            ASSERT_EQ(got, all.substr(0, got.size())) << "record " << k;
            ASSERT_TRUE(got.empty() || got.back() == '\n') << "record " << k << " cut";
            seen = std::max(seen, got.size());
        }
        EXPECT_GT(seen, 0u);
        endwrite(io->report);
        EXPECT_EQ(slurp(path), all);
        closes(io->report);
    }
}

// ---------------------------------------------------------------- free-form reads

TEST(freeform, reads)
{
    const std::string bad = "invalid number: incomprehensible list input",
                      badint = "invalid integer: read unexpected character",
                      badcount = "bad repetition count: incomprehensible list input",
                      badexp = "exponent field: incomprehensible list input",
                      eof = "list in: end of file", eofstart = "read start: end of file";
    const std::string zeros300(300, '0');
    struct {
        std::string input, kinds, want;
    } cases[] = {
        // separators: blanks, tabs, commas, line ends, empty lines; what
        // follows the last value is discarded with the line
        {"7,8\n", "i", "7"}, {"  7\t8\n", "ii", "7 8"}, {"\n\n  7\n\n\n8\n", "ii", "7 8"},
        {"1\t,\t2\n", "ii", "1 2"}, {"1,2,3,\n", "iii", "1 2 3"}, {"7,8", "ii", "7 8"},
        {"12abc\n", "i", "12"}, {"5" + std::string(100000, ' ') + "6\n", "ii", "5 6"},
        // null values keep the previous content; a blank before a comma
        // belongs to the same separator, a line end does not
        {"7,,9\n", "iii", "7 _ 9"}, {",5\n", "ii", "_ 5"}, {" , ,\n", "ii", "_ _"},
        {"7, ,9\n", "iii", "7 _ 9"}, {"7 ,9\n", "ii", "7 9"}, {"7\n,9\n", "iii", "7 _ 9"},
        // a slash ends the statement
        {"7/\n", "iii", "7 _ _"}, {"7 / 8\n", "ii", "7 _"}, {"7,/\n", "ii", "7 _"},
        // r*v and r*; repetitions left over end with the statement
        {"3*5\n", "iii", "5 5 5"}, {"2*,7\n", "iii", "_ _ 7"}, {"2*\n7\n", "iii", "_ _ 7"},
        {"2*5 6\n", "iii", "5 5 6"}, {"2*-5\n", "ii", "-5 -5"}, {"1*5,2*\n", "iii", "5 _ _"},
        {"3*5\n", "ii|i", "5 5|" + eof}, {"2*1.5\n", "rr", "1.5 1.5"},
        // counts of up to 40 digits; those of 20 to 40 saturate without overflow
        {std::string(39, '0') + "3*5\n", "iii", "5 5 5"},
        {std::string(25, '9') + "*5\n", "ii", "5 5"}, {std::string(40, '9') + "*5\n", "iii", "5 5 5"},
        // 2^64 10^5 and 2^64 10^20: counts that would wrap to 0 in 64 bits
        {"1844674407370955161600000*5\n", "ii", "5 5"},
        {"1844674407370955161600000000000000000000*5\n", "ii", "5 5"},
        // bad repetition counts
        {"0*5\n", "i", badcount}, {"-2*5\n", "i", badcount}, {"+2*5\n", "i", badcount},
        {"*5\n", "i", badcount}, {std::string(40, '0') + "3*5\n", "i", badcount},
        {"0*1.5\n", "r", badcount},
        // integer forms and the 32-bit range
        {"007 +7 -7 -0\n", "iiii", "7 7 -7 0"}, {"2147483647 -2147483648\n", "ii", "2147483647 -2147483648"},
        {"000000000000000000002147483647\n", "i", "2147483647"},
        {"2147483648\n", "i", badint}, {"-2147483649\n", "i", badint},
        {"99999999999999999999999\n", "i", badint},
        {"5.\n", "i", badint}, {".5\n", "i", badint}, {"1e3\n", "i", badint}, {"1D3\n", "i", badint},
        {"3*2.5\n", "ii", badint}, {"5e1\n", "i", badint}, {"5d0\n", "i", badint}, {"5.-3\n", "i", badint},
        {"5e-3\n", "i", badint}, {"5D+1\n", "i", badint},
        // a sign after the digits ends an integer (only a real takes it as an
        // exponent): it is left for the next value, or discarded with the line
        {"5-3\n", "i", "5"}, {"2+1\n", "i", "2"}, {"1-\n", "i", "1"}, {"5-3\n8\n", "i|i", "5|8"},
        {"5-3\n", "ii", "5 -3"}, {"3-1 0\n", "iii", "3 -1 0"}, {"5-3-2\n", "iii", "5 -3 -2"},
        {"5+3,7\n", "iii", "5 3 7"}, {"5-3\n", "ir", "5 -3"}, {"5-3\n", "it", "5 [-3]"},
        {"2*5-3\n", "ii", "5 5"}, {"2*5-3\n", "iii", "5 5 -3"}, {"1-2*3\n", "iii", "1 " + badcount},
        {"5--3\n", "ii", "5 " + bad}, {"5-\n", "ii", "5 " + bad}, {"5- 3\n", "ii", "5 " + bad},
        {"1.5-3\n", "r", "0.0015"}, {"5-3\n", "r", "0.005"}, {"2*5-3\n", "rr", "0.005 0.005"},
        // real forms: the forms of 65.22, and others
        {"65.22 6.522E1 6.522e1 6.522d+1 6.522D+1 652.2-1 0.6522+2 6522E-2 6522e-0002\n", "rrrrrrrrr",
         "65.22 65.22 65.22 65.22 65.22 65.22 65.22 65.22 65.22"},
        {"1.5-3 12 .5 5. -.5 +2.5 3.0D0 0.1 1e0000000000002\n", "rrrrrrrrr",
         "0.0015 12 0.5 5 -0.5 2.5 3 0.1 100"},
        {"1.7976931348623157e308 4.9e-324 1e-320 2.2250738585072011e-308\n", "rrrr",
         "1.7976931348623157e+308 5e-324 1e-320 2.225073858507201e-308"},
        {"0." + zeros300 + "1 0." + zeros300 + "1e400\n", "rr", "1e-301 1e+99"},
        // 2^53 + 1 is a tie and goes to even; a digit far behind breaks it
        {"9007199254740993 9007199254740993.000000000000000000000000001 9.007199254740993d15\n", "rrr",
         "9007199254740992 9007199254740994 9007199254740992"},
        // underflow gives 0; beyond the largest double is refused
        {"1e-999 1e-99999999 0e99999999\n", "rrr", "0 0 0"},
        {"1e999\n", "r", bad}, {"-1d400\n", "r", bad}, {"1.8e308\n", "r", bad}, {"1e99999999\n", "r", bad},
        // exponents without digits or above 99999999
        {"1e\n", "r", badexp}, {"1.5-\n", "r", badexp}, {"1e+\n", "r", badexp}, {"2D\n", "r", badexp},
        {"1ex\n", "r", badexp}, {"1e100000000\n", "r", badexp}, {"1e-100000000\n", "r", badexp},
        {"1.5+100000000\n", "r", badexp},
        // no number where one must begin
        {"abc\n", "i", bad}, {"abc\n", "r", bad}, {"'5'\n", "i", bad}, {"7 x\n", "ii", "7 " + bad},
        {"inf\n", "r", bad}, {"nan\n", "r", bad}, {"-\n", "r", bad},
        // a number glued to a character that cannot continue it: no value may
        // follow it in the statement
        {"12.5.3\n", "rr", "12.5 " + bad}, {"12.5.3\n", "r", "12.5"}, {"12abc\n", "ii", "12 " + bad},
        {"1.5x 2\n", "rr", "1.5 " + bad}, {"1e2-3 4\n", "rrr", "100 " + bad},
        {"1.2+3.4\n", "rr", "1200 " + bad}, {"2*5.5.5\n", "rrr", "5.5 5.5 " + bad},
        {"2*5x\n", "iii", "5 5 " + bad}, {"2*5x\n", "ii", "5 5"},
        // unquoted texts end at a blank, tab, comma, slash or line end
        {"my file.txt\n", "t", "[my]"}, {"abc,def\tghi/jkl\n", "tttt", "[abc] [def] [ghi] _"},
        {"  12345  \n", "t", "[12345]"}, {"it's", "t", "[it's]"}, {"x\ry\n", "t", "[x\ry]"},
        // quoted texts run to the matching quote, over line ends; a doubled
        // quote stands for one
        {"'data/a, b.txt' \"my file\"\n", "tt", "[data/a, b.txt] [my file]"},
        {"'it''s' \"say \"\"hi\"\"\" 'a\"b' '  x  '\n", "tttt", "[it's] [say \"hi\"] [a\"b] [  x]"},
        {"'ab\ncd' 'ef\r\ngh'\r\n", "tt", "[abcd] [efgh]"}, {"''\n", "t", "[]"},
        {"'abc\n", "t", eof}, {"2*'x y'\n", "tt", "[x y] [x y]"},
        // texts are cut or blank-padded to the item's length
        {"abcdef\n", "a", "[abc]"}, {"'ab'\n", "a", "[ab]"},
        {letters(100000) + "\n", "t", "[" + letters(79) + "]"},
        // null values, slash, several lines
        {",\n", "t", "_"}, {"/\n", "t", "_"}, {"a,,c\n", "ttt", "[a] _ [c]"}, {"one\ntwo\n", "tt", "[one] [two]"},
        {std::string(65534, ' ') + "x\r\ny\n", "tt", "[x] [y]"},
        {"3 2.5 'my name'\n  40,\t6.522d+1\n", "irtir", "3 2.5 [my name] 40 65.22"},
        // end of input in the middle of a statement
        {"   \n\n\t\n", "i", eof}, {"7\n", "ii", "7 " + eof}, {"7", "ii", "7 " + eof},
        // each statement starts on a new line: the rest of the last one is
        // discarded, for a quoted text the line of its closing quote
        {"7 8\n9\n", "i|i", "7|9"}, {"12abc\n5\n", "i|i", "12|5"}, {"1/ 2\n3\n", "i|i", "1|3"},
        {"4\n\n\n5", "i|i", "4|5"}, {"2*6 7\n8\n", "i|i", "6|8"},
        {"5" + std::string(100000, 'x') + "\n6\n", "i|i", "5|6"}, {"'ab\ncd' x\n5\n", "t|i", "[abcd]|5"},
        // a statement that starts after the end was met by the one before it
        // (a last line without line feed) fails at its start; after a last
        // line with its line feed, the end is met in the statement
        {"7", "i|i", "7|" + eofstart}, {"7/", "i|i", "7|" + eofstart}, {"'abc'", "t|i", "[abc]|" + eofstart},
        {"7\n", "i|i", "7|" + eof}, {"7\n\n", "i|i", "7|" + eof},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.input.size() > 60 ? c.input.substr(0, 60) + "..." : c.input) + " as " + c.kinds);
        EXPECT_EQ(reads(c.input, c.kinds), c.want);
    }
}

// The conversion of a decimal text to the nearest double, whichever the
// standard library gives (std::from_chars or the C library's strtod): ties
// go to the even neighbour, and results beyond the doubles are refused.
TEST(freeform, decimaltodouble)
{
    const double tiny = std::numeric_limits<double>::denorm_min(), big = std::numeric_limits<double>::max();
    struct {
        const char* text;
        bool ok;
        double want;
    } cases[] = {
        {"1.5e0", true, 1.5},
        {"0.1e0", true, 0x1.999999999999ap-4},
        {"-6.522e1", true, -0x1.04e147ae147aep+6},  // -65.22
        {"9007199254740993.0e0", true, 9007199254740992.0},  // 2^53 + 1: a tie, to the even 2^53
        {"9007199254740995.0e0", true, 9007199254740996.0},  // 2^53 + 3: a tie, to the even 2^53 + 4
        {"4.9406564584124654e-324", true, tiny},
        {"2.4703282292062328e-324", true, tiny},  // just above half the smallest
        {"1.7976931348623157e308", true, big},
        {"2.4703282292062327e-324", false, 0},  // just below half: zero from digits
        {"1.0e-400", false, 0},
        {"-1.0e-400", false, 0},
        {"1.7976931348623159e308", false, 0},  // nearer to 2^1024 than to the largest
        {"1.0e400", false, 0},
        {"", false, 0},
        {"1.5x", false, 0},
    };
    for (const auto& c : cases) {
        double v = 7;
        std::string t = c.text;
        EXPECT_EQ(ostodouble(t.data(), t.data() + t.size(), v), c.ok) << c.text;
        double want = c.ok ? c.want : 7;
        EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0) << c.text << " gives " << v;
    }
    double z = 7;
    const char* mz = "-0.0e0";
    EXPECT_TRUE(ostodouble(mz, mz + 6, z));
    EXPECT_TRUE(z == 0 && std::signbit(z)) << "a negative zero keeps its sign";
}

// ---------------------------------------------------------------- failure reports

TEST(reports, fourlines)
{
    // Console output and error stream on one file: a question reaches it
    // before the read of its answer waits, a console line before a failure
    // report or a STOP line.  Console input is unit 5, unnamed.
    {
        std::unique_ptr<units> io = newunits();
        std::string con = tmp.path + "/console.txt", in = tmp.path + "/answers.txt";
        spit(in, "5\n");
        io->out.fd = io->err.fd = writeto(con);
        io->in.fd = readfrom(in);
        wlist(io->out, {"Sampling design:"});
        rbegin(io->in);
        EXPECT_EQ(native(slurp(con)), " Sampling design:\n");
        int v = 0;
        rint(io->in, v);
        rend(io->in);
        EXPECT_EQ(v, 5);
        wlist(io->out, {"Do you want to construct"});
        try {
            rbegin(io->in);
            rint(io->in, v);
            ADD_FAILURE() << "no end of input";
        } catch (const ioerror& e) {
            failreport(*io, e);
        }
        wlist(io->out, {"End of the program."});
        errline(*io, "STOP");
        EXPECT_EQ(native(slurp(con)), " Sampling design:\n Do you want to construct\n"
                              "list in: end of file\n"
                              "apparent state: unit 5 (unnamed)\n"
                              "last format: list io\n"
                              "lately reading sequential formatted external IO\n"
                              " End of the program.\nSTOP\n");
        osclose(io->in.fd);
        osclose(io->out.fd);
        io->out.fd = osstdout;
    }
    // A named stream, after a layout statement: the layout shows.
    {
        std::unique_ptr<units> io = newunits();
        std::string con = tmp.path + "/console.txt", path = tmp.path + "/old.txt";
        io->out.fd = writeto(con);
        const char* src = "(' This program can handle a maximum of',I7,' objects.')";
        wfmt(io->out, fmt(src), {500});
        spit(path, "old\n");
        try {
            opennew(io->report, name79(path).c_str());
            ADD_FAILURE() << "an existing file opened as new";
        } catch (const ioerror& e) {
            EXPECT_EQ(report(*io, e), "open: 'new' file exists\n"
                                      "apparent state: unit 7 named " + path + "\n" +
                                      "last format: " + src + "\n" +
                                      "lately writing sequential formatted external IO\n");
        }
        EXPECT_EQ(native(slurp(con)), " This program can handle a maximum of    500 objects.\n");
        osclose(io->out.fd);
        io->out.fd = osstdout;
    }
    // No statement yet: the format line is left out.
    {
        std::unique_ptr<units> io = newunits();
        std::string path = tmp.path + "/missing.txt";
        try {
            openold(io->coord, name79(path).c_str());
            ADD_FAILURE() << "a missing file opened";
        } catch (const ioerror& e) {
            std::string head = "open: No such file or directory\napparent state: unit 2 named " + path + "\nlately ";
            EXPECT_EQ(report(*io, e).substr(0, head.size()), head);
        }
    }
}

TEST(reports, failedwrite)
{
    int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "/dev/full cannot be opened here: " << std::strerror(errno);
    // A write statement hands its records over as it ends: the failure is
    // the statement's, told with its layout.
    std::unique_ptr<units> io = newunits();
    io->vars.fd = fd;
    std::string got;
    try {
        wfmt(io->vars, fmt("(12F10.5)"), {1.0, 2.0});
    } catch (const ioerror& e) {
        got = what(e);
        EXPECT_EQ(e.s, &io->vars);
        EXPECT_EQ(report(*io, e), "write: No space left on device\n"
                                  "apparent state: unit 12 (unnamed)\n"
                                  "last format: (12F10.5)\n"
                                  "lately writing sequential formatted external IO\n");
    }
    EXPECT_EQ(got, "write: No space left on device");
    // The failed stream writes nothing more, and closing it adds no report.
    wlist(io->vars, {"End of the program."});
    std::string err = tmp.path + "/err.txt";
    io->err.fd = writeto(err);
    EXPECT_EQ(closeall(*io, 2), 2);
    EXPECT_EQ(io->vars.fd, -1);
    osclose(io->err.fd);
    EXPECT_EQ(native(slurp(err)), "");

    // A record still in the buffer at the end of the run: the failure is
    // reported there, and the status is 2.
    io = newunits();
    io->report.fd = ::open("/dev/full", O_WRONLY);
    note(io->report, dir_writing, "list io");
    putn(io->report, "End", 3);
    endrec(io->report);
    io->err.fd = writeto(err);
    EXPECT_EQ(closeall(*io, 0), 2);
    osclose(io->err.fd);
    EXPECT_EQ(native(slurp(err)), "write: No space left on device\n"
                          "apparent state: unit 7 (unnamed)\n"
                          "last format: list io\n"
                          "lately writing sequential formatted external IO\n");
}

}  // namespace

// The progress line: the fraction done, whole percent, and the time left
// estimated from the time spent (elapsed (1 - done) / done, rounded), in
// seconds, minutes or hours; no estimate before the first percent.
TEST(progress, linetext)
{
    struct {
        const char* what;
        int n;
        double done, elapsed;
        const char* text;
    } cases[] = {
        {"reduction", 3000, 0.25, 3.0, " PCoA of 3000 objects: reduction, 25% done, about 9 s left"},
        {"accumulation", 1250, 0.5, 150.0, " PCoA of 1250 objects: accumulation, 50% done, about 2 min 30 s left"},
        {"eigenvectors", 46340, 0.5, 7260.0,
         " PCoA of 46340 objects: eigenvectors, 50% done, about 2 h 01 min left"},
        {"reduction", 20000, 0.005, 2.0, " PCoA of 20000 objects: reduction, 0% done"},
        {"eigenvectors", 10, 1.0, 4.0, " PCoA of 10 objects: eigenvectors, 99% done, about 0 s left"},
    };
    for (const auto& c : cases) {
        char out[128];
        int k = progtext(out, c.what, c.n, c.done, c.elapsed);
        EXPECT_EQ(std::string(out, size_t(k)), c.text);
    }
}
