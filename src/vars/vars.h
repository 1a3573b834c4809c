// A whole run of lociweaver-vars: the sites of a coordinates file or of a
// table, the analysis through the library, and the files it writes.  No
// console: what the run has to say comes back as lines for the caller.
#ifndef LOCIWEAVER_VARS_VARS_H
#define LOCIWEAVER_VARS_VARS_H

#include <string>
#include <vector>

#include "cli/cli.h"
#include "textio/stream.h"

// The command line: the options below and two operands, SITES and OUTPUT.
extern const cliform varscli;

// The options of a run, as the command line gives them.
struct varsoptions {
    std::string sites, output;        // the SITES and OUTPUT arguments
    std::vector<std::string> coords;  // a table's coordinate columns; empty: a coordinates file
    bool lonlat = false;              // the coordinates are longitude and latitude (--lonlat)
    std::string id, supplementary;    // a table's label and flag columns (empty: none)
    bool mst = true;                  // the tree's limit, else limit
    double limit = 0;
    int order = 0;                    // a polynomial of this order, else PCNM
    int first = 0;                    // only the leading variables, so many (0: all)
    int layout = 0;                   // 0 a CSV table, 1 to 3 the dialogue's layouts
    std::string moran;                // the file of the Moran's I table (empty: none)
    std::string report;               // the file of the run's record (empty: none)
    bool positive = false;            // only the variables whose I is above its expectation
    std::string newsites, newoutput;  // --new: sites to place in the analysis, and their table
    bool force = false;               // existing output files replaced
    // The progress of the decomposition, told to tell(context, ...) as the
    // library's lw_progress tells it (null: nobody); always: from its
    // first step.
    int (*tell)(void*, const char*, int, double, double) = nullptr;
    void* context = nullptr;
    bool always = false;
    int threads = 0;
};

// varsoptionsof: the options of a command line that cliread let run
//   (cli_run); the last of an option given twice counts.  Throws
//   clifailure for a value that cannot be used (a limit that is no
//   positive number, more than three coordinate columns, a selection other
//   than positive or all, --lonlat without two names) or options that do
//   not go together (a limit with a polynomial, two outputs of one name,
//   --lonlat with --coords or a polynomial).
varsoptions varsoptionsof(const cliline& line);

// varsrun: the run of o, its files written through io (the variables on
//   io.vars, the run's record on io.report, the Moran's I table on
//   io.grid) only once everything is computed; a file that exists is
//   refused unless o.force, and when one fails on the way, every file of
//   the run is removed.
// The record holds the lines that the dialogue's report file holds from
//   its construction section on, for the same sites and limit: for PCNM
//   the heading, the limit, the eigenvalue summary and list, the
//   correlation line when supplementary sites take part and the
//   computation time (from the analysis's start to the variables
//   written); for a polynomial its order line; then the end lines.
// With longitude and latitude the record and the lines say that the
//   distances are geodesic, in km, and the sites are refused with the line
//   and the column of a value outside its range.
// Returns the lines the run has to say on the standard output (the limit
//   used, the count of variables).  Throws clifailure; ioerror for a
//   failed write.
std::vector<std::string> varsrun(const varsoptions& o, units& io);

#endif
