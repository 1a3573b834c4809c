// Writers of the spatial-variable file.  They only read the site matrix x
// (stored by columns, leading dimension ld) and append records to out.
#ifndef LOCIWEAVER_OUTPUT_OUTPUT_H
#define LOCIWEAVER_OUTPUT_OUTPUT_H

#include "textio/stream.h"

// writeout: layouts 1 and 2.
// n (in): main objects; rows 1..n of x are written, nothing of rows beyond.
// ncoord (in): saved coordinate count, read for monomials only: 1 writes
//   columns 1..nvar, any other value the graded list of the two-coordinate
//   monomials of the order (5, 9, 14 or 20 columns, whatever nvar says).
// nvar (in): variable count, written in the header.  ld (in): leading
//   dimension of x.  x (in): the spatial variables, not changed.
// layout (in): 1 one line per object, 2 folded (12, 11 or 10 values a line).
// method (in): 1 PCNM variables (F11.6), any other value monomials.
// order (in): polynomial order, monomials only (F10.5 for 2, F11.6 for 3,
//   F12.7 for 4 and 5).
// out (in,out): receives the header " n nvar" and one value block per object.
void writeout(int n, int ncoord, int nvar, int ld, const double* x, int layout, int method,
              int order, stream& out);

// canocofree: layout 3, a Canoco input file in FREE format.  Arguments as
//   writeout without the layout.
// out (in,out): receives the title ("File of PCNM variables" for method 1,
//   "File of monomials" otherwise), "FREE", the counts " nvar n", the value
//   blocks as in layout 2, the variable labels (PCNM for method 1, Mono
//   otherwise) and the object labels (Site), ten a line, the number width
//   chosen from each block's count.
void canocofree(int n, int ncoord, int nvar, int ld, const double* x, int method, int order,
                stream& out);

#endif
