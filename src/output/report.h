// Writers of the report file's lines from the construction on: the PCNM
// section (its heading, each truncation attempt's limit, the eigenvalue
// summary and list, the correlation line), the polynomial section, the
// computation time and the end lines.  They only read their arguments and
// append records to the stream they are given; the dialogue and
// lociweaver-vars write the same bytes through them.
#ifndef LOCIWEAVER_OUTPUT_REPORT_H
#define LOCIWEAVER_OUTPUT_REPORT_H

#include "textio/stream.h"

// rephead: an empty line and "Matrix of PCNM spatial variables", once per
//   PCNM run.  rep (in,out).
void rephead(stream& rep);

// replimit: the two lines of one truncation attempt: the highest distance
//   kept, in the coordinates' units (the scaled limit times rangmax), F12.3,
//   and the multiplier of the distances beyond it.  rep (in,out).
void replimit(stream& rep, double highest);

// repsums: the summary of one principal coordinate analysis: an empty line,
//   the sums of the positive and of the negative eigenvalues and the trace
//   of the centred matrix (F15.5 each, behind an empty line), then the
//   count of positive eigenvalues npos (I4) between empty lines.
void repsums(stream& rep, double possum, double negsum, double trace, int npos);

// repeigen: "Eigenvalues of the PCoA:", an empty line, then the ntot
//   eigenvalues of eig (largest first, as given), eight a line in F12.6.
void repeigen(stream& rep, int ntot, const double* eig);

// repcorrel: the largest absolute correlation between two PCNM variables
//   (F7.4) behind an empty line, for a run with supplementary objects.
void repcorrel(stream& rep, double largest);

// reppoly: an empty line and the order line of a polynomial run.
void reppoly(stream& rep, int order);

// reptime: an empty line and the computation time: seconds from the time
//   of day start to now (both in seconds since midnight; a run that passes
//   midnight counts the day it crossed), F10.2.  The dialogue writes it on
//   the console and on the report.  s (in,out).
void reptime(stream& s, float start, float now);

// repend: an empty line and "End of the program.", on the report and, in
//   the dialogue, on the console.  s (in,out).
void repend(stream& s);

#endif
