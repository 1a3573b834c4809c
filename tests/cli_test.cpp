// The command line of the companions (src/cli): options with and without
// values, unknown options, missing values, too many and too few operands,
// --help, names over the length limit, and the texts of each.  The texts
// expected here are those of the transcripts that pin the programs
// (tests/e2e/threshold_* and maps_*), copied from their out/ files.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "maps/maps.h"
#include "testfiles.h"
#include "textio/textio.h"
#include "threshold/threshold.h"

namespace {

const tempdir tmp;

// threshold_help/out/stdout
const char* const thresholdhelp =
    "usage: lociweaver-threshold FILE\n"
    "\n"
    "Reads FILE, a coordinates file as lociweaver reads it (the numbers of\n"
    "objects, coordinates and supplementary objects, then one group of\n"
    "coordinates per object), ranges the coordinates as lociweaver does for\n"
    "PCNM variables, and builds a minimum spanning tree of all the objects,\n"
    "main and supplementary.  Prints the longest edge of the tree, in the units\n"
    "of the coordinates, and the two objects it joins (numbered in file order).\n"
    "The last line is the value to type at lociweaver's question \"Highest\n"
    "unmodified value in distance matrix?\": the shortest decimal number that\n"
    "keeps every edge of the tree by lociweaver's own test, and exceeds the\n"
    "longest edge by no more than the 1.0E-10 (in ranged units) that lociweaver\n"
    "adds to every limit.  Every object then stays connected to the others\n"
    "through unmodified distances.\n"
    "\n"
    "Exit status: 0 when the answer is printed, 2 when FILE cannot be read or\n"
    "used.\n";

// maps_help/out/stdout (and maps_help_among_files)
const char* const mapshelp =
    "usage: lociweaver-maps [options] SITES VARIABLES PICTURE\n"
    "\n"
    "Reads the sites of a lociweaver run and its file of spatial variables,\n"
    "prints the Moran's I of every variable, and draws the sites and the\n"
    "variables into PICTURE, a new SVG file.\n"
    "\n"
    "SITES      a coordinates file as lociweaver reads it, a Grid.txt as\n"
    "           lociweaver writes it, or a built-in design given by its\n"
    "           answers: transect:N or grid:NX,NY\n"
    "VARIABLES  the spatial-variable file of the run, in any of its three\n"
    "           layouts; one row of values per main object\n"
    "\n"
    "Options:\n"
    "  --limit L         the truncation limit, in the units of the coordinates\n"
    "                    (default: the longest edge of the minimum spanning\n"
    "                    tree of all the sites, as lociweaver-threshold gives it)\n"
    "  --first K         draw the maps of the first K variables only\n"
    "  --permutations N  add the one-sided p-value of N random permutations\n"
    "  --seed S          the seed of the permutations (default: a random one,\n"
    "                    printed so that the run can be repeated)\n"
    "  --force           replace PICTURE when it exists\n"
    "  --help            print this help\n"
    "\n"
    "The weights are those of the run's truncation: 1 - (d / 4t)^2 for two\n"
    "main objects d apart, when the run keeps that distance under the limit t;\n"
    "0 otherwise.  Each line of the table gives the variable's number, its\n"
    "Moran's I, the expectation -1/(n - 1), the standard deviation under\n"
    "normality, the standardised value z and, with permutations, the p-value.\n"
    "\n"
    "Exit status: 0 when the table is printed and the picture written, 2 when\n"
    "an input cannot be read or used, an option is wrong, or PICTURE exists.\n";

// threshold_no_argument, threshold_two_arguments, threshold_help_and_file
const char* const thresholdusage =
    "usage: lociweaver-threshold FILE\n"
    "Try 'lociweaver-threshold --help' for more information.\n";

// maps_no_argument, maps_two_files, maps_four_files
const char* const mapsusage =
    "usage: lociweaver-maps [options] SITES VARIABLES PICTURE\n"
    "Try 'lociweaver-maps --help' for more information.\n";

// The 80-letter name of threshold_long_name.
const std::string a80(80, 'a');

// The lines of a text, each without its line feed.
std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t a = 0, e; a < text.size(); a = e + 1) {
        e = text.find('\n', a);
        out.push_back(text.substr(a, e - a));
    }
    return out;
}

// A command line as the program receives it: the program's name, then args.
cliline read(const cliform& form, const std::vector<std::string>& args)
{
    std::vector<const char*> argv{form.program};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return cliread(form, int(argv.size()) - 1, argv.data());
}

// What clireport (or clierror) writes on standard output and on the error
// stream, with the system's line ends turned into "\n", and the status.
struct written {
    std::string out, err;
    int status;
};

template <typename F>
written capture(F&& report)
{
    auto io = std::make_unique<units>();
    initunits(*io);
    const std::string out = tmp.path + "/out.txt", err = tmp.path + "/err.txt";
    io->out.fd = writeto(out);
    io->err.fd = writeto(err);
    written w{"", "", report(*io)};
    flushs(io->out);
    osclose(io->out.fd);
    osclose(io->err.fd);
    io->out.fd = osstdout;
    io->err.fd = osstderr;
    w.out = native(slurp(out));
    w.err = native(slurp(err));
    return w;
}

// A third companion's command line, as lociweaver-vars may have it: options
// with a text value, a whole value and a flag, and one or two operands.
const char* const varshelp[] = {"usage: lociweaver-vars [options] SITES [OUT]", "", "Options: ..."};
const clioption varsoptions[] = {
    {"--limit", opt_text, 0, 0},
    {"--coords", opt_text, 0, 0},
    {"--first", opt_whole, 1, 99},
    {"--force", opt_flag, 0, 0},
    {"--new", opt_two, 0, 0},
};
const cliform varscli = {
    "lociweaver-vars", "usage: lociweaver-vars [options] SITES [OUT]", varshelp, 3,
    varsoptions, 5, false, 1, 2, "the name is too long", "exists", "no memory",
};

// One command line: what it asks for, the operands read, and for a refusal
// the argument, why, and the line the program prints (from the transcript
// named, where one pins it).
struct row {
    const char* transcript;  // the case of tests/e2e, or "" for none
    const cliform* form;
    std::vector<std::string> args;
    int what;
    std::vector<std::string> operands;
    const char* name;        // cli_refused: the argument refused, and why
    const char* text;
    const char* line;        //   and the program's error line
};

const row rows[] = {
    // lociweaver-threshold: no options; a lone --help; every other argument
    // an operand, one of them.
    {"threshold_no_argument", &thresholdcli, {}, cli_usage, {}, "", "", ""},
    {"threshold_help", &thresholdcli, {"--help"}, cli_help, {}, "", "", ""},
    {"threshold_two_arguments", &thresholdcli, {"s.txt", "s.txt"}, cli_usage, {"s.txt", "s.txt"}, "", "", ""},
    {"threshold_help_and_file", &thresholdcli, {"--help", "s.txt"}, cli_usage, {"--help", "s.txt"}, "", "", ""},
    {"threshold_dashed_name", &thresholdcli, {"--bogus"}, cli_run, {"--bogus"}, "", "", ""},
    {"threshold_missing_file", &thresholdcli, {"nofile.txt"}, cli_run, {"nofile.txt"}, "", "", ""},
    {"threshold_long_name", &thresholdcli, {a80}, cli_run, {a80}, "", "", ""},
    {"", &thresholdcli, {"--help", "--help"}, cli_usage, {"--help", "--help"}, "", "", ""},
    // lociweaver-maps: options anywhere, --help anywhere, three operands.
    {"maps_no_argument", &mapscli, {}, cli_usage, {}, "", "", ""},
    {"maps_two_files", &mapscli, {"transect:4", "v.txt"}, cli_usage, {"transect:4", "v.txt"}, "", "", ""},
    {"maps_four_files", &mapscli, {"transect:4", "v.txt", "p.svg", "q.svg"}, cli_usage,
     {"transect:4", "v.txt", "p.svg", "q.svg"}, "", "", ""},
    {"maps_help", &mapscli, {"--help"}, cli_help, {}, "", "", ""},
    {"maps_help_among_files", &mapscli, {"transect:4", "--help", "v.txt"}, cli_help, {"transect:4", "v.txt"}, "", "",
     ""},
    {"maps_transect_by_hand", &mapscli, {"transect:4", "v.txt", "p.svg"}, cli_run, {"transect:4", "v.txt", "p.svg"},
     "", "", ""},
    {"maps_negative_limit", &mapscli, {"--limit", "-2.5", "transect:4", "v.txt", "p.svg"}, cli_run,
     {"transect:4", "v.txt", "p.svg"}, "", "", ""},
    {"maps_unknown_option", &mapscli, {"--colour", "red", "transect:4", "v.txt", "p.svg"}, cli_refused, {},
     "--colour", "is no option", "lociweaver-maps: --colour: is no option"},
    {"maps_missing_value", &mapscli, {"transect:4", "v.txt", "p.svg", "--limit"}, cli_refused,
     {"transect:4", "v.txt", "p.svg"}, "--limit", "needs a value", "lociweaver-maps: --limit: needs a value"},
    {"maps_first_zero", &mapscli, {"--first", "0", "transect:4", "v.txt", "p.svg"}, cli_refused, {}, "--first",
     "must be a whole number from 1 to 1000000000",
     "lociweaver-maps: --first: must be a whole number from 1 to 1000000000"},
    // A refusal comes before the help it follows.
    {"maps_error_before_help", &mapscli, {"--help", "--seed", "1x"}, cli_refused, {}, "--seed",
     "must be a whole number from 0 to 18446744073709551615",
     "lociweaver-maps: --seed: must be a whole number from 0 to 18446744073709551615"},
    // The first wrong argument is the one refused; a value is the next
    // argument, whatever it is; a single dash is an operand.
    {"", &mapscli, {"--bogus", "--first", "0"}, cli_refused, {}, "--bogus", "is no option",
     "lociweaver-maps: --bogus: is no option"},
    {"", &mapscli, {"--first", "0", "--bogus"}, cli_refused, {}, "--first",
     "must be a whole number from 1 to 1000000000",
     "lociweaver-maps: --first: must be a whole number from 1 to 1000000000"},
    {"", &mapscli, {"--", "a", "b"}, cli_refused, {}, "--", "is no option", "lociweaver-maps: --: is no option"},
    {"", &mapscli, {"-", "-x", "b"}, cli_run, {"-", "-x", "b"}, "", "", ""},
    {"", &mapscli, {"--limit", "--force", "a", "b", "c"}, cli_run, {"a", "b", "c"}, "", "", ""},
    {"", &mapscli, {"--first", "+3", "a", "b", "c"}, cli_refused, {}, "--first",
     "must be a whole number from 1 to 1000000000",
     "lociweaver-maps: --first: must be a whole number from 1 to 1000000000"},
    {"", &mapscli, {"--permutations", "-1", "a", "b", "c"}, cli_refused, {}, "--permutations",
     "must be a whole number from 0 to 1000000000",
     "lociweaver-maps: --permutations: must be a whole number from 0 to 1000000000"},
    {"", &mapscli, {"--seed", "18446744073709551616", "a", "b", "c"}, cli_refused, {}, "--seed",
     "must be a whole number from 0 to 18446744073709551615",
     "lociweaver-maps: --seed: must be a whole number from 0 to 18446744073709551615"},
    {"", &mapscli, {"--first", "1000000001", "a", "b", "c"}, cli_refused, {}, "--first",
     "must be a whole number from 1 to 1000000000",
     "lociweaver-maps: --first: must be a whole number from 1 to 1000000000"},
    {"", &mapscli, {"a", "b", "c", "--permutations"}, cli_refused, {"a", "b", "c"}, "--permutations",
     "needs a value", "lociweaver-maps: --permutations: needs a value"},
    // A third companion: one or two operands, a value with a comma.
    {"", &varscli, {"s.txt"}, cli_run, {"s.txt"}, "", "", ""},
    {"", &varscli, {"--coords", "1,2", "s.txt", "o.txt"}, cli_run, {"s.txt", "o.txt"}, "", "", ""},
    {"", &varscli, {"s.txt", "o.txt", "x.txt"}, cli_usage, {"s.txt", "o.txt", "x.txt"}, "", "", ""},
    {"", &varscli, {"--force"}, cli_usage, {}, "", "", ""},
    {"", &varscli, {"s.txt", "--coords"}, cli_refused, {"s.txt"}, "--coords", "needs a value",
     "lociweaver-vars: --coords: needs a value"},
    {"", &varscli, {"--help", "--help"}, cli_help, {}, "", "", ""},
    // An option of two values takes the next two, whatever they are.
    {"", &varscli, {"--new", "n.txt", "--force", "s.txt"}, cli_run, {"s.txt"}, "", "", ""},
    {"", &varscli, {"s.txt", "--new", "n.txt"}, cli_refused, {"s.txt"}, "--new", "needs two values",
     "lociweaver-vars: --new: needs two values"},
};

TEST(cliread, what_each_command_line_asks_for)
{
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.form->program) + " " + (*r.transcript ? r.transcript : "(no transcript)"));
        cliline l = read(*r.form, r.args);
        EXPECT_EQ(l.what, r.what);
        EXPECT_EQ(l.operands, r.operands);
        EXPECT_EQ(l.name, r.name);
        EXPECT_EQ(l.text, r.text);
        if (r.what == cli_refused) {
            EXPECT_EQ(clierrorline(*r.form, l.name + ": " + l.text), r.line);
            written w = capture([&](units& io) { return clireport(io, *r.form, l); });
            EXPECT_EQ(w.out, "");
            EXPECT_EQ(w.err, std::string(r.line) + "\n");
            EXPECT_EQ(w.status, 2);
        }
    }
}

TEST(cliread, option_values_in_order_and_the_last_of_each)
{
    cliline l = read(mapscli, {"--first", "5", "a", "--limit", "1.5", "--force", "b", "--first", "7", "--seed",
                               "18446744073709551615", "c", "--limit", ""});
    ASSERT_EQ(l.what, cli_run);
    ASSERT_EQ(l.given.size(), 6u);
    EXPECT_STREQ(l.given[0].option->name, "--first");
    EXPECT_EQ(l.given[0].whole, 5u);
    EXPECT_EQ(l.given[1].text, "1.5");
    EXPECT_EQ(l.given[2].option->kind, opt_flag);
    EXPECT_EQ(l.given[2].text, "");
    EXPECT_EQ(cliget(l, "--first")->whole, 7u);
    EXPECT_EQ(cliget(l, "--seed")->whole, 18446744073709551615u);
    EXPECT_EQ(cliget(l, "--limit")->text, "");
    EXPECT_EQ(cliget(l, "--permutations"), nullptr);
    EXPECT_EQ(l.operands, (std::vector<std::string>{"a", "b", "c"}));

    // The request of lociweaver-maps: the last value of each, an empty
    // --limit given all the same (and refused later as no positive number).
    mapsrequest q = mapsrequestof(l);
    EXPECT_TRUE(q.limited);
    EXPECT_EQ(q.limit, "");
    EXPECT_EQ(q.first, 7);
    EXPECT_EQ(q.nperm, 0);
    EXPECT_TRUE(q.seeded);
    EXPECT_EQ(q.seed, UINT64_MAX);
    EXPECT_TRUE(q.force);
    EXPECT_EQ(q.sites, "a");
    EXPECT_EQ(q.vars, "b");
    EXPECT_EQ(q.picture, "c");
    mapsrequest none = mapsrequestof(read(mapscli, {"a", "b", "c"}));
    EXPECT_FALSE(none.limited || none.seeded || none.force);
    EXPECT_EQ(none.first, -1);

    // The bounds of a whole value are allowed.
    EXPECT_EQ(read(mapscli, {"--first", "1000000000", "a", "b", "c"}).given[0].whole, 1000000000u);
    EXPECT_EQ(read(mapscli, {"--permutations", "0", "a", "b", "c"}).given[0].whole, 0u);
    cliline two = read(varscli, {"--new", "n.txt", "--force", "s.txt"});
    ASSERT_EQ(two.given.size(), 1u);
    EXPECT_EQ(two.given[0].text, "n.txt");
    EXPECT_EQ(two.given[0].second, "--force");
    EXPECT_EQ(read(varscli, {"--coords", "3,4", "s"}).given[0].text, "3,4");
}

TEST(clireport, the_help_and_the_usage_of_the_transcripts)
{
    struct want {
        const cliform* form;
        std::vector<std::string> args;
        std::string out, err;
        int status;
    };
    const want wants[] = {
        {&thresholdcli, {"--help"}, thresholdhelp, "", 0},
        {&thresholdcli, {}, "", thresholdusage, 2},
        {&thresholdcli, {"--help", "s.txt"}, "", thresholdusage, 2},
        {&mapscli, {"--help"}, mapshelp, "", 0},
        {&mapscli, {"transect:4", "--help", "v.txt"}, mapshelp, "", 0},
        {&mapscli, {}, "", mapsusage, 2},
        {&mapscli, {"transect:4", "v.txt"}, "", mapsusage, 2},
    };
    for (const want& w : wants) {
        SCOPED_TRACE(std::string(w.form->program) + " with " + std::to_string(w.args.size()) + " arguments");
        cliline l = read(*w.form, w.args);
        written got = capture([&](units& io) { return clireport(io, *w.form, l); });
        EXPECT_EQ(got.out, w.out);
        EXPECT_EQ(got.err, w.err);
        EXPECT_EQ(got.status, w.status);
    }
    EXPECT_EQ(cliusage(thresholdcli), lines(thresholdusage));
    EXPECT_EQ(cliusage(mapscli), lines(mapsusage));
    // The help begins with the usage line.
    EXPECT_EQ(std::string(thresholdcli.help[0]), thresholdcli.usage);
    EXPECT_EQ(std::string(mapscli.help[0]), mapscli.usage);
}

// A name of 79 characters is padded to the text layer's length; one of 80 is
// refused with the text of each program (threshold_long_name,
// maps_long_name).
TEST(clifits, names_up_to_the_length_of_the_text_layer)
{
    char padded[namelen + 1];
    std::memset(padded, 'x', sizeof padded);
    ASSERT_TRUE(clifits("s.txt", padded));
    EXPECT_EQ(std::string(padded, namelen), "s.txt" + std::string(namelen - 5, ' '));
    EXPECT_EQ(padded[namelen], 'x');
    ASSERT_TRUE(clifits(std::string(79, 'c'), padded));
    EXPECT_EQ(std::string(padded, namelen), std::string(79, 'c'));
    std::memset(padded, 'x', sizeof padded);
    EXPECT_FALSE(clifits(a80, padded));
    EXPECT_FALSE(clifits(std::string(1000, 'a'), padded));
    EXPECT_TRUE(clifits("", padded));
    EXPECT_EQ(std::string(padded, namelen), std::string(namelen, ' '));

    EXPECT_EQ(clierrorline(thresholdcli, a80 + ": " + thresholdcli.longname) + "\n",
              std::string("lociweaver-threshold: ") + a80 + ": The name is longer than 79 characters, which lociweaver cannot open either: give a shorter path.\n");
    EXPECT_EQ(clierrorline(mapscli, a80 + ": " + mapscli.longname) + "\n",
              std::string("lociweaver-maps: ") + a80 + ": the name is longer than 79 characters: give a shorter path\n");
    // The program's error line on the error stream, and status 2.
    written w = capture([&](units& io) { return clierror(io, thresholdcli, a80 + ": " + thresholdcli.longname); });
    EXPECT_EQ(w.out, "");
    EXPECT_EQ(w.err, std::string("lociweaver-threshold: ") + a80 + ": The name is longer than 79 characters, which lociweaver cannot open either: give a shorter path.\n");
    EXPECT_EQ(w.status, 2);
}

// The whole run of lociweaver-threshold refuses the long name before it
// opens anything, with the text of the transcript.
TEST(clifits, the_threshold_run_refuses_a_long_name)
{
    auto io = std::make_unique<units>();
    initunits(*io);
    EXPECT_EQ(threshold(*io, a80), thresholdcli.longname);
    EXPECT_EQ(io->coord.fd, -1);
}

// ---------------------------------------------------------------- climain

// What the body of a run does: nothing, or throw one failure.
enum { does_nothing, fails, fails_on_a_file, runs_out_of_memory };

struct runcase {
    const char* what;
    std::vector<std::string> args;
    int does;
    const char* context;  // fails_on_a_file: the ioerror, on the stream file
    const char* message;
    const char* file;     // its name ("" for standard output)
    long lines;           // the lines read from it
    const char* err;      // the error stream (with the third form's texts)
    int status;
};

const runcase* current = nullptr;
int bodyruns = 0;

void body(units& io, const cliline&)
{
    ++bodyruns;
    const runcase& c = *current;
    if (c.does == fails) throw clifailure{"s.txt: line 3: a reason"};
    if (c.does == runs_out_of_memory) throw std::bad_alloc();
    if (c.does != fails_on_a_file) return;
    stream& s = *c.file ? io.vars : io.out;
    std::strcpy(s.name, c.file);
    s.lines = c.lines;
    throw ioerror{&s, c.context, c.message};
}

// The life of a command line: the body runs only when the line runs, and
// each failure it throws is one line on the error stream (the texts of
// clisaid and of the form) with status 2.
TEST(climain, reports_each_failure_in_one_line)
{
    const runcase cases[] = {
        {"a run", {"s.txt"}, does_nothing, "", "", "", 0, "", 0},
        {"the help", {"--help", "s.txt"}, fails, "", "", "", 0, "", 0},
        {"the usage", {}, fails, "", "", "", 0,
         "usage: lociweaver-vars [options] SITES [OUT]\nTry 'lociweaver-vars --help' for more information.\n", 2},
        {"a refused line", {"--first", "x", "s.txt"}, fails, "", "", "", 0,
         "lociweaver-vars: --first: must be a whole number from 1 to 99\n", 2},
        {"the body's own words", {"s.txt"}, fails, "", "", "", 0, "lociweaver-vars: s.txt: line 3: a reason\n", 2},
        {"a new file that exists", {"s.txt"}, fails_on_a_file, "open", "'new' file exists", "v.txt", 0,
         "lociweaver-vars: v.txt: exists\n", 2},
        {"a file that cannot be opened", {"s.txt"}, fails_on_a_file, "open", "No such file or directory", "v.txt", 0,
         "lociweaver-vars: v.txt: cannot be opened: No such file or directory\n", 2},
        {"a file that ends early", {"s.txt"}, fails_on_a_file, "list in", "end of file", "v.txt", 7,
         "lociweaver-vars: v.txt: the file ends before all its values\n", 2},
        {"a value that is no number", {"s.txt"}, fails_on_a_file, "invalid number", "bad", "v.txt", 4,
         "lociweaver-vars: v.txt: line 4: a value is not a number\n", 2},
        {"a count that is no whole number", {"s.txt"}, fails_on_a_file, "invalid integer", "bad", "v.txt", 1,
         "lociweaver-vars: v.txt: line 1: a count is not a whole number\n", 2},
        {"a failed write", {"s.txt"}, fails_on_a_file, "write", "No space left on device", "", 0,
         "lociweaver-vars: standard output: write: No space left on device\n", 2},
        {"no memory", {"s.txt"}, runs_out_of_memory, "", "", "", 0, "lociweaver-vars: no memory\n", 2},
    };
    for (const runcase& c : cases) {
        SCOPED_TRACE(c.what);
        current = &c;
        bodyruns = 0;
        std::vector<const char*> argv{"lociweaver-vars"};
        for (const std::string& a : c.args) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        written w = capture([&](units& io) { return climain(io, varscli, int(argv.size()) - 1, argv.data(), body); });
        EXPECT_EQ(bodyruns, read(varscli, c.args).what == cli_run ? 1 : 0);
        EXPECT_EQ(w.err, c.err);
        EXPECT_EQ(w.status, c.status);
        EXPECT_EQ(w.out, !c.args.empty() && c.args[0] == "--help" ? "usage: lociweaver-vars [options] SITES [OUT]\n\nOptions: ...\n" : "");
    }
}

}  // namespace
