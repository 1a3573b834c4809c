// lociweaver-threshold FILE: the answer to lociweaver's truncation question
// that keeps a minimum spanning tree of the file's objects untruncated.
#include "threshold.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "emst.h"
#include "mst.h"
#include "sites/sites.h"
#include "textio/os.h"
#include "textio/textio.h"

namespace {

const char* const help[] = {
    "usage: lociweaver-threshold FILE",
    "",
    "Reads FILE, a coordinates file as lociweaver reads it (the numbers of",
    "objects, coordinates and supplementary objects, then one group of",
    "coordinates per object), ranges the coordinates as lociweaver does for",
    "PCNM variables, and builds a minimum spanning tree of all the objects,",
    "main and supplementary.  Prints the longest edge of the tree, in the units",
    "of the coordinates, and the two objects it joins (numbered in file order).",
    "The last line is the value to type at lociweaver's question \"Highest",
    "unmodified value in distance matrix?\": the shortest decimal number that",
    "keeps every edge of the tree by lociweaver's own test, and exceeds the",
    "longest edge by no more than the 1.0E-10 (in ranged units) that lociweaver",
    "adds to every limit.  Every object then stays connected to the others",
    "through unmodified distances.",
    "",
    "Exit status: 0 when the answer is printed, 2 when FILE cannot be read or",
    "used.",
};

// A file that cannot be used: the text of the message, told about the file.
struct refusal {
    std::string text;
};


// "object 7", with " (supplementary)" for those after the n main objects.
std::string object(int i, int n)
{
    return "object " + std::to_string(i) + (i > n ? " (supplementary)" : "");
}

// The length v (positive, finite) as the shortest decimal that reads as v,
// in the notation of decimal().
std::string length(double v)
{
    char sci[48], out[40];
    std::to_chars_result r = std::to_chars(sci, sci + sizeof sci - 1, v, std::chars_format::scientific);
    *r.ptr = '\0';
    // d.ddde+x: the digits without the point, then the exponent.
    char* e = std::strchr(sci, 'e');
    char d[17];
    int p = 0;
    for (char* c = sci; c < e; ++c)
        if (*c != '.') d[p++] = *c;
    decimal(d, p, std::atoi(e + 1), out);
    return out;
}

// The run of threshold(); throws refusal for a file that cannot be used.
void answerfor(units& io, const std::string& path)
{
    char name[namelen];
    if (!clifits(path, name)) throw refusal{thresholdcli.longname};
    note(io.coord, dir_reading, nullptr);
    openold(io.coord, name);

    int n = 0, ncoord = 0, nsup = 0;
    const char* unusable = readheader(io.coord, n, ncoord, nsup);
    if (unusable) throw refusal{unusable};
    long long all = static_cast<long long>(n) + nsup;
    if (all > std::numeric_limits<int>::max())
        throw refusal{"The file declares " + std::to_string(all) + " objects, too many to number."};
    const int ntot = int(all);
    const std::string nomemory = "Not enough memory for " + std::to_string(ntot) + " objects.";
    std::unique_ptr<double[]> x(new (std::nothrow) double[size_t(ntot) * size_t(ncoord)]);
    if (!x) throw refusal{nomemory};
    readgroups(io.coord, ntot, ncoord, ntot, x.get());

    double vmin[3], vrange[3], rangmax = 0;
    const char* wide = rangecoords(ntot, ncoord, ntot, x.get(), vmin, vrange, rangmax, 1);
    if (wide && rangmax == 0)
        throw refusal{ntot == 1 ? "The file holds a single object: there is no distance to keep."
                                : "All the objects lie at the same place: there is no distance to keep."};
    if (wide) throw refusal{wide};

    int t = 0, from = 0;
    double edge = 0;
    try {
        t = longest(ntot, ncoord, size_t(ntot), x.get(), from, edge);
    } catch (const std::bad_alloc&) {
        throw refusal{nomemory};
    }
    char text[40];
    if (answer(edge, rangmax, text) == 0)
        throw refusal{"The longest edge of the tree is beyond the largest number lociweaver can read."};

    std::string counts = std::to_string(ntot) + " objects (" + std::to_string(n) + " main, " +
                         std::to_string(nsup) + " supplementary), " + std::to_string(ncoord) +
                         (ncoord == 1 ? " coordinate" : " coordinates");
    wrecord(io.out, "Minimum spanning tree of the " + counts);
    int a = from < t ? from : t, b = from < t ? t : from;
    wrecord(io.out, "Longest edge: " + length(edge * rangmax) + ", between " + object(a, n) + " and " +
         object(b, n));
    wrecord(io.out, std::string("Answer to the truncation question: ") + text);
}

}  // namespace

const cliform thresholdcli = {
    "lociweaver-threshold",
    "usage: lociweaver-threshold FILE",
    help,
    sizeof help / sizeof help[0],
    nullptr,
    0,
    true,
    1,
    1,
    "The name is longer than 79 characters, which lociweaver cannot open either: give a shorter path.",
    nullptr,  // no output file
    nullptr,  // a failure is the failure report of the text layer (failreport)
};

std::string threshold(units& io, const std::string& path)
{
    try {
        answerfor(io, path);
    } catch (const refusal& r) {
        return r.text;
    }
    return "";
}
