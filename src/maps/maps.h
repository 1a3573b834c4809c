// Maps of the sites and of the spatial variables of a run, and the Moran's I
// of each variable with the weights of the run's truncated distances.
// Coordinates are stored by columns: element (i, j), counted from 1, of a
// matrix of ld rows is x[(i - 1) + (j - 1) * ld].  Values are stored by
// objects: value j of object i is v[(i - 1) * k + (j - 1)].
#ifndef LOCIWEAVER_MAPS_MAPS_H
#define LOCIWEAVER_MAPS_MAPS_H

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "sites/limit.h"
#include "textio/stream.h"

// A file that cannot be used: why, and the line it concerns (0: none).
struct refusal {
    std::string text;
    long line = 0;
};

// The sites: n main objects, then nsup supplementary ones, ncoord (1 to 3)
// coordinates in the user's units, leading dimension n + nsup.
struct sites {
    int n = 0, ncoord = 0, nsup = 0;
    std::vector<double> x;
    std::vector<long> lines;  // the line of the file where each object's record ends
};

// The spatial variables of the n main objects: k values each, and the
// variables' labels when the file gives them (else none).
struct variables {
    int n = 0, k = 0;
    std::vector<double> v;
    std::vector<std::string> labels;
};

// The pairs of main objects within the limit: for object i (from 1), its
// partners j > i are nb[start[i - 1] .. start[i] - 1], with weights w.
struct pairs {
    std::vector<long> start;
    std::vector<int> nb;
    std::vector<double> w;
};

// The Moran's I of one variable, its expectation -1/(n - 1), its standard
// deviation under normality, the standardised value, and the one-sided
// permutation p-value (-1 without permutations).
struct moranstat {
    double i, e, sd, z, p;
};

// designsites: the sites of a built-in design written as its answers,
//   "transect:N" (N points 1, 2, ... on X) or "grid:NX,NY" (X varying
//   fastest, as lociweaver generates them).
// Returns false, s untouched, when word names no design; throws refusal when
// it names one with unusable counts.
bool designsites(const char* word, sites& s);

// readsites: the sites of a coordinates file as lociweaver reads it, or of
//   a Grid.txt as lociweaver writes it, from file (open for reading).
// Throws refusal for an unusable header and ioerror for unreadable values.
void readsites(stream& file, sites& s);

// readvars: the spatial-variable file on file (open), in any of lociweaver's
//   three layouts: its header, its value fields (10, 11 or 12 characters,
//   told from the fields' decimal points) and, for the Canoco file, the
//   labels of the variables; or the CSV table of lociweaver-vars (a header
//   of names, a label and the values on each line), its names the labels.
//   Throws refusal, with the line, for anything that is not such a file.
void readvars(stream& file, variables& v);

// findpairs: the pairs of the first n objects of the ranged coordinates xr
//   (ld rows, ncoord columns) whose distance, as the run computes it, is
//   within the scaled limit, with the weight 1 - (d / (4 scaled))^2, found
//   through a grid of cells of side at least scaled on X and Y.
// p (out).  Throws std::bad_alloc when the pairs do not fit in memory.
void findpairs(int n, int ncoord, int ld, const double* xr, double scaled, pairs& p);

// moran: the Moran's I of each of the k variables of v over the pairs p.
// st (out, k elements); the p-values are set to -1.
// Returns 0, or the number (from 1) of a variable with the same value at
// every object, whose I is not defined (st is then incomplete).
int moran(const pairs& p, const variables& v, moranstat* st);

// moments: the sum s0 of the weights of p over ordered pairs, and the
//   expectation e and standard deviation sd of Moran's I over them under
//   normality, for n objects, as moran computes them.
void moments(const pairs& p, int n, double& s0, double& e, double& sd);

// permutations: for each variable, the one-sided p-value of st[j].i among
//   nperm random permutations of its values over the objects, (1 + count
//   of permuted I at least as large) / (nperm + 1).  The permutations come
//   from a 64-bit Mersenne twister seeded with seed, drawn without the
//   standard library's distributions, so that every platform draws the same.
// st (in,out): p set.
void permutations(const pairs& p, const variables& v, int nperm, uint64_t seed, moranstat* st);

// shortest: the shortest decimal text that reads back as v.
std::string shortest(double v);

// The picture: what the panels show besides the sites and the values.
struct scene {
    const sites* s;         // the sites, user's units
    const double* xr;       // the ranged coordinates (leading dimension ntot)
    const int* from;        // the minimum spanning tree of all the sites, as
    const double* len;      //   prim() leaves it (ranged lengths)
    double rangmax, scaled;  // the divisor and the scaled limit
    double limit;           // the limit in the user's units
    const variables* v;
    const moranstat* st;    // one per variable
    int shown;              // maps of variables 1..shown
    bool perms;             // st[].p are set
};

// picture: writes the whole SVG file of the scene to out (open for writing):
//   the site map with the minimum spanning tree, one map per variable shown
//   (group "map-K", one circle per main object in order, black when the
//   value is positive, white otherwise, area proportional to |value|), and
//   the chart of Moran's I.  Returns the number of sites that the limit
//   leaves outside the largest group connected within it.
int picture(stream& out, const scene& sc);

// The program: lociweaver-maps [options] SITES VARIABLES PICTURE.

// Its command line: the options --limit L, --first K, --permutations N,
// --seed S and --force, and three operands.
extern const cliform mapscli;

// What a run is asked for: the options of its command line, and the three
// operands.
struct mapsrequest {
    bool limited = false;   // --limit given: its text, read once the sites are
    std::string limit;      //   known (and refused then when it is no positive number)
    int first = -1;         // --first, or -1: every map
    int nperm = 0;          // --permutations
    bool seeded = false;    // --seed given, and its value
    uint64_t seed = 0;
    bool force = false;     // --force
    std::string sites, vars, picture;
};

// mapsrequestof: the request of a command line that cliread let run
//   (cli_run); the last of an option given twice counts.
mapsrequest mapsrequestof(const cliline& line);

// A refusal about a named input, or an option.
struct namedrefusal {
    std::string name;
    refusal r;
};

// maps: the run: reads the sites (on io.coord) and the variables (on
//   io.vars), computes the Moran's I, prints the table on io.out and writes
//   the picture (on io.report), only once everything has been read and
//   computed.  Refuses a picture that exists (unless force), and every name
//   longer than the text layer opens, when it comes to it.
// Throws namedrefusal, ioerror (a file that cannot be opened or read, a
// failed write; a picture begun is removed) and std::bad_alloc.
void maps(units& io, const mapsrequest& q);

// mapsfailure: the one-line text of a refusal, after the program's name:
//   "NAME: WHY" for a file or option, with the line where one applies.
//   (A failed open, read or write is told by clisaid, the want of memory
//   by mapscli.nomemory.)
std::string mapsfailure(const namedrefusal& b);

#endif
