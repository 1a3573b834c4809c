// The table reader: the dialects against hand-written values, every
// refusal with its exact message, the exactness of the numbers, and the
// reading of a file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "table/table.h"
#include "testfiles.h"
#include "textio/os.h"

namespace {

const tempdir tmp;

tablerequest ask(std::vector<std::string> coords, std::string id = "", std::string sup = "")
{
    tablerequest r;
    r.coords = std::move(coords);
    r.id = std::move(id);
    r.supplementary = std::move(sup);
    return r;
}

// The same, the two coordinates longitude and latitude.
tablerequest lonlat(std::vector<std::string> coords, std::string id = "")
{
    tablerequest r = ask(std::move(coords), std::move(id));
    r.lonlat = true;
    return r;
}

sitetable readtext(const std::string& text, const tablerequest& req, const std::string& name = "sites.csv")
{
    return readtable(text.data(), text.size(), name, req);
}

// The same bits (so that -0 differs from 0).
bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ---------------------------------------------------------------- dialects

struct dialectcase {
    const char* name;
    std::string text;
    tablerequest req;
    std::vector<double> x;  // column-major, as the result holds it
    std::vector<std::string> labels;
    std::vector<unsigned char> flags;
    std::vector<long long> lines;
};

const dialectcase dialects[] = {
    {"comma", "id,x,y\nA,1,2\nB,3.5,-4\n", ask({"x", "y"}, "id"), {1, 3.5, 2, -4}, {"A", "B"}, {0, 0}, {2, 3}},
    {"semicolon with decimal commas and points", "id;x;y;sup\nA;1,5;2,25;0\nB;-0,5;1e3;1\nC;3.;.5;\n",
     ask({"x", "y"}, "id", "sup"), {1.5, -0.5, 3, 2.25, 1000, 0.5}, {"A", "B", "C"}, {0, 1, 0}, {2, 3, 4}},
    {"semicolon, a decimal comma with an exponent", "x;y\n1,25e2;-2,5E-1\n", ask({"x", "y"}), {125, -0.25}, {}, {0},
     {2}},
    {"tab", "x\ty\tname\n1\t2\tp q\n3\t4\tr\n", ask({"x", "y"}, "name"), {1, 3, 2, 4}, {"p q", "r"}, {0, 0}, {2, 3}},
    {"tab, blank fields around a value", "x\ty\n 1 \t  2\n", ask({"x", "y"}), {1, 2}, {}, {0}, {2}},
    {"quotes: delimiters, quotes and line ends inside",
     "\"site, name\",x,\"y \"\"m\"\"\"\n\"A,1\",1,2\n\"B \"\"q\"\"\",3,4\n\"C\nline\",5,6\n\"D\r\nx\", \"7\" ,8\n",
     ask({"x", "y \"m\""}, "site, name"),
     {1, 3, 5, 7, 2, 4, 6, 8},
     {"A,1", "B \"q\"", "C\nline", "D\r\nx"},
     {0, 0, 0, 0},
     {2, 3, 4, 6}},
    {"quoted numbers and flags", "x,y,s\n\"1.5\",\" 2 \",\"1\"\n", ask({"x", "y"}, "", "s"), {1.5, 2}, {}, {1}, {2}},
    {"quotes in a semicolon table", "\"x;1\";y\n\"1,5\";2\n", ask({"x;1", "y"}), {1.5, 2}, {}, {0}, {2}},
    {"byte-order mark", "\xEF\xBB\xBFx,y\n1,2\n", ask({"x", "y"}), {1, 2}, {}, {0}, {2}},
    {"CR LF", "x,y\r\n1,2\r\n3,4\r\n", ask({"x", "y"}), {1, 3, 2, 4}, {}, {0, 0}, {2, 3}},
    {"mixed line ends, a lone CR, no line end at the end", "x,y\r\n1,2\n3,4\r5,6\r\n7,8", ask({"x", "y"}),
     {1, 3, 5, 7, 2, 4, 6, 8}, {}, {0, 0, 0, 0}, {2, 3, 4, 5}},
    {"trailing blank lines", "x,y\n1,2\n\n   \n,\r\n\n", ask({"x", "y"}), {1, 2}, {}, {0}, {2}},
    {"trailing blank lines of a semicolon table", "x;y\r\n1;2\r\n;;\r\n;\r\n", ask({"x", "y"}), {1, 2}, {}, {0}, {2}},
    {"one coordinate", "x\n1\n-2\n", ask({"x"}), {1, -2}, {}, {0, 0}, {2, 3}},
    {"three coordinates in another order than the header's", "z,y,x\n3,2,1\n6,5,4\n", ask({"x", "y", "z"}),
     {1, 4, 2, 5, 3, 6}, {}, {0, 0}, {2, 3}},
    {"blanks around names and values, signs and exponents", "x , y\n +1.5e2 , -2E-1 \n-0,+0.\n", ask({"x", "y"}),
     {150, -0.0, -0.2, 0}, {}, {0, 0}, {2, 3}},
    {"a comma header whose names hold semicolons", "x;m,y;m\n1,2\n", ask({"x;m", "y;m"}), {1, 2}, {}, {0}, {2}},
    {"a semicolon header whose names hold commas", "x (m, UTM);y (m, UTM)\n1,5;2\n", ask({"x (m, UTM)", "y (m, UTM)"}),
     {1.5, 2}, {}, {0}, {2}},
    {"supplementary flags with blanks and empty", "x,s\n1, 1 \n2,\n3,0\n", ask({"x"}, "", "s"), {1, 2, 3}, {},
     {1, 0, 0}, {2, 3, 4}},
    {"columns not asked for are not read", "x,note,y\n1,\"anything, \"\"here\"\"\nand there\",2\n3,NA,4\n",
     ask({"x", "y"}), {1, 3, 2, 4}, {}, {0, 0}, {2, 4}},
    {"a trailing delimiter on every line", "x,y,\n1,2,\n", ask({"x", "y"}), {1, 2}, {}, {0}, {2}},
    {"labels keep their quoted blanks and their UTF-8", "id,x\n\" A \",1\nÉtang,2\n", ask({"x"}, "id"), {1, 2},
     {" A ", "Étang"}, {0, 0}, {2, 3}},
    {"below the range of doubles: zeros of the sign", "x\n1e-400\n-1e-400\n4.9406564584124654e-324\n",
     ask({"x"}), {0.0, -0.0, 0x1p-1074}, {}, {0, 0, 0}, {2, 3, 4}},
};

TEST(readtable, dialects)
{
    for (const dialectcase& c : dialects) {
        SCOPED_TRACE(c.name);
        sitetable t = readtext(c.text, c.req);
        ASSERT_EQ(t.status, table_ok) << t.message;
        EXPECT_EQ(t.message, "");
        size_t rows = c.lines.size();
        EXPECT_EQ(t.rows, rows);
        EXPECT_EQ(t.ncoord, int(c.req.coords.size()));
        ASSERT_EQ(t.x.size(), c.x.size());
        for (size_t k = 0; k < c.x.size(); ++k) EXPECT_TRUE(same(t.x[k], c.x[k])) << k << ": " << t.x[k];
        EXPECT_EQ(t.labels, c.labels);
        EXPECT_EQ(t.supplementary, c.flags);
        EXPECT_EQ(t.lines, c.lines);
    }
}

// ---------------------------------------------------------------- refusals

struct refusalcase {
    const char* name;
    std::string text;
    tablerequest req;
    tablestatus status;
    const char* message;
};

const refusalcase refusals[] = {
    {"no coordinate column asked for", "x\n1\n", ask({}), table_badrequest,
     "sites.csv: 0 coordinate columns are asked for, where 1 to 3 can be read"},
    {"four coordinate columns asked for", "x\n1\n", ask({"a", "b", "c", "d"}), table_badrequest,
     "sites.csv: 4 coordinate columns are asked for, where 1 to 3 can be read"},
    {"a column asked for twice", "x\n1\n", ask({"x", "y"}, "x"), table_badrequest,
     "sites.csv: the column \"x\" is asked for twice"},
    {"an empty name", "x\n1\n", ask({"x", ""}), table_badrequest, "sites.csv: a column is asked for with an empty name"},

    {"a column the header lacks", "id,x,y\nA,1,2\n", ask({"x", "z"}, "id"), table_nocolumn,
     "sites.csv, line 1: the header has no column \"z\"; its columns are \"id\", \"x\", \"y\""},
    {"a label column the header lacks, semicolons", "x;y\n1;2\n", ask({"x", "y"}, "site"), table_nocolumn,
     "sites.csv, line 1: the header has no column \"site\"; its columns are \"x\", \"y\""},
    {"a column the header lacks, more than 20 columns",
     "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21,c22\n"
     "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22\n",
     ask({"x"}), table_nocolumn,
     "sites.csv, line 1: the header has no column \"x\"; its columns are \"c1\", \"c2\", \"c3\", \"c4\", \"c5\", "
     "\"c6\", \"c7\", \"c8\", \"c9\", \"c10\", \"c11\", \"c12\", \"c13\", \"c14\", \"c15\", \"c16\", \"c17\", "
     "\"c18\", \"c19\", \"c20\", and 2 more"},
    {"a blank header line", "\nx,y\n1,2\n", ask({"x", "y"}), table_nocolumn,
     "sites.csv, line 1: the header line is blank, where the column names should be"},
    {"a column named twice in the header", "x,y,x\n1,2,3\n", ask({"x", "y"}), table_duplicatecolumn,
     "sites.csv, line 1, column \"x\" (3): the header names the column \"x\" twice, as columns 1 and 3"},

    {"a value that is not a number", "id,x,y\nA,1,2\nB,abc,3\n", ask({"x", "y"}, "id"), table_notnumber,
     "sites.csv, line 3, column \"x\" (2): \"abc\" is not a number"},
    {"an empty coordinate", "x,y\n1,\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"y\" (2): the field is empty, where a number is expected"},
    {"a blank coordinate", "x,y\n1,\"  \"\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"y\" (2): the field is empty, where a number is expected"},
    {"NA", "x\nNA\n", ask({"x"}), table_notnumber, "sites.csv, line 2, column \"x\" (1): \"NA\" is not a number"},
    {"two points", "x\n1.2.3\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1.2.3\" is not a number"},
    {"inf", "x\ninf\n", ask({"x"}), table_notnumber, "sites.csv, line 2, column \"x\" (1): \"inf\" is not a number"},
    {"-infinity", "x\n-infinity\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"-infinity\" is not a number"},
    {"nan", "x\nnan\n", ask({"x"}), table_notnumber, "sites.csv, line 2, column \"x\" (1): \"nan\" is not a number"},
    {"hexadecimal", "x\n0x1p3\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"0x1p3\" is not a number"},
    {"a decimal comma in a comma table", "x,y\n\"1,5\",2\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1,5\" is not a number"},
    {"a decimal comma in a tab table", "x\ty\n1,5\t2\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1,5\" is not a number"},
    {"a thousands separator in a semicolon table", "x;y\n1.234,5;2\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1.234,5\" is not a number"},
    {"an exponent without digits", "x\n1e\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1e\" is not a number"},
    {"an exponent without a mantissa", "x\ne5\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"e5\" is not a number"},
    {"a lone point", "x\n.\n", ask({"x"}), table_notnumber, "sites.csv, line 2, column \"x\" (1): \".\" is not a number"},
    {"two signs", "x\n+-1\n", ask({"x"}), table_notnumber, "sites.csv, line 2, column \"x\" (1): \"+-1\" is not a number"},
    {"two numbers in a field", "x\n1 2\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1 2\" is not a number"},
    {"a unit after the number", "x\n12m\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"12m\" is not a number"},
    {"beyond the range of doubles", "x\n1e400\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"1e400\" is beyond the range of double-precision numbers"},
    {"beyond the range, a huge exponent", "x\n-0.001e99999999999999999999\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"-0.001e99999999999999999999\" is beyond the range of double-precision "
     "numbers"},
    {"a value shown with its quote and line end escaped", "x,y\n1,\"a\"\"b\nc\"\n", ask({"x", "y"}), table_notnumber,
     "sites.csv, line 2, column \"y\" (2): \"a\\\"b\\nc\" is not a number"},
    {"a long value shown cut", "x\n" + std::string(100, '7') + "z\n", ask({"x"}), table_notnumber,
     "sites.csv, line 2, column \"x\" (1): \"7777777777777777777777777777777777777777\"... is not a number"},
    {"the line after a quoted line end", "id,x\n\"A\nB\",1\nC,zz\n", ask({"x"}, "id"), table_notnumber,
     "sites.csv, line 4, column \"x\" (2): \"zz\" is not a number"},
    {"the line after CR LF and lone CR", "x\r\n1\r2\r\nq\r\n", ask({"x"}), table_notnumber,
     "sites.csv, line 4, column \"x\" (1): \"q\" is not a number"},

    {"a row with more fields than the header", "x,y\n1,2\n1,2,3\n", ask({"x", "y"}), table_ragged,
     "sites.csv, line 3: the row has 3 fields, but the header has 2"},
    {"a row with fewer fields than the header", "x,y\n1\n", ask({"x", "y"}), table_ragged,
     "sites.csv, line 2: the row has 1 field, but the header has 2"},
    {"a ragged row before a bad number is ragged", "x,y\nq,2,3\n", ask({"x", "y"}), table_ragged,
     "sites.csv, line 2: the row has 3 fields, but the header has 2"},
    {"a blank line inside the table", "x,y\n1,2\n\n3,4\n", ask({"x", "y"}), table_ragged,
     "sites.csv, line 3: the line is blank, but rows of the table follow it"},
    {"a line of delimiters inside the table", "x,y\n1,2\n,\n3,4\n", ask({"x", "y"}), table_ragged,
     "sites.csv, line 3: the line is blank, but rows of the table follow it"},

    {"an empty file", "", ask({"x"}), table_empty, "sites.csv: no header line: the file is empty or blank"},
    {"a blank file", "\n  \r\n,\n", ask({"x"}), table_empty, "sites.csv: no header line: the file is empty or blank"},
    {"a byte-order mark alone", "\xEF\xBB\xBF", ask({"x"}), table_empty,
     "sites.csv: no header line: the file is empty or blank"},
    {"a header alone", "x,y\n", ask({"x", "y"}), table_empty, "sites.csv: the table has a header but no data rows"},
    {"a header without a line end", "x,y", ask({"x", "y"}), table_empty,
     "sites.csv: the table has a header but no data rows"},
    {"a header and blank lines", "x,y\n\n,\n", ask({"x", "y"}), table_empty,
     "sites.csv: the table has a header but no data rows"},

    {"an unclosed quote", "id,x,y\nA,1,2\n\"B,3,4\nC,5,6\n", ask({"x", "y"}, "id"), table_unclosedquote,
     "sites.csv, line 3, column \"id\" (1): the quote that opens the field is never closed"},
    {"an unclosed quote in the header", "x,\"y\n1,2\n", ask({"x", "y"}), table_unclosedquote,
     "sites.csv, line 1, column 2: the quote that opens the field is never closed"},
    {"characters after the closing quote", "id,x\n\"A\"B,1\n", ask({"x"}, "id"), table_badquote,
     "sites.csv, line 2, column \"id\" (1): characters follow the closing quote of the field"},

    {"a NUL byte in a coordinate", std::string("x,y\n1,2\n3,\0\n", 11), ask({"x", "y"}), table_nul,
     "sites.csv, line 3, column \"y\" (2): the line holds a NUL byte, which a text table never does"},
    {"a NUL byte in a column not asked for", std::string("x,note\n1,a\0b\n", 13), ask({"x"}), table_nul,
     "sites.csv, line 2, column \"note\" (2): the line holds a NUL byte, which a text table never does"},
    {"a NUL byte in a quoted field", std::string("x,note\n1,\"a\0\"\n", 14), ask({"x"}), table_nul,
     "sites.csv, line 2, column \"note\" (2): the line holds a NUL byte, which a text table never does"},
    {"a NUL byte in the header", std::string("x,\0y\n1,2\n", 9), ask({"x", "y"}), table_nul,
     "sites.csv, line 1, column 2: the line holds a NUL byte, which a text table never does"},

    {"a duplicated label", "id,x\nA,1\nB,2\nA,3\n", ask({"x"}, "id"), table_duplicatelabel,
     "sites.csv, line 4, column \"id\" (1): the label \"A\" is already that of the site on line 2"},
    {"an empty label", "id,x\nA,1\n,2\n", ask({"x"}, "id"), table_emptylabel,
     "sites.csv, line 3, column \"id\" (1): the site has no label"},
    {"a supplementary flag of 2", "x,sup\n1,2\n", ask({"x"}, "", "sup"), table_badflag,
     "sites.csv, line 2, column \"sup\" (2): \"2\" is not a supplementary flag: 1 marks a supplementary site, 0 or "
     "an empty field a main site"},
    {"a supplementary flag of yes", "x;sup\n1;yes\n", ask({"x"}, "", "sup"), table_badflag,
     "sites.csv, line 2, column \"sup\" (2): \"yes\" is not a supplementary flag: 1 marks a supplementary site, 0 or "
     "an empty field a main site"},
    {"a supplementary flag of 1.0", "x\tsup\n1\t1.0\n", ask({"x"}, "", "sup"), table_badflag,
     "sites.csv, line 2, column \"sup\" (2): \"1.0\" is not a supplementary flag: 1 marks a supplementary site, 0 "
     "or an empty field a main site"},

    {"a latitude beyond the pole", "id,lon,lat\nA,10,90\nB,10,90.5\n", lonlat({"lon", "lat"}, "id"),
     table_outofrange, "sites.csv, line 3, column \"lat\" (3): \"90.5\" is not a latitude: a latitude lies from -90 to 90 degrees"},
    {"a longitude west of -180", "lat,lon\n0,-180\n0,-180.25\n", lonlat({"lon", "lat"}), table_outofrange,
     "sites.csv, line 3, column \"lon\" (2): \"-180.25\" is not a longitude: a longitude lies from -180 to 360 degrees"},
    {"a longitude east of 360", "lon;lat\n360;1\n361;1\n", lonlat({"lon", "lat"}), table_outofrange,
     "sites.csv, line 3, column \"lon\" (1): \"361\" is not a longitude: a longitude lies from -180 to 360 degrees"},
    {"a longitude and latitude of three columns", "a,b,c\n1,2,3\n", lonlat({"a", "b", "c"}), table_badrequest,
     "sites.csv: longitude and latitude are two columns, not 3"},
};

TEST(readtable, refusals)
{
    for (const refusalcase& c : refusals) {
        SCOPED_TRACE(c.name);
        sitetable t = readtext(c.text, c.req);
        EXPECT_EQ(t.status, c.status);
        EXPECT_EQ(t.message, c.message);
        EXPECT_EQ(t.rows, 0u);
        EXPECT_TRUE(t.x.empty() && t.labels.empty() && t.supplementary.empty() && t.lines.empty());
    }
}

TEST(readtable, refusals_without_a_name)
{
    EXPECT_EQ(readtext("x\nq\n", ask({"x"}), "").message, "line 2, column \"x\" (1): \"q\" is not a number");
    EXPECT_EQ(readtext("", ask({"x"}), "").message, "no header line: the file is empty or blank");
}

// The first fault in the order of the file is the one told.
TEST(readtable, the_first_fault_is_told)
{
    sitetable t = readtext("id,x\nA,1\nB,q\nA,3\n", ask({"x"}, "id"));
    EXPECT_EQ(t.message, "sites.csv, line 3, column \"x\" (2): \"q\" is not a number");
    t = readtext("id,x\nA,1\nA,3\nB,q\n", ask({"x"}, "id"));
    EXPECT_EQ(t.message, "sites.csv, line 3, column \"id\" (1): the label \"A\" is already that of the site on line 2");
}

// ---------------------------------------------------------------- exactness

struct exactcase {
    const char* text;
    double value;
};

const exactcase exact[] = {
    {"0.1", 0x1.999999999999ap-4},
    {"0,1", 0x1.999999999999ap-4},  // read from the semicolon table below
    {"0.30000000000000004", 0x1.3333333333334p-2},
    {"0.29999999999999999", 0x1.3333333333333p-2},
    {"1.7976931348623157e308", 0x1.fffffffffffffp+1023},
    {"2.2250738585072014e-308", 0x1p-1022},
    {"4.9406564584124654e-324", 0x1p-1074},
    {"9007199254740993", 0x1p53},  // halfway: to even
    {"9007199254740993.0000000000000000000001", 0x1.0000000000001p53},
    {"123456789012345678901234567890", 0x1.8ee90ff6c373ep+96},
    {"-6.02214076E+23", -0x1.fe185ca57c517p+78},
};

TEST(readtable, numbers_are_correctly_rounded)
{
    for (const exactcase& c : exact) {
        SCOPED_TRACE(c.text);
        bool comma = std::strchr(c.text, ',') != nullptr;
        std::string text = std::string(comma ? "n;x\n1;" : "n,x\n1,") + c.text + "\n";
        sitetable t = readtext(text, ask({"x"}));
        ASSERT_EQ(t.status, table_ok) << t.message;
        EXPECT_EQ(std::memcmp(&t.x[0], &c.value, sizeof(double)), 0) << t.x[0];
    }
}

// Random doubles of every magnitude written with 17 significant digits read
// back as themselves, in both dialects of the decimal separator.
TEST(readtable, seventeen_digits_read_back)
{
    std::mt19937_64 g(7);
    // The semicolon table has two columns, so that its header tells the
    // dialect.
    std::string csv = "x\n", scsv = "x;n\n";
    std::vector<double> want;
    while (want.size() < 20000) {
        uint64_t bits = g();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        want.push_back(v);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        csv += std::string(buf) + "\n";
        for (char* p = buf; *p; ++p)
            if (*p == '.') *p = ',';
        scsv += std::string(buf) + ";0\n";
    }
    sitetable a = readtext(csv, ask({"x"})), b = readtext(scsv, ask({"x"}));
    ASSERT_EQ(a.status, table_ok) << a.message;
    ASSERT_EQ(b.status, table_ok) << b.message;
    ASSERT_EQ(a.rows, want.size());
    ASSERT_EQ(b.rows, want.size());
    EXPECT_EQ(std::memcmp(a.x.data(), want.data(), want.size() * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(b.x.data(), want.data(), want.size() * sizeof(double)), 0);
}

// ---------------------------------------------------------------- sizes

// A row of a million fields, and labels that fill the table of labels many
// times over: read in a pass each.
TEST(readtable, wide_rows_and_many_labels)
{
    std::string head, row;
    for (int k = 0; k < 1000000; ++k) {
        head += (k ? ",c" : "c") + std::to_string(k);
        row += k ? ",7" : "7";
    }
    sitetable t = readtext(head + "\n" + row + "\n" + row + "\n", ask({"c999999", "c0"}));
    ASSERT_EQ(t.status, table_ok) << t.message;
    EXPECT_EQ(t.x, (std::vector<double>{7, 7, 7, 7}));

    std::string text = "id,x\n";
    for (int k = 0; k < 100000; ++k) text += "site" + std::to_string(k) + "," + std::to_string(k) + "\n";
    t = readtext(text + "site99,1\n", ask({"x"}, "id"));
    EXPECT_EQ(t.message, "sites.csv, line 100002, column \"id\" (1): the label \"site99\" is already that of the site "
                         "on line 101");
    t = readtext(text, ask({"x"}, "id"));
    ASSERT_EQ(t.status, table_ok) << t.message;
    EXPECT_EQ(t.rows, 100000u);
    EXPECT_EQ(t.labels[99999], "site99999");
    EXPECT_EQ(t.x[99999], 99999);

    // Lone CRs after a line feed: the labels' table, sized for the line
    // feeds, grows many times.
    text = "id,x\n";
    for (int k = 0; k < 50000; ++k) text += std::to_string(k) + ",1\r";
    t = readtext(text, ask({"x"}, "id"));
    ASSERT_EQ(t.status, table_ok) << t.message;
    EXPECT_EQ(t.rows, 50000u);
    EXPECT_EQ(t.lines[49999], 50001);
    t = readtext(text + "17,2\r", ask({"x"}, "id"));
    EXPECT_EQ(t.message, "sites.csv, line 50002, column \"id\" (1): the label \"17\" is already that of the site on "
                         "line 19");
}

// ---------------------------------------------------------------- files

TEST(readtablefile, reads_the_bytes_of_the_file)
{
    std::string text = "\xEF\xBB\xBFid;x;y;sup\r\nA;1,5;2;1\r\nB;3;-4,25;\r\n\r\n";
    std::string path = tmp.path + "/sites.csv";
    spit(path, text);
    sitetable t = readtablefile(path, ask({"x", "y"}, "id", "sup"));
    ASSERT_EQ(t.status, table_ok) << t.message;
    EXPECT_EQ(t.x, (std::vector<double>{1.5, 3, 2, -4.25}));
    EXPECT_EQ(t.labels, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(t.supplementary, (std::vector<unsigned char>{1, 0}));
    EXPECT_EQ(t.lines, (std::vector<long long>{2, 3}));

    spit(path, "id,x\nA,1\nB,q\n");
    t = readtablefile(path, ask({"x"}, "id"));
    EXPECT_EQ(t.status, table_notnumber);
    EXPECT_EQ(t.message, path + ", line 3, column \"x\" (2): \"q\" is not a number");
}

TEST(readtablefile, a_file_that_cannot_be_read)
{
    std::string path = tmp.path + "/none.csv";
    sitetable t = readtablefile(path, ask({"x"}));
    EXPECT_EQ(t.status, table_unreadable);
    EXPECT_EQ(t.message, path + ": the file cannot be opened: " + oserror(ENOENT));
    t = readtablefile(tmp.path, ask({"x"}));
    EXPECT_EQ(t.status, table_unreadable);
    EXPECT_EQ(t.message, tmp.path + ": the file cannot be opened: " + oserror(EISDIR));
}

}  // namespace
