// A whole run of lociweaver-vars: the sites of a coordinates file or of a
// table, the analysis through the library, and the files it writes.  No
// console: what the run has to say comes back as lines for the caller.
#ifndef LOCIWEAVER_VARS_VARS_H
#define LOCIWEAVER_VARS_VARS_H

#include <string>
#include <vector>

#include "textio/stream.h"

// The options of a run, as the command line gives them.
struct varsoptions {
    std::string sites, output;        // the SITES and OUTPUT arguments
    std::vector<std::string> coords;  // a table's coordinate columns; empty: a coordinates file
    std::string id, supplementary;    // a table's label and flag columns (empty: none)
    bool mst = true;                  // the tree's limit, else limit
    double limit = 0;
    int order = 0;                    // a polynomial of this order, else PCNM
    int layout = 0;                   // 0 a CSV table, 1 to 3 the dialogue's layouts
    std::string moran;                // the file of the Moran's I table (empty: none)
    bool positive = false;            // only the variables whose I is above its expectation
    bool force = false;               // existing output files replaced
    int threads = 0;
};

// A run that cannot be done: the one line that says why (a file, its line
// and column where they apply, or the analysis's own words).
struct varsfailure {
    std::string line;
};

// varsrun: the run of o, its files written through io (the variables on
//   io.vars, the Moran's I table on io.report) only once everything is
//   computed; a file that exists is refused unless o.force, and a file
//   that fails on the way is removed.
// Returns the lines the run has to say on the standard output (the limit
//   used, the count of variables).  Throws varsfailure; ioerror for a
//   failed write.
std::vector<std::string> varsrun(const varsoptions& o, units& io);

#endif
