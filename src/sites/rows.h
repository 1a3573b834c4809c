// The dump of the site matrix that trace mode writes to the report file.
#ifndef LOCIWEAVER_SITES_ROWS_H
#define LOCIWEAVER_SITES_ROWS_H

#include "textio/stream.h"

// Writes rows 1 to ntot, columns 1 to ncoord (at most 3) of x, leading
// dimension maxn, one "(1X,10F10.5)" record a row.
void writerows(stream& report, int ntot, int ncoord, int maxn, const double* x);

#endif
