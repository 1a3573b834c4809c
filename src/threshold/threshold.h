// The work of lociweaver-threshold FILE: its command line, and the run that
// reads the coordinates file and prints the answer to lociweaver's
// truncation question (the tree and the answer themselves are in mst.h).
#ifndef LOCIWEAVER_THRESHOLD_THRESHOLD_H
#define LOCIWEAVER_THRESHOLD_THRESHOLD_H

#include <string>

#include "cli/cli.h"
#include "textio/stream.h"

// The command line: one operand, FILE; no options besides a lone --help.
extern const cliform thresholdcli;

// threshold: reads the coordinates file named path on io.coord, ranges its
//   coordinates as a PCNM run does, and prints on io.out the three lines of
//   the answer: the tree's objects, its longest edge and the two objects it
//   joins, and the answer that keeps it.
// Returns an empty text when the answer is printed, else the one-line
//   reason why the file cannot be used (the name too long for lociweaver
//   among them).  Throws ioerror for a file that cannot be opened or read,
//   and for a failed write.
std::string threshold(units& io, const std::string& path);

#endif
