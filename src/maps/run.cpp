// lociweaver-maps [options] SITES VARIABLES PICTURE: the Moran's I of every
// spatial variable of a run, and a picture of the sites and the variables.
// The program's part of the module: its command line and its run.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "maps.h"
#include "sites/sites.h"
#include "textio/os.h"
#include "textio/textio.h"
#include "threshold/mst.h"

namespace {

const char* const help[] = {
    "usage: lociweaver-maps [options] SITES VARIABLES PICTURE",
    "",
    "Reads the sites of a lociweaver run and its file of spatial variables,",
    "prints the Moran's I of every variable, and draws the sites and the",
    "variables into PICTURE, a new SVG file.",
    "",
    "SITES      a coordinates file as lociweaver reads it, a Grid.txt as",
    "           lociweaver writes it, or a built-in design given by its",
    "           answers: transect:N or grid:NX,NY",
    "VARIABLES  the spatial-variable file of the run, in any of its three",
    "           layouts; one row of values per main object",
    "",
    "Options:",
    "  --limit L         the truncation limit, in the units of the coordinates",
    "                    (default: the longest edge of the minimum spanning",
    "                    tree of all the sites, as lociweaver-threshold gives it)",
    "  --first K         draw the maps of the first K variables only",
    "  --permutations N  add the one-sided p-value of N random permutations",
    "  --seed S          the seed of the permutations (default: a random one,",
    "                    printed so that the run can be repeated)",
    "  --force           replace PICTURE when it exists",
    "  --help            print this help",
    "",
    "The weights are those of the run's truncation: 1 - (d / 4t)^2 for two",
    "main objects d apart, when the run keeps that distance under the limit t;",
    "0 otherwise.  Each line of the table gives the variable's number, its",
    "Moran's I, the expectation -1/(n - 1), the standard deviation under",
    "normality, the standardised value z and, with permutations, the p-value.",
    "",
    "Exit status: 0 when the table is printed and the picture written, 2 when",
    "an input cannot be read or used, an option is wrong, or PICTURE exists.",
};

const clioption options[] = {
    {"--limit", opt_text, 0, 0},
    {"--first", opt_whole, 1, 1000000000},
    {"--permutations", opt_whole, 0, 1000000000},
    {"--seed", opt_whole, 0, UINT64_MAX},
    {"--force", opt_flag, 0, 0},
};

// The name padded to the 79 characters that the text layer opens.
void padded(const std::string& name, char* out)
{
    if (!clifits(name, out)) throw namedrefusal{name, {mapscli.longname}};
}

// Whether a file of that name exists: 1 a file that can be read, 2 a
// directory, 0 neither.
int exists(const char* name)
{
    int err = 0, fd = osopen(name, err);
    if (fd >= 0) osclose(fd);
    return fd >= 0 ? 1 : err == EISDIR ? 2 : 0;
}

}  // namespace

const cliform mapscli = {
    "lociweaver-maps",
    "usage: lociweaver-maps [options] SITES VARIABLES PICTURE",
    help,
    sizeof help / sizeof help[0],
    options,
    sizeof options / sizeof options[0],
    false,
    3,
    3,
    "the name is longer than 79 characters: give a shorter path",
    "exists: a picture is never overwritten (--force replaces it)",
    "not enough memory for these sites and variables",
};

mapsrequest mapsrequestof(const cliline& line)
{
    mapsrequest q;
    if (const cligiven* g = cliget(line, "--limit")) q.limited = true, q.limit = g->text;
    if (const cligiven* g = cliget(line, "--first")) q.first = int(g->whole);
    if (const cligiven* g = cliget(line, "--permutations")) q.nperm = int(g->whole);
    if (const cligiven* g = cliget(line, "--seed")) q.seeded = true, q.seed = g->whole;
    q.force = cliget(line, "--force") != nullptr;
    q.sites = line.operands.at(0);
    q.vars = line.operands.at(1);
    q.picture = line.operands.at(2);
    return q;
}

void maps(units& io, const mapsrequest& o)
{
    const std::string& sitesname = o.sites;
    const std::string& varsname = o.vars;
    const std::string& picname = o.picture;
    char pic[namelen + 1] = {};
    padded(picname, pic);
    if (!o.force && exists(picname.c_str()))
        throw namedrefusal{picname, {mapscli.exists}};

    sites s;
    char name[namelen];
    try {
        if (!designsites(sitesname.c_str(), s)) {
            padded(sitesname, name);
            openold(io.coord, name);
            readsites(io.coord, s);
        }
    } catch (const refusal& r) {
        throw namedrefusal{sitesname, r};
    }
    variables v;
    padded(varsname, name);
    openold(io.vars, name);
    try {
        readvars(io.vars, v);
    } catch (const refusal& r) {
        throw namedrefusal{varsname, r};
    }
    if (v.n != s.n)
        throw namedrefusal{varsname, {"holds values for " + std::to_string(v.n) + " objects, but the sites have " +
                                 std::to_string(s.n) + " main objects"}};
    if (v.k == 0) throw namedrefusal{varsname, {"holds no variables"}};
    if (s.n < 3) throw namedrefusal{sitesname, {"Moran's I needs at least 3 main objects"}};

    // The ranging of the run, over all the sites, and the tree.
    const int ntot = s.n + s.nsup;
    std::vector<double> xr(s.x);
    double vmin[3], vrange[3], rangmax = 0;
    if (const char* wide = rangecoords(ntot, s.ncoord, ntot, xr.data(), vmin, vrange, rangmax, 1))
        throw namedrefusal{sitesname, {rangmax == 0 ? "all the sites lie at the same place" : wide}};
    std::vector<int> from(static_cast<size_t>(ntot)), rest(static_cast<size_t>(ntot));
    std::vector<double> len(static_cast<size_t>(ntot));
    int t = prim(ntot, s.ncoord, size_t(ntot), xr.data(), from.data(), len.data(), rest.data());

    double limit = 0;
    std::string how = "given";
    if (o.limited) {
        if (!ostodouble(o.limit.data(), o.limit.data() + o.limit.size(), limit) || !(limit > 0))
            throw namedrefusal{"--limit", {"must be a positive number"}};
    } else {
        char text[40];
        if (answer(len[size_t(t - 1)], rangmax, text) == 0 || !ostodouble(text, text + std::strlen(text), limit))
            throw namedrefusal{sitesname, {"the longest edge of the tree is beyond the numbers lociweaver reads"}};
        how = "the longest edge of the minimum spanning tree";
    }
    const double scaled = scaledlimit(limit, rangmax);

    pairs p;
    findpairs(s.n, s.ncoord, ntot, xr.data(), scaled, p);
    if (p.nb.empty()) throw namedrefusal{"--limit", {"no two main objects lie within the limit"}};
    std::vector<moranstat> st(static_cast<size_t>(v.k));
    if (int j = moran(p, v, st.data()))
        throw namedrefusal{varsname, {"variable " + std::to_string(j) + " has the same value at every main object"}};
    uint64_t seed = o.seed;
    if (o.nperm > 0) {
        if (!o.seeded) seed = std::random_device{}();
        permutations(p, v, o.nperm, seed, st.data());
    }

    // The table.
    wrecord(io.out, "Limit " + shortest(limit) + " (" + how + "): " + std::to_string(p.nb.size()) +
         " pairs of main objects within it, " + std::to_string(s.n) + " main objects");
    if (o.nperm > 0)
        wrecord(io.out, "p: one-sided, " + std::to_string(o.nperm) + " permutations, seed " + std::to_string(seed));
    wrecord(io.out, o.nperm > 0 ? "     K           I    expected          sd         z         p"
                     : "     K           I    expected          sd         z");
    static const layout row = fmt("(I6,3F12.6,F10.3,F10.4)");
    int above = 0;
    for (int j = 0; j < v.k; ++j) {
        const moranstat& m = st[size_t(j)];
        above += m.i > m.e;
        if (o.nperm > 0)
            wfmt(io.out, row, {j + 1, m.i, m.e, m.sd, m.z, m.p});
        else
            wfmt(io.out, row, {j + 1, m.i, m.e, m.sd, m.z});
    }
    wrecord(io.out, std::to_string(above) + " of " + std::to_string(v.k) +
         " variables have a Moran's I above its expectation -1/(n - 1) = " + shortest(-1.0 / (s.n - 1)));

    // The picture, only once everything has been read and computed.
    if (o.force && exists(picname.c_str()) == 1) std::remove(picname.c_str());
    scene sc{&s, xr.data(), from.data(), len.data(), rangmax, scaled, limit, &v, st.data(),
             o.first >= 0 && o.first < v.k ? o.first : v.k, o.nperm > 0};
    opennew(io.report, pic);
    try {
        picture(io.report, sc);
        closes(io.report);
    } catch (const ioerror&) {
        std::remove(picname.c_str());
        throw;
    }
}

std::string mapsfailure(const namedrefusal& b)
{
    return b.name + ": " + (b.r.line > 0 ? "line " + std::to_string(b.r.line) + ": " : "") + b.r.text;
}
