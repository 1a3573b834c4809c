// Writers of the spatial-variable file.  They only read the site matrix x
// (stored by columns, leading dimension ld) and append records to out.
#ifndef LOCIWEAVER_OUTPUT_OUTPUT_H
#define LOCIWEAVER_OUTPUT_OUTPUT_H

#include "textio/stream.h"

// writeout: layouts 1 and 2.  n objects (rows 1..n), ncoord the saved
//   coordinate count (read for monomials only), nvar the variable count,
//   layout 1 (one line per object) or 2 (folded), method 1 PCNM or any other
//   value monomials, order the polynomial order (monomials only).
void writeout(int n, int ncoord, int nvar, int ld, const double* x, int layout, int method,
              int order, stream& out);

// canocofree: layout 3, a Canoco input file in FREE format: title, FREE,
//   counts (variables first), values as in layout 2, variable labels, object
//   labels.  Arguments as writeout without the layout.
void canocofree(int n, int ncoord, int nvar, int ld, const double* x, int method, int order,
                stream& out);

#endif
